#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/Support.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_StateKey.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_Pipeline.h"
#include "tests/render/RenderTestSupport.h"

namespace {

// The map pipeline on the recording device, with the installation's shaders.
class MapPipelineTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
        MainRender = Render.get();
        Render->ScreenWidth = 1600;
        Render->ScreenHeight = 1200;
        RenderSettings = TRenderSettings{};
        RenderSettings.ScreenWidth = 1600;
        RenderSettings.ScreenHeight = 1200;
        GUIVirtualSize = TGUIVirtualSize{};
        MapTargets = TMapTargets{};
        MapCamera = TMapCamera{};
        MapInit.MapSizeMinus1 = 300;
        MapGUIQuad = -1;
    }
    void TearDown() override
    {
        MainRender = nullptr;
        GUIVirtualSize = TGUIVirtualSize{};
        RenderSettings = TRenderSettings{};
        LandChunkInstances.clear();
        BuildingInstances.clear();
        TRecordingRenderTest::TearDown();
    }
    void CreateWithGUI(bool gui)
    {
        if (gui) {
            GUIVirtualSize.Flag = 1;
            GUIVirtualSize.Width = 1024;
            GUIVirtualSize.Height = 768;
        }
        CreateMapPipeline(1600, 1200);
    }
    T3D_Scene& Scene() { return *MapScene(); }
    int32_t PassIndex(const std::string& name)
    {
        for (int32_t i = 0; i < Scene().PassCount; i++)
            if (Scene().Passes[static_cast<size_t>(i)]->Name == name)
                return i;
        return -1;
    }
    const T3D_Texture& Texture(int32_t slot) { return *TextureAt(*Render, slot); }
};

struct TPassShape {
    const char* Name;
    int32_t Format; // of the pass's own target; 0 for the back buffer
    int32_t Size;
    uint8_t Enabled;
    uint32_t Exclude;
    bool FromPipe;
};

TEST_F(MapPipelineTest, PassesInOrderWithTheirTargetsMasksAndSource)
{
    for (bool gui : {false, true}) {
        SCOPED_TRACE(gui);
        if (gui) {
            FreeRender();
            TearDown();
            SetUp();
        }
        CreateWithGUI(gui);
        std::vector<TPassShape> shapes = {
            {"1DEPTH", D3DFMT_R32F, 2048, 1, 0x7AC0, false},     {"CP_XYZ", D3DFMT_A16B16G16R16, 1024, 0, 0x6EF7, true},
            {"CP_INDEX", D3DFMT_R5G6B5, 1024, 0, 0x7CEE, true},  {"MAP_INDEX", D3DFMT_R5G6B5, 2560, 0, 0x4EDF, false},
            {"MAP_HEIGHT", D3DFMT_R32F, 1280, 0, 0x7ED0, false}, {"EARLY_Z", 0, 0, 0, 0x70C4, true},
        };
        if (gui)
            shapes.push_back({"GUI", D3DFMT_A8R8G8B8, 1024, 1, 0, false});
        shapes.push_back({"MAIN", 0, 0, 1, 0x30C0, true});
        shapes.push_back({"PIPE", 0, 0, 0, 0, false});
        ASSERT_EQ(Scene().PassCount, static_cast<int32_t>(shapes.size()));
        const int32_t pipe = PassIndex("PIPE");
        for (size_t i = 0; i < shapes.size(); i++) {
            const TPassShape& want = shapes[i];
            SCOPED_TRACE(want.Name);
            const T3D_RenderPass& pass = *Scene().Passes[i];
            EXPECT_EQ(pass.Name, want.Name);
            EXPECT_EQ(Scene().PassEnabled[i], want.Enabled);
            EXPECT_EQ(pass.ExcludeMask, want.Exclude);
            EXPECT_EQ(pass.SourcePass, want.FromPipe ? pipe : -1);
            if (want.Format == 0) {
                EXPECT_EQ(pass.TargetTexture, -1);
            } else {
                ASSERT_GE(pass.TargetTexture, 0);
                EXPECT_EQ(Texture(pass.TargetTexture).Format, want.Format);
                EXPECT_EQ(pass.Width, want.Size);
            }
        }
        // The interface goes through its own pass when there is one.
        EXPECT_EQ(Scene().FindPass("MAIN")->Draw2D, gui ? 0 : 1);
        EXPECT_EQ(MapTargets.MapIndex, Scene().FindPass("MAP_INDEX")->TargetTexture);
        EXPECT_EQ(MapTargets.PickXYZ, Scene().FindPass("CP_XYZ")->TargetTexture);
    }
}

