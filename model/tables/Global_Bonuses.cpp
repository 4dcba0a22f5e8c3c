// The bonus table ("Bonuses.Ini"): one entry per section, in groups.
#include <string>

#include "model/tables/Global.h"
#include "model/Hooks.h"
#include "model/Support.h"
#include "model/tables/TableLoading.h"

TBonusTTX BonusTable[BonusGroupMax + 1][BonusGroupEntryMax + 1];
int32_t BonusGroupCount[BonusGroupMax + 1] = {};
TBonusPlace BonusIndex[BonusTypeCount] = {};
int32_t BonusValues[BonusTypeCount] = {};
uint8_t ItemKindBonus[ItemKindBonusCount] = {};

namespace {

// The kind bonus each slot of ItemKindBonus takes when the table has it:
// item kinds Sword .. Book, two free slots, the dagger pairs, the body
// armour classes, three free slots and the bare-handed kinds.
const TBonusType KindBonusSlots[ItemKindBonusCount] = {
    bSword,       bAxe,       bCrowbill,       bMace,       bDagger,  bPole,       bPitchfork,   bSpear,
    bLongSword,   bHalberd,   bHammer,         bPike,       bLance,   bSpectral,   bSling,       bBow,
    bArbalet,     bGun,       bCanon,          bStaff,      bWand,    bBook,       NoBonus,      NoBonus,
    bSwordDagger, bAxeDagger, bCrowbillDagger, bMaceDagger, bClothes, bLightArmor, bMediumArmor, bHeavyArmor,
    NoBonus,      NoBonus,    NoBonus,         bHand,       bClaws,   bPaw,
};

void LoadBonusIcons(TBonusTTX& entry)
{
    TRenderHooks& render = RenderHooks();
    const std::string base = ExtractBaseName(entry.FileName);
    if (!entry.Active) {
        const std::string tga = ResolveModFile(InterfaceFolder + "Windows\\Common\\Icons\\" + base + ".TGA");
        entry.Icon = !base.empty() && FileExistsMask(tga) ? render.LoadSprite(tga, 1) : -1;
        return;
    }
    if (entry.FileName.empty()) {
        entry.Icon = -1;
        entry.IconSimple = entry.IconLighten = entry.IconPutted = 0;
        return;
    }
    const std::string p = InterfaceFolder + "Common\\Icons\\Abilities\\" + base;
    entry.IconSimple = render.LoadSprite(ResolveModFile(p + "_Simple" + ".DDS"), 1);
    entry.IconLighten = render.LoadSprite(ResolveModFile(p + "_Lighten" + ".DDS"), 1);
    entry.IconPutted = render.LoadSprite(ResolveModFile(p + "_Putted" + ".DDS"), 1);
    const std::string tga = ResolveModFile(InterfaceFolder + "Windows\\Common\\Icons\\" + "Ability_" + base + ".TGA");
    if (FileExistsMask(tga)) {
        entry.Icon = render.LoadSprite(tga, 1);
    } else {
        entry.Icon = render.CloneSprite(entry.IconSimple);
        render.Sprite_SetSize(entry.Icon, -1, 32, 32);
    }
}

} // namespace

void LoadBonuses()
{
    TIniFile* table = nullptr;
    if (!OpenTableFiles(table, "Bonuses.Ini"))
        return;

    for (auto& group : BonusTable)
        for (TBonusTTX& entry : group)
            entry = TBonusTTX{};
    for (int32_t& count : BonusGroupCount)
        count = 0;
    // Loading again starts from nothing, not from the last load's values.
    for (int v = 0; v < BonusTypeCount; ++v) {
        BonusIndex[v] = TBonusPlace{};
        BonusValues[v] = 0;
    }
    for (uint8_t& slot : ItemKindBonus)
        slot = NoBonus;

    TRenderHooks& render = RenderHooks();
    render.Texture_SetLoadOptions(3, 2);
    const int32_t sections = table->SectionCount();
    for (int32_t s = 0; s < sections; ++s) {
        table->SelectSectionIndex(s);
        const int32_t group = ReadInt(*table, "Group");
        const TBonusType mode = BonusTypeByName(ReadKey(*table, "Mode"));
        if (mode == NoBonus)
            continue;

        // The value and the kind slot do not depend on the group: keep them
        // even for an entry that finds no place in the table.
        const int32_t value = ReadInt(*table, "Value");
        BonusValues[mode] = value;
        for (int slot = 0; slot < ItemKindBonusCount; ++slot)
            if (KindBonusSlots[slot] == mode)
                ItemKindBonus[slot] = mode;

        if (group < 1 || group > BonusGroupMax) {
            LogTableError("LoadBonuses(" + table->SectionName(s) + ") -> GROUP " + std::to_string(group) +
                          " OUTSIDE 1..21, SKIPPED");
            continue;
        }
        if (BonusGroupCount[group] >= BonusGroupEntryMax) {
            LogTableError("LoadBonuses(" + table->SectionName(s) + ") -> GROUP " + std::to_string(group) +
                          " HOLDS 203 ENTRIES, SKIPPED");
            continue;
        }
        const int32_t n = ++BonusGroupCount[group];
        TBonusTTX& entry = BonusTable[group][n];
        entry.Mode = mode;
        entry.Name = ReadTableText(*table, "Name");
        entry.Descript = ReadTableText(*table, "Descript");
        entry.FileName = ReadKey(*table, "FileName");
        entry.Image = ReadInt(*table, "Image");
        entry.Value = value;
        entry.Previous = ReadInt(*table, "Previous");
        entry.Active = ReadFlag(*table, "Active");
        BonusIndex[mode] = TBonusPlace{group, n};
        entry.Icon = -1;
        LoadBonusIcons(entry);
    }
    render.Texture_SetLoadOptions(0, 0);
    CloseTableFiles(table);
}
