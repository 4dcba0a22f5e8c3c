#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/Support.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_StateKey.h"
#include "scenes/Arena_Objects.h"
#include "scenes/Arena_Scene.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "tests/render/RenderTestSupport.h"

namespace arena_objects_test {

// The arena scene on the recording device with the installation's shaders.
class ArenaObjectsTest : public TRecordingRenderTest {
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
        ArenaSettings = TArenaSettings{};
        ArenaSettings.PickingSize = 256;
        ArenaSettings.ShadowMapSize = 256;
        InitArenaDefaults();
        CreateArenaScene();
        Mesh = Render->Mesh_Add(MESH_NORMALMAPPED, "Box", 0);
        ArenaRedrawMain = ArenaRedrawShadows = ArenaLoaded = ArenaModelsChanged = 0;
    }
    void TearDown() override
    {
        SceneInfo = TSceneInfo{};
        ArenaSettings = TArenaSettings{};
        RenderSettings = TRenderSettings{};
        MainRender = nullptr;
        TRecordingRenderTest::TearDown();
    }

    // An object of the type with its own instance; returns its index.
    int32_t AddObject(uint8_t type = ARENA_MESH_NORMALMAPPED)
    {
        TObjectInfo o;
        o.MeshType = type;
        o.Visible = 1;
        o.Scale = 100;
        o.Ambient = o.Gamma = 100;
        o.Specular_SRE = 100;
        o.Colorization_Color = 0xFFFFFF;
        o.Orientation = TVec3{0, 1, 0};
        o.RenderMesh = Mesh;
        o.Instance = ArenaScene()->AddMesh(Mesh, "Object" + std::to_string(SceneInfo.Objects.size()));
        SceneInfo.Objects.push_back(o);
        return static_cast<int32_t>(SceneInfo.Objects.size()) - 1;
    }
    T3D_SceneMesh& Instance(int32_t i) { return *ArenaScene()->GetMesh(SceneInfo.Objects[i].Instance); }
    // The file (lower case, no folder) of the pixel or vertex program a pass
    // takes for the instance, "" when none.
    std::string Shader(int32_t i, const std::string& pass, uint8_t kind)
    {
        for (const T3D_PassShader& s : Instance(i).PassShaders)
            if (s.PassName == pass && s.Kind == kind)
                return Render->Shaders[static_cast<size_t>(s.ShaderIndex)]->FileName;
        return "";
    }
    uint32_t State(int32_t i, uint32_t field) { return Instance(i).StateKey.Value & field; }

    int32_t Mesh = -1;
};

