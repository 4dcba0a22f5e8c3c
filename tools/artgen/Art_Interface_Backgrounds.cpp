// The backgrounds of the menu and the loading windows: fourteen landscapes at
// dusk or by night, drawn from gradients and silhouettes. Each is drawn in the
// interface's virtual screen (1500 x 1050) and stored on a 2048 x 1024
// texture, which the window stretches back over the screen. The subject
// stands to one side, so the menu's column in the middle stays clear.
#include <algorithm>
#include <cmath>
#include <string>

#include "engine/QX9_System.h"
#include "tools/artgen/Art_Interface.h"

using namespace ArtShapes;

namespace {

constexpr float VirtualWidth = 1500, VirtualHeight = 1050;
constexpr int TextureWidth = 2048, TextureHeight = 1024;
constexpr float Horizon = 660;

struct TPalette {
    TArtColour SkyTop, SkyHorizon, Haze, Far, Near, Ground, Silhouette, Window, Light;
};

const TPalette Dusk = {ArtRGB(0xFF27304A), ArtRGB(0xFFD99A5C), ArtRGB(0xFFB7866A),
                       ArtRGB(0xFF6A5058), ArtRGB(0xFF3E3038), ArtRGB(0xFF1E1716),
                       ArtRGB(0xFF17110F), ArtRGB(0xFF8A6A40), ArtRGB(0xFFFFD28A)};
const TPalette Night = {ArtRGB(0xFF05070F), ArtRGB(0xFF1D2944), ArtRGB(0xFF2A3654),
                        ArtRGB(0xFF1A2238), ArtRGB(0xFF111626), ArtRGB(0xFF0A0C14),
                        ArtRGB(0xFF07080E), ArtRGB(0xFFFFC25A), ArtRGB(0xFFE8EEFF)};

// A landscape in virtual coordinates over the texture's pixels.
class TScene {
public:
    TScene(const TPalette& palette, bool night, uint32_t seed)
        : P(palette), IsNight(night), Noise(seed), C(TextureWidth, TextureHeight, ArtRGB(0xFF000000))
    {
    }

    const TPalette& P;
    const bool IsNight;
    TArtNoise Noise;
    TArtCanvas C;

    // Shapes and paints take virtual coordinates; the box is virtual too.
    void Paint(const TArtShape& shape, const TArtPaint& paint, float x0, float y0, float x1, float y1)
    {
        C.PaintShape([&](float x, float y) { return shape(x / ScaleX, y / ScaleY) * ScaleY; },
                     [&](float x, float y) { return paint(x / ScaleX, y / ScaleY); }, x0 * ScaleX, y0 * ScaleY,
                     x1 * ScaleX, y1 * ScaleY);
    }
    void Fill(const TArtShape& shape, TArtColour c, float x0, float y0, float x1, float y1)
    {
        Paint(
            shape, [c](float, float) { return c; }, x0, y0, x1, y1);
    }
    void Glow(float cx, float cy, float radius, TArtColour c)
    {
        Paint(
            Circle(cx, cy, radius),
            [&](float x, float y) {
                const float t = 1 - std::min(1.0f, std::hypot(x - cx, y - cy) / radius);
                return WithAlpha(c, static_cast<uint8_t>(c.A * t * t));
            },
            cx - radius, cy - radius, cx + radius, cy + radius);
    }
    // Fills every column from the height h(x) down to the bottom.
    void Ridge(const std::function<float(float)>& height, const TArtPaint& paint)
    {
        for (int px = 0; px < TextureWidth; px++) {
            const float x = (px + 0.5f) / ScaleX;
            const float top = height(x) * ScaleY;
            for (int py = std::max(0, static_cast<int>(top) - 1); py < TextureHeight; py++) {
                const float cover = std::min(1.0f, std::max(0.0f, py + 1 - top));
                C.Blend(px, py, paint(x, (py + 0.5f) / ScaleY), cover);
            }
        }
    }
    void Rect(float x, float y, float w, float h, TArtColour c) { Fill(Box(x, y, w, h), c, x, y, x + w, y + h); }

