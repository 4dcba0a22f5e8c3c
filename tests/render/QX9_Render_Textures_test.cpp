// Textures on the recording device: sharing by name, device sizes and
// creation kinds, the upload of image data, statistics, free and reupload,
// read-back, a lost device, and the registry's refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "render/QX9_Render_Textures.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/TextureFiles.h"

namespace {

using TBytes = std::vector<uint8_t>;

// A 32-bit top-down TGA whose pixel (x, y) is (x, y, 7, 255).
TBytes PatternTGA(uint16_t width, uint16_t height)
{
    TBytes bgra;
    for (uint16_t y = 0; y < height; y++)
        for (uint16_t x = 0; x < width; x++)
            bgra.insert(bgra.end(), {static_cast<uint8_t>(x), static_cast<uint8_t>(y), 7, 255});
    return TextureFiles::MakeTGA32(width, height, bgra);
}

TFakeTexture* FakeOf(T3D_Texture* texture)
{
    return static_cast<TFakeTexture*>(texture->Texture);
}

const uint8_t* Texel(TFakeTexture* texture, int x, int y)
{
    const TFakeTexture::TLevel& level = texture->Levels[0];
    return level.Bytes.data() + static_cast<size_t>(y) * level.Pitch + static_cast<size_t>(x) * 4;
}

using TexturesTest = TRecordingRenderTest;

TEST_F(TexturesTest, SameFileIsSharedByLowerCasedPathAndName)
{
    Write("Data\\A.tga", PatternTGA(2, 2));
    Write("Other\\A.tga", PatternTGA(2, 2));
    const std::string root = Folder.ProgramPath();
    const int32_t first = Render->Texture_Load(root + "Data\\A.tga");
    EXPECT_EQ(first, 0);
    EXPECT_EQ(Render->Texture_Load(root + "Data\\A.tga"), first);
    EXPECT_EQ(Render->Texture_Load(root + "data\\a.TGA"), first);
    EXPECT_EQ(Render->Texture_Load(root + "Other\\A.tga"), 1);
    EXPECT_EQ(Render->TextureCount, 2);
    EXPECT_EQ(Device.CallsStartingWith("CreateTexture").size(), 2u);
    const T3D_Texture* texture = TextureAt(*Render, first);
    EXPECT_EQ(texture->FileName, "a.tga");
    EXPECT_EQ(texture->Folder, LowerCaseStr(root) + "data\\");
    EXPECT_EQ(texture->SlotIndex, 0);
    EXPECT_EQ(texture->FileSize, 18 + 16);
}

TEST_F(TexturesTest, ImageFillsTheTopLeftOfAPowerOfTwoTexture)
{
    const std::string file = Write("Big.tga", PatternTGA(100, 60));
    Render->Texture_SetLoadOptions(TEXTURE_NO_MIPMAPS, 4);
    const int32_t slot = Render->Texture_Load(file);
    Render->Texture_SetLoadOptions(0, 0);
    T3D_Texture* texture = TextureAt(*Render, slot);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->ImageWidth, 100);
    EXPECT_EQ(texture->ImageHeight, 60);
    EXPECT_EQ(texture->DeviceWidth, 128);
    EXPECT_EQ(texture->DeviceHeight, 64);
    EXPECT_EQ(texture->Group, 4u);
    EXPECT_EQ(texture->State, RESOURCE_ON_DEVICE);
    EXPECT_EQ(Device.CallsStartingWith("CreateTexture"),
              std::vector<std::string>{"CreateTexture 128x64 levels 1 usage 0x0 format 21 pool 1 #1"});
    TFakeTexture* fake = FakeOf(texture);
    for (auto [x, y] : {std::pair{0, 0}, {99, 0}, {0, 59}, {99, 59}, {42, 17}}) {
        const uint8_t* texel = Texel(fake, x, y);
        EXPECT_EQ(texel[0], x) << x << "," << y;
        EXPECT_EQ(texel[1], y) << x << "," << y;
        EXPECT_EQ(texel[2], 7);
        EXPECT_EQ(texel[3], 255);
    }
    // Outside the image the texture keeps what the device made.
    for (auto [x, y] : {std::pair{100, 0}, {127, 63}, {0, 60}})
        EXPECT_EQ(Texel(fake, x, y)[0], 0xCD) << x << "," << y;
    EXPECT_EQ(Render->TextureBytes, 128 * 64 * 4);
    EXPECT_EQ(Render->TextureObjects, 1);
    EXPECT_TRUE(texture->ImageLevels.empty()) << "image data is not kept without the flag";
}

