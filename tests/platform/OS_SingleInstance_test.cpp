// The single-instance name across real processes: the test program starts
// copies of itself that run one disabled test each (chosen by environment).
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/os/OS_SingleInstance.h"
#include "tests/support/EnvOverride.h"

extern char** environ;

namespace {

std::string UniqueName(const char* what)
{
    return std::string("single-instance-test-") + what + "-" + std::to_string(getpid());
}

// Starts this test program running only `test`, with extra environment
// entries; stdout goes to outFd when it is not -1. Returns the child's pid.
pid_t SpawnSelf(const std::string& test, const std::vector<std::string>& extraEnv, int outFd = -1)
{
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=" + test;
    std::string disabled = "--gtest_also_run_disabled_tests";
    std::vector<char*> argv{self.data(), filter.data(), disabled.data(), nullptr};
    std::vector<std::string> env(extraEnv);
    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd != -1)
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int WaitExit(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ProbeName()
{
    return OS_GetEnv("DUSKMARCH_PROBE_NAME");
}

// Reads lines from the pipe until one equals `want` or the pipe ends.
bool WaitForLine(FILE* in, const std::string& want)
{
    char line[512];
    while (std::fgets(line, sizeof(line), in) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        if (text == want)
            return true;
    }
    return false;
}

TEST(SingleInstanceTest, NameIsHeldUntilReleased)
{
    const std::string name = UniqueName("held");
    THandle first = INVALID_HANDLE_VALUE, second = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OS_AcquireSingleInstance(name, first), TSingleInstanceResult::First);
    EXPECT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OS_AcquireSingleInstance(name, second), TSingleInstanceResult::AnotherCopy);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    // Nobody asked yet; then one request (sent twice) is taken at once.
    EXPECT_FALSE(OS_TakeRaiseRequest(first));
    EXPECT_TRUE(OS_SendRaiseRequest(name));
    EXPECT_TRUE(OS_SendRaiseRequest(name));
    EXPECT_TRUE(OS_TakeRaiseRequest(first));
    EXPECT_FALSE(OS_TakeRaiseRequest(first));
    OS_ReleaseSingleInstance(first);
    EXPECT_FALSE(OS_SendRaiseRequest(name)); // no one holds it now
    ASSERT_EQ(OS_AcquireSingleInstance(name, second), TSingleInstanceResult::First);
    OS_ReleaseSingleInstance(second);
}

TEST(SingleInstanceTest, LongNamesThatShareAStartStayApart)
{
    const std::string start = UniqueName("long") + std::string(200, 'x');
    THandle a = INVALID_HANDLE_VALUE, b = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OS_AcquireSingleInstance(start + "a", a), TSingleInstanceResult::First);
    EXPECT_EQ(OS_AcquireSingleInstance(start + "b", b), TSingleInstanceResult::First);
    THandle again = INVALID_HANDLE_VALUE;
    EXPECT_EQ(OS_AcquireSingleInstance(start + "a", again), TSingleInstanceResult::AnotherCopy);
    OS_ReleaseSingleInstance(a);
    OS_ReleaseSingleInstance(b);
}

// Only a held name means another copy: when the test itself fails (here no
// descriptor can be opened) the game must still start.
TEST(SingleInstanceTest, OtherFailuresAreNotAnotherCopy)
{
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    THandle lock = INVALID_HANDLE_VALUE;
    TSingleInstanceResult result = OS_AcquireSingleInstance(UniqueName("no-descriptors"), lock);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_EQ(result, TSingleInstanceResult::Unknown);
    EXPECT_EQ(lock, INVALID_HANDLE_VALUE);
}

// The first copy (a child, so that it can be killed), a second copy that is
// turned away and asks the first to come forward, and after the first is
// killed a third copy that starts.
TEST(SingleInstanceTest, SecondCopyIsTurnedAwayUntilTheFirstEnds)
{
    const std::string name = UniqueName("processes");
    const std::vector<std::string> env{"DUSKMARCH_PROBE_NAME=" + name};
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t first = SpawnSelf("SingleInstanceProbe.DISABLED_HoldAndReportRaise", env, pipeFds[1]);
    close(pipeFds[1]);
    ASSERT_GT(first, 0);
    FILE* fromFirst = fdopen(pipeFds[0], "r");
    ASSERT_NE(fromFirst, nullptr);
    ASSERT_TRUE(WaitForLine(fromFirst, "holding"));

    pid_t second = SpawnSelf("SingleInstanceProbe.DISABLED_TurnedAway", env);
    ASSERT_GT(second, 0);
    EXPECT_EQ(WaitExit(second), 0) << "the second copy must find the name held";
    EXPECT_TRUE(WaitForLine(fromFirst, "raise requested"));

    kill(first, SIGKILL);
    EXPECT_EQ(WaitExit(first), 128 + SIGKILL);
    fclose(fromFirst);

    pid_t third = SpawnSelf("SingleInstanceProbe.DISABLED_Starts", env);
    ASSERT_GT(third, 0);
    EXPECT_EQ(WaitExit(third), 0) << "a killed holder must leave the name free";
}

// ---------------------------------------------------------------------------
// The copies' parts (run only by the test above).

TEST(SingleInstanceProbe, DISABLED_HoldAndReportRaise)
{
    THandle lock = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OS_AcquireSingleInstance(ProbeName(), lock), TSingleInstanceResult::First);
    std::printf("holding\n");
    std::fflush(stdout);
    // Runs until killed.
    for (;;) {
        if (OS_TakeRaiseRequest(lock)) {
            std::printf("raise requested\n");
            std::fflush(stdout);
        }
        OS_SleepMs(5);
    }
}

TEST(SingleInstanceProbe, DISABLED_TurnedAway)
{
    THandle lock = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OS_AcquireSingleInstance(ProbeName(), lock), TSingleInstanceResult::AnotherCopy);
    EXPECT_TRUE(OS_SendRaiseRequest(ProbeName()));
}

TEST(SingleInstanceProbe, DISABLED_Starts)
{
    THandle lock = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OS_AcquireSingleInstance(ProbeName(), lock), TSingleInstanceResult::First);
    OS_ReleaseSingleInstance(lock);
}

} // namespace

TEST(SingleInstanceTest, CopiesWithDataFoldersOfTheirOwnRunSideBySide)
{
    const std::string name = UniqueName("homes");
    TEnvOverride env;
    env.Set("XDG_DATA_HOME", "/tmp/duskmarch-home-a");
    THandle a = INVALID_HANDLE_VALUE, b = INVALID_HANDLE_VALUE, again = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OS_AcquireSingleInstance(name, a), TSingleInstanceResult::First);
    env.Set("XDG_DATA_HOME", "/tmp/duskmarch-home-b");
    EXPECT_EQ(OS_AcquireSingleInstance(name, b), TSingleInstanceResult::First);
    env.Set("XDG_DATA_HOME", "/tmp/duskmarch-home-a");
    EXPECT_EQ(OS_AcquireSingleInstance(name, again), TSingleInstanceResult::AnotherCopy)
        << "a second copy on the same data folder";
    OS_ReleaseSingleInstance(a);
    OS_ReleaseSingleInstance(b);
}
