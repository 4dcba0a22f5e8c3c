// The computer's weighing of the whole field before a decision: for every
// living personage the damage it takes before its next turn and over the
// round, what it can deal and kill, and one combat value of offence
// weighted by survival.
#include <algorithm>
#include <cmath>

#include "battle/Battle.h"
#include "battle/Battle_Tables.h"

namespace {

constexpr int ApproachCells = 18; // every cell within two steps of X

// The approaching enemies' values per approach cell, and the greedy
// assignment of one enemy to one cell.
struct TApproachTable {
    int32_t Count = 0;
    THexCell Cells[ApproachCells]{};
    int32_t Early[ApproachCells][ArmySlotCount + 1]{};
    int32_t Total[ApproachCells][ArmySlotCount + 1]{};

    int Enter(THexCell c)
    {
        for (int i = 0; i < Count; ++i)
            if (IsSameHexCell(Cells[i], c))
                return i;
        if (Count >= ApproachCells)
            return -1;
        Cells[Count] = c;
        return Count++;
    }

    // Enemies by increasing sum take the cell where they raise the assigned
    // value most; nobody counts on two cells.
    void Assign(const int32_t (&v)[ApproachCells][ArmySlotCount + 1], int32_t (&assigned)[ApproachCells]) const
    {
        int64_t sum[ArmySlotCount + 1]{};
        for (int e = 1; e <= ArmySlotCount; ++e)
            for (int c = 0; c < Count; ++c)
                sum[e] += v[c][e];
        for (int c = 0; c < Count; ++c)
            assigned[c] = 0;
        for (;;) {
            int best = 0;
            for (int e = 1; e <= ArmySlotCount; ++e)
                if (sum[e] > 0 && (best == 0 || sum[e] < sum[best]))
                    best = e;
            if (best == 0)
                return;
            int cell = -1;
            int64_t gain = 0;
            for (int c = 0; c < Count; ++c) {
                const int64_t g = static_cast<int64_t>(v[c][best]) - assigned[c];
                if (g > gain) {
                    gain = g;
                    cell = c;
                }
            }
            if (cell >= 0)
                assigned[cell] = v[cell][best];
            sum[best] = 0;
        }
    }
};

} // namespace

bool TBattle::IsAssessedLiving(int32_t side, int32_t n) const
{
    return GetHits(side, n) > 0 && !HasBonus(side, n, eParalysation);
}

bool TBattle::StrikesBefore(int32_t a, int32_t x, int32_t enemySide, int32_t e) const
{
    const int32_t pe = GetTurnPriority(enemySide, e);
    if (pe < a)
        return Personage(enemySide, e).ActionPointsLeft > 0 && (x < pe || x > a);
    return pe > a && a < x && x < pe;
}

const TCellMapInt& TBattle::ApproachMap(int32_t side, int32_t n, TAssessMaps& maps)
{
    const int i = (side - 1) * (ArmySlotCount + 1) + n;
    if (!maps.Built[i] || AssessMapsPerPair != 0) {
        BuildMoveMap(side, n, maps.Maps[i]);
        GetAttackApproach(side, n, false, maps.Maps[i]);
        maps.Built[i] = true;
    }
    return maps.Maps[i];
}

void TBattle::AssessThreats(int32_t side, int32_t slot)
{
    ++Counters.AssessThreats;
    const bool withActor = ActorSide != 0;
    TAssessMaps maps;
    for (int32_t s = 1; s <= 2; ++s)
        for (int32_t k = 1; k <= Sides[s].PersonageCount; ++k)
            SetAssessment(Personage(s, k), withActor, TThreatAssessment{});

    const int32_t a = GetTurnPriority(side, slot);
    for (int32_t s = 1; s <= 2; ++s) {
        const int32_t es = 3 - s;
        for (int32_t n = 1; n <= Sides[s].PersonageCount; ++n) {
            TPersonage& xp = Personage(s, n);
            if (!IsAssessedLiving(s, n)) {
                TThreatAssessment dead = GetAssessment(xp, false);
                dead.KillWorth = static_cast<uint16_t>(GetPersonageStat(s, n, statByAttackMode));
                dead.TargetCount = 1;
                dead.Value = 0;
                SetAssessment(xp, false, dead);
                continue;
            }
            AssessOne(s, n, side, slot, a, withActor, maps);
            (void)es;
        }
    }
}

