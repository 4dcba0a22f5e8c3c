#include "tools/dmtool/BattleRun.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include "battle/Battle.h"
#include "battle/BattleArena.h"
#include "battle/BattleSide.h"
#include "battle/Battle_Loop.h"
#include "engine/QX9_System.h"
#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/ai/AIMain_Random.h"
#include "model/personage/Personage_Rules.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/tables/BonusType.h"
#include "model/tables/Global.h"
#include "model/world/Army_Formation.h"
#include "model/world/Army_Operations.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"

namespace {

// A fixed engine clock: battles read time only for their visual events.
int32_t BattleClock(bool)
{
    return 60000;
}

// One personage of a side, as the battle file describes it.
struct TUnitSetup {
    int32_t Number = 0; // k of "Unit<k>"
    int32_t Type = 0;
    int32_t Levels = 0;
    int32_t Row = 0, Column = 0; // 0: placed by the formation rules
    std::vector<int32_t> Items, Potions;
    bool HasTalents = false;
    std::vector<uint8_t> Talents;
    bool HasStats = false;
    std::vector<int32_t> Stats; // the first statistics; KeepStat where the type's stays
};

struct TSideSetup {
    std::u16string Name;
    bool Garrison = false;
    int32_t ExpPercent = 100;
    int32_t AssaultA = 0, AssaultB = 0, AssaultC = 0;
    std::vector<TUnitSetup> Units; // by number
};

struct TBattleSetup {
    int32_t Arena = 1;
    int32_t Light = 1;
    int32_t Difficulty = 2;
    int32_t Personalization = 0; // 0 off, else the scenario's level 1..3
    bool Assault = false;
    int32_t DefenceFire = 0, AssaultB = 0, AssaultC = 0;
    TSideSetup Sides[2];
};

// What a battle file may hold: the time-of-day classes a light base of 0..2
// gives, the game's difficulties, an army's slots, the levels the harness
// raises, the record slots of lists.
constexpr int64_t LightMax = 12;
constexpr int64_t DifficultyMax = 4;
constexpr int64_t PersonalizationMax = 3;
constexpr int64_t UnitSlots = TArmyUnits::HighIndex;
constexpr int64_t LevelsMax = 50;
constexpr int64_t ListItemsMax = 16;
constexpr int64_t StatCount = 8;
constexpr int64_t FormationRows = std::extent_v<decltype(TGameArmy::Formation), 0>;
constexpr int64_t FormationColumns = std::extent_v<decltype(TGameArmy::Formation), 1>;
constexpr int64_t StatMax = INT16_MAX;
constexpr int32_t KeepStat = -1;
// Unit types 1..6 are the heroes, who get no personal variations; the others
// draw a personal seed 1..30000 when they are made.
constexpr int32_t HeroTypeMax = 6;
constexpr int32_t PersonalSeedMax = 30000;

template <class T> constexpr int64_t Least(const T&)
{
    return std::numeric_limits<T>::min();
}
template <class T> constexpr int64_t Most(const T&)
{
    return std::numeric_limits<T>::max();
}

std::string Trim(const std::string& text)
{
    const size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos)
        return std::string();
    return text.substr(a, text.find_last_not_of(" \t") - a + 1);
}

// The values of one section of the battle file. A value outside the range of
// the field it goes into is refused with its key, its text and the range,
// never cut or wrapped into the field.
struct TSectionReader {
    TIniFile& Ini;
    std::string Section;
    std::string& Error;

