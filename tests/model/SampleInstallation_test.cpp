// The sample installation's tables: every loader reads them without a
// complaint, every word in them names a value, and the cross references
// (default items, upgrade chains, talent chains, spell chains, kind bonuses
// of the weapons in use) hold.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/tables/Global.h"
#include "model/Support.h"
#include "tests/model/ModelTestSupport.h"

namespace {

class SampleInstallationTest : public TSampleInstallationTest {
protected:
    void LoadAll()
    {
        LoadAchievements();
        LoadCoatIcons();
        LoadBonuses();
        LoadSpells();
        LoadItems();
        LoadUnitTypes();
    }
    // Every section's value of a key in a configuration table.
    template <typename F> void ForEachSection(const std::string& table, F f)
    {
        TIniFile ini;
        ini.Load(GetConfigFilePath(table));
        for (int32_t s = 0; s < ini.SectionCount(); ++s) {
            ini.SelectSectionIndex(s);
            f(ini, ini.SectionName(s));
        }
    }
};

} // namespace

TEST_F(SampleInstallationTest, LoadsWithoutAnErrorLine)
{
    LoadAll();
    EXPECT_TRUE(TableLoadErrors.empty());
    EXPECT_EQ(GetEngineErrorText(), "");
    EXPECT_TRUE(ModNames.empty());
    EXPECT_EQ(ActiveModFolder, "");

    int bonuses = 0;
    for (int g = 1; g <= BonusGroupMax; ++g)
        bonuses += BonusGroupCount[g];
    EXPECT_EQ(bonuses, 89);
    EXPECT_EQ(SpellCount, 5);
    EXPECT_EQ(ItemCount, 38);
    EXPECT_EQ(UnitTypeCount, 25);
    EXPECT_EQ(AchievementDefs.size(), 3u);
}

