// The results of a story event's stage: gold, items, personages, wounds,
// army actions, buildings, attitudes, schedules, map effects and the change
// lists of the player's army.
#include "model/story/StoryEvents.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <utility>

#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Random.h"
#include "model/tables/Global.h"
#include "tests/model/StoryEventTestSupport.h"

namespace {

class StoryResultTest : public TStoryEventWorldTest {
protected:
    int32_t Soldier = 0;
    int32_t Knight = 0;

    void SetUp() override
    {
        TStoryEventWorldTest::SetUp();
        Soldier = AddType("Soldier").UnitType;
        Knight = AddType("Knight").UnitType;
    }

    // Runs one stage made of the results.
    static void RunResults(std::vector<TStoryResult> results)
    {
        const int32_t e = AddStoryEvent({NoTestRule()}, {results});
        ExecuteEventResults(e, 0);
    }

    static std::vector<std::tuple<int, int, int>> Effects()
    {
        std::vector<std::tuple<int, int, int>> list;
        for (const TMapEffect& m : MapEffects)
            list.emplace_back(m.Kind, m.Sub, m.Value);
        return list;
    }
};

TEST_F(StoryResultTest, GoldNeverFallsBelowZero)
{
    const struct {
        int32_t Gold;
        int32_t Amount;
        int32_t After;
        int32_t Change;
    } rows[] = {{300, -500, 0, -300}, {300, -200, 100, -200}, {300, 50, 350, 50}};
    for (const auto& row : rows) {
        Army(PlayerArmy).Gold = row.Gold;
        RunResults({StoryRule(0, 0, 0, 0, 0, row.Amount, PlayerArmy)});
        EXPECT_EQ(V(Army(PlayerArmy).Gold), row.After) << row.Amount;
        EXPECT_EQ(EventGoldChange, row.Change) << row.Amount;
    }
    Army(2).Gold = 10;
    RunResults({StoryRule(0, 0, 0, 0, 0, -50, 2)});
    EXPECT_EQ(V(Army(2).Gold), 0);
    EXPECT_EQ(EventGoldChange, 0); // only the player's army is listed
}

TEST_F(StoryResultTest, FiringRecordsTheStageAndTheClock)
{
    const int32_t e = AddStoryEvent({NoTestRule()}, {{}, {}});
    GameClock = 3 * Day;
    ExecuteEventResults(e, 1);
    EXPECT_EQ(EventState(e).TimesFired, 1);
    EXPECT_EQ(EventState(e).Stage, 1);
    EXPECT_EQ(EventState(e).LastClock, 3 * Day);
}

TEST_F(StoryResultTest, ItemsAreTakenFromTheCarriedOnesFirst)
{
    const int32_t ring = AddItem(TItemType::Ring, 1, 1);
    const int32_t other = AddItem(TItemType::Ring, 1, 1);
    Recruit(PlayerArmy, Knight, 5);
    Recruit(PlayerArmy, Soldier, 0);
    AddArmyItem(PlayerArmy, ring);
    AddArmyItem(PlayerArmy, other);
    AddArmyItem(PlayerArmy, ring);
    Unit(PlayerArmy, 1).Equipment[5] = ring;
    RunResults({StoryRule(2, 0, 1, 3, 0, ring, PlayerArmy)});
    EXPECT_EQ(V(Army(PlayerArmy).ItemCount), 1);
    EXPECT_EQ(ArmyItems[PlayerArmy], (TIntArray{0, other}));
    EXPECT_EQ(V(Unit(PlayerArmy, 1).Equipment[5]), 0);
    ASSERT_EQ(EventItemChanges.size(), 1u);
    EXPECT_EQ(EventItemChanges[0].Item, ring);
    EXPECT_EQ(EventItemChanges[0].Count, 3);
    EXPECT_EQ(EventItemChanges[0].Sign, -1);
    EXPECT_EQ(Effects(), (std::vector<std::tuple<int, int, int>>{{2, 10, 0}}));

    // The personage's own default weapon is never taken.
    const int32_t sword = AddItem(TItemType::Sword);
    Unit(PlayerArmy, 1).DefaultItems[1] = sword;
    Unit(PlayerArmy, 1).Equipment[1] = sword;
    RunResults({StoryRule(2, 0, 1, 1, 0, sword, PlayerArmy)});
    EXPECT_EQ(V(Unit(PlayerArmy, 1).Equipment[1]), sword);
    EXPECT_TRUE(EventItemChanges.empty());

    // Adding lists the count once.
    RunResults({StoryRule(2, 0, 0, 2, 0, sword, PlayerArmy)});
    EXPECT_EQ(V(Army(PlayerArmy).ItemCount), 3);
    ASSERT_EQ(EventItemChanges.size(), 1u);
    EXPECT_EQ(EventItemChanges[0].Count, 2);
    EXPECT_EQ(EventItemChanges[0].Sign, 1);
}

TEST_F(StoryResultTest, PersonagesAddedUpToTwelveAndRoomMadeForFollowers)
{
    Recruit(1, Knight, 5);
    Recruit(1, Soldier, 5, 10);
    ASSERT_EQ(Army(1).PersonageCount, 11);
    RunResults({StoryRule(3, 0, 0, 3, 0, Soldier, 1)});
    EXPECT_EQ(Army(1).PersonageCount, 12);
    EXPECT_EQ(Effects().back(), std::make_tuple(2, 10, 1));

    // A full army with two recruits of strength 40 and 25 takes two followers.
    const int32_t militia = AddType("Militia").UnitType, levy = AddType("Levy").UnitType;
    Recruit(PlayerArmy, Knight, 5);
    Recruit(PlayerArmy, Soldier, 3, 9);
    const int32_t strong = Recruit(PlayerArmy, militia, 0);
    const int32_t weak = Recruit(PlayerArmy, levy, 0);
    Unit(PlayerArmy, strong).Strength = 40;
    Unit(PlayerArmy, weak).Strength = 25;
    ASSERT_EQ(Army(PlayerArmy).PersonageCount, 12);
    RunResults({StoryRule(3, 0, 0, 2, 3, Knight, PlayerArmy)});
    EXPECT_EQ(Army(PlayerArmy).PersonageCount, 12);
    std::vector<std::pair<int32_t, int32_t>> changes;
    for (const TEventUnitChange& c : EventUnitChanges)
        changes.emplace_back(c.UnitType, c.Sign);
    EXPECT_EQ(changes, (std::vector<std::pair<int32_t, int32_t>>{{levy, -1}, {militia, -1}, {Knight, 1}, {Knight, 1}}));
    EXPECT_EQ(V(Unit(PlayerArmy, 12).HireKind), 3);
}

TEST_F(StoryResultTest, RemovalsBySelectorAndTheWeakestFirst)
{
    Recruit(PlayerArmy, Knight, 5);
    Recruit(PlayerArmy, Soldier, 3, 2);
    Unit(PlayerArmy, 2).Strength = 50;
    Unit(PlayerArmy, 3).Strength = 20;
    RunResults({StoryRule(3, 0, 1, 1, 0, 251, PlayerArmy)}); // recruits: none
    EXPECT_EQ(Army(PlayerArmy).PersonageCount, 3);
    EXPECT_TRUE(EventUnitChanges.empty());
    RunResults({StoryRule(3, 0, 1, 1, 0, 253, PlayerArmy)}); // followers: the weaker
    EXPECT_EQ(Army(PlayerArmy).PersonageCount, 2);
    EXPECT_EQ(V(Unit(PlayerArmy, 2).Strength), 50);
    ASSERT_EQ(EventUnitChanges.size(), 1u);
    EXPECT_EQ(EventUnitChanges[0].UnitType, Soldier);
    EXPECT_EQ(EventUnitChanges[0].Sign, -1);

    // 250: never the leader of a field army, a type 1..6 or an important NPC.
    const int32_t extra[5] = {AddType("T3").UnitType, AddType("T4").UnitType, AddType("T5").UnitType,
                              AddType("T6").UnitType, AddType("T7").UnitType};
    ASSERT_EQ(extra[4], 7);
    Recruit(1, 7, 0);
    Recruit(1, 7, 0);
    Recruit(1, 4, 0);
    Unit(1, 2).ImportantNPC = 1;
    RunResults({StoryRule(3, 0, 1, 5, 0, 250, 1)});
    EXPECT_EQ(Army(1).PersonageCount, 3);
    // A garrison has no leader to keep.
    const int32_t garrison = GetGarrisonArmyIndex(1);
    Recruit(garrison, 7, 0);
    RunResults({StoryRule(3, 0, 1, 1, 0, 250, -1)});
    EXPECT_EQ(Army(garrison).PersonageCount, 0);
}

TEST_F(StoryResultTest, WoundsByChanceHalveAndRaiseTheChance)
{
    Recruit(PlayerArmy, Knight, 5);
    Recruit(PlayerArmy, Soldier, 0, 2);
    // Chances 50, then halved after a wound or raised halfway to 100 after a miss.
    const struct {
        int32_t Draws[3];
        int32_t Wounds[3];
    } rows[] = {
        {{10, 60, 30}, {1, 0, 1}}, {{10, 40, 70}, {1, 0, 0}}, {{10, 20, 99}, {1, 1, 0}}, {{60, 60, 60}, {0, 1, 0}}};
    for (const auto& row : rows) {
        for (int32_t s = 1; s <= 3; ++s)
            Unit(PlayerArmy, s).Wounds = 0;
        GameSeed = SeedForDraws(PlayerArmy, {row.Draws[0], row.Draws[1], row.Draws[2]});
        RunResults({StoryRule(13, 9, 0, 1, 0, 0, 1)});
        for (int32_t s = 1; s <= 3; ++s)
            EXPECT_EQ(Unit(PlayerArmy, s).Wounds, row.Wounds[s - 1]) << "draws " << row.Draws[0] << " slot " << s;
    }

    // The bound of the wound limit.
    RunResults({StoryRule(4, 7, 0, 3, 0, PlayerArmy, 99)});
    EXPECT_EQ(Unit(PlayerArmy, 1).Wounds, Unit(PlayerArmy, 1).WoundLimit);
}

TEST_F(StoryResultTest, HealingReachesOnlyTheHurtExceptForEveryone)
{
    Recruit(PlayerArmy, Soldier, 0, 3);
    auto prepare = [] {
        for (int32_t s = 1; s <= 3; ++s) {
            Unit(PlayerArmy, s).Wounds = 2;
            Unit(PlayerArmy, s).Hits = Unit(PlayerArmy, s).Stats[statHits];
        }
        Unit(PlayerArmy, 2).Hits = 5; // the only hurt one
        Unit(PlayerArmy, 3).Hits = 0; // fallen
    };
    const struct {
        uint8_t Mode;
        int32_t Wounds[3];
    } rows[] = {{0, {1, 1, 2}}, {1, {2, 1, 2}}, {2, {2, 1, 2}}, {4, {2, 1, 2}}};
    for (const auto& row : rows) {
        prepare();
        GameSeed = row.Mode == 1 ? SeedForDraws(PlayerArmy, {10}) : 0;
        RunResults({StoryRule(13, 8, 0, row.Mode, 0, 0, 1)});
        for (int32_t s = 1; s <= 3; ++s)
            EXPECT_EQ(Unit(PlayerArmy, s).Wounds, row.Wounds[s - 1]) << "mode " << int(row.Mode) << " slot " << s;
    }
}

TEST_F(StoryResultTest, SchedulesTimeAndAttitudes)
{
    const int32_t dated = AddStoryEvent({StoryRule(2, 0, 0, 0, 0, 4)});
    const int32_t waiting = AddStoryEvent({StoryRule(2, 2, 0, 0, 0, 1)});
    GameClock = 5 * Day;
    RunResults({StoryRule(10, 0, 0, 3, 0, dated, 2), StoryRule(10, 0, 0, 3, 0, waiting, 2)});
    EXPECT_EQ(EventState(dated).ScheduledClock, 4 * Day + 30600000);
    EXPECT_EQ(EventState(waiting).ScheduledClock, 5 * Day + 30600000);

    RunResults({StoryRule(13, 0, static_cast<uint8_t>(-2), 0, 0, 1)});
    EXPECT_EQ(Effects(),
              (std::vector<std::tuple<int, int, int>>{{15, 16, 0}, {12, 16, 1320}, {16, 16, 0}, {12, 16, 1}}));

    Diplomacy.assign(3, TIntArray(3, 0));
    Army(1).Group = 1;
    Army(2).Group = 2;
    const struct {
        int32_t Before;
        uint8_t Mode;
        int32_t Amount;
        int32_t After;
    } rows[] = {{90, 0, 20, 100}, {50, 1, 200, -100}, {50, 0, -200, -150}};
    for (const auto& row : rows) {
        Diplomacy[1][2] = row.Before;
        ArmyMoves[1][2].Attitude = static_cast<int16_t>(row.Before);
        RunResults({StoryRule(9, 0, 0, 0, row.Mode, 1, 2, row.Amount)});
        EXPECT_EQ(Diplomacy[1][2], row.After) << row.Before << " " << row.Amount;
        EXPECT_EQ(ArmyMoves[1][2].Attitude, row.After) << row.Before << " " << row.Amount;
    }
    ArmyMoves[3][4].Attitude = 90;
    RunResults({StoryRule(9, 3, 0, 0, 0, 3, 4, 20)});
    EXPECT_EQ(ArmyMoves[3][4].Attitude, 100);
}

TEST_F(StoryResultTest, ArmyActionsFindTheirArmy)
{
    // -2 and -1 with nobody to find do nothing.
    for (int32_t a = 1; a <= ArmyCount; ++a)
        Army(a).Active = 0;
    RunResults({StoryRule(4, 1, 0, 0, 0, -2), StoryRule(4, 4, 0, 0, 0, -1)});
    EXPECT_TRUE(MapEffects.empty());

    Army(2).Active = 1;
    PlaceArmy(2, 200, 300);
    PlaceArmy(3, 150, 150);
    RunResults({StoryRule(4, 5, 0, 3, 0, 3, 2)});
    EXPECT_EQ(CellOf(3), PF_PackCell(200, 297));
    SetPathCost(PF_PackCell(200, 297), 0);
    RunResults({StoryRule(4, 5, 0, 3, 0, 3, 2)});
    EXPECT_EQ(CellOf(3), PF_PackCell(197, 300));

    // -2: the nearest active army; deactivation forgets the meeting.
    Army(3).Active = 1;
    PlaceArmy(PlayerArmy, 205, 300);
    MetPlayerArmy = 3;
    RunResults({StoryRule(4, 1, 0, 0, 0, -2)});
    EXPECT_EQ(Army(3).Active, 1);
    EXPECT_EQ(Army(2).Active, 0);
    RunResults({StoryRule(4, 1, 0, 0, 0, -1)});
    EXPECT_EQ(Army(3).Active, 0);
    EXPECT_EQ(MetPlayerArmy, 0);

    // Activation out of the nearest building of its own.
    PlaceBuilding(1, 100, 100);
    PlaceBuilding(2, 210, 300);
    State(1).OwnerArmy = 2;
    State(2).OwnerArmy = 2;
    MapEffects.clear();
    Scene.MarkedArmies.clear();
    RunResults({StoryRule(4, 0, 0, 0, 0, 2, 2)});
    EXPECT_EQ(Army(2).Active, 1);
    EXPECT_EQ(CellOf(2), PF_PackCell(210, 300));
    EXPECT_EQ(Effects(), (std::vector<std::tuple<int, int, int>>{{2, 10, 2}}));
    EXPECT_EQ(Scene.MarkedArmies, TIntArray{2});
}

TEST_F(StoryResultTest, BuildingsVariablesPointsAndEvents)
{
    const int32_t garrison = GetGarrisonArmyIndex(2);
    Army(4).Group = 2;
    Army(4).Banner = 9;
    RunResults({StoryRule(5, 7, 0, 0, 0, 2, 4), StoryRule(5, 1, 1, 0, 0, 2), StoryRule(5, 3, 1, 0, 0, 2),
                StoryRule(5, 0, 1, 0, 0, 2)});
    EXPECT_EQ(State(2).OwnerArmy, 4);
    EXPECT_EQ(State(2).OwnerGroup, 2);
    EXPECT_EQ(State(2).Banner, 9);
    EXPECT_EQ(Army(garrison).Banner, 9);
    EXPECT_EQ(Army(garrison).Active, 0);
    EXPECT_EQ(State(2).ShopOpen, 0);
    EXPECT_EQ(State(2).Closed, 1);

    ScenarioVariables[1] = 5;
    RunResults({StoryRule(6, 0, 0, 0, 0, 1, 3), StoryRule(6, 0, 1, 0, 0, 1, 1), StoryRule(6, 0, 2, 0, 0, 2, 7)});
    EXPECT_EQ(ScenarioVariables[1], 7);
    EXPECT_EQ(ScenarioVariables[2], 7);

    const int32_t target = AddStoryEvent({NoTestRule()});
    RunResults({StoryRule(12, 0, 1, 0, 0, target)});
    EXPECT_EQ(EventState(target).TimesFired, 1);
    EXPECT_EQ(EventState(target).Stage, 0);
    RunResults({StoryRule(12, 0, 0, 0, 0, target)});
    EXPECT_EQ(ForcedEvent.Flag, 1);
    EXPECT_EQ(ForcedEvent.Event, target);
}

TEST_F(StoryResultTest, ResultsNamingNothingAreSkipped)
{
    const std::vector<TStoryResult> rows = {
        StoryRule(0, 0, 0, 0, 0, 10, 99),
        StoryRule(1, 0, 0, 0, 0, 10, -5),
        StoryRule(2, 0, 0, 1, 0, 999, PlayerArmy),
        StoryRule(2, 0, 0, 1, 0, 0, 99),
        StoryRule(3, 0, 0, 1, 0, 77, PlayerArmy),
        StoryRule(3, 0, 0, 1, 0, 250, PlayerArmy),
        StoryRule(3, 0, 0, 1, 0, Soldier, -9),
        StoryRule(4, 0, 0, 0, 0, 99),
        StoryRule(4, 5, 0, 1, 0, 1, 99),
        StoryRule(5, 0, 1, 0, 0, 9),
        StoryRule(6, 0, 0, 0, 0, 50, 1),
        StoryRule(9, 0, 0, 0, 0, 7, 7, 10),
        StoryRule(10, 0, 0, 0, 0, 99, 1),
        StoryRule(11, 0, 1, 0, 0, 9),
        StoryRule(12, 0, 0, 0, 0, 99),
        StoryRule(13, 5, 0, 0, 0, 3),
        StoryRule(13, 1, 1, 0, 0, 9),
    };
    const std::vector<TGameArmy> armies = GameArmies;
    const auto buildings = GameBuildings;
    for (const TStoryResult& r : rows)
        RunResults({r});
    EXPECT_EQ(LoggedLines.size(), rows.size());
    EXPECT_EQ(std::memcmp(armies.data(), GameArmies.data(), armies.size() * sizeof(TGameArmy)), 0);
    EXPECT_EQ(std::memcmp(buildings.data(), GameBuildings.data(), buildings.size() * sizeof(TGameBuilding)), 0);
    EXPECT_EQ(ForcedEvent.Flag, 0);
    EXPECT_TRUE(MapEffects.empty());

    // An achievement without a store changes nothing.
    AchievementDefs.assign(1, TAchievement{});
    AchievementDefs[0].UID = "ACH_TEST";
    RunResults({StoryRule(13, 5, 0, 0, 0, 0)});
    EXPECT_EQ(LoggedLines.size(), rows.size());
    AchievementDefs.clear();
}

TEST_F(StoryResultTest, ThePlayerLosesPricedItemsAndIsPlaced)
{
    const int32_t gem = AddItem(TItemType::Item), pebble = AddItem(TItemType::Item);
    const int32_t sword = AddItem(TItemType::Sword);
    ItemTable[gem].Cost = 100;
    ItemTable[sword].Cost = 20;
    Recruit(PlayerArmy, Knight, 5);
    TPersonage& hero = Unit(PlayerArmy, 1);
    hero.DefaultItems[1] = sword;
    hero.Equipment[1] = sword;
    hero.Equipment[6] = gem;
    AddArmyItem(PlayerArmy, gem);
    AddArmyItem(PlayerArmy, pebble);
    RunResults({StoryRule(13, 6, 0, 0, 0, 0)});
    EXPECT_EQ(ArmyItems[PlayerArmy], (TIntArray{0, pebble}));
    EXPECT_EQ(V(Unit(PlayerArmy, 1).Equipment[6]), 0);
    EXPECT_EQ(V(Unit(PlayerArmy, 1).Equipment[1]), sword);
    EXPECT_EQ(EventItemChanges.size(), 2u);

    PlaceBuilding(1, 250, 260);
    MapEffects.clear();
    RunResults({StoryRule(13, 1, 1, 0, 0, 1), StoryRule(13, 2, 2, 0, 0, 1)});
    EXPECT_EQ(CellOf(PlayerArmy), PF_PackCell(250, 260));
    EXPECT_EQ(Army(PlayerArmy).Building, 1);
    EXPECT_EQ(Army(PlayerArmy).OrderKind, 7);
    EXPECT_EQ(Effects(), (std::vector<std::tuple<int, int, int>>{{6, 10, 0}, {11, 16, 0}}));
}

} // namespace
