#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "model/Support.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shaders.h"
#include "render/QX9_Render_Shadows.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Upload.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Chunks.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_Materials.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_Plants.h"
#include "scenes/Landscape_Terrain.h"
#include "tests/render/RenderTestSupport.h"

namespace {

template <class T> T Read(const T3D_Mesh& mesh, int32_t vertex, int32_t offset)
{
    T value;
    std::memcpy(&value, mesh.Vertices.data() + static_cast<size_t>(vertex) * mesh.VertexStride + offset, sizeof(T));
    return value;
}

std::string Lower(std::string text)
{
    for (char& ch : text)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

TVec3 PositionOf(const T3D_Mesh& mesh, int32_t vertex)
{
    return Read<TVec3>(mesh, vertex, 0);
}

// A one-chunk map (64 cells a side) one unit above the water, of plain
// ground (kind 6) everywhere.
class LandscapeChunksTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
        MainRender = Render.get();
        AllocateMapGrids();
        ResetScenarioTables();
        MapInit.MapSizeMinus1 = 64;
        MapInit.WaterLevel = 1000;
        for (int32_t x = 0; x <= 64; x++)
            for (int32_t z = 0; z <= 64; z++) {
                TMapCell& cell = MapCell(x, z);
                cell = TMapCell{};
                cell.Height = 100;
                cell.TerrainClass = 2;
                cell.KindWeights[6] = 100;
            }
        // Slot 0 is taken before any map loads, as in the game: a table
        // entry 0 means no mesh.
        Render->Mesh_Add(MESH_TEXTURED, "First", 0);
        // Uploads wait in the queue, as on the loading worker: the meshes
        // keep their bytes to look at.
        Render->UploadQueue_Begin();
    }
    void TearDown() override
    {
        Render->UploadQueue_End();
        while (!Render->UploadQueue_Empty())
            Render->UploadQueue_Process(UPLOAD_FRAME_BUDGET);
        MainRender = nullptr;
        ResetScenarioTables();
        TRecordingRenderTest::TearDown();
    }

    void Build()
    {
        BuildTerrainModel();
        BuildTerrainChunkMeshes();
    }
    const T3D_Mesh& Water() { return *Render->Mesh_Get(WaterChunkMeshes[1]); }
    const T3D_Mesh& Land() { return *Render->Mesh_Get(LandChunkMeshes[1]); }
    const T3D_Mesh& Hill() { return *Render->Mesh_Get(HillChunkMeshes[1]); }
};

TEST_F(LandscapeChunksTest, FlatLandFillsTheLandMeshInSixteenBlocks)
{
    BuildTerrainModel();
    const int32_t steps = LoadingProgress;
    BuildTerrainChunkMeshes();
    EXPECT_EQ(LoadingProgress - steps, 2); // after the blocks and at the end
    BuildPlantMeshes();
    EXPECT_EQ(LoadingProgress - steps, 5); // one a plant pass
    ASSERT_EQ(WaterChunkMeshes.size(), 2u);
    EXPECT_EQ(Water().Name, "WaterCell1");
    EXPECT_EQ(Land().Name, "PlainCell1");
    EXPECT_EQ(Hill().Name, "HillCell1");
    EXPECT_EQ(Water().VertexFormat, MESH_WATER);
    EXPECT_EQ(Land().VertexFormat, MESH_LANDSKAPE);
    // No water anywhere: the water mesh is there, empty; so is the hill mesh.
    EXPECT_EQ(Water().IndexCount, 0);
    EXPECT_EQ(Hill().IndexCount, 0);
    // One set, so one vertex per grid point of each 17 x 17 block.
    const T3D_Mesh& land = Land();
    EXPECT_EQ(land.IndexCount, 64 * 64 * 6);
    EXPECT_EQ(land.VertexCount, 16 * 17 * 17);
    ASSERT_EQ(land.Subsets.size(), 16u);
    for (int32_t i = 0; i < 16; i++) {
        const T3D_Subset& subset = land.Subsets[static_cast<size_t>(i)];
        const int32_t b = ChunkBlockOrder[i];
        // Packed records: the fields are read into values first.
        const int32_t first = subset.First, count = subset.Count;
        const float minX = subset.Corners[0][0], minZ = subset.Corners[0][2], maxX = subset.Corners[4][0];
        EXPECT_EQ(first, i * 16 * 16 * 6) << i;
        EXPECT_EQ(count, 16 * 16 * 6) << i;
        // Corner 0 holds the minima: the block's first grid point.
        EXPECT_EQ(minX, 16.0f * (b / 4)) << i;
        EXPECT_EQ(minZ, 16.0f * (b % 4)) << i;
        EXPECT_EQ(maxX, 16.0f * (b / 4) + 16) << i;
    }
    // White, alpha the tint; kind 6 alone weighs 255.
    EXPECT_EQ(Read<uint8_t>(land, 0, 32), 255);
    EXPECT_EQ(Read<uint8_t>(land, 0, 33), 0);
}

