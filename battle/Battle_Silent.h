// Battles the world fights without showing them: the assault values of a
// planned assault and the silent battle of two armies on the battle engine.
#pragma once

#include <cstdint>

#include "model/BattleSide.h"

// The shooting strength of an army's defenders (shooters' AttackShot,
// guards' AttackBlow div 3), added to AssaultParams.DefenceFire, which stops
// at its 16-bit maximum instead of wrapping round.
void AddAssaultDefenders(int32_t army);
// Fills AssaultParams for an assault of `building` by `attacker`: the
// building's values, its garrison's defenders and those of the hostile
// armies stationed in it.
void SetAssaultParams(int32_t attacker, int32_t building);
// A silent battle of attacker against defender (the garrison army when
// building is above 0, an assault of that building), played by the battle
// engine; both sides come back finished. The assault in progress is kept.
void RunSilentBattle(int32_t attacker, int32_t defender, int32_t building, TBattleSide& attackerSide,
                     TBattleSide& defenderSide);
