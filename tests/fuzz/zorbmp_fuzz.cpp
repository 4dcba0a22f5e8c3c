// Any bytes as the BMP file of an edited screenshot: a picture that loads
// has its pixels whole, writes as a BMP that loads back to the same pixels,
// and scales and packs as a PNG as the report does with it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/diagnostics/zorBitmap.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string folder = FuzzRealFolder("zorbmp-fuzz");
    static const std::u16string input = Utf8ToWide(folder + "screenShot.bmp");
    static const std::u16string again = Utf8ToWide(folder + "again.bmp");
    if (!FuzzWriteRealFile(folder + "screenShot.bmp", data, size))
        return 0;
    const std::shared_ptr<INVBitmap> bitmap = LoadBitmapFile(input);
    if (!bitmap)
        return 0;
    const int64_t width = bitmap->PixelWidth(), height = bitmap->PixelHeight();
    FuzzCheck(width > 0 && height > 0 && bitmap->PixelBytes().size() == static_cast<size_t>(width * height * 4));
    FuzzCheck(bitmap->WriteBmpFile(again));
    const std::shared_ptr<INVBitmap> reloaded = LoadBitmapFile(again);
    FuzzCheck(reloaded && reloaded->PixelWidth() == width && reloaded->PixelHeight() == height);
    for (size_t i = 0; i < bitmap->PixelBytes().size(); i += 4)
        FuzzCheck(reloaded->PixelBytes()[i] == bitmap->PixelBytes()[i] &&
                  reloaded->PixelBytes()[i + 1] == bitmap->PixelBytes()[i + 1] &&
                  reloaded->PixelBytes()[i + 2] == bitmap->PixelBytes()[i + 2]);
    // The preview and the report's picture; a large one only once in a while.
    if (width * height <= 64 * 64) {
        const std::shared_ptr<INVBitmap> preview = bitmap->ScaledCopy(40, 30);
        FuzzCheck(preview == nullptr || (preview->PixelWidth() <= 40 && preview->PixelHeight() <= 30));
        for (int32_t mode = 0; mode <= 5; ++mode)
            FuzzCheck(bitmap->PngImage(mode).compare(0, 8, "\x89PNG\r\n\x1a\n") == 0);
    }
    return 0;
}
