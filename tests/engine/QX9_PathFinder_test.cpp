#include "engine/QX9_PathFinder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// A map over a grid drawn as text: '#' blocked, '.' factor 1, '1'..'9' that factor.
class TPathGrid {
public:
    explicit TPathGrid(const std::vector<std::string>& rows, int32_t border = 0)
        : TPathGrid(static_cast<int32_t>(rows[0].size()), static_cast<int32_t>(rows.size()), border)
    {
        for (int32_t y = 0; y < Grid->Height; ++y) {
            for (int32_t x = 0; x < Grid->Width; ++x) {
                char c = rows[y][x];
                PF_GridSet(Grid, x, y, c == '#' ? 0 : (c == '.' ? 1 : static_cast<uint16_t>(c - '0')));
            }
        }
    }
    TPathGrid(int32_t width, int32_t height, int32_t border = 0)
    {
        Grid = PF_CreateGrid(width, height);
        PF_CreateMap(Grid, Map);
        Tracker.Init(Map, border, false);
    }
    ~TPathGrid()
    {
        Tracker.Done();
        PF_FreeMap(Map);
        PF_FreeAndNil(Grid);
    }
    uint16_t Dist(int32_t x, int32_t y) const { return PF_GridGet(Map.DistGrid, x, y); }

    TPF_Grid* Grid = nullptr;
    TPF_Map Map;
    TPF_Tracker Tracker;
};

// The wavefront as a frontier scanned in cost bands with two ping-pong lists,
// word for word; the fast search must agree with it. stopBand: the band in
// which the target was reached, -1 when the search ran to its end.
bool ReferenceCalc(TPF_Tracker& t, int32_t cell, bool fromSeeds, int32_t* stopBand = nullptr)
{
    if (stopBand != nullptr) {
        *stopBand = -1;
    }
    static constexpr int32_t dx[8] = {-1, 0, 1, 1, 1, 0, -1, -1};
    static constexpr int32_t dy[8] = {-1, -1, -1, 0, 1, 1, 1, 0};
    const int32_t w = t.Width, h = t.Height;
    int32_t x = (cell & 0xFFFF) - t.BorderOffset,
            y = static_cast<int32_t>(static_cast<uint32_t>(cell) >> 16) - t.BorderOffset;
    bool inside = x >= 0 && y >= 0 && x < w && y < h;
    int64_t target = fromSeeds && inside ? static_cast<int64_t>(y) * w + x : -1;
    std::vector<uint16_t>& cost = t.CostGrid->Cells;
    std::vector<uint16_t>& dist = t.DistGrid->Cells;
    for (size_t i = 0; i < cost.size(); ++i) {
        cost[i] = static_cast<uint16_t>(std::min<uint32_t>(65535u, uint32_t(t.Grid->Cells[i]) * cost[i]));
        dist[i] = 65535;
    }
    std::vector<TPF_Seed> current, next;
    if (fromSeeds) {
        for (int32_t i = 0; i < t.SeedCount; ++i) {
            const TPF_Seed& s = t.Seeds[i];
            if (static_cast<int64_t>(s.Y) * w + s.X == target) {
                continue;
            }
            current.push_back(s);
            dist[s.Y * w + s.X] = static_cast<uint16_t>(s.Cost);
        }
    } else if (inside) {
        current.push_back({static_cast<uint16_t>(x), static_cast<uint16_t>(y), 0});
        dist[y * w + x] = 0;
    }
    int32_t band = 1;
    while (!current.empty()) {
        next.clear();
        int32_t lowest = 65535;
        for (const TPF_Seed& e : current) {
            if (e.Cost > band) {
                next.push_back(e);
                lowest = std::min(lowest, e.Cost);
                continue;
            }
            for (int32_t d = 7; d >= 0; --d) {
                int32_t nx = e.X + dx[d], ny = e.Y + dy[d];
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) {
                    continue;
                }
                int32_t n = ny * w + nx;
                int32_t value = cost[n] == 0 ? 65535 : cost[n] * ((d & 1) ? 2 : 3) + e.Cost;
                if (value < dist[n]) {
                    dist[n] = static_cast<uint16_t>(value);
                    if (n == target) {
                        if (stopBand != nullptr) {
                            *stopBand = e.Cost;
                        }
                        return true;
                    }
                    next.push_back({static_cast<uint16_t>(nx), static_cast<uint16_t>(ny), value});
                    lowest = std::min(lowest, value);
                }
            }
        }
        band = lowest;
        std::swap(current, next);
    }
    return fromSeeds ? target >= 0 && dist[target] < 65535 : inside;
}

// A small generator of our own, so the maps are the same everywhere.
struct TLcg {
    uint32_t State;
    uint32_t Next(uint32_t n)
    {
        State = State * 1103515245u + 12345u;
        return ((State >> 8) & 0xFFFFFF) % n;
    }
};

