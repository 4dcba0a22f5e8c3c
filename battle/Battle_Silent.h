// The silent battle of the strategic AI's estimates: two armies (or an army
// and a garrison it would assault) played out by the battle engine without
// touching the map.
#pragma once

#include <cstdint>

#include "battle/BattleSide.h"

// A silent battle of attacker against defender (the garrison army when
// building is above 0, an assault of that building), played by the battle
// engine; both sides come back finished. The assault in progress is kept.
void RunSilentBattle(int32_t attacker, int32_t defender, int32_t building, TBattleSide& attackerSide,
                     TBattleSide& defenderSide);
