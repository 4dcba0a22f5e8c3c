#include "tools/dmtool/WorldEncounters.h"

#include "model/ai/AIMain_Encounters.h"
#include "model/world/World_Access.h"

void TWorldRunHooks::Encounter(int32_t army)
{
    const TEncounterKind kind = RunEncounterStep(army);
    if (army == PlayerArmy && IsBattleEncounter(kind))
        FightMetArmies(PlayerArmy, HeadlessPlayerBattle);
}
