// The battle turn driver: once a frame it asks the engine for the next
// actor, waits for the player's order or takes the engine's decision, lets
// the engine carry it out and hands the resulting actions to the playback.
#pragma once

#include <cstdint>
#include <vector>

#include "battle/Battle.h"
#include "screens/battle/Duskmarch_Battle_Playback.h"

// 0 choose the next actor, 1 waiting for the player's order, 2 perform.
struct TBattleTurnRecord {
    uint8_t State = 0;
    int32_t SelectedSide = 0;
    int32_t SelectedSlot = 0;
};
extern TBattleTurnRecord BattleTurn;
#define BattleTurnState (BattleTurn.State)

// 0 the timeline is busy, 1 it has just become idle, 2 the idle is handled.
extern uint8_t BattleIdleLatch;
// Set by F3, cleared when the battle window opens.
extern uint8_t FastBattleRequested;
// Set when the markers or something else of the field changed this frame;
// the window re-renders its arena passes.
extern uint8_t BattleFieldChanged;

// The playback of one performed decision; the window installs the show
// (animations, sounds, effects, texts). Without one the elements are only
// timed and queued on the engine's timeline.
extern void (*PlayComplexActionHook)(const TComplexAction& complex, const std::vector<TPlannedElement>& plan);
// The animation length by name for the timing (nullptr: 1000 ms).
extern int32_t (*AnimationLengthHook)(int32_t side, int32_t slot, const std::string& animation);

// One frame of the driver on CurrentBattle and BattleDecision.
void RunBattleTurn();
// Times the complex actions of one decision and queues them on the battle's
// timeline; the show goes through PlayComplexActionHook.
void PlayDecisionActions(TBattle& battle, const TActionList& actions, int32_t cellsWalked, int32_t now);
// Resolves the rest of the battle without animation, the computer deciding
// for both sides.
void BattleScreen_FastBattle();
// Whether the battle is finished for the screen: over and the timeline empty.
bool BattleScreenFinished(const TBattle& battle);

// The HUD and the log of a later screen; empty until then.
void ShowPersonagePanel(int32_t panel, int32_t side, int32_t slot, bool active);
void UpdatePanelStats(int32_t panel);
void RefreshInitiativeQueue();
void RefreshPersonageMarkers();
bool AnimateMarkers();
void QueueBattleLogEntry(const TBattleAction& action, int32_t due);
void FlushBattleLog(int32_t now);

// The battle's end: the outcome goes to the world through the map screen's
// world steps (EndBattleWorldHook; without one a log line), then the screen
// is tidied.
extern void (*EndBattleWorldHook)(uint8_t result);
void EndBattle(uint8_t result);
