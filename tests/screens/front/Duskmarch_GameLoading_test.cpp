// The game loading worker on its own thread (run under ThreadSanitizer too)
// and the hand-over of the loading windows; the hero window's way back.
#include "screens/front/Duskmarch_GameLoading.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include "model/Hooks.h"
#include "model/Support.h"
#include "model/save/SavedGame.h"
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

} // namespace
