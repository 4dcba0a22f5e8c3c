#include "scenes/Arena_Objects.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "model/Support.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shadows.h"
#include "render/QX9_Render_StateKey.h"
#include "scenes/Arena_Scene.h"
#include "scenes/Duskmarch_RenderSetup.h"

namespace {

constexpr float ArenaDegrees = 3.14159265358979f / 180.0f;

constexpr int32_t ArenaSortOpaque = 2;
constexpr int32_t ArenaSortAlphaTest = 1;
constexpr int32_t ArenaSortBlended = 12;
constexpr int32_t ArenaSortAdded = 13;
constexpr int32_t ArenaSortBattlefield = 5;
constexpr int32_t ArenaSortFollower = 0;

// The battlefield's groups: a scene object that casts no shadow.
constexpr uint32_t ArenaBattlefieldGroups = ARENA_GROUP_BATTLEFIELD | ARENA_GROUP_SCENE_OBJECT | ARENA_GROUP_NO_SHADOW;

// The bones the six "AnimationAddObj" slots attach to.
const char* const ArenaAttachBones[6] = {"HP_right", "HP_left", "HP_back", "HP_shield", "RightHand", "LeftHand"};

T3D_SceneMesh* ArenaObjectInstance(const TObjectInfo& o)
{
    T3D_Scene* scene = ArenaScene();
    return scene == nullptr || o.Instance < 0 ? nullptr : scene->GetMesh(o.Instance);
}

TObjectInfo* ArenaObject(int32_t index)
{
    if (index < 0 || index >= static_cast<int32_t>(SceneInfo.Objects.size()))
        return nullptr;
    return &SceneInfo.Objects[static_cast<size_t>(index)];
}

void ArenaSetDepth(T3D_SceneMesh& instance, int32_t test, int32_t write)
{
    instance.SetRenderState(RSK_DEPTHTEST, test);
    instance.SetRenderState(RSK_DEPTHWRITE, write);
}

void ArenaSetupMaterial(int32_t index, TObjectInfo& o, T3D_SceneMesh& instance)
{
    instance.Visible = o.Visible;
    instance.SetRenderState(RSK_CULL, ArenaCullOfSides(o.Sides));
    PlaceArenaObject(index);

    o.ColorizationValue = ArenaNormalisedColor(o.Colorization_Color);
    TArenaMaterial m;
    m.Ambient = o.Ambient;
    m.Gamma = o.Gamma;
    m.Occlusion = 100; // scene objects take their occlusion from the scene
    m.Normal = o.Normal;
    m.Specular = o.Specular;
    m.SpecularSRE = o.Specular_SRE;
    m.Colorization = o.ColorizationValue;
    m.ColorizationStrength = o.Colorization_Strength;
    SetArenaMaterialConstants(instance, m);

    const bool shadow = o.Shadow != 0 && o.MeshType != ARENA_MESH_BILLBOARD && o.MeshType != ARENA_MESH_WATER;
    instance.GroupBits = (shadow ? ARENA_GROUP_SHADOW : ARENA_GROUP_NO_SHADOW) | ARENA_GROUP_SCENE_OBJECT;
    if (SetArenaAlphaMode(instance, o.Alpha, SceneInfo.UseAlfaTestATOC != 0)) {
        ArenaRedrawMain = 1;
        ArenaRedrawShadows = 1;
        ArenaLoaded = 1;
    }
    if (o.MeshType == ARENA_MESH_BILLBOARD && o.OffsetIgnoration != 0) {
        instance.SortPriority = ArenaSortFollower;
        instance.GroupBits |= ARENA_GROUP_BILLBOARD;
        ArenaSetDepth(instance, 0, 0);
    }
    if (index == SceneInfo.BattlefieldObject) {
        instance.SortPriority = ArenaSortBattlefield;
        instance.GroupBits = ArenaBattlefieldGroups;
        instance.SetRenderState(RSK_CULL, ARENA_CULL_CLOCKWISE);
        SetArenaBlending(instance, ARENA_BLEND_ONE);
        instance.Constants.SetFloat(CONSTANT_PIXEL, 10, "k_SREnergy", 0.1f, ARENA_SHADER_GROUPS);
        instance.SetShader(ArenaShadersFolder + "Selection_PS.bin", "MAIN", 0);
    }
}

// The object's clip: loaded into its render mesh once, and known to every
// object that shares that mesh.
void ArenaSetupAnimation(TObjectInfo& o)
{
    if (o.MeshType != ARENA_MESH_SKINNED || o.Animation.empty()) {
        o.AnimationClip.clear();
        return;
    }
    const std::string clip = ExtractBaseName(o.Animation);
    const bool listed = std::any_of(o.Animations.begin(), o.Animations.end(),
                                    [&](const TArenaAnimation& a) { return a.File == o.Animation; });
    if (!listed)
        o.Animations.push_back({o.Animation, clip});
    T3D_Mesh* mesh = MainRender == nullptr ? nullptr : MainRender->Mesh_Get(o.RenderMesh);
    if (mesh != nullptr) {
        const std::vector<T3D_Clip>& clips = mesh->Skin.Clips;
        const bool loaded = std::any_of(clips.begin(), clips.end(), [&](const T3D_Clip& c) { return c.Name == clip; });
        if (!loaded) {
            mesh->LoadAnimation(o.Animation, clip);
            for (TObjectInfo& other : SceneInfo.Objects) {
                if (&other == &o || other.RenderMesh != o.RenderMesh)
                    continue;
                const bool has = std::any_of(other.Animations.begin(), other.Animations.end(),
                                             [&](const TArenaAnimation& a) { return a.File == o.Animation; });
                if (!has)
                    other.Animations.push_back({o.Animation, clip});
            }
        }
    }
    o.AnimationClip = clip;
}

void ArenaSetupAttachments(TObjectInfo& o, T3D_SceneMesh& instance)
{
    for (int32_t slot = 0; slot < 6; slot++) {
        TArenaAddObj& add = o.AddObj[slot];
        if (add.ObjectName.empty()) {
            if (!add.AttachedName.empty()) {
                instance.DetachByName(add.AttachedName);
                add.AttachedName.clear();
                add.UID = 0;
            }
            continue;
        }
        if (add.ObjectName == add.AttachedName)
            continue;
        if (!add.AttachedName.empty()) {
            instance.DetachByName(add.AttachedName);
            add.AttachedName.clear();
        }
        const TObjectInfo* target = nullptr;
        for (const TObjectInfo& other : SceneInfo.Objects)
            if (add.UID != 0 && other.UID == add.UID && other.MeshType != ARENA_MESH_EMITTER) {
                target = &other;
                add.ObjectName = other.AttachName;
                break;
            }
        if (target == nullptr)
            for (const TObjectInfo& other : SceneInfo.Objects)
                if (other.MeshType != ARENA_MESH_EMITTER && other.AttachName == add.ObjectName) {
                    target = &other;
                    add.UID = other.UID;
                    break;
                }
        if (target == nullptr)
            continue;
        instance.AttachChildByName(add.ObjectName, ArenaAttachBones[slot]);
        add.AttachedName = add.ObjectName;
    }
}

std::vector<std::string> ArenaWords(const std::string& text)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            i++;
        const size_t start = i;
        while (i < text.size() && text[i] != ' ')
            i++;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

bool ArenaAnyWordIn(const std::vector<std::string>& words, const std::string& text)
{
    return std::any_of(words.begin(), words.end(),
                       [&](const std::string& w) { return text.find(w) != std::string::npos; });
}

// Whether an object with these tags shows under the request.
bool ArenaTagsShow(const std::string& tags, const std::vector<std::string>& include,
                   const std::vector<std::string>& exclude)
{
    bool visible = include.empty();
    std::string positive, negative;
    for (const std::string& w : ArenaWords(LowerCaseStr(tags))) {
        if (w[0] == '-')
            negative += " " + w.substr(1);
        else
            positive += " " + w;
    }
    bool decided = false;
    if (!positive.empty()) {
        if (ArenaAnyWordIn(include, positive)) {
            visible = true;
            decided = true;
        }
        if (ArenaAnyWordIn(exclude, positive)) {
            visible = false;
            decided = true;
        }
    }
    if (!negative.empty()) {
        if (ArenaAnyWordIn(include, negative)) {
            visible = false;
            decided = true;
        }
        if (!decided)
            visible = true;
    }
    return visible;
}

} // namespace

