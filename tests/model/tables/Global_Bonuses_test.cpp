#include <gtest/gtest.h>

#include <string>

#include "model/tables/Global.h"
#include "tests/model/ModelTestSupport.h"

using BonusesTest = TTableTest;

TEST_F(BonusesTest, ModesGroupsAndValues)
{
    Write("Config/Bonuses.Ini",
          "[Nothing]\r\nGroup=1\r\nMode=No\r\nValue=9\r\n"
          "[Typo]\r\nGroup=1\r\nMode=bSwrod\r\n"
          "[Sword]\r\nGroup=1\r\nMode=bSword\r\nValue=12\r\nName=Blade craft\r\nPrevious=0\r\nImage=4\r\n"
          "[Regen A]\r\nGroup=2\r\nMode=Regeneration\r\nValue=3\r\n"
          "[Regen B]\r\nGroup=3\r\nMode=Regeneration\r\nValue=5\r\n"
          "[Pair]\r\nGroup=1\r\nMode=bSwordDagger\r\nValue=7\r\n"
          "[Heavy]\r\nGroup=1\r\nMode=bHeavyArmor\r\n"
          "[Paw]\r\nGroup=1\r\nMode=bPaw\r\n"
          "[Talent]\r\nGroup=14\r\nMode=tIronHealth\r\nPrevious=2\r\nActive=Yes\r\n"
          "[Astray]\r\nGroup=22\r\nMode=Stability\r\nValue=6\r\n"
          "[Nowhere]\r\nMode=bClaws\r\nValue=2\r\n");
    LoadBonuses();

    EXPECT_EQ(BonusGroupCount[1], 4); // No and the misspelt word take no slot
    EXPECT_EQ(BonusTable[1][1].Mode, bSword);
    EXPECT_EQ(Utf8(BonusTable[1][1].Name), "Blade craft");
    EXPECT_EQ(BonusTable[1][1].Image, 4);
    EXPECT_EQ(BonusValues[bSword], 12);
    EXPECT_EQ(BonusIndex[bSword].Group, 1);
    EXPECT_EQ(BonusIndex[bSword].Entry, 1);

    // The same mode twice: both take entries, the index and value follow the later.
    EXPECT_EQ(BonusGroupCount[2], 1);
    EXPECT_EQ(BonusGroupCount[3], 1);
    EXPECT_EQ(BonusIndex[Regeneration].Group, 3);
    EXPECT_EQ(BonusValues[Regeneration], 5);

    EXPECT_EQ(BonusTable[14][1].Previous, 2);
    EXPECT_TRUE(BonusTable[14][1].Active);

    const std::pair<int, TBonusType> slots[] = {{0, bSword},  {24, bSwordDagger}, {31, bHeavyArmor}, {37, bPaw},
                                                {36, bClaws}, {1, NoBonus},       {22, NoBonus},     {35, NoBonus}};
    for (const auto& [slot, bonus] : slots)
        EXPECT_EQ(ItemKindBonus[slot], bonus) << "slot " << slot;

    // A group outside 1..21 finds no place but keeps its value.
    EXPECT_EQ(BonusValues[Stability], 6);
    EXPECT_EQ(BonusIndex[Stability].Group, 0);
    EXPECT_EQ(BonusValues[bClaws], 2);
    ASSERT_EQ(TableLoadErrors.size(), 2u);
    EXPECT_NE(TableLoadErrors[0].find("Astray"), std::string::npos);
    EXPECT_NE(TableLoadErrors[1].find("GROUP 0"), std::string::npos);
}

TEST_F(BonusesTest, FullGroupSkipsTheEntryThatDoesNotFit)
{
    std::string text;
    for (int i = 0; i < 204; ++i)
        text += "[E" + std::to_string(i) + "]\r\nGroup=5\r\nMode=" + (i == 203 ? "bAxe" : "Evasive") +
                "\r\nValue=" + std::to_string(i) + "\r\n";
    Write("Config/Bonuses.Ini", text);
    LoadBonuses();
    EXPECT_EQ(BonusGroupCount[5], 203);
    EXPECT_EQ(BonusIndex[Evasive].Entry, 203);
    EXPECT_EQ(BonusIndex[bAxe].Group, 0);
    EXPECT_EQ(BonusValues[bAxe], 203);
    EXPECT_EQ(ItemKindBonus[1], bAxe);
    EXPECT_EQ(TableLoadErrors.size(), 1u);
}