TEST_F(SampleInstallationTest, SampleEntriesFieldByField)
{
    LoadAll();
    // A bonus.
    const TBonusPlace pike = BonusIndex[bPike];
    ASSERT_EQ(pike.Group, 1);
    const TBonusTTX& pikeEntry = BonusTable[pike.Group][pike.Entry];
    EXPECT_EQ(pikeEntry.Mode, bPike);
    EXPECT_EQ(Utf8(pikeEntry.Name), "Pike drill");
    EXPECT_EQ(pikeEntry.Value, 15);
    EXPECT_EQ(BonusValues[bPike], 15);
    EXPECT_EQ(ItemKindBonus[static_cast<int>(TItemType::Pike)], bPike);
    EXPECT_EQ(ItemKindBonus[31], bHeavyArmor);
    const TBonusTTX& parry = BonusTable[BonusIndex[pParry].Group][BonusIndex[pParry].Entry];
    EXPECT_TRUE(parry.Active);
    EXPECT_EQ(parry.FileName, "Parry");

    // A spell.
    const TSpell& chorus = SpellTable[4];
    EXPECT_EQ(Utf8(chorus.Name), "Mending chorus");
    EXPECT_EQ(chorus.Mode, static_cast<uint8_t>(TMagicSchool::Healing));
    EXPECT_EQ(chorus.Global, static_cast<uint8_t>(TMagicSchool::BattleSpell));
    EXPECT_EQ(chorus.Previous, 3);
    EXPECT_EQ(chorus.CostMana, 14);
    EXPECT_EQ(chorus.Level, 3);
    EXPECT_EQ(chorus.Time, 2);
    EXPECT_TRUE(chorus.MassEffect);
    EXPECT_TRUE(chorus.BlessSpell);
    EXPECT_EQ(chorus.Effect[1], eCure);
    EXPECT_EQ(chorus.EffectValue1[1], 8);
    EXPECT_EQ(chorus.EffectBonus[1], eCureCircle);
    EXPECT_EQ(chorus.Condition[3], cNearby);
    EXPECT_TRUE(chorus.NearbyCondition);
    EXPECT_EQ(chorus.TargetFlags, 19);
    EXPECT_EQ(chorus.SpellPower[2], 22);
    EXPECT_EQ(chorus.VideoEffect, "heal_chorus");
    EXPECT_EQ(SpellTable[5].Global, static_cast<uint8_t>(TMagicSchool::RitualSpell));
    EXPECT_EQ(SchoolSpells[static_cast<int>(TMagicSchool::Healing)].Count, 2);
    EXPECT_EQ(SpellPresets[static_cast<int>(TMagicSchool::Thaumaturgy)][5][2], 2);

    // An item.
    const TItems& lance = ItemTable[10];
    EXPECT_EQ(lance.Name, "Knight's lance");
    EXPECT_EQ(lance.MainType, static_cast<uint8_t>(TItemType::Lance));
    EXPECT_EQ(lance.Cost, 90);
    EXPECT_EQ(lance.Strength, 16);
    EXPECT_EQ(lance.EquipmentType, 2);
    EXPECT_EQ(lance.Max[3], 12);
    EXPECT_EQ(ItemTable[30].Bonus[1], Regeneration);
    EXPECT_EQ(ItemTable[31].Bonus[7], Fearless);
    EXPECT_EQ(ItemTable[32].EquipmentType, 4); // a trophy
    EXPECT_EQ(ItemTable[27].dHit, 40);
    EXPECT_EQ(ItemMaxCost, 240);

    // A unit type.
    const TPersonage& baroness = UnitTypes[6];
    EXPECT_EQ(baroness.Name.Str(), "Baroness");
    EXPECT_EQ(baroness.TagName.Str(), "hero_baroness");
    EXPECT_EQ(baroness.Kind, static_cast<uint8_t>(TPersNature::Hero));
    EXPECT_EQ(baroness.Sex, static_cast<uint8_t>(TSex::Female));
    EXPECT_EQ(baroness.AttackMode, 13);
    EXPECT_EQ(baroness.Weapon[2], static_cast<uint8_t>(TWeaponClass::Arbalet));
    EXPECT_EQ(baroness.DefaultItems[1], 5);
    EXPECT_EQ(baroness.DefaultItems[4], 24);
    EXPECT_EQ(baroness.BaseStats[4], 14);
    EXPECT_EQ(baroness.StatGrowth[4], 1);
    EXPECT_EQ(baroness.StatGrowthTenths[4], 5);
    EXPECT_EQ(baroness.Bonus[1], Evasive);
    EXPECT_EQ(baroness.StartExpirience, 100);
    EXPECT_EQ(baroness.LevelMultipler, 150);
    EXPECT_EQ(UnitTypes[2].MagicSchool, static_cast<uint8_t>(TMagicSchool::Thaumaturgy));
    EXPECT_EQ(UnitTypes[1].AttackMode, 4);
    // The recruit chain levy -> militia spearman -> pikeman, with a second way to the man-at-arms.
    EXPECT_EQ(UnitTypes[7].NextUnit[1], 9);
    EXPECT_EQ(UnitTypes[9].NextUnit[1], 11);
    EXPECT_EQ(UnitTypes[9].NextUnit[2], FindUnitTypeByName("man_at_arms"));
    EXPECT_EQ(UnitTypes[23].GarrisonUnit, static_cast<uint8_t>(TGarrisonUpgrade::guCastellan));

    // An achievement.
    EXPECT_EQ(AchievementDefs[1].UID, "DM_LONG_ROAD");
    EXPECT_EQ(Utf8(AchievementDefs[1].Name), "The long road");
}

