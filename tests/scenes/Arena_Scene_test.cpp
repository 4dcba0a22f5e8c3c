#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "model/Support.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shadows.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Arena_Scene.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "tests/render/RenderTestSupport.h"

namespace {

// The arena scene on the recording device, with the installation's shaders,
// on a 1600 x 1200 screen with 512-texel picking targets.
class ArenaSceneTest : public TRecordingRenderTest {
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
        ArenaTargets = TArenaTargets{};
        ArenaSettings = TArenaSettings{};
        InitArenaDefaults();
        ArenaSettings.PickingSize = 512;
        ArenaSettings.ShadowMapSize = 1024;
    }
    void TearDown() override
    {
        MainRender = nullptr;
        GUIVirtualSize = TGUIVirtualSize{};
        RenderSettings = TRenderSettings{};
        SceneInfo = TSceneInfo{};
        ArenaSettings = TArenaSettings{};
        TRecordingRenderTest::TearDown();
    }
    void Create(bool gui = false)
    {
        if (gui) {
            GUIVirtualSize.Flag = 1;
            GUIVirtualSize.Width = 1024;
            GUIVirtualSize.Height = 768;
        }
        CreateArenaScene();
    }
    T3D_Scene& Scene() { return *ArenaScene(); }
    T3D_RenderPass& Pass(const std::string& name)
    {
        T3D_RenderPass* p = ArenaPass(name);
        EXPECT_NE(p, nullptr) << name;
        return *p;
    }
    std::vector<std::string> PassNames()
    {
        std::vector<std::string> names;
        for (int32_t i = 0; i < Scene().PassCount; i++)
            names.push_back(Scene().Passes[static_cast<size_t>(i)]->Name);
        return names;
    }
    bool Enabled(const std::string& name)
    {
        for (int32_t i = 0; i < Scene().PassCount; i++)
            if (Scene().Passes[static_cast<size_t>(i)]->Name == name)
                return Scene().PassEnabled[static_cast<size_t>(i)] != 0;
        return false;
    }
};

// A constant of a list by kind, register and name.
const T3D_Constant* FindConstant(const T3D_ShaderConstant& list, uint8_t kind, int32_t reg, const std::string& name)
{
    for (const T3D_Constant& c : list.Constants)
        if (c.Kind == kind && c.Register == reg && c.Name == name)
            return &c;
    return nullptr;
}

TVec4 Value(const T3D_ShaderConstant& list, uint8_t kind, int32_t reg, const std::string& name)
{
    const T3D_Constant* c = FindConstant(list, kind, reg, name);
    EXPECT_NE(c, nullptr) << name;
    if (c == nullptr)
        return {};
    const float* d = c->DataPtr != nullptr ? c->DataPtr : c->Data;
    return TVec4{d[0], d[1], d[2], d[3]};
}

TVec4 SceneValue(uint8_t kind, int32_t reg, const std::string& name)
{
    return Value(ArenaScene()->Constants, kind, reg, name);
}

void ExpectVec(const TVec4& a, const TVec4& b, float tolerance, const std::string& what = "")
{
    EXPECT_NEAR(a.x, b.x, tolerance) << what;
    EXPECT_NEAR(a.y, b.y, tolerance) << what;
    EXPECT_NEAR(a.z, b.z, tolerance) << what;
    EXPECT_NEAR(a.w, b.w, tolerance) << what;
}

void ExpectVec3(const TVec3& a, const TVec3& b, float tolerance, const std::string& what = "")
{
    EXPECT_NEAR(a.x, b.x, tolerance) << what;
    EXPECT_NEAR(a.y, b.y, tolerance) << what;
    EXPECT_NEAR(a.z, b.z, tolerance) << what;
}

TVec4 Project(const TMatrix4& m, const TVec3& p)
{
    TVec4 out;
    Vec4Transform(TVec4{p.x, p.y, p.z, 1}, m, out);
    return out;
}

} // namespace

