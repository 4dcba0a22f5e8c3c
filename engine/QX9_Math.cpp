#include "engine/QX9_Math.h"

#include <cmath>
#include <cstdlib>

namespace {

using TExt = long double;

constexpr TExt Tolerance = 1e-7L;

TExt Dot3(const TVec3& a, const TVec3& b)
{
    return static_cast<TExt>(a.x) * b.x + static_cast<TExt>(a.y) * b.y + static_cast<TExt>(a.z) * b.z;
}

// A 3 by 3 determinant by the rule of Sarrus.
TExt Det3(TExt a, TExt b, TExt c, TExt d, TExt e, TExt f, TExt g, TExt h, TExt i)
{
    return a * e * i + b * f * g + c * d * h - c * e * g - b * d * i - a * f * h;
}

// The minor of m without row r and column c.
TExt Minor(const TMatrix4& m, int r, int c)
{
    TExt v[9];
    int n = 0;
    for (int i = 0; i < 4; ++i) {
        if (i == r) {
            continue;
        }
        for (int j = 0; j < 4; ++j) {
            if (j != c) {
                v[n++] = m.e[4 * i + j];
            }
        }
    }
    return Det3(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
}

TExt Len3(const TVec3& v)
{
    return std::sqrt(Dot3(v, v));
}

} // namespace

// ---------------------------------------------------------------------------
// Scalars

float ArcTanF(float y)
{
    return static_cast<float>(std::atan(static_cast<TExt>(y)));
}

float ArcTan2F(float y, float x)
{
    return static_cast<float>(std::atan2(static_cast<TExt>(y), static_cast<TExt>(x)));
}

float ArcCosF(float x)
{
    TExt s = 1.0L - static_cast<TExt>(x) * x;
    if (s < 0) {
        s = 0;
    }
    return static_cast<float>(std::atan2(std::sqrt(s), static_cast<TExt>(x)));
}

double IntPowerF(double base, int32_t exponent)
{
    uint64_t n =
        exponent < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(exponent)) : static_cast<uint64_t>(exponent);
    TExt result = 1;
    TExt b = base;
    while (n != 0) {
        if (n & 1) {
            result *= b;
        }
        b *= b;
        n >>= 1;
    }
    if (exponent < 0) {
        result = 1.0L / result;
    }
    return static_cast<double>(result);
}

double PowerF(double base, double exponent)
{
    if (exponent == 0) {
        return 1;
    }
    if (base == 0 && exponent > 0) {
        return 0;
    }
    if (std::trunc(exponent) == exponent && std::fabs(exponent) <= 2147483647.0) {
        return IntPowerF(base, static_cast<int32_t>(exponent));
    }
    return static_cast<double>(std::exp2(static_cast<TExt>(exponent) * std::log2(static_cast<TExt>(base))));
}

float SignF(float x)
{
    if (x > 0) {
        return 1;
    }
    if (x < 0) {
        return -1;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Vectors

void Vec3Lerp(const TVec3& a, const TVec3& b, float t, TVec3& out)
{
    out.x = static_cast<float>(a.x + (static_cast<TExt>(b.x) - a.x) * t);
    out.y = static_cast<float>(a.y + (static_cast<TExt>(b.y) - a.y) * t);
    out.z = static_cast<float>(a.z + (static_cast<TExt>(b.z) - a.z) * t);
}

float Vec2Length(const TVec2& v)
{
    return static_cast<float>(std::sqrt(static_cast<TExt>(v.x) * v.x + static_cast<TExt>(v.y) * v.y));
}

float Vec3Length(const TVec3& v)
{
    return static_cast<float>(Len3(v));
}

void Vec3Normalize(const TVec3& v, TVec3& out)
{
    TExt len = Len3(v);
    if (len == 0) {
        // A zero vector has no direction; NaN would spread into positions and picks.
        out = {0, 0, 0};
        return;
    }
    out = {static_cast<float>(v.x / len), static_cast<float>(v.y / len), static_cast<float>(v.z / len)};
}

float Vec3Dot(const TVec3& a, const TVec3& b)
{
    return static_cast<float>(Dot3(a, b));
}

void Vec3Cross(const TVec3& a, const TVec3& b, TVec3& out)
{
    TVec3 r;
    r.x = static_cast<float>(static_cast<TExt>(a.y) * b.z - static_cast<TExt>(a.z) * b.y);
    r.y = static_cast<float>(static_cast<TExt>(a.z) * b.x - static_cast<TExt>(a.x) * b.z);
    r.z = static_cast<float>(static_cast<TExt>(a.x) * b.y - static_cast<TExt>(a.y) * b.x);
    out = r;
}

float Vec4Dot(const TVec4& a, const TVec4& b)
{
    return static_cast<float>(static_cast<TExt>(a.x) * b.x + static_cast<TExt>(a.y) * b.y +
                              static_cast<TExt>(a.z) * b.z + static_cast<TExt>(a.w) * b.w);
}

void AngleToVec2(float angle, TVec2& out)
{
    out.x = static_cast<float>(std::sin(static_cast<TExt>(angle)));
    out.y = static_cast<float>(std::cos(static_cast<TExt>(angle)));
}

// ---------------------------------------------------------------------------
// Matrices

void MatrixMultiply(const TMatrix4& a, const TMatrix4& b, TMatrix4& out)
{
    TMatrix4 r; // computed aside, so out may be one of the inputs
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            TExt sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<TExt>(b.e[4 * i + k]) * a.e[4 * k + j];
            }
            r.e[4 * i + j] = static_cast<float>(sum);
        }
    }
    out = r;
}

