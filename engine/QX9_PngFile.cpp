#include "engine/QX9_PngFile.h"

#include "engine/QX9_System.h"

void PngPutBe32(std::string& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>(static_cast<uint8_t>(value >> shift)));
}

void PngPutChunk(std::string& out, const char* type, std::initializer_list<std::string_view> pieces)
{
    size_t length = 0;
    for (std::string_view piece : pieces)
        length += piece.size();
    PngPutBe32(out, static_cast<uint32_t>(length));
    out.append(type, 4);
    uint32_t crc = 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i)
        crc = Crc32Update(static_cast<uint8_t>(type[i]), crc);
    for (std::string_view piece : pieces) {
        out.append(piece);
        for (char c : piece)
            crc = Crc32Update(static_cast<uint8_t>(c), crc);
    }
    PngPutBe32(out, ~crc);
}

std::string PngFileHead(int32_t width, int32_t height, uint8_t bitDepth, uint8_t colourType)
{
    std::string header;
    PngPutBe32(header, static_cast<uint32_t>(width));
    PngPutBe32(header, static_cast<uint32_t>(height));
    header.push_back(static_cast<char>(bitDepth));
    header.push_back(static_cast<char>(colourType));
    header.append(3, '\0');
    std::string png("\x89PNG\r\n\x1a\n", 8);
    PngPutChunk(png, "IHDR", {header});
    return png;
}