TEST_F(ArenaSceneTest, PassesInOrderWithTheirTargetsAndMasks)
{
    for (bool gui : {false, true}) {
        SCOPED_TRACE(gui ? "with GUI" : "without GUI");
        if (gui) {
            TearDown();
            SetUp();
        }
        Create(gui);
        std::vector<std::string> expected = {"1DEPTH",      "DEPTHCLEAR1", "2DEPTH",    "DEPTHCLEAR2", "3DEPTH",
                                             "DEPTHCLEAR3", "CP_INDEX",    "CP_DIRECT", "MAIN",        "PIPE"};
        if (gui)
            expected.insert(expected.begin() + 8, "GUI");
        EXPECT_EQ(PassNames(), expected);
        EXPECT_EQ(Scene().Passes[static_cast<size_t>(ArenaMainPass)]->Name, "MAIN");
        EXPECT_EQ(Pass("MAIN").Draw2D, gui ? 0 : 1);

        for (int c = 1; c <= 3; c++) {
            const std::string depth = std::to_string(c) + "DEPTH";
            const std::string clear = "DEPTHCLEAR" + std::to_string(c);
            EXPECT_GE(Pass(depth).TargetTexture, 0);
            // Each clear pass draws into its own cascade's map.
            EXPECT_EQ(Pass(clear).TargetTexture, Pass(depth).TargetTexture) << clear;
            EXPECT_EQ(Pass(clear).ClearFlags, 0u);
            EXPECT_TRUE(Enabled(depth));
            EXPECT_TRUE(Enabled(clear));
            EXPECT_EQ(Pass(depth).ExcludeMask, 0x11u);
            EXPECT_EQ(Pass(depth).ProjPtr, &SceneInfo.Cascades[c - 1].DepthProjection);
            EXPECT_EQ(Pass(depth).WorldPtr, &SceneInfo.LightView);
            EXPECT_EQ(Pass(depth).ScissorRect.Right, 1024);
        }
        // The shadow maps are the main pass's stages 3, 4 and 5.
        for (int c = 0; c < 3; c++) {
            const int32_t target = Pass(std::to_string(c + 1) + "DEPTH").TargetTexture;
            bool found = false;
            for (const T3D_PassStageTexture& stage : Pass("MAIN").StageTextures)
                found = found || (stage.TextureIndex == target && stage.Stage == 3 + c);
            EXPECT_TRUE(found) << "stage " << 3 + c;
        }
        EXPECT_FALSE(Enabled("CP_INDEX"));
        EXPECT_FALSE(Enabled("CP_DIRECT"));
        EXPECT_TRUE(Enabled("MAIN"));
        EXPECT_FALSE(Enabled("PIPE"));
        EXPECT_EQ(Pass("CP_INDEX").ExcludeMask, 0x58u);
        EXPECT_EQ(Pass("CP_DIRECT").ExcludeMask, 0xFFFFFEEEu);
        EXPECT_EQ(Pass("MAIN").ExcludeMask, 0x10u);
        const int32_t pipe = [&] {
            for (int32_t i = 0; i < Scene().PassCount; i++)
                if (Scene().Passes[static_cast<size_t>(i)]->Name == "PIPE")
                    return i;
            return -1;
        }();
        for (const char* name : {"CP_INDEX", "CP_DIRECT", "MAIN"})
            EXPECT_EQ(Pass(name).SourcePass, pipe) << name;
        EXPECT_EQ(ArenaTargets.PickIndex, Pass("CP_INDEX").TargetTexture);
        EXPECT_EQ(ArenaTargets.PickDirect, Pass("CP_DIRECT").TargetTexture);
        const int32_t readBacks[4] = {ArenaTargets.PickXYZReadBack, ArenaTargets.PickNormalReadBack,
                                      ArenaTargets.PickIndexReadBack, ArenaTargets.PickDirectReadBack};
        for (int i = 0; i < 4; i++) {
            EXPECT_GE(readBacks[i], 0);
            for (int j = 0; j < i; j++)
                EXPECT_NE(readBacks[i], readBacks[j]);
        }
        // The exposure has a named register, so it reaches the shaders.
        const T3D_ConstantTemplateEntry* exposure = Pass("MAIN").Template.Entry(CONSTANT_PIXEL, 26);
        ASSERT_NE(exposure, nullptr);
        EXPECT_EQ(exposure->Name, "Exposure");
    }
}

