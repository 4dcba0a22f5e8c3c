#include "tools/dmtool/WorldRun.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/QX9_System.h"
#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Targets.h"
#include "model/save/BetaLog.h"
#include "model/tables/Global_Texts.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/SceneHooks.h"
#include "model/Support.h"
#include "model/world/World_Access.h"
#include "model/world/World_Clock.h"
#include "model/world/World_Digest.h"
#include "model/world/World_Frame.h"
#include "model/world/World_Log.h"
#include "model/world/World_Setup.h"
#include "tools/dmtool/WorldEncounters.h"
#include "tools/dmtool/WorldEvents.h"

namespace {

constexpr int64_t DayFx = 1440 * 10000;

// The engine clock the run reads through GameTimeSource: it starts where
// the real timer starts and moves only with the frames.
int32_t EngineMs = 60000;

int32_t RunClock(bool)
{
    return EngineMs;
}

std::vector<std::string> Happenings;

// Cells each army walked in the run, and where it stood at the last frame;
// a jump of more than one step (a return to the map at a building) is no walk.
std::vector<int64_t> Travelled;
std::vector<TCellXZ> LastCells;

void StartTravel()
{
    Travelled.assign(static_cast<size_t>(ArmyCount) + 1, 0);
    LastCells.assign(static_cast<size_t>(ArmyCount) + 1, TCellXZ{});
    for (int32_t a = 0; a <= ArmyCount; ++a)
        LastCells[static_cast<size_t>(a)] = GameArmies[static_cast<size_t>(a)].Cell;
}

void TrackTravel()
{
    if (Travelled.size() != static_cast<size_t>(ArmyCount) + 1)
        StartTravel();
    for (int32_t a = 0; a <= ArmyCount; ++a) {
        const TCellXZ cell = GameArmies[static_cast<size_t>(a)].Cell;
        TCellXZ& last = LastCells[static_cast<size_t>(a)];
        const int32_t step = std::max(std::abs(cell.X - last.X), std::abs(cell.Z - last.Z));
        if (step <= 8)
            Travelled[static_cast<size_t>(a)] += step;
        last = cell;
    }
}

void CollectHappening(const std::string& line)
{
    Happenings.push_back(line);
}

void Print(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

std::string Num(int64_t value)
{
    return std::to_string(value);
}

std::string Utf8(const std::u16string& text)
{
    return OS_WideToMultiByte(CP_UTF8, text);
}

// A line of the rules, in the game's code page, as UTF-8.
std::string GameTextUtf8(const std::string& text)
{
    return Utf8(OS_MultiByteToWide(GameCodePage(), text));
}

std::string ArmyName(int32_t a)
{
    return GameTextUtf8(GetArmyLogName(a));
}

std::string BuildingName(int32_t b)
{
    return IsWorldBuilding(b) ? GameTextUtf8(GetBuildingLogName(b)) : "#" + Num(b);
}

// The map screen shows the notices and forgets them; the run prints them.
void TakeNotices(bool log)
{
    for (const TMapNotice& n : MapNotices) {
        if (!log)
            continue;
        // Captures have their own line from the rules.
        if (n.Kind != 1 && n.Kind != 2)
            Happenings.push_back("notice " + Num(n.Kind) + ": " + Num(n.A) + " " + Num(n.B) + " " + Num(n.C));
    }
    MapNotices.clear();
}

void PrintHappenings(bool log)
{
    if (log)
        for (const std::string& line : Happenings)
            Print(FormatGameDate(GameClock) + " " + GameTextUtf8(line));
    Happenings.clear();
}

void PrintHeader()
{
    const int32_t points = std::clamp(MapPoints.Count, 0, MapPointMax);
    Print("scenario: " + Utf8(MapStory.Name));
    Print("hero: " + Num(HeroKind));
    Print("seed: " + Num(GameSeed));
    Print("start: " + FormatGameDate(GameClock));
    Print("armies " + Num(ArmyCount) + ", garrisons " + Num(GarrisonCount) + ", buildings " + Num(BuildingCount) +
          ", points " + Num(points) + ", events " + Num(StoryEventCount));
}

void PrintDay()
{
    int32_t active = 0, defeated = 0, owned = 0;
    for (int32_t a = 1; a <= ArmyCount; ++a) {
        active += GameArmies[static_cast<size_t>(a)].Active != 0 ? 1 : 0;
        defeated += GameArmies[static_cast<size_t>(a)].Defeated != 0 ? 1 : 0;
    }
    for (int32_t b = 1; b <= LastWorldBuilding(); ++b)
        owned += GameBuildings[static_cast<size_t>(b)].OwnerArmy == PlayerArmy ? 1 : 0;
    const int32_t gold = GameArmies[PlayerArmy].Gold;
    Print(FormatGameDate(GameClock) + " gold " + Num(gold) + ", active " + Num(active) + ", defeated " + Num(defeated) +
          ", buildings " + Num(owned));
}

// A CRC-32 of a run of raw records.
uint32_t Crc(const void* bytes, size_t size, uint32_t crc = 0xFFFFFFFFu)
{
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < size; ++i)
        crc = Crc32Update(b[i], crc);
    return crc;
}

template <class T> uint32_t TableCrc(const std::vector<T>& table)
{
    return ~Crc(table.data(), table.size() * sizeof(T));
}

template <class T> uint32_t RowsCrc(const std::vector<std::vector<T>>& rows)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (const auto& row : rows)
        crc = Crc(row.data(), row.size() * sizeof(T), crc);
    return ~crc;
}

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08" PRIx32, value);
    return text;
}

