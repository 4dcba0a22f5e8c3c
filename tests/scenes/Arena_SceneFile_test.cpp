#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "model/Support.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shaders.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Arena_Scene.h"
#include "scenes/Arena_SceneFile.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/MeshFiles.h"
#include "tools/TextureFiles.h"

namespace {

// A one-triangle mesh record.
TMeshFileRecord Triangle(const std::string& name)
{
    TMeshFileRecord r;
    r.Name = name;
    r.VertexFormat = MESH_TEXTURED;
    r.VertexStride = 24;
    r.VertexCount = 3;
    r.IndexCount = 3;
    r.PrimitiveCount = 1;
    r.Indices = {0, 1, 2};
    r.Vertices.assign(3 * 24, 0);
    return r;
}

// The arena scene with the installation's shaders and interface, loading
// scene files the test writes into "Arenas\Test\" of a temporary folder:
// "Props.D3D" holds the meshes "Rock" and "Tree"; "Stone" has diffuse,
// specular and normal maps.
class ArenaSceneFileTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
        MainRender = Render.get();
        Render->ScreenWidth = 800;
        Render->ScreenHeight = 600;
        RenderSettings = TRenderSettings{};
        RenderSettings.ScreenWidth = 800;
        RenderSettings.ScreenHeight = 600;
        GUIVirtualSize = TGUIVirtualSize{};
        ArenaTargets = TArenaTargets{};
        ArenaSettings = TArenaSettings{};
        InitArenaDefaults();
        ArenaSettings.PickingSize = 64;
        ArenaSettings.ShadowMapSize = 64;
        ArenaModelsChanged = 0;
        ArenaLoaded = 0;
        CreateArenaScene();
        Folder_ = Folder.ProgramPath() + "Arenas\\Test\\";
        Write("Arenas\\Test\\Props.D3D", MeshFiles::MakeMeshFile({Triangle("Rock"), Triangle("Tree")}));
        for (const char* name : {"Stone_d.DDS", "Stone_s.DDS", "Stone_n.DDS"})
            Write(std::string("Arenas\\Test\\") + name,
                  TextureFiles::MakeDDS(0x31545844, 4, 4, 1, std::vector<uint8_t>(8, 0)));
    }
    void TearDown() override
    {
        SceneInfo = TSceneInfo{};
        ArenaSettings = TArenaSettings{};
        ArenaObjectCount = 0;
        MainRender = nullptr;
        GUIVirtualSize = TGUIVirtualSize{};
        RenderSettings = TRenderSettings{};
        TRecordingRenderTest::TearDown();
    }
    std::string WriteScene(const std::string& name, const std::string& text)
    {
        return Write("Arenas\\Test\\" + name, std::vector<uint8_t>(text.begin(), text.end()));
    }
    const TObjectInfo& Object(size_t i) { return SceneInfo.Objects.at(i); }
    T3D_SceneMesh& Instance(const TObjectInfo& o) { return *ArenaScene()->GetMesh(o.Instance); }
    // The lower-cased file of each of an instance's stage textures.
    std::map<int32_t, std::string> Stages(const T3D_SceneMesh& instance)
    {
        std::map<int32_t, std::string> stages;
        for (const T3D_InstanceStageTexture& stage : instance.StageTextures) {
            const T3D_Texture* t = TextureAt(*Render, stage.TextureIndex);
            stages[stage.Stage] = t == nullptr ? "?" : LowerCaseStr(t->Folder + t->FileName);
        }
        return stages;
    }
    std::string Folder_;
};

