#include "scenes/PersonageRender.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>

#include "model/personage/Personage.h"
#include "model/tables/BonusType.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"

std::vector<TMapArmyGameRender> ArmyRenders;

namespace {

// Equipment slots of the personage record.
constexpr int EQUIP_RIGHT_HAND = 1;
constexpr int EQUIP_LEFT_HAND = 2;
constexpr int EQUIP_HORSE = 13;

// A shield of this sub-type is carried on the back and gives no shield grip.
constexpr int32_t BACK_SHIELD_SUBTYPE = 3;

bool IsItemNumber(int32_t item)
{
    return item >= 1 && item <= ItemMax;
}

// The item's kind; only asked of valid items.
TItemType ItemKindOf(int32_t item)
{
    return static_cast<TItemType>(ItemTable[item].MainType);
}

bool ItemHasModel(int32_t item)
{
    return IsItemNumber(item) && ItemTable[item].Mesh >= 0;
}

bool IsItemKindOf(TItemType type, std::initializer_list<TItemType> types)
{
    return std::find(types.begin(), types.end(), type) != types.end();
}

// The one-handed blades and blunt weapons that pair in two hands.
bool IsPairable(TItemType type)
{
    return IsItemKindOf(type, {TItemType::Sword, TItemType::Axe, TItemType::Crowbill, TItemType::Mace,
                               TItemType::Dagger, TItemType::LongSword, TItemType::Hammer});
}

// Held in the left hand although carried as the right-hand item.
bool IsLeftHanded(TItemType type)
{
    return IsItemKindOf(type, {TItemType::Bow, TItemType::Staff, TItemType::Book});
}

// Weapons that take both hands: the left hand then holds no shield or blade.
bool TakesBothHands(TItemType type)
{
    return IsItemKindOf(type, {TItemType::Pitchfork, TItemType::Spear, TItemType::LongSword, TItemType::Halberd,
                               TItemType::Hammer, TItemType::Pike, TItemType::Spectral});
}

T3D_Scene* PersonageScene(const std::string& scene)
{
    if (scene.empty() || MainRender == nullptr)
        return nullptr;
    return MainRender->Scene_Find(scene);
}

T3D_SceneMesh* PersonageInstance(T3D_Scene* scene, int32_t instance)
{
    return scene == nullptr ? nullptr : scene->GetMesh(instance);
}

enum TWeaponSlotIndex : int32_t { wsRight, wsLeft, wsBack, wsShield, wsHorse, wsHead, WeaponSlotCount };

const std::array<const char*, WeaponSlotCount> HardPointBones = {HP_RIGHT,  HP_LEFT,  HP_BACK,
                                                                 HP_SHIELD, HP_HORSE, HP_HEAD};

TWeaponData& WeaponSlot(TPersRenderAnimationData& data, int32_t slot)
{
    switch (slot) {
    case wsRight:
        return data.Right;
    case wsLeft:
        return data.Left;
    case wsBack:
        return data.Back;
    case wsShield:
        return data.Shield;
    case wsHorse:
        return data.Horse;
    default:
        return data.Head;
    }
}

const TWeaponData& WeaponSlot(const TPersRenderAnimationData& data, int32_t slot)
{
    return WeaponSlot(const_cast<TPersRenderAnimationData&>(data), slot);
}

// One piece of equipment as the personage would wear it on an empty model:
// the slot, the bone it follows ("" none) and the instance name's stem.
struct TWornPiece {
    int32_t Slot = 0;
    int32_t Item = 0;
    const char* Bone = "";
    const char* Name = "";
};

// What the personage wears, in the order the pieces are attached. The
// equipment check compares against the same list, so a piece that is never
// attached (a shield beside a spear) is never expected either.
std::vector<TWornPiece> WornPieces(const TPersonage& personage)
{
    std::vector<TWornPiece> pieces;
    std::array<bool, WeaponSlotCount> taken{};
    auto add = [&](int32_t slot, int32_t item, const char* bone, const char* name) {
        if (taken[static_cast<size_t>(slot)])
            return;
        taken[static_cast<size_t>(slot)] = true;
        pieces.push_back({slot, item, bone, name});
    };
    const int32_t right = personage.Equipment[EQUIP_RIGHT_HAND];
    const int32_t left = personage.Equipment[EQUIP_LEFT_HAND];
    if (ItemHasModel(right)) {
        if (IsLeftHanded(ItemKindOf(right)))
            add(wsLeft, right, HP_LEFT, "Weapon1_of_");
        else
            add(wsRight, right, HP_RIGHT, "Weapon1_of_");
    }
    if (personage.ReplaceHead != 0 && ItemHasModel(personage.ReplaceHead))
        add(wsHead, personage.ReplaceHead, "", "Head_of_");
    const int32_t horse = personage.Equipment[EQUIP_HORSE];
    if (horse != 0 && personage.Mounted != 0 && ItemHasModel(horse))
        add(wsHorse, horse, "", "Horse_of_");
    if (ItemHasModel(left)) {
        const TItemType leftType = ItemKindOf(left);
        if (!IsItemNumber(right) || !TakesBothHands(ItemKindOf(right))) {
            if (leftType == TItemType::Shield)
                add(wsShield, left, ItemTable[left].SubType == BACK_SHIELD_SUBTYPE ? HP_BACK : HP_SHIELD,
                    "Weapon2_of_");
            else if (IsPairable(leftType))
                add(wsLeft, left, HP_LEFT, "Weapon2_of_");
        }
        if (IsItemNumber(right) && ItemKindOf(right) == TItemType::Bow && leftType == TItemType::Arrow &&
            personage.UseQuiver != 0)
            add(wsBack, left, HP_BACK, "Weapon2_of_");
    }
    return pieces;
}

int32_t ClipTime(int64_t time)
{
    return static_cast<int32_t>(std::clamp<int64_t>(time, INT32_MIN, INT32_MAX));
}

bool HasAnimIndex(const TAllAnimData& anims, int32_t index)
{
    return index >= 0 && static_cast<size_t>(index) < anims.Anims.size();
}

// Calc_Animation stops the program on a mesh that is not skinned: such a
// piece of equipment simply keeps its shape.
bool IsPoseable(const T3D_SceneMesh* instance)
{
    const T3D_Mesh* mesh = instance == nullptr ? nullptr : instance->Mesh();
    return mesh != nullptr && mesh->VertexFormat == MESH_SKINNED;
}

void PoseInstance(T3D_SceneMesh& instance, const TPosePlan& plan)
{
    if (plan.Blend)
        instance.Calc_BlendedAnimation(plan.Previous, plan.Current, plan.PreviousTime, plan.CurrentTime,
                                       plan.PreviousMode, plan.CurrentMode, plan.Weight);
    else
        instance.Calc_Animation(plan.Current, plan.CurrentTime, plan.CurrentMode);
}

void EmptyAnimList(TAllAnimData& anims)
{
    anims.Anims.clear();
    anims.Current = -1;
    anims.Previous = -1;
}

} // namespace

