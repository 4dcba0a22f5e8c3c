#include "model/AIMain_Buildings.h"

#include <cstring>

#include "model/AIMain_Movement.h"
#include "model/AIMain_Random.h"
#include "model/Army_Formation.h"
#include "model/FixedPoint.h"
#include "model/Personage_Rules.h"
#include "model/Support.h"
#include "model/World_Access.h"
#include "model/World_Economy.h"

int32_t AddPersonage(int32_t army, int32_t unitType, int16_t hireKind, const uint8_t (&extra)[4])
{
    TGameArmy* record = FindArmy(army);
    if (record == nullptr)
        return 0;
    TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    int32_t slot = 0;
    for (int32_t s = 1; s <= ArmyHireSlots && slot == 0; ++s)
        if (units[s].UnitType == 0)
            slot = s;
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
    p.Experience =
        hireKind > 0
            ? ClampToInt32(RoundHalfEven(static_cast<long double>(RandomFraction()) * p.StartExpirience / 3 / 10000))
            : 0;

    int32_t count = 0;
    for (int32_t s = 1; s <= TArmyUnits::HighIndex; ++s)
        if (units[s].UnitType != 0)
            ++count;
    record->PersonageCount = static_cast<uint8_t>(count);
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
    if (oldOwner == PlayerArmy) {
        if (notice < 1)
            AddMapNotice(1, army, b, 0);
        else
            AddMapNotice(2, army, b, notice);
    }
}
