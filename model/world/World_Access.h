// Checked access to the world tables for the world rules: an army or a
// building number that the tables do not hold answers "none" instead of
// reading past them, so a damaged save or a wrong caller never corrupts
// memory. The rules use these wherever a number comes from a record.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/QX9_PathFinder.h"
#include "model/ai/AIMain_Settings.h"
#include "model/tables/BuildingType.h"
#include "model/tables/Global.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Tables.h"

// The record of army or garrison a, nullptr when the tables do not hold it.
inline TGameArmy* FindArmy(int32_t a)
{
    return IsWorldArmy(a) ? &GameArmies[static_cast<size_t>(a)] : nullptr;
}

// The personage slots of army or garrison a, nullptr when not held.
inline TArmyUnits* FindArmyUnits(int32_t a)
{
    return IsWorldArmy(a) ? &ArmyUnits[static_cast<size_t>(a)] : nullptr;
}

// Whether building b has both its scenario record and its state.
inline bool IsWorldBuilding(int32_t b)
{
    return b >= 1 && b <= BuildingCount && b <= MapBuildings.Count && b <= MapBuildingMax &&
           static_cast<size_t>(b) < GameBuildings.size();
}

// The last building number the loops over buildings visit.
inline int32_t LastWorldBuilding()
{
    return std::max(0, std::min({BuildingCount, MapBuildings.Count, MapBuildingMax,
                                 static_cast<int32_t>(GameBuildings.size()) - 1}));
}

// A building exists on the map when its name text is present.
inline bool BuildingExists(int32_t b)
{
    return IsWorldBuilding(b) && !BuildingTexts[b].Name.empty();
}

// The personages of an army in use: its PersonageCount held to the 15 slots.
inline int32_t UsedSlots(const TGameArmy& army)
{
    return std::min<int32_t>(army.PersonageCount, TArmyUnits::HighIndex);
}

// The difficulty rules of the game's difficulty (held to 1..4).
inline const TDifficultyRules& CurrentDifficulty(int32_t difficulty = GameDifficulty)
{
    return DifficultyRules[std::clamp(difficulty, 1, 4)];
}

// The value of a bonus type, 0 outside the table.
inline int32_t BonusValue(int32_t b)
{
    return b >= 0 && b < BonusTypeCount ? BonusValues[b] : 0;
}

// Whether the leader (slot 1) of army a has a bonus in its set.
inline bool LeaderHas(int32_t a, int32_t bonus)
{
    const TArmyUnits* units = FindArmyUnits(a);
    return units != nullptr && (*units)[1].UnitType != 0 && (*units)[1].BonusSet.Has(bonus);
}

// The template of a unit type, nullptr outside the table.
inline const TPersonage* FindUnitType(int32_t type)
{
    return UnitTypes.InRange(type) ? &UnitTypes[type] : nullptr;
}

// Building b's scenario cell as a packed map cell.
inline int32_t BuildingCell(int32_t b)
{
    const TMapCellXZ cell = MapBuildings[b].Cell;
    return PF_PackCell(static_cast<uint16_t>(cell.X), static_cast<uint16_t>(cell.Z));
}
