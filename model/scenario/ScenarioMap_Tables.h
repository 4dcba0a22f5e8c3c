// ScenarioMap_Tables: the tables a scenario map file loads into, with their
// capacities, and the two map grids (landscape cells and terrain vertices)
// that live for the whole run. The stored records are in
// ScenarioMap_Records.h; here each record that holds references gets its
// in-memory form, the record followed by what its references hold.
// Tables are numbered from 1; entry 0 stays empty.
#pragma once

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "engine/QX9_Math.h"
#include "engine/QX9_System.h"
#include "model/RangeArray.h"
#include "model/scenario/ScenarioMap_Records.h"

// ---------------------------------------------------------------------------
// Capacities: a scenario holds at most these.

constexpr int32_t MapGridSide = 1025; // cells (and vertices) per grid row, whatever the map size
constexpr int32_t MapSizeMax = 1024;  // highest MapSizeMinus1
constexpr int32_t MapTreeMax = 65535; // plants
constexpr int32_t MapBuildingMax = 1500;
constexpr int32_t MapObjectMax = 3000;
constexpr int32_t MapArmyMax = 250;
constexpr int32_t MapPointMax = 250;
constexpr int32_t NpcTypeMax = 255;      // scenario personage types, unit types -1 .. -255
constexpr int32_t StoryEventMax = 65535; // story events (the file format has no limit; memory has)

// A fixed table of records 1..Capacity with its count; entry 0 stays empty.
template <typename T, int32_t Capacity> struct TMapTable {
    static constexpr int32_t Max = Capacity;
    int32_t Count = 0;
    T Items[Capacity + 1];

    T& operator[](int32_t i)
    {
        assert(i >= 0 && i <= Capacity);
        return Items[i];
    }
    const T& operator[](int32_t i) const
    {
        assert(i >= 0 && i <= Capacity);
        return Items[i];
    }
    // No records, every entry empty.
    void Clear()
    {
        Count = 0;
        std::fill(std::begin(Items), std::end(Items), T{});
    }
};

// ---------------------------------------------------------------------------
// In-memory forms of the records with references

// The scenario header and what its references hold.
struct TMapStoryData : TMapStory {
    std::u16string Name;
    std::u16string Description;
    std::vector<TIntArray> GroupRelations; // [g][h], g, h = 0..G: attitude of group g towards h
    TWideStringArray GroupNames;           // groups 0..G
    std::u16string Title;
    TRangeArray<std::u16string, 1, 3> NextScenario; // file names of the next scenarios

    // Clears the texts and lists (the record's bytes stay).
    void ClearReferences();
};

// A stage of an event with its results (0-based).
struct TStoryStage : TSelect {
    std::vector<TStoryResult> Results;
};

// A story event with its requirements and stages (both 0-based).
struct TStoryEvent : TStoryEventStart {
    std::vector<TStoryRequire> Requires;
    std::vector<TStoryStage> Stages;
};

// The texts of one event.
struct TStoryEventText {
    std::u16string Title;
    std::u16string Text;
    TWideStringArray StageTexts;   // one per stage, form 2 only
    TWideStringArray Captions;     // the answer captions
    TWideStringArray JournalTexts; // the journal text of each stage
};

// The army numbering of an event's position requirements.
struct TStoryEventCalkData {
    int32_t Count = 0;     // distinct armies numbered, at most 5
    TIntArray ArmyNumbers; // per requirement: 1..Count for a numbered kind-8 requirement, else 0
};

// The texts of a building or an army.
struct TTextInfo {
    std::u16string Name;
    std::u16string Suffix; // the part of the name after the first "/"
    std::u16string Description;
};

// ---------------------------------------------------------------------------
// Terrain vertices: one per grid point, filled from the cells by the terrain
// model. The world rules know some fields by other names: WalkCost is Cost,
// BaseWalkCost is TerrainCost, OpenWalkCost is PlacedCost, VertexBuilding is
// Cover and MoveClass is GroundClass.

#pragma pack(push, 1)
struct TTerrainLayer {
    uint8_t Kind;   // ground kind 1..16
    uint8_t Weight; // percent
};