    static constexpr float ScaleX = TextureWidth / VirtualWidth, ScaleY = TextureHeight / VirtualHeight;
};

// ---------------------------------------------------------------------------
// Sky, land and air

void Sky(TScene& s, float sunX)
{
    s.Paint(
        Box(0, 0, VirtualWidth, VirtualHeight),
        [&](float x, float y) {
            const float t = std::pow(std::min(1.0f, y / Horizon), 1.6f);
            TArtColour c = MixColour(s.P.SkyTop, s.P.SkyHorizon, t);
            // Long bands of cloud lit from below.
            const float cloud = s.Noise.Fractal(x / 420, y / 60, 4);
            const float amount = std::max(0.0f, cloud - 0.52f) * 2.4f * (1 - std::min(1.0f, y / Horizon) * 0.4f);
            const TArtColour lit = s.IsNight ? ArtRGB(0xFF3A4566) : ArtRGB(0xFFE6A878);
            return MixColour(c, MixColour(lit, s.P.SkyTop, 1 - t), amount);
        },
        0, 0, VirtualWidth, VirtualHeight);
    if (s.IsNight) {
        for (int i = 0; i < 420; i++) {
            const float x = static_cast<float>(RandomInt(1500)), y = static_cast<float>(RandomInt(600));
            const uint8_t a = static_cast<uint8_t>(60 + RandomInt(180) * (1 - y / 700));
            s.Fill(Circle(x, y, 0.6f + RandomInt(10) / 10.0f), WithAlpha(ArtRGB(0xFFF4F2E8), a), x - 3, y - 3, x + 3,
                   y + 3);
        }
        // The moon, a little past full.
        s.Glow(sunX, 190, 220, WithAlpha(ArtRGB(0xFF8090C0), 70));
        s.Paint(
            Subtract(Circle(sunX, 190, 46), Circle(sunX - 20, 180, 40)),
            [&](float x, float y) {
                const float spot = s.Noise.At(x / 14, y / 14);
                return ShadeColour(ArtRGB(0xFFF2EEDC), 0.85f + 0.15f * spot);
            },
            sunX - 50, 140, sunX + 50, 240);
    } else {
        s.Glow(sunX, Horizon - 40, 460, WithAlpha(ArtRGB(0xFFFFC070), 120));
        s.Fill(Circle(sunX, Horizon - 40, 38), ArtRGB(0xFFFFE0A0), sunX - 40, Horizon - 80, sunX + 40, Horizon);
    }
}

// Rolling land from the noise: base height, swing, feature size, colour.
void Hills(TScene& s, float base, float swing, float size, float row, TArtColour colour)
{
    s.Ridge([&](float x) { return base - swing * s.Noise.Fractal(x / size, row, 3); },
            [&](float, float y) {
                // Lighter and hazier at the top of each range.
                const float haze = std::max(0.0f, 1 - (y - base + swing) / 220);
                return MixColour(colour, s.P.Haze, haze * 0.25f);
            });
}

void Ground(TScene& s, float base)
{
    s.Ridge([&](float x) { return base - 30 * s.Noise.Fractal(x / 260, 9.5f, 2); },
            [&](float x, float y) {
                const float grain = s.Noise.Fractal(x / 40, y / 12, 2);
                return ShadeColour(s.P.Ground, 0.8f + 0.4f * grain);
            });
}

// Darker corners draw the eye to the middle.
void Vignette(TScene& s)
{
    s.Paint(
        Box(0, 0, VirtualWidth, VirtualHeight),
        [&](float x, float y) {
            const float dx = (x / VirtualWidth - 0.5f) * 1.6f, dy = (y / VirtualHeight - 0.5f) * 1.8f;
            const float d = std::min(1.0f, dx * dx + dy * dy);
            return WithAlpha(ArtRGB(0xFF000000), static_cast<uint8_t>(150 * d * d));
        },
        0, 0, VirtualWidth, VirtualHeight);
}

// ---------------------------------------------------------------------------
// Buildings and things

void Window(TScene& s, float x, float y, float w, float h)
{
    if (s.IsNight)
        s.Glow(x + w / 2, y + h / 2, std::max(w, h) * 2.2f, WithAlpha(s.P.Window, 70));
    s.Fill(Box(x, y, w, h, std::min(w, h) * 0.3f), s.P.Window, x, y, x + w, y + h);
}

void House(TScene& s, float x, float base, float w, float h, float roof, bool chimney = true)
{
    s.Rect(x, base - h, w, h, s.P.Silhouette);
    s.Fill(Polygon({x - 10, base - h + 2, x + w / 2, base - h - roof, x + w + 10, base - h + 2}), s.P.Silhouette,
           x - 12, base - h - roof, x + w + 12, base - h + 4);
    if (chimney)
        s.Rect(x + w * 0.7f, base - h - roof * 0.8f, w * 0.1f, roof * 0.6f, s.P.Silhouette);
    const int rows = std::max(1, static_cast<int>(h / 45)), columns = std::max(1, static_cast<int>(w / 40));
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < columns; c++)
            if ((r * 7 + c * 3 + static_cast<int>(x)) % 3 != 0)
                Window(s, x + (c + 0.5f) * w / columns - 6, base - h + 14 + r * 42, 12, 17);
}

