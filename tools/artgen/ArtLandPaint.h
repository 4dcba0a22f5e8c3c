// Painting helpers of the landscape art: periodic noise, pictures of BGRA
// texels, normal maps from heights and DXT files with their mipmaps. Every
// number comes from an integer hash of the texel and a seed, so two runs
// paint the same bytes.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/TextureFiles.h"

namespace ArtLand {

constexpr float TwoPi = 6.2831853f;

struct TColour {
    float R = 0, G = 0, B = 0;
};

inline TColour Mix(const TColour& a, const TColour& b, float t)
{
    return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}

inline TColour Scaled(const TColour& c, float s)
{
    return {c.R * s, c.G * s, c.B * s};
}

inline uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    h *= 0x27D4EB2Du;
    h ^= h >> 16;
    return h;
}

// A number in [0, 1) from a lattice point.
inline float Hash01(int32_t x, int32_t y, uint32_t seed)
{
    return static_cast<float>(Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) >> 8) / 16777216.0f;
}

inline int32_t Wrap(int32_t v, int32_t period)
{
    if (v >= 0 && v < period)
        return v;
    const int32_t m = v % period;
    return m < 0 ? m + period : m;
}

inline float Smooth(float t)
{
    return t * t * (3 - 2 * t);
}

// Value noise in [0, 1) over a lattice of cellX x cellY texels that repeats
// every period texels (cells must divide the period).
inline float Noise(float x, float y, int32_t cellX, int32_t cellY, int32_t period, uint32_t seed)
{
    const float fx = x / static_cast<float>(cellX), fy = y / static_cast<float>(cellY);
    const int32_t ix = static_cast<int32_t>(std::floor(fx)), iy = static_cast<int32_t>(std::floor(fy));
    const float tx = Smooth(fx - static_cast<float>(ix)), ty = Smooth(fy - static_cast<float>(iy));
    const int32_t nx = period / cellX, ny = period / cellY;
    const int32_t x0 = Wrap(ix, nx), y0 = Wrap(iy, ny);
    const int32_t x1 = x0 + 1 == nx ? 0 : x0 + 1, y1 = y0 + 1 == ny ? 0 : y0 + 1;
    const float a = Hash01(x0, y0, seed), b = Hash01(x1, y0, seed);
    const float c = Hash01(x0, y1, seed), d = Hash01(x1, y1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// The next finer lattice of a fractal: about half the cell, and a divisor
// of the period so that the picture still repeats (0 when there is none).
inline int32_t FinerCell(int32_t cell, int32_t period)
{
    for (int32_t c = cell / 2; c * 3 >= cell && c >= 2; c--)
        if (period % c == 0)
            return c;
    return 0;
}

// Three octaves of value noise from cell c (which must divide the period)
// down to about c / 4.
inline float Fractal(float x, float y, int32_t cell, int32_t period, uint32_t seed)
{
    float sum = 0, weight = 0, amplitude = 1;
    for (int32_t octave = 0; octave < 3 && cell > 0; octave++) {
        sum += Noise(x, y, cell, cell, period, seed + static_cast<uint32_t>(octave) * 7919u) * amplitude;
        weight += amplitude;
        amplitude *= 0.5f;
        cell = FinerCell(cell, period);
    }
    return sum / weight;
}

// Cellular noise: the distances from (x, y) to the nearest and the second
// nearest feature point, one point in each cell of a periodic grid; and the
// hash of the nearest point's cell (to colour stones one by one).
struct TCellular {
    float F1 = 0, F2 = 0;
    uint32_t Id = 0;
};

inline TCellular Cellular(float x, float y, int32_t cell, int32_t period, uint32_t seed, float jitter = 0.8f)
{
    const int32_t n = period / cell;
    const int32_t ix = static_cast<int32_t>(std::floor(x / static_cast<float>(cell)));
    const int32_t iy = static_cast<int32_t>(std::floor(y / static_cast<float>(cell)));
    TCellular out;
    out.F1 = out.F2 = 1e9f;
    for (int32_t dy = -1; dy <= 1; dy++)
        for (int32_t dx = -1; dx <= 1; dx++) {
            const int32_t cx = ix + dx, cy = iy + dy;
            const int32_t wx = Wrap(cx, n), wy = Wrap(cy, n);
            const float px =
                (static_cast<float>(cx) + 0.5f + (Hash01(wx, wy, seed) - 0.5f) * jitter) * static_cast<float>(cell);
            const float py =
                (static_cast<float>(cy) + 0.5f + (Hash01(wx, wy, seed + 1) - 0.5f) * jitter) * static_cast<float>(cell);
            const float d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y)) / static_cast<float>(cell);
            if (d < out.F1) {
                out.F2 = out.F1;
                out.F1 = d;
                out.Id = Hash(static_cast<uint32_t>(wx), static_cast<uint32_t>(wy), seed + 2);
            } else if (d < out.F2) {
                out.F2 = d;
            }
        }
    return out;
}

