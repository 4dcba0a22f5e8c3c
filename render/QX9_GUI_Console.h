// The console text helper: a scrolling block of lines made of coloured text
// segments, newest line at the bottom, drawn inside a rectangle under a clip.
// Text is written through a cursor (a line and a segment in it), so a caller
// can rewrite a line from any segment on; a segment whose text and font did
// not change keeps everything it had. Not a control: its owner sets the
// rectangle and calls Draw every frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/QX9_Render.h"

struct TGUI_ConsoleSegment {
    std::string Text;
    int32_t Sprite = -1; // its own sprite, made at the first draw
    int32_t Font = -1;
    uint32_t Colour = 0;     // 0xRRGGBB
    uint8_t Placeholder = 1; // created but never written
};

struct TGUI_ConsoleLine {
    std::vector<TGUI_ConsoleSegment> Segments;
};

class TGUI_ConsoleHelper {
public:
    TGUI_ConsoleHelper(T3D_Render* render, int32_t regularFont, int32_t emphasisFont);
    ~TGUI_ConsoleHelper();
    TGUI_ConsoleHelper(const TGUI_ConsoleHelper&) = delete;
    TGUI_ConsoleHelper& operator=(const TGUI_ConsoleHelper&) = delete;

    // emphasis 1: the emphasis font, 0: the regular one.
    void Write(const std::string& text, uint8_t emphasis, uint32_t colour);
    void WriteText(const std::string& text, uint32_t colour);
    void NewLine();
    void SetCursor(int32_t line, int32_t segment);
    void Clear();
    void Draw(int32_t scene);

    T3D_Render* Render = nullptr;
    int32_t CurrentLine = -1;
    int32_t CurrentSegment = -1;
    std::vector<TGUI_ConsoleLine> Lines;
    int32_t RegularFont = -1;
    int32_t EmphasisFont = -1;
    int32_t LineHeight = 2;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t X = 0;
    int32_t Y = 0;

private:
    void FreeSegment(TGUI_ConsoleSegment& segment);
};
