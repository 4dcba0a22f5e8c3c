// Prices and building services: trade prices, hire prices, healing, the
// price factor, service flags, schedule marks and pocket money.
#include <gtest/gtest.h>

#include <algorithm>

#include "model/world/Prices.h"
#include "model/world/World_Economy.h"
#include "tests/model/WorldTestSupport.h"

namespace {

class PricesTest : public TWorldTest {
protected:
    int32_t Blade = 0, Spectre = 0, Trophy = 0, Curio = 0;
    int32_t Footman = 0;

    void SetUp() override
    {
        TWorldTest::SetUp();
        Blade = AddItem(TItemType::Sword);
        ItemTable[Blade].Cost = 100;
        Spectre = AddItem(TItemType::Spectral);
        ItemTable[Spectre].Cost = 1;
        Trophy = AddItem(TItemType::Item);
        ItemTable[Trophy].Cost = 100;
        Curio = AddItem(TItemType::Item);
        ItemTable[Curio].Cost = 100;
        BattleTrophies[2] = Trophy;
        Footman = AddType("Footman").UnitType;
        UnitTypes[Footman].Cost = 100;
        MakeWorld(2, 1);
        // Relation 0 between army 1 and building 1: owned by group 0.
        State(1).OwnerGroup = 0;
        MapBuildings[1].TradeKinds[1] = 1;
        DifficultyRules[2].SellIncorrectItem = 2;
    }

    // Building 1 owned by army 2, which army 1 regards with the attitude
    // (both ways): 100 gives relation 5.
    void OwnedByArmyTwo(int16_t attitude)
    {
        State(1).OwnerArmy = 2;
        SetMutualAttitude(1, 2, attitude);
    }
    TPersonage& Patient(int16_t hits, int32_t wounds)
    {
        Recruit(1, Footman, 0);
        TPersonage& p = Unit(1, 1);
        p.Hits = hits;
        p.Wounds = wounds;
        return p;
    }
};

} // namespace

TEST_F(PricesTest, TradePrices)
{
    struct TCase {
        const char* Name;
        uint8_t Mode;
        int32_t Item;
        uint8_t Percent;
        int16_t Attitude; // towards the owner army; 0 keeps the group owner
        uint8_t Deals;
        int32_t SellIncorrect;
        uint8_t DayPeriod;
        int32_t Expected;
    };
    const TCase cases[] = {
        {"buy", TradeBuy, 0, 100, 0, 1, 2, 1, 100},
        {"sell", TradeSell, 0, 100, 0, 1, 2, 1, 70},
        {"sell where the kind is not dealt in", TradeSell, 0, 100, 0, 0, 2, 1, 35},
        {"missing SellIncorrectItem divides by 1", TradeSell, 0, 100, 0, 0, 0, 1, 70},
        {"buy at relation 5", TradeBuy, 0, 100, 100, 1, 2, 1, 75},
        {"buy at relation -5", TradeBuy, 0, 100, -100, 1, 2, 1, 125},
        {"buy at night", TradeBuy, 0, 100, 0, 1, 2, 6, 110},
        {"sell at night", TradeSell, 0, 100, 0, 1, 2, 5, 64},
        {"plain price", 7, 0, 100, 0, 1, 2, 6, 100},
        {"a priceless kind costs 1", TradeBuy, 1, 100, 0, 1, 2, 1, 1},
        {"an item that is no trophy sells in full", TradeSell, 3, 100, 0, 0, 2, 1, 70},
    };
    for (const TCase& c : cases) {
        const int32_t item = c.Item == 0 ? Blade : c.Item == 1 ? Spectre : Curio;
        MapBuildings[1].TradePercent[1] = c.Percent;
        MapBuildings[1].TradeKinds[1] = c.Deals;
        DifficultyRules[2].SellIncorrectItem = c.SellIncorrect;
        DayPeriod = c.DayPeriod;
        State(1).OwnerArmy = -1;
        if (c.Attitude != 0)
            OwnedByArmyTwo(c.Attitude);
        EXPECT_EQ(GetItemTradePrice(c.Mode, item, 1, 1), c.Expected) << c.Name;
    }
}

