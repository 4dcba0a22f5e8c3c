// Building blocks of small game tables and worlds in memory, shared by the
// rule tests and the benchmarks: a plain unit-type template and world
// tables of a given size, every record zero-filled.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/tables/BuildingType.h"
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

// The small world the screen tests open their screens on: unit types 1..4;
// the player's army 0 led by its hero (slot 1, the formation's first cell)
// with three more personages and a bag of three items; army 1 a computer
// army; building 1 a town whose shop holds three items, building 2 a castle
// with three hire slots open to the player and a garrison of one personage.
inline void BuildScreenWorld()
{
    SizeWorldTables(1, 2);
    const char* const names[] = {"Knight", "Archer", "Spearman", "Healer"};
    for (int32_t type = 1; type <= 4; type++)
        MakeUnitTypeTemplate(type, names[type - 1]);
    auto place = [](int32_t army, int32_t slot, int32_t type) {
        TPersonage& p = ArmyUnits[static_cast<size_t>(army)][slot];
        p = UnitTypes[type];
        p.Hits = p.BaseStats[1];
    };
    place(PlayerArmy, 1, 1);
    place(PlayerArmy, 2, 2);
    place(PlayerArmy, 3, 3);
    place(PlayerArmy, 4, 4);
    TGameArmy& player = GameArmies[PlayerArmy];
    player.LeaderType = 1;
    player.PersonageCount = player.LivingCount = player.AbleCount = 4;
    player.Formation[0][0] = 1;
    player.Formation[0][1] = 2;
    player.Formation[1][0] = 3;
    player.Formation[1][1] = 4;
    player.Gold = 1000;
    ArmyItems[PlayerArmy] = {0, 1, 2, 3};
    player.ItemCount = 3;
    place(1, 1, 3);
    GameArmies[1].PersonageCount = GameArmies[1].LivingCount = 1;

    MapBuildings[1].BuildingType = static_cast<uint8_t>(TBuildingType::Town);
    GameBuildings[1].ShopOpen = 1;
    for (int32_t i = 1; i <= 3; i++)
        GameBuildings[1].ShopItems[i] = i;
    MapBuildings[2].BuildingType = static_cast<uint8_t>(TBuildingType::Castle);
    GameBuildings[2].HireOpen = 1;
    for (int32_t slot = 1; slot <= 3; slot++) {
        GameBuildings[2].HireSlots[slot].UnitType = static_cast<int16_t>(slot + 1);
        GameBuildings[2].HireSlots[slot].Stock = 2;
        MapBuildings[2].HireSlots[slot].UnitType = static_cast<int16_t>(slot + 1);
        MapBuildings[2].HireSlots[slot].PlayerMayHire = 1;
    }
    const int32_t garrison = GetGarrisonArmyIndex(2);
    place(garrison, 1, 3);
    GameArmies[static_cast<size_t>(garrison)].PersonageCount = 1;
    GameArmies[static_cast<size_t>(garrison)].LivingCount = 1;
}