    // "<section> <key>[ item <n>]=<text>: <why>"
    bool Refuse(const std::string& key, int32_t index, const std::string& text, const std::string& why)
    {
        Error = Section + " " + key + (index > 0 ? " item " + std::to_string(index) : "") + "=" + text + ": " + why;
        return false;
    }
    // The key's whole value, its items as the file lists them.
    bool Refuse(const std::string& key, const std::string& why)
    {
        std::string whole;
        for (int32_t i = 1; i <= Count(key); ++i)
            whole += (i > 1 ? ", " : "") + Text(key, i);
        return Refuse(key, -1, whole, why);
    }
    std::string Text(const std::string& key, int32_t index)
    {
        Ini.SelectSection(Section);
        return Trim(Ini.ReadString(key, index));
    }
    int32_t Count(const std::string& key)
    {
        Ini.SelectSection(Section);
        return Ini.KeyExists(key) ? Ini.ValueCount(key) : 0;
    }
    // Item `index` of the key (-1: its whole value) within lo..hi; the
    // fall-back when it is missing or empty.
    bool Number(const std::string& key, int32_t index, int64_t lo, int64_t hi, int64_t fallback, int32_t& value)
    {
        const std::string text = Text(key, index);
        if (text.empty()) {
            value = static_cast<int32_t>(fallback);
            return true;
        }
        int64_t number = 0;
        const char* const last = text.data() + text.size();
        const auto [end, code] = std::from_chars(text.data(), last, number);
        const std::string range = "outside " + std::to_string(lo) + ".." + std::to_string(hi);
        if (code == std::errc::result_out_of_range)
            return Refuse(key, index, text, range);
        if (code != std::errc() || end != last)
            return Refuse(key, index, text, "not a whole number");
        if (number < lo || number > hi)
            return Refuse(key, index, text, range);
        value = static_cast<int32_t>(number);
        return true;
    }
    // A list of at most `most` values, each within lo..hi.
    bool List(const std::string& key, int64_t most, int64_t lo, int64_t hi, int64_t fallback,
              std::vector<int32_t>& values)
    {
        const int32_t count = Count(key);
        if (count > most)
            return Refuse(key, std::to_string(count) + " values, at most " + std::to_string(most));
        values.assign(static_cast<size_t>(count), 0);
        for (int32_t i = 1; i <= count; ++i)
            if (!Number(key, i, lo, hi, fallback, values[static_cast<size_t>(i - 1)]))
                return false;
        return true;
    }
    // Every key of the section is one the battle file knows: a name of
    // `plain`, or a name of `numbered` followed by a unit number 1..15.
    bool KnownKeys(std::initializer_list<const char*> plain, std::initializer_list<const char*> numbered,
                   std::vector<int32_t>& units)
    {
        Ini.SelectSection(Section);
        const TIniSection& lines = Ini.Sections[static_cast<size_t>(Ini.CurrentSection)];
        for (const TIniLine& line : lines.Lines) {
            std::string key = line.Key;
            if (key.empty()) {
                const size_t separator = line.Raw.find(Ini.KeySeparator);
                if (line.Raw.empty() || line.Raw[0] == ';' || separator == std::string::npos)
                    continue;
                key = Trim(line.Raw.substr(0, separator));
            }
            bool known = false;
            for (const char* name : plain)
                known = known || key == name;
            for (const char* name : numbered) {
                const size_t length = std::strlen(name);
                if (known || key.compare(0, length, name) != 0 || key.size() == length ||
                    key.find_first_not_of("0123456789", length) != std::string::npos)
                    continue;
                int32_t k = 0;
                const std::string digits = key.substr(length);
                if (std::from_chars(digits.data(), digits.data() + digits.size(), k).ec != std::errc() || k < 1 ||
                    k > UnitSlots)
                    return Refuse(key, "unit number " + digits + " outside 1.." + std::to_string(UnitSlots));
                known = true;
                if (std::strcmp(name, "Unit") == 0)
                    units.push_back(k);
                else if (!Ini.KeyExists("Unit" + std::to_string(k)))
                    return Refuse(key, "no Unit" + std::to_string(k));
            }
            if (!known)
                return Refuse(key, "not a key of the battle file");
        }
        std::sort(units.begin(), units.end());
        return true;
    }
};