TEST_F(LandscapeChunksTest, ATriangleDippingUnderTheWaterIsInBothMeshes)
{
    MapCell(10, 20).Height = -100;
    MapCell(10, 20).SecondHeight = -50;
    Build();
    const T3D_Mesh& water = Water();
    const T3D_Mesh& land = Land();
    ASSERT_GT(water.IndexCount, 0);
    EXPECT_EQ(land.IndexCount, 64 * 64 * 6); // every triangle still touches dry ground
    // Every water triangle holds the sunken vertex; there are as many as
    // triangles meet there.
    int32_t around = 0;
    for (int32_t i = 0; i < land.IndexCount; i++) {
        const TVec3 p = PositionOf(land, land.Indices[static_cast<size_t>(i)]);
        around += p.x == 10 && p.z == 20;
    }
    EXPECT_EQ(water.IndexCount, 3 * around);
    for (int32_t t = 0; t < water.IndexCount; t += 3) {
        bool holds = false;
        for (int32_t j = 0; j < 3; j++) {
            const TVec3 p = PositionOf(water, water.Indices[static_cast<size_t>(t + j)]);
            holds |= p.x == 10 && p.z == 20;
        }
        EXPECT_TRUE(holds) << "triangle " << t / 3;
    }
    // On the water: every vertex at its own level (0 around, -0.5 at the dip),
    // the ripple coordinates x / 16, z / 16.
    for (int32_t v = 0; v < water.VertexCount; v++) {
        const TVec3 p = PositionOf(water, v);
        EXPECT_EQ(p.y, p.x == 10 && p.z == 20 ? -0.5f : 0.0f);
        EXPECT_EQ(Read<float>(water, v, 12), p.x / 16);
        EXPECT_EQ(Read<float>(water, v, 16), p.z / 16);
    }
    // Only the dipping vertex's block gained indices: one subset.
    EXPECT_EQ(water.Subsets.size(), 1u);
}

TEST(LandscapeAtlas, SlotCoordinatesOfTheGroundAtlas)
{
    const struct {
        int32_t Kind;
        float X, Z;
        float U, V;
    } cases[] = {
        {1, 32, 48, 6.0f / 2048, 506.0f / 2048},                 // the block's first point: tile 0's inset corner
        {1, 48, 48, 506.0f / 2048, 506.0f / 2048},               // 16 along x
        {1, 32, 64, 6.0f / 2048, 6.0f / 2048},                   // 16 along z: v runs against z
        {6, 32, 48, 6.0f / 2048 + 0.25f, 506.0f / 2048 + 0.25f}, // column 1, row 1
        {16, 48, 64, 506.0f / 2048 + 0.75f, 6.0f / 2048 + 0.75f},
    };
    for (const auto& c : cases) {
        float u = 0, v = 0;
        AtlasUV(c.Kind, c.X, c.Z, 32, 48, u, v);
        EXPECT_FLOAT_EQ(u, c.U) << c.Kind << " " << c.X << " " << c.Z;
        EXPECT_FLOAT_EQ(v, c.V) << c.Kind << " " << c.X << " " << c.Z;
    }
    EXPECT_EQ(6.0f / 2048, 0.0029296875f);
}

TEST_F(LandscapeChunksTest, TextureSetsTakeTheHeaviestKinds)
{
    AllocateMapGrids();
    MapInit.MapSizeMinus1 = 64;
    auto layers = [](int32_t r, int32_t c, std::initializer_list<std::pair<int, int>> list) {
        TTerrainVertex& v = TerrainVertex(r, c);
        v.LayerCount = 0;
        for (const auto& [kind, weight] : list)
            v.Layers[v.LayerCount++] = TTerrainLayer{uint8_t(kind), uint8_t(weight)};
    };
    const int32_t tri[3][2] = {{0, 0}, {1, 0}, {0, 1}};
    struct {
        const char* Name;
        std::vector<std::pair<int, int>> A, B, C;
        uint8_t Kinds[4];
    } const cases[] = {
        {"one kind", {{6, 100}}, {{6, 100}}, {{6, 100}}, {6, 0, 0, 0}},
        // Sums 1:30, 2:90, 3:60, 4:95, 5:50, 6:40, 7:45, 8:70, 9:20.
        {"nine kinds", {{1, 30}, {2, 50}, {3, 20}}, {{4, 95}, {5, 5}, {2, 40}}, {{3, 40}, {8, 70}, {9, 20}}, {}},
        // Equal sums: the lower kind first.
        {"ties", {{5, 50}, {3, 50}}, {{5, 10}}, {{3, 10}}, {3, 5, 0, 0}},
    };
    for (const auto& c : cases) {
        layers(0, 0, {});
        for (const auto& l : c.A)
            TerrainVertex(0, 0).Layers[TerrainVertex(0, 0).LayerCount++] =
                TTerrainLayer{uint8_t(l.first), uint8_t(l.second)};
        layers(1, 0, {});
        for (const auto& l : c.B)
            TerrainVertex(1, 0).Layers[TerrainVertex(1, 0).LayerCount++] =
                TTerrainLayer{uint8_t(l.first), uint8_t(l.second)};
        layers(0, 1, {});
        for (const auto& l : c.C)
            TerrainVertex(0, 1).Layers[TerrainVertex(0, 1).LayerCount++] =
                TTerrainLayer{uint8_t(l.first), uint8_t(l.second)};
        const TTriangleTextureSet set = TriangleTextureSet(tri);
        const uint8_t nine[4] = {4, 2, 8, 3};
        const uint8_t* want = std::string(c.Name) == "nine kinds" ? nine : c.Kinds;
        int32_t key = 0, power = 1;
        for (int m = 0; m < 4; m++, power *= 17) {
            EXPECT_EQ(int(set.Kinds[m]), int(want[m])) << c.Name << " slot " << m;
            key += want[m] * power;
        }
        EXPECT_EQ(set.Key, key) << c.Name;
    }
}

