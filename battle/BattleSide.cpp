#include "battle/BattleSide.h"

#include <cstdlib>
#include <cstring>

#include "battle/Battle_Field.h"
#include "model/ai/AIMain_Settings.h"
#include "model/world/Army_Formation.h"
#include "model/personage/Personage_Rules.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Tables.h"

alignas(16) TBattleSide AttackerSide;
alignas(16) TBattleSide DefenderSide;

namespace {

constexpr uint8_t GarrisonLevelLimit = 25;

void SetExperienceTerms(int32_t army, int32_t difficulty, TBattleSide& side)
{
    side.HeroExpFactor = 1.0f;
    side.HeroExpBonus = 0;
    side.ExpFactor = 1.0f;
    side.ExpBonus = 0;
    if (army == PlayerArmy) {
        const TDifficultyRules& rules = DifficultyRules[difficulty];
        side.HeroExpFactor =
            static_cast<float>(MapStory.PlayerExpPercent / 100.0 * rules.HeroExperiencePercent / 100.0);
        side.HeroExpBonus = rules.HeroExperienceAddition;
        side.HeroLevelLimit = MapStory.HeroLevelLimit;
        side.UnitLevelLimit = MapStory.UnitLevelLimit;
    } else if (army > ArmyCount) {
        const int32_t b = army - ArmyCount;
        if (b <= MapBuildings.Max)
            side.ExpFactor = static_cast<float>(MapBuildings[b].GarrisonExpPercent / 100.0);
        side.HeroLevelLimit = GarrisonLevelLimit;
        side.UnitLevelLimit = GarrisonLevelLimit;
    } else if (army <= MapArmies.Max) {
        side.ExpFactor = static_cast<float>(MapArmies[army].ExpPercent / 100.0);
    }
}

// Puts battle personage n on grid cell (row, column) of its side's half.
void PlaceOnCell(TBattleSide& side, int32_t n, int32_t row, int32_t column, uint8_t sideFlag)
{
    side.Formation[row - 1][column - 1] = n;
    TPersonage& p = side.Personages[n];
    p.FormationRow = sideFlag != 0 ? row : -row;
    p.FormationColumn = column;
    p.PikeBraced = p.PersBonus[3] == bPike && row == 1 ? 1 : 0;
}

bool IsFreeGridCell(const TBattleSide& side, int32_t row, int32_t column)
{
    return row >= 1 && row <= 3 && column >= 1 && column <= 6 && IsHexCellOnField(row, column, 0) &&
           side.Formation[row - 1][column - 1] == 0;
}

// A personage the grid did not place: its kept cell when that is free, else
// the first free cell in the order the formation would choose.
bool PlaceUnplaced(const TGameArmy& record, const TArmyUnits& units, int32_t slot, int32_t n, uint8_t sideFlag,
                   TBattleSide& side)
{
    const TPersonage& p = side.Personages[n];
    const int32_t keptRow = std::abs(p.FormationRow);
    if (IsFreeGridCell(side, keptRow, p.FormationColumn)) {
        PlaceOnCell(side, n, keptRow, p.FormationColumn, sideFlag);
        return true;
    }
    int32_t c = GetFormationClass(record, units, slot);
    if (c < 1 || c > 4)
        c = 1;
    int32_t disposition = record.Disposition;
    if (disposition < 0 || disposition > 4)
        disposition = 0;
    for (int32_t r = 1; r <= 3; ++r) {
        const int32_t row = FormationRowOrder[c][r];
        for (int32_t i = 1; i <= 5; ++i) {
            const int32_t column = FormationColumnOrder[disposition + 1][row][i];
            if (column != 0 && IsFreeGridCell(side, row, column)) {
                PlaceOnCell(side, n, row, column, sideFlag);
                return true;
            }
        }
    }
    return false;
}

} // namespace

void BuildBattleSide(int32_t army, uint8_t sideFlag, TBattleSide& side)
{
    std::memset(static_cast<void*>(&side), 0, sizeof side);
    side.Army = army;
    if (!IsWorldArmy(army))
        return;
    int32_t difficulty = GameDifficulty;
    if (difficulty < 1 || difficulty > 4)
        difficulty = 2;
    SetExperienceTerms(army, difficulty, side);

    const TGameArmy& record = GameArmies[static_cast<size_t>(army)];
    const TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    TRangeArray<int32_t, 1, ArmySlotCount> battleNumber{};
    const int32_t count = record.PersonageCount < ArmySlotCount ? record.PersonageCount : ArmySlotCount;
    for (int32_t s = 1; s <= count; ++s) {
        const TPersonage& p = units[s];
        // A personage whose upkeep is owed stays home; the leader always goes.
        if (p.Hits <= 1 || (s != 1 && p.UpkeepDebt != 0))
            continue;
        const int32_t n = ++side.LivingCount;
        PrepareBattleCopy(p, side.Personages[n]);
        side.ArmySlot[n] = s;
        side.Living[n] = n;
        battleNumber[s] = n;
    }

    TRangeArray<bool, 1, ArmySlotCount> placed{};
    for (int32_t row = 1; row <= 3; ++row)
        for (int32_t column = 1; column <= 6; ++column) {
            const int32_t slot = record.Formation[row - 1][column - 1];
            if (slot < 1 || slot > ArmySlotCount || battleNumber[slot] == 0)
                continue;
            const int32_t n = battleNumber[slot];
            // A damaged grid may name a corner or one slot twice.
            if (placed[n] || !IsHexCellOnField(row, column, 0))
                continue;
            PlaceOnCell(side, n, row, column, sideFlag);
            placed[n] = true;
        }
    int32_t living = 0;
    for (int32_t n = 1; n <= side.LivingCount; ++n) {
        if (placed[n] || PlaceUnplaced(record, units, side.ArmySlot[n], n, sideFlag, side))
            side.Living[++living] = n;
    }
    for (int32_t k = living + 1; k <= side.LivingCount; ++k)
        side.Living[k] = 0;
    side.LivingCount = living;

    if (army > ArmyCount) {
        const size_t b = static_cast<size_t>(army - ArmyCount);
        if (b < GameBuildings.size()) {
            side.AssaultA = GameBuildings[b].AssaultA;
            side.AssaultB = GameBuildings[b].AssaultB;
            side.AssaultC = GameBuildings[b].AssaultC;
        }
    }

    const TDifficultyRules& play = DifficultyRules[army == PlayerArmy ? 4 : difficulty];
    side.BattleKillTarget = play.BattleKillTarget ? 1 : 0;
    side.BattleCureTarget = play.BattleCureTarget ? 1 : 0;
    side.BattleAction = play.BattleAction ? 1 : 0;
}
