// Carrying out a decision: the rule steps of an action in order (who
// strikes first, who strikes back, who else is hit) and the visual elements
// the battle screen plays, one per animation.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "battle/Battle.h"
#include "battle/Battle_Tables.h"
#include "model/ai/AIMain_Settings.h"
#include "model/personage/Personage_Rules.h"

namespace {

bool Fells(uint8_t reaction)
{
    return reaction == mDie || reaction == mHorseDie;
}

int32_t Occupant(const TCellMapInt& cells, THexCell cell)
{
    const int32_t v = std::abs(ReadCellMapInt(cells, cell));
    return v <= ArmySlotCount ? v : 0;
}

} // namespace

void TBattle::AppendAction(uint8_t type, TActionList& list, int32_t side, int32_t slot, int32_t targetSide,
                           int32_t targetSlot, uint8_t mode, uint8_t subMode, const TPersonageDelta* delta,
                           uint8_t targetMark)
{
    if (mode < mMove)
        return;
    if (type == 2 || type == 3)
        ActionStep += 2;
    TBattleAction a;
    std::memset(&a, 0, sizeof a);
    a.Side = side;
    a.Slot = slot;
    a.TargetSide = targetSide;
    a.TargetSlot = targetSlot;
    a.Mode = mode;
    a.SubMode = subMode;
    if (delta != nullptr)
        a.Delta = *delta;
    a.Step = type == 1 || type == 3 ? -ActionStep : ActionStep;
    a.TargetMark = targetMark;
    list.push_back(a);
}

void TBattle::AddAction(uint8_t type, TActionList& list, int32_t side, int32_t slot, uint8_t mode, uint8_t targetMark)
{
    AppendAction(type, list, side, slot, 0, 0, mode, 0, nullptr, targetMark);
}

void TBattle::AddAction(uint8_t type, TActionList& list, int32_t side, int32_t slot, int32_t targetSide,
                        int32_t targetSlot, uint8_t mode, uint8_t subMode)
{
    AppendAction(type, list, side, slot, targetSide, targetSlot, mode, subMode, nullptr, 0);
}

void TBattle::AddAction(uint8_t type, TActionList& list, int32_t side, int32_t slot, uint8_t mode, uint8_t subMode,
                        const TPersonageDelta& delta)
{
    AppendAction(type, list, side, slot, 0, 0, mode, subMode, &delta, 0);
}

void TBattle::AddAction(uint8_t type, TActionList& list, int32_t side, int32_t slot, int32_t targetSide,
                        int32_t targetSlot, uint8_t mode, uint8_t subMode, const TPersonageDelta& delta)
{
    AppendAction(type, list, side, slot, targetSide, targetSlot, mode, subMode, &delta, 0);
}

bool TBattle::CanCounterAny(int32_t side, int32_t n) const
{
    const TPersonage& p = Personage(side, n);
    if (p.BonusSet.Has(bPitchfork) && SlotState(side, n).CounterCount >= 1)
        return false;
    return HoldsAny(p.BonusSet, {bPitchfork, bSpear, bPike, bPaw, tFencingMaster});
}

bool TBattle::CanCounter(int32_t side, int32_t n, THexCell attackerCell) const
{
    const TPersonage& p = Personage(side, n);
    const THexCell own = PersonageCell(side, n);
    bool r = HoldsAny(p.BonusSet, {bPitchfork, bSpear, bPike, bPaw, tFencingMaster});
    if (GetHexDistance(own, attackerCell) > 1 && WeaponBonus(side, n) != bPike)
        r = false;
    if (!p.BonusSet.Has(bPaw))
        r = r && !IsBackAttack(attackerCell, own, p.Heading);
    if (p.BonusSet.Has(bPitchfork) && SlotState(side, n).CounterCount >= 1)
        r = false;
    return r;
}

