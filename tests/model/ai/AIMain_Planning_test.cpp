// Route planning side by side: every worker count leaves the world exactly
// as planning one army after the other does, where a later army's goals
// read an earlier army's new route and where the player's planning opens a
// closed cell. Named a thread test: the checked build runs it too.
#include "model/ai/AIMain_Planning.h"

#include <gtest/gtest.h>

#include <vector>

#include "model/ai/AIMain_Targets.h"
#include "model/world/World_Digest.h"
#include "model/world/World_Frame.h"
#include "tests/model/GameTimeUnits.h"
#include "tests/model/MapWorldTestSupport.h"

namespace {

constexpr int32_t Armies = 16;
constexpr int32_t Centre = 250;

// What planning leaves behind: the world records and every army's route,
// heading and turn.
struct TPlanned {
    uint32_t Digest = 0;
    std::vector<std::vector<uint32_t>> Routes;
    std::vector<int64_t> Headings;
    int16_t ClosedCellCost = 0;
    int32_t WithRoute = 0;

    bool operator==(const TPlanned&) const = default;
};

class PlanningThreadTest : public TMapWorldTest {
protected:
    void TearDown() override
    {
        SetPlanningThreads(1);
        ReleasePlanningWorkers();
        TMapWorldTest::TearDown();
    }

    // Half the armies in pairs three cells apart near the player, who
    // follows army 2; the other half far off, where no
    // army's goals read another's route. Every computer army patrols two
    // points of its zone.
    void BuildWorld()
    {
        MakeMapWorld(Armies, 1);
        GameClock = 100 * Day;
        ApproachCheck = 1;
        AIProfiles[1].RandomTarget = 300;
        PlaceArmy(PlayerArmy, Centre, Centre);
        for (int32_t a = 1; a <= Armies; ++a) {
            const bool near = a <= Armies / 2;
            const int32_t x = (near ? Centre - 24 : 140) + (a - 1) / 2 * 9;
            const int32_t z = (near ? Centre + 12 : 320) + (a % 2) * 3;
            PlaceArmy(a, x, z);
            SetZone(a, x, z, 60);
            Army(a).RouteFlags[2] = 2;
            Army(a).PatrolPoints[1] = TCellXZ{static_cast<uint16_t>(x + 25 + a), static_cast<uint16_t>(z - 7)};
            Army(a).PatrolPoints[2] = TCellXZ{static_cast<uint16_t>(x - 5), static_cast<uint16_t>(z + 20 + a)};
        }
        // Army 2 stands in the only gap of a wall, closed itself; armies 1
        // and 5, planned before and after the player, patrol to the wall's
        // other side.
        PlaceArmy(2, Centre - 10, Centre - 10);
        for (int32_t x = Centre - 70; x <= Centre + 50; ++x) {
            TerrainVertex(x, Centre - 10).Cost = 0;
            SetPathCost(PF_PackCell(x, Centre - 10), 0);
        }
        for (int32_t a : {1, 5}) {
            Army(a).PatrolPoints[1] = TCellXZ{Centre - 10, Centre - 25};
            Army(a).RouteFlags[2] = 1;
        }
        PlayerTargetArmy = 2;
        PlayerTargetCell = Army(2).Cell;
    }

    TPlanned Capture() const
    {
        TPlanned planned;
        planned.Digest = WorldDigest();
        for (int32_t a = 0; a <= Armies; ++a) {
            const TPF_Tracker& t = ArmyTrackers[static_cast<size_t>(a)];
            std::vector<uint32_t> route{static_cast<uint32_t>(t.WaypointCount), static_cast<uint32_t>(t.WaypointIndex),
                                        static_cast<uint32_t>(t.PathCost)};
            for (int32_t w = 0; w <= t.WaypointCount && static_cast<size_t>(w) < t.Waypoints.size(); ++w)
                route.push_back(
                    PF_PackCell(t.Waypoints[static_cast<size_t>(w)].X, t.Waypoints[static_cast<size_t>(w)].Y));
            planned.Routes.push_back(route);
            planned.Headings.push_back(Army(a).Heading);
            planned.Headings.push_back(Army(a).ShownHeading);
            planned.Headings.push_back(ArmyTurns[static_cast<size_t>(a)].Angle);
            planned.WithRoute += t.WaypointCount >= 1 ? 1 : 0;
        }
        planned.ClosedCellCost = GetPathCost(CellOf(2));
        return planned;
    }

    // The armies in an order that puts the player's planning and the near
    // armies' planning after others of the same batch.
    static std::vector<int32_t> Order() { return {9, 3, 10, 4, 1, PlayerArmy, 11, 5, 6, 12, 2, 7, 13, 8, 14, 15, 16}; }
};

TEST_F(PlanningThreadTest, ABatchPlansAsOneArmyAfterTheOther)
{
    BuildWorld();
    for (int32_t a : Order())
        AI_PlanRoute(a);
    const TPlanned serial = Capture();
    ASSERT_GE(serial.WithRoute, Armies) << "the armies need routes for the comparison to mean anything";
    EXPECT_EQ(serial.ClosedCellCost, 0);

    for (int32_t threads : {1, 2, 8}) {
        SCOPED_TRACE(threads);
        SetPlanningThreads(threads);
        BuildWorld();
        TRouteBatch batch;
        for (int32_t a : Order())
            batch.Add(a);
        batch.Run();
        EXPECT_FALSE(batch.Waits(1));
        EXPECT_TRUE(Capture() == serial);
    }
}

TEST_F(PlanningThreadTest, FramesOfQueuedPlanningEndInTheSameWorld)
{
    std::vector<TPlanned> ends;
    for (int32_t threads : {1, 2, 8}) {
        SetPlanningThreads(threads);
        BuildWorld();
        // The frame's follow order remembers where it last saw the army
        // from one world to the next: the player stays put here.
        PlayerTargetArmy = 0;
        for (int32_t a = 0; a <= Armies; ++a)
            RequestReplan(a, 5);
        for (int32_t frame = 0; frame < 60; ++frame) {
            RunWorldFrame(5 * Minute, false, 1);
            if (frame % 20 == 0)
                for (int32_t a = 1; a <= Armies; ++a)
                    RequestReplan(a, 5);
        }
        ends.push_back(Capture());
    }
    EXPECT_GE(ends[0].WithRoute, 1);
    for (size_t i = 1; i < ends.size(); ++i) {
        EXPECT_EQ(ends[i].Digest, ends[0].Digest) << i;
        EXPECT_EQ(ends[i].Routes, ends[0].Routes) << i;
        EXPECT_EQ(ends[i].Headings, ends[0].Headings) << i;
        EXPECT_EQ(ends[i].ClosedCellCost, ends[0].ClosedCellCost) << i;
    }
}

TEST(PlanningThreads, TheCountIsHeldToItsRange)
{
    const struct {
        int32_t Asked, Set;
    } cases[] = {{0, 1}, {-5, 1}, {1, 1}, {3, 3}, {PlanningThreadsMax, PlanningThreadsMax}, {1000, PlanningThreadsMax}};
    for (const auto& c : cases) {
        SetPlanningThreads(c.Asked);
        EXPECT_EQ(PlanningThreads(), c.Set) << c.Asked;
    }
    SetPlanningThreads(1);
}

} // namespace