TEST_F(LandscapeChunksTest, SlotWeightsAreScaledToTwoHundredFiftyFive)
{
    for (int32_t x = 0; x <= 64; x++)
        for (int32_t z = 0; z <= 64; z++) {
            MapCell(x, z).KindWeights[6] = 60;
            MapCell(x, z).KindWeights[2] = 40;
        }
    Build();
    const T3D_Mesh& land = Land();
    ASSERT_GT(land.VertexCount, 0);
    for (int32_t v = 0; v < land.VertexCount; v += 97) {
        EXPECT_EQ(Read<uint8_t>(land, v, 32), 153) << v;
        EXPECT_EQ(Read<uint8_t>(land, v, 33), 102) << v;
        EXPECT_EQ(Read<uint8_t>(land, v, 34), 0) << v;
    }
    // Slot 1 (kind 6) packed as it was computed: at the map's corner, the
    // first grid point of block 0.
    float u = 0, vv = 0;
    AtlasUV(6, 0, 0, 0, 0, u, vv);
    for (int32_t v = 0; v < land.VertexCount; v++)
        if (PositionOf(land, v).x == 0 && PositionOf(land, v).z == 0) {
            EXPECT_EQ(Read<int16_t>(land, v, 16), static_cast<int16_t>(std::nearbyint(u * 32767)));
            EXPECT_EQ(Read<int16_t>(land, v, 18), static_cast<int16_t>(std::nearbyint(vv * 32767)));
        }
}

TEST_F(LandscapeChunksTest, VerticesAreSharedWithinABlockAndATextureSet)
{
    // Plain ground (kind 6) up to x = 30, road (kind 2) beyond: triangles
    // across the seam carry the sets {6, 2} and {2, 6}.
    for (int32_t x = 31; x <= 64; x++)
        for (int32_t z = 0; z <= 64; z++) {
            MapCell(x, z).KindWeights[6] = 0;
            MapCell(x, z).KindWeights[2] = 100;
        }
    Build();
    const T3D_Mesh& land = Land();
    ASSERT_EQ(land.Subsets.size(), 16u);
    // Within a block a vertex is one grid point in one set (its slots' atlas
    // coordinates tell the set): no two vertices alike, and every grid point
    // of the seam in more than one set.
    std::map<std::pair<float, float>, std::set<std::vector<int16_t>>> setsAt;
    for (const T3D_Subset& subset : land.Subsets) {
        const int32_t first = subset.First, count = subset.Count;
        std::map<std::vector<int16_t>, int32_t> seen;
        std::set<int32_t> vertices(land.Indices.begin() + first, land.Indices.begin() + first + count);
        for (const int32_t v : vertices) {
            const TVec3 p = PositionOf(land, v);
            std::vector<int16_t> id{static_cast<int16_t>(p.x), static_cast<int16_t>(p.z)};
            for (int w = 0; w < 8; w++)
                id.push_back(Read<int16_t>(land, v, 16 + 2 * w));
            EXPECT_TRUE(seen.emplace(id, v).second) << "vertex " << v << " repeats " << seen[id];
            setsAt[std::make_pair(p.x, p.z)].insert(std::vector<int16_t>(id.begin() + 2, id.end()));
        }
    }
    auto setsOf = [&](float x, float z) { return setsAt[std::make_pair(x, z)].size(); };
    EXPECT_EQ(setsOf(5, 5), 1u);
    EXPECT_EQ(setsOf(50, 5), 1u);
    EXPECT_GE(setsOf(31, 5), 2u);
    EXPECT_GE(setsOf(30, 5), 2u);
}

TEST_F(LandscapeChunksTest, FacetVerticesOfTheHillMeshStandAlone)
{
    // A hill slope over the block at the chunk's origin.
    for (int32_t x = 0; x <= 64; x++)
        for (int32_t z = 0; z <= 64; z++) {
            MapCell(x, z).TerrainClass = 3;
            MapCell(x, z).Height = static_cast<int16_t>(100 + 30 * x + 7 * (z % 3));
        }
    BuildTerrainModel();
    for (auto& vertex : TerrainVertices)
        vertex.Facet = 0;
    TerrainVertex(5, 6).Facet = 1;
    BuildTerrainChunkMeshes();
    const T3D_Mesh& hill = Hill();
    EXPECT_EQ(Land().IndexCount, 0);
    ASSERT_EQ(hill.IndexCount, 64 * 64 * 6);
    // One vertex per triangle at the facet point, each with that triangle's
    // normal; every other grid point of a block is shared.
    std::map<int32_t, int32_t> uses;
    for (int32_t t = 0; t < hill.IndexCount; t += 3) {
        int32_t idx[3];
        TVec3 p[3];
        for (int j = 0; j < 3; j++) {
            idx[j] = hill.Indices[static_cast<size_t>(t + j)];
            p[j] = PositionOf(hill, idx[j]);
        }
        for (int j = 0; j < 3; j++) {
            if (!(p[j].x == 5 && p[j].z == 6))
                continue;
            uses[idx[j]]++;
            TVec3 ba{p[1].x - p[0].x, p[1].y - p[0].y, p[1].z - p[0].z};
            TVec3 bc{p[1].x - p[2].x, p[1].y - p[2].y, p[1].z - p[2].z};
            Vec3Normalize(ba, ba);
            Vec3Normalize(bc, bc);
            TVec3 n;
            Vec3Cross(ba, bc, n);
            Vec3Normalize(n, n);
            uint8_t want[3];
            PackNormal(n, want[0], want[1], want[2]);
            for (int k = 0; k < 3; k++)
                EXPECT_EQ(Read<uint8_t>(hill, idx[j], 12 + k), want[k]) << "triangle " << t / 3;
        }
    }
    EXPECT_EQ(uses.size(), 6u);
    for (const auto& [vertex, count] : uses)
        EXPECT_EQ(count, 1) << vertex;
    EXPECT_EQ(hill.VertexCount, 16 * 17 * 17 - 1 + 6);
}

