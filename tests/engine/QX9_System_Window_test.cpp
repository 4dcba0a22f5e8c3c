// The main window, the message loop and the single-instance test. Headless
// with SDL's offscreen system (a 1024 x 768 desktop); the last test repeats
// the window and its input on a real X server (Xvfb) driven by xdotool.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "engine/QX9_System_Window.h"
#include "platform/dsound/DSound.h"
#include "platform/os/OS_SingleInstance.h"
#include "platform/window/WindowSDL.h"
#include "tests/support/TestSupport.h"

extern char** environ;

namespace {

// ---------------------------------------------------------------------------
// A window procedure that records, and handles activation and destruction
// as the GUI's does.

std::vector<std::string> Log; // what the procedure, the idle step and the sleep saw, in order
std::vector<TMsg> Recorded;

void Activate()
{
    LoopActive = true;
    LoopInactive = false;
}
void Deactivate()
{
    LoopActive = false;
    LoopInactive = true;
}

std::string MessageText(UINT message, WPARAM wParam)
{
    const char* name = nullptr;
    switch (message) {
    case WM_ACTIVATE:
        name = "WM_ACTIVATE";
        break;
    case WM_SETFOCUS:
        return "WM_SETFOCUS";
    case WM_KILLFOCUS:
        return "WM_KILLFOCUS";
    case WM_CLOSE:
        return "WM_CLOSE";
    case WM_DESTROY:
        return "WM_DESTROY";
    case WM_PAINT:
        return "WM_PAINT";
    case WM_USER:
        return "WM_USER";
    default:
        name = "message";
        break;
    }
    return std::string(name) + " " + std::to_string(wParam);
}

LRESULT GuiLikeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Recorded.push_back({window, message, wParam, lParam, 0});
    if (message != WM_PAINT && message != WM_MOUSEMOVE)
        Log.push_back(MessageText(message, wParam));
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_ACTIVATE:
        if (wParam == WA_INACTIVE)
            Deactivate();
        else if (wParam == WA_ACTIVE || wParam == WA_CLICKACTIVE)
            Activate();
        break;
    case WM_SETFOCUS:
        Activate();
        break;
    case WM_KILLFOCUS:
        Deactivate();
        break;
    default:
        break;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

bool Saw(size_t from, UINT message, WPARAM wParam)
{
    for (size_t i = from; i < Recorded.size(); ++i)
        if (Recorded[i].Message == message && Recorded[i].WParam == wParam)
            return true;
    return false;
}

// The loop's idle procedure and sleep call these (plain function pointers).
std::function<void(int call)> IdleScript;
std::function<void(int call, uint32_t ms)> SleepScript;
int IdleCalls = 0;
int SleepCalls = 0;

void ScriptedIdle()
{
    ++IdleCalls;
    Log.push_back("idle");
    if (IdleScript)
        IdleScript(IdleCalls);
}

void ScriptedSleep(uint32_t ms)
{
    ++SleepCalls;
    Log.push_back("sleep " + std::to_string(ms));
    if (SleepScript)
        SleepScript(SleepCalls, ms);
}

class SystemWindowTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override
    {
        Reset();
        Window_SetOpenGL(true);
        SetMessageLoopSleep(nullptr);
    }
    static void Reset()
    {
        Window_Shutdown();
        Window_SetOpenGL(false); // nothing here draws; keeps the GL driver out
        MainWindowHandle = nullptr;
        ClassRegistered = false;
        SetMessageLoopSleep(ScriptedSleep);
        IdleScript = nullptr;
        SleepScript = nullptr;
        IdleCalls = SleepCalls = 0;
        Log.clear();
        Recorded.clear();
    }
    uint32_t MainId() const { return SDL_GetWindowID(Window_GetSDLWindow(MainWindowHandle)); }
};

SDL_Event WindowEvent(uint32_t window, uint8_t what)
{
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = window;
    e.window.event = what;
    return e;
}

void Push(SDL_Event e)
{
    ASSERT_EQ(SDL_PushEvent(&e), 1);
}

// ---------------------------------------------------------------------------

