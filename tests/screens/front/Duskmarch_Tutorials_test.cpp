// The tutorials: the list and its pictures from the file, the pop-ups a
// screen asks for (once per game, page by page), the browser and its keys,
// and the prologue's completion in the settings.
#include "screens/front/Duskmarch_Tutorials.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/scenario/ScenarioMap_Records.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "platform/window/Window.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_StringList.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_Options.h"
#include "screens/kit/Duskmarch_Base.h"
#include "tests/screens/ScreenHarness.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(TutorialsTest, PictureFallsBackToEnglishThenTheBaseName)
{
    TTempFolder folder;
    folder.WriteFile("Both_Rus.DDS", "x");
    folder.WriteFile("Both_eng.DDS", "x");
    folder.WriteFile("EngOnly_eng.DDS", "x");
    folder.WriteFile("EngOnly.DDS", "x");
    folder.WriteFile("BaseOnly.DDS", "x");
    struct Row {
        const char* Image;
        const char* Suffix;
        const char* Expected;
    };
    const Row rows[] = {
        {"Both", "_Rus", "Both_Rus.DDS"},
        {"Both", "_Eng", "Both_Eng.DDS"}, // file names match in any case
        {"EngOnly", "_Rus", "EngOnly_eng.DDS"},
        {"BaseOnly", "_Rus", "BaseOnly.DDS"},
        {"Missing", "_Rus", "Missing"},
        {"", "_Rus", ""},
        {"..\\Both", "_Rus", ""},
        {"Sub\\Both", "_Rus", ""},
        {"Sub/Both", "_Rus", ""},
        {"a..b", "_Rus", ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ChooseTutorialPicture(folder.ProgramPath(), row.Image, row.Suffix), row.Expected) << row.Image;
}

TEST(TutorialsTest, ListEntriesFromTheFile)
{
    struct Row {
        const char* File;
        size_t Count;
    };
    const Row rows[] = {
        {"", 13},
        {"[Hints]\nTutorialsCount=0\n", 13},
        {"[Hints]\nTutorialsCount=-4\n", 13},
        {"[Hints]\nTutorialsCount=2\nUID1=7\nWindow1=Battle_Window\nImage1=Pic\nUID2=7\nWindow2=Battle_Window\n", 2},
        // A count far beyond the keys is held to a sane bound.
        {"[Hints]\nTutorialsCount=2000000000\n", 1000},
    };
    for (const Row& row : rows) {
        TIniFile ini;
        ini.LoadFromMemory("tutorials.ini", row.File);
        ReadTutorialsList(ini, "");
        EXPECT_EQ(TutorialsList.size(), row.Count) << row.File;
    }
    TIniFile ini;
    ini.LoadFromMemory("tutorials.ini", rows[3].File);
    ReadTutorialsList(ini, "");
    EXPECT_EQ(TutorialsList[0].UID, 7);
    EXPECT_EQ(TutorialsList[0].Window, "Battle_Window");
    EXPECT_EQ(TutorialsList[0].Image, "Pic");
    EXPECT_EQ(TutorialsList[1].Image, "");
    TutorialsList.clear();
}

// A stand-in for a screen that asks for its tutorial when it opens, and
// runs the script's action inside its next frame as a click would.
TGUI_Window* Screen = nullptr;
void (*ScreenAction)() = nullptr;
void ScreenHandler(int32_t state, TGUI_Window* window)
{
    if (state == GUI_STATE_OPEN)
        ShowEventTutorial(-1);
    if (state != GUI_STATE_ACTIVE)
        return;
    RenderAndPresentScene(window->DrawScene);
    if (void (*action)() = ScreenAction) {
        ScreenAction = nullptr;
        action();
    }
}

class TutorialsScreenTest : public TScreenHarness {
protected:
    void TearDown() override
    {
        for (TGUI_Window** window : {&Tutorials_Window, &Screen}) {
            if (*window == nullptr)
                continue;
            GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), *window),
                                  GUI_OpenWindows.end());
            if (*window == Tutorials_Window)
                TutorialsScreen_Free();
            else
                delete *window;
        }
        delete TutorialsWindowToDelete;
        TutorialsWindowToDelete = nullptr;
        Screen = nullptr;
        ScreenAction = nullptr;
        TutorialsList.clear();
        MapStory.Tutorial = 0;
        UseTutorial = 0;
        ResetPlayServices();
        ClearTutorialsShown = nullptr;
        TScreenHarness::TearDown();
    }
    void Build()
    {
        TutorialsScreen_Create();
        TutorialsWindowToDelete = Tutorials_Window;
    }
    TGUI_Window* MakeScreen(const std::string& name)
    {
        Screen = new TGUI_Window(MainRender, name);
        Screen->Handler = ScreenHandler;
        Screen->DrawScene = MainRender->Scene_Find("2D")->Index;
        return Screen;
    }
    void Run(void (*action)())
    {
        ScreenAction = action;
        WaitFrames(3);
    }
    void Key(int32_t key)
    {
        KeyDown(key);
        WaitFrames(1);
        KeyUp(key);
        WaitFrames(2);
    }
    int32_t FirstOf(const std::string& window) const
    {
        for (size_t i = 0; i < TutorialsList.size(); i++)
            if (TutorialsList[i].Window == window)
                return static_cast<int32_t>(i);
        return -1;
    }
    TGUI_Window* TutorialsWindowToDelete = nullptr;
};

