#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "model/Support.h"
#include "model/personage/Personage.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_StateKey.h"
#include "scenes/Arena_Objects.h"
#include "scenes/Arena_Personages.h"
#include "scenes/Arena_Scene.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/TextureFiles.h"

namespace arena_personages_test {

// The arena scene on the recording device with the installation's shaders;
// the personage and weapon folders are the test's own.
class ArenaPersonagesTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        ResetGameTables();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
        PersonagesFolder = Folder.ProgramPath() + "Personages\\";
        WeaponsFolder = PersonagesFolder + "Weapons\\";
        MainRender = Render.get();
        Render->ScreenWidth = 800;
        Render->ScreenHeight = 600;
        RenderSettings = TRenderSettings{};
        RenderSettings.ScreenWidth = 800;
        RenderSettings.ScreenHeight = 600;
        ArenaSettings = TArenaSettings{};
        ArenaSettings.PickingSize = 256;
        ArenaSettings.ShadowMapSize = 256;
        InitArenaDefaults();
        CreateArenaScene();
        ClearLists();
    }
    void TearDown() override
    {
        ClearLists();
        BattleEffectTable.clear();
        SceneInfo = TSceneInfo{};
        ArenaSettings = TArenaSettings{};
        RenderSettings = TRenderSettings{};
        ResetGameTables();
        MainRender = nullptr;
        TRecordingRenderTest::TearDown();
    }
    static void ClearLists()
    {
        ArenaPersonageModels.clear();
        ArenaPersonageModels2.clear();
        ArenaPersonageMarks1.clear();
        ArenaPersonageMarks2.clear();
    }

    // A skinned mesh of three bones with one clip.
    int32_t SkinnedMesh(const std::string& name)
    {
        const int32_t slot = Render->Mesh_Add(MESH_SKINNED, name, 1);
        T3D_Mesh& mesh = *Render->Mesh_Get(slot);
        for (const char* bone : {"Root", "HP_right", "HP_shield"}) {
            T3D_Bone b;
            b.Name = bone;
            b.Parent = mesh.Skin.Bones.empty() ? -1 : 0;
            b.Tracks.push_back(T3D_Track{});
            mesh.Skin.Bones.push_back(b);
        }
        mesh.Skin.Clips.push_back({"na_stand", 1000});
        return slot;
    }
    // Unit type t with a figure; its body mesh already loaded for the arena
    // (arena) or the map (map).
    void UnitType(int32_t t, int32_t arena, int32_t map)
    {
        UnitTypes[t].FileName = "Body" + std::to_string(t);
        UnitTypes[t].ArenaModelIndex = arena;
        UnitTypes[t].MapModelIndex = map;
        UnitTypes[t].ModelSettings = DefaultModelSettings();
        UnitTypeCount = std::max(UnitTypeCount, t);
    }
    T3D_SceneMesh& Instance(int32_t i) { return *ArenaScene()->GetMesh(i); }
    uint32_t State(int32_t i, uint32_t field) { return Instance(i).StateKey.Value & field; }
    std::string Shader(int32_t i, const std::string& pass, uint8_t kind)
    {
        for (const T3D_PassShader& s : Instance(i).PassShaders)
            if (s.PassName == pass && s.Kind == kind)
                return Render->Shaders[static_cast<size_t>(s.ShaderIndex)]->FileName;
        return "";
    }
    TVec4 Constant(int32_t i, const std::string& name)
    {
        for (const T3D_Constant& k : Instance(i).Constants.Constants)
            if (k.Name == name)
                return TVec4{k.Data[0], k.Data[1], k.Data[2], k.Data[3]};
        ADD_FAILURE() << "no constant " << name;
        return {};
    }
    // A small texture file below the test's folder; returns its path.
    std::string Texture(const std::string& relative)
    {
        return Write(relative, TextureFiles::MakeDDS(0x31545844, 4, 4, 1, std::vector<uint8_t>(8, 0)));
    }
    // The texture file (folder and name, lower case) the instance sets on a
    // stage, "" when it sets none.
    std::string StageFile(int32_t i, int32_t stage)
    {
        for (const T3D_InstanceStageTexture& s : Instance(i).StageTextures)
            if (s.Stage == stage) {
                const T3D_Texture* t = TextureAt(*Render, s.TextureIndex);
                return t == nullptr ? "?" : t->Folder + t->FileName;
            }
        return "";
    }
};

