// The building window: creation, opening, the camera flights, the picture
// and music, the frames and the closing.
#include "screens/party/Duskmarch_Building.h"

#include <cmath>
#include <numbers>

#include "model/ai/AIMain_Movement.h"
#include "model/ai/AIMain_Targets.h"
#include "model/ai/AIMain_Walking.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/Army_Formation.h"
#include "model/world/World_Access.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Landscape_Placement.h"
#include "scenes/Landscape_Armies.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PartyContext.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_Base_Sound.h"
#include "screens/kit/Duskmarch_Companions.h"
#include "screens/kit/Duskmarch_DragItem.h"
#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "model/save/BetaLog.h"
#include "model/story/StoryEvents.h"

TGUI_GraphicWindow* Building_Window = nullptr;
int32_t OpenBuilding = 0;
int32_t CurrentBuildingTab = 0;
int32_t BuildingAnimStart = 0;
TBuildingCameraPose BuildingCameraPoses[2];
int32_t WinX = 0;
int32_t WinY = 0;
TInventoryList BuildingArmyItems;
TInventoryList BuildingMarketItems;
TInventoryCell BuildingEquipmentCells[EquipmentCellCount];
TArmyPanel BuildingArmyPanel;
TArmyPanel BuildingGarrisonPanel;
TArmyUnits BuildingArmySnapshot;
bool BuildingHotkeyHeld = false;
std::vector<TArmyEventEntry> ArmiesInBuilding;
bool BuildingMoveRequest = false;
int32_t BuildingMoveTargetX = 0;
int32_t BuildingMoveTargetZ = 0;
bool BuildingLeaveRequest = false;
TBuildingMapHooks BuildingMapHooks;
TBuildingCameraPose StoredMapPose;
void (*BuildingSoundHook)(int32_t sound) = nullptr;

