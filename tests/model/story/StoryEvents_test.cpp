// Story event requirements, the choice of a stage, follow-ups, the talks of
// a building and the search for the next due event.
#include "model/story/StoryEvents.h"

#include <gtest/gtest.h>

#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Random.h"
#include "tests/model/StoryEventTestSupport.h"

namespace {

class StoryRequirementTest : public TStoryEventWorldTest {};

TEST_F(StoryRequirementTest, RepeatLimitAndTheFrameOfTheLastFiring)
{
    const struct {
        int32_t Limit;
        int32_t Fired;
        bool Due;
    } rows[] = {
        {0, 0, true}, {0, 1, false}, {1, 1, true}, {1, 2, false}, {-1, 40, true},
    };
    for (const auto& row : rows) {
        const int32_t e = AddStoryEvent({NoTestRule()});
        Event(e).RepeatLimit = row.Limit;
        if (row.Fired > 0)
            Fire(e, GameClock - Hour, row.Fired);
        EXPECT_EQ(EvaluateEventRequirements(e, false), row.Due) << "limit " << row.Limit << ", fired " << row.Fired;
    }
    const int32_t now = AddStoryEvent({NoTestRule()});
    Fire(now, GameClock);
    EXPECT_FALSE(EvaluateEventRequirements(now, false)); // not again in the same frame
    const int32_t bare = AddStoryEvent({});
    EXPECT_FALSE(EvaluateEventRequirements(bare, false)); // an event without requirements is never due
    EXPECT_FALSE(EvaluateEventRequirements(0, false));
    EXPECT_FALSE(EvaluateEventRequirements(StoryEventCount + 1, false));
}

TEST_F(StoryRequirementTest, LogicGroupsOfVariablesAndFiredEvents)
{
    // Variables 1..3; each row's three kind-1 requirements "variable v below 5" in one group.
    const struct {
        uint8_t Group;
        int32_t Values[3];
        bool Due;
    } variableRows[] = {
        {0, {4, 4, 4}, true}, {0, {4, 5, 4}, false}, {1, {9, 4, 9}, true},  {1, {9, 9, 9}, false},
        {2, {9, 4, 9}, true}, {2, {4, 4, 9}, false}, {2, {9, 9, 9}, false},
    };
    for (const auto& row : variableRows) {
        const int32_t e = AddStoryEvent({StoryRule(1, row.Group, 0, 0, 0, 1, 5), StoryRule(1, row.Group, 0, 0, 0, 2, 5),
                                         StoryRule(1, row.Group, 0, 0, 0, 3, 5)});
        for (int v = 0; v < 3; ++v)
            ScenarioVariables[static_cast<size_t>(v) + 1] = row.Values[v];
        EXPECT_EQ(EvaluateEventRequirements(e, false), row.Due)
            << "group " << int(row.Group) << ": " << row.Values[0] << " " << row.Values[1] << " " << row.Values[2];
    }

    // Kind 0 in group 2 allows at most one of its requirements to hold.
    const int32_t a = AddStoryEvent({NoTestRule()}), b = AddStoryEvent({NoTestRule()});
    const int32_t atMostOne = AddStoryEvent({StoryRule(0, 2, 0, 0, 0, a), StoryRule(0, 2, 0, 0, 0, b)});
    EXPECT_TRUE(EvaluateEventRequirements(atMostOne, false)); // none holds
    Fire(a, Hour);
    EXPECT_TRUE(EvaluateEventRequirements(atMostOne, false));
    Fire(b, Hour);
    EXPECT_FALSE(EvaluateEventRequirements(atMostOne, false));

    // -7: event 7 has not fired; with Op the stage counts as well.
    while (StoryEventCount < 7)
        AddStoryEvent({NoTestRule()});
    const int32_t notSeven = AddStoryEvent({StoryRule(0, 0, 0, 0, 0, -7)});
    const int32_t sevenStage2 = AddStoryEvent({StoryRule(0, 0, 2, 0, 0, 7)});
    EXPECT_TRUE(EvaluateEventRequirements(notSeven, false));
    EXPECT_FALSE(EvaluateEventRequirements(sevenStage2, false));
    Fire(7, Hour, 1, 0);
    EXPECT_FALSE(EvaluateEventRequirements(notSeven, false));
    EXPECT_FALSE(EvaluateEventRequirements(sevenStage2, false));
    EventState(7).Stage = 1;
    EXPECT_TRUE(EvaluateEventRequirements(sevenStage2, false));
}

TEST_F(StoryRequirementTest, ATimeOfDayRequirementHoldsForFiveMinutesOnItsDays)
{
    const int32_t once = AddStoryEvent({StoryRule(2, 1, 10, 0, 0, 2, 0)});
    const int32_t third = AddStoryEvent({StoryRule(2, 1, 10, 0, 0, 2, 3)});
    ASSERT_EQ(EventState(once).ScheduledClock, 2 * Day + 10 * Hour);
    const struct {
        int64_t Clock;
        bool Once;
        bool Third;
    } rows[] = {
        {2 * Day + 10 * Hour, true, true},
        {2 * Day + 10 * Hour + 5 * Minute, true, true},
        {2 * Day + 10 * Hour + 6 * Minute, false, false},
        {2 * Day + 10 * Hour - Minute, false, false},
        {1 * Day + 10 * Hour, false, false},
        {4 * Day + 10 * Hour, false, false},
        {5 * Day + 10 * Hour + 2 * Minute, false, true},
        {8 * Day + 10 * Hour, false, true},
    };
    for (const auto& row : rows) {
        GameClock = row.Clock;
        EXPECT_EQ(EvaluateEventRequirements(once, false), row.Once) << row.Clock;
        EXPECT_EQ(EvaluateEventRequirements(third, false), row.Third) << row.Clock;
    }
    GameClock = 5 * Day + 10 * Hour + 3 * Minute;
    Fire(third, 5 * Day + 10 * Hour);
    EXPECT_FALSE(EvaluateEventRequirements(third, false)); // not twice on its day
}

TEST_F(StoryRequirementTest, NightRequirementsCountTheNightToOneDay)
{
    const int32_t night = AddStoryEvent({StoryRule(2, 0, 0, 0, 0, 0, 1, 6)});
    const int32_t nightlyOnce = AddStoryEvent({StoryRule(2, 0, 0, 0, 0, 0, 1, 6)});
    Event(nightlyOnce).OncePerDay = 1;
    const struct {
        int64_t Clock;
        bool Due;
    } rows[] = {{3 * Day + 22 * Hour, true},
                {4 * Day + 3 * Hour, true},
                {4 * Day + 12 * Hour, false},
                {4 * Day + 6 * Hour, false},
                {4 * Day + 21 * Hour, true}};
    for (const auto& row : rows) {
        GameClock = row.Clock;
        EXPECT_EQ(EvaluateEventRequirements(night, false), row.Due) << row.Clock;
    }

    // Fired at 22:00: the night goes on until 06:00 and counts as one day.
    Fire(nightlyOnce, 3 * Day + 22 * Hour);
    GameClock = 4 * Day + 3 * Hour;
    EXPECT_FALSE(EvaluateEventRequirements(nightlyOnce, false));
    GameClock = 4 * Day + 22 * Hour;
    EXPECT_TRUE(EvaluateEventRequirements(nightlyOnce, false));

    // The shifted days hold for the once-per-day test of the requirements
    // after it: 01:00 and 23:00 of one calendar day are two nights.
    const int32_t shifted = AddStoryEvent({StoryRule(2, 0, 0, 0, 0, 0, 1, 6), NoTestRule()});
    Event(shifted).OncePerDay = 1;
    Fire(shifted, 4 * Day + 1 * Hour);
    GameClock = 4 * Day + 23 * Hour;
    EXPECT_TRUE(EvaluateEventRequirements(shifted, false));

    // Other parts of the day and the once-per-day rule on the calendar day.
    const int32_t evening = AddStoryEvent({StoryRule(2, 0, 0, 0, 0, 0, 1, 5)});
    Event(evening).OncePerDay = 1;
    GameClock = 4 * Day + 19 * Hour;
    EXPECT_TRUE(EvaluateEventRequirements(evening, false));
    Fire(evening, 4 * Day + 18 * Hour);
    EXPECT_FALSE(EvaluateEventRequirements(evening, false));
    GameClock = 5 * Day + 18 * Hour;
    EXPECT_TRUE(EvaluateEventRequirements(evening, false));
}

TEST_F(StoryRequirementTest, AWaitingDateRequirementHoldsOnlyAfterARescheduling)
{
    const int32_t waiting = AddStoryEvent({StoryRule(2, 2, 0, 0, 0, 1, 1)});
    GameClock = 30 * Day;
    EXPECT_FALSE(EvaluateEventRequirements(waiting, false));
    EventState(waiting).ScheduledClock = GameClock - Hour;
    EXPECT_TRUE(EvaluateEventRequirements(waiting, false));
    const int32_t never = AddStoryEvent({StoryRule(2, 3, 0, 0, 0, 0, 1)});
    EXPECT_FALSE(EvaluateEventRequirements(never, false));
}

TEST_F(StoryRequirementTest, TheRandomFormWalksTheChances)
{
    const struct {
        std::vector<int32_t> Values;
        int32_t Draw;
        bool Chosen;
        int32_t Stage;
    } rows[] = {
        {{30, 30, 40}, 45, true, 1},
        {{30, 30, 38}, 99, false, 0},
        {{30, 30, 39}, 99, true, 2},
        {{30, 30, 40}, 0, true, 0},
    };
    for (const auto& row : rows) {
        const int32_t e = AddStoryEvent({NoTestRule()}, {{}, {}, {}}, row.Values);
        Event(e).Form = 3;
        GameSeed = SeedForDraws(e, {row.Draw});
        AI_SeedRandom(e, 0, 0);
        ASSERT_EQ(RandomBelow(100), row.Draw);
        EXPECT_EQ(ChooseEventOutcome(e), row.Chosen) << "draw " << row.Draw;
        EXPECT_EQ(EventOutcome.Chosen, row.Chosen ? 1 : 0);
        EXPECT_EQ(EventOutcome.Stage, row.Stage) << "draw " << row.Draw;
    }
}

TEST_F(StoryRequirementTest, StagesByVariablePersonagesAndGold)
{
    const int32_t byVariable = AddStoryEvent({NoTestRule()}, {{}, {}, {}}, {1, 2, 2});
    Event(byVariable).Form = 4;
    Event(byVariable).OutcomeVariable = 2;
    ScenarioVariables[2] = 2;
    EXPECT_TRUE(ChooseEventOutcome(byVariable));
    EXPECT_EQ(EventOutcome.Stage, 2); // the last match
    Event(byVariable).OutcomeVariable = 50;
    EXPECT_FALSE(ChooseEventOutcome(byVariable)); // no such variable: no stage

    const int32_t byGold = AddStoryEvent({NoTestRule()}, {{}, {}, {}}, {0, 100, 500});
    Event(byGold).Form = 6;
    Army(PlayerArmy).Gold = 300;
    EXPECT_TRUE(ChooseEventOutcome(byGold));
    EXPECT_EQ(EventOutcome.Stage, 1);

    const int32_t byCount = AddStoryEvent({NoTestRule()}, {{}, {}}, {1, 2});
    Event(byCount).Form = 5;
    Army(PlayerArmy).PersonageCount = 2;
    EXPECT_TRUE(ChooseEventOutcome(byCount));
    EXPECT_EQ(EventOutcome.Stage, 1);
    Event(byCount).Form = 2;
    EXPECT_FALSE(ChooseEventOutcome(byCount));
}

class StoryPositionTest : public StoryRequirementTest {
protected:
    void SetUp() override
    {
        StoryRequirementTest::SetUp();
        PlaceArmy(1, 200, 200);
        PlaceArmy(2, 230, 200);
        PlaceBuilding(1, 205, 200);
        PlaceBuilding(2, 300, 300);
        AddMapPoint(1, 200, 210);
        AddMapPoint(2, 260, 260);
    }
};

TEST_F(StoryPositionTest, EachClassOfAnArmyNeedsOneSatisfiedRequirement)
{
    const TStoryRequire nearPoint1 = StoryRule(8, 1, 0, 0, 0, 1, 1, 15);  // within 15 of point 1: yes
    const TStoryRequire nearPoint2 = StoryRule(8, 1, 0, 0, 0, 1, 2, 15);  // point 2: no
    const TStoryRequire nearKeep = StoryRule(8, 0, 0, 0, 0, 1, 1, 10);    // building 1: yes
    const TStoryRequire nearFarKeep = StoryRule(8, 0, 0, 0, 0, 1, 2, 10); // building 2: no
    const TStoryRequire nearArmy2 = StoryRule(8, 2, 0, 0, 0, 1, 2, 40);   // army 2: yes
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({nearPoint1, nearKeep}), false));
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({nearPoint1, nearFarKeep}), false));
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({nearPoint1, nearPoint2}), false));
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({nearPoint2}), false));
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({nearArmy2, nearPoint2, nearPoint1}), false));
    // Another army's requirements are marked apart.
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({nearPoint1, StoryRule(8, 1, 0, 0, 0, 2, 2, 5)}), false));

    // The four comparisons, for points too.
    const struct {
        uint8_t Mode;
        int32_t Limit;
        bool Due;
    } rows[] = {{0, 11, true},  {0, 10, false}, {1, 9, true},  {2, 10, true},
                {3, 10, false}, {3, 9, true},   {6, 10, false}};
    for (const auto& row : rows)
        EXPECT_EQ(EvaluateEventRequirements(AddStoryEvent({StoryRule(8, 1, 0, 0, row.Mode, 1, 1, row.Limit)}), false),
                  row.Due)
            << "mode " << int(row.Mode) << " limit " << row.Limit;

    // An army off the map satisfies none of its requirements.
    Army(1).Hidden = 1;
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({nearPoint1}), false));
}

