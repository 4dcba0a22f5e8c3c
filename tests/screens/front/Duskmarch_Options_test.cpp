// The options: each key read and clamped as its kind says, the window
// showing the file's values on its three pages, apply writing the file back
// and setting the globals, cancel restoring the file's volumes.
#include "screens/front/Duskmarch_Options.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "battle/Battle_Rules.h"
#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "screens/front/Duskmarch_Credits.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_Tutorials.h"
#include "screens/kit/Duskmarch_Base.h"
#include "tests/screens/ScreenHarness.h"
#include "tests/support/TestSupport.h"

namespace {

const TOptionEntry& Entry(const char* name)
{
    for (const TOptionEntry& entry : OptionTable)
        if (std::string(entry.Name) == name)
            return entry;
    ADD_FAILURE() << name;
    return OptionTable[0];
}

TEST(OptionsTest, ReadOptionValueClampsEachKind)
{
    struct Row {
        const char* Option;
        const char* Line; // "" for a missing key
        int32_t Expected;
    };
    const Row rows[] = {
        {"DifficultyLevel", "Game_DifficultyLevel=4", 4},
        {"DifficultyLevel", "Game_DifficultyLevel=0", 2},
        {"DifficultyLevel", "Game_DifficultyLevel=5", 2},
        {"DifficultyLevel", "", 2},
        {"ShadowsResolution", "Render_ShadowsResolution=3", 3}, // shown, it becomes 4096
        {"ShadowsResolution", "Render_ShadowsResolution=4096", 4096},
        {"ShadowsResolution", "Render_ShadowsResolution=512", 2048},
        {"ShadowsResolution", "", 2048},
        {"TextureQuality", "Render_TextureQuality=300", 300}, // accepted; shown, 1024
        {"TextureQuality", "Render_TextureQuality=255", 1024},
        {"TextureQuality", "Render_TextureQuality=5000", 1024},
        {"UseTutorial", "", 0},
        {"UseTutorial", "UseTutorial=Yes", 1},
        {"AutoSave", "AutoSave=No", 0},
        {"MusicVolume", "Music_MusicVolume=5000", 1000},
        {"MusicVolume", "Music_MusicVolume=-20", 0},
        {"VolumeEffects", "Music_VolumeEffects=640", 640},
        {"VolumeEffects", "", 0},
    };
    for (const Row& row : rows) {
        TIniFile ini;
        ini.LoadFromMemory("Options_Game.ini", std::string("[Main]\n") + row.Line + "\n");
        ini.SelectSection("Main");
        EXPECT_EQ(ReadOptionValue(ini, Entry(row.Option)), row.Expected) << row.Option << " " << row.Line;
    }
}

TEST(OptionsTest, QualityButtons)
{
    struct Row {
        int32_t Value, Shadows, Texture;
    };
    const Row rows[] = {{1, 1, 1},    {2, 2, 1},    {3, 3, 1},   {1024, 1, 1},
                        {2048, 2, 2}, {4096, 3, 3}, {300, 2, 1}, {512, 2, 1}};
    for (const Row& row : rows) {
        EXPECT_EQ(ShadowsButtonFor(row.Value), row.Shadows) << row.Value;
        EXPECT_EQ(TextureButtonFor(row.Value), row.Texture) << row.Value;
    }
    EXPECT_EQ(QualityButtonValue(1), 1024);
    EXPECT_EQ(QualityButtonValue(3), 4096);
}

class OptionsScreenTest : public TScreenHarness {
protected:
    void TearDown() override
    {
        if (TGUI_Window* window = Options_Window) {
            GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), window),
                                  GUI_OpenWindows.end());
            OptionsScreen_Free();
            delete window;
        }
        OptionsScreen_Free();
        for (TGUI_Window** window :
             {&ScenarioEnd_Window, &Tutorials_Window, reinterpret_cast<TGUI_Window**>(&MainMenu_Window)}) {
            if (*window == nullptr)
                continue;
            GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), *window),
                                  GUI_OpenWindows.end());
            TGUI_Window* doomed = *window;
            if (doomed == ScenarioEnd_Window)
                ScenarioEndScreen_Free();
            else if (doomed == Tutorials_Window)
                TutorialsScreen_Free();
            *window = nullptr;
            delete doomed;
        }
        TutorialsList.clear();
        ClearTutorialsShown = nullptr;
        TScreenHarness::TearDown();
    }
    // The user's settings file with these lines in "Main".
    void UseSettings(const std::string& lines)
    {
        const std::string program =
            Folder.WriteProgramFile("Options_Game.ini", "[Main]\r\nGlobal_Language=eng\r\n" + lines);
        GameOptions->Load(program);
    }
    std::string SettingsText() const { return Folder.ReadFile("Options_Game.ini"); }
    TGUI_GraphicWindow& Window() { return *static_cast<TGUI_GraphicWindow*>(Options_Window); }
    void Click(const std::string& name)
    {
        TGUI_Object* object = Control(Window(), name);
        ASSERT_NE(object, nullptr) << name;
        Move(object->X + object->Width / 2, object->Y + object->Height / 2);
        WaitFrames(1);
        Press();
        WaitFrames(1);
        Release();
        WaitFrames(2);
    }
    // Drags the bar's knob to the position (0..1).
    void DragBar(const std::string& name, float position)
    {
        auto* bar = dynamic_cast<TGUI_ScrollBar*>(Control(Window(), name));
        ASSERT_NE(bar, nullptr) << name;
        const int32_t travel = bar->Width - 2 * bar->ArrowSize - bar->SliderWidth;
        const int32_t y = bar->Y + bar->Height / 2;
        const int32_t knob =
            bar->X + bar->ArrowSize + static_cast<int32_t>(bar->Position * travel) + bar->SliderWidth / 2;
        Move(knob, y);
        WaitFrames(1);
        Press();
        WaitFrames(1);
        Move(bar->X + bar->ArrowSize + static_cast<int32_t>(position * static_cast<float>(travel) + 0.5f) +
                 bar->SliderWidth / 2,
             y);
        WaitFrames(1);
        Release();
        WaitFrames(2);
    }
    bool Held(const std::string& name)
    {
        TGUI_Object* object = Control(Window(), name);
        return object != nullptr && object->Held != 0;
    }
    TTempFolder Folder;
};

