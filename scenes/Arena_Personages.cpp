#include "scenes/Arena_Personages.h"

#include <cstdio>

#include "model/Support.h"
#include "model/personage/Personage.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Arena_Objects.h"
#include "scenes/Arena_Scene.h"
#include "scenes/Duskmarch_RenderSetup.h"

std::vector<TBattleEffect> BattleEffectTable;
std::vector<TPersRenderAnimationData> ArenaPersonageModels;
std::vector<TPersRenderAnimationData> ArenaPersonageModels2;
std::vector<TPersFieldView> ArenaPersonageMarks1;
std::vector<TPersFieldView> ArenaPersonageMarks2;

namespace {

const char* const ArenaModelsScene = "ARENA";

constexpr int32_t ArenaSortPersonage = 2;
constexpr int32_t ArenaSortGhost = 5;

// A new "ARENA" instance of the mesh with the constants every arena
// instance draws with; nullptr without the scene.
T3D_SceneMesh* ArenaNewInstance(int32_t mesh, const std::string& name, bool skinned, int32_t& index)
{
    index = -1;
    T3D_Scene* scene = ArenaScene();
    if (scene == nullptr)
        return nullptr;
    index = scene->AddMesh(mesh, name);
    T3D_SceneMesh* instance = scene->GetMesh(index);
    SetArenaInstanceMatrices(*instance);
    if (skinned)
        SetArenaJointConstants(*instance);
    return instance;
}

// The material of a model's settings (colorization kept as red, green,
// blue, already normalised).
TArenaMaterial ArenaModelMaterial(const TModelSettings& m)
{
    TArenaMaterial material;
    material.Ambient = m.Ambient;
    material.Gamma = m.Gamma;
    material.Occlusion = m.Occlusion;
    material.Normal = m.Normal;
    material.Specular = m.Specular;
    material.SpecularSRE = m.SpecularSRE;
    material.Colorization = TVec4{m.ColorizationColor[2], m.ColorizationColor[1], m.ColorizationColor[0], 1};
    material.ColorizationStrength = m.ColorizationStrength;
    return material;
}

std::string ArenaModelPixelShader(uint8_t specularType)
{
    switch (specularType) {
    case 1:
        return "Normaled_Phong_PS.bin";
    case 2:
        return "Normaled_Cook_PS.bin";
    default:
        return "Normaled_PS.bin";
    }
}

// Material, programs and states shared by bodies and equipment.
void ArenaSetupModel(T3D_SceneMesh& instance, const TModelSettings& m, uint32_t groups)
{
    SetArenaMaterialConstants(instance, ArenaModelMaterial(m));
    instance.GroupBits = (m.Shadow != 0 ? ARENA_GROUP_SHADOW : ARENA_GROUP_NO_SHADOW) | groups;
    instance.SetShader(ArenaShadersFolder + ArenaModelPixelShader(m.SpecularType), "MAIN", 0);
    SetArenaSkinnedShaders(instance);
    SetArenaDepthPixelShader(instance, ArenaShadersFolder + "Depth_Alpha_PS.bin");
    instance.SetRenderState(RSK_CULL, ARENA_CULL_CLOCKWISE);
}

void ArenaSetSolid(T3D_SceneMesh& instance)
{
    instance.SortPriority = ArenaSortPersonage;
    instance.SetRenderState(RSK_ALPHAMODE,
                            static_cast<int32_t>(RenderSettings.ATOC != 0 ? RSK_ALPHA_COVERAGE : RSK_ALPHA_TEST128));
    instance.SetRenderState(RSK_DEPTHTEST, 1);
    instance.SetRenderState(RSK_DEPTHWRITE, 1);
}

// The settings of the unit type whose models this type's models follow.
const TModelSettings& ArenaUnitModelSettings(int32_t unitType)
{
    const int32_t index = UnitTypes[unitType].BaseType;
    if (index != 0 && UnitTypes.InRange(index))
        return UnitTypes[index].ModelSettings;
    return UnitTypes[unitType].ModelSettings;
}

int32_t ArenaLoadBodyMesh(TPersonage& type)
{
    if (type.ArenaModelIndex >= 0)
        return type.ArenaModelIndex;
    if (type.MapModelIndex >= 0)
        return type.MapModelIndex;
    const std::string base = ExtractBaseName(type.FileName.Str());
    const int32_t mesh = MainRender->Mesh_Add(MESH_SKINNED, base, 0);
    type.ArenaModelIndex = mesh;
    const std::string file = PersonagesFolder + base + ".D3D";
    TStringArray names;
    MainRender->Mesh_FindNames(file, names);
    MainRender->Mesh_Load(mesh, file, names.front(), 2);
    return mesh;
}

// Whether a model record other than data uses the mesh.
bool ArenaMeshHeldByOthers(const TPersRenderAnimationData& data)
{
    for (const std::vector<TPersRenderAnimationData>* list : {&ArenaPersonageModels, &ArenaPersonageModels2})
        for (const TPersRenderAnimationData& other : *list)
            if (&other != &data && other.RenderMesh == data.RenderMesh)
                return true;
    return false;
}

void ArenaFreeMarkSprites(std::vector<TPersFieldView>& marks)
{
    for (TPersFieldView& mark : marks)
        for (int32_t& sprite : mark.BarSprites) {
            if (sprite >= 0 && MainRender != nullptr)
                MainRender->Sprite_Free(sprite);
            sprite = -1;
        }
    marks.clear();
}

} // namespace

