#include "scenes/Arena_SceneFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/QX9_System.h"
#include "engine/QX9_System_Script.h"
#include "model/Support.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Arena_Scene.h"
#include "scenes/Duskmarch_RenderSetup.h"

TSceneInfo SceneInfo;

namespace {

constexpr uint32_t ArenaWhite = 0xFFFFFF;

int32_t ArenaReadInt(const TScript& script, const char* key)
{
    return script.ReadInteger(key, 1, 0);
}

float ArenaReadFloat(const TScript& script, const char* key)
{
    return script.ReadFloat(key, 1, 0);
}

uint8_t ArenaReadFlag(const TScript& script, const char* key)
{
    return script.ReadBool(key, 1) ? 1 : 0;
}

std::string ArenaReadText(const TScript& script, const char* key)
{
    return script.ReadString(key, 0);
}

// The index of a word in a list, or -1.
int32_t ArenaWordIndex(const std::string& word, std::initializer_list<const char*> words)
{
    int32_t i = 0;
    for (const char* w : words) {
        if (word == w)
            return i;
        i++;
    }
    return -1;
}

// The look of the arena: the "Scene" keys from "UseShadow" to
// "ColorizeFog_Strength" (the current section must be "Scene").
void ArenaReadSceneLook(const TScript& script)
{
    TSceneInfo& s = SceneInfo;
    s.UseShadow = ArenaReadFlag(script, "UseShadow");
    s.UseTestMode = ArenaReadFlag(script, "UseTestMode");
    s.UseAlfaTestATOC = ArenaReadFlag(script, "UseAlfaTestATOC");
    s.FixCamera = ArenaReadFlag(script, "FixCamera");
    s.SunPower = ArenaReadInt(script, "SunPower");
    s.Gamma = ArenaReadInt(script, "Gamma");
    s.Ambient = ArenaReadInt(script, "Ambient");
    s.LightRotate = ArenaReadInt(script, "LightRotate");
    s.LightHeight = ArenaReadInt(script, "LightHeight");
    s.ShadowBlur = ArenaReadInt(script, "ShadowBlur");
    s.SkyLight = ArenaReadInt(script, "SkyLight");
    s.Occlusion = ArenaReadInt(script, "Occlusion");
    s.Fog = ArenaReadFlag(script, "Fog");
    s.FogDistance = static_cast<float>(ArenaReadInt(script, "FogDistance"));
    s.FogStrength = ArenaReadFloat(script, "FogStrength");
    s.DepthField = ArenaReadFlag(script, "DepthField");
    s.DOFDistance = ArenaReadInt(script, "DOFDistance");
    s.DOFWidth = ArenaReadInt(script, "DOFWidth");
    s.LightColor = static_cast<uint32_t>(ArenaReadInt(script, "LightColor"));
    s.ShadowColor = static_cast<uint32_t>(ArenaReadInt(script, "ShadowColor"));
    s.FogColor = static_cast<uint32_t>(ArenaReadInt(script, "FogColor"));
    s.BkgColor = static_cast<uint32_t>(ArenaReadInt(script, "BkgColor"));
    s.Colorize_Color = static_cast<uint32_t>(ArenaReadInt(script, "Colorize_Color"));
    s.ColorizeFog_Color = static_cast<uint32_t>(ArenaReadInt(script, "ColorizeFog_Color"));
    s.Colorize_Strength = ArenaReadInt(script, "Colorize_Strength");
    s.ColorizeFog_Strength = ArenaReadInt(script, "ColorizeFog_Strength");
    s.UseSSAO = 0;
    if (RenderSettings.ATOC != 0)
        s.UseAlfaTestATOC = 1;
    if (s.Colorize_Color == 0)
        s.Colorize_Color = ArenaWhite;
    if (s.ColorizeFog_Color == 0)
        s.ColorizeFog_Color = ArenaWhite;
}

void ArenaReadSceneCamera(const TScript& script)
{
    TSceneInfo& s = SceneInfo;
    s.Angle_X = ArenaReadFloat(script, "Angle_X");
    s.Angle_Y = ArenaReadFloat(script, "Angle_Y");
    s.Distance = ArenaReadFloat(script, "Distance");
    s.Target_pos = TVec3{script.ReadFloat("Target_pos", 1, 0), script.ReadFloat("Target_pos", 2, 0),
                         script.ReadFloat("Target_pos", 3, 0)};
}

void ArenaReadEmitter(const TScript& script, TObjectInfo& o)
{
    o.MeshType = ARENA_MESH_EMITTER;
    o.MeshName = ArenaReadText(script, "MeshName");
    for (int32_t i = 0; i < ArenaEmitterValueCount; i++)
        o.EmitterValues[i] = ArenaReadFloat(script, ArenaEmitterValueKeys[static_cast<size_t>(i)]);
    for (int32_t i = 0; i < ArenaEmitterWaveCount; i++)
        o.EmitterWaves[i] = ArenaReadFlag(script, ArenaEmitterWaveKeys[static_cast<size_t>(i)]);
    for (int32_t i = 0; i < ArenaEmitterForceCount; i++)
        o.EmitterForces[i] = ArenaReadFloat(script, ArenaEmitterForceKeys[static_cast<size_t>(i)]);
}

void ArenaReadMeshObject(const TScript& script, TObjectInfo& o)
{
    const std::string& folder = SceneInfo.Folder;
    o.MeshName = ArenaReadText(script, "MeshName");
    o.Visible = ArenaReadFlag(script, "Visible");
    o.Ambient = ArenaReadInt(script, "Ambient");
    o.Occlusion = ArenaReadInt(script, "Occlusion");
    o.Gamma = ArenaReadInt(script, "Gamma");
    o.Colorization_Color = static_cast<uint32_t>(ArenaReadInt(script, "Colorization_Color"));
    if (o.Colorization_Color == 0)
        o.Colorization_Color = ArenaWhite;
    o.Colorization_Strength = ArenaReadInt(script, "Colorization_Strength");
    o.Specular_SRE = ArenaReadInt(script, "Specular_SRE");
    if (o.Specular_SRE == 0)
        o.Specular_SRE = 100;
    o.Scale = ArenaReadInt(script, "Scale");
    if (o.Scale == 0)
        o.Scale = 100;
    o.OffsetIgnoration = ArenaReadFlag(script, "OffsetIgnoration");
    o.Shadow = ArenaReadFlag(script, "Shadow");
    o.WaterMirrored = ArenaReadFlag(script, "WaterMirrored");
    o.Tags = ArenaReadText(script, "Tags");
    o.UseSpecular = ArenaReadFlag(script, "UseSpecular");
    o.Specular = ArenaReadInt(script, "Specular");
    const std::string specularType = ArenaReadText(script, "SpecularType");
    o.SpecularType = specularType == "Phong"           ? ARENA_SPECULAR_PHONG
                     : specularType == "Kook-Torrance" ? ARENA_SPECULAR_COOK
                                                       : ARENA_SPECULAR_NONE;
    o.UseNormal = ArenaReadFlag(script, "UseNormal");
    o.Normal = ArenaReadInt(script, "Normal");
    // Words the reader does not know leave the field as it was.
    const int32_t sides = ArenaWordIndex(ArenaReadText(script, "Sides"), {"convex", "two sided", "concave"});
    if (sides >= 0)
        o.Sides = sides;
    const int32_t alpha =
        ArenaWordIndex(ArenaReadText(script, "Alpha"), {"none", "alpha-test", "alpha-blend", "linear-add"});
    if (alpha >= 0)
        o.Alpha = alpha;
    o.Animation = ArenaReadText(script, "Animation");
    if (!o.Animation.empty() && !FileExistsMask(o.Animation))
        o.Animation = folder + ExtractNameStr(o.Animation);
    o.TransparencyShowFrom = ArenaReadInt(script, "TransparencyShowFrom");
    o.TransparencyShowTo = ArenaReadInt(script, "TransparencyShowTo");
    o.TransparencyHideFrom = ArenaReadInt(script, "TransparencyHideFrom");
    o.TransparencyHideTo = ArenaReadInt(script, "TransparencyHideTo");
    o.TextureModification = ArenaReadText(script, "TextureModification");
    o.TextureShowFrom = ArenaReadInt(script, "TextureShowFrom");
    o.TextureHideFrom = ArenaReadInt(script, "TextureHideFrom");
    o.TextureShowTo = ArenaReadInt(script, "TextureShowTo");
    o.TextureHideTo = ArenaReadInt(script, "TextureHideTo");
    o.BorderHardPercent = ArenaReadInt(script, "BorderHardPercent");
    o.GlowBorder = ArenaReadFlag(script, "GlowBorder");
    o.LightSource = ArenaReadFlag(script, "LightSource");
    o.LightDropShadow = ArenaReadFlag(script, "LightDropShadow");
    o.GlowBorderStrength = ArenaReadInt(script, "GlowBorderStrength");
    o.LightSourcePercent = ArenaReadInt(script, "LightSourcePercent");
    o.LightSourceColor = ArenaReadInt(script, "LightSourceColor");
    o.LightSourceStrength = ArenaReadInt(script, "LightSourceStrength");
    o.TextureAnimationGridCol = ArenaReadInt(script, "TextureAnimationGridCol");
    o.TextureAnimationGridRow = ArenaReadInt(script, "TextureAnimationGridRow");
    o.TextureAnimationFrequency = ArenaReadInt(script, "TextureAnimationFrequency");
    for (int32_t slot = 0; slot < 6; slot++) {
        const std::string key = "AnimationAddObj" + std::to_string(slot);
        o.AddObj[slot].ObjectName = script.ReadString(key, 1);
        o.AddObj[slot].UID = script.ReadInteger(key, 2, 0);
    }
    o.RotateV = ArenaReadInt(script, "RotateV");
    o.RotateG = ArenaReadInt(script, "RotateG");
    o.X = ArenaReadFloat(script, "X");
    o.Y = ArenaReadFloat(script, "Y");
    o.Z = ArenaReadFloat(script, "Z");
    TVec3 up{script.ReadFloat("Orientation", 1, 0), script.ReadFloat("Orientation", 2, 0),
             script.ReadFloat("Orientation", 3, 0)};
    if (std::fabs(up.x) < 0.01f && std::fabs(up.y) < 0.01f && std::fabs(up.z) < 0.01f)
        up.y = 1;
    Vec3Normalize(up, o.Orientation);
}

// Whether two file names name the same file (names are case-insensitive).
bool ArenaSameFileName(const std::string& a, const std::string& b)
{
    return LowerCaseStr(a) == LowerCaseStr(b);
}

struct TArenaMeshLoad {
    int32_t Format;
    uint8_t Option;
};

TArenaMeshLoad ArenaMeshLoadOf(uint8_t type, const std::string& file)
{
    switch (type) {
    case ARENA_MESH_GRASS:
        return {MESH_GRASS, 5};
    case ARENA_MESH_TREECOMA: {
        const std::string lower = LowerCaseStr(file);
        const bool conifer = lower.find("spruce") != std::string::npos || lower.find("elka") != std::string::npos;
        return {MESH_TREECOMA, static_cast<uint8_t>(conifer ? 5 : 4)};
    }
    case ARENA_MESH_WATER:
        return {MESH_WATER, 1};
    case ARENA_MESH_SKINNED:
        return {MESH_SKINNED, 1};
    default: // "BillBoard", "Textured", "NormalMapped" and unknown words
        return {MESH_NORMALMAPPED, 1};
    }
}

// The record whose render mesh object i may share, or -1.
int32_t ArenaSharedMeshOwner(int32_t i, const std::string& file)
{
    const std::vector<TObjectInfo>& objects = SceneInfo.Objects;
    const TObjectInfo& o = objects[static_cast<size_t>(i)];
    const std::string folder = ExtractPathStr(file);
    const std::string base = ExtractBaseName(file);
    for (size_t j = 0; j < objects.size(); j++) {
        const TObjectInfo& other = objects[j];
        if (static_cast<int32_t>(j) == i || other.RenderMesh < 0)
            continue;
        if (other.MeshType == o.MeshType && other.MeshName == o.MeshName && ArenaSameFileName(other.Path, folder) &&
            ArenaSameFileName(ExtractBaseName(other.Name), base))
            return static_cast<int32_t>(j);
    }
    return -1;
}

void ArenaSetVertexShaders(T3D_SceneMesh& instance, uint8_t type)
{
    const std::string& folder = ArenaShadersFolder;
    switch (type) {
    case ARENA_MESH_BILLBOARD:
    case ARENA_MESH_TEXTURED:
    case ARENA_MESH_NORMALMAPPED:
        instance.SetShader(folder + "Normaled_VS.bin", "MAIN", 1);
        break;
    case ARENA_MESH_GRASS:
        instance.SetShader(folder + "Grass_VS.bin", "MAIN", 1);
        break;
    case ARENA_MESH_TREECOMA:
        instance.SetShader(folder + "TreeComa_VS.bin", "MAIN", 1);
        break;
    case ARENA_MESH_WATER:
        instance.SetShader(folder + "Water_VS.bin", "MAIN", 1);
        break;
    case ARENA_MESH_SKINNED:
        // The arena has no position and normal picking passes: only the
        // index pass picks skinned objects.
        instance.SetShader(folder + "Picking_Skinned_VS.bin", "CP_INDEX", 1);
        for (const char* pass : {"1DEPTH", "2DEPTH", "3DEPTH"})
            instance.SetShader(folder + "Depth_Skinned_VS.bin", pass, 1);
        instance.SetShader(folder + "Skinned_VS.bin", "MAIN", 1);
        break;
    default:
        break;
    }
}

void ArenaSetTextures(T3D_SceneMesh& instance, const TObjectInfo& o)
{
    const std::string& extension = ArenaSettings.TextureExtension;
    std::string file;
    if (FindFileVariant(o.Texture, "_d", extension, file))
        instance.SetTexture(file, 0, 0);
    else if (FileExistsMask(o.Texture))
        instance.SetTexture(o.Texture, 0, 0); // the error picture stands in
    if (FindFileVariant(o.Texture, "_s", extension, file))
        instance.SetTexture(file, 1, 0);
    if (o.MeshType >= ARENA_MESH_NORMALMAPPED && o.MeshType <= ARENA_MESH_SKINNED &&
        FindFileVariant(o.Texture, "_n", extension, file))
        instance.SetTexture(file, 2, 0);
}

// Stops the program: the arena a screen needs cannot be shown.
[[noreturn]] void ArenaStopWithoutScene(const char* operation, const std::string& fileName)
{
    FatalError(operation, fileName, "FILE NOT FOUND!");
}

} // namespace

