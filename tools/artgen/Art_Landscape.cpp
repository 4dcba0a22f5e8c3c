// The map's art: the terrain textures of "Landscape\", and the building,
// tree and object models of its three model folders with their textures.
// One world unit is one map cell; a building stands on its origin, its gate
// towards -z, its ground at y = 0 (walls reach below it for slopes).
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "model/scenario/ScenarioMap_Records.h"
#include "tools/NullRender.h"
#include "tools/artgen/ArtLandPaint.h"
#include "tools/artgen/ArtLandShapes.h"
#include "tools/artgen/ArtOutput.h"

using namespace ArtLand;

namespace {

constexpr float TwoPi = 6.2831853f;

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

float Wave(float t, float period)
{
    return 0.5f + 0.5f * std::sin(TwoPi * t / period);
}

TColour Rgb(float r, float g, float b)
{
    return {r, g, b};
}

TTexel Ground(int32_t kind, float x, float y)
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
TTexel HillGround(int32_t kind, float x, float y, const TTexel& ground)
{
    const uint32_t s = static_cast<uint32_t>(kind) * 101u + 5000u;
    const float broad = Fractal(x, y, 125, TilePeriod, s);
    const float band = Wave(y + 40 * broad, 50);
    const TColour rock = Scaled(Mix(Rgb(104, 96, 86), Rgb(150, 140, 124), band), 0.85f + 0.3f * broad);
    const float share = kind >= gkGreenRock ? 0.25f : 0.45f;
    return {Mix(ground.Colour, rock, share), ground.Height * 0.6f + band * 1.2f};
}

// Both 4 x 4 atlases, tile k at column (k - 1) mod 4, row (k - 1) div 4.
void MakeGroundAtlases(TPicture& land, TPicture& hill)
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

TPicture Ripples(uint32_t seed, float turn)
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

TPicture Sky()
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

TPicture ErrorChecker()
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

TRegion ForestRegion(TForestCell cell, float tile = 1)
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
void PaintCrown(TCellPainter& cell, const TColour& leaf, uint32_t seed, const TColour* fruit, float fruitShare)
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

void PaintSpruce(TCellPainter& cell, uint32_t seed)
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

void PaintDryTwigs(TCellPainter& cell, uint32_t seed)
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

void PaintBark(TCellPainter& cell, TForestCell kind, uint32_t seed)
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
void PaintGrass(TCellPainter& cell, TForestCell kind, uint32_t seed)
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

TPicture ForestTexture()
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

// World units one copy of each cell covers on a wall or roof.
constexpr float BuildCellTile[16] = {2.0f,   1.4f, 1.2f, 1.2f, 1.4f, 1.2f, 2.0f, 1.4f,
                                     100.0f, 2.0f, 2.0f, 2.0f, 1.0f, 2.0f, 1.5f, 1.6f};

TRegion Reg(TBuildCell cell)
{
    return AtlasCell(cell % 4, cell / 4, 4, BuildCellTile[cell]);
}

// Courses of blocks, every other course shifted by half a block.
float Masonry(float x, float y, float blockW, float blockH, float& shade, uint32_t seed)
{
    const int32_t course = static_cast<int32_t>(std::floor(y / blockH));
    const float sx = x + (course % 2 != 0 ? blockW / 2 : 0);
    const int32_t column = static_cast<int32_t>(std::floor(sx / blockW));
    const float bx = std::fmod(sx, blockW), by = std::fmod(y, blockH);
    shade = static_cast<float>(Hash(static_cast<uint32_t>(column), static_cast<uint32_t>(course), seed) % 100) / 100;
    return std::min(std::min(bx, blockW - bx), std::min(by, blockH - by));
}

void PaintBuildCell(TCellPainter& cell, TBuildCell kind)
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

TPicture BuildingTexture()
{
    TPicture p(512, 512);
    for (int32_t c = 0; c < 16; c++) {
        TCellPainter cell{p, static_cast<uint32_t>(c % 4) * 128, static_cast<uint32_t>(c / 4) * 128};
        PaintBuildCell(cell, static_cast<TBuildCell>(c));
    }
    return p;
}

// ---------------------------------------------------------------------------
// Building parts. Local frame: the building's origin on the ground, the gate
// towards -z. Walls start below the ground so that slopes do not show
// their feet.

constexpr float Foot = -0.8f;

// A door (or gate) on a face looking towards -z at z, centred at x.
void Door(TShape& s, float x, float z, float width, float height, TBuildCell cell = bcGate)
{
    s.Quad({x - width / 2, 0, z - 0.03f}, {x + width / 2, 0, z - 0.03f}, {x + width / 2, height, z - 0.03f},
           {x - width / 2, height, z - 0.03f}, Reg(cell), {x, height / 2, z + 1});
}

// A house w wide (x) and d deep (z), its walls wall high, a gable roof of
// height roof with its ridge along x, a door at the front.
TShape House(float w, float d, float wall, float roof, TBuildCell walls, TBuildCell roofing, bool chimney = false)
{
    TShape s;
    const TRegion wr = Reg(walls), rr = Reg(roofing);
    s.Box(-w / 2, -d / 2, w / 2, d / 2, Foot, wall, wr);
    s.GableRoof(-w / 2 - 0.15f, -d / 2 - 0.2f, w / 2 + 0.15f, d / 2 + 0.2f, wall, wall + roof, true, rr, wr);
    Door(s, -w / 4, -d / 2, std::min(0.7f, w * 0.3f), std::min(1.1f, wall * 0.7f));
    if (chimney) {
        const TRegion stone = Reg(bcStone);
        s.Box(w / 4, d / 8, w / 4 + 0.35f, d / 8 + 0.35f, wall, wall + roof + 0.3f, stone, &stone);
    }
    return s;
}

// Merlons along the top of a wall from (x0, z0) to (x1, z1).
void Merlons(TShape& s, float x0, float z0, float x1, float z1, float y, float thick, const TRegion& r)
{
    const float length = std::hypot(x1 - x0, z1 - z0);
    const int32_t count = std::max(1, static_cast<int32_t>(length / 1.0f));
    for (int32_t i = 0; i < count; i++) {
        const float t = (static_cast<float>(i) + 0.5f) / static_cast<float>(count);
        const float cx = x0 + (x1 - x0) * t, cz = z0 + (z1 - z0) * t;
        const bool alongX = std::fabs(x1 - x0) > std::fabs(z1 - z0);
        const float hx = alongX ? 0.25f : thick / 2, hz = alongX ? thick / 2 : 0.25f;
        s.Box(cx - hx, cz - hz, cx + hx, cz + hz, y, y + 0.45f, r, &r);
    }
}

// A straight wall along x or z, thick wide, high high, with merlons when
// crenellated.
void WallRun(TShape& s, float x0, float z0, float x1, float z1, float thick, float high, const TRegion& r,
             bool crenellated)
{
    const bool alongX = std::fabs(x1 - x0) > std::fabs(z1 - z0);
    const float hx = alongX ? 0 : thick / 2, hz = alongX ? thick / 2 : 0;
    s.Box(std::min(x0, x1) - hx, std::min(z0, z1) - hz, std::max(x0, x1) + hx, std::max(z0, z1) + hz, Foot, high, r,
          &r);
    if (crenellated)
        Merlons(s, x0, z0, x1, z1, high, thick, r);
}

// A round tower: eight sides, a cone roof when roof > 0, else merlons.
void Tower(TShape& s, float x, float z, float radius, float high, float roof, TBuildCell walls, TBuildCell roofing)
{
    const TRegion wr = Reg(walls);
    s.Prism(x, z, radius, Foot, high, 8, wr, &wr, 0.3927f);
    if (roof > 0) {
        s.Cone(x, z, radius * 1.25f, high, high + roof, 8, Reg(roofing), 0.3927f);
        return;
    }
    for (int32_t i = 0; i < 8; i += 2) {
        const float a = 0.3927f + TwoPi * static_cast<float>(i) / 8;
        const float mx = x + radius * 0.8f * std::cos(a), mz = z + radius * 0.8f * std::sin(a);
        s.Box(mx - 0.22f, mz - 0.22f, mx + 0.22f, mz + 0.22f, high, high + 0.45f, wr, &wr);
    }
}

// The ring of walls of a square enclosure of half size h with a gap of
// width gap in the front wall, towers at the corners.
struct TEnclosure {
    float Half = 5, Gap = 2, Thick = 0.8f, High = 2.5f;
    TBuildCell Walls = bcStone;
    bool Crenellated = true;
    float TowerRadius = 1, TowerHigh = 3.5f, TowerRoof = 2;
    TBuildCell Roofing = bcSlate;
    bool FrontTowersOnly = false;
};

void Enclosure(TShape& s, const TEnclosure& e)
{
    const float h = e.Half;
    const TRegion r = Reg(e.Walls);
    WallRun(s, -h, h, h, h, e.Thick, e.High, r, e.Crenellated);
    WallRun(s, -h, -h, -h, h, e.Thick, e.High, r, e.Crenellated);
    WallRun(s, h, -h, h, h, e.Thick, e.High, r, e.Crenellated);
    WallRun(s, -h, -h, -e.Gap / 2, -h, e.Thick, e.High, r, e.Crenellated);
    WallRun(s, e.Gap / 2, -h, h, -h, e.Thick, e.High, r, e.Crenellated);
    if (e.TowerRadius > 0)
        for (int32_t corner = 0; corner < 4; corner++) {
            if (e.FrontTowersOnly && corner >= 2)
                continue;
            const float x = corner % 2 == 0 ? -h : h, z = corner < 2 ? -h : h;
            Tower(s, x, z, e.TowerRadius, e.TowerHigh, e.TowerRoof, e.Walls, e.Roofing);
        }
}

// A ring of upright logs without towers, open for a gate at the front.
void Palisade(TShape& s, float half, float thick, float high)
{
    TEnclosure e;
    e.Half = half;
    e.Gap = 2.2f;
    e.Thick = thick;
    e.High = high;
    e.Walls = bcLogs;
    e.Crenellated = false;
    e.TowerRadius = 0;
    Enclosure(s, e);
}

// A gatehouse over the gap of an enclosure's front wall.
void Gatehouse(TShape& s, float half, float gap, float high, TBuildCell walls)
{
    const TRegion r = Reg(walls);
    s.Box(-gap / 2 - 0.7f, -half - 0.9f, gap / 2 + 0.7f, -half + 0.9f, Foot, high, r, &r);
    Merlons(s, -gap / 2 - 0.7f, -half - 0.9f, gap / 2 + 0.7f, -half - 0.9f, high, 0.4f, r);
    Door(s, 0, -half - 0.9f, gap, std::min(high * 0.75f, 2.4f));
}

// A keep: a tall block with a pyramid roof, or merlons and corner turrets.
void Keep(TShape& s, float x, float z, float w, float high, float roof, TBuildCell walls, TBuildCell roofing)
{
    const TRegion wr = Reg(walls);
    s.Box(x - w / 2, z - w / 2, x + w / 2, z + w / 2, Foot, high, Reg(bcSlitStone), &wr);
    if (roof > 0) {
        s.Pyramid(x - w / 2 - 0.2f, z - w / 2 - 0.2f, x + w / 2 + 0.2f, z + w / 2 + 0.2f, high, high + roof,
                  Reg(roofing));
    } else {
        Merlons(s, x - w / 2, z - w / 2 + 0.2f, x + w / 2, z - w / 2 + 0.2f, high, 0.4f, wr);
        Merlons(s, x - w / 2, z + w / 2 - 0.2f, x + w / 2, z + w / 2 - 0.2f, high, 0.4f, wr);
        for (int32_t corner = 0; corner < 4; corner++)
            Tower(s, x + (corner % 2 == 0 ? -w / 2 : w / 2), z + (corner < 2 ? -w / 2 : w / 2), w * 0.16f, high + 1.2f,
                  1.2f, walls, roofing);
    }
    Door(s, x, z - w / 2, 0.9f, 1.4f);
}

// A church: a nave along z with a gable roof and a tower with a spire in
// front, its door towards -z.
void Church(TShape& s, float x, float z, float scale, TBuildCell walls, TBuildCell roofing, TBuildCell spire)
{
    const TRegion wr = Reg(walls);
    const float w = 2.6f * scale, length = 4.6f * scale, high = 3 * scale;
    s.Box(x - w / 2, z - length / 2, x + w / 2, z + length / 2, Foot, high, wr);
    s.GableRoof(x - w / 2 - 0.2f, z - length / 2, x + w / 2 + 0.2f, z + length / 2 + 0.2f, high, high + 1.8f * scale,
                false, Reg(roofing), wr);
    const float t = 1.6f * scale, tz = z - length / 2 - t / 2;
    s.Box(x - t / 2, tz - t / 2, x + t / 2, tz + t / 2, Foot, high + 2.2f * scale, Reg(bcSlitStone), &wr);
    s.Pyramid(x - t / 2 - 0.1f, tz - t / 2 - 0.1f, x + t / 2 + 0.1f, tz + t / 2 + 0.1f, high + 2.2f * scale,
              high + 5 * scale, Reg(spire));
    Door(s, x, tz - t / 2, 0.7f * scale, 1.3f * scale);
}

// A well: a stone ring under a small roof on two posts.
void Well(TShape& s, float x, float z)
{
    const TRegion stone = Reg(bcStone), wood = Reg(bcPlanks);
    s.Prism(x, z, 0.45f, Foot, 0.5f, 8, stone, &wood);
    s.Box(x - 0.45f, z - 0.05f, x - 0.37f, z + 0.05f, 0.5f, 1.5f, wood);
    s.Box(x + 0.37f, z - 0.05f, x + 0.45f, z + 0.05f, 0.5f, 1.5f, wood);
    s.GableRoof(x - 0.6f, z - 0.4f, x + 0.6f, z + 0.4f, 1.4f, 1.8f, true, Reg(bcRedTiles), wood);
}

// A fence of posts and two rails along a straight run.
void Fence(TShape& s, float x0, float z0, float x1, float z1)
{
    const TRegion wood = Reg(bcPlanks);
    const float length = std::hypot(x1 - x0, z1 - z0);
    const int32_t posts = std::max(2, static_cast<int32_t>(length / 1.2f) + 1);
    for (int32_t i = 0; i < posts; i++) {
        const float t = static_cast<float>(i) / static_cast<float>(posts - 1);
        const float x = x0 + (x1 - x0) * t, z = z0 + (z1 - z0) * t;
        s.Box(x - 0.06f, z - 0.06f, x + 0.06f, z + 0.06f, -0.3f, 0.8f, wood, &wood);
    }
    const bool alongX = std::fabs(x1 - x0) > std::fabs(z1 - z0);
    for (float y : {0.35f, 0.65f}) {
        if (alongX)
            s.Box(std::min(x0, x1), z0 - 0.03f, std::max(x0, x1), z0 + 0.03f, y, y + 0.08f, wood, &wood);
        else
            s.Box(x0 - 0.03f, std::min(z0, z1), x0 + 0.03f, std::max(z0, z1), y, y + 0.08f, wood, &wood);
    }
}

// A tent: a cloth cone on a short wall of the same cloth.
void Tent(TShape& s, float x, float z, float radius, float high, TBuildCell cloth)
{
    const TRegion c = Reg(cloth);
    s.Prism(x, z, radius, -0.2f, 0.4f, 6, c);
    s.Cone(x, z, radius * 1.05f, 0.4f, high, 6, c);
}

// A banner: a pole and a cloth quad.
void Banner(TShape& s, float x, float z, float high, TBuildCell cloth)
{
    const TRegion wood = Reg(bcPlanks);
    s.Box(x - 0.06f, z - 0.06f, x + 0.06f, z + 0.06f, Foot, high, wood, &wood);
    s.Quad({x + 0.06f, high - 0.9f, z}, {x + 1.2f, high - 0.9f, z}, {x + 1.2f, high - 0.1f, z},
           {x + 0.06f, high - 0.1f, z}, Reg(cloth), {x + 0.6f, high - 0.5f, z + 1});
    s.Quad({x + 0.06f, high - 0.9f, z}, {x + 1.2f, high - 0.9f, z}, {x + 1.2f, high - 0.1f, z},
           {x + 0.06f, high - 0.1f, z}, Reg(cloth), {x + 0.6f, high - 0.5f, z - 1});
}

// A market stall: four posts, a counter and a sloping striped awning.
void Stall(TShape& s, float x, float z, float angle, TBuildCell awning)
{
    TShape stall;
    const TRegion wood = Reg(bcPlanks);
    for (int32_t corner = 0; corner < 4; corner++) {
        const float px = corner % 2 == 0 ? -0.8f : 0.8f, pz = corner < 2 ? -0.5f : 0.5f;
        stall.Box(px - 0.05f, pz - 0.05f, px + 0.05f, pz + 0.05f, -0.3f, corner < 2 ? 1.5f : 1.8f, wood);
    }
    stall.Box(-0.8f, -0.5f, 0.8f, -0.2f, -0.3f, 0.8f, wood, &wood);
    const TRegion cloth = Reg(awning);
    stall.Quad({-0.95f, 1.45f, -0.7f}, {0.95f, 1.45f, -0.7f}, {0.95f, 1.85f, 0.6f}, {-0.95f, 1.85f, 0.6f}, cloth,
               {0, 0, 0});
    stall.Quad({-0.95f, 1.45f, -0.7f}, {0.95f, 1.45f, -0.7f}, {0.95f, 1.85f, 0.6f}, {-0.95f, 1.85f, 0.6f}, cloth,
               {0, 4, 0});
    s.Append(stall, x, z, angle);
}

// A house of a village by its number: size, turn and place around a green.
struct TPlot {
    float X, Z, Angle, W, D;
};

std::vector<TPlot> VillagePlots(int32_t count, float radius, uint32_t seed)
{
    std::vector<TPlot> plots;
    for (int32_t i = 0; i < count; i++) {
        const float a = TwoPi * (static_cast<float>(i) + 0.5f) / static_cast<float>(count) + 0.4f;
        const float r = radius * (0.8f + 0.2f * Hash01(i, 1, seed));
        const float w = 1.8f + 0.8f * Hash01(i, 2, seed), d = 1.5f + 0.5f * Hash01(i, 3, seed);
        // Each house turns its door towards the green.
        plots.push_back({r * std::cos(a), r * std::sin(a), a - 1.5708f, w, d});
    }
    return plots;
}

// ---------------------------------------------------------------------------
// The building models

struct TBuildingArt {
    TShape Visible;
    // The footprint the map blocks, and whether an army may go in: the
    // "Enter" part runs from before the gate to the middle.
    float Half = 1, Depth = 1;
    bool Enterable = true;
    float EnterWidth = 2.4f;
};

TBuildingArt Castle(float half, float wallHigh, float towerRadius, TBuildCell roofing, bool big)
{
    TBuildingArt b;
    b.Half = b.Depth = half + towerRadius;
    TEnclosure e;
    e.Half = half;
    e.Gap = 2.2f;
    e.Thick = big ? 1.0f : 0.8f;
    e.High = wallHigh;
    e.TowerRadius = towerRadius;
    e.TowerHigh = wallHigh + 1.6f;
    e.TowerRoof = towerRadius * 1.8f;
    e.Roofing = roofing;
    Enclosure(b.Visible, e);
    Gatehouse(b.Visible, half, e.Gap, wallHigh + 1.2f, bcStone);
    Keep(b.Visible, 0, half * 0.3f, half * (big ? 0.8f : 0.7f), wallHigh * (big ? 2.6f : 2.2f), big ? 0 : half * 0.4f,
         bcStone, roofing);
    const TRegion turf = Reg(bcTurf);
    b.Visible.Flat(-half + 0.5f, -half + 0.5f, half - 0.5f, half - 0.5f, 0.05f, turf);
    Banner(b.Visible, -half * 0.5f, half * 0.3f, wallHigh * 2.6f, big ? bcStripes : bcRedCloth);
    return b;
}

// A ruined castle: walls broken to stumps in places, towers without roofs.
TBuildingArt RuinedCastle(float half, float wallHigh, uint32_t seed)
{
    TBuildingArt b;
    b.Half = b.Depth = half + 1;
    b.Enterable = false;
    const TRegion r = Reg(bcRuinStone);
    // Each side in four pieces of broken heights; some are gone.
    const float corners[4][4] = {
        {-half, half, half, half}, {-half, -half, -half, half}, {half, -half, half, half}, {-half, -half, half, -half}};
    for (int32_t side = 0; side < 4; side++)
        for (int32_t piece = 0; piece < 4; piece++) {
            const float h = Hash01(side, piece, seed);
            if (h < 0.2f)
                continue;
            const float t0 = static_cast<float>(piece) / 4, t1 = static_cast<float>(piece + 1) / 4;
            const float* c = corners[side];
            WallRun(b.Visible, c[0] + (c[2] - c[0]) * t0, c[1] + (c[3] - c[1]) * t0, c[0] + (c[2] - c[0]) * t1,
                    c[1] + (c[3] - c[1]) * t1, 0.8f, wallHigh * (0.3f + 0.7f * h), r, h > 0.7f);
        }
    for (int32_t corner = 0; corner < 4; corner++)
        Tower(b.Visible, corner % 2 == 0 ? -half : half, corner < 2 ? -half : half, 1.1f,
              wallHigh * (0.6f + 0.8f * Hash01(corner, 9, seed)), 0, bcRuinStone, bcRuinStone);
    // The keep's shell: four walls broken to different heights.
    const float k0 = -half * 0.35f, k1 = half * 0.25f, kz0 = 0, kz1 = half * 0.6f;
    WallRun(b.Visible, k0, kz0, k1, kz0, 0.6f, wallHigh * 1.2f, r, false);
    WallRun(b.Visible, k0, kz1, k1, kz1, 0.6f, wallHigh * 1.7f, r, true);
    WallRun(b.Visible, k0, kz0, k0, kz1, 0.6f, wallHigh * 1.5f, r, false);
    WallRun(b.Visible, k1, kz0, k1, kz0 + (kz1 - kz0) * 0.4f, 0.6f, wallHigh * 0.7f, r, false);
    for (int32_t i = 0; i < 6; i++) {
        const float x = (Hash01(i, 20, seed) - 0.5f) * half * 1.6f, z = (Hash01(i, 21, seed) - 0.5f) * half * 1.6f;
        b.Visible.Box(x - 0.4f, z - 0.3f, x + 0.4f, z + 0.3f, -0.3f, 0.35f, r, &r);
    }
    return b;
}

TBuildingArt Village(int32_t houses, float radius, uint32_t seed, bool well)
{
    TBuildingArt b;
    b.Half = b.Depth = radius + 1.8f;
    for (const TPlot& p : VillagePlots(houses, radius, seed))
        b.Visible.Append(House(p.W, p.D, 1.4f, 1.2f, bcTimber, bcThatch, p.W > 2.3f), p.X, p.Z, p.Angle);
    if (well)
        Well(b.Visible, 0, 0.5f);
    Fence(b.Visible, -radius - 1.5f, radius + 1.5f, radius + 1.5f, radius + 1.5f);
    return b;
}

// An abandoned village: houses with half of each roof fallen in; a ruined
// (burnt) one: charred stumps of walls and no roofs.
TBuildingArt DeadVillage(int32_t houses, float radius, uint32_t seed, bool burnt)
{
    TBuildingArt b;
    b.Half = b.Depth = radius + 1.6f;
    b.Enterable = false;
    for (const TPlot& p : VillagePlots(houses, radius, seed)) {
        TShape house;
        const float w = p.W, d = p.D;
        if (burnt) {
            const TRegion c = Reg(bcCharred);
            house.Box(-w / 2, -d / 2, w / 2, -d / 2 + 0.15f, Foot, 0.9f, c, &c);
            house.Box(-w / 2, d / 2 - 0.15f, w / 2, d / 2, Foot, 0.5f, c, &c);
            house.Box(-w / 2, -d / 2, -w / 2 + 0.15f, d / 2, Foot, 1.2f, c, &c);
            house.Box(w / 2 - 0.15f, -d / 2, w / 2, d / 2, Foot, 0.7f, c, &c);
            house.Box(-0.3f, -0.2f, 0.5f, 0.3f, -0.3f, 0.25f, Reg(bcRuinStone));
        } else {
            const TRegion planks = Reg(bcPlanks), thatch = Reg(bcThatch);
            house.Box(-w / 2, -d / 2, w / 2, d / 2, Foot, 1.3f, planks);
            house.Quad({w / 2 + 0.1f, 1.3f, -d / 2 - 0.2f}, {-w / 2 - 0.1f, 1.3f, -d / 2 - 0.2f},
                       {-w / 2 - 0.1f, 2.4f, 0}, {w / 2 + 0.1f, 2.4f, 0}, thatch, {0, 0, 0});
            house.GableEnd({-w / 2, 1.3f, -d / 2}, {-w / 2, 1.3f, d / 2}, {-w / 2, 2.4f, 0}, planks, {0, 1.3f, 0});
            Door(house, 0, -d / 2, 0.6f, 0.9f, bcCharred);
        }
        b.Visible.Append(house, p.X, p.Z, p.Angle);
    }
    return b;
}

TBuildingArt Town(bool second)
{
    TBuildingArt b;
    const float half = 8;
    b.Half = b.Depth = half + 1.2f;
    TEnclosure e;
    e.Half = half;
    e.Gap = 2.4f;
    e.High = 2.2f;
    e.Thick = 0.7f;
    e.TowerRadius = 1.1f;
    e.TowerHigh = 3.6f;
    e.TowerRoof = 2.2f;
    e.Roofing = second ? bcSlate : bcRedTiles;
    Enclosure(b.Visible, e);
    Gatehouse(b.Visible, half, e.Gap, 3.4f, bcStone);
    // Streets of houses left and right of the way from the gate.
    const TBuildCell roofs = second ? bcSlate : bcRedTiles;
    for (int32_t i = 0; i < 8; i++) {
        const float side = i % 2 == 0 ? -1.0f : 1.0f;
        const float z = -half + 2.6f + static_cast<float>(i / 2) * 3.2f;
        const float w = 2.4f + 0.6f * Hash01(i, second ? 7 : 3, 44), d = 2.0f;
        const float high = 1.8f + (second ? 0.9f : 0.5f) * Hash01(i, 5, 44);
        if (i == 7 && !second)
            continue; // the church stands there
        b.Visible.Append(House(w, d, high, 1.4f, bcTimber, roofs, i % 3 == 0), side * 3.6f, z, side * 1.5708f);
    }
    if (second) {
        // A town hall with a gilded roof and a bell tower.
        b.Visible.Box(-2, 3.2f, 2, 6.4f, Foot, 3.6f, Reg(bcMarble));
        b.Visible.GableRoof(-2.2f, 3, 2.2f, 6.6f, 3.6f, 5.2f, true, Reg(bcSlate), Reg(bcMarble));
        Tower(b.Visible, 0, 4.8f, 0.8f, 6.4f, 2.6f, bcMarble, bcGold);
        Door(b.Visible, 0, 3.2f, 1.0f, 1.5f);
        Well(b.Visible, 0, 0);
    } else {
        Church(b.Visible, 3.6f, 4.8f, 0.8f, bcStone, bcRedTiles, bcSlate);
        Well(b.Visible, -1.2f, 1.5f);
        Stall(b.Visible, 0.4f, -1.8f, 0, bcStripes);
    }
    return b;
}

TBuildingArt Monastery()
{
    TBuildingArt b;
    b.Half = b.Depth = 5.4f;
    Church(b.Visible, -2, 0.4f, 1.0f, bcMarble, bcRedTiles, bcRedTiles);
    // The cloister: low ranges around a green on the right.
    const TRegion wall = Reg(bcMarble), roof = Reg(bcRedTiles);
    const float x0 = 0.2f, x1 = 5, z0 = -3.5f, z1 = 4.5f;
    b.Visible.Box(x0, z1 - 1.4f, x1, z1, Foot, 1.8f, wall);
    b.Visible.GableRoof(x0 - 0.1f, z1 - 1.5f, x1 + 0.1f, z1 + 0.1f, 1.8f, 2.6f, true, roof, wall);
    b.Visible.Box(x1 - 1.4f, z0, x1, z1 - 1.4f, Foot, 1.8f, wall);
    b.Visible.GableRoof(x1 - 1.5f, z0 - 0.1f, x1 + 0.1f, z1 - 1.4f, 1.8f, 2.6f, false, roof, wall);
    b.Visible.Box(x0, z0, x1 - 1.4f, z0 + 1.4f, Foot, 1.8f, wall);
    b.Visible.GableRoof(x0 - 0.1f, z0 - 0.1f, x1 - 1.4f, z0 + 1.5f, 1.8f, 2.6f, true, roof, wall);
    b.Visible.Flat(x0, z0 + 1.4f, x1 - 1.4f, z1 - 1.4f, 0.05f, Reg(bcTurf));
    Well(b.Visible, (x0 + x1 - 1.4f) / 2, (z0 + z1) / 2);
    Door(b.Visible, 2, z0, 0.8f, 1.2f);
    return b;
}

TBuildingArt Cathedral()
{
    TBuildingArt b;
    b.Half = 4.4f;
    b.Depth = 6;
    const TRegion marble = Reg(bcMarble);
    b.Visible.Box(-2.2f, -3, 2.2f, 5, Foot, 5, marble);
    b.Visible.GableRoof(-2.4f, -3, 2.4f, 5.2f, 5, 8, false, Reg(bcSlate), marble);
    b.Visible.Box(-4, 1, 4, 3, Foot, 4.4f, marble);
    b.Visible.GableRoof(-4.2f, 0.8f, 4.2f, 3.2f, 4.4f, 7, true, Reg(bcSlate), marble);
    for (float x : {-2.2f, 2.2f}) {
        b.Visible.Box(x - 0.9f, -4.8f, x + 0.9f, -3, Foot, 8, Reg(bcSlitStone), &marble);
        b.Visible.Pyramid(x - 1, -4.9f, x + 1, -2.9f, 8, 12, Reg(bcGold));
    }
    b.Visible.Box(-1.3f, -4.8f, 1.3f, -3, Foot, 5.6f, marble, &marble);
    Door(b.Visible, 0, -4.8f, 1.4f, 2.4f);
    b.Visible.Pyramid(-0.6f, 1.4f, 0.6f, 2.6f, 7.8f, 11, Reg(bcGold));
    return b;
}

TBuildingArt Chapel()
{
    TBuildingArt b;
    b.Half = 1.6f;
    b.Depth = 2.2f;
    const TRegion wall = Reg(bcStone);
    b.Visible.Box(-1.1f, -1.6f, 1.1f, 1.6f, Foot, 2, wall);
    b.Visible.GableRoof(-1.3f, -1.8f, 1.3f, 1.8f, 2, 3.4f, false, Reg(bcRedTiles), wall);
    b.Visible.Box(-0.3f, -1.5f, 0.3f, -0.9f, 3, 3.9f, wall, &wall);
    b.Visible.Pyramid(-0.4f, -1.6f, 0.4f, -0.8f, 3.9f, 4.8f, Reg(bcSlate));
    Door(b.Visible, 0, -1.6f, 0.6f, 1.1f);
    return b;
}

TBuildingArt Tavern()
{
    TBuildingArt b;
    b.Half = 1.9f;
    b.Depth = 1.6f;
    b.Visible = House(3.4f, 2.6f, 2.6f, 1.5f, bcTimber, bcRedTiles, true);
    // A sign on a post by the door.
    const TRegion wood = Reg(bcPlanks);
    b.Visible.Box(1.2f, -1.9f, 1.3f, -1.8f, -0.3f, 2.2f, wood, &wood);
    b.Visible.Box(0.7f, -1.88f, 1.2f, -1.82f, 1.5f, 2.0f, Reg(bcGold), &wood);
    b.Visible.Box(-1.7f, -2.3f, -0.9f, -1.9f, -0.3f, 0.5f, wood, &wood); // a bench
    return b;
}

TBuildingArt Market()
{
    TBuildingArt b;
    b.Half = b.Depth = 3.2f;
    Well(b.Visible, 0, 0.4f);
    const float places[4][3] = {{-2, -1.6f, 0}, {2, -1.6f, 0}, {-2, 2.2f, 3.1416f}, {2, 2.2f, 3.1416f}};
    for (int32_t i = 0; i < 4; i++)
        Stall(b.Visible, places[i][0], places[i][1], places[i][2], i % 2 == 0 ? bcStripes : bcRedCloth);
    const TRegion crates = Reg(bcPlanks);
    b.Visible.Box(-3, 0.2f, -2.2f, 1.0f, -0.3f, 0.6f, crates, &crates);
    return b;
}

TBuildingArt Port()
{
    TBuildingArt b;
    b.Half = 3.6f;
    b.Depth = 3.2f;
    b.Visible.Append(House(4, 2.6f, 2.2f, 1.4f, bcPlanks, bcSlate), -1, -1);
    const TRegion wood = Reg(bcPlanks), logs = Reg(bcLogs);
    // The pier runs out behind, over the water.
    b.Visible.Box(0.8f, 0.4f, 2.6f, 7, 0.15f, 0.35f, wood, &wood);
    for (float z : {1.5f, 3.5f, 5.5f})
        for (float x : {0.9f, 2.5f})
            b.Visible.Box(x - 0.1f, z - 0.1f, x + 0.1f, z + 0.1f, -2, 0.6f, logs, &logs);
    // A crane: a mast and a jib.
    b.Visible.Box(2.2f, 0.5f, 2.45f, 0.75f, -0.3f, 3.6f, logs, &logs);
    b.Visible.Box(1.2f, 0.55f, 3.4f, 0.7f, 3.2f, 3.4f, logs, &logs);
    return b;
}

TBuildingArt Fort()
{
    TBuildingArt b;
    b.Half = b.Depth = 4.6f;
    Palisade(b.Visible, 4, 0.5f, 2.2f);
    const TRegion logs = Reg(bcLogs), planks = Reg(bcPlanks);
    // Two watchtowers on legs at the gate and a barracks inside.
    for (float x : {-1.8f, 1.8f}) {
        b.Visible.Box(x - 0.6f, -4.6f, x + 0.6f, -3.4f, Foot, 3.4f, logs, &planks);
        b.Visible.Pyramid(x - 0.8f, -4.8f, x + 0.8f, -3.2f, 3.4f, 4.6f, Reg(bcThatch));
    }
    b.Visible.Append(House(4, 2.2f, 1.6f, 1.2f, bcPlanks, bcThatch, true), 0, 1.8f);
    Banner(b.Visible, 2.6f, -1, 4, bcRedCloth);
    return b;
}

TBuildingArt Military()
{
    TBuildingArt b;
    b.Half = b.Depth = 4.4f;
    Palisade(b.Visible, 3.8f, 0.4f, 1.4f);
    const float tents[4][2] = {{-2, -1.2f}, {2, -1.2f}, {-2, 2}, {2, 2}};
    for (int32_t i = 0; i < 4; i++)
        Tent(b.Visible, tents[i][0], tents[i][1], 1.0f, 2.2f, i % 2 == 0 ? bcRedCloth : bcStripes);
    Banner(b.Visible, 0, 0.6f, 4.2f, bcRedCloth);
    return b;
}

TBuildingArt Cemetery()
{
    TBuildingArt b;
    b.Half = b.Depth = 3.4f;
    b.Enterable = false;
    const float h = 3.2f;
    Fence(b.Visible, -h, h, h, h);
    Fence(b.Visible, -h, -h, -h, h);
    Fence(b.Visible, h, -h, h, h);
    Fence(b.Visible, -h, -h, -0.8f, -h);
    Fence(b.Visible, 0.8f, -h, h, -h);
    const TRegion marble = Reg(bcMarble), turf = Reg(bcTurf);
    for (int32_t row = 0; row < 3; row++)
        for (int32_t column = 0; column < 4; column++) {
            const float x = -2.1f + 1.4f * static_cast<float>(column), z = -1.2f + 1.5f * static_cast<float>(row);
            b.Visible.Pyramid(x - 0.35f, z - 0.6f, x + 0.35f, z + 0.2f, -0.1f, 0.22f, turf);
            if ((row + column) % 2 == 0) {
                b.Visible.Box(x - 0.25f, z + 0.2f, x + 0.25f, z + 0.32f, -0.3f, 0.7f, marble, &marble);
            } else {
                b.Visible.Box(x - 0.05f, z + 0.2f, x + 0.05f, z + 0.3f, -0.3f, 0.95f, marble, &marble);
                b.Visible.Box(x - 0.25f, z + 0.2f, x + 0.25f, z + 0.3f, 0.6f, 0.7f, marble, &marble);
            }
        }
    return b;
}

TBuildingArt Altar()
{
    TBuildingArt b;
    b.Half = b.Depth = 2.9f;
    const TRegion marble = Reg(bcMarble), stone = Reg(bcRuinStone);
    b.Visible.Box(-1.6f, -1.6f, 1.6f, 1.6f, Foot, 0.3f, marble, &marble);
    const TRegion gold = Reg(bcGold);
    b.Visible.Box(-0.6f, -0.3f, 0.6f, 0.3f, 0.3f, 1.1f, marble, &gold);
    for (int32_t i = 0; i < 7; i++) {
        const float a = TwoPi * static_cast<float>(i) / 7 + 1.5708f / 7;
        const float x = 2.4f * std::cos(a), z = 2.4f * std::sin(a);
        if (z < -2 && std::fabs(x) < 1)
            continue; // the way in
        TShape menhir;
        menhir.Box(-0.25f, -0.18f, 0.25f, 0.18f, Foot, 1.7f + 0.3f * static_cast<float>(i % 3), stone, &stone);
        b.Visible.Append(menhir, x, z, -a);
    }
    return b;
}

// A ruined tower: a stump with a broken crown and fallen stones.
TBuildingArt RuinTower()
{
    TBuildingArt b;
    b.Half = b.Depth = 2.2f;
    b.Enterable = false;
    const TRegion r = Reg(bcRuinStone);
    b.Visible.Prism(0, 0, 1.4f, Foot, 3.2f, 8, r, &r, 0.3927f);
    for (int32_t i = 0; i < 8; i += 3) {
        const float a = 0.3927f + TwoPi * static_cast<float>(i) / 8;
        const float x = 1.1f * std::cos(a), z = 1.1f * std::sin(a);
        b.Visible.Box(x - 0.35f, z - 0.35f, x + 0.35f, z + 0.35f, 3.2f, 4.4f + 0.4f * static_cast<float>(i % 2), r, &r);
    }
    for (int32_t i = 0; i < 4; i++) {
        const float x = -1.8f + 1.2f * static_cast<float>(i), z = -1.6f + (i % 2 == 0 ? 0 : 3.0f);
        b.Visible.Box(x - 0.3f, z - 0.25f, x + 0.3f, z + 0.25f, -0.3f, 0.3f, r, &r);
    }
    return b;
}

TBuildingArt RuinChurch()
{
    TBuildingArt b;
    b.Half = 1.8f;
    b.Depth = 3.8f;
    b.Enterable = false;
    const TRegion r = Reg(bcRuinStone);
    WallRun(b.Visible, -1.3f, -2.3f, -1.3f, 2.3f, 0.3f, 2.2f, r, false);
    WallRun(b.Visible, 1.3f, -2.3f, 1.3f, 0.6f, 0.3f, 1.6f, r, false);
    WallRun(b.Visible, -1.3f, 2.3f, 1.3f, 2.3f, 0.3f, 2.8f, r, false);
    b.Visible.GableEnd({-1.3f, 2.8f, 2.3f}, {1.3f, 2.8f, 2.3f}, {0, 4, 2.3f}, r, {0, 3, 3});
    b.Visible.GableEnd({-1.3f, 2.8f, 2.3f}, {1.3f, 2.8f, 2.3f}, {0, 4, 2.3f}, r, {0, 3, 1});
    b.Visible.Box(-0.8f, -3.7f, 0.8f, -2.3f, Foot, 3.6f, r, &r);
    b.Visible.Box(-0.8f, -3.7f, -0.3f, -3.2f, 3.6f, 4.3f, r, &r);
    return b;
}

// A stone bridge along z: its deck rises from the banks to the middle, its
// piers stand in the water, its abutments hold the banks.
constexpr float BridgeHalfLength = 6;
constexpr float BridgeHalfWidth = 1.2f;

float BridgeDeck(float z)
{
    const float t = z / BridgeHalfLength;
    return 0.15f + 0.55f * (1 - t * t);
}

TBuildingArt Bridge()
{
    TBuildingArt b;
    b.Half = BridgeHalfWidth + 0.8f;
    b.Depth = BridgeHalfLength + 1;
    const TRegion stone = Reg(bcStone), planks = Reg(bcPlanks);
    constexpr int32_t steps = 8;
    for (int32_t i = 0; i < steps; i++) {
        const float z0 = -BridgeHalfLength + 2 * BridgeHalfLength * static_cast<float>(i) / steps;
        const float z1 = -BridgeHalfLength + 2 * BridgeHalfLength * static_cast<float>(i + 1) / steps;
        const float y0 = BridgeDeck(z0), y1 = BridgeDeck(z1);
        const TVec3 below = {0, -5, (z0 + z1) / 2};
        b.Visible.Quad({-BridgeHalfWidth, y0, z0}, {BridgeHalfWidth, y0, z0}, {BridgeHalfWidth, y1, z1},
                       {-BridgeHalfWidth, y1, z1}, planks, below);
        for (float side : {-1.0f, 1.0f}) {
            const float x = side * (BridgeHalfWidth + 0.1f);
            // The parapet and the deck's side face down to the arch.
            TShape parapet;
            parapet.Quad({x, y0 - 0.6f, z0}, {x, y1 - 0.6f, z1}, {x, y1 + 0.5f, z1}, {x, y0 + 0.5f, z0}, stone,
                         {0, y0, (z0 + z1) / 2});
            parapet.Quad({x - side * 0.2f, y0, z0}, {x - side * 0.2f, y1, z1}, {x - side * 0.2f, y1 + 0.5f, z1},
                         {x - side * 0.2f, y0 + 0.5f, z0}, stone, {x + side, y0, (z0 + z1) / 2});
            parapet.Quad({x - side * 0.2f, y0 + 0.5f, z0}, {x, y0 + 0.5f, z0}, {x, y1 + 0.5f, z1},
                         {x - side * 0.2f, y1 + 0.5f, z1}, stone, {x, y0 - 1, (z0 + z1) / 2});
            b.Visible.Append(parapet, 0, 0);
        }
    }
    for (float z : {-2.0f, 2.0f})
        b.Visible.Box(-BridgeHalfWidth - 0.2f, z - 0.5f, BridgeHalfWidth + 0.2f, z + 0.5f, -3.5f, BridgeDeck(z) - 0.6f,
                      stone);
    for (float z : {-BridgeHalfLength - 0.4f, BridgeHalfLength + 0.4f})
        for (float x : {-BridgeHalfWidth - 0.3f, BridgeHalfWidth + 0.3f})
            b.Visible.Box(x - 0.3f, z - 0.3f, x + 0.3f, z + 0.3f, Foot, 1.2f, stone, &stone);
    return b;
}

// The deck the armies walk on: a strip that follows the deck's rise, so
// that the map finds the height under a point from its vertices.
TShape BridgeDeckPart()
{
    TShape s;
    constexpr int32_t steps = 8;
    const TRegion none;
    for (int32_t i = 0; i < steps; i++) {
        const float z0 = -BridgeHalfLength + 2 * BridgeHalfLength * static_cast<float>(i) / steps;
        const float z1 = -BridgeHalfLength + 2 * BridgeHalfLength * static_cast<float>(i + 1) / steps;
        s.Quad({-BridgeHalfWidth, BridgeDeck(z0), z0}, {BridgeHalfWidth, BridgeDeck(z0), z0},
               {BridgeHalfWidth, BridgeDeck(z1), z1}, {-BridgeHalfWidth, BridgeDeck(z1), z1}, none,
               {0, -5, (z0 + z1) / 2});
    }
    return s;
}

// A windmill: a tapering timber tower under a thatched cap; its sails are
// a part of their own, turned by a bone.
constexpr TVec3 MillHub = {0, 3.3f, -1.15f};

TBuildingArt Windmill()
{
    TBuildingArt b;
    b.Half = b.Depth = 1.6f;
    b.Enterable = false;
    const TRegion timber = Reg(bcTimber);
    b.Visible.Prism(0, 0, 1.2f, Foot, 1.6f, 8, timber, nullptr, 0.3927f);
    b.Visible.Prism(0, 0, 1.0f, 1.6f, 3.4f, 8, timber, nullptr, 0.3927f);
    b.Visible.Cone(0, 0, 1.25f, 3.4f, 4.8f, 8, Reg(bcThatch), 0.3927f);
    const TRegion axle = Reg(bcLogs);
    b.Visible.Box(-0.15f, -1.2f, 0.15f, -0.9f, 3.15f, 3.45f, axle, &axle);
    Door(b.Visible, 0, -1.15f, 0.6f, 1.1f);
    return b;
}

TShape MillSails()
{
    TShape s;
    const TRegion frame = Reg(bcPlanks), cloth = Reg(bcMarble);
    for (int32_t i = 0; i < 4; i++) {
        TShape arm;
        // One arm pointing up from the hub, in the plane of the sails.
        arm.Quad({-0.07f, 0, 0}, {0.07f, 0, 0}, {0.07f, 2.6f, 0}, {-0.07f, 2.6f, 0}, frame, {0, 1, 1});
        arm.Quad({-0.07f, 0, 0}, {0.07f, 0, 0}, {0.07f, 2.6f, 0}, {-0.07f, 2.6f, 0}, frame, {0, 1, -1});
        arm.Quad({0.07f, 0.5f, -0.02f}, {0.6f, 0.5f, -0.02f}, {0.6f, 2.5f, -0.02f}, {0.07f, 2.5f, -0.02f}, cloth,
                 {0.3f, 1.5f, 1});
        arm.Quad({0.07f, 0.5f, -0.02f}, {0.6f, 0.5f, -0.02f}, {0.6f, 2.5f, -0.02f}, {0.07f, 2.5f, -0.02f}, cloth,
                 {0.3f, 1.5f, -1});
        // Turn the arm about z (the axle) by a quarter turn per arm.
        const float a = 1.5708f * static_cast<float>(i), c = std::cos(a), sn = std::sin(a);
        const uint16_t base = static_cast<uint16_t>(s.Vertices.size());
        for (T3D_Vertex v : arm.Vertices) {
            const TVec3 p = v.Position, n = v.Normal;
            v.Position = {MillHub.x + p.x * c - p.y * sn, MillHub.y + p.x * sn + p.y * c, MillHub.z + p.z - 0.05f};
            v.Normal = {n.x * c - n.y * sn, n.x * sn + n.y * c, n.z};
            v.BoneIndex[0] = 1;
            v.Weight[0] = 1;
            s.Vertices.push_back(v);
        }
        for (uint16_t index : arm.Indices)
            s.Indices.push_back(static_cast<uint16_t>(base + index));
    }
    return s;
}

// The sails' skeleton: a root at the mill's origin and the sails' bone at
// the hub, one looping clip "turn" of a whole revolution in eight keys.
T3D_Skin MillSkin()
{
    T3D_Skin skin;
    T3D_Bone root;
    root.Name = "mill_root";
    root.NodeName = "Mill";
    root.Tracks.resize(1);
    T3D_Bone sails;
    sails.Name = "mill_sails";
    sails.NodeName = "Sails";
    sails.Parent = 0;
    MatrixTranslation(sails.InverseBind, -MillHub.x, -MillHub.y, -MillHub.z);
    T3D_Track track;
    MatrixTranslation(track.Matrix, MillHub.x, MillHub.y, MillHub.z);
    constexpr int32_t keys = 8;
    constexpr float seconds = 6;
    for (int32_t k = 0; k <= keys; k++) {
        TMatrix4 turn, at, key;
        MatrixRotationZ(turn, -TwoPi * static_cast<float>(k) / keys);
        MatrixTranslation(at, MillHub.x, MillHub.y, MillHub.z);
        MatrixMultiply(turn, at, key); // at x turn: turned about the hub, then put there
        track.Times.push_back(seconds * static_cast<float>(k) / keys);
        track.Keys.push_back(key);
    }
    sails.Tracks.push_back(track);
    skin.Bones = {root, sails};
    skin.Clips.push_back({"turn", static_cast<int32_t>(std::lround(seconds * 1000))});
    return skin;
}

// ---------------------------------------------------------------------------
// Trees: a trunk, a crown of crossed quads (three standing, two lying for the
// view from above), and grass and flowers at the foot. Under 60 vertices a
// model.

struct TTreeArt {
    TShape Trunk, Coma, Grass, Flowers;
};

// Quads standing through the axis at y0..y1, n of them turned evenly, and
// lying ones at the given heights.
void CrossedQuads(TShape& s, float radius, float y0, float y1, int32_t n, const TRegion& r, float turn)
{
    for (int32_t i = 0; i < n; i++) {
        const float a = turn + 3.1415927f * static_cast<float>(i) / static_cast<float>(n);
        const float dx = radius * std::cos(a), dz = radius * std::sin(a);
        s.Quad({-dx, y0, -dz}, {dx, y0, dz}, {dx, y1, dz}, {-dx, y1, -dz}, r, {-dz, (y0 + y1) / 2, dx});
    }
}

void LyingQuad(TShape& s, float radius, float y, const TRegion& r, float turn)
{
    const float c = radius * std::cos(turn), sn = radius * std::sin(turn);
    s.Quad({-c + sn, y, -sn - c}, {c + sn, y, sn - c}, {c - sn, y, sn + c}, {-c - sn, y, -sn + c}, r, {0, y - 1, 0});
}

void Tuft(TShape& s, float x, float z, float radius, float high, const TRegion& r, float turn)
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

TTreeArt TallTree(const TTreeShape& t, int32_t variant)
{
    const float grow = 0.85f + 0.15f * static_cast<float>(variant), wide = 1.1f - 0.1f * static_cast<float>(variant);
    const float turn = 0.5f * static_cast<float>(variant);
    TTreeArt tree;
    const TRegion bark = ForestRegion(t.Bark);
    tree.Trunk.Prism(0, 0, t.TrunkRadius, -0.3f, t.TrunkHigh * grow, t.Conifer ? 3 : 4,
                     TRegion{bark.U0, bark.V0, bark.U1, bark.V1, 100}, nullptr, turn);
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

// The tall kinds by tree kind (0: not a tall kind).
TTreeShape TallShape(TTreeKind kind)
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

TTreeArt SmallPlant(TTreeKind kind, int32_t variant)
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
        p.Trunk.Prism(0, 0, 0.28f * grow, -0.3f, 0.45f, 5, TRegion{bark.U0, bark.V0, bark.U1, bark.V1, 100}, &rings,
                      turn);
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
// Map objects

// A boulder: an octahedron split once, its points pushed in and out.
TShape Boulder(float radius, float flat, uint32_t seed)
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

TShape MapObject(TStoneKind kind, int32_t variant)
{
    TShape s;
    const uint32_t seed = static_cast<uint32_t>(kind) * 40u + static_cast<uint32_t>(variant);
    const TRegion wood = Reg(bcPlanks), marble = Reg(bcMarble), turf = Reg(bcTurf), logs = Reg(bcLogs);
    switch (kind) {
    case TStoneKind::Rock:
        s.Append(Boulder(variant == 0 ? 1.2f : 0.9f, variant == 0 ? 1.0f : 1.5f, seed), 0, 0, 0, -0.3f);
        if (variant == 1)
            s.Append(Boulder(0.5f, 0.8f, seed + 9), 0.9f, 0.5f, 0, -0.2f);
        break;
    case TStoneKind::Stone:
        for (int32_t i = 0; i < 3 + variant; i++) {
            const float a = 2.1f * static_cast<float>(i) + 0.4f * static_cast<float>(variant);
            s.Append(Boulder(0.3f + 0.1f * static_cast<float>(i % 2), 0.7f, seed + static_cast<uint32_t>(i)),
                     0.5f * std::cos(a), 0.5f * std::sin(a), 0, -0.12f);
        }
        break;
    case TStoneKind::Debris:
        for (int32_t i = 0; i < 4; i++) {
            TShape plank;
            plank.Box(-0.8f, -0.12f, 0.8f, 0.12f, -0.1f, 0.08f, i % 2 == 0 ? wood : Reg(bcCharred), &wood);
            s.Append(plank, 0.3f * static_cast<float>(i) - 0.4f, 0.25f * static_cast<float>(i % 3) - 0.2f,
                     0.9f * static_cast<float>(i) + static_cast<float>(variant));
        }
        s.Append(Boulder(0.35f, 0.8f, seed), -0.6f, 0.6f, 0, -0.1f);
        if (variant == 1)
            s.Prism(0.6f, -0.5f, 0.45f, 0.0f, 0.12f, 8, wood, &wood); // a cart wheel
        break;
    case TStoneKind::Grave:
        s.Pyramid(-0.45f, -0.9f, 0.45f, 0.6f, -0.15f, 0.3f, turf);
        if (variant == 0) {
            s.Box(-0.35f, 0.55f, 0.35f, 0.72f, -0.3f, 0.8f, marble, &marble);
        } else {
            s.Box(-0.06f, 0.55f, 0.06f, 0.68f, -0.3f, 1.1f, wood, &wood);
            s.Box(-0.35f, 0.55f, 0.35f, 0.68f, 0.7f, 0.82f, wood, &wood);
        }
        break;
    case TStoneKind::Yard:
        Fence(s, -1.5f, -1.5f, 1.5f, -1.5f);
        Fence(s, -1.5f, 1.5f, 1.5f, 1.5f);
        Fence(s, -1.5f, -1.5f, -1.5f, 1.5f);
        Fence(s, 1.5f, -1.5f, 1.5f, 1.5f);
        if (variant == 0) {
            s.Prism(0, 0, 0.8f, -0.2f, 0.7f, 8, Reg(bcThatch));
            s.Cone(0, 0, 0.85f, 0.7f, 1.8f, 8, Reg(bcThatch));
        } else {
            for (int32_t i = 0; i < 3; i++)
                s.Box(-0.9f, -0.4f + 0.28f * static_cast<float>(i), 0.9f, -0.14f + 0.28f * static_cast<float>(i), -0.1f,
                      0.2f + 0.25f * static_cast<float>(2 - i), logs, &logs);
        }
        break;
    default: // Object: a signpost or a well
        if (variant == 0) {
            s.Box(-0.07f, -0.07f, 0.07f, 0.07f, -0.4f, 1.9f, wood, &wood);
            s.Box(-0.1f, -0.04f, 0.8f, 0.04f, 1.4f, 1.65f, wood, &wood);
            s.Box(-0.8f, -0.04f, 0.1f, 0.04f, 1.05f, 1.3f, wood, &wood);
        } else {
            Well(s, 0, 0);
        }
        break;
    }
    return s;
}

// ---------------------------------------------------------------------------
// Writing the set

const std::string Landscape = "Landscape\\";

std::string TwoDigits(int32_t n)
{
    return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}

void WriteTexture(TArtOutput& out, const std::string& name, const TPicture& picture, bool dxt5)
{
    out.WriteDDS(name + ".DDS", MakeMippedDDS(picture, dxt5));
}

void WriteTerrainTextures(TArtOutput& out)
{
    WriteTexture(out, Landscape + "WaterRipple1_n", Ripples(11, 0.3f), false);
    WriteTexture(out, Landscape + "WaterRipple2_n", Ripples(23, 1.9f), false);
    WriteTexture(out, Landscape + "WaterSky", Sky(), false);
    TPicture land(4 * TileSize, 4 * TileSize), hill(4 * TileSize, 4 * TileSize);
    MakeGroundAtlases(land, hill);
    WriteTexture(out, Landscape + "LandTextures", land, false);
    WriteTexture(out, Landscape + "LandTextures_n", NormalMap(land, 1.5f, TileSize), false);
    WriteTexture(out, Landscape + "HillTextures", hill, false);
    WriteTexture(out, Landscape + "HillTextures_n", NormalMap(hill, 2.0f, TileSize), false);
    const TPicture forest = ForestTexture();
    WriteTexture(out, Landscape + "ForestTexture_d", forest, true);
    WriteTexture(out, Landscape + "ForestTexture_n", NormalMap(forest, 2.0f, AtlasCellSize), false);
    WriteTexture(out, Landscape + "Error", ErrorChecker(), false);
    const TPicture building = BuildingTexture();
    const TPicture buildingNormals = NormalMap(building, 2.5f, AtlasCellSize);
    for (const char* folder : {"Buildings", "Objects"}) {
        WriteTexture(out, Landscape + folder + "\\Textures\\" + folder + "_d", building, false);
        WriteTexture(out, Landscape + folder + "\\Textures\\" + folder + "_n", buildingNormals, false);
    }
}

std::vector<TMeshFileTexture> TexturesOf(const std::string& base)
{
    return {{base + "_d.dds", 0, 0}, {base + "_n.dds", 0, 2}};
}

TBuildingArt BuildingOf(TBuildingModel model, int32_t variant)
{
    switch (model) {
    case TBuildingModel::Town:
        return Town(variant == 1);
    case TBuildingModel::CastleBig:
        return Castle(7, 3.0f, 1.4f, bcSlate, true);
    case TBuildingModel::CastleMiddle:
        return Castle(5.5f, 2.6f, 1.2f, bcRedTiles, false);
    case TBuildingModel::CastleSmall:
        return Castle(4, 2.2f, 1.0f, bcSlate, false);
    case TBuildingModel::Fort:
        return Fort();
    case TBuildingModel::Monastery:
        return Monastery();
    case TBuildingModel::Cathedral:
        return Cathedral();
    case TBuildingModel::Church: {
        TBuildingArt b;
        b.Half = 1.6f;
        b.Depth = 3.8f;
        Church(b.Visible, 0, 0.8f, 1, bcStone, bcSlate, bcSlate);
        return b;
    }
    case TBuildingModel::Chapel:
        return Chapel();
    case TBuildingModel::VillageBig:
        return Village(8, 5.0f, 51, true);
    case TBuildingModel::VillageMiddle:
        return Village(5, 3.8f, 52, true);
    case TBuildingModel::VillageSmall:
        return Village(3, 2.8f, 53, false);
    case TBuildingModel::Tavern:
        return Tavern();
    case TBuildingModel::House: {
        TBuildingArt b;
        b.Half = 1.2f;
        b.Depth = 1.1f;
        b.Visible = House(2.2f, 1.8f, 1.6f, 1.1f, bcTimber, bcRedTiles, true);
        return b;
    }
    case TBuildingModel::Market:
        return Market();
    case TBuildingModel::Port:
        return Port();
    case TBuildingModel::RuinCastleBig:
        return RuinedCastle(7, 3.0f, 61);
    case TBuildingModel::RuinCastleMiddle:
        return RuinedCastle(5.5f, 2.6f, 62);
    case TBuildingModel::RuinTower:
        return RuinTower();
    case TBuildingModel::RuinChurch:
        return RuinChurch();
    case TBuildingModel::RuinVillageAbandonedBig:
        return DeadVillage(7, 4.6f, 71, false);
    case TBuildingModel::RuinVillageAbandonedMiddle:
        return DeadVillage(5, 3.8f, 72, false);
    case TBuildingModel::RuinVillageAbandonedSmall:
        return DeadVillage(3, 2.8f, 73, false);
    case TBuildingModel::RuinHouseAbandoned: {
        TBuildingArt b = DeadVillage(1, 0, 74, false);
        b.Half = b.Depth = 1.4f;
        return b;
    }
    case TBuildingModel::RuinVillageRuinedBig:
        return DeadVillage(7, 4.6f, 81, true);
    case TBuildingModel::RuinVillageRuinedMiddle:
        return DeadVillage(5, 3.8f, 82, true);
    case TBuildingModel::RuinVillageRuinedSmall:
        return DeadVillage(3, 2.8f, 83, true);
    case TBuildingModel::Cementry:
        return Cemetery();
    case TBuildingModel::Altar:
        return Altar();
    case TBuildingModel::Military:
        return Military();
    case TBuildingModel::Bridge:
        return Bridge();
    default:
        return Windmill();
    }
}

void WriteBuildings(TArtOutput& out, T3D_Render& render)
{
    const TRegion none;
    for (int32_t m = 1; m <= BuildingModelCount; m++) {
        const TBuildingModel model = static_cast<TBuildingModel>(m);
        const std::string kind = BuildingModelNames[m];
        const int32_t variants = model == TBuildingModel::Town ? 2 : 1;
        for (int32_t v = 0; v < variants; v++) {
            const TBuildingArt b = BuildingOf(model, v);
            std::vector<TMeshFileRecord> records;
            records.push_back(MakeRecord(render, kind, MESH_NORMALMAPPED, b.Visible, TexturesOf("Buildings")));
            if (model == TBuildingModel::Object) {
                const T3D_Skin skin = MillSkin();
                records.push_back(
                    MakeRecord(render, "Sails_skinned", MESH_SKINNED, MillSails(), TexturesOf("Buildings"), &skin));
            }
            TShape footprint, entrance;
            if (model == TBuildingModel::Bridge) {
                // The abutments hold the banks beyond the deck's ends; the
                // deck covers their middles.
                for (float z : {-BridgeHalfLength - 0.2f, BridgeHalfLength + 0.2f})
                    footprint.Flat(-b.Half, z - 1, b.Half, z + 1, 0.05f, none);
                entrance = BridgeDeckPart();
            } else {
                footprint.Flat(-b.Half, -b.Depth, b.Half, b.Depth, 0.05f, none);
                entrance.Flat(-b.EnterWidth / 2, -b.Depth - 1.5f, b.EnterWidth / 2, 0.6f, 0.1f, none);
            }
            records.push_back(MakeRecord(render, kind + " Collision", MESH_NORMALMAPPED, footprint, {}));
            if (b.Enterable)
                records.push_back(MakeRecord(render, kind + " Enter", MESH_NORMALMAPPED, entrance, {}));
            out.WriteMeshFile(Landscape + "Buildings\\" + kind + "_" + TwoDigits(v + 1) + ".d3d", records);
        }
    }
}

void WriteTrees(TArtOutput& out, T3D_Render& render)
{
    for (int32_t k = 1; k <= TreeKindCount; k++) {
        const TTreeKind kind = static_cast<TTreeKind>(k);
        const std::string name = TreeKindNames[k];
        const TTreeShape tall = TallShape(kind);
        const int32_t variants = tall.TrunkHigh > 0 ? 3 : 2;
        for (int32_t v = 0; v < variants; v++) {
            const TTreeArt tree = tall.TrunkHigh > 0 ? TallTree(tall, v) : SmallPlant(kind, v);
            std::vector<TMeshFileRecord> records;
            const std::vector<TMeshFileTexture> textures = TexturesOf("ForestTexture");
            if (!tree.Trunk.Vertices.empty())
                records.push_back(MakeRecord(render, name + " trunk", MESH_NORMALMAPPED, tree.Trunk, textures));
            if (!tree.Coma.Vertices.empty())
                records.push_back(MakeRecord(render, name + " coma", MESH_TREECOMA, tree.Coma, textures));
            if (!tree.Grass.Vertices.empty())
                records.push_back(MakeRecord(render, name + " grass", MESH_GRASS, tree.Grass, textures));
            if (!tree.Flowers.Vertices.empty())
                records.push_back(MakeRecord(render, name + " flowers", MESH_GRASS, tree.Flowers, textures));
            out.WriteMeshFile(Landscape + "Trees\\" + name + "_" + TwoDigits(v + 1) + ".d3d", records);
        }
    }
}

void WriteObjects(TArtOutput& out, T3D_Render& render)
{
    for (int32_t k = 1; k <= StoneKindCount; k++) {
        const std::string name = StoneKindNames[k];
        for (int32_t v = 0; v < 2; v++)
            out.WriteMeshFile(Landscape + "Objects\\" + name + "_" + TwoDigits(v + 1) + ".d3d",
                              {MakeRecord(render, name, MESH_NORMALMAPPED, MapObject(static_cast<TStoneKind>(k), v),
                                          TexturesOf("Objects"))});
    }
}

} // namespace

void GenerateLandscapeArt(TArtOutput& out)
{
    WriteTerrainTextures(out);
    const std::unique_ptr<T3D_Render> render = MakeNullRender();
    WriteBuildings(out, *render);
    WriteTrees(out, *render);
    WriteObjects(out, *render);
}
