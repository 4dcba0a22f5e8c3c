// Fonts: printing a 200-character line into a sprite (wide text), and
// loading the 30-pixel font of the sample installation (the ini, the glyph
// scan and the atlas; the device upload stays queued).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/os/OS.h"
#include "render/QX9_Render_Fonts.h"
#include "tools/NullRender.h"

namespace {

const std::string FontFolder = OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\Interface\\Common\\Fonts\\";

void BM_PrintTextWide_200Characters(benchmark::State& state)
{
    const std::unique_ptr<T3D_Render> render = MakeNullRender();
    T3D_Font* font = render->Font_Get(render->Font_Load(FontFolder + "Candara_15px_white.ini"));
    const int32_t sprite = render->Sprite_Add(1, 1);
    std::u16string line;
    const std::u16string words = u"Gold 1250, the garrison of Грозный замок holds; łódź ";
    while (line.size() < 200)
        line += words;
    line.resize(200);
    for (auto _ : state) {
        font->PrintTextWide(line, sprite, -1000, 0);
        benchmark::DoNotOptimize(render->Sprite_Get(sprite)->Vertices.data());
    }
    state.counters["quads"] = static_cast<double>(render->Sprite_Get(sprite)->QuadCount());
}
BENCHMARK(BM_PrintTextWide_200Characters)->Unit(benchmark::kMicrosecond);

void BM_FontLoad_30px(benchmark::State& state)
{
    const std::unique_ptr<T3D_Render> render = MakeNullRender();
    for (auto _ : state) {
        T3D_Font font(render.get());
        font.Load(FontFolder + "Candara_30px_white.ini");
        state.PauseTiming();
        render->Texture_Free(font.Texture, 1);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FontLoad_30px)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
