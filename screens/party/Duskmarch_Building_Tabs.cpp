// The building window's tabs: which a building offers, the first one, the
// switch between them, the Trade fill and the per-frame drawing.
#include "screens/party/Duskmarch_Building.h"

#include "model/world/Prices.h"
#include "model/world/World_Access.h"
#include "model/world/World_Economy.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"

bool BuildingTabsReentry = false;

namespace {

const char* const TabButtons[BuildingTabCount + 1] = {"", "b_Enc", "b_Hire", "b_Trade", "b_Actions", "b_Garrison"};

void SetVar(const std::string& name, int32_t value)
{
    if (Building_Window != nullptr)
        Building_Window->SetVariableInt(name, value, true);
}

bool Offered(int32_t tab, const bool offered[])
{
    return tab >= 1 && tab <= BuildingTabCount && offered[tab];
}

void ListRect(TInventoryList& list, const std::string& name)
{
    const TGUI_GraphicWindow& w = *Building_Window;
    list.Show(w.GetValue(name + ".X"), w.GetValue(name + ".Y"), w.GetValue(name + ".Width"),
              w.GetValue(name + ".Height"));
}

void HideListCells(TInventoryList& list)
{
    for (auto& cell : list.Cells)
        cell->Hide();
    list.Hide();
}

void TradeFill()
{
    const int32_t b = OpenBuilding;
    SetVar("Trade.vis", 1);
    ArrangeBuildingWindow();
    BuildingArmyItems.Fill(PlayerArmy);
    BuildingArmyItems.Category = 0;
    BuildingArmyItems.ShowCategory(1);
    ListRect(BuildingArmyItems, "_Army_Items");
    BuildingMarketItems.Fill(b);
    BuildingMarketItems.Category = 0;
    BuildingMarketItems.ShowCategory(1);
    ListRect(BuildingMarketItems, "_Market_Items");
    RefreshTradeFlags();
    BuildingArmyItems.LayoutCells(true);
    BuildingMarketItems.LayoutCells(true);
    BindTradeClicks();
}

} // namespace

int32_t ChooseFirstBuildingTab(uint8_t type, const bool offered[BuildingTabCount + 1], bool hireWithStock)
{
    if (Offered(TabEncounters, offered))
        return TabEncounters;
    const auto first = [&](std::initializer_list<int32_t> order) {
        for (int32_t tab : order)
            if (Offered(tab, offered))
                return tab;
        return static_cast<int32_t>(TabNone);
    };
    switch (static_cast<TBuildingType>(type)) {
    case TBuildingType::Castle:
    case TBuildingType::Fort:
    case TBuildingType::Monastery:
    case TBuildingType::Church:
    case TBuildingType::Chapel:
        return first({TabHire, TabActions, TabTrade, TabGarrison});
    case TBuildingType::Village:
    case TBuildingType::Farm:
    case TBuildingType::Tavern:
    case TBuildingType::House:
        if (Offered(TabActions, offered))
            return TabActions;
        if (Offered(TabHire, offered) && hireWithStock)
            return TabHire;
        return first({TabTrade});
    case TBuildingType::Port:
    case TBuildingType::Ruin:
    case TBuildingType::Cementry:
    case TBuildingType::Altar:
    case TBuildingType::Camp:
        return first({TabActions, TabHire, TabTrade});
    case TBuildingType::Town:
    case TBuildingType::Market:
        return first({TabTrade, TabHire, TabActions});
    default:
        return TabNone;
    }
}

bool BuildingGarrisonAllowed(int32_t building)
{
    if (!IsWorldBuilding(building))
        return false;
    const TMapBuilding& record = MapBuildings[building];
    return GameBuildings[static_cast<size_t>(building)].OwnerArmy == PlayerArmy && record.HasGarrison != 0 &&
           record.ServiceE == 0;
}

