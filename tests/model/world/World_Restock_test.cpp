// The daily restock: shop assortments by kind group, price window,
// alignment and unique items; hire slots by growth period, bonus days and
// garrison slots.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "model/ai/AIMain_Random.h"
#include "model/world/Prices.h"
#include "model/world/World_Economy.h"
#include "tests/model/WorldTestSupport.h"
#include "tests/support/ShopAssortmentReference.h"

namespace {

using TShop = TRangeArray<int32_t, 1, 40>;

class ShopTest : public TWorldTest {
protected:
    std::vector<int32_t> Swords, Rings;
    int32_t Helm = 0, Armour = 0, Healing = 0, Mana = 0, Salve = 0, Horse = 0, Relic = 0, Trophy = 0;
    int32_t GoodRing = 0, EvilRing = 0, MaxGoodRing = 0, MaxEvilRing = 0;

    int32_t Item(TItemType kind, int32_t cost, int32_t subType = 1)
    {
        const int32_t i = AddItem(kind, subType);
        ItemTable[i].Cost = cost;
        ItemMaxCost = std::max(ItemMaxCost, cost);
        return i;
    }

    void SetUp() override
    {
        TWorldTest::SetUp();
        for (int32_t c = 10; c <= 100; c += 10)
            Swords.push_back(Item(TItemType::Sword, c));
        Helm = Item(TItemType::Helm, 50, 2);
        Armour = Item(TItemType::Armor, 80, 3);
        Healing = Item(TItemType::Potion, 30);
        ItemTable[Healing].dHit = 10;
        Mana = Item(TItemType::Potion, 30);
        ItemTable[Mana].dMana = 5;
        Salve = Item(TItemType::Potion, 30);
        ItemTable[Salve].dWound = 1;
        for (int32_t c = 0; c < 4; ++c)
            Rings.push_back(Item(TItemType::Ring, 40 + c));
        GoodRing = Item(TItemType::Ring, 45);
        ItemTable[GoodRing].Alignment = static_cast<uint8_t>(TAlignment::Good);
        EvilRing = Item(TItemType::Ring, 45);
        ItemTable[EvilRing].Alignment = static_cast<uint8_t>(TAlignment::Evil);
        MaxGoodRing = Item(TItemType::Ring, 45);
        ItemTable[MaxGoodRing].Alignment = static_cast<uint8_t>(TAlignment::MaxGood);
        MaxEvilRing = Item(TItemType::Ring, 45);
        ItemTable[MaxEvilRing].Alignment = static_cast<uint8_t>(TAlignment::MaxEvil);
        Horse = Item(TItemType::Horse, 200);
        Relic = Item(TItemType::Sword, 60);
        ItemTable[Relic].Unique = 4;
        Trophy = Item(TItemType::Item, 90);
        MakeWorld(0, 3);
        for (int32_t b = 1; b <= 3; ++b)
            OpenShop(b);
        ShopUniqueCount.assign(static_cast<size_t>(ItemCount) + 1, 0);
    }

    // A shop that deals in everything neutral, at most 40 of a group, at
    // any price.
    void OpenShop(int32_t b)
    {
        TMapBuilding& r = MapBuildings[b];
        r.HasShop = 1;
        for (int k = 1; k <= 15; ++k)
            r.TradeKinds[k] = 1;
        r.TradeKinds2[1] = r.TradeKinds2[2] = 1;
        r.ShopAlignment[2] = 1;
        for (int g = 1; g <= 4; ++g) {
            r.ShopGroupLimits[g] = 40;
            r.ShopMinCost[g] = 0;
            r.ShopMaxCost[g] = 1000;
        }
        r.ShopLimitS = 40;
        r.ShopMaxCostS = 1000;
    }

    TShop& Shop(int32_t b) { return State(b).ShopItems; }
    std::vector<int32_t> Drawn(int32_t b)
    {
        std::vector<int32_t> items;
        for (int32_t j = 1; j <= 40; ++j)
            if (Shop(b)[j] > 0)
                items.push_back(Shop(b)[j]);
        return items;
    }
    int32_t CountItem(int32_t b, int32_t item)
    {
        const std::vector<int32_t> drawn = Drawn(b);
        return static_cast<int32_t>(std::count(drawn.begin(), drawn.end(), item));
    }
    int32_t CountKind(int32_t b, TItemType kind)
    {
        int32_t n = 0;
        for (int32_t item : Drawn(b))
            n += ItemTable[item].MainType == static_cast<uint8_t>(kind);
        return n;
    }
    void FillAt(int32_t b, int32_t seed)
    {
        SeedRandomFixed(seed, 0, 0);
        FillShopAssortment(b, Shop(b));
    }
};

} // namespace

