// The sample installation's rule settings: they load with the tables, every
// unit type reloads in every mode without a complaint, and the recruit pools
// and personal names come out of the sample files.
#include <gtest/gtest.h>

#include <cstring>

#include "model/ai/AIMain_Settings.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"
#include "model/Support.h"
#include "model/world/World_Tables.h"
#include "tests/model/ModelTestSupport.h"
#include "tests/model/RulesTestSupport.h"

namespace {

class SampleRulesTest : public TSampleInstallationTest, protected TRuleTables {
protected:
    void SetUp() override
    {
        ResetTables();
        TSampleInstallationTest::SetUp();
        LoadBonuses();
        LoadSpells();
        LoadItems();
        LoadUnitTypes();
        AI_LoadSettings();
    }
    void TearDown() override
    {
        TSampleInstallationTest::TearDown();
        ResetTables();
    }
};

} // namespace

TEST_F(SampleRulesTest, SettingsLoadFromTheSampleFiles)
{
    EXPECT_TRUE(TableLoadErrors.empty());
    EXPECT_EQ(GetEngineErrorText(), "");
    ASSERT_GT(UnitTypeCount, 0);
    EXPECT_TRUE(UseUnitPersonalization);
    EXPECT_FALSE(PersonalNames.PlebMen.empty());
    EXPECT_FALSE(PersonalNames.NobleWomen.empty());
    EXPECT_FALSE(FeatureTable.empty());
    for (const TFeature& f : FeatureTable)
        EXPECT_GT(f.NameCount, 0) << f.Code;
    for (int l = 1; l <= 3; ++l)
        EXPECT_GT(FeatureCounts[l], 0) << "list " << l;
    for (int c = 1; c <= 5; ++c)
        EXPECT_GT(AIProfiles[c].RandomTarget, 0) << "profile " << c;
    for (int d = 1; d <= 4; ++d)
        EXPECT_NE(DifficultyRules[d].SellIncorrectItem, 0) << "difficulty " << d;
    for (int i = 1; i <= 3; ++i) {
        const TItems* trophy = FindItem(BattleTrophies[i]);
        ASSERT_NE(trophy, nullptr);
        EXPECT_EQ(trophy->MainType, static_cast<uint8_t>(TItemType::Item));
    }
    // Every template was reloaded: stats, attack mode and strength are set.
    for (int32_t t = 1; t <= UnitTypeCount; ++t) {
        EXPECT_GT(UnitTypes[t].Stats[1], 0) << UnitTypes[t].Name.Str();
        EXPECT_GT(UnitTypes[t].Strength, 0) << UnitTypes[t].Name.Str();
        EXPECT_GT(UnitTypes[t].NextLevelExp, 0) << UnitTypes[t].Name.Str();
    }
    int pooled = 0;
    for (int pool = 0; pool < RecruitPoolCount; ++pool) {
        EXPECT_EQ(static_cast<size_t>(RecruitPools[pool].Weighted[0]) + 1, RecruitPools[pool].Weighted.size());
        pooled += RecruitPools[pool].Unique[0];
    }
    EXPECT_GT(pooled, 0);
}

TEST_F(SampleRulesTest, EveryUnitTypeReloadsInEveryMode)
{
    PersonalizationEnabled = 1;
    PersonalizationLevel = 3;
    GameSeed = 31337;
    struct TCase {
        uint8_t Mode;
        int32_t Arg;
    };
    std::vector<TCase> cases = {{4, -1}, {5, -1}, {6, -1}, {6, 0}};
    for (int32_t arg = 1; arg <= 49; ++arg)
        cases.push_back({6, arg});
    for (int32_t t = 1; t <= UnitTypeCount; ++t) {
        for (const TCase& c : cases) {
            TPersonage p;
            std::memset(static_cast<void*>(&p), 0, sizeof p);
            p.UnitType = t;
            p.PersonalSeed = 1 + t * 97 % 30000;
            RandomSeed = static_cast<uint32_t>(t * 1000 + c.Arg);
            TIntArray removed;
            ReloadPersonage(p, c.Mode, c.Arg, removed);
            const std::string what =
                UnitTypes[t].Name.Str() + " mode " + std::to_string(c.Mode) + " arg " + std::to_string(c.Arg);
            EXPECT_TRUE(removed.empty()) << what;
            EXPECT_EQ(p.Hits, p.Stats[1]) << what;
            EXPECT_GE(p.Stats[2], 1) << what;
            EXPECT_FALSE(p.Name.Empty()) << what;
            for (int s = 1; s <= 14; ++s)
                EXPECT_TRUE(p.Equipment[s] == 0 || FindItem(p.Equipment[s]) != nullptr) << what << " slot " << s;

            // The kept modes on the new personage: a refresh changes nothing
            // of a fresh record, and the other modes complete.
            TPersonage copy = p;
            ReloadPersonage(copy, 0, -1, removed);
            const TPersonage once = copy;
            ReloadPersonage(copy, 0, -1, removed);
            EXPECT_EQ(std::memcmp(&copy, &once, sizeof copy), 0) << what;
            copy.Wounds = 1;
            ReloadPersonage(copy, 0, -1, removed);
            EXPECT_LE(copy.Hits, copy.Stats[1]) << what << " wounded";
            copy.ExpLevel = 2;
            for (uint8_t mode : {1, 2, 7, 0}) {
                ReloadPersonage(copy, mode, -1, removed);
                EXPECT_LE(copy.Hits, copy.Stats[1]) << what << " then mode " << int(mode);
            }
            TPersonage battle;
            PrepareBattleCopy(copy, battle);
            EXPECT_LE(battle.AbilityCount, 6);
        }
    }
    EXPECT_TRUE(TableLoadErrors.empty());
    EXPECT_EQ(GetEngineErrorText(), "");
}

TEST_F(SampleRulesTest, SampleArmyGainsLevelsAndUpgrades)
{
    GameArmies.resize(1);
    std::memset(static_cast<void*>(GameArmies.data()), 0, sizeof(TGameArmy));
    ArmyUnits.resize(1);
    std::memset(static_cast<void*>(ArmyUnits.data()), 0, sizeof(TArmyUnits));
    ArmyItems.assign(1, TIntArray{0});
    int slot = 0;
    for (int32_t t = 1; t <= UnitTypeCount && slot < 15; ++t) {
        TPersonage& p = ArmyUnits[0][++slot];
        std::memset(static_cast<void*>(&p), 0, sizeof p);
        p.UnitType = t;
        ReloadPersonage(p, 4);
        p.Experience = 5000;
        TIntArray removed;
        LevelUp(0, slot, -1, removed);
        EXPECT_GT(p.ExpLevel, 0) << p.Name.Str();
        LevelUp(0, slot, 0, removed);
        EXPECT_GT(p.Hits, 0) << p.Name.Str();
        EXPECT_GE(p.UnitType, 1);
    }
    EXPECT_TRUE(TableLoadErrors.empty());
}
