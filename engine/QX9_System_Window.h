// QX9_System: the program's one top-level window and its message loop, and
// the test that keeps a second copy of the program from starting.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window/Window.h"

// ---------------------------------------------------------------------------
// Window and loop state (main thread)

struct TWindowClass {
    std::string Name;
    WNDPROC Procedure = nullptr;
};

extern HWND MainWindowHandle;        // the main window, nullptr until created
extern TWindowClass MainWindowClass; // named "Corvane DX9 Engine"
extern bool ClassRegistered;
extern int32_t ClientWidth; // the client size asked for at creation
extern int32_t ClientHeight;
extern THandle SingleInstanceMutex; // INVALID_HANDLE_VALUE until the single-instance test
// The loop calls the idle procedure only while LoopActive is set; while
// LoopInactive is set it sleeps also after each message. The GUI's
// activation handling sets both.
extern bool LoopActive;
extern bool LoopInactive;

constexpr const char* MainWindowClassName = "Corvane DX9 Engine";

// Creates, shows and paints the main window: fullscreen as a topmost popup
// over the whole desktop; a windowed size equal to the desktop as a
// borderless popup at (0, 0); any other size as a captioned window whose
// client area is exactly width x height, centred in the work area.
void CreateMainWindow(int32_t width, int32_t height, WNDPROC procedure, bool fullscreen, const std::string& title);
// True when another copy of the program holds the name; that copy's window
// is asked to come to the front. A failure of the test itself answers false.
bool IsAlreadyRunning(const std::string& name);

using TIdleProc = void (*)();
// Runs until WM_QUIT: a waiting message is dispatched (then a sleep of
// sleepMs while LoopInactive); with no message, idle runs while LoopActive,
// else the loop sleeps sleepMs. The class is unregistered afterwards.
void RunMessageLoop(TIdleProc idle, uint32_t sleepMs);
// A function the loop calls once per iteration, also around its inactive
// sleeps (the crash reporter answers its probes and runs the calls queued for
// the main thread there); nullptr removes it.
using TLoopPump = void (*)();
void SetMessageLoopPump(TLoopPump pump);
// Tests replace the loop's sleep; nullptr restores OS_SleepMs.
void SetMessageLoopSleep(void (*sleep)(uint32_t ms));

bool IsPointInClient(const TPoint& point); // 0 <= x < ClientWidth, 0 <= y < ClientHeight
HWND GetMainWindow();

// The work area of the window's monitor (the primary one for nullptr); the
// whole desktop when the monitor can't tell.
TRect GetWorkArea(HWND window);
// The outer rectangle of a captioned window with that client size, centred
// on the desktop.
TRect CenteredWindowRect(int32_t clientWidth, int32_t clientHeight);
// Sizes the window so that its client area is exactly clientWidth x
// clientHeight and centres it in the work area of its monitor (the free space
// halved, rounded toward zero).
void CenterInWorkArea(HWND window, int32_t clientWidth, int32_t clientHeight);
