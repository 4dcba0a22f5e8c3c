// Textures on the real Direct3D-9-like device: a picking-style read-back of
// an R5G6B5 target, every creation kind the loader uses, and a lost device.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/D3D9_TestHook.h"
#include "render/QX9_Render_Shaders.h"
#include "render/QX9_Render_Textures.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/TextureFiles.h"

namespace {

using TexturesDeviceTest = TDeviceRenderTest;

TEST_F(TexturesDeviceTest, PickNumberReadBackFromAnR5G6B5Target)
{
    const int32_t target = Render->Texture_Create(TEXTURE_RENDERTARGET, 32, 16, 1, D3DFMT_R5G6B5, D3DFMT_D24S8);
    const int32_t copy = Render->Texture_Create(TEXTURE_OFFSCREEN, 32, 16, 1, D3DFMT_R5G6B5, 0);
    T3D_Texture* texture = TextureAt(*Render, target);
    IDirect3DDevice9* device = Render->Device;
    // Pick number 6003 (army 3) as an R5G6B5 colour: 2, 59, 19.
    ASSERT_EQ(device->SetRenderTarget(0, texture->Surface), D3D_OK);
    ASSERT_EQ(device->SetDepthStencilSurface(texture->DepthSurface), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_ARGB(255, 16, 239, 156), 1, 0),
              D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    device->SetRenderTarget(0, Render->BackBuffer);
    device->SetDepthStencilSurface(Render->DepthSurface);

    Render->Texture_CopyRenderTarget(target, copy);
    for (auto [x, y] : {std::pair{0, 0}, {31, 15}, {17, 9}}) {
        uint16_t pixel = 0;
        Render->Texture_ReadPixel(copy, x, y, &pixel);
        EXPECT_EQ(pixel, 6003) << x << "," << y;
    }
    uint16_t outside = 0xAAAA;
    Render->Texture_ReadPixel(copy, 32, 0, &outside);
    Render->Texture_ReadPixel(copy, 0, 16, &outside);
    EXPECT_EQ(outside, 0xAAAA);
}

TEST_F(TexturesDeviceTest, EveryKindTheLoaderMakesIsAcceptedAndSurvivesALostDevice)
{
    std::vector<uint8_t> bgra(100 * 60 * 4, 200);
    const std::string tga = Write("Big.tga", TextureFiles::MakeTGA32(100, 60, bgra));
    std::vector<uint8_t> chain;
    for (uint32_t size = 16; size >= 1; size /= 2) {
        const std::vector<uint8_t> level =
            TextureFiles::EncodeDXT(std::vector<uint8_t>(size * size * 4, 90), size, size, false);
        chain.insert(chain.end(), level.begin(), level.end());
    }
    const std::string dds = Write("Chain.dds", TextureFiles::MakeDDS(D3DFMT_DXT1, 16, 16, 5, chain));
    Render->Texture_SetLoadOptions(TEXTURE_KEEP_DATA, 1);
    const int32_t mipmapped = Render->Texture_Load(tga);
    const int32_t compressed = Render->Texture_Load(dds);
    Render->Texture_SetLoadOptions(TEXTURE_KEEP_DATA | TEXTURE_NO_MIPMAPS, 1);
    const int32_t plain = Render->Texture_Create(TEXTURE_DEFAULT, 20, 20, 1, D3DFMT_A8R8G8B8, 0);
    const int32_t levels = Render->Texture_Create(TEXTURE_DEFAULT, 32, 32, 3, D3DFMT_A8R8G8B8, 0);
    Render->Texture_SetLoadOptions(0, 0);
    Render->Texture_Create(TEXTURE_RENDERTARGET, 64, 48, 1, D3DFMT_A8R8G8B8, D3DFMT_D24S8);
    EXPECT_EQ(GetEngineErrorText(), "");
    for (int32_t slot : {mipmapped, compressed, plain, levels})
        EXPECT_EQ(TextureAt(*Render, slot)->State, RESOURCE_ON_DEVICE) << slot;
    EXPECT_EQ(TextureAt(*Render, compressed)->Texture->GetLevelCount(), 5u);
    const int32_t bytes = Render->TextureBytes, objects = Render->TextureObjects;

    D3D9Test_LoseDevice(2);
    EXPECT_FALSE(Render->CheckDevice());
    bool restored = false;
    for (int frame = 0; frame < 5 && !restored; frame++)
        restored = Render->CheckDevice();
    EXPECT_TRUE(restored);
    EXPECT_EQ(Render->TextureBytes, bytes);
    EXPECT_EQ(Render->TextureObjects, objects);
    D3DLOCKED_RECT locked;
    T3D_Texture* texture = TextureAt(*Render, mipmapped);
    ASSERT_EQ(texture->Texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<const uint8_t*>(locked.pBits)[0], 200) << "refilled from the kept image";
    texture->Texture->UnlockRect(0);
}

} // namespace
