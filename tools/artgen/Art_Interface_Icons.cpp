// The icons the sample tables name: an icon per item (shown in the 96-pixel
// cells), the skill and ability signs of the bonuses, the spells' icons in
// their three looks, and the coats of arms of buildings and armies. Each is
// one symbol in the interface's emblem style; things of a kind share a shape
// and differ in colour and detail, so that the player tells them apart.
#include <algorithm>
#include <cmath>
#include <string>

#include "tools/artgen/ArtFont.h"
#include "tools/artgen/Art_Interface.h"

using namespace InterfaceLook;
using namespace ArtShapes;
using namespace ArtSymbols;

namespace ArtSymbols {

// ---------------------------------------------------------------------------
// Symbols (box -1 .. 1, y down)

TArtShape SpearShape(float headLength)
{
    TArtShape shaft = Segment(0, 0.95f, 0, -0.95f + headLength, 0.09f);
    TArtShape head = Polygon(
        {0, -0.98f, 0.16f, -0.98f + headLength * 0.55f, 0, -0.95f + headLength, -0.16f, -0.98f + headLength * 0.55f});
    return Union(shaft, head);
}

TArtShape AxeShape()
{
    TArtShape haft = Segment(0, 0.92f, 0, -0.85f, 0.12f);
    TArtShape blade = Intersect(Circle(0.05f, -0.45f, 0.62f), Box(0.05f, -1.1f, 1, 1.3f));
    return Union(haft, Subtract(blade, Circle(0.95f, -0.45f, 0.25f)));
}

TArtShape MaceShape()
{
    TArtShape handle = Segment(0, 0.92f, 0, -0.3f, 0.12f);
    TArtShape head = Union(Circle(0, -0.55f, 0.34f), StarShape(0.6f, 0.3f, 8));
    TArtShape moved = [head](float x, float y) { return head(x, y + 0.55f); };
    return Union(handle, Intersect(moved, Circle(0, -0.55f, 0.62f)));
}

TArtShape DaggerShape()
{
    TArtShape blade = Polygon({-0.1f, 0.15f, -0.1f, -0.5f, 0, -0.78f, 0.1f, -0.5f, 0.1f, 0.15f});
    return Union(Union(blade, Box(-0.32f, 0.12f, 0.64f, 0.12f, 0.04f)), Segment(0, 0.25f, 0, 0.62f, 0.13f));
}

TArtShape LongSwordShape()
{
    TArtShape blade = Polygon({-0.08f, 0.4f, -0.08f, -0.82f, 0, -0.98f, 0.08f, -0.82f, 0.08f, 0.4f});
    TArtShape guard = Polygon({-0.45f, 0.34f, 0.45f, 0.34f, 0.38f, 0.46f, -0.38f, 0.46f});
    return Union(Union(blade, guard), Union(Segment(0, 0.46f, 0, 0.86f, 0.12f), Circle(0, 0.92f, 0.08f)));
}

TArtShape CrossbowShape()
{
    TArtShape stock = Segment(0, -0.7f, 0, 0.9f, 0.16f);
    TArtShape prod = Intersect(Outline(Circle(0, 0.1f, 0.85f), 0.12f), Box(-1, -1, 2, 0.6f));
    return Union(Union(stock, prod), Segment(-0.74f, -0.3f, 0.74f, -0.3f, 0.04f));
}

TArtShape ArrowsShape(float length, int count)
{
    TArtShape all = [](float, float) { return 1e9f; };
    for (int i = 0; i < count; i++) {
        const float x = (i - (count - 1) / 2.0f) * 0.28f;
        TArtShape shaft = Segment(x, 0.9f, x, -0.9f + 0.3f + (1 - length), 0.05f);
        TArtShape head =
            Polygon({x, -0.92f + (1 - length), x + 0.12f, -0.65f + (1 - length), x - 0.12f, -0.65f + (1 - length)});
        TArtShape fletch =
            Polygon({x - 0.12f, 0.62f, x, 0.5f, x + 0.12f, 0.62f, x + 0.12f, 0.88f, x, 0.76f, x - 0.12f, 0.88f});
        all = Union(all, Union(Union(shaft, head), fletch));
    }
    return Union(all, Box(-0.5f, 0.18f, 1, 0.14f, 0.05f));
}

TArtShape StaffShape(bool wand)
{
    if (wand)
        return Union(Segment(-0.55f, 0.75f, 0.35f, -0.35f, 0.12f), StarShape(0.38f, 0.16f, 5));
    return Union(Segment(0, 0.95f, 0, -0.5f, 0.12f), Circle(0, -0.7f, 0.24f));
}

TArtShape LanceShape()
{
    return Union(
        Polygon({0, -0.98f, 0.12f, 0.2f, -0.12f, 0.2f}),
        Union(Polygon({-0.3f, 0.2f, 0.3f, 0.2f, 0.12f, 0.5f, -0.12f, 0.5f}), Segment(0, 0.5f, 0, 0.95f, 0.1f)));
}

TArtShape HelmShape(int kind)
{
    TArtShape dome = Intersect(Circle(0, 0.15f, 0.72f), Box(-1, -1, 2, 1.15f));
    switch (kind) {
    case 1: // a soft cap
        return Union(Intersect(Ellipse(0, 0.2f, 0.72f, 0.6f), Box(-1, -1, 2, 1.2f)),
                     Box(-0.78f, 0.12f, 1.56f, 0.16f, 0.08f));
    case 2: // a wide brim
        return Union(dome, Ellipse(0, 0.18f, 0.98f, 0.18f));
    case 3: // open face
        return Subtract(Union(dome, Box(-0.72f, 0.1f, 1.44f, 0.7f, 0.1f)), Box(-0.26f, 0.05f, 0.52f, 0.8f, 0.1f));
    default: // closed, with a slit
        return Subtract(Box(-0.66f, -0.72f, 1.32f, 1.5f, 0.28f), Box(-0.5f, -0.12f, 1, 0.1f));
    }
}

TArtShape TorsoShape(bool robe)
{
    if (robe)
        return Polygon({-0.3f, -0.85f, 0.3f, -0.85f, 0.55f, -0.6f, 0.42f, -0.2f, 0.75f, 0.9f, -0.75f, 0.9f, -0.42f,
                        -0.2f, -0.55f, -0.6f});
    return Union(Polygon({-0.42f, -0.8f, 0.42f, -0.8f, 0.85f, -0.55f, 0.72f,  -0.1f, 0.5f,   -0.2f,
                          0.5f,   0.85f, -0.5f, 0.85f, -0.5f, -0.2f,  -0.72f, -0.1f, -0.85f, -0.55f}),
                 [](float, float) { return 1e9f; });
}

TArtShape HorseHeadShape()
{
    return Polygon({-0.2f, -0.95f, 0.05f, -0.6f, 0.5f,  -0.35f, 0.85f,  0.1f, 0.75f,  0.35f,
                    0.3f,  0.25f,  0.1f,  0.9f,  -0.6f, 0.9f,   -0.55f, 0.1f, -0.45f, -0.55f});
}

TArtShape FlaskShape(bool jar)
{
    if (jar)
        return Union(Box(-0.6f, -0.35f, 1.2f, 1.2f, 0.2f), Box(-0.7f, -0.6f, 1.4f, 0.26f, 0.08f));
    return Union(Circle(0, 0.3f, 0.62f),
                 Union(Box(-0.18f, -0.75f, 0.36f, 0.6f), Box(-0.26f, -0.9f, 0.52f, 0.18f, 0.05f)));
}

TArtShape RingShape()
{
    return Union(Subtract(Circle(0, 0.2f, 0.68f), Circle(0, 0.2f, 0.46f)),
                 Polygon({0, -0.95f, 0.25f, -0.55f, 0, -0.4f, -0.25f, -0.55f}));
}

TArtShape AmuletShape()
{
    TArtShape chain = Intersect(Outline(Ellipse(0, -0.35f, 0.55f, 0.6f), 0.06f), Box(-1, -1, 2, 0.9f));
    return Union(chain, Circle(0, 0.45f, 0.4f));
}

TArtShape DieShape()
{
    return Subtract(Box(-0.7f, -0.7f, 1.4f, 1.4f, 0.2f),
                    Union(Union(Circle(-0.35f, -0.35f, 0.13f), Circle(0, 0, 0.13f)), Circle(0.35f, 0.35f, 0.13f)));
}

TArtShape SealShape()
{
    return Union(StarShape(0.85f, 0.68f, 12), Segment(0, 0.6f, 0, 0.98f, 0.2f));
}

TArtShape PaviseShape()
{
    return Polygon({-0.6f, -0.9f, 0.6f, -0.9f, 0.62f, 0.7f, 0, 0.95f, -0.62f, 0.7f});
}

TArtShape BardingShape()
{
    return Union(Polygon({-0.9f, -0.4f, 0.9f, -0.4f, 0.8f, 0.75f, 0.4f, 0.5f, 0, 0.8f, -0.4f, 0.5f, -0.8f, 0.75f}),
                 Box(-0.9f, -0.62f, 1.8f, 0.26f, 0.1f));
}

TArtShape ClawShape()
{
    TArtShape all = [](float, float) { return 1e9f; };
    for (int i = -1; i <= 1; i++)
        all = Union(all, Polygon({i * 0.45f - 0.15f, 0.8f, i * 0.45f + 0.15f, 0.8f, i * 0.45f + 0.3f, -0.85f}));
    return all;
}

TArtShape PawShape()
{
    return Union(Ellipse(0, 0.35f, 0.5f, 0.42f), Union(Union(Circle(-0.55f, -0.25f, 0.2f), Circle(-0.2f, -0.58f, 0.2f)),
                                                       Union(Circle(0.2f, -0.58f, 0.2f), Circle(0.55f, -0.25f, 0.2f))));
}

TArtShape FistShape()
{
    return Union(Box(-0.55f, -0.5f, 1.1f, 0.8f, 0.25f), Box(-0.35f, 0.2f, 0.7f, 0.7f, 0.1f));
}

TArtShape FlameShape()
{
    return Union(Polygon({0, -0.95f, 0.5f, -0.1f, 0.55f, 0.4f, 0, 0.9f, -0.55f, 0.4f, -0.5f, -0.1f}),
                 Circle(0, 0.38f, 0.52f));
}

TArtShape MoonShape()
{
    return Subtract(Circle(0, 0, 0.8f), Circle(0.35f, -0.2f, 0.65f));
}

} // namespace ArtSymbols

