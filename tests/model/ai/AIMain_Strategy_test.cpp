// Relations between armies, and of armies towards buildings.
#include <gtest/gtest.h>

#include "model/ai/AIMain_Strategy.h"
#include "tests/model/WorldTestSupport.h"

namespace {

class RelationTest : public TWorldTest {
protected:
    void SetUp() override
    {
        TWorldTest::SetUp();
        MakeWorld(2, 3);
    }
};

} // namespace

TEST_F(RelationTest, AttitudesInSixSteps)
{
    struct TCase {
        int16_t Mine, Theirs;
        int32_t Relation, OtherView;
    };
    const TCase cases[] = {
        {30, 30, 1, 1},   {-50, -50, -2, -2}, {30, -50, -1, -2}, {-50, 30, -2, -1},
        {100, 100, 5, 5}, {19, 0, 0, 0},      {-19, 5, 0, 0},    {-100, 0, -5, -5},
    };
    for (const TCase& c : cases) {
        SetAttitude(1, 2, c.Mine);
        SetAttitude(2, 1, c.Theirs);
        EXPECT_EQ(GetRelation(1, 2, false), c.Relation) << c.Mine << " " << c.Theirs;
        EXPECT_EQ(GetRelation(1, 2, true), c.OtherView) << c.Mine << " " << c.Theirs;
    }
}

TEST_F(RelationTest, BuildingsThroughTheirOwners)
{
    // No owner army and no owner group: hostile to everyone.
    EXPECT_EQ(GetRelation(1, -1, false), -1);
    EXPECT_EQ(GetRelation(PlayerArmy, -1, true), -1);
    State(2).OwnerArmy = 2;
    SetAttitude(1, 2, 60);
    EXPECT_EQ(GetRelation(1, -2, false), 3);
    Diplomacy.assign(2, TIntArray{0, 0});
    Diplomacy[1][0] = -40;
    Army(1).Group = 0;
    State(3).OwnerGroup = 1;
    EXPECT_EQ(GetRelation(1, -3, false), -2); // friendly view spoilt by the group's hostility
    EXPECT_EQ(GetRelation(1, -3, true), -2);
    // Numbers the tables do not hold.
    EXPECT_EQ(GetRelation(1, 9, false), 0);
    EXPECT_EQ(GetRelation(9, 1, false), 0);
    EXPECT_EQ(GetRelation(1, -9, false), 0);
    State(3).OwnerGroup = 7;
    EXPECT_EQ(GetRelation(1, -3, false), 0);
}
