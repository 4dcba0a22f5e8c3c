// Gathering and timing of the actions of a decision.
#include "screens/battle/Duskmarch_Battle_Playback.h"

#include <gtest/gtest.h>

namespace {

TBattleAction Action(int32_t side, int32_t slot, uint8_t mode, int32_t step = 0, uint8_t subMode = 0)
{
    TBattleAction a{};
    a.Side = side;
    a.Slot = slot;
    a.Mode = mode;
    a.Step = step;
    a.SubMode = subMode;
    return a;
}

TEST(BuildComplexActionsTest, PreModeSplitDeathCutNegativeStepFirst)
{
    TActionList list;
    list.push_back(Action(1, 2, mFight, 1, mMove));
    list.back().Delta.HitsChange = -3;
    list.push_back(Action(2, 5, mDefense, 2));
    list.push_back(Action(2, 5, mDie, 3));
    list.push_back(Action(2, 5, mDefense, 4)); // after the death: dropped
    list.push_back(Action(2, 7, mFightCounter, -2));
    const std::vector<TComplexAction> c = BuildComplexActions(list);
    ASSERT_EQ(c.size(), 3u);
    // The negative step's personage plays first, its step made positive.
    EXPECT_EQ(c[0].Side, 2);
    EXPECT_EQ(c[0].Slot, 7);
    EXPECT_EQ(c[0].Actions[0].Action.Step, 2);
    // It swapped places with the first.
    EXPECT_EQ(c[2].Slot, 2);
    const auto& actor = c[2].Actions;
    ASSERT_EQ(actor.size(), 2u);
    EXPECT_EQ(actor[0].Action.Mode, mMove);
    EXPECT_EQ(actor[0].PreAction, 1);
    EXPECT_EQ(actor[0].Action.Delta.HitsChange, -3);
    EXPECT_EQ(actor[1].Action.Mode, mFight);
    EXPECT_EQ(actor[1].PreAction, 0);
    EXPECT_EQ(actor[1].Action.Delta.HitsChange, 0);
    EXPECT_EQ(actor[1].Action.Step, 2);
    EXPECT_EQ(actor[1].Action.SubMode, 0);
    ASSERT_EQ(c[1].Actions.size(), 2u);
    EXPECT_EQ(c[1].Actions[1].Action.Mode, mDie);
}

TEST(BuildComplexActionsTest, APreModeOnANegativeStep)
{
    TActionList list{Action(1, 1, mFight, -3, mMove)};
    const auto c = BuildComplexActions(list);
    ASSERT_EQ(c[0].Actions.size(), 2u);
    EXPECT_EQ(c[0].Actions[0].Action.Step, 3);
    EXPECT_EQ(c[0].Actions[1].Action.Step, 4); // |step| + 1
}

TEST(AnimationNameTest, AllModesFarOnAndOff)
{
    for (int far = 0; far <= 1; ++far)
        for (int mode = 0; mode < ActionModeCount; ++mode) {
            TAnimationContext c;
            c.Far = far != 0;
            c.DeathName = "death_far";
            const std::string name = GetActionAnimationName(static_cast<uint8_t>(mode), c);
            std::string expected;
            switch (mode) {
            case mMove: case mMoveTo: case mRetreat: expected = "walk"; break;
            case mFight: expected = far ? "attack_far" : "attack"; break;
            case mFightGroup: expected = "attack_multi"; break;
            case mFightLong: expected = "attack_far"; break;
            case mFightCounter: case mFightBack: case mShootSlow: case mShootAimed: case mSpell: case mEnemy:
            case mEnemyInstantly: case mAlly: case mSpellSummon: case mShoot: expected = "attack"; break;
            case mEnemyAll: case mAllyAll: case mQuake: expected = "attack02"; break;
            case mDefense: case mCursed: expected = far ? "wound_far" : "wound"; break;
            case mDie: case mHorseFall: case mHorseDie: case mDieGhost: expected = "death_far"; break;
            case mAction: expected = "idle01"; break;
            case mPotion: expected = "drink"; break;
            case mSummon: expected = "stand"; break;
            case mDieGhostHorse: expected = "runaway"; break;
            default: break;
            }
            EXPECT_EQ(name, expected) << ActionModeNames[mode] << " far " << far;
        }
    TAnimationContext c;
    c.Bow = true;
    EXPECT_EQ(GetActionAnimationName(mShoot, c), "attack_double");
    c.DefenceStance = true;
    EXPECT_EQ(GetActionAnimationName(mAction, c), "defend");
}

int32_t Length(const std::string& name)
{
    return name == "death" ? 1200 : 900;
}

TEST(PlanComplexActionTest, StepTableAndPreActionOverlap)
{
    TStepTable steps;
    const TComplexAction actor = BuildComplexActions({Action(1, 1, mFight, 1, mMove)})[0];
    const auto plan = PlanComplexAction(actor, steps, 10000, TAnimationContext{}, Length);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].Start, 10000);
    EXPECT_EQ(plan[0].Duration, WalkDuration);
    // The main action starts a third of the walk after the walk's start.
    EXPECT_EQ(plan[1].Start, 10000 + WalkDuration / 3);
    EXPECT_EQ(plan[1].Reference, 10000);
    EXPECT_EQ(plan[1].Duration, 900);
    EXPECT_EQ(steps.Start[1], 10000);
    EXPECT_EQ(steps.Start[2], 10000 + WalkDuration);
    // Another personage on step 2 starts at the table's time.
    TComplexAction target;
    target.Actions.push_back(TComplexElement{Action(2, 1, mDefense, 2), 0, 0});
    target.Actions.push_back(TComplexElement{Action(2, 1, mDie, 3), 0, 0});
    const auto second = PlanComplexAction(target, steps, 10000, TAnimationContext{}, Length);
    EXPECT_EQ(second[0].Start, 10000 + WalkDuration);
    EXPECT_EQ(second[1].Start, second[0].Start + 900);
    EXPECT_EQ(second[1].Duration, 1200);
}

