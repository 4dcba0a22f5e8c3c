// The saved games on a maximal world: 250 armies and 1,500 garrisons of 15
// personages, the full target table and a 20 MB telemetry log. What a frame
// pays for a save through SaveGame (names, entry, container build, the
// writer's start) is set against bzip2 level 1 of the same sections in the
// same run; the writer keeps quick saves and autosaves refused for about
// that long. The start-up scan lists a folder of 200 saves.
#include <benchmark/benchmark.h>

#include <bzlib.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "platform/os/OS.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/map/Duskmarch_SavedGames.h"
#include "tests/support/WorldBuilder.h"

namespace {

constexpr int32_t Armies = 250;
constexpr int32_t Buildings = 1500;
constexpr int32_t GarrisonPersonages = 15;
constexpr int32_t ScannedSaves = 200;

struct TSavedGamesWorld {
    std::string Folder;      // program form, with "\"
    std::string ScanFolder;  // 200 small saves
    std::vector<std::vector<uint8_t>> Sections;

    TSavedGamesWorld()
    {
        char pattern[] = "/tmp/duskmarch-savedgames-XXXXXX";
        const char* made = mkdtemp(pattern);
        Folder = OS_ToProgramPath(made != nullptr ? made : "/tmp") + "\\";
        SetGameFolders(Folder);
        AllocateMapGrids();
        MapInit.MapSizeMinus1 = 512;
        LastScenarioName = "full";
        MapStory.Name = u"Full";
        OS_CreateDirectoryTree(ScenariosFolder);
        const char map[] = "map";
        OS_WriteFileAtomic(ScenariosFolder + "full.Tdm", map, sizeof map);
        CurrentUserName = "Bench";

        // The scan's folder: 200 copies of a small world's save.
        SizeWorldTables(2, 2);
        ScanFolder = Folder + "Scan\\";
        OS_CreateDirectoryTree(ScanFolder);
        WriteSavedGame(u"Small", ScanFolder + "small.sav", u"Hero", nullptr, nullptr, 1.0f);
        WaitForSaveWriter();
        for (int32_t i = 0; i < ScannedSaves; i++)
            std::filesystem::copy_file(OS_ResolvePath(ScanFolder + "small.sav"),
                                       OS_ResolvePath(ScanFolder + "Bench " + std::to_string(i) + ".sav"));
        std::filesystem::remove(OS_ResolvePath(ScanFolder + "small.sav"));

        SizeWorldTables(Armies, Buildings);
        ArmyTargets.assign(Armies + 1, std::vector<TGameArmyTarget>(Buildings + 1));
        for (int32_t a = 0; a < static_cast<int32_t>(GameArmies.size()); ++a) {
            TGameArmy& army = GameArmies[static_cast<size_t>(a)];
            army.Gold = 100 + a;
            const int32_t count = a <= Armies ? 8 : GarrisonPersonages;
            army.PersonageCount = static_cast<uint8_t>(count);
            for (int32_t slot = 1; slot <= count; ++slot) {
                TPersonage& p = ArmyUnits[static_cast<size_t>(a)][slot];
                p.UnitType = 1 + (a + slot) % 40;
                p.Hits = static_cast<int16_t>(20 + slot);
            }
        }
        for (auto& row : ArmyTargets)
            for (TGameArmyTarget& t : row)
                t.Score = 1;
        BetaLogReset();
        while (BetaLog.Size + 17 <= BetaLogCapacity)
            BetaLogWriteSettings(2, 80, 70);
        TDatFile save;
        BuildSavedGame(save, u"Bench", u"Hero", nullptr, nullptr, 1.0f);
        for (const TDatEntryData& data : save.EntryData)
            Sections.emplace_back(data.Bytes.begin(), data.Bytes.end());
        SavesFolder = Folder + "Saves\\";
        OS_CreateDirectoryTree(SavesFolder);
    }
};

TSavedGamesWorld& World()
{
    static TSavedGamesWorld world;
    return world;
}

void BM_SaveGame_MainThread(benchmark::State& state)
{
    TSavedGamesWorld& world = World();
    SavesFolder = world.Folder + "Saves\\";
    SaveWriterSynchronous = false;
    double writerMs = 0;
    for (auto _ : state) {
        SaveGame(u"Bench 001 (quicksave)", true, -1);
        state.PauseTiming();
        const uint32_t start = OS_TimeGetTime();
        WaitForSaveWriter();
        writerMs += OS_TimeGetTime() - start;
        DeleteSaveEntry(PrivateSaves, static_cast<int32_t>(PrivateSaves.size()) - 1);
        state.ResumeTiming();
    }
    // How long the writer went on after SaveGame returned: quick saves and
    // autosaves are refused meanwhile.
    state.counters["writer_busy_ms"] = writerMs / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SaveGame_MainThread)->Unit(benchmark::kMillisecond);

void BM_Bzip2Level1_SameBytes(benchmark::State& state)
{
    TSavedGamesWorld& world = World();
    std::vector<char> out;
    for (auto _ : state)
        for (const std::vector<uint8_t>& s : world.Sections) {
            unsigned int size = static_cast<unsigned int>(s.size() + s.size() / 100 + 600);
            out.resize(size);
            BZ2_bzBuffToBuffCompress(out.data(), &size,
                                     const_cast<char*>(reinterpret_cast<const char*>(s.data())),
                                     static_cast<unsigned int>(s.size()), 1, 0, 0);
            benchmark::DoNotOptimize(out.data());
        }
}
BENCHMARK(BM_Bzip2Level1_SameBytes)->Unit(benchmark::kMillisecond);

void BM_SaveListScan_200(benchmark::State& state)
{
    TSavedGamesWorld& world = World();
    SavesFolder = world.ScanFolder;
    for (auto _ : state) {
        ScanSavedGames();
        benchmark::DoNotOptimize(PrivateSaves.data());
    }
    state.counters["saves"] = static_cast<double>(PrivateSaves.size());
    ClearSavedGames();
}
BENCHMARK(BM_SaveListScan_200)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
