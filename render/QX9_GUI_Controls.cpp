// QX9_GUI: buttons, labels, check boxes, edits and scroll bars.
#include "render/QX9_GUI_Controls.h"

#include <algorithm>
#include <cmath>

#include "engine/QX9_Math.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_StateKey.h"

namespace {

const T3D_Sprite* SpriteOf(const T3D_Render* render, int32_t index)
{
    return render != nullptr ? render->Sprite_Get(index) : nullptr;
}

// The font index itself when it names a font, else -1.
int32_t ValidFont(const T3D_Render* render, int32_t font)
{
    return render != nullptr && render->Font_Get(font) != nullptr ? font : -1;
}

// Blend modes of printed text: 1 blended over, 2 and 3 added.
void SetTextBlending(T3D_Render* render, int32_t textSprite, uint8_t mode)
{
    T3D_Sprite* sprite = render != nullptr ? render->Sprite_Get(textSprite) : nullptr;
    if (sprite == nullptr)
        return;
    static constexpr int32_t Blends[3][2] = {{0, 2}, {2, 2}, {2, 1}}; // destination, source
    if (mode < 1 || mode > 3)
        return;
    sprite->SetRenderState(RSK_DESTBLEND, Blends[mode - 1][0]);
    sprite->SetRenderState(RSK_SRCBLEND, Blends[mode - 1][1]);
}

} // namespace

int32_t GUI_CreateTextSprite(T3D_Render* render, int32_t srcBlend)
{
    if (render == nullptr)
        return -1;
    const int32_t index = render->Sprite_Add(0, 0);
    T3D_Sprite* sprite = render->Sprite_Get(index);
    sprite->SetRenderState(RSK_FILTER(0), 0);
    sprite->SetRenderState(RSK_ALPHAMODE, static_cast<int32_t>(RSK_ALPHA_BLEND));
    sprite->SetRenderState(RSK_DESTBLEND, 2);
    sprite->SetRenderState(RSK_CULL, 4);
    if (srcBlend >= 0)
        sprite->SetRenderState(RSK_SRCBLEND, srcBlend);
    return index;
}

// ---------------------------------------------------------------------------
// Button

TGUI_Button::TGUI_Button(T3D_Render* render) : TGUI_Object(render) {}

void TGUI_Button::StartFade(int32_t duration, int32_t from, int32_t to)
{
    FadeStart = GUI_Now();
    FadeTime = duration;
    FadeFrom = from;
    Current = to;
}

void TGUI_Button::SetHeld()
{
    Held = 1;
}

void TGUI_Button::ClearHeld()
{
    Held = 0;
    if (Current == Pressed)
        StartFade(FadeUp, Pressed, Normal);
}

void TGUI_Button::MouseDown()
{
    if (Visible == 0 || Held != 0)
        return;
    StartFade(FadeDown, EnterTime > 0 ? Hover : Normal, Pressed);
    OnMouseDown(this);
}

void TGUI_Button::MouseUp()
{
    if (Visible == 0)
        return;
    if (Held == 0)
        StartFade(FadeUp, Pressed, LeaveTime > 0 ? Normal : Hover);
    OnClick(this);
}

void TGUI_Button::MouseEnter()
{
    if (Visible == 0 || Held != 0)
        return;
    FadeStart = GUI_Now();
    if (PressTime < 0) {
        FadeTime = FadeEnter;
        FadeFrom = Normal;
        Current = Hover;
    } else {
        FadeTime = 0;
    }
    OnEnter(this);
}

void TGUI_Button::MouseLeave()
{
    if (Visible == 0)
        return;
    FadeStart = GUI_Now();
    FadeTime = 0;
    if (Held == 0 && PressTime < 0) {
        FadeTime = FadeLeave;
        FadeFrom = Hover;
        Current = Normal;
    }
    OnLeave(this);
}

void TGUI_Button::Draw(int32_t scene)
{
    if (Visible == 0 || scene == -1 || Normal == -1 || Pressed == -1 || Render == nullptr)
        return;
    SizeFromSprite(Normal);
    if (Current == -1)
        Current = Normal;
    if (Enabled == 0) {
        Render->Sprite_Draw(scene, Disabled != -1 ? Disabled : Pressed, X, Y, 255);
        return;
    }
    // Untouched since the window was shown: the plain look.
    if (LeaveTime == -1 && EnterTime == -1 && Held == 0) {
        Current = Normal;
        FadeTime = 0;
    }
    if (FadeTime > 0 && FadeFrom != -1) {
        const int64_t a = static_cast<int64_t>(GUI_Now() - FadeStart) * 255 / FadeTime;
        if (a >= 255) {
            Render->Sprite_Draw(scene, Current, X, Y, 255);
        } else {
            Render->Sprite_Draw(scene, FadeFrom, X, Y, 255);
            // Alpha -1 means "the sprite's own"; a clock that stepped back
            // shows the new look transparent.
            Render->Sprite_Draw(scene, Current, X, Y, static_cast<int32_t>(std::max<int64_t>(a, 0)));
        }
        return;
    }
    Render->Sprite_Draw(scene, Current, X, Y, -1);
}

