// BattleRun: headless battles of two armies described by a battle file,
// played by the computer on both sides, one line per seed and a digest of
// all lines.
//
// The battle file: [Battle] Arena 1..15, Light 1..12, Difficulty 1..4,
// Personalization 0..3 (0: none; else the level, and each seed draws the
// personal variations); [Assault] DefenceFire, AssaultB, AssaultC; [Side1]
// and [Side2] Name, Garrison (side 2 only), ExpPercent, AssaultA..C and per
// personage k = 1..15 "Unit<k>=type, levels 0..50, auto | row, column" with
// Items<k>, Potions<k>, Talents<k> and Stats<k>. Every value must fit the
// field it goes into; the first that doesn't refuses the whole file.
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
// false with the reason when the battle file can't be used, and then no
// battle has been run.
bool RunBattles(const TBattleRunOptions& options, std::string& error);