const char* const TwoObjects = "[Scene]\r\n"
                               "UseShadow=Yes\r\n"
                               "UseSSAO=Yes\r\n"
                               "SunPower=40\r\n"
                               "Gamma=120\r\n"
                               "Ambient=25\r\n"
                               "LightRotate=30\r\n"
                               "LightHeight=50\r\n"
                               "ShadowBlur=4\r\n"
                               "Fog=Yes\r\n"
                               "FogDistance=90\r\n"
                               "FogStrength=0.5\r\n"
                               "LightColor=16777215\r\n"
                               "BkgColor=1122867\r\n"
                               "Colorize_Color=0\r\n"
                               "ColorizeFog_Color=255\r\n"
                               "Colorize_Strength=20\r\n"
                               "Angle_X=0\r\n"
                               "Angle_Y=0\r\n"
                               "Distance=8\r\n"
                               "Target_pos=1,2,3\r\n"
                               "[Rock one]\r\n"
                               "UID=7\r\n"
                               "Name=Props\r\n"
                               "Mesh_Type=NormalMapped\r\n"
                               "MeshName=Rock\r\n"
                               "Texture=Stone_d.tga\r\n"
                               "Visible=Yes\r\n"
                               "Scale=0\r\n"
                               "Orientation=0,0,0\r\n"
                               "Sides=two sided\r\n"
                               "Alpha=alpha-blend\r\n"
                               "SpecularType=Kook-Torrance\r\n"
                               "Tags=island -collision\r\n"
                               "AnimationAddObj2=Banner,12\r\n"
                               "Sparkle=Yes\r\n"
                               "X=1.5\r\n"
                               "Y=-2\r\n"
                               "Z=3.25\r\n"
                               "RotateV=90\r\n"
                               "RotateG=-15\r\n"
                               "Colorization_Color=0\r\n"
                               "[Second rock]\r\n"
                               "UID=8\r\n"
                               "Name=Props.d3d\r\n"
                               "Mesh_Type=Wobbly\r\n"
                               "MeshName=Tree\r\n"
                               "Texture=Missing\r\n"
                               "Specular_SRE=50\r\n"
                               "Scale=150\r\n"
                               "Orientation=0,3,4\r\n"
                               "Sides=sideways\r\n"
                               "Alpha=glass\r\n"
                               "SpecularType=Blinn\r\n"
                               "UseSpecular=1\r\n"
                               "Visible=no\r\n"
                               "Colorization_Color=4210752\r\n";

} // namespace

