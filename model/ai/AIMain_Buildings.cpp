#include "model/ai/AIMain_Buildings.h"

#include <algorithm>
#include <cstring>

#include "model/ai/AIMain_Movement.h"
#include "model/ai/AIMain_Checked.h"
#include "model/ai/AIMain_Random.h"
#include "model/world/Army_Formation.h"
#include "model/save/BetaLog.h"
#include "model/tables/Global_Texts.h"
#include "model/FixedPoint.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/Prices.h"
#include "model/Support.h"
#include "model/world/World_Access.h"
#include "model/world/World_Economy.h"
#include "model/world/World_Log.h"

namespace {

// The first empty slot of the army, 0 when slots 1..12 are taken.
int32_t FirstFreeSlot(const TArmyUnits& units)
{
    for (int32_t s = 1; s <= ArmyHireSlots; ++s)
        if (units[s].UnitType == 0)
            return s;
    return 0;
}

int32_t CountOccupiedSlots(const TArmyUnits& units)
{
    int32_t count = 0;
    for (int32_t s = 1; s <= TArmyUnits::HighIndex; ++s)
        if (units[s].UnitType != 0)
            ++count;
    return count;
}

// Experience of a new personage of a hire kind above 0: a share of its
// type's start experience.
int32_t DrawStartExperience(const TPersonage& p)
{
    return ClampToInt32(RoundHalfEven(static_cast<long double>(RandomFraction()) * p.StartExpirience / 3 / 10000));
}

bool IsHireSlot(int32_t building, int32_t slot)
{
    return IsWorldBuilding(building) && slot >= 1 && slot <= 9;
}

} // namespace

void CreateHireCandidate(int32_t building, int32_t slot, TPersonage& p)
{
    std::memset(static_cast<void*>(&p), 0, sizeof p);
    if (!IsHireSlot(building, slot))
        return;
    const THireSlot& state = GameBuildings[static_cast<size_t>(building)].HireSlots[slot];
    AI_SeedRandom(building, slot, 0);
    if (FindUnitType(state.UnitType) == nullptr)
        return;
    p.UnitType = state.UnitType;
    p.HireKind = MapBuildings[building].HireSlots[slot].HireKind;
    if (state.Stock > 0) {
        AI_SeedRandom(building, slot, state.Stock);
        p.PersonalSeed = RandomBelow(30000) + 1;
        if (p.HireKind > hireRecruit) {
            ReloadPersonage(p, 5);
            p.Experience = DrawStartExperience(p);
            return;
        }
    }
    ReloadPersonage(p, 4);
    p.Experience = 0;
}

int32_t HireIntoArmy(int32_t army, int32_t building, int32_t slot)
{
    TGameArmy* record = FindArmy(army);
    if (record == nullptr || !IsHireSlot(building, slot))
        return 0;
    TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    const int32_t i = FirstFreeSlot(units);
    if (i == 0)
        return 0;
    CreateHireCandidate(building, slot, units[i]);
    record->PersonageCount = static_cast<uint8_t>(CountOccupiedSlots(units));
    PlaceInFormationByMode(army, i, 7);
    return i;
}

int32_t RecruitPersonage(int32_t army, int32_t building, int32_t slot)
{
    TGameArmy* record = FindArmy(army);
    if (record == nullptr || !IsHireSlot(building, slot))
        return 0;
    THireSlot& state = GameBuildings[static_cast<size_t>(building)].HireSlots[slot];
    // A full army or an empty slot must cost nothing.
    if (FirstFreeSlot(ArmyUnits[static_cast<size_t>(army)]) == 0 || state.Stock < 1)
        return 0;
    const int32_t price = GetHirePrice(building, slot, army);
    const int32_t used = HireIntoArmy(army, building, slot);
    if (used == 0)
        return 0;
    record->Gold = ClampToInt32(static_cast<int64_t>(record->Gold) - price);
    --state.Stock;
    BetaLogWritePersonageEvent(army, used, price, blkHire);
    return used;
}

void CopyPersonageAsType(const TPersonage& personage, int32_t unitType, TPersonage& copy)
{
    std::memcpy(static_cast<void*>(&copy), &personage, sizeof copy);
    copy.UnitType = unitType;
    ReloadPersonage(copy, 4);
}

float GetAlchemyFactor(int32_t army)
{
    return LeaderHas(army, tAlchemy) ? 1 + static_cast<float>(BonusValue(tAlchemy)) / 100 : 1.0f;
}

void CollectTreasury(int32_t army, int32_t building)
{
    TGameArmy* record = FindArmy(army);
    if (record == nullptr || !IsWorldBuilding(building) || MapStory.TreasuryMode == 0)
        return;
    TGameBuilding& state = GameBuildings[static_cast<size_t>(building)];
    record->Gold = ClampToInt32(static_cast<int64_t>(record->Gold) + state.Treasury);
    state.Treasury = 0;
}

