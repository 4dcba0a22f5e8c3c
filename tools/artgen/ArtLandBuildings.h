// The landscape art's buildings: walls, towers, roofs, houses and the other
// parts they are made of, and the model of every building kind. Local frame:
// the building's origin on the ground, the gate towards -z.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "render/QX9_Render_Meshes.h"
#include "tools/artgen/ArtLandShapes.h"
#include "tools/artgen/ArtLandTextures.h"

namespace ArtLand {

// ---------------------------------------------------------------------------
// Building parts. Local frame: the building's origin on the ground, the gate
// towards -z. Walls start below the ground so that slopes do not show
// their feet.

constexpr float Foot = -0.8f;

// A door (or gate) on a face looking towards -z at z, centred at x.
inline void Door(TShape& s, float x, float z, float width, float height, TBuildCell cell = bcGate)
{
    s.Quad({x - width / 2, 0, z - 0.03f}, {x + width / 2, 0, z - 0.03f}, {x + width / 2, height, z - 0.03f},
           {x - width / 2, height, z - 0.03f}, Reg(cell), {x, height / 2, z + 1});
}

// A house w wide (x) and d deep (z), its walls wall high, a gable roof of
// height roof with its ridge along x, a door at the front.
inline TShape House(float w, float d, float wall, float roof, TBuildCell walls, TBuildCell roofing,
                    bool chimney = false)
{
    TShape s;
    const TRegion wr = Reg(walls), rr = Reg(roofing);
    s.Box(-w / 2, -d / 2, w / 2, d / 2, Foot, wall, wr);
    s.GableRoof(-w / 2 - 0.15f, -d / 2 - 0.2f, w / 2 + 0.15f, d / 2 + 0.2f, wall, wall + roof, true, rr, wr);
    Door(s, -w / 4, -d / 2, std::min(0.7f, w * 0.3f), std::min(1.1f, wall * 0.7f));
    if (chimney) {
        const TRegion stone = Reg(bcStone);
        s.Box(w / 4, d / 8, w / 4 + 0.35f, d / 8 + 0.35f, wall, wall + roof + 0.3f, stone, &stone);
    }
    return s;
}

// Merlons along the top of a wall from (x0, z0) to (x1, z1).
inline void Merlons(TShape& s, float x0, float z0, float x1, float z1, float y, float thick, const TRegion& r)
{
    const float length = std::hypot(x1 - x0, z1 - z0);
    const int32_t count = std::max(1, static_cast<int32_t>(length / 1.0f));
    for (int32_t i = 0; i < count; i++) {
        const float t = (static_cast<float>(i) + 0.5f) / static_cast<float>(count);
        const float cx = x0 + (x1 - x0) * t, cz = z0 + (z1 - z0) * t;
        const bool alongX = std::fabs(x1 - x0) > std::fabs(z1 - z0);
        const float hx = alongX ? 0.25f : thick / 2, hz = alongX ? thick / 2 : 0.25f;
        s.Box(cx - hx, cz - hz, cx + hx, cz + hz, y, y + 0.45f, r, &r);
    }
}

// A straight wall along x or z, thick wide, high high, with merlons when
// crenellated.
inline void WallRun(TShape& s, float x0, float z0, float x1, float z1, float thick, float high, const TRegion& r,
                    bool crenellated)
{
    const bool alongX = std::fabs(x1 - x0) > std::fabs(z1 - z0);
    const float hx = alongX ? 0 : thick / 2, hz = alongX ? thick / 2 : 0;
    s.Box(std::min(x0, x1) - hx, std::min(z0, z1) - hz, std::max(x0, x1) + hx, std::max(z0, z1) + hz, Foot, high, r,
          &r);
    if (crenellated)
        Merlons(s, x0, z0, x1, z1, high, thick, r);
}

// A round tower: eight sides, a cone roof when roof > 0, else merlons.
inline void Tower(TShape& s, float x, float z, float radius, float high, float roof, TBuildCell walls,
                  TBuildCell roofing)
{
    const TRegion wr = Reg(walls);
    s.Prism(x, z, radius, Foot, high, 8, wr, &wr, 0.3927f);
    if (roof > 0) {
        s.Cone(x, z, radius * 1.25f, high, high + roof, 8, Reg(roofing), 0.3927f);
        return;
    }
    for (int32_t i = 0; i < 8; i += 2) {
        const float a = 0.3927f + TwoPi * static_cast<float>(i) / 8;
        const float mx = x + radius * 0.8f * std::cos(a), mz = z + radius * 0.8f * std::sin(a);
        s.Box(mx - 0.22f, mz - 0.22f, mx + 0.22f, mz + 0.22f, high, high + 0.45f, wr, &wr);
    }
}

// The ring of walls of a square enclosure of half size h with a gap of
// width gap in the front wall, towers at the corners.
struct TEnclosure {
    float Half = 5, Gap = 2, Thick = 0.8f, High = 2.5f;
    TBuildCell Walls = bcStone;
    bool Crenellated = true;
    float TowerRadius = 1, TowerHigh = 3.5f, TowerRoof = 2;
    TBuildCell Roofing = bcSlate;
    bool FrontTowersOnly = false;
};

inline void Enclosure(TShape& s, const TEnclosure& e)
{
    const float h = e.Half;
    const TRegion r = Reg(e.Walls);
    WallRun(s, -h, h, h, h, e.Thick, e.High, r, e.Crenellated);
    WallRun(s, -h, -h, -h, h, e.Thick, e.High, r, e.Crenellated);
    WallRun(s, h, -h, h, h, e.Thick, e.High, r, e.Crenellated);
    WallRun(s, -h, -h, -e.Gap / 2, -h, e.Thick, e.High, r, e.Crenellated);
    WallRun(s, e.Gap / 2, -h, h, -h, e.Thick, e.High, r, e.Crenellated);
    if (e.TowerRadius > 0)
        for (int32_t corner = 0; corner < 4; corner++) {
            if (e.FrontTowersOnly && corner >= 2)
                continue;
            const float x = corner % 2 == 0 ? -h : h, z = corner < 2 ? -h : h;
            Tower(s, x, z, e.TowerRadius, e.TowerHigh, e.TowerRoof, e.Walls, e.Roofing);
        }
}

// A ring of upright logs without towers, open for a gate at the front.
inline void Palisade(TShape& s, float half, float thick, float high)
{
    TEnclosure e;
    e.Half = half;
    e.Gap = 2.2f;
    e.Thick = thick;
    e.High = high;
    e.Walls = bcLogs;
    e.Crenellated = false;
    e.TowerRadius = 0;
    Enclosure(s, e);
}

// A gatehouse over the gap of an enclosure's front wall.
inline void Gatehouse(TShape& s, float half, float gap, float high, TBuildCell walls)
{
    const TRegion r = Reg(walls);
    s.Box(-gap / 2 - 0.7f, -half - 0.9f, gap / 2 + 0.7f, -half + 0.9f, Foot, high, r, &r);
    Merlons(s, -gap / 2 - 0.7f, -half - 0.9f, gap / 2 + 0.7f, -half - 0.9f, high, 0.4f, r);
    Door(s, 0, -half - 0.9f, gap, std::min(high * 0.75f, 2.4f));
}

// A keep: a tall block with a pyramid roof, or merlons and corner turrets.
inline void Keep(TShape& s, float x, float z, float w, float high, float roof, TBuildCell walls, TBuildCell roofing)
{
    const TRegion wr = Reg(walls);
    s.Box(x - w / 2, z - w / 2, x + w / 2, z + w / 2, Foot, high, Reg(bcSlitStone), &wr);
    if (roof > 0) {
        s.Pyramid(x - w / 2 - 0.2f, z - w / 2 - 0.2f, x + w / 2 + 0.2f, z + w / 2 + 0.2f, high, high + roof,
                  Reg(roofing));
    } else {
        Merlons(s, x - w / 2, z - w / 2 + 0.2f, x + w / 2, z - w / 2 + 0.2f, high, 0.4f, wr);
        Merlons(s, x - w / 2, z + w / 2 - 0.2f, x + w / 2, z + w / 2 - 0.2f, high, 0.4f, wr);
        for (int32_t corner = 0; corner < 4; corner++)
            Tower(s, x + (corner % 2 == 0 ? -w / 2 : w / 2), z + (corner < 2 ? -w / 2 : w / 2), w * 0.16f, high + 1.2f,
                  1.2f, walls, roofing);
    }
    Door(s, x, z - w / 2, 0.9f, 1.4f);
}

// A church: a nave along z with a gable roof and a tower with a spire in
// front, its door towards -z.
inline void Church(TShape& s, float x, float z, float scale, TBuildCell walls, TBuildCell roofing, TBuildCell spire)
{
    const TRegion wr = Reg(walls);
    const float w = 2.6f * scale, length = 4.6f * scale, high = 3 * scale;
    s.Box(x - w / 2, z - length / 2, x + w / 2, z + length / 2, Foot, high, wr);
    s.GableRoof(x - w / 2 - 0.2f, z - length / 2, x + w / 2 + 0.2f, z + length / 2 + 0.2f, high, high + 1.8f * scale,
                false, Reg(roofing), wr);
    const float t = 1.6f * scale, tz = z - length / 2 - t / 2;
    s.Box(x - t / 2, tz - t / 2, x + t / 2, tz + t / 2, Foot, high + 2.2f * scale, Reg(bcSlitStone), &wr);
    s.Pyramid(x - t / 2 - 0.1f, tz - t / 2 - 0.1f, x + t / 2 + 0.1f, tz + t / 2 + 0.1f, high + 2.2f * scale,
              high + 5 * scale, Reg(spire));
    Door(s, x, tz - t / 2, 0.7f * scale, 1.3f * scale);
}

// A well: a stone ring under a small roof on two posts.
inline void Well(TShape& s, float x, float z)
{
    const TRegion stone = Reg(bcStone), wood = Reg(bcPlanks);
    s.Prism(x, z, 0.45f, Foot, 0.5f, 8, stone, &wood);
    s.Box(x - 0.45f, z - 0.05f, x - 0.37f, z + 0.05f, 0.5f, 1.5f, wood);
    s.Box(x + 0.37f, z - 0.05f, x + 0.45f, z + 0.05f, 0.5f, 1.5f, wood);
    s.GableRoof(x - 0.6f, z - 0.4f, x + 0.6f, z + 0.4f, 1.4f, 1.8f, true, Reg(bcRedTiles), wood);
}

// A fence of posts and two rails along a straight run.
inline void Fence(TShape& s, float x0, float z0, float x1, float z1)
{
    const TRegion wood = Reg(bcPlanks);
    const float length = std::hypot(x1 - x0, z1 - z0);
    const int32_t posts = std::max(2, static_cast<int32_t>(length / 1.2f) + 1);
    for (int32_t i = 0; i < posts; i++) {
        const float t = static_cast<float>(i) / static_cast<float>(posts - 1);
        const float x = x0 + (x1 - x0) * t, z = z0 + (z1 - z0) * t;
        s.Box(x - 0.06f, z - 0.06f, x + 0.06f, z + 0.06f, -0.3f, 0.8f, wood, &wood);
    }
    const bool alongX = std::fabs(x1 - x0) > std::fabs(z1 - z0);
    for (float y : {0.35f, 0.65f}) {
        if (alongX)
            s.Box(std::min(x0, x1), z0 - 0.03f, std::max(x0, x1), z0 + 0.03f, y, y + 0.08f, wood, &wood);
        else
            s.Box(x0 - 0.03f, std::min(z0, z1), x0 + 0.03f, std::max(z0, z1), y, y + 0.08f, wood, &wood);
    }
}

// A tent: a cloth cone on a short wall of the same cloth.
inline void Tent(TShape& s, float x, float z, float radius, float high, TBuildCell cloth)
{
    const TRegion c = Reg(cloth);
    s.Prism(x, z, radius, -0.2f, 0.4f, 6, c);
    s.Cone(x, z, radius * 1.05f, 0.4f, high, 6, c);
}

// A banner: a pole and a cloth quad.
inline void Banner(TShape& s, float x, float z, float high, TBuildCell cloth)
{
    const TRegion wood = Reg(bcPlanks);
    s.Box(x - 0.06f, z - 0.06f, x + 0.06f, z + 0.06f, Foot, high, wood, &wood);
    s.Quad({x + 0.06f, high - 0.9f, z}, {x + 1.2f, high - 0.9f, z}, {x + 1.2f, high - 0.1f, z},
           {x + 0.06f, high - 0.1f, z}, Reg(cloth), {x + 0.6f, high - 0.5f, z + 1});
    s.Quad({x + 0.06f, high - 0.9f, z}, {x + 1.2f, high - 0.9f, z}, {x + 1.2f, high - 0.1f, z},
           {x + 0.06f, high - 0.1f, z}, Reg(cloth), {x + 0.6f, high - 0.5f, z - 1});
}

// A market stall: four posts, a counter and a sloping striped awning.
inline void Stall(TShape& s, float x, float z, float angle, TBuildCell awning)
{
    TShape stall;
    const TRegion wood = Reg(bcPlanks);
    for (int32_t corner = 0; corner < 4; corner++) {
        const float px = corner % 2 == 0 ? -0.8f : 0.8f, pz = corner < 2 ? -0.5f : 0.5f;
        stall.Box(px - 0.05f, pz - 0.05f, px + 0.05f, pz + 0.05f, -0.3f, corner < 2 ? 1.5f : 1.8f, wood);
    }
    stall.Box(-0.8f, -0.5f, 0.8f, -0.2f, -0.3f, 0.8f, wood, &wood);
    const TRegion cloth = Reg(awning);
    stall.Quad({-0.95f, 1.45f, -0.7f}, {0.95f, 1.45f, -0.7f}, {0.95f, 1.85f, 0.6f}, {-0.95f, 1.85f, 0.6f}, cloth,
               {0, 0, 0});
    stall.Quad({-0.95f, 1.45f, -0.7f}, {0.95f, 1.45f, -0.7f}, {0.95f, 1.85f, 0.6f}, {-0.95f, 1.85f, 0.6f}, cloth,
               {0, 4, 0});
    s.Append(stall, x, z, angle);
}

// A house of a village by its number: size, turn and place around a green.
struct TPlot {
    float X, Z, Angle, W, D;
};

inline std::vector<TPlot> VillagePlots(int32_t count, float radius, uint32_t seed)
{
    std::vector<TPlot> plots;
    for (int32_t i = 0; i < count; i++) {
        const float a =
            TwoPi * (static_cast<float>(i) + 0.5f + 0.3f * (Hash01(i, 4, seed) - 0.5f)) / static_cast<float>(count) +
            0.4f;
        const float r = radius * (0.8f + 0.2f * Hash01(i, 1, seed));
        const float w = 1.8f + 0.8f * Hash01(i, 2, seed), d = 1.5f + 0.5f * Hash01(i, 3, seed);
        // Each house turns its door towards the green, give or take.
        const float turn = a - 1.5708f + 0.5f * (Hash01(i, 5, seed) - 0.5f);
        plots.push_back({r * std::cos(a), r * std::sin(a), turn, w, d});
    }
    return plots;
}

// ---------------------------------------------------------------------------
// The building models

struct TBuildingArt {
    TShape Visible;
    // The footprint the map blocks, and whether an army may go in: the
    // "Enter" part runs from before the gate to the middle.
    float Half = 1, Depth = 1;
    bool Enterable = true;
    float EnterWidth = 2.4f;
};

inline TBuildingArt Castle(float half, float wallHigh, float towerRadius, TBuildCell roofing, bool big)
{
    TBuildingArt b;
    b.Half = b.Depth = half + towerRadius;
    TEnclosure e;
    e.Half = half;
    e.Gap = 2.2f;
    e.Thick = big ? 1.0f : 0.8f;
    e.High = wallHigh;
    e.TowerRadius = towerRadius;
    e.TowerHigh = wallHigh + 1.6f;
    e.TowerRoof = towerRadius * 1.8f;
    e.Roofing = roofing;
    Enclosure(b.Visible, e);
    Gatehouse(b.Visible, half, e.Gap, wallHigh + 1.2f, bcStone);
    Keep(b.Visible, 0, half * 0.3f, half * (big ? 0.8f : 0.7f), wallHigh * (big ? 2.6f : 2.2f), big ? 0 : half * 0.4f,
         bcStone, roofing);
    const TRegion turf = Reg(bcTurf);
    b.Visible.Flat(-half + 0.5f, -half + 0.5f, half - 0.5f, half - 0.5f, 0.05f, turf);
    Banner(b.Visible, -half * 0.5f, half * 0.3f, wallHigh * 2.6f, big ? bcStripes : bcRedCloth);
    return b;
}

// A ruined castle: walls broken to stumps in places, towers without roofs.
inline TBuildingArt RuinedCastle(float half, float wallHigh, uint32_t seed)
{
    TBuildingArt b;
    b.Half = b.Depth = half + 1;
    b.Enterable = false;
    const TRegion r = Reg(bcRuinStone);
    // Each side in four pieces of broken heights; some are gone.
    const float corners[4][4] = {
        {-half, half, half, half}, {-half, -half, -half, half}, {half, -half, half, half}, {-half, -half, half, -half}};
    for (int32_t side = 0; side < 4; side++)
        for (int32_t piece = 0; piece < 4; piece++) {
            const float h = Hash01(side, piece, seed);
            if (h < 0.2f)
                continue;
            const float t0 = static_cast<float>(piece) / 4, t1 = static_cast<float>(piece + 1) / 4;
            const float* c = corners[side];
            WallRun(b.Visible, c[0] + (c[2] - c[0]) * t0, c[1] + (c[3] - c[1]) * t0, c[0] + (c[2] - c[0]) * t1,
                    c[1] + (c[3] - c[1]) * t1, 0.8f, wallHigh * (0.3f + 0.7f * h), r, h > 0.7f);
        }
    for (int32_t corner = 0; corner < 4; corner++)
        Tower(b.Visible, corner % 2 == 0 ? -half : half, corner < 2 ? -half : half, 1.1f,
              wallHigh * (0.6f + 0.8f * Hash01(corner, 9, seed)), 0, bcRuinStone, bcRuinStone);
    // The keep's shell: four walls broken to different heights.
    const float k0 = -half * 0.35f, k1 = half * 0.25f, kz0 = 0, kz1 = half * 0.6f;
    WallRun(b.Visible, k0, kz0, k1, kz0, 0.6f, wallHigh * 1.2f, r, false);
    WallRun(b.Visible, k0, kz1, k1, kz1, 0.6f, wallHigh * 1.7f, r, true);
    WallRun(b.Visible, k0, kz0, k0, kz1, 0.6f, wallHigh * 1.5f, r, false);
    WallRun(b.Visible, k1, kz0, k1, kz0 + (kz1 - kz0) * 0.4f, 0.6f, wallHigh * 0.7f, r, false);
    for (int32_t i = 0; i < 6; i++) {
        const float x = (Hash01(i, 20, seed) - 0.5f) * half * 1.6f, z = (Hash01(i, 21, seed) - 0.5f) * half * 1.6f;
        b.Visible.Box(x - 0.4f, z - 0.3f, x + 0.4f, z + 0.3f, -0.3f, 0.35f, r, &r);
    }
    return b;
}

inline TBuildingArt Village(int32_t houses, float radius, uint32_t seed, bool well)
{
    TBuildingArt b;
    b.Half = b.Depth = radius + 1.8f;
    for (const TPlot& p : VillagePlots(houses, radius, seed))
        b.Visible.Append(House(p.W, p.D, 1.4f, 1.2f, bcTimber, bcThatch, p.W > 2.3f), p.X, p.Z, p.Angle);
    if (well)
        Well(b.Visible, 0, 0.5f);
    Fence(b.Visible, -radius - 1.5f, radius + 1.5f, radius + 1.5f, radius + 1.5f);
    return b;
}

// An abandoned village: houses with half of each roof fallen in; a ruined
// (burnt) one: charred stumps of walls and no roofs.
inline TBuildingArt DeadVillage(int32_t houses, float radius, uint32_t seed, bool burnt)
{
    TBuildingArt b;
    b.Half = b.Depth = radius + 1.6f;
    b.Enterable = false;
    for (const TPlot& p : VillagePlots(houses, radius, seed)) {
        TShape house;
        const float w = p.W, d = p.D;
        if (burnt) {
            const TRegion c = Reg(bcCharred);
            house.Box(-w / 2, -d / 2, w / 2, -d / 2 + 0.15f, Foot, 0.9f, c, &c);
            house.Box(-w / 2, d / 2 - 0.15f, w / 2, d / 2, Foot, 0.5f, c, &c);
            house.Box(-w / 2, -d / 2, -w / 2 + 0.15f, d / 2, Foot, 1.2f, c, &c);
            house.Box(w / 2 - 0.15f, -d / 2, w / 2, d / 2, Foot, 0.7f, c, &c);
            house.Box(-0.3f, -0.2f, 0.5f, 0.3f, -0.3f, 0.25f, Reg(bcRuinStone));
        } else {
            const TRegion planks = Reg(bcPlanks), thatch = Reg(bcThatch);
            house.Box(-w / 2, -d / 2, w / 2, d / 2, Foot, 1.3f, planks);
            house.Quad({w / 2 + 0.1f, 1.3f, -d / 2 - 0.2f}, {-w / 2 - 0.1f, 1.3f, -d / 2 - 0.2f},
                       {-w / 2 - 0.1f, 2.4f, 0}, {w / 2 + 0.1f, 2.4f, 0}, thatch, {0, 0, 0});
            house.GableEnd({-w / 2, 1.3f, -d / 2}, {-w / 2, 1.3f, d / 2}, {-w / 2, 2.4f, 0}, planks, {0, 1.3f, 0});
            Door(house, 0, -d / 2, 0.6f, 0.9f, bcCharred);
        }
        b.Visible.Append(house, p.X, p.Z, p.Angle);
    }
    return b;
}

inline TBuildingArt Town(bool second)
{
    TBuildingArt b;
    const float half = 8;
    b.Half = b.Depth = half + 1.2f;
    TEnclosure e;
    e.Half = half;
    e.Gap = 2.4f;
    e.High = 2.2f;
    e.Thick = 0.7f;
    e.TowerRadius = 1.1f;
    e.TowerHigh = 3.6f;
    e.TowerRoof = 2.2f;
    e.Roofing = second ? bcSlate : bcRedTiles;
    Enclosure(b.Visible, e);
    Gatehouse(b.Visible, half, e.Gap, 3.4f, bcStone);
    // Streets of houses left and right of the way from the gate.
    const TBuildCell roofs = second ? bcSlate : bcRedTiles;
    for (int32_t i = 0; i < 8; i++) {
        const float side = i % 2 == 0 ? -1.0f : 1.0f;
        const float z = -half + 2.6f + static_cast<float>(i / 2) * 3.2f;
        const float w = 2.4f + 0.6f * Hash01(i, second ? 7 : 3, 44), d = 2.0f;
        const float high = 1.8f + (second ? 0.9f : 0.5f) * Hash01(i, 5, 44);
        if (i == 7 && !second)
            continue; // the church stands there
        b.Visible.Append(House(w, d, high, 1.4f, bcTimber, roofs, i % 3 == 0), side * 3.6f, z, side * 1.5708f);
    }
    if (second) {
        // A town hall with a gilded roof and a bell tower.
        b.Visible.Box(-2, 3.2f, 2, 6.4f, Foot, 3.6f, Reg(bcMarble));
        b.Visible.GableRoof(-2.2f, 3, 2.2f, 6.6f, 3.6f, 5.2f, true, Reg(bcSlate), Reg(bcMarble));
        Tower(b.Visible, 0, 4.8f, 0.8f, 6.4f, 2.6f, bcMarble, bcGold);
        Door(b.Visible, 0, 3.2f, 1.0f, 1.5f);
        Well(b.Visible, 0, 0);
    } else {
        Church(b.Visible, 3.6f, 4.8f, 0.8f, bcStone, bcRedTiles, bcSlate);
        Well(b.Visible, -1.2f, 1.5f);
        Stall(b.Visible, 0.4f, -1.8f, 0, bcStripes);
    }
    return b;
}

inline TBuildingArt Monastery()
{
    TBuildingArt b;
    b.Half = b.Depth = 5.4f;
    Church(b.Visible, -2, 0.4f, 1.0f, bcMarble, bcRedTiles, bcRedTiles);
    // The cloister: low ranges around a green on the right.
    const TRegion wall = Reg(bcMarble), roof = Reg(bcRedTiles);
    const float x0 = 0.2f, x1 = 5, z0 = -3.5f, z1 = 4.5f;
    b.Visible.Box(x0, z1 - 1.4f, x1, z1, Foot, 1.8f, wall);
    b.Visible.GableRoof(x0 - 0.1f, z1 - 1.5f, x1 + 0.1f, z1 + 0.1f, 1.8f, 2.6f, true, roof, wall);
    b.Visible.Box(x1 - 1.4f, z0, x1, z1 - 1.4f, Foot, 1.8f, wall);
    b.Visible.GableRoof(x1 - 1.5f, z0 - 0.1f, x1 + 0.1f, z1 - 1.4f, 1.8f, 2.6f, false, roof, wall);
    b.Visible.Box(x0, z0, x1 - 1.4f, z0 + 1.4f, Foot, 1.8f, wall);
    b.Visible.GableRoof(x0 - 0.1f, z0 - 0.1f, x1 - 1.4f, z0 + 1.5f, 1.8f, 2.6f, true, roof, wall);
    b.Visible.Flat(x0, z0 + 1.4f, x1 - 1.4f, z1 - 1.4f, 0.05f, Reg(bcTurf));
    Well(b.Visible, (x0 + x1 - 1.4f) / 2, (z0 + z1) / 2);
    Door(b.Visible, 2, z0, 0.8f, 1.2f);
    return b;
}

inline TBuildingArt Cathedral()
{
    TBuildingArt b;
    b.Half = 4.4f;
    b.Depth = 6;
    const TRegion marble = Reg(bcMarble);
    b.Visible.Box(-2.2f, -3, 2.2f, 5, Foot, 5, marble);
    b.Visible.GableRoof(-2.4f, -3, 2.4f, 5.2f, 5, 8, false, Reg(bcSlate), marble);
    b.Visible.Box(-4, 1, 4, 3, Foot, 4.4f, marble);
    b.Visible.GableRoof(-4.2f, 0.8f, 4.2f, 3.2f, 4.4f, 7, true, Reg(bcSlate), marble);
    for (float x : {-2.2f, 2.2f}) {
        b.Visible.Box(x - 0.9f, -4.8f, x + 0.9f, -3, Foot, 8, Reg(bcSlitStone), &marble);
        b.Visible.Pyramid(x - 1, -4.9f, x + 1, -2.9f, 8, 12, Reg(bcGold));
    }
    b.Visible.Box(-1.3f, -4.8f, 1.3f, -3, Foot, 5.6f, marble, &marble);
    Door(b.Visible, 0, -4.8f, 1.4f, 2.4f);
    b.Visible.Pyramid(-0.6f, 1.4f, 0.6f, 2.6f, 7.8f, 11, Reg(bcGold));
    return b;
}

inline TBuildingArt Chapel()
{
    TBuildingArt b;
    b.Half = 1.6f;
    b.Depth = 2.2f;
    const TRegion wall = Reg(bcStone);
    b.Visible.Box(-1.1f, -1.6f, 1.1f, 1.6f, Foot, 2, wall);
    b.Visible.GableRoof(-1.3f, -1.8f, 1.3f, 1.8f, 2, 3.4f, false, Reg(bcRedTiles), wall);
    b.Visible.Box(-0.3f, -1.5f, 0.3f, -0.9f, 3, 3.9f, wall, &wall);
    b.Visible.Pyramid(-0.4f, -1.6f, 0.4f, -0.8f, 3.9f, 4.8f, Reg(bcSlate));
    Door(b.Visible, 0, -1.6f, 0.6f, 1.1f);
    return b;
}

inline TBuildingArt Tavern()
{
    TBuildingArt b;
    b.Half = 1.9f;
    b.Depth = 1.6f;
    b.Visible = House(3.4f, 2.6f, 2.6f, 1.5f, bcTimber, bcRedTiles, true);
    // A sign on a post by the door.
    const TRegion wood = Reg(bcPlanks);
    b.Visible.Box(1.2f, -1.9f, 1.3f, -1.8f, -0.3f, 2.2f, wood, &wood);
    b.Visible.Box(0.7f, -1.88f, 1.2f, -1.82f, 1.5f, 2.0f, Reg(bcGold), &wood);
    b.Visible.Box(-1.7f, -2.3f, -0.9f, -1.9f, -0.3f, 0.5f, wood, &wood); // a bench
    return b;
}

inline TBuildingArt Market()
{
    TBuildingArt b;
    b.Half = b.Depth = 3.2f;
    Well(b.Visible, 0, 0.4f);
    const float places[4][3] = {{-2, -1.6f, 0}, {2, -1.6f, 0}, {-2, 2.2f, 3.1416f}, {2, 2.2f, 3.1416f}};
    for (int32_t i = 0; i < 4; i++)
        Stall(b.Visible, places[i][0], places[i][1], places[i][2], i % 2 == 0 ? bcStripes : bcRedCloth);
    const TRegion crates = Reg(bcPlanks);
    b.Visible.Box(-3, 0.2f, -2.2f, 1.0f, -0.3f, 0.6f, crates, &crates);
    return b;
}

inline TBuildingArt Port()
{
    TBuildingArt b;
    b.Half = 3.6f;
    b.Depth = 3.2f;
    b.Visible.Append(House(4, 2.6f, 2.2f, 1.4f, bcPlanks, bcSlate), -1, -1);
    const TRegion wood = Reg(bcPlanks), logs = Reg(bcLogs);
    // The pier runs out behind, over the water.
    b.Visible.Box(0.8f, 0.4f, 2.6f, 7, 0.15f, 0.35f, wood, &wood);
    for (float z : {1.5f, 3.5f, 5.5f})
        for (float x : {0.9f, 2.5f})
            b.Visible.Box(x - 0.1f, z - 0.1f, x + 0.1f, z + 0.1f, -2, 0.6f, logs, &logs);
    // A crane: a mast and a jib.
    b.Visible.Box(2.2f, 0.5f, 2.45f, 0.75f, -0.3f, 3.6f, logs, &logs);
    b.Visible.Box(1.2f, 0.55f, 3.4f, 0.7f, 3.2f, 3.4f, logs, &logs);
    return b;
}

inline TBuildingArt Fort()
{
    TBuildingArt b;
    b.Half = b.Depth = 4.6f;
    Palisade(b.Visible, 4, 0.5f, 2.2f);
    const TRegion logs = Reg(bcLogs), planks = Reg(bcPlanks);
    // Two watchtowers on legs at the gate and a barracks inside.
    for (float x : {-1.8f, 1.8f}) {
        b.Visible.Box(x - 0.6f, -4.6f, x + 0.6f, -3.4f, Foot, 3.4f, logs, &planks);
        b.Visible.Pyramid(x - 0.8f, -4.8f, x + 0.8f, -3.2f, 3.4f, 4.6f, Reg(bcThatch));
    }
    b.Visible.Append(House(4, 2.2f, 1.6f, 1.2f, bcPlanks, bcThatch, true), 0, 1.8f);
    Banner(b.Visible, 2.6f, -1, 4, bcRedCloth);
    return b;
}

inline TBuildingArt Military()
{
    TBuildingArt b;
    b.Half = b.Depth = 4.4f;
    Palisade(b.Visible, 3.8f, 0.4f, 1.4f);
    const float tents[4][2] = {{-2, -1.2f}, {2, -1.2f}, {-2, 2}, {2, 2}};
    for (int32_t i = 0; i < 4; i++)
        Tent(b.Visible, tents[i][0], tents[i][1], 1.0f, 2.2f, i % 2 == 0 ? bcRedCloth : bcStripes);
    Banner(b.Visible, 0, 0.6f, 4.2f, bcRedCloth);
    return b;
}

inline TBuildingArt Cemetery()
{
    TBuildingArt b;
    b.Half = b.Depth = 3.4f;
    b.Enterable = false;
    const float h = 3.2f;
    Fence(b.Visible, -h, h, h, h);
    Fence(b.Visible, -h, -h, -h, h);
    Fence(b.Visible, h, -h, h, h);
    Fence(b.Visible, -h, -h, -0.8f, -h);
    Fence(b.Visible, 0.8f, -h, h, -h);
    const TRegion marble = Reg(bcMarble), turf = Reg(bcTurf);
    for (int32_t row = 0; row < 3; row++)
        for (int32_t column = 0; column < 4; column++) {
            const float x = -2.1f + 1.4f * static_cast<float>(column), z = -1.2f + 1.5f * static_cast<float>(row);
            b.Visible.Pyramid(x - 0.35f, z - 0.6f, x + 0.35f, z + 0.2f, -0.1f, 0.22f, turf);
            if ((row + column) % 2 == 0) {
                b.Visible.Box(x - 0.25f, z + 0.2f, x + 0.25f, z + 0.32f, -0.3f, 0.7f, marble, &marble);
            } else {
                b.Visible.Box(x - 0.05f, z + 0.2f, x + 0.05f, z + 0.3f, -0.3f, 0.95f, marble, &marble);
                b.Visible.Box(x - 0.25f, z + 0.2f, x + 0.25f, z + 0.3f, 0.6f, 0.7f, marble, &marble);
            }
        }
    return b;
}

inline TBuildingArt Altar()
{
    TBuildingArt b;
    b.Half = b.Depth = 2.9f;
    const TRegion marble = Reg(bcMarble), stone = Reg(bcRuinStone);
    b.Visible.Box(-1.6f, -1.6f, 1.6f, 1.6f, Foot, 0.3f, marble, &marble);
    const TRegion gold = Reg(bcGold);
    b.Visible.Box(-0.6f, -0.3f, 0.6f, 0.3f, 0.3f, 1.1f, marble, &gold);
    for (int32_t i = 0; i < 7; i++) {
        const float a = TwoPi * static_cast<float>(i) / 7 + 1.5708f / 7;
        const float x = 2.4f * std::cos(a), z = 2.4f * std::sin(a);
        if (z < -2 && std::fabs(x) < 1)
            continue; // the way in
        TShape menhir;
        menhir.Box(-0.25f, -0.18f, 0.25f, 0.18f, Foot, 1.7f + 0.3f * static_cast<float>(i % 3), stone, &stone);
        b.Visible.Append(menhir, x, z, -a);
    }
    return b;
}

// A ruined tower: a stump with a broken crown and fallen stones.
inline TBuildingArt RuinTower()
{
    TBuildingArt b;
    b.Half = b.Depth = 2.2f;
    b.Enterable = false;
    const TRegion r = Reg(bcRuinStone);
    b.Visible.Prism(0, 0, 1.4f, Foot, 3.2f, 8, r, &r, 0.3927f);
    for (int32_t i = 0; i < 8; i += 3) {
        const float a = 0.3927f + TwoPi * static_cast<float>(i) / 8;
        const float x = 1.1f * std::cos(a), z = 1.1f * std::sin(a);
        b.Visible.Box(x - 0.35f, z - 0.35f, x + 0.35f, z + 0.35f, 3.2f, 4.4f + 0.4f * static_cast<float>(i % 2), r, &r);
    }
    for (int32_t i = 0; i < 4; i++) {
        const float x = -1.8f + 1.2f * static_cast<float>(i), z = -1.6f + (i % 2 == 0 ? 0 : 3.0f);
        b.Visible.Box(x - 0.3f, z - 0.25f, x + 0.3f, z + 0.25f, -0.3f, 0.3f, r, &r);
    }
    return b;
}

inline TBuildingArt RuinChurch()
{
    TBuildingArt b;
    b.Half = 1.8f;
    b.Depth = 3.8f;
    b.Enterable = false;
    const TRegion r = Reg(bcRuinStone);
    WallRun(b.Visible, -1.3f, -2.3f, -1.3f, 2.3f, 0.3f, 2.2f, r, false);
    WallRun(b.Visible, 1.3f, -2.3f, 1.3f, 0.6f, 0.3f, 1.6f, r, false);
    WallRun(b.Visible, -1.3f, 2.3f, 1.3f, 2.3f, 0.3f, 2.8f, r, false);
    b.Visible.GableEnd({-1.3f, 2.8f, 2.3f}, {1.3f, 2.8f, 2.3f}, {0, 4, 2.3f}, r, {0, 3, 3});
    b.Visible.GableEnd({-1.3f, 2.8f, 2.3f}, {1.3f, 2.8f, 2.3f}, {0, 4, 2.3f}, r, {0, 3, 1});
    b.Visible.Box(-0.8f, -3.7f, 0.8f, -2.3f, Foot, 3.6f, r, &r);
    b.Visible.Box(-0.8f, -3.7f, -0.3f, -3.2f, 3.6f, 4.3f, r, &r);
    return b;
}

// A stone bridge along z: its deck rises from the banks to the middle, its
// piers stand in the water, its abutments hold the banks.
constexpr float BridgeHalfLength = 6;
constexpr float BridgeHalfWidth = 1.2f;

inline float BridgeDeck(float z)
{
    const float t = z / BridgeHalfLength;
    return 0.15f + 0.55f * (1 - t * t);
}

inline TBuildingArt Bridge()
{
    TBuildingArt b;
    b.Half = BridgeHalfWidth + 0.8f;
    b.Depth = BridgeHalfLength + 1;
    const TRegion stone = Reg(bcStone), planks = Reg(bcPlanks);
    constexpr int32_t steps = 8;
    for (int32_t i = 0; i < steps; i++) {
        const float z0 = -BridgeHalfLength + 2 * BridgeHalfLength * static_cast<float>(i) / steps;
        const float z1 = -BridgeHalfLength + 2 * BridgeHalfLength * static_cast<float>(i + 1) / steps;
        const float y0 = BridgeDeck(z0), y1 = BridgeDeck(z1);
        const TVec3 below = {0, -5, (z0 + z1) / 2};
        b.Visible.Quad({-BridgeHalfWidth, y0, z0}, {BridgeHalfWidth, y0, z0}, {BridgeHalfWidth, y1, z1},
                       {-BridgeHalfWidth, y1, z1}, planks, below);
        for (float side : {-1.0f, 1.0f}) {
            const float x = side * (BridgeHalfWidth + 0.1f);
            // The parapet and the deck's side face down to the arch.
            TShape parapet;
            parapet.Quad({x, y0 - 0.6f, z0}, {x, y1 - 0.6f, z1}, {x, y1 + 0.5f, z1}, {x, y0 + 0.5f, z0}, stone,
                         {0, y0, (z0 + z1) / 2});
            parapet.Quad({x - side * 0.2f, y0, z0}, {x - side * 0.2f, y1, z1}, {x - side * 0.2f, y1 + 0.5f, z1},
                         {x - side * 0.2f, y0 + 0.5f, z0}, stone, {x + side, y0, (z0 + z1) / 2});
            parapet.Quad({x - side * 0.2f, y0 + 0.5f, z0}, {x, y0 + 0.5f, z0}, {x, y1 + 0.5f, z1},
                         {x - side * 0.2f, y1 + 0.5f, z1}, stone, {x, y0 - 1, (z0 + z1) / 2});
            b.Visible.Append(parapet, 0, 0);
        }
    }
    for (float z : {-2.0f, 2.0f})
        b.Visible.Box(-BridgeHalfWidth - 0.2f, z - 0.5f, BridgeHalfWidth + 0.2f, z + 0.5f, -3.5f, BridgeDeck(z) - 0.6f,
                      stone);
    for (float z : {-BridgeHalfLength - 0.4f, BridgeHalfLength + 0.4f})
        for (float x : {-BridgeHalfWidth - 0.3f, BridgeHalfWidth + 0.3f})
            b.Visible.Box(x - 0.3f, z - 0.3f, x + 0.3f, z + 0.3f, Foot, 1.2f, stone, &stone);
    return b;
}

// The deck the armies walk on: a strip that follows the deck's rise, so
// that the map finds the height under a point from its vertices.
inline TShape BridgeDeckPart()
{
    TShape s;
    constexpr int32_t steps = 8;
    const TRegion none;
    for (int32_t i = 0; i < steps; i++) {
        const float z0 = -BridgeHalfLength + 2 * BridgeHalfLength * static_cast<float>(i) / steps;
        const float z1 = -BridgeHalfLength + 2 * BridgeHalfLength * static_cast<float>(i + 1) / steps;
        s.Quad({-BridgeHalfWidth, BridgeDeck(z0), z0}, {BridgeHalfWidth, BridgeDeck(z0), z0},
               {BridgeHalfWidth, BridgeDeck(z1), z1}, {-BridgeHalfWidth, BridgeDeck(z1), z1}, none,
               {0, -5, (z0 + z1) / 2});
    }
    return s;
}

// A windmill: a tapering timber tower under a thatched cap; its sails are
// a part of their own, turned by a bone.
constexpr TVec3 MillHub = {0, 3.3f, -1.15f};

inline TBuildingArt Windmill()
{
    TBuildingArt b;
    b.Half = b.Depth = 1.6f;
    b.Enterable = false;
    const TRegion timber = Reg(bcTimber);
    b.Visible.Prism(0, 0, 1.2f, Foot, 1.6f, 8, timber, nullptr, 0.3927f);
    b.Visible.Prism(0, 0, 1.0f, 1.6f, 3.4f, 8, timber, nullptr, 0.3927f);
    b.Visible.Cone(0, 0, 1.25f, 3.4f, 4.8f, 8, Reg(bcThatch), 0.3927f);
    const TRegion axle = Reg(bcLogs);
    b.Visible.Box(-0.15f, -1.2f, 0.15f, -0.9f, 3.15f, 3.45f, axle, &axle);
    Door(b.Visible, 0, -1.15f, 0.6f, 1.1f);
    return b;
}

inline TShape MillSails()
{
    TShape s;
    const TRegion frame = Reg(bcPlanks), cloth = Reg(bcMarble);
    for (int32_t i = 0; i < 4; i++) {
        TShape arm;
        // One arm pointing up from the hub, in the plane of the sails.
        arm.Quad({-0.07f, 0, 0}, {0.07f, 0, 0}, {0.07f, 2.6f, 0}, {-0.07f, 2.6f, 0}, frame, {0, 1, 1});
        arm.Quad({-0.07f, 0, 0}, {0.07f, 0, 0}, {0.07f, 2.6f, 0}, {-0.07f, 2.6f, 0}, frame, {0, 1, -1});
        arm.Quad({0.07f, 0.5f, -0.02f}, {0.6f, 0.5f, -0.02f}, {0.6f, 2.5f, -0.02f}, {0.07f, 2.5f, -0.02f}, cloth,
                 {0.3f, 1.5f, 1});
        arm.Quad({0.07f, 0.5f, -0.02f}, {0.6f, 0.5f, -0.02f}, {0.6f, 2.5f, -0.02f}, {0.07f, 2.5f, -0.02f}, cloth,
                 {0.3f, 1.5f, -1});
        // Turn the arm about z (the axle) by a quarter turn per arm.
        const float a = 1.5708f * static_cast<float>(i), c = std::cos(a), sn = std::sin(a);
        const uint16_t base = static_cast<uint16_t>(s.Vertices.size());
        for (T3D_Vertex v : arm.Vertices) {
            const TVec3 p = v.Position, n = v.Normal;
            v.Position = {MillHub.x + p.x * c - p.y * sn, MillHub.y + p.x * sn + p.y * c, MillHub.z + p.z - 0.05f};
            v.Normal = {n.x * c - n.y * sn, n.x * sn + n.y * c, n.z};
            v.BoneIndex[0] = 1;
            v.Weight[0] = 1;
            s.Vertices.push_back(v);
        }
        for (uint16_t index : arm.Indices)
            s.Indices.push_back(static_cast<uint16_t>(base + index));
    }
    return s;
}

// The sails' skeleton: a root at the mill's origin and the sails' bone at
// the hub, one looping clip "turn" of a whole revolution in eight keys.
inline T3D_Skin MillSkin()
{
    T3D_Skin skin;
    T3D_Bone root;
    root.Name = "mill_root";
    root.NodeName = "Mill";
    root.Tracks.resize(1);
    T3D_Bone sails;
    sails.Name = "mill_sails";
    sails.NodeName = "Sails";
    sails.Parent = 0;
    MatrixTranslation(sails.InverseBind, -MillHub.x, -MillHub.y, -MillHub.z);
    T3D_Track track;
    MatrixTranslation(track.Matrix, MillHub.x, MillHub.y, MillHub.z);
    constexpr int32_t keys = 8;
    constexpr float seconds = 6;
    for (int32_t k = 0; k <= keys; k++) {
        TMatrix4 turn, at, key;
        MatrixRotationZ(turn, -TwoPi * static_cast<float>(k) / keys);
        MatrixTranslation(at, MillHub.x, MillHub.y, MillHub.z);
        MatrixMultiply(turn, at, key); // at x turn: turned about the hub, then put there
        track.Times.push_back(seconds * static_cast<float>(k) / keys);
        track.Keys.push_back(key);
    }
    sails.Tracks.push_back(track);
    skin.Bones = {root, sails};
    skin.Clips.push_back({"turn", static_cast<int32_t>(std::lround(seconds * 1000))});
    return skin;
}

} // namespace ArtLand
