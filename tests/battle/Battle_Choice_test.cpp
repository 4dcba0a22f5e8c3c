// The computer's choice of action.
#include <gtest/gtest.h>

#include "battle/Battle.h"
#include "battle/Battle_Rules.h"
#include "tests/battle/BattleTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

class BattleChoiceTest : public ::testing::Test, protected TEffectsFixture {
protected:
    TBattleDecision Decide(int32_t side, int32_t n)
    {
        TBattleDecision d{};
        d.Side = side;
        d.Slot = n;
        B().ComputeAction(d);
        return d;
    }
};

} // namespace

TEST_F(BattleChoiceTest, AParalysedOrInvulnerableActorSkipsWhateverWasPrepared)
{
    for (int32_t bonus : {eParalysation, eInvulnerability}) {
        TPersonage& p = Fighter(1, 1, 0, 3);
        Fighter(2, 1, 1, 3);
        Give(p, bonus);
        B().SlotState(1, 1).Mode = mFight;
        B().SlotState(1, 1).Target = -1;
        const TBattleDecision d = Decide(1, 1);
        EXPECT_EQ(V(d.Mode), mSkip) << bonus;
        EXPECT_EQ(V(d.AutoSkip), 1) << bonus;
        ClearPreparedAction(B().SlotState(1, 1));
    }
}

TEST_F(BattleChoiceTest, PreparedActions)
{
    Fighter(1, 1, -2, 3);
    Fighter(2, 1, 2, 3);
    TBattleSlotState& st = B().SlotState(1, 1);

    // A prepared move is the player's click; nothing is weighed.
    st.Mode = mMove;
    st.ClickCell = {-1, 3};
    const int64_t before = B().Counters.AssessThreats;
    TBattleDecision d = Decide(1, 1);
    EXPECT_EQ(B().Counters.AssessThreats, before);
    EXPECT_EQ(V(d.Mode), mMoveTo);
    EXPECT_EQ(V(d.MoveCell.Row), -1);

    // A prepared strike at a far enemy: one step toward the chosen cell,
    // no target.
    st.Mode = mFight;
    st.Target = -1;
    st.ClickCell = {1, 3};
    d = Decide(1, 1);
    EXPECT_TRUE(V(d.Mode) == mMove || V(d.Mode) == mMoveTo);
    EXPECT_EQ(GetHexDistance({-2, 3}, {V(d.MoveCell.Row), V(d.MoveCell.Column)}), 1);
    EXPECT_EQ(V(d.TargetSide), 0);
    EXPECT_EQ(V(d.TargetSlot), 0);

    // Waits and skips are taken as prepared.
    st.Mode = mWait;
    d = Decide(1, 1);
    EXPECT_EQ(V(d.Mode), mWait);
}

TEST_F(BattleChoiceTest, NothingToDoWaitsThenSkips)
{
    TPersonage& p = Fighter(1, 1, -2, 3, mNone);
    Fighter(2, 1, 2, 3, mNone);
    EXPECT_EQ(V(Decide(1, 1).Mode), mWait);
    p.Waited = 1;
    EXPECT_EQ(V(Decide(1, 1).Mode), mSkip);
}

TEST_F(BattleChoiceTest, AFighterStrikesANeighbourAndWalksUpToADistantOne)
{
    Fighter(1, 1, 0, 3);
    Fighter(2, 1, 1, 3);
    TBattleDecision d = Decide(1, 1);
    EXPECT_EQ(V(d.Mode), mFight);
    EXPECT_EQ(V(d.TargetSide), 2);
    EXPECT_EQ(V(d.TargetSlot), 1);

    Remove(2, 1);
    Fighter(2, 1, 3, 3);
    d = Decide(1, 1);
    EXPECT_TRUE(V(d.Mode) == mMove || V(d.Mode) == mMoveTo);
    EXPECT_EQ(GetHexDistance({0, 3}, {V(d.MoveCell.Row), V(d.MoveCell.Column)}), 1);
    EXPECT_LT(GetHexDistance({V(d.ClickCell.Row), V(d.ClickCell.Column)}, {3, 3}), GetHexDistance({0, 3}, {3, 3}));
}

TEST_F(BattleChoiceTest, AnUnhurtableTargetIsStillStruckWhenNothingElseScores)
{
    Fighter(1, 1, 0, 3);
    TPersonage& ghost = Fighter(2, 1, 1, 3, mNone);
    Give(ghost, ThePhantom);
    ghost.Stats[6] = ghost.Stats[7] = 1000;
    const TBattleDecision d = Decide(1, 1);
    EXPECT_EQ(V(d.Mode), mFight);
    EXPECT_EQ(V(d.TargetSlot), 1);
}

