#include "model/ai/AIMain.h"

#include <algorithm>
#include <cmath>

#include "engine/QX9_System.h"
#include "model/ai/AIMain_Planning.h"
#include "model/FixedPoint.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/SceneHooks.h"
#include "model/world/World_Tables.h"

TPF_Grid* PathGrid = nullptr;
TPF_Map PathMap;

namespace {

// The side of the path grid for the loaded map: cells 128 .. MapSizeMinus1 -
// 128, none for a map of 256 cells a side or less.
int32_t PathGridSide()
{
    return std::max(0, MapInit.MapSizeMinus1 - 255);
}

bool IsPointIndex(int32_t point)
{
    return point >= 1 && point <= MapPointMax && static_cast<size_t>(point) < PointStates.size();
}

} // namespace

void AIMain_Initialization()
{
    static bool registered = false;
    if (!registered) {
        registered = true;
        AddUnitShutdown(AIMain_Finalization);
    }
    AllocateMapGrids();
}

void AIMain_Finalization()
{
    ClearWorldTables(); // the trackers first: they use the path map's buffers
    ReleasePlanningWorkers();
    PF_FreeMap(PathMap);
    PathMap = TPF_Map{};
    PF_FreeAndNil(PathGrid);
    FreeMapGrids();
}

// ---------------------------------------------------------------------------
// Cells

int32_t CellX(int32_t cell)
{
    return static_cast<int32_t>(static_cast<uint32_t>(cell) & 0xFFFFu);
}

int32_t CellZ(int32_t cell)
{
    return static_cast<int32_t>(static_cast<uint32_t>(cell) >> 16);
}

int32_t CellOfPosition(float x, float z)
{
    return PF_PackCell(static_cast<int32_t>(RoundHalfEven(x)), static_cast<int32_t>(RoundHalfEven(z)));
}

int32_t GetCellDistance(int32_t a, int32_t b)
{
    return PF_Heuristic(CellX(a), CellZ(a), CellX(b), CellZ(b));
}

// ---------------------------------------------------------------------------
// The path grid

void RebuildPathMap()
{
    PF_FreeMap(PathMap);
    PathMap = TPF_Map{};
    PF_CreateMap(PathGrid, PathMap);
}

void AI_InitPathGrid()
{
    PlayableLimit = MapInit.MapSizeMinus1 - PathGridBorder;
    // The size class alone may stay the same for maps of different sizes:
    // a grid of another size is made anew too, so nothing is written past it.
    const int32_t side = PathGridSide();
    const bool remade = MapSizeChanged || PathGrid == nullptr || PathGrid->Width != side;
    if (remade) {
        PF_FreeAndNil(PathGrid);
        PathGrid = PF_CreateGrid(side, side);
        RebuildPathMap(); // the old map's buffers go with the old grid
    }
    if (MapChanged || remade)
        FillPathGrid();
}

void FillPathGrid()
{
    // The whole map: its vertices' costs may never have been worked out yet.
    SceneHooks().UpdateMapChunks(TIntArray());
    if (TerrainVertices.empty() || PathGrid == nullptr)
        return;
    const int32_t last = std::min(PlayableLimit, MapGridSide - 1);
    for (int32_t x = PathGridBorder; x <= last; ++x)
        for (int32_t z = PathGridBorder; z <= last; ++z)
            PF_GridSet(PathGrid, x - PathGridBorder, z - PathGridBorder, TerrainVertex(x, z).Cost);
}

int16_t GetPathCost(int32_t cell)
{
    return static_cast<int16_t>(PF_GridGet(PathGrid, CellX(cell) - PathGridBorder, CellZ(cell) - PathGridBorder));
}

void SetPathCost(int32_t cell, int32_t cost)
{
    SetPathCostXY(CellX(cell), CellZ(cell), cost);
}

void SetPathCostXY(int32_t x, int32_t z, int32_t cost)
{
    PF_GridSet(PathGrid, x - PathGridBorder, z - PathGridBorder, static_cast<uint16_t>(cost));
}

// ---------------------------------------------------------------------------
// Barriers

void ApplyPointBarrier(int32_t point)
{
    if (!IsPointIndex(point) || TerrainVertices.empty())
        return;
    const TMapPoint& p = MapPoints[point];
    const int32_t r = p.Radius;
    const int32_t x0 = p.Cell.X;
    const int32_t z0 = p.Cell.Z;
    const int32_t centre = PF_PackCell(x0, z0);
    const bool closed = PointStates[static_cast<size_t>(point)][0] != 0;
    // The playable square, which also keeps every vertex inside the grid of vertices.
    const int32_t last = std::min(PlayableLimit, MapGridSide - 1);
    const int32_t xFrom = std::max(x0 - r, PathGridBorder), xTo = std::min(x0 + r, last);
    const int32_t zFrom = std::max(z0 - r, PathGridBorder), zTo = std::min(z0 + r, last);
    for (int32_t x = xFrom; x <= xTo; ++x)
        for (int32_t z = zFrom; z <= zTo; ++z) {
            if (GetCellDistance(PF_PackCell(x, z), centre) > r)
                continue;
            TTerrainVertex& v = TerrainVertex(x, z);
            if (closed)
                v.Cost = 0;
            else
                v.Cost = v.PlacedCost != 0 ? v.PlacedCost : v.TerrainCost;
            SetPathCostXY(x, z, v.Cost);
        }
}

void ShowPointBarrierObjects(int32_t point)
{
    if (!IsPointIndex(point))
        return;
    const TMapPoint& p = MapPoints[point];
    const int32_t centre = PF_PackCell(p.Cell.X, p.Cell.Z);
    const bool visible = PointStates[static_cast<size_t>(point)][1] == 0;
    const int32_t count = std::min(MapObjects.Count, MapObjectMax);
    for (int32_t o = 1; o <= count; ++o)
        if (GetCellDistance(CellOfPosition(MapObjects[o].Pos[0], MapObjects[o].Pos[2]), centre) <= p.Radius)
            SceneHooks().SetMapObjectVisible(o, visible);
}
