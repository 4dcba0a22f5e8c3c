#include "scenes/Arena_Scene.h"

#include <algorithm>
#include <cmath>

#include "model/Support.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shadows.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Duskmarch_RenderSetup.h"

TArenaSettings ArenaSettings;
int32_t ArenaSceneIndex = -1;
int32_t ArenaMainPass = -1;
int32_t ArenaObjectCount = 0;
uint8_t ArenaModelsChanged = 0;
uint8_t ArenaRedrawMain = 0;
uint8_t ArenaRedrawShadows = 0;
uint8_t ArenaLoaded = 0;
uint8_t TentSceneLoaded = 0;
TArenaTargets ArenaTargets;

namespace {

constexpr float ArenaFieldOfView = 0.7853982f;
// The sun is practically at infinity: a very narrow perspective far away.
constexpr float ArenaSunDistance = 500000.0f;
constexpr float ArenaSunFieldOfView = 0.00015707963f;
constexpr float ArenaSunDepthMargin = 130.0f;
// The ground the cascades are fitted to.
constexpr float ArenaGroundLevel = -3.0f;
constexpr float ArenaCascadeFarLimit = 130.0f;
constexpr float ArenaCascadeFarMinimum = 3.0f;

constexpr int32_t ArenaJointRegister = 32;
constexpr int32_t ArenaJointCount = 70;

constexpr int32_t ArenaFilterPoint = 0;
constexpr int32_t ArenaCullNone = 0;

const char* const ArenaDepthPassNames[3] = {"1DEPTH", "2DEPTH", "3DEPTH"};

void ArenaNameJoints(T3D_RenderPass& pass)
{
    for (int32_t i = 0; i < ArenaJointCount; i++)
        pass.SetConstantName(CONSTANT_VERTEX, ArenaJointRegister + 3 * i, "Joint" + std::to_string(i), 3);
}

void ArenaSetStageZero(T3D_RenderPass& pass, bool enabled)
{
    uint8_t flags[8] = {};
    flags[0] = enabled ? 1 : 0;
    pass.SetStagesEnabled(flags);
}

void ArenaSetShaders(T3D_RenderPass& pass, const std::string& folder, const std::string& vertex,
                     const std::string& pixel)
{
    pass.SetShader(folder + vertex, 1, ARENA_SHADER_GROUPS);
    pass.SetShader(folder + pixel, 0, ARENA_SHADER_GROUPS);
}

void ArenaSetCameraMatrices(T3D_RenderPass& pass)
{
    pass.SetViewMatrixPtr(&SceneInfo.View);
    pass.SetWorldMatrixPtr(&SceneInfo.World);
    pass.SetProjMatrixPtr(&SceneInfo.Projection);
}

T3D_RenderPass& ArenaAddArenaPass(T3D_Scene& scene, const std::string& name, int32_t format, int32_t depthFormat,
                                  int32_t width, int32_t height)
{
    const int32_t index = scene.AddPass(name, format, depthFormat, width, height);
    return *scene.Passes[static_cast<size_t>(index)];
}

// Colour write on and the alpha test that lets cut-out texels through.
void ArenaSetAlphaTested(T3D_RenderPass& pass)
{
    pass.SetRenderState(RSK_COLORWRITE, 1);
    pass.SetRenderState(RSK_ALPHAMODE, static_cast<int32_t>(RSK_ALPHA_TEST128));
}

float ArenaScreenAspect()
{
    const float w = static_cast<float>(std::max(RenderSettings.ScreenWidth, 1));
    const float h = static_cast<float>(std::max(RenderSettings.ScreenHeight, 1));
    return h / w;
}

void ArenaSetSceneVec4(uint8_t kind, int32_t reg, const char* name, float x, float y, float z, float w)
{
    if (T3D_Scene* scene = ArenaScene())
        scene->Constants.SetVec4(kind, reg, name, x, y, z, w, ARENA_SHADER_GROUPS);
}

// A packed colour as the constants take it: blue, green, red (red from bits
// 16..23), and w.
TVec4 ArenaColorValue(uint32_t rgb, bool normalise, float w)
{
    T3D_Color c = ColorFromRGB(rgb);
    if (normalise)
        c = NormalizeColor(c);
    return TVec4{c.b, c.g, c.r, w};
}

void ArenaSetSceneColor(int32_t reg, const char* name, const TVec4& value)
{
    ArenaSetSceneVec4(CONSTANT_PIXEL, reg, name, value.x, value.y, value.z, value.w);
}

TVec3 ArenaTurnByAngles(const TVec3& v, float pitch, float yaw)
{
    TMatrix4 x, y, m;
    MatrixRotationX(x, pitch);
    MatrixRotationY(y, yaw);
    MatrixMultiply(x, y, m);
    TVec3 out;
    Vec3TransformCoord(v, m, out);
    return out;
}

void ArenaUpdateLight()
{
    TSceneInfo& s = SceneInfo;
    const double h = static_cast<double>(s.LightHeight) * M_PI / 180.0;
    const double r = static_cast<double>(s.LightRotate) * M_PI / 180.0;
    const TVec3 l{static_cast<float>(1000.0 * std::sin(h) * std::cos(r)), static_cast<float>(1000.0 * std::cos(h)),
                  static_cast<float>(1000.0 * std::sin(h) * std::sin(r))};
    Vec3Normalize(l, s.LightPosition);
    Vec3Scale(s.LightPosition, ArenaSunDistance, s.LightPosition);
    s.LightInView = s.LightPosition;
    s.LightNear = Vec3Length(s.LightPosition) - ArenaSunDepthMargin;
    s.LightFar = s.LightNear + 2 * ArenaSunDepthMargin;
    MatrixLookAt(s.LightView, s.LightPosition, TVec3{0, 0, 0}, TVec3{0, 1, 0});
    MatrixPerspectiveFov(s.LightProjection, ArenaSunFieldOfView, 1, s.LightNear, s.LightFar);
}

// The free camera's zoom: how far the pivot may move toward the scene
// before it reaches the plane through the target.
float ArenaFreeCameraZoomStep(const TMatrix4& rotation, const TVec3& pan)
{
    TSceneInfo& s = SceneInfo;
    TMatrix4 translation, m;
    TVec3 target;
    Vec3Add(s.Target_pos, pan, target);
    MatrixTranslationVec(translation, target);
    MatrixMultiply(translation, rotation, m);
    TVec3 a, b, c;
    Vec3TransformCoord(TVec3{0, 1, 0}, m, a);
    Vec3TransformCoord(TVec3{0, 1, 1}, m, b);
    Vec3TransformCoord(TVec3{1, 1, 0}, m, c);
    TVec3 hit;
    float d = 5;
    if (TrianglePlaneIntersectRay(a, b, c, s.RayOrigin, TVec3{0, 0, 1}, hit)) {
        TVec3 step;
        Vec3Sub(hit, s.RayOrigin, step);
        d = Vec3Length(step);
    }
    return std::min(d, 30.0f) - 5;
}

void ArenaUpdateCamera()
{
    TSceneInfo& s = SceneInfo;
    if (s.FixCamera != 0) {
        s.Angle_X = std::clamp(s.Angle_X, -1.0f, -0.26f);
        s.PanX = 0;
        s.PanY = 0;
        s.Target_pos = TVec3{0, -1, 0};
    }
    TMatrix4 yaw, pitch, rotation;
    MatrixRotationY(yaw, s.Angle_Y);
    MatrixRotationX(pitch, s.Angle_X);
    MatrixMultiply(yaw, pitch, rotation);
    {
        TMatrix4 turn = rotation;
        turn.e[3] = turn.e[7] = turn.e[11] = 0;
        TVec3 sky;
        Vec3TransformCoord(TVec3{0, 1, 0}, turn, sky);
        Vec3Normalize(sky, s.SkyVector);
    }
    const float zoomStep = -static_cast<float>(s.Zoom) / 600.0f;
    if (s.FixCamera == 0) {
        TVec3 pan;
        ArenaPanVector(static_cast<float>(s.PanX), static_cast<float>(s.PanY), zoomStep, pan);
        const float d = ArenaFreeCameraZoomStep(rotation, pan);
        ArenaPanVector(static_cast<float>(s.PanX), static_cast<float>(s.PanY), zoomStep - d, pan);
        Vec3Add(s.Target_pos, pan, s.Target_pos);
        s.Distance += d;
    } else {
        s.Distance = std::clamp(s.Distance + zoomStep, 0.0f, 10.0f);
        s.Target_pos = TVec3{0, -1, 0};
    }

    TMatrix4 translation, back;
    MatrixTranslationVec(translation, s.Target_pos);
    MatrixTranslation(back, 0, 0, s.Distance);
    MatrixMultiply(translation, rotation, s.View);
    MatrixMultiply(s.View, back, s.View);

    s.RayOrigin = TVec3{0, 0, -5};
    TVec3 eye = ArenaTurnByAngles(TVec3{0, 0, -s.Distance - 5}, -s.Angle_X, -s.Angle_Y);
    Vec3Sub(eye, s.Target_pos, s.CameraPos);
    s.PanX = 0;
    s.PanY = 0;
    s.Zoom = 0;
    MatrixInverse(s.InverseView, s.View);
    for (int32_t i = 0; i < static_cast<int32_t>(s.Objects.size()); i++)
        if (s.Objects[static_cast<size_t>(i)].OffsetIgnoration != 0 && s.Objects[static_cast<size_t>(i)].Instance >= 0)
            PlaceArenaObject(i);

    // How far the ground (y = -3) reaches in view: the cascades end there.
    TMatrix4 viewProjection, inverse;
    MatrixMultiply(s.View, s.World, viewProjection);
    MatrixMultiply(viewProjection, s.Projection, viewProjection);
    MatrixInverse(inverse, viewProjection);
    static constexpr TVec2 Corners[4] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};
    TVec3 nearPoints[4], farPoints[4];
    for (int i = 0; i < 4; i++)
        ScreenToRay(Corners[i], inverse, nearPoints[i], s.NearPlane, s.FarPlane, farPoints[i]);
    float far = -1e30f;
    for (int i = 0; i < 4; i++) {
        TVec3 dir, cross;
        Vec3Sub(farPoints[i], nearPoints[i], dir);
        if (PlaneIntersectSegment(nearPoints[i], dir, cross, 0, 1, 0, -ArenaGroundLevel))
            far = std::max(far, PointPlaneDistance(nearPoints[0], nearPoints[1], nearPoints[2], cross));
        else
            far = ArenaCascadeFarLimit;
    }
    far = std::clamp(far, ArenaCascadeFarMinimum, ArenaCascadeFarLimit);

