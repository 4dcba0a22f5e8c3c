// World-rule settings, personal names and recruit pools.
#include <gtest/gtest.h>

#include "model/ai/AIMain_Random.h"
#include "model/ai/AIMain_Settings.h"
#include "tests/model/ModelTestSupport.h"
#include "tests/model/RulesTestSupport.h"

namespace {

class AISettingsTest : public TGameFolderTest, protected TRuleTables {
protected:
    void SetUp() override
    {
        TGameFolderTest::SetUp();
        ResetTables();
    }
    void TearDown() override
    {
        ResetTables();
        TGameFolderTest::TearDown();
    }
};

const char* const SettingsText = "[MainAI]\r\n"
                                 "AtackArmyPriorityNormal=3, 4.5, 0, 1, 2\r\n"
                                 "RandomTargetPriority=25, 0, 100\r\n"
                                 "MinPurchaseTarget=2, 3\r\n"
                                 "MaxPurchaseTarget=7, 3\r\n"
                                 "GoldPurchaseTarget=150\r\n"
                                 "MinSellingTarget=1\r\n"
                                 "MaxSellingTarget=6\r\n"
                                 "MinVillageTarget=12\r\n"
                                 "TimeWaitInField=45, 30\r\n"
                                 "WaitMinArmyDist=14\r\n"
                                 "BattleTrophies=32, 33, 34\r\n"
                                 "BattleTrophiesMultiplier=3, 5, 8\r\n"
                                 "SummonGhostIndex=7, 8, 9, 10, 11, 12, 13, 14\r\n"
                                 "MisticBattleShield=25\r\n"
                                 "[Difficulty]\r\n"
                                 "HeroIncome=130, 100, 85, 70\r\n"
                                 "GoldCorrection=20, 0, -10, -20\r\n"
                                 "TestStrikeMode=Yes, 1, No, y\r\n"
                                 "[ArmyBehavior]\r\n"
                                 "Bandits=Yes, 0, 20.5, 6, 2, Ruin, Cave, Nowhere\r\n"
                                 "Trader=No, Yes, 8.25, 18, 0.5, Town, None\r\n"
                                 "[UnitHeal]\r\n"
                                 "MinHealingCost=6\r\n"
                                 "NobleHealing=18\r\n"
                                 "[UnitCost]\r\n"
                                 "LeaderMaintenance=20\r\n"
                                 "[HeroBehavior]\r\n"
                                 "DetectionRange=28\r\n"
                                 "ArmyVisibility=36\r\n"
                                 "[Personalization]\r\n"
                                 "UseUnitPersonalization=Yes\r\n"
                                 "SmallRandomCount=3\r\n"
                                 "SmallRandomMaxDelta=6, 1, 2, 0, 3, 1, 1, 2\r\n"
                                 "FeaturesPercent=30\r\n"
                                 "Features00=STRONG, 3, HP, 5, AT, 2\r\n"
                                 "Features01=QCK, 2, IN, 1, XX, 9, DF, 1\r\n"
                                 "Features02=EYE, 1, AT, 1, SH, 2\r\n"
                                 "Features04=LOST, 5, MP, 4\r\n"
                                 "[PoketMoney]\r\n"
                                 "Leader=1.5, 15, 120\r\n"
                                 "Merchant=0.0125, 25, 200\r\n"
                                 "[Economic]\r\n"
                                 "CastleGoldReservePercent=40\r\n"
                                 "OtherBuildingGoldReservePercent=25\r\n";

const char* const NamesText = "[NobleNames]\r\nMan=Aldo, Berin\r\nWoman=Cara\r\n"
                              "[PriestNames]\r\nMan=Dorn\r\nWoman=Elsa\r\n"
                              "[PlebNames]\r\nMan=Finn, Gus, \r\nWoman=Hild\r\n"
                              "[Features]\r\nSTR=the Strong, the Strong, Oakarm, Oakarm, Third, Third, Fourth, "
                              "Fourth\r\nEYE=Hawkeye, Hawkeye\r\n";

} // namespace