void TBattle::AssessOne(int32_t s, int32_t n, int32_t side, int32_t slot, int32_t a, bool withActor, TAssessMaps& maps)
{
    const int32_t es = 3 - s;
    TPersonage& xp = Personage(s, n);
    TThreatAssessment r = GetAssessment(xp, withActor);
    const bool xIsActor = s == side && n == slot;
    const int32_t x = GetTurnPriority(s, n);
    const int32_t hits = GetHits(s, n);
    const THexCell xCell = PersonageCell(s, n);

    // 1, 2: regeneration, poison, lost will and invalidity over the round.
    int64_t regen = 0;
    if (xp.NoRegeneration == 0)
        for (int32_t b : {static_cast<int32_t>(Regeneration), static_cast<int32_t>(bRegeneration),
                          static_cast<int32_t>(pRegeneration)})
            if (HasBonus(s, n, b))
                regen += BV(b);
    if (HasBonus(s, n, ePoison))
        regen -= BV(ePoison);
    if (HasBonus(s, n, Poisoned))
        regen -= BV(ePoison);
    if (regen != 0)
        r.RoundDamage = ClampToInt32(-(GetPersonageStat(s, n, statHits) * regen / 100));
    if (HasBonus(s, n, eWillLost)) {
        const int32_t will = GetPersonageStat(s, n, statWill);
        if (will < 0)
            r.RoundDamage -= will;
    }
    if (HasBonus(s, n, eInvalid))
        r.RoundDamage += Round32(GetPersonageStat(s, n, statHits) * static_cast<double>(BV(eInvalid)) / 100);

    // 3: what threatens X anywhere, and what X could deal.
    int64_t potential = 0, offenceSum = 0, offenceCount = 0;
    const int32_t enemies = std::min(Sides[es].PersonageCount, ArmySlotCount);
    // X's estimate on each enemy: the same figure serves its reach below.
    int32_t onEnemy[ArmySlotCount + 1]{};
    for (int32_t e = 1; e <= enemies; ++e) {
        if (!IsAssessedLiving(es, e))
            continue;
        potential += CalcAttackDamage(es, e, s, n, mNone, 0, 0, 0, 0);
        const int32_t d = onEnemy[e] =
            CalcAttackDamage(s, n, es, e, mMoveTo, PersonageCell(es, e).Row, PersonageCell(es, e).Column, 0, 0);
        if (d > 0) {
            offenceSum += d;
            ++offenceCount;
        }
    }

    // 4: the enemies that strike from where they stand and those that walk up.
    TApproachTable table;
    int64_t incoming = 0, approachSum = 0, approachCount = 0, maxApproach = 0;
    int64_t reachCount = 0, reachSum = 0, kills = 0;
    const bool xPhantom = HasBonus(s, n, ThePhantom) || HasBonus(s, n, bInvincible);
    for (int32_t e = 1; e <= enemies; ++e) {
        if (!IsAssessedLiving(es, e))
            continue;
        TPersonage& ep = Personage(es, e);
        TThreatAssessment er = GetAssessment(ep, withActor);
        const bool eIsActor = es == side && e == slot;
        const bool eMelee = ep.AttackMode == mFight;
        if (CanAttackPersonage(es, e, s, n)) {
            const int32_t d = CalcAttackDamage(es, e, s, n, mNone, 0, 0, 0, 0);
            if (d == 0 && xPhantom)
                er.MetImmune = 1;
            incoming += d;
            er.BestHit = std::max(er.BestHit, d);
            if (d != 0) {
                r.RoundDamage += d;
                ++r.RoundAttackers;
            }
            if (eMelee) {
                r.RoundMeleeDamage += d;
                ++r.RoundMeleeAttackers;
            }
            if (eIsActor)
                r.ActorDamage = d;
            SetAssessment(ep, withActor, er);
            if (xIsActor && eMelee)
                ActorValues(s, n, es, e, false, withActor);
            er = GetAssessment(ep, withActor);
            if (StrikesBefore(a, x, es, e)) {
                r.EarlyDamage += d;
                ++r.EarlyAttackers;
                if (eMelee) {
                    r.EarlyMeleeDamage += d;
                    ++r.EarlyMeleeAttackers;
                }
            }
        } else if (eMelee && ep.InContact == 0 && !HasBonus(es, e, eImmobility)) {
            const TCellMapInt& em = ApproachMap(es, e, maps);
            const int32_t reach = HasBonus(es, e, bPike) ? 18 : 6;
            int idx[ApproachCells];
            int count = 0;
            for (int32_t dir = 1; dir <= reach; ++dir) {
                THexCell c;
                if (!GetNeighbourCell(xCell, dir, c))
                    continue;
                const int32_t v = ReadCellMapInt(em, c);
                if (v > 0 && v < MapFree) {
                    const int i = table.Enter(c);
                    if (i >= 0 && std::find(idx, idx + count, i) == idx + count)
                        idx[count++] = i;
                }
            }
            if (count > 0) {
                const int32_t d = CalcAttackDamage(es, e, s, n, mNone, 0, 0, 0, 0);
                if (d == 0 && xPhantom)
                    er.MetImmune = 1;
                maxApproach = std::max<int64_t>(maxApproach, d);
                er.BestHit = std::max(er.BestHit, d);
                if (eIsActor)
                    r.ActorDamage = d;
                SetAssessment(ep, withActor, er);
                if (xIsActor)
                    ActorValues(s, n, es, e, true, withActor);
                er = GetAssessment(ep, withActor);
                const bool early = StrikesBefore(a, x, es, e);
                for (int i = 0; i < count; ++i) {
                    table.Total[idx[i]][e] =
                        ClampToInt32(static_cast<int64_t>(er.CounterOnActor) + d + er.BackStrikeOnActor);
                    if (early)
                        table.Early[idx[i]][e] = ClampToInt32(static_cast<int64_t>(d) + er.CounterOnActor);
                }
            }
        }
        SetAssessment(ep, withActor, er);
    }
    for (int32_t e = 1; e <= enemies; ++e) {
        if (!IsAssessedLiving(es, e) || !CanAttackPersonage(s, n, es, e))
            continue;
        const int32_t d = onEnemy[e];
        if (d > 0) {
            ++reachCount;
            reachSum += d;
            if (GetHits(es, e) < d)
                ++kills;
        }
    }

    // 5: approaching enemies on their cells, each counted once.
    if (table.Count > 0) {
        int32_t assigned[ApproachCells];
        table.Assign(table.Early, assigned);
        for (int c = 0; c < table.Count; ++c)
            if (assigned[c] > 0) {
                r.EarlyDamage += assigned[c];
                r.EarlyMeleeDamage += assigned[c];
                ++r.EarlyAttackers;
                ++r.EarlyMeleeAttackers;
            }
        table.Assign(table.Total, assigned);
        for (int c = 0; c < table.Count; ++c)
            if (assigned[c] > 0) {
                r.RoundDamage += assigned[c];
                r.RoundMeleeDamage += assigned[c];
                ++r.RoundAttackers;
                ++r.RoundMeleeAttackers;
                approachSum += assigned[c];
                ++approachCount;
            }
    }

    // 7: a fighter with nobody in reach counts those it can walk up to.
    if (reachCount == 0 && xp.AttackMode == mFight && !HasBonus(s, n, eImmobility)) {
        const TCellMapInt& xm = ApproachMap(s, n, maps);
        const int32_t reach = HasBonus(s, n, bPike) ? 18 : 6;
        for (int32_t e = 1; e <= enemies; ++e) {
            if (!IsAssessedLiving(es, e))
                continue;
            const THexCell eCell = PersonageCell(es, e);
            THexCell last{0, 0};
            for (int32_t dir = 1; dir <= reach; ++dir) {
                THexCell c;
                if (!GetNeighbourCell(eCell, dir, c))
                    continue;
                const int32_t v = ReadCellMapInt(xm, c);
                if (v > 0 && v < MapFree)
                    last = c;
            }
            if (last.Column == 0)
                continue;
            const int32_t d = CalcAttackDamage(s, n, es, e, mFightGroup, last.Row, last.Column, 0, 0);
            if (d > 0) {
                ++reachCount;
                reachSum += d;
                if (GetHits(es, e) < d)
                    ++kills;
            }
        }
    }

    // 8: a caster also counts the allies its spells help.
    if (xp.AttackMode == mSpell)
        for (int32_t u = 1; u <= Sides[s].PersonageCount; ++u) {
            if (!IsAssessedLiving(s, u))
                continue;
            const int32_t d = CalcAttackDamage(s, n, s, u, mNone, 0, 0, 0, 0);
            if (d > 0) {
                ++reachCount;
                ++offenceCount;
                reachSum += d;
                offenceSum += d;
            }
        }

    // 9..15: the combat value.
    r.TargetCount = static_cast<int16_t>(reachCount);
    r.KillCount = static_cast<int16_t>(kills);
    if (offenceCount == 0)
        offenceCount = 1;
    if (reachCount == 0)
        reachCount = 1;
    if (approachSum > 0) {
        if (approachCount <= 1)
            incoming += maxApproach;
        else
            incoming += (approachSum - maxApproach) / (approachCount - 1) + maxApproach;
    }
    int64_t offence = RoundHalfEven(
        (static_cast<double>(offenceSum) / offenceCount + 3.0 * static_cast<double>(reachSum) / reachCount) / 4 *
        10000);
    const int64_t danger =
        RoundHalfEven((3.0 * static_cast<double>(incoming) + static_cast<double>(potential)) / 4 * 10000) + 10000;
    if (xp.AttackMode == mSpell && offence == 0 && !HasBonus(s, n, eInvulnerability)) {
        const int32_t k = GetPersonageStat(s, n, statByAttackMode);
        if (k > 0)
            offence = RoundHalfEven(k * std::sqrt(static_cast<double>(xp.Mana) / k) * 10000);
    }
    r.KillWorth = static_cast<uint16_t>(RoundHalfEven(static_cast<double>(offence) / 10000));
    const double q = static_cast<double>(hits) / (static_cast<double>(danger) / 10000);
    const int64_t w = RoundHalfEven(q * q * 10000);
    const int64_t w2 = RoundHalfEven(static_cast<double>(w) / (static_cast<double>(w) / 12036 + 0.17));
    r.Value = RoundHalfEven(static_cast<double>(offence) * static_cast<double>(w2) / 10000);
    SetAssessment(xp, withActor, r);
}

