// ReloadPersonage and SetAttackMode: every derived field of a personage from
// its template and its own state.
#include <cmath>
#include <cstring>
#include <mutex>

#include "model/ai/AIMain_Random.h"
#include "model/ai/AIMain_Settings.h"
#include "model/FixedPoint.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/World_Tables.h"

namespace {

int32_t BV(int b)
{
    return b >= 0 && b < BonusTypeCount ? BonusValues[b] : 0;
}

// Draws a kind k of the allowed set: RandomInt(22) until it is allowed.
// The set always holds a kind below 22 when this is called.
int DrawKind(uint64_t allowed)
{
    if ((allowed & 0x3FFFFFu) == 0)
        return 0;
    for (;;) {
        const int k = RandomInt(22);
        if (k >= 0 && k < 22 && (allowed & (uint64_t{1} << k)))
            return k;
    }
}

// The allowed set cut to Sword..Mace, or {Sword} when that leaves nothing.
uint64_t OneHandedOnly(uint64_t allowed)
{
    const uint64_t cut = allowed & 0xFu;
    return cut != 0 ? cut : 1u;
}

int UsedSpellCount(const TPersonage& p)
{
    int used = 0;
    for (int n = 1; n <= 7; ++n)
        if (p.Spells[n].Spell != 0)
            ++used;
    return used;
}

const TSchoolSpells* SchoolOf(const TPersonage& p)
{
    if (p.MagicSchool < 1 || p.MagicSchool >= MagicSchoolCount)
        return nullptr;
    return &SchoolSpells[p.MagicSchool];
}

const TSpell* SpellAt(int32_t number)
{
    return number >= 1 && number <= SpellCount && number <= SpellMax ? &SpellTable[number] : nullptr;
}

// The spells of the school that may be learnt next: a prerequisite that is
// known, a level within the limit, not yet known. At most 10.
int CollectSpellCandidates(const TPersonage& p, int32_t limit, int32_t (&candidates)[10])
{
    const TSchoolSpells* school = SchoolOf(p);
    int count = 0;
    if (school == nullptr)
        return 0;
    for (int i = 1; i <= school->Count && i <= SchoolSpellMax && count < 10; ++i) {
        const int32_t number = school->Spells[i];
        const TSpell* spell = SpellAt(number);
        if (spell == nullptr || spell->Previous <= 0 || spell->Level > limit || KnowsSpell(p, number))
            continue;
        if (!KnowsSpell(p, spell->Previous))
            continue;
        candidates[count++] = number;
    }
    return count;
}

// Step 16: the spells of a new personage or of a level gain.
void FillSpells(TPersonage& p, int32_t arg)
{
    for (int n = 1; n <= 7; ++n)
        p.Spells[n] = TPersonageSpell{0, 0};
    if (p.MagicSchool == 0)
        return;
    p.BonusSet.Clear();
    for (int i = 1; i <= 8; ++i) {
        p.BonusSet.Include(p.PersBonus[i]);
        p.BonusSet.Include(p.BonusAdd[i]);
    }
    p.SpellSet = static_cast<uint8_t>(arg < 26 ? 0 : (arg - 26) % 6);
    int entries = 0;
    auto add = [&](int32_t spell) {
        if (entries < 7)
            p.Spells[++entries] = TPersonageSpell{spell, 1};
    };
    if (p.SpellSet != 0) {
        if (p.MagicSchool <= 8 && p.SpellSet <= SpellPresetCount)
            for (int n = 1; n <= p.Level - 1 && n <= SpellPresetSize; ++n) {
                const int32_t preset = SpellPresets[p.MagicSchool][p.SpellSet][n];
                if (preset > 0)
                    add(preset);
            }
    } else if (const TSchoolSpells* school = SchoolOf(p)) {
        for (int i = 1; i <= school->Count && i <= SchoolSpellMax; ++i) {
            const TSpell* spell = SpellAt(school->Spells[i]);
            if (spell != nullptr && spell->Previous < 0)
                add(school->Spells[i]);
        }
        int32_t limit = p.Level - 1;
        if (p.UnitType >= 1 && p.UnitType <= 6)
            limit += p.ExpLevel;
        if (p.BonusSet.Has(pLifesteal)) {
            limit = BV(pLifesteal);
            if (limit < entries)
                entries = 0;
        }
        while (entries < limit && entries < 7) {
            int32_t candidates[10];
            const int count = CollectSpellCandidates(p, limit, candidates);
            if (count == 0)
                break;
            int n = RandomInt(count);
            add(candidates[n < 0 || n >= count ? 0 : n]);
        }
    }
    if (p.BonusSet.Has(pLifesteal))
        if (const TSchoolSpells* school = SchoolOf(p))
            for (int i = 1; i <= school->Count && i <= SchoolSpellMax; ++i) {
                const TSpell* spell = SpellAt(school->Spells[i]);
                if (spell != nullptr && spell->Previous == 0 && spell->Effect[1] == eWillLifeSteal &&
                    spell->Effect[2] == eWillManaSteal)
                    add(school->Spells[i]);
            }
}

// Step 11: personal name, feature and small stat variations, drawn from a
// generator seeded by the personal seed so that every reload repeats them.
void ApplyPersonalVariations(TPersonage& p)
{
    uint32_t savedSeed;
    {
        std::lock_guard<TCriticalSection> guard(ClockLock);
        savedSeed = RandomSeed;
    }
    SeedRandomFixed(p.PersonalSeed, 0, 0);

    const bool woman = p.Sex == 1;
    const TStringArray* names;
    if (p.NameNature == 7 || p.NameNature == 8)
        names = woman ? &PersonalNames.NobleWomen : &PersonalNames.NobleMen;
    else if (p.NameNature == 10 || p.NameNature == 11)
        names = woman ? &PersonalNames.PriestWomen : &PersonalNames.PriestMen;
    else
        names = woman ? &PersonalNames.PlebWomen : &PersonalNames.PlebMen;
    const int32_t nameIndex = RandomInt(static_cast<int32_t>(names->size()));
    if (nameIndex >= 0 && static_cast<size_t>(nameIndex) < names->size())
        p.Name.Assign((*names)[static_cast<size_t>(nameIndex)]);

    int32_t variation[9] = {};
    if (RandomInt(100) < FeaturesPercent) {
        const int list = p.AttackMode == AttackModeFight   ? 1
                         : p.AttackMode == AttackModeShoot ? 2
                         : p.AttackMode == AttackModeSpell ? 3
                                                           : 0;
        if (list != 0 && FeatureCounts[list] > 0 && !FeatureLists[list].empty()) {
            const int32_t count = static_cast<int32_t>(FeatureLists[list].size());
            int32_t drawn = RandomInt(count);
            const int32_t number = FeatureLists[list][static_cast<size_t>(drawn < 0 || drawn >= count ? 0 : drawn)];
            if (number >= 0 && static_cast<size_t>(number) < FeatureTable.size()) {
                const TFeature& f = FeatureTable[static_cast<size_t>(number)];
                if (f.NameCount > 0) {
                    int32_t k = RandomInt(f.NameCount) + 1;
                    if (k < 1 || k > 3)
                        k = 1;
                    p.Name.Assign(p.Name.Str() + " " + (p.Sex == 0 ? f.MaleNames[k] : f.FemaleNames[k]));
                }
                if (PersonalizationEnabled != 0 && PersonalizationLevel == 3)
                    for (int i = 1; i <= 8; ++i)
                        variation[i] += f.StatDelta[i];
            }
        }
    }
    if (PersonalizationEnabled != 0 && PersonalizationLevel >= 2 && SmallRandomCount > 0) {
        for (int32_t n = 0; n < SmallRandomCount; ++n) {
            const int g = RandomInt(6) + 1;
            int stat = 0;
            switch (g) {
            case 1:
                stat = statHits;
                break;
            case 2:
                stat = statInitiative;
                break;
            case 3:
                stat = p.AttackMode == AttackModeFight   ? statAttackBlow
                       : p.AttackMode == AttackModeShoot ? statAttackShot
                       : p.AttackMode == AttackModeSpell ? statMagicPower
                                                         : 0;
                break;
            case 4:
                stat = statDefense;
                break;
            case 5:
                stat = statProtect;
                break;
            case 6:
                stat = statWill;
                break;
            default:
                break;
            }
            if (stat != 0 && variation[stat] == 0) {
                const int32_t d = SmallRandomMaxDelta[stat];
                // Two draws in this order: the operands of one expression
                // would be drawn in an order the compiler chooses.
                const int32_t first = RandomInt(d);
                variation[stat] = first - RandomInt(d);
            }
        }
    }
    for (int i = 1; i <= 8; ++i)
        p.Stats[i] = ClampToInt16(static_cast<int64_t>(p.Stats[i]) + variation[i]);

    SetRandomSeed(savedSeed);
}

// Step 19: the stat caps, sums, factors and bonuses of one item.
struct TItemEffects {
    int32_t Cap[9] = {};
    int64_t Sum[9] = {};
    TFx Factor[9];

