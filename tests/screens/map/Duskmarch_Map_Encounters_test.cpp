// The player's encounters as the map takes them on a small zero-filled
// world: which entry of EncounterList becomes the opponent, which screen
// opens, and when arriving in the target building opens the building screen.
#include <gtest/gtest.h>

#include "model/world/World_Tables.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/map/Duskmarch_Map.h"
#include "screens/map/Duskmarch_MapHooks.h"
#include "tests/support/WorldBuilder.h"

namespace {

int32_t BattlesOpened = 0;
int32_t AssaultsOpened = 0;

class MapEncounters : public ::testing::Test {
protected:
    void SetUp() override
    {
        SizeWorldTables(6, 3);
        ResetMapScreenHooks();
        MapScreenHooks.BattleLoading_Open = [] { BattlesOpened++; };
        MapScreenHooks.AssaultScreen_Open = [] { AssaultsOpened++; };
        BattlesOpened = AssaultsOpened = 0;
        AssaultParams = NoAssaultParams;
        EncounterList.clear();
        MapFrozen = 0;
        TargetBuilding = 0;
    }
    void TearDown() override
    {
        ResetMapScreenHooks();
        EncounterList.clear();
        MapFrozen = 0;
    }
};

TEST_F(MapEncounters, OpponentOfTheList)
{
    struct TCase {
        std::vector<int32_t> List;
        int32_t GarrisonAble; // able personages of building 2's garrison
        int32_t Opponent;
    };
    const TCase cases[] = {
        {{5}, 0, 5},
        {{4, 5}, 0, 4},
        {{-2, 5}, 3, 6 + 2}, // the garrison army of building 2
        {{0, 0, 3}, 0, 3},
    };
    for (const TCase& c : cases) {
        SetUp();
        GameArmies[static_cast<size_t>(GetGarrisonArmyIndex(2))].AbleCount = static_cast<uint8_t>(c.GarrisonAble);
        EncounterList = c.List;
        EXPECT_TRUE(ProcessPlayerEncounters());
        EXPECT_EQ(BattleEnemyArmy, c.Opponent);
        EXPECT_EQ(BattlesOpened, 1);
        EXPECT_EQ(MapFrozen, 1) << "the map stands while the battle screens run";
        EXPECT_EQ(ClockRun, 0);
    }
}

TEST_F(MapEncounters, AssaultDialogWhenThePlayerAttacksAWall)
{
    EncounterList = {5};
    AssaultParams = NoAssaultParams;
    AssaultParams.Attacker = PlayerArmy;
    AssaultParams.DefenceFire = 40;
    EXPECT_TRUE(ProcessPlayerEncounters());
    EXPECT_EQ(AssaultsOpened, 1);
    EXPECT_EQ(BattlesOpened, 0);
}

TEST_F(MapEncounters, NothingToFight)
{
    EncounterList = {0, 0};
    EXPECT_FALSE(ProcessPlayerEncounters());
    EXPECT_EQ(BattleEnemyArmy, 0);
    EXPECT_TRUE(EncounterList.empty()) << "emptied entries are compacted away";
    EXPECT_EQ(BattlesOpened + AssaultsOpened, 0);
    EXPECT_EQ(MapFrozen, 0);
}

TEST_F(MapEncounters, BuildingArrival)
{
    for (TGameBuilding& b : GameBuildings)
        b.OwnerArmy = -1;
    uint8_t result = 9;
    EXPECT_FALSE(CheckBuildingArrival(0, result));
    EXPECT_EQ(result, 0);
    TargetBuilding = 2;
    EXPECT_TRUE(CheckBuildingArrival(2, result));
    EXPECT_EQ(result, 1) << "the building the player marched to opens";
    EXPECT_FALSE(CheckBuildingArrival(1, result)) << "a building passed on the way does not";
    EXPECT_EQ(result, 0);
}

} // namespace