    const float n = s.NearPlane;
    s.Cascades[0].Near = n;
    for (int i = 1; i <= 3; i++) {
        const float part = static_cast<float>(i) / 3.0f;
        const float split = 0.5f * n * std::pow(far / n, part) + 0.5f * (far - n) * part;
        s.Cascades[i - 1].Far = split;
        if (i < 3)
            s.Cascades[i].Near = split;
    }
    ArenaSetSceneVec4(CONSTANT_PIXEL, 11, "d_Cascades", s.Cascades[0].Far, s.Cascades[1].Far, s.Cascades[2].Far,
                      s.Cascades[3].Far);
    const float aspect = ArenaScreenAspect();
    for (int i = 0; i < 3; i++) {
        TArenaCascade& c = s.Cascades[i];
        TMatrix4 projection;
        MatrixPerspectiveFov(projection, ArenaFieldOfView, aspect, c.Near, c.Far);
        MatrixMultiply(s.View, s.World, c.ViewProjection);
        MatrixMultiply(c.ViewProjection, projection, c.ViewProjection);
    }
}

void ArenaUpdateShadowCascades()
{
    TSceneInfo& s = SceneInfo;
    Vec3TransformCoord(s.LightPosition, s.View, s.LightInView);
    TMatrix4 lightViewProjection;
    MatrixMultiply(s.LightView, s.LightProjection, lightViewProjection);
    static const char* const CascadeNames[3] = {"Cascad1_XYdZ", "Cascad2_XYdZ", "Cascad3_XYdZ"};
    const float blur = static_cast<float>(s.ShadowBlur);
    for (int i = 0; i < 3; i++) {
        TArenaCascade& c = s.Cascades[i];
        TMatrix4 crop;
        float w = 1, h = 1;
        BuildShadowMatrix(c.ViewProjection, lightViewProjection, c.Near, c.Far, crop, w, h);
        MatrixMultiply(s.LightProjection, crop, c.DepthProjection);
        TMatrix4 texture;
        MatrixMultiply(s.InverseView, lightViewProjection, texture);
        MatrixMultiply(texture, crop, texture);
        BuildShadowTextureMatrix(texture, static_cast<float>(ArenaSettings.ShadowMapSize), c.TextureMatrix);
        const float k = blur * 0.00015f;
        const float z = std::max(blur * std::max(w, h) / 200.0f, 0.05f);
        ArenaSetSceneVec4(CONSTANT_PIXEL, 12 + i, CascadeNames[i], w != 0 ? k / w : 0, h != 0 ? k / h : 0, z, 0);
    }
    TVec3 v, unit;
    Vec3Scale(s.LightInView, 0.00026f, v);
    Vec3Normalize(s.LightInView, unit);
    Vec3Scale(unit, -1, unit);
    ArenaSetSceneVec4(CONSTANT_VERTEX, 28, "LightP", unit.x, unit.y, unit.z, -Vec3Dot(unit, v));
    ArenaSetSceneVec4(CONSTANT_VERTEX, 10, "LightO", s.LightInView.x, s.LightInView.y, s.LightInView.z, 0);
}

