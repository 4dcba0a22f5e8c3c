// Wounds, experience and levels, battle copies.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/model/RulesTestSupport.h"

namespace {

class PersonageLevelTest : public TRulesTest {};

} // namespace

TEST_F(PersonageLevelTest, WoundsScaleHealthAndInitiative)
{
    struct TRow {
        int Wounds;
        bool Important;
        int Hits, Initiative;
    };
    // WoundLimit 4, 50 hits and initiative 10: one wound leaves 37.5 -> 38 and 7.5 -> 8.
    const TRow rows[] = {
        {0, false, 50, 10}, {1, false, 38, 8}, {2, false, 25, 5}, {3, false, 12, 2},
        {4, false, 0, 0},   {4, true, 1, 1},   {6, false, 0, 0},
    };
    AddType("Footman");
    for (const TRow& row : rows) {
        TPersonage p = Make(1);
        p.Wounds = row.Wounds;
        p.ImportantNPC = row.Important;
        ApplyWoundStats(p, 0);
        EXPECT_EQ(p.FullHits, 50);
        EXPECT_EQ(p.Stats[1], row.Hits) << row.Wounds << (row.Important ? " important" : "");
        EXPECT_EQ(p.Stats[2], row.Initiative) << row.Wounds;
    }

    // Modes 19, 21, 25, 26 and 4 scale from the full values.
    TPersonage p = Make(1);
    p.Stats[1] = 99;
    p.Wounds = 9;
    ApplyWoundStats(p, 19);
    EXPECT_EQ(p.Wounds, 4);
    EXPECT_EQ(p.FullHits, 50);
    EXPECT_EQ(p.Stats[1], 0);
    p.Wounds = 1;
    p.Hits = 10;
    ApplyWoundStats(p, 25);
    EXPECT_EQ(p.Stats[1], 38);
    EXPECT_EQ(p.Hits, 38);
    p.Wounds = 2;
    ApplyWoundStats(p, 26);
    EXPECT_EQ(p.Hits, 25);
    p.Wounds = 3;
    ApplyWoundStats(p, 4);
    EXPECT_EQ(p.RefStats[1], 12);
    EXPECT_EQ(p.Hits, 12);
    EXPECT_EQ(p.Stats[1], 25);
    ApplyWoundStats(p, 3); // not a mode: nothing
    EXPECT_EQ(p.Stats[1], 25);

    // Without a wound limit nothing divides by zero: no scaling.
    p.WoundLimit = 0;
    ApplyWoundStats(p, 21);
    EXPECT_EQ(p.Stats[1], 50);
}

TEST_F(PersonageLevelTest, ReloadOfAWoundedPersonageKeepsItsLoss)
{
    AddType("Footman");
    TPersonage p = Make(1);
    EXPECT_EQ(p.Hits, 50);
    p.Hits = 30;
    p.Wounds = 1;
    ReloadPersonage(p, 0); // the maximum falls by 12: so does the health
    EXPECT_EQ(p.Stats[1], 38);
    EXPECT_EQ(p.Hits, 18);
    p.HitsDebt = -25;
    ReloadPersonage(p, 0);
    EXPECT_EQ(p.Hits, 1);
    EXPECT_EQ(p.HitsDebt, -8); // 18 - 25 = -7 leaves 1 hit and the rest owed
    p.HitsDebt = -5;
    p.Hits = 20;
    ReloadPersonage(p, 0);
    EXPECT_EQ(p.Hits, 15);
    EXPECT_EQ(p.HitsDebt, 0);
}

TEST_F(PersonageLevelTest, ExperienceGainsLevelsOverTwoThresholds)
{
    AddType("Knight"); // types 1..6 are the heroes
    TPersonage& p = PlaceInArmy(Make(1));
    ASSERT_EQ(p.NextLevelExp, 100);
    p.Experience = 260; // 100 for the first level, 150 for the second
    TIntArray removed;
    LevelUp(0, 1, -1, removed);
    EXPECT_EQ(p.ExpLevel, 2);
    EXPECT_EQ(p.Experience, 10);
    EXPECT_EQ(p.NextLevelExp, 225);
    EXPECT_EQ(p.UpgradePoints, 2);
    EXPECT_EQ(p.LevelUpFlag, 1);

    // Not enough for the next level: nothing.
    LevelUp(0, 1, -1, removed);
    EXPECT_EQ(p.ExpLevel, 2);

    // No health: no level.
    p.Experience = 1000;
    p.Hits = 0;
    LevelUp(0, 1, -1, removed);
    EXPECT_EQ(p.ExpLevel, 2);
}

TEST_F(PersonageLevelTest, FlatCurveStopsGainingLevels)
{
    TPersonage& t = AddType("Drifter");
    t.StartExpirience = 0;
    TPersonage& p = PlaceInArmy(Make(1));
    p.Experience = 50;
    TIntArray removed;
    LevelUp(0, 1, -1, removed);
    EXPECT_EQ(p.ExpLevel, 0);
    EXPECT_EQ(p.Experience, 50);
}

