#include "model/ai/AIMain_Random.h"

#include "engine/QX9_System.h"
#include "model/FixedPoint.h"
#include "model/world/World_Tables.h"

namespace {

uint32_t U32(int64_t value)
{
    return static_cast<uint32_t>(value);
}

} // namespace

// The sums are unsigned: they wrap as the stored seed does.

void AI_SeedRandom(int32_t a, int32_t b, int32_t c)
{
    const int64_t period = GameClock / 360 / 10000; // six hours of game minutes x 10000
    SetRandomSeed(10000u * U32(period) + U32(GameSeed) + 100u * U32(a) + 10u * U32(b) + U32(c));
}

void SeedRandomFixed(int32_t a, int32_t b, int32_t c)
{
    SetRandomSeed(10000u * U32(a) + U32(GameSeed) + 100u * U32(b) + U32(c));
}

int32_t RandomBelow(int32_t n)
{
    return RandomInt(n);
}

int32_t RandomSpread(int32_t n)
{
    const int32_t first = RandomInt(n);
    return first - RandomInt(n);
}

double RandomFraction()
{
    return static_cast<double>(RoundHalfEven(static_cast<long double>(RandomFloat()) * 10000.0L));
}
