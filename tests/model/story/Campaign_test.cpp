// The hero's army carried into the next scenario of a campaign: which
// personages go along, their equipment and the army's items by the new
// scenario's switches, the gold, the calendar and the variables.
#include "model/story/Campaign.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "model/scenario/ScenarioMap_Tables.h"
#include "tests/model/GameTimeUnits.h"
#include "tests/model/WorldTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

class CampaignTest : public TWorldTest {
protected:
    int32_t Knight = 0, Soldier = 0;
    int32_t DefaultSword = 0, FineSword = 0, Amulet = 0, Helm = 0, Ring = 0;

    void SetUp() override
    {
        TWorldTest::SetUp();
        DefaultSword = AddItem(TItemType::Sword);
        FineSword = AddItem(TItemType::Sword);
        Amulet = AddItem(TItemType::Amulet);
        Helm = AddItem(TItemType::Helm);
        Ring = AddItem(TItemType::Ring);
        ItemTable[DefaultSword].Cost = 0;
        ItemTable[FineSword].Cost = 300;
        ItemTable[Amulet].Cost = 0;
        ItemTable[Helm].Cost = 40;
        ItemTable[Ring].Cost = 0;
        Knight = AddType("Knight").UnitType;
        Soldier = AddType("Soldier").UnitType;
        UnitTypes[Knight].DefaultItems[1] = DefaultSword;
        UnitTypes[Soldier].DefaultItems[1] = DefaultSword;
        MakeNpcType(1, "ser_hallan");
        MakeNpcType(2, "nobody");
        NpcTypeCount = 2;
        static_cast<TMapStory&>(MapStory) = TMapStory{};
        MakeWorld(1, 0);
    }

    static void MakeNpcType(int32_t k, const std::string& tag)
    {
        TPersonage& type = MakeUnitTypeTemplate(-k, "npc " + tag);
        type.TagName.Assign(tag);
        type.DefaultItems[1] = 1;
    }

    // The old scenario's army: the hero wearing a fine sword and an amulet,
    // wounded and experienced, and behind it the given personages.
    void MakeOldArmy()
    {
        Army(PlayerArmy).Gold = 999;
        const int32_t hero = Recruit(PlayerArmy, Knight, 5);
        TPersonage& p = Unit(PlayerArmy, hero);
        p.Equipment[1] = FineSword;
        p.Equipment[11] = Amulet;
        p.ExpLevel = 3;
        p.Experience = 500;
        p.Wounds = 2;
        AddArmyItem(PlayerArmy, Helm);
        AddArmyItem(PlayerArmy, Ring);
    }

    // The new scenario's world: its own hero alone, with the new gold, at
    // a new place.
    void StartNewScenario(int32_t gold = 300)
    {
        MakeWorld(1, 0);
        Recruit(PlayerArmy, Knight, 5);
        Army(PlayerArmy).Gold = gold;
        Army(PlayerArmy).Cell = TCellXZ{300, 310};
        Army(PlayerArmy).Pos[0] = 300.0f;
    }

    static TIntArray CarriedItems()
    {
        return TIntArray(ArmyItems[PlayerArmy].begin() + 1, ArmyItems[PlayerArmy].end());
    }
};

TEST_F(CampaignTest, WithoutSwitchesOnlyTheHeroGoesOnAsNew)
{
    MakeOldArmy();
    const int32_t follower = Recruit(PlayerArmy, Soldier, 3);
    Recruit(PlayerArmy, Soldier, 0);
    Unit(PlayerArmy, follower).Equipment[6] = Helm;
    GameClock = 5 * Day;
    SaveCampaignHero();
    EXPECT_EQ(CampaignContinued, 1);

    StartNewScenario();
    RestoreCampaignHero();
    const TGameArmy& army = Army(PlayerArmy);
    EXPECT_EQ(army.PersonageCount, 1);
    const TPersonage& hero = Unit(PlayerArmy, 1);
    EXPECT_EQ(hero.UnitType, Knight);
    EXPECT_EQ(hero.Experience, 0);
    EXPECT_EQ(hero.ExpLevel, 0);
    EXPECT_EQ(hero.Wounds, 0);
    EXPECT_EQ(V(hero.Equipment[1]), DefaultSword);
    EXPECT_EQ(V(hero.Equipment[11]), 0);
    EXPECT_EQ(V(army.ItemCount), 0);
    EXPECT_EQ(ArmyItems[PlayerArmy], TIntArray{0});
    EXPECT_EQ(V(army.Gold), 300);
    EXPECT_EQ(army.Cell.X, 300);
    EXPECT_EQ(V(army.Pos[0]), 300.0f);
    EXPECT_EQ(V(army.Building), 0);
    EXPECT_EQ(army.EnteredBuilding, 1);
    EXPECT_EQ(CampaignContinued, 0);
    EXPECT_TRUE(CampaignHero.Items.empty());
}

