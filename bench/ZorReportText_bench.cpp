// Completing and composing a report of about 200 KB from fixed sources with
// one listener: the listener must hear of the complete report once.
#include <benchmark/benchmark.h>

#include <atomic>

#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/core/zorReportText.h"
#include "tests/fakes/FakeReportSources.h"

namespace {

std::atomic<int> Notifications{0};
void Listener(bool complete, const std::u16string&, const std::shared_ptr<IZXException>&)
{
    if (complete)
        ++Notifications;
}

void BM_CompleteAndCompose(benchmark::State& state)
{
    LinkInspection();
    LinkReportText();
    TFakeReportSources sources;
    std::string stack;
    for (int i = 0; i < 500; ++i)
        stack += "00000000004" + std::to_string(10000 + i) + " duskmarch QX9_Render.cpp 123 TRender.DrawScene\r\n";
    sources.Stacks->Default.Text = stack; // about 40 KB per thread
    for (uint32_t id = 1; id <= 5; ++id)
        sources.Threads->Add(id, u"thread ($" + std::u16string(1, u'0' + id) + u")");
    int notified = 0, runs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto failure = TIZXException::Create(ModuleSettings());
        failure->WriteSettingBool("ListThreads", true);
        failure->SetWantReport(true);
        failure->SetDeferCompletion(true);
        failure->SetFailure(ZorFailureException, std::make_exception_ptr(EAccessViolation("x")), 0x401000, 2);
        failure->AddReportListener(Listener, false);
        Notifications = 0;
        state.ResumeTiming();
        benchmark::DoNotOptimize(failure->ReportTextEx(true).size());
        state.PauseTiming();
        notified += Notifications;
        ++runs;
        failure.reset();
        state.ResumeTiming();
    }
    state.counters["complete notifications per report"] = runs ? static_cast<double>(notified) / runs : 0;
}
BENCHMARK(BM_CompleteAndCompose)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
