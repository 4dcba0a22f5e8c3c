#include "scenes/Landscape_Daylight.h"

#include <cmath>
#include <cstdio>

#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "render/QX9_Render_Passes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Pipeline.h"

float DefBuildingScale = 0;
float DefObjectScale = 0;
float DefTreeScale = 0;
float DefArmyScale = 0;

std::array<TMapLightSet, MapLightSetCount> MapLightSets;

const std::array<int32_t, MapLightItemCount> MapLightItemDefaults = {
    0xCAFFFF, 100, 30,  45,  100, 0xFFD0B7, 0xFFFFFF, 0,   2,   50,  50,  50,  0xFFFFB7, 0xFFFFB7,
    0,        40,  200, 100, 100, 100,      100,      100, 100, 100, 100, 100, 100,      100,
    100,      100, 100, 100, 100, 100,      100,      100, 100, 100, 100, 100, 100,      100};

const std::array<TDaylightPhase, 6> DaylightPhases = {{
    {420, 779, SunMD, SunDD, false, false},
    {780, 1199, SunDD, SunED, false, false},
    {1200, 1259, SunED, SunEN, false, false},
    {1260, 1439, SunEN, SunNN, true, false},
    {0, 359, SunNN, SunMN, false, true},
    {360, 419, SunMN, SunMD, false, false},
}};

namespace {

constexpr float SunDistance = 2000000.0f;

// The remembered phase; -1 after the options are read.
int32_t CurrentPhase = -1;

const char* const MapLightKeys[] = {"SunMD", "SunDD", "SunED", "SunEN", "SunNN", "SunMN"};

TVec3 ScaledTo(const TVec3& v, float length)
{
    TVec3 unit;
    Vec3Normalize(v, unit);
    TVec3 out;
    Vec3Scale(unit, length, out);
    return out;
}

TVec3 SunOf(const TMapLightSet& set, bool mirror)
{
    TVec3 sun = set.SunPosition;
    if (mirror) {
        sun.x = -sun.x;
        sun.z = -sun.z;
    }
    return sun;
}

float Blend(float a, float b, float t)
{
    return (1 - t) * a + t * b;
}

void BlendNumbers(const TLightSetNumbers& a, const TLightSetNumbers& b, float t, TLightSetNumbers& out)
{
    out.SunPower = Blend(a.SunPower, b.SunPower, t);
    for (int i = 1; i <= 4; i++)
        out.Specular[i] = Blend(a.Specular[i], b.Specular[i], t);
    out.ShadowSoftness = Blend(a.ShadowSoftness, b.ShadowSoftness, t);
    out.TintStrength = Blend(a.TintStrength, b.TintStrength, t);
    out.FogTintStrength = Blend(a.FogTintStrength, b.FogTintStrength, t);
    for (int i = 1; i <= 3; i++)
        out.Fog[i] = Blend(a.Fog[i], b.Fog[i], t);
    for (int i = 0; i < 6; i++) {
        out.TerrainFactors[i] = Blend(a.TerrainFactors[i], b.TerrainFactors[i], t);
        out.PlantFactors[i] = Blend(a.PlantFactors[i], b.PlantFactors[i], t);
        out.ModelFactors[i] = Blend(a.ModelFactors[i], b.ModelFactors[i], t);
        out.ArmyFactors[i] = Blend(a.ArmyFactors[i], b.ArmyFactors[i], t);
    }
}

} // namespace

TVec3 SunPositionOf(float elevationDegrees, float azimuthDegrees)
{
    const float e = elevationDegrees * static_cast<float>(M_PI) / 180.0f;
    const float a = azimuthDegrees * static_cast<float>(M_PI) / 180.0f;
    const float half = static_cast<float>(M_PI) / 2;
    const TVec3 direction{std::cos(e) * std::cos(a - half) * SunDistance, std::sin(e) * SunDistance,
                          std::cos(e) * std::sin(a - half) * SunDistance};
    return ScaledTo(direction, SunDistance);
}

void ReadMapLightSet(TIniFile& ini, const std::string& key, TMapLightSet& set)
{
    int32_t item[MapLightItemCount + 1];
    for (int32_t n = 1; n <= MapLightItemCount; n++)
        item[n] = ini.ReadInteger(key, n, MapLightItemDefaults[n - 1]);
    auto color = [&](int n) { return ColorFromRGB(static_cast<uint32_t>(item[n]) & 0xFFFFFFu); };
    set = TMapLightSet{};
    set.LightColor = color(1);
    set.SunPower = item[2] / 10.0f;
    set.SunPosition = SunPositionOf(static_cast<float>(item[3]), static_cast<float>(item[4]));
    set.Specular[1] = item[5] / 100.0f;
    set.ShadowColor = color(6);
    set.TintColor = color(7);
    set.TintStrength = item[8] / 100.0f;
    set.ShadowSoftness = item[9] / 100.0f;
    for (int i = 2; i <= 4; i++)
        set.Specular[i] = item[8 + i] / 100.0f;
    set.FogColor = color(13);
    set.FogTintColor = color(14);
    set.FogTintStrength = item[15] / 100.0f;
    set.Fog[3] = item[16] / 100.0f;
    set.Fog[2] = static_cast<float>(item[17]);
    for (int i = 0; i < 6; i++) {
        set.TerrainFactors[i] = item[18 + i] / 100.0f;
        set.PlantFactors[i] = item[24 + i] / 100.0f;
        set.ModelFactors[i] = item[30 + i] / 100.0f;
        set.ArmyFactors[i] = item[37 + i] / 100.0f;
    }
    set.Fog[1] = static_cast<float>(item[36]);
}

