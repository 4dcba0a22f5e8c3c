// Arena objects: the instances of an arena scene file's objects get their
// place, their material (culling, blending, sort priority, groups, shaders
// and constants), their animation and the objects attached to their bones;
// the tags show or hide objects, so that one scene file serves several
// variants of an arena. The material pieces every arena instance shares
// (the constants of a material, the depth shaders of an alpha mode, the
// skinned shader set) live here too.
//
// Threads: the battle arena loader runs the material, placement and tag
// steps on its own thread while the renderer defers uploads; otherwise the
// main thread.
#pragma once

#include <cstdint>
#include <string>

#include "engine/QX9_Math.h"
#include "scenes/Arena_SceneFile.h"

class T3D_SceneMesh;

// Shows or hides objects by their tags: "winter -snow" shows the objects
// tagged with a word containing "winter" unless their tags contain "snow";
// an empty text shows every object. Objects without tags keep their state.
void SetArenaObjectTags(const std::string& tags);

// The main pixel program of an object (mode 4), without folder and "_PS.bin":
// "Normaled_DS_Cook", "Flat_Test" ...
std::string ArenaObjectMainShader(const TObjectInfo& object);

// The material constants of an arena instance, percentages as the files
// give them: "k_AGSO" (ambient, gamma, 1, occlusion), "k_NormalGloss",
// "k_SREnergy", "clr_str" (the colour as blue, green, red and the strength)
// and "k_Alpha", "k_TexAnimation", "k_TextureFX" at their rest values.
struct TArenaMaterial {
    int32_t Ambient = 100;
    int32_t Gamma = 100;
    int32_t Occlusion = 100;
    int32_t Normal = 0;
    int32_t Specular = 0;
    int32_t SpecularSRE = 100;
    TVec4 Colorization{1, 1, 1, 1}; // blue, green, red; normalised
    int32_t ColorizationStrength = 0;
};
void SetArenaMaterialConstants(T3D_SceneMesh& instance, const TArenaMaterial& material);
// (blue, green, red, 1) of a 0xRRGGBB colour scaled by its largest channel.
TVec4 ArenaNormalisedColor(uint32_t rgb);

// Sort priority, groups, blending and depth shaders of an alpha mode
// ("Alpha" 0..3) on an instance whose group already says whether it casts a
// shadow; returns true for the blended modes that ask for a redraw.
bool SetArenaAlphaMode(T3D_SceneMesh& instance, int32_t alpha, bool alphaToCoverage);
// The vertex programs of a skinned arena instance for the index, depth and
// main passes.
void SetArenaSkinnedShaders(T3D_SceneMesh& instance);
// The pixel program of the three depth passes.
void SetArenaDepthPixelShader(T3D_SceneMesh& instance, const std::string& file);
// "_CpIndex": the pick number as the R5G6B5 colour the index pass writes.
void SetArenaPickIndex(T3D_SceneMesh& instance, uint32_t pick);

// Culling values of the render-state key for "Sides" 0, 1, 2.
inline constexpr int32_t ARENA_CULL_CLOCKWISE = 0x4;
inline constexpr int32_t ARENA_CULL_NONE = 0x0;
inline constexpr int32_t ARENA_CULL_COUNTER = 0x8;
int32_t ArenaCullOfSides(int32_t sides);

// Blend factors of the render-state key.
inline constexpr int32_t ARENA_BLEND_SOURCE_ALPHA = 2;
inline constexpr int32_t ARENA_BLEND_ONE = 0;
inline constexpr int32_t ARENA_BLEND_INVERSE_SOURCE_ALPHA = 2;
// Blending on: source alpha with the destination factor given.
void SetArenaBlending(T3D_SceneMesh& instance, int32_t destination);