TEST_F(ArenaSceneFileTest, TwoObjectsWithTheirDefaults)
{
    LoadArenaScene(WriteScene("Two.qxs", TwoObjects));
    const TSceneInfo& s = SceneInfo;
    EXPECT_EQ(LowerCaseStr(s.Folder), LowerCaseStr(Folder_));
    EXPECT_EQ(s.UseShadow, 1);
    EXPECT_EQ(s.UseSSAO, 0);
    EXPECT_EQ(s.UseAlfaTestATOC, 0);
    EXPECT_EQ(s.SunPower, 40);
    EXPECT_EQ(s.Gamma, 120);
    EXPECT_EQ(s.Ambient, 25);
    EXPECT_EQ(s.SkyLight, 0); // missing keys read 0
    EXPECT_EQ(s.LightRotate, 30);
    EXPECT_EQ(s.LightHeight, 50);
    EXPECT_EQ(s.ShadowBlur, 4);
    EXPECT_EQ(s.Fog, 1);
    EXPECT_FLOAT_EQ(s.FogDistance, 90);
    EXPECT_FLOAT_EQ(s.FogStrength, 0.5f);
    EXPECT_EQ(s.LightColor, 0xFFFFFFu);
    EXPECT_EQ(s.BkgColor, 0x112233u);
    EXPECT_EQ(s.Colorize_Color, 0xFFFFFFu); // a tint of 0 is white
    EXPECT_EQ(s.ColorizeFog_Color, 0xFFu);
    EXPECT_EQ(s.Colorize_Strength, 20);
    // The free camera looking level keeps its target and distance.
    EXPECT_FLOAT_EQ(s.Distance, 8);
    EXPECT_FLOAT_EQ(s.Target_pos.x, 1);
    EXPECT_FLOAT_EQ(s.Target_pos.y, 2);
    EXPECT_FLOAT_EQ(s.Target_pos.z, 3);
    EXPECT_EQ(s.BattlefieldObject, -1);
    EXPECT_EQ(ArenaPass("MAIN")->ClearColor, 0x332211u);
    EXPECT_EQ(ArenaLoaded, 1);

    ASSERT_EQ(ArenaObjectCount, 2);
    ASSERT_EQ(s.Objects.size(), 2u);
    const TObjectInfo& a = Object(0);
    EXPECT_EQ(a.UID, 7);
    EXPECT_EQ(a.Name, "Props");
    EXPECT_EQ(a.MeshType, ARENA_MESH_NORMALMAPPED);
    EXPECT_EQ(a.MeshName, "Rock");
    EXPECT_EQ(a.AttachName, "Rock");
    EXPECT_EQ(LowerCaseStr(a.Path), LowerCaseStr(Folder_));
    EXPECT_EQ(LowerCaseStr(a.Texture), LowerCaseStr(Folder_ + "Stone_d.DDS"));
    EXPECT_EQ(a.Visible, 1);
    EXPECT_EQ(a.Scale, 100);
    EXPECT_EQ(a.Specular_SRE, 100);
    EXPECT_FLOAT_EQ(a.Orientation.x, 0);
    EXPECT_FLOAT_EQ(a.Orientation.y, 1);
    EXPECT_FLOAT_EQ(a.Orientation.z, 0);
    EXPECT_EQ(a.Sides, ARENA_SIDES_TWO_SIDED);
    EXPECT_EQ(a.Alpha, ARENA_ALPHA_BLEND);
    EXPECT_EQ(a.SpecularType, ARENA_SPECULAR_COOK);
    EXPECT_EQ(a.Tags, "island -collision");
    EXPECT_EQ(a.AddObj[2].ObjectName, "Banner");
    EXPECT_EQ(a.AddObj[2].UID, 12);
    EXPECT_EQ(a.AddObj[1].ObjectName, "");
    EXPECT_FLOAT_EQ(a.X, 1.5f);
    EXPECT_FLOAT_EQ(a.Y, -2);
    EXPECT_FLOAT_EQ(a.Z, 3.25f);
    EXPECT_EQ(a.RotateV, 90);
    EXPECT_EQ(a.RotateG, -15);
    EXPECT_EQ(a.Colorization_Color, 0xFFFFFFu);
    EXPECT_EQ(a.VertexCount, 3);
    EXPECT_EQ(a.PrimitiveCount, 1);
    ASSERT_GE(a.Instance, 0);
    EXPECT_EQ(Instance(a).Name, "Rock");
    EXPECT_EQ(Instance(a).MeshIndex, a.RenderMesh);
    const std::string folder = LowerCaseStr(Folder_);
    EXPECT_EQ(Stages(Instance(a)),
              (std::map<int32_t, std::string>{
                  {0, folder + "stone_d.dds"}, {1, folder + "stone_s.dds"}, {2, folder + "stone_n.dds"}}));

    const TObjectInfo& b = Object(1);
    EXPECT_EQ(b.UID, 8);
    EXPECT_EQ(b.MeshType, ARENA_MESH_NONE);
    EXPECT_EQ(b.MeshName, "Tree");
    EXPECT_NE(b.RenderMesh, a.RenderMesh);
    // A missing texture shows the error picture.
    EXPECT_EQ(b.Texture, GameFolder + "Error.tga");
    EXPECT_EQ(Stages(Instance(b)), (std::map<int32_t, std::string>{{0, LowerCaseStr(GameFolder + "Error.tga")}}));
    EXPECT_EQ(b.Specular_SRE, 50);
    EXPECT_EQ(b.Scale, 150);
    EXPECT_NEAR(b.Orientation.y, 0.6f, 1e-6f);
    EXPECT_NEAR(b.Orientation.z, 0.8f, 1e-6f);
    // Words the reader does not know leave a new record's values.
    EXPECT_EQ(b.Sides, ARENA_SIDES_CONVEX);
    EXPECT_EQ(b.Alpha, ARENA_ALPHA_NONE);
    EXPECT_EQ(b.SpecularType, ARENA_SPECULAR_NONE);
    EXPECT_EQ(b.UseSpecular, 1);
    EXPECT_EQ(b.Visible, 0);
    EXPECT_EQ(b.Colorization_Color, 0x404040u);
}

