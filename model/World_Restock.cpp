// The daily restocking of shops and hire slots.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "model/AIMain_Buildings.h"
#include "model/AIMain_Movement.h"
#include "model/AIMain_Random.h"
#include "model/Personage_Rules.h"
#include "model/Prices.h"
#include "model/World_Access.h"
#include "model/World_Economy.h"

namespace {

constexpr int32_t ShopSize = 40;
constexpr int32_t UniqueShopItem = 4;
constexpr uint8_t PotionKind = static_cast<uint8_t>(TItemType::Potion);

// Kind groups of the shop limits: weapons, armour, potions, steeds, others.
enum TShopGroup : int8_t { sgNone = -1, sgWeapons, sgArmour, sgPotions, sgSteeds, sgOthers };

TShopGroup ShopGroupOf(uint8_t kind)
{
    if (kind <= 12 || (kind >= 14 && kind <= 22))
        return sgWeapons;
    if (kind >= 23 && kind <= 26)
        return sgArmour;
    if (kind == PotionKind)
        return sgPotions;
    if (kind == 32 || kind == 33)
        return sgSteeds;
    if (kind == 27 || kind == 28 || kind == 30 || kind == 31)
        return sgOthers;
    return sgNone;
}

// The limits of one shop's record for a group.
struct TShopRules {
    int32_t Limit[5];
    int32_t MinCost[5];
    int32_t MaxCost[5];
};

TShopRules ShopRulesOf(const TMapBuilding& r)
{
    return TShopRules{
        {r.ShopGroupLimits[1], r.ShopGroupLimits[2], r.ShopGroupLimits[4], r.ShopLimitS, r.ShopGroupLimits[3]},
        {r.ShopMinCost[1], r.ShopMinCost[2], r.ShopMinCost[4], r.ShopMinCostS, r.ShopMinCost[3]},
        {r.ShopMaxCost[1], r.ShopMaxCost[2], r.ShopMaxCost[4], r.ShopMaxCostS, r.ShopMaxCost[3]},
    };
}

bool AdmitsAlignment(const TMapBuilding& r, uint8_t alignment)
{
    const bool good = r.ShopAlignment[1] != 0, neutral = r.ShopAlignment[2] != 0, evil = r.ShopAlignment[3] != 0;
    switch (static_cast<TAlignment>(alignment)) {
    case TAlignment::Good:
        return good;
    case TAlignment::Evil:
        return evil;
    case TAlignment::MaxGood:
        return good && !evil;
    case TAlignment::MaxEvil:
        return evil && !good;
    default:
        return neutral;
    }
}

int32_t UniqueCountOf(int32_t item)
{
    return static_cast<size_t>(item) < ShopUniqueCount.size() ? ShopUniqueCount[static_cast<size_t>(item)] : 0;
}

// One candidate of a shop: an item (potions twice) with its drawn key.
struct TCandidate {
    int32_t Key;
    int32_t Item;
};

// The draws of one shop, in the order candidates are listed: each item,
// a potion followed by its second copy. A unique item no shop holds gets
// key 0 without a draw for its first copy.
void DrawCandidateKeys(std::vector<TCandidate>& candidates)
{
    candidates.clear();
    const int32_t count = std::min(ItemCount, ItemMax);
    for (int32_t i = 1; i <= count; ++i) {
        const TItems& it = ItemTable[i];
        const int32_t cost = std::abs(it.Cost);
        if (it.Unique == UniqueShopItem && UniqueCountOf(i) == 0)
            candidates.push_back({0, i});
        else
            candidates.push_back({RandomBelow(ItemMaxCost) + cost, i});
        if (it.MainType == PotionKind)
            candidates.push_back({RandomBelow(ItemMaxCost) + cost, i});
    }
}

// Whether the shop takes an item at all, whatever its group counter says.
bool ShopDealsIn(int32_t building, const TMapBuilding& record, const TShopRules& rules, int32_t item)
{
    const TItems& it = ItemTable[item];
    const TShopGroup group = ShopGroupOf(it.MainType);
    if (group == sgNone || GetShopKindFlag(building, item) == 0 || !AdmitsAlignment(record, it.Alignment))
        return false;
    if (it.Cost < rules.MinCost[group] || it.Cost > rules.MaxCost[group])
        return false;
    return it.Unique != UniqueShopItem || UniqueCountOf(item) > 0;
}

} // namespace

