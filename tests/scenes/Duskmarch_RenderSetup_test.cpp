#include <gtest/gtest.h>

#include "model/Hooks.h"
#include "model/Support.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_StateKey.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/TextureFiles.h"

class RenderSetupTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        SetGameFolders(Folder.ProgramPath());
        Folder.WriteProgramFile("Interface\\Shaders\\Sprite_VS.bin", "//GLSL-VS\nvoid vs_main() {}\n");
        Folder.WriteProgramFile("Interface\\Shaders\\Sprite_PS.bin", "//GLSL-PS\nvoid ps_main() {}\n");
        WriteImage("Interface\\Unknown.tga");
        MainRender = Render.get();
        GUIVirtualSize = {1, "GUI", 1500, 1050};
    }

    void TearDown() override
    {
        RemoveGameRenderHooks();
        MainRender = nullptr;
        GUIVirtualSize = {};
        GUIQuadMesh = MapGUIQuad = ArenaGUIQuad = -1;
        TRecordingRenderTest::TearDown();
    }

    std::string WriteImage(const std::string& relative)
    {
        return Write(relative, TextureFiles::MakeTGA32(2, 2, std::vector<uint8_t>(16, 0xFF)));
    }

    // The file name of a sprite's stage-0 texture.
    std::string SpriteImage(int32_t sprite)
    {
        const T3D_Texture* texture = TextureAt(*Render, Render->Sprite_Get(sprite)->Texture);
        return texture == nullptr ? std::string() : texture->Folder + texture->FileName;
    }

    std::string Lower(const std::string& relative) { return LowerCaseStr(Folder.ProgramPath() + relative); }
};

TEST_F(RenderSetupTest, LoadSpriteFallsBackToTheOtherExtensionAndThePlaceholder)
{
    WriteImage("Icons\\Sword.TGA");
    WriteImage("Icons\\Shield.DDS.tga"); // not a candidate of anything
    WriteImage("My.Mod\\Back.TGA");
    WriteImage("My.Mod\\Flag.TGA");
    const std::string root = Folder.ProgramPath();
    struct Case {
        std::string file, loaded;
    } cases[] = {
        {root + "Icons\\Sword", "icons\\sword.tga"},     // ".TGA" appended
        {root + "Icons\\Axe", "interface\\unknown.tga"}, // neither .TGA nor .DDS
        {root + "My.Mod\\Back.dds", "my.mod\\back.tga"}, // a missing .dds tries .TGA
        {root + "My.Mod\\Flag", "my.mod\\flag.tga"},     // the folder's point does not count
        {root + "Icons\\Sword.tga", "icons\\sword.tga"},
    };
    for (const Case& c : cases) {
        const int32_t sprite = LoadSprite(c.file, 1);
        EXPECT_EQ(SpriteImage(sprite), Lower(c.loaded)) << c.file;
        EXPECT_EQ(Render->Sprite_Get(sprite)->StageTextures[0].Clamp, 1);
        EXPECT_EQ(Render->Sprite_Get(sprite)->Width, 2);
    }
    // A missing .TGA tries .DDS: written here as a DDS the loader reads.
    Write("Icons\\Bow.DDS", TextureFiles::MakeDDS(0x31545844, 4, 4, 1, std::vector<uint8_t>(8, 0)));
    EXPECT_EQ(SpriteImage(LoadSprite(root + "Icons\\Bow", 0)), Lower("icons\\bow.dds"));
}

TEST_F(RenderSetupTest, InterfaceSpritesShareShadersAndStates)
{
    const int32_t sprite = NewInterfaceSprite();
    const T3D_Sprite* s = Render->Sprite_Get(sprite);
    ASSERT_EQ(s->Shaders.size(), 2u);
    EXPECT_EQ(s->Shaders[0].PassName, "GUI");
    EXPECT_EQ(s->Shaders[0].Kind, 1);
    EXPECT_EQ(s->Shaders[1].Kind, 0);
    EXPECT_EQ(s->StateKey.Mask, RSK_FILTER(0) | RSK_ALPHAMODE | RSK_SRCBLEND | RSK_DESTBLEND | RSK_CULL);
    EXPECT_EQ(s->StateKey.Value, RSK_ALPHA_BLEND | 0x20000000u | 0x80000000u | 0x4u);
}

TEST_F(RenderSetupTest, CloneCopiesQuadsTexturesAndShadersButNotConstants)
{
    const int32_t source = LoadSprite(Folder.ProgramPath() + "Interface\\Unknown.tga", 0);
    T3D_Sprite* s = Render->Sprite_Get(source);
    s->AddQuad(-1, 4, 4, 10, 0, 0, 0, 1, 1);
    s->AddQuad(-1, 4, 4, 20, 0, 0, 0, 1, 1);
    s->Constants.SetFloat(CONSTANT_PIXEL, 0, "Alpha", 0.5f, 1);
    const int32_t clone = CloneSprite(source);
    const T3D_Sprite* c = Render->Sprite_Get(clone);
    EXPECT_EQ(c->QuadCount(), 3);
    EXPECT_EQ(c->Vertices.size(), s->Vertices.size());
    EXPECT_FLOAT_EQ(c->Vertices[8].X, 20);
    EXPECT_EQ(c->Texture, s->Texture);
    EXPECT_EQ(c->Shaders.size(), 2u);
    EXPECT_EQ(c->StateKey.Value, s->StateKey.Value);
    EXPECT_TRUE(c->Constants.Constants.empty());
    EXPECT_EQ(CloneSprite(9999), -1);
}

