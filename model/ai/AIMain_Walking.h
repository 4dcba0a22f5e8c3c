// Armies on the strategic map: whether an army acts this frame (and the
// return of beaten armies), walking along the tracker's waypoints in game
// time with turning, cell steps, building entry and order arrival, waits,
// movement zones and patrol points, the distances to the other armies, the
// approach detection near the player and the re-plan queue that spreads
// route planning over frames. All of it runs on the map screen's frame.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/QX9_System.h"
#include "model/RangeArray.h"

// Cells between the re-plan requests of a walking computer army; also the
// divisor of the re-plan quota.
constexpr int32_t ReplanStep = 15;
constexpr int32_t ApproachRange = 9;
constexpr int32_t ApproachUrgent = 5;
constexpr int32_t ApproachNearPlayer = 64;
// Orders are done within this many cells of their target.
constexpr int32_t OrderArrivalRange = 2;
constexpr int32_t NoArmyDistance = 1111;

// Per army the turn of its shown heading; not saved.
struct TArmyTurn {
    int32_t Odometer = 0; // distance walked, x 10^-4 cells
    uint8_t Moved = 0;    // the last result of AI_Army_Move
    int64_t Angle = 0;    // radians x 10000
    int64_t Start = 0;    // engine ms x 10000
    int64_t End = 0;      // engine ms x 10000
    uint8_t Turning = 0;
};

// Per army its queued re-plan priority 0 (none) .. 5, with Queued the
// number of armies above 0.
struct TReplanQueue {
    std::vector<uint8_t> Priority;
    int32_t Queued = 0;
};

extern uint8_t ApproachCheck; // set by the map screen while the clock runs at the player's speed
extern TReplanQueue ReplanQueue;
extern TIntArray ReplanLists[2]; // element 0 the count
extern TIntArray ArmyDistances;  // cell distances of the last measure, 0 for itself, inactive or hidden
extern int32_t ArmyDistanceMin;  // the smallest non-zero, NoArmyDistance when none
extern std::vector<TArmyTurn> ArmyTurns;

struct TGameArmy;

// The packed path-grid cell an army stands on.
int32_t CellOfArmy(const TGameArmy& army);

// Sizes the queue, the distances and the turns for armies 0..ArmyCount,
// all empty.
void ResetArmyMovement();

bool AI_Army_Active(int32_t army);
// Moves the army by step (game minutes x 10000); true when it entered a new cell.
bool AI_Army_Move(int32_t army, int64_t step);
// Plans the queued routes of this frame; true when the player's army was planned.
bool AI_ProcessReplans();
void RequestReplan(int32_t army, int32_t priority);
// Takes the army off the re-plan queue.
void CancelReplan(int32_t army);
// Puts the army back on the map, at building when above 0.
void ActivateArmy(int32_t army, int32_t building);
bool UpdateStationary(int32_t army);
void ChoosePatrolPoints(int32_t army);
bool IsPointInZones(int32_t army, int32_t cell);
// Heads for the next waypoint (advance) or the first one.
void StartPathStep(int32_t army, bool advance);
void SetArmyWait(int32_t army, uint8_t kind, int32_t minutes);
void MeasureArmyDistances(int32_t army);
// Whether the army's tracker holds a path it walks (a waypoint and a step).
bool ArmyHasPath(int32_t army);
// The terrain vertex of a map cell, nullptr off the map grids.
struct TTerrainVertex;
TTerrainVertex* FindTerrainVertex(int32_t cell);
// The building the army stands in after stepping onto a vertex covered by
// building: 0 for a bridge, whose deck is open ground.
int32_t BuildingOfCover(int32_t building);
// Adds the personages of the scenario army record as at world set-up: the
// seven slots, the leader with its levels, then the others.
void AddScenarioArmyPersonages(int32_t army);
// The personages of a start block's or scenario army's slots: the leader of
// slot 0 with its levels, then (companions) the Count personages of slots
// 1..6, each rebuilt from its type.
struct TMapArmySlot;
void AddSlotPersonages(int32_t army, const TRangeArray<TMapArmySlot, 0, 6>& slots, bool companions);
