// TParallelizer.Run overhead: the renderer runs the pool every frame with
// kept workers, so a run should cost little more than the signals.
#include <benchmark/benchmark.h>

#include "engine/QX9_Parallelizer.h"
#include "engine/QX9_System.h"

namespace {

void Empty(int32_t, void*) {}

// Eight kept workers, one index each, an empty callback.
void BM_ParallelizerRunKeep(benchmark::State& state)
{
    const int32_t workers = static_cast<int32_t>(state.range(0));
    uint32_t processors = SystemInfo.NumberOfProcessors;
    SystemInfo.NumberOfProcessors = 1; // exactly the asked number of workers
    TParallelizer pool;
    pool.Init(workers);
    SystemInfo.NumberOfProcessors = processors;
    pool.Run(Empty, 0, workers - 1, nullptr, true); // start the workers
    for (auto _ : state)
        pool.Run(Empty, 0, workers - 1, nullptr, true);
    pool.Done();
}
BENCHMARK(BM_ParallelizerRunKeep)->Arg(8)->Arg(2)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Without keep every run starts and ends its workers.
void BM_ParallelizerRunNoKeep(benchmark::State& state)
{
    uint32_t processors = SystemInfo.NumberOfProcessors;
    SystemInfo.NumberOfProcessors = 1;
    TParallelizer pool;
    pool.Init(8);
    SystemInfo.NumberOfProcessors = processors;
    for (auto _ : state)
        pool.Run(Empty, 0, 7, nullptr, false);
    pool.Done();
}
BENCHMARK(BM_ParallelizerRunNoKeep)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
