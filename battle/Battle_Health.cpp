// Health, wounds and death in a battle, the fall from a horse, the fear that
// terrible personages spread and the marks of commanders and cohesion, and
// the merit from which the aftermath pays experience.
#include <cstdlib>

#include "battle/Battle.h"
#include "battle/Battle_Rules.h"
#include "battle/Battle_Tables.h"
#include "model/FixedPoint.h"
#include "model/personage/Personage_Rules.h"

namespace {

bool IsDefenceMode(uint8_t mode)
{
    switch (mode) {
    case mFight:
    case mFightGroup:
    case mFightLong:
    case mFightCounter:
    case mFightBack:
    case mFightMirror:
    case mShoot:
    case mShootSlow:
    case mShootAimed:
    case mQuake:
        return true;
    default:
        return false;
    }
}

bool IsTerrible(const TPersonage& p)
{
    return p.BonusSet.Has(Terrible) || p.BonusSet.Has(pTerrible);
}

bool IsFearless(const TPersonage& p)
{
    return p.BonusSet.Has(Fearless) || p.BonusSet.Has(eCourage) || p.BonusSet.Has(bUndead);
}

// A supporter entry: +k own side of the list's owner, -k the other side.
int32_t SupporterSide(int32_t ownerSide, int8_t entry)
{
    return entry > 0 ? ownerSide : 3 - ownerSide;
}

// |change| x value / divisor + bonus, rounded; a divisor of 0 or below
// counts as 1.
int64_t MeritShare(int32_t change, int64_t value, int64_t divisor, int64_t bonus)
{
    if (divisor <= 0)
        divisor = 1;
    const __int128 magnitude = change < 0 ? -static_cast<__int128>(change) : change;
    return TFx::Sat(RoundDivHalfEvenWide(magnitude * value + static_cast<__int128>(bonus) * divisor, divisor));
}

} // namespace

uint8_t TBattle::GetDeathMode(int32_t side, int32_t n) const
{
    const TPersonage& p = Personage(side, n);
    if (p.PersBonus[5] == bInvincible)
        return p.Mounted != 0 ? mDieGhostHorse : mDieGhost;
    return mDie;
}

