// What a moving army runs into, and the silent battles against the parties
// it met.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "model/ai/AIMain_Encounters.h"
#include "model/ai/AIMain_Strategy.h"
#include "battle/BattleSide.h"
#include "model/personage/Personage_Rules.h"
#include "tests/model/MapWorldTestSupport.h"

namespace {

constexpr int32_t EncMover = 1, EncOther = 2, EncOwner = 3;
constexpr int32_t EncX = 200, EncZ = 200;

class EncounterTest : public TMapWorldTest {
protected:
    void SetUp() override
    {
        TMapWorldTest::SetUp();
        MakeMapWorld(3, 1);
        PlaceArmy(EncMover, EncX, EncZ);
        PlaceArmy(EncOther, 100, 100);
        PlaceArmy(EncOwner, 400, 400);
        PlaceBuilding(1, EncX, EncZ);
        TerrainVertex(EncX, EncZ).Cover = 1;
        GameClock = 777 * MinuteFx;
    }

    // The mover has just stepped into building 1.
    static void Enter()
    {
        Army(EncMover).EnteredBuilding = 1;
        Army(EncMover).Building = 1;
    }

    // Army a stands in the building near the mover.
    static void Inside(int32_t a)
    {
        PlaceArmy(a, EncX + 2, EncZ);
        Army(a).Building = 1;
    }

    static void Hostile(int32_t a, int32_t b) { SetMutualAttitude(a, b, -100); }
    static void Friendly(int32_t a, int32_t b) { SetMutualAttitude(a, b, 100); }

    static TPersonage& Fighter(int32_t army, int32_t slot, uint8_t mode, int16_t blow, int16_t shot)
    {
        TPersonage& p = Unit(army, slot);
        p.UnitType = 1;
        p.Hits = 10;
        p.AttackMode = mode;
        p.Stats[statAttackBlow] = blow;
        p.Stats[statAttackShot] = shot;
        Army(army).PersonageCount = static_cast<uint8_t>(std::max<int32_t>(Army(army).PersonageCount, slot));
        return p;
    }
};

} // namespace

