// The strategic path grid and the map-point barriers.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "model/ai/AIMain.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Tables.h"
#include "tests/fakes/RecordingSceneHooks.h"

namespace {

class AIMainTest : public ::testing::Test {
protected:
    TRecordingSceneHooks Scene;

    static void SetUpTestSuite() { AIMain_Initialization(); }
    static void TearDownTestSuite() { AIMain_Finalization(); }

    void SetUp() override
    {
        ResetScenarioTables();
        ResetWorldTables();
        std::fill(TerrainVertices.begin(), TerrainVertices.end(), TTerrainVertex{});
        SetSceneHooks(&Scene);
        UseMap(512);
    }
    void TearDown() override
    {
        SetSceneHooks(nullptr);
        ResetScenarioTables();
        ResetWorldTables();
    }

    // A new map of the size, with the grid set up for it.
    void UseMap(int32_t sizeMinus1)
    {
        MapInit.MapSizeMinus1 = sizeMinus1;
        MapChanged = MapSizeChanged = true;
        AI_InitPathGrid();
        MapChanged = MapSizeChanged = false;
    }

    static int32_t Cell(int32_t x, int32_t z) { return static_cast<int32_t>(PF_PackCell(x, z)); }

    // A barrier point 1 at (x, z) with the radius, and state bytes for it.
    static void AddPoint(int32_t x, int32_t z, uint8_t radius)
    {
        MapPoints.Count = 1;
        MapPoints[1].Cell = {static_cast<int16_t>(x), static_cast<int16_t>(z)};
        MapPoints[1].Radius = radius;
        PointCount = 1;
        PointStates.assign(2, TPointState{0, 0});
    }
};

} // namespace

TEST_F(AIMainTest, CellsAndDistances)
{
    EXPECT_EQ(GetCellDistance(Cell(0, 0), Cell(3, 4)), 5);
    EXPECT_EQ(GetCellDistance(Cell(0, 0), Cell(4, 0)), 4);
    EXPECT_EQ(GetCellDistance(Cell(300, 1000), Cell(301, 998)), 2);

    struct TRow {
        float X, Z;
        int32_t CellX, CellZ;
    };
    const TRow rows[] = {{2.5f, 3.5f, 2, 4}, {127.6f, 300.2f, 128, 300}, {0.49f, 1024.5f, 0, 1024}};
    for (const TRow& row : rows) {
        const int32_t cell = CellOfPosition(row.X, row.Z);
        EXPECT_EQ(CellX(cell), row.CellX) << row.X;
        EXPECT_EQ(CellZ(cell), row.CellZ) << row.Z;
    }
}

TEST_F(AIMainTest, GridCoversThePlayableSquare)
{
    EXPECT_EQ(PlayableLimit, 384);
    ASSERT_NE(PathGrid, nullptr);
    EXPECT_EQ(PathGrid->Width, 257);
    EXPECT_EQ(PathGrid->Height, 257);
    EXPECT_EQ(PathMap.Grid, PathGrid);
    // The whole map's costs are worked out before the copy.
    ASSERT_EQ(Scene.ChunkUpdates.size(), 1u);
    EXPECT_TRUE(Scene.ChunkUpdates[0].empty());

    TerrainVertex(128, 128).Cost = 7;
    TerrainVertex(384, 130).Cost = 9;
    TerrainVertex(127, 300).Cost = 5;
    TerrainVertex(385, 300).Cost = 5;
    FillPathGrid();
    EXPECT_EQ(PathGrid->Cells[0], 7); // (128, 128) is grid cell (0, 0)
    EXPECT_EQ(GetPathCost(Cell(128, 128)), 7);
    EXPECT_EQ(GetPathCost(Cell(384, 130)), 9);
    EXPECT_EQ(PF_GridGet(PathGrid, 256, 2), 9);

    // Outside the grid: reads 0, writes change nothing.
    const std::vector<uint16_t> before = PathGrid->Cells;
    for (int32_t outside : {Cell(127, 300), Cell(385, 300), Cell(300, 127), Cell(300, 385), Cell(0, 0)}) {
        EXPECT_EQ(GetPathCost(outside), 0);
        SetPathCost(outside, 3);
    }
    SetPathCostXY(-1, 200, 3);
    SetPathCostXY(200, 1000, 3);
    EXPECT_EQ(PathGrid->Cells, before);

    SetPathCost(Cell(200, 201), 4);
    SetPathCostXY(384, 384, 6);
    EXPECT_EQ(GetPathCost(Cell(200, 201)), 4);
    EXPECT_EQ(PF_GridGet(PathGrid, 72, 73), 4);
    EXPECT_EQ(GetPathCost(Cell(384, 384)), 6);
}

TEST_F(AIMainTest, GridRemadeOnlyWhenTheMapAsksForIt)
{
    const TPF_Grid* grid = PathGrid;
    TerrainVertex(200, 200).Cost = 8;

    AI_InitPathGrid(); // same map, same size: neither made anew nor filled
    EXPECT_EQ(PathGrid, grid);
    EXPECT_EQ(Scene.ChunkUpdates.size(), 1u);
    EXPECT_EQ(GetPathCost(Cell(200, 200)), 0);

    MapChanged = true; // another map of the same size: filled again
    AI_InitPathGrid();
    EXPECT_EQ(PathGrid, grid);
    EXPECT_EQ(Scene.ChunkUpdates.size(), 2u);
    EXPECT_EQ(GetPathCost(Cell(200, 200)), 8);
    MapChanged = false;

    // Another size in the same size class: made anew at the new size and
    // filled, so nothing is written past the grid.
    MapInit.MapSizeMinus1 = 600;
    TerrainVertex(472, 472).Cost = 2;
    AI_InitPathGrid();
    EXPECT_EQ(PlayableLimit, 472);
    EXPECT_EQ(PathGrid->Width, 345);
    EXPECT_EQ(PathGrid->Cells.size(), 345u * 345u);
    EXPECT_EQ(PathMap.Grid, PathGrid);
    EXPECT_EQ(GetPathCost(Cell(472, 472)), 2);
    EXPECT_EQ(GetPathCost(Cell(200, 200)), 8);
}

