// The controls: looks, fades, text, focus and the scroll bar's geometry,
// through the frame step as a window delivers the mouse to them.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_StateKey.h"
#include "tests/render/GUITestSupport.h"

namespace {

using Strings = std::vector<std::string>;
using Draws = std::vector<TDrawn>;

std::vector<std::string> Handled;
void RecordClick(TGUI_Object*)
{
    Handled.push_back("click");
}
void RecordMouseDown(TGUI_Object*)
{
    Handled.push_back("down");
}
void RecordCommit(TGUI_Object* object)
{
    Handled.push_back(object == nullptr ? "commit nil" : "commit object");
}

class TGUIControlsTest : public TGUITest {
protected:
    void SetUp() override
    {
        TGUITest::SetUp();
        Handled.clear();
        Main = NewWindow("main");
        Font = AddFixedFont(*Render, 10, 20);
    }
    template <class T> T* Add(std::unique_ptr<T> object)
    {
        T* raw = object.get();
        Main->Objects.push_back(raw);
        Owned.push_back(std::move(object));
        return raw;
    }
    void Open()
    {
        OpenFirst(Main);
        Frame();
        Drawn();
    }
    void Click(int32_t x, int32_t y)
    {
        Move(x, y);
        Press(x, y);
        Frame();
        Release(x, y);
        Frame();
    }

