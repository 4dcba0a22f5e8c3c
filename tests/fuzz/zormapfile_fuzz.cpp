// Any bytes as packed debug information, read twice: as a whole ".zor" file,
// and as the decompressed stream inside one (so the stream reader sees the
// bytes themselves, not what deciphering made of them). Reading never
// crashes, never trusts a count, and the look-ups afterwards stay inside the
// lists.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/diagnostics/zorMapFile.h"

namespace {

void LookUps(const TMapFile& map, const uint8_t* data, size_t size)
{
    for (size_t i = 0; i + 4 <= size && i < 64; i += 4) {
        const uintptr_t address = map.baseOfCode + (static_cast<uintptr_t>(data[i]) | data[i + 1] << 8 |
                                                    static_cast<uintptr_t>(data[i + 2]) << 16);
        const TMfPublic& symbol = map.PublicAt(address);
        if (symbol.valid && symbol.address > address)
            __builtin_trap();
        uintptr_t next = 0;
        map.LineAt(address, &next);
        DebugNameIn(map, address);
    }
    map.AddressOfName(true, u"unit", false, u"name");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    TMapFile whole;
    whole.baseOfCode = 0x10000000;
    whole.topOfCode = 0x20000000;
    if (whole.ReadPackedData(bytes)) {
        whole.SortLines();
        LookUps(whole, data, size);
    }
    TMapFile stream;
    stream.baseOfCode = 0x10000000;
    if (stream.ReadPackedData(PackDebugStream(bytes, false, 0, 0))) {
        stream.SortLines();
        LookUps(stream, data, size);
    }
    return 0;
}
