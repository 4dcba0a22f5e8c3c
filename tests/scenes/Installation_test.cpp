// The sample installation holds every file the scenes load without asking
// first, and each one loads through the renderer's own loaders: the terrain
// textures and libraries, the interface files of the scenes, the shader
// programs and the pairs the passes combine (linked on the real device), the
// arena scene files with their meshes and textures, the personage models of
// the unit types and the item meshes. Each check collects every missing file
// of its kind and reports them together.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "battle/BattleArena.h"
#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/tables/Global.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Models.h"
#include "tests/render/RenderTestSupport.h"
#include "tests/scenes/SceneShaderPairs.h"
#include "tests/support/TestSupport.h"
#include "tools/TextureFiles.h"

namespace {

namespace fs = std::filesystem;

const std::string SampleInstallFolder = std::string(DUSKMARCH_INSTALL) + "/";

// The files a check looked for and did not find, listed once at its end.
class TMissingFiles {
public:
    bool Present(const std::string& file)
    {
        if (FileExistsMask(file))
            return true;
        Add(file);
        return false;
    }
    void Add(const std::string& file)
    {
        if (std::find(Files.begin(), Files.end(), file) == Files.end())
            Files.push_back(file);
    }
    std::string Text() const
    {
        std::string text;
        for (const std::string& file : Files)
            text += "\n  missing: " + file;
        return text;
    }
    bool Empty() const { return Files.empty(); }

private:
    std::vector<std::string> Files;
};

// An installation that is the sample one seen through links, except that
// its "Landscape" folder is a real folder of links: a test may leave a file
// of it out or put one in without touching the build's installation.
class TLinkedInstallation {
public:
    explicit TLinkedInstallation(const std::set<std::string>& leftOut = {})
    {
        for (const fs::directory_entry& entry : fs::directory_iterator(SampleInstallFolder)) {
            const std::string name = entry.path().filename().string();
            if (name != "Landscape") {
                fs::create_symlink(entry.path(), fs::path(Folder.Path()) / name);
                continue;
            }
            fs::create_directory(fs::path(Folder.Path()) / name);
            for (const fs::directory_entry& inner : fs::directory_iterator(entry.path())) {
                const std::string innerName = inner.path().filename().string();
                if (leftOut.count(innerName) == 0)
                    fs::create_symlink(inner.path(), fs::path(Folder.Path()) / name / innerName);
            }
        }
    }

