// Recomputing a personage's statistics: the neutral case, terrain and time,
// walls, potions, stun and fear, active effects and forecasts.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "battle/Battle.h"
#include "tests/battle/BattleTestSupport.h"

namespace {

class BattleRecalcTest : public ::testing::Test, protected TEffectsFixture {
protected:
    int Stat(int side, int n, int k) { return B().Personage(side, n).Stats[k]; }
    int Work(int side, int n, int k) { return B().Personage(side, n).GetWorkStat(k); }
};

} // namespace

TEST_F(BattleRecalcTest, ANeutralPersonageGetsItsReferenceValuesBack)
{
    TPersonage& p = Fighter(1, 1, -1, 3);
    p.RefStats[3] = 14;
    p.RefPersBonus[3] = bSword;
    p.BattleBonusSet.Include(bSword);
    p.BattleBonusSet.Include(HorseMaster);
    p.Stats[3] = 99;
    p.BonusSet.Include(eFear);
    B().ActorSide = 2;
    B().RecalcPersonage(1, 1, 0, 0, 0, false);
    EXPECT_EQ(std::memcmp(&p.Stats, &p.RefStats, 32), 0);
    EXPECT_EQ(std::memcmp(&p.BonusSet, &p.BattleBonusSet, 26), 0);
    EXPECT_EQ(std::memcmp(p.WorkStatsBytes, &p.Stats, 32), 0);
    EXPECT_EQ(std::memcmp(&p.WorkBonusSet, &p.BonusSet, 26), 0);
    const int32_t workHits = p.WorkHits;
    EXPECT_EQ(workHits, 30);
    const int32_t actorSide = B().ActorSide;
    EXPECT_EQ(actorSide, 0);
}

TEST_F(BattleRecalcTest, NightDarkensThoseWithoutANightBonus)
{
    BonusValues[eDarkness] = 5;
    B().TimeOfDay = 8;
    Fighter(1, 1, -1, 3);
    TPersonage& undead = Fighter(1, 2, -1, 2);
    Give(undead, bUndead);
    B().RecalcPersonage(1, 1, 0, 0, 0, false);
    B().RecalcPersonage(1, 2, 0, 0, 0, false);
    EXPECT_EQ(Stat(1, 1, 2), 7); // 10 x 70 / 100
    EXPECT_EQ(Stat(1, 1, 4), 8); // 10 x 85 / 100, truncated
    EXPECT_EQ(Stat(1, 1, 8), 8); // 10 - round(5 / 3)
    EXPECT_TRUE(B().Personage(1, 1).BonusSet.Has(eDarkness));
    EXPECT_EQ(Stat(1, 2, 2), 10);
    EXPECT_EQ(Stat(1, 2, 4), 10);
    EXPECT_FALSE(undead.BonusSet.Has(eDarkness));
    B().TimeOfDay = 6;
    B().RecalcPersonage(1, 1, 0, 0, 0, false);
    EXPECT_EQ(Stat(1, 1, 2), 10);
}

TEST_F(BattleRecalcTest, InitiativeNeverFallsBelowOne)
{
    BonusValues[eDarkness] = 15;
    BonusValues[eStunedHeavy] = 90;
    BonusValues[eFear] = 15;
    B().TimeOfDay = 7;
    TPersonage& p = Fighter(1, 1, -1, 3);
    p.StunLevel = 3;
    p.Fear = 2;
    B().RecalcPersonage(1, 1, 0, 0, 0, false);
    EXPECT_EQ(Stat(1, 1, 2), 1);
    EXPECT_TRUE(p.BonusSet.Has(eStunedHeavy));
    EXPECT_TRUE(p.BonusSet.Has(eFear));
    EXPECT_GE(Stat(1, 1, 6), 0);
}

TEST_F(BattleRecalcTest, WallsHelpTheDefendersOnly)
{
    AssaultParams.Attacker = AssaultParams.LastAttacker = 7;
    AssaultParams.AssaultC = 3;
    B().Sides[1].Army = 7;
    B().Sides[2].Army = 8;
    Fighter(1, 1, -1, 3);
    TPersonage& defender = Fighter(2, 1, 1, 3);
    B().RecalcPersonage(1, 1, 0, 0, 0, false);
    B().RecalcPersonage(2, 1, 0, 0, 0, false);
    EXPECT_EQ(Stat(1, 1, 6), 10);
    EXPECT_FALSE(B().Personage(1, 1).BonusSet.Has(eCastleDefense));
    EXPECT_EQ(Stat(2, 1, 6), 13);
    EXPECT_EQ(Stat(2, 1, 7), 13);
    const uint8_t walls = defender.WallsBonus;
    EXPECT_EQ(walls, 3);
    EXPECT_TRUE(defender.BonusSet.Has(eCastleDefense));
    // The attackers' siege master leaves the walls without effect.
    Give(B().Personage(1, 1), tSiegesMaster);
    B().RecalcPersonage(2, 1, 0, 0, 0, false);
    EXPECT_EQ(Stat(2, 1, 6), 10);
    const uint8_t none = defender.WallsBonus;
    EXPECT_EQ(none, 0);
}