std::string GetWeaponAnimationPrefix(int32_t right, int32_t left)
{
    if (!IsItemNumber(right))
        return "na_";
    const TItemType r = ItemKindOf(right);
    const bool hasLeft = IsItemNumber(left);
    std::string prefix = "na_";
    switch (r) {
    case TItemType::Lance:
        prefix = "horse_";
        break;
    case TItemType::Pitchfork:
    case TItemType::Spear:
        prefix = "spear_";
        break;
    case TItemType::Halberd:
        prefix = "halberd_";
        break;
    case TItemType::Pike:
        prefix = "pike_";
        break;
    case TItemType::LongSword:
    case TItemType::Hammer:
    case TItemType::Spectral:
        prefix = "2hsword_";
        break;
    default:
        break;
    }
    if (prefix == "na_") {
        if (hasLeft && ItemKindOf(left) == TItemType::Shield && ItemTable[left].SubType != BACK_SHIELD_SUBTYPE) {
            prefix = "shield_";
        } else {
            switch (r) {
            case TItemType::Sword:
                prefix = "sword_";
                break;
            case TItemType::Axe:
            case TItemType::Crowbill:
            case TItemType::Mace:
                prefix = "blunt_";
                break;
            case TItemType::Bow:
                prefix = "bow_";
                break;
            case TItemType::Arbalet:
                prefix = "crossbow_";
                break;
            case TItemType::Staff:
                prefix = "staff_";
                break;
            case TItemType::Wand:
                prefix = "rod_";
                break;
            case TItemType::Book:
                prefix = "book_";
                break;
            default:
                break;
            }
        }
    }
    if (hasLeft && IsPairable(r) && IsPairable(ItemKindOf(left)))
        prefix = "double_";
    return prefix;
}