TEST_F(PersonageLevelTest, CountersFromABrokenRecordDoNotWrap)
{
    // A record read back from a damaged file with its level counters at the
    // top of their range: levels and points stop there.
    for (int i = 1; i <= 7; ++i)
        AddType("Type" + std::to_string(i));
    TIntArray removed;
    // A hero gaining levels; a non-hero without an upgrade spending a point.
    const std::pair<int32_t, int32_t> rows[] = {{1, -1}, {7, 0}};
    for (const auto& [type, choice] : rows) {
        SCOPED_TRACE(choice);
        TPersonage& p = PlaceInArmy(Make(type));
        p.ExpLevel = INT32_MAX;
        p.UpgradePoints = INT32_MAX;
        p.Experience = 1000;
        p.NextLevelExp = 5;
        LevelUp(0, 1, choice, removed);
        EXPECT_EQ(p.ExpLevel, INT32_MAX);
        EXPECT_GE(p.UpgradePoints, INT32_MAX - 1);
    }
}

TEST_F(PersonageLevelTest, LevelGainHandsTakenOffItemsToTheArmy)
{
    for (int i = 0; i < 6; ++i)
        AddType("hero"); // 1..6
    const int32_t sword = AddItem(TItemType::Sword);
    TPersonage& t = AddType("Peasant");
    t.StartExpirience = 10;
    TPersonage& p = PlaceInArmy(Make(7), 2);
    p.Equipment[1] = sword; // the type has no weapon class: a level's reload takes it off
    p.Experience = 10;
    TIntArray removed;
    LevelUp(0, 2, -1, removed);
    EXPECT_EQ(p.ExpLevel, 1);
    EXPECT_EQ(p.Equipment[1], 0);
    EXPECT_EQ(removed, (TIntArray{sword}));
    ASSERT_EQ(GameArmies[0].ItemCount, 1);
    EXPECT_EQ(ArmyItems[0][1], sword);
}

TEST_F(PersonageLevelTest, SpendingAPointUpgradesOrRaisesTheLevel)
{
    for (int i = 0; i < 6; ++i)
        AddType("hero");                      // 1..6
    TPersonage& recruit = AddType("Recruit"); // 7
    AddType("Veteran");                       // 8
    recruit.NextUnit[2] = 8;
    TPersonage& plain = AddType("Plain"); // 9, no upgrade
    (void)plain;
    TRecordingSceneHooks scene;
    SetSceneHooks(&scene);

    TPersonage& p = PlaceInArmy(Make(7), 1);
    p.Experience = 120;
    TIntArray removed;
    LevelUp(0, 1, -1, removed);
    EXPECT_EQ(p.ExpLevel, 1);
    EXPECT_EQ(p.UpgradePoints, 1);
    EXPECT_EQ(p.Experience, 20);
    p.Experience = 160;        // above the new threshold of 150
    LevelUp(0, 1, 0, removed); // random among the non-zero NextUnit: type 8
    EXPECT_EQ(p.UnitType, 8);
    EXPECT_EQ(p.ExpLevel, 0);
    EXPECT_EQ(p.Experience, 10);
    EXPECT_EQ(p.UpgradePoints, 0);
    EXPECT_EQ(p.LevelUpFlag, 0);
    EXPECT_EQ(p.Name.Str(), "Veteran");
    EXPECT_EQ(scene.Updated, (std::vector<int32_t>{0}));

    // A type without an upgrade gains a level instead.
    TPersonage& q = PlaceInArmy(Make(9), 3);
    q.UpgradePoints = 1;
    LevelUp(0, 3, 0, removed);
    EXPECT_EQ(q.UnitType, 9);
    EXPECT_EQ(q.ExpLevel, 1);
    EXPECT_EQ(q.UpgradePoints, 0);
    EXPECT_EQ(scene.Updated.size(), 1u); // not the leader's slot
}

