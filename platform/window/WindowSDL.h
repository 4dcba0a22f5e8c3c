// The SDL side of our windows, for the other platform layers only (the
// Direct3D-like device takes its GL context from the main window). Engine and
// game code use Window.h.
#pragma once

#include <SDL.h>

#include "platform/window/Window.h"

// Starts SDL's video subsystem (counted, as SDL_InitSubSystem); false when
// no driver starts. Without a driver named in SDL_VIDEODRIVER, SDL's drivers
// are tried in their order, but Wayland only when a Wayland display can be
// there: probing for one that cannot prints an error line of the system's.
bool Window_InitVideo();

// The SDL window behind a window of ours; nullptr for nullptr. Windows are
// made with SDL_WINDOW_OPENGL (unless Window_SetOpenGL(false)) and SDL's
// default framebuffer attributes. Stays valid until Window_Shutdown, also
// after DestroyWindow.
SDL_Window* Window_GetSDLWindow(HWND window);
// Our window for an SDL window id; nullptr when it is none of ours.
HWND Window_FromSDLWindowID(uint32_t id);
// The Windows virtual-key code of an SDL key; 0 for keys Windows has no code
// for.
uint8_t Window_VirtualKeyOf(const SDL_Keysym& key);
