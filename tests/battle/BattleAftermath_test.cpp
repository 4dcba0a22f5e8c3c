// A finished battle applied to the map: the winner, the end of the beaten,
// trophies and gold.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "battle/Battle.h"
#include "model/ai/AIMain_Walking.h"
#include "battle/BattleAftermath.h"
#include "model/world/World_Log.h"
#include "tests/model/WorldTestSupport.h"

namespace {

class AftermathTest : public TWorldTest {
protected:
    int32_t Soldier = 0, Boss = 0;
    std::unique_ptr<TBattle> Battle = std::make_unique<TBattle>();

    void SetUp() override
    {
        TWorldTest::SetUp();
        Battle = std::make_unique<TBattle>();
        Soldier = AddType("Soldier").UnitType;
        Boss = AddType("Boss").UnitType;
        UnitTypes[Boss].SortGroup = static_cast<uint8_t>(TSortGroup::Bosses);
        MakeWorld(2, 1);
        ResetArmyMovement();
        for (int32_t a : {0, 1, 2})
            Recruit(a, Soldier, 0);
    }

    // Side s of the battle as army `army` with every personage on the field,
    // in the given end state.
    void Side(int32_t s, int32_t army, uint8_t result, uint8_t state = 0)
    {
        TBattleSide& side = Battle->Sides[s];
        side.Army = army;
        side.Result = result;
        side.StartCount = side.PersonageCount = side.LivingCount = Army(army).PersonageCount;
        for (int32_t n = 1; n <= side.StartCount; ++n) {
            side.Personages[n] = Unit(army, n);
            side.Personages[n].BattleState = state;
            if (state >= 5)
                side.Personages[n].Hits = 0;
            side.ArmySlot[n] = n;
            side.Living[n] = n;
        }
    }

    static int32_t Potion(int32_t cost, int32_t unique)
    {
        const int32_t item = AddItem(TItemType::Potion);
        ItemTable[item].Cost = cost;
        ItemTable[item].Unique = unique;
        return item;
    }
    static int32_t Ring(int32_t cost, int32_t unique)
    {
        const int32_t item = AddItem(TItemType::Ring);
        ItemTable[item].Cost = cost;
        ItemTable[item].Unique = unique;
        return item;
    }
    static void Carry(int32_t army, int32_t item, int copies)
    {
        for (int k = 0; k < copies; ++k)
            AddArmyItem(army, item);
    }
    static int Count(int32_t item)
    {
        return static_cast<int>(std::count(BattleRewards.Trophies.begin(), BattleRewards.Trophies.end(), item));
    }
};

} // namespace

