// Reproducible random draws of the world: the engine's generator is reseeded
// from the game clock, the game's seed and a few numbers that name the case,
// so a saved game replays the same decisions.
#pragma once

#include <cstdint>

// RandomSeed := P x 10000 + GameSeed + 100 a + 10 b + c (32-bit, wrapping),
// with P the six-hour period of GameClock: the same case within one period
// draws the same numbers.
void AI_SeedRandom(int32_t a, int32_t b, int32_t c);
// RandomSeed := 10000 a + GameSeed + 100 b + c (32-bit, wrapping).
void SeedRandomFixed(int32_t a, int32_t b, int32_t c);

// 0 .. n - 1 (RandomInt).
int32_t RandomBelow(int32_t n);
// RandomInt(n) - RandomInt(n): two draws, -(n - 1) .. n - 1.
int32_t RandomSpread(int32_t n);
// RandomFloat as a fixed-point value: 0 .. 10000, a whole number.
double RandomFraction();