void Tower(TScene& s, float x, float base, float w, float h, bool cone)
{
    s.Rect(x, base - h, w, h, s.P.Silhouette);
    if (cone) {
        s.Fill(Polygon({x - 8, base - h + 1, x + w / 2, base - h - w * 1.3f, x + w + 8, base - h + 1}), s.P.Silhouette,
               x - 10, base - h - w * 1.4f, x + w + 10, base - h + 2);
    } else {
        for (float cx = x - 4; cx < x + w; cx += 16)
            s.Rect(cx, base - h - 12, 9, 13, s.P.Silhouette);
    }
    Window(s, x + w / 2 - 5, base - h + 40, 10, 22);
}

void Wall(TScene& s, float x0, float x1, float base, float h)
{
    s.Rect(x0, base - h, x1 - x0, h, s.P.Silhouette);
    for (float x = x0; x < x1 - 6; x += 18)
        s.Rect(x, base - h - 10, 10, 11, s.P.Silhouette);
}

void Tree(TScene& s, float x, float base, float size)
{
    s.Fill(Segment(x, base, x, base - size * 0.7f, size * 0.12f), s.P.Silhouette, x - size, base - size * 2, x + size,
           base);
    TArtShape crown = Union(
        Union(Circle(x, base - size * 1.15f, size * 0.45f), Circle(x - size * 0.35f, base - size * 0.8f, size * 0.38f)),
        Circle(x + size * 0.35f, base - size * 0.82f, size * 0.4f));
    s.Fill(crown, s.P.Silhouette, x - size, base - size * 1.7f, x + size, base - size * 0.3f);
}

void Pine(TScene& s, float x, float base, float size)
{
    s.Fill(Polygon({x, base - size * 1.8f, x + size * 0.5f, base - size * 0.2f, x - size * 0.5f, base - size * 0.2f}),
           s.P.Silhouette, x - size, base - size * 2, x + size, base);
    s.Rect(x - size * 0.06f, base - size * 0.25f, size * 0.12f, size * 0.25f, s.P.Silhouette);
}

// ---------------------------------------------------------------------------
// The subjects

void Altar(TScene& s)
{
    Hills(s, 610, 120, 520, 1.5f, s.P.Far);
    // A round hill on the right crowned by a ring of standing stones.
    s.Fill(Ellipse(1180, 900, 460, 300), s.P.Near, 700, 590, 1500, 1050);
    const float stones[][3] = {{960, 650, 70},  {1030, 628, 95}, {1110, 618, 80},
                               {1260, 618, 84}, {1340, 628, 98}, {1410, 650, 66}};
    for (const auto& st : stones)
        s.Fill(Box(st[0] - 16, st[1] - st[2], 32, st[2] + 20, 10), s.P.Silhouette, st[0] - 20, st[1] - st[2] - 4,
               st[0] + 20, st[1] + 24);
    s.Rect(1150, 600, 130, 22, s.P.Silhouette);
    s.Rect(1165, 620, 22, 30, s.P.Silhouette);
    s.Rect(1245, 620, 22, 30, s.P.Silhouette);
    if (s.IsNight)
        s.Glow(1215, 590, 120, WithAlpha(ArtRGB(0xFF80C0FF), 110));
    else
        s.Glow(1215, 590, 90, WithAlpha(ArtRGB(0xFFFFD080), 80));
    Ground(s, 930);
}

