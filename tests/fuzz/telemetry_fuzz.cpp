// Any bytes as the telemetry log file: the open keeps whole records only,
// within the capacity, and a record written afterwards follows them. The
// first byte chooses a small capacity, so that dropping old records is
// exercised without a 20 MB buffer per input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "model/save/BetaLog.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string file = FuzzProgramFolder("telemetry-fuzz") + "Log.dat";
    if (size == 0 || !FuzzWriteFile(file, data + 1, size - 1))
        return 0;
    const uint32_t capacity = 16 + uint32_t{data[0]} * 64;
    BetaLogOpen(file, capacity);
    const uint32_t opened = BetaLog.Size;
    FuzzCheck(opened <= capacity && BetaLog.Position == opened && BetaLog.Capacity >= capacity);
    // The content is a chain of whole records.
    uint32_t at = 0;
    while (at < opened) {
        uint16_t length;
        FuzzCheck(opened - at >= 3);
        std::memcpy(&length, BetaLog.Data.data() + at, 2);
        FuzzCheck(length >= 3 && length <= opened - at);
        at += length;
    }
    BetaLogWriteSettings(1, 2, 3);
    FuzzCheck(BetaLog.Size == opened + 17 && BetaLog.Data[opened + 2] == '1');
    BetaLogReset();
    return 0;
}
