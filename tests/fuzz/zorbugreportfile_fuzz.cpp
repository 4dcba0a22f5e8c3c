// An existing bug report file and a new report from the bytes (the first
// bytes choose the options and where the file ends): storing never loses the
// new report, which always stands at the end, and never grows the old part.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/core/zorBugReportFile.h"
#include "crashreport/diagnostics/zorStrings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    TBugReportFileOptions options;
    options.Append = true;
    options.NoDupExcepts = data[0] & 1;
    options.NoDupFreezes = data[0] & 2;
    options.DupExceptDepth = (data[0] >> 2) & 3;
    options.DupFreezeDepth = (data[0] >> 4) & 3;
    options.SizeLimit = data[1] * 16;
    const size_t split = 4 + (static_cast<size_t>(data[2]) << 8 | data[3]) % (size - 3);
    const std::string file(reinterpret_cast<const char*>(data) + 4, split - 4);
    std::u16string report = Utf8ToWide(std::string(reinterpret_cast<const char*>(data) + split, size - split));
    const std::u16string original = report;
    const std::string merged = MergeBugReport(file, report, options);
    const std::string tail = WideToUtf8(report + u"\r\n\r\n");
    if (merged.size() < tail.size() || merged.compare(merged.size() - tail.size(), tail.size(), tail) != 0)
        __builtin_trap();
    if (merged.size() - tail.size() > file.size())
        __builtin_trap();
    // Only a "count" line may have been added.
    if (report != original) {
        if (report.size() <= original.size())
            __builtin_trap();
        const size_t added = report.size() - original.size();
        size_t mismatch = 0;
        while (mismatch < original.size() && report[mismatch] == original[mismatch])
            ++mismatch;
        bool found = false;
        for (size_t back = 0; back <= added && back <= mismatch && !found; ++back) {
            const size_t at = mismatch - back;
            found = report.compare(at + added, std::u16string::npos, original, at, std::u16string::npos) == 0 &&
                    report.compare(0, at, original, 0, at) == 0 && report.compare(at, 7, u"\r\ncount") == 0;
        }
        if (!found)
            __builtin_trap();
    }
    return 0;
}
