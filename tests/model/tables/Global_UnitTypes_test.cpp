#include <gtest/gtest.h>

#include <string>

#include "model/tables/Global.h"
#include "tests/model/ModelTestSupport.h"

using UnitTypesTest = TTableTest;

TEST_F(UnitTypesTest, StatsWithGrowthAndTenths)
{
    struct Row {
        const char* Value;
        int Base, Growth, Tenths;
    };
    const Row rows[] = {
        {"120, 3.5", 120, 3, 5},
        {"40", 40, 0, 0},
        {"10, 1.25", 10, 1, 2},
        {"10, 1.35", 10, 1, 4},
        {"10, -0.5", 10, 0, -5},
        {"7, 2.7", 7, 2, 7},
        {"5, \"0,3\"", 5, 0, 3},
        {"", 0, 0, 0},
        {"x, y", 0, 0, 0},
        // A gain beyond the 16-bit fields stops at their ends.
        {"10, 99999.5", 10, 32767, 5},
        {"10, -70000", 10, -32768, 0},
        {"10, 1e+40", 10, 32767, 0},
    };
    std::string text;
    for (const Row& row : rows)
        text += std::string("[T]\r\nHits=") + row.Value + "\r\nWill=" + row.Value + "\r\n";
    Write("Config/Units.Ini", text);
    LoadUnitTypes();
    ASSERT_EQ(UnitTypeCount, static_cast<int>(std::size(rows)));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].Value);
        const TPersonage& t = UnitTypes[static_cast<int>(i) + 1];
        for (int p : {1, 8}) {
            EXPECT_EQ(t.BaseStats[p], rows[i].Base);
            EXPECT_EQ(t.StatGrowth[p], rows[i].Growth);
            EXPECT_EQ(t.StatGrowthTenths[p], rows[i].Tenths);
        }
        EXPECT_EQ(t.BaseStats[2], 0);
    }
}

TEST_F(UnitTypesTest, AttackModeFromLevelUp)
{
    struct Row {
        const char* LevelUp;
        int AttackMode, School;
    };
    const Row rows[] = {{"Fight", 4, 0},       {"Shoot", 13, 0}, {"MagicAlchemy", 16, 1}, {"MagicNecromancy", 16, 6},
                        {"MagicGhost", 16, 8}, {"", 4, 0},       {"Sing", 4, 0},          {"MagicThaumaturgy", 16, 2}};
    std::string text;
    for (const Row& row : rows)
        text += std::string("[T]\r\nLevelUp=") + row.LevelUp + "\r\n";
    Write("Config/Units.Ini", text);
    LoadUnitTypes();
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].LevelUp);
        const TPersonage& t = UnitTypes[static_cast<int>(i) + 1];
        EXPECT_EQ(t.AttackMode, rows[i].AttackMode);
        EXPECT_EQ(t.MagicSchool, rows[i].School);
    }
}

