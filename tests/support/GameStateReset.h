// Every area of the game's global state back to its start value, for the
// fixtures of the rule, world and battle tests: whatever order the tests run
// in, none sees what another left.
#pragma once

#include "battle/Battle.h"
#include "model/ai/AIMain_Settings.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"

inline void ResetGameState()
{
    ResetGameTables();
    ClearAISettings();
    ResetScenarioTables();
    ResetWorldTables();
    ResetBattleGlobals();
}
