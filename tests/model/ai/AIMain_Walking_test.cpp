// Army movement, activity, waits, zones and the re-plan queue.
#include "model/ai/AIMain_Walking.h"
#include "tests/model/GameTimeUnits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "model/Support.h"
#include "model/world/World_Log.h"
#include "tests/model/MapWorldTestSupport.h"

namespace {

int32_t FakeEngineMs = 0;
int32_t FakeEngineClock(bool)
{
    return FakeEngineMs;
}

class WalkingTest : public TMapWorldTest {
protected:
    void SetUp() override
    {
        TMapWorldTest::SetUp();
        SavedTimeSource = GameTimeSource;
        GameTimeSource = FakeEngineClock;
        FakeEngineMs = 1000;
        MakeMapWorld(3, 2);
        PlaceArmy(1, 200, 200);
        SetZone(1, 200, 200, 100);
        GameClock = 10 * Day;
    }
    void TearDown() override
    {
        GameTimeSource = SavedTimeSource;
        TMapWorldTest::TearDown();
    }

    int32_t (*SavedTimeSource)(bool) = nullptr;
};

TEST_F(WalkingTest, APassedPointHandsTheRestOfTheStepOn)
{
    Army(1).Pos[0] = 199.5f;
    Army(1).SpeedFactor = 8; // 2 cells a minute on cost 4
    SetWaypoints(1, {{199, 200}, {200, 200}, {210, 200}});
    EXPECT_TRUE(AI_Army_Move(1, Minute));
    EXPECT_EQ(ArmyTrackers[1].WaypointIndex, 2);
    // Half a cell to the point, then three quarters of two cells.
    EXPECT_NEAR(Army(1).Pos[0], 201.5f, 1e-4f);
    EXPECT_NEAR(Army(1).Pos[2], 200.0f, 1e-4f);
    // The step in minutes x 10000, times 190 x speed / cost / 10^8.
    EXPECT_EQ(ArmyTurns[1].Odometer, 380);
}

TEST_F(WalkingTest, SmallTurnsAreShownAtOnceLargeOnesTakeTime)
{
    SetWaypoints(1, {{200, 200}, {210, 202}}); // about 11 degrees
    StartPathStep(1, false);
    EXPECT_EQ(Army(1).ShownHeading, Army(1).Heading);
    EXPECT_EQ(ArmyTurns[1].Turning, 0);
    EXPECT_EQ(Army(1).ReplanCountdown, ReplanStep);

    Army(1).Heading = Army(1).ShownHeading = 0;
    SetWaypoints(1, {{200, 200}, {190, 200}}); // half a turn
    StartPathStep(1, false);
    const TArmyTurn& turn = ArmyTurns[1];
    ASSERT_EQ(turn.Turning, 1);
    EXPECT_EQ(turn.End - turn.Start, 500 * Minute);
    EXPECT_EQ(turn.Start, 1000 * Minute);

    FakeEngineMs = 1250;
    AI_Army_Move(1, 0);
    EXPECT_NEAR(static_cast<double>(Army(1).ShownHeading), static_cast<double>(Army(1).Heading - turn.Angle / 2), 2);
    FakeEngineMs = 1500;
    AI_Army_Move(1, 0);
    EXPECT_EQ(Army(1).ShownHeading, Army(1).Heading);
    EXPECT_EQ(turn.Turning, 0);
}

TEST_F(WalkingTest, CellStepsEnterBuildingsButNotBridges)
{
    struct TCase {
        const char* Name;
        int32_t Model;
        int32_t Building;
    };
    const TCase cases[] = {{"a village", 12, 1}, {"a bridge", 31, 0}, {"an object", 32, 1}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        MapBuildings[1].Model = c.Model;
        TerrainVertex(200, 200).Cover = 1;
        Army(1).Building = 0;
        Army(1).Pos[0] = 199.4f;
        Army(1).Cell = TCellXZ{199, 200};
        ArmyTargets[1][1].LastVisit = 0;
        ArmyTrackers[1].StepCount = 0;
        SetWaypoints(1, {{199, 200}, {205, 200}});
        StartPathStep(1, false);
        EXPECT_TRUE(AI_Army_Move(1, Minute / 8)); // about a quarter of a cell
        EXPECT_EQ(CellOf(1), PF_PackCell(200, 200));
        EXPECT_EQ(Army(1).Building, c.Building);
        EXPECT_EQ(Army(1).EnteredBuilding, 1);
        EXPECT_EQ(Army(1).EnteredThisFrame, 1);
        EXPECT_EQ(ArmyTargets[1][1].LastVisit, c.Building != 0 ? GameClock : 0);
        EXPECT_EQ(ArmyTrackers[1].StepCount, 1);
    }
}

TEST_F(WalkingTest, OrdersEndWithinTwoCells)
{
    PlaceBuilding(1, 202, 200);
    TerrainVertex(200, 200).Cover = 1;
    Army(1).OrderKind = 4;
    Army(1).OrderTarget = 1;
    Army(1).Pos[0] = 199.4f;
    Army(1).Cell = TCellXZ{199, 200};
    SetWaypoints(1, {{199, 200}, {202, 200}});
    StartPathStep(1, false);
    ASSERT_TRUE(AI_Army_Move(1, Minute / 8));
    EXPECT_EQ(Army(1).OrderKind, 0);
    EXPECT_EQ(Army(1).OrderTarget, 0);
    EXPECT_EQ(ArmyTrackers[1].WaypointCount, 0); // the path reset to its cell
    EXPECT_EQ(ReplanQueue.Priority[1], 1);

    // A map point order: two cells are enough, the army may wait there.
    MapPoints.Count = 1;
    MapPoints[1].Cell = TMapCellXZ{203, 200};
    Army(1).OrderKind = 7;
    Army(1).OrderTarget = 1;
    Army(1).WaitAtRouteEnd = 1;
    AIProfiles[1].TimeWaitInField = 30;
    SetWaypoints(1, {{200, 200}, {205, 200}});
    StartPathStep(1, false);
    Army(1).Pos[0] = 200.4f;
    ASSERT_TRUE(AI_Army_Move(1, Minute / 8));
    EXPECT_EQ(Army(1).OrderKind, 0);
    EXPECT_EQ(Army(1).WaitUntil, GameClock + 30 * Minute);
    EXPECT_EQ(Army(1).WaitKind, 1);
}

TEST_F(WalkingTest, WaitingAndStationaryArmiesDoNotMove)
{
    SetWaypoints(1, {{200, 200}, {210, 200}});
    SetArmyWait(1, 1, 10);
    EXPECT_EQ(ArmyTrackers[1].WaypointCount, 0);
    SetWaypoints(1, {{200, 200}, {210, 200}});
    EXPECT_FALSE(AI_Army_Move(1, Minute));
    EXPECT_EQ(Army(1).Pos[0], 200.0f);
    SetArmyWait(1, 0, 0);
    EXPECT_EQ(Army(1).WaitUntil, 0);

    // One zone of radius 0: the army stays at its point and asks for nothing.
    SetZone(1, 200, 200, 0);
    EXPECT_TRUE(UpdateStationary(1));
    RequestReplan(1, 5);
    EXPECT_EQ(ReplanQueue.Priority[1], 0);
    EXPECT_FALSE(AI_Army_Move(1, Minute));

    // A computer army without zones or an order never asks for a route.
    Army(2).ZoneCount = 0;
    EXPECT_TRUE(UpdateStationary(2));
    RequestReplan(2, 3);
    EXPECT_EQ(ReplanQueue.Queued, 0);
    // The player's army has neither rule.
    EXPECT_FALSE(UpdateStationary(PlayerArmy));
    RequestReplan(PlayerArmy, 3);
    EXPECT_EQ(ReplanQueue.Queued, 1);
}

TEST_F(WalkingTest, WithoutAPathTheArmyAsksForOne)
{
    ArmyTrackers[1].ResetPath(CellOf(1));
    Army(1).WaitAtRouteEnd = 1;
    AIProfiles[1].TimeWaitInField = 15;
    EXPECT_FALSE(AI_Army_Move(1, Minute));
    EXPECT_EQ(ReplanQueue.Priority[1], 2);
    EXPECT_EQ(Army(1).WaitUntil, GameClock + 15 * Minute);
}

TEST_F(WalkingTest, PatrolPointsStayInTheirZone)
{
    SetZone(1, 200, 200, 12); // a circle: points drawn within 12 div 4 cells
    for (int round = 0; round < 20; ++round) {
        RandomSeed = static_cast<uint32_t>(round * 7919 + 1);
        ChoosePatrolPoints(1);
        for (int32_t i = 1; i <= 4; ++i) {
            const TCellXZ p = Army(1).PatrolPoints[i];
            EXPECT_LE(std::abs(p.X - 200), 3);
            EXPECT_LE(std::abs(p.Z - 200), 3);
        }
    }

    // All water: nothing qualifies, the draw gives up and keeps the points.
    for (int32_t x = 180; x <= 220; ++x)
        for (int32_t z = 180; z <= 220; ++z)
            TerrainVertex(x, z).GroundClass = 1;
    Army(1).PatrolPoints[1] = TCellXZ{7, 8};
    ChoosePatrolPoints(1);
    EXPECT_EQ(int32_t{Army(1).PatrolPoints[1].X}, 7);
    EXPECT_EQ(int32_t{Army(1).PatrolPoints[1].Z}, 8);

    // Without zones: anywhere on the map but its 32-cell margin.
    Army(1).ZoneCount = 0;
    ChoosePatrolPoints(1);
    for (int32_t i = 1; i <= 4; ++i) {
        EXPECT_GE(int32_t{Army(1).PatrolPoints[i].X}, 32);
        EXPECT_LT(int32_t{Army(1).PatrolPoints[i].X}, MapSize - 32);
    }
}

TEST_F(WalkingTest, ZonesAndCorridors)
{
    Army(1).ZoneCount = 2;
    Army(1).Zones[1] = TArmyZone{PF_PackCell(200, 200), 0, 5};
    Army(1).Zones[2] = TArmyZone{PF_PackCell(260, 200), 2, 5};
    EXPECT_TRUE(IsPointInZones(1, PF_PackCell(204, 200)));
    EXPECT_TRUE(IsPointInZones(1, PF_PackCell(230, 203))); // in the corridor
    EXPECT_FALSE(IsPointInZones(1, PF_PackCell(230, 206)));
    EXPECT_FALSE(IsPointInZones(1, PF_PackCell(128, 200))); // the playable square's edge
    EXPECT_TRUE(IsPointInZones(1, PF_PackCell(196, 200)));
    TerrainVertex(196, 200).GroundClass = 2; // water, behind the corridor's start
    EXPECT_FALSE(IsPointInZones(1, PF_PackCell(196, 200)));
}

TEST_F(WalkingTest, DistancesLeaveOutItselfAndHiddenArmies)
{
    PlaceArmy(2, 210, 200);
    PlaceArmy(3, 203, 200);
    Army(3).Hidden = 1;
    MeasureArmyDistances(1);
    EXPECT_EQ(ArmyDistances[1], 0);
    EXPECT_EQ(ArmyDistances[2], 10);
    EXPECT_EQ(ArmyDistances[3], 0);
    EXPECT_EQ(ArmyDistanceMin, 10);
    Army(2).Active = 0;
    Army(PlayerArmy).Active = 0;
    MeasureArmyDistances(1);
    EXPECT_EQ(ArmyDistanceMin, NoArmyDistance);
}

TEST_F(WalkingTest, ArmiesClosingInNearThePlayerAskForANewRoute)
{
    struct TCase {
        const char* Name;
        int32_t OtherX;
        int64_t OtherHeading;
        bool Check;
        int32_t Priority;
    };
    const TCase cases[] = {
        {"closing in, urgent", 205, 31416, true, 5},
        {"closing in at the edge of the range", 209, 31416, true, 4},
        {"closing in, in between", 207, 31416, true, 0},
        {"drifting apart", 205, 0, true, 0},
        {"the map screen does not check", 205, 31416, false, 0},
    };
    PlaceArmy(PlayerArmy, 230, 200);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ResetArmyMovement();
        ApproachCheck = c.Check ? 1 : 0;
        PlaceArmy(2, c.OtherX, 200);
        Army(2).Heading = c.OtherHeading;
        SetWaypoints(2, {{static_cast<uint16_t>(c.OtherX), 200}, {150, 200}});
        PlaceArmy(1, 199, 200);
        Army(1).Pos[0] = 199.4f;
        SetWaypoints(1, {{199, 200}, {250, 200}});
        StartPathStep(1, false);
        ASSERT_TRUE(AI_Army_Move(1, Minute / 8));
        EXPECT_EQ(ReplanQueue.Priority[1], c.Priority);
        EXPECT_EQ(ArmyTurns[1].Moved, 1);
    }
}

