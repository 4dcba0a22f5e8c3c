// crashdemo: a small program with the crash reporter and nothing else. Each
// command-line word performs one failure (or none), so the reporter's capture,
// handling and bug report file can be seen and tested end to end:
//   ok, null-write, null-read, div-zero, raise-segv, abort,
//   throw, throw-nested, thread-throw, recurse, thread-recurse,
//   throw-deep, thread-throw-deep (an exception thrown three calls deep,
//   through throw_outer -> throw_middle -> throw_inner, on the main thread or
//   on a worker), rethrow-nested ("throw;" in a handler, again three calls
//   deep, through rethrow_outer -> rethrow_middle -> rethrow_inner),
//   rethrow-pointer (the same with std::rethrow_exception), throw-terminate
//   (throw-deep's exception caught in throw_barrier, which ends the program),
//   null-write-once <marker file> (fails only while the marker is absent,
//   and creates it), auto-restart (restart after every failure from now on),
//   history (prints the failure times the reporter holds),
//   pump <seconds> (a main loop that keeps calling the reporter's loop hook),
//   freeze (the main loop stops pumping inside freeze_here until the freeze
//   watchdog has reported it, at most three FreezeTimeouts, then pumps again).
// With --window anywhere among the words the program first opens a window
// (SDL), as the game would, and the screenshot is of that window.
// Every failure runs through crash_level1 -> crash_level2 -> crash_level3,
// so that each keeps its frame in the reported call stack.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <SDL2/SDL.h>

#include "crashreport/diagnostics/zorBitmap.h"
#include "crashreport/core/zorExcept_Capture.h"
#include "crashreport/core/zorExcept_Handlers.h"
#include "crashreport/core/zorExcept_Restart.h"
#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/core/zorExcept_Startup.h"
#include "crashreport/core/zorExcept_Watchdog.h"
#include "crashreport/diagnostics/zorStrings.h"

