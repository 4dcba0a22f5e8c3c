// Wounds, experience and levels, and the battle copy of a personage.
#include <cstdint>
#include <cstring>

#include "model/FixedPoint.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"
#include "model/SceneHooks.h"
#include "model/world/World_Tables.h"

namespace {

// round((w - n) x value / w); a personage without a wound limit is not scaled.
int16_t WoundScale(const TPersonage& p, int64_t value)
{
    if (p.WoundLimit <= 0)
        return ClampToInt16(value);
    return ClampToInt16(RoundDivHalfEven((static_cast<int64_t>(p.WoundLimit) - p.Wounds) * value, p.WoundLimit));
}

void ScaleFromFull(TPersonage& p)
{
    p.Stats[statHits] = WoundScale(p, p.FullHits);
    p.Stats[statInitiative] = WoundScale(p, p.FullInitiative);
}

void ImportantNpcKeepsOne(TPersonage& p)
{
    if (p.ImportantNPC != 0 && p.Stats[statHits] < 1) {
        p.Stats[statHits] = 1;
        p.Stats[statInitiative] = 1;
    }
}

// A caster's spells completed for a type of level L.
void CompleteSpells(TPersonage& p, int32_t level)
{
    if (p.MagicSchool < 1 || p.MagicSchool > 8)
        return;
    if (p.SpellSet != 0) {
        if (p.SpellSet <= SpellPresetCount)
            for (int n = 1; n <= level - 1 && n <= 7 && n <= SpellPresetSize; ++n) {
                const int32_t preset = SpellPresets[p.MagicSchool][p.SpellSet][n];
                if (preset > 0)
                    p.Spells[n] = TPersonageSpell{preset, 1};
            }
        return;
    }
    const TSchoolSpells& school = SchoolSpells[p.MagicSchool];
    for (;;) {
        int used = 0, free = 0;
        for (int n = 7; n >= 1; --n) {
            if (p.Spells[n].Spell != 0)
                ++used;
            else
                free = n;
        }
        if (used >= level - 1 || free == 0)
            return;
        int32_t candidates[10];
        int count = 0;
        for (int i = 1; i <= school.Count && i <= SchoolSpellMax && count < 10; ++i) {
            const int32_t number = school.Spells[i];
            if (number < 1 || number > SpellCount || number > SpellMax)
                continue;
            const TSpell& spell = SpellTable[number];
            if (spell.Previous > 0 && spell.Level <= level - 1 && !KnowsSpell(p, number) &&
                KnowsSpell(p, spell.Previous))
                candidates[count++] = number;
        }
        if (count == 0)
            return;
        int drawn = RandomInt(count);
        p.Spells[free] = TPersonageSpell{candidates[drawn < 0 || drawn >= count ? 0 : drawn], 1};
    }
}

// The talent a hero's point buys; choice is group x 100 + entry, 0 random.
void ChooseTalent(TPersonage& p, int32_t choice)
{
    if (choice / 100 == 0)
        choice = 0;
    int32_t candidates[20];
    int count = 0;
    for (int g : {p.UnitType + 13, 20, 21}) {
        if (g < 1 || g > BonusGroupMax)
            continue;
        for (int n = 1; n <= BonusGroupCount[g] && n <= BonusGroupEntryMax && count < 20; ++n) {
            const int32_t previous = BonusTable[g][n].Previous;
            const bool open =
                previous == 0 || (previous >= 1 && previous <= BonusGroupCount[g] && previous <= BonusGroupEntryMax &&
                                  p.BonusSet.Has(BonusTable[g][previous].Mode));
            if (open)
                candidates[count++] = g * 100 + n;
        }
    }
    if (choice == 0 && count > 0) {
        int drawn = RandomInt(count);
        choice = candidates[drawn < 0 || drawn >= count ? 0 : drawn];
    }
    const int32_t group = choice / 100, entry = choice % 100;
    if (group < 1 || group > BonusGroupMax || entry < 1 || entry > BonusGroupCount[group] || entry > BonusGroupEntryMax)
        return;
    const uint8_t talent = BonusTable[group][entry].Mode;
    if (talent == 0)
        return;
    // The place of the talent follows the levels gained; when points came
    // another way and the place lies outside the list, the first free place
    // takes it.
    int64_t place = static_cast<int64_t>(p.ExpLevel) - p.UpgradePoints + 1;
    if (place < 1 || place > 24) {
        place = 0;
        for (int i = 1; i <= 24 && place == 0; ++i)
            if (p.Talents[i] == 0)
                place = i;
        if (place == 0)
            return;
    }
    p.Talents[static_cast<int>(place)] = talent;
}

bool EarnsUpgradePoints(const TPersonage& p)
{
    if (p.UnitType >= 1 && p.UnitType <= 6)
        return true;
    for (int i = 1; i <= 3; ++i)
        if (p.NextUnit[i] != 0)
            return true;
    return false;
}

// A type an upgrade may turn a personage into: a loaded Units.Ini type.
bool IsUpgradeType(int32_t type)
{
    return type >= 1 && type <= UnitTypeCount && type <= UnitTypeMax && UnitTypes[type].UnitType != 0;
}

} // namespace

