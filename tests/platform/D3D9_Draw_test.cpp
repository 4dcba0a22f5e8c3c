// Drawing through the Direct3D-9-like layer: textures through GLSL shaders,
// pre-transformed quads, culling, 16-bit targets, targets sampled as
// textures, alpha test and blending.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "tests/platform/D3D9_TestDevice.h"

namespace {

} // namespace

TEST_F(D3D9Test, TexturedQuadThroughGlslShaderShowsTheTexelsAtPixelCentres)
{
    // 4x4 texels, each a different colour; drawn over the whole 64x48 target
    // with point sampling, texel (i, j) covers a 16x12 block.
    uint32_t texels[16];
    for (int i = 0; i < 16; i++)
        texels[i] = 0xFF000000u | (static_cast<uint32_t>(i * 16) << 16) | (static_cast<uint32_t>(255 - i * 8) << 8) |
                    static_cast<uint32_t>((i * 37) & 255);
    IDirect3DTexture9* texture = MakeTexture(4, 4, D3DFMT_A8R8G8B8, texels, 4);
    IDirect3DVertexShader9* vs = VertexShader(ClipVS);
    IDirect3DPixelShader9* ps = PixelShader(TexturePS);
    ASSERT_NE(vs, nullptr);
    ASSERT_NE(ps, nullptr);

    const TClipVertex vertices[4] = {{-1, 1, 0, 0, 0}, {1, 1, 0, 1, 0}, {1, -1, 0, 1, 1}, {-1, -1, 0, 0, 1}};
    const uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(Device->CreateVertexBuffer(sizeof(vertices), 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    ASSERT_EQ(Device->CreateIndexBuffer(sizeof(indices), 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, vertices, sizeof(vertices));
    vb->Unlock();
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, indices, sizeof(indices));
    ib->Unlock();

    Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    Device->SetVertexDeclaration(ClipDecl);
    Device->SetVertexShader(vs);
    Device->SetPixelShader(ps);
    Device->SetTexture(0, texture);
    Device->SetStreamSource(0, vb, 0, sizeof(TClipVertex));
    Device->SetIndices(ib);
    ASSERT_EQ(Device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    std::vector<uint32_t> pixels = ReadTarget();
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++) {
            uint32_t got = pixels[(j * 12 + 6) * Width + i * 16 + 8];
            EXPECT_TRUE(Near(Rgb(got), Rgb(texels[j * 4 + i]), 1))
                << "texel " << i << "," << j << " got " << std::hex << got << " want " << texels[j * 4 + i];
        }

    // Linear filtering between two texels gives their mean at the edge.
    Device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    Device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    Device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    Device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    ASSERT_EQ(Device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    pixels = ReadTarget();
    // Clamped corner. Row 0's centres lie on the quad's top edge, which GL
    // (rows running upwards) leaves out where Direct3D takes it in: the corner
    // is probed one row down.
    EXPECT_TRUE(Near(Rgb(pixels[Width]), Rgb(texels[0]), 1));

    vb->Release();
    ib->Release();
    vs->Release();
    ps->Release();
    texture->Release();
}

TEST_F(D3D9Test, PreTransformedQuadsCoverExactlyTheirPixels)
{
    struct TCase {
        float X, Y, W, H;
    };
    const TCase cases[] = {{0, 0, 1, 1}, {5, 7, 10, 3}, {63, 47, 1, 1}, {10, 0, 1, 48}, {0, 0, 64, 48}};
    Device->SetPixelShader(ColorShader);
    Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    for (const TCase& c : cases) {
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        ASSERT_EQ(DrawRect(c.X, c.Y, c.W, c.H, 0xFF102030), D3D_OK);
        std::vector<uint32_t> pixels = ReadTarget();
        int wrong = 0;
        for (UINT y = 0; y < Height; y++)
            for (UINT x = 0; x < Width; x++) {
                bool inside = x >= c.X && x < c.X + c.W && y >= c.Y && y < c.Y + c.H;
                // BGRA vertex colour: 0xFF102030 is red 0x10, green 0x20, blue 0x30.
                if (Rgb(pixels[y * Width + x]) != (inside ? 0x102030u : 0u))
                    wrong++;
            }
        EXPECT_EQ(wrong, 0) << "rect " << c.X << "," << c.Y << " " << c.W << "x" << c.H;
    }
}

TEST_F(D3D9Test, CullingKeepsOrDropsTheSpriteWinding)
{
    struct TCase {
        DWORD Cull;
        bool Visible;
    };
    const TCase cases[] = {{D3DCULL_NONE, true}, {D3DCULL_CW, true}, {D3DCULL_CCW, false}};
    Device->SetPixelShader(ColorShader);
    for (const TCase& c : cases) {
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        Device->SetRenderState(D3DRS_CULLMODE, c.Cull);
        ASSERT_EQ(DrawRect(8, 8, 16, 16, 0xFFFFFFFF), D3D_OK);
        std::vector<uint32_t> pixels = ReadTarget();
        EXPECT_EQ(Rgb(pixels[16 * Width + 16]), c.Visible ? 0xFFFFFFu : 0u) << "cull " << c.Cull;
    }
}

TEST_F(D3D9Test, R5G6B5TargetReturnsExactSixteenBitValues)
{
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(Device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &target, nullptr),
              D3D_OK);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);
    IDirect3DPixelShader9* ps = PixelShader(ConstantPS);
    ASSERT_NE(ps, nullptr);
    Device->SetRenderTarget(0, surface);
    Device->SetDepthStencilSurface(nullptr);
    Device->SetPixelShader(ps);
    const uint16_t values[] = {0x0000, 0xFFFF, 0x0001, 0x0020, 0x0800, 0x1234, 0xBEEF, 0x7FFF, 0x8000};
    for (uint16_t value : values) {
        float colour[4] = {((value >> 11) & 31) / 31.0f, ((value >> 5) & 63) / 63.0f, (value & 31) / 31.0f, 1.0f};
        Device->SetPixelShaderConstantF(0, colour, 1);
        ASSERT_EQ(DrawRect(0, 0, 16, 16, 0xFFFFFFFF), D3D_OK);
        std::vector<uint8_t> bytes = ReadBack(surface);
        uint16_t got = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
        uint16_t last = static_cast<uint16_t>(bytes[bytes.size() - 2] | (bytes[bytes.size() - 1] << 8));
        EXPECT_EQ(got, value) << std::hex << value;
        EXPECT_EQ(last, value) << std::hex << value;
    }
    ps->Release();
    surface->Release();
    target->Release();
}

TEST_F(D3D9Test, RenderTargetSampledAsTextureIsNotFlipped)
{
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(
        Device->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
        D3D_OK);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_EQ(Device->GetRenderTarget(0, &backBuffer), D3D_OK);

    Device->SetRenderTarget(0, surface);
    Device->SetPixelShader(ColorShader);
    Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(DrawRect(0, 0, 32, 16, 0xFFFF0000), D3D_OK);  // top red
    ASSERT_EQ(DrawRect(0, 16, 32, 16, 0xFF00FF00), D3D_OK); // bottom green
    ASSERT_EQ(DrawRect(0, 0, 4, 4, 0xFF0000FF), D3D_OK);    // top-left blue

    IDirect3DPixelShader9* ps = PixelShader(TexturePS);
    Device->SetRenderTarget(0, backBuffer);
    Device->SetPixelShader(ps);
    Device->SetTexture(0, target);
    ASSERT_EQ(DrawRect(0, 0, 64, 48, 0xFFFFFFFF), D3D_OK);
    std::vector<uint32_t> pixels = ReadTarget();
    EXPECT_EQ(Rgb(pixels[2 * Width + 2]), 0x0000FFu);
    EXPECT_EQ(Rgb(pixels[10 * Width + 40]), 0xFF0000u);
    EXPECT_EQ(Rgb(pixels[40 * Width + 40]), 0x00FF00u);

    Device->SetTexture(0, nullptr);
    ps->Release();
    backBuffer->Release();
    surface->Release();
    target->Release();
}

TEST_F(D3D9Test, AlphaTestAndBlendingGiveTheExpectedPixels)
{
    struct TCase {
        const char* Name;
        DWORD AlphaTest, AlphaRef;
        DWORD Blend, Src, Dest;
        DWORD Separate, SrcAlpha, DestAlpha, OpAlpha;
        D3DCOLOR Clear, Draw, Expected;
    };
    const TCase cases[] = {
        {"test passes at ref", TRUE, 128, FALSE, D3DBLEND_ONE, D3DBLEND_ZERO, FALSE, 0, 0, 0, 0xFF000000, 0x80FF0000,
         0xFF0000},
        {"test fails below ref", TRUE, 128, FALSE, D3DBLEND_ONE, D3DBLEND_ZERO, FALSE, 0, 0, 0, 0xFF000000, 0x7FFF0000,
         0x000000},
        {"ref 255 needs opaque", TRUE, 255, FALSE, D3DBLEND_ONE, D3DBLEND_ZERO, FALSE, 0, 0, 0, 0xFF0000FF, 0xFEFF0000,
         0x0000FF},
        // Right after a draw with the test: switching it off must not keep it.
        {"test off keeps what the test would drop", FALSE, 255, FALSE, D3DBLEND_ONE, D3DBLEND_ZERO, FALSE, 0, 0, 0,
         0xFF0000FF, 0x10FF0000, 0xFF0000},
        {"src alpha over", FALSE, 0, TRUE, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, FALSE, 0, 0, 0, 0xFF0000FF,
         0x80FF0000, 0x80007F},
        {"additive", FALSE, 0, TRUE, D3DBLEND_ONE, D3DBLEND_ONE, FALSE, 0, 0, 0, 0xFF204060, 0xFF102030, 0x306090},
        {"premultiplied", FALSE, 0, TRUE, D3DBLEND_ONE, D3DBLEND_INVSRCALPHA, FALSE, 0, 0, 0, 0xFFFFFFFF, 0x00000000,
         0xFFFFFF},
    };
    Device->SetPixelShader(ColorShader);
    Device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    for (const TCase& c : cases) {
        Device->SetRenderState(D3DRS_ALPHATESTENABLE, c.AlphaTest);
        Device->SetRenderState(D3DRS_ALPHAREF, c.AlphaRef);
        Device->SetRenderState(D3DRS_ALPHABLENDENABLE, c.Blend);
        Device->SetRenderState(D3DRS_SRCBLEND, c.Src);
        Device->SetRenderState(D3DRS_DESTBLEND, c.Dest);
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, c.Clear, 1.0f, 0);
        ASSERT_EQ(DrawRect(0, 0, 64, 48, c.Draw), D3D_OK);
        std::vector<uint32_t> pixels = ReadTarget();
        EXPECT_TRUE(Near(Rgb(pixels[20 * Width + 20]), c.Expected, 1))
            << c.Name << ": got " << std::hex << pixels[20 * Width + 20];
    }
}

