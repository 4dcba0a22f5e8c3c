#include "scenes/Landscape_Armies.h"

#include <cmath>
#include <cstring>

#include "model/Support.h"
#include "model/scenario/ScenarioMap.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_Materials.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_Pipeline.h"
#include "scenes/Landscape_Placement.h"
#include "scenes/PersonageRender.h"

namespace {

const char* const MapSceneName = "MAP";

bool HasRender(int32_t army)
{
    return army >= 0 && static_cast<size_t>(army) < ArmyRenders.size();
}

// The map model's unit type of the army's leader: the template's own type
// (a scenario personage names the type whose model it wears); 0 when the
// leader slot is empty or names no template.
int32_t LeaderModelType(int32_t army)
{
    if (static_cast<size_t>(army) >= ArmyUnits.size())
        return 0;
    const TPersonage& leader = ArmyUnits[static_cast<size_t>(army)][1];
    if (leader.UnitType == 0 || leader.UnitType < -UnitTypeMax || leader.UnitType > UnitTypeMax)
        return 0;
    const int32_t t = UnitTypes[leader.UnitType].UnitType;
    return t > 0 && t <= UnitTypeMax ? t : 0;
}

int32_t MapMeshOf(int32_t t)
{
    if (t <= 0 || static_cast<size_t>(t) >= PersonageMapMeshes.size() ||
        PersonageMapMeshes[static_cast<size_t>(t)].empty())
        return -1;
    return PersonageMapMeshes[static_cast<size_t>(t)][0];
}

void SetSlotVisible(T3D_Scene& scene, const TWeaponData& slot, uint8_t visible)
{
    if (T3D_SceneMesh* instance = scene.GetMesh(slot.Instance))
        instance->Visible = visible;
}

// The last step of every refresh: the visibility and the marks.
void FinishUpdate(int32_t army, T3D_Scene& scene, bool visible, bool resort)
{
    TMapArmyGameRender& record = ArmyRenders[static_cast<size_t>(army)];
    TPersRenderAnimationData& render = record.Render;
    const uint8_t shown = visible ? 1 : 0;
    if (T3D_SceneMesh* root = scene.GetMesh(render.Instance))
        root->Visible = shown;
    for (const TWeaponData* slot :
         {&render.Right, &render.Left, &render.Back, &render.Shield, &render.Horse, &render.Head})
        if (slot->Instance >= 0)
            SetSlotVisible(scene, *slot, shown);
    if (record.Visible != shown)
        MapSceneChanged = 1;
    if (resort)
        MapSceneResort = 1;
    record.Visible = shown;
    record.UpdatePending = 0;
}

} // namespace

float ArmyModelAngle(int64_t heading)
{
    return static_cast<float>(static_cast<double>(heading) / 10000.0 + M_PI);
}

void LoadPersonageMapModel(int32_t unitType)
{
    if (unitType < -UnitTypeMax || unitType > UnitTypeMax)
        return;
    TPersonage& type = UnitTypes[unitType];
    const std::string file = type.FileName.Str();
    if (file.empty())
        return;
    if (!LoadMapModel(PersonagesFolder, ExtractBaseName(file) + ".D3D", 5, type.Name.Str(), MODEL_PERSONAGE) ||
        LastModelMeshes.empty())
        return;
    if (unitType >= 0) {
        if (static_cast<size_t>(unitType) >= PersonageMapMeshes.size())
            PersonageMapMeshes.resize(static_cast<size_t>(unitType) + 1);
        PersonageMapMeshes[static_cast<size_t>(unitType)] = {LastModelMeshes[0]};
    }
    type.MapModelIndex = LastModelMeshes[0];
}

void MarkArmyModelUpdate(int32_t army)
{
    if (HasRender(army))
        ArmyRenders[static_cast<size_t>(army)].UpdatePending = 1;
}

void ClearArmyModel(int32_t army, bool remove)
{
    if (!HasRender(army))
        return;
    TMapArmyGameRender& record = ArmyRenders[static_cast<size_t>(army)];
    DetachAllHardPoints(MapSceneName, record.Render, remove);
    if (remove) {
        if (T3D_Scene* scene = MapScene())
            scene->RemoveMesh(record.Render.Instance);
        if (static_cast<size_t>(army) < ArmyInstances.size())
            ArmyInstances[static_cast<size_t>(army)].clear();
    }
    ResetPersonageRender(record.Render);
    record.AnimationName.clear();
    record.Visible = 0;
}

