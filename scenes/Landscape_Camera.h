// Landscape camera: the strategic map's camera record, the fitting of the
// camera's depth range and of the sun's shadow map to the ground the view
// shows, and the day-time light set pushed into the "MAP" scene's shader
// constants. Everything here runs on the main thread between the map render
// worker's frames (or on the loading worker while that worker is idle).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/QX9_Math.h"
#include "engine/QX9_System.h"

// The numbers of a light set, blended one by one between key times.
// Specular and Fog are numbered from 1 (entry 0 unused).
struct TLightSetNumbers {
    float SunPower = 0;
    float Specular[5] = {};
    float TintStrength = 0;
    float ShadowSoftness = 0;
    float FogTintStrength = 0;
    float Fog[4] = {};
    float TerrainFactors[6] = {};
    float PlantFactors[6] = {};
    float ModelFactors[6] = {};
    float ArmyFactors[6] = {};
};

// The current light of the map: colours as 0xRRGGBB numbers.
struct TLightSet : TLightSetNumbers {
    uint32_t LightColor = 0;
    uint32_t ShadowColor = 0;
    uint32_t TintColor = 0;
    uint32_t FogColor = 0;
    uint32_t FogTintColor = 0;
    // Raised by each blend; the lighting update writes the instances'
    // material constants and clears it.
    uint8_t Changed = 0;
};
extern TLightSet LightSet;

struct TMapCamera {
    // The saved view: these thirteen 32-bit values, in this order.
    TVec3 Eye;        // (0, Distance, 0)
    TVec3 ViewOffset; // the point looked at, negated
    TVec3 Target;     // -ViewOffset
    float Distance;
    float Yaw;
    float Pitch; // radians; pi/2 looks straight down
    float FieldOfView;

    int32_t ViewWidth;
    int32_t ViewHeight;
    int32_t ScreenWidth;
    int32_t ScreenHeight;
    TMatrix4 LookMatrix; // the passes' world matrix
    TMatrix4 Projection;
    TMatrix4 Camera; // the passes' view matrix, "Camera"
    TMatrix4 InverseCamera;
    TMatrix4 PixelMatrix;
    TVec4 TimeSky; // "k_Time": x time in ms, y, z, w the sky point
    TVec3 SkyPoint;
    TVec3 LightPosition; // "LightL": the sun, 2,000,000 from the origin
    TVec3 LightInView;   // "LightO"
    TMatrix4 LightView;
    TMatrix4 LightProjection;
    TMatrix4 Shadow; // "Shadow"
    float NearPlane;
    float FarPlane;
    float VisibleOutline[12]; // four points (x, y, z) of the visible ground
    TVec4 CascadeXY;          // "Cascad1_XY"
    TVec4 LightPlane;         // "LightP"
};
static_assert(offsetof(TMapCamera, ViewWidth) == 13 * 4);
inline constexpr int32_t MapViewWords = 13;

extern TMapCamera MapCamera;

// Scene instance tables the lighting walks; the placement of the map's
// content fills them (-1 entries are removed instances). Chunk and plant
// tables are indexed by chunk number; building and object lists hold each
// record's parts.
extern TIntArray LandChunkInstances;
extern TIntArray HillChunkInstances;
extern TIntArray WaterChunkInstances;
extern TIntArray FoliageInstances;
extern TIntArray TrunkInstances;
extern TIntArray GrassInstances;
extern std::vector<TIntArray> BuildingInstances; // by map building
extern std::vector<TIntArray> ObjectInstances;   // by map object

// Where a segment from a to b crosses height y; false when both ends lie on
// the same side.
bool CrossHeightLevel(const TVec3& a, const TVec3& b, float y, TVec3& out);

// The points the visible ground was measured through.
struct TVisibleGround {
    float Near = 0;
    float Far = 0;
    TVec3 Outline[16];
    int32_t OutlineCount = 0;
};

// The depth range (from the plane through the near-plane corners) of the
// ground slab between the map's lowest and highest terrain heights, seen
// through the four corners (normalised device coordinates) by the inverse
// of viewProjection; nearDistance is added to both ends. With outline, the
// crossing points are collected (pulled back to the far end). False, leaving
// the slab's own range, when no corner ray meets the slab.
bool MeasureVisibleGround(const TMatrix4& viewProjection, const TVec2 corners[4], float nearDistance, bool outline,
                          TVisibleGround& result);

// Camera matrices, the fitted projection, the shadow matrices and the
// constants "Cascad1_XY" and "LightP". topView: the shadow transform works
// on world positions instead of view-space ones.
void UpdateMapShadowCascades(bool topView);

// The light set into the scene constants; with LightSet.Changed also into
// every chunk, plant, building and object instance and into the shown army
// models with their equipment (the flag is cleared).
void UpdateMapLighting();
// The time constant (milliseconds) the scene refresh sets before lighting.
void SetMapTime(int64_t milliseconds);
