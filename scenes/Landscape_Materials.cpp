#include "scenes/Landscape_Materials.h"

#include "model/Support.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shadows.h"
#include "render/QX9_Render_StateKey.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_Pipeline.h"

namespace {

constexpr int32_t BridgeBuildingModel = static_cast<int32_t>(TBuildingModel::Bridge);
constexpr int32_t MapJointRegister = 32;

void Shader(T3D_SceneMesh& instance, const char* file, const std::string& pass, uint8_t kind)
{
    instance.SetShader(LandscapeShadersFolder + file, pass, kind);
}

void SetPick(T3D_SceneMesh& instance, int32_t id)
{
    T3D_Color colour{};
    ColorFromRGB565(static_cast<uint32_t>(id) & 0xFFFFu, colour);
    instance.Constants.SetVec4(CONSTANT_PIXEL, 1, "_CpIndex", colour.r, colour.g, colour.b, 0, MAP_SHADER_GROUPS);
}

// The shaders and bone constants of a skinned instance.
void SetSkinned(T3D_SceneMesh& instance, const std::string& mainPass)
{
    Shader(instance, "Army_VS.bin", mainPass, 1);
    Shader(instance, "Army_PS.bin", mainPass, 0);
    Shader(instance, "Shadow_Army_VS.bin", "1DEPTH", 1);
    Shader(instance, "Picking_Army_VS.bin", "CP_INDEX", 1);
    for (size_t i = 0; i < instance.SkinMatrices.size(); i++)
        instance.Constants.Add(CONSTANT_VERTEX, MapJointRegister + 3 * static_cast<int32_t>(i),
                               "Joint" + std::to_string(i), instance.SkinMatrices[i].e, MAP_SHADER_GROUPS);
}

} // namespace