void MatrixTranspose(TMatrix4& m)
{
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            float t = m.e[4 * i + j];
            m.e[4 * i + j] = m.e[4 * j + i];
            m.e[4 * j + i] = t;
        }
    }
}

void Vec3TransformCoord(const TVec3& p, const TMatrix4& m, TVec3& out)
{
    TVec3 r;
    const float* e = m.e;
    r.x = static_cast<float>(static_cast<TExt>(e[0]) * p.x + static_cast<TExt>(e[1]) * p.y +
                             static_cast<TExt>(e[2]) * p.z + e[3]);
    r.y = static_cast<float>(static_cast<TExt>(e[4]) * p.x + static_cast<TExt>(e[5]) * p.y +
                             static_cast<TExt>(e[6]) * p.z + e[7]);
    r.z = static_cast<float>(static_cast<TExt>(e[8]) * p.x + static_cast<TExt>(e[9]) * p.y +
                             static_cast<TExt>(e[10]) * p.z + e[11]);
    out = r;
}

void Vec4Transform(const TVec4& v, const TMatrix4& m, TVec4& out)
{
    float r[4];
    for (int i = 0; i < 4; ++i) {
        const float* row = m.e + 4 * i;
        r[i] = static_cast<float>(static_cast<TExt>(row[0]) * v.x + static_cast<TExt>(row[1]) * v.y +
                                  static_cast<TExt>(row[2]) * v.z + static_cast<TExt>(row[3]) * v.w);
    }
    out = {r[0], r[1], r[2], r[3]};
}

