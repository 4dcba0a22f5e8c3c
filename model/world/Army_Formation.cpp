#include "model/world/Army_Formation.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "battle/Battle_Field.h"
#include "model/ai/AIMain_Movement.h"
#include "model/ai/AIMain_Random.h"
#include "model/world/Army_Operations.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/World_Access.h"

const int32_t FormationRowOrder[5][4] = {
    {0, 0, 0, 0}, {0, 1, 2, 3}, {0, 2, 3, 1}, {0, 3, 2, 1}, {0, 2, 1, 3},
};

const int32_t FormationColumnOrder[6][4][6] = {
    {},
    {{}, {0, 3, 4, 2, 5, 1}, {0, 3, 4, 2, 5, 0}, {0, 3, 4, 2, 0, 0}},
    {{}, {0, 1, 2, 3, 4, 5}, {0, 2, 3, 4, 5, 0}, {0, 2, 3, 4, 0, 0}},
    {{}, {0, 5, 4, 3, 2, 1}, {0, 5, 4, 3, 2, 0}, {0, 4, 3, 2, 0, 0}},
    {{}, {0, 5, 1, 2, 4, 3}, {0, 5, 2, 3, 4, 0}, {0, 4, 2, 3, 0, 0}},
    {{}, {0, 1, 5, 4, 2, 3}, {0, 2, 5, 4, 3, 0}, {0, 2, 4, 3, 0, 0}},
};

namespace {

constexpr int32_t Rows = 3;
constexpr int32_t Columns = 6;
// Shooters, casters and placed dagger fighters from which a dagger fighter
// no longer holds back a front cell.
constexpr int32_t DaggerCountLimit = 7;

bool IsDaggerBonus(uint8_t b)
{
    return b == bSwordDagger || b == bAxeDagger || b == bCrowbillDagger || b == bMaceDagger;
}

bool IsUsableFormationCell(int32_t row, int32_t column)
{
    return IsHexCellOnField(row, column, 0);
}

bool IsSlot(int32_t s)
{
    return s >= 1 && s <= TArmyUnits::HighIndex;
}

// The army's shooters and casters with health, and its dagger fighters that
// already stand on usable cells.
int32_t CountDaggerCover(const TGameArmy& army, const TArmyUnits& units)
{
    int32_t count = 0;
    for (int32_t s = 1; s <= TArmyUnits::HighIndex; ++s) {
        const TPersonage& p = units[s];
        if (p.UnitType != 0 && p.Hits > 0 && (p.AttackMode == AttackModeShoot || p.AttackMode == AttackModeSpell))
            ++count;
    }
    for (int32_t row = 1; row <= Rows; ++row)
        for (int32_t column = 1; column <= Columns; ++column) {
            const int32_t s = FormationCell(army, row, column);
            if (IsSlot(s) && IsUsableFormationCell(row, column) && units[s].UnitType != 0 &&
                IsDaggerBonus(units[s].PersBonus[3]))
                ++count;
        }
    return count;
}

void SetCell(TPersonage& p, int32_t row, int32_t column)
{
    p.FormationRow = row;
    p.FormationColumn = column;
}

bool HoldsFighter(const TGameArmy& army, const TArmyUnits& units, int32_t row, int32_t column)
{
    const int32_t s = FormationCell(army, row, column);
    return IsSlot(s) && units[s].UnitType != 0 && units[s].AttackMode == AttackModeFight;
}

// A placed dagger fighter keeps a front cell beside it free for a fighter
// stepping forward; only an empty cell is held, so nobody loses a cell.
void HoldBackFrontCell(TGameArmy& army, int32_t row, int32_t column)
{
    const int32_t front = row > 1 ? row - 1 : 1;
    int32_t first = 0, second = 0;
    if (column == 2 || column == 3) {
        first = column - 1;
        second = column;
    } else if (column == 4 || column == 5) {
        first = column;
        second = column - 1;
    } else {
        return;
    }
    for (int32_t c : {first, second})
        if (FormationCell(army, front, c) == 0) {
            FormationCell(army, front, c) = HeldBackCell;
            return;
        }
}

// With every cell taken: a fighter behind a held-back front cell steps into
// it and the new personage takes the fighter's place.
bool StepFighterForward(TGameArmy& army, TArmyUnits& units, int32_t slot, int32_t d)
{
    for (int32_t i = 5; i >= 1; --i) {
        const int32_t column = FormationColumnOrder[d][1][i];
        if (column == 0 || FormationCell(army, 1, column) != HeldBackCell)
            continue;
        int32_t behind = 0;
        if (column < 5 && HoldsFighter(army, units, 2, column + 1))
            behind = column + 1;
        else if (column > 1 && HoldsFighter(army, units, 2, column))
            behind = column;
        if (behind == 0)
            continue;
        const int32_t fighter = FormationCell(army, 2, behind);
        FormationCell(army, 1, column) = fighter;
        SetCell(units[fighter], 1, column);
        FormationCell(army, 2, behind) = slot;
        SetCell(units[slot], 2, behind);
        return true;
    }
    return false;
}

void ClearHeldBackCells(TGameArmy& army)
{
    for (auto& row : army.Formation)
        for (int32_t& cell : row)
            if (cell == HeldBackCell)
                cell = 0;
}

bool StandsInGrid(const TGameArmy& army, int32_t slot)
{
    for (auto& row : army.Formation)
        for (int32_t cell : row)
            if (cell == slot)
                return true;
    return false;
}

// Slots in descending key order; equal keys keep the lower slot first.
std::vector<int32_t> SlotsByKey(const TArmyUnits& units, const std::vector<int32_t>& slots)
{
    std::vector<int32_t> order = slots;
    std::stable_sort(order.begin(), order.end(),
                     [&](int32_t a, int32_t b) { return GetFormationKey(units[a]) > GetFormationKey(units[b]); });
    return order;
}

} // namespace

