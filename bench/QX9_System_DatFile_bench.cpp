// Reading a 40 MB container entry packed at bzip2 level 1 (the size of a
// scenario's landscape entry), next to raw BZ2_bzBuffToBuffDecompress of the
// very same stream. The closing lines give the container's time as a share
// of raw libbz2's.
#include <benchmark/benchmark.h>

#include <bzlib.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/QX9_System_DatFile.h"
#include "platform/os/OS.h"

namespace {

constexpr uint32_t RecordSize = 35;
constexpr uint32_t RecordCount = 40u * 1024u * 1024u / RecordSize;
constexpr uint64_t ContentSize = uint64_t{RecordSize} * RecordCount;
const char* const EntryName = "MapLandscape";

struct TFixture {
    std::string Folder;
    std::string Path;
    std::string Stream; // the entry's one stored chunk
    bool Ready = false;
};

// Landscape-like records: smooth heights, patchy terrain classes, a few
// sparse fields, and noise in the low bits, so the entry packs about as a
// real map does (neither random nor all zero).
std::vector<uint8_t> MakeLandscape()
{
    std::vector<uint8_t> content(ContentSize);
    uint32_t noise = 0x9E3779B9u;
    const uint32_t side = 1025;
    for (uint32_t i = 0; i < RecordCount; i++) {
        uint8_t* r = content.data() + uint64_t{i} * RecordSize;
        const float x = static_cast<float>(i % side);
        const float z = static_cast<float>(i / side);
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        const float height = 40.0f * std::sin(x * 0.013f) * std::cos(z * 0.017f) +
                             8.0f * std::sin(x * 0.11f + z * 0.07f) + static_cast<float>(noise & 7) * 0.01f;
        std::memcpy(r, &height, 4);
        const uint16_t cls =
            static_cast<uint16_t>((static_cast<uint32_t>(x) / 37 + static_cast<uint32_t>(z) / 29) % 14);
        std::memcpy(r + 4, &cls, 2);
        r[6] = static_cast<uint8_t>(height > 10.0f ? 0 : 1 + (cls & 3));
        r[7] = static_cast<uint8_t>(noise >> 24 < 8 ? noise >> 8 : 0);
        const float normal[3] = {std::cos(x * 0.013f) * 0.2f, 0.97f, std::sin(z * 0.017f) * 0.2f};
        std::memcpy(r + 8, normal, 12);
        const uint32_t colour = 0xFF000000u | (cls * 0x101010u) | (noise & 0x0F0F0Fu);
        std::memcpy(r + 20, &colour, 4);
        std::memset(r + 24, 0, 11);
        if ((i % 97) == 0)
            r[30] = static_cast<uint8_t>(noise);
    }
    return content;
}

TFixture* Made = nullptr;

TFixture& Fixture()
{
    static TFixture fixture;
    if (fixture.Ready)
        return fixture;
    char pattern[] = "/tmp/duskmarch-datfile-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    fixture.Folder = made ? made : "/tmp";
    fixture.Path = fixture.Folder + "/landscape.dat";

    const std::vector<uint8_t> content = MakeLandscape();
    TDatFile dat;
    dat.BlockSizeKB = 0;
    dat.WriteRecords(EntryName, content.data(), static_cast<int32_t>(RecordCount), RecordSize);
    if (!dat.Save(48, fixture.Path)) { // bzip2 level 1, one chunk
        std::fprintf(stderr, "can't write %s\n", fixture.Path.c_str());
        std::exit(1);
    }
    std::vector<uint8_t> file;
    OS_ReadWholeFile(fixture.Path, file);
    TDatEntry entry;
    std::memcpy(&entry, file.data() + sizeof(TDatHeader), sizeof entry);
    uint32_t length;
    std::memcpy(&length, file.data() + entry.Offset, 4);
    fixture.Stream.assign(reinterpret_cast<const char*>(file.data()) + entry.Offset + 4, length);
    std::printf("entry: %llu bytes in %u records, stored %zu bytes (level 1)\n",
                static_cast<unsigned long long>(ContentSize), RecordCount, fixture.Stream.size());
    fixture.Ready = true;
    Made = &fixture;
    return fixture;
}

// Best seconds per iteration of each benchmark, for the closing ratio.
double BestRaw = 0, BestRawFresh = 0, BestLoad = 0, BestRead = 0;

void Keep(double& best, double seconds)
{
    if (best == 0 || seconds < best)
        best = seconds;
}

void BM_RawBuffToBuffDecompress(benchmark::State& state)
{
    TFixture& f = Fixture();
    std::vector<char> out(ContentSize);
    std::memset(out.data(), 0, out.size()); // pages in place, as for a reused buffer
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        unsigned length = static_cast<unsigned>(out.size());
        const int status = BZ2_bzBuffToBuffDecompress(out.data(), &length, f.Stream.data(),
                                                      static_cast<unsigned>(f.Stream.size()), 0, 0);
        if (status != BZ_OK || length != ContentSize)
            state.SkipWithError("raw decompression failed");
        benchmark::DoNotOptimize(out.data());
        Keep(BestRaw, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ContentSize));
}

