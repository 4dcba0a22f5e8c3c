// Any bytes as a stored bug report file: header values come back trimmed and
// taken from the text, section texts are pieces of it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/core/zorBugReportFile.h"
#include "crashreport/diagnostics/zorStrings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::u16string text = Utf8ToWide(std::string(reinterpret_cast<const char*>(data), size));
    for (const char16_t* label : {u"callstack crc", u"count", u"version", u"exec. date/time", u"", u"exception"}) {
        const std::u16string value = ReportHeaderValue(text, label);
        if (!value.empty() && (value.front() <= 32 || value.back() <= 32 || text.find(value) == std::u16string::npos))
            __builtin_trap();
    }
    for (const char16_t* name : {u"error details", u"main thread", u""}) {
        const std::u16string section = ReportSectionText(text, name);
        if (!section.empty() && text.find(section) == std::u16string::npos)
            __builtin_trap();
    }
    std::u16string edited = text;
    InsertReportHeaderLine(edited, u"count", u"callstack crc", u"2");
    if (edited.size() < text.size())
        __builtin_trap();
    return 0;
}
