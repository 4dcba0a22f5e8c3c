// Adding personages to armies and taking buildings.
#include <gtest/gtest.h>

#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Movement.h"
#include "model/save/BetaLog.h"
#include "model/tables/GameEnums.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/Prices.h"
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

namespace {

class HireCandidateTest : public AddPersonageTest {
protected:
    void SetUp() override
    {
        AddPersonageTest::SetUp();
        UnitTypes[Footman].Cost = 100;
        RecruitHiring = MercenaryHiring = LeaderHiring = 100;
        MapBuildings[1].HireSlots[1].HireKind = 1;
        State(1).HireSlots[1].UnitType = static_cast<int16_t>(Footman);
        State(1).HireSlots[1].Stock = 3;
        GameSeed = 4242;
        GameClock = 7 * 60 * MinuteFx; // 07:00, in the period 06:00..12:00
    }
};

} // namespace

TEST_F(HireCandidateTest, CandidatesRepeatWithinSixHours)
{
    TPersonage first, second;
    CreateHireCandidate(1, 1, first);
    EXPECT_EQ(first.UnitType, Footman);
    EXPECT_EQ(first.HireKind, 1);
    EXPECT_GT(first.PersonalSeed, 0);
    GameClock = 11 * 60 * MinuteFx + 59 * MinuteFx;
    CreateHireCandidate(1, 1, second);
    EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0);

    GameClock = 12 * 60 * MinuteFx;
    CreateHireCandidate(1, 1, second);
    EXPECT_NE(second.PersonalSeed, first.PersonalSeed);
    GameClock = 7 * 60 * MinuteFx;
    State(1).HireSlots[1].Stock = 2;
    CreateHireCandidate(1, 1, second);
    EXPECT_NE(second.PersonalSeed, first.PersonalSeed);
    // Without stock the slot offers its plain type.
    State(1).HireSlots[1].Stock = 0;
    CreateHireCandidate(1, 1, second);
    EXPECT_EQ(second.PersonalSeed, 0);
    EXPECT_EQ(second.Experience, 0);
}

TEST_F(HireCandidateTest, RecruitingPaysOnlyForAPersonageHired)
{
    Army(2).Gold = 500;
    const int32_t price = GetHirePrice(1, 1, 2);
    ASSERT_GT(price, 0);
    BetaLogReset();
    EXPECT_EQ(RecruitPersonage(2, 1, 1), 1);
    EXPECT_EQ(Army(2).Gold, 500 - price);
    EXPECT_EQ(State(1).HireSlots[1].Stock, 2);
    EXPECT_EQ(Unit(2, 1).UnitType, Footman);
    EXPECT_NE(Unit(2, 1).FormationRow, 0);
    ASSERT_EQ(BetaLog.Size, 15u);
    EXPECT_EQ(BetaLog.Data[2], blkHire);

    // A full army: no candidate, no price, no stock, not a byte changed.
    for (int32_t s = 2; s <= 12; ++s)
        AddPersonageSimple(2, Footman, 0);
    const TGameArmy army = Army(2);
    const TArmyUnits units = Units(2);
    EXPECT_EQ(HireIntoArmy(2, 1, 1), 0);
    EXPECT_EQ(RecruitPersonage(2, 1, 1), 0);
    EXPECT_EQ(std::memcmp(&army, &Army(2), sizeof army), 0);
    EXPECT_EQ(std::memcmp(&units, &Units(2), sizeof units), 0);
    EXPECT_EQ(State(1).HireSlots[1].Stock, 2);
    EXPECT_EQ(BetaLog.Size, 15u);

    // An emptied slot is not hired from either.
    std::memset(static_cast<void*>(&Unit(2, 12)), 0, sizeof(TPersonage));
    State(1).HireSlots[1].Stock = 0;
    EXPECT_EQ(RecruitPersonage(2, 1, 1), 0);
    BetaLogReset();
}

TEST(VisitSelling, Thresholds)
{
    struct TCase {
        int64_t Gold, Balance, Price, Cost;
        bool Sold;
    };
    const TCase cases[] = {
        {240, 0, 1, 100, true},     {240, 0, 0, 0, true},       {250, 0, 49, 100, false},
        {400, 0, 50, 100, true},    {400, 0, 49, 100, false},   {900, 0, 60, 100, true},
        {900, 0, 59, 100, false},   {1500, 0, 70, 100, true},   {1500, 0, 69, 100, false},
        {2000, 0, 100, 100, false}, {0, 100, 50, 100, false},   {0, 100, 60, 100, true},
        {400, 0, 1000, 0, false}, // a priceless item: no ratio, no division
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ShouldSellItem(c.Gold, c.Balance, c.Price, c.Cost), c.Sold)
            << c.Gold << " " << c.Balance << " " << c.Price << " " << c.Cost;
}