// Every table a save holds, each as a CRC of its raw records, and the
// globals of its head.
void PrintTables()
{
    uint32_t items = 0xFFFFFFFFu;
    for (size_t a = 0; a < GameArmies.size() && a < ArmyItems.size(); ++a) {
        const size_t count =
            std::min<size_t>(static_cast<size_t>(std::max(GameArmies[a].ItemCount, 0)) + 1, ArmyItems[a].size());
        items = Crc(ArmyItems[a].data(), count * sizeof(int32_t), items);
    }
    Print("table GameArmies " + Hex(TableCrc(GameArmies)));
    Print("table ArmyUnits " + Hex(TableCrc(ArmyUnits)));
    Print("table ArmyItems " + Hex(~items));
    Print("table ArmyMoves " + Hex(RowsCrc(ArmyMoves)));
    Print("table ArmyTargets " + Hex(RowsCrc(ArmyTargets)));
    Print("table GameBuildings " + Hex(TableCrc(GameBuildings)));
    Print("table Diplomacy " + Hex(RowsCrc(Diplomacy)));
    Print("table GameEvents " + Hex(TableCrc(GameEvents)));
    Print("table ScenarioVariables " + Hex(TableCrc(static_cast<const std::vector<int32_t>&>(ScenarioVariables))));
    Print("table PointStates " + Hex(TableCrc(PointStates)));
    std::string gold = "hourly gold";
    for (const int32_t sample : HourlyGoldSamples)
        gold += " " + Num(sample);
    Print(gold);
    Print("clock " + Num(GameClock) + ", start " + Num(GameStartDate) + ", seed " + Num(GameSeed) + ", difficulty " +
          Num(GameDifficulty) + ", day battles " + Num(DayBattleCount) + ", hero " + Num(HeroKind));
}