// Selling damps high percents by a square root: 400 percent sells at
// twice the plain level, not four times.
TEST_F(PricesTest, HighPercentsSellDamped)
{
    EXPECT_EQ(GetSellLevel(100, 0), 7000);
    EXPECT_EQ(GetSellLevel(400, 0), 14000);
    // The stored percents are bytes: a steed at 255 percent.
    const int32_t horse = AddItem(TItemType::Horse);
    ItemTable[horse].Cost = 100;
    MapBuildings[1].TradeKinds2[1] = 1;
    MapBuildings[1].TradePercent5 = 255;
    // sqrt(2.55) x 10000 = 15968.7 -> 15969; x 0.7 = 11178.3 -> 11178: 111.78 -> 112.
    EXPECT_EQ(GetItemTradePrice(TradeSell, horse, 1, 1), 112);
    EXPECT_EQ(GetItemTradePrice(TradeBuy, horse, 1, 1), 255);
}

TEST_F(PricesTest, TrophiesSellByTheKindsTheBuildingDealsIn)
{
    MapBuildings[1].TradeKinds[1] = 0;
    EXPECT_EQ(GetItemTradePrice(TradeSell, Trophy, 1, 1), 35);
    for (int k : {1, 2, 3, 8, 5})
        MapBuildings[1].TradeKinds[k] = 1;
    // (3500 + 3500 x 5000 / 10000) = 5250: 52.5 -> 52.
    EXPECT_EQ(GetItemTradePrice(TradeSell, Trophy, 1, 1), 52);
    for (int k : {6, 7, 9, 10, 11})
        MapBuildings[1].TradeKinds[k] = 1;
    EXPECT_EQ(GetItemTradePrice(TradeSell, Trophy, 1, 1), 70);
}

TEST_F(PricesTest, MerchantLeaderTradesBetter)
{
    BonusValues[tMerchant] = 10;
    Recruit(1, Footman, 0);
    Unit(1, 1).BonusSet.Include(tMerchant);
    EXPECT_EQ(GetItemTradePrice(TradeBuy, Blade, 1, 1), 90);
    EXPECT_EQ(GetItemTradePrice(TradeSell, Blade, 1, 1), 77);
}

TEST_F(PricesTest, PriceFactorFollowsThePlayersGold)
{
    DifficultyRules[2].GoldCorrection = 100;
    struct TCase {
        int32_t Gold;
        int32_t Price;
        int32_t Raised, Lowered;
    };
    const TCase cases[] = {
        {0, 100, 100, 100},      {1999, 100, 100, 100}, // below one step of the divisor's fifth
        {2000, 1000, 1033, 967}, {10000, 100, 150, 50}, {20000, 100, 189, 11},
    };
    for (const TCase& c : cases) {
        std::fill(std::begin(HourlyGoldSamples), std::end(HourlyGoldSamples), c.Gold);
        EXPECT_EQ(ApplyPriceFactor(true, c.Price), c.Raised) << c.Gold;
        EXPECT_EQ(ApplyPriceFactor(false, c.Price), c.Lowered) << c.Gold;
    }
    // The player's own prices go through it.
    std::fill(std::begin(HourlyGoldSamples), std::end(HourlyGoldSamples), 10000);
    EXPECT_EQ(GetItemTradePrice(TradeBuy, Blade, PlayerArmy, 1), 150);
    EXPECT_EQ(GetItemTradePrice(TradeSell, Blade, PlayerArmy, 1), 35);
}

