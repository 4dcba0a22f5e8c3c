// The game's entry. Until the front end exists, the program starts the engine's
// base services, checks them and reports what it found.
#include <cstdio>
#include <string>

#include "app/SelfCheck.h"
#include "crashreport/core/zorExcept_Startup.h"
#include "engine/QX9_System.h"

namespace {
int Failures = 0;
} // namespace

void Report(const std::string& what, bool ok, const std::string& detail)
{
    std::printf("  %-28s %-7s %s\n", what.c_str(), ok ? "OK" : "FAILED", detail.c_str());
    if (!ok) {
        ++Failures;
    }
}

namespace {

void CheckClock()
{
    const int32_t first = GetTimeMs(true);
    int32_t later = first;
    // The timer counts milliseconds; give it a generous while to move on.
    for (int i = 0; i < 200 && later == first; ++i) {
        OS_SleepMs(5);
        later = GetTimeMs(true);
    }
    Report("clock runs", later > first && first > 0,
           "engine time " + Int64ToStr(first, false) + " ms, then " + Int64ToStr(later, false) + " ms");
}

void CheckRandom()
{
    const uint32_t saved = RandomSeed;
    RandomSeed = 0;
    std::string drawn;
    bool ok = true;
    const int32_t expected[] = {38, 7719, 21238, 2437, 8855};
    for (int32_t want : expected) {
        const int32_t got = RandomInt(32768);
        drawn += (drawn.empty() ? "" : ", ") + Int64ToStr(got, false);
        ok = ok && got == want;
    }
    RandomSeed = saved;
    Report("random generator, seed 0", ok, drawn);
}

void CheckCrc()
{
    uint32_t crc = 0xFFFFFFFFu;
    for (char c : std::string("123456789")) {
        crc = Crc32Update(static_cast<uint8_t>(c), crc);
    }
    crc = ~crc;
    char text[16];
    std::snprintf(text, sizeof(text), "%08X", crc);
    Report("CRC-32 of \"123456789\"", crc == 0xCBF43926u, text);
}

void CheckParsers()
{
    struct Sample {
        const char* text;
        const char* expected; // to four decimals
    };
    const Sample floats[] = {{"1.5E+2", "1.5200"}, {"2.5e-02", "0.0250"}, {"-0,75", "-0.7500"}};
    for (const Sample& s : floats) {
        const std::string got = FloatToStrDecimals(4, StrToFloatLenient(s.text));
        Report(std::string("float '") + s.text + "'", got == s.expected, got);
    }
    const int32_t fifteen = StrToIntLenient("1.5");
    Report("integer '1.5'", fifteen == 15, Int64ToStr(fifteen, false));
    const std::string formatted = FloatToStrDecimals(-1, 1.1f);
    Report("format 1.1 (single)", formatted == "1.10000002", formatted);
}

void CheckFolders()
{
    const bool exeOk = !ExePath.empty() && ExePath.back() == '\\' &&
                       (OS_GetFileAttributes(ExePath.substr(0, ExePath.size() - 1)) & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                       OS_GetFileAttributes(ExePath.substr(0, ExePath.size() - 1)) != INVALID_FILE_ATTRIBUTES;
    Report("program folder", exeOk, ExePath + " (" + ExeBaseName + ")");

    // An unset name is allowed (saves then go without one); it must be the
    // environment's value.
    Report("user name", UserNameEnv == GetUserNameEnv(), UserNameEnv.empty() ? "(not set)" : UserNameEnv);

    const std::string localAppData = GetShellFolder(CSIDL_LOCAL_APPDATA);
    Report("local app data folder", !localAppData.empty(), localAppData.empty() ? "(not found)" : localAppData);
}

} // namespace

int main()
{
    // The crash reporter watches everything the game does: it starts before
    // every unit and stops after them.
    StartReporterUnit();
    QX9_System_Init();
    std::printf("Duskmarch: the game itself is not built yet.\n");
    std::printf("Built so far: the engine foundation (base services, paths and files, ini files,\n"
                "pack files, scripts, data containers, XML, math, path finder, calculator, main\n"
                "window and message loop, worker pool, sound), the game tables and personage\n"
                "rules, and the renderer's Direct3D-like device with textures and shaders.\n");
    std::printf("Self-check:\n");
    CheckClock();
    CheckRandom();
    CheckCrc();
    CheckParsers();
    CheckFolders();
    CheckReaders();
    CheckMath();
    CheckTables();
    CheckSound();
    CheckRenderer();
    if (Failures == 0) {
        std::printf("All checks passed.\n");
    } else {
        std::printf("%d check(s) FAILED.\n", Failures);
    }
    std::fflush(stdout);
    QX9_System_Shutdown();
    StopReporterUnit();
    return Failures == 0 ? 0 : 1;
}
