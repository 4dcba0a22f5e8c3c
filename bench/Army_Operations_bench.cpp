// Equipping an army from its carried items: 12 personages and 20 items,
// each item tried on each personage with a full reload. The trial keeps the
// whole 1712-byte record and puts it back; its share of the trial is the
// save-and-restore benchmark against the rating one.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Settings.h"
#include "model/world/Army_Operations.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Tables.h"
#include "tests/support/WorldBuilder.h"

namespace {

int32_t AddBenchItem(TItemType kind, int32_t subType, int16_t blow, int16_t defense)
{
    ++ItemCount;
    TItems& it = ItemTable[ItemCount];
    it = TItems{};
    it.MainType = static_cast<uint8_t>(kind);
    it.SubType = subType;
    it.EquipmentType = 1;
    it.Cost = 100;
    it.Abs[statAttackBlow] = blow;
    it.Abs[statDefense] = defense;
    it.Name = "item" + std::to_string(ItemCount);
    return ItemCount;
}

struct TBenchArmy {
    std::vector<int32_t> Items;
    TArmyUnits Units;

    TBenchArmy()
    {
        ClearAISettings();
        ItemCount = 0;
        ItemKindBonus[0] = bSword;
        ItemKindBonus[1] = bAxe;
        const int32_t sword = AddBenchItem(TItemType::Sword, 1, 0, 0);
        for (int i = 0; i < 4; ++i)
            Items.push_back(AddBenchItem(TItemType::Sword, 1, static_cast<int16_t>(2 + i), 0));
        for (int i = 0; i < 4; ++i)
            Items.push_back(AddBenchItem(TItemType::Helm, 1 + i % 2, 0, static_cast<int16_t>(1 + i)));
        for (int i = 0; i < 4; ++i)
            Items.push_back(AddBenchItem(TItemType::Armor, 1 + i % 2, 0, static_cast<int16_t>(2 + i)));
        for (int i = 0; i < 6; ++i)
            Items.push_back(AddBenchItem(i % 2 ? TItemType::Ring : TItemType::Amulet, 1,
                                         static_cast<int16_t>(1 + i % 3), static_cast<int16_t>(i % 2)));
        for (int i = 0; i < 2; ++i)
            Items.push_back(AddBenchItem(TItemType::Shield, 1 + i, 0, static_cast<int16_t>(3 + i)));

        UnitTypeCount = 1;
        TPersonage& t = MakeUnitTypeTemplate(1, "Footman");
        t.Weapon[1] = static_cast<uint8_t>(TWeaponClass::Sword);
        t.Armor = static_cast<uint8_t>(TArmorKind::MediumArmor);
        t.Shield = static_cast<uint8_t>(TShieldKind::BigShield);
        t.DefaultItems[1] = sword;
        t.BaseStats[statDefense] = 5;

        ClearWorldTables();
        SizeWorldTables(1, 0);
        for (int s = 1; s <= 12; ++s)
            AddPersonageSimple(1, 1, 0);
        Units = ArmyUnits[1];
    }

    void Reset()
    {
        ArmyUnits[1] = Units;
        GameArmies[1].ItemCount = 0;
        ArmyItems[1].assign(1, 0);
        for (int32_t item : Items)
            AddArmyItem(1, item);
    }
};

TBenchArmy& Army()
{
    static TBenchArmy army;
    return army;
}

void BM_AutoEquipArmy(benchmark::State& state)
{
    TBenchArmy& army = Army();
    int64_t kept = 0;
    for (auto _ : state) {
        state.PauseTiming();
        army.Reset();
        state.ResumeTiming();
        AutoEquipArmy(1);
        kept = GameArmies[1].ItemCount;
    }
    state.counters["items_left"] = static_cast<double>(kept);
}
BENCHMARK(BM_AutoEquipArmy)->Unit(benchmark::kMicrosecond);

// One rating: the trial equipping with its reload, guarded by the record's
// save and restore.
void BM_CalcSlotItemGain(benchmark::State& state)
{
    TBenchArmy& army = Army();
    army.Reset();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            CalcSlotItemGain(1, 1 + static_cast<int32_t>(i % 12), army.Items[i % army.Items.size()]));
        ++i;
    }
}
BENCHMARK(BM_CalcSlotItemGain)->Unit(benchmark::kNanosecond);

// The guard alone: the whole record saved and put back.
void BM_RecordSaveRestore(benchmark::State& state)
{
    Army().Reset();
    TPersonage& p = ArmyUnits[1][1];
    TPersonage saved;
    for (auto _ : state) {
        std::memcpy(static_cast<void*>(&saved), &p, sizeof saved);
        benchmark::ClobberMemory();
        std::memcpy(static_cast<void*>(&p), &saved, sizeof saved);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RecordSaveRestore)->Unit(benchmark::kNanosecond);

} // namespace

BENCHMARK_MAIN();
