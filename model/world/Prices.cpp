#include "model/world/Prices.h"

#include <algorithm>
#include <cmath>

#include "model/ai/AIMain_Strategy.h"
#include "model/FixedPoint.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/World_Access.h"
#include "model/world/World_Economy.h"

namespace {

// The relation the money rules use: the building's side of the view.
int32_t BuildingRelation(int32_t army, int32_t building)
{
    return GetRelation(army, -building, true);
}

bool IsNight()
{
    return DayPeriod >= 5 && DayPeriod <= 7;
}

bool IsBattleTrophy(int32_t item)
{
    for (int i = 1; i <= 3; ++i)
        if (BattleTrophies[i] != 0 && GetItemIndex(BattleTrophies[i]) == item)
            return true;
    return false;
}

// A trophy sells better the more kinds of goods the building deals in:
// 1000 (a tenth) for each of these switches.
int64_t TrophyDealing(const TMapBuilding& record)
{
    int64_t t = 0;
    for (int k : {1, 2, 3, 8, 5, 6, 7, 9, 10, 11})
        if (record.TradeKinds[k] != 0)
            t += 1000;
    return t;
}

// The buying price per 10000 of Cost: the percent, a quarter off or on at
// relation 5 or -5.
long double BuyLevel(int32_t percent, int32_t relation)
{
    return (20 - relation) * (static_cast<long double>(percent) * 100) / 20;
}

} // namespace

int64_t GetSellLevel(int32_t percent, int32_t relation)
{
    // Expensive goods are bought back well below their markup.
    const int64_t m = RoundHalfEven(BuyLevel(percent, relation));
    const long double o = m > 10000 ? RoundHalfEven(std::sqrt(m / 10000.0L) * 10000) : m;
    return RoundHalfEven(o * 0.7L / ((18 - relation) / 18.0L));
}

int32_t GetItemPricePercent(const TMapBuilding& record, uint8_t kind)
{
    if (kind <= 12 || (kind >= 14 && kind <= 22))
        return record.TradePercent[1];
    if (kind >= 23 && kind <= 26)
        return record.TradePercent[2];
    if (kind == 27 || kind == 28 || kind == 30 || kind == 31)
        return record.TradePercent[3];
    if (kind == 29)
        return record.TradePercent[4];
    if (kind == 32 || kind == 33)
        return record.TradePercent5;
    if (kind == 34)
        return 100;
    return 0;
}

int32_t GetItemTradeSwitchSlot(const TItems& item, bool healingByMana)
{
    const int kind = item.MainType;
    const int sub = item.SubType;
    if (kind <= 12)
        return 1;
    switch (kind) {
    case 15:
    case 16:
    case 22:
        return 2;
    case 19:
    case 20:
    case 21:
        return 3;
    case 17:
    case 18:
        return 4;
    case 23:
        return 8;
    case 24: // helms, lightest first
        return sub == 1 ? 9 : sub == 2 ? 7 : sub == 3 ? 6 : sub == 4 ? 5 : 0;
    case 25: // armour, lightest first
        return sub == 1 ? 7 : sub == 2 ? 6 : sub == 3 ? 5 : 0;
    case 26:
        return sub == 1 || sub == 2 ? 9 : 0;
    case 27:
        return 10;
    case 28:
        return 11;
    case 29: {
        const bool healing = item.dHit > 0 || (healingByMana ? item.dMana > 0 : item.dWound > 0);
        return healing ? 14 : 15;
    }
    case 30:
        return 12;
    case 31:
        return 13;
    case 32:
        return 16;
    case 33:
        return 17;
    default:
        return 0;
    }
}

int32_t GetTradeSwitchBySlot(const TMapBuilding& record, int32_t slot)
{
    if (slot >= 1 && slot <= 15)
        return record.TradeKinds[slot];
    if (slot == 16 || slot == 17)
        return record.TradeKinds2[slot - 15];
    return -1;
}

int32_t GetItemTradeSwitch(const TMapBuilding& record, const TItems& item, bool healingByMana)
{
    return GetTradeSwitchBySlot(record, GetItemTradeSwitchSlot(item, healingByMana));
}