TEST_F(D3D9Test, SeparateAlphaBlendWritesTheAlphaChannelItsOwnWay)
{
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(Device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
              D3D_OK);
    IDirect3DSurface9* surface = nullptr;
    target->GetSurfaceLevel(0, &surface);
    Device->SetRenderTarget(0, surface);
    Device->SetPixelShader(ColorShader);
    Device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    Device->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, TRUE);
    Device->SetRenderState(D3DRS_SRCBLENDALPHA, D3DBLEND_ONE);
    Device->SetRenderState(D3DRS_DESTBLENDALPHA, D3DBLEND_ONE);
    Device->SetRenderState(D3DRS_BLENDOPALPHA, D3DBLENDOP_MAX);
    Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xC0000000, 1.0f, 0);
    ASSERT_EQ(DrawRect(0, 0, 8, 8, 0x40FFFFFF), D3D_OK);
    std::vector<uint8_t> bytes = ReadBack(surface);
    EXPECT_NEAR(bytes[3], 0xC0, 1); // max(0x40, 0xC0)
    EXPECT_NEAR(bytes[2], 0x40, 1); // red: 255 * 0x40 / 255
    surface->Release();
    target->Release();
}

TEST_F(D3D9Test, DepthTestAndWritesFollowTheRenderStates)
{
    IDirect3DPixelShader9* ps = ColorShader;
    Device->SetPixelShader(ps);
    Device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    auto drawAt = [&](float z, D3DCOLOR colour) {
        TSpriteVertex v[4] = {{-0.5f, -0.5f, z, 1, 0, 0, colour},
                              {63.5f, -0.5f, z, 1, 0, 0, colour},
                              {63.5f, 47.5f, z, 1, 0, 0, colour},
                              {-0.5f, 47.5f, z, 1, 0, 0, colour}};
        const uint16_t indices[6] = {0, 2, 1, 0, 3, 2};
        Device->SetVertexDeclaration(SpriteDecl);
        return Device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX16, v,
                                              sizeof(TSpriteVertex));
    };
    ASSERT_EQ(drawAt(0.5f, 0xFFFF0000), D3D_OK);
    ASSERT_EQ(drawAt(0.7f, 0xFF00FF00), D3D_OK); // behind: LESSEQUAL drops it
    EXPECT_EQ(Rgb(ReadTarget()[100]), 0xFF0000u);
    Device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    Device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    ASSERT_EQ(drawAt(0.9f, 0xFF0000FF), D3D_OK); // drawn, depth kept at 0.5
    EXPECT_EQ(Rgb(ReadTarget()[100]), 0x0000FFu);
    Device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    Device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    ASSERT_EQ(drawAt(0.6f, 0xFFFFFFFF), D3D_OK);
    EXPECT_EQ(Rgb(ReadTarget()[100]), 0x0000FFu);
    // A clear with depth writes off still clears depth.
    Device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    Device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    ASSERT_EQ(drawAt(0.6f, 0xFFFFFFFF), D3D_OK);
    EXPECT_EQ(Rgb(ReadTarget()[100]), 0xFFFFFFu);
}