void Castle(TScene& s)
{
    Hills(s, 630, 90, 480, 2.5f, s.P.Far);
    s.Fill(Ellipse(1150, 860, 520, 240), s.P.Near, 620, 610, 1500, 1050);
    Wall(s, 900, 1400, 660, 90);
    Tower(s, 870, 665, 70, 190, true);
    Tower(s, 1380, 665, 70, 170, true);
    Tower(s, 1110, 600, 110, 250, false);
    Tower(s, 1040, 610, 56, 170, true);
    Tower(s, 1230, 610, 56, 190, true);
    // The gate.
    s.Fill(Union(Circle(1010, 625, 22), Box(988, 625, 44, 36)), s.IsNight ? ArtRGB(0xFF4A3212) : ArtRGB(0xFF2A1F18),
           980, 600, 1040, 662);
    Pine(s, 760, 760, 60);
    Pine(s, 700, 790, 70);
    Ground(s, 950);
}

void Harbor(TScene& s)
{
    Hills(s, 640, 70, 600, 3.5f, s.P.Far);
    // The sea: the sky mirrored and broken into ripples.
    const float sea = 690;
    s.Paint(
        Box(0, sea, VirtualWidth, VirtualHeight - sea),
        [&](float x, float y) {
            const float t = std::min(1.0f, (y - sea) / 360);
            TArtColour c = MixColour(s.P.SkyHorizon, s.P.SkyTop, 0.35f + t * 0.65f);
            const float ripple = s.Noise.Fractal(x / 90, y / 5, 3);
            return ShadeColour(c, 0.55f + 0.5f * ripple);
        },
        0, sea, VirtualWidth, VirtualHeight);
    // The pier and the lighthouse on the left.
    s.Rect(60, sea - 14, 420, 18, s.P.Silhouette);
    for (float x = 80; x < 480; x += 60)
        s.Rect(x, sea, 10, 60, s.P.Silhouette);
    s.Fill(Polygon({150, sea - 14, 170, sea - 250, 206, sea - 250, 226, sea - 14}), s.P.Silhouette, 140, sea - 260, 236,
           sea);
    s.Rect(160, sea - 282, 56, 34, s.P.Silhouette);
    s.Fill(Polygon({154, sea - 282, 188, sea - 320, 222, sea - 282}), s.P.Silhouette, 150, sea - 325, 226, sea - 280);
    s.Glow(188, sea - 265, s.IsNight ? 180 : 90, WithAlpha(s.P.Window, s.IsNight ? 150 : 90));
    s.Fill(Box(176, sea - 275, 24, 20, 4), ArtRGB(0xFFFFE6A0), 176, sea - 275, 200, sea - 255);
    // Two ships at anchor on the right.
    const float ships[][2] = {{1080, 1.0f}, {1320, 0.75f}};
    for (const auto& ship : ships) {
        const float x = ship[0], k = ship[1], waterline = sea + 30 * k;
        s.Fill(Polygon({x - 130 * k, waterline - 46 * k, x + 140 * k, waterline - 46 * k, x + 100 * k, waterline,
                        x - 100 * k, waterline}),
               s.P.Silhouette, x - 140 * k, waterline - 50 * k, x + 150 * k, waterline + 2);
        for (float m : {-50.0f, 40.0f}) {
            s.Rect(x + m * k - 3, waterline - 250 * k, 6, 210 * k, s.P.Silhouette);
            s.Rect(x + m * k - 45 * k, waterline - 200 * k, 90 * k, 8, s.P.Silhouette);
        }
        if (s.IsNight)
            Window(s, x + 60 * k, waterline - 36 * k, 9, 9);
    }
}