int32_t GetFormationClass(const TGameArmy& army, const TArmyUnits& units, int32_t slot)
{
    const TPersonage& p = units[slot];
    const uint8_t weapon = p.PersBonus[3];
    if (weapon == bPike)
        return 4;
    if (IsDaggerBonus(weapon) && CountDaggerCover(army, units) < DaggerCountLimit)
        return 4;
    switch (p.AttackMode) {
    case AttackModeFight:
        return 1;
    case AttackModeShoot:
        return 2;
    case AttackModeSpell:
        return 3;
    default:
        return 0;
    }
}

int32_t GetFormationKey(const TPersonage& p)
{
    switch (p.AttackMode) {
    case AttackModeFight:
        return p.Strength + 300000;
    case AttackModeShoot:
        return p.Strength + 200000;
    case AttackModeSpell:
        return p.Strength + 100000;
    default:
        return p.Strength;
    }
}

void ValidateFormation(int32_t army)
{
    TGameArmy* record = FindArmy(army);
    if (record == nullptr)
        return;
    TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];

    // 1, 2. Every cell names a present personage, and that personage's own
    // cell; a personage named twice keeps the later cell.
    for (int32_t row = 1; row <= Rows; ++row)
        for (int32_t column = 1; column <= Columns; ++column) {
            int32_t& cell = FormationCell(*record, row, column);
            if (IsSlot(cell) && units[cell].UnitType != 0)
                SetCell(units[cell], row, column);
            else
                cell = 0;
        }
    for (int32_t row = 1; row <= Rows; ++row)
        for (int32_t column = 1; column <= Columns; ++column) {
            int32_t& cell = FormationCell(*record, row, column);
            if (cell > 0 && (units[cell].FormationRow != row || units[cell].FormationColumn != column))
                cell = 0;
        }

    // 3. Every personage gets a cell. One whose cell another personage holds
    // is placed anew rather than pushing that one out.
    for (int32_t k = 1; k <= TArmyUnits::HighIndex; ++k) {
        TPersonage& p = units[k];
        if (p.UnitType == 0)
            continue;
        const int32_t row = p.FormationRow, column = p.FormationColumn;
        if (column < 1 || column > Columns || row < 1 || row > Rows) {
            PlaceInFormation(army, k);
            continue;
        }
        int32_t& cell = FormationCell(*record, row, column);
        if (cell == k)
            continue;
        if (IsSlot(cell) && units[cell].UnitType != 0) {
            SetCell(p, 0, 0);
            PlaceInFormation(army, k);
        } else {
            cell = k;
        }
    }

    // 4, 5. Slots 1..count without gaps.
    int32_t gaps = 0, count = 0;
    for (int32_t k = 1; k <= TArmyUnits::HighIndex; ++k) {
        if (units[k].UnitType == 0) {
            ++gaps;
            continue;
        }
        ++count;
        if (gaps == 0)
            continue;
        TPersonage& p = units[k];
        const int32_t row = p.FormationRow, column = p.FormationColumn;
        if (row >= 1 && row <= Rows && column >= 1 && column <= Columns && FormationCell(*record, row, column) == k)
            FormationCell(*record, row, column) = k - gaps;
        units[k - gaps] = p;
        std::memset(static_cast<void*>(&units[k]), 0, sizeof(TPersonage));
    }
    record->PersonageCount = static_cast<uint8_t>(count);
}

