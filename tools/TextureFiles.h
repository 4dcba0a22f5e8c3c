// Writers of the two image files the texture loader reads: uncompressed TGA
// and DXT DDS (with a plain DXT1/DXT5 block encoder). Used by the tools that
// make the sample installation's textures and by the tests' fixtures.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/ToolArgs.h"

namespace TextureFiles {

inline void PutWord(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void PutDWord(std::vector<uint8_t>& out, uint32_t v)
{
    PutWord(out, v & 0xFFFF);
    PutWord(out, v >> 16);
}

// A TGA file: the 18-byte header, an optional ID field and colour map, then
// the pixels exactly as given (in file order, depth / 8 bytes each).
struct TTgaImage {
    uint8_t ImageType = 2;
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint8_t Depth = 32;
    uint8_t Descriptor = 0x20; // top row first
    std::string Id;
    uint8_t MapType = 0;
    uint16_t MapLength = 0;
    uint8_t MapEntryBits = 0;
    std::vector<uint8_t> Map; // MapLength entries of MapEntryBits / 8 bytes
    std::vector<uint8_t> Pixels;
};

inline std::vector<uint8_t> MakeTGA(const TTgaImage& image)
{
    std::vector<uint8_t> out;
    out.push_back(static_cast<uint8_t>(image.Id.size()));
    out.push_back(image.MapType);
    out.push_back(image.ImageType);
    PutWord(out, 0); // first map entry
    PutWord(out, image.MapLength);
    out.push_back(image.MapEntryBits);
    PutWord(out, 0); // x origin
    PutWord(out, 0); // y origin
    PutWord(out, image.Width);
    PutWord(out, image.Height);
    out.push_back(image.Depth);
    out.push_back(image.Descriptor);
    out.insert(out.end(), image.Id.begin(), image.Id.end());
    out.insert(out.end(), image.Map.begin(), image.Map.end());
    out.insert(out.end(), image.Pixels.begin(), image.Pixels.end());
    return out;
}

// A 32-bit top-down TGA of BGRA pixels, row by row from the top.
inline std::vector<uint8_t> MakeTGA32(uint16_t width, uint16_t height, const std::vector<uint8_t>& bgra)
{
    TTgaImage image;
    image.Width = width;
    image.Height = height;
    image.Pixels = bgra;
    return MakeTGA(image);
}

// A DDS file: magic, the 124-byte header with the fields the reader uses
// (and the usual flags), then the levels' bytes one after the other.
inline std::vector<uint8_t> MakeDDS(uint32_t fourCC, uint32_t width, uint32_t height, uint32_t mipCount,
                                    const std::vector<uint8_t>& levelBytes)
{
    std::vector<uint8_t> out;
    PutDWord(out, 0x20534444); // "DDS "
    PutDWord(out, 124);
    PutDWord(out, 0x000A1007); // caps, height, width, pixel format, mipmap count, linear size
    PutDWord(out, height);
    PutDWord(out, width);
    PutDWord(out, 0); // linear size
    PutDWord(out, 0); // depth
    PutDWord(out, mipCount);
    for (int i = 0; i < 11; i++)
        PutDWord(out, 0);
    PutDWord(out, 32); // pixel format size
    PutDWord(out, 4);  // four-character code present
    PutDWord(out, fourCC);
    for (int i = 0; i < 5; i++)
        PutDWord(out, 0);
    PutDWord(out, mipCount > 1 ? 0x401008 : 0x1000); // caps
    for (int i = 0; i < 4; i++)
        PutDWord(out, 0);
    out.insert(out.end(), levelBytes.begin(), levelBytes.end());
    return out;
}

inline uint16_t To565(const uint8_t* bgra)
{
    return static_cast<uint16_t>(((bgra[2] >> 3) << 11) | ((bgra[1] >> 2) << 5) | (bgra[0] >> 3));
}

// One DXT1 colour block of a 4x4 tile of BGRA pixels: the lightest and
// darkest texels as end points, each texel the nearest of the four colours.
inline void EncodeColourBlock(const uint8_t tile[16][4], std::vector<uint8_t>& out)
{
    auto luma = [](const uint8_t* p) { return p[2] * 3 + p[1] * 6 + p[0]; };
    int hi = 0, lo = 0;
    for (int i = 1; i < 16; i++) {
        if (luma(tile[i]) > luma(tile[hi]))
            hi = i;
        if (luma(tile[i]) < luma(tile[lo]))
            lo = i;
    }
    uint16_t c0 = To565(tile[hi]), c1 = To565(tile[lo]);
    uint32_t indices = 0;
    if (c0 == c1) {
        // All texels take colour 0.
    } else {
        if (c0 < c1)
            std::swap(c0, c1);
        auto expand = [](uint16_t c, int channel) {
            if (channel == 2)
                return ((c >> 11) & 31) * 255 / 31;
            if (channel == 1)
                return ((c >> 5) & 63) * 255 / 63;
            return (c & 31) * 255 / 31;
        };
        int palette[4][3];
        for (int ch = 0; ch < 3; ch++) {
            palette[0][ch] = expand(c0, ch);
            palette[1][ch] = expand(c1, ch);
            palette[2][ch] = (2 * palette[0][ch] + palette[1][ch]) / 3;
            palette[3][ch] = (palette[0][ch] + 2 * palette[1][ch]) / 3;
        }
        for (int i = 15; i >= 0; i--) {
            int best = 0, bestDistance = 1 << 30;
            for (int k = 0; k < 4; k++) {
                int d = 0;
                for (int ch = 0; ch < 3; ch++) {
                    const int e = palette[k][ch] - tile[i][ch];
                    d += e * e;
                }
                if (d < bestDistance) {
                    bestDistance = d;
                    best = k;
                }
            }
            indices = (indices << 2) | static_cast<uint32_t>(best);
        }
    }
    PutWord(out, c0);
    PutWord(out, c1);
    PutDWord(out, indices);
}

// One level of BGRA pixels as DXT1 (8-byte blocks) or DXT5 (16-byte blocks
// with interpolated alpha between the tile's extremes).
inline std::vector<uint8_t> EncodeDXT(const std::vector<uint8_t>& bgra, uint32_t width, uint32_t height, bool dxt5)
{
    std::vector<uint8_t> out;
    for (uint32_t by = 0; by < (height + 3) / 4; by++)
        for (uint32_t bx = 0; bx < (width + 3) / 4; bx++) {
            uint8_t tile[16][4];
            for (uint32_t i = 0; i < 16; i++) {
                const uint32_t x = std::min(width - 1, bx * 4 + i % 4), y = std::min(height - 1, by * 4 + i / 4);
                std::copy_n(&bgra[(static_cast<size_t>(y) * width + x) * 4], 4, tile[i]);
            }
            if (dxt5) {
                uint8_t a0 = 0, a1 = 255;
                for (auto& t : tile) {
                    a0 = std::max(a0, t[3]);
                    a1 = std::min(a1, t[3]);
                }
                out.push_back(a0);
                out.push_back(a1);
                uint64_t bits = 0;
                for (int i = 15; i >= 0; i--) {
                    // Codes 0 and 1 are the end points; nearest of the two.
                    const uint32_t code = (a0 - tile[i][3] <= tile[i][3] - a1) ? 0 : 1;
                    bits = (bits << 3) | code;
                }
                for (int k = 0; k < 6; k++)
                    out.push_back(static_cast<uint8_t>(bits >> (8 * k)));
            }
            EncodeColourBlock(tile, out);
        }
    return out;
}

// Halves a BGRA level by averaging 2x2 texels (sizes stay at least 1).
inline std::vector<uint8_t> HalveBGRA(const std::vector<uint8_t>& bgra, uint32_t width, uint32_t height)
{
    const uint32_t w = std::max(1u, width / 2), h = std::max(1u, height / 2);
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++)
            for (uint32_t c = 0; c < 4; c++) {
                uint32_t sum = 0;
                for (uint32_t dy = 0; dy < 2; dy++)
                    for (uint32_t dx = 0; dx < 2; dx++) {
                        const uint32_t sx = std::min(width - 1, x * 2 + dx), sy = std::min(height - 1, y * 2 + dy);
                        sum += bgra[(static_cast<size_t>(sy) * width + sx) * 4 + c];
                    }
                out[(static_cast<size_t>(y) * w + x) * 4 + c] = static_cast<uint8_t>(sum / 4);
            }
    return out;
}

// The levels of a DDS file, one after the other: the picture as DXT1 or DXT5
// and, with mips, every halving of it down to one texel. levels counts them.
inline std::vector<uint8_t> EncodeDXTLevels(std::vector<uint8_t> bgra, uint32_t width, uint32_t height, bool dxt5,
                                            bool mips, uint32_t& levels)
{
    std::vector<uint8_t> body;
    // A byte a texel for DXT5, half of it for DXT1; the mipmaps a third more.
    body.reserve(static_cast<size_t>(width) * height * (dxt5 ? 4 : 2) / 3 + 64);
    levels = 0;
    for (;;) {
        const std::vector<uint8_t> level = EncodeDXT(bgra, width, height, dxt5);
        body.insert(body.end(), level.begin(), level.end());
        levels++;
        if (!mips || (width == 1 && height == 1))
            break;
        bgra = HalveBGRA(bgra, width, height);
        width = std::max(1u, width / 2);
        height = std::max(1u, height / 2);
    }
    return body;
}

// The largest picture the tools draw (8192 x 8192: 256 MB of BGRA pixels, and
// as much again for the file); more would not fit a texture anyway.
constexpr uint64_t MaxPatternPixels = uint64_t{8192} * 8192;

// The WIDTH and HEIGHT arguments of a tool that draws a picture: each from 1
// to maxSide, together at most MaxPatternPixels. False after a line on stderr.
inline bool ParseImageSize(const char* tool, const std::string& widthText, const std::string& heightText,
                           uint64_t maxSide, uint32_t& width, uint32_t& height)
{
    uint64_t w = 0, h = 0;
    if (!ToolArgs::ParseArgument(tool, "WIDTH", widthText, 1, maxSide, w) ||
        !ToolArgs::ParseArgument(tool, "HEIGHT", heightText, 1, maxSide, h))
        return false;
    if (w * h > MaxPatternPixels) {
        std::fprintf(stderr, "%s: %llu x %llu pixels is more than this tool builds (at most %llu pixels)\n", tool,
                     static_cast<unsigned long long>(w), static_cast<unsigned long long>(h),
                     static_cast<unsigned long long>(MaxPatternPixels));
        return false;
    }
    width = static_cast<uint32_t>(w);
    height = static_cast<uint32_t>(h);
    return true;
}

// A colour argument: hexadecimal AARRGGBB, "0x" in front or not.
inline bool ParseColour(const std::string& text, uint32_t& colour)
{
    const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    uint64_t value = 0;
    if (!ToolArgs::ParseUnsigned(prefixed ? text.substr(2) : text, 0xFFFFFFFFu, value, 16))
        return false;
    colour = static_cast<uint32_t>(value);
    return true;
}

// Pictures the tools draw (BGRA, top row first):
//   solid C            every texel colour C
//   checker C1 C2 N    squares of N texels
//   gradient C1 C2     C1 on the left to C2 on the right
//   dot C              colour C with alpha falling from the centre to 0 at the edge
// Colours are AARRGGBB in hexadecimal. Empty result: unknown pattern, missing
// or bad arguments, or a size outside 1 .. MaxPatternPixels pixels.
inline std::vector<uint8_t> DrawPattern(const std::string& pattern, uint32_t width, uint32_t height,
                                        const std::vector<std::string>& args)
{
    // Every argument is checked before anything is drawn: a bad one draws nothing.
    const size_t colourCount = pattern == "checker" || pattern == "gradient" ? 2
                               : pattern == "solid" || pattern == "dot"      ? 1
                                                                             : 0;
    const size_t argumentCount = pattern == "checker" ? 3 : colourCount;
    if (colourCount == 0 || args.size() < argumentCount || width == 0 || height == 0 ||
        uint64_t{width} * height > MaxPatternPixels)
        return {};
    uint32_t colours[2] = {};
    for (size_t i = 0; i < colourCount; i++)
        if (!ParseColour(args[i], colours[i]))
            return {};
    uint64_t cell = 1;
    if (pattern == "checker" && !ToolArgs::ParseUnsigned(args[2], 65535, cell))
        return {};
    const uint32_t n = std::max<uint32_t>(1, static_cast<uint32_t>(cell));

    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
    auto put = [&](uint32_t x, uint32_t y, uint32_t argb) {
        uint8_t* p = &out[(static_cast<size_t>(y) * width + x) * 4];
        p[0] = static_cast<uint8_t>(argb), p[1] = static_cast<uint8_t>(argb >> 8);
        p[2] = static_cast<uint8_t>(argb >> 16), p[3] = static_cast<uint8_t>(argb >> 24);
    };
    for (uint32_t y = 0; y < height; y++)
        for (uint32_t x = 0; x < width; x++) {
            if (pattern == "solid") {
                put(x, y, colours[0]);
            } else if (pattern == "checker") {
                put(x, y, ((x / n + y / n) % 2) == 0 ? colours[0] : colours[1]);
            } else if (pattern == "gradient") {
                const uint32_t a = colours[0], b = colours[1];
                uint32_t c = 0;
                for (int shift = 0; shift < 32; shift += 8) {
                    const uint32_t ca = (a >> shift) & 255, cb = (b >> shift) & 255;
                    const uint32_t v = width > 1 ? (ca * (width - 1 - x) + cb * x) / (width - 1) : ca;
                    c |= v << shift;
                }
                put(x, y, c);
            } else {
                const float dx = (x + 0.5f) / width * 2 - 1, dy = (y + 0.5f) / height * 2 - 1;
                const float d = std::min(1.0f, dx * dx + dy * dy);
                const uint32_t alpha = static_cast<uint32_t>((1 - d) * ((colours[0] >> 24) & 255));
                put(x, y, (colours[0] & 0xFFFFFF) | (alpha << 24));
            }
        }
    return out;
}

} // namespace TextureFiles
