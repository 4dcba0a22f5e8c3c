// Fonts: loading (glyph boxes, atlas packing), measuring, printing, and the
// font registry of T3D_Render.
#include "render/QX9_Render_Fonts.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/QX9_System_Ini.h"
#include "render/QX9_Render_Images.h"

int32_t FontAnsiCodePage = CP_1252;

namespace {

bool AlphaSet(const TImageBuffer& image, int32_t x, int32_t y)
{
    return image.Data[(static_cast<size_t>(y) * static_cast<size_t>(image.Width) + static_cast<size_t>(x)) * 4 + 3] !=
           0;
}

bool RowSet(const TImageBuffer& image, int32_t y)
{
    for (int32_t x = 0; x < image.Width; x++)
        if (AlphaSet(image, x, y))
            return true;
    return false;
}

// The row bottom a packing of the boxes into rows of the atlas's width ends
// at; -1 when they do not fit (a box wider than the atlas cannot be placed
// at all).
int32_t PackedBottom(const std::vector<TFontLayout::TBox>& boxes, int32_t lineHeight, int32_t size)
{
    int32_t pen = 0;
    int32_t bottom = lineHeight + 1;
    for (const TFontLayout::TBox& box : boxes) {
        if (box.Width > size)
            return -1;
        if (pen + box.Width + 1 < size) {
            pen += box.Width + 1;
        } else {
            pen = box.Width + 1;
            bottom += lineHeight + 1;
        }
        if (bottom >= size)
            return -1;
    }
    return bottom;
}

struct TImageGuard {
    TImageBuffer* Image = nullptr;
    ~TImageGuard() { FreeImageBuffer(Image); }
};

} // namespace

bool LayoutFont(const TImageBuffer& image, size_t charsetLength, TFontLayout& layout)
{
    layout = TFontLayout();
    if (image.BitsPerPixel == 32 && image.Data != nullptr && image.Width > 0) {
        int32_t top = 0;
        while (top < image.Height && !RowSet(image, top))
            top++;
        if (top < image.Height) {
            int32_t bottom = top;
            while (bottom + 1 < image.Height && RowSet(image, bottom + 1))
                bottom++;
            layout.Top = top;
            layout.LineHeight = bottom - top + 1;
            // A box may start at column 0; one still open at the last column
            // ends at the image's width.
            int32_t start = -1;
            for (int32_t x = 0; x <= image.Width; x++) {
                bool set = false;
                for (int32_t y = top; x < image.Width && y <= bottom && !set; y++)
                    set = AlphaSet(image, x, y);
                if (start < 0 && set) {
                    start = x;
                } else if (start >= 0 && !set) {
                    if (layout.Boxes.size() < charsetLength)
                        layout.Boxes.push_back({start, x - start, 0, 0});
                    start = -1;
                }
            }
        }
    }
    int64_t widths = 0;
    for (const TFontLayout::TBox& box : layout.Boxes)
        widths += box.Width;
    // No glyph at all: the space gets no width (rather than a division by 0).
    layout.AverageWidth =
        layout.Boxes.empty() ? 0 : static_cast<int32_t>(widths / static_cast<int64_t>(layout.Boxes.size()));

    int32_t bottom = 0;
    for (layout.AtlasSize = 32;; layout.AtlasSize *= 2) {
        if (layout.AtlasSize > FONT_MAX_ATLAS)
            return false;
        bottom = PackedBottom(layout.Boxes, layout.LineHeight, layout.AtlasSize);
        if (bottom >= 0)
            break;
    }
    const int32_t s = layout.AtlasSize;
    layout.AtlasHeight = s / 4 > bottom ? s / 4 : (s / 2 > bottom ? s / 2 : s);

    int32_t x = 0, y = 0;
    for (size_t i = 0; i < layout.Boxes.size(); i++) {
        TFontLayout::TBox& box = layout.Boxes[i];
        box.AtlasX = x;
        box.AtlasY = y;
        if (i + 1 < layout.Boxes.size()) {
            if (x + box.Width + 1 + layout.Boxes[i + 1].Width + 1 < s) {
                x += box.Width + 1;
            } else {
                x = 0;
                y += layout.LineHeight + 1;
            }
        }
    }
    return true;
}

