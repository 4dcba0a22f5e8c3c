#include "screens/kit/Duskmarch_Base_Hints.h"

#include <algorithm>

#include "engine/QX9_Sound.h"
#include "model/Support.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "screens/kit/Duskmarch_Base_Sound.h"

std::deque<THint> HintList;
int32_t NoticeCount = 0;

namespace {

void PlayCastleLost()
{
    if (SoundCastleLost > 0)
        Sound_Play(SoundCastleLost, true, false);
}

T3D_Sprite* SpriteOf(int32_t index)
{
    return MainRender != nullptr && index >= 0 ? MainRender->Sprite_Get(index) : nullptr;
}

int32_t FramePicture(const std::string& name)
{
    return MainRender != nullptr ? LoadSprite(InterfaceFolder + "Common\\" + name + ".DDS", 1) : -1;
}

void Resize(int32_t sprite, int32_t width, int32_t height)
{
    if (T3D_Sprite* s = SpriteOf(sprite))
        s->SetSize(0, static_cast<float>(std::max(width, 1)), static_cast<float>(std::max(height, 1)));
}

void Turn(int32_t sprite, bool direction)
{
    if (T3D_Sprite* s = SpriteOf(sprite))
        s->Rotate90(direction);
}

void Mirror(int32_t sprite, bool horizontal, bool vertical)
{
    if (T3D_Sprite* s = SpriteOf(sprite))
        s->Flip(horizontal, vertical);
}

void Put(int32_t scene, int32_t sprite, int32_t x, int32_t y, int32_t alpha = -1)
{
    if (MainRender != nullptr && sprite >= 0)
        MainRender->Sprite_Draw(scene, sprite, x, y, alpha);
}

int32_t Now()
{
    return GetFrameTime(false);
}

// The object under the mouse in the processor's current window.
TGUI_Object* HoveredObject()
{
    const TGUI_Processor* processor = GUI_Input.Processor;
    const TGUI_Window* window = processor != nullptr ? processor->ActiveWindow : nullptr;
    return window != nullptr ? window->GetObject(window->Hovered) : nullptr;
}

void HideList(TGUI_StringList& list)
{
    list.Clear();
    list.Y = -500;
    list.Visible = 0;
}

void ObjectDestroyed(TGUI_Object* object)
{
    DetachHintOwner(object);
}

} // namespace

void (*PlayCastleLostSound)() = PlayCastleLost;

void THint::Create(int32_t index)
{
    Reset();
    Index = index;
    if (Background < 0)
        Background = FramePicture("Black");
}

void THint::Attach(uint16_t closeConditions, uint16_t openConditions, TGUI_Object* owner, bool detach, int32_t parent)
{
    CloseConditions = closeConditions;
    OpenConditions = openConditions;
    Owner = owner;
    Detach = detach;
    Parent = parent;
}

void THint::ReleaseLines()
{
    for (size_t i = 0; i < ListsUsed; i++)
        HideList(*ListPool[i]);
    for (size_t i = 0; i < LabelsUsed; i++) {
        LabelPool[i]->SetText(u"");
        LabelPool[i]->Y = -500;
    }
    ListsUsed = 0;
    LabelsUsed = 0;
    Lines.clear();
}

void THint::Clear(uint8_t style, uint8_t placement)
{
    State = HintEmpty;
    Timer = 0;
    MouseX = -1;
    MouseY = -1;
    Style = style <= HintTextFrame ? style : static_cast<uint8_t>(HintNoFrame);
    Placement = placement;
    ReleaseLines();
}

void THint::NewLine()
{
    const THintLine* last = LastLine();
    if (last != nullptr && last->Icon == 0 && last->RightIcon == 0 && last->Label == nullptr && last->List == nullptr)
        return;
    Lines.emplace_back();
}

void THint::Touch()
{
    LastChange = Now();
    State = HintArmed;
}

void THint::SetLineValue(int32_t icon)
{
    if (Lines.empty())
        Lines.emplace_back();
    Lines.back().Icon = icon;
    Touch();
}