void UpdateBuildingTabs()
{
    if (BuildingTabsReentry) {
        BuildingTabsReentry = false;
        return;
    }
    const int32_t b = GameArmies[PlayerArmy].Building;
    if (!IsWorldBuilding(b) || Building_Window == nullptr)
        return;
    const TMapBuilding& record = MapBuildings[b];
    const TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
    bool offered[BuildingTabCount + 1] = {};
    offered[TabEncounters] = !ArmiesInBuilding.empty();
    const int32_t withStock = CountPlayerHireSlots(false);
    offered[TabHire] = record.HasHire != 0 && state.HireOpen != 0 && withStock > 0 && CountOpenHireSlots(b, PlayerArmy) > 0;
    offered[TabTrade] = record.HasShop != 0 && state.ShopOpen != 0;
    offered[TabActions] = (static_cast<uint16_t>(GetBuildingServices(b, PlayerArmy)) & 0x401B) != 0;
    const int32_t garrison = GetGarrisonArmyIndex(b);
    offered[TabGarrison] = BuildingGarrisonAllowed(b) && record.ServiceF == 0 && garrison >= 0 &&
                           static_cast<size_t>(garrison) < GameArmies.size() &&
                           GameArmies[static_cast<size_t>(garrison)].Active != 0;
    SetVar("Folder_Hire.vis", offered[TabHire] ? 1 : 0);
    SetVar("Folder_Enc.vis", offered[TabEncounters] ? 1 : 0);
    SetVar("Folder_Trade.vis", offered[TabTrade] ? 1 : 0);
    SetVar("Folder_Actions.vis", offered[TabActions] ? 1 : 0);
    SetVar("Folder_Garrison.vis", offered[TabGarrison] ? 1 : 0);
    for (int32_t t = 1; t <= BuildingTabCount; t++)
        if (TGUI_Object* button = FindBuildingObject(TabButtons[t]))
            button->Enabled = offered[t] ? 1 : 0;
    ArrangeBuildingWindow();
    const int32_t tab = ChooseFirstBuildingTab(record.BuildingType, offered, withStock > 0);
    if (tab != TabNone) {
        PressBuildingTab(FindBuildingObject(TabButtons[tab]));
        CurrentBuildingTab = tab;
    } else {
        BuildingScreen_ShowTab(TabNone);
    }
    BuildingTabsReentry = tab != TabHire;
}

void BuildingTabPress(TGUI_Object* button)
{
    for (int32_t t = 1; t <= BuildingTabCount; t++)
        if (auto* tab = dynamic_cast<TGUI_Button*>(FindBuildingObject(TabButtons[t])))
            tab->ClearHeld();
    if (button == nullptr)
        return;
    BuildingScreen_ShowTab(button->Tag);
    if (auto* tab = dynamic_cast<TGUI_Button*>(button))
        tab->SetHeld();
}

void PressBuildingTab(TGUI_Object* button)
{
    if (button == nullptr)
        return;
    button->Visible = 1;
    button->EnterTime = GetFrameTime(false);
    BuildingTabPress(button);
}

void StoreBuildingLists()
{
    if (CurrentBuildingTab == TabTrade) {
        BuildingArmyItems.Store(PlayerArmy);
        if (OpenBuilding != 0)
            BuildingMarketItems.Store(OpenBuilding);
    } else if (CurrentBuildingTab == TabHire) {
        BuildingArmyItems.Store(PlayerArmy);
    }
}

void SetEquipmentCellsEnabled(bool enabled)
{
    for (TInventoryCell& cell : BuildingEquipmentCells) {
        if (enabled) {
            cell.Shown = 1;
            cell.Enable();
        } else {
            cell.Disable();
        }
    }
}

