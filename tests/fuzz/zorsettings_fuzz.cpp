// Any bytes as a settings resource: reading never goes past the end, an entry
// takes at least three bytes, and a module made of the bytes answers reads,
// lists and assistants from whatever it holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/core/zorExcept_Fields.h"
#include "crashreport/core/zorExcept_Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string resource(reinterpret_cast<const char*>(data), size);
    std::vector<TSettingEntry> entries;
    const std::string message = LoadSettingsResource(resource, entries);
    if (entries.size() * 3 > size)
        __builtin_trap();
    // A module only for resources without a message: the message would be
    // shown on every run.
    if (!message.empty())
        return 0;
    const TModuleHandle module = RegisterSettingsBlob(resource);
    {
        const auto settings = TIZXSettings::Create(module, true);
        for (const TSettingEntry& entry : entries) {
            settings->ReadSettingText(entry.Name);
            settings->ReadSettingInt(entry.Name);
        }
        settings->AddFields()->CopyFields();
        settings->AddAttachs()->CopyAttachments();
        settings->PluginEnabled(u"modules");
        std::u16string title;
        std::vector<std::u16string> forms;
        settings->FindAssistantEntry(u"SendAssistant", title, forms);
    }
    UnregisterSettingsBlob(module);
    return 0;
}
