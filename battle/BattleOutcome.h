// What a finished battle leaves on the armies: the battle copies' experience,
// belt potions, wounds and health carried back into the army personages;
// the lists of items that may change hands; and whether the player sees an
// army on the map.
#pragma once

#include <cstdint>
#include <vector>

#include "battle/BattleSide.h"

// One distinct item of a trophy list. Entry 0 of a list holds the averages
// over the non-potion copies (Value, Worth) and their number (Count).
struct TTrophyEntry {
    int32_t Item = 0;
    int32_t Value = 0;    // the item's Cost
    int32_t Worth = 0;    // Value x 3 for amulets and rings, x 2 for potions
    int32_t Count = 0;    // copies found
    int32_t Priority = 0; // set by the aftermath's division
};

using TTrophyList = std::vector<TTrophyEntry>;

// Carries the battle copies of a side back into its army and recounts it.
// Slots the side names outside the army are passed over.
void ApplyBattleOutcome(const TBattleSide& side);
// Counts one more copy of an item in a list being built (entry 0 is kept
// apart); a new item is appended.
void AddTrophyItem(int32_t item, TTrophyList& list);
// The side army's carried items and the equipment of its personages (only
// of those that left the field, fell or were killed, with onlyFallen),
// ordered by Value, ascending, with the averages in entry 0.
TTrophyList BuildTrophyList(const TBattleSide& side, bool onlyFallen);
// Active, not hidden, out of buildings and within ArmyVisibility cells of
// the player's army.
bool IsArmyVisibleToPlayer(int32_t army);