// The vector constants follow the record after each update (the matrices are
// bound to the record itself).
void ArenaSetCameraConstants()
{
    const TSceneInfo& s = SceneInfo;
    ArenaSetSceneVec4(CONSTANT_VERTEX, 15, "v_Sky", s.SkyVector.x, s.SkyVector.y, s.SkyVector.z, 0);
    ArenaSetSceneVec4(CONSTANT_PIXEL, 29, "CameraPos", s.CameraPos.x, s.CameraPos.y, s.CameraPos.z, 1);
}

} // namespace

T3D_Scene* ArenaScene()
{
    return MainRender != nullptr ? MainRender->Scene_Find("ARENA") : nullptr;
}

T3D_RenderPass* ArenaPass(const std::string& name)
{
    T3D_Scene* scene = ArenaScene();
    return scene != nullptr ? scene->FindPass(name) : nullptr;
}

void InitArenaDefaults()
{
    // ArenaSettings keep what the start-up wrote into them.
    SceneInfo = TSceneInfo{};
    TSceneInfo& s = SceneInfo;
    const float ends[4][2] = {{0.1f, 15}, {15, 45}, {45, 130}, {130, 130}};
    for (int i = 0; i < 4; i++) {
        s.Cascades[i].Near = ends[i][0];
        s.Cascades[i].Far = ends[i][1];
    }
    s.RayOrigin = TVec3{0, 0, -5};
    s.View = IdentityMatrix;
    s.InverseView = IdentityMatrix;
    MatrixLookAt(s.World, s.RayOrigin, TVec3{0, 0, 0}, TVec3{0, 1, 0});
    SetArenaProjection(0, 0);
}