TEST_F(ArenaSceneTest, LightPositionAndDepthRangeFromItsAngles)
{
    Create();
    const struct {
        int32_t Rotate, Height;
        TVec3 Direction;
    } cases[] = {
        {45, 45, {0.5f, 0.70710678f, 0.5f}},
        {0, 0, {0, 1, 0}},  // the zenith
        {0, 90, {1, 0, 0}}, // on the horizon
        {90, 90, {0, 0, 1}},
        {180, 60, {-0.8660254f, 0.5f, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Rotate) + "/" + std::to_string(c.Height));
        SceneInfo.LightRotate = c.Rotate;
        SceneInfo.LightHeight = c.Height;
        UpdateArenaCamera(false, true);
        TVec3 expected;
        Vec3Scale(c.Direction, 500000, expected);
        ExpectVec3(SceneInfo.LightPosition, expected, 1.0f);
        EXPECT_NEAR(SceneInfo.LightNear, 499870, 0.5f);
        EXPECT_NEAR(SceneInfo.LightFar, 500130, 0.5f);
        // The origin lies in the middle of the light's depth range.
        const TVec4 origin = Project(SceneInfo.LightView, TVec3{0, 0, 0});
        EXPECT_NEAR(origin.z, 500000, 1);
        EXPECT_NEAR(origin.x, 0, 0.1f);
        EXPECT_NEAR(origin.y, 0, 0.1f);
    }
    SceneInfo.SunPower = 30;
    SetArenaSunPower();
    const TVec4 l = SceneValue(CONSTANT_VERTEX, 9, "_LightL");
    ExpectVec3(TVec3{l.x, l.y, l.z}, SceneInfo.LightPosition, 0.5f);
    EXPECT_FLOAT_EQ(SceneValue(CONSTANT_PIXEL, 3, "k_SunPower").x, 1.5f);
}

// The fixed camera at its highest pitch sees the horizon: the upper corner
// rays never reach the ground, the cascades end at 130 and split at the
// blend of the logarithmic and the even split.
TEST_F(ArenaSceneTest, SplitsWhenTheGroundReachesTheHorizon)
{
    Create();
    SceneInfo.FixCamera = 1;
    SceneInfo.Angle_X = -0.26f;
    SceneInfo.Distance = 10;
    UpdateArenaCamera(true, true);
    const TVec4 splits = SceneValue(CONSTANT_PIXEL, 11, "d_Cascades");
    ExpectVec(splits, TVec4{22.196f, 49.256f, 129.95f, 130}, 0.002f);
    EXPECT_FLOAT_EQ(SceneInfo.Cascades[0].Near, 0.1f);
    EXPECT_FLOAT_EQ(SceneInfo.Cascades[0].Far, splits.x);
    EXPECT_FLOAT_EQ(SceneInfo.Cascades[1].Near, splits.x);
    EXPECT_FLOAT_EQ(SceneInfo.Cascades[1].Far, splits.y);
    EXPECT_FLOAT_EQ(SceneInfo.Cascades[2].Near, splits.y);
    EXPECT_FLOAT_EQ(SceneInfo.Cascades[2].Far, splits.z);
    EXPECT_FLOAT_EQ(SceneInfo.Cascades[3].Near, 130);
    EXPECT_FLOAT_EQ(SceneInfo.Cascades[3].Far, 130);
}

// Looking down, the ground (y = -3) ends the cascades where the farthest
// corner ray meets it (the last split lies half the near plane before the
// end); a corner ray that misses it, or a ground too close, gives the limits.
TEST_F(ArenaSceneTest, CascadesEndWhereTheGroundEnds)
{
    Create();
    const struct {
        float Pitch, TargetY, Low, High;
    } cases[] = {
        {1.0f, -10, 130, 130}, // looking up: no corner ray reaches the ground
        {0, 0, 130, 130},      // level: the upper corners pass above the ground
        {-0.8f, 0, 12, 18},    // every corner meets the ground
        {-1.5f, 7.8f, 3, 3},   // just above the ground, looking at it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Pitch);
        SceneInfo.FixCamera = 0;
        SceneInfo.Angle_X = c.Pitch;
        SceneInfo.Target_pos = TVec3{0, c.TargetY, 0};
        SceneInfo.Distance = 0;
        UpdateArenaCamera(true, true);
        const float far = SceneValue(CONSTANT_PIXEL, 11, "d_Cascades").z + 0.05f;
        EXPECT_GE(far, c.Low - 1e-4f);
        EXPECT_LE(far, c.High + 1e-4f);
        // The eye stays above the ground in every row.
        EXPECT_GT(SceneInfo.CameraPos.y, -3);
    }
}

