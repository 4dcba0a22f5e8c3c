// The battle rule settings: process-wide, read from section "DefaultRules"
// of "Options_AI.ini" at every battle set-up, so a changed file takes effect
// at the next battle.
#pragma once

#include <cstdint>

#include "model/RangeArray.h"

extern bool UseRetreat;                          // the computer's decision may retreat
extern bool FriendlyFear;                        // fear spreads to own personages
extern int32_t BattleEndTurn;                    // round at which a battle ends undecided
extern int32_t MinDamage;                        // smallest damage of a hit
extern int32_t MinManaCost;                      // smallest mana cost of a spell
extern TRangeArray<int64_t, 1, 6> ExpCorrection; // x 10000; entry 2 limits the aftermath's experience scaling
extern int64_t BadWound;                         // x 10000, stored negated; kept, unused by the rules
extern bool AnimationWait;                       // options screen: stay busy until each attack or spell event ends

// The built-in values (no settings file).
void ResetBattleRules();
// Built-in values, then the file's "DefaultRules" when the file exists;
// missing keys give the reader's defaults.
void LoadBattleRules();
