// The hex field of a battle: 7 rows (-3..3) of 6 columns (1..6), 42 cells of
// which 30 are usable. The field is narrower towards its two far ends, so
// 12 corner cells are off the field.
#pragma once

#include <cstdint>

// Whether the cell one step from (row, column) in a direction is usable.
// Only the cell itself (direction 0) is answered here; other directions
// give false.
bool IsHexCellOnField(int32_t row, int32_t column, int32_t direction);
