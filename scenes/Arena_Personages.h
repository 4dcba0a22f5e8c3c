// Arena personages: the instances the battle, story event and camp screens
// put into the "ARENA" scene (personage bodies with their equipment, battle
// effect meshes and the pickable marks of the battle field), their shaders,
// render states, textures and material constants; the body meshes shared
// per unit type; freeing models, and clearing the arena before another
// scene file is loaded. Picking works by colour: every pickable instance
// writes its 16-bit pick number, as an R5G6B5 colour, into "CP_INDEX".
//
// Threads: the battle arena loader builds models on its own thread while
// the renderer defers uploads; every other call runs on the main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_Math.h"
#include "scenes/PersonageRender.h"

// One mesh of a battle effect: its render mesh and the values its arena
// instance is set up from. The effect descriptions fill the rest.
struct TBattleEffectPart {
    int32_t Mesh = -1;                      // render mesh
    int32_t Ambient = 100;                  // percent
    int32_t Occlusion = 100;                // percent
    int32_t Gamma = 100;                    // percent
    int32_t Specular = 0;                   // percent
    int32_t Normal = 0;                     // percent
    int32_t Alpha = 0;                      // "none" 0, "alpha-test" 1, "alpha-blend" 2, "linear-add" 3
    int32_t Sides = 0;                      // "convex" 0, "two sided" 1, "concave" 2
    uint8_t Shadow = 0;                     // casts a shadow
    uint32_t Colorization_Color = 0xFFFFFF; // 0xRRGGBB
    int32_t Colorization_Strength = 0;      // percent
    TVec4 ColorizationValue{1, 1, 1, 1};    // the colour normalised (blue, green, red, 1), kept by the arena
};

struct TBattleEffect {
    std::string Name;
    int32_t Sound = -1;
    std::vector<TBattleEffectPart> Parts;
};

// The battle effects, one per effect description (filled by their loader).
extern std::vector<TBattleEffect> BattleEffectTable;

// The battle's view of one personage or hex cell: its marker, border and
// shadow instances, the 18 sub-hexes around it with their pick numbers and,
// for personages, the five bar sprites over its head. The battle screen
// fills it; the arena frees the sprites.
struct TPersFieldView {
    uint8_t MarkerKind = 0; // 0 none, 1 enemy target, 2 active personage, 3 friendly target
    uint8_t MarkerShown = 0;
    uint8_t MarkerSet = 0;
    uint8_t Aimed = 0;
    int32_t MarkerUntil = 0; // engine ms, 0x7FFFFFFF for no end
    TVec3 MarkerPosition;
    int32_t BorderInstance = -1;
    int32_t ShadowInstance = -1;
    int32_t SubHexInstance[18] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    int32_t SubHexPick[18] = {};
    int32_t BarSprites[5] = {-1, -1, -1, -1, -1}; // health, red, grey, mana, grey
};

// The arena's personage models: the camp and the story events use the
// first list, the battle one per side.
extern std::vector<TPersRenderAnimationData> ArenaPersonageModels;
extern std::vector<TPersRenderAnimationData> ArenaPersonageModels2;
// The battle's per-personage marks, one list per side.
extern std::vector<TPersFieldView> ArenaPersonageMarks1;
extern std::vector<TPersFieldView> ArenaPersonageMarks2;

// The texture group of everything a screen loads with an arena: freed when
// the arena is cleared.
inline constexpr int32_t ARENA_TEXTURE_GROUP = 64;
// Group bit of personage bodies.
inline constexpr uint32_t ARENA_GROUP_PERSONAGE = 0x200;

// A plain pickable instance (marks, cells, the arrow); returns its index.
int32_t AddArenaPickMesh(int32_t mesh, const std::string& name, int32_t pick);
// Mesh n of effect e of BattleEffectTable, created hidden; -1 when the
// table has no such mesh.
int32_t AddArenaEffectMesh(int32_t effect, int32_t n, const std::string& name);
// The equipment callback of the arena screens: a piece of equipment with the
// item's material and its large textures.
int32_t AddArenaEquipmentMesh(int32_t item, int32_t mesh, int32_t pick, const std::string& name);
// Fills the render data with a new body instance of the unit type (the
// body's mesh shared by every model of that type).
void LoadPersonageModel(const std::string& name, int32_t unitType, TPersRenderAnimationData& data, int32_t pick);
// Removes the body and its equipment; frees the body's mesh when no other
// arena model and not the map holds it.
void FreePersonageModel(TPersRenderAnimationData& data);
// Empties the arena before another scene file is loaded.
void ClearArenaScene();
