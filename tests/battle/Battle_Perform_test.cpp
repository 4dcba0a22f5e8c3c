// Carrying out decisions: the action list, who strikes first and back,
// group strikes, area spells, summoning and potions; the end of a turn and
// the rout test.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "battle/Battle.h"
#include "model/ai/AIMain_Settings.h"
#include "tests/battle/BattleTestSupport.h"

namespace {

class BattlePerformTest : public ::testing::Test, protected TEffectsFixture {
protected:
    TActionList List;
    TBattleDecision Decision(int32_t side, int32_t n, uint8_t mode, int32_t targetSide = 0, int32_t targetN = 0)
    {
        TBattleDecision d{};
        d.Side = side;
        d.Slot = n;
        d.Mode = mode;
        d.TargetSide = targetSide;
        d.TargetSlot = targetN;
        if (targetSide > 0)
            d.MoveCell = B().PersonageCell(targetSide, targetN);
        return d;
    }
    void Perform(const TBattleDecision& d) { B().PerformAction(d, List); }
    std::vector<int> Modes() const
    {
        std::vector<int> modes;
        for (const TBattleAction& a : List)
            modes.push_back(a.Mode);
        return modes;
    }
    int Hits(int32_t side, int32_t n) { return B().Personage(side, n).Hits; }
    int Points(int32_t side, int32_t n) { return B().Personage(side, n).ActionPointsLeft; }
    static void Wield(TPersonage& p, uint8_t weapon)
    {
        p.PersBonus[3] = weapon;
        p.RefPersBonus[3] = weapon;
    }
};

} // namespace

TEST_F(BattlePerformTest, AFightBackOpensASecondExchange)
{
    TPersonage& a = Fighter(1, 1, 0, 3);
    Face(a, {1, 3});
    TPersonage& t = Fighter(2, 1, 1, 3);
    Give(t, bSword);
    Wield(t, bSword);
    BonusValues[bSword] = 100;
    Face(t, {0, 3});
    Perform(Decision(1, 1, mFight, 2, 1));
    ASSERT_EQ(List.size(), 4u);
    EXPECT_EQ(Modes(), (std::vector<int>{mFight, mDefense, mFightBack, mDefense}));
    const int steps[] = {0, 0, 2, -2};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(List[i].Step, steps[i]) << i;
    EXPECT_EQ(Hits(1, 1), 25);
    EXPECT_EQ(Hits(2, 1), 25);
}

TEST_F(BattlePerformTest, ALongSwordHitsBothFlanksUnlessACounterFellsTheActor)
{
    TPersonage& actor = Fighter(1, 1, 0, 3);
    Give(actor, bLongSword);
    BonusValues[bLongSword] = 100;
    Fighter(2, 1, 1, 3);
    Fighter(2, 2, 0, 4);
    Fighter(2, 3, 1, 2);
    Perform(Decision(1, 1, mFight, 2, 1));
    EXPECT_EQ(Modes(), (std::vector<int>{mFightGroup, mDefense, mDefense, mDefense}));
    EXPECT_EQ(List[1].Side, 2);
    EXPECT_EQ(List[1].Slot, 2); // the left flank first
    EXPECT_EQ(List[3].Slot, 3);
    for (int k = 1; k <= 3; ++k)
        EXPECT_LT(Hits(2, k), 30) << k;

    // A spearman at the front that fells the actor first stops it all.
    TPersonage& fresh = Fighter(1, 1, 0, 3);
    Give(fresh, bLongSword);
    fresh.Hits = 1;
    Fighter(2, 1, 1, 3);
    Fighter(2, 2, 0, 4);
    Fighter(2, 3, 1, 2);
    TPersonage& spear = B().Personage(2, 1);
    Give(spear, bSpear);
    Give(spear, eCounterPos);
    Face(spear, {0, 3});
    Perform(Decision(1, 1, mFight, 2, 1));
    // The counter, the actor's fall in the exchange, and its death element
    // at the end of its turn.
    EXPECT_EQ(Modes(), (std::vector<int>{mFightCounter, mDie, mDie}));
    EXPECT_EQ(Hits(1, 1), 0);
    EXPECT_EQ(Hits(2, 2), 30);
    EXPECT_EQ(Hits(2, 3), 30);
}

