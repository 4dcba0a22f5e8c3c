// Duskmarch_SavedGames: the two lists of saved games of the per-user folder
// (the player's own saves and the autosaves), the names of new saves and of
// their files, writing a save through the saved-game writer, the autosave
// rotation, the newest save to continue, and the request to load a save.
//
// The save/load window shows the lists (each entry's row); the map screen
// calls Autosave and Quicksave, the menus LoadGame and FindLatestSave.
//
// Threads: main thread only (the lists are built on the start-up loader
// thread before the main thread uses them). The file itself is written on
// the saved-game writer's thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TGUI_Button;
class TGUI_Label;

// One saved game as listed. The row and its three texts belong to the
// entry; the save/load window builds and frees them.
struct TSavedGameEntry {
    std::string FileName; // inside SavesFolder, with ".sav"
    int64_t FileTime = 0; // engine date stamp: local time when written, else the file's write time
    std::u16string ScenarioName;
    std::u16string DisplayName;
    TGUI_Button* Row = nullptr;
    int32_t Millisecond = 0, Second = 0, Minute = 0, Hour = 0, Day = 0, Month = 0, Year = 0;
    int32_t Gold = 0;        // -1 for an unreadable file
    int32_t HeaderValue = 0; // 0 for a new save; -1 for an unreadable file
    int32_t Personages = 0;  // -1 for an unreadable file
    int32_t GameMinutes = 0;
    TGUI_Label* NameSprite = nullptr;
    TGUI_Label* ScenarioSprite = nullptr;
    TGUI_Label* InfoSprite = nullptr;
};
using TSavedGameArr = std::vector<TSavedGameEntry>;

extern TSavedGameArr PrivateSaves;
extern TSavedGameArr AutoSaves;
extern int32_t QuicksaveCounter;
// SaveCounter lives with the main menu (Duskmarch_MainMenu.h).

constexpr int32_t SaveDisplayNameLimit = 58;
constexpr int32_t AutosavesPerUser = 12;
constexpr char SaveExtension[] = ".sav";
constexpr char16_t PlaceholderSaveName[] = u"New Save";

// "<user> (yyyy-mm-dd hh-mm)" at local now.
std::u16string SaveDisplayName();
// "<user> nnn (autosave)" and "<user> nnn (quicksave)".
std::u16string AutosaveName(int32_t n);
std::u16string QuicksaveName(int32_t n);

// Game minutes from day 0 of a game clock (minutes x 10000 since the start
// day's midnight) and a start date (day x 1440 + minute).
int32_t SaveGameMinutes(int64_t clock, int32_t startDate);

// The file name for a display name: the extension cut where the name holds
// it, ":" to "-", control characters and " ' / \ | to "_", then "[i]" before
// the extension while a file of that name is in SavesFolder. The name
// `reusable` counts as free (a rotated autosave keeps its file name).
std::string SaveFileNameFor(const std::u16string& displayName, const std::string& extension,
                            const std::string& reusable = std::string());

// Writes the running game. Empty names are ignored; names are cut to 58
// characters. Own saves are appended to PrivateSaves; autosaves to AutoSaves
// with slot -1, else they replace that slot's entry and file. The writer is
// waited for first; nothing is listed, deleted or counted unless the write
// was accepted. True when it was.
bool SaveGame(const std::u16string& displayName, bool own, int32_t slot);
// Fills list[index] for a new save, writes the game and builds the row.
// False (the entry untouched) when the writer refuses the save.
bool CreateSaveEntry(const std::u16string& displayName, TSavedGameArr& list, int32_t index,
                     const std::string& extension, const std::string& reusable = std::string());
// A "*.sav" file of SavesFolder into its list ("(autosave)" in any case goes
// to AutoSaves). False for other names or a missing file.
bool AddSaveFileToList(const std::string& fileName);
// An entry from a file: the head's values when its scenario is present, else
// "FileCorrupt" with -1 values; then its row.
void ReadSavedGameEntry(const std::string& fileName, TSavedGameEntry& entry);
// The map screen's autosave (nothing when the option is off): the user's
// 13th replaces the user's oldest under its file name.
void Autosave();
// The map screen's quick save: "<user> nnn (quicksave)" with the next n.
bool Quicksave();
// The newest own save or autosave of this user (of the loaded scenario when
// one is loaded); ties go to the autosave. Empty when none.
std::string FindLatestSave();
// Asks the loading window to load a save of SavesFolder.
void LoadGame(const std::string& fileName);
// Deletes an entry's file (when it exists), row and texts, and closes the gap.
void DeleteSaveEntry(TSavedGameArr& list, int32_t index);
// The highest n of this user's own "... n (quicksave)" saves, 0 when none.
int32_t FindQuicksaveCounter();

// Empties both lists (freeing rows), then lists every "*.sav" of
// SavesFolder in listing order and computes QuicksaveCounter.
void ScanSavedGames();
void ClearSavedGames();
// By FileTime, oldest first; equal times keep their order.
void SortSaveList(TSavedGameArr& list);

// The writer's last save failed: the entry it was writing for is dropped
// from its list (its file, if any, is the previous one, whole) and a notice
// is logged. Called after the writer is idle; true when an entry was dropped.
bool DropFailedSaveEntry();
