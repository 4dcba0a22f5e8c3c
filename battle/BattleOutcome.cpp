#include "battle/BattleOutcome.h"

#include <algorithm>

#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Movement.h"
#include "model/tables/GameEnums.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/World_Access.h"

namespace {

// A wounded battle copy (the states of those that left are beside the side).
constexpr uint8_t StateWounded = 2;

// The belt slots: potions drunk in the battle are gone.
constexpr int BeltFirst = 9;
constexpr int BeltLast = 11;

bool Regenerates(const TPersonage& p)
{
    return p.BonusSet.Has(Regeneration) || p.BonusSet.Has(pRegeneration) || p.BonusSet.Has(bRegeneration);
}

// The army personage of battle personage n, nullptr when the side names a
// slot the army does not hold.
TPersonage* ArmyPersonageOf(const TBattleSide& side, int32_t n)
{
    TArmyUnits* units = FindArmyUnits(side.Army);
    const int32_t slot = side.ArmySlot[n];
    if (units == nullptr || !TArmyUnits::InRange(slot))
        return nullptr;
    return &(*units)[slot];
}

} // namespace

void ApplyBattleOutcome(const TBattleSide& side)
{
    for (int32_t n = 1; n <= StartedCount(side); ++n) {
        TPersonage* found = ArmyPersonageOf(side, n);
        if (found == nullptr)
            continue;
        TPersonage& a = *found;
        const TPersonage& c = side.Personages[n];
        a.Experience += c.BattleExperience;
        for (int j = BeltFirst; j <= BeltLast; ++j)
            a.Equipment[j] = c.Equipment[j];
        if (c.BattleState == StateWounded || c.BattleState == StateFallen || c.BattleState == StateKilled) {
            a.WoundClock = GameClock;
            a.WoundsTaken += c.Wounds - a.Wounds;
            a.Wounds = c.Wounds;
        }
        ApplyWoundStats(a, 19);
        a.Hits = std::min(c.Hits, a.Stats[statHits]);
        if (c.BattleState == StateFallen && c.Hits == 0)
            a.Hits = 1;
        if (Regenerates(a))
            a.Hits = a.Stats[statHits];
    }
    UpdateArmyTotals(side.Army);
}

void AddTrophyItem(int32_t item, TTrophyList& list)
{
    if (list.empty())
        list.resize(1);
    for (size_t i = 1; i < list.size(); ++i)
        if (list[i].Item == item) {
            ++list[i].Count;
            return;
        }
    TTrophyEntry entry;
    entry.Item = item;
    const TItems* table = FindItem(item);
    entry.Value = table != nullptr ? table->Cost : 0;
    switch (static_cast<TItemType>(ItemMainType(item))) {
    case TItemType::Amulet:
    case TItemType::Ring:
        entry.Worth = entry.Value * 3;
        break;
    case TItemType::Potion:
        entry.Worth = entry.Value * 2;
        break;
    default:
        entry.Worth = entry.Value;
        break;
    }
    entry.Count = 1;
    list.push_back(entry);
}

TTrophyList BuildTrophyList(const TBattleSide& side, bool onlyFallen)
{
    // The list grows as items come: a full army can hold more distinct items
    // than any fixed room would allow.
    TTrophyList list(1);
    if (const TGameArmy* army = FindArmy(side.Army)) {
        const TIntArray& bag = ArmyItems[static_cast<size_t>(side.Army)];
        const int32_t last = std::min<int32_t>(army->ItemCount, static_cast<int32_t>(bag.size()) - 1);
        for (int32_t i = 1; i <= last; ++i)
            if (bag[static_cast<size_t>(i)] > 0)
                AddTrophyItem(bag[static_cast<size_t>(i)], list);
    }
    for (int32_t n = 1; n <= StartedCount(side); ++n) {
        const uint8_t state = side.Personages[n].BattleState;
        if (onlyFallen && state != StateLeft && state != StateFallen && state != StateKilled)
            continue;
        const TPersonage* a = ArmyPersonageOf(side, n);
        if (a == nullptr)
            continue;
        for (int j = 1; j <= 14; ++j)
            if (a->Equipment[j] > 0)
                AddTrophyItem(a->Equipment[j], list);
    }

    // Selection by Value: the first of the least values moves forward.
    const size_t count = list.size() - 1;
    for (size_t i = 1; i < count; ++i) {
        size_t least = i;
        for (size_t k = i + 1; k <= count; ++k)
            if (list[k].Value < list[least].Value)
                least = k;
        std::swap(list[i], list[least]);
    }

    TTrophyEntry average;
    for (size_t i = 1; i <= count; ++i) {
        if (static_cast<TItemType>(ItemMainType(list[i].Item)) == TItemType::Potion)
            continue;
        average.Value += list[i].Value * list[i].Count;
        average.Worth += list[i].Worth * list[i].Count;
        average.Count += list[i].Count;
    }
    if (average.Count < 1) {
        average.Value = 0;
        average.Worth = 0;
    } else {
        average.Value /= average.Count;
        average.Worth /= average.Count;
    }
    list[0] = average;
    return list;
}

bool IsArmyVisibleToPlayer(int32_t army)
{
    const TGameArmy* a = FindArmy(army);
    const TGameArmy* player = FindArmy(PlayerArmy);
    if (a == nullptr || player == nullptr || a->Active == 0 || a->Hidden != 0)
        return false;
    const int32_t cell = PF_PackCell(a->Cell.X, a->Cell.Z);
    const int32_t playerCell = PF_PackCell(player->Cell.X, player->Cell.Z);
    return GetCellDistance(cell, playerCell) <= ArmyVisibility && a->Building == 0;
}