TEST_F(TutorialsScreenTest, PopUpOncePerGamePageByPage)
{
    ASSERT_TRUE(Start());
    Build();
    const int32_t battle = FirstOf("Battle_Window");
    ASSERT_GE(battle, 0);
    ASSERT_EQ(TutorialsList[static_cast<size_t>(battle) + 2].Window, "Battle_Window"); // three pages
    MapStory.Tutorial = 1;
    UseTutorial = 1;

    Move(20, 20);
    OpenScreen(MakeScreen("Battle_Window"));
    WaitFrames(3);
    ASSERT_TRUE(IsOpen(Tutorials_Window));
    EXPECT_EQ(TutorialState.Current, battle);
    EXPECT_EQ(FromList, 0);
    Shot("tutorial_popup");
    // The picture fills the middle; the shade darkens the rest.
    EXPECT_LT(Pixel(10, 10) & 0xFF, 0x40u);
    for (int32_t page = 1; page < 3; page++) {
        Key(32);
        EXPECT_TRUE(IsOpen(Tutorials_Window)) << page;
        EXPECT_EQ(TutorialState.Current, battle + page);
    }
    Key(32);
    EXPECT_FALSE(IsOpen(Tutorials_Window));
    EXPECT_EQ(TutorialState.Active, 0);
    for (int32_t page = 0; page < 3; page++)
        EXPECT_EQ(TutorialsList[static_cast<size_t>(battle + page)].Shown, 1);

    // The same screen again in this game: no pop-up.
    Run([] { ShowEventTutorial(-1); });
    EXPECT_FALSE(IsOpen(Tutorials_Window));
    // A new game: shown again.
    ResetTutorialsShown();
    Run([] { ShowEventTutorial(-1); });
    EXPECT_TRUE(IsOpen(Tutorials_Window));
    Key(27);
    Key(27);
    Key(27);
    EXPECT_FALSE(IsOpen(Tutorials_Window));
}

TEST_F(TutorialsScreenTest, NoPopUpsWithoutTheSettingButTheBrowserOpens)
{
    ASSERT_TRUE(Start());
    Build();
    MapStory.Tutorial = 1;
    UseTutorial = 0;
    OpenScreen(MakeScreen("Battle_Window"));
    WaitFrames(3);
    EXPECT_FALSE(IsOpen(Tutorials_Window));
    // A scenario without tutorials: none either.
    MapStory.Tutorial = 0;
    UseTutorial = 1;
    Run([] { ShowEventTutorial(-1); });
    EXPECT_FALSE(IsOpen(Tutorials_Window));

    Move(20, 20);
    Run([] { TutorialsScreen_Open(nullptr); });
    ASSERT_TRUE(IsOpen(Tutorials_Window));
    EXPECT_EQ(FromList, 1);
    EXPECT_EQ(TutorialState.Current, 0);
    Shot("tutorials");
    const int32_t last = static_cast<int32_t>(TutorialsList.size()) - 1;
    struct Step {
        int32_t Key;
        int32_t Expected;
    };
    const Step steps[] = {{VK_UP, 0},      {VK_DOWN, 1},      {VK_DOWN, 2}, {VK_END, last},
                          {VK_DOWN, last}, {VK_UP, last - 1}, {VK_HOME, 0}, {VK_UP, 0}};
    for (const Step& step : steps) {
        Key(step.Key);
        EXPECT_EQ(TutorialState.Current, step.Expected) << step.Key;
        EXPECT_TRUE(IsOpen(Tutorials_Window));
    }
    Key(VK_DOWN);
    Shot("tutorials_next");
    // Browsing marks nothing as shown.
    for (const tTutorialsList& entry : TutorialsList)
        EXPECT_EQ(entry.Shown, 0);
    Key(27);
    EXPECT_FALSE(IsOpen(Tutorials_Window));
    EXPECT_EQ(TutorialState.Current, -1);
}

TEST_F(TutorialsScreenTest, AStoryEventShowsTheTutorialItNames)
{
    ASSERT_TRUE(Start());
    Build();
    MapStory.Tutorial = 1;
    UseTutorial = 1;
    const int32_t journal = FirstOf("Journal_Window");
    ASSERT_GE(journal, 0);
    const size_t saved = StoryEvents.size();
    const int32_t savedCount = StoryEventCount;
    StoryEvents.resize(3);
    StoryEventCount = 2;
    StoryEvents[1].Uid = 999999; // names no tutorial
    StoryEvents[2].Uid = TutorialsList[static_cast<size_t>(journal)].UID;
    OpenScreen(MakeScreen("Other_Window"));
    Run([] {
        ShowEventTutorial(1, 0);
        ShowEventTutorial(7, 0); // no such event
    });
    EXPECT_FALSE(IsOpen(Tutorials_Window));
    Run([] { ShowEventTutorial(2, 0); });
    EXPECT_TRUE(IsOpen(Tutorials_Window));
    EXPECT_EQ(TutorialState.Current, journal);
    // A request while it is open is dropped.
    ShowEventTutorial(-1, 0);
    EXPECT_EQ(TutorialState.Current, journal);
    Key(32);
    EXPECT_FALSE(IsOpen(Tutorials_Window));
    StoryEvents.resize(saved);
    StoryEventCount = savedCount;
}

TEST_F(TutorialsScreenTest, CompletionIsWrittenToTheSettings)
{
    ASSERT_TRUE(Start());
    TTempFolder folder;
    const std::string file =
        folder.WriteProgramFile("Options_Game.ini", "[Main]\r\nUseTutorial=Yes\r\nAutoSave=Yes\r\n");
    GameOptions->Load(file);
    MarkTutorialCompleted();
    const std::string text = folder.ReadFile("Options_Game.ini");
    EXPECT_NE(text.find("TutorialCompleted=Yes"), std::string::npos) << text;
    EXPECT_NE(text.find("UseTutorial=No"), std::string::npos) << text;
    EXPECT_NE(text.find("AutoSave=Yes"), std::string::npos) << text;
}

} // namespace
