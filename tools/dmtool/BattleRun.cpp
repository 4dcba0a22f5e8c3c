#include "tools/dmtool/BattleRun.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "battle/Battle.h"
#include "engine/QX9_System.h"
#include "engine/QX9_System_Ini.h"
#include "model/world/Army_Formation.h"
#include "model/world/Army_Operations.h"
#include "battle/BattleSide.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/Support.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"

namespace {

// A fixed engine clock: battles read time only for their visual events.
int32_t BattleClock(bool)
{
    return 60000;
}

struct TSideSetup {
    std::string Name;
    bool Garrison = false;
    int32_t ExpPercent = 100;
    int32_t AssaultA = 0, AssaultB = 0, AssaultC = 0;
};

struct TBattleSetup {
    int32_t Arena = 1;
    int32_t Light = 1;
    int32_t Difficulty = 2;
    bool Assault = false;
    int32_t DefenceFire = 0, AssaultB = 0, AssaultC = 0;
    TSideSetup Sides[2];
};

std::string Trim(const std::string& text)
{
    const size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos)
        return std::string();
    return text.substr(a, text.find_last_not_of(" \t") - a + 1);
}

std::u16string Widen(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

// The world armies of the two sides: side 1 is army 1 (the player's army 0
// when the player fights), side 2 army 2 or the garrison of building 1.
int32_t SideArmy(const TBattleSetup& setup, int32_t side, bool player1)
{
    if (side == 1)
        return player1 ? PlayerArmy : 1;
    return setup.Sides[1].Garrison ? ArmyCount + 1 : 2;
}

void MakeWorld()
{
    ArmyCount = 2;
    BuildingCount = 1;
    GarrisonCount = 1;
    MapArmies.Count = 2;
    MapBuildings.Count = 1;
    const size_t all = 4;
    GameArmies.assign(all, TGameArmy{});
    ArmyUnits.resize(all);
    for (TArmyUnits& units : ArmyUnits)
        std::memset(static_cast<void*>(&units), 0, sizeof units);
    ArmyItems.assign(all, TIntArray{0});
    for (TGameArmy& army : GameArmies)
        army.Active = 1;
    ArmyMoves.assign(3, std::vector<TGameArmyMove>(3));
    Diplomacy.assign(1, TIntArray{0});
    GameBuildings.assign(2, TGameBuilding{});
    BuildingNeighbours.assign(2, TIntArray{});
}

// The personages of one side from its section; false with the reason.
bool FillArmy(TIniFile& ini, const TBattleSetup& setup, int32_t side, int32_t army, std::string& error)
{
    const std::string section = side == 1 ? "Side1" : "Side2";
    if (!ini.SelectSection(section)) {
        error = "no section " + section;
        return false;
    }
    TGameArmy& record = GameArmies[static_cast<size_t>(army)];
    const TSideSetup& s = setup.Sides[side - 1];
    if (army > ArmyCount) {
        GameBuildings[1].AssaultA = s.AssaultA;
        GameBuildings[1].AssaultB = s.AssaultB;
        GameBuildings[1].AssaultC = static_cast<uint8_t>(s.AssaultC);
    } else if (army >= 1) {
        MapArmies[army].ExpPercent = static_cast<uint8_t>(s.ExpPercent);
    }
    if (army <= MapArmyMax && army >= 0)
        ArmyTexts[army].Name = Widen(s.Name);
    TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    int32_t count = 0;
    for (int32_t k = 1; k <= 15; ++k) {
        const std::string key = "Unit" + std::to_string(k);
        if (!ini.KeyExists(key))
            continue;
        const std::string typeName = Trim(ini.ReadString(key, 1));
        const int32_t type = FindUnitTypeByName(typeName);
        if (type == 0) {
            error = section + " " + key + ": no unit type " + typeName;
            return false;
        }
        const int32_t slot = ++count;
        TPersonage& p = units[slot];
        std::memset(static_cast<void*>(&p), 0, sizeof p);
        p.UnitType = type;
        ReloadPersonage(p, 4);
        record.PersonageCount = static_cast<uint8_t>(slot);
        TIntArray removed;
        const int32_t levels = ini.ReadInteger(key, 2, 0);
        for (int32_t l = 0; l < levels && l < 50; ++l)
            LevelUp(army, slot, 0, removed);
        const std::string where = Trim(ini.ReadString(key, 3));
        if (where == "auto" || where.empty()) {
            PlaceInFormation(army, slot);
        } else {
            const int32_t row = ini.ReadInteger(key, 3, 0), column = ini.ReadInteger(key, 4, 0);
            if (row >= 1 && row <= 3 && column >= 1 && column <= 6) {
                record.Formation[row - 1][column - 1] = slot;
                p.FormationRow = row;
                p.FormationColumn = column;
            } else {
                PlaceInFormation(army, slot);
            }
        }
        // Items worn by kind, potions on the belt, talents: numbers as the
        // installation's tables give them; a number out of its table is an
        // error of the battle file.
        const std::string itemsKey = "Items" + std::to_string(k), potionsKey = "Potions" + std::to_string(k);
        for (const std::string& listKey : {itemsKey, potionsKey}) {
            if (!ini.KeyExists(listKey))
                continue;
            for (int32_t i = 1; i <= ini.ValueCount(listKey) && i <= 16; ++i) {
                const int32_t item = ini.ReadInteger(listKey, i, 0);
                if (FindItem(item) == nullptr) {
                    error = section + " " + listKey + ": no item " + std::to_string(item);
                    return false;
                }
                EquipItem(p, item, listKey == potionsKey ? -1 : 0, removed, 1.0f);
            }
        }
        const std::string talentsKey = "Talents" + std::to_string(k);
        if (ini.KeyExists(talentsKey)) {
            for (int32_t i = 1; i <= ini.ValueCount(talentsKey) && i <= 24; ++i)
                p.Talents[i] = static_cast<uint8_t>(ini.ReadInteger(talentsKey, i, 0));
            ReloadPersonage(p, 0);
        }
        const std::string statsKey = "Stats" + std::to_string(k);
        if (ini.KeyExists(statsKey)) {
            for (int32_t i = 1; i <= 8; ++i)
                p.Stats[i] = static_cast<int16_t>(ini.ReadInteger(statsKey, i, p.Stats[i]));
            p.Hits = p.Stats[1];
        }
    }
    return true;
}

bool ReadBattleSetup(TIniFile& ini, TBattleSetup& setup, std::string& error)
{
    if (!ini.SelectSection("Battle")) {
        error = "no section Battle";
        return false;
    }
    setup.Arena = ini.ReadInteger("Arena", -1, 1);
    setup.Light = ini.ReadInteger("Light", -1, 1);
    setup.Difficulty = ini.ReadInteger("Difficulty", -1, 2);
    if (ini.SelectSection("Assault")) {
        setup.Assault = true;
        setup.DefenceFire = ini.ReadInteger("DefenceFire", -1, 0);
        setup.AssaultB = ini.ReadInteger("AssaultB", -1, 0);
        setup.AssaultC = ini.ReadInteger("AssaultC", -1, 0);
    }
    for (int32_t side = 1; side <= 2; ++side) {
        if (!ini.SelectSection(side == 1 ? "Side1" : "Side2")) {
            error = side == 1 ? "no section Side1" : "no section Side2";
            return false;
        }
        TSideSetup& s = setup.Sides[side - 1];
        s.Name = ini.ReadString("Name", -1);
        s.Garrison = ini.ReadInteger("Garrison", -1, 0) != 0;
        s.ExpPercent = ini.ReadInteger("ExpPercent", -1, 100);
        s.AssaultA = ini.ReadInteger("AssaultA", -1, 0);
        s.AssaultB = ini.ReadInteger("AssaultB", -1, 0);
        s.AssaultC = ini.ReadInteger("AssaultC", -1, 0);
    }
    return true;
}

uint32_t Crc(const void* data, size_t size, uint32_t crc)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i)
        crc = Crc32Update(bytes[i], crc);
    return crc;
}

