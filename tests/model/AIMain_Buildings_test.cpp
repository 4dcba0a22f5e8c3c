// Adding personages to armies and taking buildings.
#include <gtest/gtest.h>

#include "model/AIMain_Buildings.h"
#include "model/AIMain_Movement.h"
#include "tests/model/WorldTestSupport.h"

namespace {

class AddPersonageTest : public TWorldTest {
protected:
    int32_t Hero = 0, Footman = 0;

    void SetUp() override
    {
        TWorldTest::SetUp();
        Hero = AddType("Hero").UnitType;
        Footman = AddType("Footman").UnitType;
        for (int i = 0; i < 6; ++i)
            AddType("Filler");
        Footman = AddType("Veteran").UnitType; // above the six hero kinds
        UnitTypes[Footman].StartExpirience = 300;
        MakeWorld(2, 1);
        ArmyTexts[1].Name = u"Grey Company";
    }
};

} // namespace

TEST_F(AddPersonageTest, FillsTheFirstFreeSlotUpToTwelve)
{
    const uint8_t extra[4] = {1, 2, 3, 4};
    EXPECT_EQ(AddPersonage(2, Footman, 1, extra), 1);
    EXPECT_EQ(Unit(2, 1).UnitType, Footman);
    EXPECT_EQ(Unit(2, 1).HireKind, 1);
    EXPECT_EQ(Unit(2, 1).SlotExtra[3], 4);
    EXPECT_GT(Unit(2, 1).PersonalSeed, 0);
    EXPECT_GE(Unit(2, 1).Experience, 0);
    EXPECT_LE(Unit(2, 1).Experience, 100);
    EXPECT_NE(Unit(2, 1).FormationRow, 0);
    EXPECT_EQ(Unit(2, 1).ImportantNPC, 1);
    for (int32_t s = 2; s <= 12; ++s)
        EXPECT_EQ(AddPersonageSimple(2, Footman, 0), s);
    EXPECT_EQ(Unit(2, 12).Experience, 0);
    EXPECT_EQ(Army(2).PersonageCount, 12);
    TArmyUnits before = Units(2);
    EXPECT_EQ(AddPersonageSimple(2, Footman, 0), 0);
    EXPECT_EQ(std::memcmp(&before, &Units(2), sizeof before), 0);
    // A freed slot is taken again first.
    std::memset(static_cast<void*>(&Unit(2, 4)), 0, sizeof(TPersonage));
    EXPECT_EQ(AddPersonageSimple(2, Footman, 0), 4);
}

TEST_F(AddPersonageTest, AScenarioArmysLeaderTakesTheArmysName)
{
    AddPersonageSimple(1, Footman, 0);
    EXPECT_EQ(Unit(1, 1).ImportantNPC, 1);
    EXPECT_EQ(Unit(1, 1).Name.Str(), "Grey Company");
    EXPECT_EQ(Unit(1, 1).PersonalSeed, 0);
    AddPersonageSimple(1, Footman, 0);
    EXPECT_EQ(Unit(1, 2).ImportantNPC, 0);
    AddPersonageSimple(PlayerArmy, Hero, 0);
    EXPECT_EQ(Unit(PlayerArmy, 1).ImportantNPC, 0);
    EXPECT_EQ(Unit(PlayerArmy, 1).PersonalSeed, 0); // a hero kind
    const int32_t garrison = GetGarrisonArmyIndex(1);
    AddPersonageSimple(garrison, Footman, 0);
    EXPECT_EQ(Unit(garrison, 1).ImportantNPC, 0);
}

TEST_F(AddPersonageTest, CaptureHandsTheBuildingOver)
{
    Army(1).Group = 3;
    Army(1).Banner = 11;
    Army(1).Building = 1;
    State(1).OwnerArmy = PlayerArmy;
    State(1).HireSlots[2].UnitType = static_cast<int16_t>(Footman);
    State(1).HireSlots[2].Stock = 4;
    GameClock = 12345;
    CaptureBuilding(1, 0, 0);
    EXPECT_EQ(State(1).OwnerArmy, 1);
    EXPECT_EQ(State(1).OwnerGroup, 3);
    EXPECT_EQ(State(1).Banner, 11);
    EXPECT_EQ(State(1).CaptureClock, 12345);
    EXPECT_EQ(Army(GetGarrisonArmyIndex(1)).Banner, 11);
    EXPECT_EQ(State(1).HireSlots[2].Stock, 0);
    ASSERT_EQ(MapNotices.size(), 1u);
    EXPECT_EQ(MapNotices[0].Kind, 1);
    EXPECT_EQ(MapNotices[0].A, 1);
    EXPECT_EQ(MapNotices[0].B, 1);

    // A building that keeps its garrison service keeps its hire slots; a
    // loss that is not the player's is not told.
    MapBuildings[1].HasGarrison = 1;
    State(1).HireSlots[2].Stock = 4;
    CaptureBuilding(2, 1, 0);
    EXPECT_EQ(State(1).OwnerArmy, 2);
    EXPECT_EQ(State(1).HireSlots[2].Stock, 4);
    EXPECT_EQ(MapNotices.size(), 1u);
    // Standing in no building, nothing is taken.
    Army(1).Building = 0;
    CaptureBuilding(1, 0, 0);
    EXPECT_EQ(State(1).OwnerArmy, 2);
}

TEST_F(AddPersonageTest, TotalsAndNotices)
{
    AddPersonageSimple(1, Footman, 0);
    AddPersonageSimple(1, Footman, 1);
    AddPersonageSimple(1, Footman, 4);
    Unit(1, 2).Hits = 1;
    Unit(1, 3).Hits = 0;
    Army(1).WalkSpeed = 37500;
    UpdateArmyTotals(1);
    EXPECT_EQ(Army(1).PersonageCount, 3);
    EXPECT_EQ(Army(1).LivingCount, 2);
    EXPECT_EQ(Army(1).AbleCount, 1);
    EXPECT_EQ(Army(1).RecruitCount, 1);
    EXPECT_EQ(Army(1).MercenaryCount, 1);
    EXPECT_EQ(Army(1).OtherHireCount, 0);
    EXPECT_EQ(Army(1).Strength, Unit(1, 1).Strength + Unit(1, 2).Strength);
    EXPECT_EQ(Army(1).WoundPercent, 100 - (Unit(1, 1).Hits + 1) * 100 / (Unit(1, 1).FullHits + Unit(1, 2).FullHits));
    EXPECT_FLOAT_EQ(Army(1).SpeedFactor, 3.75f);
    Unit(1, 1).Hits = 0;
    Unit(1, 2).Hits = 0;
    UpdateArmyTotals(1);
    EXPECT_EQ(Army(1).WoundPercent, 100);

    AddMapNotice(1, 4, 5, 0);
    AddMapNotice(1, 4, 5, 0);
    AddMapNotice(2, 4, 5, 6);
    AddMapNotice(2, 4, 5, 6);
    EXPECT_EQ(MapNotices.size(), 3u);
}
