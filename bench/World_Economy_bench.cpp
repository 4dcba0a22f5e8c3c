// The world's daily and hourly work at full scale: 600 items, 250 armies and
// 1,500 buildings with shops and garrisons of 12 personages, all built in
// memory. The daily restock runs both the game's assortment and the plain
// selection sort it replaces, which must give the same shops.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Movement.h"
#include "model/ai/AIMain_Settings.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/Prices.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Clock.h"
#include "model/world/World_Economy.h"
#include "tests/support/ShopAssortmentReference.h"
#include "tests/support/WorldBuilder.h"

namespace {

constexpr int32_t Armies = 250;
constexpr int32_t Buildings = 1500;
constexpr int32_t Items = 600;
constexpr int32_t TypesUsed = 12;

void MakeItems()
{
    ItemCount = Items;
    ItemMaxCost = 0;
    for (int32_t i = 1; i <= Items; ++i) {
        TItems& it = ItemTable[i];
        it = TItems{};
        int kind = i % 34;
        if (kind == 13)
            kind = 29;
        it.MainType = static_cast<uint8_t>(kind);
        it.SubType = 1 + i % 3;
        it.EquipmentType = 1;
        it.Cost = 5 + (i * 37) % 995;
        it.Alignment = static_cast<uint8_t>(i % 7 < 4 ? 0 : i % 5);
        it.Unique = i % 97 == 0 ? 4 : 0;
        it.dHit = kind == 29 && i % 2 == 0 ? 10 : 0;
        it.dMana = kind == 29 && i % 2 != 0 ? 5 : 0;
        it.Abs[statAttackBlow] = static_cast<int16_t>(i % 5);
        it.Abs[statDefense] = static_cast<int16_t>(i % 4);
        it.Name = "item" + std::to_string(i);
        ItemMaxCost = std::max(ItemMaxCost, it.Cost);
    }
    for (int k = 0; k < 38; ++k)
        ItemKindBonus[k] = 0;
    ItemKindBonus[0] = bSword;
}

void MakeTypes()
{
    UnitTypeCount = TypesUsed;
    for (int32_t t = 1; t <= TypesUsed; ++t) {
        TPersonage& p = MakeUnitTypeTemplate(t, "Unit" + std::to_string(t));
        p.Level = 1 + t % 3;
        p.Cost = 50 + 10 * t;
        p.Weapon[1] = static_cast<uint8_t>(TWeaponClass::Sword);
        p.Armor = static_cast<uint8_t>(TArmorKind::MediumArmor);
        p.Shield = static_cast<uint8_t>(TShieldKind::BigShield);
        p.BaseStats[statHits] = static_cast<int16_t>(40 + t);
        p.BaseStats[statAttackBlow] = static_cast<int16_t>(10 + t % 4);
        p.BaseStats[statAttackShot] = static_cast<int16_t>(t % 3 == 0 ? 20 : 0);
        p.BaseStats[statDefense] = 5;
    }
}

void ConfigureShop(int32_t b)
{
    TMapBuilding& r = MapBuildings[b];
    r = TMapBuilding{};
    r.BuildingType = static_cast<uint8_t>(b % 11);
    r.HasShop = 1;
    r.IncomeBonus = static_cast<uint8_t>(b % 30);
    r.Income = static_cast<uint8_t>(b % 3);
    r.OwnerArmy = -1;
    r.OwnerGroup = -1;
    r.Cell = {static_cast<int16_t>(130 + b % 37 * 20), static_cast<int16_t>(130 + b / 37 * 20)};
    for (int k = 1; k <= 15; ++k)
        r.TradeKinds[k] = static_cast<uint8_t>((b + k) % 4 != 0);
    r.TradeKinds2[1] = r.TradeKinds2[2] = static_cast<uint8_t>(b % 2);
    r.ShopAlignment[1] = static_cast<uint8_t>(b % 3 == 0);
    r.ShopAlignment[2] = 1;
    r.ShopAlignment[3] = static_cast<uint8_t>(b % 5 == 0);
    for (int g = 1; g <= 4; ++g) {
        r.ShopGroupLimits[g] = static_cast<uint8_t>(3 + (b + g) % 6);
        r.ShopMinCost[g] = static_cast<uint16_t>((b * 7) % 200);
        r.ShopMaxCost[g] = static_cast<uint16_t>(400 + (b * 13) % 600);
        r.TradePercent[g] = 100;
    }
    r.ShopLimitS = 2;
    r.ShopMaxCostS = 1000;
    r.TradePercent5 = 100;
    r.ShopItems[1] = static_cast<uint16_t>(1 + b % Items);
    BuildingTexts[b].Name = u"Building";
}

// The whole world: every army and garrison with 12 personages.
struct TBenchWorld {
    TBenchWorld()
    {
        ClearAISettings();
        RecruitMaintenance = 10;
        MercenaryMaintenance = 20;
        LeaderMaintenance = 50;
        DifficultyRules[2].HeroIncome = 100;
        DifficultyRules[2].EnemyIncome = 100;
        DifficultyRules[2].EnemySupport = 4;
        DifficultyRules[2].EnemyExperienceGrowth = 6;
        DifficultyRules[2].GoldCorrection = 100;
        CastleGoldReservePercent = 300;
        VillageGoldReservePercent = 200;
        OtherBuildingGoldReservePercent = 100;
        MakeItems();
        MakeTypes();
        ClearWorldTables();
        static_cast<TMapStory&>(MapStory) = TMapStory{};
        MapStory.SupportCap = 12;
        MapStory.PriceDivisor = 10000;
        MapStory.HourlyExpArmy = 100;
        MapStory.HourlyExpGarrison = 100;
        SizeWorldTables(Armies, Buildings);
        for (int32_t b = 1; b <= Buildings; ++b) {
            ConfigureShop(b);
            TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
            state.OwnerArmy = b % 4 == 0 ? -1 : b % (Armies + 1);
            state.OwnerGroup = 0;
            if (b > 1)
                BuildingNeighbours[static_cast<size_t>(b)] = {b - 1};
        }
        RandomSeed = 7;
        for (size_t a = 0; a < GameArmies.size(); ++a) {
            TGameArmy& army = GameArmies[a];
            army.Gold = 1000000000;
            for (int32_t s = 1; s <= 12; ++s) {
                AddPersonageSimple(static_cast<int32_t>(a), 1 + (static_cast<int32_t>(a) + s) % TypesUsed,
                                   static_cast<int16_t>(s % 3));
                TPersonage& p = ArmyUnits[a][s];
                p.Hits = static_cast<int16_t>(std::max(2, p.Stats[1] - s * 3));
                p.Wounds = s % 4 == 0 ? 1 : 0;
            }
            UpdateArmyTotals(static_cast<int32_t>(a));
            if (a <= static_cast<size_t>(Armies))
                CalcArmyEconomy(static_cast<int32_t>(a), -1);
            army.IncomeBase = 1000000;
        }
        GameClock = 5 * 1440 * 10000 + 10 * 60 * 10000;
        SetScheduleMarks();
        RestockBuildings(true);
    }
};

TBenchWorld& World()
{
    static TBenchWorld world;
    return world;
}

std::vector<TRangeArray<int32_t, 1, 40>> Shops()
{
    std::vector<TRangeArray<int32_t, 1, 40>> shops;
    for (int32_t b = 1; b <= Buildings; ++b)
        shops.push_back(GameBuildings[static_cast<size_t>(b)].ShopItems);
    return shops;
}

// Arg 0: the game's restock; arg 1: the plain selection sort.
void BM_RestockBuildings(benchmark::State& state)
{
    World();
    RestockBuildings(false);
    const auto fast = Shops();
    RestockShopsReference();
    const auto plain = Shops();
    for (size_t b = 0; b < fast.size(); ++b)
        if (std::memcmp(&fast[b], &plain[b], sizeof fast[b]) != 0) {
            state.SkipWithError("the plain restock gave other shops");
            return;
        }
    int64_t filled = 0;
    for (const auto& shop : fast)
        for (int32_t j = 1; j <= 40; ++j)
            filled += shop[j] > 0;
    for (auto _ : state) {
        if (state.range(0) == 0)
            RestockBuildings(false);
        else
            RestockShopsReference();
    }
    state.counters["drawn_items"] = static_cast<double>(filled);
    state.SetLabel(state.range(0) == 0 ? "game" : "plain selection sort");
}
BENCHMARK(BM_RestockBuildings)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The frame that crosses 09:00: the restock and the daily work.
void BM_DayMarkFrame(benchmark::State& state)
{
    World();
    for (auto _ : state) {
        RestockBuildings(false);
        DailyWork(true);
    }
}
BENCHMARK(BM_DayMarkFrame)->Unit(benchmark::kMillisecond);

// A clock step across a full hour (not 09:00): healing, experience, the
// stronghold pressure, the gold sample and the player's economy.
void BM_HourlyWork(benchmark::State& state)
{
    World();
    const int64_t hour = 60 * 10000;
    int64_t clock = 6 * 1440 * 10000 + 10 * hour;
    for (auto _ : state) {
        clock += 24 * hour;
        GameClock = clock - 5 * 10000;
        SetScheduleMarks();
        int64_t step = 10 * 10000;
        benchmark::DoNotOptimize(AdvanceGameClock(step));
    }
}
BENCHMARK(BM_HourlyWork)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
