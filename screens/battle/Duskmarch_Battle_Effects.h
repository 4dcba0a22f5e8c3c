// The battle effects manager: the playback turns every action into small
// timed tasks (play an animation at t, attach a mesh, move a text sprite,
// play a sound) and the manager carries them out frame by frame on the
// actors it owns: effect meshes, personage models and sprites.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TEffectActor {
    uint8_t Kind = 0; // 1 effect mesh, 2 personage, 3 sprite
    std::string Name;
    uint8_t Used = 1;
    uint8_t Visible = 1;
    int32_t Parent = -1;
    float Scale = 1.0f;
    float Position[3] = {0, 0, 0};
    float Offset[3] = {0, 0, 0};
    uint8_t Animating = 0;
    std::string AnimationName;
    int32_t AnimationStart = 0;
    uint8_t AnimationFlag = 0;
    int32_t Instance = 0; // mesh: ARENA instance; sprite: sprite; personage: side
    int32_t Slot = 0;     // personage: slot 1..15
    void* Model = nullptr;
    int32_t MeshSlot = -1; // the mesh an effect-mesh actor shows
};

struct TEffectTask {
    uint8_t Kind = 0;
    int32_t Start = 0;
    int32_t Duration = 0;
    int32_t Last = 0;
    uint8_t Begun = 0; // the move task has had its first frame
    std::string Prefix, HardPoint, Animation;
    int32_t Actor = 0;
    int32_t Value = 0;
    float Vector[3] = {0, 0, 0};
    uint8_t Loop = 0, Flag2 = 0, VisibleFlag = 0;
};

// What the tasks do to the scene and the sound; the battle window installs
// them, tests may record them. Every member may stay empty.
struct TEffectsScene {
    void (*PlayAnimation)(const TEffectActor& actor, const std::string& name, int32_t start, bool loop) = nullptr;
    void (*Attach)(const TEffectActor& parent, const TEffectActor& child, const std::string& hardPoint) = nullptr;
    void (*Detach)(const TEffectActor& actor) = nullptr;
    void (*DetachHardPoint)(const TEffectActor& actor, const std::string& hardPoint) = nullptr;
    void (*AttachEquipment)(const TEffectActor& actor) = nullptr;
    void (*SetWeaponPrefix)(const TEffectActor& actor, const std::string& prefix) = nullptr;
    void (*SetVisible)(const TEffectActor& actor, bool visible) = nullptr;
    void (*PlaySound)(int32_t sfx, int32_t variant) = nullptr;
    void (*PlacePersonage)(const TEffectActor& actor, const float position[3]) = nullptr;
    // The battle position of a personage actor (x, y, z).
    bool (*PersonagePosition)(const TEffectActor& actor, float position[3]) = nullptr;
    void (*DrawSprite)(const TEffectActor& actor, int32_t x, int32_t y) = nullptr;
};

class TEffectsManager {
public:
    std::vector<TEffectActor> Actors;
    std::vector<TEffectTask> Tasks;
    TEffectsScene Scene;
    // The ARENA camera's view x projection (row vectors), and the GUI size.
    float ViewProjection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    int32_t GuiWidth = 1024, GuiHeight = 768;
    // Set when a task changed the arena's meshes (re-render the passes).
    uint8_t PassesDirty = 0;

    void Create() { Clear(); }
    int32_t AddActor(uint8_t kind, const std::string& name, int32_t index);
    int32_t FindFreeSpriteActor();
    int32_t FindFreeMeshActor(int32_t mesh);
    int32_t FindPersonageActor(int32_t side, int32_t slot, void* model);
    void AddAnimTask(uint8_t kind, int32_t start, uint8_t flag2, uint8_t flag, const std::string& name, int32_t value,
                     int32_t actor);
    void AddValueTask(uint8_t kind, int32_t start, uint8_t flag, int32_t actor);
    void AddNamedTask(uint8_t kind, int32_t start, const std::string& name, int32_t actor);
    void AddMoveTask(uint8_t kind, int32_t start, int32_t duration, const float vector[3], int32_t actor);
    // One frame at engine time now.
    void Update(int32_t now);
    void Clear();

private:
    bool ValidActor(int32_t index) const { return index >= 0 && index < static_cast<int32_t>(Actors.size()); }
    void Run(TEffectTask& task, int32_t now);
};

extern TEffectsManager EffectsManager;

// The sound copy to play of a set: the smallest time stamp, the first on
// ties; it is stamped with now so that overlapping sounds rotate.
int32_t ChooseSoundCopy(int32_t sfx, int32_t now);