TEST_F(LandscapeChunksTest, RefillKeepsTheMeshes)
{
    // Before any build the tables are empty: a refill touches no mesh.
    BuildTerrainModel();
    WaterChunkMeshes.assign(2, 0);
    LandChunkMeshes.assign(2, 0);
    HillChunkMeshes.assign(2, 0);
    BuildChunkMesh(1, false);
    EXPECT_EQ(Render->MeshCount, 1);
    EXPECT_EQ(Render->Mesh_Get(0)->IndexCount, 0);

    Build();
    const int32_t water = WaterChunkMeshes[1], land = LandChunkMeshes[1];
    const int32_t meshes = Render->MeshCount;
    MapCell(30, 30).SecondHeight = 500;
    BuildTerrainModel();
    const int32_t steps = LoadingProgress;
    BuildChunkMesh(1, false);
    EXPECT_EQ(LoadingProgress, steps); // a refill is no loading step
    EXPECT_EQ(Render->MeshCount, meshes);
    EXPECT_EQ(WaterChunkMeshes[1], water);
    EXPECT_EQ(LandChunkMeshes[1], land);
    EXPECT_GT(Water().IndexCount, 0);
}

// ---------------------------------------------------------------------------
// Plants

// A model mesh of the given format whose vertices are positions only (the
// rest of each vertex zero but for a normal facing +x).
int32_t ModelMesh(T3D_Render& render, int32_t format, const std::vector<TVec3>& positions, const TWordArray& indices)
{
    const int32_t slot = render.Mesh_Add(format, "Model" + std::to_string(render.MeshCount), 1);
    T3D_Mesh& mesh = *render.Mesh_Get(slot);
    mesh.VertexStride = VertexFormatStride[static_cast<size_t>(format)];
    mesh.VertexCount = static_cast<int32_t>(positions.size());
    mesh.Vertices.assign(positions.size() * static_cast<size_t>(mesh.VertexStride), 0);
    for (size_t i = 0; i < positions.size(); i++) {
        uint8_t* v = mesh.Vertices.data() + i * static_cast<size_t>(mesh.VertexStride);
        std::memcpy(v, &positions[i], sizeof(TVec3));
        PackNormal(TVec3{1, 0, 0}, v[12], v[13], v[14]);
        PackNormal(TVec3{0, 0, 1}, v[16], v[17], v[18]);
    }
    mesh.Indices = indices;
    mesh.IndexCount = static_cast<int32_t>(indices.size());
    return slot;
}

TEST_F(LandscapeChunksTest, AppendedCopiesAreScaledTurnedAndMoved)
{
    const int32_t slot = ModelMesh(*Render, MESH_NORMALMAPPED, {{1, 0, 0}, {0, 1, 0}, {0, 0, 2}}, {0, 1, 2});
    const T3D_Mesh& model = *Render->Mesh_Get(slot);
    T3D_VertexArray vertices(5);
    TWordArray indices{7};
    const float angle = 3.14159265f / 2;
    ASSERT_TRUE(AppendMeshInstance(model, 0xFF102030u, vertices, 10, 0, 5, angle, 2, indices));
    ASSERT_EQ(vertices.size(), 8u);
    EXPECT_EQ(indices, (TWordArray{7, 5, 6, 7}));
    // The same placement as a scene instance's world matrix.
    T3D_BaseMesh placed(nullptr, "placed");
    placed.ResetMatrix();
    placed.Scale(2);
    placed.Rotate(1, angle);
    placed.Translate(10, 0, 5);
    const TVec3 model3[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 2}};
    for (int i = 0; i < 3; i++) {
        TVec3 want;
        Vec3TransformCoord(model3[i], *placed.World, want);
        const T3D_Vertex& v = vertices[static_cast<size_t>(5 + i)];
        EXPECT_NEAR(v.Position.x, want.x, 1e-5) << i;
        EXPECT_NEAR(v.Position.y, want.y, 1e-5) << i;
        EXPECT_NEAR(v.Position.z, want.z, 1e-5) << i;
        EXPECT_EQ(v.Color, 0xFF102030u);
        // The normal (+x) turns as the model's x axis does, and stays unit.
        TVec3 axis;
        Vec3TransformCoord(TVec3{1, 0, 0}, *placed.World, axis);
        TVec3 origin;
        Vec3TransformCoord(TVec3{0, 0, 0}, *placed.World, origin);
        TVec3 turned{axis.x - origin.x, axis.y - origin.y, axis.z - origin.z};
        Vec3Normalize(turned, turned);
        EXPECT_NEAR(v.Normal.x, turned.x, 1e-5);
        EXPECT_NEAR(v.Normal.z, turned.z, 1e-5);
        EXPECT_NEAR(Vec3Length(v.Normal), 1, 1e-5);
    }
    // Formats that are not plants add nothing.
    const int32_t textured = ModelMesh(*Render, MESH_TEXTURED, {{0, 0, 0}}, {0});
    EXPECT_TRUE(AppendMeshInstance(*Render->Mesh_Get(textured), 0, vertices, 0, 0, 0, 0, 1, indices));
    EXPECT_EQ(vertices.size(), 8u);
}

