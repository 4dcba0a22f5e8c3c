// Story events in a small map world: events made in memory with their
// states as a new game schedules them, the army numbering of their position
// requirements and their follow-up lists; the event state and the map
// effects are emptied before and after each test.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "model/scenario/ScenarioMap.h"
#include "model/story/StoryEvents.h"
#include "model/world/World_Log.h"
#include "tests/model/GameTimeUnits.h"
#include "tests/model/MapWorldTestSupport.h"
#include "tests/support/TestSupport.h"

// A requirement or a result.
inline TStoryRequire StoryRule(uint8_t kind, uint8_t sub, uint8_t op, uint8_t op2, uint8_t mode, int32_t a, int32_t b = 0,
                               int32_t c = 0)
{
    return MakeStoryRule(kind, sub, op, op2, mode, a, b, c);
}

// A requirement that tests nothing.
inline TStoryRequire NoTestRule()
{
    return StoryRule(12, 0, 0, 0, 0, 0);
}

class TStoryEventWorldTest : public TMapWorldTest {
protected:
    static inline std::vector<std::string> LoggedLines;

    void SetUp() override
    {
        TMapWorldTest::SetUp();
        ClearStoryEvents();
        MakeMapWorld(4, 2);
        GameClock = 10 * Hour;
        GameSeed = 0;
        ScenarioVariables.assign(4, 0);
        LoggedLines.clear();
        SetWorldLogSink([](const std::string& line) { LoggedLines.push_back(line); });
    }
    void TearDown() override
    {
        SetWorldLogSink(nullptr);
        TMapWorldTest::TearDown();
    }

    // No events yet: the tables hold entry 0 only.
    static void ClearStoryEvents()
    {
        StoryEvents.assign(1, TStoryEvent{});
        StoryEventCalk.assign(1, TStoryEventCalkData{});
        GameEvents.assign(1, TGameEvent{});
        FollowUpEvents.assign(1, TIntArray{});
        StoryEventCount = 0;
    }

    // An event with its requirements and stages of the given values (each
    // stage with its results); its state as a new game starts it.
    static int32_t AddStoryEvent(std::initializer_list<TStoryRequire> requirements,
                                 std::vector<std::vector<TStoryResult>> stages = {{}}, std::vector<int32_t> values = {})
    {
        TStoryEvent event{};
        event.Requires.assign(requirements.begin(), requirements.end());
        event.RequireCount = static_cast<int32_t>(event.Requires.size());
        for (size_t s = 0; s < stages.size(); ++s) {
            TStoryStage stage{};
            stage.Results = stages[s];
            stage.ResultCount = static_cast<int32_t>(stage.Results.size());
            stage.Value = s < values.size() ? values[s] : 0;
            event.Stages.push_back(stage);
        }
        event.StageCount = static_cast<int32_t>(event.Stages.size());
        event.RepeatLimit = -1;
        event.Uid = 100 + StoryEventCount + 1;
        StoryEvents.push_back(event);
        StoryEventCount = static_cast<int32_t>(StoryEvents.size()) - 1;
        TGameEvent state{};
        state.Stage = -1;
        state.LastClock = -Minute;
        state.ScheduledClock = InitialEventSchedule(event);
        state.EventUid = event.Uid;
        GameEvents.push_back(state);
        BuildStoryEventCalk();
        FollowUpEvents.assign(static_cast<size_t>(StoryEventCount) + 1, TIntArray{});
        for (int32_t e = 1; e <= StoryEventCount; ++e)
            for (const TStoryRequire& r : StoryEvents[static_cast<size_t>(e)].Requires)
                if (r.Kind == 11 && r.ValueA > 0 && r.ValueA <= StoryEventCount)
                    FollowUpEvents[static_cast<size_t>(r.ValueA)].push_back(e);
        return StoryEventCount;
    }

    static TStoryEvent& Event(int32_t e) { return StoryEvents[static_cast<size_t>(e)]; }
    static TGameEvent& EventState(int32_t e) { return GameEvents[static_cast<size_t>(e)]; }

    // Marks the event fired at a clock.
    static void Fire(int32_t e, int64_t clock, int32_t times = 1, int32_t stage = 0)
    {
        EventState(e).TimesFired = times;
        EventState(e).LastClock = clock;
        EventState(e).Stage = stage;
    }

    static void AddMapPoint(int32_t p, int32_t x, int32_t z)
    {
        MapPoints.Count = std::max(MapPoints.Count, p);
        MapPoints[p] = TMapPoint{};
        MapPoints[p].Pos[0] = static_cast<float>(x);
        MapPoints[p].Pos[2] = static_cast<float>(z);
        MapPoints[p].Cell = TMapCellXZ{static_cast<int16_t>(x), static_cast<int16_t>(z)};
    }

    // The GameSeed for which the generator, seeded for case (a, 0, 0) at the
    // current clock, draws the given numbers below 100 first. The search
    // steps the engine's generator formula itself, as calling it millions
    // of times would be slow; the caller checks the draws with the real one.
    static int32_t SeedForDraws(int32_t a, std::initializer_list<int32_t> draws)
    {
        const uint32_t base =
            10000u * static_cast<uint32_t>(GameClock / 360 / Minute) + 100u * static_cast<uint32_t>(a);
        for (uint32_t seed = 0; seed < 100000000u; ++seed) {
            uint32_t state = base + seed;
            bool fits = true;
            for (const int32_t draw : draws) {
                state = state * 214013u + 2531011u;
                if (static_cast<int32_t>((state >> 16) & 32767u) % 100 != draw) {
                    fits = false;
                    break;
                }
            }
            if (fits)
                return static_cast<int32_t>(seed);
        }
        ADD_FAILURE() << "no seed draws the numbers";
        return 0;
    }
};
