// Any bytes as a checked packed text (length, CRC, raw deflate stream): the
// result is empty or exactly the announced bytes with the announced CRC, and
// a plain inflate into a small buffer never writes past it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/diagnostics/zorZip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string packed(reinterpret_cast<const char*>(data), size);
    const std::string text = InflateChecked(packed);
    if (!text.empty()) {
        const uint32_t announced = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                                   static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
        const uint32_t crc = static_cast<uint32_t>(data[8]) | static_cast<uint32_t>(data[9]) << 8 |
                             static_cast<uint32_t>(data[10]) << 16 | static_cast<uint32_t>(data[11]) << 24;
        if (text.size() > announced || text.size() > InflateCheckedMaxLength ||
            ~ZipCrc32Update(0xFFFFFFFFu, text.data(), text.size()) != crc)
            __builtin_trap();
    }
    uint8_t small[64];
    const int32_t written = InflateBuffer(data, small, static_cast<int32_t>(size), sizeof(small));
    if (written > static_cast<int32_t>(sizeof(small)))
        __builtin_trap();
    return 0;
}
