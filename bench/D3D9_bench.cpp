// The Direct3D-9-like layer's cost per draw, as a busy GUI screen uses it:
// many small sprites from user memory, each with its own texture and
// blending, on a 1500x1050 back buffer, on Mesa's software rasteriser.
// us_per_draw: the frame less an empty frame timed beside it, per sprite, in
// wall time; cpu_us_per_draw the same in the CPU time of all threads.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/d3d9/D3D9.h"

namespace {

struct TSpriteVertex {
    float X, Y, Z, Rhw, U, V;
    D3DCOLOR Color;
};

const D3DVERTEXELEMENT9 SpriteElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
    {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
    {0, 24, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
    D3DDECL_END,
};
const char* SpritePS = "//GLSL-PS\nvoid ps_main() { oC0 = texture(s0, v_T0.xy) * v_C0; }\n";

// range(0): sprites per frame; range(1): quads per sprite; range(2): bit 0
// every sprite changes texture, bit 1 every sprite changes blending, bit 2
// every sprite writes a matrix into four vertex constant registers (as a 3D
// instance does).
void BM_SpriteFrame(benchmark::State& state)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("DUSKMARCH_HEADLESS", "1", 1);
    TWindowCreateParams params;
    params.ClassName = "D3D9Bench";
    params.Width = 1500;
    params.Height = 1050;
    HWND window = Window_Create(params);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (window == nullptr || d3d == nullptr) {
        state.SkipWithError("no OpenGL 4.5 here");
        return;
    }
    D3DPRESENT_PARAMETERS present;
    present.BackBufferWidth = 1500;
    present.BackBufferHeight = 1050;
    present.BackBufferCount = 1;
    present.SwapEffect = D3DSWAPEFFECT_DISCARD;
    present.hDeviceWindow = window;
    present.Windowed = TRUE;
    present.EnableAutoDepthStencil = TRUE;
    present.AutoDepthStencilFormat = D3DFMT_D24S8;
    present.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    IDirect3DDevice9* device = nullptr;
    d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0x44, &present, &device);
    IDirect3DVertexDeclaration9* decl = nullptr;
    device->CreateVertexDeclaration(SpriteElements, &decl);
    IDirect3DPixelShader9* ps = nullptr;
    device->CreatePixelShader(SpritePS, std::strlen(SpritePS), &ps);
    std::vector<IDirect3DTexture9*> textures(8);
    for (IDirect3DTexture9*& texture : textures) {
        device->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
        D3DLOCKED_RECT locked;
        texture->LockRect(0, &locked, nullptr, 0);
        std::memset(locked.pBits, 0x80, 64 * 64 * 4);
        texture->UnlockRect(0);
    }
    const int sprites = static_cast<int>(state.range(0)), quads = static_cast<int>(state.range(1));
    std::vector<TSpriteVertex> vertices(static_cast<size_t>(quads) * 4);
    std::vector<uint16_t> indices;
    for (int q = 0; q < quads; q++) {
        float x = static_cast<float>((q * 37) % 1400), y = static_cast<float>((q * 53) % 1000);
        vertices[q * 4 + 0] = {x - 0.5f, y - 0.5f, 0, 1, 0, 0, 0xC0FFFFFF};
        vertices[q * 4 + 1] = {x + 31.5f, y - 0.5f, 0, 1, 1, 0, 0xC0FFFFFF};
        vertices[q * 4 + 2] = {x + 31.5f, y + 15.5f, 0, 1, 1, 1, 0xC0FFFFFF};
        vertices[q * 4 + 3] = {x - 0.5f, y + 15.5f, 0, 1, 0, 1, 0xC0FFFFFF};
        for (uint16_t i : {0, 2, 1, 0, 3, 2})
            indices.push_back(static_cast<uint16_t>(q * 4 + i));
    }
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetPixelShader(ps);
    // The frame without sprites (clear and present), timed in the same run,
    // so that the cost of one draw can be told apart.
    auto frame = [&](int count) {
        device->BeginScene();
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        for (int s = 0; s < count; s++) {
            bool varyTexture = (state.range(2) & 1) != 0, varyBlend = (state.range(2) & 2) != 0;
            device->SetTexture(0, textures[varyTexture ? static_cast<size_t>(s) % textures.size() : 0]);
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, varyBlend && (s & 1) != 0 ? TRUE : FALSE);
            device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
            device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
            if ((state.range(2) & 4) != 0) {
                const float matrix[16] = {1, 0, 0, static_cast<float>(s), 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
                device->SetVertexShaderConstantF(8, matrix, 4);
            }
            device->SetVertexDeclaration(decl);
            device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(vertices.size()),
                                           static_cast<UINT>(quads * 2), indices.data(), D3DFMT_INDEX16,
                                           vertices.data(), sizeof(TSpriteVertex));
        }
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    };
    // Each iteration times an empty frame and a frame of sprites back to
    // back, in wall time and in the CPU time of every thread of the process
    // (the rasteriser's threads included); the medians of their differences
    // give the cost of the draws, so that what other programs do to the
    // machine meanwhile weighs as little as it can.
    using TClock = std::chrono::steady_clock;
    auto cpuNow = [] {
        timespec now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
    };
    std::vector<double> wallEmpty, wallFull, cpuEmpty, cpuFull;
    frame(0);
    frame(sprites);
    for (auto _ : state) {
        const TClock::time_point t0 = TClock::now();
        const double c0 = cpuNow();
        frame(0);
        const TClock::time_point t1 = TClock::now();
        const double c1 = cpuNow();
        frame(sprites);
        const TClock::time_point t2 = TClock::now();
        const double c2 = cpuNow();
        wallEmpty.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        wallFull.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
        cpuEmpty.push_back(c1 - c0);
        cpuFull.push_back(c2 - c1);
    }
    auto median = [](std::vector<double> values) {
        if (values.empty())
            return 0.0;
        std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
        return values[values.size() / 2];
    };
    const double perDraw = sprites > 0 ? 1.0 / sprites : 0.0;
    state.counters["empty_frame_us"] = median(wallEmpty);
    state.counters["frame_us"] = median(wallFull);
    state.counters["us_per_draw"] = std::max(0.0, median(wallFull) - median(wallEmpty)) * perDraw;
    state.counters["cpu_us_per_draw"] = std::max(0.0, median(cpuFull) - median(cpuEmpty)) * perDraw;
    state.SetItemsProcessed(state.iterations() * sprites);
    for (IDirect3DTexture9* texture : textures)
        texture->Release();
    ps->Release();
    decl->Release();
    device->Release();
    d3d->Release();
    Window_Shutdown();
}
BENCHMARK(BM_SpriteFrame)
    ->Args({1, 1, 0})
    ->Args({300, 1, 0})
    ->Args({300, 1, 1})
    ->Args({300, 1, 2})
    ->Args({300, 1, 3})
    ->Args({1000, 4, 3})
    // One quad a draw, texture and blending changed on every draw, at three
    // counts, and the same count without changes: the cost of a draw should
    // not grow with their number.
    ->Args({1000, 1, 3})
    ->Args({3000, 1, 3})
    ->Args({3000, 1, 0})
    ->Args({3000, 1, 1})
    ->Args({3000, 1, 2})
    ->Args({3000, 1, 4})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
