// Hints and their texts on the recording device: the tooltip's states under
// scripted mouse moves, the notices' stacking and life, the texts of bonuses,
// sections, stat lines and items, and the renderer's sprite slots over many
// hovers.
#include "screens/kit/Duskmarch_Base_Hints.h"

#include <gtest/gtest.h>

#include "model/Support.h"
#include "model/tables/BonusType.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_StringList.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "tests/render/GUITestSupport.h"
#include "tools/TextureFiles.h"

namespace {

std::string Narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

class HintTest : public TGUITest {
protected:
    void SetUp() override
    {
        TGUITest::SetUp();
        SetGameFolders(Folder.ProgramPath());
        Folder.WriteProgramFile("Interface\\Shaders\\Sprite_VS.bin", "//GLSL-VS\nvoid vs_main() {}\n");
        Folder.WriteProgramFile("Interface\\Shaders\\Sprite_PS.bin", "//GLSL-PS\nvoid ps_main() {}\n");
        Image("Interface\\Unknown.tga", 2, 2);
        const std::pair<const char*, int> pictures[] = {{"Black", 4},
                                                        {"LittleFrame_line", 12},
                                                        {"LittleFrame_corner", 15},
                                                        {"HINT_Arrow", 14},
                                                        {"HINT_Arrow_Diagonal", 18},
                                                        {"TextFrame_1-01little", 32},
                                                        {"TextFrameCorner_little", 32}};
        for (const auto& [name, size] : pictures)
            Image(std::string("Interface\\Common\\") + name + ".TGA", size + 4, size);
        MainRender = Render.get();
        GUIVirtualSize = {1, "GUI", 1600, 1200};
        Font = AddFixedFont(*Render, 8, 16);
        SavedFonts[0] = FontSlots[2];
        SavedFonts[1] = FontSlots[26];
        SavedFonts[2] = HintFont;
        FontSlots[2] = FontSlots[26] = HintFont = Font;
        TextsIni = new TIniFile();
        TextsIni->LoadFromMemory(
            "Texts.ini", "[Texts]\nBuildingCaptured_Eng=%% has been captured by ##\n"
                         "BuildingDefended_Eng=%% held against ##\n"
                         "sSword_Eng=Sword\nsItemNoSpecial_Eng=Nothing special\nCapturedGold_Eng=Captured gold: %%\n"
                         "[Hints]\nHealth_Title_Eng=Health\n");
        GUI_Input.CursorSprite = Render->Sprite_Add(16, 24);
        Window = NewWindow("Hint_Window");
        Window->Handler = Handler;
        Button = std::make_unique<TGUI_Button>(Render.get());
        Button->X = 100;
        Button->Y = 100;
        Button->Width = 80;
        Button->Height = 30;
        Button->OnEnter = [](TGUI_Object* object) { ShowHintTextAt(u"Open the gate", object); };
        Window->Objects.push_back(Button.get());
        try {
            CreateHintList();
        } catch (const TRenderFatalStop&) {
            FAIL() << GetEngineErrorText();
        }
        OpenFirst(Window);
    }
    void TearDown() override
    {
        Window->Objects.clear();
        Button.reset();
        FreeHintList();
        delete TextsIni;
        TextsIni = nullptr;
        FontSlots[2] = SavedFonts[0];
        FontSlots[26] = SavedFonts[1];
        HintFont = SavedFonts[2];
        RemoveGameRenderHooks();
        MainRender = nullptr;
        GUIVirtualSize = {};
        TGUITest::TearDown();
    }
    static void Handler(int32_t state, TGUI_Window* window)
    {
        if (state == GUI_STATE_ACTIVE) {
            window->Draw();
            UpdateAllHints();
        }
    }
    void Image(const std::string& relative, int width, int height)
    {
        Write(relative, TextureFiles::MakeTGA32(static_cast<uint16_t>(width), static_cast<uint16_t>(height),
                                                std::vector<uint8_t>(static_cast<size_t>(width * height * 4), 0xFF)));
    }
    bool BackgroundDrawn(const THint& hint)
    {
        for (const TDrawn& d : Drawn())
            if (d.Sprite == hint.Background)
                return true;
        return false;
    }
    std::vector<std::string> LineTexts(const THint& hint)
    {
        std::vector<std::string> texts;
        for (const THintLine& line : hint.Lines) {
            if (line.Label != nullptr)
                texts.push_back("label:" + Narrow(line.Label->GetText()));
            if (line.List != nullptr)
                for (int32_t i = 0; i < line.List->Count; i++)
                    texts.push_back(Narrow(line.List->Texts[static_cast<size_t>(i)]));
            if (line.Stretch != 0)
                texts.push_back("--");
        }
        return texts;
    }

