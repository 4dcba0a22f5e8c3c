// Health, wounds and death, the fall from a horse, morale and merit.
#include <gtest/gtest.h>

#include "battle/Battle.h"
#include "tests/battle/BattleTestSupport.h"

namespace {

class BattleHealthTest : public ::testing::Test, protected TEffectsFixture {
protected:
    TPersonage& Fighter50(int32_t side, int32_t n, int32_t row, int32_t column)
    {
        TPersonage& p = Fighter(side, n, row, column);
        p.Stats[1] = 50;
        p.Hits = 50;
        p.FullHits = 50;
        Settle(p);
        return p;
    }
    int Wounds(const TPersonage& p) { return p.Wounds; }
    int Hits(const TPersonage& p) { return p.Hits; }
    int State(const TPersonage& p) { return p.BattleState; }
    int64_t Merit(int32_t side, int32_t n) { return B().Personage(side, n).Merit; }
    void SetValue(int32_t side, int32_t n, int64_t value)
    {
        TThreatAssessment a = GetAssessment(B().Personage(side, n), false);
        a.Value = value;
        SetAssessment(B().Personage(side, n), false, a);
    }
};

} // namespace

TEST_F(BattleHealthTest, HeavyBlowsWound)
{
    Fighter(1, 1, -1, 3);
    TPersonage& p = Fighter50(2, 1, 1, 3);
    EXPECT_EQ(B().ApplyHealthChange(2, 1, -25, mFight, 1, 1), mDefense);
    EXPECT_EQ(Wounds(p), 0);
    EXPECT_EQ(Hits(p), 25);
    p.Hits = 50;
    EXPECT_EQ(B().ApplyHealthChange(2, 1, -30, mFight, 1, 1), mDefense);
    EXPECT_EQ(Wounds(p), 1);
    EXPECT_EQ(State(p), 2);
    EXPECT_EQ(Hits(p), 20);
    const int16_t ref = p.RefStats[1];
    EXPECT_EQ(ref, 33); // the wound rule: 2 of 3 parts of 50

    // Iron health shrugs off the first heavy hit of the battle only.
    TPersonage& iron = Fighter50(2, 2, 1, 2);
    Give(iron, tIronHealth);
    B().ApplyHealthChange(2, 2, -30, mFight, 1, 1);
    EXPECT_EQ(Wounds(iron), 0);
    const uint8_t marked = iron.WoundedInBattle;
    EXPECT_EQ(marked, 1);
    iron.Hits = 50;
    B().ApplyHealthChange(2, 2, -26, mFight, 1, 1);
    EXPECT_EQ(Wounds(iron), 1);

    // A pStrength striker wounds with any blow.
    Give(B().Personage(1, 1), pStrength);
    TPersonage& q = Fighter50(2, 3, 1, 4);
    B().ApplyHealthChange(2, 3, -5, mFight, 1, 1);
    EXPECT_EQ(Wounds(q), 1);
}

TEST_F(BattleHealthTest, ReactionsByMode)
{
    struct Case {
        uint8_t Mode;
        uint8_t Reaction;
    };
    const Case cases[] = {{mFight, mDefense},      {mFightGroup, mDefense}, {mFightMirror, mDefense},
                          {mShootAimed, mDefense}, {mQuake, mDefense},      {mFightRecoil, mNone},
                          {mEnemy, mCursed},       {mEnemyAll, mCursed},    {mEnemySpecial, mCursed},
                          {mAlly, mBlessed},       {mAllyAll, mBlessed},    {mEnemyInstantly, mNone},
                          {mPotion, mNone}};
    Fighter(2, 1, 1, 3);
    for (const Case& c : cases) {
        B().Personage(2, 1).Hits = 30;
        EXPECT_EQ(B().ApplyHealthChange(2, 1, -1, c.Mode, 0, 0), c.Reaction) << int(c.Mode);
    }
}

