// Settings reads through a failure, as a composed report makes them: each
// read looks in the failure's own table, then the module's, then the
// built-in defaults. One run is 10,000 typed reads of keys picked at random.
#include <benchmark/benchmark.h>

#include "crashreport/core/zorExcept_Exception.h"
#include "engine/QX9_System.h"

namespace {

void BM_FailureSettingReads(benchmark::State& state)
{
    const auto failure = TIZXException::Create(ModuleSettings());
    // A few keys of the failure's own, as the capture and the filters write.
    failure->SetLimitDisAsm(9);
    failure->SetCpuRegs(true);
    failure->SetMailSubj(u"%appname%: bug report");
    constexpr size_t keyCount = std::size(SettingKeys);
    RandomSeed = 20240601;
    std::vector<const TSettingKeyInfo*> picks(10000);
    for (auto& pick : picks)
        pick = &SettingKeys[RandomInt(static_cast<int32_t>(keyCount))];
    for (auto _ : state) {
        for (const TSettingKeyInfo* key : picks) {
            switch (key->Kind) {
            case TSettingKind::Bool:
                benchmark::DoNotOptimize(failure->ReadSettingBool(key->Name));
                break;
            case TSettingKind::Int:
                benchmark::DoNotOptimize(failure->ReadSettingInt(key->Name));
                break;
            case TSettingKind::Text:
                benchmark::DoNotOptimize(failure->ReadSettingText(key->Name));
                break;
            }
        }
    }
}
BENCHMARK(BM_FailureSettingReads)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
