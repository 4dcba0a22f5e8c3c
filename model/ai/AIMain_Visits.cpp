// The building visit of a computer army: it takes the treasury of its own
// building, sells what it can spare, buys what makes its personages
// stronger, heals, swaps recruits with the garrison, hires and rests.
#include <algorithm>
#include <exception>
#include <numeric>

#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Checked.h"
#include "model/ai/AIMain_Movement.h"
#include "model/ai/AIMain_Targets.h"
#include "model/ai/AIMain_Walking.h"
#include "model/world/Army_Operations.h"
#include "model/FixedPoint.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global_Texts.h"
#include "model/world/Prices.h"
#include "model/SceneHooks.h"
#include "model/world/World_Clock.h"
#include "model/world/World_Economy.h"
#include "model/world/World_Log.h"

TVisitReport LastVisit;

namespace {

using TN = TPersNature;

constexpr uint8_t K(TN kind)
{
    return static_cast<uint8_t>(kind);
}

// One row of the hire score table: the scores of the leader kinds listed
// (None ends the list) for unit kinds.
struct THireRow {
    TN Leaders[3];
    struct {
        TN Unit;
        int32_t Score;
    } Scores[8];
};

const THireRow HireRows[] = {
    {{TN::Animal, TN::Monster, TN::Beast}, {{TN::Animal, 10}, {TN::Monster, 10}, {TN::Beast, 10}}},
    {{TN::Recruit}, {{TN::Recruit, 10}, {TN::Hiler, 5}}},
    {{TN::Military},
     {{TN::Recruit, 10},
      {TN::Military, 10},
      {TN::Hiler, 8},
      {TN::Chruchman, 5},
      {TN::Witch, 4},
      {TN::Heretic, 4},
      {TN::Necromant, 4}}},
    {{TN::Leader, TN::Hero},
     {{TN::Recruit, 10},
      {TN::Military, 10},
      {TN::Leader, 10},
      {TN::Hiler, 8},
      {TN::Chruchman, 7},
      {TN::Witch, 6},
      {TN::Heretic, 6},
      {TN::Necromant, 6}}},
    {{TN::Rogue}, {{TN::Rogue, 10}}},
    {{TN::Chruchman}, {{TN::Recruit, 10}, {TN::Military, 10}, {TN::Chruchman, 10}, {TN::Hiler, 5}}},
    {{TN::Witch}, {{TN::Recruit, 10}, {TN::Witch, 10}, {TN::Rogue, 7}, {TN::Heretic, 6}, {TN::Necromant, 6}, {TN::Hiler, 5}}},
    {{TN::Heretic}, {{TN::Recruit, 10}, {TN::Heretic, 10}, {TN::Rogue, 7}, {TN::Witch, 6}, {TN::Necromant, 6}, {TN::Hiler, 5}}},
    {{TN::Necromant}, {{TN::Recruit, 10}, {TN::Necromant, 10}, {TN::Rogue, 7}, {TN::Witch, 6}, {TN::Heretic, 6}, {TN::Hiler, 5}}},
    {{TN::Lich}, {{TN::Undead, 10}, {TN::Vampire, 10}, {TN::Ghost, 10}, {TN::Lich, 10}, {TN::Necromant, 2}}},
};

// Building types and the behaviours whose recruits they swap.
struct TSwapPair {
    TBuildingType Types[3];
    TArmyBehavior Behaviors[4];
    int BehaviorCount;
};
const TSwapPair SwapPairs[] = {
    {{TBuildingType::Town, TBuildingType::Castle, TBuildingType::Fort},
     {TArmyBehavior::Hero, TArmyBehavior::Feudal, TArmyBehavior::Guard, TArmyBehavior::Watch},
     4},
    {{TBuildingType::Monastery, TBuildingType::Church, TBuildingType::Chapel},
     {TArmyBehavior::Chruch, TArmyBehavior::Monk, TArmyBehavior::Chruch, TArmyBehavior::Chruch},
     2},
    {{TBuildingType::Village, TBuildingType::Farm, TBuildingType::House},
     {TArmyBehavior::Bandits, TArmyBehavior::Heretic, TArmyBehavior::Peasant, TArmyBehavior::Peasant},
     3},
};

bool IsLiving(const TPersonage& p)
{
    return p.UnitType != 0 && p.Hits > 0;
}

void TakeTreasury(int32_t a, TGameArmy& army, int32_t b)
{
    TGameBuilding& state = BuildingAt(b);
    if (MapStory.TreasuryMode == 0 || state.OwnerArmy != a || state.Treasury <= 0)
        return;
    army.Gold = ClampToInt32(static_cast<int64_t>(army.Gold) + state.Treasury);
    state.Treasury = 0;
    ArmyAt(GetGarrisonArmyIndex(b)).Gold = 0;
}

void SellItems(int32_t a, TGameArmy& army, int32_t b)
{
    TIntArray& bag = ArmyItems.at(static_cast<size_t>(a));
    if (army.ItemCount < 0 || bag.size() <= static_cast<size_t>(army.ItemCount))
        bag.resize(static_cast<size_t>(std::max(army.ItemCount, 0)) + 1, 0);
    TRangeArray<int32_t, 1, 40>& shop = BuildingAt(b).ShopItems;
    int32_t i = 1;
    while (i <= army.ItemCount) {
        const int32_t item = bag[static_cast<size_t>(i)];
        const int32_t index = GetItemIndex(item);
        const int32_t price = GetItemTradePrice(TradeSell, index, a, b);
        const TItems* table = FindItem(item);
        if (!ShouldSellItem(army.Gold, army.DailyBalance, price, table != nullptr ? table->Cost : 0)) {
            ++i;
            continue;
        }
        army.Gold = ClampToInt32(static_cast<int64_t>(army.Gold) + price);
        if (GetShopKindFlag(b, item) != 0)
            for (int32_t e = 1; e <= 40; ++e)
                if (shop[e] == 0) {
                    shop[e] = item;
                    break;
                }
        bag[static_cast<size_t>(i)] = bag[static_cast<size_t>(army.ItemCount)];
        bag.resize(static_cast<size_t>(army.ItemCount));
        --army.ItemCount;
        ++LastVisit.Sold;
    }
}

void BuyItems(int32_t a, TGameArmy& army, int32_t b)
{
    TRangeArray<int32_t, 1, 40>& shop = BuildingAt(b).ShopItems;
    if (shop[1] == 0)
        return;
    SortShopItems(b);
    bool leaderChanged = false;
    for (int32_t e = 1; e <= 40 && shop[e] > 0; ++e) {
        const int32_t item = shop[e];
        const int32_t price = GetItemTradePrice(TradeBuy, GetItemIndex(item), a, b);
        if (army.Gold <= price)
            continue;
        int32_t best = 0, bestGain = 0;
        for (int32_t s = 1; s <= UsedSlots(army); ++s) {
            if (!IsLiving(PersonageAt(a, s)))
                continue;
            const int32_t gain = CalcSlotItemGain(a, s, item);
            if (gain > bestGain) {
                best = s;
                bestGain = gain;
            }
        }
        if (best == 0)
            continue;
        TIntArray removed;
        EquipItem(PersonageAt(a, best), item, -1, removed, 1.0f);
        for (const int32_t off : removed)
            AddArmyItem(a, off);
        army.Gold = ClampToInt32(static_cast<int64_t>(army.Gold) - price);
        shop[e] = 0;
        leaderChanged = leaderChanged || best == 1;
        ++LastVisit.Bought;
    }
    if (leaderChanged)
        SceneHooks().UpdateArmyModel(a);
}

void Heal(int32_t a, TGameArmy& army)
{
    std::vector<int32_t> order;
    for (int32_t s = 1; s <= UsedSlots(army); ++s)
        if (IsLiving(PersonageAt(a, s)))
            order.push_back(s);
    std::stable_sort(order.begin(), order.end(),
                     [&](int32_t x, int32_t y) { return PersonageAt(a, x).Strength > PersonageAt(a, y).Strength; });
    for (const int32_t s : order) {
        const int32_t gold = army.Gold;
        if (GetHealingCost(a, s, HealBoth) > 0 && army.Gold != gold)
            ++LastVisit.Healed;
    }
    UpdateArmyTotals(a);
}

bool IsPoolMember(int32_t pool, int32_t type)
{
    if (pool < 0 || pool >= RecruitPoolCount)
        return false;
    const TIntArray& list = RecruitPools[pool].Unique;
    for (size_t k = 1; k < list.size() && static_cast<int32_t>(k) <= list[0]; ++k)
        if (list[k] == type)
            return true;
    return false;
}

// Recruits of the army change places with stronger recruits of the same
// kind that the garrison's closed slots raised.
void SwapWithGarrison(int32_t a, TGameArmy& army, int32_t b, const TMapBuilding& record)
{
    const int32_t g = GetGarrisonArmyIndex(b);
    const TGameArmy& garrison = ArmyAt(g);
    int32_t k = 0, m = 0;
    bool marked[16] = {};
    for (int32_t s = 1; s <= 9; ++s) {
        const TMapHireSlot& slot = record.HireSlots[s];
        if (slot.Closed == 0)
            continue;
        k += slot.MaxStock;
        for (int32_t j = 1; j <= UsedSlots(garrison); ++j) {
            const int32_t type = PersonageAt(g, j).UnitType;
            if (marked[j] || type == 0)
                continue;
            if (type == slot.UnitType || (slot.UnitType >= 250 && IsPoolMember(slot.UnitType - 250, type))) {
                marked[j] = true;
                ++m;
            }
        }
    }
    if (army.PersonageCount >= ArmyHireSlots || m <= k / 2)
        return;
    for (int32_t s = 1; s <= UsedSlots(army); ++s) {
        TPersonage& own = PersonageAt(a, s);
        if (own.UnitType == 0 || own.HireKind != hireRecruit)
            continue;
        for (int32_t j = 1; j <= UsedSlots(garrison); ++j) {
            TPersonage& other = PersonageAt(g, j);
            if (marked[j] && other.Kind == own.Kind && other.Strength > own.Strength) {
                SwapPersonages(own, other);
                ++LastVisit.Swapped;
            }
        }
    }
    if (LastVisit.Swapped > 0) {
        UpdateArmyTotals(a);
        UpdateArmyTotals(g);
    }
}

void HireUnits(int32_t a, TGameArmy& army, int32_t b, const TMapBuilding& record)
{
    for (bool hired = true; hired;) {
        hired = false;
        if (army.PersonageCount >= ArmyHireSlots)
            return;
        const THireTotals totals = CountHireTotals(a);
        int32_t best = 0;
        int64_t bestScore = 0;
        for (int32_t s = 1; s <= 9; ++s) {
            if (record.HireSlots[s].ComputerMayHire == 0)
                continue;
            const int64_t score = HireScore(a, b, s, totals);
            if (score > bestScore) {
                best = s;
                bestScore = score;
            }
        }
        if (best == 0)
            return;
        const int32_t price = GetHirePrice(b, best, a);
        if (HireIntoArmy(a, b, best) == 0)
            return;
        army.Gold = ClampToInt32(static_cast<int64_t>(army.Gold) - price);
        --BuildingAt(b).HireSlots[best].Stock;
        CalcArmyEconomy(a, -1);
        UpdateArmyTotals(a);
        ++LastVisit.Hired;
        hired = true;
    }
}

void Rest(int32_t a, TGameArmy& army, int32_t b)
{
    const TMapArmy& scenario = ScenarioArmy(a);
    const TArmyBehaviorRules& rules = BehaviorRulesOf(scenario);
    const uint8_t type = MapBuildings[b].BuildingType;
    if (scenario.WaitsInBuildings == 0 || type >= 32 || (rules.RestBuildings & (1 << type)) == 0)
        return;
    if (RestTimeOffset(a) != 0) {
        SetArmyWait(a, 2, rules.RestTime);
        LastVisit.Rested = true;
    }
    const auto behavior = static_cast<TArmyBehavior>(scenario.Behavior);
    if ((behavior == TArmyBehavior::Ghosts || behavior == TArmyBehavior::Undeads) && army.Hidden == 0) {
        army.Hidden = 1;
        SceneHooks().UpdateArmyModel(a);
    }
}

void LogVisit(int32_t a, int32_t b)
{
    if (!WorldLogActive())
        return;
    const TVisitReport& v = LastVisit;
    WorldLog("visit: " + GetArmyLogName(a) + " in " + GetBuildingLogName(b) + ": sold " + std::to_string(v.Sold) +
             ", bought " + std::to_string(v.Bought) + ", healed " + std::to_string(v.Healed) + ", swapped " +
             std::to_string(v.Swapped) + ", hired " + std::to_string(v.Hired) + ", rested " +
             std::to_string(v.Rested ? 1 : 0));
}

} // namespace

