// The interface set: the loading window's frames and bar, the main menu's
// buttons, the mouse cursors, the backgrounds and the small shared sprites
// every screen loads at start-up. One look throughout: dark parchment framed
// in bronze, symbols lit from above with a dark outline.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "tools/artgen/ArtOutput.h"
#include "tools/artgen/Art_Interface.h"

using namespace InterfaceLook;
using namespace ArtShapes;

namespace {

constexpr float Pi = 3.14159265f;

} // namespace

namespace ArtSymbols {

// ---------------------------------------------------------------------------
// Symbols, each in its box -1 .. 1 (y down)

TArtShape SwordShape()
{
    TArtShape blade = Polygon({-0.09f, 0.3f, -0.09f, -0.72f, 0, -0.95f, 0.09f, -0.72f, 0.09f, 0.3f});
    TArtShape guard = Box(-0.4f, 0.28f, 0.8f, 0.13f, 0.05f);
    TArtShape grip = Segment(0, 0.4f, 0, 0.78f, 0.13f);
    return Union(Union(blade, guard), Union(grip, Circle(0, 0.86f, 0.1f)));
}

TArtShape BowShape()
{
    TArtShape limb = Intersect(Outline(Circle(-0.55f, 0, 1.05f), 0.16f), Box(-0.1f, -1, 1.2f, 2));
    TArtShape string = Segment(-0.05f, -0.83f, -0.05f, 0.83f, 0.05f);
    TArtShape shaft = Segment(-0.8f, 0, 0.55f, 0, 0.07f);
    TArtShape head = Polygon({0.5f, -0.14f, 0.85f, 0, 0.5f, 0.14f});
    return Union(Union(limb, string), Union(shaft, head));
}

TArtShape ShieldShape()
{
    return Polygon({-0.72f, -0.82f, 0.72f, -0.82f, 0.72f, -0.1f, 0.5f, 0.42f, 0, 0.92f, -0.5f, 0.42f, -0.72f, -0.1f});
}

TArtShape HeartShape()
{
    TArtShape lobes = Union(Circle(-0.36f, -0.3f, 0.42f), Circle(0.36f, -0.3f, 0.42f));
    return Union(lobes, Polygon({-0.76f, -0.12f, 0.76f, -0.12f, 0, 0.85f}));
}

TArtShape PlusShape(float arm, float thickness)
{
    return Union(Box(-arm, -thickness / 2, 2 * arm, thickness, thickness / 4),
                 Box(-thickness / 2, -arm, thickness, 2 * arm, thickness / 4));
}

TArtShape StarShape(float outer, float inner, int points)
{
    std::vector<float> p;
    for (int i = 0; i < points * 2; i++) {
        const float r = i % 2 == 0 ? outer : inner;
        const float a = -Pi / 2 + i * Pi / points;
        p.push_back(r * std::cos(a));
        p.push_back(r * std::sin(a));
    }
    return Polygon(p);
}

TArtShape DropShape()
{
    return Union(Circle(0, 0.35f, 0.52f), Polygon({-0.5f, 0.22f, 0, -0.95f, 0.5f, 0.22f}));
}

TArtShape BoltShape()
{
    return Polygon(
        {0.2f, -0.95f, -0.55f, 0.12f, -0.05f, 0.12f, -0.25f, 0.95f, 0.58f, -0.2f, 0.08f, -0.2f, 0.35f, -0.95f});
}

TArtShape HorseshoeShape()
{
    TArtShape ring = Subtract(Circle(0, -0.05f, 0.82f), Circle(0, -0.05f, 0.46f));
    TArtShape open = Subtract(ring, Box(-0.34f, 0.2f, 0.68f, 1));
    TArtShape holes = Union(Union(Circle(-0.64f, -0.05f, 0.07f), Circle(0.64f, -0.05f, 0.07f)),
                            Union(Circle(-0.45f, -0.5f, 0.07f), Circle(0.45f, -0.5f, 0.07f)));
    return Subtract(open, holes);
}

TArtShape ArrowUpShape()
{
    return Polygon({0, -0.92f, 0.78f, 0.02f, 0.28f, 0.02f, 0.28f, 0.88f, -0.28f, 0.88f, -0.28f, 0.02f, -0.78f, 0.02f});
}

TArtShape ArrowDownShape()
{
    return Polygon(
        {0, 0.92f, 0.78f, -0.02f, 0.28f, -0.02f, 0.28f, -0.88f, -0.28f, -0.88f, -0.28f, -0.02f, -0.78f, -0.02f});
}

TArtShape PersonShape()
{
    TArtShape head = Circle(0, -0.5f, 0.3f);
    TArtShape body = Intersect(Box(-0.62f, -0.12f, 1.24f, 1.2f, 0.45f), Box(-1, -1, 2, 1.85f));
    return Union(head, body);
}

TArtShape CoinShape(float cx, float cy, float r)
{
    return Circle(cx, cy, r);
}

TArtShape QuestionShape()
{
    TArtShape arc = Outline(Circle(0, -0.36f, 0.42f), 0.22f);
    TArtShape cut = Box(-1, -0.36f, 1, 1);
    TArtShape stem = Segment(0.0f, 0.06f, 0.0f, 0.32f, 0.22f);
    return Union(Union(Subtract(arc, cut), stem), Circle(0, 0.7f, 0.14f));
}

TArtShape SkullShape()
{
    TArtShape head = Union(Circle(0, -0.22f, 0.66f), Box(-0.36f, 0.15f, 0.72f, 0.62f, 0.12f));
    TArtShape eyes = Union(Circle(-0.25f, -0.2f, 0.17f), Circle(0.25f, -0.2f, 0.17f));
    TArtShape nose = Polygon({0, 0.06f, 0.09f, 0.24f, -0.09f, 0.24f});
    TArtShape teeth = Union(Segment(-0.12f, 0.55f, -0.12f, 0.8f, 0.05f), Segment(0.12f, 0.55f, 0.12f, 0.8f, 0.05f));
    return Subtract(Subtract(head, Union(eyes, nose)), teeth);
}

TArtShape PadlockShape()
{
    TArtShape shackle = Intersect(Subtract(Circle(0, -0.3f, 0.48f), Circle(0, -0.3f, 0.3f)), Box(-1, -1, 2, 0.8f));
    TArtShape legs = Union(Box(-0.48f, -0.32f, 0.18f, 0.4f), Box(0.3f, -0.32f, 0.18f, 0.4f));
    TArtShape body = Box(-0.62f, 0.0f, 1.24f, 0.92f, 0.14f);
    TArtShape keyhole =
        Union(Circle(0, 0.35f, 0.12f), Polygon({-0.07f, 0.38f, 0.07f, 0.38f, 0.1f, 0.68f, -0.1f, 0.68f}));
    return Union(Union(shackle, legs), Subtract(body, keyhole));
}

TArtShape HourglassShape()
{
    TArtShape glass = Union(Polygon({-0.55f, -0.78f, 0.55f, -0.78f, 0.08f, 0, -0.08f, 0}),
                            Polygon({-0.08f, 0, 0.08f, 0, 0.55f, 0.78f, -0.55f, 0.78f}));
    TArtShape bars = Union(Box(-0.72f, -0.95f, 1.44f, 0.2f, 0.06f), Box(-0.72f, 0.75f, 1.44f, 0.2f, 0.06f));
    return Union(glass, bars);
}

TArtShape FlagShape()
{
    TArtShape pole = Segment(-0.6f, -0.9f, -0.6f, 0.92f, 0.12f);
    TArtShape cloth = Polygon({-0.55f, -0.82f, -0.1f, -0.92f, 0.35f, -0.74f, 0.8f, -0.84f, 0.8f, -0.06f, 0.35f, 0.04f,
                               -0.1f, -0.14f, -0.55f, -0.04f});
    return Union(pole, cloth);
}

TArtShape CheckShape()
{
    return Union(Segment(-0.6f, 0.0f, -0.15f, 0.48f, 0.28f), Segment(-0.15f, 0.48f, 0.62f, -0.52f, 0.28f));
}

TArtShape CrossShape()
{
    return Union(Segment(-0.55f, -0.55f, 0.55f, 0.55f, 0.28f), Segment(-0.55f, 0.55f, 0.55f, -0.55f, 0.28f));
}

TArtShape GobletShape()
{
    TArtShape bowl =
        Polygon({-0.58f, -0.85f, 0.58f, -0.85f, 0.5f, -0.35f, 0.25f, -0.02f, -0.25f, -0.02f, -0.5f, -0.35f});
    TArtShape handles =
        Union(Outline(Circle(-0.62f, -0.52f, 0.24f), 0.1f), Outline(Circle(0.62f, -0.52f, 0.24f), 0.1f));
    TArtShape stem = Box(-0.09f, -0.05f, 0.18f, 0.62f);
    TArtShape foot = Polygon({-0.15f, 0.52f, 0.15f, 0.52f, 0.5f, 0.82f, -0.5f, 0.82f});
    return Union(Union(bowl, handles), Union(stem, foot));
}

TArtShape ScrollShape()
{
    TArtShape sheet = Box(-0.62f, -0.42f, 1.24f, 0.84f, 0.04f);
    TArtShape rolls = Union(Box(-0.8f, -0.5f, 0.22f, 1.0f, 0.11f), Box(0.58f, -0.5f, 0.22f, 1.0f, 0.11f));
    return Union(sheet, rolls);
}

TArtShape ArrowRightShape()
{
    return Polygon({0.92f, 0, 0.02f, -0.78f, 0.02f, -0.28f, -0.88f, -0.28f, -0.88f, 0.28f, 0.02f, 0.28f, 0.02f, 0.78f});
}

} // namespace ArtSymbols

