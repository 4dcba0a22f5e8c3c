// Resources of the Direct3D-9-like layer: texture formats and locks,
// compressed and mipmapped textures, surface copies, the front buffer,
// injected failures and device loss.
#include "tests/platform/D3D9_TestDevice.h"

TEST_F(D3D9Test, TextureCreationRefusesWhatGlCannotHold)
{
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(Device->CreateTexture(16, 16, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(Device->CreateTexture(0, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(
        Device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3DERR_INVALIDCALL);
    EXPECT_EQ(Device->CreateTexture(16, 16, 1, 0, D3DFMT_D24S8, D3DPOOL_DEFAULT, &texture, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);

    ASSERT_EQ(Device->CreateTexture(100, 60, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 7u); // 100x60 .. 1x1
    D3DSURFACE_DESC desc;
    ASSERT_EQ(texture->GetLevelDesc(6, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Height, 1u);
    ASSERT_EQ(texture->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 25u);
    EXPECT_EQ(desc.Height, 15u);
    texture->Release();

    ASSERT_EQ(
        Device->CreateTexture(64, 64, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    EXPECT_EQ(texture->SetAutoGenFilterType(D3DTEXF_ANISOTROPIC), D3D_OK);
    texture->Release();
}

TEST_F(D3D9Test, LocksAreBoundedAndRenderTargetsAreNotLockable)
{
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Device->CreateTexture(8, 8, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    TRect outside = {4, 4, 9, 8};
    EXPECT_EQ(texture->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    TRect inside = {2, 3, 8, 8};
    ASSERT_EQ(texture->LockRect(0, &locked, &inside, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 16);
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL); // already locked
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
    texture->Release();

    ASSERT_EQ(
        Device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr),
        D3D_OK);
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    texture->Release();

    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(Device->CreateVertexBuffer(112, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    void* data = nullptr;
    EXPECT_EQ(vb->Lock(100, 20, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    vb->Release();
}

TEST_F(D3D9Test, FormatsSampleAsDirect3DReadsThem)
{
    // Each texture is one texel; the quad shows what the shader sampled.
    struct TCase {
        const char* Name;
        D3DFORMAT Format;
        std::vector<uint8_t> Texel;
        uint32_t Expected; // 0xRRGGBB
    };
    const TCase cases[] = {
        {"A8R8G8B8", D3DFMT_A8R8G8B8, {0x30, 0x20, 0x10, 0xFF}, 0x102030},
        {"X8R8G8B8 ignores alpha", D3DFMT_X8R8G8B8, {0x30, 0x20, 0x10, 0x00}, 0x102030},
        {"R5G6B5", D3DFMT_R5G6B5, {0x1F, 0xF8}, 0xFF00FF},
        {"L8 grey", D3DFMT_L8, {0x80}, 0x808080},
        {"A16B16G16R16", D3DFMT_A16B16G16R16, {0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF}, 0xFF0080},
    };
    IDirect3DPixelShader9* ps = PixelShader(TexturePS);
    Device->SetPixelShader(ps);
    for (const TCase& c : cases) {
        IDirect3DTexture9* texture = MakeTexture(1, 1, c.Format, c.Texel.data(), static_cast<UINT>(c.Texel.size()));
        Device->SetTexture(0, texture);
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        ASSERT_EQ(DrawRect(0, 0, 8, 8, 0xFFFFFFFF), D3D_OK);
        uint32_t got = Rgb(ReadTarget()[Width + 1]);
        EXPECT_EQ(got, c.Expected) << c.Name << std::hex << " got " << got;
        Device->SetTexture(0, nullptr);
        texture->Release();
    }
    ps->Release();
}

TEST_F(D3D9Test, CompressedAndAutomaticallyMipmappedTexturesSample)
{
    IDirect3DPixelShader9* ps = PixelShader(TexturePS);
    Device->SetPixelShader(ps);
    // One DXT1 block, both end colours pure green in 5:6:5, every index 0.
    const uint8_t block[8] = {0xE0, 0x07, 0xE0, 0x07, 0, 0, 0, 0};
    IDirect3DTexture9* dxt = nullptr;
    ASSERT_EQ(Device->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &dxt, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(dxt->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 8);
    std::memcpy(locked.pBits, block, 8);
    dxt->UnlockRect(0);
    Device->SetTexture(0, dxt);
    ASSERT_EQ(DrawRect(0, 0, 8, 8, 0xFFFFFFFF), D3D_OK);
    EXPECT_EQ(Rgb(ReadTarget()[Width + 1]), 0x00FF00u);
    dxt->Release();

    // A 64x64 checkerboard with automatic mipmaps, drawn 1x1 with a mip
    // filter: the smallest level is the average grey.
    IDirect3DTexture9* mipped = nullptr;
    ASSERT_EQ(
        Device->CreateTexture(64, 64, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &mipped, nullptr),
        D3D_OK);
    ASSERT_EQ(mipped->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] =
                ((x + y) & 1) != 0 ? 0xFFFFFFFF : 0xFF000000;
    mipped->UnlockRect(0);
    Device->SetTexture(0, mipped);
    Device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    Device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(DrawRect(0, 0, 1, 1, 0xFFFFFFFF), D3D_OK);
    uint32_t grey = ReadTarget()[0] & 0xFF;
    EXPECT_NEAR(static_cast<int>(grey), 128, 3);
    Device->SetTexture(0, nullptr);
    mipped->Release();
    ps->Release();
}

TEST_F(D3D9Test, UpdateSurfaceAndFrontBufferCopies)
{
    IDirect3DSurface9* system = nullptr;
    ASSERT_EQ(Device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(system->LockRect(&locked, nullptr, 0), D3D_OK);
    for (int i = 0; i < 16; i++)
        static_cast<uint32_t*>(locked.pBits)[i] = 0xFF0000FF;
    system->UnlockRect();
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3D_OK);
    IDirect3DSurface9* level = nullptr;
    texture->GetSurfaceLevel(0, &level);
    ASSERT_EQ(Device->UpdateSurface(system, nullptr, level, nullptr), D3D_OK);
    TPoint outside = {2, 2};
    EXPECT_EQ(Device->UpdateSurface(system, nullptr, level, &outside), D3DERR_INVALIDCALL);
    IDirect3DPixelShader9* ps = PixelShader(TexturePS);
    Device->SetPixelShader(ps);
    Device->SetTexture(0, texture);
    ASSERT_EQ(DrawRect(0, 0, 64, 48, 0xFFFFFFFF), D3D_OK);
    EXPECT_EQ(Rgb(ReadTarget()[100]), 0x0000FFu);

    // The front buffer is the frame last presented, top row first.
    Device->SetTexture(0, nullptr);
    Device->SetPixelShader(ColorShader);
    ASSERT_EQ(DrawRect(0, 0, 64, 1, 0xFFFF0000), D3D_OK);
    ASSERT_EQ(Device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    IDirect3DSurface9* front = nullptr;
    ASSERT_EQ(Device->CreateOffscreenPlainSurface(Width, Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &front, nullptr),
              D3D_OK);
    ASSERT_EQ(Device->GetFrontBufferData(0, front), D3D_OK);
    ASSERT_EQ(front->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const uint32_t* pixels = static_cast<const uint32_t*>(locked.pBits);
    EXPECT_EQ(pixels[0], 0xFFFF0000u);
    EXPECT_EQ(pixels[Width * 2], 0xFF0000FFu);
    front->UnlockRect();

    front->Release();
    ps->Release();
    level->Release();
    texture->Release();
    system->Release();
}

TEST_F(D3D9Test, InjectedFailuresComeBackThenStop)
{
    D3D9Test_FailCalls("CreateTexture", D3DERR_OUTOFVIDEOMEMORY, 2);
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(Device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(Device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_OUTOFVIDEOMEMORY);
    ASSERT_EQ(Device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    texture->Release();
    D3D9Test_FailCalls("DrawIndexedPrimitiveUP", D3DERR_DRIVERINTERNALERROR, -1);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(DrawRect(0, 0, 4, 4, 0xFFFFFFFF), D3DERR_DRIVERINTERNALERROR);
}

TEST_F(D3D9Test, LostDeviceResetsToDefaultsAndTheNextDrawSetsEveryState)
{
    Device->SetPixelShader(ColorShader);
    ASSERT_EQ(DrawRect(0, 0, 4, 4, 0xFFFFFFFF), D3D_OK);
    Device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);

    D3D9Test_LoseDevice(2);
    EXPECT_EQ(Device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(Device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(Device->Reset(&Params), D3DERR_DEVICELOST); // not yet resettable
    EXPECT_EQ(Device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(Device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    D3D9Test_FailResets(1, D3DERR_INVALIDCALL);
    EXPECT_EQ(Device->Reset(&Params), D3DERR_INVALIDCALL);
    EXPECT_EQ(Device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    ASSERT_EQ(Device->Reset(&Params), D3D_OK);
    EXPECT_EQ(Device->TestCooperativeLevel(), D3D_OK);

    DWORD value = 0;
    Device->GetRenderState(D3DRS_ZWRITEENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(TRUE));
    Device->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, D3DCULL_CCW);

    uint64_t fullBefore = D3D9Test_Counters().FullStateApplies;
    Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    Device->SetPixelShader(ColorShader);
    Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(DrawRect(0, 0, 4, 4, 0xFF00FF00), D3D_OK);
    EXPECT_EQ(D3D9Test_Counters().FullStateApplies, fullBefore + 1);
    EXPECT_EQ(Rgb(ReadTarget()[Width + 1]), 0x00FF00u);
    ASSERT_EQ(DrawRect(0, 0, 4, 4, 0xFF00FF00), D3D_OK);
    EXPECT_EQ(D3D9Test_Counters().FullStateApplies, fullBefore + 1);
}

TEST_F(D3D9Test, UserMemoryDrawsUnsetTheStreamAndIndices)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(Device->CreateVertexBuffer(112, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    ASSERT_EQ(Device->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
    Device->SetStreamSource(0, vb, 0, 28);
    Device->SetIndices(ib);
    Device->SetPixelShader(ColorShader);
    ASSERT_EQ(DrawRect(0, 0, 4, 4, 0xFFFFFFFF), D3D_OK);
    EXPECT_EQ(Device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    vb->Release();
    ib->Release();
}
