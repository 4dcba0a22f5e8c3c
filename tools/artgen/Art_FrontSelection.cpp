// The scenario and hero selections' pictures: the scroll every scenario is
// listed on, the paper its description is written on and the scroll's lower
// roll under it; the windows' panels, tabs, small buttons, check box and
// scroll bar; the hero buttons (the hero's portrait in a frame, resting and
// chosen) with the coat arrows; and the coats of arms 9 to 76 the heroes'
// rows use (the first eight are the icon set's).
#include <algorithm>
#include <cmath>
#include <string>

#include "tools/artgen/ArtFont.h"
#include "tools/artgen/Art_Interface.h"

using namespace InterfaceLook;
using namespace ArtShapes;
using namespace ArtSymbols;

namespace {

constexpr TArtColour Paper = ArtRGB(0xFFE9D9B0);
constexpr TArtColour PaperEdge = ArtRGB(0xFFC9B27E);

// A parchment scroll lying across the list: the sheet with a roll at each
// end in the upper sheetHeight rows; the rows below stay clear, for an open
// scroll's description begins there.
TArtCanvas BigScroll(int width, int height, int sheetHeight)
{
    TArtCanvas c(width, height);
    const float w = static_cast<float>(width), h = static_cast<float>(sheetHeight);
    c.PaintShape(
        Box(14, 4, w - 28, h - 8, 6),
        [&](float, float y) { return MixColour(Paper, PaperEdge, std::abs(y - h / 2) / (h / 2)); }, 0, 0, w, h);
    c.FillShape(Outline(Box(14, 4, w - 28, h - 8, 6), 1.5f), WithAlpha(BronzeDark, 200));
    for (float x : {2.0f, w - 26})
        c.PaintShape(
            Box(x, 0, 24, h, 10),
            [&](float px, float) { return MixColour(ArtRGB(0xFFB89660), ArtRGB(0xFF6A4A26), std::abs(px - x - 12) / 12); },
            0, 0, w, h);
    return c;
}

// The lower roll of an open scroll, drawn under its description.
TArtCanvas ScrollDawn(int width, int height)
{
    TArtCanvas c(width, height);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    c.PaintShape(
        Box(0, h * 0.2f, w, h * 0.6f, h * 0.3f),
        [&](float, float y) { return MixColour(ArtRGB(0xFFC8A870), ArtRGB(0xFF6A4A26), std::abs(y - h / 2) / (h * 0.3f)); },
        0, 0, w, h);
    return c;
}

// The description's paper: even, light, with a faint grain.
TArtCanvas DescriptionPaper(int size)
{
    TArtCanvas c(size, size);
    c.PaintRect(0, 0, size, size, [&](float x, float y) {
        const int grain = (static_cast<int>(x) * 7 + static_cast<int>(y) * 13) % 17;
        return ShadeColour(Paper, 0.97f + 0.004f * static_cast<float>(grain));
    });
    return c;
}

TArtCanvas Button(int width, int height, TLook look)
{
    return Plate(width, height, 10, look, 0.95f);
}

void SaveButtonSet(TArtOutput& out, const std::string& folder, const std::string& name, int width, int height)
{
    const TLook looks[4] = {LookNormal, LookHover, LookPressed, LookDisabled};
    const char* const suffixes[4] = {"", "_Hover", "_Pressed", "_Disabled"};
    for (int i = 0; i < 4; i++)
        Save(out, folder + name + suffixes[i] + ".tga", Button(width, height, looks[i]));
}

TArtCanvas CheckBox(bool checked, bool disabled)
{
    TArtCanvas c = Slot(28, 28, {0, 0, 0, 0}, false);
    if (checked)
        Emblem(c, Place(CheckShape(), 14, 14, 10), disabled ? ArtRGB(0xFF8A8680) : BronzeGlow, 1.5f);
    return c;
}

TArtCanvas Arrow(int size, bool right, TLook look)
{
    TArtCanvas c = Plate(size, size, size / 4.0f, look, 0.95f);
    const float s = static_cast<float>(size);
    Emblem(c, Place(ArrowRightShape(), s / 2, s / 2, s * 0.3f, right ? 0 : 180),
           look == LookHover ? BronzeGlow : BronzeLight, 1.5f);
    return c;
}

// A hero button: the portrait in a bronze frame; chosen, the frame glows.
TArtCanvas HeroButton(const std::string& portrait, bool chosen)
{
    constexpr int W = 250, H = 210;
    TArtCanvas c = Plate(W, H, 14, chosen ? LookPressed : LookNormal, 1);
    c.Draw(NamedPortrait(portrait), 10, 10);
    const TArtShape frame = Outline(Box(6, 6, W - 12, H - 12, 12), chosen ? 5 : 3);
    if (chosen)
        c.Glow(frame, WithAlpha(BronzeGlow, 200), 6, 0, 0, W, H);
    c.FillShape(frame, chosen ? BronzeGlow : Bronze);
    if (!chosen)
        c.FillShape(Box(10, 10, W - 20, H - 20, 10), WithAlpha(Ink, 70));
    return c;
}

// Coats of arms past the icon set's eight: a shield parted in two colours
// with a charge, in the same drawing as the first eight.
void SaveMoreCoats(TArtOutput& out)
{
    const TArtColour fields[] = {ArtRGB(0xFF2A4A9A), ArtRGB(0xFFA8302A), ArtRGB(0xFF2A7A3A), ArtRGB(0xFF3A3A40),
                                 ArtRGB(0xFF7A3A8A), ArtRGB(0xFFD8A030), ArtRGB(0xFF2A6A8A), ArtRGB(0xFF8A5A2A),
                                 ArtRGB(0xFF6A7A2A)};
    const TArtColour seconds[] = {ArtRGB(0xFFE8E0D0), ArtRGB(0xFFF0C050), ArtRGB(0xFFD8DCE2), ArtRGB(0xFF2A2A30)};
    const TArtShape charges[] = {StarShape(0.95f, 0.42f, 6), SwordShape(), HeartShape(), FlameShape(),
                                 AxeShape(),                 MaceShape(),  BowShape(),   GobletShape(),
                                 HorseshoeShape(),           BoltShape(),  DropShape(),  SpearShape(0.45f),
                                 FlagShape()};
    for (int n = 9; n <= 76; n++) {
        const int k = n - 9;
        const TArtColour field = fields[k % 9];
        TArtColour second = seconds[(k / 9) % 4];
        if (second.R == field.R && second.G == field.G)
            second = seconds[0];
        const int parting = (k / 3) % 3;
        const TArtShape& charge = charges[(k * 5) % 13];
        const std::string name = "Coat" + std::string(n < 10 ? "0" : "") + std::to_string(n) + ".DDS";
        for (int size : {64, 32}) {
            TArtCanvas c(size, size);
            const float s = static_cast<float>(size), half = s / 2;
            TArtShape shield = Place(ShieldShape(), half, half, half - 2);
            c.FillShape([&](float x, float y) { return shield(x, y) - s / 24; }, BronzeDark);
            c.PaintShape(
                shield,
                [&](float x, float y) {
                    const bool other = parting == 0 ? x > half : parting == 1 ? y > half * 0.9f : x + y > s;
                    return other ? second : field;
                },
                0, 0, s, s);
            Emblem(c, Place(charge, half, half * 0.9f, half * 0.42f), ArtRGB(0xFFF6F2E8), std::max(1.0f, s / 40));
            SaveShown(out, std::string("Common\\Icons\\Coats\\") + (size == 32 ? "32\\" : "") + name, c);
        }
    }
}

} // namespace

