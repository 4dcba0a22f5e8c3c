#include <gtest/gtest.h>

#include <cmath>

#include "model/scenario/ScenarioMap_Tables.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"

namespace {

// A camera over a flat 1024-unit map whose ground lies between heights 0
// and 10, on an 800 x 600 screen.
class MapCameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapCamera = TMapCamera{};
        LightSet = TLightSet{};
        RenderSettings = TRenderSettings{};
        MapInit.MapSizeMinus1 = 1024;
        TerrainHeightMin = 0;
        TerrainHeightMax = 10;
        MapCamera.ScreenWidth = MapCamera.ViewWidth = 800;
        MapCamera.ScreenHeight = MapCamera.ViewHeight = 600;
        MapCamera.FieldOfView = 0.5f;
        MapCamera.LightPosition = SunPositionOf(60, 30);
    }
    void TopView(float distance)
    {
        MapCamera.ViewOffset = {-512, 0, -512};
        MapCamera.Yaw = 0;
        MapCamera.Pitch = static_cast<float>(M_PI) / 2;
        MapCamera.Distance = distance;
    }
    void TearDown() override { RenderSettings = TRenderSettings{}; }
};

void ExpectNear(const TVec3& a, const TVec3& b, float tolerance)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST_F(MapCameraTest, TopViewMatrices)
{
    TopView(1500);
    UpdateMapShadowCascades(false);
    ExpectNear(MapCamera.Target, {512, 0, 512}, 0);
    ExpectNear(MapCamera.Eye, {0, 1500, 0}, 0);
    TVec3 p;
    Vec3TransformCoord({512, 0, 512}, MapCamera.Camera, p);
    ExpectNear(p, {0, 0, 0}, 1e-3f);
    ExpectNear(MapCamera.SkyPoint, {-512, 1000000, -512}, 1);
    TMatrix4 product;
    MatrixMultiply(MapCamera.Camera, MapCamera.InverseCamera, product);
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR(product.e[i], IdentityMatrix.e[i], 1e-4) << i;
    // Looking down from the eye: the ground's centre lies ahead in the view.
    Vec3TransformCoord({0, 0, 0}, MapCamera.LookMatrix, p);
    EXPECT_NEAR(p.z, 1500, 1e-2);
}

TEST_F(MapCameraTest, TurnedCameraKeepsTheTargetAtTheOrigin)
{
    struct {
        float Yaw, Pitch;
    } const cases[] = {{0.7f, 1.0f}, {-2.0f, 0.6f}, {3.0f, 1.4f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Yaw);
        MapCamera.ViewOffset = {-300, -5, -700};
        MapCamera.Yaw = c.Yaw;
        MapCamera.Pitch = c.Pitch;
        MapCamera.Distance = 800;
        UpdateMapShadowCascades(false);
        TVec3 p;
        Vec3TransformCoord({300, 5, 700}, MapCamera.Camera, p);
        ExpectNear(p, {0, 0, 0}, 1e-3f);
        // A point straight above the target tilts away from up by the pitch.
        Vec3TransformCoord({300, 105, 700}, MapCamera.Camera, p);
        EXPECT_NEAR(p.y, 100 * std::sin(c.Pitch), 1e-2);
    }
}

TEST_F(MapCameraTest, FittedRangeBracketsTheGroundBelow)
{
    // From 2500 units up the provisional far plane reaches the ground only
    // because it is lengthened by the map size.
    struct {
        float Distance;
        float FieldOfView;
        float Near, Far;
    } const cases[] = {
        {1500, 0.5f, 1490, 1500},
        {2500, 0.5f, 2490, 2500},
        {2500, 0.005f, 2490, 2501}, // a near-parallel view gets one more unit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Distance);
        TopView(c.Distance);
        MapCamera.FieldOfView = c.FieldOfView;
        UpdateMapShadowCascades(false);
        EXPECT_NEAR(MapCamera.NearPlane, c.Near, 0.05);
        EXPECT_NEAR(MapCamera.FarPlane, c.Far, 0.05);
        // The outline lies on the ground slab.
        for (int i = 0; i < 4; i++) {
            EXPECT_GE(MapCamera.VisibleOutline[3 * i + 1], -1e-3f);
            EXPECT_LE(MapCamera.VisibleOutline[3 * i + 1], 10 + 1e-3f);
        }
        EXPECT_TRUE(std::isfinite(MapCamera.Shadow.e[0]));
    }
}