TEST_F(D3D9Test, ScissorClipsDrawsAndANewTargetResetsIt)
{
    Device->SetPixelShader(ColorShader);
    Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Device->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    TRect scissor = {4, 6, 12, 10};
    Device->SetScissorRect(&scissor);
    ASSERT_EQ(DrawRect(0, 0, 64, 48, 0xFFFFFFFF), D3D_OK);
    std::vector<uint32_t> pixels = ReadTarget();
    EXPECT_EQ(Rgb(pixels[6 * Width + 4]), 0xFFFFFFu);
    EXPECT_EQ(Rgb(pixels[9 * Width + 11]), 0xFFFFFFu);
    EXPECT_EQ(Rgb(pixels[10 * Width + 11]), 0u);
    EXPECT_EQ(Rgb(pixels[6 * Width + 12]), 0u);
    IDirect3DSurface9* target = nullptr;
    Device->GetRenderTarget(0, &target);
    Device->SetRenderTarget(0, target);
    TRect reset;
    Device->GetScissorRect(&reset);
    EXPECT_EQ(reset.Right, 64);
    EXPECT_EQ(reset.Bottom, 48);
    target->Release();
}

// Constant registers written between draws reach the shaders together with
// every register written before, in both banks, whatever was written last.
TEST_F(D3D9Test, ConstantsWrittenBetweenDrawsJoinTheOnesBefore)
{
    IDirect3DVertexShader9* vs =
        VertexShader("//GLSL-VS\nvoid vs_main() { oPos = vec4(POSITION.xyz, 1.0); v_C0 = VC[0] + VC[1] + VC[200]; }\n");
    IDirect3DPixelShader9* ps = PixelShader("//GLSL-PS\nvoid ps_main() { oC0 = v_C0 + PC[3] + PC[31]; }\n");
    ASSERT_NE(vs, nullptr);
    ASSERT_NE(ps, nullptr);
    Device->SetVertexShader(vs);
    Device->SetPixelShader(ps);
    Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const TClipVertex vertices[4] = {{-1, 1, 0, 0, 0}, {1, 1, 0, 1, 0}, {1, -1, 0, 1, 1}, {-1, -1, 0, 0, 1}};
    const uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
    struct TStep {
        const char* Name;
        bool Vertex;
        UINT Register, Count;
        float Values[8];
        uint32_t Expected; // 0xRRGGBB
    };
    const TStep steps[] = {
        {"pixel register 31", false, 31, 1, {0, 0, 0, 1}, 0x000000},
        {"vertex register 0", true, 0, 1, {0.25f, 0, 0, 0}, 0x400000},
        {"vertex register 200", true, 200, 1, {0, 0.25f, 0, 0}, 0x404000},
        {"pixel register 3", false, 3, 1, {0, 0, 0.25f, 0}, 0x404040},
        {"vertex register 200 again", true, 200, 1, {0, 0.5f, 0, 0}, 0x408040},
        {"pixel register 3 again", false, 3, 1, {0, 0, 0.75f, 0}, 0x4080BF},
        {"vertex registers 0 and 1 at once", true, 0, 2, {0.25f, 0, 0, 0, 0.25f, 0, 0, 0}, 0x8080BF},
    };
    for (const TStep& step : steps) {
        if (step.Vertex)
            ASSERT_EQ(Device->SetVertexShaderConstantF(step.Register, step.Values, step.Count), D3D_OK);
        else
            ASSERT_EQ(Device->SetPixelShaderConstantF(step.Register, step.Values, step.Count), D3D_OK);
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        Device->SetVertexDeclaration(ClipDecl);
        ASSERT_EQ(Device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX16, vertices,
                                                 sizeof(TClipVertex)),
                  D3D_OK);
        const uint32_t got = ReadTarget()[24 * Width + 32];
        EXPECT_TRUE(Near(Rgb(got), step.Expected, 1)) << step.Name << ": got " << std::hex << got;
    }
    vs->Release();
    ps->Release();
}

