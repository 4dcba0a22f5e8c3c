// The headless terrain model: ground layers, walk costs, plants, building
// footprints, ground classes, chunk updates and height queries.
#include <gtest/gtest.h>

#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/scenario/Terrain.h"
#include "tests/support/TestSupport.h"

namespace {

class TerrainTest : public ::testing::Test {
protected:
    void SetUp() override { MakeMap(12); }
    void TearDown() override { ResetScenarioTables(); }

    // A flat land map of GrassFlat, cost 4 x 1.25 = 5 everywhere.
    void MakeMap(int32_t n)
    {
        AllocateMapGrids();
        ResetScenarioTables();
        MapInit.MapSizeMinus1 = n;
        MapInit.ShallowLimit = 10;
        for (int32_t x = 0; x <= n; x++)
            for (int32_t z = 0; z <= n; z++) {
                TMapCell& cell = MapCell(x, z);
                cell = TMapCell{};
                cell.TerrainClass = 2;
                cell.SecondHeight = -1000;
                cell.KindWeights[6] = 100;
            }
    }
    void Weights(int32_t x, int32_t z, std::initializer_list<std::pair<int, int>> weights)
    {
        for (int k = 1; k <= 16; k++)
            MapCell(x, z).KindWeights[k] = 0;
        for (const auto& [kind, weight] : weights)
            MapCell(x, z).KindWeights[kind] = static_cast<uint8_t>(weight);
    }
    void AddTree(int32_t x, int32_t z, int32_t kind)
    {
        TMapTree& tree = MapTrees[++MapTrees.Count];
        tree = TMapTree{};
        tree.Pos[0] = static_cast<float>(x);
        tree.Pos[2] = static_cast<float>(z);
        tree.Kind = kind;
    }
    int32_t AddBuilding(int32_t x, int32_t z, TBuildingModel model, const char16_t* name)
    {
        const int32_t b = ++MapBuildings.Count;
        MapBuildings[b] = TMapBuilding{};
        MapBuildings[b].Pos[0] = static_cast<float>(x);
        MapBuildings[b].Pos[2] = static_cast<float>(z);
        MapBuildings[b].Model = static_cast<int32_t>(model);
        BuildingTexts[b].Name = name;
        return b;
    }
    void AddObject(int32_t x, int32_t z)
    {
        TMapObject& object = MapObjects[++MapObjects.Count];
        object = TMapObject{};
        object.Pos[0] = static_cast<float>(x);
        object.Pos[2] = static_cast<float>(z);
        object.ModelGroup = 1;
    }
    void Build()
    {
        HeadlessBuildTerrainModel();
        HeadlessUpdateMapChunks({});
    }
    static uint8_t Cost(int32_t x, int32_t z) { return TerrainVertex(x, z).Cost; }
};

TEST_F(TerrainTest, GroundLayersFromTheCellWeights)
{
    Weights(2, 2, {});
    Weights(3, 3, {{2, 1}, {5, 1}, {9, 1}});
    Weights(4, 8, {{3, 25}, {6, 25}, {7, 25}, {12, 25}});
    Weights(8, 8, {{3, 25}, {6, 25}, {7, 25}, {12, 25}});
    Weights(7, 8, {{12, 100}});       // a road beside it: four kinds around
    Weights(10, 2, {{2, 1}, {5, 7}}); // 12.5 and 87.5 %
    Weights(10, 4, {{1, 3}, {2, 5}}); // 37.5 and 62.5 %
    Build();

    const TTerrainVertex& empty = TerrainVertex(2, 2);
    ASSERT_EQ(V(empty.LayerCount), 1);
    EXPECT_EQ(V(empty.Layers[0].Kind), 1); // all 0: 100 % sand
    EXPECT_EQ(V(empty.Layers[0].Weight), 100);
    EXPECT_EQ(V(MapCell(2, 2).KindWeights[1]), 100);

    EXPECT_EQ(V(MapCell(3, 3).KindWeights[2]), 34); // the lowest kind takes what the rounding lost
    EXPECT_EQ(V(MapCell(3, 3).KindWeights[5]), 33);
    EXPECT_EQ(V(MapCell(3, 3).KindWeights[9]), 33);
    // Three kinds among grass: four kinds around, and the first of the
    // weakest layers (9 of 9, 5, 2) goes.
    const TTerrainVertex& three = TerrainVertex(3, 3);
    ASSERT_EQ(V(three.LayerCount), 2);
    EXPECT_EQ(V(three.Layers[0].Kind), 5);
    EXPECT_EQ(V(three.Layers[1].Kind), 2);
    EXPECT_EQ(V(three.Layers[1].Weight), 34);

    // Halves round to even.
    EXPECT_EQ(V(MapCell(10, 2).KindWeights[2]), 12);
    EXPECT_EQ(V(MapCell(10, 2).KindWeights[5]), 88);
    EXPECT_EQ(V(MapCell(10, 4).KindWeights[1]), 38);
    EXPECT_EQ(V(MapCell(10, 4).KindWeights[2]), 62);

    const TTerrainVertex& four = TerrainVertex(4, 8);
    ASSERT_EQ(V(four.LayerCount), 3); // the three lowest kinds of four equal ones, the highest first
    EXPECT_EQ(V(four.Layers[0].Kind), 7);
    EXPECT_EQ(V(four.Layers[1].Kind), 6);
    EXPECT_EQ(V(four.Layers[2].Kind), 3);
    // Among more than three kinds around, the weakest layer (the first of
    // equals) goes: grass counts twice, the others once.
    const TTerrainVertex& crowded = TerrainVertex(8, 8);
    ASSERT_EQ(V(crowded.LayerCount), 2);
    EXPECT_EQ(V(crowded.Layers[0].Kind), 6);
    EXPECT_EQ(V(crowded.Layers[1].Kind), 3);
}

TEST_F(TerrainTest, WalkCostsOfTheGround)
{
    const struct {
        const char* Case;
        uint8_t Class;
        uint8_t Slope;
        std::initializer_list<std::pair<int, int>> Weights;
        uint8_t TerrainCost;
        uint8_t Cost; // after the cost update
    } rows[] = {
        {"land of grass", 2, 0, {{6, 100}}, 5, 5},
        {"steppe class 10", 10, 0, {{7, 100}}, 6, 6},
        {"deep water", 0, 0, {{2, 100}}, 1, 0},
        {"a ford below the threshold", 1, 9, {{2, 100}}, 12, 12},
        {"shallows at the threshold", 1, 10, {{2, 100}}, 1, 0},
        {"rock", 3, 0, {{16, 100}}, 0, 0},
        {"swamp of 75 %", 2, 0, {{3, 75}, {6, 25}}, 0, 0},
        {"swamp of 74 %", 2, 0, {{3, 74}, {6, 26}}, 7, 7}, // 4 x 1.065 x 1.74
        {"road", 2, 0, {{12, 100}}, 3, 3},
        {"a 90-degree slope", 2, 90, {{6, 100}}, 10, 10}, // 5 x (sin 90 + 1)
    };
    int32_t x = 1;
    for (const auto& row : rows) {
        MapCell(x, 5).TerrainClass = row.Class;
        MapCell(x, 5).TerrainValue = row.Slope;
        Weights(x, 5, row.Weights);
        x++;
    }
    Build();
    x = 1;
    for (const auto& row : rows) {
        EXPECT_EQ(V(TerrainVertex(x, 5).TerrainCost), row.TerrainCost) << row.Case;
        EXPECT_EQ(Cost(x, 5), row.Cost) << row.Case;
        x++;
    }
}

TEST_F(TerrainTest, PlantsRaiseAndBlockCosts)
{
    MakeMap(40);
    AddTree(5, 5, 11);  // stump
    AddTree(15, 5, 7);  // bush
    AddTree(25, 25, 4); // oak
    AddTree(35, 5, 12); // grass
    MapCell(35, 20).TerrainClass = 0;
    AddTree(35, 20, 12); // grass on water
    Build();

    EXPECT_EQ(Cost(5, 5), 0);
    EXPECT_EQ(Cost(6, 5), 5);
    EXPECT_EQ(Cost(15, 5), 0);
    EXPECT_EQ(Cost(16, 5), 0);
    EXPECT_EQ(Cost(15, 4), 0);
    EXPECT_EQ(Cost(16, 6), 5); // a bush leaves the diagonals
    for (int32_t dx = -1; dx <= 1; dx++)
        for (int32_t dz = -1; dz <= 1; dz++)
            EXPECT_EQ(Cost(25 + dx, 25 + dz), 0);
    EXPECT_EQ(Cost(27, 25), 7); // ring 2: + 2
    EXPECT_EQ(Cost(26, 27), 7);
    EXPECT_EQ(Cost(27, 27), 6); // the corners: + 1
    EXPECT_EQ(Cost(28, 25), 5); // ring 3 untouched
    EXPECT_EQ(Cost(35, 5), 7);  // soft: + 2 on the vertex, + 1 around
    EXPECT_EQ(Cost(36, 6), 6);
    EXPECT_EQ(Cost(35, 20), 0); // a cost of 0 is never raised
    EXPECT_EQ(Cost(36, 20), 6);
    EXPECT_EQ(V(TerrainVertex(25, 25).Tree), 3);
}

TEST_F(TerrainTest, BuildingFootprintsAndObjects)
{
    MakeMap(30);
    AddBuilding(5, 5, TBuildingModel::Town, u"Greywater");
    AddBuilding(15, 5, TBuildingModel::RuinTower, u"");
    AddBuilding(25, 5, TBuildingModel::Bridge, u"Old bridge");
    AddBuilding(1, 20, TBuildingModel::Tavern, u"Edge");
    AddObject(10, 20);
    AddObject(5, 6); // under the town's footprint
    MapCell(5, 15).TerrainClass = 0;
    AddBuilding(5, 15, TBuildingModel::Chapel, u"Wet chapel");
    Build();

    for (int32_t dx = -1; dx <= 1; dx++)
        for (int32_t dz = -1; dz <= 1; dz++) {
            EXPECT_EQ(V(TerrainVertex(5 + dx, 5 + dz).Cover), 1);
            EXPECT_EQ(Cost(5 + dx, 5 + dz), 7);                    // an entrance: + 2
            EXPECT_EQ(Cost(15 + dx, 5 + dz), 0);                   // unnamed: an obstacle
            EXPECT_EQ(V(TerrainVertex(25 + dx, 5 + dz).Cover), 0); // a bridge is no building
            EXPECT_EQ(Cost(25 + dx, 5 + dz), 5);
        }
    EXPECT_EQ(Cost(5, 7), 5);
    EXPECT_EQ(V(TerrainVertex(5, 5).Building), 1);
    EXPECT_EQ(V(TerrainVertex(0, 20).Cover), 0); // the border is never covered
    EXPECT_EQ(V(TerrainVertex(1, 20).Cover), 4);
    EXPECT_EQ(Cost(10, 20), 0); // an object alone blocks its vertex
    EXPECT_EQ(V(TerrainVertex(10, 20).MapObject), 1);
    EXPECT_EQ(Cost(5, 6), 7);
    EXPECT_EQ(Cost(5, 15), 2); // an entrance raises even water
}

TEST_F(TerrainTest, GroundClasses)
{
    MakeMap(40);
    MapCell(1, 1).TerrainClass = 0;
    MapCell(2, 1).TerrainClass = 1;
    MapCell(3, 1).TerrainClass = 11;
    Weights(4, 1, {{12, 61}, {6, 39}});
    Weights(5, 1, {{10, 40}, {11, 21}, {6, 39}}); // arable and field apart: neither above 60
    Weights(6, 1, {{11, 70}, {6, 30}});
    Weights(7, 1, {{3, 61}, {6, 39}});
    for (int32_t i = 0; i < 6; i++)
        AddTree(10 + i, 10, 4); // six oaks in a row
    for (int32_t i = 0; i < 3; i++)
        AddTree(25 + i, 30, 6); // three pines
    for (int32_t i = 0; i < 6; i++)
        AddTree(10 + i, 30, 5); // six spruces
    Build();
    const struct {
        int32_t X, Z;
        uint8_t Class;
    } rows[] = {{1, 1, 1}, {2, 1, 2},    {3, 1, 9},    {4, 1, 6},    {5, 1, 8},    {6, 1, 7},
                {7, 1, 3}, {12, 12, 13}, {16, 11, 11}, {26, 31, 10}, {12, 32, 12}, {20, 20, 8}};
    for (const auto& row : rows)
        EXPECT_EQ(V(TerrainVertex(row.X, row.Z).GroundClass), row.Class) << row.X << "," << row.Z;
}

TEST_F(TerrainTest, HeightQueries)
{
    for (int32_t x = 0; x <= 12; x++)
        for (int32_t z = 0; z <= 12; z++)
            MapCell(x, z).Height = static_cast<int16_t>(x * 100 + z * 10);
    MapCell(3, 3).Height = -500;      // below the lowest height allowed
    MapCell(6, 6).SecondHeight = 900; // a pond's surface at 9 over ground at 6.6
    Build();

    const struct {
        float X, Z;
        bool IgnoreWater;
        float Y, PointX, PointZ;
    } rows[] = {
        {2.25f, 7.5f, false, 2.25f + 0.75f, 2.25f, 7.5f}, // the plane of the grid
        {12, 12, false, 13.2f, 12, 12},                   // the far corner: the last cell
        {15, -3, false, 12.0f, 12, 0},                    // clamped to the map
        {0.6f, 0.6f, false, 0.66f, 0.6f, 0.6f},
        {6.1f, 6.2f, false, 9.0f, 6.1f, 6.2f}, // raised to the water
        {6.1f, 6.2f, true, 6.1f + 0.62f, 6.1f, 6.2f},
    };
    for (const auto& row : rows) {
        TVec3 point;
        GetTerrainHeightAt(TVec3{row.X, 50, row.Z}, row.IgnoreWater, point);
        EXPECT_NEAR(point.y, row.Y, 1e-4) << row.X << "," << row.Z;
        EXPECT_EQ(point.x, row.PointX);
        EXPECT_EQ(point.z, row.PointZ);
    }
    EXPECT_EQ(V(MapCell(3, 3).Height), -300);
    EXPECT_EQ(V(TerrainVertex(3, 3).Position.y), -3.0f);
}

TEST_F(TerrainTest, CellSplits)
{
    auto heights = [](float a, float b, float c, float d) {
        TerrainVertex(1, 1).Position.y = a; // corner 1
        TerrainVertex(2, 1).Position.y = b; // corner 2
        TerrainVertex(1, 2).Position.y = c; // corner 3
        TerrainVertex(2, 2).Position.y = d; // corner 4
        return GetCellLowCorner(1, 1);
    };
    EXPECT_EQ(heights(0, 1, 1, 2), 1);
    EXPECT_EQ(heights(3, 1, 2, 2), 2);
    EXPECT_EQ(heights(0, 0, 1, 2), 1); // a tie: the corner opposite the highest
    EXPECT_EQ(heights(1, 1, 1, 1), 4);
    EXPECT_EQ(heights(2, 0, 3, 0), 2);
    EXPECT_EQ(GetCellLowCorner(12, 0), 0);
    EXPECT_EQ(GetCellLowCorner(-1, 3), 0);
}

TEST_F(TerrainTest, ChunkUpdatesStayInTheirChunks)
{
    MakeMap(200); // three 64-cell chunks a side
    HeadlessBuildTerrainModel();
    EXPECT_EQ(Chunks64PerSide, 3);
    EXPECT_EQ(Cost(100, 100), 0); // nothing before an update
    const int32_t before = LoadingProgress;
    HeadlessUpdateMapChunks({5}); // rows and columns 63..127
    EXPECT_EQ(LoadingProgress, before);
    EXPECT_EQ(Cost(63, 63), 5);
    EXPECT_EQ(Cost(127, 127), 5);
    EXPECT_EQ(Cost(62, 100), 0);
    EXPECT_EQ(Cost(128, 100), 0);
    HeadlessUpdateMapChunks({0}); // 1..65
    EXPECT_EQ(Cost(1, 1), 5);
    EXPECT_EQ(Cost(65, 65), 5);
    EXPECT_EQ(Cost(0, 0), 0);
    EXPECT_EQ(Cost(66, 10), 0);
    HeadlessUpdateMapChunks({});
    EXPECT_EQ(Cost(150, 190), 5);
    EXPECT_GT(LoadingProgress, before);
    EXPECT_EQ(Chunk16IndexAt(200, 200), 144); // row 200 counts to the last chunk row
    EXPECT_EQ(Chunk16IndexAt(0, 17), 2);
    EXPECT_EQ(Chunk16IndexAt(-1, 5), 0);
}

} // namespace