class ReplanTest : public TMapWorldTest {
protected:
    void SetUp() override
    {
        TMapWorldTest::SetUp();
        MakeMapWorld(44, 0); // 45 armies: quota 3
        for (int32_t a = 1; a <= ArmyCount; ++a) {
            PlaceArmy(a, 200, 200);
            SetZone(a, 200, 200, 50);
        }
        GameClock = Day;
    }
};

TEST_F(ReplanTest, QuotaPriorityAndAlternatingLists)
{
    struct TQueued {
        int32_t Army;
        int32_t Priority;
    };
    const TQueued queued[] = {{3, 2}, {1, 5}, {4, 2}, {2, 5}, {5, 2}, {6, 2}, {7, 1}, {8, 5}, {9, 4}};
    for (const TQueued& q : queued)
        RequestReplan(q.Army, q.Priority);
    Army(8).WaitUntil = GameClock + Minute; // waits: not served
    EXPECT_EQ(ReplanQueue.Queued, 9);

    EXPECT_FALSE(AI_ProcessReplans());
    // Priority 5: 1 and 2; then one more while fewer than four are served: 9
    // (priority 4) ... and 3 of priority 2.
    EXPECT_EQ(ReplanLists[0], (TIntArray{2, 1, 9}));
    EXPECT_EQ(ReplanLists[1], (TIntArray{2, 2, 3}));
    struct TAfter {
        int32_t Army;
        int32_t Priority;
    };
    const TAfter after[] = {{1, 0}, {2, 0}, {3, 0}, {9, 0}, {4, 3}, {5, 3}, {6, 3}, {7, 2}, {8, 5}};
    for (const TAfter& a : after)
        EXPECT_EQ(ReplanQueue.Priority[static_cast<size_t>(a.Army)], a.Priority) << "army " << a.Army;
    EXPECT_EQ(ReplanQueue.Queued, 5);

    // Every priority-5 army is served, however many.
    for (int32_t a = 10; a <= 20; ++a)
        RequestReplan(a, 5);
    Army(8).WaitUntil = 0;
    AI_ProcessReplans();
    EXPECT_EQ(ReplanLists[0][0] + ReplanLists[1][0], 12);
    EXPECT_EQ(ReplanQueue.Priority[4], 4);

    RequestReplan(PlayerArmy, 1);
    for (int i = 0; i < 5; ++i)
        if (AI_ProcessReplans())
            return;
    ADD_FAILURE() << "the player's army was never planned";
}

