// Any bytes as each game table (bonuses, spells, items, unit types,
// achievements) and as a language copy: every loader reads them without
// touching memory outside its tables, and the counts stay in range.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "model/Global.h"
#include "model/Support.h"
#include "platform/os/OS.h"

namespace {

struct TFuzzGame {
    std::string Real;
    TFuzzGame()
    {
        char pattern[] = "/tmp/duskmarch-tables-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        Real = std::string(made ? made : "/tmp") + "/";
        OS_CreateDirectory(OS_ToProgramPath(Real + "Config"));
        OS_CreateDirectory(OS_ToProgramPath(Real + "Config/Eng"));
        OS_CreateDirectory(OS_ToProgramPath(Real + "User"));
        SetGameFolders(OS_ToProgramPath(Real));
        LoadGameOptions(OS_ToProgramPath(Real + "User/"));
        SetGameLanguage("deu"); // copies and fall-backs both in play
    }
};

void WriteAll(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr)
        return;
    if (size > 0)
        fwrite(data, 1, size, f);
    fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzGame game;
    for (const char* name : {"Bonuses.Ini", "Spells.Ini", "Items.Ini", "Units.Ini", "Achievements.Ini"})
        WriteAll(game.Real + "Config/" + name, data, size);
    for (const char* name : {"Bonuses.Eng", "Items.Eng", "Units.Eng"})
        WriteAll(game.Real + "Config/Eng/" + name, data, size);
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