TEST_F(MapPipelineTest, RegistersTheShadersSee)
{
    CreateWithGUI(false);
    struct {
        const char* Pass;
        uint8_t Kind;
        int32_t Register;
        const char* Name;
        int32_t Count;
    } const cases[] = {
        {"1DEPTH", CONSTANT_VERTEX, 16, "Camera", 4},     {"1DEPTH", CONSTANT_VERTEX, 28, "LightP", 1},
        {"1DEPTH", CONSTANT_VERTEX, 32, "Joint0", 3},     {"1DEPTH", CONSTANT_VERTEX, 239, "Joint69", 3},
        {"CP_XYZ", CONSTANT_VERTEX, 11, "Inv_Camera", 4}, {"CP_INDEX", CONSTANT_PIXEL, 1, "_CpIndex", 1},
        {"MAP_INDEX", CONSTANT_PIXEL, 1, "_CpIndex", 1},  {"MAP_INDEX", CONSTANT_VERTEX, 32, "", 0},
        {"EARLY_Z", CONSTANT_VERTEX, 8, "_vView", 1},     {"MAIN", CONSTANT_VERTEX, 16, "Shadow", 4},
        {"MAIN", CONSTANT_VERTEX, 15, "v_Sky", 1},        {"MAIN", CONSTANT_PIXEL, 12, "Cascad1_XY", 1},
        {"MAIN", CONSTANT_PIXEL, 15, "Proj_pixel", 4},    {"MAIN", CONSTANT_PIXEL, 20, "clr_All_str", 1},
        {"PIPE", CONSTANT_VERTEX, 4, "WORLD", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Pass << " " << c.Register);
        const T3D_ConstantTemplateEntry* entry = Scene().FindPass(c.Pass)->Template.Entry(c.Kind, c.Register);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->Name, c.Name);
        EXPECT_EQ(entry->Count, c.Count);
    }
    // The scene's camera constants point at the camera record.
    for (const T3D_Constant& constant : Scene().Constants.Constants) {
        if (constant.Name == "Shadow") {
            EXPECT_EQ(constant.DataPtr, MapCamera.Shadow.e);
        }
        if (constant.Name == "k_Time") {
            EXPECT_EQ(constant.DataPtr, &MapCamera.TimeSky.x);
        }
    }
    EXPECT_FLOAT_EQ(MapCamera.PixelMatrix.e[0], 0.5f);
    EXPECT_FLOAT_EQ(MapCamera.PixelMatrix.e[5], -0.5f);
    EXPECT_FLOAT_EQ(MapCamera.PixelMatrix.e[3], 0.5f + 0.5f / 1024);
    EXPECT_FLOAT_EQ(MapCamera.PixelMatrix.e[7], 0.5f + 0.5f / 1024);
}

TEST_F(MapPipelineTest, SixTexturesInOrder)
{
    CreateWithGUI(false);
    struct {
        int32_t Slot;
        int32_t Format;
        int32_t Width;
        uint8_t RenderTarget;
    } const cases[] = {
        {MapTargets.PickXYZReadBack, D3DFMT_A16B16G16R16, 1024, 0},
        {MapTargets.PickIndexReadBack, D3DFMT_R5G6B5, 1024, 0},
        {MapTargets.Backdrop, D3DFMT_X8R8G8B8, 1600, 1},
        {MapTargets.MiniMap, D3DFMT_X8R8G8B8, 2048, 1},
        {MapTargets.MapIndexReadBack, D3DFMT_R5G6B5, 2560, 0},
        {MapTargets.MapHeightReadBack, D3DFMT_R32F, 1280, 0},
    };
    int32_t last = -1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Slot);
        EXPECT_GT(c.Slot, last);
        last = c.Slot;
        EXPECT_EQ(Texture(c.Slot).Format, c.Format);
        EXPECT_EQ(Texture(c.Slot).ImageWidth, c.Width);
        EXPECT_EQ(Texture(c.Slot).RenderTarget, c.RenderTarget);
    }
}

// "MAIN" samples the scene's textures with the settings' filter, but the
// sun depth map (stage 3) texel by texel: a filtered texel would blend the
// depths of a caster's edge with the ground behind it before the shadow
// test compares them.
TEST_F(MapPipelineTest, MainReadsTheSunDepthMapUnfiltered)
{
    RenderSettings.TextureFilter = 2; // anisotropic
    CreateWithGUI(false);
    const TRenderStateKey key = Scene().FindPass("MAIN")->StateKey;
    auto holds = [&key](uint32_t field, int32_t value) {
        TRenderStateKey with = key;
        RenderStateKeySet(field, value, with);
        return (key.Mask & field) == field && with.Mask == key.Mask && with.Value == key.Value;
    };
    for (uint32_t stage = 0; stage <= 2; stage++)
        EXPECT_TRUE(holds(RSK_FILTER(stage), 2)) << stage;
    EXPECT_TRUE(holds(RSK_FILTER(3), 0));
}

