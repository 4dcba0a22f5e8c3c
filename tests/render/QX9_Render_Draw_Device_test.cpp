// Meshes and printed text on the real Direct3D-9-like device: what the
// packing writes into the buffers is what the format's declaration reads,
// a kept mesh draws the same after a lost device, and a printed line's quads
// show its glyphs where the pen put them. Pixels are read back and compared
// with a tolerance.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/D3D9_TestHook.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shaders.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/TextureFiles.h"

namespace {

const char* MeshVS = "//GLSL-VS\nvoid vs_main() { oPos = vec4(POSITION.xyz, 1.0); v_C0 = COLOR0;"
                     " v_T0 = TEXCOORD0 * (32767.0 / 4096.0); }\n";
// Red shows u, green and blue the vertex colour.
const char* MeshPS = "//GLSL-PS\nvoid ps_main() { oC0 = vec4(v_T0.x, v_C0.g, v_C0.b, 1.0); }\n";
const char* GlyphPS = "//GLSL-PS\nvoid ps_main() { oC0 = texture(s0, v_T0.xy) * v_C0; }\n";

bool Near(uint32_t got, uint32_t want, int tolerance)
{
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = static_cast<int>((got >> shift) & 255), b = static_cast<int>((want >> shift) & 255);
        if (std::abs(a - b) > tolerance)
            return false;
    }
    return true;
}

class DrawDeviceTest : public TDeviceRenderTest {
protected:
    void SetUp() override
    {
        TDeviceRenderTest::SetUp();
        Render->Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }

    void TearDown() override
    {
        for (IUnknownLike* shader : Shaders)
            shader->Release();
        TDeviceRenderTest::TearDown();
    }

    void UseShaders(const char* vertex, const char* pixel)
    {
        IDirect3DDevice9* device = Render->Device;
        IDirect3DVertexShader9* vs = nullptr;
        IDirect3DPixelShader9* ps = nullptr;
        if (vertex != nullptr) {
            ASSERT_EQ(device->CreateVertexShader(vertex, std::strlen(vertex), &vs), D3D_OK);
            Shaders.push_back(vs);
        }
        ASSERT_EQ(device->CreatePixelShader(pixel, std::strlen(pixel), &ps), D3D_OK);
        Shaders.push_back(ps);
        device->SetVertexShader(vs);
        device->SetPixelShader(ps);
    }

    void DrawMesh(const T3D_Mesh& mesh)
    {
        IDirect3DDevice9* device = Render->Device;
        device->SetVertexDeclaration(Render->VertexDecls[mesh.VertexFormat - 1]);
        device->SetStreamSource(0, mesh.VertexBuffer, 0, static_cast<UINT>(mesh.VertexStride));
        device->SetIndices(mesh.IndexBuffer);
        ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(mesh.VertexCount), 0,
                                               static_cast<UINT>(mesh.PrimitiveCount)),
                  D3D_OK);
    }

    std::vector<uint32_t> ReadTarget()
    {
        IDirect3DDevice9* device = Render->Device;
        D3DSURFACE_DESC desc;
        Render->BackBuffer->GetDesc(&desc);
        IDirect3DSurface9* copy = nullptr;
        EXPECT_EQ(device->CreateOffscreenPlainSurface(Width, Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr),
                  D3D_OK);
        EXPECT_EQ(device->GetRenderTargetData(Render->BackBuffer, copy), D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::vector<uint32_t> pixels(static_cast<size_t>(Width) * Height);
        for (int32_t y = 0; y < Height; y++)
            std::memcpy(&pixels[static_cast<size_t>(y) * Width],
                        static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch, Width * 4);
        copy->UnlockRect();
        copy->Release();
        return pixels;
    }

    std::vector<IUnknownLike*> Shaders;
};