// The tag request: include words shown, minus words hidden, words matched as
// parts of the object's tags in any case; untagged objects keep their state.
TEST(ArenaObjectTags, IncludeAndMinusWords)
{
    const std::vector<std::string> tags = {"winter", "Winter Snow", "-snow", "", "summer", "-town -village"};
    const struct {
        const char* request;
        std::vector<int> visible; // per object; the untagged one starts hidden
    } cases[] = {
        {"winter -snow", {1, 0, 1, 0, 0, 1}},
        {"SNOW", {0, 1, 0, 0, 0, 1}},
        {"rain", {0, 0, 1, 0, 0, 1}},
        {"town", {0, 0, 1, 0, 0, 0}},
        {"-snow", {1, 0, 1, 0, 1, 1}},
        {"winter - ", {1, 1, 1, 0, 0, 1}}, // a lone minus is no word
        {"  ", {1, 1, 1, 1, 1, 1}},        // an empty request shows everything
        {"", {1, 1, 1, 1, 1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        SceneInfo = TSceneInfo{};
        for (const std::string& t : tags) {
            TObjectInfo o;
            o.Tags = t;
            o.Visible = t.empty() ? 0 : 1;
            SceneInfo.Objects.push_back(o);
        }
        ArenaLoaded = ArenaModelsChanged = 0;
        SetArenaObjectTags(c.request);
        for (size_t i = 0; i < tags.size(); i++)
            EXPECT_EQ(SceneInfo.Objects[i].Visible, c.visible[i]) << "object " << i << " \"" << tags[i] << "\"";
        EXPECT_EQ(ArenaLoaded, 1);
        EXPECT_EQ(ArenaModelsChanged, 1);
    }
    SceneInfo = TSceneInfo{};
}

TEST_F(ArenaObjectsTest, TagsMoveTheInstancesVisibility)
{
    const int32_t a = AddObject(), b = AddObject();
    SceneInfo.Objects[a].Tags = "island";
    SceneInfo.Objects[b].Tags = "collision";
    SetArenaObjectTags("island -collision");
    EXPECT_EQ(Instance(a).Visible, 1);
    EXPECT_EQ(Instance(b).Visible, 0);
    EXPECT_EQ(ArenaRedrawMain, 1);
    EXPECT_EQ(ArenaRedrawShadows, 1);
}

// Mode 0 by "Alpha": sort priority, groups, blending, depth write and the
// programs of the depth and index passes.
TEST_F(ArenaObjectsTest, AlphaModesOfMaterials)
{
    const struct {
        int32_t alpha;
        bool atoc;
        int32_t sort;
        uint32_t groups;
        uint32_t alphaMode;
        int32_t depthWrite;
        uint32_t destBlend; // in place, meaningful when blending
        const char* depth;
        const char* picking;
        bool redraw;
    } cases[] = {
        {ARENA_ALPHA_NONE, false, 2, 0x0A, RSK_ALPHA_OPAQUE, 1, 0, "depth_ps.bin", "picking_index_ps.bin", false},
        {ARENA_ALPHA_TEST, false, 1, 0x0A, RSK_ALPHA_TEST128, 1, 0, "depth_alpha_ps.bin", "picking_index_alpha_ps.bin",
         false},
        {ARENA_ALPHA_TEST, true, 1, 0x0A, RSK_ALPHA_COVERAGE, 1, 0, "depth_alpha_ps.bin", "picking_index_alpha_ps.bin",
         false},
        {ARENA_ALPHA_BLEND, false, 12, 0x2A, RSK_ALPHA_BLEND, 1, 0x80000000u, "depth_alpha_ps.bin",
         "picking_index_alpha_ps.bin", false},
        {ARENA_ALPHA_ADD, false, 13, 0x2A, RSK_ALPHA_BLEND, 0, 0, "depth_alpha_ps.bin", "picking_index_alpha_ps.bin",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("alpha " + std::to_string(c.alpha) + (c.atoc ? " with coverage" : ""));
        const int32_t i = AddObject();
        SceneInfo.Objects[i].Alpha = c.alpha;
        SceneInfo.Objects[i].Shadow = 1;
        SceneInfo.UseAlfaTestATOC = c.atoc ? 1 : 0;
        ArenaRedrawMain = ArenaLoaded = 0;
        SetupArenaObjectMaterial(i, 0);
        EXPECT_EQ(Instance(i).SortPriority, c.sort);
        EXPECT_EQ(Instance(i).GroupBits, c.groups);
        EXPECT_EQ(State(i, RSK_ALPHAMODE), c.alphaMode);
        EXPECT_EQ(State(i, RSK_DEPTHWRITE) != 0, c.depthWrite != 0);
        EXPECT_NE(State(i, RSK_DEPTHTEST), 0u);
        if (c.alphaMode == RSK_ALPHA_BLEND) {
            EXPECT_EQ(State(i, RSK_SRCBLEND), 0x20000000u); // source alpha
            EXPECT_EQ(State(i, RSK_DESTBLEND), c.destBlend);
        }
        for (const char* pass : {"1DEPTH", "2DEPTH", "3DEPTH"})
            EXPECT_EQ(Shader(i, pass, 0), c.depth) << pass;
        EXPECT_EQ(Shader(i, "CP_INDEX", 0), c.picking);
        EXPECT_EQ(ArenaRedrawMain == 1 && ArenaLoaded == 1, c.redraw);
    }
}

// Sides, the shadow of billboards and water, the battlefield and a
// billboard that follows the camera.
TEST_F(ArenaObjectsTest, CullingGroupsAndSpecialObjects)
{
    const struct {
        uint8_t type;
        int32_t sides;
        uint32_t cull;
        uint32_t groups;
    } cases[] = {
        {ARENA_MESH_NORMALMAPPED, ARENA_SIDES_CONVEX, ARENA_CULL_CLOCKWISE, 0x0A},
        {ARENA_MESH_NORMALMAPPED, ARENA_SIDES_TWO_SIDED, ARENA_CULL_NONE, 0x0A},
        {ARENA_MESH_NORMALMAPPED, ARENA_SIDES_CONCAVE, ARENA_CULL_COUNTER, 0x0A},
        {ARENA_MESH_WATER, ARENA_SIDES_CONVEX, ARENA_CULL_CLOCKWISE, 0x09}, // water casts no shadow
        {ARENA_MESH_BILLBOARD, ARENA_SIDES_CONVEX, ARENA_CULL_CLOCKWISE, 0x09},
    };
    for (const auto& c : cases) {
        const int32_t i = AddObject(c.type);
        SceneInfo.Objects[i].Sides = c.sides;
        SceneInfo.Objects[i].Shadow = 1;
        SetupArenaObjectMaterial(i, 0);
        EXPECT_EQ(State(i, RSK_CULL), c.cull) << i;
        EXPECT_EQ(Instance(i).GroupBits, c.groups) << i;
    }

    const int32_t field = AddObject();
    SceneInfo.BattlefieldObject = field;
    SceneInfo.Objects[field].Alpha = ARENA_ALPHA_ADD;
    SetupArenaObjectMaterial(field, 0);
    SetupArenaObjectMaterial(field, 4);
    EXPECT_EQ(Instance(field).SortPriority, 5);
    EXPECT_EQ(Instance(field).GroupBits, 0x49u);
    EXPECT_EQ(State(field, RSK_DESTBLEND), 0u); // one: the grid adds its light
    EXPECT_EQ(Shader(field, "MAIN", 0), "selection_ps.bin");
    const T3D_Constant* energy = nullptr;
    for (const T3D_Constant& k : Instance(field).Constants.Constants)
        if (k.Name == "k_SREnergy")
            energy = &k;
    ASSERT_NE(energy, nullptr);
    EXPECT_FLOAT_EQ(energy->Data[0], 0.1f);

    const int32_t follower = AddObject(ARENA_MESH_BILLBOARD);
    SceneInfo.Objects[follower].OffsetIgnoration = 1;
    SetupArenaObjectMaterial(follower, 0);
    EXPECT_EQ(Instance(follower).SortPriority, 0);
    EXPECT_EQ(Instance(follower).GroupBits & 0x80u, 0x80u);
    EXPECT_EQ(State(follower, RSK_DEPTHWRITE), 0u);
    EXPECT_EQ(State(follower, RSK_DEPTHTEST), 0u);
}

// The main pixel program of mode 4 by type, sides, specular and test mode.
TEST(ArenaObjectShaders, MainProgramNames)
{
    const struct {
        uint8_t type;
        int32_t sides;
        uint8_t useSpecular;
        int32_t specularType;
        uint8_t testMode;
        const char* name;
    } cases[] = {
        {ARENA_MESH_TEXTURED, ARENA_SIDES_CONVEX, 0, 0, 0, "Textured"},
        {ARENA_MESH_TEXTURED, ARENA_SIDES_TWO_SIDED, 1, ARENA_SPECULAR_COOK, 0, "Textured_DS"},
        {ARENA_MESH_NORMALMAPPED, ARENA_SIDES_CONVEX, 0, ARENA_SPECULAR_COOK, 0, "Normaled"},
        {ARENA_MESH_NORMALMAPPED, ARENA_SIDES_CONVEX, 1, ARENA_SPECULAR_COOK, 0, "Normaled_Cook"},
        {ARENA_MESH_NORMALMAPPED, ARENA_SIDES_TWO_SIDED, 1, ARENA_SPECULAR_PHONG, 0, "Normaled_DS_Phong"},
        {ARENA_MESH_NORMALMAPPED, ARENA_SIDES_TWO_SIDED, 1, ARENA_SPECULAR_NONE, 0, "Normaled_DS"},
        {ARENA_MESH_SKINNED, ARENA_SIDES_CONVEX, 1, ARENA_SPECULAR_PHONG, 0, "Normaled_Phong"},
        {ARENA_MESH_SKINNED, ARENA_SIDES_CONVEX, 1, ARENA_SPECULAR_PHONG, 1, "Normaled_Test"},
        {ARENA_MESH_GRASS, ARENA_SIDES_TWO_SIDED, 1, ARENA_SPECULAR_COOK, 0, "Grass"},
        {ARENA_MESH_TREECOMA, ARENA_SIDES_TWO_SIDED, 0, 0, 1, "TreeComa_Test"},
        {ARENA_MESH_WATER, ARENA_SIDES_CONVEX, 0, 0, 0, "Water"},
        {ARENA_MESH_BILLBOARD, ARENA_SIDES_TWO_SIDED, 1, ARENA_SPECULAR_COOK, 0, "Flat"},
        {ARENA_MESH_BILLBOARD, ARENA_SIDES_CONVEX, 0, 0, 1, "Flat_Test"},
    };
    for (const auto& c : cases) {
        TObjectInfo o;
        o.MeshType = c.type;
        o.Sides = c.sides;
        o.UseSpecular = c.useSpecular;
        o.SpecularType = c.specularType;
        SceneInfo.UseTestMode = c.testMode;
        EXPECT_EQ(ArenaObjectMainShader(o), c.name);
    }
    SceneInfo = TSceneInfo{};
}

TEST_F(ArenaObjectsTest, MainProgramSetForEveryObjectButTheBattlefield)
{
    const int32_t a = AddObject(), field = AddObject();
    SceneInfo.Objects[a].Sides = ARENA_SIDES_TWO_SIDED;
    SceneInfo.BattlefieldObject = field;
    ApplyArenaObjectShaders();
    EXPECT_EQ(Shader(a, "MAIN", 0), "normaled_ds_ps.bin");
    EXPECT_EQ(Shader(field, "MAIN", 0), "");
}

// Placement: scale, the two turns, the turn that stands the object up along
// its orientation, the position and, for camera followers, the camera.
TEST_F(ArenaObjectsTest, PlacementRotations)
{
    auto apply = [&](int32_t i, const TVec3& p) {
        TVec3 out;
        Vec3TransformCoord(p, *Instance(i).World, out);
        return out;
    };
    auto expectNear = [](const TVec3& a, const TVec3& b, const char* what) {
        EXPECT_NEAR(a.x, b.x, 1e-4f) << what;
        EXPECT_NEAR(a.y, b.y, 1e-4f) << what;
        EXPECT_NEAR(a.z, b.z, 1e-4f) << what;
    };
    const int32_t plain = AddObject();
    TObjectInfo& o = SceneInfo.Objects[plain];
    o.Scale = 200;
    o.X = 3;
    o.Y = 1;
    o.Z = -2;
    PlaceArenaObject(plain);
    expectNear(apply(plain, {0, 0, 0}), {3, 1, -2}, "origin to the position");
    expectNear(apply(plain, {1, 0, 0}), {5, 1, -2}, "scaled by 2");

    // Turned about Y by 90 degrees: +x goes where the Y turn takes it, and
    // the object still stands up.
    o.Scale = 100;
    o.RotateV = 90;
    PlaceArenaObject(plain);
    const TVec3 x = apply(plain, {1, 0, 0});
    expectNear({x.x - 3, x.y - 1, x.z + 2}, {0, 0, -1}, "x turned about y");
    const TVec3 up = apply(plain, {0, 1, 0});
    expectNear({up.x - 3, up.y - 1, up.z + 2}, {0, 1, 0}, "up stays up");

    // An orientation along +x lays the object's up along +x.
    const int32_t laid = AddObject();
    SceneInfo.Objects[laid].Orientation = TVec3{1, 0, 0};
    PlaceArenaObject(laid);
    expectNear(apply(laid, {0, 1, 0}), {1, 0, 0}, "up along the orientation");
    // An orientation along -z.
    SceneInfo.Objects[laid].Orientation = TVec3{0, 0, -1};
    PlaceArenaObject(laid);
    expectNear(apply(laid, {0, 1, 0}), {0, 0, -1}, "up along -z");
    // RotateG turns about X first.
    SceneInfo.Objects[laid].Orientation = TVec3{0, 1, 0};
    SceneInfo.Objects[laid].RotateG = 90;
    PlaceArenaObject(laid);
    expectNear(apply(laid, {0, 1, 0}), {0, 0, 1}, "up turned about x");

    const int32_t follower = AddObject(ARENA_MESH_BILLBOARD);
    SceneInfo.Objects[follower].OffsetIgnoration = 1;
    SceneInfo.Objects[follower].X = 1;
    SceneInfo.CameraPos = TVec3{10, 20, 30};
    PlaceArenaObject(follower);
    expectNear(apply(follower, {0, 0, 0}), {-9, -20, -30}, "moved by the camera");
}

// Mode 1: a clip named after its file, known to every object of the mesh;
// without a file the clip is cleared.
TEST_F(ArenaObjectsTest, AnimationClipNamesAndItsAbsence)
{
    const int32_t a = AddObject(ARENA_MESH_SKINNED);
    SceneInfo.Objects[a].AnimationClip = "old";
    SetupArenaObjectMaterial(a, 1);
    EXPECT_EQ(SceneInfo.Objects[a].AnimationClip, "");
    // A mesh that already has the clip loads nothing again.
    T3D_Mesh& mesh = *Render->Mesh_Get(Mesh);
    mesh.Skin.Clips.push_back({"Sway", 1000});
    const int32_t b = AddObject(ARENA_MESH_SKINNED);
    SceneInfo.Objects[b].Animation = "C:\\Scene\\Sway.DAE";
    SetupArenaObjectMaterial(b, 1);
    EXPECT_EQ(SceneInfo.Objects[b].AnimationClip, "Sway");
    ASSERT_EQ(SceneInfo.Objects[b].Animations.size(), 1u);
    EXPECT_EQ(SceneInfo.Objects[b].Animations[0].Clip, "Sway");
    SetupArenaObjectMaterial(b, 1);
    EXPECT_EQ(SceneInfo.Objects[b].Animations.size(), 1u);
}

// Mode 2: an attachment found by UID or by name, attached once, detached
// when its slot is emptied.
TEST_F(ArenaObjectsTest, AttachmentsByUidAndName)
{
    const int32_t holder = AddObject(ARENA_MESH_SKINNED), torch = AddObject(), flag = AddObject();
    SceneInfo.Objects[torch].UID = 7;
    SceneInfo.Objects[torch].AttachName = "Torch";
    SceneInfo.Objects[flag].AttachName = "Flag";
    Instance(torch).Name = "Torch";
    Instance(flag).Name = "Flag";
    TObjectInfo& h = SceneInfo.Objects[holder];
    h.AddObj[0].UID = 7;
    h.AddObj[0].ObjectName = "Whatever";
    h.AddObj[3].ObjectName = "Flag";
    h.AddObj[4].ObjectName = "Nothing";
    SetupArenaObjectMaterial(holder, 2);
    EXPECT_EQ(h.AddObj[0].AttachedName, "Torch");
    EXPECT_EQ(h.AddObj[0].ObjectName, "Torch");
    EXPECT_EQ(h.AddObj[3].AttachedName, "Flag");
    EXPECT_EQ(h.AddObj[4].AttachedName, "");

    h.AddObj[0].ObjectName.clear();
    SetupArenaObjectMaterial(holder, 2);
    EXPECT_EQ(h.AddObj[0].AttachedName, "");
    EXPECT_EQ(h.AddObj[0].UID, 0);
}

} // namespace arena_objects_test
