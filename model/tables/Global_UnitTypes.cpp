// The unit-type table ("Units.Ini"): the templates 1 .. UnitTypeCount of
// UnitTypes, their display names, model settings and portraits.
#include <cmath>
#include <cstring>
#include <string>

#include "model/tables/Global.h"
#include "model/Hooks.h"
#include "model/Support.h"
#include "model/tables/TableLoading.h"

TRangeArray<TPersonage, -UnitTypeMax, UnitTypeMax> UnitTypes;
int32_t UnitTypeCount = 0;
TRangeArray<TNamesLang, -UnitTypeMax, UnitTypeMax> UnitTypeNames;
int32_t PersonageTypePartLength = PersonageTypePartSize;

namespace {

uint8_t ReadWord(TIniFile& table, const std::string& key, const char* const* words, int count)
{
    return static_cast<uint8_t>(WordToValue(words, count, ReadKey(table, key)));
}

// One stat key: item 1 the base value, item 2 the gain per level as a
// decimal number ("." or ","), split into whole part and tenths.
void ReadStat(TIniFile& table, int p, TPersonage& t)
{
    const std::string key = StatKeys[p - 1];
    t.BaseStats[p] = static_cast<int16_t>(ReadInt(table, key, 1));
    std::string growth = table.ReadString(key, 2);
    for (char& c : growth)
        if (c == ',')
            c = '.';
    const float g = StrToFloatLenient(growth);
    if (std::isnan(g))
        return;
    // A gain beyond the 16-bit fields stops at their ends.
    const float whole = std::trunc(g);
    t.StatGrowth[p] = whole >= 32767.0f    ? int16_t{32767}
                      : whole <= -32768.0f ? int16_t{-32768}
                                           : static_cast<int16_t>(whole);
    if (std::isfinite(g))
        t.StatGrowthTenths[p] = static_cast<int16_t>(std::nearbyint((g - whole) * 10.0f));
}

void ReadUnitType(TIniFile& table, int32_t s, TPersonage& t)
{
    t.UnitType = s;
    t.BaseType = s;
    t.MapModelIndex = -1;
    t.ArenaModelIndex = -1;

    UnitTypeNames[s].Name = ReadTableText(table, "Name");
    t.Name.Assign(WideToGameAnsi(UnitTypeNames[s].Name));
    t.TypeName.Assign(t.Name.Str());
    t.FileName.Assign(ReadKey(table, "FileName"));
    t.UseQuiver = ReadFlag(table, "UseQuiver");
    t.TagName.Assign(ReadKey(table, "TagName"));
    t.VoiceTag.Assign(ReadKey(table, "VoiceTag"));
    t.Used = ReadFlag(table, "Used");
    t.Level = ReadInt(table, "Level");
    t.EquipmentType = ReadInt(table, "EquipmentType");
    t.Nature = ReadWord(table, "Nature", PersNatureNames, PersNatureCount);
    t.Kind = ReadWord(table, "Kind", PersNatureNames, PersNatureCount);
    t.Sex = ReadWord(table, "Sex", SexNames, SexCount);
    t.ImportantNPC = ReadFlag(table, "ImportantNPC");
    t.LevelUpName = ReadWord(table, "LevelUpName", PersNatureNames, PersNatureCount);
    t.LevelUp = ReadWord(table, "LevelUp", AttackKindNames, AttackKindCount);
    t.GarrisonUnit = ReadWord(table, "GarrisonUnit", GarrisonUpgradeNames, GarrisonUpgradeCount);
    t.Armor = ReadWord(table, "Armor", ArmorKindNames, ArmorKindCount);
    t.Shield = ReadWord(table, "Shield", ShieldKindNames, ShieldKindCount);
    t.Alignment = ReadWord(table, "Alignment", AlignmentNames, AlignmentCount);
    for (int i = 1; i <= 3; ++i)
        t.Weapon[i] =
            static_cast<uint8_t>(WordToValue(WeaponClassNames, WeaponClassCount, table.ReadString("Weapon", i)));
    t.Horse = ReadFlag(table, "Horse");
    t.Dagger = ReadFlag(table, "Dagger");
    t.Cost = ReadInt(table, "Cost");
    t.Strength = static_cast<int16_t>(ReadInt(table, "Strength"));
    t.StrengthMultipler = ReadInt(table, "StrengthMultipler");
    if (t.StrengthMultipler == 0)
        t.StrengthMultipler = 100;
    t.StartExpirience = ReadInt(table, "StartExpirience");
    t.LevelMultipler = ReadInt(table, "LevelMultipler");
    t.ReplaceHead = static_cast<int16_t>(ReadInt(table, "ReplaceHead"));
    t.UseAllWeapon = ReadFlag(table, "UseAllWeapon");
    t.DefaultItems[1] = ReadInt(table, "EquipRightHand", 1);
    t.DefaultItems[2] = ReadInt(table, "EquipLeftHand", 1);
    t.DefaultItems[3] = ReadInt(table, "EquipHelmet", 1);
    t.DefaultItems[4] = ReadInt(table, "EquipArmor", 1);
    t.UseAllDefence = ReadFlag(table, "UseAllDefence");
    for (int p = 1; p <= 8; ++p)
        ReadStat(table, p, t);
    for (int i = 1; i <= 8; ++i) {
        t.Bonus[i] = BonusTypeByName(table.ReadString("Bonus", i));
        t.BonusAdd[i] = BonusTypeByName(table.ReadString("BonusAdd", i));
    }
    t.Surrender = static_cast<uint8_t>(ReadInt(table, "Surrender"));
    t.SortGroup = ReadWord(table, "SortGroup", SortGroupNames, SortGroupCount);

    if (t.LevelUp == static_cast<uint8_t>(TAttackKind::Fight))
        t.AttackMode = 4; // mFight
    else if (t.LevelUp == static_cast<uint8_t>(TAttackKind::Shoot))
        t.AttackMode = 13; // mShoot
    else
        t.AttackMode = 16; // mSpell
    t.MagicSchool = t.AttackMode == 16 ? static_cast<uint8_t>(t.LevelUp - 1) : 0;
    if (t.WoundLimit == 0)
        t.WoundLimit = 4;
}

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

void LoadPortraits()
{
    const std::string c = InterfaceFolder + "Common\\Icons\\Personages\\";
    for (int32_t s = 1; s <= UnitTypeCount; ++s) {
        TPersonage& t = UnitTypes[s];
        std::string p;
        if (t.FileName.Empty()) {
            p = ResolveModFile(c + "NotModel" + ".DDS");
        } else {
            for (int i = 1; i <= 3; ++i)
                t.Icons[i] = 0;
            p = ResolveModFile(c + ExtractBaseName(PortraitBaseName(t.FileName.Str(), t.ReplaceHead)) + ".DDS");
            if (!FileExistsMask(p))
                p = ResolveModFile(c + "Empty" + ".DDS");
        }
        LoadPortraitSprites(t, p);
    }
}

} // namespace

