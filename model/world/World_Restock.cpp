// The daily restocking of shops and hire slots.
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "engine/QX9_System.h"
#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Movement.h"
#include "model/ai/AIMain_Random.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/Prices.h"
#include "model/world/World_Access.h"
#include "model/world/World_Economy.h"

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

// Which item alignments a shop admits, by TAlignment value; any other value
// counts as neutral.
void AdmittedAlignments(const TMapBuilding& r, bool (&admits)[5])
{
    const bool good = r.ShopAlignment[1] != 0, neutral = r.ShopAlignment[2] != 0, evil = r.ShopAlignment[3] != 0;
    admits[static_cast<int>(TAlignment::Neutral)] = neutral;
    admits[static_cast<int>(TAlignment::Good)] = good;
    admits[static_cast<int>(TAlignment::Evil)] = evil;
    admits[static_cast<int>(TAlignment::MaxGood)] = good && !evil;
    admits[static_cast<int>(TAlignment::MaxEvil)] = evil && !good;
}

int32_t UniqueCountOf(int32_t item)
{
    return static_cast<size_t>(item) < ShopUniqueCount.size() ? ShopUniqueCount[static_cast<size_t>(item)] : 0;
}

// What the shop rules read of an item, gathered once for a whole restock.
struct TShopItem {
    int32_t Cost = 0;
    int32_t KeyBase = 0; // |Cost|
    TShopGroup Group = sgNone;
    uint8_t SwitchSlot = 0; // the trade switch of its kind, 0 none
    uint8_t Alignment = 0;  // 0..4
    bool Unique = false;
    bool Potion = false;
};

std::vector<TShopItem> GatherShopItems()
{
    const int32_t count = std::max(0, std::min(ItemCount, ItemMax));
    std::vector<TShopItem> items(static_cast<size_t>(count) + 1);
    for (int32_t i = 1; i <= count; ++i) {
        const TItems& it = ItemTable[i];
        TShopItem& s = items[static_cast<size_t>(i)];
        s.Cost = it.Cost;
        s.KeyBase = std::abs(it.Cost);
        s.Group = ShopGroupOf(it.MainType);
        s.SwitchSlot = static_cast<uint8_t>(GetItemTradeSwitchSlot(it, true));
        s.Alignment = it.Alignment <= 4 ? it.Alignment : 0;
        s.Unique = it.Unique == UniqueShopItem;
        s.Potion = it.MainType == PotionKind;
    }
    return items;
}

// A candidate in shop order: its key in the high half, its place in the
// list of candidates in the low half, so that ordering the numbers orders
// by key with the earlier candidate first among equal keys.
uint64_t CandidateOrder(int32_t key, uint32_t place)
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(key)) << 32) | place;
}

// Fills one shop. Every candidate is drawn in list order (an item, a potion
// followed by its second copy; a unique item no shop holds takes key 0 for
// its first copy without a draw). A group takes its candidates in key order
// until its limit, and the free entries take the taken ones in key order
// until they run out: only the few smallest keys of each group matter, so
// they are picked out instead of ordering the whole list.
void FillShop(const std::vector<TShopItem>& items, int32_t building, TRangeArray<int32_t, 1, 40>& shop)
{
    const TMapBuilding& record = MapBuildings[building];
    const TShopRules rules = ShopRulesOf(record);
    bool admits[5];
    AdmittedAlignments(record, admits);
    bool deals[18] = {};
    for (int32_t slot = 1; slot <= 17; ++slot)
        deals[slot] = GetTradeSwitchBySlot(record, slot) > 0;

    int32_t need[5];
    for (int g = 0; g < 5; ++g)
        need[g] = rules.Limit[g];
    int32_t empty = 0;
    for (int32_t j = 1; j <= ShopSize; ++j) {
        const int32_t entry = shop[j];
        if (entry == 0) {
            ++empty;
        } else if (entry < 0) {
            const int32_t index = GetItemIndex(entry);
            if (static_cast<size_t>(index) < items.size() && items[static_cast<size_t>(index)].Group != sgNone)
                --need[items[static_cast<size_t>(index)].Group];
        }
    }

    static thread_local std::vector<uint64_t> groups[5];
    static thread_local std::vector<int32_t> placed;
    for (auto& g : groups)
        g.clear();
    placed.clear();
    {
        // One hold of the generator for the shop's whole run of draws.
        std::lock_guard<TCriticalSection> hold(ClockLock);
        uint32_t place = 0;
        for (size_t i = 1; i < items.size(); ++i) {
            const TShopItem& it = items[i];
            const int32_t item = static_cast<int32_t>(i);
            const bool hidden = it.Unique && UniqueCountOf(item) == 0;
            const bool wanted = !hidden && it.Group != sgNone && need[it.Group] > 0 && deals[it.SwitchSlot] &&
                                admits[it.Alignment] && it.Cost >= rules.MinCost[it.Group] &&
                                it.Cost <= rules.MaxCost[it.Group];
            for (int copy = 0; copy < (it.Potion ? 2 : 1); ++copy) {
                const int32_t key = hidden && copy == 0 ? 0 : RandomBelow(ItemMaxCost) + it.KeyBase;
                if (wanted && key > 0) {
                    groups[it.Group].push_back(CandidateOrder(key, place));
                    placed.push_back(item);
                    // The place indexes `placed`, which holds wanted candidates only.
                    ++place;
                }
            }
        }
    }

    static thread_local std::vector<uint64_t> taken;
    taken.clear();
    for (int g = 0; g < 5; ++g) {
        std::vector<uint64_t>& list = groups[g];
        const size_t limit = static_cast<size_t>(std::max(need[g], 0));
        if (list.size() > limit) {
            std::nth_element(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(limit), list.end());
            list.resize(limit);
        }
        taken.insert(taken.end(), list.begin(), list.end());
    }
    std::sort(taken.begin(), taken.end());
    int32_t next = 1;
    for (size_t t = 0; t < taken.size() && empty > 0; ++t) {
        while (shop[next] != 0)
            ++next;
        shop[next] = placed[static_cast<size_t>(taken[t] & 0xFFFFFFFFu)];
        --empty;
    }
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
    if (IsWorldBuilding(building))
        FillShop(GatherShopItems(), building, shopItems);
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
                AddPersonageSimple(g, type, hireRecruit);
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

    const std::vector<TShopItem> items = GatherShopItems();
    for (int32_t b = 1; b <= last; ++b) {
        AI_SeedRandom(b, 0, 0);
        if (MapBuildings[b].HasShop != 0)
            FillShop(items, b, GameBuildings[static_cast<size_t>(b)].ShopItems);
        if (MapBuildings[b].HasHire != 0)
            RestockHireSlots(b);
    }
}