    std::string ProgramPath() const { return Folder.ProgramPath(); }
    void Write(const std::string& relative, const std::vector<uint8_t>& bytes) const
    {
        Folder.WriteProgramFile(relative, std::string(bytes.begin(), bytes.end()));
    }

private:
    TTempFolder Folder;
};

// The text after "Load_DDS(" up to ")" of the engine's last fatal line.
std::string FileOfFatalLine(const std::string& text)
{
    const size_t open = text.rfind("Load_DDS(");
    if (open == std::string::npos)
        return std::string();
    const size_t close = text.find(") -> FILE NOT FOUND!", open);
    return close == std::string::npos ? std::string() : text.substr(open + 9, close - open - 9);
}

// The arena scene file of a name and a time-of-day suffix ("" or "_Night"):
// scenes whose name holds "Plain" share the "Plain" folder, every other one
// has its own.
std::string ArenaSceneFile(const std::string& name, const std::string& suffix)
{
    if (name.find("Plain") != std::string::npos)
        return ArenasFolder + "Plain\\" + name + suffix + ".qxs";
    return ArenasFolder + name + "\\" + name + suffix + ".qxs";
}

// The vertex format an arena object of a "Mesh_Type" is loaded with.
int32_t ArenaMeshFormat(const std::string& type)
{
    if (type == "Grass")
        return MESH_GRASS;
    if (type == "TreeComa")
        return MESH_TREECOMA;
    if (type == "Water")
        return MESH_WATER;
    if (type == "Skinned")
        return MESH_SKINNED;
    return MESH_NORMALMAPPED;
}

// Whether a folder below the installation holds a file of the extension
// (in any case) anywhere below it.
bool FolderHoldsAny(const std::string& relative, const std::string& extension)
{
    std::error_code error;
    for (fs::recursive_directory_iterator it(SampleInstallFolder + relative, error), end; !error && it != end;
         it.increment(error))
        if (it->is_regular_file() && LowerCaseStr(it->path().extension().string()) == extension)
            return true;
    return false;
}

// The pictures the party screens load by name: each where its screen looks
// for it, in the form its loader reads and the size the screen places it by
// (0: any). Names are the interface folder's, in the game's own spelling.
struct TScreenPicture {
    const char* File;
    D3DFORMAT Form;
    int32_t Width, Height;
};

constexpr D3DFORMAT Tga32 = D3DFMT_A8R8G8B8, Dxt1 = D3DFMT_DXT1, Dxt5 = D3DFMT_DXT5;

const TScreenPicture ScreenPictures[] = {
    // The cursor kinds and the missing-picture stand-ins.
    {"Common\\Cursors\\Cursor.tga", Tga32, 32, 32},
    {"Common\\Cursors\\Loading.tga", Tga32, 24, 32},
    {"Common\\Cursors\\Cursor_battle.tga", Tga32, 36, 36},
    {"Common\\Cursors\\Cursor_action.tga", Tga32, 32, 32},
    {"Common\\Cursors\\Cursor_enter.tga", Tga32, 34, 34},
    {"Common\\Cursors\\Cursor_move.tga", Tga32, 32, 32},
    {"Common\\Cursors\\Inspect.tga", Tga32, 32, 32},
    {"Common\\Cursors\\Cursor_stop.tga", Tga32, 32, 32},
    {"Unknown.tga", Tga32, 0, 0},
    {"Common\\Empty.tga", Tga32, 0, 0},
    // Hints.
    {"Common\\Black.DDS", Dxt1, 0, 0},
    {"Common\\TextFrame_1-01little.DDS", Dxt5, 64, 32},
    {"Common\\TextFrameCorner_little.DDS", Dxt5, 32, 32},
    {"Common\\LittleFrame_line.DDS", Dxt5, 32, 12},
    {"Common\\LittleFrame_corner.DDS", Dxt5, 16, 16},
    {"Common\\HINT_Arrow.DDS", Dxt5, 24, 16},
    {"Common\\HINT_Arrow_Diagonal.DDS", Dxt5, 32, 32},
    // Highlights and locks (sized by their screens).
    {"Common\\Army_Selection.DDS", Dxt5, 0, 0},
    {"Common\\Army_Locked.DDS", Dxt5, 0, 0},
    {"Common\\Invent_Selection.DDS", Dxt5, 0, 0},
    {"Common\\Invent_Selection_List.DDS", Dxt5, 0, 0},
    {"Common\\Item_Locked.DDS", Dxt5, 0, 0},
    {"Common\\Icons\\Personages\\Random.DDS", Dxt5, 230, 190},
    // Army slots (81 x 98: portrait at (3, 8), bar at (3, 89)), bars, tree frames.
    {"Windows\\Common\\slot_army.DDS", Dxt5, 81, 98},
    {"Windows\\Common\\slot_army_active.DDS", Dxt5, 81, 98},
    {"Windows\\Common\\slot_melee.DDS", Dxt5, 81, 98},
    {"Windows\\Common\\slot_range.DDS", Dxt5, 81, 98},
    {"Windows\\Common\\slot_support.DDS", Dxt5, 81, 98},
    {"Windows\\Common\\HealthBar.tga", Tga32, 75, 7},
    {"Windows\\Common\\HealthBar_Selected.tga", Tga32, 75, 7},
    {"Windows\\Common\\HealthBarRed.tga", Tga32, 75, 7},
    {"Windows\\Common\\HealthBarRed_Selected.tga", Tga32, 75, 7},
    {"Windows\\Common\\HealthBarGray.tga", Tga32, 75, 7},
    {"Windows\\Common\\HealthBarGray_Selected.tga", Tga32, 75, 7},
    {"Windows\\Battle\\HealthBar1.tga", Tga32, 70, 6},
    {"Windows\\Battle\\HealthBar1_Red.tga", Tga32, 70, 6},
    {"Windows\\Battle\\HealthBar1_Gray.tga", Tga32, 70, 6},
    {"Windows\\Common\\slot_talent_inactive.DDS", Dxt5, 98, 101},
    {"Windows\\Common\\slot_talent_active.DDS", Dxt5, 98, 101},
    // Buttons: the shop cell's (in a 96-wide cell), the hire card's, the encounter row's.
    {"Windows\\Common\\button_trade_inactive.DDS", Dxt5, 92, 30},
    {"Windows\\Common\\button_trade_active.DDS", Dxt5, 92, 30},
    {"Windows\\Common\\button_trade_click.DDS", Dxt5, 92, 30},
    {"Windows\\Common\\button_trade_disabled.DDS", Dxt5, 92, 30},
    {"Windows\\Common\\button_trade_disabled.tga", Tga32, 116, 32},
    {"Windows\\Common\\button_recruit_inactive.tga", Tga32, 116, 32},
    {"Windows\\Common\\button_recruit_active.tga", Tga32, 116, 32},
    {"Windows\\Common\\button_recruit_click.tga", Tga32, 116, 32},
    {"Windows\\Common\\button_talk1_inactive.DDS", Dxt5, 132, 34},
    {"Windows\\Common\\button_talk1_active.DDS", Dxt5, 132, 34},
    {"Windows\\Common\\button_talk1_click.DDS", Dxt5, 132, 34},
    {"Windows\\Common\\info_gold.DDS", Dxt5, 48, 40},
    {"Windows\\Common\\Exp_Place.DDS", Dxt5, 220, 32},
    // Stat, status and hire-kind icons; the marks beside a bar.
    {"Windows\\Common\\Icons\\Weapon_Sword.tga", Tga32, 32, 32},
    {"Windows\\Common\\Icons\\Weapon_Bow.tga", Tga32, 32, 32},
    {"Windows\\Common\\Icons\\Charact_SpellPower.tga", Tga32, 32, 32},
    {"Windows\\Common\\Icons\\Charact_Health.tga", Tga32, 32, 32},
    {"Windows\\Common\\Icons\\Charact_WoundHeal.tga", Tga32, 32, 32},
    {"Windows\\Common\\Icons\\Charact_Initiative.tga", Tga32, 32, 32},
    {"Windows\\Common\\Icons\\Charact_MeleeArmor.tga", Tga32, 32, 32},
    {"Windows\\Common\\Icons\\Charact_DistantArmor.tga", Tga32, 32, 32},
    {"Windows\\Common\\Icons\\Charact_Willpower.tga", Tga32, 32, 32},
    {"Windows\\Common\\Icons\\Status_Wounded.tga", Tga32, 8, 12},
    {"Windows\\Common\\Icons\\HorseShoe.tga", Tga32, 18, 18},
    {"Windows\\Common\\Icons\\Icon_Arrow_Up.tga", Tga32, 14, 18},
    {"Windows\\Common\\Icons\\Icon_Arrow_Down.tga", Tga32, 14, 18},
    {"Windows\\Common\\Icons\\Icon_Arrows_Both.tga", Tga32, 18, 18},
    {"Windows\\Common\\Icons\\Unit_Companion.tga", Tga32, 32, 32},
    {"Windows\\Common\\Icons\\Unit_Mercenary.tga", Tga32, 32, 32},
    {"Windows\\Common\\Icons\\NoIcon.tga", Tga32, 32, 32},
    {"Windows\\_OldGraphics\\NewLevelSign.DDS", Dxt5, 36, 36},
    // Inventory: the state marks and the cells (bag 96, equipment 92 in a
    // 96 cell, amulets 66 in 70, a personal item 48 in 50).
    {"Windows\\Inventory\\Dead.tga", Tga32, 48, 48},
    {"Windows\\Inventory\\Wounded.tga", Tga32, 48, 48},
    {"Windows\\Inventory\\NoMoney.tga", Tga32, 48, 48},
    {"Windows\\Inventory\\slot_inventory.DDS", Dxt5, 96, 96},
    {"Windows\\Inventory\\slot_inventory_green.DDS", Dxt5, 96, 96},
    {"Windows\\Inventory\\slot_inventory_red.DDS", Dxt5, 96, 96},
    {"Windows\\Inventory\\slot_default.DDS", Dxt5, 48, 48},
    {"Windows\\Inventory\\slot_character.DDS", Dxt5, 92, 92},
    {"Windows\\Inventory\\slot_amulets.DDS", Dxt5, 66, 66},
    // The building screen: shop cells, encounter rows, hire cards.
    {"Windows\\Building\\slot_shop_inactive.DDS", Dxt5, 96, 144},
    {"Windows\\Building\\slot_shop_inactive_green.DDS", Dxt5, 96, 144},
    {"Windows\\Building\\slot_shop_inactive_red.DDS", Dxt5, 96, 144},
    {"Windows\\Building\\slot_talk.DDS", Dxt5, 720, 120},
    {"Windows\\Building\\Beer.DDS", Dxt5, 89, 110},
    {"Windows\\Building\\slot_recruitment.tga", Tga32, 372, 146},
    {"Windows\\Building\\recruitment_cost.tga", Tga32, 120, 32},
    // The info pop-ups and the building's services (43 x 43 objects).
    {"Windows\\Info\\window_info.DDS", Dxt5, 680, 330},
    {"Windows\\Info\\window_info_horse.DDS", Dxt5, 192, 70},
    {"Windows\\Info\\window_info_army_01.DDS", Dxt5, 540, 340},
    {"Windows\\Info\\window_info_army_02.DDS", Dxt5, 540, 340},
    {"Windows\\Info\\info_castle.DDS", Dxt5, 44, 40},
    {"Windows\\Info\\info_icons_01.DDS", Dxt5, 43, 43},
    {"Windows\\Info\\info_icons_02.DDS", Dxt5, 43, 43},
    {"Windows\\Info\\info_icons_03.DDS", Dxt5, 43, 43},
    {"Windows\\Info\\info_icons_05.DDS", Dxt5, 43, 43},
    // The trees' connectors: straight, up to either side, and one per link mark.
    {"Windows\\Tent\\talent_arrow_inactive.DDS", Dxt5, 26, 32},
    {"Windows\\Tent\\talent_arrow_active.DDS", Dxt5, 26, 32},
    {"Windows\\Tent\\talent_arrow_inactive_02.DDS", Dxt5, 0, 0},
    {"Windows\\Tent\\talent_arrow_active_02.DDS", Dxt5, 0, 0},
    {"Windows\\Tent\\talent_arrow_inactive_03.DDS", Dxt5, 0, 0},
    {"Windows\\Tent\\talent_arrow_active_03.DDS", Dxt5, 0, 0},
    {"Windows\\Tent\\talent_arrow_inactive_r1.DDS", Dxt5, 0, 32},
    {"Windows\\Tent\\talent_arrow_inactive_r2.DDS", Dxt5, 0, 32},
    {"Windows\\Tent\\talent_arrow_inactive_r3.DDS", Dxt5, 0, 32},
    {"Windows\\Tent\\talent_arrow_inactive_l1.DDS", Dxt5, 0, 32},
    {"Windows\\Tent\\talent_arrow_inactive_l2.DDS", Dxt5, 0, 32},
    {"Windows\\Tent\\talent_arrow_inactive_l3.DDS", Dxt5, 0, 32},
    {"Windows\\Tent\\talent_arrow_active_r1.DDS", Dxt5, 0, 32},
    {"Windows\\Tent\\talent_arrow_active_r2.DDS", Dxt5, 0, 32},
    {"Windows\\Tent\\talent_arrow_active_r3.DDS", Dxt5, 0, 32},
    {"Windows\\Tent\\talent_arrow_active_l1.DDS", Dxt5, 0, 32},
    {"Windows\\Tent\\talent_arrow_active_l2.DDS", Dxt5, 0, 32},
    {"Windows\\Tent\\talent_arrow_active_l3.DDS", Dxt5, 0, 32},
};

// The backgrounds the menus draw from and the building pictures, one per
// building kind (and hour where it has one).
const char* const BackgroundPictures[] = {"altar",        "altar_night",  "castle",      "castle_night", "harbor",
                                          "harbor_night", "house",        "house_night", "market",       "market_night",
                                          "rhuins",       "rhuins_night", "town_night",  "village"};
const char* const BuildingPictures[] = {"town", "tower", "tower_night", "village_night", "Forge",
                                        "inn",  "mine",  "mine_night",  "church",        "village_ruins"};

} // namespace

class InstallationTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        UseInstallation(OS_ToProgramPath(SampleInstallFolder));
        SavedUnitTypeCount = UnitTypeCount;
        SavedItemCount = ItemCount;
    }

    void TearDown() override
    {
        // The tables read here are the installation's: the other tests of
        // the program find the counts they had.
        UnitTypeCount = SavedUnitTypeCount;
        ItemCount = SavedItemCount;
        FreeTerrainResources();
        MainRender = nullptr;
        TRecordingRenderTest::TearDown();
    }

    void UseInstallation(const std::string& folder)
    {
        SetGameFolders(folder);
        MainRender = Render.get();
    }

    // Every sub-object of a model file in the given format; false (with the
    // engine's fatal line as a failure) when the renderer refused it.
    bool LoadModel(const std::string& file, int32_t format, std::vector<int32_t>& slots)
    {
        try {
            TStringArray names;
            Render->Mesh_FindNames(file, names);
            EXPECT_FALSE(names.empty()) << file << " holds no mesh";
            for (const std::string& name : names)
                slots.push_back(LoadMesh(format, file, name, ""));
            return !names.empty();
        } catch (const TRenderFatalStop&) {
            ADD_FAILURE() << file << ": " << GetEngineErrorText();
            ClearEngineErrorText();
            return false;
        }
    }

    bool LoadTexture(const std::string& file)
    {
        try {
            return Render->Texture_Load(file) >= 0;
        } catch (const TRenderFatalStop&) {
            ADD_FAILURE() << file << ": " << GetEngineErrorText();
            ClearEngineErrorText();
            return false;
        }
    }

    void LoadGameTables()
    {
        SetGameLanguage("eng");
        LoadBonuses();
        LoadSpells();
        LoadItems();
        LoadUnitTypes();
    }

    T3D_Mesh& Mesh(int32_t slot) { return *Render->Mesh_Get(slot); }

    int32_t SavedUnitTypeCount = 0;
    int32_t SavedItemCount = 0;
};