// Terrain like the strategic map's: patches of cheap and costly ground,
// blocked clumps and cost-1 roads.
void FillTerrain(TPF_Grid* grid, uint32_t seed, int32_t blockedPercent)
{
    TLcg rng{seed};
    int32_t w = grid->Width, h = grid->Height;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint32_t r = rng.Next(100);
            uint16_t v = r < 60   ? static_cast<uint16_t>(2 + rng.Next(10))
                         : r < 90 ? static_cast<uint16_t>(20 + rng.Next(60))
                                  : static_cast<uint16_t>(100 + rng.Next(156));
            PF_GridSet(grid, x, y, v);
        }
    }
    int64_t blocked = static_cast<int64_t>(w) * h * blockedPercent / 100;
    while (blocked > 0) {
        int32_t cx = rng.Next(w), cy = rng.Next(h), r = 1 + rng.Next(3);
        for (int32_t y = cy - r; y <= cy + r; ++y) {
            for (int32_t x = cx - r; x <= cx + r; ++x) {
                if (PF_GridGet(grid, x, y) != 0 && x >= 0 && y >= 0 && x < w && y < h) {
                    PF_GridSet(grid, x, y, 0);
                    --blocked;
                }
            }
        }
    }
    for (int32_t road = 0; road < 4; ++road) {
        int32_t x = rng.Next(w), y = 0;
        while (y < h) {
            PF_GridSet(grid, x, y, 1);
            x = std::clamp<int32_t>(x + static_cast<int32_t>(rng.Next(3)) - 1, 0, w - 1);
            ++y;
        }
    }
}

struct TPathResult {
    bool Reached = false;
    std::vector<std::pair<int32_t, int32_t>> Points, Waypoints;
    int32_t Cost = 0;
    float Length = 0;
    bool operator==(const TPathResult&) const = default;
};

TPathResult Trace(TPF_Tracker& t, int32_t cell, bool reached)
{
    TPathResult r;
    r.Reached = reached;
    t.GetPath(cell, true);
    for (int32_t i = 0; i <= t.PathCount; ++i) {
        r.Points.push_back({t.Path[i].X, t.Path[i].Y});
    }
    for (int32_t i = 0; i <= t.WaypointCount; ++i) {
        r.Waypoints.push_back({t.Waypoints[i].X, t.Waypoints[i].Y});
    }
    r.Cost = t.PathCost;
    r.Length = t.PathLength;
    return r;
}

// One search as the world simulation plans a route: costs, danger zones, goals.
void PrepareSearch(TPF_Tracker& t, TLcg& rng, int32_t border, int32_t target)
{
    t.ResetCosts();
    for (int32_t i = 0; i < 6; ++i) {
        t.AddPenalty(PF_PackCell(rng.Next(t.Width) + border, rng.Next(t.Height) + border), 1 + rng.Next(30),
                     1 + rng.Next(4));
    }
    t.ClearSeeds();
    for (int32_t i = 0; i < 4; ++i) {
        t.AddSeed(PF_PackCell(rng.Next(t.Width) + border, rng.Next(t.Height) + border), rng.Next(200));
    }
    // Now and then a goal on the target itself, and one cell seeded twice
    // with rising costs (both stored, the later one's distance kept).
    if (rng.Next(4) == 0) {
        t.AddSeed(target, 0);
    }
    if (t.SeedCount > 0 && rng.Next(2) == 0) {
        int32_t cell = PF_PackCell(t.Seeds[0].X + border, t.Seeds[0].Y + border);
        t.AddSeed(cell, t.Seeds[0].Cost - 1);
        t.AddSeed(cell, t.Seeds[0].Cost);
    }
}

} // namespace

TEST(PathFinder, OpenGridDistancesFromOneCell)
{
    TPathGrid g(8, 8);
    for (int32_t y = 0; y < 8; ++y) {
        for (int32_t x = 0; x < 8; ++x) {
            PF_GridSet(g.Grid, x, y, 1);
        }
    }
    g.Tracker.ResetCosts();
    EXPECT_TRUE(g.Tracker.Calc(PF_PackCell(0, 0), false));
    struct {
        int32_t x, y;
        uint16_t dist;
    } rows[] = {{0, 0, 0}, {1, 0, 2}, {1, 1, 3}, {2, 1, 5}, {2, 2, 6}, {7, 0, 14}, {7, 7, 21}, {0, 7, 14}};
    for (const auto& row : rows) {
        EXPECT_EQ(g.Dist(row.x, row.y), row.dist) << "cell " << row.x << "," << row.y;
    }
}

TEST(PathFinder, BlockedCellsAreNeverEnteredAndRefuseSeeds)
{
    TPathGrid g({"..#..", "..#..", "..#.."});
    g.Tracker.ResetCosts();
    g.Tracker.Calc(PF_PackCell(0, 1), false);
    for (int32_t y = 0; y < 3; ++y) {
        EXPECT_EQ(g.Dist(2, y), PF_Unreached);
        EXPECT_EQ(g.Dist(4, y), PF_Unreached) << "behind the wall";
    }
    g.Tracker.ClearSeeds();
    g.Tracker.AddSeed(PF_PackCell(2, 1), 0);
    g.Tracker.AddSeed(PF_PackCell(9, 1), 0); // outside
    EXPECT_EQ(g.Tracker.SeedCount, 0);
    // The far side is unreachable: the search says so and the target keeps 65535.
    g.Tracker.AddSeed(PF_PackCell(0, 0), 0);
    g.Tracker.ResetCosts();
    EXPECT_FALSE(g.Tracker.Calc(PF_PackCell(4, 2), true));
    EXPECT_EQ(g.Dist(4, 2), PF_Unreached);
}

