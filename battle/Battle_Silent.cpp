#include "battle/Battle_Silent.h"

#include <memory>

#include "battle/Battle.h"
#include "model/ai/AIMain_Encounters.h"
#include "model/world/World_Tables.h"

void RunSilentBattle(int32_t attacker, int32_t defender, int32_t building, TBattleSide& attackerSide,
                     TBattleSide& defenderSide)
{
    // One battle object serves every estimate of a thread: the set-up
    // refills it.
    thread_local std::unique_ptr<TBattle> battle = std::make_unique<TBattle>();
    const TAssaultParams kept = AssaultParams;
    if (building > 0)
        SetAssaultParams(attacker, building);
    else
        AssaultParams = NoAssaultParams;
    BuildBattleSide(attacker, 0, attackerSide);
    BuildBattleSide(defender, 1, defenderSide);
    battle->Init(attackerSide, defenderSide, 0, 0, Silent);
    battle->Finish(attackerSide, defenderSide);
    AssaultParams = kept;
}
