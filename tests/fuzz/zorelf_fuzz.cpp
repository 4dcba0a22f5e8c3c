// Any bytes as an ELF file: the reader of program headers and symbol tables
// stays inside the bytes whatever the headers announce.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crashreport/diagnostics/zorMapFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto read = [data, size](uint64_t offset, void* dest, size_t count) {
        if (offset > size || count > size - offset)
            return false;
        std::memcpy(dest, data + offset, count);
        return true;
    };
    TElfFacts facts;
    ReadElfFacts(read, size, false, facts);
    if (ReadElfFacts(read, size, true, facts))
        for (const TElfSymbol& symbol : facts.symbols)
            if (symbol.name.empty() || symbol.name.size() > size)
                __builtin_trap();
    return 0;
}
