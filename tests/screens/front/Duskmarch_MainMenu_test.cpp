// The main menu's routing and the shared services it draws on: the texts in
// the player's language and the landscape behind the menus.
#include "screens/front/Duskmarch_MainMenu.h"

#include <gtest/gtest.h>

#include "engine/QX9_System.h"
#include "model/Support.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/map/Duskmarch_SavedGames.h"
#include "tests/render/GUITestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(MainMenuTest, NewGameRoute)
{
    const std::vector<std::string> withPrologue = {"Scenarios\\Border.Tdm", "Scenarios\\Scenario01_Prologue.Tdm",
                                                   "Scenarios\\Scenario01_Prologue_B.Tdm"};
    const std::vector<std::string> withoutPrologue = {"Scenarios\\Border.Tdm", "Scenarios\\scenario01_prologue.Tdm"};
    struct Row {
        bool UseTutorial;
        bool Completed;
        const std::vector<std::string>* Scenarios;
        bool HeroSelection;
        int32_t Scenario;
    };
    const Row rows[] = {
        {false, false, &withPrologue, false, -1}, // no tutorial wanted: the scenario selection
        {true, true, &withPrologue, false, -1},   // the tutorial done
        {false, true, &withPrologue, false, -1},
        {true, false, &withPrologue, true, 1},    // the first file holding the prologue's name
        {true, false, &withoutPrologue, true, 0}, // the name is compared in its case: none, the first
        {true, false, nullptr, true, 0},          // no standard scenario at all
    };
    const std::vector<std::string> none;
    for (const Row& row : rows) {
        const TNewGameRoute route =
            ChooseNewGameRoute(row.UseTutorial, row.Completed, row.Scenarios != nullptr ? *row.Scenarios : none);
        EXPECT_EQ(route.HeroSelection, row.HeroSelection) << row.UseTutorial << row.Completed;
        EXPECT_EQ(route.Scenario, row.Scenario) << row.UseTutorial << row.Completed;
    }
}

class MainMenuButtonsTest : public TGUITest {
protected:
    void SetUp() override
    {
        TGUITest::SetUp();
        MainMenu_Window = new TGUI_GraphicWindow(Render.get(), "MainMenu_Window");
        Windows.push_back(MainMenu_Window);
        Target = new TGUI_Window(Render.get(), "Other_Window");
        Windows.push_back(Target);
        Processor->Pending.clear();
    }
    void TearDown() override
    {
        MainMenu_Window = nullptr;
        for (TGUI_Window** slot : {&SelectScenario_Window, &SelectHero_Window, &SaveLoad_Window, &Options_Window,
                                   &ScenarioEnd_Window, &Tutorials_Window})
            *slot = nullptr;
        ClearSavedGames();
        PendingSave.clear();
        SaveCounter = 0;
        FreeGameOptions();
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
    TGUI_Window* Target = nullptr;
};

TEST_F(MainMenuButtonsTest, ContinueWithoutASaveDoesNothing)
{
    CurrentUserName = "Knight";
    ClearSavedGames();
    PendingSave.clear();
    SaveCounter = 0; // another test of this run may have left a restart behind
    PrivateSaves.push_back({});
    PrivateSaves.back().FileName = "Squire (2026-01-01 10-00).sav"; // another user's
    MainMenuScreen_Continue(nullptr);
    EXPECT_TRUE(Processor->Pending.empty());
    EXPECT_TRUE(PendingSave.empty());
    EXPECT_EQ(SaveCounter, 0);

    PrivateSaves.push_back({});
    PrivateSaves.back().FileName = "Knight.sav";
    MainMenuScreen_Continue(nullptr);
    EXPECT_EQ(PendingSave, "Knight.sav");
    EXPECT_EQ(SaveCounter, 1);
}

TEST_F(MainMenuButtonsTest, ButtonsOpenTheirWindowsOrPostNothingWhenMissing)
{
    struct Row {
        void (*Handler)(TGUI_Object*);
        TGUI_Window** Slot;
    };
    // The tutorials' button opens the browser, tested with the tutorials.
    const Row rows[] = {{MainMenuScreen_LoadGame, &SaveLoad_Window}, {MainMenuScreen_Options, &Options_Window}};
    for (const Row& row : rows) {
        Processor->Pending.clear();
        *row.Slot = nullptr;
        row.Handler(nullptr);
        EXPECT_TRUE(Processor->Pending.empty());
        *row.Slot = Target;
        row.Handler(nullptr);
        EXPECT_EQ(PostedFor(Target), std::vector<int32_t>{GUI_STATE_OPEN});
        *row.Slot = nullptr;
    }
}

TEST_F(MainMenuButtonsTest, CreditsCloseTheMenuOnlyWhenTheirWindowExists)
{
    MainMenuScreen_Credits(nullptr);
    EXPECT_TRUE(Processor->Pending.empty()) << "the menu stays when there is nothing to show";
    ScenarioEnd_Window = Target;
    MainMenuScreen_Credits(nullptr);
    EXPECT_EQ(PostedFor(MainMenu_Window), std::vector<int32_t>{GUI_STATE_CLOSE});
    EXPECT_EQ(PostedFor(Target), std::vector<int32_t>{GUI_STATE_OPEN});
}

TEST_F(MainMenuButtonsTest, NewGameFollowsTheTutorialSettings)
{
    const TTempFolder folder;
    struct Row {
        const char* Settings;
        bool HeroSelection;
    };
    const Row rows[] = {{"UseTutorial=No\r\nTutorialCompleted=No\r\n", false},
                        {"UseTutorial=Yes\r\nTutorialCompleted=No\r\n", true},
                        {"UseTutorial=Yes\r\nTutorialCompleted=Yes\r\n", false},
                        {"", false}};
    SelectScenario_Window = Target;
    auto* hero = new TGUI_Window(Render.get(), "SelectHero_Window");
    Windows.push_back(hero);
    SelectHero_Window = hero;
    StandardScenarioFiles = {"A.Tdm", "Scenario01_Prologue.Tdm"};
    for (const Row& row : rows) {
        FreeGameOptions();
        GameOptions = new TIniFile();
        GameOptions->Load(folder.WriteProgramFile("Options_Game.ini", std::string("[Main]\r\n") + row.Settings));
        Processor->Pending.clear();
        SelectedScenario = -7;
        MainMenuScreen_NewGame(nullptr);
        EXPECT_EQ(PostedFor(hero).size(), row.HeroSelection ? 1u : 0u) << row.Settings;
        EXPECT_EQ(PostedFor(Target).size(), row.HeroSelection ? 0u : 1u) << row.Settings;
        EXPECT_EQ(SelectedScenario, row.HeroSelection ? 1 : -7) << row.Settings;
    }
    StandardScenarioFiles.clear();
}

TEST_F(MainMenuButtonsTest, ExitAsksOnceForCloseThenDestroy)
{
    MainMenuScreen_Exit(nullptr);
    MainMenuScreen_Exit(nullptr); // Esc still held in the next frame
    EXPECT_EQ(PostedFor(MainMenu_Window), (std::vector<int32_t>{GUI_STATE_CLOSE, GUI_STATE_DESTROY}));
}

// ---------------------------------------------------------------------------

class LocalizedTextTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        LanguageName.clear();
        SetGameLanguage("eng");
    }
    TTempFolder Folder;
};

