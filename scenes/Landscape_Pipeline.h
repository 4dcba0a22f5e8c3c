// Landscape pipeline: the "MAP" scene's render passes, their targets and
// read-back textures, built once at start-up, and the one-shot renders of
// the map: the backdrop windows over the map show blurred, the mini-map
// picture and the map index image the terrain's cover pass reads back.
#pragma once

#include <cstdint>
#include <string>

#include "engine/QX9_Math.h"

class T3D_Scene;
class T3D_RenderPass;

// Group bits of the map scene's instances.
inline constexpr uint32_t MAP_GROUP_MODELS = 0x1;
inline constexpr uint32_t MAP_GROUP_TREES = 0x2;
inline constexpr uint32_t MAP_GROUP_GRASS = 0x4;
inline constexpr uint32_t MAP_GROUP_TERRAIN = 0x8;
inline constexpr uint32_t MAP_GROUP_GRID1 = 0x40;
inline constexpr uint32_t MAP_GROUP_GRID2 = 0x80;
inline constexpr uint32_t MAP_GROUP_ENTER = 0x1000;
inline constexpr uint32_t MAP_GROUP_COLLISION = 0x2000;
inline constexpr uint32_t MAP_GROUP_ROUTE = 0x4000;
// The groups every pass shader and scene constant applies to.
inline constexpr uint32_t MAP_SHADER_GROUPS = 0xEFFFFFFF;

// The map's texture slots (-1 before the pipeline exists).
struct TMapTargets {
    int32_t PickXYZ = -1;   // "CP_XYZ" target
    int32_t PickIndex = -1; // "CP_INDEX" target
    int32_t MapIndex = -1;  // "MAP_INDEX" target
    int32_t MapHeight = -1; // "MAP_HEIGHT" target
    int32_t PickXYZReadBack = -1;
    int32_t PickIndexReadBack = -1;
    int32_t Backdrop = -1;
    int32_t MiniMap = -1;
    int32_t MapIndexReadBack = -1;
    int32_t MapHeightReadBack = -1;
};
extern TMapTargets MapTargets;

// The "MAP" scene of MainRender (nullptr before the pipeline exists) and one
// of its passes by name.
T3D_Scene* MapScene();
T3D_RenderPass* MapPass(const std::string& name);

void CreateMapPipeline(int32_t viewWidth, int32_t viewHeight);
void SetMapViewport(int32_t viewWidth, int32_t viewHeight);
void InvalidateMapPasses();
void RenderMapBackdrop();
void RenderMiniMapTexture(int32_t size);
// The parallel projection of the index render: two texels per map unit,
// z = N on the top edge.
void MapIndexProjection(int32_t size, int32_t n, TMatrix4& out);
// The mini-map's top-down projection over the map inside its border.
void MiniMapProjection(float scale, int32_t n, TMatrix4& out);
void RenderMapIndex(bool updateAttachments);
void SetMapPassTarget(const std::string& passName, int32_t texture);
void SetMapPassBackdropTarget(const std::string& passName, int32_t texture);
