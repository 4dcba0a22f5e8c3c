// The toolkit's text box: a fixed number of rendered lines inside a
// rectangle, with word wrap, line breaks written into the text, scrolling by
// wheel and keys, and an optional highlighted item that follows the mouse and
// the arrow keys. One call that adds text makes one item (an id), whose text
// may wrap onto several lines; highlighting works on items.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/QX9_GUI.h"

struct TGUI_ListLine {
    int32_t X = 0;      // offset inside the text area (from the alignment)
    int32_t Height = 0; // of the rendered line
    float Y = 0;        // where the text is drawn: centred in its slot
    uint32_t Colour = 0;
    int32_t Interval = -1000;
    float Top = 0; // of the line's slot, from the top of the text
    uint8_t Align = 2;
    int32_t Font = -1;
    int32_t HighlightFont = -1;
    int32_t Sprite = -1;
    int32_t ItemId = 0;
    float Spacing = 1.0f; // the slot is Height x Spacing
};

inline constexpr int32_t GUI_LIST_NO_ITEM = 0x10000;

class TGUI_StringList : public TGUI_Object {
public:
    TGUI_StringList(T3D_Render* render, int32_t capacity);

    void Clear();
    int32_t Add_Item(const std::u16string& text, int32_t font, int32_t highlightFont, uint8_t align, bool newItem,
                     uint32_t colour, int32_t interval);
    void AddText(const std::u16string& text, int32_t font, int32_t highlightFont, uint8_t align, uint32_t colour,
                 int32_t interval);
    int32_t AddClippedItem(const std::u16string& text, int32_t font, int32_t highlightFont, uint8_t align, bool newItem,
                           uint32_t colour, int32_t interval);
    void SetHeight(int32_t height);
    void SetScroll(int32_t offset);
    void SetHighlightedItem(int32_t id);
    void SetLineSpacing(int32_t font, float spacing);
    int32_t GetTextHeight() const;
    int32_t GetTextWidth() const { return WidestLine + 2 * MarginX; }
    void MouseOver() override;
    void Draw(int32_t scene) override;

    std::vector<TGUI_ListLine> Lines; // capacity + 1: the one after the last line holds the next top
    int32_t LastIndex = -1;
    int32_t WidestLine = 0;
    int32_t ScrollY = 0;
    int32_t LastItemId = 0;
    int32_t Count = 0;
    int32_t HighlightedItem = GUI_LIST_NO_ITEM;
    int32_t ScrollTarget = 0;
    int32_t MaxScroll = 0;
    std::vector<std::u16string> Texts;
    int32_t KeyRepeat = 50;
    uint8_t HighlightOn = 0;
    int32_t HighlightSprite = -1;
    uint8_t StretchHighlight = 1;
    int32_t MarginX = 0;
    int32_t MarginY = 0;
    uint8_t Blending = 1;
    TGUI_Handler OnHighlight = GUI_EmptyHandler;
    TGUI_Handler OnScroll = GUI_EmptyHandler;

private:
    int32_t Capacity() const { return LastIndex + 1; }
    [[noreturn]] void Overflow(const std::u16string& text) const;
    // Prints line i with the font its highlight state asks for.
    void RenderLine(int32_t i);
    void PrintLine(int32_t i, int32_t font, uint32_t colour, int32_t interval);
    // Fills the record of the next line; its text is already in Texts.
    void PlaceLine(int32_t i, int32_t height, int32_t width, int32_t available);
    void UpdateMaxScroll();
    int32_t FirstVisibleLine() const;
    // The rounded top of line i's slot.
    int32_t RoundedTop(int32_t i) const;

    friend void GUI_ListKeys();
};

// The focus hooks of the focused list.
void GUI_ListKeys();
void GUI_ListFocusLost();
