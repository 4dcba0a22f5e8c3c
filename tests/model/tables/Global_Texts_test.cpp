// Bonus and spell tooltip texts, log names of armies and buildings.
#include <gtest/gtest.h>

#include <cstring>

#include "model/tables/Global_Texts.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/Support.h"
#include "model/world/World_Tables.h"
#include "tests/model/ModelTestSupport.h"
#include "tests/model/RulesTestSupport.h"

namespace {

const std::string Separator = "<br>----------------<br>";

class GlobalTextsTest : public TRulesTest {
protected:
    // Bonus b as entry 1 of group 3, with its value and description.
    static void SetBonus(uint8_t b, int32_t value, const std::u16string& descript)
    {
        BonusIndex[b] = {3, 1};
        BonusTable[3][1].Name = u"Name";
        BonusTable[3][1].Descript = descript;
        BonusTable[3][1].Mode = b;
        BonusValues[b] = value;
    }
    static void SetSpell(int32_t spell, const std::u16string& descript)
    {
        SpellTable[spell].Name = u"Bolt";
        SpellTable[spell].Descript = descript;
        SpellCount = std::max(SpellCount, spell);
    }
    static TPersonage Blank()
    {
        TPersonage p;
        std::memset(static_cast<void*>(&p), 0, sizeof p);
        return p;
    }
};

} // namespace

TEST_F(GlobalTextsTest, BonusPlaceholders)
{
    struct TRow {
        const char16_t* Descript;
        const char* Expected;
    };
    const TRow rows[] = {
        {u"a [#2] b", "a 2 b"},       // 5 / 2 = 2.5 rounds to even
        {u"[#-2]", "2"},              // "#" first: the "-" is not leading
        {u"[#4]", "1"},               // 1.25
        {u"[3] and [1]", "15 and 5"}, // value times n
        {u"[-3]", "-15"},             // a leading "-" negates
        {u"[0]", "5"},                // n 0 counts as 1
        {u"[]", "5"},                 //
        {u"[x2y]", "10"},             // only digits count
        {u"x [3 y", "x 53 y"},        // no "]": an empty placeholder, the rest read on
        {u"[2] [5", "10 55"},         //
        {u"no placeholder", "no placeholder"},
        {u"]", "]"},
    };
    for (const TRow& row : rows) {
        SetBonus(Regeneration, 5, row.Descript);
        EXPECT_EQ(Utf8(GetBonusDescription(Regeneration)), "Name" + Separator + row.Expected) << row.Expected;
    }
}

TEST_F(GlobalTextsTest, BonusErrorsAndEntry)
{
    EXPECT_EQ(Utf8(GetBonusDescription(0)), "Error! Attempt show empty bonus");
    EXPECT_EQ(Utf8(GetBonusDescription(Poisoned)), "Error! Incorrect bonus Poisoned");
    EXPECT_EQ(Utf8(GetPersonageBonusDescription(Poisoned, Blank())), "Error! Incorrect bonus Poisoned");
    EXPECT_EQ(Utf8(GetPersonageBonusDescription(0, Blank())), "Error! Attempt show empty bonus");

    // GetBonusTTX leaves its output alone when there is nothing to copy.
    TBonusTTX entry;
    entry.Name = u"kept";
    GetBonusTTX(0, entry);
    GetBonusTTX(Poisoned, entry);
    BonusIndex[Poisoned] = {22, 1}; // a group outside the table
    GetBonusTTX(Poisoned, entry);
    EXPECT_EQ(Utf8(GetBonusDescription(Poisoned)), "Error! Incorrect bonus Poisoned");
    EXPECT_EQ(Utf8(entry.Name), "kept");
    SetBonus(Poisoned, 3, u"d");
    GetBonusTTX(Poisoned, entry);
    EXPECT_EQ(Utf8(entry.Name), "Name");
    EXPECT_EQ(entry.Mode, Poisoned);
}

TEST_F(GlobalTextsTest, ListBonuses)
{
    TBonusSet set{};
    TByteArray list{9, 9};
    EXPECT_EQ(ListBonuses(set, list), 0);
    EXPECT_TRUE(list.empty());
    set.Include(0);
    set.Include(203);
    set.Include(7);
    set.Include(8);
    EXPECT_EQ(ListBonuses(set, list), 3);
    EXPECT_EQ(list, (TByteArray{7, 8, 203}));
}

TEST_F(GlobalTextsTest, PersonageBonusShowsBattleCounters)
{
    TPersonage p = Blank();
    p.EncouragementCount = 3;
    p.HitsTaken = 4;
    p.WallsBonus = 6;
    p.CohesionCount = 2;
    BonusValues[tRage] = 10;
    BonusValues[tCohesion] = 7;
    struct TRow {
        uint8_t Bonus;
        int32_t Value;
        const char16_t* Descript;
        const char* Expected;
    };
    const TRow rows[] = {
        {eEncouragement, 5, u"[2] [%] [#2]", "10 15 2"}, // special: 3 x 5
        {eRage, 5, u"[%x]", "40"},                       // 10 x 4 hits taken
        {eCastleDefense, 5, u"[%]", "6"},
        {eCohesion, 5, u"[%] [1]", "14 5"},            // 2 x 7
        {Regeneration, 5, u"[%] [1]", "0 5"},          // no battle counter: 0
        {eCastleDefense, 0, u"[3] [#2] [%]", "6 6 6"}, // value 0: the special value everywhere
        {Regeneration, 0, u"[3]", "0"},
    };
    for (const TRow& row : rows) {
        SetBonus(row.Bonus, row.Value, row.Descript);
        EXPECT_EQ(Utf8(GetPersonageBonusDescription(row.Bonus, p)), "Name" + Separator + row.Expected)
            << BonusNames[row.Bonus] << " " << row.Expected;
    }
}

