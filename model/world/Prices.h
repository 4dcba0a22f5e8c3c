// The money rules between armies, personages and buildings: hire prices,
// healing costs (and the healing itself), item prices for buying and
// selling, the services a building offers an army, the clock's two schedule
// marks and the pocket money a defeated personage leaves.
#pragma once

#include <cstdint>

#include "model/tables/Global.h"
#include "model/personage/Personage.h"
#include "model/scenario/ScenarioMap_Records.h"

// Service flags of GetBuildingServices.
enum TBuildingService : uint16_t {
    bsHealingNeeded = 0x0001,
    bsHealingOffered = 0x0002,
    bsHostileService = 0x0004,
    bsTaxesDue = 0x0008,
    bsTaxesLater = 0x0010,
    bsHostileGarrison = 0x0060,
    bsUpgradeBlacksmith = 0x0100, // 0x0100 << (upgrade - 1) for upgrades 1..6
    bsTreasury = 0x4000,
};

// GetItemTradePrice modes; any other mode is the plain price.
constexpr uint8_t TradeBuy = 0;
constexpr uint8_t TradeSell = 1;

// Healing acts of GetHealingCost.
constexpr uint8_t HealPriceOnly = 0;
constexpr uint8_t HealWounds = 1;
constexpr uint8_t HealHealth = 2;
constexpr uint8_t HealBoth = 3;

int32_t GetHirePrice(int32_t building, int32_t slot, int32_t army);
// The cost of healing the personage in an army slot; act 1..3 also heals
// (wounds, health, both) when the army can pay.
int32_t GetHealingCost(int32_t army, int32_t slot, uint8_t act);
// Price of item (an ItemTable index) in a building for an army.
int32_t GetItemTradePrice(uint8_t mode, int32_t item, int32_t army, int32_t building);
int16_t GetBuildingServices(int32_t building, int32_t army);
// NextDayMark := the first 09:00 after the current minute; NextHourMark :=
// the next full hour.
void SetScheduleMarks();
int32_t GetPocketMoney(const TPersonage& p);

// The selling price per 10000 of Cost at a price percent and a relation,
// before the building's dealing, the leader and the night count.
int64_t GetSellLevel(int32_t percent, int32_t relation);
// The building's price percent for an item kind (0 for kinds it never prices).
int32_t GetItemPricePercent(const TMapBuilding& record, uint8_t kind);
// The building's trade switch byte for an item's kind, -1 when no switch
// covers the kind. A healing potion is one that restores health or wounds
// for a sale (healingByMana false), health or mana for the shop's stock
// (true).
int32_t GetItemTradeSwitch(const TMapBuilding& record, const TItems& item, bool healingByMana);
// The same in two steps: which switch covers the item (1..15 TradeKinds,
// 16, 17 TradeKinds2 1, 2; 0 none), and that switch's byte (-1 for none).
int32_t GetItemTradeSwitchSlot(const TItems& item, bool healingByMana);
int32_t GetTradeSwitchBySlot(const TMapBuilding& record, int32_t slot);
