// The arena of a battle and its light: which of the fifteen arena kinds the
// land around a map cell calls for, with the scenery tags the arena scene
// shows, and the time-of-day class of the battle from the game clock.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct TArenaChoice {
    uint8_t ArenaKind;  // 0 none, 1..15
    uint16_t ArenaTags; // bit n: TArenaTag n
};
#pragma pack(pop)
static_assert(sizeof(TArenaChoice) == 3);

enum TArenaTag : uint8_t {
    atRoad = 0,
    atTown = 1,
    atCastle = 2,
    atVillage = 3,
    atMill = 4,
    atHouse = 5,
    atTavern = 6,
    atRuins = 7,
    atRuinC = 8,
    atRuinT = 9,
    atChurch = 10,
    atBridge = 11,
    atKogg = 12,
    atGalere = 13,
    atIsland = 14,
    atForest = 15,
};
constexpr int ArenaTagCount = 16;
extern const char* const ArenaTagNames[ArenaTagCount];

constexpr int ArenaKindCount = 15;
// The arena scene of kinds 1..15 (entry 0 empty).
extern const char* const ArenaSceneNames[ArenaKindCount + 1];

// The arena of map cell (x, z); kind 0 within 10 cells of the map's edge.
TArenaChoice ChooseBattleArena(int32_t x, int32_t z);
// The time-of-day class of a battle: base + 7 at night (0..5, 21..23 h),
// + 10 in the morning (6..8 h), + 1 by day (9..17 h), + 4 in the evening.
uint8_t GetBattleLightVariant(uint8_t base, int64_t clock);
