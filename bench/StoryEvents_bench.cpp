// The search for a due story event on the full-size sample (300 events of
// five requirements, 250 armies), set up on the installation's tables with
// a fixed seed. The map screen runs it every frame while its event window
// is free, so the figure that matters is a search that finds nothing and
// tests every event: the events due at the start are first marked as fired
// in this frame, as the event screen would have done.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "model/AIMain.h"
#include "model/AIMain_Settings.h"
#include "model/Global.h"
#include "model/ScenarioMap.h"
#include "model/SceneHooks.h"
#include "model/StoryEvents.h"
#include "model/Support.h"
#include "model/World_Setup.h"
#include "platform/os/OS.h"
#include "tools/dmtool/MakeScenario.h"

namespace {

struct TStoryFixture {
    std::string Folder;
    bool Ready = false;

    TStoryFixture()
    {
        char pattern[] = "/tmp/duskmarch-story-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        Folder = pattern;
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
        SetGameLanguage("eng");
        LoadBonuses();
        LoadSpells();
        LoadItems();
        LoadUnitTypes();
        AI_LoadSettings();
        AIMain_Initialization();
        const std::string file = OS_ToProgramPath(Folder) + "\\Full.Tdm";
        Ready = WriteScenarioFile(BuildSampleScenario(ScenarioSizeMax, 0, ""), file) && LoadScenarioMap(file);
        if (!Ready)
            return;
        SceneHooks().BuildTerrainModel(true);
        AI_InitPathGrid();
        HeroKind = 1;
        InitWorld(false, 4242);
        // What is due now counts as fired in this frame.
        for (int32_t e = FindTriggeredEvent(); e != 0; e = FindTriggeredEvent())
            GameEvents[static_cast<size_t>(e)].LastClock = GameClock;
    }
    ~TStoryFixture()
    {
        std::error_code ec;
        if (!Folder.empty())
            std::filesystem::remove_all(Folder, ec);
    }
};

void BM_FindTriggeredEvent_Full(benchmark::State& state)
{
    static TStoryFixture fixture;
    if (!fixture.Ready) {
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
BENCHMARK(BM_FindTriggeredEvent_Full)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