TEST_F(StoryPositionTest, WhoIsNearerAndStandingInABuilding)
{
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({StoryRule(8, 0, 0, 0, 4, 1, 1, 2)}), false));
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({StoryRule(8, 0, 0, 0, 5, 1, 1, 2)}), false));
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({StoryRule(8, 1, 0, 0, 4, 2, 2, 1)}), false));

    Army(1).Building = 1;
    const int32_t stands = AddStoryEvent({StoryRule(8, 0, 0, 0, 6, 1, 1)});
    const int32_t entered = AddStoryEvent({StoryRule(8, 0, 0, 0, 2, 1, 1)});
    const int32_t away = AddStoryEvent({StoryRule(8, 0, 0, 0, 3, 1, 1)});
    EXPECT_TRUE(EvaluateEventRequirements(stands, false));
    EXPECT_FALSE(EvaluateEventRequirements(entered, false));
    EXPECT_FALSE(EvaluateEventRequirements(away, false));
    Army(1).EnteredThisFrame = 1;
    EXPECT_TRUE(EvaluateEventRequirements(entered, false));
    Army(1).Building = 2;
    EXPECT_TRUE(EvaluateEventRequirements(away, false));
}

TEST_F(StoryPositionTest, ATalkInABuildingWaitsAsABuildingAction)
{
    Army(PlayerArmy).Building = 1;
    const int32_t talk = AddStoryEvent({StoryRule(8, 0, 0, 0, 0, PlayerArmy, 1)});
    Event(talk).TalkFlag = 1;
    const int32_t next = AddStoryEvent({NoTestRule()});
    EXPECT_TRUE(EvaluateEventRequirements(talk, false));
    EXPECT_EQ(ActionFlag, 1);
    EXPECT_EQ(FindTriggeredEvent(), next);
    EXPECT_EQ(ActionEvents, TIntArray{talk});
}

