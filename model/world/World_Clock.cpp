#include "model/world/World_Clock.h"

#include <cstdio>

#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Random.h"
#include "model/ai/AIMain_Strategy.h"
#include "model/FixedPoint.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/Prices.h"
#include "model/world/World_Access.h"
#include "model/world/World_Economy.h"

namespace {

constexpr int64_t MinutesPerDay = 1440;
constexpr int64_t DayTicks = MinutesPerDay * 10000;
// Pressure above which a stronghold takes its neighbour.
constexpr int64_t CapturePressure = 60000;
// A player garrison gains experience only while the player moved within
// the last six hours.
constexpr int64_t PlayerPresenceTicks = 3600000;

int32_t NonNegativeMod(int64_t value, int32_t divisor)
{
    const int64_t r = value % divisor;
    return static_cast<int32_t>(r < 0 ? r + divisor : r);
}

void HealOverTime(TPersonage& p, int64_t hourCount)
{
    if (p.Wounds > 0 && p.Hits > 1 && GameClock - p.WoundClock > static_cast<int64_t>(p.Wounds) * DayTicks) {
        p.WoundClock = GameClock;
        p.Wounds -= 1;
        ApplyWoundStats(p, 21);
    }
    const int32_t full = p.Stats[statHits];
    if (p.Hits > 1 && p.Hits < full) {
        const int32_t missing = full - p.Hits;
        const int32_t d = missing / 30;
        int32_t hits = p.Hits;
        // Light hurts heal fast; deep ones a hit every d hours.
        if (d > 0) {
            if (hourCount % d == 0)
                hits += 1;
        } else {
            hits += 3 - missing / 10;
        }
        p.Hits = static_cast<int16_t>(hits > full ? full : hits);
    }
}

bool IsPlayerGarrison(int32_t a)
{
    if (a <= ArmyCount)
        return false;
    const int32_t b = a - ArmyCount;
    return b >= 1 && static_cast<size_t>(b) < GameBuildings.size() &&
           GameBuildings[static_cast<size_t>(b)].OwnerArmy == PlayerArmy;
}

void GainHourlyExperience(int32_t a, int32_t slot, TPersonage& p)
{
    const bool playerGarrison = IsPlayerGarrison(a);
    const int32_t difficulty = playerGarrison ? 2 : GameDifficulty;
    if (RandomBelow(24) >= CurrentDifficulty(difficulty).EnemyExperienceGrowth)
        return;
    int64_t gain = 0;
    if (a <= ArmyCount)
        gain = MapStory.HourlyExpArmy / 10;
    else if (playerGarrison)
        gain = GameClock < LastPlayerStepClock + PlayerPresenceTicks ? MapStory.HourlyExpPlayerGarrison / 10 : 0;
    else
        gain = MapStory.HourlyExpGarrison / 10;
    p.Experience = ClampToInt32(static_cast<int64_t>(p.Experience) + gain);
    TIntArray removed;
    LevelUp(a, slot, -1, removed);
}

} // namespace

uint8_t GetDayPeriod(int32_t hour)
{
    return static_cast<uint8_t>(NonNegativeMod(hour - 6, 24) / 3);
}

bool AdvanceGameClock(int64_t& step)
{
    if (step == 0)
        return false;
    if (LastClockStep > 0 && step > MaxClockStep)
        step = LastClockStep;
    GameClock += step;
    LastClockStep = step;
    GameMinute = ClampToInt32(GameClock / 10000);
    GameHour = NonNegativeMod(GameClock / 60 / 10000, 24);
    DayPeriod = GetDayPeriod(GameHour);

    MetPlayerArmy = 0;
    for (int32_t a = FirstArmy; a <= ArmyCount; ++a)
        if (TGameArmy* army = FindArmy(a))
            army->EnteredThisFrame = 0;

    if (NextHourMark < GameClock) {
        NextHourMark = (RoundDivHalfEven(GameClock, 10000) / 60 + 1) * 60 * 10000;
        HourlyWork();
        ApplyStrongholdPressure();
        if (const TGameArmy* player = FindArmy(PlayerArmy))
            HourlyGoldSamples[NonNegativeMod(GameHour - 9, 24)] = player->Gold;
        CalcArmyEconomy(PlayerArmy, -1);
    }
    if (GameClock >= NextDayMark) {
        SetScheduleMarks();
        RestockBuildings(false);
        DailyWork(true);
        DayBattleCount = 0;
        return true;
    }
    return false;
}

