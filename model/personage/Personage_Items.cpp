// Item usability and equipping.
#include <cmath>
#include <cstdlib>

#include "model/FixedPoint.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"

namespace {

constexpr uint8_t KindOf(TItemType t)
{
    return static_cast<uint8_t>(t);
}

// The kind of the item in a slot; -1 for an empty slot or an unknown item.
int SlotKind(const TPersonage& p, int slot)
{
    const TItems* item = FindItem(p.Equipment[slot]);
    return item ? item->MainType : -1;
}

bool InRange(int v, int low, int high)
{
    return v >= low && v <= high;
}

uint64_t Bit(int k)
{
    return uint64_t{1} << k;
}

// Appends an item that leaves the personage.
void Drop(TIntArray& removed, int32_t item)
{
    if (item != 0)
        removed.push_back(item);
}

// An equipped item leaves the slot unless it is the slot's free default: a
// default was never taken from the army's items, so it goes back to nobody.
void DropUnlessDefault(TIntArray& removed, int32_t item, int32_t defaultItem)
{
    if (item != 0 && item != defaultItem)
        removed.push_back(item);
}

// Slots 2, 3, 4: the old item leaves (unless default), the new one goes in;
// a new item equal to the default is handed back, as the default is free.
void PutWithDefault(TPersonage& p, int slot, int32_t item, TIntArray& removed)
{
    DropUnlessDefault(removed, p.Equipment[slot], p.DefaultItems[slot]);
    p.Equipment[slot] = item;
    if (item == p.DefaultItems[slot])
        Drop(removed, item);
}

// A weapon into the main hand: the old weapon leaves unless it is default 1.
void PutMainHand(TPersonage& p, int32_t item, TIntArray& removed)
{
    DropUnlessDefault(removed, p.Equipment[1], p.DefaultItems[1]);
    p.Equipment[1] = item;
    if (item == p.DefaultItems[1])
        Drop(removed, item);
}

// A weapon kept aside in slot 14 while a lance is in the main hand.
void PutAside(TPersonage& p, int32_t item, TIntArray& removed)
{
    DropUnlessDefault(removed, p.Equipment[14], p.DefaultItems[1]);
    if (item == p.DefaultItems[1]) {
        Drop(removed, item);
        p.Equipment[14] = 0;
    } else {
        p.Equipment[14] = item;
    }
}

void ClearOffHand(TPersonage& p, TIntArray& removed)
{
    DropUnlessDefault(removed, p.Equipment[2], p.DefaultItems[2]);
    p.Equipment[2] = 0;
}

// A one-handed or shooting weapon into the main hand; a bow takes a shield
// off, and an empty off hand gets its default.
void PutOneHandWeapon(TPersonage& p, int32_t item, uint8_t kind, TIntArray& removed)
{
    PutMainHand(p, item, removed);
    if (kind == KindOf(TItemType::Bow) && SlotKind(p, 2) == KindOf(TItemType::Shield)) {
        DropUnlessDefault(removed, p.Equipment[2], p.DefaultItems[2]);
        p.Equipment[2] = p.DefaultItems[2];
    }
    if (p.Equipment[2] == 0)
        p.Equipment[2] = p.DefaultItems[2];
}

void PutInSlot(TPersonage& p, int slot, int32_t item, TIntArray& removed)
{
    Drop(removed, p.Equipment[slot]);
    p.Equipment[slot] = item;
}

bool IsTwoHandedKind(int kind)
{
    return InRange(kind, 5, 11) || kind == KindOf(TItemType::Spectral);
}

void DrinkPotion(TPersonage& p, int32_t item, const TItems& potion, TIntArray& removed, float factor)
{
    const bool helps =
        p.Hits > 0 && ((p.Hits < p.Stats[statHits] && potion.dHit > 0) || (p.Wounds > 0 && potion.dWound > 0));
    if (!helps) {
        removed.push_back(item);
        return;
    }
    if (p.Wounds < p.WoundLimit || p.ImportantNPC != 0) {
        const int64_t cured = TruncToInt64(static_cast<long double>(static_cast<float>(potion.dWound) * factor));
        const int64_t wounds = static_cast<int64_t>(p.Wounds) - ClampToInt32(cured);
        p.Wounds = wounds < 0 ? 0 : ClampToInt32(wounds);
    }
    ReloadPersonage(p, 0);
    if (p.Hits > 0) {
        int64_t hits = p.Hits + RoundHalfEven(factor * static_cast<float>(potion.dHit));
        if (hits > p.Stats[statHits])
            hits = p.Stats[statHits];
        p.Hits = static_cast<int16_t>(hits < INT16_MIN ? INT16_MIN : hits);
    }
    int32_t mana = p.Mana + static_cast<int16_t>(static_cast<uint32_t>(potion.dMana) & 0xFFFFu);
    if (mana > p.Stats[statMagicPower])
        mana = p.Stats[statMagicPower];
    if (mana < 0)
        mana = 1;
    p.Mana = static_cast<int16_t>(mana);
}

void EquipByKind(TPersonage& p, int32_t item, const TItems& it, int32_t slot, TIntArray& removed, float factor)
{
    const int kind = it.MainType;
    const bool lanceInHand = SlotKind(p, 1) == KindOf(TItemType::Lance);
    if (kind == 4 || kind == 22 || kind == 23) {
        PutWithDefault(p, 2, item, removed);
        if (IsTwoHandedKind(SlotKind(p, 1))) {
            DropUnlessDefault(removed, p.Equipment[1], p.DefaultItems[1]);
            p.Equipment[1] = p.DefaultItems[1];
        }
    } else if (IsTwoHandedKind(kind)) {
        if (lanceInHand) {
            PutAside(p, item, removed);
        } else {
            PutMainHand(p, item, removed);
            ClearOffHand(p, removed);
        }
    } else if (kind == KindOf(TItemType::Lance)) {
        if (lanceInHand) {
            PutMainHand(p, item, removed);
        } else {
            DropUnlessDefault(removed, p.Equipment[14], p.DefaultItems[1]);
            p.Equipment[14] = item;
        }
    } else if (kind == 24) {
        PutWithDefault(p, 3, item, removed);
    } else if (kind == 25 || kind == 26) {
        PutWithDefault(p, 4, item, removed);
    } else if (kind == 27 || kind == 28) {
        int target = 8;
        for (int s = 5; s <= 7; ++s)
            if (p.Equipment[s] == 0) {
                target = s;
                break;
            }
        PutInSlot(p, target, item, removed);
    } else if (kind == 29 && slot == 0) {
        DrinkPotion(p, item, it, removed, factor);
    } else if (kind >= 29 && kind <= 31) {
        PutInSlot(p, p.Equipment[9] == 0 ? 9 : 10, item, removed);
    } else if (kind == 32) {
        PutInSlot(p, 13, item, removed);
    } else if (kind == 33) {
        PutInSlot(p, 12, item, removed);
    } else if (kind <= 21) {
        if (lanceInHand)
            PutAside(p, item, removed);
        else
            PutOneHandWeapon(p, item, static_cast<uint8_t>(kind), removed);
    }
}

void EquipInSlot(TPersonage& p, int32_t item, const TItems& it, int32_t slot, TIntArray& removed)
{
    const int kind = it.MainType;
    if ((kind == 4 || kind == 22) && slot == 2) {
        PutWithDefault(p, 2, item, removed);
    } else if (IsTwoHandedKind(kind) && slot == 1) {
        PutMainHand(p, item, removed);
        ClearOffHand(p, removed);
    } else if (IsTwoHandedKind(kind) && slot == 14) {
        PutAside(p, item, removed);
    } else if (kind == 23 && slot == 2) {
        PutWithDefault(p, 2, item, removed);
        if (InRange(SlotKind(p, 1), 5, 11)) {
            DropUnlessDefault(removed, p.Equipment[1], p.DefaultItems[1]);
            p.Equipment[1] = p.DefaultItems[1];
        }
    } else if (kind == 24 && slot == 3) {
        PutWithDefault(p, 3, item, removed);
    } else if ((kind == 25 || kind == 26) && slot == 4) {
        PutWithDefault(p, 4, item, removed);
    } else if ((kind == 27 || kind == 28) && InRange(slot, 5, 8)) {
        PutInSlot(p, slot, item, removed);
    } else if (InRange(kind, 29, 31) && (slot == 9 || slot == 10)) {
        PutInSlot(p, slot, item, removed);
    } else if (kind == 32 && slot == 13) {
        PutInSlot(p, 13, item, removed);
    } else if (kind == 33 && slot == 12) {
        PutInSlot(p, 12, item, removed);
    } else if (kind <= 21 && !IsTwoHandedKind(kind) && kind != 4 && slot == 1) {
        PutOneHandWeapon(p, item, static_cast<uint8_t>(kind), removed);
    } else if (kind <= 21 && !IsTwoHandedKind(kind) && kind != 4 && slot == 14) {
        PutAside(p, item, removed);
    }
}

} // namespace

