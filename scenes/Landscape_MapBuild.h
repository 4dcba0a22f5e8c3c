// The map build of a new game, as the game loading worker runs it: the old
// map's armies, instances and placements cleared, the scenario loaded, the
// terrain model, chunk and plant meshes built, the buildings, objects,
// chunks and plants placed, the path grid filled with the drawn cover, the
// world set up and the armies placed. Uploads are left to whoever defers
// them (the loading window performs them on the main thread).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The steps, in order; the callback hears each one as it ends.
enum class TMapBuildPhase : uint8_t {
    Cleared,
    Scenario,
    TerrainModel,
    ChunkMeshes,
    PlantMeshes,
    Placement,
    PathGrid,
    World,
    Armies,
};
const char* MapBuildPhaseName(TMapBuildPhase phase);

// False, with the old map cleared, when the scenario does not load.
bool BuildNewGameMap(const std::string& scenarioFile, int32_t hero, int32_t seed,
                     const std::function<void(TMapBuildPhase)>& phaseDone = nullptr);
