// Landscape daylight: the default model scales and the map's light sets of
// "Options_MapEdit.ini", and the light of a game minute blended between the
// two key-time sets around it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/QX9_Math.h"
#include "engine/QX9_System_Ini.h"
#include "render/QX9_Render_Shadows.h"
#include "scenes/Landscape_Camera.h"

// Scales of every map building, object, tree and army model; 0 (invisible)
// until the options are read.
extern float DefBuildingScale;
extern float DefObjectScale;
extern float DefTreeScale;
extern float DefArmyScale;

// A stored light set: the sun position, float colours and the divided numbers.
struct TMapLightSet : TLightSetNumbers {
    TVec3 SunPosition;
    T3D_Color LightColor;
    T3D_Color ShadowColor;
    T3D_Color TintColor;
    T3D_Color FogColor;
    T3D_Color FogTintColor;
};

// Key-time sets 0..5 and the mini-map's set 18.
enum TMapLightKey : int32_t {
    SunMD = 0,
    SunDD = 1,
    SunED = 2,
    SunEN = 3,
    SunNN = 4,
    SunMN = 5,
    MiniMapLightSet = 18,
};
inline constexpr int32_t MapLightSetCount = 19;
extern std::array<TMapLightSet, MapLightSetCount> MapLightSets;

// The number of items of a light list and their defaults (item n at n - 1).
inline constexpr int32_t MapLightItemCount = 42;
extern const std::array<int32_t, MapLightItemCount> MapLightItemDefaults;

struct TDaylightPhase {
    int32_t First; // minutes of the day, both ends included
    int32_t Last;
    int32_t From;
    int32_t To;
    bool MirrorFrom;
    bool MirrorTo;
};
extern const std::array<TDaylightPhase, 6> DaylightPhases;

// The sun position of elevation and azimuth in degrees, 2,000,000 away.
TVec3 SunPositionOf(float elevationDegrees, float azimuthDegrees);
// A light set from a list of items (missing items take their defaults).
void ReadMapLightSet(TIniFile& ini, const std::string& key, TMapLightSet& set);

// Reads GameFolder + "Options_MapEdit.ini" and forgets the current phase.
void LoadMapEditOptions();
// The phase of a minute of the day (0..1439) and its blend factor.
int32_t DaylightPhaseOf(int32_t minute, float& t);
// The light of the clock's minute of the day (clock: minutes x 10000).
void UpdateDaylight(int64_t clock);
// The blend of two stored sets into LightSet, MapCamera.LightPosition and the
// clear colour of the map's "MAIN" pass.
void InterpolateDaylight(int32_t from, int32_t to, bool mirrorFrom, bool mirrorTo, float t);
// The clear colour the blend gives for the current LightSet (red and blue
// exchanged, as the pass clears with it).
uint32_t MapClearColor();
