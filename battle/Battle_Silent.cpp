#include "battle/Battle_Silent.h"

#include <memory>

#include "battle/Battle.h"
#include "model/AIMain_Strategy.h"
#include "model/Personage_Rules.h"
#include "model/World_Tables.h"

void AddAssaultDefenders(int32_t army)
{
    if (army < 0 || static_cast<size_t>(army) >= GameArmies.size() || static_cast<size_t>(army) >= ArmyUnits.size())
        return;
    const TGameArmy& record = GameArmies[static_cast<size_t>(army)];
    if (record.Active == 0)
        return;
    const TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    int64_t fire = AssaultParams.DefenceFire;
    for (int32_t slot = 1; slot <= record.PersonageCount && slot <= 15; ++slot) {
        const TPersonage& p = units[slot];
        if (p.AttackMode == AttackModeShoot)
            fire += p.Stats[statAttackShot];
        else if (p.AttackMode == AttackModeFight && p.BonusSet.Has(pGuard))
            fire += p.Stats[statAttackBlow] / 3;
    }
    AssaultParams.DefenceFire = static_cast<uint16_t>(fire < 0 ? 0 : fire > 0xFFFF ? 0xFFFF : fire);
}

void SetAssaultParams(int32_t attacker, int32_t building)
{
    AssaultParams = NoAssaultParams;
    AssaultParams.Attacker = AssaultParams.LastAttacker = attacker;
    if (building < 1 || static_cast<size_t>(building) >= GameBuildings.size())
        return;
    const TGameBuilding& b = GameBuildings[static_cast<size_t>(building)];
    AssaultParams.AssaultB = static_cast<uint16_t>(b.AssaultB < 0 ? 0 : b.AssaultB);
    AssaultParams.AssaultC = b.AssaultC;
    AssaultParams.DefenceFire = static_cast<uint16_t>(b.AssaultA < 0 ? 0 : b.AssaultA);
    AddAssaultDefenders(ArmyCount + building);
    for (int32_t i = FirstArmy; i <= ArmyCount && static_cast<size_t>(i) < GameArmies.size(); ++i) {
        const TGameArmy& army = GameArmies[static_cast<size_t>(i)];
        if (i != attacker && army.Active != 0 && army.Building == building && army.Stationary != 0 &&
            GetRelation(i, attacker, false) < 0)
            AddAssaultDefenders(i);
    }
}

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
