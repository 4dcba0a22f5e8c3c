// Landscape terrain: the map scene's half of the terrain model. It runs the
// headless model's steps and adds what only the drawn map needs (layer keys,
// the hill mesh's facet flags, summed normals), reads the cover of buildings
// and objects from the "MAP_INDEX" render, and stands points on bridge decks.
#pragma once

#include <cstdint>

#include "engine/QX9_Math.h"
#include "engine/QX9_System.h"
#include "model/scenario/Terrain.h"

// The whole model from the loaded scenario, with layer keys, facets and
// normals.
void BuildTerrainModel();
// The layer key, the facet flag and the normals of the current grid: the
// steps the headless build leaves at 0. cellHeights, when not empty, holds
// the cells' heights as they were before the build clamped them.
// The vertex rows are split among workers; each vertex depends on nothing
// another worker writes, so the result is the same for any count.
void AddTerrainSceneFields(const std::vector<int16_t>& cellHeights);
// Workers for AddTerrainSceneFields: 0 (the default) one per processor this
// program may use, 1 the calling thread alone.
void SetTerrainFieldWorkers(int32_t workers);

// Costs and covers from the drawn footprints of the placed models.
void UpdateMapChunks(const TIntArray& chunks);

// The cover source of the game: the "MAP_INDEX" read-back and the placed
// bridge decks.
class TMapIndexCover : public TTerrainCoverSource {
public:
    bool Begin() override;
    void End() override;
    void VertexTexels(int32_t r, int32_t c, uint16_t texels[4]) override;
    void BridgeSurfacePoint(const TVec3& p, int32_t b, TVec3& out) override;
    bool BuildingPassable(int32_t b) override;
    // False: read the read-back as the last index render left it.
    bool RenderFirst = true;

private:
    const uint8_t* Bits = nullptr;
    int32_t Pitch = 0;
    int32_t Width = 0;
    int32_t Height = 0;
};

// The ground point under a position, standing on a bridge deck where a
// bridge covers it.
void GetTerrainPoint(const TVec3& position, bool ignoreWater, TVec3& point);
// The position raised to the deck of bridge building b, the last placed
// "Enter" part among its instances.
void GetBridgeSurfacePoint(const TVec3& position, int32_t building, TVec3& point);
// The deck height at local z over the deck's vertex positions (x, y, z
// triples); false when no vertex gives one.
bool DeckHeightAt(const float* positions, size_t count, size_t stride, float z, float& height);
