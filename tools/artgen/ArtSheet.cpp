// The contact sheet of the screens' pictures: each picture fitted into a
// tile over a mid-grey ground (so that light and dark shapes both show and
// the transparent parts stay visible), its file name under it.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "render/QX9_Render_Png.h"
#include "tools/artgen/ArtFont.h"
#include "tools/artgen/Art_Interface.h"

namespace {

constexpr int TileWidth = 176, TileHeight = 150, PictureBox = 132, Columns = 11;

bool Enabled = false;
std::vector<std::pair<std::string, TArtCanvas>> Pictures;

// The pixel of a picture seen at scale: the average over the source pixels
// that fall in it when shrinking, the nearest one when growing.
TArtColour Sample(const TArtCanvas& c, float x0, float y0, float step)
{
    if (step <= 1)
        return c.Get(std::min(c.Width() - 1, static_cast<int>(x0)), std::min(c.Height() - 1, static_cast<int>(y0)));
    float r = 0, g = 0, b = 0, a = 0;
    int n = 0;
    const int xs = static_cast<int>(x0), ys = static_cast<int>(y0);
    const int xe = std::min(c.Width(), static_cast<int>(x0 + step)),
              ye = std::min(c.Height(), static_cast<int>(y0 + step));
    for (int y = ys; y < ye; y++)
        for (int x = xs; x < xe; x++) {
            const TArtColour p = c.Get(x, y);
            r += p.R * p.A;
            g += p.G * p.A;
            b += p.B * p.A;
            a += p.A;
            n++;
        }
    if (n == 0 || a == 0)
        return {0, 0, 0, 0};
    return {static_cast<uint8_t>(r / a), static_cast<uint8_t>(g / a), static_cast<uint8_t>(b / a),
            static_cast<uint8_t>(a / n)};
}

} // namespace

void ArtSheetEnable()
{
    Enabled = true;
}

void ArtSheetAdd(const std::string& name, const TArtCanvas& canvas)
{
    if (Enabled)
        Pictures.emplace_back(name, canvas);
}

void ArtSheetWrite(const std::string& path)
{
    const int rows = std::max<int>(1, (static_cast<int>(Pictures.size()) + Columns - 1) / Columns);
    TArtCanvas sheet(Columns * TileWidth, rows * TileHeight, ArtRGB(0xFF3A3A3C));
    for (size_t i = 0; i < Pictures.size(); i++) {
        const auto& [name, picture] = Pictures[i];
        const int tx = static_cast<int>(i % Columns) * TileWidth, ty = static_cast<int>(i / Columns) * TileHeight;
        for (int y = ty + 2; y < ty + PictureBox + 6; y++)
            for (int x = tx + 2; x < tx + TileWidth - 2; x++)
                sheet.Set(x, y, ((x / 8 + y / 8) % 2) ? ArtRGB(0xFF7A7A7A) : ArtRGB(0xFF8A8A8A));
        // Small pictures are enlarged by whole steps (up to 4), large ones shrunk.
        const float fit = std::min(static_cast<float>(PictureBox) / picture.Width(),
                                   static_cast<float>(PictureBox) / picture.Height());
        const float scale = fit >= 1 ? std::min(4.0f, std::floor(fit)) : fit;
        const int w = std::max(1, static_cast<int>(picture.Width() * scale));
        const int h = std::max(1, static_cast<int>(picture.Height() * scale));
        const int ox = tx + (TileWidth - w) / 2, oy = ty + 4 + (PictureBox - h) / 2;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                sheet.Blend(ox + x, oy + y, Sample(picture, x / scale, y / scale, 1 / scale));
        std::string label = name.substr(name.find_last_of("\\/") + 1);
        if (label.size() > 28)
            label = label.substr(0, 28);
        ArtFont::DrawTextCentred(sheet, label, tx + TileWidth / 2.0f, ty + PictureBox + 14.0f, 1, ArtRGB(0xFFF0F0F0));
    }
    const std::string png = PngTruecolourImage(sheet.Width(), sheet.Height(), sheet.Pixels().data(), sheet.Width() * 4);
    std::ofstream file(path, std::ios::binary);
    file.write(png.data(), static_cast<std::streamsize>(png.size()));
    if (!file)
        throw TArtError("cannot write the contact sheet " + path);
}
