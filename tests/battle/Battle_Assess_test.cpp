// The computer's assessment of the field.
#include <gtest/gtest.h>

#include <cstring>

#include "battle/Battle.h"
#include "tests/battle/BattleTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

class BattleAssessTest : public ::testing::Test, protected TEffectsFixture {
protected:
    TThreatAssessment Of(int32_t side, int32_t n) { return GetAssessment(B().Personage(side, n), false); }
    // A bystander: alive, no attack mode, so it neither strikes nor is
    // struck by a spell.
    TPersonage& Bystander(int32_t side, int32_t n, int32_t row, int32_t column)
    {
        return Fighter(side, n, row, column, mNone);
    }
};

} // namespace

TEST_F(BattleAssessTest, TheFallenAndTheParalysedAreWorthTheirAttackAndNothingElse)
{
    Fighter(1, 1, -2, 3);
    TPersonage& shooter = Fighter(2, 1, 2, 3, mShoot, 7);
    TPersonage& fighter = Fighter(2, 2, 2, 4, mFight, 9);
    shooter.Hits = 0;
    Give(fighter, eParalysation);
    B().AssessThreats(1, 1);
    for (int n : {1, 2}) {
        const TThreatAssessment a = Of(2, n);
        EXPECT_EQ(V(a.KillWorth), n == 1 ? 7 : 9) << n;
        EXPECT_EQ(V(a.TargetCount), 1) << n;
        EXPECT_EQ(V(a.Value), 0) << n;
    }
}

TEST_F(BattleAssessTest, RegenerationAndPoisonOverTheRound)
{
    BonusValues[bRegeneration] = 10;
    BonusValues[ePoison] = 10;
    struct Case {
        bool Regenerates;
        bool Silver; // struck by silver this turn: no regeneration
        bool Poison;
        bool Poisoned;
        int32_t RoundDamage;
    } cases[] = {
        {true, false, false, false, -3}, {true, true, false, false, 0}, {false, false, true, false, 3},
        {false, false, true, true, 6},   {true, false, true, true, 3},
    };
    for (const Case& c : cases) {
        TPersonage& x = Bystander(1, 1, -2, 3);
        Bystander(2, 1, 2, 3);
        if (c.Regenerates)
            Give(x, bRegeneration);
        if (c.Poison)
            Give(x, ePoison);
        if (c.Poisoned)
            Give(x, Poisoned);
        x.NoRegeneration = c.Silver ? 1 : 0;
        B().AssessThreats(1, 1);
        EXPECT_EQ(V(Of(1, 1).RoundDamage), c.RoundDamage) << c.Regenerates << c.Silver << c.Poison << c.Poisoned;
    }
}

TEST_F(BattleAssessTest, ACasterWithoutSpellValueIsWorthItsPowerAndMana)
{
    // Nobody threatens it: danger 1, q = Hits squared.
    TPersonage& mage = Fighter(1, 1, -2, 3, mSpell);
    mage.Mana = 40;
    Bystander(2, 1, 2, 3);
    B().AssessThreats(1, 1);
    const TThreatAssessment a = Of(1, 1);
    EXPECT_EQ(V(a.KillWorth), 20); // 10 x sqrt(40 / 10)
    // w = 30^2 = 9,000,000 raw; w2 = round(w / (w / 12036 + 0.17)) = 12033.
    EXPECT_EQ(V(a.Value), 240660);
    EXPECT_EQ(V(a.TargetCount), 0);
}

TEST_F(BattleAssessTest, TargetsThatCannotBeHurtMarkTheAttackerImmune)
{
    Fighter(1, 1, 0, 3, mShoot);
    TPersonage& ghost = Fighter(2, 1, 2, 3, mNone);
    Give(ghost, bInvincible);
    ghost.Stats[6] = 1000; // its defence stops every shot
    ghost.Stats[7] = 1000;
    B().AssessThreats(1, 1);
    ASSERT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mNone, 0, 0, 0, 0), 0);
    EXPECT_EQ(V(Of(1, 1).MetImmune), 1);
    Give(ghost, ThePhantom);
    ghost.BonusSet.Exclude(bInvincible);
    B().AssessThreats(1, 1);
    EXPECT_EQ(V(Of(1, 1).MetImmune), 1);
    ghost.BonusSet.Exclude(ThePhantom);
    B().AssessThreats(1, 1);
    EXPECT_EQ(V(Of(1, 1).MetImmune), 0);
}

