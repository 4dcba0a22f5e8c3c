#include "model/AIMain_Random.h"

#include <mutex>

#include "engine/QX9_System.h"
#include "model/World_Tables.h"

void SeedRandomFixed(int32_t a, int32_t b, int32_t c)
{
    // Unsigned arithmetic: the sum wraps as the stored seed does.
    const uint32_t seed = 10000u * static_cast<uint32_t>(a) + static_cast<uint32_t>(GameSeed) +
                          100u * static_cast<uint32_t>(b) + static_cast<uint32_t>(c);
    std::lock_guard<TCriticalSection> guard(ClockLock);
    RandomSeed = seed;
}
