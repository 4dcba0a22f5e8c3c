// Any bytes as a DDS file: the reader either refuses them or produces levels
// whose records match their data, never reading past the input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/QX9_Render_Images.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    int32_t format = 0, width = 0, height = 0;
    std::vector<TImageBuffer*> levels;
    if (DecodeDDS(bytes.data(), bytes.size(), format, levels, width, height) == TImageDecode::Ok) {
        size_t total = 0;
        for (TImageBuffer* level : levels) {
            const size_t n = static_cast<size_t>(level->Width) * level->Height;
            volatile uint8_t sum = 0;
            for (size_t i = 0; i < n; i++)
                sum = sum + level->Data[i];
            total += n;
        }
        if (levels.empty() || total + 128 > size)
            __builtin_trap();
        FreeImageLevels(levels);
    } else if (!levels.empty()) {
        __builtin_trap();
    }
    return 0;
}