void ApplyWoundStats(TPersonage& p, uint8_t mode)
{
    switch (mode) {
    case 0:
    case 19:
        if (mode == 0) {
            p.FullHits = p.Stats[statHits];
            p.FullInitiative = p.Stats[statInitiative];
        } else if (p.Wounds > p.WoundLimit) {
            p.Wounds = p.WoundLimit;
        }
        ScaleFromFull(p);
        if (p.Stats[statHits] < 1)
            p.Stats[statHits] = 0;
        if (p.Stats[statInitiative] < 1)
            p.Stats[statInitiative] = 0;
        if (p.ImportantNPC != 0 && p.Stats[statHits] == 0) {
            p.Stats[statHits] = 1;
            p.Stats[statInitiative] = 1;
        }
        break;
    case 21:
        ScaleFromFull(p);
        break;
    case 25:
        ScaleFromFull(p);
        if (p.Hits < p.Stats[statHits])
            p.Hits = p.Stats[statHits];
        break;
    case 26:
        ScaleFromFull(p);
        ImportantNpcKeepsOne(p);
        if (p.Hits > p.Stats[statHits])
            p.Hits = p.Stats[statHits];
        break;
    case 4:
        p.RefStats[statHits] = WoundScale(p, p.FullHits);
        p.RefStats[statInitiative] = WoundScale(p, p.FullInitiative);
        if (p.Hits > p.RefStats[statHits])
            p.Hits = p.RefStats[statHits];
        break;
    default:
        break;
    }
}

void LevelUp(int32_t army, int32_t slot, int32_t choice, TIntArray& removed)
{
    removed.clear();
    if (!IsWorldArmy(army) || slot < 1 || slot > ArmySlotCount)
        return;
    TPersonage& p = ArmyUnits[static_cast<size_t>(army)][slot];
    if (p.Hits == 0 || p.UnitType == 0)
        return;

    if (choice == -1) {
        if (p.Experience < p.NextLevelExp)
            return;
        const bool earns = EarnsUpgradePoints(p);
        if (earns && p.UpgradePoints < 0)
            p.UpgradePoints = 0;
        // A curve without growth (threshold 0 or below) would never stop;
        // counters of a damaged record stop at the top of their range.
        while (p.NextLevelExp > 0 && p.Experience >= p.NextLevelExp && p.ExpLevel < INT32_MAX) {
            p.ExpLevel += 1;
            if (earns && p.UpgradePoints < INT32_MAX)
                p.UpgradePoints += 1;
            p.Experience -= p.NextLevelExp;
            p.NextLevelExp = CalcNextLevelExp(p);
            p.LevelUpFlag = 1;
        }
        ReloadPersonage(p, 1, -1, removed);
        for (int32_t item : removed)
            AddArmyItem(army, item);
        return;
    }

    if (p.UpgradePoints <= 0 && p.Experience < p.NextLevelExp)
        return;
    if (p.UnitType >= 1 && p.UnitType <= 6) {
        ChooseTalent(p, choice);
    } else {
        if (choice == 0) {
            int32_t next[3];
            int count = 0;
            for (int i = 1; i <= 3; ++i)
                if (p.NextUnit[i] != 0)
                    next[count++] = p.NextUnit[i];
            if (count > 0) {
                int drawn = RandomInt(count);
                choice = next[drawn < 0 || drawn >= count ? 0 : drawn];
            }
        }
        const bool caster = p.AttackMode == AttackModeSpell;
        if (caster)
            CompleteSpells(p, p.Level);
        if (choice >= 1 && IsUpgradeType(choice)) {
            p.UnitType = choice;
            p.ExpLevel = 0;
            if (caster)
                CompleteSpells(p, UnitTypes[choice].Level);
        } else if (p.ExpLevel < INT32_MAX) {
            p.ExpLevel += 1;
        }
    }
    if (p.NextLevelExp > 0 && p.Experience >= p.NextLevelExp)
        p.Experience -= p.NextLevelExp;
    ReloadPersonage(p, 1, -1, removed);
    for (int32_t item : removed)
        AddArmyItem(army, item);
    if (p.UpgradePoints > 0) {
        p.UpgradePoints -= 1;
        if (p.UpgradePoints == 0)
            p.LevelUpFlag = 0;
    }
    if (slot == 1 && army <= ArmyCount)
        SceneHooks().UpdateArmyModel(army);
}