int32_t GetHirePrice(int32_t building, int32_t slot, int32_t army)
{
    if (!IsWorldBuilding(building) || slot < 1 || slot > 9)
        return 0;
    const TPersonage* type = FindUnitType(GameBuildings[static_cast<size_t>(building)].HireSlots[slot].UnitType);
    const int64_t c = type != nullptr ? type->Cost : 0;
    int64_t price = 0;
    switch (MapBuildings[building].HireSlots[slot].HireKind) {
    case hireRecruit:
        price = c * RecruitHiring / 100;
        break;
    case hireMercenary:
        price = c * MercenaryHiring / 100;
        break;
    case hireLeader:
        price = c * LeaderHiring / 100;
        break;
    default:
        return 0;
    }
    price = price * (20 - BuildingRelation(army, building)) / 20;
    if (LeaderHas(army, tFeudal))
        price = price * (100 - BonusValue(tFeudal)) / 100;
    return ClampToInt32(price);
}

int32_t GetHealingCost(int32_t army, int32_t slot, uint8_t act)
{
    TGameArmy* record = FindArmy(army);
    if (record == nullptr || !TArmyUnits::InRange(slot))
        return 0;
    TPersonage& p = ArmyUnits[static_cast<size_t>(army)][slot];
    if (p.UnitType == 0 || p.Hits == 0 || (p.Hits == p.Stats[statHits] && p.Wounds == 0))
        return 0;

    int32_t kindBase = PeasantHealing;
    if (p.BonusSet.Has(pNoble))
        kindBase = NobleHealing;
    else if (p.Level > 2)
        kindBase = RecruitHealing;
    long double base = static_cast<long double>(kindBase) * 10000;
    base = RoundHalfEven((1 + (static_cast<long double>(p.Level) + p.ExpLevel) * UnitLevelPercent / 100) * base);

    // A personage one wound from its limit is the costly case.
    long double w = 0;
    if (p.Wounds + 1 == p.WoundLimit)
        w = RoundHalfEven(HeavyWoundsPercent * base / 100);
    else if ((p.Wounds < p.WoundLimit || p.ImportantNPC != 0) && p.WoundLimit > 0)
        w = RoundHalfEven(p.Wounds * base / p.WoundLimit);
    const long double health =
        p.Stats[statHits] > 0 ? (1 - static_cast<long double>(p.Hits) / p.Stats[statHits]) * base : 0;
    w = RoundHalfEven(health + w);
    w = RoundHalfEven(w / 2);

    int64_t cost = 0;
    if (w > 0)
        cost = RoundHalfEven((HealingCostPercent * w / 100 + static_cast<long double>(MinHealingCost) * 10000) / 10000);
    if (army == PlayerArmy && cost > 0)
        cost = ApplyPriceFactor(true, ClampToInt32(cost));

    if (act >= HealWounds && act <= HealBoth && record->Gold >= cost) {
        if (act == HealWounds || act == HealBoth) {
            p.Wounds = 0;
            ReloadPersonage(p, 0);
        }
        if (act == HealHealth || act == HealBoth)
            p.Hits = p.Stats[statHits];
        record->Gold = ClampToInt32(static_cast<int64_t>(record->Gold) - cost);
    }
    return ClampToInt32(cost);
}