TEST_F(UnitTypesTest, Fields)
{
    Write("Config/Units.Ini",
          "[Knight]\r\nName=" + std::string(45, 'K') +
              "\r\nFileName=Knight01\r\nTagName=knight\r\n"
              "VoiceTag=Voice_Knight\r\nUsed=Yes\r\nLevel=3\r\nEquipmentType=2\r\nNature=People\r\nKind=Hero\r\n"
              "Sex=Female\r\nImportantNPC=Yes\r\nLevelUpName=Leader\r\nGarrisonUnit=guCaptain\r\nArmor=HeavyArmor\r\n"
              "Shield=Pavise\r\nAlignment=MaxGood\r\nWeapon=Sword,Lance,Banjo\r\nHorse=Yes\r\nDagger=Yes\r\n"
              "Cost=250\r\nStrength=90\r\nStartExpirience=100\r\nLevelMultipler=150\r\nReplaceHead=262\r\n"
              "UseAllWeapon=Yes\r\nUseAllDefence=Yes\r\nUseQuiver=Yes\r\nEquipRightHand=3, 9\r\nEquipLeftHand=5\r\n"
              "EquipHelmet=7\r\nEquipArmor=8\r\nBonus=bSword,,Fearless,Nonsense\r\nBonusAdd=tCommander\r\n"
              "Surrender=30\r\nSortGroup=Heroes\r\n"
              "[Plain]\r\nStrengthMultipler=0\r\n"
              "[Scaled]\r\nStrengthMultipler=120\r\n");
    LoadUnitTypes();
    ASSERT_EQ(UnitTypeCount, 3);
    const TPersonage& t = UnitTypes[1];
    EXPECT_EQ(t.UnitType, 1);
    EXPECT_EQ(t.BaseType, 1);
    EXPECT_EQ(t.MapModelIndex, -1);
    EXPECT_EQ(t.ArenaModelIndex, -1);
    EXPECT_EQ(t.Name.Str(), std::string(40, 'K'));
    EXPECT_EQ(t.TypeName.Str(), std::string(20, 'K'));
    EXPECT_EQ(Utf8(UnitTypeNames[1].Name), std::string(45, 'K'));
    EXPECT_EQ(t.FileName.Str(), "Knight01");
    EXPECT_EQ(t.TagName.Str(), "knight");
    EXPECT_EQ(t.VoiceTag.Str(), "Voice_Knight");
    EXPECT_EQ(t.Used, 1);
    EXPECT_EQ(t.Level, 3);
    EXPECT_EQ(t.EquipmentType, 2);
    EXPECT_EQ(t.Nature, static_cast<uint8_t>(TPersNature::People));
    EXPECT_EQ(t.Kind, static_cast<uint8_t>(TPersNature::Hero));
    EXPECT_EQ(t.Sex, static_cast<uint8_t>(TSex::Female));
    EXPECT_EQ(t.ImportantNPC, 1);
    EXPECT_EQ(t.LevelUpName, static_cast<uint8_t>(TPersNature::Leader));
    EXPECT_EQ(t.GarrisonUnit, static_cast<uint8_t>(TGarrisonUpgrade::guCaptain));
    EXPECT_EQ(t.Armor, static_cast<uint8_t>(TArmorKind::HeavyArmor));
    EXPECT_EQ(t.Shield, static_cast<uint8_t>(TShieldKind::Pavise));
    EXPECT_EQ(t.Alignment, static_cast<uint8_t>(TAlignment::MaxGood));
    EXPECT_EQ(t.Weapon[1], static_cast<uint8_t>(TWeaponClass::Sword));
    EXPECT_EQ(t.Weapon[2], static_cast<uint8_t>(TWeaponClass::Lance));
    EXPECT_EQ(t.Weapon[3], 0);
    EXPECT_EQ(t.Horse, 1);
    EXPECT_EQ(t.Dagger, 1);
    EXPECT_EQ(t.Cost, 250);
    EXPECT_EQ(t.Strength, 90);
    EXPECT_EQ(t.StrengthMultipler, 100);
    EXPECT_EQ(t.StartExpirience, 100);
    EXPECT_EQ(t.LevelMultipler, 150);
    EXPECT_EQ(t.ReplaceHead, 262);
    EXPECT_EQ(t.UseAllWeapon, 1);
    EXPECT_EQ(t.UseAllDefence, 1);
    EXPECT_EQ(t.UseQuiver, 1);
    EXPECT_EQ(t.DefaultItems[1], 3);
    EXPECT_EQ(t.DefaultItems[2], 5);
    EXPECT_EQ(t.DefaultItems[3], 7);
    EXPECT_EQ(t.DefaultItems[4], 8);
    EXPECT_EQ(t.DefaultItems[5], 0);
    EXPECT_EQ(t.Bonus[1], bSword);
    EXPECT_EQ(t.Bonus[2], NoBonus);
    EXPECT_EQ(t.Bonus[3], Fearless);
    EXPECT_EQ(t.Bonus[4], NoBonus);
    EXPECT_EQ(t.BonusAdd[1], tCommander);
    EXPECT_EQ(t.Surrender, 30);
    EXPECT_EQ(t.SortGroup, static_cast<uint8_t>(TSortGroup::Heroes));
    EXPECT_EQ(t.WoundLimit, 4);
    EXPECT_EQ(t.ModelSettings.Scale, 100);
    EXPECT_EQ(PersonageTypePartLength, 624);
    EXPECT_EQ(UnitTypes[2].StrengthMultipler, 100);
    EXPECT_EQ(UnitTypes[3].StrengthMultipler, 120);
    // The state part of a template stays zero but for what the loader sets.
    EXPECT_EQ(t.Hits, 0);
    EXPECT_EQ(t.Experience, 0);
}

