// Applying an action: moves, strikes and their side effects, spells,
// potions, the special attacks and what follows a death.
#include <gtest/gtest.h>

#include <cstring>

#include "battle/Battle.h"
#include "tests/battle/BattleTestSupport.h"

namespace {

class BattleApplyTest : public ::testing::Test, protected TEffectsFixture {
protected:
    // (side, n) acts on (targetSide, targetN); the reaction.
    uint8_t Act(int32_t side, int32_t n, uint8_t mode, int32_t targetSide, int32_t targetN, int32_t slot = 0,
                int32_t* result = nullptr)
    {
        const int32_t r =
            B().ApplyAction(side, n, mode, slot, B().PersonageCell(targetSide, targetN), targetN, targetSide);
        if (result != nullptr)
            *result = r;
        return mode;
    }
    int Hits(int32_t side, int32_t n) { return B().Personage(side, n).Hits; }
    int Stun(int32_t side, int32_t n) { return B().Personage(side, n).StunLevel; }
    int64_t Merit(int32_t side, int32_t n) { return B().Personage(side, n).Merit; }
    static int EffectSpell(const TPersonage& p, int k) { return p.Effects[k].Spell; }
    // The weapon bonus, kept through recomputations.
    static void Wield(TPersonage& p, uint8_t weapon)
    {
        p.PersBonus[3] = weapon;
        p.RefPersBonus[3] = weapon;
    }
};

} // namespace

TEST_F(BattleApplyTest, AMoveShiftsThePersonage)
{
    TPersonage& p = Fighter(1, 1, -1, 3);
    p.InContact = 1;
    uint8_t mode = mMove;
    EXPECT_EQ(B().ApplyAction(1, 1, mode, 0, {0, 3}, 0, 0), 0);
    EXPECT_EQ(mode, mNone);
    EXPECT_EQ(ReadCellMapInt(B().Cells, {-1, 3}), 0);
    EXPECT_EQ(ReadCellMapInt(B().Cells, {0, 3}), 1);
    const int32_t row = p.FormationRow, steps = p.RoundSteps;
    const uint8_t contact = p.InContact;
    EXPECT_EQ(row, 0);
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(contact, 0);
    EXPECT_NEAR(p.GetMoveVector(0), -1.025f, 1e-4);
    EXPECT_NEAR(p.GetMoveVector(2), 1.7754f, 1e-4);

    // A retreat keeps a share of the personage's worth: (3.0)^2 / 30 + 20.
    TThreatAssessment a{};
    a.Value = 30000;
    SetAssessment(p, false, a);
    mode = mRetreat;
    B().ApplyAction(1, 1, mode, 0, {0, 3}, 0, 0);
    const int64_t kept = p.StartMerit;
    EXPECT_EQ(kept, 3000 + 200000);
}

TEST_F(BattleApplyTest, StunByWeapon)
{
    struct Case {
        uint8_t Weapon;
        int32_t ActorBonus;
        int32_t TargetBonus;
        int32_t StartLevel;
        int32_t Level;
    };
    const Case cases[] = {
        {bMace, 0, 0, 0, 1},        {bMaceDagger, 0, 0, 0, 1},     {bMace, 0, bUndead, 0, 0},
        {bMace, 0, bStone, 2, 0},   {bSword, bHammer, 0, 0, 2},    {bSword, bHammer, StrongHelm, 0, 1},
        {bMace, StunBlow, 0, 0, 2}, {bSword, 0, StrongHelm, 0, 0}, {bMace, 0, 0, 3, 3},
    };
    for (const Case& c : cases) {
        TPersonage& actor = Fighter(1, 1, -1, 3);
        Wield(actor, c.Weapon);
        Give(actor, c.ActorBonus);
        TPersonage& target = Fighter(2, 1, 0, 3);
        Give(target, c.TargetBonus);
        target.StunLevel = c.StartLevel;
        EXPECT_EQ(Act(1, 1, mFight, 2, 1), mDefense);
        EXPECT_LT(Hits(2, 1), 30) << int(c.Weapon);
        EXPECT_EQ(Stun(2, 1), c.Level) << int(c.Weapon) << " " << c.ActorBonus << " " << c.TargetBonus;
    }
}

