// The map screen's rules without a window: the clock step and clock
// flights, speed and clock texts, label fading, plate backgrounds, route
// points, pick decoding and the quicksave names.
#include <gtest/gtest.h>

#include <cmath>

#include "screens/front/Duskmarch_Loading.h"
#include "screens/map/Duskmarch_Map.h"
#include "screens/map/Duskmarch_MapHooks.h"

namespace {

TEST(MapClock, StepTable)
{
    struct TCase {
        float Speed;
        int32_t Elapsed;
        bool Runs;
        bool Forced;
        int64_t Step;
    };
    const TCase cases[] = {
        {1, 1000, true, false, 41667},  {4, 100, true, false, 16667}, {1, 1000, false, false, 0},
        {4, 1000, false, true, 41667},  {4, 1000, true, true, 41667}, {0.5f, 1000, true, false, 20833},
    };
    for (const TCase& c : cases) {
        SetGameSpeed(c.Speed);
        EXPECT_EQ(MapClockStep(c.Elapsed, ClockTick, c.Runs, c.Forced), c.Step)
            << c.Speed << " " << c.Elapsed << " " << c.Runs << " " << c.Forced;
    }
    SetGameSpeed(1);
}

TEST(MapClock, FlightOfOneMinuteEndsAtOnce)
{
    TClockFlight flight{1, 10000, 50000, 0, 1000};
    int64_t clock = 40000;
    EXPECT_EQ(ClockFlightStep(flight, 10, clock), 10);
    EXPECT_EQ(flight.On, 0);
    EXPECT_EQ(flight.Delta, 0);
}

TEST(MapClock, FlightWhoseTimeIsUpLandsOnTarget)
{
    TClockFlight flight{1, 600000, 1000000, 0, 1000};
    int64_t clock = 400000;
    const int64_t step = ClockFlightStep(flight, 5000, clock);
    EXPECT_EQ(clock, 1000000 - 10000);
    EXPECT_EQ(clock + step, 1000000);
    EXPECT_EQ(flight.On, 0);
}

TEST(MapClock, FlightStepIsCutAndNeverNegative)
{
    TClockFlight flight{1, 10000000, 20000000, 0, 1000};
    int64_t clock = 10000000;
    EXPECT_EQ(ClockFlightStep(flight, 500, clock), 100000) << "a big jump is cut to 100,000";
    EXPECT_EQ(flight.On, 1);
    TClockFlight behind{1, 1000000, 2000000, 0, 1000};
    int64_t ahead = 1900000;
    EXPECT_EQ(ClockFlightStep(behind, 100, ahead), 10) << "a clock ahead of the curve steps by 10";
}

TEST(MapPanels, GameSpeedClampsAndTick)
{
    struct TCase {
        float Asked, Speed;
        int64_t Tick;
    };
    for (const TCase& c : {TCase{0.3f, 0.5f, 1600000}, TCase{5, 4, 200000}, TCase{1, 1, 800000},
                           TCase{2.5f, 2.5f, 320000}}) {
        SetGameSpeed(c.Asked);
        EXPECT_FLOAT_EQ(GameSpeed, c.Speed);
        EXPECT_EQ(ClockTick, c.Tick);
    }
    SetGameSpeed(1);
}

TEST(MapPanels, ClockTextsAndCanonicalHours)
{
    struct TCase {
        int32_t Minute;
        const char16_t* Clock;
        const char16_t* Hour;
    };
    for (const TCase& c : {TCase{0, u"0:00", u"Matins"}, TCase{179, u"2:59", u"Matins"}, TCase{180, u"3:00", u"Lauds"},
                           TCase{1439, u"23:59", u"Compline"}, TCase{540, u"9:00", u"Terce"}}) {
        EXPECT_EQ(FormatClockOrHour(c.Minute, false), c.Clock);
        EXPECT_EQ(FormatClockOrHour(c.Minute, true), c.Hour);
    }
}

TEST(MapPanels, DateOfDay)
{
    const std::u16string saved[2] = {MonthNames[0], MonthNames[1]};
    MonthNames[0] = u"Frostmoon";
    MonthNames[1] = u"Thawmoon";
    EXPECT_EQ(MapDateText(0), u"1 Frostmoon");
    EXPECT_EQ(MapDateText(29), u"30 Frostmoon");
    EXPECT_EQ(MapDateText(30), u"1 Thawmoon");
    EXPECT_EQ(MapDateText(360), u"1 Frostmoon") << "the year wraps after twelve months";
    MonthNames[0] = saved[0];
    MonthNames[1] = saved[1];
}

TEST(MapPanels, LabelAlphaFadesAtTheEdges)
{
    const int32_t w = 1600, h = 1200;
    EXPECT_EQ(LabelAlpha(150, 800, 20, 20, 600, w, h), 150);
    EXPECT_EQ(LabelAlpha(150, 0, 20, 20, 600, w, h), 0);
    EXPECT_EQ(LabelAlpha(150, 10, 20, 20, 600, w, h), 75);
    EXPECT_EQ(LabelAlpha(150, w - 10, 20, 20, 600, w, h), 75);
    EXPECT_EQ(LabelAlpha(100, 800, 60, 80, h - 40, w, h), 50);
    EXPECT_EQ(LabelAlpha(300, 800, 60, 80, 600, w, h), 255) << "clamped to 255";
    EXPECT_EQ(LabelAlpha(150, -30, 20, 20, 600, w, h), 0) << "off screen clamps to 0";
}

TEST(MapPanels, PlateBackgroundThresholds)
{
    const std::pair<int32_t, int32_t> cases[] = {{0, 1},   {92, 1},  {93, 2},  {134, 2},
                                                 {135, 3}, {176, 3}, {177, 4}, {400, 4}};
    for (const auto& [width, number] : cases)
        EXPECT_EQ(PlateBackgroundNumber(width), number) << width;
}

TEST(MapRoute, PointsAlongAStraightRoute)
{
    std::vector<TVisualPathPoint> points;
    ComputeRoutePoints({{0, 0}, {10, 0}}, points);
    ASSERT_EQ(points.size(), 4u);
    const float expected[] = {1.25f, 3.75f, 6.25f, 8.75f};
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(points[k].X, expected[k]);
        EXPECT_FLOAT_EQ(points[k].Cos, 1);
        EXPECT_FLOAT_EQ(points[k].Sin, 0);
    }
}

