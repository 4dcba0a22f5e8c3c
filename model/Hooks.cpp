#include "model/Hooks.h"

#include "platform/os/OS.h"

namespace {
TRenderHooks SilentHooks;
TRenderHooks* InstalledHooks = nullptr;
} // namespace

TRenderHooks& RenderHooks()
{
    return InstalledHooks ? *InstalledHooks : SilentHooks;
}

void SetRenderHooks(TRenderHooks* hooks)
{
    InstalledHooks = hooks;
}

void TRenderHooks::ShowMessageBox(const std::string& caption, const std::string& text)
{
    OS_MessageBox(caption, text, MB_OK | MB_ICONERROR);
}

void ShowWindowedErrorBox(const std::string& caption, const std::string& text)
{
    TRenderHooks& hooks = RenderHooks();
    if (!hooks.Windowed())
        return;
    hooks.ShowSystemCursor(true);
    hooks.ShowMessageBox(caption, text);
    hooks.ShowSystemCursor(false);
}