TEST_F(ArenaSceneFileTest, TheRenderSettingForcesAlphaToCoverage)
{
    RenderSettings.ATOC = 1;
    LoadArenaScene(WriteScene("Two.qxs", TwoObjects));
    EXPECT_EQ(SceneInfo.UseAlfaTestATOC, 1);
}

TEST_F(ArenaSceneFileTest, ObjectTypesAndTheirShaders)
{
    const struct {
        const char* Type;
        uint8_t Expected;
        int32_t Format;
        const char* MainShader;
    } cases[] = {
        {"BillBoard", ARENA_MESH_BILLBOARD, MESH_NORMALMAPPED, "normaled_vs.bin"},
        {"Textured", ARENA_MESH_TEXTURED, MESH_NORMALMAPPED, "normaled_vs.bin"},
        {"NormalMapped", ARENA_MESH_NORMALMAPPED, MESH_NORMALMAPPED, "normaled_vs.bin"},
        {"Grass", ARENA_MESH_GRASS, MESH_GRASS, "grass_vs.bin"},
        {"TreeComa", ARENA_MESH_TREECOMA, MESH_TREECOMA, "treecoma_vs.bin"},
        {"Water", ARENA_MESH_WATER, MESH_WATER, "water_vs.bin"},
        {"Skinned", ARENA_MESH_SKINNED, MESH_SKINNED, "skinned_vs.bin"},
        {"normalmapped", ARENA_MESH_NONE, MESH_NORMALMAPPED, ""},
    };
    std::string text = "[Scene]\r\n";
    for (const auto& c : cases)
        text += std::string("[") + c.Type + "]\r\nName=Props\r\nMeshName=Absent\r\nMesh_Type=" + c.Type + "\r\n";
    // The meshes stay empty (the file lacks them), so they keep the vertex
    // format they were made with.
    testing::internal::CaptureStderr();
    LoadArenaScene(WriteScene("Types.qxs", text));
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(ArenaObjectCount, static_cast<int32_t>(std::size(cases)));
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(cases[i].Type);
        const TObjectInfo& o = Object(i);
        EXPECT_EQ(o.MeshType, cases[i].Expected);
        EXPECT_EQ(Render->Mesh_Get(o.RenderMesh)->VertexFormat, cases[i].Format);
        std::map<std::string, std::string> shaders;
        for (const T3D_PassShader& shader : Instance(o).PassShaders) {
            if (shader.Kind != 1)
                continue; // the material's pixel programs
            const T3D_Shader* program = ShaderAt(*Render, shader.ShaderIndex);
            ASSERT_NE(program, nullptr);
            shaders[shader.PassName] = LowerCaseStr(program->FileName);
        }
        if (cases[i].Expected == ARENA_MESH_NONE) {
            EXPECT_TRUE(shaders.empty());
            continue;
        }
        EXPECT_EQ(shaders["MAIN"], cases[i].MainShader);
        if (cases[i].Expected == ARENA_MESH_SKINNED) {
            // Only the picking and depth passes the arena has.
            EXPECT_EQ(shaders, (std::map<std::string, std::string>{{"CP_INDEX", "picking_skinned_vs.bin"},
                                                                   {"1DEPTH", "depth_skinned_vs.bin"},
                                                                   {"2DEPTH", "depth_skinned_vs.bin"},
                                                                   {"3DEPTH", "depth_skinned_vs.bin"},
                                                                   {"MAIN", "skinned_vs.bin"}}));
        } else {
            EXPECT_EQ(shaders.size(), 1u);
        }
    }
}

