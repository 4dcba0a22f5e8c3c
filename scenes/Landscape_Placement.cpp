#include "scenes/Landscape_Placement.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/scenario/Terrain.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Armies.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Chunks.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_Materials.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_Pipeline.h"
#include "scenes/Landscape_Plants.h"

std::atomic<uint8_t> MapWorkerBusy{0};
uint8_t MapSceneChanged = 0;
uint8_t MapSceneResort = 0;
std::vector<TIntArray> ArmyInstances;
TIntArray AnimatedInstances;

namespace {

// Visibility wishes made while the render worker drew.
std::vector<std::pair<int32_t, bool>> PendingObjectVisibility;

// The tag a copy gives the personage of slot s.
constexpr int32_t UnitTagStep = 8192;

// The meshes of library entry first(kind) + variant; nullptr when the entry
// lies outside the library (a bad kind or variant counts as outside).
const TIntArray* LibraryEntry(const TModelLibrary& library, const std::vector<TIntArray>& meshes, int32_t kind,
                              int32_t variant)
{
    if (kind < 1 || kind >= static_cast<int32_t>(library.Kinds.size()))
        return nullptr;
    const int64_t entry = int64_t{library.Kinds[static_cast<size_t>(kind)].First} + variant;
    if (entry < 1 || entry > library.Total || entry >= static_cast<int64_t>(meshes.size()))
        return nullptr;
    return &meshes[static_cast<size_t>(entry)];
}

// The loading worker must not wait for anyone: the message goes to stderr.
void ReportMissingModel(const char* text)
{
    std::fprintf(stderr, "Game map init: %s\n", text);
}

// Adds every mesh of the entry as one model: the first part named prefix +
// number, the others with "-" + their part index, attached to the first so
// that only the first is moved. Returns the instances in order.
TIntArray AddModelParts(T3D_Scene& scene, const TIntArray& meshes, const char* prefix, int32_t number,
                        int32_t materialKind)
{
    TIntArray parts;
    const std::string name = MapInstanceName(prefix, number, 3);
    for (size_t i = 0; i < meshes.size(); i++) {
        const std::string partName = i == 0 ? name : name + "-" + std::to_string(i);
        const int32_t instance = scene.AddMesh(meshes[i], partName);
        parts.push_back(instance);
        if (i > 0)
            scene.GetMesh(parts[0])->AttachChild(instance, "");
        SetupMapMeshMaterial("MAP", instance, materialKind, "", number);
        const T3D_SceneMesh* part = scene.GetMesh(instance);
        if (part->BoneCount() > 0)
            AnimatedInstances.push_back(instance);
    }
    return parts;
}

// The pack(1) records keep their floats unaligned: read them byte-wise.
TVec3 RecordPosition(const void* pos)
{
    TVec3 at;
    std::memcpy(&at, pos, sizeof at);
    return at;
}

void PlaceBuilding(T3D_Scene& scene, int32_t b)
{
    if (static_cast<size_t>(b) >= BuildingInstances.size())
        BuildingInstances.resize(static_cast<size_t>(b) + 1);
    BuildingInstances[static_cast<size_t>(b)].clear();
    const TMapBuilding& record = MapBuildings[b];
    const TIntArray* meshes = LibraryEntry(BuildingModelLibrary, BuildingModelMeshes, record.Model, record.Variant);
    if (meshes == nullptr) {
        ReportMissingModel("Building in map not found in game resource!");
        return;
    }
    TIntArray parts = AddModelParts(scene, *meshes, "Building", b, MAP_MATERIAL_BUILDING);
    if (!parts.empty()) {
        T3D_SceneMesh& first = *scene.GetMesh(parts[0]);
        first.ResetMatrix();
        first.Rotate(1, record.Angle);
        first.Scale(record.Scale * DefBuildingScale);
        first.TranslateVec(RecordPosition(record.Pos));
    }
    BuildingInstances[static_cast<size_t>(b)] = std::move(parts);
}

void PlaceObject(T3D_Scene& scene, int32_t o)
{
    if (static_cast<size_t>(o) >= ObjectInstances.size())
        ObjectInstances.resize(static_cast<size_t>(o) + 1);
    ObjectInstances[static_cast<size_t>(o)].clear();
    const TMapObject& record = MapObjects[o];
    const TIntArray* meshes = LibraryEntry(ObjectModelLibrary, ObjectModelMeshes, record.ModelGroup, record.Variant);
    if (meshes == nullptr) {
        ReportMissingModel("Object in map not found in game resource!");
        return;
    }
    TIntArray parts = AddModelParts(scene, *meshes, "Object", o, MAP_MATERIAL_OBJECT);
    if (!parts.empty()) {
        T3D_SceneMesh& first = *scene.GetMesh(parts[0]);
        first.ResetMatrix();
        first.Rotate(0, record.AngleX);
        first.Rotate(2, record.AngleZ);
        first.Rotate(1, record.Angle);
        first.Scale(record.Scale * DefObjectScale);
        first.TranslateVec(RecordPosition(record.Pos));
    }
    ObjectInstances[static_cast<size_t>(o)] = std::move(parts);
}

// One instance of each chunk mesh that exists, named prefix + its chunk
// (chunks names the chunk of each entry where meshes may continue past the
// chunk count; nullptr: the entry is the chunk).
void PlaceChunkTable(T3D_Scene& scene, const TIntArray& meshes, const TIntArray* chunks, TIntArray& instances,
                     const char* prefix, int32_t materialKind)
{
    instances.assign(meshes.size(), -1);
    for (size_t k = 1; k < meshes.size(); k++) {
        if (meshes[k] <= 0)
            continue;
        const int32_t chunk = chunks != nullptr && k < chunks->size() ? (*chunks)[k] : static_cast<int32_t>(k);
        instances[k] = scene.AddMesh(meshes[k], MapInstanceName(prefix, chunk, 4));
        SetupMapMeshMaterial("MAP", instances[k], materialKind, "", chunk);
    }
}

void RemoveInstances(T3D_Scene* scene, TIntArray& instances)
{
    for (int32_t& instance : instances) {
        if (instance >= 0 && scene != nullptr)
            scene->RemoveMesh(instance);
        instance = -1;
    }
}

void FreeMeshes(TIntArray& meshes)
{
    for (int32_t& mesh : meshes) {
        if (mesh > 0 && MainRender != nullptr)
            MainRender->Mesh_Free(mesh);
        mesh = -1;
    }
}

bool HoldsPersonage(const TPersonage& p)
{
    return p.UnitType > 0;
}

// The fields a change of which sends the computer armies back to their
// plans; the unit type is compared as well, so that a personage turned
// into another one never pairs with its former self.
bool SamePersonage(const TPersonage& a, const TPersonage& b)
{
    if (a.UnitType != b.UnitType || a.Level != b.Level || a.Wounds != b.Wounds || a.Mounted != b.Mounted ||
        a.PersBonus[3] != b.PersBonus[3] || a.PersBonus[5] != b.PersBonus[5])
        return false;
    if (std::memcmp(&a.BonusSet, &b.BonusSet, sizeof a.BonusSet) != 0)
        return false;
    for (int32_t s = 1; s <= 8; s++)
        if (a.Stats[s] != b.Stats[s])
            return false;
    for (int32_t e = 1; e <= 14; e++)
        if (a.Equipment[e] != b.Equipment[e])
            return false;
    return true;
}

} // namespace