namespace {

volatile int Sink = 0;
int* volatile NullPointer = nullptr;
volatile int Zero = 0;
volatile int Numerator = 7;

class TDemoFailureA : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class TDemoFailureB : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Recurses until the stack is gone (the depth test never holds).
__attribute__((noinline)) int Recurse(int depth)
{
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (depth < 0)
        return 0;
    return Recurse(depth + 1) + frame[0];
}

// The faults are real ones even in a build with the undefined-behaviour
// checks, which would otherwise stop at the null store or the division.
__attribute__((noinline, no_sanitize("undefined"))) void crash_level3(const std::string& what)
{
    if (what == "null-write") {
        *NullPointer = 1;
    } else if (what == "null-read") {
        Sink = *NullPointer;
    } else if (what == "div-zero") {
        Sink = Numerator / Zero;
    } else if (what == "raise-segv") {
        raise(SIGSEGV);
    } else if (what == "abort") {
        abort();
    } else if (what == "throw") {
        throw std::runtime_error("demo failure");
    } else if (what == "throw-nested") {
        try {
            throw TDemoFailureA("first failure");
        } catch (...) {
            throw TDemoFailureB("second failure");
        }
    } else if (what == "recurse") {
        Sink = Recurse(0);
    }
    Sink = Sink + 1;
}

__attribute__((noinline)) void crash_level2(const std::string& what)
{
    crash_level3(what);
    Sink = Sink + 1;
}

__attribute__((noinline)) void crash_level1(const std::string& what)
{
    crash_level2(what);
    Sink = Sink + 1;
}

// Each keeps its frame: the report's stack names all three, in order.
__attribute__((noinline)) void throw_inner()
{
    Sink = Sink + 1;
    throw TDemoFailureA("deep failure");
}

__attribute__((noinline)) void throw_middle()
{
    throw_inner();
    Sink = Sink + 1;
}

__attribute__((noinline)) void throw_outer()
{
    throw_middle();
    Sink = Sink + 1;
}

// The exception leaves again from the handler: the stack is that of this
// second departure, which nobody catches.
__attribute__((noinline)) void rethrow_inner(bool pointer)
{
    try {
        throw_inner();
    } catch (...) {
        Sink = Sink + 1;
        if (pointer)
            std::rethrow_exception(std::current_exception());
        throw;
    }
}

__attribute__((noinline)) void rethrow_middle(bool pointer)
{
    rethrow_inner(pointer);
    Sink = Sink + 1;
}

__attribute__((noinline)) void rethrow_outer(bool pointer)
{
    rethrow_middle(pointer);
    Sink = Sink + 1;
}

// The exception is caught and the program ended on purpose: its stack below
// this frame is unwound by then.
__attribute__((noinline)) void throw_barrier()
{
    try {
        throw_outer();
    } catch (...) {
        std::terminate();
    }
    Sink = Sink + 1;
}

// Runs the failure on a worker. A worker whose fault could not go on is
// parked by the reporter; then the program goes on without it.
void OnWorker(const std::string& what)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        // Done also when the routine ends by an exception.
        struct TDone {
            std::atomic<bool>& Flag;
            ~TDone() { Flag = true; }
        } finished{done};
        if (what == "thread-throw")
            throw std::runtime_error("boom");
        if (what == "thread-throw-deep")
            throw_outer();
        crash_level1(what);
    });
    for (int i = 0; i < 60000 && !done; ++i) {
        if (ParkedThreadCount() > 0) {
            worker.detach();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
}

// The program's main loop: it calls the reporter's hook as the engine's
// loop does, every few milliseconds.
void PumpFor(double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        ReporterPump();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The sleep is called here, not inlined from a header, so that the frame's
// line is one of ours.
__attribute__((noinline)) void freeze_here(int64_t limitMs)
{
    const uint32_t before = FreezeReportCount();
    for (int64_t waited = 0; FreezeReportCount() == before && waited < limitMs; waited += 10)
        usleep(10000);
    Sink = Sink + 1;
}

void Freeze()
{
    auto settings = MainSettings();
    const int64_t timeout = settings ? settings->ReadSettingInt("FreezeTimeout") : 0;
    PumpFor(0.2);
    freeze_here(3 * timeout);
    PumpFor(0.2);
}

void Perform(const std::vector<std::string>& words)
{
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "ok") {
            continue;
        } else if (word == "thread-throw" || word == "thread-throw-deep") {
            OnWorker(word);
        } else if (word == "throw-terminate") {
            throw_barrier();
        } else if (word == "throw-deep") {
            throw_outer();
        } else if (word == "rethrow-nested" || word == "rethrow-pointer") {
            rethrow_outer(word == "rethrow-pointer");
        } else if (word == "thread-recurse") {
            OnWorker("recurse");
        } else if (word == "null-write-once") {
            if (i + 1 >= words.size())
                break;
            const std::string marker = words[++i];
            struct stat info {};
            if (stat(marker.c_str(), &info) == 0)
                continue;
            if (FILE* file = std::fopen(marker.c_str(), "w"))
                std::fclose(file);
            crash_level1("null-write");
        } else if (word == "auto-restart") {
            if (auto settings = MainSettings())
                settings->WriteSettingInt("AutoRestart", 1);
        } else if (word == "pump") {
            const char* text = i + 1 < words.size() ? words[++i].c_str() : "0";
            char* end = nullptr;
            const double seconds = std::strtod(text, &end);
            PumpFor(end != text && seconds > 0 && seconds < 3600 ? seconds : 0);
        } else if (word == "freeze") {
            Freeze();
        } else if (word == "history") {
            std::printf("history: pid %d", static_cast<int>(getpid()));
            for (int64_t t : ExceptionTimeHistory)
                std::printf(" %lld", static_cast<long long>(t));
            std::printf("\n");
            std::fflush(stdout);
        } else {
            crash_level1(word);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    StartReporterUnit();
#ifdef CRASHDEMO_TEST_SETTINGS
    // The test variant stores its reports in a folder the caller names.
    if (const char* folder = std::getenv("DUSKMARCH_CRASHDEMO_DIR"))
        if (auto settings = MainSettings())
            settings->WriteSettingText("BugRepFile", Utf8ToWide(std::string(folder) + "/bugreport.txt"));
#endif
    std::vector<std::string> words(argv + 1, argv + argc);
    SDL_Window* window = nullptr;
    if (std::erase(words, std::string("--window")) > 0 && SDL_Init(SDL_INIT_VIDEO) == 0) {
        window = SDL_CreateWindow("crashdemo window", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 160, 120, 0);
        if (window != nullptr) {
            SetScreenCaptureSdlWindow(window);
            SDL_PumpEvents();
        }
    }
    Perform(words);
    if (window != nullptr) {
        SDL_DestroyWindow(window);
        SDL_Quit();
    }
    StopReporterUnit();
    return 0;
}
