// zorExcept exception box on screen: the SDL message box presenter, the
// report view through the desktop's program, and the choice of presenter.
//
// SDL shows its box in a child process of the calling thread (and, when that
// fails, through a helper program). The box is closed from another thread by
// ending those children: SDL then returns without a button.
#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <mutex>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "crashreport/core/zorExcept_Box.h"
#include "crashreport/core/zorExcept_Dispatch.h"
#include "crashreport/core/zorExcept_Handlers.h"
#include "crashreport/core/zorExcept_Presenters.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/core/zorExcept_Startup.h"
#include "crashreport/core/zorExcept_Threads.h"
#include "crashreport/assistants/zorNVAssistant.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorTools.h"

extern char** environ;

int ShellOpen(const std::string& path)
{
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return -1;
    return pid;
}

TShellOpenHook& ShellOpenHook()
{
    static TShellOpenHook* const hook = new TShellOpenHook(ShellOpen);
    return *hook;
}

namespace {

// The message texts break lines with CR LF; SDL wants "\n".
std::string BoxText(const std::u16string& text)
{
    std::string out;
    for (char c : WideToUtf8(text))
        if (c != '\r')
            out.push_back(c);
    return out;
}

std::vector<pid_t> ChildrenOf(uint32_t threadId)
{
    std::vector<pid_t> children;
    std::ifstream list("/proc/self/task/" + std::to_string(threadId) + "/children");
    pid_t pid = 0;
    while (list >> pid)
        children.push_back(pid);
    return children;
}

// Ends the processes the thread started since: the box SDL shows in a child.
void EndNewChildrenOf(uint32_t threadId, const std::vector<pid_t>& before)
{
    for (pid_t pid : ChildrenOf(threadId))
        if (pid > 0 && std::find(before.begin(), before.end(), pid) == before.end())
            kill(pid, SIGTERM);
}

// Watches one showing of the box: ends it when the countdown runs out or
// the registry asks for its close.
class TBoxWatch {
public:
    TBoxWatch(uint32_t threadId, uint64_t countdownMs)
        : ThreadId(threadId), CountdownMs(countdownMs), Before(ChildrenOf(threadId))
    {
        Thread = std::thread([this] { Run(); });
        // SDL forks for the box: no thread of ours may be inside the memory
        // allocator then (a sanitizer's allocator would stay locked in the
        // child), so the box waits until the watch waits.
        std::unique_lock guard(Lock);
        Wake.wait(guard, [this] { return Waiting; });
    }
    ~TBoxWatch()
    {
        {
            std::lock_guard guard(Lock);
            Done = true;
        }
        Wake.notify_all();
        Thread.join();
    }
    void AskClose()
    {
        {
            std::lock_guard guard(Lock);
            CloseAsked = true;
        }
        Wake.notify_all();
    }
    bool Closed() const { return CloseAsked; }
    bool CountdownFired() const { return Fired; }

private:
    void Run()
    {
        std::unique_lock guard(Lock);
        const auto start = std::chrono::steady_clock::now();
        const auto deadline = start + std::chrono::milliseconds(CountdownMs);
        Waiting = true;
        Wake.notify_all();
        while (!Done && !CloseAsked) {
            if (CountdownMs == 0) {
                Wake.wait(guard);
            } else if (Wake.wait_until(guard, deadline) == std::cv_status::timeout && !Done && !CloseAsked) {
                Fired = true;
                break;
            }
        }
        // The box may not be up yet, and SDL may try again with a helper:
        // end what it starts until the showing returns.
        while (!Done) {
            EndNewChildrenOf(ThreadId, Before);
            Wake.wait_for(guard, std::chrono::milliseconds(50));
        }
    }

