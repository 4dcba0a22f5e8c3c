// The economy: support and upkeep, debts and dismissal, building income,
// treasuries, tribute, and the army economy recount.
#include <gtest/gtest.h>

#include "model/world/World_Economy.h"
#include "tests/model/WorldTestSupport.h"

namespace {

class EconomyTest : public TWorldTest {
protected:
    int32_t Footman = 0, Hero = 0;

    void SetUp() override
    {
        TWorldTest::SetUp();
        Hero = AddType("Hero").UnitType; // type 1: a hero kind
        Footman = AddType("Footman").UnitType;
        UnitTypes[Footman].Cost = 100;
        RecruitMaintenance = 10;
        MercenaryMaintenance = 20;
        LeaderMaintenance = 50;
        DifficultyRules[2].HeroIncome = 100;
        DifficultyRules[2].EnemyIncome = 100;
        MakeWorld(2, 4);
    }

    void OwnBuilding(int32_t b, int32_t army, TBuildingType type, uint8_t incomeBonus)
    {
        State(b).OwnerArmy = army;
        MapBuildings[b].BuildingType = static_cast<uint8_t>(type);
        MapBuildings[b].IncomeBonus = incomeBonus;
    }
};

} // namespace

TEST_F(EconomyTest, SupportCoversSomeRecruitsAndTheRestPay)
{
    MapArmies[1].SupportBase = 2;
    MapArmies[1].DailyIncome = 5;
    Recruit(1, Footman, 0, 4);
    Recruit(1, Footman, 1); // a mercenary pays whatever the support
    CalcArmyEconomy(1, -1);
    EXPECT_EQ(Army(1).SupportLimit, 2);
    EXPECT_EQ(Army(1).IncomeBase, 5);
    EXPECT_EQ(Army(1).Upkeep, -40);
    EXPECT_EQ(Army(1).DailyBalance, -35);
    EXPECT_FALSE(HasFreeSupport(1));

    Army(1).Gold = 100;
    DailyWork(true);
    EXPECT_EQ(Army(1).Gold, 60);
    // Without the day mark nobody is paid.
    DailyWork(false);
    EXPECT_EQ(Army(1).Gold, 60);
}

TEST_F(EconomyTest, AShortPurseBecomesDebtAndComputerArmiesDismissDebtors)
{
    for (int32_t a : {PlayerArmy, 1}) {
        Recruit(a, Footman, 0, 4);
        Army(a).SupportLimit = 2;
        Army(a).IncomeBase = 3;
        Army(a).Gold = 15;
    }
    DailyWork(true);
    // Slots 1, 2 free; slot 3 paid (gold 5 left); slot 4 short by 5.
    EXPECT_EQ(Army(PlayerArmy).Gold, 0);
    EXPECT_EQ(Unit(PlayerArmy, 3).UpkeepDebt, 0);
    EXPECT_EQ(Unit(PlayerArmy, 4).UpkeepDebt, 5);
    EXPECT_EQ(Army(PlayerArmy).PersonageCount, 4);
    // Debt 5 above the income base 3: the computer army lets slot 4 go.
    EXPECT_EQ(Army(1).Gold, 0);
    EXPECT_EQ(Army(1).PersonageCount, 3);
    EXPECT_EQ(Unit(1, 4).UnitType, 0);

    // Paid in full the next day, the debt is cleared.
    Army(PlayerArmy).Gold = 100;
    DailyWork(true);
    EXPECT_EQ(Unit(PlayerArmy, 4).UpkeepDebt, 0);
}

TEST_F(EconomyTest, DismissalWalksEveryIndebtedSlot)
{
    Recruit(1, Footman, 1, 5);
    Army(1).Gold = 0;
    Army(1).IncomeBase = 0;
    DailyWork(true);
    // The leader stays whatever it owes.
    EXPECT_EQ(Army(1).PersonageCount, 1);
    EXPECT_EQ(Unit(1, 1).UpkeepDebt, 20);
}

