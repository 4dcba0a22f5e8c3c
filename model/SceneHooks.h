// The map scene services the world rules call. The game installs its map
// scene here at start-up; without one (headless runs, tests) the terrain
// services are answered by the headless terrain model (model/scenario/Terrain.h) and
// every other call does nothing.
#pragma once

#include <cstdint>

#include "engine/QX9_Math.h"
#include "engine/QX9_System.h"

// The map scene's per-record placement lists (one entry per scenario record).
enum class TMapPlacementList : uint8_t { Trees, Buildings, Objects, Armies, Points };

class TSceneHooks {
public:
    virtual ~TSceneHooks() = default;

    // The army's model on the strategic map is rebuilt from its leader when
    // the leader's type or look changed.
    virtual void UpdateArmyModel(int32_t army) { (void)army; }
    // Sets the rebuild mark of the army's render record: its personages or
    // activity changed, and the scene rebuilds its model from the mark.
    virtual void MarkArmyModelRebuild(int32_t army) { (void)army; }
    // Makes the scene's army render list count entries long: entries past
    // the new length are freed, new entries cleared.
    virtual void ResizeMapArmyRenders(int32_t count) { (void)count; }

    // Builds the terrain vertices from the loaded scenario's cells and
    // placement tables.
    virtual void BuildTerrainModel(bool rebuild);
    // Recomputes the walk costs, vertex buildings and movement classes of the
    // listed 64 x 64 chunks (numbered from 1); an empty list does the whole
    // map and raises LoadingProgress.
    virtual void UpdateMapChunks(const TIntArray& chunks);
    // The terrain point below a position clamped to the map; ignoreWater
    // leaves the point on the ground under water.
    virtual void GetTerrainPoint(const TVec3& position, bool ignoreWater, TVec3& point);
    // Shows or hides every scene instance of map object `object`.
    virtual void SetMapObjectVisible(int32_t object, bool visible) { (void)object, (void)visible; }
    // Makes a placement list count entries long, keeping existing entries.
    virtual void ResizeMapPlacements(TMapPlacementList list, int32_t count) { (void)list, (void)count; }
    // Empties the list of animated map objects.
    virtual void ClearAnimatedMapObjects() {}

    // The map rebuild of a saved-game load, in its order: every army's model
    // taken off the map (and, with freeTables, the scene's army tables
    // emptied); for another scenario the scene's instances and placements
    // cleared, then the chunk and plant meshes built after the terrain
    // model; the buildings and objects placed after the tables are read; the
    // armies placed (or refreshed one by one); the main pass sorted.
    virtual void ClearArmies(bool freeTables) { (void)freeTables; }
    virtual void ClearMapMeshes() {}
    virtual void ClearMapPlacements() {}
    virtual void BuildTerrainChunkMeshes() {}
    virtual void BuildPlantMeshes() {}
    virtual void PlaceBuildingsAndObjects() {}
    virtual void PlaceArmies() {}
    virtual void SortMainPass() {}
    // The 13 words of the map scene's view block (camera and light), saved and
    // restored whole; headless they are zeros.
    virtual void GetMapView(int32_t* view)
    {
        for (int i = 0; i < 13; ++i)
            view[i] = 0;
    }
    virtual void SetMapView(const int32_t* view) { (void)view; }
};

// The map scene the game installed, or the headless default. Never null.
TSceneHooks& SceneHooks();
// Installs a map scene (nullptr restores the headless default).
void SetSceneHooks(TSceneHooks* hooks);
