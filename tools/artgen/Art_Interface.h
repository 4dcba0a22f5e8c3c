// The interface set's pieces shared by its files: the look (dark parchment
// framed in bronze) and the symbols its icons are made of.
#pragma once

#include "tools/artgen/ArtCanvas.h"
#include "tools/artgen/ArtOutput.h"

namespace InterfaceLook {

constexpr TArtColour ParchmentDeep = ArtRGB(0xFF1F1711);
constexpr TArtColour ParchmentDark = ArtRGB(0xFF2E2318);
constexpr TArtColour ParchmentMid = ArtRGB(0xFF4A3A27);
constexpr TArtColour BronzeDark = ArtRGB(0xFF5A3B1A);
constexpr TArtColour Bronze = ArtRGB(0xFFA8773A);
constexpr TArtColour BronzeLight = ArtRGB(0xFFE2B46A);
constexpr TArtColour BronzeGlow = ArtRGB(0xFFFFDC8C);
constexpr TArtColour Ink = ArtRGB(0xFF120C08);
constexpr TArtColour Cream = ArtRGB(0xFFF0E0B8);

// The looks of a control: its resting face, under the mouse, held down, and
// not usable.
enum TLook { LookNormal, LookHover, LookPressed, LookDisabled };

// A rounded parchment plate with a bevelled bronze rim, filling the canvas.
TArtCanvas Plate(int width, int height, float radius, TLook look, float opacity = 1);
// A recessed square slot in a bronze frame; tint colours its floor (alpha 0:
// none), active makes the rim glow.
TArtCanvas Slot(int width, int height, TArtColour tint, bool active);

// A symbol shape in its own box (-1 .. 1 each way, y down) placed with its
// centre at (cx, cy) and its half size scale.
TArtShape Place(const TArtShape& unit, float cx, float cy, float scale, float degrees = 0);
// A symbol drawn as an emblem: a dark outline, then the colour lit from above.
void Emblem(TArtCanvas& canvas, const TArtShape& shape, TArtColour colour, float outline = 1.5f);

} // namespace InterfaceLook

// The fourteen moody landscapes the menu and the loading window choose from.
void GenerateInterfaceBackgrounds(TArtOutput& out);