namespace {

constexpr float TwoPi = 2.0f * std::numbers::pi_v<float>;
constexpr float Pi = std::numbers::pi_v<float>;

int32_t PictureTexture = -1;
std::string PreviousPicture = "altar";
TGUI_StringList* Description = nullptr;
// The objects this screen made and added to its window, which it frees.
std::vector<TGUI_Object*> OwnObjects;
bool Created = false;

TBuildingCameraPose CurrentMapPose()
{
    TBuildingCameraPose pose = StoredMapPose;
    if (BuildingMapHooks.GetPose != nullptr)
        BuildingMapHooks.GetPose(pose);
    return pose;
}

void SetMapPose(const TBuildingCameraPose& pose)
{
    StoredMapPose = pose;
    if (BuildingMapHooks.SetPose != nullptr)
        BuildingMapHooks.SetPose(pose);
}

std::u16string BuildingText(const std::string& key)
{
    return TextsIni != nullptr ? GetLocalizedText(*TextsIni, key) : std::u16string();
}

void SetMapInput(bool on)
{
    MapInputEnabled = on ? 1 : 0;
    if (BuildingMapHooks.SetMapInput != nullptr)
        BuildingMapHooks.SetMapInput(on);
}

// The party-screen hooks while the window takes input.
bool BuildingSelected(int32_t& army, int32_t& slot)
{
    if (Building_Window == nullptr || OpenBuilding == 0)
        return false;
    const TArmyPanel& panel = BuildingArmyPanel;
    if (panel.SelectedSlot < 0 || panel.SelectedSlot >= PanelIconCount || panel.Army < 0)
        return false;
    const int32_t s = panel.Icons[panel.SelectedSlot].Slot;
    if (s < 1)
        return false;
    army = panel.Army;
    slot = s;
    return true;
}

void BuildingFillCells()
{
    TPersonage copy{};
    if (CopySelectedPersonage(copy))
        ShowPersonageEquipment(BuildingEquipmentCells, copy);
}

void BuildingPanelSelectionChanged(TArmyPanel&)
{
    if (CurrentBuildingTab == TabTrade)
        RefreshTradeFlags();
    else if (CurrentBuildingTab == TabActions)
        FillActionsTab();
}

TInventoryList* BuildingDismissList()
{
    return CurrentBuildingTab == TabTrade ? &BuildingArmyItems : nullptr;
}

void InstallPartyHooks()
{
    PartyContext = {};
    PartyContext.SelectedPersonage = BuildingSelected;
    PartyContext.InBuilding = [] { return true; };
    PartyContext.FillEquipmentCells = BuildingFillCells;
    PartyContext.RefreshTradeFlags = RefreshTradeFlags;
    ArmyPanelHooks.SelectionChanged = BuildingPanelSelectionChanged;
    ArmyPanelHooks.DismissList = BuildingDismissList;
    ArmyPanelHooks.Dismissed = [](TArmyPanel& panel) { BuildingPanelSelectionChanged(panel); };
}

void RemovePartyHooks()
{
    if (PartyContext.SelectedPersonage == BuildingSelected)
        PartyContext = {};
    if (ArmyPanelHooks.DismissList == BuildingDismissList)
        ArmyPanelHooks = {};
}

void LoadPicture(const std::string& name)
{
    if (MainRender == nullptr || Building_Window == nullptr)
        return;
    if (PictureTexture > 0)
        MainRender->Texture_Free(PictureTexture, 1);
    PictureTexture = -1;
    std::string file = InterfaceFolder + "Common\\Images\\" + name + ".dds";
    if (!FileExistsMask(file))
        file = InterfaceFolder + "Unknown.tga";
    PictureTexture = MainRender->Texture_Load(file);
    if (T3D_Sprite* sprite = MainRender->Sprite_Get(Building_Window->FindSprite("s_Background")))
        sprite->SetStageTexture(PictureTexture, 0, 1);
}

void ChoosePictureAndMusic()
{
    const TMapBuilding& record = MapBuildings[OpenBuilding];
    const TBuildingPicture picture =
        ChooseBuildingPicture(record.BuildingType, record.Model, record.Variant, IsBuildingDaytime(GameClock));
    if (picture.Name.empty())
        return;
    PreviousPicture = picture.Name;
    LoadPicture(picture.Name);
    PlayBuildingMusic(mkBuilding, picture.SubKind, picture.Tag);
}

void SetBlur(bool on)
{
    if (MainRender == nullptr || Building_Window == nullptr)
        return;
    if (T3D_Scene* scene = MainRender->Scene_Get(Building_Window->DrawScene))
        scene->EnablePass("BLUR", on ? 1 : 0);
}

void OnOpen()
{
    CursorKind = 1;
    if (BuildingMapHooks.HideRoute != nullptr)
        BuildingMapHooks.HideRoute();
    SetMapInput(false);
    BuildingTabsReentry = false;
    const TMapBuilding& record = MapBuildings[OpenBuilding];
    const float position[3] = {record.Pos[0], record.Pos[1], record.Pos[2]};
    ComputeBuildingCameraPoses(CurrentMapPose(), record.Angle, position, BuildingCameraPoses);
    ChoosePictureAndMusic();
    BuildingAnimStart = GetFrameTime(false);
    Building_Window->PostState(BuildingStateIntro);
    BetaLogWriteWindowEvent(Building_Window->Name, GUI_STATE_OPEN);
}

void EndIntro()
{
    AnimateBuildingCamera(BuildingCameraPoses[0], BuildingCameraPoses[1], 2.0f);
    SetBlur(true);
    const TTextInfo& text = BuildingTexts[OpenBuilding];
    SetWindowLabelText(*Building_Window, "c_Name", StripTextComment(text.Name));
    SetWindowLabelText(*Building_Window, "c_Army", BuildingText("YouArmy"));
    if (Description != nullptr) {
        Description->Clear();
        auto* label = dynamic_cast<TGUI_Label*>(FindBuildingObject("c_Description"));
        const int32_t font = label != nullptr ? label->GetFont() : -1;
        if (font >= 0) {
            Description->Add_Item(StripTextComment(text.Description), font, font, 2, true, 0xFF000000, -1000);
            Description->SetLineSpacing(font, 0.85f);
        }
        Description->MarginY = std::max(0, (110 - Description->GetTextHeight()) / 2);
        if (label != nullptr) {
            label->Visible = 0;
            label->Enabled = 0;
        }
    }
    ValidateFormation(PlayerArmy);
    BuildingArmyPanel.SetArmy(PlayerArmy);
    UpdateBuildingTabs();
    Building_Window->PostState(GUI_STATE_ACTIVE);
    CopyArmyUnits(ArmyUnits[PlayerArmy], BuildingArmySnapshot);
    PlayBuildingSound(SoundWindowMAppear);
}

void ActiveExtras()
{
    if (BuildingMoveRequest) {
        BuildingMoveRequest = false;
        if (BuildingMapHooks.SetClickedCell != nullptr)
            BuildingMapHooks.SetClickedCell(BuildingMoveTargetX, BuildingMoveTargetZ);
        if (AI_PlanRoute(PlayerArmy)) {
            StartPathStep(PlayerArmy, false);
        }
    }
    if (BuildingLeaveRequest) {
        BuildingScreen_Close(nullptr);
        BuildingLeaveRequest = false;
        AdditionalPersonage.Refresh();
    }
}

void OnClose()
{
    ValidateFormation(PlayerArmy);
    UpdateArmyTotals(PlayerArmy);
    const int32_t building = GameArmies[PlayerArmy].Building;
    if (IsWorldBuilding(building) && GameBuildings[static_cast<size_t>(building)].OwnerArmy == PlayerArmy &&
        MapBuildings[building].HasGarrison != 0) {
        ValidateFormation(GetGarrisonArmyIndex(building));
        UpdateArmyTotals(GetGarrisonArmyIndex(building));
    }
    if (DragItem.Active != 0)
        DragItem.Finish(true);
    if (HasArmyUnitsChanged(ArmyUnits[PlayerArmy], BuildingArmySnapshot))
        InvalidateArmyTargets(PlayerArmy);
    MapHotkeysEnabled = 1;
    SetMapInput(true);
    BuildingTabPress(nullptr);
    PlaceResourcePanelForMap();
    BetaLogWriteWindowEvent(Building_Window->Name, GUI_STATE_CLOSE);
    RemovePartyHooks();
}

void DrawActiveFrame()
{
    DrawBuildingTab();
    DragItem.Draw();
}

} // namespace

