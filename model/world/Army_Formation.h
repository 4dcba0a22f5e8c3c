// The formation of an army: the 3 x 6 grid of army slot numbers in its
// record (row 1 the front) that the battle side builder turns into starting
// cells, kept in agreement with each personage's FormationRow and
// FormationColumn. Only 12 cells are usable: row 1 columns 1..5, row 2
// columns 2..5, row 3 columns 2..4. A personage for whom no cell is left
// stays outside the grid with row and column 0.
#pragma once

#include <cstdint>

#include "model/world/World_Tables.h"

// The grid cell value of a cell held back for a dagger fighter while an
// arrangement runs.
constexpr int32_t HeldBackCell = -1;

// Rows tried by placing class 1 fighter, 2 shooter, 3 caster, 4 pike or
// dagger fighter: [class 1..4][1..3].
extern const int32_t FormationRowOrder[5][4];
// Columns tried, by disposition 1..5 and row 1..3: [d][row][1..5], 0 ends a row.
extern const int32_t FormationColumnOrder[6][4][6];

// The grid cell (row 1..3, column 1..6) of an army record.
inline int32_t& FormationCell(TGameArmy& army, int32_t row, int32_t column)
{
    return army.Formation[row - 1][column - 1];
}
inline int32_t FormationCell(const TGameArmy& army, int32_t row, int32_t column)
{
    return army.Formation[row - 1][column - 1];
}

// The placing class 1..4 of the personage in a slot; 0 when it has none
// (an attack mode that is none of the three and no pike or dagger).
int32_t GetFormationClass(const TGameArmy& army, const TArmyUnits& units, int32_t slot);
// The arrangement order key: Strength plus 300000 for fighters, 200000 for
// shooters, 100000 for casters.
int32_t GetFormationKey(const TPersonage& p);

// Repairs the grid and the personages' cells, gives a cell to every
// personage without one, and compacts the slots so that they are 1..count.
void ValidateFormation(int32_t army);
// Places the personage of one slot by its class and a disposition (mode
// 0..4; 7 the army's own Disposition). A personage of no class is placed as
// a fighter.
void ChooseFormationCell(TGameArmy& army, TArmyUnits& units, int32_t slot, int32_t mode);
void PlaceInFormationByMode(int32_t army, int32_t slot, int32_t mode);
// Rebuilds the grid: mode 0..4 a disposition, 5 keeps the placed and places
// the rest, 6 a random disposition, 7 the army's own.
void ArrangeFormation(int32_t army, int32_t mode);
