// The spell table ("Spells.Ini"): the spell sections first, the eight school
// sections with the presets last.
#include <string>

#include "model/tables/Global.h"
#include "model/Hooks.h"
#include "model/Support.h"
#include "model/tables/TableLoading.h"

TSpell SpellTable[SpellMax + 1];
int32_t SpellCount = 0;
TSchoolSpells SchoolSpells[MagicSchoolCount];
int32_t SpellPresets[9][SpellPresetCount + 1][SpellPresetSize + 1] = {};

namespace {

uint8_t TargetFlagsOf(uint8_t condition)
{
    switch (condition) {
    case cMag:
    case cAlly:
    case cAllyFight:
    case cAllyShoot:
    case cAllySpell:
        return 19;
    case cEnemy:
    case cEnemyFight:
    case cEnemyShoot:
    case cEnemySpell:
        return 17;
    default:
        return 31;
    }
}

void LoadSpellIcons(TSpell& spell)
{
    TRenderHooks& render = RenderHooks();
    const std::string base = ExtractBaseName(spell.File);
    const std::string q = InterfaceFolder + "Common\\Icons\\Spells\\";
    const std::string dds = ResolveModFile(q + base + ".DDS");
    if (!base.empty() && FileExistsMask(dds)) {
        spell.Icon = render.LoadSprite(dds, 1);
        // The variants follow a mod only where the mod has a file of exactly
        // the base name.
        const std::string r = ResolveModFile(q + base);
        spell.IconBase = render.LoadSprite(r + ".DDS", 1);
        spell.IconPutted = render.LoadSprite(r + "_putted" + ".DDS", 1);
        spell.IconLighten = render.LoadSprite(r + "_lighten" + ".DDS", 1);
    } else {
        spell.Icon = render.LoadSprite(ResolveModFile(q + "NoSpell" + ".DDS"), 1);
    }
    const std::string small = ResolveModFile(InterfaceFolder + "Windows\\Common\\Icons\\" + "Spell_" + base + ".tga");
    if (!base.empty() && FileExistsMask(small)) {
        spell.IconSmall = render.LoadSprite(small, 1);
    } else {
        spell.IconSmall = render.CloneSprite(spell.Icon);
        render.Sprite_SetSize(spell.IconSmall, -1, 27, 27);
        render.Sprite_SetPosition(spell.IconSmall, 4, 4);
    }
}

void ReadSpell(TIniFile& table, TSpell& spell)
{
    spell.Name = ReadTableText(table, "Name");
    spell.Descript = ReadTableText(table, "Descript");
    const int school = WordToValue(MagicSchoolNames, MagicSchoolCount, ReadKey(table, "Mode"));
    if (school >= static_cast<int>(TMagicSchool::Alchemy) && school <= static_cast<int>(TMagicSchool::GhostForce))
        spell.Mode = static_cast<uint8_t>(school);
    const std::string global = ReadKey(table, "Global");
    if (global == "BattleSpell")
        spell.Global = static_cast<uint8_t>(TMagicSchool::BattleSpell);
    else if (global == "RitualSpell")
        spell.Global = static_cast<uint8_t>(TMagicSchool::RitualSpell);

    spell.File = ReadKey(table, "File");
    spell.Image = ReadInt(table, "Image");
    spell.Previous = ReadInt(table, "Previous");
    spell.CostGold = ReadInt(table, "CostGold");
    spell.CostMana = ReadInt(table, "CostMana");
    spell.Level = ReadInt(table, "Level");
    spell.Time = ReadInt(table, "Time");
    spell.MassEffect = ReadFlag(table, "MassEffect");
    spell.BlessSpell = ReadFlag(table, "BlessSpell");
    spell.CurseSpell = ReadFlag(table, "CurseSpell");
    spell.Tested = ReadFlag(table, "Tested");
    spell.BonusOk = ReadFlag(table, "BonusOk");

    for (int i = 1; i <= 3; ++i) {
        const std::string key = "Effect" + std::to_string(i);
        spell.Effect[i] = static_cast<uint8_t>(SpellEffectByName(table.ReadString(key, 1)));
        spell.EffectValue1[i] = static_cast<int16_t>(ReadInt(table, key, 2));
        spell.EffectValue2[i] = static_cast<int16_t>(ReadInt(table, key, 3));
        spell.EffectValue3[i] = static_cast<int16_t>(ReadInt(table, key, 4));
        spell.EffectBonus[i] = BonusTypeByName(table.ReadString(key, 5));
    }
    for (int i = 1; i <= 3; ++i)
        spell.Condition[i] = static_cast<uint8_t>(SpellTargetByName(table.ReadString("Condition", i)));
    spell.TargetFlags = TargetFlagsOf(spell.Condition[1]);

    spell.CostManaDecrease = ReadInt(table, "CostManaDecrease");
    spell.ResultMultiply = ReadInt(table, "ResultMultiply");
    for (int j = 1; j <= 4; ++j) {
        spell.SpellPower[j] = ReadInt(table, "SpellPower", j);
        spell.SpellStrength[j] = ReadInt(table, "SpellStrength", j);
    }

    spell.NearbyCondition = spell.Condition[2] == cNearby || spell.Condition[3] == cNearby;
    for (int i = 1; i <= 3; ++i) {
        if (spell.Effect[i] == eSummonGhost)
            spell.SummonsGhost = true;
        if (spell.Effect[i] == eWill && spell.EffectBonus[i] == eWillLost) {
            spell.DrainsWill = true;
            spell.DrainsWillEffect = static_cast<uint8_t>(i);
        }
    }
    spell.VideoEffect = LowerCaseStr(ReadKey(table, "VideoEffect"));
    spell.VideoEffectIndex = -1;
    spell.Icon = -1;
}

} // namespace

