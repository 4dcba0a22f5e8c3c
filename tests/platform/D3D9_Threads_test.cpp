// Drawing threads of the Direct3D-9-like layer: each gets a GL context of
// its own, shares textures with the others, and hands its context back when
// it ends.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/platform/D3D9_TestDevice.h"

class D3D9ThreadTest : public D3D9Test {
protected:
    IDirect3DTexture9* Target(UINT size)
    {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(Device->CreateTexture(size, size, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                        &texture, nullptr),
                  D3D_OK);
        return texture;
    }
    uint32_t FirstPixel(IDirect3DSurface9* surface)
    {
        std::vector<uint8_t> bytes = ReadBack(surface);
        return static_cast<uint32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16));
    }
};

TEST_F(D3D9ThreadTest, TwoThreadsDrawAlternatelyUnderTheRenderLock)
{
    IDirect3DTexture9* targets[2] = {Target(16), Target(16)};
    IDirect3DSurface9* surfaces[2] = {};
    targets[0]->GetSurfaceLevel(0, &surfaces[0]);
    targets[1]->GetSurfaceLevel(0, &surfaces[1]);
    IDirect3DPixelShader9* texturePS = PixelShader(TexturePS);

    std::mutex renderLock;
    std::condition_variable turnChanged;
    int turn = 0;
    const int rounds = 12;
    int failures[2] = {0, 0};
    auto worker = [&](int me) {
        for (int round = 0; round < rounds; round++) {
            std::unique_lock<std::mutex> lock(renderLock);
            turnChanged.wait(lock, [&] { return turn % 2 == me; });
            uint32_t colour = 0x101010u * static_cast<uint32_t>(round + 1) + (me == 0 ? 0x000003u : 0u);
            Device->BeginScene();
            Device->SetRenderTarget(0, surfaces[me]);
            Device->SetDepthStencilSurface(nullptr);
            Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
            if (me == 0) {
                // Thread 0 draws a colour ...
                Device->SetTexture(0, nullptr);
                Device->SetPixelShader(ColorShader);
                if (DrawRect(0, 0, 16, 16, 0xFF000000 | colour) != D3D_OK)
                    failures[me]++;
            } else {
                // ... thread 1 samples what thread 0 drew in its context.
                Device->SetPixelShader(texturePS);
                Device->SetTexture(0, targets[0]);
                if (DrawRect(0, 0, 16, 16, 0xFFFFFFFF) != D3D_OK)
                    failures[me]++;
                Device->SetTexture(0, nullptr);
            }
            Device->EndScene();
            uint32_t expected = me == 0 ? colour : 0x101010u * static_cast<uint32_t>(round + 1) + 3u;
            if (FirstPixel(surfaces[me]) != expected)
                failures[me]++;
            turn++;
            turnChanged.notify_all();
        }
    };
    std::thread first(worker, 0), second(worker, 1);
    first.join();
    second.join();
    EXPECT_EQ(failures[0], 0);
    EXPECT_EQ(failures[1], 0);

    // The main thread still draws with its own context afterwards.
    IDirect3DSurface9* backBuffer = nullptr;
    Device->GetRenderTarget(0, &backBuffer);
    Device->SetPixelShader(ColorShader);
    Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(DrawRect(0, 0, 8, 8, 0xFF00FF00), D3D_OK);
    EXPECT_EQ(Rgb(ReadTarget()[0]), 0x00FF00u);

    backBuffer->Release();
    texturePS->Release();
    for (int i = 0; i < 2; i++) {
        surfaces[i]->Release();
        targets[i]->Release();
    }
}