void BuildingScreen_ShowTab(int32_t tab)
{
    if (Building_Window == nullptr)
        return;
    for (const char* name : {"Enc.vis", "Hire.vis", "Hire.count", "Trade.vis", "Actions.vis", "Garrison.vis"})
        SetVar(name, 0);
    HideListCells(BuildingArmyItems);
    HideListCells(BuildingMarketItems);
    for (int32_t n = 1; n <= ActionRowCount; n++) {
        SetVar("Actions" + std::to_string(n) + ".vis", 0);
        SetVar("Actions" + std::to_string(n) + ".Enable", 0);
    }
    StoreBuildingLists();
    TGUI_Object* hireArea = FindBuildingObject("AllHireObject");
    switch (tab) {
    case TabEncounters:
        BuildingArmyPanel.SetEnabled(false);
        ShowGarrisonPanel(false);
        SetEquipmentCellsEnabled(false);
        if (hireArea != nullptr)
            hireArea->Enabled = 0;
        ArmiesInBuilding.clear();
        ListBuildingArmyEvents(OpenBuilding, ArmiesInBuilding);
        SetVar("Enc.vis", 1);
        ArrangeBuildingWindow();
        break;
    case TabHire:
        BuildingArmyPanel.SetEnabled(true);
        ShowGarrisonPanel(false);
        SetEquipmentCellsEnabled(false);
        if (hireArea != nullptr)
            hireArea->Enabled = 1;
        break;
    case TabTrade:
        BuildingArmyPanel.SetEnabled(true);
        ShowGarrisonPanel(false);
        SetEquipmentCellsEnabled(true);
        if (hireArea != nullptr)
            hireArea->Enabled = 0;
        CurrentBuildingTab = TabTrade;
        TradeFill();
        break;
    case TabActions:
        BuildingArmyPanel.SetEnabled(true);
        ShowGarrisonPanel(true);
        SetEquipmentCellsEnabled(false);
        if (hireArea != nullptr)
            hireArea->Enabled = 0;
        SetVar("Actions.vis", 1);
        CurrentBuildingTab = TabActions;
        FillActionsTab();
        break;
    case TabGarrison:
        BuildingArmyPanel.SetEnabled(true);
        ShowGarrisonPanel(true);
        SetEquipmentCellsEnabled(false);
        if (hireArea != nullptr)
            hireArea->Enabled = 0;
        ArrangeBuildingWindow();
        break;
    default:
        BuildingArmyPanel.SetEnabled(false);
        ShowGarrisonPanel(false);
        SetEquipmentCellsEnabled(false);
        ArrangeBuildingWindow();
        break;
    }
    if (tab != TabActions)
        for (int32_t n = 1; n <= ActionRowCount; n++)
            if (TGUI_Object* list = FindBuildingObject("Building_SL_Actions[" + std::to_string(n) + "]")) {
                list->Visible = 0;
                list->Enabled = 0;
            }
    if (TGUI_Object* hire = FindBuildingObject("b_Hire"); hire != nullptr && hire->Enabled != 0)
        hire->Enabled = CountPlayerHireSlots(true) > 0 ? 1 : 0;
    if (BuildingGarrisonPanel.SelectedSlot < 0 && BuildingGarrisonPanel.DropTarget != nullptr)
        BuildingGarrisonPanel.DropTarget->Enabled = 0;
    CurrentBuildingTab = tab;
    PlaceResourcePanelForBuilding();
    ShowBuildingGold();
}

void DrawBuildingTab()
{
    if (Building_Window == nullptr)
        return;
    switch (CurrentBuildingTab) {
    case TabTrade:
        if (static_cast<int32_t>(BuildingArmyItems.Cells.size()) != TradeBoundCells[0] ||
            static_cast<int32_t>(BuildingMarketItems.Cells.size()) != TradeBoundCells[1])
            BindTradeClicks();
        BuildingArmyItems.Draw();
        BuildingMarketItems.Draw();
        for (TInventoryCell& cell : BuildingEquipmentCells)
            if (cell.Object != nullptr && cell.Object->Enabled != 0)
                cell.Draw();
        break;
    case TabHire:
        for (TInventoryCell& cell : BuildingEquipmentCells)
            if (cell.Object != nullptr && cell.Object->Enabled != 0)
                cell.Draw();
        break;
    default:
        break;
    }
    if (CurrentBuildingTab != TabEncounters) {
        BuildingArmyPanel.Draw();
        if (Building_Window->GetValue("Garrison.vis") == 1)
            BuildingGarrisonPanel.Draw();
    }
}