TEST(PathFinder, SeedsKeepTheCheaperAndRespectBorderAndLimit)
{
    TPathGrid g(40, 40, 128);
    for (int32_t y = 0; y < 40; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            PF_GridSet(g.Grid, x, y, 1);
        }
    }
    TPF_Tracker& t = g.Tracker;
    t.AddSeed(PF_PackCell(130, 130), 10);
    t.AddSeed(PF_PackCell(130, 130), 5);
    ASSERT_EQ(t.SeedCount, 2);
    EXPECT_EQ(t.Seeds[0].Cost, 11);
    EXPECT_EQ(t.Seeds[1].Cost, 6);
    EXPECT_EQ(t.Seeds[1].X, 2);
    t.ClearSeeds();
    t.AddSeed(PF_PackCell(130, 130), 5);
    t.AddSeed(PF_PackCell(130, 130), 10);
    EXPECT_EQ(t.SeedCount, 1);
    t.ClearSeeds();
    t.AddSeed(PF_PackCell(100, 130), 0); // before the border
    t.AddSeed(PF_PackCell(130, 130), 99999);
    t.AddSeed(PF_PackCell(131, 130), -50);
    ASSERT_EQ(t.SeedCount, 2);
    EXPECT_EQ(t.Seeds[0].Cost, 32767) << "costs are limited to 32766";
    EXPECT_EQ(t.Seeds[1].Cost, 1) << "negative costs would wrap the distances";
    t.ClearSeeds();
    for (int32_t i = 0; i < 600; ++i) {
        t.AddSeed(PF_PackCell(128 + i % 40, 128 + i / 40), 0);
    }
    EXPECT_EQ(t.SeedCount, PF_MaxSeeds);
}

// Every cell of the grid against the window and the formula, for zones in
// the middle, across the edges and larger than the grid: the search skips
// the cells that get nothing and must not skip one that gets something.
TEST(PathFinder, PenaltiesReachEveryCellOfTheirWindow)
{
    const int32_t w = 23, h = 17;
    TPathGrid g(w, h);
    TPF_Tracker& t = g.Tracker;
    const struct {
        int32_t x, y, r, s;
    } zones[] = {{11, 8, 7, 1},  {11, 8, 8, 2},  {11, 8, 9, 3},   {11, 8, 10, 4}, {0, 0, 6, 1},  {22, 16, 6, 2},
                 {1, 15, 13, 3}, {21, 2, 5, 5},  {11, 8, 40, 1},  {11, 8, 1, 1},  {11, 8, 2, 7}, {3, 8, 30, 4},
                 {11, 8, 6, -2}, {0, 16, 9, -1}, {11, 8, 0, 100}, {5, 5, 3, 2}};
    for (const auto& zone : zones) {
        t.ResetCosts();
        t.AddPenalty(PF_PackCell(zone.x, zone.y), zone.r, zone.s);
        const int32_t c0 = std::max(0, zone.x - zone.r - 1), c1 = std::min(w - 1, c0 + 2 * zone.r);
        const int32_t r0 = std::max(0, zone.y - zone.r - 1), r1 = std::min(h - 1, r0 + 2 * zone.r);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                const int32_t dx = std::abs(x - zone.x), dy = std::abs(y - zone.y);
                const int32_t p = (zone.r - (2 * std::max(dx, dy) + std::min(dx, dy))) / zone.s + 1;
                const bool inside = x >= c0 && x <= c1 && y >= r0 && y <= r1;
                const int32_t expected = 1 + (inside && p > 0 ? p : 0);
                ASSERT_EQ(PF_GridGet(t.CostGrid, x, y), expected)
                    << "zone at " << zone.x << "," << zone.y << " r " << zone.r << " s " << zone.s << ", cell " << x
                    << "," << y;
            }
        }
    }
}

TEST(PathFinder, PenaltiesFollowTheWindowAndSaturate)
{
    TPathGrid g(30, 30);
    TPF_Tracker& t = g.Tracker;
    t.ResetCosts();
    t.AddPenalty(PF_PackCell(10, 10), 4, 1);
    struct {
        int32_t x, y;
        uint16_t cost;
    } rows[] = {{10, 10, 6}, {11, 10, 4}, {11, 11, 3}, {13, 10, 1}, {6, 10, 1}, {9, 9, 3}, {5, 10, 1}};
    for (const auto& row : rows) {
        EXPECT_EQ(PF_GridGet(t.CostGrid, row.x, row.y), row.cost) << "cell " << row.x << "," << row.y;
    }
    // The window starts one cell before x - r: with r 0 it is the cell to the left.
    t.ResetCosts();
    t.AddPenalty(PF_PackCell(10, 10), 0, 1);
    EXPECT_EQ(PF_GridGet(t.CostGrid, 10, 10), 1);
    EXPECT_EQ(PF_GridGet(t.CostGrid, 9, 9), 1);
    t.ResetCosts();
    t.AddPenalty(PF_PackCell(10, 10), 2, 10); // p = (2 - d) div 10 + 1 = 1 within the window
    EXPECT_EQ(PF_GridGet(t.CostGrid, 7, 7), 2);
    EXPECT_EQ(PF_GridGet(t.CostGrid, 11, 11), 2);
    EXPECT_EQ(PF_GridGet(t.CostGrid, 12, 12), 1) << "x + r lies outside the window";
    // Negative radius, zero step and a window over the grid's edges add nothing out of range.
    t.ResetCosts();
    t.AddPenalty(PF_PackCell(10, 10), -3, 1);
    t.AddPenalty(PF_PackCell(10, 10), 3, 0);
    t.AddPenalty(PF_PackCell(0, 0), 40, 1);
    t.AddPenalty(PF_PackCell(29, 29), 40, 1);
    EXPECT_EQ(PF_GridGet(t.CostGrid, 0, 0), 1 + 41);
    EXPECT_EQ(PF_GridGet(t.CostGrid, 29, 29), 1 + 41);
    EXPECT_EQ(PF_GridGet(t.CostGrid, 10, 10), 1 + 11);
    // Overlapping large penalties stop at 65535 instead of wrapping to a small factor.
    t.ResetCosts();
    for (int32_t i = 0; i < 4; ++i) {
        t.AddPenalty(PF_PackCell(5, 5), 30000, 1);
    }
    EXPECT_EQ(PF_GridGet(t.CostGrid, 5, 5), 65535);
    // The step cost factor (caller's factor x penalty) saturates as well.
    PF_GridSet(g.Grid, 5, 5, 300);
    t.ResetCosts();
    t.AddPenalty(PF_PackCell(5, 5), 300, 1);
    t.Calc(PF_PackCell(0, 0), false);
    EXPECT_EQ(PF_GridGet(t.CostGrid, 5, 5), 65535);
    EXPECT_EQ(g.Dist(5, 5), PF_Unreached) << "a step of 65535 or more is never taken";
}

