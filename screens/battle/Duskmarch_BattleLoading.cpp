#include "screens/battle/Duskmarch_BattleLoading.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <set>

#include "battle/BattleArena.h"
#include "battle/BattleSide.h"
#include "engine/QX9_System.h"
#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/world/Army_Formation.h"
#include "model/world/World_Tables.h"

std::atomic<int32_t> ArenaLoaderState{0};
uint8_t BattleArenaKind = 0;
uint16_t BattleArenaTags = 0;
std::string BattleArenaName;
int32_t ArenaLoadStart = 0;
int32_t ArenaLoadEstimate = 0;
int32_t ModelLoadEstimate = 0;
int32_t ArenaLoadDone = 0;
int32_t PlayerBattleSide = 1;
int32_t EnemyBattleSide = 2;

namespace {

// The loader thread writes the options while the main thread may read them.
std::mutex OptionsLock;

const char* const ArenaNamesByKind[16] = {"",       "Plain",  "PlainTown", "PlainVillage", "PlainWild", "Castle",
                                          "Tower",  "Ruins",  "PineForest", "Forest",      "Swamp",     "Forest",
                                          "Lake",   "Lake",   "Lake",       "Ruins"};

} // namespace

std::string BattleArenaNameOfKind(int32_t kind)
{
    if (kind < 1 || kind > 15)
        return std::string();
    return ArenaNamesByKind[kind];
}

void ApplyBattleArenaKind(uint8_t kind, uint16_t tags)
{
    BattleArenaKind = kind;
    BattleArenaTags = tags;
    const std::string name = BattleArenaNameOfKind(kind);
    if (!name.empty())
        BattleArenaName = name;
}

std::string ArenaTimeSuffix(int64_t clock)
{
    // A negative clock gives a negative minute (the remainder keeps the
    // sign), which names no time of day.
    const int64_t m = (clock / 10000) % 1440;
    if (m < 0)
        return std::string();
    if (m < 150)
        return "_Night";
    if (m < 375)
        return "_Twilight";
    if (m < 450)
        return "_Dawn";
    if (m < 1080)
        return "_Day";
    if (m < 1230)
        return "_Sunset";
    if (m < 1350)
        return "_Nightfall";
    return "_Night";
}

std::string GetArenaFileName(const std::string& name, int64_t clock)
{
    const std::string base = name.find("Plain") != std::string::npos ? ArenasFolder + "Plain\\" + name
                                                                     : ArenasFolder + name + "\\" + name;
    const std::string suffix = ArenaTimeSuffix(clock);
    if (!suffix.empty() && FileExistsMask(base + suffix + ".qxs"))
        return base + suffix + ".qxs";
    return base + ".qxs";
}

std::string BattleArenaTagText(uint16_t tags, const std::string& arenaName)
{
    std::string text;
    for (int i = 0; i < ArenaTagCount; ++i)
        if ((tags >> i) & 1)
            text += std::string(ArenaTagNames[i]) + " ";
    if (arenaName == "Lake" && text.find("island") == std::string::npos)
        text += "island ";
    if (text.find("collision") == std::string::npos)
        text += "-collision";
    return text;
}

int32_t BattleLoadingBarWidth(int64_t done, int64_t arenaEstimate, int64_t modelEstimate)
{
    const int64_t whole = arenaEstimate + modelEstimate;
    if (done <= 0 || whole <= 0)
        return 0;
    const double w = std::round(static_cast<double>(done) * BattleBarLength / static_cast<double>(whole));
    return static_cast<int32_t>(std::min<double>(w, BattleBarLength));
}

int64_t BattleModelEstimate(const TBattle& battle, bool (*typeLoaded)(int32_t unitType))
{
    std::set<int32_t> types;
    for (int32_t side = 1; side <= 2; ++side) {
        const TBattleSide& s = battle.Sides[side];
        for (int32_t n = 1; n <= s.PersonageCount && n <= ArmySlotCount; ++n)
            types.insert(s.Personages[n].UnitType);
    }
    int64_t estimate = 0;
    for (const int32_t type : types)
        estimate += ModelBytesPerType + (typeLoaded != nullptr && typeLoaded(type) ? 0 : ModelBytesUnloaded);
    return estimate;
}

int32_t ReadArenaLoadAmount(const std::string& arenaName)
{
    std::lock_guard<std::mutex> lock(OptionsLock);
    if (GameOptions == nullptr || !GameOptions->SelectSection("Arenas"))
        return 0;
    return GameOptions->ReadInteger(arenaName, -1, 0);
}

void StoreArenaLoadAmount(const std::string& arenaName, int32_t amount)
{
    std::lock_guard<std::mutex> lock(OptionsLock);
    if (GameOptions == nullptr)
        return;
    if (!GameOptions->SelectSection("Arenas")) {
        TIniSection section;
        section.Name = "Arenas";
        GameOptions->Sections.push_back(section);
        GameOptions->SelectSection("Arenas");
    }
    GameOptions->WriteInteger(arenaName, amount, -1);
    GameOptions->Save();
}

void PrepareBattle(int32_t playerArmy, int32_t enemyArmy)
{
    const TGameArmy& army = GameArmies[static_cast<size_t>(playerArmy)];
    const TArenaChoice choice = ChooseBattleArena(army.Cell.X, army.Cell.Z);
    ApplyBattleArenaKind(choice.ArenaKind, choice.ArenaTags);
    ArenaLoadEstimate = ReadArenaLoadAmount(BattleArenaName);
    ValidateFormation(playerArmy);
    ValidateFormation(enemyArmy);
    auto sides = std::make_unique<TBattleSide[]>(2);
    BuildBattleSide(playerArmy, 0, sides[0]);
    BuildBattleSide(enemyArmy, 1, sides[1]);
    PlayerBattleSide = 1;
    EnemyBattleSide = 2;
    if (!CurrentBattle)
        CurrentBattle = std::make_unique<TBattle>();
    CurrentBattle->Init(sides[0], sides[1], BattleArenaKind, GetBattleLightVariant(0, GameClock), PlayerSide1);
}