TEST_F(SystemWindowTest, CreationModesAndPlacement)
{
    struct TRow {
        int32_t Width, Height;
        bool Fullscreen;
        TRect Outer;
        bool Borderless, OnTop;
    };
    // The offscreen desktop is 1024 x 768 and has no frames; the free space
    // is halved toward zero, also when it is negative.
    const TRow rows[] = {
        {640, 480, false, {192, 144, 832, 624}, false, false},  {641, 481, false, {191, 143, 832, 624}, false, false},
        {1101, 700, false, {-38, 34, 1063, 734}, false, false}, {1024, 768, false, {0, 0, 1024, 768}, true, false},
        {800, 600, true, {0, 0, 1024, 768}, true, true},
    };
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    for (const TRow& row : rows) {
        SCOPED_TRACE(std::to_string(row.Width) + "x" + std::to_string(row.Height) +
                     (row.Fullscreen ? " fullscreen" : ""));
        Reset();
        CreateMainWindow(row.Width, row.Height, GuiLikeProc, row.Fullscreen, "Duskmarch test");
        ASSERT_NE(MainWindowHandle, nullptr);
        EXPECT_EQ(GetMainWindow(), MainWindowHandle);
        EXPECT_EQ(MainWindowClass.Name, "Corvane DX9 Engine");
        EXPECT_EQ(ClientWidth, row.Width);
        EXPECT_EQ(ClientHeight, row.Height);
        TRect outer;
        ASSERT_TRUE(GetWindowRect(MainWindowHandle, outer));
        EXPECT_EQ(outer.Left, row.Outer.Left);
        EXPECT_EQ(outer.Top, row.Outer.Top);
        EXPECT_EQ(outer.Right, row.Outer.Right);
        EXPECT_EQ(outer.Bottom, row.Outer.Bottom);
        uint32_t flags = SDL_GetWindowFlags(Window_GetSDLWindow(MainWindowHandle));
        EXPECT_EQ((flags & SDL_WINDOW_BORDERLESS) != 0, row.Borderless);
        EXPECT_EQ((flags & SDL_WINDOW_ALWAYS_ON_TOP) != 0, row.OnTop);
        EXPECT_NE(flags & SDL_WINDOW_SHOWN, 0u);
        EXPECT_EQ(Window_GetTitle(MainWindowHandle), "Duskmarch test");
        // Shown and painted once.
        ASSERT_EQ(Recorded.size(), 1u);
        EXPECT_EQ(Recorded[0].Message, WM_PAINT);
    }
}

// Without a usable display the window is simply not there: no handle, no
// crash, and the loop still runs to its quit.
TEST_F(SystemWindowTest, NoDisplayLeavesNoWindow)
{
    std::string driver = OS_GetEnv("SDL_VIDEODRIVER");
    setenv("SDL_VIDEODRIVER", "no-such-system", 1);
    CreateMainWindow(640, 480, GuiLikeProc, false, "No display");
    EXPECT_EQ(MainWindowHandle, nullptr);
    EXPECT_EQ(GetMainWindow(), nullptr);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_EQ(ClientWidth, 640);
    EXPECT_TRUE(PostMessage(nullptr, WM_USER, 0, 0)); // a message without a window still queues
    IdleScript = [](int) { PostQuitMessage(0); };
    RunMessageLoop(ScriptedIdle, 200);
    EXPECT_EQ(Log, (std::vector<std::string>{"idle"}));
    if (driver.empty())
        unsetenv("SDL_VIDEODRIVER");
    else
        setenv("SDL_VIDEODRIVER", driver.c_str(), 1);
}

// The reporter's pump runs once per loop iteration, before the message or
// idle step, and no more once removed.
TEST_F(SystemWindowTest, LoopPumpRunsEveryIteration)
{
    static std::vector<std::string>* log = &Log;
    SetMessageLoopPump([] { log->push_back("pump"); });
    IdleScript = [](int call) {
        if (call == 2)
            PostQuitMessage(0);
    };
    RunMessageLoop(ScriptedIdle, 200);
    SetMessageLoopPump(nullptr);
    EXPECT_EQ(Log, (std::vector<std::string>{"pump", "idle", "pump", "idle", "pump"}));
    Log.clear();
    IdleScript = [](int) { PostQuitMessage(0); };
    RunMessageLoop(ScriptedIdle, 200);
    EXPECT_EQ(Log, (std::vector<std::string>{"idle"}));
}