TEST_F(LandscapeChunksTest, GrassBetweenThreeAndEightTenthsFollowsTheGround)
{
    for (int32_t x = 0; x <= 64; x++)
        for (int32_t z = 0; z <= 64; z++)
            MapCell(x, z).Height = 200;
    BuildTerrainModel();
    const int32_t slot =
        ModelMesh(*Render, MESH_GRASS, {{0, 0.3f, 0}, {0, 0.5f, 0}, {0, 0.8f, 0}, {0, 0.1f, 0}}, {0, 1, 2});
    T3D_VertexArray vertices;
    TWordArray indices;
    ASSERT_TRUE(AppendMeshInstance(*Render->Mesh_Get(slot), 0, vertices, 20, 0, 20, 0, 1, indices));
    ASSERT_EQ(vertices.size(), 4u);
    EXPECT_FLOAT_EQ(vertices[0].Position.y, 0.3f); // exactly 0.3: as placed
    EXPECT_FLOAT_EQ(vertices[1].Position.y, 2.5f); // on the ground, 2 units up
    EXPECT_FLOAT_EQ(vertices[2].Position.y, 0.8f); // exactly 0.8: as placed
    EXPECT_FLOAT_EQ(vertices[3].Position.y, 0.1f);
}

TEST_F(LandscapeChunksTest, PlantsPastTheIndexRangeGoOnInAnotherMesh)
{
    // A trunk model of 30,000 vertices, three trees of it in one block: the
    // chunk needs 90,000 vertices, more than one mesh can address.
    std::vector<TVec3> positions(30000, TVec3{0, 1, 0});
    TWordArray indices;
    for (uint16_t i = 0; i + 2 < 30000; i += 3)
        indices.insert(indices.end(), {i, uint16_t(i + 1), uint16_t(i + 2)});
    const int32_t trunk = ModelMesh(*Render, MESH_NORMALMAPPED, positions, indices);
    TreeModelLibrary.Kinds.assign(2, TModelKindRange{});
    TreeModelLibrary.Kinds[1] = TModelKindRange{1, 1};
    TreeModelLibrary.Total = 1;
    TreeModelMeshes.assign(2, {});
    TreeModelMeshes[1] = {trunk};
    TreePlantTypes.assign(2, {});
    TreePlantTypes[1] = {ptTrunk};
    MapTrees.Count = 3;
    for (int32_t t = 1; t <= 3; t++) {
        MapTrees[t] = TMapTree{};
        MapTrees[t].Pos[0] = 3.0f + t;
        MapTrees[t].Pos[2] = 4;
        MapTrees[t].Scale = 1;
        MapTrees[t].Kind = 1;
    }
    BuildTerrainModel();
    BuildPlantMeshes();
    ASSERT_EQ(TrunkMeshes.size(), static_cast<size_t>(Chunk16Count) + 1);
    std::vector<const T3D_Mesh*> meshes;
    for (size_t k = 1; k < TrunkMeshes.size(); k++)
        if (TrunkMeshes[k] > 0) {
            meshes.push_back(Render->Mesh_Get(TrunkMeshes[k]));
            EXPECT_EQ(TrunkMeshChunks[k], 1) << k;
            EXPECT_TRUE(k == 1 || k > static_cast<size_t>(Chunk64Count)) << k;
        }
    ASSERT_EQ(meshes.size(), 2u);
    EXPECT_EQ(meshes[0]->VertexCount, 60000);
    EXPECT_EQ(meshes[1]->VertexCount, 30000);
    int32_t total = 0;
    for (const T3D_Mesh* mesh : meshes) {
        EXPECT_EQ(mesh->VertexFormat, MESH_NORMALMAPPED);
        total += mesh->IndexCount;
        for (const uint16_t index : mesh->Indices)
            ASSERT_LT(index, mesh->VertexCount) << mesh->Name;
        ASSERT_EQ(mesh->Subsets.size(), 1u);
    }
    EXPECT_EQ(total, 3 * static_cast<int32_t>(indices.size()));
    EXPECT_EQ(meshes[0]->Name, "PlantTrunk" + std::to_string(Chunk16Count));
    EXPECT_EQ(FoliageMeshes[1], 0);
    EXPECT_EQ(GrassMeshes[1], 0);
    FreeTerrainResources();
}

