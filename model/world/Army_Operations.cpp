#include "model/world/Army_Operations.h"

#include <cstring>

#include "battle/Battle_Field.h"
#include "model/ai/AIMain_Movement.h"
#include "model/world/Army_Formation.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/World_Access.h"
#include "model/world/World_Economy.h"

namespace {

bool FightsBare(const TPersonage& p)
{
    return p.BonusSet.Has(bStone) || p.BonusSet.Has(bClaws) || p.BonusSet.Has(bPaw);
}

// Lance, horse and horse gear count by what they add to the item strength;
// everything else by the personage's strength.
bool RatedByItemStrength(int32_t item)
{
    const TItems* it = FindItem(item);
    if (it == nullptr)
        return false;
    const auto kind = static_cast<TItemType>(it->MainType);
    return kind == TItemType::Lance || kind == TItemType::Horse || kind == TItemType::HorseItem;
}

// The trial: equips the item on p and returns the gain; p keeps the item.
int32_t TrialGain(TPersonage& p, int32_t item)
{
    if (FightsBare(p) || GetItemEquipRefusal(p, item, -2) != 0)
        return 0;
    const bool itemStrength = RatedByItemStrength(item);
    const int32_t before = itemStrength ? p.ItemStrength : p.Strength;
    TIntArray removed;
    EquipItem(p, item, -1, removed, 1.0f);
    const int32_t after = itemStrength ? p.ItemStrength : p.Strength;
    return after - before;
}

TPersonage* FindPersonage(int32_t army, int32_t slot)
{
    TArmyUnits* units = FindArmyUnits(army);
    if (units == nullptr || !TArmyUnits::InRange(slot))
        return nullptr;
    return &(*units)[slot];
}

} // namespace

void PlaceInFormation(int32_t army, int32_t slot)
{
    TGameArmy* record = FindArmy(army);
    TPersonage* p = FindPersonage(army, slot);
    if (record == nullptr || p == nullptr)
        return;
    // Column 6 is off the field in each of the formation's rows.
    for (int32_t row = 1; row <= 3; ++row)
        for (int32_t column = 1; column <= 5; ++column)
            if (FormationCell(*record, row, column) == 0 && IsHexCellOnField(row, column, 0)) {
                FormationCell(*record, row, column) = slot;
                p->FormationRow = row;
                p->FormationColumn = column;
                return;
            }
}

int32_t CalcSlotItemGain(int32_t army, int32_t slot, int32_t item)
{
    TPersonage* p = FindPersonage(army, slot);
    if (p == nullptr || p->UnitType == 0)
        return 0;
    // The trial reload rewrites far more than the equipment (initiative,
    // lance charges, spells ...): the whole record goes back.
    TPersonage saved;
    std::memcpy(static_cast<void*>(&saved), p, sizeof saved);
    const int32_t gain = TrialGain(*p, item);
    std::memcpy(static_cast<void*>(p), &saved, sizeof saved);
    return gain;
}

int32_t CalcItemGain(TPersonage p, int32_t item)
{
    return TrialGain(p, item);
}

void AutoEquipArmy(int32_t army)
{
    const TGameArmy* record = FindArmy(army);
    if (record == nullptr || record->PersonageCount == 0 || record->ItemCount <= 0)
        return;
    for (int32_t slot = 1; slot <= UsedSlots(*record); ++slot)
        if (record->ItemCount > 0)
            AutoEquipPersonage(army, slot);
}

void AutoEquipPersonage(int32_t army, int32_t slot)
{
    TGameArmy* record = FindArmy(army);
    TPersonage* p = FindPersonage(army, slot);
    if (record == nullptr || p == nullptr || p->UnitType == 0)
        return;
    TIntArray& items = ArmyItems[static_cast<size_t>(army)];
    // The list may be shorter than its count says after a damaged load.
    if (record->ItemCount < 0 || items.size() <= static_cast<size_t>(record->ItemCount))
        items.resize(static_cast<size_t>(std::max(record->ItemCount, 0)) + 1, 0);
    TIntArray removed;
    int32_t i = 1;
    while (i <= record->ItemCount) {
        const int32_t item = items[static_cast<size_t>(i)];
        if (CalcSlotItemGain(army, slot, item) > 0) {
            EquipItem(*p, item, -1, removed, 1.0f);
            if (removed.empty()) {
                items[static_cast<size_t>(i)] = items[static_cast<size_t>(record->ItemCount)];
                items.resize(static_cast<size_t>(record->ItemCount));
                record->ItemCount -= 1;
                continue;
            }
            items[static_cast<size_t>(i)] = removed[0];
            for (size_t k = 1; k < removed.size(); ++k)
                AddArmyItem(army, removed[k]);
        }
        ++i;
    }
    if (p->Horse != 0)
        SwitchWeaponSet(army, slot, true, removed);
}

void SwitchWeaponSet(int32_t army, int32_t slot, bool toLance, TIntArray& removed)
{
    removed.clear();
    TPersonage* p = FindPersonage(army, slot);
    if (p == nullptr || p->UnitType == 0 || p->Equipment[13] == 0)
        return;
    TEquipmentArray& e = p->Equipment;
    constexpr int Lance = static_cast<int>(TItemType::Lance);
    if (p->PersBonus[3] == bLance && !toLance) {
        const int32_t lance = e[1];
        int32_t hand = 0;
        if (e[14] != 0)
            hand = e[14];
        else if (p->DefaultItems[1] != 0 && ItemMainType(p->DefaultItems[1]) != Lance)
            hand = p->DefaultItems[1];
        if (hand != 0) {
            e[1] = hand;
            e[14] = lance;
        }
    } else if (p->PersBonus[3] != bLance && toLance && ItemMainType(e[14]) == Lance) {
        const int32_t hand = e[1];
        e[1] = e[14];
        e[14] = hand == p->DefaultItems[1] ? 0 : hand;
    }
    ReloadPersonage(*p, 0, -1, removed);
    for (int32_t item : removed)
        AddArmyItem(army, item);
}

void RemovePersonage(int32_t army, int32_t slot, bool giveItems, TIntArray& removed)
{
    removed.clear();
    TGameArmy* record = FindArmy(army);
    if (record == nullptr || slot < 1 || slot > UsedSlots(*record))
        return;
    TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];

    const TPersonage& p = units[slot];
    for (int s = 1; s <= 14; ++s) {
        const int32_t item = p.Equipment[s];
        if (item != 0 && (s >= 5 || item != p.DefaultItems[s]))
            removed.push_back(item);
    }
    if (!removed.empty() && (army > PlayerArmy || giveItems)) {
        for (int32_t item : removed)
            AddArmyItem(army, item);
        removed.clear();
    }

    const int32_t last = UsedSlots(*record);
    for (int32_t s = slot; s < last; ++s)
        units[s] = units[s + 1];
    std::memset(static_cast<void*>(&units[last]), 0, sizeof(TPersonage));
    record->PersonageCount = static_cast<uint8_t>(last - 1);

    std::memset(record->Formation, 0, sizeof record->Formation);
    for (int32_t s = 1; s <= TArmyUnits::HighIndex; ++s) {
        const TPersonage& q = units[s];
        if (q.UnitType != 0 && q.FormationRow >= 1 && q.FormationRow <= 3 && q.FormationColumn >= 1 &&
            q.FormationColumn <= 6)
            FormationCell(*record, q.FormationRow, q.FormationColumn) = s;
    }

    UpdateArmyTotals(army);
    if (army <= ArmyCount)
        CalcArmyEconomy(army, -1);
}