// One "Unit<k>" line and the lists of the same number.
bool ReadUnit(TSectionReader& r, int32_t k, TUnitSetup& unit)
{
    const std::string n = std::to_string(k), key = "Unit" + n;
    unit.Number = k;
    const std::string typeName = r.Text(key, 1);
    unit.Type = FindUnitTypeByName(typeName);
    if (unit.Type == 0)
        return r.Refuse(key, "no unit type " + typeName);
    if (!r.Number(key, 2, 0, LevelsMax, 0, unit.Levels))
        return false;
    const std::string where = r.Text(key, 3);
    if (where != "auto" && !where.empty() &&
        (!r.Number(key, 3, 1, FormationRows, 0, unit.Row) || !r.Number(key, 4, 1, FormationColumns, 0, unit.Column)))
        return false;
    if (unit.Row != 0 && unit.Column == 0)
        return r.Refuse(key, "a formation row without its column");
    // Items worn by kind and potions on the belt: numbers of the
    // installation's item table.
    for (const std::string& listKey : {"Items" + n, "Potions" + n}) {
        std::vector<int32_t>& list = listKey[0] == 'I' ? unit.Items : unit.Potions;
        if (!r.List(listKey, ListItemsMax, INT32_MIN, INT32_MAX, 0, list))
            return false;
        for (const int32_t item : list)
            if (FindItem(item) == nullptr)
                return r.Refuse(listKey, "no item " + std::to_string(item));
    }
    std::vector<int32_t> values;
    unit.HasTalents = r.Count("Talents" + n) > 0;
    if (!r.List("Talents" + n, static_cast<int64_t>(sizeof(TPersonage::Talents)), 0, BonusTypeCount - 1, 0, values))
        return false;
    unit.Talents.assign(values.begin(), values.end());
    unit.HasStats = r.Count("Stats" + n) > 0;
    return r.List("Stats" + n, StatCount, 0, StatMax, KeepStat, unit.Stats);
}

bool ReadSide(TIniFile& ini, int32_t side, TSideSetup& s, std::string& error)
{
    TSectionReader r{ini, side == 1 ? "Side1" : "Side2", error};
    if (!ini.SelectSection(r.Section)) {
        error = "no section " + r.Section;
        return false;
    }
    std::vector<int32_t> units;
    if (!r.KnownKeys({"Name", "Garrison", "ExpPercent", "AssaultA", "AssaultB", "AssaultC"},
                     {"Unit", "Items", "Potions", "Talents", "Stats"}, units))
        return false;
    ini.SelectSection(r.Section);
    s.Name = TIniFile::BytesToWide(ini.ReadString("Name", -1));
    const TGameBuilding building{};
    const TMapArmy army{};
    int32_t garrison = 0;
    // Only the second side can stand in the building.
    if (!r.Number("Garrison", -1, 0, side == 2 ? 1 : 0, 0, garrison) ||
        !r.Number("ExpPercent", -1, Least(army.ExpPercent), Most(army.ExpPercent), 100, s.ExpPercent) ||
        !r.Number("AssaultA", -1, Least(building.AssaultA), Most(building.AssaultA), 0, s.AssaultA) ||
        !r.Number("AssaultB", -1, Least(building.AssaultB), Most(building.AssaultB), 0, s.AssaultB) ||
        !r.Number("AssaultC", -1, Least(building.AssaultC), Most(building.AssaultC), 0, s.AssaultC))
        return false;
    s.Garrison = garrison != 0;
    for (const int32_t k : units) {
        s.Units.emplace_back();
        if (!ReadUnit(r, k, s.Units.back()))
            return false;
    }
    return true;
}

