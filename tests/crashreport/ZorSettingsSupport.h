// Helpers of the settings, fields and exception tests: settings modules made
// from source text or bytes, the game's own settings resource, and a guard
// that leaves the reporter's slots and main settings as it found them.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/core/zorExcept_SettingsSource.h"
#include "crashreport/core/zorExcept_Slots.h"

// The game's settings source.
inline std::string GameSettingsSource()
{
    std::ifstream in(DUSKMARCH_FIXTURES "/../../data/crashreport/Duskmarch.zorsettings", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The game's settings resource as the build made it.
inline std::string GameSettingsResource()
{
    return ReadResourceText(RT_RCDATA, u"DuskmarchSettings");
}

// The resource of a settings source; a fault fails the test.
inline std::string SettingsFromSource(const std::string& source)
{
    std::string resource;
    std::string error;
    EXPECT_TRUE(CompileSettingsSources({source}, resource, error)) << error;
    return resource;
}

// A stand-in module with the given settings resource, for one test.
class TSettingsModule {
public:
    explicit TSettingsModule(const std::string& resource) : Handle(RegisterSettingsBlob(resource)) {}
    ~TSettingsModule() { UnregisterSettingsBlob(Handle); }
    TSettingsModule(const TSettingsModule&) = delete;
    TSettingsModule& operator=(const TSettingsModule&) = delete;

    std::shared_ptr<TIZXSettings> Settings() const { return TIZXSettings::Create(Handle, true); }

    const TModuleHandle Handle;
};

// Restores the slots and the main settings at the end of a test.
class TSlotsGuard {
public:
    TSlotsGuard() : Saved(ZorSlots()) {}
    ~TSlotsGuard()
    {
        ZorSlots() = Saved;
        SetMainSettings(nullptr);
    }

private:
    TZorSlots Saved;
};
