// zorBitmap: the game's main window, the program's window of an
// application-only screenshot when none was handed over. Kept apart from the
// X capture: the engine's window header and Xlib's both name windows.
#include "crashreport/diagnostics/zorBitmap.h"
#include "engine/QX9_System_Window.h"
#include "platform/window/WindowSDL.h"

SDL_Window* GameMainSdlWindow()
{
    const HWND main = MainWindowHandle;
    return main != nullptr ? Window_GetSDLWindow(main) : nullptr;
}
