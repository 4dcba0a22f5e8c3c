// The world set-up: seeds, clock and event schedules, armies, buildings and
// treasuries of a new game, and the loaded-game branch.
#include "model/world/World_Setup.h"

#include <gtest/gtest.h>

#include "model/scenario/ScenarioMap.h"
#include "model/world/World_Digest.h"
#include "tests/support/TestSupport.h"
#include "tests/model/GameTimeUnits.h"
#include "tests/model/MapWorldTestSupport.h"

namespace {

class WorldSetupTest : public TMapWorldTest {
protected:
    void SetUp() override
    {
        TMapWorldTest::SetUp();
        ClearEvents();
        Soldier = AddType("Soldier").UnitType;
        Knight = AddType("Knight").UnitType;
        MapStory.StartDate = 600; // day 0, 10:00
        MapStory.GroupCount = 1;
        MapStory.GroupRelations = {TIntArray{100, -50}, TIntArray{-40, 100}};
        TMapHero& hero = MapStory.Heroes[1];
        hero.Gold = 300;
        hero.Banner = 7;
        hero.Slots[0] = TMapArmySlot{static_cast<int16_t>(Knight), 3, 0, 0, 0, {}};
        hero.Slots[1] = TMapArmySlot{static_cast<int16_t>(Soldier), 2, 0, 0, 0, {}};
        hero.Items[1] = 0;
        AddPoint(1, 200, 210, 1, 0);

        MapArmies.Count = 2;
        AddArmy(1, 250, 250, TArmyBehavior::Feudal, 0);
        AddArmy(2, 300, 300, TArmyBehavior::Bandits, 1);
        MapBuildings.Count = 2;
        for (int32_t b = 1; b <= 2; ++b) {
            TMapBuilding& record = MapBuildings[b];
            record = TMapBuilding{};
            record.OwnerArmy = -1;
            record.OwnerGroup = -1;
            record.Banner = static_cast<uint8_t>(20 + b);
            record.Cell = TMapCellXZ{static_cast<int16_t>(220 + 20 * b), 220};
            record.BuildingType = static_cast<uint8_t>(b == 1 ? TBuildingType::Castle : TBuildingType::Village);
            BuildingTexts[b].Name = b == 1 ? u"Keep" : u"Hamlet";
        }
        MapBuildings[1].InfluenceRadius = 30;
        MapBuildings[1].HasHire = 1;
        MapChanged = true;
        HeroKind = 1;
    }
    // No events yet: the table holds entry 0 only.
    static void ClearEvents()
    {
        StoryEvents.assign(1, TStoryEvent{});
        StoryEventCount = 0;
    }

    static void AddPoint(int32_t p, int32_t x, int32_t z, int32_t kind, int8_t heroKind)
    {
        MapPoints.Count = std::max(MapPoints.Count, p);
        TMapPoint& point = MapPoints[p];
        point = TMapPoint{};
        point.Pos[0] = static_cast<float>(x);
        point.Pos[2] = static_cast<float>(z);
        point.Cell = TMapCellXZ{static_cast<int16_t>(x), static_cast<int16_t>(z)};
        point.Kind = kind;
        point.HeroKind = heroKind;
    }

    void AddArmy(int32_t a, int32_t x, int32_t z, TArmyBehavior behaviour, uint8_t group)
    {
        TMapArmy& record = MapArmies[a];
        record = TMapArmy{};
        record.Pos[0] = static_cast<float>(x);
        record.Pos[2] = static_cast<float>(z);
        record.Behavior = static_cast<uint8_t>(behaviour);
        record.Group = group;
        record.Banner = static_cast<uint8_t>(10 + a);
        record.Active = 1;
        record.SpeedPercent = 100;
        record.Profile = 1;
        record.Slots[0] = TMapArmySlot{static_cast<int16_t>(Soldier), 1, 0, 0, 0, {}};
        record.ZoneCount = 1;
        record.Zones[1] = TArmyZone{PF_PackCell(x, z), 0, 20};
        ArmyTexts[a].Name = u"Army";
    }