TEST_F(EconomyTest, OwnersPayTheirPaidGarrisons)
{
    OwnBuilding(1, 1, TBuildingType::Castle, 0);
    MapBuildings[1].HasActions = 1;
    const int32_t g = GetGarrisonArmyIndex(1);
    Recruit(g, Footman, 0);
    Recruit(g, Footman, 1, 2);
    CalcArmyEconomy(1, -1);
    EXPECT_EQ(Army(1).Upkeep, -40);
    EXPECT_EQ(Army(1).IncomeBase, 0);
    Army(1).Gold = 30;
    DailyWork(true);
    // The recruit costs nothing; the first mercenary is paid, the second
    // is 10 short, above the owner's income base, and leaves.
    EXPECT_EQ(Army(1).Gold, 0);
    EXPECT_EQ(Army(g).PersonageCount, 2);
    EXPECT_EQ(Unit(g, 2).UpkeepDebt, 0);
}

TEST_F(EconomyTest, BuildingIncomeGoesToOwners)
{
    DifficultyRules[2].HeroIncome = 50;
    OwnBuilding(1, PlayerArmy, TBuildingType::Castle, 20);
    OwnBuilding(2, 1, TBuildingType::Village, 10);
    OwnBuilding(3, 1, TBuildingType::Village, 10);
    State(3).TaxClock = 5;
    OwnBuilding(4, 1, TBuildingType::Farm, 10);
    State(4).Occupied = 1;
    GameClock = 4;
    DailyWork(false);
    EXPECT_EQ(Army(PlayerArmy).Gold, 10);
    EXPECT_EQ(Army(1).Gold, 10); // the village still taxed and the occupied farm pay nothing
    GameClock = 5;
    DailyWork(false);
    EXPECT_EQ(Army(1).Gold, 30);
}

TEST_F(EconomyTest, ArmyEconomyCountsOwnedBuildings)
{
    MapArmies[1].SupportBase = 1;
    MapArmies[1].DailyIncome = 7;
    DifficultyRules[2].EnemySupport = 2;
    Army(1).Behavior = static_cast<uint8_t>(TArmyBehavior::Peasant);
    OwnBuilding(1, 1, TBuildingType::Village, 10);
    MapBuildings[1].Income = 3;
    OwnBuilding(2, 1, TBuildingType::Castle, 20);
    MapBuildings[2].Income = 4; // a castle supports no peasants
    OwnBuilding(3, 1, TBuildingType::Farm, 10);
    BuildingTexts[3].Name.clear(); // not on the map
    CalcArmyEconomy(1, -1);
    EXPECT_EQ(Army(1).FarmCount, 1);
    EXPECT_EQ(Army(1).StrongholdCount, 1);
    EXPECT_EQ(Army(1).SupportLimit, 6);
    EXPECT_EQ(Army(1).IncomeBase, 37);

    // The first army is held to the scenario's cap, the second to 12.
    MapStory.SupportCap = 4;
    MapArmies[2].SupportBase = 30;
    CalcArmyEconomy(1, 2);
    EXPECT_EQ(Army(1).SupportLimit, 4);
    EXPECT_EQ(Army(2).SupportLimit, 12);
}

TEST_F(EconomyTest, PlayerEconomyFromTheHeroStartBlock)
{
    MapStory.Heroes[1].SupportBase = 3;
    MapStory.Heroes[1].DailyIncome = 9;
    MapStory.Heroes[2].SupportBase = 1;
    MapStory.Heroes[2].DailyIncome = 4;
    DifficultyRules[2].HeroSupport = 1;
    Recruit(PlayerArmy, Hero, 2);
    CalcArmyEconomy(PlayerArmy, -1);
    EXPECT_EQ(Army(PlayerArmy).SupportLimit, 4);
    EXPECT_EQ(Army(PlayerArmy).IncomeBase, 9);
    // A leader that is no hero kind: the game's hero kind gives the block.
    Unit(PlayerArmy, 1).UnitType = 50;
    HeroKind = 2;
    CalcArmyEconomy(PlayerArmy, -1);
    EXPECT_EQ(Army(PlayerArmy).SupportLimit, 2);
    EXPECT_EQ(Army(PlayerArmy).IncomeBase, 4);
    HeroKind = 0;
    CalcArmyEconomy(PlayerArmy, -1);
    EXPECT_EQ(Army(PlayerArmy).SupportLimit, 1);
    EXPECT_EQ(Army(PlayerArmy).IncomeBase, 0);
}

