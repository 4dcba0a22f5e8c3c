// Any bytes as Base64 text: decoding gives at most three bytes per four
// characters, and what it gives encodes and decodes back to itself; any
// bytes encode and decode back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/diagnostics/zorCrypt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string decoded = Base64DecodeStr(input);
    if (decoded.size() > size / 4 * 3)
        __builtin_trap();
    const std::string encoded = Base64EncodeStr(decoded);
    if (encoded.size() != (decoded.size() + 2) / 3 * 4 || Base64DecodeStr(encoded) != decoded)
        __builtin_trap();
    if (Base64DecodeStr(Base64EncodeStr(input)) != input)
        __builtin_trap();
    return 0;
}