TEST_F(BattleChoiceTest, PotionsBeforeTheFirstRound)
{
    struct Case {
        int16_t Blow1, Blow2;
        int32_t Round;
        bool Insane;
        uint8_t Mode;
        int32_t Entry;
    } cases[] = {
        {100, 100, 0, false, mPotion, 1}, // equal scores: the earlier entry
        {50, 100, 0, false, mPotion, 2},
        {100, 100, 1, false, mFight, 0}, // after round 0 strength potions wait
        {100, 100, 0, true, mFight, 0},  // the insane drink nothing
    };
    for (const Case& c : cases) {
        ItemTable[1].Abs[3] = c.Blow1;
        ItemTable[2].Abs[3] = c.Blow2;
        TPersonage& p = Fighter(1, 1, 0, 3);
        Fighter(2, 1, 1, 3);
        Fighter(1, 2, 1, 2);
        p.Equipment[9] = 1;
        p.Equipment[10] = 2;
        p.BeltPotionCount = 2;
        p.BeltPotionSlots[1] = 1;
        p.BeltPotionSlots[2] = 2;
        if (c.Insane)
            Give(p, eInsanity);
        B().TestRounds = 5;
        B().Round = c.Round;
        const TBattleDecision d = Decide(1, 1);
        EXPECT_EQ(V(d.Mode), c.Mode) << c.Blow1 << " " << c.Round << " " << c.Insane;
        if (c.Mode == mPotion) {
            EXPECT_EQ(V(d.ItemIndex), c.Entry);
        }
    }
}

TEST_F(BattleChoiceTest, ARetreatIsOneStepBackward)
{
    UseRetreat = true;
    // A weak shooter next to an enemy fighter that it cannot kill.
    TPersonage& shooter = Fighter(1, 1, 0, 3, mShoot);
    shooter.Hits = 5;
    Fighter(2, 1, 1, 3);
    for (bool player : {false, true}) {
        B().Sides[1].PlayerControlled = player ? 1 : 0;
        const TBattleDecision d = Decide(1, 1);
        const THexCell second{V(d.SecondCell.Row), V(d.SecondCell.Column)};
        ASSERT_GT(second.Column, 0) << player;
        EXPECT_LE(GetHexDistance(second, {0, 3}), 1);
        EXPECT_LE(second.Row, 0); // side 1 never falls back toward the enemy rows
        if (player) {
            EXPECT_NE(V(d.Mode), mRetreat);
        } else if (V(d.Mode) == mRetreat) {
            EXPECT_EQ(GetHexDistance({V(d.MoveCell.Row), V(d.MoveCell.Column)}, {0, 3}), 1);
        }
    }
    UseRetreat = false;
}

TEST_F(BattleChoiceTest, ACasterCastsItsBestSpellTheLowerSlotOnEqualScores)
{
    MinManaCost = 0;
    TSpell& s = SpellAdding(1, 1, eDamage, -10);
    s.Mode = 1;
    s.Condition[1] = cEnemy;
    SpellTable[2] = s;
    SpellTable[2].EffectValue2[1] = -20;
    for (int32_t strongSlot : {0, 2}) {
        TPersonage& mage = Fighter(1, 1, -2, 3, mSpell);
        mage.Mana = 100;
        mage.MagicSchool = 1;
        mage.Spells[1] = {1, 1};
        mage.Spells[2] = {strongSlot == 2 ? 2 : 1, 1};
        Fighter(2, 1, 2, 3);
        const TBattleDecision d = Decide(1, 1);
        EXPECT_EQ(V(d.TargetSide), 2) << strongSlot;
        EXPECT_EQ(V(d.SpellSlot), strongSlot == 2 ? 2 : 1);
        EXPECT_EQ(V(mage.SpellHasTargets[1]), 1);
        EXPECT_EQ(V(d.AutoSkip), 0);
    }
}