TGUI_StringList* THint::GetLineList()
{
    THintLine* line = LastLine();
    if (line == nullptr)
        return nullptr;
    if (line->List == nullptr) {
        if (ListsUsed == ListPool.size()) {
            auto list = std::make_unique<TGUI_StringList>(MainRender, 16);
            list->Width = 400;
            list->SetHeight(400);
            list->X = 0;
            list->MarginX = 6;
            list->MarginY = 6;
            list->Blending = 2;
            list->SetLineSpacing(-1, 1.0f);
            ListPool.push_back(std::move(list));
        }
        TGUI_StringList* list = ListPool[ListsUsed++].get();
        HideList(*list);
        list->Width = 400;
        line->List = list;
    }
    Touch();
    return line->List;
}

TGUI_Label* THint::GetLineLabel()
{
    THintLine* line = LastLine();
    if (line == nullptr)
        return nullptr;
    if (line->Label == nullptr) {
        if (LabelsUsed == LabelPool.size()) {
            auto label = std::make_unique<TGUI_Label>(MainRender);
            label->SetBlending(2);
            LabelPool.push_back(std::move(label));
        }
        TGUI_Label* label = LabelPool[LabelsUsed++].get();
        label->SetFont(FontSlots[26]);
        label->SetText(u"");
        label->Width = 400;
        label->Height = 200;
        label->X = 0;
        label->Y = -500;
        label->SetColor(HintTextColour);
        label->Align = 3;
        line->Label = label;
    }
    Touch();
    return line->Label;
}

void THint::AddText(const std::u16string& text, int32_t font)
{
    NewLine();
    if (TGUI_StringList* list = GetLineList())
        list->AddText(text, font, font, 1, HintTextColour, -1000);
    Layout();
}

int32_t THint::DividerSprite()
{
    if (Divider < 0)
        Divider = FramePicture("LittleFrame_line");
    return Divider;
}

void THint::Layout(int32_t width)
{
    if (Lines.empty()) {
        State = HintEmpty;
        return;
    }
    int32_t boxWidth = std::max(width, 0), boxHeight = 0;
    size_t characters = 0;
    for (THintLine& line : Lines) {
        int32_t lineWidth = (line.Icon != 0 && line.Stretch == 0 ? SpriteWidth(line.Icon) : 0) +
                            (line.RightIcon != 0 ? SpriteWidth(line.RightIcon) : 0);
        int32_t lineHeight = std::max(line.Icon != 0 ? SpriteHeight(line.Icon) : 0,
                                      line.RightIcon != 0 ? SpriteHeight(line.RightIcon) : 0);
        if (line.Label != nullptr) {
            lineWidth += line.Label->Width + 12;
            lineHeight = std::max(lineHeight, line.Label->Height);
            characters += line.Label->GetText().size();
        }
        if (line.List != nullptr) {
            const int32_t textWidth = line.List->GetTextWidth();
            line.List->Width = textWidth;
            lineWidth += textWidth;
            lineHeight = std::max(lineHeight, line.List->GetTextHeight() + 2 * line.List->MarginY);
            for (int32_t i = 0; i < line.List->Count && i < static_cast<int32_t>(line.List->Texts.size()); i++)
                characters += line.List->Texts[static_cast<size_t>(i)].size();
        }
        line.Height = lineHeight;
        boxWidth = std::max(boxWidth, lineWidth);
        boxHeight += lineHeight;
    }
    if (boxWidth == 0 || boxHeight == 0 || characters == 0) {
        State = HintEmpty;
        return;
    }
    Width = boxWidth;
    Height = std::max(boxHeight, 32);
    PrepareFrame(Width, Height);
}

