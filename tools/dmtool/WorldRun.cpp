#include "tools/dmtool/WorldRun.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "engine/QX9_System.h"
#include "model/AIMain.h"
#include "model/Global_Texts.h"
#include "model/ScenarioMap.h"
#include "model/ScenarioMap_Tables.h"
#include "model/SceneHooks.h"
#include "model/Support.h"
#include "model/World_Access.h"
#include "model/World_Clock.h"
#include "model/World_Digest.h"
#include "model/World_Frame.h"
#include "model/World_Log.h"
#include "model/World_Setup.h"

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
        if (n.Kind == 1 || n.Kind == 2)
            Happenings.push_back("captured: " + BuildingName(n.B) + " by " + ArmyName(n.A));
        else
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
              Num(army.WaitKind));
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
    const std::string file = ResolveScenarioFile(options.Scenario);
    if (!LoadScenarioMap(file)) {
        error = "can't load the scenario " + options.Scenario;
        return false;
    }
    Happenings.clear();
    SetWorldLogSink(CollectHappening);
    GameTimeSource = RunClock;
    SceneHooks().BuildTerrainModel(true);
    AI_InitPathGrid();
    HeroKind = options.Hero;
    InitWorld(false, options.Seed);
    PlayerTargetCell = GameArmies[PlayerArmy].Cell;

    PrintHeader();
    TakeNotices(options.Log);
    PrintHappenings(options.Log);
    const int64_t end = GameClock + options.Days * DayFx;
    while (GameClock < end) {
        EngineMs += WorldRunFrameMs;
        const bool dayMark = RunWorldFrame(WorldRunStep, false, 1);
        TakeNotices(options.Log);
        PrintHappenings(options.Log);
        if (dayMark)
            PrintDay();
    }
    if (options.Dump)
        PrintDump();
    char digest[16];
    std::snprintf(digest, sizeof digest, "%08" PRIx32, WorldDigest());
    Print(std::string("digest ") + digest);
    SetWorldLogSink(nullptr);
    return std::fflush(stdout) == 0;
}
