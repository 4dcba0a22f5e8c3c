// The string list: breaks, word wrap, clipping, scrolling, highlighting by
// mouse and keys, drawing only what shows, and the overflow halt.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render_Sprites.h"
#include "tests/render/GUITestSupport.h"

namespace {

using Texts = std::vector<std::u16string>;

class TGUIStringListTest : public TGUITest {
protected:
    void SetUp() override
    {
        TGUITest::SetUp();
        Font = AddFixedFont(*Render, 10, 20);
        Bold = AddFixedFont(*Render, 12, 20);
        List = std::make_unique<TGUI_StringList>(Render.get(), 20);
        List->Width = 100;
        List->Height = 50;
    }
    void TearDown() override
    {
        List.reset();
        TGUITest::TearDown();
    }
    Texts Lines() const { return Texts(List->Texts.begin(), List->Texts.begin() + List->Count); }
    std::vector<int32_t> Ids() const
    {
        std::vector<int32_t> ids;
        for (int32_t i = 0; i < List->Count; i++)
            ids.push_back(List->Lines[static_cast<size_t>(i)].ItemId);
        return ids;
    }
    int32_t Font = -1;
    int32_t Bold = -1;
    std::unique_ptr<TGUI_StringList> List;
};

TEST_F(TGUIStringListTest, LineBreaks)
{
    struct TCase {
        std::u16string Text;
        Texts Lines;
    } cases[] = {
        {u"one#\\two", {u"one", u"two"}},         {u"one<br>two", {u"one", u"two"}},
        {u"one<BR>two", {u"one", u"two"}},        {u"one<bR>two", {u"one", u"two"}},
        {u"one\r\ntwo", {u"one", u"two"}},        {u"one\r\n\r\ntwo", {u"one", u"", u"two"}},
        {u"  one  <br>  two ", {u"one", u"two"}}, {u"one<b>two", {u"one<b>two"}},
        {u"one\ntwo#", {u"one\ntwo#"}},           {u"", {u""}},
    };
    for (const TCase& c : cases) {
        List->Clear();
        List->AddText(c.Text, Font, -1, 1, 0, -1000);
        EXPECT_EQ(Lines(), c.Lines);
        std::vector<int32_t> ids;
        for (size_t i = 0; i < c.Lines.size(); i++)
            ids.push_back(static_cast<int32_t>(i));
        EXPECT_EQ(Ids(), ids) << "one item per piece";
    }
    // An empty line has the font's height and takes its slot.
    List->Clear();
    List->AddText(u"a\r\n\r\nb", Font, -1, 1, 0, -1000);
    EXPECT_EQ(List->Lines[1].Height, 20);
    EXPECT_EQ(List->GetTextHeight(), 60);
}

TEST_F(TGUIStringListTest, WordWrap)
{
    // Ten letters fit the 100 pixels.
    struct TCase {
        std::u16string Text;
        Texts Lines;
    } cases[] = {
        {u"aaaaa bbbb", {u"aaaaa bbbb"}},                  // exactly as wide
        {u"aaaaa bbbbb", {u"aaaaa bbbbb"}},                // the overflowing character is the last
        {u"aaaaa bbbbbc", {u"aaaaa", u"bbbbbc"}},          // break after the last space
        {u"aaaa bbbbb cc", {u"aaaa bbbbb", u"cc"}},        // ends in a space: dropped, next after it
        {u"abcdefghijklmnop", {u"abcdefghij", u"klmnop"}}, // a word wider than the list
        {u"aaa abcdefghijklmnopqrstu", {u"aaa", u"abcdefghij", u"klmnopqrstu"}},
        {u"aaaaaaaa   bbbb", {u"aaaaaaaa", u"  bbbb"}}, // the rest of a run of spaces leads
    };
    for (const TCase& c : cases) {
        List->Clear();
        List->Add_Item(c.Text, Font, -1, 1, true, 0, -1000);
        EXPECT_EQ(Lines(), c.Lines) << std::string(c.Text.begin(), c.Text.end());
        EXPECT_EQ(Ids(), std::vector<int32_t>(c.Lines.size(), 0));
    }
    // Alignment and the widest line.
    struct TAlign {
        uint8_t Align;
        int32_t X;
    } aligns[] = {{1, 0}, {2, 20}, {3, 40}};
    for (const TAlign& a : aligns) {
        List->Clear();
        List->MarginX = 5; // 90 pixels
        List->Add_Item(u"abcde", Font, -1, a.Align, true, 0, -1000);
        EXPECT_EQ(List->Lines[0].X, a.X);
        EXPECT_EQ(List->GetTextWidth(), 60);
        List->MarginX = 0;
    }
    // Items: the first line is 0; new items count up, others extend.
    List->Clear();
    EXPECT_EQ(List->Add_Item(u"a", Font, -1, 1, true, 0, -1000), 0);
    EXPECT_EQ(List->Add_Item(u"b", Font, -1, 1, false, 0, -1000), 0);
    EXPECT_EQ(List->Add_Item(u"c", Font, -1, 1, true, 0, -1000), 1);
    EXPECT_EQ(List->LastItemId, 1);
}

TEST_F(TGUIStringListTest, ClippedItems)
{
    struct TCase {
        std::u16string Text, Line;
    } cases[] = {
        {u"abcdefghijkl", u"abcdefghijk"}, // the last character reaches past the edge
        {u"abcdefghij kl", u"abcdefghij"}, // a space is not put back
        {u"abc", u"abc"},
    };
    for (const TCase& c : cases) {
        List->Clear();
        List->AddClippedItem(c.Text, Font, -1, 1, true, 0, -1000);
        EXPECT_EQ(Lines(), Texts{c.Line});
    }
}

TEST_F(TGUIStringListTest, ScrollLimitsSpacingAndTheWheel)
{
    for (int32_t i = 0; i < 5; i++)
        List->Add_Item(u"line", Font, -1, 1, true, 0, -1000);
    EXPECT_EQ(List->GetTextHeight(), 100);
    EXPECT_EQ(List->MaxScroll, 50);
    struct TCase {
        int32_t Offset, Scroll;
    } cases[] = {{-5, 0}, {20, 20}, {80, 50}, {50, 50}};
    for (const TCase& c : cases) {
        List->SetScroll(c.Offset);
        EXPECT_EQ(List->ScrollY, c.Scroll) << c.Offset;
        EXPECT_EQ(List->ScrollTarget, c.Scroll);
    }
    List->MarginY = 5;
    List->SetHeight(50);
    EXPECT_EQ(List->MaxScroll, 60);
    List->SetHeight(120);
    EXPECT_EQ(List->MaxScroll, 0);

    // Slots are capped at 128 pixels by the spacing setter.
    List->SetLineSpacing(-1, 10);
    EXPECT_EQ(List->GetTextHeight(), 5 * 128);
    EXPECT_FLOAT_EQ(List->Lines[1].Top, 128);
    EXPECT_FLOAT_EQ(List->Lines[1].Y, 128 + 54);
    List->SetLineSpacing(Bold, 1); // no line uses it
    EXPECT_EQ(List->GetTextHeight(), 5 * 128);
    List->SetLineSpacing(Font, 1.5f);
    EXPECT_EQ(List->GetTextHeight(), 150);
    EXPECT_FLOAT_EQ(List->Lines[0].Y, 5);

    // The wheel: 4 pixels per frame step, whatever it turned.
    TGUI_Window* window = NewWindow("w");
    window->Objects = {List.get()};
    List->SetHeight(50);
    List->MarginY = 0;
    List->SetLineSpacing(-1, 1);
    List->SetScroll(20);
    OpenFirst(window);
    Move(10, 10);
    Send(WM_MOUSEWHEEL, MakeWParam(0, 360), 0);
    Frame();
    EXPECT_EQ(List->ScrollY, 16);
    Send(WM_MOUSEWHEEL, MakeWParam(0, -120), 0);
    Frame();
    EXPECT_EQ(List->ScrollY, 20);
    Frame();
    EXPECT_EQ(List->ScrollY, 20);
}

TEST_F(TGUIStringListTest, HighlightByMouseAndKeys)
{
    TGUI_Window* window = NewWindow("w");
    window->Objects = {List.get()};
    List->HighlightOn = 1;
    List->Height = 40;
    List->AddText(u"zero#\\one#\\two#\\three", Font, Bold, 1, 0, -1000);
    static int32_t highlights = 0;
    highlights = 0;
    List->OnHighlight = [](TGUI_Object*) { highlights++; };
    OpenFirst(window);
    Move(10, 25);
    Press(10, 25);
    Frame();
    EXPECT_EQ(List->HighlightedItem, 1);
    EXPECT_EQ(GUI_Input.FocusedList, List.get());
    EXPECT_EQ(highlights, 1);
    // Highlighted with the bold font: 3 letters of 12 pixels.
    EXPECT_FLOAT_EQ(Render->Sprite_Get(List->Lines[1].Sprite)->Width, 36);
    Release(10, 25);
    Move(200, 200);
    Frame();

    struct TStep {
        uint8_t Key;
        int32_t After;
        int32_t Item;
        int32_t Scroll;
    } steps[] = {
        {VK_DOWN, 100, 2, 20}, // scrolled so that item 2 ends at the bottom
        {VK_DOWN, 30, 2, 20},  // within the repeat time: nothing
        {VK_DOWN, 100, 3, 40}, //
        {VK_DOWN, 100, 3, 40}, // the last item stays
        {VK_UP, 100, 2, 40},   //
        {VK_UP, 100, 1, 20},   // scrolled up to its top
        {VK_UP, 100, 0, 0},    //
        {VK_UP, 100, 0, 0},    // item 0 stays
    };
    for (const TStep& s : steps) {
        KeyDown(s.Key);
        Frame(s.After);
        KeyUp(s.Key);
        EXPECT_EQ(List->HighlightedItem, s.Item) << s.Key << " +" << s.After;
        EXPECT_EQ(List->ScrollY, s.Scroll) << s.Key << " +" << s.After;
    }
    EXPECT_FLOAT_EQ(Render->Sprite_Get(List->Lines[1].Sprite)->Width, 30) << "back to its normal font";

    // Highlighting off: the keys scroll by a pixel.
    List->HighlightOn = 0;
    KeyDown(VK_DOWN);
    Frame(100);
    KeyUp(VK_DOWN);
    EXPECT_EQ(List->ScrollY, 1);
    GUI_ListFocusLost();
    EXPECT_EQ(GUI_Input.FocusedList, nullptr);
    EXPECT_EQ(GUI_OnKeys, GUI_EmptyHook);
}

TEST_F(TGUIStringListTest, DrawsOnlyTheVisibleLines)
{
    List->X = 10;
    List->Y = 100;
    List->MarginX = 2;
    List->HighlightOn = 1;
    List->HighlightSprite = Look(4, 4);
    List->Sprite = Look(100, 50);
    List->AddText(u"a#\\b#\\c#\\d#\\e#\\f", Font, -1, 1, 0, -1000);
    List->SetHighlightedItem(2);
    List->SetScroll(30); // lines 1..3 show, line 1 from 10 above the top
    List->Draw(Scene);
    T3D_Scene* scene = Render->Scene_Get(Scene);
    ASSERT_GE(scene->DrawCount, 2);
    EXPECT_EQ(scene->DrawList[1].Kind, DRAWITEM_CLIP);
    EXPECT_EQ(std::vector<int32_t>(scene->DrawList[1].Values, scene->DrawList[1].Values + 4),
              (std::vector<int32_t>{12, 100, 108, 150}));
    EXPECT_EQ(Drawn(), (std::vector<TDrawn>{{List->Sprite, 10, 100, -1},
                                            {List->HighlightSprite, 10, 110, -1},
                                            {List->Lines[1].Sprite, 12, 90, -1},
                                            {List->Lines[2].Sprite, 12, 110, -1},
                                            {List->Lines[3].Sprite, 12, 130, -1}}));
    EXPECT_FLOAT_EQ(Render->Sprite_Get(List->HighlightSprite)->Width, 100) << "stretched to the list";
    EXPECT_FLOAT_EQ(Render->Sprite_Get(List->HighlightSprite)->Height, 20);
}

TEST_F(TGUIStringListTest, OverflowHaltsWithItsText)
{
    TGUI_StringList small(Render.get(), 3);
    small.Width = 100;
    // Three lines fill the three slots: allowed.
    small.Add_Item(u"aaaaaaaaa bbbbbbbbb ccccccccc", Font, -1, 1, true, 0, -1000);
    EXPECT_EQ(small.Count, 3);
    ClearEngineErrorText();
    EXPECT_THROW(small.Add_Item(u"x", Font, -1, 1, true, 0, -1000), TRenderFatalStop);
    EXPECT_EQ(GetEngineErrorText(),
              "\n\rTGUI_StringList.Add_Item(x) -> STRINGLIST OVERFLOW!\n\r\tTGUI_StringList.CurrentListSize=3");

    // A text with more lines than the slots left halts in the middle.
    small.Clear();
    ClearEngineErrorText();
    small.Add_Item(u"one", Font, -1, 1, true, 0, -1000);
    EXPECT_THROW(small.Add_Item(u"aaaaaaaaa bbbbbbbbb ccccccccc", Font, -1, 1, true, 0, -1000), TRenderFatalStop);
    EXPECT_EQ(small.Count, 3);
    EXPECT_NE(GetEngineErrorText().find("Add_Item(aaaaaaaaa bbbbbbbbb ccccccccc) -> STRINGLIST OVERFLOW!"),
              std::string::npos);
}

} // namespace