std::string MapInstanceName(const char* prefix, int32_t number, int32_t digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*d", digits, number);
    return std::string(prefix) + text;
}

void ClearMapSceneInstances()
{
    if (T3D_Scene* scene = MapScene())
        scene->ClearMeshes(0);
    PendingObjectVisibility.clear();
    for (std::vector<TIntArray>* lists : {&BuildingInstances, &ObjectInstances, &ArmyInstances})
        for (TIntArray& parts : *lists)
            parts.clear();
    AnimatedInstances.clear();
    for (TIntArray* table : {&FoliageInstances, &TrunkInstances, &GrassInstances, &WaterChunkInstances,
                             &LandChunkInstances, &HillChunkInstances})
        std::fill(table->begin(), table->end(), -1);
}

void ClearMapPlacements()
{
    T3D_Scene* scene = MapScene();
    if (MapBuildings.Count > 0) {
        for (TIntArray& parts : BuildingInstances)
            RemoveInstances(scene, parts);
        for (int32_t b = 0; b <= MapBuildings.Count && b <= MapBuildingMax; b++)
            BuildingTexts[b] = TTextInfo{};
        MapBuildings.Clear();
        BuildingInstances.clear();
        AnimatedInstances.clear();
    }
    if (MapObjects.Count > 0) {
        for (TIntArray& parts : ObjectInstances)
            RemoveInstances(scene, parts);
        MapObjects.Clear();
        ObjectInstances.clear();
        PendingObjectVisibility.clear();
        AnimatedInstances.clear();
    }
    for (TIntArray* table : {&FoliageInstances, &TrunkInstances, &GrassInstances, &WaterChunkInstances,
                             &LandChunkInstances, &HillChunkInstances})
        RemoveInstances(scene, *table);
    for (TIntArray* table :
         {&FoliageMeshes, &TrunkMeshes, &GrassMeshes, &WaterChunkMeshes, &LandChunkMeshes, &HillChunkMeshes})
        FreeMeshes(*table);
}