const char* ItemEquipRefusalKey(uint8_t code)
{
    switch (code) {
    case 1:
        return "ItemEquip_NotUsed";
    case 2:
        return "ItemEquip_NotSkill";
    case 3:
        return "ItemEquip_NotSimple";
    case 4:
        return "ItemEquip_NotAligment";
    case 5:
        return "ItemEquip_NotNow";
    case 6:
        return "ItemEquip_NotAgry";
    case 7:
        return "ItemEquip_NotCursed";
    case 8:
        return "ItemEquip_NoNeed";
    case 9:
        return "ItemEquip_NoPlace";
    case 11:
        return "ItemEquip_BadPlace";
    case 12:
        return "ItemEquip_AlwaysUsed";
    default:
        return "";
    }
}

int32_t GetItemIndex(int32_t id)
{
    // Unsigned, so that the lowest i32 has an absolute value too.
    const uint32_t magnitude = id < 0 ? 0u - static_cast<uint32_t>(id) : static_cast<uint32_t>(id);
    return static_cast<int32_t>(magnitude & 0xFFFFu);
}

const TItems* FindItem(int32_t id)
{
    const int32_t index = GetItemIndex(id);
    if (index < 1 || index > ItemCount || index > ItemMax)
        return nullptr;
    return &ItemTable[index];
}