T3D_Font::T3D_Font(T3D_Render* owner) : T3D_UniversalResource(owner)
{
    Advances = std::make_shared<TIntArray>();
    Glyphs = std::make_shared<std::vector<T3D_GlyphQuad>>();
}

void T3D_Font::Load(const std::string& fileName)
{
    TIniFile ini;
    ini.Load(fileName);
    ini.SelectSection("Font");
    const std::string imageFile = ExtractPathStr(fileName) + ini.ReadString("Texture", -1);
    const std::u16string charset = ini.ReadWideString("Charset", -1);
    char16_t largest = 0;
    for (char16_t c : charset)
        largest = std::max(largest, c);
    // Room for the space's advance even when the charset ends below it.
    const size_t entries = std::max<size_t>(static_cast<size_t>(largest) + 1, 33);
    auto advances = std::make_shared<TIntArray>(entries, 0);
    auto glyphs = std::make_shared<std::vector<T3D_GlyphQuad>>(entries);
    Spacing = 1;
    Color = 0xFFFFFFFF;

    TImageGuard image;
    int32_t format = 0;
    Load_TGA(imageFile, format, image.Image);
    TFontLayout layout;
    const TImageBuffer none;
    if (!LayoutFont(image.Image != nullptr ? *image.Image : none, charset.size(), layout))
        FatalError("T3D_Font.Load", fileName, "FONT TOO LARGE!");
    LineHeight = layout.LineHeight;

    const int32_t s = layout.AtlasSize, h = layout.AtlasHeight;
    Texture = Owner->Texture_Create(TEXTURE_DEFAULT, s, h, 1, D3DFMT_A8R8G8B8, 0);
    T3D_Texture* atlas = TextureAt(*Owner, Texture);
    TImageBuffer* pixels = CreateImageBuffer(s, h, 32);
    atlas->ImageLevels.push_back(pixels);
    for (size_t i = 0; i < layout.Boxes.size(); i++) {
        const TFontLayout::TBox& box = layout.Boxes[i];
        const size_t rowBytes = static_cast<size_t>(box.Width) * 4;
        for (int32_t row = 0; row < layout.LineHeight; row++)
            std::memcpy(ImageBufferPixel(pixels, box.AtlasX, box.AtlasY + row),
                        ImageBufferPixel(image.Image, box.X, layout.Top + row), rowBytes);
        const char16_t c = charset[i];
        (*advances)[c] = box.Width;
        const float w = static_cast<float>(box.Width), lh = static_cast<float>(LineHeight);
        const float uL = static_cast<float>(box.AtlasX) / static_cast<float>(s);
        const float uR = static_cast<float>(box.AtlasX + box.Width) / static_cast<float>(s);
        const float vT = static_cast<float>(box.AtlasY) / static_cast<float>(h);
        const float vB = static_cast<float>(box.AtlasY + LineHeight) / static_cast<float>(h);
        (*glyphs)[c] = {{{0, 0, 0, 1, uL, vT, 0xFFFFFFFF},
                         {w, 0, 0, 1, uR, vT, 0xFFFFFFFF},
                         {w, lh, 0, 1, uR, vB, 0xFFFFFFFF},
                         {0, lh, 0, 1, uL, vB, 0xFFFFFFFF}}};
    }
    atlas->Upload(0);
    (*advances)[32] = layout.AverageWidth;
    Advances = std::move(advances);
    Glyphs = std::move(glyphs);
    SplitResourceName(fileName, Folder, FileName);
}

int32_t T3D_Font::MeasureText(const std::u16string& text, int32_t& width, int32_t& height, int32_t spacing,
                              bool countSpaces) const
{
    height = LineHeight;
    width = 0;
    if (text.empty())
        return 0;
    const int32_t sp = spacing == -1000 ? Spacing : spacing;
    const TIntArray& advances = *Advances;
    int64_t sum = 0;
    int32_t spaces = 0;
    for (char16_t c : text) {
        if (c == u' ') {
            spaces++;
            if (countSpaces)
                sum += advances[32];
        } else if (c < advances.size()) {
            sum += advances[c];
        }
    }
    width = static_cast<int32_t>(sum + static_cast<int64_t>(sp) * (static_cast<int64_t>(text.size()) - spaces - 1));
    return spaces;
}

