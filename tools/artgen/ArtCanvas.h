// A BGRA picture the art generator draws into, with the few shapes the
// interface and the backgrounds are made of. Shapes are given by their signed
// distance (negative inside, in pixels), so every edge is smoothed over one
// pixel the same way, whatever the shape. Everything is a pure function of its
// arguments: the same calls draw the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TArtColour {
    uint8_t R = 0, G = 0, B = 0, A = 255;
};

// 0xAARRGGBB, as the tools write colours elsewhere.
constexpr TArtColour ArtRGB(uint32_t argb)
{
    return {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb),
            static_cast<uint8_t>(argb >> 24)};
}

// a + (b - a) * t per channel, alpha included; t is clamped to 0..1.
TArtColour MixColour(TArtColour a, TArtColour b, float t);
// The colour's red, green and blue times factor (clamped), alpha kept.
TArtColour ShadeColour(TArtColour c, float factor);
TArtColour WithAlpha(TArtColour c, uint8_t alpha);

// Signed distance of a point to a shape: negative inside.
using TArtShape = std::function<float(float x, float y)>;
// Colour of a point (for shapes painted with a gradient or a texture).
using TArtPaint = std::function<TArtColour(float x, float y)>;

namespace ArtShapes {
TArtShape Circle(float cx, float cy, float radius);
TArtShape Ellipse(float cx, float cy, float rx, float ry);
TArtShape Box(float x, float y, float width, float height, float radius = 0);
// A line from a to b of the given width with round ends.
TArtShape Segment(float ax, float ay, float bx, float by, float width);
// A closed polygon (x, y pairs, either winding).
TArtShape Polygon(std::vector<float> points);
// The band of the given width along the outline of a shape.
TArtShape Outline(TArtShape shape, float width);
TArtShape Union(TArtShape a, TArtShape b);
TArtShape Subtract(TArtShape a, TArtShape b);
TArtShape Intersect(TArtShape a, TArtShape b);
} // namespace ArtShapes

// Smooth value noise in 0..1 over a lattice drawn from the engine's own
// generator with a fixed seed; Fractal sums octaves.
class TArtNoise {
public:
    explicit TArtNoise(uint32_t seed);
    float At(float x, float y) const;
    float Fractal(float x, float y, int octaves) const;

private:
    float Lattice[256];
    uint8_t Permutation[256];
    float Cell(int x, int y) const;
};

class TArtCanvas {
public:
    TArtCanvas(int width, int height, TArtColour fill = {0, 0, 0, 0});

    int Width() const { return W; }
    int Height() const { return H; }
    const std::vector<uint8_t>& Pixels() const { return BGRA; }

    TArtColour Get(int x, int y) const;
    void Set(int x, int y, TArtColour c);
    // Paints c over the pixel with coverage 0..1 (source over).
    void Blend(int x, int y, TArtColour c, float coverage = 1);

    void Fill(TArtColour c);
    // Top to bottom from a to b over the rows y0 .. y1 - 1 (whole width).
    void VerticalGradient(int y0, int y1, TArtColour a, TArtColour b);
    // Paints every pixel in the rectangle (clipped) with the paint.
    void PaintRect(int x0, int y0, int x1, int y1, const TArtPaint& paint);

    // The shape in one colour, or painted point by point; only the pixels in
    // the bounding box (x0, y0) .. (x1, y1) are visited.
    void FillShape(const TArtShape& shape, TArtColour c);
    void FillShape(const TArtShape& shape, TArtColour c, float x0, float y0, float x1, float y1);
    void PaintShape(const TArtShape& shape, const TArtPaint& paint, float x0, float y0, float x1, float y1);
    // A soft shadow or glow: the colour fading out over spread pixels around the shape.
    void Glow(const TArtShape& shape, TArtColour c, float spread, float x0, float y0, float x1, float y1);

    // A picture drawn on another canvas, placed with its top-left at (x, y).
    void Draw(const TArtCanvas& other, int x, int y);

    // The file bytes: a 32-bit top-down TGA, or a DDS (DXT5 keeps the alpha,
    // DXT1 is opaque).
    std::vector<uint8_t> TGA() const;
    std::vector<uint8_t> DDS(bool alpha) const;

private:
    int W, H;
    std::vector<uint8_t> BGRA;
};