TEST_F(StoryPositionTest, PositionsBeyondFiveArmiesAreNotTested)
{
    const int32_t e = AddStoryEvent({StoryRule(8, 1, 0, 0, 0, 1, 1, 50), StoryRule(8, 1, 0, 0, 0, 2, 1, 50),
                                     StoryRule(8, 1, 0, 0, 0, 3, 1, 50), StoryRule(8, 1, 0, 0, 0, 4, 1, 50),
                                     StoryRule(8, 1, 0, 0, 0, 0, 1, 50), StoryRule(8, 1, 0, 0, 0, 6, 2, 1)});
    PlaceArmy(3, 200, 205);
    PlaceArmy(4, 200, 215);
    PlaceArmy(PlayerArmy, 201, 210);
    EXPECT_TRUE(EvaluateEventRequirements(e, false));
    EXPECT_TRUE(EvaluateEventRequirements(e, false));
    const int32_t groups = AddStoryEvent({StoryRule(1, 3, 0, 0, 0, 1, 5)});
    EXPECT_TRUE(EvaluateEventRequirements(groups, false));
    EXPECT_EQ(LoggedLines, (std::vector<std::string>{
                               "event " + std::to_string(e) + ": positions of more than five armies, not tested",
                               "event " + std::to_string(groups) + ": a logic group above 2, not tested"}));
}

