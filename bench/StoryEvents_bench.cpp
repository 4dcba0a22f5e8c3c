// The search for a due story event on the full-size sample (300 events of
// five requirements, 250 armies), set up on the installation's tables with
// a fixed seed, on its first day and 30 days on, when every filler event's
// date has come and its later requirements are tested too. The map screen runs it every frame while its event window
// is free, so the figure that matters is a search that finds nothing and
// tests every event: the events due at the start are first marked as fired
// in this frame, as the event screen would have done.
#include <benchmark/benchmark.h>

#include "bench/FullSampleWorld.h"
#include "model/story/StoryEvents.h"
#include "model/world/World_Access.h"
#include "model/world/World_Setup.h"

namespace {

// The world set up with a fixed seed, its clock moved on by the days (the
// world itself stays as set up: the search only reads it); what is due then
// counts as fired in this frame.
bool SetUpWorld(int64_t days)
{
    static TFullSampleWorld world(nullptr);
    if (!world.Ready)
        return false;
    HeroKind = 1;
    InitWorld(false, 4242);
    GameClock += days * 1440 * MinuteFx;
    for (int32_t e = FindTriggeredEvent(); e != 0; e = FindTriggeredEvent())
        GameEvents[static_cast<size_t>(e)].LastClock = GameClock;
    return true;
}

void BM_FindTriggeredEvent_Full(benchmark::State& state)
{
    if (!SetUpWorld(state.range(0))) {
        state.SkipWithError("the full-size world could not be made");
        return;
    }
    int32_t found = 0;
    for (auto _ : state)
        found += FindTriggeredEvent();
    state.counters["events"] = StoryEventCount;
    state.counters["armies"] = ArmyCount;
    state.counters["found"] = found;
    state.counters["action_events"] = static_cast<double>(ActionEvents.size());
}
BENCHMARK(BM_FindTriggeredEvent_Full)->Unit(benchmark::kMicrosecond)->Arg(0)->Arg(30);

} // namespace

BENCHMARK_MAIN();
