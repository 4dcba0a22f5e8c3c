#include <gtest/gtest.h>

#include <cmath>

#include "engine/QX9_System.h"
#include "render/QX9_Render_Shadows.h"

namespace {

void ExpectVec2(const TVec2& v, float x, float y, const char* what)
{
    EXPECT_NEAR(v.x, x, 1e-5f) << what;
    EXPECT_NEAR(v.y, y, 1e-5f) << what;
}

TVec4 Transform(const TMatrix4& m, float x, float y, float z)
{
    TVec4 out;
    Vec4Transform({x, y, z, 1}, m, out);
    return out;
}

} // namespace

TEST(Shadows, ExtendSegmentOnlyGrows)
{
    struct Case {
        TVec2 point;
        TVec2 start, end;
    } cases[] = {
        {{-2, 5}, {-2, 0}, {4, 0}}, // before the start: the start moves back
        {{7, -1}, {0, 0}, {7, 0}},  // past the end: the end moves on
        {{3, 9}, {0, 0}, {4, 0}},   // between: nothing changes
    };
    for (const Case& c : cases) {
        TVec2 s{0, 0}, e{4, 0};
        ExtendSegmentToPoint(c.point, s, e);
        ExpectVec2(s, c.start.x, c.start.y, "start");
        ExpectVec2(e, c.end.x, c.end.y, "end");
    }
}

TEST(Shadows, FitOfThreePointsOnALineAndItsLightMatrix)
{
    TLightFitPoints points;
    points.Count = 3;
    points.Points[1] = {0, 0, 0};
    points.Points[2] = {1, 0, 0};
    points.Points[3] = {2, 0, 0};
    TVec2 k1, k2, k3, k4;
    FitLightFrustum(points, IdentityMatrix, k1, k2, k3, k4);
    ExpectVec2(k1, 0, 0, "K1");
    ExpectVec2(k2, 2, 0, "K2");
    ExpectVec2(k3, 2, -0.5f, "K3");
    ExpectVec2(k4, 0, -0.5f, "K4");

    TMatrix4 crop;
    float width = 0, height = 0;
    BuildLightMatrix(k1, k2, k3, k4, crop, width, height);
    EXPECT_NEAR(width, 0.5f, 1e-6f);
    EXPECT_NEAR(height, 2, 1e-6f);
    // The rectangle's corners land on the corners of [-1, 1] x [-1, 1].
    for (const TVec2& k : {k1, k2, k3, k4}) {
        const TVec4 p = Transform(crop, k.x, k.y, 0);
        EXPECT_NEAR(std::fabs(p.x), 1, 1e-5f);
        EXPECT_NEAR(std::fabs(p.y), 1, 1e-5f);
    }
}

TEST(Shadows, FitOfTooFewOrCoincidentPointsGivesTheUnitRectangle)
{
    for (int32_t count : {0, 1, 3}) {
        TLightFitPoints points;
        points.Count = count;
        for (int32_t k = 1; k <= count; k++)
            points.Points[k] = {0.5f, 0.5f, 0};
        TVec2 k1, k2, k3, k4;
        FitLightFrustum(points, IdentityMatrix, k1, k2, k3, k4);
        ExpectVec2(k1, -1, -1, "K1");
        ExpectVec2(k3, 1, 1, "K3");
    }
}

TEST(Shadows, EveryPointLiesInsideTheFittedRectangle)
{
    const uint32_t savedSeed = RandomSeed;
    RandomSeed = 12345;
    TMatrix4 light;
    MatrixLookAt(light, {10, 20, -5}, {0, 0, 0}, {0, 1, 0});
    for (int round = 0; round < 200; round++) {
        TLightFitPoints points;
        points.Count = 2 + RandomInt(LIGHT_FIT_MAX_POINTS - 1);
        for (int32_t k = 1; k <= points.Count; k++)
            points.Points[k] = {RandomFloat() * 40 - 20, RandomFloat() * 10, RandomFloat() * 40 - 20};
        TVec2 k1, k2, k3, k4;
        FitLightFrustum(points, light, k1, k2, k3, k4);
        TMatrix4 crop, all;
        float width = 0, height = 0;
        BuildLightMatrix(k1, k2, k3, k4, crop, width, height);
        MatrixMultiply(light, crop, all);
        for (int32_t k = 1; k <= points.Count; k++) {
            const TVec4 p = Transform(all, points.Points[k].x, points.Points[k].y, points.Points[k].z);
            EXPECT_LE(std::fabs(p.x / p.w), 1.001f) << "round " << round << " point " << k;
            EXPECT_LE(std::fabs(p.y / p.w), 1.001f) << "round " << round << " point " << k;
        }
    }
    RandomSeed = savedSeed;
}

