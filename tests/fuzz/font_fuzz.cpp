// Any bytes as a font: the input up to its first zero byte is the
// description ini, the rest its TGA image. Loading either stops with a
// refusal or gives a font whose glyphs lie inside its atlas; printing and
// measuring any text with it stay inside its tables.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/QX9_System_Ini.h"
#include "render/QX9_Render_Fonts.h"
#include "tests/fuzz/FuzzRender.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzFiles files("font-fuzz", ".ini");
    static const std::string image = ExtractPathStr(files.Input) + "Glyphs.tga";
    T3D_Render& render = FuzzRender();
    const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t iniSize = zero != nullptr ? static_cast<size_t>(zero - data) : size;
    const std::string ini =
        "[Font]\r\nTexture=Glyphs.tga\r\n" + std::string(reinterpret_cast<const char*>(data), iniSize);
    if (!FuzzWriteFile(files.Input, ini.data(), ini.size()))
        return 0;
    const size_t imageStart = zero != nullptr ? iniSize + 1 : size;
    if (!FuzzWriteFile(image, data + imageStart, size - imageStart))
        return 0;
    T3D_Font font(&render);
    const int32_t sprite = render.Sprite_Add(1, 1);
    FuzzRefuses([&] {
        font.Load(files.Input);
        for (const T3D_GlyphQuad& glyph : *font.Glyphs)
            for (const T3D_SpriteVertex& v : glyph)
                if (v.U < 0 || v.U > 1 || v.V < 0 || v.V > 1)
                    __builtin_trap();
        const std::u16string text = TIniFile::BytesToWide(ini);
        font.PrintTextWide(text, sprite, -1000, 0);
        font.PrintText(ini, sprite, 2, 0);
        int32_t width = 0, height = 0;
        font.MeasureText(text, width, height, -1000, true);
    });
    render.Sprite_Free(sprite);
    render.Texture_Free(font.Texture, 1);
    return 0;
}
