// Spell values, mana costs, flanks, back attacks and strike damage.
#include <gtest/gtest.h>

#include "battle/Battle.h"
#include "battle/Battle_Rules.h"
#include "model/tables/Global.h"
#include "tests/battle/BattleTestSupport.h"

namespace {

// A fixture battle with one spell table entry of our own.
class BattleFormulasTest : public ::testing::Test, protected TBattleFixture {
protected:
    void SetUp() override
    {
        SpellTable[1].ResultMultiply = 100;
        SpellCount = 1;
    }
    TSpell& Spell() { return SpellTable[1]; }
    TBattle& B() { return *Battle; }
};

} // namespace

TEST_F(BattleFormulasTest, SpellValues)
{
    TPersonage& t = Place(2, 1, 1, 3);
    t.Stats[3] = 30;
    t.Stats[8] = 4;
    Spell().Effect[1] = eAttackBlow;
    Spell().EffectValue1[1] = 50;
    EXPECT_EQ(B().CalcSpellValue(1, 1, 2, 0, 2, 1, 0), 70);
    // A relative value: (v + 5) x 1.1 - v, halves to even, then the percent.
    Spell().EffectValue1[1] = 0;
    Spell().EffectValue2[1] = 5;
    Spell().EffectValue3[1] = 10;
    t.Stats[3] = 20;
    EXPECT_EQ(B().CalcSpellValue(1, 1, 1, 0, 2, 1, 0), 8);
    EXPECT_EQ(B().CalcSpellValue(1, 1, 1, 50, 2, 1, 0), 11);
    // A power below 1 counts as 1, whatever the exponent.
    Spell().ResultMultiply = -100;
    EXPECT_EQ(B().CalcSpellValue(1, 1, 0, 0, 2, 1, 0), 8);
    Spell().ResultMultiply = 100;
    // Cures: the target's Will adds, or own personages around it do.
    Spell().Effect[1] = eCure;
    Spell().EffectValue2[1] = 10;
    EXPECT_EQ(B().CalcSpellValue(1, 1, 1, 0, 2, 1, 0), 14);
    Spell().EffectBonus[1] = eCureCircle;
    BonusValues[eCureCircle] = 10;
    Place(2, 2, 1, 2);
    Place(2, 3, 1, 4);
    Place(1, 1, 0, 3); // an enemy of the target does not count
    EXPECT_EQ(B().CalcSpellValue(1, 1, 1, 0, 2, 1, 0), 16);
    // Attack follows the target's attack mode; nothing for a caster.
    Spell().Effect[1] = eAttack;
    Spell().EffectBonus[1] = 0;
    Spell().EffectValue1[1] = 40;
    EXPECT_EQ(B().CalcSpellValue(1, 1, 1, 0, 2, 1, 0), 20);
    t.AttackMode = mSpell;
    EXPECT_EQ(B().CalcSpellValue(1, 1, 1, 0, 2, 1, 0), 40);
    // A spell number outside the table changes nothing.
    EXPECT_EQ(B().CalcSpellValue(2, 1, 1, 0, 2, 1, 0), 0);
}

TEST_F(BattleFormulasTest, ManaCosts)
{
    TPersonage& caster = Place(1, 1, -1, 3, mSpell);
    caster.Spells[2] = {1, 1};
    Spell().CostMana = 8;
    Place(2, 1, 1, 3).Stats[8] = 5;
    Place(1, 2, -1, 2).Stats[8] = 10;
    EXPECT_EQ(B().GetManaCost(1, 1, 2, 2, 1), 13);
    EXPECT_EQ(B().GetManaCost(1, 1, 2, 1, 2), 5);
    EXPECT_EQ(B().GetManaCost(1, 1, 2, 0, 0), 8);
    Spell().MassEffect = true;
    EXPECT_EQ(B().GetManaCost(1, 1, 2, 2, 1), 8);
    Spell().MassEffect = false;
    Spell().CostMana = 20;
    caster.PersBonus[3] = bBook;
    BonusValues[bBook] = 25;
    EXPECT_EQ(B().GetManaCost(1, 1, 2, 0, 0), 15);
    caster.PersBonus[3] = 0;
    caster.BonusSet.Include(tStream);
    BonusValues[tStream] = 10;
    caster.StreamCount = 3;
    caster.StreamSlot = 2;
    EXPECT_EQ(B().GetManaCost(1, 1, 2, 0, 0), 14);
    caster.StreamSlot = 1;
    EXPECT_EQ(B().GetManaCost(1, 1, 2, 0, 0), 20);

    caster.Mana = 19;
    EXPECT_FALSE(B().CanCastSpell(1, 1, 2, 0, 0));
    caster.Mana = 20;
    EXPECT_TRUE(B().CanCastSpell(1, 1, 2, 0, 0));
    EXPECT_FALSE(B().CanCastSpell(1, 1, 3, 0, 0));
    EXPECT_FALSE(B().CanCastSpell(1, 1, 8, 0, 0));
}