void THint::PrepareFrame(int32_t width, int32_t height)
{
    if (Style == HintNoFrame)
        return;
    THintFrame& frame = Frames[Style];
    if (!frame.Made) {
        frame.Made = true;
        const bool text = Style == HintTextFrame;
        const std::string side = text ? "TextFrame_1-01little" : "LittleFrame_line";
        const std::string corner = text ? "TextFrameCorner_little" : "LittleFrame_corner";
        for (int32_t& s : frame.Sides)
            s = FramePicture(side);
        for (int32_t& c : frame.Corners)
            c = FramePicture(corner);
        // Sides and corners face outward: the pictures are drawn for the top
        // and the top-left corner.
        Turn(frame.Sides[1], false);
        Mirror(frame.Sides[2], false, true);
        Turn(frame.Sides[3], true);
        Mirror(frame.Corners[1], true, false);
        Mirror(frame.Corners[2], true, true);
        Mirror(frame.Corners[3], false, true);
        if (!text) {
            for (int32_t& a : frame.Arrows)
                a = FramePicture("HINT_Arrow");
            Mirror(frame.Arrows[1], false, true);
            Turn(frame.Arrows[2], true);
            Turn(frame.Arrows[3], false);
            for (int32_t& a : frame.DiagonalArrows)
                a = FramePicture("HINT_Arrow_Diagonal");
            Mirror(frame.DiagonalArrows[1], false, true);
            Mirror(frame.DiagonalArrows[2], true, false);
            Mirror(frame.DiagonalArrows[3], true, true);
        }
    }
    if (Style == HintTextFrame) {
        Resize(frame.Sides[0], width - 43, 32);
        Resize(frame.Sides[2], width - 43, 32);
        Resize(frame.Sides[1], 32, height - 22);
        Resize(frame.Sides[3], 32, height - 22);
    } else {
        Resize(frame.Sides[0], width - 30, 12);
        Resize(frame.Sides[2], width - 30, 12);
        Resize(frame.Sides[1], 12, height - 12);
        Resize(frame.Sides[3], 12, height - 12);
    }
    Resize(Background, width, height);
}

void THint::Pin()
{
    Layout();
    State = HintShown;
}

void THint::Close()
{
    State = HintArmed;
    if (Detach)
        Owner = nullptr;
    OpenConditions = 0;
}

void THint::Reset()
{
    const bool hadParent = Parent >= 0;
    CloseConditions = 0;
    OpenConditions = 0;
    Placement = 0;
    Style = 0;
    LastChange = 0;
    State = HintEmpty;
    Timer = 0;
    Owner = nullptr;
    Detach = false;
    Parent = -1;
    MouseX = -1;
    MouseY = -1;
    Delay = 0;
    Wait = 0;
    CloseTime = 0;
    Life = 3000;
    ReleaseLines();
    if (hadParent) {
        // Numbering starts again at 1 once the last notice in a stack is gone.
        bool other = false;
        for (size_t i = 1; i < HintList.size(); i++)
            other = other || HintList[i].Parent >= 0;
        if (!other)
            NoticeCount = 0;
    }
}

void THint::Free()
{
    Lines.clear();
    ListPool.clear();
    LabelPool.clear();
    ListsUsed = LabelsUsed = 0;
    for (THintFrame& frame : Frames) {
        for (int32_t& s : frame.Sides)
            FreeSprite(s);
        for (int32_t& c : frame.Corners)
            FreeSprite(c);
        for (int32_t& a : frame.Arrows)
            FreeSprite(a);
        for (int32_t& a : frame.DiagonalArrows)
            FreeSprite(a);
        frame.Made = false;
    }
    FreeSprite(Background);
    FreeSprite(Divider);
}