class RespawnTest : public WalkingTest {
protected:
    void SetUp() override
    {
        WalkingTest::SetUp();
        Type = AddType("Soldier").UnitType;
        Recruit(1, Type, 0, 3);
        TGameArmy& a = Army(1);
        a.Active = 0;
        a.Defeated = 1;
        a.CanRespawn = 1;
        a.RespawnEnabled = 1;
        a.RespawnDays = 2;
        a.RespawnAtOwn = 1;
        a.DefeatClock = GameClock;
        HomeBuildingLists[0] = TIntArray{2, 1, 2};
        PlaceBuilding(1, 250, 250);
        PlaceBuilding(2, 260, 260);
        State(1).OwnerArmy = 1;
        MapArmies[1].Slots[0] = TMapArmySlot{static_cast<int16_t>(Type), 3, 0, 0, 0, {}};
        MapArmies[1].Slots[1] = TMapArmySlot{static_cast<int16_t>(Type), 2, 0, 0, 0, {}};
    }
    int32_t Type = 0;
};

TEST_F(RespawnTest, ABeatenArmyReturnsAfterItsDaysWithItsLeader)
{
    GameClock += 2 * Day;
    EXPECT_FALSE(AI_Army_Active(1));
    EXPECT_EQ(Army(1).Active, 0);
    GameClock += 1;
    EXPECT_FALSE(AI_Army_Active(1)); // back, acting from the next frame
    EXPECT_EQ(Army(1).Active, 1);
    EXPECT_EQ(Army(1).Defeated, 0);
    EXPECT_EQ(Army(1).Building, 1);
    EXPECT_EQ(CellOf(1), PF_PackCell(250, 250));
    EXPECT_EQ(Army(1).PersonageCount, 1);
    EXPECT_EQ(Unit(1, 2).UnitType, 0);
    EXPECT_GT(Unit(1, 1).Hits, 0);
    EXPECT_EQ(ReplanQueue.Priority[1], 5);
    EXPECT_TRUE(AI_Army_Active(1));
}