TEST_F(MapPipelineTest, ViewportCentredWithOddDifferencesTruncated)
{
    CreateWithGUI(false);
    SetMapViewport(1001, 701);
    EXPECT_EQ(MapCamera.ViewWidth, 1001);
    EXPECT_EQ(MapCamera.ViewHeight, 701);
    for (const char* name : {"MAIN", "PIPE"}) {
        const TRect& r = Scene().FindPass(name)->ScissorRect;
        EXPECT_EQ(r.Left, 299) << name;
        EXPECT_EQ(r.Top, 249) << name;
        EXPECT_EQ(r.Right, 1300) << name;
        EXPECT_EQ(r.Bottom, 950) << name;
    }
    EXPECT_EQ(Scene().FindPass("1DEPTH")->ScissorRect.Right, 2048);
    EXPECT_EQ(Scene().FindPass("CP_INDEX")->ScissorRect.Bottom, 1024);
    EXPECT_EQ(Scene().PresentSource.Left, 299);
    EXPECT_EQ(Scene().PresentDest.Right, 1001);
    EXPECT_EQ(Scene().PresentDest.Bottom, 701);
}

// Everything a one-shot render may change.
struct TPassState {
    uint8_t Enabled;
    uint32_t Exclude;
    int32_t Target;
    uint8_t Draw2D;
    uint8_t Adjust;
    TRect Viewport;
    std::string CullMatrix;
    bool operator==(const TPassState& o) const
    {
        return Enabled == o.Enabled && Exclude == o.Exclude && Target == o.Target && Draw2D == o.Draw2D &&
               Adjust == o.Adjust && Viewport.Left == o.Viewport.Left && Viewport.Top == o.Viewport.Top &&
               Viewport.Right == o.Viewport.Right && Viewport.Bottom == o.Viewport.Bottom && CullMatrix == o.CullMatrix;
    }
};

TEST_F(MapPipelineTest, OneShotRendersRestoreEveryPass)
{
    struct {
        const char* Name;
        void (*Render)();
    } const renders[] = {
        {"backdrop", [] { RenderMapBackdrop(); }},
        {"mini-map", [] { RenderMiniMapTexture(0); }},
        {"index", [] { RenderMapIndex(true); }},
    };
    for (bool gui : {false, true})
        for (uint8_t earlyZ : {0, 1})
            for (const auto& render : renders) {
                SCOPED_TRACE(testing::Message() << render.Name << " gui " << gui << " early-Z " << int(earlyZ));
                FreeRender();
                TearDown();
                SetUp();
                RenderSettings.EarlyZ = earlyZ;
                CreateWithGUI(gui);
                SetMapViewport(1001, 701);
                auto snapshot = [&] {
                    std::vector<TPassState> states;
                    for (int32_t i = 0; i < Scene().PassCount; i++) {
                        const T3D_RenderPass& p = *Scene().Passes[static_cast<size_t>(i)];
                        states.push_back({Scene().PassEnabled[static_cast<size_t>(i)], p.ExcludeMask, p.TargetTexture,
                                          p.Draw2D, p.TargetAdjust, p.ScissorRect, p.CullMatrixName});
                    }
                    return states;
                };
                const std::vector<TPassState> before = snapshot();
                render.Render();
                const std::vector<TPassState> after = snapshot();
                ASSERT_EQ(before.size(), after.size());
                for (size_t i = 0; i < before.size(); i++)
                    EXPECT_TRUE(before[i] == after[i]) << Scene().Passes[i]->Name;
            }
}