void THint::Update()
{
    if (CloseConditions == 0 || OpenConditions == 0 || State == HintEmpty)
        return;
    const int32_t now = Now();
    const bool hovered = Owner != nullptr && HoveredObject() == Owner;
    const bool moved = GUI_Input.VirtualX != MouseX || GUI_Input.VirtualY != MouseY;
    if (State == HintClosing) {
        if (now - Timer >= CloseTime) {
            State = HintArmed;
            if (Detach)
                Owner = nullptr;
            HintList[static_cast<size_t>(Index)].Reset();
            return;
        }
    } else if (State == HintShown || State == HintWaiting) {
        if (((OpenConditions & HintOpenRestingOnOwner) != 0 && moved) ||
            (hovered && (CloseConditions & HintCloseOverOwner) != 0) ||
            (!hovered && (CloseConditions & HintCloseAwayFromOwner) != 0) ||
            (State == HintShown && (CloseConditions & HintCloseAfterLife) != 0 && now - Timer > Life)) {
            State = HintClosing;
            Timer = now;
        }
    } else if (State == HintArmed) {
        if ((hovered && (((OpenConditions & HintOpenRestingOnOwner) != 0 && !moved) ||
                         (OpenConditions & HintOpenOverOwner) != 0)) ||
            (!hovered && (OpenConditions & HintOpenAwayFromOwner) != 0) ||
            ((OpenConditions & HintOpenAfterDelay) != 0 && now > LastChange + Delay)) {
            State = HintWaiting;
            Timer = now + Delay;
        }
    }
    if (State == HintWaiting && ((OpenConditions & HintOpenAtOnce) != 0 || now > Timer + Wait)) {
        State = HintShown;
        Timer = now;
    }
    if (State != HintClosing) {
        MouseX = GUI_Input.VirtualX;
        MouseY = GUI_Input.VirtualY;
    }
    if (State != HintShown)
        return;
    const TGUI_Processor* processor = GUI_Input.Processor;
    if (processor == nullptr || processor->ActiveWindow == nullptr)
        return;
    Draw(processor->ActiveWindow->DrawScene);
}

namespace {

int32_t Inside(int32_t value, int32_t size, int32_t limit)
{
    return std::max(0, std::min(value, limit - size));
}

} // namespace

void THint::Draw(int32_t scene)
{
    const int32_t spaceWidth = GUIVirtualSize.Width, spaceHeight = GUIVirtualSize.Height;
    int32_t x = 0, y = 0;
    if ((OpenConditions & HintOpenAfterDelay) != 0 && Owner != nullptr && Owner->X > 0 && Owner->Y > 0) {
        x = Owner->X;
        y = Owner->Y + Owner->Height;
        if (x + Width > spaceWidth)
            x -= Width;
        if (y + Height > spaceHeight)
            y = Owner->Y - Height - 20 - (Index - 1) * NoticeSpacing;
    } else {
        const int32_t cursor = GUI_Input.CursorSprite >= 0                       ? GUI_Input.CursorSprite
                               : CursorKind > 0 && CursorKind <= CursorKindCount ? CursorSprites[CursorKind]
                                                                                 : -1;
        const int32_t left = GUI_Input.VirtualX, top = GUI_Input.VirtualY;
        const int32_t right = left + SpriteWidth(cursor), bottom = top + SpriteHeight(cursor);
        x = right + Width > spaceWidth ? left - Width : right;
        y = bottom + Height > spaceHeight ? top - Height : bottom;
        if (Placement == 2 || Placement == 3)
            x = right - Width / 2;
    }
    X = x;
    Y = y;
    DrawFrame(scene, x, y);
    DrawLines(scene);
}