HRESULT MatrixInverse(TMatrix4& out, const TMatrix4& m)
{
    const float* e = m.e;
    out = IdentityMatrix;
    bool affine = std::fabs(static_cast<TExt>(e[15]) - 1) <= Tolerance &&
                  std::fabs(static_cast<TExt>(e[12])) <= Tolerance &&
                  std::fabs(static_cast<TExt>(e[13])) <= Tolerance && std::fabs(static_cast<TExt>(e[14])) <= Tolerance;
    if (affine) {
        TExt det = (static_cast<TExt>(e[5]) * e[10] - static_cast<TExt>(e[9]) * e[6]) * e[0] -
                   (static_cast<TExt>(e[10]) * e[1] - static_cast<TExt>(e[9]) * e[2]) * e[4] +
                   (static_cast<TExt>(e[6]) * e[1] - static_cast<TExt>(e[5]) * e[2]) * e[8];
        // A singular block (a scale of 0, say) is refused like a singular
        // general matrix instead of filling the result with infinities.
        if (std::fabs(det) < Tolerance || !std::isfinite(det)) {
            return E_INVALIDARG;
        }
        TExt g = 1.0L / det;
        TExt r[9];
        r[0] = (static_cast<TExt>(e[5]) * e[10] - static_cast<TExt>(e[6]) * e[9]) * g;
        r[1] = (static_cast<TExt>(e[2]) * e[9] - static_cast<TExt>(e[1]) * e[10]) * g;
        r[2] = (static_cast<TExt>(e[1]) * e[6] - static_cast<TExt>(e[2]) * e[5]) * g;
        r[3] = (static_cast<TExt>(e[6]) * e[8] - static_cast<TExt>(e[4]) * e[10]) * g;
        r[4] = (static_cast<TExt>(e[0]) * e[10] - static_cast<TExt>(e[2]) * e[8]) * g;
        r[5] = (static_cast<TExt>(e[2]) * e[4] - static_cast<TExt>(e[0]) * e[6]) * g;
        r[6] = (static_cast<TExt>(e[4]) * e[9] - static_cast<TExt>(e[5]) * e[8]) * g;
        r[7] = (static_cast<TExt>(e[1]) * e[8] - static_cast<TExt>(e[0]) * e[9]) * g;
        r[8] = (static_cast<TExt>(e[0]) * e[5] - static_cast<TExt>(e[1]) * e[4]) * g;
        const TExt t[3] = {e[3], e[7], e[11]};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                out.e[4 * i + j] = static_cast<float>(r[3 * i + j]);
            }
            out.e[4 * i + 3] = static_cast<float>(-(r[3 * i] * t[0] + r[3 * i + 1] * t[1] + r[3 * i + 2] * t[2]));
        }
        return S_OK;
    }
    TExt det = 0;
    for (int j = 0; j < 4; ++j) {
        TExt c = Minor(m, 0, j) * e[j];
        det += (j & 1) ? -c : c;
    }
    if (std::fabs(det) < Tolerance || !std::isfinite(det)) {
        return E_INVALIDARG;
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            TExt c = Minor(m, i, j) / det;
            out.e[4 * j + i] = static_cast<float>(((i + j) & 1) ? -c : c);
        }
    }
    return S_OK;
}

HRESULT MatrixLookAt(TMatrix4& out, const TVec3& eye, const TVec3& at, const TVec3& up)
{
    TVec3 f;
    Vec3Sub(at, eye, f);
    TExt fl = Len3(f);
    if (fl < Tolerance) {
        return E_INVALIDARG;
    }
    f = {static_cast<float>(f.x / fl), static_cast<float>(f.y / fl), static_cast<float>(f.z / fl)};
    // up minus its part along f; the fall-backs for an up parallel to the view.
    auto orthogonal = [&f](const TVec3& v) {
        TExt d = Dot3(v, f);
        return TVec3{static_cast<float>(v.x - f.x * d), static_cast<float>(v.y - f.y * d),
                     static_cast<float>(v.z - f.z * d)};
    };
    TVec3 u = orthogonal(up);
    if (Len3(u) < Tolerance) {
        u = {static_cast<float>(-static_cast<TExt>(f.x) * f.y), static_cast<float>(1 - static_cast<TExt>(f.y) * f.y),
             static_cast<float>(-static_cast<TExt>(f.z) * f.y)};
        if (Len3(u) < Tolerance) {
            u = {static_cast<float>(-static_cast<TExt>(f.x) * f.z), static_cast<float>(-static_cast<TExt>(f.y) * f.z),
                 static_cast<float>(1 - static_cast<TExt>(f.z) * f.z)};
            if (Len3(u) < Tolerance) {
                return E_INVALIDARG;
            }
        }
    }
    TExt ul = Len3(u);
    u = {static_cast<float>(u.x / ul), static_cast<float>(u.y / ul), static_cast<float>(u.z / ul)};
    TVec3 s;
    Vec3Cross(u, f, s);
    TMatrix4 r = IdentityMatrix;
    r.e[0] = s.x, r.e[1] = s.y, r.e[2] = s.z, r.e[3] = static_cast<float>(-Dot3(eye, s));
    r.e[4] = u.x, r.e[5] = u.y, r.e[6] = u.z, r.e[7] = static_cast<float>(-Dot3(eye, u));
    r.e[8] = f.x, r.e[9] = f.y, r.e[10] = f.z, r.e[11] = static_cast<float>(-Dot3(eye, f));
    out = r;
    return S_OK;
}

