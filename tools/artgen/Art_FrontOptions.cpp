// The options, tutorials and credits pictures: the options panel with its
// page tabs, choice buttons, check boxes and volume bars; the tutorials'
// frame, close and exit buttons, list marker and one picture per tutorial
// page (each with its title written on it); the candle's flame and glow.
#include <cmath>
#include <string>

#include "tools/artgen/ArtFont.h"
#include "tools/artgen/Art_Interface.h"

using namespace InterfaceLook;
using namespace ArtShapes;
using namespace ArtSymbols;

namespace {

const TLook Looks[4] = {LookNormal, LookHover, LookPressed, LookDisabled};
const char* const LookSuffixes[4] = {"", "_Hover", "_Pressed", "_Disabled"};

void SaveButtonLooks(TArtOutput& out, const std::string& base, int width, int height, float radius)
{
    for (int i = 0; i < 4; i++)
        Save(out, base + LookSuffixes[i] + ".tga", Plate(width, height, radius, Looks[i], 0.95f));
}

TArtCanvas OptionCheck(bool checked)
{
    TArtCanvas c = Slot(32, 32, WithAlpha(ParchmentDeep, 230), checked);
    if (checked)
        Emblem(c, Place(CheckShape(), 16, 16, 11), BronzeGlow);
    return c;
}

// The volume bar's groove, its two arrows and its knob.
void SaveBar(TArtOutput& out, const std::string& folder)
{
    TArtCanvas groove(474, 28);
    groove.FillShape(Box(2, 8, 470, 12, 6), WithAlpha(ParchmentDeep, 240));
    groove.FillShape(Outline(Box(2, 8, 470, 12, 6), 1.5f), Bronze);
    Save(out, folder + "BarGroove.tga", groove);
    for (int i = 0; i < 3; i++) {
        TArtCanvas left = RoundButton(28, ArrowRightShape(), BronzeLight, Looks[i]);
        TArtCanvas mirrored(28, 28);
        for (int y = 0; y < 28; y++)
            for (int x = 0; x < 28; x++)
                mirrored.Set(27 - x, y, left.Get(x, y));
        // The right arrow points right; the left one is its mirror image.
        Save(out, folder + "BarRight" + LookSuffixes[i] + ".tga", left);
        Save(out, folder + "BarLeft" + LookSuffixes[i] + ".tga", mirrored);
    }
    Save(out, folder + "BarKnob.tga", Plate(18, 28, 5, LookHover, 1));
    Save(out, folder + "BarKnob_Hover.tga", Plate(18, 28, 5, LookPressed, 1));
}

void SaveOptionsArt(TArtOutput& out)
{
    const std::string folder = "Windows\\Options\\";
    SaveShown(out, folder + "OptionsPanel.tga", Plate(1120, 860, 24, LookNormal, 0.95f));
    TArtCanvas well(1040, 560);
    well.FillShape(Box(0, 0, 1040, 560, 12), WithAlpha(ParchmentDeep, 150));
    well.FillShape(Outline(Box(1, 1, 1038, 558, 12), 1.5f), BronzeDark);
    Save(out, folder + "PageWell.tga", well);
    SaveButtonLooks(out, folder + "Page", 250, 50, 10);
    SaveButtonLooks(out, folder + "Choice", 160, 44, 9);
    SaveButtonLooks(out, folder + "Action", 220, 52, 10);
    Save(out, folder + "Check_Off.tga", OptionCheck(false));
    Save(out, folder + "Check_On.tga", OptionCheck(true));
    TArtCanvas paper(500, 120);
    paper.FillShape(Box(0, 0, 500, 120, 10), ArtRGB(0xFFE6D6AC));
    paper.FillShape(Outline(Box(1, 1, 498, 118, 10), 1.5f), Bronze);
    Save(out, folder + "LevelPaper.tga", paper);
    SaveBar(out, folder);
}

// A tutorial page: a scene sketch for its window, the title across the top.
TArtCanvas TutorialPicture(const std::string& title, int kind, int page, const std::string& language)
{
    const int w = 1100, h = 700;
    TArtCanvas c(w, h);
    const TArtColour skies[6] = {ArtRGB(0xFF35506A), ArtRGB(0xFF5A3A2A), ArtRGB(0xFF3A4A2A),
                                 ArtRGB(0xFF4A3A5A), ArtRGB(0xFF5A2A2A), ArtRGB(0xFF2A3A4A)};
    c.VerticalGradient(0, h, skies[kind % 6], ParchmentDeep);
    c.FillShape(Outline(Box(3, 3, w - 6, h - 6, 14), 5), Bronze);
    c.FillShape(Box(40, 110, w - 80, h - 170, 10), WithAlpha(ParchmentDark, 200));
    // One symbol per tutorial, one more copy per page.
    const TArtShape symbols[6] = {FlagShape(),           ShieldShape(), GobletShape(),
                                  CoinShape(0, 0, 0.9f), SwordShape(),  ScrollShape()};
    for (int i = 0; i <= page; i++)
        Emblem(c, Place(symbols[kind % 6], 230.0f + 320.0f * static_cast<float>(i), 400, 100), BronzeLight, 3);
    ArtFont::DrawTextCentred(c, title, w / 2.0f, 60, 6, Cream, Ink, 3);
    const std::string foot = "PAGE " + std::to_string(page + 1) + (language.empty() ? "" : "  " + language);
    ArtFont::DrawTextCentred(c, foot, w / 2.0f, h - 32.0f, 4, BronzeGlow, Ink, 2);
    return c;
}

struct TTutorialArt {
    const char* Image;
    const char* Title;
    int Pages;
    bool Russian; // a "_Rus" picture besides "_Eng"; else only "_Eng" and the base
};
const TTutorialArt TutorialArt[] = {
    {"Tutor_Map", "THE MAP", 3, true},       {"Tutor_Assault", "AN ASSAULT", 2, true},
    {"Tutor_Tent", "THE CAMP", 1, true},     {"Tutor_Building", "A TOWN", 2, true},
    {"Tutor_Battle", "THE BATTLE", 3, true}, {"Tutor_Journal", "THE JOURNAL", 1, false},
};

void SaveTutorialsArt(TArtOutput& out)
{
    const std::string folder = "Windows\\Tutorials\\";
    // The browser's frame: the list on the left, the picture on the right.
    TArtCanvas frame = Plate(1590, 950, 26, LookNormal, 0.97f);
    frame.FillShape(Box(5, 100, 420, 760, 10), WithAlpha(ArtRGB(0xFFE6D6AC), 255));
    frame.FillShape(Outline(Box(5, 100, 420, 760, 10), 2), BronzeDark);
    SaveShown(out, folder + "Window_Tutor.DDS", frame);
    for (int k = 0; k < 6; k++) {
        const TTutorialArt& t = TutorialArt[k];
        for (int p = 0; p < t.Pages; p++) {
            const std::string name = folder + t.Image + (t.Pages > 1 ? std::to_string(p + 1) : "");
            SaveShown(out, name + "_Eng.DDS", TutorialPicture(t.Title, k, p, ""), false);
            if (t.Russian)
                Save(out, name + "_Rus.DDS", TutorialPicture(t.Title, k, p, "RUS"), false);
            else
                Save(out, name + ".DDS", TutorialPicture(t.Title, k, p, "BASE"), false);
        }
    }
    const char* const states[3] = {"_inactive", "_active", "_click"};
    const TLook looks[3] = {LookNormal, LookHover, LookPressed};
    for (int i = 0; i < 3; i++) {
        Save(out, std::string("Windows\\common\\button_main_menu_01") + states[i] + ".DDS",
             Plate(240, 56, 10, looks[i], 0.97f));
        Save(out, std::string("Windows\\common\\exit_button") + states[i] + ".DDS",
             RoundButton(48, CrossShape(), BronzeGlow, looks[i]));
    }
    Save(out, folder + "Shade.tga", TArtCanvas(4, 4, ArtRGB(0xFF000000)));
    TArtCanvas marker(400, 64);
    marker.FillShape(Box(0, 0, 400, 64, 8), WithAlpha(BronzeLight, 110));
    Save(out, "Common\\marker.DDS", marker);
}

void SaveCandleArt(TArtOutput& out)
{
    // The particle systems take their textures by number: 1 the flame's
    // tongues, 2 the glow around it.
    const std::string folder = "Common\\Images\\Book_Candle\\";
    TArtCanvas flame(32, 64);
    flame.Glow(Ellipse(16, 40, 7, 18), ArtRGB(0xFFFFB040), 8, 0, 0, 32, 64);
    flame.FillShape(Ellipse(16, 41, 5, 16), ArtRGB(0xFFFFE8A0));
    flame.FillShape(Ellipse(16, 48, 3, 7), ArtRGB(0xFFFFFFF0));
    Save(out, folder + "Book_Candle1.TGA", flame);
    TArtCanvas glow(128, 128);
    glow.Glow(Circle(64, 64, 6), ArtRGB(0xFFFFC060), 56, 0, 0, 128, 128);
    Save(out, folder + "Book_Candle2.TGA", glow);

    // The end window's backdrop: a dark study, an open book and the candle
    // whose wick stands at the middle of the picture.
    const int w = 1280, h = 960;
    TArtCanvas c(w, h);
    c.PaintRect(0, 0, w, h, [&](float x, float y) {
        const float d = std::hypot(x - w / 2.0f, y - h / 2.0f) / (w * 0.75f);
        return MixColour(ArtRGB(0xFF3A2614), ArtRGB(0xFF060403), std::min(d * 1.4f, 1.0f));
    });
    const float cx = w / 2.0f, cy = h / 2.0f;
    // The book, open under the candle.
    c.FillShape(Polygon({cx - 380, cy + 300, cx - 10, cy + 270, cx - 10, cy + 420, cx - 400, cy + 440}),
                ArtRGB(0xFFCDB888));
    c.FillShape(Polygon({cx + 380, cy + 300, cx + 10, cy + 270, cx + 10, cy + 420, cx + 400, cy + 440}),
                ArtRGB(0xFFC4AE7E));
    for (int i = 0; i < 7; i++) {
        const float y = cy + 300 + 17.0f * static_cast<float>(i);
        c.FillShape(Segment(cx - 340, y + 4, cx - 60, y - 10, 2), WithAlpha(ParchmentMid, 140));
        c.FillShape(Segment(cx + 60, y - 10, cx + 340, y + 4, 2), WithAlpha(ParchmentMid, 140));
    }
    // The holder and the candle.
    c.FillShape(Ellipse(cx, cy + 262, 90, 18), BronzeDark);
    c.FillShape(Ellipse(cx, cy + 256, 80, 14), Bronze);
    c.PaintShape(
        Box(cx - 26, cy + 20, 52, 236, 6),
        [&](float x, float) { return MixColour(ArtRGB(0xFFF4E8CC), ArtRGB(0xFFB8A47E), std::abs(x - cx) / 26); },
        cx - 30, cy, cx + 30, cy + 260);
    c.FillShape(Ellipse(cx, cy + 22, 26, 6), ArtRGB(0xFFFFF6DC));
    c.FillShape(Segment(cx, cy + 22, cx, cy + 6, 3), Ink);
    c.Glow(Circle(cx, cy - 10, 20), ArtRGB(0xFFFFB050), 160, 0, 0, w, h);
    SaveShown(out, "Windows\\ScenarioEnd\\EndBackground.tga", c);
}

} // namespace

void GenerateOptionsArt(TArtOutput& out)
{
    SaveOptionsArt(out);
    SaveTutorialsArt(out);
    SaveCandleArt(out);
}