void Cottage(TScene& s)
{
    Hills(s, 620, 110, 420, 4.5f, s.P.Far);
    Hills(s, 700, 60, 300, 5.5f, s.P.Near);
    House(s, 1040, 760, 240, 130, 110);
    House(s, 1290, 770, 130, 90, 70, false);
    // Smoke from the chimney drifting away.
    for (int i = 0; i < 9; i++) {
        const float t = i / 8.0f;
        s.Fill(Circle(1210 + t * 120, 620 - t * 170, 14 + t * 26),
               WithAlpha(s.IsNight ? ArtRGB(0xFF3A4260) : ArtRGB(0xFF8C7C78), static_cast<uint8_t>(90 * (1 - t))), 1150,
               380, 1400, 660);
    }
    Tree(s, 930, 770, 120);
    // A fence along the path.
    for (float x = 760; x < 1440; x += 28)
        s.Rect(x, 792, 6, 38, s.P.Silhouette);
    s.Rect(750, 800, 700, 6, s.P.Silhouette);
    Ground(s, 840);
}

void Market(TScene& s)
{
    Hills(s, 610, 80, 500, 6.5f, s.P.Far);
    House(s, 880, 720, 150, 190, 90);
    House(s, 1040, 720, 120, 230, 80);
    House(s, 1170, 720, 170, 170, 110);
    House(s, 1350, 720, 120, 210, 80);
    s.Rect(800, 720, 700, 340, s.P.Silhouette);
    // Stalls with striped awnings in front.
    const TArtColour stripes[2] = {s.IsNight ? ArtRGB(0xFF3A2A30) : ArtRGB(0xFF8A3A2A),
                                   s.IsNight ? ArtRGB(0xFF4A4238) : ArtRGB(0xFFC8B48A)};
    for (int stall = 0; stall < 4; stall++) {
        const float x = 830 + stall * 160, top = 770;
        for (int band = 0; band < 5; band++)
            s.Fill(Polygon({x + band * 26, top, x + band * 26 + 26, top, x + band * 26 + 30, top + 40,
                            x + band * 26 - 4, top + 40}),
                   stripes[band % 2], x - 6, top, x + 140, top + 42);
        s.Rect(x, top + 40, 6, 70, s.P.Silhouette);
        s.Rect(x + 124, top + 40, 6, 70, s.P.Silhouette);
        s.Rect(x - 4, top + 80, 138, 12, s.P.Silhouette);
        if (s.IsNight)
            s.Glow(x + 65, top + 70, 60, WithAlpha(s.P.Window, 90));
    }
    Ground(s, 900);
}

void Ruins(TScene& s)
{
    Hills(s, 630, 130, 560, 7.5f, s.P.Far);
    s.Fill(Ellipse(1150, 900, 500, 220), s.P.Near, 650, 680, 1500, 1050);
    // Broken columns and half an arch.
    const float columns[][2] = {{900, 240}, {980, 150}, {1220, 300}, {1300, 300}, {1400, 110}};
    for (const auto& col : columns) {
        const float x = col[0], h = col[1], base = 720;
        s.Fill(Polygon(
                   {x, base, x, base - h, x + 14, base - h - 12, x + 30, base - h + 6, x + 40, base - h, x + 40, base}),
               s.P.Silhouette, x - 2, base - h - 14, x + 42, base);
        s.Rect(x - 6, base - 14, 52, 14, s.P.Silhouette);
    }
    s.Fill(Subtract(Intersect(Circle(1280, 440, 80), Box(1200, 360, 160, 80)), Circle(1280, 440, 46)), s.P.Silhouette,
           1195, 355, 1365, 445);
    s.Rect(1190, 720, 140, 18, s.P.Silhouette);
    for (int i = 0; i < 14; i++) {
        const float x = 850 + RandomInt(600), y = 722 + RandomInt(30);
        s.Fill(Ellipse(x, y, 10 + RandomInt(16), 6 + RandomInt(6)), s.P.Silhouette, x - 30, y - 14, x + 30, y + 14);
    }
    Tree(s, 760, 760, 90);
    Ground(s, 930);
}