void PrepareBattleCopy(const TPersonage& src, TPersonage& dst)
{
    if (&src != &dst) {
        std::memset(static_cast<void*>(&dst), 0, sizeof(TPersonage));
        std::memcpy(static_cast<void*>(&dst), &src, sizeof(TPersonage));
    }
    dst.RefStats = dst.Stats;
    dst.RefPersBonus = dst.PersBonus;
    dst.RefPersBonusAdd = dst.PersBonusAdd;
    dst.BattleStartHits = dst.Hits;
    dst.BattleBonusSet = dst.BonusSet;
    dst.Mounted = dst.BonusSet.Has(bLance) ? 1 : 0;
    dst.HorseHits = dst.LanceCharges;
    dst.BonusActionTaken = 0;

    const TItems* off = FindItem(dst.Equipment[2]);
    const int main = ItemMainType(dst.Equipment[1]);
    const bool shield = off != nullptr && off->MainType == static_cast<uint8_t>(TItemType::Shield);
    dst.ShieldInHand = shield ? 1 : 0;
    dst.PolearmInHand = (main == 6 || main == 7 || main == 11) ? 1 : 0;

    dst.Mana = dst.Stats[statMagicPower];
    dst.RoundActionPoints = 1;
    dst.ActionPointsLeft = 1;
    dst.WoundedInBattle = 0;
    dst.HitsTaken = 0;

    // Active abilities, in the order of the bonus table.
    dst.AbilityCount = 0;
    for (int i = 1; i <= 5; ++i)
        dst.Abilities[i] = 0;
    const bool bow = main == static_cast<int>(TItemType::Bow);
    auto append = [&](uint8_t ability) {
        if (dst.AbilityCount < 6)
            dst.Abilities[++dst.AbilityCount] = ability;
    };
    for (int g : {1, 2, 3, 4, 5, 6, 7, 8, 14, 15, 16, 17, 18, 19, 20, 21}) {
        for (int n = 1; n <= BonusGroupCount[g] && n <= BonusGroupEntryMax; ++n) {
            const TBonusTTX& entry = BonusTable[g][n];
            if (!entry.Active || !dst.BonusSet.Has(entry.Mode))
                continue;
            if (g <= 8) {
                bool allowed = true;
                switch (entry.Mode) {
                case pCounterSpear:
                    allowed = dst.PolearmInHand != 0;
                    break;
                case pAimedShot:
                    allowed = bow;
                    break;
                case pPiercingShot:
                    allowed = main == static_cast<int>(TItemType::Arbalet);
                    break;
                case pCover:
                    allowed = shield && off->SubType == 2;
                    break;
                case pDefense:
                    allowed = shield;
                    break;
                default:
                    break;
                }
                if (allowed)
                    append(entry.Mode);
            } else if (entry.Mode == tAimedShot) {
                append(bow ? pAimedShot : pPiercingShot);
            } else {
                append(entry.Mode);
            }
        }
    }

    RebuildPotionBelt(dst);
}

void RebuildPotionBelt(TPersonage& p)
{
    // Belt places holding a potion.
    p.BeltPotionCount = 0;
    for (int i = 1; i <= 4; ++i)
        p.BeltPotionSlots[i] = 0;
    for (int slot = 9; slot <= 10; ++slot)
        if (ItemMainType(p.Equipment[slot]) == static_cast<int>(TItemType::Potion))
            p.BeltPotionSlots[++p.BeltPotionCount] = static_cast<int16_t>(slot - 8);
}
