#include "scenes/Landscape_Camera.h"

#include <algorithm>
#include <cmath>

#include "model/scenario/ScenarioMap_Tables.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"
#include "render/QX9_Render_Constants.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shadows.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Pipeline.h"
#include "scenes/PersonageRender.h"

TLightSet LightSet;
TMapCamera MapCamera = {};

TIntArray LandChunkInstances;
TIntArray HillChunkInstances;
TIntArray WaterChunkInstances;
TIntArray FoliageInstances;
TIntArray TrunkInstances;
TIntArray GrassInstances;
std::vector<TIntArray> BuildingInstances;
std::vector<TIntArray> ObjectInstances;

namespace {

int64_t MapTimeMs = 0;

TVec3 Unproject(const TMatrix4& inverse, float x, float y, float z)
{
    TVec4 p;
    Vec4Transform(TVec4{x, y, z, 1}, inverse, p);
    if (p.w == 0)
        return TVec3{p.x, p.y, p.z};
    return TVec3{p.x / p.w, p.y / p.w, p.z / p.w};
}

// Signed distance of points from a plane (a point on it and its unit normal).
struct TPlane {
    TVec3 Point;
    TVec3 Normal;
    float Distance(const TVec3& p) const
    {
        TVec3 d;
        Vec3Sub(p, Point, d);
        return Vec3Dot(d, Normal);
    }
};

// The view-projection of the camera: Camera first, then LookMatrix, then
// Projection.
TMatrix4 CameraViewProjection()
{
    TMatrix4 m;
    MatrixMultiply(MapCamera.Camera, MapCamera.LookMatrix, m);
    MatrixMultiply(m, MapCamera.Projection, m);
    return m;
}

void SetSceneVec4(uint8_t kind, int32_t reg, const char* name, float x, float y, float z, float w)
{
    if (T3D_Scene* scene = MapScene())
        scene->Constants.SetVec4(kind, reg, name, x, y, z, w, MAP_SHADER_GROUPS);
}

TVec4 NormalizedColor(uint32_t rgb, float w)
{
    const T3D_Color c = NormalizeColor(ColorFromRGB(rgb));
    return TVec4{c.r, c.g, c.b, w};
}

void SetMaterial(T3D_Scene& scene, int32_t instance, const float factors[6])
{
    T3D_SceneMesh* mesh = instance >= 0 ? scene.GetMesh(instance) : nullptr;
    if (mesh == nullptr)
        return;
    mesh->Constants.SetVec4(0, 0, "k_AGSO", factors[0], factors[1], factors[2], factors[3], MAP_SHADER_GROUPS);
    mesh->Constants.SetVec4(0, 8, "k_NormalGloss", factors[4], factors[5], 0, 0, MAP_SHADER_GROUPS);
}

// Chunk and plant tables are numbered by chunk from 1.
void SetTableMaterials(T3D_Scene& scene, const TIntArray& table, const float factors[6])
{
    for (size_t k = 1; k < table.size(); k++)
        SetMaterial(scene, table[k], factors);
}

// An army model's material from its model settings, scaled by the light's
// army factors (the third taken as it stands).
void SetModelMaterial(T3D_Scene& scene, int32_t instance, const TModelSettings& m)
{
    T3D_SceneMesh* mesh = instance >= 0 ? scene.GetMesh(instance) : nullptr;
    if (mesh == nullptr)
        return;
    const float* a = LightSet.ArmyFactors;
    mesh->Constants.SetVec4(0, 0, "k_AGSO", static_cast<float>(m.Ambient) * a[0] / 100,
                            static_cast<float>(m.Gamma) * a[1] / 100, a[2],
                            static_cast<float>(m.Occlusion) * a[3] / 100, MAP_SHADER_GROUPS);
    mesh->Constants.SetVec4(0, 8, "k_NormalGloss", static_cast<float>(m.Normal) * a[4] / 100,
                            static_cast<float>(m.Specular) * a[5] / 100, 0, 0, MAP_SHADER_GROUPS);
    const float energy = static_cast<float>(m.SpecularSRE) / 100;
    mesh->Constants.SetVec4(0, 10, "k_SREnergy", energy, 0, 0, 0, MAP_SHADER_GROUPS);
    const T3D_Color colour = NormalizeColor(
        T3D_Color{m.ColorizationColor[0], m.ColorizationColor[1], m.ColorizationColor[2], m.ColorizationColor[3]});
    mesh->Constants.SetVec4(0, 21, "clr_str", colour.b, colour.g, colour.r,
                            static_cast<float>(m.ColorizationStrength) / 100, MAP_SHADER_GROUPS);
}

// The shown army models and the equipment on their hard points.
void SetArmyMaterials(T3D_Scene& scene)
{
    for (int32_t a = FirstArmy; a <= ArmyCount; a++) {
        if (a < 0 || static_cast<size_t>(a) >= ArmyRenders.size() || ArmyRenders[static_cast<size_t>(a)].Visible == 0)
            continue;
        const TPersRenderAnimationData& render = ArmyRenders[static_cast<size_t>(a)].Render;
        if (render.UnitType < -UnitTypeMax || render.UnitType > UnitTypeMax)
            continue;
        SetModelMaterial(scene, render.Instance, UnitTypes[render.UnitType].ModelSettings);
        for (const TWeaponData* slot :
             {&render.Right, &render.Left, &render.Back, &render.Shield, &render.Horse, &render.Head})
            if (slot->Instance >= 0 && slot->Item > 0 && slot->Item <= ItemMax)
                SetModelMaterial(scene, slot->Instance, ItemTable[slot->Item].Model);
    }
}

} // namespace

