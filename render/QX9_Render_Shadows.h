// Shadow-map fitting and colour helpers shared by the 3D scenes. The fit
// takes the points a camera must see into the sun's view, finds the smallest
// rectangle around them that is aligned with the direction of some pair of
// them, and builds the crop matrix that maps that rectangle onto the whole
// shadow map. The colour helpers convert between packed integers and the
// float colours shader constants take. Nothing here keeps state.
#pragma once

#include <cstdint>

#include "engine/QX9_Math.h"

// Red, green, blue, alpha; each nominally 0..1.
struct T3D_Color {
    float r = 0, g = 0, b = 0, a = 0;
};

// Up to 16 points numbered from 1 (Points[0] unused) and their count.
inline constexpr int32_t LIGHT_FIT_MAX_POINTS = 16;
struct TLightFitPoints {
    TVec3 Points[LIGHT_FIT_MAX_POINTS + 1];
    int32_t Count = 0;
};

// Lengthens the segment start-end along its own line to the foot of point.
void ExtendSegmentToPoint(const TVec2& point, TVec2& start, TVec2& end);

// The corners K1..K4 (K1 and K3 opposite) of the smallest pair-aligned
// rectangle around the points in the light's clip plane. Fewer than two
// distinct points give the rectangle (-1, -1)..(1, 1).
void FitLightFrustum(const TLightFitPoints& points, const TMatrix4& light, TVec2& k1, TVec2& k2, TVec2& k3, TVec2& k4);
// The crop matrix that maps the rectangle onto [-1, 1] x [-1, 1] (mirrored in
// x), and the rectangle's width and height.
void BuildLightMatrix(const TVec2& k1, const TVec2& k2, const TVec2& k3, const TVec2& k4, TMatrix4& crop, float& width,
                      float& height);
// The crop matrix for the slice of the camera's view between near and far.
void BuildShadowMatrix(const TMatrix4& camera, const TMatrix4& light, float zNear, float zFar, TMatrix4& crop,
                       float& width, float& height);
// From light clip space to shadow-map texture coordinates with the half-texel
// shift of a map of that size.
void BuildShadowTextureMatrix(const TMatrix4& matrix, float size, TMatrix4& out);

// Red, green and blue of a 16-bit RGB565 value; alpha is left as it was.
void ColorFromRGB565(uint32_t value, T3D_Color& color);
// 0xRRGGBB with alpha 1.
T3D_Color ColorFromRGB(uint32_t value);
uint32_t ColorToRGB(const T3D_Color& color);
// Per rgb channel (1 - t) a + t b; alpha 1.
T3D_Color LerpColor(const T3D_Color& a, const T3D_Color& b, float t);
// b scaled by the mid level of a, then LerpColor (a, scaled b, t).
T3D_Color ScaleColorByMidLevel(const T3D_Color& a, const T3D_Color& b, float t);
// Each rgb channel divided by the largest; black is returned as it is.
T3D_Color NormalizeColor(const T3D_Color& color);