TEST_F(BattleApplyTest, MeleeSideEffects)
{
    BonusValues[bCrowbill] = 20;
    BonusValues[StrongArmor] = 50;
    TPersonage& actor = Fighter(1, 1, -1, 3);
    Wield(actor, bCrowbill);
    Give(actor, SilverWeapon);
    Give(actor, PoisonStrike);
    TPersonage& target = Fighter(2, 1, 0, 3);
    Act(1, 1, mFight, 2, 1);
    int64_t wear = target.ArmourWear;
    EXPECT_EQ(wear, 2000);
    EXPECT_EQ(target.NoRegeneration, 1);
    EXPECT_EQ(target.Poison, 1);
    EXPECT_EQ(B().Personage(2, 1).Stats[6], 8); // the worn armour shows at once
    Act(1, 1, mFight, 2, 1);
    wear = target.ArmourWear;
    EXPECT_EQ(wear, 3600);
    // Strong armour halves the wear; a phantom keeps none; the undead take
    // no poison.
    TPersonage& armoured = Fighter(2, 2, 0, 4);
    Give(armoured, StrongArmor);
    Give(armoured, bUndead);
    Act(1, 1, mFight, 2, 2);
    wear = armoured.ArmourWear;
    EXPECT_EQ(wear, 1000);
    EXPECT_EQ(armoured.Poison, 0);
    TPersonage& phantom = Fighter(2, 3, 0, 2);
    Give(phantom, pLifesteal);
    phantom.ArmourWear = 500;
    Act(1, 1, mFight, 2, 3);
    wear = phantom.ArmourWear;
    EXPECT_EQ(wear, 0);
    // A spectral blade paralyses those of negative will.
    Wield(actor, bSpectral);
    target.Stats[8] = -1;
    Act(1, 1, mFight, 2, 1);
    EXPECT_EQ(target.Paralysed, 2);
}

TEST_F(BattleApplyTest, StrikeKinds)
{
    BonusValues[pMagicRecoil] = 6;
    BonusValues[pCharming] = 9;
    BonusValues[bQuake] = 50;
    BonusValues[pSuppressionWill] = 4;
    Fighter(1, 1, -1, 3);
    TPersonage& target = Fighter(2, 1, 0, 3);
    target.Stats[6] = target.RefStats[6] = 12;
    struct Case {
        uint8_t Mode;
        int32_t Result;
        uint8_t Reaction;
    };
    const Case cases[] = {
        {mFightRecoil, 6, mNone},   {mEnemySpecial, 9, mCursed},
        {mQuake, 6, mDefense},      {mFightWill, -6, mNone}, // Will 10 - 4 heals: a suppression on a strong will
        {mFightGroup, 5, mDefense}, {mFightLong, 5, mDefense},
        {mFightBack, 0, mDefense}, // no sword: the back strike does nothing
    };
    for (const Case& c : cases) {
        target.Hits = 20;
        int32_t result = 0;
        EXPECT_EQ(Act(1, 1, c.Mode, 2, 1, 0, &result), c.Reaction) << int(c.Mode);
        EXPECT_EQ(result, c.Result) << int(c.Mode);
    }
    const uint8_t suppressed = target.WillSuppression;
    EXPECT_EQ(suppressed, 1);
}

TEST_F(BattleApplyTest, AMirrorStrikeReturnsTheTargetsOwnBlow)
{
    BonusValues[eEvilProtect] = 50;
    TPersonage& actor = Fighter(1, 1, -1, 3);
    TPersonage& target = Fighter(2, 1, 0, 3);
    Face(actor, {0, 3}); // the returned blow comes from the front
    target.Stats[3] = target.RefStats[3] = 20;
    int32_t result = 0;
    Act(1, 1, mFightMirror, 2, 1, 0, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Hits(2, 1), 30);
    Give(actor, eEvilProtect);
    Act(1, 1, mFightMirror, 2, 1, 0, &result);
    EXPECT_EQ(result, 5); // (20 - 10) x 50 / 100
    EXPECT_EQ(Hits(2, 1), 25);
    EXPECT_EQ(Hits(1, 1), 30);
}

TEST_F(BattleApplyTest, HealingAFullTargetOnlyRegistersTheCaster)
{
    SpellAdding(1, 1, eCure, 10);
    TPersonage& caster = Fighter(1, 1, -1, 3, mSpell);
    caster.Spells[1] = {1, 1};
    Fighter(1, 2, -1, 2);
    int32_t result = 0;
    EXPECT_EQ(Act(1, 1, mAlly, 1, 2, 1, &result), mBlessed);
    EXPECT_EQ(Hits(1, 2), 30);
    EXPECT_EQ(Merit(1, 1), 0);
    EXPECT_EQ(B().SlotState(1, 2).Supporters[1], 1);
    const int32_t pool = B().Sides[1].Stats.HitsPool;
    EXPECT_EQ(pool, 0);
    // A wounded target is healed and the healer earns.
    B().Personage(1, 2).Hits = 10;
    Act(1, 1, mAlly, 1, 2, 1, &result);
    EXPECT_EQ(Hits(1, 2), 30);
    EXPECT_EQ(result, -20);
    EXPECT_EQ(Merit(1, 1), 200000);
}

