// The game loading worker on its own thread (run under ThreadSanitizer too)
// and the hand-over of the loading windows; the hero window's way back.
#include "screens/front/Duskmarch_GameLoading.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <cstring>
#include <map>
#include <thread>

#include "model/Hooks.h"
#include "model/Support.h"
#include "model/ai/AIMain.h"
#include "model/save/SavedGame.h"
#include "model/world/World_Access.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_SceneHooks.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_SelectScenario.h"
#include "tools/dmtool/MakeScenario.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/tables/Global.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_SelectHero.h"
#include "tests/render/GUITestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

class GameLoadingWindowsTest : public TGUITest {
protected:
    void SetUp() override
    {
        TGUITest::SetUp();
        MainMenu_Window = new TGUI_GraphicWindow(Render.get(), "MainMenu_Window");
        Windows.push_back(MainMenu_Window);
        Loading = new TGUI_Window(Render.get(), "ScenarioLoading_Window");
        Windows.push_back(Loading);
        Map = new TGUI_Window(Render.get(), "Map_Window");
        Windows.push_back(Map);
        Selection = new TGUI_Window(Render.get(), "SelectScenario_Window");
        Windows.push_back(Selection);
        Hero = new TGUI_Window(Render.get(), "SelectHero_Window");
        Windows.push_back(Hero);
        SelectScenario_Window = Selection;
        SelectHero_Window = Hero;
        SavedFolder = SavesFolder;
        SavesFolder = Temp.ProgramPath();
        Processor->Pending.clear();
    }
    void TearDown() override
    {
        MainMenu_Window = nullptr;
        SelectScenario_Window = nullptr;
        SelectHero_Window = nullptr;
        Map_Window = nullptr;
        SavesFolder = SavedFolder;
        PendingSave.clear();
        LoadedScenarioName.clear();
        GameLoadingState = 0;
        TGUITest::TearDown();
    }
    std::vector<int32_t> PostedFor(const TGUI_Window* window) const
    {
        std::vector<int32_t> states;
        for (const TGUI_PendingState& entry : Processor->Pending)
            if (entry.Window == window)
                states.push_back(entry.State);
        return states;
    }
    // Frames of the loading window until its hand-over is due.
    bool RunUntilHandOver()
    {
        for (int frame = 0; frame < 5000; frame++) {
            if (GameLoadingFrameStep(false))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    TTempFolder Temp;
    std::string SavedFolder;
    TGUI_Window* Loading = nullptr;
    TGUI_Window* Map = nullptr;
    TGUI_Window* Selection = nullptr;
    TGUI_Window* Hero = nullptr;
};

// The worker on its own thread, its state and results read by the window's
// frames.
class GameLoadingThreadTest : public GameLoadingWindowsTest {};

// A damaged save: the worker ends on its thread without a world, clears what
// it was given and the name of the map in memory; the window then opens the
// main menu, not the map.
TEST_F(GameLoadingThreadTest, CorruptSaveOpensTheMainMenu)
{
    Temp.WriteFile("bad.sav", "GBDF not really a saved game");
    PendingSave = "bad.sav";
    LoadedScenarioName = "\\old\\Sample.Tdm";
    CampaignTransfer = 1;
    NextScenarioName = "Next.Tdm";
    GameLoadingState = 0;
    ASSERT_TRUE(RunUntilHandOver());
    EXPECT_EQ(GameLoadingState.load(), 4);
    EXPECT_FALSE(GameLoaded);
    EXPECT_EQ(PendingSave, "");
    EXPECT_EQ(LoadedScenarioName, "");
    EXPECT_EQ(CampaignTransfer, 0);
    EXPECT_EQ(NextScenarioName, "");

    Map_Window = Map;
    GameLoadingHandOver(Loading);
    EXPECT_EQ(PostedFor(Loading), std::vector<int32_t>{GUI_STATE_CLOSE});
    EXPECT_EQ(PostedFor(MainMenu_Window), std::vector<int32_t>{GUI_STATE_OPEN});
    EXPECT_TRUE(PostedFor(Map).empty());
}

TEST_F(GameLoadingWindowsTest, HandOverTable)
{
    struct Row {
        bool Loaded;
        bool MapExists;
        bool MapOpened;
        bool MenuOpened;
    } rows[] = {
        {true, true, true, false},   // the strategic map
        {true, false, false, true},  // no map window yet: the menu, the world loaded
        {false, true, false, true},  // a failed load never reaches the map
        {false, false, false, true},
    };
    for (const Row& row : rows) {
        Processor->Pending.clear();
        GameLoaded = row.Loaded;
        Map_Window = row.MapExists ? Map : nullptr;
        GameLoadingHandOver(Loading);
        EXPECT_EQ(!PostedFor(Map).empty(), row.MapOpened) << row.Loaded << row.MapExists;
        EXPECT_EQ(!PostedFor(MainMenu_Window).empty(), row.MenuOpened) << row.Loaded << row.MapExists;
    }
    GameLoaded = false;
}

// Back goes to the scenario selection whenever the hero window was reached
// through it, whatever the tutorial settings; from the menu's tutorial route
// it only closes.
TEST_F(GameLoadingWindowsTest, HeroBackTable)
{
    for (const bool throughSelection : {true, false}) {
        Processor->Pending.clear();
        HeroReachedFromSelection = throughSelection;
        SelectHeroScreen_Back(nullptr);
        EXPECT_EQ(PostedFor(Hero), std::vector<int32_t>{GUI_STATE_CLOSE});
        EXPECT_EQ(PostedFor(Selection).empty(), !throughSelection);
    }
}

TEST_F(GameLoadingWindowsTest, ExpectationOfASaveOfTheLoadedScenarioIsKept)
{
    // The window's open resets the shown expectation, not the loaded one.
    LoadedScenarioExpected = 1234;
    ScenarioLoadExpected = 0;
    Temp.WriteFile("bad2.sav", "x");
    PendingSave = "bad2.sav";
    LoadedScenarioName.clear();
    GameLoadingState = 0;
    ASSERT_TRUE(RunUntilHandOver());
    // The save named no scenario: nothing was read, the kept value shows.
    EXPECT_EQ(ScenarioLoadExpected, 1234);
}

// The scenario's own personage types get their portraits from the types
// they are based on: sprites of the recording renderer, the file each was
// made from kept by its index.
class ScenarioPortraitsTest : public TGUITest {
protected:
    class TPortraitHooks : public TRenderHooks {
    public:
        explicit TPortraitHooks(ScenarioPortraitsTest& test) : Test(test) {}
        void Texture_SetLoadOptions(int32_t flags, int32_t group) override
        {
            Test.Options.push_back({flags, group});
        }
        int32_t LoadSprite(const std::string& path, int32_t) override
        {
            const int32_t sprite = Test.Render->Sprite_Add(1, 1);
            Test.Files[sprite] = path;
            return sprite;
        }
        int32_t CloneSprite(int32_t sprite) override
        {
            const int32_t clone = Test.Render->Sprite_Add(1, 1);
            Test.Files[clone] = Test.Files[sprite];
            return clone;
        }
        void Sprite_SetSize(int32_t sprite, int32_t, float width, float height) override
        {
            Test.Sizes[sprite] = {static_cast<int32_t>(width), static_cast<int32_t>(height)};
        }
        ScenarioPortraitsTest& Test;
    };

    void SetUp() override
    {
        TGUITest::SetUp();
        MainRender = Render.get();
        // Sprite 0 stands for "no portrait" in the types; the game's own
        // sprites take the first indices long before a scenario loads.
        Render->Sprite_Add(1, 1);
        SetGameFolders(Temp.ProgramPath());
        for (const char* name : {"Warden01", "DukeArmor0103", "NotModel", "Empty"})
            Temp.WriteProgramFile(std::string("Interface\\Common\\Icons\\Personages\\") + name + ".DDS", "x");
        UnitTypeCount = 4;
        UnitTypes[1].FileName = "Warden01";
        UnitTypes[2].FileName = "";
        UnitTypes[3].FileName = "Ghost01"; // no portrait file
        UnitTypes[4].FileName = "DukeArmor03";
        NpcTypeCount = 5;
        const int32_t bases[] = {1, 2, 3, 4, 4};
        const int16_t heads[] = {0, 0, 0, 262, 0};
        for (int32_t i = 1; i <= NpcTypeCount; i++) {
            UnitTypes[-i].UnitType = bases[i - 1];
            UnitTypes[-i].ReplaceHead = heads[i - 1];
        }
        SetRenderHooks(&Hooks);
    }
    void TearDown() override
    {
        FreeScenarioPortraits();
        SetRenderHooks(nullptr);
        for (int32_t i = -NpcTypeCount; i <= UnitTypeCount; i++)
            std::memset(static_cast<void*>(&UnitTypes[i]), 0, sizeof(TPersonage));
        NpcTypeCount = 0;
        UnitTypeCount = 0;
        MainRender = nullptr;
        TGUITest::TearDown();
    }
    std::string FileOf(int32_t sprite) const
    {
        const auto found = Files.find(sprite);
        if (found == Files.end())
            return "(none)";
        const std::string& path = found->second;
        return path.substr(path.find_last_of('\\') + 1);
    }

    TTempFolder Temp;
    TPortraitHooks Hooks{*this};
    std::map<int32_t, std::string> Files;
    std::map<int32_t, std::pair<int32_t, int32_t>> Sizes;
    std::vector<std::pair<int32_t, int32_t>> Options;
};

TEST_F(ScenarioPortraitsTest, EachTypeTakesThePortraitOfItsFigure)
{
    // The scenario file's bytes in the icon fields: an unrelated sprite's
    // index, which must be neither freed nor kept.
    const int32_t unrelated = Render->Sprite_Add(1, 1);
    UnitTypes[-1].Icons[1] = unrelated;
    LoadScenarioPortraits();
    const char* const expected[] = {"Warden01.DDS", "NotModel.DDS", "Empty.DDS", "DukeArmor0103.DDS",
                                    "Empty.DDS"}; // DukeArmor03 without a head has no portrait file
    for (int32_t i = 1; i <= NpcTypeCount; i++) {
        const TPersonage& type = UnitTypes[-i];
        for (int32_t k = 1; k <= 3; k++) {
            ASSERT_GT(type.Icons[k], 0) << i << " " << k;
            EXPECT_EQ(FileOf(type.Icons[k]), expected[i - 1]) << i << " " << k;
        }
        EXPECT_NE(type.Icons[1], unrelated);
        EXPECT_EQ(Sizes[type.Icons[1]], (std::pair<int32_t, int32_t>{104, 88}));
        EXPECT_EQ(Sizes[type.Icons[2]], (std::pair<int32_t, int32_t>{174, 146}));
        EXPECT_EQ(Sizes[type.Icons[3]], (std::pair<int32_t, int32_t>{230, 190}));
    }
    EXPECT_NE(Render->Sprite_Get(unrelated), nullptr);
    // Loaded with the portraits' texture options, then the usual ones.
    ASSERT_FALSE(Options.empty());
    EXPECT_EQ(Options.front(), (std::pair<int32_t, int32_t>{2, 2}));
    EXPECT_EQ(Options.back(), (std::pair<int32_t, int32_t>{0, 0}));
}

TEST_F(ScenarioPortraitsTest, TheNextLoadFreesThePreviousPortraits)
{
    const int32_t before = Render->SpriteCount;
    LoadScenarioPortraits();
    EXPECT_EQ(Render->SpriteCount, before + 5 * 3);
    // The next scenario has fewer types of its own.
    NpcTypeCount = 2;
    LoadScenarioPortraits();
    EXPECT_EQ(Render->SpriteCount, before + 2 * 3);
    LoadScenarioPortraits();
    EXPECT_EQ(Render->SpriteCount, before + 2 * 3);
    EXPECT_EQ(FileOf(UnitTypes[-1].Icons[3]), "Warden01.DDS");
    FreeScenarioPortraits();
    EXPECT_EQ(Render->SpriteCount, before);
    NpcTypeCount = 5;
}

// The worker's new game and campaign step in this process, on the
// installation's tables and the recording renderer: small generated scenarios, the
// scenario list's entry, the hero chosen, a start save in a fresh folder.
class GameLoadingWorkerTest : public GameLoadingWindowsTest {
protected:
    void SetUp() override
    {
        GameLoadingWindowsTest::SetUp();
        SavedExePath = ExePath;
        SavedPostLoad = std::to_array(PostLoadSlots);
        Support_Initialization();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL));
        FreeGameOptions();
        LoadGameOptions(Temp.ProgramPath());
        SetGameLanguage("eng");
        LoadBonuses();
        LoadSpells();
        LoadItems();
        LoadUnitTypes();
        AIMain_Initialization();
        LoadMapEditOptions();
        MainRender = Render.get();
        LoadTerrainResources(nullptr);
        SetSceneHooks(&SceneHooks);
        SavesFolder = Temp.ProgramPath() + "Saves\\";
        ExePath = Temp.ProgramPath();
        CurrentUserName = "Wren";
        HeroIndex = 3; // the mystic
        std::filesystem::create_directories(Temp.Path() + "/Scenarios");
        std::filesystem::create_directories(Temp.Path() + "/Mods/Vale/Scenarios");
        std::string error;
        ASSERT_TRUE(MakeScenario(Temp.Path() + "/Scenarios/First.Tdm", ScenarioSizeMin, true, error, {})) << error;
        ASSERT_TRUE(MakeScenario(Temp.Path() + "/Mods/Vale/Scenarios/Second.Tdm", ScenarioSizeMin, false, error, {}))
            << error;
        StandardScenarios.Clear();
        UseUserScenarioList = 0;
        StandardScenarios.Folders.push_back(Temp.ProgramPath() + "Scenarios\\");
        StandardScenarios.FileNames.push_back("First.Tdm");
        SelectedScenario = 0;
        Steps.clear();
        for (TGameLoadingSlot& slot : PostLoadSlots)
            slot.Run = nullptr;
        SetPostLoadSlot("CompanionsRefresh", [] { Steps.push_back("CompanionsRefresh"); });
        SetPostLoadSlot("ResetQuestEntries", [] { Steps.push_back("ResetQuestEntries"); });
        SetPostLoadSlot("BuildMiniMapIcons", [] { Steps.push_back("BuildMiniMapIcons"); });
        SetPostLoadSlot("MapScreen_Reset", [] { Steps.push_back("MapScreen_Reset"); });
        SetPostLoadSlot("BuildTalentTree", [] { Steps.push_back("BuildTalentTree"); });
        SetPostLoadSlot("SetGameSpeed", [] { Steps.push_back("SetGameSpeed"); });
    }
    void TearDown() override
    {
        WaitForSaveWriter();
        std::copy(SavedPostLoad.begin(), SavedPostLoad.end(), PostLoadSlots);
        SetSceneHooks(nullptr);
        StandardScenarios.Clear();
        SelectedScenario = -1;
        HeroIndex = 0;
        CampaignTransfer = 0;
        NextScenarioName.clear();
        ScenarioFolder.clear();
        ExePath = SavedExePath;
        FreeScenarioPortraits();
        MainRender = nullptr;
        FreeGameOptions();
        GameLoadingWindowsTest::TearDown();
    }
    std::vector<std::string> StartSaves() const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(Temp.Path() + "/Saves", ec))
            if (entry.path().extension() == ".startscenario")
                names.push_back(entry.path().filename().string());
        return names;
    }
    bool RunWorker()
    {
        GameLoadingState = 0;
        StartGameLoading(true);
        return RunUntilHandOver();
    }

    static inline std::vector<std::string> Steps;
    TMapSceneHooks SceneHooks;
    std::string SavedExePath;
    std::array<TGameLoadingSlot, PostLoadSlotCount> SavedPostLoad{};
};