TEST_F(AddPersonageTest, AVisitSellsIntoAFullShopAndTheItemsVanish)
{
    AddPersonageSimple(1, Footman, 0);
    Army(1).Building = 1;
    Army(1).Gold = 240;
    MapBuildings[1].HasShop = 1;
    const int32_t item = AddItem(TItemType::Sword);
    ItemTable[item].Cost = 100;
    AddArmyItem(1, item);
    AddArmyItem(1, item);
    for (int32_t e = 1; e <= 40; ++e)
        State(1).ShopItems[e] = -1; // fixed scenario items: nothing to buy, no room
    AI_Army_MoveInBuilding(1);
    EXPECT_EQ(LastVisit.Sold, 2);
    EXPECT_EQ(Army(1).ItemCount, 0);
    EXPECT_GE(Army(1).Gold, 240);
    for (int32_t e = 1; e <= 40; ++e)
        EXPECT_EQ(State(1).ShopItems[e], -1);
}

TEST(VisitHiring, LeaderKindPreferences)
{
    using N = TPersNature;
    struct TCase {
        N Leader, Unit;
        bool Owner;
        int32_t Score;
    };
    const TCase cases[] = {
        {N::Lich, N::Undead, false, 10},    {N::Lich, N::Vampire, false, 10}, {N::Lich, N::Ghost, false, 10},
        {N::Lich, N::Lich, false, 10},      {N::Lich, N::Necromant, false, 2}, {N::Lich, N::Military, false, 0},
        {N::Lich, N::Recruit, false, 0},    {N::Beast, N::Monster, false, 10}, {N::Military, N::Witch, false, 4},
        {N::Hero, N::Garrison, true, 5},    {N::Hero, N::Garrison, false, 0},  {N::Military, N::Garrison, true, 0},
        {N::Witch, N::Rogue, false, 7},     {N::Heretic, N::Hiler, false, 5},  {N::Merchant, N::Recruit, false, 0},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(HireKindScore(static_cast<uint8_t>(c.Leader), static_cast<uint8_t>(c.Unit), c.Owner), c.Score)
            << PersNatureNames[static_cast<int>(c.Leader)] << " " << PersNatureNames[static_cast<int>(c.Unit)];

    EXPECT_TRUE(IsGarrisonSwapPair(static_cast<uint8_t>(TBuildingType::Fort), static_cast<uint8_t>(TArmyBehavior::Watch)));
    EXPECT_TRUE(IsGarrisonSwapPair(static_cast<uint8_t>(TBuildingType::Chapel), static_cast<uint8_t>(TArmyBehavior::Monk)));
    EXPECT_FALSE(
        IsGarrisonSwapPair(static_cast<uint8_t>(TBuildingType::Village), static_cast<uint8_t>(TArmyBehavior::Monk)));
}

TEST_F(AddPersonageTest, ALichHiresTheDeadOnly)
{
    const int32_t lich = AddType("Lich").UnitType;
    UnitTypes[lich].Kind = static_cast<uint8_t>(TPersNature::Lich);
    const int32_t bones = AddType("Bones").UnitType;
    const int32_t pikeman = AddType("Pikeman").UnitType;
    UnitTypes[bones].Kind = static_cast<uint8_t>(TPersNature::Undead);
    for (int32_t t : {bones, pikeman}) {
        UnitTypes[t].Strength = 40;
        UnitTypes[t].AttackMode = AttackModeFight;
    }
    AddPersonageSimple(1, lich, 0);
    Army(1).Building = 1;
    Army(1).Gold = 1000;
    Army(1).SupportLimit = 10;
    MapBuildings[1].HasHire = 1;
    for (int32_t s : {1, 2}) {
        MapBuildings[1].HireSlots[s].ComputerMayHire = 1;
        State(1).HireSlots[s].Stock = 2;
    }
    State(1).HireSlots[1].UnitType = static_cast<int16_t>(pikeman);
    State(1).HireSlots[2].UnitType = static_cast<int16_t>(bones);
    const THireTotals totals = CountHireTotals(1);
    EXPECT_EQ(HireScore(1, 1, 1, totals), 0);
    EXPECT_GT(HireScore(1, 1, 2, totals), 0);
    AI_Army_MoveInBuilding(1);
    EXPECT_GE(LastVisit.Hired, 1);
    for (int32_t s = 2; s <= Army(1).PersonageCount; ++s)
        EXPECT_EQ(Unit(1, s).UnitType, bones);
    EXPECT_EQ(State(1).HireSlots[1].Stock, 2);
}
