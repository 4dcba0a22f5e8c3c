// Pixel probes of the screenshots the play tests leave: a reader of the
// truecolour PNG files the game writes (8 bits a channel, unfiltered rows),
// and the colour of a point or the brightest point of a box.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

struct TPngPicture {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Rgb; // 3 bytes a pixel, top row first

    struct TColour {
        int R = 0, G = 0, B = 0;
        int Sum() const { return R + G + B; }
    };
    TColour At(int32_t x, int32_t y) const
    {
        const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)) * 3;
        return {Rgb[i], Rgb[i + 1], Rgb[i + 2]};
    }
    // The brightest pixel (by the sum of its channels) of a box, edges included.
    TColour Brightest(int32_t x0, int32_t y0, int32_t x1, int32_t y1) const
    {
        TColour best;
        for (int32_t y = y0; y <= y1; ++y)
            for (int32_t x = x0; x <= x1; ++x)
                if (At(x, y).Sum() > best.Sum())
                    best = At(x, y);
        return best;
    }
};

// False for anything but an 8-bit truecolour PNG with unfiltered rows.
inline bool ReadTruecolourPng(const std::string& png, TPngPicture& picture)
{
    auto be32 = [&](size_t at) {
        return (static_cast<uint32_t>(static_cast<uint8_t>(png[at])) << 24) |
               (static_cast<uint32_t>(static_cast<uint8_t>(png[at + 1])) << 16) |
               (static_cast<uint32_t>(static_cast<uint8_t>(png[at + 2])) << 8) |
               static_cast<uint32_t>(static_cast<uint8_t>(png[at + 3]));
    };
    if (png.size() < 8 || png.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)) != 0)
        return false;
    std::string idat;
    bool head = false;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = be32(at);
        if (length > png.size() - at - 12)
            return false;
        const std::string type = png.substr(at + 4, 4);
        if (type == "IHDR" && length == 13) {
            picture.Width = static_cast<int32_t>(be32(at + 8));
            picture.Height = static_cast<int32_t>(be32(at + 12));
            head = png[at + 16] == 8 && png[at + 17] == 2;
        } else if (type == "IDAT") {
            idat += png.substr(at + 8, length);
        }
        at += 12 + length;
    }
    if (!head || picture.Width <= 0 || picture.Height <= 0 || picture.Width > 16384 || picture.Height > 16384)
        return false;
    const size_t row = static_cast<size_t>(picture.Width) * 3 + 1;
    std::vector<uint8_t> raw(row * static_cast<size_t>(picture.Height));
    uLongf size = raw.size();
    if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()), static_cast<uLong>(idat.size())) !=
            Z_OK ||
        size != raw.size())
        return false;
    picture.Rgb.clear();
    for (int32_t y = 0; y < picture.Height; ++y) {
        if (raw[static_cast<size_t>(y) * row] != 0)
            return false;
        picture.Rgb.insert(picture.Rgb.end(), raw.begin() + static_cast<ptrdiff_t>(y * row + 1),
                           raw.begin() + static_cast<ptrdiff_t>((y + 1) * row));
    }
    return true;
}