TEST_F(EncounterTest, WhatAMovingArmyMeets)
{
    struct TCase {
        const char* Name;
        std::function<void()> Arrange;
        TEncounterKind Kind;
        TIntArray Met;
        bool Stamped; // both relation cells of the mover and the other army got the clock
    };
    const TCase cases[] = {
        {"hidden army",
         [] {
             Enter();
             Army(EncMover).Hidden = 1;
             Inside(EncOther);
             Hostile(EncMover, EncOther);
             MetArmies = {99};
         },
         TEncounterKind::Move,
         {99}, false},
        {"friendly town, friendly army inside",
         [] {
             Enter();
             State(1).OwnerArmy = EncMover;
             Inside(EncOther);
             Friendly(EncMover, EncOther);
         },
         TEncounterKind::Building,
         {}, true},
        {"friendly town, hostile army inside",
         [] {
             Enter();
             State(1).OwnerArmy = EncMover;
             Inside(EncOther);
             Hostile(EncMover, EncOther);
         },
         TEncounterKind::Battle,
         {EncOther}, true},
        {"unowned building without defenders",
         [] {
             Enter();
             MapBuildings[1].HasGarrison = 1;
         },
         TEncounterKind::Capture,
         {}, false},
        {"unowned building with its garrison",
         [] { Enter(); },
         TEncounterKind::Attack,
         {-1}, false},
        {"a bridge is no building",
         [] {
             Enter();
             MapBuildings[1].Model = static_cast<int32_t>(TBuildingModel::Bridge);
         },
         TEncounterKind::None,
         {}, false},
        {"open map, distance 4",
         [] {
             PlaceArmy(EncOther, EncX + 4, EncZ);
             Hostile(EncMover, EncOther);
         },
         TEncounterKind::None,
         {}, false},
        {"open map, distance 3",
         [] {
             PlaceArmy(EncOther, EncX + 3, EncZ);
             Hostile(EncMover, EncOther);
         },
         TEncounterKind::Battle,
         {EncOther}, true},
        {"open map, friends in pursuit talk",
         [] {
             PlaceArmy(EncOther, EncX + 1, EncZ);
             Friendly(EncMover, EncOther);
             ArmyMoves[EncOther][EncMover].Pursuit = 1;
         },
         TEncounterKind::Talk,
         {}, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        c.Arrange();
        MeasureArmyDistances(EncMover);
        const int64_t before = ArmyMoves[EncMover][EncOther].LastMeeting;
        EXPECT_EQ(ResolveEncounter(EncMover), c.Kind);
        EXPECT_EQ(MetArmies, c.Met);
        EXPECT_EQ(AssaultParams.Attacker, NoAssault);
        EXPECT_EQ(ArmyMoves[EncMover][EncOther].LastMeeting, c.Stamped ? GameClock : before);
        EXPECT_EQ(ArmyMoves[EncOther][EncMover].LastMeeting, c.Stamped ? GameClock : before);
    }
}

TEST_F(EncounterTest, AWalledBuildingIsAssaultedAgainstEveryMetPartysShooters)
{
    Enter();
    State(1).OwnerArmy = EncOwner;
    Hostile(EncMover, EncOwner);
    Inside(EncOther);
    Hostile(EncMover, EncOther);
    MapBuildings[1].HasTreasury = 1;
    State(1).AssaultA = 20;
    State(1).AssaultB = 30;
    State(1).AssaultC = 4;
    const int32_t garrison = GetGarrisonArmyIndex(1);
    Fighter(garrison, 1, AttackModeShoot, 0, 7);
    Fighter(garrison, 2, AttackModeShoot, 0, 5).Hits = 0; // the dead shoot as well
    Fighter(garrison, 3, AttackModeFight, 30, 0);         // no guard: nothing
    Fighter(EncOther, 1, AttackModeFight, 10, 0).BonusSet.Include(pGuard);
    MeasureArmyDistances(EncMover);

    EXPECT_EQ(ResolveEncounter(EncMover), TEncounterKind::Assault);
    EXPECT_EQ(MetArmies, (TIntArray{-1, EncOther}));
    EXPECT_EQ(AssaultParams.Attacker, EncMover);
    EXPECT_EQ(AssaultParams.LastAttacker, EncMover);
    EXPECT_EQ(AssaultParams.DefenceFire, 20 + 7 + 5 + 10 / 3);
    EXPECT_EQ(AssaultParams.AssaultB, 30);
    EXPECT_EQ(AssaultParams.AssaultC, 4);

    // The same building planned by the strategic AI: its garrison and the
    // hostile armies stationed in it.
    Army(EncOther).Stationary = 1;
    SetAssaultParams(EncMover, 1);
    EXPECT_EQ(AssaultParams.DefenceFire, 20 + 7 + 5 + 10 / 3);
    Army(EncOther).Stationary = 0;
    SetAssaultParams(EncMover, 1);
    EXPECT_EQ(AssaultParams.DefenceFire, 20 + 7 + 5);

    // Many shooters stop the sum at its top instead of wrapping it round.
    for (int32_t s = 1; s <= 15; ++s)
        Fighter(garrison, s, AttackModeShoot, 0, 30000);
    SetAssaultParams(EncMover, 1);
    EXPECT_EQ(AssaultParams.DefenceFire, 0xFFFF);
}

namespace {

// The stubbed battles: the codes to answer in turn and the parties fought.
std::vector<uint8_t> StubCodes;
std::vector<int32_t> StubFought;

uint8_t StubBattle(int32_t army, int32_t party)
{
    (void)army;
    StubFought.push_back(party);
    const uint8_t code = StubCodes.empty() ? 0 : StubCodes.front();
    if (!StubCodes.empty())
        StubCodes.erase(StubCodes.begin());
    return code;
}

} // namespace

TEST_F(EncounterTest, SilentBattlesGoOnWhileTheArmyWinsOrIsRouted)
{
    struct TCase {
        std::vector<uint8_t> Codes;
        size_t Fought;
    };
    const TCase cases[] = {
        {{1, 0, 0}, 1}, {{2, 0, 0}, 1}, {{3, 0, 0}, 1}, {{0, 0, 0}, 3}, {{4, 4, 0}, 3}, {{0, 3, 0}, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.Codes));
        for (int32_t a : {EncMover, EncOther, EncOwner})
            Fighter(a, 1, AttackModeFight, 10, 0);
        for (int32_t a : {EncOther, EncOwner, PlayerArmy})
            Army(a).AbleCount = 1;
        MetArmies = {EncOther, EncOwner, PlayerArmy};
        StubCodes = c.Codes;
        StubFought.clear();
        FightMetArmies(EncMover, StubBattle);
        EXPECT_EQ(StubFought.size(), c.Fought);
    }

    // A party without an able personage is passed over.
    Army(EncOwner).AbleCount = 0;
    StubCodes.clear();
    StubFought.clear();
    FightMetArmies(EncMover, StubBattle);
    EXPECT_EQ(StubFought, (std::vector<int32_t>{EncOther, PlayerArmy}));
}

TEST_F(EncounterTest, AWonBuildingIsCaptured)
{
    Fighter(EncMover, 1, AttackModeFight, 10, 0);
    Army(EncMover).Group = 2;
    const int32_t garrison = GetGarrisonArmyIndex(1);

    // The garrison has nobody able: no battle, and the building is taken.
    MetArmies = {-1};
    StubFought.clear();
    SetMapBattle(StubBattle);
    EXPECT_EQ(AI_Army_BattleMetArmies(EncMover), 0);
    SetMapBattle(nullptr);
    EXPECT_TRUE(StubFought.empty());
    EXPECT_EQ(State(1).OwnerArmy, EncMover);

    // A lost battle against it leaves it where it was.
    State(1).OwnerArmy = -1;
    Army(garrison).AbleCount = 1;
    StubCodes = {3};
    EXPECT_EQ(FightMetArmies(EncMover, StubBattle), 3);
    EXPECT_EQ(State(1).OwnerArmy, -1);
    // Won: taken.
    StubCodes = {0};
    EXPECT_EQ(FightMetArmies(EncMover, StubBattle), 0);
    EXPECT_EQ(State(1).OwnerArmy, EncMover);
}