// The fast assortment gives the plain selection sort's shop, draw for draw.
TEST_F(ShopTest, MatchesThePlainSelectionSort)
{
    struct TCase {
        uint8_t LimitW, LimitA, LimitO, LimitP, LimitS;
        uint16_t MinW, MaxW;
        uint8_t Good, Neutral, Evil;
        int32_t Fixed; // a fixed scenario item in entry 3, 0 none
    };
    const TCase cases[] = {
        {40, 40, 40, 40, 40, 0, 1000, 0, 1, 0, 0}, {3, 1, 2, 2, 1, 0, 1000, 0, 1, 0, 0},
        {5, 0, 5, 4, 0, 30, 70, 1, 1, 1, 0},       {2, 2, 2, 2, 2, 20, 20, 1, 0, 0, 1},
        {1, 1, 1, 1, 1, 0, 1000, 0, 0, 1, 2},      {40, 40, 40, 40, 40, 50, 50, 1, 0, 1, 0},
        {10, 10, 10, 10, 10, 0, 1000, 1, 1, 1, 3},
    };
    ShopUniqueCount[static_cast<size_t>(Relic)] = 1;
    int32_t n = 0;
    for (const TCase& c : cases) {
        TMapBuilding& r = MapBuildings[1];
        r.ShopGroupLimits[1] = c.LimitW;
        r.ShopGroupLimits[2] = c.LimitA;
        r.ShopGroupLimits[3] = c.LimitO;
        r.ShopGroupLimits[4] = c.LimitP;
        r.ShopLimitS = c.LimitS;
        r.ShopMinCost[1] = c.MinW;
        r.ShopMaxCost[1] = c.MaxW;
        r.ShopAlignment[1] = c.Good;
        r.ShopAlignment[2] = c.Neutral;
        r.ShopAlignment[3] = c.Evil;
        r.TradeKinds[14] = n % 2 == 0;
        for (int32_t seed : {1, 2, 77}) {
            TShop fast{}, plain{};
            const int32_t fixed = c.Fixed == 0 ? 0 : c.Fixed == 1 ? Swords[1] : c.Fixed == 2 ? Healing : Relic;
            fast[3] = plain[3] = -fixed;
            SeedRandomFixed(seed, n, 0);
            FillShopAssortment(1, fast);
            SeedRandomFixed(seed, n, 0);
            FillShopAssortmentReference(1, plain);
            for (int32_t j = 1; j <= 40; ++j)
                ASSERT_EQ(fast[j], plain[j]) << "case " << n << " seed " << seed << " entry " << j;
        }
        ++n;
    }
}

// The whole daily restock of the shops, too.
TEST_F(ShopTest, RestockMatchesThePlainOne)
{
    MapBuildings[2].ShopItems[1] = static_cast<uint16_t>(Relic);
    MapBuildings[3].ShopGroupLimits[1] = 2;
    MapBuildings[3].ShopAlignment[1] = 1;
    RestockBuildings(true);
    std::vector<TShop> before, fast;
    for (int32_t b = 1; b <= 3; ++b)
        before.push_back(Shop(b));
    GameClock = 3 * 1440 * 10000;
    RestockBuildings(false);
    for (int32_t b = 1; b <= 3; ++b) {
        fast.push_back(Shop(b));
        Shop(b) = before[static_cast<size_t>(b - 1)];
    }
    RestockShopsReference();
    for (int32_t b = 1; b <= 3; ++b)
        for (int32_t j = 1; j <= 40; ++j)
            EXPECT_EQ(Shop(b)[j], fast[static_cast<size_t>(b - 1)][j]) << b << " " << j;
}

TEST_F(ShopTest, GroupLimitsAndPriceWindow)
{
    TMapBuilding& r = MapBuildings[1];
    r.ShopGroupLimits[1] = 3; // weapons
    r.ShopGroupLimits[2] = 0; // armour
    r.ShopGroupLimits[3] = 2; // others
    r.ShopGroupLimits[4] = 1; // potions
    r.ShopLimitS = 0;
    r.ShopMinCost[1] = 30;
    r.ShopMaxCost[1] = 70;
    FillAt(1, 5);
    EXPECT_EQ(CountKind(1, TItemType::Sword), 3);
    EXPECT_EQ(CountKind(1, TItemType::Helm) + CountKind(1, TItemType::Armor), 0);
    EXPECT_EQ(CountKind(1, TItemType::Ring), 2);
    EXPECT_EQ(CountKind(1, TItemType::Potion), 1);
    EXPECT_EQ(CountKind(1, TItemType::Horse), 0);
    EXPECT_EQ(CountKind(1, TItemType::Item), 0); // never sold
    for (int32_t item : Drawn(1))
        if (ItemTable[item].MainType == static_cast<uint8_t>(TItemType::Sword)) {
            EXPECT_GE(ItemTable[item].Cost, 30);
            EXPECT_LE(ItemTable[item].Cost, 70);
        }
}

