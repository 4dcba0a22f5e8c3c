// The end of an action: the action point is spent, bonus actions are
// granted, and a personage without points left closes its turn: lasting
// states count down, mana and health recover or drain, a chosen ability
// takes effect, and when someone fell the side that lost it may break.
#include <cmath>
#include <cstdlib>

#include "battle/Battle.h"
#include "battle/Battle_Tables.h"
#include "model/FixedPoint.h"
#include "model/world/World_Tables.h"

namespace {

int16_t CappedMana(int64_t mana, int64_t cap)
{
    return ClampToInt16(mana > cap ? cap : mana);
}

} // namespace

void TBattle::ApplyAbility(int32_t side, int32_t n, uint8_t& reaction, TActionList& list)
{
    TPersonage& p = Personage(side, n);
    const THexCell cell = PersonageCell(side, n);
    auto eachNeighbour = [&](int32_t kind, auto visit) {
        for (int32_t d = 1; d <= 6; ++d) {
            THexCell next;
            if (!StepHexCell(cell.Row, cell.Column, d, next) || !IsCellOfSide(side, next, 0, kind))
                continue;
            const int32_t k = std::abs(ReadCellMapInt(Cells, next));
            if (k >= 1 && k <= ArmySlotCount)
                visit(kind == mEnemy ? 3 - side : side, k, next);
        }
    };
    switch (p.Stance) {
    case bQuake:
        AddAction(0, list, side, n, mQuake, 0);
        eachNeighbour(mEnemy, [&](int32_t es, int32_t e, THexCell at) {
            reaction = mQuake;
            ApplyAction(side, n, reaction, 0, at, e, es);
            AddAction(0, list, es, e, side, n, reaction, 0, ActionDelta);
        });
        break;
    case pCover:
        p.BonusSet.Include(eCoverPos);
        eachNeighbour(mAlly, [&](int32_t os, int32_t k, THexCell) { RecalcPersonage(os, k, 0, 0, 0, false); });
        break;
    case pSuppressionWill:
        reaction = mAction;
        eachNeighbour(mEnemy, [&](int32_t es, int32_t e, THexCell at) {
            if (Personage(es, e).Stats[statWill] - BV(pSuppressionWill) >= 0)
                return;
            AddAction(0, list, side, n, reaction, 0);
            reaction = mFightWill;
            ApplyAction(side, n, reaction, 0, at, e, es);
            AddAction(0, list, es, e, reaction, 0);
        });
        break;
    case pMeditation:
    case bMeditation: {
        int64_t mana = p.Mana;
        if (p.BonusSet.Has(bMeditation))
            mana += BV(bMeditation);
        if (p.BonusSet.Has(pMeditation))
            mana += BV(pMeditation);
        p.Mana = CappedMana(mana, p.Stats[statMagicPower]);
        p.Stance = 0;
        break;
    }
    default:
        break;
    }
}

