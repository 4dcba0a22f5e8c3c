#include "model/scenario/ScenarioMap_Tables.h"

#include "model/scenario/ScenarioMap.h"
#include "model/scenario/Terrain.h"

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

void ResetScenarioTables()
{
    MapStory = TMapStoryData{};
    MapStoryPreview = TMapStoryData{};
    PreviewArmyCount = 0;
    TByteArray().swap(MapStoryImage);
    MapInit = TMapInit{};

    MapTrees.Clear();
    MapBuildings.Clear();
    MapObjects.Clear();
    MapArmies.Clear();
    MapPoints.Clear();
    for (TTextInfo& texts : BuildingTexts.Items)
        texts = TTextInfo{};
    for (TTextInfo& texts : ArmyTexts.Items)
        texts = TTextInfo{};
    for (std::u16string& text : PointTexts.Items)
        std::u16string().swap(text);

    StoryEventCount = 0;
    std::vector<TStoryEvent>().swap(StoryEvents);
    std::vector<TStoryEventText>().swap(StoryEventTexts);
    std::vector<TStoryEventCalkData>().swap(StoryEventCalk);

    ScenarioVariableCount = 0;
    TWideStringArray().swap(ScenarioVariableNames);
    std::vector<TMapSound>().swap(MapSounds);
    NpcTypeCount = 0;

    LastScenarioName.clear();
    ScenarioPath.clear();
    MapChanged = false;
    MapSizeChanged = false;
    TerrainHeightMin = 0;
    TerrainHeightMax = 0;
    TStringArray().swap(ScenarioLoadErrors);
    LoadingProgress = 0;
    ScenarioLocalizationReport.clear();
    Chunks64PerSide = Chunks16PerSide = Chunk64Count = Chunk16Count = 0;
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
