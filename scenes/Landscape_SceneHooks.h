// The map scene's side of the world rules' scene hooks: the terrain model
// with its drawn footprints and bridges, the saved view of the camera, the
// army models, the placement of the map's models and the map build steps.
// The game installs it at start-up.
#pragma once

#include "model/SceneHooks.h"

class TMapSceneHooks : public TSceneHooks {
public:
    void UpdateArmyModel(int32_t army) override;
    void MarkArmyModelRebuild(int32_t army) override;
    void ResizeMapArmyRenders(int32_t count) override;

    void BuildTerrainModel(bool rebuild) override;
    void UpdateMapChunks(const TIntArray& chunks) override;
    void GetTerrainPoint(const TVec3& position, bool ignoreWater, TVec3& point) override;
    void SetMapObjectVisible(int32_t object, bool visible) override;
    void ResizeMapPlacements(TMapPlacementList list, int32_t count) override;
    void ClearAnimatedMapObjects() override;

    void ClearArmies(bool freeTables) override;
    // Every instance of the "MAP" scene; the placement lists keep no stale
    // numbers.
    void ClearMapMeshes() override;
    void ClearMapPlacements() override;
    void BuildTerrainChunkMeshes() override;
    void BuildPlantMeshes() override;
    void PlaceBuildingsAndObjects() override;
    void PlaceArmies() override;
    void SortMainPass() override;
    // The camera record's first thirteen 32-bit values.
    void GetMapView(int32_t* view) override;
    void SetMapView(const int32_t* view) override;
};
