// The building screen: the window the player sees while the army stands in
// a building of the map. It flies the map camera onto the building and
// back, shows the building's picture, name and description over the
// resource labels and the army panel, and offers up to five tabs:
// Encounters, Hire, Trade, Actions and Garrison. This unit holds the window
// itself, its camera flight and its trade; the tab choice, the Actions and
// Garrison tabs are in Duskmarch_Building_Tabs.cpp and _Actions.cpp.
//
// Threads: main thread only (the flights render "MAP" from the main thread
// while the map render worker is idle).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/story/StoryEvents.h"
#include "model/world/World_Tables.h"
#include "screens/kit/Duskmarch_ArmyPanel.h"
#include "screens/kit/Duskmarch_Inventory.h"

class TGUI_GraphicWindow;
class TGUI_Window;
class TGUI_Object;
class TGUI_StringList;

// ---------------------------------------------------------------------------
// Window state

enum TBuildingTab : int32_t {
    TabNone = 0,
    TabEncounters = 1,
    TabHire = 2,
    TabTrade = 3,
    TabActions = 4,
    TabGarrison = 5,
};
inline constexpr int32_t BuildingTabCount = 5;

// The flight's window states between open and active, and active and close.
inline constexpr int32_t BuildingStateIntro = 1;
inline constexpr int32_t BuildingStateOutro = 2;
inline constexpr int32_t BuildingFlightMs = 1000;

// A map camera pose: pitch, yaw, zoom and the point looked at.
struct TBuildingCameraPose {
    float Pitch = 0;
    float Yaw = 0;
    float Zoom = 0;
    float X = 0;
    float Y = 0;
    float Z = 0;
};

inline constexpr int32_t EquipmentCellCount = 18;

extern TGUI_GraphicWindow* Building_Window;
extern int32_t OpenBuilding;
extern int32_t CurrentBuildingTab;
extern int32_t BuildingAnimStart;
extern TBuildingCameraPose BuildingCameraPoses[2];
extern int32_t WinX;
extern int32_t WinY;
extern TInventoryList BuildingArmyItems;
extern TInventoryList BuildingMarketItems;
extern TInventoryCell BuildingEquipmentCells[EquipmentCellCount];
extern TArmyPanel BuildingArmyPanel;
extern TArmyPanel BuildingGarrisonPanel;
extern TArmyUnits BuildingArmySnapshot;
extern bool BuildingHotkeyHeld;
// The armies met in the building (the Encounters tab's rows).
extern std::vector<TArmyEventEntry> ArmiesInBuilding;
// The two requests the story-event screen leaves for this window.
extern bool BuildingMoveRequest;
extern int32_t BuildingMoveTargetX;
extern int32_t BuildingMoveTargetZ;
extern bool BuildingLeaveRequest;

// What the window needs of the map screen's camera and scene. The map
// screen installs these; until then the pose lives in StoredMapPose and
// nothing is rendered.
struct TBuildingMapHooks {
    void (*GetPose)(TBuildingCameraPose& pose) = nullptr;
    void (*SetPose)(const TBuildingCameraPose& pose) = nullptr;
    // The "MAP" scene rendered once for the flight's frame.
    void (*RenderMap)() = nullptr;
    // The map route hidden while the window is open.
    void (*HideRoute)() = nullptr;
    // The map window takes input (true) or not.
    void (*SetMapInput)(bool on) = nullptr;
    // The player's clicked cell for a move order.
    void (*SetClickedCell)(int32_t x, int32_t z) = nullptr;
};
extern TBuildingMapHooks BuildingMapHooks;
extern TBuildingCameraPose StoredMapPose;
// Every sound the window plays passes here (tests record them); nullptr
// plays it.
extern void (*BuildingSoundHook)(int32_t sound);

// ---------------------------------------------------------------------------
// The rules of the flight and the picture, free of the window

// Brings a yaw into (-2 pi, 2 pi) by whole steps of 2 pi.
float NormalizeBuildingYaw(float yaw);
// The two poses of a visit: from the current one to the view of a building
// whose map record turns by `angle` and stands at `position`. The current
// yaw is moved by 2 pi so that it lies within pi of the target yaw.
void ComputeBuildingCameraPoses(const TBuildingCameraPose& current, float angle, const float position[3],
                                TBuildingCameraPose poses[2]);