TEST_F(AISettingsTest, ReadsTheRuleTables)
{
    Write("Config\\Options_AI.ini", SettingsText);
    Write("Config\\Eng\\Duskmarch_Names.Eng", NamesText);
    AI_LoadSettings();

    EXPECT_EQ(AIProfiles[1].AttackArmyNormal, 30);
    EXPECT_EQ(AIProfiles[2].AttackArmyNormal, 45);
    EXPECT_EQ(AIProfiles[1].RandomTarget, 750);
    EXPECT_EQ(AIProfiles[2].RandomTarget, 1000);
    EXPECT_EQ(AIProfiles[3].RandomTarget, 0);
    EXPECT_EQ(AIProfiles[4].RandomTarget, 1000); // missing item
    EXPECT_EQ(AIProfiles[1].PurchaseRange, 50);
    EXPECT_EQ(AIProfiles[2].PurchaseRange, 0);
    EXPECT_EQ(AIProfiles[1].GoldPurchase, 150); // as read, not x10
    EXPECT_EQ(AIProfiles[1].SellingRange, 50);
    EXPECT_EQ(AIProfiles[1].MinVillage, 12);
    EXPECT_EQ(AIProfiles[2].TimeWaitInField, 30);
    EXPECT_EQ(WaitMinArmyDist, 14);
    EXPECT_EQ(BattleTrophies[3], 34);
    EXPECT_EQ(BattleTrophiesMultiplier[2], 5);
    ASSERT_EQ(SummonGhostIndex.size(), 8u);
    EXPECT_EQ(SummonGhostIndex[0], 7);
    EXPECT_EQ(SummonGhostIndex[6], 13);
    EXPECT_EQ(SummonGhostIndex[7], 0); // item 8 is not read
    EXPECT_EQ(MisticBattleShield, 25);

    EXPECT_EQ(DifficultyRules[1].HeroIncome, 130);
    EXPECT_EQ(DifficultyRules[4].GoldCorrection, -20);
    EXPECT_TRUE(DifficultyRules[1].TestStrikeMode);
    EXPECT_TRUE(DifficultyRules[2].TestStrikeMode); // "1"
    EXPECT_FALSE(DifficultyRules[3].TestStrikeMode);
    EXPECT_TRUE(DifficultyRules[4].TestStrikeMode);
    EXPECT_FALSE(DifficultyRules[1].BattleAction);

    const TArmyBehaviorRules& bandits = ArmyBehaviorRules[static_cast<int>(TArmyBehavior::Bandits)];
    EXPECT_TRUE(bandits.Flag1);
    EXPECT_FALSE(bandits.Flag2);
    EXPECT_EQ(bandits.ActiveFrom, 1230);
    EXPECT_EQ(bandits.ActiveTo, 360);
    EXPECT_EQ(bandits.RestTime, 120);
    EXPECT_EQ(bandits.RestBuildings, (1 << 13) | (1 << 17)); // an unknown name adds nothing
    const TArmyBehaviorRules& trader = ArmyBehaviorRules[static_cast<int>(TArmyBehavior::Trader)];
    EXPECT_FALSE(trader.Flag1);
    EXPECT_TRUE(trader.Flag2);
    EXPECT_EQ(trader.ActiveFrom, 495);
    EXPECT_EQ(trader.RestTime, 30);
    EXPECT_EQ(trader.RestBuildings, (1 << 0) | (1 << 20));
    EXPECT_EQ(ArmyBehaviorRules[0].RestBuildings, 0);

    EXPECT_EQ(MinHealingCost, 6);
    EXPECT_EQ(NobleHealing, 18);
    EXPECT_EQ(LeaderMaintenance, 20);
    EXPECT_EQ(DetectionRange, 28);
    EXPECT_EQ(ArmyVisibility, 36);
    EXPECT_EQ(CastleGoldReservePercent, 40);
    EXPECT_EQ(VillageGoldReservePercent, 0);
    EXPECT_EQ(OtherBuildingGoldReservePercent, 25);

    EXPECT_EQ(PoketMoneyRules[static_cast<int>(TPersNature::Leader)].Factor, 15000);
    EXPECT_EQ(PoketMoneyRules[static_cast<int>(TPersNature::Leader)].Max, 120);
    EXPECT_EQ(PoketMoneyRules[static_cast<int>(TPersNature::Merchant)].Factor, 125);
    EXPECT_EQ(PoketMoneyRules[static_cast<int>(TPersNature::Hero)].Min, 0);
}

