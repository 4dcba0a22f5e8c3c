// BattleRun: headless battles of two armies described by a battle file,
// played by the computer on both sides, one line per seed and a digest of
// all lines.
#pragma once

#include <cstdint>
#include <string>

struct TBattleRunOptions {
    std::string BattleFile;
    int32_t FirstSeed = 1;
    int32_t LastSeed = 1;
    bool Player1 = false; // side 1 is the player's army, the battle driven turn by turn
};

// The installation's tables and settings must be loaded. Prints to stdout;
// false with the reason when the battle file can't be used.
bool RunBattles(const TBattleRunOptions& options, std::string& error);
