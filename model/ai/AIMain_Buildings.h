// Buildings and the armies in them: the hire candidates of a building's
// hire slots and hiring, adding personages of a given type, the player's
// collection of treasury and taxes, the shop's order, the building visit of
// a computer army (selling, buying, healing, the garrison swap, hiring,
// resting) and taking a building.
#pragma once

#include <cstdint>

#include "model/personage/Personage.h"

// Slots hiring and adding may fill; 13..15 stay free.
constexpr int32_t ArmyHireSlots = 12;

// The personage hire slot s of building b offers now: the same building,
// slot and stock give the same candidate within one six-hour period.
void CreateHireCandidate(int32_t building, int32_t slot, TPersonage& personage);
// Puts the candidate of the hire slot into the first empty slot of the army
// and places it in the formation; the slot used, 0 when slots 1..12 are
// full. Price and stock are the caller's.
int32_t HireIntoArmy(int32_t army, int32_t building, int32_t slot);
// The building screen's hiring from a hire card: the price from the army's
// gold, the candidate hired, the stock lowered and the hire written to the
// telemetry log. A full army or an empty slot hires nothing and pays
// nothing (0).
int32_t RecruitPersonage(int32_t army, int32_t building, int32_t slot);

// Adds a new personage of a unit type to the first empty slot of army a
// and places it in the formation; returns the slot, 0 when slots 1..12 are
// full. The leader of a scenario army becomes an important personage and
// takes the army's name.
int32_t AddPersonage(int32_t army, int32_t unitType, int16_t hireKind, const uint8_t (&extra)[4]);
// The same with four zero extra bytes.
int32_t AddPersonageSimple(int32_t army, int32_t unitType, int16_t hireKind);
// A copy of a personage turned into another unit type (the upgrade preview).
void CopyPersonageAsType(const TPersonage& personage, int32_t unitType, TPersonage& copy);
// 1 + the alchemy bonus / 100 when the army's leader has it, else 1.
float GetAlchemyFactor(int32_t army);

// The player's collection at a building: its treasury (in treasury mode)
// and, once the tax clock allows, the taxes.
void CollectTreasury(int32_t army, int32_t building);
void CollectTaxes(int32_t army, int32_t building);
// The shop's items by Cost, dearest first; the order of equals is kept.
void SortShopItems(int32_t building);
// Exchanges two personages; each slot keeps its formation cell.
void SwapPersonages(TPersonage& a, TPersonage& b);

// The army's totals for scoring hire slots: strength of its living
// fighters (F), shooters (S, counted 3/2) and casters (C, counted double),
// with their numbers.
struct THireTotals {
    int64_t F = 0, S = 0, C = 0;
    int32_t f = 0, s = 0, c = 0;
};
THireTotals CountHireTotals(int32_t army);
// How much the computer army wants the unit of hire slot s of the building
// it stands in; 0 when it may not or cannot hire it.
int64_t HireScore(int32_t army, int32_t building, int32_t slot, const THireTotals& totals);
// The leader kind's preference (0..10) for a unit kind; garrisonOwner: the
// building belongs to the army.
int32_t HireKindScore(uint8_t leaderKind, uint8_t unitKind, bool garrisonOwner);
// Whether the building's type and the army's scenario behaviour let the army
// swap recruits with the garrison.
bool IsGarrisonSwapPair(uint8_t buildingType, uint8_t behavior);
// Whether a computer army sells an item at price, by its means.
bool ShouldSellItem(int64_t gold, int64_t dailyBalance, int64_t price, int64_t cost);

// What the last building visit did, for the world log and the tests.
struct TVisitReport {
    int32_t Sold = 0, Bought = 0, Healed = 0, Swapped = 0, Hired = 0;
    bool Rested = false;
};
extern TVisitReport LastVisit;
// A computer army's visit of the building it stands in.
void AI_Army_MoveInBuilding(int32_t army);

// Army a takes building b (0: the building it stands in); the old owner's
// and the new owner's economy are recounted, and the player hears of a
// loss through a map notice (kind 1, or kind 2 naming building notice
// when notice is above 0).
void CaptureBuilding(int32_t army, int32_t building, int32_t notice);