// A 256-cell map (sixteen 64-cell chunks) of hills, water and plain with
// trees of three plant models: the chunk and plant builds on several
// workers give, mesh for mesh, what one thread gives, in the same slots
// and names, with the uploads queued in the same order.
TEST_F(LandscapeChunksTest, BuildWorkersGiveTheMeshesOfOneThread)
{
    MapInit.MapSizeMinus1 = 256;
    for (int32_t x = 0; x <= 256; x++)
        for (int32_t z = 0; z <= 256; z++) {
            TMapCell& cell = MapCell(x, z);
            cell = TMapCell{};
            cell.Height = static_cast<int16_t>(600 + 700 * std::sin(x * 0.07) * std::cos(z * 0.05));
            cell.TerrainClass = static_cast<uint8_t>((x / 40 + z / 50) % 3 == 0 ? 4 : 2);
            cell.KindWeights[1 + (x + z) % 9] = 60;
            cell.KindWeights[6] = 40;
        }
    const std::vector<TVec3> shape{{0, 0, 0}, {1, 0.5f, 0}, {0, 1, 1}, {-1, 2, 0}};
    const TWordArray faces{0, 1, 2, 1, 2, 3};
    const int32_t crown = ModelMesh(*Render, MESH_TREECOMA, shape, faces);
    const int32_t trunk = ModelMesh(*Render, MESH_NORMALMAPPED, shape, faces);
    const int32_t grass = ModelMesh(*Render, MESH_GRASS, shape, faces);
    TreeModelLibrary.Kinds.assign(3, TModelKindRange{});
    TreeModelLibrary.Kinds[1] = TModelKindRange{1, 1};
    TreeModelLibrary.Kinds[2] = TModelKindRange{2, 1};
    TreeModelLibrary.Total = 2;
    TreeModelMeshes = {{}, {crown, trunk}, {grass}};
    TreePlantTypes = {{}, {ptFoliage, ptTrunk}, {ptGrass}};
    MapTrees.Count = 300;
    for (int32_t t = 1; t <= MapTrees.Count; t++) {
        MapTrees[t] = TMapTree{};
        MapTrees[t].Pos[0] = static_cast<float>((t * 37) % 250) + 2.5f;
        MapTrees[t].Pos[2] = static_cast<float>((t * 91) % 250) + 1.5f;
        MapTrees[t].Scale = 0.5f + static_cast<float>(t % 7) / 5;
        MapTrees[t].Angle = static_cast<float>(t) * 0.7f;
        MapTrees[t].Kind = t % 3 == 0 ? 2 : 1;
    }
    BuildTerrainModel();

    // Every table entry's mesh as slot (from the build's first), name,
    // bytes, indices and bounds; then the queued uploads' mesh names.
    struct TBuilt {
        std::vector<std::string> Meshes;
        std::vector<std::string> Queue;
    };
    auto build = [&](int32_t workers) {
        SetMapBuildWorkers(workers);
        const size_t queued = Render->UploadQueue.size();
        const int32_t firstSlot = Render->Mesh_Add(MESH_GRID, "Mark", 0);
        BuildTerrainChunkMeshes();
        BuildPlantMeshes();
        SetMapBuildWorkers(0);
        TBuilt built;
        for (const TIntArray* table : {&WaterChunkMeshes, &LandChunkMeshes, &HillChunkMeshes, &FoliageMeshes,
                                       &TrunkMeshes, &GrassMeshes, &FoliageMeshChunks, &TrunkMeshChunks,
                                       &GrassMeshChunks}) {
            const bool slots = table != &FoliageMeshChunks && table != &TrunkMeshChunks && table != &GrassMeshChunks;
            for (size_t k = 0; k < table->size(); k++) {
                const int32_t slot = (*table)[k];
                std::string line = std::to_string(k) + ": ";
                const T3D_Mesh* mesh = slots && slot > 0 ? Render->Mesh_Get(slot) : nullptr;
                if (mesh == nullptr) {
                    built.Meshes.push_back(line + std::to_string(slot));
                    continue;
                }
                line += std::to_string(slot - firstSlot) + " " + mesh->Name + " ";
                line.append(mesh->Vertices.begin(), mesh->Vertices.end());
                line.append(reinterpret_cast<const char*>(mesh->Indices.data()), mesh->Indices.size() * 2);
                for (const T3D_Subset& subset : mesh->Subsets)
                    line.append(reinterpret_cast<const char*>(&subset), sizeof subset);
                built.Meshes.push_back(line);
            }
        }
        for (size_t k = queued; k < Render->UploadQueue.size(); k++) {
            const TUploadTask& task = Render->UploadQueue[k];
            if (task.Kind != UPLOAD_MESH)
                continue; // the first build's textures
            const auto* mesh = dynamic_cast<const T3D_Mesh*>(static_cast<T3D_UniversalResource*>(task.Object));
            built.Queue.push_back(mesh != nullptr ? mesh->Name : "?");
        }
        return built;
    };
    const TBuilt one = build(1);
    const TBuilt three = build(3);
    // Something of every kind was built, and a continuation is not needed.
    for (const TIntArray* table : {&WaterChunkMeshes, &HillChunkMeshes, &FoliageMeshes, &TrunkMeshes, &GrassMeshes})
        EXPECT_GT(std::count_if(table->begin(), table->end(), [](int32_t slot) { return slot > 0; }), 3);
    EXPECT_EQ(one.Meshes.size(), three.Meshes.size());
    for (size_t k = 0; k < std::min(one.Meshes.size(), three.Meshes.size()); k++)
        ASSERT_TRUE(one.Meshes[k] == three.Meshes[k]) << k << ": " << one.Meshes[k].substr(0, 40) << " / "
                                                      << three.Meshes[k].substr(0, 40);
    EXPECT_EQ(one.Queue.size(), three.Queue.size());
    for (size_t k = 0; k < std::min(one.Queue.size(), three.Queue.size()); k++)
        ASSERT_EQ(one.Queue[k], three.Queue[k]) << k;
    EXPECT_GT(one.Queue.size(), 16u * 3);
    FreeTerrainResources();
}