TEST_F(AIMainTest, MapWithoutPlayableCells)
{
    for (int32_t size : {255, 100, 0}) {
        UseMap(size);
        EXPECT_EQ(PlayableLimit, size - 128);
        ASSERT_NE(PathGrid, nullptr);
        EXPECT_EQ(PathGrid->Width, 0);
        EXPECT_TRUE(PathGrid->Cells.empty());
        EXPECT_EQ(GetPathCost(Cell(128, 128)), 0);
        SetPathCost(Cell(128, 128), 5);
        FillPathGrid();
        AddPoint(128, 128, 5);
        PointStates[1][0] = 1;
        TerrainVertex(128, 128).Cost = 4;
        ApplyPointBarrier(1);
        EXPECT_EQ(TerrainVertex(128, 128).Cost, 4) << size;
    }
}

TEST_F(AIMainTest, BarrierClosesAndOpensItsCells)
{
    // Bare ground 5 everywhere near the point; some cells have a cost of
    // their own with barriers open.
    for (int32_t x = 290; x <= 310; ++x)
        for (int32_t z = 290; z <= 310; ++z) {
            TTerrainVertex& v = TerrainVertex(x, z);
            v.TerrainCost = 5;
            v.PlacedCost = (x == 300 && z < 300) ? 9 : 0;
            v.Cost = 5;
            SetPathCostXY(x, z, 5);
        }
    AddPoint(300, 300, 3);
    PointStates[1][0] = 1;
    ApplyPointBarrier(1);
    for (int32_t x = 295; x <= 305; ++x)
        for (int32_t z = 295; z <= 305; ++z) {
            const bool inside = GetCellDistance(Cell(x, z), Cell(300, 300)) <= 3;
            EXPECT_EQ(GetPathCost(Cell(x, z)), inside ? 0 : 5) << x << "," << z;
            EXPECT_EQ(TerrainVertex(x, z).Cost, inside ? 0 : 5) << x << "," << z;
        }
    EXPECT_EQ(GetPathCost(Cell(303, 301)), 0); // distance 3
    EXPECT_EQ(GetPathCost(Cell(303, 302)), 5); // distance 4

    PointStates[1][0] = 0;
    ApplyPointBarrier(1);
    EXPECT_EQ(GetPathCost(Cell(300, 300)), 5);
    EXPECT_EQ(GetPathCost(Cell(300, 298)), 9); // its own open cost
    EXPECT_EQ(TerrainVertex(300, 298).Cost, 9);
    EXPECT_EQ(GetPathCost(Cell(303, 301)), 5);
}

TEST_F(AIMainTest, BarrierStaysInsideThePlayableSquare)
{
    for (int32_t x = 120; x <= 140; ++x)
        for (int32_t z = 120; z <= 140; ++z)
            TerrainVertex(x, z).Cost = 6;
    AddPoint(129, 129, 4);
    PointStates[1][0] = 1;
    ApplyPointBarrier(1);
    EXPECT_EQ(TerrainVertex(128, 128).Cost, 0);
    EXPECT_EQ(TerrainVertex(127, 129).Cost, 6);
    EXPECT_EQ(TerrainVertex(129, 125).Cost, 6);

    // A point whose square lies outside the playable cells changes nothing,
    // nor does a point without a state.
    const std::vector<uint16_t> before = PathGrid->Cells;
    for (int16_t at : {int16_t{50}, int16_t{-20}, int16_t{1000}}) {
        AddPoint(at, 200, 60);
        PointStates[1][0] = 1;
        TerrainVertex(200, 200).Cost = 6;
        ApplyPointBarrier(1);
        EXPECT_EQ(TerrainVertex(200, 200).Cost, 6) << at;
        EXPECT_EQ(PathGrid->Cells, before) << at;
    }
    AddPoint(200, 200, 3);
    PointStates.resize(1);
    ApplyPointBarrier(1);
    ApplyPointBarrier(0);
    ApplyPointBarrier(-1);
    ApplyPointBarrier(MapPointMax + 1);
    ShowPointBarrierObjects(1);
    EXPECT_EQ(TerrainVertex(200, 200).Cost, 6);
    EXPECT_TRUE(Scene.Visible.empty());
}

TEST_F(AIMainTest, BarrierObjectsShownAndHidden)
{
    AddPoint(300, 300, 3);
    const float positions[][3] = {
        {300, 0, 300},    // the centre
        {303.4f, 1, 301}, // cell (303, 301): distance 3
        {303, 0, 302},    // distance 4
        {296.6f, 0, 300}, // cell (297, 300)
        {10, 0, 10},
    };
    MapObjects.Count = 5;
    for (int o = 1; o <= 5; ++o)
        std::copy(std::begin(positions[o - 1]), std::end(positions[o - 1]), MapObjects[o].Pos);

    PointStates[1][1] = 1;
    ShowPointBarrierObjects(1);
    using TCalls = std::vector<std::pair<int32_t, bool>>;
    EXPECT_EQ(Scene.Visible, (TCalls{{1, false}, {2, false}, {4, false}}));

    Scene.Visible.clear();
    PointStates[1][1] = 0;
    ShowPointBarrierObjects(1);
    EXPECT_EQ(Scene.Visible, (TCalls{{1, true}, {2, true}, {4, true}}));
}
