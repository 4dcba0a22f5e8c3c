// The game clock: steps, hourly and daily work, healing over time, hourly
// experience, stronghold pressure and the date text.
#include <gtest/gtest.h>

#include <algorithm>

#include "model/world/Prices.h"
#include "model/world/World_Clock.h"
#include "model/world/World_Economy.h"
#include "tests/model/GameTimeUnits.h"
#include "tests/model/WorldTestSupport.h"

namespace {

class ClockTest : public TWorldTest {
protected:
    int32_t Footman = 0;

    void SetUp() override
    {
        TWorldTest::SetUp();
        TPersonage& t = AddType("Footman");
        t.BaseStats[statHits] = 100;
        Footman = UnitTypeCount;
        MakeWorld(2, 3);
    }

    void StartAt(int64_t clock)
    {
        GameClock = clock;
        SetScheduleMarks();
    }
};

} // namespace

TEST_F(ClockTest, LongStepsAfterTheFirstTakeThePreviousStep)
{
    StartAt(12 * Hour);
    int64_t step = 100000;
    AdvanceGameClock(step);
    EXPECT_EQ(step, 100000);
    step = 200000;
    AdvanceGameClock(step);
    EXPECT_EQ(step, 100000);
    EXPECT_EQ(GameClock, 12 * Hour + 200000);
    EXPECT_EQ(LastClockStep, 100000);

    // The first step of a game may be any size.
    ClearWorldTables();
    StartAt(12 * Hour);
    step = 3 * Hour;
    AdvanceGameClock(step);
    EXPECT_EQ(step, 3 * Hour);
    EXPECT_EQ(GameHour, 15);
    EXPECT_EQ(GameMinute, 15 * 60);
    EXPECT_EQ(DayPeriod, 3);

    step = 0;
    EXPECT_FALSE(AdvanceGameClock(step));
    EXPECT_EQ(GameClock, 15 * Hour);
}

TEST_F(ClockTest, CrossingNineRunsHourlyAndDailyWorkInOneCall)
{
    Army(PlayerArmy).Gold = 777;
    MapBuildings[1].IncomeBonus = 10;
    State(1).OwnerArmy = PlayerArmy;
    DifficultyRules[2].HeroIncome = 100;
    Army(1).EnteredThisFrame = 1;
    MetPlayerArmy = 2;
    DayBattleCount = 4;
    StartAt(8 * Hour + 59 * Minute + 2000); // 08:59, a fifth of a minute in
    int64_t step = Minute;
    EXPECT_TRUE(AdvanceGameClock(step));
    EXPECT_EQ(HourlyGoldSamples[0], 777); // sampled before the day's income
    EXPECT_EQ(Army(PlayerArmy).Gold, 787);
    EXPECT_EQ(NextHourMark, 10 * Hour);
    EXPECT_EQ(NextDayMark, Day + 9 * Hour);
    EXPECT_EQ(DayBattleCount, 0);
    EXPECT_EQ(MetPlayerArmy, 0);
    EXPECT_EQ(Army(1).EnteredThisFrame, 0);

    step = Minute;
    EXPECT_FALSE(AdvanceGameClock(step));
    EXPECT_EQ(Army(PlayerArmy).Gold, 787);
}

TEST_F(ClockTest, GoldSampleIndexCountsFromNine)
{
    struct TCase {
        int32_t Hour;
        int32_t Index;
    };
    for (const TCase& c : {TCase{9, 0}, TCase{8, 23}, TCase{3, 18}, TCase{0, 15}, TCase{23, 14}}) {
        std::fill(std::begin(HourlyGoldSamples), std::end(HourlyGoldSamples), 0);
        Army(PlayerArmy).Gold = 100 + c.Hour;
        StartAt(c.Hour * Hour - 30 * Minute + Day);
        int64_t step = 31 * Minute;
        AdvanceGameClock(step);
        EXPECT_EQ(HourlyGoldSamples[c.Index], 100 + c.Hour) << c.Hour;
    }
}