// The whole battle file, every value checked before anything is run.
bool ReadBattleSetup(TIniFile& ini, TBattleSetup& setup, std::string& error)
{
    TSectionReader battle{ini, "Battle", error};
    if (!ini.SelectSection("Battle")) {
        error = "no section Battle";
        return false;
    }
    std::vector<int32_t> none;
    if (!battle.KnownKeys({"Arena", "Light", "Difficulty", "Personalization"}, {}, none) ||
        !battle.Number("Arena", -1, 1, ArenaKindCount, 1, setup.Arena) ||
        !battle.Number("Light", -1, 1, LightMax, 1, setup.Light) ||
        !battle.Number("Difficulty", -1, 1, DifficultyMax, 2, setup.Difficulty) ||
        !battle.Number("Personalization", -1, 0, PersonalizationMax, 0, setup.Personalization))
        return false;
    if (ini.SelectSection("Assault")) {
        setup.Assault = true;
        TSectionReader assault{ini, "Assault", error};
        const TAssaultParams params{};
        if (!assault.KnownKeys({"DefenceFire", "AssaultB", "AssaultC"}, {}, none) ||
            !assault.Number("DefenceFire", -1, Least(params.DefenceFire), Most(params.DefenceFire), 0,
                            setup.DefenceFire) ||
            !assault.Number("AssaultB", -1, Least(params.AssaultB), Most(params.AssaultB), 0, setup.AssaultB) ||
            !assault.Number("AssaultC", -1, Least(params.AssaultC), Most(params.AssaultC), 0, setup.AssaultC))
            return false;
    }
    for (int32_t side = 1; side <= 2; ++side)
        if (!ReadSide(ini, side, setup.Sides[side - 1], error))
            return false;
    return true;
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

// The personages of one side into its world army.
void FillArmy(const TBattleSetup& setup, int32_t side, int32_t army)
{
    TGameArmy& record = GameArmies[static_cast<size_t>(army)];
    const TSideSetup& s = setup.Sides[side - 1];
    if (army > ArmyCount) {
        // The garrison of building 1: the building carries the side's name,
        // as a scenario building does.
        GameBuildings[1].AssaultA = static_cast<int16_t>(s.AssaultA);
        GameBuildings[1].AssaultB = static_cast<int16_t>(s.AssaultB);
        GameBuildings[1].AssaultC = static_cast<uint8_t>(s.AssaultC);
        BuildingTexts[1].Name = s.Name;
    } else {
        if (army >= 1)
            MapArmies[army].ExpPercent = static_cast<uint8_t>(s.ExpPercent);
        ArmyTexts[army].Name = s.Name;
    }
    TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    int32_t count = 0;
    for (const TUnitSetup& unit : s.Units) {
        const int32_t slot = ++count;
        TPersonage& p = units[slot];
        std::memset(static_cast<void*>(&p), 0, sizeof p);
        p.UnitType = unit.Type;
        // Personal names, features and variations, drawn as a hired
        // personage's are.
        if (setup.Personalization != 0 && unit.Type > HeroTypeMax)
            p.PersonalSeed = RandomBelow(PersonalSeedMax) + 1;
        ReloadPersonage(p, 4);
        record.PersonageCount = static_cast<uint8_t>(slot);
        TIntArray removed;
        for (int32_t l = 0; l < unit.Levels; ++l)
            LevelUp(army, slot, 0, removed);
        if (unit.Row == 0) {
            PlaceInFormation(army, slot);
        } else {
            record.Formation[unit.Row - 1][unit.Column - 1] = slot;
            p.FormationRow = unit.Row;
            p.FormationColumn = unit.Column;
        }
        for (const int32_t item : unit.Items)
            EquipItem(p, item, 0, removed, 1.0f);
        for (const int32_t item : unit.Potions)
            EquipItem(p, item, -1, removed, 1.0f);
        if (unit.HasTalents) {
            for (size_t i = 0; i < unit.Talents.size(); ++i)
                p.Talents[static_cast<int32_t>(i) + 1] = unit.Talents[i];
            ReloadPersonage(p, 0);
        }
        if (unit.HasStats) {
            for (size_t i = 0; i < unit.Stats.size(); ++i)
                if (unit.Stats[i] != KeepStat)
                    p.Stats[static_cast<int32_t>(i) + 1] = static_cast<int16_t>(unit.Stats[i]);
            // The given statistics are the unwounded personage's: its full
            // hits and initiative are those, and it starts unhurt.
            p.FullHits = p.Stats[1];
            p.FullInitiative = p.Stats[2];
            p.Hits = p.Stats[1];
        }
    }
}


// The world and the two battle sides of one seed, up to TBattle.Init.
void PrepareBattleSides(const TBattleSetup& setup, int32_t seed, bool player1, TBattleSide& side1, TBattleSide& side2,
                        TPreparedBattle& prepared)
{
    GameSeed = seed;
    RandomSeed = static_cast<uint32_t>(seed);
    GameDifficulty = setup.Difficulty;
    PersonalizationEnabled = setup.Personalization != 0 ? 1 : 0;
    PersonalizationLevel = std::max(setup.Personalization, 1);
    MakeWorld();
    const int32_t a1 = SideArmy(setup, 1, player1), a2 = SideArmy(setup, 2, player1);
    FillArmy(setup, 1, a1);
    FillArmy(setup, 2, a2);
    ValidateFormation(a1);
    ValidateFormation(a2);
    BuildBattleSide(a1, 0, side1);
    BuildBattleSide(a2, 1, side2);
    AssaultParams = NoAssaultParams;
    if (setup.Assault) {
        AssaultParams.Attacker = AssaultParams.LastAttacker = a1;
        AssaultParams.DefenceFire = static_cast<uint16_t>(setup.DefenceFire);
        AssaultParams.AssaultB = static_cast<uint16_t>(setup.AssaultB);
        AssaultParams.AssaultC = static_cast<uint8_t>(setup.AssaultC);
    }
    GameSeed = seed;
    RandomSeed = static_cast<uint32_t>(seed);
    prepared.Arena = static_cast<uint8_t>(setup.Arena);
    prepared.Light = static_cast<uint8_t>(setup.Light);
    prepared.PlayerArmy = a1;
    prepared.EnemyArmy = a2;
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
std::string OneBattle(const TBattleSetup& setup, int32_t seed, bool player1,
                      const std::vector<TBattleDecision>* decisions)
{
    auto sides = std::make_unique<TBattleSide[]>(2);
    TPreparedBattle prepared;
    PrepareBattleSides(setup, seed, player1, sides[0], sides[1], prepared);
    auto battle = std::make_unique<TBattle>();
    battle->Init(sides[0], sides[1], prepared.Arena, prepared.Light, player1 ? PlayerSide1 : Silent);
    if (player1) {
        size_t next = 0;
        TPlayerDecisionSource source;
        if (decisions != nullptr)
            source = [&](TBattleDecision& d) {
                if (next < decisions->size())
                    d = (*decisions)[next++];
            };
        PlayBattleLoop(*battle, source);
    }
    const int64_t decisionCount = battle->Counters.Decisions;
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
    std::snprintf(tail, sizeof tail, " decisions %" PRId64 " report \"%s\" crc %08X", decisionCount, report.c_str(),
                  static_cast<unsigned>(crc));
    return head + SideText(sides[0], player1) + SideText(sides[1], player1) + tail;
}

} // namespace

bool ReadDecisionsFile(const std::string& file, std::vector<TBattleDecision>& decisions, std::string& error)
{
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr) {
        error = "no decisions file " + file;
        return false;
    }
    std::string line;
    int32_t number = 0;
    bool good = true;
    auto take = [&]() {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        ++number;
        if (line.empty())
            return;
        TBattleDecision d{};
        if (!DecisionFromHex(line, d)) {
            error = file + " line " + std::to_string(number) + ": not the hex of a decision (" +
                    std::to_string(2 * sizeof d) + " digits)";
            good = false;
            return;
        }
        decisions.push_back(d);
    };
    for (int c = std::fgetc(f); c != EOF && good; c = std::fgetc(f)) {
        if (c == '\n') {
            take();
            line.clear();
        } else if (line.size() < 1024) {
            line += static_cast<char>(c);
        }
    }
    if (good)
        take();
    std::fclose(f);
    return good;
}

