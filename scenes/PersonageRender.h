// Personage models: a skinned body with up to six pieces of equipment on its
// hard points (the weapons in the two hands, a quiver or shield on the back,
// a shield on the arm, a horse and a replacement head), the animation clips
// of the body and of every piece, the choice of clip names from the weapons
// carried, the cross-fade between clips and the placing of the model with
// its size. The same code serves every scene by name: the map's army models
// and the arena's personages. Creating the instances themselves is left to a
// callback of the scene's owner.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "render/QX9_GUI.h"

struct TPersonage;
class T3D_Render;
class T3D_Scene;

// One clip of an instance's mesh and when it last started (engine ms).
struct TAnimData {
    std::string Name;   // the clip name as stored in the mesh
    int32_t Clip = -1;  // clip number in the mesh
    int32_t Length = 0; // ms
    int32_t Start = 0;
    int32_t End = 0; // Start + Length
};

struct TAllAnimData {
    std::vector<TAnimData> Anims; // one per clip of the mesh, in mesh order
    int32_t Current = -1;         // index into Anims, -1 none
    int32_t Previous = -1;        // the clip being faded out, -1 none
};

// One hard point of a personage model.
struct TWeaponData {
    int32_t Item = 0;      // ItemTable number, 0 none
    int32_t Instance = -1; // scene instance, -1 none
    uint8_t Animated = 0;  // the item's mesh has clips
    int32_t StandClip = -1;
    TAllAnimData Anims;
};

struct TPersRenderAnimationData {
    int32_t UnitType = 0;    // index into UnitTypes
    int32_t RenderMesh = -1; // mesh of the body
    int32_t Instance = -1;   // scene instance of the body
    std::string Prefix;      // the weapon animation prefix
    int32_t StandClip = -1;
    std::string StandName;
    int32_t IdleClip = -1;
    std::string IdleName;
    int32_t DeathClip = -1;
    std::string DeathName;
    int32_t Mode = -1; // 1 or 2 once the base clips are chosen
    TWeaponData Right;
    TWeaponData Left;
    TWeaponData Back;
    TWeaponData Shield;
    TWeaponData Horse;
    TWeaponData Head;
    TAllAnimData Anims; // the body's clips
};

// The model state of one army on the strategic map.
struct TMapArmyGameRender {
    uint8_t UpdatePending = 0; // the model is to be refreshed
    uint8_t Visible = 0;       // the model is shown (only those are posed and animated)
    TPersRenderAnimationData Render;
    std::string AnimationName; // the clip the model plays
    std::unique_ptr<TGUI_Object> Label;
};

// One record per army, indexed like GameArmies.
extern std::vector<TMapArmyGameRender> ArmyRenders;

// The hard-point bones, which also name the six slots.
inline const char* const HP_RIGHT = "HP_right";
inline const char* const HP_LEFT = "HP_left";
inline const char* const HP_BACK = "HP_back";
inline const char* const HP_SHIELD = "HP_shield";
inline const char* const HP_HORSE = "HP_horse";
inline const char* const HP_HEAD = "HP_head";

// The cross-fade from one clip into the next lasts this long (ms).
inline constexpr int32_t ANIMATION_BLEND_TIME = 300;

// Creates the scene instance of one piece of equipment: (item, item mesh,
// owner value, instance name) -> instance.
using TEquipmentInstanceCallback =
    std::function<int32_t(int32_t item, int32_t mesh, int32_t owner, const std::string& name)>;

std::string GetWeaponAnimationPrefix(int32_t right, int32_t left);

// Prefix, clip list and base clips of the body; the six slots' instances
// become -1 and their Animated bytes 0 without touching the scene (callers
// detach first).
void InitPersonageAnimations(const std::string& scene, const TPersonage& personage, TPersRenderAnimationData& data);
void SetBaseAnimations(const std::string& standName, const std::string& idleName, const std::string& deathName,
                       int32_t mode, TPersRenderAnimationData& data);
// The clips of the instance's mesh; false for an instance below 0, one
// that is not there or a mesh without clips.
bool LoadAnimationList(const std::string& scene, int32_t instance, TAllAnimData& anims);
// The last entry of exactly that name, -1 when none.
int32_t FindAnimationIndex(const TAllAnimData& anims, const std::string& name);
// The length of the body's clip Prefix + name; 0 when the body lacks it.
int32_t FindPersonageAnimation(const TPersRenderAnimationData& data, const std::string& name);

void AttachPersonageEquipment(const std::string& scene, const TPersonage& personage, TPersRenderAnimationData& data,
                              int32_t owner, const TEquipmentInstanceCallback& callback);
// Whether the slots hold what the personage now carries.
bool PersonageEquipmentMatches(const TPersonage& personage, const TPersRenderAnimationData& data);

// Empties the slot named by its hard point ("HP_right" ...); an unknown name
// does nothing.
void DetachHardPoint(const std::string& scene, TPersRenderAnimationData& data, const std::string& hardPoint,
                     bool remove);
void DetachAllHardPoints(const std::string& scene, TPersRenderAnimationData& data, bool remove);
void ResetPersonageRender(TPersRenderAnimationData& data);

// Makes the named clip the list's current one at the time now (see the
// unit's source for the rules); true when the list has the clip.
bool SelectAnimation(TAllAnimData& anims, const std::string& name, int32_t now, bool restart, int32_t fallback);
// Returns the new current clip's length, or 0 when the body lacks the clip
// Prefix + name (then nothing changes).
int32_t PlayPersonageAnimation(TPersRenderAnimationData& data, const std::string& name, int32_t now, bool restart);

// How one instance is posed at a time: clip Current at CurrentTime in
// CurrentMode alone, or blended from Previous (at PreviousTime in
// PreviousMode) with the weight of Current. Clip numbers are the mesh's,
// -1 the rest pose.
struct TPosePlan {
    bool Blend = false;
    int32_t Previous = -1;
    int32_t PreviousTime = 0;
    int32_t PreviousMode = 0;
    int32_t Current = -1;
    int32_t CurrentTime = 0;
    int32_t CurrentMode = 0;
    float Weight = 1;
};
// The body's plan at now: the cross-fade applies during the first 300 ms of
// a clip after another that is not the death clip.
TPosePlan PlanBodyPose(const TPersRenderAnimationData& data, int32_t now, int32_t playMode);
// A slot's plan: it may fade only while the body fades (bodyBlends) and when
// allowed for its kind of slot.
TPosePlan PlanSlotPose(const TWeaponData& slot, const TPosePlan& body, int32_t now, int32_t playMode, bool mayBlend);

void UpdatePersonageAnimation(const std::string& scene, TPersRenderAnimationData& data, int32_t now, int32_t playMode);
void PlacePersonage(const std::string& scene, TPersRenderAnimationData& data, float x, float y, float z, float angle,
                    float scale);
// The size factor of a model from its settings' Scale (percent).
float ModelScaleFactor(int32_t scale);

void ResizeMapArmyRenders(int32_t length);