TEST_F(ClockTest, DayPeriods)
{
    const uint8_t expected[24] = {6, 6, 6, 7, 7, 7, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5};
    for (int32_t h = 0; h < 24; ++h)
        EXPECT_EQ(GetDayPeriod(h), expected[h]) << h;
}

TEST_F(ClockTest, HealingOverTime)
{
    struct TCase {
        int32_t Missing;
        int64_t HourCount;
        int32_t Healed;
    };
    const TCase cases[] = {
        {25, 100, 1}, {25, 101, 1}, {95, 99, 1}, {95, 100, 0}, {95, 101, 0}, {5, 7, 3}, {2, 7, 2}, {15, 7, 2},
    };
    const int32_t slot = Recruit(PlayerArmy, Footman, 0);
    TPersonage& p = Unit(PlayerArmy, slot);
    for (const TCase& c : cases) {
        p.Hits = static_cast<int16_t>(100 - c.Missing);
        GameClock = c.HourCount * Hour + 10 * Minute;
        HourlyWork();
        EXPECT_EQ(p.Hits, 100 - c.Missing + c.Healed) << c.Missing << " at " << c.HourCount;
    }
    // Health of 1 (unable) does not come back by itself.
    p.Hits = 1;
    HourlyWork();
    EXPECT_EQ(p.Hits, 1);
}

TEST_F(ClockTest, AWoundHealsAfterAsManyDaysAsThereAreWounds)
{
    const int32_t slot = Recruit(PlayerArmy, Footman, 0);
    TPersonage& p = Unit(PlayerArmy, slot);
    p.Wounds = 2;
    p.WoundClock = 0;
    GameClock = 2 * Day;
    HourlyWork();
    EXPECT_EQ(p.Wounds, 2);
    GameClock = 2 * Day + Minute;
    HourlyWork();
    EXPECT_EQ(p.Wounds, 1);
    EXPECT_EQ(p.WoundClock, GameClock);
}

TEST_F(ClockTest, ComputerForcesGainHourlyExperience)
{
    MapStory.HourlyExpArmy = 100;
    MapStory.HourlyExpGarrison = 50;
    MapStory.HourlyExpPlayerGarrison = 30;
    DifficultyRules[2].EnemyExperienceGrowth = 24; // every hour
    const int32_t garrison = GetGarrisonArmyIndex(1), playerGarrison = GetGarrisonArmyIndex(2);
    State(2).OwnerArmy = PlayerArmy;
    const int32_t slots[4] = {Recruit(PlayerArmy, Footman, 0), Recruit(1, Footman, 0), Recruit(garrison, Footman, 0),
                              Recruit(playerGarrison, Footman, 0)};
    auto experience = [&](int32_t a, int32_t slot) { return Unit(a, slot).Experience; };
    GameClock = 10 * Hour;
    LastPlayerStepClock = 5 * Hour;
    HourlyWork();
    EXPECT_EQ(experience(PlayerArmy, slots[0]), 0);
    EXPECT_EQ(experience(1, slots[1]), 10);
    EXPECT_EQ(experience(garrison, slots[2]), 5);
    EXPECT_EQ(experience(playerGarrison, slots[3]), 3);
    // The player's garrisons learn only while the player moves nearby in time.
    LastPlayerStepClock = 4 * Hour;
    HourlyWork();
    EXPECT_EQ(experience(playerGarrison, slots[3]), 3);
    EXPECT_EQ(experience(1, slots[1]), 20);

    DifficultyRules[2].EnemyExperienceGrowth = 0;
    HourlyWork();
    EXPECT_EQ(experience(1, slots[1]), 20);
    Army(1).Active = 0;
    DifficultyRules[2].EnemyExperienceGrowth = 24;
    HourlyWork();
    EXPECT_EQ(experience(1, slots[1]), 20);
}