uint8_t TBattle::ApplyHealthChange(int32_t side, int32_t n, int32_t change, uint8_t mode, int32_t bySide, int32_t byN)
{
    TPersonage& p = Personage(side, n);
    if (p.Hits < 1)
        return GetDeathMode(side, n);

    uint8_t reaction = mNone;
    if (IsDefenceMode(mode))
        reaction = mDefense;
    else if (mode == mEnemy || mode == mEnemyAll || mode == mEnemySpecial)
        reaction = mCursed;
    else if (mode == mAlly || mode == mAllyAll)
        reaction = mBlessed;

    int64_t hits = p.Hits;
    // The health really lost or gained: a heal beyond the maximum gains
    // nothing, so it counts for neither the side's pool nor merit.
    int64_t applied = hits + change < 0 ? -hits : change;
    if (applied > 0) {
        const int64_t room = p.Stats[statHits] - hits;
        applied = room < 0 ? 0 : applied < room ? applied : room;
    }
    hits += change;
    if (change < 0)
        ++p.HitsTaken;

    // A heavy blow wounds; tIronHealth shrugs off the first of a battle. A
    // pStrength causer wounds with every blow, never with a heal.
    const bool ironHealth = p.BonusSet.Has(tIronHealth);
    const bool strongCauser = bySide > 0 && byN > 0 && HasBonus(bySide, byN, pStrength);
    if (change < 0 && (p.FullHits / 2 < -static_cast<int64_t>(change) || strongCauser)) {
        if (p.WoundedInBattle != 0 || !ironHealth) {
            ++p.Wounds;
            p.BattleState = 2;
        }
        p.WoundedInBattle = 1;
        p.Hits = ClampToInt16(hits);
        ApplyWoundStats(p, 4);
        hits = p.Hits;
        if (p.Wounds >= p.WoundLimit)
            hits = 0;
    }

    if (hits > 0) {
        if (hits > p.Stats[statHits])
            hits = p.Stats[statHits];
        p.Hits = ClampToInt16(hits);
    } else {
        p.Hits = 0;
        p.BattleState = 6;
        if (p.WoundedInBattle != 0 || !ironHealth)
            ++p.Wounds;
        if (p.Wounds < p.WoundLimit || p.ImportantNPC != 0)
            p.BattleState = 5;
        if (bySide == 1 || bySide == 2)
            ++SlotStates[bySide].KillCount;
        TBattleSide& s = Sides[side];
        int32_t living = 0;
        for (int32_t k = 1; k <= s.PersonageCount && k <= ArmySlotCount; ++k)
            if (s.Personages[k].Hits > 0)
                s.Living[++living] = k;
        for (int32_t k = living + 1; k <= ArmySlotCount; ++k)
            s.Living[k] = 0;
        // The list is the truth: a personage left out of it at the start
        // must not make the count run below the living.
        s.LivingCount = living;
        WriteCellMapInt(Cells, PersonageCell(side, n), 0);
        reaction = GetDeathMode(side, n);
        if (Sides[1].LivingCount == 0 || Sides[2].LivingCount == 0 || Round >= BattleEndTurn)
            Over = 1;
    }

    TBattleStats& stats = Sides[side].Stats;
    if (applied < 0) {
        stats.HitsLost = ClampToInt32(stats.HitsLost - applied);
        RoundDamage[side] = ClampToInt32(RoundDamage[side] - applied);
    } else {
        stats.HitsPool = ClampToInt32(stats.HitsPool + applied);
    }

    if (applied != 0 && mode != mNone && mode != mFightGroup && mode != mFightCounter && mode != mFightBack &&
        bySide > 0 && byN > 0)
        AddMerit(bySide, byN, static_cast<int32_t>(applied), n, side);
    return reaction;
}

void TBattle::PaySupporters(int32_t side, int32_t n, int64_t share)
{
    TBattleSlotState& state = SlotState(side, n);
    for (int i = 1; i <= 12; ++i) {
        const int8_t h = state.Supporters[i];
        if (h == 0)
            continue;
        const int32_t k = std::abs(h);
        if (k <= ArmySlotCount) {
            TPersonage& q = Personage(SupporterSide(side, h), k);
            q.Merit = TFx::Sat(static_cast<__int128>(q.Merit) + share);
        }
        state.Supporters[i] = 0;
    }
}

void TBattle::AddMerit(int32_t a, int32_t n, int32_t change, int32_t tn, int32_t ts)
{
    TPersonage& actor = Personage(a, n);
    TPersonage& target = Personage(ts, tn);
    ++Sides[a].Stats.ActionCount;
    ++Sides[a].Stats.TurnCount;
    ++actor.ActionsDone;
    ++actor.HitsDone;
    const int64_t actorValue = GetAssessment(actor, false).Value;
    if (change != 0) {
        const int64_t targetValue = GetAssessment(target, false).Value;
        const int64_t share =
            MeritShare(change, targetValue, change < 0 ? target.Stats[statHits] : target.Hits, 200000);
        actor.Merit = TFx::Sat(static_cast<__int128>(actor.Merit) + share);
        PaySupporters(a, n, share);
        if (change < 0) {
            const int64_t earned = MeritShare(change, actorValue, target.Stats[statHits], 100000);
            target.Merit = TFx::Sat(static_cast<__int128>(target.Merit) + earned);
            PaySupporters(ts, tn, earned);
        }
        return;
    }
    PaySupporters(a, n, actorValue);
    TBattleSlotState& state = SlotState(ts, tn);
    for (int i = 1; i <= 12; ++i)
        if (state.Supporters[i] == 0) {
            state.Supporters[i] = static_cast<int8_t>(a == ts ? n : -n);
            return;
        }
    // A full list (12 supporters) leaves this one unrecorded: it shares
    // nothing of the target's next merit.
}

