// Route planning and army movement at full scale: a 1025-cell map, 250
// armies and 1,500 buildings built in memory, every hostile score cached.
// The planning is measured against the bare tracker searching the same
// seeds and danger zones.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "bench/RouteSearch.h"
#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Random.h"
#include "model/ai/AIMain_Settings.h"
#include "model/ai/AIMain_Targets.h"
#include "model/ai/AIMain_Walking.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/SceneHooks.h"
#include "model/world/World_Tables.h"
#include "tests/support/WorldBuilder.h"

namespace {

constexpr int32_t Armies = 250;
constexpr int32_t Buildings = 1500;
constexpr int32_t MapSize = 1024;
constexpr int32_t Low = 150;
constexpr int32_t High = 870;

// The ground as the benchmark set it: no chunk work, positions kept.
class TFlatScene : public TSceneHooks {
public:
    void UpdateMapChunks(const TIntArray&) override {}
    void GetTerrainPoint(const TVec3& position, bool, TVec3& point) override { point = position; }
};
TFlatScene FlatScene;

int32_t Draw(int32_t low, int32_t high)
{
    return low + RandomBelow(high - low + 1);
}

void BuildWorld()
{
    static bool built = false;
    if (built)
        return;
    built = true;
    AIMain_Initialization();
    SetSceneHooks(&FlatScene);
    RandomSeed = 11;
    for (int32_t x = 0; x <= MapSize; ++x)
        for (int32_t z = 0; z <= MapSize; ++z) {
            TTerrainVertex& v = TerrainVertex(x, z);
            v.TerrainCost = v.PlacedCost = v.Cost = static_cast<uint8_t>((x / 37 + z / 53) % 5 == 0 ? 8 : 4);
            v.GroundClass = 7;
        }
    MapInit.MapSizeMinus1 = MapSize;
    MapChanged = MapSizeChanged = true;
    AI_InitPathGrid();
    MapChanged = MapSizeChanged = false;

    SizeWorldTables(Armies, Buildings);
    ArmyTargets.assign(Armies + 1, std::vector<TGameArmyTarget>(Buildings + 1));
    ArmyTrackers.resize(Armies + 1);
    for (TPF_Tracker& t : ArmyTrackers)
        t.Init(PathMap, PathGridBorder, false);
    ResetArmyMovement();

    TAIProfile& profile = AIProfiles[1];
    profile.AttackArmyNormal = 800;
    profile.AttackArmySuicidal = 500;
    profile.AttackBuildingNormal = 700;
    profile.RandomTarget = 900;
    profile.BypassPossession = 200;
    profile.MaxTalking = 300;
    profile.MinHealing = 300;
    profile.MaxHealing = 800;
    for (int32_t b = 1; b <= Buildings; ++b) {
        TMapBuilding& record = MapBuildings[b];
        const int32_t x = Draw(Low, High), z = Draw(Low, High);
        record.Pos[0] = static_cast<float>(x);
        record.Pos[2] = static_cast<float>(z);
        record.Cell = TMapCellXZ{static_cast<int16_t>(x), static_cast<int16_t>(z)};
        record.ServiceC = static_cast<uint8_t>(b % 3 == 0);
        record.BuildingType = static_cast<uint8_t>(b % 13);
        BuildingTexts[b].Name = u"Building";
        GameBuildings[b].OwnerArmy = b % 4 == 0 ? Draw(1, Armies) : -1;
        GameBuildings[b].OwnerGroup = b % 4 == 1 ? 0 : -1;
    }
    for (int32_t a = 0; a <= Armies; ++a) {
        TGameArmy& army = GameArmies[a];
        const int32_t x = Draw(Low, High), z = Draw(Low, High);
        army.Pos[0] = static_cast<float>(x);
        army.Pos[2] = static_cast<float>(z);
        army.Cell = TCellXZ{static_cast<uint16_t>(x), static_cast<uint16_t>(z)};
        army.Profile = 1;
        army.Behavior = static_cast<uint8_t>(a % ArmyBehaviorCount);
        army.ZoneCount = 1;
        army.Zones[1] = TArmyZone{PF_PackCell(x, z), 0, 150};
        army.SeeksTalk = 1;
        army.SeeksBattles = 1;
        army.WoundPercent = 30;
        army.SpeedFactor = 7.5f;
        army.RouteFlags[2] = 4;
        MapArmies[a].Behavior = army.Behavior;
        for (int32_t c = 0; c <= Armies; ++c) {
            TGameArmyMove& cell = ArmyMoves[a][c];
            cell.Attitude = static_cast<int16_t>((a * 7 + c * 13) % 121 - 60);
            cell.Score = static_cast<int16_t>((a + c) % 3 == 0 ? -20 : 600);
            cell.LastMeeting = 1;
        }
        for (int32_t b = 1; b <= Buildings; ++b)
            ArmyTargets[a][b].Score = 700;
    }
    for (int32_t a = 0; a <= Armies; ++a)
        ChoosePatrolPoints(a);
    GameClock = 20LL * 1440 * 10000;
}

constexpr int32_t Planned = 17;

void BM_PlanRoute(benchmark::State& state)
{
    BuildWorld();
    for (auto _ : state)
        benchmark::DoNotOptimize(AI_PlanRoute(Planned));
}
BENCHMARK(BM_PlanRoute)->Unit(benchmark::kMicrosecond);

void BM_PlanRoute_BareTracker(benchmark::State& state)
{
    BuildWorld();
    AI_PlanRoute(Planned);
    const TRouteSearch search = CaptureRouteSearch(Planned);
    state.counters["seeds"] = static_cast<double>(search.Seeds.size());
    state.counters["dangers"] = static_cast<double>(search.Penalties.size());
    for (auto _ : state) {
        RunBareSearch(Planned, search);
        benchmark::DoNotOptimize(ArmyTrackers[Planned].WaypointCount);
    }
}
BENCHMARK(BM_PlanRoute_BareTracker)->Unit(benchmark::kMicrosecond);

void BM_ProcessReplans(benchmark::State& state)
{
    BuildWorld();
    int32_t next = 1;
    for (auto _ : state) {
        state.PauseTiming();
        // Seventeen of the lower priorities fit the quota; three more are priority 5.
        for (int32_t i = 0; i < 20; ++i) {
            RequestReplan(next, i < 3 ? 5 : 2);
            next = next % Armies + 1;
        }
        state.ResumeTiming();
        AI_ProcessReplans();
    }
    std::fill(ReplanQueue.Priority.begin(), ReplanQueue.Priority.end(), 0);
    ReplanQueue.Queued = 0;
}
BENCHMARK(BM_ProcessReplans)->Unit(benchmark::kMillisecond);

// Every army on a long straight path of its own.
void StartWalks()
{
    for (int32_t a = 0; a <= Armies; ++a) {
        TGameArmy& army = GameArmies[a];
        const int32_t z = Low + a * 2;
        army.Pos[0] = static_cast<float>(Low);
        army.Pos[2] = static_cast<float>(z);
        army.Cell = TCellXZ{static_cast<uint16_t>(Low), static_cast<uint16_t>(z)};
        army.WaitUntil = 0;
        army.Stationary = 0;
        army.Active = 1;
        TPF_Tracker& t = ArmyTrackers[a];
        t.Waypoints = {TPF_Waypoint{static_cast<uint16_t>(Low), static_cast<uint16_t>(z)},
                       TPF_Waypoint{static_cast<uint16_t>(High), static_cast<uint16_t>(z)}};
        t.WaypointCount = 1;
        StartPathStep(a, false);
    }
}

void BM_MoveArmies(benchmark::State& state)
{
    BuildWorld();
    StartWalks();
    int32_t frames = 0;
    for (auto _ : state) {
        if (++frames == 4000) {
            state.PauseTiming();
            StartWalks();
            frames = 0;
            state.ResumeTiming();
        }
        for (int32_t a = FirstArmy; a <= Armies; ++a)
            if (AI_Army_Active(a))
                AI_Army_Move(a, 800);
    }
    std::fill(ReplanQueue.Priority.begin(), ReplanQueue.Priority.end(), 0);
    ReplanQueue.Queued = 0;
}
BENCHMARK(BM_MoveArmies)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
