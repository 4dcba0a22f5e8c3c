// The info panel's texts and placement and the signs panel's collection
// order, caps and layouts.
#include "screens/kit/Duskmarch_PersPanels.h"

#include <gtest/gtest.h>

#include "model/save/SavedGame.h"
#include "model/tables/BonusType.h"
#include "render/QX9_GUI_StringList.h"
#include "screens/Duskmarch_PlayServices.h"
#include "tests/screens/kit/PartyTestSupport.h"

namespace {

class PersPanelsTest : public TPartyKitTest {
protected:
    void TearDown() override
    {
        HeroName.clear();
        Battle_Window = nullptr;
        TPartyKitTest::TearDown();
    }

    // A bonus table entry with an icon for each bonus the test shows.
    void GiveIcon(uint8_t bonus, int32_t group, int32_t entry)
    {
        BonusTable[group][entry].Mode = bonus;
        BonusTable[group][entry].Icon = Look(32, 32);
        BonusTable[group][entry].Name = u"bonus";
        BonusIndex[bonus] = {group, entry};
    }
};

TEST_F(PersPanelsTest, NameLines)
{
    TPersonage p = *Hero;
    HeroName = u"Aldric";
    UnitTypes[3].UnitType = 3;
    p.UnitType = 3;
    p.Name.Assign("Stored name");
    EXPECT_EQ(PersonageDisplayName(p), u"Aldric");

    // Types above the six hero kinds show their own names.
    const int32_t type = 10;
    p.UnitType = type;
    p.Name.Assign("Swordsman # the plain one");
    UnitTypeNames[type].Name = u"Swordsman";
    EXPECT_EQ(PersonageDisplayName(p), u"Swordsman");
    EXPECT_EQ(PersonageTypeLine(p, u"Swordsman"), u"") << "one line when the names agree";
    UnitTypeNames[type].Name = u"Sworn Blade of the Northern March";
    EXPECT_EQ(PersonageTypeLine(p, u"Swordsman"), u"(Sworn Blade of the N)");
    p.UnitType = 0;
    EXPECT_EQ(PersonageDisplayName(p), u"");

    TPersInfoPanel panel;
    panel.Create(Window);
    p.UnitType = type;
    panel.SetPersonage(p);
    ASSERT_EQ(panel.NameList->Count, 2);
    EXPECT_EQ(panel.NameList->Texts[1], u"(Sworn Blade of the N)");
    UnitTypeNames[type].Name = u"Swordsman";
    panel.SetPersonage(p);
    EXPECT_EQ(panel.NameList->Count, 1);
    panel.Destroy();
}

TEST_F(PersPanelsTest, SpellPowerReadsCurrentOverMaximumDuringABattle)
{
    TPersonage p = *Hero;
    p.AttackMode = 16;
    p.Mana = 7;
    p.Stats[statMagicPower] = 12;
    EXPECT_FALSE(IsBattleOnScreen());
    EXPECT_EQ(PersonageAttackText(p, IsBattleOnScreen()), u"12");
    TGUI_Window battle(Render.get(), "Battle_Window");
    battle.State = GUI_STATE_ACTIVE;
    Battle_Window = &battle;
    EXPECT_EQ(PersonageAttackText(p, IsBattleOnScreen()), u"7/12");
    battle.State = GUI_STATE_INACTIVE;
    EXPECT_EQ(PersonageAttackText(p, IsBattleOnScreen()), u"7/12") << "covered counts";
    battle.State = GUI_STATE_CLOSED;
    EXPECT_EQ(PersonageAttackText(p, IsBattleOnScreen()), u"12");
    p.AttackMode = 4;
    p.Stats[statAttackBlow] = 9;
    EXPECT_EQ(PersonageAttackText(p, true), u"9");
    Battle_Window = nullptr;
}

TEST_F(PersPanelsTest, SignsComeInCollectionOrder)
{
    TPersonage p = *Hero;
    p.Dagger = 1;
    p.Armor = 3;
    p.Shield = 2;
    p.Spells[2].Spell = 4;
    std::vector<std::string> names;
    for (const TSignRequest& sign : CollectSigns(p, 2))
        names.push_back(std::to_string(sign.Kind) + ":" + sign.Name);
    // The sword skill of his weapon class first, then dagger, armour, the
    // big shield before the small one, then the spell.
    const std::vector<std::string> tail = {"1:bDagger", "1:bLightArmor", "1:BigShield", "1:SmallShield", "3:4"};
    ASSERT_GE(names.size(), tail.size() + 1);
    EXPECT_EQ(names.front(), "1:bSword");
    EXPECT_EQ(std::vector<std::string>(names.end() - static_cast<std::ptrdiff_t>(tail.size()), names.end()), tail);
}

TEST_F(PersPanelsTest, ATwentyFifthSignIsDropped)
{
    TSignsPanel panel;
    panel.Create(Window);
    GiveIcon(bSword, 1, 1);
    for (int32_t i = 0; i < SignCount; i++)
        EXPECT_TRUE(panel.AddSign(4, bSword, 0)) << i;
    EXPECT_FALSE(panel.AddSign(4, bSword, 0));
    EXPECT_EQ(panel.UsedSigns, SignCount);
    EXPECT_EQ(panel.Signs[SignCount - 1].Kind, 4);
    // A bonus without an icon gives no sign.
    EXPECT_FALSE(panel.AddSign(5, bAxe, 0));
    EXPECT_EQ(panel.UsedEffects, 0);
    panel.Destroy();
}

TEST_F(PersPanelsTest, AGroupChangeInTheListStartsHalfARowLower)
{
    std::vector<std::pair<int32_t, int32_t>> at;
    LayoutSignList({1, 1, 1, 3, 4}, 1000, 100, at);
    const std::vector<std::pair<int32_t, int32_t>> expected = {
        {815, 100}, {1000, 100}, {815, 134}, // group 0: two columns
        {815, 185},                          // group 1: after two rows and a 17-pixel gap
        {815, 236},                          // group 2: one row further and another gap
    };
    EXPECT_EQ(at, expected);
}

TEST_F(PersPanelsTest, PopUpPlacement)
{
    TPersInfoPanel panel;
    panel.Create(Window);
    panel.SetPersonage(*Hero);
    panel.Show(200, 300, false);
    EXPECT_EQ(panel.NameList->X, 165);
    EXPECT_EQ(panel.NameList->Y, 315);
    EXPECT_EQ(panel.HitsObject->X, 219);
    EXPECT_EQ(panel.HitsObject->Y, 403);
    EXPECT_EQ(panel.WillObject->X, 338);
    EXPECT_EQ(panel.WillObject->Y, 468);
    EXPECT_EQ(panel.HitsObject->Tag, -1);
    EXPECT_EQ(panel.WillObject->Tag, -4);
    EXPECT_EQ(panel.ShowStats, 1);
    panel.Destroy();
}

} // namespace
