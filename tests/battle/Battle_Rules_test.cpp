// The battle rule settings from "Options_AI.ini".
#include <gtest/gtest.h>

#include "battle/Battle.h"
#include "battle/Battle_Rules.h"
#include "tests/model/ModelTestSupport.h"

namespace {

class BattleRulesTest : public TGameFolderTest {
protected:
    void TearDown() override
    {
        ResetBattleGlobals();
        TGameFolderTest::TearDown();
    }
};

} // namespace

TEST_F(BattleRulesTest, NoFileKeepsTheBuiltInValues)
{
    MinDamage = 1;
    LoadBattleRules();
    EXPECT_TRUE(UseRetreat);
    EXPECT_FALSE(FriendlyFear);
    EXPECT_EQ(BattleEndTurn, 25);
    EXPECT_EQ(MinDamage, 5);
    EXPECT_EQ(MinManaCost, 5);
    const int64_t builtIn[6] = {10000, 40000, 10000, 10000, 10000, 10000};
    for (int k = 1; k <= 6; ++k)
        EXPECT_EQ(ExpCorrection[k], builtIn[k - 1]) << k;
    EXPECT_EQ(BadWound, -2500);
}

TEST_F(BattleRulesTest, MissingKeysGiveTheReadersDefaults)
{
    Write("Config\\Options_AI.ini", "[MainAI]\r\nWaitMinArmyDist=3\r\n[DefaultRules]\r\nMinDamage=7\r\n");
    LoadBattleRules();
    EXPECT_FALSE(UseRetreat);
    EXPECT_EQ(MinDamage, 7);
    EXPECT_EQ(BattleEndTurn, 25);
    EXPECT_EQ(MinManaCost, 5);
    const int64_t defaults[6] = {10000, 40000, 10000, 30000, 10000, 30000};
    for (int k = 1; k <= 6; ++k)
        EXPECT_EQ(ExpCorrection[k], defaults[k - 1]) << k;
    EXPECT_EQ(BadWound, -2500);
}

TEST_F(BattleRulesTest, ReadsTheSection)
{
    Write("Config\\Options_AI.ini", "[DefaultRules]\r\nFriendlyFear=yes\r\nBattleEndTurn=12\r\nMinManaCost=2\r\n"
                                    "ExpCorrection=1.5, 2.25, 0.33335, 1\r\nBadWound=0.4\r\n");
    LoadBattleRules();
    EXPECT_TRUE(FriendlyFear);
    EXPECT_EQ(BattleEndTurn, 12);
    EXPECT_EQ(MinManaCost, 2);
    EXPECT_EQ(ExpCorrection[1], 15000);
    EXPECT_EQ(ExpCorrection[2], 22500);
    EXPECT_EQ(ExpCorrection[3], 3334);
    EXPECT_EQ(ExpCorrection[4], 10000);
    EXPECT_EQ(ExpCorrection[5], 10000);
    EXPECT_EQ(ExpCorrection[6], 30000);
    EXPECT_EQ(BadWound, -4000);
}

TEST_F(BattleRulesTest, YesNoSpellings)
{
    struct TCase {
        const char* Value;
        bool Expected;
    };
    const TCase cases[] = {{"Yes", true}, {"y", true},  {"1", true},   {"yes please", true}, {"no", false},
                           {"No", false}, {"0", false}, {"10", false}, {"true", false},      {"", false}};
    for (const TCase& c : cases) {
        Write("Config\\Options_AI.ini", std::string("[DefaultRules]\r\nUseRetreat=") + c.Value + "\r\n");
        LoadBattleRules();
        EXPECT_EQ(UseRetreat, c.Expected) << '"' << c.Value << '"';
    }
}