uint8_t ArenaMeshTypeOf(const std::string& word)
{
    if (word == "Emitter")
        return ARENA_MESH_EMITTER;
    const int32_t i =
        ArenaWordIndex(word, {"BillBoard", "Textured", "NormalMapped", "Grass", "TreeComa", "Water", "Skinned"});
    return static_cast<uint8_t>(i + 1);
}

void SetArenaInstanceMatrices(T3D_SceneMesh& instance)
{
    T3D_Scene& scene = *instance.Scene;
    instance.Constants.AddMatrixProduct(CONSTANT_VERTEX, 0, "Proj", ARENA_SHADER_GROUPS);
    instance.Constants.AddFactorName("Proj", "WORLD");
    instance.Constants.AddFactorPtr("Proj", *scene.WorldMatrix);
    instance.Constants.AddFactorPtr("Proj", *scene.ProjMatrix);
    instance.Constants.AddMatrixProduct(CONSTANT_PIXEL, 15, "Proj_pixel", ARENA_SHADER_GROUPS);
    instance.Constants.AddFactorName("Proj_pixel", "Proj");
    instance.Constants.AddFactorPtr("Proj_pixel", SceneInfo.PixelMatrix);
}

void SetArenaJointConstants(T3D_SceneMesh& instance)
{
    // The pose vector is sized once, with the instance: the addresses hold.
    const size_t joints = std::min<size_t>(instance.SkinMatrices.size(), 70);
    for (size_t i = 0; i < joints; i++)
        instance.Constants.Add(CONSTANT_VERTEX, 32 + 3 * static_cast<int32_t>(i), "Joint" + std::to_string(i),
                               instance.SkinMatrices[i].e, ARENA_SHADER_GROUPS);
}