TEST(MapRoute, ShortRouteHasNoPoints)
{
    std::vector<TVisualPathPoint> points{{1, 1, 1, 0}};
    ComputeRoutePoints({{0, 0}, {1.2f, 0}}, points);
    EXPECT_TRUE(points.empty());
    ComputeRoutePoints({{5, 5}}, points);
    EXPECT_TRUE(points.empty());
}

TEST(MapRoute, VerticalAndBentRoutesHaveFiniteDirections)
{
    std::vector<TVisualPathPoint> points;
    ComputeRoutePoints({{4, 0}, {4, 10}, {4, 10}, {14, 10}}, points);
    ASSERT_EQ(points.size(), 8u);
    for (const TVisualPathPoint& p : points) {
        EXPECT_TRUE(std::isfinite(p.Cos) && std::isfinite(p.Sin));
        EXPECT_NEAR(p.Cos * p.Cos + p.Sin * p.Sin, 1, 1e-5);
    }
    EXPECT_FLOAT_EQ(points[0].X, 4);
    EXPECT_FLOAT_EQ(points[0].Sin, 1) << "along +z";
    EXPECT_FLOAT_EQ(points.back().Cos, 1) << "along +x after the bend";
}

TEST(MapPicking, DecodeTable)
{
    const std::pair<uint32_t, int32_t> cases[] = {{0, 0},       {3000, 0},    {9000, 0}, {6000, 0},
                                                  {6001, 6001}, {8999, 8999}, {5000, 0}};
    for (const auto& [id, decoded] : cases)
        EXPECT_EQ(DecodePickId(id), decoded) << id;
}

TEST(MapPicking, GroundPositionNeedsItsValidWord)
{
    TVec3 at{};
    const uint16_t none[4] = {65535, 0, 65535, 0};
    EXPECT_FALSE(DecodePickPosition(none, at));
    const uint16_t ground[4] = {32768, 0, 65535, 1};
    ASSERT_TRUE(DecodePickPosition(ground, at));
    EXPECT_NEAR(at.x, 512.0f, 0.01f);
    EXPECT_NEAR(at.z, 1024.0f, 0.01f);
}

TEST(MapSaves, QuicksaveNameKeepsItsSuffix)
{
    EXPECT_EQ(QuicksaveName("wren", 7), "wren 007 (quicksave)");
    const std::string longName(60, 'a');
    const std::string cut = QuicksaveName(longName, 12);
    EXPECT_EQ(cut.size(), 58u);
    EXPECT_EQ(cut.substr(cut.size() - 16), " 012 (quicksave)");
}

TEST(MapSaves, QuickloadTakesTheNewestOwnQuicksave)
{
    const std::vector<std::string> names = {"wren 001 (quicksave)", "other 002 (quicksave)", "wren 002 (quicksave)",
                                            "wren manual", "other 003 (quicksave)"};
    EXPECT_EQ(FindQuicksave(names, "wren"), 2);
    EXPECT_EQ(FindQuicksave(names, "nobody"), -1);
    EXPECT_EQ(FindQuicksave({}, "wren"), -1);
    const std::string longName(60, 'b');
    EXPECT_EQ(FindQuicksave({QuicksaveName(longName, 1)}, longName), 0) << "the cut name is found again";
}

TEST(MapSaves, StandInRecordsAndWritesNothing)
{
    ResetMapScreenHooks();
    MapHook_SaveGame("wren 001 (quicksave)");
    MapHook_Autosave();
    std::vector<std::string> names{"x"}, files{"y"};
    MapHook_PrivateSaves(names, files);
    EXPECT_TRUE(names.empty() && files.empty());
    EXPECT_EQ(MapSaveRequests, (std::vector<std::string>{"save wren 001 (quicksave)", "autosave"}));
    ResetMapScreenHooks();
}

} // namespace