// The terrain's load runs to its end; a file it stops on is noted, stood in
// for in a linked copy of the installation and the load run again, so one
// run names every missing file in the loader's own order.
TEST_F(InstallationTest, TerrainResourcesLoadToTheEnd)
{
    TLinkedInstallation copy;
    TMissingFiles missing;
    bool loaded = false;
    for (int attempt = 0; attempt < 64 && !loaded; attempt++) {
        FreeTerrainResources();
        FreeRender();
        TRecordingRenderTest::SetUp();
        UseInstallation(copy.ProgramPath());
        try {
            LoadTerrainResources(nullptr);
            loaded = true;
        } catch (const TRenderFatalStop&) {
            const std::string file = FileOfFatalLine(GetEngineErrorText());
            ASSERT_NE(file, "") << GetEngineErrorText();
            ASSERT_EQ(file.compare(0, copy.ProgramPath().size(), copy.ProgramPath()), 0) << file;
            // Only the copy's own landscape folder takes stand-ins; its
            // sub-folders are the build's.
            const std::string relative = file.substr(copy.ProgramPath().size());
            ASSERT_EQ(relative.find('\\', std::string("Landscape\\").size()), std::string::npos) << relative;
            missing.Add(relative);
            copy.Write(relative, TextureFiles::MakeDDS(0x31545844, 4, 4, 1, std::vector<uint8_t>(8, 0)));
            ClearEngineErrorText();
        }
    }
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(missing.Empty()) << missing.Text();
    EXPECT_EQ(GetEngineErrorText(), "");
    // Every kind of every library found its files.
    for (const TModelLibrary* library : {&BuildingModelLibrary, &TreeModelLibrary, &ObjectModelLibrary})
        for (size_t kind = 1; kind < library->Kinds.size(); kind++)
            EXPECT_GT(library->Kinds[kind].Count, 0) << "kind " << kind;
}