TEST_F(CampaignTest, CompanionsFindTheirTypeByTagInAnyCase)
{
    MakeOldArmy();
    Recruit(PlayerArmy, -1, 3);
    Recruit(PlayerArmy, -2, 3);
    SaveCampaignHero();

    // In the new scenario -1 is another personage and -2 the companion's type.
    MakeNpcType(1, "abbe_remy");
    MakeNpcType(2, "SER_HALLAN");
    StartNewScenario();
    MapStory.KeepCompanions = MapStory.KeepFollowers = 1;
    RestoreCampaignHero();
    EXPECT_EQ(Army(PlayerArmy).PersonageCount, 2);
    EXPECT_EQ(Unit(PlayerArmy, 1).UnitType, Knight);
    EXPECT_EQ(Unit(PlayerArmy, 2).UnitType, -2);
    EXPECT_EQ(Unit(PlayerArmy, 2).TagName.Str(), "SER_HALLAN"); // reloaded from its new type
}

TEST_F(CampaignTest, FollowersAndRecruitsByTheirSwitches)
{
    MakeOldArmy();
    Recruit(PlayerArmy, Soldier, 0);
    Recruit(PlayerArmy, Soldier, 4);
    Recruit(PlayerArmy, Soldier, 1); // a mercenary never goes along
    const int32_t dead = Recruit(PlayerArmy, Soldier, 0);
    Unit(PlayerArmy, dead).Hits = 0;
    SaveCampaignHero();
    StartNewScenario();
    MapStory.KeepFollowers = MapStory.KeepRecruits = 1;
    RestoreCampaignHero();
    ASSERT_EQ(Army(PlayerArmy).PersonageCount, 3);
    EXPECT_EQ(V(Unit(PlayerArmy, 2).HireKind), 4); // followers before recruits
    EXPECT_EQ(V(Unit(PlayerArmy, 3).HireKind), 0);
    EXPECT_EQ(Unit(PlayerArmy, 3).Hits, Unit(PlayerArmy, 3).Stats[statHits]);
}

TEST_F(CampaignTest, PricelessItemsAloneKeepTheAmuletAndNotTheSword)
{
    MakeOldArmy();
    SaveCampaignHero();
    StartNewScenario();
    MapStory.KeepPricelessItems = 1;
    RestoreCampaignHero();
    EXPECT_EQ(CarriedItems(), (TIntArray{Ring, Amulet}));
    EXPECT_EQ(V(Army(PlayerArmy).ItemCount), 2);
    EXPECT_EQ(V(Unit(PlayerArmy, 1).Equipment[1]), DefaultSword);
    EXPECT_EQ(V(Unit(PlayerArmy, 1).Equipment[11]), 0);
}

TEST_F(CampaignTest, TheInventoryTakesTheEquipmentOfThoseLeftBehind)
{
    MakeOldArmy();
    const int32_t follower = Recruit(PlayerArmy, Soldier, 3);
    Unit(PlayerArmy, follower).Equipment[6] = Helm;
    const int32_t dead = Recruit(PlayerArmy, Soldier, 3);
    Unit(PlayerArmy, dead).Equipment[6] = Helm;
    Unit(PlayerArmy, dead).Hits = 0;
    SaveCampaignHero();
    StartNewScenario();
    MapStory.KeepInventory = MapStory.KeepEquipment = 1;
    RestoreCampaignHero();
    // The follower's helm, not its own default sword and nothing of the dead.
    EXPECT_EQ(CarriedItems(), (TIntArray{Helm, Ring, Helm}));
}

TEST_F(CampaignTest, PricelessItemsAndTheInventoryCarryEachItemOnce)
{
    MakeOldArmy();
    const int32_t follower = Recruit(PlayerArmy, Soldier, 3);
    Unit(PlayerArmy, follower).Equipment[12] = Ring;
    Unit(PlayerArmy, follower).Equipment[6] = Helm;
    SaveCampaignHero();
    StartNewScenario();
    MapStory.KeepInventory = MapStory.KeepPricelessItems = 1;
    RestoreCampaignHero();
    TIntArray items = CarriedItems();
    std::sort(items.begin(), items.end());
    TIntArray expected{Helm, Ring, Amulet, Ring, Helm};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(items, expected); // the carried two, the hero's amulet, the follower's ring and helm
    EXPECT_EQ(std::count(items.begin(), items.end(), DefaultSword), 0);
}

TEST_F(CampaignTest, KeptGoldTheCalendarAndVariablesByName)
{
    MakeOldArmy();
    GameClock = 12 * Day + 135 * Minute;
    GameStartDate = 3 * 1440 + 600;
    ScenarioVariables = {0, 1, 7};
    ScenarioVariableNames = {u"", u"Bandits_Beaten", u"Gold_Found"};
    SaveCampaignHero();

    StartNewScenario();
    MapStory.KeepGold = 1;
    MapStory.DaysBetween = 2;
    MapStory.StartDate = 480;
    GameClock = 480 * Minute;
    ScenarioVariables = {0, 0, 5};
    ScenarioVariableNames = {u"", u"bandits_beaten", u"keep_taken"};
    RestoreCampaignHero();
    EXPECT_EQ(GameStartDate, 24960);
    EXPECT_EQ(GameClock, 480 * Minute);
    EXPECT_EQ(V(Army(PlayerArmy).Gold), 999);
    EXPECT_EQ(ScenarioVariables, (TIntArray{0, 1, 5}));
}

} // namespace