TEST_F(D3D9Test, IndexedDrawsRefuseIndicesOutsideTheirVertices)
{
    // Four vertices of a quad over the whole target, drawn red; a refused
    // draw leaves the target as cleared.
    const TClipVertex vertices[4] = {{-1, 1, 0, 0, 0}, {1, 1, 0, 1, 0}, {1, -1, 0, 1, 1}, {-1, -1, 0, 0, 1}};
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(Device->CreateVertexBuffer(sizeof(vertices), 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, vertices, sizeof(vertices));
    vb->Unlock();
    IDirect3DVertexShader9* vs = VertexShader(ClipVS);
    IDirect3DPixelShader9* ps = PixelShader(ConstantPS);
    ASSERT_NE(vs, nullptr);
    ASSERT_NE(ps, nullptr);
    const float red[4] = {1, 0, 0, 1};
    Device->SetPixelShaderConstantF(0, red, 1);
    Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(Device->CreateIndexBuffer(6 * 4, 0, D3DFMT_INDEX32, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);

    struct TRow {
        const char* Name;
        std::vector<uint32_t> Indices; // six
        int32_t Base;
        UINT Min, Count;
        UINT Offset; // of the stream
        HRESULT Result;
    };
    const TRow rows[] = {
        {"fits", {0, 1, 2, 0, 2, 3}, 0, 0, 4, 0, D3D_OK},
        {"an index past the draw's vertices", {0, 1, 2, 0, 2, 4}, 0, 0, 4, 0, D3DERR_INVALIDCALL},
        {"a huge index", {0, 1, 2, 0, 2, 0xFFFFFFFFu}, 0, 0, 4, 0, D3DERR_INVALIDCALL},
        {"an index below the draw's first vertex", {1, 2, 3, 1, 3, 0}, 0, 1, 3, 0, D3DERR_INVALIDCALL},
        {"the draw's vertices past the buffer", {0, 1, 2, 0, 2, 3}, 0, 0, 5, 0, D3DERR_INVALIDCALL},
        {"a base vertex past the buffer", {0, 1, 2, 0, 2, 3}, 1, 0, 4, 0, D3DERR_INVALIDCALL},
        {"a base vertex before the buffer", {0, 1, 2, 0, 2, 3}, -1, 0, 4, 0, D3DERR_INVALIDCALL},
        {"a stream offset that leaves three vertices",
         {0, 1, 2, 0, 2, 3},
         0,
         0,
         4,
         sizeof(TClipVertex),
         D3DERR_INVALIDCALL},
        {"a negative base inside the buffer", {1, 2, 3, 1, 3, 4}, -1, 1, 4, 0, D3D_OK},
        {"fits again after a refused run", {0, 1, 2, 0, 2, 3}, 0, 0, 4, 0, D3D_OK},
    };
    Device->SetVertexDeclaration(ClipDecl);
    Device->SetVertexShader(vs);
    Device->SetPixelShader(ps);
    Device->SetIndices(ib);
    for (const TRow& row : rows) {
        ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
        std::memcpy(data, row.Indices.data(), 6 * 4);
        ib->Unlock();
        Device->SetStreamSource(0, vb, row.Offset, sizeof(TClipVertex));
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        EXPECT_EQ(Device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, row.Base, row.Min, row.Count, 0, 2), row.Result)
            << row.Name;
        EXPECT_EQ(Rgb(ReadTarget()[24 * Width + 32]), row.Result == D3D_OK ? 0xFF0000u : 0u) << row.Name;
    }

    // From user memory: the indices name the draw's vertices, each read whole.
    struct TUserRow {
        const char* Name;
        uint16_t Last; // the sixth index
        UINT Min, Count, Stride;
        HRESULT Result;
    };
    const TUserRow userRows[] = {
        {"fits", 3, 0, 4, sizeof(TClipVertex), D3D_OK},
        {"an index past the draw's vertices", 4, 0, 4, sizeof(TClipVertex), D3DERR_INVALIDCALL},
        {"an index below the draw's first vertex", 0, 1, 3, sizeof(TClipVertex), D3DERR_INVALIDCALL},
        {"a stride shorter than a vertex", 3, 0, 4, sizeof(TClipVertex) - 4, D3DERR_INVALIDCALL},
    };
    for (const TUserRow& row : userRows) {
        const uint16_t indices[6] = {1, 2, 3, 1, 2, row.Last};
        Device->SetVertexDeclaration(ClipDecl);
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        EXPECT_EQ(Device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, row.Min, row.Count, 2, indices, D3DFMT_INDEX16,
                                                 vertices, row.Stride),
                  row.Result)
            << row.Name;
        if (row.Result != D3D_OK) {
            EXPECT_EQ(Rgb(ReadTarget()[24 * Width + 32]), 0u) << row.Name;
        }
    }

    ib->Release();
    vb->Release();
    vs->Release();
    ps->Release();
}