void SetupMapMeshMaterial(const std::string& sceneName, int32_t instanceSlot, int32_t kind, const std::string& mainPass,
                          int32_t pickId)
{
    if (MainRender == nullptr)
        return;
    T3D_Scene* scene = MainRender->Scene_Find(sceneName);
    T3D_SceneMesh* found = scene != nullptr && instanceSlot >= 0 ? scene->GetMesh(instanceSlot) : nullptr;
    if (found == nullptr)
        return;
    T3D_SceneMesh& instance = *found;
    const std::string pass = mainPass.empty() ? "MAIN" : mainPass;
    const T3D_Mesh* mesh = MainRender->Mesh_Get(instance.MeshIndex);
    const bool skinned = mesh != nullptr && !mesh->Skin.Bones.empty();

    T3D_ShaderConstant& constants = instance.Constants;
    constants.AddMatrixProduct(CONSTANT_VERTEX, 4, "WORLD", MAP_SHADER_GROUPS);
    constants.AddMatrixProduct(CONSTANT_VERTEX, 0, "Proj", MAP_SHADER_GROUPS);
    constants.AddFactorName("Proj", "WORLD");
    if (scene->WorldMatrix != nullptr)
        constants.AddFactorPtr("Proj", *scene->WorldMatrix);
    if (scene->ProjMatrix != nullptr)
        constants.AddFactorPtr("Proj", *scene->ProjMatrix);
    constants.AddMatrixProduct(CONSTANT_PIXEL, 15, "Proj_pixel", MAP_SHADER_GROUPS);
    constants.AddFactorName("Proj_pixel", "Proj");
    constants.AddFactorPtr("Proj_pixel", MapCamera.PixelMatrix);

    switch (kind) {
    case MAP_MATERIAL_BUILDING: {
        const bool bridge =
            pickId >= 1 && pickId <= MapBuildings.Count && MapBuildings[pickId].Model == BridgeBuildingModel;
        const std::string name = mesh != nullptr ? mesh->Name : std::string();
        instance.SetRenderState(RSK_CULL, 0x4);
        if (NameContains("Collision", name)) {
            instance.GroupBits = 0x2000;
            instance.SortPriority = bridge ? 1 : 2;
            instance.SetRenderState(RSK_ALPHAMODE, RSK_ALPHA_OPAQUE);
            SetPick(instance, pickId);
        } else if (NameContains("Enter", name)) {
            instance.GroupBits = 0x1000;
            instance.SortPriority = bridge ? 3 : 4;
            instance.SetRenderState(RSK_ALPHAMODE, RSK_ALPHA_OPAQUE);
            SetPick(instance, pickId + PICK_ENTER_OFFSET);
        } else {
            instance.GroupBits = 1;
            instance.SetRenderState(RSK_ALPHAMODE, RSK_ALPHA_TEST128);
            SetPick(instance, pickId);
        }
        if (skinned)
            SetSkinned(instance, pass);
        break;
    }
    case MAP_MATERIAL_OBJECT:
        instance.GroupBits = 0x20;
        instance.SetRenderState(RSK_CULL, 0x4);
        instance.SetRenderState(RSK_ALPHAMODE, RSK_ALPHA_TEST128);
        SetPick(instance, pickId + PICK_OBJECT_OFFSET);
        if (skinned)
            SetSkinned(instance, pass);
        break;
    case MAP_MATERIAL_FOLIAGE:
    case MAP_MATERIAL_TRUNK:
        instance.GroupBits = 2;
        instance.SetRenderState(RSK_CULL, 0);
        instance.SetRenderState(RSK_ALPHAMODE, RenderSettings.ATOC != 0 ? RSK_ALPHA_COVERAGE : RSK_ALPHA_TEST128);
        if (kind == MAP_MATERIAL_FOLIAGE) {
            Shader(instance, "Tree_VS.bin", pass, 1);
            Shader(instance, "Tree_PS.bin", pass, 0);
            Shader(instance, "Shadow_Tree_VS.bin", "1DEPTH", 1);
        }
        break;
    case MAP_MATERIAL_GRASS:
        instance.GroupBits = 4;
        instance.SortPriority = 5;
        instance.SetRenderState(RSK_CULL, 0);
        instance.SetRenderState(RSK_DEPTHWRITE, 0);
        instance.SetRenderState(RSK_ALPHAMODE, RSK_ALPHA_BLEND);
        instance.SetRenderState(RSK_SRCBLEND, 2);
        instance.SetRenderState(RSK_DESTBLEND, 2);
        Shader(instance, "Grass_VS.bin", pass, 1);
        Shader(instance, "Grass_PS.bin", pass, 0);
        Shader(instance, "Shadow_Grass_VS.bin", "1DEPTH", 1);
        break;
    case MAP_MATERIAL_LAND:
    case MAP_MATERIAL_HILL:
    case MAP_MATERIAL_WATER:
        instance.GroupBits = 8;
        instance.SetRenderState(RSK_CULL, 0x4);
        instance.SetRenderState(RSK_ALPHAMODE, RSK_ALPHA_OPAQUE);
        Shader(instance, kind == MAP_MATERIAL_WATER ? "Water_VS.bin" : "Land_VS.bin", pass, 1);
        Shader(instance, kind == MAP_MATERIAL_WATER ? "Water_PS.bin" : "Land_PS.bin", pass, 0);
        Shader(instance, "Shadow_Land_PS.bin", "1DEPTH", 0);
        break;
    case MAP_MATERIAL_ARMY:
        instance.GroupBits = 0x10;
        instance.SetRenderState(RSK_CULL, 0x4);
        instance.SetRenderState(RSK_ALPHAMODE, RSK_ALPHA_TEST128);
        SetPick(instance, pickId + PICK_ARMY_OFFSET);
        SetSkinned(instance, pass);
        break;
    case MAP_MATERIAL_ROUTE:
        instance.GroupBits = 0x4000;
        instance.SortPriority = 6;
        instance.SetRenderState(RSK_CULL, 0x4);
        instance.SetRenderState(RSK_DEPTHWRITE, 0);
        instance.SetRenderState(RSK_ALPHAMODE, RSK_ALPHA_BLEND);
        instance.SetRenderState(RSK_SRCBLEND, 2);
        instance.SetRenderState(RSK_DESTBLEND, 0);
        Shader(instance, "PathArrow_VS.bin", pass, 1);
        Shader(instance, "PathArrow_PS.bin", pass, 0);
        break;
    default:
        break;
    }
}
