// The personage gear: weapons, shields and quivers as one-bone skinned
// meshes in the frame of the hard point that carries them (the grip at the
// origin, the weapon pointing along -z), and a box-built horse with its own
// skeleton and clips. All share one atlas of materials.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/artgen/ArtPersFigures.h"

namespace ArtPers {

enum TGearCell {
    gcSteel,
    gcIron,
    gcWood,
    gcPaleWood,
    gcLeather,
    gcRed,
    gcBlue,
    gcBrass,
    gcHorse,
    gcMane,
    gcString,
    gcFeather,
    gcWhite,
    gcEmber,
    gcGreen,
    gcCloth,
    GearCellCount
};

inline TRegion GearRegion(TGearCell cell)
{
    const int32_t c = static_cast<int32_t>(cell);
    return ArtLand::AtlasCell(c % 4, c / 4, 4, 1e6f, 0.02f);
}

// A closed box of the gear atlas on a bone (0 for weapons).
inline void GearBox(TShape& s, float x0, float x1, float y0, float y1, float z0, float z1, TGearCell cell,
                    int32_t bone = 0)
{
    const size_t first = s.Vertices.size();
    const TRegion r = GearRegion(cell);
    const TVec3 inside = {(x0 + x1) / 2, (y0 + y1) / 2, (z0 + z1) / 2};
    s.Quad({x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0}, r, inside);
    s.Quad({x1, y0, z1}, {x0, y0, z1}, {x0, y1, z1}, {x1, y1, z1}, r, inside);
    s.Quad({x0, y0, z1}, {x0, y0, z0}, {x0, y1, z0}, {x0, y1, z1}, r, inside);
    s.Quad({x1, y0, z0}, {x1, y0, z1}, {x1, y1, z1}, {x1, y1, z0}, r, inside);
    s.Quad({x0, y1, z0}, {x1, y1, z0}, {x1, y1, z1}, {x0, y1, z1}, r, inside);
    s.Quad({x0, y0, z1}, {x1, y0, z1}, {x1, y0, z0}, {x0, y0, z0}, r, inside);
    for (size_t v = first; v < s.Vertices.size(); v++) {
        s.Vertices[v].BoneIndex[0] = static_cast<uint8_t>(bone);
        s.Vertices[v].Weight[0] = 1;
    }
}

// Appends a part turned by a rotation (degrees, as Rotation) and moved.
inline void AppendTurned(TShape& s, const TShape& part, float rx, float ry, float rz, const TVec3& move)
{
    const TMatrix4 m = Rotation(rx, ry, rz);
    const uint16_t base = static_cast<uint16_t>(s.Vertices.size());
    for (T3D_Vertex v : part.Vertices) {
        TVec3 p, n;
        Vec3TransformCoord(v.Position, m, p);
        Vec3TransformCoord(v.Normal, m, n);
        v.Position = {p.x + move.x, p.y + move.y, p.z + move.z};
        v.Normal = n;
        s.Vertices.push_back(v);
    }
    for (uint16_t i : part.Indices)
        s.Indices.push_back(static_cast<uint16_t>(base + i));
}

// A shaft along z from z0 to z1 (z0 > z1: the grip end first).
inline void Shaft(TShape& s, float z0, float z1, float r, TGearCell cell)
{
    GearBox(s, -r, r, -r, r, z1, z0, cell);
}

struct TGearPiece {
    const char* FileName; // the item's "FileName"
    TShape (*Make)();
};

inline TShape MakeSword()
{
    TShape s;
    Shaft(s, 0.11f, -0.06f, 0.022f, gcLeather);
    GearBox(s, -0.035f, 0.035f, -0.035f, 0.035f, 0.11f, 0.16f, gcBrass);
    GearBox(s, -0.11f, 0.11f, -0.025f, 0.025f, -0.09f, -0.06f, gcBrass);
    GearBox(s, -0.03f, 0.03f, -0.008f, 0.008f, -0.80f, -0.09f, gcSteel);
    GearBox(s, -0.015f, 0.015f, -0.006f, 0.006f, -0.86f, -0.80f, gcSteel);
    return s;
}

inline TShape MakeLongSword()
{
    TShape s;
    Shaft(s, 0.24f, -0.06f, 0.022f, gcLeather);
    GearBox(s, -0.035f, 0.035f, -0.035f, 0.035f, 0.24f, 0.29f, gcSteel);
    GearBox(s, -0.16f, 0.16f, -0.025f, 0.025f, -0.10f, -0.06f, gcSteel);
    GearBox(s, -0.035f, 0.035f, -0.009f, 0.009f, -1.15f, -0.10f, gcSteel);
    GearBox(s, -0.018f, 0.018f, -0.007f, 0.007f, -1.22f, -1.15f, gcSteel);
    return s;
}

inline TShape MakeDagger()
{
    TShape s;
    Shaft(s, 0.09f, -0.04f, 0.018f, gcLeather);
    GearBox(s, -0.06f, 0.06f, -0.018f, 0.018f, -0.06f, -0.04f, gcIron);
    GearBox(s, -0.018f, 0.018f, -0.006f, 0.006f, -0.38f, -0.06f, gcSteel);
    return s;
}

inline TShape MakeAxe()
{
    TShape s;
    Shaft(s, 0.12f, -0.62f, 0.022f, gcWood);
    // The bearded head reaches forward (-y: ahead when the arm is raised).
    GearBox(s, -0.012f, 0.012f, -0.20f, 0.03f, -0.66f, -0.50f, gcSteel);
    GearBox(s, -0.012f, 0.012f, -0.23f, -0.17f, -0.72f, -0.44f, gcSteel);
    GearBox(s, -0.03f, 0.03f, 0.02f, 0.06f, -0.62f, -0.54f, gcIron);
    return s;
}

inline TShape MakeMace()
{
    TShape s;
    Shaft(s, 0.12f, -0.52f, 0.02f, gcIron);
    GearBox(s, -0.06f, 0.06f, -0.06f, 0.06f, -0.66f, -0.50f, gcIron);
    GearBox(s, -0.09f, 0.09f, -0.015f, 0.015f, -0.65f, -0.51f, gcSteel);
    GearBox(s, -0.015f, 0.015f, -0.09f, 0.09f, -0.65f, -0.51f, gcSteel);
    return s;
}

inline TShape MakeSpear()
{
    TShape s;
    Shaft(s, 0.55f, -1.45f, 0.02f, gcPaleWood);
    GearBox(s, -0.045f, 0.045f, -0.008f, 0.008f, -1.65f, -1.45f, gcSteel);
    GearBox(s, -0.02f, 0.02f, -0.006f, 0.006f, -1.74f, -1.65f, gcSteel);
    return s;
}

inline TShape MakePike()
{
    TShape s;
    Shaft(s, 1.3f, -2.9f, 0.022f, gcWood);
    GearBox(s, -0.03f, 0.03f, -0.008f, 0.008f, -3.15f, -2.9f, gcSteel);
    GearBox(s, -0.035f, 0.035f, -0.035f, 0.035f, -2.95f, -2.85f, gcIron);
    return s;
}

inline TShape MakeLance()
{
    TShape s;
    Shaft(s, 1.0f, -2.5f, 0.035f, gcRed);
    Shaft(s, 0.8f, 0.5f, 0.04f, gcWhite);
    Shaft(s, -0.6f, -1.0f, 0.04f, gcWhite);
    Shaft(s, -1.6f, -2.0f, 0.04f, gcWhite);
    GearBox(s, -0.13f, 0.13f, -0.13f, 0.13f, -0.14f, -0.08f, gcSteel); // vamplate
    GearBox(s, -0.02f, 0.02f, -0.02f, 0.02f, -2.7f, -2.5f, gcSteel);
    return s;
}

inline TShape MakeBow()
{
    TShape s;
    // Held in the left hand, the bow upright in front of the archer: the
    // grip at the origin, the limbs bending back toward the string (+y).
    Shaft(s, 0.12f, -0.12f, 0.025f, gcLeather);
    TShape limb;
    GearBox(limb, -0.018f, 0.018f, -0.015f, 0.015f, -0.42f, 0, gcWood);
    AppendTurned(s, limb, -14, 0, 0, {0, 0, -0.10f});
    AppendTurned(s, limb, 14 + 180, 0, 0, {0, 0, 0.10f});
    GearBox(s, -0.004f, 0.004f, 0.095f, 0.105f, -0.51f, 0.51f, gcString);
    return s;
}

inline TShape MakeCrossbow()
{
    TShape s;
    GearBox(s, -0.035f, 0.035f, -0.05f, 0.03f, -0.50f, 0.28f, gcWood);  // stock
    GearBox(s, -0.34f, 0.34f, -0.02f, 0.02f, -0.50f, -0.44f, gcSteel);  // prod
    GearBox(s, -0.31f, 0.31f, 0.0f, 0.008f, -0.36f, -0.35f, gcString);  // string, drawn
    GearBox(s, -0.025f, 0.025f, -0.10f, -0.05f, 0.0f, 0.08f, gcIron);   // trigger
    GearBox(s, -0.05f, 0.05f, -0.025f, 0.025f, -0.58f, -0.50f, gcIron); // stirrup
    return s;
}

inline TShape MakeStaff()
{
    TShape s;
    Shaft(s, 0.6f, -1.1f, 0.03f, gcWood);
    GearBox(s, -0.06f, 0.06f, -0.06f, 0.06f, -1.24f, -1.1f, gcPaleWood);
    GearBox(s, -0.035f, 0.035f, -0.035f, 0.035f, -1.30f, -1.24f, gcGreen);
    return s;
}

inline TShape MakeWand()
{
    TShape s;
    Shaft(s, 0.08f, -0.34f, 0.014f, gcIron);
    GearBox(s, -0.03f, 0.03f, -0.03f, 0.03f, -0.40f, -0.34f, gcEmber);
    return s;
}

// Shields stand in the xy plane, their face toward -z.
inline TShape MakeRoundShield()
{
    TShape s;
    TShape plate;
    GearBox(plate, -0.21f, 0.21f, -0.28f, 0.28f, -0.02f, 0.02f, gcBlue);
    for (float turn : {0.0f, 45.0f, 90.0f, 135.0f})
        AppendTurned(s, plate, 0, 0, turn, {0, 0, 0});
    GearBox(s, -0.06f, 0.06f, -0.06f, 0.06f, -0.05f, -0.02f, gcSteel); // boss
    GearBox(s, -0.03f, 0.03f, -0.10f, 0.10f, 0.02f, 0.06f, gcLeather); // strap
    return s;
}

inline TShape MakeKiteShield()
{
    TShape s;
    GearBox(s, -0.24f, 0.24f, -0.05f, 0.32f, -0.02f, 0.02f, gcRed);
    TShape point;
    GearBox(point, -0.17f, 0.17f, -0.17f, 0.17f, -0.02f, 0.02f, gcRed);
    AppendTurned(s, point, 0, 0, 45, {0, -0.12f, 0});
    GearBox(s, -0.03f, 0.03f, -0.32f, 0.33f, -0.035f, -0.02f, gcWhite); // a pale
    GearBox(s, -0.25f, 0.25f, 0.16f, 0.22f, -0.035f, -0.02f, gcWhite);
    return s;
}

inline TShape MakePavise()
{
    TShape s;
    GearBox(s, -0.30f, 0.30f, -0.55f, 0.55f, -0.03f, 0.03f, gcGreen);
    GearBox(s, -0.07f, 0.07f, -0.55f, 0.55f, -0.06f, -0.03f, gcWhite); // the ridge
    GearBox(s, -0.30f, 0.30f, 0.47f, 0.55f, -0.045f, -0.03f, gcBrass);
    return s;
}

// Quivers hang on the back, slanted, the open end over the right shoulder.
inline TShape MakeQuiver(bool bolts)
{
    TShape body;
    const float high = bolts ? 0.22f : 0.30f;
    GearBox(body, -0.06f, 0.06f, -0.32f, high, -0.05f, 0.07f, gcLeather);
    GearBox(body, -0.065f, 0.065f, high - 0.05f, high, -0.055f, 0.075f, gcBrass);
    for (int32_t i = 0; i < 3; i++) {
        const float x = -0.03f + 0.03f * static_cast<float>(i);
        GearBox(body, x - 0.008f, x + 0.008f, high, high + 0.10f, -0.01f, 0.03f, gcPaleWood);
        GearBox(body, x - 0.018f, x + 0.018f, high + 0.06f, high + (bolts ? 0.10f : 0.16f), 0.005f, 0.015f,
                bolts ? gcIron : gcFeather);
    }
    TShape s;
    AppendTurned(s, body, 0, 0, -25, {0, 0, 0});
    return s;
}

inline TShape MakeArrowQuiver()
{
    return MakeQuiver(false);
}
inline TShape MakeBoltCase()
{
    return MakeQuiver(true);
}

inline const std::vector<TGearPiece>& GearPieces()
{
    static const std::vector<TGearPiece> pieces = {
        {"Spear_Militia", MakeSpear},
        {"Sword_Footman", MakeSword},
        {"Axe_Hand", MakeAxe},
        {"Pike_Ash", MakePike},
        {"Bow_Hunting", MakeBow},
        {"Crossbow_Lever", MakeCrossbow},
        {"Quiver_Arrows", MakeArrowQuiver},
        {"Quiver_Bolts", MakeBoltCase},
        {"Staff_Oak", MakeStaff},
        {"Lance_Painted", MakeLance},
        {"Mace_Rider", MakeMace},
        {"Dagger_Long", MakeDagger},
        {"Shield_Round", MakeRoundShield},
        {"Shield_Kite", MakeKiteShield},
        {"Shield_Pavise", MakePavise},
        {"Sword_Long", MakeLongSword},
        {"Wand_Embers", MakeWand},
    };
    return pieces;
}

// The one-bone skeleton of a rigid piece.
inline T3D_Skin RigidSkin(const std::string& name)
{
    T3D_Skin skin;
    T3D_Bone bone;
    bone.Name = name + "_root";
    bone.NodeName = name;
    skin.Bones.push_back(bone);
    return skin;
}

// ---------------------------------------------------------------------------
// The horse: facing -z, its back at saddle height 1.45.

enum THorseBone : int32_t {
    hbRoot,
    hbBody,
    hbNeck,
    hbHead,
    hbLegFR,
    hbShinFR,
    hbLegFL,
    hbShinFL,
    hbLegBR,
    hbShinBR,
    hbLegBL,
    hbShinBL,
    hbTail,
    HorseBoneCount
};

struct THorseBoneDef {
    const char* Name;
    int32_t Parent;
    TVec3 Joint;
};

inline const THorseBoneDef HorseBones[HorseBoneCount] = {
    {"Horse_Root", -1, {0, 0, 0}},
    {"Horse_Body", hbRoot, {0, 1.25f, 0}},
    {"Horse_Neck", hbBody, {0, 1.40f, -0.70f}},
    {"Horse_Head", hbNeck, {0, 1.95f, -0.95f}},
    {"Horse_LegFR", hbBody, {-0.17f, 1.05f, -0.62f}},
    {"Horse_ShinFR", hbLegFR, {-0.17f, 0.55f, -0.62f}},
    {"Horse_LegFL", hbBody, {0.17f, 1.05f, -0.62f}},
    {"Horse_ShinFL", hbLegFL, {0.17f, 0.55f, -0.62f}},
    {"Horse_LegBR", hbBody, {-0.17f, 1.05f, 0.62f}},
    {"Horse_ShinBR", hbLegBR, {-0.17f, 0.55f, 0.62f}},
    {"Horse_LegBL", hbBody, {0.17f, 1.05f, 0.62f}},
    {"Horse_ShinBL", hbLegBL, {0.17f, 0.55f, 0.62f}},
    {"Horse_Tail", hbBody, {0, 1.35f, 0.80f}},
};

inline TShape MakeHorse()
{
    TShape s;
    GearBox(s, -0.24f, 0.24f, 0.98f, 1.45f, -0.80f, 0.82f, gcHorse, hbBody);
    GearBox(s, -0.25f, 0.25f, 1.40f, HorseSaddleTop, -0.25f, 0.25f, gcLeather, hbBody); // saddle
    GearBox(s, -0.26f, 0.26f, 1.05f, 1.42f, -0.20f, 0.20f, gcCloth, hbBody);            // saddle cloth
    TShape neck;
    GearBox(neck, -0.12f, 0.12f, -0.05f, 0.62f, -0.14f, 0.16f, gcHorse, hbNeck);
    AppendTurned(s, neck, -30, 0, 0, {0, 1.30f, -0.72f});
    GearBox(s, -0.04f, 0.04f, 1.40f, 2.00f, -0.70f, -0.45f, gcMane, hbNeck);
    GearBox(s, -0.10f, 0.10f, 1.78f, 2.05f, -1.05f, -0.85f, gcHorse, hbHead);
    GearBox(s, -0.08f, 0.08f, 1.70f, 1.90f, -1.35f, -1.02f, gcHorse, hbHead);
    GearBox(s, -0.03f, 0.03f, 2.02f, 2.14f, -0.97f, -0.90f, gcHorse, hbHead);     // ears
    GearBox(s, -0.105f, 0.105f, 1.84f, 1.88f, -1.20f, -1.00f, gcLeather, hbHead); // bridle
    GearBox(s, -0.025f, 0.025f, 0.80f, 1.38f, 0.80f, 0.90f, gcMane, hbTail);
    for (int32_t leg = 0; leg < 4; leg++) {
        const int32_t upper = hbLegFR + 2 * leg, lower = upper + 1;
        const TVec3 j = HorseBones[upper].Joint;
        GearBox(s, j.x - 0.065f, j.x + 0.065f, 0.52f, 1.10f, j.z - 0.08f, j.z + 0.08f, gcHorse, upper);
        GearBox(s, j.x - 0.045f, j.x + 0.045f, 0.08f, 0.56f, j.z - 0.05f, j.z + 0.05f, gcHorse, lower);
        GearBox(s, j.x - 0.06f, j.x + 0.06f, 0.0f, 0.10f, j.z - 0.08f, j.z + 0.06f, gcIron, lower);
    }
    return s;
}

inline TMatrix4 HorseLocal(int32_t b, const std::array<float, 3>& a)
{
    TVec3 offset = HorseBones[b].Joint;
    if (HorseBones[b].Parent >= 0) {
        const TVec3& p = HorseBones[HorseBones[b].Parent].Joint;
        offset = {offset.x - p.x, offset.y - p.y, offset.z - p.z};
    }
    TMatrix4 t, out;
    MatrixTranslation(t, offset.x, offset.y, offset.z);
    MatrixProduct(t, Rotation(a[0], a[1], a[2]), out);
    return out;
}

// "stand" swishes the tail, "relax" lowers the head to graze, "walk" steps
// the legs in diagonal pairs.
inline T3D_Skin HorseSkin()
{
    T3D_Skin skin;
    for (int32_t b = 0; b < HorseBoneCount; b++) {
        T3D_Bone bone;
        bone.Name = HorseBones[b].Name;
        bone.NodeName = bone.Name;
        bone.Parent = HorseBones[b].Parent;
        const TVec3& j = HorseBones[b].Joint;
        MatrixTranslation(bone.InverseBind, -j.x, -j.y, -j.z);
        skin.Bones.push_back(bone);
    }
    struct TClip {
        const char* Name;
        int32_t Length;
    };
    for (const TClip& clip : {TClip{"stand", 2000}, TClip{"relax", 3000}, TClip{"walk", 1000}}) {
        const std::string name = clip.Name;
        std::vector<std::array<std::array<float, 3>, HorseBoneCount>> poses;
        const float phases[5] = {0, 0.25f, 0.5f, 0.75f, 1};
        for (float t : phases) {
            std::array<std::array<float, 3>, HorseBoneCount> a{};
            const float s = std::sin(6.2831853f * t);
            if (name == "stand") {
                a[hbTail] = {0, 25 * s, 0};
                a[hbHead] = {4 * s, 0, 0};
            } else if (name == "relax") {
                a[hbNeck] = {-55 - 5 * s, 0, 0};
                a[hbHead] = {-20, 0, 0};
                a[hbTail] = {0, 10 * s, 0};
            } else {
                a[hbLegFR] = {25 * s, 0, 0};
                a[hbLegBL] = {25 * s, 0, 0};
                a[hbLegFL] = {-25 * s, 0, 0};
                a[hbLegBR] = {-25 * s, 0, 0};
                a[hbShinFR] = {-15 - 15 * s, 0, 0};
                a[hbShinBL] = {-15 - 15 * s, 0, 0};
                a[hbShinFL] = {-15 + 15 * s, 0, 0};
                a[hbShinBR] = {-15 + 15 * s, 0, 0};
                a[hbNeck] = {5 * s, 0, 0};
            }
            poses.push_back(a);
        }
        for (int32_t b = 0; b < HorseBoneCount; b++) {
            T3D_Track track;
            track.Matrix = HorseLocal(b, poses.front()[static_cast<size_t>(b)]);
            bool moves = false;
            for (const auto& pose : poses)
                moves |= pose[static_cast<size_t>(b)] != poses.front()[static_cast<size_t>(b)];
            if (moves)
                for (size_t k = 0; k < poses.size(); k++) {
                    track.Times.push_back(static_cast<float>(clip.Length) * phases[k] / 1000.0f);
                    track.Keys.push_back(HorseLocal(b, poses[k][static_cast<size_t>(b)]));
                }
            skin.Bones[static_cast<size_t>(b)].Tracks.push_back(track);
        }
        skin.Clips.push_back({name, clip.Length});
    }
    return skin;
}

// ---------------------------------------------------------------------------
// The gear atlas

inline void GearTexel(TGearCell cell, float u, float v, uint32_t size, TColour& colour, float& height, float& gloss)
{
    const float n = ArtLand::Hash01(static_cast<int32_t>(u * size), static_cast<int32_t>(v * size),
                                    static_cast<uint32_t>(cell) * 131u + 7u) -
                    0.5f;
    const float grain = std::sin(v * 50 + 3 * std::sin(u * 9)) * 0.5f;
    height = 0;
    gloss = 30;
    switch (cell) {
    case gcSteel:
        colour = ArtLand::Mix({215, 220, 228}, {150, 156, 166}, std::clamp(u + 0.15f * n, 0.0f, 1.0f));
        gloss = 250;
        break;
    case gcIron:
        colour = ArtLand::Scaled({90, 92, 98}, 1 + 0.3f * n);
        height = n;
        gloss = 150;
        break;
    case gcWood:
        colour = ArtLand::Scaled({120, 80, 45}, 1 + 0.2f * grain + 0.1f * n);
        height = grain;
        break;
    case gcPaleWood:
        colour = ArtLand::Scaled({190, 160, 110}, 1 + 0.15f * grain + 0.1f * n);
        height = grain;
        break;
    case gcLeather:
        colour = ArtLand::Scaled({110, 70, 40}, 1 + 0.25f * n);
        height = n;
        gloss = 60;
        break;
    case gcRed:
        colour = ArtLand::Scaled({180, 40, 35}, 1 + 0.1f * n);
        gloss = 90;
        break;
    case gcBlue:
        colour = ArtLand::Scaled({40, 70, 170}, 1 + 0.1f * n);
        height = (u < 0.1f || u > 0.9f || v < 0.1f || v > 0.9f) ? 1.0f : 0.0f;
        gloss = 90;
        break;
    case gcBrass:
        colour = ArtLand::Scaled({210, 170, 70}, 1 + 0.15f * n);
        gloss = 220;
        break;
    case gcHorse:
        colour = ArtLand::Scaled({176, 174, 170}, 0.92f + 0.3f * n + 0.06f * std::sin(u * 30));
        height = n;
        gloss = 40;
        break;
    case gcMane:
        colour = ArtLand::Scaled({70, 66, 62}, 1 + 0.3f * std::sin(u * 70));
        height = std::sin(u * 70);
        break;
    case gcString:
        colour = {230, 225, 200};
        break;
    case gcFeather:
        colour = ArtLand::Mix({240, 240, 235}, {170, 40, 30}, v > 0.5f ? 1.0f : 0.0f);
        break;
    case gcWhite:
        colour = ArtLand::Scaled({235, 232, 222}, 1 + 0.05f * n);
        gloss = 80;
        break;
    case gcEmber:
        colour = ArtLand::Mix({255, 200, 60}, {220, 60, 20}, std::clamp(std::fabs(u - 0.5f) * 2, 0.0f, 1.0f));
        gloss = 200;
        break;
    case gcGreen:
        colour = ArtLand::Scaled({50, 120, 70}, 1 + 0.1f * n);
        gloss = 90;
        break;
    default:
        colour = ArtLand::Scaled({150, 40, 60}, 1 + 0.08f * std::sin(u * 50) * std::sin(v * 50));
        break;
    }
}

inline TFigureTextures PaintGear(uint32_t size)
{
    TFigureTextures t(size);
    const uint32_t cell = size / 4;
    for (uint32_t y = 0; y < size; y++)
        for (uint32_t x = 0; x < size; x++) {
            const TGearCell c = static_cast<TGearCell>((y / cell) * 4 + x / cell);
            const float u = (static_cast<float>(x % cell) + 0.5f) / static_cast<float>(cell);
            const float v = (static_cast<float>(y % cell) + 0.5f) / static_cast<float>(cell);
            TColour colour;
            float height = 0, gloss = 0;
            GearTexel(c, u, v, cell, colour, height, gloss);
            t.Diffuse.Put(x, y, colour, height);
            t.Specular.Put(x, y, {gloss, gloss, gloss});
        }
    return t;
}

} // namespace ArtPers