void TBattle::FinishTurn(const TBattleDecision& decision, uint8_t reaction, bool killed, int32_t dealt,
                         TActionList& list)
{
    const int32_t as = decision.Side;
    const int32_t an = decision.Slot;
    const uint8_t mode = decision.Mode;
    TPersonage& p = Personage(as, an);
    if (PlayerPresent != 0)
        TakeSnapshot(as, an, Forecasts[3]);
    --p.ActionPointsLeft;
    // A lance charge that fells its target earns one more action.
    if (WeaponBonus(as, an) == bLance && (HasBonus(as, an, pRammingAttack) || HasBonus(as, an, tTournamentHero)) &&
        p.RoundSteps > 0 && (reaction == mDie || reaction == mHorseDie) && p.BonusActionTaken == 0) {
        ++p.ActionPointsLeft;
        ++p.BonusActionTaken;
    }
    if (HasBonus(as, an, eBloodyRage) || HasBonus(as, an, pBloodRage)) {
        if (killed && p.BonusActionTaken == 0) {
            ++p.ActionPointsLeft;
            ++p.BonusActionTaken;
            MarkSnapshotBonus(Forecasts[3], pBloodRage);
        }
        if (p.ActionPointsLeft == 0)
            p.BonusActionTaken = 0;
    }
    if (mode != mSkip && mode != mAction && mode != mPotion)
        p.HitsTaken = 0;
    UpdateContact(as, an);
    if (p.ActionPointsLeft > 0)
        return;

    // The end of the turn.
    p.NextTurnRound = Round + 1;
    p.ExtraMove = 0;
    p.Waited = 0;
    TBattleSlotState& state = SlotState(as, an);
    ClearPreparedAction(state);
    if (HasBonus(as, an, PowerRecovering))
        p.Mana = CappedMana(static_cast<int64_t>(p.Mana) + BV(PowerRecovering), p.Stats[statMagicPower]);
    if (HasBonus(as, an, pPowerRecovering))
        p.Mana = CappedMana(static_cast<int64_t>(p.Mana) + p.Stats[statMagicPower] * BV(pPowerRecovering) / 100,
                            p.Stats[statMagicPower]);
    p.RoundSteps = 0;
    if (HasBonus(as, an, eInvulnerability) || HasBonus(as, an, eParalysation)) {
        p.Stance = 0;
    } else if (mode == mAction) {
        const int32_t index = decision.AbilityIndex;
        const int32_t count = p.AbilityCount < 6 ? p.AbilityCount : 6;
        p.Stance = index >= 1 && index <= count ? p.Abilities[index] : 0;
        ApplyAbility(as, an, reaction, list);
    } else if (mode != mSkip && mode != mPotion) {
        p.Stance = 0;
    }
    if (p.StunLevel > 0)
        --p.StunLevel;
    if (HasBonus(as, an, eRust)) {
        const int64_t keep = 10000 - GetEffectMultiplier(as, an, eRust) * BV(eRust) / 100;
        p.ArmourWear = RoundDivHalfEven(100000000 - keep * (10000 - p.ArmourWear), 10000);
    }
    if (HasBonus(as, an, eInvalid))
        p.InvalidCount = static_cast<uint8_t>(p.InvalidCount < 255 ? p.InvalidCount + 1 : 255);
    if (p.Paralysed > 0)
        --p.Paralysed;
    const bool regen = p.NoRegeneration == 0;
    p.NoRegeneration = 0;
    state.TurnFlag = 0;
    if (state.Countdown > 0)
        --state.Countdown;
    state.CounterCount = 0;

    if (p.Hits > 0) {
        // Healing over time, then the effects run down.
        for (int k = 1; k <= 5; ++k) {
            const TPersonageEffect effect = p.Effects[k];
            const TSpell* spell = FindSpell(effect.Spell);
            if (spell == nullptr)
                continue;
            for (int j = 1; j <= 3; ++j) {
                if (spell->Effect[j] != eCure || spell->EffectBonus[j] == eCureCircle)
                    continue;
                const int32_t h = CalcSpellValue(effect.Spell, j, effect.Power, effect.Percent, as, an, 0);
                int64_t hits = static_cast<int64_t>(p.Hits) + h;
                hits = hits < 0 ? 0 : hits > p.Stats[statHits] ? p.Stats[statHits] : hits;
                p.Hits = ClampToInt16(hits);
                AddSnapshotEffect(Forecasts[3], effect.Spell);
                if (spell->EffectValue2[j] > 0 && HasBonus(as, an, eCureAndMove)) {
                    p.ExtraMove = 1;
                    ++p.ActionPointsLeft;
                }
            }
        }
        for (int k = 1; k <= 5; ++k) {
            TPersonageEffect& effect = p.Effects[k];
            if (effect.Spell == 0)
                continue;
            // An entry without rounds left ends too, so that none lasts
            // for ever.
            if (--effect.Rounds <= 0)
                effect.Spell = 0;
        }
        // Life drain, from this action's damage only.
        const int32_t ts = decision.TargetSide, tn = decision.TargetSlot;
        if (dealt != 0 && (p.AttackMode == mFight || p.AttackMode == mShoot) &&
            (HasBonus(as, an, VampireBat) || HasBonus(as, an, bVampire)) && ts >= 1 && ts <= 2 && tn >= 1 &&
            tn <= ArmySlotCount &&
            !HoldsAny(Personage(ts, tn).BonusSet, {ThePhantom, TheUndead, bUndead, bStone, bVampire})) {
            int64_t q = 0;
            if (HasBonus(as, an, bVampire))
                q += BV(bVampire);
            if (HasBonus(as, an, VampireBat))
                q += BV(VampireBat);
            ApplyHealthChange(as, an, ClampToInt32(static_cast<int64_t>(dealt) * q / 100), mNone, 0, 0);
            MarkSnapshotBonus(Forecasts[3], bVampire);
        }
        // Regeneration and poison.
        int64_t q = 0;
        if (regen) {
            if (HasBonus(as, an, Regeneration))
                q += BV(Regeneration);
            if (HasBonus(as, an, bRegeneration))
                q += BV(bRegeneration);
            if (HasBonus(as, an, pRegeneration))
                q += BV(pRegeneration);
            if (q > 0)
                MarkSnapshotBonus(Forecasts[3], bRegeneration);
        }
        if (HasBonus(as, an, Poisoned) || HasBonus(as, an, ePoison)) {
            if (HasBonus(as, an, ePoison))
                q -= BV(ePoison);
            if (HasBonus(as, an, Poisoned))
                q -= BV(Poisoned);
            MarkSnapshotBonus(Forecasts[3], ePoison);
        }
        if (q != 0)
            ApplyHealthChange(as, an, ClampToInt32(p.Stats[statHits] * q / 100), mNone, 0, 0);
        if (p.Hits > 0 && HasBonus(as, an, pDegenerate)) {
            ApplyHealthChange(as, an, -BV(pDegenerate), mNone, 0, 0);
            MarkSnapshotBonus(Forecasts[3], pDegenerate);
        }
        if (p.Hits > 0 && HasBonus(as, an, eWillLost) && p.Stats[statWill] < 0) {
            ApplyHealthChange(as, an, p.Stats[statWill], mNone, 0, 0);
            MarkSnapshotBonus(Forecasts[3], eWillLost);
        }
    }
    if (p.Hits <= 0) {
        if (PlayerPresent != 0)
            DiffSnapshot(Forecasts[3], as, an, CounterDelta);
        AddAction(3, list, as, an, GetDeathMode(as, an), 0, CounterDelta);
    } else {
        RecalcPersonage(as, an, 0, 0, 0, false);
        if (PlayerPresent != 0)
            DiffSnapshot(Forecasts[3], as, an, CounterDelta);
    }
    if (HasBonus(as, an, tCommander))
        for (int32_t k = 1; k <= Sides[as].PersonageCount && k <= ArmySlotCount; ++k)
            if (Personage(as, k).Hits > 0)
                RecalcPersonage(as, k, 0, 0, 0, false);
    RoutTest(as);
}

