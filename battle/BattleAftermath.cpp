#include "battle/BattleAftermath.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>

#include "battle/Battle.h"
#include "model/ai/AIMain_Checked.h"
#include "model/ai/AIMain_Movement.h"
#include "model/ai/AIMain_Targets.h"
#include "model/ai/AIMain_Walking.h"
#include "model/world/Army_Formation.h"
#include "battle/BattleOutcome.h"
#include "model/FixedPoint.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global_Texts.h"
#include "model/world/Prices.h"
#include "model/SceneHooks.h"
#include "model/world/World_Clock.h"
#include "model/world/World_Economy.h"
#include "model/world/World_Log.h"

TBattleRewards BattleRewards;

namespace {

constexpr int HorseSlot = 13;
constexpr int LanceSlot = 14;

bool LeftTheField(uint8_t state)
{
    return state == StateLeft || state == StateFallen || state == StateKilled;
}

void LevelUpArmy(int32_t army)
{
    TIntArray removed;
    for (int32_t s = 1; s <= UsedSlots(ArmyAt(army)); ++s)
        if (PersonageAt(army, s).UnitType != 0)
            LevelUp(army, s, -1, removed);
}

// A computer rider that lost its horse in the battle gets it back, and the
// lance it had put aside returns to its hand.
void RestoreHorses(int32_t army)
{
    for (int32_t s = 1; s <= UsedSlots(ArmyAt(army)); ++s) {
        TPersonage& p = PersonageAt(army, s);
        if (p.Equipment[HorseSlot] >= 0)
            continue;
        p.Equipment[HorseSlot] = -p.Equipment[HorseSlot];
        std::swap(p.Equipment[1], p.Equipment[LanceSlot]);
        ReloadPersonage(p, 0);
    }
}

bool HasBoss(int32_t army)
{
    for (int32_t s = 1; s <= UsedSlots(ArmyAt(army)); ++s) {
        const TPersonage& p = PersonageAt(army, s);
        if (p.UnitType != 0 && p.SortGroup == static_cast<uint8_t>(TSortGroup::Bosses))
            return true;
    }
    return false;
}

// The other computer armies learn from the player's battles.
void CatchUpExperience(const TBattleSide& player, int32_t army1, int32_t army2)
{
    if (player.ExperienceGained <= 0 || player.StartCount <= 0)
        return;
    int64_t y = player.ExperienceGained / player.StartCount;
    y = y * CurrentDifficulty().EnemyExperienceFromHero / 100;
    TIntArray removed;
    for (int32_t i = FirstArmy; i <= ArmyCount; ++i) {
        if (i == army1 || i == army2 || ArmyAt(i).Active == 0)
            continue;
        for (int32_t s = 1; s <= UsedSlots(ArmyAt(i)); ++s) {
            TPersonage& p = PersonageAt(i, s);
            if (p.UnitType == 0 || p.Hits <= 1)
                continue;
            p.Experience = ClampToInt32(p.Experience + y);
            LevelUp(i, s, -1, removed);
        }
    }
}

// An item the table does not know is of no uniqueness: a damaged bag must
// not stop the aftermath.
int32_t UniqueOf(int32_t item)
{
    const TItems* found = FindItem(item);
    return found != nullptr ? found->Unique : 0;
}

bool IsKind(int32_t item, TItemType kind)
{
    return ItemMainType(item) == static_cast<int32_t>(kind);
}

// The winner's interest in each of the loser's items: 4, less for what it
// already carries plenty of and for what is worth little.
void RankTrophies(TTrophyList& loser, const TTrophyList& winner)
{
    for (size_t k = 1; k < loser.size(); ++k) {
        TTrophyEntry& e = loser[k];
        e.Priority += 4;
        if (UniqueOf(e.Item) >= 4)
            continue;
        const bool isItem = IsKind(e.Item, TItemType::Item);
        const bool jewel = IsKind(e.Item, TItemType::Amulet) || IsKind(e.Item, TItemType::Ring) ||
                           IsKind(e.Item, TItemType::Potion);
        for (size_t w = 1; w < winner.size(); ++w) {
            if (winner[w].Item != e.Item || isItem)
                continue;
            if (jewel)
                e.Priority -= winner[w].Count > 4 ? 2 : winner[w].Count > 2 ? 1 : 0;
            else
                e.Priority -= winner[w].Count > 1 ? 2 : 1;
        }
        if (isItem)
            continue;
        if (e.Worth < loser[0].Worth)
            e.Priority -= 1;
        if (e.Worth < winner[0].Worth)
            e.Priority -= static_cast<int64_t>(e.Worth) * 2 < winner[0].Worth ? 2 : 1;
    }
}

bool IsBattleTrophyItem(int32_t item)
{
    for (int k = 1; k <= 3; ++k)
        if (BattleTrophies[k] == item)
            return true;
    return false;
}

void AddTrophy(int32_t item)
{
    BattleRewards.Trophies.push_back(static_cast<uint16_t>(item));
}

// Copies the winner takes, and the value pools of the rest by uniqueness.
void DivideTrophies(TTrophyList& loser)
{
    int64_t reserve = 3;
    for (size_t k = 1; k < loser.size(); ++k)
        if (loser[k].Priority == 3 || loser[k].Priority == 4)
            reserve += loser[k].Count;
    BattleRewards.Trophies.reserve(static_cast<size_t>(std::min<int64_t>(reserve, 4096)));
    int64_t pools[4] = {0, 0, 0, 0};
    for (size_t k = 1; k < loser.size(); ++k) {
        TTrophyEntry& e = loser[k];
        if ((e.Priority == 3 || e.Priority == 4) && e.Count > 0) {
            AddTrophy(e.Item);
            --e.Count;
            if (e.Count > 0 && IsKind(e.Item, TItemType::Potion)) {
                AddTrophy(e.Item);
                --e.Count;
            } else if (IsKind(e.Item, TItemType::Item) && !IsBattleTrophyItem(e.Item)) {
                for (; e.Count > 0; --e.Count)
                    AddTrophy(e.Item);
            }
        }
        const int32_t unique = UniqueOf(e.Item);
        if (unique >= 1 && unique <= 3)
            pools[unique] += static_cast<int64_t>(e.Value) * e.Count;
    }
    // A pool too small for its trophy passes on to the next lower one.
    for (int k = 3; k >= 1; --k) {
        const TItems* trophy = FindItem(BattleTrophies[k]);
        if (trophy != nullptr && static_cast<int64_t>(trophy->Cost) * BattleTrophiesMultiplier[k] < pools[k])
            AddTrophy(BattleTrophies[k]);
        else if (k > 1)
            pools[k - 1] += pools[k];
    }
}

// The fallen losers' equipment is lost, but for what the type itself wears;
// an undead keeps its plain items. Their pocket money goes to the winner.
void StripFallen(const TBattleSide& loser)
{
    for (int32_t n = 1; n <= StartedCount(loser); ++n) {
        if (!LeftTheField(loser.Personages[n].BattleState))
            continue;
        TPersonage& p = PersonageAt(loser.Army, loser.ArmySlot[n]);
        if (p.UnitType == 0)
            continue;
        const TPersonage* type = FindUnitType(p.UnitType);
        for (int j = 1; j <= 14; ++j) {
            const int32_t item = p.Equipment[j];
            if (item <= 0)
                continue;
            const int32_t own = type != nullptr ? type->DefaultItems[j] : 0;
            if ((j <= 4 || j == LanceSlot) && item == own)
                continue;
            if (p.Nature == static_cast<uint8_t>(TPersNature::Undead) && UniqueOf(item) <= 0)
                continue;
            p.Equipment[j] = j <= 4 ? own : 0;
        }
        ReloadPersonage(p, 0);
        BattleRewards.TrophyGold = ClampToInt32(static_cast<int64_t>(BattleRewards.TrophyGold) + GetPocketMoney(p));
    }
}

void TakeSpoils(const TBattleSide& winner, const TBattleSide& loser, uint8_t playerEnds)
{
    const int32_t A = winner.Army, B = loser.Army;
    TGameArmy& a = ArmyAt(A);
    TGameArmy& b = ArmyAt(B);
    if (B <= ArmyCount) {
        b.LastFoe = A;
        b.Active = 0;
        b.Defeated = 1;
        b.DefeatClock = GameClock;
        SceneHooks().UpdateArmyModel(B);
        CancelReplan(B);
    }
    BattleRewards.Outcome = playerEnds != 0 ? 3 : loser.Result;
    InvalidateArmyTargets(A);

    const TTrophyList winnerList = BuildTrophyList(winner, false);
    TTrophyList loserList = BuildTrophyList(loser, true);
    RankTrophies(loserList, winnerList);
    DivideTrophies(loserList);

    if (b.Gold > 0) {
        // With no personage left the share is the formula's limit: all of it.
        const long double kept = b.PersonageCount > 0 ? static_cast<long double>(b.AbleCount) / b.PersonageCount : 0;
        BattleRewards.TrophyGold = ClampToInt32(RoundHalfEven((1 - kept) * b.Gold));
        b.Gold -= BattleRewards.TrophyGold;
    }

    b.ItemCount = 0;
    ArmyItems.at(static_cast<size_t>(B)).assign(1, 0);
    StripFallen(loser);

    int32_t marauders = 0;
    for (int32_t n = 1; n <= StartedCount(winner); ++n) {
        const TPersonage& p = winner.Personages[n];
        if (p.BattleState != StateKilled && p.BonusSet.Has(pMarauder))
            ++marauders;
    }
    const int64_t x = static_cast<int64_t>(BonusValue(pMarauder)) * marauders;
    BattleRewards.TrophyGold = ClampToInt32((100 - x) * BattleRewards.TrophyGold / 100);
    BattleRewards.TrophyGold = ApplyPriceFactor(false, BattleRewards.TrophyGold);

    for (const uint16_t item : BattleRewards.Trophies)
        AddArmyItem(A, item);
    a.Gold = ClampToInt32(static_cast<int64_t>(a.Gold) + BattleRewards.TrophyGold);

    if (B > ArmyCount) {
        std::memset(static_cast<void*>(&UnitsAt(B)), 0, sizeof(TArmyUnits));
        b.PersonageCount = b.LivingCount = b.AbleCount = 0;
        std::memset(b.Formation, 0, sizeof b.Formation);
    }
}

void LogBattle(const TBattle& battle, const TBattleSide& side1, const TBattleSide& side2)
{
    if (!WorldLogActive())
        return;
    WorldLog("battle: " + GetArmyLogName(side1.Army) + " against " + GetArmyLogName(side2.Army) + ", arena " +
             std::to_string(battle.ArenaKind) + ", light " + std::to_string(battle.TimeOfDay) + ", results " +
             std::to_string(side1.Result) + "/" + std::to_string(side2.Result) + ", trophies " +
             std::to_string(BattleRewards.Trophies.size()) + ", gold " + std::to_string(BattleRewards.TrophyGold));
}

} // namespace

