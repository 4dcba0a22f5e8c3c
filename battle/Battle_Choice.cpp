// The computer's decision for one personage: prepared actions of the
// player, potions, abilities, retreat, the melee approach, the strike
// target of fighters and shooters, and the spells of casters. For a
// player's personage the same routine computes the suggestion and the
// maps the battle screen shows.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "battle/Battle.h"
#include "battle/Battle_Rules.h"
#include "battle/Battle_Tables.h"
#include "model/ai/AIMain_Settings.h"
#include "model/personage/Personage_Rules.h"

namespace {

// Further strikes after the first to take health h with blows of d.
int32_t StrikesToKill(int32_t h, int32_t d)
{
    if (d < 1)
        return 8;
    const double v = static_cast<double>(h) / d - 0.000001;
    return v < 0 ? 0 : v > 1e6 ? 1000000 : static_cast<int32_t>(v);
}

THexCell NoCell()
{
    return THexCell{0, 0};
}

// The working state of one decision.
class TChoice {
public:
    TChoice(TBattle& battle, TBattleDecision& decision) : B(battle), D(decision) {}
    bool Run();

private:
    TBattle& B;
    TBattleDecision& D;
    int32_t Side = 0, N = 0, ES = 0, FS = 0;
    bool Sane = true;
    bool Player = false;
    bool HadTargets = false;
    TCellMapInt M{}, MA{};
    int32_t Approach = 0, Reach = 6;
    TCellMapByte Candidates{};
    bool Result = true;
    // The enemy healers' cures (spell, effect, power, mana), for the evil
    // eye; the last enemy that steals life (0 none).
    struct THealing {
        int32_t Spell, Effect, Power, Mana;
    };
    std::vector<THealing> Healers;
    int32_t LifeStealer = 0;

