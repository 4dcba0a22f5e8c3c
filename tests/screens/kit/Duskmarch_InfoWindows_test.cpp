// The info pop-ups and the companions panel on the recording renderer: the
// placement's clamps, the army a building shows, the top half alone without
// a garrison, the income hint's markers, the close in the frame the right
// button goes up and the map clock it restarts; companions from the player's
// carried NPC items laid out by the window's anchors, and their names.
#include "screens/kit/Duskmarch_InfoWindows.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Access.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_StringList.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Companions.h"
#include "tests/screens/kit/PartyTestSupport.h"

namespace {

std::string InfoNarrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

TEST(PopupPlacementTest, CentredOnTheMouseAndClampedIntoTheArea)
{
    struct TCase {
        int32_t X, Y, Left, Top;
    };
    // A 400 x 300 window in a 1600 x 1200 area.
    const TCase cases[] = {
        {800, 600, 600, 450},   // centred
        {1590, 600, 1200, 450}, // the right edge
        {800, 1190, 600, 900},  // the bottom edge
        {10, 20, 0, 0},         // negative positions raised to 0
        {-500, -500, 0, 0},     {5000, 5000, 1200, 900},
    };
    for (const TCase& c : cases) {
        int32_t left = -1, top = -1;
        PlacePopup(c.X, c.Y, 400, 300, 1600, 1200, left, top);
        EXPECT_EQ(left, c.Left) << c.X << "," << c.Y;
        EXPECT_EQ(top, c.Top) << c.X << "," << c.Y;
    }
}

TEST(IncomeHintTest, MarkersReplacedOrCut)
{
    const std::u16string text = u"Income: [#] gold a day<> to you.";
    EXPECT_EQ(InfoNarrow(FormatIncomeHint(text, 12, u"")), "Income: 12 gold a day");
    EXPECT_EQ(InfoNarrow(FormatIncomeHint(text, 12, u"Stonehold")), "Income: 12 gold a day to you. Stonehold");
    EXPECT_EQ(InfoNarrow(FormatIncomeHint(u"[#] and [#]", 3, u"")), "3 and 3");
    EXPECT_EQ(InfoNarrow(FormatIncomeHint(u"No markers", 3, u"")), "No markers");
}

class InfoWindowsTest : public TPartyKitTest {
protected:
    void SetUp() override
    {
        TPartyKitTest::SetUp();
        TextsIni->LoadFromMemory("Texts.ini",
                                 "[Texts]\nInfoRelationship_Own_Eng=Yours\nInfoRelationship_Hostile_Eng=Hostile\n"
                                 "InfoRelationship_Friendly_Eng=Friendly\nInfoRelationship_Neutral_Eng=Neutral\n"
                                 "Build_Garrison_Eng=Garrison\nTent_Skills_Eng=Skills\n"
                                 "[Hints]\nBuildingIncome_Eng=Income: [#] gold a day<> to you.\n");
        Image("Interface\\Windows\\Info\\window_info_army_01.tga", 400, 340);
        Image("Interface\\Windows\\Info\\window_info_army_02.tga", 400, 300);
        SizeWorldTables(3, 1);
        BuildingTexts[1].Name = u"Ashford # the mill";
        MapClockPaused = 0;
        MapClockResumeTime = -1;
    }
    void TearDown() override
    {
        BuildingInfoScreen_Free(BuildingInfoPopup);
        ArmyMoves.clear();
        ResetPlayServices();
        GUI_Keys = {};
        TPartyKitTest::TearDown();
    }

    static constexpr int32_t GarrisonOfOne = 4;

