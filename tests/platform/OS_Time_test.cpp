#include "platform/os/OS.h"
#include "tests/support/EnvOverride.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>
#include <sched.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Milliseconds this process has lived, from the kernel's record of its start.
int64_t ProcessAgeMs()
{
    std::ifstream in("/proc/self/stat");
    std::string line;
    std::getline(in, line);
    // Fields after the command name (which may hold blanks) start after ")".
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 22; ++i)
        fields >> field;
    uint64_t startTicks = 0;
    fields >> startTicks;
    timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    const int64_t startMs = static_cast<int64_t>(startTicks * 1000 / sysconf(_SC_CLK_TCK));
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000 - startMs;
}

uint32_t FixedTime()
{
    return 123456;
}

TEST(OSTimeTest, TimerStartsAt60000AndCanBeReplaced)
{
    const uint32_t first = OS_TimeGetTime();
    const int64_t age = ProcessAgeMs();
    // The count began at 60,000 no earlier than the process did.
    EXPECT_GE(first, 60000u);
    EXPECT_LE(static_cast<int64_t>(first) - 60000, age + 20);
    EXPECT_GE(OS_TimeGetTime(), first);

    OS_SetTimeSource(FixedTime);
    EXPECT_EQ(OS_TimeGetTime(), 123456u);
    OS_SetTimeSource(nullptr);
    EXPECT_GE(OS_TimeGetTime(), first);
}