void AddArenaObjectMesh(int32_t index, const std::string& meshFile, const std::string& meshName)
{
    if (index < 0 || index >= static_cast<int32_t>(SceneInfo.Objects.size()) || MainRender == nullptr)
        return;
    T3D_Scene* scene = ArenaScene();
    TObjectInfo& o = SceneInfo.Objects[static_cast<size_t>(index)];
    o.MeshName = meshName;
    o.AttachName = meshName;
    for (TArenaAddObj& slot : o.AddObj)
        slot.AttachedName.clear();

    const int32_t owner = ArenaSharedMeshOwner(index, meshFile);
    if (owner >= 0) {
        const TObjectInfo& other = SceneInfo.Objects[static_cast<size_t>(owner)];
        o.RenderMesh = other.RenderMesh;
        o.Animations = other.Animations;
    } else {
        o.Animations.clear();
        o.AnimationClip.clear();
        const TArenaMeshLoad load = ArenaMeshLoadOf(o.MeshType, meshFile);
        o.RenderMesh = MainRender->Mesh_Add(load.Format, meshName, 0);
        TStringArray names;
        MainRender->Mesh_FindNames(meshFile, names);
        auto record = std::find(names.begin(), names.end(), meshName);
        // The battlefield is named in any case; its file names it in one.
        if (record == names.end() && index == SceneInfo.BattlefieldObject)
            record = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
                return LowerCaseStr(name) == LowerCaseStr(meshName);
            });
        if (record != names.end()) {
            MainRender->Mesh_Load(o.RenderMesh, meshFile, *record, load.Option);
        } else {
            // The object stays an empty mesh that draws nothing.
            std::fprintf(stderr, "LoadArenaScene: %s holds no mesh \"%s\"\n", meshFile.c_str(), meshName.c_str());
        }
    }
    if (const T3D_Mesh* mesh = MainRender->Mesh_Get(o.RenderMesh)) {
        o.PrimitiveCount = mesh->PrimitiveCount;
        o.VertexCount = mesh->VertexCount;
    }
    if (scene == nullptr)
        return;
    o.Instance = scene->AddMesh(o.RenderMesh, o.MeshName);
    T3D_SceneMesh& instance = *scene->GetMesh(o.Instance);
    SetArenaInstanceMatrices(instance);
    if (o.MeshType == ARENA_MESH_SKINNED)
        SetArenaJointConstants(instance);
    ArenaSetVertexShaders(instance, o.MeshType);
    ArenaSetTextures(instance, o);
}

