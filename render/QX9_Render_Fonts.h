// Bitmap fonts. A font is a small ini file (section "Font": "Texture", the
// TGA image with all glyphs side by side on a transparent background, and
// "Charset", the characters in image order) read into an atlas texture and,
// per character code, an advance width and a quad with the glyph's texture
// rectangle. Printing turns a text into the quads of one sprite, so a whole
// line is one draw.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/QX9_System.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_Textures.h"

// The code page ansi texts are printed in: the one of the game's language
// (the game sets it when the language is chosen).
extern int32_t FontAnsiCodePage;

using T3D_GlyphQuad = std::array<T3D_SpriteVertex, 4>;

// Where the glyphs of an image lie and where they go in the atlas.
struct TFontLayout {
    struct TBox {
        int32_t X = 0; // in the image
        int32_t Width = 0;
        int32_t AtlasX = 0;
        int32_t AtlasY = 0;
    };
    std::vector<TBox> Boxes; // in charset order, at most one per character
    int32_t Top = 0;         // the glyph band's first row in the image
    int32_t LineHeight = 0;
    int32_t AverageWidth = 0;
    int32_t AtlasSize = 32; // the atlas's width (a power of two)
    int32_t AtlasHeight = 8;
};

// The largest atlas side a font may need.
inline constexpr int32_t FONT_MAX_ATLAS = 4096;

// Scans a 32-bit image (alpha in the top byte of each pixel) for its glyph
// boxes and packs them. False when the atlas would exceed FONT_MAX_ATLAS.
// An image of another depth has no glyphs.
bool LayoutFont(const TImageBuffer& image, size_t charsetLength, TFontLayout& layout);

class T3D_Font : public T3D_UniversalResource {
public:
    explicit T3D_Font(T3D_Render* owner);

    void Load(const std::string& fileName);
    // Returns the number of spaces; spacing -1000 is the font's.
    int32_t MeasureText(const std::u16string& text, int32_t& width, int32_t& height, int32_t spacing,
                        bool countSpaces) const;
    // Spacing -1000 is the font's, colour 0 the font's colour.
    void PrintText(const std::string& text, int32_t sprite, int32_t spacing, uint32_t colour);
    void PrintTextWide(const std::u16string& text, int32_t sprite, int32_t spacing, uint32_t colour);
    void SetAlpha(int32_t alpha);
    void SetColor(int32_t red, int32_t green, int32_t blue);

    int32_t Texture = -1;
    uint32_t Color = 0xFFFFFFFF;
    int32_t Spacing = 1;
    int32_t LineHeight = 0;
    // Indexed by character code; shared with the font's clones.
    std::shared_ptr<TIntArray> Advances;
    std::shared_ptr<std::vector<T3D_GlyphQuad>> Glyphs;

private:
    void Print(const std::u16string& text, int32_t sprite, int32_t spacing, uint32_t colour, bool spaceQuads);
};