void InitPersonageAnimations(const std::string& scene, const TPersonage& personage, TPersRenderAnimationData& data)
{
    data.Prefix = GetWeaponAnimationPrefix(personage.Equipment[EQUIP_RIGHT_HAND], personage.Equipment[EQUIP_LEFT_HAND]);
    if (data.Anims.Anims.empty())
        LoadAnimationList(scene, data.Instance, data.Anims);
    data.Mode = 0;
    if (personage.PersBonus[3] == bPike) {
        // The pike is held braced in the front row and shouldered behind it.
        if (personage.PikeBraced != 0)
            SetBaseAnimations("stand", "idle01", "death", 2, data);
        else
            SetBaseAnimations("stand_far", "idle01_far", "death_far", 1, data);
    }
    if (data.Mode == 0)
        SetBaseAnimations("stand", "idle01", "death", 1, data);
    for (int32_t s = 0; s < WeaponSlotCount; s++) {
        WeaponSlot(data, s).Instance = -1;
        WeaponSlot(data, s).Animated = 0;
    }
}

void SetBaseAnimations(const std::string& standName, const std::string& idleName, const std::string& deathName,
                       int32_t mode, TPersRenderAnimationData& data)
{
    data.StandClip = FindAnimationIndex(data.Anims, data.Prefix + standName);
    data.StandName = standName;
    data.IdleClip = FindAnimationIndex(data.Anims, data.Prefix + idleName);
    data.IdleName = idleName;
    data.DeathClip = FindAnimationIndex(data.Anims, data.Prefix + deathName);
    data.DeathName = deathName;
    data.Mode = mode;
}

bool LoadAnimationList(const std::string& scene, int32_t instance, TAllAnimData& anims)
{
    if (instance < 0)
        return false;
    EmptyAnimList(anims);
    const T3D_SceneMesh* found = PersonageInstance(PersonageScene(scene), instance);
    const T3D_Mesh* mesh = found == nullptr ? nullptr : found->Mesh();
    if (mesh == nullptr || mesh->Skin.Clips.empty())
        return false;
    for (size_t c = 0; c < mesh->Skin.Clips.size(); c++) {
        TAnimData anim;
        anim.Name = mesh->Skin.Clips[c].Name;
        anim.Clip = static_cast<int32_t>(c);
        anim.Length = mesh->Skin.Clips[c].FrameCount;
        anims.Anims.push_back(anim);
    }
    return true;
}

int32_t FindAnimationIndex(const TAllAnimData& anims, const std::string& name)
{
    for (size_t i = anims.Anims.size(); i-- > 0;)
        if (anims.Anims[i].Name == name)
            return static_cast<int32_t>(i);
    return -1;
}

int32_t FindPersonageAnimation(const TPersRenderAnimationData& data, const std::string& name)
{
    const std::string full = data.Prefix + name;
    for (const TAnimData& anim : data.Anims.Anims)
        if (anim.Name == full)
            return anim.Length;
    return 0;
}

void AttachPersonageEquipment(const std::string& scene, const TPersonage& personage, TPersRenderAnimationData& data,
                              int32_t owner, const TEquipmentInstanceCallback& callback)
{
    T3D_Scene* found = PersonageScene(scene);
    // Nothing to wear without a body in the scene.
    if (PersonageInstance(found, data.Instance) == nullptr || !callback)
        return;
    const std::string bodyName = found->GetMesh(data.Instance)->Name;
    for (const TWornPiece& piece : WornPieces(personage)) {
        TWeaponData& slot = WeaponSlot(data, piece.Slot);
        if (slot.Instance >= 0)
            continue;
        const int32_t instance = callback(piece.Item, ItemTable[piece.Item].Mesh, owner, piece.Name + bodyName);
        slot.Item = piece.Item;
        slot.Instance = instance;
        // The callback may have grown the scene's list: look the body up again.
        T3D_SceneMesh* body = found->GetMesh(data.Instance);
        if (*piece.Bone != '\0' && instance >= 0 && body != nullptr)
            body->AttachChild(instance, piece.Bone);
    }
    for (int32_t s = 0; s < WeaponSlotCount; s++) {
        TWeaponData& slot = WeaponSlot(data, s);
        if ((s != wsHorse && s != wsHead) || slot.Anims.Anims.empty())
            slot.Animated = LoadAnimationList(scene, slot.Instance, slot.Anims) ? 1 : 0;
        if (slot.Animated == 0)
            slot.StandClip = -1;
        else
            slot.StandClip = FindAnimationIndex(slot.Anims, s == wsHead ? data.Prefix + "stand" : "stand");
    }
}

bool PersonageEquipmentMatches(const TPersonage& personage, const TPersRenderAnimationData& data)
{
    std::array<int32_t, WeaponSlotCount> expected{};
    for (const TWornPiece& piece : WornPieces(personage))
        expected[static_cast<size_t>(piece.Slot)] = piece.Item;
    for (int32_t s = 0; s < WeaponSlotCount; s++) {
        // Without a quiver the back is not the personage's concern.
        if (s == wsBack && personage.UseQuiver == 0)
            continue;
        if (WeaponSlot(data, s).Item != expected[static_cast<size_t>(s)])
            return false;
    }
    return true;
}

