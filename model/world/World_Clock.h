// The game clock: each map frame advances it by the elapsed game minutes
// (x 10000); every full hour runs the hourly work (healing, experience of
// computer forces, the player's gold sample, the pressure of strongholds on
// their neighbours) and every 09:00 the daily work and the restocking.
#pragma once

#include <cstdint>
#include <string>

// Steps longer than this (15 minutes) after the first are taken as the
// previous step: a stalled frame does not jump the world ahead.
constexpr int64_t MaxClockStep = 150000;

// Advances GameClock by step, writing back the step taken; true when the
// daily work ran.
bool AdvanceGameClock(int64_t& step);
// The time-of-day class 0..7 of an hour: 0 for 6-8, 1 for 9-11 ... 5 for
// 21-23, 6 for 0-2, 7 for 3-5; 5..7 are night.
uint8_t GetDayPeriod(int32_t hour);
void HourlyWork();
// Strongholds whose garrisons press on a hostile neighbour long enough take it.
void ApplyStrongholdPressure();
// "dd.mm.yyyy hh:mm" of a clock value (0: the current clock), in 360-day
// years of 30-day months from the year 1000.
std::string FormatGameDate(int64_t clock);
