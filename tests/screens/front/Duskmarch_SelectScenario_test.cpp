// The scenario lists over a folder of generated headers, the hero choice and
// the game loading worker's rules.
#include "screens/front/Duskmarch_SelectScenario.h"

#include <gtest/gtest.h>

#include "model/Support.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_StringList.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_SelectHero.h"
#include "tests/render/GUITestSupport.h"
#include "tests/support/TestSupport.h"
#include "tools/dmtool/MakeScenario.h"

namespace {

struct THeader {
    const char* File;
    uint8_t Mask = 0;
    bool Campaign = false;
    bool NotReady = false;
    bool Continuation = false;
    bool Personalization = false;
};

// Writes a small scenario per row (name = the file's base name) into folder.
void WriteHeaders(const TTempFolder& temp, const std::string& folder, const std::vector<THeader>& rows)
{
    for (const THeader& row : rows) {
        TScenarioSource source = BuildSampleScenario(ScenarioSizeMin, row.Campaign ? 1 : 0, "Next.Tdm");
        source.Header.ListGroup = row.Mask;
        source.Header.HasTitle = row.Campaign ? 1 : 0;
        source.Header.NotReady = row.NotReady ? 1 : 0;
        source.Header.Unlisted = row.Continuation ? 1 : 0;
        source.Header.ListFlag = row.Personalization ? 1 : 0;
        std::string base = row.File;
        base.resize(base.size() - 4);
        source.Names[0] = std::u16string(base.begin(), base.end());
        const std::string path = temp.WriteFile(folder + row.File, "");
        ASSERT_TRUE(WriteScenarioFile(source, path)) << row.File;
    }
}

std::vector<std::string> Files(const std::vector<THeader>& rows)
{
    std::vector<std::string> files;
    for (const THeader& row : rows)
        files.push_back(row.File);
    return files;
}

std::u16string NameOf(const TScenarioList& list, int32_t i)
{
    return list.NameLabels[static_cast<size_t>(i)]->GetText();
}

// The lists' labels and descriptions print with a renderer: the recording
// one, with fonts of fixed-width glyphs in the slots the lists use.
class ScenarioListTest : public TGUITest {
protected:
    void SetUp() override
    {
        TGUITest::SetUp();
        MainRender = Render.get();
        for (int slot : {19, 20, 22})
            FontSlots[slot] = AddFixedFont(*Render, 8, 17);
        StandardScenarios.Clear();
        AdditionalScenarios.Clear();
        UseUserScenarioList = 0;
        ScenarioListArea = TScenarioListArea{0, 0, 500, 600, 582};
    }
    void TearDown() override
    {
        StandardScenarios.Clear();
        AdditionalScenarios.Clear();
        UseUserScenarioList = 0;
        MainRender = nullptr;
        TGUITest::TearDown();
    }
    TTempFolder Temp;
};

TEST_F(ScenarioListTest, MaskKindAndSkippedFiles)
{
    const std::vector<THeader> rows = {
        {"a_single.Tdm", 0},
        {"b_notready.Tdm", 0, false, true},
        {"c_campaign.Tdm", 0, true},
        {"d_extra.Tdm", 1},
        {"e_extracampaign.Tdm", 1, true},
        {"f_continuation.Tdm", 0, false, false, true},
        {"g_both.Tdm", 3},
    };
    WriteHeaders(Temp, "Scenarios/", rows);
    Temp.WriteFile("Scenarios/h_broken.Tdm", "not a scenario");
    std::vector<std::string> files = Files(rows);
    files.push_back("h_broken.Tdm");
    const std::string folder = Temp.ProgramPath() + "Scenarios\\";
    AppendScenarioEntries(StandardScenarios, folder, files, 0);
    AppendScenarioEntries(AdditionalScenarios, folder, files, 1);

    // Campaigns first, the not-ready one last; the continuation and the
    // broken file nowhere.
    ASSERT_EQ(StandardScenarios.Count(), 3);
    EXPECT_EQ(NameOf(StandardScenarios, 0), u"Greywater Crossing (sample)"); // a campaign shows its title
    EXPECT_EQ(StandardScenarios.Kind(0), ScenarioKindCampaign);
    EXPECT_EQ(NameOf(StandardScenarios, 1), u"a_single");
    EXPECT_EQ(StandardScenarios.Kind(1), ScenarioKindSingle);
    EXPECT_EQ(StandardScenarios.FileNames[2], "b_notready.Tdm");
    EXPECT_EQ(StandardScenarios.Kind(2), ScenarioKindNotReady);
    EXPECT_EQ(StandardScenarios.NotReady[2], 1);

    ASSERT_EQ(AdditionalScenarios.Count(), 3);
    EXPECT_EQ(AdditionalScenarios.Kind(0), ScenarioKindUserCampaign);
    EXPECT_EQ(AdditionalScenarios.Kind(1), ScenarioKindUserSingle);
    EXPECT_EQ(AdditionalScenarios.Kind(2), ScenarioKindUserSingle);
    for (int32_t i = 0; i < AdditionalScenarios.Count(); i++)
        EXPECT_EQ(AdditionalScenarios.Folders[static_cast<size_t>(i)], folder);
}

// Rebuilding a list gives back the sprites of the entries it drops: the
// count of live sprites returns to where it stood.
TEST_F(ScenarioListTest, ClearingAListFreesItsEntriesSprites)
{
    const std::vector<THeader> rows = {{"a_single.Tdm", 0}, {"b_campaign.Tdm", 0, true}};
    WriteHeaders(Temp, "Scenarios/", rows);
    const std::string folder = Temp.ProgramPath() + "Scenarios\\";
    const int32_t before = Render->SpriteCount;
    for (int round = 0; round < 3; round++) {
        AppendScenarioEntries(StandardScenarios, folder, Files(rows), 0);
        ASSERT_EQ(StandardScenarios.Count(), 2);
        EXPECT_GT(Render->SpriteCount, before);
        StandardScenarios.Clear();
        EXPECT_EQ(Render->SpriteCount, before) << "round " << round;
    }
}

TEST_F(ScenarioListTest, SortKeepsFramesAndDropsSelection)
{
    const std::vector<THeader> rows = {{"a.Tdm", 0, false, true}, {"b.Tdm", 0}, {"c.Tdm", 0, true}};
    WriteHeaders(Temp, "S/", rows);
    AppendScenarioEntries(StandardScenarios, Temp.ProgramPath() + "S\\", {"a.Tdm"}, 0);
    const TGUI_Object* firstFrame = StandardScenarios.Frames[0];
    StandardScenarios.Selected[0] = 1;
    AppendScenarioEntries(StandardScenarios, Temp.ProgramPath() + "S\\", {"b.Tdm", "c.Tdm"}, 0);
    ASSERT_EQ(StandardScenarios.Count(), 3);
    // The sort runs from the first appended entry: the earlier one stays.
    EXPECT_EQ(StandardScenarios.FileNames[0], "a.Tdm");
    EXPECT_EQ(StandardScenarios.FileNames[1], "c.Tdm");
    EXPECT_EQ(StandardScenarios.Frames[0], firstFrame);

    SortScenarioListByKind(StandardScenarios, 0);
    EXPECT_EQ(StandardScenarios.FileNames[0], "c.Tdm");
    EXPECT_EQ(StandardScenarios.FileNames[2], "a.Tdm");
    EXPECT_EQ(StandardScenarios.Frames[0], firstFrame); // frames stay where they are
    for (uint8_t selected : StandardScenarios.Selected)
        EXPECT_EQ(selected, 0);
}

TEST_F(ScenarioListTest, ModFolderTakesEveryMask)
{
    UseUserScenarioList = 1;
    const std::vector<THeader> rows = {{"m0.Tdm", 0}, {"m2.Tdm", 2}};
    WriteHeaders(Temp, "Mods/X/Scenarios/", rows);
    AppendScenarioEntries(AdditionalScenarios, Temp.ProgramPath() + "Mods\\X\\Scenarios\\", Files(rows), 1);
    EXPECT_EQ(AdditionalScenarios.Count(), 2);
}

// The list reads each header's own language for its last fall-back: a
// scenario with only a Russian file beside it keeps its English name.
TEST_F(ScenarioListTest, NamesFollowTheHeadersOwnLanguage)
{
    const std::string before = LanguageNames[static_cast<int>(CurrentLanguage)];
    SetGameLanguage("deu");
    MapStory.Language = static_cast<uint8_t>(TLanguage::Rus);
    WriteHeaders(Temp, "S/", {{"ab.Tdm", 0}});
    Temp.WriteFile("S/ab.Rus", "[Name]\r\nRussian\r\nRussian words\r\n");
    AppendScenarioEntries(StandardScenarios, Temp.ProgramPath() + "S\\", {"ab.Tdm"}, 0);
    ASSERT_EQ(StandardScenarios.Count(), 1);
    EXPECT_EQ(NameOf(StandardScenarios, 0), u"ab");
    SetGameLanguage(before);
}

TEST(ScenarioListRules, TakeKindNameAndDescriptionStyle)
{
    EXPECT_TRUE(TakeScenarioEntry(0, 0, false));
    EXPECT_FALSE(TakeScenarioEntry(0, 1, false));
    EXPECT_FALSE(TakeScenarioEntry(1, 0, false));
    EXPECT_TRUE(TakeScenarioEntry(3, 1, false));
    EXPECT_TRUE(TakeScenarioEntry(0, 1, true));
    EXPECT_EQ(ScenarioEntryName(true, u"C", u"Name", "f.Tdm"), u"Name"); // a campaign name of one letter
    EXPECT_EQ(ScenarioEntryName(false, u"Camp", u"N", "f.Tdm"), u"f.Tdm");
    EXPECT_EQ(ScenarioDescriptionStyle(900).Interval, -1000);
    EXPECT_EQ(ScenarioDescriptionStyle(900).Spacing, 1.0f);
    EXPECT_EQ(ScenarioDescriptionStyle(901).Interval, 0);
    EXPECT_FLOAT_EQ(ScenarioDescriptionStyle(901).Spacing, 0.9f);
}

TEST(ScenarioListRules, WheelStep)
{
    EXPECT_EQ(ScenarioWheelStep(500, 600, 582, 100), 0.0f);           // everything shows
    EXPECT_FLOAT_EQ(ScenarioWheelStep(1600, 600, 582, 100), 0.1f);     // ten frames of range
    EXPECT_EQ(ScenarioWheelStep(590, 600, 582, 100), 1.0f);            // a divisor <= 0: one step
    EXPECT_EQ(ScenarioWheelStep(1600, 600, 582, 0), 1.0f);             // no frame height
}

TEST_F(ScenarioListTest, LongDescriptionIsCutAtTheListCapacity)
{
    TGUI_StringList list(Render.get(), 100);
    list.Width = 440;
    std::u16string text;
    for (int i = 0; i < 150; i++)
        text += u"line#\\";
    const size_t added = AddTextWithinCapacity(list, text, FontSlots[19], 0, -1000, 100);
    EXPECT_LT(added, text.size());
    EXPECT_LE(list.Count, 100);
}

TEST_F(ScenarioListTest, AcceptOnNotReadyPostsNothing)
{
    WriteHeaders(Temp, "S/", {{"n.Tdm", 0, false, true}});
    AppendScenarioEntries(StandardScenarios, Temp.ProgramPath() + "S\\", {"n.Tdm"}, 0);
    SelectedScenario = 0;
    EXPECT_FALSE(SelectScenarioScreen_AcceptSelected());
}

// ---------------------------------------------------------------------------
// Hero

TEST_F(ScenarioListTest, MysticOnlyHeaderPreselectsTheMystic)
{
    TScenarioSource source = BuildSampleScenario(ScenarioSizeMin, 0, "");
    for (int k = 1; k <= 6; k++)
        source.Header.HeroAvailable[k] = 0;
    source.Header.HeroAvailable[2] = 1; // the mystic's byte
    ASSERT_TRUE(WriteScenarioFile(source, Temp.WriteFile("S/m.Tdm", "")));
    AppendScenarioEntries(StandardScenarios, Temp.ProgramPath() + "S\\", {"m.Tdm"}, 0);
    SelectedScenario = 0;
    EXPECT_TRUE(SelectHeroScreen_Prepare());
    EXPECT_EQ(HeroIndex, 3);
    EXPECT_EQ(HeroKindOf(HeroIndex), 2);
    EXPECT_EQ(PlayerCoat, HeroCoats[3][CoatIndex]);
}

TEST(HeroRules, CoatsAcrossHeroes)
{
    EXPECT_EQ(PreviousCoatIndex(1), 6);
    EXPECT_EQ(PreviousCoatIndex(2), 1);
    EXPECT_EQ(NextCoatIndex(6), 1);
    EXPECT_EQ(NextCoatIndex(3), 4);
    EXPECT_EQ(HeroCoatOf(1, 4), 68);
    EXPECT_EQ(HeroCoatOf(2, 4), 71); // the same position in the new hero's row
    EXPECT_EQ(HeroCoatOf(3, 6), 76);
    EXPECT_EQ(HeroCoatOf(0, 1), 0);
    EXPECT_EQ(HeroKindOf(1), 1);
    EXPECT_EQ(HeroKindOf(2), 6);
    EXPECT_EQ(HeroKindOf(3), 2);
    EXPECT_EQ(FirstAvailableHero(false, true, true), 2);
    EXPECT_EQ(FirstAvailableHero(false, false, false), 0);
}

TEST(HeroRules, ScenarioFolder)
{
    EXPECT_EQ(ScenarioFolderOf("C:\\Game\\Scenarios\\", "C:\\Game\\"), "\\");
    EXPECT_EQ(ScenarioFolderOf("C:\\Game\\Mods\\Wild\\Scenarios\\", "C:\\Game\\"), "Mods\\Wild\\");
}

TEST(HeroRules, AcceptWithoutHeroPostsNothing)
{
    HeroIndex = 0;
    EXPECT_FALSE(SelectHeroScreen_AcceptChoice());
}

// ---------------------------------------------------------------------------
// Worker

TEST(GameLoadingRules, StartSaveBaseName)
{
    const std::string name60(60, 'u'), name53(53, 'k');
    EXPECT_EQ(StartSaveBaseName(name60, 1234), std::string(53, 'u') + "1234");
    EXPECT_EQ(StartSaveBaseName(std::string(54, 'u'), 7), std::string(53, 'u') + "7");
    EXPECT_EQ(StartSaveBaseName(name53, 7), name53 + "7");
    EXPECT_EQ(StartSaveBaseName("", 99), "99");
}

TEST(GameLoadingRules, Bars)
{
    EXPECT_EQ(GameLoadingBarWidth(0, 388, 230), 0);
    EXPECT_EQ(GameLoadingBarWidth(194, 388, 230), 115);
    EXPECT_EQ(GameLoadingBarWidth(900, 388, 230), 230);
    EXPECT_EQ(GameLoadingBarWidth(10, 0, 230), 0);
    EXPECT_EQ(GameLoadingBarWidth(10, -5, 254), 0);
    EXPECT_EQ(GameLoadingBarWidth(2200, 2200, 254), 254);
}

TEST(GameLoadingRules, UploadFramesAtTheBudget)
{
    struct TCase {
        std::vector<int32_t> Costs;
        int32_t Frames;
    } cases[] = {
        {{}, 0},
        {{5}, 1},
        {{4, 4, 4}, 1},    // the upload that reaches the budget ends its frame
        {{4, 4, 4, 4}, 2},
        {{10, 1}, 2},      // one upload at the budget fills its frame
        {{30, 2, 2, 9}, 2}, // a large upload still takes one frame
    };
    for (const TCase& c : cases)
        EXPECT_EQ(UploadFramesAtBudget(c.Costs, 10), c.Frames) << c.Costs.size();
}

// The same names as the installation's own types take: a duke body with a
// head suffix becomes body + suffix; without both the model's name stays.
TEST(GameLoadingRules, PortraitNames)
{
    struct TCase {
        const char* Model;
        int32_t Equipment;
        const char* Portrait;
    } cases[] = {
        {"", 0, "NotModel"},
        {"", 262, "NotModel"},
        {"Models\\Elder.x", 0, "Empty"},
        {"../Elder", 0, "Empty"},
        {"DukeArmor03", 262, "DukeArmor0103"},
        {"dukearmor02", 283, "DukeArmor0208"},
        {"DukeArmor03", 0, "DukeArmor03"},   // no head suffix: the model's own
        {"DukeArmor03", 270, "DukeArmor03"}, // not a head value
        {"Duke", 260, "Duke01"},
        {"duke_old", 282, "duke_old07"},
        {"Elder", 262, "Elder"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(PersonagePortraitName(c.Model, c.Equipment), c.Portrait) << c.Model << " " << c.Equipment;
}

TEST(GameLoadingRules, ScenarioFolderPathOfAMod)
{
    EXPECT_EQ(ScenarioFolderPath(""), ScenariosFolder);
    EXPECT_EQ(ScenarioFolderPath("\\"), ScenariosFolder);
    EXPECT_EQ(ScenarioFolderPath("Mods\\Wild\\"), ExePath + "Mods\\Wild\\Scenarios\\");
}

} // namespace
