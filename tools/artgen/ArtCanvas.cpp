#include "tools/artgen/ArtCanvas.h"

#include <algorithm>
#include <cmath>

#include "engine/QX9_System.h"
#include "tools/TextureFiles.h"

namespace {

float Clamp01(float v)
{
    return std::min(1.0f, std::max(0.0f, v));
}

// Nearest whole value, halves up (the value is never negative here).
uint8_t Channel(float v)
{
    return static_cast<uint8_t>(std::min(255.0f, std::max(0.0f, v)) + 0.5f);
}

float Length(float x, float y)
{
    return std::sqrt(x * x + y * y);
}

// How much of a pixel a shape covers, from the distance at its centre.
float Coverage(float distance)
{
    return Clamp01(0.5f - distance);
}

} // namespace

TArtColour MixColour(TArtColour a, TArtColour b, float t)
{
    t = Clamp01(t);
    auto mix = [t](uint8_t x, uint8_t y) { return Channel(x + (static_cast<float>(y) - x) * t); };
    return {mix(a.R, b.R), mix(a.G, b.G), mix(a.B, b.B), mix(a.A, b.A)};
}

TArtColour ShadeColour(TArtColour c, float factor)
{
    return {Channel(c.R * factor), Channel(c.G * factor), Channel(c.B * factor), c.A};
}

TArtColour WithAlpha(TArtColour c, uint8_t alpha)
{
    c.A = alpha;
    return c;
}

// ---------------------------------------------------------------------------
// Shapes

namespace ArtShapes {

TArtShape Circle(float cx, float cy, float radius)
{
    return [=](float x, float y) { return Length(x - cx, y - cy) - radius; };
}

TArtShape Ellipse(float cx, float cy, float rx, float ry)
{
    // Scaled circle distance: exact enough for the smoothing of an edge.
    return [=](float x, float y) {
        const float dx = (x - cx) / rx, dy = (y - cy) / ry;
        const float k = Length(dx, dy);
        return (k - 1) * std::min(rx, ry);
    };
}

TArtShape Box(float x, float y, float width, float height, float radius)
{
    const float hx = width / 2, hy = height / 2, cx = x + hx, cy = y + hy;
    radius = std::min(radius, std::min(hx, hy));
    return [=](float px, float py) {
        const float qx = std::fabs(px - cx) - hx + radius, qy = std::fabs(py - cy) - hy + radius;
        const float outside = Length(std::max(qx, 0.0f), std::max(qy, 0.0f));
        return outside + std::min(std::max(qx, qy), 0.0f) - radius;
    };
}

TArtShape Segment(float ax, float ay, float bx, float by, float width)
{
    return [=](float px, float py) {
        const float dx = bx - ax, dy = by - ay;
        const float length = dx * dx + dy * dy;
        const float t = length > 0 ? Clamp01(((px - ax) * dx + (py - ay) * dy) / length) : 0;
        return Length(px - ax - dx * t, py - ay - dy * t) - width / 2;
    };
}

TArtShape Polygon(std::vector<float> points)
{
    return [p = std::move(points)](float x, float y) {
        const size_t n = p.size() / 2;
        if (n < 3)
            return 1e9f;
        float best = 1e30f;
        bool inside = false;
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            const float xi = p[2 * i], yi = p[2 * i + 1], xj = p[2 * j], yj = p[2 * j + 1];
            const float ex = xj - xi, ey = yj - yi;
            const float length = ex * ex + ey * ey;
            const float t = length > 0 ? Clamp01(((x - xi) * ex + (y - yi) * ey) / length) : 0;
            const float dx = x - xi - ex * t, dy = y - yi - ey * t;
            best = std::min(best, dx * dx + dy * dy);
            if ((yi > y) != (yj > y) && x < xi + (y - yi) * ex / ey)
                inside = !inside;
        }
        return inside ? -std::sqrt(best) : std::sqrt(best);
    };
}

TArtShape Outline(TArtShape shape, float width)
{
    return [=](float x, float y) { return std::fabs(shape(x, y) + width / 2) - width / 2; };
}

TArtShape Union(TArtShape a, TArtShape b)
{
    return [=](float x, float y) { return std::min(a(x, y), b(x, y)); };
}

TArtShape Subtract(TArtShape a, TArtShape b)
{
    return [=](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}

TArtShape Intersect(TArtShape a, TArtShape b)
{
    return [=](float x, float y) { return std::max(a(x, y), b(x, y)); };
}

} // namespace ArtShapes

// ---------------------------------------------------------------------------
// Noise

TArtNoise::TArtNoise(uint32_t seed)
{
    SetRandomSeed(seed);
    for (float& v : Lattice)
        v = RandomFloat();
    for (int i = 0; i < 256; i++)
        Permutation[i] = static_cast<uint8_t>(i);
    for (int i = 255; i > 0; i--)
        std::swap(Permutation[i], Permutation[RandomInt(i + 1)]);
}

float TArtNoise::Cell(int x, int y) const
{
    return Lattice[Permutation[(Permutation[x & 255] + y) & 255]];
}

float TArtNoise::At(float x, float y) const
{
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const float top = Cell(ix, iy) + (Cell(ix + 1, iy) - Cell(ix, iy)) * tx;
    const float bottom = Cell(ix, iy + 1) + (Cell(ix + 1, iy + 1) - Cell(ix, iy + 1)) * tx;
    return top + (bottom - top) * ty;
}

float TArtNoise::Fractal(float x, float y, int octaves) const
{
    float sum = 0, weight = 0, amplitude = 1;
    for (int i = 0; i < octaves; i++) {
        sum += At(x, y) * amplitude;
        weight += amplitude;
        amplitude /= 2;
        x *= 2;
        y *= 2;
    }
    return weight > 0 ? sum / weight : 0;
}

