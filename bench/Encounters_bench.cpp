// Encounters on the map, on the sample installation's tables.
// - BM_ResolveEncounter_250: 250 active armies crowded into one 64 x 64
//   area; one frame measures and resolves every army once, as the map frame
//   does for armies that moved. Budget: 2 ms per frame.
// - BM_SilentMapBattle_8v8: AI_Army_BattleMetArmies of one 8-v-8 party,
//   the armies put back before each call. The counter OutsideShare is the
//   part of the call spent outside TBattle.Init (the sides, the aftermath
//   and its trophies, timed on the same battle); it should stay under 10 %.
// - BM_ChooseBattleArena: the arena of cells spread over a mixed map.
//   Budget: 50 us per call.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include "battle/Battle.h"
#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Encounters.h"
#include "model/ai/AIMain_Movement.h"
#include "model/ai/AIMain_Settings.h"
#include "model/ai/AIMain_Walking.h"
#include "model/world/Army_Formation.h"
#include "battle/BattleAftermath.h"
#include "battle/BattleArena.h"
#include "battle/BattleSide.h"
#include "model/tables/Global.h"
#include "model/Support.h"
#include "platform/os/OS.h"
#include "tests/support/WorldBuilder.h"
#include "bench/SampleTables.h"

namespace {

using TBenchClock = std::chrono::steady_clock;

void LoadTables()
{
    static bool loaded = false;
    if (loaded)
        return;
    loaded = true;
    Global_Initialization();
    LoadSampleTables();
}

// A small deterministic spread.
uint32_t NextValue(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

void BM_ResolveEncounter_250(benchmark::State& state)
{
    LoadTables();
    constexpr int32_t armies = 250;
    SizeWorldTables(armies, 0);
    ResetArmyMovement();
    Diplomacy.assign(3, TIntArray{0, 0, 0});
    uint32_t seed = 7;
    for (int32_t a = 0; a <= armies; ++a) {
        TGameArmy& army = GameArmies[static_cast<size_t>(a)];
        army.Cell = TCellXZ{static_cast<uint16_t>(300 + NextValue(seed) % 64),
                            static_cast<uint16_t>(300 + NextValue(seed) % 64)};
        army.Pos[0] = army.Cell.X;
        army.Pos[2] = army.Cell.Z;
        army.Group = static_cast<uint8_t>(NextValue(seed) % 3);
        for (int32_t t = 0; t <= armies; ++t)
            ArmyMoves[static_cast<size_t>(a)][static_cast<size_t>(t)].Attitude =
                static_cast<int16_t>(static_cast<int32_t>(NextValue(seed) % 201) - 100);
    }
    for (auto _ : state) {
        for (int32_t a = 0; a <= armies; ++a) {
            MeasureArmyDistances(a);
            benchmark::DoNotOptimize(ResolveEncounter(a));
        }
    }
}
BENCHMARK(BM_ResolveEncounter_250)->Unit(benchmark::kMillisecond);

void BM_SilentMapBattle_8v8(benchmark::State& state)
{
    LoadTables();
    SizeWorldTables(2, 0);
    ResetArmyMovement();
    // Fighters, shooters and a few casters of the sample's recruits.
    const int32_t side1[8] = {11, 11, 9, 9, 12, 12, 10, 19};
    const int32_t side2[8] = {13, 13, 14, 14, 15, 15, 16, 13};
    for (int k = 0; k < 8; ++k) {
        AddPersonageSimple(1, side1[k], 0);
        AddPersonageSimple(2, side2[k], 0);
    }
    for (int32_t a : {1, 2}) {
        ValidateFormation(a);
        UpdateArmyTotals(a);
        GameArmies[static_cast<size_t>(a)].Gold = 300;
    }
    ArmyMoves[1][2].Attitude = ArmyMoves[2][1].Attitude = -100;
    const std::vector<TGameArmy> armies = GameArmies;
    const std::vector<TArmyUnits> units = ArmyUnits;
    const std::vector<TIntArray> items = ArmyItems;

    auto sides = std::make_unique<TBattleSide[]>(2);
    auto battle = std::make_unique<TBattle>();
    double callSeconds = 0, outsideSeconds = 0;
    const auto restore = [&] {
        GameArmies = armies;
        ArmyUnits = units;
        ArmyItems = items;
        AssaultParams = NoAssaultParams;
        MetArmies = {2};
    };
    for (auto _ : state) {
        // The same call taken apart: the sides and the aftermath, timed
        // around an untimed TBattle.Init.
        state.PauseTiming();
        restore();
        auto start = TBenchClock::now();
        BuildBattleSide(1, 0, sides[0]);
        BuildBattleSide(2, 1, sides[1]);
        double outside = std::chrono::duration<double>(TBenchClock::now() - start).count();
        battle->Init(sides[0], sides[1], 0, 0, Silent);
        start = TBenchClock::now();
        benchmark::DoNotOptimize(AI_GetBattleResult(*battle, 0));
        outside += std::chrono::duration<double>(TBenchClock::now() - start).count();
        outsideSeconds += outside;
        restore();
        state.ResumeTiming();
        start = TBenchClock::now();
        benchmark::DoNotOptimize(AI_Army_BattleMetArmies(1));
        callSeconds += std::chrono::duration<double>(TBenchClock::now() - start).count();
    }
    state.counters["OutsideShare"] = callSeconds > 0 ? outsideSeconds / callSeconds : 0;
}
BENCHMARK(BM_SilentMapBattle_8v8)->Unit(benchmark::kMillisecond);

void BM_ChooseBattleArena(benchmark::State& state)
{
    LoadTables();
    AllocateMapGrids();
    MapInit.MapSizeMinus1 = 512;
    uint32_t seed = 11;
    for (int32_t x = 0; x <= 512; ++x)
        for (int32_t z = 0; z <= 512; ++z) {
            TTerrainVertex& v = TerrainVertex(x, z);
            v.GroundClass = static_cast<uint8_t>(NextValue(seed) % 14);
            v.Cover = 0;
        }
    SizeWorldTables(0, 40);
    for (int32_t b = 1; b <= 40; ++b) {
        TMapBuilding& record = MapBuildings[b];
        record.Cell = TMapCellXZ{static_cast<int16_t>(20 + NextValue(seed) % 470),
                                 static_cast<int16_t>(20 + NextValue(seed) % 470)};
        record.BuildingType = static_cast<uint8_t>(NextValue(seed) % 20);
        record.Model = static_cast<int32_t>(1 + NextValue(seed) % 32);
        TerrainVertex(record.Cell.X, record.Cell.Z).Cover = static_cast<uint16_t>(b);
    }
    int32_t k = 0;
    for (auto _ : state) {
        const int32_t x = 20 + (k * 37) % 470, z = 20 + (k * 53) % 470;
        benchmark::DoNotOptimize(ChooseBattleArena(x, z));
        ++k;
    }
}
BENCHMARK(BM_ChooseBattleArena)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
