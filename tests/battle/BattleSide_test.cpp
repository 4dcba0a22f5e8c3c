// The battle side record and its builder.
#include <gtest/gtest.h>

#include <cstring>

#include "battle/Battle_Field.h"
#include "model/ai/AIMain_Settings.h"
#include "battle/BattleSide.h"
#include "tests/model/WorldTestSupport.h"

namespace {

class BattleSideTest : public ::testing::Test, protected TWorldTables {
protected:
    void SetUp() override
    {
        ResetWorld();
        MakeWorld(2, 1);
    }
    void TearDown() override { ResetWorld(); }

    // A fit personage in an army slot, standing on grid cell (row, column)
    // (row 0: outside the grid).
    static TPersonage& Put(int32_t army, int32_t slot, int32_t row, int32_t column)
    {
        TPersonage& p = Unit(army, slot);
        std::memset(static_cast<void*>(&p), 0, sizeof p);
        p.UnitType = 1;
        p.Hits = 20;
        p.Stats[1] = 20;
        p.FormationRow = row;
        p.FormationColumn = column;
        TGameArmy& record = Army(army);
        if (record.PersonageCount < slot)
            record.PersonageCount = static_cast<uint8_t>(slot);
        if (row > 0)
            record.Formation[row - 1][column - 1] = slot;
        return p;
    }

    std::unique_ptr<TBattleSide> Build(int32_t army, uint8_t flag)
    {
        auto side = std::make_unique<TBattleSide>();
        BuildBattleSide(army, flag, *side);
        return side;
    }
};

} // namespace

TEST_F(BattleSideTest, WhoTakesPart)
{
    struct TCase {
        const char* Name;
        int16_t LeaderHits;
        int16_t LeaderDebt;
        int16_t SecondDebt;
        int32_t Living;
        int32_t FirstSlot;
    };
    const TCase cases[] = {
        {"all fit", 20, 0, 0, 2, 1},
        {"leader with 1 health stays", 1, 0, 0, 1, 2},
        {"leader with debt goes", 20, 3, 0, 2, 1},
        {"second with debt stays", 20, 0, 3, 1, 1},
    };
    for (const TCase& c : cases) {
        Put(1, 1, 1, 3).Hits = c.LeaderHits;
        Unit(1, 1).UpkeepDebt = c.LeaderDebt;
        Put(1, 2, 2, 3).UpkeepDebt = c.SecondDebt;
        auto side = Build(1, 1);
        EXPECT_EQ(side->Army, 1) << c.Name;
        EXPECT_EQ(side->LivingCount, c.Living) << c.Name;
        EXPECT_EQ(side->ArmySlot[1], c.FirstSlot) << c.Name;
        EXPECT_EQ(side->Living[1], 1) << c.Name;
        EXPECT_EQ(side->PersonageCount, 0) << c.Name;
        // A skipped slot's cell stays empty.
        EXPECT_EQ(side->Formation[0][2], c.FirstSlot == 1 ? 1 : 0) << c.Name;
        EXPECT_EQ(side->Formation[1][2], c.Living == 2 || c.FirstSlot == 2 ? c.Living : 0) << c.Name;
    }
}

TEST_F(BattleSideTest, FifteenFitPersonagesAreAllCopied)
{
    int32_t slot = 1;
    for (int32_t row = 1; row <= 3; ++row)
        for (int32_t column = 1; column <= 6; ++column)
            if (IsHexCellOnField(row, column, 0))
                Put(1, slot++, row, column);
    ASSERT_EQ(slot, 13);
    for (; slot <= 15; ++slot)
        Put(1, slot, 0, 0);
    for (int32_t s = 1; s <= 15; ++s)
        Unit(1, s).Level = s;
    auto side = Build(1, 0);
    for (int32_t n = 1; n <= 15; ++n) {
        EXPECT_EQ(side->ArmySlot[n], n);
        EXPECT_EQ(side->Personages[n].Level, n);
        EXPECT_EQ(side->Personages[n].BattleStartHits, 20);
    }
    // The grid has 12 cells: three stand nowhere and are not listed.
    EXPECT_EQ(side->LivingCount, 12);
    EXPECT_EQ(side->Living[12], 12);
    EXPECT_EQ(side->Living[13], 0);
}

TEST_F(BattleSideTest, TheFlagOnlyTurnsTheRows)
{
    Put(1, 1, 1, 3);
    Put(1, 2, 2, 4);
    Put(1, 3, 3, 2);
    auto front = Build(1, 0);
    auto back = Build(1, 1);
    EXPECT_EQ(front->Personages[1].FormationRow, -1);
    EXPECT_EQ(back->Personages[1].FormationRow, 1);
    EXPECT_EQ(front->Personages[3].FormationRow, -3);
    EXPECT_EQ(back->Personages[3].FormationColumn, 2);
    EXPECT_EQ(back->Formation[2][1], 3);
    for (int32_t n = 1; n <= 3; ++n)
        front->Personages[n].FormationRow = -front->Personages[n].FormationRow;
    EXPECT_EQ(std::memcmp(front.get(), back.get(), sizeof(TBattleSide)), 0);
}

TEST_F(BattleSideTest, PikesAreBracedInTheFrontRowOnly)
{
    Put(1, 1, 1, 3).PersBonus[3] = bPike;
    Put(1, 2, 2, 3).PersBonus[3] = bPike;
    Put(1, 3, 1, 4).PersBonus[3] = bSpear;
    Unit(1, 2).PikeBraced = 1;
    auto side = Build(1, 1);
    EXPECT_EQ(side->Personages[1].PikeBraced, 1);
    EXPECT_EQ(side->Personages[2].PikeBraced, 0);
    EXPECT_EQ(side->Personages[3].PikeBraced, 0);
}