bool LoadBattleFile(const std::string& file, int32_t seed, bool player1, TBattleSide& side1, TBattleSide& side2,
                    TPreparedBattle& prepared, std::string& error)
{
    if (!FileExistsMask(file)) {
        error = "no battle file " + file;
        return false;
    }
    TIniFile ini;
    ini.Load(file);
    TBattleSetup setup;
    if (!ReadBattleSetup(ini, setup, error))
        return false;
    PrepareBattleSides(setup, seed, player1, side1, side2, prepared);
    return true;
}

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
    std::vector<TBattleDecision> decisions;
    if (!options.DecisionsFile.empty()) {
        if (!ReadDecisionsFile(options.DecisionsFile, decisions, error))
            return false;
    }
    if (options.Player1)
        OS_CreateDirectoryTree(SavesFolder);
    int32_t (*const keptClock)(bool) = GameTimeSource;
    GameTimeSource = BattleClock;
    uint32_t digest = 0xFFFFFFFFu;
    for (int64_t seed = options.FirstSeed; seed <= options.LastSeed; ++seed) {
        std::string line = OneBattle(setup, static_cast<int32_t>(seed), options.Player1,
                                     options.DecisionsFile.empty() ? nullptr : &decisions);
        std::printf("%s\n", line.c_str());
        line += '\n';
        digest = Crc(line.data(), line.size(), digest);
    }
    GameTimeSource = keptClock;
    std::printf("digest %08X\n", static_cast<unsigned>(digest ^ 0xFFFFFFFFu));
    return true;
}