TEST_F(AISettingsTest, ReadsPersonalizationFeaturesAndNames)
{
    Write("Config\\Options_AI.ini", SettingsText);
    Write("Config\\Eng\\Duskmarch_Names.Eng", NamesText);
    AI_LoadSettings();

    EXPECT_TRUE(UseUnitPersonalization);
    EXPECT_EQ(SmallRandomCount, 3);
    EXPECT_EQ(SmallRandomMaxDelta[1], 7);
    EXPECT_EQ(SmallRandomMaxDelta[3], 3);
    EXPECT_EQ(SmallRandomMaxDelta[4], 1);
    EXPECT_EQ(FeaturesPercent, 30);

    // 00..02 are read; 04 is not, as 03 is missing.
    ASSERT_EQ(FeatureTable.size(), 3u);
    EXPECT_EQ(FeatureTable[0].Code, "STR");
    EXPECT_EQ(FeatureTable[0].Weight, 3);
    EXPECT_EQ(FeatureTable[0].StatDelta[1], 5);
    EXPECT_EQ(FeatureTable[0].StatDelta[3], 2);
    EXPECT_EQ(FeatureTable[1].StatDelta[2], 1);
    EXPECT_EQ(FeatureTable[1].StatDelta[6], 1); // the unknown code is skipped, reading goes on
    // Feature 0 (AT) goes to the fighters 3 times, feature 1 (no attack
    // code) into all three lists twice, feature 2 (AT then SH) to the shooters.
    EXPECT_EQ(FeatureLists[1], (TIntArray{0, 0, 0, 1, 1}));
    EXPECT_EQ(FeatureLists[2], (TIntArray{1, 1, 2}));
    EXPECT_EQ(FeatureLists[3], (TIntArray{1, 1}));
    EXPECT_EQ(FeatureCounts[1], 5);
    EXPECT_EQ(FeatureCounts[2], 3);
    EXPECT_EQ(FeatureCounts[3], 2);

    // Names: three pairs at most; the feature without a key gets none.
    EXPECT_EQ(FeatureTable[0].NameCount, 3);
    EXPECT_EQ(FeatureTable[0].MaleNames[2], "Oakarm");
    EXPECT_EQ(FeatureTable[0].FemaleNames[3], "Third");
    EXPECT_EQ(FeatureTable[1].NameCount, 0);
    EXPECT_EQ(FeatureTable[2].NameCount, 1);
    EXPECT_EQ(FeatureTable[2].FemaleNames[1], "Hawkeye");
    EXPECT_EQ(PersonalNames.NobleMen, (TStringArray{"Aldo", "Berin"}));
    EXPECT_EQ(PersonalNames.PlebMen, (TStringArray{"Finn", "Gus"}));
    EXPECT_TRUE(PersonalNames.MerchantMen.empty());
}

TEST_F(AISettingsTest, MissingPartsReadAsZero)
{
    // A missing section reads as zeros, not as the keys of the section before.
    Write("Config\\Options_AI.ini",
          "[MainAI]\r\nHeroIncome=50\r\nNobleHealing=9\r\nFeatures01=LOST, 5, AT, 1\r\nUseUnitPersonalization=Yes\r\n");
    Write("Config\\Eng\\Duskmarch_Names.Eng", NamesText);
    AI_LoadSettings();
    EXPECT_EQ(DifficultyRules[1].HeroIncome, 0);
    EXPECT_EQ(NobleHealing, 0);
    EXPECT_FALSE(UseUnitPersonalization);
    EXPECT_TRUE(FeatureTable.empty());
    EXPECT_EQ(AIProfiles[1].RandomTarget, 1000);
}

TEST_F(AISettingsTest, WithoutTheFilesEverythingStaysZero)
{
    AI_LoadSettings();
    EXPECT_EQ(AIProfiles[1].RandomTarget, 0);
    EXPECT_FALSE(UseUnitPersonalization);
    for (int pool = 0; pool < RecruitPoolCount; ++pool)
        EXPECT_EQ(RecruitPools[pool].Weighted[0], 0);

    // Settings without a names file: personalization is switched off.
    Write("Config\\Options_AI.ini", SettingsText);
    AI_LoadSettings();
    EXPECT_FALSE(UseUnitPersonalization);
    EXPECT_EQ(FeatureTable.size(), 3u);
    EXPECT_TRUE(PersonalNames.NobleMen.empty());
}

TEST_F(AISettingsTest, NamesFileFallsBackToTheFallbackLanguage)
{
    Write("Config\\Options_AI.ini", SettingsText);
    Write("Config\\Eng\\Duskmarch_Names.Eng", NamesText);
    SetGameLanguage("deu");
    AI_LoadSettings();
    EXPECT_TRUE(UseUnitPersonalization);
    EXPECT_EQ(PersonalNames.PriestWomen, (TStringArray{"Elsa"}));
}