HRESULT MatrixPerspectiveFov(TMatrix4& out, float fovY, float heightOverWidth, float zNear, float zFar)
{
    TExt s = std::sin(static_cast<TExt>(fovY) / 2);
    if (std::fabs(static_cast<TExt>(zFar) - zNear) < Tolerance || std::fabs(s) < Tolerance) {
        return E_INVALIDARG;
    }
    TExt c = std::cos(static_cast<TExt>(fovY) / 2) / s;
    TExt q = zFar / (static_cast<TExt>(zFar) - zNear);
    out = ZeroMatrix;
    out.e[0] = static_cast<float>(heightOverWidth * static_cast<TExt>(static_cast<float>(c)));
    out.e[5] = static_cast<float>(c);
    out.e[10] = static_cast<float>(q);
    out.e[11] = static_cast<float>(-zNear * q);
    out.e[14] = 1;
    return S_OK;
}

void MatrixTranslation(TMatrix4& out, float x, float y, float z)
{
    out = IdentityMatrix;
    out.e[3] = x;
    out.e[7] = y;
    out.e[11] = z;
}

void MatrixTranslationVec(TMatrix4& out, const TVec3& v)
{
    MatrixTranslation(out, v.x, v.y, v.z);
}

void MatrixScaling(TMatrix4& out, float x, float y, float z)
{
    out = IdentityMatrix;
    out.e[0] = x;
    out.e[5] = y;
    out.e[10] = z;
}

void MatrixRotationX(TMatrix4& out, float a)
{
    float c = static_cast<float>(std::cos(static_cast<TExt>(a)));
    float s = static_cast<float>(std::sin(static_cast<TExt>(a)));
    out = IdentityMatrix;
    out.e[5] = c, out.e[6] = -s, out.e[9] = s, out.e[10] = c;
}

void MatrixRotationY(TMatrix4& out, float a)
{
    float c = static_cast<float>(std::cos(static_cast<TExt>(a)));
    float s = static_cast<float>(std::sin(static_cast<TExt>(a)));
    out = IdentityMatrix;
    out.e[0] = c, out.e[2] = s, out.e[8] = -s, out.e[10] = c;
}

void MatrixRotationZ(TMatrix4& out, float a)
{
    float c = static_cast<float>(std::cos(static_cast<TExt>(a)));
    float s = static_cast<float>(std::sin(static_cast<TExt>(a)));
    out = IdentityMatrix;
    out.e[0] = c, out.e[1] = -s, out.e[4] = s, out.e[5] = c;
}

void MatrixRotationAxis(TMatrix4& out, const TVec3& axis, float a)
{
    TVec3 n;
    Vec3Normalize(axis, n);
    TExt c = std::cos(static_cast<TExt>(a)), s = std::sin(static_cast<TExt>(a)), k = 1 - c;
    TExt x = n.x, y = n.y, z = n.z;
    out = ZeroMatrix;
    out.e[0] = static_cast<float>(c + x * x * k);
    out.e[1] = static_cast<float>(y * x * k + z * s);
    out.e[2] = static_cast<float>(z * x * k - y * s);
    out.e[4] = static_cast<float>(x * y * k - z * s);
    out.e[5] = static_cast<float>(c + y * y * k);
    out.e[6] = static_cast<float>(z * y * k + x * s);
    out.e[8] = static_cast<float>(x * z * k + y * s);
    out.e[9] = static_cast<float>(y * z * k - x * s);
    out.e[10] = static_cast<float>(c + z * z * k);
    out.e[15] = 1;
}

void ScreenToRay(const TVec2& p, const TMatrix4& m, TVec3& nearOut, float z1, float z2, TVec3& farOut)
{
    const float* e = m.e;
    TExt denominator = static_cast<TExt>(e[12]) * p.x + static_cast<TExt>(e[13]) * p.y + e[15];
    TExt w1 = 1, w2 = 1;
    // The depth factors cancel in the division; a zero factor would only turn
    // the result into NaN, so the plain points (factor 1) are taken then.
    if (denominator != 0 && z1 != 0 && z2 != 0) {
        w1 = -e[14] * static_cast<TExt>(z1) / denominator;
        w2 = -e[14] * static_cast<TExt>(z2) / denominator;
        if (!(w1 != 0 && w2 != 0 && std::isfinite(w1) && std::isfinite(w2))) {
            w1 = w2 = 1;
        }
    }
    TVec4 a, b;
    Vec4Transform({static_cast<float>(p.x * w1), static_cast<float>(p.y * w1), 0, static_cast<float>(w1)}, m, a);
    Vec4Transform(
        {static_cast<float>(p.x * w2), static_cast<float>(p.y * w2), static_cast<float>(w2), static_cast<float>(w2)}, m,
        b);
    auto divide = [](const TVec4& v, TVec3& out) {
        if (v.w == 0) {
            out = {0, 0, 0};
            return;
        }
        out = {static_cast<float>(static_cast<TExt>(v.x) / v.w), static_cast<float>(static_cast<TExt>(v.y) / v.w),
               static_cast<float>(static_cast<TExt>(v.z) / v.w)};
    };
    divide(a, nearOut);
    divide(b, farOut);
}

