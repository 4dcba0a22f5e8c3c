// The building window: the flight's poses and the picture table as rules,
// then the window under the screen harness in a town (flight, trade, a
// close during a drag, Esc) and in a castle (actions, garrison).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/Support.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "model/ai/AIMain_Settings.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/tables/BuildingType.h"
#include "model/tables/Global.h"
#include "model/world/Prices.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "screens/Duskmarch_PartyContext.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Sound.h"
#include "screens/kit/Duskmarch_DragItem.h"
#include "screens/kit/Duskmarch_PersIcon.h"
#include "screens/kit/Duskmarch_PersPanels.h"
#include "screens/party/Duskmarch_Building.h"
#include "tests/screens/ScreenHarness.h"

namespace {

// ---------------------------------------------------------------------------
// Rules

TEST(BuildingFlight, YawTurnsTheShortWay)
{
    struct TCase {
        float MapYaw;
        float Angle; // the building record's; its view's yaw is the negation
        float Start;
        float Turn;
    };
    const TCase cases[] = {
        {6.0f, -0.2f, 6.0f - 2 * std::numbers::pi_v<float>, 0.4832f},
        {-7.0f, -0.2f, -7.0f + 2 * std::numbers::pi_v<float>, 0.2f + 0.7168f},
        {0.1f, -6.2f, 0.1f + 2 * std::numbers::pi_v<float>, 6.2f - 0.1f - 2 * std::numbers::pi_v<float>},
        {1.0f, 0.0f, 1.0f, -1.0f},
    };
    for (const TCase& c : cases) {
        TBuildingCameraPose current{20, c.MapYaw, 0.8f, 1, 2, 3};
        const float position[3] = {100, 10, 200};
        TBuildingCameraPose poses[2];
        ComputeBuildingCameraPoses(current, c.Angle, position, poses);
        EXPECT_NEAR(poses[0].Yaw, c.Start, 1e-3f) << c.MapYaw;
        EXPECT_NEAR(poses[1].Yaw - poses[0].Yaw, c.Turn, 1e-3f) << c.MapYaw;
        EXPECT_LE(std::fabs(poses[1].Yaw - poses[0].Yaw), std::numbers::pi_v<float> + 1e-4f);
        EXPECT_EQ(poses[1].Pitch, 34.0f);
        EXPECT_FLOAT_EQ(poses[1].Zoom, 0.4f);
        EXPECT_FLOAT_EQ(poses[1].X, -100.0f);
        EXPECT_FLOAT_EQ(poses[1].Y, -15.0f);
        EXPECT_FLOAT_EQ(poses[1].Z, -200.0f);
    }
    EXPECT_NEAR(NormalizeBuildingYaw(-7.0f), -7.0f + 2 * std::numbers::pi_v<float>, 1e-5f);
    EXPECT_EQ(NormalizeBuildingYaw(NAN), 0.0f);
}

TEST(BuildingFlight, PoseAtAFraction)
{
    const TBuildingCameraPose a{10, -1, 0.2f, 0, 0, 0}, b{30, 1, 0.6f, 10, -20, 40};
    const TBuildingCameraPose mid = InterpolateBuildingPose(a, b, 0.5f);
    EXPECT_FLOAT_EQ(mid.Pitch, 20);
    EXPECT_FLOAT_EQ(mid.Yaw, 0);
    EXPECT_FLOAT_EQ(mid.Zoom, 0.4f);
    EXPECT_FLOAT_EQ(mid.X, 5);
    EXPECT_FLOAT_EQ(mid.Y, -10);
    EXPECT_FLOAT_EQ(mid.Z, 20);
    EXPECT_EQ(InterpolateBuildingPose(a, b, -0.1f).Pitch, 10);
    EXPECT_EQ(InterpolateBuildingPose(a, b, 1.5f).Pitch, 30);
}

TEST(BuildingPicture, DayNightAndTable)
{
    const auto clock = [](int64_t minute) { return minute * 10000; };
    EXPECT_FALSE(IsBuildingDaytime(clock(405)));
    EXPECT_FALSE(IsBuildingDaytime(clock(1210)));
    EXPECT_TRUE(IsBuildingDaytime(clock(406)));
    EXPECT_TRUE(IsBuildingDaytime(clock(1209)));
    EXPECT_TRUE(IsBuildingDaytime(clock(1440 * 3 + 700)));

    struct TCase {
        TBuildingType Type;
        int32_t Model;
        int32_t Variant;
        bool Day;
        const char* Name;
        uint8_t SubKind;
        uint8_t Tag;
    };
    const TCase cases[] = {
        {TBuildingType::Town, 1, 0, true, "town", 6, 1},
        {TBuildingType::Town, 1, 0, false, "town_night", 6, 2},
        {TBuildingType::Castle, 2, 0, false, "castle_night", 0, 2},
        {TBuildingType::Tavern, 9, 0, false, "inn", 5, 0},
        {TBuildingType::Farm, 8, 6, false, "Forge", 10, 0},
        {TBuildingType::Farm, 8, 2, false, "house_night", 12, 2},
        {TBuildingType::Church, 5, 0, false, "church", 1, 0},
        {TBuildingType::Town, 21, 0, true, "village_ruins", 8, 0},
        {TBuildingType::Mine, 23, 0, false, "village_ruins", 8, 0},
        {TBuildingType::Castle, 25, 0, true, "village_ruins", 8, 0},
        {TBuildingType::Castle, 27, 0, true, "village_ruins", 8, 0},
        {TBuildingType::Castle, 24, 0, true, "castle", 0, 1},
        {TBuildingType::Bridge, 31, 0, true, "", 0, 0},
        {TBuildingType::None, 0, 0, true, "", 0, 0},
    };
    for (const TCase& c : cases) {
        const TBuildingPicture p = ChooseBuildingPicture(static_cast<uint8_t>(c.Type), c.Model, c.Variant, c.Day);
        EXPECT_EQ(p.Name, c.Name) << static_cast<int>(c.Type) << " model " << c.Model;
        EXPECT_EQ(p.SubKind, c.SubKind) << c.Name;
        EXPECT_EQ(p.Tag, c.Tag) << c.Name;
    }
}

TEST(BuildingTabs, FirstTabByType)
{
    struct TCase {
        TBuildingType Type;
        bool Enc, Hire, Trade, Actions, Garrison;
        bool HireWithStock;
        int32_t First;
    };
    const TCase cases[] = {
        {TBuildingType::Castle, false, true, true, true, true, true, TabHire},
        {TBuildingType::Castle, false, false, true, true, true, false, TabActions},
        {TBuildingType::Castle, false, false, false, false, true, false, TabGarrison},
        {TBuildingType::Village, false, true, true, true, false, true, TabActions},
        {TBuildingType::Village, false, true, true, false, false, true, TabHire},
        {TBuildingType::Village, false, true, true, false, false, false, TabTrade},
        {TBuildingType::Town, false, true, true, true, false, true, TabTrade},
        {TBuildingType::Town, false, true, false, true, false, true, TabHire},
        {TBuildingType::Port, false, true, true, true, false, true, TabActions},
        {TBuildingType::Mine, false, true, true, true, true, true, TabNone},
        {TBuildingType::Mine, true, false, false, false, false, false, TabEncounters},
        {TBuildingType::Town, true, true, true, true, true, true, TabEncounters},
    };
    for (const TCase& c : cases) {
        const bool offered[BuildingTabCount + 1] = {false, c.Enc, c.Hire, c.Trade, c.Actions, c.Garrison};
        EXPECT_EQ(ChooseFirstBuildingTab(static_cast<uint8_t>(c.Type), offered, c.HireWithStock), c.First)
            << static_cast<int>(c.Type);
    }
}

// ---------------------------------------------------------------------------
// The window under the harness

std::vector<int32_t> Played;

// The map screen's part: it opens the window from inside a frame step.
bool OpenerFired = false;
void OpenerHandler(int32_t state, TGUI_Window* window)
{
    if (state != GUI_STATE_ACTIVE)
        return;
    RenderAndPresentScene(window->DrawScene);
    if (!OpenerFired) {
        OpenerFired = true;
        BuildingScreen_Open();
    }
}

constexpr int32_t BuildingTown = 1;
constexpr int32_t BuildingCastle = 2;

class BuildingScreenTest : public TScreenHarness {
protected:
    void TearDown() override
    {
        DragItem.Init();
        if (Building_Window != nullptr)
            GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), Building_Window),
                                  GUI_OpenWindows.end());
        if (Opener != nullptr) {
            GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), Opener),
                                  GUI_OpenWindows.end());
            delete Opener;
            Opener = nullptr;
        }
        BuildingScreen_Free();
        BuildingSoundHook = nullptr;
        StoredMapPose = {};
        PartyContext = {};
        TScreenHarness::TearDown();
    }

    // The screen world, the sample tables, a town with a shop one item short
    // of full, and the castle owned by the player with its garrison, a
    // treasury and a wounded personage to treat.
    bool Build(int32_t building)
    {
        if (!Start())
            return false;
        LoadBonuses();
        LoadSpells();
        LoadItems();
        for (int32_t item = 1; item <= ItemCount && Goods.size() < 60; item++)
            if (ItemTable[item].Image >= 1 && ItemTable[item].Cost >= 10 && GetItemCategory(item) != CategoryOther)
                Goods.push_back(item);
        if (Goods.size() < 6)
            return false;
        TIntArray& bag = ArmyItems[PlayerArmy];
        bag = {0};
        for (int32_t i = 0; i < 6; i++)
            bag.push_back(Goods[static_cast<size_t>(i)]);
        GameArmies[PlayerArmy].ItemCount = 6;
        GameArmies[PlayerArmy].Gold = 1000;
        GameArmies[PlayerArmy].Building = building;
        GameClock = int64_t{12} * 60 * 10000;

        for (int32_t b : {BuildingTown, BuildingCastle}) {
            TMapBuilding& record = MapBuildings[b];
            record.Pos[0] = 300;
            record.Pos[1] = 12;
            record.Pos[2] = 400;
            record.Angle = -0.2f;
            for (int32_t k = 1; k <= 15; k++)
                record.TradeKinds[k] = 1;
            for (int32_t k = 1; k <= 2; k++)
                record.TradeKinds2[k] = 1;
            for (int32_t k = 1; k <= 4; k++)
                record.TradePercent[k] = 100;
            for (int32_t k = 1; k <= 3; k++)
                record.ShopAlignment[k] = 1;
        }
        MapBuildings[BuildingTown].HasShop = 1;
        GameBuildings[BuildingTown].ShopOpen = 1;
        GameBuildings[BuildingTown].OwnerArmy = -1;
        for (int32_t i = 1; i <= ShopItemCapacity; i++)
            GameBuildings[BuildingTown].ShopItems[i] = i <= 39 ? Goods[static_cast<size_t>(5 + i) % Goods.size()] : 0;
        BuildingTexts[BuildingTown].Name = u"Ashford";
        BuildingTexts[BuildingTown].Description = u"A market town on the river, loud with carts and bells.";

        TMapBuilding& castle = MapBuildings[BuildingCastle];
        castle.HasGarrison = 1;
        castle.HasTreasury = 1;
        castle.ServiceC = 1;
        GameBuildings[BuildingCastle].OwnerArmy = PlayerArmy;
        GameBuildings[BuildingCastle].HealingOpen = 1;
        GameBuildings[BuildingCastle].Treasury = 250;
        MapStory.TreasuryMode = 1;
        BuildingTexts[BuildingCastle].Name = u"Greywatch";
        BuildingTexts[BuildingCastle].Description = u"A stone keep above the pass.";
        TPersonage& hurt = ArmyUnits[PlayerArmy][2];
        hurt.Hits = static_cast<int16_t>(hurt.BaseStats[1] / 2);
        hurt.Stats[statHits] = static_cast<int16_t>(hurt.BaseStats[1]);
        PeasantHealing = RecruitHealing = NobleHealing = 40;
        HealingCostPercent = 100;
        UnitLevelPercent = 0;
        MinHealingCost = 0;

        LoadIconSprites();
        LoadInventorySprites();
        LoadPanelSprites();
        BuildingScreen_Create();
        BuildingSoundHook = [](int32_t sound) { Played.push_back(sound); };
        Played.clear();
        StoredMapPose = {20, 6.0f, 0.8f, -10, -2, -30};
        return Building_Window != nullptr;
    }

    void Open()
    {
        OpenerFired = false;
        if (Opener == nullptr) {
            Opener = new TGUI_Window(MainRender, "Opener_Window");
            Opener->Handler = OpenerHandler;
            Opener->DrawScene = Building_Window->DrawScene;
        }
        OpenScreen(Opener);
    }

    // The intro over: the window is active.
    void FinishIntro()
    {
        Advance(BuildingFlightMs + 10);
        WaitFrames(3);
    }

    int32_t MarketItems() const
    {
        int32_t n = 0;
        for (const TItemBucket& bucket : BuildingMarketItems.Buckets)
            n += static_cast<int32_t>(bucket.Items.size());
        return n;
    }

    int32_t ArmyListItems() const
    {
        int32_t n = 0;
        for (const TItemBucket& bucket : BuildingArmyItems.Buckets)
            n += static_cast<int32_t>(bucket.Items.size());
        return n;
    }

    // How often the item is owned: the army's items, the shop, equipment.
    int32_t Owned(int32_t item) const
    {
        int32_t n = 0;
        const TIntArray& bag = ArmyItems[PlayerArmy];
        for (size_t i = 1; i < bag.size(); i++)
            n += bag[i] == item ? 1 : 0;
        for (int32_t i = 1; i <= ShopItemCapacity; i++)
            n += std::abs(GameBuildings[BuildingTown].ShopItems[i]) == item ? 1 : 0;
        for (int32_t slot = 1; slot <= 15; slot++)
            for (int32_t e = 1; e <= 14; e++)
                n += ArmyUnits[PlayerArmy][slot].Equipment[e] == item ? 1 : 0;
        return n;
    }

    // The same while the window holds the lists: its two lists and the
    // equipment.
    int32_t Listed(int32_t item) const
    {
        int32_t n = 0;
        for (const TInventoryList* list : {&BuildingArmyItems, &BuildingMarketItems})
            for (const TItemBucket& bucket : list->Buckets)
                n += static_cast<int32_t>(std::count(bucket.Items.begin(), bucket.Items.end(), item));
        for (int32_t slot = 1; slot <= 15; slot++)
            for (int32_t e = 1; e <= 14; e++)
                n += ArmyUnits[PlayerArmy][slot].Equipment[e] == item ? 1 : 0;
        return n;
    }

    std::u16string LabelText(const std::string& name)
    {
        auto* label = dynamic_cast<TGUI_Label*>(FindBuildingObject(name));
        return label != nullptr ? label->GetText() : u"?";
    }

    void Click(const TGUI_Object* object)
    {
        ASSERT_NE(object, nullptr);
        Move(object->X + object->Width / 2, object->Y + object->Height / 2);
        WaitFrames(2);
        Press();
        WaitFrames(2);
        Release();
        WaitFrames(2);
    }

    std::vector<int32_t> Goods;
    TGUI_Window* Opener = nullptr;
};

