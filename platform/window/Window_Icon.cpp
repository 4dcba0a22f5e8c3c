// The program's icon: a dusk sky over a dark marsh line with a low sun,
// drawn once into 32 x 32 pixels. It stands where a Windows program keeps its
// icon resource.
#include <cmath>

#include "platform/window/Window_Internal.h"

namespace {

constexpr int IconSize = 32;

uint32_t Argb(int a, int r, int g, int b) {
    auto c = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
    return (c(a) << 24) | (c(r) << 16) | (c(g) << 8) | c(b);
}

struct TIcon {
    uint32_t Pixels[IconSize * IconSize];
    TIcon() {
        const double sunX = 15.5, sunY = 21.0, sunRadius = 7.0;
        for (int y = 0; y < IconSize; ++y)
            for (int x = 0; x < IconSize; ++x) {
                uint32_t colour;
                // Marsh line: a gentle wave across the lower third.
                double ground = 22.0 + 1.5 * std::sin(x * 0.45);
                double dx = x + 0.5 - sunX, dy = y + 0.5 - sunY;
                if (y >= ground) {
                    // Dark water with a streak of reflected sun.
                    bool streak = std::fabs(dx) < 5.0 - (y - ground) * 0.6 && (y % 2) == 0;
                    colour = streak ? Argb(255, 210, 120, 60) : Argb(255, 24, 20, 40);
                } else if (dx * dx + dy * dy <= sunRadius * sunRadius) {
                    colour = Argb(255, 250, 170 - static_cast<int>(dy * 6), 70);
                } else {
                    // Sky from deep violet at the top to amber at the horizon.
                    double t = y / ground;
                    colour = Argb(255, static_cast<int>(60 + 170 * t), static_cast<int>(30 + 70 * t),
                                  static_cast<int>(90 - 30 * t));
                }
                // Rounded corners stay transparent.
                double cx = std::fabs(x + 0.5 - 16.0) - 12.0, cy = std::fabs(y + 0.5 - 16.0) - 12.0;
                if (cx > 0 && cy > 0 && cx * cx + cy * cy > 16.0)
                    colour = 0;
                Pixels[y * IconSize + x] = colour;
            }
    }
};

} // namespace

const uint32_t* Window_ProgramIconPixels(int& width, int& height) {
    static const TIcon icon;
    width = IconSize;
    height = IconSize;
    return icon.Pixels;
}