TEST_F(BattlePerformTest, APikeStrikesFromTwoCellsAway)
{
    TPersonage& pike = Fighter(1, 1, 0, 3);
    Give(pike, bPike);
    Wield(pike, bPike);
    pike.PikeBraced = 1;
    Fighter(2, 1, 2, 3);
    Perform(Decision(1, 1, mFight, 2, 1));
    ASSERT_EQ(List.size(), 2u);
    EXPECT_EQ(List[0].Mode, mFight);
    EXPECT_EQ(List[1].Mode, mDefense);
    EXPECT_EQ(Hits(2, 1), 25);
    EXPECT_EQ(pike.PikeBraced, 0);
}

TEST_F(BattlePerformTest, WhoCountersFirst)
{
    struct Case {
        int32_t Bonus;
        int32_t Steps; // the attacker's moves this turn
        bool FromBehind;
        bool Counters;
    };
    const Case cases[] = {
        {bSpear, 0, false, false}, {bSpear, 1, false, true},     {bSpear, 1, true, false},
        {bSword, 1, false, false}, {bPitchfork, 1, false, true}, {bPaw, 1, true, true},
    };
    for (const Case& c : cases) {
        Fighter(1, 1, 0, 3).RoundSteps = c.Steps;
        TPersonage& t = Fighter(2, 1, 1, 3);
        B().SlotState(2, 1) = TBattleSlotState{};
        Give(t, c.Bonus);
        Face(t, c.FromBehind ? THexCell{2, 3} : THexCell{0, 3});
        Perform(Decision(1, 1, mFight, 2, 1));
        ASSERT_FALSE(List.empty());
        EXPECT_EQ(List[0].Mode == mFightCounter, c.Counters) << c.Bonus << " " << c.Steps << " " << c.FromBehind;
    }
    // A pitchfork counters once until its own turn ends.
    Fighter(1, 1, 0, 3).RoundSteps = 1;
    Fighter(1, 2, 0, 4).RoundSteps = 1;
    TPersonage& fork = Fighter(2, 1, 1, 3);
    B().SlotState(2, 1) = TBattleSlotState{};
    Give(fork, bPitchfork);
    Face(fork, {0, 3});
    Perform(Decision(1, 1, mFight, 2, 1));
    EXPECT_EQ(List[0].Mode, mFightCounter);
    Perform(Decision(1, 2, mFight, 2, 1));
    EXPECT_NE(List[0].Mode, mFightCounter);
    Perform(Decision(2, 1, mSkip));
    EXPECT_TRUE(B().CanCounter(2, 1, {0, 3}));
}

TEST_F(BattlePerformTest, AnAreaSpellHitsInRowOrder)
{
    TSpell& s = SpellAdding(1, 1, eDamage, -3);
    s.MassEffect = true;
    s.CostMana = 6;
    TPersonage& caster = Fighter(1, 1, -2, 3, mSpell);
    caster.Spells[1] = {1, 1};
    caster.Mana = 10;
    Fighter(2, 1, 2, 4);
    Fighter(2, 2, 1, 5);
    Fighter(2, 3, 1, 2);
    for (THexCell c : {THexCell{2, 4}, THexCell{1, 5}, THexCell{1, 2}, THexCell{0, 3}})
        WriteCellMapByte(B().TargetMap, c, mEnemy);
    TBattleDecision d = Decision(1, 1, mEnemy, 2, 1);
    d.SpellSlot = 1;
    Perform(d);
    ASSERT_EQ(List.size(), 4u);
    EXPECT_EQ(List[0].Mode, mEnemyAll);
    const int order[] = {3, 2, 1};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(List[i + 1].Slot, order[i]) << i;
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(Hits(2, k), 27) << k;
    const int mana = caster.Mana;
    EXPECT_EQ(mana, 10 - 6); // a mass spell's cost does not depend on the Will of those hit
}

TEST_F(BattlePerformTest, MovesAndSkips)
{
    TPersonage& p = Fighter(1, 1, -1, 3);
    p.ActionPointsLeft = 1;
    TBattleDecision d = Decision(1, 1, mMove);
    d.MoveCell = {0, 3};
    d.TargetMark = mEnemy;
    Perform(d);
    ASSERT_EQ(List.size(), 1u);
    EXPECT_EQ(List[0].Mode, mMove);
    EXPECT_EQ(List[0].TargetMark, mEnemy);
    EXPECT_EQ(Points(1, 1), 1);
    EXPECT_EQ(B().SlotState(1, 1).Mode, mMove);
    const int32_t row = p.FormationRow;
    EXPECT_EQ(row, 0);
    Perform(Decision(1, 1, mSkip));
    EXPECT_TRUE(List.empty());
    EXPECT_EQ(Points(1, 1), 0);
    // A pike bearer next to the new cell braces its pike.
    TPersonage& pike = Fighter(2, 1, 1, 4);
    Wield(pike, bPike);
    d.Mode = mMoveTo;
    d.MoveCell = {0, 4};
    Perform(d);
    EXPECT_EQ(Modes(), (std::vector<int>{mMoveTo, mSitDown}));
    EXPECT_EQ(pike.PikeBraced, 1);
}

