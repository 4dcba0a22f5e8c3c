#include "engine/QX9_Math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

namespace {

constexpr float PiF = 3.14159265358979f;

TVec3 Transform(const TMatrix4& m, TVec3 p)
{
    TVec3 out;
    Vec3TransformCoord(p, m, out);
    return out;
}

// Applies a projection: Vec4Transform of (p, 1), then the division by w.
TVec3 Project(const TMatrix4& m, TVec3 p)
{
    TVec4 v;
    Vec4Transform({p.x, p.y, p.z, 1}, m, v);
    return {v.x / v.w, v.y / v.w, v.z / v.w};
}

void ExpectNear(const TVec3& got, const TVec3& want, float tolerance, const std::string& what)
{
    EXPECT_NEAR(got.x, want.x, tolerance) << what;
    EXPECT_NEAR(got.y, want.y, tolerance) << what;
    EXPECT_NEAR(got.z, want.z, tolerance) << what;
}

void ExpectMatrixNear(const TMatrix4& got, const TMatrix4& want, float tolerance, const std::string& what)
{
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(got.e[i], want.e[i], tolerance) << what << " e" << i;
    }
}

TMatrix4 Multiply(const TMatrix4& a, const TMatrix4& b)
{
    TMatrix4 out;
    MatrixMultiply(a, b, out);
    return out;
}

// A rigid transform: rotation about an axis, then a translation.
TMatrix4 Rigid(TVec3 axis, float angle, TVec3 t)
{
    TMatrix4 r, m;
    MatrixRotationAxis(r, axis, angle);
    MatrixTranslationVec(m, t);
    return Multiply(r, m);
}

} // namespace

TEST(Math, MultiplyAppliesTheFirstMatrixFirst)
{
    TMatrix4 t, r;
    MatrixTranslation(t, 1, 0, 0);
    MatrixRotationZ(r, PiF / 2);
    ExpectNear(Transform(Multiply(t, r), {0, 0, 0}), {0, 1, 0}, 1e-6f, "translate, then rotate");
    ExpectNear(Transform(Multiply(r, t), {0, 0, 0}), {1, 0, 0}, 1e-6f, "rotate, then translate");
    // The output may be one of the inputs.
    TMatrix4 m = t;
    MatrixMultiply(m, r, m);
    ExpectMatrixNear(m, Multiply(t, r), 0, "aliased output");
}

