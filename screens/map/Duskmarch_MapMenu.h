// Duskmarch_MapMenu: the in-game menu behind the map's menu button and Esc:
// load, save, restart the scenario from its start save, options, exit to the
// main menu, exit to the desktop, continue.
//
// Threads: MapMenuScreen_Create runs on the start-up loader thread; the rest
// on the main thread.
#pragma once

#include <cstdint>
#include <string>

class TGUI_GraphicWindow;
class TGUI_Object;
class TGUI_Window;

extern TGUI_GraphicWindow* MapMenu_Window;
extern bool MapMenuHotkeyHeld;

// Whether the running scenario's start save is there to restart from.
bool StartSaveExists();

void MapMenuScreen_Create();
// The map's b_Menu and Esc: opens the menu and stops the map.
void MapMenuScreen_Open(TGUI_Object* object = nullptr);
void MapMenuScreen_WindowHandler(int32_t state, TGUI_Window* window);
void MapMenuScreen_LoadGame(TGUI_Object* object);
void MapMenuScreen_SaveGame(TGUI_Object* object);
void MapMenuScreen_RestartScenario(TGUI_Object* object);
void MapMenuScreen_Options(TGUI_Object* object);
void MapMenuScreen_ExitToMenu(TGUI_Object* object);
void MapMenuScreen_ExitToDesktop(TGUI_Object* object);
void MapMenuScreen_Close(TGUI_Object* object);
