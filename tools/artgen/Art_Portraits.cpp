// The portraits: one per portrait name the sample unit table gives (a
// bust in the colours and headgear of the unit's figure, with the initial of
// its type), and the three stand-ins: "Random" (a hire slot drawing from a
// pool), "NotModel" (a type without a figure) and "Empty" (a figure without
// a portrait). The game stretches one picture to 230 x 190, 174 x 146 and
// 104 x 88 (and to the 70 x 80 tiles), so it is drawn at the largest size
// with shapes that still read at the smallest.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/artgen/ArtFont.h"
#include "tools/artgen/ArtPersFigures.h"
#include "tools/artgen/Art_Interface.h"

using namespace InterfaceLook;
using namespace ArtShapes;

namespace {

constexpr int Width = 230, Height = 190;

TArtColour Colour(const ArtLand::TColour& c)
{
    auto channel = [](float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f)); };
    return {channel(c.R), channel(c.G), channel(c.B), 255};
}

struct TBust {
    TArtColour Ground, Skin, Hair, Tunic, Cloak, Accent;
    ArtPers::THeadgear Headgear;
    bool Cape;
};

// The weapon a figure is drawn for, as a small sign in the upper corner:
// types that share an initial differ in it.
TArtShape WeaponSign(const std::vector<std::string>& prefixes)
{
    using namespace ArtSymbols;
    for (const std::string& p : prefixes) {
        if (p == "sword_" || p == "2hsword_" || p == "double_")
            return SwordShape();
        if (p == "bow_")
            return BowShape();
        if (p == "crossbow_")
            return CrossbowShape();
        if (p == "spear_" || p == "pike_")
            return SpearShape(0.45f);
        if (p == "staff_" || p == "rod_")
            return StarShape(0.95f, 0.42f, 5);
        if (p == "blunt_")
            return MaceShape();
    }
    return nullptr;
}

TArtCanvas Portrait(const TBust& b, const std::string& mark, TArtColour markColour, const TArtShape& sign = nullptr)
{
    TArtCanvas c(Width, Height);
    const float w = Width, h = Height, cx = w / 2;
    c.PaintShape(
        Box(0, 0, w, h, 10),
        [&](float, float y) { return MixColour(ShadeColour(b.Ground, 0.75f), ShadeColour(b.Ground, 0.25f), y / h); }, 0,
        0, w, h);
    // Light behind the head.
    c.Glow(Circle(cx, 70, 40), WithAlpha(ShadeColour(b.Ground, 1.6f), 110), 50, 0, 0, w, h);
    const bool beast = b.Headgear == ArtPers::hgBeast;
    if (beast) {
        // A wolf's head seen from the front: ears, muzzle, eyes.
        TArtShape head = Union(Ellipse(cx, 100, 58, 52), Union(Polygon({cx - 54, 84, cx - 44, 22, cx - 14, 62}),
                                                               Polygon({cx + 54, 84, cx + 44, 22, cx + 14, 62})));
        head = Union(head, Ellipse(cx, 140, 30, 34));
        Emblem(c, head, b.Skin, 2.5f);
        c.FillShape(Ellipse(cx, 150, 20, 18), ShadeColour(b.Skin, 1.3f));
        c.FillShape(Ellipse(cx, 135, 10, 7), Ink);
        for (float side : {-1.0f, 1.0f})
            c.FillShape(Ellipse(cx + side * 22, 96, 7, 5), ArtRGB(0xFFF0C040));
    } else {
        // Shoulders, cloak edges, neck, head.
        TArtShape shoulders = Intersect(Ellipse(cx, h + 20, 100, 78), Box(0, 0, w, h));
        Emblem(c, shoulders, b.Tunic, 2.5f);
        if (b.Cape)
            for (float side : {-1.0f, 1.0f})
                c.FillShape(Intersect(Ellipse(cx + side * 78, h + 10, 34, 70), Box(0, 0, w, h)), b.Cloak);
        c.FillShape(Box(cx - 15, 100, 30, 28, 6), ShadeColour(b.Skin, 0.8f));
        TArtShape head = Ellipse(cx, 78, 34, 42);
        Emblem(c, head, b.Skin, 2.5f);
        const TArtColour metal = ArtRGB(0xFFC8CCD4);
        switch (b.Headgear) {
        case ArtPers::hgLongHair:
            Emblem(c, Subtract(Union(Ellipse(cx, 66, 40, 38), Box(cx - 40, 66, 80, 62, 12)), Ellipse(cx, 86, 27, 36)),
                   b.Hair, 2);
            break;
        case ArtPers::hgCap:
            Emblem(c, Intersect(Ellipse(cx, 66, 38, 34), Box(0, 0, w, 62)), b.Accent, 2);
            break;
        case ArtPers::hgKettle:
            Emblem(c, Union(Intersect(Ellipse(cx, 64, 36, 34), Box(0, 0, w, 60)), Ellipse(cx, 58, 58, 8)), metal, 2);
            break;
        case ArtPers::hgBarbute:
            Emblem(c,
                   Subtract(Union(Ellipse(cx, 70, 38, 44), Box(cx - 38, 70, 76, 40, 8)), Box(cx - 14, 66, 28, 50, 6)),
                   metal, 2);
            break;
        case ArtPers::hgGreatHelm:
            Emblem(c, Box(cx - 38, 34, 76, 86, 14), metal, 2);
            c.FillShape(Box(cx - 28, 72, 56, 5), Ink);
            c.FillShape(Box(cx - 3, 26, 6, 14), b.Accent);
            break;
        case ArtPers::hgHood:
            Emblem(c, Subtract(Union(Ellipse(cx, 70, 46, 50), Box(cx - 46, 70, 92, 50)), Ellipse(cx, 86, 26, 34)),
                   b.Cloak, 2);
            break;
        case ArtPers::hgPointedHat:
            Emblem(c, Union(Polygon({cx - 8, 0, cx + 34, 58, cx - 34, 58}), Ellipse(cx, 58, 56, 8)), b.Accent, 2);
            break;
        default:
            Emblem(c, Intersect(Ellipse(cx, 68, 37, 36), Box(0, 0, w, 62)), b.Hair, 2);
            break;
        }
    }
    // The initial on the chest, big enough to read on the smallest tile.
    if (!mark.empty())
        ArtFont::DrawTextCentred(c, mark, beast ? w - 34 : cx, beast ? h - 34 : h - 34, 5, markColour,
                                 WithAlpha(Ink, 230), 2);
    if (sign) {
        c.FillShape(Circle(w - 36, 36, 29), WithAlpha(Ink, 170));
        Emblem(c, Place(sign, w - 36, 36, 24, 45), ArtRGB(0xFFE8E4DC), 2);
    }
    c.FillShape(Outline(Box(1, 1, w - 2, h - 2, 10), 3), Bronze);
    return c;
}