TEST_F(BonusesTest, MissingTableLeavesTheTables)
{
    Write("Config/Bonuses.Ini", "[A]\r\nGroup=1\r\nMode=Evasive\r\nValue=8\r\n");
    LoadBonuses();
    std::remove((Folder.Path() + "Config/Bonuses.Ini").c_str());
    LoadBonuses();
    EXPECT_EQ(BonusValues[Evasive], 8);
    EXPECT_EQ(BonusGroupCount[1], 1);
}

TEST_F(BonusesTest, DescriptionsInTheCurrentLanguage)
{
    Write("Config/Bonuses.Ini", "[A]\r\nGroup=1\r\nMode=Evasive\r\nName=Nimble\r\nDescript=Dodges [1]\r\n"
                                "[B]\r\nGroup=1\r\nMode=Fearless\r\nName=Brave\r\nDescript=Fears nothing\r\n");
    Write("Config/Eng/Bonuses.Eng", "[A]\r\nName=Nimble\r\nDescript=Dodges well [1]\r\n");
    Write("Config/Deu/Bonuses.Deu", "[A]\r\nName=Flink\r\n");
    SetGameLanguage("deu");
    LoadBonuses();
    EXPECT_EQ(Utf8(BonusTable[1][1].Name), "Flink");
    EXPECT_EQ(Utf8(BonusTable[1][1].Descript), "Dodges well [1]"); // missing in German: English copy
    EXPECT_EQ(Utf8(BonusTable[1][2].Name), "Brave");               // no German section: the table's own
}

TEST_F(BonusesTest, Icons)
{
    Write("Config/Bonuses.Ini", "[Parry]\r\nGroup=1\r\nMode=pParry\r\nActive=Yes\r\nFileName=Icons\\Parry.dds\r\n"
                                "[Cover]\r\nGroup=1\r\nMode=pCover\r\nActive=Yes\r\nFileName=Cover\r\n"
                                "[Bare]\r\nGroup=1\r\nMode=pGuard\r\nActive=Yes\r\n"
                                "[Plain]\r\nGroup=1\r\nMode=Evasive\r\nFileName=Nimble.tga\r\n"
                                "[NoIcon]\r\nGroup=1\r\nMode=Fearless\r\nFileName=Brave\r\n");
    Write("Interface/Windows/Common/Icons/Ability_Cover.TGA", "t");
    Write("Interface/Windows/Common/Icons/Nimble.TGA", "t");
    LoadBonuses();
    const TBonusTTX& parry = BonusTable[1][1];
    const std::string abilities = InterfaceFolder + "Common\\Icons\\Abilities\\";
    EXPECT_EQ(Render.SourceFile(parry.IconSimple), abilities + "Parry_Simple.DDS");
    EXPECT_EQ(Render.SourceFile(parry.IconLighten), abilities + "Parry_Lighten.DDS");
    EXPECT_EQ(Render.SourceFile(parry.IconPutted), abilities + "Parry_Putted.DDS");
    // No "Ability_" picture: a 32 x 32 copy of the plain icon.
    EXPECT_EQ(Render.Sprites[parry.Icon].CloneOf, parry.IconSimple);
    EXPECT_EQ(Render.Sprites[parry.Icon].Width, 32);
    EXPECT_EQ(Render.Sprites[parry.Icon].Height, 32);

    const TBonusTTX& cover = BonusTable[1][2];
    EXPECT_EQ(Render.Sprites[cover.Icon].File, InterfaceFolder + "Windows\\Common\\Icons\\Ability_Cover.TGA");

    const TBonusTTX& bare = BonusTable[1][3];
    EXPECT_EQ(bare.Icon, -1);
    EXPECT_EQ(bare.IconSimple, 0);

    EXPECT_EQ(Render.Sprites[BonusTable[1][4].Icon].File, InterfaceFolder + "Windows\\Common\\Icons\\Nimble.TGA");
    EXPECT_EQ(BonusTable[1][5].Icon, -1);

    ASSERT_GE(Render.Calls.size(), 2u);
    EXPECT_EQ(Render.Calls.front(), "Options 3,2");
    EXPECT_EQ(Render.Calls.back(), "Options 0,0");
}
