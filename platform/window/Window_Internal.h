// Shared by the files of platform/window only.
#pragma once

#include <atomic>

#include "platform/window/WindowSDL.h"

struct TWindowObject {
    SDL_Window* Sdl = nullptr;
    uint32_t SdlId = 0;
    std::string ClassName;
    std::string Title;
    TWindowStyle Style = TWindowStyle::Captioned;
    WNDPROC Procedure = nullptr;
    // Read by PostMessage on any thread; the object itself lives until
    // Window_Shutdown.
    std::atomic<bool> Destroyed{false};
    // A WM_CLOSE from the system is waiting in the queue: SDL reports a close
    // twice (the window's close, then the application's quit).
    bool CloseQueued = false;
    // Activation as the procedure last heard of it.
    bool Active = false;
    bool Minimised = false;
    bool ActiveBeforeMinimise = false;
};

// Appends a message to the queue (any thread).
void Window_QueueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The first live window: where the application's quit and raise requests go.
HWND Window_FirstLive();
// Turns one SDL event into the messages a Windows window would get, queued in
// order (Window_Input.cpp).
void Window_TranslateSDLEvent(const SDL_Event& event);
// Scripted input: the cursor's client point while it is on (false when off).
bool Window_ScriptedCursor(TPoint& client);
// A shown window that must count as active (DUSKMARCH_FORCE_ACTIVE) gets its
// activation messages now.
void Window_ActivateForced(HWND window);
// Forgets the input state (held Alt) between runs.
void Window_ResetInputState();
// The program icon as 32 x 32 RGBA pixels (Window_Icon.cpp).
const uint32_t* Window_ProgramIconPixels(int& width, int& height);
