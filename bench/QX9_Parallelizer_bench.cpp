// TParallelizer.Run overhead: the renderer runs the pool every frame with
// kept workers, so a run should cost little more than waking the workers.
// An empty OpenMP parallel region of as many threads is measured beside it.
#include <benchmark/benchmark.h>

#if defined(_OPENMP)
#include <omp.h>
#endif

#include "engine/QX9_Parallelizer.h"
#include "engine/QX9_System.h"
#include "platform/os/OS.h"

namespace {

void Empty(int32_t, void*) {}

const int ProcessorCount = OS_GetProcessorCount();

// Kept workers, one index each, an empty callback.
void BM_ParallelizerRunKeep(benchmark::State& state)
{
    const int32_t workers = static_cast<int32_t>(state.range(0));
    uint32_t processors = SystemInfo.NumberOfProcessors;
    SystemInfo.NumberOfProcessors = 1; // exactly the asked number of workers
    TParallelizer pool;
    pool.Init(workers);
    SystemInfo.NumberOfProcessors = processors;
    // One index a worker: a range as long as the pool would be the
    // caller's alone (its chunks are empty), and wakes nobody.
    pool.RunWorkers(Empty, workers, nullptr, true); // start the workers
    for (auto _ : state)
        pool.RunWorkers(Empty, workers, nullptr, true);
    pool.Done();
}
BENCHMARK(BM_ParallelizerRunKeep)->Arg(ProcessorCount)->Arg(2)->Unit(benchmark::kMicrosecond)->UseRealTime();

#if defined(_OPENMP)
// The same number of threads in an empty parallel region.
void BM_OpenMPEmptyRegion(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
#pragma omp parallel num_threads(threads)
        benchmark::DoNotOptimize(omp_get_thread_num());
    }
}
BENCHMARK(BM_OpenMPEmptyRegion)->Arg(ProcessorCount)->Arg(2)->Unit(benchmark::kMicrosecond)->UseRealTime();
#endif

// Without keep every run starts and ends its workers.
void BM_ParallelizerRunNoKeep(benchmark::State& state)
{
    uint32_t processors = SystemInfo.NumberOfProcessors;
    SystemInfo.NumberOfProcessors = 1;
    TParallelizer pool;
    pool.Init(8);
    SystemInfo.NumberOfProcessors = processors;
    for (auto _ : state)
        pool.RunWorkers(Empty, 8, nullptr, false);
    pool.Done();
}
BENCHMARK(BM_ParallelizerRunNoKeep)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
