// Bakes the sample installation's bitmap fonts from the DejaVu fonts with
// FreeType: for every font the game loads, the description ini and its
// 32-bit TGA image.
//   fontbake INSTALL_FOLDER DEJAVU_FOLDER
// The glyphs stand side by side in one band of rows, the first at column 1,
// each box one fully transparent column from the next. Every pixel of a box
// has alpha at least 1, so no glyph has a clear column inside it (the loader
// would split it there) and every row of the band is set.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/os/OS.h"
#include "tools/TextureFiles.h"

namespace {

struct TFontToBake {
    const char* File; // relative to the installation, "/" separated, no extension
    const char* Face; // file in the DejaVu folder
    int Pixels;
    bool Stroke; // white glyphs with a dark outline
};

const TFontToBake Fonts[] = {
    {"Interface/Common/Fonts/Candara_11px_white", "DejaVuSans.ttf", 11, false},
    {"Interface/Common/Fonts/Candara_13px_white", "DejaVuSans.ttf", 13, false},
    {"Interface/Common/Fonts/Candara_15px_white", "DejaVuSans.ttf", 15, false},
    {"Interface/Common/Fonts/Candara_17px_white", "DejaVuSans.ttf", 17, false},
    {"Interface/Common/Fonts/Candara_19px_white", "DejaVuSans.ttf", 19, false},
    {"Interface/Common/Fonts/Candara_21px_white", "DejaVuSans.ttf", 21, false},
    {"Interface/Common/Fonts/Candara_23px_white", "DejaVuSans.ttf", 23, false},
    {"Interface/Common/Fonts/Candara_23px_stroke", "DejaVuSans-Bold.ttf", 23, true},
    {"Interface/Common/Fonts/Candara_25px_white", "DejaVuSans.ttf", 25, false},
    {"Interface/Common/Fonts/Candara_30px_white", "DejaVuSans.ttf", 30, false},
    {"Interface/Common/Fonts/Arial_9px_numbers", "DejaVuSans.ttf", 9, false},
    {"Interface/Common/Fonts/CandaraNumbers_23px_white", "DejaVuSans-Bold.ttf", 23, false},
    {"Interface/Console/SanSerif_11px", "DejaVuSans.ttf", 11, false},
    {"Interface/Console/SanSerif_11px_Bold", "DejaVuSans-Bold.ttf", 11, false},
};

// Latin-1, the Cyrillic letters (with the Ukrainian and Belarusian ones) and
// the Polish letters outside Latin-1.
std::u16string Charset()
{
    std::u16string set;
    for (char16_t c = 0x21; c <= 0x7E; c++)
        set += c;
    for (char16_t c = 0xA1; c <= 0xFF; c++)
        if (c != 0xAD) // the soft hyphen never shows
            set += c;
    for (char16_t c = 0x401; c <= 0x45F; c++)
        if (c != 0x40D && c != 0x450 && c != 0x45D)
            set += c;
    set += u"\u0490\u0491\u0104\u0105\u0106\u0107\u0118\u0119\u0141\u0142\u0143\u0144\u015A\u015B\u0179\u017A\u017B"
           u"\u017C";
    return set;
}

struct TGlyph {
    char16_t Code = 0;
    int Width = 0;                 // the box
    std::vector<uint8_t> Coverage; // Width x band height
    std::vector<uint8_t> Outline;  // the same, for stroked fonts
};

int Ceil26(long value)
{
    return static_cast<int>((value + 63) >> 6);
}

bool RenderGlyph(FT_Face face, char16_t code, int ascent, int band, bool stroke, TGlyph& glyph)
{
    const FT_UInt index = FT_Get_Char_Index(face, code);
    if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0)
        return false;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int margin = stroke ? 1 : 0;
    const int left = std::min(0, slot->bitmap_left);
    const int advance = static_cast<int>((slot->advance.x + 32) >> 6);
    const int right = std::max(advance, slot->bitmap_left + static_cast<int>(bitmap.width));
    glyph.Code = code;
    glyph.Width = std::max(1, right - left) + 2 * margin;
    glyph.Coverage.assign(static_cast<size_t>(glyph.Width) * band, 0);
    for (unsigned row = 0; row < bitmap.rows; row++) {
        const int y = ascent - slot->bitmap_top + static_cast<int>(row);
        if (y < 0 || y >= band)
            continue;
        for (unsigned col = 0; col < bitmap.width; col++) {
            const int x = slot->bitmap_left - left + static_cast<int>(col) + margin;
            glyph.Coverage[static_cast<size_t>(y) * glyph.Width + x] = bitmap.buffer[row * bitmap.pitch + col];
        }
    }
    if (stroke) {
        glyph.Outline.assign(glyph.Coverage.size(), 0);
        for (int y = 0; y < band; y++)
            for (int x = 0; x < glyph.Width; x++) {
                uint8_t most = 0;
                for (int dy = -1; dy <= 1; dy++)
                    for (int dx = -1; dx <= 1; dx++) {
                        const int sx = x + dx, sy = y + dy;
                        if (sx >= 0 && sy >= 0 && sx < glyph.Width && sy < band)
                            most = std::max(most, glyph.Coverage[static_cast<size_t>(sy) * glyph.Width + sx]);
                    }
                glyph.Outline[static_cast<size_t>(y) * glyph.Width + x] = most;
            }
    }
    return true;
}