// Sections whose mesh file is missing are skipped; the next section takes
// their place.
TEST_F(ArenaSceneFileTest, MissingMeshFileSkipsItsSection)
{
    LoadArenaScene(WriteScene("Skip.qxs", "[Scene]\r\n"
                                          "[Gone]\r\nUID=1\r\nName=Nowhere\r\nMeshName=Rock\r\nTexture=Stone\r\n"
                                          "Tags=old\r\n"
                                          "[Kept]\r\nUID=2\r\nName=Props\r\nMeshName=Tree\r\n"));
    ASSERT_EQ(ArenaObjectCount, 1);
    ASSERT_EQ(SceneInfo.Objects.size(), 1u);
    EXPECT_EQ(Object(0).UID, 2);
    EXPECT_EQ(Object(0).MeshName, "Tree");
    EXPECT_EQ(Object(0).Tags, "");

    LoadArenaScene(WriteScene("Only.qxs", "[Scene]\r\n[Gone]\r\nName=Nowhere\r\nMeshName=Rock\r\n"));
    EXPECT_EQ(ArenaObjectCount, 0);
    EXPECT_TRUE(SceneInfo.Objects.empty());
    EXPECT_EQ(ArenaLoaded, 1);
}

TEST_F(ArenaSceneFileTest, BattlefieldInAnyCaseComesFromTheInterface)
{
    for (const char* word : {"hexbattlefield", "HexBattleField", "HEXBATTLEFIELD"}) {
        SCOPED_TRACE(word);
        LoadArenaScene(WriteScene("Field.qxs", std::string("[Scene]\r\n"
                                                           "[Rock]\r\nName=Props\r\nMeshName=Rock\r\n"
                                                           "[Field]\r\nName=NoSuchFile\r\nTexture=Stone\r\n"
                                                           "Mesh_Type=NormalMapped\r\nMeshName=") +
                                                   word + "\r\n"));
        ASSERT_EQ(ArenaObjectCount, 2);
        EXPECT_EQ(SceneInfo.BattlefieldObject, 1);
        const TObjectInfo& field = Object(1);
        EXPECT_EQ(field.Texture, InterfaceFolder + "Common\\HEX_grid.DDS");
        EXPECT_EQ(field.MeshName, word);
        EXPECT_GT(field.VertexCount, 3);
        const T3D_Mesh* mesh = Render->Mesh_Get(field.RenderMesh);
        EXPECT_EQ(LowerCaseStr(mesh->Folder + mesh->FileName),
                  LowerCaseStr(InterfaceFolder + "Common\\HexBattlefield6x7.d3d"));
    }
}

// Objects naming the same mesh of the same file and type share its render
// mesh; it is freed with the last of them.
TEST_F(ArenaSceneFileTest, ObjectsShareAMeshUntilTheLastIsRemoved)
{
    LoadArenaScene(WriteScene("Share.qxs", "[Scene]\r\n"
                                           "[A]\r\nName=Props\r\nMeshName=Rock\r\nMesh_Type=Textured\r\n"
                                           "[B]\r\nName=props\r\nMeshName=Rock\r\nMesh_Type=Textured\r\n"
                                           "[C]\r\nName=Props\r\nMeshName=Rock\r\nMesh_Type=Water\r\n"
                                           "[D]\r\nName=Props\r\nMeshName=Tree\r\nMesh_Type=Textured\r\n"));
    ASSERT_EQ(ArenaObjectCount, 4);
    const int32_t mesh = Object(0).RenderMesh;
    EXPECT_EQ(Object(1).RenderMesh, mesh);
    EXPECT_NE(Object(2).RenderMesh, mesh); // another type
    EXPECT_NE(Object(3).RenderMesh, mesh); // another mesh
    EXPECT_NE(Object(0).Instance, Object(1).Instance);
    EXPECT_EQ(Object(1).VertexCount, 3);

    const int32_t first = Object(0).Instance;
    RemoveArenaObject(0);
    EXPECT_EQ(ArenaModelsChanged, 1);
    EXPECT_EQ(ArenaScene()->GetMesh(first), nullptr);
    EXPECT_EQ(Object(0).Instance, -1);
    EXPECT_NE(Render->Mesh_Get(mesh), nullptr);
    RemoveArenaObject(1);
    EXPECT_EQ(Render->Mesh_Get(mesh), nullptr);
    EXPECT_EQ(Object(1).RenderMesh, -1);
    // A second removal changes nothing.
    RemoveArenaObject(1);
    EXPECT_NE(Render->Mesh_Get(Object(2).RenderMesh), nullptr);
}

