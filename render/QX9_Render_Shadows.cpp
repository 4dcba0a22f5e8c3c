// Shadow-map fitting and colour helpers.
#include "render/QX9_Render_Shadows.h"

#include <algorithm>
#include <cmath>

void ExtendSegmentToPoint(const TVec2& point, TVec2& start, TVec2& end)
{
    uint8_t where = 0;
    TVec2 foot;
    ProjectPointOnSegment2D(start, end, point, where, foot);
    if (where == 1)
        start = foot;
    else if (where == 2)
        end = foot;
}

namespace {

constexpr float HalfPi = 1.5707963267948966f;

struct TLightCandidate {
    TVec2 A, B, C, D;
    int32_t I = 0, J = 0;
    float Angle = 0;
    float Area = 0;
    uint8_t Active = 0;
};

void UnitRectangle(TVec2& k1, TVec2& k2, TVec2& k3, TVec2& k4)
{
    k1 = {-1, -1};
    k2 = {1, -1};
    k3 = {1, 1};
    k4 = {-1, 1};
}

} // namespace

void FitLightFrustum(const TLightFitPoints& points, const TMatrix4& light, TVec2& k1, TVec2& k2, TVec2& k3, TVec2& k4)
{
    const int32_t n = std::clamp(points.Count, 0, LIGHT_FIT_MAX_POINTS);
    TVec2 q[LIGHT_FIT_MAX_POINTS + 1];
    for (int32_t k = 1; k <= n; k++) {
        TVec4 v;
        Vec4Transform({points.Points[k].x, points.Points[k].y, points.Points[k].z, 1}, light, v);
        q[k] = {v.x / v.w, v.y / v.w};
    }

    TLightCandidate candidates[255];
    int32_t count = 0;
    for (int32_t i = 1; i < n; i++)
        for (int32_t j = i + 1; j <= n; j++) {
            TLightCandidate& c = candidates[count++];
            c = {};
            c.A = q[i];
            c.B = q[j];
            c.I = i;
            c.J = j;
            c.Angle = std::atan((q[i].y - q[j].y) / (q[i].x - q[j].x));
            // A pair of one point (or of points at infinity) has no direction.
            c.Active = (q[i].x != q[j].x || q[i].y != q[j].y) && std::isfinite(q[i].x) && std::isfinite(q[i].y) &&
                               std::isfinite(q[j].x) && std::isfinite(q[j].y)
                           ? 1
                           : 0;
        }

    for (int32_t a = 0; a < count; a++)
        for (int32_t b = a + 1; b < count && candidates[a].Active != 0; b++) {
            // The perpendicular test compares as written: it also drops pairs
            // whose directions differ by more than a right angle less 0.001.
            const float d = std::fabs(candidates[a].Angle - candidates[b].Angle);
            if (d < 0.001f || HalfPi - d < 0.001f)
                candidates[a].Active = 0;
        }

    float best = 1000000.0f;
    int32_t chosen = -1;
    for (int32_t index = 0; index < count; index++) {
        TLightCandidate& c = candidates[index];
        if (c.Active == 0)
            continue;
        const TVec2 m = {(c.A.x + c.B.x) / 2, (c.A.y + c.B.y) / 2};
        c.C = m;
        c.D = {m.x + (c.B.y - m.y), m.y + (m.x - c.B.x)};
        for (int32_t k = 1; k <= n; k++) {
            if (k == c.I || k == c.J)
                continue;
            ExtendSegmentToPoint(q[k], c.A, c.B);
            ExtendSegmentToPoint(q[k], c.C, c.D);
        }
        TVec2 along, across;
        Vec2Sub(c.B, c.A, along);
        Vec2Sub(c.D, c.C, across);
        c.Area = Vec2Length(along) * Vec2Length(across);
        if (c.Area < best) {
            best = c.Area;
            chosen = index;
        }
    }
    if (chosen < 0) {
        UnitRectangle(k1, k2, k3, k4);
        return;
    }
    const TLightCandidate& c = candidates[chosen];
    TVec2 x = {(c.A.x + c.B.x) / 2, (c.A.y + c.B.y) / 2};
    SegmentIntersect2D(c.A, c.B, c.C, c.D, x);
    k1 = {c.C.x + (c.A.x - x.x), c.C.y + (c.A.y - x.y)};
    k2 = {c.C.x + (c.B.x - x.x), c.C.y + (c.B.y - x.y)};
    k3 = {c.D.x + (c.B.x - x.x), c.D.y + (c.B.y - x.y)};
    k4 = {c.D.x + (c.A.x - x.x), c.D.y + (c.A.y - x.y)};
}