TEST_F(InstallationTest, WithoutTheErrorTextureTheTerrainLoadStops)
{
    TLinkedInstallation copy({"Error.DDS"});
    UseInstallation(copy.ProgramPath());
    EXPECT_THROW(LoadTerrainResources(nullptr), TRenderFatalStop);
    const std::string text = GetEngineErrorText();
    EXPECT_NE(text.find("Load_DDS("), std::string::npos) << text;
    EXPECT_NE(text.find("Error.DDS) -> FILE NOT FOUND!"), std::string::npos) << text;
}

// The picture the map and arena scenes draw their interface pass with.
TEST_F(InstallationTest, SceneInterfaceFilesLoad)
{
    TMissingFiles missing;
    const std::string empty = InterfaceFolder + "Common\\Empty.tga";
    if (missing.Present(empty)) {
        EXPECT_TRUE(LoadTexture(empty));
    }
    EXPECT_TRUE(missing.Empty()) << missing.Text();
}

// Every picture of the party screens, loaded through the texture loader:
// its form and its size as the screens place it.
TEST_F(InstallationTest, ScreenPicturesLoadInTheirFormAndSize)
{
    TMissingFiles missing;
    auto check = [&](const std::string& relative, D3DFORMAT form, int32_t width, int32_t height) {
        const std::string file = InterfaceFolder + relative;
        if (!missing.Present(file) || !LoadTexture(file))
            return;
        const T3D_Texture* texture = Render->Textures[static_cast<size_t>(Render->Texture_Load(file))];
        EXPECT_EQ(texture->Format, form) << relative;
        if (width > 0) {
            EXPECT_EQ(texture->ImageWidth, width) << relative;
        }
        if (height > 0) {
            EXPECT_EQ(texture->ImageHeight, height) << relative;
        }
    };
    for (const TScreenPicture& p : ScreenPictures)
        check(p.File, p.Form, p.Width, p.Height);
    // The menus' backgrounds fill the screen; the building pictures show a
    // band of theirs over the window (2:1 both).
    for (const char* name : BackgroundPictures)
        check(std::string("Common\\Images\\") + name + ".dds", Dxt1, 2048, 1024);
    for (const char* name : BuildingPictures)
        check(std::string("Common\\Images\\") + name + ".dds", Dxt1, 1024, 512);
    EXPECT_TRUE(missing.Empty()) << missing.Text();
}