TEST_F(ArenaSceneTest, FixedCameraClampsPitchAndDistance)
{
    Create();
    const struct {
        float Pitch, Distance;
        int32_t Zoom;
        float ExpectedPitch, ExpectedDistance;
    } cases[] = {
        {-1.2f, 5, 0, -1, 5},       {-0.1f, 5, 0, -0.26f, 5},
        {-0.5f, 5, 0, -0.5f, 5},    {-0.5f, 5, -6000, -0.5f, 10}, // zooming out stops at 10
        {-0.5f, 5, 6000, -0.5f, 0},                               // zooming in stops at 0
        {-0.5f, 5, 600, -0.5f, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Pitch) + " " + std::to_string(c.Zoom));
        SceneInfo.FixCamera = 1;
        SceneInfo.Angle_X = c.Pitch;
        SceneInfo.Distance = c.Distance;
        SceneInfo.Zoom = c.Zoom;
        SceneInfo.PanX = 40;
        SceneInfo.PanY = -30;
        SceneInfo.Target_pos = TVec3{3, 4, 5};
        UpdateArenaCamera(true, false);
        EXPECT_FLOAT_EQ(SceneInfo.Angle_X, c.ExpectedPitch);
        EXPECT_FLOAT_EQ(SceneInfo.Distance, c.ExpectedDistance);
        ExpectVec3(SceneInfo.Target_pos, TVec3{0, -1, 0}, 0);
        EXPECT_EQ(SceneInfo.PanX, 0);
        EXPECT_EQ(SceneInfo.PanY, 0);
        EXPECT_EQ(SceneInfo.Zoom, 0);
        // The eye: behind the target by the distance and the world's 5.
        // The eye: behind the pivot (the point at minus the target) by the
        // distance and the world's 5, where "CameraPos" puts it.
        const TVec4 eye = Project(SceneInfo.InverseView, TVec3{0, 0, -5});
        ExpectVec3(SceneInfo.CameraPos, TVec3{eye.x, eye.y, eye.z}, 1e-4f);
        const TVec3 fromPivot{eye.x, eye.y - 1, eye.z};
        EXPECT_NEAR(Vec3Length(fromPivot), c.ExpectedDistance + 5, 1e-4f);
        EXPECT_NEAR(std::asin(fromPivot.y / Vec3Length(fromPivot)), -c.ExpectedPitch, 1e-4f);
    }
}

// The free camera moves its pivot along the view to the plane one unit above
// the target's level: a pitch a puts that plane 5 + 1 / sin a along the ray
// (capped at 30); the pivot and the distance move by that less 5.
TEST_F(ArenaSceneTest, FreeCameraZoomsThroughTheRayAndPlane)
{
    Create();
    const struct {
        float Pitch;
        int32_t Zoom;
        float Step;
    } cases[] = {
        {0, 0, 0}, // the ray runs along the plane: no hit, no step
        {0.5f, 0, 1 / std::sin(0.5f)},
        {-0.5f, 0, -1 / std::sin(0.5f)},
        {0.03f, 0, 25}, // capped at 30
        {0.5f, 600, 1 / std::sin(0.5f) - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Pitch) + " " + std::to_string(c.Zoom));
        SceneInfo.FixCamera = 0;
        SceneInfo.Angle_X = c.Pitch;
        SceneInfo.Angle_Y = 0;
        SceneInfo.Distance = 2;
        SceneInfo.Target_pos = TVec3{};
        SceneInfo.Zoom = c.Zoom;
        UpdateArenaCamera(true, false);
        EXPECT_NEAR(SceneInfo.Distance, 2 + c.Step, 1e-3f);
        // The pivot moved back along the view by the zoom and the step.
        TVec3 expected;
        ArenaPanVector(0, 0, -static_cast<float>(c.Zoom) / 600 - c.Step, expected);
        ExpectVec3(SceneInfo.Target_pos, expected, 1e-3f);
        EXPECT_EQ(SceneInfo.Zoom, 0);
    }
}

TEST_F(ArenaSceneTest, PanVectorTurnsWithTheCamera)
{
    SceneInfo.Angle_X = 0;
    SceneInfo.Angle_Y = static_cast<float>(M_PI) / 2;
    TVec3 v;
    ArenaPanVector(1, 0, 0, v);
    ExpectVec3(v, TVec3{0, 0, 1}, 1e-6f);
    SceneInfo.Angle_X = static_cast<float>(M_PI) / 2;
    SceneInfo.Angle_Y = 0;
    ArenaPanVector(0, 1, 0, v);
    ExpectVec3(v, TVec3{0, 0, -1}, 1e-6f);
    ArenaPanVector(0, 0, 1, v);
    ExpectVec3(v, TVec3{0, 1, 0}, 1e-6f);
}

