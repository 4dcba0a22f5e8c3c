// Any bytes as each game table (bonuses, spells, items, unit types,
// achievements) and as a language copy: every loader reads them without
// touching memory outside its tables, and the counts stay in range.
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/Global.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzGame game("tables-fuzz", "deu"); // copies and fall-backs both in play
    for (const char* name : {"Bonuses.Ini", "Spells.Ini", "Items.Ini", "Units.Ini", "Achievements.Ini"})
        FuzzWriteRealFile(game.Real + "Config/" + name, data, size);
    for (const char* name : {"Bonuses.Eng", "Items.Eng", "Units.Eng"})
        FuzzWriteRealFile(game.Real + "Config/Eng/" + name, data, size);
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