void THint::DrawFrame(int32_t scene, int32_t anchorX, int32_t anchorY)
{
    const int32_t spaceWidth = GUIVirtualSize.Width, spaceHeight = GUIVirtualSize.Height;
    const THintFrame& frame = Frames[Style];
    if (Style == HintTextFrame) {
        X = Inside(anchorX, Width, spaceWidth);
        Y = Inside(anchorY, Height, spaceHeight);
        const int32_t cornerWidth = SpriteWidth(frame.Corners[0]);
        const int32_t right = X + Width - cornerWidth + 10;
        Put(scene, Background, X, Y, 220);
        Put(scene, frame.Sides[0], X + 22, Y - 9);
        Put(scene, frame.Sides[3], X - 10, Y + 11);
        Put(scene, frame.Sides[1], right + cornerWidth - 32, Y + 11);
        Put(scene, frame.Sides[2], X + 22, Y + Height - 23);
        Put(scene, frame.Corners[0], X - 10, Y - 9);
        Put(scene, frame.Corners[1], right, Y - 9);
        Put(scene, frame.Corners[2], right, Y + Height - 23);
        Put(scene, frame.Corners[3], X - 10, Y + Height - 23);
        return;
    }
    if (Style != HintSmallFrame) {
        X = anchorX;
        Y = anchorY;
        return;
    }
    // The arrow of the placement: straight 2 up, 3 down, 5 and 10 left,
    // 8 right; diagonal 4 top left, 6 bottom left, 7 top right, 9 bottom right.
    int32_t arrow = -1, dx = 0, dy = 0;
    switch (Placement) {
    case 2:
        arrow = frame.Arrows[0];
        break;
    case 3:
        arrow = frame.Arrows[1];
        break;
    case 5:
    case 10:
        arrow = frame.Arrows[2];
        break;
    case 8:
        arrow = frame.Arrows[3];
        break;
    case 4:
        arrow = frame.DiagonalArrows[0];
        break;
    case 6:
        arrow = frame.DiagonalArrows[1];
        break;
    case 7:
        arrow = frame.DiagonalArrows[2];
        break;
    case 9:
        arrow = frame.DiagonalArrows[3];
        break;
    default:
        break;
    }
    const int32_t a = SpriteWidth(arrow), b = SpriteHeight(arrow);
    switch (Placement) {
    case 2:
        dx = 0, dy = b;
        break;
    case 3:
        dx = 0, dy = -b - Height;
        break;
    case 4:
        dx = a - 18, dy = b - 8;
        break;
    case 5:
    case 10:
        dx = a, dy = -Height / 2;
        break;
    case 6:
        dx = a - 18, dy = -b - 24;
        break;
    case 7:
        dx = 19 - a - Width, dy = b - 6;
        break;
    case 8:
        dx = -a - Width, dy = -Height / 2;
        break;
    case 9:
        dx = 19 - a - Width, dy = -b - 26;
        break;
    default:
        break;
    }
    X = Inside(anchorX + dx, Width, spaceWidth);
    Y = Inside(anchorY + dy, Height, spaceHeight);
    Put(scene, Background, X, Y, 220);
    Put(scene, frame.Sides[0], X + 15, Y - 9);
    Put(scene, frame.Sides[2], X + 15, Y + Height - 3);
    Put(scene, frame.Sides[3], X - 9, Y + 6);
    Put(scene, frame.Sides[1], X + Width - 3, Y + 6);
    const int32_t cw = SpriteWidth(frame.Corners[0]), ch = SpriteHeight(frame.Corners[0]);
    const int32_t cornerX[4] = {X - 9, X + Width + 9 - cw, X + Width + 9 - cw, X - 9};
    const int32_t cornerY[4] = {Y - 9, Y - 9, Y + Height + 9 - ch, Y + Height + 9 - ch};
    // The diagonal arrow takes the place of its corner.
    const int32_t replaced = Placement == 4 ? 0 : Placement == 6 ? 3 : Placement == 7 ? 1 : Placement == 9 ? 2 : -1;
    for (int32_t i = 0; i < 4; i++)
        if (i != replaced)
            Put(scene, frame.Corners[i], cornerX[i], cornerY[i]);
    switch (Placement) {
    case 2:
        Put(scene, arrow, X + Width / 2 - a / 2, Y - b);
        break;
    case 3:
        Put(scene, arrow, X + Width / 2 - a / 2, Y + Height);
        break;
    case 5:
    case 10:
        Put(scene, arrow, X - a, Y + Height / 2 - b / 2);
        break;
    case 8:
        Put(scene, arrow, X + Width, Y + Height / 2 - b / 2);
        break;
    case 4:
        Put(scene, arrow, X - 9, Y - 9);
        break;
    case 6:
        Put(scene, arrow, X - 9, Y + Height + 9 - b);
        break;
    case 7:
        Put(scene, arrow, X + Width + 9 - a, Y - 9);
        break;
    case 9:
        Put(scene, arrow, X + Width + 9 - a, Y + Height + 9 - b);
        break;
    default:
        break;
    }
}

