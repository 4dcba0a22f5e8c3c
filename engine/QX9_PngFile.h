// QX9_PngFile: the PNG container around an image's zlib stream: the
// signature, the chunks with their lengths and CRCs, and the image head.
// What goes into the stream (palette indexes, truecolour rows) and how it
// is deflated belongs to each writer.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

inline constexpr uint8_t PNG_COLOUR_TRUECOLOUR = 2;
inline constexpr uint8_t PNG_COLOUR_PALETTE = 3;

// Appends a big-endian 32-bit value.
void PngPutBe32(std::string& out, uint32_t value);
// Appends one chunk whose data is the pieces one after the other.
void PngPutChunk(std::string& out, const char* type, std::initializer_list<std::string_view> pieces);
// The signature and the IHDR chunk of an image (no compression, filter or
// interlace variants: all three 0).
std::string PngFileHead(int32_t width, int32_t height, uint8_t bitDepth, uint8_t colourType);