int32_t AddArenaPickMesh(int32_t mesh, const std::string& name, int32_t pick)
{
    int32_t index = -1;
    T3D_SceneMesh* instance = ArenaNewInstance(mesh, name, false, index);
    if (instance == nullptr)
        return -1;
    SetArenaPickIndex(*instance, static_cast<uint32_t>(pick));
    instance->Constants.SetVec4(CONSTANT_PIXEL, 0, "k_AGSO", 1, 1, 1, 1, ARENA_SHADER_GROUPS);
    const std::string& folder = ArenaShadersFolder;
    instance->SetShader(folder + "Picking_VS.bin", "CP_INDEX", 1);
    instance->SetShader(folder + "Normaled_VS.bin", "MAIN", 1);
    instance->SetShader(folder + "Selection_PS.bin", "MAIN", 0);
    instance->SetRenderState(RSK_CULL, ARENA_CULL_CLOCKWISE);
    instance->SetRenderState(RSK_ALPHAMODE, static_cast<int32_t>(RSK_ALPHA_OPAQUE));
    return index;
}

int32_t AddArenaEffectMesh(int32_t effect, int32_t n, const std::string& name)
{
    if (effect < 0 || effect >= static_cast<int32_t>(BattleEffectTable.size()))
        return -1;
    std::vector<TBattleEffectPart>& parts = BattleEffectTable[static_cast<size_t>(effect)].Parts;
    if (n < 0 || n >= static_cast<int32_t>(parts.size()))
        return -1;
    TBattleEffectPart& part = parts[static_cast<size_t>(n)];
    int32_t index = -1;
    T3D_SceneMesh* instance = ArenaNewInstance(part.Mesh, name, true, index);
    if (instance == nullptr)
        return -1;
    instance->Visible = 0;
    const std::string& folder = ArenaShadersFolder;
    SetArenaSkinnedShaders(*instance);
    SetArenaDepthPixelShader(*instance, folder + "Depth_Alpha_PS.bin");
    instance->SetShader(folder + "Normaled_PS.bin", "MAIN", 0);
    instance->SetRenderState(RSK_CULL, ArenaCullOfSides(part.Sides));
    instance->GroupBits = (part.Shadow != 0 ? ARENA_GROUP_SHADOW : ARENA_GROUP_NO_SHADOW) | ARENA_GROUP_SCENE_OBJECT;
    SetArenaAlphaMode(*instance, part.Alpha, SceneInfo.UseAlfaTestATOC != 0);
    if (part.Alpha == ARENA_ALPHA_ADD)
        instance->SetShader(folder + "Over_PS.bin", "MAIN", 0);
    part.ColorizationValue = ArenaNormalisedColor(part.Colorization_Color);
    TArenaMaterial m;
    m.Ambient = part.Ambient;
    m.Gamma = part.Gamma;
    m.Occlusion = 100;
    m.Normal = part.Normal;
    m.Specular = part.Specular;
    m.SpecularSRE = 100;
    m.Colorization = part.ColorizationValue;
    m.ColorizationStrength = part.Colorization_Strength;
    SetArenaMaterialConstants(*instance, m);
    return index;
}

