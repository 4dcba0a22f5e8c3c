// Fonts on the recording device: glyph boxes and the atlas, measuring,
// printing ansi and wide text, colours, clones and the registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/QX9_System_Ini.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Images.h"
#include "render/QX9_Render_Scenes.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/TextureFiles.h"

namespace {

// A 32-bit image whose glyphs are the given column ranges (first, last),
// set in rows top..bottom; pixel (x, y) carries x in blue and y in green.
std::vector<uint8_t> GlyphImage(uint16_t width, uint16_t height, int top, int bottom,
                                const std::vector<std::pair<int, int>>& glyphs)
{
    std::vector<uint8_t> bgra(static_cast<size_t>(width) * height * 4, 0);
    for (const auto& [first, last] : glyphs)
        for (int y = top; y <= bottom; y++)
            for (int x = first; x <= last; x++) {
                uint8_t* p = &bgra[(static_cast<size_t>(y) * width + static_cast<size_t>(x)) * 4];
                p[0] = static_cast<uint8_t>(x);
                p[1] = static_cast<uint8_t>(y);
                p[2] = 200;
                p[3] = 255;
            }
    return TextureFiles::MakeTGA32(width, height, bgra);
}

class FontsTest : public TRecordingRenderTest {
protected:
    // A font "Name.ini" over an image; returns the font's index.
    int32_t Font(const std::string& name, const std::string& charset, const std::vector<uint8_t>& image)
    {
        Write("Fonts\\" + name + ".tga", image);
        const std::string ini = "[Font]\r\nTexture=" + name + ".tga\r\nCharset=" + charset + "\r\n";
        const std::string path = Write("Fonts\\" + name + ".ini", std::vector<uint8_t>(ini.begin(), ini.end()));
        return Render->Font_Load(path);
    }

    // The two glyphs of the worked example: A on columns 3..9, B on 12..15,
    // ten rows high.
    T3D_Font* TwoGlyphs() { return Render->Font_Get(Font("AB", "AB", GlyphImage(20, 14, 2, 11, {{3, 9}, {12, 15}}))); }