// Heroes wearing the duke's armour or body show the head their "ReplaceHead"
// selects.
std::string PortraitBaseName(const std::string& fileName, int32_t replaceHead)
{
    std::string suffix;
    switch (replaceHead) {
    case 260:
    case 261:
    case 262:
    case 263:
    case 264:
    case 265:
        suffix = "0" + std::to_string(replaceHead - 259);
        break;
    case 282:
        suffix = "07";
        break;
    case 283:
        suffix = "08";
        break;
    default:
        break;
    }
    std::string body;
    if (Contains(fileName, "DukeArmor") || Contains(fileName, "dukearmor"))
        body = Contains(fileName, "01") || Contains(fileName, "03") ? "DukeArmor01" : "DukeArmor02";
    else if (Contains(fileName, "Duke") || Contains(fileName, "duke"))
        body = ExtractBaseName(fileName);
    if (replaceHead != 0 && !body.empty() && !suffix.empty())
        return body + suffix;
    return fileName;
}

void LoadPortraitSprites(TPersonage& type, const std::string& file)
{
    TRenderHooks& render = RenderHooks();
    const int32_t large = render.LoadSprite(file, 1);
    render.Sprite_SetSize(large, -1, 230, 190);
    const int32_t middle = render.CloneSprite(large);
    render.Sprite_SetSize(middle, -1, 174, 146);
    render.Sprite_SetRenderState(middle, 768, 2);
    const int32_t small = render.CloneSprite(large);
    render.Sprite_SetSize(small, -1, 104, 88);
    render.Sprite_SetRenderState(small, 768, 2);
    type.Icons[1] = small;
    type.Icons[2] = middle;
    type.Icons[3] = large;
}

int32_t FindUnitTypeByName(const std::string& tagName)
{
    if (tagName.empty())
        return 0;
    for (int32_t s = std::min(UnitTypeCount, UnitTypeMax); s >= 1; --s)
        if (UnitTypes[s].TagName.Str() == tagName)
            return s;
    return 0;
}

void LoadUnitTypes()
{
    PersonageTypePartLength = PersonageTypePartSize;
    std::memset(static_cast<void*>(&UnitTypes), 0, sizeof UnitTypes);
    for (int i = -UnitTypeMax; i <= UnitTypeMax; ++i)
        UnitTypeNames[i] = TNamesLang{};
    UnitTypeCount = 0;

    TIniFile* table = nullptr;
    if (OpenTableFiles(table, "Units.Ini")) {
        TIniFile personageSettings;
        if (FileExistsMask(PersonagesFolder + "Settings\\Personages.qxs"))
            personageSettings.Load(PersonagesFolder + "Settings\\Personages.qxs");

        const int32_t sections = table->SectionCount();
        for (int32_t s = 0; s < sections; ++s) {
            if (UnitTypeCount >= UnitTypeMax) {
                LogTableError("LoadUnitTypes(" + table->SectionName(s) + ") -> MORE THAN 255 UNIT TYPES, SKIPPED");
                continue;
            }
            table->SelectSectionIndex(s);
            const int32_t n = ++UnitTypeCount;
            TPersonage& t = UnitTypes[n];
            ReadUnitType(*table, n, t);
            ReadModelSettings(t.FileName.Str(), personageSettings, t.ModelSettings);
        }
        // Upgrade targets may name types that come later in the file.
        for (int32_t s = 1; s <= UnitTypeCount; ++s) {
            table->SelectSectionIndex(s - 1);
            for (int i = 1; i <= 3; ++i)
                UnitTypes[s].NextUnit[i] = FindUnitTypeByName(ReadKey(*table, "NextUnit" + std::to_string(i)));
        }
        CloseTableFiles(table);
    }

    TRenderHooks& render = RenderHooks();
    render.Texture_SetLoadOptions(3, 2);
    LoadPortraits();
    render.Texture_SetLoadOptions(0, 0);
}
