// QX9_GUI: the string list.
#include "render/QX9_GUI_StringList.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "engine/QX9_Math.h"
#include "engine/QX9_System.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_StateKey.h"

namespace {

// The source-blend setting of each list blending.
int32_t SourceBlend(uint8_t blending)
{
    return blending == 2 ? 2 : blending == 3 ? 1 : 0;
}

} // namespace

TGUI_StringList::TGUI_StringList(T3D_Render* render, int32_t capacity) : TGUI_Object(render)
{
    capacity = std::max(capacity, 0);
    LastIndex = capacity - 1;
    Lines.resize(static_cast<size_t>(capacity) + 1);
    Texts.resize(static_cast<size_t>(capacity));
    // Every slot owns its sprite for the list's whole life.
    for (int32_t i = 0; i < capacity; i++)
        Lines[static_cast<size_t>(i)].Sprite = GUI_CreateTextSprite(render, -1);
    Clear();
    Blending = 1;
}

void TGUI_StringList::Clear()
{
    for (size_t i = 0; i < Lines.size(); i++) {
        TGUI_ListLine& line = Lines[i];
        line.Top = 0;
        line.X = 0;
        line.Y = 0;
        line.Height = 0;
        line.ItemId = 0;
        line.Align = 2;
        line.Font = -1;
        line.HighlightFont = -1;
        if (i < Texts.size()) {
            Texts[i].clear();
            if (T3D_Sprite* sprite = Render != nullptr ? Render->Sprite_Get(line.Sprite) : nullptr)
                sprite->Clear();
        }
    }
    Count = 0;
    LastItemId = 0;
    ScrollY = 0;
    ScrollTarget = 0;
    MaxScroll = 0;
    WidestLine = 0;
    HighlightedItem = GUI_LIST_NO_ITEM;
}

void TGUI_StringList::Overflow(const std::u16string& text) const
{
    AppendEngineError("TGUI_StringList.Add_Item(" + OS_WideToMultiByte(FontAnsiCodePage, text) +
                      ") -> STRINGLIST OVERFLOW!");
    AppendEngineError("\tTGUI_StringList.CurrentListSize=" + std::to_string(Capacity()));
    FatalStop();
}

void TGUI_StringList::PrintLine(int32_t i, int32_t font, uint32_t colour, int32_t interval)
{
    TGUI_ListLine& line = Lines[static_cast<size_t>(i)];
    if (T3D_Font* printer = Render->Font_Get(font))
        printer->PrintTextWide(Texts[static_cast<size_t>(i)], line.Sprite, interval, colour);
    if (T3D_Sprite* sprite = Render->Sprite_Get(line.Sprite))
        sprite->SetRenderState(RSK_SRCBLEND, SourceBlend(Blending));
}

void TGUI_StringList::RenderLine(int32_t i)
{
    const TGUI_ListLine& line = Lines[static_cast<size_t>(i)];
    if (Texts[static_cast<size_t>(i)].empty()) {
        if (T3D_Sprite* sprite = Render->Sprite_Get(line.Sprite))
            sprite->Clear();
        return;
    }
    int32_t font = line.Font;
    if (HighlightOn != 0 && line.ItemId == HighlightedItem && line.HighlightFont != -1)
        font = line.HighlightFont;
    PrintLine(i, font, line.Colour, line.Interval);
}

int32_t TGUI_StringList::RoundedTop(int32_t i) const
{
    return Rounded(Lines[static_cast<size_t>(i)].Top);
}

void TGUI_StringList::PlaceLine(int32_t i, int32_t height, int32_t width, int32_t available)
{
    TGUI_ListLine& line = Lines[static_cast<size_t>(i)];
    TGUI_ListLine& next = Lines[static_cast<size_t>(i) + 1];
    line.Height = height;
    next.Top = line.Top + static_cast<float>(height) * line.Spacing;
    line.Y = line.Top + (next.Top - line.Top - static_cast<float>(height)) / 2;
    line.X = line.Align == 2 ? (available - width) / 2 : line.Align == 3 ? available - width : 0;
    WidestLine = std::max(WidestLine, width);
}

void TGUI_StringList::UpdateMaxScroll()
{
    MaxScroll = Count == 0 ? 0 : std::max(RoundedTop(Count) - (Height - 2 * MarginY), 0);
}

