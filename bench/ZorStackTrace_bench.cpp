// Call-stack traces and debug-information look-ups:
// - the traces of a report's thread sections: 16 threads, each parked with
//   about 64 KB of used stack, traced from their saved contexts; the first
//   round (functions analysed for the first time) and a later one;
// - a stack overflow: one thread whose 8 MiB stack one recursive function
//   has filled;
// - loading the game's ".zor" file, and 10,000 PublicAt + LineAt look-ups
//   beside std::upper_bound over plain sorted arrays of the same addresses;
// - crashdemo null-write, from its start to its stored report with names and
//   lines.
#include "crashreport/diagnostics/zorStackTrace.h"

#include <benchmark/benchmark.h>
#include <pthread.h>
#include <ucontext.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "crashreport/core/zorExcept_Threads.h"
#include "crashreport/diagnostics/zorMapFile.h"
#include "crashreport/diagnostics/zorTools.h"

namespace {

// ---------------------------------------------------------------------------
// Parked threads

struct TParked {
    ucontext_t context{};
    uintptr_t stackEnd = 0;
    bool ready = false;
};

std::mutex ParkLock;
std::condition_variable ParkChanged;
bool Release = false;
volatile uint64_t Sink = 0;

__attribute__((noinline)) void Park(TParked& slot)
{
    getcontext(&slot.context);
    slot.stackEnd = StackEndOf(static_cast<uintptr_t>(slot.context.uc_mcontext.gregs[REG_RSP]));
    std::unique_lock guard(ParkLock);
    slot.ready = true;
    ParkChanged.notify_all();
    ParkChanged.wait(guard, [] { return Release; });
}

// Frames of about 256 bytes each until the stack is used down to the limit.
__attribute__((noinline)) void Descend(TParked& slot, uintptr_t limit)
{
    volatile char frame[200];
    frame[0] = static_cast<char>(Sink);
    const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (here > limit)
        Descend(slot, limit);
    else
        Park(slot);
    Sink = Sink + static_cast<uint64_t>(frame[0]);
}

void ParkedThread(TParked* slot, size_t usedBytes)
{
    const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    Descend(*slot, here - usedBytes);
}

class TParkedThreads {
public:
    TParkedThreads(size_t count, size_t usedBytes, size_t stackBytes) : Slots(count)
    {
        Release = false;
        for (TParked& slot : Slots) {
            pthread_attr_t attributes;
            pthread_attr_init(&attributes);
            pthread_attr_setstacksize(&attributes, stackBytes);
            pthread_t thread;
            auto* args = new std::pair<TParked*, size_t>(&slot, usedBytes);
            pthread_create(
                &thread, &attributes,
                [](void* p) -> void* {
                    auto* a = static_cast<std::pair<TParked*, size_t>*>(p);
                    ParkedThread(a->first, a->second);
                    delete a;
                    return nullptr;
                },
                args);
            pthread_attr_destroy(&attributes);
            Threads.push_back(thread);
        }
        std::unique_lock guard(ParkLock);
        ParkChanged.wait(guard, [this] {
            return std::all_of(Slots.begin(), Slots.end(), [](const TParked& s) { return s.ready; });
        });
    }
    ~TParkedThreads()
    {
        {
            std::lock_guard guard(ParkLock);
            Release = true;
        }
        ParkChanged.notify_all();
        for (pthread_t thread : Threads)
            pthread_join(thread, nullptr);
    }
    size_t TraceAll() const
    {
        size_t lines = 0;
        for (const TParked& slot : Slots) {
            TTraceStackInput input;
            input.PlainThread = true;
            input.Stack.Context = &slot.context;
            input.Stack.Rip = static_cast<uintptr_t>(slot.context.uc_mcontext.gregs[REG_RIP]);
            input.Stack.StackStart = static_cast<uintptr_t>(slot.context.uc_mcontext.gregs[REG_RSP]);
            input.Stack.StackEnd = slot.stackEnd;
            lines += TraceStack(input).Stack.size();
        }
        return lines;
    }

private:
    std::vector<TParked> Slots;
    std::vector<pthread_t> Threads;
};

void BM_ReportThreads(benchmark::State& state)
{
    const TParkedThreads threads(16, 64 * 1024, 1024 * 1024);
    size_t lines = 0;
    for (auto _ : state)
        lines = threads.TraceAll();
    state.counters["lines"] = static_cast<double>(lines);
}
// The first round analyses every function; the later ones find them analysed.
BENCHMARK(BM_ReportThreads)->Name("ReportThreads/first")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportThreads)->Name("ReportThreads/later")->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_StackOverflow(benchmark::State& state)
{
    const size_t stackBytes = 8u << 20;
    const TParkedThreads threads(1, stackBytes - 64 * 1024, stackBytes);
    size_t lines = 0;
    for (auto _ : state)
        lines = threads.TraceAll();
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_StackOverflow)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------
// The game's debug information