TEST_F(PersonageLevelTest, HeroTalentsFollowTheirPrerequisites)
{
    // Group 14 is hero type 1's tree: entry 1 a root, entry 2 needs entry 1,
    // entry 3 needs entry 2. Group 20 holds a common root.
    BonusGroupCount[14] = 3;
    BonusTable[14][1].Mode = tIronHealth;
    BonusTable[14][2].Mode = tMountedCombat;
    BonusTable[14][2].Previous = 1;
    BonusTable[14][3].Mode = tTournamentHero;
    BonusTable[14][3].Previous = 2;
    BonusGroupCount[20] = 1;
    BonusTable[20][1].Mode = tCommander;
    AddType("Knight").Kind = static_cast<uint8_t>(TPersNature::Hero);
    TPersonage& p = PlaceInArmy(Make(1));
    p.ExpLevel = 2;
    p.UpgradePoints = 2;
    TIntArray removed;

    LevelUp(0, 1, 1402, removed); // a code names group and entry
    EXPECT_EQ(p.Talents[1], tMountedCombat);
    EXPECT_EQ(p.Horse, 1); // the talent lets the hero ride
    EXPECT_EQ(p.UpgradePoints, 1);

    // Random choice: the candidates are 1401, 2001 and, with tMountedCombat
    // held, 1403; never a talent whose prerequisite is missing.
    for (uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {
        TPersonage copy = p;
        TPersonage& h = PlaceInArmy(copy, 2);
        h.Talents[2] = 0;
        RandomSeed = seed;
        LevelUp(0, 2, 0, removed);
        const uint8_t talent = h.Talents[2];
        EXPECT_TRUE(talent == tIronHealth || talent == tCommander || talent == tTournamentHero) << int(talent);
    }

    // A talent place outside the list takes the first free place.
    p.UpgradePoints = 40;
    LevelUp(0, 1, 2001, removed);
    EXPECT_EQ(p.Talents[2], tCommander);
}

TEST_F(PersonageLevelTest, BattleCopyPreparesTheBattleFields)
{
    const int32_t bow = AddItem(TItemType::Bow);
    const int32_t potion = AddItem(TItemType::Potion);
    const int32_t shield = AddItem(TItemType::Shield, 2);
    const int32_t spear = AddItem(TItemType::Spear);
    // Group 3: abilities with and without weapon conditions; group 15: talents.
    BonusGroupCount[3] = 3;
    BonusTable[3][1] = TBonusTTX{};
    BonusTable[3][1].Mode = pAimedShot;
    BonusTable[3][1].Active = true;
    BonusTable[3][2].Mode = pParry;
    BonusTable[3][2].Active = true;
    BonusTable[3][3].Mode = pCover;
    BonusTable[3][3].Active = true;
    BonusGroupCount[15] = 2;
    BonusTable[15][1].Mode = tAimedShot;
    BonusTable[15][1].Active = true;
    BonusTable[15][2].Mode = tStream; // not active
    TPersonage& t = AddType("Archer");
    t.BaseStats[3] = 0;
    t.BaseStats[4] = 12;
    t.BaseStats[5] = 0;
    TPersonage src = Make(1);
    src.Equipment[1] = bow;
    src.Equipment[9] = potion;
    src.Equipment[10] = potion;
    src.BonusSet.Include(pAimedShot);
    src.BonusSet.Include(pParry);
    src.BonusSet.Include(pCover);
    src.BonusSet.Include(tAimedShot);
    src.BonusSet.Include(tStream);
    src.Stats[5] = 6;
    src.Mana = 0;
    src.Hits = 41;
    src.WorkHits = 77; // battle bytes of a copy start from the source's

    TPersonage dst;
    std::memset(static_cast<void*>(&dst), 0xCD, sizeof dst);
    PrepareBattleCopy(src, dst);
    EXPECT_EQ(std::memcmp(&dst.RefStats, &src.Stats, 16), 0);
    EXPECT_EQ(std::memcmp(&dst.RefPersBonus, &src.PersBonus, 16), 0);
    EXPECT_EQ(dst.BattleStartHits, 41);
    EXPECT_EQ(dst.WorkHits, 77);
    EXPECT_EQ(dst.Mana, 6);
    EXPECT_EQ(dst.RoundActionPoints, 1);
    EXPECT_EQ(dst.ActionPointsLeft, 1);
    EXPECT_EQ(dst.HitsTaken, 0);
    EXPECT_EQ(dst.ShieldInHand, 0);
    EXPECT_EQ(dst.PolearmInHand, 0);
    EXPECT_EQ(dst.Mounted, 0);
    // pAimedShot with the bow, pParry; pCover needs a shield; tAimedShot with
    // a bow enters as pAimedShot.
    ASSERT_EQ(dst.AbilityCount, 3);
    EXPECT_EQ(dst.Abilities[1], pAimedShot);
    EXPECT_EQ(dst.Abilities[2], pParry);
    EXPECT_EQ(dst.Abilities[3], pAimedShot);
    EXPECT_EQ(dst.BeltPotionCount, 2);
    EXPECT_EQ(dst.BeltPotionSlots[1], 1);
    EXPECT_EQ(dst.BeltPotionSlots[2], 2);

    // A spear and a kite shield: polearm and shield in hand, pCover allowed,
    // tAimedShot without a bow becomes pPiercingShot.
    src.Equipment[1] = spear;
    src.Equipment[2] = shield;
    src.Equipment[9] = 0;
    PrepareBattleCopy(src, dst);
    EXPECT_EQ(dst.ShieldInHand, 1);
    EXPECT_EQ(dst.PolearmInHand, 1);
    ASSERT_EQ(dst.AbilityCount, 3);
    EXPECT_EQ(dst.Abilities[1], pParry);
    EXPECT_EQ(dst.Abilities[2], pCover);
    EXPECT_EQ(dst.Abilities[3], pPiercingShot);
    EXPECT_EQ(dst.BeltPotionCount, 1);
    EXPECT_EQ(dst.BeltPotionSlots[1], 2);
}
