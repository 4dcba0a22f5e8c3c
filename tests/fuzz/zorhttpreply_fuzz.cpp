// Any bytes as an HTTP reply: the parser answers complete, incomplete or
// damaged, and a complete reply never claims more bytes than it was given.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/delivery/zorHttp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string raw(reinterpret_cast<const char*>(data), size);
    for (bool closed : {false, true}) {
        THttpResponse response;
        size_t consumed = 0;
        const int32_t state = ParseHttpResponse(raw, closed, response, consumed);
        if (state < -1 || state > 1)
            __builtin_trap();
        if (state == 1 && (consumed > raw.size() || response.Body.size() > raw.size()))
            __builtin_trap();
    }
    return 0;
}
