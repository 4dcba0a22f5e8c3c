// Duskmarch_MainMenu: the first screen after loading and the one every exit
// to the menu returns to: continue the newest game, start a new one (through
// the prologue on a first play), load, options, credits, tutorials, quit.
//
// Threads: MainMenuScreen_Create runs on the start-up loader thread; the
// handlers on the main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TGUI_GraphicWindow;
class TGUI_Object;
class TGUI_Window;

extern TGUI_GraphicWindow* MainMenu_Window;
extern uint8_t MenuScreenOpen;     // 1 while the menu or the scenario selection is open
extern int32_t MainMenuBackground; // texture of the menu's landscape, 0 when freed

// The windows the menu opens. Each screen's unit sets its own when it is
// built; a button whose window does not exist yet logs a line instead.
extern TGUI_Window* SelectScenario_Window;
extern TGUI_Window* SelectHero_Window;
extern TGUI_Window* SaveLoad_Window;
extern TGUI_Window* Options_Window;
extern TGUI_Window* ScenarioEnd_Window;
extern TGUI_Window* Tutorials_Window;

// FindLatestSave, LoadGame and SaveLoadScreen_SetMode come from the saved
// games and the save/load window (screens/map/Duskmarch_SaveLoad.h).
extern void (*ClearTutorialsShown)(); // the tutorials' shown-in-this-game flags
extern int32_t SaveCounter;
extern int32_t SelectedScenario;
extern uint8_t UseUserScenarioList;
// The standard scenarios' file names in list order (the scenario list).
extern std::vector<std::string> StandardScenarioFiles;

// Where "new game" goes.
struct TNewGameRoute {
    bool HeroSelection = false; // else the scenario selection
    int32_t Scenario = -1;      // the scenario chosen for the hero selection
};
// The tutorial is wanted and not yet done: the prologue (the first standard
// scenario whose file name holds "Scenario01_Prologue", else the first) with
// the hero selection; otherwise the scenario selection.
TNewGameRoute ChooseNewGameRoute(bool useTutorial, bool tutorialCompleted,
                                 const std::vector<std::string>& standardScenarios);

// Opens a screen's window, or logs that it does not exist yet. False then.
bool OpenScreenWindow(TGUI_Window* window, const char* name);

// Posts the open of the main menu (the loading window's hand-over).
void OpenMainMenu();

void MainMenuScreen_Create();
void MainMenuScreen_WindowHandler(int32_t state, TGUI_Window* window);
void MainMenuScreen_Continue(TGUI_Object* object);
void MainMenuScreen_ContinueHint(TGUI_Object* object);
void MainMenuScreen_NewGame(TGUI_Object* object);
void MainMenuScreen_LoadGame(TGUI_Object* object);
void MainMenuScreen_Options(TGUI_Object* object);
void MainMenuScreen_Credits(TGUI_Object* object);
void TutorialsScreen_Open(TGUI_Object* object);
void MainMenuScreen_Exit(TGUI_Object* object);