TEST_F(BattleApplyTest, SpellsRecordTheirEffectWhileThereIsRoom)
{
    TSpell& s = SpellAdding(1, 1, eDamage, -7);
    s.Time = 2;
    TPersonage& caster = Fighter(1, 1, -1, 3, mSpell);
    caster.Spells[1] = {1, 1};
    Wield(caster, bStaff);
    TPersonage& target = Fighter(2, 1, 1, 3);
    int32_t result = 0;
    EXPECT_EQ(Act(1, 1, mEnemy, 2, 1, 1, &result), mCursed);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(Hits(2, 1), 23);
    const TPersonageEffect first = target.Effects[1];
    EXPECT_EQ(first.Spell, 1);
    EXPECT_EQ(first.Rounds, 3); // a staff lengthens it
    for (int k = 2; k <= 5; ++k)
        target.Effects[k] = TPersonageEffect{2, 1, 0, 1};
    Act(1, 1, mEnemy, 2, 1, 1);
    EXPECT_EQ(Hits(2, 1), 16);
    for (int k = 2; k <= 5; ++k)
        EXPECT_EQ(EffectSpell(target, k), 2) << k;
    // An instant strike is never recorded.
    target.Effects[1] = TPersonageEffect{};
    EXPECT_EQ(Act(1, 1, mEnemyInstantly, 2, 1, 1), mEnemyInstantly);
    EXPECT_EQ(EffectSpell(target, 1), 0);
    // An empty slot does nothing.
    EXPECT_EQ(Act(1, 1, mEnemy, 2, 1, 0, &result), mEnemy);
    EXPECT_EQ(result, 0);
}

TEST_F(BattleApplyTest, SpellEffectKindsAndBonuses)
{
    BonusValues[eRust] = 20;
    TPersonage& caster = Fighter(1, 1, -1, 3, mSpell);
    for (int k = 1; k <= 4; ++k)
        caster.Spells[k] = {k, 1};
    TPersonage& target = Fighter(2, 1, 1, 3);
    SpellAdding(1, 1, eDefense, 0, eRust);
    Act(1, 1, mEnemy, 2, 1, 1);
    int64_t wear = target.ArmourWear;
    EXPECT_EQ(wear, 2000);
    EXPECT_TRUE(target.BonusSet.Has(eDamagedArmor));
    // Removing curses clears the curse effects and the curse states.
    SpellTable[2].CurseSpell = true;
    target.Effects[2] = TPersonageEffect{2, 1, 0, 2};
    target.Fear = 2;
    target.StunLevel = 1;
    target.Poison = 3;
    target.Paralysed = 1;
    SpellAdding(3, 1, eRemoveCurse, 0);
    Act(1, 1, mAlly, 2, 1, 3);
    EXPECT_EQ(EffectSpell(target, 2), 0);
    EXPECT_EQ(target.Fear + target.StunLevel + target.Poison + target.Paralysed, 0);
    // A fear spell frightens for its rounds; an immediate attack gives a
    // point and the extra move.
    TSpell& fear = SpellAdding(4, 1, eImmediatelyAttack, 0, eFear);
    fear.Time = 2;
    target.ActionPointsLeft = 1;
    Act(1, 1, mEnemy, 2, 1, 4);
    const int32_t frightened = target.Fear, points = target.ActionPointsLeft;
    EXPECT_EQ(frightened, 2);
    EXPECT_EQ(points, 2);
    EXPECT_EQ(target.ExtraMove, 1);
}

