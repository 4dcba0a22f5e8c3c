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
#include <vector>

#include "battle/Battle.h"

struct TBattleRunOptions {
    std::string BattleFile;
    int32_t FirstSeed = 1;
    int32_t LastSeed = 1;
    bool Player1 = false; // side 1 is the player's army, the battle driven turn by turn
    // With Player1: the player's decisions in turn, one TBattleDecision a
    // line as the hex of its bytes; past the last, and without a file, the
    // engine's own suggestion.
    std::string DecisionsFile;
};

// What a battle file gives beside the two sides.
struct TPreparedBattle {
    uint8_t Arena = 1;
    uint8_t Light = 1;
    int32_t PlayerArmy = 0; // the world army of side 1
    int32_t EnemyArmy = 0;  // of side 2
};

// Reads and checks the battle file, builds its small world (the armies of
// both sides, for the seed) and the two battle sides, ready for TBattle.Init
// with the arena and light it names. The screens' tests call it as the
// tool does.
bool LoadBattleFile(const std::string& file, int32_t seed, bool player1, TBattleSide& side1, TBattleSide& side2,
                    TPreparedBattle& prepared, std::string& error);
// The decisions file of --decisions; false with the line at fault.
bool ReadDecisionsFile(const std::string& file, std::vector<TBattleDecision>& decisions, std::string& error);

// The installation's tables and settings must be loaded. Prints to stdout;
// false with the reason when the battle file can't be used, and then no
// battle has been run.
bool RunBattles(const TBattleRunOptions& options, std::string& error);