TEST_F(ShopTest, AlignmentBytes)
{
    struct TCase {
        uint8_t Good, Neutral, Evil;
        std::vector<int32_t> Admitted; // of the aligned rings
    };
    const TCase cases[] = {
        {1, 0, 0, {GoodRing, MaxGoodRing}},
        {0, 0, 1, {EvilRing, MaxEvilRing}},
        {1, 0, 1, {GoodRing, EvilRing}},
        {0, 1, 0, {}},
    };
    for (const TCase& c : cases) {
        TMapBuilding& r = MapBuildings[1];
        r.ShopAlignment[1] = c.Good;
        r.ShopAlignment[2] = c.Neutral;
        r.ShopAlignment[3] = c.Evil;
        for (int32_t j = 1; j <= 40; ++j)
            Shop(1)[j] = 0;
        FillAt(1, 9);
        std::vector<int32_t> aligned;
        for (int32_t item : Drawn(1)) {
            if (ItemTable[item].Alignment != 0)
                aligned.push_back(item);
            else
                EXPECT_NE(c.Neutral, 0) << "neutral item " << item;
        }
        std::sort(aligned.begin(), aligned.end());
        EXPECT_EQ(aligned, c.Admitted) << int(c.Good) << int(c.Neutral) << int(c.Evil);
    }
}

TEST_F(ShopTest, PotionsComeTwiceAndAFullShopStops)
{
    TMapBuilding& r = MapBuildings[1];
    r.ShopMinCost[4] = 30;
    r.ShopMaxCost[4] = 30;
    r.TradeKinds[15] = 0; // only healing potions (health or mana) on the shelf
    FillAt(1, 3);
    EXPECT_EQ(CountItem(1, Healing), 2);
    EXPECT_EQ(CountItem(1, Mana), 2);
    EXPECT_EQ(CountItem(1, Salve), 0);
    // With everything admitted the 40 entries fill and the rest is dropped.
    r.TradeKinds[15] = 1;
    for (int32_t j = 1; j <= 40; ++j)
        Shop(1)[j] = 0;
    for (int32_t c = 0; c < 30; ++c)
        Item(TItemType::Axe, 15);
    FillAt(1, 3);
    EXPECT_EQ(Drawn(1).size(), 40u);
}

TEST_F(ShopTest, UniqueItemsFollowTheShopsThatHoldThem)
{
    MapBuildings[1].ShopMinCost[1] = 60;
    MapBuildings[1].ShopMaxCost[1] = 60;
    MapBuildings[3].HasShop = 0;
    RestockBuildings(true);
    EXPECT_EQ(ShopUniqueCount[static_cast<size_t>(Relic)], 0);
    EXPECT_EQ(CountItem(1, Relic), 0);

    // Building 2 holds it as a fixed item: other shops may draw it now.
    MapBuildings[2].ShopItems[1] = static_cast<uint16_t>(Relic);
    MapBuildings[2].ShopGroupLimits[1] = 1;
    RestockBuildings(true);
    EXPECT_EQ(ShopUniqueCount[static_cast<size_t>(Relic)], 1);
    EXPECT_EQ(Shop(2)[1], -Relic);
    EXPECT_EQ(CountKind(2, TItemType::Sword), 0); // the fixed item fills the weapon limit
    EXPECT_EQ(CountItem(1, Relic), 1);
    // A drawn unique item counts at the next restock too.
    RestockBuildings(false);
    EXPECT_EQ(ShopUniqueCount[static_cast<size_t>(Relic)], 2);
}

TEST_F(ShopTest, RestockRedrawsAndKeepsFixedItems)
{
    MapBuildings[1].ShopItems[2] = static_cast<uint16_t>(Horse);
    GameClock = 10 * 1440 * 10000;
    RestockBuildings(true);
    EXPECT_EQ(Shop(1)[2], -Horse);
    const TShop first = Shop(1);
    Shop(1)[5] = 0; // sold out
    RestockBuildings(false);
    for (int32_t j = 1; j <= 40; ++j)
        EXPECT_EQ(Shop(1)[j], first[j]) << j; // the same period draws the same
    EXPECT_EQ(State(1).ShopItems[2], -Horse);
    MapBuildings[2].HasShop = 0;
    RestockBuildings(true);
    EXPECT_TRUE(Drawn(2).empty());
}

