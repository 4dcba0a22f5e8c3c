// QX9_Render_Png: pictures of the back buffer as truecolour PNG files (the
// test runs' screenshots).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A truecolour PNG (8 bits per channel, no alpha) of 32-bit pixels stored
// B, G, R, X, top row first, rows `pitch` bytes apart. Empty for a size it
// can't describe (no pixels, a pitch shorter than a row, more than 2 GB).
std::string PngTruecolourImage(int32_t width, int32_t height, const uint8_t* bgrx, int64_t pitch);

// The back buffer of the renderer's device as a PNG, read before it is
// presented; empty when there is no device or the read fails.
class T3D_Render;
std::string PngOfBackBuffer(T3D_Render& render);
// The back buffer's pixels as 0xXXRRGGBB, top row first, read before it is
// presented; false (and nothing filled) when there is no device, the buffer
// is not 32-bit or the read fails.
bool ReadBackBufferPixels(T3D_Render& render, std::vector<uint32_t>& pixels, int32_t& width, int32_t& height);