void CreateArenaScene()
{
    if (MainRender == nullptr)
        return;
    const TArenaSettings& as = ArenaSettings;
    ArenaSceneIndex = MainRender->Scene_Add("ARENA");
    T3D_Scene& scene = *MainRender->Scene_Get(ArenaSceneIndex);

    for (int c = 0; c < 3; c++) {
        const std::string name = ArenaDepthPassNames[c];
        T3D_RenderPass& p = ArenaAddArenaPass(scene, name, D3DFMT_R32F, D3DFMT_D16, as.ShadowMapSize, as.ShadowMapSize);
        p.SetClear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        p.InitOwnView();
        p.SetWorldMatrixPtr(&SceneInfo.LightView);
        p.SetProjMatrixPtr(&SceneInfo.Cascades[c].DepthProjection);
        ArenaSetShaders(p, ArenaShadersFolder, "Depth_VS.bin", "Depth_PS.bin");
        p.SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
        p.SetConstantName(CONSTANT_VERTEX, 4, "WORLD", 4);
        p.SetConstantName(CONSTANT_VERTEX, 16, "Camera", 4);
        p.SetConstantName(CONSTANT_VERTEX, 28, "LightP", 1);
        ArenaNameJoints(p);
        p.SetExcludeMask(0x11);
        ArenaSetAlphaTested(p);
        ArenaSetStageZero(p, true);

        // Follows its depth pass into the same target.
        T3D_RenderPass& clear = ArenaAddArenaPass(scene, "DEPTHCLEAR" + std::to_string(c + 1), 0, D3DFMT_D16,
                                                  as.ShadowMapSize, as.ShadowMapSize);
        clear.UseTargetOf(name);
        clear.SetClear(0, 0, 1.0f);
        clear.SetScreenProjection(0);
        ArenaSetShaders(clear, ArenaShadersFolder, "DepthClear_VS.bin", "DepthClear_PS.bin");
        clear.SetRenderState(RSK_DEPTHWRITE, 0);
        clear.SetRenderState(RSK_CULL, ArenaCullNone);
    }
    for (const char* name : {"CP_INDEX", "CP_DIRECT"}) {
        const bool index = std::string(name) == "CP_INDEX";
        T3D_RenderPass& p =
            ArenaAddArenaPass(scene, name, as.PickingFormat, D3DFMT_D16, as.PickingSize, as.PickingSize);
        p.SetClear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        ArenaSetCameraMatrices(p);
        ArenaSetShaders(p, ArenaShadersFolder, "Picking_VS.bin", "Picking_Index_PS.bin");
        p.SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
        if (index)
            ArenaNameJoints(p);
        p.SetConstantName(CONSTANT_PIXEL, 1, "_CpIndex", 1);
        // The direct pass sees only instances whose bits lie within 0x111.
        p.SetExcludeMask(index ? 0x58 : 0xFFFFFEEE);
        ArenaSetAlphaTested(p);
        ArenaSetStageZero(p, index);
    }
    if (GUIVirtualSize.Flag != 0) {
        T3D_RenderPass& p =
            ArenaAddArenaPass(scene, "GUI", D3DFMT_A8R8G8B8, D3DFMT_D24S8, GUIVirtualSize.Width, GUIVirtualSize.Height);
        p.SetClear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        p.SetScreenProjection(0);
        ArenaSetShaders(p, LandscapeShadersFolder, "Screen_VS.bin", "Screen_PS.bin");
        p.SetTexture(InterfaceFolder + "Common\\Empty.tga", 0, 0, ARENA_SHADER_GROUPS);
        p.SetRenderState(RSK_FILTER(0), 2);
        p.SetDraw2D(1);
    }
    {
        const int32_t index = scene.AddPass("MAIN", 0, D3DFMT_D24S8, 0, 0);
        ArenaMainPass = index;
        T3D_RenderPass& p = *scene.Passes[static_cast<size_t>(index)];
        p.SetClear(RenderSettings.EarlyZ != 0 ? D3DCLEAR_TARGET : D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        ArenaSetCameraMatrices(p);
        struct {
            uint8_t Kind;
            int32_t Register;
            const char* Name;
            int32_t Count;
        } const names[] = {
            {CONSTANT_VERTEX, 0, "Proj", 4},
            {CONSTANT_VERTEX, 4, "WORLD", 4},
            {CONSTANT_VERTEX, 8, "_vView", 1},
            {CONSTANT_VERTEX, 9, "_LightL", 1},
            {CONSTANT_VERTEX, 10, "LightO", 1},
            {CONSTANT_VERTEX, 11, "Inv_Camera", 4},
            {CONSTANT_VERTEX, 15, "v_Sky", 1},
            {CONSTANT_VERTEX, 16, "Shadow1", 4},
            {CONSTANT_VERTEX, 20, "Shadow2", 4},
            {CONSTANT_VERTEX, 24, "Shadow3", 4},
            {CONSTANT_VERTEX, 28, "LightP", 1},
            {CONSTANT_PIXEL, 0, "k_AGSO", 1},
            {CONSTANT_PIXEL, 2, "k_Time", 1},
            {CONSTANT_PIXEL, 3, "k_SunPower", 1},
            {CONSTANT_PIXEL, 4, "k_FogInfo", 1},
            {CONSTANT_PIXEL, 5, "color_Fog", 1},
            {CONSTANT_PIXEL, 6, "color_Light", 1},
            {CONSTANT_PIXEL, 7, "color_Shadow", 1},
            {CONSTANT_PIXEL, 8, "k_NormalGloss", 1},
            {CONSTANT_PIXEL, 9, "ks_AGSO", 1},
            {CONSTANT_PIXEL, 10, "k_SREnergy", 1},
            {CONSTANT_PIXEL, 11, "d_Cascades", 1},
            {CONSTANT_PIXEL, 12, "Cascad1_XYdZ", 1},
            {CONSTANT_PIXEL, 13, "Cascad2_XYdZ", 1},
            {CONSTANT_PIXEL, 14, "Cascad3_XYdZ", 1},
            {CONSTANT_PIXEL, 15, "Proj_pixel", 4},
            {CONSTANT_PIXEL, 19, "clr_Fog_str", 1},
            {CONSTANT_PIXEL, 20, "clr_All_str", 1},
            {CONSTANT_PIXEL, 21, "clr_str", 1},
            {CONSTANT_PIXEL, 22, "k_Alpha", 1},
            {CONSTANT_PIXEL, 23, "k_TexAnimation", 1},
            {CONSTANT_PIXEL, 24, "k_TextureFX", 1},
            // The exposure reaches the shaders only through a named register.
            {CONSTANT_PIXEL, 26, "Exposure", 1},
        };
        for (const auto& n : names)
            p.SetConstantName(n.Kind, n.Register, n.Name, n.Count);
        ArenaNameJoints(p);
        p.SetExcludeMask(0x10);
        for (int c = 0; c < 3; c++)
            p.SetTexture(ArenaDepthPassNames[c], 3 + c, 1, ARENA_SHADER_GROUPS);
        for (uint32_t s : {0u, 1u, 2u, 7u})
            p.SetRenderState(RSK_FILTER(s), as.TextureFilter);
        for (uint32_t s = 3; s <= 6; s++)
            p.SetRenderState(RSK_FILTER(s), ArenaFilterPoint);
        p.SetRenderState(RSK_COLORWRITE, 1);
        p.SetDraw2D(GUIVirtualSize.Flag != 0 ? 0 : 1);
    }
    {
        T3D_RenderPass& p = ArenaAddArenaPass(scene, "PIPE", 0, D3DFMT_D24S8, 0, 0);
        p.SetClear(0, 0, 1.0f);
        ArenaSetCameraMatrices(p);
        p.SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
        p.SetConstantName(CONSTANT_VERTEX, 4, "WORLD", 4);
    }
    for (int c = 0; c < 3; c++) {
        scene.EnablePass(ArenaDepthPassNames[c], 1);
        scene.EnablePass("DEPTHCLEAR" + std::to_string(c + 1), 1);
    }
    scene.EnablePass("CP_INDEX", 0);
    scene.EnablePass("CP_DIRECT", 0);
    if (GUIVirtualSize.Flag != 0)
        scene.EnablePass("GUI", 1);
    scene.EnablePass("MAIN", 1);
    scene.EnablePass("PIPE", 0);
    for (const char* name : {"CP_INDEX", "CP_DIRECT", "MAIN"})
        scene.FindPass(name)->SetSourcePass("PIPE", SOURCE_VISIBILITY);

    TSceneInfo& s = SceneInfo;
    scene.Constants.Add(CONSTANT_VERTEX, 11, "Inv_Camera", s.InverseView.e, ARENA_SHADER_GROUPS);
    scene.Constants.Add(CONSTANT_VERTEX, 16, "Camera", s.View.e, ARENA_SHADER_GROUPS);
    static const char* const ShadowNames[3] = {"Shadow1", "Shadow2", "Shadow3"};
    for (int c = 0; c < 3; c++)
        scene.Constants.Add(CONSTANT_VERTEX, 16 + 4 * c, ShadowNames[c], s.Cascades[c].TextureMatrix.e,
                            ARENA_SHADER_GROUPS);
    ArenaSetCameraConstants();
    ArenaSetSceneVec4(CONSTANT_VERTEX, 10, "LightO", s.LightInView.x, s.LightInView.y, s.LightInView.z, 0);

    ArenaTargets.PickIndex = scene.FindPass("CP_INDEX")->TargetTexture;
    ArenaTargets.PickDirect = scene.FindPass("CP_DIRECT")->TargetTexture;
    ArenaTargets.PickXYZReadBack = MainRender->Texture_Create(TEXTURE_OFFSCREEN, as.PickingSize, as.PickingSize, 1,
                                                              D3DFMT_A16B16G16R16, D3DFMT_D24S8);
    ArenaTargets.PickNormalReadBack = MainRender->Texture_Create(TEXTURE_OFFSCREEN, as.PickingSize, as.PickingSize, 1,
                                                                 D3DFMT_A16B16G16R16, D3DFMT_D24S8);
    ArenaTargets.PickIndexReadBack = MainRender->Texture_Create(TEXTURE_OFFSCREEN, as.PickingSize, as.PickingSize, 1,
                                                                as.PickingFormat, D3DFMT_D24S8);
    ArenaTargets.PickDirectReadBack = MainRender->Texture_Create(TEXTURE_OFFSCREEN, as.PickingSize, as.PickingSize, 1,
                                                                 as.PickingFormat, D3DFMT_D24S8);
    for (int c = 0; c < 3; c++)
        scene.FindPass(ArenaDepthPassNames[c])->SetViewport(0, 0, as.ShadowMapSize, as.ShadowMapSize, "Proj");

    const float h = 0.5f + 0.5f / static_cast<float>(as.PixelMatrixSize);
    TMatrix4 scaling, translation;
    MatrixScaling(scaling, 0.5f, -0.5f, 1);
    MatrixTranslation(translation, h, h, 0);
    MatrixMultiply(scaling, translation, s.PixelMatrix);
}

void SetArenaViewport(int32_t width, int32_t height)
{
    T3D_Scene* scene = ArenaScene();
    if (scene == nullptr)
        return;
    const int32_t screenWidth = std::max(RenderSettings.ScreenWidth, 1);
    const int32_t screenHeight = std::max(RenderSettings.ScreenHeight, 1);
    const int32_t left = (screenWidth - width) / 2;
    const int32_t top = (screenHeight - height) / 2;
    const TRect view{left, top, left + width, top + height};
    for (const char* name : {"MAIN", "PIPE"})
        if (T3D_RenderPass* p = scene->FindPass(name))
            p->SetViewport(view.Left, view.Top, view.Right, view.Bottom, "Proj");
    // 64-bit products: a large picking target times a screen coordinate
    // stays exact.
    const int64_t picking = ArenaSettings.PickingSize;
    const TRect pick{static_cast<int32_t>(view.Left * picking / screenWidth),
                     static_cast<int32_t>(view.Top * picking / screenHeight),
                     static_cast<int32_t>(view.Right * picking / screenWidth),
                     static_cast<int32_t>(view.Bottom * picking / screenHeight)};
    for (const char* name : {"CP_INDEX", "CP_DIRECT"})
        if (T3D_RenderPass* p = scene->FindPass(name))
            p->SetViewport(pick.Left, pick.Top, pick.Right, pick.Bottom, "Proj");
    scene->SetPresentRects(view, TRect{0, 0, width, height});
}

void SetArenaProjection(int32_t dx, int32_t dy)
{
    TSceneInfo& s = SceneInfo;
    MatrixPerspectiveFov(s.Projection, ArenaFieldOfView, ArenaScreenAspect(), s.NearPlane, s.FarPlane);
    if (dx == 0 && dy == 0)
        return;
    const float h = static_cast<float>(std::max(RenderSettings.ScreenHeight, 1));
    TMatrix4 shift;
    MatrixTranslation(shift, static_cast<float>(dx) / h, static_cast<float>(dy) / h, 0);
    MatrixMultiply(s.Projection, shift, s.Projection);
}

void ArenaPanVector(float panX, float panY, float zoomStep, TVec3& out)
{
    const TSceneInfo& s = SceneInfo;
    TMatrix4 yaw;
    MatrixRotationY(yaw, -s.Angle_Y);
    TVec3 x;
    Vec3TransformCoord(TVec3{panX, 0, 0}, yaw, x);
    const TVec3 yz = ArenaTurnByAngles(TVec3{0, panY, zoomStep}, -s.Angle_X, -s.Angle_Y);
    Vec3Add(x, yz, out);
}

void UpdateArenaCamera(bool cameraChanged, bool lightChanged)
{
    if (lightChanged)
        ArenaUpdateLight();
    if (cameraChanged)
        ArenaUpdateCamera();
    if (cameraChanged || lightChanged)
        ArenaUpdateShadowCascades();
    ArenaSetCameraConstants();
    ArenaRedrawMain = 1;
    ArenaRedrawShadows = 1;
}

void SetArenaSunPower()
{
    const TSceneInfo& s = SceneInfo;
    ArenaSetSceneVec4(CONSTANT_VERTEX, 9, "_LightL", s.LightPosition.x, s.LightPosition.y, s.LightPosition.z, 0);
    ArenaSetSceneVec4(CONSTANT_PIXEL, 3, "k_SunPower", static_cast<float>(s.SunPower) / 20.0f, 0, 0, 0);
}

void SetArenaColors()
{
    TSceneInfo& s = SceneInfo;
    ArenaSetSceneVec4(CONSTANT_PIXEL, 3, "k_SunPower", static_cast<float>(s.SunPower) / 20.0f, 0, 0, 0);
    if (s.Fog != 0) {
        s.FogTerm = static_cast<float>(std::pow(0.01, 1.0 / (4.0 * static_cast<double>(s.FogDistance))));
        ArenaSetSceneVec4(CONSTANT_PIXEL, 4, "k_FogInfo", s.FogTerm, s.FogStart, s.FogDistance, s.FogStrength);
        s.FogColorValue = ArenaColorValue(s.FogColor, false, 1);
        ArenaSetSceneColor(5, "color_Fog", s.FogColorValue);
    } else {
        ArenaSetSceneVec4(CONSTANT_PIXEL, 4, "k_FogInfo", 1, 50, 100, 0);
        ArenaSetSceneVec4(CONSTANT_PIXEL, 5, "color_Fog", 1, 1, 1, 0);
    }
    s.LightColorValue = ArenaColorValue(s.LightColor, true, 1);
    s.ShadowColorValue = ArenaColorValue(s.ShadowColor, true, 1);
    s.ColorizeFogColorValue =
        ArenaColorValue(s.ColorizeFog_Color, true, static_cast<float>(s.ColorizeFog_Strength) / 100.0f);
    s.ColorizeColorValue = ArenaColorValue(s.Colorize_Color, true, static_cast<float>(s.Colorize_Strength) / 100.0f);
    ArenaSetSceneColor(6, "color_Light", s.LightColorValue);
    ArenaSetSceneColor(7, "color_Shadow", s.ShadowColorValue);
    ArenaSetSceneColor(19, "clr_Fog_str", s.ColorizeFogColorValue);
    ArenaSetSceneColor(20, "clr_All_str", s.ColorizeColorValue);

    if (T3D_RenderPass* main = ArenaPass("MAIN")) {
        const uint32_t b = s.BkgColor;
        const uint32_t color = (b & 0xFF00FF00u) | ((b & 0xFFu) << 16) | ((b >> 16) & 0xFFu);
        main->SetClear(RenderSettings.EarlyZ != 0 ? D3DCLEAR_TARGET : D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f);
    }
    for (const char* name : ArenaDepthPassNames)
        if (T3D_RenderPass* p = ArenaPass(name))
            p->SetExcludeMask(s.UseShadow != 0 ? ARENA_DEPTH_MASK_SHADOWS : ARENA_DEPTH_MASK_NO_SHADOWS);
    ArenaSetSceneVec4(CONSTANT_PIXEL, 9, "ks_AGSO", static_cast<float>(s.Ambient) / 100.0f,
                      static_cast<float>(s.Gamma) / 100.0f, static_cast<float>(s.SkyLight) / 100.0f,
                      static_cast<float>(s.Occlusion) / 100.0f);
    SetArenaExposure(static_cast<float>(s.Gamma) / 25.0f);
}

void SetArenaExposure(float value)
{
    if (T3D_RenderPass* main = ArenaPass("MAIN"))
        main->Constants.SetVec4(CONSTANT_PIXEL, 26, "Exposure", value, 0, 0, 0, ARENA_SHADER_GROUPS);
}
