// Any bytes as a TGA file: the reader either refuses them or produces an
// image whose size matches its record, never reading past the data.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "render/QX9_Render_Images.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy of exactly the input's size, so any read past it is caught.
    std::vector<uint8_t> bytes(data, data + size);
    int32_t format = 0;
    TImageBuffer* image = nullptr;
    if (DecodeTGA(bytes.data(), bytes.size(), format, image) == TImageDecode::Ok) {
        const size_t pixels = static_cast<size_t>(image->Width) * image->Height * (image->BitsPerPixel / 8);
        volatile uint8_t sum = 0;
        for (size_t i = 0; i < pixels; i++)
            sum = sum + image->Data[i];
        FreeImageBuffer(image);
    } else if (image != nullptr) {
        __builtin_trap();
    }
    return 0;
}
