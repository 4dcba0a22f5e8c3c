// The screen kit's helpers: texts in the player's language, time spans,
// replacements, the encounter list, hire slots, the hero's panel slot, the
// screenshot's name, and the hot-key rule driven through the window
// procedure as real keys are.
#include "screens/kit/Duskmarch_Base.h"

#include <gtest/gtest.h>

#include "model/Support.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI_Controls.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "tests/render/GUITestSupport.h"
#include "tests/support/WorldBuilder.h"

namespace {

std::string Utf8(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

TEST(ScreenKitTest, LocalizedTextTriesTheLanguageFormsInOrder)
{
    const std::string saved[] = {LanguageName, LanguageCode, LanguageSuffix};
    LanguageName = "rus";
    LanguageCode = "RU";
    LanguageSuffix = "_Rus";
    struct Row {
        const char* Section;
        const char* Expected;
    };
    // Keys: rus (the language name), the suffix forms and the English ones.
    TIniFile ini;
    ini.LoadFromMemory("Texts.ini", "[OnlyENG]\nCaptionENG=upper\n"
                                    "[EmptyName]\nCaptionrus=\nCaption_Eng=english\n"
                                    "[NameFirst]\nCaptionrus=russian\nCaptionEng=english\n"
                                    "[EngBeforeUnderscore]\nCaptionEng=plain\nCaption_Eng=underscore\n"
                                    "[SuffixBeforeEng]\nCaption_Rus=suffix\nCaptionEng=english\n"
                                    "[Nothing]\nOther_Eng=x\n");
    const Row rows[] = {{"OnlyENG", "upper"},          {"EmptyName", "english"}, // an empty value counts as missing
                        {"NameFirst", "russian"},      {"EngBeforeUnderscore", "plain"},
                        {"SuffixBeforeEng", "suffix"}, {"Nothing", ""}};
    for (const Row& row : rows) {
        ASSERT_TRUE(ini.SelectSection(row.Section));
        EXPECT_EQ(Utf8(GetLocalizedText(ini, "Caption")), row.Expected) << row.Section;
    }
    LanguageName = saved[0];
    LanguageCode = saved[1];
    LanguageSuffix = saved[2];
}

TEST(ScreenKitTest, FormatGameTime)
{
    DayCharText = u"d";
    const std::pair<double, const char*> rows[] = {{545, "9:05"},       {65, "1:05"},      {0, "0:00"},
                                                   {1439.5, "1d 0:00"}, {1438.5, "23:58"}, {3067, "2d 3:07"}};
    for (const auto& [minutes, expected] : rows)
        EXPECT_EQ(Utf8(FormatGameTime(minutes)), expected) << minutes;
    DayCharText.clear();
}

TEST(ScreenKitTest, ReplaceAll)
{
    struct Row {
        std::u16string Text, Find, Replacement, Expected;
    };
    const Row rows[] = {
        {u"Meet <MetArmy> and <metarmy>", u"<MetArmy>", u"the Grey", u"Meet the Grey and the Grey"},
        {u"aXbxc", u"x", u"", u"abc"},  // an empty replacement deletes
        {u"a-b", u"b", u"bb", u"a-bb"}, // the replacement holds the text: it ends
        {u"abab", u"AB", u"xaby", u"xabyxaby"},
        {u"Same", u"same", u"SAME", u"Same"},                    // equal ignoring case: unchanged
        {u"text", u"", u"x", u"text"},                           // nothing to find
        {u"Войско ВОЙСКО", u"войско", u"отряд", u"отряд отряд"}, // Cyrillic letters in any case
    };
    for (const Row& row : rows)
        EXPECT_EQ(ReplaceAll(row.Text, row.Find, row.Replacement), row.Expected) << Utf8(row.Text);
}

TEST(ScreenKitTest, StripTextComment)
{
    const std::pair<std::u16string, std::u16string> rows[] = {
        {u"Sir Aldo # the hero", u"Sir Aldo"}, {u"#remark", u""}, {u"  plain\t", u"plain"}, {u"", u""}};
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(StripTextComment(text), expected) << Utf8(text);
}

TEST(ScreenKitTest, ScenarioDisplayName)
{
    struct Row {
        std::u16string Localized, Selected, Fallback, Caption, Expected;
    };
    const Row rows[] = {
        {u"Border", u"Other.tdm", u"", u"", u"Border"},
        {u"", u"Border.tdm", u"", u"", u"Border"},  // the first "." 4 from the end: cut
        {u"", u"B", u"Fallback", u"", u"Fallback"}, // one character is too short
        {u"", u"", u"F", u"List.Tdm", u"List"},
        {u"", u"My.Map.tdm", u"", u"", u"My.Map.tdm"}, // the first "." is elsewhere: kept
        {u"", u"Name.ab", u"", u"", u"Name.ab"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ChooseScenarioDisplayName(row.Localized, row.Selected, row.Fallback, row.Caption), row.Expected)
            << Utf8(row.Expected);
}

TEST(ScreenKitTest, ScreenshotName)
{
    EXPECT_EQ(ScreenshotFileName(2024, 3, 7, 14, 5, 9, 42), "Duskmarch_ScreenShot_2024-03-07-1405090042.tga");
}

TEST(ScreenKitTest, DifficultyOutsideTheRangeLeavesTheOptionAlone)
{
    OptionsDifficulty = 3;
    SetDifficulty(7);
    EXPECT_EQ(GameDifficulty, 2);
    EXPECT_EQ(OptionsDifficulty, 3);
    SetDifficulty(4);
    EXPECT_EQ(GameDifficulty, 4);
    EXPECT_EQ(OptionsDifficulty, 4);
    SetDifficulty(2);
    OptionsDifficulty = 2;
}

class ScreenKitWorldTest : public ::testing::Test {
protected:
    void SetUp() override { SizeWorldTables(6, 3); }
    void TearDown() override
    {
        EncounterList.clear();
        SizeWorldTables(0, 0);
    }
};

TEST_F(ScreenKitWorldTest, CompactEncounterListKeepsTheLivingInOrder)
{
    GameArmies[static_cast<size_t>(GetGarrisonArmyIndex(3))].Active = 0;
    EncounterList = {0, 5, -3};
    EXPECT_TRUE(CompactEncounterList());
    EXPECT_EQ(EncounterList, std::vector<int32_t>{5});

    GameArmies[4].Defeated = 1;
    GameArmies[2].Active = 0;
    EncounterList = {4, -1, 2, 6};
    EXPECT_TRUE(CompactEncounterList());
    EXPECT_EQ(EncounterList, (std::vector<int32_t>{-1, 6}));

    EncounterList.clear();
    EXPECT_FALSE(CompactEncounterList());
    EXPECT_FALSE(HasEncounters());
    AddEncounter(0);
    EXPECT_FALSE(HasEncounters());
    AddEncounter(5);
    AddEncounter(5);
    EXPECT_EQ(EncounterList, (std::vector<int32_t>{0, 5}));
    EXPECT_TRUE(HasEncounters());
}

TEST_F(ScreenKitWorldTest, HeroPanelSlot)
{
    struct Row {
        int32_t Row, Column, Expected;
    };
    const Row rows[] = {{0, 0, 0}, {0, 5, 5}, {1, 0, 4}, {1, 4, 8}, {2, 0, 8}, {2, 3, 11}, {-1, -1, -1}};
    for (const Row& row : rows) {
        std::memset(GameArmies[PlayerArmy].Formation, 0, sizeof GameArmies[PlayerArmy].Formation);
        GameArmies[PlayerArmy].Formation[0][1] = 2; // another personage first
        if (row.Row >= 0)
            GameArmies[PlayerArmy].Formation[row.Row][row.Column] = 1;
        EXPECT_EQ(FindHeroPanelSlot(), row.Expected) << row.Row << "," << row.Column;
    }
}

TEST_F(ScreenKitWorldTest, HireSlots)
{
    for (int32_t slot = 1; slot <= 4; slot++) {
        GameBuildings[2].HireSlots[slot].UnitType = 3;
        GameBuildings[2].HireSlots[slot].Stock = 2;
        MapBuildings[2].HireSlots[slot].PlayerMayHire = 1;
    }
    GameBuildings[2].HireSlots[2].Stock = 0; // sold out
    MapBuildings[2].HireSlots[3].Closed = 1; // closed by the scenario
    MapBuildings[2].HireSlots[4].PlayerMayHire = 0;
    GameBuildings[2].HireSlots[5].Stock = 4; // no unit type
    MapBuildings[2].HireSlots[5].PlayerMayHire = 1;
    EXPECT_TRUE(IsHireSlotAvailable(2, 1, false));
    EXPECT_FALSE(IsHireSlotAvailable(2, 2, false));
    EXPECT_TRUE(IsHireSlotAvailable(2, 2, true));
    EXPECT_EQ(CountHireSlots(2, false), 1);
    EXPECT_EQ(CountHireSlots(2, true), 2);
    EXPECT_FALSE(IsHireSlotAvailable(9, 1, true)); // no such building
    EXPECT_FALSE(IsHireSlotAvailable(2, 10, true));
    GameArmies[PlayerArmy].Building = 2;
    EXPECT_EQ(CountPlayerHireSlots(true), 2);
    GameArmies[PlayerArmy].Building = 0;
    EXPECT_EQ(CountPlayerHireSlots(true), 0);
}

TEST(ScreenKitTest, EquipRefusalKeys)
{
    const std::pair<uint8_t, const char*> rows[] = {{1, "ItemEquip_NotUsed"},
                                                    {2, "ItemEquip_NotSkill"},
                                                    {3, "ItemEquip_NotSimple"},
                                                    {4, "ItemEquip_NotAligment"},
                                                    {5, "ItemEquip_NotNow"},
                                                    {6, "ItemEquip_NotAgry"},
                                                    {7, "ItemEquip_NotCursed"},
                                                    {8, "ItemEquip_NoNeed"},
                                                    {9, "ItemEquip_NoPlace"},
                                                    {11, "ItemEquip_BadPlace"},
                                                    {12, "ItemEquip_AlwaysUsed"},
                                                    {0, ""},
                                                    {10, ""},
                                                    {13, ""},
                                                    {255, ""}};
    for (const auto& [code, key] : rows)
        EXPECT_EQ(GetEquipRefusalKey(code), key) << int{code};
    EXPECT_TRUE(GetEquipRefusalText(10).empty());
}

TEST(PlayServicesTest, HooksHaveTheLeastBehaviourUntilInstalled)
{
    ResetPlayServices();
    EXPECT_EQ(FilterEventText(u"as written"), u"as written");
    EXPECT_FALSE(IsConsoleOpen());
    EXPECT_EQ(FormatPersonageCount(3, 8), u"3/8");
    StopPlayerArmy();
    UpdateConsole();

    static std::vector<std::string> calls;
    calls.clear();
    PlayServices.StopPlayerArmy = [] { calls.push_back("StopPlayerArmy"); };
    PlayServices.FilterEventText = [](const std::u16string& text) { return text + u"!"; };
    PlayServices.IsConsoleOpen = [] { return true; };
    StopPlayerArmy();
    EXPECT_EQ(calls, std::vector<std::string>{"StopPlayerArmy"});
    EXPECT_EQ(FilterEventText(u"x"), u"x!");
    EXPECT_TRUE(IsConsoleOpen());
    ResetPlayServices();
    EXPECT_FALSE(IsConsoleOpen());
}

// The hot-key rule through the window procedure: keys go in as messages and
// reach GUI_Keys as real ones do; the screen's active frame applies the rule.
class HotkeyTest : public TGUITest {
protected:
    void SetUp() override
    {
        TGUITest::SetUp();
        Clicks = 0;
        SeenChecked.clear();
        Held = false;
        Window = NewWindow("Kit_Window");
        Window->Handler = Handler;
        Button = new TGUI_Button(Render.get());
        Button->OnClick = [](TGUI_Object*) { Clicks++; };
        Box = new TGUI_CheckBox(Render.get());
        Box->OnClick = [](TGUI_Object* object) { SeenChecked.push_back(static_cast<TGUI_CheckBox*>(object)->Checked); };
        Keys = {32, Button, nullptr, &Held};
        OpenFirst(Window);
    }
    void TearDown() override
    {
        delete Button;
        delete Box;
        TGUITest::TearDown();
    }
    static void Handler(int32_t state, TGUI_Window* window)
    {
        if (state == GUI_STATE_ACTIVE)
            RunScreenActiveFrame(*window, nullptr, &Keys);
    }

    static inline int32_t Clicks = 0;
    static inline std::vector<uint8_t> SeenChecked;
    static inline bool Held = false;
    static inline TScreenHotkeys Keys;
    TGUI_Window* Window = nullptr;
    TGUI_Button* Button = nullptr;
    TGUI_CheckBox* Box = nullptr;
};

TEST_F(HotkeyTest, SpaceHeldTenFramesPressesOnceAndClicksOnce)
{
    KeyDown(32);
    for (int32_t frame = 0; frame < 10; frame++) {
        if (frame > 0)
            KeyDown(32); // the keyboard's repeats
        Frame(16);
        EXPECT_TRUE(Held) << frame;
        EXPECT_EQ(Clicks, 0) << frame;
    }
    KeyUp(32);
    Frame(16);
    EXPECT_FALSE(Held);
    EXPECT_EQ(Clicks, 1);
    Frame(16);
    EXPECT_EQ(Clicks, 1);
    // A second press only after the release.
    KeyDown(32);
    Frame(16);
    KeyUp(32);
    Frame(16);
    EXPECT_EQ(Clicks, 2);
}

TEST_F(HotkeyTest, ToggleHandlerSeesTheValueFromBeforeTheKey)
{
    bool held = false;
    Box->Checked = 0;
    PressToggleByHotkey(*Box, held);
    EXPECT_TRUE(held);
    EXPECT_EQ(SeenChecked, std::vector<uint8_t>{0});
    EXPECT_EQ(Box->Checked, 0);
    ReleaseToggleByHotkey(*Box, held);
    EXPECT_FALSE(held);
    EXPECT_EQ(SeenChecked.size(), 1u);
    Box->Checked = 1;
    PressToggleByHotkey(*Box, held);
    EXPECT_EQ(SeenChecked.back(), 1);
}

TEST_F(HotkeyTest, TheConsoleTakesTheKeys)
{
    PlayServices.IsConsoleOpen = [] { return true; };
    KeyDown(32);
    Frame(16);
    EXPECT_FALSE(Held);
    ResetPlayServices();
}

} // namespace