int32_t ItemMainType(int32_t id)
{
    const TItems* item = FindItem(id);
    return item != nullptr ? item->MainType : -1;
}

bool KnowsSpell(const TPersonage& p, int32_t spell)
{
    for (int n = 1; n <= 7; ++n)
        if (p.Spells[n].Spell == spell)
            return true;
    return false;
}

uint64_t GetEquipableItemKinds(const TPersonage& p)
{
    uint64_t kinds = 0;
    for (int i = 1; i <= 3; ++i) {
        const int c = p.Weapon[i];
        if (InRange(c, 1, 22))
            kinds |= Bit(c - 1);
        else if (c == 23)
            for (int k : {0, 1, 2, 3, 6, 7, 8, 9, 10, 11})
                kinds |= Bit(k);
        else if (c == 24)
            kinds |= Bit(0) | Bit(1) | Bit(2) | Bit(3);
        else if (c == 25)
            kinds |= Bit(8) | Bit(9) | Bit(10);
        else if (c == 26)
            kinds |= Bit(6) | Bit(7) | Bit(9) | Bit(11);
        else if (c == 28)
            kinds |= Bit(0) | Bit(8);
        else if (c == 29)
            kinds |= Bit(3) | Bit(10);
        else if (c == 30)
            kinds |= Bit(1) | Bit(9);
    }
    if (p.Horse != 0)
        kinds |= Bit(12);
    return kinds;
}