TEST_F(ArenaSceneTest, ShadowConstantsFollowTheCascadesAndTheLight)
{
    Create();
    SceneInfo.FixCamera = 1;
    SceneInfo.Angle_X = -0.42f;
    SceneInfo.Distance = 10;
    SceneInfo.ShadowBlur = 10;
    UpdateArenaCamera(true, true);
    const float k = 10 * 0.00015f;
    float widths[3];
    for (int c = 0; c < 3; c++) {
        const TVec4 v = SceneValue(CONSTANT_PIXEL, 12 + c, "Cascad" + std::to_string(c + 1) + "_XYdZ");
        ASSERT_GT(v.x, 0);
        ASSERT_GT(v.y, 0);
        const float w = k / v.x, h = k / v.y;
        widths[c] = std::max(w, h);
        EXPECT_NEAR(v.z, std::max(10 * widths[c] / 200, 0.05f), 1e-5f);
        EXPECT_EQ(v.w, 0);
    }
    // Nearer cascades cover less of the light's view.
    EXPECT_LT(widths[0], widths[1]);
    EXPECT_LT(widths[1], widths[2]);

    // No blur: the minimum depth term.
    SceneInfo.ShadowBlur = 0;
    UpdateArenaCamera(false, true);
    ExpectVec(SceneValue(CONSTANT_PIXEL, 12, "Cascad1_XYdZ"), TVec4{0, 0, 0.05f, 0}, 0);

    // "LightP": the plane facing away from the sun, in view space.
    const TVec4 p = SceneValue(CONSTANT_VERTEX, 28, "LightP");
    const TVec3& o = SceneInfo.LightInView;
    const float length = Vec3Length(o);
    ExpectVec3(TVec3{p.x, p.y, p.z}, TVec3{-o.x / length, -o.y / length, -o.z / length}, 1e-5f);
    EXPECT_NEAR(p.w, 0.00026f * length, 1e-3f);
    TVec3 inView;
    Vec3TransformCoord(SceneInfo.LightPosition, SceneInfo.View, inView);
    ExpectVec3(o, inView, 1);

    // The point the camera looks at (minus the target) lies inside the first
    // cascade: its depth pass draws it within the map, and its shadow lookup
    // (from view space) finds it there.
    const TVec3 pivot{0, 1, 0};
    TMatrix4 depth;
    MatrixMultiply(SceneInfo.LightView, SceneInfo.Cascades[0].DepthProjection, depth);
    const TVec4 d = Project(depth, pivot);
    EXPECT_LT(std::fabs(d.x / d.w), 1);
    EXPECT_LT(std::fabs(d.y / d.w), 1);
    EXPECT_GT(d.z / d.w, 0);
    EXPECT_LT(d.z / d.w, 1);
    TVec3 inViewPivot;
    Vec3TransformCoord(pivot, SceneInfo.View, inViewPivot);
    const TVec4 t = Project(SceneInfo.Cascades[0].TextureMatrix, inViewPivot);
    EXPECT_NEAR(t.x / t.w, (d.x / d.w + 1) / 2, 1e-3f);
    EXPECT_NEAR(t.y / t.w, (1 - d.y / d.w) / 2, 1e-3f);
}

TEST_F(ArenaSceneTest, ViewportCentredAndScaledToThePickingTargets)
{
    Create();
    const struct {
        int32_t Width, Height;
        TRect View, Pick;
    } cases[] = {
        {1280, 720, {160, 240, 1440, 960}, {51, 102, 460, 409}},
        {1600, 1200, {0, 0, 1600, 1200}, {0, 0, 512, 512}},
        {1281, 721, {159, 239, 1440, 960}, {50, 101, 460, 409}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Width) + "x" + std::to_string(c.Height));
        SetArenaViewport(c.Width, c.Height);
        for (const char* name : {"MAIN", "PIPE"}) {
            const TRect r = Pass(name).ScissorRect;
            EXPECT_EQ((std::vector<int32_t>{r.Left, r.Top, r.Right, r.Bottom}),
                      (std::vector<int32_t>{c.View.Left, c.View.Top, c.View.Right, c.View.Bottom}))
                << name;
            EXPECT_EQ(Pass(name).CullMatrixName, "Proj");
        }
        for (const char* name : {"CP_INDEX", "CP_DIRECT"}) {
            const TRect r = Pass(name).ScissorRect;
            EXPECT_EQ((std::vector<int32_t>{r.Left, r.Top, r.Right, r.Bottom}),
                      (std::vector<int32_t>{c.Pick.Left, c.Pick.Top, c.Pick.Right, c.Pick.Bottom}))
                << name;
        }
        EXPECT_EQ(Scene().PresentSource.Left, c.View.Left);
        EXPECT_EQ(Scene().PresentSource.Bottom, c.View.Bottom);
        EXPECT_EQ(Scene().PresentDest.Left, 0);
        EXPECT_EQ(Scene().PresentDest.Right, c.Width);
        EXPECT_EQ(Scene().PresentDest.Bottom, c.Height);
    }
}

