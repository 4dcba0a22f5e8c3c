// The world at full size: the 1025 sample (250 armies, 1,500 buildings) on
// the sample installation's tables, set up with a fixed seed.
// - BM_InitWorld_1025: the whole set-up. Its first-route step is then run
//   again the same way (every score stale, every active army planned) and
//   set against the bare path finder on the same searches.
// - BM_WorldFrame_1025: after one warm-up game day, the 288 frames of the
//   next game day, each timed alone: the mean and largest frame and the
//   hour- and day-mark frames. The same day is then played again with the
//   frame's steps taken one by one, to time the route planning apart from
//   the rest, count the armies planned and set the planning against the
//   bare path finder on the same searches; the two plays must end in the
//   same world.
//   The frame is timed with 1 planning thread (searches one after the
//   other) and with 2, 4 and 8 side by side; every count must end the day
//   in the serial run's world (same_as_serial). The step-by-step play runs
//   with 1 only.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/FullSampleWorld.h"
#include "bench/RouteSearch.h"
#include "model/SceneHooks.h"
#include "model/Support.h"
#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Planning.h"
#include "model/ai/AIMain_Settings.h"
#include "model/ai/AIMain_Walking.h"
#include "model/scenario/ScenarioMap.h"
#include "model/tables/Global.h"
#include "model/world/World_Clock.h"
#include "model/world/World_Digest.h"
#include "model/world/World_Frame.h"
#include "model/world/World_Setup.h"
#include "platform/os/OS.h"
#include "tools/dmtool/MakeScenario.h"