TEST_F(EconomyTest, SupportByBehaviourAndBuildingType)
{
    using B = TBuildingType;
    using A = TArmyBehavior;
    struct TCase {
        A Behavior;
        B Type;
        bool Draws;
    };
    const TCase cases[] = {
        {A::Hero, B::Fort, true},         {A::Watch, B::Village, false},  {A::Monk, B::Chapel, true},
        {A::Chruch, B::Village, false},   {A::Trader, B::Camp, true},     {A::Traveler, B::Town, false},
        {A::Bandits, B::Cave, true},      {A::Bandits, B::Altar, false},  {A::Heretic, B::Altar, true},
        {A::Peasant, B::Farm, true},      {A::Peasant, B::Tavern, false}, {A::Courier, B::Town, false},
        {A::Undeads, B::Cementry, false},
    };
    MapBuildings[1].Income = 5;
    for (const TCase& c : cases) {
        Army(1).Behavior = static_cast<uint8_t>(c.Behavior);
        MapBuildings[1].BuildingType = static_cast<uint8_t>(c.Type);
        EXPECT_EQ(GetBuildingSupport(1, 1), c.Draws ? 5 : 0) << int(c.Behavior) << " " << int(c.Type);
    }
}

namespace {

// Building 1 a village, buildings 2 and 3 castles of army 1 covering it.
class TreasuryTest : public EconomyTest {
protected:
    void SetUp() override
    {
        EconomyTest::SetUp();
        MapStory.TreasuryMode = 1;
        CastleGoldReservePercent = 500;
        VillageGoldReservePercent = 200;
        OtherBuildingGoldReservePercent = 100;
        OwnBuilding(1, 1, TBuildingType::Village, 20);
        MapBuildings[1].HasGarrison = 1;
        for (int32_t b : {2, 3}) {
            OwnBuilding(b, 1, TBuildingType::Castle, 100);
            MapBuildings[b].HasTreasury = 1;
            MapBuildings[b].Cell = {100, static_cast<int16_t>(100 + 10 * (b - 1))};
        }
        MapBuildings[1].Cell = {100, 100};
        MapBuildings[3].Cell = {100, 90};
        Army(GetGarrisonArmyIndex(2)).Strength = 100;
        Army(GetGarrisonArmyIndex(3)).Strength = 300;
        BuildingNeighbours[1] = {2, 3};
    }
};

} // namespace

TEST_F(TreasuryTest, IncomeGoesIntoTreasuriesAndTributeToTheStrongestStronghold)
{
    State(3).Treasury = 30;
    DailyWork(true);
    EXPECT_EQ(State(2).Treasury, 100);
    EXPECT_EQ(State(2).StoreB, 14); // (0 x 6 + 100) div 7
    EXPECT_EQ(State(1).StoreB, 2);  // the village's 20 averaged
    // The village's 20 went to castle 3 (strength 300 at 10 cells).
    EXPECT_EQ(State(1).Treasury, 0);
    EXPECT_EQ(State(1).CapturedFrom, 3);
    EXPECT_EQ(State(3).Treasury, 150);
    EXPECT_EQ(State(3).StoreA, 2);
    EXPECT_EQ(Army(GetGarrisonArmyIndex(1)).Gold, 0);
    EXPECT_EQ(Army(1).Gold, 0); // nothing is paid to the owner directly

    // Without the day mark the stores add up instead.
    DailyWork(false);
    EXPECT_EQ(State(2).StoreB, 114);
    EXPECT_EQ(State(3).StoreA, 22);
}

TEST_F(TreasuryTest, AFullTreasuryIsCutToItsReserve)
{
    State(2).Treasury = 900;
    State(2).StoreB = 70;
    DailyWork(true);
    EXPECT_EQ(State(2).Treasury, 500);
    EXPECT_EQ(State(2).StoreB, 70);
}

TEST_F(TreasuryTest, NoFriendlyStrongholdKeepsTheTreasuryAtHome)
{
    State(2).OwnerArmy = 2;
    State(3).OwnerArmy = 2;
    State(1).CapturedFrom = 3;
    DailyWork(true);
    EXPECT_EQ(State(1).CapturedFrom, 0);
    EXPECT_EQ(State(1).Treasury, 20);
    EXPECT_EQ(Army(GetGarrisonArmyIndex(1)).Gold, 20);
}

TEST_F(TreasuryTest, TreasuriesSaturateInsteadOfWrapping)
{
    DifficultyRules[2].EnemyIncome = 1000; // castle income 1000, reserve 5000
    CastleGoldReservePercent = 5000;       // reserve 50000: beyond 16 bits
    State(2).Treasury = 32000;
    DailyWork(true);
    EXPECT_EQ(State(2).Treasury, 32767);
}
