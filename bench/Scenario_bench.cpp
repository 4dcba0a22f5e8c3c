// The scenario loader on the full-size sample (1025 x 1025 cells, every
// table at its capacity, 300 events of 5 requirements), made once in a
// temporary folder:
// - BM_LoadScenarioMap_Full against BM_ReadScenarioSections, the same
//   sections read with TDatFile::ReadRecords alone (the loader's own work is
//   the difference);
// - BM_HeadlessTerrain_Full: the terrain model and the whole map's costs;
// - BM_ReadScenarioHeader_Full: the header preview, which never unpacks the
//   landscape.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/QX9_System_DatFile.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/SceneHooks.h"
#include "model/Support.h"
#include "platform/os/OS.h"
#include "tools/dmtool/MakeScenario.h"

namespace {

struct TFixture {
    std::string Folder; // real path
    std::string File;   // in the program's form
    bool Ready = false;

    TFixture()
    {
        char pattern[] = "/tmp/duskmarch-scenario-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        Folder = pattern;
        SetGameFolders(OS_ToProgramPath(Folder));
        SetGameLanguage("eng");
        AllocateMapGrids();
        File = OS_ToProgramPath(Folder) + "\\Full.Tdm";
        Ready = WriteScenarioFile(BuildSampleScenario(ScenarioSizeMax, 0, ""), File);
    }
    ~TFixture()
    {
        std::error_code ec;
        if (!Folder.empty())
            std::filesystem::remove_all(Folder, ec);
    }
};

TFixture& Fixture()
{
    static TFixture fixture;
    return fixture;
}

bool Check(benchmark::State& state)
{
    if (Fixture().Ready)
        return true;
    state.SkipWithError("the full-size scenario could not be written");
    return false;
}

void BM_LoadScenarioMap_Full(benchmark::State& state)
{
    if (!Check(state))
        return;
    for (auto _ : state) {
        const bool loaded = LoadScenarioMap(Fixture().File);
        benchmark::DoNotOptimize(loaded);
    }
    state.counters["trees"] = MapTrees.Count;
    state.counters["events"] = StoryEventCount;
}

// Every section the loader reads, with ReadRecords into buffers of their
// size (the landscape straight into the grid), and nothing else.
void BM_ReadScenarioSections(benchmark::State& state)
{
    if (!Check(state))
        return;
    std::vector<uint8_t> buffer;
    for (auto _ : state) {
        TDatFile map;
        map.Init();
        map.Open(Fixture().File);
        for (const TDatEntry& entry : std::vector<TDatEntry>(map.Entries)) {
            const std::string name = DatEntryName(entry);
            const uint64_t size = uint64_t{entry.ElementSize} * entry.ElementCount;
            void* to = MapCells.data();
            if (name != "MapLandscape") {
                buffer.resize(size);
                to = buffer.data();
            }
            benchmark::DoNotOptimize(map.ReadRecords(name, to, 0, static_cast<int32_t>(entry.ElementCount)));
        }
        map.Done();
    }
}

void BM_HeadlessTerrain_Full(benchmark::State& state)
{
    if (!Check(state) || !LoadScenarioMap(Fixture().File)) {
        state.SkipWithError("the full-size scenario could not be loaded");
        return;
    }
    for (auto _ : state) {
        SceneHooks().BuildTerrainModel(true);
        SceneHooks().UpdateMapChunks({});
        benchmark::DoNotOptimize(TerrainVertex(512, 512).Cost);
    }
}

void BM_ReadScenarioHeader_Full(benchmark::State& state)
{
    if (!Check(state))
        return;
    for (auto _ : state) {
        const bool read = ReadScenarioHeader(Fixture().File);
        benchmark::DoNotOptimize(read);
    }
    state.counters["armies"] = PreviewArmyCount;
}

} // namespace

BENCHMARK(BM_ReadScenarioSections)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadScenarioMap_Full)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_HeadlessTerrain_Full)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadScenarioHeader_Full)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
