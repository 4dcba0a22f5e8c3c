// The freeze watchdog's cost to the main loop: the loop hook with nothing
// posted to the main thread, the reporter running with its watchdog, against
// an uncontended atomic exchange (the hook's own work).
#include <benchmark/benchmark.h>

#include <atomic>

#include "crashreport/core/zorExcept_Handlers.h"
#include "crashreport/core/zorExcept_Startup.h"
#include "crashreport/core/zorExcept_Watchdog.h"

namespace {

void BM_UncontendedExchange(benchmark::State& state)
{
    std::atomic<bool> flag{false};
    for (auto _ : state)
        benchmark::DoNotOptimize(flag.exchange(false, std::memory_order_acquire));
}
BENCHMARK(BM_UncontendedExchange);

void BM_LoopHookNothingPending(benchmark::State& state)
{
    StartReporter();
    // The game's settings leave the watchdog off; its interval is theirs.
    StartFreezeWatchdog(60000);
    // The first call of a thread looks at its channel once.
    ReporterPump();
    for (auto _ : state)
        ReporterPump();
    state.counters["watchdog"] = FreezeWatchdogRunning() ? 1 : 0;
    StopReporter();
}
BENCHMARK(BM_LoopHookNothingPending);

} // namespace

BENCHMARK_MAIN();
