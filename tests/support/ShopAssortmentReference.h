// The shop assortment written the plain way, for comparison with the
// game's fast one: every candidate keyed with the same draws in the same
// order, then a selection sort (the smallest remaining key first, the
// earliest among equal keys) and the shop's tests applied to each candidate
// in turn. Used by the tests and the benchmark.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "model/ai/AIMain_Random.h"
#include "model/personage/Personage_Rules.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Economy.h"
#include "model/world/World_Tables.h"

inline void FillShopAssortmentReference(int32_t building, TRangeArray<int32_t, 1, 40>& shop)
{
    const TMapBuilding& r = MapBuildings[building];
    std::vector<int32_t> items, keys;
    for (int32_t i = 1; i <= ItemCount; ++i) {
        const TItems& it = ItemTable[i];
        const bool hidden = it.Unique == 4 && ShopUniqueCount[static_cast<size_t>(i)] == 0;
        items.push_back(i);
        keys.push_back(hidden ? 0 : RandomBelow(ItemMaxCost) + std::abs(it.Cost));
        if (it.MainType == 29) {
            items.push_back(i);
            keys.push_back(RandomBelow(ItemMaxCost) + std::abs(it.Cost));
        }
    }
    const size_t n = items.size();
    for (size_t p = 0; p < n; ++p) {
        size_t best = p;
        for (size_t q = p + 1; q < n; ++q)
            if (keys[q] < keys[best])
                best = q;
        const int32_t key = keys[best], item = items[best];
        for (size_t q = best; q > p; --q) {
            keys[q] = keys[q - 1];
            items[q] = items[q - 1];
        }
        keys[p] = key;
        items[p] = item;
    }

    auto group = [](int kind) {
        if (kind <= 12 || (kind >= 14 && kind <= 22))
            return 0;
        if (kind >= 23 && kind <= 26)
            return 1;
        if (kind == 29)
            return 2;
        if (kind == 32 || kind == 33)
            return 3;
        if (kind == 27 || kind == 28 || kind == 30 || kind == 31)
            return 4;
        return -1;
    };
    const int32_t limit[5] = {r.ShopGroupLimits[1], r.ShopGroupLimits[2], r.ShopGroupLimits[4], r.ShopLimitS,
                              r.ShopGroupLimits[3]};
    const int32_t low[5] = {r.ShopMinCost[1], r.ShopMinCost[2], r.ShopMinCost[4], r.ShopMinCostS, r.ShopMinCost[3]};
    const int32_t high[5] = {r.ShopMaxCost[1], r.ShopMaxCost[2], r.ShopMaxCost[4], r.ShopMaxCostS, r.ShopMaxCost[3]};
    int32_t counters[5] = {};
    for (int32_t j = 1; j <= 40; ++j)
        if (shop[j] < 0) {
            const int g = group(ItemTable[GetItemIndex(shop[j])].MainType);
            if (g >= 0)
                ++counters[g];
        }
    for (size_t p = 0; p < n; ++p) {
        if (keys[p] <= 0)
            continue;
        const TItems& it = ItemTable[items[p]];
        const int g = group(it.MainType);
        if (it.MainType >= 34 || g < 0 || GetShopKindFlag(building, items[p]) == 0)
            continue;
        const bool good = r.ShopAlignment[1] != 0, neutral = r.ShopAlignment[2] != 0, evil = r.ShopAlignment[3] != 0;
        const bool admitted = it.Alignment == 1   ? good
                              : it.Alignment == 2 ? evil
                              : it.Alignment == 3 ? good && !evil
                              : it.Alignment == 4 ? evil && !good
                                                  : neutral;
        if (!admitted || counters[g] >= limit[g] || it.Cost < low[g] || it.Cost > high[g])
            continue;
        if (it.Unique == 4 && ShopUniqueCount[static_cast<size_t>(items[p])] <= 0)
            continue;
        for (int32_t j = 1; j <= 40; ++j)
            if (shop[j] == 0) {
                shop[j] = items[p];
                break;
            }
        ++counters[g];
    }
}

// The shops' part of the daily restock, the plain way: the unique counts,
// the drawn entries cleared, then every shop filled by the plain
// assortment, each building drawing from its own seed.
inline void RestockShopsReference()
{
    ShopUniqueCount.assign(static_cast<size_t>(ItemCount) + 1, 0);
    for (int32_t b = 1; b <= BuildingCount; ++b) {
        if (MapBuildings[b].HasShop == 0)
            continue;
        for (int32_t j = 1; j <= 40; ++j) {
            int32_t& entry = GameBuildings[static_cast<size_t>(b)].ShopItems[j];
            if (entry != 0 && ItemTable[GetItemIndex(entry)].Unique == 4)
                ShopUniqueCount[static_cast<size_t>(GetItemIndex(entry))] += 1;
            if (entry > 0)
                entry = 0;
        }
    }
    for (int32_t b = 1; b <= BuildingCount; ++b) {
        AI_SeedRandom(b, 0, 0);
        if (MapBuildings[b].HasShop != 0)
            FillShopAssortmentReference(b, GameBuildings[static_cast<size_t>(b)].ShopItems);
    }
}