TEST_F(ArenaSceneFileTest, MeshMissingFromItsFileDrawsNothing)
{
    testing::internal::CaptureStderr();
    LoadArenaScene(WriteScene("Ghost.qxs", "[Scene]\r\n[Ghost]\r\nName=Props\r\nMeshName=Nothing\r\n"));
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_EQ(ArenaObjectCount, 1);
    EXPECT_EQ(Object(0).VertexCount, 0);
    ASSERT_GE(Object(0).Instance, 0);
    EXPECT_EQ(Instance(Object(0)).Visible, 0);
    EXPECT_NE(log.find("Props.D3D"), std::string::npos) << log;
    EXPECT_NE(log.find("\"Nothing\""), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
}

TEST_F(ArenaSceneFileTest, EmitterValuesInKeyOrder)
{
    std::string text = "[Scene]\r\n[Sparks]\r\nUID=3\r\nName=Spark\r\nMesh_Type=Emitter\r\nMeshName=Spark\r\n";
    for (int32_t i = 0; i < ArenaEmitterValueCount; i++)
        text += std::string(ArenaEmitterValueKeys[static_cast<size_t>(i)]) + "=" + std::to_string(i) + ".5\r\n";
    text += "WaveInvert=Yes\r\nWaveTransverse=1\r\n";
    for (int32_t i = 0; i < ArenaEmitterForceCount; i++)
        text += std::string(ArenaEmitterForceKeys[static_cast<size_t>(i)]) + "=" + std::to_string(100 + i) + "\r\n";
    text += "[Rock]\r\nName=Props\r\nMeshName=Rock\r\n";
    LoadArenaScene(WriteScene("Emit.qxs", text));
    ASSERT_EQ(ArenaObjectCount, 2);
    const TObjectInfo& e = Object(0);
    EXPECT_EQ(e.MeshType, ARENA_MESH_EMITTER);
    EXPECT_EQ(e.UID, 3);
    EXPECT_EQ(e.MeshName, "Spark");
    EXPECT_EQ(e.Instance, -1);
    EXPECT_EQ(e.RenderMesh, -1);
    for (int32_t i = 0; i < ArenaEmitterValueCount; i++)
        EXPECT_FLOAT_EQ(e.EmitterValues[i], static_cast<float>(i) + 0.5f) << ArenaEmitterValueKeys[i];
    EXPECT_EQ(std::vector<uint8_t>(e.EmitterWaves, e.EmitterWaves + 4), (std::vector<uint8_t>{1, 0, 1, 0}));
    for (int32_t i = 0; i < ArenaEmitterForceCount; i++)
        EXPECT_FLOAT_EQ(e.EmitterForces[i], static_cast<float>(100 + i)) << ArenaEmitterForceKeys[i];
    EXPECT_GE(Object(1).Instance, 0);
}

// The look of a second file over the loaded objects: the camera and the
// objects stay.
TEST_F(ArenaSceneFileTest, ParamsTakeOnlyTheLook)
{
    LoadArenaScene(WriteScene("Two.qxs", TwoObjects));
    const int32_t instance = Object(0).Instance;
    LoadArenaSceneParams(WriteScene("Night.qxs", "[Scene]\r\nGamma=60\r\nFog=No\r\nUseShadow=No\r\n"
                                                 "Distance=2\r\nTarget_pos=9,9,9\r\nBkgColor=255\r\n"
                                                 "[Other]\r\nName=Props\r\nMeshName=Tree\r\n"));
    EXPECT_EQ(SceneInfo.Gamma, 60);
    EXPECT_EQ(SceneInfo.Fog, 0);
    EXPECT_EQ(SceneInfo.Colorize_Color, 0xFFFFFFu);
    EXPECT_FLOAT_EQ(SceneInfo.Distance, 8);
    EXPECT_FLOAT_EQ(SceneInfo.Target_pos.x, 1);
    EXPECT_EQ(ArenaObjectCount, 2);
    EXPECT_EQ(Object(0).Instance, instance);
    EXPECT_EQ(ArenaPass("MAIN")->ClearColor, 0xFF0000u);
    EXPECT_EQ(ArenaPass("1DEPTH")->ExcludeMask, 0x53u);
}

// Without its file (or with no section in it) the arena cannot be shown: the
// program stops with the file's name.
TEST_F(ArenaSceneFileTest, MissingSceneFileStops)
{
    const std::string missing = Folder_ + "Absent.qxs";
    const std::string empty = WriteScene("Empty.qxs", "no sections here\r\n");
    for (const std::string& file : {missing, empty}) {
        SCOPED_TRACE(file);
        ClearEngineErrorText();
        EXPECT_THROW(LoadArenaScene(file), TRenderFatalStop);
        EXPECT_NE(GetEngineErrorText().find("LoadArenaScene(" + file + ") -> FILE NOT FOUND!"), std::string::npos)
            << GetEngineErrorText();
        EXPECT_TRUE(SceneInfo.Objects.empty());
    }
    ClearEngineErrorText();
    EXPECT_THROW(LoadArenaSceneParams(missing), TRenderFatalStop);
    EXPECT_NE(GetEngineErrorText().find("LoadArenaSceneParams(" + missing + ") -> FILE NOT FOUND!"), std::string::npos);
}

// The sample arenas load whole: every mesh object finds its mesh, and the
// battle arenas hold the battlefield.
TEST_F(ArenaSceneFileTest, SampleArenasLoad)
{
    const struct {
        const char* File;
        bool Battle;
    } cases[] = {
        {"Plain\\Plain.qxs", true},   {"Plain\\Plain_Night.qxs", true}, {"Lake\\Lake.qxs", true},
        {"Forest\\Forest.qxs", true}, {"Tent\\Tent.qxs", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        const std::string file = ArenasFolder + c.File;
        if (!FileExistsMask(file)) {
            ADD_FAILURE() << "missing " << file;
            continue;
        }
        testing::internal::CaptureStderr();
        LoadArenaScene(file);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_GT(ArenaObjectCount, 0);
        EXPECT_EQ(SceneInfo.BattlefieldObject >= 0, c.Battle);
        for (const TObjectInfo& o : SceneInfo.Objects) {
            if (o.MeshType == ARENA_MESH_EMITTER)
                continue;
            EXPECT_GT(o.VertexCount, 0) << o.MeshName;
            EXPECT_NE(o.Texture, GameFolder + "Error.tga") << o.MeshName;
        }
        for (int32_t i = 0; i < ArenaObjectCount; i++)
            RemoveArenaObject(i);
    }
}

// The battle arena loader reads the scene on its own thread while uploads
// are deferred: that thread makes no device call; the main thread uploads.
TEST_F(ArenaSceneFileTest, LoaderThreadLeavesTheDeviceToTheMainThread)
{
    const std::string file = WriteScene("Two.qxs", TwoObjects);
    Device.Clear();
    Render->UploadQueue_Begin();
    std::thread loader([&] { LoadArenaScene(file); });
    loader.join();
    Render->UploadQueue_End();
    for (const TRecordingDevice::TCall& call : Device.Calls())
        EXPECT_EQ(call.Thread, std::this_thread::get_id()) << call.Text;
    ASSERT_EQ(ArenaObjectCount, 2);
    EXPECT_FALSE(Render->UploadQueue_Empty());
    Render->UploadQueue_Process(1 << 30);
    EXPECT_TRUE(Render->UploadQueue_Empty());
    EXPECT_EQ(Render->Mesh_Get(Object(0).RenderMesh)->State, RESOURCE_ON_DEVICE);
}