int32_t HireKindScore(uint8_t leaderKind, uint8_t unitKind, bool garrisonOwner)
{
    for (const THireRow& row : HireRows) {
        if (std::none_of(std::begin(row.Leaders), std::end(row.Leaders),
                         [&](TN kind) { return kind != TN::None && K(kind) == leaderKind; }))
            continue;
        for (const auto& entry : row.Scores)
            if (entry.Score > 0 && K(entry.Unit) == unitKind)
                return entry.Score;
        // A leader or hero also takes garrison troops of its own building.
        const bool leads = row.Leaders[0] == TN::Leader;
        return leads && garrisonOwner && unitKind == K(TN::Garrison) ? 5 : 0;
    }
    return 0;
}

bool IsGarrisonSwapPair(uint8_t buildingType, uint8_t behavior)
{
    for (const TSwapPair& pair : SwapPairs) {
        const bool type = std::any_of(std::begin(pair.Types), std::end(pair.Types),
                                      [&](TBuildingType t) { return static_cast<uint8_t>(t) == buildingType; });
        const bool kind = std::any_of(pair.Behaviors, pair.Behaviors + pair.BehaviorCount,
                                      [&](TArmyBehavior h) { return static_cast<uint8_t>(h) == behavior; });
        if (type && kind)
            return true;
    }
    return false;
}