// The icons the game tables name: each table's loader finds its files (no
// stand-in picture), and every unit type has a portrait of the game's
// largest portrait size.
TEST_F(InstallationTest, TableIconsAndPortraitsAreFound)
{
    // The tables load their pictures through the game's own sprite loader.
    InstallGameRenderHooks();
    struct TRemoveHooks {
        ~TRemoveHooks() { RemoveGameRenderHooks(); }
    } removeHooks;
    LoadGameTables();
    auto fileOf = [&](int32_t sprite) -> std::string {
        const T3D_Sprite* s = sprite >= 0 ? Render->Sprite_Get(sprite) : nullptr;
        if (s == nullptr)
            return "(no sprite)";
        for (const T3D_SpriteStageTexture& stage : s->StageTextures)
            if (stage.Stage == 0 && stage.TextureIndex >= 0 &&
                Render->Textures[static_cast<size_t>(stage.TextureIndex)])
                return Render->Textures[static_cast<size_t>(stage.TextureIndex)]->FileName;
        return "(no texture)";
    };
    auto sizeOf = [&](int32_t sprite) -> std::pair<int32_t, int32_t> {
        const T3D_Sprite* s = sprite >= 0 ? Render->Sprite_Get(sprite) : nullptr;
        if (s == nullptr)
            return {0, 0};
        for (const T3D_SpriteStageTexture& stage : s->StageTextures)
            if (stage.Stage == 0 && stage.TextureIndex >= 0)
                return {Render->Textures[static_cast<size_t>(stage.TextureIndex)]->ImageWidth,
                        Render->Textures[static_cast<size_t>(stage.TextureIndex)]->ImageHeight};
        return {0, 0};
    };
    ASSERT_GT(UnitTypeCount, 0);
    for (int32_t t = 1; t <= UnitTypeCount; t++) {
        const TPersonage& type = UnitTypes[t];
        const std::string file = fileOf(type.Icons[3]);
        SCOPED_TRACE(type.TagName.Str() + std::string(": ") + file);
        // A type without a model shows "NotModel"; one with a model its own
        // portrait, never the stand-in for a missing one.
        if (type.FileName.Empty()) {
            EXPECT_EQ(LowerCaseStr(file), "notmodel.dds");
        } else {
            EXPECT_TRUE(LowerCaseStr(file) != "empty.dds" && LowerCaseStr(file) != "unknown.tga");
        }
        EXPECT_EQ(sizeOf(type.Icons[3]), std::make_pair(230, 190));
    }
    for (const char* standIn : {"Random", "NotModel", "Empty"}) {
        EXPECT_TRUE(FileExistsMask(InterfaceFolder + "Common\\Icons\\Personages\\" + standIn + ".DDS")) << standIn;
    }
    ASSERT_GT(ItemCount, 0);
    for (int32_t n = 1; n <= ItemCount; n++) {
        const TItems& item = ItemTable[n];
        if (item.IconFileName.empty())
            continue;
        EXPECT_GT(item.Image, 0) << item.IconFileName;
        if (item.Image > 0) {
            EXPECT_NE(fileOf(ItemIconSprites[static_cast<size_t>(item.Image)]), "Unknown.tga") << item.IconFileName;
        }
    }
    int32_t bonusIcons = 0;
    for (int32_t g = 1; g <= BonusGroupMax; g++)
        for (int32_t e = 1; e <= BonusGroupCount[g]; e++) {
            const TBonusTTX& bonus = BonusTable[g][e];
            if (bonus.FileName.empty())
                continue;
            bonusIcons++;
            if (bonus.Active) {
                for (int32_t sprite : {bonus.IconSimple, bonus.IconLighten, bonus.IconPutted}) {
                    EXPECT_NE(fileOf(sprite), "Unknown.tga") << bonus.FileName;
                }
            } else {
                EXPECT_NE(fileOf(bonus.Icon), "Unknown.tga") << bonus.FileName;
                EXPECT_NE(bonus.Icon, -1) << bonus.FileName;
            }
        }
    EXPECT_GT(bonusIcons, 0);
    for (int32_t n = 1; n <= SpellCount; n++) {
        const TSpell& spell = SpellTable[n];
        if (spell.File.empty())
            continue;
        for (int32_t sprite : {spell.Icon, spell.IconPutted, spell.IconLighten}) {
            const std::string file = fileOf(sprite);
            EXPECT_TRUE(file != "Unknown.tga" && LowerCaseStr(file) != "nospell.dds") << spell.File << ": " << file;
        }
    }
    EXPECT_TRUE(FileExistsMask(InterfaceFolder + "Common\\Icons\\Spells\\NoSpell.DDS"));
    // Coats of arms: every one at both sizes.
    LoadCoatIcons();
    ASSERT_FALSE(CoatFiles.empty());
    for (size_t i = 0; i < CoatIcons.size(); i++) {
        EXPECT_NE(fileOf(CoatIcons[i].Icon54), "Unknown.tga") << CoatFiles[i];
        EXPECT_NE(fileOf(CoatIcons[i].Icon32), "Unknown.tga") << CoatFiles[i];
        EXPECT_EQ(sizeOf(CoatIcons[i].Icon32), std::make_pair(32, 32)) << CoatFiles[i];
    }
}