TGUI_Object* FindBuildingObject(const std::string& name)
{
    return Building_Window != nullptr ? Building_Window->FindObject(name) : nullptr;
}

void PlayBuildingSound(int32_t sound)
{
    if (BuildingSoundHook != nullptr)
        BuildingSoundHook(sound);
    else if (sound > 0)
        Sound_Play(sound, true, false);
}

// ---------------------------------------------------------------------------
// Rules

float NormalizeBuildingYaw(float yaw)
{
    if (!std::isfinite(yaw))
        return 0;
    while (yaw >= TwoPi)
        yaw -= TwoPi;
    while (yaw <= -TwoPi)
        yaw += TwoPi;
    return yaw;
}

void ComputeBuildingCameraPoses(const TBuildingCameraPose& current, float angle, const float position[3],
                                TBuildingCameraPose poses[2])
{
    poses[0] = current;
    float yaw = NormalizeBuildingYaw(current.Yaw);
    const float target = NormalizeBuildingYaw(-angle);
    // The short way round.
    if (yaw - target > Pi)
        yaw -= TwoPi;
    else if (target - yaw > Pi)
        yaw += TwoPi;
    poses[0].Yaw = yaw;
    poses[1] = {34.0f, target, 0.4f, -position[0], -position[1] - 5.0f, -position[2]};
}

TBuildingCameraPose InterpolateBuildingPose(const TBuildingCameraPose& from, const TBuildingCameraPose& to, float t)
{
    if (!(t >= 0))
        return from;
    if (t > 1)
        return to;
    const auto mix = [t](float a, float b) { return a + (b - a) * t; };
    return {mix(from.Pitch, to.Pitch), mix(from.Yaw, to.Yaw), mix(from.Zoom, to.Zoom),
            mix(from.X, to.X),         mix(from.Y, to.Y),     mix(from.Z, to.Z)};
}