void ExpectVec(const TVec4& a, const TVec4& b, const char* what)
{
    EXPECT_NEAR(a.x, b.x, 1e-5f) << what;
    EXPECT_NEAR(a.y, b.y, 1e-5f) << what;
    EXPECT_NEAR(a.z, b.z, 1e-5f) << what;
    EXPECT_NEAR(a.w, b.w, 1e-5f) << what;
}

// Two models of one unit type share its body mesh; the last one freed gives
// the mesh back, unless the map draws it too.
TEST_F(ArenaPersonagesTest, ModelsShareAMeshFreedWithTheLastUnlessTheMapHoldsIt)
{
    const int32_t arenaMesh = SkinnedMesh("Body1"), mapMesh = SkinnedMesh("Body2");
    UnitType(1, arenaMesh, -1);
    UnitType(2, -1, mapMesh);
    ArenaPersonageModels.resize(2);
    ArenaPersonageModels2.resize(1);
    LoadPersonageModel("A", 1, ArenaPersonageModels[0], 33);
    LoadPersonageModel("B", 1, ArenaPersonageModels[1], 34);
    LoadPersonageModel("C", 2, ArenaPersonageModels2[0], 65);
    EXPECT_EQ(ArenaPersonageModels[0].RenderMesh, arenaMesh);
    EXPECT_EQ(ArenaPersonageModels[1].RenderMesh, arenaMesh);
    EXPECT_EQ(ArenaPersonageModels2[0].RenderMesh, mapMesh);
    EXPECT_NE(ArenaPersonageModels[0].Instance, ArenaPersonageModels[1].Instance);
    EXPECT_EQ(ArenaPersonageModels[0].UnitType, 1);

    const int32_t first = ArenaPersonageModels[0].Instance;
    FreePersonageModel(ArenaPersonageModels[0]);
    EXPECT_EQ(ArenaScene()->GetMesh(first), nullptr);
    EXPECT_EQ(ArenaPersonageModels[0].Instance, -1);
    EXPECT_NE(Render->Mesh_Get(arenaMesh), nullptr);
    EXPECT_EQ(UnitTypes[1].ArenaModelIndex, arenaMesh);

    FreePersonageModel(ArenaPersonageModels[1]);
    EXPECT_EQ(Render->Mesh_Get(arenaMesh), nullptr);
    EXPECT_EQ(UnitTypes[1].ArenaModelIndex, -1);

    FreePersonageModel(ArenaPersonageModels2[0]);
    EXPECT_NE(Render->Mesh_Get(mapMesh), nullptr);
    EXPECT_EQ(UnitTypes[2].MapModelIndex, mapMesh);
}