void LoadMapEditOptions()
{
    TIniFile ini;
    ini.Load(GameFolder + "Options_MapEdit.ini");
    ini.SelectSection("Option");
    struct {
        const char* Key;
        float* Scale;
    } const scales[] = {{"DefBuildingScale", &DefBuildingScale},
                        {"DefObjectScale", &DefObjectScale},
                        {"DefTreeScale", &DefTreeScale},
                        {"DefArmyScale", &DefArmyScale}};
    for (const auto& scale : scales) {
        *scale.Scale = ini.ReadFloat(scale.Key, -1, 0);
        // Models at scale 0 are placed but never seen: say so once.
        if (*scale.Scale == 0)
            std::fprintf(stderr, "LoadMapEditOptions: %s is 0; those map models will be invisible\n", scale.Key);
    }
    ini.SelectSection("MapLight");
    for (int32_t k = 0; k < 6; k++)
        ReadMapLightSet(ini, MapLightKeys[k], MapLightSets[k]);
    ReadMapLightSet(ini, "MiniMap", MapLightSets[MiniMapLightSet]);
    CurrentPhase = -1;
}

int32_t DaylightPhaseOf(int32_t minute, float& t)
{
    for (int32_t p = 0; p < static_cast<int32_t>(DaylightPhases.size()); p++) {
        const TDaylightPhase& phase = DaylightPhases[p];
        if (minute < phase.First || minute > phase.Last)
            continue;
        t = static_cast<float>(minute - phase.First) / static_cast<float>(phase.Last - phase.First);
        return p;
    }
    t = 0;
    return 0;
}

void UpdateDaylight(int64_t clock)
{
    int64_t minute = (clock / 10000) % 1440;
    if (minute < 0)
        minute += 1440; // a clock before the epoch still names a minute of the day
    const int32_t m = static_cast<int32_t>(minute);
    float t = 0;
    const int32_t found = DaylightPhaseOf(m, t);
    if (CurrentPhase < 0 || m < DaylightPhases[CurrentPhase].First || m > DaylightPhases[CurrentPhase].Last)
        CurrentPhase = found;
    const TDaylightPhase& phase = DaylightPhases[CurrentPhase];
    InterpolateDaylight(phase.From, phase.To, phase.MirrorFrom, phase.MirrorTo, t);
}

uint32_t MapClearColor()
{
    T3D_Color c = ScaleColorByMidLevel(ColorFromRGB(LightSet.FogColor),
                                       NormalizeColor(ColorFromRGB(LightSet.TintColor)), LightSet.TintStrength);
    c = LerpColor(c, ColorFromRGB(LightSet.FogColor), LightSet.Fog[3]);
    c = ScaleColorByMidLevel(c, NormalizeColor(ColorFromRGB(LightSet.FogTintColor)), LightSet.FogTintStrength);
    std::swap(c.r, c.b);
    return ColorToRGB(c);
}

void InterpolateDaylight(int32_t from, int32_t to, bool mirrorFrom, bool mirrorTo, float t)
{
    if (from < 0 || from >= MapLightSetCount || to < 0 || to >= MapLightSetCount)
        return;
    const TMapLightSet& a = MapLightSets[from];
    const TMapLightSet& b = MapLightSets[to];

    const TVec3 sunA = SunOf(a, mirrorFrom), sunB = SunOf(b, mirrorTo);
    const TVec3 sun{Blend(sunA.x, sunB.x, t), Blend(sunA.y, sunB.y, t), Blend(sunA.z, sunB.z, t)};
    // Opposite suns blend to (nearly) nothing half-way: keep the last sun
    // rather than normalise a zero vector.
    if (Vec3Length(sun) >= 1.0f)
        MapCamera.LightPosition = ScaledTo(sun, SunDistance);

    LightSet.LightColor = ColorToRGB(LerpColor(a.LightColor, b.LightColor, t));
    LightSet.ShadowColor = ColorToRGB(LerpColor(a.ShadowColor, b.ShadowColor, t));
    LightSet.TintColor = ColorToRGB(LerpColor(a.TintColor, b.TintColor, t));
    LightSet.FogColor = ColorToRGB(LerpColor(a.FogColor, b.FogColor, t));
    LightSet.FogTintColor = ColorToRGB(LerpColor(a.FogTintColor, b.FogTintColor, t));
    BlendNumbers(a, b, t, LightSet);

    if (T3D_RenderPass* main = MapPass("MAIN")) {
        const uint32_t flags = RenderSettings.EarlyZ != 0 ? D3DCLEAR_TARGET : D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
        main->SetClear(flags, MapClearColor(), 1.0f);
    }
    LightSet.Changed = 1;
}
