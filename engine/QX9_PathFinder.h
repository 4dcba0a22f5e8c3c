// QX9_PathFinder: routes on square grids of 16-bit cell costs. A tracker runs
// a weighted wavefront over eight neighbours, from one cell or from a set of
// goals (seeds) until a target cell is reached, with per-search cost factors
// raised around cells to avoid; it then traces the cheapest path back down the
// distances and smooths it into waypoints along straight lines of equal cost.
//
// Trackers of one map share its cost, distance and frontier buffers: only one
// search at a time per map, and GetPath must follow its own Calc before
// another tracker of the map searches. Different maps are independent.
#pragma once

#include <cstdint>
#include <vector>

// Width, height, then Width * Height cell values row by row: cell (x, y) at
// y * Width + x. In a passability grid a value is the cost factor, 0 blocked.
struct TPF_Grid {
    uint16_t Width = 0;
    uint16_t Height = 0;
    std::vector<uint16_t> Cells;
};

struct TPF_Seed {
    uint16_t X = 0;
    uint16_t Y = 0;
    int32_t Cost = 0;
};

struct TPF_PathPoint {
    uint16_t X = 0;
    uint16_t Y = 0;
    int32_t Dir = 0; // direction index of the step to the next point
};

struct TPF_Waypoint {
    uint16_t X = 0;
    uint16_t Y = 0;
};

// The wavefront's working storage (cost buckets and padded copies of the
// step costs and distances), shared by the trackers of one map. It grows with
// the search, so no grid is too large for it.
struct TPF_Frontier;

// Shared by all trackers of one passability grid.
struct TPF_Map {
    TPF_Grid* Grid = nullptr;     // the caller's grid
    TPF_Grid* CostGrid = nullptr; // per-search cost factors, then step costs
    TPF_Grid* DistGrid = nullptr; // distances of the last search, 65535 unreached
    TPF_Frontier* Frontier = nullptr;
    uint8_t GridIsCallers = 0; // 1: Grid belongs to the caller
};

constexpr int32_t PF_MaxSeeds = 512;
constexpr uint16_t PF_Unreached = 65535;

struct TPF_Tracker {
    int32_t NeighbourOffsets[8] = {}; // dx + dy * Width for the eight directions
    TPF_Seed Seeds[PF_MaxSeeds];
    TPF_Frontier* Frontier = nullptr;
    uint8_t OwnsBuffers = 0;
    uint8_t GridIsCallers = 0;
    // Taken off every cell the caller gives, added to every cell returned.
    int32_t BorderOffset = 0;
    int32_t SeedCount = 0;
    TPF_Grid* Grid = nullptr;
    TPF_Grid* CostGrid = nullptr;
    TPF_Grid* DistGrid = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<TPF_PathPoint> Path; // points 0 .. PathCount
    int32_t PathCount = 0;           // steps
    int32_t PathCost = 0;
    int32_t StepCount = 0; // advanced by the army movement
    float PathLength = 0;
    int32_t WaypointCount = 0; // index of the last waypoint
    int32_t WaypointIndex = 0; // advanced by the army movement
    std::vector<TPF_Waypoint> Waypoints;
    // A cell (border included, as the caller gives cells) that this
    // tracker's Calc and GetPath take as having OpenFactor in the caller's
    // grid, whatever the grid holds; -1 for none. The grid is not written,
    // so trackers of the same grid searching at the same time on other
    // buffers do not see the cell open.
    int32_t OpenCell = -1;
    uint16_t OpenFactor = 1;

    // Takes the map's buffers; empties seeds, path and waypoints.
    void Init(TPF_Map& map, int32_t borderOffset, bool ownsBuffers);
    // Every cost factor := 1.
    void ResetCosts();
    // Raises the cost factors around the cell: (r - d) div s + 1 where positive,
    // d = 2 max(dx, dy) + min(dx, dy). Factors saturate at 65535.
    void AddPenalty(int32_t cell, int32_t r, int32_t s);
    void ClearSeeds();
    // A goal of the given cost (at most 32766, stored plus 1); ignored on a
    // blocked cell, before the border, past 512 seeds, or when a seed on the
    // cell already has a lower stored cost.
    void AddSeed(int32_t cell, int32_t cost);
    // The wavefront. fromSeeds: from the seeds until the cell (the target) is
    // first reached; otherwise from the cell over the whole grid. Turns the
    // cost factors into step costs. Returns whether the target (or, without
    // seeds, the start cell) has a distance below 65535.
    bool Calc(int32_t cell, bool fromSeeds);
    // Whether a search from the seeds to the cell surely fails, found
    // without running it: the cell is outside the grid or blocked, or the
    // cells joined to it (through cells a search may enter, OpenCell
    // counted) number at most limit and neither hold nor touch a seed. False
    // says nothing either way. Reads the grid, the cost factors and the
    // seeds as Calc would, and changes nothing.
    bool SeedsCutOff(int32_t cell, int32_t limit) const;
    // Traces the path from the cell down the distances to a seed (or next to
    // the start), optionally smoothed into waypoints.
    void GetPath(int32_t cell, bool smooth);
    // The path becomes the cell alone (stored as given, border included).
    void ResetPath(int32_t cell);
    // Frees the path; with OwnsBuffers also the buffers taken from the map.
    void Done();
    // OpenCell's index in the grid, -1 for none or outside.
    int64_t OpenIndex() const;
};

// Cells are packed as x in the low 16 bits and y in the high 16 bits.
constexpr int32_t PF_PackCell(int32_t x, int32_t y)
{
    return static_cast<int32_t>((static_cast<uint32_t>(x) & 0xFFFFu) | ((static_cast<uint32_t>(y) & 0xFFFFu) << 16));
}

// A zeroed grid; PF_FreeAndNil frees it.
TPF_Grid* PF_CreateGrid(int32_t width, int32_t height);
// The value, 0 outside the grid.
uint16_t PF_GridGet(const TPF_Grid* grid, int32_t x, int32_t y);
// Writes only inside the grid.
void PF_GridSet(TPF_Grid* grid, int32_t x, int32_t y, uint16_t value);
// A map over the caller's grid: two zeroed grids of its size and an empty frontier.
void PF_CreateMap(TPF_Grid* grid, TPF_Map& map);
// Frees what PF_CreateMap made (and Grid when it is not the caller's).
void PF_FreeMap(TPF_Map& map);
// (2 max(dx, dy) + min(dx, dy)) div 2: the straight-line estimate in straight steps.
int32_t PF_Heuristic(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

void PF_FreeAndNil(TPF_Grid*& grid);
void PF_FreeAndNil(TPF_Frontier*& frontier);
int32_t PF_Sign(int32_t value);
// The grid value at (x, y), 0 outside.
uint16_t PF_CostAt(const TPF_Grid* grid, int32_t x, int32_t y);
// The grid line from (x0, y0) to (x1, y1), the start excluded and the end
// included, appended to cells.
void PF_TraceLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, std::vector<TPF_Waypoint>& cells);