// The same into memory fresh for every run, as any loader that allocates its
// result has: the counterpart of LoadEntry, which makes the entry's buffer.
void BM_RawBuffToBuffDecompressFresh(benchmark::State& state)
{
    TFixture& f = Fixture();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<char[]> out(new char[ContentSize]);
        unsigned length = static_cast<unsigned>(ContentSize);
        const int status = BZ2_bzBuffToBuffDecompress(out.get(), &length, f.Stream.data(),
                                                      static_cast<unsigned>(f.Stream.size()), 0, 0);
        if (status != BZ_OK || length != ContentSize)
            state.SkipWithError("raw decompression failed");
        benchmark::DoNotOptimize(out.get());
        out.reset();
        Keep(BestRawFresh, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ContentSize));
}

// Open the container, find the entry, load it (read its chunk, decompress).
void BM_DatFileLoadEntry(benchmark::State& state)
{
    TFixture& f = Fixture();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        TDatFile dat;
        if (!dat.Open(f.Path) || !dat.SelectEntry(EntryName) || !dat.LoadEntry())
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(dat.EntryData[0].Bytes.data());
        dat.Save(0);
        Keep(BestLoad, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ContentSize));
}

// The map loader's way: ReadRecords of the whole entry into its own array.
void BM_DatFileReadRecords(benchmark::State& state)
{
    TFixture& f = Fixture();
    std::vector<uint8_t> map(ContentSize);
    std::memset(map.data(), 0, map.size());
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        TDatFile dat;
        if (!dat.Open(f.Path) || dat.ReadRecords(EntryName, map.data(), 0, RecordCount) != ContentSize)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(map.data());
        dat.Save(0);
        Keep(BestRead, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ContentSize));
}

BENCHMARK(BM_RawBuffToBuffDecompress)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_RawBuffToBuffDecompressFresh)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_DatFileLoadEntry)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_DatFileReadRecords)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // ReadRecords of a whole entry decodes into the caller's (reused) array,
    // so it compares with raw decoding into a reused buffer; LoadEntry makes
    // a new buffer, so it compares with raw decoding into fresh memory.
    const double mb = static_cast<double>(ContentSize) / (1024.0 * 1024.0);
    if (BestRaw > 0 && BestRead > 0)
        std::printf("ReadRecords %.1f MB/s, raw libbz2 into a reused buffer %.1f MB/s: %.1f%% of raw time\n",
                    mb / BestRead, mb / BestRaw, 100.0 * BestRead / BestRaw);
    if (BestRawFresh > 0 && BestLoad > 0)
        std::printf("LoadEntry %.1f MB/s, raw libbz2 into fresh memory %.1f MB/s: %.1f%% of raw time\n", mb / BestLoad,
                    mb / BestRawFresh, 100.0 * BestLoad / BestRawFresh);
    if (Made != nullptr) {
        unlink(Made->Path.c_str());
        rmdir(Made->Folder.c_str());
    }
    return 0;
}