    void Inside(int32_t army, int32_t building, bool hostile)
    {
        GameArmies[static_cast<size_t>(army)].Building = building;
        ArmyMoves[PlayerArmy][static_cast<size_t>(army)].Attitude = hostile ? -100 : 100;
        ArmyMoves[static_cast<size_t>(army)][PlayerArmy].Attitude = hostile ? -100 : 100;
    }
};

TEST_F(InfoWindowsTest, BuildingShowsItsGarrisonElseAHostileElseTheLastArmy)
{
    // Nobody inside, an empty garrison: the garrison.
    EXPECT_EQ(GetBuildingShownArmy(-1), GarrisonOfOne);
    // Two friendly armies inside: the last one.
    Inside(1, 1, false);
    Inside(3, 1, false);
    EXPECT_EQ(GetBuildingShownArmy(-1), 3);
    // A hostile one among them wins.
    Inside(2, 1, true);
    EXPECT_EQ(GetBuildingShownArmy(-1), 2);
    // An army whose active flag is off does not count.
    GameArmies[2].Active = 0;
    EXPECT_EQ(GetBuildingShownArmy(-1), 3);
    // A garrison holding anyone is shown whatever stands inside.
    GameArmies[GarrisonOfOne].Formation[0][2] = 1;
    EXPECT_EQ(GetBuildingShownArmy(-1), GarrisonOfOne);
}

TEST_F(InfoWindowsTest, NoGarrisonPermissionShowsTheTopHalfOnly)
{
    BuildingInfoScreen_Create(BuildingInfoPopup);
    ASSERT_NE(BuildingInfoPopup.Window, nullptr);
    MapBuildings[1].HasGarrison = 1;
    BuildingInfoScreen_Open(BuildingInfoPopup, "2D", 800, 600, -1);
    const int32_t both = BuildingInfoPopup.Window->Height;
    EXPECT_EQ(BuildingInfoPopup.NoGarrison, 0);
    EXPECT_EQ(BuildingInfoPopup.GarrisonLabel->Visible, 1);
    EXPECT_EQ(BuildingInfoPopup.Panel.Enabled, 1);
    EXPECT_EQ(InfoNarrow(BuildingInfoPopup.TitleLabel->GetText()), "Ashford");

    MapBuildings[1].GarrisonInactive = 1;
    BuildingInfoScreen_Open(BuildingInfoPopup, "2D", 800, 600, -1);
    EXPECT_EQ(BuildingInfoPopup.NoGarrison, 1);
    EXPECT_EQ(BuildingInfoPopup.GarrisonLabel->Visible, 0);
    EXPECT_EQ(BuildingInfoPopup.Panel.Enabled, 0);
    EXPECT_LT(BuildingInfoPopup.Window->Height, both);
    EXPECT_EQ(BuildingInfoPopup.Catcher->Height, BuildingInfoPopup.Window->Height);
}

TEST_F(InfoWindowsTest, RelationTextsInTheirColours)
{
    uint32_t colour = 0;
    GameBuildings[1].OwnerArmy = PlayerArmy;
    EXPECT_STREQ(BuildingRelationKey(1, colour), "InfoRelationship_Own");
    EXPECT_EQ(colour, RelationOwnColour);
    GameBuildings[1].OwnerArmy = 1;
    Inside(1, 0, true);
    EXPECT_STREQ(BuildingRelationKey(1, colour), "InfoRelationship_Hostile");
    EXPECT_EQ(colour, RelationHostileColour);
    Inside(1, 0, false);
    EXPECT_STREQ(BuildingRelationKey(1, colour), "InfoRelationship_Friendly");
    EXPECT_EQ(colour, RelationFriendlyColour);
    ArmyMoves[PlayerArmy][1].Attitude = 0;
    ArmyMoves[1][PlayerArmy].Attitude = 0;
    EXPECT_STREQ(BuildingRelationKey(1, colour), "InfoRelationship_Neutral");
    EXPECT_EQ(colour, RelationNeutralColour);
}

TEST_F(InfoWindowsTest, IncomeIconHintNamesTheReceivingBuilding)
{
    SizeWorldTables(3, 2);
    BuildingTexts[1].Name = u"Ashford";
    BuildingTexts[2].Name = u"Stonehold # castle";
    MapBuildings[1].IncomeBonus = 20;
    BuildingInfoScreen_Create(BuildingInfoPopup);
    BuildingInfoScreen_Open(BuildingInfoPopup, "2D", 800, 600, -1);
    TGUI_Object* income = BuildingInfoPopup.Services[ServiceIncome].GuiObject;
    ASSERT_EQ(income->Visible, 1);
    const int32_t shown = 20 * CurrentDifficulty().HeroIncome / 100;
    auto hint = [] {
        const THint& h = MainHint();
        for (const THintLine& line : h.Lines)
            if (line.List != nullptr && line.List->Count > 0)
                return InfoNarrow(line.List->Texts[0]);
        return std::string();
    };
    income->OnEnter(income);
    EXPECT_EQ(hint(), "Income: " + std::to_string(shown) + " gold a day");
    GameBuildings[1].CapturedFrom = 2;
    income->OnEnter(income);
    EXPECT_EQ(hint(), "Income: " + std::to_string(shown) + " gold a day to you. Stonehold");
    // A building without income shows no income icon.
    MapBuildings[1].IncomeBonus = 0;
    BuildingInfoScreen_Open(BuildingInfoPopup, "2D", 800, 600, -1);
    EXPECT_EQ(income->Visible, 0);
    EXPECT_EQ(income->Enabled, 0);
}

TEST_F(InfoWindowsTest, ClosesTheFrameTheRightButtonGoesUpAndRestartsTheClock)
{
    BuildingInfoScreen_Create(BuildingInfoPopup);
    BuildingInfoScreen_Open(BuildingInfoPopup, "2D", 800, 600, -1);
    TGUI_GraphicWindow* window = BuildingInfoPopup.Window;
    window->Hovered = 0; // the mouse rests on the pop-up
    const size_t pending = Processor->Pending.size();
    auto closing = [&] {
        for (size_t i = pending; i < Processor->Pending.size(); i++)
            if (Processor->Pending[i].Window == window && Processor->Pending[i].State == GUI_STATE_CLOSE)
                return true;
        return false;
    };
    // The button that opened it is held (swallowed by the showing).
    GUI_Keys[GUI_KEY_RBUTTON] = {0, 0, 1};
    BuildingInfoScreen_WindowHandler(GUI_STATE_ACTIVE, window);
    EXPECT_FALSE(closing());
    // Released without any move.
    GUI_Keys[GUI_KEY_RBUTTON] = {0, 0, 0};
    BuildingInfoScreen_WindowHandler(GUI_STATE_ACTIVE, window);
    EXPECT_TRUE(closing());

    BuildingInfoScreen_WindowHandler(GUI_STATE_CLOSE, window);
    EXPECT_EQ(MapClockResumeTime, GetFrameTime(false));
    MapClockPaused = 1;
    BuildingInfoScreen_WindowHandler(GUI_STATE_CLOSE, window);
    EXPECT_EQ(MapClockResumeTime, 0);
}

TEST_F(InfoWindowsTest, LeavingThePopupClosesIt)
{
    BuildingInfoScreen_Create(BuildingInfoPopup);
    BuildingInfoScreen_Open(BuildingInfoPopup, "2D", 800, 600, -1);
    TGUI_GraphicWindow* window = BuildingInfoPopup.Window;
    GUI_Keys[GUI_KEY_RBUTTON] = {0, 0, 1};
    window->Hovered = -1;
    const size_t pending = Processor->Pending.size();
    BuildingInfoScreen_WindowHandler(GUI_STATE_ACTIVE, window);
    ASSERT_GT(Processor->Pending.size(), pending);
    EXPECT_EQ(Processor->Pending.back().State, GUI_STATE_CLOSE);
}

// ---------------------------------------------------------------------------
// Companions

class CompanionsTest : public TPartyKitTest {
protected:
    void SetUp() override
    {
        TPartyKitTest::SetUp();
        std::ifstream in(std::string(DUSKMARCH_FIXTURES) + "/screens/CompanionsDemo.ini", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        Folder.WriteProgramFile("Interface\\CompanionsDemo.ini", text.str());
        Demo = new TGUI_GraphicWindow(Render.get(), "CompanionsDemo_Window");
        for (const char* image :
             {"Panel.tga", "Button.tga", "Button_Hover.tga", "Button_Pressed.tga", "Button_Disabled.tga"})
            Image(std::string("Interface\\MainMenu\\") + image, 16, 16);
        try {
            Demo->LoadFromFile(InterfaceFolder + "CompanionsDemo.ini", "", "");
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
        Demo->Arrange();
        AdditionalPersonage.Create(Demo);
        for (int32_t i = 0; i < 10; i++) {
            Npc[i] = AddItem(TItemType::NPC);
            ItemTable[Npc[i]].Name = "Companion " + std::to_string(i + 1);
        }
    }
    void TearDown() override
    {
        AdditionalPersonage.Destroy();
        delete Demo;
        TPartyKitTest::TearDown();
    }

    void Carry(std::initializer_list<int32_t> items)
    {
        ArmyItems[PlayerArmy] = {0};
        for (int32_t item : items)
            ArmyItems[PlayerArmy].push_back(item);
        GameArmies[PlayerArmy].ItemCount = static_cast<int32_t>(items.size());
    }

    int32_t Shown() const
    {
        int32_t n = 0;
        for (const TGUI_Object* portrait : AdditionalPersonage.Portraits)
            n += portrait->Visible;
        return n;
    }

    TGUI_GraphicWindow* Demo = nullptr;
    int32_t Npc[10] = {};
};

TEST_F(CompanionsTest, NoneHidesFramePortraitsAndButton)
{
    Carry({Sword, Potion});
    AdditionalPersonage.Refresh();
    EXPECT_EQ(Shown(), 0);
    EXPECT_EQ(Demo->GetValue("frame.Visible"), 0);
    EXPECT_EQ(Demo->GetValue("b_Companions.Visible"), 0);
    for (int32_t n = 1; n <= 9; n++)
        EXPECT_EQ(Demo->GetValue("s_Companion" + std::to_string(n) + ".Visible"), 0) << n;
    // Closing the panel brings the open button back.
    AdditionalPersonage.HideAll();
    EXPECT_EQ(Demo->GetValue("b_Companions.Visible"), 1);
}

TEST_F(CompanionsTest, TwoCompanionsStandAtStartAndStartPlusStep)
{
    Carry({Sword, Npc[0], Potion, Npc[1]});
    AdditionalPersonage.Refresh();
    EXPECT_EQ(Shown(), 2);
    const int32_t start = Demo->GetValue("s_Companion1.X") + 3;
    const int32_t step = Demo->GetValue("s_Companion2.X") - Demo->GetValue("s_Companion1.X");
    ASSERT_GT(step, 0);
    EXPECT_EQ(AdditionalPersonage.Portraits[0]->X, start);
    EXPECT_EQ(AdditionalPersonage.Portraits[1]->X, start + step);
    EXPECT_EQ(AdditionalPersonage.Portraits[0]->Y, 10);
    EXPECT_EQ(AdditionalPersonage.Portraits[1]->Enabled, 1);
    EXPECT_EQ(AdditionalPersonage.NameLists[1]->Visible, 1);
    EXPECT_EQ(Demo->GetValue("s_Companion2.Visible"), 1);
    EXPECT_EQ(Demo->GetValue("s_Companion3.Visible"), 0);
    EXPECT_EQ(InfoNarrow(AdditionalPersonage.Names[1]), "Companion 2");
}

TEST_F(CompanionsTest, TenShowNineAndHoverNamesThem)
{
    Carry({Npc[0], Npc[1], Npc[2], Npc[3], Npc[4], Npc[5], Npc[6], Npc[7], Npc[8], Npc[9]});
    AdditionalPersonage.Refresh();
    EXPECT_EQ(Shown(), 9);
    EXPECT_EQ(InfoNarrow(AdditionalPersonage.Names[8]), "Companion 9");
    TGUI_Object* third = AdditionalPersonage.Portraits[2];
    third->OnEnter(third);
    const THint& hint = MainHint();
    EXPECT_EQ(hint.Owner, third);
    ASSERT_FALSE(hint.Lines.empty());
    ASSERT_NE(hint.Lines[0].List, nullptr);
    EXPECT_EQ(InfoNarrow(hint.Lines[0].List->Texts[0]), "Companion 3");
}

} // namespace
