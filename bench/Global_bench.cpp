// Start-up loading of the game tables at their full sizes (203 bonuses,
// 100 spells, 600 items, 255 unit types), without a renderer: the parsing
// and table filling alone.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "model/tables/Global.h"
#include "model/Support.h"
#include "platform/os/OS.h"

namespace {

struct TBenchGame {
    std::string Real;
    TBenchGame()
    {
        char pattern[] = "/tmp/duskmarch-tables-bench-XXXXXX";
        const char* made = mkdtemp(pattern);
        Real = std::string(made ? made : "/tmp") + "/";
        OS_CreateDirectory(OS_ToProgramPath(Real + "Config"));
        OS_CreateDirectory(OS_ToProgramPath(Real + "User"));
        std::string bonuses, spells, items, units;
        for (int i = 1; i <= 203; ++i)
            bonuses += "[B" + std::to_string(i) + "]\nGroup=" + std::to_string(1 + i % 21) + "\nMode=" + BonusNames[i] +
                       "\nName=Bonus " + std::to_string(i) + "\nDescript=Text of bonus " + std::to_string(i) +
                       "\nValue=" + std::to_string(i % 30) + "\nPrevious=0\nActive=No\n";
        for (int i = 1; i <= 100; ++i)
            spells += "[S" + std::to_string(i) +
                      "]\nName=Spell\nMode=Healing\nGlobal=" + (i <= 20 ? "BattleSpell" : "RitualSpell") +
                      "\nCostMana=5\nEffect1=eCure,10,2,0,No\nCondition=cAlly,cWounded\nSpellPower=1,2,3,4\n";
        for (const char* school : {"Alchemy", "Thaumaturgy", "Healing", "Witchcraft", "Demonology", "Necromancy",
                                   "BloodMagic", "GhostForce"})
            spells += std::string("[") + school + "]\nPreset1=P,1,2,3,0,0,0,0,0,0\n";
        for (int i = 1; i <= 600; ++i)
            items += "[I" + std::to_string(i) + "]\nName=Item " + std::to_string(i) +
                     "\nDescript=A thing.\nMainType=Sword\nCost=" + std::to_string(i) +
                     "\nMaxAttackBlow=5\nAbsDefense=1\nBnsAttack=bSword,Evasive\nIconFileName=I" + std::to_string(i) +
                     ".dds\n";
        for (int i = 1; i <= 255; ++i)
            units += "[U" + std::to_string(i) + "]\nName=Unit " + std::to_string(i) + "\nFileName=U" +
                     std::to_string(i) + "\nTagName=u" + std::to_string(i) +
                     "\nNature=People\nKind=Recruit\n"
                     "LevelUp=Fight\nWeapon=Sword,Axe\nHits=40, 3.5\nInitiative=8, 0.2\nAttackBlow=10, 1\n"
                     "Defense=6, 0.5\nBonus=Evasive,,bSword\nNextUnit1=u" +
                     std::to_string(i % 255 + 1) + "\n";
        Write("Config/Bonuses.Ini", bonuses);
        Write("Config/Spells.Ini", spells);
        Write("Config/Items.Ini", items);
        Write("Config/Units.Ini", units);
        SetGameFolders(OS_ToProgramPath(Real));
        LoadGameOptions(OS_ToProgramPath(Real + "User/"));
        SetGameLanguage("eng");
    }
    void Write(const std::string& relative, const std::string& text) const
    {
        FILE* f = fopen((Real + relative).c_str(), "wb");
        if (f == nullptr)
            return;
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
};

TBenchGame& Game()
{
    static TBenchGame game;
    return game;
}

void BM_LoadBonuses(benchmark::State& state)
{
    Game();
    for (auto _ : state)
        LoadBonuses();
}
BENCHMARK(BM_LoadBonuses)->Unit(benchmark::kMillisecond);

void BM_LoadSpells(benchmark::State& state)
{
    Game();
    for (auto _ : state)
        LoadSpells();
}
BENCHMARK(BM_LoadSpells)->Unit(benchmark::kMillisecond);

void BM_LoadItems(benchmark::State& state)
{
    Game();
    for (auto _ : state)
        LoadItems();
}
BENCHMARK(BM_LoadItems)->Unit(benchmark::kMillisecond);

void BM_LoadUnitTypes(benchmark::State& state)
{
    Game();
    for (auto _ : state)
        LoadUnitTypes();
}
BENCHMARK(BM_LoadUnitTypes)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