// ---------------------------------------------------------------------------
// Label

TGUI_Label::TGUI_Label(T3D_Render* render) : TGUI_Object(render)
{
    TextSprite = GUI_CreateTextSprite(render, -1);
    SetBlending(1);
}

void TGUI_Label::RenderText()
{
    T3D_Font* font = Render->Font_Get(Font);
    T3D_Sprite* sprite = Render->Sprite_Get(TextSprite);
    if (font == nullptr || sprite == nullptr)
        return;
    if (!Text.empty())
        font->PrintTextWide(Text, TextSprite, Interval, Color);
    if (MaxWidth > 0 && static_cast<float>(MaxWidth) < sprite->Width)
        sprite->ScaleQuad(0, static_cast<float>(MaxWidth) / sprite->Width, 1);
}

void TGUI_Label::TakeSize()
{
    if (const T3D_Sprite* sprite = Render->Sprite_Get(TextSprite)) {
        Width = Rounded(sprite->Width);
        Height = Rounded(sprite->Height);
    }
}

void TGUI_Label::SetText(const std::u16string& text)
{
    if (text == Text)
        return;
    Text = text;
    RenderText();
    TakeSize();
}

void TGUI_Label::SetFont(int32_t font)
{
    font = ValidFont(Render, font);
    if (font == Font)
        return;
    Font = font;
    if (!Text.empty()) {
        RenderText();
        TakeSize();
    }
}

void TGUI_Label::SetColor(uint32_t colour)
{
    Color = colour;
    RenderText();
}

void TGUI_Label::SetInterval(int32_t interval)
{
    if (interval == Interval)
        return;
    Interval = interval;
    RenderText();
    TakeSize();
}

void TGUI_Label::SetBlending(uint8_t mode)
{
    if (mode == Blending)
        return;
    Blending = mode;
    SetTextBlending(Render, TextSprite, mode);
}

void TGUI_Label::Draw(int32_t scene)
{
    if (Visible == 0 || Font == -1 || Text.empty() || Render == nullptr)
        return;
    DrawX = Align == 2 ? X - Width / 2 : Align == 3 ? X - Width : X;
    Render->Sprite_Draw(scene, TextSprite, DrawX, Y, -1);
}

// ---------------------------------------------------------------------------
// Check box

TGUI_CheckBox::TGUI_CheckBox(T3D_Render* render) : TGUI_Object(render) {}

void TGUI_CheckBox::MouseUp()
{
    Checked = Checked != 0 ? 0 : 1;
    OnClick(this);
}

void TGUI_CheckBox::Draw(int32_t scene)
{
    if (Visible == 0 || scene == -1 || Unchecked == -1 || UncheckedPressed == -1 || CheckedNormal == -1 ||
        CheckedPressed == -1 || Render == nullptr)
        return;
    const T3D_Sprite* box = Render->Sprite_Get(Unchecked);
    int32_t captionWidth = 0, captionHeight = 0;
    if (const T3D_Font* font = Render->Font_Get(CaptionFont))
        font->MeasureText(Caption, captionWidth, captionHeight, -1000, true);
    const int32_t boxWidth = box != nullptr ? Rounded(box->Width) : 0;
    const int32_t boxHeight = box != nullptr ? Rounded(box->Height) : 0;
    Width = boxWidth + captionWidth + CaptionGap;
    Height = std::max(boxHeight, captionHeight);

    int32_t look;
    if (Enabled != 0) {
        const bool pressed = PressTime > 0;
        look = Checked != 0 ? (pressed ? CheckedPressed : CheckedNormal) : (pressed ? UncheckedPressed : Unchecked);
    } else if (Checked != 0) {
        look = CheckedDisabled != -1 ? CheckedDisabled : CheckedPressed;
    } else {
        look = UncheckedDisabled != -1 ? UncheckedDisabled : UncheckedPressed;
    }
    Render->Sprite_Draw(scene, look, X, Y, -1);
}

// ---------------------------------------------------------------------------
// Edit

TGUI_Edit::TGUI_Edit(T3D_Render* render) : TGUI_Object(render)
{
    TextSprite = GUI_CreateTextSprite(render, 2);
}

void TGUI_Edit::SetFont(int32_t font)
{
    Font = ValidFont(Render, font);
}

void TGUI_Edit::SetBlending(uint8_t mode)
{
    if (mode == Blending)
        return;
    Blending = mode;
    SetTextBlending(Render, TextSprite, mode);
}

