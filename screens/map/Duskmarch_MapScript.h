// The map's script queue: little cut-scenes that story events stage on the
// strategic map. Their results become timed actions carried out one at a
// time from the front (lock the controls, march the hero's army, fly the
// clock forward behind a black screen, hand control back). The map screen
// steps the head once per active frame; the event window and the building
// screen read whether the queue is empty.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <vector>

enum TMapScriptKind : uint8_t {
    MapScriptClicksOff = 7,
    MapScriptClicksOn = 8,
    MapScriptInputOff = 9,
    MapScriptInputOn = 10,
    MapScriptMarch = 11,
    MapScriptClockFlight = 12,
    MapScriptRun = 13,
    MapScriptPause = 14,
    MapScriptFadeIn = 15,
    MapScriptFadeOut = 16,
};

// Targets of a scripted march (aux of kind 11).
enum TMarchTarget : int32_t {
    MarchToBuilding = 1,
    MarchToPoint = 2,
    MarchToArmy = 3,
};

struct TMapScriptAction {
    uint8_t Kind = 0;
    int32_t Aux = 0;      // kind 11: TMarchTarget
    int32_t Start = 0;    // engine ms the action started, 0 not started
    int32_t Duration = 0; // ms at the head; 0 done in the frame it runs
    int64_t Value = 0;    // kind 11 the target's number; kind 12 the clock delta (minutes x 10000)
};

// A scripted march holds the head until the army stops (StopPlayerArmy sets
// the duration to 0).
inline constexpr int32_t MarchHoldMs = 1000000000;

struct TClockFlight {
    uint8_t On = 0;
    int64_t Delta = 0;
    int64_t Target = 0;
    int32_t Start = 0;
    int32_t Duration = 0;
};
struct TBlackFade {
    uint8_t On = 0;
    int32_t Start = 0;
    int32_t Duration = 0;
};

extern std::vector<TMapScriptAction> MapScriptQueue;
extern uint8_t ClicksEnabled; // left presses on the map are taken
extern uint8_t InputEnabled;  // hot keys, cursor relations and the map window's seven buttons
extern uint8_t ForcedRun;     // the map runs at speed 1 while the queue is not empty
extern TClockFlight ClockFlight;
extern TBlackFade BlackFade;

// What the queue needs of the map screen. The map screen installs them when
// it is built; while one is empty its step does nothing (a march then cannot
// be planned and ends after its own duration).
struct TMapScriptHooks {
    void (*SetMapPause)(bool paused) = nullptr;
    // The enabled flag of cb_Go, cb_Pause, b_Minus, b_Plus, b_Army,
    // b_Journal and b_Menu.
    void (*EnableMapButtons)(bool enabled) = nullptr;
    // The map's event check, when the queue has just emptied.
    void (*RequestEventCheck)() = nullptr;
    // Shows or hides the player's army on the map; shown again, its model
    // is refreshed.
    void (*ShowPlayerArmy)(bool shown) = nullptr;
    // Sets the player's army off towards the target of a march (building,
    // map point or army), its route shown; false when no route was planned.
    bool (*StartScriptedMarch)(int32_t aux, int32_t target) = nullptr;
    // The full-screen black sprite at (0, 0) with the alpha.
    void (*DrawBlackSprite)(int32_t alpha) = nullptr;
};
extern TMapScriptHooks MapScriptHooks;

void AddMapScriptAction(uint8_t kind, int32_t value, int32_t duration, int32_t aux);
// The head's step: started and carried out once, removed when its time is
// over. Called at the start of every active map frame and by the event
// window's frame and buttons.
void RunMapScript();
// The black fade over whatever was drawn; the cursor goes while it shows.
void DrawMapScriptEffects();
// Alpha 0..255 of a fade elapsed ms into its duration.
int32_t FadeAlpha(int32_t elapsed, int32_t duration);
// Empty queue and every effect back to its default.
void ResetMapScript();
// A non-empty queue lets the map run only under a forced run or a clock
// flight under way at its head.
bool MapScriptDrivesClock();
// Ends a scripted march at the head (the army stopped or arrived).
void EndScriptedMarch();
