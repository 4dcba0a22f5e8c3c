// StoryEvents: the scenario's scripted moments. Each event's requirements
// decide when it is due; a stage (outcome) of it is chosen by the player or
// by the event's form, and its results change the world. The map screen asks
// FindTriggeredEvent for the next due event whenever its event window is
// free, the event screen applies the chosen stage with ExecuteEventResults
// and shows the three change lists, and the map screen works off MapEffects.
// Everything runs on the main thread.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/QX9_System.h"
#include "model/scenario/ScenarioMap_Tables.h"

// ---------------------------------------------------------------------------
// State of the search and of the last executed stage

struct TEventOutcome {
    uint8_t Chosen = 0; // the event's form chose a stage
    int32_t Stage = 0;  // 0-based
};
struct TEventUnitChange {
    int32_t UnitType = 0;
    int32_t Sign = 0; // +1 gained, -1 lost
};
struct TEventItemChange {
    int32_t Item = 0;
    int32_t Count = 0;
    int32_t Sign = 0; // +1 gained, -1 lost
};
// A talk the building screen offers: an army standing in the building and
// its event.
struct TArmyEventEntry {
    int16_t Army = 0;
    int16_t Event = 0;
};

extern TEventOutcome EventOutcome;                     // written by ChooseEventOutcome
extern uint8_t ActionFlag;                             // the evaluation met a building requirement as an action
extern TIntArray ActionEvents;                         // events the last search found due as building actions
extern TIntArray DueFollowUps;                         // follow-ups due after the last FilterFollowUpEvents
extern int32_t EventGoldChange;                        // gold the player's army gained (> 0) or lost (< 0)
extern std::vector<TEventUnitChange> EventUnitChanges; // personages the player's army gained or lost
extern std::vector<TEventItemChange> EventItemChanges; // items the player's army gained or lost

// The nine cells around and the rings beyond, (dx, dz), tried from the
// last entry down when an army is moved next to another.
constexpr int32_t NearOffsetCount = 29;
extern const int32_t NearOffsets[NearOffsetCount][2];

// ---------------------------------------------------------------------------
// Requirements and triggering

bool EvaluateEventRequirements(int32_t event, bool followUp);
// Chosen of EventOutcome after the choice.
bool ChooseEventOutcome(int32_t event);
// Fills DueFollowUps with the follow-ups of event whose requirements hold.
bool FilterFollowUpEvents(int32_t event);
// The talks with the armies standing in building b.
void ListBuildingArmyEvents(int32_t building, std::vector<TArmyEventEntry>& list);
// The next due event, 0 when none.
int32_t FindTriggeredEvent();

// The clock a new game schedules the event's date requirement at: the last
// kind-2 requirement's day (sub-kind 0) or day and hour (1); other sub-kinds
// are never due by their date; 0 without a date requirement.
int64_t InitialEventSchedule(const TStoryEvent& event);

// ---------------------------------------------------------------------------
// Results

// Applies the results of stage (0-based) of event.
void ExecuteEventResults(int32_t event, int32_t stage);
void QueueMapEffect(uint8_t kind, uint8_t sub, int32_t value);
// Wounds of the personage += delta, held to 0..WoundLimit, then its
// statistics raised (delta <= 0) or lowered.
void ChangeWounds(int32_t army, int32_t slot, int32_t delta);

// Empties the search state, the change lists and the once-per-event log marks
// (the world set-up calls it).
void ClearStoryEventState();