TEST_F(AISettingsTest, RecruitPoolsWeighByLevelAndAttackMode)
{
    struct TRow {
        const char* Name;
        TPersNature Kind;
        int Level;
        int Stat; // 3 fighter, 4 shooter, 5 caster
        bool Used;
        TPersNature Nature;
    };
    const TRow rows[] = {
        {"recruit1 fighter", TPersNature::Recruit, 1, 3, true, TPersNature::People},  // 1
        {"recruit2 shooter", TPersNature::Recruit, 2, 4, true, TPersNature::People},  // 2
        {"rogue3 fighter", TPersNature::Rogue, 3, 3, true, TPersNature::People},      // 3
        {"leader4 shooter", TPersNature::Leader, 4, 4, true, TPersNature::People},    // 4
        {"military5 caster", TPersNature::Military, 5, 5, true, TPersNature::People}, // 5
        {"garrison fighter", TPersNature::Garrison, 1, 3, true, TPersNature::People}, // 6
        {"unused recruit", TPersNature::Recruit, 1, 3, false, TPersNature::People},   // 7
        {"undead recruit", TPersNature::Recruit, 1, 3, true, TPersNature::Undead},    // 8
    };
    for (const TRow& row : rows) {
        TPersonage& t = AddType(row.Name);
        t.Kind = static_cast<uint8_t>(row.Kind);
        t.Level = row.Level;
        t.Used = row.Used;
        t.Nature = static_cast<uint8_t>(row.Nature);
        t.BaseStats[3] = 0;
        t.BaseStats[row.Stat] = 20;
    }
    AI_LoadSettings();
    EXPECT_EQ(UnitTypes[1].AttackMode, AttackModeFight);
    EXPECT_EQ(UnitTypes[4].AttackMode, AttackModeShoot);

    auto count = [](int pool, int type) {
        int n = 0;
        const TIntArray& w = RecruitPools[pool].Weighted;
        for (size_t i = 1; i < w.size(); ++i)
            n += w[i] == type;
        EXPECT_EQ(static_cast<size_t>(w[0]) + 1, w.size()) << "pool " << pool;
        return n;
    };
    EXPECT_EQ(count(0, 1), 16); // weight 4, fighter x4
    EXPECT_EQ(count(0, 2), 2);  // level 2: weight 1, shooter x2
    EXPECT_EQ(count(1, 2), 8);  // weight 4, shooter x2
    EXPECT_EQ(count(2, 3), 4);  // weight 1, fighter x4
    EXPECT_EQ(count(4, 4), 8);
    EXPECT_EQ(count(6, 4), 8);
    EXPECT_EQ(count(7, 4), 8);
    EXPECT_EQ(count(5, 5), 1); // level 5: weight 1, caster x1
    EXPECT_EQ(count(7, 5), 1);
    EXPECT_EQ(count(8, 6), 4);
    EXPECT_EQ(RecruitPools[0].Unique, (TIntArray{2, 1, 2}));
    EXPECT_EQ(RecruitPools[7].Unique, (TIntArray{2, 4, 5}));
    for (int pool = 0; pool < RecruitPoolCount; ++pool)
        for (int type : {7, 8})
            EXPECT_EQ(count(pool, type), 0) << "pool " << pool << " type " << type;
}

TEST(SeedRandomFixedTest, SeedsFromTheGameSeedAndTheCase)
{
    const int32_t saved = GameSeed;
    GameSeed = 70000;
    SeedRandomFixed(3, 5, 7);
    EXPECT_EQ(RandomSeed, 30000u + 70000u + 500u + 7u);
    GameSeed = 2147483000;
    SeedRandomFixed(1, 0, 0); // wraps as a 32-bit sum
    EXPECT_EQ(RandomSeed, static_cast<uint32_t>(2147483000u + 10000u));
    GameSeed = saved;
}

TEST_F(AISettingsTest, AbsurdNumbersStayInRange)
{
    Write("Config\\Options_AI.ini",
          "[MainAI]\r\nRandomTargetPriority=900000000000000, -900000000000000, "
          "nan\r\nMinPurchaseTarget=-300000000\r\nMaxPurchaseTarget=300000000\r\n"
          "[ArmyBehavior]\r\nHero=Yes, Yes, 1000000000000, -1000000000000, 99999999999\r\n"
          "[Personalization]\r\nSmallRandomMaxDelta=2147483647\r\nFeatures00=BIG, 2000000000, AT, 1\r\n"
          "[PoketMoney]\r\nLeader=99999999999999999999999999999, 1, 2\r\n");
    AI_LoadSettings();
    EXPECT_EQ(AIProfiles[1].RandomTarget, 1000 - 2147483647);
    EXPECT_EQ(AIProfiles[2].RandomTarget, 2147483647);
    EXPECT_EQ(AIProfiles[1].PurchaseRange, 2147483647);
    EXPECT_EQ(ArmyBehaviorRules[0].ActiveFrom, 2147483647);
    EXPECT_EQ(ArmyBehaviorRules[0].ActiveTo, -2147483647 - 1);
    EXPECT_EQ(SmallRandomMaxDelta[1], 2147483647);
    EXPECT_EQ(FeatureLists[1].size(), 10000u);
    EXPECT_EQ(PoketMoneyRules[static_cast<int>(TPersNature::Leader)].Factor, 2147483647);
}
