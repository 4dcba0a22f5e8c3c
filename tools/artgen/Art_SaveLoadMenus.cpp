// The save/load window's, the map menu's and the assault dialog's pictures:
// a light parchment row for each save (resting and lit), the delete cross,
// the windows' panels, tabs and buttons, the list's well and scroll bar, and
// the assault dialog's two army frames.
#include <cmath>
#include <string>

#include "tools/artgen/Art_Interface.h"

using namespace InterfaceLook;
using namespace ArtShapes;
using namespace ArtSymbols;

namespace {

constexpr TArtColour RowPaper = ArtRGB(0xFFE6D3A4);
constexpr TArtColour RowPaperEdge = ArtRGB(0xFFC2A46C);

// A save row: light parchment (black text reads on it) in a bronze rim; the
// lit one glows at its rim.
TArtCanvas SaveRow(int width, int height, bool lit)
{
    TArtCanvas c(width, height);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    if (lit)
        c.Glow(Outline(Box(4, 4, w - 8, h - 8, 8), 3), WithAlpha(BronzeGlow, 220), 4, 0, 0, w, h);
    c.PaintShape(
        Box(4, 4, w - 8, h - 8, 8),
        [&](float, float y) {
            const TArtColour base = MixColour(RowPaper, RowPaperEdge, std::abs(y - h / 2) / (h / 2));
            return lit ? MixColour(base, ArtRGB(0xFFFFF2CC), 0.35f) : base;
        },
        0, 0, w, h);
    c.FillShape(Outline(Box(4, 4, w - 8, h - 8, 8), lit ? 3.0f : 2.0f), lit ? BronzeGlow : Bronze);
    return c;
}

TArtCanvas DeleteCross(int size, bool lit)
{
    TArtCanvas c = RoundButton(size, CrossShape(), lit ? ArtRGB(0xFFFF6A50) : ArtRGB(0xFFC8402E),
                               lit ? LookHover : LookNormal);
    return c;
}

void ButtonSet(TArtOutput& out, const std::string& folder, const std::string& name, int width, int height)
{
    const TLook looks[4] = {LookNormal, LookHover, LookPressed, LookDisabled};
    const char* const suffixes[4] = {"", "_Hover", "_Pressed", "_Disabled"};
    for (int i = 0; i < 4; i++)
        Save(out, folder + name + suffixes[i] + ".tga", Plate(width, height, 10, looks[i], 0.95f));
}

void ScrollBarSet(TArtOutput& out, const std::string& folder)
{
    for (bool down : {false, true}) {
        TArtCanvas c = Plate(20, 20, 5, LookNormal, 1);
        Emblem(c, Place(down ? ArrowDownShape() : ArrowUpShape(), 10, 10, 6), BronzeLight, 1);
        Save(out, folder + (down ? "Bar_Down.tga" : "Bar_Up.tga"), c);
    }
    Save(out, folder + "Bar_Slider.tga", Plate(20, 44, 6, LookHover, 1));
}

} // namespace

void GenerateSaveLoadMenusArt(TArtOutput& out)
{
    const std::string saves = "Windows\\SaveLoad\\";
    SaveShown(out, saves + "slot_save2.DDS", SaveRow(802, 86, false));
    SaveShown(out, saves + "slot_save_glow2.DDS", SaveRow(802, 86, true));
    SaveShown(out, saves + "delete_cross.tga", DeleteCross(36, false));
    Save(out, saves + "delete_cross_hover.tga", DeleteCross(36, true));
    Save(out, saves + "Panel.tga", Plate(940, 1000, 24, LookNormal, 0.95f));
    Save(out, saves + "ListWell.tga", Slot(860, 720, WithAlpha(ParchmentDeep, 220), false));
    ButtonSet(out, saves, "Tab", 240, 48);
    ButtonSet(out, saves, "Button", 220, 56);
    ScrollBarSet(out, saves);

    const std::string menu = "Windows\\MapMenu\\";
    Save(out, menu + "Panel.tga", Plate(460, 700, 24, LookNormal, 0.95f));
    ButtonSet(out, menu, "Button", 360, 58);

    const std::string assault = "Windows\\Assault\\";
    Save(out, assault + "Panel.tga", Plate(1240, 760, 24, LookNormal, 0.95f));
    SaveShown(out, assault + "ArmyFrame.tga", Slot(560, 420, WithAlpha(ArtRGB(0xFF1E2A3A), 200), false));
    SaveShown(out, assault + "EnemyFrame.tga", Slot(560, 420, WithAlpha(ArtRGB(0xFF3A1E1A), 200), false));
    ButtonSet(out, assault, "Button", 260, 58);
}
