// A screenshot made small for a mail: PngImage of a 1920 x 1080 picture,
// desktop-like and noise, in mode 0 (256 colours) and mode 3 (the grey
// image too when the colour one passes 102400 bytes). Beside it zlib's
// compress2 at level 6 of the same index bytes, and the preview scaling.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <memory>
#include <string>

#include "crashreport/diagnostics/zorBitmap.h"

namespace {

std::shared_ptr<TINVBitmap> Picture(bool noise)
{
    auto bitmap = std::make_shared<TINVBitmap>(1920, 1080);
    uint32_t state = 12345;
    for (int32_t y = 0; y < 1080; ++y)
        for (int32_t x = 0; x < 1920; ++x) {
            uint32_t rgb;
            if (noise) {
                state = state * 1664525u + 1013904223u;
                rgb = state >> 8;
            } else if (y < 30) {
                rgb = 0x202833u; // a task bar
            } else if (x < 300) {
                rgb = 0xECECECu - static_cast<uint32_t>((y / 24) % 2) * 0x080808u; // a side list
            } else if (x > 400 && x < 1500 && y > 100 && y < 900) {
                rgb = ((x / 4 + y / 9) % 11 == 0) ? 0x101010u : 0xFFFFFFu; // a window with text
            } else {
                rgb = 0x1E5A8Cu + static_cast<uint32_t>((x + y) / 64 % 32); // the desktop gradient
            }
            bitmap->SetPixel(x, y, rgb);
        }
    return bitmap;
}

const std::shared_ptr<TINVBitmap>& Cached(bool noise)
{
    static std::shared_ptr<TINVBitmap> pictures[2] = {Picture(false), Picture(true)};
    return pictures[noise ? 1 : 0];
}

// The scanlines inside a PNG image.
std::string Scanlines(const std::string& png, size_t expected)
{
    const size_t at = png.find("IDAT");
    const uint32_t length = (uint32_t{static_cast<uint8_t>(png[at - 4])} << 24) |
                            (uint32_t{static_cast<uint8_t>(png[at - 3])} << 16) |
                            (uint32_t{static_cast<uint8_t>(png[at - 2])} << 8) | static_cast<uint8_t>(png[at - 1]);
    std::string raw(expected, '\0');
    uLongf size = raw.size();
    uncompress(reinterpret_cast<Bytef*>(raw.data()), &size, reinterpret_cast<const Bytef*>(png.data() + at + 4),
               length);
    raw.resize(size);
    return raw;
}

void BM_PngImage(benchmark::State& state)
{
    const bool noise = state.range(0) != 0;
    const auto mode = static_cast<int32_t>(state.range(1));
    const auto& picture = Cached(noise);
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string png = picture->PngImage(mode);
        bytes = png.size();
        benchmark::DoNotOptimize(png.data());
    }
    state.counters["png_bytes"] = static_cast<double>(bytes);
    state.SetLabel(std::string(noise ? "noise" : "desktop") + ", mode " + std::to_string(mode));
}
BENCHMARK(BM_PngImage)->Args({0, 0})->Args({0, 3})->Args({1, 0})->Args({1, 3})->Unit(benchmark::kMillisecond);

// zlib alone on the index bytes of the same picture (mode 0).
void BM_Compress2Level6(benchmark::State& state)
{
    const bool noise = state.range(0) != 0;
    const std::string scan = Scanlines(Cached(noise)->PngImage(0), 1081 * 1920);
    std::string out(compressBound(scan.size()), '\0');
    for (auto _ : state) {
        uLongf size = out.size();
        compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(scan.data()), scan.size(),
                  6);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(noise ? "noise" : "desktop");
}
BENCHMARK(BM_Compress2Level6)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ScaledCopy(benchmark::State& state)
{
    const auto& picture = Cached(false);
    for (auto _ : state) {
        auto preview = picture->ScaledCopy(400, 225);
        benchmark::DoNotOptimize(preview.get());
    }
}
BENCHMARK(BM_ScaledCopy)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