TEST_F(BattleSideTest, ExperienceTermsLimitsAndPlaySettings)
{
    MapStory.PlayerExpPercent = 150;
    MapStory.HeroLevelLimit = 20;
    MapStory.UnitLevelLimit = 30;
    MapArmies[1].ExpPercent = 80;
    MapBuildings[1].GarrisonExpPercent = 120;
    GameBuildings[1].AssaultA = 300;
    GameBuildings[1].AssaultB = -7;
    GameBuildings[1].AssaultC = 9;
    for (int d = 1; d <= 4; ++d) {
        DifficultyRules[d].HeroExperiencePercent = 90 + d;
        DifficultyRules[d].HeroExperienceAddition = d;
    }
    DifficultyRules[4].BattleKillTarget = true;
    DifficultyRules[4].BattleAction = true;
    DifficultyRules[1].BattleCureTarget = true;
    DifficultyRules[3].BattleCureTarget = true;
    const int32_t garrison = GetGarrisonArmyIndex(1);
    Put(0, 1, 1, 3);
    Put(1, 1, 1, 3);
    Put(garrison, 1, 1, 3);

    for (int32_t difficulty : {1, 3}) {
        GameDifficulty = difficulty;
        auto player = Build(PlayerArmy, 0);
        EXPECT_FLOAT_EQ(player->HeroExpFactor, 1.5f * (90 + difficulty) / 100);
        EXPECT_EQ(player->HeroExpBonus, difficulty);
        EXPECT_FLOAT_EQ(player->ExpFactor, 1.0f);
        EXPECT_EQ(player->HeroLevelLimit, 20);
        EXPECT_EQ(player->UnitLevelLimit, 30);
        EXPECT_EQ(player->BattleKillTarget, 1);
        EXPECT_EQ(player->BattleCureTarget, 0);
        EXPECT_EQ(player->BattleAction, 1);
        EXPECT_EQ(player->AssaultA, 0);

        auto field = Build(1, 1);
        EXPECT_FLOAT_EQ(field->HeroExpFactor, 1.0f);
        EXPECT_FLOAT_EQ(field->ExpFactor, 0.8f);
        EXPECT_EQ(field->HeroExpBonus, 0);
        EXPECT_EQ(field->HeroLevelLimit, 0);
        EXPECT_EQ(field->UnitLevelLimit, 0);
        EXPECT_EQ(field->AssaultA, 0);
        EXPECT_EQ(field->AssaultB, 0);
        EXPECT_EQ(field->AssaultC, 0);
        EXPECT_EQ(field->BattleKillTarget, 0);
        EXPECT_EQ(field->BattleCureTarget, 1);

        auto keep = Build(garrison, 1);
        EXPECT_EQ(keep->Army, garrison);
        EXPECT_FLOAT_EQ(keep->ExpFactor, 1.2f);
        EXPECT_EQ(keep->HeroLevelLimit, 25);
        EXPECT_EQ(keep->UnitLevelLimit, 25);
        EXPECT_EQ(keep->AssaultA, 300);
        EXPECT_EQ(keep->AssaultB, -7);
        EXPECT_EQ(keep->AssaultC, 9);
        EXPECT_EQ(keep->BattleCureTarget, 1);
        EXPECT_EQ(keep->LivingCount, 1);
    }
    // An army the world does not hold: an empty record.
    auto none = Build(99, 0);
    EXPECT_EQ(none->Army, 99);
    EXPECT_EQ(none->LivingCount, 0);
}

TEST_F(BattleSideTest, APersonageOffTheGridGetsAFreeCell)
{
    Put(1, 1, 1, 3);
    Put(1, 2, 0, 0); // left outside the grid
    Put(1, 3, 0, 0); // keeps a free cell of its own
    Unit(1, 3).FormationRow = 2;
    Unit(1, 3).FormationColumn = 5;
    Put(1, 4, 0, 0); // keeps a taken cell
    Unit(1, 4).FormationRow = 1;
    Unit(1, 4).FormationColumn = 3;
    Put(1, 5, 0, 0); // keeps a corner
    Unit(1, 5).FormationRow = 1;
    Unit(1, 5).FormationColumn = 6;
    auto side = Build(1, 0);
    EXPECT_EQ(side->LivingCount, 5);
    // Fighters go to the front row, middle columns first (disposition 0).
    EXPECT_EQ(side->Personages[2].FormationRow, -1);
    EXPECT_EQ(side->Personages[2].FormationColumn, 4);
    EXPECT_EQ(side->Personages[3].FormationRow, -2);
    EXPECT_EQ(side->Personages[3].FormationColumn, 5);
    EXPECT_EQ(side->Personages[4].FormationColumn, 2);
    EXPECT_EQ(side->Personages[5].FormationColumn, 5);
    EXPECT_EQ(side->Formation[0][3], 2);
    EXPECT_EQ(side->Formation[1][4], 3);
    // Every listed personage stands on its own usable cell.
    for (int32_t k = 1; k <= side->LivingCount; ++k) {
        const TPersonage& p = side->Personages[side->Living[k]];
        EXPECT_TRUE(IsHexCellOnField(p.FormationRow, p.FormationColumn, 0)) << k;
        EXPECT_EQ(side->Formation[-p.FormationRow - 1][p.FormationColumn - 1], side->Living[k]) << k;
    }
}