TEST_F(StoryRequirementTest, MeetingsArmyFatesOwnersAndValues)
{
    const int32_t meet = AddStoryEvent({StoryRule(3, 0, 0, 0, 0, 2)});
    EXPECT_FALSE(EvaluateEventRequirements(meet, false));
    MetPlayerArmy = 2;
    EXPECT_TRUE(EvaluateEventRequirements(meet, false));
    Event(meet).TalkFlag = 1; // only when sought or pursued
    EXPECT_FALSE(EvaluateEventRequirements(meet, false));
    PlayerTargetArmy = 2;
    EXPECT_TRUE(EvaluateEventRequirements(meet, false));
    PlayerTargetArmy = 0;
    ArmyMoves[2][PlayerArmy].Pursuit = 1;
    EXPECT_TRUE(EvaluateEventRequirements(meet, false));
    Army(2).WaitKind = 1;
    EXPECT_FALSE(EvaluateEventRequirements(meet, false));

    // Army fates: army 3 beaten by the player, army 4 beaten by army 1 of group 2.
    Army(3).Defeated = 1;
    Army(3).LastFoe = PlayerArmy;
    Army(4).Defeated = 1;
    Army(4).LastFoe = 1;
    Army(1).Group = 2;
    Army(2).Active = 0;
    Army(PlayerArmy).LastFoe = 3;
    const struct {
        uint8_t Sub;
        int32_t ArmyNumber;
        bool Due;
    } fates[] = {{0, 3, true}, {0, 4, false}, {1, 4, true},  {2, 4, true},  {4, 3, false},
                 {4, 1, true}, {5, 3, true},  {5, 4, false}, {7, 4, true},  {6, 4, false},
                 {3, 3, true}, {3, 2, true},  {3, 1, false}, {0, 99, false}};
    for (const auto& row : fates)
        EXPECT_EQ(EvaluateEventRequirements(AddStoryEvent({StoryRule(4, row.Sub, 0, 0, 0, row.ArmyNumber)}), false),
                  row.Due)
            << "sub " << int(row.Sub) << " army " << row.ArmyNumber;
    // A beaten army that may come back to a home building it owns has a way back.
    Army(3).Behavior = static_cast<uint8_t>(TArmyBehavior::Bandits);
    Army(3).CanRespawn = Army(3).RespawnEnabled = Army(3).RespawnAtOwn = 1;
    HomeBuildingLists[Army(3).Behavior] = TIntArray{1, 2};
    State(2).OwnerArmy = 3;
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({StoryRule(4, 3, 0, 0, 0, 3)}), false));

    State(1).OwnerArmy = PlayerArmy;
    State(2).OwnerGroup = 2;
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({StoryRule(5, 0, 0, 0, 0, 1)}), false));
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({StoryRule(5, 6, 0, 0, 0, 2)}), false));
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({StoryRule(5, 1, 0, 0, 0, 1)}), false));
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({StoryRule(5, 0, 0, 0, 0, 9)}), false));

    // Kind 9: the hero's attack statistic by its attack mode, 0 for none of the three.
    const int32_t knight = AddType("Knight").UnitType;
    Recruit(PlayerArmy, knight, 5);
    TPersonage& hero = Unit(PlayerArmy, 1);
    hero.Stats[statAttackBlow] = 30;
    hero.AttackMode = 4;
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({StoryRule(9, 0, 1, 0, 0, 5, 29)}), false));
    hero.AttackMode = 0;
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({StoryRule(9, 0, 2, 0, 0, 5, 0)}), false));
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({StoryRule(9, 0, 2, 0, 0, 10, 0, 99)}), false));

    // Attitudes: below or above a limit.
    ArmyMoves[1][2].Attitude = -30;
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({StoryRule(10, 3, 0, 0, 0, 1, 2, -20)}), false));
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({StoryRule(10, 3, 0, 0, 1, 1, 2, -20)}), false));
}

