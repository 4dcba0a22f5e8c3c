// The army panels, the info pop-ups and the companions under the screen
// harness: a demonstration screen with the player's army panel and its
// banish place and a garrison's panel, driven by the mouse through the
// window layer. A personage is dragged into the garrison, the hero is
// refused, the personage pop-up shows while the right button is held and
// goes with its release, the building pop-up opens at the screen's right
// edge and the companions panel is refreshed on its own demo window. The
// frames are kept as pictures and probed inside each pop-up.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/QX9_System.h"
#include "model/Support.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/tables/Global.h"
#include "model/world/Army_Formation.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_ArmyPanel.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_Companions.h"
#include "screens/kit/Duskmarch_DragItem.h"
#include "screens/kit/Duskmarch_InfoWindows.h"
#include "tests/screens/ScreenHarness.h"

namespace {

TGUI_GraphicWindow* PanelsDemo_Window = nullptr;
TGUI_GraphicWindow* CompanionsDemo_Window = nullptr;
TArmyPanel DemoArmyPanel;
TArmyPanel DemoGarrisonPanel;

// A map-like caller opens the building pop-up inside a frame step, as
// commands posted between steps are dropped.
int32_t PendingBuildingPopup = 0;
bool ClosePanelsDemo = false;

void PanelsDemo_DrawOwn()
{
    if (PendingBuildingPopup != 0) {
        BuildingInfoScreen_Open(BuildingInfoPopup, "2D", GUI_Input.VirtualX, GUI_Input.VirtualY, -PendingBuildingPopup);
        PendingBuildingPopup = 0;
    }
    if (ClosePanelsDemo) {
        RequestScreenClose(PanelsDemo_Window);
        ClosePanelsDemo = false;
    }
    DemoArmyPanel.Draw();
    DemoGarrisonPanel.Draw();
    DragItem.Draw();
}

void PanelsDemo_WindowHandler(int32_t state, TGUI_Window* window)
{
    if (state == GUI_STATE_ACTIVE)
        RunScreenActiveFrame(*window, PanelsDemo_DrawOwn, nullptr);
}

void CompanionsDemo_WindowHandler(int32_t state, TGUI_Window* window)
{
    if (state == GUI_STATE_ACTIVE)
        RunScreenActiveFrame(*window, nullptr, nullptr);
}

bool Lit(uint32_t rgb)
{
    return (rgb & 0xFFFFFF) != 0;
}

class PanelsDemoTest : public TScreenHarness {
protected:
    void TearDown() override
    {
        if (Started) {
            if (DragItem.Active != 0)
                DragItem.Finish(true);
            AdditionalPersonage.Destroy();
            DemoArmyPanel.Destroy();
            DemoGarrisonPanel.Destroy();
            PersonageInfoScreen_Free(PersonageInfoPopup);
            BuildingInfoScreen_Free(BuildingInfoPopup);
            ArmyInfoScreen_Free(ArmyInfoPopup);
            for (TGUI_GraphicWindow** window : {&PanelsDemo_Window, &CompanionsDemo_Window}) {
                if (*window == nullptr)
                    continue;
                GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), *window),
                                      GUI_OpenWindows.end());
                delete *window;
                *window = nullptr;
            }
        }
        PendingBuildingPopup = 0;
        ClosePanelsDemo = false;
        DemoArmyPanel = {};
        DemoGarrisonPanel = {};
        TScreenHarness::TearDown();
    }

    // The kit's shared pictures, the sample items, portraits for the small
    // world's types and the demo screens with their panels and pop-ups.
    void Build()
    {
        LoadIconSprites();
        LoadInventorySprites();
        LoadItems();
        DragItem.Init();
        static const char* const portraits[] = {"Knight02", "LevyArcher01", "Pikeman01", "Healer01"};
        for (int32_t type = 1; type <= 4; type++) {
            const int32_t sprite =
                LoadSprite(InterfaceFolder + "Common\\Icons\\Personages\\" + portraits[type - 1] + ".DDS", 1);
            if (T3D_Sprite* portrait = MainRender->Sprite_Get(sprite))
                portrait->SetSize(-1, 104, 88);
            UnitTypes[type].Icons[1] = sprite;
        }
        // The hero carries a few sample items for the pop-up's cells.
        TPersonage& hero = ArmyUnits[PlayerArmy][1];
        const std::pair<int32_t, const char*> worn[] = {
            {1, "Footman sword"}, {2, "Kite shield"},           {3, "Kettle hat"},
            {4, "Mail shirt"},    {5, "Copper ring of vigour"}, {9, "Draught of mending"}};
        for (const auto& [slot, name] : worn)
            for (int32_t n = 1; n <= ItemCount; n++)
                if (ItemTable[n].Name == name)
                    hero.Equipment[slot] = n;
        for (int32_t army : {PlayerArmy, GetGarrisonArmyIndex(2)})
            ValidateFormation(army);
        GameArmies[PlayerArmy].SupportLimit = 10;
        GameArmies[PlayerArmy].Building = 2;
        BuildingTexts[2].Name = u"Stonehold";
        BuildingTexts[2].Description = u"A grey keep over the ford, with a market in its outer yard.";
        MapBuildings[2].HasGarrison = 1;
        MapBuildings[2].HasHire = 1;
        MapBuildings[2].ServiceC = 1;
        MapBuildings[2].IncomeBonus = 30;
        GameBuildings[2].HealingOpen = 1;
        GameBuildings[2].OwnerArmy = PlayerArmy;

        PanelsDemo_Window = CreateScreenWindow("PanelsDemo", PanelsDemo_WindowHandler);
        DemoArmyPanel.Create(PanelsDemo_Window, PanelArmy);
        DemoArmyPanel.Layout(PanelsDemo_Window->GetValue("army.x"), PanelsDemo_Window->GetValue("army.y"), 40, -100);
        DemoArmyPanel.BindDropTarget(PanelsDemo_Window->FindObject("b_Banish"));
        DemoArmyPanel.SetArmy(PlayerArmy);
        DemoGarrisonPanel.Create(PanelsDemo_Window, PanelGarrison);
        DemoGarrisonPanel.Layout(PanelsDemo_Window->GetValue("garrison.x"), PanelsDemo_Window->GetValue("garrison.y"),
                                 40, -100);
        DemoGarrisonPanel.SetArmy(GetGarrisonArmyIndex(2));

        PersonageInfoScreen_Create(PersonageInfoPopup);
        BuildingInfoScreen_Create(BuildingInfoPopup);
        ArmyInfoScreen_Create(ArmyInfoPopup);
    }

    static TGUI_Object* Icon(TArmyPanel& panel, int32_t icon) { return panel.Icons[icon].GuiObject; }

    void MoveTo(const TGUI_Object* object, int32_t dx = 0, int32_t dy = 0)
    {
        Move(object->X + object->Width / 2 + dx, object->Y + object->Height / 2 + dy);
    }

    std::u16string HintLine()
    {
        const THint& hint = MainHint();
        for (const THintLine& line : hint.Lines)
            if (line.List != nullptr && line.List->Count > 0)
                return line.List->Texts[0];
        return {};
    }
};