int32_t GetItemTradePrice(uint8_t mode, int32_t item, int32_t army, int32_t building)
{
    if (item < 1 || item > ItemCount || item > ItemMax || !IsWorldBuilding(building))
        return 0;
    const TItems& it = ItemTable[item];
    const TMapBuilding& record = MapBuildings[building];
    const int32_t r = BuildingRelation(army, building);

    const int32_t percent = GetItemPricePercent(record, it.MainType);
    long double l = 0;
    if (mode == TradeSell) {
        l = static_cast<long double>(GetSellLevel(percent, r));
        // A missing setting reads as 0, which divides as 1.
        const long double s = std::max(1, CurrentDifficulty().SellIncorrectItem);
        if (GetItemTradeSwitch(record, it, false) == 0)
            l = RoundHalfEven(l / s);
        if (it.MainType == static_cast<uint8_t>(TItemType::Item) && IsBattleTrophy(item)) {
            const long double t = static_cast<long double>(TrophyDealing(record));
            l = RoundHalfEven((l / s * 10000 + l * (s - 1) / s * t) / 10000);
        }
    } else {
        l = RoundHalfEven(BuyLevel(percent, r));
    }

    if (LeaderHas(army, tMerchant)) {
        const long double bonus = BonusValue(tMerchant) / 100.0L;
        if (mode == TradeBuy)
            l = RoundHalfEven(l * (1 - bonus));
        else if (mode == TradeSell)
            l = RoundHalfEven((bonus + 1) * l);
    }
    if (IsNight()) {
        if (mode == TradeBuy)
            l = RoundHalfEven(l * 1.1L);
        else if (mode == TradeSell)
            l = RoundHalfEven(l / 11000 * 10000);
    }

    const int32_t plain = ClampToInt32(RoundHalfEven(it.Cost * l / 10000));
    int32_t price = plain;
    if (army == PlayerArmy && mode == TradeBuy)
        price = ApplyPriceFactor(true, plain);
    else if (army == PlayerArmy && mode == TradeSell)
        price = ApplyPriceFactor(false, plain);
    if (it.Cost >= 1 && price <= 0)
        price = 1;
    return price;
}

int16_t GetBuildingServices(int32_t building, int32_t army)
{
    const TGameArmy* record = FindArmy(army);
    if (record == nullptr || !IsWorldBuilding(building))
        return 0;
    const TMapBuilding& map = MapBuildings[building];
    const TGameBuilding& state = GameBuildings[static_cast<size_t>(building)];
    const TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    uint16_t flags = 0;

    if (map.ServiceC != 0 && state.HealingOpen != 0) {
        bool needed = false;
        for (int32_t s = 1; s <= UsedSlots(*record) && !needed; ++s) {
            const TPersonage& p = units[s];
            needed = p.Hits > 0 && (p.Hits < p.Stats[statHits] || p.Wounds > 0);
        }
        flags |= needed ? bsHealingNeeded : bsHealingOffered;
    }
    if (MapStory.TreasuryMode != 0 && (map.HasTreasury != 0 || map.HasGarrison != 0) && state.OwnerArmy == army &&
        state.Treasury > 0)
        flags |= bsTreasury;
    if (map.HasGarrison != 0 && state.OwnerArmy == army && (army != PlayerArmy || LeaderHas(army, tFeudal)))
        flags |= GameClock >= state.TaxClock ? bsTaxesDue : bsTaxesLater;
    if (map.ServiceD != 0 && BuildingRelation(army, building) < 0)
        flags |= bsHostileService;
    if (map.HasGarrison != 0 && GetRelation(army, -building, false) < 0)
        flags |= bsHostileGarrison;
    if (map.HasTreasury != 0 && map.OwnerArmy == army) {
        bool provided[7] = {};
        if (const TGameArmy* garrison = FindArmy(GetGarrisonArmyIndex(building))) {
            const TArmyUnits& guards = ArmyUnits[static_cast<size_t>(GetGarrisonArmyIndex(building))];
            for (int32_t s = 1; s <= UsedSlots(*garrison); ++s)
                if (guards[s].GarrisonUnit < 7)
                    provided[guards[s].GarrisonUnit] = true;
        }
        for (int upgrade = 1; upgrade <= 6; ++upgrade)
            if (!provided[upgrade])
                flags |= static_cast<uint16_t>(bsUpgradeBlacksmith << (upgrade - 1));
    }
    return static_cast<int16_t>(flags);
}

void SetScheduleMarks()
{
    const int64_t m = RoundDivHalfEven(GameClock, 10000);
    NextDayMark = (((m + 900) / 1440) * 1440 + 540) * 10000;
    NextHourMark = ((m / 60) + 1) * 60 * 10000;
}

int32_t GetPocketMoney(const TPersonage& p)
{
    if (p.Kind >= PoketMoneyRuleCount)
        return 0;
    const TPoketMoney& rule = PoketMoneyRules[p.Kind];
    const int64_t v = RoundDivHalfEven(static_cast<int64_t>(p.Cost) * rule.Factor, 10000);
    if (v > rule.Max)
        return rule.Max;
    if (v < rule.Min)
        return rule.Min;
    return static_cast<int32_t>(v);
}