// The screens shift the picture sideways by a number of screen pixels: a
// point ahead moves by that over the screen height in device units.
TEST_F(ArenaSceneTest, ProjectionShiftedByScreenPixels)
{
    const struct {
        int32_t Dx, Dy;
    } cases[] = {{0, 0}, {65, 0}, {-16, 0}, {0, 30}};
    for (const auto& c : cases) {
        SetArenaProjection(c.Dx, c.Dy);
        const TVec4 p = Project(SceneInfo.Projection, TVec3{0, 0, 20});
        EXPECT_NEAR(p.x / p.w, c.Dx / 1200.0f, 1e-6f) << c.Dx;
        EXPECT_NEAR(p.y / p.w, c.Dy / 1200.0f, 1e-6f) << c.Dy;
        // Depth and the field of view are untouched by the shift.
        TMatrix4 plain;
        MatrixPerspectiveFov(plain, 0.7853982f, 0.75f, 0.1f, 130);
        const TVec4 q = Project(plain, TVec3{0, 0, 20});
        EXPECT_NEAR(p.z / p.w, q.z / q.w, 1e-6f);
    }
}

TEST_F(ArenaSceneTest, ColoursFogMasksAndExposure)
{
    Create();
    TSceneInfo& s = SceneInfo;
    s.BkgColor = 0x112233;
    s.LightColor = 0x806040;
    s.ShadowColor = 0x204080;
    s.Colorize_Color = 0xFFFFFF;
    s.Colorize_Strength = 40;
    s.ColorizeFog_Color = 0x00FF00;
    s.ColorizeFog_Strength = 75;
    s.Ambient = 30;
    s.Gamma = 110;
    s.SkyLight = 90;
    s.Occlusion = 50;
    s.SunPower = 44;
    s.Fog = 1;
    s.FogDistance = 100;
    s.FogStrength = 0.8f;
    s.FogColor = 0x336699;
    for (uint8_t earlyZ : {0, 1}) {
        for (uint8_t shadows : {0, 1}) {
            RenderSettings.EarlyZ = earlyZ;
            s.UseShadow = shadows;
            SetArenaColors();
            EXPECT_EQ(Pass("MAIN").ClearColor, 0x332211u);
            EXPECT_EQ(Pass("MAIN").ClearFlags, earlyZ != 0 ? 1u : 3u);
            for (const char* name : {"1DEPTH", "2DEPTH", "3DEPTH"})
                EXPECT_EQ(Pass(name).ExcludeMask, shadows != 0 ? 0x51u : 0x53u) << name;
        }
    }
    ExpectVec(SceneValue(CONSTANT_PIXEL, 9, "ks_AGSO"), TVec4{0.3f, 1.1f, 0.9f, 0.5f}, 1e-6f);
    EXPECT_FLOAT_EQ(SceneValue(CONSTANT_PIXEL, 3, "k_SunPower").x, 2.2f);
    EXPECT_FLOAT_EQ(Value(Pass("MAIN").Constants, CONSTANT_PIXEL, 26, "Exposure").x, 110 / 25.0f);
    // Colours reach the shaders as blue, green, red: normalised by their
    // largest channel, except the fog's.
    ExpectVec(SceneValue(CONSTANT_PIXEL, 6, "color_Light"), TVec4{0.5f, 0.75f, 1, 1}, 1e-6f, "light");
    ExpectVec(SceneValue(CONSTANT_PIXEL, 7, "color_Shadow"), TVec4{1, 0.5f, 0.25f, 1}, 1e-6f, "shadow");
    ExpectVec(SceneValue(CONSTANT_PIXEL, 20, "clr_All_str"), TVec4{1, 1, 1, 0.4f}, 1e-6f, "tint");
    ExpectVec(SceneValue(CONSTANT_PIXEL, 19, "clr_Fog_str"), TVec4{0, 1, 0, 0.75f}, 1e-6f, "fog tint");
    ExpectVec(s.LightColorValue, TVec4{0.5f, 0.75f, 1, 1}, 1e-6f);
    const float a = std::pow(0.01f, 1.0f / 400);
    ExpectVec(SceneValue(CONSTANT_PIXEL, 4, "k_FogInfo"), TVec4{a, 15, 100, 0.8f}, 1e-6f, "fog");
    EXPECT_NEAR(s.FogTerm, a, 1e-6f);
    ExpectVec(SceneValue(CONSTANT_PIXEL, 5, "color_Fog"), TVec4{0x99 / 255.0f, 0x66 / 255.0f, 0x33 / 255.0f, 1}, 1e-6f,
              "fog colour");

    s.Fog = 0;
    SetArenaColors();
    ExpectVec(SceneValue(CONSTANT_PIXEL, 4, "k_FogInfo"), TVec4{1, 50, 100, 0}, 0, "no fog");
    ExpectVec(SceneValue(CONSTANT_PIXEL, 5, "color_Fog"), TVec4{1, 1, 1, 0}, 0, "no fog colour");

    SetArenaExposure(2.5f);
    EXPECT_FLOAT_EQ(Value(Pass("MAIN").Constants, CONSTANT_PIXEL, 26, "Exposure").x, 2.5f);
}