TEST(Math, RotationsTurnColumnVectorsRightHanded)
{
    struct {
        const char* name;
        void (*rotate)(TMatrix4&, float);
        TVec3 axis, from, to;
    } rows[] = {
        {"x: y toward z", MatrixRotationX, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {"y: z toward x", MatrixRotationY, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
        {"z: x toward y", MatrixRotationZ, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
    };
    for (const auto& row : rows) {
        TMatrix4 m, axis, back;
        row.rotate(m, PiF / 2);
        ExpectNear(Transform(m, row.from), row.to, 1e-6f, row.name);
        // The axis rotation turns the other way for the same angle.
        MatrixRotationAxis(axis, row.axis, 0.7f);
        row.rotate(back, -0.7f);
        ExpectMatrixNear(axis, back, 1e-6f, row.name);
    }
    TMatrix4 m;
    MatrixRotationAxis(m, {1, 2, 3}, 1.1f);
    TVec3 n;
    Vec3Normalize({1, 2, 3}, n);
    ExpectNear(Transform(m, n), n, 1e-6f, "the axis stays");
    MatrixScaling(m, 2, 3, 4);
    ExpectNear(Transform(m, {1, 1, 1}), {2, 3, 4}, 0, "scaling");
    MatrixTranspose(m);
    EXPECT_EQ(m.e[5], 3);
}

TEST(Math, InverseUndoesAndRefusesSingularMatrices)
{
    TMatrix4 t, inv;
    MatrixTranslation(t, 1, 2, 3);
    ASSERT_EQ(MatrixInverse(inv, t), S_OK);
    EXPECT_EQ(inv.e[3], -1);
    EXPECT_EQ(inv.e[7], -2);
    EXPECT_EQ(inv.e[11], -3);

    TMatrix4 s, perspective;
    MatrixScaling(s, 2, 0.5f, 3);
    ASSERT_EQ(MatrixPerspectiveFov(perspective, PiF / 4, 0.75f, 1, 100), S_OK);
    struct {
        const char* name;
        TMatrix4 m;
    } rows[] = {
        {"rigid", Rigid({1, 2, -1}, 0.8f, {5, -3, 2})},
        {"scaled rigid", Multiply(s, Rigid({0, 1, 1}, -2.1f, {-1, 7, 4}))},
        {"perspective (general path)", Multiply(Rigid({0, 1, 0}, 0.3f, {0, -2, 10}), perspective)},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(MatrixInverse(inv, row.m), S_OK) << row.name;
        ExpectMatrixNear(Multiply(row.m, inv), IdentityMatrix, 2e-5f, row.name);
    }

    struct {
        const char* name;
        TMatrix4 m;
    } singular[] = {
        {"e15 = 2, zero determinant", {{1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 2}}},
        {"zero matrix", ZeroMatrix},
        {"affine with a zero scale", {{1, 0, 0, 5, 0, 0, 0, 1, 0, 0, 1, 2, 0, 0, 0, 1}}},
    };
    for (const auto& row : singular) {
        inv = perspective;
        EXPECT_EQ(MatrixInverse(inv, row.m), E_INVALIDARG) << row.name;
        ExpectMatrixNear(inv, IdentityMatrix, 0, row.name);
    }
}

TEST(Math, LookAtBuildsALeftHandedViewWithUpFallbacks)
{
    TMatrix4 view;
    ASSERT_EQ(MatrixLookAt(view, {0, 0, -5}, {0, 0, 0}, {0, 1, 0}), S_OK);
    ExpectNear(Transform(view, {0, 0, 0}), {0, 0, 5}, 1e-6f, "the target lies ahead on +z");
    ExpectNear(Transform(view, {1, 0, -5}), {1, 0, 0}, 1e-6f, "x stays right");

    // Looking straight down: up (0, 1, 0) is parallel, (0, 0, 1) is taken.
    ASSERT_EQ(MatrixLookAt(view, {0, 10, 0}, {0, 0, 0}, {0, 1, 0}), S_OK);
    EXPECT_NEAR(view.e[4], 0, 1e-6f);
    EXPECT_NEAR(view.e[5], 0, 1e-6f);
    EXPECT_NEAR(view.e[6], 1, 1e-6f);
    ExpectNear(Transform(view, {0, 0, 0}), {0, 0, 10}, 1e-5f, "down");

    TMatrix4 before = IdentityMatrix;
    before.e[3] = 42;
    view = before;
    EXPECT_EQ(MatrixLookAt(view, {1, 2, 3}, {1, 2, 3}, {0, 1, 0}), E_INVALIDARG);
    ExpectMatrixNear(view, before, 0, "eye = at leaves the output");
}

TEST(Math, PerspectiveMapsNearAndFarToDepthZeroAndOne)
{
    TMatrix4 p;
    ASSERT_EQ(MatrixPerspectiveFov(p, PiF / 4, 0.75f, 2, 50), S_OK);
    EXPECT_NEAR(Project(p, {0, 0, 2}).z, 0, 1e-6f);
    EXPECT_NEAR(Project(p, {0, 0, 50}).z, 1, 1e-6f);
    EXPECT_NEAR(p.e[5], 1 / std::tan(PiF / 8), 1e-5f);
    EXPECT_NEAR(p.e[0], 0.75f * p.e[5], 1e-6f);
    EXPECT_EQ(p.e[14], 1);

    TMatrix4 before = IdentityMatrix;
    before.e[1] = 7;
    struct {
        const char* name;
        float fov, zn, zf;
    } rows[] = {{"near = far", PiF / 4, 5, 5}, {"zero angle", 0, 1, 10}, {"full turn", 2 * PiF, 1, 10}};
    for (const auto& row : rows) {
        p = before;
        EXPECT_EQ(MatrixPerspectiveFov(p, row.fov, 1, row.zn, row.zf), E_INVALIDARG) << row.name;
        ExpectMatrixNear(p, before, 0, row.name);
    }
}

TEST(Math, ScreenToRayGivesThePointsUnderTheCursor)
{
    TMatrix4 view, projection, inv;
    ASSERT_EQ(MatrixLookAt(view, {3, 8, -6}, {0, 0, 0}, {0, 1, 0}), S_OK);
    ASSERT_EQ(MatrixPerspectiveFov(projection, PiF / 4, 0.75f, 1, 200), S_OK);
    TMatrix4 vp = Multiply(view, projection);
    ASSERT_EQ(MatrixInverse(inv, vp), S_OK);
    struct {
        float z1, z2;
    } rows[] = {{1, 200}, {0.5f, 3}, {0, 0}};
    for (const auto& row : rows) {
        TVec3 nearPoint, farPoint;
        ScreenToRay({0.3f, -0.4f}, inv, nearPoint, row.z1, row.z2, farPoint);
        std::string what = "z1 " + std::to_string(row.z1);
        ExpectNear(Project(vp, nearPoint), {0.3f, -0.4f, 0}, 1e-3f, what + " near");
        ExpectNear(Project(vp, farPoint), {0.3f, -0.4f, 1}, 1e-3f, what + " far");
    }
}

TEST(Math, PackNormalRoundsAndUnpacks)
{
    struct {
        TVec3 v;
        uint8_t x, y, z;
    } rows[] = {
        {{0, 0, 0}, 127, 0, 127},     {{-0.0f, 0, 0}, 127, 0, 127}, {{1, 0, 0}, 254, 127, 127},
        {{-1, 0, 0}, 0, 127, 127},    {{0, 0, 5}, 127, 127, 254},   {{0, -3, 0}, 127, 0, 127},
        {{1e-8f, 0, 0}, 127, 0, 127}, {{1, 1, 0}, 217, 217, 127},
    };
    for (const auto& row : rows) {
        uint8_t x = 1, y = 1, z = 1;
        PackNormal(row.v, x, y, z);
        EXPECT_EQ(x, row.x) << row.v.x << "," << row.v.y << "," << row.v.z;
        EXPECT_EQ(y, row.y) << row.v.x << "," << row.v.y << "," << row.v.z;
        EXPECT_EQ(z, row.z) << row.v.x << "," << row.v.y << "," << row.v.z;
    }
    TVec3 n;
    UnpackNormal(127, 0, 127, n);
    ExpectNear(n, {0, -1, 0}, 0, "the zero-vector code");
    UnpackNormal(127, 127, 127, n);
    ExpectNear(n, {0, 0, 0}, 0, "a zero vector stays zero instead of NaN");
    for (int i = 0; i < 50; ++i) {
        TVec3 v{std::sin(i * 1.3f), std::cos(i * 0.7f), std::sin(i * 2.9f + 1)}, unit, back;
        Vec3Normalize(v, unit);
        uint8_t x, y, z;
        PackNormal(v, x, y, z);
        UnpackNormal(x, y, z, back);
        EXPECT_GT(Vec3Dot(unit, back), 0.9998f) << i;
    }
}

TEST(Math, DualQuaternionsRoundTripOnEveryBranch)
{
    struct {
        const char* name;
        TMatrix4 m;
    } rows[] = {
        {"trace > 0", Rigid({1, 2, 3}, 0.5f, {1, -2, 3})},
        {"largest diagonal x", Rigid({1, 0, 0}, PiF, {4, 5, 6})},
        {"largest diagonal y", Rigid({0, 1, 0}, PiF, {-1, 0, 2})},
        {"largest diagonal z", Rigid({0, 0, 1}, PiF, {0, 3, -3})},
        {"near half turn", Rigid({1, 1, 0.2f}, 3.0f, {10, 20, 30})},
        {"identity", IdentityMatrix},
    };
    for (const auto& row : rows) {
        TDualQuat q;
        TMatrix4 back;
        MatrixToDualQuat(row.m, q);
        EXPECT_NEAR(Vec4Dot(q.Rotation, q.Rotation), 1, 1e-5f) << row.name;
        DualQuatToMatrix(q, back);
        ExpectMatrixNear(back, row.m, 2e-5f, row.name);
    }

    TDualQuat a, b, out;
    MatrixToDualQuat(Rigid({0, 1, 0}, 0.4f, {2, 0, 0}), a);
    TDualQuat negated = a;
    Vec4Scale(a.Rotation, -1, negated.Rotation);
    Vec4Scale(a.Dual, -1, negated.Dual);
    DualQuatBlend(a, negated, out, 0.5f);
    EXPECT_NEAR(out.Rotation.x, a.Rotation.x, 1e-6f);
    EXPECT_NEAR(out.Rotation.y, a.Rotation.y, 1e-6f);
    EXPECT_NEAR(out.Rotation.w, a.Rotation.w, 1e-6f);
    EXPECT_NEAR(out.Dual.x, a.Dual.x, 1e-6f);

    // Same rotation, two translations: the blend moves halfway.
    MatrixToDualQuat(Rigid({0, 1, 0}, 0.4f, {6, 2, 0}), b);
    DualQuatBlend(a, b, out, 0.5f);
    TMatrix4 m;
    DualQuatToMatrix(out, m);
    ExpectNear({m.e[3], m.e[7], m.e[11]}, {4, 1, 0}, 1e-5f, "halfway");
    DualQuatBlend(a, b, out, 0);
    EXPECT_EQ(out.Dual.z, a.Dual.z);
}

TEST(Math, LinesPlanesAndSegments)
{
    TVec3 out{9, 9, 9};
    // The plane y = 2 (0 x + 1 y + 0 z - 2 = 0).
    EXPECT_TRUE(PlaneIntersectLine({0, 0, 0}, {1, 1, 0}, out, 0, 1, 0, -2));
    ExpectNear(out, {2, 2, 0}, 1e-6f, "line");
    EXPECT_FALSE(PlaneIntersectLine({0, 0, 0}, {1, 0, 0}, out, 0, 1, 0, -2));
    ExpectNear(out, {0, 0, 0}, 0, "parallel line");
    EXPECT_TRUE(PlaneIntersectSegment({0, 0, 0}, {0, 2, 0}, out, 0, 1, 0, -2)) << "ends on the plane (t = 1)";
    EXPECT_FALSE(PlaneIntersectSegment({0, 0, 0}, {0, 1.999f, 0}, out, 0, 1, 0, -2)) << "stops short";
    EXPECT_FALSE(PlaneIntersectSegment({0, 3, 0}, {0, 1, 0}, out, 0, 1, 0, -2)) << "behind the start";

    TVec3 p1{0, 0, 0}, p2{1, 0, 0}, p3{0, 0, 1};
    EXPECT_TRUE(TrianglePlaneIntersectLine(p1, p2, p3, {5, 4, 5}, {5, 2, 5}, out));
    ExpectNear(out, {5, 0, 5}, 1e-5f, "line through two points");
    EXPECT_TRUE(TrianglePlaneIntersectRay(p1, p2, p3, {1, 5, 1}, {0, -2, 0}, out));
    ExpectNear(out, {1, 0, 1}, 1e-6f, "ray");
    EXPECT_FALSE(TrianglePlaneIntersectRay(p1, p2, p3, {1, 5, 1}, {1, 0, 0}, out));
    EXPECT_FALSE(TrianglePlaneIntersectLine(p1, p1, p1, {0, 1, 0}, {0, -1, 0}, out)) << "degenerate triangle";

    // Plane z = 0 with normal +z: points above are negative.
    EXPECT_NEAR(PointPlaneDistance({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {3, 3, 2}), -2, 1e-6f);
    EXPECT_NEAR(PointPlaneDistance({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {3, 3, -2}), 2, 1e-6f);

    TVec2 hit{7, 7};
    EXPECT_TRUE(SegmentIntersect2D({0, 0}, {2, 2}, {0, 4}, {4, 0}, hit));
    EXPECT_NEAR(hit.x, 2, 1e-6f);
    EXPECT_NEAR(hit.y, 2, 1e-6f);
    hit = {7, 7};
    EXPECT_FALSE(SegmentIntersect2D({0, 0}, {1, 1}, {0, 1}, {1, 2}, hit));
    EXPECT_EQ(hit.x, 7) << "parallel lines leave the output";

    struct {
        TVec2 p;
        uint8_t where;
        TVec2 foot;
    } rows[] = {{{2, 3}, 0, {2, 0}}, {{-1, 1}, 1, {-1, 0}}, {{5, -2}, 2, {5, 0}}, {{0, 9}, 0, {0, 0}}};
    for (const auto& row : rows) {
        uint8_t where = 9;
        TVec2 foot;
        ProjectPointOnSegment2D({0, 0}, {4, 0}, row.p, where, foot);
        EXPECT_EQ(where, row.where) << row.p.x << "," << row.p.y;
        EXPECT_NEAR(foot.x, row.foot.x, 1e-6f);
        EXPECT_NEAR(foot.y, row.foot.y, 1e-6f);
    }
    uint8_t where = 9;
    TVec2 foot;
    ProjectPointOnSegment2D({1, 1}, {1, 1}, {3, 3}, where, foot);
    EXPECT_EQ(where, 0) << "a one-point segment";
    EXPECT_EQ(foot.x, 1);
}

TEST(Math, ScalarsAndVectors)
{
    struct {
        double base, exponent, result;
    } powers[] = {{2, 10, 1024}, {2, -2, 0.25},           {5, 0, 1}, {0, 0, 1}, {0, 3, 0}, {9, 0.5, 3}, {-2, 3, -8},
                  {10, -1, 0.1}, {2, 0.5, std::sqrt(2.0)}};
    for (const auto& row : powers) {
        EXPECT_NEAR(PowerF(row.base, row.exponent), row.result, 1e-12) << row.base << "^" << row.exponent;
    }
    EXPECT_EQ(IntPowerF(3, 5), 243);
    EXPECT_EQ(IntPowerF(2, -2147483647 - 1), 0);
    EXPECT_TRUE(std::isinf(IntPowerF(0, -1)));
    EXPECT_EQ(SignF(-3), -1);
    EXPECT_EQ(SignF(0), 0);
    EXPECT_EQ(SignF(0.5f), 1);
    EXPECT_NEAR(ArcCosF(0), PiF / 2, 1e-6f);
    EXPECT_EQ(ArcCosF(1.0000001f), 0) << "rounding past 1 gives 0, not NaN";
    EXPECT_NEAR(ArcCosF(-1.0000001f), PiF, 1e-6f);
    EXPECT_NEAR(ArcTan2F(1, -1), 3 * PiF / 4, 1e-6f);
    EXPECT_NEAR(ArcTanF(1), PiF / 4, 1e-6f);

    TVec2 v2;
    AngleToVec2(0, v2);
    EXPECT_EQ(v2.x, 0);
    EXPECT_EQ(v2.y, 1);
    AngleToVec2(PiF / 2, v2);
    EXPECT_NEAR(v2.x, 1, 1e-6f);

    TVec3 c, n, l;
    Vec3Cross({1, 0, 0}, {0, 1, 0}, c);
    ExpectNear(c, {0, 0, 1}, 0, "cross");
    Vec3Normalize({0, 3, 4}, n);
    ExpectNear(n, {0, 0.6f, 0.8f}, 1e-7f, "normalize");
    Vec3Normalize({0, 0, 0}, n);
    ExpectNear(n, {0, 0, 0}, 0, "zero vector stays zero");
    Vec3Lerp({0, 0, 0}, {2, 4, 6}, 0.25f, l);
    ExpectNear(l, {0.5f, 1, 1.5f}, 0, "lerp");
    EXPECT_FLOAT_EQ(Vec3Length({2, 3, 6}), 7);
    EXPECT_FLOAT_EQ(Vec2Length({3, 4}), 5);
    EXPECT_TRUE(Vec3Equal({1, 2, 3}, {1, 2, 3}));
    EXPECT_FALSE(Vec3Equal({1, 2, 3}, {1, 2, 3.0001f}));
    EXPECT_EQ(Vec4Dot({1, 2, 3, 4}, {1, 1, 1, 1}), 10);
}
