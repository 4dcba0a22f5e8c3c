// The sound library's start-up load with 200 [SFX] entries (each a 0.3 s
// 22,050 Hz mono WAV with attacker and receiver words), on an offline sound
// device. The same run times the bare work underneath, WAV_LoadSound and
// three Sound_Duplicate per file, and reports it and the ratio as counters:
// the library's own cost (the ini, the name matching, the sets, the listings
// and the look-ups of the absent interface, voice and step files) is the
// ratio above 1.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "model/Support.h"
#include "platform/dsound/DSound.h"
#include "screens/kit/Duskmarch_Base_Sound.h"
#include "tools/SoundFiles.h"

namespace {

constexpr int EntryCount = 200;

std::string EntryFile(int n)
{
    char name[32];
    std::snprintf(name, sizeof name, "hit_%03d.wav", n);
    return name;
}

// A folder with the 200 files and their Sounds.ini; removed at the end.
class TSyntheticLibrary {
public:
    TSyntheticLibrary()
    {
        Folder = std::filesystem::temp_directory_path() / ("duskmarch_sound_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(Folder / "SFX");
        // The other sound folders are there and empty: only the [SFX] entries
        // load, and the absent interface, voice and step files are looked up
        // in empty folders.
        std::filesystem::create_directories(Folder / "SFX" / "steps");
        std::filesystem::create_directories(Folder / "UI");
        std::filesystem::create_directories(Folder / "Voices");
        std::string ini = "[SFX]\n";
        for (int n = 0; n < EntryCount; n++) {
            std::vector<int16_t> samples(6615);
            for (size_t i = 0; i < samples.size(); i++)
                samples[i] = static_cast<int16_t>(9000 * std::sin(0.03 * (n + 1) * static_cast<double>(i)) *
                                                  std::exp(-static_cast<double>(i) / 3000.0));
            const std::string bytes = SoundFiles::Wav16(samples, 1, 22050);
            std::FILE* f = std::fopen((Folder / "SFX" / EntryFile(n)).c_str(), "wb");
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
            char prefix[8];
            std::snprintf(prefix, sizeof prefix, "%03d", n);
            ini += std::string(prefix) + "_Info=\"" + EntryFile(n) + "\",battle," + std::to_string(100 + n) + "\n";
            ini += std::string(prefix) + "_Attacker=bSword,bAxe,bMace,distance\n";
            ini += std::string(prefix) + "_Receiver=lightarmor,mediumarmor,shield\n";
        }
        std::FILE* f = std::fopen((Folder / "Sounds.ini").c_str(), "wb");
        std::fwrite(ini.data(), 1, ini.size(), f);
        std::fclose(f);
    }
    ~TSyntheticLibrary() { std::filesystem::remove_all(Folder); }
    std::string MusicFolderPath() const { return Folder.string() + "/"; }

private:
    std::filesystem::path Folder;
};

void FreshDevice()
{
    QX9_Sound_Finalization();
    Sound_Init(2, 44100, 16, true, -1);
}

// The bare loads and duplicates of the same files.
void BareLoad(const std::string& folder)
{
    for (int n = 0; n < EntryCount; n++) {
        int32_t id = 0;
        WAV_LoadSound(folder + "SFX\\" + EntryFile(n), id, SoundGroupSfx, true);
        for (int v = 1; v < SoundSetVariantCount; v++)
            benchmark::DoNotOptimize(Sound_Duplicate(id));
    }
}

void BM_LoadSoundLibrary_200(benchmark::State& state)
{
    DSound_SetOffline(true);
    TSyntheticLibrary library;
    const std::string savedFolder = MusicFolder;
    MusicFolder = library.MusicFolderPath();
    MusicEnabled = 1;
    double bareSeconds = 0, libraryMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FreshDevice();
        const auto start = std::chrono::steady_clock::now();
        BareLoad(MusicFolder);
        bareSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        FreshDevice();
        FreeSoundLibrary();
        state.ResumeTiming();
        const auto libraryStart = std::chrono::steady_clock::now();
        LoadSoundLibrary();
        benchmark::DoNotOptimize(SfxList.data());
        libraryMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - libraryStart).count();
    }
    if (SfxList.size() < EntryCount)
        state.SkipWithError("the synthetic sets did not load");
    const double bareMs = bareSeconds * 1000.0 / static_cast<double>(state.iterations());
    state.counters["bare_ms"] = bareMs;
    state.counters["library_ms"] = libraryMs / static_cast<double>(state.iterations());
    state.counters["ratio"] = libraryMs / static_cast<double>(state.iterations()) / bareMs;
    FreeSoundLibrary();
    QX9_Sound_Finalization();
    MusicEnabled = 0;
    MusicFolder = savedFolder;
}
BENCHMARK(BM_LoadSoundLibrary_200)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