int32_t TGUI_StringList::Add_Item(const std::u16string& text, int32_t font, int32_t highlightFont, uint8_t align,
                                  bool newItem, uint32_t colour, int32_t interval)
{
    if (Count > LastIndex)
        Overflow(text);
    const T3D_Font* printer = Render != nullptr ? Render->Font_Get(font) : nullptr;
    if (interval == -1000 && printer != nullptr)
        interval = printer->Spacing;
    const int32_t id = Count == 0 ? 0 : Lines[static_cast<size_t>(Count) - 1].ItemId + (newItem ? 1 : 0);
    LastItemId = id;
    const int32_t available = Width - 2 * MarginX;

    auto start = [&](int32_t i) -> TGUI_ListLine& {
        TGUI_ListLine& line = Lines[static_cast<size_t>(i)];
        line.Colour = colour;
        line.Interval = interval;
        line.Align = align;
        line.Font = font;
        line.HighlightFont = highlightFont;
        line.ItemId = id;
        return line;
    };

    if (text.empty()) {
        start(Count).Align = align;
        Texts[static_cast<size_t>(Count)].clear();
        if (T3D_Sprite* sprite = Render->Sprite_Get(Lines[static_cast<size_t>(Count)].Sprite))
            sprite->Clear();
        PlaceLine(Count, printer != nullptr ? printer->LineHeight : 0, 0, available);
        Lines[static_cast<size_t>(Count)].X = 0;
        Count++;
        UpdateMaxScroll();
        return id;
    }

    static const TIntArray NoAdvances;
    const TIntArray& advances = printer != nullptr ? *printer->Advances : NoAdvances;
    const size_t n = text.size();
    size_t pos = 0;
    while (pos < n) {
        if (Count > LastIndex)
            Overflow(text);
        // Walk until the width is exceeded, remembering the last space.
        int64_t sum = 0;
        size_t lastSpace = std::string::npos;
        size_t i = pos;
        bool exceeded = false;
        for (; i < n; i++) {
            const char16_t c = text[i];
            if (c > 0 && c < advances.size() && advances[c] != 0) {
                sum += advances[c];
                if (c != u' ')
                    sum += interval;
            }
            if (c == u' ')
                lastSpace = i;
            if (sum > available) {
                exceeded = true;
                break;
            }
        }
        size_t end = n; // one past the line's last character
        if (exceeded && i != n - 1) {
            if (lastSpace != std::string::npos)
                end = lastSpace + 1;
            else // a word wider than the list: after what fits, one character at least
                end = std::max(i, pos + 1);
        }
        std::u16string piece = text.substr(pos, end - pos);
        size_t next = end;
        if (!piece.empty() && piece.back() == u' ') {
            const size_t kept = piece.find_last_not_of(u' ');
            piece.resize(kept == std::u16string::npos ? 0 : kept + 1);
            // One character after the last kept one: the rest of a run of
            // spaces leads the next line.
            next = pos + piece.size() + 1;
        }
        const int32_t line = Count;
        start(line);
        Texts[static_cast<size_t>(line)] = piece;
        RenderLine(line);
        const T3D_Sprite* sprite = Render->Sprite_Get(Lines[static_cast<size_t>(line)].Sprite);
        const int32_t height = sprite != nullptr ? Rounded(sprite->Height) : 0;
        const int32_t width = sprite != nullptr && !piece.empty() ? Rounded(sprite->Width) : 0;
        PlaceLine(line, height, width, available);
        Count++;
        pos = next;
    }
    UpdateMaxScroll();
    return id;
}

void TGUI_StringList::AddText(const std::u16string& text, int32_t font, int32_t highlightFont, uint8_t align,
                              uint32_t colour, int32_t interval)
{
    auto isBreak = [&](size_t i) -> size_t {
        if (i + 1 < text.size() && text[i] == u'\r' && text[i + 1] == u'\n')
            return 2;
        if (i + 1 < text.size() && text[i] == u'#' && text[i + 1] == u'\\')
            return 2;
        if (i + 3 < text.size() && text[i] == u'<' && (text[i + 1] == u'b' || text[i + 1] == u'B') &&
            (text[i + 2] == u'r' || text[i + 2] == u'R') && text[i + 3] == u'>')
            return 4;
        return 0;
    };
    size_t pieceStart = 0;
    for (size_t i = 0; i < text.size();) {
        if (const size_t length = isBreak(i)) {
            Add_Item(TrimWide(text.substr(pieceStart, i - pieceStart)), font, highlightFont, align, true, colour,
                     interval);
            i += length;
            pieceStart = i;
        } else {
            i++;
        }
    }
    Add_Item(TrimWide(text.substr(pieceStart)), font, highlightFont, align, true, colour, interval);
}

