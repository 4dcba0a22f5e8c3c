// The time from the program's start to the main menu's first frame: the game
// on its own X server with a fresh data home and --startup-times, which
// prints one line per start-up phase (every loader step and screen creator
// among them) and closes the program at the menu's first frame. Each phase's
// time is reported as a counter (ms since entry, the last run's).
#include <benchmark/benchmark.h>

#include <algorithm>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/Xvfb.h"

namespace {

struct TRun {
    double Seconds = 0;
    bool Ended = false;
    std::string Err;
};

void Xdo(const std::string& display, const std::string& arguments)
{
    const std::string command = "DISPLAY=" + display + " xdotool " + arguments + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return;
}

TRun RunToMenu(const std::string& display)
{
    char home[] = "/tmp/duskmarch-bench-XXXXXX";
    TRun run;
    if (mkdtemp(home) == nullptr)
        return run;
    const std::string errFile = std::string(home) + "/stderr.txt";
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err >= 0)
            dup2(err, 2);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("XDG_DATA_HOME", home, 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("DUSKMARCH_HEADLESS", "1", 1);
        execl(DUSKMARCH_PROGRAM, DUSKMARCH_PROGRAM, "--startup-times", static_cast<char*>(nullptr));
        _exit(127);
    }
    // A program that does not close by itself at the menu is ended with Esc,
    // pressed over and over from the start: the menu's first active frame
    // sees it (the figure then holds up to one press's time more).
    int status = 0;
    for (int i = 0; i < 6000 && !run.Ended; i++) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            run.Ended = true;
            break;
        }
        if (i > 10) {
            Xdo(display, "mousemove 5 5 keydown Escape");
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            Xdo(display, "keyup Escape");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!run.Ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::ifstream in(errFile);
    std::stringstream text;
    text << in.rdbuf();
    run.Err = text.str();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return run;
}

void BM_StartToMainMenu(benchmark::State& state)
{
    static TXvfb x(false, "1280x1024x24");
    if (x.Name.empty()) {
        state.SkipWithError("no Xvfb");
        return;
    }
    TRun last;
    for (auto _ : state) {
        last = RunToMenu(x.Name);
        if (!last.Ended) {
            state.SkipWithError("the program did not end");
            return;
        }
        state.SetIterationTime(last.Seconds);
    }
    // "startup-phase MS NAME" lines: each phase with its ms since entry.
    std::istringstream lines(last.Err);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string tag, name;
        double ms = 0;
        if (!(words >> tag >> ms) || tag != "startup-phase")
            continue;
        std::getline(words >> std::ws, name);
        std::replace(name.begin(), name.end(), ' ', '_');
        if (!name.empty())
            state.counters[name] = ms;
    }
}
BENCHMARK(BM_StartToMainMenu)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