TEST_F(LocalizedTextTest, LanguageFormsThenEnglishAndEmptyCountsAsMissing)
{
    struct Row {
        const char* Language;
        const char* Body;
        const char16_t* Text;
    };
    const Row rows[] = {
        {"rus", "K_Rus=Привет\r\nK_Eng=Hello\r\n", u"Привет"},
        {"rus", "Krus=имя\r\nK_Rus=суффикс\r\n", u"имя"}, // the language's name first
        {"rus", "KRUS=код\r\nK_Rus=суффикс\r\n", u"код"}, // then its code
        {"rus", "K_Rus=\r\nK_Eng=Hello\r\n", u"Hello"},   // an empty text falls through
        {"deu", "KENG=Only\r\n", u"Only"},                // the last English form
        {"eng", "K_Eng=a, b\r\n", u"a, b"},               // the whole value
        {"xyz", "K_Eng=Hello\r\n", u"Hello"},             // an unknown language reads English
        {"eng", "Other_Eng=x\r\nK=bare\r\n", u""},        // the bare key belongs to no language
    };
    for (const Row& row : rows) {
        SetGameLanguage(row.Language);
        LanguageName = row.Language;
        TIniFile ini;
        ini.Load(Folder.WriteProgramFile("Texts.ini", std::string("[Texts]\r\n") + row.Body));
        ini.SelectSection("Texts");
        EXPECT_EQ(GetLocalizedText(ini, "K"), row.Text) << row.Language << " " << row.Body;
    }
}

TEST(BackgroundTest, NeverThePreviousPictureAndEveryOtherInReach)
{
    for (int32_t previous = -1; previous < BackgroundCount; previous++) {
        std::vector<int32_t> seen(BackgroundCount, 0);
        for (uint32_t seed = 0; seed < 400; seed++) {
            SetRandomSeed(seed);
            const int32_t chosen = ChooseBackground(previous);
            ASSERT_GE(chosen, 0);
            ASSERT_LT(chosen, BackgroundCount);
            seen[static_cast<size_t>(chosen)]++;
        }
        for (int32_t i = 0; i < BackgroundCount; i++)
            EXPECT_EQ(seen[static_cast<size_t>(i)] > 0, i != previous) << "previous " << previous << ", " << i;
    }
}

} // namespace