int32_t TGUI_StringList::AddClippedItem(const std::u16string& text, int32_t font, int32_t highlightFont, uint8_t align,
                                        bool newItem, uint32_t colour, int32_t interval)
{
    std::u16string clipped = text;
    const T3D_Font* printer = Render != nullptr ? Render->Font_Get(font) : nullptr;
    if (printer != nullptr) {
        char16_t removed = 0;
        bool anyRemoved = false;
        int32_t width = 0, height = 0;
        while (!clipped.empty()) {
            printer->MeasureText(clipped, width, height, interval, true);
            if (Width - 2 * MarginX >= width)
                break;
            removed = clipped.back();
            anyRemoved = true;
            clipped.pop_back();
        }
        // The last character reaches past the margin and is cut by the clip.
        if (anyRemoved && removed != u' ')
            clipped.push_back(removed);
    }
    return Add_Item(clipped, font, highlightFont, align, newItem, colour, interval);
}

void TGUI_StringList::SetHeight(int32_t height)
{
    Height = height;
    UpdateMaxScroll();
}

void TGUI_StringList::SetScroll(int32_t offset)
{
    offset = std::clamp(offset, 0, std::max(MaxScroll, 0));
    if (offset != ScrollY) {
        ScrollY = offset;
        ScrollTarget = offset;
    }
}

void TGUI_StringList::SetHighlightedItem(int32_t id)
{
    if (id == HighlightedItem)
        return;
    const int32_t old = HighlightedItem;
    HighlightedItem = id;
    for (int32_t i = 0; i < Count; i++) {
        const TGUI_ListLine& line = Lines[static_cast<size_t>(i)];
        if (line.HighlightFont == -1 || line.HighlightFont == line.Font || Texts[static_cast<size_t>(i)].empty())
            continue;
        if (line.ItemId == id)
            PrintLine(i, line.HighlightFont, 0, -1000);
        else if (line.ItemId == old)
            PrintLine(i, line.Font, 0, -1000);
    }
    OnHighlight(this);
}

void TGUI_StringList::SetLineSpacing(int32_t font, float spacing)
{
    for (TGUI_ListLine& line : Lines)
        if (font == -1 || line.Font == font)
            line.Spacing = spacing;
    Lines[0].Top = 0;
    for (int32_t i = 0; i < Count; i++) {
        TGUI_ListLine& line = Lines[static_cast<size_t>(i)];
        TGUI_ListLine& next = Lines[static_cast<size_t>(i) + 1];
        next.Top = line.Top + std::min(static_cast<float>(line.Height) * line.Spacing, 128.0f);
        line.Y = line.Top + (next.Top - line.Top - static_cast<float>(line.Height)) / 2;
    }
    UpdateMaxScroll();
}

int32_t TGUI_StringList::GetTextHeight() const
{
    return RoundedTop(Count);
}

int32_t TGUI_StringList::FirstVisibleLine() const
{
    for (int32_t i = 0; i < Count; i++)
        if (RoundedTop(i + 1) > ScrollY)
            return i;
    return 0;
}

