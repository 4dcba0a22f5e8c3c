// A Direct3D-9-like device on a hidden window for the layer's tests, with
// small helpers to draw quads and read targets back.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d9/D3D9.h"
#include "platform/d3d9/D3D9_TestHook.h"

// Whether two colours differ by at most `tolerance` in each 8-bit channel.
inline bool Near(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift = 0; shift < 32; shift += 8) {
        int ca = static_cast<int>((a >> shift) & 255), cb = static_cast<int>((b >> shift) & 255);
        if (std::abs(ca - cb) > tolerance)
            return false;
    }
    return true;
}

// Sprite vertex as the renderer's MESH_SPRITE format lays it out.
struct TSpriteVertex {
    float X, Y, Z, Rhw;
    float U, V;
    D3DCOLOR Color;
};
static_assert(sizeof(TSpriteVertex) == 28);

inline const D3DVERTEXELEMENT9 SpriteElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
    {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
    {0, 24, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
    D3DDECL_END,
};

// Position in clip space and a texture coordinate.
struct TClipVertex {
    float X, Y, Z;
    float U, V;
};
inline const D3DVERTEXELEMENT9 ClipElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END,
};

inline const char* ClipVS = "//GLSL-VS\nvoid vs_main() { oPos = vec4(POSITION.xyz, 1.0); v_T0 = TEXCOORD0; }\n";
inline const char* TexturePS = "//GLSL-PS\nvoid ps_main() { oC0 = texture(s0, v_T0.xy); }\n";
inline const char* ColorPS = "//GLSL-PS\nvoid ps_main() { oC0 = v_C0; }\n";
inline const char* TextureColorPS = "//GLSL-PS\nvoid ps_main() { oC0 = texture(s0, v_T0.xy) * v_C0; }\n";
inline const char* ConstantPS = "//GLSL-PS\nvoid ps_main() { oC0 = PC[0]; }\n";

class D3D9Test : public ::testing::Test {
protected:
    static constexpr UINT Width = 64;
    static constexpr UINT Height = 48;

    void SetUp() override
    {
        D3D9Test_Clear();
        TWindowCreateParams params;
        params.ClassName = "D3D9Test";
        params.Title = "D3D9 test";
        params.Width = static_cast<int32_t>(Width);
        params.Height = static_cast<int32_t>(Height);
        Window = Window_Create(params);
        ASSERT_NE(Window, nullptr);
        Direct3D = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(Direct3D, nullptr);
        D3DPRESENT_PARAMETERS present;
        present.BackBufferWidth = Width;
        present.BackBufferHeight = Height;
        present.BackBufferCount = 1;
        present.SwapEffect = D3DSWAPEFFECT_DISCARD;
        present.hDeviceWindow = Window;
        present.Windowed = TRUE;
        present.EnableAutoDepthStencil = TRUE;
        present.AutoDepthStencilFormat = D3DFMT_D24S8;
        present.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        Params = present;
        ASSERT_EQ(Direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, Window, 0x44, &present, &Device), D3D_OK);
        ASSERT_EQ(Device->CreateVertexDeclaration(SpriteElements, &SpriteDecl), D3D_OK);
        ASSERT_EQ(Device->CreateVertexDeclaration(ClipElements, &ClipDecl), D3D_OK);
        // The sprites' winding is counter-clockwise on the target, which
        // Direct3D's default culling drops.
        Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        ColorShader = PixelShader(ColorPS);
        ASSERT_NE(ColorShader, nullptr);
    }

    void TearDown() override
    {
        if (ColorShader != nullptr)
            ColorShader->Release();
        if (SpriteDecl != nullptr)
            SpriteDecl->Release();
        if (ClipDecl != nullptr)
            ClipDecl->Release();
        if (Device != nullptr)
            Device->Release();
        if (Direct3D != nullptr)
            Direct3D->Release();
        Window_Shutdown();
        D3D9Test_Clear();
    }

    IDirect3DPixelShader9* PixelShader(const char* text)
    {
        IDirect3DPixelShader9* shader = nullptr;
        Device->CreatePixelShader(text, std::strlen(text), &shader);
        return shader;
    }
    IDirect3DVertexShader9* VertexShader(const char* text)
    {
        IDirect3DVertexShader9* shader = nullptr;
        Device->CreateVertexShader(text, std::strlen(text), &shader);
        return shader;
    }

    // A pre-transformed quad over pixels [x, x + w) x [y, y + h), with the
    // Direct3D 9 half-pixel shift and the sprite's index order.
    HRESULT DrawRect(float x, float y, float w, float h, D3DCOLOR color, float u0 = 0, float v0 = 0, float u1 = 1,
                     float v1 = 1)
    {
        TSpriteVertex v[4] = {
            {x - 0.5f, y - 0.5f, 0, 1, u0, v0, color},
            {x + w - 0.5f, y - 0.5f, 0, 1, u1, v0, color},
            {x + w - 0.5f, y + h - 0.5f, 0, 1, u1, v1, color},
            {x - 0.5f, y + h - 0.5f, 0, 1, u0, v1, color},
        };
        const uint16_t indices[6] = {0, 2, 1, 0, 3, 2};
        Device->SetVertexDeclaration(SpriteDecl);
        return Device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX16, v,
                                              sizeof(TSpriteVertex));
    }

    // Whole surface read back as bytes (rows top first).
    std::vector<uint8_t> ReadBack(IDirect3DSurface9* target)
    {
        D3DSURFACE_DESC desc;
        target->GetDesc(&desc);
        IDirect3DSurface9* copy = nullptr;
        EXPECT_EQ(Device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                      nullptr),
                  D3D_OK);
        EXPECT_EQ(Device->GetRenderTargetData(target, copy), D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::vector<uint8_t> bytes(static_cast<size_t>(locked.Pitch) * desc.Height);
        std::memcpy(bytes.data(), locked.pBits, bytes.size());
        copy->UnlockRect();
        copy->Release();
        return bytes;
    }
    // The back buffer (or current target) as 0xAARRGGBB words.
    std::vector<uint32_t> ReadTarget()
    {
        IDirect3DSurface9* target = nullptr;
        Device->GetRenderTarget(0, &target);
        std::vector<uint8_t> bytes = ReadBack(target);
        target->Release();
        std::vector<uint32_t> words(bytes.size() / 4);
        std::memcpy(words.data(), bytes.data(), words.size() * 4);
        return words;
    }
    static uint32_t Rgb(uint32_t argb) { return argb & 0xFFFFFF; }

    IDirect3DTexture9* MakeTexture(UINT w, UINT h, D3DFORMAT format, const void* pixels, UINT bytesPerPixel)
    {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(Device->CreateTexture(w, h, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (UINT row = 0; row < h; row++)
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + row * locked.Pitch,
                        static_cast<const uint8_t*>(pixels) + row * w * bytesPerPixel, w * bytesPerPixel);
        EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
        return texture;
    }

    HWND Window = nullptr;
    IDirect3D9* Direct3D = nullptr;
    IDirect3DDevice9* Device = nullptr;
    D3DPRESENT_PARAMETERS Params;
    IDirect3DVertexDeclaration9* SpriteDecl = nullptr;
    IDirect3DVertexDeclaration9* ClipDecl = nullptr;
    IDirect3DPixelShader9* ColorShader = nullptr;
};