TEST_F(SampleInstallationTest, EveryWordNamesAValue)
{
    LoadAll(); // the unit-type names the tables refer to
    auto known = [](const char* const* words, int count, const std::string& word) {
        for (int i = 0; i < count; ++i)
            if (word == words[i])
                return true;
        return false;
    };
    ForEachSection("Bonuses.Ini", [&](TIniFile& ini, const std::string& section) {
        EXPECT_NE(BonusTypeByName(ini.ReadString("Mode", -1)), NoBonus) << section;
        const int32_t group = ini.ReadInteger("Group", -1, 0);
        EXPECT_TRUE(group >= 1 && group <= BonusGroupMax) << section;
    });
    ForEachSection("Items.Ini", [&](TIniFile& ini, const std::string& section) {
        EXPECT_TRUE(known(ItemTypeNames, ItemTypeCount, ini.ReadString("MainType", -1))) << section;
        for (const char* key : {"BnsLive", "BnsAttack", "BnsDefense", "BnsSpirit"})
            for (int i = 1; i <= 2; ++i) {
                const std::string word = ini.ReadString(key, i);
                EXPECT_TRUE(word.empty() || BonusTypeByName(word) != NoBonus) << section << " " << key;
            }
    });
    ForEachSection("Units.Ini", [&](TIniFile& ini, const std::string& section) {
        EXPECT_TRUE(known(PersNatureNames, PersNatureCount, ini.ReadString("Nature", -1))) << section;
        EXPECT_TRUE(known(PersNatureNames, PersNatureCount, ini.ReadString("Kind", -1))) << section;
        EXPECT_TRUE(known(SexNames, SexCount, ini.ReadString("Sex", -1))) << section;
        EXPECT_TRUE(known(AttackKindNames, AttackKindCount, ini.ReadString("LevelUp", -1))) << section;
        EXPECT_TRUE(known(ArmorKindNames, ArmorKindCount, ini.ReadString("Armor", -1))) << section;
        EXPECT_TRUE(known(ShieldKindNames, ShieldKindCount, ini.ReadString("Shield", -1))) << section;
        EXPECT_TRUE(known(SortGroupNames, SortGroupCount, ini.ReadString("SortGroup", -1))) << section;
        for (int i = 1; i <= ini.ValueCount("Weapon"); ++i)
            EXPECT_TRUE(known(WeaponClassNames, WeaponClassCount, ini.ReadString("Weapon", i))) << section;
        for (int i = 1; i <= ini.ValueCount("Bonus"); ++i) {
            const std::string word = ini.ReadString("Bonus", i);
            EXPECT_TRUE(word.empty() || BonusTypeByName(word) != NoBonus) << section;
        }
        const std::string garrison = ini.ReadString("GarrisonUnit", -1);
        EXPECT_TRUE(garrison.empty() || known(GarrisonUpgradeNames, GarrisonUpgradeCount, garrison)) << section;
        for (const char* key : {"NextUnit1", "NextUnit2", "NextUnit3"}) {
            const std::string tag = ini.ReadString(key, -1);
            EXPECT_TRUE(tag.empty() || FindUnitTypeByName(tag) != 0) << section << " " << key;
        }
    });
    ForEachSection("Spells.Ini", [&](TIniFile& ini, const std::string& section) {
        if (!ini.KeyExists("Mode"))
            return; // a school section
        EXPECT_TRUE(known(MagicSchoolNames, MagicSchoolCount, ini.ReadString("Mode", -1))) << section;
        for (int i = 1; i <= 3; ++i) {
            const std::string effect = ini.ReadString("Effect" + std::to_string(i), 1);
            EXPECT_TRUE(effect.empty() || known(SpellEffectNames, SpellEffectCount, effect)) << section;
        }
        for (int i = 1; i <= ini.ValueCount("Condition"); ++i)
            EXPECT_TRUE(known(SpellTargetNames, SpellTargetCount, ini.ReadString("Condition", i))) << section;
    });
}