void TGUI_StringList::Draw(int32_t scene)
{
    if (Visible == 0 || scene == -1 || Render == nullptr)
        return;
    if (Sprite != -1)
        Render->Sprite_Draw(scene, Sprite, X, Y, -1);
    const int32_t first = FirstVisibleLine();
    Render->ClipRect_Push(scene, X + MarginX, Y + MarginY, X + Width - MarginX, Y + Height - MarginY, true);
    if (HighlightOn != 0 && HighlightSprite != -1) {
        int32_t top = INT_MAX, bottom = INT_MIN;
        for (int32_t i = first; i < Count; i++)
            if (Lines[static_cast<size_t>(i)].ItemId == HighlightedItem) {
                top = std::min(top, RoundedTop(i) - ScrollY);
                bottom = std::max(bottom, RoundedTop(i + 1) - ScrollY);
            }
        if (bottom > top) {
            T3D_Sprite* sprite = Render->Sprite_Get(HighlightSprite);
            if (sprite != nullptr && StretchHighlight != 0)
                sprite->SetSize(-1, static_cast<float>(Width), static_cast<float>(bottom - top));
            Render->Sprite_Draw(scene, HighlightSprite, X, Y + MarginY + top, -1);
        }
    }
    for (int32_t i = first; i < Count; i++) {
        const TGUI_ListLine& line = Lines[static_cast<size_t>(i)];
        const int32_t ly = Rounded(line.Y) - ScrollY + MarginY;
        if (ly >= Height - MarginY)
            break;
        if (!Texts[static_cast<size_t>(i)].empty())
            Render->Sprite_Draw(scene, line.Sprite, X + MarginX + line.X, Y + ly, -1);
    }
    Render->ClipRect_Pop(scene);
}

void TGUI_StringList::MouseOver()
{
    // Four pixels per frame step, whatever the wheel turned.
    if (GUI_Input.Wheel != 0) {
        SetScroll(GUI_Input.Wheel > 0 ? ScrollTarget - 4 : ScrollTarget + 4);
        OnScroll(this);
    }
    if (GUI_Keys[GUI_KEY_LBUTTON].Down == 0 && GUI_Keys[GUI_KEY_RBUTTON].Down == 0) {
        OnOver(this);
        return;
    }
    if (GUI_Input.FocusedList != this) {
        GUI_OnFocusLost();
        GUI_Input.FocusedList = this;
        GUI_OnTypedText = GUI_ListKeys;
        GUI_OnKeys = GUI_ListKeys;
        GUI_OnFocusLost = GUI_ListFocusLost;
    }
    for (int32_t i = FirstVisibleLine(); i < Count; i++) {
        const int32_t slotTop = RoundedTop(i) - ScrollY + MarginY;
        if (slotTop >= Height - MarginY)
            break;
        const int32_t screenTop = Y + slotTop;
        const int32_t screenBottom = Y + RoundedTop(i + 1) - ScrollY + MarginY;
        if (HighlightOn != 0 && GUI_Input.VirtualY > screenTop && GUI_Input.VirtualY <= screenBottom)
            SetHighlightedItem(Lines[static_cast<size_t>(i)].ItemId);
    }
    OnOverPressed(this);
}

void GUI_ListKeys()
{
    TGUI_StringList* list = GUI_Input.FocusedList;
    if (list == nullptr)
        return;
    const int32_t now = GUI_Now();
    if (now - GUI_Input.ListKeyTime <= list->KeyRepeat)
        return;
    GUI_Input.ListKeyTime = now;
    const bool up = GUI_Keys[VK_UP].Down != 0, down = GUI_Keys[VK_DOWN].Down != 0;
    if (list->HighlightOn != 0) {
        int32_t d = list->HighlightedItem;
        if (up && d > 0)
            d--;
        if (down && d < list->LastItemId)
            d++;
        int32_t top = INT_MAX, bottom = INT_MIN;
        for (int32_t i = 0; i < list->Count; i++)
            if (list->Lines[static_cast<size_t>(i)].ItemId == d) {
                top = std::min(top, list->RoundedTop(i) - list->ScrollTarget);
                bottom = std::max(bottom, list->RoundedTop(i + 1) - list->ScrollTarget);
            }
        bool scroll = false;
        int32_t target = 0;
        if (top != INT_MAX) {
            if (bottom > list->Height) {
                scroll = true;
                target = bottom - list->Height + list->ScrollTarget;
            }
            if (top < 0) {
                scroll = true;
                target = top + list->ScrollTarget;
            }
        }
        list->SetHighlightedItem(d);
        if (scroll)
            list->SetScroll(target);
    } else {
        if (up)
            list->SetScroll(list->ScrollTarget - 1);
        if (down)
            list->SetScroll(list->ScrollTarget + 1);
    }
    if (up || down)
        list->OnScroll(list);
}

void GUI_ListFocusLost()
{
    GUI_ResetFocusHooks();
    GUI_Input.FocusedList = nullptr;
}