// ---------------------------------------------------------------------------
// Geometry

bool PlaneIntersectLine(const TVec3& origin, const TVec3& dir, TVec3& out, float a, float b, float c, float d)
{
    TExt k = static_cast<TExt>(a) * dir.x + static_cast<TExt>(b) * dir.y + static_cast<TExt>(c) * dir.z;
    if (std::fabs(k) < Tolerance) {
        out = {0, 0, 0};
        return false;
    }
    TExt t =
        -(static_cast<TExt>(a) * origin.x + static_cast<TExt>(b) * origin.y + static_cast<TExt>(c) * origin.z + d) / k;
    out = {static_cast<float>(origin.x + t * dir.x), static_cast<float>(origin.y + t * dir.y),
           static_cast<float>(origin.z + t * dir.z)};
    return true;
}

bool TrianglePlaneIntersectLine(const TVec3& p1, const TVec3& p2, const TVec3& p3, const TVec3& from, const TVec3& to,
                                TVec3& out)
{
    TVec3 a, b, n, dir;
    Vec3Sub(p2, p1, a);
    Vec3Sub(p3, p1, b);
    Vec3Cross(a, b, n);
    Vec3Normalize(n, n);
    float d = static_cast<float>(-Dot3(n, p1));
    Vec3Sub(to, from, dir);
    return PlaneIntersectLine(from, dir, out, n.x, n.y, n.z, d);
}

bool TrianglePlaneIntersectRay(const TVec3& p1, const TVec3& p2, const TVec3& p3, const TVec3& origin, const TVec3& dir,
                               TVec3& out)
{
    TVec3 a, b, n;
    Vec3Sub(p3, p1, a);
    Vec3Sub(p2, p1, b);
    Vec3Cross(a, b, n);
    TExt k = Dot3(n, dir);
    if (k == 0) {
        out = {0, 0, 0};
        return false;
    }
    TExt t = -(Dot3(n, origin) - Dot3(n, p1)) / k;
    out = {static_cast<float>(origin.x + t * dir.x), static_cast<float>(origin.y + t * dir.y),
           static_cast<float>(origin.z + t * dir.z)};
    return true;
}

bool PlaneIntersectSegment(const TVec3& origin, const TVec3& dir, TVec3& out, float a, float b, float c, float d)
{
    TExt k = static_cast<TExt>(a) * dir.x + static_cast<TExt>(b) * dir.y + static_cast<TExt>(c) * dir.z;
    if (k == 0) {
        out = {0, 0, 0};
        return false;
    }
    TExt t =
        -(static_cast<TExt>(a) * origin.x + static_cast<TExt>(b) * origin.y + static_cast<TExt>(c) * origin.z + d) / k;
    if (!(t >= 0 && t <= 1)) {
        out = {0, 0, 0};
        return false;
    }
    out = {static_cast<float>(origin.x + t * dir.x), static_cast<float>(origin.y + t * dir.y),
           static_cast<float>(origin.z + t * dir.z)};
    return true;
}

bool SegmentIntersect2D(const TVec2& p1, const TVec2& p2, const TVec2& p3, const TVec2& p4, TVec2& out)
{
    TExt g = (static_cast<TExt>(p2.y) - p1.y) * (static_cast<TExt>(p3.x) - p4.x) -
             (static_cast<TExt>(p3.y) - p4.y) * (static_cast<TExt>(p2.x) - p1.x);
    if (g == 0) {
        return false;
    }
    TExt t = ((static_cast<TExt>(p3.x) - p4.x) * (static_cast<TExt>(p3.y) - p1.y) -
              (static_cast<TExt>(p3.y) - p4.y) * (static_cast<TExt>(p3.x) - p1.x)) /
             g;
    out = {static_cast<float>(p1.x + t * (static_cast<TExt>(p2.x) - p1.x)),
           static_cast<float>(p1.y + t * (static_cast<TExt>(p2.y) - p1.y))};
    return true;
}

