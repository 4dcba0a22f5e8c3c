// Story event texts: the hero filter with its cues, and the split into
// dialogue pages with their speakers and sides.
#include "screens/map/Duskmarch_EventText.h"

#include <gtest/gtest.h>

#include "tests/support/WorldBuilder.h"

namespace {

std::string Narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

TEST(EventTextTest, FilterKeepsTheHerosVariantsNamesAndTakesCues)
{
    struct Row {
        int32_t HeroKind;
        std::u16string Text;
        std::u16string Expected;
        int32_t Music;
        int32_t Sfx;
    };
    const Row rows[] = {
        {1, u"<f>a</f><m>b</m>", u"b", -1, 0},
        {6, u"<f>a</f><m>b</m>", u"a", -1, 0},
        {2, u"<F>a</F><M>b</M><mystic>c</mystic>", u"bc", -1, 0},
        {1, u"x<knight>k</knight><baroness>z</baroness>y", u"xky", -1, 0},
        // Other kinds keep every tag.
        {3, u"<f>a</f>", u"<f>a</f>", -1, 0},
        // An unclosed block runs to the end; two blocks both go.
        {2, u"before <kn>rest of the text", u"before ", -1, 0},
        {1, u"<f>1</f>-<f>2</f>.", u"-.", -1, 0},
        // A closing tag before the opening one does not stop the deletion.
        {1, u"</f>a<f>b", u"</f>a", -1, 0},
        {1, u"#HeroName said, #HeroName", u"Ada said, Ada", -1, 0},
        {1, u"#heroNAME! #heroname", u"Ada! #heroname", -1, 0},
        {1, u"x #other #heroname", u"x #other #heroname", -1, 0},
        {1, u"#heronam", u"#heronam", -1, 0},
        {1, u"<music=12>rest", u"rest", 12, 0},
        {1, u"a<music=1x2>b c d", u"ab c d", 12, 0},
        // ">" first or missing: only the tag's head goes.
        {1, u"<music=>abcdef", u">abcdef", -1, 0},
        {1, u"<music=123456789012>x", u"123456789012>x", -1, 0},
        // Too short from the tag to the end: left alone.
        {1, u"<music=1>", u"<music=1>", -1, 0},
        // Out-of-range numbers play nothing, the tag still goes.
        {1, u"<music=100>rest", u"rest", -1, 0},
        {1, u"<sfx=2>hello!", u"hello!", -1, 2},
        {1, u"<sfx=4>hello!", u"hello!", -1, 0},
        {1, u"<sfx=0>hello!", u"hello!", -1, 0},
        {1, u"<music=7><sfx=1>both tags", u"both tags", 7, 1},
    };
    for (const Row& row : rows) {
        TEventTextCues cues;
        const std::u16string result = FilterEventTextFor(row.Text, row.HeroKind, u"Ada", 3, cues);
        EXPECT_EQ(Narrow(result), Narrow(row.Expected)) << Narrow(row.Text);
        EXPECT_EQ(cues.Music, row.Music) << Narrow(row.Text);
        EXPECT_EQ(cues.Sfx, row.Sfx) << Narrow(row.Text);
    }
}

class DialoguePagesTest : public testing::Test {
protected:
    void SetUp() override
    {
        BuildScreenWorld();
        UnitTypeCount = 4;
        NpcTypeCount = 0;
        UnitTypeNames[1].Name = u"Knight";
        UnitTypeNames[2].Name = u"Archer";
        UnitTypeNames[3].Name = u"Spearman";
        UnitTypeNames[4].Name = u"Healer";
        ArmyTexts[1].Suffix = u"Captain Rook";
        MetPlayerArmy = 0;
        EventPartnerArmy = 0;
        EventSpeakers.clear();
    }
    void TearDown() override
    {
        DialoguePages.clear();
        EventSpeakers.clear();
        ArmyTexts[1] = TTextInfo{};
        MetPlayerArmy = 0;
    }
};

TEST_F(DialoguePagesTest, PagesTakeTheirSpeakersAndAlternateSides)
{
    struct Row {
        std::u16string Text;
        int32_t Met;
        // Per page: text, name, unit type, side.
        std::vector<std::tuple<std::string, std::string, int32_t, int32_t>> Pages;
    };
    const Row rows[] = {
        {u"<p=hero>: Hi there<p=author>The wind rose.", 0,
         {{"Hi there", "", 1, 1}, {"The wind rose.", "", 0, 2}}},
        {u"Just a plain text.", 0, {{"Just a plain text.", "", 0, 0}}},
        {u"<preamb>notes</preamb><P=archer>Wait\u2026\r", 0, {{"Wait...", "", 2, 2}}},
        // A page of one character gives its place to the next one.
        {u"<p=hero>x<p=archer>Loose!", 0, {{"Loose!", "", 2, 2}}},
        {u"<p=hero>:Go on<p=hero>And on<p=healer>Stop<p=hero>No", 0,
         {{"Go on", "", 1, 1}, {"And on", "", 1, 1}, {"Stop", "", 4, 2}, {"No", "", 1, 1}}},
        {u"<p=leader>Halt!", 1, {{"Halt!", "Captain Rook", 2, 2}}},
        {u"<p=leader>Halt!", 0, {{"Halt!", "leader", 0, 2}}},
        {u"<p=Old Man>Hm.", 0, {{"Hm.", "Old Man", 0, 2}}},
    };
    for (const Row& row : rows) {
        MetPlayerArmy = row.Met;
        if (row.Met > 0)
            ArmyUnits[static_cast<size_t>(row.Met)][1].UnitType = 2;
        SplitDialoguePages(row.Text);
        ASSERT_EQ(DialoguePages.size(), row.Pages.size()) << Narrow(row.Text);
        for (size_t i = 0; i < row.Pages.size(); ++i) {
            const auto& [text, name, type, side] = row.Pages[i];
            EXPECT_EQ(Narrow(DialoguePages[i].Text), text) << Narrow(row.Text) << " page " << i;
            EXPECT_EQ(Narrow(DialoguePages[i].SpeakerName), name) << Narrow(row.Text) << " page " << i;
            EXPECT_EQ(DialoguePages[i].UnitType, type) << Narrow(row.Text) << " page " << i;
            EXPECT_EQ(DialoguePages[i].HasModel, type != 0 ? 1 : 0) << Narrow(row.Text) << " page " << i;
            EXPECT_EQ(DialoguePages[i].Side, side) << Narrow(row.Text) << " page " << i;
        }
    }
}

TEST_F(DialoguePagesTest, EachModelIsOneSpeaker)
{
    SplitDialoguePages(u"<p=hero>One<p=archer>Two<p=hero>Three<p=author>Four");
    ASSERT_EQ(EventSpeakers.size(), 2u);
    EXPECT_EQ(EventSpeakers[0].UnitType, 1);
    EXPECT_EQ(EventSpeakers[1].UnitType, 2);
    EXPECT_EQ(EventSpeakers[0].Loaded, 0);
    EXPECT_EQ(EventSpeakers[0].ShownSide, 0);
}

TEST_F(DialoguePagesTest, RandomSpeakerComesFromTheArmyOrHasNoModel)
{
    // The sample world's player army holds the hero and three more
    // personages of types 2..4; none is above 6.
    SplitDialoguePages(u"<p=random>Who goes there?");
    ASSERT_EQ(DialoguePages.size(), 1u);
    EXPECT_EQ(DialoguePages[0].HasModel, 0) << "type 117 is not in the tables";
    MakeUnitTypeTemplate(7, "Scout");
    UnitTypeCount = 7;
    ArmyUnits[PlayerArmy][2].UnitType = 7;
    ArmyUnits[PlayerArmy][2].Used = 1;
    SplitDialoguePages(u"<p=random>Who goes there?");
    EXPECT_EQ(DialoguePages[0].UnitType, 7);
    ArmyUnits[PlayerArmy][2].Used = 0;
    SplitDialoguePages(u"<p=random>Who goes there?");
    EXPECT_EQ(DialoguePages[0].HasModel, 0);
}

} // namespace

