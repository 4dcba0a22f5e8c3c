// Movement maps, approach maps, the click decision and the occupancy tests.
#include <gtest/gtest.h>

#include "battle/Battle.h"
#include "tests/battle/BattleTestSupport.h"

namespace {

int32_t At(const TCellMapInt& map, int32_t row, int32_t column)
{
    return ReadCellMapInt(map, {row, column});
}

int CountBelowFree(const TCellMapInt& map)
{
    int count = 0;
    for (int32_t v : map)
        count += v < MapFree;
    return count;
}

// Surrounds (row, column) with personages of side 1 numbered from `first`.
void Surround(TBattleFixture& f, int32_t row, int32_t column, int32_t first)
{
    for (int32_t d = 1; d <= 6; ++d) {
        THexCell c;
        if (StepHexCell(row, column, d, c))
            f.Place(1, first++, c.Row, c.Column);
    }
}

} // namespace

TEST(BattleMapsTest, MoveMapCountsStepsAroundPersonages)
{
    TBattleFixture f;
    f.Place(1, 1, 0, 1);
    f.Place(2, 1, 0, 3);
    TCellMapInt map;
    f.Battle->BuildMoveMap(1, 1, map);
    EXPECT_EQ(At(map, 0, 1), 0);
    EXPECT_EQ(At(map, 0, 2), 1);
    EXPECT_EQ(At(map, 0, 3), MapOccupied);
    EXPECT_EQ(At(map, 0, 4), 4); // around the enemy
    EXPECT_EQ(At(map, 3, 1), MapOff);
    EXPECT_EQ(At(map, -3, 4), 5);
    // A dead personage's cell is free.
    f.Battle->Personage(2, 1).Hits = 0;
    f.Battle->BuildMoveMap(1, 1, map);
    EXPECT_EQ(At(map, 0, 3), 2);
    EXPECT_EQ(MaxCellMapDistance(map), 5);
}

TEST(BattleMapsTest, BoxedInPersonageAndFreeingACell)
{
    TBattleFixture f;
    f.Place(1, 1, 0, 3);
    Surround(f, 0, 3, 2);
    f.Remove(1, 4);
    f.Place(2, 1, 0, 4); // direction 3 is an enemy
    TCellMapInt map;
    f.Battle->BuildMoveMap(1, 1, map);
    EXPECT_EQ(CountBelowFree(map), 1);
    EXPECT_EQ(At(map, 0, 3), 0);
    EXPECT_EQ(MaxCellMapDistance(map), 0);

    f.Battle->BuildDistanceMapFreeing(1, 1, map, {0, 4});
    EXPECT_EQ(At(map, 0, 4), 1);
    EXPECT_EQ(At(map, 0, 5), 2);
    EXPECT_EQ(At(map, 0, 2), MapOccupied);
}

TEST(BattleMapsTest, SearchFromACellStopsAtTheStopCell)
{
    TBattleFixture f;
    TCellMapInt full, stopped;
    f.Battle->BuildDistanceMap(0, 0, full, {0, 0}, {0, 1});
    EXPECT_EQ(At(full, 0, 1), 0);
    EXPECT_EQ(At(full, 0, 6), 5);
    // (-1, 1) is the last cell level 0 numbers (direction 4 comes last on
    // the field from (0, 1)), so the search ends after level 0.
    f.Battle->BuildDistanceMap(0, 0, stopped, {-1, 1}, {0, 1});
    EXPECT_EQ(At(stopped, -1, 1), 1);
    EXPECT_EQ(At(stopped, 0, 2), 1);
    EXPECT_EQ(At(stopped, 0, 3), MapFree);
    EXPECT_EQ(MaxCellMapDistance(stopped), 1);
}

TEST(BattleMapsTest, PruneCutsWhatLostItsLink)
{
    TCellMapInt map;
    map.fill(MapFree);
    WriteCellMapInt(map, {0, 1}, 0);
    WriteCellMapInt(map, {0, 2}, 1);
    WriteCellMapInt(map, {0, 3}, 2);
    WriteCellMapInt(map, {0, 4}, 3);
    WriteCellMapInt(map, {0, 6}, 2); // no neighbour numbered 1
    TBattleFixture f;
    f.Battle->PruneUnlinkedCells(map);
    EXPECT_EQ(At(map, 0, 4), 3);
    EXPECT_EQ(At(map, 0, 6), MapFree);
    WriteCellMapInt(map, {0, 2}, MapFree);
    f.Battle->PruneUnlinkedCells(map);
    EXPECT_EQ(At(map, 0, 3), MapFree);
    EXPECT_EQ(At(map, 0, 4), MapFree);
    EXPECT_EQ(At(map, 0, 1), 0);
}