void LoadSpells()
{
    TIniFile* table = nullptr;
    if (!OpenTableFiles(table, "Spells.Ini"))
        return;

    for (TSpell& spell : SpellTable)
        spell = TSpell{};
    SpellCount = 0;
    for (TSchoolSpells& school : SchoolSpells)
        school = TSchoolSpells{};
    for (auto& school : SpellPresets)
        for (auto& preset : school)
            for (int32_t& number : preset)
                number = 0;

    TRenderHooks& render = RenderHooks();
    render.Texture_SetLoadOptions(3, 2);
    const int32_t spellSections = table->SectionCount() - 8;
    for (int32_t s = 0; s < spellSections; ++s) {
        if (SpellCount >= SpellMax) {
            LogTableError("LoadSpells(" + table->SectionName(s) + ") -> MORE THAN 100 SPELLS, SKIPPED");
            continue;
        }
        table->SelectSectionIndex(s);
        const int32_t n = ++SpellCount;
        TSpell& spell = SpellTable[n];
        ReadSpell(*table, spell);
        if (spell.Global == static_cast<uint8_t>(TMagicSchool::BattleSpell)) {
            TSchoolSpells& list = SchoolSpells[spell.Mode];
            if (list.Count < SchoolSpellMax) {
                list.Spells[++list.Count] = n;
            } else {
                LogTableError("LoadSpells(" + table->SectionName(s) + ") -> MORE THAN 20 BATTLE SPELLS IN SCHOOL " +
                              MagicSchoolNames[spell.Mode] + ", NOT LISTED");
            }
        }
        LoadSpellIcons(spell);
    }
    render.Texture_SetLoadOptions(0, 0);

    // A school without a section of its own reads in the section selected
    // before, as the table files have always been read.
    for (int k = 0; k <= static_cast<int>(TMagicSchool::GhostForce); ++k) {
        table->SelectSection(MagicSchoolNames[k]);
        for (int p = 1; p <= SpellPresetCount; ++p) {
            const std::string key = "Preset" + std::to_string(p);
            for (int i = 1; i <= SpellPresetSize; ++i)
                SpellPresets[k][p][i] = ReadInt(*table, key, i + 1);
        }
    }
    CloseTableFiles(table);
}
