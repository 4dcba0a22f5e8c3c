// The battle's hex meshes: the field of 30 cells the arena shows under the
// armies, the 18 pick parts of one cell, the marker disc, the direction
// arrow and the map's route arrow, with the picture of one cell's outline.
//
// Arena frame: a cell's centre (x, z) of the battle rules stands at arena
// (z, 0, x - 1), as the field view puts its markers; cells are flat-sided
// towards the neighbours of their own row, so their corners point along the
// arena's x.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "battle/Battle_Field.h"
#include "tools/artgen/ArtLandPaint.h"
#include "tools/artgen/ArtLandShapes.h"

namespace ArtArena {

using namespace ArtLand;

// The distance between the centres of two neighbouring cells, and the
// radius of a cell to its corners.
constexpr float HexStep = 2.05f;
inline float HexRadius()
{
    return HexStep / std::sqrt(3.0f);
}

// The arena position of a cell's centre, on the ground.
inline TVec3 ArenaCellCentre(int32_t row, int32_t column)
{
    TVec3 p;
    GetHexCellPosition(row, column, p);
    return {p.z, 0, p.x - 1};
}

// The cells of the field, row by row from -3, column by column.
inline std::vector<THexCell> FieldCells()
{
    std::vector<THexCell> cells;
    for (int32_t row = HexRowMin; row <= HexRowMax; row++)
        for (int32_t column = HexColumnMin; column <= HexColumnMax; column++)
            if (IsUsableHexCell(row, column))
                cells.push_back({row, column});
    return cells;
}

// The angle in the arena's x-z plane (from +x towards +z) in which the
// neighbour of direction 1..6 lies.
inline float DirectionAngle(int32_t direction)
{
    THexCell next;
    StepHexCell(0, 3, direction, next);
    const TVec3 a = ArenaCellCentre(0, 3), b = ArenaCellCentre(next.Row, next.Column);
    return std::atan2(b.z - a.z, b.x - a.x);
}

// The sector direction of pick part i (0..17: "R", "C", "L" of sector 01,
// then of 02, ...), as the battle screen reads it.
inline constexpr int32_t HexSectorDirection[18] = {5, 5, 5, 6, 6, 6, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};

// A flat hexagon of corner radius r around (x, z) at height y, facing up,
// its texture spread over the square the hexagon fits in.
inline void FlatHexagon(TShape& s, float x, float z, float y, float r)
{
    const TVec3 centre = {x, y, z};
    for (int32_t i = 0; i < 6; i++) {
        const float a0 = TwoPi * static_cast<float>(i) / 6, a1 = TwoPi * static_cast<float>(i + 1) / 6;
        const float c0 = std::cos(a0), s0 = std::sin(a0), c1 = std::cos(a1), s1 = std::sin(a1);
        s.Tri(centre, {x + r * c0, y, z + r * s0}, {x + r * c1, y, z + r * s1}, 0.5f, 0.5f, 0.5f + c0 / 2,
              0.5f - s0 / 2, 0.5f + c1 / 2, 0.5f - s1 / 2, {x, y - 1, z});
    }
}

// The field: one hexagon per cell, a little inside it so the outlines of
// neighbours stand apart.
inline TShape HexBattlefieldShape()
{
    TShape s;
    for (const THexCell& cell : FieldCells()) {
        const TVec3 c = ArenaCellCentre(cell.Row, cell.Column);
        FlatHexagon(s, c.x, c.z, 0.05f, HexRadius() * 0.97f);
    }
    return s;
}

// The marker disc under a personage: 24 sides, the texture's square over it.
inline TShape HexCircleShape()
{
    TShape s;
    const float r = 1.3f;
    for (int32_t i = 0; i < 24; i++) {
        const float a0 = TwoPi * static_cast<float>(i) / 24, a1 = TwoPi * static_cast<float>(i + 1) / 24;
        const float c0 = std::cos(a0), s0 = std::sin(a0), c1 = std::cos(a1), s1 = std::sin(a1);
        s.Tri({0, 0, 0}, {r * c0, 0, r * s0}, {r * c1, 0, r * s1}, 0.5f, 0.5f, 0.5f + c0 / 2, 0.5f - s0 / 2,
              0.5f + c1 / 2, 0.5f - s1 / 2, {0, -1, 0});
    }
    return s;
}

// The loader scales the pick parts by this and stands them up from the
// x-y plane into the ground's by a quarter turn about x.
constexpr float HexPartScale = 0.8f;

// Pick part `third` (0 "R", 1 "C", 2 "L") of sector `sector` (1..6), in the
// x-y plane facing -z (up once turned), sized so that the loader's scale
// makes the 18 parts cover the cell. The sector is the wedge from the centre
// to the edge towards its direction's neighbour; "R" is the third of that
// edge next to the corner it shares with the direction before, "L" the one
// next to the direction after.
inline TShape HexPartShape(int32_t sector, int32_t third)
{
    const int32_t direction = HexSectorDirection[(sector - 1) * 3];
    const float r = HexRadius() / HexPartScale;
    const float a = DirectionAngle(direction), before = DirectionAngle((direction + 4) % 6 + 1);
    // Of the edge's two corners, the one nearer the direction before.
    auto gap = [](float x, float y) { return std::fabs(std::remainder(x - y, TwoPi)); };
    const float cornerA = a + TwoPi / 12, cornerB = a - TwoPi / 12;
    const float first = gap(cornerA, before) < gap(cornerB, before) ? cornerA : cornerB;
    const float second = first == cornerA ? cornerB : cornerA;
    const TVec3 p = {r * std::cos(first), r * std::sin(first), 0}, q = {r * std::cos(second), r * std::sin(second), 0};
    const TVec3 e0 = Lerp(p, q, static_cast<float>(third) / 3), e1 = Lerp(p, q, static_cast<float>(third + 1) / 3);
    TShape s;
    s.Tri({0, 0, 0}, e0, e1, 0.5f, 0.5f, 0.5f + e0.x / (2 * r), 0.5f - e0.y / (2 * r), 0.5f + e1.x / (2 * r),
          0.5f - e1.y / (2 * r), {0, 0, 1});
    return s;
}

// The arrow that shows the way a personage will turn: flat, pointing along
// +x from its foot at the origin, three units long (the loader shrinks it).
inline TShape FlatArrowShape()
{
    TShape s;
    const TRegion shaft = {0, 0.3f, 0.65f, 0.7f, 1}, head = {0.65f, 0, 1, 1, 1};
    s.Quad({0, 0, 0.3f}, {1.9f, 0, 0.3f}, {1.9f, 0, -0.3f}, {0, 0, -0.3f}, shaft, {1, -1, 0});
    s.Tri({1.9f, 0, 0.75f}, {3, 0, 0}, {1.9f, 0, -0.75f}, head.U0, head.V0, head.U1, 0.5f, head.U0, head.V1,
          {2.3f, -1, 0});
    return s;
}

// One chevron of the map's route, pointing along +z, flat; the route lays
// copies of it along the way.
inline TShape WayArrowShape()
{
    TShape s;
    const TRegion all;
    // Two slanted bars meeting at the tip.
    s.Quad({-0.45f, 0, -0.35f}, {-0.2f, 0, -0.35f}, {0.08f, 0, 0.35f}, {-0.12f, 0, 0.5f}, all, {0, -1, 0});
    s.Quad({0.2f, 0, -0.35f}, {0.45f, 0, -0.35f}, {0.12f, 0, 0.5f}, {-0.08f, 0, 0.35f}, all, {0, -1, 0});
    return s;
}

// The outline of one cell (corners left and right, as the field's are):
// white-gold, its alpha the strength of the line, a faint fill inside.
inline TPicture HexGridPicture(uint32_t size)
{
    TPicture p(size, size, false);
    const float half = static_cast<float>(size) / 2;
    for (uint32_t y = 0; y < size; y++)
        for (uint32_t x = 0; x < size; x++) {
            const float u = (static_cast<float>(x) + 0.5f - half) / half;
            const float v = (static_cast<float>(y) + 0.5f - half) / half;
            // The hexagon's own distance: 1 on its sides (inradius 0.866).
            const float au = std::fabs(u), av = std::fabs(v);
            const float d = std::max(av / 0.8660254f, (au * 0.8660254f + av * 0.5f) / 0.8660254f);
            const float line = std::exp(-std::pow((d - 0.93f) / 0.035f, 2.0f));
            const float glow = d < 0.93f ? 0.03f + 0.2f * std::pow(d / 0.93f, 12.0f) : 0;
            const float alpha = std::min(1.0f, line + glow);
            p.Put(x, y, {255, 236, 180}, 0, alpha);
        }
    return p;
}

} // namespace ArtArena