bool IsBuildingDaytime(int64_t gameClock)
{
    int64_t minute = (gameClock / 10000) % 1440;
    if (minute < 0)
        minute += 1440;
    return minute > 405 && minute < 1210;
}

TBuildingPicture ChooseBuildingPicture(uint8_t type, int32_t model, int32_t variant, bool day)
{
    struct TRow {
        const char* Name;
        uint8_t SubKind;
        bool Starred;
    };
    TRow row{nullptr, 0, false};
    switch (static_cast<TBuildingType>(type)) {
    case TBuildingType::Town:
        row = {"town", 6, true};
        break;
    case TBuildingType::Castle:
        row = {"castle", 0, true};
        break;
    case TBuildingType::Fort:
        row = {"tower", 0, true};
        break;
    case TBuildingType::Village:
        row = {"village", 7, true};
        break;
    case TBuildingType::Farm:
    case TBuildingType::House:
        row = variant == 6 ? TRow{"Forge", 10, false} : TRow{"house", 12, true};
        break;
    case TBuildingType::Tavern:
        row = {"inn", 5, false};
        break;
    case TBuildingType::Market:
    case TBuildingType::Camp:
        row = {"market", 2, true};
        break;
    case TBuildingType::Mine:
    case TBuildingType::Cave:
        row = {"mine", 3, true};
        break;
    case TBuildingType::Port:
        row = {"harbor", 11, true};
        break;
    case TBuildingType::Ruin:
        row = {"rhuins", 4, true};
        break;
    case TBuildingType::Cementry:
    case TBuildingType::Altar:
        row = {"altar", 9, true};
        break;
    case TBuildingType::Monastery:
    case TBuildingType::Church:
    case TBuildingType::Chapel:
        row = {"church", 1, false};
        break;
    default:
        break;
    }
    TBuildingPicture picture;
    if (row.Name != nullptr) {
        picture.Name = row.Name;
        picture.SubKind = row.SubKind;
        if (row.Starred) {
            picture.Tag = day ? 1 : 2;
            if (!day)
                picture.Name += "_night";
        }
    }
    if ((model >= 21 && model <= 23) || (model >= 25 && model <= 27))
        picture = {"village_ruins", 8, 0};
    return picture;
}

// ---------------------------------------------------------------------------
// The window

bool IsBuildingEnterable(int32_t building)
{
    return IsWorldBuilding(building) && GameBuildings[static_cast<size_t>(building)].Closed == 0;
}

void ArrangeBuildingWindow()
{
    if (Building_Window == nullptr)
        return;
    Building_Window->Arrange();
    PlaceResourcePanelForBuilding();
}

void PlaceResourcePanelForBuilding()
{
    if (Building_Window == nullptr)
        return;
    const int32_t x = Building_Window->GetValue("c_Gold.X");
    const int32_t y = Building_Window->GetValue("c_Gold.Y");
    static const char* const Shown[] = {"cGold", "cIncome", "cCastles", "cUnits", "cUnits2"};
    for (const char* name : Shown)
        if (TGUI_Object* label = FindBuildingObject(name)) {
            label->Visible = 1;
            label->Enabled = 1;
            label->Y = y;
        }
    if (TGUI_Object* gold = FindBuildingObject("cGold"))
        gold->X = x;
    for (const char* name : {"cTime", "cDate"})
        if (TGUI_Object* label = FindBuildingObject(name))
            label->Visible = 0;
}