void PlaceBuildingsAndObjects()
{
    T3D_Scene* scene = MapScene();
    if (scene == nullptr)
        return;
    for (int32_t b = 1; b <= MapBuildings.Count; b++)
        PlaceMapModel(mmkBuilding, b);
    for (int32_t o = 1; o <= MapObjects.Count; o++)
        PlaceMapModel(mmkObject, o);
    PlaceChunkTable(*scene, WaterChunkMeshes, nullptr, WaterChunkInstances, "Water", MAP_MATERIAL_WATER);
    PlaceChunkTable(*scene, LandChunkMeshes, nullptr, LandChunkInstances, "Land", MAP_MATERIAL_LAND);
    PlaceChunkTable(*scene, HillChunkMeshes, nullptr, HillChunkInstances, "Hill", MAP_MATERIAL_HILL);
    PlaceChunkTable(*scene, FoliageMeshes, &FoliageMeshChunks, FoliageInstances, "PlantFoliage", MAP_MATERIAL_FOLIAGE);
    PlaceChunkTable(*scene, TrunkMeshes, &TrunkMeshChunks, TrunkInstances, "PlantTrunk", MAP_MATERIAL_TRUNK);
    PlaceChunkTable(*scene, GrassMeshes, &GrassMeshChunks, GrassInstances, "PlantGrass", MAP_MATERIAL_GRASS);
    scene->SortPass("MAIN");
}

void PlaceMapModel(int32_t kind, int32_t number)
{
    T3D_Scene* scene = MapScene();
    switch (kind) {
    case mmkBuilding:
        if (scene != nullptr && number >= 0 && number <= MapBuildingMax)
            PlaceBuilding(*scene, number);
        break;
    case mmkObject:
        if (scene != nullptr && number >= 0 && number <= MapObjectMax)
            PlaceObject(*scene, number);
        break;
    case mmkArmy:
        ClearArmyModel(number, false);
        LoadingProgress++;
        UpdateArmyModel(number);
        LoadingProgress++;
        break;
    default:
        break;
    }
}

void AnimateMapObjects(int32_t time)
{
    T3D_Scene* scene = MapScene();
    if (scene == nullptr || MapWorkerBusy.load() != 0)
        return;
    for (size_t i = 0; i < AnimatedInstances.size(); i++) {
        T3D_SceneMesh* part = scene->GetMesh(AnimatedInstances[i]);
        const T3D_Mesh* mesh = part != nullptr ? part->Mesh() : nullptr;
        if (mesh == nullptr || part->BoneCount() == 0)
            continue;
        const int32_t clips = static_cast<int32_t>(mesh->Skin.Clips.size());
        if (clips > 0) {
            const int32_t index = static_cast<int32_t>(i);
            part->Calc_Animation(index % clips, time + 3000 * index, 0);
        }
    }
}

void SetMapObjectVisible(int32_t object, bool visible)
{
    T3D_Scene* scene = MapScene();
    if (scene == nullptr || object < 0 || static_cast<size_t>(object) >= ObjectInstances.size())
        return;
    if (MapWorkerBusy.load() != 0) {
        PendingObjectVisibility.emplace_back(object, visible);
        return;
    }
    for (const int32_t instance : ObjectInstances[static_cast<size_t>(object)])
        if (T3D_SceneMesh* part = scene->GetMesh(instance))
            part->Visible = visible ? 1 : 0;
    MapSceneChanged = 1;
    MapSceneResort = 1;
}

void FlushMapObjectVisibility()
{
    if (MapWorkerBusy.load() != 0)
        return;
    // In the order asked: a later wish for the same object wins.
    std::vector<std::pair<int32_t, bool>> pending;
    pending.swap(PendingObjectVisibility);
    for (const auto& [object, visible] : pending)
        SetMapObjectVisible(object, visible);
}

void ResizeMapPlacements(TMapPlacementList list, int32_t count)
{
    const size_t length = static_cast<size_t>(std::max(count, 0));
    switch (list) {
    case TMapPlacementList::Buildings:
        BuildingInstances.resize(length);
        break;
    case TMapPlacementList::Objects:
        ObjectInstances.resize(length);
        break;
    case TMapPlacementList::Armies:
        ArmyInstances.resize(length);
        break;
    case TMapPlacementList::Trees:
    case TMapPlacementList::Points:
        break;
    }
}

void CopyArmyUnits(const TArmyUnits& units, TArmyUnits& copy)
{
    copy = units;
    for (int32_t s = 1; s <= ArmySlotCount; s++)
        if (HoldsPersonage(copy[s]))
            copy[s].Uid = s * UnitTagStep;
}

bool HasArmyUnitsChanged(const TArmyUnits& units, const TArmyUnits& copy)
{
    bool used[ArmySlotCount + 1] = {};
    int32_t live = 0;
    for (int32_t s = 1; s <= ArmySlotCount; s++)
        live += HoldsPersonage(units[s]) ? 1 : 0;
    int32_t paired = 0;
    for (int32_t c = 1; c <= ArmySlotCount; c++) {
        if (!HoldsPersonage(copy[c]))
            continue;
        bool found = false;
        // The personage's own slot first: it is where an untouched one stays.
        for (int32_t step = 0; step < ArmySlotCount && !found; step++) {
            const int32_t s = (c - 1 + step) % ArmySlotCount + 1;
            if (!used[s] && HoldsPersonage(units[s]) && SamePersonage(units[s], copy[c])) {
                used[s] = true;
                found = true;
            }
        }
        if (!found)
            return true;
        paired++;
    }
    return paired != live;
}