TEST_F(StoryRequirementTest, ItemsAndPersonagesHeld)
{
    const int32_t sword = AddItem(TItemType::Sword);
    const int32_t soldier = AddType("Soldier").UnitType;
    const int32_t slot = Recruit(PlayerArmy, soldier, 0, 2);
    Unit(PlayerArmy, slot).Equipment[6] = sword;
    AddArmyItem(PlayerArmy, sword);
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({StoryRule(6, 0, 2, 0, 0, sword)}), false));
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({StoryRule(6, 0, 3, 0, 0, sword)}), false));
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({StoryRule(6, 0, 3, 1, 0, sword)}), false));
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({StoryRule(6, 0, 0, 1, 0, 999)}), false));

    Unit(PlayerArmy, 1).Hits = 1;
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({StoryRule(7, 0, 2, 0, 1, soldier, 0, 1)}), false));
    EXPECT_TRUE(EvaluateEventRequirements(AddStoryEvent({StoryRule(7, 0, 1, 0, 2, soldier)}), false));
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({StoryRule(7, 0, 1, 0, 1, soldier, 0, 4)}), false));
    EXPECT_FALSE(EvaluateEventRequirements(AddStoryEvent({StoryRule(7, 0, 0, 1, 1, 77)}), false));
}

TEST_F(StoryRequirementTest, FollowUpsBuildingTalksAndForcedEvents)
{
    const int32_t first = AddStoryEvent({NoTestRule()});
    const int32_t follow = AddStoryEvent({StoryRule(11, 0, 0, 0, 0, first)});
    const int32_t blocked = AddStoryEvent({StoryRule(11, 0, 0, 0, 0, first), StoryRule(1, 0, 1, 0, 0, 1, 5)});
    EXPECT_FALSE(EvaluateEventRequirements(follow, false)); // a follow-up only holds in a follow-up evaluation
    EXPECT_EQ(FindTriggeredEvent(), first);
    EXPECT_EQ(DueFollowUps, TIntArray{follow});
    (void)blocked;

    // Talks: the first event of each army standing in the building; both globals come back.
    for (int32_t a : {1, 2, 3}) {
        Army(a).Building = 1;
    }
    Army(3).Hidden = 1;
    const int32_t talk2 = AddStoryEvent({StoryRule(3, 0, 0, 0, 0, 2)});
    Event(talk2).TalkFlag = 1;
    AddStoryEvent({StoryRule(3, 0, 0, 0, 0, 2)});
    const int32_t talk3 = AddStoryEvent({StoryRule(3, 0, 0, 0, 0, 3)});
    (void)talk3;
    MetPlayerArmy = 4;
    PlayerTargetArmy = 1;
    std::vector<TArmyEventEntry> talks;
    ListBuildingArmyEvents(1, talks);
    ASSERT_EQ(talks.size(), 1u);
    EXPECT_EQ(talks[0].Army, 2);
    EXPECT_EQ(talks[0].Event, talk2);
    EXPECT_EQ(MetPlayerArmy, 4);
    EXPECT_EQ(PlayerTargetArmy, 1);

    // A forced event is taken without its requirements.
    const int32_t never = AddStoryEvent({StoryRule(2, 3, 0, 0, 0, 0)});
    ForcedEvent = TForcedEvent{1, never};
    EXPECT_EQ(FindTriggeredEvent(), never);
    EXPECT_EQ(FindTriggeredEvent(), never); // until a stage is executed
    ExecuteEventResults(never, 0);
    EXPECT_EQ(ForcedEvent.Flag, 0);
    EXPECT_NE(FindTriggeredEvent(), never);
}

} // namespace
