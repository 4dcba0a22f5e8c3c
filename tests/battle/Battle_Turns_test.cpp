// The turn engine: priorities, the ready scan, rounds and the end of a
// battle, and the timeline with a fixed clock.
#include <gtest/gtest.h>

#include "battle/Battle.h"
#include "model/Support.h"
#include "tests/battle/BattleTestSupport.h"

namespace {

int32_t FakeNow = 100000;
int32_t FakeClock(bool)
{
    return FakeNow;
}

class BattleTurnsTest : public ::testing::Test, protected TEffectsFixture {
protected:
    int32_t (*SavedClock)(bool) = GameTimeSource;
    void SetUp() override
    {
        GameTimeSource = FakeClock;
        FakeNow = 100000;
        B().ScanCount = 30;
    }
    void TearDown() override { GameTimeSource = SavedClock; }
    TPersonage& Ready(int32_t side, int32_t n, int32_t row, int32_t column, int16_t initiative)
    {
        TPersonage& p = Fighter(side, n, row, column);
        p.UnitType = 1;
        p.Stats[2] = initiative;
        p.RoundActionPoints = 1;
        p.ActionPointsLeft = 1;
        return p;
    }
    static TBattleAction Event(int32_t side, int32_t slot, uint8_t mode, int32_t start, int32_t duration)
    {
        TBattleAction a{};
        a.Side = side;
        a.Slot = slot;
        a.Mode = mode;
        a.Start = start;
        a.Duration = duration;
        return a;
    }
};

} // namespace

TEST_F(BattleTurnsTest, PrioritiesDecideWhoActs)
{
    Ready(1, 3, -1, 3, 5);
    Ready(2, 3, 1, 3, 5);
    EXPECT_EQ(B().GetTurnPriority(1, 3), 3175);
    EXPECT_EQ(B().GetTurnPriority(2, 3), 3174);
    TBattleDecision d;
    EXPECT_TRUE(B().SelectNextActor(d));
    EXPECT_EQ(d.Side, 1);
    EXPECT_EQ(d.Slot, 3);
    EXPECT_EQ(d.Mode, mSkip); // the built-in choice until the computer decides
    EXPECT_EQ(d.AutoSkip, 1);
    EXPECT_EQ(B().ActorInitiative, 5);
    // A waiting initiative 9 comes after an unwaited initiative 1.
    Ready(1, 3, -1, 3, 9).Waited = 1;
    Ready(2, 3, 1, 3, 1);
    EXPECT_TRUE(B().SelectNextActor(d));
    EXPECT_EQ(d.Side, 2);
}

TEST_F(BattleTurnsTest, ARoundStartsWhenNobodyIsReady)
{
    TPersonage& a = Ready(1, 1, -1, 3, 5);
    Ready(2, 1, 1, 3, 5);
    a.ActionPointsLeft = 0;
    a.RoundSteps = 2;
    B().Personage(2, 1).ActionPointsLeft = 0;
    B().RoundDamage[1] = 12;
    B().Sides[1].Stats.MaxRoundLoss = 7;
    B().RoundDamage[2] = 3;
    B().Sides[2].Stats.MaxRoundLoss = 9;
    TBattleDecision d;
    EXPECT_TRUE(B().SelectNextActor(d));
    EXPECT_EQ(B().Round, 1);
    const int32_t loss1 = B().Sides[1].Stats.MaxRoundLoss, loss2 = B().Sides[2].Stats.MaxRoundLoss;
    EXPECT_EQ(loss1, 12);
    EXPECT_EQ(loss2, 9);
    EXPECT_EQ(B().RoundDamage[1], 0);
    const int32_t points = a.ActionPointsLeft, steps = a.RoundSteps;
    EXPECT_EQ(points, 1);
    EXPECT_EQ(steps, 0);
    // An empty side ends the battle at the next round start.
    B().Sides[2].LivingCount = 0;
    EXPECT_TRUE(B().StartNewRound());
    EXPECT_FALSE(B().SelectNextActor(d));
    EXPECT_EQ(d.Mode, mError);
}