TEST_F(D3D9ThreadTest, EndedThreadsHandTheirContextsBack)
{
    IDirect3DTexture9* target = Target(8);
    IDirect3DSurface9* surface = nullptr;
    target->GetSurfaceLevel(0, &surface);
    std::mutex renderLock;
    // More threads than spare contexts, one after the other.
    for (int i = 0; i < D3D9_EXTRA_CONTEXTS + 3; i++) {
        HRESULT result = E_FAIL;
        uint32_t pixel = 0;
        std::thread thread([&] {
            std::lock_guard<std::mutex> lock(renderLock);
            Device->SetRenderTarget(0, surface);
            Device->SetPixelShader(ColorShader);
            result = DrawRect(0, 0, 8, 8, 0xFF000000u | static_cast<uint32_t>(i + 1));
            pixel = FirstPixel(surface);
        });
        thread.join();
        EXPECT_EQ(result, D3D_OK) << "thread " << i;
        EXPECT_EQ(pixel, static_cast<uint32_t>(i + 1)) << "thread " << i;
    }
    surface->Release();
    target->Release();
}

TEST_F(D3D9ThreadTest, ResourcesMadeAndLockedOnAThreadWithoutDrawingNeedNoContext)
{
    IDirect3DTexture9* texture = nullptr;
    std::thread loader([&] {
        const uint32_t texel = 0xFF123456;
        texture = MakeTexture(1, 1, D3DFMT_A8R8G8B8, &texel, 4);
        IDirect3DTexture9* dropped = nullptr;
        Device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &dropped, nullptr);
        dropped->Release();
    });
    loader.join();
    IDirect3DPixelShader9* ps = PixelShader(TexturePS);
    Device->SetPixelShader(ps);
    Device->SetTexture(0, texture);
    ASSERT_EQ(DrawRect(0, 0, 8, 8, 0xFFFFFFFF), D3D_OK);
    EXPECT_EQ(Rgb(ReadTarget()[0]), 0x123456u);
    Device->SetTexture(0, nullptr);
    ps->Release();
    texture->Release();
}

// A thread's context that fell behind while another thread wrote constant
// registers gets every one of them at its next draw.
TEST_F(D3D9ThreadTest, AContextCatchesUpOnEveryConstantWrittenWhileItWaited)
{
    IDirect3DTexture9* target = Target(16);
    IDirect3DSurface9* surface = nullptr;
    target->GetSurfaceLevel(0, &surface);
    IDirect3DPixelShader9* ps = PixelShader("//GLSL-PS\nvoid ps_main() { oC0 = PC[3] + PC[31]; }\n");
    ASSERT_NE(ps, nullptr);
    std::mutex renderLock;
    std::condition_variable turnChanged;
    int turn = 0;
    uint32_t seen[2] = {};
    auto waitFor = [&](std::unique_lock<std::mutex>& lock, int wanted) {
        turnChanged.wait(lock, [&] { return turn == wanted; });
    };
    auto pass = [&] {
        turn++;
        turnChanged.notify_all();
    };
    std::thread drawer([&] {
        for (int round = 0; round < 2; round++) {
            std::unique_lock<std::mutex> lock(renderLock);
            waitFor(lock, 2 * round + 1);
            Device->BeginScene();
            Device->SetRenderTarget(0, surface);
            Device->SetDepthStencilSurface(nullptr);
            Device->SetPixelShader(ps);
            Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
            DrawRect(0, 0, 16, 16, 0xFFFFFFFF);
            Device->EndScene();
            seen[round] = FirstPixel(surface);
            pass();
        }
    });
    const float red[4] = {0.25f, 0, 0, 0}, opaque[4] = {0, 0, 0, 1};
    const float green[4] = {0, 0.5f, 0, 0}, blue[4] = {0, 0, 0.25f, 1};
    {
        std::unique_lock<std::mutex> lock(renderLock);
        Device->SetPixelShaderConstantF(3, red, 1);
        Device->SetPixelShaderConstantF(31, opaque, 1);
        pass();
        // Two writes, to two registers, while the drawer waits.
        waitFor(lock, 2);
        Device->SetPixelShaderConstantF(3, green, 1);
        Device->SetPixelShaderConstantF(31, blue, 1);
        pass();
    }
    drawer.join();
    EXPECT_TRUE(Near(seen[0], 0x400000u, 1)) << std::hex << seen[0];
    EXPECT_TRUE(Near(seen[1], 0x008040u, 1)) << std::hex << seen[1];
    ps->Release();
    surface->Release();
    target->Release();
}