// The portrait names of the sample unit table: a type's model name, or the
// armoured hero's body with the head its table entry selects.
struct TPortrait {
    const char* File;
    const char* Figure; // the model whose look the bust takes
    const char* Initial;
};

const TPortrait Portraits[] = {
    {"DukeArmor0102", "DukeArmor01", "K"},   {"Mystic01", "Mystic01", "M"},
    {"Baroness01", "Baroness01", "B"},       {"Levy01", "Levy01", "V"},
    {"LevyArcher01", "LevyArcher01", "L"},   {"Militia01", "Militia01", "M"},
    {"MilitiaBow01", "MilitiaBow01", "M"},   {"Pikeman01", "Pikeman01", "P"},
    {"Crossbow01", "Crossbow01", "C"},       {"Footpad01", "Footpad01", "F"},
    {"Cutthroat01", "Cutthroat01", "C"},     {"Poacher01", "Poacher01", "P"},
    {"Brigand01", "Brigand01", "B"},         {"ManAtArms01", "ManAtArms01", "M"},
    {"Marksman01", "Marksman01", "M"},       {"Healer01", "Healer01", "H"},
    {"Knight02", "Knight02", "H"},           {"ArcherCaptain01", "ArcherCaptain01", "C"},
    {"Thaumaturge01", "Thaumaturge01", "C"}, {"Warden01", "Warden01", "W"},
    {"TowerArcher01", "TowerArcher01", "T"}, {"Wolf01", "Wolf01", "G"},
};

} // namespace

TArtCanvas NamedPortrait(const std::string& file)
{
    for (const TPortrait& p : Portraits) {
        if (file != p.File)
            continue;
        const ArtPers::TFigureLook* look = nullptr;
        for (const ArtPers::TFigureLook& l : ArtPers::FigureLooks())
            if (std::string(l.FileName) == p.Figure)
                look = &l;
        if (look == nullptr)
            throw TArtError(std::string("no figure ") + p.Figure + " for the portrait " + p.File);
        // The ground: the figure's clothing colour, lightened, so that dark
        // clothes still stand out from it.
        const TArtColour ground = MixColour(Colour(look->Beast ? look->Skin : look->Tunic), ArtRGB(0xFFB0A080), 0.45f);
        const TBust bust = {ground,
                            Colour(look->Skin),
                            Colour(look->Hair),
                            Colour(look->Tunic),
                            Colour(look->Cloak),
                            Colour(look->Accent),
                            look->Beast ? ArtPers::hgBeast : look->Headgear,
                            look->Cape};
        return Portrait(bust, p.Initial, Cream, WeaponSign(look->Prefixes));
    }
    throw TArtError("no portrait " + file);
}

void GeneratePortraitArt(TArtOutput& out)
{
    const std::string folder = "Common\\Icons\\Personages\\";
    for (const TPortrait& p : Portraits)
        SaveShown(out, folder + p.File + ".DDS", NamedPortrait(p.File));
    const TArtColour shadow = ArtRGB(0xFF3A3430);
    const TBust random = {ArtRGB(0xFF8A6A30), shadow, shadow, shadow, shadow, shadow, ArtPers::hgHood, false};
    SaveShown(out, folder + "Random.DDS", Portrait(random, "?", ArtRGB(0xFFF0C050)));
    const TBust notModel = {ArtRGB(0xFF505A66), ArtRGB(0xFF6A6A6A), ArtRGB(0xFF4A4A4A), ArtRGB(0xFF5A5A5A),
                            ArtRGB(0xFF4A4A4A), ArtRGB(0xFF6A6A6A), ArtPers::hgHair,    false};
    SaveShown(out, folder + "NotModel.DDS", Portrait(notModel, "-", ArtRGB(0xFFC0C0C0)));
    const TBust empty = {ArtRGB(0xFF3A3A3A), shadow, shadow, shadow, shadow, shadow, ArtPers::hgHair, false};
    SaveShown(out, folder + "Empty.DDS", Portrait(empty, "", Cream));
}