void RemoveArenaObject(int32_t index)
{
    if (index < 0 || index >= static_cast<int32_t>(SceneInfo.Objects.size()))
        return;
    TObjectInfo& o = SceneInfo.Objects[static_cast<size_t>(index)];
    if (o.Instance >= 0)
        if (T3D_Scene* scene = ArenaScene())
            scene->RemoveMesh(o.Instance);
    o.Instance = -1;
    if (o.RenderMesh >= 0) {
        const bool shared =
            std::any_of(SceneInfo.Objects.begin(), SceneInfo.Objects.end(),
                        [&](const TObjectInfo& other) { return &other != &o && other.RenderMesh == o.RenderMesh; });
        if (!shared && MainRender != nullptr)
            MainRender->Mesh_Free(o.RenderMesh);
    }
    o.RenderMesh = -1;
    ArenaModelsChanged = 1;
}

void LoadArenaScene(const std::string& fileName)
{
    ArenaObjectCount = 0;
    TScript script(fileName, true);
    // The battle's field comes from this file: without it there is nothing
    // to fight on.
    if (script.SectionCount < 1)
        ArenaStopWithoutScene("LoadArenaScene", fileName);
    TSceneInfo& s = SceneInfo;
    s.Folder = script.FolderName;
    script.SelectSectionIndex(0);
    ArenaReadSceneLook(script);
    ArenaReadSceneCamera(script);
    s.BattlefieldObject = -1;
    UpdateArenaCamera(true, true);

    s.Objects.assign(static_cast<size_t>(script.SectionCount - 1), TObjectInfo{});
    int32_t count = 0;
    for (int32_t section = 1; section < script.SectionCount; section++) {
        script.SelectSectionIndex(section);
        TObjectInfo& o = s.Objects[static_cast<size_t>(count)];
        // A record a skipped section left behind starts afresh.
        o = TObjectInfo{};
        o.UID = ArenaReadInt(script, "UID");
        o.Name = ArenaReadText(script, "Name");
        o.Path = ArenaReadText(script, "Path");
        if (o.Path.empty())
            o.Path = s.Folder;
        const std::string type = ArenaReadText(script, "Mesh_Type");
        if (ArenaMeshTypeOf(type) == ARENA_MESH_EMITTER) {
            ArenaReadEmitter(script, o);
            count++;
            continue;
        }
        o.MeshType = ArenaMeshTypeOf(type);
        o.Texture = s.Folder + ExtractBaseName(ArenaReadText(script, "Texture")) + ".DDS";
        if (!FileExistsMask(o.Texture))
            o.Texture = GameFolder + "Error.tga";
        o.Path = s.Folder;
        std::string meshFile = s.Folder + ExtractBaseName(o.Name) + ".D3D";
        const bool battlefield = LowerCaseStr(ArenaReadText(script, "MeshName")) == "hexbattlefield";
        if (battlefield) {
            o.Texture = InterfaceFolder + "Common\\HEX_grid.DDS";
            meshFile = InterfaceFolder + "Common\\HexBattlefield6x7.d3d";
        } else if (!FileExistsMask(meshFile)) {
            continue;
        }
        ArenaReadMeshObject(script, o);
        if (battlefield)
            s.BattlefieldObject = count;
        AddArenaObjectMesh(count, meshFile, o.MeshName);
        count++;
    }
    s.Objects.resize(static_cast<size_t>(count));
    ArenaObjectCount = count;

    for (int32_t i = 0; i < count; i++) {
        if (s.Objects[static_cast<size_t>(i)].MeshType == ARENA_MESH_EMITTER)
            continue;
        for (int32_t mode : {0, 1, 2})
            SetupArenaObjectMaterial(i, mode);
    }
    ApplyArenaObjectShaders();
    SetArenaColors();
    SetArenaSunPower();
    UpdateArenaCamera(true, true);
    ArenaLoaded = 1;
}

void LoadArenaSceneParams(const std::string& fileName)
{
    TScript script(fileName, true);
    if (script.SectionCount < 1)
        ArenaStopWithoutScene("LoadArenaSceneParams", fileName);
    script.SelectSectionIndex(0);
    ArenaReadSceneLook(script);
    UpdateArenaCamera(true, true);
    SetArenaColors();
    SetArenaSunPower();
}