// Every arena the battle chooses by kind, the camp's and the story events',
// and the night looks of the plain and the camp:
// a "Scene" section first, and for each mesh object its mesh file holding
// the named mesh and its texture, all in the scene's folder; the error
// picture and the battlefield they fall back on or name.
TEST_F(InstallationTest, ArenaScenesFindTheirMeshesAndTextures)
{
    if (!FolderHoldsAny("Arenas", ".qxs"))
        GTEST_SKIP() << "no arena scenes in " << ArenasFolder << " yet";
    std::vector<std::string> names(ArenaSceneNames + 1, ArenaSceneNames + ArenaKindCount + 1);
    names.push_back("Tent");
    names.push_back("Event");
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());

    TMissingFiles missing;
    // What stands in for a missing arena texture, and the battlefield that
    // any scene's "hexbattlefield" object loads whatever it names.
    for (const std::string& file : {GameFolder + "Error.tga", InterfaceFolder + "Common\\HEX_grid.DDS"}) {
        if (missing.Present(file)) {
            EXPECT_TRUE(LoadTexture(file)) << file;
        }
    }
    const std::string battlefield = InterfaceFolder + "Common\\HexBattlefield6x7.d3d";
    std::vector<int32_t> slots;
    if (missing.Present(battlefield) && LoadModel(battlefield, MESH_NORMALMAPPED, slots)) {
        for (int32_t slot : slots)
            EXPECT_GT(Mesh(slot).VertexCount, 0) << Mesh(slot).Name;
    }
    // The night looks of the open plain and the camp.
    std::vector<std::pair<std::string, std::string>> scenes;
    for (const std::string& name : names)
        scenes.emplace_back(name, "");
    scenes.emplace_back("Plain", "_Night");
    scenes.emplace_back("Tent", "_Night");
    for (const auto& [name, suffix] : scenes) {
        const std::string file = ArenaSceneFile(name, suffix);
        if (!missing.Present(file))
            continue;
        SCOPED_TRACE(file);
        const std::string folder = file.substr(0, file.rfind('\\') + 1);
        TIniFile scene;
        scene.Load(file);
        ASSERT_GT(scene.SectionCount(), 0);
        EXPECT_EQ(scene.SectionName(0), "Scene");
        for (int32_t s = 1; s < scene.SectionCount(); s++) {
            scene.SelectSectionIndex(s);
            const std::string type = scene.ReadString("Mesh_Type", -1);
            const std::string meshName = scene.ReadString("MeshName", -1);
            if (type == "Emitter" || LowerCaseStr(meshName) == "hexbattlefield")
                continue;
            const std::string meshFile = folder + ExtractBaseName(scene.ReadString("Name", -1)) + ".D3D";
            if (missing.Present(meshFile)) {
                TStringArray inFile;
                Render->Mesh_FindNames(meshFile, inFile);
                if (std::find(inFile.begin(), inFile.end(), meshName) == inFile.end())
                    ADD_FAILURE() << scene.SectionName(s) << ": " << meshFile << " holds no mesh \"" << meshName
                                  << "\"";
                else
                    EXPECT_GT(Mesh(LoadMesh(ArenaMeshFormat(type), meshFile, meshName, "")).VertexCount, 0) << meshName;
            }
            const std::string texture = scene.ReadString("Texture", -1);
            if (!texture.empty() && missing.Present(folder + ExtractBaseName(texture) + ".DDS"))
                LoadTexture(folder + ExtractBaseName(texture) + ".DDS");
        }
    }
    EXPECT_TRUE(missing.Empty()) << missing.Text();
}

// Each unit type's model: skinned, with the six hard points the gear hangs
// from and the clips every figure plays without gear.
TEST_F(InstallationTest, PersonageModelsHaveHardPointsAndClips)
{
    if (!FolderHoldsAny("Personages", ".d3d"))
        GTEST_SKIP() << "no personage models in " << PersonagesFolder << " yet";
    LoadGameTables();
    ASSERT_GT(UnitTypeCount, 0);
    TMissingFiles missing;
    for (int32_t t = 1; t <= UnitTypeCount; t++) {
        const std::string name = UnitTypes[t].FileName.Str();
        if (name.empty())
            continue;
        const std::string file = PersonagesFolder + name + ".D3D";
        std::vector<int32_t> slots;
        if (!missing.Present(file) || !LoadModel(file, MESH_SKINNED, slots))
            continue;
        std::set<std::string> bones, clips;
        for (int32_t slot : slots) {
            for (const T3D_Bone& bone : Mesh(slot).Skin.Bones)
                bones.insert(bone.Name);
            for (const T3D_Clip& clip : Mesh(slot).Skin.Clips)
                clips.insert(clip.Name);
        }
        for (const char* point : {"HP_right", "HP_left", "HP_back", "HP_shield", "HP_horse", "HP_head"})
            EXPECT_EQ(bones.count(point), 1u) << file << " has no bone " << point;
        for (const char* clip : {"na_stand", "na_idle01", "na_death", "na_relax"})
            EXPECT_EQ(clips.count(clip), 1u) << file << " has no clip " << clip;
    }
    EXPECT_TRUE(missing.Empty()) << missing.Text();
}

