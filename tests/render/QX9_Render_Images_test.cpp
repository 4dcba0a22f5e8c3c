// The TGA and DDS readers: every type, depth and orientation; mipmap chains;
// malformed files refused without reading past the data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/d3d9/D3D9.h"
#include "render/QX9_Render_Images.h"
#include "tests/support/FatalStop.h"
#include "tests/support/TestSupport.h"
#include "tools/TextureFiles.h"

namespace {

using TBytes = std::vector<uint8_t>;
using TextureFiles::MakeDDS;
using TextureFiles::MakeTGA;
using TextureFiles::TTgaImage;

TBytes ImageBytes(const TImageBuffer* image)
{
    return TBytes(image->Data, image->Data + image->Width * image->Height * (image->BitsPerPixel / 8));
}

// A 3x2 picture in file order; pixel p's bytes are p*16 + byte number.
TBytes FilePixels(int depth)
{
    TBytes out;
    for (int p = 0; p < 6; p++)
        for (int b = 0; b < depth / 8; b++)
            out.push_back(static_cast<uint8_t>(p * 16 + b));
    return out;
}

// The decoded bytes of the pixels of file positions, in output order.
TBytes Expected(const std::vector<int>& order, int bytes, bool addAlpha)
{
    TBytes out;
    for (int p : order) {
        for (int b = 0; b < bytes; b++)
            out.push_back(static_cast<uint8_t>(p * 16 + b));
        if (addAlpha)
            out.push_back(255);
    }
    return out;
}

TEST(ImageReaderTest, TgaTypesDepthsAndOrientations)
{
    const std::vector<int> asRead = {0, 1, 2, 3, 4, 5};
    const std::vector<int> flipped = {3, 4, 5, 0, 1, 2};
    const std::vector<int> mirrored = {2, 1, 0, 5, 4, 3};
    const std::vector<int> both = {5, 4, 3, 2, 1, 0};
    struct TRow {
        const char* Name;
        uint8_t Type, Depth, Descriptor;
        int32_t Format, Bits;
        TBytes Pixels;
    };
    const TRow rows[] = {
        {"32-bit top-down", 2, 32, 0x20, D3DFMT_A8R8G8B8, 32, Expected(asRead, 4, false)},
        {"32-bit bottom-up", 2, 32, 0x00, D3DFMT_A8R8G8B8, 32, Expected(flipped, 4, false)},
        {"32-bit right-to-left top-down", 2, 32, 0x30, D3DFMT_A8R8G8B8, 32, Expected(mirrored, 4, false)},
        {"32-bit right-to-left bottom-up", 2, 32, 0x10, D3DFMT_A8R8G8B8, 32, Expected(both, 4, false)},
        {"32-bit with attribute bits", 2, 32, 0x28, D3DFMT_A8R8G8B8, 32, Expected(asRead, 4, false)},
        {"24-bit top-down gains alpha", 2, 24, 0x20, D3DFMT_A8R8G8B8, 32, Expected(asRead, 3, true)},
        {"24-bit bottom-up", 2, 24, 0x00, D3DFMT_A8R8G8B8, 32, Expected(flipped, 3, true)},
        {"16-bit kept", 2, 16, 0x20, D3DFMT_R5G6B5, 16, Expected(asRead, 2, false)},
        {"16-bit bottom-up right-to-left", 2, 16, 0x10, D3DFMT_R5G6B5, 16, Expected(both, 2, false)},
        {"8-bit true colour is grey", 2, 8, 0x20, D3DFMT_L8, 8, Expected(asRead, 1, false)},
        {"8-bit grey bottom-up", 3, 8, 0x00, D3DFMT_L8, 8, Expected(flipped, 1, false)},
        {"32-bit grey type", 3, 32, 0x20, D3DFMT_A8R8G8B8, 32, Expected(asRead, 4, false)},
    };
    for (const TRow& row : rows) {
        TTgaImage source;
        source.ImageType = row.Type;
        source.Width = 3;
        source.Height = 2;
        source.Depth = row.Depth;
        source.Descriptor = row.Descriptor;
        source.Id = "id";
        source.Pixels = FilePixels(row.Depth);
        const TBytes file = MakeTGA(source);
        int32_t format = -1;
        TImageBuffer* image = nullptr;
        ASSERT_EQ(DecodeTGA(file.data(), file.size(), format, image), TImageDecode::Ok) << row.Name;
        EXPECT_EQ(format, row.Format) << row.Name;
        EXPECT_EQ(image->Width, 3) << row.Name;
        EXPECT_EQ(image->Height, 2) << row.Name;
        EXPECT_EQ(image->BitsPerPixel, row.Bits) << row.Name;
        EXPECT_EQ(ImageBytes(image), row.Pixels) << row.Name;
        FreeImageBuffer(image);
    }
}

TEST(ImageReaderTest, TgaColourMapped)
{
    TTgaImage source;
    source.ImageType = 1;
    source.MapType = 1;
    source.MapLength = 3;
    source.MapEntryBits = 24;
    source.Map = {10, 11, 12, 20, 21, 22, 30, 31, 32};
    source.Width = 2;
    source.Height = 2;
    source.Depth = 8;
    source.Descriptor = 0x00; // bottom-up
    source.Pixels = {2, 0, 1, 1};
    const TBytes file = MakeTGA(source);
    int32_t format = 0;
    TImageBuffer* image = nullptr;
    ASSERT_EQ(DecodeTGA(file.data(), file.size(), format, image), TImageDecode::Ok);
    EXPECT_EQ(format, static_cast<int32_t>(D3DFMT_A8R8G8B8));
    EXPECT_EQ(image->BitsPerPixel, 32);
    EXPECT_EQ(ImageBytes(image), (TBytes{20, 21, 22, 255, 20, 21, 22, 255, 30, 31, 32, 255, 10, 11, 12, 255}));
    FreeImageBuffer(image);

    // A true-colour file that carries a map: the pixels come after it.
    TTgaImage withMap;
    withMap.MapType = 1;
    withMap.MapLength = 2;
    withMap.MapEntryBits = 24;
    withMap.Map = {1, 2, 3, 4, 5, 6};
    withMap.Width = 1;
    withMap.Height = 1;
    withMap.Pixels = {7, 8, 9, 10};
    const TBytes second = MakeTGA(withMap);
    ASSERT_EQ(DecodeTGA(second.data(), second.size(), format, image), TImageDecode::Ok);
    EXPECT_EQ(ImageBytes(image), (TBytes{7, 8, 9, 10}));
    FreeImageBuffer(image);
}

TEST(ImageReaderTest, TgaRefusals)
{
    auto source = [](auto change) {
        TTgaImage s;
        s.Width = 2;
        s.Height = 2;
        s.Pixels = TBytes(16, 1);
        change(s);
        return MakeTGA(s);
    };
    struct TRow {
        const char* Name;
        TBytes File;
        TImageDecode Result;
        std::string Why = ""; // what an unsupported file is said to be
    };
    TBytes shortPixels = source([](TTgaImage&) {});
    shortPixels.pop_back();
    const TRow rows[] = {
        {"run-length type", source([](TTgaImage& s) { s.ImageType = 10; }), TImageDecode::Unsupported,
         "UNSUPPORTED IMAGE TYPE 10!"},
        {"no image", source([](TTgaImage& s) { s.ImageType = 0; }), TImageDecode::Unsupported,
         "UNSUPPORTED IMAGE TYPE 0!"},
        {"15-bit depth", source([](TTgaImage& s) { s.Depth = 15; }), TImageDecode::Unsupported,
         "UNSUPPORTED PIXEL DEPTH 15!"},
        {"colour map of 16-bit entries", source([](TTgaImage& s) {
             s.ImageType = 1, s.MapType = 1, s.MapLength = 1, s.MapEntryBits = 16, s.Depth = 8;
             s.Map = {0, 0};
             s.Pixels = TBytes(4, 0);
         }),
         TImageDecode::Unsupported, "UNSUPPORTED COLOUR MAP!"},
        {"colour-mapped without a map", source([](TTgaImage& s) { s.ImageType = 1, s.Depth = 8; }),
         TImageDecode::Unsupported, "UNSUPPORTED COLOUR MAP!"},
        {"index beyond the map", source([](TTgaImage& s) {
             s.ImageType = 1, s.MapType = 1, s.MapLength = 2, s.MapEntryBits = 24, s.Depth = 8;
             s.Map = TBytes(6, 0);
             s.Pixels = {0, 1, 2, 0};
         }),
         TImageDecode::BadFormat},
        {"map longer than the file", source([](TTgaImage& s) {
             s.ImageType = 1, s.MapType = 1, s.MapLength = 300, s.MapEntryBits = 24, s.Depth = 8;
             s.Pixels = TBytes(4, 0);
         }),
         TImageDecode::BadFormat},
        {"pixels cut short", shortPixels, TImageDecode::BadFormat},
        {"zero width", source([](TTgaImage& s) { s.Width = 0; }), TImageDecode::BadFormat},
        {"zero height", source([](TTgaImage& s) { s.Height = 0; }), TImageDecode::BadFormat},
        {"huge size", source([](TTgaImage& s) { s.Width = 65535, s.Height = 65535; }), TImageDecode::BadFormat},
        {"header cut short", TBytes(17, 0), TImageDecode::BadFormat},
        {"ID field past the end",
         [] {
             TBytes f(18, 0);
             f[0] = 200, f[2] = 2, f[12] = 1, f[14] = 1, f[16] = 32;
             return f;
         }(),
         TImageDecode::BadFormat},
    };
    for (const TRow& row : rows) {
        int32_t format = 0;
        TImageBuffer* image = reinterpret_cast<TImageBuffer*>(1);
        std::string why;
        EXPECT_EQ(DecodeTGA(row.File.data(), row.File.size(), format, image, &why), row.Result) << row.Name;
        EXPECT_EQ(image, nullptr) << row.Name;
        EXPECT_EQ(why, row.Why) << row.Name;
    }
}

TEST(ImageReaderTest, DdsLevelsAndFormats)
{
    struct TRow {
        const char* Name;
        uint32_t FourCC, Width, Height, MipCount;
        int32_t Format;
        std::vector<std::pair<int32_t, int32_t>> Levels; // row bytes, block rows
    };
    const TRow rows[] = {
        {"DXT1 256 with 9 levels",
         MakeFourCC('D', 'X', 'T', '1'),
         256,
         256,
         9,
         D3DFMT_DXT1,
         {{512, 64}, {256, 32}, {128, 16}, {64, 8}, {32, 4}, {16, 2}, {8, 1}, {8, 1}, {8, 1}}},
        {"DXT2 reads as DXT1", MakeFourCC('D', 'X', 'T', '2'), 8, 8, 1, D3DFMT_DXT1, {{16, 2}}},
        {"DXT3 16-byte blocks", MakeFourCC('D', 'X', 'T', '3'), 8, 4, 2, D3DFMT_DXT3, {{32, 1}, {16, 1}}},
        {"DXT5 odd size", MakeFourCC('D', 'X', 'T', '5'), 5, 9, 1, D3DFMT_DXT5, {{32, 3}}},
        {"mipmap count 0 is one level", MakeFourCC('D', 'X', 'T', '1'), 16, 16, 0, D3DFMT_DXT1, {{32, 4}}},
        {"narrow chain keeps one block row",
         MakeFourCC('D', 'X', 'T', '1'),
         16,
         4,
         5,
         D3DFMT_DXT1,
         {{32, 1}, {16, 1}, {8, 1}, {8, 1}, {8, 1}}},
    };
    for (const TRow& row : rows) {
        TBytes body;
        for (size_t i = 0; i < row.Levels.size(); i++)
            body.insert(body.end(), static_cast<size_t>(row.Levels[i].first) * row.Levels[i].second,
                        static_cast<uint8_t>(i + 1));
        const TBytes file = MakeDDS(row.FourCC, row.Width, row.Height, row.MipCount, body);
        int32_t format = 0, width = 0, height = 0;
        std::vector<TImageBuffer*> levels;
        ASSERT_EQ(DecodeDDS(file.data(), file.size(), format, levels, width, height), TImageDecode::Ok) << row.Name;
        EXPECT_EQ(format, row.Format) << row.Name;
        EXPECT_EQ(width, static_cast<int32_t>(row.Width)) << row.Name;
        EXPECT_EQ(height, static_cast<int32_t>(row.Height)) << row.Name;
        ASSERT_EQ(levels.size(), row.Levels.size()) << row.Name;
        for (size_t i = 0; i < levels.size(); i++) {
            EXPECT_EQ(levels[i]->Width, row.Levels[i].first) << row.Name << " level " << i;
            EXPECT_EQ(levels[i]->Height, row.Levels[i].second) << row.Name << " level " << i;
            EXPECT_EQ(levels[i]->BitsPerPixel, 8) << row.Name;
            EXPECT_EQ(levels[i]->Data[0], i + 1) << row.Name << " level " << i;
            EXPECT_EQ(levels[i]->Data[levels[i]->Width * levels[i]->Height - 1], i + 1) << row.Name;
        }
        FreeImageLevels(levels);
    }
}

TEST(ImageReaderTest, DdsRefusals)
{
    const uint32_t dxt1 = MakeFourCC('D', 'X', 'T', '1');
    TBytes cut = MakeDDS(dxt1, 8, 8, 2, TBytes(40, 0));
    cut.pop_back();
    const struct {
        const char* Name;
        TBytes File;
    } rows[] = {
        {"header cut short", TBytes(127, 0)},
        {"last level cut short", cut},
        {"zero width", MakeDDS(dxt1, 0, 8, 1, TBytes(32, 0))},
        {"zero height", MakeDDS(dxt1, 8, 0, 1, TBytes(32, 0))},
        {"more levels than the chain", MakeDDS(dxt1, 4, 4, 4, TBytes(64, 0))},
        {"huge size", MakeDDS(dxt1, 0x40000000, 0x40000000, 1, TBytes(64, 0))},
        {"size above 31 bits", MakeDDS(dxt1, 0x80000000u, 4, 1, TBytes(64, 0))},
        {"huge mipmap count", MakeDDS(dxt1, 4, 4, 0xFFFFFFFFu, TBytes(64, 0))},
    };
    for (const auto& row : rows) {
        int32_t format = 0, width = 0, height = 0;
        std::vector<TImageBuffer*> levels;
        EXPECT_EQ(DecodeDDS(row.File.data(), row.File.size(), format, levels, width, height), TImageDecode::BadFormat)
            << row.Name;
        EXPECT_TRUE(levels.empty()) << row.Name;
    }
}

class ImageFileTest : public TFatalStopTest {
protected:
    TTempFolder Folder;
};

TEST_F(ImageFileTest, MissingAndMalformedFilesStopWithTheirName)
{
    const std::string missing = Folder.ProgramPath() + "none.tga";
    int32_t format = 0;
    TImageBuffer* image = nullptr;
    EXPECT_THROW(Load_TGA(missing, format, image), TFatalStopped);
    EXPECT_EQ(GetEngineErrorText(), "\n\rLoad_TGA(" + missing + ") -> FILE NOT FOUND!");

    ClearEngineErrorText();
    Folder.WriteFile("bad.tga", std::string(10, 'x'));
    EXPECT_THROW(Load_TGA(Folder.ProgramPath() + "bad.tga", format, image), TFatalStopped);
    EXPECT_EQ(GetEngineErrorText(), "\n\rLoad_TGA(" + Folder.ProgramPath() + "bad.tga) -> BAD FORMAT!");

    ClearEngineErrorText();
    std::vector<TImageBuffer*> levels;
    int32_t width = 0, height = 0;
    EXPECT_THROW(Load_DDS(Folder.ProgramPath() + "none.dds", format, levels, width, height), TFatalStopped);
    EXPECT_EQ(GetEngineErrorText(), "\n\rLoad_DDS(" + Folder.ProgramPath() + "none.dds) -> FILE NOT FOUND!");
    ClearEngineErrorText();
    Folder.WriteFile("bad.dds", std::string(130, 'x'));
    EXPECT_THROW(Load_DDS(Folder.ProgramPath() + "bad.dds", format, levels, width, height), TFatalStopped);
    EXPECT_EQ(GetEngineErrorText(), "\n\rLoad_DDS(" + Folder.ProgramPath() + "bad.dds) -> BAD FORMAT!");

    // Another image type does not stop here: no image, and the file and
    // its type are named for the stop that follows when the texture is made.
    ClearEngineErrorText();
    TTgaImage rle;
    rle.ImageType = 10;
    const TBytes file = MakeTGA(rle);
    Folder.WriteFile("rle.tga", std::string(file.begin(), file.end()));
    EXPECT_FALSE(Load_TGA(Folder.ProgramPath() + "rle.tga", format, image));
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(GetEngineErrorText(), "\n\rLoad_TGA(" + Folder.ProgramPath() + "rle.tga) -> UNSUPPORTED IMAGE TYPE 10!");
}

} // namespace
