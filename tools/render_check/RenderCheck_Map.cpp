#include "tools/render_check/RenderCheck_Map.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/os/OS.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"
#include "tools/TextureFiles.h"

namespace {

bool WritePicture(const std::string& file, int width, int height, const std::vector<uint32_t>& pixels)
{
    std::vector<uint8_t> bgra(pixels.size() * 4);
    for (size_t i = 0; i < pixels.size(); i++) {
        const uint32_t c = pixels[i] | 0xFF000000u;
        std::memcpy(&bgra[i * 4], &c, 4);
    }
    const std::vector<uint8_t> tga =
        TextureFiles::MakeTGA32(static_cast<uint16_t>(width), static_cast<uint16_t>(height), bgra);
    return OS_WriteFileAtomic(file, tga.data(), tga.size());
}

// Three minutes a column: the top shows the colour the map's main pass
// clears with, the bottom the sun's height (its middle row the horizon).
bool Daylight(const std::string& out)
{
    constexpr int width = 480, height = 160, strip = 100;
    constexpr int graphTop = strip + 4, graphBottom = height - 4;
    LoadMapEditOptions();
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0x202020);
    for (int x = 0; x < width; x++) {
        const int64_t minute = 3 * x;
        UpdateDaylight(minute * 10000);
        const uint32_t clear = MapClearColor() & 0xFFFFFF;
        for (int y = 0; y < strip; y++)
            pixels[static_cast<size_t>(y) * width + x] = clear;
        const float sun = MapCamera.LightPosition.y / 2000000.0f; // -1 .. 1
        const int middle = (graphTop + graphBottom) / 2;
        const int row = middle - static_cast<int>(sun * static_cast<float>(graphBottom - graphTop) / 2);
        pixels[static_cast<size_t>(middle) * width + x] = 0x606060;
        if (x % 20 == 0) // a tick every hour
            for (int y = graphTop; y < graphTop + 6; y++)
                pixels[static_cast<size_t>(y) * width + x] = 0x909090;
        for (int y = std::min(row, middle); y <= std::max(row, middle); y++)
            pixels[static_cast<size_t>(y) * width + x] = sun >= 0 ? 0xF0D040 : 0x5060A0;
    }
    struct {
        const char* Name;
        int Minute;
    } const probes[] = {{"midnight", 0}, {"dawn", 360}, {"morning", 600}, {"noon", 780}, {"evening", 1200},
                        {"night", 1380}};
    for (const auto& p : probes) {
        const int x = p.Minute / 3;
        std::printf("probe %s %d %d %06X\n", p.Name, x, strip / 2, pixels[static_cast<size_t>(strip / 2) * width + x]);
        UpdateDaylight(int64_t{p.Minute} * 10000);
        std::printf("value sun_%s %d\n", p.Name, static_cast<int>(MapCamera.LightPosition.y));
    }
    return out.empty() || WritePicture(out, width, height, pixels);
}

} // namespace

bool RenderCheckMap(const std::string& scene, const std::string& out)
{
    if (scene == "daylight") {
        if (!Daylight(out))
            std::fprintf(stderr, "render_check: cannot write %s\n", out.c_str());
        return true;
    }
    return false;
}