// Each item with a model: its mesh file in the weapons folder, loaded as the
// items load it (the file's first mesh, skinned).
TEST_F(InstallationTest, ItemMeshesLoad)
{
    if (!FolderHoldsAny("Personages/Weapons", ".d3d"))
        GTEST_SKIP() << "no item meshes in " << WeaponsFolder << " yet";
    LoadGameTables();
    TMissingFiles missing;
    for (int32_t n = 1; n <= ItemCount; n++) {
        const std::string base = ExtractBaseName(ItemTable[n].FileName);
        if (base.empty())
            continue;
        const std::string file = WeaponsFolder + base + ".D3D";
        std::vector<int32_t> slots;
        if (missing.Present(file) && LoadModel(file, MESH_SKINNED, slots)) {
            EXPECT_GT(Mesh(slots.front()).VertexCount, 0) << file;
        }
    }
    EXPECT_TRUE(missing.Empty()) << missing.Text();
}

// Every shader file of the two scenes loads through the renderer, and every
// pair the passes combine links and draws on the real device.
class InstallationShadersTest : public TDeviceRenderTest {};

TEST_F(InstallationShadersTest, EveryShaderLoadsAndEveryPairLinks)
{
    SetGameFolders(OS_ToProgramPath(SampleInstallFolder));
    TMissingFiles missing;
    std::set<std::string> files;
    for (const SceneShaderPairs::TPair& pair : SceneShaderPairs::ScenePairs) {
        files.insert(std::string(pair.Folder) + pair.Vertex + ".bin");
        files.insert(std::string(pair.Folder) + pair.Pixel + ".bin");
    }
    for (const char* folder : {SceneShaderPairs::Landscape, SceneShaderPairs::Arenas})
        for (const fs::directory_entry& entry : fs::directory_iterator(SampleInstallFolder + folder))
            if (entry.path().extension() == ".bin")
                files.insert(folder + entry.path().filename().string());

    std::map<std::string, T3D_Shader*> loaded;
    for (const std::string& file : files) {
        const std::string path = GameFolder + file;
        if (!missing.Present(path))
            continue;
        try {
            const int32_t slot = Render->Shader_Load(path, file.find("_VS.bin") != std::string::npos ? 1 : 0);
            T3D_Shader* shader = Render->Shaders[static_cast<size_t>(slot)];
            if (shader->VertexShader == nullptr && shader->PixelShader == nullptr)
                ADD_FAILURE() << file << ": " << D3D9_ShaderRefusal();
            else
                loaded[file] = shader;
        } catch (const TRenderFatalStop&) {
            ADD_FAILURE() << file << ": " << GetEngineErrorText();
            ClearEngineErrorText();
        }
    }
    EXPECT_TRUE(missing.Empty()) << missing.Text();

    IDirect3DDevice9* device = Render->Device;
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    for (const SceneShaderPairs::TPair& pair : SceneShaderPairs::ScenePairs) {
        const std::string vertex = std::string(pair.Folder) + pair.Vertex + ".bin";
        const std::string pixel = std::string(pair.Folder) + pair.Pixel + ".bin";
        if (loaded.count(vertex) == 0 || loaded.count(pixel) == 0)
            continue;
        device->SetVertexShader(loaded[vertex]->VertexShader);
        device->SetPixelShader(loaded[pixel]->PixelShader);
        device->SetVertexDeclaration(Render->VertexDecls[static_cast<size_t>(pair.Format - 1)]);
        const std::vector<uint8_t> vertices(3 * static_cast<size_t>(VertexFormatStride[pair.Format]), 0);
        const uint16_t indices[3] = {0, 1, 2};
        EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, indices, D3DFMT_INDEX16, vertices.data(),
                                                 VertexFormatStride[pair.Format]),
                  D3D_OK)
            << vertex << " + " << pixel << " (format " << pair.Format << "): " << D3D9_ShaderRefusal();
    }
}
