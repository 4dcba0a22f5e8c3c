// What the party screens and the screen kit use of the play screens (the map
// window, its script queue, the story events, the battle window) and of the
// front end (the console, the options, the scenario list). The state lives
// here once; the procedures are hooks that the owning screens install when
// they are built, with the least behaviour until then (nothing, or the text
// handed in). Tests replace them with recording ones.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TGUI_Window;
class TGUI_Object;

// ---------------------------------------------------------------------------
// State

extern int32_t MapScriptQueueCount;  // entries of the map's script queue
extern int32_t PlayerTargetBuilding; // the building the player's army walks into, 0 none
extern uint8_t MapClickPending;      // a map click waits for the next frame
extern uint8_t MapFrozen;            // the map scene is not updated
extern int32_t MapClockResumeTime;   // engine ms at which the map clock runs again
extern uint8_t MapClockPaused;       // the map clock stands still
extern uint8_t MapInputEnabled;      // the map window takes mouse input
extern uint8_t MapHotkeysEnabled;    // the map window takes its hot keys
extern int32_t EventScreenEvent;     // the story event shown, 0 none
extern uint8_t EventContinueFlag;    // the event screen goes on to the next event
extern std::u16string DayCharText;   // the localized "DayChar" (days in time spans)
extern TGUI_Window* Battle_Window;   // the battle screen's window, nullptr before it exists
extern int32_t OptionsDifficulty;    // the difficulty the options remember, 1..4
extern TGUI_Object* ConsoleEditLine; // the developer console's edit line, nullptr none

// The scenario names of the front end.
extern std::u16string LocalizedScenarioName;
extern std::u16string SelectedScenarioName;

// ---------------------------------------------------------------------------
// Hooks

struct TPlayServices {
    void (*StopPlayerArmy)() = nullptr;
    void (*ResetMapCameraMotion)() = nullptr;
    void (*RefreshMapScene)() = nullptr;
    void (*UpdateResourcePanel)() = nullptr;
    void (*PlaceResourcePanelForMap)() = nullptr;
    std::u16string (*FormatPersonageCount)(int32_t count, int32_t limit) = nullptr;
    void (*EventScreen_OpenNextEvent)() = nullptr;
    std::u16string (*FilterEventText)(const std::u16string& text) = nullptr;
    void (*UpdateConsole)() = nullptr;
    bool (*IsConsoleOpen)() = nullptr;
    void (*ShowEventTutorial)(int32_t event) = nullptr;
    // The caption of the selected entry of the scenario list in use.
    std::u16string (*SelectedScenarioCaption)() = nullptr;
};
// The installed hooks; an empty entry has the least behaviour.
extern TPlayServices PlayServices;

void StopPlayerArmy();
void ResetMapCameraMotion();
void RefreshMapScene();
void UpdateResourcePanel();
void PlaceResourcePanelForMap();
// Least form: the count in decimal, "/" and the limit.
std::u16string FormatPersonageCount(int32_t count, int32_t limit);
void EventScreen_OpenNextEvent();
std::u16string FilterEventText(const std::u16string& text);
void UpdateConsole();
bool IsConsoleOpen();
void ShowEventTutorial(int32_t event);
std::u16string SelectedScenarioCaption();

// Every state value and hook back to its first value (the unit's end; tests).
void ResetPlayServices();
