#include "battle/Battle_HexField.h"

namespace {

// The corners cut off by the field's shape: |row| 1 loses column 6,
// |row| 2 columns 1 and 6, |row| 3 columns 1, 5 and 6.
bool IsUsableCell(int32_t row, int32_t column)
{
    if (row < -3 || row > 3 || column < 1 || column > 6)
        return false;
    const int32_t depth = row < 0 ? -row : row;
    switch (depth) {
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

} // namespace

bool IsHexCellOnField(int32_t row, int32_t column, int32_t direction)
{
    if (direction != 0)
        return false;
    return IsUsableCell(row, column);
}