TEST_F(TexturesTest, CreationKindsAndTheirStatistics)
{
    const std::string tga = Write("Icon.tga", PatternTGA(4, 4));
    struct TRow {
        const char* Name;
        int32_t Flags;
        TBytes Dds; // empty: load the TGA
        std::string Create;
        std::vector<std::string> After;
        int32_t Bytes;
    };
    TBytes chain;
    for (int level = 0; level < 9; level++)
        chain.insert(chain.end(), static_cast<size_t>(std::max(1, 64 >> level)) * 8 * std::max(1, 64 >> level),
                     static_cast<uint8_t>(level));
    const TRow rows[] = {
        {"automatic mipmaps",
         0,
         {},
         "CreateTexture 4x4 levels 0 usage 0x400 format 21 pool 1",
         {"SetAutoGenFilterType 3", "LockRect 0", "UnlockRect 0"},
         21 * 4},
        {"keep data, no mipmaps",
         3,
         {},
         "CreateTexture 4x4 levels 1 usage 0x0 format 21 pool 1",
         {"LockRect 0", "UnlockRect 0"},
         16 * 4},
        {"DDS chain",
         0,
         TextureFiles::MakeDDS(D3DFMT_DXT1, 256, 256, 9, chain),
         "CreateTexture 256x256 levels 9 usage 0x0 format " + std::to_string(D3DFMT_DXT1) + " pool 1",
         {"LockRect 0", "UnlockRect 0", "LockRect 1", "UnlockRect 1", "LockRect 2", "UnlockRect 2", "LockRect 3",
          "UnlockRect 3", "LockRect 4", "UnlockRect 4", "LockRect 5", "UnlockRect 5", "LockRect 6", "UnlockRect 6",
          "LockRect 7", "UnlockRect 7", "LockRect 8", "UnlockRect 8"},
         87381 * 4 / 8},
    };
    for (const TRow& row : rows) {
        FreeRender();
        SetUp();
        Device.Clear();
        Render->Texture_SetLoadOptions(row.Flags, 1);
        const std::string file = row.Dds.empty() ? tga : Write("Chain.dds", row.Dds);
        const int32_t slot = Render->Texture_Load(file);
        std::vector<std::string> calls = Device.Texts();
        ASSERT_FALSE(calls.empty()) << row.Name;
        EXPECT_EQ(calls[0].substr(0, calls[0].find(" #")), row.Create) << row.Name;
        EXPECT_EQ(std::vector<std::string>(calls.begin() + 1, calls.end()), row.After) << row.Name;
        EXPECT_EQ(Render->TextureBytes, row.Bytes) << row.Name;
        const T3D_Texture* texture = TextureAt(*Render, slot);
        EXPECT_EQ(texture->ImageLevels.empty(), (row.Flags & TEXTURE_KEEP_DATA) == 0) << row.Name;
        if (!row.Dds.empty()) {
            TFakeTexture* fake = static_cast<TFakeTexture*>(texture->Texture);
            EXPECT_EQ(texture->AutomaticMipmaps, 0);
            EXPECT_EQ(fake->Levels[0].Bytes[0], 0);
            EXPECT_EQ(fake->Levels[0].Bytes.back(), 0);
            EXPECT_EQ(fake->Levels[5].Bytes[0], 5);
            EXPECT_EQ(fake->Levels[8].Bytes.back(), 8);
        }
        Render->Texture_Free(slot, 1);
        EXPECT_EQ(Render->TextureBytes, 0) << row.Name;
        EXPECT_EQ(Render->TextureObjects, 0) << row.Name;
        EXPECT_EQ(Device.LiveObjects(), 0) << row.Name;
    }
}

TEST_F(TexturesTest, CreatedTexturesAreNamedAfterTheirSlot)
{
    const int32_t target = Render->Texture_Create(TEXTURE_RENDERTARGET, 100, 50, 1, D3DFMT_R5G6B5, D3DFMT_D24S8);
    const int32_t copy = Render->Texture_Create(TEXTURE_OFFSCREEN, 100, 50, 1, D3DFMT_R5G6B5, 0);
    Render->Texture_SetLoadOptions(TEXTURE_KEEP_DATA, 8);
    const int32_t plain = Render->Texture_Create(TEXTURE_DEFAULT, 100, 50, 1, D3DFMT_A8R8G8B8, 0);
    Render->Texture_Create(TEXTURE_DEFAULT, 64, 64, 3, D3DFMT_A8R8G8B8, 0);
    EXPECT_EQ(TextureAt(*Render, target)->FileName, "RENDERTARGET_0");
    EXPECT_EQ(TextureAt(*Render, copy)->FileName, "OFFSCREEN_1");
    EXPECT_EQ(TextureAt(*Render, plain)->FileName, "DEFAULT_2");
    EXPECT_EQ(TextureAt(*Render, plain)->Group, 8u);
    EXPECT_EQ(TextureAt(*Render, plain)->KeepData, 1);
    EXPECT_EQ(TextureAt(*Render, plain)->DeviceWidth, 128);
    EXPECT_EQ(TextureAt(*Render, target)->DeviceWidth, 100);
    std::vector<std::string> calls = Device.Texts();
    for (std::string& call : calls)
        call = call.substr(0, call.find(" #"));
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "CreateTexture 100x50 levels 1 usage 0x1 format 23 pool 0",
                         "GetSurfaceLevel 0",
                         "CreateDepthStencilSurface 100x50 format 75 discard 1",
                         "CreateOffscreenPlainSurface 100x50 format 23 pool 2",
                         "CreateTexture 128x64 levels 0 usage 0x400 format 21 pool 1",
                         "SetAutoGenFilterType 3",
                         "CreateTexture 64x64 levels 3 usage 0x0 format 21 pool 0",
                     }));
    // 100x50 target and depth, 100x50 copy, 128x64 and 64x64 with mipmaps.
    EXPECT_EQ(Render->TextureBytes, 100 * 50 * 2 + 100 * 50 * 4 + 100 * 50 * 2 + 10923 * 4 + 5461 * 4);
    EXPECT_EQ(Render->TextureObjects, 5);
    EXPECT_EQ(TextureAt(*Render, 99), nullptr);
    EXPECT_EQ(TextureAt(*Render, -1), nullptr);
}