std::string SideText(const TBattleSide& s, bool estimate)
{
    char line[200];
    std::snprintf(line, sizeof line, " %d %d/%d %d %d %d", s.Result, s.LivingCount, s.StartCount, s.StartStrength,
                  s.EndStrength, s.ExperienceGained);
    std::string text = line;
    if (estimate) {
        std::snprintf(line, sizeof line, " est %d/%d", s.Estimate.StartHits, s.Estimate.HitsLost);
        text += line;
    }
    return text;
}

// One seed's battle; its line.
bool OneBattle(TIniFile& ini, const TBattleSetup& setup, int32_t seed, bool player1, std::string& line,
               std::string& error)
{
    GameSeed = seed;
    RandomSeed = static_cast<uint32_t>(seed);
    GameDifficulty = setup.Difficulty;
    MakeWorld();
    const int32_t a1 = SideArmy(setup, 1, player1), a2 = SideArmy(setup, 2, player1);
    if (!FillArmy(ini, setup, 1, a1, error) || !FillArmy(ini, setup, 2, a2, error))
        return false;
    ValidateFormation(a1);
    ValidateFormation(a2);
    auto sides = std::make_unique<TBattleSide[]>(2);
    BuildBattleSide(a1, 0, sides[0]);
    BuildBattleSide(a2, 1, sides[1]);
    AssaultParams = NoAssaultParams;
    if (setup.Assault) {
        AssaultParams.Attacker = AssaultParams.LastAttacker = a1;
        AssaultParams.DefenceFire = static_cast<uint16_t>(setup.DefenceFire);
        AssaultParams.AssaultB = static_cast<uint16_t>(setup.AssaultB);
        AssaultParams.AssaultC = static_cast<uint8_t>(setup.AssaultC);
    }
    GameSeed = seed;
    RandomSeed = static_cast<uint32_t>(seed);
    auto battle = std::make_unique<TBattle>();
    battle->Init(sides[0], sides[1], static_cast<uint8_t>(setup.Arena), static_cast<uint8_t>(setup.Light),
                 player1 ? PlayerSide1 : Silent);
    if (player1) {
        TBattleDecision d{};
        int32_t repeats = 0, lastSide = 0, lastSlot = 0;
        TActionList list;
        while (battle->Over == 0) {
            std::memset(&d, 0, sizeof d);
            if (!battle->SelectNextActor(d)) {
                if (d.Mode == mBusy) {
                    battle->EventCount = 0;
                    continue;
                }
                break;
            }
            repeats = d.Side == lastSide && d.Slot == lastSlot ? repeats + 1 : 0;
            lastSide = d.Side;
            lastSlot = d.Slot;
            if (repeats >= 50) {
                battle->Report = "freeze.";
                break;
            }
            list.clear();
            battle->PerformAction(d, list);
            battle->QueueActions(list, 0);
            battle->EventCount = 0;
        }
    }
    const int64_t decisions = battle->Counters.Decisions;
    battle->Finish(sides[0], sides[1]);
    AssaultParams = NoAssaultParams;
    uint32_t crc = 0xFFFFFFFFu;
    crc = Crc(&sides[0], sizeof(TBattleSide), crc);
    crc = Crc(&sides[1], sizeof(TBattleSide), crc);
    crc ^= 0xFFFFFFFFu;
    std::string report = battle->Report;
    for (char& c : report)
        if (c == '\n' || c == '\r')
            c = '|';
    char head[120];
    std::snprintf(head, sizeof head, "seed %d rounds %d", seed, battle->Round);
    char tail[120];
    std::snprintf(tail, sizeof tail, " decisions %" PRId64 " report \"%s\" crc %08X", decisions, report.c_str(),
                  static_cast<unsigned>(crc));
    line = head + SideText(sides[0], player1) + SideText(sides[1], player1) + tail;
    return true;
}

} // namespace

bool RunBattles(const TBattleRunOptions& options, std::string& error)
{
    if (!FileExistsMask(options.BattleFile)) {
        error = "no battle file " + options.BattleFile;
        return false;
    }
    TIniFile ini;
    ini.Load(options.BattleFile);
    TBattleSetup setup;
    if (!ReadBattleSetup(ini, setup, error))
        return false;
    // The player's battle leaves its snapshot in the saves folder.
    if (options.Player1)
        OS_CreateDirectoryTree(SavesFolder);
    int32_t (*const keptClock)(bool) = GameTimeSource;
    GameTimeSource = BattleClock;
    uint32_t digest = 0xFFFFFFFFu;
    bool ok = true;
    for (int64_t seed = options.FirstSeed; seed <= options.LastSeed; ++seed) {
        std::string line;
        if (!OneBattle(ini, setup, static_cast<int32_t>(seed), options.Player1, line, error)) {
            ok = false;
            break;
        }
        std::printf("%s\n", line.c_str());
        line += '\n';
        digest = Crc(line.data(), line.size(), digest);
    }
    GameTimeSource = keptClock;
    if (ok)
        std::printf("digest %08X\n", static_cast<unsigned>(digest ^ 0xFFFFFFFFu));
    return ok;
}
