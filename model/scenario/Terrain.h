// Terrain: the terrain model the world rules need without a map scene. From
// the landscape cells it derives each vertex's position, ground layers,
// walk costs, ground class and anchors, adds the cost changes of plants,
// buildings and objects, and answers height queries. A building's footprint
// is the 3 x 3 vertices around its anchor, read as its entrance (the map
// scene reads the drawn footprint instead). Normals, facets and layer keys
// belong to the map scene and stay 0 here.
#pragma once

#include <cstdint>

#include "engine/QX9_Math.h"
#include "engine/QX9_System.h"

// Chunk numbering of the loaded map (set by HeadlessBuildTerrainModel).
extern int32_t Chunks64PerSide; // MapSizeMinus1 div 64
extern int32_t Chunks16PerSide; // MapSizeMinus1 div 16
extern int32_t Chunk64Count;
extern int32_t Chunk16Count;

// Walk-cost factors of the ground kinds 1..16 (entry 0 unused).
extern const float LayerCostFactors[17];
// The 49 ring offsets (dx, dz) around a vertex, ring by ring from the centre.
struct TRingOffset {
    int8_t dx;
    int8_t dz;
};
extern const TRingOffset RingOffsets[49];

// What the cover update reads: the pick ids drawn over each vertex and the
// decks of bridges. The map scene reads its index render; without one the
// headless footprints serve.
class TTerrainCoverSource {
public:
    virtual ~TTerrainCoverSource() = default;
    // Makes the texels readable; false leaves every vertex uncovered.
    virtual bool Begin() { return true; }
    virtual void End() {}
    // The four texels of vertex (r, c), the texel at (s, t) = (1, 1) last.
    virtual void VertexTexels(int32_t r, int32_t c, uint16_t texels[4]) = 0;
    // p raised to the deck of bridge building b; p itself where there is none.
    virtual void BridgeSurfacePoint(const TVec3& p, int32_t b, TVec3& out)
    {
        (void)b;
        out = p;
    }
    // Whether building b's model lets armies through its footprint.
    virtual bool BuildingPassable(int32_t b)
    {
        (void)b;
        return false;
    }
};

// Pick ids of the cover image: a building part shows the building's number,
// an "Enter" part the number + 16384, a map object part 3000 + its number.
inline constexpr uint16_t CoverEnterBase = 16384;
inline constexpr uint16_t CoverObjectBase = 3000;

// The whole model from the loaded scenario's cells and placement tables.
void HeadlessBuildTerrainModel();
// Costs and covers from the placed plants, buildings and objects: the listed
// 64-cell chunks, or the whole map (raising LoadingProgress) for an empty list.
void HeadlessUpdateMapChunks(const TIntArray& chunks);
// The same steps with the texels and decks of a source.
void UpdateMapChunksFrom(const TIntArray& chunks, TTerrainCoverSource& source);
// The ground point under a position, clamped to the map; raised to the water
// surface unless ignoreWater. No bridge decks without a map scene.
void GetTerrainHeightAt(const TVec3& position, bool ignoreWater, TVec3& point);

// The vertex at (round(x), round(z)) of a position; vertex (0, 0) for a
// position off the map (or no vertex at all before the grids exist).
struct TTerrainVertex;
TTerrainVertex* GetMapVertexAt(const TVec3& position);
// round(x) * (N + 1) + round(z); 0 off the map.
int32_t MapCellIndexAt(float x, float z);
// r * (N + 1) + c.
int32_t MapCellIndex(int32_t r, int32_t c);
// The vertex (i div (N + 1), i mod (N + 1)); vertex (0, 0) for an index
// outside the map.
TTerrainVertex* GetMapVertexByIndex(int32_t i);

// The corner (1..4) a cell is split at; 0 for a cell outside 0..N-1.
int32_t GetCellLowCorner(int32_t r, int32_t c);
// Whether (r, c) moved by step times ring offset k lies on the map.
bool IsRingOffsetOnMap(int32_t r, int32_t c, int32_t k, int32_t step);
// The 16-cell chunk of a position (rounded), 0 off the map.
int32_t Chunk16IndexAt(float x, float z);
