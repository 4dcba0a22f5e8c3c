// Duskmarch_Tutorials: pictures with a title line that explain the screens,
// listed in "tutorials.ini". The window shows them as a browser (a list of
// every tutorial beside the chosen one's picture), opened from the main
// menu, the map and the battle, or as a single picture that pops up when a
// story event or a screen asks for its tutorial, once per game. Consecutive
// entries with the same UID and window are the pages of one tutorial.
//
// The map screen calls TutorialsScreen_Open for its tutorials key and,
// like the camp, the assault dialog, the battle and the journal, asks for
// its own pop-up with ShowEventTutorial(-1, 0) when it opens (through the
// play services' hook as well).
//
// Threads: TutorialsScreen_Create runs on the start-up loader thread; the
// rest on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "model/save/SavedGame.h"

class TGUI_Object;
class TGUI_Window;
class TIniFile;

struct TTutorialState {
    uint8_t Active = 0;   // 1 while the window is open
    int32_t Current = -1; // the shown entry, -1 none
};
extern TTutorialState TutorialState;
extern uint8_t FromList;                       // the window shows the browser (1) or a pop-up (0)
extern std::unique_ptr<TIniFile> TutorialsIni; // kept for the list texts
extern TGUI_Window* TutorialsWindow;           // "Tutorials_Window"

// The picture of an entry in the folder: the first that exists of
// image + suffix + ".DDS", image + "_eng.DDS", image + ".DDS"; none: the
// image's base name. A name holding a folder separator or ".." names no
// picture: empty.
std::string ChooseTutorialPicture(const std::string& folder, const std::string& image, const std::string& suffix);

// Reads the entries of "tutorials.ini" (section "Hints"); fewer than one:
// 13 empty entries. The pictures are resolved against the folder.
void ReadTutorialsList(TIniFile& ini, const std::string& pictureFolder);

void TutorialsScreen_Create();
void TutorialsScreen_CreateWindow();
// The browser at its first entry (the main menu's, map's and battle's key).
void TutorialsScreen_Open(TGUI_Object* object);
// A screen's or story event's tutorial: event >= 1 the story event's, else
// the first not yet shown of the active window's.
void ShowEventTutorial(int32_t event, uint8_t fromList);
void ShowTutorial(int32_t entry, uint8_t fromList);
void TutorialsScreen_ShowPage(int32_t entry, uint8_t fromList);
void TutorialsScreen_WindowHandler(int32_t state, TGUI_Window* window);
// The prologue's end: the tutorial is done and no longer offered.
void MarkTutorialCompleted();
// A new game shows every pop-up again.
void ResetTutorialsShown();
// The map screen renders itself as the backdrop of a pop-up over it
// (nullptr: the map is not there).
extern void (*TutorialsScreen_MapBackdrop)();
// Back to the state before TutorialsScreen_Create (tests; the end).
void TutorialsScreen_Free();