bool CrossHeightLevel(const TVec3& a, const TVec3& b, float y, TVec3& out)
{
    if ((a.y < y) == (b.y < y) || a.y == b.y)
        return false;
    const float f = std::fabs((a.y - y) / (b.y - a.y));
    out = TVec3{a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f};
    return true;
}

bool MeasureVisibleGround(const TMatrix4& viewProjection, const TVec2 corners[4], float nearDistance, bool outline,
                          TVisibleGround& result)
{
    TMatrix4 inverse;
    MatrixInverse(inverse, viewProjection);
    TVec3 nearPoints[4], farPoints[4];
    for (int i = 0; i < 4; i++) {
        nearPoints[i] = Unproject(inverse, corners[i].x, corners[i].y, 0);
        farPoints[i] = Unproject(inverse, corners[i].x, corners[i].y, 1);
    }
    TPlane plane{nearPoints[0], {0, 1, 0}};
    {
        TVec3 a, b, n;
        Vec3Sub(nearPoints[1], nearPoints[0], a);
        Vec3Sub(nearPoints[2], nearPoints[0], b);
        Vec3Cross(a, b, n);
        Vec3Normalize(n, plane.Normal);
        if (plane.Distance(farPoints[0]) < 0)
            Vec3Scale(plane.Normal, -1, plane.Normal);
    }

    const float low = TerrainHeightMin;
    const float high = TerrainHeightMax;
    const float size = static_cast<float>(MapInit.MapSizeMinus1);
    float slabNear = 1000000.0f, slabFar = 0;
    for (int k = 0; k < 8; k++) {
        const TVec3 corner{(k & 1) != 0 ? size : 0, (k & 2) != 0 ? high : low, (k & 4) != 0 ? size : 0};
        const float d = plane.Distance(corner);
        slabNear = std::min(slabNear, d);
        slabFar = std::max(slabFar, d);
    }
    slabNear = std::max(slabNear, 0.0f);

    // Each collected point with the near-plane point it is pulled back to.
    struct TPoint {
        TVec3 Point;
        TVec3 From;
    };
    TPoint points[48];
    int count = 0;
    float nearest = 1000000.0f, farthest = -1000000.0f;
    bool found = false;
    auto take = [&](const TVec3& p, const TVec3& from) {
        const float d = plane.Distance(p);
        nearest = std::min(nearest, d);
        farthest = std::max(farthest, d);
        found = true;
        if (count < 48)
            points[count++] = {p, from};
    };
    auto cut = [&](const TVec3& a, const TVec3& b, const TVec3& from) {
        TVec3 p;
        if (CrossHeightLevel(a, b, low, p))
            take(p, from);
        if (CrossHeightLevel(a, b, high, p))
            take(p, from);
    };
    bool cornerInside = false;
    for (int i = 0; i < 4; i++) {
        const int next = (i + 1) % 4;
        if (nearPoints[i].y >= low && nearPoints[i].y <= high) {
            cornerInside = true;
            found = true;
            if (count < 48)
                points[count++] = {nearPoints[i], nearPoints[i]};
        }
        cut(nearPoints[i], farPoints[i], nearPoints[i]);
        if (outline) {
            cut(nearPoints[i], nearPoints[next], nearPoints[i]);
            cut(farPoints[i], farPoints[next], nearPoints[i]);
        }
    }
    result = TVisibleGround{};
    if (!found) {
        // Nothing of the ground in view: the slab's own range.
        result.Near = slabNear + nearDistance;
        result.Far = slabFar + nearDistance;
        return false;
    }
    if (cornerInside || nearest < slabNear)
        nearest = slabNear;
    if (farthest > slabFar)
        farthest = slabFar;
    if (farthest < nearest)
        farthest = nearest;
    result.Near = nearest + nearDistance;
    result.Far = farthest + nearDistance;
    if (outline) {
        for (int i = 0; i < count && result.OutlineCount < 16; i++) {
            TVec3 p = points[i].Point;
            const float d = plane.Distance(p) + nearDistance;
            const float from = plane.Distance(points[i].From) + nearDistance;
            if (d > result.Far && d > from) {
                TVec3 step;
                Vec3Sub(p, points[i].From, step);
                Vec3Scale(step, (result.Far - from) / (d - from), step);
                Vec3Add(points[i].From, step, p);
            }
            result.Outline[result.OutlineCount++] = p;
        }
    }
    return true;
}