TEST_F(BattleHealthTest, AKillIsBookedAndTheLastOneEndsTheBattle)
{
    Fighter(1, 1, -1, 3);
    Fighter(2, 1, 1, 3);
    TPersonage& victim = Fighter(2, 2, 1, 2);
    Fighter(2, 3, 1, 4);
    EXPECT_EQ(B().ApplyHealthChange(2, 2, -40, mFight, 1, 1), mDie);
    EXPECT_EQ(Hits(victim), 0);
    EXPECT_EQ(State(victim), 5); // first wound of three
    EXPECT_EQ(B().SlotStates[1].KillCount, 1);
    const TBattleSide& s = B().Sides[2];
    const int32_t living = s.LivingCount, first = s.Living[1], second = s.Living[2];
    EXPECT_EQ(living, 2);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 3);
    EXPECT_EQ(ReadCellMapInt(B().Cells, {1, 2}), 0);
    EXPECT_EQ(B().Over, 0);
    const int32_t lost = s.Stats.HitsLost, round = B().RoundDamage[2];
    EXPECT_EQ(lost, 30); // only the health it had
    EXPECT_EQ(round, 30);
    // A fallen personage takes no more changes.
    EXPECT_EQ(B().ApplyHealthChange(2, 2, 10, mAlly, 1, 1), mDie);
    EXPECT_EQ(Hits(victim), 0);

    B().ApplyHealthChange(2, 1, -40, mFight, 0, 0);
    EXPECT_EQ(B().SlotStates[1].KillCount, 1); // no killer named
    TPersonage& last = B().Personage(2, 3);
    last.Wounds = 2;
    B().ApplyHealthChange(2, 3, -40, mFight, 1, 1);
    EXPECT_EQ(State(last), 6); // the last wound
    EXPECT_EQ(B().Over, 1);
    const int32_t none = s.LivingCount;
    EXPECT_EQ(none, 0);
}

TEST_F(BattleHealthTest, DeathModesAndTheImportantNpc)
{
    TPersonage& npc = Fighter(2, 1, 1, 3);
    npc.ImportantNPC = 1;
    npc.Wounds = 2;
    B().ApplyHealthChange(2, 1, -40, mFight, 0, 0);
    EXPECT_EQ(State(npc), 5);

    TPersonage& ghost = Fighter(2, 2, 1, 2);
    EXPECT_EQ(B().GetDeathMode(2, 2), mDie);
    ghost.PersBonus[5] = bInvincible;
    EXPECT_EQ(B().GetDeathMode(2, 2), mDieGhost);
    ghost.Mounted = 1;
    EXPECT_EQ(B().GetDeathMode(2, 2), mDieGhostHorse);
}

TEST_F(BattleHealthTest, HealingIsCappedAndFillsThePool)
{
    TPersonage& p = Fighter(1, 1, -1, 3);
    p.Hits = 20;
    B().ApplyHealthChange(1, 1, 15, mAlly, 0, 0);
    EXPECT_EQ(Hits(p), 30);
    const int32_t pool = B().Sides[1].Stats.HitsPool;
    EXPECT_EQ(pool, 10);
}

TEST_F(BattleHealthTest, APolearmBringsTheHorseDown)
{
    TPersonage& pikeman = Fighter(1, 1, -1, 3);
    Give(pikeman, bPike);
    TPersonage& rider = Fighter(2, 1, 1, 3);
    rider.Mounted = 1;
    rider.HorseHits = 2;
    rider.Equipment[13] = 40;
    rider.Equipment[14] = 41;
    rider.Equipment[1] = 42;
    EXPECT_EQ(B().LanceTest(1, 1, 2, 1, mDefense), mDefense);
    int horse = rider.HorseHits;
    EXPECT_EQ(horse, 1);
    EXPECT_EQ(B().LanceTest(1, 1, 2, 1, mDefense), mHorseFall);
    EXPECT_EQ(Wounds(rider), 1);
    EXPECT_EQ(State(rider), 2);
    const uint8_t mounted = rider.Mounted;
    EXPECT_EQ(mounted, 0);
    const int32_t lostHorse = rider.Equipment[13], main = rider.Equipment[1], kept = rider.Equipment[14];
    EXPECT_EQ(lostHorse, -40);
    EXPECT_EQ(main, 41);
    EXPECT_EQ(kept, 42);

    // A killing blow on a standing horse is the horse's death too; other
    // weapons leave the horse's count alone.
    TPersonage& second = Fighter(2, 2, 1, 2);
    second.Mounted = 1;
    second.HorseHits = 3;
    EXPECT_EQ(B().LanceTest(1, 1, 2, 2, mDie), mHorseDie);
    TPersonage& swordsman = Fighter(1, 2, -1, 2);
    Give(swordsman, bSword);
    B().LanceTest(1, 2, 2, 2, mDefense);
    horse = second.HorseHits;
    EXPECT_EQ(horse, 2);
    // An invincible rider's horse never falls.
    second.PersBonus[5] = bInvincible;
    B().LanceTest(1, 1, 2, 2, mDefense);
    horse = second.HorseHits;
    EXPECT_EQ(horse, 2);
}

