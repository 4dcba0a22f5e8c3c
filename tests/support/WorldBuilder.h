// Building blocks of small game tables and worlds in memory, shared by the
// rule tests and the benchmarks: a plain unit-type template and world
// tables of a given size, every record zero-filled.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/tables/Global.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Tables.h"

// Unit type `index` as a Units.Ini-like template: a plain level-1 fighter of
// People (50 hits, initiative 10, blow 10).
inline TPersonage& MakeUnitTypeTemplate(int32_t index, const std::string& name)
{
    TPersonage& t = UnitTypes[index];
    std::memset(static_cast<void*>(&t), 0, sizeof t);
    t.UnitType = index;
    t.BaseType = index;
    t.Used = 1;
    t.Level = 1;
    t.Name.Assign(name);
    t.TypeName.Assign(name.substr(0, 20));
    t.Nature = static_cast<uint8_t>(TPersNature::People);
    t.Kind = static_cast<uint8_t>(TPersNature::Military);
    t.StrengthMultipler = 100;
    t.StartExpirience = 100;
    t.LevelMultipler = 150;
    t.WoundLimit = 4;
    t.EquipmentType = 1;
    t.BaseStats[1] = 50;
    t.BaseStats[2] = 10;
    t.BaseStats[3] = 10;
    t.MapModelIndex = -1;
    t.ArenaModelIndex = -1;
    return t;
}

// World tables for armies 0..armies and buildings 1..buildings with their
// garrisons, all zero; every army active at the usual walking speed, one
// diplomacy group, the scenario's army and building counts to match.
inline void SizeWorldTables(int32_t armies, int32_t buildings)
{
    ArmyCount = armies;
    BuildingCount = buildings;
    GarrisonCount = buildings;
    MapArmies.Count = armies;
    MapBuildings.Count = buildings;
    const size_t all = static_cast<size_t>(armies + buildings + 1);
    GameArmies.assign(all, TGameArmy{});
    ArmyUnits.resize(all);
    for (TArmyUnits& units : ArmyUnits)
        std::memset(static_cast<void*>(&units), 0, sizeof units);
    ArmyItems.assign(all, TIntArray{0});
    for (TGameArmy& army : GameArmies) {
        army.Active = 1;
        army.WalkSpeed = 75000;
    }
    ArmyMoves.assign(static_cast<size_t>(armies + 1), std::vector<TGameArmyMove>(static_cast<size_t>(armies + 1)));
    Diplomacy.assign(1, TIntArray{0});
    GameBuildings.assign(static_cast<size_t>(buildings + 1), TGameBuilding{});
    BuildingNeighbours.assign(static_cast<size_t>(buildings + 1), TIntArray{});
}
