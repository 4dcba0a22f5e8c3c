#include "battle/BattleOutcome.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "model/tables/GameEnums.h"
#include "tests/model/WorldTestSupport.h"

namespace {

class BattleOutcomeTest : public TWorldTest {
protected:
    void SetUp() override
    {
        TWorldTest::SetUp();
        Type = AddType("Soldier").UnitType;
        MakeWorld(2, 0);
        Side = std::make_unique<TBattleSide>();
        std::memset(static_cast<void*>(Side.get()), 0, sizeof(TBattleSide));
        Side->Army = 1;
    }

    // Adds a personage to army 1 and lists it as the next battle personage;
    // returns its battle number.
    int32_t Enlist()
    {
        const int32_t slot = Recruit(1, Type, 0);
        const int32_t n = ++Side->StartCount;
        Side->LivingCount = n;
        Side->ArmySlot[n] = slot;
        Side->Personages[n] = Unit(1, slot);
        return n;
    }

    int32_t Type = 0;
    std::unique_ptr<TBattleSide> Side;
};

TEST_F(BattleOutcomeTest, HealthAndWoundsFollowTheBattleStateOfEachCopy)
{
    struct TCase {
        const char* Name;
        uint8_t State;
        int16_t CopyHits;
        int32_t CopyWounds;
        bool Regenerates;
        bool WoundsTaken;     // the copy's wounds and the clock reach the army personage
        int32_t ExpectedHits; // -1: full health
    };
    const TCase cases[] = {
        {"unhurt keeps its wounds, health capped", 0, 30000, 2, false, false, -1},
        {"unhurt takes the copy's health", 0, 20, 2, false, false, 20},
        {"wounded takes its wounds", 2, 15, 2, false, true, 15},
        {"fallen with 0 health comes back with 1", 5, 0, 3, false, true, 1},
        {"killed stays at 0", 6, 0, 3, false, true, 0},
        {"killed with regeneration returns at full health", 6, 0, 3, true, true, -1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        const int32_t n = Enlist();
        TPersonage& a = Unit(1, Side->ArmySlot[n]);
        a.Wounds = 1;
        a.WoundClock = 5;
        a.Experience = 100;
        if (c.Regenerates)
            a.BonusSet.Include(Regeneration);
        GameClock = 777;
        TPersonage& copy = Side->Personages[n];
        copy.BattleState = c.State;
        copy.Hits = c.CopyHits;
        copy.Wounds = c.CopyWounds;
        copy.BattleExperience = 40;
        copy.Equipment[10] = 0;
        a.Equipment[10] = 99; // a potion drunk in the battle

        ApplyBattleOutcome(*Side);

        EXPECT_EQ(a.Experience, 140);
        EXPECT_EQ(int32_t{a.Equipment[10]}, 0);
        if (c.WoundsTaken) {
            EXPECT_EQ(a.Wounds, c.CopyWounds);
            EXPECT_EQ(a.WoundsTaken, c.CopyWounds - 1);
            EXPECT_EQ(a.WoundClock, 777);
        } else {
            EXPECT_EQ(a.Wounds, 1);
            EXPECT_EQ(a.WoundClock, 5);
        }
        const int32_t full = a.Stats[statHits];
        ASSERT_GT(full, 1);
        EXPECT_EQ(int32_t{a.Hits}, c.ExpectedHits < 0 ? full : c.ExpectedHits);
        EXPECT_EQ(int32_t{Army(1).LivingCount}, a.Hits > 0 ? 1 : 0);
    }
}

TEST_F(BattleOutcomeTest, SlotsOutsideTheArmyArePassedOver)
{
    const int32_t n = Enlist();
    Side->ArmySlot[n] = 0;
    Side->Personages[n].BattleExperience = 50;
    ApplyBattleOutcome(*Side);
    Side->Army = 999;
    ApplyBattleOutcome(*Side);
    EXPECT_EQ(BuildTrophyList(*Side, false).size(), 1u);
}

class TrophyListTest : public BattleOutcomeTest {
protected:
    int32_t Item(TItemType kind, int32_t cost)
    {
        const int32_t item = AddItem(kind);
        ItemTable[item].Cost = cost;
        return item;
    }
};

TEST_F(TrophyListTest, OneEntryPerItemOrderedByValueWithAveragesInEntryZero)
{
    const int32_t ring = Item(TItemType::Ring, 100);
    const int32_t sword = Item(TItemType::Sword, 40);
    const int32_t potion = Item(TItemType::Potion, 10);
    for (int i = 0; i < 3; ++i) {
        const int32_t n = Enlist();
        Unit(1, Side->ArmySlot[n]).Equipment[1] = sword;
    }
    Unit(1, Side->ArmySlot[1]).Equipment[12] = ring;
    AddArmyItem(1, sword);
    AddArmyItem(1, potion);
    AddArmyItem(1, potion);

    const TTrophyList list = BuildTrophyList(*Side, false);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[1].Item, potion);
    EXPECT_EQ(list[1].Count, 2);
    EXPECT_EQ(list[1].Worth, 20);
    EXPECT_EQ(list[2].Item, sword);
    EXPECT_EQ(list[2].Count, 4);
    EXPECT_EQ(list[2].Worth, 40);
    EXPECT_EQ(list[3].Item, ring);
    EXPECT_EQ(list[3].Worth, 300);
    // Four swords and one ring: (160 + 100) / 5, (160 + 300) / 5.
    EXPECT_EQ(list[0].Item, 0);
    EXPECT_EQ(list[0].Count, 5);
    EXPECT_EQ(list[0].Value, 52);
    EXPECT_EQ(list[0].Worth, 92);
    EXPECT_EQ(list[0].Priority, 0);
}

TEST_F(TrophyListTest, OnlyFallenTakesTheEquipmentOfThoseWhoLeftFellOrDied)
{
    const int32_t cheap = Item(TItemType::Sword, 5);
    for (uint8_t state : {0, 2, 3, 4, 5, 6}) {
        const int32_t n = Enlist();
        Side->Personages[n].BattleState = state;
        Unit(1, Side->ArmySlot[n]).Equipment[1] = Item(TItemType::Axe, 10 + state);
    }
    Unit(1, Side->ArmySlot[1]).Equipment[2] = cheap;
    const TTrophyList fallen = BuildTrophyList(*Side, true);
    ASSERT_EQ(fallen.size(), 4u);
    EXPECT_EQ(fallen[1].Value, 13);
    EXPECT_EQ(fallen[2].Value, 15);
    EXPECT_EQ(fallen[3].Value, 16);
    EXPECT_EQ(BuildTrophyList(*Side, false).size(), 8u);
}

TEST_F(TrophyListTest, PotionsOnlyLeaveEntryZeroEmptyAndFullArmiesFit)
{
    const int32_t potion = Item(TItemType::Potion, 10);
    AddArmyItem(1, potion);
    const TTrophyList potions = BuildTrophyList(*Side, false);
    ASSERT_EQ(potions.size(), 2u);
    EXPECT_EQ(potions[0].Count, 0);
    EXPECT_EQ(potions[0].Value, 0);
    EXPECT_EQ(potions[0].Worth, 0);

    // Twelve personages with fourteen distinct items each: more than the
    // bag's count plus 168 entries.
    for (int i = 0; i < 12; ++i) {
        const int32_t n = Enlist();
        for (int j = 1; j <= 14; ++j)
            Unit(1, Side->ArmySlot[n]).Equipment[j] = Item(TItemType::Sword, 1000 - i * 14 - j);
    }
    const TTrophyList full = BuildTrophyList(*Side, false);
    ASSERT_EQ(full.size(), 2u + 168u);
    for (size_t i = 2; i < full.size(); ++i)
        EXPECT_LE(full[i - 1].Value, full[i].Value);
}

TEST_F(BattleOutcomeTest, VisibilityNeedsAnActiveVisibleArmyInTheOpenWithinRange)
{
    ArmyVisibility = 10;
    Army(0).Cell = TCellXZ{500, 500};
    struct TCase {
        const char* Name;
        uint16_t X;
        uint8_t Active, Hidden;
        int32_t Building;
        bool Visible;
    };
    const TCase cases[] = {
        {"at exactly the range", 510, 1, 0, 0, true},
        {"one cell further", 511, 1, 0, 0, false},
        {"inactive", 505, 0, 0, 0, false},
        {"hidden", 505, 1, 1, 0, false},
        {"in a building", 505, 1, 0, 3, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Army(1).Cell = TCellXZ{c.X, 500};
        Army(1).Active = c.Active;
        Army(1).Hidden = c.Hidden;
        Army(1).Building = c.Building;
        EXPECT_EQ(IsArmyVisibleToPlayer(1), c.Visible);
    }
    EXPECT_TRUE(IsArmyVisibleToPlayer(PlayerArmy));
    EXPECT_FALSE(IsArmyVisibleToPlayer(77));
}

} // namespace