// ---------------------------------------------------------------------------
// Materials

class MapMaterialsTest : public LandscapeChunksTest {
protected:
    void SetUp() override
    {
        LandscapeChunksTest::SetUp();
        Render->Scene_Add("MAP");
        Scene = Render->Scene_Find("MAP");
        MapBuildings.Count = 8;
        MapBuildings[7] = TMapBuilding{};
        MapBuildings[7].Model = 3;
        MapBuildings[8] = TMapBuilding{};
        MapBuildings[8].Model = static_cast<int32_t>(TBuildingModel::Bridge);
    }
    T3D_SceneMesh& Instance(const std::string& meshName)
    {
        const int32_t mesh = Render->Mesh_Add(MESH_NORMALMAPPED, meshName, 1);
        return *Scene->GetMesh(Scene->AddMesh(mesh, meshName));
    }
    // The shader's file name in lower case, as the registry keeps it.
    std::string ShaderIn(const T3D_SceneMesh& instance, const std::string& pass, uint8_t kind)
    {
        for (const T3D_PassShader& s : instance.PassShaders)
            if (s.PassName == pass && s.Kind == kind) {
                const T3D_Shader* shader = ShaderAt(*Render, s.ShaderIndex);
                return shader != nullptr ? shader->FileName : "?";
            }
        return "";
    }
    const T3D_Constant* Constant(const T3D_SceneMesh& instance, const std::string& name)
    {
        for (const T3D_Constant& c : instance.Constants.Constants)
            if (c.Name == name)
                return &c;
        return nullptr;
    }
    T3D_Scene* Scene = nullptr;
};