void DetachHardPoint(const std::string& scene, TPersRenderAnimationData& data, const std::string& hardPoint,
                     bool remove)
{
    for (int32_t s = 0; s < WeaponSlotCount; s++) {
        if (hardPoint != HardPointBones[static_cast<size_t>(s)])
            continue;
        TWeaponData& slot = WeaponSlot(data, s);
        T3D_Scene* found = PersonageScene(scene);
        if (slot.Instance >= 0 && remove) {
            if (found != nullptr)
                found->RemoveMesh(slot.Instance);
        } else if (slot.Instance >= 0) {
            if (T3D_SceneMesh* body = PersonageInstance(found, data.Instance))
                body->Detach(slot.Instance);
        }
        slot.Item = 0;
        slot.Instance = -1;
        slot.Animated = 0;
        slot.StandClip = -1;
        EmptyAnimList(slot.Anims);
        return;
    }
}

void DetachAllHardPoints(const std::string& scene, TPersRenderAnimationData& data, bool remove)
{
    for (const char* bone : HardPointBones)
        DetachHardPoint(scene, data, bone, remove);
}

void ResetPersonageRender(TPersRenderAnimationData& data)
{
    DetachAllHardPoints("", data, false);
    data.UnitType = 0;
    data.RenderMesh = -1;
    data.Instance = -1;
    data.StandClip = -1;
    data.IdleClip = -1;
    data.DeathClip = -1;
    data.Mode = -1;
    data.Prefix.clear();
    data.StandName.clear();
    data.IdleName.clear();
    data.DeathName.clear();
    EmptyAnimList(data.Anims);
}

// A list may move its current clip into Previous unless a switch already
// happened in this very millisecond: the clip faded out then is kept.
bool SelectAnimation(TAllAnimData& anims, const std::string& name, int32_t now, bool restart, int32_t fallback)
{
    const bool mayPush = anims.Previous == -1 || !HasAnimIndex(anims, anims.Current) ||
                         anims.Anims[static_cast<size_t>(anims.Current)].Start != now;
    const int32_t index = FindAnimationIndex(anims, name);
    if (index >= 0) {
        TAnimData& anim = anims.Anims[static_cast<size_t>(index)];
        if (index != anims.Current) {
            if (mayPush)
                anims.Previous = anims.Current;
            anims.Current = index;
            anim.Start = now;
        } else if (restart) {
            anim.Start = now;
            if (mayPush)
                anims.Previous = -1;
        }
        anim.End = ClipTime(static_cast<int64_t>(anim.Length) + now);
        return true;
    }
    if (HasAnimIndex(anims, fallback)) {
        if (mayPush)
            anims.Previous = anims.Current;
        anims.Current = fallback;
        anims.Anims[static_cast<size_t>(fallback)].Start = now;
    }
    return false;
}

int32_t PlayPersonageAnimation(TPersRenderAnimationData& data, const std::string& name, int32_t now, bool restart)
{
    if (!SelectAnimation(data.Anims, data.Prefix + name, now, restart, -1))
        return 0;
    for (int32_t s = 0; s < WeaponSlotCount; s++) {
        TWeaponData& slot = WeaponSlot(data, s);
        if (slot.Animated == 0)
            continue;
        SelectAnimation(slot.Anims, s == wsHead ? data.Prefix + name : name, now, restart, slot.StandClip);
    }
    return data.Anims.Anims[static_cast<size_t>(data.Anims.Current)].Length;
}

TPosePlan PlanBodyPose(const TPersRenderAnimationData& data, int32_t now, int32_t playMode)
{
    TPosePlan plan;
    const TAllAnimData& anims = data.Anims;
    if (!HasAnimIndex(anims, anims.Current))
        return plan;
    const TAnimData& current = anims.Anims[static_cast<size_t>(anims.Current)];
    const int64_t elapsed = static_cast<int64_t>(now) - current.Start;
    plan.Current = current.Clip;
    plan.CurrentTime = ClipTime(elapsed);
    plan.CurrentMode = playMode;
    // The stand clip loops on while it fades out; any other clip holds its
    // last key.
    plan.PreviousMode = anims.Previous == data.StandClip ? 0 : 2;
    if (elapsed < ANIMATION_BLEND_TIME && HasAnimIndex(anims, anims.Previous) && anims.Previous != anims.Current &&
        anims.Previous != data.DeathClip) {
        const TAnimData& previous = anims.Anims[static_cast<size_t>(anims.Previous)];
        plan.Blend = true;
        plan.Previous = previous.Clip;
        plan.PreviousTime = ClipTime(static_cast<int64_t>(now) - previous.Start);
        // A clip set to start later than now shows the clip before it.
        plan.Weight = std::clamp(static_cast<float>(elapsed) / ANIMATION_BLEND_TIME, 0.0f, 1.0f);
    }
    return plan;
}

