// Windows, the message queue and the cursor over SDL2. The translation of SDL
// input into window messages is in Window_Input.cpp.
#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/os/OS_SingleInstance.h"
#include "platform/window/Window_Internal.h"

namespace {

// Main thread only. Objects stay until Window_Shutdown, so a handle never
// dangles while the program runs.
std::vector<std::unique_ptr<TWindowObject>> Windows;
bool OpenGLWindows = true;
bool VideoStarted = false;
TRect CaptionedFrame; // last frame seen on a shown captioned window
int CursorCounter = 0;
// Cleared by the engine's shut-down, which may run on any thread.
std::atomic<THandle> RaiseLock{INVALID_HANDLE_VALUE};

// Posted messages come from any thread.
std::mutex QueueLock;
std::deque<TMsg> Queue;
bool QuitPosted = false;
int QuitCode = 0;

// Whether a Wayland compositor's socket exists where libwayland would look
// for it: WAYLAND_DISPLAY (an absolute path, or a name in XDG_RUNTIME_DIR),
// else "wayland-0" in XDG_RUNTIME_DIR.
bool WaylandDisplayPossible() {
    std::string name = OS_GetEnv("WAYLAND_DISPLAY");
    if (name.empty())
        name = "wayland-0";
    if (name[0] != '/') {
        const std::string runtime = OS_GetEnv("XDG_RUNTIME_DIR");
        if (runtime.empty() || runtime[0] != '/')
            return false;
        name = runtime + "/" + name;
    }
    struct stat st;
    return stat(name.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool EnsureVideo() {
    if (VideoStarted)
        return true;
    // Windows gives a window no mouse input from outside its client area
    // unless it captures the mouse, which the game never does; SDL would
    // otherwise follow a held button out of the window.
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
    if (!Window_InitVideo())
        return false;
    VideoStarted = true;
    // Typed characters arrive as text input events.
    SDL_StartTextInput();
    SDL_ShowCursor(CursorCounter >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return true;
}

bool Live(HWND window) {
    return window != nullptr && window->Sdl != nullptr && !window->Destroyed.load();
}

// Frame thickness (left, top, right, bottom) of a shown window; 0 where the
// system has no frame (no window manager) or can't tell.
TRect FrameOf(HWND window) {
    TRect frame;
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window->Sdl, &top, &left, &bottom, &right) == 0) {
        frame = {left, top, right, bottom};
        if (window->Style == TWindowStyle::Captioned && (top | left | bottom | right) != 0)
            CaptionedFrame = frame;
    }
    return frame;
}

void ClearWindowBlack(HWND window) {
    SDL_Window* sdl = window->Sdl;
    if ((SDL_GetWindowFlags(sdl) & SDL_WINDOW_OPENGL) == 0) {
        // A plain framebuffer: SDL would otherwise load a GL renderer for it.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        if (SDL_Surface* surface = SDL_GetWindowSurface(sdl)) {
            SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
            SDL_UpdateWindowSurface(sdl);
        }
        return;
    }
    // A short-lived context of our own: the renderer makes its context later
    // with the attributes it needs. Whatever context was current stays so.
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    SDL_GLContext context = SDL_GL_CreateContext(sdl);
    if (context == nullptr)
        return;
    using TClearColor = void (*)(float, float, float, float);
    using TClear = void (*)(uint32_t);
    auto clearColor = reinterpret_cast<TClearColor>(SDL_GL_GetProcAddress("glClearColor"));
    auto clear = reinterpret_cast<TClear>(SDL_GL_GetProcAddress("glClear"));
    if (clearColor != nullptr && clear != nullptr) {
        constexpr uint32_t colorBufferBit = 0x4000;
        clearColor(0.0f, 0.0f, 0.0f, 1.0f);
        clear(colorBufferBit);
        SDL_GL_SwapWindow(sdl);
    }
    SDL_GL_DeleteContext(context);
    if (previous != nullptr)
        SDL_GL_MakeCurrent(previousWindow, previous);
}

// What the second copy's request stands for: show the window normally, bring
// it to the front and give it the focus message.
void BringToFront(HWND window) {
    if (!Live(window))
        return;
    SDL_ShowWindow(window->Sdl);
    SDL_RestoreWindow(window->Sdl);
    SDL_RaiseWindow(window->Sdl);
    Window_QueueMessage(window, WM_SETFOCUS, 0, 0);
}

void Pump() {
    THandle lock = RaiseLock.load();
    if (lock != INVALID_HANDLE_VALUE && OS_TakeRaiseRequest(lock))
        BringToFront(Window_FirstLive());
    if (!VideoStarted)
        return;
    // One SDL event per look keeps the order of input and posted messages;
    // events that give no message are passed over.
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        size_t before;
        {
            std::lock_guard<std::mutex> lock(QueueLock);
            before = Queue.size();
        }
        Window_TranslateSDLEvent(event);
        std::lock_guard<std::mutex> lock(QueueLock);
        if (Queue.size() != before)
            break;
    }
}

} // namespace