TEST_F(BattleRecalcTest, PotionsDrunkCountWithTheAlchemistsFactor)
{
    ItemTable[2].Abs[3] = 4;
    ItemTable[2].Prc[6] = 50;
    ItemTable[2].Max[8] = -2;
    ItemTable[2].Bonus[1] = Stability;
    TPersonage& leader = Fighter(1, 1, -1, 3);
    leader.PotionCount = 1;
    leader.PotionItems[1] = 2;
    B().RecalcPersonage(1, 1, 0, 0, 0, false);
    EXPECT_EQ(Stat(1, 1, 3), 14);
    EXPECT_EQ(Stat(1, 1, 6), 15);
    EXPECT_EQ(Stat(1, 1, 8), 2); // a negative cap sets the magnitude
    EXPECT_TRUE(leader.BonusSet.Has(Stability));
    BonusValues[tAlchemy] = 50;
    Give(leader, tAlchemy);
    B().RecalcPersonage(1, 1, 0, 0, 0, false);
    EXPECT_EQ(Stat(1, 1, 3), 16); // 10 + round(6)
    EXPECT_EQ(Stat(1, 1, 6), 18); // 10 x 1.75 = 17.5, halves to even
    EXPECT_EQ(Stat(1, 1, 8), 3);
    // A drink count beyond the four kept entries reads only those four.
    leader.PotionCount = 300;
    B().RecalcPersonage(1, 1, 0, 0, 0, false);
    EXPECT_EQ(Stat(1, 1, 3), 16);
}

TEST_F(BattleRecalcTest, EachEffectKindWorksOnItsStatistics)
{
    struct Case {
        uint8_t Kind;
        std::array<int, 9> Expected; // stats 1..8
    };
    const Case cases[] = {
        {eHit, {0, 35, 10, 10, 10, 10, 10, 10, 10}},        {eInitiative, {0, 30, 15, 10, 10, 10, 10, 10, 10}},
        {eAttack, {0, 30, 10, 15, 15, 10, 10, 10, 10}},     {eAttackBlow, {0, 30, 10, 15, 10, 10, 10, 10, 10}},
        {eAttackShot, {0, 30, 10, 10, 15, 10, 10, 10, 10}}, {eDefenseAll, {0, 30, 10, 10, 10, 10, 15, 15, 10}},
        {eDefense, {0, 30, 10, 10, 10, 10, 15, 10, 10}},    {eProtect, {0, 30, 10, 10, 10, 10, 10, 15, 10}},
        {eMagicPower, {0, 30, 10, 10, 10, 15, 10, 10, 10}}, {eWill, {0, 30, 10, 10, 10, 10, 10, 10, 15}},
        {eTotal, {0, 35, 15, 15, 15, 15, 15, 15, 15}},      {eRemoveBless, {0, 30, 10, 10, 10, 10, 10, 10, 10}},
    };
    for (const Case& c : cases) {
        SpellTable[1] = TSpell{};
        SpellTable[1].ResultMultiply = 100;
        SpellAdding(1, 1, c.Kind, 5);
        TPersonage& p = Fighter(1, 1, -1, 3);
        p.Effects[2] = TPersonageEffect{1, 1, 0, 3};
        B().RecalcPersonage(1, 1, 0, 0, 0, false);
        for (int k = 1; k <= 8; ++k)
            EXPECT_EQ(Stat(1, 1, k), c.Expected[k]) << "kind " << int(c.Kind) << " stat " << k;
    }
}

TEST_F(BattleRecalcTest, RemovalEffectsSilenceBlessingsOrCurses)
{
    SpellAdding(1, 1, eDefense, 5).BlessSpell = true;
    SpellAdding(2, 1, eAttackBlow, -4).CurseSpell = true;
    SpellAdding(3, 1, eRemoveBless, 0);
    SpellAdding(4, 1, eRemoveSpell, 0);
    TPersonage& p = Fighter(1, 1, -1, 3);
    p.Effects[1] = TPersonageEffect{1, 1, 0, 3};
    p.Effects[2] = TPersonageEffect{2, 1, 0, 3};
    B().RecalcPersonage(1, 1, 0, 0, 0, false);
    EXPECT_EQ(Stat(1, 1, 6), 15);
    EXPECT_EQ(Stat(1, 1, 3), 6);
    // Forecasts: a bless remover, and a spell remover from an ally (curses
    // go) or from an enemy (blessings go).
    B().RecalcPersonage(1, 1, 3, 1, 0, false);
    EXPECT_EQ(Work(1, 1, 6), 10);
    EXPECT_EQ(Work(1, 1, 3), 6);
    B().RecalcPersonage(1, 1, 4, 1, 0, true);
    EXPECT_EQ(Work(1, 1, 6), 15);
    EXPECT_EQ(Work(1, 1, 3), 10);
    B().RecalcPersonage(1, 1, 4, 1, 0, false);
    EXPECT_EQ(Work(1, 1, 6), 10);
    EXPECT_EQ(Work(1, 1, 3), 6);
    EXPECT_EQ(Stat(1, 1, 6), 15); // the stored values stay
}