std::string GamePackedFile()
{
    std::ifstream in(DUSKMARCH_GAME_ZOR, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

constexpr uintptr_t GameBase = 0x555500000000;

std::unique_ptr<TMapFile> LoadGameMap(const std::string& packed)
{
    auto map = std::make_unique<TMapFile>();
    map->baseOfCode = GameBase;
    if (map->ReadPackedData(packed))
        map->SortLines();
    return map;
}

void BM_LoadGameZor(benchmark::State& state)
{
    const std::string packed = GamePackedFile();
    size_t publics = 0;
    for (auto _ : state)
        publics = LoadGameMap(packed)->publics.size();
    state.counters["publics"] = static_cast<double>(publics);
    state.counters["bytes"] = static_cast<double>(packed.size());
}
BENCHMARK(BM_LoadGameZor)->Unit(benchmark::kMillisecond);

std::vector<uintptr_t> LookUpAddresses(const TMapFile& map)
{
    std::vector<uintptr_t> addresses;
    if (map.publics.empty())
        return addresses;
    const uintptr_t span = map.publics.back().address - map.baseOfCode + 1;
    uint64_t seed = 12345;
    for (int i = 0; i < 10000; ++i) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        addresses.push_back(map.baseOfCode + static_cast<uintptr_t>((seed >> 17) % span));
    }
    return addresses;
}

void BM_PublicAndLineLookUps(benchmark::State& state)
{
    const auto map = LoadGameMap(GamePackedFile());
    const std::vector<uintptr_t> addresses = LookUpAddresses(*map);
    for (auto _ : state) {
        int64_t sum = 0;
        for (uintptr_t address : addresses)
            sum += static_cast<int64_t>(map->PublicAt(address).address) + map->LineAt(address);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_PublicAndLineLookUps)->Unit(benchmark::kMicrosecond);

void BM_PlainUpperBounds(benchmark::State& state)
{
    const auto map = LoadGameMap(GamePackedFile());
    const std::vector<uintptr_t> addresses = LookUpAddresses(*map);
    std::vector<uintptr_t> publics, lines;
    for (const TMfPublic& p : map->publics)
        publics.push_back(p.address);
    for (const TMfLine& l : map->lines)
        lines.push_back(l.address);
    for (auto _ : state) {
        int64_t sum = 0;
        for (uintptr_t address : addresses) {
            sum += std::upper_bound(publics.begin(), publics.end(), address) - publics.begin();
            sum += std::upper_bound(lines.begin(), lines.end(), address) - lines.begin();
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_PlainUpperBounds)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------
// crashdemo null-write from start to the stored report (names and lines
// read from its ".zor" file)

void BM_CrashDemoNullWrite(benchmark::State& state)
{
    char name[] = "/tmp/zorbenchXXXXXX";
    const std::string folder = mkdtemp(name) != nullptr ? name : "/tmp";
    const std::string command = "env DUSKMARCH_HEADLESS=1 TMPDIR='" + folder + "' DUSKMARCH_CRASHDEMO_DIR='" + folder +
                                "' '" + ZOR_CRASHDEMO_TEST + "' null-write >/dev/null 2>&1";
    for (auto _ : state)
        benchmark::DoNotOptimize(std::system(command.c_str()));
    std::system(("rm -rf '" + folder + "'").c_str());
}
BENCHMARK(BM_CrashDemoNullWrite)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