namespace {

constexpr int32_t Seed = 4242;
constexpr int64_t FrameStep = 50000;
constexpr int32_t FramesPerDay = 288;

using TClock = std::chrono::steady_clock;

double MsSince(TClock::time_point start)
{
    return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

int32_t EngineMs = 60000;
int32_t BenchClock(bool)
{
    return EngineMs;
}

bool Ready(benchmark::State& state)
{
    static TFullSampleWorld fixture(BenchClock);
    if (!fixture.Ready)
        state.SkipWithError("the full-size world could not be made");
    return fixture.Ready;
}

void NewGame()
{
    HeroKind = 1;
    InitWorld(false, Seed);
    PlayerTargetCell = GameArmies[PlayerArmy].Cell;
}

// The planning of the given armies, timed, and the bare path finder on the
// same searches.
struct TPlanTimes {
    double Planning = 0;
    double Bare = 0;
};

TPlanTimes TimePlanning(const std::vector<int32_t>& armies)
{
    TPlanTimes times;
    std::vector<TRouteSearch> searches;
    searches.reserve(armies.size());
    const TClock::time_point start = TClock::now();
    for (int32_t a : armies)
        AI_PlanRoute(a);
    times.Planning = MsSince(start);
    for (int32_t a : armies)
        searches.push_back(CaptureRouteSearch(a));
    const TClock::time_point bare = TClock::now();
    for (size_t i = 0; i < armies.size(); ++i)
        RunBareSearch(armies[i], searches[i]);
    times.Bare = MsSince(bare);
    // The planned routes, not the bare ones, go on.
    for (int32_t a : armies)
        AI_PlanRoute(a);
    return times;
}

void BM_InitWorld_1025(benchmark::State& state)
{
    if (!Ready(state))
        return;
    for (auto _ : state)
        NewGame();

    // The first-route step once more: every score stale, as at set-up.
    std::vector<int32_t> armies;
    for (int32_t a = FirstArmy; a <= ArmyCount; ++a) {
        InvalidateArmyTargets(a);
        if (a != PlayerArmy && AI_Army_Active(a))
            armies.push_back(a);
    }
    const TPlanTimes times = TimePlanning(armies);
    state.counters["planned"] = static_cast<double>(armies.size());
    state.counters["plan_ms"] = times.Planning;
    state.counters["bare_pf_ms"] = times.Bare;
    state.counters["plan_over_bare"] = times.Bare > 0 ? times.Planning / times.Bare : 0;
}
BENCHMARK(BM_InitWorld_1025)->Unit(benchmark::kMillisecond)->Iterations(3);

// The armies the last re-plan queue pass planned.
std::vector<int32_t> PlannedThisFrame()
{
    std::vector<int32_t> armies;
    for (const TIntArray& list : ReplanLists)
        for (size_t i = 1; i < list.size(); ++i)
            armies.push_back(list[i]);
    return armies;
}

// The frame's steps one by one, as the world frame takes them in a run
// without player orders, with the re-plan queue timed apart. The bare path
// finder then searches again what the queue planned, and the planning is
// repeated so that the world goes on as it would have.
struct TSplitTimes {
    double Planning = 0;
    double Rest = 0;
    double Bare = 0;
    int32_t Planned = 0;
    int32_t PlannedMax = 0;
};

void SplitFrame(TSplitTimes& times)
{
    TClock::time_point start = TClock::now();
    FirstArmy = 0;
    ApproachCheck = 1;
    int64_t step = FrameStep;
    AdvanceGameClock(step);
    times.Rest += MsSince(start);
    if (ReplanQueue.Queued > 0) {
        start = TClock::now();
        AI_ProcessReplans();
        times.Planning += MsSince(start);
        const std::vector<int32_t> armies = PlannedThisFrame();
        std::vector<TRouteSearch> searches;
        for (int32_t a : armies)
            searches.push_back(CaptureRouteSearch(a));
        start = TClock::now();
        for (size_t i = 0; i < armies.size(); ++i)
            RunBareSearch(armies[i], searches[i]);
        times.Bare += MsSince(start);
        for (int32_t a : armies)
            AI_PlanRoute(a);
        times.Planned += static_cast<int32_t>(armies.size());
        times.PlannedMax = std::max(times.PlannedMax, static_cast<int32_t>(armies.size()));
    }
    start = TClock::now();
    for (int32_t a = FirstArmy; a <= ArmyCount; ++a)
        if (AI_Army_Active(a) && AI_Army_Move(a, step))
            WorldFrameHooks().Encounter(a);
    WorldFrameHooks().FindDueEvent();
    PublishArmyRenderStates();
    times.Rest += MsSince(start);
}

void WarmUp()
{
    NewGame();
    for (int32_t f = 0; f < FramesPerDay; ++f) {
        EngineMs += 20;
        RunWorldFrame(FrameStep, false, 1);
    }
}

void BM_WorldFrame_1025(benchmark::State& state)
{
    if (!Ready(state))
        return;
    const int32_t threads = static_cast<int32_t>(state.range(0));
    SetPlanningThreads(threads);
    static uint32_t serialDigest = 0;
    double total = 0, largest = 0, hourMarks = 0, dayMark = 0;
    int32_t hours = 0, frames = 0;
    uint32_t digest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const int32_t engineStart = EngineMs;
        WarmUp();
        state.ResumeTiming();
        for (int32_t f = 0; f < FramesPerDay; ++f) {
            EngineMs += 20;
            const int64_t hourMark = NextHourMark;
            const TClock::time_point start = TClock::now();
            const bool daily = RunWorldFrame(FrameStep, false, 1);
            const double ms = MsSince(start);
            total += ms;
            largest = std::max(largest, ms);
            ++frames;
            if (daily)
                dayMark = ms;
            else if (NextHourMark != hourMark) {
                hourMarks += ms;
                ++hours;
            }
        }
        state.PauseTiming();
        digest = WorldDigest();
        EngineMs = engineStart;
        state.ResumeTiming();
    }
    if (threads == 1)
        serialDigest = digest;
    state.counters["frame_mean_ms"] = frames > 0 ? total / frames : 0;
    state.counters["frame_max_ms"] = largest;
    state.counters["hour_mark_mean_ms"] = hours > 0 ? hourMarks / hours : 0;
    state.counters["day_mark_ms"] = dayMark;
    state.counters["same_as_serial"] = digest == serialDigest ? 1 : 0;
    if (frames == 0 || threads != 1)
        return;

    // The same day again, step by step.
    WarmUp();
    TSplitTimes split;
    for (int32_t f = 0; f < FramesPerDay; ++f) {
        EngineMs += 20;
        SplitFrame(split);
    }
    state.counters["planned_per_frame"] = static_cast<double>(split.Planned) / FramesPerDay;
    state.counters["planned_max"] = split.PlannedMax;
    state.counters["plan_ms_per_frame"] = split.Planning / FramesPerDay;
    state.counters["rest_ms_per_frame"] = split.Rest / FramesPerDay;
    state.counters["bare_pf_ms_per_frame"] = split.Bare / FramesPerDay;
    state.counters["plan_over_bare"] = split.Bare > 0 ? split.Planning / split.Bare : 0;
    state.counters["same_world"] = WorldDigest() == digest ? 1 : 0;
}
BENCHMARK(BM_WorldFrame_1025)
    ->ArgName("planning_threads")
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