TEST_F(BattleAssessTest, TwoFightersWithOneWayInCountOnce)
{
    // X in the middle, harmless enemies on every neighbour but one.
    Bystander(1, 1, 0, 3);
    int32_t n = 2;
    THexCell open{0, 0};
    for (int32_t d = 1; d <= 6; ++d) {
        THexCell c;
        if (!StepHexCell(0, 3, d, c))
            continue;
        if (open.Column == 0 && c.Row > 0) {
            open = c;
            continue;
        }
        Bystander(2, ++n, c.Row, c.Column);
    }
    ASSERT_GT(open.Column, 0);
    Fighter(2, 1, 3, 2);
    Fighter(2, 2, -3, 3);
    B().Personage(2, 2).Hits = 0;
    Relist(2);
    B().AssessThreats(1, 1);
    const TThreatAssessment one = Of(1, 1);
    Fighter(2, 2, 3, 4);
    B().AssessThreats(1, 1);
    const TThreatAssessment two = Of(1, 1);
    EXPECT_GT(V(one.RoundDamage), 0);
    EXPECT_EQ(V(two.RoundDamage), V(one.RoundDamage));
    EXPECT_EQ(V(two.RoundMeleeAttackers), 1);
}

TEST_F(BattleAssessTest, OneMovementMapAPersonageAtMost)
{
    // Fighters far apart on both sides: every one of them walks, and each
    // walker's map serves every target it is weighed against.
    for (int32_t k = 1; k <= 5; ++k) {
        Fighter(1, k, -3 + (k > 3 ? 1 : 0), 1 + k);
        Fighter(2, k, 3 - (k > 3 ? 1 : 0), 1 + k);
    }
    const int64_t before = B().Counters.BuildDistanceMap;
    B().AssessThreats(1, 1);
    EXPECT_GT(B().Counters.BuildDistanceMap, before);
    EXPECT_LE(B().Counters.BuildDistanceMap - before, 10);
}

TEST_F(BattleAssessTest, SharedMapsGiveTheRecordsOfThePerPairForm)
{
    // Walkers, a pikeman, shooters and a caster on both sides; the one map
    // per personage must give what a map built for every pair gives.
    for (int32_t k = 1; k <= 5; ++k) {
        Fighter(1, k, -3 + (k > 3 ? 1 : 0), 1 + k);
        Fighter(2, k, 3 - (k > 3 ? 1 : 0), 1 + k);
    }
    Give(B().Personage(1, 2), bPike);
    Fighter(1, 6, -3, 1, mShoot);
    Fighter(2, 6, 1, 1, mShoot);
    Fighter(2, 7, 3, 1, mSpell).Mana = 30;
    B().Personage(2, 3).Hits = 12;
    const struct {
        int32_t Side, Slot;
    } actors[] = {{1, 1}, {2, 4}};
    for (const auto& actor : actors) {
        TThreatAssessment shared[3][16]{}, literal[3][16]{};
        int64_t maps[2]{};
        for (uint8_t perPair : {0, 1}) {
            B().AssessMapsPerPair = perPair;
            const int64_t before = B().Counters.BuildDistanceMap;
            B().AssessThreats(actor.Side, actor.Slot);
            maps[perPair] = B().Counters.BuildDistanceMap - before;
            for (int32_t s = 1; s <= 2; ++s)
                for (int32_t n = 1; n <= B().Sides[s].PersonageCount; ++n)
                    (perPair != 0 ? literal : shared)[s][n] = Of(s, n);
        }
        B().AssessMapsPerPair = 0;
        EXPECT_LT(maps[0], maps[1]) << actor.Side;
        for (int32_t s = 1; s <= 2; ++s)
            for (int32_t n = 1; n <= B().Sides[s].PersonageCount; ++n)
                EXPECT_EQ(std::memcmp(&shared[s][n], &literal[s][n], sizeof(TThreatAssessment)), 0)
                    << actor.Side << "/" << actor.Slot << ": personage " << s << "/" << n;
    }
}
