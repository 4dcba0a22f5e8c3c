#include "platform/os/OS.h"
#include "tests/support/EnvOverride.h"

#include <gtest/gtest.h>

namespace {

TEST(OSMessageBoxTest, HeadlessWhenAskedOrWithoutDisplay)
{
    struct Row {
        const char* Headless;
        const char* Display;
        const char* Wayland;
        bool Expected;
    };
    const Row rows[] = {
        {"1", ":0", nullptr, true}, {"1", nullptr, nullptr, true},   {nullptr, nullptr, nullptr, true},
        {"0", "", "", true},        {nullptr, ":0", nullptr, false}, {"0", nullptr, "wayland-0", false},
    };
    for (const Row& row : rows) {
        TEnvOverride env;
        const std::pair<const char*, const char*> values[] = {
            {"DUSKMARCH_HEADLESS", row.Headless}, {"DISPLAY", row.Display}, {"WAYLAND_DISPLAY", row.Wayland}};
        for (const auto& [name, value] : values) {
            if (value)
                env.Set(name, value);
            else
                env.Unset(name);
        }
        EXPECT_EQ(OS_IsHeadless(), row.Expected)
            << (row.Headless ? row.Headless : "-") << " " << (row.Display ? row.Display : "-");
    }
}

TEST(OSMessageBoxTest, HeadlessBoxesGoToStderrWithoutBlocking)
{
    TEnvOverride env;
    env.Set("DUSKMARCH_HEADLESS", "1");
    env.Set("DISPLAY", ":0"); // a display would be there, but the run is headless
    struct Row {
        const char* Caption;
        const char* Text;
        const char* Written;
    };
    const Row rows[] = {
        {"Duskmarch", "ERRORS:\n\rTIniFile.Load(a.ini) -> FILE NOT FOUND!",
         "Duskmarch: ERRORS:\nTIniFile.Load(a.ini) -> FILE NOT FOUND!\n"},
        {"Cap", "one\r\ntwo\n\rthree\n", "Cap: one\ntwo\nthree\n"},
        {"Cap", "a\r\n\r\nb", "Cap: a\n\nb\n"},
        {"Cap", "a\n\n", "Cap: a\n\n"},
        {"Cap", "", "Cap: \n"},
    };
    for (const Row& row : rows) {
        testing::internal::CaptureStderr();
        OS_MessageBox(row.Caption, row.Text, MB_ICONERROR);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.Written) << row.Text;
    }
}

} // namespace
