// The Direct3D-9-like layer's cost per draw, as a busy GUI screen uses it:
// many small sprites from user memory, each with its own texture and
// blending, on a 1500x1050 back buffer, on Mesa's software rasteriser.
// us_per_draw: the frame less an empty frame of the same run, per sprite.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
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
// every sprite changes texture, bit 1 every sprite changes blending.
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
            device->SetVertexDeclaration(decl);
            device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(vertices.size()),
                                           static_cast<UINT>(quads * 2), indices.data(), D3DFMT_INDEX16,
                                           vertices.data(), sizeof(TSpriteVertex));
        }
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    };
    using TClock = std::chrono::steady_clock;
    constexpr int EmptyFrames = 20;
    frame(0);
    const TClock::time_point emptyStart = TClock::now();
    for (int i = 0; i < EmptyFrames; i++)
        frame(0);
    const double emptyUs = std::chrono::duration<double, std::micro>(TClock::now() - emptyStart).count() / EmptyFrames;
    const TClock::time_point start = TClock::now();
    for (auto _ : state)
        frame(sprites);
    const double frameUs = std::chrono::duration<double, std::micro>(TClock::now() - start).count() /
                           static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["empty_frame_us"] = emptyUs;
    state.counters["us_per_draw"] = sprites > 0 ? std::max(0.0, frameUs - emptyUs) / sprites : 0;
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
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
