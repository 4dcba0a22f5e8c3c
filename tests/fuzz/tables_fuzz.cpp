// Any bytes as each game table (bonuses, spells, items, unit types,
// achievements) and as a language copy: every loader reads them without
// touching memory outside its tables, and the counts stay in range.
//
// The input is split at lines "%%" into Bonuses.Ini, Spells.Ini, Items.Ini,
// Units.Ini and Achievements.Ini (missing parts are empty); the bonus, item
// and unit tables have an English copy with their own bytes (the game's
// language is German: copies and fall-backs both in play). The four tables
// and their copies come from memory, so an input costs little more than
// reading its bytes once.
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/tables/Global.h"
#include "model/Support.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

const char* const TableNames[] = {"Bonuses.Ini", "Spells.Ini", "Items.Ini", "Units.Ini"};
constexpr int PartCount = 5; // the four tables and the achievements
std::string Parts[PartCount];

const std::string* TableText(const std::string& name, int language)
{
    for (int i = 0; i < 4; ++i)
        if (name == TableNames[i]) {
            if (language < 0 || (language == static_cast<int>(TLanguage::Eng) && i != 1))
                return &Parts[i];
            return nullptr;
        }
    return nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzGame game("tables-fuzz", "deu");
    TableTextSource = &TableText;
    FuzzSplitInput(data, size, Parts, PartCount);
    FuzzWriteRealFile(game.Real + "Config/Achievements.Ini", Parts[4]);
    TableLoadErrors.clear();
    LoadAchievements();
    LoadBonuses();
    LoadSpells();
    LoadItems();
    LoadUnitTypes();
    for (int g = 1; g <= BonusGroupMax; ++g)
        if (BonusGroupCount[g] < 0 || BonusGroupCount[g] > BonusGroupEntryMax)
            __builtin_trap();
    for (const TSchoolSpells& school : SchoolSpells)
        if (school.Count < 0 || school.Count > SchoolSpellMax)
            __builtin_trap();
    if (SpellCount > SpellMax || ItemCount > ItemMax || UnitTypeCount > UnitTypeMax)
        __builtin_trap();
    for (int s = 1; s <= UnitTypeCount; ++s)
        for (int i = 1; i <= 3; ++i)
            if (UnitTypes[s].NextUnit[i] < 0 || UnitTypes[s].NextUnit[i] > UnitTypeCount)
                __builtin_trap();
    return 0;
}
