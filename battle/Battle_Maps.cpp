// Movement maps on the hex field, the player's click turned into a move, the
// contact flag and the occupancy tests.
#include <cstdlib>

#include "battle/Battle.h"

namespace {

// Every cell of the grid in scan order: rows -3..3, columns 1..6.
template <typename F> void ForEachCell(F f)
{
    for (int32_t row = HexRowMin; row <= HexRowMax; ++row)
        for (int32_t column = HexColumnMin; column <= HexColumnMax; ++column)
            f(THexCell{row, column});
}

} // namespace

void TBattle::BuildDistanceMap(int32_t side, int32_t n, TCellMapInt& map, THexCell stopCell, THexCell startCell) const
{
    ++Counters.BuildDistanceMap;
    ForEachCell([&](THexCell c) { WriteCellMapInt(map, c, IsHexCellOnField(c.Row, c.Column, 0) ? MapFree : MapOff); });
    for (int32_t s = 1; s <= 2; ++s)
        for (int32_t k = 1; k <= Sides[s].PersonageCount && k <= ArmySlotCount; ++k)
            if (Personage(s, k).Hits > 0)
                WriteCellMapInt(map, PersonageCell(s, k), MapOccupied);
    if (side > 0) {
        if (startCell.Column > 0)
            WriteCellMapInt(map, startCell, MapFree);
        WriteCellMapInt(map, PersonageCell(side, n), 0);
    } else {
        WriteCellMapInt(map, startCell, 0);
    }
    // Breadth first, level by level; a level that numbers nothing, or whose
    // last numbered cell is the stop cell, ends the search.
    for (int32_t level = 0; level < MapFree - 1; ++level) {
        bool done = true;
        ForEachCell([&](THexCell c) {
            if (ReadCellMapInt(map, c) != level)
                return;
            for (int32_t d = 1; d <= 6; ++d) {
                THexCell next;
                if (StepHexCell(c.Row, c.Column, d, next) && ReadCellMapInt(map, next) == MapFree) {
                    WriteCellMapInt(map, next, level + 1);
                    done = IsSameHexCell(next, stopCell);
                }
            }
        });
        if (done)
            break;
    }
}

void TBattle::BuildDistanceMapFreeing(int32_t side, int32_t n, TCellMapInt& map, THexCell cell) const
{
    BuildDistanceMap(side, n, map, THexCell{0, 0}, cell);
}

void TBattle::BuildMoveMap(int32_t side, int32_t n, TCellMapInt& map) const
{
    BuildDistanceMap(side, n, map, THexCell{0, 0}, THexCell{0, 0});
}

int32_t MaxCellMapDistance(const TCellMapInt& map)
{
    int32_t best = 0;
    for (int32_t v : map)
        if (v < MapFree && v > best)
            best = v;
    return best;
}

void TBattle::PruneUnlinkedCells(TCellMapInt& map) const
{
    const int32_t m = MaxCellMapDistance(map);
    for (int32_t k = 1; k <= m; ++k)
        ForEachCell([&](THexCell c) {
            if (ReadCellMapInt(map, c) == k &&
                CountNeighbourCells(c, [&](THexCell next) { return ReadCellMapInt(map, next) == k - 1; }) == 0)
                WriteCellMapInt(map, c, MapFree);
        });
}

int32_t TBattle::BuildAttackApproachMap(int32_t side, int32_t n, bool force, THexCell cell, TCellMapInt& map) const
{
    const bool insane = HasBonus(side, n, eInsanity);
    const int32_t enemySide = insane ? side : 3 - side;
    const int32_t reach = HasBonus(side, n, bPike) ? 18 : 6;

    int32_t result = NoApproach;
    for (int32_t k = 1; k <= Sides[enemySide].PersonageCount && k <= ArmySlotCount; ++k) {
        if (Personage(enemySide, k).Hits <= 0 || (enemySide == side && k == n))
            continue;
        const THexCell at = PersonageCell(enemySide, k);
        if (IsSameHexCell(at, cell))
            continue;
        for (int32_t d = 1; d <= reach; ++d) {
            THexCell from;
            if (!GetNeighbourCell(at, d, from))
                continue;
            const int32_t v = ReadCellMapInt(map, from);
            if (v >= 0 && v < result)
                result = v;
        }
    }
    if (!force && Personage(side, n).AttackMode != mFight)
        return result;

    for (int32_t& v : map)
        if (v < MapFree && v > result)
            v = MapFree;
    if (cell.Column == 0) {
        // Only the cells from which an enemy can actually be struck stay.
        const int32_t testSide = insane ? 3 - side : side;
        ForEachCell([&](THexCell c) {
            if (ReadCellMapInt(map, c) != result)
                return;
            for (int32_t d = 1; d <= reach; ++d) {
                THexCell target;
                if (GetNeighbourCell(c, d, target) && IsCellOfSide(testSide, target, 0, mEnemy))
                    return;
            }
            WriteCellMapInt(map, c, MapFree);
        });
    }
    PruneUnlinkedCells(map);
    return result;
}