TEST_F(GameLoadingWorkerTest, NewGameBuildsTheWorldAndWritesTheStartSave)
{
    ASSERT_TRUE(RunWorker());
    ASSERT_TRUE(GameLoaded);
    EXPECT_EQ(LoadedScenarioName, Temp.ProgramPath() + "Scenarios\\First.Tdm");
    EXPECT_GT(ScenarioLoadExpected, 0);
    EXPECT_EQ(LoadedScenarioExpected, ScenarioLoadExpected);
    EXPECT_EQ(HeroKind, 2); // the mystic's kind
    ASSERT_NE(FindArmy(PlayerArmy), nullptr);
    const TGameArmy& player = GameArmies[PlayerArmy];
    EXPECT_EQ(MapCamera.Target.x, player.Pos[0]);
    EXPECT_EQ(MapCamera.Target.z, player.Pos[2]);
    EXPECT_EQ(player.OrderTarget, 0);
    // One start save named after the user and the clock.
    const std::vector<std::string> saves = StartSaves();
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].rfind("Wren", 0), 0u) << saves[0];
    EXPECT_EQ(SaveWriterState.load(), 0);
    // The steps that other screens own, in their order; no speed for a new game.
    EXPECT_EQ(Steps, (std::vector<std::string>{"CompanionsRefresh", "ResetQuestEntries", "BuildMiniMapIcons",
                                               "MapScreen_Reset", "BuildTalentTree"}));
}

