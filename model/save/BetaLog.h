// BetaLog: the telemetry log of how the game is played. One memory buffer
// lives for the whole run: loaded from the per-user log file at start-up,
// appended to by the screens (one small writer per record shape), copied
// into every saved game and written back packed at the program's end.
// Nothing in the program reads the records back.
//
// A record is a u16 size (all its bytes, these two included), a u8 kind and
// its payload, little-endian and packed. Text fields are 8-bit text and a
// nul byte. Game minutes are GameClock / 10000 rounded to the nearest
// integer, halves to even.
#pragma once

#include <cstdint>
#include <string>

#include "engine/QX9_System_ZipFile.h"

constexpr uint32_t BetaLogCapacity = 20971520; // room opened at start-up: 20 MB
constexpr uint8_t BetaLogCloseMode = 57;       // packed, bzip2 level 1, one block
constexpr char BetaLogFileTitle[] = "Duskmarch_beta.dat";

// The sizes of the two nested shapes.
constexpr uint16_t BetaLogPersonageSize = 91; // size 2, kind 1, 22 i32
constexpr uint16_t BetaLogArmyHeadSize = 15;  // size, kind, n, m, Gold

// Record kinds.
enum TBetaLogKind : uint8_t {
    blkPersonage = 1,
    blkArmy = 2,
    blkArmyStats = 10,
    blkWindowOpen = 11,
    blkWindowClose = 12,
    blkWindowState = 13,
    blkCamera = 17,
    blkScenarioStart = 18,
    blkSave = 20,
    blkEvent = 24,
    blkBattleStart = 25,
    blkBattleEnd = 32,
    blkTentClose = 34,
    blkItemTake = 35,  // item action 0 outside the building window (+4 inside it)
    blkItemDrop = 36,  // action 1
    blkItemOther = 37, // action 5
    blkBuildingClose = 38,
    blkItemStar = 42,    // action 4 ("*")
    blkItemPlus = 43,    // action 3 ("+")
    blkItemAction2 = 47, // action 2: a kind of its own, no other record uses it
    blkHire = 44,
    blkCampPersonage = 45,
    blkPanelPersonage = 46,
    blkPartyPersonage = 48,
    blkSettings = 49, // the character "1"
};

// The window name during which item actions take the building kinds.
constexpr char BuildingWindowName[] = "Building_Window";

// The log (the buffer, its size and the write position).
extern TZipFile BetaLog;
// The log file: the local application data folder + "\Duskmarch\" + the
// title above.
std::string BetaLogFileName();

// Loads the log file (a missing or unreadable one starts an empty log) with
// room for the capacity; new records follow the old ones. A damaged tail (a
// record running past the end, or a size below 3) is cut off, and when the
// content exceeds the capacity whole records are dropped from its front
// until it fits. An empty name opens the per-user file.
void BetaLogOpen(const std::string& fileName = "", uint32_t capacity = BetaLogCapacity);
// Writes the log back packed and frees it. False when the file could not be
// written (the previous one then stays whole); true when nothing was opened.
bool BetaLogSave();
// Empties the log without writing it (the program's tools and tests).
void BetaLogReset();

// Seconds on a calendar of twelve 32-day months counted from 1980: the local
// date and time now, or the given fields (month and day from 1).
int32_t BetaLogTimestamp();
int32_t BetaLogTimestampOf(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second);
// GameClock in whole minutes, halves to even.
int32_t BetaLogGameMinutes();

// The user's name that the start-up keeps for save names (a save whose name
// holds it is of save kind 2).
extern std::u16string SaveUserName;
// Save kind of a save name: 0 "(quicksave)", 1 "(autosave)", 2 the user's
// name, 3 otherwise; tested in this order.
uint8_t BetaLogSaveKind(const std::u16string& saveName);

// ---------------------------------------------------------------------------
// Writers

// Kinds 2, 32, 34, 38: the army dump of army a; nothing for an army the
// tables don't hold.
void BetaLogWriteArmy(int32_t army, uint8_t kind);
// The 91-byte personage record of the slot (taken as its absolute value);
// with measure set nothing is written. Returns 91, or 0 for a slot or army
// the tables don't hold.
int32_t BetaLogWritePersonage(int32_t army, int32_t slot, bool measure);
// Kind 10: gold, support limit and the daily balance of the army.
void BetaLogWriteArmyStats(int32_t army);
// Kind 17 (or the given kind): three camera values.
void BetaLogWriteCamera(uint8_t kind, float a, float b, float c);
// Kind 18: the scenario just loaded.
void BetaLogWriteScenarioStart();
// Kind 20 and the player's army dump.
void BetaLogWriteSave(const std::u16string& saveName, uint8_t flag);
// Kind 24, then kinds 10 and 2 of the player's army.
void BetaLogWriteEvent(int32_t event, uint8_t flag);
// Kind 25, then the dumps of both armies.
void BetaLogWriteBattleStart(int32_t army1, int32_t army2, uint8_t arenaKind);
// Kinds 28, 29, 30, 52: an army and two values.
void BetaLogWriteArmyEvent(int32_t army, int32_t value1, uint8_t kind, int32_t value2);
void BetaLogWriteBattleEvent(int32_t value1, uint8_t kind, int32_t value2);
// The player's army dump at the end of a battle, when the camp closes and
// when the building window closes.
void BetaLogWriteBattleEnd();
void BetaLogWriteTentClose();
void BetaLogWriteBuildingClose();
// Kinds 11 (opens), 12 (closes), 13 (another state) with the window's name.
void BetaLogWriteWindowEvent(const std::string& window, int32_t state);
// An item action 0..5; other actions write nothing.
void BetaLogWriteItem(int32_t item, int32_t action);
// Kinds 44, 45, 46, 48: the army, the unit type in the slot and a value.
void BetaLogWritePersonageEvent(int32_t army, int32_t slot, int32_t value, uint8_t kind);
void BetaLogWritePlayerPersonageEvent(int32_t slot, int32_t value, uint8_t kind);
// Kind 49: the difficulty setting and the two volumes.
void BetaLogWriteSettings(int32_t difficulty, int32_t musicVolume, int32_t effectsVolume);