void PrintDump()
{
    for (int32_t a = 0; a <= ArmyCount; ++a) {
        const TGameArmy& army = GameArmies[static_cast<size_t>(a)];
        const int32_t gold = army.Gold, strength = army.Strength, building = army.Building;
        const int32_t target = army.OrderTarget;
        Print("army " + ArmyName(a) + ": active " + Num(army.Active) + ", defeated " + Num(army.Defeated) +
              ", hidden " + Num(army.Hidden) + ", cell " + Num(army.Cell.X) + "," + Num(army.Cell.Z) + ", group " +
              Num(army.Group) + ", gold " + Num(gold) + ", personages " + Num(army.PersonageCount) + ", strength " +
              Num(strength) + ", building " + Num(building) + ", order " + Num(army.OrderKind) + "/" + Num(target) +
              ", waypoints " + Num(ArmyTrackers[static_cast<size_t>(a)].WaypointCount) + ", waiting " +
              Num(army.WaitKind) + ", travelled " +
              Num(static_cast<size_t>(a) < Travelled.size() ? Travelled[static_cast<size_t>(a)] : 0));
    }
    for (int32_t b = 1; b <= LastWorldBuilding(); ++b) {
        const TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
        const int32_t owner = state.OwnerArmy, group = state.OwnerGroup;
        const int32_t treasury = state.Treasury, storeA = state.StoreA, storeB = state.StoreB;
        const TGameArmy* garrison = FindArmy(GetGarrisonArmyIndex(b));
        Print("building " + BuildingName(b) + ": owner " + Num(owner) + ", group " + Num(group) + ", treasury " +
              Num(treasury) + ", stores " + Num(storeA) + "/" + Num(storeB) + ", garrison " +
              Num(garrison != nullptr ? garrison->PersonageCount : 0) + ", closed " + Num(state.Closed));
    }
    PrintTables();
}

// A new game of the scenario, set up as the game loading worker does it,
// and its start save.
bool StartNewGame(const TWorldRunOptions& options, std::string& error)
{
    const std::string file = ResolveScenarioFile(options.Scenario);
    if (!LoadScenarioMap(file)) {
        error = "can't load the scenario " + options.Scenario;
        return false;
    }
    // A kind the scenario does not offer would play with an empty army.
    std::string offered;
    for (int32_t k = 1; k <= 6; ++k)
        if (MapStory.HeroAvailable[k] != 0)
            offered += (offered.empty() ? "" : ", ") + Num(k);
    if (options.Hero < 1 || options.Hero > 6 || MapStory.HeroAvailable[options.Hero] == 0) {
        error = "--hero " + Num(options.Hero) + " is not offered by " + options.Scenario + "; it offers " +
                (offered.empty() ? "none" : offered);
        return false;
    }
    SceneHooks().BuildTerrainModel(true);
    AI_InitPathGrid();
    HeroKind = options.Hero;
    InitWorld(false, options.Seed);
    PlayerTargetCell = GameArmies[PlayerArmy].Cell;
    WriteStartSave(LastScenarioName);
    return true;
}

bool StartFromSave(const TWorldRunOptions& options, std::string& error)
{
    WaitForSaveWriter();
    if (!LoadSavedGame(options.LoadFile, GameSpeed, HeroName)) {
        error = "can't load the saved game " + options.LoadFile;
        return false;
    }
    return true;
}

bool SaveWorld(const std::string& file, std::string& error)
{
    WaitForSaveWriter();
    const bool started = WriteSavedGame(u"dmtool", file, HeroName, nullptr, nullptr, GameSpeed);
    WaitForSaveWriter();
    if (!started || SaveLastFailed.load()) {
        error = "can't write the saved game " + file;
        return false;
    }
    return true;
}

// The map screen's event search runs in the frames of the run, not in
// those of a passing of time that an event's results ask for.
class TEventFrameHooks : public TWorldRunHooks {
public:
    bool Searching = true;
    void FindDueEvent() override
    {
        if (Searching)
            LookForDueEvent();
    }
};

// A computer army beaten in the frame: the battle line says who won; this
// one says that the army left the map, and by whose hand.
std::vector<uint8_t> WasDefeated;

