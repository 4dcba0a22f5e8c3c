// The two image file readers of the texture loader: uncompressed TGA (types
// 1, 2 and 3) and DXT-compressed DDS with its mipmap chain. Rows are stored
// top to bottom, pixels left to right, without gaps; a DXT level's "row" is
// one row of 4x4 blocks and its width is given in bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_System.h"

enum class TImageDecode {
    Ok,
    Unsupported, // a kind of file the reader does not read
    BadFormat,   // sizes or indices that do not fit the file
};

// Decodes a TGA file's bytes. Ok: image holds the picture (the caller frees
// it) and format its Direct3D format (21 A8R8G8B8, 23 R5G6B5 or 50 L8).
// Any other answer leaves image nullptr; for Unsupported, why (when given)
// says what the reader does not read, in the words of the fatal lines
// ("UNSUPPORTED IMAGE TYPE 10!").
TImageDecode DecodeTGA(const uint8_t* data, size_t size, int32_t& format, TImageBuffer*& image,
                       std::string* why = nullptr);

// Decodes a DDS file's bytes into one image record per mipmap level (the
// caller frees them), the DXT format and the picture's size. A mipmap count
// of 0 means one level. Any answer but Ok leaves levels empty.
TImageDecode DecodeDDS(const uint8_t* data, size_t size, int32_t& format, std::vector<TImageBuffer*>& levels,
                       int32_t& width, int32_t& height);

// Reads a TGA file; true when an image was produced. A file of another image
// type, colour map or pixel depth gives false, and its name and what is
// unsupported are added to the error text (the texture it was meant for
// cannot be made, and that stop should say why); a missing file ("FILE NOT
// FOUND!") or a malformed one ("BAD FORMAT!") stops the program.
bool Load_TGA(const std::string& fileName, int32_t& format, TImageBuffer*& image);

// Reads a DDS file; a missing or malformed file stops the program.
void Load_DDS(const std::string& fileName, int32_t& format, std::vector<TImageBuffer*>& levels, int32_t& width,
              int32_t& height);

void FreeImageLevels(std::vector<TImageBuffer*>& levels);
