// The hex field of a battle: 7 rows (-3..3) of 6 columns (1..6), 42 cells of
// which 30 are usable. The field is narrower towards its two far ends, so
// 12 corner cells are off the field. Row 0 is the middle line; the two sides
// start on the rows of opposite signs. Cell maps are 42-entry arrays over the
// whole grid, corners included, indexed (row + 3) x 6 + (column - 1).
#pragma once

#include <array>
#include <cstdint>

#include "engine/QX9_Math.h"

struct THexCell {
    int32_t Row;
    int32_t Column;
};

constexpr int32_t HexRowMin = -3;
constexpr int32_t HexRowMax = 3;
constexpr int32_t HexColumnMin = 1;
constexpr int32_t HexColumnMax = 6;
constexpr int32_t HexColumnCount = HexColumnMax - HexColumnMin + 1;
constexpr int CellMapSize = (HexRowMax - HexRowMin + 1) * HexColumnCount;

using TCellMapInt = std::array<int32_t, CellMapSize>;
using TCellMapByte = std::array<uint8_t, CellMapSize>;

// The index of a cell in a cell map, -1 outside the 7 x 6 grid.
// Cell map entries: a cell outside the grid reads 0 and is never written;
// callers pass cells on the field, and a stray cell must not reach past the
// map. Inline: every rule of the battle reads its maps cell by cell.
inline int CellMapIndex(int32_t row, int32_t column)
{
    if (row < HexRowMin || row > HexRowMax || column < HexColumnMin || column > HexColumnMax)
        return -1;
    return (row - HexRowMin) * HexColumnCount + (column - HexColumnMin);
}

// The cell of cell map entry i (0 <= i < CellMapSize): the inverse of
// CellMapIndex, for the rules that walk a map by its entries.
inline THexCell CellMapCell(int i)
{
    return {i / HexColumnCount + HexRowMin, i % HexColumnCount + HexColumnMin};
}

inline int32_t ReadCellMapInt(const TCellMapInt& map, THexCell cell)
{
    const int i = CellMapIndex(cell.Row, cell.Column);
    return i < 0 ? 0 : map[i];
}

inline uint8_t ReadCellMapByte(const TCellMapByte& map, THexCell cell)
{
    const int i = CellMapIndex(cell.Row, cell.Column);
    return i < 0 ? 0 : map[i];
}

inline void WriteCellMapInt(TCellMapInt& map, THexCell cell, int32_t value)
{
    const int i = CellMapIndex(cell.Row, cell.Column);
    if (i >= 0)
        map[i] = value;
}

inline void WriteCellMapByte(TCellMapByte& map, THexCell cell, uint8_t value)
{
    const int i = CellMapIndex(cell.Row, cell.Column);
    if (i >= 0)
        map[i] = value;
}

void AddCellMapInt(TCellMapInt& map, THexCell cell, int32_t value);
void SubCellMapInt(TCellMapInt& map, THexCell cell, int32_t value);


// The corners cut off by the field's shape: |row| 1 loses column 6,
// |row| 2 columns 1 and 6, |row| 3 columns 1, 5 and 6.
constexpr bool IsUsableHexCell(int32_t row, int32_t column)
{
    if (row < HexRowMin || row > HexRowMax || column < HexColumnMin || column > HexColumnMax)
        return false;
    switch (row < 0 ? -row : row) {
    case 1:
        return column != 6;
    case 2:
        return column != 1 && column != 6;
    case 3:
        return column >= 2 && column <= 4;
    default:
        return true;
    }
}

struct THexStep {
    int32_t Row;
    int32_t EvenColumn;
    int32_t OddColumn;
};

// Directions 0..18: 1..6 one step, 7..12 the cells at distance 2 between
// the straight lines, 13..18 two steps straight on in 1..6. The column
// change depends on the parity of the starting row only.
inline constexpr THexStep HexSteps[19] = {
    {0, 0, 0},                                                                 // 0
    {1, -1, 0},  {1, 0, 1}, {0, 1, 1},  {-1, 0, 1}, {-1, -1, 0},  {0, -1, -1}, // 1..6
    {2, 0, 0},   {1, 1, 2}, {-1, 1, 2}, {-2, 0, 0}, {-1, -2, -1}, {1, -2, -1}, // 7..12
    {2, -1, -1}, {2, 1, 1}, {0, 2, 2},  {-2, 1, 1}, {-2, -1, -1}, {0, -2, -2}, // 13..18
};

// The cell one step (directions 1..6) or two steps (7..18) away, 0 the cell
// itself; whether it is usable. No occupancy test. A direction outside
// 0..18 gives the cell itself and false. Inline: the movement maps and the
// assessment step through the field millions of times a battle.
inline bool StepHexCell(int32_t row, int32_t column, int32_t direction, THexCell& cell)
{
    cell = THexCell{row, column};
    if (direction < 0 || direction > 18)
        return false;
    const THexStep& step = HexSteps[direction];
    const bool odd = (row % 2) != 0;
    cell.Row = row + step.Row;
    cell.Column = column + (odd ? step.OddColumn : step.EvenColumn);
    return IsUsableHexCell(cell.Row, cell.Column);
}
// Whether the cell one step from (row, column) in direction 0..6 (0 = the
// cell itself) is usable. Other directions give false.
inline bool IsHexCellOnField(int32_t row, int32_t column, int32_t direction)
{
    if (direction < 0 || direction > 6)
        return false;
    THexCell cell;
    return StepHexCell(row, column, direction, cell);
}
// Directions run clockwise: the one after d and the one before it (1..6).
inline int32_t NextHexDirection(int32_t d)
{
    return d % 6 + 1;
}
inline int32_t PreviousHexDirection(int32_t d)
{
    return (d + 4) % 6 + 1;
}
// How many of the six neighbours of a cell lie on the field and pass a test.
template <typename F> int32_t CountNeighbourCells(THexCell cell, F test)
{
    int32_t count = 0;
    for (int32_t d = 1; d <= 6; ++d) {
        THexCell next;
        if (StepHexCell(cell.Row, cell.Column, d, next) && test(next))
            ++count;
    }
    return count;
}
// Steps between two cells.
int32_t GetHexDistance(THexCell a, THexCell b);
// The arena position of a cell's centre.
void GetHexCellPosition(int32_t row, int32_t column, TVec3& position);
THexCell MakeHexCell(int32_t row, int32_t column);
bool IsSameHexCell(THexCell a, THexCell b);
// The direction 1..6 in which b is a's neighbour, 0 when it is not.
int32_t GetNeighbourDirection(THexCell a, THexCell b);