    TPersonage& Actor() { return B.Personage(Side, N); }
    TThreatAssessment As(int32_t side, int32_t n) const { return GetAssessment(B.Personage(side, n), false); }
    TThreatAssessment Mine() const { return As(Side, N); }
    THexCell Cell() const { return B.PersonageCell(Side, N); }
    bool IsOtherLiving(int32_t n, int32_t side) const
    {
        return B.Personage(side, n).Hits > 0 && !(side == Side && n == N);
    }
    int32_t Count(int32_t side) const { return std::min(B.Sides[side].PersonageCount, ArmySlotCount); }
    bool SetDecisionMode(uint8_t mode, int32_t value);
    void TargetFromMoveCell();
    void Wait();
    bool Stay();
    bool MoveTo(THexCell c);
    bool Prepared();
    bool Potions();
    bool Abilities();
    bool Retreat();
    bool Melee();
    THexCell CostScoring(TCellMapInt& S);
    THexCell SimpleScoring(TCellMapInt& S);
    bool StrikeTarget();
    bool Spells();
    int64_t ScoreTarget(int32_t slot, int32_t ts, int32_t tn, double dur, int64_t& lifeSteal, bool& poor);
    int64_t ScoreSummon(int32_t slot, THexCell c);
    int32_t FearLoss(int32_t side, int32_t n, bool integer) const;
    // The sum of BestHit of the personages of `lookup` on the neighbours of
    // (side, n) that pass the test.
    template <typename F> int64_t NeighbourBestHits(int32_t side, int32_t n, int32_t lookup, F test) const
    {
        int64_t v = 0;
        const THexCell c = B.PersonageCell(side, n);
        for (int32_t d = 1; d <= 6; ++d) {
            THexCell k;
            if (!StepHexCell(c.Row, c.Column, d, k) || !B.IsCellOfSide(side, k, 0, mEnemy))
                continue;
            const int32_t o = std::abs(ReadCellMapInt(B.Cells, k));
            if (o >= 1 && o <= ArmySlotCount && test(lookup, o))
                v += As(lookup, o).BestHit;
        }
        return v;
    }
    bool Levitate(THexCell best);
    bool EnergyBursts(const TCellMapInt (&scores)[8], const TCellMapByte& poor);
    // Whether fear still reaches the personage.
    bool CanBeScared(int32_t side, int32_t n) const
    {
        return B.Personage(side, n).Fear == 0 && !B.HasBonus(side, n, Fearless) && !B.HasBonus(side, n, eCourage) &&
               !B.HasBonus(side, n, pFearless);
    }
};

bool TChoice::SetDecisionMode(uint8_t mode, int32_t value)
{
    D.Mode = mode;
    switch (mode) {
    case mSkip:
        D.AutoSkip = Actor().AttackMode == mSpell && HadTargets ? 0 : 1;
        break;
    case mMove:
    case mMoveTo:
        D.TargetMark = static_cast<uint8_t>(value);
        break;
    case mAction:
        D.AbilityIndex = value;
        D.AutoSkip = 0;
        break;
    case mPotion:
        D.ItemIndex = value;
        D.AutoSkip = 0;
        break;
    default:
        break;
    }
    Result = mode != mError;
    return Result;
}

void TChoice::TargetFromMoveCell()
{
    const int32_t v = ReadCellMapInt(B.Cells, D.MoveCell);
    D.TargetSide = v > 0 ? 1 : v < 0 ? 2 : 0;
    D.TargetSlot = std::abs(v);
}

// Nothing to do: a wait, or a skip after a wait.
void TChoice::Wait()
{
    SetDecisionMode(Actor().Waited != 0 ? mSkip : mWait, 0);
    D.TargetSide = 0;
    D.TargetSlot = 0;
}

bool TChoice::Stay()
{
    const THexCell move = D.MoveCell;
    if (move.Column < 1) {
        Wait();
        Actor().Stance = 0;
    } else {
        TargetFromMoveCell();
        SetDecisionMode(ReadCellMapByte(B.TargetMap, move), 0);
    }
    if (Player && B.SlotState(Side, N).Target == 0 && Sane)
        D.WaitForPlayer = 1;
    return Result;
}

bool TChoice::MoveTo(THexCell c)
{
    if (c.Column < 1) {
        Wait();
        if (Player && Sane)
            D.WaitForPlayer = 1;
        return Result;
    }
    D.ClickCell = c;
    // The first step of the path; a cell with no nearer neighbour gives no
    // step at all.
    const THexCell move = StepTowardStart(MA, c);
    if (move.Column == 0) {
        Wait();
        return Result;
    }
    D.MoveCell = move;
    if (Player && B.SlotState(Side, N).Target == 0 && Sane) {
        D.WaitForPlayer = 1;
        for (int32_t x = 1; x <= Count(ES); ++x) {
            if (!IsOtherLiving(x, ES))
                continue;
            const THexCell xc = B.PersonageCell(ES, x);
            bool reaches = false;
            for (int32_t d = 1; d <= Reach && !reaches; ++d) {
                THexCell k;
                reaches = B.GetNeighbourCell(xc, d, k) && ReadCellMapByte(Candidates, k) != 0;
            }
            if (!reaches)
                WriteCellMapByte(B.TargetMap, xc, 0);
        }
    }
    SetDecisionMode(IsSameHexCell(move, c) ? mMoveTo : mMove, 0);
    D.TargetMark = Actor().RoundSteps == 0 ? static_cast<uint8_t>(Approach) : 0;
    return Result;
}

bool TChoice::Prepared()
{
    TBattleSlotState& st = B.SlotState(Side, N);
    const THexCell click = st.ClickCell;
    if (st.Mode == mMove && click.Column > 0) {
        Result = B.DecideFromClick(MA, click, D);
        return true;
    }
    if (st.Mode == mSkip || st.Mode == mWait || st.Mode == mAction || st.Mode == mPotion) {
        D.Mode = st.Mode;
        D.AbilityIndex = st.AbilityIndex;
        D.ItemIndex = st.ItemIndex;
        Result = true;
        return true;
    }
    if (st.Mode == 0)
        return false;
    const int32_t t = st.Target;
    if (t != 0) {
        D.TargetSide = t > 0 ? Side : 3 - Side;
        D.TargetSlot = std::abs(t);
        D.MoveCell = B.PersonageCell(D.TargetSide, D.TargetSlot);
        D.SpellSlot = st.SpellSlot;
    }
    if (click.Column < 1 || IsSameHexCell(click, Cell())) {
        switch (Actor().AttackMode) {
        case mFight:
            SetDecisionMode(mFight, 0);
            break;
        case mShoot:
            SetDecisionMode(mShoot, 0);
            break;
        case mSpell: {
            B.MarkSpellTargets(Side, N, D.SpellSlot);
            const THexCell mc = D.MoveCell;
            SetDecisionMode(ReadCellMapByte(B.TargetMap, mc), 0);
            break;
        }
        default:
            Result = false;
            break;
        }
        return true;
    }
    TCellMapInt map;
    B.BuildDistanceMap(0, 0, map, Cell(), click);
    const THexCell own = Cell();
    const int32_t ownValue = ReadCellMapInt(map, own);
    THexCell best{0, 0};
    int32_t bestValue = ownValue;
    for (int32_t d = 1; d <= 6; ++d) {
        THexCell k;
        if (StepHexCell(own.Row, own.Column, d, k) && ReadCellMapInt(map, k) < bestValue) {
            bestValue = ReadCellMapInt(map, k);
            best = k;
        }
    }
    D.TargetSide = 0;
    D.TargetSlot = 0;
    if (best.Column == 0) {
        // No neighbour leads there: nothing to walk.
        D.MoveCell = NoCell();
        Wait();
        return true;
    }
    D.MoveCell = best;
    D.Mode = IsSameHexCell(best, click) ? mMoveTo : mMove;
    Result = true;
    return true;
}

bool TChoice::Potions()
{
    TPersonage& p = Actor();
    if (Player || p.BeltPotionCount <= 0 || p.RoundSteps != 0 || !Sane)
        return false;
    const float mult = B.Personage(Side, 1).BonusSet.Has(tAlchemy) ? 1 + BV(tAlchemy) / 100.0f : 1.0f;
    const TThreatAssessment a = Mine();
    const float value = static_cast<float>(a.Value) / 10000;
    const int32_t tr = B.TestRounds;
    const int32_t hits = p.Hits;
    float best = 0;
    int32_t chosen = 0;
    for (int32_t j = 1; j <= std::min<int32_t>(p.BeltPotionCount, 4); ++j) {
        const int32_t k = p.BeltPotionSlots[j];
        if (k < 1 || k > 2)
            continue;
        const TItems* item = FindItem(p.Equipment[8 + k]);
        if (item == nullptr)
            continue;
        float s = 0;
        const float h = item->dHit * mult;
        if (h > 0 && hits < a.RoundDamage && a.RoundDamage < hits + h) {
            s = std::min(h, static_cast<float>(p.Stats[statHits] - hits)) - value / 2;
            if (p.AttackMode == mFight && a.KillCount != 0) {
                const int32_t r = a.RoundMeleeAttackers;
                if (r < 2 || (a.RoundMeleeDamage / r) * (r - 1) < hits)
                    s = 0;
            }
        }
        if (a.RoundDamage < hits) {
            const float blow = item->Abs[statAttackBlow] * mult, shot = item->Abs[statAttackShot] * mult;
            const float def = item->Abs[statDefense] * mult, prot = item->Abs[statProtect] * mult;
            const bool blessed = item->Bonus[3] == BlessedWeapon || item->Bonus[4] == BlessedWeapon;
            if (a.MetImmune != 0 && blessed)
                s += static_cast<float>(tr - B.Round - 1) * BV(BlessedWeapon);
            if (B.Round == 0) {
                if (p.AttackMode == mFight && value < (tr - 1) * blow)
                    s += (tr - 1) * blow - value;
                if (p.AttackMode == mShoot) {
                    if (value < (tr - 1) * shot)
                        s += (tr - 1) * shot - value;
                    if (p.BonusSet.Has(eDarkness) && (item->Bonus[3] == NightFight || item->Bonus[4] == NightFight))
                        s += (tr - 1) * value * 3 * BV(eDarkness) / 100 - value;
                }
                const bool shots = a.RoundDamage * 0.5 >= a.RoundMeleeDamage;
                const float need = shots ? prot : def;
                const float q = shots ? 1.5f * prot + def : 1.5f * def + prot;
                if (value < (tr - 1) * need)
                    s += (tr - 1) * q - value;
            }
        }
        if (s > best) {
            best = s;
            chosen = j;
        }
    }
    if (chosen == 0)
        return false;
    SetDecisionMode(mPotion, chosen);
    return true;
}

bool TChoice::Abilities()
{
    TPersonage& p = Actor();
    if (Player || B.Sides[Side].BattleAction == 0 || p.RoundSteps != 0 || p.Stance != 0 || p.AbilityCount <= 0 || !Sane)
        return false;
    const TThreatAssessment a = Mine();
    const THexCell own = Cell();
    auto adjacent = [&](int32_t kind, auto fn) {
        for (int32_t d = 1; d <= 6; ++d) {
            THexCell k;
            if (!StepHexCell(own.Row, own.Column, d, k) || !B.IsCellOfSide(Side, k, 0, kind))
                continue;
            const int32_t v = ReadCellMapInt(B.Cells, k);
            fn(v > 0 ? 1 : 2, std::abs(v));
        }
    };
    for (int32_t i = 1; i <= std::min<int32_t>(p.AbilityCount, 6); ++i) {
        bool chosen = false;
        switch (p.Abilities[i]) {
        case bQuake: {
            int64_t sum = 0, largest = 0;
            adjacent(mEnemy, [&](int32_t s, int32_t n) {
                sum += B.GetPersonageStat(s, n, statDefense) * BV(bQuake) / 100;
                largest = std::max<int64_t>(largest, B.CalcAttackDamage(Side, N, s, n, mNone, 0, 0, 0, 0));
            });
            chosen = sum > largest;
            break;
        }
        case pCounterSpear: {
            int64_t gain = a.BestHit, loss = 0;
            for (int32_t x = 1; x <= Count(ES); ++x) {
                if (!IsOtherLiving(x, ES))
                    continue;
                const TThreatAssessment e = As(ES, x);
                gain += e.ActorCounterStance;
                if (B.Personage(ES, x).Hits < e.ActorDamage)
                    gain += e.KillWorth;
                loss += static_cast<int64_t>(e.ActorCounter) + e.LongReachLoss;
            }
            chosen = a.RoundDamage - a.RoundMeleeDamage < p.Hits && loss >= gain;
            break;
        }
        case pPowerfulStrike:
        case tPowerfulPunch: {
            const int64_t cost =
                static_cast<int64_t>(p.Stats[statProtect] * BV(eAttackPos) / 100 + 1) *
                    (a.RoundAttackers - a.RoundMeleeAttackers) +
                static_cast<int64_t>(p.Stats[statDefense] * BV(eAttackPos) / 100 + 1) * a.RoundMeleeAttackers;
            if (a.RoundDamage + cost >= p.Hits || (B.WeaponBonus(Side, N) == bLance && Approach > 0))
                break;
            for (int32_t x = 1; x <= Count(ES) && !chosen; ++x) {
                if (!IsOtherLiving(x, ES))
                    continue;
                const TThreatAssessment e = As(ES, x);
                const int32_t h = B.Personage(ES, x).Hits;
                if (e.ActorDamage <= 0 || static_cast<int64_t>(e.EarlyDamage) + e.ActorDamage >= h)
                    continue;
                const int64_t bar = static_cast<int64_t>(a.BestHit) + a.KillWorth -
                                    (B.Personage(ES, x).AttackMode == mShoot ? e.KillWorth : 0);
                chosen = B.CalcAttackDamage(Side, N, ES, x, mShootSlow, 0, 0, 0, 0) > bar;
            }
            break;
        }
        case pAimedShot: {
            if (a.RoundDamage >= p.Hits)
                break;
            chosen = true;
            for (int32_t x = 1; x <= Count(ES); ++x) {
                if (!IsOtherLiving(x, ES))
                    continue;
                const int32_t q = B.CalcAttackDamage(Side, N, ES, x, mShoot, 0, 0, 0, 0);
                if (q < a.BestHit && q < static_cast<int64_t>(p.RoundActionPoints) * MinDamage * 4 &&
                    B.Personage(ES, x).Hits < As(ES, x).ActorDamage)
                    chosen = false;
            }
            break;
        }
        case pParry:
            chosen = a.RoundMeleeDamage >= p.Hits &&
                     (100 - BV(eParryPos)) * static_cast<int64_t>(a.RoundMeleeDamage) / 100 < p.Hits;
            break;
        case pCover: {
            const int64_t cover = static_cast<int64_t>(p.Stats[statDefense]) * BV(eCoverPos) / 100;
            int64_t sum = 0;
            adjacent(mAlly, [&](int32_t s, int32_t n) {
                const TThreatAssessment e = As(s, n);
                const int32_t h = B.Personage(s, n).Hits;
                if (e.EarlyMeleeDamage >= h && e.EarlyMeleeDamage - e.EarlyMeleeAttackers * cover < h)
                    sum += e.Value;
                if (e.RoundMeleeDamage >= h && e.RoundMeleeDamage - e.RoundMeleeAttackers * cover < h)
                    sum += e.Value;
            });
            chosen = sum > a.Value;
            break;
        }
        case pDefense: {
            chosen = a.BestHit < a.EarlyDamage;
            for (int32_t x = 1; x <= Count(ES); ++x)
                if (IsOtherLiving(x, ES)) {
                    const int32_t h = B.Personage(ES, x).Hits;
                    if (h > 0 && h < As(ES, x).ActorDamage)
                        chosen = false;
                }
            break;
        }
        case pSuppressionWill: {
            int64_t sum = 0;
            adjacent(mEnemy, [&](int32_t s, int32_t n) {
                const int64_t v = BV(pSuppressionWill) - B.GetPersonageStat(s, n, statWill);
                if (v > 0)
                    sum += v;
            });
            chosen = sum >= 1;
            break;
        }
        default:
            break;
        }
        if (chosen) {
            SetDecisionMode(mAction, i);
            return true;
        }
    }
    return false;
}

bool TChoice::Retreat()
{
    TPersonage& p = Actor();
    if (p.RoundSteps == 0)
        B.UpdateContact(Side, N);
    if (!UseRetreat || !Sane || p.InContact == 0 || p.RoundSteps != 0 ||
        HoldsAny(p.BonusSet, {ThePhantom, TheUndead, bUndead, bVampire}))
        return false;
    TCellMapInt& R = M;
    for (int32_t x = 1; x <= Count(ES); ++x) {
        if (!IsOtherLiving(x, ES))
            continue;
        const THexCell xc = B.PersonageCell(ES, x);
        for (int32_t d = 1; d <= 6; ++d) {
            THexCell k;
            if (StepHexCell(xc.Row, xc.Column, d, k) && ReadCellMapInt(R, k) < MapFree)
                WriteCellMapInt(R, k, MapFree);
        }
    }
    const THexCell own = Cell();
    WriteCellMapInt(R, own, 0);
    B.PruneUnlinkedCells(R);
    for (int32_t row = HexRowMin; row <= HexRowMax; ++row)
        for (int32_t col = HexColumnMin; col <= HexColumnMax; ++col)
            if (IsHexCellOnField(row, col, 0) && (Side == 1 ? row > own.Row : row < own.Row))
                WriteCellMapInt(R, {row, col}, MapFree);
    if (MaxCellMapDistance(R) == 0)
        return false;
    TCellMapInt T1{}, T2{};
    int32_t nm = 0;
    for (int32_t x = 1; x <= Count(ES); ++x) {
        if (!IsOtherLiving(x, ES) || B.Personage(ES, x).AttackMode != mFight)
            continue;
        ++nm;
        T1.fill(0);
        TCellMapInt xm;
        B.BuildDistanceMapFreeing(ES, x, xm, own);
        const int32_t r = B.BuildAttackApproachMap(ES, x, false, own, xm);
        const int32_t u = B.CalcAttackDamage(ES, x, Side, N, mMoveTo, own.Row, own.Column, 0, 0);
        for (int32_t row = HexRowMin; row <= HexRowMax; ++row)
            for (int32_t col = HexColumnMin; col <= HexColumnMax; ++col) {
                const THexCell c{row, col};
                if (!IsHexCellOnField(row, col, 0) || ReadCellMapInt(xm, c) > r)
                    continue;
                if (ReadCellMapInt(R, c) < MapFree)
                    WriteCellMapInt(T1, c, u);
                for (int32_t d = 1; d <= 6; ++d) {
                    THexCell k;
                    if (StepHexCell(row, col, d, k) && ReadCellMapInt(R, k) < MapFree)
                        WriteCellMapInt(T1, k, u);
                }
            }
        for (int i = 0; i < CellMapSize; ++i)
            if (T1[i] > 0)
                T2[i] += T1[i];
    }
    for (int32_t row = HexRowMin; row <= HexRowMax; ++row)
        for (int32_t col = HexColumnMin; col <= HexColumnMax; ++col) {
            const THexCell c{row, col};
            if (!IsHexCellOnField(row, col, 0) || ReadCellMapInt(R, c) >= MapFree)
                continue;
            for (int32_t x = 1; x <= Count(ES); ++x)
                if (IsOtherLiving(x, ES) && B.Personage(ES, x).AttackMode == mShoot)
                    AddCellMapInt(T2, c, B.CalcAttackDamage(ES, x, Side, N, mFight, row, col, own.Row, own.Column));
        }
    for (int i = 0; i < CellMapSize; ++i)
        T2[i] = R[i] < 2 ? T2[i] + 1 : 0;
    const THexCell second = FindLowestCell(T2);
    D.SecondCell = second;
    if (second.Column <= 0 || Player || ReadCellMapInt(T2, own) == ReadCellMapInt(T2, second))
        return false;
    const TThreatAssessment a = Mine();
    uint8_t mode = 0;
    if (p.AttackMode == mShoot) {
        for (int32_t d = 1; d <= 6; ++d) {
            THexCell k;
            if (!StepHexCell(own.Row, own.Column, d, k) || !B.IsCellOfSide(Side, k, mFight, mEnemy))
                continue;
            const int32_t x = std::abs(ReadCellMapInt(B.Cells, k));
            const TThreatAssessment e = As(ES, x);
            if (e.ActorDamage == 0 || static_cast<int64_t>(e.ActorDamage) + e.EarlyDamage < B.Personage(ES, x).Hits)
                mode = mRetreat;
        }
    } else if (p.AttackMode == mSpell) {
        if (a.EarlyDamage < p.Hits)
            mode = mRetreat;
    } else if (p.AttackMode == mFight) {
        if (p.Hits < a.RoundMeleeDamage && ReadCellMapInt(T2, second) == 1 && nm > 2) {
            mode = mRetreat;
            for (int32_t d = 1; d <= 6; ++d) {
                THexCell k;
                if (!StepHexCell(own.Row, own.Column, d, k) || !B.IsCellOfSide(Side, k, mFight, mEnemy))
                    continue;
                const int32_t x = std::abs(ReadCellMapInt(B.Cells, k));
                if (B.Personage(ES, x).Hits < As(ES, x).ActorDamage)
                    mode = mError;
            }
        }
    }
    // A fighter that could kill a neighbour holds its ground.
    if (mode != mRetreat)
        return false;
    D.MoveCell = second;
    SetDecisionMode(mRetreat, 0);
    return true;
}

THexCell TChoice::CostScoring(TCellMapInt& S)
{
    const TPersonage& p = Actor();
    const THexCell own = Cell();
    S.fill(0);
    TCellMapInt Dm{};
    for (int32_t row = HexRowMin; row <= HexRowMax; ++row)
        for (int32_t col = HexColumnMin; col <= HexColumnMax; ++col) {
            const THexCell K{row, col};
            if (ReadCellMapByte(Candidates, K) == 0)
                continue;
            int64_t threat[ArmySlotCount + 1]{}, cost[ArmySlotCount + 1]{};
            int64_t dk = 0;
            bool strikable[ArmySlotCount + 1]{};
            for (int32_t x = 1; x <= Count(ES); ++x) {
                if (!IsOtherLiving(x, ES))
                    continue;
                const TPersonage& xp = B.Personage(ES, x);
                auto threatOf = [&]() {
                    int64_t u = B.CalcAttackDamage(ES, x, Side, N, mFight, K.Row, K.Column, own.Row, own.Column);
                    if (B.HasBonus(ES, x, eImmobility) && xp.InContact == 0)
                        u /= 2;
                    if (B.HasBonus(ES, x, eInsanity))
                        u = 0;
                    return u;
                };
                const THexCell xc = B.PersonageCell(ES, x);
                if (B.CanAttackFromCell(Side, N, xc, K)) {
                    strikable[x] = true;
                    threat[x] = std::max(threat[x], threatOf());
                    WriteCellMapByte(B.TargetMap, xc, mFight);
                }
                if (B.CanAttackCell(ES, x, K)) {
                    const int64_t u = threatOf();
                    threat[x] = std::max(threat[x], u);
                    dk += u;
                }
                if (B.CanCounter(ES, x, K)) {
                    const int64_t v = B.CalcAttackDamage(ES, x, Side, N, mFightRight, 0, 0, 0, 0);
                    dk += v;
                    if (p.Hits < v)
                        dk += 10 * v;
                }
            }
            for (int32_t x = 1; x <= Count(ES); ++x) {
                if (!strikable[x])
                    continue;
                const TPersonage& xp = B.Personage(ES, x);
                const int32_t d = B.CalcAttackDamage(Side, N, ES, x, mFightGroup, K.Row, K.Column, 0, 0);
                const int32_t a = StrikesToKill(xp.Hits, d);
                int32_t c = std::min(a, 8);
                if (c == 0)
                    dk -= threat[x];
                const int32_t pc =
                    B.HasBonus(ES, x, eInsanity) ? std::min<int32_t>(B.SlotState(ES, x).Countdown, c) : 0;
                if (B.CanCounter(ES, x, K) && p.Hits < B.CalcAttackDamage(ES, x, Side, N, mFightRight, 0, 0, 0, 0))
                    c = 16;
                cost[x] += (c - pc) * threat[x];
                int64_t extra = 0;
                for (int32_t o = 1; o <= Count(ES); ++o) {
                    if (o == x || threat[o] <= 0 || !IsOtherLiving(o, ES) ||
                        ReadCellMapByte(B.TargetMap, B.PersonageCell(ES, o)) != mFight)
                        continue;
                    if (a > 7) {
                        extra += 9 * threat[o];
                        continue;
                    }
                    const int32_t dn = B.CalcAttackDamage(Side, N, ES, o, mFightGroup, K.Row, K.Column, 0, 0);
                    const int32_t l = dn < 1 ? 8 - c : std::min(8 - c, StrikesToKill(B.Personage(ES, o).Hits, dn));
                    const int32_t pn =
                        B.HasBonus(ES, o, eInsanity) ? std::min<int32_t>(B.SlotState(ES, o).Countdown, l) : 0;
                    extra += static_cast<int64_t>(c + l - pn + 1) * threat[o];
                }
                cost[x] += extra;
                if ((c - pc + 1) * threat[x] + extra > 0 && cost[x] == 0)
                    cost[x] = 1;
            }
            int64_t least = 100000;
            for (int32_t x = 1; x <= ArmySlotCount; ++x)
                if (cost[x] > 0 && cost[x] < least)
                    least = cost[x];
            WriteCellMapInt(Dm, K, ClampToInt32(dk));
            if (least >= 1 && least < 100000)
                WriteCellMapInt(S, K, ClampToInt32(least + dk));
        }
    if (!Sane)
        WriteCellMapInt(S, own, 0);
    return FindLowestCell(S);
}

THexCell TChoice::SimpleScoring(TCellMapInt& S)
{
    const TPersonage& p = Actor();
    const THexCell own = Cell();
    TCellMapInt SS{}, BS{}, SP{}, PK{}, KS{}, Dm{};
    const bool pike = p.BonusSet.Has(bPike);
    for (int32_t x = 1; x <= Count(ES); ++x) {
        if (!IsOtherLiving(x, ES))
            continue;
        const TPersonage& xp = B.Personage(ES, x);
        const THexCell xc = B.PersonageCell(ES, x);
        bool s = false;
        for (int32_t d = 1; d <= Reach; ++d) {
            THexCell K;
            if (!B.GetNeighbourCell(xc, d, K) || ReadCellMapByte(Candidates, K) == 0)
                continue;
            const int32_t m = B.CalcAttackDamage(Side, N, ES, x, mNone, 0, 0, 0, 0);
            AddCellMapInt(SS, K, m);
            WriteCellMapInt(BS, K, std::max(ReadCellMapInt(BS, K), m));
            if (B.Sides[Side].BattleKillTarget != 0) {
                const int32_t k = B.CalcAttackDamage(Side, N, ES, x, mMove, 0, 0, 0, 0);
                s = k > 0;
                AddCellMapInt(KS, K, k);
            }
            if (pike && GetHexDistance(K, xc) == 2 && xp.AttackMode == mFight && !B.HasBonus(ES, x, bPike)) {
                AddCellMapInt(SP, K, B.GetPersonageStat(ES, x, statByAttackMode));
                AddCellMapInt(PK, K, 1);
            }
            WriteCellMapByte(B.TargetMap, xc, mFight);
        }
        if (!Sane)
            continue;
        if (xp.AttackMode == mFight) {
            if (s || B.HasBonus(ES, x, eInsanity))
                continue;
            const int32_t xr = B.HasBonus(ES, x, bPike) ? 18 : 6;
            for (int32_t d = 1; d <= xr; ++d) {
                THexCell K;
                if (B.GetNeighbourCell(xc, d, K) && ReadCellMapByte(Candidates, K) != 0)
                    AddCellMapInt(Dm, K, B.CalcAttackDamage(ES, x, Side, N, mNone, 0, 0, 0, 0));
            }
        } else if (xp.AttackMode == mShoot && !s) {
            for (int i = 0; i < CellMapSize; ++i)
                if (Candidates[i] != 0) {
                    const THexCell c = CellMapCell(i);
                    Dm[i] += B.CalcAttackDamage(ES, x, Side, N, mFight, c.Row, c.Column, own.Row, own.Column);
                }
        }
    }
    for (int32_t o = 1; o <= Count(Side); ++o) {
        if (!IsOtherLiving(o, Side))
            continue;
        const TPersonage& op = B.Personage(Side, o);
        const bool helper = op.AttackMode != mFight;
        const bool pikeHelp = pike && op.AttackMode == mFight && op.InContact != 0;
        if (!helper && !pikeHelp)
            continue;
        const THexCell oc = B.PersonageCell(Side, o);
        for (int32_t d = 1; d <= 6; ++d) {
            THexCell K;
            if (!StepHexCell(oc.Row, oc.Column, d, K) || ReadCellMapByte(Candidates, K) == 0)
                continue;
            if (helper || ReadCellMapInt(PK, K) > 0)
                AddCellMapInt(SP, K, ReadCellMapInt(BS, K));
        }
    }
    S.fill(0);
    const int64_t base = static_cast<int64_t>(B.GetPersonageStat(Side, N, statDefense)) + p.Hits;
    for (int i = 0; i < CellMapSize; ++i) {
        if (SS[i] < 1)
            continue;
        const int64_t v = base + KS[i] + SS[i] + SP[i] - Dm[i];
        S[i] = v < 0 ? 1 : ClampToInt32(v);
    }
    if (!Sane)
        WriteCellMapInt(S, own, 0);
    return FindHighestCell(S);
}

bool TChoice::Melee()
{
    const TPersonage& p = Actor();
    const THexCell own = Cell();
    bool advance = Approach >= 1 && Approach != NoApproach;
    if (!p.BonusSet.Has(tBugurtVeteran))
        for (int32_t d = 1; d <= Reach; ++d) {
            THexCell k;
            if (B.GetNeighbourCell(own, d, k) && B.IsCellOfSideFor(Side, N, 0, mEnemy, k)) {
                advance = false;
                WriteCellMapByte(B.TargetMap, k, mFight);
                WriteCellMapByte(B.TargetMap, own, mPoint);
            }
        }
    if (p.BonusSet.Has(eImmobility))
        advance = false;
    if (!advance)
        return StrikeTarget();
    Candidates.fill(0);
    if (p.BonusSet.Has(tBugurtVeteran)) {
        for (int32_t x = 1; x <= Count(ES); ++x) {
            if (!IsOtherLiving(x, ES))
                continue;
            for (int32_t d = 1; d <= Reach; ++d) {
                THexCell k;
                if (B.GetNeighbourCell(B.PersonageCell(ES, x), d, k) && ReadCellMapInt(MA, k) < MapFree)
                    WriteCellMapByte(Candidates, k, 1);
            }
        }
    } else {
        for (int i = 0; i < CellMapSize; ++i)
            if (MA[i] == Approach)
                Candidates[i] = 1;
    }
    for (int i = 0; i < CellMapSize; ++i)
        if (Candidates[i] != 0)
            B.TargetMap[i] = mPoint;
    TCellMapInt S{};
    THexCell c{0, 0};
    if (B.Sides[Side].AIFlag != 0 && Sane)
        c = CostScoring(S);
    if (c.Column == 0)
        c = SimpleScoring(S);
    B.MoveMap = S;
    if (IsSameHexCell(c, own))
        return StrikeTarget();
    return MoveTo(c);
}

bool TChoice::StrikeTarget()
{
    TPersonage& p = Actor();
    const THexCell own = Cell();
    const TThreatAssessment me = Mine();
    TCellMapInt S{};
    THexCell chosen{0, 0};
    if (B.Sides[Side].AIFlag != 0 && Sane) {
        int64_t threat[ArmySlotCount + 1]{};
        int32_t count = 0;
        for (int32_t x = 1; x <= Count(ES); ++x)
            if (IsOtherLiving(x, ES) && B.CanAttackPersonage(Side, N, ES, x)) {
                threat[x] = As(ES, x).BestHit;
                ++count;
                WriteCellMapByte(B.TargetMap, B.PersonageCell(ES, x), p.AttackMode);
            }
        int64_t o[ArmySlotCount + 1]{}, u[ArmySlotCount + 1]{};
        bool candidate[ArmySlotCount + 1]{};
        int64_t U = 0;
        for (int32_t x = 1; x <= ArmySlotCount; ++x) {
            if (threat[x] <= 0)
                continue;
            const TThreatAssessment e = As(ES, x);
            const THexCell xc = B.PersonageCell(ES, x);
            const int32_t h = B.Personage(ES, x).Hits;
            const int32_t d = B.CalcAttackDamage(Side, N, ES, x, mNone, 0, 0, 0, 0);
            if (d < 1) {
                WriteCellMapByte(B.TargetMap, xc, 0);
                continue;
            }
            const int32_t a = StrikesToKill(h, d);
            const int32_t c = std::min(a, 8);
            o[x] = threat[x] * c;
            if (p.RoundSteps > 0 && B.CanCounterAny(ES, x))
                o[x] += B.CalcAttackDamage(ES, x, Side, N, mFightRight, 0, 0, 0, 0);
            u[x] = (c + 1) * threat[x];
            for (int32_t o2 = 1; o2 <= ArmySlotCount; ++o2) {
                if (o2 == x || threat[o2] <= 0)
                    continue;
                if (a > 7) {
                    o[x] += 9 * threat[o2];
                    u[x] += 9 * threat[o2];
                    continue;
                }
                const int32_t dn = B.CalcAttackDamage(Side, N, ES, o2, mNone, 0, 0, 0, 0);
                if (dn > 0) {
                    const int32_t l = std::min(8 - c, StrikesToKill(B.Personage(ES, o2).Hits, dn));
                    o[x] += (c + l + 1) * threat[o2];
                    u[x] += (c + l + 1) * threat[o2];
                }
            }
            candidate[x] = count == 1 || (o[x] < 2000 && (e.EarlyDamage < h || e.EarlyAttackers > 1) &&
                                          (me.KillWorth * 0.5 < h || e.EarlyDamage < h));
            if (candidate[x])
                U = std::max(U, u[x]);
        }
        int32_t minE = 10000, minR = 10000;
        for (int32_t x = 1; x <= ArmySlotCount; ++x)
            if (threat[x] > 0) {
                const TThreatAssessment e = As(ES, x);
                minE = std::min(minE, e.EarlyDamage);
                minR = std::min(minR, e.RoundDamage);
            }
        for (int32_t x = 1; x <= ArmySlotCount; ++x) {
            if (!candidate[x])
                continue;
            const TThreatAssessment e = As(ES, x);
            int64_t v = U - o[x];
            if (v > 0) {
                if (minE < e.EarlyDamage)
                    ++v;
                if (minR < e.RoundDamage)
                    ++v;
            }
            WriteCellMapInt(S, B.PersonageCell(ES, x), ClampToInt32(v));
        }
        if (!Sane)
            WriteCellMapInt(S, own, 0);
        chosen = FindHighestCell(S);
    }
    if (chosen.Column == 0) {
        S.fill(0);
        const bool kill = B.Sides[Side].BattleKillTarget != 0;
        const bool aiFlag = B.Sides[Side].AIFlag != 0;
        for (int32_t x = 1; x <= Count(ES); ++x) {
            if (!IsOtherLiving(x, ES) || !B.CanAttackPersonage(Side, N, ES, x))
                continue;
            const TThreatAssessment e = As(ES, x);
            const THexCell xc = B.PersonageCell(ES, x);
            const int32_t h = B.Personage(ES, x).Hits;
            const int64_t m = B.CalcAttackDamage(Side, N, ES, x, mMoveTo, xc.Row, xc.Column, 0, 0);
            int64_t k = B.CalcAttackDamage(Side, N, ES, x, mMove, 0, 0, 0, 0);
            int64_t ss = m;
            int64_t ks = kill && k > 0 ? k : 0;
            if (h < e.RoundDamage)
                ks += e.KillWorth >> 2;
            else if (h < 2 * static_cast<int64_t>(e.RoundDamage))
                ks += e.KillWorth >> 3;
            if (e.EarlyDamage < h || !aiFlag) {
                ss += m;
                if (k == 0 && e.EarlyDamage < h && h < e.EarlyDamage + m)
                    k = e.KillWorth;
                ks += k;
            }
            int64_t v = ss + ks;
            WriteCellMapByte(B.TargetMap, xc, p.AttackMode);
            if (v == 0 && HoldsAny(B.Personage(ES, x).BonusSet, {ThePhantom, pLifesteal, bInvincible}))
                v = 1;
            WriteCellMapInt(S, xc, ClampToInt32(v));
        }
        if (!Sane)
            WriteCellMapInt(S, own, 0);
        chosen = FindHighestCell(S);
    }
    D.MoveCell = chosen;
    return Stay();
}

int32_t TChoice::FearLoss(int32_t side, int32_t n, bool integer) const
{
    const TPersonage& p = B.Personage(side, n);
    const int64_t f = static_cast<int64_t>(BV(eFear)) * 6;
    auto part = [&](int32_t stat) {
        return integer ? f * stat / 100 : static_cast<int64_t>(Round32(static_cast<double>(f) * stat / 100));
    };
    switch (p.AttackMode) {
    case mFight:
        return ClampToInt32(part(p.Stats[statAttackBlow]));
    case mShoot:
        return ClampToInt32(part(p.Stats[statAttackShot]));
    case mSpell: {
        const int64_t x = part(p.Stats[statMagicPower]);
        return p.Stats[statMagicPower] - x < p.Mana ? ClampToInt32(p.Mana + x - p.Stats[statMagicPower]) : 0;
    }
    default:
        return 0;
    }
}

int64_t TChoice::ScoreSummon(int32_t slot, THexCell c)
{
    const TPersonage& p = Actor();
    const TSpell* spell = FindSpell(p.Spells[slot].Spell);
    if (!SpellHasEffect(spell, eSummonGhost))
        return 0;
    const int32_t school = p.MagicSchool - 1;
    const int32_t ghost =
        school >= 0 && school < static_cast<int32_t>(SummonGhostIndex.size()) ? SummonGhostIndex[school] : 0;
    const TPersonage* g = ghost >= 1 && ghost <= UnitTypeCount ? &UnitTypes[ghost] : nullptr;
    int64_t w = 0, best = 0;
    for (int32_t d = 1; d <= 6; ++d) {
        THexCell k;
        if (!StepHexCell(c.Row, c.Column, d, k))
            continue;
        const int32_t v = ReadCellMapInt(B.Cells, k);
        if (v == 0)
            continue;
        const int32_t ks = v > 0 ? 1 : 2, kn = std::abs(v);
        if (B.Personage(ks, kn).Hits <= 0)
            continue;
        const int64_t kw = As(ks, kn).KillWorth;
        if (ks != Side) {
            if (CanBeScared(ks, kn))
                w += kw * FearLoss(ks, kn, false) * 3;
            if (g != nullptr && g->MagicSchool < MagicSchoolCount) {
                int64_t q = 0;
                const TSchoolSpells& list = SchoolSpells[g->MagicSchool];
                for (int32_t i = 1; i <= std::min(list.Count, SchoolSpellMax); ++i) {
                    const TSpell* s = FindSpell(list.Spells[i]);
                    if (s == nullptr || !s->DrainsWill)
                        continue;
                    q = -static_cast<int64_t>(
                        B.CalcSpellValue(list.Spells[i], s->DrainsWillEffect, 1, g->Stats[statMagicPower], ks, kn, 0));
                    if (!HoldsAny(B.Personage(ks, kn).BonusSet, {Fearless, eCourage, pFearless, bUndead, eFear}))
                        q += BV(eFear);
                }
                best = std::max(best, q * kw);
            }
        } else if (CanBeScared(ks, kn)) {
            w -= kw * FearLoss(ks, kn, false) * 2;
        }
    }
    return w + best;
}

int64_t TChoice::ScoreTarget(int32_t slot, int32_t ts, int32_t tn, double dur, int64_t& lifeSteal, bool& poor)
{
    TPersonage& caster = Actor();
    const int32_t spellNo = caster.Spells[slot].Spell;
    const TSpell* spell = FindSpell(spellNo);
    if (spell == nullptr)
        return 0;
    for (int32_t s = 1; s <= 2; ++s)
        for (int32_t k = 1; k <= Count(s); ++k)
            B.Personage(s, k).WorkHits = B.Personage(s, k).Hits;
    B.RecalcPersonage(ts, tn, spellNo, caster.Spells[slot].Power, caster.Mana, ts == Side);
    B.ActorSide = Side;
    B.ActorSlot = N;
    B.AssessThreats(Side, N);
    B.ActorSide = 0;
    B.ActorSlot = 0;

    const TPersonage& t = B.Personage(ts, tn);
    const TThreatAssessment before = As(ts, tn);
    const TThreatAssessment after = GetAssessment(t, true);
    const int64_t H = t.Hits, WH = t.WorkHits, MaxH = t.Stats[statHits];
    const int64_t Eb = before.EarlyDamage, Rb = before.RoundDamage, Ea = after.EarlyDamage, Ra = after.RoundDamage;
    const int64_t KW = before.KillWorth, KWa = after.KillWorth;
    const TBattleSide& fs = B.Sides[FS];
    int64_t w = 0, k = 0, l = 0, a = 0;
    if (ts == FS) {
        if (fs.BattleCureTarget != 0) {
            if (H < Eb) {
                if (Ea < WH)
                    w = KW;
                else
                    poor = true;
            }
            if (H < Rb) {
                if (Ra < WH)
                    w += KW;
                else
                    poor = true;
            }
        }
        if (fs.BattleKillTarget != 0)
            for (int32_t x = 1; x <= Count(ES); ++x) {
                if (B.Personage(ES, x).Hits <= 0)
                    continue;
                const TPersonage& xp = B.Personage(ES, x);
                const TThreatAssessment xb = As(ES, x), xa = GetAssessment(xp, true);
                if ((xb.EarlyDamage < xp.Hits && xp.WorkHits < xa.EarlyDamage) ||
                    (xb.RoundDamage < xp.Hits && xp.WorkHits < xa.RoundDamage))
                    k = std::max<int64_t>(k, xb.KillWorth);
                l += xp.Hits - xp.WorkHits;
                if (xp.WorkHits == 0)
                    l += xb.KillWorth;
            }
        if (k > 0)
            poor = false;
        a = Rb - Ra + KWa - KW;
        if (spell->Time > 0)
            a = RoundHalfEven(a * dur);
        if (H < Ra)
            a += WH - H;
        else if (H < 2 * Ra)
            a += B.Round != 0 ? (WH - H) / 2 : (WH - H) / 3;
        if (l > 0)
            poor = false;
    } else {
        if (fs.BattleKillTarget != 0) {
            if (H < Eb)
                poor = true;
            else if (WH < Ea)
                w = KW;
            if (Rb < H && WH < Ra)
                w += KW;
        }
        if (fs.BattleCureTarget != 0)
            for (int32_t o = 1; o <= Count(FS); ++o) {
                if (B.Personage(FS, o).Hits <= 0)
                    continue;
                const TPersonage& op = B.Personage(FS, o);
                const TThreatAssessment ob = As(FS, o), oa = GetAssessment(op, true);
                if (op.Hits < ob.EarlyDamage && oa.EarlyDamage < op.Hits && ob.KillWorth > k)
                    k += ob.KillWorth;
                if (op.Hits < ob.RoundDamage && oa.RoundDamage < op.Hits && ob.KillWorth > k)
                    k += ob.KillWorth;
            }
        a = Ra - Rb + KW - KWa;
        if (spell->Time > 0)
            a = RoundHalfEven(a * dur);
        a += H - WH;
    }
    int64_t score = std::max<int64_t>(B.GetPersonageStat(ts, tn, statByAttackMode) / 5, KW) * (a + w + k + l);
    const bool melee = t.AttackMode == mFight;
    for (int32_t e = 1; e <= 3; ++e) {
        if (spell->Effect[e] == 0)
            continue;
        if (spell->Effect[e] == eWillLifeSteal)
            lifeSteal += H - WH;
        switch (spell->EffectBonus[e]) {
        case eInsanity: {
            int64_t v = a;
            if (melee)
                v = static_cast<int64_t>(t.Stats[statAttackBlow]) * t.Stats[statAttackBlow] / 2;
            else if (t.AttackMode == mShoot)
                v = static_cast<int64_t>(t.Stats[statAttackShot]) * t.Stats[statAttackShot] / 2;
            else if (t.AttackMode == mSpell)
                v = 3 * KW * KW;
            if (MaxH > 0)
                v = (MaxH + H) * v / (2 * MaxH);
            score += v;
            if ((t.BonusSet.Has(eImmobility) && melee && t.InContact == 0) || t.BonusSet.Has(eParalysation))
                score = 0;
            break;
        }
        case eCureAndMove:
            score += RoundHalfEven((std::sqrt(dur) + (H < MaxH ? 1 : 0)) * KW * Ra / 2);
            break;
        case eStopCure:
            if (H < Rb * dur)
                score /= 2;
            break;
        case eImmobility: {
            if (t.BonusSet.Has(eInsanity) || t.BonusSet.Has(eParalysation))
                score = 0;
            if (after.EarlyMeleeAttackers > 0) {
                score /= 2;
                if (after.EarlyMeleeAttackers > 1 && dur > 0)
                    score = RoundHalfEven(score / dur);
            }
            if (B.Round == 0) {
                int32_t c = 1;
                const THexCell tc = B.PersonageCell(ts, tn);
                const int32_t tp = B.GetTurnPriority(ts, tn);
                for (int32_t o = 1; o <= Count(FS); ++o)
                    if (B.Personage(FS, o).Hits > 0 && GetHexDistance(B.PersonageCell(FS, o), tc) <= 2 &&
                        B.GetTurnPriority(FS, o) > tp)
                        c += B.Personage(FS, o).FormationColumn == t.FormationColumn ? 3 : 1;
                if (c >= 4)
                    score = 0;
            }
            break;
        }
        case eInvalid:
            score *= 2;
            break;
        case eInvulnerability: {
            if (score < 1)
                break;
            int64_t v = 0;
            if (ts == FS) {
                if (t.InContact == 0 && Eb < H)
                    score = 0;
                v = NeighbourBestHits(ts, tn, ES, [&](int32_t side, int32_t o) {
                    return B.Personage(side, o).AttackMode == mFight && As(side, o).TargetCount == 1 &&
                           !B.Personage(side, o).BonusSet.Has(eInsanity);
                });
            } else {
                if (!melee || t.InContact == 0)
                    break;
                v = NeighbourBestHits(ts, tn, FS,
                                      [&](int32_t side, int32_t o) { return As(side, o).TargetCount == 1; });
            }
            if (v < KW)
                score = 0;
            break;
        }
        case eEvilProtect: {
            if (before.RoundMeleeDamage < 1)
                break;
            // Divisors of the shared damage by the number of attackers.
            static constexpr int32_t Divisor[ArmySlotCount + 1] = {0,  1,  3,  5,  8,  11, 14, 18,
                                                                   22, 26, 31, 35, 41, 46, 51, 57};
            auto div = [](int64_t a, int64_t n) { return a / Divisor[std::clamp<int64_t>(n, 1, ArmySlotCount)]; };
            int64_t earlySum = 0, earlyCount = 0, lateSum = 0, lateCount = 0;
            const int32_t tp = B.GetTurnPriority(ts, tn);
            const THexCell tc = B.PersonageCell(ts, tn);
            for (int32_t d = 1; d <= 6; ++d) {
                THexCell k;
                if (!StepHexCell(tc.Row, tc.Column, d, k) || !B.IsCellOfSide(ts, k, 0, mEnemy))
                    continue;
                const int32_t o = std::abs(ReadCellMapInt(B.Cells, k));
                if (o < 1 || o > ArmySlotCount || B.Personage(ES, o).AttackMode != mFight ||
                    !B.Personage(ES, o).BonusSet.Has(eInsanity))
                    continue;
                if (B.GetTurnPriority(ES, o) > tp) {
                    earlySum += As(ES, o).KillWorth;
                    ++earlyCount;
                } else {
                    lateSum += As(ES, o).KillWorth;
                    ++lateCount;
                }
            }
            int64_t v = 0;
            const int64_t n = before.EarlyMeleeAttackers - earlyCount;
            if (before.EarlyMeleeDamage >= 1 && n >= 1)
                v = div(before.EarlyMeleeDamage - earlySum, n);
            const int64_t m = before.RoundMeleeAttackers - before.EarlyMeleeAttackers - lateCount;
            if (before.EarlyMeleeAttackers < before.RoundMeleeAttackers && m > 0)
                v += div(static_cast<int64_t>(before.RoundMeleeDamage) - before.EarlyMeleeDamage - lateSum, m);
            v = KW * v * BV(eEvilProtect) / 100;
            // With no attackers at all nothing is shared.
            if (before.RoundAttackers >= 1 && div(Rb, before.RoundAttackers) < H)
                v = RoundHalfEven(v * dur);
            score += v;
            break;
        }
        case eBloodyRage:
            if (melee && !poor)
                for (int32_t x = 1; x <= Count(ES); ++x)
                    if (B.Personage(ES, x).Hits > 0 && B.CanAttackPersonage(ts, tn, ES, x) &&
                        B.Personage(ES, x).Hits < B.CalcAttackDamage(ts, tn, ES, x, mNone, 0, 0, 0, 0)) {
                        score = KW * KW;
                        break;
                    }
            break;
        case eEvilEye: {
            if (Rb < 1 || Healers.empty())
                break;
            int64_t v = 0, last = 0;
            for (const THealing& h : Healers) {
                last = B.CalcSpellValue(h.Spell, h.Effect, h.Power, h.Mana, ts, tn, 0);
                v = std::max(v, last);
            }
            int64_t c = last < MaxH - H ? 1 : 0;
            if (H < Eb && Ea < WH + v)
                ++c;
            if (H < Rb && Ra < WH + v)
                ++c;
            score += KW * KW * c;
            break;
        }
        default:
            break;
        }
    }
    if (LifeStealer != 0 && t.BonusSet.Has(pCharming)) {
        const TThreatAssessment l = As(ES, LifeStealer);
        score += (static_cast<int64_t>(l.BestHit) + l.KillWorth) * BV(pCharming);
    }
    return score;
}

bool TChoice::Spells()
{
    TPersonage& p = Actor();
    TBattleSlotState& st = B.SlotState(Side, N);
    if (st.Target != 0 && st.SpellSlot != 0) {
        const int32_t t = st.Target;
        D.TargetSide = t > 0 ? Side : 3 - Side;
        D.TargetSlot = std::abs(t);
        D.MoveCell = B.PersonageCell(D.TargetSide, D.TargetSlot);
        D.SpellSlot = st.SpellSlot;
        st.Target = 0;
        st.SpellSlot = 0;
        B.MarkSpellTargets(Side, N, D.SpellSlot);
        return Stay();
    }
    for (int32_t j = 1; j <= 7; ++j)
        p.SpellHasTargets[j] = 0;
    for (int32_t x = 1; x <= Count(ES); ++x)
        if (B.Personage(ES, x).Hits > 0 && B.Personage(ES, x).BonusSet.Has(pLifesteal))
            LifeStealer = x;
    const int32_t staff = B.WeaponBonus(Side, N) == bStaff ? 1 : 0;

    // The horizon: how many rounds the weaker side lasts.
    float endurance[3] = {0, 0, 0};
    for (int32_t s = 1; s <= 2; ++s) {
        float sum = 0;
        int32_t c = 0, att = 0;
        for (int32_t k = 1; k <= Count(s); ++k) {
            const TPersonage& q = B.Personage(s, k);
            if (q.Hits <= 0)
                continue;
            const TThreatAssessment e = As(s, k);
            if (q.Hits < e.EarlyDamage) {
                sum += static_cast<float>(q.Hits) / e.EarlyDamage;
                ++c;
                att += e.EarlyAttackers;
            } else if (e.RoundDamage >= 1) {
                sum += static_cast<float>(q.Hits) / e.RoundDamage;
                ++c;
                att += e.RoundAttackers;
            }
        }
        const int32_t other = B.Sides[3 - s].LivingCount;
        endurance[s] = c == 0 || other <= 0 ? 0 : sum * att / c / other;
    }
    float horizon = 1;
    if (endurance[1] > 0 && endurance[1] < endurance[2])
        horizon = endurance[1];
    else if (endurance[2] > 0 && endurance[2] < endurance[1])
        horizon = endurance[2];

    TCellMapInt scores[8]{};
    TCellMapByte poorMap{};
    int64_t lifeSteal = 0;
    for (int32_t j = 1; j <= 7; ++j) {
        const TSpell* spell = FindSpell(p.Spells[j].Spell);
        if (spell == nullptr)
            continue;
        const double dur = spell->Time < 1 ? 0 : std::min<double>(spell->Time + staff, horizon);
        if (B.MarkSpellTargets(Side, N, j) <= 0)
            continue;
        p.SpellHasTargets[j] = 1;
        HadTargets = true;
        Healers.clear();
        if (SpellHasEffectBonus(spell, eEvilEye, eEvilEye))
            for (int32_t x = 1; x <= Count(ES); ++x) {
                const TPersonage& h = B.Personage(ES, x);
                if (h.Hits <= 0 || h.MagicSchool != 3)
                    continue;
                for (int32_t k = 1; k <= 7; ++k) {
                    const TSpell* cure = FindSpell(h.Spells[k].Spell);
                    for (int32_t e = 1; cure != nullptr && e <= 3; ++e)
                        if (cure->Effect[e] == eCure)
                            Healers.push_back({h.Spells[k].Spell, e, h.Spells[k].Power, h.Mana});
                }
            }
        poorMap.fill(0);
        for (int i = 0; i < CellMapSize; ++i) {
            const uint8_t mark = B.TargetMap[i];
            if (mark == 0 || mark == mPoint)
                continue;
            const THexCell c = CellMapCell(i);
            const int32_t v = ReadCellMapInt(B.Cells, c);
            bool poor = false;
            int64_t s = v != 0 ? ScoreTarget(j, v > 0 ? 1 : 2, std::abs(v), dur, lifeSteal, poor) : ScoreSummon(j, c);
            // A forecast leaves the working copies behind: the marks of this
            // slot are read again from the map below.
            scores[j][i] = ClampToInt32(s);
            poorMap[i] = poor ? 1 : 0;
        }
        // Every forecast and assessment above may have marked other cells:
        // the slot's own marks are made again.
        B.MarkSpellTargets(Side, N, j);
        if (spell->MassEffect || p.BonusSet.Has(eManaBurnPos)) {
            int64_t total = 0, largest = 0;
            for (int i = 0; i < CellMapSize; ++i) {
                total += scores[j][i];
                largest = std::max<int64_t>(largest, scores[j][i]);
            }
            int64_t c = 0;
            if (SpellHasEffect(spell, eWillLifeSteal)) {
                c = lifeSteal;
                const TThreatAssessment me = Mine();
                const TThreatAssessment after = GetAssessment(p, true);
                if (B.Sides[Side].BattleCureTarget != 0) {
                    if (p.Hits < me.EarlyDamage && after.EarlyDamage < p.WorkHits)
                        c = me.KillWorth + lifeSteal;
                    if (p.Hits < me.RoundDamage && after.RoundDamage < p.WorkHits)
                        c += me.KillWorth;
                }
            }
            c = static_cast<int64_t>(Mine().BestHit) * c + 50;
            for (int i = 0; i < CellMapSize; ++i)
                if (scores[j][i] > 0)
                    scores[j][i] = ClampToInt32(scores[j][i] + total + c - largest);
        }
        for (int i = 0; i < CellMapSize; ++i) {
            const uint8_t mark = B.TargetMap[i];
            if (mark == 0 || mark == mPoint)
                continue;
            scores[j][i] /= 10;
            if (poorMap[i] != 0)
                scores[j][i] /= 3;
        }
    }
    D.AutoSkip = HadTargets ? 0 : 1;
    if (Player && (p.BeltPotionCount > 0 || (p.Stance == 0 && p.AbilityCount > 0)))
        D.AutoSkip = 0;

    int32_t best = 0;
    int32_t bestScore = 0;
    THexCell bestCell{0, 0};
    for (int32_t j = 1; j <= 7; ++j) {
        if (FindSpell(p.Spells[j].Spell) == nullptr)
            continue;
        const THexCell c = FindHighestCell(scores[j]);
        if (c.Column < 1)
            continue;
        const int32_t v = ReadCellMapInt(scores[j], c);
        if (best == 0 || v > bestScore) {
            best = j;
            bestScore = v;
            bestCell = c;
        }
    }
    D.SpellSlot = best;
    if (best != 0 && EnergyBursts(scores, poorMap))
        return Result;
    if (best == 0) {
        if (!Player) {
            int32_t chosen = 0, most = 0;
            for (int32_t e = 1; e <= std::min<int32_t>(p.BeltPotionCount, 4); ++e) {
                const int32_t k = p.BeltPotionSlots[e];
                const TItems* item = k >= 1 && k <= 2 ? FindItem(p.Equipment[8 + k]) : nullptr;
                if (item != nullptr && item->dMana > 0 && item->dMana < p.Stats[statMagicPower] - p.Mana &&
                    item->dMana > most) {
                    most = item->dMana;
                    chosen = e;
                }
            }
            if (chosen != 0) {
                SetDecisionMode(mPotion, chosen);
                return Result;
            }
            if (p.Stance == 0 && p.AbilityCount > 0)
                for (int32_t i = 1; i <= std::min<int32_t>(p.AbilityCount, 6); ++i)
                    if (p.Abilities[i] == pMeditation || p.Abilities[i] == bMeditation) {
                        if (BV(eManaPos) < p.Stats[statMagicPower] - p.Mana) {
                            SetDecisionMode(mAction, i);
                            return Result;
                        }
                        break;
                    }
        }
        D.MoveCell = NoCell();
        return Stay();
    }
    D.MoveCell = bestCell;
    B.MarkSpellTargets(Side, N, best);
    const TSpell* spell = FindSpell(p.Spells[best].Spell);
    if (spell->NearbyCondition && p.BonusSet.Has(tPunishingFire) && GetHexDistance(bestCell, Cell()) > 1) {
        TCellMapInt map = M;
        const int32_t a = B.GetAttackApproach(Side, N, true, map);
        B.PlayerMoveMap = map;
        for (int32_t d = 1; d <= 6; ++d) {
            THexCell k;
            if (!StepHexCell(bestCell.Row, bestCell.Column, d, k) || ReadCellMapInt(map, k) != a)
                continue;
            TargetFromMoveCell();
            SetDecisionMode(ReadCellMapByte(B.TargetMap, bestCell), 0);
            B.DecideFromClick(map, k, D);
            D.TargetMark = static_cast<uint8_t>(a);
            if (Player && Sane)
                D.WaitForPlayer = 1;
            Result = true;
            return true;
        }
    }
    if (spell->NearbyCondition && p.BonusSet.Has(bLevitation))
        return Levitate(bestCell);
    return Stay();
}

bool TChoice::EnergyBursts(const TCellMapInt (&scores)[8], const TCellMapByte& poor)
{
    TPersonage& p = Actor();
    if (p.Stance != 0 || !p.BonusSet.Has(tEnergyBursts) || Mine().RoundDamage >= p.Hits)
        return false;
    int64_t total = 0, contributing = 0;
    for (int32_t j = 1; j <= 7; ++j) {
        const TSpell* spell = FindSpell(p.Spells[j].Spell);
        if (spell == nullptr || spell->MassEffect ||
            static_cast<int64_t>(B.GetManaCost(Side, N, j, 0, 0)) * BV(eManaBurnPos) >= p.Mana)
            continue;
        int64_t count = 0, sum = 0, average = 0;
        for (int i = 0; i < CellMapSize; ++i)
            if (poor[i] == 0 && scores[j][i] != 0 && scores[j][i] != -999) {
                ++count;
                sum += scores[j][i];
            }
        if (count > 1)
            average = sum / count;
        if (count > 3 || average > 75) {
            total += average;
            ++contributing;
        }
    }
    if (contributing == 0 || total / contributing <= 50)
        return false;
    for (int32_t i = 1; i <= std::min<int32_t>(p.AbilityCount, 6); ++i)
        if (p.Abilities[i] == tEnergyBursts) {
            SetDecisionMode(mAction, i);
            if (Player && Sane)
                D.WaitForPlayer = 1;
            return true;
        }
    return false;
}

// A flying caster whose spell needs nearness takes the cell beside the
// target where fear and drained will hurt the enemy most.
bool TChoice::Levitate(THexCell best)
{
    const TPersonage& p = Actor();
    B.PlayerMoveMap = M;
    TCellMapInt sums{};
    for (int32_t d = 1; d <= 6; ++d) {
        THexCell I;
        if (!StepHexCell(best.Row, best.Column, d, I) || ReadCellMapInt(M, I) > MapFree)
            continue;
        int64_t sum = 0;
        for (int32_t e = 1; e <= 6; ++e) {
            THexCell K;
            if (!StepHexCell(I.Row, I.Column, e, K))
                continue;
            const int32_t v = ReadCellMapInt(B.Cells, K);
            const int32_t ks = v > 0 ? 1 : v < 0 ? 2 : 0, kn = std::abs(v);
            if (ks == 0 || kn > ArmySlotCount || B.Personage(ks, kn).Hits <= 0)
                continue;
            if (ks == ES && ks != Side) {
                if (CanBeScared(ks, kn))
                    sum += FearLoss(ks, kn, true);
                const TPersonage& np = B.Personage(ks, kn);
                bool drained = false;
                for (int32_t f = 1; f <= 5; ++f) {
                    const TSpell* active = FindSpell(np.Effects[f].Spell);
                    drained = drained || (active != nullptr && active->Mode == 8 && active->DrainsWill);
                }
                if (drained)
                    continue;
                for (int32_t j = 1; j <= 7; ++j) {
                    const TSpell* s = FindSpell(p.Spells[j].Spell);
                    if (s == nullptr || !s->DrainsWill)
                        continue;
                    const int64_t w = static_cast<int64_t>(B.CalcSpellValue(p.Spells[j].Spell, s->DrainsWillEffect,
                                                                            p.Spells[j].Power, p.Mana, ks, kn, 0)) +
                                      np.Stats[statWill];
                    if (w < 0)
                        sum -= w;
                }
            } else if (ks == Side && CanBeScared(ks, kn)) {
                sum -= FearLoss(ks, kn, true);
            }
        }
        WriteCellMapInt(sums, I, ClampToInt32(sum));
    }
    const THexCell I = FindHighestCell(sums);
    // No cell scores: the spell is cast from where the caster stands.
    if (I.Column == 0)
        return Stay();
    TargetFromMoveCell();
    SetDecisionMode(ReadCellMapByte(B.TargetMap, best), 0);
    B.DecideFromClick(MA, I, D);
    if (Player && Sane)
        D.WaitForPlayer = 1;
    Result = true;
    return true;
}

bool TChoice::Run()
{
    Side = D.Side;
    N = D.Slot;
    if (Side < 1 || Side > 2 || N < 1 || N > ArmySlotCount) {
        D.Mode = mError;
        return false;
    }
    TPersonage& p = Actor();
    B.TargetMap.fill(0);
    B.MoveMap.fill(0);
    Sane = !p.BonusSet.Has(eInsanity);
    ES = Sane ? 3 - Side : Side;
    FS = Sane ? Side : 3 - Side;
    Player = B.Sides[Side].PlayerControlled != 0;
    if (p.BonusSet.Has(eInvulnerability) || p.BonusSet.Has(eParalysation))
        return SetDecisionMode(mSkip, 0);
    B.BuildMoveMap(Side, N, M);
    MA = M;
    Approach = p.BonusSet.Has(tBugurtVeteran) ? MaxCellMapDistance(MA) : B.GetAttackApproach(Side, N, false, MA);
    if (Player) {
        B.PlayerMoveMap = MA;
        if (!p.BonusSet.Has(tBugurtVeteran))
            B.PlayerMoveLimit = B.GetAttackApproach(Side, N, true, B.PlayerMoveMap);
    }
    Reach = p.BonusSet.Has(bPike) ? 18 : 6;
    if (Prepared())
        return Result;

    for (int32_t s = 1; s <= 2; ++s)
        for (int32_t k = 1; k <= Count(s); ++k)
            if (B.Personage(s, k).Hits > 0)
                B.UpdateContact(s, k);
    B.ActorSide = 0;
    B.AssessThreats(Side, N);
    if (Potions() || Abilities())
        return Result;
    if (Retreat())
        return Result;
    switch (p.AttackMode) {
    case mFight:
        return Melee();
    case mShoot:
        return StrikeTarget();
    case mSpell:
        return Spells();
    default:
        D.MoveCell = NoCell();
        return Stay();
    }
}

} // namespace

bool TBattle::ComputeAction(TBattleDecision& decision)
{
    ++Counters.Decisions;
    TChoice choice(*this, decision);
    return choice.Run();
}
