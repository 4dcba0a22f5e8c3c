// The world's part of a map frame: its order, its hooks, the player's follow
// order and the render copy read from another thread.
#include "model/world/World_Frame.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "model/world/Prices.h"
#include "model/world/World_Clock.h"
#include "tests/support/TestSupport.h"
#include "tests/model/GameTimeUnits.h"
#include "tests/model/MapWorldTestSupport.h"

namespace {

constexpr int64_t FrameStep = 5 * Minute;

class TRecordingFrameHooks : public TWorldFrameHooks {
public:
    std::vector<int32_t> Encounters;
    int32_t Searches = 0;
    void Encounter(int32_t army) override { Encounters.push_back(army); }
    void FindDueEvent() override { ++Searches; }
};

class WorldFrameTest : public TMapWorldTest {
protected:
    void SetUp() override
    {
        TMapWorldTest::SetUp();
        MakeMapWorld(3, 1);
        GameClock = 12 * 60 * Minute;
        SetScheduleMarks();
        PlaceArmy(1, 200, 200);
        PlaceArmy(2, 250, 250);
        PlaceArmy(3, 300, 300);
        SetWaypoints(1, {{200, 200}, {230, 200}});
        Army(3).Stationary = 1;
        SetWorldFrameHooks(&Hooks);
    }
    void TearDown() override
    {
        SetWorldFrameHooks(nullptr);
        TMapWorldTest::TearDown();
    }

    TRecordingFrameHooks Hooks;
};

TEST_F(WorldFrameTest, OnlyArmiesThatMovedMeetAnything)
{
    EXPECT_FALSE(RunWorldFrame(FrameStep, false, 1));
    EXPECT_EQ(GameClock, 12 * 60 * Minute + FrameStep);
    EXPECT_EQ(Hooks.Encounters, std::vector<int32_t>{1});
    EXPECT_EQ(Hooks.Searches, 1);
    EXPECT_GT(CellX(CellOf(1)), 200);
    EXPECT_EQ(ApproachCheck, 1);
    EXPECT_EQ(FirstArmy, 0);
}

TEST_F(WorldFrameTest, APausedFrameLeavesTheWorldAsItIs)
{
    const float x = Army(1).Pos[0];
    EXPECT_FALSE(RunWorldFrame(FrameStep, true, 1));
    EXPECT_EQ(GameClock, 12 * 60 * Minute);
    EXPECT_EQ(V(Army(1).Pos[0]), x);
    EXPECT_TRUE(Hooks.Encounters.empty());
    EXPECT_EQ(Hooks.Searches, 0);
    // The render copy is there all the same.
    std::vector<TArmyRenderState> states;
    ReadArmyRenderStates(states);
    ASSERT_EQ(states.size(), 4u);
    EXPECT_EQ(states[1].Pos[0], x);

    // The frame that crosses 09:00 runs the daily work and says so.
    GameClock = NextDayMark - FrameStep / 2;
    EXPECT_TRUE(RunWorldFrame(FrameStep, false, 0));
    EXPECT_FALSE(RunWorldFrame(FrameStep, false, 0));
}

TEST_F(WorldFrameTest, ThePlayerFollowsAnArmyThatMoved)
{
    PlayerTargetArmy = 1;
    RunWorldFrame(FrameStep, false, 1);
    EXPECT_EQ(PlayerTargetCell.X, Army(1).Cell.X);
    EXPECT_EQ(PlayerTargetCell.Z, Army(1).Cell.Z);
    // An army that stands still gives no new order.
    PlayerTargetArmy = 2;
    RunWorldFrame(FrameStep, false, 1);
    EXPECT_EQ(PlayerTargetCell.X, 250);
    PlayerTargetCell = TCellXZ{9, 9};
    RunWorldFrame(FrameStep, false, 1);
    EXPECT_EQ(PlayerTargetCell.X, 9);
}

// A new world forgets where the followed army stood in the world before: the
// same army at the same place is followed again.
TEST_F(WorldFrameTest, TheResetWorldFollowsAnArmyWhereTheLastOneStood)
{
    PlayerTargetArmy = 2;
    RunWorldFrame(FrameStep, false, 1);
    ASSERT_EQ(PlayerTargetCell.X, 250);

    ResetWorldTables();
    MakeMapWorld(3, 1);
    GameClock = 12 * 60 * Minute;
    SetScheduleMarks();
    PlaceArmy(2, 250, 250);
    PlayerTargetArmy = 2;
    RunWorldFrame(FrameStep, false, 1);
    EXPECT_EQ(PlayerTargetCell.X, 250);
    EXPECT_EQ(PlayerTargetCell.Z, 250);
}

// The map renderer reads the copy on its own thread while frames run.
class WorldFrameThreadTest : public WorldFrameTest {};

TEST_F(WorldFrameThreadTest, TheRenderCopyIsReadWhileFramesRun)
{
    PublishArmyRenderStates();
    std::atomic<bool> done{false};
    std::atomic<int32_t> bad{0};
    std::thread reader([&] {
        std::vector<TArmyRenderState> states;
        float last = 0;
        while (!done.load()) {
            ReadArmyRenderStates(states);
            if (states.size() != 4 || states[1].Active != 1 || states[1].Pos[0] < last)
                bad.fetch_add(1);
            else
                last = states[1].Pos[0];
        }
    });
    for (int i = 0; i < 200; ++i)
        RunWorldFrame(Minute / 10, false, 1);
    done.store(true);
    reader.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(V(Army(1).Pos[0]), 200.0f);
}

} // namespace