bool ShouldSellItem(int64_t gold, int64_t dailyBalance, int64_t price, int64_t cost)
{
    const int64_t m = gold + 5 * dailyBalance;
    // A priceless item has no ratio: only need sells it.
    const long double r = cost > 0 ? static_cast<long double>(price) / cost * 10000 : 0;
    return m < 250 || (m < 500 && r >= 5000) || (m < 1000 && r >= 6000) || (m < 2000 && r >= 7000);
}

THireTotals CountHireTotals(int32_t a)
{
    THireTotals t;
    const TGameArmy* army = FindArmy(a);
    if (army == nullptr)
        return t;
    for (int32_t s = 1; s <= UsedSlots(*army); ++s) {
        const TPersonage& p = ArmyUnits[static_cast<size_t>(a)][s];
        if (!IsLiving(p))
            continue;
        if (p.AttackMode == AttackModeFight) {
            t.F += p.Strength;
            ++t.f;
        } else if (p.AttackMode == AttackModeShoot) {
            t.S += p.Strength * 3 / 2;
            ++t.s;
        } else if (p.AttackMode == AttackModeSpell) {
            t.C += 2 * p.Strength;
            ++t.c;
        }
    }
    return t;
}

int64_t HireScore(int32_t a, int32_t b, int32_t slot, const THireTotals& t)
{
    const TGameArmy& army = ArmyAt(a);
    if (slot < 1 || slot > 9)
        throw std::out_of_range("hire slot " + std::to_string(slot));
    const TMapHireSlot& record = MapBuildings[b].HireSlots[slot];
    const THireSlot& state = BuildingAt(b).HireSlots[slot];
    if (record.Closed != 0 || state.Stock <= 0 || army.PersonageCount >= ArmyHireSlots)
        return 0;
    const TPersonage* type = FindUnitType(state.UnitType);
    if (type == nullptr)
        return 0;
    const bool owner = BuildingAt(b).OwnerArmy == a;
    int64_t v = HireKindScore(PersonageAt(a, 1).Kind, type->Kind, owner);
    if (v == 0)
        return 0;
    const int64_t p = t.F + t.S + t.C;
    if (type->AttackMode == AttackModeFight) {
        v = v * p / (t.F + 100);
        if (t.f >= 5)
            v /= 4;
    } else if (type->AttackMode == AttackModeShoot) {
        v = v * p / (t.S + 100);
        if (t.s >= 4)
            v /= 4;
    } else if (type->AttackMode == AttackModeSpell) {
        v = v * p / (t.C + 100);
        if (t.c >= 3)
            v /= 4;
    }
    v *= type->Strength;
    const int64_t price = GetHirePrice(b, slot, a);
    if (army.Gold <= price)
        return 0;
    const int64_t gold = army.Gold, balance = army.DailyBalance;
    switch (record.HireKind) {
    case hireRecruit:
        return army.RecruitCount >= army.SupportLimit ? 0 : v;
    case hireMercenary:
        return gold - price - 5 * (balance - static_cast<int64_t>(type->Cost) * MercenaryMaintenance / 100) < 0 ? 0
                                                                                                              : v;
    case hireLeader:
        return gold - price + 5 * (balance - static_cast<int64_t>(type->Cost) * LeaderMaintenance / 100) < 0 ? 0
                                                                                                            : v;
    default:
        return v;
    }
}

