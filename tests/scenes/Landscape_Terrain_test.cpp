#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_SceneHooks.h"
#include "scenes/Landscape_Terrain.h"
#include "tests/render/RenderTestSupport.h"

namespace {

// A flat 12-cell map of GrassFlat; the rock height out of reach.
void MakeMap(int32_t n = 12)
{
    AllocateMapGrids();
    ResetScenarioTables();
    MapInit.MapSizeMinus1 = n;
    MapInit.WaterLevel = 1000;
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

class LandscapeTerrainTest : public ::testing::Test {
protected:
    void SetUp() override { MakeMap(); }
    void TearDown() override { ResetScenarioTables(); }
};

TEST_F(LandscapeTerrainTest, LayerKeysOfThePresentLayers)
{
    Weights(3, 3, {});                                   // sand alone
    Weights(4, 4, {{6, 50}, {12, 50}});                  // two layers, 12 first
    Weights(8, 8, {{5, 25}, {6, 25}, {7, 25}, {9, 25}}); // the three lowest kinds
    BuildTerrainModel();
    struct {
        int32_t R, C;
        int32_t Key;
    } const cases[] = {{3, 3, 1}, {4, 4, 12 + 17 * 6}, {8, 8, 7 + 17 * 6 + 289 * 5}, {0, 0, 6}};
    for (const auto& c : cases)
        EXPECT_EQ(TerrainVertex(c.R, c.C).LayerKey, c.Key) << c.R << " " << c.C;
}

TEST_F(LandscapeTerrainTest, FacetsOnRidgesAndHighRock)
{
    // Neighbours of (6, 6) in circular order, from (7, 6) round to (7, 5).
    struct {
        const char* What;
        int16_t Self;
        int16_t Around[8];
        int Swamp;
        uint8_t Facet;
    } const cases[] = {
        {"a peak", 1000, {900, 500, 500, 500, 0, 500, 500, 500}, 0, 1},
        {"a peak in a swamp", 1000, {900, 500, 500, 500, 0, 500, 500, 500}, 30, 0},
        {"a peak on a wet meadow", 1000, {900, 500, 500, 500, 0, 500, 500, 500}, 29, 1},
        {"one arc above the vertex", 600, {900, 700, 700, 700, 0, 500, 500, 500}, 0, 0},
        {"high and low side by side", 1000, {900, 500, 0, 500, 500, 500, 500, 500}, 0, 0},
        {"arcs just 5 below", 1000, {1000, 995, 995, 995, 0, 995, 995, 995}, 0, 0},
        {"arcs 6 below", 1000, {1000, 994, 994, 994, 0, 994, 994, 994}, 0, 1},
    };
    const int8_t around[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        MakeMap();
        MapCell(6, 6).Height = c.Self;
        Weights(6, 6, {{3, c.Swamp}, {6, 100 - c.Swamp}});
        for (int k = 0; k < 8; k++)
            MapCell(6 + around[k][0], 6 + around[k][1]).Height = c.Around[k];
        BuildTerrainModel();
        EXPECT_EQ(int(TerrainVertex(6, 6).Facet), int(c.Facet));
    }
}

TEST_F(LandscapeTerrainTest, RockFacetsAboveTheRockHeight)
{
    MapInit.WaterLevel = 5;
    struct {
        int32_t R, C;
        int16_t Height;
        int Swamp;
        uint8_t Facet;
    } const cases[] = {
        {4, 6, 1000, 0, 1},    // (1000 + 10) mod 10 = 0
        {8, 3, 1000, 0, 0},    // 1011
        {10, 10, 1000, 40, 0}, // too wet
        {2, 8, 500, 0, 0},     // at the rock height, not above
        {0, 0, 1000, 0, 1},    // the border takes rock facets too
    };
    for (const auto& c : cases) {
        MapCell(c.R, c.C).Height = c.Height;
        Weights(c.R, c.C, {{3, c.Swamp}, {6, 100 - c.Swamp}});
    }
    BuildTerrainModel();
    for (const auto& c : cases)
        EXPECT_EQ(int(TerrainVertex(c.R, c.C).Facet), int(c.Facet)) << c.R << " " << c.C;
}

TEST_F(LandscapeTerrainTest, NormalsSumTheTrianglesAroundEachVertex)
{
    BuildTerrainModel();
    // A flat map splits every cell the same way: corners take one or two
    // triangles, inner vertices six.
    struct {
        int32_t R, C;
        float Up;
    } const flat[] = {{0, 0, 1}, {12, 0, 2}, {0, 12, 2}, {12, 12, 1}, {5, 5, 6}, {0, 5, 3}};
    for (const auto& c : flat) {
        const TVec3& n = TerrainVertex(c.R, c.C).Normal;
        EXPECT_NEAR(n.x, 0, 1e-6) << c.R << " " << c.C;
        EXPECT_NEAR(n.y, c.Up, 1e-5) << c.R << " " << c.C;
        EXPECT_NEAR(n.z, 0, 1e-6) << c.R << " " << c.C;
    }

    // A slope rising along x by 0.1 a unit: every triangle leans back.
    MakeMap();
    for (int32_t x = 0; x <= 12; x++)
        for (int32_t z = 0; z <= 12; z++)
            MapCell(x, z).Height = static_cast<int16_t>(10 * x);
    BuildTerrainModel();
    const float k = 1 / std::sqrt(1.01f);
    const TVec3& n = TerrainVertex(5, 5).Normal;
    EXPECT_NEAR(n.x, -0.1f * k * 6, 1e-4);
    EXPECT_NEAR(n.y, k * 6, 1e-4);
    EXPECT_NEAR(n.z, 0, 1e-5);

    // Bumpy ground: every normal still faces up.
    MakeMap();
    for (int32_t x = 0; x <= 12; x++)
        for (int32_t z = 0; z <= 12; z++)
            MapCell(x, z).Height = static_cast<int16_t>(((x * 37 + z * 91) % 17) * 40);
    BuildTerrainModel();
    for (int32_t x = 0; x <= 12; x++)
        for (int32_t z = 0; z <= 12; z++)
            EXPECT_GT(TerrainVertex(x, z).Normal.y, 0) << x << " " << z;
}

// A 150-cell map of rough hills, swamps, mixed ground kinds and, once, a
// sunken trench (cells below the clamp height, which the ridge test reads as
// they were), built with the fields split among 1,
// 2, 3 and 7 workers: every vertex comes out the same to the byte, and a
// second build gives the same normals (nothing adds up across builds).
TEST(LandscapeTerrainWorkers, AnySplitOfTheRowsGivesTheSameBytes)
{
    constexpr int32_t n = 150;
    for (const bool trench : {true, false}) {
        auto make = [trench] {
            MakeMap(n);
            MapInit.WaterLevel = 2;
            SetRandomSeed(4242);
            for (int32_t x = 0; x <= n; x++)
                for (int32_t z = 0; z <= n; z++) {
                    TMapCell& cell = MapCell(x, z);
                    cell.Height = static_cast<int16_t>(300 * std::sin(x * 0.21) * std::cos(z * 0.17) + RandomInt(120));
                    if (trench && x == 40)
                        cell.Height = -900;
                    cell.TerrainClass = static_cast<uint8_t>(2 + RandomInt(11));
                    for (int k = 1; k <= 16; k++)
                        cell.KindWeights[k] = 0;
                    for (int i = 0; i < 1 + RandomInt(4); i++)
                        cell.KindWeights[1 + RandomInt(16)] = static_cast<uint8_t>(10 + RandomInt(60));
                }
        };
        auto built = [&](int32_t workers) {
            make();
            SetTerrainFieldWorkers(workers);
            BuildTerrainModel();
            std::vector<uint8_t> bytes(TerrainVertices.size() * sizeof(TTerrainVertex));
            std::memcpy(bytes.data(), TerrainVertices.data(), bytes.size());
            return bytes;
        };
        const std::vector<uint8_t> serial = built(1);
        int facets = 0;
        for (int32_t x = 0; x <= n; x++)
            for (int32_t z = 0; z <= n; z++)
                facets += TerrainVertex(x, z).Facet;
        EXPECT_GT(facets, 0); // the facet rules have something to mark
        for (const int32_t workers : {2, 3, 7})
            EXPECT_TRUE(built(workers) == serial) << workers << " workers, trench " << trench;
        std::vector<TVec3> normals;
        for (const TTerrainVertex& vertex : TerrainVertices)
            normals.push_back(vertex.Normal);
        BuildTerrainModel();
        for (size_t i = 0; i < normals.size(); i++)
            ASSERT_EQ(std::memcmp(&normals[i], &TerrainVertices[i].Normal, sizeof(TVec3)), 0) << "vertex " << i;
    }
    SetTerrainFieldWorkers(0);
    ResetScenarioTables();
}

TEST(DeckHeight, BetweenTheNearestVerticesAlongTheDeck)
{
    // Deck vertices (x, y, z).
    const float deck[] = {0, 1, -2, 0, 3, 2, 0, 5, 4, 0, 9, 4};
    struct {
        const char* What;
        size_t Count;
        float Z;
        bool Found;
        float Height;
    } const cases[] = {
        {"between two", 4, 0, true, 2},
        {"at a vertex", 4, 2, true, 3},
        {"two at one z, the first wins", 4, 4, true, 5},
        {"past the end", 4, 7, true, 5},
        {"before the start", 4, -5, true, 1},
        {"one vertex", 1, 3, true, 1},
        {"none", 0, 1, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        float height = -1;
        EXPECT_EQ(DeckHeightAt(deck, c.Count, 3, c.Z, height), c.Found);
        if (c.Found) {
            EXPECT_FLOAT_EQ(height, c.Height);
        }
    }
}

// A bridge over (6, 2..10): its deck part a ramp up to 2 units in its
// middle, placed in the map scene of a recording renderer.
class BridgeTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        MainRender = Render.get();
        MakeMap();
        MapCell(6, 6).Height = 50;
        DefBuildingScale = 1;
        Render->Scene_Add("MAP");
        Bridge = ++MapBuildings.Count;
        MapBuildings[Bridge] = TMapBuilding{};
        MapBuildings[Bridge].Model = static_cast<int32_t>(TBuildingModel::Bridge);
        MapBuildings[Bridge].Pos[0] = 6;
        MapBuildings[Bridge].Pos[2] = 6;
        MapBuildings[Bridge].Scale = 2;
        BuildingInstances.assign(static_cast<size_t>(Bridge) + 1, {});
        BuildingInstances[static_cast<size_t>(Bridge)] = {Part("Bridge_Rail", 9), Part("Bridge_Enter", 0)};
        BuildTerrainModel();
    }
    void TearDown() override
    {
        BuildingInstances.clear();
        DefBuildingScale = 0;
        ResetScenarioTables();
        MainRender = nullptr;
        TRecordingRenderTest::TearDown();
    }
    // A part whose vertices (local x, y, z) climb from z -2 to 0 and fall
    // to z 2, raised by lift.
    int32_t Part(const std::string& name, float lift)
    {
        const int32_t slot = Render->Mesh_Add(MESH_TEXTURED, name, 1);
        T3D_Mesh* mesh = Render->Mesh_Get(slot);
        const float positions[] = {0, lift, -2, 0, 1 + lift, 0, 0, lift, 2};
        mesh->VertexStride = 24;
        mesh->Vertices.assign(3 * 24, 0);
        for (int v = 0; v < 3; v++)
            std::memcpy(mesh->Vertices.data() + 24 * v, positions + 3 * v, 12);
        return Render->Scene_Find("MAP")->AddMesh(slot, name);
    }
    int32_t Bridge = 0;
};

TEST_F(BridgeTest, PointsStandOnTheLastGatePart)
{
    struct {
        const char* What;
        TVec3 Position;
        float Y;
    } const cases[] = {
        {"the deck's crest", {6, 0, 6}, 2},
        {"half-way up", {6, 0, 4}, 1},
        {"a deck below the point", {6, 3, 6}, 3},
        {"past the deck's end", {6, 0, 12}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TVec3 point;
        GetBridgeSurfacePoint(c.Position, Bridge, point);
        EXPECT_FLOAT_EQ(point.y, c.Y);
        EXPECT_EQ(point.x, c.Position.x);
        EXPECT_EQ(point.z, c.Position.z);
    }
    // No deck without a bridge's model or a scale.
    TVec3 point;
    MapBuildings[Bridge].Model = static_cast<int32_t>(TBuildingModel::Fort);
    GetBridgeSurfacePoint({6, 0, 6}, Bridge, point);
    EXPECT_EQ(point.y, 0);
    MapBuildings[Bridge].Model = static_cast<int32_t>(TBuildingModel::Bridge);
    DefBuildingScale = 0;
    GetBridgeSurfacePoint({6, 0, 6}, Bridge, point);
    EXPECT_EQ(point.y, 0);
}

TEST_F(BridgeTest, TerrainPointStandsOnTheBridgeThatCoversIt)
{
    TVec3 point;
    GetTerrainPoint({6, 0, 6}, true, point);
    EXPECT_FLOAT_EQ(point.y, 0.5f); // no cover yet: the ground
    TerrainVertex(6, 6).Cover = static_cast<uint16_t>(Bridge);
    GetTerrainPoint({6, 0, 6}, true, point);
    EXPECT_FLOAT_EQ(point.y, 2);
    TerrainVertex(6, 6).Cover = 0;
}

TEST(MapSceneHooks, SavedViewIsTheCameraRecordsFirstThirteenValues)
{
    MapCamera = TMapCamera{};
    MapCamera.Eye = {1, 2, 3};
    MapCamera.ViewOffset = {-4, -5, -6};
    MapCamera.Target = {4, 5, 6};
    MapCamera.Distance = 700;
    MapCamera.Yaw = 0.25f;
    MapCamera.Pitch = 1.1f;
    MapCamera.FieldOfView = 0.7f;
    MapCamera.ViewWidth = 640;
    TMapSceneHooks hooks;
    int32_t view[13];
    hooks.GetMapView(view);
    float distance;
    std::memcpy(&distance, &view[9], 4);
    EXPECT_EQ(distance, 700);
    float fov;
    std::memcpy(&fov, &view[12], 4);
    EXPECT_EQ(fov, 0.7f);

    MapCamera = TMapCamera{};
    MapCamera.ViewWidth = 800;
    hooks.SetMapView(view);
    EXPECT_EQ(MapCamera.ViewOffset.y, -5);
    EXPECT_EQ(MapCamera.Pitch, 1.1f);
    EXPECT_EQ(MapCamera.ViewWidth, 800); // the rest of the record stays
}

} // namespace
