// The battle field's shape: 30 usable cells of the 42.
#include <gtest/gtest.h>

#include "battle/Battle_HexField.h"

TEST(HexFieldTest, ThirtyCellsAreUsable)
{
    int32_t usable = 0;
    for (int32_t row = -4; row <= 4; ++row)
        for (int32_t column = 0; column <= 7; ++column)
            usable += IsHexCellOnField(row, column, 0);
    EXPECT_EQ(usable, 30);
    struct TCell {
        int32_t Row, Column;
    };
    for (const TCell c : {TCell{1, 6}, TCell{-1, 6}, TCell{2, 1}, TCell{-2, 6}, TCell{3, 1}, TCell{-3, 5}, TCell{3, 6}})
        EXPECT_FALSE(IsHexCellOnField(c.Row, c.Column, 0)) << c.Row << " " << c.Column;
    for (const TCell c : {TCell{0, 1}, TCell{0, 6}, TCell{1, 5}, TCell{2, 2}, TCell{-3, 4}})
        EXPECT_TRUE(IsHexCellOnField(c.Row, c.Column, 0)) << c.Row << " " << c.Column;
}