// The pose at fraction t of the flight: the start before 0, the end after 1.
TBuildingCameraPose InterpolateBuildingPose(const TBuildingCameraPose& from, const TBuildingCameraPose& to, float t);

// Day from minute 406 to minute 1209 of the day.
bool IsBuildingDaytime(int64_t gameClock);

struct TBuildingPicture {
    std::string Name; // "" keeps the previous picture and music
    uint8_t SubKind = 0;
    uint8_t Tag = 0; // 0 any time, 1 day, 2 night
};
// The picture ("town_night", ...) and the music of a building's type, its
// map model number and variant at a time of day.
TBuildingPicture ChooseBuildingPicture(uint8_t type, int32_t model, int32_t variant, bool day);

// ---------------------------------------------------------------------------
// The window

bool IsBuildingEnterable(int32_t building);
// The window's object of that name, nullptr none.
TGUI_Object* FindBuildingObject(const std::string& name);
void PlayBuildingSound(int32_t sound);
void BuildingScreen_Create();
void BuildingScreen_Open();
void BuildingScreen_WindowHandler(int32_t state, TGUI_Window* window);
void BuildingScreen_Close(TGUI_Object* sender);
void BuildingButtonEnter(TGUI_Object* button);
void AnimateBuildingCamera(const TBuildingCameraPose& from, const TBuildingCameraPose& to, float t);
// The window and its objects freed (the program's end, tests).
void BuildingScreen_Free();

// Trade
void RefreshTradeFlags();
void SellItemToMarket(TGUI_Object* button);
void BuyItemFromMarket(TGUI_Object* button);
void ArmyFilterClick(TGUI_Object* box);
void MarketFilterClick(TGUI_Object* box);
// The trade's steps on a cell of the list (the handlers' work).
bool SellListCell(int32_t index);
bool BuyListCell(int32_t index);
void ShowPersonageEquipment(TInventoryCell* cells, const TPersonage& personage);
void EnsurePanelSelection();
void ArrangeBuildingWindow();
// The shop cells pass clicks over their trade buttons on to the trade; run
// after the lists made new cells (the cell counts bound then).
void BindTradeClicks();
extern int32_t TradeBoundCells[2];
// The gold label while the map screen does not fill the resource labels.
void ShowBuildingGold();
void PlaceResourcePanelForBuilding();

// The 18 equipment cells of a party screen from a personage: items equal to
// the unit type's defaults only in the four small cells, the riding cells
// only for a unit that may ride, and the personage panels of the screen.
void FillEquipmentCells(TInventoryCell* cells, const TPersonage& personage);

// Tabs
// The offer and first tab rule: offered[1..5] by tab number.
int32_t ChooseFirstBuildingTab(uint8_t type, const bool offered[BuildingTabCount + 1], bool hireWithStock);
void UpdateBuildingTabs();
void BuildingTabPress(TGUI_Object* button);
void PressBuildingTab(TGUI_Object* button);
void BuildingScreen_ShowTab(int32_t tab);
void StoreBuildingLists();
void SetEquipmentCellsEnabled(bool enabled);
void DrawBuildingTab();
extern bool BuildingTabsReentry;

// Actions and garrison
enum TBuildingActionKind : uint8_t {
    ActionTreatOne = 0,
    ActionTreatAll = 1,
    ActionServage = 7,
    ActionCoffers = 8,
};
struct TBuildingAction {
    int32_t Target = 0;
    int32_t Value = 0;
    uint8_t Kind = 0;
};
extern std::vector<TBuildingAction> BuildingActions;
inline constexpr int32_t ActionRowCount = 7;
void FillActionsTab();
void ActionButtonClick(TGUI_Object* button);
void ShowGarrisonPanel(bool show);
// Whether the building offers its garrison to the player's army.
bool BuildingGarrisonAllowed(int32_t building);

// The camp's window; its layout values place the equipment cells of both
// party screens. Until the camp builds it, CreateTentLayoutWindow makes it
// from "Tent.ini" by the screen pattern's first steps.
extern TGUI_GraphicWindow* Tent_Window;
void CreateTentLayoutWindow();
// Frees the window CreateTentLayoutWindow made (none: nothing).
void FreeTentLayoutWindow();
