// Storing one report into a full bug report file: about 30 reports in
// 300,000 bytes, one of them the same failure (found and removed), then the
// oldest cut below three quarters of the limit. Against it: copying the
// file once the same safe way.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "crashreport/core/zorBugReportFile.h"
#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"

namespace {

std::u16string Report(uint32_t crc, size_t stackBytes)
{
    const std::u16string crcText = u"$" + CardToHexTextW(crc, 8).substr(1) + u", $22222222, $33333333";
    return u"date/time          : 2026-12-10, 18:00:00, 1ms\r\n"
           u"executable         : duskmarch\r\n"
           u"version            : 1.0.4\r\n"
           u"callstack crc      : " +
           crcText +
           u"\r\n"
           u"exception class    : EAccessViolation\r\n"
           u"exception message  : read of address 0.\r\n\r\n"
           u"main thread ($1):\r\n" +
           std::u16string(stackBytes, u'x');
}

struct TFile {
    std::string Folder, Path, Bytes;
    TFile()
    {
        char pattern[] = "/tmp/zorbench.XXXXXX";
        Folder = mkdtemp(pattern);
        Path = Folder + "/bugreport.txt";
        for (uint32_t i = 0; Bytes.size() < 300000; ++i)
            Bytes += WideToUtf8(Report(0x10000000u + i, 9800) + u"\r\n\r\n");
    }
    ~TFile()
    {
        unlink(Path.c_str());
        rmdir(Folder.c_str());
    }
};

void BM_StoreBugReport(benchmark::State& state)
{
    TFile file;
    const auto failure = TIZXException::Create(ModuleSettings());
    failure->WriteSettingBool("AppendBugReps", true);
    failure->WriteSettingInt("BugRepFileSize", 300000);
    const std::u16string report = Report(0x10000010u, 9800); // the same failure as a stored one
    for (auto _ : state) {
        state.PauseTiming();
        OS_WriteFileAtomic(file.Path, file.Bytes.data(), file.Bytes.size());
        state.ResumeTiming();
        if (!StoreBugReport(Utf8ToWide(file.Path), report, 0, *failure, true))
            state.SkipWithError("not stored");
    }
}
BENCHMARK(BM_StoreBugReport)->Unit(benchmark::kMillisecond);

void BM_CopyFileAtomic(benchmark::State& state)
{
    TFile file;
    for (auto _ : state)
        OS_WriteFileAtomic(file.Path, file.Bytes.data(), file.Bytes.size());
}
BENCHMARK(BM_CopyFileAtomic)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