using namespace ArtSymbols;

namespace InterfaceLook {

// ---------------------------------------------------------------------------
// Pieces

// Saves a picture under the interface folder, as TGA or DDS by its name.
void Save(TArtOutput& out, const std::string& relative, const TArtCanvas& canvas, bool alpha)
{
    const std::string lower = relative.size() > 4 ? relative.substr(relative.size() - 4) : std::string();
    if (lower == ".tga" || lower == ".TGA")
        out.Write("Interface\\" + relative, canvas.TGA());
    else
        out.WriteDDS("Interface\\" + relative, canvas.DDS(alpha));
}

void SaveShown(TArtOutput& out, const std::string& relative, const TArtCanvas& canvas, bool alpha)
{
    Save(out, relative, canvas, alpha);
    ArtSheetAdd(relative, canvas);
}

// An icon: the symbol centred on a transparent square.
TArtCanvas Icon(int size, const TArtShape& unit, TArtColour colour, float degrees)
{
    TArtCanvas c(size, size);
    const float half = size / 2.0f;
    Emblem(c, Place(unit, half, half, half - std::max(2.0f, size / 12.0f), degrees), colour,
           std::max(1.2f, size / 24.0f));
    return c;
}

// A symbol drawn small in one corner of an icon (a badge).
void Badge(TArtCanvas& c, const TArtShape& unit, TArtColour colour, float cx, float cy, float half)
{
    Emblem(c, Place(unit, cx, cy, half), colour, 1.2f);
}

// A round button face with a symbol: resting, lit under the mouse, or held down.
TArtCanvas RoundButton(int size, const TArtShape& unit, TArtColour colour, TLook look)
{
    TArtCanvas c(size, size);
    const float r = size / 2.0f - 2, centre = size / 2.0f;
    if (look == LookHover)
        c.Glow(Circle(centre, centre, r), WithAlpha(BronzeGlow, 150), 2, 0, 0, size, size);
    const float press = look == LookPressed ? 0.7f : look == LookHover ? 1.25f : 1.0f;
    c.PaintShape(
        Circle(centre, centre, r),
        [&](float, float y) { return ShadeColour(MixColour(BronzeLight, BronzeDark, y / size), press); }, 0, 0, size,
        size);
    c.PaintShape(
        Circle(centre, centre, r - size / 10.0f),
        [&](float, float y) { return ShadeColour(MixColour(ParchmentMid, ParchmentDeep, y / size), press); }, 0, 0,
        size, size);
    const float shift = look == LookPressed ? 1.0f : 0.0f;
    Emblem(c, Place(unit, centre + shift, centre + shift, r * 0.55f), ShadeColour(colour, press > 1 ? 1.15f : press));
    return c;
}

} // namespace InterfaceLook