TEST_F(AftermathTest, TheWinner)
{
    struct TCase {
        const char* Name;
        int32_t Army1, Army2;
        uint8_t Result1, Result2, PlayerEnds, Fast;
        bool BossOn2;
        int32_t Defeated; // the army removed from the map, -1 none
    };
    const TCase cases[] = {
        {"side 1 won", 1, 2, 0, 3, 0, 0, false, 2},
        {"side 2 won", 1, 2, 3, 0, 0, 0, false, 1},
        {"both won: side 2", 1, 2, 0, 0, 0, 0, false, 1},
        {"undecided between computers", 1, 2, 1, 1, 0, 0, false, -1},
        {"undecided, the player loses", 0, 2, 1, 1, 0, 0, false, 0},
        {"the player ended it: won", 0, 2, 3, 0, 1, 0, false, 2},
        {"fast win over a boss is lost", 0, 2, 0, 3, 0, 1, true, 0},
        {"fast win over no boss", 0, 2, 0, 3, 0, 1, false, 2},
        {"slow win over a boss", 0, 2, 0, 3, 0, 0, true, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        if (c.BossOn2)
            Recruit(c.Army2, Boss, 0);
        Side(1, c.Army1, c.Result1);
        Side(2, c.Army2, c.Result2);
        Battle->FastBattle = c.Fast;
        AI_GetBattleResult(*Battle, c.PlayerEnds);
        for (int32_t a : {c.Army1, c.Army2}) {
            EXPECT_EQ(Army(a).Defeated, a == c.Defeated ? 1 : 0) << "army " << a;
            EXPECT_EQ(Army(a).Active, a == c.Defeated ? 0 : 1) << "army " << a;
        }
        EXPECT_EQ(DayBattleCount, c.Army1 == PlayerArmy ? 1 : 0);
    }
}

TEST_F(AftermathTest, PotionsGiveTwoTrophiesAndPoolTheRest)
{
    const int32_t potion = Potion(10, 1);
    Carry(2, potion, 3);
    BattleTrophies[1] = Ring(5, 1); // a pool of 10 pays for it
    BattleTrophiesMultiplier[1] = 1;
    Side(1, 1, 0);
    Side(2, 2, 3, 5);
    AI_GetBattleResult(*Battle, 0);
    EXPECT_EQ(Count(potion), 2);
    EXPECT_EQ(Count(BattleTrophies[1]), 1);
    EXPECT_EQ(Army(1).ItemCount, 3);
    EXPECT_EQ(Army(2).ItemCount, 0);
    EXPECT_EQ(ArmyItems[2].size(), 1u);
}

TEST_F(AftermathTest, WhatTheWinnerHasPlentyOfGoesToThePools)
{
    // The winner carries the ring five times: the loser's one only feeds
    // pool 3, whose trophy is too dear; pool 2 is too small as well, and the
    // sum reaches pool 1's trophy.
    const int32_t ring = Ring(100, 3);
    Carry(1, ring, 5);
    Carry(2, ring, 1);
    BattleTrophies[3] = Ring(500, 3);
    BattleTrophies[2] = Ring(200, 3);
    BattleTrophies[1] = Ring(90, 3);
    for (int k = 1; k <= 3; ++k)
        BattleTrophiesMultiplier[k] = 1;
    Side(1, 1, 0);
    Side(2, 2, 3, 5);
    AI_GetBattleResult(*Battle, 0);
    EXPECT_EQ(BattleRewards.Trophies, (std::vector<uint16_t>{static_cast<uint16_t>(BattleTrophies[1])}));

    // A winner without it takes the ring itself.
    TearDown();
    SetUp();
    const int32_t again = Ring(100, 3);
    Carry(2, again, 1);
    Side(1, 1, 0);
    Side(2, 2, 3, 5);
    AI_GetBattleResult(*Battle, 0);
    EXPECT_EQ(Count(again), 1);
}

TEST_F(AftermathTest, TheLoserLosesTheShareOfItsGoldThatCannotFight)
{
    for (int k = 0; k < 3; ++k)
        Recruit(2, Soldier, 0);
    Army(2).Gold = 1000;
    Army(1).Gold = 5;
    Side(1, 1, 0);
    Side(2, 2, 3, 5);
    Battle->Sides[2].Personages[1].BattleState = 0; // one stays able
    Battle->Sides[2].Personages[1].Hits = Unit(2, 1).Hits;
    AI_GetBattleResult(*Battle, 0);
    EXPECT_EQ(Army(2).AbleCount, 1);
    EXPECT_EQ(BattleRewards.TrophyGold, 750);
    EXPECT_EQ(Army(2).Gold, 250);
    EXPECT_EQ(Army(1).Gold, 755);
    EXPECT_EQ(BattleRewards.Outcome, 3);

    // Nobody left at all: all of it.
    TearDown();
    SetUp();
    std::memset(static_cast<void*>(&Unit(2, 1)), 0, sizeof(TPersonage));
    Army(2).PersonageCount = 0;
    Army(2).Gold = 400;
    Side(1, 1, 0);
    Side(2, 2, 3);
    AI_GetBattleResult(*Battle, 0);
    EXPECT_EQ(BattleRewards.TrophyGold, 400);
    EXPECT_EQ(Army(2).Gold, 0);
}

TEST_F(AftermathTest, ABeatenGarrisonIsEmptiedAndTheAssaultEnds)
{
    const int32_t garrison = GetGarrisonArmyIndex(1);
    Recruit(garrison, Soldier, 0);
    Recruit(garrison, Soldier, 0);
    State(1).OwnerArmy = 2;
    AssaultParams = TAssaultParams{1, 7, 50, 30, 4, {}};
    Side(1, 1, 0);
    Side(2, garrison, 3, 5);
    EXPECT_EQ(AI_GetBattleResult(*Battle, 0), 0);
    EXPECT_EQ(Army(garrison).PersonageCount, 0);
    EXPECT_EQ(Army(garrison).AbleCount, 0);
    EXPECT_EQ(Unit(garrison, 1).UnitType, 0);
    for (const auto& row : Army(garrison).Formation)
        for (int32_t cell : row)
            EXPECT_EQ(cell, 0);
    EXPECT_EQ(Army(garrison).Active, 1); // a garrison is not taken off the map
    EXPECT_EQ(State(1).OwnerArmy, 2);    // nor its building captured here
    EXPECT_EQ(AssaultParams.Attacker, NoAssault);
    EXPECT_EQ(AssaultParams.LastAttacker, 1);
    EXPECT_EQ(AssaultParams.AssaultC, 4);
    EXPECT_EQ(AssaultParams.DefenceFire, 0);
    EXPECT_EQ(AssaultParams.AssaultB, 0);
}

TEST_F(AftermathTest, ABadArmyNumberIsReportedNotFollowed)
{
    static std::vector<std::string> logged;
    logged.clear();
    SetWorldLogSink([](const std::string& line) { logged.push_back(line); });
    Side(1, 1, 0);
    Side(2, 2, 3);
    Battle->Sides[2].Army = 99;
    AI_GetBattleResult(*Battle, 0);
    SetWorldLogSink(nullptr);
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged[0].rfind("Main AI Error: AI_GetBattleResult, time ", 0), 0u);
    EXPECT_EQ(Army(1).Gold, 0);
}