// The body's material: its settings, groups, programs and textures; a
// ghost adds its light and writes no depth.
TEST_F(ArenaPersonagesTest, BodiesSolidOrGhostly)
{
    Texture("Personages\\Textures\\Body1_d.DDS");
    Texture("Personages\\Textures\\Body1_n.DDS");
    UnitType(1, SkinnedMesh("Body1"), -1);
    UnitType(2, SkinnedMesh("Body2"), -1);
    UnitTypes[2].Nature = static_cast<uint8_t>(TPersNature::Ghost);
    // Type 1's models follow the settings of type 3.
    UnitType(3, -1, -1);
    UnitTypes[1].BaseType = 3;
    TModelSettings& m = UnitTypes[3].ModelSettings;
    m.Ambient = 50;
    m.Gamma = 80;
    m.Occlusion = 90;
    m.Specular = 40;
    m.Normal = 70;
    m.SpecularSRE = 120;
    m.SpecularType = 2;
    m.Shadow = 1;
    m.ColorizationColor[0] = 1;
    m.ColorizationColor[1] = 0.5f;
    m.ColorizationColor[2] = 0.25f;
    m.ColorizationStrength = 30;
    UnitTypes[2].ModelSettings.Shadow = 0;

    TPersRenderAnimationData solid, ghost;
    LoadPersonageModel("Solid", 1, solid, 33);
    LoadPersonageModel("Ghost", 2, ghost, 34);
    const int32_t s = solid.Instance, g = ghost.Instance;
    ExpectVec(Constant(s, "k_AGSO"), {0.5f, 0.8f, 1, 0.9f}, "k_AGSO");
    ExpectVec(Constant(s, "k_NormalGloss"), {0.7f, 0.4f, 0, 0}, "k_NormalGloss");
    ExpectVec(Constant(s, "k_SREnergy"), {1.2f, 0, 0, 0}, "k_SREnergy");
    ExpectVec(Constant(s, "clr_str"), {0.25f, 0.5f, 1, 0.3f}, "clr_str: blue, green, red");
    EXPECT_EQ(Instance(s).GroupBits, 0x202u);
    EXPECT_EQ(Instance(g).GroupBits, 0x201u);
    EXPECT_EQ(Shader(s, "MAIN", 0), "normaled_cook_ps.bin");
    EXPECT_EQ(Shader(g, "MAIN", 0), "normaled_ps.bin");
    EXPECT_EQ(Shader(s, "MAIN", 1), "skinned_vs.bin");
    EXPECT_EQ(Shader(s, "CP_INDEX", 1), "picking_skinned_vs.bin");
    EXPECT_EQ(Shader(s, "2DEPTH", 1), "depth_skinned_vs.bin");
    EXPECT_EQ(Shader(s, "3DEPTH", 0), "depth_alpha_ps.bin");
    EXPECT_EQ(State(s, RSK_CULL), static_cast<uint32_t>(ARENA_CULL_CLOCKWISE));

    EXPECT_EQ(Instance(s).SortPriority, 2);
    EXPECT_EQ(State(s, RSK_ALPHAMODE), RSK_ALPHA_TEST128);
    EXPECT_NE(State(s, RSK_DEPTHWRITE), 0u);
    EXPECT_EQ(Instance(g).SortPriority, 5);
    EXPECT_EQ(State(g, RSK_ALPHAMODE), RSK_ALPHA_BLEND);
    EXPECT_EQ(State(g, RSK_SRCBLEND), 0x20000000u); // source alpha
    EXPECT_EQ(State(g, RSK_DESTBLEND), 0u);         // one
    EXPECT_EQ(State(g, RSK_DEPTHWRITE), 0u);
    EXPECT_NE(State(g, RSK_DEPTHTEST), 0u);

    const std::string textures = LowerCaseStr(PersonagesFolder + "Textures\\");
    EXPECT_EQ(StageFile(s, 0), textures + "body1_d.dds");
    EXPECT_EQ(StageFile(s, 1), ""); // no "_s" file
    EXPECT_EQ(StageFile(s, 2), textures + "body1_n.dds");

    RenderSettings.ATOC = 1;
    TPersRenderAnimationData covered;
    LoadPersonageModel("Covered", 1, covered, 35);
    EXPECT_EQ(State(covered.Instance, RSK_ALPHAMODE), RSK_ALPHA_COVERAGE);
}