namespace {

uint8_t AlignmentRefusal(uint8_t itemAlignment, uint8_t personAlignment)
{
    const auto is = [](uint8_t v, TAlignment a) { return v == static_cast<uint8_t>(a); };
    const bool refused = (is(itemAlignment, TAlignment::Good) &&
                          (is(personAlignment, TAlignment::Evil) || is(personAlignment, TAlignment::MaxEvil))) ||
                         (is(itemAlignment, TAlignment::Evil) &&
                          (is(personAlignment, TAlignment::Good) || is(personAlignment, TAlignment::MaxGood))) ||
                         (is(itemAlignment, TAlignment::MaxGood) &&
                          (is(personAlignment, TAlignment::Neutral) || is(personAlignment, TAlignment::Evil) ||
                           is(personAlignment, TAlignment::MaxEvil))) ||
                         (is(itemAlignment, TAlignment::MaxEvil) &&
                          (is(personAlignment, TAlignment::Neutral) || is(personAlignment, TAlignment::Good) ||
                           is(personAlignment, TAlignment::MaxGood)));
    return refused ? 4 : 0;
}

uint8_t SkillRefusal(const TPersonage& p, const TItems& it)
{
    const int kind = it.MainType;
    const int sub = it.SubType;
    if (InRange(kind, 0, 3) || InRange(kind, 5, 21))
        return (GetEquipableItemKinds(p) & Bit(kind)) ? 0 : 2;
    switch (kind) {
    case 4:
        return p.Dagger ? 0 : 2;
    case 22:
        return (p.BonusSet.Has(bBow) || p.BonusSet.Has(bArbalet)) ? 0 : 2;
    case 23:
        switch (p.Shield) {
        case 0:
            return 2;
        case 1:
            return sub == 1 ? 0 : 2;
        case 2:
            return sub > 2 ? 2 : 0;
        case 3:
            return sub == 3 ? 0 : 2;
        default:
            return 0;
        }
    case 24:
        if (p.Armor <= 1)
            return 2;
        if (p.Armor <= 5)
            return sub + 1 > p.Armor ? 2 : 0;
        return 0;
    case 25:
        return sub + 2 > p.Armor ? 2 : 0;
    case 26:
        return sub == p.Armor ? 0 : 2;
    case 27:
    case 28:
    case 29:
    case 30:
    case 31:
        return 0;
    case 32:
    case 33:
        return p.Horse ? 0 : 2;
    default:
        return 1;
    }
}

bool HoldsItem(const TPersonage& p, int slot, int32_t item)
{
    return GetItemIndex(p.Equipment[slot]) == GetItemIndex(item);
}

uint8_t SlotRefusal(const TPersonage& p, const TItems& it, int32_t item, int32_t slot, uint8_t result)
{
    const int kind = it.MainType;
    const bool placed = slot >= 1;
    if (kind == 4 || kind == 22 || kind == 23) {
        if (placed && slot != 2)
            return 11;
        if (HoldsItem(p, 2, item))
            return 12;
        const int main = SlotKind(p, 1);
        if (kind == 23 && result == 0 && (InRange(main, 5, 11) || InRange(main, 13, 15) || InRange(main, 17, 21)))
            return 5;
        return result;
    }
    if (kind == 24)
        return placed && slot != 3 ? 11 : HoldsItem(p, 3, item) ? 12 : result;
    if (kind == 25 || kind == 26)
        return placed && slot != 4 ? 11 : HoldsItem(p, 4, item) ? 12 : result;
    if (kind == 27 || kind == 28) {
        if (placed && !InRange(slot, 5, 8))
            return 11;
        for (int s = 5; s <= 8; ++s)
            if (HoldsItem(p, s, item))
                return 12;
        return result;
    }
    if (InRange(kind, 29, 31))
        return placed && slot != 9 && slot != 10 ? 11 : result;
    if (kind == 32)
        return placed && slot != 13 ? 11 : result;
    if (kind == 33)
        return placed && slot != 12 ? 11 : HoldsItem(p, 12, item) ? 12 : result;
    // The weapons. A lance belongs in the main hand (with a horse) or aside
    // in slot 14; every other weapon in the main hand.
    const bool lance = kind == KindOf(TItemType::Lance);
    if (placed && (lance ? (slot != 14 && slot != 1) : slot != 1))
        return 11;
    if (result == 0 && HoldsItem(p, 1, item))
        return 12;
    if (result == 0 && lance && slot == 1 && p.Equipment[13] == 0)
        return 10;
    return result;
}

} // namespace

uint8_t GetItemEquipRefusal(const TPersonage& p, int32_t item, int32_t slot)
{
    const TItems* it = FindItem(item);
    uint8_t result = 0;
    if (item == 0 || it == nullptr) {
        result = 1;
    } else if (p.Kind == static_cast<uint8_t>(TPersNature::Ghost) && it->MainType != KindOf(TItemType::Spectral)) {
        static const uint8_t ghostCodes[6] = {2, 3, 4, 6, 7, 8};
        int32_t n = RandomInt(6);
        result = ghostCodes[n < 0 || n > 5 ? 0 : n];
    } else {
        result = SkillRefusal(p, *it);
        if (result == 0)
            result = AlignmentRefusal(it->Alignment, p.Alignment);
        if (slot != -1 && result != 1)
            result = SlotRefusal(p, *it, item, slot, result);
    }
    if (slot == -2 && result != 12)
        result = 0;
    return result;
}