TEST(PathFinder, PathCostAndLengthCountTheCellsLeft)
{
    TPathGrid g({"######", "2222##", "####2#"});
    TPF_Tracker& t = g.Tracker;
    t.ResetCosts();
    t.ClearSeeds();
    t.AddSeed(PF_PackCell(4, 2), 0);
    ASSERT_TRUE(t.Calc(PF_PackCell(0, 1), true));
    t.GetPath(PF_PackCell(0, 1), false);
    ASSERT_EQ(t.PathCount, 4);
    EXPECT_EQ(t.PathCost, 2 + 2 + 2 + 3);
    EXPECT_FLOAT_EQ(t.PathLength, 4.41f);
    EXPECT_EQ(t.Path[3].Dir, 4);
    EXPECT_EQ(t.Path[4].X, 4);
    EXPECT_EQ(t.Path[4].Y, 2);
    EXPECT_EQ(t.WaypointCount, 0) << "without smoothing only the start";
}

TEST(PathFinder, SmoothingPlacesWaypointsWhereTheCostChanges)
{
    struct {
        const char* name;
        std::string row;
        std::vector<int32_t> waypointX;
    } rows[] = {
        {"equal corridor", "........", {0, 7}},
        {"cost change", "....333.", {0, 4, 7}},
        {"two changes", "..22....", {0, 2, 4, 7}},
    };
    for (const auto& row : rows) {
        TPathGrid g({std::string(8, '#'), row.row, std::string(8, '#')});
        TPF_Tracker& t = g.Tracker;
        t.ResetCosts();
        t.ClearSeeds();
        t.AddSeed(PF_PackCell(7, 1), 0);
        ASSERT_TRUE(t.Calc(PF_PackCell(0, 1), true)) << row.name;
        t.GetPath(PF_PackCell(0, 1), true);
        ASSERT_EQ(t.WaypointCount + 1, static_cast<int32_t>(row.waypointX.size())) << row.name;
        for (size_t i = 0; i < row.waypointX.size(); ++i) {
            EXPECT_EQ(t.Waypoints[i].X, row.waypointX[i]) << row.name << " waypoint " << i;
            EXPECT_EQ(t.Waypoints[i].Y, 1) << row.name;
        }
    }
}

TEST(PathFinder, SmoothingStraightensAnEqualCostDiagonalRun)
{
    // From (0, 0) to the seed at (6, 3) on open ground: the trace zigzags in
    // direction order, the smoothing lays the grid line over it.
    TPathGrid g(7, 4);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 7; ++x) {
            PF_GridSet(g.Grid, x, y, 1);
        }
    }
    TPF_Tracker& t = g.Tracker;
    t.ResetCosts();
    t.AddSeed(PF_PackCell(6, 3), 0);
    ASSERT_TRUE(t.Calc(PF_PackCell(0, 0), true));
    t.GetPath(PF_PackCell(0, 0), true);
    ASSERT_EQ(t.WaypointCount, 1);
    EXPECT_EQ(t.Waypoints[1].X, 6);
    EXPECT_EQ(t.Waypoints[1].Y, 3);
    std::vector<TPF_Waypoint> line;
    PF_TraceLine(0, 0, 6, 3, line);
    ASSERT_EQ(static_cast<int32_t>(line.size()), t.PathCount);
    for (int32_t i = 0; i < t.PathCount; ++i) {
        EXPECT_EQ(t.Path[i + 1].X, line[i].X) << i;
        EXPECT_EQ(t.Path[i + 1].Y, line[i].Y) << i;
    }
}

TEST(PathFinder, TiesGoToTheFirstDirection)
{
    // Both neighbours of the target are seeds of equal cost: direction 3 (+x)
    // comes before direction 7 (-x).
    TPathGrid g({"..."});
    TPF_Tracker& t = g.Tracker;
    t.ResetCosts();
    t.AddSeed(PF_PackCell(0, 0), 0);
    t.AddSeed(PF_PackCell(2, 0), 0);
    ASSERT_TRUE(t.Calc(PF_PackCell(1, 0), true));
    t.GetPath(PF_PackCell(1, 0), false);
    ASSERT_EQ(t.PathCount, 1);
    EXPECT_EQ(t.Path[0].Dir, 3);
    EXPECT_EQ(t.Path[1].X, 2);
}