TEST_F(ArenaSceneTest, DefaultsOfTheRecordAndTheSettings)
{
    SceneInfo.Gamma = 7;
    ArenaSettings.PickingSize = 512; // as the start-up writes it
    InitArenaDefaults();
    EXPECT_EQ(SceneInfo.Gamma, 100);
    EXPECT_EQ(SceneInfo.Ambient, 10);
    EXPECT_EQ(SceneInfo.LightRotate, 45);
    EXPECT_EQ(SceneInfo.FogColor, 0xFFE599u);
    EXPECT_EQ(ArenaSettings.PickingSize, 512);
    EXPECT_EQ(ArenaSettings.PickingFormat, 23);
    const float ends[4][2] = {{0.1f, 15}, {15, 45}, {45, 130}, {130, 130}};
    for (int i = 0; i < 4; i++) {
        EXPECT_FLOAT_EQ(SceneInfo.Cascades[i].Near, ends[i][0]);
        EXPECT_FLOAT_EQ(SceneInfo.Cascades[i].Far, ends[i][1]);
    }
    // The world looks from (0, 0, -5) at the origin.
    const TVec4 origin = Project(SceneInfo.World, TVec3{0, 0, 0});
    ExpectVec(origin, TVec4{0, 0, 5, 1}, 1e-6f);
    const TVec4 ahead = Project(SceneInfo.Projection, TVec3{0, 0, 130});
    EXPECT_NEAR(ahead.z / ahead.w, 1, 1e-5f);
}

namespace {

// The arena scene on the real device (64 x 48): a level quad below the fixed
// camera's pivot, drawn by the depth, picking and main passes.
class ArenaSceneDeviceTest : public TDeviceRenderTest {
protected:
    static constexpr int32_t MapSize = 128;

