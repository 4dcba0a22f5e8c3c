// AIMain: the world simulation's start and end, and the strategic path grid.
// The map grids (landscape cells and terrain vertices) are allocated once for
// the whole run. Every army's path tracker plans over one shared 16-bit cost
// grid, PathGrid, copied from the terrain vertices' walk costs: grid cell
// (i, j) stands for map cell (i + 128, j + 128), and the map cells below 128
// or above PlayableLimit lie outside it. Map points with a radius are barriers
// that close or open the cells around them and hide or show the map objects
// there.
//
// Cells are packed into an i32: x in the low 16 bits, z in the high 16 bits.
#pragma once

#include <cstdint>

#include "engine/QX9_PathFinder.h"

// The grid's offset from the map: the first playable cell.
constexpr int32_t PathGridBorder = 128;

extern TPF_Grid* PathGrid; // walk costs of the playable square, nullptr before the first map
extern TPF_Map PathMap;    // the path finder's map over PathGrid, shared by all army trackers

// At program start: allocates the map grids (once; later calls keep them) and
// has the end run at the program's shut-down.
void AIMain_Initialization();
// At program end: frees the map grids, the path grid and every world list.
// Running it again does nothing more.
void AIMain_Finalization();

// After a scenario map or a saved game is loaded, before the world set-up:
// PlayableLimit from the map size, the path grid made anew (all 0) when the
// map size changed or the grid has another size, and filled when the map
// changed or the grid was made anew.
void AI_InitPathGrid();
// Frees and rebuilds the path map over PathGrid. The trackers must be set up
// on it again afterwards.
void RebuildPathMap();
// Brings the terrain's walk costs up to date for the whole map, then copies
// them into the path grid.
void FillPathGrid();
// The path grid's cost of a map cell, 0 outside the grid.
int16_t GetPathCost(int32_t cell);
// Writes a map cell's cost; nothing outside the grid.
void SetPathCost(int32_t cell, int32_t cost);
void SetPathCostXY(int32_t x, int32_t z, int32_t cost);

// Closes (state [0] set) or opens the cells within the point's radius, in the
// terrain vertices and the path grid; an opened cell gets its walk cost with
// barriers open, or its bare ground's when it has none of its own. Only cells
// of the playable square change.
void ApplyPointBarrier(int32_t point);
// Shows (state [1] clear) or hides the map objects within the point's radius.
void ShowPointBarrierObjects(int32_t point);

// The cell of a position: its x and z rounded to the nearest. Taken by value,
// as positions sit unaligned in the packed records.
int32_t CellOfPosition(float x, float z);
// (2 max(|dx|, |dz|) + min(|dx|, |dz|)) div 2.
int32_t GetCellDistance(int32_t a, int32_t b);
int32_t CellX(int32_t cell);
int32_t CellZ(int32_t cell);
