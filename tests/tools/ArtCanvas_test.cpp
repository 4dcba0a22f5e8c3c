// The art generator's canvas: shapes measured right whichever way they are
// wound, edges smoothed over one pixel, colours laid over others as a
// painter would, and the files in the forms the texture loader reads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tools/artgen/ArtCanvas.h"

using namespace ArtShapes;

TEST(ArtCanvas, ShapesMeasureTheirDistance)
{
    const float root2 = std::sqrt(2.0f);
    const struct {
        const char* Name;
        TArtShape Shape;
        float X, Y, Distance;
    } cases[] = {
        {"circle centre", Circle(10, 10, 5), 10, 10, -5},
        {"circle outside", Circle(10, 10, 5), 18, 10, 3},
        {"box inside", Box(0, 0, 10, 4), 5, 2, -2},
        {"box beside", Box(0, 0, 10, 4), 15, 2, 5},
        {"rounded corner", Box(0, 0, 10, 10, 3), 0, 0, 3 * root2 - 3},
        {"segment middle", Segment(0, 0, 10, 0, 4), 5, 0, -2},
        {"segment past its end", Segment(0, 0, 10, 0, 4), 13, 4, 3},
        {"triangle one way", Polygon({0, 0, 10, 0, 0, 10}), 2, 2, -2},
        {"triangle the other way", Polygon({0, 0, 0, 10, 10, 0}), 2, 2, -2},
        {"triangle outside", Polygon({0, 0, 10, 0, 0, 10}), -3, 5, 3},
        {"outline on the edge", Outline(Circle(0, 0, 10), 2), 9, 0, -1},
        {"outline inside it", Outline(Circle(0, 0, 10), 2), 5, 0, 3},
        {"hole", Subtract(Circle(0, 0, 10), Circle(0, 0, 4)), 0, 0, 4},
        {"ring", Subtract(Circle(0, 0, 10), Circle(0, 0, 4)), 7, 0, -3},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(c.Shape(c.X, c.Y), c.Distance, 1e-4f) << c.Name;
}

// A box with edges on pixel borders covers its pixels whole and nothing
// else; an edge through the middle of a pixel covers half of it.
TEST(ArtCanvas, EdgesAreSmoothedOverOnePixel)
{
    TArtCanvas c(8, 1);
    c.FillShape(Box(2, -1, 4, 3), ArtRGB(0xFFFFFFFF));
    EXPECT_EQ(c.Get(1, 0).A, 0);
    EXPECT_EQ(c.Get(2, 0).A, 255);
    EXPECT_EQ(c.Get(5, 0).A, 255);
    EXPECT_EQ(c.Get(6, 0).A, 0);

    TArtCanvas half(8, 1);
    half.FillShape(Box(2.5f, -1, 3, 3), ArtRGB(0xFFFFFFFF));
    EXPECT_NEAR(half.Get(2, 0).A, 128, 1);
    EXPECT_EQ(half.Get(3, 0).A, 255);
    EXPECT_NEAR(half.Get(5, 0).A, 128, 1);
}

// Half a red over blue mixes them; over nothing it stays red, half seen.
TEST(ArtCanvas, BlendLaysColourOver)
{
    TArtCanvas c(2, 1);
    c.Set(0, 0, ArtRGB(0xFF0000FF));
    c.Blend(0, 0, ArtRGB(0xFFFF0000), 0.5f);
    c.Blend(1, 0, ArtRGB(0xFFFF0000), 0.5f);
    const TArtColour mixed = c.Get(0, 0), alone = c.Get(1, 0);
    EXPECT_NEAR(mixed.R, 128, 1);
    EXPECT_NEAR(mixed.B, 127, 1);
    EXPECT_EQ(mixed.A, 255);
    EXPECT_EQ(alone.R, 255);
    EXPECT_EQ(alone.B, 0);
    EXPECT_NEAR(alone.A, 128, 1);
    // Painting outside the canvas changes nothing and does not fail.
    c.Blend(-1, 0, ArtRGB(0xFFFFFFFF));
    c.Blend(2, 0, ArtRGB(0xFFFFFFFF));
    EXPECT_EQ(c.Get(1, 0).R, 255);
}

TEST(ArtCanvas, NoiseFollowsItsSeed)
{
    const TArtNoise a(7), b(7), other(8);
    bool differs = false;
    for (int i = 0; i < 50; i++) {
        const float x = i * 0.37f, y = i * 0.61f;
        EXPECT_EQ(a.Fractal(x, y, 3), b.Fractal(x, y, 3));
        EXPECT_GE(a.At(x, y), 0.0f);
        EXPECT_LE(a.At(x, y), 1.0f);
        differs = differs || a.At(x, y) != other.At(x, y);
    }
    EXPECT_TRUE(differs);
}

TEST(ArtCanvas, FilesInTheLoadersForms)
{
    TArtCanvas c(6, 5, ArtRGB(0x80102030));
    c.Set(1, 0, ArtRGB(0xFFFFFFFF));
    const std::vector<uint8_t> tga = c.TGA();
    ASSERT_EQ(tga.size(), 18u + 6 * 5 * 4);
    EXPECT_EQ(tga[2], 2);     // uncompressed true colour
    EXPECT_EQ(tga[16], 32);   // bits a pixel
    EXPECT_EQ(tga[17], 0x20); // the top row first
    EXPECT_EQ(tga[18 + 4], 255);
    EXPECT_EQ(tga[18 + 3], 0x80);

    for (const bool alpha : {false, true}) {
        const std::vector<uint8_t> dds = c.DDS(alpha);
        ASSERT_GE(dds.size(), 128u);
        EXPECT_EQ(std::memcmp(dds.data(), "DDS ", 4), 0);
        EXPECT_EQ(std::memcmp(dds.data() + 84, alpha ? "DXT5" : "DXT1", 4), 0);
        // Two by two blocks of 4 x 4 texels, 8 or 16 bytes each.
        EXPECT_EQ(dds.size(), 128u + 4 * (alpha ? 16 : 8));
    }
}