    int32_t Font = -1;
    int32_t SavedFonts[3] = {};
    TGUI_Window* Window = nullptr;
    std::unique_ptr<TGUI_Button> Button;
};

TEST_F(HintTest, TooltipShowsAfterEnteringAndClosesAfterLeaving)
{
    THint& hint = MainHint();
    Move(10, 10);
    Frame(1);
    EXPECT_EQ(hint.State, HintEmpty);
    Move(120, 110);
    Frame(1); // the enter handler fills and arms it; the wait starts
    EXPECT_EQ(hint.Owner, Button.get());
    EXPECT_EQ(hint.State, HintWaiting);
    EXPECT_FALSE(BackgroundDrawn(hint));
    Frame(1);
    EXPECT_EQ(hint.State, HintShown);
    EXPECT_TRUE(BackgroundDrawn(hint));
    // Beside the cursor sprite's bottom right, the arrow's room left free.
    EXPECT_EQ(hint.X, 120 + 16);
    EXPECT_EQ(hint.Y, 110 + 24);
    Frame(1);
    EXPECT_EQ(hint.State, HintShown);
    Drawn();

    Move(500, 500);
    Frame(1);
    EXPECT_EQ(hint.State, HintClosing);
    Frame(1);
    EXPECT_EQ(hint.State, HintEmpty);
    EXPECT_EQ(hint.Owner, nullptr);
    EXPECT_FALSE(BackgroundDrawn(hint));
}

TEST_F(HintTest, TooltipNearTheEdgesStaysInside)
{
    THint& hint = MainHint();
    Button->X = 1550;
    Button->Y = 1170;
    Move(1590, 1190);
    Frame(1);
    Frame(1);
    ASSERT_EQ(hint.State, HintShown);
    EXPECT_LE(hint.X + hint.Width, 1600);
    EXPECT_LE(hint.Y + hint.Height, 1200);
    EXPECT_EQ(hint.X, 1590 - hint.Width);
    EXPECT_EQ(hint.Y, 1190 - hint.Height);
}

TEST_F(HintTest, LinesWithoutTextShowNothing)
{
    THint& hint = MainHint();
    hint.Clear(HintSmallFrame, 0);
    hint.NewLine();
    hint.NewLine();
    EXPECT_EQ(hint.Lines.size(), 1u) << "an empty last line is reused";
    hint.SetLineValue(StatIcons[0] >= 0 ? StatIcons[0] : hint.DividerSprite());
    EXPECT_EQ(hint.State, HintArmed);
    hint.Layout();
    EXPECT_EQ(hint.State, HintEmpty) << "an icon-only hint never shows";
    hint.Clear(HintSmallFrame, 0);
    hint.Layout();
    EXPECT_EQ(hint.State, HintEmpty);
}

TEST_F(HintTest, DestroyedOwnerIsForgotten)
{
    auto other = std::make_unique<TGUI_Button>(Render.get());
    ShowHintTextAt(u"text", other.get());
    HintList[3].Attach(4, 2, other.get(), false, -1);
    other.reset();
    EXPECT_EQ(MainHint().Owner, nullptr);
    EXPECT_EQ(HintList[3].Owner, nullptr);
}

TEST_F(HintTest, ThreeNoticesStackSixtyPixelsApartAndLiveFiveSecondsFromShowing)
{
    auto anchor = std::make_unique<TGUI_Button>(Render.get());
    anchor->X = 700;
    anchor->Y = 1150;
    anchor->Width = 100;
    anchor->Height = 30;
    for (const char16_t* text : {u"First notice", u"Second notice", u"Third notice"})
        AddNotice(text, anchor.get(), 0);
    EXPECT_EQ(NoticeCount, 3);
    for (int32_t n = 1; n <= 3; n++) {
        EXPECT_EQ(HintList[static_cast<size_t>(n)].Index, n);
        EXPECT_EQ(HintList[static_cast<size_t>(n)].Parent, n - 1);
    }
    Frame(1);
    Frame(1);
    for (int32_t n = 1; n <= 3; n++)
        ASSERT_EQ(HintList[static_cast<size_t>(n)].State, HintShown) << n;
    const int32_t height = HintList[1].Height;
    EXPECT_EQ(HintList[1].Y, 1150 - height - 20);
    EXPECT_EQ(HintList[1].Y - HintList[2].Y, 60);
    EXPECT_EQ(HintList[2].Y - HintList[3].Y, 60);
    EXPECT_EQ(HintList[1].X, 700);

    Frame(5000); // exactly the life: still shown
    EXPECT_EQ(HintList[1].State, HintShown);
    Frame(1);
    EXPECT_EQ(HintList[1].State, HintClosing);
    Frame(1);
    for (int32_t n = 1; n <= 3; n++)
        EXPECT_EQ(HintList[static_cast<size_t>(n)].State, HintEmpty) << n;
    EXPECT_EQ(NoticeCount, 0);
    AddNotice(u"Again", anchor.get(), 0);
    EXPECT_EQ(NoticeCount, 1);
}

TEST_F(HintTest, NoticesBeyondTheListAreAppended)
{
    auto anchor = std::make_unique<TGUI_Button>(Render.get());
    for (int32_t i = 0; i < HintListStartCount + 2; i++)
        AddNotice(u"Notice", anchor.get(), 0);
    EXPECT_EQ(HintList.size(), static_cast<size_t>(HintListStartCount + 3));
    EXPECT_EQ(HintList.back().Index, HintListStartCount + 2);
}

TEST_F(HintTest, BuildingNotices)
{
    static int32_t sounds = 0;
    sounds = 0;
    PlayCastleLostSound = [] { sounds++; };
    auto anchor = std::make_unique<TGUI_Button>(Render.get());
    ShowBuildingNotice(u"Stonehold # castle", u"the Grey", -1, anchor.get());
    EXPECT_EQ(sounds, 1);
    ASSERT_EQ(NoticeCount, 1);
    EXPECT_EQ(LineTexts(HintList[1]), std::vector<std::string>{"Stonehold has been captured by the Grey"});
    ShowBuildingNotice(u"Mill", u"bandits", 0, anchor.get());
    EXPECT_EQ(sounds, 1);
    EXPECT_EQ(LineTexts(HintList[2]), std::vector<std::string>{"Mill held against bandits"});
    ShowBuildingNotice(u"Mill", u"bandits", 1, anchor.get());
    EXPECT_EQ(NoticeCount, 2);
    PlayCastleLostSound = nullptr;
}

TEST_F(HintTest, ManyHoversKeepTheSpriteCountFlat)
{
    // The inventory's way: attach, clear, fill, lay out on entering.
    Button->OnEnter = [](TGUI_Object* object) {
        MainHint().Attach(HintCloseAwayFromOwner, HintOpenOverOwner, object, true, -1);
        MainHint().Clear(static_cast<uint8_t>(1 + Now % 2), static_cast<uint8_t>(Now % 11));
        ShowItemHint(CapturedGoldItem);
        MainHint().Layout();
    };
    int32_t shown = 0;
    auto hover = [this, &shown](int32_t i) {
        Move(120, 110);
        Frame(1);
        Frame(1);
        shown += MainHint().State == HintShown ? 1 : 0;
        Move(10 + i % 3, 10);
        Frame(1);
        Frame(1);
    };
    hover(0);
    const int32_t sprites = Render->SpriteCount;
    for (int32_t i = 1; i < 10000; i++)
        hover(i);
    EXPECT_EQ(Render->SpriteCount, sprites);
    EXPECT_EQ(shown, 10000);
}

TEST(HintTextTest, BonusPlaceholders)
{
    struct Row {
        std::u16string Description;
        int32_t Value;
        bool Ok;
        std::u16string Expected;
    };
    const Row rows[] = {
        {u"Deals [2] more", 3, true, u"Deals 6 more"},
        {u"[%4]", 10, true, u"2"},   // 2.5 to even
        {u"[%4]", 14, true, u"4"},   // 3.5 to even
        {u"x[0]y", 7, true, u"x7y"}, // 0 counts as 1
        {u"[%0]", 9, true, u"9"},
        {u"[2] and [%2]", 5, true, u"10 and 2"},
        {u"no numbers", 5, true, u"no numbers"},
        {u"broken [2", 5, false, u""},
    };
    for (const Row& row : rows) {
        std::u16string text;
        EXPECT_EQ(FillBonusPlaceholders(row.Description, row.Value, text), row.Ok) << Narrow(row.Description);
        if (row.Ok) {
            EXPECT_EQ(text, row.Expected) << Narrow(row.Description);
        }
    }
}

TEST(HintTextTest, StatLineTexts)
{
    struct Row {
        int32_t Value;
        char16_t Mode;
        std::u16string Expected;
    };
    const Row rows[] = {
        {2, u' ', u"+2 Health"}, {-3, u'=', u"Health = -3 "}, {10, u'%', u"+10% Health"}, {-1, u' ', u"-1 Health"}};
    for (const Row& row : rows)
        EXPECT_EQ(FormatHintStatLine(row.Value, row.Mode, u"Health"), row.Expected);
}

TEST_F(HintTest, BonusHintAndItsBrokenDescription)
{
    const uint8_t bonus = bSwordDagger;
    const TBonusTTX saved = BonusTable[1][1];
    const TBonusPlace savedPlace = BonusIndex[bonus];
    BonusIndex[bonus] = {1, 1};
    BonusValues[bonus] = 3;
    BonusTable[1][1].Name = u"Twin blades";
    BonusTable[1][1].Descript = u"Strikes [1] times";
    MainHint().Clear(HintSmallFrame, 0);
    std::u16string text = u"unchanged";
    ShowBonusHint(bonus, text);
    EXPECT_EQ(text, u"Twin blades<br>----------------<br>Strikes 3 times");
    EXPECT_EQ(LineTexts(MainHint()), (std::vector<std::string>{"--", "Twin blades", "Strikes 3 times"}));

    BonusTable[1][1].Descript = u"Strikes [1 times";
    MainHint().Clear(HintSmallFrame, 0);
    ShowBonusHint(bonus, text);
    EXPECT_EQ(Narrow(text), std::string("Error! Incorrect bonus ") + BonusNames[bonus]);
    EXPECT_TRUE(MainHint().Lines.empty());

    BonusIndex[bonus] = {0, 0};
    text = u"unchanged";
    ShowBonusHint(bonus, text);
    EXPECT_EQ(text, u"unchanged");
    BonusTable[1][1] = saved;
    BonusIndex[bonus] = savedPlace;
    BonusValues[bonus] = 0;
}

TEST_F(HintTest, TitleAndBodySections)
{
    struct Row {
        std::u16string Text;
        std::vector<std::string> Expected;
    };
    const Row rows[] = {
        {u"One#\\----------------#\\Two#\\----------------#\\Three", {"One", "--", "Two", "--", "Three"}},
        {u"Title<br>----------------<br>Body", {"Title", "--", "Body"}},
        // The program's separator before any "#\" wins.
        {u"A<br>----------------<br>B#\\C", {"A", "--", "B", "C"}},
        {u"Only a title", {"Only a title"}},
        {u"", {}},
    };
    for (const Row& row : rows) {
        MainHint().Clear(HintSmallFrame, 0);
        MainHint().NewLine();
        AddHintTitleAndBody(row.Text);
        EXPECT_EQ(LineTexts(MainHint()), row.Expected) << Narrow(row.Text);
    }
}

TEST_F(HintTest, ItemWithoutStatsShowsNameKindAndNothingSpecial)
{
    const TItems savedItem = ItemTable[1];
    const TNamesLang savedName = ItemNames[1];
    ItemTable[1] = TItems{};
    ItemTable[1].MainType = static_cast<uint8_t>(TItemType::Sword);
    ItemTable[1].Unique = 2;
    ItemNames[1].Name = u"Old blade # from the forge";
    MainHint().Clear(HintSmallFrame, 0);
    ShowItemHint(1);
    EXPECT_EQ(LineTexts(MainHint()), (std::vector<std::string>{"label:Old blade", "label:(Sword)", "Nothing special"}));
    EXPECT_EQ(MainHint().Lines[0].Label->Color, 0xFF00C000u) << "quality 2 is green";

    // A stat change counts: no "nothing special" line, a line per change.
    ItemTable[1].Abs[1] = 5;
    ItemTable[1].Max[2] = 0;
    MainHint().Clear(HintSmallFrame, 0);
    ShowItemHint(1);
    EXPECT_EQ(LineTexts(MainHint()), (std::vector<std::string>{"label:Old blade", "label:(Sword)", "+5 Health"}));
    ItemTable[1] = savedItem;
    ItemNames[1] = savedName;
}

} // namespace

