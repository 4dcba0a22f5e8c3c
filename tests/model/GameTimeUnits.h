// The game clock's units: a minute is 10,000 ticks.
#pragma once

#include <cstdint>

inline constexpr int64_t Minute = 10000;
inline constexpr int64_t Hour = 60 * Minute;
inline constexpr int64_t Day = 24 * Hour;
