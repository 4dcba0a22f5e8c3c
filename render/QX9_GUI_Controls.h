// The controls windows hold: buttons with cross-faded looks, text labels,
// check boxes, one-line edits that take the keyboard through the focus hooks,
// and scroll bars with arrows, a slider, dragging and continuous scrolling.
#pragma once

#include <cstdint>
#include <string>

#include "render/QX9_GUI.h"

class TGUI_Button : public TGUI_Object {
public:
    explicit TGUI_Button(T3D_Render* render);

    void SetHeld();
    void ClearHeld();
    void MouseDown() override;
    void MouseUp() override;
    void MouseEnter() override;
    void MouseLeave() override;
    void Draw(int32_t scene) override;

    int32_t FadeFrom = -1;
    int32_t Current = -1;
    int32_t FadeStart = 0;
    int32_t FadeTime = 0;
    int32_t Normal = -1;
    int32_t Pressed = -1;
    int32_t Hover = -1;
    int32_t Disabled = -1;
    int32_t FadeEnter = 0;
    int32_t FadeLeave = 0;
    int32_t FadeUp = 0;
    int32_t FadeDown = 0;

private:
    void StartFade(int32_t duration, int32_t from, int32_t to);
};

class TGUI_Label : public TGUI_Object {
public:
    explicit TGUI_Label(T3D_Render* render);

    void SetText(const std::u16string& text);
    const std::u16string& GetText() const { return Text; }
    int32_t GetFont() const { return Font; }
    // A font index that names no font counts as -1.
    void SetFont(int32_t font);
    void SetColor(uint32_t colour);
    void SetInterval(int32_t interval);
    void SetBlending(uint8_t mode);
    void Draw(int32_t scene) override;

    int32_t DrawX = 0;
    std::u16string Text;
    int32_t TextSprite = -1;
    int32_t Font = -1;
    uint8_t Blending = 0;
    uint32_t Color = 0;
    int32_t Interval = -1000;
    uint8_t Align = 2; // 1 left, 2 centre, 3 right
    int32_t MaxWidth = 0;

private:
    // Prints the text into the text sprite (when there is something to print)
    // and squeezes it to MaxWidth.
    void RenderText();
    void TakeSize();
};

class TGUI_CheckBox : public TGUI_Object {
public:
    explicit TGUI_CheckBox(T3D_Render* render);

    void MouseUp() override;
    void Draw(int32_t scene) override;

    int32_t Unchecked = -1;
    int32_t UncheckedPressed = -1;
    int32_t UncheckedDisabled = -1;
    int32_t CheckedNormal = -1;
    int32_t CheckedPressed = -1;
    int32_t CheckedDisabled = -1;
    std::u16string Caption;
    int32_t CaptionGap = 0;
    int32_t CaptionFont = -1;
    uint8_t Checked = 0;
};

class TGUI_Edit : public TGUI_Object {
public:
    explicit TGUI_Edit(T3D_Render* render);

    int32_t GetFont() const { return Font; }
    // A font index that names no font counts as -1.
    void SetFont(int32_t font);
    void SetColor(uint32_t colour) { Color = colour; }
    void SetBlending(uint8_t mode);
    bool HasFocus() const;
    void MouseUp() override;
    void Draw(int32_t scene) override;

    std::u16string SavedText;
    uint8_t CaretOn = 0;
    int32_t TextSprite = -1;
    int32_t Font = -1;
    uint8_t Blending = 2;
    uint32_t Color = 0;
    int32_t Interval = -1000;
    int32_t CaretPeriod = 500;
    int32_t Margin = 0;
    std::u16string Text;
    uint8_t Align = 0; // 2 centred, else left at X + Margin
    uint8_t RestoreOnFocusLoss = 1;
    TGUI_Handler OnCommit = GUI_EmptyHandler;
};

// The focus hooks of the focused edit.
void GUI_EditTypedText();
void GUI_EditKeys();
void GUI_EditFocusLost();

class TGUI_ScrollBar : public TGUI_Object {
public:
    explicit TGUI_ScrollBar(T3D_Render* render);

    // Clamped to 0..1; a value that is not a number becomes 0.
    void SetPosition(float value);
    void MouseDown() override;
    void MouseUp() override;
    void MouseOver() override;
    void MouseLeave() override;
    void Draw(int32_t scene) override;

    float BasePosition = 0;
    int32_t PressStart = 0;
    int32_t Mode = 0; // 0 none or dragging, 1 towards 0, 2 towards 1
    int32_t ArrowA = -1;
    int32_t ArrowB = -1;
    int32_t Slider = -1;
    int32_t ArrowANormal = -1;
    int32_t ArrowAHover = -1;
    int32_t ArrowAPressed = -1;
    int32_t ArrowBNormal = -1;
    int32_t ArrowBHover = -1;
    int32_t ArrowBPressed = -1;
    int32_t SliderNormal = -1;
    int32_t SliderHover = -1;
    int32_t ArrowSize = 0;
    int32_t SliderWidth = 0;
    int32_t SliderHeight = 0;
    uint8_t Orientation = 0; // 0 vertical, 1 horizontal
    float Position = 0;
    uint8_t Continuous = 1;
    int32_t ChangeTime = 0;
    float Step = 0.1f;
    float Speed = 1.0f;

private:
    // Along the bar: the mouse offset, the bar length, the slider length.
    int32_t MouseOffset() const;
    int32_t Length() const;
    int32_t SliderLength() const;
    int32_t Travel() const { return Length() - 2 * ArrowSize - SliderLength(); }
    int32_t SliderOffset() const;
};

// A sprite for printed text: no shaders of its own, filtered, alpha-blended,
// drawn from both sides; srcBlend -1 leaves the source blend unset.
int32_t GUI_CreateTextSprite(T3D_Render* render, int32_t srcBlend);
