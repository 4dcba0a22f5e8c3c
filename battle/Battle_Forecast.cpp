// What an action will do and what it did: forecasts of a spell or an attack
// on a personage, snapshots taken before an action and the change records
// made from them afterwards.
#include <cstring>

#include "battle/Battle.h"
#include "battle/Battle_Tables.h"

namespace {

// The bonuses of `now` that `before` lacks.
TBonusSet GainedBonuses(const TBonusSet& now, const TBonusSet& before)
{
    TBonusSet gained;
    for (int i = 0; i < 26; ++i)
        gained.Bits[i] = static_cast<uint8_t>(now.Bits[i] & ~before.Bits[i]);
    return gained;
}

} // namespace

uint8_t GetPersonageBuffState(const TPersonage& p)
{
    int raised = 0;
    int lowered = 0;
    for (int k = 1; k <= 8; ++k) {
        const int16_t stat = p.Stats[k];
        const int16_t ref = p.RefStats[k];
        raised += stat > ref;
        lowered += stat < ref;
    }
    for (int k = 1; k <= 5; ++k) {
        const TSpell* spell = p.Effects[k].Spell > 0 ? FindSpell(p.Effects[k].Spell) : nullptr;
        if (spell == nullptr)
            continue;
        raised += spell->BlessSpell;
        lowered += spell->CurseSpell;
    }
    if (raised > 0 && lowered > 0)
        return 3;
    if (raised > 0)
        return 1;
    if (lowered > 0)
        return 2;
    return 0;
}

void MarkSnapshotBonus(TPersonageSnapshot& snapshot, int32_t bonus)
{
    snapshot.MarkedBonuses.Include(bonus);
}

void AddSnapshotEffect(TPersonageSnapshot& snapshot, int32_t spell)
{
    for (int k = 1; k <= 5; ++k)
        if (snapshot.AddedEffects[k] == 0) {
            snapshot.AddedEffects[k] = spell;
            return;
        }
}

namespace {

// The working copy of a personage against its stored values.
void FillForecastDelta(const TPersonage& p, TPersonageDelta& delta)
{
    for (int k = 1; k <= 8; ++k)
        delta.StatChange[k] = p.GetWorkStat(k) - p.Stats[k];
    delta.GainedBonuses = GainedBonuses(p.WorkBonusSet, p.BonusSet);
    delta.Dead = p.WorkHits == 0;
}

} // namespace

void TBattle::ForecastSpell(int32_t side, int32_t n, int32_t targetSide, int32_t targetN, int32_t spellSlot,
                            TPersonageDelta& delta)
{
    std::memset(&delta, 0, sizeof delta);
    delta.ManaCost = -GetManaCost(side, n, spellSlot, targetSide, targetN);
    const TPersonage& caster = Personage(side, n);
    const bool slotOk = spellSlot >= 1 && spellSlot <= 7;
    const int32_t spell = slotOk ? caster.Spells[spellSlot].Spell : 0;
    const int32_t power = slotOk ? caster.Spells[spellSlot].Power : 0;
    // An empty slot forecasts nothing, not a normal recomputation.
    RecalcPersonage(targetSide, targetN, spell > 0 ? spell : -1, power, caster.Mana, side == targetSide);
    const TPersonage& t = Personage(targetSide, targetN);
    delta.HitsChange = t.WorkHits - t.Hits;
    FillForecastDelta(t, delta);
}

void TBattle::ForecastAttack(int32_t side, int32_t n, int32_t targetSide, int32_t targetN, THexCell fromCell,
                             TPersonageDelta& delta)
{
    std::memset(&delta, 0, sizeof delta);
    const int32_t damage =
        CalcAttackDamage(side, n, targetSide, targetN, mFightGroup, fromCell.Row, fromCell.Column, 0, 0);
    delta.HitsChange = -damage;
    if (damage == 0) {
        const TPersonage& t = Personage(targetSide, targetN);
        if (t.BonusSet.Has(ThePhantom) || t.BonusSet.Has(pLifesteal) || t.BonusSet.Has(bInvincible))
            delta.Immune = 1;
        else if (t.ShieldInHand != 0 && Personage(side, n).Stats[statAttackShot] > 0)
            delta.ShieldBlocked = 1;
        else
            delta.Immune = 1;
    }
    RecalcPersonage(targetSide, targetN, -1, 0, 0, false);
    FillForecastDelta(Personage(targetSide, targetN), delta);
}

void TBattle::TakeSnapshot(int32_t side, int32_t n, TPersonageSnapshot& snapshot) const
{
    std::memset(&snapshot, 0, sizeof snapshot);
    if (side <= 0 || n <= 0)
        return;
    const TPersonage& p = Personage(side, n);
    snapshot.Hits = p.Hits;
    snapshot.Mana = p.Mana;
    snapshot.Mounted = p.Mounted;
    snapshot.Stats = p.Stats;
    snapshot.PersBonus = p.PersBonus;
    snapshot.PersBonusAdd = p.PersBonusAdd;
    for (int k = 1; k <= 5; ++k)
        snapshot.Effects[k] = p.Effects[k].Spell;
    snapshot.BonusSet = p.BonusSet;
}

void TBattle::DiffSnapshot(const TPersonageSnapshot& snapshot, int32_t side, int32_t n, TPersonageDelta& delta) const
{
    std::memset(&delta, 0, sizeof delta);
    if (side <= 0 || n <= 0)
        return;
    const TPersonage& p = Personage(side, n);
    delta.HitsChange = p.Hits - snapshot.Hits;
    delta.ManaChange = p.Mana - snapshot.Mana;
    for (int k = 1; k <= 8; ++k)
        delta.StatChange[k] = p.Stats[k] - snapshot.Stats[k];
    delta.GainedBonuses = GainedBonuses(p.WorkBonusSet, snapshot.BonusSet);
    delta.MarkedBonuses = snapshot.MarkedBonuses;
    delta.Dead = p.WorkHits == 0;
    for (int e = 1; e <= 5; ++e) {
        delta.EffectChange[e] = p.Effects[e].Spell - snapshot.Effects[e];
        delta.AddedEffects[e] = snapshot.AddedEffects[e];
    }
}