TEST_F(BattleApplyTest, APotionHealsWoundsAndRestoresManaWithinLimits)
{
    ItemTable[3].MainType = static_cast<uint8_t>(TItemType::Potion);
    ItemTable[3].dWound = 2;
    ItemTable[3].dMana = 50;
    ItemTable[3].dHit = 4;
    TPersonage& p = Fighter(1, 1, -1, 3);
    p.Wounds = 1;
    p.Mana = 5;
    p.Hits = 10;
    p.Equipment[9] = 3;
    p.BeltPotionCount = 1;
    p.BeltPotionSlots[1] = 1;
    uint8_t mode = mPotion;
    B().ApplyAction(1, 1, mode, 1, {-1, 3}, 1, 1);
    const int32_t wounds = p.Wounds, count = p.PotionCount, drink = p.PotionItems[1];
    EXPECT_EQ(wounds, 0);
    const int mana = p.Mana;
    EXPECT_EQ(mana, 10);
    EXPECT_EQ(Hits(1, 1), 14);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(drink, 3);

    // A belt entry outside the belt, or naming no equipment slot, is not
    // drunk.
    for (int16_t slotEntry : {int16_t(7), int16_t(0)}) {
        p.BeltPotionSlots[1] = slotEntry;
        B().ApplyAction(1, 1, mode = mPotion, 1, {-1, 3}, 1, 1);
    }
    B().ApplyAction(1, 1, mode = mPotion, 2, {-1, 3}, 1, 1);
    const int32_t still = p.PotionCount;
    EXPECT_EQ(still, 1);
    // No more than four drinks are kept.
    p.BeltPotionSlots[1] = 1;
    for (int i = 0; i < 5; ++i)
        B().ApplyAction(1, 1, mode = mPotion, 1, {-1, 3}, 1, 1);
    const int32_t kept = p.PotionCount;
    const uint8_t wounded = p.WoundedInBattle;
    EXPECT_EQ(kept, 4);
    EXPECT_EQ(wounded, 0);
}

TEST_F(BattleApplyTest, ADeathIsMarkedAndEncouragesTheKillersSide)
{
    BonusValues[tEncouragement] = 2;
    TPersonage& leader = Fighter(1, 1, -1, 3);
    Give(leader, tEncouragement);
    leader.Stats[3] = 60;
    TPersonage& other = Fighter(1, 2, -1, 2);
    Fighter(2, 1, 0, 3);
    EXPECT_EQ(Act(1, 1, mFight, 2, 1), mDie);
    EXPECT_EQ(B().DeathThisAction, 1);
    EXPECT_EQ(B().SlotStates[1].KillCount, 1);
    EXPECT_EQ(other.Stats[2], 12); // recomputed with one kill
    EXPECT_TRUE(other.BonusSet.Has(eEncouragement));
}

// Numbers read from records that lie outside the tables do nothing.
TEST_F(BattleApplyTest, NumbersOutsideTheTablesHaveNoEffect)
{
    TSpell& wild = SpellAdding(2, 1, 200, -7, 250); // an unknown kind and bonus
    wild.Time = 2;
    wild.Effect[2] = eDamage;
    wild.EffectValue2[2] = -3;
    const struct {
        const char* Case;
        int16_t Spell;     // in the caster's slot 1
        int32_t Effect;    // an active effect of the target
        int16_t Potion;    // the target's belt item
        int32_t HitsTaken; // by the spell
    } rows[] = {
        {"spell past the table", SpellMax + 5, 0, 0, 0},
        {"negative spell", -3, 0, 0, 0},
        {"active effect past the table", 0, SpellMax + 1, 0, 0},
        {"potion past the item table", 0, 0, 30000, 0},
        {"unknown kind and bonus", 2, 0, 0, 3},
    };
    for (const auto& row : rows) {
        TPersonage& caster = Fighter(1, 1, -1, 3, mSpell);
        caster.Spells[1] = {row.Spell, 1};
        TPersonage& target = Fighter(2, 1, 1, 3);
        target.Effects[1] = TPersonageEffect{row.Effect, 1, 0, 2};
        target.Equipment[9] = row.Potion;
        target.BeltPotionCount = 1;
        target.BeltPotionSlots[1] = 1;
        const TBonusSet bonuses = target.BonusSet;
        Act(1, 1, mEnemy, 2, 1, 1);
        B().RecalcPersonage(2, 1, 0, 0, 0, false);
        uint8_t mode = mPotion;
        B().ApplyAction(2, 1, mode, 1, B().PersonageCell(2, 1), 1, 2);
        EXPECT_EQ(30 - Hits(2, 1), row.HitsTaken) << row.Case;
        EXPECT_EQ(std::memcmp(&bonuses, &target.BonusSet, sizeof bonuses), 0) << row.Case;
        const int32_t drunk = target.PotionCount;
        EXPECT_EQ(drunk, 0) << row.Case;
    }
}