void TBattle::RoutTest(int32_t side)
{
    const int32_t K = 3 - side;
    if (DeathThisAction == 0 || Sides[K].Army == PlayerArmy || Sides[K].LivingCount <= 0)
        return;
    int64_t power[3] = {0, 0, 0};
    int32_t count[3] = {0, 0, 0};
    bool mayLeave[3] = {true, true, true};
    bool mayRetreat[3] = {true, true, true};
    for (int32_t P = 1; P <= 2; ++P)
        for (int32_t i = 1; i <= Sides[P].PersonageCount && i <= ArmySlotCount; ++i) {
            const TPersonage& q = Personage(P, i);
            if (q.Hits <= 0)
                continue;
            const double w = P == K && i == 1 ? 3 : 1;
            const double h = q.Hits;
            const double m = q.RefStats[statHits] > 0 ? q.RefStats[statHits] : 1;
            const double S = q.Strength;
            int64_t v = 0;
            switch (q.AttackMode) {
            case mFight:
                count[P] += 2;
                v = RoundHalfEven((h * 0.5 / m + 0.5) * S * w);
                if (Round == 0)
                    v *= 4;
                else if (Round == 1)
                    v *= 2;
                break;
            case mShoot:
                count[P] += 1;
                v = RoundHalfEven((h * 0.7 / m + 0.3) * S * w);
                if (Round == 0)
                    v *= 2;
                if (q.InContact != 0)
                    v /= 2;
                break;
            case mSpell:
                v = RoundHalfEven((h * 0.9 / m + 0.1) * S * w);
                if (HoldsAny(q.BonusSet, {ThePhantom, pLifesteal, bInvincible})) {
                    v *= 20;
                } else {
                    const int32_t magic = q.RefStats[statMagicPower];
                    if (magic / 3 > q.Mana) {
                        if (magic > 0)
                            v = RoundDivHalfEven(static_cast<int64_t>(q.Mana) * v, magic);
                        if (q.InContact != 0)
                            v /= 2;
                    }
                }
                break;
            default:
                break;
            }
            power[P] += v;
            if (q.Nature == static_cast<uint8_t>(TPersNature::Undead)) {
                mayLeave[1] = mayLeave[2] = false;
                mayRetreat[P] = false;
            } else if (q.Nature == static_cast<uint8_t>(TPersNature::Animal)) {
                mayLeave[1] = mayLeave[2] = false;
            }
        }
    for (int32_t P = 1; P <= 2; ++P)
        if (count[P] < 2)
            power[P] /= 2;
    if (count[K] > 1 && Sides[K].LivingCount >= Sides[K].StartCount / 2)
        power[K] *= 2;
    if ((ArenaKind == 5 || ArenaKind == 6) && K == 2)
        mayRetreat[K] = false;
    if (!(static_cast<double>(power[3 - K]) / 4 > static_cast<double>(power[K]) && (mayLeave[K] || mayRetreat[K])))
        return;

    Over = 1;
    int64_t avg[3] = {0, 0, 0};
    for (int32_t P = 1; P <= 2; ++P) {
        int64_t sum = 0;
        for (int32_t i = 1; i <= Sides[P].PersonageCount && i <= ArmySlotCount; ++i) {
            const TPersonage& q = Personage(P, i);
            if (q.Hits <= 0 || q.RefStats[statHits] <= 0)
                continue;
            const double f = q.AttackMode == mFight   ? 1.0
                             : q.AttackMode == mShoot ? 0.8
                             : q.AttackMode == mSpell ? 0.6
                                                      : 0;
            sum += RoundHalfEven(static_cast<double>(q.Hits) * f / q.RefStats[statHits] * q.Stats[statInitiative]);
        }
        avg[P] = Sides[P].LivingCount > 0 ? sum / Sides[P].LivingCount : 0;
    }
    const bool retreat = mayRetreat[K] && avg[K] > avg[3 - K];
    for (int32_t i = 1; i <= Sides[K].PersonageCount && i <= ArmySlotCount; ++i)
        if (Personage(K, i).Hits > 0)
            Personage(K, i).BattleState = retreat ? 4 : 3;
    Sides[K].Result = retreat ? SideRetreated : SideRouted;
}
