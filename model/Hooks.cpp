#include "model/Hooks.h"

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