    std::vector<float> QuadXs(int32_t sprite)
    {
        std::vector<float> xs;
        const T3D_Sprite* s = Render->Sprite_Get(sprite);
        for (size_t v = 0; v < s->Vertices.size(); v += 4)
            xs.insert(xs.end(), {s->Vertices[v].X, s->Vertices[v + 1].X});
        return xs;
    }
};

TEST_F(FontsTest, GlyphBoxesAndTheAtlas)
{
    const T3D_Font* font = TwoGlyphs();
    const TIntArray& advances = *font->Advances;
    ASSERT_EQ(advances.size(), static_cast<size_t>('B' + 1));
    EXPECT_EQ(advances['A'], 7);
    EXPECT_EQ(advances['B'], 4);
    EXPECT_EQ(advances[32], 5) << "(7 + 4) div 2";
    EXPECT_EQ(font->LineHeight, 10);
    EXPECT_EQ(font->Spacing, 1);
    EXPECT_EQ(font->Color, 0xFFFFFFFFu);
    EXPECT_EQ(font->State, RESOURCE_ON_DEVICE);

    const T3D_Texture* atlas = TextureAt(*Render, font->Texture);
    ASSERT_NE(atlas, nullptr);
    EXPECT_EQ(atlas->DeviceWidth, 32);
    EXPECT_EQ(atlas->DeviceHeight, 16) << "half of 32 holds a row of 11";
    const T3D_GlyphQuad& b = (*font->Glyphs)['B'];
    EXPECT_EQ(b[0].U, 8.0f / 32);
    EXPECT_EQ(b[0].V, 0);
    EXPECT_EQ(b[2].U, 12.0f / 32);
    EXPECT_EQ(b[2].V, 10.0f / 16);
    EXPECT_EQ(b[2].X, 4);
    EXPECT_EQ(b[2].Y, 10);
    EXPECT_EQ((*font->Glyphs)['A'][2].U, 7.0f / 32);

    // The glyph's pixels moved from (12, 2) to (8, 0) of the atlas.
    const auto* texture = static_cast<TFakeTexture*>(atlas->Texture);
    const uint8_t* pixel = texture->Levels[0].Bytes.data() + 8 * 4;
    EXPECT_EQ(pixel[0], 12);
    EXPECT_EQ(pixel[1], 2);
    EXPECT_EQ(pixel[3], 255);
    EXPECT_EQ(texture->Levels[0].Bytes[7 * 4 + 3], 0) << "one clear column between glyphs";
}

TEST_F(FontsTest, EdgesEmptyImagesAndManyGlyphs)
{
    struct TCase {
        const char* What;
        std::vector<uint8_t> Image;
        const char* Charset;
        std::vector<int> Widths; // of the charset's characters
        int Average;
        int AtlasWidth;
    };
    std::vector<std::pair<int, int>> many;
    for (int i = 0; i < 40; i++)
        many.push_back({i * 3, i * 3 + 1});
    const TCase cases[] = {
        {"glyphs on the first and the last column", GlyphImage(10, 4, 0, 3, {{0, 2}, {6, 9}}), "ab", {3, 4}, 3, 32},
        {"no glyph at all", GlyphImage(10, 4, 0, 3, {}), "ab", {0, 0}, 0, 32},
        {"an empty charset", GlyphImage(10, 4, 0, 3, {{1, 2}}), "", {}, 0, 32},
        {"more boxes than characters", GlyphImage(10, 4, 0, 3, {{1, 2}, {5, 5}, {7, 8}}), "ab", {2, 1}, 1, 32},
        {"fewer boxes than characters", GlyphImage(10, 4, 0, 3, {{1, 2}}), "abc", {2, 0, 0}, 2, 32},
        {"forty glyphs need a wider atlas", GlyphImage(120, 10, 0, 9, many), "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN",
         std::vector<int>(40, 2), 2, 64},
    };
    int n = 0;
    for (const TCase& c : cases) {
        const T3D_Font* font = Render->Font_Get(Font("F" + std::to_string(n++), c.Charset, c.Image));
        for (size_t i = 0; i < c.Widths.size(); i++)
            EXPECT_EQ((*font->Advances)[static_cast<size_t>(c.Charset[i])], c.Widths[i]) << c.What << " " << i;
        EXPECT_EQ((*font->Advances)[32], c.Average) << c.What;
        EXPECT_EQ(TextureAt(*Render, font->Texture)->DeviceWidth, c.AtlasWidth) << c.What;
    }
}

TEST_F(FontsTest, MeasureText)
{
    const T3D_Font* font = TwoGlyphs();
    int32_t width = -1, height = -1;
    EXPECT_EQ(font->MeasureText(u"AB A", width, height, 2, false), 1);
    EXPECT_EQ(width, 7 + 4 + 7 + 4);
    EXPECT_EQ(height, 10);
    font->MeasureText(u"AB A", width, height, 2, true);
    EXPECT_EQ(width, 7 + 4 + 5 + 7 + 4);
    font->MeasureText(u"AB", width, height, -1000, false);
    EXPECT_EQ(width, 7 + 4 + 1) << "the font's spacing";
    EXPECT_EQ(font->MeasureText(u"", width, height, 2, true), 0);
    EXPECT_EQ(width, 0);
}

TEST_F(FontsTest, PrintAnsiAndWide)
{
    T3D_Font* font = TwoGlyphs();
    const int32_t sprite = Render->Sprite_Add(1, 1);
    font->PrintText("A BZ", sprite, 2, 0);
    EXPECT_EQ(QuadXs(sprite), (std::vector<float>{0, 7, 9, 14, 14, 18})) << "ansi: the space is a quad";
    const T3D_Sprite* s = Render->Sprite_Get(sprite);
    EXPECT_EQ(s->Texture, font->Texture);
    EXPECT_EQ(s->StageTextures[0].Clamp, 1);
    EXPECT_EQ(s->Vertices[4].U, 0) << "the space shows no glyph";
    EXPECT_EQ(s->Vertices[8].U, 8.0f / 32);

    font->PrintTextWide(u"A BZ\u0100", sprite, -1000, 0);
    EXPECT_EQ(QuadXs(sprite), (std::vector<float>{0, 7, 13, 17})) << "wide: a space only moves the pen";
    EXPECT_EQ(Render->Sprite_Get(sprite)->Height, 10);

    font->PrintTextWide(u"", sprite, 1, 0xFF000000);
    EXPECT_TRUE(Render->Sprite_Get(sprite)->Vertices.empty());
    font->PrintText("A", -5, 1, 0); // no such sprite: nothing
}

TEST_F(FontsTest, AnsiTextGoesThroughTheLanguageCodePage)
{
    const int32_t index = Font("Cyr", "\xD0\x90\xD0\x91", GlyphImage(20, 4, 0, 3, {{1, 3}, {6, 7}}));
    T3D_Font* font = Render->Font_Get(index);
    EXPECT_EQ((*font->Advances)[0x410], 3);
    const int32_t sprite = Render->Sprite_Add(1, 1);
    const int32_t saved = FontAnsiCodePage;
    FontAnsiCodePage = CP_1251;
    font->PrintText("\xC0\xC1", sprite, 0, 0);
    EXPECT_EQ(QuadXs(sprite), (std::vector<float>{0, 3, 3, 5}));
    FontAnsiCodePage = CP_1252;
    font->PrintText("\xC0\xC1", sprite, 0, 0);
    EXPECT_EQ(QuadXs(sprite), (std::vector<float>{0, 0, 0, 0})) << "in 1252 these are Latin letters the font lacks";
    FontAnsiCodePage = saved;
}

TEST_F(FontsTest, ColoursAndClones)
{
    T3D_Font* font = TwoGlyphs();
    const int32_t sprite = Render->Sprite_Add(1, 1);
    font->SetColor(10, 20, 30);
    font->SetAlpha(0x180);
    EXPECT_EQ(font->Color, 0x800A141Eu);
    font->PrintText("AB", sprite, -1000, 0);
    for (const T3D_SpriteVertex& v : Render->Sprite_Get(sprite)->Vertices)
        EXPECT_EQ(v.Color, 0x800A141Eu) << "colour 0: the font's";
    font->PrintTextWide(u"AB", sprite, -1000, 0x11223344);
    for (const T3D_SpriteVertex& v : Render->Sprite_Get(sprite)->Vertices)
        EXPECT_EQ(v.Color, 0x11223344u) << "any other colour replaces it, alpha included";

    const int32_t index = font->SlotIndex;
    const int32_t clone = Render->Font_Clone(index);
    EXPECT_EQ(clone, index + 1);
    T3D_Font* copy = Render->Font_Get(clone);
    EXPECT_EQ(copy->Advances, font->Advances) << "the tables are shared";
    EXPECT_EQ(copy->Glyphs, font->Glyphs);
    EXPECT_EQ(copy->Texture, font->Texture);
    EXPECT_EQ(copy->LineHeight, 10);
    copy->SetColor(140, 140, 140);
    EXPECT_EQ(font->Color, 0x800A141Eu);
    EXPECT_EQ(Render->Font_Clone(99), -1);
    EXPECT_EQ(Render->Font_Get(99), nullptr);
    EXPECT_EQ(Render->Font_Get(-1), nullptr);

    // The same file (names compare in lower case) is loaded once.
    EXPECT_EQ(Render->Font_Load(Folder.ProgramPath() + "fonts\\ab.INI"), index);
    EXPECT_EQ(Render->Fonts.size(), 2u);
}

TEST_F(FontsTest, EveryBakedFontLoadsWithItsWholeCharset)
{
    const std::string install = OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\Interface\\";
    TStringArray files;
    ListFiles(install + "Common\\Fonts\\*.ini", files, false);
    for (std::string& file : files)
        file = install + "Common\\Fonts\\" + file;
    files.push_back(install + "Console\\SanSerif_11px.ini");
    files.push_back(install + "Console\\SanSerif_11px_Bold.ini");
    ASSERT_EQ(files.size(), 14u)
        << "the eleven fonts of the game's list, the hire cards' numbers and the console's two";
    for (const std::string& file : files) {
        TIniFile ini;
        ini.Load(file);
        ini.SelectSection("Font");
        const std::u16string charset = ini.ReadWideString("Charset", -1);
        EXPECT_EQ(charset.size(), 298u) << file << ": Latin-1, Cyrillic and Polish letters";
        EXPECT_NE(charset.find(u'\u0416'), std::u16string::npos) << file << ": Cyrillic";
        EXPECT_NE(charset.find(u'\u0142'), std::u16string::npos) << file << ": Polish";

        // Every glyph is one box: none splits, none merges with its neighbour.
        TImageBuffer* image = nullptr;
        int32_t format = 0;
        ASSERT_TRUE(Load_TGA(ExtractPathStr(file) + ini.ReadString("Texture", -1), format, image)) << file;
        TFontLayout layout;
        EXPECT_TRUE(LayoutFont(*image, SIZE_MAX, layout));
        EXPECT_EQ(layout.Boxes.size(), charset.size()) << file;
        EXPECT_GE(layout.Boxes.empty() ? 0 : layout.Boxes[0].X, 1) << file;
        EXPECT_EQ(layout.LineHeight, image->Height) << file << ": every row of the band is set";
        FreeImageBuffer(image);

        const T3D_Font* font = Render->Font_Get(Render->Font_Load(file));
        for (char16_t c : charset)
            EXPECT_GT((*font->Advances)[c], 0) << file << " " << static_cast<int>(c);
        EXPECT_GT((*font->Advances)[32], 0) << file;
    }
}

} // namespace
