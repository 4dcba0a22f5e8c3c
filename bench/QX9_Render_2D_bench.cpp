// The interface's frame: 1,000 interface sprites of 1 to 40 quads queued into
// the 2D list of a 1500 x 1050 "GUI" pass and drawn. On a device that only
// counts (the renderer's own cost) and on the real device over software GL
// (the whole frame), with the texture changing every 10 sprites or on every
// sprite; the second argument 1 draws runs of equal state with one call, 0
// every sprite with its own.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "platform/os/OS.h"
#include "platform/window/Window.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Textures.h"
#include "tests/fakes/CountingDevice.h"
#include "tools/NullRender.h"

namespace {

constexpr int32_t SpriteCount = 1000;
constexpr int32_t GuiWidth = 1500;
constexpr int32_t GuiHeight = 1050;

struct TGuiFrame {
    T3D_Scene* Scene = nullptr;
    std::vector<int32_t> Sprites;
};

// 1,000 sprites of 1..40 quads; the texture changes every textureRun sprites.
TGuiFrame MakeGui(T3D_Render& render, const std::string& shaders, int32_t textureRun, uint8_t batch)
{
    TGuiFrame gui;
    gui.Scene = render.Scene_Get(render.Scene_Add("2D"));
    T3D_RenderPass* pass = gui.Scene->Passes[static_cast<size_t>(gui.Scene->AddPass("GUI", 0, 0, 0, 0))];
    pass->SetDraw2D(1);
    pass->Batch2D = batch;
    std::vector<int32_t> textures;
    for (int32_t i = 0; i < SpriteCount / textureRun; i++)
        textures.push_back(render.Texture_Create(TEXTURE_DEFAULT, 16, 16, 1, D3DFMT_A8R8G8B8, 0));
    for (int32_t i = 0; i < SpriteCount; i++) {
        const int32_t index = render.Sprite_Add(0, 0);
        T3D_Sprite* sprite = render.Sprite_Get(index);
        const int32_t quads = 1 + (i * 7) % 40;
        for (int32_t q = 0; q < quads; q++)
            sprite->AddQuad(-1, 12, 12, static_cast<float>(q % 8) * 12, static_cast<float>(q / 8) * 12, 0, 0, 1, 1);
        sprite->SetStageTexture(textures[static_cast<size_t>(i / textureRun)], 0, 1);
        sprite->SetShader(shaders + "Sprite_VS.bin", "GUI", 1);
        sprite->SetShader(shaders + "Sprite_PS.bin", "GUI", 0);
        sprite->SetRenderState(RSK_ALPHAMODE, static_cast<int32_t>(RSK_ALPHA_BLEND));
        sprite->SetRenderState(RSK_SRCBLEND, 2);
        sprite->SetRenderState(RSK_DESTBLEND, 2);
        sprite->SetRenderState(RSK_CULL, 0x4);
        gui.Sprites.push_back(index);
    }
    return gui;
}

void QueueAndRender(T3D_Render& render, const TGuiFrame& gui, bool present)
{
    for (size_t i = 0; i < gui.Sprites.size(); i++)
        render.Sprite_Draw(gui.Scene->Index, gui.Sprites[i], static_cast<int32_t>(i % 14) * 100,
                           static_cast<int32_t>(i / 14) * 14, -1);
    gui.Scene->Render(present);
}

// CPU time of every thread of the process (the rasteriser's too), in ms: on
// a shared machine a steadier measure of the frame's work than wall time.
double ProcessCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

const std::string InstallShaders = OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\Interface\\Shaders\\";

void BM_Gui1000Sprites_RendererOwnCost(benchmark::State& state)
{
    std::unique_ptr<T3D_Render> render = MakeNullRender();
    TCountingDevice device;
    render->Device = &device;
    render->ScreenWidth = GuiWidth;
    render->ScreenHeight = GuiHeight;
    render->UploadQueue_End();
    const TGuiFrame gui =
        MakeGui(*render, InstallShaders, static_cast<int32_t>(state.range(0)), static_cast<uint8_t>(state.range(1)));
    for (auto _ : state)
        QueueAndRender(*render, gui, false);
    state.counters["triangles"] = static_cast<double>(device.Triangles) / static_cast<double>(state.iterations());
    FreeConstants(render->Constants);
    render->Device = nullptr;
}
BENCHMARK(BM_Gui1000Sprites_RendererOwnCost)
    ->Args({10, 1})
    ->Args({1, 1})
    ->Args({10, 0})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond);

void BM_Gui1000Sprites_SoftwareGL(benchmark::State& state)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    QX9_Render_Initialization();
    TWindowCreateParams params;
    params.ClassName = "GuiBench";
    params.Title = "GUI bench";
    params.Width = GuiWidth;
    params.Height = GuiHeight;
    HWND window = Window_Create(params);
    if (window == nullptr) {
        state.SkipWithError("no window");
        return;
    }
    auto* render = new T3D_Render;
    render->CreateDevice(window, GuiWidth, GuiHeight, 0, 0, 0, D3DFMT_D24S8);
    const TGuiFrame gui =
        MakeGui(*render, InstallShaders, static_cast<int32_t>(state.range(0)), static_cast<uint8_t>(state.range(1)));
    QueueAndRender(*render, gui, true);
    const double cpuStart = ProcessCpuMs();
    for (auto _ : state)
        QueueAndRender(*render, gui, true);
    state.counters["draws"] = gui.Scene->Passes[0]->DrawCalls;
    state.counters["cpu_ms_per_frame"] =
        (ProcessCpuMs() - cpuStart) / static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    // The program ends after the benchmarks; the device goes with it.
}
BENCHMARK(BM_Gui1000Sprites_SoftwareGL)
    ->Args({10, 1})
    ->Args({1, 1})
    ->Args({10, 0})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
