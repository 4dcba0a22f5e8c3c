// The landscape art's plants and stones: trees of a trunk, a crown of
// crossed quads and tufts at the foot, the small plants, and boulders.
// Local frame: the plant's foot at the origin.
#pragma once

#include <cmath>
#include <cstdint>

#include "model/scenario/ScenarioMap_Records.h"
#include "tools/artgen/ArtLandPaint.h"
#include "tools/artgen/ArtLandShapes.h"
#include "tools/artgen/ArtLandTextures.h"

namespace ArtLand {

// ---------------------------------------------------------------------------
// Trees: a trunk, a crown of crossed quads (three standing, two lying for the
// view from above), and grass and flowers at the foot. Under 60 vertices a
// model.

struct TTreeArt {
    TShape Trunk, Coma, Grass, Flowers;
};

// Quads standing through the axis from y0 to y1, n of them turned evenly.
inline void CrossedQuads(TShape& s, float radius, float y0, float y1, int32_t n, const TRegion& r, float turn)
{
    for (int32_t i = 0; i < n; i++) {
        const float a = turn + 3.1415927f * static_cast<float>(i) / static_cast<float>(n);
        const float dx = radius * std::cos(a), dz = radius * std::sin(a);
        s.Quad({-dx, y0, -dz}, {dx, y0, dz}, {dx, y1, dz}, {-dx, y1, -dz}, r, {-dz, (y0 + y1) / 2, dx});
    }
}

// A quad lying at height y, seen from above.
inline void LyingQuad(TShape& s, float radius, float y, const TRegion& r, float turn)
{
    const float c = radius * std::cos(turn), sn = radius * std::sin(turn);
    s.Quad({-c + sn, y, -sn - c}, {c + sn, y, sn - c}, {c - sn, y, sn + c}, {-c - sn, y, -sn + c}, r, {0, y - 1, 0});
}

// A tuft of two crossed quads standing at (x, z).
inline void Tuft(TShape& s, float x, float z, float radius, float high, const TRegion& r, float turn)
{
    TShape tuft;
    CrossedQuads(tuft, radius, -0.05f, high, 2, r, turn);
    s.Append(tuft, x, z);
}

struct TTreeShape {
    TForestCell Bark, Crown;
    float TrunkRadius, TrunkHigh, CrownRadius, CrownBottom, CrownTop;
    bool Conifer;
};

inline TTreeArt TallTree(const TTreeShape& t, int32_t variant)
{
    const float grow = 0.85f + 0.15f * static_cast<float>(variant), wide = 1.1f - 0.1f * static_cast<float>(variant);
    const float turn = 0.5f * static_cast<float>(variant);
    TTreeArt tree;
    const TRegion bark = ForestRegion(t.Bark);
    tree.Trunk.Prism(0, 0, t.TrunkRadius, -0.3f, t.TrunkHigh * grow, t.Conifer ? 3 : 4, Once(bark), nullptr, turn);
    const float r = t.CrownRadius * wide, y0 = t.CrownBottom * grow, y1 = t.CrownTop * grow;
    if (t.Conifer) {
        CrossedQuads(tree.Coma, r, y0, y1, 3, ForestRegion(fcSpruce), turn);
        LyingQuad(tree.Coma, r * 0.8f, y0 + (y1 - y0) * 0.25f, ForestRegion(fcPine), turn);
        LyingQuad(tree.Coma, r * 0.45f, y0 + (y1 - y0) * 0.6f, ForestRegion(fcPine), turn + 0.7f);
    } else {
        CrossedQuads(tree.Coma, r, y0, y1, 3, ForestRegion(t.Crown), turn);
        LyingQuad(tree.Coma, r * 0.9f, y0 + (y1 - y0) * 0.45f, ForestRegion(t.Crown), turn);
        LyingQuad(tree.Coma, r * 0.7f, y0 + (y1 - y0) * 0.75f, ForestRegion(t.Crown), turn + 0.8f);
    }
    Tuft(tree.Grass, 0.1f, 0.1f, 0.7f, 0.55f, ForestRegion(fcGrass), turn + 0.3f);
    Tuft(tree.Flowers, 0.6f, -0.4f, 0.35f, 0.45f, ForestRegion(fcFlowers), turn);
    return tree;
}

// The shape of a tall kind; a trunk height of 0 for the small plants.
inline TTreeShape TallShape(TTreeKind kind)
{
    switch (kind) {
    case TTreeKind::Aspen:
        return {fcBark, fcLightCrown, 0.12f, 2.6f, 0.9f, 1.6f, 4.6f, false};
    case TTreeKind::Maple:
        return {fcBark, fcMapleCrown, 0.16f, 2.0f, 1.6f, 1.2f, 4.0f, false};
    case TTreeKind::Birch:
        return {fcBirchBark, fcLightCrown, 0.11f, 2.8f, 1.0f, 1.8f, 4.8f, false};
    case TTreeKind::Oak:
        return {fcBark, fcDarkCrown, 0.22f, 1.8f, 1.9f, 1.3f, 4.3f, false};
    case TTreeKind::Spruce:
        return {fcPineBark, fcSpruce, 0.14f, 1.2f, 1.2f, 0.5f, 5.2f, true};
    case TTreeKind::Pine:
        return {fcPineBark, fcPine, 0.13f, 3.8f, 1.3f, 3.2f, 5.0f, false};
    case TTreeKind::Apple:
        return {fcBark, fcAppleCrown, 0.14f, 1.4f, 1.4f, 0.9f, 3.0f, false};
    case TTreeKind::Dry:
        return {fcBark, fcDryTwigs, 0.15f, 2.2f, 1.4f, 1.0f, 4.2f, false};
    default:
        return {fcBark, fcBush, 0, 0, 0, 0, 0, false};
    }
}

inline TTreeArt SmallPlant(TTreeKind kind, int32_t variant)
{
    TTreeArt p;
    const float turn = 0.7f * static_cast<float>(variant);
    const float grow = 1.0f + 0.2f * static_cast<float>(variant);
    switch (kind) {
    case TTreeKind::Bush:
        CrossedQuads(p.Coma, 0.8f * grow, -0.1f, 1.3f * grow, 3, ForestRegion(fcBush), turn);
        LyingQuad(p.Coma, 0.75f * grow, 0.7f * grow, ForestRegion(fcBush), turn);
        Tuft(p.Grass, 0, 0, 0.8f, 0.5f, ForestRegion(fcGrass), turn + 0.4f);
        break;
    case TTreeKind::Hummock:
        for (int32_t i = 0; i < 3; i++)
            Tuft(p.Grass, 0.4f * std::cos(turn + 2.1f * static_cast<float>(i)),
                 0.4f * std::sin(turn + 2.1f * static_cast<float>(i)), 0.45f * grow, 0.5f, ForestRegion(fcTufts),
                 turn + static_cast<float>(i));
        break;
    case TTreeKind::Flowers:
        for (int32_t i = 0; i < 3; i++)
            Tuft(p.Flowers, 0.5f * std::cos(turn + 2.1f * static_cast<float>(i)),
                 0.5f * std::sin(turn + 2.1f * static_cast<float>(i)), 0.4f, 0.5f, ForestRegion(fcFlowers),
                 turn + static_cast<float>(i));
        Tuft(p.Grass, 0, 0, 0.6f, 0.45f, ForestRegion(fcGrass), turn);
        break;
    case TTreeKind::Stump: {
        const TRegion bark = ForestRegion(fcBark), rings = ForestRegion(fcStumpTop);
        p.Trunk.Prism(0, 0, 0.28f * grow, -0.3f, 0.45f, 5, Once(bark), &rings, turn);
        break;
    }
    default: // Grass
        for (int32_t i = 0; i < 3; i++)
            Tuft(p.Grass, 0.45f * std::cos(turn + 2.1f * static_cast<float>(i)),
                 0.45f * std::sin(turn + 2.1f * static_cast<float>(i)), 0.5f * grow, 0.7f,
                 ForestRegion(i == 0 ? fcTallGrass : fcGrass), turn + static_cast<float>(i));
        break;
    }
    return p;
}

// ---------------------------------------------------------------------------
// Stones

// A boulder: an octahedron split once, its points pushed in and out.
inline TShape Boulder(float radius, float flat, uint32_t seed)
{
    const TVec3 axes[6] = {{1, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}};
    auto bump = [&](const TVec3& direction) {
        const TVec3 d = Unit(direction);
        const float h = Hash01(static_cast<int32_t>(std::lround(d.x * 8 + 16)),
                               static_cast<int32_t>(std::lround(d.y * 8 + 16) * 64 + std::lround(d.z * 8 + 16)), seed);
        const float r = radius * (0.8f + 0.4f * h);
        return TVec3{d.x * r, d.y * r * flat + radius * flat * 0.6f, d.z * r};
    };
    TShape s;
    // One block of the weathered stone, without its mortar.
    const TRegion rock = Part(Reg(bcRuinStone), 0.15f, 0.16f, 0.3f, 0.22f);
    const TVec3 centre = {0, radius * flat * 0.6f, 0};
    for (int32_t i = 0; i < 4; i++)
        for (int32_t top = 4; top <= 5; top++) {
            const TVec3 a = axes[i], b = axes[(i + 1) % 4], c = axes[top];
            const TVec3 ab = bump(Add(a, b)), bc = bump(Add(b, c)), ca = bump(Add(c, a));
            const TVec3 pa = bump(a), pb = bump(b), pc = bump(c);
            const TVec3 tris[4][3] = {{pa, ab, ca}, {ab, pb, bc}, {ca, bc, pc}, {ab, bc, ca}};
            for (const auto& t : tris)
                s.Tri(t[0], t[1], t[2], rock.U0, rock.V1, rock.U1, rock.V1, (rock.U0 + rock.U1) / 2, rock.V0, centre);
        }
    return s;
}

} // namespace ArtLand
