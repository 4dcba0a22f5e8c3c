// The landscape art's textures: the ground kinds' land and hill atlases,
// the water's ripples and sky, the error checker, the forest atlas and the
// building atlas, painted from periodic noise.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/artgen/ArtLandPaint.h"
#include "tools/artgen/ArtLandShapes.h"

namespace ArtLand {

// ---------------------------------------------------------------------------
// Ground kinds of the land and hill atlases

// The ground kinds of the terrain layers, 1..16, in atlas order.
enum TGroundKind : int32_t {
    gkSand = 1,
    gkPebble,
    gkSwamp,
    gkHummocks,
    gkGrassWater,
    gkGrassFlat,
    gkGrassStepp,
    gkGrassHill,
    gkGrassForest,
    gkArable,
    gkField,
    gkRoad,
    gkStoneRoad,
    gkDust,
    gkGreenRock,
    gkHardRock,
};
constexpr int32_t GroundKindCount = 16;

// An atlas tile is 512 texels; a 16 x 16 block of cells shows texels 6..506
// of it, so the patterns repeat every 500 texels from texel 6 and the
// blocks meet without a seam.
constexpr uint32_t TileSize = 512;
constexpr int32_t TilePeriod = 500;
constexpr int32_t TileMargin = 6;

struct TTexel {
    TColour Colour;
    float Height = 0;
};

inline float Wave(float t, float period)
{
    return 0.5f + 0.5f * std::sin(TwoPi * t / period);
}

inline TColour Rgb(float r, float g, float b)
{
    return {r, g, b};
}

inline TTexel Ground(int32_t kind, float x, float y)
{
    const uint32_t s = static_cast<uint32_t>(kind) * 101u;
    const float broad = Fractal(x, y, 100, TilePeriod, s);
    const float fine = Fractal(x, y, 20, TilePeriod, s + 11);
    const float grain = Noise(x, y, 4, 4, TilePeriod, s + 23);
    TTexel t;
    switch (kind) {
    case gkSand: {
        const float ripple = Wave(y + 14 * broad, 25);
        t.Colour =
            Scaled(Mix(Rgb(206, 182, 128), Rgb(238, 220, 168), 0.6f * ripple + 0.4f * grain), 0.9f + 0.2f * broad);
        t.Height = 0.6f * ripple + 0.2f * grain;
        break;
    }
    case gkPebble: {
        const TCellular c = Cellular(x, y, 25, TilePeriod, s);
        const float inside = 1 - c.F1 / 0.42f;
        if (inside > 0) {
            const float shade = 0.75f + 0.35f * static_cast<float>(c.Id % 100) / 100;
            t.Colour = Scaled(Mix(Rgb(150, 150, 156), Rgb(176, 150, 120), static_cast<float>(c.Id % 7) / 7), shade);
            t.Height = std::sqrt(inside);
        } else {
            t.Colour = Scaled(Rgb(118, 108, 88), 0.8f + 0.4f * grain);
        }
        break;
    }
    case gkSwamp: {
        if (broad > 0.56f) {
            t.Colour = Scaled(Rgb(34, 52, 50), 0.9f + 0.2f * fine);
            t.Height = -0.3f;
        } else {
            t.Colour = Scaled(Mix(Rgb(70, 82, 40), Rgb(96, 98, 48), fine), 0.85f + 0.3f * grain);
            t.Height = fine;
        }
        if (grain > 0.9f && broad <= 0.56f)
            t.Colour = Rgb(120, 124, 60);
        break;
    }
    case gkHummocks: {
        const TCellular c = Cellular(x, y, 50, TilePeriod, s);
        const float dome = 1 - c.F1 / 0.36f;
        if (dome > 0) {
            t.Colour = Scaled(Mix(Rgb(150, 146, 68), Rgb(118, 130, 56), Wave(x + y, 10)), 0.8f + 0.3f * dome);
            t.Height = dome * 1.5f;
        } else {
            t.Colour = Scaled(Rgb(82, 86, 46), 0.8f + 0.3f * fine);
        }
        break;
    }
    case gkGrassWater: {
        const float streak = Noise(x, y, 50, 4, TilePeriod, s + 5);
        t.Colour = Scaled(Mix(Rgb(56, 120, 96), Rgb(44, 92, 104), broad), 0.75f + 0.45f * streak);
        t.Height = streak;
        break;
    }
    case gkGrassFlat: {
        const float blade = Noise(x, y, 2, 10, TilePeriod, s + 5);
        t.Colour = Scaled(Mix(Rgb(84, 148, 52), Rgb(124, 178, 70), 0.5f * blade + 0.5f * fine), 0.85f + 0.25f * broad);
        t.Height = blade;
        if (Cellular(x, y, 25, TilePeriod, s + 9).F1 < 0.07f)
            t.Colour = Rgb(236, 226, 120);
        break;
    }
    case gkGrassStepp: {
        const float streak = Noise(x + y, y - x + 1000, 50, 5, TilePeriod, s + 5);
        t.Colour = Mix(Scaled(Rgb(176, 166, 86), 0.8f + 0.35f * streak), Rgb(118, 138, 70),
                       std::clamp((0.45f - broad) * 4, 0.0f, 1.0f));
        t.Height = streak;
        break;
    }
    case gkGrassHill: {
        t.Colour = Scaled(Mix(Rgb(72, 112, 50), Rgb(122, 110, 62), std::clamp((broad - 0.45f) * 3, 0.0f, 1.0f)),
                          0.8f + 0.35f * fine);
        t.Height = fine + broad;
        break;
    }
    case gkGrassForest: {
        const TCellular c = Cellular(x, y, 20, TilePeriod, s);
        t.Colour = Scaled(Rgb(44, 88, 38), 0.8f + 0.4f * fine);
        if (c.F1 < 0.28f) {
            t.Colour = Mix(Rgb(112, 78, 42), Rgb(150, 96, 40), static_cast<float>(c.Id % 5) / 5);
            t.Height = 0.5f;
        }
        break;
    }
    case gkArable: {
        const float ridge = Wave(y + 4 * grain, 20);
        t.Colour = Scaled(Mix(Rgb(86, 58, 38), Rgb(140, 100, 64), ridge), 0.85f + 0.3f * grain);
        t.Height = ridge * 1.5f;
        break;
    }
    case gkField: {
        const float row = Wave(x, 10);
        t.Colour = Scaled(Mix(Rgb(170, 136, 56), Rgb(226, 194, 92), row), 0.85f + 0.25f * fine);
        t.Height = row;
        const TCellular c = Cellular(x, y, 25, TilePeriod, s + 3);
        if (c.F1 < 0.09f && c.Id % 4 == 0)
            t.Colour = Rgb(200, 46, 36);
        break;
    }
    case gkRoad: {
        t.Colour = Scaled(Rgb(166, 134, 94), 0.8f + 0.3f * fine);
        t.Height = fine;
        const TCellular c = Cellular(x, y, 10, TilePeriod, s);
        if (c.F1 < 0.24f && c.Id % 3 == 0) {
            t.Colour = Scaled(Rgb(150, 144, 138), 0.9f + 0.2f * grain);
            t.Height = 1;
        }
        break;
    }
    case gkStoneRoad: {
        const int32_t row = static_cast<int32_t>(std::floor(y / 25));
        const float shifted = x + (row % 2 != 0 ? 12.5f : 0);
        const int32_t column = Wrap(static_cast<int32_t>(std::floor(shifted / 25)), 20);
        const float bx = std::fmod(shifted, 25.0f) - 12.5f, by = std::fmod(y, 25.0f) - 12.5f;
        const float edge = std::max(std::fabs(bx), std::fabs(by)) / 12.5f;
        const float stone =
            static_cast<float>(Hash(static_cast<uint32_t>(column), static_cast<uint32_t>(Wrap(row, 20)), s) % 100) /
            100;
        if (edge < 0.82f) {
            t.Colour = Scaled(Mix(Rgb(146, 142, 136), Rgb(170, 156, 130), stone), 0.85f + 0.2f * grain);
            t.Height = 1 - edge * edge;
        } else {
            t.Colour = Rgb(78, 72, 64);
        }
        break;
    }
    case gkDust: {
        const TCellular c = Cellular(x, y, 50, TilePeriod, s);
        t.Colour = Scaled(Rgb(208, 186, 144), 0.9f + 0.15f * broad);
        t.Height = 1;
        if (c.F2 - c.F1 < 0.05f) {
            t.Colour = Rgb(164, 142, 108);
            t.Height = 0;
        }
        break;
    }
    case gkGreenRock:
    case gkHardRock: {
        const bool green = kind == gkGreenRock;
        const TCellular c = Cellular(x, y, green ? 50 : 100, TilePeriod, s);
        const float band = green ? 0.5f : Wave(y + 20 * broad, 50);
        t.Colour =
            Scaled(green ? Rgb(112, 124, 102) : Mix(Rgb(84, 82, 82), Rgb(126, 120, 114), band), 0.8f + 0.35f * fine);
        t.Height = 1 - c.F1 + 0.5f * band;
        if (c.F2 - c.F1 < 0.04f) {
            t.Colour = Rgb(46, 46, 44);
            t.Height = 0;
        } else if (green && broad > 0.6f) {
            t.Colour = Mix(t.Colour, Rgb(76, 118, 56), std::min(1.0f, (broad - 0.6f) * 6));
        }
        break;
    }
    default:
        break;
    }
    return t;
}

// The same ground on a hill: rock strata show through it.
inline TTexel HillGround(int32_t kind, float x, float y, const TTexel& ground)
{
    const uint32_t s = static_cast<uint32_t>(kind) * 101u + 5000u;
    const float broad = Fractal(x, y, 125, TilePeriod, s);
    const float band = Wave(y + 40 * broad, 50);
    const TColour rock = Scaled(Mix(Rgb(104, 96, 86), Rgb(150, 140, 124), band), 0.85f + 0.3f * broad);
    const float share = kind >= gkGreenRock ? 0.25f : 0.45f;
    return {Mix(ground.Colour, rock, share), ground.Height * 0.6f + band * 1.2f};
}

// Both 4 x 4 atlases, tile k at column (k - 1) mod 4, row (k - 1) div 4.
inline void MakeGroundAtlases(TPicture& land, TPicture& hill)
{
    for (int32_t kind = 1; kind <= GroundKindCount; kind++) {
        const uint32_t x0 = static_cast<uint32_t>((kind - 1) % 4) * TileSize;
        const uint32_t y0 = static_cast<uint32_t>((kind - 1) / 4) * TileSize;
        for (uint32_t y = 0; y < TileSize; y++)
            for (uint32_t x = 0; x < TileSize; x++) {
                const float px = static_cast<float>(Wrap(static_cast<int32_t>(x) - TileMargin, TilePeriod));
                const float py = static_cast<float>(Wrap(static_cast<int32_t>(y) - TileMargin, TilePeriod));
                const TTexel g = Ground(kind, px, py);
                land.Put(x0 + x, y0 + y, g.Colour, g.Height);
                const TTexel h = HillGround(kind, px, py, g);
                hill.Put(x0 + x, y0 + y, h.Colour, h.Height);
            }
    }
}

// ---------------------------------------------------------------------------
// Water, sky and the error texture

inline TPicture Ripples(uint32_t seed, float turn)
{
    constexpr uint32_t size = 256;
    TPicture p(size, size);
    const float c = std::cos(turn), s = std::sin(turn);
    for (uint32_t y = 0; y < size; y++)
        for (uint32_t x = 0; x < size; x++) {
            const float fx = static_cast<float>(x), fy = static_cast<float>(y);
            // Whole waves across the tile in both directions keep it seamless.
            const float a = std::sin(TwoPi * (3 * fx + 2 * fy) / size + 2 * c);
            const float b = std::sin(TwoPi * (-2 * fx + 5 * fy) / size + 3 * s);
            const float n = Fractal(fx, fy, 32, static_cast<int32_t>(size), seed);
            p.Put(x, y, {}, 0.6f * a + 0.4f * b + 2.0f * n);
        }
    return NormalMap(p, 2.5f, size);
}

inline TPicture Sky()
{
    constexpr uint32_t size = 256;
    TPicture p(size, size);
    for (uint32_t y = 0; y < size; y++)
        for (uint32_t x = 0; x < size; x++) {
            const float t = static_cast<float>(y) / (size - 1);
            const TColour sky = Mix(Rgb(62, 112, 196), Rgb(206, 224, 242), t);
            const float cloud = std::clamp(
                (Fractal(static_cast<float>(x), static_cast<float>(y), 64, size, 77) - 0.55f) * 4, 0.0f, 1.0f);
            p.Put(x, y, Mix(sky, Rgb(250, 250, 252), cloud * 0.8f));
        }
    return p;
}

inline TPicture ErrorChecker()
{
    TPicture p(64, 64);
    for (uint32_t y = 0; y < 64; y++)
        for (uint32_t x = 0; x < 64; x++)
            p.Put(x, y, ((x / 8 + y / 8) % 2) == 0 ? Rgb(255, 0, 255) : Rgb(24, 0, 24));
    return p;
}

// ---------------------------------------------------------------------------
// The forest texture: a 4 x 4 atlas of 128-texel cells. Row 0 broadleaf
// crowns (light, dark, maple, apple), row 1 spruce, pine, bush and dry
// twigs, row 2 barks (brown, birch, pine) and a stump's rings, row 3 grass,
// flowers, hummock tufts and tall grass. Foliage and grass cells are cut out
// by their alpha.

constexpr uint32_t ForestSize = 512;
constexpr uint32_t AtlasCellSize = 128;

enum TForestCell : int32_t {
    fcLightCrown,
    fcDarkCrown,
    fcMapleCrown,
    fcAppleCrown,
    fcSpruce,
    fcPine,
    fcBush,
    fcDryTwigs,
    fcBark,
    fcBirchBark,
    fcPineBark,
    fcStumpTop,
    fcGrass,
    fcFlowers,
    fcTufts,
    fcTallGrass,
};

inline TRegion ForestRegion(TForestCell cell, float tile = 1)
{
    return AtlasCell(cell % 4, cell / 4, 4, tile, 0.01f);
}

// A cell of the forest picture, addressed by cell-local texels.
struct TCellPainter {
    TPicture& Picture;
    uint32_t X0, Y0;

