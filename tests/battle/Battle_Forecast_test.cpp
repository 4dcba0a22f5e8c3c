// Buff states, spell and attack forecasts, snapshots and change records.
#include <gtest/gtest.h>

#include <cstring>

#include "battle/Battle.h"
#include "tests/battle/BattleTestSupport.h"

namespace {

class BattleForecastTest : public ::testing::Test, protected TEffectsFixture {};

bool IsZero(const TPersonageDelta& d)
{
    TPersonageDelta zero;
    std::memset(&zero, 0, sizeof zero);
    return std::memcmp(&d, &zero, sizeof d) == 0;
}

} // namespace

TEST_F(BattleForecastTest, BuffStates)
{
    SpellTable[1].BlessSpell = true;
    SpellTable[1].CurseSpell = true;
    SpellTable[2].BlessSpell = true;
    struct Case {
        int Stat;      // stat raised (+) or lowered (-), 0 none
        int32_t Spell; // in effect entry 3, 0 none
        uint8_t Expected;
    };
    const Case cases[] = {{0, 0, 0}, {0, 1, 3}, {3, 0, 1}, {-6, 0, 2}, {-6, 2, 3}, {0, 2, 1}, {0, 3, 0}};
    for (const Case& c : cases) {
        TPersonage& p = Fighter(1, 1, -1, 3);
        if (c.Stat > 0)
            p.Stats[c.Stat] = 12;
        if (c.Stat < 0)
            p.Stats[-c.Stat] = 8;
        p.Effects[3].Spell = c.Spell;
        EXPECT_EQ(GetPersonageBuffState(p), c.Expected) << c.Stat << " " << c.Spell;
    }
}

TEST_F(BattleForecastTest, AttackForecastsTellImmunityFromAShield)
{
    TPersonage& archer = Fighter(1, 1, -2, 3, mShoot);
    archer.PersBonus[3] = bBow;
    Give(archer, bBow);
    TPersonage& knight = Fighter(2, 1, 2, 3);
    knight.ShieldInHand = 1;
    TPersonageDelta d;
    B().ForecastAttack(1, 1, 2, 1, {0, 0}, d);
    EXPECT_EQ(d.HitsChange, 0);
    EXPECT_EQ(d.ShieldBlocked, 1);
    EXPECT_EQ(d.Immune, 0);

    TPersonage& ghost = Fighter(2, 2, 2, 2);
    ghost.ShieldInHand = 1;
    Give(ghost, bInvincible);
    B().ForecastAttack(1, 1, 2, 2, {0, 0}, d);
    EXPECT_EQ(d.ShieldBlocked, 0);
    EXPECT_EQ(d.Immune, 1);

    // A hit that lands is forecast as damage, with the target's working
    // copy recomputed.
    archer.Stats[4] = 30;
    B().ForecastAttack(1, 1, 2, 1, {-2, 3}, d);
    EXPECT_EQ(d.HitsChange, -30); // (30 - 10 - 5 a step beyond 3) x 2 for a bow
    EXPECT_EQ(d.Immune, 0);
    EXPECT_EQ(d.ShieldBlocked, 0);
    EXPECT_EQ(d.Dead, 0);
}

TEST_F(BattleForecastTest, SpellForecastsCarryTheManaCost)
{
    SpellAdding(1, 1, eDefense, -4).CostMana = 8;
    TPersonage& caster = Fighter(1, 1, -1, 3, mSpell);
    caster.Spells[2] = {1, 1};
    TPersonage& target = Fighter(2, 1, 1, 3);
    target.Stats[8] = 5;
    TPersonageDelta d;
    B().ForecastSpell(1, 1, 2, 1, 2, d);
    EXPECT_EQ(d.ManaCost, -13);
    EXPECT_EQ(d.StatChange[6], -4);
    EXPECT_EQ(d.HitsChange, 0);
    const int16_t stored = target.Stats[6];
    EXPECT_EQ(stored, 10);

    // The same spell carried out: the recorded change has no mana cost.
    B().PlayerPresent = 1;
    SpellTable[1].Time = 2;
    uint8_t mode = mEnemy;
    B().ApplyAction(1, 1, mode, 2, {1, 3}, 1, 2);
    EXPECT_EQ(B().ActionDelta.ManaCost, 0);
    EXPECT_EQ(B().ActionDelta.StatChange[6], -4);
    EXPECT_EQ(B().ActionDelta.EffectChange[1], 1);
    EXPECT_EQ(B().CounterDelta.ManaCost, 0);
}

TEST_F(BattleForecastTest, SnapshotsAndChanges)
{
    TPersonage& p = Fighter(1, 1, -1, 3);
    p.Mana = 7;
    TPersonageSnapshot s;
    B().TakeSnapshot(1, 1, s);
    EXPECT_EQ(s.Hits, 30);
    EXPECT_EQ(s.Mana, 7);
    p.Hits = 22;
    p.Stats[3] = 13;
    p.Effects[2].Spell = 3;
    p.WorkBonusSet.Include(eRage);
    MarkSnapshotBonus(s, eFear);
    MarkSnapshotBonus(s, 208);
    for (int k = 1; k <= 6; ++k)
        AddSnapshotEffect(s, k);
    TPersonageDelta d;
    B().DiffSnapshot(s, 1, 1, d);
    EXPECT_EQ(d.HitsChange, -8);
    EXPECT_EQ(d.StatChange[3], 3);
    EXPECT_EQ(d.EffectChange[2], 3);
    EXPECT_TRUE(d.GainedBonuses.Has(eRage));
    EXPECT_TRUE(d.MarkedBonuses.Has(eFear));
    for (int k = 1; k <= 5; ++k)
        EXPECT_EQ(d.AddedEffects[k], k); // the sixth was left out
    EXPECT_EQ(d.ManaCost, 0);

    B().DiffSnapshot(s, 0, 1, d);
    EXPECT_TRUE(IsZero(d));
    B().TakeSnapshot(0, 0, s);
    TPersonageSnapshot zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(&s, &zero, sizeof s), 0);
}