TEST_F(MapMaterialsTest, KindsSetGroupsPrioritiesPicksAndShaders)
{
    const struct {
        const char* Mesh;
        int32_t Kind, Id;
        uint32_t Groups;
        int32_t Priority;
        int32_t Pick; // -1 none
        int32_t Alpha;
        const char *Vs, *Ps, *DepthVs, *DepthPs;
    } cases[] = {
        {"Keep", 0, 7, 1, 0, 7, RSK_ALPHA_TEST128, "", "", "", ""},
        {"Keep Enter", 0, 7, 0x1000, 4, 16391, RSK_ALPHA_OPAQUE, "", "", "", ""},
        {"Bridge Enter", 0, 8, 0x1000, 3, 16392, RSK_ALPHA_OPAQUE, "", "", "", ""},
        {"Keep Collision Enter", 0, 7, 0x2000, 2, 7, RSK_ALPHA_OPAQUE, "", "", "", ""},
        {"Bridge Collision", 0, 8, 0x2000, 1, 8, RSK_ALPHA_OPAQUE, "", "", "", ""},
        {"Rock", 1, 5, 0x20, 0, 3005, RSK_ALPHA_TEST128, "", "", "", ""},
        {"Crown", 3, 0, 2, 0, -1, RSK_ALPHA_TEST128, "Tree_VS.bin", "Tree_PS.bin", "Shadow_Tree_VS.bin", ""},
        {"Trunk", 4, 0, 2, 0, -1, RSK_ALPHA_TEST128, "", "", "", ""},
        {"Grass", 5, 0, 4, 5, -1, RSK_ALPHA_BLEND, "Grass_VS.bin", "Grass_PS.bin", "Shadow_Grass_VS.bin", ""},
        {"Plain", 6, 0, 8, 0, -1, RSK_ALPHA_OPAQUE, "Land_VS.bin", "Land_PS.bin", "", "Shadow_Land_PS.bin"},
        {"Hill", 7, 0, 8, 0, -1, RSK_ALPHA_OPAQUE, "Land_VS.bin", "Land_PS.bin", "", "Shadow_Land_PS.bin"},
        {"Water", 8, 0, 8, 0, -1, RSK_ALPHA_OPAQUE, "Water_VS.bin", "Water_PS.bin", "", "Shadow_Land_PS.bin"},
        {"Army", 10, 3, 0x10, 0, 6003, RSK_ALPHA_TEST128, "Army_VS.bin", "Army_PS.bin", "Shadow_Army_VS.bin", ""},
        {"Arrow", 15, 0, 0x4000, 6, -1, RSK_ALPHA_BLEND, "PathArrow_VS.bin", "PathArrow_PS.bin", "", ""},
    };
    for (const auto& c : cases) {
        T3D_SceneMesh& instance = Instance(c.Mesh);
        instance.SortPriority = 0;
        SetupMapMeshMaterial("MAP", instance.SlotIndex, c.Kind, "", c.Id);
        EXPECT_EQ(instance.GroupBits, c.Groups) << c.Mesh;
        EXPECT_EQ(instance.SortPriority, c.Priority) << c.Mesh;
        EXPECT_EQ(instance.StateKey.Value & RSK_ALPHAMODE, static_cast<uint32_t>(c.Alpha)) << c.Mesh;
        const T3D_Constant* pick = Constant(instance, "_CpIndex");
        if (c.Pick < 0) {
            EXPECT_EQ(pick, nullptr) << c.Mesh;
        } else {
            ASSERT_NE(pick, nullptr) << c.Mesh;
            T3D_Color want{};
            ColorFromRGB565(static_cast<uint32_t>(c.Pick), want);
            EXPECT_EQ(pick->Register, 1) << c.Mesh;
            EXPECT_EQ(pick->Data[0], want.r) << c.Mesh;
            EXPECT_EQ(pick->Data[1], want.g) << c.Mesh;
            EXPECT_EQ(pick->Data[2], want.b) << c.Mesh;
        }
        EXPECT_EQ(ShaderIn(instance, "MAIN", 1), Lower(c.Vs)) << c.Mesh;
        EXPECT_EQ(ShaderIn(instance, "MAIN", 0), Lower(c.Ps)) << c.Mesh;
        EXPECT_EQ(ShaderIn(instance, "1DEPTH", 1), Lower(c.DepthVs)) << c.Mesh;
        EXPECT_EQ(ShaderIn(instance, "1DEPTH", 0), Lower(c.DepthPs)) << c.Mesh;
        if (c.Kind == MAP_MATERIAL_ARMY) {
            EXPECT_EQ(ShaderIn(instance, "CP_INDEX", 1), "picking_army_vs.bin");
        }
        // The matrices every kind gets.
        const T3D_Constant* world = Constant(instance, "WORLD");
        const T3D_Constant* proj = Constant(instance, "Proj");
        const T3D_Constant* pixel = Constant(instance, "Proj_pixel");
        ASSERT_TRUE(world && proj && pixel) << c.Mesh;
        EXPECT_EQ(world->Register, 4);
        EXPECT_EQ(proj->Register, 0);
        EXPECT_EQ(proj->Factors.size(), 3u);
        EXPECT_EQ(pixel->Register, 15);
        EXPECT_EQ(pixel->Kind, CONSTANT_PIXEL);
        EXPECT_EQ(pixel->Group, 0xEFFFFFFFu);
    }
    // A building part with bones draws with the skinned set, one "Joint"
    // constant per bone three registers apart.
    const int32_t skinned = Render->Mesh_Add(MESH_NORMALMAPPED, "Mill wheel", 1);
    Render->Mesh_Get(skinned)->Skin.Bones.resize(3);
    T3D_SceneMesh& wheel = *Scene->GetMesh(Scene->AddMesh(skinned, "Mill wheel"));
    SetupMapMeshMaterial("MAP", wheel.SlotIndex, MAP_MATERIAL_BUILDING, "", 7);
    EXPECT_EQ(wheel.GroupBits, 1u);
    EXPECT_EQ(ShaderIn(wheel, "MAIN", 1), "army_vs.bin");
    EXPECT_EQ(ShaderIn(wheel, "1DEPTH", 1), "shadow_army_vs.bin");
    EXPECT_EQ(ShaderIn(wheel, "CP_INDEX", 1), "picking_army_vs.bin");
    for (int32_t i = 0; i < 3; i++) {
        const T3D_Constant* joint = Constant(wheel, "Joint" + std::to_string(i));
        ASSERT_NE(joint, nullptr) << i;
        EXPECT_EQ(joint->Register, 32 + 3 * i);
        EXPECT_EQ(joint->Kind, CONSTANT_VERTEX);
        EXPECT_EQ(joint->DataPtr, wheel.SkinMatrices[static_cast<size_t>(i)].e);
    }
    EXPECT_EQ(Constant(wheel, "Joint3"), nullptr);

    // Plants follow the alpha-to-coverage switch; a second set-up adds no
    // second set of factors.
    RenderSettings.ATOC = 1;
    T3D_SceneMesh& crown = Instance("Crown2");
    SetupMapMeshMaterial("MAP", crown.SlotIndex, MAP_MATERIAL_FOLIAGE, "", 0);
    SetupMapMeshMaterial("MAP", crown.SlotIndex, MAP_MATERIAL_FOLIAGE, "", 0);
    EXPECT_EQ(crown.StateKey.Value & RSK_ALPHAMODE, RSK_ALPHA_COVERAGE);
    EXPECT_EQ(Constant(crown, "Proj")->Factors.size(), 3u);
    RenderSettings.ATOC = 0;
    // Another main pass; a scene or instance that is not there.
    T3D_SceneMesh& land = Instance("Plain2");
    SetupMapMeshMaterial("MAP", land.SlotIndex, MAP_MATERIAL_LAND, "MINIMAP", 0);
    EXPECT_EQ(ShaderIn(land, "MINIMAP", 1), "land_vs.bin");
    EXPECT_EQ(ShaderIn(land, "MAIN", 1), "");
    SetupMapMeshMaterial("ARENA", land.SlotIndex, MAP_MATERIAL_WATER, "", 0);
    SetupMapMeshMaterial("MAP", 999, MAP_MATERIAL_WATER, "", 0);
    EXPECT_EQ(ShaderIn(land, "MINIMAP", 1), "land_vs.bin");
}

} // namespace