TEST_F(BuildingScreenTest, TownFlightTradeAndLeave)
{
    ASSERT_TRUE(Build(BuildingTown)) << "the sample tables lack priced goods";
    Open();
    ASSERT_TRUE(IsOpen(Building_Window));
    EXPECT_EQ(OpenBuilding, BuildingTown);
    EXPECT_EQ(MapInputEnabled, 0);

    // Halfway through the intro the camera stands at the middle of the two
    // poses.
    EXPECT_NEAR(BuildingCameraPoses[0].Yaw, 6.0f - 2 * std::numbers::pi_v<float>, 1e-3f);
    EXPECT_NEAR(BuildingCameraPoses[1].Yaw, 0.2f, 1e-5f);
    Advance(BuildingAnimStart + 500 - GetFrameTime(true) - 1);
    WaitFrames(1);
    const TBuildingCameraPose mid = InterpolateBuildingPose(BuildingCameraPoses[0], BuildingCameraPoses[1], 0.5f);
    EXPECT_NEAR(StoredMapPose.Yaw, mid.Yaw, 1e-3f);
    EXPECT_NEAR(StoredMapPose.Pitch, mid.Pitch, 1e-2f);
    EXPECT_NEAR(StoredMapPose.X, mid.X, 1e-2f);
    Shot("building_flight");

    FinishIntro();
    ASSERT_EQ(Building_Window->State, GUI_STATE_ACTIVE);
    EXPECT_EQ(CurrentBuildingTab, TabTrade);
    EXPECT_EQ(LabelText("c_Name"), u"Ashford");
    EXPECT_EQ(ArmyListItems(), 6);
    EXPECT_EQ(MarketItems(), 39);
    EXPECT_TRUE(std::find(Played.begin(), Played.end(), SoundWindowMAppear) != Played.end());
    WaitFrames(2);
    Shot("building_trade");

    // Buying is refused while the gold is below the price: the flags.
    GameArmies[PlayerArmy].Gold = 0;
    RefreshTradeFlags();
    for (auto& cell : BuildingMarketItems.Cells)
        if (cell->Item != 0)
            EXPECT_EQ(cell->TradeFlag, 0) << cell->Item;
    EXPECT_FALSE(BuyListCell(0));
    GameArmies[PlayerArmy].Gold = 1000;
    RefreshTradeFlags();

    // A sale by a click on the first army cell's trade button.
    TInventoryCell& first = *BuildingArmyItems.Cells[0];
    const int32_t sold = first.Item;
    const int32_t price = GetItemTradePrice(TradeSell, sold, PlayerArmy, BuildingTown);
    ASSERT_GT(price, 0);
    ASSERT_EQ(first.TradeFlag, 1);
    Played.clear();
    Click(first.TradeButton);
    EXPECT_EQ(GameArmies[PlayerArmy].Gold, 1000 + price);
    EXPECT_EQ(MarketItems(), 40);
    EXPECT_EQ(ArmyListItems(), 5);
    EXPECT_TRUE(std::find(Played.begin(), Played.end(), SoundInvSell) != Played.end());
    EXPECT_EQ(LabelText("cGold"), std::u16string(u"") + [&] {
        const std::string s = std::to_string(1000 + price);
        return std::u16string(s.begin(), s.end());
    }());

    // The shop holds 40: no more sales, and every army cell shows it.
    for (auto& cell : BuildingArmyItems.Cells)
        if (cell->Item != 0)
            EXPECT_EQ(cell->TradeFlag, 0);
    EXPECT_FALSE(SellListCell(0));
    EXPECT_EQ(MarketItems(), 40);
    WaitFrames(2);
    // A refused trade label is red.
    const TGUI_Object* label = BuildingArmyItems.Cells[0]->TradeButton;
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(BuildingArmyItems.Cells[0]->TradeLabel->Color & 0xFFFFFF, 0xFF0000u);

    // A filter keeps the flags.
    ArmyFilterClick(FindBuildingObject("cb_Weapon"));
    ArmyFilterClick(FindBuildingObject("cb_All"));
    for (auto& cell : BuildingArmyItems.Cells)
        if (cell->Item != 0)
            EXPECT_EQ(cell->TradeFlag, 0);

    // A close during an item drag from the army list: the item stays owned
    // once.
    TInventoryCell& dragged = *BuildingArmyItems.Cells[0];
    const int32_t carried = dragged.Item;
    const int32_t carriedCount = Listed(carried), soldCount = Listed(sold);
    Move(dragged.X + 48, dragged.Y + 40);
    WaitFrames(2);
    Press();
    WaitFrames(1);
    Move(dragged.X + 60, dragged.Y + 50);
    WaitFrames(2);
    ASSERT_EQ(DragItem.Active, 1);
    // Esc is a click on "b_Exit".
    KeyDown(HotkeyEscape);
    WaitFrames(2);
    KeyUp(HotkeyEscape);
    WaitFrames(2);
    EXPECT_EQ(OpenBuilding, 0);
    EXPECT_EQ(Building_Window->State, BuildingStateOutro);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(Owned(carried), carriedCount);
    EXPECT_EQ(Owned(sold), soldCount);
    EXPECT_EQ(GameArmies[PlayerArmy].ItemCount, 5);
    Release();
    WaitFrames(1);

    Advance(BuildingFlightMs + 10);
    WaitFrames(3);
    EXPECT_FALSE(IsOpen(Building_Window));
    EXPECT_NEAR(StoredMapPose.Yaw, BuildingCameraPoses[0].Yaw, 1e-5f);
    EXPECT_NEAR(StoredMapPose.Zoom, 0.8f, 1e-5f);
    EXPECT_EQ(MapInputEnabled, 1);
    EXPECT_EQ(CurrentBuildingTab, 0);

    // Reopened, the shop shows the sold item.
    Open();
    FinishIntro();
    ASSERT_EQ(CurrentBuildingTab, TabTrade);
    bool found = false;
    for (auto& cell : BuildingMarketItems.Cells)
        found = found || cell->Item == sold;
    EXPECT_TRUE(found);
}