TEST_F(MapCameraTest, CameraSeeingNoGroundKeepsTheSlabAndTheShadow)
{
    // Looking down from 5300 up with a far plane 2000 away: no ray reaches
    // the ground.
    TopView(300);
    MapCamera.ViewOffset.y = -5000;
    MapCamera.Shadow = IdentityMatrix;
    MapCamera.Shadow.e[3] = 42;
    UpdateMapShadowCascades(false);
    EXPECT_EQ(MapCamera.Shadow.e[3], 42);
    EXPECT_NEAR(MapCamera.NearPlane, 5290, 0.05);
    EXPECT_NEAR(MapCamera.FarPlane, 5300, 0.05);
}

TEST_F(MapCameraTest, ShadowSoftnessWidensTheFilter)
{
    TopView(1500);
    LightSet.ShadowSoftness = 0;
    UpdateMapShadowCascades(false);
    const TVec4 sharp = MapCamera.CascadeXY;
    LightSet.ShadowSoftness = 0.02f;
    UpdateMapShadowCascades(false);
    const TVec4 soft = MapCamera.CascadeXY;
    // r = 0.0049 softness + 0.0001 over the rectangle's height and width.
    EXPECT_GT(sharp.x, 0);
    EXPECT_GT(sharp.y, 0);
    EXPECT_NEAR(soft.x / sharp.x, 1.98, 1e-4);
    EXPECT_NEAR(soft.y / sharp.y, 1.98, 1e-4);
    EXPECT_EQ(soft.z, 0.5f);
    EXPECT_EQ(soft.w, 0);
}

TEST_F(MapCameraTest, LightPlaneFacesAwayFromTheSun)
{
    TopView(1500);
    UpdateMapShadowCascades(false);
    const TVec4& plane = MapCamera.LightPlane;
    EXPECT_NEAR(plane.x * plane.x + plane.y * plane.y + plane.z * plane.z, 1, 1e-5);
    // The target lies 4000 units beyond the plane, the sun on its other side.
    TVec3 t;
    Vec3TransformCoord(MapCamera.Target, MapCamera.Camera, t);
    EXPECT_NEAR(plane.x * t.x + plane.y * t.y + plane.z * t.z + plane.w, 4000, 1);
    const TVec3& sun = MapCamera.LightInView;
    EXPECT_LT(plane.x * sun.x + plane.y * sun.y + plane.z * sun.z + plane.w, 0);
}

TEST(CrossHeightLevel, CrossingPointsOfSegments)
{
    struct {
        TVec3 A, B;
        float Y;
        bool Crosses;
        TVec3 Point;
    } const cases[] = {
        {{0, 0, 0}, {10, 10, 0}, 5, true, {5, 5, 0}},  {{10, 10, 0}, {0, 0, 0}, 2, true, {2, 2, 0}},
        {{0, 20, 4}, {0, -20, 8}, 0, true, {0, 0, 6}}, {{0, 1, 0}, {0, 3, 0}, 5, false, {}},
        {{0, 4, 0}, {9, 4, 0}, 4, false, {}}, // level with the plane
    };
    for (const auto& c : cases) {
        TVec3 p{};
        EXPECT_EQ(CrossHeightLevel(c.A, c.B, c.Y, p), c.Crosses);
        if (c.Crosses)
            ExpectNear(p, c.Point, 1e-5f);
    }
}

} // namespace