void BuildLightMatrix(const TVec2& k1, const TVec2& k2, const TVec2& k3, const TVec2& k4, TMatrix4& crop, float& width,
                      float& height)
{
    const TVec2 centre = {(k4.x + k2.x) / 2, (k4.y + k2.y) / 2};
    TMatrix4 t;
    MatrixTranslation(t, -centre.x, -centre.y, 0);
    TVec2 side;
    Vec2Sub(k1, k4, side);
    const float length = Vec2Length(side);
    const TVec2 u = length > 0 ? TVec2{side.x / length, side.y / length} : TVec2{1, 0};
    TMatrix4 r = IdentityMatrix;
    r.e[0] = u.x;
    r.e[1] = u.y;
    r.e[2] = 0;
    r.e[4] = u.y;
    r.e[5] = -u.x;
    r.e[6] = 0;
    TVec2 w, h;
    Vec2Sub(k2, k3, w);
    Vec2Sub(k2, k1, h);
    width = Vec2Length(w);
    height = Vec2Length(h);
    TMatrix4 s = IdentityMatrix;
    s.e[0] = -2 / width;
    s.e[5] = 2 / height;
    MatrixMultiply(t, r, crop);
    MatrixMultiply(crop, s, crop);
}

void BuildShadowMatrix(const TMatrix4& camera, const TMatrix4& light, float zNear, float zFar, TMatrix4& crop,
                       float& width, float& height)
{
    TMatrix4 inverse;
    MatrixInverse(inverse, camera);
    static constexpr TVec2 ScreenCorners[4] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};
    TLightFitPoints points;
    points.Count = 8;
    for (int i = 0; i < 4; i++)
        ScreenToRay(ScreenCorners[i], inverse, points.Points[1 + i], zNear, zFar, points.Points[5 + i]);
    TVec2 k1, k2, k3, k4;
    FitLightFrustum(points, light, k1, k2, k3, k4);
    BuildLightMatrix(k1, k2, k3, k4, crop, width, height);
}

void BuildShadowTextureMatrix(const TMatrix4& matrix, float size, TMatrix4& out)
{
    const float h = 0.5f + 0.5f / size;
    TMatrix4 scaling, translation;
    MatrixScaling(scaling, 0.5f, -0.5f, 1);
    MatrixTranslation(translation, h, h, 0);
    MatrixMultiply(matrix, scaling, out);
    MatrixMultiply(out, translation, out);
}

void ColorFromRGB565(uint32_t value, T3D_Color& color)
{
    color.r = static_cast<float>((value >> 11) & 31) / 31.0f;
    color.g = static_cast<float>((value >> 5) & 63) / 63.0f;
    color.b = static_cast<float>(value & 31) / 31.0f;
}

T3D_Color ColorFromRGB(uint32_t value)
{
    return {static_cast<float>((value >> 16) & 255) / 255.0f, static_cast<float>((value >> 8) & 255) / 255.0f,
            static_cast<float>(value & 255) / 255.0f, 1};
}

uint32_t ColorToRGB(const T3D_Color& color)
{
    auto channel = [](float c) -> uint32_t {
        if (!(c >= 0.000001f))
            return 0;
        const float scaled = std::nearbyint(c * 255.0f);
        return scaled > 255 ? 255u : static_cast<uint32_t>(scaled);
    };
    return channel(color.b) + 256u * channel(color.g) + 65536u * channel(color.r);
}

T3D_Color LerpColor(const T3D_Color& a, const T3D_Color& b, float t)
{
    return {(1 - t) * a.r + t * b.r, (1 - t) * a.g + t * b.g, (1 - t) * a.b + t * b.b, 1};
}

T3D_Color ScaleColorByMidLevel(const T3D_Color& a, const T3D_Color& b, float t)
{
    const float mid = (std::max({a.r, a.g, a.b}) + std::min({a.r, a.g, a.b})) / 2;
    return LerpColor(a, {b.r * mid, b.g * mid, b.b * mid, b.a}, t);
}

T3D_Color NormalizeColor(const T3D_Color& color)
{
    const float largest = std::max({color.r, color.g, color.b});
    if (!(largest > 0))
        return color;
    return {color.r / largest, color.g / largest, color.b / largest, color.a};
}