TEST(PlanComplexActionTest, HorseFallLastsUntilTheRiderStands)
{
    TStepTable steps;
    TComplexAction c;
    c.Actions.push_back(TComplexElement{Action(1, 1, mHorseFall), 0, 0});
    const auto plan = PlanComplexAction(c, steps, 5000, TAnimationContext{}, Length);
    EXPECT_EQ(plan[0].Duration, 1200 + 2300 + 700);
}

TEST(FootstepTest, OneTwoThreeCells)
{
    const auto three = FootstepTimes(3);
    const int32_t times[] = {467, 933, 1400, 1867, 2333};
    ASSERT_EQ(three.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(three[i].Time, times[i]);
        EXPECT_EQ(three[i].Foley, i % 2 == 0 ? 1 : 0);
        EXPECT_EQ(three[i].Second, i % 2 == 0 ? 1 : 0);
    }
    EXPECT_EQ(FootstepTimes(1).size(), 1u);
    // 2 x 933 = 1866 < 1866.668 (four steps in 32-bit floats): three steps.
    EXPECT_EQ(FootstepTimes(2).size(), 3u);
    EXPECT_TRUE(FootstepTimes(0).empty());
}

TEST(DeathSoundTest, Delays)
{
    EXPECT_EQ(DeathDropFrames(bSword, true, 12), 70);
    EXPECT_EQ(DeathDropFrames(bSword, false, 12), 12);
    EXPECT_EQ(DeathDropFrames(bPike, false, 0), 36);
    EXPECT_EQ(DeathDropFrames(bHand, false, 0), 0); // unnamed: own delay, else 0
    EXPECT_EQ(BodyFallFrames(bArbalet, false, false, 0), 73);
    EXPECT_EQ(BodyFallFrames(bSword, true, false, 0), 58);
    EXPECT_EQ(BodyFallFrames(bStaff + 2, false, true, 0), 56);
    EXPECT_EQ(BodyFallFrames(bStaff + 2, false, false, 0), 55);
    EXPECT_EQ(BodyFallFrames(bBook, false, false, 0), 52);
    EXPECT_EQ(BodyFallFrames(bBook, false, true, 9), 9);
    EXPECT_EQ(BodyFallFrames(bCrowbillDagger, false, false, 0), 0);
}

TEST(FloatingTextTest, HeightsColoursAndLines)
{
    EXPECT_FLOAT_EQ(FloatingTextHeight(false, 0), 2.0f);
    EXPECT_FLOAT_EQ(FloatingTextHeight(true, 100), 2.9f);
    EXPECT_FLOAT_EQ(FloatingTextHeight(false, 150), 1.8f * 1.5f + 0.2f);
    TFloatingLine line;
    EXPECT_EQ(FloatingTextColor(line), 0xFFFFFFFFu);
    line.HasNumber = true;
    line.Number = -5;
    EXPECT_EQ(FloatingTextColor(line), 0xFFFF4000u);
    line.Number = 5;
    EXPECT_EQ(FloatingTextColor(line), 0xFF40FF40u);

    TPersonageDelta d{};
    d.AddedEffects[1] = 4;
    d.EffectChange[2] = 9;
    d.GainedBonuses.Include(20); // not shown: a spell line stands first
    d.HitsChange = -7;
    const auto lines = FloatingTextLines(
        d, [](int32_t s) { return "spell" + std::to_string(s); }, [](int32_t b) { return "bonus" + std::to_string(b); },
        nullptr, "Lost", "Gained");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].Text, "spell4");
    EXPECT_EQ(lines[1].Text, "spell9");
    EXPECT_EQ(lines[2].Text, "Lost -7");
    d = TPersonageDelta{};
    d.GainedBonuses.Include(20);
    d.MarkedBonuses.Include(21);
    d.MarkedBonuses.Include(22);
    const auto bonuses = FloatingTextLines(
        d, nullptr, [](int32_t b) { return "bonus" + std::to_string(b); }, [](int32_t b) { return b != 22; }, "L",
        "G");
    ASSERT_EQ(bonuses.size(), 2u);
    EXPECT_EQ(bonuses[1].Text, "bonus21");
    EXPECT_EQ(FloatingTextTime(1000, 2), 2100);
}

} // namespace
