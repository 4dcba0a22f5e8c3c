// The windowing services the engine and the GUI were written against: a
// top-level window with a window procedure, one message queue, Windows'
// message ids and virtual-key codes, the cursor position and the show-cursor
// counter. Implemented over SDL2; no SDL type appears here (the renderer gets
// the SDL window from WindowSDL.h).
//
// Threads: everything here belongs to the main thread, except PostMessage and
// PostQuitMessage, which any thread may call.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os/OS.h"

// ---------------------------------------------------------------------------
// Handles and message parameters

struct TWindowObject; // one top-level window
using HWND = TWindowObject*;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct TMsg {
    HWND Window = nullptr; // nullptr for WM_QUIT
    UINT Message = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    uint32_t Time = 0; // OS_TimeGetTime when queued
};

// Two 16-bit halves in one parameter, as Windows packs them; each half is cut
// to 16 bits.
constexpr LPARAM MakeLParam(int32_t low, int32_t high) {
    return static_cast<LPARAM>(static_cast<uint32_t>(static_cast<uint16_t>(low)) |
                               (static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16));
}
constexpr WPARAM MakeWParam(int32_t low, int32_t high) {
    return static_cast<WPARAM>(MakeLParam(low, high));
}
constexpr uint16_t LoWord(uintptr_t value) {
    return static_cast<uint16_t>(value & 0xFFFF);
}
constexpr uint16_t HiWord(uintptr_t value) {
    return static_cast<uint16_t>((value >> 16) & 0xFFFF);
}
// The wheel's signed delta in the high word of WM_MOUSEWHEEL's wParam.
constexpr int16_t GetWheelDeltaWParam(WPARAM wParam) {
    return static_cast<int16_t>(HiWord(wParam));
}

// ---------------------------------------------------------------------------
// Message ids (Windows values)

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_USER = 0x0400;

// WM_ACTIVATE's low word; the high word is 1 while the window is minimised.
constexpr WPARAM WA_INACTIVE = 0;
constexpr WPARAM WA_ACTIVE = 1;
constexpr WPARAM WA_CLICKACTIVE = 2;

// WM_SYSCOMMAND commands.
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_SCREENSAVE = 0xF140;

// Mouse messages' wParam: buttons and modifier keys held.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

constexpr int32_t WHEEL_DELTA = 120;

// Key messages' lParam: bit 29 Alt held, bit 30 the key was already down,
// bit 31 the key is going up; the low word is the repeat count (1).
constexpr LPARAM KF_ALTDOWN_BIT = LPARAM(1) << 29;
constexpr LPARAM KF_REPEAT_BIT = LPARAM(1) << 30;
constexpr LPARAM KF_UP_BIT = LPARAM(1) << 31;

// ---------------------------------------------------------------------------
// Virtual-key codes (Windows values, US layout for the punctuation keys)

constexpr uint8_t VK_BACK = 8;
constexpr uint8_t VK_TAB = 9;
constexpr uint8_t VK_CLEAR = 12;
constexpr uint8_t VK_RETURN = 13;
constexpr uint8_t VK_SHIFT = 16;
constexpr uint8_t VK_CONTROL = 17;
constexpr uint8_t VK_MENU = 18; // Alt
constexpr uint8_t VK_PAUSE = 19;
constexpr uint8_t VK_CAPITAL = 20;
constexpr uint8_t VK_ESCAPE = 27;
constexpr uint8_t VK_SPACE = 32;
constexpr uint8_t VK_PRIOR = 33; // Page Up
constexpr uint8_t VK_NEXT = 34;  // Page Down
constexpr uint8_t VK_END = 35;
constexpr uint8_t VK_HOME = 36;
constexpr uint8_t VK_LEFT = 37;
constexpr uint8_t VK_UP = 38;
constexpr uint8_t VK_RIGHT = 39;
constexpr uint8_t VK_DOWN = 40;
constexpr uint8_t VK_SNAPSHOT = 44;
constexpr uint8_t VK_INSERT = 45;
constexpr uint8_t VK_DELETE = 46;
// '0'..'9' are 48..57 and 'A'..'Z' are 65..90.
constexpr uint8_t VK_LWIN = 91;
constexpr uint8_t VK_RWIN = 92;
constexpr uint8_t VK_APPS = 93;
constexpr uint8_t VK_NUMPAD0 = 96; // .. VK_NUMPAD9 = 105
constexpr uint8_t VK_MULTIPLY = 106;
constexpr uint8_t VK_ADD = 107;
constexpr uint8_t VK_SUBTRACT = 109;
constexpr uint8_t VK_DECIMAL = 110;
constexpr uint8_t VK_DIVIDE = 111;
constexpr uint8_t VK_F1 = 112; // .. VK_F24 = 135
constexpr uint8_t VK_F4 = 115;
constexpr uint8_t VK_F10 = 121;
constexpr uint8_t VK_F11 = 122;
constexpr uint8_t VK_F12 = 123;
constexpr uint8_t VK_NUMLOCK = 144;
constexpr uint8_t VK_SCROLL = 145;
constexpr uint8_t VK_OEM_1 = 186;      // ;
constexpr uint8_t VK_OEM_PLUS = 187;   // =
constexpr uint8_t VK_OEM_COMMA = 188;  // ,
constexpr uint8_t VK_OEM_MINUS = 189;  // -
constexpr uint8_t VK_OEM_PERIOD = 190; // .
constexpr uint8_t VK_OEM_2 = 191;      // /
constexpr uint8_t VK_OEM_3 = 192;      // the key left of "1" (the console key)
constexpr uint8_t VK_OEM_4 = 219;      // [
constexpr uint8_t VK_OEM_5 = 220;      // backslash
constexpr uint8_t VK_OEM_6 = 221;      // ]
constexpr uint8_t VK_OEM_7 = 222;      // '
constexpr uint8_t VK_OEM_102 = 226;    // the extra key beside left Shift