TEST_F(BattleTurnsTest, TheLastRoundEndsAsItStarts)
{
    // Everyone has acted: the first selection starts round 1.
    Ready(1, 1, -1, 3, 5).ActionPointsLeft = 0;
    Ready(2, 1, 1, 3, 5).ActionPointsLeft = 0;
    TActionList list;
    int actions = 0;
    TBattleDecision d;
    while (B().SelectNextActor(d) && actions < 1000) {
        ++actions;
        B().PerformAction(d, list);
    }
    EXPECT_EQ(d.Mode, mError);
    EXPECT_EQ(B().Round, 25);
    EXPECT_EQ(actions, 24 * 2 + 1);
}

TEST_F(BattleTurnsTest, TheTimelineKeepsTheBattleBusy)
{
    B().ActionPause = 400;
    EXPECT_FALSE(B().QueueAction(Event(1, 1, mFight, FakeNow, 0)));
    EXPECT_EQ(B().EventCount, 0);
    EXPECT_FALSE(B().IsBusy(1, 1));

    EXPECT_TRUE(B().QueueAction(Event(1, 1, mEnemy, FakeNow, 2000)));
    EXPECT_EQ(B().BusyUntil, FakeNow + 400);
    EXPECT_TRUE(B().IsBusy(1, 1));
    EXPECT_TRUE(B().IsBusy(2, 1)); // the whole battle waits the pause
    AnimationWait = true;
    EXPECT_TRUE(B().QueueAction(Event(1, 2, mEnemy, FakeNow, 2000)));
    EXPECT_EQ(B().BusyUntil, FakeNow + 2000);
    AnimationWait = false;
    // A move does not make the battle busy.
    B().BusyUntil = 0;
    EXPECT_TRUE(B().QueueAction(Event(2, 1, mMove, FakeNow, 500)));
    EXPECT_EQ(B().BusyUntil, 0);

    // An event that finishes now stays for this update only.
    FakeNow += 500;
    B().UpdateTimeline();
    EXPECT_EQ(B().EventCount, 3);
    FakeNow += 1;
    B().UpdateTimeline();
    EXPECT_EQ(B().EventCount, 2);
    EXPECT_FALSE(B().IsBusy(2, 1));
    EXPECT_TRUE(B().IsBusy(1, 2));

    // The timeline holds 24 events.
    for (int i = B().EventCount; i < 24; ++i)
        EXPECT_TRUE(B().QueueAction(Event(2, 2, mMove, FakeNow, 100)));
    EXPECT_FALSE(B().QueueAction(Event(2, 2, mMove, FakeNow, 100)));
    EXPECT_EQ(B().EventCount, 24);

    // A list is queued with one duration; the silent runs queue nothing.
    B().EventCount = 0;
    TActionList list(3, Event(1, 1, mFight, FakeNow, 7));
    B().QueueActions(list, 0);
    EXPECT_EQ(B().EventCount, 0);
    B().QueueActions(list, 300);
    EXPECT_EQ(B().EventCount, 3);
    EXPECT_EQ(B().Events[3].Finish, FakeNow + 300);
}

TEST_F(BattleTurnsTest, AMoveSlidesAndTurnsTheModel)
{
    TPersonage& p = Ready(1, 1, 0, 3, 5);
    B().Animated = 1;
    p.SetMoveVector(0, 2.0f);
    p.SetMoveVector(2, 0.0f);
    p.TurnStartHeading = 0;
    p.TurnDelta = 10000;
    B().QueueAction(Event(1, 1, mMove, FakeNow, 1000));
    FakeNow += 100; // a tenth: the turn is half done, the slide a tenth
    B().UpdateTimeline();
    TVec3 centre;
    GetHexCellPosition(0, 3, centre);
    EXPECT_NEAR(p.GetShownPosition(0), centre.x - 0.9f * 2.0f, 1e-4);
    const int64_t heading = p.Heading;
    EXPECT_EQ(heading, 5000);
    FakeNow += 1000;
    B().UpdateTimeline();
    EXPECT_NEAR(p.GetShownPosition(0), centre.x, 1e-4);
    const int64_t turned = p.Heading, left = p.TurnDelta;
    EXPECT_EQ(turned, 10000);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(B().EventCount, 0);
}