TEST_F(BuildingScreenTest, ScriptQueueKeepsTheWindowShut)
{
    ASSERT_TRUE(Build(BuildingTown)) << "the sample tables lack priced goods";
    MapScriptQueueCount = 2;
    PlayerTargetBuilding = BuildingTown;
    MapClickPending = 1;
    MapFrozen = 1;
    Open();
    EXPECT_FALSE(IsOpen(Building_Window));
    EXPECT_EQ(OpenBuilding, 0);
    EXPECT_EQ(PlayerTargetBuilding, 0);
    EXPECT_EQ(MapClickPending, 0);
    EXPECT_EQ(MapFrozen, 0);
    MapScriptQueueCount = 0;
}

TEST_F(BuildingScreenTest, CastleActionsAndGarrison)
{
    ASSERT_TRUE(Build(BuildingCastle)) << "the sample tables lack priced goods";
    Open();
    FinishIntro();
    ASSERT_EQ(Building_Window->State, GUI_STATE_ACTIVE);
    EXPECT_EQ(CurrentBuildingTab, TabActions);
    EXPECT_EQ(Building_Window->GetValue("Folder_Garrison.vis"), 1);
    EXPECT_EQ(Building_Window->GetValue("Folder_Trade.vis"), 0);

    // Treatment of all and the coffers: rows 1 and 3.
    ASSERT_GE(BuildingActions.size(), 2u);
    EXPECT_EQ(BuildingActions[0].Kind, ActionTreatAll);
    EXPECT_EQ(BuildingActions.back().Kind, ActionCoffers);
    EXPECT_EQ(BuildingActions.back().Value, 250);
    EXPECT_EQ(Building_Window->GetValue("Actions1.vis"), 1);
    EXPECT_EQ(Building_Window->GetValue("Actions1.Enable"), 1);
    EXPECT_EQ(Building_Window->GetValue("Actions3.vis"), 1);
    EXPECT_EQ(LabelText("c_acActionCost3"), u"250");
    const int32_t treatment = BuildingActions[0].Value;
    EXPECT_GT(treatment, 0);
    WaitFrames(2);
    Shot("building_actions");

    // Treating all pays and heals.
    const int32_t before = GameArmies[PlayerArmy].Gold;
    Click(FindBuildingObject("b_acAction1"));
    EXPECT_EQ(GameArmies[PlayerArmy].Gold, before - treatment);
    EXPECT_EQ(ArmyUnits[PlayerArmy][2].Hits, ArmyUnits[PlayerArmy][2].Stats[statHits]);
    EXPECT_EQ(BuildingActions.front().Kind, ActionCoffers);

    // The coffers go to the army's gold and the tab is rebuilt.
    const int32_t gold = GameArmies[PlayerArmy].Gold;
    Click(FindBuildingObject("b_acAction3"));
    EXPECT_EQ(GameArmies[PlayerArmy].Gold, gold + 250);
    EXPECT_EQ(GameBuildings[BuildingCastle].Treasury, 0);
    EXPECT_EQ(Building_Window->GetValue("Actions3.vis"), 0);

    // A button whose number names no action does nothing.
    TGUI_Object* stray = FindBuildingObject("b_acAction5");
    ASSERT_NE(stray, nullptr);
    stray->Tag = 40;
    ActionButtonClick(stray);
    EXPECT_EQ(GameArmies[PlayerArmy].Gold, gold + 250);

    // The garrison tab shows the second panel bound to the garrison.
    Click(FindBuildingObject("b_Garrison"));
    EXPECT_EQ(CurrentBuildingTab, TabGarrison);
    EXPECT_EQ(Building_Window->GetValue("Garrison.vis"), 1);
    EXPECT_EQ(BuildingGarrisonPanel.Army, GetGarrisonArmyIndex(BuildingCastle));
    WaitFrames(2);
    Shot("building_garrison");

    // The archer dragged from the army into an empty garrison cell is in
    // the garrison after the close.
    const int32_t garrison = GetGarrisonArmyIndex(BuildingCastle);
    const TGUI_Object* from = BuildingArmyPanel.Icons[1].GuiObject;
    const TGUI_Object* to = BuildingGarrisonPanel.Icons[2].GuiObject;
    ASSERT_NE(from, nullptr);
    ASSERT_NE(to, nullptr);
    ASSERT_EQ(BuildingArmyPanel.Icons[1].Slot, 2);
    const int32_t archerType = ArmyUnits[PlayerArmy][2].UnitType;
    Move(from->X + from->Width / 2, from->Y + from->Height / 2);
    WaitFrames(2);
    Press();
    WaitFrames(2);
    Move(from->X + from->Width / 2 + 8, from->Y + from->Height / 2 + 6);
    WaitFrames(2);
    Move(to->X + to->Width / 2, to->Y + to->Height / 2);
    WaitFrames(3);
    Release();
    WaitFrames(3);

    KeyDown(HotkeyEscape);
    WaitFrames(2);
    KeyUp(HotkeyEscape);
    WaitFrames(2);
    Advance(BuildingFlightMs + 10);
    WaitFrames(3);
    EXPECT_FALSE(IsOpen(Building_Window));
    int32_t inGarrison = 0;
    for (int32_t slot = 1; slot <= 15; slot++)
        inGarrison += ArmyUnits[static_cast<size_t>(garrison)][slot].UnitType == archerType ? 1 : 0;
    EXPECT_EQ(inGarrison, 1);
    EXPECT_EQ(GameArmies[static_cast<size_t>(garrison)].PersonageCount, 2);
    EXPECT_EQ(GameArmies[PlayerArmy].PersonageCount, 3);
}

} // namespace