TEST_F(TexturesTest, ReadPixelCopiesOnePixelInsideTheSurfaceOnly)
{
    const int32_t target = Render->Texture_Create(TEXTURE_RENDERTARGET, 8, 4, 1, D3DFMT_R5G6B5, D3DFMT_D24S8);
    const int32_t copy = Render->Texture_Create(TEXTURE_OFFSCREEN, 8, 4, 1, D3DFMT_R5G6B5, 0);
    TFakeTexture* fake = FakeOf(TextureAt(*Render, target));
    for (size_t i = 0; i < fake->Levels[0].Bytes.size(); i++)
        fake->Levels[0].Bytes[i] = static_cast<uint8_t>(i);
    Render->Texture_CopyRenderTarget(target, copy);
    struct TRow {
        int32_t X, Y;
        uint16_t Expected;
    };
    const TRow rows[] = {
        {0, 0, 0x0100}, {3, 2, 0x2726},  {7, 3, 0x3F3E},  {8, 0, 0xAAAA},
        {0, 4, 0xAAAA}, {-1, 0, 0xAAAA}, {0, -1, 0xAAAA},
    };
    for (const TRow& row : rows) {
        uint16_t pixel = 0xAAAA;
        Render->Texture_ReadPixel(copy, row.X, row.Y, &pixel);
        EXPECT_EQ(pixel, row.Expected) << row.X << "," << row.Y;
    }
    // Only offscreen textures are read; nothing for free slots.
    uint32_t value = 0xAAAAAAAA;
    Render->Texture_ReadPixel(target, 0, 0, &value);
    Render->Texture_ReadPixel(57, 0, 0, &value);
    Render->Texture_CopyRenderTarget(57, copy);
    EXPECT_EQ(value, 0xAAAAAAAAu);
}

TEST_F(TexturesTest, FreeKeepsTheSlotAndReuploadBringsItBack)
{
    const std::string a = Write("A.tga", PatternTGA(4, 4));
    const std::string b = Write("B.tga", PatternTGA(4, 4));
    Render->Texture_SetLoadOptions(TEXTURE_KEEP_DATA | TEXTURE_NO_MIPMAPS, 2);
    const int32_t kept = Render->Texture_Load(a);
    Render->Texture_SetLoadOptions(TEXTURE_KEEP_DATA | TEXTURE_NO_MIPMAPS, 0x20);
    const int32_t other = Render->Texture_Load(b);
    Render->Texture_SetLoadOptions(0, 0);

    Render->Texture_FreeGroup(2, 0);
    T3D_Texture* texture = TextureAt(*Render, kept);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->State, RESOURCE_RELEASED);
    EXPECT_EQ(texture->Texture, nullptr);
    EXPECT_EQ(texture->FileName, "a.tga");
    EXPECT_EQ(texture->ImageLevels.size(), 1u);
    EXPECT_EQ(TextureAt(*Render, other)->State, RESOURCE_ON_DEVICE);
    EXPECT_EQ(Render->TextureObjects, 1);

    Device.Clear();
    Render->Texture_ReuploadGroup(2);
    EXPECT_EQ(texture->State, RESOURCE_ON_DEVICE);
    EXPECT_EQ(Device.CallsStartingWith("CreateTexture").size(), 1u);
    EXPECT_EQ(Texel(FakeOf(texture), 3, 2)[0], 3);
    EXPECT_EQ(Texel(FakeOf(texture), 3, 2)[1], 2);
    // A texture already on the device is refilled, not made again.
    Device.Clear();
    Render->Texture_ReuploadGroup(0x20);
    EXPECT_EQ(Device.Texts(), (std::vector<std::string>{"LockRect 0", "UnlockRect 0"}));

    Render->Texture_Free(kept, 1);
    EXPECT_EQ(TextureAt(*Render, kept), nullptr);
    EXPECT_EQ(Render->TextureCount, 2) << "the count never shrinks";
    Render->Texture_Free(kept, 1); // an empty slot: nothing
    Render->Texture_Free(5000, 1);
    EXPECT_EQ(Render->Texture_Load(b), other);
    EXPECT_EQ(Render->Texture_Load(a), kept) << "a freed slot is reused";
}