TEST_F(PanelsDemoTest, DragRefusePopupsAndCompanions)
{
    InstallFixture("screens/PanelsDemo.ini", "Interface/PanelsDemo.ini");
    InstallFixture("screens/CompanionsDemo.ini", "Interface/CompanionsDemo.ini");
    ASSERT_TRUE(Start());
    Build();
    OpenScreen(PanelsDemo_Window);
    ASSERT_TRUE(IsOpen(PanelsDemo_Window));
    const int32_t garrison = GetGarrisonArmyIndex(2);

    // A personage of the player's army is dragged into an empty cell of the
    // garrison.
    const int32_t from =
        PanelIconOfCell(ArmyUnits[PlayerArmy][2].FormationRow, ArmyUnits[PlayerArmy][2].FormationColumn);
    ASSERT_GE(from, 0);
    ASSERT_EQ(DemoArmyPanel.Icons[from].Slot, 2);
    const int32_t playerBefore = GameArmies[PlayerArmy].PersonageCount;
    const int32_t garrisonBefore = GameArmies[static_cast<size_t>(garrison)].PersonageCount;
    MoveTo(Icon(DemoArmyPanel, from));
    WaitFrames(2);
    Press();
    WaitFrames(1);
    MoveTo(Icon(DemoArmyPanel, from), 6, 0);
    WaitFrames(2);
    ASSERT_EQ(DragItem.Active, 1);
    MoveTo(Icon(DemoGarrisonPanel, 3), 0, 0);
    WaitFrames(3);
    EXPECT_EQ(DemoGarrisonPanel.HoverSlot, 3);
    Shot("panel_drag");
    {
        const TGUI_Object* target = Icon(DemoGarrisonPanel, 3);
        EXPECT_GT(Count(target->X, target->Y, target->X + target->Width, target->Y + target->Height, Lit), 500)
            << "the dragged icon is drawn over its target";
    }
    Release();
    WaitFrames(3);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(GameArmies[PlayerArmy].PersonageCount, playerBefore - 1);
    EXPECT_EQ(GameArmies[static_cast<size_t>(garrison)].PersonageCount, garrisonBefore + 1);
    EXPECT_NE(DemoGarrisonPanel.Icons[3].Personage, nullptr);
    EXPECT_EQ(DemoArmyPanel.Icons[from].Personage, nullptr);

    // The hero is refused with its hint.
    const int32_t hero = FindHeroPanelSlot();
    ASSERT_GE(hero, 0);
    MoveTo(Icon(DemoArmyPanel, hero));
    WaitFrames(2);
    Press();
    WaitFrames(1);
    MoveTo(Icon(DemoArmyPanel, hero), 0, 8);
    WaitFrames(2);
    ASSERT_EQ(DragItem.Active, 1);
    MoveTo(Icon(DemoGarrisonPanel, 4));
    WaitFrames(3);
    TextsIni->SelectSection("Hints");
    EXPECT_EQ(HintLine(), GetLocalizedText(*TextsIni, "PersMove_Hero"));
    EXPECT_NE(DemoGarrisonPanel.Icons[4].Flags & IconLocked, 0);
    Release();
    WaitFrames(3);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(FindHeroPanelSlot(), hero) << "the hero is back in his cell";

    // The right button held over a portrait: the personage pop-up, centred
    // on the mouse, gone the frame after the release.
    const TGUI_Object* heroIcon = Icon(DemoArmyPanel, hero);
    MoveTo(heroIcon);
    WaitFrames(2);
    Press(true);
    WaitFrames(3);
    TGUI_GraphicWindow* piw = PersonageInfoPopup.Window;
    ASSERT_TRUE(IsOpen(piw));
    const int32_t mx = heroIcon->X + heroIcon->Width / 2, my = heroIcon->Y + heroIcon->Height / 2;
    int32_t left = 0, top = 0;
    PlacePopup(mx, my, piw->Width, piw->Height, Width, Height, left, top);
    EXPECT_EQ(piw->X, left);
    EXPECT_EQ(piw->Y, top);
    EXPECT_GT(piw->Width, 600);
    WaitFrames(2);
    Shot("popup_personage");
    EXPECT_GT(Count(piw->X, piw->Y, piw->X + piw->Width, piw->Y + piw->Height, Lit), piw->Width * piw->Height / 2)
        << "the pop-up's background";
    Release(true);
    WaitFrames(1);
    EXPECT_FALSE(IsOpen(piw));

    // The building pop-up at the screen's right edge, the right button held.
    Move(1590, 600);
    WaitFrames(1);
    Press(true);
    WaitFrames(1);
    PendingBuildingPopup = 2;
    WaitFrames(3);
    TGUI_GraphicWindow* biw = BuildingInfoPopup.Window;
    ASSERT_TRUE(IsOpen(biw));
    EXPECT_EQ(biw->X + biw->Width, Width) << "kept on screen";
    EXPECT_EQ(BuildingInfoPopup.NoGarrison, 0);
    EXPECT_EQ(BuildingInfoPopup.RelationLabel->GetText(), [] {
        TextsIni->SelectSection("Texts");
        return GetLocalizedText(*TextsIni, "InfoRelationship_Own");
    }());
    EXPECT_EQ(BuildingInfoPopup.Services[ServiceCure].GuiObject->Visible, 1);
    EXPECT_EQ(BuildingInfoPopup.Services[ServiceIncome].GuiObject->Visible, 1);
    Shot("popup_building");
    EXPECT_GT(Count(biw->X, biw->Y, biw->X + biw->Width, biw->Y + biw->Height, Lit), biw->Width * biw->Height / 2);
    Release(true);
    WaitFrames(2);
    EXPECT_FALSE(IsOpen(biw));

    // The companions on their demo window, in place of the panels.
    ClosePanelsDemo = true;
    WaitFrames(2);
    ASSERT_FALSE(IsOpen(PanelsDemo_Window));
    CompanionsDemo_Window = CreateScreenWindow("CompanionsDemo", CompanionsDemo_WindowHandler);
    AdditionalPersonage.Create(CompanionsDemo_Window);
    int32_t bard = 0, herbWife = 0;
    for (int32_t n = 1; n <= ItemCount; n++) {
        if (ItemTable[n].Name == "Wandering bard")
            bard = n;
        if (ItemTable[n].Name == "Herb-wife")
            herbWife = n;
    }
    ASSERT_NE(bard, 0);
    ASSERT_NE(herbWife, 0);
    AddArmyItem(PlayerArmy, bard);
    AddArmyItem(PlayerArmy, herbWife);
    OpenScreen(CompanionsDemo_Window);
    ASSERT_TRUE(IsOpen(CompanionsDemo_Window));
    try {
        ShowCompanionsPanel(nullptr);
    } catch (...) {
        FAIL() << "refresh: " << GetEngineErrorText();
    }
    WaitFrames(2);
    const TGUI_Object* second = AdditionalPersonage.Portraits[1];
    EXPECT_EQ(second->Visible, 1);
    EXPECT_EQ(AdditionalPersonage.Portraits[2]->Visible, 0);
    MoveTo(second);
    WaitFrames(3);
    EXPECT_EQ(HintLine(), u"Herb-wife");
    Shot("companions");
    EXPECT_GT(Count(second->X, second->Y, second->X + 80, second->Y + 80, Lit), 1000) << "the portrait";
}

} // namespace