uint8_t GetShopKindFlag(int32_t building, int32_t item)
{
    const TItems* it = FindItem(item);
    if (it == nullptr || !IsWorldBuilding(building))
        return 0;
    const int32_t flag = GetItemTradeSwitch(MapBuildings[building], *it, true);
    return static_cast<uint8_t>(flag < 0 ? 0 : flag);
}

void FillShopAssortment(int32_t building, TRangeArray<int32_t, 1, 40>& shopItems)
{
    if (!IsWorldBuilding(building))
        return;
    const TMapBuilding& record = MapBuildings[building];
    const TShopRules rules = ShopRulesOf(record);

    static thread_local std::vector<TCandidate> candidates;
    DrawCandidateKeys(candidates);
    // Only what the shop may take is ordered: a stable sort of those keeps
    // the order of a full sort (smallest key first, the earliest among
    // equals) with far less work.
    const auto taken = std::stable_partition(candidates.begin(), candidates.end(), [&](const TCandidate& c) {
        return c.Key > 0 && ShopDealsIn(building, record, rules, c.Item);
    });
    // stable_partition keeps the relative order of the kept candidates.
    std::stable_sort(candidates.begin(), taken, [](const TCandidate& a, const TCandidate& b) { return a.Key < b.Key; });

    int32_t counters[5] = {};
    int32_t empty = 0;
    for (int32_t j = 1; j <= ShopSize; ++j) {
        const int32_t entry = shopItems[j];
        if (entry == 0) {
            ++empty;
        } else if (entry < 0) {
            const TItems* it = FindItem(entry);
            const TShopGroup group = it ? ShopGroupOf(it->MainType) : sgNone;
            if (group != sgNone)
                ++counters[group];
        }
    }
    int32_t next = 1;
    for (auto c = candidates.begin(); c != taken && empty > 0; ++c) {
        const TShopGroup group = ShopGroupOf(ItemTable[c->Item].MainType);
        if (counters[group] >= rules.Limit[group])
            continue;
        ++counters[group];
        while (shopItems[next] != 0)
            ++next;
        shopItems[next] = c->Item;
        --empty;
    }
}

int32_t ResolveUnitType(int32_t n)
{
    if (n < 250)
        return n;
    const int32_t pool = n - 250;
    if (pool >= RecruitPoolCount)
        return 0;
    const TIntArray& weighted = RecruitPools[pool].Weighted;
    if (weighted.empty() || weighted[0] <= 0)
        return 0;
    const int32_t count = std::min<int32_t>(weighted[0], static_cast<int32_t>(weighted.size()) - 1);
    if (count <= 0)
        return 0;
    return weighted[static_cast<size_t>(RandomBelow(count)) + 1];
}

bool IsHireRestockDue(int32_t building, int32_t slot, int32_t garrison, int32_t day)
{
    if (!IsWorldBuilding(building) || slot < 1 || slot > 9)
        return false;
    const TMapHireSlot& d = MapBuildings[building].HireSlots[slot];
    const THireSlot& state = GameBuildings[static_cast<size_t>(building)].HireSlots[slot];
    if (d.UnitType == 0 || state.Stock >= d.MaxStock)
        return false;
    if (d.Closed != 0) {
        const TGameArmy* guards = FindArmy(garrison);
        if (guards == nullptr || guards->PersonageCount >= MapBuildings[building].ActionsKind)
            return false;
    }
    const int32_t period = d.Growth;
    const int32_t first = state.LastRestockDay + period - state.BonusDays;
    if (day < first)
        return false;
    // Growth comes on a random day of the next third of the period at the
    // latest.
    const int32_t x = (period - state.BonusDays) / 3;
    if (day == first + x)
        return true;
    return RandomBelow(x + 1) == 0;
}