void ClearArmies(bool remove)
{
    for (size_t a = 0; a < ArmyItems.size(); a++)
        ArmyItems[a].clear();
    for (int32_t a = 0; a <= ArmyCount; a++) {
        ClearArmyModel(a, remove);
        if (static_cast<size_t>(a) < ArmyTrackers.size())
            ArmyTrackers[static_cast<size_t>(a)].Done();
    }
    GameArmies.clear();
    ResizeMapArmyRenders(0);
    ArmyUnits.clear();
    ArmyItems.clear();
    ArmyTrackers.clear();
    for (auto& moves : ArmyMoves)
        moves.clear();
    ArmyMoves.clear();
    for (auto& targets : ArmyTargets)
        targets.clear();
    ArmyTargets.clear();
    ArmyInstances.clear();
}

void PlaceArmies()
{
    if (ArmyCount > 0)
        for (int32_t a = 0; a <= ArmyCount; a++)
            PlaceMapModel(mmkArmy, a);
    if (T3D_Scene* scene = MapScene())
        scene->SortPass("MAIN");
}

void UpdateArmyModel(int32_t army)
{
    if (!HasRender(army))
        return;
    TMapArmyGameRender& record = ArmyRenders[static_cast<size_t>(army)];
    record.UpdatePending = 1;
    T3D_Scene* scene = MapScene();
    if (MapWorkerBusy.load() != 0 || scene == nullptr || MainRender == nullptr)
        return;
    TPersRenderAnimationData& render = record.Render;

    bool changed = false, rebuilt = false;
    const int32_t t = LeaderModelType(army);
    if (t > 0 && UnitTypes[t].MapModelIndex == -1) {
        MainRender->Texture_SetLoadOptions(1, 32);
        LoadPersonageMapModel(t);
        MainRender->Texture_SetLoadOptions(0, 0);
        changed = rebuilt = true;
    }
    if (render.UnitType != t || render.UnitType == 0) {
        scene->RemoveMesh(render.Instance);
        render.Instance = -1;
        render.UnitType = t;
        render.RenderMesh = MapMeshOf(t);
        changed = rebuilt = true;
    } else if (render.RenderMesh < 0) {
        render.RenderMesh = MapMeshOf(t);
    }

    // No leader or no model: nothing of the army is shown.
    if (render.RenderMesh < 0) {
        DetachAllHardPoints(MapSceneName, render, true);
        if (render.Instance >= 0) {
            scene->RemoveMesh(render.Instance);
            render.Instance = -1;
        }
        if (static_cast<size_t>(army) < ArmyInstances.size())
            ArmyInstances[static_cast<size_t>(army)].clear();
        FinishUpdate(army, *scene, false, changed || rebuilt);
        return;
    }

    const TPersonage& leader = ArmyUnits[static_cast<size_t>(army)][1];
    if (!rebuilt)
        changed = !PersonageEquipmentMatches(leader, render);
    if (changed)
        DetachAllHardPoints(MapSceneName, render, true);
    if (render.Instance < 0) {
        render.Instance = scene->AddMesh(render.RenderMesh, MapInstanceName("Army", army, 3));
        if (static_cast<size_t>(army) >= ArmyInstances.size())
            ArmyInstances.resize(static_cast<size_t>(army) + 1);
        ArmyInstances[static_cast<size_t>(army)] = {render.Instance};
        SetupMapMeshMaterial(MapSceneName, render.Instance, MAP_MATERIAL_ARMY, "", army);
        rebuilt = true;
    }
    if (changed) {
        InitPersonageAnimations(MapSceneName, leader, render);
        const TEquipmentInstanceCallback addPiece = [scene](int32_t, int32_t mesh, int32_t owner,
                                                            const std::string& name) {
            const int32_t instance = scene->AddMesh(mesh, name);
            SetupMapMeshMaterial(MapSceneName, instance, MAP_MATERIAL_ARMY, "", owner);
            return instance;
        };
        AttachPersonageEquipment(MapSceneName, leader, render, army, addPiece);
        record.AnimationName = "relax";
        PlayPersonageAnimation(render, "relax", 0, true);
    }

    bool visible = false;
    if (static_cast<size_t>(army) < GameArmies.size()) {
        const TGameArmy& state = GameArmies[static_cast<size_t>(army)];
        visible = state.Active != 0 && state.Building <= 0 && state.Hidden == 0;
        if (visible) {
            float at[3];
            std::memcpy(at, state.Pos, sizeof at);
            PlacePersonage(MapSceneName, render, at[0], at[1], at[2], ArmyModelAngle(state.Heading), DefArmyScale);
        }
    }
    FinishUpdate(army, *scene, visible, changed || rebuilt);
}