int32_t TBattle::GetAttackApproach(int32_t side, int32_t n, bool force, TCellMapInt& map) const
{
    return BuildAttackApproachMap(side, n, force, THexCell{0, 0}, map);
}

namespace {

THexCell FindExtremeCell(const TCellMapInt& map, bool highest)
{
    THexCell found{0, 0};
    int32_t best = 0;
    ForEachCell([&](THexCell c) {
        const int32_t v = ReadCellMapInt(map, c);
        if (v <= 0)
            return;
        if (best == 0 || (highest ? v > best : v < best)) {
            best = v;
            found = c;
        }
    });
    return found;
}

} // namespace

THexCell FindHighestCell(const TCellMapInt& map)
{
    return FindExtremeCell(map, true);
}

THexCell FindLowestCell(const TCellMapInt& map)
{
    return FindExtremeCell(map, false);
}

THexCell StepTowardStart(const TCellMapInt& map, THexCell cell)
{
    THexCell at = cell;
    while (ReadCellMapInt(map, at) > 1) {
        const int32_t here = ReadCellMapInt(map, at);
        THexCell candidate{0, 0};
        for (int32_t d = 1; d <= 6; ++d) {
            THexCell next;
            if (StepHexCell(at.Row, at.Column, d, next) && ReadCellMapInt(map, next) < here)
                candidate = next;
        }
        // A cell in a closed pocket has no nearer neighbour: no way there.
        if (candidate.Column == 0)
            return candidate;
        at = candidate;
    }
    return at;
}

bool TBattle::DecideFromClick(const TCellMapInt& map, THexCell cell, TBattleDecision& decision) const
{
    if (cell.Column <= 0)
        return true;
    const int32_t side = decision.Side;
    const int32_t n = decision.Slot;
    const TBattleSlotState& state = SlotState(side, n);
    if (state.Target != 0) {
        decision.TargetSide = state.Target > 0 ? side : 3 - side;
        decision.TargetSlot = std::abs(state.Target);
        decision.SpellSlot = state.SpellSlot;
    }
    if (IsSameHexCell(cell, PersonageCell(side, n)))
        return true;
    decision.ClickCell = cell;
    decision.MoveCell = cell;
    if (HasBonus(side, n, bLevitation)) {
        decision.Mode = mMoveTo;
        return true;
    }
    const THexCell step = StepTowardStart(map, cell);
    decision.MoveCell = step;
    if (step.Column == 0) {
        decision.Mode = mNone;
        return true;
    }
    decision.Mode = IsSameHexCell(step, cell) ? mMoveTo : mMove;
    return true;
}

bool TBattle::IsCellOfSide(int32_t side, THexCell cell, int32_t attackMode, int32_t kind) const
{
    if (side != 1 && side != 2)
        return false;
    const int32_t v = ReadCellMapInt(Cells, cell);
    const bool enemy = kind == mEnemy;
    const bool holds = enemy ? (side == 1 ? v < 0 : v > 0) : (side == 1 ? v > 0 : v < 0);
    if (!holds)
        return false;
    if (attackMode == 0)
        return true;
    const int32_t k = std::abs(v);
    if (k > ArmySlotCount)
        return false;
    const int32_t occupantSide = enemy ? 3 - side : side;
    return Personage(occupantSide, k).AttackMode == attackMode;
}

bool TBattle::IsCellOfSideFor(int32_t side, int32_t n, int32_t attackMode, int32_t kind, THexCell cell) const
{
    // An insane personage takes its own side for the enemy and the enemy
    // for its own side: the tests of the other side.
    if (HasBonus(side, n, eInsanity))
        return IsCellOfSide(3 - side, cell, attackMode, kind);
    return IsCellOfSide(side, cell, attackMode, kind);
}

void TBattle::UpdateContact(int32_t side, int32_t n)
{
    TPersonage& p = Personage(side, n);
    p.InContact = 0;
    const int32_t testSide = HasBonus(side, n, eInsanity) ? 3 - side : side;
    if (CountNeighbourCells(PersonageCell(side, n),
                            [&](THexCell next) { return IsCellOfSide(testSide, next, 0, mEnemy); }) > 0)
        p.InContact = 1;
}
