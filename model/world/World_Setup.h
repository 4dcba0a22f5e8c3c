// World_Setup: prepares the world tables for play, once per new game or
// loaded save. A new game sizes the tables, schedules the story events,
// draws the seed, starts the clock at the scenario's start minute and
// builds every army, building and garrison from the scenario records; after
// a saved game was read into the tables only what the save does not hold is
// rebuilt. Either way the map-point barriers are applied and the first
// routes planned.
#pragma once

#include <cstdint>

// Date requirements of sub-kinds other than 0 and 1 are scheduled here: never.
constexpr int64_t NeverScheduled = 1000000000000;

// fromSave: the saved-game reader has filled the tables; seed above 0 is
// taken as GameSeed of a new game.
void InitWorld(bool fromSave, int32_t seed);
// State and garrison of building b from its scenario record (new game only).
void InitBuildingState(int32_t building);
// Appends the building to the home list of each behaviour d 0..14 whose bit
// d is set in behaviours.
void AddHomeBuilding(int32_t building, uint16_t behaviours);
// The three days of income a new treasury scenario runs before its first
// frame; what they stored is divided by four and the treasuries start over.
void PreRunTreasuryDays();