bool IsItemUsableByType(const TPersonage& p, int32_t item, bool force)
{
    if (force)
        return true;
    const TItems* it = FindItem(item);
    if (it == nullptr || (it->Unique != 0 && it->Unique != 1))
        return false;
    const bool typeFits = it->EquipmentType == p.EquipmentType ||
                          (p.EquipmentType == 3 && (it->EquipmentType == 2 || it->EquipmentType == 3));
    if (!typeFits)
        return false;
    if ((it->MainType == 12 || it->MainType == 32 || it->MainType == 33) && p.Horse == 0)
        return false;
    return true;
}

int32_t FindUsableItemOfKind(const TPersonage& p, uint8_t kind)
{
    int32_t found = 0;
    for (int32_t i = 1; i <= ItemCount && i <= ItemMax; ++i) {
        const TItems& it = ItemTable[i];
        if (it.MainType != kind || !IsItemUsableByType(p, i, false))
            continue;
        bool fits = true;
        switch (kind) {
        case 23:
            fits = (p.Shield == 1 && it.SubType == 1) || (p.Shield == 2 && it.SubType < 2) ||
                   (p.Shield == 3 && it.SubType == 3);
            break;
        case 24:
            fits = it.SubType + 1 == p.Armor;
            break;
        case 25:
            fits = it.SubType == p.Armor;
            break;
        case 26:
            fits = false;
            break;
        default:
            break;
        }
        if (fits)
            found = i;
    }
    return found;
}

uint8_t GetWeaponBonus(uint8_t mode, uint8_t kind, int32_t main, int32_t off)
{
    const TItems* mainItem = main != 0 ? FindItem(main) : nullptr;
    if (mainItem == nullptr) {
        if (mode == AttackModeFight) {
            if (kind == 3 || kind == 4 || kind == 15)
                return ItemKindBonus[36];
            if (kind == 18 || kind == 19)
                return ItemKindBonus[37];
            return 0;
        }
        if (mode == AttackModeSpell)
            return (kind == 4 || kind == 18 || kind == 19) ? 0 : ItemKindBonus[35];
        return 0;
    }
    const int mk = mainItem->MainType;
    if (mode == AttackModeFight && mk < 14) {
        const TItems* offItem = off != 0 ? FindItem(off) : nullptr;
        if (mk <= 3 && offItem != nullptr && offItem->MainType == KindOf(TItemType::Dagger))
            return ItemKindBonus[24 + mk];
        return ItemKindBonus[mk];
    }
    if ((mode == AttackModeShoot && InRange(mk, 14, 18)) || (mode == AttackModeSpell && InRange(mk, 19, 21)))
        return ItemKindBonus[mk];
    return 0;
}

void EquipItem(TPersonage& p, int32_t item, int32_t slot, TIntArray& removed, float factor)
{
    removed.clear();
    const TItems* it = FindItem(item);
    if (it != nullptr && it->MainType < 34) {
        if (slot < 1)
            EquipByKind(p, item, *it, slot, removed, factor);
        else if (slot <= 14)
            EquipInSlot(p, item, *it, slot, removed);
    }
    // What this refresh takes off stays with the personage's defaults.
    TIntArray ignored;
    ReloadPersonage(p, 0, -1, ignored);
}

void RestoreDefaultItem(TPersonage& p, int32_t slot, TIntArray& removed)
{
    removed.clear();
    if (slot < 1 || slot > 14 || p.Equipment[slot] == 0)
        return;
    const bool lanceInHand = SlotKind(p, 1) == KindOf(TItemType::Lance);
    if (slot == 1) {
        if (lanceInHand) {
            p.Equipment[1] = p.Equipment[14];
            p.Equipment[14] = 0;
        } else {
            p.Equipment[1] = p.DefaultItems[1];
        }
        const int main = SlotKind(p, 1);
        if ((InRange(main, 0, 3) || main == 15 || main == 16) && p.Equipment[2] == 0)
            p.Equipment[2] = p.DefaultItems[2];
    } else if (slot >= 2 && slot <= 4) {
        p.Equipment[slot] = p.DefaultItems[slot];
    } else if (slot == 13) {
        if (lanceInHand) {
            const int32_t lance = p.Equipment[1];
            p.Equipment[1] = p.Equipment[14] != 0 ? p.Equipment[14] : p.DefaultItems[1];
            p.Equipment[14] = lance;
        }
        p.Equipment[13] = 0;
    } else {
        p.Equipment[slot] = 0;
    }
    ReloadPersonage(p, 0, -1, removed);
}