TEST_F(SystemWindowTest, WorkAreaHelpers)
{
    TRect area = GetWorkArea(nullptr);
    EXPECT_EQ(area.Left, 0);
    EXPECT_EQ(area.Width(), 1024);
    EXPECT_EQ(area.Height(), 768);
    TRect centred = CenteredWindowRect(100, 51);
    EXPECT_EQ(centred.Left, 462);
    EXPECT_EQ(centred.Top, 358);
    EXPECT_EQ(centred.Width(), 100);
    EXPECT_EQ(centred.Height(), 51);
}

TEST_F(SystemWindowTest, IsPointInClient)
{
    ClientWidth = 640;
    ClientHeight = 480;
    struct TRow {
        TPoint Point;
        bool Inside;
    };
    const TRow rows[] = {
        {{0, 0}, true},    {{639, 479}, true}, {{640, 0}, false},  {{0, 480}, false},
        {{-1, 10}, false}, {{10, -1}, false},  {{320, 240}, true}, {{65535, 10}, false},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(IsPointInClient(row.Point), row.Inside) << row.Point.X << "," << row.Point.Y;
}

// The loop: idle back to back while active, sleeps only while inactive, the
// GUI's activation handling switches between them, close ends it.
TEST_F(SystemWindowTest, MessageLoopIdleAndSleep)
{
    struct TRow {
        const char* Name;
        std::function<void(int)> Idle;
        std::function<void(int, uint32_t)> Sleep;
        std::vector<std::string> Expected;
    };
    const TRow rows[] = {
        {"active: idle once per empty queue, never a sleep",
         [](int call) {
             if (call == 1)
                 PostMessage(MainWindowHandle, WM_USER, 0, 0);
             else if (call == 3)
                 PostQuitMessage(0);
         },
         nullptr,
         {"idle", "WM_USER", "idle", "idle"}},
        {"LoopActive cleared: no idle; a sleep only when the queue is empty",
         [](int) {
             LoopActive = false;
             PostMessage(MainWindowHandle, WM_USER, 0, 0);
             PostMessage(MainWindowHandle, WM_USER, 0, 0);
         },
         [](int, uint32_t) { PostQuitMessage(0); },
         {"idle", "WM_USER", "WM_USER", "sleep 200"}},
        {"LoopInactive set: a sleep after every message, the quit included",
         [](int) {
             LoopActive = false;
             LoopInactive = true;
             PostMessage(MainWindowHandle, WM_USER, 0, 0);
             PostMessage(MainWindowHandle, WM_USER, 0, 0);
         },
         [](int call, uint32_t) {
             if (call == 3)
                 PostQuitMessage(0);
         },
         {"idle", "WM_USER", "sleep 200", "WM_USER", "sleep 200", "sleep 200", "sleep 200"}},
        {"focus lost: the loop sleeps and the frames stop until the focus comes back",
         [](int call) {
             if (call == 1) {
                 Push(
                     WindowEvent(SDL_GetWindowID(Window_GetSDLWindow(MainWindowHandle)), SDL_WINDOWEVENT_FOCUS_GAINED));
                 Push(WindowEvent(SDL_GetWindowID(Window_GetSDLWindow(MainWindowHandle)), SDL_WINDOWEVENT_FOCUS_LOST));
             } else {
                 PostQuitMessage(0);
             }
         },
         [](int call, uint32_t) {
             if (call == 3)
                 Push(
                     WindowEvent(SDL_GetWindowID(Window_GetSDLWindow(MainWindowHandle)), SDL_WINDOWEVENT_FOCUS_GAINED));
         },
         {"idle", "WM_ACTIVATE 1", "WM_SETFOCUS", "WM_ACTIVATE 0", "sleep 200", "WM_KILLFOCUS", "sleep 200",
          "sleep 200", "WM_ACTIVATE 1", "WM_SETFOCUS", "idle"}},
        {"close: WM_CLOSE, WM_DESTROY, then the loop ends",
         [](int) { Push(WindowEvent(SDL_GetWindowID(Window_GetSDLWindow(MainWindowHandle)), SDL_WINDOWEVENT_CLOSE)); },
         nullptr,
         {"idle", "WM_CLOSE", "WM_DESTROY"}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        Reset();
        CreateMainWindow(320, 200, GuiLikeProc, false, "Loop test");
        ASSERT_NE(MainWindowHandle, nullptr);
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        Log.clear();
        bool registeredInLoop = false;
        IdleScript = [&](int call) {
            registeredInLoop = ClassRegistered;
            row.Idle(call);
        };
        SleepScript = row.Sleep;
        RunMessageLoop(ScriptedIdle, 200);
        EXPECT_EQ(Log, row.Expected);
        EXPECT_TRUE(registeredInLoop);
        EXPECT_FALSE(ClassRegistered);
    }
    EXPECT_FALSE(IsWindow(MainWindowHandle)); // the last row closed it
}

// The system mutes a sound device while the window it plays for lacks the
// focus, whatever the window procedure does with the activation messages.
TEST_F(SystemWindowTest, FocusOfTheMainWindowMutesTheSound)
{
    DSound_SetOffline(true);
    DSound_SetFocus(true);
    TDirectSound* device = nullptr;
    ASSERT_EQ(DirectSoundCreate(device), DS_OK);
    CreateMainWindow(320, 200, GuiLikeProc, false, "Focus test");
    ASSERT_NE(MainWindowHandle, nullptr);
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    auto drain = [] {
        TMsg msg;
        while (PeekMessage(msg, true))
            DispatchMessage(msg);
    };
    struct TRow {
        uint8_t Event;
        bool Focused;
    };
    const TRow rows[] = {{SDL_WINDOWEVENT_FOCUS_GAINED, true}, {SDL_WINDOWEVENT_FOCUS_LOST, false},
                         {SDL_WINDOWEVENT_FOCUS_GAINED, true}, {SDL_WINDOWEVENT_MINIMIZED, false},
                         {SDL_WINDOWEVENT_RESTORED, true},     {SDL_WINDOWEVENT_FOCUS_LOST, false},
                         {SDL_WINDOWEVENT_FOCUS_GAINED, true}};
    for (const TRow& row : rows) {
        Push(WindowEvent(MainId(), row.Event));
        drain();
        EXPECT_EQ(device->HasFocus(), row.Focused) << "after SDL window event " << int(row.Event);
    }
    // Another window's focus is not the sound's business.
    TWindowCreateParams params;
    params.ClassName = "Other";
    params.Width = 50;
    params.Height = 50;
    params.Procedure = GuiLikeProc;
    HWND other = Window_Create(params);
    ASSERT_NE(other, nullptr);
    Push(WindowEvent(SDL_GetWindowID(Window_GetSDLWindow(other)), SDL_WINDOWEVENT_FOCUS_GAINED));
    Push(WindowEvent(SDL_GetWindowID(Window_GetSDLWindow(other)), SDL_WINDOWEVENT_FOCUS_LOST));
    drain();
    EXPECT_TRUE(device->HasFocus());
    device->Release();
    DSound_SetFocus(true);
    DSound_SetOffline(false);
}

// ---------------------------------------------------------------------------
// Other processes: the test program starts copies of itself that run one
// disabled test each.

std::string SelfPath()
{
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

// Runs argv with extra environment entries; stdout and stderr go to
// outputPath when given. Returns the exit status (128 + signal when killed).
int RunProgram(std::vector<std::string> args, const std::vector<std::string>& extraEnv,
               const std::string& outputPath = "")
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // The extra entries replace inherited ones of the same name.
    std::vector<std::string> env(extraEnv);
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        bool replaced = false;
        for (const auto& extra : extraEnv)
            replaced |= entry.compare(0, extra.find('=') + 1, extra, 0, extra.find('=') + 1) == 0;
        if (!replaced)
            env.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!outputPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> SelfTest(const std::string& test)
{
    return {SelfPath(), "--gtest_filter=" + test, "--gtest_also_run_disabled_tests"};
}

TEST_F(SystemWindowTest, SecondCopyBringsTheFirstForward)
{
    const std::string name = "Duskmarch window test " + std::to_string(getpid());
    CreateMainWindow(320, 200, GuiLikeProc, false, name);
    ASSERT_NE(MainWindowHandle, nullptr);
    ASSERT_FALSE(IsAlreadyRunning(name));
    EXPECT_NE(SingleInstanceMutex, INVALID_HANDLE_VALUE);
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    Recorded.clear();

    ASSERT_EQ(RunProgram(SelfTest("SystemWindowProbe.DISABLED_SecondCopy"), {"DUSKMARCH_PROBE_NAME=" + name}), 0)
        << "the second copy must answer that the game runs";

    // The request waits in the first copy's name until its loop looks.
    IdleScript = [](int call) {
        if (Saw(0, WM_SETFOCUS, 0) || call > 5000)
            PostQuitMessage(0);
        OS_SleepMs(1);
    };
    RunMessageLoop(ScriptedIdle, 200);
    EXPECT_TRUE(Saw(0, WM_SETFOCUS, 0));
    EXPECT_FALSE(SDL_GetWindowFlags(Window_GetSDLWindow(MainWindowHandle)) & SDL_WINDOW_MINIMIZED);

    OS_ReleaseSingleInstance(SingleInstanceMutex);
    SingleInstanceMutex = INVALID_HANDLE_VALUE;
    Window_WatchRaiseRequests(INVALID_HANDLE_VALUE);
}

TEST_F(SystemWindowTest, FailedTestLetsTheGameStart)
{
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    bool running = IsAlreadyRunning("Duskmarch no descriptors " + std::to_string(getpid()));
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_FALSE(running);
    EXPECT_EQ(SingleInstanceMutex, INVALID_HANDLE_VALUE);
}

TEST(SystemWindowProbe, DISABLED_SecondCopy)
{
    EXPECT_TRUE(IsAlreadyRunning(OS_GetEnv("DUSKMARCH_PROBE_NAME")));
}

// ---------------------------------------------------------------------------
// Under a real X server.

std::string FindProgram(const std::string& name)
{
    std::string path = OS_GetEnv("PATH");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        std::string candidate = path.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

std::string Capture(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr)
            out += buffer;
        pclose(pipe);
    }
    return out;
}

TEST(SystemWindowXvfbTest, CentredWindowAndRealInput)
{
    for (const char* program : {"xvfb-run", "xauth", "Xvfb", "xdotool"})
        if (FindProgram(program).empty())
            GTEST_SKIP() << program << " is not installed";
    TTempFolder folder;
    std::string output = folder.Path() + "probe.log";
    std::vector<std::string> args{"xvfb-run", "-a", "-s", "-screen 0 1920x1080x24"};
    for (auto& a : SelfTest("SystemWindowProbe.DISABLED_UnderXvfb"))
        args.push_back(a);
    // Under LeakSanitizer: the desktop bus library that SDL's X11 system
    // loads keeps a buffer to the end of the process.
    folder.WriteFile("lsan.supp", "leak:libdbus-1.so\n");
    std::string lsan = OS_GetEnv("LSAN_OPTIONS");
    lsan += (lsan.empty() ? "" : ":") + std::string("suppressions=") + folder.Path() + "lsan.supp";
    int status = RunProgram(args, {"SDL_VIDEODRIVER=x11", "LSAN_OPTIONS=" + lsan}, output);
    EXPECT_EQ(status, 0) << folder.ReadFile("probe.log");
}

// The part that runs inside Xvfb: a 1920 x 1080 screen without a window
// manager, so frames are 0 and the client area is the window.
TEST(SystemWindowProbe, DISABLED_UnderXvfb)
{
    const std::string title = "Xvfb probe";
    Window_SetOpenGL(false);
    CreateMainWindow(1280, 720, GuiLikeProc, false, title);
    ASSERT_NE(MainWindowHandle, nullptr);
    TRect outer, client;
    ASSERT_TRUE(GetWindowRect(MainWindowHandle, outer));
    ASSERT_TRUE(GetClientRect(MainWindowHandle, client));
    EXPECT_EQ(outer.Left, 320);
    EXPECT_EQ(outer.Top, 180);
    EXPECT_EQ(client.Width(), 1280);
    EXPECT_EQ(client.Height(), 720);
    // The X server's own view of the window.
    std::string find = "xdotool search --name '^" + title + "$'";
    std::string geometry = Capture(find + " getwindowgeometry");
    EXPECT_NE(geometry.find("Position: 320,180"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find("Geometry: 1280x720"), std::string::npos) << geometry;

    // Another window to take the focus away.
    SDL_Window* other = SDL_CreateWindow("Xvfb other", 0, 0, 100, 100, 0);
    ASSERT_NE(other, nullptr);

    struct TStep {
        const char* Name;
        std::string Command;
        std::function<bool(size_t from)> Done;
    };
    int idleAtFocusLoss = -1;
    TPoint cursor;
    const std::vector<TStep> steps = {
        {"focus", find + " windowfocus", [](size_t) { return Saw(0, WM_SETFOCUS, 0) && LoopActive; }},
        {"Escape", "xdotool key Escape",
         [](size_t from) { return Saw(from, WM_KEYDOWN, VK_ESCAPE) && Saw(from, WM_KEYUP, VK_ESCAPE); }},
        {"Alt+X", "xdotool keydown alt keydown x keyup x keyup alt",
         [](size_t from) {
             return Saw(from, WM_SYSKEYDOWN, VK_MENU) && Saw(from, WM_SYSKEYDOWN, 'X') && Saw(from, WM_SYSKEYUP, 'X') &&
                    Saw(from, WM_SYSKEYUP, VK_MENU);
         }},
        {"mouse move and click", "xdotool mousemove 420 280 click 1",
         [&](size_t from) {
             bool moved = false;
             for (size_t i = from; i < Recorded.size(); ++i)
                 if (Recorded[i].Message == WM_MOUSEMOVE && Recorded[i].LParam == MakeLParam(100, 100))
                     moved = true;
             if (!moved || !Saw(from, WM_LBUTTONUP, 0))
                 return false;
             GetCursorPos(cursor);
             ScreenToClient(MainWindowHandle, cursor);
             return true;
         }},
        {"wheel", "xdotool click 4 click 5",
         [](size_t from) {
             return Saw(from, WM_MOUSEWHEEL, MakeWParam(0, 120)) && Saw(from, WM_MOUSEWHEEL, MakeWParam(0, -120));
         }},
        {"focus to another window", "xdotool search --name '^Xvfb other$' windowfocus",
         [&](size_t from) {
             if (!Saw(from, WM_KILLFOCUS, 0))
                 return false;
             if (idleAtFocusLoss < 0)
                 idleAtFocusLoss = IdleCalls;
             return !LoopActive && SleepCalls > 2;
         }},
        {"focus back", find + " windowfocus", [](size_t from) { return Saw(from, WM_SETFOCUS, 0) && LoopActive; }},
    };
    std::vector<int> idleAtStart(steps.size(), -1);

    size_t step = 0;
    bool started = false;
    size_t from = 0;
    auto stepStart = std::chrono::steady_clock::now();
    // Runs from the idle procedure and from the sleep, so that it goes on
    // while the window is inactive.
    auto drive = [&] {
        if (step >= steps.size())
            return;
        if (!started) {
            from = Recorded.size();
            started = true;
            stepStart = std::chrono::steady_clock::now();
            idleAtStart[step] = IdleCalls;
            EXPECT_EQ(std::system(steps[step].Command.c_str()), 0) << steps[step].Command;
            return;
        }
        if (steps[step].Done(from)) {
            ++step;
            started = false;
            if (step == steps.size())
                PostMessage(MainWindowHandle, WM_CLOSE, 0, 0);
            return;
        }
        // A guard against a hang, not a measurement.
        if (std::chrono::steady_clock::now() - stepStart > std::chrono::seconds(20)) {
            ADD_FAILURE() << "step \"" << steps[step].Name << "\" saw nothing";
            step = steps.size();
            PostMessage(MainWindowHandle, WM_CLOSE, 0, 0);
        }
    };
    IdleScript = [&](int) {
        drive();
        OS_SleepMs(2);
    };
    SleepScript = [&](int, uint32_t) {
        OS_SleepMs(10);
        drive();
    };
    SetMessageLoopSleep(ScriptedSleep);
    RunMessageLoop(ScriptedIdle, 200);
    SetMessageLoopSleep(nullptr);

    EXPECT_EQ(step, steps.size());
    EXPECT_EQ(idleAtStart.back(), idleAtFocusLoss) << "no frames while inactive";
    EXPECT_GT(idleAtFocusLoss, 0);
    EXPECT_EQ(cursor.X, 100);
    EXPECT_EQ(cursor.Y, 100);
    for (const TMsg& msg : Recorded) {
        // Alt+X never reaches the key table.
        EXPECT_FALSE((msg.Message == WM_KEYDOWN || msg.Message == WM_KEYUP) && msg.WParam == 'X');
        EXPECT_FALSE(msg.Message == WM_CHAR && msg.WParam == 'x');
    }
    EXPECT_TRUE(Saw(0, WM_CLOSE, 0));
    EXPECT_TRUE(Saw(0, WM_DESTROY, 0));
    SDL_DestroyWindow(other);
    Window_Shutdown();
}

} // namespace
