#include "scenes/Landscape_Pipeline.h"

#include <cmath>
#include <thread>

#include "model/Support.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"

TMapTargets MapTargets;

namespace {

// The view and world of the passes that draw in map coordinates.
TMatrix4 MapIdentity = IdentityMatrix;

// The thread that built the pipeline: the one that may perform deferred
// uploads itself.
std::thread::id PipelineThread;

constexpr int32_t JointRegister = 32;
constexpr int32_t JointCount = 70;

void NameJoints(T3D_RenderPass& pass)
{
    for (int32_t i = 0; i < JointCount; i++)
        pass.SetConstantName(CONSTANT_VERTEX, JointRegister + 3 * i, "Joint" + std::to_string(i), 3);
}

void SetStages(T3D_RenderPass& pass, bool stageZero)
{
    uint8_t flags[8] = {};
    flags[0] = stageZero ? 1 : 0;
    pass.SetStagesEnabled(flags);
}

void SetShaders(T3D_RenderPass& pass, const std::string& vertex, const std::string& pixel)
{
    pass.SetShader(LandscapeShadersFolder + vertex, 1, MAP_SHADER_GROUPS);
    pass.SetShader(LandscapeShadersFolder + pixel, 0, MAP_SHADER_GROUPS);
}

void SetCameraMatrices(T3D_RenderPass& pass)
{
    pass.SetViewMatrixPtr(&MapCamera.Camera);
    pass.SetWorldMatrixPtr(&MapCamera.LookMatrix);
    pass.SetProjMatrixPtr(&MapCamera.Projection);
}

// States shared by most passes: depth test less-or-equal, depth write and
// colour write on.
void SetDepthAndColor(T3D_RenderPass& pass, int32_t depthTest, int32_t depthWrite, int32_t colorWrite)
{
    pass.SetRenderState(RSK_DEPTHTEST, depthTest);
    pass.SetRenderState(RSK_DEPTHWRITE, depthWrite);
    pass.SetRenderState(RSK_COLORWRITE, colorWrite);
}

constexpr int32_t ShadeFlat = 0;
constexpr int32_t ShadeGouraud = 0x40;
constexpr int32_t FilterPoint = 0;

T3D_RenderPass& AddMapPass(T3D_Scene& scene, const std::string& name, int32_t format, int32_t depthFormat,
                           int32_t width, int32_t height)
{
    const int32_t index = scene.AddPass(name, format, depthFormat, width, height);
    return *scene.Passes[static_cast<size_t>(index)];
}

void SetPassEnabled(const std::string& name, bool enabled)
{
    if (T3D_Scene* scene = MapScene())
        if (scene->FindPass(name) != nullptr)
            scene->EnablePass(name, enabled ? 1 : 0);
}

bool HasGUIPass()
{
    return MapPass("GUI") != nullptr;
}

void RebuildPipe()
{
    if (T3D_RenderPass* pipe = MapPass("PIPE"))
        pipe->BuildPipeline();
}

// Waits for (or performs) the deferred uploads the render needs: the chunk
// and plant meshes the loading worker has just queued.
void FlushUploads()
{
    if (MainRender == nullptr)
        return;
    if (std::this_thread::get_id() == PipelineThread) {
        while (!MainRender->UploadQueue_Empty())
            MainRender->UploadQueue_Process(10000000);
        return;
    }
    while (!MainRender->UploadQueue_Empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

} // namespace

T3D_Scene* MapScene()
{
    return MainRender != nullptr ? MainRender->Scene_Find("MAP") : nullptr;
}

T3D_RenderPass* MapPass(const std::string& name)
{
    T3D_Scene* scene = MapScene();
    return scene != nullptr ? scene->FindPass(name) : nullptr;
}

void MapIndexProjection(int32_t size, int32_t n, TMatrix4& out)
{
    const float s = static_cast<float>(size);
    const float half = 1.0f / (2.0f * s);
    out = ZeroMatrix;
    out.e[0] = 4.0f / s; // clip x from x
    out.e[3] = half - 1.0f;
    out.e[6] = 4.0f / s; // clip y from z
    out.e[7] = 2.0f * (s - 2.0f * static_cast<float>(n)) / s - 1.0f - half;
    out.e[11] = 0.5f;
    out.e[15] = 1.0f;
}

void MiniMapProjection(float scale, int32_t n, TMatrix4& out)
{
    const float fn = static_cast<float>(n);
    // The map inside its 128-cell border fills the target; a map too small
    // for a border is shown whole.
    const float m = n > 256 ? fn - 256.0f : std::max(fn, 1.0f);
    out = ZeroMatrix;
    out.e[0] = 2.0f * scale / m;
    out.e[3] = -scale * fn / m;
    out.e[6] = 2.0f * scale / m;
    out.e[7] = -scale * fn / m;
    out.e[9] = -0.01f;
    out.e[11] = 0.999f;
    out.e[15] = 1.0f;
}

void CreateMapPipeline(int32_t viewWidth, int32_t viewHeight)
{
    if (MainRender == nullptr)
        return;
    PipelineThread = std::this_thread::get_id();
    const TRenderSettings& rs = RenderSettings;
    MapCamera.ScreenWidth = rs.ScreenWidth;
    MapCamera.ScreenHeight = rs.ScreenHeight;
    T3D_Scene& scene = *MainRender->Scene_Get(MainRender->Scene_Add("MAP"));

    {
        T3D_RenderPass& p = AddMapPass(scene, "1DEPTH", D3DFMT_R32F, D3DFMT_D16, rs.ShadowMapSize, rs.ShadowMapSize);
        p.SetClear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        p.InitOwnView();
        p.SetWorldMatrixPtr(&MapCamera.LightView);
        p.SetProjMatrixPtr(&MapCamera.LightProjection);
        SetShaders(p, "Shadow_VS.bin", "Shadow_PS.bin");
        p.SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
        p.SetConstantName(CONSTANT_VERTEX, 4, "WORLD", 4);
        p.SetConstantName(CONSTANT_VERTEX, 8, "_vView", 1);
        p.SetConstantName(CONSTANT_VERTEX, 16, "Camera", 4);
        p.SetConstantName(CONSTANT_VERTEX, 28, "LightP", 1);
        NameJoints(p);
        p.SetExcludeMask(0x7AC0);
        p.SetRenderState(RSK_SHADING, ShadeFlat);
        SetDepthAndColor(p, 1, 1, 1);
        p.SetRenderState(RSK_FILTER(0), rs.TextureFilter);
        SetStages(p, true);
    }
    for (const char* name : {"CP_XYZ", "CP_INDEX"}) {
        const bool xyz = std::string(name) == "CP_XYZ";
        T3D_RenderPass& p = AddMapPass(scene, name, xyz ? D3DFMT_A16B16G16R16 : D3DFMT_R5G6B5, D3DFMT_D16,
                                       rs.PickingSize, rs.PickingSize);
        p.SetClear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        SetCameraMatrices(p);
        SetShaders(p, "Picking_VS.bin", xyz ? "Picking_XYZ_PS.bin" : "Picking_Index_PS.bin");
        p.SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
        if (xyz) {
            p.SetConstantName(CONSTANT_VERTEX, 4, "WORLD", 4);
            p.SetConstantName(CONSTANT_VERTEX, 11, "Inv_Camera", 4);
        } else {
            p.SetConstantName(CONSTANT_PIXEL, 1, "_CpIndex", 1);
        }
        NameJoints(p);
        p.SetExcludeMask(xyz ? 0x6EF7 : 0x7CEE);
        p.SetRenderState(RSK_SHADING, ShadeFlat);
        if (xyz)
            p.SetRenderState(RSK_ALPHAMODE, RSK_ALPHA_OPAQUE);
        SetDepthAndColor(p, 1, 1, 1);
        if (!xyz)
            p.SetRenderState(RSK_FILTER(0), FilterPoint);
        SetStages(p, false);
    }
    {
        T3D_RenderPass& p = AddMapPass(scene, "MAP_INDEX", D3DFMT_R5G6B5, D3DFMT_D16, rs.MapIndexSize, rs.MapIndexSize);
        p.SetClear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        p.SetViewMatrixPtr(&MapIdentity);
        p.SetWorldMatrixPtr(&MapIdentity);
        p.SetPerspective(1, 1, 1, 2); // an own projection; RenderMapIndex sets it
        SetShaders(p, "Picking_VS.bin", "Picking_Index_PS.bin");
        p.SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
        p.SetConstantName(CONSTANT_PIXEL, 1, "_CpIndex", 1);
        p.SetExcludeMask(0x4EDF);
        p.SetRenderState(RSK_SHADING, ShadeFlat);
        // Footprints count whichever way their faces turn in this view.
        p.SetRenderState(RSK_CULL, 0);
        SetDepthAndColor(p, 0, 0, 1);
        p.SetRenderState(RSK_FILTER(0), FilterPoint);
        p.SetViewport(0, 0, rs.MapIndexSize, rs.MapIndexSize, "Proj");
        SetStages(p, false);
    }
    {
        T3D_RenderPass& p =
            AddMapPass(scene, "MAP_HEIGHT", D3DFMT_R32F, D3DFMT_D16, rs.MapHeightSize, rs.MapHeightSize);
        p.SetClear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        p.SetViewMatrixPtr(&MapIdentity);
        p.SetWorldMatrixPtr(&MapIdentity);
        p.SetPerspective(1, 1, 1, 2);
        SetShaders(p, "Height_VS.bin", "Height_PS.bin");
        p.SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
        p.SetExcludeMask(0x7ED0);
        p.SetRenderState(RSK_ALPHAMODE, RSK_ALPHA_OPAQUE);
        p.SetRenderState(RSK_SHADING, ShadeGouraud);
        p.SetRenderState(RSK_CULL, 0);
        SetDepthAndColor(p, 1, 1, 1);
        p.SetViewport(0, 0, 1024, 1024, "Proj"); // not the target's whole size
        SetStages(p, false);
    }
    {
        T3D_RenderPass& p = AddMapPass(scene, "EARLY_Z", 0, D3DFMT_D24S8, 0, 0);
        p.SetClear(D3DCLEAR_ZBUFFER, 0, 1.0f);
        SetCameraMatrices(p);
        p.SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
        p.SetConstantName(CONSTANT_VERTEX, 8, "_vView", 1);
        NameJoints(p);
        p.SetExcludeMask(0x70C4);
        p.SetRenderState(RSK_SHADING, ShadeGouraud);
        SetDepthAndColor(p, 1, 1, 0);
        p.SetRenderState(RSK_FILTER(0), rs.TextureFilter);
        SetStages(p, true);
    }
    if (GUIVirtualSize.Flag != 0) {
        T3D_RenderPass& p =
            AddMapPass(scene, "GUI", D3DFMT_A8R8G8B8, D3DFMT_D24S8, GUIVirtualSize.Width, GUIVirtualSize.Height);
        p.SetClear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        p.SetScreenProjection(0);
        p.SetShader(LandscapeShadersFolder + "Screen_VS.bin", 1, MAP_SHADER_GROUPS);
        p.SetShader(LandscapeShadersFolder + "Screen_PS.bin", 0, MAP_SHADER_GROUPS);
        p.SetTexture(InterfaceFolder + "Common\\Empty.tga", 0, 0, MAP_SHADER_GROUPS);
        p.SetRenderState(RSK_FILTER(0), 2);
        p.SetDraw2D(1);
    }
    {
        T3D_RenderPass& p = AddMapPass(scene, "MAIN", 0, D3DFMT_D24S8, 0, 0);
        p.SetClear(rs.EarlyZ != 0 ? D3DCLEAR_TARGET : D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        SetCameraMatrices(p);
        SetShaders(p, "Object_VS.bin", "Object_PS.bin");
        p.SetTexture("1DEPTH", 3, 1, MAP_SHADER_GROUPS);
        struct {
            uint8_t Kind;
            int32_t Register;
            const char* Name;
            int32_t Count;
        } const names[] = {
            {CONSTANT_VERTEX, 0, "Proj", 4},         {CONSTANT_VERTEX, 4, "WORLD", 4},
            {CONSTANT_VERTEX, 8, "_vView", 1},       {CONSTANT_VERTEX, 9, "LightL", 1},
            {CONSTANT_VERTEX, 10, "LightO", 1},      {CONSTANT_VERTEX, 11, "Inv_Camera", 4},
            {CONSTANT_VERTEX, 15, "v_Sky", 1},       {CONSTANT_VERTEX, 16, "Shadow", 4},
            {CONSTANT_VERTEX, 28, "LightP", 1},      {CONSTANT_PIXEL, 0, "k_AGSO", 1},
            {CONSTANT_PIXEL, 2, "k_Time", 1},        {CONSTANT_PIXEL, 3, "k_SunPower", 1},
            {CONSTANT_PIXEL, 4, "k_FogInfo", 1},     {CONSTANT_PIXEL, 5, "color_Fog", 1},
            {CONSTANT_PIXEL, 6, "color_Light", 1},   {CONSTANT_PIXEL, 7, "color_Shadow", 1},
            {CONSTANT_PIXEL, 8, "k_NormalGloss", 1}, {CONSTANT_PIXEL, 9, "ks_AGSO", 1},
            {CONSTANT_PIXEL, 10, "k_SREnergy", 1},   {CONSTANT_PIXEL, 11, "d_Cascades", 1},
            {CONSTANT_PIXEL, 12, "Cascad1_XY", 1},   {CONSTANT_PIXEL, 15, "Proj_pixel", 4},
            {CONSTANT_PIXEL, 19, "clr_Fog_str", 1},  {CONSTANT_PIXEL, 20, "clr_All_str", 1},
        };
        for (const auto& n : names)
            p.SetConstantName(n.Kind, n.Register, n.Name, n.Count);
        NameJoints(p);
        p.SetExcludeMask(0x30C0);
        p.SetRenderState(RSK_SHADING, ShadeGouraud);
        SetDepthAndColor(p, 1, rs.EarlyZ != 0 ? 0 : 1, 1);
        for (uint32_t s = 0; s <= 2; s++)
            p.SetRenderState(RSK_FILTER(s), rs.TextureFilter);
        // The sun depth map is read texel by texel: filtering would blend a
        // caster's depth with the ground's behind it before the shadow test
        // (a 32-bit float target is not filterable where the game was made
        // to run), and an anisotropic read of it costs the software
        // rasteriser most of a frame.
        p.SetRenderState(RSK_FILTER(3), FilterPoint);
        p.SetDraw2D(GUIVirtualSize.Flag != 0 ? 0 : 1);
    }
    {
        T3D_RenderPass& p = AddMapPass(scene, "PIPE", 0, D3DFMT_D24S8, 0, 0);
        p.SetClear(0, 0, 1.0f);
        SetCameraMatrices(p);
        p.SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
        p.SetConstantName(CONSTANT_VERTEX, 4, "WORLD", 4);
    }
    scene.EnablePass("1DEPTH", 1);
    scene.EnablePass("CP_XYZ", 0);
    scene.EnablePass("CP_INDEX", 0);
    scene.EnablePass("MAP_INDEX", 0);
    scene.EnablePass("MAP_HEIGHT", 0);
    scene.EnablePass("EARLY_Z", rs.EarlyZ != 0 ? 1 : 0);
    if (GUIVirtualSize.Flag != 0)
        scene.EnablePass("GUI", 1);
    scene.EnablePass("MAIN", 1);
    scene.EnablePass("PIPE", 0);

    for (const char* name : {"EARLY_Z", "CP_XYZ", "CP_INDEX", "MAIN"})
        scene.FindPass(name)->SetSourcePass("PIPE", SOURCE_VISIBILITY);

    scene.Constants.Add(CONSTANT_VERTEX, 16, "Camera", MapCamera.Camera.e, MAP_SHADER_GROUPS);
    scene.Constants.Add(CONSTANT_VERTEX, 11, "Inv_Camera", MapCamera.InverseCamera.e, MAP_SHADER_GROUPS);
    scene.Constants.Add(CONSTANT_VERTEX, 16, "Shadow", MapCamera.Shadow.e, MAP_SHADER_GROUPS);
    scene.Constants.Add(CONSTANT_PIXEL, 2, "k_Time", &MapCamera.TimeSky.x, MAP_SHADER_GROUPS);

    const float h = 0.5f + 0.5f / static_cast<float>(rs.PixelMatrixSize);
    TMatrix4 scaling, translation;
    MatrixScaling(scaling, 0.5f, -0.5f, 1);
    MatrixTranslation(translation, h, h, 0);
    MatrixMultiply(scaling, translation, MapCamera.PixelMatrix);

    SetMapViewport(viewWidth, viewHeight);
    MapTargets.PickXYZ = scene.FindPass("CP_XYZ")->TargetTexture;
    MapTargets.PickIndex = scene.FindPass("CP_INDEX")->TargetTexture;
    MapTargets.MapIndex = scene.FindPass("MAP_INDEX")->TargetTexture;
    MapTargets.MapHeight = scene.FindPass("MAP_HEIGHT")->TargetTexture;
    MapTargets.PickXYZReadBack = MainRender->Texture_Create(TEXTURE_OFFSCREEN, rs.PickingSize, rs.PickingSize, 1,
                                                            D3DFMT_A16B16G16R16, D3DFMT_D24S8);
    MapTargets.PickIndexReadBack =
        MainRender->Texture_Create(TEXTURE_OFFSCREEN, rs.PickingSize, rs.PickingSize, 1, D3DFMT_R5G6B5, D3DFMT_D24S8);
    MapTargets.Backdrop = MainRender->Texture_Create(TEXTURE_RENDERTARGET, rs.ScreenWidth, rs.ScreenWidth, 1,
                                                     D3DFMT_X8R8G8B8, D3DFMT_D24S8);
    MapTargets.MiniMap = MainRender->Texture_Create(TEXTURE_RENDERTARGET, rs.MiniMapSize, rs.MiniMapSize, 1,
                                                    D3DFMT_X8R8G8B8, D3DFMT_D24S8);
    MapTargets.MapIndexReadBack =
        MainRender->Texture_Create(TEXTURE_OFFSCREEN, rs.MapIndexSize, rs.MapIndexSize, 1, D3DFMT_R5G6B5, D3DFMT_D24S8);
    MapTargets.MapHeightReadBack =
        MainRender->Texture_Create(TEXTURE_OFFSCREEN, rs.MapHeightSize, rs.MapHeightSize, 1, D3DFMT_R32F, D3DFMT_D24S8);
}

void SetMapViewport(int32_t viewWidth, int32_t viewHeight)
{
    MapCamera.ViewWidth = viewWidth;
    MapCamera.ViewHeight = viewHeight;
    T3D_Scene* scene = MapScene();
    if (scene == nullptr)
        return;
    const TRenderSettings& rs = RenderSettings;
    if (T3D_RenderPass* p = scene->FindPass("1DEPTH"))
        p->SetViewport(0, 0, rs.ShadowMapSize, rs.ShadowMapSize, "Proj");
    for (const char* name : {"CP_XYZ", "CP_INDEX"})
        if (T3D_RenderPass* p = scene->FindPass(name))
            p->SetViewport(0, 0, rs.PickingSize, rs.PickingSize, "Proj");
    const int32_t left = (rs.ScreenWidth - viewWidth) / 2;
    const int32_t top = (rs.ScreenHeight - viewHeight) / 2;
    const TRect view{left, top, left + viewWidth, top + viewHeight};
    for (const char* name : {"MAIN", "PIPE"})
        if (T3D_RenderPass* p = scene->FindPass(name))
            p->SetViewport(view.Left, view.Top, view.Right, view.Bottom, "Proj");
    scene->SetPresentRects(view, TRect{0, 0, viewWidth, viewHeight});
}

void InvalidateMapPasses()
{
    for (const char* name : {"1DEPTH", "PIPE", "MAIN", "EARLY_Z", "CP_XYZ", "CP_INDEX"})
        if (T3D_RenderPass* p = MapPass(name))
            p->Invalidate();
}

void SetMapPassTarget(const std::string& passName, int32_t texture)
{
    T3D_RenderPass* pass = MapPass(passName);
    if (pass == nullptr)
        return;
    pass->TargetTexture = texture;
    if (texture != -1)
        pass->SetDraw2D(0);
}

void SetMapPassBackdropTarget(const std::string& passName, int32_t texture)
{
    SetMapPassTarget(passName, texture);
    T3D_RenderPass* pass = MapPass(passName);
    if (pass == nullptr)
        return;
    if (texture == -1) {
        pass->TargetAdjust = 0;
        return;
    }
    const float w = static_cast<float>(std::max(RenderSettings.ScreenWidth, 1));
    const float ratio = static_cast<float>(RenderSettings.ScreenHeight) / w;
    TMatrix4 scaling, translation;
    MatrixScaling(scaling, 1, ratio, 1);
    MatrixTranslation(translation, 0, 1 - ratio, 0);
    MatrixMultiply(scaling, translation, pass->AdjustMatrix);
    pass->TargetAdjust = 1;
}

void RenderMapBackdrop()
{
    T3D_Scene* scene = MapScene();
    if (scene == nullptr)
        return;
    const bool gui = HasGUIPass();
    T3D_RenderPass* main = scene->FindPass("MAIN");
    T3D_SceneMesh* quad = gui ? scene->GetMesh(MapGUIQuad) : nullptr;
    const uint8_t quadVisible = quad != nullptr ? quad->Visible : 0;
    const uint8_t mainDraw2D = main != nullptr ? main->Draw2D : 0;
    if (!gui && main != nullptr)
        main->SetDraw2D(0);
    SetPassEnabled("1DEPTH", false);
    if (gui) {
        SetPassEnabled("GUI", false);
        if (quad != nullptr)
            quad->Visible = 0;
        InvalidateMapPasses();
        RebuildPipe();
    }
    SetMapPassBackdropTarget("EARLY_Z", MapTargets.Backdrop);
    SetMapPassBackdropTarget("MAIN", MapTargets.Backdrop);
    scene->Render(false);
    SetMapPassBackdropTarget("EARLY_Z", -1);
    SetMapPassBackdropTarget("MAIN", -1);
    if (main != nullptr)
        main->SetDraw2D(mainDraw2D);
    SetPassEnabled("1DEPTH", true);
    if (gui) {
        SetPassEnabled("GUI", true);
        if (quad != nullptr)
            quad->Visible = quadVisible;
        InvalidateMapPasses();
        RebuildPipe();
    }
}

void RenderMiniMapTexture(int32_t size)
{
    T3D_Scene* scene = MapScene();
    if (scene == nullptr)
        return;
    FlushUploads();
    const TRenderSettings& rs = RenderSettings;
    const bool gui = HasGUIPass();
    T3D_RenderPass* main = scene->FindPass("MAIN");
    T3D_RenderPass* pipe = scene->FindPass("PIPE");
    const uint8_t mainDraw2D = main != nullptr ? main->Draw2D : 0;
    if (gui)
        SetPassEnabled("GUI", false);
    SetMapPassTarget("EARLY_Z", MapTargets.MiniMap);
    SetMapPassTarget("MAIN", MapTargets.MiniMap);

    constexpr uint32_t hidden = 0x10 | 0x40 | 0x80 | 0x200 | 0x4000;
    const char* const masked[] = {"MAIN", "PIPE", "1DEPTH"};
    uint32_t oldMasks[3] = {};
    for (int i = 0; i < 3; i++)
        if (T3D_RenderPass* p = scene->FindPass(masked[i])) {
            oldMasks[i] = p->ExcludeMask;
            p->SetExcludeMask(p->ExcludeMask | hidden);
        }
    TRect oldView{};
    std::string oldMatrix;
    if (main != nullptr) {
        oldView = main->ScissorRect;
        oldMatrix = main->CullMatrixName;
    }
    for (T3D_RenderPass* p : {main, pipe})
        if (p != nullptr)
            p->SetViewport(0, 0, rs.MiniMapSize, rs.MiniMapSize, "Proj");

    const int32_t n = MapInit.MapSizeMinus1;
    const float m = n > 256 ? static_cast<float>(n - 256) : static_cast<float>(std::max(n, 1));
    MapCamera.Distance = 20 * m;
    MapCamera.Yaw = 0;
    MapCamera.Pitch = static_cast<float>(M_PI) / 2;
    MapCamera.FieldOfView = std::atan(0.05f);
    MapCamera.ViewOffset = TVec3{-static_cast<float>(n) / 2, 0, -static_cast<float>(n) / 2};
    UpdateMapShadowCascades(true);
    MapCamera.Camera = IdentityMatrix;
    MapCamera.LookMatrix = IdentityMatrix;
    const float scale = size == 0 ? 1.0f : static_cast<float>(size) / static_cast<float>(rs.MiniMapSize);
    MiniMapProjection(scale, n, MapCamera.Projection);
    SetMapTime(GameTimeSource != nullptr ? GameTimeSource(true) : GetTimeMs(true));
    UpdateMapLighting();
    scene->UpdateAttachments();
    InvalidateMapPasses();
    RebuildPipe();
    scene->Render(false);

    SetMapPassTarget("EARLY_Z", -1);
    SetMapPassTarget("MAIN", -1);
    if (!gui && main != nullptr)
        main->SetDraw2D(mainDraw2D);
    if (gui)
        SetPassEnabled("GUI", true);
    for (int i = 0; i < 3; i++)
        if (T3D_RenderPass* p = scene->FindPass(masked[i]))
            p->SetExcludeMask(oldMasks[i]);
    for (T3D_RenderPass* p : {main, pipe})
        if (p != nullptr)
            p->SetViewport(oldView.Left, oldView.Top, oldView.Right, oldView.Bottom, oldMatrix);
}

void RenderMapIndex(bool updateAttachments)
{
    T3D_Scene* scene = MapScene();
    T3D_RenderPass* index = MapPass("MAP_INDEX");
    if (scene == nullptr || index == nullptr)
        return;
    SetPassEnabled("1DEPTH", false);
    SetPassEnabled("EARLY_Z", false);
    SetPassEnabled("MAIN", false);
    SetPassEnabled("MAP_INDEX", true);
    MapIndexProjection(RenderSettings.MapIndexSize, MapInit.MapSizeMinus1, *index->ProjPtr);
    if (updateAttachments)
        scene->UpdateAttachments();
    index->Invalidate();
    scene->Render(false);
    SetPassEnabled("1DEPTH", true);
    SetPassEnabled("EARLY_Z", RenderSettings.EarlyZ != 0);
    SetPassEnabled("MAIN", true);
    SetPassEnabled("MAP_INDEX", false);
    MainRender->Texture_CopyRenderTarget(MapTargets.MapIndex, MapTargets.MapIndexReadBack);
}