namespace {

// ---------------------------------------------------------------------------
// Items: Common\Icons\Items\ (the cells show them at 92, two inside 96)

struct TItemIcon {
    const char* File;
    TArtShape Shape;
    TArtColour Colour;
    float Degrees;
};

void SaveItemIcons(TArtOutput& out)
{
    const TArtColour steel = ArtRGB(0xFFD8DCE2), wood = ArtRGB(0xFFB07A48), iron = ArtRGB(0xFF9AA0A8);
    const TArtColour leather = ArtRGB(0xFF9A6A3C), gold = ArtRGB(0xFFF0C050);
    const TItemIcon items[] = {
        {"Spear_Militia", SpearShape(0.45f), wood, 45},
        {"Sword_Footman", SwordShape(), steel, 45},
        {"Axe_Hand", AxeShape(), iron, 30},
        {"Pike", SpearShape(0.3f), ArtRGB(0xFFC8A070), 45},
        {"Bow_Hunting", BowShape(), wood, -45},
        {"Crossbow", CrossbowShape(), ArtRGB(0xFF8A6A48), 30},
        {"Arrows", ArrowsShape(1, 3), ArtRGB(0xFFD8C090), 20},
        {"Bolts", ArrowsShape(0.75f, 4), ArtRGB(0xFFA8B0B8), 20},
        {"Staff_Oak", StaffShape(false), ArtRGB(0xFF8A6038), 30},
        {"Lance", LanceShape(), ArtRGB(0xFFE0D0B0), 40},
        {"Mace_Rider", MaceShape(), iron, 35},
        {"Dagger_Long", DaggerShape(), steel, 40},
        {"Shield_Round", Union(Circle(0, 0, 0.85f), Circle(0, 0, 0.2f)), ArtRGB(0xFFB07A48), 0},
        {"Shield_Kite", ShieldShape(), ArtRGB(0xFF5A7AB8), 0},
        {"Pavise", PaviseShape(), ArtRGB(0xFF8A3A30), 0},
        {"Helm_Cap", HelmShape(1), leather, 0},
        {"Helm_Kettle", HelmShape(2), iron, 0},
        {"Helm_Barbute", HelmShape(3), steel, 0},
        {"Helm_Great", HelmShape(4), ArtRGB(0xFFC8CCD4), 0},
        {"Armor_Padded", TorsoShape(false), ArtRGB(0xFFC8B48A), 0},
        {"Armor_Mail", TorsoShape(false), ArtRGB(0xFF9AA4B0), 0},
        {"Armor_Plate", TorsoShape(false), ArtRGB(0xFFE0E4EA), 0},
        {"Robe_Travel", TorsoShape(true), ArtRGB(0xFF7A6A4A), 0},
        {"Gown_Silk", TorsoShape(true), ArtRGB(0xFFB84A7A), 0},
        {"Horse_Grey", HorseHeadShape(), ArtRGB(0xFFB8B8BC), 0},
        {"Barding", BardingShape(), ArtRGB(0xFF4A6AB0), 0},
        {"Potion_Red", FlaskShape(false), ArtRGB(0xFFD8342A), 0},
        {"Potion_Salve", FlaskShape(true), ArtRGB(0xFF7AB85A), 0},
        {"Potion_Blue", FlaskShape(false), ArtRGB(0xFF3A6AD8), 0},
        {"Ring_Copper", RingShape(), ArtRGB(0xFFD8864A), 0},
        {"Amulet_Grey", AmuletShape(), ArtRGB(0xFFA8ACB4), 0},
        {"Trophy_Standard", FlagShape(), ArtRGB(0xFFB83A30), 0},
        {"Trophy_Die", DieShape(), ArtRGB(0xFFEAE2D0), 15},
        {"Trophy_Seal", SealShape(), ArtRGB(0xFFB8302A), 0},
        {"Sword_Long", LongSwordShape(), steel, 45},
        {"Wand_Embers", StaffShape(true), ArtRGB(0xFFF08A3A), 0},
        // Companions: followers carried as items, a figure in their colour.
        {"Companion_Bard", PersonShape(), ArtRGB(0xFF3A8AC8), 0},
        {"Companion_Herbalist", PersonShape(), ArtRGB(0xFF5AA84A), 0},
    };
    for (const TItemIcon& item : items) {
        TArtCanvas c(92, 92);
        c.Glow(Circle(46, 46, 30), WithAlpha(ParchmentMid, 90), 12, 0, 0, 92, 92);
        Emblem(c, Place(item.Shape, 46, 46, 43, item.Degrees), item.Colour, 2.5f);
        // Mail shows its rings, plate its ridge: the three armours differ
        // in more than colour.
        const std::string file = item.File;
        if (file == "Armor_Mail")
            for (int y = 30; y < 74; y += 7)
                for (int x = 30 + (y / 7 % 2) * 3; x < 64; x += 7)
                    c.FillShape(Outline(Circle(x, y, 2.2f), 0.8f), WithAlpha(Ink, 150), x - 4, y - 4, x + 4, y + 4);
        if (file == "Armor_Plate")
            c.FillShape(Segment(46, 20, 46, 72, 1.6f), WithAlpha(ArtRGB(0xFFFFFFFF), 160));
        if (file == "Armor_Padded")
            for (int y = 32; y < 76; y += 9)
                c.FillShape(Box(28, y, 36, 1.4f), WithAlpha(Ink, 120));
        if (file == "Shield_Round") {
            c.FillShape(Outline(Circle(46, 46, 30), 3), ArtRGB(0xFF8A8E96));
            Emblem(c, Circle(46, 46, 8), ArtRGB(0xFFC8CCD4), 1.5f);
        }
        if (file == "Trophy_Standard")
            Emblem(c, Place(StarShape(0.9f, 0.4f, 5), 52, 30, 8), gold, 1);
        SaveShown(out, "Common\\Icons\\Items\\" + file + ".DDS", c);
    }
}

// ---------------------------------------------------------------------------
// Bonuses: the skills' signs (32, in the windows' icon folder) and the
// battle abilities' round buttons (64, three looks).

void SaveBonusIcons(TArtOutput& out)
{
    const TArtColour steel = ArtRGB(0xFFD8DCE2), wood = ArtRGB(0xFFB07A48), iron = ArtRGB(0xFF9AA0A8);
    const TItemIcon skills[] = {
        {"Sword", SwordShape(), steel, 45},
        {"Axe", AxeShape(), iron, 30},
        {"Mace", MaceShape(), iron, 35},
        {"Dagger", DaggerShape(), steel, 40},
        {"Spear", SpearShape(0.45f), wood, 45},
        {"LongSword", LongSwordShape(), ArtRGB(0xFFB8D0F0), 45},
        {"Pike", SpearShape(0.3f), ArtRGB(0xFFC8A070), 45},
        {"Lance", LanceShape(), ArtRGB(0xFFE0D0B0), 40},
        {"Bow", BowShape(), wood, -45},
        {"Arbalet", CrossbowShape(), ArtRGB(0xFF8A6A48), 30},
        {"Staff", StaffShape(false), ArtRGB(0xFF8A6038), 30},
        {"Wand", StaffShape(true), ArtRGB(0xFFF08A3A), 0},
        {"Hand", FistShape(), ArtRGB(0xFFE0B090), 0},
        {"Claws", ClawShape(), ArtRGB(0xFFE8E0D0), 15},
        {"Paw", PawShape(), ArtRGB(0xFF9A7A5A), 0},
    };
    for (const TItemIcon& s : skills)
        SaveShown(out, std::string("Windows\\Common\\Icons\\") + s.File + ".tga",
                  Icon(32, s.Shape, s.Colour, s.Degrees));
    // Sword and knife: the two blades crossed.
    {
        TArtCanvas c(32, 32);
        Emblem(c, Place(SwordShape(), 16, 16, 14, 40), steel, 1.3f);
        Emblem(c, Place(DaggerShape(), 16, 16, 13, -40), ArtRGB(0xFFE8C890), 1.3f);
        SaveShown(out, "Windows\\Common\\Icons\\SwordDagger.tga", c);
    }
    const TItemIcon abilities[] = {
        {"Parry", Union(Place(SwordShape(), 0, 0, 1, 40), Place(SwordShape(), 0, 0, 1, -40)), steel, 0},
        {"AimedShot", Union(Outline(Circle(0, 0, 0.75f), 0.14f), PlusShape(0.95f, 0.12f)), ArtRGB(0xFFE8503A), 0},
        {"Cover", ShieldShape(), ArtRGB(0xFF5A7AB8), 0},
        {"Defense", Union(Place(ShieldShape(), -0.35f, 0.05f, 0.7f), Place(ShieldShape(), 0.35f, 0.05f, 0.7f)),
         ArtRGB(0xFFB8BCC4), 0},
        {"Meditation", MoonShape(), ArtRGB(0xFF9F8CFF), 0},
        {"CounterSpear",
         Union(Segment(0, 0.95f, 0, -0.4f, 0.2f), Polygon({0, -0.98f, 0.3f, -0.5f, 0, -0.3f, -0.3f, -0.5f})),
         ArtRGB(0xFFE0C080), -30},
    };
    const struct {
        const char* Suffix;
        TLook Look;
    } looks[] = {{"_Simple", LookNormal}, {"_Lighten", LookHover}, {"_Putted", LookPressed}};
    for (const TItemIcon& a : abilities)
        for (const auto& l : looks)
            SaveShown(out, std::string("Common\\Icons\\Abilities\\") + a.File + l.Suffix + ".DDS",
                      RoundButton(64, Place(a.Shape, 0, 0, 1, a.Degrees), a.Colour, l.Look));
}

// ---------------------------------------------------------------------------
// Spells: Common\Icons\Spells\, the icon and its held and lit looks.

void SaveSpellIcons(TArtOutput& out)
{
    const TItemIcon spells[] = {
        {"KindledBolt", BoltShape(), ArtRGB(0xFFF08A2A), 0},
        {"TwinBolt", Union(Place(BoltShape(), -0.35f, 0, 0.7f), Place(BoltShape(), 0.35f, 0, 0.7f)), ArtRGB(0xFFF0602A),
         0},
        {"WarmHands", FlameShape(), ArtRGB(0xFFF0A040), 0},
        {"MendingChorus", HeartShape(), ArtRGB(0xFF5CC85A), 0},
        {"QuietWard", Union(Outline(Circle(0, 0, 0.82f), 0.16f), ShieldShape()), ArtRGB(0xFF7AB0E8), 0},
    };
    const struct {
        const char* Suffix;
        TLook Look;
    } looks[] = {{"", LookNormal}, {"_lighten", LookHover}, {"_putted", LookPressed}};
    for (const TItemIcon& s : spells)
        for (const auto& l : looks)
            SaveShown(out, std::string("Common\\Icons\\Spells\\") + s.File + l.Suffix + ".DDS",
                      RoundButton(64, s.Shape, s.Colour, l.Look));
    SaveShown(out, "Common\\Icons\\Spells\\NoSpell.DDS",
              RoundButton(64, QuestionShape(), ArtRGB(0xFFB0A898), LookDisabled));
}

// ---------------------------------------------------------------------------
// Coats of arms: a shield parted in two colours with a charge, at 64 (shown
// at 54) and at 32 (shown at 32, 26 and 16).

void SaveCoats(TArtOutput& out)
{
    const struct {
        TArtColour Field, Second;
        int Parting; // 0 per pale, 1 per fess, 2 per bend
        TArtShape Charge;
    } coats[] = {
        {ArtRGB(0xFF2A4A9A), ArtRGB(0xFFE8E0D0), 0, StarShape(0.95f, 0.42f, 5)},
        {ArtRGB(0xFFA8302A), ArtRGB(0xFFF0C050), 1, SwordShape()},
        {ArtRGB(0xFF2A7A3A), ArtRGB(0xFFF0C050), 2, HeartShape()},
        {ArtRGB(0xFF3A3A40), ArtRGB(0xFFD8DCE2), 0, MoonShape()},
        {ArtRGB(0xFF7A3A8A), ArtRGB(0xFFE8E0D0), 1, FlameShape()},
        {ArtRGB(0xFFD8A030), ArtRGB(0xFF2A2A30), 2, HorseHeadShape()},
        {ArtRGB(0xFF2A6A8A), ArtRGB(0xFFD8DCE2), 0, SealShape()},
        {ArtRGB(0xFF8A5A2A), ArtRGB(0xFFE8D8B0), 1, AxeShape()},
    };
    int n = 0;
    for (const auto& coat : coats) {
        n++;
        const std::string name = std::string("Coat") + (n < 10 ? "0" : "") + std::to_string(n) + ".DDS";
        for (int size : {64, 32}) {
            TArtCanvas c(size, size);
            const float s = static_cast<float>(size), half = s / 2;
            TArtShape shield = Place(ShieldShape(), half, half, half - 2);
            c.FillShape([&](float x, float y) { return shield(x, y) - s / 24; }, BronzeDark);
            c.PaintShape(
                shield,
                [&](float x, float y) {
                    const bool second = coat.Parting == 0 ? x > half : coat.Parting == 1 ? y > half * 0.9f : x + y > s;
                    return second ? coat.Second : coat.Field;
                },
                0, 0, s, s);
            Emblem(c, Place(coat.Charge, half, half * 0.9f, half * 0.42f), ArtRGB(0xFFF6F2E8), std::max(1.0f, s / 40));
            SaveShown(out, std::string("Common\\Icons\\Coats\\") + (size == 32 ? "32\\" : "") + name, c);
        }
    }
}

} // namespace

void GenerateIconArt(TArtOutput& out)
{
    SaveItemIcons(out);
    SaveBonusIcons(out);
    SaveSpellIcons(out);
    SaveCoats(out);
}
