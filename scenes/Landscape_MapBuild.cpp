#include "scenes/Landscape_MapBuild.h"

#include "model/ai/AIMain.h"
#include "model/scenario/ScenarioMap.h"
#include "model/world/World_Setup.h"
#include "model/world/World_Tables.h"
#include "scenes/Landscape_Armies.h"
#include "scenes/Landscape_Chunks.h"
#include "scenes/Landscape_Placement.h"
#include "scenes/Landscape_Plants.h"
#include "scenes/Landscape_Terrain.h"

const char* MapBuildPhaseName(TMapBuildPhase phase)
{
    switch (phase) {
    case TMapBuildPhase::Cleared:
        return "cleared";
    case TMapBuildPhase::Scenario:
        return "scenario";
    case TMapBuildPhase::TerrainModel:
        return "terrain model";
    case TMapBuildPhase::ChunkMeshes:
        return "chunk meshes";
    case TMapBuildPhase::PlantMeshes:
        return "plant meshes";
    case TMapBuildPhase::Placement:
        return "placement";
    case TMapBuildPhase::PathGrid:
        return "path grid";
    case TMapBuildPhase::World:
        return "world";
    case TMapBuildPhase::Armies:
        return "armies";
    }
    return "";
}

bool BuildNewGameMap(const std::string& scenarioFile, int32_t hero, int32_t seed,
                     const std::function<void(TMapBuildPhase)>& phaseDone)
{
    auto done = [&](TMapBuildPhase phase) {
        if (phaseDone)
            phaseDone(phase);
    };
    ClearArmies(true);
    ClearMapSceneInstances();
    ClearMapPlacements();
    done(TMapBuildPhase::Cleared);
    if (!LoadScenarioMap(scenarioFile))
        return false;
    done(TMapBuildPhase::Scenario);
    BuildTerrainModel();
    done(TMapBuildPhase::TerrainModel);
    BuildTerrainChunkMeshes();
    done(TMapBuildPhase::ChunkMeshes);
    BuildPlantMeshes();
    done(TMapBuildPhase::PlantMeshes);
    PlaceBuildingsAndObjects();
    done(TMapBuildPhase::Placement);
    // The path grid reads the costs the drawn footprints give (the whole
    // map's UpdateMapChunks).
    AI_InitPathGrid();
    done(TMapBuildPhase::PathGrid);
    HeroKind = hero;
    InitWorld(false, seed);
    done(TMapBuildPhase::World);
    PlaceArmies();
    done(TMapBuildPhase::Armies);
    return true;
}
