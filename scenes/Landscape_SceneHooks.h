// The map scene's side of the world rules' scene hooks: the terrain model
// with its drawn footprints and bridges, and the saved view of the camera.
// The game installs it at start-up; the placement of the map's models adds
// the rest.
#pragma once

#include "model/SceneHooks.h"

class TMapSceneHooks : public TSceneHooks {
public:
    void BuildTerrainModel(bool rebuild) override;
    void UpdateMapChunks(const TIntArray& chunks) override;
    void GetTerrainPoint(const TVec3& position, bool ignoreWater, TVec3& point) override;
    // The camera record's first thirteen 32-bit values.
    void GetMapView(int32_t* view) override;
    void SetMapView(const int32_t* view) override;
};
