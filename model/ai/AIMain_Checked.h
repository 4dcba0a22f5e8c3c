// Checked access to the world tables for the guarded steps of the strategic
// AI (target choice, building visits, the battle aftermath): a number the
// tables do not hold throws std::out_of_range, and the step's guard reports
// it as a "Main AI Error" and goes on as if nothing was found.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "model/ai/AIMain_Settings.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/World_Access.h"

inline TGameArmy& ArmyAt(int32_t a)
{
    TGameArmy* army = FindArmy(a);
    if (army == nullptr)
        throw std::out_of_range("army " + std::to_string(a));
    return *army;
}

inline TArmyUnits& UnitsAt(int32_t a)
{
    TArmyUnits* units = FindArmyUnits(a);
    if (units == nullptr)
        throw std::out_of_range("army units " + std::to_string(a));
    return *units;
}

inline TPersonage& PersonageAt(int32_t a, int32_t slot)
{
    if (!TArmyUnits::InRange(slot))
        throw std::out_of_range("army slot " + std::to_string(slot));
    return UnitsAt(a)[slot];
}

inline TGameBuilding& BuildingAt(int32_t b)
{
    if (!IsWorldBuilding(b))
        throw std::out_of_range("building " + std::to_string(b));
    return GameBuildings[static_cast<size_t>(b)];
}

inline TGameArmyMove& MoveCell(int32_t a, int32_t b)
{
    return ArmyMoves.at(static_cast<size_t>(a)).at(static_cast<size_t>(b));
}

inline TGameArmyTarget& TargetCell(int32_t a, int32_t b)
{
    return ArmyTargets.at(static_cast<size_t>(a)).at(static_cast<size_t>(b));
}

inline const TMapArmy& ScenarioArmy(int32_t a)
{
    if (a < 0 || a > MapArmies.Count || a > MapArmyMax)
        throw std::out_of_range("scenario army " + std::to_string(a));
    return MapArmies[a];
}

inline const TArmyBehaviorRules& BehaviorRulesOf(const TMapArmy& record)
{
    if (record.Behavior >= ArmyBehaviorCount)
        throw std::out_of_range("behaviour " + std::to_string(record.Behavior));
    return ArmyBehaviorRules[record.Behavior];
}

inline const TItems& ItemAt(int32_t item)
{
    const TItems* found = FindItem(item);
    if (found == nullptr)
        throw std::out_of_range("item " + std::to_string(item));
    return *found;
}