void TBattle::ActorValues(int32_t s, int32_t n, int32_t es, int32_t e, bool approach, bool withActor)
{
    TPersonage& ep = Personage(es, e);
    TThreatAssessment er = GetAssessment(ep, withActor);
    const TPersonage& xp = Personage(s, n);
    const bool differ = GetTurnPriority(es, e) != GetTurnPriority(s, n);
    if (CanCounterAny(es, e) && xp.ActionPointsLeft > 0 && differ) {
        if (!approach) {
            if (ep.Stance == pCounterSpear) {
                er.CounterDamageOnActor = CalcAttackDamage(es, e, s, n, mFightCounter, 0, 0, 0, 0);
                er.CounterOnActor = er.CounterDamageOnActor;
            }
        } else {
            er.CounterDamageOnActor = CalcAttackDamage(es, e, s, n, mFightCounter, 0, 0, 0, 0);
        }
    }
    if (approach) {
        if (ep.Stance == pCounterSpear)
            er.CounterOnActor = er.CounterDamageOnActor;
        else if (xp.InContact == 0)
            er.CounterOnActor = CalcAttackDamage(es, e, s, n, mFightRight, 0, 0, 0, 0);
    }
    if (CanCounterAny(s, n)) {
        er.ActorCounter = CalcAttackDamage(s, n, es, e, mFightCounter, 0, 0, 0, 0);
        if (xp.Stance == pCounterSpear)
            er.ActorCounterStance = er.ActorCounter;
        else if (approach)
            er.ActorCounterStance = CalcAttackDamage(s, n, es, e, mFightRight, 0, 0, 0, 0);
        er.LongReachLoss = ClampToInt32(static_cast<int64_t>(CalcAttackDamage(es, e, s, n, mNone, 0, 0, 0, 0)) -
                                        CalcAttackDamage(es, e, s, n, mFightLong, 0, 0, 0, 0));
    }
    if (HasBonus(es, e, BackStrike))
        er.BackStrikeOnActor = static_cast<int16_t>(CalcAttackDamage(es, e, s, n, mFightBack, 0, 0, 0, 0));
    if (HasBonus(es, e, eEvilProtect))
        er.BackStrikeOnActor = static_cast<int16_t>(CalcAttackDamage(es, e, s, n, mFightBack, 0, 0, 0, 0));
    if (HasBonus(es, e, pMagicRecoil))
        er.BackStrikeOnActor = static_cast<int16_t>(BV(pMagicRecoil));
    SetAssessment(ep, withActor, er);
}
