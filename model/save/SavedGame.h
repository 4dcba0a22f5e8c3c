// SavedGame: the saved game file, a data container (TDatFile) holding the
// whole strategic world: a fixed head, the scenario's name and folder, every
// world table as raw records, optional pictures, the tutorials' progress and
// the telemetry log. Writing builds the container on the caller's thread and
// hands the file to a background writer; loading reads a save back into the
// world tables, loading its scenario map first when it is another one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_System_DatFile.h"
#include "model/ShortString.h"
#include "model/world/World_Tables.h"

constexpr int32_t SaveVersion = 4;
constexpr int32_t SaveNameUnits = 63;    // UTF-16 code units of the save and hero names
constexpr int32_t SaveMapViewWords = 13; // the map scene's view block
constexpr uint8_t SaveWriteMode = 48;    // bzip2 level 1

#pragma pack(push, 1)
// A name of up to 63 UTF-16 code units and the count of those used.
struct TSaveName {
    char16_t Units[SaveNameUnits];
    uint16_t Count;
};
static_assert(sizeof(TSaveName) == 128);

// The head of a saved game, the only element of "GameHead"; bytes not named
// are reserved and 0.
struct TSaveHead {
    int32_t Version;                   // 0
    int32_t SaveStamp;                 // 4: the scenario's TMapInit SaveStamp
    int64_t GameClock;                 // 8
    int32_t GameStartDate;             // 16
    int32_t HeroKind;                  // 20
    int32_t Gold;                      // 24: the player's army's
    int32_t Reserved28;                // 28
    int32_t PersonageCount;            // 32: the player's army's
    int32_t MapView[SaveMapViewWords]; // 36
    float GameSpeed;                   // 88
    ShortString<64> LastScenarioName;  // 92: base name of the scenario file
    uint8_t Reserved157;               // 157
    TSaveName SaveName;                // 158
    TSaveName HeroName;                // 286
    uint8_t Reserved414[2];            // 414
    int32_t GameSeed;                  // 416
    int32_t SaveMark;                  // 420: the scenario header's SaveMark
    int32_t DayBattleCount;            // 424
    ShortString<64> StartSaveName;     // 428: base name of the start save
    uint8_t Reserved493[3];            // 493
    int32_t GameDifficulty;            // 496
    int32_t HourlyGoldSamples[24];     // 500
    uint8_t Reserved596[8];            // 596
    uint8_t PersonalizationEnabled;    // 604
    uint8_t Reserved605[3];            // 605
    uint8_t Reserved608[8];            // 608
};
#pragma pack(pop)
static_assert(sizeof(TSaveHead) == 616);
static_assert(offsetof(TSaveHead, SaveStamp) == 4);
static_assert(offsetof(TSaveHead, GameClock) == 8);
static_assert(offsetof(TSaveHead, GameStartDate) == 16);
static_assert(offsetof(TSaveHead, HeroKind) == 20);
static_assert(offsetof(TSaveHead, Gold) == 24);
static_assert(offsetof(TSaveHead, PersonageCount) == 32);
static_assert(offsetof(TSaveHead, MapView) == 36);
static_assert(offsetof(TSaveHead, GameSpeed) == 88);
static_assert(offsetof(TSaveHead, LastScenarioName) == 92);
static_assert(offsetof(TSaveHead, SaveName) == 158);
static_assert(offsetof(TSaveHead, SaveName) + offsetof(TSaveName, Count) == 284);
static_assert(offsetof(TSaveHead, HeroName) == 286);
static_assert(offsetof(TSaveHead, HeroName) + offsetof(TSaveName, Count) == 412);
static_assert(offsetof(TSaveHead, GameSeed) == 416);
static_assert(offsetof(TSaveHead, SaveMark) == 420);
static_assert(offsetof(TSaveHead, DayBattleCount) == 424);
static_assert(offsetof(TSaveHead, StartSaveName) == 428);
static_assert(offsetof(TSaveHead, GameDifficulty) == 496);
static_assert(offsetof(TSaveHead, HourlyGoldSamples) == 500);
static_assert(offsetof(TSaveHead, PersonalizationEnabled) == 604);

// A tutorial page of "tutorials.ini": consecutive entries with the same UID
// and window are the pages of one tutorial. Saves of tutorial scenarios keep
// each entry's Shown byte, in the file's order.
struct tTutorialsList {
    int32_t UID = 0;     // a story event names its tutorial by this id
    std::string Window;  // the window it belongs to, such as "Battle_Window"
    std::string Image;   // the picture's file name below the tutorials folder
    uint8_t Shown = 0;   // shown in this game
};