TEST_F(UnitTypesTest, UpgradeTargetsAndTags)
{
    Write("Config/Units.Ini", "[Recruit]\r\nTagName=recruit\r\nNextUnit1=spear\r\nNextUnit2=bow\r\nNextUnit3=nobody\r\n"
                              "[Spear]\r\nTagName=spear\r\nNextUnit1=Spear\r\n"
                              "[Bow]\r\nTagName=bow\r\n"
                              "[Untagged]\r\nNextUnit1=\r\n"
                              "[Bow again]\r\nTagName=bow\r\n");
    LoadUnitTypes();
    EXPECT_EQ(UnitTypes[1].NextUnit[1], 2); // a type later in the file
    EXPECT_EQ(UnitTypes[1].NextUnit[2], 5); // the later of two with one tag
    EXPECT_EQ(UnitTypes[1].NextUnit[3], 0);
    EXPECT_EQ(UnitTypes[2].NextUnit[1], 0); // tags are case-sensitive
    EXPECT_EQ(UnitTypes[4].NextUnit[1], 0);
    EXPECT_EQ(FindUnitTypeByName("bow"), 5);
    EXPECT_EQ(FindUnitTypeByName(""), 0);
    EXPECT_EQ(FindUnitTypeByName("BOW"), 0);
}

TEST_F(UnitTypesTest, Portraits)
{
    Write("Config/Units.Ini", "[Duke]\r\nFileName=DukeArmor03\r\nReplaceHead=262\r\n"
                              "[Duke2]\r\nFileName=Models\\dukearmor05\r\nReplaceHead=283\r\n"
                              "[Duchess]\r\nFileName=DukeBody\r\nReplaceHead=260\r\n"
                              "[NoHead]\r\nFileName=DukeArmor01\r\nReplaceHead=999\r\n"
                              "[Guard]\r\nFileName=Guard02\r\n"
                              "[Ghost]\r\nFileName=\r\n"
                              "[Lost]\r\nFileName=Nobody\r\n");
    const char* const files[] = {"DukeArmor0103.DDS", "DukeArmor0208.DDS", "DukeBody01.DDS", "DukeArmor01.DDS",
                                 "Guard02.DDS",       "NotModel.DDS",      "Empty.DDS"};
    for (const char* file : files)
        Write(std::string("Interface/Common/Icons/Personages/") + file, "p");
    LoadUnitTypes();
    const std::string c = InterfaceFolder + "Common\\Icons\\Personages\\";
    for (int s = 1; s <= 7; ++s) {
        SCOPED_TRACE(s);
        const TPersonage& t = UnitTypes[s];
        const auto& large = Render.Sprites[t.Icons[3]];
        EXPECT_EQ(large.File, c + files[s - 1]);
        EXPECT_EQ(large.Width, 230);
        EXPECT_EQ(large.Height, 190);
        const auto& middle = Render.Sprites[t.Icons[2]];
        EXPECT_EQ(middle.CloneOf, t.Icons[3]);
        EXPECT_EQ(middle.Width, 174);
        EXPECT_EQ(middle.Height, 146);
        EXPECT_EQ(middle.StateKey, 768u);
        const auto& small = Render.Sprites[t.Icons[1]];
        EXPECT_EQ(small.CloneOf, t.Icons[3]);
        EXPECT_EQ(small.Width, 104);
        EXPECT_EQ(small.Height, 88);
        EXPECT_EQ(small.StateValue, 2u);
    }
}

TEST_F(UnitTypesTest, NamesInTheCurrentLanguage)
{
    Write("Config/Units.Ini", "[Knight]\r\nName=Knight\r\n[Archer]\r\nName=Archer\r\n");
    Write("Config/Rus/Units.Rus", "[Knight]\r\nName=\xD0\xA0\xD1\x8B\xD1\x86\xD0\xB0\xD1\x80\xD1\x8C\r\n");
    SetGameLanguage("rus");
    LoadUnitTypes();
    EXPECT_EQ(Utf8(UnitTypeNames[1].Name), "\xD0\xA0\xD1\x8B\xD1\x86\xD0\xB0\xD1\x80\xD1\x8C");
    EXPECT_EQ(UnitTypes[1].Name.Str(), "\xD0\xFB\xF6\xE0\xF0\xFC"); // in code page 1251
    EXPECT_EQ(Utf8(UnitTypeNames[2].Name), "Archer");               // no section in the copy
}

TEST_F(UnitTypesTest, MissingTableAndCapacity)
{
    LoadUnitTypes();
    EXPECT_EQ(UnitTypeCount, 0);
    std::string text;
    for (int i = 1; i <= 256; ++i)
        text += "[U" + std::to_string(i) + "]\r\nTagName=u" + std::to_string(i) + "\r\nNextUnit1=u256\r\n";
    Write("Config/Units.Ini", text);
    LoadUnitTypes();
    EXPECT_EQ(UnitTypeCount, 255);
    EXPECT_EQ(UnitTypes[255].TagName.Str(), "u255");
    EXPECT_EQ(UnitTypes[1].NextUnit[1], 0); // the skipped type can't be an upgrade
    EXPECT_EQ(UnitTypes[-1].UnitType, 0);
    EXPECT_EQ(TableLoadErrors.size(), 1u);
}