void BuildingScreen_Create()
{
    Building_Window = CreateScreenWindow("Building", BuildingScreen_WindowHandler);
    WinX = (GUIVirtualSize.Width - 1400) / 2;
    WinY = (GUIVirtualSize.Height - 1050) / 2;
    Building_Window->SetVariableInt("Window.X", WinX, true);
    Building_Window->SetVariableInt("Window.Y", WinY, true);
    ArrangeBuildingWindow();

    // The hire area: its cards come with the hire tab.
    if (auto* area = new TGUI_Object(MainRender)) {
        area->X = Building_Window->GetValue("s_BodyHire.X");
        area->Y = Building_Window->GetValue("s_BodyHire.Y");
        area->Width = Building_Window->GetValue("s_BodyHire.Width");
        area->Height = Building_Window->GetValue("s_BodyHire.Height");
        area->Visible = 0;
        area->Enabled = 1;
        area->DrawnByWindow = 0;
        Building_Window->AddObject(area, "AllHireObject", 0);
        OwnObjects.push_back(area);
    }

    static const char* const Captions[][2] = {
        {"Build_Encounters", "c_Title"},  {"Build_Actions", "c_ActTitle"},  {"Tent_Character", "c_Character"},
        {"Tent_Inventory", "c_Inventory"}, {"Build_Market", "c_Marketplace"}, {"HireCharacter", "c_HireCharacter"},
        {"Build_Garrison", "c_Garrison"}};
    for (const auto& caption : Captions)
        SetWindowLabelText(*Building_Window, caption[1], BuildingText(caption[0]));

    if (TGUI_Object* exit = FindBuildingObject("b_Exit")) {
        exit->OnClick = BuildingScreen_Close;
        exit->Tag = 0;
        exit->OnEnter = BuildingButtonEnter;
    }
    static const char* const Tabs[BuildingTabCount] = {"b_Enc", "b_Hire", "b_Trade", "b_Actions", "b_Garrison"};
    for (int32_t t = 0; t < BuildingTabCount; t++)
        if (TGUI_Object* tab = FindBuildingObject(Tabs[t])) {
            tab->Tag = t + 1;
            tab->OnMouseDown = BuildingTabPress;
            tab->OnEnter = BuildingButtonEnter;
        }

    Description = new TGUI_StringList(MainRender, 10);
    Description->X = Building_Window->GetValue("c_Description.X");
    Description->Y = Building_Window->GetValue("c_Description.Y");
    const int32_t width = Building_Window->GetValue("c_Description.SizeX");
    Description->Width = width < 300 ? 360 : width;
    Description->SetHeight(150);
    Description->Blending = 2;
    Building_Window->AddObject(Description, "Building_Description", 0);
    OwnObjects.push_back(Description);

    BuildingArmyPanel.Create(Building_Window, PanelArmy);
    BuildingArmyPanel.Layout(WinX + 36, WinY + 73, 41, 100);
    BuildingArmyPanel.BindDropTarget(FindBuildingObject("b_Dismiss"));
    BuildingGarrisonPanel.Create(Building_Window, PanelGarrison);
    BuildingGarrisonPanel.Layout(WinX + 963, WinY + 73, 41, 100);
    BuildingGarrisonPanel.BindDropTarget(FindBuildingObject("b_gDismiss"));
    BuildingGarrisonPanel.SetEnabled(false);

    BuildingArmyItems.Create(Building_Window, ListArmyGoods);
    BuildingArmyItems.BindScrollBar("sb_Bar", "s_SBBody");
    BuildingArmyItems.TradeHandler = SellItemToMarket;
    BuildingMarketItems.Create(Building_Window, ListShop);
    BuildingMarketItems.BindScrollBar("sb_tBar", "s_tSBBody");
    BuildingMarketItems.TradeHandler = BuyItemFromMarket;

    // The filter boxes in the lists' order of categories.
    static const char* const Army[FilterBoxCount] = {"cb_All",     "cb_Weapon",  "cb_Armor", "cb_Talismans",
                                                     "cb_Potions", "cb_Horses", "cb_Goods"};
    static const char* const Market[FilterBoxCount] = {"cb_tAll",     "cb_tWeapon",  "cb_tArmor", "cb_tTalismans",
                                                       "cb_tPotions", "cb_tHorses", "cb_tGoods"};
    for (int32_t i = 0; i < FilterBoxCount; i++) {
        if (auto* box = dynamic_cast<TGUI_CheckBox*>(FindBuildingObject(Army[i]))) {
            box->Tag = FilterBoxCategories[i];
            box->OnClick = ArmyFilterClick;
            box->OnEnter = FilterBoxHint;
            BuildingArmyItems.FilterBoxes[static_cast<size_t>(i)] = box;
        }
        if (auto* box = dynamic_cast<TGUI_CheckBox*>(FindBuildingObject(Market[i]))) {
            box->Tag = FilterBoxCategories[i];
            box->OnClick = MarketFilterClick;
            box->OnEnter = FilterBoxHint;
            BuildingMarketItems.FilterBoxes[static_cast<size_t>(i)] = box;
        }
    }

    if (auto* name = dynamic_cast<TGUI_Label*>(FindBuildingObject("c_Name")))
        name->MaxWidth = 414;

    for (int32_t n = 1; n <= ActionRowCount; n++) {
        auto* list = new TGUI_StringList(MainRender, 10);
        list->Blending = 2;
        list->Visible = 0;
        Building_Window->AddObject(list, "Building_SL_Actions[" + std::to_string(n) + "]", 0);
        OwnObjects.push_back(list);
        if (TGUI_Object* button = FindBuildingObject("b_acAction" + std::to_string(n))) {
            button->Tag = n;
            button->OnClick = ActionButtonClick;
        }
    }

    // The equipment cells at the camp's layout values.
    if (Tent_Window == nullptr)
        CreateTentLayoutWindow();
    TGUI_GraphicWindow* tent = Tent_Window != nullptr ? Tent_Window : Building_Window;
    struct TCellPlace {
        const char* Name;
        uint8_t Kind;
        int32_t DX;
        int32_t DY;
    };
    static constexpr TCellPlace Places[EquipmentCellCount] = {
        {"s_t1", 11, 0, 0},    {"s_t2", 12, 0, 0},       {"s_t3", 13, 0, 0},       {"s_t4", 14, 0, 0},
        {"s_w2", 5, 0, 0},     {"s_w1", 6, 0, 0},        {"s_Helmet", 8, 0, 0},    {"s_Armor", 7, 0, 0},
        {"s_b1", 15, 0, 0},    {"s_b2", 16, 0, 0},       {"s_b3", 17, 0, 0},       {"s_b4", 19, 0, 0},
        {"s_Horse", 9, 0, 0},  {"s_Pike", 10, 0, 0},     {"s_w2", 4, -28, 74},     {"s_w1", 4, 74, 74},
        {"s_Helmet", 4, 74, 74}, {"s_Armor", 4, 21, 86}};
    for (int32_t i = 0; i < EquipmentCellCount; i++) {
        const TCellPlace& place = Places[i];
        const int32_t x = tent->GetValue(std::string(place.Name) + ".X") + place.DX;
        const int32_t y = tent->GetValue(std::string(place.Name) + ".Y") + place.DY;
        BuildingEquipmentCells[i].Create(Building_Window, place.Kind, x, y, nullptr);
        BuildingEquipmentCells[i].LinkedList = &BuildingArmyItems;
    }
    CurrentBuildingTab = 0;
    Created = true;
}