int32_t ArenaCullOfSides(int32_t sides)
{
    switch (sides) {
    case ARENA_SIDES_TWO_SIDED:
        return ARENA_CULL_NONE;
    case ARENA_SIDES_CONCAVE:
        return ARENA_CULL_COUNTER;
    default:
        return ARENA_CULL_CLOCKWISE;
    }
}

void SetArenaBlending(T3D_SceneMesh& instance, int32_t destination)
{
    instance.SetRenderState(RSK_ALPHAMODE, static_cast<int32_t>(RSK_ALPHA_BLEND));
    instance.SetRenderState(RSK_SRCBLEND, ARENA_BLEND_SOURCE_ALPHA);
    instance.SetRenderState(RSK_DESTBLEND, destination);
}

TVec4 ArenaNormalisedColor(uint32_t rgb)
{
    const T3D_Color c = NormalizeColor(ColorFromRGB(rgb));
    return TVec4{c.b, c.g, c.r, 1};
}

void SetArenaMaterialConstants(T3D_SceneMesh& instance, const TArenaMaterial& m)
{
    T3D_ShaderConstant& k = instance.Constants;
    const uint32_t g = ARENA_SHADER_GROUPS;
    k.SetVec4(CONSTANT_PIXEL, 0, "k_AGSO", static_cast<float>(m.Ambient) / 100, static_cast<float>(m.Gamma) / 100, 1,
              static_cast<float>(m.Occlusion) / 100, g);
    k.SetVec4(CONSTANT_PIXEL, 8, "k_NormalGloss", static_cast<float>(m.Normal) / 100,
              static_cast<float>(m.Specular) / 100, 0, 0, g);
    k.SetFloat(CONSTANT_PIXEL, 10, "k_SREnergy", static_cast<float>(m.SpecularSRE) / 100, g);
    k.SetVec4(CONSTANT_PIXEL, 21, "clr_str", m.Colorization.x, m.Colorization.y, m.Colorization.z,
              static_cast<float>(m.ColorizationStrength) / 100, g);
    k.SetFloat(CONSTANT_PIXEL, 22, "k_Alpha", 1, g);
    k.SetVec4(CONSTANT_PIXEL, 23, "k_TexAnimation", 0, 1, 1, 0, g);
    k.SetVec4(CONSTANT_PIXEL, 24, "k_TextureFX", 0, 0, 0, 0, g);
}

