// Saved games of a full world: 250 armies, 1,500 buildings whose garrisons
// hold 12 personages each, and a 20 MB telemetry log. The caller's part of a
// save (building the container) is measured against a plain copy of the same
// bytes into fresh buffers, the writer's part against compressing the same
// sections with libbz2 at level 1, and a load of the save into the world.
#include <benchmark/benchmark.h>

#include <bzlib.h>
#include <cstring>
#include <string>
#include <vector>

#include "model/save/BetaLog.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/Support.h"
#include "platform/os/OS.h"
#include "tests/support/WorldBuilder.h"

namespace {

constexpr int32_t Armies = 250;
constexpr int32_t Buildings = 1500;
constexpr int32_t GarrisonPersonages = 12;

struct TFullWorld {
    std::string Folder;
    std::string File;
    // The content of each section as the container holds it.
    std::vector<std::vector<uint8_t>> Sections;

    TFullWorld()
    {
        char pattern[] = "/tmp/duskmarch-savebench-XXXXXX";
        const char* made = mkdtemp(pattern);
        Folder = OS_ToProgramPath(made != nullptr ? made : "/tmp") + "\\";
        File = Folder + "full.sav";
        SetGameFolders(Folder);
        AllocateMapGrids();
        MapInit.MapSizeMinus1 = 512;
        LastScenarioName = "full";
        SizeWorldTables(Armies, Buildings);
        ArmyTargets.assign(Armies + 1, std::vector<TGameArmyTarget>(Buildings + 1));
        for (int32_t a = 0; a < static_cast<int32_t>(GameArmies.size()); ++a) {
            TGameArmy& army = GameArmies[static_cast<size_t>(a)];
            army.Gold = 100 + a;
            army.Pos[0] = static_cast<float>(a % 500);
            const int32_t count = a <= Armies ? 8 : GarrisonPersonages;
            army.PersonageCount = static_cast<uint8_t>(count);
            for (int32_t slot = 1; slot <= count; ++slot) {
                TPersonage& p = ArmyUnits[static_cast<size_t>(a)][slot];
                p.UnitType = 1 + (a + slot) % 40;
                p.Hits = static_cast<int16_t>(20 + slot);
                p.Equipment[1] = a % 600;
            }
            for (int i = 0; i < 6; ++i)
                AddArmyItem(a, 1 + (a * 7 + i) % 600);
        }
        for (int32_t b = 1; b <= Buildings; ++b)
            GameBuildings[static_cast<size_t>(b)].Treasury = static_cast<int16_t>(b);
        for (auto& row : ArmyMoves)
            for (TGameArmyMove& move : row)
                move.Score = 3;
        StoryEventCount = 40;
        StoryEvents.assign(41, TStoryEvent{});
        GameEvents.assign(41, TGameEvent{});
        PointCount = 20;
        PointStates.assign(21, TPointState{});
        // A log of 20 MB of settings records.
        BetaLogReset();
        while (BetaLog.Size + 17 <= BetaLogCapacity)
            BetaLogWriteSettings(2, 80, 70);

        TDatFile save;
        BuildSavedGame(save, u"Bench", u"Hero", nullptr, nullptr, 1.0f);
        for (const TDatEntryData& data : save.EntryData)
            Sections.emplace_back(data.Bytes.begin(), data.Bytes.end());
        WriteSavedGame(u"Bench", File, u"Hero", nullptr, nullptr, 1.0f);
        WaitForSaveWriter();
    }

    int64_t Bytes() const
    {
        int64_t total = 0;
        for (const auto& s : Sections)
            total += static_cast<int64_t>(s.size());
        return total;
    }
};

TFullWorld& World()
{
    static TFullWorld world;
    return world;
}

void BM_WriteSavedGame_Build(benchmark::State& state)
{
    TFullWorld& world = World();
    for (auto _ : state) {
        TDatFile save;
        BuildSavedGame(save, u"Bench", u"Hero", nullptr, nullptr, 1.0f);
        benchmark::DoNotOptimize(save.EntryData.data());
    }
    state.SetBytesProcessed(state.iterations() * world.Bytes());
}
BENCHMARK(BM_WriteSavedGame_Build)->Unit(benchmark::kMillisecond);

// The same bytes copied into fresh buffers, one per section.
void BM_CopySaveBytes(benchmark::State& state)
{
    TFullWorld& world = World();
    for (auto _ : state) {
        std::vector<TByteBuffer> copies(world.Sections.size());
        for (size_t i = 0; i < world.Sections.size(); ++i) {
            copies[i].resize(world.Sections[i].size());
            std::memcpy(copies[i].data(), world.Sections[i].data(), world.Sections[i].size());
        }
        benchmark::DoNotOptimize(copies.data());
    }
    state.SetBytesProcessed(state.iterations() * world.Bytes());
}
BENCHMARK(BM_CopySaveBytes)->Unit(benchmark::kMillisecond);

// The writer thread's part: the container packed and written to the file.
void BM_SaveWriter(benchmark::State& state)
{
    TFullWorld& world = World();
    const std::string file = world.Folder + "writer.sav";
    for (auto _ : state) {
        state.PauseTiming();
        TDatFile save;
        BuildSavedGame(save, u"Bench", u"Hero", nullptr, nullptr, 1.0f);
        state.ResumeTiming();
        save.Save(SaveWriteMode, file);
        save.Done();
    }
    state.SetBytesProcessed(state.iterations() * world.Bytes());
}
BENCHMARK(BM_SaveWriter)->Unit(benchmark::kMillisecond);

// Each section compressed with libbz2 at level 1, as the container does.
void BM_Bzip2Level1(benchmark::State& state)
{
    TFullWorld& world = World();
    std::vector<char> out;
    for (auto _ : state) {
        for (const auto& section : world.Sections) {
            out.resize(section.size() + section.size() / 100 + 600);
            unsigned length = static_cast<unsigned>(out.size());
            char none = 0;
            BZ2_bzBuffToBuffCompress(out.data(), &length,
                                     section.empty() ? &none
                                                     : reinterpret_cast<char*>(const_cast<uint8_t*>(section.data())),
                                     static_cast<unsigned>(section.size()), 1, 0, 0);
            benchmark::DoNotOptimize(length);
        }
    }
    state.SetBytesProcessed(state.iterations() * world.Bytes());
}
BENCHMARK(BM_Bzip2Level1)->Unit(benchmark::kMillisecond);

void BM_LoadSavedGame_SameMap(benchmark::State& state)
{
    TFullWorld& world = World();
    for (auto _ : state) {
        float speed = 0;
        std::u16string hero;
        if (!LoadSavedGame(world.File, speed, hero))
            state.SkipWithError("the save did not load");
    }
}
BENCHMARK(BM_LoadSavedGame_SameMap)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