void RestockHireSlots(int32_t building)
{
    if (!IsWorldBuilding(building))
        return;
    const int32_t g = GetGarrisonArmyIndex(building);
    const int32_t day = static_cast<int32_t>(GameClock / 1440 / 10000);
    TGameBuilding& state = GameBuildings[static_cast<size_t>(building)];
    for (int32_t s = 1; s <= 9; ++s) {
        const TMapHireSlot& d = MapBuildings[building].HireSlots[s];
        THireSlot& slot = state.HireSlots[s];
        if (d.Closed != 0)
            if (const TGameArmy* guards = FindArmy(g)) {
                const TArmyUnits& units = ArmyUnits[static_cast<size_t>(g)];
                const TIntArray* pool = d.UnitType >= 250 && d.UnitType - 250 < RecruitPoolCount
                                            ? &RecruitPools[d.UnitType - 250].Unique
                                            : nullptr;
                int32_t count = 0;
                for (int32_t q = 1; q <= UsedSlots(*guards); ++q) {
                    const int32_t type = units[q].UnitType;
                    if (type == 0)
                        continue;
                    if (d.UnitType < 250)
                        count += type == d.UnitType ? 1 : 0;
                    else if (pool != nullptr)
                        for (size_t k = 1; k < pool->size() && k <= static_cast<size_t>(std::max(0, (*pool)[0])); ++k)
                            count += (*pool)[k] == type ? 1 : 0;
                }
                slot.Stock = static_cast<int16_t>(count);
            }
        if (!IsHireRestockDue(building, s, g, day))
            continue;
        // An empty recruit pool draws nothing: no personage, no stock.
        if (d.Closed != 0) {
            const int32_t type = ResolveUnitType(d.UnitType);
            if (type != 0) {
                AddPersonageSimple(g, type, 0);
                UpdateArmyTotals(g);
            }
        } else {
            if (slot.Stock <= 0)
                slot.UnitType = static_cast<int16_t>(ResolveUnitType(d.UnitType));
            if (slot.UnitType != 0)
                slot.Stock = static_cast<int16_t>(slot.Stock + 1);
        }
        slot.LastRestockDay = static_cast<int16_t>(day);
        if (slot.BonusDaysLeft > 0) {
            slot.BonusDaysLeft = static_cast<int16_t>(slot.BonusDaysLeft - 1);
            if (slot.BonusDaysLeft == 0)
                slot.BonusDays = 0;
        }
    }
}

int32_t CountOpenHireSlots(int32_t building, int32_t army)
{
    if (!IsWorldBuilding(building))
        return 0;
    int32_t count = 0;
    for (int32_t s = 1; s <= 9; ++s) {
        const TMapHireSlot& d = MapBuildings[building].HireSlots[s];
        if (d.UnitType != 0 && d.Closed == 0 && (army == PlayerArmy ? d.PlayerMayHire : d.ComputerMayHire) != 0)
            ++count;
    }
    return count;
}

void RestockBuildings(bool reset)
{
    const int32_t last = LastWorldBuilding();
    if (reset)
        for (int32_t b = 1; b <= last; ++b) {
            TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
            for (int32_t j = 1; j <= ShopSize; ++j)
                state.ShopItems[j] = 0;
            if (MapBuildings[b].HasShop != 0)
                for (int32_t j = 1; j <= 8; ++j)
                    if (MapBuildings[b].ShopItems[j] != 0)
                        state.ShopItems[j] = -static_cast<int32_t>(MapBuildings[b].ShopItems[j]);
        }

    ShopUniqueCount.assign(static_cast<size_t>(std::max(0, std::min(ItemCount, ItemMax))) + 1, 0);
    for (int32_t b = 1; b <= last; ++b) {
        if (MapBuildings[b].HasShop == 0)
            continue;
        TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
        for (int32_t j = 1; j <= ShopSize; ++j) {
            int32_t& entry = state.ShopItems[j];
            if (entry == 0)
                continue;
            const TItems* it = FindItem(entry);
            if (it != nullptr && it->Unique == UniqueShopItem)
                ShopUniqueCount[static_cast<size_t>(GetItemIndex(entry))] += 1;
            // Drawn items make way for today's draw; fixed ones stay.
            if (entry > 0)
                entry = 0;
        }
    }

    for (int32_t b = 1; b <= last; ++b) {
        AI_SeedRandom(b, 0, 0);
        if (MapBuildings[b].HasShop != 0)
            FillShopAssortment(b, GameBuildings[static_cast<size_t>(b)].ShopItems);
        if (MapBuildings[b].HasHire != 0)
            RestockHireSlots(b);
    }
}