TEST_F(PricesTest, HirePrices)
{
    RecruitHiring = 100;
    MercenaryHiring = 150;
    LeaderHiring = 200;
    State(1).HireSlots[1].UnitType = static_cast<int16_t>(Footman);
    struct TCase {
        uint8_t HireKind;
        int16_t Attitude;
        int32_t Expected;
    };
    const TCase cases[] = {{0, 0, 100}, {1, 0, 150}, {2, 0, 200}, {3, 0, 0}, {0, 100, 75}, {0, -100, 125}};
    for (const TCase& c : cases) {
        MapBuildings[1].HireSlots[1].HireKind = c.HireKind;
        State(1).OwnerArmy = -1;
        if (c.Attitude != 0)
            OwnedByArmyTwo(c.Attitude);
        EXPECT_EQ(GetHirePrice(1, 1, 1), c.Expected) << int(c.HireKind) << " " << c.Attitude;
    }
    MapBuildings[1].HireSlots[1].HireKind = 0;
    State(1).OwnerArmy = -1;
    BonusValues[tFeudal] = 20;
    Recruit(1, Footman, 0);
    Unit(1, 1).BonusSet.Include(tFeudal);
    EXPECT_EQ(GetHirePrice(1, 1, 1), 80);
}

TEST_F(PricesTest, HealingCost)
{
    PeasantHealing = 10;
    RecruitHealing = 20;
    NobleHealing = 40;
    UnitLevelPercent = 10;
    HeavyWoundsPercent = 200;
    HealingCostPercent = 100;
    MinHealingCost = 2;
    TPersonage& p = Patient(50, 3);
    ASSERT_EQ(p.Stats[1], 50);
    ASSERT_EQ(p.WoundLimit, 4);
    // base 110000; one wound from the limit: 200 % of it, halved: 110000.
    EXPECT_EQ(GetHealingCost(1, 1, HealPriceOnly), 13);
    p.Wounds = 2; // 2/4 of the base, halved: 27500
    EXPECT_EQ(GetHealingCost(1, 1, HealPriceOnly), 5);
    p.Wounds = 0;
    p.Hits = 25; // half the health: 55000, halved 27500
    EXPECT_EQ(GetHealingCost(1, 1, HealPriceOnly), 5);
    p.BonusSet.Include(pNoble); // base 440000
    EXPECT_EQ(GetHealingCost(1, 1, HealPriceOnly), 13);

    p.Hits = 50;
    EXPECT_EQ(GetHealingCost(1, 1, HealBoth), 0);
    p.Hits = 0;
    p.Wounds = 2;
    EXPECT_EQ(GetHealingCost(1, 1, HealBoth), 0);
    EXPECT_EQ(p.Wounds, 2);
}

TEST_F(PricesTest, HealingIsPaidOrNothingChanges)
{
    PeasantHealing = 10;
    HealingCostPercent = 100;
    TPersonage& p = Patient(25, 1);
    const int32_t cost = GetHealingCost(1, 1, HealPriceOnly);
    ASSERT_GT(cost, 0);
    Army(1).Gold = cost - 1;
    const TPersonage before = p;
    EXPECT_EQ(GetHealingCost(1, 1, HealBoth), cost);
    EXPECT_EQ(std::memcmp(&before, &p, sizeof p), 0);
    EXPECT_EQ(Army(1).Gold, cost - 1);

    Army(1).Gold = cost + 5;
    EXPECT_EQ(GetHealingCost(1, 1, HealHealth), cost);
    EXPECT_EQ(p.Hits, p.Stats[1]);
    EXPECT_EQ(p.Wounds, 1);
    EXPECT_EQ(Army(1).Gold, 5);
    Army(1).Gold = 1000;
    const int32_t woundCost = GetHealingCost(1, 1, HealWounds);
    EXPECT_EQ(p.Wounds, 0);
    EXPECT_EQ(Army(1).Gold, 1000 - woundCost);

    // Broken records price without dividing by zero.
    p.Wounds = 1;
    p.WoundLimit = 0;
    p.Stats[1] = 0;
    p.Hits = 5;
    EXPECT_GE(GetHealingCost(1, 1, HealPriceOnly), 0);
}

