// The economy of the world: income, support and upkeep of armies, the
// daily work at 09:00 (income, treasuries, tribute, upkeep), the price
// factor of the player's wealth, and the daily restocking of shops and hire
// slots.
#pragma once

#include <cstdint>

#include "model/RangeArray.h"

// Recomputes IncomeBase, SupportLimit, Upkeep, DailyBalance and the owned
// building counts of army a and, when b is 0 or more and not a, of army b.
// a's support limit is held to the scenario's SupportCap, b's to 12.
void CalcArmyEconomy(int32_t a, int32_t b);
// The daily income an army draws from a building.
int32_t GetBuildingIncome(int32_t army, int32_t building);
// The support a building gives an army of its behaviour; 0 when the army's
// behaviour draws on no building of that type.
int32_t GetBuildingSupport(int32_t army, int32_t building);
// The army supports another recruit.
bool HasFreeSupport(int32_t army);
// The price raised (or an income lowered) by the player's mean gold of the
// last 24 hours.
int32_t ApplyPriceFactor(bool raise, int32_t price);

// Income into owners or treasuries, tribute, and at the day mark the upkeep
// with its debts and the dismissal of unpaid personages of computer armies.
void DailyWork(bool atDayMark);

// Refills every shop and hire slot; reset first puts every shop back to its
// scenario items.
void RestockBuildings(bool reset);
// Fills the free entries of a shop list with the items the building deals in.
void FillShopAssortment(int32_t building, TRangeArray<int32_t, 1, 40>& shopItems);
// The building's switch for the shop selling the item's kind (0: it does not).
uint8_t GetShopKindFlag(int32_t building, int32_t item);
void RestockHireSlots(int32_t building);
bool IsHireRestockDue(int32_t building, int32_t slot, int32_t garrison, int32_t day);
// A unit type below 250 itself; 250 + n a type drawn from recruit pool n
// (0 when the pool is empty).
int32_t ResolveUnitType(int32_t n);
// The open hire slots the army may hire from.
int32_t CountOpenHireSlots(int32_t building, int32_t army);
