// Picking through the read-backs on the real device: pick numbers drawn into
// the 16-bit index targets come back exactly, footprints cover the texels
// the terrain's cover pass expects, and the world-position pass gives points
// within its 16-bit resolution.
#include <gtest/gtest.h>

#include <cmath>

#include "model/Support.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Shadows.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Pipeline.h"
#include "scenes/Landscape_Terrain.h"
#include "tests/render/RenderTestSupport.h"

namespace {

constexpr int32_t IndexSize = 128;
constexpr int32_t MapN = 60;

class MapPickingTest : public TDeviceRenderTest {
protected:
    void SetUp() override
    {
        TDeviceRenderTest::SetUp();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
        MainRender = Render.get();
        RenderSettings = TRenderSettings{};
        RenderSettings.ScreenWidth = Width;
        RenderSettings.ScreenHeight = Height;
        RenderSettings.ShadowMapSize = 64;
        RenderSettings.PickingSize = 64;
        RenderSettings.MiniMapSize = 64;
        RenderSettings.MapHeightSize = 64;
        RenderSettings.MapIndexSize = IndexSize;
        GUIVirtualSize = TGUIVirtualSize{};
        MapCamera = TMapCamera{};
        AllocateMapGrids();
        ResetScenarioTables();
        MapInit.MapSizeMinus1 = MapN;
        CreateMapPipeline(Width, Height);
    }
    void TearDown() override
    {
        MainRender = nullptr;
        RenderSettings = TRenderSettings{};
        ResetScenarioTables();
        TDeviceRenderTest::TearDown();
    }
    // A flat quad over x x0..x1, z z0..z1 at height y in the map scene,
    // showing the pick number as the index passes draw it; by default a
    // footprint part, which only the index render sees.
    int32_t AddPickQuad(float x0, float x1, float z0, float z1, uint16_t pick, float y = 0,
                        uint32_t groups = MAP_GROUP_COLLISION)
    {
        const int32_t mesh = Render->Mesh_Add(MESH_TEXTURED, "Quad" + std::to_string(pick), 1);
        T3D_VertexArray vertices(4);
        vertices[0].Position = {x0, y, z0};
        vertices[1].Position = {x1, y, z0};
        vertices[2].Position = {x1, y, z1};
        vertices[3].Position = {x0, y, z1};
        Render->Mesh_Get(mesh)->ImportGeometry(vertices, {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2});
        T3D_Scene& scene = *MapScene();
        const int32_t slot = scene.AddMesh(mesh, "Building" + std::to_string(pick));
        T3D_SceneMesh& instance = *scene.GetMesh(slot);
        instance.GroupBits = groups;
        instance.Constants.AddMatrixProduct(CONSTANT_VERTEX, 0, "Proj", MAP_SHADER_GROUPS);
        instance.Constants.AddFactorName("Proj", "WORLD");
        instance.Constants.AddFactorPtr("Proj", *scene.WorldMatrix);
        instance.Constants.AddFactorPtr("Proj", *scene.ProjMatrix);
        T3D_Color color;
        ColorFromRGB565(pick, color);
        instance.Constants.SetVec4(CONSTANT_PIXEL, 1, "_CpIndex", color.r, color.g, color.b, 0, MAP_SHADER_GROUPS);
        return slot;
    }
    // The texels of a vertex in the index read-back, as the cover pass reads them.
    std::array<uint16_t, 4> Texels(int32_t r, int32_t c)
    {
        std::array<uint16_t, 4> texels{};
        TMapIndexCover cover;
        cover.Begin();
        cover.VertexTexels(r, c, texels.data());
        cover.End();
        return texels;
    }
    static int Count(const std::array<uint16_t, 4>& texels, uint16_t pick)
    {
        int n = 0;
        for (uint16_t t : texels)
            n += t == pick;
        return n;
    }
};

TEST_F(MapPickingTest, FootprintCoversItsInnerVertexWhole)
{
    AddPickQuad(10, 12, 20, 22, 1234);
    TMapIndexCover cover;
    ASSERT_TRUE(cover.Begin()); // renders the index pass and locks its copy
    struct {
        int32_t R, C;
        int Covered;
    } const cases[] = {
        {11, 21, 4},                                        // inside
        {10, 21, 2}, {12, 21, 2}, {11, 20, 2}, {11, 22, 2}, // edges: half their texels
        {10, 20, 1}, {12, 22, 1},                           // corners
        {9, 21, 0},  {13, 21, 0}, {11, 19, 0}, {11, 23, 0}, // outside
    };
    for (const auto& c : cases) {
        std::array<uint16_t, 4> texels{};
        cover.VertexTexels(c.R, c.C, texels.data());
        EXPECT_EQ(Count(texels, 1234), c.Covered) << c.R << " " << c.C;
        EXPECT_EQ(Count(texels, 0), 4 - c.Covered) << c.R << " " << c.C;
    }
    cover.End();
}

TEST_F(MapPickingTest, PickNumbersSurviveTheSixteenBitTarget)
{
    const uint16_t picks[] = {1, 2999, 3005, 16391, 0xF800, 0xFFFF, 0x07E0, 0x001F};
    for (int i = 0; i < 8; i++)
        AddPickQuad(4.0f + 6 * i, 8.0f + 6 * i, 4, 8, picks[i]);
    RenderMapIndex(false);
    for (int i = 0; i < 8; i++) {
        SCOPED_TRACE(picks[i]);
        EXPECT_EQ(Count(Texels(6 + 6 * i, 6), picks[i]), 4);
    }
    // The one-shot render left the passes as they were.
    EXPECT_EQ(MapScene()->PassEnabled[static_cast<size_t>(3)], 0);
}

TEST_F(MapPickingTest, NothingDrawnReadsZero)
{
    EXPECT_EQ(Count(Texels(30, 30), 0), 4);
    EXPECT_EQ(Count(Texels(0, 0), 0), 4);
    EXPECT_EQ(Count(Texels(MapN, MapN), 0), 4);
}

TEST_F(MapPickingTest, CameraPicksGiveTheInstanceAndTheWorldPoint)
{
    // Straight down on (30, 0, 30) from 100 units: the picking targets'
    // centre texel sees exactly that point.
    TerrainHeightMin = -1;
    TerrainHeightMax = 1;
    MapCamera.ViewOffset = {-30, 0, -30};
    MapCamera.Distance = 100;
    MapCamera.Pitch = static_cast<float>(M_PI) / 2;
    MapCamera.FieldOfView = 0.5f;
    UpdateMapShadowCascades(false);
    // The index pass sees models, the position pass the ground.
    AddPickQuad(0, 60, 0, 60, 777, 0, MAP_GROUP_MODELS);
    AddPickQuad(0, 60, 0, 60, 1, 0, MAP_GROUP_TERRAIN);
    AddPickQuad(25, 35, 25, 35, 888, -0.5f, MAP_GROUP_MODELS); // below the first: hidden
    AddPickQuad(25, 35, 25, 35, 999, 5, MAP_GROUP_COLLISION);  // a footprint: never picked

    T3D_Scene& scene = *MapScene();
    scene.EnablePass("1DEPTH", 0);
    scene.EnablePass("MAIN", 0);
    scene.EnablePass("CP_XYZ", 1);
    scene.EnablePass("CP_INDEX", 1);
    InvalidateMapPasses();
    MapPass("PIPE")->BuildPipeline();
    scene.Render(false);
    Render->Texture_CopyRenderTarget(MapTargets.PickIndex, MapTargets.PickIndexReadBack);
    Render->Texture_CopyRenderTarget(MapTargets.PickXYZ, MapTargets.PickXYZReadBack);

    struct {
        int32_t X, Y;
        uint16_t Pick;
    } const cases[] = {{32, 32, 777}, {10, 5, 777}, {0, 32, 0}}; // the last beyond the quad's edge
    for (const auto& c : cases) {
        uint16_t pick = 0;
        Render->Texture_ReadPixel(MapTargets.PickIndexReadBack, c.X, c.Y, &pick);
        EXPECT_EQ(pick, c.Pick) << c.X << " " << c.Y;
    }
    uint16_t xyzw[4] = {};
    Render->Texture_ReadPixel(MapTargets.PickXYZReadBack, 32, 32, xyzw);
    const float step = 1024.0f / 65535.0f;
    EXPECT_NEAR(xyzw[0] * step, 30, step);
    EXPECT_NEAR(xyzw[1] * step, 0, step);
    EXPECT_NEAR(xyzw[2] * step, 30, step);
    EXPECT_EQ(xyzw[3], 65535); // a hit
}

// A varied little map: every class, weights and slopes from a formula,
// trees, buildings and objects; nothing drawn in the index render yet. The
// drawn cover must agree with the headless one wherever no building or
// object stands near.
TEST_F(MapPickingTest, DrawnCoverAgreesWithTheHeadlessOneAwayFromModels)
{
    MapInit.ShallowLimit = 10;
    for (int32_t x = 0; x <= MapN; x++)
        for (int32_t z = 0; z <= MapN; z++) {
            TMapCell& cell = MapCell(x, z);
            cell = TMapCell{};
            const int32_t v = (x * 7 + z * 13 + x * z) % 97;
            cell.TerrainClass = static_cast<uint8_t>(v % 13);
            cell.TerrainValue = static_cast<uint8_t>(v % 40);
            cell.Height = static_cast<int16_t>((v % 23) * 20);
            cell.SecondHeight = -1000;
            cell.KindWeights[1 + v % 16] = static_cast<uint8_t>(10 + v % 50);
            cell.KindWeights[1 + (v / 3) % 16] = static_cast<uint8_t>(5 + v % 30);
        }
    for (int32_t t = 1; t <= 40; t++) {
        TMapTree& tree = MapTrees[++MapTrees.Count];
        tree = TMapTree{};
        tree.Pos[0] = static_cast<float>((t * 17) % MapN);
        tree.Pos[2] = static_cast<float>((t * 29) % MapN);
        tree.Kind = 1 + t % 13;
    }
    const float anchors[][2] = {{20, 20}, {40, 12}, {15, 45}, {50, 50}};
    for (int i = 0; i < 2; i++) {
        const int32_t b = ++MapBuildings.Count;
        MapBuildings[b] = TMapBuilding{};
        MapBuildings[b].Pos[0] = anchors[i][0];
        MapBuildings[b].Pos[2] = anchors[i][1];
        MapBuildings[b].Model = static_cast<int32_t>(TBuildingModel::Fort);
        BuildingTexts[b].Name = u"Keep";
    }
    for (int i = 2; i < 4; i++) {
        TMapObject& object = MapObjects[++MapObjects.Count];
        object = TMapObject{};
        object.Pos[0] = anchors[i][0];
        object.Pos[2] = anchors[i][1];
        object.ModelGroup = 1;
    }
    BuildTerrainModel();
    HeadlessUpdateMapChunks({});
    std::vector<uint8_t> headless;
    for (int32_t x = 0; x <= MapN; x++)
        for (int32_t z = 0; z <= MapN; z++)
            headless.push_back(TerrainVertex(x, z).Cost);
    UpdateMapChunks({});
    int compared = 0;
    for (int32_t x = 0; x <= MapN; x++)
        for (int32_t z = 0; z <= MapN; z++) {
            bool near = false;
            for (const auto& a : anchors)
                near = near || (std::abs(x - a[0]) <= 2 && std::abs(z - a[1]) <= 2);
            if (near)
                continue;
            compared++;
            EXPECT_EQ(TerrainVertex(x, z).Cost, headless[static_cast<size_t>(x * (MapN + 1) + z)]) << x << " " << z;
        }
    EXPECT_GT(compared, 3000);
    // Nothing drawn: the anchors of objects block, the buildings cover nothing.
    EXPECT_EQ(TerrainVertex(15, 45).Cost, 0);
    EXPECT_EQ(int(TerrainVertex(20, 20).Cover), 0);
}

} // namespace