TEST_F(SampleInstallationTest, CrossReferencesHold)
{
    LoadAll();
    std::set<int> casterSchools;
    for (int s = 1; s <= UnitTypeCount; ++s) {
        SCOPED_TRACE(UnitTypes[s].Name.Str());
        const TPersonage& t = UnitTypes[s];
        for (int slot = 1; slot <= 4; ++slot)
            EXPECT_TRUE(t.DefaultItems[slot] >= 0 && t.DefaultItems[slot] <= ItemCount);
        // Every weapon kind a type may carry has its kind bonus.
        for (int w = 1; w <= 3; ++w)
            if (t.Weapon[w] >= 1 && t.Weapon[w] <= 22) {
                EXPECT_NE(ItemKindBonus[t.Weapon[w] - 1], NoBonus) << "weapon " << int(t.Weapon[w]);
            }
        EXPECT_NE(t.StartExpirience, 0);
        EXPECT_NE(t.LevelMultipler, 0);
        if (t.MagicSchool != 0)
            casterSchools.insert(t.MagicSchool);
    }
    // Each school a caster uses has a root and a chained battle spell.
    EXPECT_FALSE(casterSchools.empty());
    for (int school : casterSchools) {
        SCOPED_TRACE(MagicSchoolNames[school]);
        bool root = false, chained = false;
        const TSchoolSpells& list = SchoolSpells[school];
        for (int i = 1; i <= list.Count; ++i) {
            const TSpell& spell = SpellTable[list.Spells[i]];
            root |= spell.Previous < 0;
            chained |= spell.Previous > 0 && SpellTable[spell.Previous].Mode == school;
        }
        EXPECT_TRUE(root);
        EXPECT_TRUE(chained);
    }
    // Talent chains stay inside their group and point backwards.
    for (int g : {14, 15, 19, 20, 21}) {
        SCOPED_TRACE(g);
        EXPECT_GE(BonusGroupCount[g], 3);
        for (int n = 1; n <= BonusGroupCount[g]; ++n) {
            EXPECT_GE(BonusTable[g][n].Previous, 0);
            EXPECT_LT(BonusTable[g][n].Previous, n);
        }
    }
    // Hero slots 1, 2 and 6: knight, mystic, baroness.
    EXPECT_EQ(UnitTypes[1].TagName.Str(), "hero_knight");
    EXPECT_EQ(UnitTypes[2].TagName.Str(), "hero_mystic");
    EXPECT_EQ(UnitTypes[6].TagName.Str(), "hero_baroness");
    // Every item names an icon file.
    for (int n = 1; n <= ItemCount; ++n)
        EXPECT_FALSE(ItemTable[n].IconFileName.empty()) << n;
}

TEST_F(SampleInstallationTest, LanguageCopies)
{
    SetGameLanguage("rus");
    LoadBonuses();
    LoadItems();
    LoadUnitTypes();
    EXPECT_EQ(Utf8(UnitTypeNames[1].Name), "Рыцарь");
    EXPECT_EQ(UnitTypes[1].Name.Str(), "\xD0\xFB\xF6\xE0\xF0\xFC");
    EXPECT_EQ(Utf8(UnitTypeNames[2].Name), "Мистик");
    EXPECT_EQ(Utf8(UnitTypeNames[3].Name), "Wanderer"); // no section in the copy
    EXPECT_EQ(Utf8(BonusTable[BonusIndex[tCommander].Group][BonusIndex[tCommander].Entry].Name), "Полководец");

    SetGameLanguage("deu");
    LoadItems();
    EXPECT_EQ(Utf8(ItemNames[1].Name), "Milizspeer");
    EXPECT_EQ(Utf8(ItemNames[5].Name), "Yew hunting bow"); // empty in German: the English copy
    EXPECT_EQ(Utf8(ItemNames[6].Name), "Crossbow");        // in no copy: the table's own
    LoadAchievements();
    EXPECT_EQ(Utf8(AchievementDefs[0].Name), "First victory");

    SetGameLanguage("bel");
    LoadItems();
    // Without a Belarusian copy the table's own text stays; the Russian
    // fall-back only fills texts a Belarusian copy leaves empty.
    EXPECT_EQ(Utf8(ItemNames[1].Name), "Militia spear");
}
