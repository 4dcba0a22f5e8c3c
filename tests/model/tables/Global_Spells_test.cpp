#include <gtest/gtest.h>

#include <string>

#include "model/tables/Global.h"
#include "tests/model/ModelTestSupport.h"

namespace {

const char* const Schools = "[Alchemy]\r\n[Thaumaturgy]\r\n[Healing]\r\nPreset1=Mender,3,1,0,0,0,0,0,0,9\r\n"
                            "[Witchcraft]\r\n[Demonology]\r\n[Necromancy]\r\n[BloodMagic]\r\n[GhostForce]\r\n";

} // namespace

class SpellsTest : public TTableTest {
protected:
    void Load(const std::string& spells)
    {
        Write("Config/Spells.Ini", spells + Schools);
        LoadSpells();
    }
};

TEST_F(SpellsTest, SchoolSectionsComeLast)
{
    Load("");
    EXPECT_EQ(SpellCount, 0);
    Load("[Spark]\r\nMode=Alchemy\r\n");
    EXPECT_EQ(SpellCount, 1);
    EXPECT_EQ(SpellTable[1].Mode, static_cast<uint8_t>(TMagicSchool::Alchemy));
    EXPECT_EQ(SpellPresets[3][1][1], 3);
    EXPECT_EQ(SpellPresets[3][1][2], 1);
    EXPECT_EQ(SpellPresets[3][1][9], 9);
    EXPECT_EQ(SpellPresets[3][2][1], 0);
}

TEST_F(SpellsTest, Fields)
{
    Load("[Mend]\r\nName=Mend\r\nMode=Healing\r\nGlobal=BattleSpell\r\nFile=Spells\\Mend.dds\r\nCostMana=12\r\n"
         "Level=2\r\nTime=3\r\nPrevious=-1\r\nMassEffect=Yes\r\nBlessSpell=Yes\r\nTested=1\r\n"
         "Effect1=eCure,40,2,70000,eCureCircle\r\nEffect2=eWill,5,,,eWillLost\r\nEffect3=eBogus,1,2,3\r\n"
         "Condition=cAlly,cNearby\r\nSpellPower=1,2,3,4\r\nSpellStrength=5,,7\r\nVideoEffect=Green_Glow\r\n"
         "CostManaDecrease=2\r\nResultMultiply=150\r\n"
         "[Rite]\r\nMode=Healing\r\nGlobal=RitualSpell\r\nEffect1=eSummonGhost\r\nEffect2=eWill,1,,,eWillLost\r\n"
         "Effect3=eWill,1,,,eWillLost\r\nCondition=cNearby,cEnemyShoot\r\n"
         "[Odd]\r\nMode=Chaos\r\nGlobal=Maybe\r\nCondition=cEmpty\r\n");
    ASSERT_EQ(SpellCount, 3);
    const TSpell& mend = SpellTable[1];
    EXPECT_EQ(mend.Global, static_cast<uint8_t>(TMagicSchool::BattleSpell));
    EXPECT_EQ(mend.CostMana, 12);
    EXPECT_EQ(mend.Previous, -1);
    EXPECT_TRUE(mend.MassEffect);
    EXPECT_TRUE(mend.BlessSpell);
    EXPECT_FALSE(mend.Tested); // "1" is no yes
    EXPECT_EQ(mend.Effect[1], eCure);
    EXPECT_EQ(mend.EffectValue1[1], 40);
    EXPECT_EQ(mend.EffectValue3[1], static_cast<int16_t>(70000)); // kept in 16 bits
    EXPECT_EQ(mend.EffectBonus[1], eCureCircle);
    EXPECT_EQ(mend.Effect[3], eNone);
    EXPECT_EQ(mend.EffectValue2[3], 2);
    EXPECT_EQ(mend.Condition[1], cAlly);
    EXPECT_EQ(mend.TargetFlags, 19);
    EXPECT_TRUE(mend.NearbyCondition);
    EXPECT_TRUE(mend.DrainsWill);
    EXPECT_EQ(mend.DrainsWillEffect, 2);
    EXPECT_EQ(mend.SpellPower[4], 4);
    EXPECT_EQ(mend.SpellStrength[2], 0);
    EXPECT_EQ(mend.SpellStrength[3], 7);
    EXPECT_EQ(mend.VideoEffect, "green_glow");
    EXPECT_EQ(mend.VideoEffectIndex, -1);
    EXPECT_EQ(mend.ResultMultiply, 150);

    const TSpell& rite = SpellTable[2];
    EXPECT_FALSE(rite.NearbyCondition); // only the first condition names it
    EXPECT_TRUE(rite.SummonsGhost);
    EXPECT_EQ(rite.DrainsWillEffect, 3); // the last such effect
    EXPECT_EQ(rite.TargetFlags, 31);

    const TSpell& odd = SpellTable[3];
    EXPECT_EQ(odd.Mode, 0);
    EXPECT_EQ(odd.Global, 0);
    EXPECT_EQ(odd.TargetFlags, 31);

    // Only battle spells are listed by school.
    EXPECT_EQ(SchoolSpells[static_cast<int>(TMagicSchool::Healing)].Count, 1);
    EXPECT_EQ(SchoolSpells[static_cast<int>(TMagicSchool::Healing)].Spells[1], 1);
}