TEST_F(ShopTest, ShopKindFlags)
{
    TMapBuilding& r = MapBuildings[1];
    for (int k = 1; k <= 15; ++k)
        r.TradeKinds[k] = static_cast<uint8_t>(k);
    r.TradeKinds2[1] = 21;
    r.TradeKinds2[2] = 22;
    struct TCase {
        TItemType Kind;
        int32_t SubType;
        int32_t Expected;
    };
    const TCase cases[] = {
        {TItemType::Pike, 1, 1},       {TItemType::Spectral, 1, 0}, {TItemType::Sling, 1, 0},
        {TItemType::Bow, 1, 2},        {TItemType::Arrow, 1, 2},    {TItemType::Wand, 1, 3},
        {TItemType::Canon, 1, 4},      {TItemType::Shield, 1, 8},   {TItemType::Helm, 1, 9},
        {TItemType::Helm, 2, 7},       {TItemType::Helm, 3, 6},     {TItemType::Helm, 4, 5},
        {TItemType::Helm, 5, 0},       {TItemType::Armor, 1, 7},    {TItemType::Armor, 3, 5},
        {TItemType::Armor, 4, 0},      {TItemType::Clothes, 2, 9},  {TItemType::Clothes, 3, 0},
        {TItemType::Amulet, 1, 10},    {TItemType::Ring, 1, 11},    {TItemType::Scroll, 1, 12},
        {TItemType::SpellBook, 1, 13}, {TItemType::Horse, 1, 21},   {TItemType::HorseItem, 1, 22},
        {TItemType::Item, 1, 0},       {TItemType::NPC, 1, 0},
    };
    for (const TCase& c : cases) {
        const int32_t item = AddItem(c.Kind, c.SubType);
        EXPECT_EQ(GetShopKindFlag(1, item), c.Expected) << int(c.Kind) << " " << c.SubType;
    }
    // A healing potion restores health or mana on the shelf, health or
    // wounds at the counter.
    EXPECT_EQ(GetShopKindFlag(1, Healing), 14);
    EXPECT_EQ(GetShopKindFlag(1, Mana), 14);
    EXPECT_EQ(GetShopKindFlag(1, Salve), 15);
    EXPECT_EQ(GetItemTradeSwitch(r, ItemTable[Mana], false), 15);
    EXPECT_EQ(GetItemTradeSwitch(r, ItemTable[Salve], false), 14);
}

namespace {

class HireTest : public TWorldTest {
protected:
    int32_t Militia = 0, Archer = 0, Knight = 0;

    void SetUp() override
    {
        TWorldTest::SetUp();
        Militia = AddType("Militia").UnitType;
        Archer = AddType("Archer").UnitType;
        Knight = AddType("Knight").UnitType;
        RecruitPools[1].Weighted = {3, Militia, Militia, Archer};
        RecruitPools[1].Unique = {2, Militia, Archer};
        MakeWorld(0, 1);
        MapBuildings[1].HasHire = 1;
    }
    TMapHireSlot& Descriptor(int32_t s) { return MapBuildings[1].HireSlots[s]; }
    THireSlot& Slot(int32_t s) { return State(1).HireSlots[s]; }
    void SetDay(int32_t day) { GameClock = static_cast<int64_t>(day) * 1440 * 10000 + 9 * 60 * 10000; }
};

} // namespace

TEST_F(HireTest, RestockIsDueByGrowthPeriodAndBonusDays)
{
    Descriptor(1) = TMapHireSlot{};
    Descriptor(1).UnitType = static_cast<int16_t>(Militia);
    Descriptor(1).MaxStock = 3;
    Descriptor(1).Growth = 6;
    Slot(1).LastRestockDay = 10;
    struct TCase {
        int16_t Stock, BonusDays;
        int32_t Day;
        bool Due;
    };
    // Period 6: not before day 16; certain on day 18 (a third later).
    const TCase cases[] = {
        {0, 0, 15, false}, {0, 0, 18, true}, {3, 0, 18, false}, {0, 3, 12, false}, {0, 3, 14, true},
    };
    for (const TCase& c : cases) {
        Slot(1).Stock = c.Stock;
        Slot(1).BonusDays = c.BonusDays;
        AI_SeedRandom(1, 0, 0);
        EXPECT_EQ(IsHireRestockDue(1, 1, GetGarrisonArmyIndex(1), c.Day), c.Due) << c.Stock << " " << c.Day;
    }
    // Between the first day and the certain one, some days are.
    Slot(1).BonusDays = 0;
    int32_t due = 0;
    for (int32_t seed = 0; seed < 40; ++seed) {
        SeedRandomFixed(seed, 0, 0);
        due += IsHireRestockDue(1, 1, GetGarrisonArmyIndex(1), 16);
    }
    EXPECT_GT(due, 0);
    EXPECT_LT(due, 40);
    Descriptor(1).UnitType = 0;
    EXPECT_FALSE(IsHireRestockDue(1, 1, GetGarrisonArmyIndex(1), 18));
}