TEST_F(RenderSetupTest, FileVariants)
{
    const std::string root = Folder.ProgramPath();
    std::string name;
    EXPECT_FALSE(FindFileVariant(root + "Stone_d.dds", "_s", "dds", name));
    EXPECT_EQ(name, root + "Stone.dds");
    WriteImage("Stone_s.dds");
    EXPECT_TRUE(FindFileVariant(root + "Stone_d.dds", "_s", "dds", name));
    EXPECT_EQ(name, root + "Stone_s.dds");
    WriteImage("Wood.tga");
    EXPECT_TRUE(FindFileVariant(root + "Wood.dds", "", ".tga", name));
    EXPECT_EQ(name, root + "Wood.tga");
}

TEST_F(RenderSetupTest, GUIQuadsOverTheScenes)
{
    Render->ScreenWidth = 1920;
    Render->ScreenHeight = 1080;
    T3D_Scene* map = Render->Scene_Get(Render->Scene_Add("MAP"));
    map->AddPass("MAIN", 0, 0, 0, 0);
    T3D_RenderPass* gui =
        map->Passes[static_cast<size_t>(map->AddPass("GUI", D3DFMT_A8R8G8B8, D3DFMT_D24S8, 1920, 1080))];
    CreateGUIQuadMesh(1920, 1080);
    const T3D_Mesh* mesh = Render->Mesh_Get(GUIQuadMesh);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->VertexFormat, MESH_SPRITE);
    EXPECT_EQ(mesh->IndexCount, 6);

    CreateMapGUIQuad(0x4000);
    const T3D_SceneMesh* quad = map->GetMesh(MapGUIQuad);
    ASSERT_NE(quad, nullptr);
    EXPECT_EQ(quad->Name, "GUI_Quad_Mesh");
    EXPECT_EQ(quad->NoCull, 1);
    EXPECT_EQ(quad->SortPriority, 15);
    EXPECT_EQ(quad->GroupBits, 0x4000u);
    ASSERT_EQ(quad->StageTextures.size(), 1u);
    EXPECT_EQ(quad->StageTextures[0].TextureIndex, gui->TargetTexture);
    EXPECT_EQ(quad->StageTextures[0].Clamp, 1);
    EXPECT_EQ(quad->PassShaders.size(), 2u);
    EXPECT_EQ(quad->PassShaders[0].PassName, "MAIN");

    // Without a scene "ARENA" or with the flag off nothing is added.
    CreateArenaGUIQuad(73);
    EXPECT_EQ(ArenaGUIQuad, -1);
    GUIVirtualSize.Flag = 0;
    const size_t instances = map->_s_Meshes.size();
    CreateMapGUIQuad(0x4000);
    EXPECT_EQ(map->_s_Meshes.size(), instances);
}

TEST_F(RenderSetupTest, HooksReachTheRenderer)
{
    WriteImage("Icons\\Sword.TGA");
    InstallGameRenderHooks();
    const int32_t sprite = RenderHooks().LoadSprite(Folder.ProgramPath() + "Icons\\Sword", 0);
    EXPECT_EQ(SpriteImage(sprite), Lower("icons\\sword.tga"));
    const int32_t clone = RenderHooks().CloneSprite(sprite);
    EXPECT_NE(Render->Sprite_Get(clone), nullptr);
    const int32_t mesh = RenderHooks().Mesh_Add(MESH_TEXTURED, "m");
    RenderHooks().Mesh_SetTexture(mesh, 1, 7);
    EXPECT_EQ(Render->Mesh_Get(mesh)->StageTextures[0].TextureSlot, 7);
    TRenderTargetLock lock;
    EXPECT_FALSE(RenderHooks().RenderTarget_LockRead(12345, lock));
    RemoveGameRenderHooks();
    EXPECT_EQ(RenderHooks().LoadSprite("x", 0), 0);
}

// The baked fonts of the sample installation through the game's hooks.
TEST_F(RenderSetupTest, LoadFontsFillsEveryFontSlot)
{
    InstallGameRenderHooks();
    for (int32_t& slot : FontSlots)
        slot = -1;
    LoadFonts(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\Interface\\Common\\Fonts\\");
    for (int i = 1; i <= FontSlotCount; i++)
        EXPECT_NE(Render->Font_Get(FontSlots[i]), nullptr) << "slot " << i;
}
