// The crash demonstration run as a program: each failure read back from the
// bug report file and the exit status. Every wait is bounded. In the
// sanitizer build the sanitizers' own signal handling is switched off in the
// child, so that the reporter's handlers are the ones tested.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

struct TDemoRun {
    bool Exited = false;
    int ExitCode = -1;
    int Signal = 0;
    bool TimedOut = false;
    std::string Out;
};

// Runs the program with the words; stdout is collected until every holder
// of it has closed it (a restarted successor too), within the time-out.
TDemoRun RunProgram(const std::string& program, const std::vector<std::string>& words, const std::string& folder,
                    int timeoutMs = 60000)
{
    TDemoRun run;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return run;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        setenv("DUSKMARCH_HEADLESS", "1", 1);
        setenv("TMPDIR", folder.c_str(), 1);
        setenv("DUSKMARCH_CRASHDEMO_DIR", folder.c_str(), 1);
        unsetenv("XDG_RUNTIME_DIR");
        setenv("ASAN_OPTIONS",
               "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:use_sigaltstack=0", 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& w : words)
            argv.push_back(const_cast<char*>(w.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            run.TimedOut = true;
            kill(child, SIGKILL);
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        const ssize_t n = read(out[0], buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        run.Out.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.Exited = WIFEXITED(status);
    run.ExitCode = run.Exited ? WEXITSTATUS(status) : -1;
    run.Signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return run;
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// A private folder inside the test's working folder (so that a program can
// be linked into it: its folder is where the game's settings store).
class TDemoFolder {
public:
    TDemoFolder()
    {
        char name[] = "crashdemoXXXXXX";
        Path = mkdtemp(name) ? std::string(name) : std::string();
        char* real = realpath(Path.c_str(), nullptr);
        if (real != nullptr) {
            Path = real;
            free(real);
        }
    }
    ~TDemoFolder() { std::system(("rm -rf '" + Path + "'").c_str()); }
    std::string Path;
};

// The program in the folder: a link where possible, else a copy.
std::string PlaceProgram(const std::string& program, const std::string& folder)
{
    const std::string name = program.substr(program.rfind('/') + 1);
    const std::string placed = folder + "/" + name;
    if (link(program.c_str(), placed.c_str()) != 0) {
        std::ifstream in(program, std::ios::binary);
        std::ofstream out(placed, std::ios::binary);
        out << in.rdbuf();
        out.close();
        chmod(placed.c_str(), 0755);
    }
    return placed;
}

std::string HeaderValue(const std::string& report, const std::string& label)
{
    const size_t at = report.find("\r\n" + label);
    if (at == std::string::npos)
        return {};
    const size_t colon = report.find(": ", at);
    const size_t end = report.find("\r\n", colon);
    return report.substr(colon + 2, end - colon - 2);
}

} // namespace

TEST(ZorCrashDemo, EachFailureGivesItsReportAndExitStatus)
{
    struct TCase {
        const char* Word;
        int Exit;
        const char* Class; // empty: any
        const char* Message;
        const char* AlsoInReport;
    };
    const TCase cases[] = {
        {"null-write", 1, "EAccessViolation", "in module 'crashdemo_test'. Write of address $0.",
         "Access violation at address $"},
        {"null-read", 1, "EAccessViolation", "Read of address $0.", "in module 'crashdemo_test'."},
        {"div-zero", 1, "EExternal", "Division by zero.", ""},
        {"raise-segv", 1, "EExternal", "External exception b.", ""},
        {"abort", 1, "EExternal", "External exception 6.", ""},
        {"recurse", 1, "EExternal", "Stack overflow.", ""},
        {"thread-recurse", 0, "EExternal", "Stack overflow.", ""},
        {"throw", 1, "std::runtime_error", "demo failure.", ""},
        {"throw-nested", 1, "", "second failure.",
         "inner exception level 1:\r\n>> (anonymous namespace)::TDemoFailureA, first failure"},
        {"thread-throw", 0, "std::runtime_error", "boom.", "\r\n\r\nthread $"},
    };
    for (const TCase& c : cases) {
        TDemoFolder folder;
        const TDemoRun run = RunProgram(ZOR_CRASHDEMO_TEST, {c.Word}, folder.Path);
        ASSERT_FALSE(run.TimedOut) << c.Word;
        EXPECT_TRUE(run.Exited) << c.Word << " signal " << run.Signal;
        EXPECT_EQ(run.ExitCode, c.Exit) << c.Word;
        EXPECT_EQ(run.Out, "") << c.Word; // no box and no console text in this variant
        const std::string report = ReadWholeFile(folder.Path + "/bugreport.txt");
        ASSERT_FALSE(report.empty()) << c.Word;
        const std::string message = HeaderValue(report, "exception message");
        EXPECT_NE(message.find(c.Message), std::string::npos) << c.Word << ": " << message;
        if (*c.Class) {
            EXPECT_EQ(HeaderValue(report, "exception class"), c.Class) << c.Word;
        }
        EXPECT_NE(report.find(c.AlsoInReport), std::string::npos) << c.Word << "\n" << report;
        if (std::string(c.Word) == "throw-nested") {
            EXPECT_NE(HeaderValue(report, "exception class").find("TDemoFailureB"), std::string::npos);
        }
    }
}

TEST(ZorCrashDemo, TheGamesSettingsTellTheFailureOnTheConsoleAndStoreIt)
{
    TDemoFolder folder;
    const std::string program = PlaceProgram(ZOR_CRASHDEMO, folder.Path);
    const TDemoRun run = RunProgram(program, {"null-write"}, folder.Path);
    ASSERT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 1);
    const std::string head = "An error occurred in the application.\n\n";
    ASSERT_EQ(run.Out.substr(0, head.size()), head);
    const std::string shown = run.Out.substr(head.size());
    EXPECT_NE(shown.find("exception class  : EAccessViolation"), std::string::npos) << shown;
    const std::string stored = ReadWholeFile(folder.Path + "/bugreport.txt");
    ASSERT_FALSE(stored.empty());
    // The file holds the same report (and the empty line after it).
    EXPECT_EQ(stored.substr(0, stored.find_last_not_of("\r\n") + 1),
              shown.substr(0, shown.find_last_not_of("\r\n") + 1));
}

TEST(ZorCrashDemo, ARunWithoutFailureLeavesNothingBehind)
{
    TDemoFolder folder;
    const std::string program = PlaceProgram(ZOR_CRASHDEMO, folder.Path);
    const TDemoRun run = RunProgram(program, {"ok"}, folder.Path);
    ASSERT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, "");
    EXPECT_FALSE(Exists(folder.Path + "/bugreport.txt"));
    EXPECT_FALSE(Exists(folder.Path + "/crashdemo.zorExcept"));
}

TEST(ZorCrashDemo, AnAutomaticRestartHandsItsFailureTimesToTheNextProcess)
{
    TDemoFolder folder;
    // The successor is no child of ours unless we adopt the orphans.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const std::string marker = folder.Path + "/marker";
    const TDemoRun run =
        RunProgram(ZOR_CRASHDEMO_TEST, {"auto-restart", "null-write-once", marker, "history"}, folder.Path);
    int successorStatus = -1;
    pid_t successor = -1;
    for (int i = 0; i < 600 && successor <= 0; ++i) {
        successor = waitpid(-1, &successorStatus, WNOHANG);
        if (successor == 0)
            usleep(50000);
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    ASSERT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 2);
    ASSERT_GT(successor, 0);
    EXPECT_TRUE(WIFEXITED(successorStatus) && WEXITSTATUS(successorStatus) == 0);
    // "history: pid <pid> <newest> ...": the successor's own line.
    std::istringstream line(run.Out.substr(run.Out.find("history:")));
    std::string word;
    int pid = 0;
    long long newest = 0;
    line >> word >> word >> pid >> newest;
    EXPECT_EQ(pid, successor);
    EXPECT_GT(newest, 0);
    EXPECT_TRUE(Exists(marker));
}

TEST(ZorCrashDemo, TheHooksAreDefinedInEveryProgramWithTheReporter)
{
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
    std::vector<std::string> programs = {ZOR_CRASHDEMO, ZOR_CRASHDEMO_TEST, self};
    if (Exists(ZOR_GAME_PROGRAM))
        programs.push_back(ZOR_GAME_PROGRAM);
    for (const std::string& program : programs) {
        FILE* pipe = popen(("nm --defined-only '" + program + "' 2>/dev/null").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string symbols;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
            symbols.append(buffer, n);
        pclose(pipe);
        EXPECT_NE(symbols.find(" T pthread_create\n"), std::string::npos) << program;
        EXPECT_NE(symbols.find(" T __cxa_throw\n"), std::string::npos) << program;
    }
}

// The call stacks of the reports, with names and lines from the program's
// ".zor" file.
namespace {

// A thread's section: the lines after "<caption>:" up to the empty line; the
// main thread's unless another caption is named.
std::string FirstThreadSection(const std::string& report, const std::string& caption = "main thread ($")
{
    const size_t title = report.find(caption);
    if (title == std::string::npos)
        return {};
    const size_t start = report.find("\r\n", title);
    const size_t end = report.find("\r\n\r\n", start);
    return report.substr(start + 2, end == std::string::npos ? std::string::npos : end - start - 2);
}

} // namespace

TEST(ZorCrashDemo, NullWriteListsTheFailingCallsWithUnitsAndLines)
{
    std::string crcs[2];
    for (std::string& crc : crcs) {
        TDemoFolder folder;
        const TDemoRun run = RunProgram(ZOR_CRASHDEMO_TEST, {"null-write"}, folder.Path);
        ASSERT_FALSE(run.TimedOut);
        const std::string report = ReadWholeFile(folder.Path + "/bugreport.txt");
        const std::string stack = FirstThreadSection(report);
        size_t at = 0;
        for (const char* name : {"crash_level3", "crash_level2", "crash_level1", " main"}) {
            const size_t found = stack.find(name, at);
            ASSERT_NE(found, std::string::npos) << name << " after " << at << "\n" << report;
            // Each of our own lines names the unit and a line number.
            const size_t lineStart = stack.rfind("\r\n", found);
            const std::string line = stack.substr(lineStart == std::string::npos ? 0 : lineStart + 2,
                                                  found - (lineStart == std::string::npos ? 0 : lineStart + 2));
            EXPECT_NE(line.find(" crashdemo "), std::string::npos) << line;
            EXPECT_NE(line.find_first_of("0123456789", line.find(" crashdemo ") + 11), std::string::npos) << line;
            at = found;
        }
        crc = HeaderValue(report, "callstack crc");
        ASSERT_EQ(crc.size(), 31u) << crc;
        EXPECT_EQ(crc[0], '$');
        EXPECT_EQ(crc.substr(9, 3), ", $");
        EXPECT_EQ(crc.substr(20, 3), ", $");
    }
    // Another load address, the same stack.
    EXPECT_EQ(crcs[0], crcs[1]);
}

TEST(ZorCrashDemo, ThreadAndRecursionStacks)
{
    {
        TDemoFolder folder;
        const TDemoRun run = RunProgram(ZOR_CRASHDEMO_TEST, {"thread-throw"}, folder.Path);
        ASSERT_FALSE(run.TimedOut);
        const std::string report = ReadWholeFile(folder.Path + "/bugreport.txt");
        const size_t created = report.find(">> created by main thread ($");
        ASSERT_NE(created, std::string::npos) << report;
        const size_t next = report.find("\r\n", report.find("at:", created));
        const std::string creator = report.substr(next + 2, report.find("\r\n", next + 2) - next - 2);
        EXPECT_NE(creator.find("OnWorker"), std::string::npos) << report;
    }
    {
        TDemoFolder folder;
        const TDemoRun run = RunProgram(ZOR_CRASHDEMO_TEST, {"recurse"}, folder.Path);
        ASSERT_FALSE(run.TimedOut);
        const std::string stack = FirstThreadSection(ReadWholeFile(folder.Path + "/bugreport.txt"));
        size_t count = 0;
        for (size_t at = stack.find("Recurse(int)"); at != std::string::npos; at = stack.find("Recurse(int)", at + 1))
            ++count;
        EXPECT_GE(count, 1u) << stack;
        EXPECT_LE(count, 2u) << stack;
        EXPECT_NE(stack.find("crash_level3"), std::string::npos) << stack;
    }
}

// The freeze watchdog of the program's own loop: a loop that stops pumping is
// reported once as frozen, with the main thread where it stopped.
TEST(ZorCrashDemo, AFrozenLoopIsReportedWithTheMainThreadWhereItStopped)
{
    TDemoFolder folder;
    const TDemoRun run = RunProgram(ZOR_CRASHDEMO_FREEZE, {"freeze", "pump", "0.5"}, folder.Path);
    ASSERT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 0);
    const std::string report = ReadWholeFile(folder.Path + "/bugreport.txt");
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(HeaderValue(report, "exception message"), "The application seems to be frozen.");
    EXPECT_EQ(report.find("exception class"), std::string::npos) << report;
    // One report: the loop came back before the watchdog's second look.
    EXPECT_EQ(report.find("exception number"), report.rfind("exception number")) << report;
    const std::string stack = FirstThreadSection(report);
    const size_t here = stack.find("freeze_here");
    ASSERT_NE(here, std::string::npos) << report;
    EXPECT_LT(here, stack.find(" main")) << stack;
}

// An exception nobody catches: the failing thread's stack goes from the
// throw (or the rethrow that escaped) through every caller, as a fault's
// does, and the reporter's throw hooks are no frames of it.
TEST(ZorCrashDemo, AnUncaughtExceptionsStackNamesEveryCaller)
{
    struct TCase {
        const char* Word;
        int Exit;
        const char* Caption;
        std::vector<const char*> Chain; // newest first
        const char* Absent;             // no caller at the end: of the first departure, or the reporter's
    };
    const TCase cases[] = {
        {"throw-deep", 1, "main thread ($", {"throw_inner", "throw_middle", "throw_outer", " main"}, nullptr},
        {"thread-throw-deep",
         0,
         "\r\nthread $",
         {"throw_inner", "throw_middle", "throw_outer", "OnWorker", "ThreadStartWrapper"},
         nullptr},
        {"rethrow-nested",
         1,
         "main thread ($",
         {"rethrow_inner", "rethrow_middle", "rethrow_outer", " main"},
         ".throw_inner("},
        {"rethrow-pointer",
         1,
         "main thread ($",
         {"rethrow_inner", "rethrow_middle", "rethrow_outer", " main"},
         ".throw_inner("},
        // Caught and ended on purpose: the frames below the handler are gone,
        // the stack is the one that ended, under the throw site.
        {"throw-terminate", 1, "main thread ($", {".throw_inner(", "throw_barrier", " main"}, "OnTerminate"},
    };
    for (const TCase& c : cases) {
        TDemoFolder folder;
        const TDemoRun run = RunProgram(ZOR_CRASHDEMO_TEST, {c.Word}, folder.Path);
        ASSERT_FALSE(run.TimedOut) << c.Word;
        EXPECT_EQ(run.ExitCode, c.Exit) << c.Word;
        const std::string report = ReadWholeFile(folder.Path + "/bugreport.txt");
        EXPECT_EQ(HeaderValue(report, "exception message"), "deep failure.") << c.Word;
        const std::string stack = FirstThreadSection(report, c.Caption);
        size_t at = 0;
        for (const char* name : c.Chain) {
            const size_t found = stack.find(name, at);
            ASSERT_NE(found, std::string::npos) << c.Word << ": " << name << " after " << at << "\n" << stack;
            at = found;
        }
        if (c.Absent != nullptr) {
            EXPECT_EQ(stack.find(c.Absent), std::string::npos) << c.Word << "\n" << stack;
        }
        // The hooks live in their own unit; no stack of the report lists it.
        const std::string stacks = report.substr(0, report.find("\r\ndisassembling"));
        EXPECT_EQ(stacks.find("zorExcept_Interpose"), std::string::npos) << c.Word << "\n" << stacks;
    }
}
