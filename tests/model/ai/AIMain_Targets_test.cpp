// Goals of computer armies, their seeds and the route planning.
#include "model/ai/AIMain_Targets.h"
#include "tests/model/GameTimeUnits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "model/ai/AIMain_Strategy.h"
#include "model/world/Prices.h"
#include "model/world/World_Log.h"
#include "tests/fakes/RecordingRenderHooks.h"
#include "tests/model/MapWorldTestSupport.h"

namespace {

class TargetsTest : public TMapWorldTest {
protected:
    void SetUp() override
    {
        TMapWorldTest::SetUp();
        MakeMapWorld(3, 2);
        PlaceArmy(1, 200, 200);
        PlaceArmy(2, 210, 200);
        SetZone(1, 200, 200, 100);
        GameClock = 100 * Day;
    }
};

TEST_F(TargetsTest, TalkGoalGrowsWithTheTimeSinceTheLastMeeting)
{
    AIProfiles[1].MaxTalking = 50;
    SetMutualAttitude(1, 2, 30); // relation 1 both ways: q = 4 days
    Army(1).SeeksTalk = 1;
    ArmyMoves[1][2].LastMeeting = GameClock - 10 * Day;
    EXPECT_EQ(AI_Army_TargetToArmy(1, 2), 959); // 50 - 50 / 2.5^2 = 42
    EXPECT_EQ(ArmyMoves[1][2].Pursuit, 1);
    EXPECT_EQ(ArmyMoves[1][2].IsTarget, 1);

    ArmyMoves[1][2].LastMeeting = GameClock - 3 * Day; // within q: no pursuit
    EXPECT_EQ(AI_Army_TargetToArmy(1, 2), 0);
    EXPECT_EQ(ArmyMoves[1][2].Pursuit, 0);

    Army(1).TalkAlways = 1; // at least a day: the full weight
    EXPECT_EQ(AI_Army_TargetToArmy(1, 2), 951);
    EXPECT_EQ(ArmyMoves[1][2].Pursuit, 1);
}

TEST_F(TargetsTest, AnOrderThatAllowsTargetsHalvesTheirAttraction)
{
    AIProfiles[1].MaxTalking = 201;
    Army(1).TalkAlways = 1;
    ArmyMoves[1][2].LastMeeting = GameClock - 2 * Day;
    EXPECT_EQ(AI_Army_TargetToArmy(1, 2), 800);
    Army(1).OrderKind = 4;
    Army(1).OrderAllowsTargets = 1;
    EXPECT_EQ(AI_Army_TargetToArmy(1, 2), 900);
}

TEST_F(TargetsTest, HostileScoresFromTheBattleTable)
{
    TAIProfile profile;
    profile.AttackArmyNormal = 800;
    profile.AttackArmySuicidal = 500;
    const long double f = 0.75L; // relation -1
    struct TCase {
        bool Won;
        long double Loss;
        int32_t Boldness;
        int32_t Score;
    };
    const TCase cases[] = {
        {true, 20, -50, -34}, // too costly for a cautious army: a danger of radius 34
        {true, 0, -50, 401},  {true, 20, 0, 428},  {true, 20, 50, 214},
        {false, 60, 50, 581}, // daring: beaten but the enemy loses more than its boldness
        {false, 30, 50, -44}, {false, 60, 0, -68}, {false, 60, -50, -102},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Won << " " << static_cast<double>(c.Loss) << " " << c.Boldness);
        EXPECT_EQ(ScoreHostileBattle(profile, c.Won, c.Loss, f, c.Boldness), c.Score);
    }
}

TEST_F(TargetsTest, SideLossByEndState)
{
    auto side = std::make_unique<TBattleSide>();
    std::memset(static_cast<void*>(side.get()), 0, sizeof(TBattleSide));
    side->StartCount = 4;
    const uint8_t states[] = {0, 2, 5, 6};
    const int16_t hits[] = {10, 5, 0, 0};
    for (int n = 1; n <= 4; ++n) {
        side->Personages[n].BattleState = states[n - 1];
        side->Personages[n].Hits = hits[n - 1];
        side->Personages[n].Stats[statHits] = 10;
    }
    // 100 - 25 - 25 x 1.5 / 2 - 25 / 3
    EXPECT_NEAR(static_cast<double>(SideLoss(*side)), 47.9167, 1e-3);
    side->StartCount = 0;
    EXPECT_EQ(static_cast<double>(SideLoss(*side)), 100.0);
}