uint8_t AI_GetBattleResult(TBattle& battle, uint8_t playerEnds)
{
    // Two side records are over 50 KB: the heap, and kept for the next call.
    struct TAftermathSides {
        TBattleSide Side[3];
    };
    thread_local std::unique_ptr<TAftermathSides> room = std::make_unique<TAftermathSides>();
    TBattleSide* sides = room->Side;
    int32_t W = 0, L = 0;
    BattleRewards.Trophies.clear();
    BattleRewards.TrophyGold = 0;
    try {
        battle.Finish(sides[1], sides[2]);
        const int32_t p = sides[1].Army == PlayerArmy ? 1 : sides[2].Army == PlayerArmy ? 2 : 0;

        if (sides[2].Result == SideWon)
            W = 2;
        else if (sides[1].Result == SideWon)
            W = 1;
        if (playerEnds != 0 && p > 0)
            W = p;
        if (W == 0 && p > 0)
            W = 3 - p; // a battle the player does not win is lost
        if (battle.FastBattle != 0 && p > 0 && W == p && HasBoss(sides[3 - p].Army))
            W = 3 - p;
        L = W > 0 ? 3 - W : 0;

        ApplyBattleOutcome(sides[1]);
        ApplyBattleOutcome(sides[2]);
        LevelUpArmy(sides[1].Army);
        LevelUpArmy(sides[2].Army);
        for (int s = 1; s <= 2; ++s)
            if (sides[s].Army != PlayerArmy)
                RestoreHorses(sides[s].Army);

        if (p > 0) {
            ++DayBattleCount;
            CatchUpExperience(sides[p], sides[1].Army, sides[2].Army);
        }
        for (int k = 1; k <= 12; ++k)
            BattleRewards.SlotExperience[k] = 0;
        if (p > 0)
            for (int32_t n = 1; n <= std::min(StartedCount(sides[p]), 12); ++n) {
                const TPersonage& c = sides[p].Personages[n];
                const int32_t slot = sides[p].ArmySlot[n];
                if (c.BattleState != StateKilled && slot >= 1 && slot <= 12)
                    BattleRewards.SlotExperience[slot] = c.BattleExperience;
            }
        for (int s = 1; s <= 2; ++s)
            if (sides[s].Army != PlayerArmy)
                ArrangeFormation(sides[s].Army, 7);

        if (W > 0)
            TakeSpoils(sides[W], sides[L], playerEnds);

        const TAssaultParams before = AssaultParams;
        AssaultParams = NoAssaultParams;
        AssaultParams.LastAttacker = before.Attacker;
        AssaultParams.AssaultC = before.AssaultC;

        if (p == 0 && W > 0 && sides[W].Army > ArmyCount) {
            const int32_t b = sides[W].Army - ArmyCount;
            if (IsWorldBuilding(b) && GameBuildings[static_cast<size_t>(b)].OwnerArmy == PlayerArmy)
                AddMapNotice(3, sides[L].Army, b, 0);
        }
    } catch (const std::exception&) {
        const int32_t winner = W > 0 ? sides[W].Army : sides[1].Army;
        const int32_t loser = L > 0 ? sides[L].Army : sides[2].Army;
        ReportMainAIError("AI_GetBattleResult, time " + FormatGameDate(GameClock) + ", army " +
                          GetArmyLogName(winner) + " defeat " + GetArmyLogName(loser));
    }
    LogBattle(battle, sides[1], sides[2]);
    return sides[1].Result;
}
