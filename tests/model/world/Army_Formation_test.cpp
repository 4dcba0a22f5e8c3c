// The army formation: grid repair and slot compaction, placing by class and
// disposition, the dagger fighter's held-back cell, whole arrangements.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "model/world/Army_Formation.h"
#include "model/world/Army_Operations.h"
#include "tests/model/WorldTestSupport.h"

namespace {

class FormationTest : public TWorldTest {
protected:
    void SetUp() override
    {
        TWorldTest::SetUp();
        MakeWorld(1, 0);
    }

    // A hand-made personage in slot s of army 1 (only what placing reads).
    TPersonage& Put(int32_t s, uint8_t attackMode, int16_t strength = 10, uint8_t weapon = 0, int16_t hits = 10)
    {
        TPersonage& p = Unit(1, s);
        std::memset(static_cast<void*>(&p), 0, sizeof p);
        p.UnitType = 1;
        p.AttackMode = attackMode;
        p.Strength = strength;
        p.PersBonus[3] = weapon;
        p.Hits = hits;
        p.FullHits = hits;
        int32_t count = 0;
        for (int32_t k = 1; k <= 15; ++k)
            if (Unit(1, k).UnitType != 0)
                count = k;
        Army(1).PersonageCount = static_cast<uint8_t>(count);
        return p;
    }
    int32_t Cell(int32_t row, int32_t column) { return FormationCell(Army(1), row, column); }
    void SetGrid(int32_t row, int32_t column, int32_t value) { FormationCell(Army(1), row, column) = value; }

    // The grid holds s exactly at the personage's own cell, and only there.
    void ExpectAgreement(int32_t s)
    {
        const TPersonage& p = Unit(1, s);
        int32_t found = 0;
        for (int32_t r = 1; r <= 3; ++r)
            for (int32_t c = 1; c <= 6; ++c)
                if (Cell(r, c) == s) {
                    ++found;
                    EXPECT_EQ(p.FormationRow, r) << "slot " << s;
                    EXPECT_EQ(p.FormationColumn, c) << "slot " << s;
                }
        EXPECT_EQ(found, 1) << "slot " << s;
    }
    bool AnyHeldBack()
    {
        for (int32_t r = 1; r <= 3; ++r)
            for (int32_t c = 1; c <= 6; ++c)
                if (Cell(r, c) < 0)
                    return true;
        return false;
    }
};

} // namespace

TEST_F(FormationTest, ValidateKeepsTheLaterCellOfASlotNamedTwice)
{
    for (int32_t s = 1; s <= 7; ++s)
        Put(s, AttackModeFight);
    SetGrid(1, 2, 7);
    SetGrid(2, 3, 7);
    SetGrid(3, 6, 9); // names an empty slot
    ValidateFormation(1);
    EXPECT_EQ(Unit(1, 7).FormationRow, 2);
    EXPECT_EQ(Unit(1, 7).FormationColumn, 3);
    EXPECT_EQ(Cell(3, 6), 0);
    for (int32_t s = 1; s <= 7; ++s)
        ExpectAgreement(s);
    EXPECT_EQ(Army(1).PersonageCount, 7);
}

TEST_F(FormationTest, ValidateCompactsSlotsAndLowersTheGridNumbers)
{
    Put(1, AttackModeFight, 101);
    Put(3, AttackModeShoot, 103);
    Put(5, AttackModeSpell, 105);
    SetGrid(1, 1, 1);
    SetGrid(2, 2, 3);
    SetGrid(3, 3, 5);
    Unit(1, 1).FormationRow = 1, Unit(1, 1).FormationColumn = 1;
    Unit(1, 3).FormationRow = 2, Unit(1, 3).FormationColumn = 2;
    Unit(1, 5).FormationRow = 3, Unit(1, 5).FormationColumn = 3;
    ValidateFormation(1);
    EXPECT_EQ(Army(1).PersonageCount, 3);
    EXPECT_EQ(Unit(1, 2).Strength, 103);
    EXPECT_EQ(Unit(1, 3).Strength, 105);
    EXPECT_EQ(Cell(2, 2), 2);
    EXPECT_EQ(Cell(3, 3), 3);
    for (int32_t s = 4; s <= 5; ++s)
        EXPECT_EQ(Unit(1, s).UnitType, 0);
    for (int32_t s = 1; s <= 3; ++s)
        ExpectAgreement(s);
}