std::string DefeatLine(int32_t a)
{
    const int32_t foe = GameArmies[static_cast<size_t>(a)].LastFoe;
    const bool known = foe >= 0 && static_cast<size_t>(foe) < GameArmies.size();
    return "defeat: " + GetArmyLogName(a) + (known ? " beaten by " + GetArmyLogName(foe) : " beaten");
}

void NoteDefeats()
{
    WasDefeated.resize(static_cast<size_t>(ArmyCount) + 1, 0);
    for (int32_t a = 0; a <= ArmyCount; ++a) {
        const uint8_t defeated = GameArmies[static_cast<size_t>(a)].Defeated != 0 ? 1 : 0;
        // The hero's defeat has its own line, printed with or without the log.
        if (defeated != 0 && WasDefeated[static_cast<size_t>(a)] == 0 && a != PlayerArmy)
            Happenings.push_back(DefeatLine(a));
        WasDefeated[static_cast<size_t>(a)] = defeated;
    }
}

void TakeFrameOutput(bool log, bool dayMark)
{
    TrackTravel();
    NoteDefeats();
    TakeNotices(log);
    PrintHappenings(log);
    if (dayMark)
        PrintDay();
}

// The army the hero brought into a new scenario, and the variables.
void PrintCarriedArmy()
{
    const TGameArmy& player = GameArmies[PlayerArmy];
    const int32_t gold = player.Gold, items = player.ItemCount;
    std::string line = "carried: gold " + Num(gold) + ", items " + Num(items) + ", personages";
    for (int32_t s = 1; s <= UsedSlots(player); ++s) {
        const TPersonage& p = ArmyUnits[PlayerArmy][s];
        const int32_t type = p.UnitType, hire = p.HireKind, level = p.ExpLevel;
        line += " " + Num(type) + "/" + Num(hire) + "/" + Num(level);
    }
    Print(line);
    std::string variables = "variables:";
    for (size_t v = 1; v < ScenarioVariables.size() && v < ScenarioVariableNames.size(); ++v)
        variables += " " + Utf8(ScenarioVariableNames[v]) + "=" + Num(ScenarioVariables[v]);
    Print(variables);
}

// Shows the event the frame found: its results, the time they let pass
// and the end of the scenario or the way into the next one. over: the run
// ends; end: the clock the run ends at, carried into a next scenario.
bool ShowEvent(const TWorldRunOptions& options, TEventFrameHooks& hooks, int64_t& end, bool& over,
               std::string& error)
{
    std::vector<std::string> lines;
    const TShownEvent shown = ShowDueEvent(lines);
    if (shown.Event == 0)
        return true;
    Happenings.insert(Happenings.end(), lines.begin(), lines.end());
    PrintHappenings(options.Log);
    hooks.Searching = false;
    for (int64_t minutes = shown.PassMinutes; minutes > 0;) {
        const int64_t taken = std::min<int64_t>(minutes, WorldRunStep / 10000);
        EngineMs += WorldRunFrameMs;
        const bool dayMark = RunWorldFrame(taken * 10000, false, 0);
        minutes -= taken;
        TakeFrameOutput(options.Log, dayMark);
    }
    hooks.Searching = true;
    if (shown.Ending == TScenarioEnding::None)
        return true;
    const std::string next = shown.Ending == TScenarioEnding::Victory ? NextScenarioAfterVictory() : std::string();
    if (next.empty()) {
        Print(FormatGameDate(GameClock) + " scenario ends" +
              (shown.Ending == TScenarioEnding::Victory ? " in victory" : ""));
        over = true;
        return true;
    }
    const int64_t remaining = end - GameClock;
    if (!TransferToScenario(next, error))
        return false;
    end = GameClock + remaining;
    Print("next scenario: " + Utf8(MapStory.Name));
    // The dates of the run count from the header's start day; the carried
    // hero's calendar counts from the game's.
    const int64_t shift = static_cast<int64_t>(GameStartDate / 1440 - MapStory.StartDate / 1440) * DayFx;
    Print("date: " + FormatGameDate(GameClock + shift));
    PrintCarriedArmy();
    TakeFrameOutput(options.Log, false);
    return true;
}

