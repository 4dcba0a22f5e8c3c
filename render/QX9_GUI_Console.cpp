// QX9_GUI: the console text helper.
#include "render/QX9_GUI_Console.h"

#include <algorithm>
#include <cmath>

#include "render/QX9_GUI_Controls.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Sprites.h"

TGUI_ConsoleHelper::TGUI_ConsoleHelper(T3D_Render* render, int32_t regularFont, int32_t emphasisFont)
    : Render(render), RegularFont(regularFont), EmphasisFont(emphasisFont)
{
    // Without a regular font the lines are only the gap between them.
    const T3D_Font* font = render != nullptr ? render->Font_Get(regularFont) : nullptr;
    LineHeight = (font != nullptr ? font->LineHeight : 0) + 2;
    NewLine();
}

TGUI_ConsoleHelper::~TGUI_ConsoleHelper()
{
    for (TGUI_ConsoleLine& line : Lines)
        for (TGUI_ConsoleSegment& segment : line.Segments)
            FreeSegment(segment);
}

void TGUI_ConsoleHelper::FreeSegment(TGUI_ConsoleSegment& segment)
{
    segment.Text.clear();
    if (segment.Sprite != -1 && Render != nullptr)
        Render->Sprite_Free(segment.Sprite);
    segment.Sprite = -1;
}

void TGUI_ConsoleHelper::Write(const std::string& text, uint8_t emphasis, uint32_t colour)
{
    if (CurrentLine < 0 || static_cast<size_t>(CurrentLine) >= Lines.size())
        return;
    std::vector<TGUI_ConsoleSegment>& segments = Lines[static_cast<size_t>(CurrentLine)].Segments;
    if (CurrentSegment + 1 < static_cast<int32_t>(segments.size()) && CurrentSegment >= -1) {
        CurrentSegment++;
    } else {
        segments.emplace_back();
        CurrentSegment = static_cast<int32_t>(segments.size()) - 1;
    }
    TGUI_ConsoleSegment& segment = segments[static_cast<size_t>(CurrentSegment)];
    const int32_t font = emphasis == 1 ? EmphasisFont : RegularFont;
    // The same words in the same font: nothing changes, not even the colour.
    if (segment.Text == text && segment.Font == font)
        return;
    segment.Text = text;
    segment.Colour = colour;
    segment.Font = font;
    segment.Placeholder = 0;
}

void TGUI_ConsoleHelper::WriteText(const std::string& text, uint32_t colour)
{
    Write(text, 0, colour);
}

void TGUI_ConsoleHelper::NewLine()
{
    if (CurrentLine >= 0 && static_cast<size_t>(CurrentLine) < Lines.size()) {
        std::vector<TGUI_ConsoleSegment>& segments = Lines[static_cast<size_t>(CurrentLine)].Segments;
        if (CurrentSegment >= 0 && CurrentSegment + 1 < static_cast<int32_t>(segments.size())) {
            for (size_t i = static_cast<size_t>(CurrentSegment) + 1; i < segments.size(); i++)
                FreeSegment(segments[i]);
            segments.resize(static_cast<size_t>(CurrentSegment) + 1);
        }
    }
    if (CurrentLine + 1 < static_cast<int32_t>(Lines.size())) {
        CurrentLine++;
    } else {
        Lines.emplace_back();
        CurrentLine = static_cast<int32_t>(Lines.size()) - 1;
    }
    CurrentSegment = -1;
}

void TGUI_ConsoleHelper::SetCursor(int32_t line, int32_t segment)
{
    if (line < 0) {
        line = 0;
    } else {
        line = std::min(line, static_cast<int32_t>(Lines.size()) - 1);
        if (segment >= 0 && line >= 0)
            segment = std::min(segment, static_cast<int32_t>(Lines[static_cast<size_t>(line)].Segments.size()) - 1);
    }
    CurrentLine = line;
    CurrentSegment = segment;
}

void TGUI_ConsoleHelper::Clear()
{
    for (TGUI_ConsoleLine& line : Lines)
        for (TGUI_ConsoleSegment& segment : line.Segments)
            FreeSegment(segment);
    Lines.clear();
    CurrentLine = -1;
    CurrentSegment = -1;
    NewLine();
}

void TGUI_ConsoleHelper::Draw(int32_t scene)
{
    if (Render == nullptr)
        return;
    Render->ClipRect_Push(scene, X, Y, X + Width, Y + Height, true);
    const int32_t n = static_cast<int32_t>(Lines.size());
    const int32_t h = LineHeight > 0 ? Height / LineHeight : 0;
    const int32_t first = std::max(n - h - 1, 0);
    int32_t y = Y + Height - (n - first) * LineHeight;
    for (int32_t i = first; i < n; i++, y += LineHeight) {
        int32_t pen = X;
        for (TGUI_ConsoleSegment& segment : Lines[static_cast<size_t>(i)].Segments) {
            T3D_Font* font = Render->Font_Get(segment.Font);
            if (segment.Placeholder != 0 || font == nullptr)
                continue;
            if (segment.Sprite == -1)
                segment.Sprite = GUI_CreateTextSprite(Render, 2);
            font->PrintText(segment.Text, segment.Sprite, -1000, 0);
            T3D_Sprite* sprite = Render->Sprite_Get(segment.Sprite);
            sprite->SetColor(segment.Colour & 0xFFFFFF, -1);
            Render->Sprite_Draw(scene, segment.Sprite, pen, y, -1);
            pen += static_cast<int32_t>(std::nearbyint(sprite->Width));
        }
    }
    Render->ClipRect_Pop(scene);
}