TEST_F(BattleFormulasTest, BackAttacks)
{
    TPersonage& t = Place(2, 1, 1, 3);
    Face(t, {0, 3});
    EXPECT_FALSE(TBattle::IsBackAttack({0, 3}, {1, 3}, t.Heading));
    EXPECT_FALSE(TBattle::IsBackAttack({0, 3}, {1, 3}, t.Heading + 15708));
    EXPECT_TRUE(TBattle::IsBackAttack({0, 3}, {1, 3}, t.Heading + 15709));
    EXPECT_TRUE(TBattle::IsBackAttack({0, 3}, {1, 3}, t.Heading - 15709));
    EXPECT_TRUE(TBattle::IsBackAttack({0, 3}, {1, 3}, t.Heading + 31416));
    EXPECT_TRUE(TBattle::IsBackAttack({2, 3}, {1, 3}, t.Heading));
}

TEST_F(BattleFormulasTest, Flanks)
{
    // The attacker on the field's edge: its left cell is off the field.
    Place(1, 1, -3, 2);
    Place(2, 1, -3, 3);
    Place(2, 2, -2, 3);
    EXPECT_EQ(B().GetFlankDirection(1, 1, 3, 1, 2), 0);
    EXPECT_EQ(B().GetFlankDirection(1, 1, 2, 1, 2), 2);
    EXPECT_EQ(B().GetFlankDirection(1, 1, 1, 1, 2), 3);
    EXPECT_EQ(B().GetFlankDirection(1, 1, 5, 1, 2), 3);
    // Not neighbours: no flank.
    EXPECT_EQ(B().GetFlankDirectionFromCell({0, 1}, 1, 5, 1, 2, 1), 0);
    Remove(2, 2);
    EXPECT_EQ(B().GetFlankDirection(1, 1, 1, 1, 2), 0);
}

TEST_F(BattleFormulasTest, MeleeStrikes)
{
    TPersonage& a = Place(1, 1, 0, 3, mFight, 10);
    TPersonage& t = Place(2, 1, 1, 3, mFight, 10);
    Face(t, {0, 3});
    a.Stats[3] = 12;
    auto strike = [&](int32_t mode = mNone) { return B().CalcAttackDamage(1, 1, 2, 1, mode, 0, 0, 0, 0); };
    EXPECT_EQ(strike(), 5); // 2 below MinDamage
    MinDamage = 3;
    EXPECT_EQ(strike(), 3);
    MinDamage = 5;

    struct TCase {
        const char* Name;
        int AttackerBonus;
        int TargetBonus;
        int ValueBonus;
        int Value;
        int32_t Expected;
    };
    const TCase phantom[] = {
        {"plain", 0, 0, 0, 0, 0},
        {"blessed on undead", BlessedWeapon, bUndead, BlessedWeapon, 7, 7},
        {"blessed on the living", BlessedWeapon, 0, BlessedWeapon, 7, 0},
        {"silver on a regenerator", SilverWeapon, Regeneration, SilverWeapon, 50, 6},
        {"magic", MagicWeapon, 0, MagicWeapon, 25, 3},
    };
    for (const TCase& c : phantom) {
        a.BonusSet.Clear();
        t.BonusSet.Clear();
        t.BonusSet.Include(ThePhantom);
        if (c.AttackerBonus)
            a.BonusSet.Include(c.AttackerBonus);
        if (c.TargetBonus)
            t.BonusSet.Include(c.TargetBonus);
        BonusValues[c.ValueBonus] = c.Value;
        EXPECT_EQ(strike(), c.Expected) << c.Name;
    }
    // From behind the phantom still takes nothing.
    a.BonusSet.Clear();
    Face(t, {2, 3});
    EXPECT_EQ(strike(), 0);
    t.BonusSet.Clear();
    EXPECT_EQ(strike(), 10);       // MinDamage + MinDamage from behind
    EXPECT_EQ(strike(mFight), 5);  // a plain fight gets no back strike bonus
    a.PersBonus[3] = bSwordDagger; // a dagger strikes twice from behind
    BonusValues[bDagger] = 4;
    EXPECT_EQ(strike(), 18);
    t.ShieldInHand = 1;
    EXPECT_EQ(strike(), 18);
    Face(t, {0, 3});
    EXPECT_EQ(strike(), 5); // a shield in front stops the second blow
    t.ShieldInHand = 0;
    a.PersBonus[3] = 0;

    // A pike at one step strikes with three quarters of its attack.
    a.Stats[3] = 30;
    EXPECT_EQ(strike(), 20);
    a.PersBonus[3] = bPike;
    EXPECT_EQ(strike(), 12);
    // A lance charge against a polearm loses; standing in contact it keeps.
    a.PersBonus[3] = bLance;
    t.PersBonus[3] = bSpear;
    BonusValues[bLance] = 50;
    a.RoundSteps = 1;
    EXPECT_EQ(strike(), 10);
    a.RoundSteps = 0;
    a.InContact = 1;
    EXPECT_EQ(strike(), 20);
    a.PersBonus[3] = 0;
    // Evasion, then stone that only crushing weapons break.
    t.BonusSet.Include(Evasive);
    BonusValues[Evasive] = 50;
    EXPECT_EQ(strike(), 10);
    t.BonusSet.Clear();
    t.BonusSet.Include(bStone);
    EXPECT_EQ(strike(), 5);
    a.PersBonus[3] = bMace;
    EXPECT_EQ(strike(), 20);
    // Nothing hurts the invulnerable.
    t.BonusSet.Include(eInvulnerability);
    EXPECT_EQ(strike(), 0);
}