TEST_F(ClockTest, DateText)
{
    MapStory.StartDate = 0;
    EXPECT_EQ(FormatGameDate(0), "01.01.1000 00:00");
    EXPECT_EQ(FormatGameDate(Day + 90 * Minute), "02.01.1000 01:30");
    GameClock = 359 * Day + 23 * Hour + 59 * Minute;
    EXPECT_EQ(FormatGameDate(0), "30.12.1000 23:59");
    // The start date counts by whole days; its minute is already in the clock.
    MapStory.StartDate = 30 * 1440 + 600;
    EXPECT_EQ(FormatGameDate(10 * Hour), "01.02.1000 10:00");
}

namespace {

// Building 1 is the player's village; building 2 a castle of army 1 ten
// cells away, building 3 a castle of the player's.
class PressureTest : public ClockTest {
protected:
    void SetUp() override
    {
        ClockTest::SetUp();
        for (int32_t b = 1; b <= 3; ++b) {
            MapBuildings[b].Cell = {200, static_cast<int16_t>(200 + 10 * (b - 1))};
            State(b).OwnerArmy = b == 2 ? 1 : PlayerArmy;
            State(b).OwnerGroup = b == 2 ? 1 : 0;
        }
        MapBuildings[1].BuildingType = static_cast<uint8_t>(TBuildingType::Village);
        BuildingNeighbours[1] = {2};
        SetAttitude(1, PlayerArmy, -40);
        Army(1).Group = 1;
        Army(1).Banner = 7;
        StartAt(Day + 10 * Minute);
    }
    // Pressure = Strength x days (x 10000) / (distance + 50): with 60 x
    // 10^-4 days since the capture, the garrison's strength itself.
    void SetPressure(int32_t pressure)
    {
        State(1).CaptureClock = GameClock - 60 * 1440;
        Army(GetGarrisonArmyIndex(2)).Strength = pressure;
    }
};

} // namespace

TEST_F(PressureTest, PressureAbove60000TakesTheBuilding)
{
    SetPressure(60000);
    ApplyStrongholdPressure();
    EXPECT_EQ(State(1).OwnerArmy, PlayerArmy);
    EXPECT_TRUE(MapNotices.empty());
    SetPressure(60001);
    ApplyStrongholdPressure();
    EXPECT_EQ(State(1).OwnerArmy, 1);
    EXPECT_EQ(State(1).OwnerGroup, 1);
    EXPECT_EQ(State(1).Banner, 7);
    EXPECT_EQ(Army(GetGarrisonArmyIndex(1)).Banner, 7);
    EXPECT_EQ(State(1).CapturedFrom, 2);
    EXPECT_EQ(State(1).CaptureClock, GameClock);
    ASSERT_EQ(MapNotices.size(), 1u);
    EXPECT_EQ(MapNotices[0].Kind, 2);
    EXPECT_EQ(MapNotices[0].A, 1);
    EXPECT_EQ(MapNotices[0].B, 1);
    EXPECT_EQ(MapNotices[0].C, 2);
}

TEST_F(PressureTest, TheCaptureComesAtTheNextFullHour)
{
    SetPressure(60001);
    int64_t step = 10 * Minute;
    while (GameClock + step <= NextHourMark) {
        AdvanceGameClock(step);
        EXPECT_EQ(State(1).OwnerArmy, PlayerArmy);
    }
    AdvanceGameClock(step);
    EXPECT_EQ(State(1).OwnerArmy, 1);
    EXPECT_EQ(MapNotices.size(), 1u);
}

TEST_F(PressureTest, AFriendlyStrongholdCoversTheBuilding)
{
    SetPressure(1000000);
    BuildingNeighbours[1] = {2, 3};
    SetAttitude(PlayerArmy, PlayerArmy, 40);
    ApplyStrongholdPressure();
    EXPECT_EQ(State(1).OwnerArmy, PlayerArmy);
    // A neutral owner neither presses nor covers.
    SetAttitude(PlayerArmy, PlayerArmy, 0);
    ApplyStrongholdPressure();
    EXPECT_EQ(State(1).OwnerArmy, 1);
}