namespace {

// The small frame's arrow puts the box beside the anchor (the cursor's
// corner) on the side the placement names, and the diagonal arrow takes the
// place of its corner.
TEST_F(HintTest, SmallFramePlacementsAroundTheAnchor)
{
    struct Row {
        uint8_t Placement;
        int32_t ArrowWidth, ArrowHeight; // of the arrow as turned for the placement
        bool Diagonal;
    };
    const Row rows[] = {{2, 18, 14, false}, {3, 18, 14, false}, {4, 22, 18, true},
                        {5, 14, 18, false}, {6, 22, 18, true},  {7, 22, 18, true},
                        {8, 14, 18, false}, {9, 22, 18, true},  {10, 14, 18, false}};
    Move(800, 600);
    for (const Row& row : rows) {
        THint& hint = MainHint();
        hint.Attach(0x100, 0x100, nullptr, true, -1);
        hint.Clear(HintSmallFrame, row.Placement);
        hint.NewLine();
        hint.GetLineList()->AddText(u"Placed", Font, Font, 1, HintTextColour, -1000);
        hint.Pin();
        Drawn();
        Frame(1);
        const int32_t w = hint.Width, h = hint.Height, a = row.ArrowWidth, b = row.ArrowHeight;
        const int32_t ax = row.Placement == 2 || row.Placement == 3 ? 816 - w / 2 : 816, ay = 624;
        int32_t dx = 0, dy = 0;
        switch (row.Placement) {
        case 2:
            dx = 0, dy = b;
            break;
        case 3:
            dx = 0, dy = -b - h;
            break;
        case 4:
            dx = a - 18, dy = b - 8;
            break;
        case 5:
        case 10:
            dx = a, dy = -h / 2;
            break;
        case 6:
            dx = a - 18, dy = -b - 24;
            break;
        case 7:
            dx = 19 - a - w, dy = b - 6;
            break;
        case 8:
            dx = -a - w, dy = -h / 2;
            break;
        case 9:
            dx = 19 - a - w, dy = -b - 26;
            break;
        }
        EXPECT_EQ(hint.X, ax + dx) << int{row.Placement};
        EXPECT_EQ(hint.Y, ay + dy) << int{row.Placement};
        // Four sides, the background, and three or four corners and the arrow.
        int32_t corners = 0, arrows = 0;
        const THintFrame& frame = hint.Frames[HintSmallFrame];
        for (const TDrawn& d : Drawn()) {
            for (int32_t c : frame.Corners)
                corners += d.Sprite == c ? 1 : 0;
            for (int32_t i = 0; i < 4; i++)
                arrows += d.Sprite == frame.Arrows[i] || d.Sprite == frame.DiagonalArrows[i] ? 1 : 0;
        }
        EXPECT_EQ(corners, row.Diagonal ? 3 : 4) << int{row.Placement};
        EXPECT_EQ(arrows, 1) << int{row.Placement};
    }
}

} // namespace

