// World_Digest: one CRC-32 over the raw bytes of every world record and the
// clock, so two runs (or a game and its saved copy read back) can be
// compared with one number.
#pragma once

#include <cstdint>

// In this order: GameArmies, ArmyUnits, each army's ArmyItems 0..ItemCount,
// GameBuildings, ArmyMoves, ArmyTargets, GameEvents, the Diplomacy rows,
// PointStates, ScenarioVariables; then GameClock, GameSeed, RandomSeed,
// NextDayMark, NextHourMark and HourlyGoldSamples.
uint32_t WorldDigest();