void UpdateMapShadowCascades(bool topView)
{
    TMapCamera& cam = MapCamera;
    cam.Target = TVec3{-cam.ViewOffset.x, -cam.ViewOffset.y, -cam.ViewOffset.z};
    cam.Eye = TVec3{0, cam.Distance, 0};

    TMatrix4 translation, yaw, pitch;
    MatrixTranslationVec(translation, cam.ViewOffset);
    MatrixRotationY(yaw, cam.Yaw);
    MatrixRotationX(pitch, static_cast<float>(M_PI) / 2 - cam.Pitch);
    MatrixMultiply(translation, yaw, cam.Camera);
    MatrixMultiply(cam.Camera, pitch, cam.Camera);
    Vec3TransformCoord(TVec3{0, 1000000.0f, 0}, cam.Camera, cam.SkyPoint);
    MatrixInverse(cam.InverseCamera, cam.Camera);
    MatrixLookAt(cam.LookMatrix, cam.Eye, TVec3{0, 0, 0}, TVec3{0, 1, 0});

    const float n = static_cast<float>(MapInit.MapSizeMinus1);
    const float screenW = static_cast<float>(std::max(cam.ScreenWidth, 1));
    const float screenH = static_cast<float>(std::max(cam.ScreenHeight, 1));
    const float aspect = screenH / screenW;
    const float zNear = 1;
    const float zFar = cam.Distance <= 2000 ? 2000 : n + cam.Distance;
    MatrixPerspectiveFov(cam.Projection, cam.FieldOfView, aspect, zNear, zFar);

    const float w = static_cast<float>(cam.ViewWidth) / screenW;
    const float h = static_cast<float>(cam.ViewHeight) / screenH;
    const TVec2 screenCorners[4] = {{-w, h}, {w, h}, {w, -h}, {-w, -h}};
    TVisibleGround ground;
    MeasureVisibleGround(CameraViewProjection(), screenCorners, zNear, true, ground);
    for (int i = 0; i < 4 && i < ground.OutlineCount; i++) {
        cam.VisibleOutline[3 * i] = ground.Outline[i].x;
        cam.VisibleOutline[3 * i + 1] = ground.Outline[i].y;
        cam.VisibleOutline[3 * i + 2] = ground.Outline[i].z;
    }
    if (cam.FieldOfView < 0.01f)
        ground.Far += 1;
    cam.NearPlane = ground.Near;
    cam.FarPlane = ground.Far;
    if (cam.FarPlane - cam.NearPlane > 0.0001f)
        MatrixPerspectiveFov(cam.Projection, cam.FieldOfView, aspect, cam.NearPlane, cam.FarPlane);

    // The sun's view of the ground.
    Vec3TransformCoord(cam.LightPosition, cam.Camera, cam.LightInView);
    TVec3 toTarget;
    Vec3Sub(cam.LightPosition, cam.Target, toTarget);
    const float d = Vec3Length(toTarget);
    const float lightNear = d - 2000;
    const float lightFar = lightNear + 4000;
    // Fewer than two outline points (or a sun on the target) fit nothing:
    // the shadow matrices keep their last values.
    if (ground.OutlineCount < 2 || lightNear <= 0)
        return;
    TMatrix4 lightView, lightProjection;
    if (MatrixLookAt(lightView, cam.LightPosition, cam.Target, TVec3{0, 1, 0}) != S_OK)
        return;
    MatrixPerspectiveFov(lightProjection, 0.00031415926f, 1, lightNear, lightFar);

    TLightFitPoints fit;
    for (int i = 0; i < ground.OutlineCount && fit.Count < LIGHT_FIT_MAX_POINTS; i++)
        fit.Points[++fit.Count] = ground.Outline[i];
    TMatrix4 light;
    MatrixMultiply(lightView, lightProjection, light);
    TVec2 k1, k2, k3, k4;
    FitLightFrustum(fit, light, k1, k2, k3, k4);
    TMatrix4 crop;
    float width = 1, height = 1;
    BuildLightMatrix(k1, k2, k3, k4, crop, width, height);

    const TVec2 lightCorners[4] = {k1, k4, k3, k2};
    TVisibleGround lit;
    MeasureVisibleGround(light, lightCorners, lightNear, false, lit);
    if (lit.Far - lit.Near > 0.0001f)
        MatrixPerspectiveFov(lightProjection, 0.00031415926f, 1, lit.Near, lit.Far);
    MatrixMultiply(lightProjection, crop, lightProjection);
    cam.LightView = lightView;
    cam.LightProjection = lightProjection;

    TMatrix4 shadow;
    MatrixMultiply(cam.LightView, cam.LightProjection, shadow);
    // The map's shaders hand view-space positions to the shadow lookup.
    if (!topView)
        MatrixMultiply(cam.InverseCamera, shadow, shadow);
    BuildShadowTextureMatrix(shadow, static_cast<float>(RenderSettings.ShadowMapSize), cam.Shadow);

    const float r = 0.0049f * LightSet.ShadowSoftness + 0.0001f;
    cam.CascadeXY = TVec4{height != 0 ? r / height : 0, width != 0 ? r / width : 0, 0.5f, 0};
    SetSceneVec4(0, 12, "Cascad1_XY", cam.CascadeXY.x, cam.CascadeXY.y, cam.CascadeXY.z, cam.CascadeXY.w);

    TVec3 t, v, p, unit;
    Vec3TransformCoord(cam.Target, cam.Camera, t);
    Vec3Sub(t, cam.LightInView, v);
    const float length = Vec3Length(v);
    if (length > 0) {
        Vec3Scale(v, (lightFar - lightNear) / length, p);
        Vec3Sub(t, p, p);
        Vec3Normalize(v, unit);
        cam.LightPlane = TVec4{unit.x, unit.y, unit.z, -Vec3Dot(unit, p)};
        SetSceneVec4(1, 28, "LightP", cam.LightPlane.x, cam.LightPlane.y, cam.LightPlane.z, cam.LightPlane.w);
    }
}