// The map screen's order to approach an army: the player's army follows it.
bool OrderApproach(int32_t army, std::string& note, std::string& error)
{
    const TGameArmy* target = army >= 1 && army <= ArmyCount ? FindArmy(army) : nullptr;
    if (target == nullptr) {
        error = "--approach takes an army 1.." + Num(ArmyCount);
        return false;
    }
    PlayerTargetArmy = army;
    PlayerTargetCell = target->Cell;
    // The map screen keeps the order when no way leads there; the run says so once.
    if (!AI_PlanRoute(PlayerArmy))
        note = "approach: no route to " + ArmyName(army);
    return true;
}

// The hero's army beaten: its own line, with the army that beat it.
bool HeroDefeated()
{
    const TGameArmy& player = GameArmies[PlayerArmy];
    return player.Defeated != 0 && player.Active == 0;
}

void PrintDefeat()
{
    Print(FormatGameDate(GameClock) + " " + GameTextUtf8(DefeatLine(PlayerArmy)));
}

} // namespace

std::string ResolveScenarioFile(const std::string& name)
{
    if (FileExistsMask(name))
        return name;
    const size_t slash = name.find_last_of("\\/");
    const bool hasExtension = name.find('.', slash == std::string::npos ? 0 : slash + 1) != std::string::npos;
    return ScenariosFolder + name + (hasExtension ? "" : ".Tdm");
}

bool RunWorld(const TWorldRunOptions& options, std::string& error)
{
    BetaLogOpen();
    Happenings.clear();
    SetWorldLogSink(CollectHappening);
    GameTimeSource = RunClock;
    const bool started = options.LoadFile.empty() ? StartNewGame(options, error) : StartFromSave(options, error);
    if (!started) {
        SetWorldLogSink(nullptr);
        BetaLogSave();
        return false;
    }

    std::string approachNote;
    if (options.Approach != 0 && !OrderApproach(options.Approach, approachNote, error)) {
        SetWorldLogSink(nullptr);
        BetaLogSave();
        return false;
    }
    TEventFrameHooks hooks;
    SetWorldFrameHooks(&hooks);
    ForgetDueEvent();
    StartTravel();
    WasDefeated.assign(static_cast<size_t>(ArmyCount) + 1, 0);
    for (int32_t a = 0; a <= ArmyCount; ++a)
        WasDefeated[static_cast<size_t>(a)] = GameArmies[static_cast<size_t>(a)].Defeated != 0 ? 1 : 0;
    PrintHeader();
    if (!approachNote.empty())
        Print(approachNote);
    TakeNotices(options.Log);
    PrintHappenings(options.Log);
    int64_t end = GameClock + options.Days * DayFx;
    bool over = false, beaten = HeroDefeated();
    while (!over && GameClock < end) {
        EngineMs += WorldRunFrameMs;
        const bool dayMark = RunWorldFrame(WorldRunStep, false, 1);
        TakeFrameOutput(options.Log, dayMark);
        if (!beaten && HeroDefeated()) {
            beaten = true;
            PrintDefeat();
            if (!options.PastDefeat) {
                Print(FormatGameDate(GameClock) + " scenario ends in defeat");
                break;
            }
        }
        if (!ShowEvent(options, hooks, end, over, error)) {
            SetWorldFrameHooks(nullptr);
            SetWorldLogSink(nullptr);
            BetaLogSave();
            return false;
        }
    }
    SetWorldFrameHooks(nullptr);
    if (options.Dump)
        PrintDump();
    Print("digest " + Hex(WorldDigest()));
    SetWorldLogSink(nullptr);
    const bool saved = options.SaveFile.empty() || SaveWorld(options.SaveFile, error);
    WaitForSaveWriter();
    BetaLogSave();
    return saved && std::fflush(stdout) == 0;
}