void THint::DrawLines(int32_t scene)
{
    int32_t top = Y;
    for (THintLine& line : Lines) {
        line.Y = top;
        const int32_t h = line.Height;
        int32_t iconWidth = 0;
        if (line.Icon != 0) {
            if (line.Stretch != 0) {
                Resize(line.Icon, Width, SpriteHeight(line.Icon));
            } else {
                iconWidth = SpriteWidth(line.Icon);
            }
            Put(scene, line.Icon, X, top + (h - SpriteHeight(line.Icon)) / 2);
        }
        const int32_t rightWidth = line.RightIcon != 0 ? SpriteWidth(line.RightIcon) : 0;
        if (line.RightIcon != 0)
            Put(scene, line.RightIcon, X + Width - rightWidth, top + (h - SpriteHeight(line.RightIcon)) / 2);
        const int32_t labelWidth = line.Label != nullptr ? line.Label->Width + 12 : 0;
        if (line.List != nullptr) {
            TGUI_StringList& list = *line.List;
            list.X = X + iconWidth;
            list.Width = std::max(Width - iconWidth - labelWidth, 0);
            const int32_t listHeight = list.GetTextHeight() + 2 * list.MarginY;
            list.Y = top + (h - listHeight) / 2;
            list.Visible = 1;
            list.Draw(scene);
        }
        if (line.Label != nullptr) {
            TGUI_Label& label = *line.Label;
            label.Y = top + (h - label.Height) / 2;
            if (line.List == nullptr && line.RightIcon == 0) {
                label.Align = 2;
                label.X = X + Width / 2;
            } else if (line.RightIcon != 0) {
                label.Align = 3;
                label.X = X + Width - rightWidth;
            } else {
                label.X = label.Align == 3 ? X + Width : X + 6;
            }
            label.Draw(scene);
        }
        top += h;
    }
}

// ---------------------------------------------------------------------------
// The list

THint& MainHint()
{
    if (HintList.empty()) {
        HintList.emplace_back();
        HintList[0].Create(0);
    }
    return HintList[0];
}

void CreateHintList()
{
    for (int32_t i = static_cast<int32_t>(HintList.size()); i < HintListStartCount; i++) {
        HintList.emplace_back();
        HintList.back().Create(i);
    }
    GUI_OnObjectDestroyed = ObjectDestroyed;
}

void FreeHintList()
{
    for (THint& hint : HintList)
        hint.Free();
    HintList.clear();
    NoticeCount = 0;
    if (GUI_OnObjectDestroyed == ObjectDestroyed)
        GUI_OnObjectDestroyed = nullptr;
}

void DetachHintOwner(TGUI_Object* object)
{
    if (object == nullptr)
        return;
    for (THint& hint : HintList)
        if (hint.Owner == object) {
            hint.Owner = nullptr;
            // A tooltip of a gone control has nothing left to follow.
            if (hint.State != HintEmpty && (hint.OpenConditions & HintOpenAfterDelay) == 0)
                hint.State = HintArmed;
        }
}

void AddNotice(const std::u16string& text, TGUI_Object* anchor, uint8_t placement)
{
    const int32_t n = ++NoticeCount;
    while (static_cast<int32_t>(HintList.size()) <= n) {
        HintList.emplace_back();
        HintList.back().Create(static_cast<int32_t>(HintList.size()) - 1);
    }
    THint& hint = HintList[static_cast<size_t>(n)];
    hint.Attach(HintCloseAfterLife, HintOpenAfterDelay, anchor, true, n - 1);
    hint.Clear(HintSmallFrame, placement);
    hint.NewLine();
    if (TGUI_StringList* list = hint.GetLineList()) {
        list->AddText(text, HintFont, HintFont, 1, HintTextColour, -1000);
        list->Tag = n;
    }
    hint.Layout();
    hint.Delay = 0;
    hint.Life = NoticeLife;
    hint.Parent = n - 1;
    hint.Index = n;
}

void ShowBuildingNotice(const std::u16string& first, const std::u16string& second, int32_t outcome, TGUI_Object* anchor)
{
    if ((outcome != -1 && outcome != 0) || TextsIni == nullptr)
        return;
    TextsIni->SelectSection("Texts");
    std::u16string text = GetLocalizedText(*TextsIni, outcome == -1 ? "BuildingCaptured" : "BuildingDefended");
    text = ReplaceAll(text, u"%%", StripTextComment(first));
    text = ReplaceAll(text, u"##", StripTextComment(second));
    AddNotice(text, anchor, 0);
    if (outcome == -1 && PlayCastleLostSound != nullptr)
        PlayCastleLostSound();
}