namespace {

// A flat bar with rounded ends and a bevel: the loading progress.
TArtCanvas ProgressBar(int width, int height)
{
    TArtCanvas c(width, height);
    c.PaintShape(
        Box(0, 0, width, height, 3),
        [&](float x, float y) {
            const TArtColour body = MixColour(ArtRGB(0xFFF6D37E), ArtRGB(0xFFB4701E), y / height);
            // A faint band pattern so that a moving bar reads as moving.
            const float band = 0.92f + 0.08f * std::sin(x * 0.45f);
            return ShadeColour(body, band);
        },
        0, 0, width, height);
    c.FillShape(Box(1, 1, width - 2, 2, 1), WithAlpha(ArtRGB(0xFFFFF4D0), 140));
    return c;
}

// The loading plate: a bronze-rimmed parchment plate with the bar's groove,
// grooveX, grooveY from its top-left, 230 x 15 inside.
TArtCanvas LoadingPlate(int width, int height, int grooveX, int grooveY)
{
    TArtCanvas c = Plate(width, height, 14, LookNormal, 0.94f);
    c.FillShape(Box(grooveX - 3, grooveY - 3, 236, 21, 5), BronzeDark);
    c.FillShape(Box(grooveX - 2, grooveY - 2, 234, 19, 4), BronzeLight);
    c.PaintShape(
        Box(grooveX - 1, grooveY - 1, 232, 17, 3),
        [&](float, float y) { return MixColour(Ink, ParchmentDark, (y - grooveY) / 15); }, 0, 0, width, height);
    return c;
}

// A button's four plates, named in the order resting, under the mouse, held
// down, not usable.
void SaveButtonLooks(TArtOutput& out, const std::string& folder, const std::array<const char*, 4>& names, int width,
                     int height, float radius)
{
    const TLook looks[4] = {LookNormal, LookHover, LookPressed, LookDisabled};
    for (size_t i = 0; i < 4; i++)
        Save(out, folder + names[i], Plate(width, height, radius, looks[i]));
}

// ---------------------------------------------------------------------------
// Cursors: drawn at the hot spot they are loaded with, so the point a player
// aims with is the point the mouse stands on.

TArtCanvas ArrowCursor()
{
    TArtCanvas c(32, 32);
    TArtShape arrow = Polygon({0.5f, 0.5f, 0.5f, 22, 6, 17, 10.5f, 27, 14.5f, 25.2f, 10.2f, 15.5f, 17.5f, 15.5f});
    c.FillShape([&](float x, float y) { return arrow(x, y) - 1.4f; }, Ink);
    c.PaintShape(
        arrow, [](float x, float y) { return MixColour(BronzeGlow, Bronze, (x + y) / 36); }, 0, 0, 32, 32);
    c.FillShape(Segment(2.5f, 4, 2.5f, 16, 1.2f), WithAlpha(ArtRGB(0xFFFFF6DA), 200));
    return c;
}

void SaveCursors(TArtOutput& out)
{
    const std::string folder = "Common\\Cursors\\";
    SaveShown(out, folder + "Cursor.tga", ArrowCursor());

    // Waiting: an hourglass whose waist, where the sand runs, lies on the
    // hot spot (10, 17).
    {
        TArtCanvas c(24, 32);
        Emblem(c, Place(HourglassShape(), 10, 17, 12.5f), BronzeLight);
        const TArtColour sand = ArtRGB(0xFFF1D28A);
        c.FillShape(Place(Polygon({-0.42f, -0.62f, 0.42f, -0.62f, 0.06f, -0.04f, -0.06f, -0.04f}), 10, 17, 12.5f),
                    sand);
        c.FillShape(Place(Polygon({-0.45f, 0.74f, 0.45f, 0.74f, 0, 0.34f}), 10, 17, 12.5f), sand);
        c.FillShape(Circle(10, 17, 1.6f), ArtRGB(0xFFFFFFFF));
        SaveShown(out, folder + "Loading.tga", c);
    }
    // Attack: crossed swords meeting at the hot spot (17, 18).
    {
        TArtCanvas c(36, 36);
        for (float angle : {45.0f, -45.0f})
            Emblem(c, Place(SwordShape(), 17, 18, 17, angle), ArtRGB(0xFFE8E4DC));
        c.FillShape(Circle(17, 18, 2.2f), ArtRGB(0xFFD23A2A));
        SaveShown(out, folder + "Cursor_battle.tga", c);
    }
    // Talk to a friendly army: the arrow with a green pennant.
    {
        TArtCanvas c = ArrowCursor();
        Badge(c, FlagShape(), ArtRGB(0xFF5FB85A), 23, 23, 8);
        SaveShown(out, folder + "Cursor_action.tga", c);
    }
    // Enter a building: an arched doorway centred on the hot spot (17, 15).
    {
        TArtCanvas c(34, 34);
        TArtShape arch = Union(Circle(17, 9, 8.5f), Box(8.5f, 9, 17, 22));
        c.FillShape([&](float x, float y) { return arch(x, y) - 1.4f; }, Ink);
        c.PaintShape(
            arch, [](float, float y) { return MixColour(BronzeLight, BronzeDark, y / 34); }, 0, 0, 34, 34);
        TArtShape door = Union(Circle(17, 10, 5), Box(12, 10, 10, 18));
        c.PaintShape(
            door, [](float, float y) { return MixColour(ArtRGB(0xFFFFE29A), ArtRGB(0xFFB86A1E), y / 34); }, 0, 0, 34,
            34);
        c.FillShape(Circle(17, 15, 2), Ink);
        SaveShown(out, folder + "Cursor_enter.tga", c);
    }
    // Walk there: the arrow with a boot print.
    {
        TArtCanvas c = ArrowCursor();
        Badge(c, Union(Ellipse(0, -0.25f, 0.45f, 0.62f), Ellipse(0, 0.7f, 0.32f, 0.26f)), ArtRGB(0xFFD9CBB0), 24, 23,
              8);
        SaveShown(out, folder + "Cursor_move.tga", c);
    }
    // Look closer: the arrow with a magnifying glass.
    {
        TArtCanvas c = ArrowCursor();
        TArtShape glass = Union(Outline(Circle(-0.2f, -0.2f, 0.62f), 0.22f), Segment(0.25f, 0.25f, 0.85f, 0.85f, 0.3f));
        Badge(c, glass, ArtRGB(0xFFCFE3F0), 23, 23, 9);
        SaveShown(out, folder + "Inspect.tga", c);
    }
    // No way: the arrow with a red barred circle.
    {
        TArtCanvas c = ArrowCursor();
        TArtShape barred = Union(Outline(Circle(0, 0, 0.85f), 0.26f), Segment(-0.6f, -0.6f, 0.6f, 0.6f, 0.26f));
        Badge(c, barred, ArtRGB(0xFFE0402E), 23, 23, 8.5f);
        SaveShown(out, folder + "Cursor_stop.tga", c);
    }
}

// ---------------------------------------------------------------------------
// The loading window and the main menu

void SaveLoadingWindow(TArtOutput& out)
{
    Save(out, "Loading\\Frame.tga", LoadingPlate(420, 96, 95, 58));
    Save(out, "Loading\\Bar.tga", ProgressBar(230, 15));
    Save(out, "Loading\\TipFrame.tga", Plate(960, 128, 18, LookNormal, 0.9f));
}

void SaveMainMenu(TArtOutput& out)
{
    SaveButtonLooks(out, "MainMenu\\", {"Button.tga", "Button_Hover.tga", "Button_Pressed.tga", "Button_Disabled.tga"},
                    400, 64, 12);
    Save(out, "MainMenu\\Panel.tga", Plate(480, 640, 22, LookNormal, 0.82f));
}

// ---------------------------------------------------------------------------
// The shared sprites of the screens

void SaveCommonSprites(TArtOutput& out)
{
    const TArtColour lockTint = ArtRGB(0xB0100C08);
    {
        TArtCanvas c(96, 80, lockTint);
        Emblem(c, Place(PadlockShape(), 48, 40, 22), BronzeLight);
        Save(out, "Common\\Army_Locked.DDS", c);
    }
    {
        TArtCanvas c(96, 96, lockTint);
        Emblem(c, Place(PadlockShape(), 48, 48, 24), BronzeLight);
        Save(out, "Common\\Item_Locked.DDS", c);
    }
    {
        TArtCanvas c(96, 80);
        c.Glow(Outline(Box(6, 6, 84, 68, 8), 3), WithAlpha(BronzeGlow, 200), 5, 0, 0, 96, 80);
        c.FillShape(Outline(Box(6, 6, 84, 68, 8), 3), BronzeGlow);
        Save(out, "Common\\Army_Selection.DDS", c);
    }
    {
        TArtCanvas c(64, 64);
        Emblem(c, Place(ScrollShape(), 30, 36, 26), ArtRGB(0xFFE8D6A8));
        Emblem(c, Place(Segment(-0.9f, 0.9f, 0.9f, -0.9f, 0.16f), 40, 24, 20), ArtRGB(0xFFF4F0E6));
        Save(out, "Common\\Saving_Icon.DDS", c);
    }
    // Highlights of inventory cells and list rows: a glowing rim.
    const struct {
        const char* Name;
        int W, H;
    } highlights[] = {{"Invent_Selection.DDS", 96, 96},
                      {"Invent_Selection_Long.DDS", 96, 384},
                      {"Invent_Selection_List.DDS", 256, 64}};
    for (const auto& h : highlights) {
        TArtCanvas c(h.W, h.H);
        c.FillShape(Box(3, 3, h.W - 6.0f, h.H - 6.0f, 6), WithAlpha(BronzeGlow, 60));
        c.FillShape(Outline(Box(2, 2, h.W - 4.0f, h.H - 4.0f, 7), 3), BronzeGlow);
        Save(out, std::string("Common\\") + h.Name, c);
    }
    // Small round confirm and cancel buttons.
    const struct {
        const char* Suffix;
        const char* Ability;
        TLook Look;
    } looks[] = {{"", "Simple", LookNormal}, {"_Putted", "Putted", LookPressed}, {"_Lighten", "Lighten", LookHover}};
    for (const auto& l : looks) {
        Save(out, std::string("Common\\MiniButton_Ok") + l.Suffix + ".DDS",
             RoundButton(40, CheckShape(), ArtRGB(0xFF6CCB5F), l.Look));
        Save(out, std::string("Common\\MiniButton_Cancel") + l.Suffix + ".DDS",
             RoundButton(40, CrossShape(), ArtRGB(0xFFE0503C), l.Look));
        Save(out, std::string("Common\\Icons\\Abilities\\Sandglass_") + l.Ability + ".tga",
             RoundButton(64, HourglassShape(), BronzeLight, l.Look));
        Save(out, std::string("Common\\Icons\\Abilities\\Retreat_") + l.Ability + ".tga",
             RoundButton(64, FlagShape(), ArtRGB(0xFFF2EEE4), l.Look));
    }
    {
        TArtCanvas c(128, 128);
        Emblem(c, Place(GobletShape(), 64, 64, 56), ArtRGB(0xFFF0C050), 2.5f);
        Save(out, "Common\\Icons\\Items\\Trophy_04.DDS", c);
    }
    // The map screen's black backdrop; also the stand-in stage texture of the
    // background sprites until a background picture is chosen.
    Save(out, "Common\\Black.DDS", TArtCanvas(8, 8, ArtRGB(0xFF000000)), false);
}

void SaveWindowSprites(TArtOutput& out)
{
    const TArtColour none = {0, 0, 0, 0};
    const std::string common = "Windows\\Common\\";
    // An army panel slot is 81 x 98: the portrait (70 x 80) at (3, 8), the
    // health bar under it at (3, 89).
    SaveShown(out, common + "slot_army.DDS", Slot(81, 98, none, false));
    SaveShown(out, common + "slot_army_active.DDS", Slot(81, 98, none, true));
    const struct {
        const char* Name;
        TArtShape Symbol;
        float Degrees;
    } roles[] = {{"slot_melee.DDS", SwordShape(), 45},
                 {"slot_range.DDS", BowShape(), -45},
                 {"slot_support.DDS", PlusShape(0.8f, 0.42f), 0}};
    for (const auto& role : roles) {
        TArtCanvas c = Slot(81, 98, none, false);
        TArtCanvas mark = Icon(40, role.Symbol, WithAlpha(ArtRGB(0xFFB59A6E), 110), role.Degrees);
        c.Draw(mark, 20, 29);
        SaveShown(out, common + role.Name, c);
    }
    // The unit tree's node frames, drawn 14 left and 9 above a 70 x 83
    // node: dim for a node not owned, bright and glowing for an owned one.
    for (bool active : {false, true}) {
        TArtCanvas c(98, 101);
        if (active)
            c.Glow(Outline(Box(11.5f, 6.5f, 75, 88, 6), 2.5f), WithAlpha(BronzeGlow, 170), 5, 0, 0, 98, 101);
        c.PaintShape(
            Subtract(Box(9, 4, 80, 93, 8), Box(14, 9, 70, 83, 4)),
            [&](float, float y) {
                return ShadeColour(MixColour(BronzeLight, BronzeDark, y / 101), active ? 1.2f : 0.75f);
            },
            0, 0, 98, 101);
        c.FillShape(Outline(Box(14, 9, 70, 83, 4), 1), WithAlpha(Ink, 220));
        SaveShown(out, common + (active ? "slot_talent_active.DDS" : "slot_talent_inactive.DDS"), c);
    }
    // Stat and status icons.
    const std::string icons = common + "Icons\\";
    const TArtColour steel = ArtRGB(0xFFDCDCE0), red = ArtRGB(0xFFD8402E), gold = ArtRGB(0xFFF0C050);
    Save(out, icons + "Weapon_Sword.tga", Icon(32, SwordShape(), steel, 45));
    Save(out, icons + "Weapon_Bow.tga", Icon(32, BowShape(), ArtRGB(0xFFC8955A), -45));
    Save(out, icons + "Charact_SpellPower.tga", Icon(32, StarShape(0.95f, 0.42f, 5), ArtRGB(0xFF9F8CFF)));
    Save(out, icons + "Charact_Health.tga", Icon(32, HeartShape(), red));
    {
        TArtCanvas c = Icon(32, HeartShape(), red);
        c.FillShape(Place(PlusShape(0.55f, 0.3f), 16, 14, 12), ArtRGB(0xFFF4F4F4));
        Save(out, icons + "Charact_WoundHeal.tga", c);
    }
    Save(out, icons + "Charact_Initiative.tga", Icon(32, BoltShape(), ArtRGB(0xFFF6D24A)));
    Save(out, icons + "Charact_MeleeArmor.tga", Icon(32, ShieldShape(), ArtRGB(0xFFB8BCC4)));
    {
        TArtCanvas c = Icon(32, ShieldShape(), ArtRGB(0xFF7C9CC8));
        Emblem(c, Place(ArrowDownShape(), 16, 15, 8), ArtRGB(0xFFF0F0F0), 1);
        Save(out, icons + "Charact_DistantArmor.tga", c);
    }
    {
        TArtCanvas c = Icon(32, DropShape(), ArtRGB(0xFFF08A2A));
        c.FillShape(Place(DropShape(), 16, 20, 6), ArtRGB(0xFFFFE07A));
        Save(out, icons + "Charact_Willpower.tga", c);
    }
    // The marks beside a health bar: a wound (8 x 12, one per wound), a
    // horse (18 wide), the buff arrows (18 high).
    {
        TArtCanvas c(8, 12);
        Emblem(c, Place(DropShape(), 4, 6.3f, 4.6f), ArtRGB(0xFFC0201A), 0.9f);
        SaveShown(out, icons + "Status_Wounded.tga", c);
    }
    SaveShown(out, icons + "HorseShoe.tga", Icon(18, HorseshoeShape(), ArtRGB(0xFFB8B8C0)));
    {
        TArtCanvas up(14, 18), down(14, 18), both(18, 18);
        Emblem(up, Place(ArrowUpShape(), 7, 9, 7.5f), ArtRGB(0xFF5CC85A), 1);
        Emblem(down, Place(ArrowDownShape(), 7, 9, 7.5f), red, 1);
        Emblem(both, Place(ArrowUpShape(), 5, 9, 6), ArtRGB(0xFF5CC85A), 1);
        Emblem(both, Place(ArrowDownShape(), 13, 9, 6), red, 1);
        SaveShown(out, icons + "Icon_Arrow_Up.tga", up);
        SaveShown(out, icons + "Icon_Arrow_Down.tga", down);
        SaveShown(out, icons + "Icon_Arrows_Both.tga", both);
    }
    {
        TArtCanvas c = Icon(32, PersonShape(), ArtRGB(0xFF8AB4E0));
        Badge(c, StarShape(0.95f, 0.42f, 5), gold, 24, 8, 7);
        Save(out, icons + "Unit_Companion.tga", c);
    }
    {
        TArtCanvas c = Icon(32, PersonShape(), ArtRGB(0xFF9ACB7E));
        Badge(c, ShieldShape(), ArtRGB(0xFFB8BCC4), 24, 9, 7);
        Save(out, icons + "Unit_Vedidize.tga", c);
    }
    {
        TArtCanvas c = Icon(32, PersonShape(), ArtRGB(0xFFC8A8A0));
        Badge(c, CoinShape(0, 0, 0.9f), gold, 24, 9, 6.5f);
        Save(out, icons + "Unit_Mercenary.tga", c);
    }
    Save(out, icons + "NoIcon.tga", Icon(32, QuestionShape(), ArtRGB(0xFFB0A898)));

    // The older pictures still in use: gold coins and the new-level sign.
    {
        TArtCanvas c(64, 64);
        const float coins[][2] = {{22, 40}, {42, 42}, {32, 26}};
        for (const auto& coin : coins) {
            Emblem(c, Place(CoinShape(0, 0, 1), coin[0], coin[1], 14), gold, 1.5f);
            c.FillShape(Outline(Circle(coin[0], coin[1], 9.5f), 1.2f), ArtRGB(0xFFB88A20));
        }
        Save(out, "Windows\\_OldGraphics\\Gold.DDS", c);
    }
    {
        // Drawn over the portrait's lower half.
        TArtCanvas c(36, 36);
        Emblem(c, Place(StarShape(0.98f, 0.62f, 8), 18, 18, 16.5f), gold, 1.2f);
        Emblem(c, Place(ArrowUpShape(), 18, 18, 8.5f), ArtRGB(0xFF4CB048), 1);
        SaveShown(out, "Windows\\_OldGraphics\\NewLevelSign.DDS", c);
    }

    // The inventory: the state marks and the cells.
    const std::string inventory = "Windows\\Inventory\\";
    Save(out, inventory + "Dead.tga", Icon(48, SkullShape(), ArtRGB(0xFFE8E2D2)));
    {
        TArtCanvas c(48, 48);
        Emblem(c, Circle(24, 24, 20), ArtRGB(0xFFF2EEE4));
        c.FillShape(Place(PlusShape(0.8f, 0.34f), 24, 24, 16), red);
        Save(out, inventory + "Wounded.tga", c);
    }
    {
        TArtCanvas c = Icon(48, CoinShape(0, 0, 0.8f), gold);
        c.FillShape(Outline(Circle(24, 24, 20), 4), red);
        c.FillShape(Segment(10, 10, 38, 38, 4), red);
        Save(out, inventory + "NoMoney.tga", c);
    }
    // Cells: a bag cell (96), an equipment slot's floor (92, drawn 2 inside
    // its 96 cell), an amulet's (66 in a 70 cell), a personal item's (48 in 50).
    const struct {
        const char* Name;
        TArtColour Tint;
        int Size;
    } cells[] = {{"slot_character.DDS", ArtRGB(0x30806850), 92},
                 {"slot_amulets.DDS", ArtRGB(0x30A07AC8), 66},
                 {"slot_default.DDS", none, 48},
                 {"slot_inventory.DDS", none, 96},
                 {"slot_inventory_green.DDS", ArtRGB(0x7040B040), 96},
                 {"slot_inventory_red.DDS", ArtRGB(0x70C83020), 96}};
    for (const auto& cell : cells)
        SaveShown(out, inventory + cell.Name, Slot(cell.Size, cell.Size, cell.Tint, false));

    // The trees' connectors: straight up (a unit tree's child right above
    // its parent: 26 x 32, drawn 22 right and 84 below the child's top), and
    // up to either side.
    for (bool active : {false, true}) {
        const TArtColour colour = active ? BronzeGlow : ArtRGB(0xFF6E655A);
        const std::string stem = std::string("Windows\\Tent\\talent_arrow_") + (active ? "active" : "inactive");
        const struct {
            const char* Suffix;
            float X0, Y0, X1, Y1;
            int W, H;
        } arrows[] = {{"", 13, 30, 13, 3, 26, 32}, {"_02", 56, 56, 14, 14, 64, 64}, {"_03", 8, 56, 50, 14, 64, 64}};
        for (const auto& a : arrows) {
            TArtCanvas c(a.W, a.H);
            const float dx = a.X1 - a.X0, dy = a.Y1 - a.Y0, length = std::hypot(dx, dy);
            const float ux = dx / length, uy = dy / length;
            TArtShape shaft = Segment(a.X0, a.Y0, a.X1 - ux * 6, a.Y1 - uy * 6, 5);
            TArtShape head = Polygon({a.X1 + ux * 4, a.Y1 + uy * 4, a.X1 - ux * 10 - uy * 9, a.Y1 - uy * 10 + ux * 9,
                                      a.X1 - ux * 10 + uy * 9, a.Y1 - uy * 10 - ux * 9});
            if (active)
                c.Glow(Union(shaft, head), WithAlpha(BronzeGlow, 140), 3, 0, 0, a.W, a.H);
            Emblem(c, Union(shaft, head), colour, 1.2f);
            SaveShown(out, stem + a.Suffix + ".DDS", c);
        }
    }
    // The unit tree's connectors, one per link mark (the child 50, 97 or 145
    // to the right, "r", or to the left, "l"), from the parent's top up to
    // the child's foot; each picture stands where the tree draws it, 85
    // below the child's top and shifted by the mark's offset.
    for (bool active : {false, true}) {
        const TArtColour colour = active ? BronzeGlow : ArtRGB(0xFF6E655A);
        const std::string stem = std::string("Windows\\Tent\\talent_arrow_") + (active ? "active" : "inactive");
        const struct {
            const char* Suffix;
            int Offset, Dx;
        } links[] = {{"_r1", 50, -1},  {"_r2", 97, -24}, {"_r3", 145, -70},
                     {"_l1", -50, 43}, {"_l2", -97, 46}, {"_l3", -145, 47}};
        for (const auto& l : links) {
            // Centres in the picture: the child's foot and the parent's top.
            const float child = 35.0f - l.Dx, parent = 35.0f - l.Offset - l.Dx;
            const float x0 = std::max(3.0f, parent), x1 = std::max(3.0f, child);
            const int w = static_cast<int>(std::max(x0, x1)) + 4, h = 32;
            TArtCanvas c(w, h);
            const float dx = x1 - x0, dy = 3.0f - 29.0f, length = std::hypot(dx, dy);
            const float ux = dx / length, uy = dy / length;
            TArtShape shaft = Segment(x0, 29, x1 - ux * 5, 3 - uy * 5, 4);
            TArtShape head = Polygon({x1 + ux * 2, 3 + uy * 2, x1 - ux * 8 - uy * 6, 3 - uy * 8 + ux * 6,
                                      x1 - ux * 8 + uy * 6, 3 - uy * 8 - ux * 6});
            if (active)
                c.Glow(Union(shaft, head), WithAlpha(BronzeGlow, 140), 2, 0, 0, w, h);
            Emblem(c, Union(shaft, head), colour, 1);
            SaveShown(out, stem + l.Suffix + ".DDS", c);
        }
    }
    {
        TArtCanvas c = Plate(256, 48, 10, LookNormal);
        Save(out, "Tent\\Inventory_Lable.DDS", c);
        Save(out, "Tent\\Arrow.DDS", Icon(32, ArrowRightShape(), BronzeLight));
    }

    // The shop's cells: resting and under the mouse, plain, affordable, not.
    const std::string building = "Windows\\Building\\";
    const struct {
        const char* Name;
        TArtColour Tint;
        bool Active;
    } shop[] = {{"slot_shop_inactive.DDS", none, false},
                {"slot_shop_inactive_green.DDS", ArtRGB(0x5040B040), false},
                {"slot_shop_inactive_red.DDS", ArtRGB(0x50C83020), false},
                {"slot_shop_active.DDS", none, true},
                {"slot_shop_active_green.DDS", ArtRGB(0x5040B040), true},
                {"slot_shop_active_red.DDS", ArtRGB(0x50C83020), true}};
    for (const auto& s : shop)
        Save(out, building + s.Name, Slot(96, 144, s.Tint, s.Active));

    // The saved games' rows come with the save/load window's pictures.
}

} // namespace