void ProjectPointOnSegment2D(const TVec2& a, const TVec2& b, const TVec2& p, uint8_t& where, TVec2& out)
{
    TVec2 d;
    Vec2Sub(b, a, d);
    float len = Vec2Length(d);
    if (len == 0) {
        // A segment of one point: its foot is that point.
        out = a;
        where = 0;
        return;
    }
    TVec2 u = {static_cast<float>(static_cast<TExt>(d.x) / len), static_cast<float>(static_cast<TExt>(d.y) / len)};
    float s = static_cast<float>(static_cast<TExt>(u.x) * (static_cast<TExt>(p.x) - a.x) +
                                 static_cast<TExt>(u.y) * (static_cast<TExt>(p.y) - a.y));
    out = {static_cast<float>(a.x + static_cast<TExt>(s) * u.x), static_cast<float>(a.y + static_cast<TExt>(s) * u.y)};
    where = 0;
    if (!(s >= 0)) {
        where = 1;
    } else if (s > len) {
        where = 2;
    }
}

float PointPlaneDistance(const TVec3& p1, const TVec3& p2, const TVec3& p3, const TVec3& p)
{
    TVec3 a, b, n, q;
    Vec3Sub(p2, p1, a);
    Vec3Sub(p3, p1, b);
    Vec3Cross(a, b, n);
    Vec3Normalize(n, n);
    Vec3Sub(p1, p, q);
    return Vec3Dot(n, q);
}

void PackNormal(const TVec3& v, uint8_t& x, uint8_t& y, uint8_t& z)
{
    TVec3 c = v;
    // -0 and +0 pack alike.
    if (c.x == 0) {
        c.x = 0;
    }
    if (c.y == 0) {
        c.y = 0;
    }
    if (c.z == 0) {
        c.z = 0;
    }
    if (std::fabs(static_cast<TExt>(c.x)) < Tolerance && std::fabs(static_cast<TExt>(c.y)) < Tolerance &&
        std::fabs(static_cast<TExt>(c.z)) < Tolerance) {
        x = 127, y = 0, z = 127;
        return;
    }
    TExt len = Vec3Length(c);
    auto pack = [len](float component) {
        // rint rounds as nearbyint does (halves to even under the default
        // mode) and compiles to one instruction; only the inexact flag,
        // which nothing reads, may differ.
        TExt v = std::rint(component * 127.0L / len) + 127;
        if (!(v >= 0)) {
            v = 0;
        }
        if (v > 255) {
            v = 255;
        }
        return static_cast<uint8_t>(v);
    };
    x = pack(c.x), y = pack(c.y), z = pack(c.z);
}

void UnpackNormal(uint8_t x, uint8_t y, uint8_t z, TVec3& out)
{
    Vec3Normalize({static_cast<float>(x - 127), static_cast<float>(y - 127), static_cast<float>(z - 127)}, out);
}

// ---------------------------------------------------------------------------
// Dual quaternions

