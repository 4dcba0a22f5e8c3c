// The story event screen's side of the scenario's scripted moments: the
// world model's visual results turned into map effects and map-script
// actions, the end of a scenario or campaign step, and the results panel
// that shows what an answer gave and took.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TGUI_Object;

#include "engine/QX9_System.h"

// The event being handled, 0 none; -e: follow-up e was chosen from a choice
// list, its outcome and follow-ups still to be chosen.
extern int32_t CurrentStoryEvent;
extern uint8_t EncounterPending;  // a result added an encounter of the player's army
extern uint8_t ContinueStage;     // the answered event continues with its stage text
extern int32_t EventStage;        // the stage (answer) chosen
extern int32_t LastAnsweredEvent;

// Kinds of the world model's map effects that this screen handles itself;
// 7..16 become map-script actions.
enum TMapEffectKind : uint8_t {
    MapEffectArmyChanged = 2,
    MapEffectEncounter = 4,
    MapEffectArmyMoved = 6,
};
// The sub-kind that carries an army number.
inline constexpr uint8_t MapEffectArmySub = 10;

// Order kinds of the player's army that a scripted march follows.
inline constexpr uint8_t OrderToBuilding = 4;
inline constexpr uint8_t OrderToArmy = 6;
inline constexpr uint8_t OrderToPoint = 7;

// What the results need of the map screen and the building screen; each
// empty hook does nothing (false for the questions).
struct TEventScreenHooks {
    void (*SetPickState)(int32_t state) = nullptr;
    // The camera to the player's army, its building as the target, the
    // army stopped, the labels rebuilt and its model refreshed.
    void (*JumpToPlayerArmy)() = nullptr;
    bool (*BuildingScreenCovered)() = nullptr;
    bool (*BuildingScreenShown)() = nullptr;
    void (*RebindBuildingArmyPanel)() = nullptr;
    // Asks the building screen to close when it is active again; marchOut:
    // the army leaves a hostile building to its last free cell.
    void (*CloseBuildingScreenLater)(bool marchOut) = nullptr;
    bool (*PlayerInHostileBuilding)() = nullptr;
    bool (*PlayerInBuilding)() = nullptr;
    void (*CloseBuildingScreen)() = nullptr;
    // Closes the map window and opens the transfer window (nextScenario) or
    // the scenario end window.
    void (*OpenScenarioEnd)(bool nextScenario) = nullptr;
};
extern TEventScreenHooks EventScreenHooks;

// Later screens' calls; they do nothing until those land.
void UpdateQuestEntry(int32_t event);
void MarkTutorialCompleted();

// Works off the world model's MapEffects (emptied), then checks the end of
// the scenario.
void ProcessEventResults();

// The end the scenario's events reached: 0 none; else ends, and next is the
// branch 1..3 whose next scenario follows, 0 none.
struct TScenarioEnd {
    bool Ends = false;
    int32_t Next = 0;
};
TScenarioEnd FindScenarioEnd();
// Sets CampaignTransfer and NextScenarioName, and on an end closes the map
// for the transfer or the end window.
void CheckScenarioEnd();

// ---------------------------------------------------------------------------
// The results panel

inline constexpr int32_t ResultLabelCount = 33; // count labels per item group
inline constexpr int32_t ResultCellWidth = 100;
inline constexpr int32_t ResultRowHeight = 120;
// The gold entry's id in the received and lost lists.
inline constexpr int32_t GoldMarkerId = -1;

struct tEventCollect {
    int32_t GoldReceived = 0;
    int32_t GoldLost = 0;
    int32_t ItemsReceivedCount = 0, ItemsLostCount = 0, UnitsAddedCount = 0, UnitsLeftCount = 0;
    TIntArray ItemsReceived, ItemsLost, UnitsAdded, UnitsLeft;
    TIntArray ReceivedCounts, LostCounts;
    int32_t CellWidth = ResultCellWidth;
    int32_t RowHeight = ResultRowHeight;
    int32_t XOrigin = 0;
    int32_t YCursor = 0;
    // The panel's window variables.
    int32_t Visible = 0;
    int32_t AreaWidth = 0, AreaHeight = 0, AreaY = 0;
    int32_t CaptionVisible[4] = {0, 0, 0, 0};
    int32_t CaptionY[4] = {0, 0, 0, 0};
};
extern tEventCollect EventCollect;

void EventResultsPanel_Hide();
// The panel for the last results (EventGoldChange, EventItemChanges,
// EventUnitChanges) on a screen screenWidth wide.
void EventResultsPanel_Layout(int32_t event, int32_t stage, int32_t screenWidth);

// ---------------------------------------------------------------------------
// The window and the flow between events

// The event window's answer modes.
inline constexpr int32_t AnswerContinue = 1; // b_Close
inline constexpr int32_t AnswerYesNo = 2;    // b_Yes, b_No

extern int32_t CurrentEventPage;              // page shown, -1 the page-less layout
extern int32_t EventAnswerMode;
extern uint8_t EventWindowShown;
extern uint8_t EventImageShown;
extern std::u16string EventImageName;          // the picture of the page, lower-cased
extern std::u16string EventPageText;           // the page's text, filtered, picture tag removed
extern std::vector<std::u16string> EventChoices; // follow-ups last to first, then the answers
extern TIntArray EventChoiceFollowUps;           // the follow-ups the choice list offers
extern int32_t EventChoiceSelection;           // selected choice, -1 none

// The window's drawing side; the flow runs without it (tests, and until the
// window is built its close is handled at once).
struct TEventWindowHooks {
    void (*Open)() = nullptr;
    void (*Close)() = nullptr;
    // The page has been chosen: lay the lists out.
    void (*LayoutPage)() = nullptr;
    bool (*BuildingScreenShown)() = nullptr;
    void (*ProcessPlayerEncounters)() = nullptr;
};
extern TEventWindowHooks EventWindowHooks;

// The music tracks of the named story pictures, 0 none.
int32_t PictureMusicTrack(const std::u16string& lowerName);
// Choice item to follow-up event (item < follow-up count) or answer stage.
struct TChoiceTarget {
    int32_t FollowUp = 0; // the event, 0 when the item is an answer
    int32_t Stage = 0;
};
TChoiceTarget ChoiceTarget(int32_t item, const TIntArray& followUps);

// Takes the next due event and opens the window, or applies window-less
// events one after the other while the map may go on. The screen kit's
// EventScreen_OpenNextEvent calls it once InstallEventScreen has run.
void OpenNextStoryEvent();
void EventScreen_Next(TGUI_Object* button);
void EventScreen_No(TGUI_Object* button);
void ShowEventPage(int32_t page);
// What the window's close does: the next event, the speakers freed, and the
// map handed back when nothing follows.
void EventScreen_Closed();
// Space and Esc on the window as its answer mode makes them.
void EventScreen_Key(bool escape);
// The screen kit's hooks become this screen's procedures.
void InstallEventScreen();