TEST_F(BattleFormulasTest, Shots)
{
    TPersonage& s = Place(1, 1, 0, 3, mShoot, 10);
    s.Stats[4] = 12;
    s.PersBonus[3] = bBow;
    s.BonusSet.Include(bBow);
    TPersonage& t = Place(2, 1, 3, 3, mFight, 10);
    auto shot = [&](int32_t targetN) { return B().CalcAttackDamage(1, 1, 2, targetN, mNone, 0, 0, 0, 0); };
    EXPECT_EQ(shot(1), 10); // MinDamage, doubled by the bow
    t.ShieldInHand = 1;
    EXPECT_EQ(shot(1), 0); // below MinDamage against a shield
    t.PersBonus[3] = bLance;
    EXPECT_EQ(shot(1), 10);
    t.ShieldInHand = 0;

    // An enemy fighter next to the shooter: only it can still be shot.
    s.PersBonus[3] = 0;
    s.BonusSet.Clear();
    s.Stats[4] = 20;
    Remove(2, 1);
    Place(2, 2, 0, 4, mFight, 10);
    Place(2, 3, 0, 5, mFight, 10);
    EXPECT_EQ(shot(2), 10);
    EXPECT_EQ(shot(3), 0);
    B().Personage(2, 2).AttackMode = mShoot;
    EXPECT_EQ(shot(3), 10);
}

TEST_F(BattleFormulasTest, EstimatesAndKills)
{
    Place(1, 1, 0, 3, mFight, 10).Stats[3] = 12;
    TPersonage& t = Place(2, 1, 1, 3, mFight, 10);
    t.Hits = 3;
    TThreatAssessment a{};
    a.KillWorth = 40;
    SetAssessment(t, false, a);
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mNone, 0, 0, 0, 0), 5);
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mSkip, 0, 0, 0, 0), 3);
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mMove, 0, 0, 0, 0), 40);
    t.Hits = 5;
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mMove, 0, 0, 0, 0), 0);
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mSkip, 0, 0, 0, 0), 5);
}

TEST_F(BattleFormulasTest, ShotContactEstimateLeavesTheFieldAsItWas)
{
    TPersonage& s = Place(1, 1, 0, 3, mShoot, 10);
    s.Stats[4] = 20;
    s.PersBonus[3] = bBow;
    Place(2, 1, 2, 3, mFight, 10);
    const TCellMapInt before = B().Cells;
    // The target estimated on (1, 3), next to the shooter, coming from
    // (2, 3): in contact, so the bow shoots once.
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mFight, 1, 3, 2, 3), 10);
    EXPECT_EQ(B().Cells, before);
    // Without the move no one stands next to the shooter.
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mMoveTo, 1, 3, 0, 0), 20);
    EXPECT_EQ(B().Cells, before);
}

TEST_F(BattleFormulasTest, SpellEstimate)
{
    TPersonage& caster = Place(1, 1, -1, 3, mSpell);
    caster.Spells[1] = {1, 1};
    caster.Mana = 20;
    Spell().CostMana = 5;
    Spell().Time = 1;
    Spell().Effect[1] = eDamage;
    Spell().EffectValue2[1] = -10;
    TPersonage& t = Place(2, 1, 1, 3);
    TThreatAssessment a{};
    a.KillWorth = 9;
    SetAssessment(t, false, a);
    // -10 on 30 health, times 1.2 for the caster's mana.
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mNone, 0, 0, 0, 0), 12);
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mSkip, 0, 0, 0, 0), 12);
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mMove, 0, 0, 0, 0), 0);
    t.Hits = 10;
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mSkip, 0, 0, 0, 0), 10);
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mMove, 0, 0, 0, 0), 9);
    // A spell already on the target is not cast again.
    t.Effects[2].Spell = 1;
    EXPECT_EQ(B().CalcAttackDamage(1, 1, 2, 1, mNone, 0, 0, 0, 0), 0);
}

TEST_F(BattleFormulasTest, EffectMultiplierAndSpread)
{
    TPersonage& t = Place(2, 1, 1, 3);
    EXPECT_EQ(B().GetEffectMultiplier(2, 1, eVulnerability), 10000);
    Spell().EffectBonus[2] = eVulnerability;
    t.Effects[3] = {1, 1, 50, 2};
    EXPECT_EQ(B().GetEffectMultiplier(2, 1, eVulnerability), 15000);
    EXPECT_EQ(B().GetEffectMultiplier(2, 1, eFear), 10000);
    EXPECT_EQ(SpreadOverDuration(10, 3), 14);
    EXPECT_EQ(SpreadOverDuration(-7, 1), -7);
    EXPECT_EQ(SpreadOverDuration(9, 0), 7);
}