uint8_t TBattle::HorseFall(int32_t side, int32_t n, uint8_t mode)
{
    TPersonage& p = Personage(side, n);
    LoseHorse(p);
    if (mode == 1)
        return 1;
    ++p.Wounds;
    if (mode != 0) {
        if (mode != mDie)
            p.BattleState = 2;
        p.WoundedInBattle = 1;
    }
    ApplyWoundStats(p, 4);
    if (p.Wounds >= p.WoundLimit) {
        p.Hits = 0;
        mode = GetDeathMode(side, n);
    }
    return mode == mDie ? mHorseDie : mHorseFall;
}

uint8_t TBattle::LanceTest(int32_t side, int32_t n, int32_t targetSide, int32_t targetN, uint8_t reaction)
{
    TPersonage& t = Personage(targetSide, targetN);
    if (t.Mounted == 0 || t.PersBonus[5] == bInvincible)
        return reaction;
    const TBonusSet& a = Personage(side, n).BonusSet;
    if (a.Has(bPitchfork) || a.Has(bSpear) || a.Has(bHalberd) || a.Has(bPike) || a.Has(bLance))
        --t.HorseHits;
    if (t.HorseHits != 0)
        return reaction == mDie ? static_cast<uint8_t>(mHorseDie) : reaction;
    return HorseFall(targetSide, targetN, reaction);
}

void TBattle::UpdateMorale(int32_t side, int32_t n)
{
    TPersonage& p = Personage(side, n);
    p.NearCommander = 0;
    p.CohesionCount = 0;
    bool frightened = false;
    const THexCell cell = PersonageCell(side, n);
    const TPersonage& leader = Personage(side, 1);
    const bool cohesion = leader.Hits > 0 && leader.BonusSet.Has(tCohesion);
    // Fear passes from a terrible personage to one that is not fearless.
    auto frighten = [&](int32_t otherSide, int32_t k, int32_t level) {
        TPersonage& q = Personage(otherSide, k);
        if (IsTerrible(q) && !IsFearless(p)) {
            if (p.Fear < level)
                p.Fear = level;
            frightened = true;
        }
        if (IsTerrible(p) && !IsFearless(q)) {
            if (q.Fear < level)
                q.Fear = level;
            RecalcPersonage(otherSide, k, 0, 0, 0, false);
        }
    };
    for (int32_t d = 1; d <= 6; ++d) {
        THexCell next;
        if (!StepHexCell(cell.Row, cell.Column, d, next))
            continue;
        const int32_t occupant = ReadCellMapInt(Cells, next);
        if (occupant == 0)
            continue;
        const int32_t occupantSide = occupant > 0 ? 1 : 2;
        const int32_t k = std::abs(occupant);
        if (k > ArmySlotCount)
            continue;
        if (occupantSide != side) {
            frighten(occupantSide, k, 2);
            continue;
        }
        if (FriendlyFear)
            frighten(side, k, 1);
        const TPersonage& f = Personage(side, k);
        if (f.BonusSet.Has(tCommander))
            p.NearCommander = 1;
        if (cohesion && f.AttackMode == mFight)
            ++p.CohesionCount;
    }
    if (!frightened && p.Fear > 0)
        --p.Fear;
    SlotState(side, n).MoraleDirty = 0;
}

void TBattle::SpreadMorale(int32_t side, int32_t n)
{
    const TPersonage& leader = Personage(side, 1);
    const int32_t count = Sides[side].PersonageCount < ArmySlotCount ? Sides[side].PersonageCount : ArmySlotCount;
    if (leader.Hits > 0 && leader.BonusSet.Has(tCohesion)) {
        for (int32_t k = 1; k <= count; ++k)
            SlotState(side, k).MoraleDirty = 1;
    } else {
        SlotState(side, n).MoraleDirty = 1;
    }
    for (int32_t k = 1; k <= ArmySlotCount; ++k) {
        if (SlotState(side, k).MoraleDirty == 0)
            continue;
        UpdateMorale(side, k);
        if (k != n)
            RecalcPersonage(side, k, 0, 0, 0, false);
    }
}