bool TGUI_Edit::HasFocus() const
{
    return GUI_Input.FocusedEdit == this && GUI_OnTypedText == GUI_EditTypedText && GUI_OnKeys == GUI_EditKeys &&
           GUI_OnFocusLost == GUI_EditFocusLost;
}

void TGUI_Edit::MouseUp()
{
    if (GUI_Input.FocusedEdit != this) {
        GUI_OnFocusLost();
        SavedText = Text;
        CaretOn = 1;
    }
    GUI_Input.FocusedEdit = this;
    GUI_OnTypedText = GUI_EditTypedText;
    GUI_OnKeys = GUI_EditKeys;
    GUI_OnFocusLost = GUI_EditFocusLost;
    OnClick(this);
}

namespace {

// The edit gives the keyboard up.
void DropFocus(TGUI_Edit& edit)
{
    edit.CaretOn = 0;
    GUI_ResetFocusHooks();
    GUI_Input.FocusedEdit = nullptr;
}

} // namespace

void GUI_EditTypedText()
{
    TGUI_Edit* edit = GUI_Input.FocusedEdit;
    if (edit == nullptr || edit->Visible == 0)
        return;
    const T3D_Font* font = edit->Render != nullptr ? edit->Render->Font_Get(edit->Font) : nullptr;
    if (font == nullptr)
        return;
    for (char16_t c : GUI_Input.TypedText) {
        edit->Text.push_back(c);
        int32_t width = 0, height = 0;
        font->MeasureText(edit->Text, width, height, -1000, true);
        if (edit->Width - 2 * edit->Margin < width) {
            // Full: keep what fitted and stop taking input.
            edit->Text.pop_back();
            edit->SavedText = edit->Text;
            DropFocus(*edit);
            return;
        }
    }
}

void GUI_EditKeys()
{
    TGUI_Edit* edit = GUI_Input.FocusedEdit;
    if (edit == nullptr || edit->Visible == 0)
        return;
    int32_t phase = 1;
    if (edit->ReleaseTime > 0)
        phase = edit->CaretPeriod > 0 ? ((GUI_Now() - edit->ReleaseTime) / edit->CaretPeriod) & 1 : 0;
    edit->CaretOn = phase == 0 ? 1 : 0;

    if (GUI_Keys[VK_BACK].Down != 0) {
        if (!edit->Text.empty())
            edit->Text.pop_back();
    } else if (GUI_Keys[VK_ESCAPE].Down != 0) {
        edit->Text = edit->SavedText;
        DropFocus(*edit);
    } else if (GUI_Keys[VK_RETURN].Down != 0 && !edit->Text.empty()) {
        edit->SavedText = edit->Text;
        DropFocus(*edit);
        edit->OnCommit(nullptr);
    }
}

void GUI_EditFocusLost()
{
    TGUI_Edit* edit = GUI_Input.FocusedEdit;
    if (edit != nullptr) {
        if (edit->RestoreOnFocusLoss != 0)
            edit->Text = edit->SavedText;
        else
            edit->SavedText = edit->Text;
        edit->CaretOn = 0;
    }
    GUI_ResetFocusHooks();
    GUI_Input.FocusedEdit = nullptr;
}

void TGUI_Edit::Draw(int32_t scene)
{
    if (Visible == 0 || scene == -1 || Render == nullptr)
        return;
    T3D_Font* font = Render->Font_Get(Font);
    if (font == nullptr)
        return;
    if (Sprite != -1)
        SizeFromSprite(Sprite);
    int32_t textWidth = 0, textHeight = 0;
    font->MeasureText(Text, textWidth, textHeight, -1000, true);
    const int32_t tx = Align == 2 ? X + (Width - textWidth) / 2 : X + Margin;
    if (Height < textHeight)
        Height = textHeight;
    const int32_t ty = Y + (Height - textHeight) / 2;
    if (Sprite != -1)
        Render->Sprite_Draw(scene, Sprite, X, Y, -1);
    if (Text.empty() && CaretOn == 0)
        return;
    std::u16string shown = Text;
    if (CaretOn != 0)
        shown.push_back(u'|');
    font->PrintTextWide(shown, TextSprite, Interval, Color);
    Render->Sprite_Draw(scene, TextSprite, tx, ty, -1);
}

// ---------------------------------------------------------------------------
// Scroll bar

TGUI_ScrollBar::TGUI_ScrollBar(T3D_Render* render) : TGUI_Object(render) {}

void TGUI_ScrollBar::SetPosition(float value)
{
    Position = value >= 0 ? std::min(value, 1.0f) : 0.0f;
}

int32_t TGUI_ScrollBar::MouseOffset() const
{
    return Orientation == 0 ? GUI_Input.VirtualY - Y : GUI_Input.VirtualX - X;
}

int32_t TGUI_ScrollBar::Length() const
{
    return Orientation == 0 ? Height : Width;
}