    TItemEffects()
    {
        for (TFx& f : Factor)
            f = TFx::Int(1);
    }
    void Add(const TItems& item, TBonusSet& set)
    {
        for (int i = 1; i <= 8; ++i) {
            const int32_t v = item.Max[i];
            if ((Cap[i] >= 0 && Cap[i] < v) || (v < 0 && v < Cap[i]))
                Cap[i] = v;
            Sum[i] += item.Abs[i];
            Factor[i] = (Factor[i] * (static_cast<int64_t>(item.Prc[i]) + 100)) / 100;
        }
        for (int b = 1; b <= 8; ++b)
            if (item.Bonus[b] != 0)
                set.Include(item.Bonus[b]);
    }
    void ApplyTo(TStatArray& stats) const
    {
        for (int i = 1; i <= 8; ++i) {
            int64_t stat = stats[i];
            if (Cap[i] != 0)
                stat = Cap[i] < 0 ? -static_cast<int64_t>(Cap[i]) : Cap[i];
            stat += Sum[i];
            if (Factor[i].V != 0)
                stat = RoundDivHalfEven((TFx::Int(stat) * Factor[i]).V, TFx::One);
            stats[i] = ClampToInt16(stat);
        }
    }
};

} // namespace

void ApplyItemEffects(const TItems& item, TStatArray& stats, TBonusSet& set)
{
    TItemEffects effects;
    effects.Add(item, set);
    effects.ApplyTo(stats);
}