TEST_F(BattlePerformTest, SummoningWithoutRoomOrGhostOnlyCostsMana)
{
    SpellAdding(1, 1, eSummonGhost, 0).CostMana = 8;
    const TIntArray saved = SummonGhostIndex;
    SummonGhostIndex.assign(8, 0);
    SummonGhostIndex[3] = 7;
    TPersonage& caster = Fighter(1, 1, -1, 3, mSpell);
    caster.Spells[2] = {1, 1};
    caster.Mana = 20;
    caster.MagicSchool = 8; // outside the list
    TBattleDecision d = Decision(1, 1, mSpell);
    d.SpellSlot = 2;
    d.MoveCell = {-1, 2};
    Perform(d);
    EXPECT_TRUE(List.empty());
    int mana = caster.Mana;
    EXPECT_EQ(mana, 12);
    const int32_t count = B().Sides[1].PersonageCount;
    EXPECT_EQ(count, 1);
    caster.MagicSchool = 3;
    B().Sides[1].PersonageCount = 15;
    caster.ActionPointsLeft = 1;
    Perform(d);
    EXPECT_TRUE(List.empty());
    mana = caster.Mana;
    EXPECT_EQ(mana, 4);
    EXPECT_EQ(ReadCellMapInt(B().Cells, {-1, 2}), 0);
    SummonGhostIndex = saved;
}