int32_t AddArenaEquipmentMesh(int32_t item, int32_t mesh, int32_t pick, const std::string& name)
{
    int32_t index = -1;
    T3D_SceneMesh* instance = ArenaNewInstance(mesh, name, true, index);
    if (instance == nullptr)
        return -1;
    SetArenaPickIndex(*instance, static_cast<uint32_t>(pick));
    const bool known = item >= 1 && item <= ItemMax;
    ArenaSetupModel(*instance, known ? ItemTable[item].Model : DefaultModelSettings(), 0);
    ArenaSetSolid(*instance);
    // The item's own mesh carries the map's small textures: the arena takes
    // the large ones of the same names where they exist.
    if (const T3D_Mesh* itemMesh = MainRender->Mesh_Get(mesh))
        for (const T3D_MeshStageTexture& stage : itemMesh->StageTextures) {
            const T3D_Texture* texture = stage.TextureSlot > 0 ? TextureAt(*MainRender, stage.TextureSlot) : nullptr;
            if (texture == nullptr)
                continue;
            const std::string file = WeaponsFolder + "Textures\\" + ExtractBaseName(texture->FileName) + ".DDS";
            if (FileExistsMask(file))
                instance->SetTexture(file, stage.Stage, 0);
        }
    return index;
}

void LoadPersonageModel(const std::string& name, int32_t unitType, TPersRenderAnimationData& data, int32_t pick)
{
    data = TPersRenderAnimationData{};
    data.UnitType = unitType;
    if (MainRender == nullptr || !UnitTypes.InRange(unitType))
        return;
    TPersonage& type = UnitTypes[unitType];
    const std::string base = ExtractBaseName(type.FileName.Str());
    // A unit type without a figure has no body to show.
    if (base.empty())
        return;
    data.RenderMesh = ArenaLoadBodyMesh(type);
    T3D_SceneMesh* instance = ArenaNewInstance(data.RenderMesh, name, true, data.Instance);
    if (instance == nullptr)
        return;
    SetArenaPickIndex(*instance, static_cast<uint32_t>(pick));
    ArenaSetupModel(*instance, ArenaUnitModelSettings(unitType), ARENA_GROUP_PERSONAGE);
    if (type.Nature == static_cast<uint8_t>(TPersNature::Ghost)) {
        instance->SortPriority = ArenaSortGhost;
        SetArenaBlending(*instance, ARENA_BLEND_ONE);
        instance->SetRenderState(RSK_DEPTHTEST, 1);
        instance->SetRenderState(RSK_DEPTHWRITE, 0);
    } else {
        ArenaSetSolid(*instance);
    }
    const std::string textures = PersonagesFolder + "Textures\\" + base;
    const char* const suffixes[3] = {"_d", "_s", "_n"};
    for (int32_t stage = 0; stage < 3; stage++) {
        const std::string file = textures + suffixes[stage] + ".DDS";
        if (FileExistsMask(file))
            instance->SetTexture(file, stage, 0);
    }
}

void FreePersonageModel(TPersRenderAnimationData& data)
{
    DetachAllHardPoints(ArenaModelsScene, data, true);
    if (data.Instance >= 0)
        if (T3D_Scene* scene = ArenaScene())
            scene->RemoveMesh(data.Instance);
    // The last model of a mesh gives it back, unless the map still draws it.
    if (data.RenderMesh >= 0 && !ArenaMeshHeldByOthers(data) && UnitTypes.InRange(data.UnitType)) {
        TPersonage& type = UnitTypes[data.UnitType];
        if (type.ArenaModelIndex == data.RenderMesh)
            type.ArenaModelIndex = -1;
        if (type.MapModelIndex != data.RenderMesh && MainRender != nullptr)
            MainRender->Mesh_Free(data.RenderMesh);
    }
    ResetPersonageRender(data);
}

void ClearArenaScene()
{
    for (int32_t i = 0; i < static_cast<int32_t>(SceneInfo.Objects.size()); i++)
        RemoveArenaObject(i);
    SceneInfo.Objects.clear();
    SceneInfo.BattlefieldObject = -1;
    ArenaObjectCount = 0;
    for (std::vector<TPersRenderAnimationData>* list : {&ArenaPersonageModels, &ArenaPersonageModels2}) {
        for (TPersRenderAnimationData& model : *list)
            FreePersonageModel(model);
        list->clear();
    }
    ArenaFreeMarkSprites(ArenaPersonageMarks1);
    ArenaFreeMarkSprites(ArenaPersonageMarks2);
    if (T3D_Scene* scene = ArenaScene())
        scene->ClearMeshes(0);
    if (MainRender != nullptr)
        MainRender->Texture_FreeGroup(ARENA_TEXTURE_GROUP, 1);
    TentSceneLoaded = 0;
}
