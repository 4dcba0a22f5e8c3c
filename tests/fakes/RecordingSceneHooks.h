// A map scene for the world rules' tests: records every call, one line each
// in Calls, and keeps the numbers the tests ask about. The terrain services
// (BuildTerrainModel, UpdateMapChunks, GetTerrainPoint) only record unless
// PassTerrain is set; then they also run the headless terrain model, as the
// default scene does.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "model/SceneHooks.h"

class TRecordingSceneHooks : public TSceneHooks {
public:
    bool PassTerrain = false;

    std::vector<std::string> Calls;
    std::vector<int32_t> Updated;                  // UpdateArmyModel's armies
    std::vector<TIntArray> ChunkUpdates;           // UpdateMapChunks' lists
    std::vector<std::pair<int32_t, bool>> Visible; // SetMapObjectVisible's (object, visible)
    std::vector<int32_t> ArmyRenderSizes;          // ResizeMapArmyRenders' counts
    TIntArray MarkedArmies;                        // MarkArmyModelRebuild's armies

    void UpdateArmyModel(int32_t army) override
    {
        Updated.push_back(army);
        Calls.push_back("UpdateArmyModel " + std::to_string(army));
    }
    void MarkArmyModelRebuild(int32_t army) override { MarkedArmies.push_back(army); }
    void ResizeMapArmyRenders(int32_t count) override
    {
        ArmyRenderSizes.push_back(count);
        Calls.push_back("ResizeMapArmyRenders " + std::to_string(count));
    }
    void BuildTerrainModel(bool rebuild) override
    {
        Calls.push_back(std::string("BuildTerrainModel ") + (rebuild ? "1" : "0"));
        if (PassTerrain)
            TSceneHooks::BuildTerrainModel(rebuild);
    }
    void UpdateMapChunks(const TIntArray& chunks) override
    {
        ChunkUpdates.push_back(chunks);
        std::string line = "UpdateMapChunks";
        for (int32_t chunk : chunks)
            line += " " + std::to_string(chunk);
        Calls.push_back(line);
        if (PassTerrain)
            TSceneHooks::UpdateMapChunks(chunks);
    }
    void GetTerrainPoint(const TVec3& position, bool ignoreWater, TVec3& point) override
    {
        Calls.push_back(std::string("GetTerrainPoint ") + (ignoreWater ? "1" : "0"));
        if (PassTerrain)
            TSceneHooks::GetTerrainPoint(position, ignoreWater, point);
        else
            point = position;
    }
    void SetMapObjectVisible(int32_t object, bool visible) override
    {
        Visible.emplace_back(object, visible);
        Calls.push_back("SetMapObjectVisible " + std::to_string(object) + (visible ? " 1" : " 0"));
    }
    void ResizeMapPlacements(TMapPlacementList list, int32_t count) override
    {
        Calls.push_back("ResizeMapPlacements " + std::to_string(static_cast<int>(list)) + " " + std::to_string(count));
    }
    void ClearAnimatedMapObjects() override { Calls.push_back("ClearAnimatedMapObjects"); }

    // The map rebuild of a saved-game load; the view block is kept.
    int32_t View[13] = {};
    void ClearArmies(bool freeTables) override
    {
        Calls.push_back(std::string("ClearArmies ") + (freeTables ? "1" : "0"));
    }
    void ClearMapMeshes() override { Calls.push_back("ClearMapMeshes"); }
    void ClearMapPlacements() override { Calls.push_back("ClearMapPlacements"); }
    void BuildTerrainChunkMeshes() override { Calls.push_back("BuildTerrainChunkMeshes"); }
    void BuildPlantMeshes() override { Calls.push_back("BuildPlantMeshes"); }
    void PlaceBuildingsAndObjects() override { Calls.push_back("PlaceBuildingsAndObjects"); }
    void PlaceArmies() override { Calls.push_back("PlaceArmies"); }
    void SortMainPass() override { Calls.push_back("SortMainPass"); }
    void GetMapView(int32_t* view) override
    {
        for (int i = 0; i < 13; ++i)
            view[i] = View[i];
    }
    void SetMapView(const int32_t* view) override
    {
        for (int i = 0; i < 13; ++i)
            View[i] = view[i];
    }
};