// A picture of BGRA texels (top row first) with a height per texel for its
// normal map.
struct TPicture {
    uint32_t Width = 0, Height = 0;
    std::vector<uint8_t> Bgra;
    std::vector<float> Heights;

    // withHeights false: a picture that no normal map is made from.
    TPicture(uint32_t width, uint32_t height, bool withHeights = true)
        : Width(width), Height(height), Bgra(static_cast<size_t>(width) * height * 4, 255),
          Heights(withHeights ? static_cast<size_t>(width) * height : 0, 0.0f)
    {
    }

    void Put(uint32_t x, uint32_t y, const TColour& c, float height = 0, float alpha = 1)
    {
        uint8_t* p = &Bgra[(static_cast<size_t>(y) * Width + x) * 4];
        auto byte = [](float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f); };
        p[0] = byte(c.B);
        p[1] = byte(c.G);
        p[2] = byte(c.R);
        p[3] = byte(alpha * 255);
        if (!Heights.empty())
            Heights[static_cast<size_t>(y) * Width + x] = height;
    }
};

// The tangent-space normal map of a picture's heights (x in red, y in green,
// z in blue, as the shaders decode them); the slope is measured within
// blocks of the given size so that atlas tiles do not bleed into each other.
inline TPicture NormalMap(const TPicture& picture, float strength, uint32_t block)
{
    TPicture out(picture.Width, picture.Height, false);
    auto heightAt = [&](uint32_t bx, uint32_t by, int32_t x, int32_t y) {
        const uint32_t wx = bx + static_cast<uint32_t>(Wrap(x, static_cast<int32_t>(block)));
        const uint32_t wy = by + static_cast<uint32_t>(Wrap(y, static_cast<int32_t>(block)));
        return picture.Heights[static_cast<size_t>(wy) * picture.Width + wx];
    };
    for (uint32_t y = 0; y < picture.Height; y++)
        for (uint32_t x = 0; x < picture.Width; x++) {
            const uint32_t bx = x / block * block, by = y / block * block;
            const int32_t lx = static_cast<int32_t>(x - bx), ly = static_cast<int32_t>(y - by);
            const float dx = (heightAt(bx, by, lx - 1, ly) - heightAt(bx, by, lx + 1, ly)) * strength;
            const float dy = (heightAt(bx, by, lx, ly - 1) - heightAt(bx, by, lx, ly + 1)) * strength;
            const float length = std::sqrt(dx * dx + dy * dy + 1);
            out.Put(x, y,
                    {(dx / length * 0.5f + 0.5f) * 255, (dy / length * 0.5f + 0.5f) * 255,
                     (1 / length * 0.5f + 0.5f) * 255});
        }
    return out;
}

// A DDS file of the picture with every mipmap down to one texel: DXT5 keeps
// the alpha, DXT1 drops it.
inline std::vector<uint8_t> MakeMippedDDS(const TPicture& picture, bool dxt5)
{
    uint32_t count = 0;
    const std::vector<uint8_t> levels =
        TextureFiles::EncodeDXTLevels(picture.Bgra, picture.Width, picture.Height, dxt5, true, count);
    const uint32_t code = dxt5 ? 0x35545844u : 0x31545844u; // "DXT5", "DXT1"
    return TextureFiles::MakeDDS(code, picture.Width, picture.Height, count, levels);
}

} // namespace ArtLand
