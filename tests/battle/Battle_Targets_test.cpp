// Spell targets and attack reach.
#include <gtest/gtest.h>

#include "battle/Battle.h"
#include "tests/battle/BattleTestSupport.h"

namespace {

class BattleTargetsTest : public ::testing::Test, protected TEffectsFixture {
protected:
    // A caster (1, 1) at (-1, 3) with spell 1 in slot 1; the spell's
    // conditions are the arguments, it costs nothing.
    TPersonage& Caster(uint8_t c1, uint8_t c2 = cNone, uint8_t c3 = cNone)
    {
        SpellTable[1].Condition[1] = c1;
        SpellTable[1].Condition[2] = c2;
        SpellTable[1].Condition[3] = c3;
        MinManaCost = 0;
        TPersonage& p = Fighter(1, 1, -1, 3, mSpell);
        p.Spells[1] = {1, 1};
        p.Mana = 100;
        return p;
    }
    uint8_t Mark(int32_t row, int32_t column) { return ReadCellMapByte(B().TargetMap, {row, column}); }
};

} // namespace

TEST_F(BattleTargetsTest, ShootersAreBlockedOnlyByFightersNextToThem)
{
    Fighter(1, 1, 0, 3, mShoot);
    Fighter(2, 1, 1, 3, mFight);
    Fighter(2, 2, 3, 3, mFight);
    EXPECT_TRUE(B().CanAttackPersonage(1, 1, 2, 1));
    EXPECT_FALSE(B().CanAttackPersonage(1, 1, 2, 2));
    B().Personage(2, 1).AttackMode = mShoot;
    EXPECT_TRUE(B().CanAttackPersonage(1, 1, 2, 2));
    B().Personage(2, 1).AttackMode = mSpell;
    EXPECT_TRUE(B().CanAttackPersonage(1, 1, 2, 2));
    // Casters reach everything; no one attacks itself, the fallen or from
    // the grave.
    TPersonage& mage = Fighter(1, 2, -3, 2, mSpell);
    EXPECT_TRUE(B().CanAttackPersonage(1, 2, 2, 2));
    EXPECT_FALSE(B().CanAttackPersonage(1, 2, 1, 2));
    B().Personage(2, 2).Hits = 0;
    EXPECT_FALSE(B().CanAttackPersonage(1, 2, 2, 2));
    EXPECT_TRUE(B().CanAttackCell(1, 2, {3, 3}));
    mage.Hits = 0;
    EXPECT_FALSE(B().CanAttackCell(1, 2, {3, 3}));
    mage.Hits = 10;
    mage.AttackMode = mNone;
    EXPECT_FALSE(B().CanAttackCell(1, 2, {-3, 3}));
}

TEST_F(BattleTargetsTest, APikeReachesTwoCellsThroughAFreeMiddle)
{
    TPersonage& pikeman = Fighter(1, 1, 0, 3);
    struct Case {
        THexCell Target;
        bool Pike;
        bool Reach;
    };
    const Case cases[] = {
        {{1, 3}, false, true}, {{2, 2}, false, false}, {{2, 2}, true, true},
        {{2, 3}, true, true},  {{0, 5}, true, true},   {{3, 3}, true, false},
    };
    for (const Case& c : cases) {
        pikeman.BonusSet.Exclude(bPike);
        if (c.Pike)
            pikeman.BonusSet.Include(bPike);
        EXPECT_EQ(B().CanAttackCell(1, 1, c.Target), c.Reach) << c.Target.Row << "," << c.Target.Column;
    }
    // Straight on through an occupied middle cell: no reach; from a cell it
    // could move to; between the lines there is no middle cell.
    pikeman.BonusSet.Include(bPike);
    Fighter(2, 1, 1, 2);
    EXPECT_FALSE(B().CanAttackCell(1, 1, {2, 2}));
    EXPECT_TRUE(B().CanAttackFromCell(1, 1, {2, 2}, {2, 3}));
    Fighter(2, 2, 1, 3);
    EXPECT_TRUE(B().CanAttackCell(1, 1, {2, 3}));
}

TEST_F(BattleTargetsTest, SlotZeroMarksNothing)
{
    Caster(cAll);
    Fighter(2, 1, 1, 3);
    B().TargetMap.fill(mPoint);
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 0), 0);
    for (uint8_t mark : B().TargetMap)
        EXPECT_EQ(mark, 0);
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 8), 0);
}

TEST_F(BattleTargetsTest, AlliesAndEnemiesFollowTheCastersMind)
{
    TPersonage& caster = Caster(cAlly);
    Fighter(1, 2, -1, 2);
    Fighter(2, 1, 1, 3);
    TPersonage& charmer = Fighter(2, 2, 1, 2);
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), 2);
    EXPECT_EQ(Mark(-1, 3), mAlly);
    EXPECT_EQ(Mark(-1, 2), mAlly);
    // A charming enemy passes for an ally.
    charmer.BonusSet.Include(pCharming);
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), 3);
    EXPECT_EQ(Mark(1, 2), mAlly);
    charmer.BonusSet.Exclude(pCharming);
    // An insane caster takes the other side for its own.
    caster.BonusSet.Include(eInsanity);
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), 2);
    EXPECT_EQ(Mark(1, 3), mAlly);
    EXPECT_EQ(Mark(1, 2), mAlly);
    EXPECT_EQ(Mark(-1, 3), mNone);
    // cAll names both, each by its side.
    caster.BonusSet.Exclude(eInsanity);
    SpellTable[1].Condition[1] = cAll;
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), 4);
    EXPECT_EQ(Mark(1, 3), mEnemy);
    EXPECT_EQ(Mark(-1, 2), mAlly);
    // A caster without the mana marks nothing.
    SpellTable[1].CostMana = 50;
    caster.Mana = 0;
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), 0);
}