void SetMapTime(int64_t milliseconds)
{
    MapTimeMs = milliseconds;
    MapCamera.TimeSky =
        TVec4{static_cast<float>(milliseconds), MapCamera.SkyPoint.x, MapCamera.SkyPoint.y, MapCamera.SkyPoint.z};
}

void UpdateMapLighting()
{
    const TMapCamera& cam = MapCamera;
    const float time = static_cast<float>(MapTimeMs);
    SetSceneVec4(1, 8, "_vView", 0, cam.Distance, 0, time);
    SetSceneVec4(1, 9, "LightL", cam.LightPosition.x, cam.LightPosition.y, cam.LightPosition.z, 0);
    SetSceneVec4(1, 10, "LightO", cam.LightInView.x, cam.LightInView.y, cam.LightInView.z, 0);
    SetSceneVec4(1, 15, "v_Sky", cam.SkyPoint.x, cam.SkyPoint.y, cam.SkyPoint.z, 0);
    SetSceneVec4(0, 3, "k_SunPower", LightSet.SunPower, 0, 0, 0);
    const TVec4 light = NormalizedColor(LightSet.LightColor, 1);
    SetSceneVec4(0, 6, "color_Light", light.x, light.y, light.z, light.w);
    const TVec4 shadow = NormalizedColor(LightSet.ShadowColor, 1);
    SetSceneVec4(0, 7, "color_Shadow", shadow.x, shadow.y, shadow.z, shadow.w);
    const float f1 = LightSet.Fog[1], f2 = LightSet.Fog[2], f3 = LightSet.Fog[3];
    SetSceneVec4(0, 4, "k_FogInfo", f2 != 0 ? std::pow(0.01f, 1.0f / f2) : 0.0f, f1, f2, f3);
    const T3D_Color fog = ColorFromRGB(LightSet.FogColor);
    SetSceneVec4(0, 5, "color_Fog", fog.r, fog.g, fog.b, fog.a);
    const TVec4 fogTint = NormalizedColor(LightSet.FogTintColor, LightSet.FogTintStrength);
    SetSceneVec4(0, 19, "clr_Fog_str", fogTint.x, fogTint.y, fogTint.z, fogTint.w);
    const TVec4 tint = NormalizedColor(LightSet.TintColor, LightSet.TintStrength);
    SetSceneVec4(0, 20, "clr_All_str", tint.x, tint.y, tint.z, tint.w);
    SetSceneVec4(0, 9, "ks_AGSO", LightSet.Specular[2], LightSet.Specular[1], LightSet.Specular[3],
                 LightSet.Specular[4]);

    if (LightSet.Changed == 0)
        return;
    if (T3D_Scene* scene = MapScene()) {
        for (const TIntArray* table : {&LandChunkInstances, &HillChunkInstances, &WaterChunkInstances})
            SetTableMaterials(*scene, *table, LightSet.TerrainFactors);
        for (const std::vector<TIntArray>* lists : {&BuildingInstances, &ObjectInstances})
            for (const TIntArray& parts : *lists)
                for (int32_t instance : parts)
                    SetMaterial(*scene, instance, LightSet.ModelFactors);
        for (const TIntArray* table : {&FoliageInstances, &TrunkInstances, &GrassInstances})
            SetTableMaterials(*scene, *table, LightSet.PlantFactors);
        SetArmyMaterials(*scene);
    }
    LightSet.Changed = 0;
}