TEST(PathFinder, BorderShiftsCellsBothWays)
{
    TPathGrid g(10, 10, 128);
    for (int32_t y = 0; y < 10; ++y) {
        for (int32_t x = 0; x < 10; ++x) {
            PF_GridSet(g.Grid, x, y, 1);
        }
    }
    TPF_Tracker& t = g.Tracker;
    t.ResetCosts();
    t.AddSeed(PF_PackCell(128 + 9, 128 + 0), 0);
    ASSERT_TRUE(t.Calc(PF_PackCell(128 + 0, 128 + 0), true));
    t.GetPath(PF_PackCell(128, 128), true);
    EXPECT_EQ(t.Path[0].X, 128);
    EXPECT_EQ(t.Path[t.PathCount].X, 137);
    EXPECT_EQ(t.Waypoints[t.WaypointCount].X, 137);
    EXPECT_EQ(t.Waypoints[t.WaypointCount].Y, 128);
    // A cell outside the grid gives no path and keeps the previous waypoints.
    int32_t waypoints = t.WaypointCount;
    t.GetPath(PF_PackCell(5, 5), true);
    EXPECT_EQ(t.PathCount, 0);
    EXPECT_EQ(t.WaypointCount, waypoints);
    t.ResetPath(PF_PackCell(140, 141));
    EXPECT_EQ(t.PathCount, 0);
    EXPECT_EQ(t.Path[0].X, 140);
    EXPECT_EQ(t.Waypoints[0].Y, 141);
    EXPECT_EQ(t.WaypointCount, 0);
}

TEST(PathFinder, SingleCellSearchTracesToTheStart)
{
    TPathGrid g(6, 6);
    for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 6; ++x) {
            PF_GridSet(g.Grid, x, y, 1);
        }
    }
    TPF_Tracker& t = g.Tracker;
    t.ResetCosts();
    t.Calc(PF_PackCell(2, 2), false);
    t.GetPath(PF_PackCell(2, 2), false);
    EXPECT_EQ(t.PathCount, 0) << "the start itself has distance 0";
    t.GetPath(PF_PackCell(5, 2), false);
    ASSERT_EQ(t.PathCount, 2) << "ends next to the start, whose 0 is never taken";
    EXPECT_EQ(t.Path[2].X, 3);
}

TEST(PathFinder, LongWindingPathsOutgrowTheEighthBuffers)
{
    // A serpentine on 21 x 21: the path is far longer than (w x h) div 8 points.
    std::vector<std::string> rows(21, std::string(21, '.'));
    for (int32_t y = 1; y < 21; y += 2) {
        for (int32_t x = 0; x < 21; ++x) {
            rows[y][x] = '#';
        }
        rows[y][(y / 2) % 2 == 0 ? 20 : 0] = '.';
    }
    TPathGrid g(rows);
    TPF_Tracker& t = g.Tracker;
    t.ResetCosts();
    t.AddSeed(PF_PackCell(0, 20), 0);
    ASSERT_TRUE(t.Calc(PF_PackCell(0, 0), true));
    t.GetPath(PF_PackCell(0, 0), true);
    EXPECT_GT(t.PathCount, 21 * 21 / 8);
    EXPECT_EQ(t.Path[t.PathCount].X, 0);
    EXPECT_EQ(t.Path[t.PathCount].Y, 20);
}

TEST(PathFinder, HeuristicAndLines)
{
    EXPECT_EQ(PF_Heuristic(0, 0, 3, 1), 3);
    EXPECT_EQ(PF_Heuristic(5, 5, 5, 5), 0);
    EXPECT_EQ(PF_Heuristic(0, 0, 4, 4), 6);
    EXPECT_EQ(PF_Heuristic(2, 9, 0, 0), 10);
    struct {
        int32_t x0, y0, x1, y1;
        std::vector<std::pair<int32_t, int32_t>> cells;
    } rows[] = {
        {0, 0, 3, 1, {{1, 0}, {2, 1}, {3, 1}}},
        {0, 0, 2, 1, {{1, 0}, {2, 1}}},
        {0, 0, 1, 3, {{0, 1}, {1, 2}, {1, 3}}},
        {3, 3, 0, 0, {{2, 2}, {1, 1}, {0, 0}}},
        {4, 4, 4, 4, {}},
    };
    for (const auto& row : rows) {
        std::vector<TPF_Waypoint> line;
        PF_TraceLine(row.x0, row.y0, row.x1, row.y1, line);
        std::vector<std::pair<int32_t, int32_t>> got;
        for (const TPF_Waypoint& c : line) {
            got.push_back({c.X, c.Y});
        }
        EXPECT_EQ(got, row.cells) << row.x0 << "," << row.y0 << " -> " << row.x1 << "," << row.y1;
    }
    // Every line ends at its end point in 8-connected steps.
    TLcg rng{7};
    for (int32_t i = 0; i < 500; ++i) {
        int32_t x0 = rng.Next(50), y0 = rng.Next(50), x1 = rng.Next(50), y1 = rng.Next(50);
        std::vector<TPF_Waypoint> line;
        PF_TraceLine(x0, y0, x1, y1, line);
        ASSERT_EQ(static_cast<int32_t>(line.size()), std::max(std::abs(x1 - x0), std::abs(y1 - y0)));
        if (!line.empty()) {
            EXPECT_EQ(line.back().X, x1);
            EXPECT_EQ(line.back().Y, y1);
        }
    }
}