TEST_F(HireTest, OpenSlotsGrowAndDrawTheirType)
{
    Descriptor(1).UnitType = 251;
    Descriptor(1).MaxStock = 5;
    Descriptor(1).Growth = 1;
    Slot(1).BonusDaysLeft = 1;
    Slot(1).BonusDays = 1;
    Descriptor(2).UnitType = static_cast<int16_t>(Knight);
    Descriptor(2).MaxStock = 5;
    Descriptor(2).Growth = 1;
    Slot(2).UnitType = static_cast<int16_t>(Archer); // drawn earlier, still in stock
    Slot(2).Stock = 2;
    SetDay(4);
    RestockHireSlots(1);
    EXPECT_TRUE(Slot(1).UnitType == Militia || Slot(1).UnitType == Archer);
    EXPECT_EQ(Slot(1).Stock, 1);
    EXPECT_EQ(Slot(1).LastRestockDay, 4);
    EXPECT_EQ(Slot(1).BonusDaysLeft, 0);
    EXPECT_EQ(Slot(1).BonusDays, 0);
    EXPECT_EQ(Slot(2).UnitType, Archer);
    EXPECT_EQ(Slot(2).Stock, 3);

    // An empty pool draws nothing.
    Descriptor(3).UnitType = 252;
    Descriptor(3).MaxStock = 5;
    Descriptor(3).Growth = 1;
    SetDay(6);
    RestockHireSlots(1);
    EXPECT_EQ(Slot(3).UnitType, 0);
    EXPECT_EQ(Slot(3).Stock, 0);
    EXPECT_EQ(ResolveUnitType(252), 0);
    EXPECT_EQ(ResolveUnitType(17), 17);
    EXPECT_EQ(ResolveUnitType(259), 0); // no such pool
    RecruitPools[1].Weighted = {0};
    EXPECT_EQ(ResolveUnitType(251), 0);
}

TEST_F(HireTest, GarrisonSlotsRecruitIntoTheGarrison)
{
    const int32_t g = GetGarrisonArmyIndex(1);
    Descriptor(1).UnitType = 251;
    Descriptor(1).MaxStock = 4;
    Descriptor(1).Growth = 1;
    Descriptor(1).Closed = 1;
    MapBuildings[1].ActionsKind = 3;
    Recruit(g, Archer, 0);
    Recruit(g, Knight, 0);
    SetDay(2);
    RestockHireSlots(1);
    EXPECT_EQ(Army(g).PersonageCount, 3);
    EXPECT_EQ(Slot(1).Stock, 1); // counted before the new recruit
    EXPECT_EQ(Unit(g, 3).HireKind, 0);
    EXPECT_TRUE(Unit(g, 3).UnitType == Militia || Unit(g, 3).UnitType == Archer);
    // The garrison is as large as the building allows.
    SetDay(4);
    RestockHireSlots(1);
    EXPECT_EQ(Army(g).PersonageCount, 3);
    EXPECT_EQ(Slot(1).Stock, 2);
}

TEST_F(HireTest, OpenSlotsCountedForPlayerOrComputer)
{
    Descriptor(1).UnitType = static_cast<int16_t>(Militia);
    Descriptor(1).PlayerMayHire = 1;
    Descriptor(2).UnitType = static_cast<int16_t>(Archer);
    Descriptor(2).ComputerMayHire = 1;
    Descriptor(3).UnitType = static_cast<int16_t>(Knight);
    Descriptor(3).PlayerMayHire = 1;
    Descriptor(3).ComputerMayHire = 1;
    Descriptor(4).UnitType = static_cast<int16_t>(Knight);
    Descriptor(4).PlayerMayHire = 1;
    Descriptor(4).Closed = 1;
    Descriptor(5).PlayerMayHire = 1; // no unit type
    EXPECT_EQ(CountOpenHireSlots(1, PlayerArmy), 2);
    EXPECT_EQ(CountOpenHireSlots(1, 3), 2);
}