bool SetArenaAlphaMode(T3D_SceneMesh& instance, int32_t alpha, bool alphaToCoverage)
{
    const std::string& folder = ArenaShadersFolder;
    std::string depth = "Depth_Alpha_PS.bin", picking = "Picking_Index_Alpha_PS.bin";
    switch (alpha) {
    case ARENA_ALPHA_TEST:
        instance.SortPriority = ArenaSortAlphaTest;
        instance.SetRenderState(RSK_ALPHAMODE,
                                static_cast<int32_t>(alphaToCoverage ? RSK_ALPHA_COVERAGE : RSK_ALPHA_TEST128));
        ArenaSetDepth(instance, 1, 1);
        break;
    case ARENA_ALPHA_BLEND:
        instance.SortPriority = ArenaSortBlended;
        instance.GroupBits |= ARENA_GROUP_BLENDED;
        SetArenaBlending(instance, ARENA_BLEND_INVERSE_SOURCE_ALPHA);
        ArenaSetDepth(instance, 1, 1);
        break;
    case ARENA_ALPHA_ADD:
        instance.SortPriority = ArenaSortAdded;
        instance.GroupBits |= ARENA_GROUP_BLENDED;
        SetArenaBlending(instance, ARENA_BLEND_ONE);
        ArenaSetDepth(instance, 1, 0);
        break;
    default: // "none", and values no file gives
        instance.SortPriority = ArenaSortOpaque;
        instance.SetRenderState(RSK_ALPHAMODE, static_cast<int32_t>(RSK_ALPHA_OPAQUE));
        ArenaSetDepth(instance, 1, 1);
        depth = "Depth_PS.bin";
        picking = "Picking_Index_PS.bin";
        break;
    }
    SetArenaDepthPixelShader(instance, folder + depth);
    instance.SetShader(folder + picking, "CP_INDEX", 0);
    return alpha == ARENA_ALPHA_ADD;
}

void SetArenaSkinnedShaders(T3D_SceneMesh& instance)
{
    const std::string& folder = ArenaShadersFolder;
    instance.SetShader(folder + "Picking_Skinned_VS.bin", "CP_INDEX", 1);
    for (const char* pass : {"1DEPTH", "2DEPTH", "3DEPTH"})
        instance.SetShader(folder + "Depth_Skinned_VS.bin", pass, 1);
    instance.SetShader(folder + "Skinned_VS.bin", "MAIN", 1);
}

void SetArenaDepthPixelShader(T3D_SceneMesh& instance, const std::string& file)
{
    for (const char* pass : {"1DEPTH", "2DEPTH", "3DEPTH"})
        instance.SetShader(file, pass, 0);
}

void SetArenaPickIndex(T3D_SceneMesh& instance, uint32_t pick)
{
    T3D_Color c{0, 0, 0, 1};
    ColorFromRGB565(pick & 0xFFFF, c);
    instance.Constants.SetVec4(CONSTANT_PIXEL, 1, "_CpIndex", c.r, c.g, c.b, 1, ARENA_SHADER_GROUPS);
}

