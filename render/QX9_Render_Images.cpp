// TGA and DDS readers. Every size read from a file is checked against the
// bytes that are really there before anything is allocated or copied.
#include "render/QX9_Render_Images.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d9/D3D9.h"

namespace {

uint16_t Word(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t DWord(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void FlipRows(TImageBuffer* image, int32_t rowBytes)
{
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    for (int32_t top = 0, bottom = image->Height - 1; top < bottom; top++, bottom--) {
        uint8_t* a = image->Data + static_cast<size_t>(top) * rowBytes;
        uint8_t* b = image->Data + static_cast<size_t>(bottom) * rowBytes;
        std::memcpy(row.data(), a, row.size());
        std::memcpy(a, b, row.size());
        std::memcpy(b, row.data(), row.size());
    }
}

void MirrorRows(TImageBuffer* image, int32_t pixelBytes)
{
    const int32_t rowBytes = image->Width * pixelBytes;
    for (int32_t y = 0; y < image->Height; y++) {
        uint8_t* row = image->Data + static_cast<size_t>(y) * rowBytes;
        for (int32_t left = 0, right = image->Width - 1; left < right; left++, right--)
            std::swap_ranges(row + left * pixelBytes, row + (left + 1) * pixelBytes, row + right * pixelBytes);
    }
}

} // namespace

TImageDecode DecodeTGA(const uint8_t* data, size_t size, int32_t& format, TImageBuffer*& image, std::string* why)
{
    image = nullptr;
    format = 0;
    if (size < 18)
        return TImageDecode::BadFormat;
    const uint8_t idLength = data[0];
    const uint8_t mapType = data[1];
    const uint8_t imageType = data[2];
    const uint32_t mapLength = Word(data + 5);
    const uint8_t mapEntryBits = data[7];
    const int32_t width = Word(data + 12);
    const int32_t height = Word(data + 14);
    const uint8_t depth = data[16];
    const uint8_t descriptor = data[17];
    size_t at = 18 + static_cast<size_t>(idLength);

    auto unsupported = [why](const std::string& what) {
        if (why != nullptr)
            *why = "UNSUPPORTED " + what + "!";
        return TImageDecode::Unsupported;
    };
    if (imageType != 1 && imageType != 2 && imageType != 3)
        return unsupported("IMAGE TYPE " + std::to_string(imageType));
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32)
        return unsupported("PIXEL DEPTH " + std::to_string(depth));
    const uint8_t* map = nullptr;
    if (imageType == 1) {
        // Only 8-bit indices into a 24-bit map are read.
        if (mapType != 1 || mapEntryBits != 24 || depth != 8)
            return unsupported("COLOUR MAP");
        if (at > size || size - at < static_cast<size_t>(mapLength) * 3)
            return TImageDecode::BadFormat;
        map = data + at;
        at += static_cast<size_t>(mapLength) * 3;
    } else if (mapType == 1) {
        // A true-colour file may still carry a map: its pixels follow it.
        const size_t mapBytes = static_cast<size_t>(mapLength) * ((mapEntryBits + 7) / 8);
        if (at > size || size - at < mapBytes)
            return TImageDecode::BadFormat;
        at += mapBytes;
    }
    if (width == 0 || height == 0)
        return TImageDecode::BadFormat;
    const int32_t inBytes = depth / 8;
    const size_t pixelBytes = static_cast<size_t>(width) * height * inBytes;
    if (at > size || size - at < pixelBytes)
        return TImageDecode::BadFormat;
    const uint8_t* pixels = data + at;
    const size_t count = static_cast<size_t>(width) * height;

    int32_t outBytes = inBytes;
    if (imageType == 1) {
        for (size_t i = 0; i < count; i++)
            if (pixels[i] >= mapLength)
                return TImageDecode::BadFormat;
        outBytes = 4;
        format = D3DFMT_A8R8G8B8;
    } else if (depth == 8) {
        format = D3DFMT_L8;
    } else if (depth == 16) {
        format = D3DFMT_R5G6B5;
    } else {
        outBytes = 4;
        format = D3DFMT_A8R8G8B8;
    }

    image = CreateImageBuffer(width, height, outBytes * 8);
    uint8_t* out = image->Data;
    if (imageType == 1) {
        for (size_t i = 0; i < count; i++, out += 4) {
            std::memcpy(out, map + pixels[i] * 3, 3);
            out[3] = 255;
        }
    } else if (depth == 24) {
        for (size_t i = 0; i < count; i++, out += 4) {
            std::memcpy(out, pixels + i * 3, 3);
            out[3] = 255;
        }
    } else {
        std::memcpy(out, pixels, pixelBytes);
    }

    if (descriptor & 0x10)
        MirrorRows(image, outBytes);
    if ((descriptor & 0x20) == 0)
        FlipRows(image, width * outBytes);
    return TImageDecode::Ok;
}

TImageDecode DecodeDDS(const uint8_t* data, size_t size, int32_t& format, std::vector<TImageBuffer*>& levels,
                       int32_t& width, int32_t& height)
{
    levels.clear();
    format = 0;
    width = 0;
    height = 0;
    if (size < 128)
        return TImageDecode::BadFormat;
    const uint32_t h = DWord(data + 12);
    const uint32_t w = DWord(data + 16);
    uint32_t mipCount = DWord(data + 28);
    const uint32_t code = DWord(data + 84);
    if (w == 0 || h == 0 || w > 0x7FFFFFFFu || h > 0x7FFFFFFFu)
        return TImageDecode::BadFormat;

    format = static_cast<int32_t>(D3DFMT_DXT1);
    if (code == D3DFMT_DXT3)
        format = static_cast<int32_t>(D3DFMT_DXT3);
    else if (code == D3DFMT_DXT5)
        format = static_cast<int32_t>(D3DFMT_DXT5);
    const uint64_t blockBytes = format == static_cast<int32_t>(D3DFMT_DXT1) ? 8 : 16;

    // A file without a mipmap chain may say 0 levels: it still has one.
    if (mipCount == 0)
        mipCount = 1;
    uint32_t fullChain = 1;
    for (uint32_t s = std::max(w, h); s > 1; s >>= 1)
        fullChain++;
    if (mipCount > fullChain)
        return TImageDecode::BadFormat;

    // Check every level against the file before allocating anything.
    size_t at = 128;
    uint64_t lw = w, lh = h;
    for (uint32_t i = 0; i < mipCount; i++) {
        const uint64_t bytes = (lw + 3) / 4 * blockBytes * ((lh + 3) / 4);
        if (bytes > size - at)
            return TImageDecode::BadFormat;
        at += static_cast<size_t>(bytes);
        lw = std::max<uint64_t>(1, lw / 2);
        lh = std::max<uint64_t>(1, lh / 2);
    }

    at = 128;
    lw = w;
    lh = h;
    for (uint32_t i = 0; i < mipCount; i++) {
        const int32_t rowBytes = static_cast<int32_t>((lw + 3) / 4 * blockBytes);
        const int32_t rows = static_cast<int32_t>((lh + 3) / 4);
        TImageBuffer* level = CreateImageBuffer(rowBytes, rows, 8);
        const size_t bytes = static_cast<size_t>(rowBytes) * rows;
        std::memcpy(level->Data, data + at, bytes);
        at += bytes;
        levels.push_back(level);
        lw = std::max<uint64_t>(1, lw / 2);
        lh = std::max<uint64_t>(1, lh / 2);
    }
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return TImageDecode::Ok;
}

bool Load_TGA(const std::string& fileName, int32_t& format, TImageBuffer*& image)
{
    std::vector<uint8_t> bytes;
    if (!OS_ReadWholeFile(fileName, bytes))
        FatalError("Load_TGA", fileName, "FILE NOT FOUND!");
    std::string why;
    const TImageDecode result = DecodeTGA(bytes.data(), bytes.size(), format, image, &why);
    if (result == TImageDecode::BadFormat)
        FatalError("Load_TGA", fileName, "BAD FORMAT!");
    if (result == TImageDecode::Unsupported)
        AppendEngineError("Load_TGA(" + fileName + ") -> " + why);
    return result == TImageDecode::Ok;
}

void Load_DDS(const std::string& fileName, int32_t& format, std::vector<TImageBuffer*>& levels, int32_t& width,
              int32_t& height)
{
    std::vector<uint8_t> bytes;
    if (!OS_ReadWholeFile(fileName, bytes))
        FatalError("Load_DDS", fileName, "FILE NOT FOUND!");
    if (DecodeDDS(bytes.data(), bytes.size(), format, levels, width, height) != TImageDecode::Ok)
        FatalError("Load_DDS", fileName, "BAD FORMAT!");
}

void FreeImageLevels(std::vector<TImageBuffer*>& levels)
{
    for (TImageBuffer*& level : levels)
        FreeImageBuffer(level);
    levels.clear();
}