namespace {

// The stack count of a double-strike weapon reads "<n>x2" with a faint,
// raised "x", squeezed into the room given; other kinds print the number.
TEST_F(HintTest, StackCountLabels)
{
    int32_t sprite = -1;
    SetStackCountLabel(Font, 12, bSwordDagger, sprite, 0);
    T3D_Sprite* s = Render->Sprite_Get(sprite);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->QuadCount(), 4);
    EXPECT_FLOAT_EQ(s->Width, 32);
    const T3D_SpriteVertex& x = s->Vertices[2 * 4];
    const T3D_SpriteVertex& one = s->Vertices[0];
    EXPECT_EQ(x.Color >> 24, 128u) << "the x is drawn at half alpha";
    EXPECT_FLOAT_EQ(x.Y, one.Y - 2) << "and 2 pixels up";

    SetStackCountLabel(Font, 12, bBow, sprite, 20);
    EXPECT_EQ(s->QuadCount(), 4);
    EXPECT_FLOAT_EQ(s->Width, 20) << "squeezed to the room";

    SetStackCountLabel(Font, 12, bSword, sprite, 10);
    EXPECT_EQ(s->QuadCount(), 2);
    EXPECT_FLOAT_EQ(s->Width, 16) << "a plain number is never squeezed";
}

} // namespace