// A picture handed to the save: its pixels, width x height x (bpp div 8) bytes.
struct TSavePicture {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    const uint8_t* Pixels = nullptr;
};

// ---------------------------------------------------------------------------
// State the saves carry besides the world tables

extern std::u16string HeroName;    // the hero's name as the player typed it
extern float GameSpeed;            // the strategic clock speed, 0.5 to 4
extern std::string StartSaveName;  // base name of the start save of the game
extern std::string ScenarioFolder; // folder below the program folder whose "Scenarios\" holds the scenario
extern std::vector<tTutorialsList> TutorialsList; // the tutorial pages and their shown flags
constexpr char StartSaveExtension[] = ".startscenario";

// The save writer: 0 idle, 1 writing, 2 its handle being closed, 3 written
// (the thread has ended, its handle not yet closed).
extern std::atomic<int32_t> SaveWriterState;
// Test runs write each save on the caller's thread, finished when
// WriteSavedGame returns, so no save depends on thread timing.
extern bool SaveWriterSynchronous;
// The last save could not be written (the file under its name is the
// previous one, whole); the screens may say so.
extern std::atomic<bool> SaveLastFailed;

// The section names, in the order they are written.
extern const char* const SaveSectionNames[20];

// ---------------------------------------------------------------------------
// Writing

// Builds the container of the world as it is now and starts the writer on
// it. Returns at once; false (nothing written) while another save is being
// written. The names are cut to 63 code units.
bool WriteSavedGame(const std::u16string& saveName, const std::string& fileName, const std::u16string& heroName,
                    const TSavePicture* mapPicture, const TSavePicture* screenPicture, float speed);
// The container the writer would write, built on the caller's thread (the
// bytes of the world as they are now).
void BuildSavedGame(TDatFile& save, const std::u16string& saveName, const std::u16string& heroName,
                    const TSavePicture* mapPicture, const TSavePicture* screenPicture, float speed);
// The start save of a new game, written after the world set-up:
// StartSaveName := name (at most 64 characters; the game gives the user's
// name and the clock, the tools the scenario's base name), saved under that
// name to SavesFolder + the name + ".startscenario" (the folder made when
// missing).
bool WriteStartSave(const std::string& name);
// The writer's closing step: when the writer has ended (state 3) its thread
// is joined and the state goes back to 0. True when the writer is idle
// afterwards. The frame hook calls it every frame.
bool CloseSaveWriter();
// The loaders' wait: in steps of 10 ms while a save is being written, then
// the closing step.
void WaitForSaveWriter();

// ---------------------------------------------------------------------------
// Reading

// Reads a saved game into the world tables. False when the file is no
// container, its head or a world section is damaged or beyond the tables, its
// scenario folder leaves the program folder, or its scenario can't be
// loaded (missing, or beyond the tables). All of this is checked before
// anything is cleared: a refused save leaves the world, the scenario in
// memory and the map scene as they were.
bool LoadSavedGame(const std::string& fileName, float& speed, std::u16string& heroName);
// Whether an open save is whole: every section reads to its end, and its head
// and world sections are what the loader takes (where its scenario is and
// whether it loads aside). False with the reason otherwise.
bool CheckSavedGame(TDatFile& save, std::string& why);
// Whether the scenario file the save belongs to exists.
bool IsSavedGameScenarioPresent(const std::string& fileName);

// A summary of a saved game for the save list: its head and scenario.
struct TSaveFileSummary {
    TSaveHead Head{};
    std::string ScenarioName; // the "GameScenario" line
    bool ScenarioPresent = false;
};
// False when the file is no container or has no whole head.
bool ReadSaveFileSummary(const std::string& fileName, TSaveFileSummary& entry);

// The head of a save (zeroed first) and its folder line; false when the file
// is no container or the head is missing.
bool ReadSaveHead(TDatFile& save, TSaveHead& head);
// The scenario file a save names: its folder (the default scenario folder
// for an empty folder or "\", else ExePath + folder + "Scenarios\") and the
// base name of its LastScenarioName with ".Tdm". Empty when the folder is
// absolute or holds "..".
std::string SavedScenarioFile(const TSaveHead& head, const std::string& folder);
// CRC-32 of the world sections of a save ("GameBuilding" to "GamePoint"),
// their names and bytes: the head, the pictures and the log are left out.
uint32_t SavedWorldDigest(TDatFile& save);

// A name as stored in the head: its first 63 code units and their count.
TSaveName MakeSaveName(const std::u16string& text);
// A stored name as text: the units the count names (at most 63).
std::u16string SaveNameText(const TSaveName& name);
