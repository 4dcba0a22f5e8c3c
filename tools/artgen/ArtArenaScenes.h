// The arena scene files: the look of an arena (sun, shadows, fog, colours,
// camera) and its objects, written as the arena loader reads them. Colour
// numbers carry red in their low byte, in decimal (the readers take digits
// only).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ArtArena {

inline int32_t Colour(int32_t red, int32_t green, int32_t blue)
{
    return red | green << 8 | blue << 16;
}

struct TArenaLook {
    int32_t SunPower = 40, Ambient = 30, Gamma = 100, LightRotate = 45, LightHeight = 40, ShadowBlur = 12;
    int32_t LightColor = 0, ShadowColor = 0, FogColor = 0, BkgColor = 0;
    int32_t FogDistance = 110;
    float FogStrength = 0.8f;
};

// Bright noon, a moonlit night, a lamp-lit tent.
inline TArenaLook DayLook()
{
    TArenaLook l;
    l.SunPower = 44;
    l.Ambient = 35;
    l.LightRotate = 35;
    l.LightHeight = 40;
    l.LightColor = Colour(255, 240, 205);
    l.ShadowColor = Colour(160, 185, 235);
    l.FogColor = l.BkgColor = Colour(178, 204, 230);
    return l;
}

inline TArenaLook NightLook()
{
    TArenaLook l;
    l.SunPower = 16;
    l.Ambient = 22;
    l.LightRotate = 220;
    l.LightHeight = 50;
    l.LightColor = Colour(150, 170, 235);
    l.ShadowColor = Colour(40, 50, 110);
    l.FogColor = l.BkgColor = Colour(22, 28, 56);
    l.FogDistance = 70;
    l.FogStrength = 1;
    return l;
}

inline TArenaLook TentLook()
{
    TArenaLook l;
    l.SunPower = 30;
    l.Ambient = 40;
    l.LightRotate = 80;
    l.LightHeight = 30;
    l.LightColor = Colour(255, 214, 156);
    l.ShadowColor = Colour(120, 90, 80);
    l.FogColor = l.BkgColor = Colour(51, 40, 32);
    l.FogDistance = 60;
    l.FogStrength = 0.5f;
    return l;
}

struct TArenaObject {
    std::string Section; // the section's name (any; the loader reads it in order)
    std::string Mesh;    // the record in the folder's mesh file
    std::string Type = "NormalMapped";
    std::string Texture; // a texture base of the folder, "_d" included
    float X = 0, Y = 0, Z = 0;
    int32_t RotateV = 0, Scale = 100;
    std::string Tags;
    bool Visible = true, Shadow = true;
    std::string Alpha = "none", Sides = "convex";
};

// An emitter of the particle kind the loader keeps (nothing draws it yet).
struct TArenaEmitter {
    std::string Section, Mesh;
};

struct TArenaScene {
    std::string Folder; // below "Arenas\", without "\"
    std::string Name;   // the file's base name
    TArenaLook Look;
    bool FixCamera = true;
    float AngleX = -0.42f, AngleY = 0, Distance = 10;
    float Target[3] = {0, -1, 0};
    std::vector<TArenaObject> Objects;
    std::vector<TArenaEmitter> Emitters;
};

// The mesh file every object of a folder names.
inline const char* SceneryFile()
{
    return "Scenery";
}

// The record name of the battlefield ("hexbattlefield" in any case marks it).
inline const char* BattlefieldMesh()
{
    return "hexbattlefield";
}

inline std::string Number(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(v));
    std::string s = text;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return s == "-0" ? "0" : s;
}

inline std::string SceneText(const TArenaScene& scene)
{
    std::string t;
    auto line = [&](const std::string& key, const std::string& value) { t += key + "=" + value + "\r\n"; };
    auto integer = [&](const std::string& key, int32_t value) { line(key, std::to_string(value)); };
    const TArenaLook& l = scene.Look;
    t += "[Scene]\r\n";
    line("UseShadow", "Yes");
    line("FixCamera", scene.FixCamera ? "Yes" : "No");
    integer("SunPower", l.SunPower);
    integer("Gamma", l.Gamma);
    integer("Ambient", l.Ambient);
    integer("LightRotate", l.LightRotate);
    integer("LightHeight", l.LightHeight);
    integer("ShadowBlur", l.ShadowBlur);
    integer("SkyLight", 100);
    integer("Occlusion", 100);
    line("Fog", "Yes");
    integer("FogDistance", l.FogDistance);
    line("FogStrength", Number(l.FogStrength));
    integer("LightColor", l.LightColor);
    integer("ShadowColor", l.ShadowColor);
    integer("FogColor", l.FogColor);
    integer("BkgColor", l.BkgColor);
    integer("Colorize_Color", Colour(255, 255, 255));
    integer("Colorize_Strength", 0);
    integer("ColorizeFog_Color", Colour(255, 255, 255));
    integer("ColorizeFog_Strength", 0);
    line("Angle_X", Number(scene.AngleX));
    line("Angle_Y", Number(scene.AngleY));
    line("Distance", Number(scene.Distance));
    line("Target_pos", Number(scene.Target[0]) + "," + Number(scene.Target[1]) + "," + Number(scene.Target[2]));
    int32_t uid = 1;
    for (const TArenaObject& o : scene.Objects) {
        t += "[" + o.Section + "]\r\n";
        integer("UID", uid++);
        line("Name", SceneryFile());
        line("Mesh_Type", o.Type);
        line("MeshName", o.Mesh);
        line("Texture", o.Texture);
        line("Visible", o.Visible ? "Yes" : "No");
        integer("Ambient", 100);
        integer("Gamma", 100);
        integer("Occlusion", 100);
        line("Shadow", o.Shadow ? "Yes" : "No");
        line("UseNormal", "Yes");
        integer("Normal", 100);
        line("Sides", o.Sides);
        line("Alpha", o.Alpha);
        if (!o.Tags.empty())
            line("Tags", o.Tags);
        integer("Scale", o.Scale);
        integer("RotateV", o.RotateV);
        line("X", Number(o.X));
        line("Y", Number(o.Y));
        line("Z", Number(o.Z));
        line("Orientation", "0,1,0");
    }
    for (const TArenaEmitter& e : scene.Emitters) {
        t += "[" + e.Section + "]\r\n";
        integer("UID", uid++);
        line("Name", e.Mesh);
        line("Mesh_Type", "Emitter");
        line("MeshName", e.Mesh);
        const std::pair<const char*, float> values[] = {
            {"MinTime", 1.5f},      {"MaxTime", 3},  {"TimeSpeed", 1},   {"StartSizeX", 0.3f}, {"StartSizeY", 0.3f},
            {"StartSizeZ", 0.3f},   {"Speed", 0.6f}, {"SpeedVar", 0.2f}, {"SpeedAngle", 20},   {"Rotate", 0.5f},
            {"Gravitation", -0.1f}, {"Wind", 0.2f},  {"WindAngle", 45},
        };
        for (const auto& [key, value] : values)
            line(key, Number(value));
    }
    return t;
}

} // namespace ArtArena
