// The world tables: numbering, start values, zero-filled resizes.
#include <gtest/gtest.h>

#include "model/world/World_Tables.h"

namespace {

class WorldTablesTest : public ::testing::Test {
protected:
    void SetUp() override { ResetWorldTables(); }
    void TearDown() override { ResetWorldTables(); }
};

template <typename T> bool AllZero(const T& record)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    for (size_t i = 0; i < sizeof(T); ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

} // namespace

TEST_F(WorldTablesTest, GarrisonNumbering)
{
    ArmyCount = 10;
    EXPECT_EQ(GetGarrisonArmyIndex(4), 14);
    EXPECT_EQ(GetGarrisonArmyIndex(-4), 14);
}

TEST_F(WorldTablesTest, StartValues)
{
    EXPECT_EQ(GameDifficulty, 2);
    EXPECT_EQ(FirstArmy, 0);
    EXPECT_EQ(AssaultParams.Attacker, NoAssault);
    EXPECT_EQ(AssaultParams.LastAttacker, -12345);
    EXPECT_EQ(AssaultParams.DefenceFire, 0);
    for (const TIntArray& list : HomeBuildingLists)
        EXPECT_EQ(list, TIntArray{0});
}

// New entries of a resized table are zero to the last reserved byte, and the
// entries already there keep their contents.
TEST_F(WorldTablesTest, ResizesZeroFillAndKeepEntries)
{
    GameBuildings.resize(2);
    GameArmies.resize(2);
    ArmyMoves.resize(1);
    ArmyMoves[0].resize(3);
    ArmyTargets.resize(1);
    ArmyTargets[0].resize(3);
    GameEvents.resize(2);
    for (const TGameBuilding& b : GameBuildings)
        EXPECT_TRUE(AllZero(b));
    for (const TGameArmy& a : GameArmies)
        EXPECT_TRUE(AllZero(a));
    for (const TGameArmyMove& m : ArmyMoves[0])
        EXPECT_TRUE(AllZero(m));
    for (const TGameArmyTarget& t : ArmyTargets[0])
        EXPECT_TRUE(AllZero(t));
    for (const TGameEvent& e : GameEvents)
        EXPECT_TRUE(AllZero(e));

    GameBuildings[1].Treasury = 77;
    GameBuildings[1].HireSlots[9].Stock = 5;
    GameArmies[1].Gold = 1234;
    GameBuildings.resize(8);
    GameArmies.resize(8);
    EXPECT_EQ(GameBuildings[1].Treasury, 77);
    EXPECT_EQ(GameBuildings[1].HireSlots[9].Stock, 5);
    EXPECT_EQ(GameArmies[1].Gold, 1234);
    for (size_t i = 2; i < 8; ++i) {
        EXPECT_TRUE(AllZero(GameBuildings[i])) << i;
        EXPECT_TRUE(AllZero(GameArmies[i])) << i;
    }

    TGameBuilding fresh{};
    TAssaultParams params{};
    EXPECT_TRUE(AllZero(fresh));
    EXPECT_TRUE(AllZero(params));
}

TEST_F(WorldTablesTest, ClearPutsStartValuesBack)
{
    ArmyCount = 3;
    GameDifficulty = 4;
    AssaultParams = {}; // an assault record with attacker 0
    HomeBuildingLists[3] = {2, 5, 6};
    MapEffects.push_back({2, 10, 1});
    PointStates.assign(3, TPointState{1, 1});
    ClearWorldTables();
    EXPECT_EQ(ArmyCount, 0);
    EXPECT_EQ(GameDifficulty, 2);
    EXPECT_EQ(AssaultParams.Attacker, NoAssault);
    EXPECT_EQ(HomeBuildingLists[3], TIntArray{0});
    EXPECT_TRUE(MapEffects.empty());
    EXPECT_TRUE(PointStates.empty());
}

// Every hire kind falls into at most one of the groups an army counts; the
// hero counts as a recruit, and kinds no rule knows (the campaign's "already
// carried" mark, a damaged byte of a scenario) into none.
TEST(HireKindTest, Groups)
{
    struct TRow {
        int32_t Kind;
        bool Recruit, Mercenary, Follower;
    };
    const TRow rows[] = {
        {hireRecruit, true, false, false},
        {hireMercenary, false, true, false},
        {hireLeader, false, true, false},
        {hireFollower, false, false, true},
        {hireSecondFollower, false, false, true},
        {hireHero, true, false, false},
        {-1, false, false, false},
        {6, false, false, false},
        {255, false, false, false},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Kind);
        EXPECT_EQ(IsRecruitHire(row.Kind), row.Recruit);
        EXPECT_EQ(IsMercenaryHire(row.Kind), row.Mercenary);
        EXPECT_EQ(IsFollowerHire(row.Kind), row.Follower);
    }
}
