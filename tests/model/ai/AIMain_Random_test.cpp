// Reproducible draws: the seed from the clock's six-hour period, the game's
// seed and the case numbers.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "engine/QX9_System.h"
#include "model/ai/AIMain_Random.h"
#include "model/world/World_Tables.h"

namespace {

class AIMainRandomTest : public ::testing::Test {
protected:
    void SetUp() override { ResetWorldTables(); }
    void TearDown() override { ResetWorldTables(); }

    static std::vector<int32_t> Draws(int count)
    {
        std::vector<int32_t> draws;
        for (int i = 0; i < count; ++i)
            draws.push_back(RandomBelow(1000000));
        return draws;
    }
};

constexpr int64_t Clock(int day, int minute)
{
    return (static_cast<int64_t>(day) * 1440 + minute) * 10000;
}

} // namespace

TEST_F(AIMainRandomTest, SeedFromPeriodSeedAndCase)
{
    GameSeed = 70000;
    GameClock = Clock(2, 780); // 13:00 of day 2: period 10
    AI_SeedRandom(5, 7, 0);
    EXPECT_EQ(RandomSeed, 170570u);

    SeedRandomFixed(3, 2, 1);
    EXPECT_EQ(RandomSeed, 30000u + 70000u + 200u + 1u);
}

TEST_F(AIMainRandomTest, SamePeriodSameDraws)
{
    GameSeed = 1230000;
    GameClock = Clock(2, 720); // 12:00, the first minute of period 10
    AI_SeedRandom(4, 33, 1);
    const std::vector<int32_t> first = Draws(5);

    GameClock = Clock(2, 1079) + 9999; // the last moment before 18:00
    AI_SeedRandom(4, 33, 1);
    EXPECT_EQ(Draws(5), first);

    GameClock = Clock(2, 1080); // the next period
    AI_SeedRandom(4, 33, 1);
    EXPECT_NE(Draws(5), first);

    GameClock = Clock(2, 720);
    AI_SeedRandom(4, 33, 2); // another case
    EXPECT_NE(Draws(5), first);
}

TEST_F(AIMainRandomTest, SeedSumsWrapAround)
{
    GameSeed = INT_MAX;
    GameClock = 0;
    AI_SeedRandom(1, 0, 0);
    EXPECT_EQ(RandomSeed, 0x7FFFFFFFu + 100u);
    SeedRandomFixed(INT_MIN, INT_MIN, -1);
    EXPECT_EQ(RandomSeed, 10000u * 0x80000000u + 0x7FFFFFFFu + 100u * 0x80000000u + 0xFFFFFFFFu);
}

TEST_F(AIMainRandomTest, DrawRanges)
{
    RandomSeed = 99;
    bool sawNegative = false, sawPositive = false;
    for (int i = 0; i < 2000; ++i) {
        const int32_t below = RandomBelow(7);
        EXPECT_GE(below, 0);
        EXPECT_LT(below, 7);
        const int32_t spread = RandomSpread(4);
        EXPECT_GE(spread, -3);
        EXPECT_LE(spread, 3);
        sawNegative |= spread < 0;
        sawPositive |= spread > 0;
        const double fraction = RandomFraction();
        EXPECT_GE(fraction, 0.0);
        EXPECT_LE(fraction, 10000.0);
        EXPECT_EQ(fraction, static_cast<double>(static_cast<int32_t>(fraction)));
    }
    EXPECT_TRUE(sawNegative && sawPositive);
    EXPECT_EQ(RandomBelow(0), 0);

    // Two draws each: the same seed replays RandomInt(n) - RandomInt(n).
    RandomSeed = 5;
    const int32_t a = RandomInt(9);
    const int32_t b = RandomInt(9);
    RandomSeed = 5;
    EXPECT_EQ(RandomSpread(9), a - b);
    // RandomFraction is RandomFloat scaled to 0..10000.
    RandomSeed = 8;
    const float f = RandomFloat();
    RandomSeed = 8;
    EXPECT_EQ(RandomFraction(), static_cast<double>(static_cast<int32_t>(f * 10000.0f + 0.5f)));
}