std::string Utf8(const std::u16string& text)
{
    return OS_WideToMultiByte(CP_UTF8, text);
}

bool WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool Bake(FT_Library library, const std::filesystem::path& install, const std::filesystem::path& dejavu,
          const TFontToBake& font)
{
    FT_Face face = nullptr;
    if (FT_New_Face(library, (dejavu / font.Face).string().c_str(), 0, &face) != 0) {
        std::fprintf(stderr, "fontbake: cannot open %s\n", (dejavu / font.Face).string().c_str());
        return false;
    }
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(font.Pixels));
    const int margin = font.Stroke ? 1 : 0;
    const int ascent = Ceil26(face->size->metrics.ascender) + margin;
    const int band = ascent + Ceil26(-face->size->metrics.descender) + margin;
    std::vector<TGlyph> glyphs;
    std::u16string charset;
    for (char16_t code : Charset()) {
        TGlyph glyph;
        if (RenderGlyph(face, code, ascent, band, font.Stroke, glyph)) {
            glyphs.push_back(std::move(glyph));
            charset += code;
        }
    }
    FT_Done_Face(face);

    int width = 1;
    for (const TGlyph& glyph : glyphs)
        width += glyph.Width + 1;
    std::vector<uint8_t> bgra(static_cast<size_t>(width) * band * 4, 0);
    int x0 = 1;
    for (const TGlyph& glyph : glyphs) {
        for (int y = 0; y < band; y++)
            for (int x = 0; x < glyph.Width; x++) {
                const size_t at = static_cast<size_t>(y) * glyph.Width + x;
                const uint8_t cover = glyph.Coverage[at];
                const uint8_t alpha = std::max<uint8_t>(1, font.Stroke ? glyph.Outline[at] : cover);
                // Stroked fonts: white inside, fading to black at the rim.
                const uint8_t grey = font.Stroke ? cover : 255;
                uint8_t* p = &bgra[(static_cast<size_t>(y) * width + x0 + x) * 4];
                p[0] = p[1] = p[2] = grey;
                p[3] = alpha;
            }
        x0 += glyph.Width + 1;
    }
    const std::string name = std::filesystem::path(font.File).filename().string();
    const std::vector<uint8_t> tga =
        TextureFiles::MakeTGA32(static_cast<uint16_t>(width), static_cast<uint16_t>(band), bgra);
    const std::string ini = "[Font]\r\nTexture=" + name + ".tga\r\nCharset=" + Utf8(charset) + "\r\n";
    return WriteFile(install / (std::string(font.File) + ".tga"), std::string(tga.begin(), tga.end())) &&
           WriteFile(install / (std::string(font.File) + ".ini"), ini);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: fontbake INSTALL_FOLDER DEJAVU_FOLDER\n");
        return 2;
    }
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "fontbake: FreeType did not start\n");
        return 1;
    }
    bool ok = true;
    for (const TFontToBake& font : Fonts)
        ok = Bake(library, argv[1], argv[2], font) && ok;
    FT_Done_FreeType(library);
    return ok ? 0 : 1;
}