bool Window_InitVideo() {
    if (OS_GetEnv("SDL_VIDEODRIVER").empty() && !WaylandDisplayPossible()) {
        // SDL's order without Wayland; "dummy" and "evdev" are only ever
        // used when asked for by name, so they stay out as well.
        std::string drivers;
        for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
            const std::string name = SDL_GetVideoDriver(i);
            if (name == "wayland" || name == "dummy" || name == "evdev")
                continue;
            drivers += (drivers.empty() ? "" : ",") + name;
        }
        SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
    }
    return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
}

// ---------------------------------------------------------------------------
// Internal

void Window_QueueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TMsg msg{window, message, wParam, lParam, OS_TimeGetTime()};
    std::lock_guard<std::mutex> lock(QueueLock);
    Queue.push_back(msg);
}

HWND Window_FirstLive() {
    for (auto& window : Windows)
        if (Live(window.get()))
            return window.get();
    return nullptr;
}

SDL_Window* Window_GetSDLWindow(HWND window) {
    return window != nullptr ? window->Sdl : nullptr;
}

HWND Window_FromSDLWindowID(uint32_t id) {
    for (auto& window : Windows)
        if (window->SdlId == id)
            return window.get();
    return nullptr;
}

// ---------------------------------------------------------------------------
// Screen

int32_t GetSystemMetrics(int index) {
    if ((index != SM_CXSCREEN && index != SM_CYSCREEN) || !EnsureVideo())
        return 0;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0)
        return 0;
    return index == SM_CXSCREEN ? mode.w : mode.h;
}

bool Window_GetMonitorWorkArea(HWND window, TRect& area) {
    if (!EnsureVideo())
        return false;
    int display = 0;
    if (Live(window)) {
        display = SDL_GetWindowDisplayIndex(window->Sdl);
        if (display < 0)
            display = 0;
    }
    SDL_Rect r;
    if (SDL_GetDisplayUsableBounds(display, &r) != 0 && SDL_GetDisplayBounds(display, &r) != 0)
        return false;
    area = {r.x, r.y, r.x + r.w, r.y + r.h};
    return true;
}

// ---------------------------------------------------------------------------
// Windows

void Window_SetOpenGL(bool enabled) {
    OpenGLWindows = enabled;
}

