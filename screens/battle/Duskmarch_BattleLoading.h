// Duskmarch_BattleLoading: the window between the map and the battle. It
// picks the arena from the land around the player's army, builds both
// battle sides and the battle, loads the arena scene on a worker thread with
// a progress bar and then hands over to the battle window.
//
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "battle/Battle.h"

// 0 not started, 1 the loader runs, 3 the loader has finished, 4 the thread
// has been joined.
extern std::atomic<int32_t> ArenaLoaderState;

// The arena of the battle: the kind and tags of the player's cell, and the
// arena name (kept from the previous battle for kind 0 or above 15).
extern uint8_t BattleArenaKind;
extern uint16_t BattleArenaTags;
extern std::string BattleArenaName;

// The load measurement, bytes.
extern int32_t ArenaLoadStart;
extern int32_t ArenaLoadEstimate;
extern int32_t ModelLoadEstimate;
extern int32_t ArenaLoadDone;

// The player's army fights as battle side 1, the enemy as side 2.
extern int32_t PlayerBattleSide;
extern int32_t EnemyBattleSide;

inline constexpr int32_t BattleBarLength = 254;
inline constexpr int32_t BattleBarHeight = 14;
inline constexpr int32_t ModelBytesPerType = 2796640;
inline constexpr int32_t ModelBytesUnloaded = 299461; // more when the model is not yet loaded
inline constexpr int32_t ArenaUploadBudget = 10000000;

// The arena name of a kind; empty for kind 0 or above 15 (the name stays).
std::string BattleArenaNameOfKind(int32_t kind);
// Sets BattleArenaName from the kind by the rule above.
void ApplyBattleArenaKind(uint8_t kind, uint16_t tags);
// "_Night", "_Twilight", ... for a game clock (minutes x 10000); empty for
// a negative clock's minute.
std::string ArenaTimeSuffix(int64_t clock);
// The scene file of an arena at a clock: the time-of-day variant when such a
// file exists, else the plain file. Arenas whose name contains "Plain" lie in
// the "Plain" folder.
std::string GetArenaFileName(const std::string& name, int64_t clock);
// The words that select the arena's objects: the tag words, "island" for a
// lake, and "-collision" to leave the collision objects out.
std::string BattleArenaTagText(uint16_t tags, const std::string& arenaName);
// The bar's columns for the amount loaded; 0 (keep the last width) while
// nothing is loaded or nothing is expected; at most 254.
int32_t BattleLoadingBarWidth(int64_t done, int64_t arenaEstimate, int64_t modelEstimate);
// The model estimate of a battle: per distinct unit type of both sides
// ModelBytesPerType, and ModelBytesUnloaded more when typeLoaded says the
// type's arena model is not loaded yet.
int64_t BattleModelEstimate(const TBattle& battle, bool (*typeLoaded)(int32_t unitType));

// The measured amount of an arena ("Arenas" section of the game options),
// and storing it; both under the options lock.
int32_t ReadArenaLoadAmount(const std::string& arenaName);
void StoreArenaLoadAmount(const std::string& arenaName, int32_t amount);

// The battle of the player's army against BattleEnemyArmy: formations
// validated, sides built, CurrentBattle initialised for the arena kind and
// the light of the game clock, the player on side 1 of a shown battle; the
// arena kind from ChooseBattleArena at the player's army's cell.
void PrepareBattle(int32_t playerArmy, int32_t enemyArmy);