TEST_F(MapPipelineTest, MiniMapLeavesTheTopViewOfTheWholeMap)
{
    struct {
        int32_t N;
        int32_t Size;
        float Extent; // map units the picture spans at scale 1
        float Scale;
    } const cases[] = {
        {600, 0, 344, 1},
        {600, 4096, 344, 2},
        {200, 0, 200, 1}, // too small for a border: the whole map
        {256, 0, 256, 1},
    };
    CreateWithGUI(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.N << " " << c.Size);
        MapInit.MapSizeMinus1 = c.N;
        RenderMiniMapTexture(c.Size);
        EXPECT_FLOAT_EQ(MapCamera.Distance, 20 * c.Extent);
        EXPECT_FLOAT_EQ(MapCamera.Pitch, static_cast<float>(M_PI) / 2);
        EXPECT_FLOAT_EQ(MapCamera.ViewOffset.x, -c.N / 2.0f);
        // The map's centre at the picture's centre; one extent spans 2 / scale.
        TVec3 centre, edge;
        Vec3TransformCoord({c.N / 2.0f, 0, c.N / 2.0f}, MapCamera.Projection, centre);
        Vec3TransformCoord({c.N / 2.0f + c.Extent / 2, 0, c.N / 2.0f}, MapCamera.Projection, edge);
        EXPECT_NEAR(centre.x, 0, 1e-5);
        EXPECT_NEAR(centre.y, 0, 1e-5);
        EXPECT_NEAR(edge.x, c.Scale, 1e-5);
        EXPECT_TRUE(std::isfinite(MapCamera.Projection.e[0]));
    }
}

TEST(MapIndexProjection, TwoTexelsPerUnitWithTopRowAtTheFarEdge)
{
    const int32_t s = 2560, n = 600;
    TMatrix4 m;
    MapIndexProjection(s, n, m);
    struct {
        float R, C;
    } const cases[] = {{0, 0}, {10, 20}, {600, 600}, {11, 21}};
    for (const auto& c : cases) {
        TVec3 clip;
        Vec3TransformCoord({c.R, 0, c.C}, m, clip);
        // Pixel coordinates of the target, y downwards.
        const float x = (clip.x + 1) / 2 * s;
        const float y = (1 - clip.y) / 2 * s;
        EXPECT_NEAR(x, 2 * c.R + 0.25f, 1e-3) << c.R;
        EXPECT_NEAR(y, 2 * (n - c.C) + 0.25f, 1e-3) << c.C;
        EXPECT_FLOAT_EQ(clip.z, 0.5f);
    }
}

const T3D_Constant* FindConstant(const T3D_ShaderConstant& list, const std::string& name)
{
    for (const T3D_Constant& constant : list.Constants)
        if (constant.Name == name)
            return &constant;
    return nullptr;
}

TEST_F(MapPipelineTest, LightingReachesInstancesOnlyWhenTheLightChanged)
{
    CreateWithGUI(false);
    const int32_t mesh = Render->Mesh_Add(MESH_TEXTURED, "Part", 1);
    const int32_t building = Scene().AddMesh(mesh, "Building001");
    const int32_t chunk = Scene().AddMesh(mesh, "Land1");
    ASSERT_EQ(building, 0); // the first instance of the scene counts too
    LandChunkInstances = {-1, chunk};
    BuildingInstances = {{}, {building}};
    LightSet = TLightSet{};
    for (int i = 0; i < 6; i++) {
        LightSet.TerrainFactors[i] = 1 + i;
        LightSet.ModelFactors[i] = 10 + i;
    }
    LightSet.Specular[1] = 0.1f, LightSet.Specular[2] = 0.2f, LightSet.Specular[3] = 0.3f;
    LightSet.Specular[4] = 0.4f;
    LightSet.Changed = 1;
    UpdateMapLighting();
    EXPECT_EQ(LightSet.Changed, 0);
    const T3D_Constant* agso = FindConstant(Scene().GetMesh(chunk)->Constants, "k_AGSO");
    ASSERT_NE(agso, nullptr);
    EXPECT_EQ(agso->Data[0], 1);
    EXPECT_EQ(agso->Data[3], 4);
    const T3D_Constant* gloss = FindConstant(Scene().GetMesh(building)->Constants, "k_NormalGloss");
    ASSERT_NE(gloss, nullptr);
    EXPECT_EQ(gloss->Data[0], 14);
    EXPECT_EQ(gloss->Data[1], 15);
    const T3D_Constant* specular = FindConstant(Scene().Constants, "ks_AGSO");
    ASSERT_NE(specular, nullptr);
    EXPECT_FLOAT_EQ(specular->Data[0], 0.2f); // the first two exchanged
    EXPECT_FLOAT_EQ(specular->Data[1], 0.1f);
    EXPECT_FLOAT_EQ(specular->Data[3], 0.4f);

    // Without a change the instances keep what they had.
    LightSet.TerrainFactors[0] = 99;
    LightSet.Specular[2] = 0.7f;
    UpdateMapLighting();
    EXPECT_EQ(FindConstant(Scene().GetMesh(chunk)->Constants, "k_AGSO")->Data[0], 1);
    EXPECT_FLOAT_EQ(FindConstant(Scene().Constants, "ks_AGSO")->Data[0], 0.7f);
}

} // namespace