void GenerateSelectionArt(TArtOutput& out)
{
    SaveShown(out, "Windows\\Journal\\BigScroll.DDS", BigScroll(500, 64, 54));
    Save(out, "Windows\\Journal\\quest_texture_paper512.DDS", DescriptionPaper(512));
    SaveShown(out, "Windows\\Common\\scroll_quest_dawn.DDS", ScrollDawn(508, 34));

    const std::string folder = "Windows\\Selection\\";
    Save(out, folder + "Panel.tga", Plate(1200, 900, 24, LookNormal, 0.94f));
    Save(out, folder + "HeroPanel.tga", Plate(1100, 960, 24, LookNormal, 0.94f));
    TArtCanvas list = Slot(520, 640, WithAlpha(ParchmentDeep, 200), false);
    Save(out, folder + "ListWell.tga", list);
    SaveButtonSet(out, folder, "Tab", 250, 48);
    SaveButtonSet(out, folder, "Small", 190, 44);
    SaveButtonSet(out, folder, "Wide", 240, 56);
    Save(out, folder + "Check_Off.tga", CheckBox(false, false));
    Save(out, folder + "Check_On.tga", CheckBox(true, false));
    Save(out, folder + "Check_Off_Disabled.tga", CheckBox(false, true));
    Save(out, folder + "Check_On_Disabled.tga", CheckBox(true, true));
    for (bool down : {false, true}) {
        TArtCanvas c = Plate(20, 20, 5, LookNormal, 1);
        Emblem(c, Place(down ? ArrowDownShape() : ArrowUpShape(), 10, 10, 6), BronzeLight, 1);
        Save(out, folder + (down ? "Bar_Down.tga" : "Bar_Up.tga"), c);
    }
    Save(out, folder + "Bar_Slider.tga", Plate(20, 44, 6, LookHover, 1));
    Save(out, folder + "CoatFrame.tga", Slot(76, 76, WithAlpha(ParchmentDeep, 220), false));

    const struct {
        const char* Button;
        const char* Portrait;
    } heroes[] = {{"Knight", "DukeArmor0102"}, {"Baroness", "Baroness01"}, {"Mystic", "Mystic01"}};
    for (const auto& hero : heroes) {
        SaveShown(out, folder + "Hero_" + hero.Button + ".DDS", HeroButton(hero.Portrait, false));
        SaveShown(out, folder + "Hero_" + hero.Button + "_Chosen.DDS", HeroButton(hero.Portrait, true));
    }
    const TLook looks[3] = {LookNormal, LookHover, LookPressed};
    const char* const suffixes[3] = {"", "_Hover", "_Pressed"};
    for (int i = 0; i < 3; i++) {
        Save(out, folder + "Arrow_Left" + suffixes[i] + ".tga", Arrow(44, false, looks[i]));
        Save(out, folder + "Arrow_Right" + suffixes[i] + ".tga", Arrow(44, true, looks[i]));
    }

    // The transfer window's plate with the bar's groove (254 x 14 at 103, 62)
    // and its bar.
    TArtCanvas plate = Plate(460, 110, 14, LookNormal, 0.94f);
    plate.FillShape(Box(100, 59, 260, 20, 5), BronzeDark);
    plate.FillShape(Box(101, 60, 258, 18, 4), BronzeLight);
    plate.PaintShape(
        Box(102, 61, 256, 16, 3), [&](float, float y) { return MixColour(Ink, ParchmentDark, (y - 61) / 16); }, 0, 0,
        460, 110);
    Save(out, folder + "TransferPlate.tga", plate);
    TArtCanvas bar(254, 14);
    bar.PaintShape(
        Box(0, 0, 254, 14, 3),
        [&](float, float y) { return MixColour(ArtRGB(0xFFF6D37E), ArtRGB(0xFFB4701E), y / 14); }, 0, 0, 254, 14);
    Save(out, folder + "TransferBar.tga", bar);
    SaveMoreCoats(out);
}
