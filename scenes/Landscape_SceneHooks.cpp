#include "scenes/Landscape_SceneHooks.h"

#include <cstring>

#include "render/QX9_Render_Scenes.h"
#include "scenes/Landscape_Armies.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Chunks.h"
#include "scenes/Landscape_Pipeline.h"
#include "scenes/Landscape_Placement.h"
#include "scenes/Landscape_Plants.h"
#include "scenes/Landscape_Terrain.h"
#include "scenes/PersonageRender.h"

void TMapSceneHooks::UpdateArmyModel(int32_t army)
{
    ::UpdateArmyModel(army);
}

void TMapSceneHooks::MarkArmyModelRebuild(int32_t army)
{
    MarkArmyModelUpdate(army);
}

void TMapSceneHooks::ResizeMapArmyRenders(int32_t count)
{
    ::ResizeMapArmyRenders(count);
}

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

void TMapSceneHooks::SetMapObjectVisible(int32_t object, bool visible)
{
    ::SetMapObjectVisible(object, visible);
}

void TMapSceneHooks::ResizeMapPlacements(TMapPlacementList list, int32_t count)
{
    ::ResizeMapPlacements(list, count);
}

void TMapSceneHooks::ClearAnimatedMapObjects()
{
    AnimatedInstances.clear();
}

void TMapSceneHooks::ClearArmies(bool freeTables)
{
    ::ClearArmies(freeTables);
}

void TMapSceneHooks::ClearMapMeshes()
{
    ClearMapSceneInstances();
}

void TMapSceneHooks::ClearMapPlacements()
{
    ::ClearMapPlacements();
}

void TMapSceneHooks::BuildTerrainChunkMeshes()
{
    ::BuildTerrainChunkMeshes();
}

void TMapSceneHooks::BuildPlantMeshes()
{
    ::BuildPlantMeshes();
}

void TMapSceneHooks::PlaceBuildingsAndObjects()
{
    ::PlaceBuildingsAndObjects();
}

void TMapSceneHooks::PlaceArmies()
{
    ::PlaceArmies();
}

void TMapSceneHooks::SortMainPass()
{
    if (T3D_Scene* scene = MapScene())
        scene->SortPass("MAIN");
}

void TMapSceneHooks::GetMapView(int32_t* view)
{
    std::memcpy(view, &MapCamera, MapViewWords * sizeof(int32_t));
}

void TMapSceneHooks::SetMapView(const int32_t* view)
{
    std::memcpy(static_cast<void*>(&MapCamera), view, MapViewWords * sizeof(int32_t));
}