TEST_F(GameLoadingWorkerTest, CampaignStepCarriesTheHeroIntoTheModsNextScenario)
{
    ASSERT_TRUE(RunWorker());
    ASSERT_TRUE(GameLoaded);
    TPersonage& hero = ArmyUnits[PlayerArmy][1];
    ASSERT_NE(hero.UnitType, 0);
    hero.PersonalSeed = 4321; // the hero's own, which only carrying keeps
    const int32_t heroType = hero.UnitType;
    Now += 5000; // another start save's clock

    ScenarioFolder = "Mods\\Vale\\";
    CampaignTransfer = 1;
    NextScenarioName = "Second.Tdm";
    SelectedScenario = -1; // the list plays no part in a campaign step
    ASSERT_TRUE(RunWorker());
    ASSERT_TRUE(GameLoaded);
    EXPECT_EQ(LoadedScenarioName, Temp.ProgramPath() + "Mods\\Vale\\Scenarios\\Second.Tdm");
    EXPECT_EQ(ArmyUnits[PlayerArmy][1].UnitType, heroType);
    EXPECT_EQ(ArmyUnits[PlayerArmy][1].PersonalSeed, 4321);
    EXPECT_EQ(CampaignTransfer, 0);
    EXPECT_EQ(NextScenarioName, "");
    EXPECT_EQ(StartSaves().size(), 2u);
}

TEST_F(GameLoadingWorkerTest, AMissingNextScenarioLoadsNothing)
{
    ScenarioFolder = "Mods\\Vale\\";
    CampaignTransfer = 1;
    NextScenarioName = "Gone.Tdm";
    ASSERT_TRUE(RunWorker());
    EXPECT_FALSE(GameLoaded);
    EXPECT_EQ(LoadedScenarioName, "");
    EXPECT_TRUE(Steps.empty());
    EXPECT_TRUE(StartSaves().empty());
}

} // namespace
