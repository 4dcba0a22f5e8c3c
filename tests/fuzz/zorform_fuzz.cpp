// Any bytes as an assistant form resource, and as a form's source: reading
// never goes past the end and keeps the three navigation buttons, and the
// form built from whatever was read runs its events and its layout.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "crashreport/core/zorExcept_SettingsSource.h"
#include "crashreport/assistants/zorNVAssistant.h"
#include "crashreport/assistants/zorNVLayout.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

TNVTextSize Measure(TNVFont, const std::u16string& text, int32_t wrap)
{
    const int32_t width = static_cast<int32_t>(text.size()) * 6;
    return wrap > 0 && width > wrap ? TNVTextSize{wrap, 13 * ((width + wrap - 1) / wrap)} : TNVTextSize{width, 13};
}

void Exercise(const std::string& data)
{
    TNVForm form(nullptr, 2, 1, nullptr, data, u"title");
    if (form.ItemCount() < 3)
        __builtin_trap();
    LayoutForm(form, Measure);
    form.ShowForm([](TNVForm& shown) {
        for (int32_t i = 0; i < shown.ItemCount() && shown.IsShown(); ++i) {
            const std::u16string name = shown.ItemObject(i)->ItemName;
            shown.KeyTab(i % 2 == 1);
            shown.TypeText(name, u"a@b.c");
            shown.TimerTick();
            if (i >= 3)
                shown.Click(name);
            shown.KeyEnter();
        }
        shown.KeyEscape();
    });
}

} // namespace

// A form may name the contact handler, which remembers what was entered:
// in a folder of the fuzzer's own, removed when it exits.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string folder = FuzzRealFolder("zorform");
    folder.pop_back();
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    setenv("DUSKMARCH_HEADLESS", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Exercise(bytes);
    std::string resource, error;
    if (CompileFormSource(bytes, resource, error))
        Exercise(resource);
    return 0;
}
