// The strategic AI's goals: how much a computer army wants to reach another
// army or a building, the seeds and danger zones these give its path
// tracker, and the route planning that runs one wavefront from all goals
// to the army. Scores above 0 are seed costs (1001 - priority: the more
// attractive, the cheaper), below 0 the radius of a danger zone, 0 no
// interest. Hostile scores come from a silent battle and are cached in the
// relation cells until they are marked stale.
#pragma once

#include <cstdint>
#include <string>

#include "model/ai/AIMain_Settings.h"
#include "battle/BattleSide.h"

// Detection range in cells by TArmyBehavior.
constexpr int32_t DetectionRanges[ArmyBehaviorCount] = {200, 200, 100, 50, 100, 50,  50, 50,
                                                        50,  100, 75,  50, 150, 100, 50};

// Modes of AddRouteSeed.
constexpr int32_t SeedBuilding = 0;
constexpr int32_t SeedArmy = 1;
constexpr int32_t SeedPatrol = 2;

// A silent battle of attacker against defender (an army, or the garrison
// army when building is above 0, for an assault of that building): both
// side records come back finished, with each side's Result, StartCount and
// the battle copies' BattleState and Hits.
using TSilentBattle = void (*)(int32_t attacker, int32_t defender, int32_t building, TBattleSide& attackerSide,
                               TBattleSide& defenderSide);
// Installs another silent battle (tests); nullptr restores the battle
// engine's (RunSilentBattle).
void SetSilentBattle(TSilentBattle battle);

// The loss in percent of a finished side: 100 less each personage's share
// by its end state.
long double SideLoss(const TBattleSide& side);
// The score of a hostile goal from a finished silent battle: attackerWon
// tells whether the attacker's side won, loss is the loss of the winning
// side (the attacker's when it won, else the defender's), f the relation
// factor (11 - r) / 16, boldness the army's Boldness.
int32_t ScoreHostileBattle(const TAIProfile& profile, bool attackerWon, long double loss, long double f,
                           int32_t boldness);

// Marks stale every score that depends on army or garrison x.
void InvalidateArmyTargets(int32_t x);
// Adds a goal to the army's tracker, cheaper when near (within 32 cells):
// up to five times for buildings and three times for armies.
void AddRouteSeed(int32_t cell, int32_t cost, int32_t mode, int32_t army);
// Minutes to the start of the army's active time (positive) or since it
// (negative), 0 when further away than its ActiveTo.
int32_t RestTimeOffset(int32_t army);

int32_t AI_Army_TargetToArmy(int32_t a, int32_t b);
int32_t AI_Army_TargetToBuilding(int32_t a, int32_t b);
// Plans the army's route to its cheapest goal; true when it has a path.
bool AI_PlanRoute(int32_t army);

// Reports a failed step of the strategic AI: a "Main AI Error" box in a
// window, and always a line (to the world log when one is kept, else
// stderr).
void ReportMainAIError(const std::string& text);