TEST(PathFinder, GridAccessOutsideIsHarmless)
{
    TPF_Grid* grid = PF_CreateGrid(4, 3);
    EXPECT_EQ(grid->Cells.size(), 12u);
    PF_GridSet(grid, 3, 2, 7);
    PF_GridSet(grid, 4, 0, 9);
    PF_GridSet(grid, -1, 0, 9);
    PF_GridSet(grid, 0, 3, 9);
    EXPECT_EQ(PF_GridGet(grid, 3, 2), 7);
    EXPECT_EQ(PF_GridGet(grid, 4, 0), 0);
    EXPECT_EQ(PF_GridGet(grid, 0, -1), 0);
    EXPECT_EQ(std::count(grid->Cells.begin(), grid->Cells.end(), 9), 0);
    PF_FreeAndNil(grid);
    EXPECT_EQ(grid, nullptr);
    EXPECT_EQ(PF_GridGet(grid, 0, 0), 0);
}

TEST(PathFinder, EarlyStopFollowsTheFrontierOrder)
{
    struct TSeedAt {
        int32_t X, Y, Cost;
    };
    struct {
        const char* Name;
        std::vector<std::string> Rows;
        std::vector<TSeedAt> Seeds;
        int32_t TargetX, TargetY;
        uint16_t TargetDist;
    } rows[] = {
        // The cheap seed's wave reaches (3, 1) at cost 5, the stored cost of
        // the dear seed at (1, 0). Coming from the first seed, that cell
        // stands ahead of the second seed in the frontier and steps straight
        // onto the target (7) before the seed would reach it diagonally (8).
        {"wave ahead of a later seed", {"#.#####", "##....#"}, {{5, 1, 0}, {1, 0, 4}}, 2, 1, 7},
        // Seeds of cost 6 on (5, 1) and (3, 0): the earlier seed reaches the
        // target first, diagonally (7 + 3).
        {"seeds in their order", {".....#", "#####."}, {{0, 0, 0}, {5, 1, 6}, {3, 0, 6}}, 4, 0, 10},
        // A dearer second seed on (3, 0) leaves it at 8, so the first seed's
        // wave enters it at 7, as the cell's own seed of cost 7 waits. The
        // wave's entry descends from the first seed and comes first: straight
        // onto the target (7 + 2).
        {"wave entry beside a seed of its cost",
         {".....#", "#####."},
         {{0, 0, 0}, {5, 1, 6}, {3, 0, 6}, {3, 0, 7}},
         4,
         0,
         9},
    };
    for (const auto& row : rows) {
        TPathGrid g(row.Rows), reference(row.Rows);
        for (TPF_Tracker* t : {&g.Tracker, &reference.Tracker}) {
            t->ResetCosts();
            for (const TSeedAt& seed : row.Seeds) {
                t->AddSeed(PF_PackCell(seed.X, seed.Y), seed.Cost);
            }
        }
        const int32_t target = PF_PackCell(row.TargetX, row.TargetY);
        ASSERT_TRUE(g.Tracker.Calc(target, true)) << row.Name;
        ASSERT_TRUE(ReferenceCalc(reference.Tracker, target, true)) << row.Name;
        EXPECT_EQ(g.Dist(row.TargetX, row.TargetY), row.TargetDist) << row.Name;
        EXPECT_EQ(reference.Dist(row.TargetX, row.TargetY), row.TargetDist) << row.Name;
        EXPECT_EQ(g.Map.DistGrid->Cells, reference.Map.DistGrid->Cells) << row.Name;
    }
}

// The bucketed search against the band-scanned frontier on random terrain:
// every distance is identical, also in the band where a search stops at its
// target (there the frontier's order decides which neighbours of the band's
// entries, the target among them, got their distance first), and so are the
// traced, smoothed routes.
TEST(PathFinder, MatchesTheBandScannedFrontier)
{
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        TLcg rng{seed * 7919u};
        int32_t w = 8 + rng.Next(60), h = 8 + rng.Next(60);
        int32_t border = (seed % 2) ? 128 : 0;
        TPathGrid fast(w, h, border), reference(w, h, border);
        FillTerrain(fast.Grid, seed, 5 + rng.Next(25));
        if (seed % 3 == 0) {
            // Even ground: many routes of equal cost, so the tie-breaks decide.
            for (uint16_t& c : fast.Grid->Cells) {
                c = c != 0 ? 1 : 0;
            }
        }
        reference.Grid->Cells = fast.Grid->Cells;
        for (int32_t search = 0; search < 10; ++search) {
            int32_t cell = PF_PackCell(rng.Next(w) + border, rng.Next(h) + border);
            uint32_t state = rng.State;
            PrepareSearch(fast.Tracker, rng, border, cell);
            rng.State = state;
            PrepareSearch(reference.Tracker, rng, border, cell);
            if (search % 2 == 1 && fast.Tracker.SeedCount > 0) {
                // A target a few cells from a goal: the search stops early,
                // with most of its last band still waiting.
                int32_t x =
                    std::clamp<int32_t>(fast.Tracker.Seeds[0].X + static_cast<int32_t>(rng.Next(9)) - 4, 0, w - 1);
                int32_t y =
                    std::clamp<int32_t>(fast.Tracker.Seeds[0].Y + static_cast<int32_t>(rng.Next(9)) - 4, 0, h - 1);
                cell = PF_PackCell(x + border, y + border);
            }
            bool fromSeeds = search != 0;
            bool reached = fast.Tracker.Calc(cell, fromSeeds);
            int32_t stopBand = -1;
            bool expected = ReferenceCalc(reference.Tracker, cell, fromSeeds, &stopBand);
            ASSERT_EQ(reached, expected) << "seed " << seed << " search " << search;
            int32_t x = (cell & 0xFFFF) - border, y = (cell >> 16) - border;
            for (int32_t yy = 0; yy < h; ++yy) {
                for (int32_t xx = 0; xx < w; ++xx) {
                    ASSERT_EQ(fast.Dist(xx, yy), reference.Dist(xx, yy))
                        << "seed " << seed << " search " << search << " cell " << xx << "," << yy << " target " << x
                        << "," << y << " band " << stopBand;
                }
            }
            EXPECT_EQ(PF_GridGet(fast.Tracker.CostGrid, x, y), PF_GridGet(reference.Tracker.CostGrid, x, y));
            if (expected || !fromSeeds) {
                EXPECT_EQ(Trace(fast.Tracker, cell, reached), Trace(reference.Tracker, cell, expected))
                    << "seed " << seed << " search " << search;
            }
        }
    }
}