TPosePlan PlanSlotPose(const TWeaponData& slot, const TPosePlan& body, int32_t now, int32_t playMode, bool mayBlend)
{
    TPosePlan plan;
    const TAllAnimData& anims = slot.Anims;
    if (slot.Animated == 0 || !HasAnimIndex(anims, anims.Current))
        return plan; // the rest pose
    const TAnimData& current = anims.Anims[static_cast<size_t>(anims.Current)];
    const int64_t elapsed = static_cast<int64_t>(now) - current.Start;
    plan.Current = current.Clip;
    plan.CurrentTime = ClipTime(elapsed);
    plan.CurrentMode = playMode;
    plan.PreviousMode = body.PreviousMode;
    if (mayBlend && body.Blend && elapsed < ANIMATION_BLEND_TIME && HasAnimIndex(anims, anims.Previous) &&
        anims.Previous != anims.Current) {
        const TAnimData& previous = anims.Anims[static_cast<size_t>(anims.Previous)];
        plan.Blend = true;
        plan.Previous = previous.Clip;
        plan.PreviousTime = ClipTime(static_cast<int64_t>(now) - previous.Start);
        plan.Weight = std::clamp(static_cast<float>(elapsed) / ANIMATION_BLEND_TIME, 0.0f, 1.0f);
    }
    return plan;
}

void UpdatePersonageAnimation(const std::string& scene, TPersRenderAnimationData& data, int32_t now, int32_t playMode)
{
    // Instance 0 is a body like any other.
    if (data.Instance < 0)
        return;
    T3D_Scene* found = PersonageScene(scene);
    T3D_SceneMesh* body = PersonageInstance(found, data.Instance);
    if (body == nullptr)
        return;
    const TPosePlan bodyPlan = PlanBodyPose(data, now, playMode);
    if (HasAnimIndex(data.Anims, data.Anims.Current) && IsPoseable(body))
        PoseInstance(*body, bodyPlan);
    for (int32_t s = 0; s < WeaponSlotCount; s++) {
        const TWeaponData& slot = WeaponSlot(data, s);
        T3D_SceneMesh* instance = slot.Instance >= 0 ? PersonageInstance(found, slot.Instance) : nullptr;
        if (!IsPoseable(instance))
            continue;
        // The quiver and the shield stay still while the body fades.
        const bool mayBlend = s != wsBack && s != wsShield;
        PoseInstance(*instance, PlanSlotPose(slot, bodyPlan, now, playMode, mayBlend));
    }
}

float ModelScaleFactor(int32_t scale)
{
    return scale < 1 || scale == 100 ? 1.0f : static_cast<float>(scale) / 100.0f;
}

void PlacePersonage(const std::string& scene, TPersRenderAnimationData& data, float x, float y, float z, float angle,
                    float scale)
{
    if (data.Instance < 0)
        return;
    T3D_Scene* found = PersonageScene(scene);
    auto place = [&](int32_t instance, float factor) {
        T3D_SceneMesh* mesh = PersonageInstance(found, instance);
        if (mesh == nullptr)
            return;
        mesh->ResetMatrix();
        mesh->Scale(factor * scale);
        mesh->Rotate(1, angle);
        mesh->Translate(x, y, z);
    };
    const int32_t typeScale = UnitTypes.InRange(data.UnitType) ? UnitTypes[data.UnitType].ModelSettings.Scale : 100;
    place(data.Instance, ModelScaleFactor(typeScale));
    for (const TWeaponData* slot : {&data.Head, &data.Horse})
        if (slot->Instance >= 0)
            place(slot->Instance, ModelScaleFactor(IsItemNumber(slot->Item) ? ItemTable[slot->Item].Model.Scale : 100));
}

void ResizeMapArmyRenders(int32_t length)
{
    const size_t n = static_cast<size_t>(std::max(length, 0));
    for (size_t i = n; i < ArmyRenders.size(); i++) {
        TMapArmyGameRender& record = ArmyRenders[i];
        record.AnimationName.clear();
        record.Label.reset();
        ResetPersonageRender(record.Render);
    }
    ArmyRenders.resize(n);
}
