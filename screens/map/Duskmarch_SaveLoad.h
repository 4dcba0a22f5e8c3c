// Duskmarch_SaveLoad: the save/load window. It shows one of the two save
// lists as a column of rows, newest on top, and lets the player load a save
// (own saves or autosaves, two tabs), save the running game under a typed
// name or over an existing save, and delete saves. The main menu opens it
// for loading, the map menu for saving and loading.
//
// Threads: SaveLoadScreen_Create runs on the start-up loader thread (it also
// scans the save folder); everything else on the main thread.
#pragma once

#include <cstdint>
#include <string>

#include "screens/map/Duskmarch_SavedGames.h"

class TGUI_GraphicWindow;
class TGUI_Object;
class TGUI_Window;

// SaveLoad_Window (the menu's slot) is declared in Duskmarch_MainMenu.h.
extern TGUI_GraphicWindow* SaveLoadWindow;

enum TSaveLoadMode : uint8_t {
    SaveLoadNone = 0,
    SaveLoadOwn = 1,  // load from PrivateSaves
    SaveLoadAuto = 2, // load from AutoSaves
    SaveLoadSave = 3, // save (rows of PrivateSaves)
};
extern uint8_t SaveLoadMode;
extern int32_t SelectedSave; // row of the shown list, -1 none
extern bool SaveLoadHotkeyHeld;
// The file the map menu's save wrote as the "New Save" row: the only one the
// window removes again (empty: none).
extern std::string PlaceholderSaveFile;

constexpr int32_t SaveRowWidth = 802;
constexpr int32_t SaveRowHeight = 86;
constexpr int32_t SaveRowPitch = 94;
constexpr int32_t SaveListMargin = 16;

struct TSaveListRegion {
    int32_t X = 0, Y = 0, Width = SaveRowWidth, Height = 600;
};
extern TSaveListRegion SaveListRegion;
extern float SaveListPosition; // 0..1

struct TSaveRowPlace {
    int32_t X = 0, Y = 0;
    bool Visible = false, Enabled = false;
};
// Row i of n, the last on top.
TSaveRowPlace SaveRowPlace(const TSaveListRegion& region, int32_t i, int32_t n, float position);
// With 10 rows or more, the position moved to a whole row.
float SnapSaveListPosition(int32_t n, float position);
// The wheel's and arrows' step; 0 when every row fits.
float SaveListScrollStep(int32_t n, int32_t regionHeight);
// "hh:mm d <month> yyyy"; empty when GameMinutes or Month is 0.
std::u16string SaveDateLine(const TSavedGameEntry& entry);

// The list the window shows (AutoSaves in mode 2).
TSavedGameArr& ShownSaveList();

// The rows (no-ops before the window exists).
void BuildSaveRow(TSavedGameEntry& entry, int32_t index);
void FreeSaveRow(TSavedGameEntry& entry);
void RenumberSaveRows(TSavedGameArr& list);
void LayoutSaveRows();
void ResetSaveListButtons();

void SaveLoadScreen_Create();
// Frees the rows and what the screen added to the window (the window's end).
void SaveLoadScreen_Free();
void SaveLoadScreen_WindowHandler(int32_t state, TGUI_Window* window);
void SaveLoadScreen_SetMode(int32_t mode);
void SaveLoadScreen_Accept(TGUI_Object* object);
void SaveLoadScreen_Cancel(TGUI_Object* object);
void SaveLoadScreen_Delete(TGUI_Object* object);
void SelectSaveRow(TGUI_Object* row);
// The name the edit holds for the "New Save" row.
void SetSaveNameEditText(const std::u16string& text);
// Removes the map menu's placeholder entry (its file and row), after the
// writer is done with it.
void RemovePlaceholderSave();
