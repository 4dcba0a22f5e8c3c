// The aftermath of a battle on the strategic map: the winner, the results
// and levels carried back into both armies, the experience the other
// computer armies catch up, the end of a beaten army or garrison, and the
// trophies, gold and pocket money the winner takes. The victory window
// shows BattleRewards as the aftermath left them.
#pragma once

#include <cstdint>
#include <vector>

#include "model/RangeArray.h"

class TBattle;

struct TBattleRewards {
    std::vector<uint16_t> Trophies;               // item numbers handed to the winner
    TRangeArray<int32_t, 1, 12> SlotExperience{}; // experience of each slot of the player's army
    int32_t TrophyGold = 0;
    uint8_t Outcome = 0; // how the loser ended: its Result, or 3 when the player ended the battle
};
extern TBattleRewards BattleRewards;

// Finishes the battle (TBattle.Finish) and applies it to the map;
// playerEnds is nonzero when the player ended the battle from the battle
// screen (a win of the player's side). Side 1's Result: 0 won, 1
// undecided, 2 retreated, 3 lost, 4 routed.
uint8_t AI_GetBattleResult(TBattle& battle, uint8_t playerEnds);