HWND Window_Create(const TWindowCreateParams& params) {
    if (!EnsureVideo())
        return nullptr;
    uint32_t flags = SDL_WINDOW_HIDDEN;
    if (params.Style == TWindowStyle::TopmostPopup)
        flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP;
    else if (params.Style == TWindowStyle::AppPopup)
        flags |= SDL_WINDOW_BORDERLESS;

    // SDL places and sizes the client area; our callers give the outer one.
    TRect frame = params.Style == TWindowStyle::Captioned ? CaptionedFrame : TRect{};
    int x = params.X + frame.Left;
    int y = params.Y + frame.Top;
    int width = std::max(1, params.Width - frame.Left - frame.Right);
    int height = std::max(1, params.Height - frame.Top - frame.Bottom);

    SDL_Window* sdl = nullptr;
    if (OpenGLWindows)
        sdl = SDL_CreateWindow(params.Title.c_str(), x, y, width, height, flags | SDL_WINDOW_OPENGL);
    // Without OpenGL the window still takes input; the renderer then reports
    // its own failure.
    if (sdl == nullptr)
        sdl = SDL_CreateWindow(params.Title.c_str(), x, y, width, height, flags);
    if (sdl == nullptr)
        return nullptr;

    auto window = std::make_unique<TWindowObject>();
    window->Sdl = sdl;
    window->SdlId = SDL_GetWindowID(sdl);
    window->ClassName = params.ClassName;
    window->Title = params.Title;
    window->Style = params.Style;
    window->Procedure = params.Procedure;
    Windows.push_back(std::move(window));
    return Windows.back().get();
}

void AdjustWindowRect(TRect& rect, TWindowStyle style) {
    if (style != TWindowStyle::Captioned)
        return;
    rect.Left -= CaptionedFrame.Left;
    rect.Top -= CaptionedFrame.Top;
    rect.Right += CaptionedFrame.Right;
    rect.Bottom += CaptionedFrame.Bottom;
}

bool GetWindowRect(HWND window, TRect& rect) {
    if (!Live(window))
        return false;
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window->Sdl, &x, &y);
    SDL_GetWindowSize(window->Sdl, &w, &h);
    TRect frame = FrameOf(window);
    rect = {x - frame.Left, y - frame.Top, x + w + frame.Right, y + h + frame.Bottom};
    return true;
}

bool GetClientRect(HWND window, TRect& rect) {
    if (!Live(window))
        return false;
    int w = 0, h = 0;
    SDL_GetWindowSize(window->Sdl, &w, &h);
    rect = {0, 0, w, h};
    return true;
}

bool SetWindowPos(HWND window, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!Live(window))
        return false;
    TRect frame = FrameOf(window);
    SDL_SetWindowSize(window->Sdl, std::max(1, width - frame.Left - frame.Right),
                      std::max(1, height - frame.Top - frame.Bottom));
    SDL_SetWindowPosition(window->Sdl, x + frame.Left, y + frame.Top);
    return true;
}

bool ShowWindow(HWND window, int command) {
    if (!Live(window))
        return false;
    bool wasVisible = (SDL_GetWindowFlags(window->Sdl) & SDL_WINDOW_SHOWN) != 0;
    switch (command) {
    case SW_HIDE:
        SDL_HideWindow(window->Sdl);
        break;
    case SW_MINIMIZE:
        SDL_MinimizeWindow(window->Sdl);
        break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
        SDL_ShowWindow(window->Sdl);
        if (SDL_GetWindowFlags(window->Sdl) & SDL_WINDOW_MINIMIZED)
            SDL_RestoreWindow(window->Sdl);
        FrameOf(window); // learn the frame of this style while it is on screen
        Window_ActivateForced(window);
        break;
    default:
        break;
    }
    return wasVisible;
}

bool UpdateWindow(HWND window) {
    if (!Live(window))
        return false;
    SendMessage(window, WM_PAINT, 0, 0);
    return true;
}

bool Window_SetProgramIcon(HWND window) {
    if (!Live(window))
        return false;
    int width = 0, height = 0;
    const uint32_t* pixels = Window_ProgramIconPixels(width, height);
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(pixels), width, height, 32, width * 4,
                                                           SDL_PIXELFORMAT_ARGB8888);
    if (icon == nullptr)
        return false;
    SDL_SetWindowIcon(window->Sdl, icon);
    SDL_FreeSurface(icon);
    return true;
}

bool DestroyWindow(HWND window) {
    if (!Live(window))
        return false;
    SendMessage(window, WM_DESTROY, 0, 0);
    window->Destroyed = true;
    window->CloseQueued = false;
    SDL_HideWindow(window->Sdl);
    return true;
}