    void Put(int32_t x, int32_t y, const TColour& c, float height, float alpha = 1)
    {
        if (x < 0 || y < 0 || x >= static_cast<int32_t>(AtlasCellSize) || y >= static_cast<int32_t>(AtlasCellSize))
            return;
        Picture.Put(X0 + static_cast<uint32_t>(x), Y0 + static_cast<uint32_t>(y), c, height, alpha);
    }
    // A see-through cell of the colour its mipmaps should fade to.
    void Clear(const TColour& c)
    {
        for (int32_t y = 0; y < static_cast<int32_t>(AtlasCellSize); y++)
            for (int32_t x = 0; x < static_cast<int32_t>(AtlasCellSize); x++)
                Put(x, y, c, 0, 0);
    }
    // A blade from (x0, y0) to (x1, y1), width w0 at the foot and 0 at the tip.
    void Blade(float x0, float y0, float x1, float y1, float w0, const TColour& c)
    {
        const float dx = x1 - x0, dy = y1 - y0, length2 = dx * dx + dy * dy;
        const int32_t l = static_cast<int32_t>(std::min(x0, x1) - w0 - 1),
                      r = static_cast<int32_t>(std::max(x0, x1) + w0 + 1);
        const int32_t t = static_cast<int32_t>(std::min(y0, y1) - w0 - 1),
                      b = static_cast<int32_t>(std::max(y0, y1) + w0 + 1);
        for (int32_t y = t; y <= b; y++)
            for (int32_t x = l; x <= r; x++) {
                const float px = static_cast<float>(x) + 0.5f - x0, py = static_cast<float>(y) + 0.5f - y0;
                const float along = std::clamp((px * dx + py * dy) / length2, 0.0f, 1.0f);
                const float ex = px - along * dx, ey = py - along * dy;
                if (ex * ex + ey * ey <= (w0 * (1 - along) + 0.5f) * (w0 * (1 - along) + 0.5f))
                    Put(x, y, Scaled(c, 0.75f + 0.35f * along), along + 0.2f);
            }
    }
    void Dot(float cx, float cy, float radius, const TColour& c)
    {
        for (int32_t y = static_cast<int32_t>(cy - radius) - 1; y <= static_cast<int32_t>(cy + radius) + 1; y++)
            for (int32_t x = static_cast<int32_t>(cx - radius) - 1; x <= static_cast<int32_t>(cx + radius) + 1; x++) {
                const float dx = static_cast<float>(x) + 0.5f - cx, dy = static_cast<float>(y) + 0.5f - cy;
                const float d = (dx * dx + dy * dy) / (radius * radius);
                if (d <= 1)
                    Put(x, y, Scaled(c, 1.1f - 0.3f * d), 1.5f - d);
            }
    }
};

// A leafy crown: clusters of leaves inside a ragged round outline.
inline void PaintCrown(TCellPainter& cell, const TColour& leaf, uint32_t seed, const TColour* fruit, float fruitShare)
{
    cell.Clear(leaf);
    for (int32_t y = 0; y < static_cast<int32_t>(AtlasCellSize); y++)
        for (int32_t x = 0; x < static_cast<int32_t>(AtlasCellSize); x++) {
            const float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f;
            const float dx = (fx - 64) / 60, dy = (fy - 66) / 60;
            const float edge = 1 - 0.22f * Noise(fx, fy, 16, 16, 128, seed);
            const TCellular c = Cellular(fx, fy, 16, 128, seed + 1);
            if (dx * dx + dy * dy > edge * edge || c.F1 > 0.55f)
                continue;
            const float light = 0.7f + 0.5f * (1 - c.F1 / 0.55f) - 0.25f * (dy + 1) / 2;
            TColour colour = Scaled(leaf, light);
            if (fruit != nullptr && c.F1 < 0.18f && static_cast<float>(c.Id % 100) < fruitShare * 100)
                colour = *fruit;
            cell.Put(x, y, colour, 1 - c.F1);
        }
}

inline void PaintSpruce(TCellPainter& cell, uint32_t seed)
{
    const TColour needles = Rgb(34, 78, 58);
    cell.Clear(needles);
    for (int32_t y = 2; y < static_cast<int32_t>(AtlasCellSize); y++)
        for (int32_t x = 0; x < static_cast<int32_t>(AtlasCellSize); x++) {
            const float fy = static_cast<float>(y);
            // Tiers that widen downwards, each with a ragged hem.
            const float tier = std::fmod(fy, 21.0f) / 21.0f;
            const float half = (fy / 128) * 58 * (0.7f + 0.3f * tier) *
                               (0.85f + 0.3f * Noise(static_cast<float>(x), fy, 4, 4, 128, seed));
            const float dx = std::fabs(static_cast<float>(x) + 0.5f - 64);
            if (dx > half)
                continue;
            cell.Put(x, y, Scaled(needles, 0.7f + 0.5f * tier - 0.3f * dx / 64), tier);
        }
}

inline void PaintDryTwigs(TCellPainter& cell, uint32_t seed)
{
    const TColour wood = Rgb(96, 76, 58);
    cell.Clear(wood);
    // Branches from the foot, each forking twice.
    struct TTwig {
        float X, Y, Angle, Length, Width;
        int32_t Depth;
    };
    std::vector<TTwig> twigs = {{64, 127, -1.5708f, 52, 3.5f, 0}};
    for (size_t i = 0; i < twigs.size(); i++) {
        const TTwig t = twigs[i];
        const float x1 = t.X + std::cos(t.Angle) * t.Length, y1 = t.Y + std::sin(t.Angle) * t.Length;
        cell.Blade(t.X, t.Y, x1, y1, t.Width, wood);
        if (t.Depth < 3)
            for (int32_t side = -1; side <= 1; side += 2) {
                const float spread = 0.35f + 0.3f * Hash01(static_cast<int32_t>(i), side, seed);
                twigs.push_back({x1, y1, t.Angle + static_cast<float>(side) * spread, t.Length * 0.62f, t.Width * 0.65f,
                                 t.Depth + 1});
            }
    }
}

inline void PaintBark(TCellPainter& cell, TForestCell kind, uint32_t seed)
{
    for (int32_t y = 0; y < static_cast<int32_t>(AtlasCellSize); y++)
        for (int32_t x = 0; x < static_cast<int32_t>(AtlasCellSize); x++) {
            const float fx = static_cast<float>(x), fy = static_cast<float>(y);
            const float n = Fractal(fx, fy, 32, 128, seed);
            if (kind == fcBark) {
                const float furrow = Wave(fx + 10 * n, 16);
                cell.Put(x, y, Scaled(Mix(Rgb(64, 46, 34), Rgb(112, 86, 62), furrow), 0.85f + 0.3f * n), furrow);
            } else if (kind == fcBirchBark) {
                const TCellular c = Cellular(fx, fy * 3, 32, 128 * 3, seed);
                const bool mark = c.F1 < 0.22f && c.Id % 3 == 0;
                cell.Put(x, y, mark ? Rgb(40, 38, 36) : Scaled(Rgb(226, 222, 210), 0.9f + 0.12f * n), mark ? 0 : 1);
            } else if (kind == fcPineBark) {
                const TCellular c = Cellular(fx, fy, 16, 128, seed);
                const bool crack = c.F2 - c.F1 < 0.08f;
                cell.Put(x, y, crack ? Rgb(60, 34, 24) : Scaled(Rgb(150, 86, 56), 0.8f + 0.35f * n), crack ? 0 : 1);
            } else {
                const float dx = fx + 0.5f - 64, dy = fy + 0.5f - 64;
                const float r = std::sqrt(dx * dx + dy * dy) + 3 * n;
                const TColour colour = r > 56   ? Rgb(84, 62, 44)
                                       : r > 52 ? Rgb(140, 100, 64)
                                                : Mix(Rgb(176, 136, 88), Rgb(150, 110, 70), Wave(r, 7));
                cell.Put(x, y, Scaled(colour, 0.9f + 0.15f * n), r > 56 ? 0 : Wave(r, 7));
            }
        }
}

// Blades standing on the cell's bottom edge; flower heads and seed heads on
// top of some of them.
inline void PaintGrass(TCellPainter& cell, TForestCell kind, uint32_t seed)
{
    const TColour base = kind == fcTufts       ? Rgb(150, 150, 70)
                         : kind == fcTallGrass ? Rgb(110, 140, 60)
                                               : Rgb(78, 138, 50);
    cell.Clear(base);
    const int32_t blades = kind == fcTufts ? 70 : 48;
    const float tallest = kind == fcTufts ? 80.0f : kind == fcTallGrass ? 124.0f : 110.0f;
    const TColour petals[4] = {Rgb(246, 246, 236), Rgb(250, 212, 60), Rgb(170, 90, 210), Rgb(226, 60, 60)};
    for (int32_t i = 0; i < blades; i++) {
        const float foot = 6 + 116 * Hash01(i, 0, seed);
        const float height = tallest * (0.45f + 0.55f * Hash01(i, 1, seed));
        const float lean = (Hash01(i, 2, seed) - 0.5f) * 40;
        const TColour colour = Scaled(base, 0.75f + 0.5f * Hash01(i, 3, seed));
        const float tipX = foot + lean, tipY = 127 - height;
        cell.Blade(foot, 127.5f, tipX, tipY, kind == fcTufts ? 2.0f : 2.6f, colour);
        if (kind == fcFlowers && i % 3 == 0)
            cell.Dot(tipX, tipY, 4.5f, petals[static_cast<uint32_t>(i / 3) % 4]);
        if (kind == fcTallGrass && i % 4 == 0)
            cell.Blade(tipX, tipY + 14, tipX + lean * 0.1f, tipY, 3.2f, Rgb(206, 186, 128));
    }
}

inline TPicture ForestTexture()
{
    TPicture p(ForestSize, ForestSize);
    for (int32_t c = 0; c < 16; c++) {
        TCellPainter cell{p, static_cast<uint32_t>(c % 4) * AtlasCellSize,
                          static_cast<uint32_t>(c / 4) * AtlasCellSize};
        const uint32_t seed = 900u + static_cast<uint32_t>(c) * 31u;
        const TColour apple = Rgb(210, 40, 36), maple = Rgb(214, 112, 40);
        switch (static_cast<TForestCell>(c)) {
        case fcLightCrown:
            PaintCrown(cell, Rgb(132, 178, 74), seed, nullptr, 0);
            break;
        case fcDarkCrown:
            PaintCrown(cell, Rgb(60, 110, 46), seed, nullptr, 0);
            break;
        case fcMapleCrown:
            PaintCrown(cell, Rgb(112, 150, 52), seed, &maple, 0.3f);
            break;
        case fcAppleCrown:
            PaintCrown(cell, Rgb(84, 142, 58), seed, &apple, 0.35f);
            break;
        case fcSpruce:
            PaintSpruce(cell, seed);
            break;
        case fcPine:
            PaintCrown(cell, Rgb(52, 100, 54), seed, nullptr, 0);
            break;
        case fcBush:
            PaintCrown(cell, Rgb(72, 128, 50), seed, nullptr, 0);
            break;
        case fcDryTwigs:
            PaintDryTwigs(cell, seed);
            break;
        case fcBark:
        case fcBirchBark:
        case fcPineBark:
        case fcStumpTop:
            PaintBark(cell, static_cast<TForestCell>(c), seed);
            break;
        default:
            PaintGrass(cell, static_cast<TForestCell>(c), seed);
            break;
        }
    }
    return p;
}

// ---------------------------------------------------------------------------
// The building atlas: 4 x 4 cells of 128 texels, shared by the buildings and
// the map objects.

enum TBuildCell : int32_t {
    bcStone,
    bcTimber,
    bcRedTiles,
    bcSlate,
    bcThatch,
    bcPlanks,
    bcRuinStone,
    bcCharred,
    bcGate,
    bcSlitStone,
    bcRedCloth,
    bcStripes,
    bcGold,
    bcTurf,
    bcMarble,
    bcLogs,
};

// World units one copy of each cell covers on a wall or roof; a gate is shown
// once, whatever its size.
constexpr float BuildCellTile[16] = {2.0f,   1.4f, 1.2f, 1.2f, 1.4f, 1.2f, 2.0f, 1.4f,
                                     100.0f, 2.0f, 2.0f, 2.0f, 1.0f, 2.0f, 1.5f, 1.6f};

inline TRegion Reg(TBuildCell cell)
{
    return AtlasCell(cell % 4, cell / 4, 4, BuildCellTile[cell]);
}

// Courses of blocks, every other course shifted by half a block.
inline float Masonry(float x, float y, float blockW, float blockH, float& shade, uint32_t seed)
{
    const int32_t course = static_cast<int32_t>(std::floor(y / blockH));
    const float sx = x + (course % 2 != 0 ? blockW / 2 : 0);
    const int32_t column = static_cast<int32_t>(std::floor(sx / blockW));
    const float bx = std::fmod(sx, blockW), by = std::fmod(y, blockH);
    shade = static_cast<float>(Hash(static_cast<uint32_t>(column), static_cast<uint32_t>(course), seed) % 100) / 100;
    return std::min(std::min(bx, blockW - bx), std::min(by, blockH - by));
}

inline void PaintBuildCell(TCellPainter& cell, TBuildCell kind)
{
    const uint32_t seed = 300u + static_cast<uint32_t>(kind) * 17u;
    for (int32_t y = 0; y < 128; y++)
        for (int32_t x = 0; x < 128; x++) {
            const float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f;
            const float n = Fractal(fx, fy, 32, 128, seed);
            float shade = 0;
            TColour c;
            float h = 1;
            switch (kind) {
            case bcStone:
            case bcRuinStone:
            case bcSlitStone: {
                const float gap = Masonry(fx, fy, 32, 16, shade, seed);
                const TColour stone = kind == bcRuinStone ? Mix(Rgb(92, 90, 84), Rgb(84, 104, 70), n > 0.6f ? 0.7f : 0)
                                                          : Rgb(170, 164, 150);
                c = gap < 1.5f ? Scaled(stone, 0.55f) : Scaled(stone, 0.85f + 0.25f * shade + 0.1f * n);
                h = gap < 1.5f ? 0 : 1;
                if (kind == bcSlitStone && std::fabs(fx - 64) < 5 && fy > 34 && fy < 94) {
                    c = Rgb(26, 24, 24);
                    h = -1;
                }
                break;
            }
            case bcTimber: {
                const bool beam = fx < 8 || fx > 120 || fy < 8 || fy > 120 || std::fabs(fx - fy) < 5;
                const bool window = std::fabs(fx - 84) < 18 && std::fabs(fy - 52) < 18;
                if (window)
                    c = (std::fabs(fx - 84) < 2 || std::fabs(fy - 52) < 2) ? Rgb(80, 56, 36) : Rgb(46, 54, 70);
                else
                    c = beam ? Scaled(Rgb(92, 62, 40), 0.85f + 0.3f * n) : Scaled(Rgb(232, 220, 190), 0.9f + 0.1f * n);
                h = beam ? 1 : window ? -1 : 0.5f;
                break;
            }
            case bcRedTiles:
            case bcSlate:
            case bcThatch: {
                if (kind == bcThatch) {
                    const float straw = Noise(fx, fy, 2, 24, 128, seed);
                    const float row = Wave(fy, 16);
                    c = Scaled(Rgb(196, 160, 86), 0.65f + 0.3f * straw + 0.15f * row);
                    h = straw + row;
                } else {
                    const float gap = Masonry(fx, fy, kind == bcSlate ? 21.333f : 16, 16, shade, seed);
                    const TColour tile = kind == bcSlate ? Rgb(74, 88, 120) : Rgb(176, 70, 48);
                    const float lip = std::fmod(fy, 16.0f) / 16;
                    c = gap < 1.2f ? Scaled(tile, 0.5f) : Scaled(tile, 0.75f + 0.2f * shade + 0.2f * lip);
                    h = lip;
                }
                break;
            }
            case bcPlanks:
            case bcCharred: {
                const int32_t plank = x / 16;
                const float grain = Noise(fx, fy, 2, 32, 128, seed + static_cast<uint32_t>(plank));
                const bool seam = x % 16 == 0;
                const TColour wood =
                    kind == bcCharred ? Mix(Rgb(36, 30, 26), Rgb(90, 60, 40), n * n) : Rgb(136, 98, 62);
                c = seam ? Scaled(wood, 0.4f) : Scaled(wood, 0.8f + 0.3f * grain);
                h = seam ? 0 : 1;
                break;
            }
            case bcGate: {
                const float dx = fx - 64, top = 40;
                const bool arch = fy > top ? std::fabs(dx) < 44 : dx * dx + (fy - top) * (fy - top) < 44 * 44;
                if (!arch) {
                    const float gap = Masonry(fx, fy, 32, 16, shade, seed);
                    c = gap < 1.5f ? Rgb(90, 88, 80) : Scaled(Rgb(170, 164, 150), 0.85f + 0.2f * shade);
                } else {
                    const bool band = std::fmod(fy, 28.0f) < 4 || std::fabs(dx) < 2;
                    c = band ? Rgb(50, 50, 54)
                             : Scaled(Rgb(104, 70, 42), 0.8f + 0.3f * Noise(fx, fy, 4, 32, 128, seed));
                }
                h = arch ? 0 : 1;
                break;
            }
            case bcRedCloth:
            case bcStripes: {
                const bool stripe = kind == bcStripes && (x / 16) % 2 == 0;
                const TColour cloth = kind == bcRedCloth ? Rgb(178, 40, 36)
                                      : stripe           ? Rgb(40, 70, 150)
                                                         : Rgb(234, 230, 216);
                const float weave = Wave(fx, 4) * Wave(fy, 4);
                c = Scaled(cloth, 0.85f + 0.15f * weave + 0.1f * n);
                h = weave;
                break;
            }
            case bcGold:
                c = Scaled(Rgb(214, 170, 60), 0.75f + 0.45f * Wave(fx + fy, 32));
                h = Wave(fx + fy, 32);
                break;
            case bcTurf:
                c = Scaled(Rgb(86, 140, 58), 0.8f + 0.35f * Noise(fx, fy, 2, 8, 128, seed));
                h = n;
                break;
            case bcMarble:
                c = Scaled(Rgb(226, 224, 216), 0.88f + 0.12f * Wave(fx + 24 * n, 32));
                h = n;
                break;
            case bcLogs: {
                const float round = Wave(fx, 16);
                c = Scaled(Rgb(120, 84, 52), 0.55f + 0.5f * round + 0.1f * n);
                h = round;
                if (fy < 10)
                    c = Rgb(190, 150, 100); // cut tops
                break;
            }
            }
            cell.Put(x, y, c, h);
        }
}

inline TPicture BuildingTexture()
{
    TPicture p(512, 512);
    for (int32_t c = 0; c < 16; c++) {
        TCellPainter cell{p, static_cast<uint32_t>(c % 4) * 128, static_cast<uint32_t>(c / 4) * 128};
        PaintBuildCell(cell, static_cast<TBuildCell>(c));
    }
    return p;
}

} // namespace ArtLand