int32_t CalcNextLevelExp(const TPersonage& p)
{
    const long double base = static_cast<long double>(p.LevelMultipler) / 100.0L;
    const long double value = std::pow(base, static_cast<long double>(p.ExpLevel)) * p.StartExpirience / 5.0L;
    const int64_t fifths = RoundHalfEven(value);
    if (fifths > INT32_MAX / 5)
        return INT32_MAX / 5 * 5;
    if (fifths < INT32_MIN / 5)
        return INT32_MIN / 5 * 5;
    return static_cast<int32_t>(fifths * 5);
}

void SetAttackMode(TPersonage& p)
{
    const int a = p.Stats[statAttackBlow], s = p.Stats[statAttackShot], m = p.Stats[statMagicPower];
    if (a > 0 && a > s && a > m)
        p.AttackMode = AttackModeFight;
    else if (s > 0 && s > a && s > m)
        p.AttackMode = AttackModeShoot;
    else if (m > 0 && m > a && m > s)
        p.AttackMode = AttackModeSpell;
    else
        p.AttackMode = AttackModeNone;
}

void ReloadPersonage(TPersonage& p, uint8_t mode)
{
    TIntArray removed;
    ReloadPersonage(p, mode, -1, removed);
}

void ReloadPersonage(TPersonage& p, uint8_t mode, int32_t arg, TIntArray& removed)
{
    // 1. What the personage keeps of its own.
    removed.clear();
    const int32_t unitType = p.UnitType;
    if (unitType == 0 || !UnitTypes.InRange(unitType))
        return;
    const TEquipmentArray ownDefaults = p.DefaultItems;

    // 2. The type part from the template; a personal name stays. TypeName
    // holds only the first 20 characters of a longer type name, which is
    // still the type's name and follows the template.
    const std::string personalName = p.Name.Str();
    const std::string typeName = p.TypeName.Str();
    const bool personal = personalName != typeName && !(typeName.size() == static_cast<size_t>(p.TypeName.Capacity) &&
                                                        personalName.compare(0, typeName.size(), typeName) == 0);
    const TPersonage& type = UnitTypes[unitType];
    if (&type != &p)
        std::memcpy(static_cast<void*>(&p), &type, PersonageTypePartSize);
    if (personal)
        p.Name.Assign(personalName);

    // 3, 4.
    const TEquipmentArray typeDefaults = p.DefaultItems;
    if (p.NameNature == 0)
        p.NameNature = p.Kind;
    if (p.Kind == static_cast<uint8_t>(TPersNature::Hero))
        for (int i = 1; i <= 11; ++i) {
            if (p.Talents[i] == tMountedCombat)
                p.Horse = 1;
            if (p.Talents[i] == tTwoHandedWeapon) {
                if (p.Weapon[2] == 0)
                    p.Weapon[2] = static_cast<uint8_t>(TWeaponClass::AllTwoHand);
                else if (p.Weapon[3] == 0)
                    p.Weapon[3] = static_cast<uint8_t>(TWeaponClass::AllTwoHand);
            }
        }

    // 5..7.
    if (mode == 0 || mode == 7)
        p.DefaultItems = ownDefaults;
    if (mode == 7) {
        if (p.Hits > p.FullHits)
            p.Hits = ClampToInt16(p.FullHits);
        p.PersBonus = p.Bonus;
        p.PersBonusAdd = p.BonusAdd;
        mode = 0;
    }
    p.UnitType = unitType;

    // 8. After an upgrade the old type's own defaults stay where allowed.
    if (mode == 1) {
        for (int slot = 1; slot <= 2; ++slot)
            if (GetItemEquipRefusal(p, ownDefaults[slot], -1) == 0)
                p.DefaultItems[slot] = ownDefaults[slot];
        if (p.Equipment[4] == ownDefaults[4])
            p.Equipment[4] = 0;
        if (p.Equipment[3] == ownDefaults[3])
            p.Equipment[3] = 0;
    }

    // 9, 10.
    int64_t referenceHealth = p.Stats[statHits];
    for (int i = 1; i <= 8; ++i) {
        const int64_t tenths = static_cast<int64_t>(p.StatGrowth[i]) * 10 + p.StatGrowthTenths[i];
        p.Stats[i] = ClampToInt16(RoundDivHalfEven(tenths * p.ExpLevel, 10) + p.BaseStats[i]);
    }
    SetAttackMode(p);

    // 11.
    if (UseUnitPersonalization && p.PersonalSeed > 0 && p.ImportantNPC == 0 && p.Sex < 2)
        ApplyPersonalVariations(p);

    // 12.
    if (mode == 1)
        referenceHealth =
            p.WoundLimit > 0
                ? RoundDivHalfEven(static_cast<int64_t>(p.FullHits) * (static_cast<int64_t>(p.WoundLimit) - p.Wounds),
                                   p.WoundLimit)
                : p.FullHits;

    // 13.
    if (mode == 6 && arg == -1)
        mode = 5;
    else if (mode == 6 && arg == 0)
        mode = 4;

    // 14. Hands and armour of a kept personage.
    if (mode == 0 || mode == 1) {
        auto refused = [&](int32_t item) { return GetItemEquipRefusal(p, item, -1) != 0; };
        auto drop = [&](int slot) {
            const int32_t item = p.Equipment[slot];
            if (item != 0 && item != ownDefaults[slot])
                removed.push_back(item);
        };
        if (refused(p.Equipment[1])) {
            if (mode == 1)
                drop(1);
            p.Equipment[1] = p.DefaultItems[1];
        }
        const int main = p.Equipment[1] != 0 ? ItemMainType(p.Equipment[1]) : -1;
        if (main < 0) {
            if (mode == 1) {
                drop(2);
                p.Equipment[2] = 0;
            }
        } else if (main <= 3 || main == 12 || main == 15 || main == 16) {
            if (refused(p.Equipment[2])) {
                if (mode == 1)
                    drop(2);
                p.Equipment[2] = p.DefaultItems[2];
            }
        } else if (main >= 5 && main <= 11) {
            drop(2);
            p.Equipment[2] = 0;
        } else if (mode == 1) {
            drop(2);
            p.Equipment[2] = 0;
        }
        for (int slot : {4, 3})
            if (refused(p.Equipment[slot])) {
                drop(slot);
                p.Equipment[slot] = p.DefaultItems[slot];
            }
    }

    // 15. A new personage.
    if (mode == 4 || mode == 5 || mode == 6) {
        p.Hits = p.Stats[statHits];
        p.Mana = p.Stats[statMagicPower];
        p.PersBonus = p.Bonus;
        p.PersBonusAdd = p.BonusAdd;
        referenceHealth = p.Stats[statHits];
        p.Wounds = 0;
        p.DefaultItems = typeDefaults;
        p.Equipment = p.DefaultItems;
        if (p.AttackMode == AttackModeFight) {
            const int main = ItemMainType(p.Equipment[1]);
            if (main >= 6 && main <= 11)
                p.Equipment[2] = 0;
        }
        if (arg > 0) {
            const bool fits = (p.AttackMode == AttackModeFight && arg >= 1 && arg <= 20) ||
                              (p.AttackMode == AttackModeShoot && arg >= 21 && arg <= 25) ||
                              (p.AttackMode == AttackModeSpell && arg >= 32 && arg <= 49);
            if (!fits)
                mode = 4;
        }
        // arg 19 and 20 fit a fighter but name no weapon kind: the type's
        // own weapon stays.
        if (mode == 6 && (arg == 19 || arg == 20))
            mode = 4;
        uint64_t allowed = GetEquipableItemKinds(p);
        if ((mode == 5 || mode == 6) && allowed != 0) {
            int k = 0;
            if (mode == 6) {
                if (arg >= 1 && arg <= 14)
                    k = arg - 1;
                else if (arg >= 15 && arg <= 18)
                    k = arg - 15;
                else if (arg >= 21 && arg <= 25)
                    k = arg - 7;
                else
                    k = (arg - 32) / 6 + 19;
            } else {
                k = DrawKind(allowed);
            }
            bool lancer = false;
            if (k == 12) {
                allowed = OneHandedOnly(allowed);
                k = DrawKind(allowed);
                lancer = true;
            }
            p.Equipment[1] = FindUsableItemOfKind(p, static_cast<uint8_t>(k));
            if (k <= 3 || k == 12)
                p.Equipment[2] = FindUsableItemOfKind(p, arg >= 15 && arg <= 18 ? 4 : 23);
            else if (k == 15 || k == 16)
                p.Equipment[2] = FindUsableItemOfKind(p, 22);
            else
                p.Equipment[2] = 0;
            p.DefaultItems[1] = p.Equipment[1];
            if (lancer) {
                p.Equipment[13] = FindUsableItemOfKind(p, 32);
                p.Equipment[1] = FindUsableItemOfKind(p, 12);
            }
        } else if (mode == 4 && ItemMainType(p.DefaultItems[1]) == 12) {
            p.Equipment[13] = FindUsableItemOfKind(p, 32);
            const int k = DrawKind(OneHandedOnly(allowed));
            p.DefaultItems[1] = FindUsableItemOfKind(p, static_cast<uint8_t>(k));
        }
    }

    // 16.
    if (mode == 1 || mode == 4 || mode == 5 || mode == 6)
        FillSpells(p, arg);

    // 17, 18. Weapon and armour bonus.
    if (p.AttackMode == AttackModeFight)
        p.PersBonus[3] = GetWeaponBonus(p.AttackMode, p.Kind, p.Equipment[1], p.Equipment[2]);
    else if (p.AttackMode == AttackModeShoot || p.AttackMode == AttackModeSpell)
        p.PersBonus[3] = GetWeaponBonus(p.AttackMode, p.Kind, p.Equipment[1], 0);
    if (p.Bonus[5] != bShootIgnor && p.Bonus[5] != bInvincible && p.Bonus[5] != bEvasive) {
        const TItems* armour = FindItem(p.Equipment[4]);
        p.PersBonus[5] = static_cast<uint8_t>(bClothes + (armour ? armour->SubType : 0));
    }

    // 19. Bonus set and the effects of the worn items.
    p.BonusSet.Clear();
    for (int i = 1; i <= 8; ++i) {
        p.BonusSet.Include(p.PersBonus[i]);
        p.BonusSet.Include(p.BonusAdd[i]);
    }
    TItemEffects effects;
    const bool lance = p.PersBonus[3] == bLance;
    for (int slot = 1; slot <= 14; ++slot) {
        if (slot >= 9 && slot <= 11)
            continue;
        const TItems* item = FindItem(p.Equipment[slot]);
        if (item == nullptr)
            continue;
        if ((slot == 13 || item->MainType == static_cast<uint8_t>(TItemType::HorseItem)) && !lance)
            continue;
        effects.Add(*item, p.BonusSet);
    }
    effects.ApplyTo(p.Stats);

    // 20, 21.
    for (int i = 1; i <= 24; ++i)
        p.BonusSet.Include(p.Talents[i]);
    if (p.BonusSet.Has(tNecromancy) && p.MagicSchool != 0 && (mode == 1 || mode == 4 || mode == 5 || mode == 6) &&
        UsedSpellCount(p) <= 6)
        for (int n = 1; n <= 7; ++n)
            if (p.Spells[n].Spell == 0) {
                p.Spells[n] = TPersonageSpell{7, 1};
                break;
            }

    // 22. Lance charges.
    if (lance) {
        p.Mounted = 1;
        int32_t charges = 3;
        if (p.BonusSet.Has(tTournamentHero))
            charges += 1;
        if (p.BonusSet.Has(Stability))
            charges += BV(Stability);
        p.LanceCharges = static_cast<uint8_t>(charges < 0 ? 0 : charges > 255 ? 255 : charges);
        p.HorseHits = p.LanceCharges;
    } else {
        p.Mounted = 0;
        p.HorseHits = 0;
    }

    // 23..25.
    SetAttackMode(p);
    p.NextLevelExp = CalcNextLevelExp(p);
    ApplyWoundStats(p, 0);

    // 26. Health.
    int64_t hits = p.Hits;
    if (hits - p.HitsDebt > 1) {
        if (mode == 2) {
            if (hits > p.Stats[statHits])
                hits = p.Stats[statHits];
        } else if (mode == 1) {
            if (referenceHealth > 0)
                hits = RoundDivHalfEven(hits * p.Stats[statHits], referenceHealth);
        } else {
            hits += p.Stats[statHits] - referenceHealth;
        }
        if (mode != 2) {
            hits += p.HitsDebt;
            if (hits > 0) {
                p.HitsDebt = 0;
            } else {
                p.HitsDebt = ClampToInt16(hits - 1);
                hits = 1;
            }
        }
    }
    p.Hits = ClampToInt16(hits);

    // 27, 28.
    if (p.Stats[statDefense] < 0)
        p.Stats[statDefense] = 0;
    if (p.Stats[statProtect] < 0)
        p.Stats[statProtect] = 0;
    if (p.Stats[statInitiative] < 1)
        p.Stats[statInitiative] = 1;
    CalcPersonageStrength(p);
}
