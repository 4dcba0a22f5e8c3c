#include "battle/Battle_Field.h"

#include <cmath>
#include <cstdlib>

namespace {

// The corners cut off by the field's shape: |row| 1 loses column 6,
// |row| 2 columns 1 and 6, |row| 3 columns 1, 5 and 6.
bool IsUsableCell(int32_t row, int32_t column)
{
    if (row < HexRowMin || row > HexRowMax || column < HexColumnMin || column > HexColumnMax)
        return false;
    switch (std::abs(row)) {
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

struct TStep {
    int32_t Row;
    int32_t EvenColumn;
    int32_t OddColumn;
};

// Directions 0..18: 1..6 one step, 7..12 the cells at distance 2 between
// the straight lines, 13..18 two steps straight on in 1..6. The column
// change depends on the parity of the starting row only.
constexpr TStep Steps[19] = {
    {0, 0, 0},                                                                 // 0
    {1, -1, 0},  {1, 0, 1}, {0, 1, 1},  {-1, 0, 1}, {-1, -1, 0},  {0, -1, -1}, // 1..6
    {2, 0, 0},   {1, 1, 2}, {-1, 1, 2}, {-2, 0, 0}, {-1, -2, -1}, {1, -2, -1}, // 7..12
    {2, -1, -1}, {2, 1, 1}, {0, 2, 2},  {-2, 1, 1}, {-2, -1, -1}, {0, -2, -2}, // 13..18
};

} // namespace

void AddCellMapInt(TCellMapInt& map, THexCell cell, int32_t value)
{
    const int i = CellMapIndex(cell.Row, cell.Column);
    if (i >= 0)
        map[i] = static_cast<int32_t>(static_cast<uint32_t>(map[i]) + static_cast<uint32_t>(value));
}

void SubCellMapInt(TCellMapInt& map, THexCell cell, int32_t value)
{
    const int i = CellMapIndex(cell.Row, cell.Column);
    if (i >= 0)
        map[i] = static_cast<int32_t>(static_cast<uint32_t>(map[i]) - static_cast<uint32_t>(value));
}

bool StepHexCell(int32_t row, int32_t column, int32_t direction, THexCell& cell)
{
    cell = THexCell{row, column};
    if (direction < 0 || direction > 18)
        return false;
    const TStep& step = Steps[direction];
    const bool odd = (row % 2) != 0;
    cell.Row = row + step.Row;
    cell.Column = column + (odd ? step.OddColumn : step.EvenColumn);
    return IsUsableCell(cell.Row, cell.Column);
}

bool IsHexCellOnField(int32_t row, int32_t column, int32_t direction)
{
    if (direction < 0 || direction > 6)
        return false;
    THexCell cell;
    return StepHexCell(row, column, direction, cell);
}

int32_t GetHexDistance(THexCell a, THexCell b)
{
    const bool odd = (a.Row % 2) != 0;
    const int32_t k = ((odd && a.Column < b.Column) || (!odd && a.Column > b.Column)) ? 1 : 0;
    const int32_t dr = std::abs(a.Row - b.Row);
    const int32_t dc = std::abs(a.Column - b.Column);
    const int32_t t = dc - (dr + k) / 2;
    return t > 0 ? dr + t : dr;
}

void GetHexCellPosition(int32_t row, int32_t column, TVec3& position)
{
    const double h = (row % 2) != 0 ? 0.25 : -0.25;
    position.x = static_cast<float>((column - 3 + h) * 2.05);
    position.y = 0.0f;
    position.z = static_cast<float>(row * 2.05 * std::cos(M_PI / 6.0));
}

THexCell MakeHexCell(int32_t row, int32_t column)
{
    return THexCell{row, column};
}

bool IsSameHexCell(THexCell a, THexCell b)
{
    return a.Row == b.Row && a.Column == b.Column;
}

int32_t GetNeighbourDirection(THexCell a, THexCell b)
{
    for (int32_t d = 1; d <= 6; ++d) {
        THexCell c;
        StepHexCell(a.Row, a.Column, d, c);
        if (IsSameHexCell(c, b))
            return d;
    }
    return 0;
}