struct TTerrainVertex {
    TVec3 Position;      // x = row, y = height / 100, z = column
    TVec3 Normal;        // sum of the unit normals of the triangles around (map scene)
    uint8_t TerrainCost; // walk cost of the bare ground; 0 impassable
    uint8_t PlacedCost;  // after plants, buildings and objects
    uint8_t Cost;        // current cost, the value the path grid copies; 0 impassable
    uint16_t Tree;       // MapTrees entry anchored here, 0 none
    uint16_t Building;   // MapBuildings entry anchored here, 0 none
    uint16_t MapObject;  // MapObjects entry anchored here, 0 none
    uint8_t LayerCount;  // 0..3
    TTerrainLayer Layers[3];
    int32_t LayerKey;    // map scene
    uint8_t Facet;       // map scene
    float WaterLevel;    // the cell's water level / 100
    uint16_t Cover;      // building whose footprint covers the vertex, 0 none
    uint8_t GroundClass; // 1..13: 1, 2 water; 3, 4 swamp; 5, 6 road; 7 plain; 8 wild; 9..13 hill and wood
};
#pragma pack(pop)
static_assert(sizeof(TTerrainVertex) == 52);

// ---------------------------------------------------------------------------
// The tables

extern std::vector<TMapCell> MapCells;              // landscape, 1025 x 1025, cell (x, z) at x * 1025 + z
extern std::vector<TTerrainVertex> TerrainVertices; // terrain vertices, laid out as MapCells

extern TMapStoryData MapStory;        // header of the last full load
extern TMapStoryData MapStoryPreview; // header read for the scenario lists and the hero choice
extern int32_t PreviewArmyCount;      // "MapArmy" elements seen by the last header preview
extern TByteArray MapStoryImage;      // the scenario's picture bytes, empty when none
extern TMapInit MapInit;              // map set-up record (MapSizeMinus1, SaveStamp, ...)

extern TMapTable<TMapTree, MapTreeMax> MapTrees;             // plants
extern TMapTable<TMapBuilding, MapBuildingMax> MapBuildings; // buildings
extern TMapTable<TMapObject, MapObjectMax> MapObjects;       // decorative and blocking objects
extern TMapTable<TMapArmy, MapArmyMax> MapArmies;            // the scenario's armies
extern TMapTable<TMapPoint, MapPointMax> MapPoints;          // named map points

extern TRangeArray<TTextInfo, 0, MapBuildingMax> BuildingTexts; // name, suffix, description per building
extern TRangeArray<TTextInfo, 0, MapArmyMax> ArmyTexts;         // name, suffix, description per army
extern TRangeArray<std::u16string, 0, MapPointMax> PointTexts;  // one text per map point

extern int32_t StoryEventCount;                         // events 1..StoryEventCount
extern std::vector<TStoryEvent> StoryEvents;            // StoryEventCount + 1 entries
extern std::vector<TStoryEventText> StoryEventTexts;    // indexed like StoryEvents
extern std::vector<TStoryEventCalkData> StoryEventCalk; // indexed like StoryEvents

extern int32_t ScenarioVariableCount;          // scenario variables 1..count
extern TWideStringArray ScenarioVariableNames; // names 1..count, entry 0 empty
extern std::vector<TMapSound> MapSounds;       // as stored
extern int32_t NpcTypeCount;                   // scenario personage types, UnitTypes[-1 .. -count]

// Loader state
extern std::string LastScenarioName;    // lower-case base name of the last file LoadScenarioMap opened
extern std::string ScenarioPath;        // its folder
extern bool MapChanged;                 // the last load opened another scenario than the one before
extern bool MapSizeChanged;             // the last load's SizeClass differs from the header's before
extern float TerrainHeightMin;          // lowest cell height of the map - 0.5
extern float TerrainHeightMax;          // highest cell height of the map + 0.5
extern TStringArray ScenarioLoadErrors; // one line per repair the last load or preview made

// Puts every table a scenario loads into and the loader's state back to
// their start values, as before the first load: empty tables, no header, no
// scenario opened, no chunks. The two grids keep their memory and cells: they
// live for the whole run, and a load rewrites every cell and vertex.
void ResetScenarioTables();

// Allocates the two grids (once; later calls keep them).
void AllocateMapGrids();
// Frees the two grids.
void FreeMapGrids();

// The cell and the vertex at (x, z); x, z in 0..1024 and the grids allocated.
inline TMapCell& MapCell(int32_t x, int32_t z)
{
    assert(x >= 0 && x < MapGridSide && z >= 0 && z < MapGridSide && !MapCells.empty());
    return MapCells[static_cast<size_t>(x) * MapGridSide + static_cast<size_t>(z)];
}
inline TTerrainVertex& TerrainVertex(int32_t x, int32_t z)
{
    assert(x >= 0 && x < MapGridSide && z >= 0 && z < MapGridSide && !TerrainVertices.empty());
    return TerrainVertices[static_cast<size_t>(x) * MapGridSide + static_cast<size_t>(z)];
}
