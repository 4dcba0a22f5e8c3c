#include "scenes/Landscape_SceneHooks.h"

#include <cstring>

#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Terrain.h"

void TMapSceneHooks::BuildTerrainModel(bool rebuild)
{
    (void)rebuild;
    ::BuildTerrainModel();
}

void TMapSceneHooks::UpdateMapChunks(const TIntArray& chunks)
{
    ::UpdateMapChunks(chunks);
}

void TMapSceneHooks::GetTerrainPoint(const TVec3& position, bool ignoreWater, TVec3& point)
{
    ::GetTerrainPoint(position, ignoreWater, point);
}

void TMapSceneHooks::GetMapView(int32_t* view)
{
    std::memcpy(view, &MapCamera, MapViewWords * sizeof(int32_t));
}

void TMapSceneHooks::SetMapView(const int32_t* view)
{
    std::memcpy(static_cast<void*>(&MapCamera), view, MapViewWords * sizeof(int32_t));
}