    TGUI_Window* Main = nullptr;
    int32_t Font = -1;
    std::vector<std::unique_ptr<TGUI_Object>> Owned;
};

// ---------------------------------------------------------------------------
// Button

class TGUIButtonTest : public TGUIControlsTest {
protected:
    void SetUp() override
    {
        TGUIControlsTest::SetUp();
        Button = Add(std::make_unique<TGUI_Button>(Render.get()));
        Button->X = 10;
        Button->Y = 10;
        Button->Normal = Look(40, 20);
        Button->Hover = Look(40, 20);
        Button->Pressed = Look(40, 20);
        Button->OnClick = RecordClick;
        Button->OnMouseDown = RecordMouseDown;
    }
    TGUI_Button* Button = nullptr;
};

TEST_F(TGUIButtonTest, PressCrossFadesFromTheHoverLook)
{
    Button->FadeDown = 70;
    Move(200, 200);
    Open();
    EXPECT_EQ(Button->Width, 40) << "size of the normal look";
    Move(20, 20);
    Frame();
    EXPECT_EQ(Drawn(), (Draws{{Button->Hover, 10, 10, -1}})) << "fade 0: at once";
    Press(20, 20);
    Frame(1000);
    EXPECT_EQ(Drawn(), (Draws{{Button->Hover, 10, 10, 255}, {Button->Pressed, 10, 10, 0}}));
    Frame(35);
    EXPECT_EQ(Drawn(), (Draws{{Button->Hover, 10, 10, 255}, {Button->Pressed, 10, 10, 127}}));
    Frame(35);
    EXPECT_EQ(Drawn(), (Draws{{Button->Pressed, 10, 10, 255}}));
    EXPECT_EQ(Handled, Strings{"down"});
}

TEST_F(TGUIButtonTest, LooksFollowTheMouse)
{
    Button->FadeEnter = 100;
    Button->FadeLeave = 50;
    Button->FadeUp = 80;
    Move(200, 200);
    Open();
    EXPECT_EQ(Drawn(), Draws{});
    Frame();
    EXPECT_EQ(Drawn(), (Draws{{Button->Normal, 10, 10, -1}})) << "untouched since shown";
    Move(20, 20);
    Frame();
    Frame(50);
    EXPECT_EQ(Drawn(), (Draws{{Button->Normal, 10, 10, 255},
                              {Button->Hover, 10, 10, 0},
                              {Button->Normal, 10, 10, 255},
                              {Button->Hover, 10, 10, 127}}));
    Move(300, 20);
    Frame(100);
    Frame(25);
    EXPECT_EQ(Drawn(), (Draws{{Button->Hover, 10, 10, 255},
                              {Button->Normal, 10, 10, 0},
                              {Button->Hover, 10, 10, 255},
                              {Button->Normal, 10, 10, 127}}));
    // Pressed, moved off and released elsewhere: back to normal, and the
    // click still fires.
    Move(20, 20);
    Press(20, 20);
    Frame(1000);
    Move(300, 20);
    Frame();
    Release(300, 20);
    Frame();
    EXPECT_EQ(Button->Current, Button->Normal);
    EXPECT_EQ(Button->FadeFrom, Button->Pressed);
    EXPECT_EQ(Button->FadeTime, 80);
    EXPECT_EQ(Handled, (Strings{"down", "click"}));
}

TEST_F(TGUIButtonTest, HeldInvisibleAndDisabled)
{
    Button->FadeUp = 60;
    Button->Current = Button->Pressed;
    Button->SetHeld();
    Move(200, 200);
    Open();
    Click(20, 20);
    EXPECT_EQ(Handled, Strings{"click"}) << "a held button fires no press";
    EXPECT_EQ(Button->Current, Button->Pressed);
    Drawn();
    Button->ClearHeld();
    EXPECT_EQ(Button->Held, 0);
    Frame(30);
    EXPECT_EQ(Drawn(), (Draws{{Button->Pressed, 10, 10, 255}, {Button->Normal, 10, 10, 127}}));

    // Invisible: caught by the mouse, silent and not drawn.
    Handled.clear();
    Button->Visible = 0;
    Click(20, 20);
    EXPECT_EQ(Handled, Strings{});
    EXPECT_EQ(Main->PrevHovered, 0);
    EXPECT_EQ(Drawn(), Draws{});

    Button->Visible = 1;
    Button->Enabled = 0;
    Frame();
    EXPECT_EQ(Drawn(), (Draws{{Button->Pressed, 10, 10, 255}}));
    Button->Disabled = Look(40, 20);
    Frame();
    EXPECT_EQ(Drawn(), (Draws{{Button->Disabled, 10, 10, 255}}));
    Button->Pressed = -1;
    Frame();
    EXPECT_EQ(Drawn(), Draws{}) << "no pressed look, no drawing";
}

// ---------------------------------------------------------------------------
// Label

TEST_F(TGUIControlsTest, LabelAlignmentAndItsHitRectangle)
{
    auto label = std::make_unique<TGUI_Label>(Render.get());
    label->SetFont(Font);
    label->SetText(u"abcd");
    EXPECT_EQ(label->Width, 40);
    EXPECT_EQ(label->Height, 20);
    label->X = 100;
    label->Y = 5;
    struct TCase {
        uint8_t Align;
        int32_t DrawX;
    } cases[] = {{1, 100}, {2, 80}, {3, 60}};
    for (const TCase& c : cases) {
        label->Align = c.Align;
        label->Draw(Scene);
        EXPECT_EQ(label->DrawX, c.DrawX);
        EXPECT_EQ(Drawn(), (Draws{{label->TextSprite, c.DrawX, 5, -1}}));
    }
    for (int32_t x : {100, 140}) {
        Move(x, 10);
        EXPECT_TRUE(GUI_HitTest(label.get())) << x;
    }
    for (int32_t x : {80, 99, 141}) {
        Move(x, 10);
        EXPECT_FALSE(GUI_HitTest(label.get())) << x;
    }
}

TEST_F(TGUIControlsTest, LabelSqueezeFontsAndRendering)
{
    auto label = std::make_unique<TGUI_Label>(Render.get());
    T3D_Sprite* sprite = Render->Sprite_Get(label->TextSprite);
    EXPECT_EQ(sprite->StateKey.Value & RSK_ALPHAMODE, RSK_ALPHA_BLEND);
    EXPECT_EQ(label->Blending, 1);
    label->MaxWidth = 100;
    label->SetText(u"twenty letters here.");
    EXPECT_EQ(label->Width, 0) << "no font: nothing rendered";
    label->SetFont(Font);
    EXPECT_EQ(label->Width, 100) << "200 pixels squeezed";
    EXPECT_FLOAT_EQ(sprite->Width, 100);
    label->SetText(u"short");
    EXPECT_EQ(label->Width, 50);

    // Unchanged text is not printed again, not even by drawing.
    sprite->Vertices[0].Color = 0x12345678;
    label->SetText(u"short");
    label->Draw(Scene);
    EXPECT_EQ(sprite->Vertices[0].Color, 0x12345678u);
    label->SetColor(0xFF00FF00);
    EXPECT_EQ(sprite->Vertices[0].Color, 0xFF00FF00u);
    label->SetInterval(2);
    EXPECT_EQ(label->Width, 58);

    // A font index that names no font: nothing drawn.
    Drawn();
    label->SetFont(99);
    EXPECT_EQ(label->GetFont(), -1);
    label->Draw(Scene);
    EXPECT_EQ(Drawn(), Draws{});

    label->SetBlending(3);
    EXPECT_EQ(sprite->StateKey.Value & (RSK_SRCBLEND | RSK_DESTBLEND), (1u << 28) | (2u << 30));
}

// ---------------------------------------------------------------------------
// Check box

TEST_F(TGUIControlsTest, CheckBoxLooksAndSize)
{
    auto box = std::make_unique<TGUI_CheckBox>(Render.get());
    box->Unchecked = Look(16, 16);
    box->UncheckedPressed = Look(16, 16);
    box->CheckedNormal = Look(16, 16);
    box->CheckedPressed = Look(16, 16);
    const int32_t uncheckedDisabled = Look(16, 16), checkedDisabled = Look(16, 16);
    struct TCase {
        uint8_t Enabled;
        bool Pressed;
        uint8_t Checked;
        bool DisabledLooks;
        int32_t Look;
    } cases[] = {
        {1, false, 0, false, box->Unchecked},        {1, false, 1, false, box->CheckedNormal},
        {1, true, 0, false, box->UncheckedPressed},  {1, true, 1, false, box->CheckedPressed},
        {0, true, 0, true, uncheckedDisabled},       {0, false, 1, true, checkedDisabled},
        {0, false, 0, false, box->UncheckedPressed}, {0, false, 1, false, box->CheckedPressed},
    };
    for (const TCase& c : cases) {
        box->Enabled = c.Enabled;
        box->PressTime = c.Pressed ? 500 : -1;
        box->Checked = c.Checked;
        box->UncheckedDisabled = c.DisabledLooks ? uncheckedDisabled : -1;
        box->CheckedDisabled = c.DisabledLooks ? checkedDisabled : -1;
        box->Draw(Scene);
        EXPECT_EQ(Drawn(), (Draws{{c.Look, 0, 0, -1}}))
            << int(c.Enabled) << c.Pressed << int(c.Checked) << c.DisabledLooks;
    }
    EXPECT_EQ(box->Width, 16);
    box->Caption = u"abc";
    box->CaptionGap = 4;
    box->CaptionFont = Font;
    box->Draw(Scene);
    EXPECT_EQ(box->Width, 50);
    EXPECT_EQ(box->Height, 20);
    Drawn();
    box->CheckedPressed = -1;
    box->Draw(Scene);
    EXPECT_EQ(Drawn(), Draws{}) << "a missing look: nothing drawn";
}

TEST_F(TGUIControlsTest, CheckBoxToggles)
{
    TGUI_CheckBox* box = Add(std::make_unique<TGUI_CheckBox>(Render.get()));
    box->Width = box->Height = 16;
    box->OnClick = [](TGUI_Object* object) {
        Handled.push_back(static_cast<TGUI_CheckBox*>(object)->Checked != 0 ? "checked" : "unchecked");
    };
    Move(100, 100);
    Open();
    Click(5, 5);
    Click(5, 5);
    EXPECT_EQ(Handled, (Strings{"checked", "unchecked"}));
}

// ---------------------------------------------------------------------------
// Edit

class TGUIEditTest : public TGUIControlsTest {
protected:
    void SetUp() override
    {
        TGUIControlsTest::SetUp();
        Edit = Add(std::make_unique<TGUI_Edit>(Render.get()));
        Edit->X = 10;
        Edit->Y = 10;
        Edit->Width = 50;
        Edit->Height = 20;
        Edit->Margin = 5;
        Edit->SetFont(Font);
        Edit->OnCommit = RecordCommit;
        Other = Add(std::make_unique<TGUI_Object>(Render.get()));
        Other->X = 100;
        Other->Width = Other->Height = 10;
        Move(200, 200);
        Open();
    }
    void Focus()
    {
        Click(20, 20);
        Move(200, 200);
        ASSERT_TRUE(Edit->HasFocus());
    }
    void Hit(uint8_t key)
    {
        KeyDown(key);
        Frame();
        KeyUp(key);
        Frame();
    }
    TGUI_Edit* Edit = nullptr;
    TGUI_Object* Other = nullptr;
};

TEST_F(TGUIEditTest, AFullEditKeepsWhatFittedAndLetsGo)
{
    Focus();
    EXPECT_EQ(Edit->CaretOn, 1);
    Type(u"abcdef");
    Frame();
    EXPECT_EQ(Edit->Text, u"abcd");
    EXPECT_EQ(Edit->SavedText, u"abcd");
    EXPECT_FALSE(Edit->HasFocus());
    EXPECT_EQ(GUI_Input.FocusedEdit, nullptr);
    EXPECT_EQ(Edit->CaretOn, 0);
    Type(u"x");
    Frame();
    EXPECT_EQ(Edit->Text, u"abcd");
}

TEST_F(TGUIEditTest, BackspaceHeldRemovesOneCharacterPerFrame)
{
    Focus();
    Type(u"abcd");
    Frame();
    KeyDown(VK_BACK);
    Frame();
    EXPECT_EQ(Edit->Text, u"abc");
    Frame();
    EXPECT_EQ(Edit->Text, u"ab");
    KeyUp(VK_BACK);
    Frame();
    EXPECT_EQ(Edit->Text, u"ab");
    EXPECT_TRUE(Edit->HasFocus());
}

TEST_F(TGUIEditTest, EscapeRestoresEnterCommits)
{
    Edit->Text = u"old";
    Focus();
    Type(u"x");
    Frame();
    Hit(VK_ESCAPE);
    EXPECT_EQ(Edit->Text, u"old");
    EXPECT_FALSE(Edit->HasFocus());

    Edit->Text.clear();
    Focus();
    Hit(VK_RETURN);
    EXPECT_TRUE(Edit->HasFocus()) << "Enter on an empty text does nothing";
    EXPECT_EQ(Handled, Strings{});
    Type(u"ab");
    Frame();
    Hit(VK_RETURN);
    EXPECT_EQ(Handled, Strings{"commit nil"});
    EXPECT_EQ(Edit->SavedText, u"ab");
    EXPECT_FALSE(Edit->HasFocus());
}

TEST_F(TGUIEditTest, ClickingAgainRestoresThenRefocuses)
{
    Edit->Text = u"old";
    Focus();
    Type(u"x");
    Frame();
    Move(20, 20);
    Press(20, 20);
    Frame();
    EXPECT_EQ(Edit->Text, u"old") << "the press took the focus away";
    EXPECT_FALSE(Edit->HasFocus());
    Release(20, 20);
    Frame();
    EXPECT_TRUE(Edit->HasFocus());
    EXPECT_EQ(Edit->CaretOn, 1);
    EXPECT_EQ(Edit->SavedText, u"old");

    // A click elsewhere with RestoreOnFocusLoss 0 keeps the typed text.
    Edit->RestoreOnFocusLoss = 0;
    Type(u"y");
    Frame();
    Click(105, 5);
    EXPECT_EQ(Edit->Text, u"oldy");
    EXPECT_EQ(Edit->SavedText, u"oldy");
    EXPECT_FALSE(Edit->HasFocus());
}

TEST_F(TGUIEditTest, CaretPhasesAndDrawing)
{
    Edit->Text = u"ab";
    Focus();
    const int32_t released = Edit->ReleaseTime;
    struct TCase {
        int32_t After;
        uint8_t Caret;
    } cases[] = {{0, 1}, {499, 1}, {500, 0}, {999, 0}, {1000, 1}, {1700, 0}};
    for (const TCase& c : cases) {
        Now = released + c.After;
        Frame();
        EXPECT_EQ(Edit->CaretOn, c.Caret) << c.After;
    }
    Now = released;
    Frame();
    Drawn();
    Edit->Draw(Scene);
    // Left at X + Margin, the caret printed after the text.
    EXPECT_EQ(Drawn(), (Draws{{Edit->TextSprite, 15, 10, -1}}));
    EXPECT_EQ(Render->Sprite_Get(Edit->TextSprite)->QuadCount(), 3);
    Edit->Align = 2;
    Edit->Draw(Scene);
    EXPECT_EQ(Drawn(), (Draws{{Edit->TextSprite, 25, 10, -1}})) << "centred without the caret";
    Edit->SetFont(42);
    Edit->Draw(Scene);
    EXPECT_EQ(Drawn(), Draws{});
}

// ---------------------------------------------------------------------------
// Scroll bar

class TGUIScrollBarTest : public TGUIControlsTest {
protected:
    void SetUp() override
    {
        TGUIControlsTest::SetUp();
        Bar = Add(std::make_unique<TGUI_ScrollBar>(Render.get()));
        Bar->Width = 10;
        Bar->Height = 100;
        Bar->ArrowSize = 10;
        Bar->SliderWidth = 10;
        Bar->SliderHeight = 20; // travel 60
        Bar->ArrowANormal = Look(10, 10);
        Bar->ArrowAPressed = Look(10, 10);
        Bar->ArrowAHover = Look(10, 10);
        Bar->ArrowBNormal = Look(10, 10);
        Bar->ArrowBPressed = Look(10, 10);
        Bar->ArrowBHover = Look(10, 10);
        Bar->SliderNormal = Look(10, 20);
        Bar->SliderHover = Look(10, 20);
        Move(200, 200);
        Open();
    }
    TGUI_ScrollBar* Bar = nullptr;
};

TEST_F(TGUIScrollBarTest, ArrowStepsWhenNotContinuous)
{
    Bar->Continuous = 0;
    struct TCase {
        float From;
        int32_t Y;
        float To;
    } cases[] = {{0.5f, 5, 0.4f}, {0.05f, 5, 0.0f}, {0.5f, 95, 0.6f}, {0.95f, 100, 1.0f}, {0.5f, 50, 0.5f}};
    for (const TCase& c : cases) {
        Bar->Position = c.From;
        Move(5, c.Y);
        Press(5, c.Y);
        Frame();
        if (c.Y != 50) {
            EXPECT_FLOAT_EQ(Bar->Position, c.To) << c.From << " at " << c.Y;
        }
        Release(5, c.Y);
        Frame();
    }
}

TEST_F(TGUIScrollBarTest, HoldingArrowBScrollsContinuously)
{
    Bar->Position = 0.2f;
    Move(5, 95);
    Frame();
    EXPECT_EQ(Bar->ArrowB, Bar->ArrowBHover);
    Press(5, 95);
    Frame(1000);
    EXPECT_EQ(Bar->Mode, 2);
    EXPECT_EQ(Bar->ArrowB, Bar->ArrowBPressed);
    Frame(250);
    EXPECT_NEAR(Bar->Position, 0.45f, 1e-6);
    Frame(250);
    EXPECT_NEAR(Bar->Position, 0.7f, 1e-6);
    EXPECT_EQ(Bar->ChangeTime, Now);
    Frame(1000);
    EXPECT_FLOAT_EQ(Bar->Position, 1.0f) << "clamped";
    Release(5, 95);
    Frame();
    EXPECT_EQ(Bar->Mode, 0);
    Move(200, 200);
    Frame();
    EXPECT_EQ(Bar->ArrowB, Bar->ArrowBNormal);
}

TEST_F(TGUIScrollBarTest, DraggingPutsTheSliderCentreUnderTheMouse)
{
    struct TCase {
        int32_t Y;
        float Position;
    } cases[] = {{50, 0.5f}, {20, 0.0f}, {25, 5.0f / 60}, {80, 1.0f}, {99, 1.0f}};
    for (const TCase& c : cases) {
        Move(5, c.Y);
        Press(5, c.Y);
        Frame();
        EXPECT_FLOAT_EQ(Bar->Position, c.Position) << c.Y;
        Release(5, c.Y);
        Frame();
    }
    // Slider looks: hover over the slider, normal elsewhere in the track.
    Bar->Position = 0.5f; // slider 40..60
    Move(5, 45);
    Frame();
    EXPECT_EQ(Bar->Slider, Bar->SliderHover);
    Move(5, 70);
    Frame();
    EXPECT_EQ(Bar->Slider, Bar->SliderNormal);
    Drawn();
    Bar->Draw(Scene);
    EXPECT_EQ(Drawn(),
              (Draws{{Bar->ArrowANormal, 0, 0, -1}, {Bar->ArrowBNormal, 0, 90, -1}, {Bar->SliderNormal, 0, 40, -1}}));
}

TEST_F(TGUIScrollBarTest, NoTravelDragsToZero)
{
    Bar->Height = 40; // arrows 20, slider 20: no travel
    Bar->Position = 0.3f;
    Move(5, 20);
    Press(5, 20);
    Frame();
    EXPECT_EQ(Bar->Position, 0.0f);
    Bar->Height = 30; // less than nothing
    Frame();
    EXPECT_EQ(Bar->Position, 0.0f);
    EXPECT_FALSE(std::isnan(Bar->Position));
}

TEST_F(TGUIScrollBarTest, PositionClampAndHorizontalDrawing)
{
    struct TCase {
        float Value, Position;
    } cases[] = {{0.25f, 0.25f}, {-0.5f, 0}, {1.5f, 1}, {NAN, 0}, {INFINITY, 1}, {-INFINITY, 0}};
    for (const TCase& c : cases) {
        Bar->SetPosition(c.Value);
        EXPECT_EQ(Bar->Position, c.Position) << c.Value;
    }
    Bar->Orientation = 1;
    Bar->X = 100;
    Bar->Y = 50;
    Bar->Width = 100;
    Bar->Height = 14;
    Bar->SliderWidth = 20;
    Bar->SliderHeight = 10;
    Bar->Position = 0.25f; // 15 of 60
    Bar->Sprite = Look(100, 14);
    Bar->Draw(Scene);
    EXPECT_EQ(Drawn(), (Draws{{Bar->Sprite, 100, 50, -1},
                              {Bar->ArrowANormal, 100, 52, -1},
                              {Bar->ArrowBNormal, 190, 52, -1},
                              {Bar->SliderNormal, 125, 52, -1}}));
    Bar->Enabled = 0;
    Bar->Draw(Scene);
    EXPECT_EQ(Drawn().size(), 3u) << "no slider while disabled";
    Bar->SliderNormal = -1;
    Bar->Draw(Scene);
    EXPECT_EQ(Drawn(), Draws{});
}

} // namespace