void CollectTaxes(int32_t army, int32_t building)
{
    TGameArmy* record = FindArmy(army);
    if (record == nullptr || !IsWorldBuilding(building) || MapBuildings[building].HasGarrison == 0)
        return;
    TGameBuilding& state = GameBuildings[static_cast<size_t>(building)];
    if (GameClock < state.TaxClock)
        return;
    const int64_t n = BonusValue(tFeudal);
    state.TaxClock = GameClock + (n + 2) * 1440 * MinuteFx;
    record->Gold = ClampToInt32(record->Gold + static_cast<int64_t>(GetBuildingIncome(army, building)) * n);
}

void SortShopItems(int32_t building)
{
    if (!IsWorldBuilding(building))
        return;
    TRangeArray<int32_t, 1, 40>& shop = GameBuildings[static_cast<size_t>(building)].ShopItems;
    const auto key = [](int32_t entry) {
        const TItems* item = entry >= 1 ? FindItem(entry) : nullptr;
        return item != nullptr ? item->Cost : 0;
    };
    std::stable_sort(std::begin(shop.Items), std::end(shop.Items),
                     [&](int32_t a, int32_t b) { return key(a) > key(b); });
}

void SwapPersonages(TPersonage& a, TPersonage& b)
{
    const int32_t rowA = a.FormationRow, columnA = a.FormationColumn;
    const int32_t rowB = b.FormationRow, columnB = b.FormationColumn;
    std::swap(a, b);
    a.FormationRow = rowA;
    a.FormationColumn = columnA;
    b.FormationRow = rowB;
    b.FormationColumn = columnB;
}

int32_t AddPersonage(int32_t army, int32_t unitType, int16_t hireKind, const uint8_t (&extra)[4])
{
    TGameArmy* record = FindArmy(army);
    if (record == nullptr)
        return 0;
    TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    const int32_t slot = FirstFreeSlot(units);
    if (slot == 0)
        return 0;

    TPersonage& p = units[slot];
    // An empty slot may still hold bytes of a personage that left it.
    std::memset(static_cast<void*>(&p), 0, sizeof p);
    p.UnitType = unitType;
    p.HireKind = hireKind;
    std::memcpy(p.SlotExtra, extra, sizeof p.SlotExtra);
    p.PersonalSeed = unitType > 6 ? RandomBelow(30000) + 1 : 0;
    ReloadPersonage(p, 4);
    if (slot == 1 && army != PlayerArmy && army <= MapArmies.Count && army <= MapArmyMax) {
        p.ImportantNPC = 1;
        const std::u16string& name = ArmyTexts[army].Name;
        if (!name.empty()) {
            p.Name.Assign(WideToGameAnsi(name));
            p.PersonalSeed = 0;
        }
    }
    p.Experience = hireKind > hireRecruit ? DrawStartExperience(p) : 0;
    record->PersonageCount = static_cast<uint8_t>(CountOccupiedSlots(units));
    PlaceInFormationByMode(army, slot, 7);
    return slot;
}

int32_t AddPersonageSimple(int32_t army, int32_t unitType, int16_t hireKind)
{
    const uint8_t none[4] = {0, 0, 0, 0};
    return AddPersonage(army, unitType, hireKind, none);
}

void CaptureBuilding(int32_t army, int32_t building, int32_t notice)
{
    const TGameArmy* taker = FindArmy(army);
    if (taker == nullptr)
        return;
    const int32_t b = building == 0 ? taker->Building : building;
    if (!IsWorldBuilding(b))
        return;
    TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
    const int32_t oldOwner = state.OwnerArmy;
    state.OwnerArmy = army;
    state.OwnerGroup = taker->Group;
    state.Banner = taker->Banner;
    state.CaptureClock = GameClock;
    state.CapturedFrom = 0;
    if (TGameArmy* garrison = FindArmy(GetGarrisonArmyIndex(b)))
        garrison->Banner = state.Banner;
    if (MapBuildings[b].HasGarrison == 0 || state.Occupied != 0)
        for (int s = 1; s <= 9; ++s) {
            state.HireSlots[s].UnitType = 0;
            state.HireSlots[s].Stock = 0;
        }
    CalcArmyEconomy(army, oldOwner);
    if (WorldLogActive())
        WorldLog("capture: " + GetBuildingLogName(b) + " by " + GetArmyLogName(army));
    if (oldOwner == PlayerArmy) {
        if (notice < 1)
            AddMapNotice(1, army, b, 0);
        else
            AddMapNotice(2, army, b, notice);
    }
}