void ChooseFormationCell(TGameArmy& army, TArmyUnits& units, int32_t slot, int32_t mode)
{
    if (!IsSlot(slot) || units[slot].UnitType == 0)
        return;
    int32_t c = GetFormationClass(army, units, slot);
    if (c == 0)
        c = 1;
    int32_t disposition = mode == 7 ? army.Disposition : mode;
    if (disposition < 0 || disposition > 4)
        disposition = 0;
    const int32_t d = disposition + 1;

    TPersonage& p = units[slot];
    for (int32_t r = 1; r <= Rows; ++r) {
        const int32_t row = FormationRowOrder[c][r];
        for (int32_t i = 1; i <= 5; ++i) {
            const int32_t column = FormationColumnOrder[d][row][i];
            if (column == 0 || FormationCell(army, row, column) != 0)
                continue;
            FormationCell(army, row, column) = slot;
            SetCell(p, row, column);
            if (c == 4 && IsDaggerBonus(p.PersBonus[3]))
                HoldBackFrontCell(army, row, column);
            return;
        }
    }
    if (!StepFighterForward(army, units, slot, d))
        SetCell(p, 0, 0);
}

void PlaceInFormationByMode(int32_t army, int32_t slot, int32_t mode)
{
    TGameArmy* record = FindArmy(army);
    if (record != nullptr)
        ChooseFormationCell(*record, ArmyUnits[static_cast<size_t>(army)], slot, mode);
}

void ArrangeFormation(int32_t army, int32_t mode)
{
    TGameArmy* record = FindArmy(army);
    if (record == nullptr)
        return;
    TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    UpdateArmyTotals(army);
    std::vector<int32_t> slots;
    int32_t fighters = 0;
    for (int32_t s = 1; s <= UsedSlots(*record); ++s) {
        if (units[s].UnitType == 0)
            continue;
        slots.push_back(s);
        if (units[s].AttackMode == AttackModeFight)
            ++fighters;
    }

    if (mode == 5) {
        for (int32_t s : SlotsByKey(units, slots))
            if (!StandsInGrid(*record, s))
                ChooseFormationCell(*record, units, s, 7);
        ClearHeldBackCells(*record);
        return;
    }

    std::memset(record->Formation, 0, sizeof record->Formation);
    int32_t disposition = mode;
    if (mode == 7)
        disposition = record->Disposition;
    else if (mode == 6)
        disposition = RandomBelow(5);
    if (disposition < 0 || disposition > 4)
        disposition = 0;
    // The flank dispositions need enough fighters to hold a wing.
    if ((disposition == 3 || disposition == 4) && fighters < 4 && record->PersonageCount > fighters + 1)
        disposition = 0;
    for (int32_t s : SlotsByKey(units, slots))
        ChooseFormationCell(*record, units, s, disposition);
    ClearHeldBackCells(*record);
}
