// Any bytes as the readable source of a settings resource (one key a line:
// name, type, value), alone and laid over the sample installation's settings:
// a source that compiles gives a resource that loads back with a value for
// every key it named, in the source's order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/core/zorExcept_SettingsSource.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

const std::string Base = "Enabled bool on\nSmtpPort int 25\nMailTo text \"bugs@example.org\"\n"
                         "BugTrDescr text \"error details: \\r\\n%errorDetails%\"\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string source(reinterpret_cast<const char*>(data), size);
    for (const bool overlay : {false, true}) {
        std::vector<TSettingsSourceEntry> parsed;
        std::string error;
        if (!ParseSettingsSource(source, overlay, parsed, error))
            continue;
        std::vector<TSettingEntry> loaded;
        const std::string message = LoadSettingsResource(WriteSettingsResource(parsed), loaded);
        (void)message;
        FuzzCheck(loaded.size() == parsed.size());
        for (size_t i = 0; i < parsed.size(); ++i)
            FuzzCheck(loaded[i].Name == parsed[i].Name);
    }
    std::string resource, error;
    if (CompileSettingsSources({Base, source}, resource, error)) {
        std::vector<TSettingEntry> loaded;
        LoadSettingsResource(resource, loaded);
        FuzzCheck(loaded.size() >= 4);
    }
    return 0;
}