    const uint32_t ThreadId;
    const uint64_t CountdownMs;
    // The thread's children before the box: not the box's.
    const std::vector<pid_t> Before;
    std::mutex Lock;
    std::condition_variable Wake;
    bool Waiting = false;
    bool Done = false;
    std::atomic<bool> CloseAsked{false};
    std::atomic<bool> Fired{false};
    std::thread Thread;
};

// Set while SDL shows a box: the process it forks for the box is the box's
// alone. SDL ends it with _exit, but a lost X connection ends it with exit,
// whose clean-up would reach the reporter of a process that has no handler
// thread: there the failure signals and terminate get their plain meaning.
std::atomic<bool> ShowingBox{false};

void PlainBoxChild()
{
    if (!ShowingBox)
        return;
    for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT})
        std::signal(signal, SIG_DFL);
    std::set_terminate([] { std::abort(); });
}

// The report, written to the temporary folder and opened for reading.
void OpenReportView(TExceptionBox& box)
{
    box.ReportViewOpened = true;
    const std::u16string folder = ReporterTempFolder();
    if (folder.empty())
        return;
    const std::string path = WideToUtf8(folder) + "bugreport.txt";
    const std::string text = WideToUtf8(box.Exception().ReportTextEx(true));
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush())
            return;
    }
    const TShellOpenHook hook = ShellOpenHook();
    const int pid = hook ? hook(path) : -1;
    if (pid <= 0)
        return;
    // xdg-open hands the file over and ends; a viewer that keeps it is left
    // alone after a moment.
    for (int i = 0; i < 40; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) != 0)
            return;
        usleep(50000);
    }
}

// The box's message channel, on a thread of its own so that it answers while
// the box is up: the exception object closes the box or asks for the report
// through it, and the freeze watchdog closes the box of a frozen report when
// the main thread recovers. What arrives is done to the box by the handler
// thread once the showing has returned.
class TBoxChannel {
public:
    explicit TBoxChannel(const IZXException* exception) : Exception(exception)
    {
        Thread = std::thread([this] { Run(); });
        std::unique_lock guard(Lock);
        Ready.wait(guard, [this] { return Started; });
    }
    ~TBoxChannel()
    {
        Stop = true;
        PostHandlerMessage(Window, WM_USER, 0, 0);
        Thread.join();
    }
    THandlerWindow Window = 0;
    // Takes what arrived: the box is to close, or to show the report.
    bool TakeClose() { return CloseAsked.exchange(false); }
    bool TakeShow() { return ShowAsked.exchange(false); }
    bool CloseWanted() const { return CloseAsked || ShowAsked; }

private:
    static void OnMessage(void* object, THandlerWindow, uint32_t message, uintptr_t, intptr_t, intptr_t& result)
    {
        auto* channel = static_cast<TBoxChannel*>(object);
        result = 1;
        if (message == ZorMsgCloseBox)
            channel->CloseAsked = true;
        else if (message == ZorMsgShowBugReport)
            channel->ShowAsked = true;
        else
            return;
        CloseOpenBox(channel->Exception);
    }
    void Run()
    {
        RegisterWindowMsgHandlerEx(nullptr, ZorMsgCloseBox, 0, OnMessage, this);
        RegisterWindowMsgHandlerEx(nullptr, ZorMsgShowBugReport, 0, OnMessage, this);
        RegisterWindowMsgHandlerEx(nullptr, WM_USER, 0, OnMessage, this); // the wake-up at the end
        {
            std::lock_guard guard(Lock);
            Window = HandlerWindowOfThread();
            Started = true;
        }
        Ready.notify_all();
        // Long waits: the channel thread is to be idle when SDL forks.
        while (!Stop)
            PumpHandlerMessages(60000);
        UnregisterWindowMsgHandlerEx(nullptr, 0, 0, OnMessage, this);
    }

    const IZXException* Exception;
    std::mutex Lock;
    std::condition_variable Ready;
    bool Started = false;
    std::atomic<bool> Stop{false};
    std::atomic<bool> CloseAsked{false};
    std::atomic<bool> ShowAsked{false};
    std::thread Thread;
};

} // namespace