TEST_F(TexturesTest, LostDeviceRestoresEveryTextureFromItsKeptData)
{
    const std::string a = Write("A.tga", PatternTGA(4, 4));
    Render->Texture_SetLoadOptions(TEXTURE_KEEP_DATA | TEXTURE_NO_MIPMAPS, 1);
    const int32_t image = Render->Texture_Load(a);
    Render->Texture_SetLoadOptions(0, 0);
    const int32_t target = Render->Texture_Create(TEXTURE_RENDERTARGET, 16, 16, 1, D3DFMT_A8R8G8B8, D3DFMT_D24S8);
    Render->Texture_Free(Render->Texture_Create(TEXTURE_OFFSCREEN, 16, 16, 1, D3DFMT_A8R8G8B8, 0), 0);
    const int32_t bytes = Render->TextureBytes, objects = Render->TextureObjects;
    const int32_t live = Device.LiveObjects();

    Device.CooperativeAnswers = {D3DERR_DEVICELOST, D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET};
    EXPECT_FALSE(Render->CheckDevice());
    Device.Clear();
    EXPECT_TRUE(Render->CheckDevice());
    const std::vector<std::string> created = Device.CallsStartingWith("Create");
    ASSERT_EQ(created.size(), 5u) << "back buffer, depth, the image, the target and its depth";
    EXPECT_EQ(created[2].substr(0, created[2].find(" #")), "CreateTexture 4x4 levels 1 usage 0x0 format 21 pool 1");
    EXPECT_EQ(Texel(FakeOf(TextureAt(*Render, image)), 2, 3)[1], 3);
    EXPECT_NE(TextureAt(*Render, target)->Surface, nullptr);
    EXPECT_EQ(Render->TextureBytes, bytes);
    EXPECT_EQ(Render->TextureObjects, objects);
    // The new back buffer and depth surface; nothing leaked or released twice.
    EXPECT_EQ(Device.LiveObjects(), live + 2);
}

TEST_F(TexturesTest, FilesThatCannotBeUsedStopTheProgram)
{
    const std::string missing = Folder.ProgramPath() + "None.tga";
    EXPECT_THROW(Render->Texture_Load(missing), TRenderFatalStop);
    EXPECT_EQ(GetEngineErrorText(), "\n\rLoad_TGA(" + missing + ") -> FILE NOT FOUND!");

    // Another extension, or a TGA of a type the reader does not read, gives
    // no image and format 0, which no device takes; the stop names the file.
    struct TRow {
        const char* Name;
        TBytes File;
        std::string Operation, Reason;
    };
    TextureFiles::TTgaImage rle;
    rle.ImageType = 10;
    const TRow rows[] = {
        {"Picture.png", TBytes(20, 1), "T3D_Texture.Load", "UNSUPPORTED IMAGE FILE!"},
        {"Packed.tga", TextureFiles::MakeTGA(rle), "Load_TGA", "UNSUPPORTED IMAGE TYPE 10!"},
    };
    for (const TRow& row : rows) {
        ClearEngineErrorText();
        QX9_Render_Initialization();
        const std::string file = Write(row.Name, row.File);
        EXPECT_THROW(Render->Texture_Load(file), TRenderFatalStop) << row.Name;
        EXPECT_EQ(GetEngineErrorText(), "\n\r" + row.Operation + "(" + file + ") -> " + row.Reason +
                                            "\n\rD3D.CreateTexture: D3DERR_INVALIDCALL -> DIRECT3D ERROR!")
            << row.Name;
    }
}

TEST_F(TexturesTest, FullRegistryStops)
{
    T3D_Texture* placeholder = reinterpret_cast<T3D_Texture*>(&Device);
    for (T3D_Texture*& slot : Render->Textures)
        slot = placeholder;
    EXPECT_THROW(Render->Texture_Create(TEXTURE_DEFAULT, 4, 4, 1, D3DFMT_A8R8G8B8, 0), TRenderFatalStop);
    EXPECT_EQ(GetEngineErrorText(), "\n\rT3D_Render.Texture_Create(2) -> TEXTURE REGISTRY FULL!");
    for (T3D_Texture*& slot : Render->Textures)
        slot = nullptr;
}

} // namespace
