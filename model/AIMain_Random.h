// Reproducible random draws of the world: the engine's generator is reseeded
// from the game's seed and a few numbers that name the case, so a saved game
// replays the same decisions.
#pragma once

#include <cstdint>

// RandomSeed := 10000 a + GameSeed + 100 b + c (32-bit, wrapping).
void SeedRandomFixed(int32_t a, int32_t b, int32_t c);