// ---------------------------------------------------------------------------
// The look

namespace InterfaceLook {

TArtCanvas Plate(int width, int height, float radius, TLook look, float opacity)
{
    TArtCanvas c(width, height);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const float light = look == LookHover ? 1.3f : look == LookPressed ? 0.72f : look == LookDisabled ? 0.8f : 1.0f;
    static const TArtNoise grain(0x6B5A4C31u);
    const uint8_t alpha = static_cast<uint8_t>(std::lround(255 * opacity));
    if (look == LookHover)
        c.Glow(Box(1, 1, w - 2, h - 2, radius), WithAlpha(BronzeGlow, 170), 2, 0, 0, w, h);
    // The rim: bright on the upper edge, dark on the lower, as if lit from above.
    c.PaintShape(
        Box(1, 1, w - 2, h - 2, radius),
        [&](float, float y) {
            TArtColour rim = MixColour(BronzeLight, BronzeDark, y / h);
            if (look == LookDisabled)
                rim = MixColour(rim, ArtRGB(0xFF6A6660), 0.7f);
            return ShadeColour(rim, look == LookPressed ? 0.8f : light);
        },
        0, 0, w, h);
    c.FillShape(Outline(Box(5, 5, w - 10, h - 10, radius - 3), 1.2f), ShadeColour(Ink, 1));
    // The parchment, mottled, darker below; held down it is shaded from the top.
    c.PaintShape(
        Box(5.5f, 5.5f, w - 11, h - 11, radius - 4),
        [&](float x, float y) {
            const float mottle = grain.Fractal(x / 23, y / 23, 3);
            TArtColour base = MixColour(ParchmentMid, ParchmentDark, y / h * 0.9f + mottle * 0.35f);
            if (look == LookPressed)
                base = MixColour(Ink, base, std::min(1.0f, (y - 5) / 14));
            if (look == LookDisabled)
                base = MixColour(base, ArtRGB(0xFF3A3836), 0.6f);
            return WithAlpha(ShadeColour(base, light), alpha);
        },
        0, 0, w, h);
    // A thin highlight under the upper rim.
    if (look != LookPressed)
        c.FillShape(Box(radius, 6.5f, w - 2 * radius, 1.2f, 0.6f), WithAlpha(BronzeGlow, look == LookHover ? 110 : 55));
    // Small diamonds on the ends of wide plates.
    if (w > 2.5f * h && h >= 32) {
        for (float cx : {radius + 8, w - radius - 8}) {
            TArtShape diamond = Polygon({cx, h / 2 - 6, cx + 6, h / 2, cx, h / 2 + 6, cx - 6, h / 2});
            Emblem(c, diamond, ShadeColour(look == LookDisabled ? ArtRGB(0xFF8A8680) : BronzeLight, light), 1);
        }
    }
    return c;
}

TArtCanvas Slot(int width, int height, TArtColour tint, bool active)
{
    TArtCanvas c(width, height);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    c.PaintShape(
        Box(0.5f, 0.5f, w - 1, h - 1, 5),
        [&](float, float y) { return ShadeColour(MixColour(BronzeLight, BronzeDark, y / h), active ? 1.25f : 1.0f); },
        0, 0, w, h);
    // The floor, in shadow under its upper edge.
    c.PaintShape(
        Box(4, 4, w - 8, h - 8, 3),
        [&](float, float y) { return MixColour(Ink, ParchmentDark, std::min(1.0f, (y - 4) / 18)); }, 0, 0, w, h);
    if (tint.A > 0)
        c.FillShape(Box(4, 4, w - 8, h - 8, 3), tint);
    if (active)
        c.FillShape(Outline(Box(4, 4, w - 8, h - 8, 3), 2), WithAlpha(BronzeGlow, 200));
    return c;
}

TArtShape Place(const TArtShape& unit, float cx, float cy, float scale, float degrees)
{
    const float a = degrees * Pi / 180, cs = std::cos(a), sn = std::sin(a);
    return [=](float x, float y) {
        const float dx = (x - cx) / scale, dy = (y - cy) / scale;
        return unit(dx * cs + dy * sn, -dx * sn + dy * cs) * scale;
    };
}

void Emblem(TArtCanvas& canvas, const TArtShape& shape, TArtColour colour, float outline)
{
    const float w = static_cast<float>(canvas.Width()), h = static_cast<float>(canvas.Height());
    canvas.FillShape([&](float x, float y) { return shape(x, y) - outline; }, WithAlpha(Ink, 230), 0, 0, w, h);
    // Lit from above: lighter at the top of the picture, darker at the bottom.
    canvas.PaintShape(
        shape, [&](float, float y) { return MixColour(ShadeColour(colour, 1.18f), ShadeColour(colour, 0.72f), y / h); },
        0, 0, w, h);
}

} // namespace InterfaceLook

void GenerateInterfaceArt(TArtOutput& out)
{
    SaveLoadingWindow(out);
    SaveMainMenu(out);
    SaveCursors(out);
    SaveCommonSprites(out);
    SaveWindowSprites(out);
    GenerateInterfaceBackgrounds(out);
    GenerateScreenArt(out);
    GenerateIconArt(out);
    GeneratePortraitArt(out);
    GenerateSelectionArt(out);
    GenerateSaveLoadMenusArt(out);
    GenerateOptionsArt(out);
    GenerateBuildingArt(out);
}