TEST_F(BattleHealthTest, TheSetUpDismountWoundsNobody)
{
    TPersonage& rider = Fighter(1, 1, -1, 3);
    rider.Mounted = 1;
    rider.Equipment[13] = 40;
    EXPECT_EQ(B().HorseFall(1, 1, 1), 1);
    EXPECT_EQ(Wounds(rider), 0);
    EXPECT_EQ(State(rider), 0);
    // A rider on its last wound dies with its horse.
    TPersonage& last = Fighter(1, 2, -1, 2);
    last.Mounted = 1;
    last.Wounds = 2;
    EXPECT_EQ(B().HorseFall(1, 2, mDie), mHorseDie);
    EXPECT_EQ(Hits(last), 0);
    EXPECT_EQ(State(last), 0);
}

TEST_F(BattleHealthTest, TerribleNeighboursFrighten)
{
    TPersonage& p = Fighter(1, 1, 0, 3);
    TPersonage& monster = Fighter(2, 1, 1, 3);
    Give(monster, Terrible);
    B().UpdateMorale(1, 1);
    int fear = p.Fear;
    EXPECT_EQ(fear, 2);
    // Away from the monster the fear fades by one step per update.
    WriteCellMapInt(B().Cells, {1, 3}, 0);
    B().UpdateMorale(1, 1);
    fear = p.Fear;
    EXPECT_EQ(fear, 1);
    B().UpdateMorale(1, 1);
    B().UpdateMorale(1, 1);
    fear = p.Fear;
    EXPECT_EQ(fear, 0);
    // The terrible one frightens its neighbours on its own update too.
    WriteCellMapInt(B().Cells, {1, 3}, -1);
    B().UpdateMorale(2, 1);
    fear = p.Fear;
    EXPECT_EQ(fear, 2);
    // The fearless never fear.
    TPersonage& brave = Fighter(1, 2, 0, 4);
    Give(brave, Fearless);
    B().UpdateMorale(1, 2);
    fear = brave.Fear;
    EXPECT_EQ(fear, 0);
}

TEST_F(BattleHealthTest, FriendlyFearCommanderAndCohesion)
{
    TPersonage& leader = Fighter(1, 1, -2, 3);
    Give(leader, tCohesion);
    Give(leader, Terrible);
    TPersonage& p = Fighter(1, 2, -1, 3);
    TPersonage& commander = Fighter(1, 3, -1, 2);
    Give(commander, tCommander);
    Fighter(1, 4, -1, 4, mShoot);
    B().UpdateMorale(1, 2);
    int fear = p.Fear;
    EXPECT_EQ(fear, 0);
    const uint8_t near = p.NearCommander, cohesion = p.CohesionCount;
    EXPECT_EQ(near, 1);
    EXPECT_EQ(cohesion, 2); // the leader and the commander fight in melee; the shooter does not count
    FriendlyFear = true;
    B().UpdateMorale(1, 2);
    fear = p.Fear;
    EXPECT_EQ(fear, 1);
    // Under cohesion the whole side is updated.
    for (int k = 1; k <= 4; ++k)
        B().SlotState(1, k).MoraleDirty = 0;
    B().SpreadMorale(1, 4);
    const uint8_t shooterNear = B().Personage(1, 4).NearCommander;
    EXPECT_EQ(shooterNear, 0);
    for (int k = 1; k <= 4; ++k)
        EXPECT_EQ(B().SlotState(1, k).MoraleDirty, 0) << k;
}