void BuildingScreen_Free()
{
    if (!Created)
        return;
    RemovePartyHooks();
    for (TInventoryCell& cell : BuildingEquipmentCells)
        cell.Destroy();
    BuildingArmyItems.Destroy();
    BuildingMarketItems.Destroy();
    BuildingArmyPanel.Destroy();
    BuildingGarrisonPanel.Destroy();
    for (TGUI_Object* object : OwnObjects) {
        Building_Window->RemoveObject(object);
        delete object;
    }
    OwnObjects.clear();
    delete Building_Window;
    FreeTentLayoutWindow();
    Building_Window = nullptr;
    Description = nullptr;
    PictureTexture = -1;
    PreviousPicture = "altar";
    OpenBuilding = 0;
    CurrentBuildingTab = 0;
    Created = false;
}

void BuildingScreen_Open()
{
    if (Building_Window == nullptr)
        return;
    UpdateArmyModel(PlayerArmy);
    OpenBuilding = GameArmies[PlayerArmy].Building;
    StopPlayerArmy();
    if (MapScriptQueueCount > 0 || !IsWorldBuilding(OpenBuilding)) {
        OpenBuilding = 0;
        CurrentBuildingTab = 0;
        PlayerTargetBuilding = 0;
        MapClickPending = 0;
        MapFrozen = 0;
        return;
    }
    ArmiesInBuilding.clear();
    ListBuildingArmyEvents(OpenBuilding, ArmiesInBuilding);
    Building_Window->PostState(GUI_STATE_OPEN);
    BuildingHotkeyHeld = false;
    ResetMapCameraMotion();
    BuildingMoveRequest = false;
    BuildingLeaveRequest = false;
}

