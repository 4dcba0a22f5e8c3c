// QX9_Math: the engine's small linear-algebra library. 2-, 3- and 4-component
// single-precision vectors, 4 by 4 matrices acting on column vectors
// (translation in e3, e7, e11), quaternions and unit dual quaternions for
// skinning, picking rays, plane and segment intersections and normal packing.
// Intermediate results are computed in extended precision (long double) and
// stored as singles. Everything here is pure and may run on any thread.
#pragma once

#include <cmath>
#include <cstdint>

// HRESULT-like result codes shared with the Direct3D-shaped layer.
#ifndef DUSKMARCH_HRESULT_DEFINED
#define DUSKMARCH_HRESULT_DEFINED
using HRESULT = int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
#endif

struct TVec2 {
    float x = 0, y = 0;
};
struct TVec3 {
    float x = 0, y = 0, z = 0;
};
// Also a quaternion: (x, y, z) the vector part, w the scalar part.
struct TVec4 {
    float x = 0, y = 0, z = 0, w = 0;
};

// Sixteen singles e[0] .. e[15], four rows of four. A point p becomes
// (e0 p.x + e1 p.y + e2 p.z + e3, e4 p.x + ... + e7, e8 p.x + ... + e11).
struct TMatrix4 {
    float e[16] = {};
};

// Rotation quaternion, then the dual part (half the translation times the rotation).
struct TDualQuat {
    TVec4 Rotation;
    TVec4 Dual;
};

static_assert(sizeof(TVec3) == 12 && sizeof(TVec4) == 16 && sizeof(TMatrix4) == 64 && sizeof(TDualQuat) == 32);

inline constexpr TMatrix4 IdentityMatrix = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
inline constexpr TMatrix4 ZeroMatrix = {};

// ---------------------------------------------------------------------------
// Scalars

float ArcTanF(float y);
float ArcTan2F(float y, float x);
// atan2(sqrt(1 - x * x), x); values just outside -1..1 (rounding of dot
// products) give 0 or pi instead of NaN.
float ArcCosF(float x);
// Repeated squaring; 1 for exponent 0, the reciprocal for negative exponents.
double IntPowerF(double base, int32_t exponent);
// 1 for exponent 0; 0 for base 0 and a positive exponent; IntPowerF for whole
// exponents; otherwise 2 ^ (exponent * log2(base)).
double PowerF(double base, double exponent);
float SignF(float x);

// ---------------------------------------------------------------------------
// Vectors (result in the last argument)

// The nearest whole number, halves to even (the rounding of screen positions).
inline int32_t Rounded(float value)
{
    return static_cast<int32_t>(std::nearbyint(value));
}

inline void Vec2Make(float x, float y, TVec2& out)
{
    out = {x, y};
}
inline void Vec3Make(float x, float y, float z, TVec3& out)
{
    out = {x, y, z};
}
inline void Vec4Make(float x, float y, float z, float w, TVec4& out)
{
    out = {x, y, z, w};
}