TEST_F(RespawnTest, TheWorldLogTellsOfTheReturn)
{
    static std::vector<std::string> logged;
    logged.clear();
    SetWorldLogSink([](const std::string& line) { logged.push_back(line); });
    ArmyTexts[1].Name = u"Rovers";
    GameClock += 2 * Day + 1;
    AI_Army_Active(1);
    ActivateArmy(2, 0);
    SetWorldLogSink(nullptr);
    EXPECT_EQ(logged, (std::vector<std::string>{"returns: #1 Rovers at #1 Building 1", "takes the field: #2 "}));
}

TEST_F(RespawnTest, AFullReturnBringsTheScenarioPersonages)
{
    Army(1).RespawnFull = 1;
    GameClock += 2 * Day + 1;
    AI_Army_Active(1);
    ASSERT_EQ(Army(1).Active, 1);
    EXPECT_EQ(Army(1).PersonageCount, 3); // the leader and two of slot 1
    EXPECT_EQ(Unit(1, 1).ExpLevel, 2);
}

TEST_F(RespawnTest, NoBuildingLeavesItBeaten)
{
    State(1).OwnerArmy = -1;
    GameClock += 3 * Day;
    AI_Army_Active(1);
    EXPECT_EQ(Army(1).Active, 0);
    EXPECT_EQ(Army(1).CanRespawn, 0);

    // Through the group, by hire value.
    Army(1).CanRespawn = 1;
    Army(1).RespawnAtGroup = 1;
    State(2).OwnerGroup = 0;
    State(2).HireSlots[1].UnitType = static_cast<int16_t>(Type);
    State(2).HireSlots[1].Stock = 2;
    UnitTypes[Type].Strength = 10;
    AI_Army_Active(1);
    EXPECT_EQ(Army(1).Active, 1);
    EXPECT_EQ(Army(1).Building, 2);
}

} // namespace