TEST_F(SpellsTest, TargetFlagsByFirstCondition)
{
    const std::pair<const char*, int> rows[] = {
        {"cMag", 19},        {"cAlly", 19},  {"cAllyFight", 19},  {"cAllyShoot", 19},
        {"cAllySpell", 19},  {"cEnemy", 17}, {"cEnemyFight", 17}, {"cEnemyShoot", 17},
        {"cEnemySpell", 17}, {"cEmpty", 31}, {"cAll", 31},        {"", 31},
        {"cDead", 31},
    };
    std::string spells;
    for (const auto& row : rows)
        spells += std::string("[S]\r\nCondition=") + row.first + "\r\n";
    Load(spells);
    ASSERT_EQ(SpellCount, static_cast<int>(std::size(rows)));
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(SpellTable[i + 1].TargetFlags, rows[i].second) << rows[i].first;
}

TEST_F(SpellsTest, Icons)
{
    Write("Interface/Common/Icons/Spells/Spark.DDS", "d");
    Write("Interface/Windows/Common/Icons/Spell_Spark.tga", "t");
    Load("[Spark]\r\nMode=Alchemy\r\nFile=Spark\r\n[Fog]\r\nMode=Alchemy\r\nFile=Fog\r\n");
    const std::string q = InterfaceFolder + "Common\\Icons\\Spells\\";
    const TSpell& spark = SpellTable[1];
    EXPECT_EQ(Render.Sprites[spark.Icon].File, q + "Spark.DDS");
    EXPECT_EQ(Render.Sprites[spark.IconBase].File, q + "Spark.DDS");
    EXPECT_EQ(Render.Sprites[spark.IconPutted].File, q + "Spark_putted.DDS");
    EXPECT_EQ(Render.Sprites[spark.IconLighten].File, q + "Spark_lighten.DDS");
    EXPECT_EQ(Render.Sprites[spark.IconSmall].File, InterfaceFolder + "Windows\\Common\\Icons\\Spell_Spark.tga");

    const TSpell& fog = SpellTable[2];
    EXPECT_EQ(Render.Sprites[fog.Icon].File, q + "NoSpell.DDS");
    EXPECT_EQ(fog.IconBase, 0);
    const auto& small = Render.Sprites[fog.IconSmall];
    EXPECT_EQ(small.CloneOf, fog.Icon);
    EXPECT_EQ(small.Width, 27);
    EXPECT_EQ(small.Height, 27);
    EXPECT_EQ(small.X, 4);
    EXPECT_EQ(small.Y, 4);
}

TEST_F(SpellsTest, CapacitiesAreKept)
{
    std::string spells;
    for (int i = 1; i <= 101; ++i)
        spells += "[S" + std::to_string(i) + "]\r\nMode=Witchcraft\r\nGlobal=" + (i <= 21 ? "BattleSpell" : "") +
                  "\r\nCostGold=" + std::to_string(i) + "\r\n";
    Load(spells);
    EXPECT_EQ(SpellCount, 100);
    EXPECT_EQ(SpellTable[100].CostGold, 100);
    const TSchoolSpells& school = SchoolSpells[static_cast<int>(TMagicSchool::Witchcraft)];
    EXPECT_EQ(school.Count, 20);
    EXPECT_EQ(school.Spells[20], 20);
    EXPECT_EQ(TableLoadErrors.size(), 2u); // the 21st battle spell and the 101st spell
}
