// The building window's own pieces: the frame around the picture, the
// parchment plates under the description and the action rows, and the
// dark wells under the trade grids.
#include "tools/artgen/ArtCanvas.h"
#include "tools/artgen/Art_Interface.h"

using namespace InterfaceLook;
using namespace ArtShapes;

namespace {

// A bronze frame of the given size whose inside (inset by `border`) stays
// transparent, so the building's picture shows through.
TArtCanvas Frame(int width, int height, float border)
{
    TArtCanvas c(width, height);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    c.PaintShape(
        Subtract(Box(0, 0, w, h, 14), Box(border, border, w - 2 * border, h - 2 * border, 6)),
        [&](float, float y) { return MixColour(BronzeLight, BronzeDark, y / h); }, 0, 0, w, h);
    c.FillShape(Outline(Box(border, border, w - 2 * border, h - 2 * border, 6), 2), WithAlpha(Ink, 230));
    c.FillShape(Outline(Box(3, 3, w - 6, h - 6, 12), 1.5f), WithAlpha(BronzeGlow, 200));
    return c;
}

TArtCanvas Plate(int width, int height, TArtColour top, TArtColour bottom, TArtColour edge)
{
    TArtCanvas c(width, height);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    c.PaintShape(Box(1, 1, w - 2, h - 2, 8), [&](float, float y) { return MixColour(top, bottom, y / h); }, 0, 0, w,
                 h);
    c.FillShape(Outline(Box(1.5f, 1.5f, w - 3, h - 3, 8), 2), edge);
    return c;
}

} // namespace

void GenerateBuildingArt(TArtOutput& out)
{
    const std::string building = "Windows\\Building\\";
    SaveShown(out, building + "Frame.tga", Frame(1400, 1050, 25));
    SaveShown(out, building + "DescriptionPlate.tga",
              Plate(420, 190, ArtRGB(0xF0F0E0B8), ArtRGB(0xF0D8C496), WithAlpha(BronzeDark, 255)));
    SaveShown(out, building + "ActionPlate.tga",
              Plate(620, 120, ArtRGB(0xF0F0E0B8), ArtRGB(0xF0D8C496), WithAlpha(BronzeDark, 255)));
    SaveShown(out, building + "Well.tga",
              Plate(396, 444, ArtRGB(0xD0201810), ArtRGB(0xD0100C08), WithAlpha(Bronze, 255)));
    SaveShown(out, building + "CharWell.tga",
              Plate(440, 470, ArtRGB(0xD0201810), ArtRGB(0xD0100C08), WithAlpha(Bronze, 255)));
    SaveShown(out, building + "Band.tga",
              Plate(1350, 56, ArtRGB(0xE02E2318), ArtRGB(0xE01F1711), WithAlpha(Bronze, 255)));
}