TEST_F(TargetsTest, HostileArmyScoreIsCachedUntilStale)
{
    AIProfiles[1].AttackArmyNormal = 800;
    AIProfiles[1].AttackArmySuicidal = 500;
    SetMutualAttitude(1, 2, -30); // relation -1
    Army(1).SeeksBattles = 1;
    const int32_t type = AddType("Soldier").UnitType;
    Recruit(1, type, 0, 3);
    Recruit(2, type, 0, 1);
    ArmyMoves[1][2].Stale = 1;
    const int32_t first = AI_Army_TargetToArmy(1, 2);
    EXPECT_GT(first, 0); // three against one: won cheaply
    EXPECT_EQ(ArmyMoves[1][2].Stale, 0);
    EXPECT_EQ(ArmyMoves[1][2].Score, first);

    ArmyMoves[1][2].Score = 123;
    EXPECT_EQ(AI_Army_TargetToArmy(1, 2), 123);
    InvalidateArmyTargets(2);
    EXPECT_EQ(ArmyMoves[1][2].Stale, 1);
    EXPECT_EQ(AI_Army_TargetToArmy(1, 2), first);

    Army(1).SeeksBattles = 0;
    EXPECT_EQ(AI_Army_TargetToArmy(1, 2), 0);
}

TEST_F(TargetsTest, TheSilentBattleCanBeReplaced)
{
    SetMutualAttitude(1, 2, -30);
    Army(1).SeeksBattles = 1;
    AIProfiles[1].AttackArmyNormal = 800;
    static int32_t calls;
    calls = 0;
    SetSilentBattle([](int32_t, int32_t, int32_t, TBattleSide& a, TBattleSide& d) {
        ++calls;
        std::memset(static_cast<void*>(&a), 0, sizeof a);
        std::memset(static_cast<void*>(&d), 0, sizeof d);
        a.Result = SideWon;
        d.Result = SideLost;
    });
    ArmyMoves[1][2].Stale = 1;
    AI_Army_TargetToArmy(1, 2);
    SetSilentBattle(nullptr);
    EXPECT_EQ(calls, 1);
}

class BuildingTargetsTest : public TargetsTest {
protected:
    void SetUp() override
    {
        TargetsTest::SetUp();
        PlaceBuilding(1, 220, 200);
        State(1).OwnerArmy = 1;
        MapBuildings[1].ServiceC = 1;
        Army(1).WoundPercent = 50;
        AIProfiles[1].MinHealing = 500;
        AIProfiles[1].MaxHealing = 900;
    }
};

TEST_F(BuildingTargetsTest, ARecentVisitOffersOnlyTheRestGoal)
{
    EXPECT_EQ(AI_Army_TargetToBuilding(1, 1), 301); // healing 500 + 400 x 50 %
    ArmyTargets[1][1].LastVisit = GameClock - 100 * Minute;
    EXPECT_EQ(AI_Army_TargetToBuilding(1, 1), 0);

    // The rest goal: an hour before the active time, 200 cells of walking away.
    PlaceBuilding(1, 400, 200);
    TArmyBehaviorRules& rules = ArmyBehaviorRules[0];
    rules.RestBuildings = 1 << MapBuildings[1].BuildingType;
    rules.ActiveFrom = 600;
    rules.ActiveTo = 120;
    MapArmies[1].WaitsInBuildings = 1;
    GameClock = 100 * Day + 540 * Minute;
    ArmyTargets[1][1].LastVisit = GameClock - 100 * Minute;
    EXPECT_EQ(RestTimeOffset(1), 60);
    // 100 x 60 / (120 + 800 / 7.5) + 1
    EXPECT_EQ(AI_Army_TargetToBuilding(1, 1), 27);
    State(1).OwnerArmy = -1;
    State(1).OwnerGroup = 0; // a's group: twice
    EXPECT_EQ(AI_Army_TargetToBuilding(1, 1), 54);
}