    // An event with the given requirements.
    static int32_t AddEvent(std::initializer_list<TStoryRequire> list, int32_t uid, int32_t stages = 1)
    {
        TStoryEvent event{};
        event.Requires = list;
        event.RequireCount = static_cast<int32_t>(list.size());
        event.StageCount = stages;
        event.Stages.resize(static_cast<size_t>(stages));
        event.Uid = uid;
        StoryEvents.push_back(event);
        StoryEventCount = static_cast<int32_t>(StoryEvents.size()) - 1;
        return StoryEventCount;
    }

    static TStoryRequire Require(uint8_t kind, uint8_t sub, uint8_t op, int32_t a)
    {
        TStoryRequire r{};
        r.Kind = kind;
        r.Sub = sub;
        r.Op = op;
        r.ValueA = a;
        return r;
    }

    int32_t Soldier = 0;
    int32_t Knight = 0;
};

TEST_F(WorldSetupTest, SeedsAndTheStartClock)
{
    InitWorld(false, 0);
    const int32_t drawn = GameSeed;
    EXPECT_EQ(drawn % 10000, 0);
    EXPECT_GE(drawn, 0);
    EXPECT_LT(drawn, 1000000000);
    EXPECT_EQ(V(MapStory.Personalization), 1); // 0 is read as the first level
    EXPECT_EQ(PersonalizationLevel, 1);

    MapStory.StartDate = 3 * 1440 + 600;
    InitWorld(false, 12345);
    EXPECT_EQ(GameSeed, 12345);
    EXPECT_EQ(GameClock, 6000000);
    EXPECT_EQ(GameStartDate, 4920);
    EXPECT_EQ(GameHour, 10);
    EXPECT_EQ(NextHourMark, 660 * Minute);
    EXPECT_EQ(NextDayMark, (1440 + 540) * Minute);

    // The same seed sets up the same world, whatever came before.
    const uint32_t digest = WorldDigest();
    InitWorld(false, 777);
    InitWorld(false, 12345);
    EXPECT_EQ(WorldDigest(), digest);
}

TEST_F(WorldSetupTest, EventSchedulesAndFollowUps)
{
    const struct {
        uint8_t Sub;
        uint8_t Hour;
        int32_t Day;
        int64_t Expected;
    } rows[] = {
        {0, 10, 2, 2 * 1440 * Minute},
        {1, 10, 2, (2 * 1440 + 600) * Minute},
        {1, static_cast<uint8_t>(-2), 3, (3 * 1440 - 120) * Minute},
        {2, 10, 2, NeverScheduled},
        {3, 10, 2, NeverScheduled},
    };
    for (const auto& row : rows)
        AddEvent({Require(2, row.Sub, row.Hour, row.Day)}, 50);
    const int32_t last = AddEvent({Require(2, 0, 0, 1), Require(1, 0, 0, 0), Require(2, 1, 6, 4)}, 51);
    const int32_t follow = AddEvent({Require(11, 0, 0, 2), Require(11, 0, 0, last)}, 52);
    const int32_t none = AddEvent({Require(11, 0, 0, 0)}, 53);
    InitWorld(false, 1);

    ASSERT_EQ(GameEvents.size(), static_cast<size_t>(StoryEventCount) + 1);
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(GameEvents[i + 1].ScheduledClock, rows[i].Expected) << "row " << i;
    EXPECT_EQ(GameEvents[static_cast<size_t>(last)].ScheduledClock, (4 * 1440 + 360) * Minute); // the last wins
    EXPECT_EQ(GameEvents[static_cast<size_t>(follow)].ScheduledClock, 0);
    for (int32_t e = 1; e <= StoryEventCount; ++e) {
        EXPECT_EQ(GameEvents[static_cast<size_t>(e)].Stage, -1);
        EXPECT_EQ(GameEvents[static_cast<size_t>(e)].LastClock, -Minute);
        EXPECT_EQ(GameEvents[static_cast<size_t>(e)].EventUid, StoryEvents[static_cast<size_t>(e)].Uid);
    }
    EXPECT_EQ(FollowUpEvents[2], TIntArray{follow});
    EXPECT_EQ(FollowUpEvents[static_cast<size_t>(last)], TIntArray{follow});
    EXPECT_TRUE(FollowUpEvents[static_cast<size_t>(none)].empty());
}

TEST_F(WorldSetupTest, TheHeroStartsFromItsBlock)
{
    AddPoint(2, 180, 180, 1, 2); // another hero's start comes first in the list
    std::swap(MapPoints[1], MapPoints[2]);
    MapStory.Heroes[1].Items[2] = 4;
    InitWorld(false, 1);
    const TGameArmy& hero = Army(PlayerArmy);
    EXPECT_EQ(V(hero.Pos[0]), 200.0f);
    EXPECT_EQ(V(hero.Pos[2]), 210.0f);
    EXPECT_EQ(CellOf(PlayerArmy), PF_PackCell(200, 210));
    EXPECT_EQ(V(hero.Gold), 300);
    EXPECT_EQ(HourlyGoldSamples[23], 300);
    EXPECT_EQ(hero.RouteFlags[2], 4);
    EXPECT_EQ(hero.Active, 1);
    EXPECT_EQ(V(hero.Banner), 7);
    EXPECT_EQ(V(hero.WalkSpeed), 75000);
    EXPECT_EQ(V(hero.LastFoe), -1);
    EXPECT_EQ(hero.PersonageCount, 3); // the leader and two companions
    EXPECT_EQ(V(Unit(PlayerArmy, 1).UnitType), Knight);
    EXPECT_EQ(V(Unit(PlayerArmy, 1).ExpLevel), 2); // two levels more
    EXPECT_EQ(V(hero.LeaderType), Knight);
    EXPECT_EQ(V(hero.ItemCount), 1);
    EXPECT_EQ(ArmyItems[PlayerArmy][1], 4);

    // A hero carried over from the last scenario brings its own companions
    // and items; a kind without a start block starts from nothing.
    CampaignContinued = 1;
    InitWorld(false, 1);
    EXPECT_EQ(Army(PlayerArmy).PersonageCount, 1);
    EXPECT_EQ(V(Army(PlayerArmy).ItemCount), 0);
    CampaignContinued = 0;
    HeroKind = 9;
    InitWorld(false, 1);
    EXPECT_EQ(Army(PlayerArmy).PersonageCount, 0);
    EXPECT_EQ(V(Army(PlayerArmy).Gold), 0);
    EXPECT_EQ(V(Army(PlayerArmy).Pos[0]), 200.0f); // the start point of any hero
    MapPoints[2].HeroKind = 1;
    InitWorld(false, 1);
    EXPECT_EQ(V(Army(PlayerArmy).Pos[0]), 0.0f); // none for kind 9: the army stays at 0
}

TEST_F(WorldSetupTest, ScenarioArmiesTakeTheirRecordsBytes)
{
    TMapArmy& record = MapArmies[1];
    record.Heading = 1.5f;
    record.RouteFlags[1] = 1;
    record.RouteFlags[3] = 3;
    record.Gold = 40000;
    record.AnchorBuilding = 0xFFFE; // stored unsigned, kept as its bits
    record.SpeedPercent = 50;
    record.RespawnEnabled = 1;
    record.Items[1] = 5;
    record.Items[3] = 6;
    record.Slots[1] = TMapArmySlot{static_cast<int16_t>(Soldier), 2, 0, 0, 0, {}};
    InitWorld(false, 1);
    const TGameArmy& army = Army(1);
    EXPECT_EQ(V(army.Heading), 15000);
    EXPECT_EQ(V(army.ShownHeading), 15000);
    EXPECT_EQ(army.RouteFlags[0], 1);
    EXPECT_EQ(army.RouteFlags[2], 3);
    EXPECT_EQ(V(army.Gold), 40000);
    EXPECT_EQ(V(army.AnchorBuilding), -2);
    EXPECT_EQ(V(army.WalkSpeed), 37500);
    EXPECT_EQ(army.CanRespawn, 1);
    EXPECT_EQ(V(army.Banner), 11);
    EXPECT_EQ(army.PersonageCount, 3);
    EXPECT_EQ(V(army.ItemCount), 2);
    EXPECT_EQ(ArmyItems[1][2], 6);
    EXPECT_EQ(army.ZoneCount, 1);
    EXPECT_EQ(V(army.Zones[1].Cell), PF_PackCell(250, 250));
    // Attitudes from the diplomacy of the groups.
    EXPECT_EQ(V(ArmyMoves[1][2].Attitude), -50);
    EXPECT_EQ(V(ArmyMoves[2][1].Attitude), -40);
    EXPECT_EQ(V(ArmyMoves[2][2].Attitude), 100);
    // The loading bar counts every army of the planning step.
    EXPECT_EQ(LoadingProgress.load(), 3);
}

TEST_F(WorldSetupTest, UndeadsHideByDay)
{
    MapArmies[2].Behavior = static_cast<uint8_t>(TArmyBehavior::Undeads);
    const struct {
        int32_t StartMinute;
        uint8_t Hidden;
    } rows[] = {{12 * 60, 1}, {22 * 60, 0}, {3 * 60, 0}, {6 * 60, 1}};
    for (const auto& row : rows) {
        MapStory.StartDate = 1440 + row.StartMinute;
        InitWorld(false, 1);
        EXPECT_EQ(Army(2).Hidden, row.Hidden) << row.StartMinute;
        EXPECT_EQ(Army(1).Hidden, 0) << row.StartMinute;
    }
}

TEST_F(WorldSetupTest, TheHerosBannerOnStartBuildingsAndVassals)
{
    MapBuildings[2].HeroStart[1] = 1;
    MapBuildings[2].OwnerArmy = 2;
    MapBuildings[2].OwnerGroup = 1;
    for (int32_t a = 1; a <= 2; ++a) {
        MapArmies[a].Group = 0;
        MapArmies[a].LordArmy = PlayerArmy;
    }
    MapArmies[1].LordKind = 2;
    MapArmies[2].LordKind = 1;
    const struct {
        int32_t Coat;
        int32_t Expected;
    } rows[] = {{33, 33}, {0, 7}};
    for (const auto& row : rows) {
        ChosenCoat = row.Coat;
        InitWorld(false, 1);
        EXPECT_EQ(V(State(2).OwnerArmy), PlayerArmy);
        EXPECT_EQ(V(State(2).OwnerGroup), 0);
        EXPECT_EQ(V(State(2).Banner), row.Expected);
        EXPECT_EQ(V(Army(GetGarrisonArmyIndex(2)).Banner), row.Expected);
        EXPECT_EQ(V(Army(1).Banner), row.Expected); // serves under the hero
        EXPECT_EQ(V(Army(2).Banner), 12);           // lord kind 1 keeps its own
        EXPECT_EQ(V(State(1).Banner), 21);
        EXPECT_EQ(V(State(1).OwnerArmy), -1);
    }
    // Another hero kind does not start with the building.
    HeroKind = 2;
    InitWorld(false, 1);
    EXPECT_EQ(V(State(2).OwnerArmy), 2);
}

TEST_F(WorldSetupTest, BuildingsGetTheirGarrisonsHireSlotsAndBarriers)
{
    TMapBuilding& keep = MapBuildings[1];
    keep.Gold = 70;
    keep.IncomeBonus = 5;
    keep.Closed = 1;
    keep.GarrisonInactive = 1;
    keep.AssaultA = 300;
    keep.Garrison[0] = TMapArmySlot{static_cast<int16_t>(Soldier), 2, 0, 0, 0, {}};
    keep.Garrison[3] = TMapArmySlot{static_cast<int16_t>(Knight), 1, 0, 0, 0, {}};
    keep.HireSlots[2] = TMapHireSlot{static_cast<int16_t>(Soldier), 9, 4, 1, 0, 0, 1, 1, 0, {}};
    keep.HireSlots[3] = TMapHireSlot{static_cast<int16_t>(Knight), 9, 0, 1, 0, 0, 1, 1, 0, {}};
    keep.GarrisonItems[1] = 3;
    AddPoint(2, 260, 260, 0, 0);
    MapPoints[2].Radius = 2;
    MapPoints[2].ClosedAtStart = 1;
    InitWorld(false, 1);

    const TGameBuilding& state = State(1);
    EXPECT_EQ(state.Closed, 1);
    EXPECT_EQ(state.HireOpen + state.ShopOpen + state.HealingOpen + state.ServiceSwitch4, 4);
    EXPECT_EQ(V(state.AssaultA), 300);
    const int32_t g = GetGarrisonArmyIndex(1);
    EXPECT_EQ(V(Army(g).Gold), 75);
    EXPECT_EQ(Army(g).PersonageCount, 3);
    EXPECT_EQ(Army(g).Active, 0);
    EXPECT_EQ(V(Army(g).ItemCount), 1);
    EXPECT_EQ(V(state.HireSlots[2].Stock), 4);
    EXPECT_EQ(V(state.HireSlots[2].UnitType), Soldier);
    EXPECT_EQ(V(state.HireSlots[3].UnitType), 0); // no start stock
    EXPECT_EQ(V(state.Treasury), 0);              // no treasury scenario
    EXPECT_EQ(Army(GetGarrisonArmyIndex(2)).Active, 1);

    ASSERT_EQ(PointCount, 2);
    EXPECT_EQ(PointStates[2][0], 1);
    EXPECT_EQ(GetPathCost(PF_PackCell(261, 260)), 0); // closed
    EXPECT_EQ(GetPathCost(PF_PackCell(263, 260)), GroundCost);
    EXPECT_EQ(AssaultParams.Attacker, NoAssault);
}

TEST_F(WorldSetupTest, HomeListsAndNeighboursFollowTheMap)
{
    InitWorld(false, 1);
    const int32_t feudal = static_cast<int32_t>(TArmyBehavior::Feudal);
    EXPECT_EQ(HomeBuildingLists[static_cast<size_t>(feudal)], (TIntArray{1, 1}));
    EXPECT_EQ(HomeBuildingLists[static_cast<size_t>(TArmyBehavior::Bandits)], TIntArray{0});
    EXPECT_EQ(BuildingNeighbours[2], TIntArray{1}); // the village lies inside the castle's influence
    EXPECT_TRUE(BuildingNeighbours[1].empty());

    // The same map again keeps the lists.
    MapChanged = false;
    MapBuildings[2].HasHire = 1;
    MapBuildings[1].InfluenceRadius = 0;
    InitWorld(false, 1);
    EXPECT_EQ(HomeBuildingLists[static_cast<size_t>(TArmyBehavior::Peasant)], TIntArray{0});
    EXPECT_EQ(BuildingNeighbours[2], TIntArray{1});
    MapChanged = true;
    InitWorld(false, 1);
    EXPECT_EQ(HomeBuildingLists[static_cast<size_t>(TArmyBehavior::Peasant)], (TIntArray{1, 2}));
    EXPECT_TRUE(BuildingNeighbours[2].empty());
}

TEST_F(WorldSetupTest, TreasuryScenariosRunThreeDaysFirst)
{
    // The pre-run divides what the days stored by four, towards zero.
    MakeMapWorld(0, 2);
    State(1).StoreA = 7;
    State(1).StoreB = -7;
    State(2).StoreB = 3;
    PreRunTreasuryDays();
    EXPECT_EQ(V(State(1).StoreA), 1);
    EXPECT_EQ(V(State(1).StoreB), -1);
    EXPECT_EQ(V(State(2).StoreB), 0);

    // A treasury scenario's buildings start with their treasuries.
    MapStory.TreasuryMode = 1;
    MapBuildings[1].HasTreasury = 1;
    MapBuildings[1].Gold = 40000;
    MapBuildings[1].IncomeBonus = 200;
    MapBuildings[2].HasGarrison = 1;
    MapBuildings[2].Gold = 25;
    MapBuildings[2].IncomeBonus = 10;
    MapBuildings[2].Income = 2;
    MapBuildings[2].HasTreasury = 1;
    InitWorld(false, 1);
    EXPECT_EQ(V(State(1).Treasury), 32767); // saturated
    EXPECT_EQ(V(State(2).Treasury), 25);    // the garrison's rule comes last
    MapStory.TreasuryMode = 0;
    InitWorld(false, 1);
    EXPECT_EQ(V(State(2).Treasury), 0);
}

// Tables as the saved-game reader leaves them: a game set up, played a
// little and read back.
TEST_F(WorldSetupTest, ALoadedGameKeepsItsRecords)
{
    MapBuildings[1].ServiceC = 1;
    InitWorld(false, 4321);
    GameClock += 5000 * Minute;
    const int64_t clock = GameClock;
    State(1).OwnerArmy = 2;
    Army(1).LastFoe = 2;
    Army(2).Pos[0] = 280.0f;
    Army(2).Cell = TCellXZ{280, 300};
    const int32_t gold = Army(PlayerArmy).Gold + 55;
    Army(PlayerArmy).Gold = gold;

    const struct {
        int32_t Version;
        uint8_t Healing;
    } rows[] = {{3, 1}, {4, 0}};
    for (const auto& row : rows) {
        LoadedSaveVersion = row.Version;
        State(1).HealingOpen = 0;
        InitWorld(true, 0);
        EXPECT_EQ(State(1).HealingOpen, row.Healing) << row.Version;
    }
    EXPECT_EQ(GameSeed, 4321);
    EXPECT_EQ(GameClock, clock);
    EXPECT_EQ(V(State(1).OwnerArmy), 2);
    EXPECT_EQ(V(Army(1).LastFoe), 2);
    EXPECT_EQ(V(Army(PlayerArmy).Gold), gold);
    EXPECT_EQ(CellOf(2), PF_PackCell(280, 300));
    EXPECT_EQ(PlayerTargetCell.X, 200);
    EXPECT_EQ(PlayerTargetCell.Z, 210);

    // A relation row of another length is never read past: the rows are made anew.
    ArmyMoves[1].resize(1);
    ArmyTargets[2].clear();
    InitWorld(true, 0);
    EXPECT_EQ(ArmyMoves[1].size(), 3u);
    EXPECT_EQ(ArmyTargets[2].size(), 3u);
    // Counts out of every range are held to the scenario's capacities.
    ArmyCount = -4;
    GarrisonCount = BuildingCount = -1;
    InitWorld(true, 0);
    EXPECT_EQ(ArmyCount, 0);
    EXPECT_EQ(BuildingCount, 0);
    EXPECT_EQ(GameArmies.size(), 1u);
}

TEST_F(WorldSetupTest, SavedEventsMergeByUid)
{
    const int32_t first = AddEvent({Require(1, 0, 0, 1)}, 501, 2);
    const int32_t second = AddEvent({Require(1, 0, 0, 1)}, 502, 3);
    InitWorld(false, 4321);
    SavedEvents.assign(4, TGameEvent{});
    SavedEvents[1] = TGameEvent{3, 2, 0, 77, 0, 502}; // stage 2 of three stages
    SavedEvents[2] = TGameEvent{1, 2, 0, 88, 0, 501}; // stage 2 of two: starts over
    SavedEvents[3] = TGameEvent{9, 0, 0, 99, 0, 0};   // no uid: not matched
    SavedEventCount = 3;
    LoadedSaveVersion = 4;
    InitWorld(true, 0);
    const TGameEvent a = GameEvents[static_cast<size_t>(first)];
    const TGameEvent b = GameEvents[static_cast<size_t>(second)];
    EXPECT_EQ(a.TimesFired, 1);
    EXPECT_EQ(a.Stage, 0);
    EXPECT_EQ(a.LastClock, 88);
    EXPECT_EQ(b.TimesFired, 3);
    EXPECT_EQ(b.Stage, 2);
    EXPECT_EQ(b.LastClock, 77);
    EXPECT_EQ(b.EventUid, 502);
}

} // namespace
