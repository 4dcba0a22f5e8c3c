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

// The whole model from the loaded scenario's cells and placement tables.
void HeadlessBuildTerrainModel();
// Costs and covers from the placed plants, buildings and objects: the listed
// 64-cell chunks, or the whole map (raising LoadingProgress) for an empty list.
void HeadlessUpdateMapChunks(const TIntArray& chunks);
// The ground point under a position, clamped to the map; raised to the water
// surface unless ignoreWater. No bridge decks without a map scene.
void GetTerrainHeightAt(const TVec3& position, bool ignoreWater, TVec3& point);

// The corner (1..4) a cell is split at; 0 for a cell outside 0..N-1.
int32_t GetCellLowCorner(int32_t r, int32_t c);
// Whether (r, c) moved by step times ring offset k lies on the map.
bool IsRingOffsetOnMap(int32_t r, int32_t c, int32_t k, int32_t step);
// The 16-cell chunk of a position (rounded), 0 off the map.
int32_t Chunk16IndexAt(float x, float z);