TEST_F(BuildingTargetsTest, AHireSlotPricedAtTheArmysGoldDoesNotCount)
{
    MapBuildings[1].ServiceC = 0;
    MapBuildings[1].HasHire = 1;
    TPersonage& type = AddType("Recruit");
    type.Cost = 100;
    State(1).HireSlots[1].UnitType = static_cast<int16_t>(type.UnitType);
    State(1).HireSlots[1].Stock = 3;
    Army(1).SupportLimit = 5;
    AIProfiles[1].MinRecruit = 300;
    AIProfiles[1].MaxRecruit = 800;
    RecruitHiring = 100;
    const int32_t price = GetHirePrice(1, 1, 1);
    ASSERT_GT(price, 0);
    Army(1).Gold = price;
    EXPECT_EQ(AI_Army_TargetToBuilding(1, 1), 0);
    Army(1).Gold = price + 1;
    EXPECT_EQ(AI_Army_TargetToBuilding(1, 1), 1001 - 600); // 300 + 500 x 3 / 5
}

TEST_F(BuildingTargetsTest, NoBuyingGoalWithoutAThreshold)
{
    MapBuildings[1].ServiceC = 0;
    MapBuildings[1].HasShop = 1;
    ArmyBehaviorRules[0].Flag1 = true;
    Army(1).Gold = 5000;
    AIProfiles[1].MinPurchase = 300;
    AIProfiles[1].PurchaseRange = 300;
    EXPECT_EQ(AI_Army_TargetToBuilding(1, 1), 0);
    AIProfiles[1].GoldPurchase = 800; // sqrt(6.25) = 2.5: the full range
    EXPECT_EQ(AI_Army_TargetToBuilding(1, 1), 1001 - 600);
}

TEST_F(BuildingTargetsTest, HostileOrOwnerlessBuildings)
{
    State(1).OwnerArmy = -1; // nobody's: hostile to all, and no goal
    EXPECT_EQ(GetRelation(1, -1, false), -1);
    EXPECT_EQ(AI_Army_TargetToBuilding(1, 1), 0);

    State(1).OwnerArmy = 2;
    SetMutualAttitude(1, 2, -30);
    AIProfiles[1].AttackBuildingNormal = 800; // an empty garrison: 800 x 0.75
    EXPECT_EQ(AI_Army_TargetToBuilding(1, 1), 401);
    Army(1).Boldness = 50; // 1000 - 400 x 0.5
    EXPECT_EQ(AI_Army_TargetToBuilding(1, 1), 201);
}

TEST_F(TargetsTest, ErrorsAreReportedAndGiveNoInterest)
{
    TRecordingRenderHooks render;
    render.WindowedFlag = true;
    SetRenderHooks(&render);
    Army(1).Profile = 0; // no such profile
    EXPECT_EQ(AI_Army_TargetToArmy(1, 2), 0);
    EXPECT_EQ(AI_Army_TargetToBuilding(1, 1), 0);
    SetRenderHooks(nullptr);
    ASSERT_EQ(render.Calls.size(), 6u);
    EXPECT_EQ(render.Calls[0], "ShowCursor");
    EXPECT_EQ(render.Calls[1].rfind("MessageBox Main AI Error: AI_Army_TargetToArmy, time ", 0), 0u);
    EXPECT_NE(render.Calls[1].find(", army #1"), std::string::npos);
    EXPECT_NE(render.Calls[1].find(", to army #2"), std::string::npos);
    EXPECT_EQ(render.Calls[2], "HideCursor");
    EXPECT_NE(render.Calls[4].find(", building #1"), std::string::npos);

    // Full screen, the error goes to the world log when one is kept.
    static std::vector<std::string> logged;
    logged.clear();
    SetWorldLogSink([](const std::string& line) { logged.push_back(line); });
    EXPECT_EQ(AI_Army_TargetToArmy(1, 2), 0);
    SetWorldLogSink(nullptr);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].rfind("Main AI Error: AI_Army_TargetToArmy, time ", 0), 0u);
}

