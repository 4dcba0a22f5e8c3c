// render_check's shared pieces: the frame size, the probe and value lines
// and the read-back of the frame, for the scenes kept in files of their own.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace RenderCheck {

extern int Width;
extern int Height;

// Ends the program with the message on stderr.
void Fail(const std::string& text);
// The back buffer as 0xAARRGGBB pixels, rows from the top.
std::vector<uint32_t> ReadBackBuffer();
// Prints "value NAME N".
void Value(const char* name, int64_t value);

struct TFrame {
    std::vector<uint32_t> Pixels;
    uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x] & 0xFFFFFF; }
    void Probe(const char* name, int x, int y) const { std::printf("probe %s %d %d %06X\n", name, x, y, At(x, y)); }
    // Pixels brighter than a faint level in the rectangle [l, r) x [t, b).
    int Lit(int l, int t, int r, int b) const
    {
        int count = 0;
        for (int y = std::max(t, 0); y < std::min(b, Height); y++)
            for (int x = std::max(l, 0); x < std::min(r, Width); x++) {
                const uint32_t c = At(x, y);
                if (((c >> 16) & 255) > 24 || ((c >> 8) & 255) > 24 || (c & 255) > 24)
                    count++;
            }
        return count;
    }
};

} // namespace RenderCheck

// The contact sheet of the map's model libraries and the personage models
// with their gear (render_check/RenderCheck_Models.cpp).
RenderCheck::TFrame ModelsSheet();
// Personages dressed, posed and placed by the personage model code
// (render_check/RenderCheck_Models.cpp).
RenderCheck::TFrame PersonagePoses();