namespace {

// The turn of a model toward a point of the arena.
void TurnTowardPoint(TPersonage& p, double x, double z)
{
    const double dx = std::nearbyint((x - p.GetShownPosition(0)) * 10000) / 10000;
    const double dz = std::nearbyint((z - p.GetShownPosition(2)) * 10000) / 10000;
    const double h = std::nearbyint((std::atan2(dx, dz) + M_PI) * 10000);
    double t = std::nearbyint(h - static_cast<double>(p.Heading));
    if (t > 31415.9265)
        t = std::nearbyint(t - 62831.853);
    else if (t < -31415.9265)
        t = std::nearbyint(t + 62831.853);
    p.TurnDelta = static_cast<int64_t>(t);
    p.TurnStartHeading = p.Heading;
}

} // namespace

void TBattle::TurnToward(int32_t side, int32_t n, int32_t otherSide, int32_t otherN)
{
    TPersonage& p = Personage(side, n);
    if (side == otherSide && n == otherN) {
        p.TurnDelta = 0;
        p.TurnStartHeading = p.Heading;
        return;
    }
    TVec3 target;
    const THexCell cell = PersonageCell(otherSide, otherN);
    GetHexCellPosition(cell.Row, cell.Column, target);
    TurnTowardPoint(p, target.x, target.z);
}

void TBattle::PlaceAndTurn(int32_t side, int32_t n, int32_t column, int32_t row, int32_t otherN, int32_t otherSide)
{
    TPersonage& p = Personage(side, n);
    TVec3 centre;
    GetHexCellPosition(p.FormationRow, p.FormationColumn, centre);
    p.SetShownPosition(0, centre.x);
    p.SetShownPosition(1, centre.y);
    p.SetShownPosition(2, centre.z);
    if (otherSide >= 1 && otherSide <= 2 && otherN >= 1 && otherN <= ArmySlotCount) {
        TurnToward(side, n, otherSide, otherN);
    } else if (otherSide < 1 && column > 0) {
        TVec3 target;
        GetHexCellPosition(row, column, target);
        if (IsSameHexCell({row, column}, PersonageCell(side, n))) {
            p.TurnDelta = 0;
            p.TurnStartHeading = p.Heading;
        } else {
            TurnTowardPoint(p, target.x, target.z);
        }
    }
}

