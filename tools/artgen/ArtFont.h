// A small block font of the art generator: capitals, digits and a few
// signs on a 5 x 7 grid, drawn with square dots of any size. Captions on
// the pictures (building names, portrait initials, the contact sheet) use it;
// small letters are drawn as capitals, unknown signs as a blank.
#pragma once

#include <string>

#include "tools/artgen/ArtCanvas.h"

namespace ArtFont {

// The width in pixels of a text drawn with dots of the given size (one dot
// of space between letters).
float TextWidth(const std::string& text, float dot);
// Draws the text with its top-left at (x, y): an outline of the given width
// in the outline colour (alpha 0: none), then the letters.
void DrawText(TArtCanvas& canvas, const std::string& text, float x, float y, float dot, TArtColour colour,
              TArtColour outline = {0, 0, 0, 0}, float outlineWidth = 0);
// The same, centred on (cx, cy).
void DrawTextCentred(TArtCanvas& canvas, const std::string& text, float cx, float cy, float dot, TArtColour colour,
                     TArtColour outline = {0, 0, 0, 0}, float outlineWidth = 0);

} // namespace ArtFont
