// The personage figures: one look per model file of the unit table (colours,
// headgear, body wear, the weapon prefixes its clips serve), the boxes of a
// body on its bones and the figure's texture: a 4 x 4 atlas of flat cells
// (skin, hair, cloth, mail, plate, ...) with a little weave or ring pattern,
// its specular and normal maps.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/artgen/ArtLandPaint.h"
#include "tools/artgen/ArtLandShapes.h"
#include "tools/artgen/ArtPersSkeleton.h"

namespace ArtPers {

using ArtLand::TColour;
using ArtLand::TPicture;
using ArtLand::TRegion;
using ArtLand::TShape;

enum THeadgear { hgHair, hgLongHair, hgCap, hgKettle, hgBarbute, hgGreatHelm, hgHood, hgPointedHat, hgBeast };
enum TWear { wrTunic, wrLeather, wrMail, wrPlate, wrRobe, wrGown, wrFur };

// The atlas cells of a figure's texture.
enum TCell {
    ceSkin,
    ceHair,
    ceTunic,
    ceTrousers,
    ceBoots,
    ceMail,
    cePlate,
    ceLeather,
    ceCloak,
    ceAccent,
    ceFace,
    ceDark,
    ceFur,
    ceEyes,
    ceBelt,
    ceLight,
    CellCount
};

struct TFigureLook {
    const char* FileName;
    bool Beast;
    float Height, Bulk;
    TColour Skin, Hair, Tunic, Trousers, Boots, Cloak, Accent;
    THeadgear Headgear;
    TWear Wear;
    bool Cape;
    // The weapon prefixes beyond "na_" its clips are made for.
    std::vector<std::string> Prefixes;
};

// Every model file the unit table names, each a look of its own.
inline const std::vector<TFigureLook>& FigureLooks()
{
    const TColour fair{232, 190, 160}, tan{196, 150, 112}, dark{140, 98, 70};
    const TColour black{40, 34, 30}, brown{104, 70, 40}, blond{214, 186, 110}, grey{150, 150, 146}, red{168, 70, 40};
    static const std::vector<TFigureLook> looks = {
        {"DukeArmor01",
         false,
         1.04f,
         1.08f,
         fair,
         brown,
         {40, 70, 160},
         {70, 70, 80},
         {60, 50, 40},
         {36, 60, 150},
         {230, 200, 80},
         hgGreatHelm,
         wrPlate,
         true,
         {"sword_", "shield_", "horse_", "blunt_"}},
        {"Mystic01",
         false,
         1.0f,
         0.95f,
         tan,
         grey,
         {70, 40, 110},
         {50, 40, 60},
         {50, 40, 30},
         {90, 60, 140},
         {220, 200, 120},
         hgPointedHat,
         wrRobe,
         false,
         {"staff_", "rod_"}},
        {"Baroness01",
         false,
         0.96f,
         0.9f,
         fair,
         red,
         {130, 30, 60},
         {90, 40, 50},
         {70, 40, 30},
         {40, 100, 60},
         {230, 210, 150},
         hgLongHair,
         wrGown,
         true,
         {"bow_", "crossbow_"}},
        {"Levy01",
         false,
         0.98f,
         1.0f,
         tan,
         brown,
         {130, 110, 70},
         {90, 80, 60},
         {80, 60, 40},
         {0, 0, 0},
         {150, 120, 80},
         hgCap,
         wrTunic,
         false,
         {"spear_"}},
        {"LevyArcher01",
         false,
         0.98f,
         0.97f,
         fair,
         blond,
         {90, 120, 60},
         {100, 90, 60},
         {80, 60, 40},
         {0, 0, 0},
         {160, 140, 90},
         hgCap,
         wrTunic,
         false,
         {"bow_"}},
        {"Militia01",
         false,
         1.0f,
         1.02f,
         tan,
         black,
         {150, 40, 40},
         {80, 70, 60},
         {70, 50, 30},
         {0, 0, 0},
         {220, 220, 200},
         hgKettle,
         wrMail,
         false,
         {"spear_", "pike_"}},
        {"MilitiaBow01",
         false,
         1.0f,
         1.0f,
         fair,
         brown,
         {150, 40, 40},
         {90, 90, 70},
         {70, 50, 30},
         {0, 0, 0},
         {220, 220, 200},
         hgKettle,
         wrLeather,
         false,
         {"bow_"}},
        {"Pikeman01",
         false,
         1.02f,
         1.05f,
         tan,
         brown,
         {200, 170, 40},
         {60, 60, 70},
         {60, 45, 30},
         {0, 0, 0},
         {40, 40, 40},
         hgKettle,
         wrMail,
         false,
         {"pike_"}},
        {"Crossbow01",
         false,
         1.0f,
         1.04f,
         fair,
         black,
         {60, 130, 140},
         {70, 70, 70},
         {60, 45, 30},
         {0, 0, 0},
         {200, 200, 200},
         hgKettle,
         wrMail,
         false,
         {"crossbow_"}},
        {"Footpad01",
         false,
         0.97f,
         0.95f,
         tan,
         black,
         {80, 80, 70},
         {60, 55, 50},
         {50, 40, 30},
         {50, 50, 45},
         {120, 40, 30},
         hgHood,
         wrLeather,
         true,
         {}},
        {"Cutthroat01",
         false,
         0.99f,
         0.98f,
         dark,
         black,
         {50, 50, 55},
         {40, 40, 40},
         {40, 30, 25},
         {30, 30, 30},
         {160, 20, 20},
         hgHood,
         wrLeather,
         true,
         {"double_", "sword_"}},
        {"Poacher01",
         false,
         0.98f,
         1.0f,
         tan,
         brown,
         {70, 100, 50},
         {90, 70, 50},
         {70, 50, 30},
         {60, 80, 40},
         {130, 100, 60},
         hgHood,
         wrLeather,
         true,
         {"bow_"}},
        {"Brigand01",
         false,
         1.05f,
         1.12f,
         tan,
         red,
         {120, 60, 30},
         {70, 60, 50},
         {50, 35, 25},
         {90, 30, 30},
         {200, 170, 80},
         hgCap,
         wrLeather,
         true,
         {"shield_", "blunt_"}},
        {"ManAtArms01",
         false,
         1.03f,
         1.08f,
         fair,
         brown,
         {200, 200, 210},
         {60, 60, 70},
         {50, 45, 40},
         {0, 0, 0},
         {170, 30, 30},
         hgBarbute,
         wrPlate,
         false,
         {"shield_", "sword_", "blunt_", "2hsword_"}},
        {"Marksman01",
         false,
         1.0f,
         1.02f,
         tan,
         black,
         {40, 80, 60},
         {60, 60, 60},
         {50, 40, 30},
         {0, 0, 0},
         {210, 180, 60},
         hgBarbute,
         wrMail,
         false,
         {"crossbow_", "bow_"}},
        {"Healer01",
         false,
         0.97f,
         0.98f,
         fair,
         grey,
         {220, 210, 180},
         {120, 110, 90},
         {90, 70, 50},
         {0, 0, 0},
         {60, 130, 60},
         hgHood,
         wrRobe,
         false,
         {"staff_"}},
        {"Knight02",
         false,
         1.05f,
         1.1f,
         fair,
         blond,
         {170, 30, 40},
         {80, 80, 90},
         {60, 50, 40},
         {150, 30, 30},
         {240, 240, 240},
         hgGreatHelm,
         wrPlate,
         true,
         {"horse_", "shield_", "2hsword_", "blunt_"}},
        {"ArcherCaptain01",
         false,
         1.02f,
         1.04f,
         tan,
         brown,
         {30, 90, 50},
         {70, 60, 50},
         {60, 40, 25},
         {30, 80, 40},
         {230, 200, 60},
         hgBarbute,
         wrMail,
         true,
         {"crossbow_", "bow_"}},
        {"Thaumaturge01",
         false,
         1.03f,
         0.97f,
         fair,
         {230, 230, 230},
         {30, 40, 120},
         {30, 30, 60},
         {40, 30, 30},
         {20, 30, 90},
         {240, 200, 60},
         hgPointedHat,
         wrRobe,
         true,
         {"rod_", "staff_"}},
        {"Warden01",
         false,
         1.03f,
         1.1f,
         tan,
         grey,
         {90, 90, 100},
         {60, 60, 60},
         {50, 45, 40},
         {0, 0, 0},
         {220, 160, 40},
         hgKettle,
         wrPlate,
         false,
         {"spear_", "pike_"}},
        {"TowerArcher01",
         false,
         1.0f,
         1.0f,
         fair,
         blond,
         {110, 110, 130},
         {70, 70, 80},
         {60, 45, 30},
         {0, 0, 0},
         {40, 60, 150},
         hgCap,
         wrMail,
         false,
         {"bow_", "crossbow_"}},
        {"Wolf01",
         true,
         1.0f,
         1.0f,
         {120, 115, 110},
         {80, 78, 75},
         {0, 0, 0},
         {0, 0, 0},
         {0, 0, 0},
         {0, 0, 0},
         {230, 220, 200},
         hgBeast,
         wrFur,
         false,
         {}},
    };
    return looks;
}

// ---------------------------------------------------------------------------
// Geometry

inline TRegion CellRegion(TCell cell)
{
    const int32_t c = static_cast<int32_t>(cell);
    return ArtLand::AtlasCell(c % 4, c / 4, 4, 1e6f, 0.02f);
}

// A closed box over the ranges, riding on one bone.
inline void BoneBox(TShape& s, TBone bone, float x0, float x1, float y0, float y1, float z0, float z1, TCell cell)
{
    const size_t first = s.Vertices.size();
    const TRegion r = CellRegion(cell);
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

// A box around the segment from one joint to another (x and z half sizes).
inline void Limb(TShape& s, const TBodyPlan& p, TBone bone, TBone to, float hx, float hz, TCell cell,
                 float extend = 0.02f)
{
    const TVec3 a = p.Joint[bone], b = p.Joint[to];
    const float x = (a.x + b.x) / 2, z = (a.z + b.z) / 2;
    BoneBox(s, bone, x - hx, x + hx, std::min(a.y, b.y) - extend, std::max(a.y, b.y) + extend, z - hz, z + hz, cell);
}

inline TShape HumanBody(const TFigureLook& look, const TBodyPlan& p)
{
    TShape s;
    const float h = look.Height, w = look.Bulk;
    auto y = [&](float v) { return v * h; };
    auto x = [&](float v) { return v * w; };
    const bool robe = look.Wear == wrRobe || look.Wear == wrGown;
    const TCell torso = look.Wear == wrPlate     ? cePlate
                        : look.Wear == wrMail    ? ceMail
                        : look.Wear == wrLeather ? ceLeather
                                                 : ceTunic;
    // Trunk.
    BoneBox(s, bPelvis, x(-0.16f), x(0.16f), y(0.86f), y(1.07f), -0.10f, 0.10f, robe ? ceTunic : ceTrousers);
    BoneBox(s, bSpine1, x(-0.15f), x(0.15f), y(1.05f), y(1.22f), -0.09f, 0.09f, torso);
    BoneBox(s, bSpine2, x(-0.18f), x(0.18f), y(1.20f), y(1.37f), -0.11f, 0.11f, torso);
    BoneBox(s, bChest, x(-0.20f), x(0.20f), y(1.35f), y(1.52f), -0.12f, 0.12f, torso);
    BoneBox(s, bPelvis, x(-0.17f), x(0.17f), y(1.03f), y(1.09f), -0.11f, 0.11f, ceBelt);
    // The tabard or surcoat over armour, in the unit's colour.
    if (look.Wear == wrPlate || look.Wear == wrMail)
        BoneBox(s, bSpine2, x(-0.14f), x(0.14f), y(1.05f), y(1.45f), -0.125f, -0.11f, ceTunic);
    if (look.Wear == wrPlate)
        for (float side : {-1.0f, 1.0f})
            BoneBox(s, side < 0 ? bClavR : bClavL, x(side * 0.15f) - 0.09f, x(side * 0.15f) + 0.09f, y(1.40f), y(1.52f),
                    -0.11f, 0.11f, cePlate);
    // Skirts: a robe or gown to the ankles (riding on the pelvis, so it
    // stays put while the legs step inside it), a tunic to the thighs.
    if (robe)
        BoneBox(s, bPelvis, x(-0.20f), x(0.20f), y(0.12f), y(0.90f), -0.15f, 0.15f, ceTunic);
    else
        BoneBox(s, bPelvis, x(-0.18f), x(0.18f), y(0.74f), y(0.90f), -0.12f, 0.12f, torso);
    if (look.Cape)
        BoneBox(s, bChest, x(-0.19f), x(0.19f), y(0.55f), y(1.50f), 0.125f, 0.15f, ceCloak);
    // Neck and head with its face on the front.
    Limb(s, p, bNeck, bHead, 0.05f, 0.05f, ceSkin);
    BoneBox(s, bHead, -0.10f, 0.10f, y(1.58f), y(1.80f), -0.10f, 0.11f, ceSkin);
    BoneBox(s, bHead, -0.085f, 0.085f, y(1.60f), y(1.76f), -0.11f, -0.10f, ceFace);
    switch (look.Headgear) {
    case hgHair:
        BoneBox(s, bHead, -0.11f, 0.11f, y(1.74f), y(1.83f), -0.09f, 0.12f, ceHair);
        break;
    case hgLongHair:
        BoneBox(s, bHead, -0.11f, 0.11f, y(1.74f), y(1.83f), -0.10f, 0.12f, ceHair);
        BoneBox(s, bHead, -0.12f, 0.12f, y(1.38f), y(1.76f), 0.06f, 0.13f, ceHair);
        BoneBox(s, bCrest, -0.04f, 0.04f, y(1.79f), y(1.86f), -0.06f, 0.02f, ceAccent);
        break;
    case hgCap:
        BoneBox(s, bHead, -0.115f, 0.115f, y(1.73f), y(1.85f), -0.115f, 0.12f, ceLeather);
        break;
    case hgKettle:
        BoneBox(s, bHead, -0.115f, 0.115f, y(1.72f), y(1.86f), -0.115f, 0.125f, ceMail);
        BoneBox(s, bHead, -0.20f, 0.20f, y(1.72f), y(1.745f), -0.20f, 0.21f, ceMail);
        break;
    case hgBarbute:
        BoneBox(s, bHead, -0.12f, 0.12f, y(1.62f), y(1.86f), -0.06f, 0.125f, cePlate);
        BoneBox(s, bHead, -0.12f, -0.03f, y(1.57f), y(1.86f), -0.12f, -0.06f, cePlate);
        BoneBox(s, bHead, 0.03f, 0.12f, y(1.57f), y(1.86f), -0.12f, -0.06f, cePlate);
        BoneBox(s, bHead, -0.12f, 0.12f, y(1.78f), y(1.86f), -0.12f, -0.06f, cePlate);
        break;
    case hgGreatHelm:
        BoneBox(s, bHead, -0.125f, 0.125f, y(1.56f), y(1.88f), -0.125f, 0.13f, cePlate);
        BoneBox(s, bHead, -0.10f, 0.10f, y(1.73f), y(1.75f), -0.13f, -0.12f, ceDark);
        BoneBox(s, bCrest, -0.02f, 0.02f, y(1.88f), y(2.00f), -0.10f, 0.10f, ceAccent);
        break;
    case hgHood:
        BoneBox(s, bHead, -0.125f, 0.125f, y(1.60f), y(1.86f), -0.07f, 0.13f, ceCloak);
        BoneBox(s, bHead, -0.125f, 0.125f, y(1.80f), y(1.86f), -0.12f, -0.07f, ceCloak);
        BoneBox(s, bNeck, x(-0.17f), x(0.17f), y(1.44f), y(1.56f), -0.13f, 0.13f, ceCloak);
        break;
    case hgPointedHat:
        BoneBox(s, bHead, -0.20f, 0.20f, y(1.79f), y(1.81f), -0.20f, 0.21f, ceCloak);
        BoneBox(s, bHead, -0.11f, 0.11f, y(1.79f), y(1.92f), -0.10f, 0.11f, ceCloak);
        BoneBox(s, bCrest, -0.06f, 0.06f, y(1.92f), y(2.04f), -0.05f, 0.06f, ceCloak);
        BoneBox(s, bCrest, -0.025f, 0.025f, y(2.04f), y(2.12f), -0.02f, 0.03f, ceAccent);
        BoneBox(s, bHead, -0.07f, 0.07f, y(1.50f), y(1.62f), -0.12f, -0.09f, ceHair); // beard
        break;
    case hgBeast:
        break;
    }
    // Arms and legs.
    const TCell sleeve = look.Wear == wrPlate ? cePlate : look.Wear == wrMail ? ceMail : robe ? ceTunic : torso;
    for (int32_t side = 0; side < 2; side++) {
        const int32_t a = side == 0 ? 0 : bClavL - bClavR, l = side == 0 ? 0 : bThighL - bThighR;
        const auto B = [](int32_t b) { return static_cast<TBone>(b); };
        Limb(s, p, B(bUpperArmR + a), B(bForearmR + a), 0.06f * w, 0.06f, sleeve);
        Limb(s, p, B(bForearmR + a), B(bHandR + a), 0.05f * w, 0.05f, look.Wear == wrPlate ? cePlate : sleeve);
        Limb(s, p, B(bHandR + a), B(bHPRight + a), 0.04f, 0.045f, look.Wear == wrPlate ? ceDark : ceSkin, 0.03f);
        if (robe)
            continue; // the skirt hides the legs but for the feet
        Limb(s, p, B(bThighR + l), B(bShinR + l), 0.075f * w, 0.075f, look.Wear == wrPlate ? cePlate : ceTrousers);
        Limb(s, p, B(bShinR + l), B(bFootR + l), 0.062f * w, 0.065f, look.Wear == wrPlate ? cePlate : ceBoots);
    }
    for (int32_t side = 0; side < 2; side++) {
        const float fx = p.Joint[side == 0 ? bFootR : bFootL].x;
        const TBone foot = side == 0 ? bFootR : bFootL;
        BoneBox(s, foot, fx - 0.06f, fx + 0.06f, 0, y(0.11f), -0.17f, 0.07f, ceBoots);
    }
    return s;
}

inline TShape BeastBody(const TBodyPlan& p)
{
    TShape s;
    BoneBox(s, bPelvis, -0.13f, 0.13f, 0.42f, 0.68f, 0.20f, 0.46f, ceFur);
    BoneBox(s, bSpine1, -0.14f, 0.14f, 0.42f, 0.70f, 0.00f, 0.22f, ceFur);
    BoneBox(s, bSpine2, -0.15f, 0.15f, 0.42f, 0.72f, -0.20f, 0.02f, ceFur);
    BoneBox(s, bChest, -0.16f, 0.16f, 0.40f, 0.74f, -0.38f, -0.18f, ceFur);
    BoneBox(s, bNeck, -0.10f, 0.10f, 0.56f, 0.78f, -0.48f, -0.34f, ceHair);
    BoneBox(s, bHead, -0.10f, 0.10f, 0.64f, 0.84f, -0.62f, -0.44f, ceFur);
    BoneBox(s, bHead, -0.05f, 0.05f, 0.64f, 0.74f, -0.78f, -0.60f, ceFur);    // muzzle
    BoneBox(s, bHead, -0.02f, 0.02f, 0.71f, 0.75f, -0.80f, -0.77f, ceDark);   // nose
    BoneBox(s, bHead, -0.09f, 0.09f, 0.76f, 0.80f, -0.625f, -0.615f, ceEyes); // eyes
    for (float side : {-1.0f, 1.0f})
        BoneBox(s, bCrest, side * 0.07f - 0.03f, side * 0.07f + 0.03f, 0.84f, 0.94f, -0.52f, -0.48f, ceHair);
    // The tail rides on the pelvis.
    BoneBox(s, bPelvis, -0.04f, 0.04f, 0.38f, 0.62f, 0.46f, 0.56f, ceHair);
    for (int32_t side = 0; side < 2; side++) {
        const int32_t a = side == 0 ? 0 : bClavL - bClavR, l = side == 0 ? 0 : bThighL - bThighR;
        const auto B = [](int32_t b) { return static_cast<TBone>(b); };
        Limb(s, p, B(bUpperArmR + a), B(bForearmR + a), 0.05f, 0.06f, ceFur);
        Limb(s, p, B(bForearmR + a), B(bHandR + a), 0.04f, 0.045f, ceFur);
        Limb(s, p, B(bHandR + a), B(bHPRight + a), 0.045f, 0.06f, ceHair, 0.03f);
        Limb(s, p, B(bThighR + l), B(bShinR + l), 0.06f, 0.08f, ceFur);
        Limb(s, p, B(bShinR + l), B(bFootR + l), 0.04f, 0.045f, ceFur);
        Limb(s, p, B(bFootR + l), B(bToeR + l), 0.045f, 0.06f, ceHair, 0.03f);
    }
    return s;
}

// ---------------------------------------------------------------------------
// Textures

// A cell's look: base colour, pattern height, gloss (0..255).
inline void CellTexel(const TFigureLook& look, TCell cell, float u, float v, uint32_t size, TColour& colour,
                      float& height, float& gloss)
{
    const float n = ArtLand::Hash01(static_cast<int32_t>(u * size), static_cast<int32_t>(v * size),
                                    static_cast<uint32_t>(cell) * 977u + 13u) -
                    0.5f;
    const float weave = std::sin(u * 6.2831853f * 8) * std::sin(v * 6.2831853f * 8);
    height = 0;
    gloss = 20;
    switch (cell) {
    case ceSkin:
        colour = look.Skin;
        height = n * 0.2f;
        break;
    case ceHair:
        colour = ArtLand::Scaled(look.Hair, 0.9f + 0.25f * std::sin(u * 40 + n));
        height = std::sin(u * 40);
        gloss = 40;
        break;
    case ceTunic:
        colour = ArtLand::Scaled(look.Tunic, 1 + 0.08f * weave + 0.1f * n);
        height = weave * 0.5f;
        break;
    case ceTrousers:
        colour = ArtLand::Scaled(look.Trousers, 1 + 0.06f * weave + 0.1f * n);
        height = weave * 0.5f;
        break;
    case ceBoots:
        colour = ArtLand::Scaled(look.Boots, 1 + 0.15f * n);
        gloss = 50;
        break;
    case ceMail: {
        const float ring = std::fabs(std::sin(u * 6.2831853f * 6) * std::sin(v * 6.2831853f * 8));
        colour = ArtLand::Scaled({150, 152, 158}, 0.7f + 0.4f * ring);
        height = ring;
        gloss = 170;
        break;
    }
    case cePlate:
        colour = ArtLand::Mix({200, 204, 212}, {120, 124, 134}, std::clamp(v + 0.2f * n, 0.0f, 1.0f));
        gloss = 240;
        height = v < 0.08f || v > 0.92f ? 1.0f : 0.0f;
        break;
    case ceLeather:
        colour = ArtLand::Scaled({120, 84, 52}, 1 + 0.2f * n);
        height = n;
        gloss = 60;
        break;
    case ceCloak:
        colour = ArtLand::Scaled(look.Cloak.R + look.Cloak.G + look.Cloak.B > 0 ? look.Cloak : look.Tunic,
                                 0.9f + 0.15f * std::sin(u * 6.2831853f * 3) + 0.05f * n);
        height = std::sin(u * 6.2831853f * 3);
        break;
    case ceAccent:
        colour = look.Accent;
        gloss = 160;
        break;
    case ceFace: {
        colour = look.Skin;
        // Two eyes and a mouth, legible from afar.
        const bool eye = v > 0.3f && v < 0.45f && ((u > 0.2f && u < 0.38f) || (u > 0.62f && u < 0.8f));
        const bool mouth = v > 0.72f && v < 0.8f && u > 0.35f && u < 0.65f;
        if (eye)
            colour = {40, 40, 50};
        else if (mouth)
            colour = ArtLand::Scaled(look.Skin, 0.6f);
        height = eye || mouth ? -0.5f : 0;
        break;
    }
    case ceDark:
        colour = {30, 30, 34};
        gloss = 100;
        break;
    case ceFur:
        colour = ArtLand::Scaled(look.Skin, 0.85f + 0.3f * n + 0.1f * std::sin(v * 60));
        height = std::sin(v * 60) * 0.5f + n;
        break;
    case ceEyes:
        colour = {230, 190, 60};
        gloss = 200;
        break;
    case ceBelt:
        colour = ArtLand::Mix(ArtLand::Scaled({90, 60, 35}, 1 + 0.2f * n), {210, 180, 80},
                              u > 0.45f && u < 0.55f ? 1.0f : 0.0f);
        gloss = 80;
        break;
    default:
        colour = {200, 200, 200};
        break;
    }
}

struct TFigureTextures {
    TPicture Diffuse, Specular;
    TFigureTextures(uint32_t size) : Diffuse(size, size), Specular(size, size, false) {}
};

inline TFigureTextures PaintFigure(const TFigureLook& look, uint32_t size)
{
    TFigureTextures t(size);
    const uint32_t cell = size / 4;
    for (uint32_t y = 0; y < size; y++)
        for (uint32_t x = 0; x < size; x++) {
            const TCell c = static_cast<TCell>((y / cell) * 4 + x / cell);
            const float u = (static_cast<float>(x % cell) + 0.5f) / static_cast<float>(cell);
            const float v = (static_cast<float>(y % cell) + 0.5f) / static_cast<float>(cell);
            TColour colour;
            float height = 0, gloss = 0;
            CellTexel(look, c, u, v, cell, colour, height, gloss);
            t.Diffuse.Put(x, y, colour, height);
            t.Specular.Put(x, y, {gloss, gloss, gloss});
        }
    return t;
}

} // namespace ArtPers
