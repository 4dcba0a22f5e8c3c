// The building window's Actions tab (treatment, servage, the coffers) and
// its garrison panel.
#include "screens/party/Duskmarch_Building.h"

#include "model/ai/AIMain_Buildings.h"
#include "model/tables/BonusType.h"
#include "model/Support.h"
#include "model/tables/Global.h"
#include "model/world/Army_Formation.h"
#include "model/world/Prices.h"
#include "model/world/World_Access.h"
#include "model/save/SavedGame.h"
#include "model/world/World_Economy.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"

std::vector<TBuildingAction> BuildingActions;

namespace {

constexpr uint32_t OpaqueBlack = 0xFF000000;
constexpr uint32_t OpaqueRed = 0xFFFF0000;
constexpr uint8_t AlignLeft = 1;
constexpr uint8_t AlignCentre = 2;

TGUI_StringList* Row(int32_t n)
{
    return dynamic_cast<TGUI_StringList*>(FindBuildingObject("Building_SL_Actions[" + std::to_string(n) + "]"));
}

TGUI_Object* Button(int32_t n)
{
    return FindBuildingObject("b_acAction" + std::to_string(n));
}

std::u16string ActionText(const std::string& key)
{
    return TextsIni != nullptr ? GetLocalizedText(*TextsIni, key) : std::u16string();
}

std::u16string ActionNumber(int64_t value)
{
    const std::string s = std::to_string(value);
    return std::u16string(s.begin(), s.end());
}

void Line(int32_t n, const std::u16string& text, int32_t fontSlot, uint8_t align, uint32_t colour)
{
    TGUI_StringList* list = Row(n);
    if (list == nullptr)
        return;
    const int32_t font = fontSlot >= 1 && fontSlot <= FontSlotCount ? FontSlots[fontSlot] : -1;
    if (font < 0)
        return;
    list->Add_Item(text, font, font, align, false, colour, -1000);
}

void Title(int32_t n, const char* title, const char* line)
{
    Line(n, ActionText(title), 27, AlignCentre, OpaqueBlack);
    Line(n, ActionText(line), 27, AlignCentre, OpaqueBlack);
}

void Note(int32_t n, const char* key)
{
    std::u16string text = ActionText(key);
    for (int i = 0; i < 5; i++)
        text += u"\t ";
    Line(n, u"", 25, AlignCentre, OpaqueRed);
    Line(n, text, 25, AlignCentre, OpaqueRed);
}

void Cost(int32_t n, const std::u16string& text)
{
    if (Building_Window != nullptr)
        SetWindowLabelText(*Building_Window, "c_acActionCost" + std::to_string(n), text);
}

// Row states: shown and enabled, or shown with the button disabled.
void ShowRow(int32_t n, bool buttonEnabled)
{
    Building_Window->SetVariableInt("Actions" + std::to_string(n) + ".vis", 1, true);
    Building_Window->SetVariableInt("Actions" + std::to_string(n) + ".Enable", buttonEnabled ? 1 : 0, true);
    if (TGUI_StringList* list = Row(n)) {
        list->Visible = 1;
        list->Enabled = 1;
    }
    if (TGUI_Object* button = Button(n)) {
        button->Visible = 1;
        button->Enabled = buttonEnabled ? 1 : 0;
    }
}

int32_t Add(TBuildingAction action)
{
    BuildingActions.push_back(action);
    return static_cast<int32_t>(BuildingActions.size()) - 1;
}

int32_t Gold()
{
    return GameArmies[PlayerArmy].Gold;
}

int32_t TaxMultiplier()
{
    return BonusValue(tFeudal);
}

std::u16string PersonageName(const TPersonage& p)
{
    if (p.UnitType >= 1 && p.UnitType <= 6)
        return HeroName;
    const std::string name = p.Name.Str();
    return std::u16string(name.begin(), name.end());
}

} // namespace