TEST_F(BattleTargetsTest, ConditionChainsNarrowTheTargets)
{
    struct Case {
        uint8_t Second;
        int Count;
        THexCell Marked;
    };
    const Case cases[] = {{cWounded, 1, {-1, 2}}, {cHealthy, 2, {-2, 2}}};
    for (const Case& c : cases) {
        Caster(cAlly, c.Second);
        Fighter(1, 2, -1, 2).Hits = 20;  // wounded in this battle
        Fighter(1, 3, -2, 3).Wounds = 1; // full health, an old wound
        Fighter(1, 4, -2, 2);            // healthy
        Fighter(2, 1, 1, 3).Hits = 5;    // an enemy is no ally
        EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), c.Count) << int(c.Second);
        EXPECT_NE(Mark(c.Marked.Row, c.Marked.Column), mNone) << int(c.Second);
        EXPECT_EQ(Mark(-2, 3), mNone);
    }
}

TEST_F(BattleTargetsTest, ExclusionsAndTheLivingGhost)
{
    TPersonage& caster = Caster(cEnemy);
    SpellTable[1].Effect[1] = eCure;
    SpellTable[1].Mode = 2;
    TPersonage& marked = Fighter(2, 1, 1, 3);
    Fighter(2, 2, 1, 2).Effects[4].Spell = 1;
    Fighter(2, 3, 1, 4).BonusSet.Include(pLifesteal);
    Fighter(2, 4, 2, 3).BonusSet.Include(bStone);
    Fighter(2, 5, 2, 2).BonusSet.Include(eStopCure);
    Fighter(2, 6, 2, 4).BonusSet.Include(eAnafema);
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), 1);
    EXPECT_EQ(Mark(1, 3), mEnemy);
    // While the caster's ghost lives, a summoning spell marks nothing.
    SpellTable[1].SummonsGhost = true;
    Fighter(1, 2, -1, 2);
    B().SlotState(1, 1).GhostSlot = 2;
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), 0);
    B().Personage(1, 2).Hits = 0;
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), 1);
    (void)caster;
    (void)marked;
}

TEST_F(BattleTargetsTest, CellRulesOfTheCondition)
{
    struct Case {
        uint8_t Condition;
        int Count; // of the two enemies: (2, 1) undead and mounted, (2, 2) cursed with negative will
    };
    SpellTable[2].CurseSpell = true;
    const Case cases[] = {{cLive, 1},  {cUndead, 1}, {cUneadPossesed, 1}, {cCursed, 1},
                          {cHorse, 1}, {cNoWill, 1}, {cBlessed, 0},       {cNearby, 0}};
    for (const Case& c : cases) {
        Caster(cEnemy, c.Condition);
        TPersonage& undead = Fighter(2, 1, 1, 3);
        undead.BonusSet.Include(bUndead);
        undead.Mounted = 1;
        TPersonage& cursed = Fighter(2, 2, 2, 2);
        cursed.Effects[1].Spell = 2;
        cursed.Stats[8] = -2;
        EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), c.Count) << int(c.Condition);
    }
    // Nearby: only cells next to the caster; empty cells as well.
    Caster(cEmpty, cNearby);
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), 6);
    EXPECT_EQ(Mark(0, 3), mSpell);
    EXPECT_EQ(Mark(1, 3), mNone);
}

TEST_F(BattleTargetsTest, RaiseSpellsLookForTheFallenOnFreeCells)
{
    Caster(cAllyFight, cDead);
    Fighter(1, 2, -1, 2).Hits = -1;
    Fighter(1, 3, -2, 3).Hits = 0;
    Fighter(1, 4, -2, 2, mShoot).Hits = -1;
    TPersonage& covered = Fighter(1, 5, -2, 4);
    covered.Hits = -1;
    Fighter(2, 1, 1, 3).Hits = -1;
    // The fallen leave the field; a living one stands on the last one's cell.
    for (THexCell c : {THexCell{-1, 2}, THexCell{-2, 3}, THexCell{-2, 2}, THexCell{1, 3}})
        WriteCellMapInt(B().Cells, c, 0);
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), 1);
    EXPECT_EQ(Mark(-1, 2), mAlly);
    EXPECT_EQ(Mark(-2, 4), mNone); // its cell is taken
}

TEST_F(BattleTargetsTest, ALevitatingCasterReachesWhoeverHasRoomBeside)
{
    TPersonage& caster = Caster(cEnemy, cNearby);
    SpellTable[1].NearbyCondition = true;
    Fighter(2, 1, 3, 2); // boxed in by its own side and the field's edge
    Fighter(2, 2, 3, 3);
    Fighter(2, 3, 2, 3);
    Fighter(2, 4, 2, 2);
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), 0); // all two or more cells away
    caster.BonusSet.Include(bLevitation);
    EXPECT_EQ(B().MarkSpellTargets(1, 1, 1), 3);
    EXPECT_EQ(Mark(3, 2), mNone);
    EXPECT_EQ(Mark(2, 2), mEnemy);
}