inline void Vec2Add(const TVec2& a, const TVec2& b, TVec2& out)
{
    out = {a.x + b.x, a.y + b.y};
}
inline void Vec3Add(const TVec3& a, const TVec3& b, TVec3& out)
{
    out = {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline void Vec2Sub(const TVec2& a, const TVec2& b, TVec2& out)
{
    out = {a.x - b.x, a.y - b.y};
}
inline void Vec3Sub(const TVec3& a, const TVec3& b, TVec3& out)
{
    out = {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline void Vec2Scale(const TVec2& a, float s, TVec2& out)
{
    out = {a.x * s, a.y * s};
}
inline void Vec3Scale(const TVec3& a, float s, TVec3& out)
{
    out = {a.x * s, a.y * s, a.z * s};
}
inline void Vec2Div(const TVec2& a, float s, TVec2& out)
{
    out = {a.x / s, a.y / s};
}
inline void Vec3Div(const TVec3& a, float s, TVec3& out)
{
    out = {a.x / s, a.y / s, a.z / s};
}
inline bool Vec3Equal(const TVec3& a, const TVec3& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

inline void Vec4Add(const TVec4& a, const TVec4& b, TVec4& out)
{
    out = {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w};
}
inline void Vec4Sub(const TVec4& a, const TVec4& b, TVec4& out)
{
    out = {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w};
}
inline void Vec4Scale(const TVec4& a, float s, TVec4& out)
{
    out = {a.x * s, a.y * s, a.z * s, a.w * s};
}

// a + (b - a) t
void Vec3Lerp(const TVec3& a, const TVec3& b, float t, TVec3& out);
float Vec2Length(const TVec2& v);
float Vec3Length(const TVec3& v);
// v / |v|; a zero vector stays zero (no NaN).
void Vec3Normalize(const TVec3& v, TVec3& out);
float Vec3Dot(const TVec3& a, const TVec3& b);
void Vec3Cross(const TVec3& a, const TVec3& b, TVec3& out);
float Vec4Dot(const TVec4& a, const TVec4& b);
// (sin angle, cos angle): sine first.
void AngleToVec2(float angle, TVec2& out);

// ---------------------------------------------------------------------------
// Matrices

// out[4i + j] = sum over k of B[4i + k] A[4k + j]: applied to a point, A first,
// then B. out may be A or B.
void MatrixMultiply(const TMatrix4& a, const TMatrix4& b, TMatrix4& out);
void MatrixTranspose(TMatrix4& m);
// The first three rows applied to (p, 1); no division by w.
void Vec3TransformCoord(const TVec3& p, const TMatrix4& m, TVec3& out);
void Vec4Transform(const TVec4& v, const TMatrix4& m, TVec4& out);
// S_OK, or E_INVALIDARG with out the identity when M is singular (|det| < 1e-7).
HRESULT MatrixInverse(TMatrix4& out, const TMatrix4& m);
// A left-handed view looking along +z; E_INVALIDARG (out unchanged) when eye
// and at coincide or no up reference can be found.
HRESULT MatrixLookAt(TMatrix4& out, const TVec3& eye, const TVec3& at, const TVec3& up);
// E_INVALIDARG (out unchanged) when zFar = zNear or the angle's sine is 0.
HRESULT MatrixPerspectiveFov(TMatrix4& out, float fovY, float heightOverWidth, float zNear, float zFar);
void MatrixTranslation(TMatrix4& out, float x, float y, float z);
void MatrixTranslationVec(TMatrix4& out, const TVec3& v);
void MatrixScaling(TMatrix4& out, float x, float y, float z);
// Right-handed rotations of column vectors: y toward z, z toward x, x toward y.
void MatrixRotationX(TMatrix4& out, float a);
void MatrixRotationY(TMatrix4& out, float a);
void MatrixRotationZ(TMatrix4& out, float a);
// Turns the other way: about (1, 0, 0) by a equals MatrixRotationX by -a.
void MatrixRotationAxis(TMatrix4& out, const TVec3& axis, float a);
// The points of depth 0 and depth 1 under the device point p, with M the
// inverse of a (view-)projection matrix.
void ScreenToRay(const TVec2& p, const TMatrix4& m, TVec3& nearOut, float z1, float z2, TVec3& farOut);

// ---------------------------------------------------------------------------
// Geometry

// The unbounded line origin + t dir against the plane A x + B y + C z + D = 0.
bool PlaneIntersectLine(const TVec3& origin, const TVec3& dir, TVec3& out, float a, float b, float c, float d);
bool TrianglePlaneIntersectLine(const TVec3& p1, const TVec3& p2, const TVec3& p3, const TVec3& from, const TVec3& to,
                                TVec3& out);
bool TrianglePlaneIntersectRay(const TVec3& p1, const TVec3& p2, const TVec3& p3, const TVec3& origin, const TVec3& dir,
                               TVec3& out);
// Only crossings with t in 0..1 count.
bool PlaneIntersectSegment(const TVec3& origin, const TVec3& dir, TVec3& out, float a, float b, float c, float d);
// The crossing of the unbounded lines P1-P2 and P3-P4; false (out unchanged) when parallel.
bool SegmentIntersect2D(const TVec2& p1, const TVec2& p2, const TVec2& p3, const TVec2& p4, TVec2& out);
// The foot of P on the line A-B; where: 0 between, 1 before A, 2 past B.
void ProjectPointOnSegment2D(const TVec2& a, const TVec2& b, const TVec2& p, uint8_t& where, TVec2& out);
// n . (P1 - P) with n the unit normal of (P2 - P1) x (P3 - P1).
float PointPlaneDistance(const TVec3& p1, const TVec3& p2, const TVec3& p3, const TVec3& p);
void PackNormal(const TVec3& v, uint8_t& x, uint8_t& y, uint8_t& z);
void UnpackNormal(uint8_t x, uint8_t y, uint8_t z, TVec3& out);

// ---------------------------------------------------------------------------
// Dual quaternions

void MatrixToDualQuat(const TMatrix4& m, TDualQuat& out);
void DualQuatToMatrix(const TDualQuat& q, TMatrix4& out);
// Linear blend (b's sign flipped when the rotations point apart); not normalised.
void DualQuatBlend(const TDualQuat& a, const TDualQuat& b, TDualQuat& out, float t);