TEST_F(BattleRecalcTest, ACurseRemovingForecastShowsTheTargetCleanAndTouchesNothingElse)
{
    BonusValues[eStunedMedium] = 20;
    BonusValues[eFear] = 10;
    SpellAdding(1, 1, eRemoveCurse, 0);
    TPersonage& p = Fighter(2, 1, 1, 3);
    p.StunLevel = 2;
    p.Poison = 1;
    p.Fear = 2;
    B().RecalcPersonage(2, 1, 0, 0, 0, false);
    EXPECT_EQ(Stat(2, 1, 3), 3); // stun: round(10 x 0.8) = 8; fear: 8 x 40 / 100
    EXPECT_TRUE(p.BonusSet.Has(eStunedMedium));
    EXPECT_TRUE(p.BonusSet.Has(ePoison));
    EXPECT_TRUE(p.BonusSet.Has(eFear));

    TPersonage before = p;
    B().RecalcPersonage(2, 1, 1, 1, 0, true);
    for (int k = 1; k <= 8; ++k)
        EXPECT_EQ(Work(2, 1, k), p.RefStats[k]) << k;
    EXPECT_FALSE(p.WorkBonusSet.Has(eStunedMedium));
    EXPECT_FALSE(p.WorkBonusSet.Has(ePoison));
    EXPECT_FALSE(p.WorkBonusSet.Has(eFear));
    EXPECT_EQ(B().ActorSide, 2);
    EXPECT_EQ(B().ActorSlot, 1);
    // Only the working copy changed.
    std::memcpy(&before.WorkHits, &p.WorkHits, sizeof p.WorkHits);
    std::memcpy(before.WorkStatsBytes, p.WorkStatsBytes, 32);
    before.WorkBonusSet = p.WorkBonusSet;
    EXPECT_EQ(std::memcmp(&before, &p, sizeof p), 0);
}

TEST_F(BattleRecalcTest, AForecastSpellCountsAsASixthEffect)
{
    SpellAdding(1, 1, eDefense, 5);
    SpellAdding(2, 1, eDamage, -8);
    SpellAdding(3, 1, eCure, -8, eCureCircle);
    TPersonage& p = Fighter(2, 1, 1, 3);
    p.Hits = 20;
    for (int k = 1; k <= 5; ++k)
        p.Effects[k] = TPersonageEffect{1, 1, 0, 3};
    B().RecalcPersonage(2, 1, 0, 0, 0, false);
    EXPECT_EQ(Stat(2, 1, 6), 35);
    B().RecalcPersonage(2, 1, 1, 1, 0, false);
    EXPECT_EQ(Work(2, 1, 6), 40);
    // Health changes of the forecast spell show in the working health; a
    // cure never takes health away.
    B().RecalcPersonage(2, 1, 2, 1, 0, false);
    int32_t work = p.WorkHits;
    EXPECT_EQ(work, 12);
    B().RecalcPersonage(2, 1, 3, 1, 0, false);
    work = p.WorkHits;
    EXPECT_EQ(work, 20);
    const int16_t hits = p.Hits;
    EXPECT_EQ(hits, 20);
}

TEST_F(BattleRecalcTest, LeadersAndNeighbours)
{
    BonusValues[tCommander] = 2;
    BonusValues[tEncouragement] = 3;
    BonusValues[tCohesion] = 1;
    BonusValues[eCoverPos] = 50;
    TPersonage& leader = Fighter(1, 1, -1, 3);
    Give(leader, tEncouragement);
    Give(leader, tCohesion);
    TPersonage& p = Fighter(1, 2, -1, 2);
    p.NearCommander = 1;
    p.CohesionCount = 2;
    B().SlotStates[1].KillCount = 2;
    TPersonage& coverer = Fighter(1, 3, -2, 2);
    coverer.BonusSet.Include(eCoverPos);
    coverer.Stats[6] = 8;
    B().RecalcPersonage(1, 2, 0, 0, 0, false);
    EXPECT_EQ(Stat(1, 2, 2), 10 + 4 + 6);
    EXPECT_EQ(Stat(1, 2, 8), 12);
    EXPECT_EQ(Stat(1, 2, 3), 10 + 6 + 2);
    EXPECT_EQ(Stat(1, 2, 6), 10 + 2 + 4);
    EXPECT_TRUE(p.BonusSet.Has(eCommander));
    EXPECT_TRUE(p.BonusSet.Has(eEncouragement));
    EXPECT_TRUE(p.BonusSet.Has(eCohesion));
    // A fallen leader takes the commander mark and the auras with it.
    leader.Hits = 0;
    B().RecalcPersonage(1, 2, 0, 0, 0, false);
    EXPECT_EQ(Stat(1, 2, 2), 10);
    const uint8_t near = p.NearCommander;
    EXPECT_EQ(near, 0);
}
