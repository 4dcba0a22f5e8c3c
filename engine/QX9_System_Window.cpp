// QX9_System: the main window, its message loop and the single-instance test.
#include "engine/QX9_System_Window.h"

#include <atomic>

#include "engine/QX9_System.h"
#include "platform/dsound/DSound.h"
#include "platform/os/OS_SingleInstance.h"

HWND MainWindowHandle = nullptr;
TWindowClass MainWindowClass;
bool ClassRegistered = false;
int32_t ClientWidth = 0;
int32_t ClientHeight = 0;
THandle SingleInstanceMutex = INVALID_HANDLE_VALUE;
bool LoopActive = false;
bool LoopInactive = false;

namespace {

void (*LoopSleep)(uint32_t ms) = nullptr;

void Sleep(uint32_t ms) {
    if (LoopSleep != nullptr)
        LoopSleep(ms);
    else
        OS_SleepMs(ms);
}

// The unit's share of the program's end: the name and the class go if the
// loop has not let them go already. The windows go with the process.
void ShutdownWindowUnit() {
    if (SingleInstanceMutex != INVALID_HANDLE_VALUE) {
        Window_WatchRaiseRequests(INVALID_HANDLE_VALUE);
        OS_ReleaseSingleInstance(SingleInstanceMutex);
        SingleInstanceMutex = INVALID_HANDLE_VALUE;
    }
    ClassRegistered = false;
}

void RegisterShutdown() {
    static bool registered = false;
    if (!registered) {
        registered = true;
        AddUnitShutdown(ShutdownWindowUnit);
    }
}

// The sound device plays for the main window (its cooperative window): the
// system mutes it while that window lacks the focus. Done here, beside the
// window's creation, so it holds whether or not sound is set up yet and
// whatever the GUI's procedure does with the activation messages.
void MainWindowFocusChanged(HWND window, bool focused) {
    if (window == MainWindowHandle)
        DSound_SetFocus(focused);
}

TRect DesktopRect() {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

} // namespace

void SetMessageLoopSleep(void (*sleep)(uint32_t ms)) {
    LoopSleep = sleep;
}

// ---------------------------------------------------------------------------
// Placement

TRect GetWorkArea(HWND window) {
    TRect area;
    if (Window_GetMonitorWorkArea(window, area))
        return area;
    return DesktopRect();
}

TRect CenteredWindowRect(int32_t clientWidth, int32_t clientHeight) {
    TRect rect{0, 0, clientWidth, clientHeight};
    AdjustWindowRect(rect, TWindowStyle::Captioned);
    int32_t width = rect.Width();
    int32_t height = rect.Height();
    int32_t x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int32_t y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    return {x, y, x + width, y + height};
}

void CenterInWorkArea(HWND window, int32_t clientWidth, int32_t clientHeight) {
    TRect outer, client;
    if (!GetWindowRect(window, outer) || !GetClientRect(window, client))
        return;
    int32_t width = clientWidth + (outer.Width() - client.Width());
    int32_t height = clientHeight + (outer.Height() - client.Height());
    TRect area = GetWorkArea(window);
    int32_t x = area.Left + (area.Width() - width) / 2;
    int32_t y = area.Top + (area.Height() - height) / 2;
    SetWindowPos(window, x, y, width, height);
}

// ---------------------------------------------------------------------------
// Window

void CreateMainWindow(int32_t width, int32_t height, WNDPROC procedure, bool fullscreen, const std::string& title) {
    RegisterShutdown();
    MainWindowClass.Name = MainWindowClassName;
    MainWindowClass.Procedure = procedure;
    ClientWidth = width;
    ClientHeight = height;

    TWindowCreateParams params;
    params.ClassName = MainWindowClass.Name;
    params.Title = title;
    params.Procedure = procedure;
    int32_t desktopWidth = GetSystemMetrics(SM_CXSCREEN);
    int32_t desktopHeight = GetSystemMetrics(SM_CYSCREEN);
    if (fullscreen) {
        params.Style = TWindowStyle::TopmostPopup;
        params.Width = desktopWidth;
        params.Height = desktopHeight;
    } else if (width == desktopWidth && height == desktopHeight) {
        params.Style = TWindowStyle::AppPopup;
        params.Width = width;
        params.Height = height;
    } else {
        TRect rect = CenteredWindowRect(width, height);
        params.Style = TWindowStyle::Captioned;
        params.X = rect.Left;
        params.Y = rect.Top;
        params.Width = rect.Width();
        params.Height = rect.Height();
    }
    MainWindowHandle = Window_Create(params);
    if (MainWindowHandle == nullptr)
        return;
    Window_SetFocusListener(MainWindowFocusChanged);
    if (params.Style == TWindowStyle::Captioned)
        CenterInWorkArea(MainWindowHandle, width, height);
    Window_SetProgramIcon(MainWindowHandle);
    ShowWindow(MainWindowHandle, SW_SHOWNORMAL);
    UpdateWindow(MainWindowHandle);
}

bool IsAlreadyRunning(const std::string& name) {
    RegisterShutdown();
    THandle lock = INVALID_HANDLE_VALUE;
    TSingleInstanceResult result = OS_AcquireSingleInstance(name, lock);
    if (result == TSingleInstanceResult::First) {
        if (SingleInstanceMutex != INVALID_HANDLE_VALUE)
            OS_ReleaseSingleInstance(SingleInstanceMutex);
        SingleInstanceMutex = lock;
        Window_WatchRaiseRequests(lock);
        return false;
    }
    if (result == TSingleInstanceResult::Unknown)
        return false;
    OS_SendRaiseRequest(name);
    return true;
}

// ---------------------------------------------------------------------------
// Loop

namespace {
std::atomic<TLoopPump> LoopPump{nullptr};
} // namespace

void SetMessageLoopPump(TLoopPump pump) {
    LoopPump.store(pump);
}

void RunMessageLoop(TIdleProc idle, uint32_t sleepMs) {
    ClassRegistered = true;
    LoopActive = true;
    LoopInactive = false;
    bool quit = false;
    TMsg msg;
    while (!quit) {
        if (TLoopPump pump = LoopPump.load())
            pump();
        if (PeekMessage(msg, true)) {
            if (msg.Message == WM_QUIT)
                quit = true;
            TranslateMessage(msg);
            DispatchMessage(msg);
            if (LoopInactive)
                Sleep(sleepMs);
        } else if (LoopActive) {
            if (idle != nullptr)
                idle();
        } else {
            Sleep(sleepMs);
        }
    }
    ClassRegistered = false;
}

bool IsPointInClient(const TPoint& point) {
    return point.X >= 0 && point.X < ClientWidth && point.Y >= 0 && point.Y < ClientHeight;
}

HWND GetMainWindow() {
    return MainWindowHandle;
}