TEST_F(BattlePerformTest, APotionIsUsedUp)
{
    ItemTable[3].MainType = static_cast<uint8_t>(TItemType::Potion);
    ItemTable[3].dHit = 5;
    TPersonage& p = Fighter(1, 1, -1, 3);
    p.Hits = 10;
    p.Equipment[9] = 3;
    p.Equipment[10] = 3;
    p.BeltPotionCount = 2;
    p.BeltPotionSlots[1] = 1;
    p.BeltPotionSlots[2] = 2;
    TBattleDecision d = Decision(1, 1, mPotion);
    d.ItemIndex = 1;
    Perform(d);
    EXPECT_EQ(Modes(), (std::vector<int>{mPotion}));
    EXPECT_EQ(Hits(1, 1), 15);
    const int32_t first = p.Equipment[9], count = p.BeltPotionCount, entry = p.BeltPotionSlots[1];
    EXPECT_EQ(first, 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(entry, 2);
}

TEST_F(BattlePerformTest, ATurnEndsOnlyWithTheLastPoint)
{
    TPersonage& p = Fighter(1, 1, 0, 3);
    p.RoundActionPoints = p.ActionPointsLeft = 2;
    p.StunLevel = 2;
    Fighter(2, 1, 1, 3);
    Perform(Decision(1, 1, mFight, 2, 1));
    EXPECT_EQ(Points(1, 1), 1);
    int32_t stun = p.StunLevel, next = p.NextTurnRound;
    EXPECT_EQ(stun, 2);
    EXPECT_EQ(next, 0);
    B().Round = 4;
    Perform(Decision(1, 1, mFight, 2, 1));
    stun = p.StunLevel;
    next = p.NextTurnRound;
    EXPECT_EQ(stun, 1);
    EXPECT_EQ(next, 5);
}

TEST_F(BattlePerformTest, RegenerationPoisonAndDrain)
{
    BonusValues[Regeneration] = 10;
    BonusValues[ePoison] = 5;
    BonusValues[bVampire] = 50;
    // A silver hit stops one regeneration.
    TPersonage& r = Fighter(1, 1, -1, 3);
    Give(r, Regeneration);
    r.Hits = 20;
    r.NoRegeneration = 1;
    Perform(Decision(1, 1, mSkip));
    EXPECT_EQ(Hits(1, 1), 20);
    r.ActionPointsLeft = 1;
    Perform(Decision(1, 1, mSkip));
    EXPECT_EQ(Hits(1, 1), 23);

    // Poison: 5 % of 100 each turn.
    TPersonage& q = Fighter(1, 2, -1, 2);
    q.Stats[1] = q.RefStats[1] = 100;
    q.Hits = 100;
    q.Poison = 1;
    for (int turn = 1; turn <= 2; ++turn) {
        q.ActionPointsLeft = 1;
        Perform(Decision(1, 2, mSkip));
        EXPECT_EQ(Hits(1, 2), 100 - 5 * turn);
    }

    // A vampire drains from the damage of its action, not from the healing
    // of its turn.
    TSpell& cure = SpellAdding(2, 1, eCure, 4);
    (void)cure;
    TPersonage& v = Fighter(1, 3, 0, 3);
    Give(v, bVampire);
    v.Hits = 5;
    v.Effects[1] = TPersonageEffect{2, 1, 0, 3};
    Fighter(2, 1, 1, 3);
    Perform(Decision(1, 3, mFight, 2, 1));
    EXPECT_EQ(Hits(2, 1), 25);
    EXPECT_EQ(Hits(1, 3), 5 + 14 + 2); // cure 4 + Will 10, then half of 5
}

TEST_F(BattlePerformTest, ALanceChargeEarnsOneBonusActionOnly)
{
    TPersonage& knight = Fighter(1, 1, 0, 3);
    Wield(knight, bLance);
    Give(knight, tTournamentHero);
    knight.RoundSteps = 1;
    knight.ActionPointsLeft = 1;
    Fighter(2, 1, 1, 3).Hits = 1;
    Fighter(2, 2, 0, 4).Hits = 1;
    Fighter(2, 3, 1, 2);
    Perform(Decision(1, 1, mFight, 2, 1));
    EXPECT_EQ(Points(1, 1), 1);
    knight.RoundSteps = 1;
    Perform(Decision(1, 1, mFight, 2, 2));
    EXPECT_EQ(Points(1, 1), 0);
    const uint8_t taken = knight.BonusActionTaken;
    EXPECT_EQ(taken, 1);
}

TEST_F(BattlePerformTest, RoutTest)
{
    struct Case {
        uint8_t KNature;     // of side 2's personage
        uint8_t OtherNature; // of side 1's personage 2
        int32_t KArmy;
        int16_t KInitiative;
        uint8_t Result;
        uint8_t State;
    };
    const uint8_t people = static_cast<uint8_t>(TPersNature::People);
    const uint8_t undead = static_cast<uint8_t>(TPersNature::Undead);
    const uint8_t animal = static_cast<uint8_t>(TPersNature::Animal);
    const Case cases[] = {
        {people, people, 5, 20, SideRetreated, 4}, {people, people, 5, 5, SideRouted, 3},
        {undead, people, 5, 20, SideFighting, 0},  {people, undead, 5, 20, SideRetreated, 4},
        {people, animal, 5, 20, SideRetreated, 4}, {people, people, PlayerArmy, 20, SideFighting, 0},
    };
    for (const Case& c : cases) {
        for (int k = 1; k <= 3; ++k) {
            TPersonage& p = Fighter(1, k, -1, k + 1);
            p.Strength = 100;
            p.Nature = k == 2 ? c.OtherNature : people;
        }
        TPersonage& weak = Fighter(2, 1, 1, 3);
        weak.Strength = 10;
        weak.Nature = c.KNature;
        weak.Stats[2] = c.KInitiative;
        B().Sides[2].Army = c.KArmy;
        B().Sides[2].Result = SideFighting;
        B().Sides[2].StartCount = 1;
        B().Round = 5;
        B().Over = 0;
        B().DeathThisAction = 1;
        B().RoutTest(1);
        EXPECT_EQ(B().Sides[2].Result, c.Result) << int(c.KNature) << " " << int(c.OtherNature) << " " << c.KArmy;
        EXPECT_EQ(weak.BattleState, c.State);
        EXPECT_EQ(B().Over, c.Result != SideFighting ? 1 : 0);
    }
}

TEST_F(BattlePerformTest, ASummonedGhostJoinsTheCastersSide)
{
    SpellAdding(1, 1, eSummonGhost, 0).CostMana = 8;
    const TIntArray saved = SummonGhostIndex;
    SummonGhostIndex.assign(8, 0);
    SummonGhostIndex[3] = 5;
    TPersonage& type = UnitTypes[5];
    const TPersonage savedType = type;
    std::memset(&type, 0, sizeof type);
    type.UnitType = 5;
    type.Level = 1;
    for (int i = 1; i <= 8; ++i)
        type.BaseStats[i] = 10;
    type.BaseStats[1] = 20;
    type.BaseStats[3] = 15;
    TPersonage& caster = Fighter(1, 1, -1, 3, mSpell);
    caster.Spells[2] = {1, 1};
    caster.Mana = 20;
    caster.MagicSchool = 3;
    TBattleDecision d = Decision(1, 1, mSpell);
    d.SpellSlot = 2;
    d.MoveCell = {-1, 2};
    Perform(d);
    EXPECT_EQ(Modes(), (std::vector<int>{mSpellSummon, mSummon}));
    const TBattleSide& side = B().Sides[1];
    const int32_t count = side.PersonageCount, living = side.LivingCount, listed = side.Living[2];
    EXPECT_EQ(count, 2);
    EXPECT_EQ(living, 2);
    EXPECT_EQ(listed, 2);
    EXPECT_EQ(ReadCellMapInt(B().Cells, {-1, 2}), 2);
    EXPECT_EQ(B().SlotState(1, 1).GhostSlot, 2);
    EXPECT_GT(Hits(1, 2), 0);
    EXPECT_EQ(Points(1, 2), 1);
    const int mana = caster.Mana;
    EXPECT_EQ(mana, 12);
    type = savedType;
    SummonGhostIndex = saved;
}

TEST_F(BattlePerformTest, AbilitiesTakeEffectAtTheEndOfTheTurn)
{
    BonusValues[bQuake] = 50;
    BonusValues[eCoverPos] = 50;
    BonusValues[pSuppressionWill] = 4;
    BonusValues[pMeditation] = 6;
    struct Case {
        uint8_t Ability;
        int EnemyHits;
        int AllyDefense;
        int Mana;
        uint8_t Stance;
    };
    const Case cases[] = {
        {bQuake, 25, 10, 0, bQuake},                     // Defense 10 x 50 %
        {pCover, 30, 15, 0, pCover},                     // the ally gains half the actor's Defense
        {pSuppressionWill, 28, 10, 0, pSuppressionWill}, // Will 2 - 4 costs 2 health
        {pMeditation, 30, 10, 6, 0},
    };
    for (const Case& c : cases) {
        TPersonage& actor = Fighter(1, 1, 0, 3);
        actor.AbilityCount = 1;
        actor.Abilities[1] = c.Ability;
        actor.Mana = 0;
        Give(actor, pMeditation);
        TPersonage& enemy = Fighter(2, 1, 1, 3);
        enemy.Stats[8] = enemy.RefStats[8] = 2;
        TPersonage& ally = Fighter(1, 2, 0, 4);
        TBattleDecision d = Decision(1, 1, mAction);
        d.AbilityIndex = 1;
        Perform(d);
        EXPECT_EQ(Hits(2, 1), c.EnemyHits) << int(c.Ability);
        EXPECT_EQ(ally.Stats[6], c.AllyDefense) << int(c.Ability);
        const int mana = actor.Mana;
        EXPECT_EQ(mana, c.Mana) << int(c.Ability);
        EXPECT_EQ(actor.Stance, c.Stance) << int(c.Ability);
    }
}

TEST_F(BattlePerformTest, AStrikeCircleHitsTheEnemiesAroundItsTarget)
{
    BonusValues[eStrikeCircle] = 7;
    SpellAdding(1, 1, eDamage, 0, eStrikeCircle);
    TPersonage& caster = Fighter(1, 1, -2, 3, mSpell);
    caster.Spells[1] = {1, 1};
    caster.Mana = 10;
    Fighter(1, 2, 0, 3);
    Fighter(2, 1, 1, 3);
    Fighter(2, 2, 0, 4);
    Fighter(2, 3, 3, 3);
    TBattleDecision d = Decision(1, 1, mAlly, 1, 2);
    d.SpellSlot = 1;
    Perform(d);
    EXPECT_EQ(Modes(), (std::vector<int>{mAlly, mBlessed, mEnemyInstantly, mEnemyInstantly}));
    EXPECT_EQ(Hits(1, 2), 30);
    EXPECT_EQ(Hits(2, 1), 22); // (Mana 10 / 100 + 1) x 7 = 7.7
    EXPECT_EQ(Hits(2, 2), 22);
    EXPECT_EQ(Hits(2, 3), 30);
    const int mana = caster.Mana;
    EXPECT_EQ(mana, 10 - MinManaCost); // the ally's Will brings the cost to the minimum
}
