// The assault values of a planned assault and the silent battle of two
// world armies.
#include <gtest/gtest.h>

#include <memory>

#include "battle/Battle.h"
#include "battle/Battle_Silent.h"
#include "model/ai/AIMain_Encounters.h"
#include "tests/battle/BattleTestSupport.h"
#include "tests/support/WorldBuilder.h"

namespace {

class BattleSilentTest : public ::testing::Test, protected TEffectsFixture {
protected:
    void SetUp() override { SizeWorldTables(2, 1); }
    static TPersonage& Member(int32_t army, int32_t slot, uint8_t attackMode, int16_t attack)
    {
        TGameArmy& record = GameArmies[static_cast<size_t>(army)];
        if (record.PersonageCount < slot)
            record.PersonageCount = static_cast<uint8_t>(slot);
        TPersonage& p = ArmyUnits[static_cast<size_t>(army)][slot];
        p.UnitType = 1;
        p.AttackMode = attackMode;
        p.Stats[attackMode == mShoot ? 4 : 3] = attack;
        return p;
    }
    // A fighter of 40 health, 10 in every other statistic, ready for battle.
    static void Soldier(int32_t army, int32_t slot, int16_t attack)
    {
        TPersonage& p = Member(army, slot, mFight, attack);
        for (int i = 1; i <= 8; ++i)
            if (i != 3)
                p.Stats[i] = 10;
        p.Stats[1] = p.Hits = p.FullHits = 40;
        p.WoundLimit = 3;
        p.Strength = 100;
    }
};

} // namespace

TEST_F(BattleSilentTest, AssaultValuesCountTheDefendersFire)
{
    GameBuildings[1].AssaultA = 10;
    GameBuildings[1].AssaultB = 20;
    GameBuildings[1].AssaultC = 3;
    const int32_t garrison = ArmyCount + 1;
    Member(garrison, 1, mShoot, 12);
    Member(garrison, 2, mFight, 10).BonusSet.Include(pGuard);
    Member(garrison, 3, mFight, 30); // no guard: no fire
    // An army in the building that is not stationed there adds nothing.
    GameArmies[2].Building = 1;
    Member(2, 1, mShoot, 9);
    SetAssaultParams(1, 1);
    EXPECT_EQ(AssaultParams.Attacker, 1);
    EXPECT_EQ(AssaultParams.LastAttacker, 1);
    EXPECT_EQ(AssaultParams.AssaultB, 20);
    EXPECT_EQ(AssaultParams.AssaultC, 3);
    EXPECT_EQ(AssaultParams.DefenceFire, 10 + 12 + 3);
    // The fire stops at its 16-bit maximum.
    AssaultParams.DefenceFire = 65530;
    AddAssaultDefenders(garrison);
    EXPECT_EQ(AssaultParams.DefenceFire, 65535);
    // An inactive army has no defenders.
    GameArmies[static_cast<size_t>(garrison)].Active = 0;
    AssaultParams.DefenceFire = 0;
    AddAssaultDefenders(garrison);
    EXPECT_EQ(AssaultParams.DefenceFire, 0);
}

TEST_F(BattleSilentTest, ASilentBattleKeepsTheAssaultInProgress)
{
    for (int32_t army = 1; army <= 2; ++army)
        for (int32_t slot = 1; slot <= 2; ++slot)
            Soldier(army, slot, 12);
    AssaultParams = TAssaultParams{7, 7, 1, 2, 3, {}};
    auto sides = std::make_unique<TBattleSide[]>(2);
    RunSilentBattle(1, 2, 0, sides[0], sides[1]);
    EXPECT_EQ(AssaultParams.Attacker, 7);
    const int32_t count1 = sides[0].PersonageCount, count2 = sides[1].PersonageCount;
    EXPECT_EQ(count1, 2);
    EXPECT_EQ(count2, 2);
    // The computer fights it out: one side wins, the other is beaten.
    const uint8_t r1 = sides[0].Result, r2 = sides[1].Result;
    EXPECT_TRUE((r1 == SideWon) != (r2 == SideWon)) << int(r1) << " " << int(r2);
    EXPECT_NE(r1, SideFighting);
    EXPECT_NE(r2, SideFighting);
}

// The world's estimates fight on the battle engine: the stronger army wins
// from either side.
TEST_F(BattleSilentTest, TheStrongerArmyWinsItsSilentBattle)
{
    const struct {
        int32_t Strong; // the army with three strong fighters against one weak
    } rows[] = {{1}, {2}};
    for (const auto& row : rows) {
        SizeWorldTables(2, 1);
        for (int32_t army = 1; army <= 2; ++army)
            for (int32_t slot = 1; slot <= (army == row.Strong ? 3 : 1); ++slot)
                Soldier(army, slot, army == row.Strong ? 30 : 5);
        auto sides = std::make_unique<TBattleSide[]>(2);
        RunSilentBattle(1, 2, 0, sides[0], sides[1]);
        const uint8_t attacker = sides[0].Result, defender = sides[1].Result;
        if (row.Strong == 1) {
            EXPECT_EQ(attacker, SideWon) << row.Strong;
            EXPECT_NE(defender, SideWon) << row.Strong;
        } else {
            EXPECT_NE(attacker, SideWon) << row.Strong;
            EXPECT_EQ(defender, SideWon) << row.Strong;
        }
    }
}