    void SetUp() override
    {
        TDeviceRenderTest::SetUp();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
        MainRender = Render.get();
        RenderSettings = TRenderSettings{};
        RenderSettings.ScreenWidth = Width;
        RenderSettings.ScreenHeight = Height;
        GUIVirtualSize = TGUIVirtualSize{};
        ArenaSettings = TArenaSettings{};
        InitArenaDefaults();
        ArenaSettings.ShadowMapSize = MapSize;
        ArenaSettings.PickingSize = 64;
        CreateArenaScene();
        SetArenaViewport(Width, Height);
        SetArenaProjection(0, 0);
        TSceneInfo& s = SceneInfo;
        s.FixCamera = 1;
        s.Angle_X = -0.5f;
        s.Distance = 3;
        s.UseShadow = 1;
        s.BkgColor = 0x204060;
        s.LightHeight = 30;
        s.ShadowBlur = 2;
        SetArenaColors();
        SetArenaSunPower();
        UpdateArenaCamera(true, true);
    }
    void TearDown() override
    {
        MainRender = nullptr;
        SceneInfo = TSceneInfo{};
        ArenaSettings = TArenaSettings{};
        RenderSettings = TRenderSettings{};
        TDeviceRenderTest::TearDown();
    }
    // A two-sided level quad over -4..4 in x and z, casting shadows, drawn
    // unlit in the main pass and with the pick number in the index pass.
    void AddGround(uint16_t pick)
    {
        const int32_t mesh = Render->Mesh_Add(MESH_TEXTURED, "Ground", 1);
        T3D_VertexArray vertices(4);
        vertices[0].Position = {-4, 0, -4};
        vertices[1].Position = {4, 0, -4};
        vertices[2].Position = {4, 0, 4};
        vertices[3].Position = {-4, 0, 4};
        Render->Mesh_Get(mesh)->ImportGeometry(vertices, {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2});
        T3D_Scene& scene = *ArenaScene();
        T3D_SceneMesh& instance = *scene.GetMesh(scene.AddMesh(mesh, "Ground"));
        instance.GroupBits = ARENA_GROUP_SHADOW;
        SetArenaInstanceMatrices(instance);
        instance.SetShader(ArenaShadersFolder + "Normaled_VS.bin", "MAIN", 1);
        instance.SetShader(ArenaShadersFolder + "Flat_PS.bin", "MAIN", 0);
        instance.SetTexture(GameFolder + "Error.tga", 0, 0);
        instance.Constants.SetVec4(CONSTANT_PIXEL, 21, "clr_str", 1, 1, 1, 0, ARENA_SHADER_GROUPS);
        instance.Constants.SetVec4(CONSTANT_PIXEL, 22, "k_Alpha", 1, 0, 0, 0, ARENA_SHADER_GROUPS);
        T3D_Color color;
        ColorFromRGB565(pick, color);
        instance.Constants.SetVec4(CONSTANT_PIXEL, 1, "_CpIndex", color.r, color.g, color.b, 0, ARENA_SHADER_GROUPS);
    }
    uint32_t BackBufferPixel(int32_t x, int32_t y)
    {
        IDirect3DDevice9* device = Render->Device;
        D3DSURFACE_DESC desc;
        Render->BackBuffer->GetDesc(&desc);
        IDirect3DSurface9* copy = nullptr;
        EXPECT_EQ(device->CreateOffscreenPlainSurface(Width, Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr),
                  D3D_OK);
        EXPECT_EQ(device->GetRenderTargetData(Render->BackBuffer, copy), D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        uint32_t pixel = 0;
        std::memcpy(&pixel, static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
        copy->UnlockRect();
        copy->Release();
        return pixel & 0xFFFFFF;
    }
};

} // namespace

TEST_F(ArenaSceneDeviceTest, GroundDrawsIntoTheMainThePickingAndTheShadowPasses)
{
    AddGround(0xF800);
    T3D_Scene& scene = *ArenaScene();
    scene.EnablePass("CP_INDEX", 1);
    // As the screens do after a change: the passes that take "PIPE"'s
    // visibility need its pipeline built.
    scene.InvalidatePasses();
    ArenaPass("PIPE")->BuildPipeline();
    scene.Render(false);

    // The main pass: the ground below the pivot, the clear colour (red and
    // blue exchanged) above the horizon.
    EXPECT_EQ(BackBufferPixel(2, 2), 0x604020u);
    EXPECT_NE(BackBufferPixel(Width / 2, Height - 4), 0x604020u);

    // The picking pass: the pick number comes back whole where the ground is.
    Render->Texture_CopyRenderTarget(ArenaTargets.PickIndex, ArenaTargets.PickIndexReadBack);
    uint16_t pick = 0;
    Render->Texture_ReadPixel(ArenaTargets.PickIndexReadBack, 32, 60, &pick);
    EXPECT_EQ(pick, 0xF800);
    Render->Texture_ReadPixel(ArenaTargets.PickIndexReadBack, 32, 2, &pick);
    EXPECT_EQ(pick, 0);

    // The shadow map of the cascade that holds a point of the ground keeps
    // its depth there (the clear pass after it draws nothing).
    const TVec3 point{0, 0, 1.5f};
    TMatrix4 toView;
    MatrixMultiply(SceneInfo.View, SceneInfo.World, toView);
    const float depth = Project(toView, point).z;
    int c = 0;
    while (c < 2 && depth > SceneInfo.Cascades[c].Far)
        c++;
    TMatrix4 light;
    MatrixMultiply(SceneInfo.LightView, SceneInfo.Cascades[c].DepthProjection, light);
    const TVec4 clip = Project(light, point);
    const int32_t u = static_cast<int32_t>((clip.x / clip.w + 1) / 2 * MapSize);
    const int32_t v = static_cast<int32_t>((1 - clip.y / clip.w) / 2 * MapSize);
    ASSERT_GE(u, 0);
    ASSERT_LT(u, MapSize);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, MapSize);
    const int32_t copy = Render->Texture_Create(TEXTURE_OFFSCREEN, MapSize, MapSize, 1, D3DFMT_R32F, D3DFMT_D24S8);
    Render->Texture_CopyRenderTarget(ArenaPass(std::to_string(c + 1) + "DEPTH")->TargetTexture, copy);
    float stored = 0;
    Render->Texture_ReadPixel(copy, u, v, &stored);
    EXPECT_GT(stored, 0) << "cascade " << c + 1 << " texel " << u << "," << v;
    // Nothing was drawn in the map's corner farthest from the ground's.
    Render->Texture_ReadPixel(copy, u < MapSize / 2 ? MapSize - 1 : 0, v < MapSize / 2 ? MapSize - 1 : 0, &stored);
    EXPECT_EQ(stored, 0);
}