// The largest strategic grid with overlapping danger zones, many goals and
// repeated searches: nothing is written out of range and the routes repeat.
TEST(PathFinder, LargeMapSearchesAreSafeAndRepeatable)
{
    TPathGrid g(769, 769, 128);
    FillTerrain(g.Grid, 99, 20);
    TPF_Tracker& t = g.Tracker;
    std::vector<TPathResult> first, second;
    for (int32_t run = 0; run < 2; ++run) {
        TLcg rng{4242};
        for (int32_t search = 0; search < 3; ++search) {
            t.ResetCosts();
            for (int32_t i = 0; i < 40; ++i) {
                t.AddPenalty(PF_PackCell(128 + rng.Next(769), 128 + rng.Next(769)), 1 + rng.Next(64), 1 + rng.Next(4));
            }
            t.ClearSeeds();
            for (int32_t i = 0; i < PF_MaxSeeds + 10; ++i) {
                t.AddSeed(PF_PackCell(128 + rng.Next(769), 128 + rng.Next(769)), rng.Next(3000));
            }
            int32_t cell = PF_PackCell(128 + rng.Next(769), 128 + rng.Next(769));
            bool reached = t.Calc(cell, search != 2);
            (run == 0 ? first : second).push_back(Trace(t, cell, reached));
        }
    }
    EXPECT_EQ(first, second);
}

TEST(PathFinder, TinyAndEmptyGrids)
{
    TPathGrid one({"3"});
    one.Tracker.ResetCosts();
    EXPECT_TRUE(one.Tracker.Calc(PF_PackCell(0, 0), false));
    EXPECT_EQ(one.Dist(0, 0), 0);
    one.Tracker.GetPath(PF_PackCell(0, 0), true);
    EXPECT_EQ(one.Tracker.PathCount, 0);

    TPathGrid column({".", ".", ".", ".", "."});
    column.Tracker.ResetCosts();
    column.Tracker.AddSeed(PF_PackCell(0, 4), 0);
    ASSERT_TRUE(column.Tracker.Calc(PF_PackCell(0, 0), true));
    column.Tracker.GetPath(PF_PackCell(0, 0), true);
    EXPECT_EQ(column.Tracker.PathCount, 4);
    EXPECT_EQ(column.Tracker.WaypointCount, 1);

    TPathGrid empty(0, 0);
    empty.Tracker.ResetCosts();
    empty.Tracker.AddSeed(PF_PackCell(0, 0), 0);
    EXPECT_FALSE(empty.Tracker.Calc(PF_PackCell(0, 0), false));
    empty.Tracker.GetPath(PF_PackCell(0, 0), true);
    EXPECT_EQ(empty.Tracker.PathCount, 0);

    // Buffers shrunk behind the tracker's back are not searched.
    TPathGrid shrunk(6, 6);
    shrunk.Tracker.ResetCosts();
    shrunk.Map.CostGrid->Cells.resize(3);
    shrunk.Tracker.AddPenalty(PF_PackCell(2, 2), 5, 1);
    EXPECT_FALSE(shrunk.Tracker.Calc(PF_PackCell(0, 0), false));
    shrunk.Tracker.GetPath(PF_PackCell(1, 1), true);
    EXPECT_EQ(shrunk.Tracker.PathCount, 0);

    // A tracker that was never set up, or whose buffers were released, does nothing.
    TPF_Tracker idle;
    idle.ResetCosts();
    idle.AddPenalty(PF_PackCell(1, 1), 3, 1);
    idle.AddSeed(PF_PackCell(1, 1), 0);
    EXPECT_FALSE(idle.Calc(PF_PackCell(1, 1), true));
    idle.GetPath(PF_PackCell(1, 1), true);
    idle.ResetPath(PF_PackCell(1, 1));
    EXPECT_EQ(idle.Path[0].X, 1);
    idle.Done();
}