TEST_F(BattleHealthTest, MeritOfAHit)
{
    Fighter(1, 1, -1, 3);
    Fighter(1, 2, -1, 2);
    Fighter(2, 1, 1, 3).Stats[1] = 40;
    Fighter(2, 3, 1, 4);
    SetValue(1, 1, 50000);
    SetValue(2, 1, 30000);
    B().SlotState(1, 1).Supporters[3] = 2;  // own side's personage 2
    B().SlotState(2, 1).Supporters[1] = 3;  // its own side's personage 3
    B().SlotState(2, 1).Supporters[2] = -2; // the other side's personage 2
    B().AddMerit(1, 1, -10, 1, 2);
    EXPECT_EQ(Merit(1, 1), 207500); // 10 x 3.0 / 40 + 20
    EXPECT_EQ(Merit(1, 2), 207500 + 112500);
    EXPECT_EQ(Merit(2, 1), 112500); // 10 x 5.0 / 40 + 10
    EXPECT_EQ(Merit(2, 3), 112500);
    EXPECT_EQ(B().SlotState(1, 1).Supporters[3], 0);
    EXPECT_EQ(B().SlotState(2, 1).Supporters[1], 0);
    const int32_t actions = B().Sides[1].Stats.ActionCount, done = B().Personage(1, 1).ActionsDone;
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(done, 1);
    // Halves round to even: 1 x 5 / 2 = 2.5.
    SetValue(2, 3, 5);
    B().Personage(2, 3).Stats[1] = 2;
    B().AddMerit(1, 1, -1, 3, 2);
    EXPECT_EQ(Merit(1, 1), 207500 + 200002);
    // A target without health divides by 1.
    B().Personage(2, 3).Stats[1] = 0;
    B().AddMerit(1, 1, -1, 3, 2);
    EXPECT_EQ(Merit(1, 1), 207500 + 200002 + 200005);
    B().Personage(2, 3).Hits = 0;
    B().AddMerit(1, 1, 2, 3, 2);
    EXPECT_EQ(Merit(1, 1), 207500 + 200002 + 200005 + 200010);
}

TEST_F(BattleHealthTest, AHitWithoutWorthsPaysTheFixedShares)
{
    Fighter(1, 1, -1, 3);
    Fighter(2, 1, 1, 3);
    B().ApplyHealthChange(2, 1, -7, mFight, 1, 1);
    EXPECT_EQ(Merit(1, 1), 200000);
    EXPECT_EQ(Merit(2, 1), 100000);
    // Group strikes, counters and fights back earn nothing.
    for (uint8_t mode : {mFightGroup, mFightCounter, mFightBack, mNone})
        B().ApplyHealthChange(2, 1, -1, mode, 1, 1);
    EXPECT_EQ(Merit(1, 1), 200000);
}

TEST_F(BattleHealthTest, ABlessingRegistersTheSupporter)
{
    Fighter(1, 1, -1, 3);
    Fighter(1, 2, -1, 2);
    Fighter(2, 1, 1, 3);
    SetValue(1, 1, 40000);
    B().SlotState(1, 1).Supporters[1] = 2;
    B().AddMerit(1, 1, 0, 2, 1);
    EXPECT_EQ(Merit(1, 2), 40000);
    EXPECT_EQ(B().SlotState(1, 1).Supporters[1], 0);
    EXPECT_EQ(B().SlotState(1, 2).Supporters[1], 1);
    B().AddMerit(2, 1, 0, 2, 1);
    EXPECT_EQ(B().SlotState(1, 2).Supporters[2], -1);
    // A full list leaves the new supporter out.
    for (int i = 1; i <= 12; ++i)
        B().SlotState(2, 1).Supporters[i] = 5;
    B().AddMerit(1, 1, 0, 1, 2);
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(B().SlotState(2, 1).Supporters[i], 5) << i;
}