void TBattle::PerformAction(const TBattleDecision& decision, TActionList& list)
{
    list.clear();
    ActionStep = 0;
    DeathThisAction = 0;
    const int32_t as = decision.Side;
    const int32_t an = decision.Slot;
    if (as < 1 || as > 2 || an < 1 || an > ArmySlotCount)
        return;
    const int32_t ts = decision.TargetSide;
    const int32_t tn = decision.TargetSlot;
    const bool hasTarget = ts >= 1 && ts <= 2 && tn >= 1 && tn <= ArmySlotCount;
    // The decision is packed: its cells are read field by field.
    const THexCell c{decision.MoveCell.Row, decision.MoveCell.Column};
    const int32_t s = decision.SpellSlot;
    const uint8_t mode = decision.Mode;
    TPersonage& actor = Personage(as, an);
    const THexCell actorCell = PersonageCell(as, an);
    uint8_t r = mode;
    uint8_t shown = mode;
    int32_t dealt = 0;
    bool group = false, counterFirst = false, fightBack = false, killed = false;
    int32_t circle = 0;
    int32_t flankLeft = 0, flankRight = 0;
    bool felled = false;

    // A counter-attack by personage k of the target's side on the actor.
    auto counterBy = [&](int32_t k) {
        r = mFightCounter;
        TBattleSlotState& state = SlotState(ts, k);
        state.CounterCount = static_cast<uint8_t>(state.CounterCount < 255 ? state.CounterCount + 1 : 255);
        TurnToward(ts, k, as, an);
        ApplyAction(ts, k, r, s, c, an, as);
        AddAction(0, list, ts, k, as, an, mFightCounter, 0, CounterDelta);
        felled = Fells(r);
    };
    // The target's answer to the actor's strike.
    auto retort = [&]() {
        const TPersonage& t = Personage(ts, tn);
        uint8_t answer;
        if (t.BonusSet.Has(eEvilProtect))
            answer = mFightMirror;
        else if (t.BonusSet.Has(pMagicRecoil))
            answer = mFightRecoil;
        else if (!Fells(r)) {
            TurnToward(ts, tn, as, an);
            answer = mFightBack;
        } else
            return;
        r = answer;
        ApplyAction(ts, tn, r, s, c, an, as);
        AddAction(2, list, ts, tn, as, an, answer, 0, CounterDelta);
        AddAction(1, list, as, an, ts, tn, r, 0, ActionDelta);
    };
    auto strike = [&](uint8_t how, int32_t targetN, THexCell cell) {
        r = how;
        const int32_t d = ApplyAction(as, an, r, s, cell, targetN, ts);
        killed = killed || Fells(r);
        return d;
    };

    // Preparation.
    switch (mode) {
    case mMove:
    case mMoveTo:
    case mRetreat: {
        PlaceAndTurn(as, an, c.Column, c.Row, 0, 0);
        TBattleSlotState& state = SlotState(as, an);
        const int32_t target = hasTarget ? (ts == as ? tn : -tn) : 0;
        if (mode == mMove) {
            state.Mode = mMove;
            state.ClickCell = THexCell{decision.ClickCell.Row, decision.ClickCell.Column};
            state.SpellSlot = decision.SpellSlot;
            state.AbilityIndex = decision.AbilityIndex;
            state.ItemIndex = decision.ItemIndex;
            if (hasTarget)
                state.Target = target;
        } else if (mode == mMoveTo) {
            ClearPreparedAction(state);
            if (actor.AttackMode == mFight && Sides[as].PlayerControlled != 0) {
                state.Mode = mFight;
            } else if (actor.AttackMode == mSpell) {
                state.Mode = mSpell;
                state.SpellSlot = s;
            }
            if (state.Mode != 0 && hasTarget)
                state.Target = target;
        }
        ApplyAction(as, an, r, s, c, tn, ts);
        AddAction(1, list, as, an, mode, decision.TargetMark);
        if (mode == mMoveTo || mode == mRetreat) {
            // Pikes are set against one who comes close.
            const int32_t other = 3 - as;
            const THexCell now = PersonageCell(as, an);
            for (int32_t k = 1; k <= Sides[other].PersonageCount && k <= ArmySlotCount; ++k) {
                TPersonage& p = Personage(other, k);
                if (p.Hits > 0 && WeaponBonus(other, k) == bPike && p.PikeBraced == 0 &&
                    GetHexDistance(PersonageCell(other, k), now) == 1) {
                    p.PikeBraced = 1;
                    AddAction(0, list, other, k, mSitDown, 0);
                }
            }
        }
        if (mode != mRetreat)
            return;
        break;
    }
    case mFight: {
        if (!hasTarget)
            break;
        PlaceAndTurn(as, an, 0, 0, tn, ts);
        const THexCell targetCell = PersonageCell(ts, tn);
        if (HasBonus(as, an, bLongSword)) {
            auto flank = [&](int32_t kind) {
                const int32_t d = GetFlankDirection(as, an, kind, tn, ts);
                THexCell at;
                return d != 0 && StepHexCell(actorCell.Row, actorCell.Column, d, at) ? Occupant(Cells, at) : 0;
            };
            flankLeft = flank(3);
            flankRight = flank(2);
            group = flankLeft + flankRight > 0;
        }
        if (HasBonus(as, an, bPike) && GetHexDistance(actorCell, c) == 2) {
            r = mFightLong;
            actor.PikeBraced = 0;
        }
        const TPersonage& t = Personage(ts, tn);
        fightBack =
            GetHexDistance(actorCell, targetCell) == 1 && (HoldsAny(t.BonusSet, {eEvilProtect, bPaw, pMagicRecoil}) ||
                                                           (HoldsAny(t.BonusSet, {BackStrike, bSword, bSwordDagger}) &&
                                                            !IsBackAttack(actorCell, targetCell, t.Heading)));
        if (actor.RoundSteps < 1 && !HoldsAny(t.BonusSet, {eCounterPos, bPaw, tFencingMaster}))
            counterFirst = false;
        else
            counterFirst = CanCounter(ts, tn, actorCell);
        break;
    }
    case mShoot:
        if (!hasTarget)
            break;
        PlaceAndTurn(as, an, 0, 0, tn, ts);
        if (actor.InContact != 0)
            r = mShootSlow;
        if (actor.Stance == pAimedShot)
            r = mShootAimed;
        shown = r;
        break;
    case mSpell:
        PlaceAndTurn(as, an, c.Column, c.Row, 0, 0);
        break;
    case mEnemy:
    case mAlly: {
        if (hasTarget)
            PlaceAndTurn(as, an, 0, 0, tn, ts);
        const TSpell* spell = s >= 1 && s <= 7 ? FindSpell(actor.Spells[s].Spell) : nullptr;
        if (spell != nullptr)
            for (int j = 1; j <= 3; ++j)
                if (spell->EffectBonus[j] == eCureCircle || spell->EffectBonus[j] == eStrikeCircle)
                    circle = spell->EffectBonus[j];
        break;
    }
    default:
        break;
    }

    // Execution.
    const bool strikeMode = mode == mFight || mode == mShoot || mode == mEnemy || mode == mAlly;
    if (strikeMode && hasTarget) {
        if (group) {
            bool any = CanCounterAny(ts, tn) || (flankLeft > 0 && CanCounterAny(ts, flankLeft)) ||
                       (flankRight > 0 && CanCounterAny(ts, flankRight));
            if (any && actor.RoundSteps == 0) {
                any = false;
                for (int32_t k : {tn, flankLeft, flankRight})
                    if (k > 0 &&
                        (Personage(ts, k).BonusSet.Has(eCounterPos) || Personage(ts, k).BonusSet.Has(tFencingMaster)))
                        any = true;
            }
            if (any) {
                for (int32_t k : {flankLeft, tn, flankRight})
                    if (k > 0 && !felled && CanCounter(ts, k, actorCell))
                        counterBy(k);
                AddAction(1, list, as, an, ts, tn, felled ? mDie : mDefense, mFightGroup, ActionDelta);
            }
            if (!felled) {
                r = mFightGroup;
                AddAction(3, list, as, an, ts, tn, mFightGroup, 0);
                const std::pair<int32_t, uint8_t> strikes[] = {
                    {flankLeft, mFightGroup}, {tn, mFight}, {flankRight, mFightGroup}};
                for (const auto& [k, how] : strikes) {
                    if (k <= 0)
                        continue;
                    const THexCell cell = k == tn ? c : PersonageCell(ts, k);
                    dealt += strike(how, k, cell);
                    AddAction(0, list, ts, k, as, an, r, 0, ActionDelta);
                }
            }
        } else if (counterFirst) {
            counterBy(tn);
            AddAction(1, list, as, an, ts, tn, r, mode, ActionDelta);
            if (!felled) {
                dealt = strike(mFight, tn, c);
                AddAction(3, list, as, an, ts, tn, mFight, 0, CounterDelta);
                AddAction(0, list, ts, tn, as, an, r, 0, ActionDelta);
                if (fightBack)
                    retort();
            }
        } else if (fightBack) {
            dealt = strike(r, tn, c);
            AddAction(1, list, as, an, ts, tn, mFight, 0, CounterDelta);
            AddAction(0, list, ts, tn, as, an, r, 0, ActionDelta);
            retort();
        } else if (circle == eCureCircle) {
            ApplyAction(as, an, r, s, c, tn, ts);
            AddAction(1, list, as, an, mode, 0, CounterDelta);
            AddAction(0, list, ts, tn, r, 0, ActionDelta);
            actor.Mana = ClampToInt16(actor.Mana - GetManaCost(as, an, s, ts, tn));
        } else if (circle == eStrikeCircle) {
            dealt = ApplyAction(as, an, r, s, c, tn, ts);
            AddAction(1, list, as, an, ts, tn, mode, 0, CounterDelta);
            AddAction(0, list, ts, tn, as, an, r, 0, ActionDelta);
            const int32_t other = 3 - ts;
            const THexCell targetCell = PersonageCell(ts, tn);
            for (int32_t k = 1; k <= Sides[other].PersonageCount && k <= ArmySlotCount; ++k) {
                if (Personage(other, k).Hits <= 0 || GetHexDistance(PersonageCell(other, k), targetCell) != 1)
                    continue;
                r = mEnemyInstantly;
                ApplyAction(as, an, r, s, c, k, other);
                AddAction(0, list, other, k, as, an, r, 0, ActionDelta);
            }
            actor.Mana = ClampToInt16(actor.Mana - GetManaCost(as, an, s, ts, tn));
        } else {
            const TSpell* spell = s >= 1 && s <= 7 ? FindSpell(actor.Spells[s].Spell) : nullptr;
            const bool spellMode = mode == mEnemy || mode == mAlly;
            const int32_t plainCost = GetManaCost(as, an, s, 0, 0);
            const bool burn = HasBonus(as, an, eManaBurnPos);
            if (spellMode && spell != nullptr &&
                (spell->MassEffect || (burn && actor.Mana >= static_cast<int64_t>(plainCost) * BV(eManaBurnPos)))) {
                shown = mode == mEnemy ? mEnemyAll : mAllyAll;
                AddAction(1, list, as, an, shown, 0);
                int32_t lastSide = ts, lastN = tn;
                for (int32_t row = HexRowMin; row <= HexRowMax; ++row)
                    for (int32_t column = HexColumnMin; column <= HexColumnMax; ++column) {
                        const THexCell cell{row, column};
                        const uint8_t mark = ReadCellMapByte(TargetMap, cell);
                        const int32_t v = ReadCellMapInt(Cells, cell);
                        if (mark == mNone || mark == mPoint || v == 0 || std::abs(v) > ArmySlotCount)
                            continue;
                        const int32_t ps = v > 0 ? 1 : 2;
                        const int32_t pn = std::abs(v);
                        r = mode;
                        dealt += ApplyAction(as, an, r, s, cell, pn, ps);
                        AddAction(0, list, ps, pn, as, an, r, 0, ActionDelta);
                        lastSide = ps;
                        lastN = pn;
                    }
                const int64_t cost =
                    burn ? static_cast<int64_t>(BV(eManaBurnPos)) * plainCost : GetManaCost(as, an, s, lastSide, lastN);
                actor.Mana = ClampToInt16(actor.Mana - cost);
            } else {
                const int32_t cost = spellMode ? GetManaCost(as, an, s, ts, tn) : 0;
                dealt = strike(r, tn, c);
                AddAction(1, list, as, an, ts, tn, shown, 0, CounterDelta);
                AddAction(0, list, ts, tn, as, an, r, 0, ActionDelta);
                if (spellMode)
                    actor.Mana = ClampToInt16(actor.Mana - cost);
                if (mode == mAlly && ts != as && Personage(ts, tn).BonusSet.Has(pCharming)) {
                    // A charmed enemy's life-stealer pays for the blessing.
                    int32_t thief = 0;
                    for (int32_t k = 1; k <= Sides[ts].PersonageCount && k <= ArmySlotCount; ++k)
                        if (Personage(ts, k).Hits > 0 && Personage(ts, k).BonusSet.Has(pLifesteal))
                            thief = k;
                    if (thief > 0) {
                        r = mEnemySpecial;
                        dealt = ApplyAction(as, an, r, 0, PersonageCell(ts, thief), thief, ts);
                        AddAction(2, list, ts, thief, as, an, r, 0, ActionDelta);
                    }
                }
            }
        }
        // The aim count.
        if (ts == as) {
            actor.AimTarget = 0;
            actor.AimCount = 0;
        } else if (actor.AimTarget == tn) {
            ++actor.AimCount;
        } else {
            actor.AimTarget = tn;
            actor.AimCount = 1;
        }
    } else if (mode == mSpell) {
        const TSpell* spell = s >= 1 && s <= 7 ? FindSpell(actor.Spells[s].Spell) : nullptr;
        const int32_t cost = GetManaCost(as, an, s, 0, 0);
        if (spell != nullptr)
            for (int j = 1; j <= 3; ++j) {
                if (spell->Effect[j] != eSummonGhost)
                    continue;
                // The ghost of the caster's school; a school outside the
                // list has none.
                const size_t school = actor.MagicSchool;
                const int32_t g = school < SummonGhostIndex.size() ? SummonGhostIndex[school] : 0;
                TBattleSide& side = Sides[as];
                if (side.PersonageCount >= ArmySlotCount || g <= 0 || !UnitTypes.InRange(g) ||
                    UnitTypes[g].UnitType == 0)
                    continue;
                ++side.LivingCount;
                const int32_t n = ++side.PersonageCount;
                side.Living[side.LivingCount] = n;
                TPersonage& ghost = side.Personages[n];
                ghost = UnitTypes[g];
                TIntArray removed;
                ReloadPersonage(ghost, 5, -1, removed);
                ghost.RefStats = ghost.Stats;
                ghost.RefPersBonus = ghost.PersBonus;
                ghost.RefPersBonusAdd = ghost.PersBonusAdd;
                ghost.BattleBonusSet = ghost.BonusSet;
                ghost.FormationRow = c.Row;
                ghost.FormationColumn = c.Column;
                ghost.RoundActionPoints = 1;
                ghost.ActionPointsLeft = 1;
                WriteCellMapInt(Cells, c, as == 1 ? n : -n);
                SlotState(as, an).GhostSlot = static_cast<int8_t>(n);
                PlaceAndTurn(as, n, 0, 0, 0, 0);
                RecalcPersonage(as, n, 0, 0, 0, false);
                AddAction(1, list, as, an, as, n, mSpellSummon, 0);
                AddAction(0, list, as, n, mSummon, 0);
                UpdateMorale(as, n);
                AddSnapshotEffect(Forecasts[1], actor.Spells[s].Spell);
            }
        actor.Mana = ClampToInt16(actor.Mana - cost);
    } else if (mode == mAction) {
        AddAction(1, list, as, an, mAction, 0);
        UpdateMorale(as, an);
    } else if (mode == mPotion) {
        const int32_t entry = decision.ItemIndex;
        ApplyAction(as, an, r, entry, c, an, as);
        if (r == mNone)
            r = mPotion;
        AddAction(1, list, as, an, r, 0, CounterDelta);
        // The potion is used up and the belt rebuilt.
        const int32_t belt = actor.BeltPotionCount < 4 ? actor.BeltPotionCount : 4;
        if (entry >= 1 && entry <= belt) {
            const int32_t k = actor.BeltPotionSlots[entry];
            if (k >= 1 && k <= 6)
                actor.Equipment[8 + k] = 0;
        }
        RebuildPotionBelt(actor);
    }

    if (mode == mSpell || mode == mEnemy || mode == mAlly) {
        if (actor.StreamSlot == s) {
            ++actor.StreamCount;
        } else {
            actor.StreamSlot = s;
            actor.StreamCount = 1;
        }
    }
    if (mode == mWait)
        actor.Waited = 1;
    if (mode == mSkip || mode == mWait || mode == mRetreat) {
        actor.Stance = 0;
        actor.StreamSlot = 0;
        actor.StreamCount = 0;
        actor.AimTarget = 0;
        actor.AimCount = 0;
        SlotState(as, an).Mode = 0;
        UpdateMorale(as, an);
        RecalcPersonage(as, an, 0, 0, 0, false);
    }
    switch (mode) {
    case mSkip:
    case mFight:
    case mFightGroup:
    case mFightLong:
    case mFightCounter:
    case mRetreat:
    case mAction:
    case mPotion:
        FinishTurn(decision, r, killed, dealt, list);
        break;
    default:
        if (mode >= mShoot && mode <= mAllyAll)
            FinishTurn(decision, r, killed, dealt, list);
        break;
    }
}
