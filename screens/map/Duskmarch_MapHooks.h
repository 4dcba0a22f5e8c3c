// Duskmarch_MapHooks: the calls the strategic map makes into screens that
// are built elsewhere (the assault dialog, the battle loading window, the
// map menu, the journal, the camp, the building screen, the tutorials, the
// map script queue, the mini-map, the saved games). Each is a slot the
// owning unit fills when its screen is built; an empty slot writes one log
// line and does nothing, or, for the battle, fights the encounter headless
// so that the map stays playable.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "screens/map/Duskmarch_MapScript.h"

struct TMapScreenHooks {
    // The assault dialog over the map (AssaultParams name the player as the
    // attacker).
    void (*AssaultScreen_Open)() = nullptr;
    // The battle loading window in the map's place; BattleEnemyArmy and both
    // sides are set.
    void (*BattleLoading_Open)() = nullptr;
    void (*MapMenuScreen_Open)() = nullptr;
    void (*JournalScreen_Open)() = nullptr;
    void (*TentScreen_Open)() = nullptr;
    void (*BuildingScreen_Open)(int32_t building) = nullptr;
    void (*TutorialsScreen_Open)(int32_t page) = nullptr;
    // The map script queue: one step per live frame, its drawing, its reset.
    void (*RunMapScript)() = nullptr;
    void (*DrawMapScriptEffects)() = nullptr;
    void (*ResetMapScript)() = nullptr;
    // The journal's mini-map in the map scroll and the new-quest marker test.
    void (*DrawMiniMap)() = nullptr;
    bool (*HasNewQuests)() = nullptr;
    // Saved games: the writer's state, an own save, the rotating autosave,
    // the own saves' display and file names (oldest first), a load.
    bool (*SaveWriterBusy)() = nullptr;
    void (*SaveGame)(const std::string& name) = nullptr;
    void (*Autosave)() = nullptr;
    void (*PrivateSaves)(std::vector<std::string>& displayNames, std::vector<std::string>& fileNames) = nullptr;
    void (*LoadGame)(const std::string& fileName) = nullptr;
};
extern TMapScreenHooks MapScreenHooks;

// The calls as the map makes them: the installed hook, else the stand-in.
void MapHook_AssaultScreen_Open();
void MapHook_BattleLoading_Open();
void MapHook_MapMenuScreen_Open();
void MapHook_JournalScreen_Open();
void MapHook_TentScreen_Open();
void MapHook_BuildingScreen_Open(int32_t building);
void MapHook_TutorialsScreen_Open(int32_t page);
void MapHook_RunMapScript();
void MapHook_DrawMapScriptEffects();
void MapHook_ResetMapScript();
void MapHook_DrawMiniMap();
bool MapHook_HasNewQuests();
bool MapHook_SaveWriterBusy();
void MapHook_SaveGame(const std::string& name);
void MapHook_Autosave();
void MapHook_PrivateSaves(std::vector<std::string>& displayNames, std::vector<std::string>& fileNames);
void MapHook_LoadGame(const std::string& fileName);

// What the saves' stand-in recorded ("save <name>", "autosave", "load
// <file>"); it writes nothing and lists nothing.
extern std::vector<std::string> MapSaveRequests;

// The map script queue's state the map frame reads; the queue's own unit
// keeps it up to date.
// The script queue and its effect state live with the queue (Duskmarch_MapScript.h).


// The story event shown (0 none) and whether an encounter waits behind it.
extern int32_t CurrentStoryEvent;
extern uint8_t EncounterPending;
// The opponent of the battle the map starts and whether it is an assault.
extern int32_t BattleEnemyArmy;
extern uint8_t BattleIsAssault;

// Every slot and state back to its first value (tests).
void ResetMapScreenHooks();