// ---------------------------------------------------------------------------
// Canvas

TArtCanvas::TArtCanvas(int width, int height, TArtColour fill)
    : W(std::max(1, width)), H(std::max(1, height)), BGRA(static_cast<size_t>(W) * H * 4)
{
    Fill(fill);
}

TArtColour TArtCanvas::Get(int x, int y) const
{
    if (x < 0 || y < 0 || x >= W || y >= H)
        return {0, 0, 0, 0};
    const uint8_t* p = &BGRA[(static_cast<size_t>(y) * W + x) * 4];
    return {p[2], p[1], p[0], p[3]};
}

void TArtCanvas::Set(int x, int y, TArtColour c)
{
    if (x < 0 || y < 0 || x >= W || y >= H)
        return;
    uint8_t* p = &BGRA[(static_cast<size_t>(y) * W + x) * 4];
    p[0] = c.B, p[1] = c.G, p[2] = c.R, p[3] = c.A;
}

void TArtCanvas::Blend(int x, int y, TArtColour c, float coverage)
{
    if (x < 0 || y < 0 || x >= W || y >= H)
        return;
    const float a = Clamp01(coverage) * c.A / 255.0f;
    if (a <= 0)
        return;
    uint8_t* p = &BGRA[(static_cast<size_t>(y) * W + x) * 4];
    if (a >= 1) {
        p[0] = c.B, p[1] = c.G, p[2] = c.R, p[3] = 255;
        return;
    }
    const float below = p[3] / 255.0f;
    const float out = a + below * (1 - a);
    if (out <= 0)
        return;
    auto over = [&](uint8_t source, uint8_t dest) { return Channel((source * a + dest * below * (1 - a)) / out); };
    p[0] = over(c.B, p[0]);
    p[1] = over(c.G, p[1]);
    p[2] = over(c.R, p[2]);
    p[3] = Channel(out * 255);
}

void TArtCanvas::Fill(TArtColour c)
{
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            Set(x, y, c);
}

void TArtCanvas::VerticalGradient(int y0, int y1, TArtColour a, TArtColour b)
{
    y0 = std::max(0, y0);
    y1 = std::min(H, y1);
    for (int y = y0; y < y1; y++) {
        const TArtColour c = MixColour(a, b, y1 - y0 > 1 ? static_cast<float>(y - y0) / (y1 - y0 - 1) : 0);
        for (int x = 0; x < W; x++)
            Blend(x, y, c);
    }
}

void TArtCanvas::PaintRect(int x0, int y0, int x1, int y1, const TArtPaint& paint)
{
    for (int y = std::max(0, y0); y < std::min(H, y1); y++)
        for (int x = std::max(0, x0); x < std::min(W, x1); x++)
            Blend(x, y, paint(x + 0.5f, y + 0.5f));
}

void TArtCanvas::FillShape(const TArtShape& shape, TArtColour c)
{
    FillShape(shape, c, 0, 0, static_cast<float>(W), static_cast<float>(H));
}

void TArtCanvas::FillShape(const TArtShape& shape, TArtColour c, float x0, float y0, float x1, float y1)
{
    PaintShape(
        shape, [c](float, float) { return c; }, x0, y0, x1, y1);
}

void TArtCanvas::PaintShape(const TArtShape& shape, const TArtPaint& paint, float x0, float y0, float x1, float y1)
{
    const int left = std::max(0, static_cast<int>(std::floor(x0)) - 1);
    const int top = std::max(0, static_cast<int>(std::floor(y0)) - 1);
    const int right = std::min(W, static_cast<int>(std::ceil(x1)) + 1);
    const int bottom = std::min(H, static_cast<int>(std::ceil(y1)) + 1);
    for (int y = top; y < bottom; y++)
        for (int x = left; x < right; x++) {
            const float px = x + 0.5f, py = y + 0.5f;
            const float cover = Coverage(shape(px, py));
            if (cover > 0)
                Blend(x, y, paint(px, py), cover);
        }
}

void TArtCanvas::Glow(const TArtShape& shape, TArtColour c, float spread, float x0, float y0, float x1, float y1)
{
    PaintShape(
        [&](float x, float y) {
            const float d = shape(x, y);
            return d <= 0 ? -1.0f : (d < spread ? -1.0f : 1.0f);
        },
        [&](float x, float y) {
            const float d = std::max(0.0f, shape(x, y));
            const float t = 1 - d / spread;
            return WithAlpha(c, Channel(c.A * t * t));
        },
        x0 - spread, y0 - spread, x1 + spread, y1 + spread);
}

void TArtCanvas::Draw(const TArtCanvas& other, int x, int y)
{
    for (int sy = 0; sy < other.H; sy++)
        for (int sx = 0; sx < other.W; sx++)
            Blend(x + sx, y + sy, other.Get(sx, sy));
}

std::vector<uint8_t> TArtCanvas::TGA() const
{
    return TextureFiles::MakeTGA32(static_cast<uint16_t>(W), static_cast<uint16_t>(H), BGRA);
}

std::vector<uint8_t> TArtCanvas::DDS(bool alpha) const
{
    const uint32_t code = alpha ? 0x35545844u : 0x31545844u; // "DXT5", "DXT1"
    return TextureFiles::MakeDDS(
        code, static_cast<uint32_t>(W), static_cast<uint32_t>(H), 1,
        TextureFiles::EncodeDXT(BGRA, static_cast<uint32_t>(W), static_cast<uint32_t>(H), alpha));
}
