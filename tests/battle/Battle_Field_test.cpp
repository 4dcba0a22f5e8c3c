// The battle field's shape: 30 usable cells of the 42.
#include <gtest/gtest.h>

#include "battle/Battle_Field.h"

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

TEST(HexFieldTest, DirectionsFromEvenAndOddRows)
{
    struct TCase {
        int32_t Row, Column, Direction, ToRow, ToColumn;
        bool OnField;
    };
    const TCase cases[] = {
        {0, 3, 0, 0, 3, true},  {0, 3, 1, 1, 2, true},  {1, 3, 1, 2, 3, true},   {0, 3, 2, 1, 3, true},
        {1, 3, 2, 2, 4, true},  {0, 3, 3, 0, 4, true},  {0, 3, 4, -1, 3, true},  {-1, 3, 4, -2, 4, true},
        {0, 3, 5, -1, 2, true}, {0, 3, 6, 0, 2, true},  {1, 3, 6, 1, 2, true},   {0, 3, 7, 2, 3, true},
        {0, 3, 8, 1, 4, true},  {1, 3, 8, 2, 5, true},  {0, 3, 11, -1, 1, true}, {-1, 3, 11, -2, 2, true},
        {0, 3, 13, 2, 2, true}, {0, 3, 15, 0, 5, true}, {0, 3, 18, 0, 1, true},  {1, 5, 3, 1, 6, false},
        {3, 4, 1, 4, 4, false}, {0, 1, 6, 0, 0, false}, {0, 3, 19, 0, 3, false}, {0, 3, -1, 0, 3, false},
    };
    for (const TCase& c : cases) {
        THexCell cell;
        EXPECT_EQ(StepHexCell(c.Row, c.Column, c.Direction, cell), c.OnField)
            << c.Row << "," << c.Column << " d" << c.Direction;
        EXPECT_EQ(cell.Row, c.ToRow) << c.Row << "," << c.Column << " d" << c.Direction;
        EXPECT_EQ(cell.Column, c.ToColumn) << c.Row << "," << c.Column << " d" << c.Direction;
    }
    // IsHexCellOnField answers for the one-step directions only.
    EXPECT_TRUE(IsHexCellOnField(0, 3, 1));
    EXPECT_FALSE(IsHexCellOnField(1, 5, 3));
    EXPECT_FALSE(IsHexCellOnField(0, 3, 7));
}

TEST(HexFieldTest, DistanceMatchesTheShortestWalk)
{
    EXPECT_EQ(GetHexDistance({0, 3}, {1, 2}), 1);
    EXPECT_EQ(GetHexDistance({0, 3}, {1, 4}), 2);
    EXPECT_EQ(GetHexDistance({1, 3}, {2, 4}), 1);
    EXPECT_EQ(GetHexDistance({-1, 3}, {-2, 4}), 1);
    EXPECT_EQ(GetHexDistance({0, 3}, {0, 3}), 0);
    // Every usable pair: the distance equals the steps of a breadth-first
    // walk over the whole grid (corners included, so no detours).
    for (int32_t r = -3; r <= 3; ++r)
        for (int32_t c = 1; c <= 6; ++c) {
            int dist[7][8];
            for (auto& row : dist)
                for (int& d : row)
                    d = -1;
            dist[r + 3][c] = 0;
            for (int level = 0; level < 12; ++level)
                for (int32_t rr = -3; rr <= 3; ++rr)
                    for (int32_t cc = 1; cc <= 6; ++cc)
                        if (dist[rr + 3][cc] == level)
                            for (int32_t d = 1; d <= 6; ++d) {
                                THexCell n;
                                StepHexCell(rr, cc, d, n);
                                if (n.Row >= -3 && n.Row <= 3 && n.Column >= 1 && n.Column <= 6 &&
                                    dist[n.Row + 3][n.Column] < 0)
                                    dist[n.Row + 3][n.Column] = level + 1;
                            }
            for (int32_t rr = -3; rr <= 3; ++rr)
                for (int32_t cc = 1; cc <= 6; ++cc)
                    EXPECT_EQ(GetHexDistance({r, c}, {rr, cc}), dist[rr + 3][cc])
                        << r << "," << c << " to " << rr << "," << cc;
        }
}

TEST(HexFieldTest, CellCentres)
{
    TVec3 p;
    GetHexCellPosition(0, 3, p);
    EXPECT_NEAR(p.x, -0.5125f, 1e-6f);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_EQ(p.z, 0.0f);
    GetHexCellPosition(1, 3, p);
    EXPECT_NEAR(p.x, 0.5125f, 1e-6f);
    EXPECT_NEAR(p.z, 1.7754f, 1e-4f);
    GetHexCellPosition(-3, 2, p);
    EXPECT_NEAR(p.x, -1.5375f, 1e-6f);
    EXPECT_NEAR(p.z, -5.3261f, 1e-4f);
}

TEST(HexFieldTest, CellMapsIgnoreCellsOutsideTheGrid)
{
    TCellMapInt map{};
    WriteCellMapInt(map, {-3, 1}, 7);
    EXPECT_EQ(map[0], 7);
    WriteCellMapInt(map, {3, 6}, 9);
    EXPECT_EQ(map[41], 9);
    AddCellMapInt(map, {3, 6}, 2);
    SubCellMapInt(map, {-3, 1}, 10);
    EXPECT_EQ(ReadCellMapInt(map, {3, 6}), 11);
    EXPECT_EQ(ReadCellMapInt(map, {-3, 1}), -3);
    const TCellMapInt before = map;
    WriteCellMapInt(map, {-3, 0}, 5);
    WriteCellMapInt(map, {4, 1}, 5);
    AddCellMapInt(map, {0, 7}, 5);
    EXPECT_EQ(map, before);
    EXPECT_EQ(ReadCellMapInt(map, {-4, 3}), 0);
    TCellMapByte bytes{};
    WriteCellMapByte(bytes, {0, 1}, 3);
    EXPECT_EQ(bytes[18], 3);
    EXPECT_EQ(ReadCellMapByte(bytes, {0, 1}), 3);
    EXPECT_EQ(ReadCellMapByte(bytes, {0, 0}), 0);
}

// Every entry of a cell map names one cell of the grid and back: walking a map
// by its entries reaches the same cells as walking the grid by rows.
TEST(HexFieldTest, CellMapIndexAndCellAreInverse)
{
    bool seen[CellMapSize] = {};
    for (int32_t row = HexRowMin; row <= HexRowMax; ++row)
        for (int32_t column = HexColumnMin; column <= HexColumnMax; ++column) {
            const int i = CellMapIndex(row, column);
            ASSERT_GE(i, 0) << row << "," << column;
            ASSERT_LT(i, CellMapSize) << row << "," << column;
            EXPECT_FALSE(seen[i]) << row << "," << column;
            seen[i] = true;
            const THexCell back = CellMapCell(i);
            EXPECT_EQ(back.Row, row) << i;
            EXPECT_EQ(back.Column, column) << i;
        }
    for (int i = 0; i < CellMapSize; ++i) {
        const THexCell c = CellMapCell(i);
        EXPECT_EQ(CellMapIndex(c.Row, c.Column), i);
    }
    struct TCase {
        int Index;
        int32_t Row, Column;
    };
    for (const TCase& c : {TCase{0, -3, 1}, TCase{5, -3, 6}, TCase{6, -2, 1}, TCase{18, 0, 1}, TCase{41, 3, 6}}) {
        const THexCell cell = CellMapCell(c.Index);
        EXPECT_EQ(cell.Row, c.Row) << c.Index;
        EXPECT_EQ(cell.Column, c.Column) << c.Index;
    }
}