int32_t TGUI_ScrollBar::SliderLength() const
{
    return Orientation == 0 ? SliderHeight : SliderWidth;
}

int32_t TGUI_ScrollBar::SliderOffset() const
{
    return ArrowSize + Rounded(static_cast<float>(Travel()) * Position);
}

void TGUI_ScrollBar::MouseDown()
{
    const int32_t a = MouseOffset();
    const int32_t far = Length() - ArrowSize;
    if (a < ArrowSize || a > far) {
        const bool first = a < ArrowSize;
        Mode = first ? 1 : 2;
        (first ? ArrowA : ArrowB) = first ? ArrowAPressed : ArrowBPressed;
        if (Continuous != 0) {
            PressStart = GUI_Now();
            BasePosition = Position;
        } else {
            SetPosition(first ? Position - Step : Position + Step);
        }
    }
    OnMouseDown(this);
}

void TGUI_ScrollBar::MouseOver()
{
    const int32_t a = MouseOffset();
    const int32_t s = ArrowSize, t = SliderLength(), far = Length() - s, travel = Travel();
    if (a >= s && a <= far) {
        Mode = 0;
        ArrowA = ArrowANormal;
        ArrowB = ArrowBNormal;
        const int32_t start = SliderOffset();
        Slider = a >= start && a <= start + t ? SliderHover : SliderNormal;
    } else {
        Slider = SliderNormal;
        if (Mode == 0) {
            ArrowA = a < s ? ArrowAHover : ArrowANormal;
            ArrowB = a > far ? ArrowBHover : ArrowBNormal;
        }
    }
    if (GUI_Keys[GUI_KEY_LBUTTON].Down == 0 && GUI_Keys[GUI_KEY_RBUTTON].Down == 0) {
        OnOver(this);
        return;
    }
    const int32_t now = GUI_Now();
    if (Mode == 0) {
        // The slider's centre follows the mouse. A bar without travel has
        // nowhere to drag: it stays at 0.
        const int32_t p = std::clamp(a - s - t / 2, 0, std::max(travel, 0));
        if (p != SliderOffset() - s)
            ChangeTime = now;
        Position = travel > 0 ? static_cast<float>(p) / static_cast<float>(travel) : 0.0f;
    } else if (Continuous != 0) {
        const float d = static_cast<float>(now - PressStart) * Speed / 1000.0f;
        SetPosition(Mode == 1 ? BasePosition - d : BasePosition + d);
        ChangeTime = now;
    }
    OnOverPressed(this);
}

void TGUI_ScrollBar::MouseUp()
{
    Mode = 0;
    OnClick(this);
}

void TGUI_ScrollBar::MouseLeave()
{
    Mode = 0;
    ArrowA = ArrowANormal;
    ArrowB = ArrowBNormal;
    Slider = SliderNormal;
    OnLeave(this);
}

void TGUI_ScrollBar::Draw(int32_t scene)
{
    if (Visible == 0 || scene < 0 || ArrowANormal < 0 || ArrowBNormal < 0 || SliderNormal < 0 || Render == nullptr)
        return;
    const int32_t arrowA = ArrowA != -1 ? ArrowA : ArrowANormal;
    const int32_t arrowB = ArrowB != -1 ? ArrowB : ArrowBNormal;
    const int32_t slider = Slider != -1 ? Slider : SliderNormal;
    const T3D_Sprite* a = SpriteOf(Render, arrowA);
    const T3D_Sprite* b = SpriteOf(Render, arrowB);
    const int32_t aw = a != nullptr ? Rounded(a->Width) : 0, ah = a != nullptr ? Rounded(a->Height) : 0;
    const int32_t bw = b != nullptr ? Rounded(b->Width) : 0, bh = b != nullptr ? Rounded(b->Height) : 0;
    if (Sprite != -1)
        Render->Sprite_Draw(scene, Sprite, X, Y, -1);
    const int32_t along = Rounded(static_cast<float>(Travel()) * Position);
    if (Orientation == 0) {
        const int32_t x = X + (Width - aw) / 2;
        Render->Sprite_Draw(scene, arrowA, x, Y, -1);
        Render->Sprite_Draw(scene, arrowB, x, Y + Height - bh, -1);
        if (Enabled != 0)
            Render->Sprite_Draw(scene, slider, X + (Width - SliderWidth) / 2, Y + ArrowSize + along, -1);
    } else {
        const int32_t y = Y + (Height - ah) / 2;
        Render->Sprite_Draw(scene, arrowA, X, y, -1);
        Render->Sprite_Draw(scene, arrowB, X + Width - bw, y, -1);
        if (Enabled != 0)
            Render->Sprite_Draw(scene, slider, X + ArrowSize + along, Y + (Height - SliderHeight) / 2, -1);
    }
}
