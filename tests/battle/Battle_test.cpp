// The battle object: records, keyword table, accessors and neighbour steps.
#include <gtest/gtest.h>

#include <cmath>

#include "battle/Battle.h"
#include "tests/battle/BattleTestSupport.h"

TEST(BattleRecordsTest, ActionModeKeywords)
{
    EXPECT_STREQ(ActionModeNames[mNone], "mNone");
    EXPECT_STREQ(ActionModeNames[mStandUp], "mStand Up");
    EXPECT_STREQ(ActionModeNames[mDieGhostHorse], "mDieGhostHorse");
    EXPECT_EQ(ActionModeByName("mShootAimed"), mShootAimed);
    EXPECT_EQ(ActionModeByName("mStand Up"), mStandUp);
    EXPECT_EQ(ActionModeByName("mEnemyInstantly"), mEnemyInstantly);
    EXPECT_EQ(ActionModeByName("mStandUp"), mNone);
    for (int i = 0; i < ActionModeCount; ++i)
        EXPECT_EQ(ActionModeByName(ActionModeNames[i]), i) << ActionModeNames[i];
}

TEST(BattleRecordsTest, AssessmentLivesInThePersonageBytes)
{
    TPersonage p{};
    TThreatAssessment a{};
    a.Value = -123456789012LL;
    a.KillWorth = 513;
    a.KillCount = -2;
    SetAssessment(p, false, a);
    a.KillWorth = 7;
    SetAssessment(p, true, a);
    EXPECT_EQ(GetAssessment(p, false).KillWorth, 513);
    EXPECT_EQ(GetAssessment(p, false).Value, -123456789012LL);
    EXPECT_EQ(GetAssessment(p, true).KillWorth, 7);
    uint16_t raw = 0;
    std::memcpy(&raw, p.Assessment + 84, 2);
    EXPECT_EQ(raw, 513);
    int16_t kills = 0;
    std::memcpy(&kills, p.ActorAssessment + 106, 2);
    EXPECT_EQ(kills, -2);
}

TEST(BattleAccessTest, TheActorIsSeenThroughItsWorkingValues)
{
    TBattleFixture f;
    TPersonage& p = f.Place(1, 2, -1, 3, mShoot, 10);
    p.Stats[4] = 12;
    p.SetWorkStat(4, 20);
    p.SetWorkStat(8, 3);
    p.WorkHits = 17;
    p.BonusSet.Include(bBow);
    p.WorkBonusSet.Include(eShootPos);
    TBattle& b = *f.Battle;
    EXPECT_EQ(b.GetPersonageStat(1, 2, 0), 12);
    EXPECT_EQ(b.GetPersonageStat(1, 2, 8), 10);
    EXPECT_EQ(b.GetHits(1, 2), 30);
    EXPECT_TRUE(b.HasBonus(1, 2, bBow));
    EXPECT_FALSE(b.HasBonus(1, 2, eShootPos));
    b.ActorSide = 1;
    b.ActorSlot = 2;
    EXPECT_EQ(b.GetPersonageStat(1, 2, 0), 20);
    EXPECT_EQ(b.GetPersonageStat(1, 2, 4), 20);
    EXPECT_EQ(b.GetPersonageStat(1, 2, 8), 3);
    EXPECT_EQ(b.GetHits(1, 2), 17);
    EXPECT_FALSE(b.HasBonus(1, 2, bBow));
    EXPECT_TRUE(b.HasBonus(1, 2, eShootPos));
    EXPECT_FALSE(b.HasBonus(1, 2, 208));
    EXPECT_FALSE(b.HasBonus(1, 2, 255));
    EXPECT_EQ(b.GetPersonageStat(1, 2, 9), 0);
    // Stat 0 follows the attack mode; a personage without one has none.
    TPersonage& q = f.Place(2, 1, 1, 3, mFight, 10);
    q.Stats[3] = 14;
    EXPECT_EQ(b.GetPersonageStat(2, 1, 0), 14);
    q.AttackMode = mSpell;
    q.Stats[5] = 9;
    EXPECT_EQ(b.GetPersonageStat(2, 1, 0), 9);
    q.AttackMode = mNone;
    EXPECT_EQ(b.GetPersonageStat(2, 1, 0), 0);
    // While an actor is set every personage's health is its working one.
    q.WorkHits = 4;
    EXPECT_EQ(b.GetHits(2, 1), 4);
}

TEST(BattleAccessTest, TwoStepNeedsAFreeMiddleCell)
{
    TBattleFixture f;
    TBattle& b = *f.Battle;
    THexCell c;
    EXPECT_TRUE(b.GetNeighbourCell({0, 3}, 13, c));
    EXPECT_EQ(c.Row, 2);
    EXPECT_EQ(c.Column, 2);
    f.Place(2, 1, 1, 2);
    EXPECT_FALSE(b.GetNeighbourCell({0, 3}, 13, c));
    EXPECT_FALSE(b.GetNeighbourCellAt(0, 3, c, 13));
    // The cells between the lines have no middle cell to test.
    EXPECT_TRUE(b.GetNeighbourCellAt(0, 3, c, 7));
    EXPECT_TRUE(b.GetNeighbourCellAt(0, 3, c, 1));
}