void AI_Army_MoveInBuilding(int32_t a)
{
    LastVisit = TVisitReport{};
    const TGameArmy* found = FindArmy(a);
    const int32_t b = found != nullptr ? found->Building : 0;
    if (found == nullptr || b == 0)
        return;
    try {
        TGameArmy& army = ArmyAt(a);
        BuildingAt(b);
        const TMapBuilding& record = MapBuildings[b];
        TakeTreasury(a, army, b);
        if (record.HasShop != 0 && army.ItemCount > 0)
            SellItems(a, army, b);
        BuyItems(a, army, b);
        if (record.ServiceC != 0 && army.WoundPercent > 0)
            Heal(a, army);
        if (record.HasHire != 0) {
            if (BuildingAt(b).OwnerArmy == a && record.HasActions != 0 &&
                IsGarrisonSwapPair(record.BuildingType, ScenarioArmy(a).Behavior))
                SwapWithGarrison(a, army, b, record);
            HireUnits(a, army, b, record);
        }
        Rest(a, army, b);
    } catch (const std::exception&) {
        ReportMainAIError("AI_Army_MoveInBuilding, time " + FormatGameDate(GameClock) + ", army " +
                          GetArmyLogName(a) + ", building " + GetBuildingLogName(b));
    }
    LogVisit(a, b);
}