void PlaceArenaObject(int32_t index)
{
    const TObjectInfo* o = ArenaObject(index);
    T3D_SceneMesh* instance = o == nullptr ? nullptr : ArenaObjectInstance(*o);
    if (instance == nullptr)
        return;
    instance->ResetMatrix();
    if (o->Scale > 0)
        instance->Scale(static_cast<float>(o->Scale) / 100);
    if (o->RotateG != 0)
        instance->Rotate(0, static_cast<float>(o->RotateG) * ArenaDegrees);
    if (o->RotateV != 0)
        instance->Rotate(1, static_cast<float>(o->RotateV) * ArenaDegrees);
    TVec3 up;
    Vec3Normalize(o->Orientation, up);
    if (std::fabs(up.y) < 0.999f) {
        instance->Rotate(0, std::acos(std::clamp(up.y, -1.0f, 1.0f)));
        instance->Rotate(1, std::atan2(up.x, up.z));
    }
    instance->Translate(o->X, o->Y, o->Z);
    if (o->OffsetIgnoration != 0) {
        const TVec3& eye = SceneInfo.CameraPos;
        instance->Translate(-eye.x, -eye.y, -eye.z);
    }
}

std::string ArenaObjectMainShader(const TObjectInfo& o)
{
    std::string name;
    switch (o.MeshType) {
    case ARENA_MESH_TEXTURED:
        name = "Textured";
        break;
    case ARENA_MESH_GRASS:
        name = "Grass";
        break;
    case ARENA_MESH_TREECOMA:
        name = "TreeComa";
        break;
    case ARENA_MESH_WATER:
        name = "Water";
        break;
    case ARENA_MESH_BILLBOARD:
        name = "Flat";
        break;
    default: // "NormalMapped", "Skinned", and words the loader does not know (drawn as normal-mapped)
        name = "Normaled";
        break;
    }
    const bool lit = o.MeshType == ARENA_MESH_NORMALMAPPED || o.MeshType == ARENA_MESH_SKINNED;
    if ((lit || o.MeshType == ARENA_MESH_TEXTURED) && o.Sides == ARENA_SIDES_TWO_SIDED)
        name += "_DS";
    if (lit && o.UseSpecular != 0 && SceneInfo.UseTestMode == 0) {
        if (o.SpecularType == ARENA_SPECULAR_COOK)
            name += "_Cook";
        else if (o.SpecularType == ARENA_SPECULAR_PHONG)
            name += "_Phong";
    }
    if (SceneInfo.UseTestMode != 0)
        name += "_Test";
    return name;
}

void SetupArenaObjectMaterial(int32_t index, int32_t mode)
{
    TObjectInfo* o = ArenaObject(index);
    if (o == nullptr || o->MeshType == ARENA_MESH_EMITTER)
        return;
    if (mode == 1) {
        ArenaSetupAnimation(*o);
        return;
    }
    T3D_SceneMesh* instance = ArenaObjectInstance(*o);
    if (instance == nullptr)
        return;
    switch (mode) {
    case 0:
        ArenaSetupMaterial(index, *o, *instance);
        break;
    case 2:
        ArenaSetupAttachments(*o, *instance);
        break;
    case 4:
        if (index != SceneInfo.BattlefieldObject)
            instance->SetShader(ArenaShadersFolder + ArenaObjectMainShader(*o) + "_PS.bin", "MAIN", 0);
        break;
    default:
        break;
    }
}

void ApplyArenaObjectShaders()
{
    for (int32_t i = 0; i < static_cast<int32_t>(SceneInfo.Objects.size()); i++)
        SetupArenaObjectMaterial(i, 4);
}

void SetArenaObjectTags(const std::string& tags)
{
    const std::string request = LowerCaseStr(TrimStr(tags));
    std::vector<std::string> include, exclude;
    for (const std::string& w : ArenaWords(request)) {
        if (w == "-")
            continue;
        if (w[0] == '-')
            exclude.push_back(w.substr(1));
        else
            include.push_back(w);
    }
    for (TObjectInfo& o : SceneInfo.Objects) {
        if (request.empty())
            o.Visible = 1;
        else if (!o.Tags.empty())
            o.Visible = ArenaTagsShow(o.Tags, include, exclude) ? 1 : 0;
        if (T3D_SceneMesh* instance = ArenaObjectInstance(o))
            instance->Visible = o.Visible;
    }
    ArenaRedrawMain = 1;
    ArenaRedrawShadows = 1;
    ArenaLoaded = 1;
    ArenaModelsChanged = 1;
}