TEST(BattleMapsTest, ApproachWithoutEnemies)
{
    TBattleFixture f;
    f.Place(1, 1, -2, 3, mFight);
    f.Place(2, 1, 2, 3, mFight);
    f.Remove(2, 1);
    TCellMapInt map;
    f.Battle->BuildMoveMap(1, 1, map);
    const TCellMapInt before = map;
    EXPECT_EQ(f.Battle->GetAttackApproach(1, 1, false, map), NoApproach);
    EXPECT_EQ(map, before);
    EXPECT_EQ(f.Battle->GetAttackApproach(1, 1, true, map), NoApproach);
    EXPECT_EQ(map, before);
}

TEST(BattleMapsTest, ApproachCutsAFightersMapOnly)
{
    TBattleFixture f;
    f.Place(1, 1, -2, 3, mShoot);
    f.Place(2, 1, 1, 3, mFight);
    TCellMapInt map;
    f.Battle->BuildMoveMap(1, 1, map);
    const TCellMapInt before = map;
    const int32_t result = f.Battle->GetAttackApproach(1, 1, false, map);
    EXPECT_EQ(result, 2); // (0, 3) and (0, 4) touch the enemy
    EXPECT_EQ(map, before);

    f.Battle->Personage(1, 1).AttackMode = mFight;
    EXPECT_EQ(f.Battle->GetAttackApproach(1, 1, false, map), 2);
    for (int32_t row = -3; row <= 3; ++row)
        for (int32_t column = 1; column <= 6; ++column) {
            const int32_t v = At(map, row, column);
            if (v == 2) {
                EXPECT_EQ(GetHexDistance({row, column}, {1, 3}), 1) << row << "," << column;
            } else if (v != 0 && v != 1) {
                EXPECT_GE(v, MapFree) << row << "," << column;
            }
        }
    EXPECT_EQ(At(map, 0, 3), 2);
    EXPECT_EQ(At(map, 0, 4), 2);
    EXPECT_EQ(At(map, -1, 3), 1);
    EXPECT_EQ(At(map, 0, 2), MapFree); // two steps away, but no enemy next to it
}

TEST(BattleMapsTest, PikeReachesTwoCells)
{
    TBattleFixture f;
    TPersonage& pike = f.Place(1, 1, -2, 3, mFight);
    pike.BonusSet.Include(bPike);
    f.Place(2, 1, 1, 3, mFight);
    TCellMapInt map;
    f.Battle->BuildMoveMap(1, 1, map);
    EXPECT_EQ(f.Battle->GetAttackApproach(1, 1, false, map), 1);
    EXPECT_EQ(At(map, -1, 3), 1);
}

// The decision is packed: its numbers are compared as copies (+d.X).
TEST(BattleMapsTest, ClickDecisions)
{
    TBattleFixture f;
    f.Place(1, 1, 0, 2);
    TBattle& b = *f.Battle;
    TCellMapInt map;
    b.BuildMoveMap(1, 1, map);

    TBattleDecision d{};
    d.Side = 1;
    d.Slot = 1;
    b.SlotState(1, 1).Target = -3;
    b.SlotState(1, 1).SpellSlot = 4;
    EXPECT_TRUE(b.DecideFromClick(map, {0, 5}, d));
    EXPECT_EQ(+d.Mode, mMove);
    EXPECT_EQ(+d.TargetSide, 2);
    EXPECT_EQ(+d.TargetSlot, 3);
    EXPECT_EQ(+d.SpellSlot, 4);
    EXPECT_EQ(GetHexDistance(THexCell(d.MoveCell), {0, 2}), 1);
    EXPECT_EQ(GetHexDistance(THexCell(d.MoveCell), {0, 5}), 2);
    EXPECT_EQ(+d.ClickCell.Row, 0);
    EXPECT_EQ(+d.ClickCell.Column, 5);

    d = {};
    d.Side = 1;
    d.Slot = 1;
    EXPECT_TRUE(b.DecideFromClick(map, {1, 2}, d));
    EXPECT_EQ(+d.Mode, mMoveTo);
    EXPECT_EQ(+d.MoveCell.Row, 1);
    EXPECT_EQ(+d.MoveCell.Column, 2);

    // A click on its own cell or on no cell decides nothing.
    d = {};
    d.Side = 1;
    d.Slot = 1;
    EXPECT_TRUE(b.DecideFromClick(map, {0, 2}, d));
    EXPECT_TRUE(b.DecideFromClick(map, {0, 0}, d));
    EXPECT_EQ(+d.Mode, mNone);
    EXPECT_EQ(+d.ClickCell.Column, 0);

    b.Personage(1, 1).BonusSet.Include(bLevitation);
    EXPECT_TRUE(b.DecideFromClick(map, {-3, 4}, d));
    EXPECT_EQ(+d.Mode, mMoveTo);
    EXPECT_EQ(+d.MoveCell.Row, -3);
    EXPECT_EQ(+d.MoveCell.Column, 4);
}

