#include "model/ai/AIMain_PlayerBattle.h"

#include <memory>

#include "battle/Battle.h"
#include "battle/BattleAftermath.h"
#include "battle/BattleArena.h"
#include "battle/BattleSide.h"
#include "model/save/BetaLog.h"
#include "model/world/Army_Formation.h"
#include "model/world/World_Access.h"

uint8_t HeadlessPlayerBattle(int32_t army, int32_t party)
{
    ValidateFormation(army);
    ValidateFormation(party);
    BuildBattleSide(army, 0, AttackerSide);
    BuildBattleSide(party, 1, DefenderSide);
    const TCellXZ cell = GameArmies[static_cast<size_t>(army)].Cell;
    const TArenaChoice arena = ChooseBattleArena(cell.X, cell.Z);
    // The map screen's light base: 0 from the start of a scenario.
    const uint8_t light = GetBattleLightVariant(0, GameClock);
    BetaLogWriteBattleStart(army, party, arena.ArenaKind);
    auto battle = std::make_unique<TBattle>();
    battle->Init(AttackerSide, DefenderSide, arena.ArenaKind, light, Silent);
    const uint8_t result = AI_GetBattleResult(*battle, 0);
    BetaLogWriteBattleEnd();
    return result;
}
