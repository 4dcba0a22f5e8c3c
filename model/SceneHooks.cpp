#include "model/SceneHooks.h"

#include "model/scenario/Terrain.h"

namespace {
TSceneHooks HeadlessSceneHooks;
TSceneHooks* InstalledSceneHooks = nullptr;
} // namespace

void TSceneHooks::BuildTerrainModel(bool rebuild)
{
    (void)rebuild;
    HeadlessBuildTerrainModel();
}

void TSceneHooks::UpdateMapChunks(const TIntArray& chunks)
{
    HeadlessUpdateMapChunks(chunks);
}

void TSceneHooks::GetTerrainPoint(const TVec3& position, bool ignoreWater, TVec3& point)
{
    GetTerrainHeightAt(position, ignoreWater, point);
}

TSceneHooks& SceneHooks()
{
    return InstalledSceneHooks ? *InstalledSceneHooks : HeadlessSceneHooks;
}

void SetSceneHooks(TSceneHooks* hooks)
{
    InstalledSceneHooks = hooks;
}