void Town(TScene& s)
{
    Hills(s, 600, 90, 500, 8.5f, s.P.Far);
    float x = 640;
    int n = 0;
    while (x < 1500) {
        const float w = 70 + RandomInt(60), h = 90 + RandomInt(120);
        House(s, x, 760, w, h, 50 + RandomInt(50), n % 3 == 0);
        x += w + 8;
        n++;
    }
    // The church with its spire over the roofs.
    s.Rect(1060, 520, 70, 240, s.P.Silhouette);
    s.Fill(Polygon({1052, 522, 1095, 330, 1138, 522}), s.P.Silhouette, 1050, 325, 1140, 525);
    s.Rect(1092, 310, 6, 30, s.P.Silhouette);
    s.Rect(1084, 320, 22, 5, s.P.Silhouette);
    Window(s, 1085, 560, 20, 36);
    s.Rect(600, 760, 900, 300, s.P.Silhouette);
    Ground(s, 880);
}

void Village(TScene& s)
{
    Hills(s, 630, 100, 460, 9.5f, s.P.Far);
    // Fields in strips down the slope.
    s.Paint(
        Box(0, 700, VirtualWidth, 350),
        [&](float x, float y) {
            const float strip = std::sin((x * 0.6f + y * 2.4f) / 40);
            return ShadeColour(s.P.Near, 0.85f + 0.2f * strip);
        },
        0, 700, VirtualWidth, VirtualHeight);
    // Thatched huts: low walls under round roofs.
    const float huts[][3] = {{880, 760, 1.0f}, {1060, 745, 0.8f}, {1210, 770, 1.2f}, {1390, 750, 0.9f}};
    for (const auto& hut : huts) {
        const float x = hut[0], base = hut[1], k = hut[2];
        s.Rect(x - 60 * k, base - 50 * k, 120 * k, 50 * k, s.P.Silhouette);
        s.Fill(Intersect(Ellipse(x, base - 48 * k, 82 * k, 70 * k), Box(x - 90 * k, base - 130 * k, 180 * k, 82 * k)),
               s.P.Silhouette, x - 90 * k, base - 130 * k, x + 90 * k, base - 46 * k);
        Window(s, x - 20 * k, base - 38 * k, 14 * k, 16 * k);
    }
    Tree(s, 980, 770, 100);
    Tree(s, 1320, 760, 80);
    Pine(s, 760, 780, 70);
    Ground(s, 900);
}

struct TBackground {
    const char* Name;
    void (*Subject)(TScene&);
    bool Night;
    float SunX;
};

const TBackground Backgrounds[] = {
    {"altar", Altar, false, 300},        {"altar_night", Altar, true, 330},   {"castle", Castle, false, 260},
    {"castle_night", Castle, true, 300}, {"harbor", Harbor, false, 1200},     {"harbor_night", Harbor, true, 1150},
    {"house", Cottage, false, 340},      {"house_night", Cottage, true, 280}, {"market", Market, false, 320},
    {"market_night", Market, true, 360}, {"rhuins", Ruins, false, 280},       {"rhuins_night", Ruins, true, 320},
    {"town_night", Town, true, 330},     {"village", Village, false, 300},
};

} // namespace

void GenerateInterfaceBackgrounds(TArtOutput& out)
{
    uint32_t seed = 0x4475736Bu;
    for (const TBackground& b : Backgrounds) {
        TScene scene(b.Night ? Night : Dusk, b.Night, seed++);
        // Each picture's scattered things follow from its own seed.
        SetRandomSeed(seed * 7919u);
        Sky(scene, b.SunX);
        b.Subject(scene);
        Vignette(scene);
        out.WriteDDS(std::string("Interface\\Common\\Images\\") + b.Name + ".dds", scene.C.DDS(false));
    }
}
