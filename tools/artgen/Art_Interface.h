// The interface set's pieces shared by its files: the look (dark parchment
// framed in bronze) and the symbols its icons are made of.
#pragma once

#include "tools/artgen/ArtCanvas.h"
#include "tools/artgen/ArtOutput.h"

#include <string>

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

// Saves a picture under the interface folder ("Interface\" + relative), as
// TGA or DDS by its name; DDS keeps the alpha unless told otherwise.
void Save(TArtOutput& out, const std::string& relative, const TArtCanvas& canvas, bool alpha = true);
// The same, and the picture goes on the contact sheet when one is made.
void SaveShown(TArtOutput& out, const std::string& relative, const TArtCanvas& canvas, bool alpha = true);
// An icon: the symbol centred on a transparent square.
TArtCanvas Icon(int size, const TArtShape& unit, TArtColour colour, float degrees = 0);
// A symbol drawn small in one corner of an icon (a badge).
void Badge(TArtCanvas& c, const TArtShape& unit, TArtColour colour, float cx, float cy, float half);
// A round button face with a symbol: resting, lit under the mouse, or held down.
TArtCanvas RoundButton(int size, const TArtShape& unit, TArtColour colour, TLook look);

} // namespace InterfaceLook

// The symbols the icons are made of, each in its box -1 .. 1 (y down).
namespace ArtSymbols {
TArtShape SwordShape();
TArtShape BowShape();
TArtShape ShieldShape();
TArtShape HeartShape();
TArtShape PlusShape(float arm, float thickness);
TArtShape StarShape(float outer, float inner, int points);
TArtShape DropShape();
TArtShape BoltShape();
TArtShape HorseshoeShape();
TArtShape ArrowUpShape();
TArtShape ArrowDownShape();
TArtShape PersonShape();
TArtShape CoinShape(float cx, float cy, float r);
TArtShape QuestionShape();
TArtShape SkullShape();
TArtShape PadlockShape();
TArtShape HourglassShape();
TArtShape FlagShape();
TArtShape CheckShape();
TArtShape CrossShape();
TArtShape GobletShape();
TArtShape ScrollShape();
TArtShape ArrowRightShape();
// Weapons and signs of the item and skill icons.
TArtShape SpearShape(float headLength);
TArtShape AxeShape();
TArtShape MaceShape();
TArtShape CrossbowShape();
TArtShape FlameShape();
} // namespace ArtSymbols

// The contact sheet: the pictures saved with SaveShown, each scaled into a
// tile with its file name under it, written as one PNG.
void ArtSheetEnable();
void ArtSheetAdd(const std::string& name, const TArtCanvas& canvas);
void ArtSheetWrite(const std::string& path);

// The screens' pictures: hint frames, bars, buttons, pop-ups, the building
// pictures; the item, bonus, spell and coat icons; the portraits.
void GenerateScreenArt(TArtOutput& out);
void GenerateIconArt(TArtOutput& out);
void GeneratePortraitArt(TArtOutput& out);
// The portrait of that file name (without extension) of the sample set.
TArtCanvas NamedPortrait(const std::string& file);
// The scenario and hero selections' pictures and the coats of arms past the
// first eight.
void GenerateSelectionArt(TArtOutput& out);
// The save/load window's, the map menu's and the assault dialog's pictures.
void GenerateSaveLoadMenusArt(TArtOutput& out);

// The options window's panel, tabs, buttons, check boxes and bars; the
// tutorials' frame, buttons, marker and pictures; the credits' candle.
void GenerateOptionsArt(TArtOutput& out);
// The building window's frame and plates.
void GenerateBuildingArt(TArtOutput& out);

// The fourteen moody landscapes the menu and the loading window choose from.
void GenerateInterfaceBackgrounds(TArtOutput& out);
