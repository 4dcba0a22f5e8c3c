// Arena scene: the one "ARENA" scene that every screen showing 3D models in
// front of a backdrop (the battle, the story events, the camp) draws through,
// built once at start-up: three cascaded shadow maps of the sun, two picking
// passes, the main pass and the pipe pass. It owns the arena camera (an orbit
// or fixed camera driven by pan and zoom inputs), the sun, the fitting of the
// shadow cascades and the scene-wide light and colour constants.
//
// Threads: building, camera, light and colour updates run on the main thread.
#pragma once

#include <cstdint>
#include <string>

#include "engine/QX9_Math.h"
#include "scenes/Arena_SceneFile.h"

class T3D_Scene;
class T3D_RenderPass;

struct TArenaSettings {
    int32_t TextureFilter = 2;    // samplers 0, 1, 2 and 7 of "MAIN": anisotropic
    int32_t PickingFormat = 23;   // R5G6B5
    int32_t ShadowMapSize = 2048; // side of each cascade's map
    int32_t PixelMatrixSize = 1024;
    int32_t PickingSize = 1024; // side of the picking targets
    std::string TextureExtension = ".DDS";
};
extern TArenaSettings ArenaSettings;

// Group bits of "ARENA" instances.
inline constexpr uint32_t ARENA_GROUP_NO_SHADOW = 0x1; // also the default of new instances
inline constexpr uint32_t ARENA_GROUP_SHADOW = 0x2;
inline constexpr uint32_t ARENA_GROUP_SCENE_OBJECT = 0x8;
inline constexpr uint32_t ARENA_GROUP_PICK_ONLY = 0x10;
inline constexpr uint32_t ARENA_GROUP_BLENDED = 0x20;
inline constexpr uint32_t ARENA_GROUP_BATTLEFIELD = 0x40;
inline constexpr uint32_t ARENA_GROUP_BILLBOARD = 0x80;
// The groups every pass shader and scene constant applies to.
inline constexpr uint32_t ARENA_SHADER_GROUPS = 0xEFFFFFFF;

// Exclude masks of the depth passes with and without shadow-casting objects.
inline constexpr uint32_t ARENA_DEPTH_MASK_SHADOWS = 0x51;
inline constexpr uint32_t ARENA_DEPTH_MASK_NO_SHADOWS = 0x53;

// The index of the "ARENA" scene and of its "MAIN" pass (-1 before the scene
// exists).
extern int32_t ArenaSceneIndex;
extern int32_t ArenaMainPass;
// The number of objects of the loaded scene file.
extern int32_t ArenaObjectCount;
// Read by the screens: objects or models were removed or re-tagged.
extern uint8_t ArenaModelsChanged;
// Set when the camera or the light changed, a blended object was set up or
// the tags changed; the screens clear them after drawing.
extern uint8_t ArenaRedrawMain;
extern uint8_t ArenaRedrawShadows;
// Set at the end of a scene file load and by a tag change.
extern uint8_t ArenaLoaded;
// The camp's "tent loaded" flag: the camp sets it, clearing the arena clears it.
extern uint8_t TentSceneLoaded;

// The picking targets and the four off-screen textures of the arena.
struct TArenaTargets {
    int32_t PickIndex = -1;  // "CP_INDEX" target
    int32_t PickDirect = -1; // "CP_DIRECT" target
    int32_t PickXYZReadBack = -1;
    int32_t PickNormalReadBack = -1;
    int32_t PickIndexReadBack = -1;  // read by the battle screen
    int32_t PickDirectReadBack = -1; // read by the battle screen
};
extern TArenaTargets ArenaTargets;

// The "ARENA" scene of MainRender (nullptr before it exists) and one of its
// passes by name.
T3D_Scene* ArenaScene();
T3D_RenderPass* ArenaPass(const std::string& name);

// Resets the scene record and the settings to their defaults and computes
// the scene's world and projection matrices.
void InitArenaDefaults();
void CreateArenaScene();
// The view rectangle of that size centred on the screen for "MAIN" and
// "PIPE", scaled to the picking targets for "CP_INDEX" and "CP_DIRECT".
void SetArenaViewport(int32_t width, int32_t height);
// The perspective of the camera passes, shifted by (dx, dy) pixels.
void SetArenaProjection(int32_t dx, int32_t dy);
// The camera from its inputs and the sun from its angles, then the cascades.
void UpdateArenaCamera(bool cameraChanged, bool lightChanged);
// The step (panX, panY, zoomStep) turned from the view into the scene by the
// camera's angles.
void ArenaPanVector(float panX, float panY, float zoomStep, TVec3& out);
void SetArenaSunPower();
void SetArenaColors();
void SetArenaExposure(float value);