namespace {

TEST(EventLayoutTest, TextWidthsAtTwoScreenShapes)
{
    const struct {
        int32_t W, H;
        bool Picture;
        int32_t Width;
    } rows[] = {
        {1024, 768, true, 341}, {1920, 1080, true, 640},  {2560, 1080, true, 643},
        {1024, 768, false, 700}, {1920, 1080, false, 960}, {2560, 1080, false, 1000},
    };
    for (const auto& row : rows)
        EXPECT_EQ(EventTextWidth(row.W, row.H, row.Picture), row.Width) << row.W << "x" << row.H << " " << row.Picture;
}

TEST(EventLayoutTest, SpeakersStandAtTheSidesTurnedInwards)
{
    const TSpeakerPlace left = EventSpeakerPlace(1, 1920, 1080);
    const TSpeakerPlace right = EventSpeakerPlace(2, 1920, 1080);
    EXPECT_FLOAT_EQ(left.X, -6.3f);
    EXPECT_NEAR(left.Z, -1.4f, 1e-5f);
    EXPECT_NEAR(right.Z, 1.4f, 1e-5f);
    EXPECT_NEAR(left.Angle, -0.6283185f, 1e-6f);
    EXPECT_NEAR(right.Angle, 0.6283185f, 1e-6f);
    // A 4:3 screen brings them inwards by (16/9 - 4/3) x 0.7579.
    const TSpeakerPlace narrow = EventSpeakerPlace(2, 1024, 768);
    EXPECT_NEAR(narrow.Z, 1.4f - 0.336844f, 1e-4f);
    EXPECT_NEAR(EventSpeakerPlace(1, 1024, 768).Z, -narrow.Z, 1e-6f);
}

} // namespace