void T3D_Font::Print(const std::u16string& text, int32_t sprite, int32_t spacing, uint32_t colour, bool spaceQuads)
{
    T3D_Sprite* target = Owner->Sprite_Get(sprite);
    if (target == nullptr)
        return;
    target->Clear();
    target->SetStageTexture(Texture, 0, 1);
    const int32_t sp = spacing == -1000 ? Spacing : spacing;
    const uint32_t col = colour == 0 ? Color : colour;
    if (!spaceQuads && text.empty())
        return;
    const TIntArray& advances = *Advances;
    const std::vector<T3D_GlyphQuad>& glyphs = *Glyphs;
    const float lh = static_cast<float>(LineHeight);
    float pen = 0;
    for (char16_t c : text) {
        if (c == u' ') {
            const float w = static_cast<float>(advances[32]);
            if (spaceQuads)
                target->AddQuad(255, w, lh, pen, 0, 0, 0, 0, 0);
            pen += w;
        } else if (c < advances.size()) {
            const T3D_GlyphQuad& glyph = glyphs[c];
            target->AddQuad(255, static_cast<float>(advances[c]), lh, pen, 0, glyph[0].U, glyph[0].V, glyph[2].U,
                            glyph[2].V);
            pen += static_cast<float>(advances[c] + sp);
        }
    }
    for (T3D_SpriteVertex& v : target->Vertices)
        v.Color = col;
}

void T3D_Font::PrintText(const std::string& text, int32_t sprite, int32_t spacing, uint32_t colour)
{
    Print(OS_MultiByteToWide(FontAnsiCodePage, text), sprite, spacing, colour, true);
}

void T3D_Font::PrintTextWide(const std::u16string& text, int32_t sprite, int32_t spacing, uint32_t colour)
{
    Print(text, sprite, spacing, colour, false);
}

void T3D_Font::SetAlpha(int32_t alpha)
{
    Color = (Color & 0x00FFFFFFu) | (static_cast<uint32_t>(alpha & 0xFF) << 24);
}

void T3D_Font::SetColor(int32_t red, int32_t green, int32_t blue)
{
    Color = (Color & 0xFF000000u) | static_cast<uint32_t>(red & 0xFF) << 16 | static_cast<uint32_t>(green & 0xFF) << 8 |
            static_cast<uint32_t>(blue & 0xFF);
}

// ---------------------------------------------------------------------------
// The registry

int32_t T3D_Render::Font_Load(const std::string& fileName)
{
    std::string folder, name;
    SplitResourceName(fileName, folder, name);
    for (size_t i = 0; i < Fonts.size(); i++)
        if (Fonts[i]->FileName == name && Fonts[i]->Folder == folder)
            return static_cast<int32_t>(i);
    auto* font = new T3D_Font(this);
    font->SlotIndex = static_cast<int32_t>(Fonts.size());
    Fonts.push_back(font);
    font->Load(fileName);
    font->State = RESOURCE_ON_DEVICE;
    return font->SlotIndex;
}

int32_t T3D_Render::Font_Clone(int32_t index)
{
    const T3D_Font* source = Font_Get(index);
    if (source == nullptr)
        return -1;
    auto* font = new T3D_Font(this);
    font->Texture = source->Texture;
    font->Color = source->Color;
    font->Spacing = source->Spacing;
    font->LineHeight = source->LineHeight;
    font->State = source->State;
    font->Advances = source->Advances;
    font->Glyphs = source->Glyphs;
    font->SlotIndex = static_cast<int32_t>(Fonts.size());
    Fonts.push_back(font);
    return font->SlotIndex;
}

T3D_Font* T3D_Render::Font_Get(int32_t index) const
{
    if (index < 0 || static_cast<size_t>(index) >= Fonts.size())
        return nullptr;
    return Fonts[static_cast<size_t>(index)];
}