TEST(BattleMapsTest, ClickIntoAClosedPocketGivesNoMove)
{
    TBattleFixture f;
    f.Place(1, 1, -3, 2);
    Surround(f, 1, 3, 2); // (1, 3) is free but closed in
    TBattle& b = *f.Battle;
    TCellMapInt map;
    b.BuildMoveMap(1, 1, map);
    ASSERT_EQ(At(map, 1, 3), MapFree);
    TBattleDecision d{};
    d.Side = 1;
    d.Slot = 1;
    d.Mode = mMove;
    EXPECT_TRUE(b.DecideFromClick(map, {1, 3}, d));
    EXPECT_EQ(+d.Mode, mNone);
    EXPECT_EQ(+d.MoveCell.Column, 0);
    EXPECT_EQ(+d.ClickCell.Column, 3);
}

TEST(BattleMapsTest, HighestAndLowestCells)
{
    TCellMapInt map{};
    WriteCellMapInt(map, {-1, 2}, 5);
    WriteCellMapInt(map, {1, 4}, 5);
    WriteCellMapInt(map, {2, 2}, 3);
    WriteCellMapInt(map, {3, 3}, 3);
    WriteCellMapInt(map, {0, 1}, -9);
    THexCell c = FindHighestCell(map);
    EXPECT_EQ(c.Row, -1);
    EXPECT_EQ(c.Column, 2);
    c = FindLowestCell(map);
    EXPECT_EQ(c.Row, 2);
    EXPECT_EQ(c.Column, 2);
    map.fill(0);
    c = FindHighestCell(map);
    EXPECT_EQ(c.Row, 0);
    EXPECT_EQ(c.Column, 0);
    EXPECT_EQ(FindLowestCell(map).Column, 0);
}

TEST(BattleMapsTest, OccupancyAndContact)
{
    TBattleFixture f;
    f.Place(1, 1, 0, 3, mFight);
    f.Place(1, 2, 0, 4, mShoot);
    f.Place(2, 1, 1, 3, mFight);
    TBattle& b = *f.Battle;
    EXPECT_TRUE(b.IsCellOfSide(1, {1, 3}, 0, mEnemy));
    EXPECT_TRUE(b.IsCellOfSide(1, {1, 3}, mFight, mEnemy));
    EXPECT_FALSE(b.IsCellOfSide(1, {1, 3}, mShoot, mEnemy));
    EXPECT_TRUE(b.IsCellOfSide(2, {0, 4}, mShoot, mEnemy));
    EXPECT_TRUE(b.IsCellOfSide(1, {0, 4}, mShoot, 0));
    EXPECT_FALSE(b.IsCellOfSide(2, {0, 4}, 0, 0));
    EXPECT_FALSE(b.IsCellOfSide(3, {0, 4}, 0, 0));
    EXPECT_FALSE(b.IsCellOfSide(1, {0, 5}, 0, mEnemy));

    b.UpdateContact(1, 1);
    EXPECT_EQ(b.Personage(1, 1).InContact, 1);
    b.UpdateContact(1, 2);
    EXPECT_EQ(b.Personage(1, 2).InContact, 1);
    f.Remove(2, 1);
    b.UpdateContact(1, 1);
    EXPECT_EQ(b.Personage(1, 1).InContact, 0);

    // An insane personage takes its own side for the enemy.
    b.Personage(1, 1).BonusSet.Include(eInsanity);
    b.UpdateContact(1, 1);
    EXPECT_EQ(b.Personage(1, 1).InContact, 1);
    EXPECT_TRUE(b.IsCellOfSideFor(1, 1, mShoot, mEnemy, {0, 4}));
    EXPECT_FALSE(b.IsCellOfSideFor(1, 2, 0, mEnemy, {0, 3}));
}