TEST_F(PricesTest, BuildingServices)
{
    TMapBuilding& record = MapBuildings[1];
    TGameBuilding& state = State(1);
    record.ServiceC = 1;
    state.HealingOpen = 1;
    Recruit(1, Footman, 0);
    EXPECT_EQ(GetBuildingServices(1, 1), bsHealingOffered);
    Unit(1, 1).Hits = 3;
    EXPECT_EQ(GetBuildingServices(1, 1), bsHealingNeeded);
    record.ServiceC = 0;

    MapStory.TreasuryMode = 1;
    record.HasGarrison = 1;
    state.OwnerArmy = 1;
    state.Treasury = 10;
    state.TaxClock = 100;
    GameClock = 50;
    EXPECT_EQ(GetBuildingServices(1, 1), bsTreasury | bsTaxesLater);
    GameClock = 100;
    EXPECT_EQ(GetBuildingServices(1, 1), bsTreasury | bsTaxesDue);
    // The player collects taxes only with a feudal leader.
    state.OwnerArmy = PlayerArmy;
    Recruit(PlayerArmy, Footman, 0);
    EXPECT_EQ(GetBuildingServices(1, PlayerArmy), bsTreasury);
    Unit(PlayerArmy, 1).BonusSet.Include(tFeudal);
    EXPECT_EQ(GetBuildingServices(1, PlayerArmy), bsTreasury | bsTaxesDue);

    // Hostility towards the owner.
    state.OwnerArmy = 2;
    state.Treasury = 0;
    record.ServiceD = 1;
    SetMutualAttitude(1, 2, -40);
    EXPECT_EQ(GetBuildingServices(1, 1), bsHostileService | bsHostileGarrison);

    // Upgrades the garrison does not provide, for the record's own owner.
    record.HasGarrison = 0;
    record.ServiceD = 0;
    record.HasTreasury = 1;
    record.OwnerArmy = 1;
    state.OwnerArmy = 1;
    const int32_t garrison = GetGarrisonArmyIndex(1);
    Unit(garrison, Recruit(garrison, Footman, 0)).GarrisonUnit = 1;
    Unit(garrison, Recruit(garrison, Footman, 0)).GarrisonUnit = 1;
    Unit(garrison, Recruit(garrison, Footman, 0)).GarrisonUnit = 0;
    EXPECT_EQ(GetBuildingServices(1, 1), 0x3E00);
}

TEST_F(PricesTest, ScheduleMarks)
{
    struct TCase {
        int64_t Minute;
        int64_t Day, Hour;
    };
    const TCase cases[] = {
        {539, 540, 540},          // 08:59: 09:00 of the same day, next hour 09:00
        {540, 1980, 600},         // 09:00: 09:00 of the next day
        {600, 1980, 660},         // 10:00: the hour mark is 11:00
        {1439, 1980, 1440},       // 23:59
        {1440 + 539, 1980, 1980}, // the next day's 08:59
    };
    for (const TCase& c : cases) {
        GameClock = c.Minute * 10000;
        SetScheduleMarks();
        EXPECT_EQ(NextDayMark, c.Day * 10000) << c.Minute;
        EXPECT_EQ(NextHourMark, c.Hour * 10000) << c.Minute;
    }
}

TEST_F(PricesTest, PocketMoney)
{
    const uint8_t kind = static_cast<uint8_t>(TPersNature::Recruit);
    PoketMoneyRules[kind] = TPoketMoney{5000, 10, 100};
    TPersonage p = UnitTypes[Footman];
    p.Kind = kind;
    const int32_t costs[3] = {10, 100, 1000};
    const int32_t expected[3] = {10, 50, 100};
    for (int i = 0; i < 3; ++i) {
        p.Cost = costs[i];
        EXPECT_EQ(GetPocketMoney(p), expected[i]) << costs[i];
    }
    PoketMoneyRules[kind] = TPoketMoney{5000, 10, 5}; // the maximum is tested first
    p.Cost = 1000;
    EXPECT_EQ(GetPocketMoney(p), 5);
}