void FillActionsTab()
{
    if (Building_Window == nullptr)
        return;
    EnsurePanelSelection();
    for (int32_t n = 1; n <= ActionRowCount; n++) {
        Building_Window->SetVariableInt("Actions" + std::to_string(n) + ".vis", 0, true);
        Building_Window->SetVariableInt("Actions" + std::to_string(n) + ".Enable", 0, true);
        if (TGUI_StringList* list = Row(n)) {
            list->Clear();
            list->Width = 260;
            list->SetHeight(90);
            list->Visible = 0;
            list->Enabled = 0;
        }
        if (TGUI_Object* button = Button(n)) {
            button->Tag = n;
            button->Visible = 0;
            button->Enabled = 0;
        }
    }
    BuildingActions.clear();
    if (Building_Window->GetValue("Actions.vis") != 1 ||
        (CurrentBuildingTab != TabNone && CurrentBuildingTab != TabActions))
        return;
    const int32_t b = GameArmies[PlayerArmy].Building;
    const uint16_t services = static_cast<uint16_t>(GetBuildingServices(b, PlayerArmy));

    if ((services & bsHealingNeeded) != 0) {
        int32_t total = 0;
        const TArmyUnits& units = ArmyUnits[PlayerArmy];
        for (int32_t p = 1; p <= 15; p++)
            if (units[p].UnitType != 0)
                total += GetHealingCost(PlayerArmy, p, HealPriceOnly);
        if (total <= 0) {
            Line(1, u"", 25, AlignCentre, OpaqueRed);
            std::u16string text = ActionText("BA_NoTreatment");
            for (int i = 0; i < 5; i++)
                text += u"\t ";
            Line(1, text, 25, AlignCentre, OpaqueRed);
            ShowRow(1, false);
        } else {
            const int32_t index = Add({0, total, ActionTreatAll});
            Cost(1, ActionNumber(-int64_t{total}));
            Title(1, "BA_Treatment", "BA_Treatment_All");
            const bool affordable = Gold() >= total;
            if (!affordable)
                Note(1, "BA_NoMoney");
            ShowRow(1, affordable);
            if (TGUI_Object* button = Button(1))
                button->Tag = index;
        }
        const TArmyPanel& panel = BuildingArmyPanel;
        if (panel.SelectedSlot >= 0 && panel.SelectedSlot < PanelIconCount && panel.Icons[panel.SelectedSlot].Slot >= 1) {
            const int32_t slot = panel.Icons[panel.SelectedSlot].Slot;
            const int32_t cost = GetHealingCost(panel.Army, slot, HealPriceOnly);
            if (cost >= 1) {
                const int32_t index = Add({slot, cost, ActionTreatOne});
                Cost(2, ActionNumber(-int64_t{cost}));
                Line(2, ActionText("BA_Treatment"), 27, AlignCentre, OpaqueBlack);
                Line(2, ReplaceAll(ActionText("BA_Treatment_One"), u"%%",
                                   PersonageName(ArmyUnits[static_cast<size_t>(panel.Army)][slot])),
                     27, AlignCentre, OpaqueBlack);
                const bool affordable = Gold() >= cost;
                if (!affordable)
                    Note(2, "BA_NoMoney");
                ShowRow(2, affordable);
                if (TGUI_Object* button = Button(2))
                    button->Tag = index;
            }
        }
    }
    if ((services & bsHealingOffered) != 0) {
        Cost(1, u"0");
        Title(1, "BA_Treatment", "BA_Treatment_All");
        ShowRow(1, false);
        if (TGUI_Object* button = Button(1))
            button->Tag = 0;
    }
    if ((services & bsTaxesDue) != 0) {
        const int32_t index = Add({b, MapBuildings[b].Income * TaxMultiplier(), ActionServage});
        Cost(3, ActionNumber(int64_t{GetBuildingIncome(PlayerArmy, b)} * TaxMultiplier()));
        Title(3, "BA_Servage", "BA_Collect_Servage");
        ShowRow(3, true);
        if (TGUI_Object* button = Button(3))
            button->Tag = index;
    }
    if ((services & bsTaxesLater) != 0) {
        Cost(3, u"0");
        Title(3, "BA_Servage", "BA_Impossible_Collect_Servage");
        if (TGUI_StringList* list = Row(3)) {
            list->Visible = 1;
            list->Enabled = 1;
        }
        if (TGUI_Object* button = Button(3)) {
            button->Visible = 0;
            button->Enabled = 0;
            button->Tag = 0;
        }
        Building_Window->SetVariableInt("Actions3.vis", 1, true);
        Building_Window->SetVariableInt("Actions3.Enable", 0, true);
    }
    if ((services & bsTreasury) != 0) {
        const int32_t treasury = GameBuildings[static_cast<size_t>(b)].Treasury;
        const int32_t index = Add({b, treasury, ActionCoffers});
        Cost(3, ActionNumber(treasury));
        Title(3, "BA_Coffers", "BA_Take_Coffers");
        ShowRow(3, true);
        if (TGUI_Object* button = Button(3))
            button->Tag = index;
    }
    ArrangeBuildingWindow();
    for (int32_t n = 1; n <= ActionRowCount; n++) {
        TGUI_StringList* list = Row(n);
        if (list == nullptr || list->Visible == 0)
            continue;
        list->X = Building_Window->GetValue("s_acSubstrate" + std::to_string(n) + ".X") + 100;
        list->Y = Building_Window->GetValue("s_acSubstrate" + std::to_string(n) + ".Y") + 20;
        // The arrangement placed the buttons; the row's state decides them.
        if (TGUI_Object* button = Button(n))
            button->Enabled = Building_Window->GetValue("Actions" + std::to_string(n) + ".Enable") == 1 ? 1 : 0;
    }
}

void ActionButtonClick(TGUI_Object* button)
{
    if (button == nullptr || button->Tag < 0 || static_cast<size_t>(button->Tag) >= BuildingActions.size())
        return;
    const TBuildingAction action = BuildingActions[static_cast<size_t>(button->Tag)];
    switch (action.Kind) {
    case ActionTreatOne:
        GetHealingCost(PlayerArmy, action.Target, HealBoth);
        break;
    case ActionTreatAll:
        for (int32_t p = 1; p <= 15; p++)
            if (ArmyUnits[PlayerArmy][p].UnitType != 0)
                GetHealingCost(PlayerArmy, p, HealBoth);
        break;
    case ActionServage:
        CollectTaxes(PlayerArmy, action.Target);
        break;
    case ActionCoffers:
        CollectTreasury(PlayerArmy, action.Target);
        break;
    default:
        return;
    }
    UpdateResourcePanel();
    FillActionsTab();
}

void ShowGarrisonPanel(bool show)
{
    const int32_t b = OpenBuilding != 0 ? OpenBuilding : GameArmies[PlayerArmy].Building;
    if (show && BuildingGarrisonAllowed(b) && Building_Window != nullptr) {
        Building_Window->SetVariableInt("Garrison.vis", 1, true);
        const int32_t garrison = GetGarrisonArmyIndex(b);
        ValidateFormation(garrison);
        BuildingGarrisonPanel.SetArmy(garrison);
        BuildingGarrisonPanel.SetEnabled(true);
        return;
    }
    if (Building_Window != nullptr)
        Building_Window->SetVariableInt("Garrison.vis", 0, true);
    BuildingGarrisonPanel.SetEnabled(false);
}