TEST(OSTimeTest, LocalTimeFields)
{
    TEnvOverride env;
    env.Set("TZ", "UTC");
    tzset();
    struct Row {
        int64_t Seconds;
        TOSLocalTime Fields;
    };
    const Row rows[] = {
        {0, {1970, 1, 1, 0, 0, 0, 0}},
        {883612800, {1998, 1, 1, 0, 0, 0, 0}},
        {951782399, {2000, 2, 28, 23, 59, 59, 0}},
        {4102444800, {2100, 1, 1, 0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        const TOSLocalTime t = OS_UnixToLocalTime(row.Seconds);
        EXPECT_EQ(std::vector<int>({t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second, t.Millisecond}),
                  std::vector<int>({row.Fields.Year, row.Fields.Month, row.Fields.Day, row.Fields.Hour,
                                    row.Fields.Minute, row.Fields.Second, row.Fields.Millisecond}))
            << row.Seconds;
    }
    env.Set("TZ", "EST5");
    tzset();
    EXPECT_EQ(OS_UnixToLocalTime(0).Hour, 19);
    const TOSLocalTime now = OS_GetLocalTime();
    EXPECT_GE(now.Year, 2020);
    EXPECT_LT(now.Millisecond, 1000);
    env.Unset("TZ");
    tzset();
}

TEST(OSProcessTest, UserNameFallsBackToUserAndLogname)
{
    struct Row {
        const char* UserName;
        const char* User;
        const char* Logname;
        const char* Expected;
    };
    const Row rows[] = {
        {"win", "unix", "log", "win"},    {nullptr, "unix", "log", "unix"}, {"", "unix", "log", "unix"},
        {nullptr, nullptr, "log", "log"}, {nullptr, nullptr, nullptr, ""},
    };
    for (const Row& row : rows) {
        TEnvOverride env;
        const std::pair<const char*, const char*> values[] = {
            {"USERNAME", row.UserName}, {"USER", row.User}, {"LOGNAME", row.Logname}};
        for (const auto& [name, value] : values) {
            if (value)
                env.Set(name, value);
            else
                env.Unset(name);
        }
        EXPECT_EQ(OS_GetUserName(), row.Expected) << (row.UserName ? row.UserName : "-");
    }
    EXPECT_EQ(OS_GetEnv("DUSKMARCH_SURELY_UNSET_VARIABLE"), "");
}

TEST(OSProcessTest, LocalAppDataFolder)
{
    struct Row {
        const char* XdgDataHome;
        const char* Home;
        const char* Expected;
    };
    const Row rows[] = {
        {"/xdg/data", "/home/u", "\\xdg\\data"},
        {"/xdg/data/", "/home/u", "\\xdg\\data"},
        {nullptr, "/home/u", "\\home\\u\\.local\\share"},
        {"", "/home/u/", "\\home\\u\\.local\\share"},
        {"relative/data", "/home/u", "\\home\\u\\.local\\share"},
        {nullptr, "/", "\\.local\\share"},
    };
    for (const Row& row : rows) {
        TEnvOverride env;
        if (row.XdgDataHome)
            env.Set("XDG_DATA_HOME", row.XdgDataHome);
        else
            env.Unset("XDG_DATA_HOME");
        env.Set("HOME", row.Home);
        EXPECT_EQ(OS_GetLocalAppDataFolder(), row.Expected) << (row.XdgDataHome ? row.XdgDataHome : "-");
    }
}

TEST(OSProcessTest, ConfigAndShellFolders)
{
    TEnvOverride env;
    env.Set("HOME", "/home/u");
    env.Set("XDG_DATA_HOME", "/xdg/data");
    env.Unset("XDG_CONFIG_HOME");
    env.Unset("XDG_DESKTOP_DIR");
    EXPECT_EQ(OS_GetConfigFolder(), "\\home\\u\\.config");
    env.Set("XDG_CONFIG_HOME", "/xdg/config/");
    EXPECT_EQ(OS_GetConfigFolder(), "\\xdg\\config");
    // Roaming, local and common application data are one folder here.
    for (int id : {0x1A, 0x1C, 0x23})
        EXPECT_EQ(OS_GetShellFolder(id), "\\xdg\\data") << id;
    EXPECT_EQ(OS_GetShellFolder(0x10), "\\home\\u\\Desktop");
    env.Set("XDG_DESKTOP_DIR", "/d");
    EXPECT_EQ(OS_GetShellFolder(0x10), "\\d");
    EXPECT_EQ(OS_GetShellFolder(5), "");
}

TEST(OSProcessTest, ProgramFileAndProcessors)
{
    const std::string name = OS_GetModuleFileName();
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(name[0], '\\');
    EXPECT_EQ(name.find('/'), std::string::npos);
    EXPECT_EQ(name.substr(name.rfind('\\') + 1), program_invocation_short_name);
    EXPECT_EQ(OS_GetFileAttributes(name) & ~FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_GE(OS_GetProcessorCount(), 1);
    EXPECT_EQ(OS_GetProgramFolder(), name.substr(0, name.rfind('\\') + 1));
    EXPECT_EQ(OS_ToProgramPath(OS_GetProgramFileNative()), name);
}

// The processor count is that of the affinity mask: under taskset or a
// container's CPU set, fewer processors than the machine's. Each case runs
// in a child whose mask is narrowed to the first one or two processors this
// process may use; the child's exit status says what it counted.
TEST(OSProcessTest, ProcessorsFollowTheAffinityMask)
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    EXPECT_EQ(OS_GetProcessorCount(), CPU_COUNT(&allowed));
    std::vector<int> usable;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &allowed))
            usable.push_back(cpu);
    for (const size_t wanted : {size_t{1}, size_t{2}}) {
        if (usable.size() < wanted)
            GTEST_SKIP() << "this process may run on " << usable.size() << " processor(s) only";
        SCOPED_TRACE(wanted);
        std::fflush(stdout);
        std::fflush(stderr);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            cpu_set_t narrow;
            CPU_ZERO(&narrow);
            for (size_t i = 0; i < wanted; ++i)
                CPU_SET(usable[i], &narrow);
            if (sched_setaffinity(0, sizeof narrow, &narrow) != 0)
                _exit(100);
            _exit(std::min(OS_GetProcessorCount(), 99));
        }
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 100) << "the child could not narrow its processors";
        EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(wanted));
    }
}

TEST(OSProcessDeathTest, ExitProcessFlushesAndEnds)
{
    EXPECT_EXIT(
        {
            static char buffer[256];
            setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
            fputs("buffered words", stderr);
            OS_ExitProcess(3);
        },
        testing::ExitedWithCode(3), "buffered words");
}

} // namespace