TEST_F(BattleChoiceTest, AFighterFallsBackOnlyBeforeThreeEnemyFighters)
{
    UseRetreat = true;
    // A weak fighter next to a sturdy enemy fighter; each enemy fighter has
    // one of the fighter's companions beside it, so none of them would walk
    // on to the cells behind the fighter. The insane never retreat.
    const struct {
        int32_t Enemies;
        bool Insane;
        bool Retreats;
    } rows[] = {{2, false, false}, {3, false, true}, {3, true, false}};
    for (const auto& row : rows) {
        TPersonage& p = Fighter(1, 1, 0, 3);
        p.Hits = 5;
        if (row.Insane)
            Give(p, eInsanity);
        Fighter(2, 1, 1, 3).Hits = 30;
        Fighter(1, 2, 1, 4, mNone);
        Fighter(2, 2, 3, 6);
        Fighter(1, 3, 3, 5, mNone);
        if (row.Enemies == 3) {
            Fighter(2, 3, 3, 1);
            Fighter(1, 4, 3, 2, mNone);
        }
        const TBattleDecision d = Decide(1, 1);
        EXPECT_EQ(V(d.Mode) == mRetreat, row.Retreats) << row.Enemies << " " << row.Insane << ": " << int(V(d.Mode));
        if (row.Retreats) {
            const THexCell to{V(d.MoveCell.Row), V(d.MoveCell.Column)};
            EXPECT_EQ(GetHexDistance(to, {0, 3}), 1);
            EXPECT_LT(to.Row, 0);
        }
        for (int32_t n = 1; n <= 4; ++n) {
            Remove(1, n);
            Remove(2, n);
        }
    }
    UseRetreat = false;
}

// A caster with slot 1's damage spell.
class BattleCasterChoiceTest : public BattleChoiceTest {
protected:
    TPersonage& Mage(int16_t damage)
    {
        MinManaCost = 0;
        TSpell& s = SpellAdding(1, 1, eDamage, damage);
        s.Mode = 1;
        s.Condition[1] = cEnemy;
        TPersonage& mage = Fighter(1, 1, -2, 3, mSpell);
        mage.Mana = 100;
        mage.MagicSchool = 1;
        mage.Spells[1] = {1, 1};
        return mage;
    }
};

TEST_F(BattleCasterChoiceTest, AMassSpellCarriesTheTotalOfItsCells)
{
    // Slot 2 holds the same spell as slot 1; only as a mass spell does it
    // outscore the lower slot.
    for (bool mass : {false, true}) {
        TPersonage& mage = Mage(-20);
        SpellTable[2] = SpellTable[1];
        SpellTable[2].MassEffect = mass;
        mage.Spells[2] = {2, 1};
        Fighter(2, 1, 2, 3);
        Fighter(2, 2, 2, 5);
        const TBattleDecision d = Decide(1, 1);
        EXPECT_EQ(V(d.SpellSlot), mass ? 2 : 1) << mass;
    }
}

TEST_F(BattleCasterChoiceTest, PunishingFireWalksUpToADistantTarget)
{
    // A spell that needs nearness, at a target three rows off.
    for (bool punishing : {false, true}) {
        TPersonage& mage = Mage(-20);
        SpellTable[1].Condition[2] = cNearby;
        SpellTable[1].NearbyCondition = true;
        if (punishing)
            Give(mage, tPunishingFire);
        Fighter(2, 1, 1, 3);
        const TBattleDecision d = Decide(1, 1);
        const THexCell move{V(d.MoveCell.Row), V(d.MoveCell.Column)};
        if (punishing) {
            EXPECT_EQ(V(d.SpellSlot), 1);
            EXPECT_TRUE(V(d.Mode) == mMove || V(d.Mode) == mMoveTo) << int(V(d.Mode));
            EXPECT_EQ(GetHexDistance(move, {-2, 3}), 1);
        } else {
            // Without it the far enemy is no target of the spell.
            EXPECT_NE(V(d.TargetSide), 2) << int(V(d.Mode));
        }
    }
}

TEST_F(BattleChoiceTest, TheInsaneUseNoAbilities)
{
    // Suppressing the will of a weak-willed neighbour is worth an ability.
    BonusValues[pSuppressionWill] = 20;
    B().Sides[1].BattleAction = 1;
    for (bool insane : {false, true}) {
        TPersonage& p = Fighter(1, 1, 0, 3);
        p.AbilityCount = 1;
        p.Abilities[1] = pSuppressionWill;
        if (insane)
            Give(p, eInsanity);
        Fighter(2, 1, 1, 3).Stats[8] = 10;
        const TBattleDecision d = Decide(1, 1);
        EXPECT_EQ(V(d.Mode) == mAction, !insane) << insane << ": " << int(V(d.Mode));
    }
}