// Out-of-range cells and a cell claimed by two personages.
TEST_F(FormationTest, ValidateGivesEveryPersonageACell)
{
    Put(1, AttackModeFight).FormationRow = 9;
    Put(2, AttackModeFight);
    SetGrid(1, 1, 2);
    Unit(1, 2).FormationRow = 1, Unit(1, 2).FormationColumn = 1;
    Put(3, AttackModeFight);
    Unit(1, 3).FormationRow = 1, Unit(1, 3).FormationColumn = 1; // claims slot 2's cell
    ValidateFormation(1);
    EXPECT_EQ(Cell(1, 1), 2);
    for (int32_t s = 1; s <= 3; ++s)
        ExpectAgreement(s);
}

TEST_F(FormationTest, PlacementByClassAndDisposition)
{
    struct TCase {
        const char* Name;
        uint8_t Mode;
        uint8_t Weapon;
        int32_t Disposition; // mode of ChooseFormationCell
        int32_t Row, Column;
    };
    const TCase cases[] = {
        {"fighter, disposition 1", AttackModeFight, 0, 0, 1, 3},
        {"fighter, disposition 2", AttackModeFight, 0, 1, 1, 1},
        {"fighter, disposition 3", AttackModeFight, 0, 2, 1, 5},
        {"fighter, disposition 4", AttackModeFight, 0, 3, 1, 5},
        {"fighter, disposition 5", AttackModeFight, 0, 4, 1, 1},
        {"shooter", AttackModeShoot, 0, 0, 2, 3},
        {"caster", AttackModeSpell, 0, 0, 3, 3},
        {"caster, disposition 4", AttackModeSpell, 0, 3, 3, 4},
        {"pike", AttackModeFight, bPike, 0, 2, 3},
        {"no attack mode: a fighter", AttackModeNone, 0, 0, 1, 3},
    };
    for (const TCase& c : cases) {
        std::memset(Army(1).Formation, 0, sizeof Army(1).Formation);
        Put(1, c.Mode, 10, c.Weapon);
        PlaceInFormationByMode(1, 1, c.Disposition);
        EXPECT_EQ(Unit(1, 1).FormationRow, c.Row) << c.Name;
        EXPECT_EQ(Unit(1, 1).FormationColumn, c.Column) << c.Name;
        EXPECT_EQ(Cell(c.Row, c.Column), 1) << c.Name;
    }
}

TEST_F(FormationTest, ShootersFillRowTwoThenRowThree)
{
    for (int32_t s = 1; s <= 5; ++s) {
        Put(s, AttackModeShoot);
        PlaceInFormationByMode(1, s, 0);
    }
    const int32_t expected[5][2] = {{2, 3}, {2, 4}, {2, 2}, {2, 5}, {3, 3}};
    for (int32_t s = 1; s <= 5; ++s) {
        EXPECT_EQ(Unit(1, s).FormationRow, expected[s - 1][0]) << s;
        EXPECT_EQ(Unit(1, s).FormationColumn, expected[s - 1][1]) << s;
    }
}

TEST_F(FormationTest, DaggerFighterHoldsBackAFrontCell)
{
    Put(1, AttackModeFight, 10, bSwordDagger);
    PlaceInFormationByMode(1, 1, 0); // class 4: row 2 first
    EXPECT_EQ(Cell(2, 3), 1);
    EXPECT_EQ(Cell(1, 2), HeldBackCell);
    // A fighter does not take the held-back cell.
    Put(2, AttackModeFight);
    PlaceInFormationByMode(1, 2, 1); // disposition 2 tries (1, 1) and then (1, 2)
    EXPECT_EQ(Cell(1, 1), 2);
    Put(3, AttackModeFight);
    PlaceInFormationByMode(1, 3, 1);
    EXPECT_EQ(Cell(1, 3), 3);
}

TEST_F(FormationTest, DaggerFighterAmongManyShootersIsAFighter)
{
    for (int32_t s = 1; s <= 7; ++s)
        Put(s, s <= 4 ? AttackModeShoot : AttackModeSpell);
    Put(8, AttackModeFight, 10, bAxeDagger);
    EXPECT_EQ(GetFormationClass(Army(1), Units(1), 8), 1);
    Unit(1, 7).Hits = 0; // a fallen caster no longer counts
    EXPECT_EQ(GetFormationClass(Army(1), Units(1), 8), 4);
}

