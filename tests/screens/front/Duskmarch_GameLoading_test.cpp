// The game loading worker on its own thread (run under ThreadSanitizer too)
// and the hand-over of the loading windows; the hero window's way back.
#include "screens/front/Duskmarch_GameLoading.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "model/Support.h"
#include "model/save/SavedGame.h"
#include "render/QX9_GUI_GraphicWindow.h"
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

} // namespace