TEST_F(D3D9Test, UserMemoryDrawsKeepTheirVerticesOverManyLapsOfTheStreamBuffer)
{
    // Each draw paints its own pixel with its own colour from a large vertex
    // array: the data of all draws together is several times what the layer
    // streams through before reusing its memory, one draw is too large to
    // stream that way at all, and some draws start at a later vertex.
    constexpr UINT arrayVertices = 2000, hugeVertices = 40000, draws = 240;
    std::vector<TSpriteVertex> vertices(hugeVertices);
    Device->SetPixelShader(ColorShader);
    Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    Device->SetVertexDeclaration(SpriteDecl);
    Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    auto colourOf = [](UINT n) { return 0xFF000000u | ((n * 0x9E3779u) & 0xFFFFFF) | 0x010101u; };
    for (UINT n = 0; n < draws; n++) {
        const float x = static_cast<float>(n % Width), y = static_cast<float>(n / Width);
        const bool huge = n == draws / 2 + 1;
        const UINT count = huge ? hugeVertices : arrayVertices;
        const UINT min = n % 3 == 0 ? count / 2 : 0; // a later first vertex
        const UINT first = count - 4;
        const D3DCOLOR colour = colourOf(n);
        vertices[first + 0] = {x - 0.5f, y - 0.5f, 0, 1, 0, 0, colour};
        vertices[first + 1] = {x + 0.5f, y - 0.5f, 0, 1, 1, 0, colour};
        vertices[first + 2] = {x + 0.5f, y + 0.5f, 0, 1, 1, 1, colour};
        vertices[first + 3] = {x - 0.5f, y + 0.5f, 0, 1, 0, 1, colour};
        if (n % 2 == 0) {
            const uint16_t indices[6] = {static_cast<uint16_t>(first),     static_cast<uint16_t>(first + 2),
                                         static_cast<uint16_t>(first + 1), static_cast<uint16_t>(first),
                                         static_cast<uint16_t>(first + 3), static_cast<uint16_t>(first + 2)};
            ASSERT_EQ(Device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, min, count - min, 2, indices, D3DFMT_INDEX16,
                                                     vertices.data(), sizeof(TSpriteVertex)),
                      D3D_OK)
                << n;
        } else {
            const uint32_t indices[6] = {first, first + 2, first + 1, first, first + 3, first + 2};
            ASSERT_EQ(Device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, min, count - min, 2, indices, D3DFMT_INDEX32,
                                                     vertices.data(), sizeof(TSpriteVertex)),
                      D3D_OK)
                << n;
        }
        // The caller may reuse its memory as soon as the draw returns.
        std::fill(vertices.begin() + first, vertices.begin() + first + 4, TSpriteVertex{});
    }
    const std::vector<uint32_t> pixels = ReadTarget();
    int wrong = 0;
    for (UINT n = 0; n < draws; n++)
        if (Rgb(pixels[n]) != Rgb(colourOf(n)) && wrong++ < 5)
            ADD_FAILURE() << "draw " << n << " left " << std::hex << pixels[n];
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(Rgb(pixels[draws]), 0u);
}