void MatrixToDualQuat(const TMatrix4& m, TDualQuat& out)
{
    const float* e = m.e;
    auto at = [e](int r, int c) { return static_cast<TExt>(e[4 * r + c]); };
    TExt q[4] = {0, 0, 0, 1}; // x, y, z, w
    TExt trace = at(0, 0) + at(1, 1) + at(2, 2);
    if (trace > 0) {
        TExt r = std::sqrt(trace + 1);
        q[3] = r / 2;
        TExt rr = 0.5L / r;
        q[0] = (at(2, 1) - at(1, 2)) * rr;
        q[1] = (at(0, 2) - at(2, 0)) * rr;
        q[2] = (at(1, 0) - at(0, 1)) * rr;
    } else {
        static constexpr int next[3] = {1, 2, 0};
        int i = 0;
        if (at(1, 1) > at(0, 0)) {
            i = 1;
        }
        if (at(2, 2) > at(i, i)) {
            i = 2;
        }
        int j = next[i], k = next[j];
        TExt s = at(i, i) - at(j, j) - at(k, k) + 1;
        // Only a matrix that is no rotation gets here with s <= 0; it keeps
        // the identity rotation instead of a NaN.
        if (s > 0) {
            TExt r = std::sqrt(s);
            q[i] = r / 2;
            TExt rr = 0.5L / r;
            q[3] = (at(k, j) - at(j, k)) * rr;
            q[j] = (at(j, i) + at(i, j)) * rr;
            q[k] = (at(k, i) + at(i, k)) * rr;
        }
    }
    out.Rotation = {static_cast<float>(q[0]), static_cast<float>(q[1]), static_cast<float>(q[2]),
                    static_cast<float>(q[3])};
    TExt qx = out.Rotation.x, qy = out.Rotation.y, qz = out.Rotation.z, qw = out.Rotation.w;
    TExt tx = e[3], ty = e[7], tz = e[11];
    out.Dual.w = static_cast<float>(-0.5L * (tx * qx + ty * qy + tz * qz));
    out.Dual.x = static_cast<float>(0.5L * (tx * qw + ty * qz - tz * qy));
    out.Dual.y = static_cast<float>(0.5L * (-tx * qz + ty * qw + tz * qx));
    out.Dual.z = static_cast<float>(0.5L * (tx * qy - ty * qx + tz * qw));
}

void DualQuatToMatrix(const TDualQuat& dq, TMatrix4& out)
{
    TExt x = dq.Rotation.x, y = dq.Rotation.y, z = dq.Rotation.z, w = dq.Rotation.w;
    TExt dx = dq.Dual.x, dy = dq.Dual.y, dz = dq.Dual.z, dw = dq.Dual.w;
    TMatrix4 r;
    r.e[0] = static_cast<float>(1 - 2 * (y * y + z * z));
    r.e[1] = static_cast<float>(2 * (x * y - w * z));
    r.e[2] = static_cast<float>(2 * (x * z + w * y));
    r.e[3] = static_cast<float>(2 * (dx * w - x * dw + y * dz - z * dy));
    r.e[4] = static_cast<float>(2 * (x * y + w * z));
    r.e[5] = static_cast<float>(1 - 2 * (z * z + x * x));
    r.e[6] = static_cast<float>(2 * (y * z - w * x));
    r.e[7] = static_cast<float>(2 * (w * dy - dw * y + dx * z - x * dz));
    r.e[8] = static_cast<float>(2 * (x * z - w * y));
    r.e[9] = static_cast<float>(2 * (y * z + w * x));
    r.e[10] = static_cast<float>(1 - 2 * (y * y + x * x));
    r.e[11] = static_cast<float>(2 * (w * dz - dw * z + x * dy - dx * y));
    r.e[15] = 1;
    out = r;
}

void DualQuatBlend(const TDualQuat& a, const TDualQuat& b, TDualQuat& out, float t)
{
    auto lerp = [t](float u, float v) { return static_cast<float>(u + (static_cast<TExt>(v) - u) * t); };
    auto flip = [t](float u, float v) { return static_cast<float>(u - (static_cast<TExt>(v) + u) * t); };
    TDualQuat r;
    if (Vec4Dot(a.Rotation, b.Rotation) >= 0) {
        r.Rotation = {lerp(a.Rotation.x, b.Rotation.x), lerp(a.Rotation.y, b.Rotation.y),
                      lerp(a.Rotation.z, b.Rotation.z), lerp(a.Rotation.w, b.Rotation.w)};
        r.Dual = {lerp(a.Dual.x, b.Dual.x), lerp(a.Dual.y, b.Dual.y), lerp(a.Dual.z, b.Dual.z),
                  lerp(a.Dual.w, b.Dual.w)};
    } else {
        r.Rotation = {flip(a.Rotation.x, b.Rotation.x), flip(a.Rotation.y, b.Rotation.y),
                      flip(a.Rotation.z, b.Rotation.z), flip(a.Rotation.w, b.Rotation.w)};
        r.Dual = {flip(a.Dual.x, b.Dual.x), flip(a.Dual.y, b.Dual.y), flip(a.Dual.z, b.Dual.z),
                  flip(a.Dual.w, b.Dual.w)};
    }
    out = r;
}