// Pick numbers reach "CP_INDEX" as R5G6B5 colours: 0xF800 is pure red.
TEST_F(ArenaPersonagesTest, PickMeshesAndTheirIndexColour)
{
    const int32_t mesh = Render->Mesh_Add(MESH_NORMALMAPPED, "Hex", 0);
    const int32_t red = AddArenaPickMesh(mesh, "Red", 0xF800);
    const int32_t blue = AddArenaPickMesh(mesh, "Blue", 0x001F);
    ExpectVec(Constant(red, "_CpIndex"), {1, 0, 0, 1}, "0xF800");
    ExpectVec(Constant(blue, "_CpIndex"), {0, 0, 1, 1}, "0x001F");
    ExpectVec(Constant(red, "k_AGSO"), {1, 1, 1, 1}, "k_AGSO");
    EXPECT_EQ(Shader(red, "CP_INDEX", 1), "picking_vs.bin");
    EXPECT_EQ(Shader(red, "MAIN", 1), "normaled_vs.bin");
    EXPECT_EQ(Shader(red, "MAIN", 0), "selection_ps.bin");
    EXPECT_EQ(State(red, RSK_CULL), static_cast<uint32_t>(ARENA_CULL_CLOCKWISE));
    EXPECT_EQ(State(red, RSK_ALPHAMODE), RSK_ALPHA_OPAQUE);
}

// Equipment takes the weapons' large textures of its mesh's texture names;
// a stage whose large texture is missing keeps the mesh's own.
TEST_F(ArenaPersonagesTest, EquipmentTexturesFromTheWeaponsFolder)
{
    const std::string smallGear = Texture("Personages\\Weapons\\Textures_Small\\Gear_d.DDS");
    const std::string smallShine = Texture("Personages\\Weapons\\Textures_Small\\Shine_s.DDS");
    Texture("Personages\\Weapons\\Textures\\Gear_d.DDS");
    const int32_t mesh = SkinnedMesh("Sword");
    Render->Mesh_Get(mesh)->SetTexture(smallGear, 0, 0);
    Render->Mesh_Get(mesh)->SetTexture(smallShine, 1, 0);
    ItemCount = 1;
    ItemTable[1].Mesh = mesh;
    ItemTable[1].Model = DefaultModelSettings();
    ItemTable[1].Model.SpecularType = 1;
    ItemTable[1].Model.Shadow = 0;

    const int32_t i = AddArenaEquipmentMesh(1, mesh, 33, "Weapon1_of_A");
    EXPECT_EQ(Instance(i).Name, "Weapon1_of_A");
    EXPECT_EQ(StageFile(i, 0), LowerCaseStr(WeaponsFolder + "Textures\\") + "gear_d.dds");
    EXPECT_EQ(StageFile(i, 1), ""); // the mesh's small "Shine_s" stays
    EXPECT_EQ(Shader(i, "MAIN", 0), "normaled_phong_ps.bin");
    EXPECT_EQ(Instance(i).GroupBits, 0x1u);
    EXPECT_EQ(Instance(i).SortPriority, 2);
    EXPECT_EQ(State(i, RSK_ALPHAMODE), RSK_ALPHA_TEST128);
    ExpectVec(Constant(i, "_CpIndex"), {0, 1.0f / 63, 1.0f / 31, 1}, "pick 33: green 1, blue 1");
}

// A battle effect's mesh: hidden, its alpha mode and material from the
// entry, the colour kept normalised in the entry.
TEST_F(ArenaPersonagesTest, EffectMeshesFromTheirEntry)
{
    TBattleEffectPart part;
    part.Mesh = SkinnedMesh("Flash");
    part.Alpha = ARENA_ALPHA_ADD;
    part.Sides = ARENA_SIDES_TWO_SIDED;
    part.Shadow = 1;
    part.Ambient = 60;
    part.Gamma = 90;
    part.Colorization_Color = 0x804020;
    part.Colorization_Strength = 50;
    BattleEffectTable.push_back({"flash", -1, {part}});

    EXPECT_EQ(AddArenaEffectMesh(0, 1, "None"), -1);
    EXPECT_EQ(AddArenaEffectMesh(1, 0, "None"), -1);
    const int32_t i = AddArenaEffectMesh(0, 0, "Flash");
    ASSERT_GE(i, 0);
    EXPECT_EQ(Instance(i).Visible, 0);
    EXPECT_EQ(Instance(i).GroupBits, 0x2Au);
    EXPECT_EQ(Instance(i).SortPriority, 13);
    EXPECT_EQ(State(i, RSK_CULL), static_cast<uint32_t>(ARENA_CULL_NONE));
    EXPECT_EQ(State(i, RSK_DEPTHWRITE), 0u);
    EXPECT_EQ(Shader(i, "MAIN", 0), "over_ps.bin");
    EXPECT_EQ(Shader(i, "1DEPTH", 0), "depth_alpha_ps.bin");
    EXPECT_EQ(Shader(i, "CP_INDEX", 0), "picking_index_alpha_ps.bin");
    ExpectVec(Constant(i, "k_AGSO"), {0.6f, 0.9f, 1, 1}, "k_AGSO");
    ExpectVec(Constant(i, "clr_str"), {0.25f, 0.5f, 1, 0.5f}, "clr_str");
    ExpectVec(BattleEffectTable[0].Parts[0].ColorizationValue, {0.25f, 0.5f, 1, 1}, "kept");
}