// ---------------------------------------------------------------------------
// Screen and work area

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
// The primary display's desktop size (SM_CXSCREEN, SM_CYSCREEN); 0 for other
// indices or when there is no display.
int32_t GetSystemMetrics(int index);
// The usable part (without panels) of the display that shows the window, the
// primary display when window is nullptr. False when the display can't tell.
bool Window_GetMonitorWorkArea(HWND window, TRect& area);

// ---------------------------------------------------------------------------
// Windows

enum class TWindowStyle {
    TopmostPopup, // no frame, always on top
    AppPopup,     // no frame
    Captioned,    // caption, close and minimise; no sizing border, no maximise
};

struct TWindowCreateParams {
    std::string ClassName;
    std::string Title;
    TWindowStyle Style = TWindowStyle::Captioned;
    // Outer rectangle (frame included) in screen pixels.
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    WNDPROC Procedure = nullptr;
};

// Creates a hidden window ready for OpenGL drawing (see Window_SetOpenGL);
// nullptr when the system refuses.
HWND Window_Create(const TWindowCreateParams& params);
// Whether new windows are made for OpenGL drawing (default true: the
// renderer draws into the main window). Window tests that draw nothing turn
// it off so that no GL driver is loaded.
void Window_SetOpenGL(bool enabled);
// Told (on the main thread) when a window gains or loses the focus, as its
// WM_SETFOCUS or WM_KILLFOCUS is queued: the system's own reactions to focus
// (the sound mute) follow it whatever the window procedure does with those
// messages. nullptr: nobody is told.
using TWindowFocusListener = void (*)(HWND window, bool focused);
void Window_SetFocusListener(TWindowFocusListener listener);
// Grows a client rectangle into the outer rectangle of a window of that style
// (as AdjustWindowRect). The frame of a captioned window is known only once
// one is shown; before that it counts as 0.
void AdjustWindowRect(TRect& rect, TWindowStyle style);

bool GetWindowRect(HWND window, TRect& rect); // outer, screen pixels
bool GetClientRect(HWND window, TRect& rect); // (0, 0, width, height)
// Moves and sizes the outer rectangle.
bool SetWindowPos(HWND window, int32_t x, int32_t y, int32_t width, int32_t height);

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;
bool ShowWindow(HWND window, int command);
// Paints the window once: sends WM_PAINT, which the default procedure answers
// by clearing the client area black.
bool UpdateWindow(HWND window);
// The program's own icon, as the window's large and small icon.
bool Window_SetProgramIcon(HWND window);
// Sends WM_DESTROY and takes the window off the screen. The system window
// itself lives on until Window_Shutdown, so a renderer torn down after the
// message loop still has its drawing surface.
bool DestroyWindow(HWND window);
bool IsWindow(HWND window); // created and not destroyed
std::string Window_GetTitle(HWND window);

// The process's single-instance lock (see OS_SingleInstance.h): while it is
// set, every pump of the queue looks for a request from a second copy; one
// restores and raises the first window and sends it WM_SETFOCUS.
void Window_WatchRaiseRequests(THandle lock);

// Destroys every window, empties the queue, forgets the quit request and the
// cursor counter, and closes the video subsystem. For the end of the program
// and between tests.
void Window_Shutdown();

// ---------------------------------------------------------------------------
// Messages

// Takes the next message (remove = true) or looks at it. Posted messages and
// system input come in order of arrival; WM_QUIT comes when nothing else is
// waiting after PostQuitMessage. False when nothing is waiting.
bool PeekMessage(TMsg& msg, bool remove);
// Characters already arrive as WM_CHAR from the text input, so there is
// nothing to translate; kept for the loop's shape.
bool TranslateMessage(const TMsg& msg);
// Calls the procedure of the message's window; 0 for a window that is gone.
LRESULT DispatchMessage(const TMsg& msg);
// Calls the window's procedure at once (main thread only).
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Queues a message for the window; any thread. False for a window that is gone.
bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Asks the loop to end: WM_QUIT with the exit code in wParam. Any thread.
void PostQuitMessage(int exitCode);
// What a window does with a message its procedure leaves alone: WM_CLOSE
// destroys the window, WM_PAINT clears it black, Alt+F4 closes it, SC_CLOSE
// and SC_MINIMIZE act; everything else is ignored (0).
LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------
// Test runs

// DUSKMARCH_FORCE_ACTIVE=1 in the environment: a shown window is active at
// once and stays active whatever the focus does (a test X server has no
// window manager to hand the focus out, and an inactive game stops its clock).
bool Window_ForceActive();
// Scripted input: while on, the real keyboard, mouse and typed text are
// dropped, the cursor stands where the script put it, and the calls below
// queue for the window exactly the messages the real devices would.
void Window_SetScriptedInput(bool on);
bool Window_ScriptedInput();
void Window_ScriptedMove(HWND window, int32_t clientX, int32_t clientY);
void Window_ScriptedButton(HWND window, bool right, bool down);
void Window_ScriptedKey(HWND window, uint8_t virtualKey, bool down);
void Window_ScriptedText(HWND window, const std::u16string& text);
// delta: as Windows counts it, 120 a notch, positive away from the user.
void Window_ScriptedWheel(HWND window, int32_t delta);

// ---------------------------------------------------------------------------
// Cursor

bool GetCursorPos(TPoint& point); // screen pixels
bool ScreenToClient(HWND window, TPoint& point);
// Windows' display counter: the cursor shows while the counter is 0 or more.
// Returns the new counter.
int ShowCursor(bool show);