TEST(Shadows, ShadowMatrixCoversTheCameraSlice)
{
    TMatrix4 view, projection, camera, light;
    MatrixLookAt(view, {0, 10, -20}, {0, 0, 0}, {0, 1, 0});
    MatrixPerspectiveFov(projection, 0.8f, 0.75f, 1, 100);
    MatrixMultiply(view, projection, camera);
    MatrixLookAt(light, {30, 60, 10}, {0, 0, 0}, {0, 1, 0});
    TMatrix4 crop;
    float width = 0, height = 0;
    BuildShadowMatrix(camera, light, 0.1f, 0.9f, crop, width, height);
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    EXPECT_TRUE(std::isfinite(crop.e[0]) && std::isfinite(crop.e[5]));
}

TEST(Shadows, TextureMatrixShiftsByHalfATexel)
{
    TMatrix4 m;
    BuildShadowTextureMatrix(IdentityMatrix, 2048, m);
    const TVec4 a = Transform(m, -1, 1, 0);
    const TVec4 b = Transform(m, 1, -1, 0);
    EXPECT_NEAR(a.x, 0.5f / 2048, 1e-7f);
    EXPECT_NEAR(a.y, 0.5f / 2048, 1e-7f);
    EXPECT_NEAR(b.x, 1 + 0.5f / 2048, 1e-6f);
    EXPECT_NEAR(b.y, 1 + 0.5f / 2048, 1e-6f);
}

TEST(Colors, Table)
{
    T3D_Color c{0, 0, 0, 0.25f};
    ColorFromRGB565(0xF800, c);
    EXPECT_EQ(c.r, 1);
    EXPECT_EQ(c.g, 0);
    EXPECT_EQ(c.b, 0);
    EXPECT_EQ(c.a, 0.25f); // alpha is not written
    ColorFromRGB565(0x07E0, c);
    EXPECT_EQ(c.g, 1);
    EXPECT_EQ(c.r, 0);

    struct Case {
        const char* name;
        T3D_Color got, expected;
    } cases[] = {
        {"normalize", NormalizeColor({0.2f, 0.4f, 0.1f, 1}), {0.5f, 1, 0.25f, 1}},
        {"normalize black", NormalizeColor({0, 0, 0, 0.5f}), {0, 0, 0, 0.5f}},
        {"mid level", ScaleColorByMidLevel({1, 0, 0, 1}, {1, 1, 1, 1}, 1), {0.5f, 0.5f, 0.5f, 1}},
        {"lerp", LerpColor({0, 0.5f, 1, 0}, {1, 0.5f, 0, 0}, 0.25f), {0.25f, 0.5f, 0.75f, 1}},
        {"from rgb", ColorFromRGB(0xFF8000), {1, 128 / 255.0f, 0, 1}},
    };
    for (const Case& k : cases) {
        EXPECT_NEAR(k.got.r, k.expected.r, 1e-6f) << k.name;
        EXPECT_NEAR(k.got.g, k.expected.g, 1e-6f) << k.name;
        EXPECT_NEAR(k.got.b, k.expected.b, 1e-6f) << k.name;
        EXPECT_NEAR(k.got.a, k.expected.a, 1e-6f) << k.name;
    }
    EXPECT_EQ(ColorToRGB({1.5f, -0.2f, 0.0000005f, 1}), 0xFF0000u);
}

TEST(Colors, RgbRoundTripForEveryValue)
{
    for (uint32_t v = 0; v < 0x1000000; v++)
        if (ColorToRGB(ColorFromRGB(v)) != v) {
            ADD_FAILURE() << std::hex << v;
            break;
        }
}