// A cell opened for one tracker searches exactly as the grid written open
// does, distances, step costs and path alike, while the grid keeps its
// value; a cell outside the grid opens nothing.
TEST(PathFinder, AnOpenCellSearchesAsTheGridWrittenOpen)
{
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        TLcg rng{seed * 104729u};
        const int32_t w = 12 + rng.Next(40), h = 12 + rng.Next(40);
        const int32_t border = (seed % 2) ? 128 : 0;
        TPathGrid opened(w, h, border), written(w, h, border);
        FillTerrain(opened.Grid, seed, 15);
        // A blocked cell near the middle, the searched army's own cell; on
        // every fifth map a cell outside the grid instead.
        int32_t x = w / 2, y = h / 2;
        PF_GridSet(opened.Grid, x, y, 0);
        const bool outside = seed % 5 == 0;
        const int32_t cell = outside ? PF_PackCell(border + w + 3, border + y) : PF_PackCell(x + border, y + border);
        const uint16_t factor = seed % 3 == 0 ? 7 : 1;
        written.Grid->Cells = opened.Grid->Cells;
        if (!outside) {
            PF_GridSet(written.Grid, x, y, factor);
        }
        const std::vector<uint16_t> before = opened.Grid->Cells;
        for (int32_t search = 0; search < 4; ++search) {
            const uint32_t state = rng.State;
            PrepareSearch(opened.Tracker, rng, border, cell);
            rng.State = state;
            PrepareSearch(written.Tracker, rng, border, cell);
            opened.Tracker.OpenCell = cell;
            opened.Tracker.OpenFactor = factor;
            const int32_t target = outside ? PF_PackCell(x + border, y + border) : cell;
            const bool reached = opened.Tracker.Calc(target, true);
            ASSERT_EQ(reached, written.Tracker.Calc(target, true)) << "seed " << seed << " search " << search;
            EXPECT_EQ(opened.Map.DistGrid->Cells, written.Map.DistGrid->Cells) << "seed " << seed;
            EXPECT_EQ(opened.Map.CostGrid->Cells, written.Map.CostGrid->Cells) << "seed " << seed;
            EXPECT_EQ(Trace(opened.Tracker, target, reached), Trace(written.Tracker, target, reached))
                << "seed " << seed << " search " << search;
            opened.Tracker.OpenCell = -1;
        }
        EXPECT_EQ(opened.Grid->Cells, before) << "the grid itself is not written";
    }
}

// A pocket of open cells without a goal is seen cut off without a search;
// a goal in it or touching it (diagonally too), a pocket larger than the
// look, or a pocket that an open cell joins to the rest is not.
TEST(PathFinder, APocketWithoutGoalsIsSeenCutOff)
{
    const std::vector<std::string> walled = {
        "..........", //
        ".#####....", //
        ".#...#....", //
        ".#...#....", //
        ".#####....", //
        "..........", //
    };
    const int32_t inside = PF_PackCell(3, 2);
    const struct {
        const char* Name;
        std::vector<std::pair<int32_t, int32_t>> Seeds;
        int32_t Target;
        int32_t Limit;
        int32_t Open; // a cell opened for the tracker, -1 none
        bool CutOff;
    } cases[] = {
        {"goals outside the walls", {{8, 0}, {0, 5}}, inside, 256, -1, true},
        {"a goal in the pocket", {{8, 0}, {4, 3}}, inside, 256, -1, false},
        {"a goal in the wall touching the pocket", {{8, 0}, {5, 4}}, inside, 256, -1, false},
        {"a goal on the target alone", {{3, 2}}, inside, 256, -1, true},
        {"a pocket larger than the look", {{8, 0}}, inside, 5, -1, false},
        {"a target on the wall", {{8, 0}}, PF_PackCell(1, 1), 256, -1, true},
        {"a target outside the grid", {{8, 0}}, PF_PackCell(30, 2), 256, -1, true},
        {"the open part of the map", {{8, 0}}, PF_PackCell(7, 3), 256, -1, false},
        {"a wall cell opened for this tracker", {{8, 0}}, inside, 256, PF_PackCell(5, 3), false},
        {"an opened target on the wall", {{8, 0}}, PF_PackCell(1, 1), 256, PF_PackCell(1, 1), false},
    };
    for (const auto& c : cases) {
        TPathGrid g(walled);
        TPF_Tracker& t = g.Tracker;
        t.ResetCosts();
        t.ClearSeeds();
        for (const auto& [x, y] : c.Seeds) {
            t.Seeds[t.SeedCount++] = {static_cast<uint16_t>(x), static_cast<uint16_t>(y), 1};
        }
        t.OpenCell = c.Open;
        EXPECT_EQ(t.SeedsCutOff(c.Target, c.Limit), c.CutOff) << c.Name;
        if (c.CutOff) {
            EXPECT_FALSE(t.Calc(c.Target, true)) << c.Name;
        }
    }
}

// On rough maps full of closed clumps, wherever the look says cut off the
// search indeed fails.
TEST(PathFinder, ACutOffTargetIsNeverReached)
{
    int32_t cutOff = 0;
    for (uint32_t seed = 1; seed <= 120; ++seed) {
        TLcg rng{seed * 15485863u};
        const int32_t w = 10 + rng.Next(30), h = 10 + rng.Next(30);
        TPathGrid g(w, h);
        FillTerrain(g.Grid, seed, 35 + rng.Next(25));
        for (int32_t search = 0; search < 6; ++search) {
            const int32_t cell = PF_PackCell(rng.Next(w), rng.Next(h));
            PrepareSearch(g.Tracker, rng, 0, cell);
            if (search % 3 == 0 && PF_GridGet(g.Grid, cell & 0xFFFF, cell >> 16) == 0) {
                g.Tracker.OpenCell = cell;
            }
            if (g.Tracker.SeedsCutOff(cell, 64)) {
                ++cutOff;
                EXPECT_FALSE(g.Tracker.Calc(cell, true)) << "seed " << seed << " search " << search;
            }
            g.Tracker.OpenCell = -1;
        }
    }
    EXPECT_GT(cutOff, 20) << "the maps need pockets for the check to mean anything";
}
