#include "model/scenario/ScenarioMap_Tables.h"

const char* const BuildingModelNames[BuildingModelCount + 1] = {"",
                                                                "Town",
                                                                "CastleBig",
                                                                "CastleMiddle",
                                                                "CastleSmall",
                                                                "Fort",
                                                                "Monastery",
                                                                "Cathedral",
                                                                "Church",
                                                                "Chapel",
                                                                "VillageBig",
                                                                "VillageMiddle",
                                                                "VillageSmall",
                                                                "Tavern",
                                                                "House",
                                                                "Market",
                                                                "Port",
                                                                "RuinCastleBig",
                                                                "RuinCastleMiddle",
                                                                "RuinTower",
                                                                "RuinChurch",
                                                                "RuinVillageAbandonedBig",
                                                                "RuinVillageAbandonedMiddle",
                                                                "RuinVillageAbandonedSmall",
                                                                "RuinHouseAbandoned",
                                                                "RuinVillageRuinedBig",
                                                                "RuinVillageRuinedMiddle",
                                                                "RuinVillageRuinedSmall",
                                                                "Cementry",
                                                                "Altar",
                                                                "Military",
                                                                "Bridge",
                                                                "Object"};

const char* const TreeKindNames[TreeKindCount + 1] = {"",       "Aspen", "Maple", "Birch",   "Oak",
                                                      "Spruce", "Pine",  "Bush",  "Hummock", "Flowers",
                                                      "Dry",    "Stump", "Grass", "Apple"};

const char* const StoneKindNames[StoneKindCount + 1] = {"", "Rock", "Stone", "Debris", "Grave", "Yard", "Object"};

std::vector<TMapCell> MapCells;
std::vector<TTerrainVertex> TerrainVertices;

TMapStoryData MapStory{};
TMapStoryData MapStoryPreview{};
int32_t PreviewArmyCount = 0;
TByteArray MapStoryImage;
TMapInit MapInit{};

TMapTable<TMapTree, MapTreeMax> MapTrees{};
TMapTable<TMapBuilding, MapBuildingMax> MapBuildings{};
TMapTable<TMapObject, MapObjectMax> MapObjects{};
TMapTable<TMapArmy, MapArmyMax> MapArmies{};
TMapTable<TMapPoint, MapPointMax> MapPoints{};

TRangeArray<TTextInfo, 0, MapBuildingMax> BuildingTexts;
TRangeArray<TTextInfo, 0, MapArmyMax> ArmyTexts;
TRangeArray<std::u16string, 0, MapPointMax> PointTexts;

int32_t StoryEventCount = 0;
std::vector<TStoryEvent> StoryEvents;
std::vector<TStoryEventText> StoryEventTexts;
std::vector<TStoryEventCalkData> StoryEventCalk;

int32_t ScenarioVariableCount = 0;
TWideStringArray ScenarioVariableNames;
std::vector<TMapSound> MapSounds;
int32_t NpcTypeCount = 0;

std::string LastScenarioName;
std::string ScenarioPath;
bool MapChanged = false;
bool MapSizeChanged = false;
float TerrainHeightMin = 0;
float TerrainHeightMax = 0;
TStringArray ScenarioLoadErrors;

void TMapStoryData::ClearReferences()
{
    Name.clear();
    Description.clear();
    GroupRelations.clear();
    GroupNames.clear();
    Title.clear();
    for (int n = 1; n <= 3; n++)
        NextScenario[n].clear();
}

void AllocateMapGrids()
{
    constexpr size_t cells = size_t{MapGridSide} * MapGridSide;
    if (MapCells.size() != cells)
        MapCells.assign(cells, TMapCell{});
    if (TerrainVertices.size() != cells)
        TerrainVertices.assign(cells, TTerrainVertex{});
}

void FreeMapGrids()
{
    std::vector<TMapCell>().swap(MapCells);
    std::vector<TTerrainVertex>().swap(TerrainVertices);
}
