#include "model/SceneHooks.h"

namespace {
TSceneHooks SilentSceneHooks;
TSceneHooks* InstalledSceneHooks = nullptr;
} // namespace

TSceneHooks& SceneHooks()
{
    return InstalledSceneHooks ? *InstalledSceneHooks : SilentSceneHooks;
}

void SetSceneHooks(TSceneHooks* hooks)
{
    InstalledSceneHooks = hooks;
}