void AnimateBuildingCamera(const TBuildingCameraPose& from, const TBuildingCameraPose& to, float t)
{
    SetMapPose(InterpolateBuildingPose(from, to, t));
    RefreshMapScene();
    UpdateConsole();
    if (BuildingMapHooks.RenderMap != nullptr)
        BuildingMapHooks.RenderMap();
}

void BuildingScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    if (window == nullptr || window != Building_Window)
        return;
    const float t = static_cast<float>(GetFrameTime(false) - BuildingAnimStart) / BuildingFlightMs;
    switch (state) {
    case GUI_STATE_OPEN:
        InstallPartyHooks();
        OnOpen();
        break;
    case BuildingStateIntro:
        if (t >= 1)
            EndIntro();
        else
            AnimateBuildingCamera(BuildingCameraPoses[0], BuildingCameraPoses[1], t);
        RenderAndPresentScene(window->DrawScene);
        break;
    case BuildingStateOutro:
        AdditionalPersonage.Refresh();
        StopBuildingMusic();
        if (t >= 1) {
            AnimateBuildingCamera(BuildingCameraPoses[1], BuildingCameraPoses[0], 2.0f);
            window->PostState(GUI_STATE_CLOSE);
        } else {
            AnimateBuildingCamera(BuildingCameraPoses[1], BuildingCameraPoses[0], t);
        }
        RenderAndPresentScene(window->DrawScene);
        break;
    case GUI_STATE_ACTIVE: {
        TScreenHotkeys keys;
        keys.CancelButton = FindBuildingObject("b_Exit");
        keys.Held = &BuildingHotkeyHeld;
        RunScreenActiveFrame(*window, DrawActiveFrame, &keys);
        SetBlur(false);
        if (window->State == GUI_STATE_ACTIVE)
            ActiveExtras();
        break;
    }
    case GUI_STATE_INACTIVE:
        window->Draw();
        DrawBuildingTab();
        break;
    case GUI_STATE_CLOSE:
        OnClose();
        break;
    default:
        break;
    }
}

void BuildingScreen_Close(TGUI_Object*)
{
    if (Building_Window == nullptr || OpenBuilding == 0)
        return;
    // A drag ends first, so that what it carries is back in a list or on
    // its personage before the lists are written back.
    if (DragItem.Active != 0)
        DragItem.Finish(true);
    StoreBuildingLists();
    OpenBuilding = 0;
    CurrentBuildingTab = 0;
    PlayerTargetBuilding = 0;
    MapClickPending = 0;
    MapFrozen = 0;
    Building_Window->PostState(BuildingStateOutro);
    BuildingAnimStart = GetFrameTime(false);
    RefreshMapScene();
    BuildingArmyItems.FilterCode = 0;
    BuildingMarketItems.FilterCode = 0;
    PlayBuildingSound(SoundWindowMDisappear);
}

void BuildingButtonEnter(TGUI_Object* button)
{
    if (button == nullptr)
        return;
    ShowPanelHint(button, "Hints", "BuildingButtonHint" + std::to_string(button->Tag));
}