bool IsWindow(HWND window) {
    return Live(window);
}

std::string Window_GetTitle(HWND window) {
    return window != nullptr ? window->Title : std::string();
}

void Window_WatchRaiseRequests(THandle lock) {
    RaiseLock = lock;
}

void Window_Shutdown() {
    for (auto& window : Windows)
        if (window->Sdl != nullptr)
            SDL_DestroyWindow(window->Sdl);
    Windows.clear();
    {
        std::lock_guard<std::mutex> lock(QueueLock);
        Queue.clear();
        QuitPosted = false;
        QuitCode = 0;
    }
    CursorCounter = 0;
    CaptionedFrame = {};
    RaiseLock = INVALID_HANDLE_VALUE;
    Window_ResetInputState();
    if (VideoStarted) {
        SDL_ShowCursor(SDL_ENABLE);
        SDL_StopTextInput();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        VideoStarted = false;
    }
}

// ---------------------------------------------------------------------------
// Messages

bool PeekMessage(TMsg& msg, bool remove) {
    Pump();
    std::lock_guard<std::mutex> lock(QueueLock);
    if (!Queue.empty()) {
        msg = Queue.front();
        if (remove)
            Queue.pop_front();
        return true;
    }
    if (QuitPosted) {
        msg = TMsg{nullptr, WM_QUIT, static_cast<WPARAM>(QuitCode), 0, OS_TimeGetTime()};
        if (remove)
            QuitPosted = false;
        return true;
    }
    return false;
}

bool TranslateMessage(const TMsg&) {
    return false;
}

LRESULT DispatchMessage(const TMsg& msg) {
    if (!Live(msg.Window))
        return 0;
    if (msg.Message == WM_CLOSE)
        msg.Window->CloseQueued = false;
    return SendMessage(msg.Window, msg.Message, msg.WParam, msg.LParam);
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Live(window))
        return 0;
    if (window->Procedure != nullptr)
        return window->Procedure(window, message, wParam, lParam);
    return DefWindowProc(window, message, wParam, lParam);
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr && window->Destroyed.load())
        return false;
    Window_QueueMessage(window, message, wParam, lParam);
    return true;
}

void PostQuitMessage(int exitCode) {
    std::lock_guard<std::mutex> lock(QueueLock);
    QuitPosted = true;
    QuitCode = exitCode;
}

LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Live(window))
        return 0;
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        break;
    case WM_PAINT:
        ClearWindowBlack(window);
        break;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & KF_ALTDOWN_BIT) != 0)
            SendMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            SendMessage(window, WM_CLOSE, 0, 0);
        else if ((wParam & 0xFFF0) == SC_MINIMIZE)
            ShowWindow(window, SW_MINIMIZE);
        break;
    default:
        break;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Cursor

bool GetCursorPos(TPoint& point) {
    if (!EnsureVideo())
        return false;
    int x = 0, y = 0;
    if (TPoint client; Window_ScriptedCursor(client)) {
        if (HWND window = Window_FirstLive())
            SDL_GetWindowPosition(window->Sdl, &x, &y);
        point = {client.X + x, client.Y + y};
        return true;
    }
    if (SDL_Window* focus = SDL_GetMouseFocus()) {
        // Over one of our windows every driver knows the position exactly.
        int wx = 0, wy = 0;
        SDL_GetMouseState(&x, &y);
        SDL_GetWindowPosition(focus, &wx, &wy);
        point = {x + wx, y + wy};
        return true;
    }
    SDL_GetGlobalMouseState(&x, &y);
    point = {x, y};
    return true;
}

bool ScreenToClient(HWND window, TPoint& point) {
    if (!Live(window))
        return false;
    int x = 0, y = 0;
    SDL_GetWindowPosition(window->Sdl, &x, &y);
    point.X -= x;
    point.Y -= y;
    return true;
}

int ShowCursor(bool show) {
    CursorCounter += show ? 1 : -1;
    if (VideoStarted)
        SDL_ShowCursor(CursorCounter >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return CursorCounter;
}
