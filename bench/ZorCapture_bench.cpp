// The capture path: from a fault signal in a worker until the handler thread
// has handled its request and the worker goes on (no report, no file: the
// hand-over and the dispatch alone); and from the fault in crashdemo until
// its bug report file is on disk and the program has ended.
#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/core/zorExcept_Startup.h"

namespace {

void BM_FaultToHandled(benchmark::State& state)
{
    StartReporter();
    if (auto settings = MainSettings()) {
        settings->WriteSettingBool("GnNoBugRep", true);
        settings->WriteSettingBool("AutoSave", false);
        settings->WriteSettingInt("GnShowCfg", 4);
    }
    std::thread worker([&] {
        const long self = syscall(SYS_gettid);
        for (auto _ : state)
            syscall(SYS_tgkill, getpid(), self, SIGSEGV);
    });
    worker.join();
    StopReporter();
}
BENCHMARK(BM_FaultToHandled)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_CrashDemoNullWriteToFile(benchmark::State& state)
{
    char folder[] = "/tmp/zorCaptureBenchXXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("no folder");
        return;
    }
    for (auto _ : state) {
        const pid_t child = fork();
        if (child == 0) {
            setenv("DUSKMARCH_HEADLESS", "1", 1);
            setenv("DUSKMARCH_CRASHDEMO_DIR", folder, 1);
            setenv("TMPDIR", folder, 1);
            unsetenv("XDG_RUNTIME_DIR");
            execl(ZOR_CRASHDEMO_TEST, ZOR_CRASHDEMO_TEST, "null-write", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 1)
            state.SkipWithError("crashdemo did not end as expected");
    }
    std::system((std::string("rm -rf ") + folder).c_str());
}
BENCHMARK(BM_CrashDemoNullWriteToFile)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

BENCHMARK_MAIN();