int32_t ShowBoxWithSdl(TExceptionBox& box, const std::function<bool()>& closeWanted)
{
    if (box.ReportShown() && !box.ReportViewOpened)
        OpenReportView(box);

    std::vector<std::string> captions;
    std::vector<SDL_MessageBoxButtonData> buttons;
    captions.reserve(BoxBtnCount);
    const int32_t escape = box.CloseButton();
    // The action buttons first, as the box stands them on the right.
    static const int32_t order[] = {BoxBtnSend,     BoxBtnSave,    BoxBtnPrint, BoxBtnShow,
                                    BoxBtnContinue, BoxBtnRestart, BoxBtnClose};
    for (int32_t index : order) {
        const TBoxButtonState& state = box.Button(index);
        // A message box can't show a disabled button: it is left out.
        if (!state.Visible || !state.Enabled)
            continue;
        std::string caption = WideToUtf8(state.Caption);
        std::erase(caption, '&');
        captions.push_back(caption);
        SDL_MessageBoxButtonData button{};
        if (index == box.FocusedButton())
            button.flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (index == escape)
            button.flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        button.buttonid = index;
        button.text = captions.back().c_str();
        buttons.push_back(button);
    }
    const std::string title = BoxText(box.Caption());
    const std::string message = BoxText(box.Message());
    SDL_MessageBoxData data{};
    data.flags = SDL_MESSAGEBOX_ERROR | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    data.title = title.c_str();
    data.message = message.c_str();
    data.numbuttons = static_cast<int>(buttons.size());
    data.buttons = buttons.data();

    int id = -1;
    int shown;
    bool closed, fired;
    const int32_t countdownButton = box.CountdownButton();
    // The box has no button widths of its own: the countdown runs as on a
    // button 100 pixels wide.
    constexpr int32_t countdownWidth = 100;
    const uint64_t pressMs = box.CountdownPressMs(countdownWidth);
    const uint64_t start = TickCount64();
    {
        TBoxWatch watch(CurrentThreadId(), pressMs);
        RegisterOpenBox(&box.Exception(), [&watch] { watch.AskClose(); });
        // A close that came before the box was registered.
        if (closeWanted && closeWanted())
            watch.AskClose();
        static std::once_flag atFork;
        std::call_once(atFork, [] { pthread_atfork(nullptr, nullptr, PlainBoxChild); });
        ShowingBox = true;
        shown = SDL_ShowMessageBox(&data, &id);
        ShowingBox = false;
        UnregisterOpenBox(&box.Exception());
        closed = watch.Closed();
        fired = watch.CountdownFired();
    }
    if (shown == 0 && !closed && !fired)
        return id < 0 ? BoxClosedByWindow : id;
    if (closed)
        return BoxClosedOutside;
    if (fired) {
        bool press = false;
        box.CountdownTick(std::max<uint64_t>(TickSpan(start), pressMs), countdownWidth, press);
        return press ? countdownButton : BoxClosedByWindow;
    }
    return BoxPresenterFailed;
}

bool PresentException(TIZXException& exception)
{
    if (ConsoleProgram())
        return ShowForException(exception);
    int32_t choice = exception.BoxChoice();
    if (choice == 4)
        return true;
    if (choice == 1) {
        const int32_t outcome = RunExceptionAssistant(exception, exception.AssistantName());
        if (outcome != -1)
            return true;
        choice = 0;
    }
    if (choice != 0 && choice != 2 && choice != 3)
        choice = 0;

    bool failed = false;
    TBoxChannel channel(&exception);
    RegisterExceptionBoxWindow(channel.Window);
    RunExceptionBox(exception, choice, true, [&](TExceptionBox& box) {
        if (channel.TakeClose())
            return BoxClosedOutside;
        int32_t result = ShowBoxWithSdl(box, [&] { return channel.CloseWanted(); });
        if (result == BoxPresenterFailed)
            failed = true;
        if (channel.TakeShow())
            result = BoxBtnShow;
        if (channel.TakeClose())
            result = BoxClosedOutside;
        return result;
    });
    UnregisterExceptionBoxWindow(channel.Window);
    if (failed)
        return ShowForException(exception);
    return true;
}

void LinkExceptionBox()
{
    ZorSlots().ShowForException = PresentException;
}