TEST_F(DrawDeviceTest, PackedMeshDrawsThroughItsDeclaration)
{
    // The left half of the target, u running 0..1 across it.
    T3D_VertexArray vertices(4);
    const float xy[4][2] = {{-1, -1}, {0, -1}, {0, 1}, {-1, 1}};
    for (size_t i = 0; i < 4; i++) {
        vertices[i].Position = {xy[i][0], xy[i][1], 0.5f};
        vertices[i].Normal = {0, 0, 1};
        vertices[i].U = xy[i][0] + 1;
        vertices[i].Color = 0xFF20C040;
    }
    const int32_t slot = Render->Mesh_Add(MESH_TEXTURED, "Half", 1);
    T3D_Mesh* mesh = Render->Mesh_Get(slot);
    mesh->ImportGeometry(vertices, {0, 1, 2, 0, 2, 3});
    ASSERT_EQ(mesh->State, RESOURCE_ON_DEVICE);
    for (int pass = 0; pass < 2; pass++) {
        UseShaders(MeshVS, MeshPS);
        IDirect3DDevice9* device = Render->Device;
        device->SetRenderTarget(0, Render->BackBuffer);
        device->SetDepthStencilSurface(Render->DepthSurface);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1, 0);
        DrawMesh(*mesh);
        const std::vector<uint32_t> pixels = ReadTarget();
        for (int32_t x : {4, 16, 28}) {
            // Pixel centres where Direct3D 9 puts them: pixel x samples u = x / 32.
            const float u = static_cast<float>(x) / 32;
            const uint32_t want = static_cast<uint32_t>(u * 255 + 0.5f) << 16 | 0xC040;
            EXPECT_TRUE(Near(pixels[24 * Width + x], want, 3))
                << "pass " << pass << " x " << x << ": " << std::hex << pixels[24 * Width + x] << " want " << want;
        }
        EXPECT_TRUE(Near(pixels[24 * Width + 48], 0, 0)) << "right half untouched";
        if (pass == 0) {
            // A lost device releases the buffers; the kept data refills them.
            D3D9Test_LoseDevice(2);
            bool restored = false;
            for (int frame = 0; frame < 5 && !restored; frame++)
                restored = Render->CheckDevice();
            ASSERT_TRUE(restored);
            ASSERT_NE(mesh->VertexBuffer, nullptr);
        }
    }
}

TEST_F(DrawDeviceTest, PrintedLineShowsItsGlyphsAtThePen)
{
    // A: a solid block on columns 2..7, B on 10..13, both on rows 1..8.
    std::vector<uint8_t> bgra(20 * 10 * 4, 0);
    for (int y = 1; y <= 8; y++)
        for (int x = 0; x < 20; x++)
            if ((x >= 2 && x <= 7) || (x >= 10 && x <= 13))
                std::memset(&bgra[(static_cast<size_t>(y) * 20 + x) * 4], 255, 4);
    Write("Block.tga", TextureFiles::MakeTGA32(20, 10, bgra));
    const std::string ini = "[Font]\r\nTexture=Block.tga\r\nCharset=AB\r\n";
    const std::string file = Write("Block.ini", std::vector<uint8_t>(ini.begin(), ini.end()));
    Render->Texture_SetLoadOptions(TEXTURE_KEEP_DATA | TEXTURE_NO_MIPMAPS, 0);
    T3D_Font* font = Render->Font_Get(Render->Font_Load(file));
    Render->Texture_SetLoadOptions(0, 0);
    const int32_t index = Render->Sprite_Add(1, 1);
    font->PrintText("AB", index, 2, 0xFFFF0000);
    T3D_Sprite* sprite = Render->Sprite_Get(index);
    sprite->FillDrawBuffer(10, 20, -1);

    UseShaders(nullptr, GlyphPS);
    IDirect3DDevice9* device = Render->Device;
    device->SetRenderTarget(0, Render->BackBuffer);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
    device->SetTexture(0, TextureAt(*Render, font->Texture)->Texture);
    device->SetVertexDeclaration(Render->VertexDecls[MESH_SPRITE - 1]);
    ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(sprite->DrawBuffer.size()),
                                             static_cast<UINT>(sprite->Indices.size() / 3), sprite->Indices.data(),
                                             D3DFMT_INDEX16, sprite->DrawBuffer.data(), sizeof(T3D_SpriteVertex)),
              D3D_OK);
    const std::vector<uint32_t> pixels = ReadTarget();
    auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y) * Width + x]; };
    // A covers x 10..15, the pen moves on by 2, B covers 18..21; rows 20..27.
    for (auto [x, y] : {std::pair{10, 20}, {15, 27}, {12, 23}, {18, 20}, {21, 27}})
        EXPECT_TRUE(Near(at(x, y), 0xFF0000, 8)) << x << "," << y << ": " << std::hex << at(x, y);
    for (auto [x, y] : {std::pair{9, 23}, {16, 23}, {17, 23}, {22, 23}, {12, 19}, {12, 28}})
        EXPECT_TRUE(Near(at(x, y), 0, 8)) << x << "," << y << ": " << std::hex << at(x, y);
}

} // namespace
