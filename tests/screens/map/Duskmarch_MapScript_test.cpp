// The map's script queue: actions started, carried out once and dropped when
// their time is over; the fade's alpha; the defaults a reset restores.
#include "screens/map/Duskmarch_MapScript.h"

#include <gtest/gtest.h>

#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "screens/kit/Duskmarch_Base.h"

namespace {

uint32_t Now = 100000;
uint32_t TestTime()
{
    return Now;
}

struct THookLog {
    int EventChecks = 0;
    int Marches = 0;
    bool MarchPlanned = false;
    int ButtonsEnabled = -1;
    int LastAlpha = -1;
    int Paused = -1;
    int ArmyShown = -1;
};
THookLog Log;

// A frame's drawing at the time of this frame.
void DrawFrame()
{
    GetFrameTime(true);
    DrawMapScriptEffects();
}

class MapScriptTest : public testing::Test {
protected:
    void SetUp() override
    {
        Now = 100000;
        OS_SetTimeSource(TestTime);
        Log = THookLog{};
        MapScriptHooks.RequestEventCheck = [] { ++Log.EventChecks; };
        MapScriptHooks.EnableMapButtons = [](bool enabled) { Log.ButtonsEnabled = enabled ? 1 : 0; };
        MapScriptHooks.StartScriptedMarch = [](int32_t, int32_t) {
            ++Log.Marches;
            return Log.MarchPlanned;
        };
        MapScriptHooks.DrawBlackSprite = [](int32_t alpha) { Log.LastAlpha = alpha; };
        MapScriptHooks.SetMapPause = [](bool paused) { Log.Paused = paused ? 1 : 0; };
        MapScriptHooks.ShowPlayerArmy = [](bool shown) { Log.ArmyShown = shown ? 1 : 0; };
        ResetMapScript();
        GameClock = 0;
    }
    void TearDown() override
    {
        ResetMapScript();
        MapScriptHooks = TMapScriptHooks{};
        OS_SetTimeSource(nullptr);
    }
};

TEST_F(MapScriptTest, InstantActionRunsAndLeavesInOneCall)
{
    AddMapScriptAction(MapScriptClicksOff, 0, 0, 0);
    RunMapScript();
    EXPECT_EQ(ClicksEnabled, 0);
    EXPECT_TRUE(MapScriptQueue.empty());
    EXPECT_EQ(Log.EventChecks, 1);
}

TEST_F(MapScriptTest, UnplannableMarchLeavesAfterItsOwnMillisecond)
{
    AddMapScriptAction(MapScriptInputOff, 0, 0, 0);
    AddMapScriptAction(MapScriptMarch, 4, 1, MarchToBuilding);
    AddMapScriptAction(MapScriptInputOn, 0, 0, 0);
    RunMapScript();
    EXPECT_EQ(InputEnabled, 0);
    EXPECT_EQ(Log.ButtonsEnabled, 0);
    RunMapScript(); // the march starts and cannot be planned
    EXPECT_EQ(Log.Marches, 1);
    ASSERT_EQ(MapScriptQueue.size(), 2u);
    EXPECT_EQ(MapScriptQueue.front().Duration, 1);
    RunMapScript(); // same millisecond: still there
    EXPECT_EQ(MapScriptQueue.size(), 2u);
    Now += 2;
    RunMapScript();
    RunMapScript();
    EXPECT_TRUE(MapScriptQueue.empty());
    EXPECT_EQ(InputEnabled, 1);
    EXPECT_EQ(Log.ButtonsEnabled, 1);
    EXPECT_EQ(Log.EventChecks, 1);
}

TEST_F(MapScriptTest, PlannedMarchHoldsTheHeadUntilTheArmyStops)
{
    Log.MarchPlanned = true;
    AddMapScriptAction(MapScriptMarch, 2, 1, MarchToPoint);
    RunMapScript();
    EXPECT_EQ(MapScriptQueue.front().Duration, MarchHoldMs);
    Now += 3600000;
    RunMapScript();
    EXPECT_EQ(MapScriptQueue.size(), 1u);
    EndScriptedMarch();
    RunMapScript();
    EXPECT_TRUE(MapScriptQueue.empty());
}

TEST_F(MapScriptTest, OnlyARunOrAFlightLetsTheQueueDriveTheClock)
{
    Log.MarchPlanned = true;
    AddMapScriptAction(MapScriptMarch, 2, 1, MarchToPoint);
    RunMapScript();
    EXPECT_FALSE(MapScriptDrivesClock()) << "without kind 13 the map stands";
    ResetMapScript();
    AddMapScriptAction(MapScriptRun, 0, 0, 0);
    AddMapScriptAction(MapScriptMarch, 2, 1, MarchToPoint);
    RunMapScript();
    EXPECT_EQ(Log.Paused, 0);
    RunMapScript();
    EXPECT_TRUE(MapScriptDrivesClock());
    ResetMapScript();
    GameClock = 70000;
    AddMapScriptAction(MapScriptClockFlight, 30, 2400, 0);
    EXPECT_EQ(MapScriptQueue.front().Value, 300000) << "minutes x 10000";
    RunMapScript();
    EXPECT_TRUE(MapScriptDrivesClock());
    EXPECT_EQ(ClockFlight.Target, 370000);
    EXPECT_EQ(ClockFlight.Start, static_cast<int32_t>(Now));
    EXPECT_EQ(ClockFlight.Duration, 2400);
    AddMapScriptAction(MapScriptFadeIn, 0, 1000, 0);
    Now += 2401;
    RunMapScript(); // the flight leaves
    RunMapScript(); // the fade starts
    EXPECT_FALSE(MapScriptDrivesClock()) << "a fade at the head stands";
}

TEST_F(MapScriptTest, FadeAlphaTable)
{
    const struct {
        int32_t Elapsed, Duration, Alpha;
    } rows[] = {{0, 1000, 0}, {500, 1000, 127}, {1000, 1000, 255}, {2000, 1000, 255}, {-10, 1000, 0},
                {600000, 1000, 255}, {5, 0, 255}, {5, -3, 255}, {499999, 1000000, 127}};
    for (const auto& row : rows)
        EXPECT_EQ(FadeAlpha(row.Elapsed, row.Duration), row.Alpha) << row.Elapsed << "/" << row.Duration;
}

TEST_F(MapScriptTest, FadeStaysBlackUntilTheFadeOut)
{
    AddMapScriptAction(MapScriptFadeIn, 0, 1000, 0);
    RunMapScript();
    EXPECT_EQ(Log.ArmyShown, 0);
    Now += 500;
    DrawFrame();
    EXPECT_EQ(Log.LastAlpha, 127);
    EXPECT_EQ(CursorKind, 0);
    Now += 100000;
    RunMapScript();
    DrawFrame();
    EXPECT_EQ(Log.LastAlpha, 255);
    AddMapScriptAction(MapScriptFadeOut, 0, 1000, 0);
    RunMapScript();
    EXPECT_EQ(Log.ArmyShown, 1);
    Now += 250;
    DrawFrame();
    EXPECT_EQ(Log.LastAlpha, 255 - 63);
    Now += 1000;
    Log.LastAlpha = -1;
    DrawFrame();
    EXPECT_EQ(Log.LastAlpha, -1) << "an ended fade-out draws nothing";
    EXPECT_EQ(CursorKind, 1);
}

TEST_F(MapScriptTest, ResetRestoresEveryDefault)
{
    AddMapScriptAction(MapScriptClicksOff, 0, 0, 0);
    AddMapScriptAction(MapScriptInputOff, 0, 0, 0);
    AddMapScriptAction(MapScriptRun, 0, 0, 0);
    AddMapScriptAction(MapScriptFadeIn, 0, 1000, 0);
    AddMapScriptAction(MapScriptClockFlight, 90, 2000, 0);
    for (int i = 0; i < 4; ++i)
        RunMapScript();
    Now += 1001;
    RunMapScript(); // the fade leaves
    RunMapScript(); // the flight starts under the black screen
    ASSERT_EQ(ClockFlight.On, 1);
    ResetMapScript();
    EXPECT_TRUE(MapScriptQueue.empty());
    EXPECT_EQ(ClicksEnabled, 1);
    EXPECT_EQ(InputEnabled, 1);
    EXPECT_EQ(Log.ButtonsEnabled, 1);
    EXPECT_EQ(ForcedRun, 0);
    EXPECT_EQ(ClockFlight.On, 0);
    EXPECT_EQ(ClockFlight.Delta, 0);
    EXPECT_EQ(ClockFlight.Target, 0);
    EXPECT_EQ(ClockFlight.Start, 0);
    EXPECT_EQ(ClockFlight.Duration, 0);
    EXPECT_EQ(BlackFade.On, 0);
    EXPECT_EQ(BlackFade.Start, 0);
    EXPECT_EQ(BlackFade.Duration, 0);
}

} // namespace