TEST_F(TargetsTest, NearGoalsAreCheaper)
{
    TPF_Tracker& t = ArmyTrackers[1];
    t.ClearSeeds();
    AddRouteSeed(CellOf(1), 1000, SeedBuilding, 1);
    AddRouteSeed(PF_PackCell(201, 200), 999, SeedArmy, 1); // distance 1: 999 / (1 + 31 / 16)
    AddRouteSeed(PF_PackCell(202, 200), 999, SeedPatrol, 1);
    AddRouteSeed(PF_PackCell(240, 200), 999, SeedBuilding, 1); // 40 cells: as it is
    ASSERT_EQ(t.SeedCount, 4);
    EXPECT_EQ(t.Seeds[0].Cost, 200 + 1);
    EXPECT_EQ(t.Seeds[1].Cost, 340 + 1);
    EXPECT_EQ(t.Seeds[2].Cost, 999 + 1);
    EXPECT_EQ(t.Seeds[3].Cost, 999 + 1);
}

TEST_F(BuildingTargetsTest, AComputerArmyPlansToTheCheaperGoalAndWalksThere)
{
    PlaceArmy(2, 400, 400); // out of sight
    PlaceBuilding(2, 180, 200);
    State(2).OwnerArmy = 1;
    MapArmies[1].BypassFlag = 1;
    AIProfiles[1].BypassPossession = 200; // both get it; only building 1 heals
    TTerrainVertex& door = TerrainVertex(220, 200);
    door.Cover = 1;
    ASSERT_TRUE(AI_PlanRoute(1));
    const TPF_Tracker& t = ArmyTrackers[1];
    ASSERT_GE(t.WaypointCount, 1);
    EXPECT_EQ(t.Waypoints[static_cast<size_t>(t.WaypointCount)].X, 220);
    EXPECT_EQ(t.Waypoints[static_cast<size_t>(t.WaypointCount)].Y, 200);

    for (int i = 0; i < 100 && Army(1).Building == 0; ++i)
        AI_Army_Move(1, Minute / 4);
    EXPECT_EQ(Army(1).Building, 1);
    EXPECT_EQ(ArmyTargets[1][1].LastVisit, GameClock);
    EXPECT_NEAR(Army(1).Pos[0], 220.0f, 0.51f);
}

TEST_F(TargetsTest, ThePlayersArmyPlansToItsTargetCell)
{
    PlaceArmy(PlayerArmy, 150, 150);
    PlayerTargetCell = TCellXZ{150, 150};
    EXPECT_FALSE(AI_PlanRoute(PlayerArmy)); // already there
    PlayerTargetCell = TCellXZ{170, 150};
    ASSERT_TRUE(AI_PlanRoute(PlayerArmy));
    const TPF_Tracker& t = ArmyTrackers[0];
    EXPECT_EQ(t.Waypoints[static_cast<size_t>(t.WaypointCount)].X, 170);

    // Following an army whose cell is closed: opened for the planning only.
    PlaceArmy(2, 190, 150);
    PlayerTargetArmy = 2;
    PlayerTargetCell = TCellXZ{190, 150};
    TerrainVertex(190, 150).Cost = 0;
    SetPathCost(PF_PackCell(190, 150), 0);
    EXPECT_TRUE(AI_PlanRoute(PlayerArmy));
    EXPECT_EQ(ArmyMoves[0][2].IsTarget, 1);
    EXPECT_EQ(GetPathCost(PF_PackCell(190, 150)), 0);
}

// A walk may end a frame on a closed cell (a corner cut between two path
// points): the army still finds its way out, and the cell stays closed.
TEST_F(TargetsTest, AnArmyStandingOnAClosedCellStillPlansAWayOut)
{
    PlaceArmy(2, 400, 400); // out of sight
    Army(1).RouteFlags[2] = 1;
    Army(1).PatrolPoints[1] = TCellXZ{230, 200};
    SetPathCost(CellOf(1), 0);
    ASSERT_TRUE(AI_PlanRoute(1));
    const TPF_Tracker& t = ArmyTrackers[1];
    ASSERT_GE(t.WaypointCount, 1);
    EXPECT_EQ(t.Waypoints[static_cast<size_t>(t.WaypointCount)].X, 230);
    EXPECT_EQ(GetPathCost(CellOf(1)), 0);
}

} // namespace