TEST_F(GlobalTextsTest, SpellTextsScaleWithPower)
{
    SetSpell(4, u"Deals [20] damage ([0]).");
    struct TRow {
        int32_t Power;
        const char* Expected;
    };
    const TRow rows[] = {{50, "30"}, {0, "20"}, {-100, "0"}, {25, "25"}, {-50, "10"}, {1, "20"}}; // 20.2 -> 20
    for (const TRow& row : rows)
        EXPECT_EQ(Utf8(GetSpellDescription(4, row.Power)),
                  "Bolt" + Separator + "Deals " + row.Expected + " damage (0).")
            << row.Power;
    EXPECT_EQ(GetSpellDescription(0, 50), u"");

    SetSpell(2, u"[10]");
    TPersonage p = Blank();
    p.Stats[statMagicPower] = 20;
    p.Mana = 60;
    p.Spells[3].Spell = 2;
    EXPECT_EQ(Utf8(GetPersonageSpellDescription(2, p, true)), "Bolt" + Separator + "12");  // MagicPower 20
    EXPECT_EQ(Utf8(GetPersonageSpellDescription(3, p, false)), "Bolt" + Separator + "16"); // slot 3 at Mana 60
    EXPECT_EQ(GetPersonageSpellDescription(0, p, true), u"");

    BonusValues[bWand] = 40;
    for (uint8_t wand : {bWand, bWand3, bWand5}) {
        p.PersBonus[3] = wand;
        EXPECT_EQ(Utf8(GetPersonageSpellDescription(2, p, true)), "Bolt" + Separator + "16");  // 20 + 40
        EXPECT_EQ(Utf8(GetPersonageSpellDescription(3, p, false)), "Bolt" + Separator + "20"); // 60 + 40
    }
    p.PersBonus[3] = bStaff;
    EXPECT_EQ(Utf8(GetPersonageSpellDescription(2, p, true)), "Bolt" + Separator + "12");
}

namespace {

class LogNamesTest : public GlobalTextsTest {
protected:
    void SetUp() override
    {
        GlobalTextsTest::SetUp();
        SetGameLanguage("eng");
        ArmyCount = 3;
        BuildingCount = 2;
        ArmyTexts[2].Name = u"Grey Riders";
        BuildingTexts[2].Name = u"Hollow Keep";
    }
    void TearDown() override
    {
        SetGameLanguage("eng");
        GlobalTextsTest::TearDown();
    }
};

} // namespace

TEST_F(LogNamesTest, ArmiesGarrisonsAndBuildings)
{
    struct TRow {
        const char* Language;
        int32_t Army;
        std::u16string Expected;
    };
    const TRow rows[] = {
        {"eng", PlayerArmy, u"#0 Hero army"},
        {"eng", -1, u"no army"},
        {"eng", 2, u"#2 Grey Riders"},
        {"eng", 5, u"#5 Hollow Keep"}, // the garrison of building 2 keeps its army number
        {"deu", -1, u"no army"},
        {"rus", PlayerArmy, u"#0 Отряд героя"},
        {"rus", -1, u"отсутсвует"},
        {"rus", 2, u"#2 Серые всадники"},
        {"rus", 5, u"#5 Hollow Keep"},
    };
    for (const TRow& row : rows) {
        SetGameLanguage(row.Language);
        ArmyTexts[2].Name = CurrentLanguage == TLanguage::Rus ? u"Серые всадники" : u"Grey Riders";
        const int codePage = CurrentLanguage == TLanguage::Rus ? 1251 : 1252;
        EXPECT_EQ(GetArmyLogName(row.Army), OS_WideToMultiByte(codePage, row.Expected))
            << row.Language << " " << row.Army;
    }
    SetGameLanguage("eng");
    EXPECT_EQ(GetBuildingLogName(2), "#2 Hollow Keep");
}

TEST_F(LogNamesTest, CountPlayerBuildingsOfType)
{
    BuildingCount = 3;
    MapBuildings.Count = 3;
    GameBuildings.resize(4);
    const TBuildingType types[] = {TBuildingType::Village, TBuildingType::Village, TBuildingType::Castle};
    const int32_t owners[] = {PlayerArmy, 2, PlayerArmy};
    for (int b = 1; b <= 3; ++b) {
        MapBuildings[b].BuildingType = static_cast<uint8_t>(types[b - 1]);
        GameBuildings[b].OwnerArmy = owners[b - 1];
    }
    EXPECT_EQ(CountPlayerBuildingsOfType(TBuildingType::Village), 1);
    EXPECT_EQ(CountPlayerBuildingsOfType(TBuildingType::Castle), 1);
    EXPECT_EQ(CountPlayerBuildingsOfType(TBuildingType::Town), 0);
    GameBuildings[2].OwnerArmy = PlayerArmy;
    EXPECT_EQ(CountPlayerBuildingsOfType(TBuildingType::Village), 2);
    // A building state table shorter than the count is read as far as it goes.
    GameBuildings.resize(2);
    EXPECT_EQ(CountPlayerBuildingsOfType(TBuildingType::Village), 1);
    EXPECT_EQ(CountPlayerBuildingsOfType(TBuildingType::Castle), 0);
}