// With every cell taken, a fighter behind a held-back front cell steps
// forward and the newcomer takes its place; with none, the newcomer stays out.
TEST_F(FormationTest, FullGridStepsAFighterForward)
{
    int32_t s = 0;
    for (int32_t r = 1; r <= 3; ++r)
        for (int32_t c = 1; c <= 5; ++c) {
            if (!(r == 1 || (r == 2 && c >= 2) || (r == 3 && c >= 2 && c <= 4)) || (r == 1 && c == 2))
                continue;
            ++s;
            Put(s, AttackModeShoot);
            SetGrid(r, c, s);
            Unit(1, s).FormationRow = r, Unit(1, s).FormationColumn = c;
        }
    ASSERT_EQ(s, 11);
    const int32_t fighter = Cell(2, 3);
    Unit(1, fighter).AttackMode = AttackModeFight;
    SetGrid(1, 2, HeldBackCell);
    Put(12, AttackModeSpell);
    PlaceInFormationByMode(1, 12, 0);
    EXPECT_EQ(Cell(1, 2), fighter);
    EXPECT_EQ(Unit(1, fighter).FormationRow, 1);
    EXPECT_EQ(Cell(2, 3), 12);
    EXPECT_EQ(Unit(1, 12).FormationRow, 2);
    EXPECT_EQ(Unit(1, 12).FormationColumn, 3);

    Put(13, AttackModeFight).FormationRow = 2;
    PlaceInFormationByMode(1, 13, 0);
    EXPECT_EQ(Unit(1, 13).FormationRow, 0);
    EXPECT_EQ(Unit(1, 13).FormationColumn, 0);
}

TEST_F(FormationTest, ArrangeFallsBackToTheCentreWithFewFighters)
{
    Put(1, AttackModeShoot, 50);
    Put(2, AttackModeFight, 20);
    Put(3, AttackModeSpell, 90);
    Put(4, AttackModeFight, 30, bSwordDagger);
    Put(5, AttackModeShoot, 40);
    Army(1).Disposition = 3;
    ArrangeFormation(1, 3);
    // The strongest fighter (the dagger fighter, class 4) leads row 2 at the
    // centre; the other fighter takes the centre of the front.
    EXPECT_EQ(Cell(2, 3), 4);
    EXPECT_EQ(Cell(1, 3), 2);
    EXPECT_FALSE(AnyHeldBack());
    for (int32_t s = 1; s <= 5; ++s)
        ExpectAgreement(s);

    // Four fighters hold a flank.
    for (int32_t s = 1; s <= 4; ++s)
        Put(s, AttackModeFight, static_cast<int16_t>(50 - s));
    ArrangeFormation(1, 3);
    EXPECT_EQ(Cell(1, 5), 1);
}

TEST_F(FormationTest, ArrangeKeepModePlacesOnlyThoseWithoutACell)
{
    Put(1, AttackModeFight);
    Put(2, AttackModeFight);
    SetGrid(1, 5, 1);
    Unit(1, 1).FormationRow = 1, Unit(1, 1).FormationColumn = 5;
    ArrangeFormation(1, 5);
    EXPECT_EQ(Cell(1, 5), 1);
    EXPECT_EQ(Cell(1, 3), 2);
}

TEST_F(FormationTest, PlaceInFormationNeverTakesColumnSix)
{
    for (int32_t r = 1; r <= 3; ++r)
        for (int32_t c = 1; c <= 5; ++c)
            SetGrid(r, c, 15);
    Put(1, AttackModeFight);
    PlaceInFormation(1, 1);
    for (int32_t r = 1; r <= 3; ++r)
        EXPECT_EQ(Cell(r, 6), 0);
    EXPECT_EQ(Unit(1, 1).FormationRow, 0);

    std::memset(Army(1).Formation, 0, sizeof Army(1).Formation);
    SetGrid(1, 1, 15);
    PlaceInFormation(1, 1);
    EXPECT_EQ(Cell(1, 2), 1);
}