TEST_F(OptionsScreenTest, ShowsTheFileAndAppliesTheChanges)
{
    ASSERT_TRUE(Start());
    UseSettings("Game_DifficultyLevel=3\r\nMusic_MusicVolume=5000\r\nMusic_VolumeEffects=640\r\n"
                "Render_ShadowsResolution=3\r\nRender_TextureQuality=300\r\nAutoSave=No\r\nCascadeBattle=Yes\r\n"
                "IndividualSort=Yes\r\nTimeLiturgia=No\r\nLoading_ProgressBarSize=77\r\n");
    OptionsScreen_Create();
    ASSERT_NE(Options_Window, nullptr);

    // What the file says, as the window shows it.
    EXPECT_EQ(DifficultyLevel, 3);
    EXPECT_EQ(GameDifficulty, 3);
    EXPECT_TRUE(Held("b_DL3"));
    EXPECT_EQ(MusicVolume, 1000);
    EXPECT_TRUE(Held("b_SQ3"));
    EXPECT_EQ(CurrentSettings.Values[OptionShadowsResolution], 4096);
    EXPECT_TRUE(Held("b_TQ1"));
    EXPECT_EQ(CurrentSettings.Values[OptionTextureQuality], 1024);
    EXPECT_EQ(UseTutorial, 0); // missing: no tutorials
    EXPECT_TRUE(AnimationWait);
    EXPECT_EQ(SortByUsability, 1);

    MapFrozen = 1;
    OpenScreen(Options_Window);
    ASSERT_TRUE(IsOpen(Options_Window));
    WaitFrames(2);
    Shot("options_page1");
    // The held difficulty shows its pressed face.
    const TGUI_Object* easy = Control(Window(), "b_DL1");
    const TGUI_Object* hard = Control(Window(), "b_DL3");
    EXPECT_NE(Pixel(easy->X + 12, easy->Y + easy->Height / 2), Pixel(hard->X + 12, hard->Y + hard->Height / 2));
    Click("b_Page2");
    EXPECT_TRUE(Held("b_Page2"));
    EXPECT_FALSE(Held("b_Page1"));
    Shot("options_page2");
    Click("b_Page3");
    Shot("options_page3");
    EXPECT_EQ(Control(Window(), "cb_AutoSave")->Visible, 0);
    EXPECT_EQ(Control(Window(), "cb_MSAA")->Visible, 1);
    // The interface size has nothing behind it: the largest stays chosen.
    for (const char* name : {"b_IS1", "b_IS2", "b_IS3"}) {
        Click(name);
        EXPECT_TRUE(Held("b_IS3")) << name;
        EXPECT_FALSE(Held("b_IS1")) << name;
    }
    Click("b_SQ1");
    EXPECT_TRUE(Held("b_SQ1"));
    EXPECT_FALSE(Held("b_SQ3"));

    Click("b_Page1");
    Click("b_DL4");
    EXPECT_EQ(DifficultyLevel, 4);
    Click("cb_AutoSave");
    EXPECT_EQ(static_cast<TGUI_CheckBox*>(Control(Window(), "cb_AutoSave"))->Checked, 1);
    EXPECT_EQ(AutoSave, 0); // only apply stores it
    Click("b_Page2");
    DragBar("sb_BarMusic", 0.3f);

    KeyDown(32);
    WaitFrames(1);
    KeyUp(32);
    WaitFrames(3);
    EXPECT_FALSE(IsOpen(Options_Window));

    const std::string text = SettingsText();
    for (const char* line :
         {"Game_DifficultyLevel=4\r\n", "Music_MusicVolume=300\r\n", "Music_VolumeEffects=640\r\n", "AutoSave=Yes\r\n",
          "CascadeBattle=Yes\r\n", "UseTutorial=No\r\n", "Render_ShadowsResolution=1024\r\n",
          "Render_TextureQuality=1024\r\n", "Game_HeroPath=No\r\n", "Loading_ProgressBarSize=77\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find("InterfaceSize"), std::string::npos);
    EXPECT_EQ(AutoSave, 1);
    EXPECT_EQ(MusicVolume, 300);
    EXPECT_EQ(GameDifficulty, 4);
    EXPECT_EQ(AppliedSettings.Values[OptionMusicVolume], 300);
    EXPECT_EQ(MapFrozen, 0);
}

TEST_F(OptionsScreenTest, CancelRestoresTheFileVolumes)
{
    ASSERT_TRUE(Start());
    UseSettings("Music_MusicVolume=700\r\nMusic_VolumeEffects=800\r\nGame_DifficultyLevel=1\r\n");
    OptionsScreen_Create();
    OpenScreen(Options_Window);
    Click("b_Page2");
    DragBar("sb_BarMusic", 0.1f);
    // The bar is heard at once.
    EXPECT_EQ(AppliedSettings.Values[OptionMusicVolume], 100);
    Click("b_Page1");
    Click("b_DL3");
    EXPECT_EQ(GameDifficulty, 3);
    KeyDown(27);
    WaitFrames(1);
    KeyUp(27);
    WaitFrames(3);
    EXPECT_FALSE(IsOpen(Options_Window));
    EXPECT_EQ(AppliedSettings.Values[OptionMusicVolume], 700);
    EXPECT_EQ(MusicVolume, 700);
    auto* bar = dynamic_cast<TGUI_ScrollBar*>(Control(Window(), "sb_BarMusic"));
    EXPECT_FLOAT_EQ(bar->Position, 0.7f);
    EXPECT_EQ(GameDifficulty, 1);
    EXPECT_TRUE(Held("b_DL1"));
    EXPECT_EQ(SettingsText().find("Music_MusicVolume=100"), std::string::npos);
}

TEST_F(OptionsScreenTest, TheMainMenuOpensOptionsTutorialsAndCredits)
{
    ASSERT_TRUE(Start());
    UseSettings("Music_MusicVolume=700\r\n");
    MainMenuScreen_Create();
    OptionsScreen_Create();
    TutorialsScreen_Create();
    ScenarioEndScreen_Create();
    OpenScreen(MainMenu_Window);
    ASSERT_TRUE(IsOpen(MainMenu_Window));
    auto clickMenu = [&](const char* name) {
        TGUI_Object* button = MainMenu_Window->FindObject(name);
        ASSERT_NE(button, nullptr) << name;
        Move(button->X + button->Width / 2, button->Y + button->Height / 2);
        WaitFrames(1);
        Press();
        WaitFrames(1);
        Release();
        WaitFrames(3);
    };
    clickMenu("Btn_Options");
    EXPECT_TRUE(IsOpen(Options_Window));
    KeyDown(27);
    WaitFrames(1);
    KeyUp(27);
    WaitFrames(3);
    EXPECT_FALSE(IsOpen(Options_Window));

    clickMenu("Btn_TopScores");
    EXPECT_TRUE(IsOpen(Tutorials_Window));
    EXPECT_EQ(FromList, 1);
    KeyDown(27);
    WaitFrames(1);
    KeyUp(27);
    WaitFrames(3);
    EXPECT_FALSE(IsOpen(Tutorials_Window));

    clickMenu("Btn_Credits");
    EXPECT_TRUE(IsOpen(ScenarioEnd_Window));
    EXPECT_FALSE(IsOpen(MainMenu_Window));
    // The click's release was the menu's: the credits stay until the next.
    WaitFrames(3);
    EXPECT_TRUE(IsOpen(ScenarioEnd_Window));
    Press();
    WaitFrames(1);
    Release();
    WaitFrames(3);
    EXPECT_FALSE(IsOpen(ScenarioEnd_Window));
    EXPECT_TRUE(IsOpen(MainMenu_Window));
}

} // namespace