// Clearing: no instance is left, the arena's texture group and the marks'
// sprites are freed, the lists are empty; the next body is instance 0 and
// is placed like any other.
TEST_F(ArenaPersonagesTest, ClearingLeavesNoInstanceAndFreesGroup64)
{
    const int32_t objectMesh = Render->Mesh_Add(MESH_NORMALMAPPED, "Ground", 0);
    TObjectInfo o;
    o.RenderMesh = objectMesh;
    o.Instance = ArenaScene()->AddMesh(objectMesh, "Ground");
    SceneInfo.Objects.push_back(o);
    UnitType(1, SkinnedMesh("Body1"), -1);
    ArenaPersonageModels.resize(1);
    LoadPersonageModel("A", 1, ArenaPersonageModels[0], 33);
    ArenaPersonageMarks1.resize(1);
    ArenaPersonageMarks1[0].BarSprites[0] = Render->Sprite_Add(8, 8);
    ArenaPersonageMarks1[0].BarSprites[3] = Render->Sprite_Add(8, 8);
    AddArenaPickMesh(objectMesh, "Cell", 6240);
    Render->Texture_SetLoadOptions(0, ARENA_TEXTURE_GROUP);
    const int32_t arenaTexture = Render->Texture_Load(Texture("Arena.DDS"));
    Render->Texture_SetLoadOptions(0, 1);
    const int32_t keptTexture = Render->Texture_Load(Texture("Kept.DDS"));
    Render->Texture_SetLoadOptions(0, 0);
    TentSceneLoaded = 1;

    ClearArenaScene();
    for (T3D_SceneMesh* instance : ArenaScene()->_s_Meshes)
        EXPECT_EQ(instance, nullptr);
    EXPECT_TRUE(SceneInfo.Objects.empty());
    EXPECT_EQ(Render->Mesh_Get(objectMesh), nullptr);
    EXPECT_TRUE(ArenaPersonageModels.empty());
    EXPECT_TRUE(ArenaPersonageMarks1.empty());
    EXPECT_EQ(Render->Sprite_Get(0), nullptr);
    EXPECT_EQ(Render->SpriteCount, 0);
    EXPECT_EQ(TextureAt(*Render, arenaTexture), nullptr);
    EXPECT_NE(TextureAt(*Render, keptTexture), nullptr);
    EXPECT_EQ(TentSceneLoaded, 0);

    TPersRenderAnimationData body;
    UnitType(1, SkinnedMesh("Body1"), -1);
    LoadPersonageModel("First", 1, body, 33);
    EXPECT_EQ(body.Instance, 0);
    PlacePersonage("ARENA", body, 1, 2, 3, 0, 1);
    const TMatrix4& world = *Instance(0).World;
    TVec3 at;
    Vec3TransformCoord(TVec3{0, 0, 0}, world, at);
    EXPECT_FLOAT_EQ(at.x, 1);
    EXPECT_FLOAT_EQ(at.y, 2);
    EXPECT_FLOAT_EQ(at.z, 3);
}

} // namespace arena_personages_test
