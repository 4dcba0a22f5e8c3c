// The party screens' pictures: the hint frames and arrows, the health bars,
// the recruit, talk and trade buttons, the hire card and encounter row
// plates, the info pop-ups' backgrounds and service icons, and the building
// pictures the interface's landscapes leave out (a gradient of the hour with
// the building's name). Sizes are the ones the screens place them by.
#include <algorithm>
#include <cmath>
#include <string>

#include "tools/artgen/ArtFont.h"
#include "tools/artgen/Art_Interface.h"

using namespace InterfaceLook;
using namespace ArtShapes;
using namespace ArtSymbols;

namespace {

// ---------------------------------------------------------------------------
// Hint frames. A side strip is drawn as the top side (its outer edge up);
// the hint turns and mirrors it for the others. The corner is the top-left.

// A bronze band between rows top and top + width, with a soft shadow below.
void Band(TArtCanvas& c, float top, float width)
{
    const float w = static_cast<float>(c.Width());
    c.PaintShape(
        Box(-2, top, w + 4, width),
        [&](float, float y) { return MixColour(BronzeLight, BronzeDark, (y - top) / width); }, 0, 0, w, c.Height());
    c.FillShape(Box(-2, top + width, w + 4, 1.2f), WithAlpha(Ink, 220));
    for (int y = static_cast<int>(top + width + 1); y < c.Height(); y++) {
        const float t = (y - top - width) / (c.Height() - top - width);
        for (int x = 0; x < c.Width(); x++)
            c.Blend(x, y, WithAlpha(Ink, static_cast<uint8_t>(90 * (1 - t) * (1 - t))));
    }
}

// The corner: a quarter ring of the same band around (size, size).
TArtCanvas Corner(int size, float top, float width, bool diamond)
{
    TArtCanvas c(size, size);
    const float s = static_cast<float>(size);
    const float outer = s - top, inner = s - top - width;
    TArtShape quarter = Intersect(Subtract(Circle(s, s, outer), Circle(s, s, inner)), Box(-1, -1, s + 1, s + 1));
    c.FillShape(Intersect(Subtract(Circle(s, s, inner), Circle(s, s, inner - 1.2f)), Box(-1, -1, s + 1, s + 1)),
                WithAlpha(Ink, 220));
    c.PaintShape(
        quarter, [&](float x, float y) { return MixColour(BronzeLight, BronzeDark, 1 - std::hypot(s - x, s - y) / s); },
        0, 0, s, s);
    if (diamond) {
        const float d = top + width / 2 + 3;
        Emblem(c, Polygon({d, d - 5, d + 5, d, d, d + 5, d - 5, d}), BronzeGlow, 1);
    }
    return c;
}

void SaveHintFrames(TArtOutput& out)
{
    {
        TArtCanvas c(64, 32);
        Band(c, 5, 6);
        SaveShown(out, "Common\\TextFrame_1-01little.DDS", c);
        SaveShown(out, "Common\\TextFrameCorner_little.DDS", Corner(32, 5, 6, true));
    }
    {
        TArtCanvas c(32, 12);
        Band(c, 4, 4);
        SaveShown(out, "Common\\LittleFrame_line.DDS", c);
        SaveShown(out, "Common\\LittleFrame_corner.DDS", Corner(16, 4, 4, false));
    }
    // The arrows point at what the hint tells of: straight up, and up to the
    // left; the hint turns them for the other sides.
    {
        TArtCanvas c(24, 16);
        TArtShape arrow = Polygon({12, 1, 23, 16, 1, 16});
        c.FillShape(arrow, WithAlpha(Ink, 230));
        c.PaintShape(
            Polygon({12, 3.5f, 20.5f, 16, 3.5f, 16}),
            [](float, float y) { return MixColour(BronzeLight, Bronze, y / 16); }, 0, 0, 24, 16);
        c.FillShape(Polygon({12, 8, 16, 16, 8, 16}), WithAlpha(ArtRGB(0xFF000000), 220));
        SaveShown(out, "Common\\HINT_Arrow.DDS", c);
    }
    {
        TArtCanvas c(32, 32);
        TArtShape arrow = Polygon({1, 1, 31, 14, 14, 31});
        c.FillShape(arrow, WithAlpha(Ink, 230));
        c.PaintShape(
            Polygon({3.5f, 3.5f, 28, 15, 15, 28}),
            [](float x, float y) { return MixColour(BronzeLight, Bronze, (x + y) / 64); }, 0, 0, 32, 32);
        c.FillShape(Polygon({12, 12, 26, 18, 18, 26}), WithAlpha(ArtRGB(0xFF000000), 220));
        SaveShown(out, "Common\\HINT_Arrow_Diagonal.DDS", c);
    }
}

// ---------------------------------------------------------------------------
// Health bars: the part a personage has (green), the part its wounds took
// (grey) and the part missing below that (red); the selected slot's set is
// brighter with a light rim.

TArtCanvas Bar(int width, int height, TArtColour colour, bool selected)
{
    TArtCanvas c(width, height, ArtRGB(0xFF120C08));
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const TArtColour top = ShadeColour(colour, selected ? 1.45f : 1.15f), bottom = ShadeColour(colour, 0.6f);
    c.PaintShape(
        Box(1, 1, w - 2, h - 2), [&](float, float y) { return MixColour(top, bottom, (y - 1) / (h - 2)); }, 0, 0, w, h);
    c.FillShape(Box(1, 1, w - 2, 1), WithAlpha(ArtRGB(0xFFFFFFFF), selected ? 150 : 70));
    if (selected)
        c.FillShape(Outline(Box(0, 0, w, h), 1), ArtRGB(0xFFF4E2B0));
    return c;
}

void SaveHealthBars(TArtOutput& out)
{
    const TArtColour green = ArtRGB(0xFF4CB43E), red = ArtRGB(0xFFC8321E), grey = ArtRGB(0xFF8A8A86);
    const struct {
        const char* Name;
        TArtColour Colour;
    } bars[] = {{"HealthBar", green}, {"HealthBarRed", red}, {"HealthBarGray", grey}};
    for (const auto& b : bars) {
        SaveShown(out, std::string("Windows\\Common\\") + b.Name + ".tga", Bar(75, 7, b.Colour, false));
        SaveShown(out, std::string("Windows\\Common\\") + b.Name + "_Selected.tga", Bar(75, 7, b.Colour, true));
    }
    SaveShown(out, "Windows\\Battle\\HealthBar1.tga", Bar(70, 6, green, false));
    SaveShown(out, "Windows\\Battle\\HealthBar1_Red.tga", Bar(70, 6, red, false));
    SaveShown(out, "Windows\\Battle\\HealthBar1_Gray.tga", Bar(70, 6, grey, false));
}

// ---------------------------------------------------------------------------
// Buttons: the plate in its looks with a small symbol on its left end, so
// that the looks differ in light and the kind is seen at a glance; the
// caption is the screen's own label drawn over it.

TArtCanvas SymbolButton(int width, int height, const TArtShape& symbol, TArtColour colour, TLook look)
{
    TArtCanvas c = Plate(width, height, 7, look);
    const float light = look == LookHover ? 1.25f : look == LookPressed ? 0.75f : look == LookDisabled ? 0.6f : 1.0f;
    const float shift = look == LookPressed ? 1 : 0;
    const float half = height / 2.0f - 8;
    TArtColour tint = look == LookDisabled ? ArtRGB(0xFF8A8680) : colour;
    Emblem(c, Place(symbol, 8 + half + shift, height / 2.0f + shift, half), ShadeColour(tint, light), 1.2f);
    return c;
}

void SaveButtons(TArtOutput& out)
{
    const std::string common = "Windows\\Common\\";
    const TLook looks[4] = {LookNormal, LookHover, LookPressed, LookDisabled};
    const char* const tradeNames[4] = {"button_trade_inactive", "button_trade_active", "button_trade_click",
                                       "button_trade_disabled"};
    // The shop cell's button sits in the cell's lower edge (96 wide).
    for (int i = 0; i < 4; i++)
        SaveShown(out, common + tradeNames[i] + ".DDS",
                  SymbolButton(92, 30, CoinShape(0, 0, 0.85f), ArtRGB(0xFFF0C050), looks[i]));
    // The hire card's recruit button; its disabled look is the trade
    // button's TGA of the same size.
    const char* const recruitNames[3] = {"button_recruit_inactive", "button_recruit_active", "button_recruit_click"};
    for (int i = 0; i < 3; i++)
        SaveShown(out, common + recruitNames[i] + ".tga",
                  SymbolButton(116, 32, PersonShape(), ArtRGB(0xFF9ACB7E), looks[i]));
    SaveShown(out, common + "button_trade_disabled.tga",
              SymbolButton(116, 32, PersonShape(), ArtRGB(0xFF9ACB7E), LookDisabled));
    // The encounter row's talk button.
    const char* const talkNames[3] = {"button_talk1_inactive", "button_talk1_active", "button_talk1_click"};
    TArtShape speech = Union(Ellipse(0, -0.15f, 0.9f, 0.62f), Polygon({-0.5f, 0.2f, -0.1f, 0.35f, -0.7f, 0.9f}));
    for (int i = 0; i < 3; i++)
        SaveShown(out, common + talkNames[i] + ".DDS", SymbolButton(132, 34, speech, ArtRGB(0xFFE8DCC0), looks[i]));
}

// ---------------------------------------------------------------------------
// Plates of the screens

// A panel: a parchment plate with an inner rule, for the pop-ups and cards.
TArtCanvas Panel(int width, int height, float opacity = 0.96f)
{
    TArtCanvas c = Plate(width, height, 14, LookNormal, opacity);
    c.FillShape(Outline(Box(12, 12, width - 24.0f, height - 24.0f, 6), 1), WithAlpha(BronzeDark, 200));
    return c;
}

// A recessed field inside a panel (where a portrait or a list stands).
void Recess(TArtCanvas& c, float x, float y, float w, float h)
{
    c.FillShape(Box(x - 2, y - 2, w + 4, h + 4, 4), BronzeDark);
    c.PaintShape(
        Box(x, y, w, h, 3), [&](float, float py) { return MixColour(Ink, ParchmentDark, (py - y) / h); }, x, y, x + w,
        y + h);
}

void SaveBuildingPlates(TArtOutput& out)
{
    const std::string building = "Windows\\Building\\";
    // An encounter row: portrait well on the left, the text beside it.
    {
        TArtCanvas c = Panel(720, 120, 0.9f);
        Recess(c, 4, 5, 89, 110);
        SaveShown(out, building + "slot_talk.DDS", c);
    }
    // The default portrait of an encounter: a foaming mug.
    {
        TArtCanvas c(89, 110);
        c.PaintShape(
            Box(0, 0, 89, 110, 4),
            [](float, float y) { return MixColour(ArtRGB(0xFF5A4030), ArtRGB(0xFF22160E), y / 110); }, 0, 0, 89, 110);
        TArtShape mug = Union(Box(18, 40, 40, 52, 5), Subtract(Circle(62, 64, 14), Circle(62, 64, 8)));
        Emblem(c, mug, ArtRGB(0xFFC89040), 1.5f);
        c.FillShape(Box(24, 46, 28, 40, 3), ArtRGB(0xFFE8B040));
        Emblem(c, Union(Union(Circle(24, 38, 9), Circle(38, 34, 11)), Circle(52, 38, 9)), ArtRGB(0xFFF6F0E0), 1.2f);
        SaveShown(out, building + "Beer.DDS", c);
    }
    // The hire card (three stand in the 375-wide, 444-high hire area, 150 apart).
    {
        TArtCanvas c = Panel(372, 146, 0.94f);
        Recess(c, 22, 26, 72, 82);
        SaveShown(out, building + "slot_recruitment.tga", c);
    }
    {
        TArtCanvas c = Plate(120, 32, 8, LookNormal);
        Emblem(c, Place(CoinShape(0, 0, 0.85f), 16, 16, 10), ArtRGB(0xFFF0C050), 1.2f);
        SaveShown(out, building + "recruitment_cost.tga", c);
    }
}

void SaveInfoPopups(TArtOutput& out)
{
    const std::string info = "Windows\\Info\\";
    // The personage pop-up: portrait well at the left, equipment on the right.
    {
        // The portrait stands at (6, 7); the signs' grid below the stats.
        TArtCanvas c = Panel(680, 330);
        Recess(c, 6, 7, 174, 146);
        Recess(c, 472, 20, 194, 212);
        Recess(c, 200, 222, 268, 102);
        SaveShown(out, info + "window_info.DDS", c);
    }
    // The horse gear frame under the equipment, for mounted personages.
    {
        TArtCanvas c(192, 70);
        c.FillShape(Outline(Box(2, 2, 188, 66, 8), 3), Bronze);
        c.FillShape(Outline(Box(5, 5, 182, 60, 6), 1), WithAlpha(Ink, 200));
        Badge(c, HorseshoeShape(), ArtRGB(0xFFB8B8C0), 96, 10, 7);
        SaveShown(out, info + "window_info_horse.DDS", c);
    }
    // The building and army pop-ups: the upper half (name, text, income,
    // services) and the lower half (the defenders).
    {
        TArtCanvas c = Panel(540, 340);
        // The description; the service icons stand under it at 245.
        Recess(c, 46, 108, 448, 128);
        SaveShown(out, info + "window_info_army_01.DDS", c);
    }
    {
        TArtCanvas c = Panel(540, 340);
        c.FillShape(Box(40, 6, 460, 2), WithAlpha(BronzeLight, 160));
        SaveShown(out, info + "window_info_army_02.DDS", c);
    }
    const TArtColour gold = ArtRGB(0xFFF0C050);
    {
        TArtCanvas c(44, 40);
        Emblem(c, Polygon({4, 38, 4, 14, 10, 14, 10, 6, 16, 6, 16, 14, 28, 14, 28, 6, 34, 6, 34, 14, 40, 14, 40, 38}),
               ArtRGB(0xFFB8B0A4), 1.2f);
        c.FillShape(Union(Circle(22, 28, 5), Box(17, 28, 10, 10)), Ink);
        SaveShown(out, info + "info_castle.DDS", c);
    }
    {
        TArtCanvas c(48, 40);
        const float coins[][2] = {{16, 26}, {32, 27}, {24, 14}};
        for (const auto& coin : coins) {
            Emblem(c, Place(CoinShape(0, 0, 1), coin[0], coin[1], 10), gold, 1.2f);
            c.FillShape(Outline(Circle(coin[0], coin[1], 6.5f), 1), ArtRGB(0xFFB88A20));
        }
        SaveShown(out, "Windows\\Common\\info_gold.DDS", c);
    }
    // The building's services: trade, hiring, treatment, income.
    auto service = [&](const char* name, const TArtShape& symbol, TArtColour colour, const TArtShape* badge,
                       TArtColour badgeColour) {
        TArtCanvas c(43, 43);
        c.FillShape(Circle(21.5f, 21.5f, 20.5f), BronzeDark);
        c.PaintShape(
            Circle(21.5f, 21.5f, 18.5f), [](float, float y) { return MixColour(ParchmentMid, ParchmentDeep, y / 43); },
            0, 0, 43, 43);
        Emblem(c, Place(symbol, 21.5f, 21.5f, 12), colour, 1.2f);
        if (badge)
            Badge(c, *badge, badgeColour, 31, 31, 6);
        SaveShown(out, info + name + ".DDS", c);
    };
    const TArtShape plus = PlusShape(0.8f, 0.36f);
    const TArtShape scales =
        Union(Union(Segment(0, -0.85f, 0, 0.7f, 0.14f), Segment(-0.8f, -0.55f, 0.8f, -0.55f, 0.12f)),
              Union(Union(Intersect(Circle(-0.6f, -0.1f, 0.32f), Box(-1, -0.1f, 2, 1)),
                          Intersect(Circle(0.6f, -0.1f, 0.32f), Box(-1, -0.1f, 2, 1))),
                    Box(-0.4f, 0.7f, 0.8f, 0.16f)));
    service("info_icons_01", scales, gold, nullptr, {});
    service("info_icons_02", PersonShape(), ArtRGB(0xFF9ACB7E), &plus, ArtRGB(0xFFF0F0F0));
    service("info_icons_03", HeartShape(), ArtRGB(0xFFD8402E), &plus, ArtRGB(0xFFF4F4F4));
    // Income: a stack of coins with a rising arrow.
    const TArtShape up = ArrowUpShape();
    service("info_icons_05",
            Union(Union(Ellipse(-0.2f, 0.62f, 0.62f, 0.24f), Ellipse(-0.2f, 0.3f, 0.62f, 0.24f)),
                  Union(Ellipse(-0.2f, -0.02f, 0.62f, 0.24f), Ellipse(-0.2f, -0.34f, 0.62f, 0.24f))),
            gold, &up, ArtRGB(0xFF5CC85A));
    // The victory panels' experience plate.
    SaveShown(out, "Windows\\Common\\Exp_Place.DDS", Plate(220, 32, 8, LookNormal, 0.92f));
}

// ---------------------------------------------------------------------------
// Building pictures: the hour's sky over dark ground and the building's
// name, for the buildings the landscapes do not show.

struct TBuildingPicture {
    const char* Name;
    const char* Caption;
    bool Night;
    TArtColour Tint;
};

const TBuildingPicture BuildingPictures[] = {
    {"town", "TOWN", false, ArtRGB(0xFFD99A5C)},        {"tower", "TOWER", false, ArtRGB(0xFFB0A080)},
    {"tower_night", "TOWER", true, ArtRGB(0xFF3A4A70)}, {"village_night", "VILLAGE", true, ArtRGB(0xFF34506A)},
    {"Forge", "FORGE", false, ArtRGB(0xFFE07030)},      {"inn", "INN", false, ArtRGB(0xFFC89050)},
    {"mine", "MINE", false, ArtRGB(0xFF9A8A70)},        {"mine_night", "MINE", true, ArtRGB(0xFF404A60)},
    {"church", "CHURCH", false, ArtRGB(0xFFE0D0A8)},    {"village_ruins", "VILLAGE RUINS", false, ArtRGB(0xFF8A7A68)},
};

void SaveBuildingPictures(TArtOutput& out)
{
    // The window shows the middle band of the width (about three quarters)
    // stretched over 1350 x 1000; the name stands in that band.
    constexpr int W = 1024, H = 512;
    for (const TBuildingPicture& p : BuildingPictures) {
        TArtCanvas c(W, H, ArtRGB(0xFF000000));
        const TArtColour top = p.Night ? ArtRGB(0xFF05070F) : ArtRGB(0xFF27304A);
        const TArtColour ground = p.Night ? ArtRGB(0xFF07080E) : ArtRGB(0xFF1E1716);
        c.VerticalGradient(0, H * 2 / 3, top, p.Tint);
        c.VerticalGradient(H * 2 / 3, H, ShadeColour(p.Tint, 0.35f), ground);
        // A low hill line so that the ground reads as land.
        c.FillShape(
            [](float x, float y) { return (H * 0.66f + 14 * std::sin(x / 90.0f) + 8 * std::sin(x / 37.0f)) - y; },
            WithAlpha(ground, 200));
        const float dot = std::min(6.0f, 300.0f / (ArtFont::TextWidth(p.Caption, 1) + 4));
        // A dark band behind the name keeps it legible on a light sky.
        const float bandWidth = ArtFont::TextWidth(p.Caption, dot) + 6 * dot;
        c.FillShape(Box(W / 2.0f - bandWidth / 2, H * 0.42f - 6 * dot, bandWidth, (p.Night ? 15 : 12) * dot, 2 * dot),
                    WithAlpha(Ink, 150));
        ArtFont::DrawTextCentred(c, p.Caption, W / 2.0f, H * 0.42f, dot, p.Night ? ArtRGB(0xFFC8D0E8) : Cream,
                                 WithAlpha(Ink, 220), dot * 0.35f);
        if (p.Night)
            ArtFont::DrawTextCentred(c, "NIGHT", W / 2.0f, H * 0.42f + dot * 6.5f, dot * 0.6f, ArtRGB(0xFF8898C0),
                                     WithAlpha(Ink, 200), dot * 0.2f);
        const std::string file = std::string("Common\\Images\\") + p.Name + ".dds";
        SaveShown(out, file, c, false);
    }
}

} // namespace

void GenerateScreenArt(TArtOutput& out)
{
    SaveHintFrames(out);
    SaveHealthBars(out);
    SaveButtons(out);
    SaveBuildingPlates(out);
    SaveInfoPopups(out);
    SaveBuildingPictures(out);
}