void HourlyWork()
{
    const int64_t hourCount = RoundDivHalfEven(GameClock, 10000) / 60;
    for (int32_t a = FirstArmy; a <= ArmyCount + GarrisonCount; ++a) {
        TGameArmy* army = FindArmy(a);
        if (army == nullptr || army->Active == 0)
            continue;
        TArmyUnits& units = ArmyUnits[static_cast<size_t>(a)];
        for (int32_t q = 1; q <= UsedSlots(*army); ++q) {
            TPersonage& p = units[q];
            AI_SeedRandom(GameHour, a, q);
            if (p.UnitType == 0)
                continue;
            HealOverTime(p, hourCount);
            if (a != PlayerArmy)
                GainHourlyExperience(a, q, p);
        }
    }
}

void ApplyStrongholdPressure()
{
    const int32_t last = LastWorldBuilding();
    for (int32_t t = 1; t <= last; ++t) {
        if (static_cast<size_t>(t) >= BuildingNeighbours.size() || BuildingNeighbours[static_cast<size_t>(t)].empty())
            continue;
        TGameBuilding& target = GameBuildings[static_cast<size_t>(t)];
        const int64_t days = RoundDivHalfEven(GameClock - target.CaptureClock, MinutesPerDay);
        int64_t strongest = 0;
        int32_t winner = 0;
        bool covered = false;
        for (int32_t s : BuildingNeighbours[static_cast<size_t>(t)]) {
            if (!IsWorldBuilding(s))
                continue;
            const TGameBuilding& source = GameBuildings[static_cast<size_t>(s)];
            if (source.OwnerArmy < 0)
                continue;
            const int32_t relation = GetRelation(source.OwnerArmy, -t, false);
            if (relation < 0) {
                const TGameArmy* garrison = FindArmy(GetGarrisonArmyIndex(s));
                const int64_t strength = garrison ? garrison->Strength : 0;
                const int64_t pressure =
                    RoundDivHalfEven(strength * days, GetCellDistance(BuildingCell(t), BuildingCell(s)) + 50);
                if (pressure > 0 && pressure > strongest) {
                    strongest = pressure;
                    winner = s;
                }
            } else if (relation > 0 &&
                       (source.OwnerArmy == target.OwnerArmy || source.OwnerGroup == target.OwnerGroup)) {
                covered = true;
            }
        }
        if (!covered && strongest > CapturePressure) {
            CaptureBuilding(GameBuildings[static_cast<size_t>(winner)].OwnerArmy, t, winner);
            target.CapturedFrom = ClampToInt16(winner);
        }
    }
}

std::string FormatGameDate(int64_t clock)
{
    const int64_t start = MapStory.StartDate;
    const int64_t minutes = (start / MinutesPerDay) * MinutesPerDay + (clock != 0 ? clock : GameClock) / 10000;
    const int64_t year = minutes / 518400 + 1000;
    const int64_t month = (minutes % 518400) / 43200 + 1;
    const int64_t day = (minutes % 43200) / MinutesPerDay + 1;
    const int64_t hour = (minutes % MinutesPerDay) / 60;
    const int64_t minute = minutes % 60;
    char text[64];
    std::snprintf(text, sizeof text, "%02lld.%02lld.%04lld %02lld:%02lld", static_cast<long long>(day),
                  static_cast<long long>(month), static_cast<long long>(year), static_cast<long long>(hour),
                  static_cast<long long>(minute));
    return text;
}
