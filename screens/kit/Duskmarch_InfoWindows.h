// The info pop-ups: three small windows built in code that show a thing
// under the mouse while the right button is held. The personage pop-up
// (statistics, signs, equipment) opens from army panels, hire cards, upgrade
// nodes and the battle screen; the building pop-up (name, description,
// relation, income, services, defenders) and the army pop-up (name,
// description, relation, personages) from the strategic map. Each opens
// centred on the mouse, clamped into the GUI area, and closes by itself when
// the mouse leaves it or the right button goes up.
//
// Threads: built on the start-up loader's thread; opened, drawn and closed on
// the main thread inside the GUI frame step.
#pragma once

#include <cstdint>
#include <string>

#include "screens/kit/Duskmarch_ArmyPanel.h"
#include "screens/kit/Duskmarch_Inventory.h"
#include "screens/kit/Duskmarch_PersPanels.h"

class TGUI_Object;
class TGUI_Label;
class TGUI_StringList;
class TGUI_GraphicWindow;
class TGUI_Window;
struct TPersonage;

inline constexpr int32_t PopupCellCount = 14;

struct TPersonageInfoPopup {
    int32_t Background = -1;
    int32_t HorseFrame = -1;
    TGUI_Label* SkillsLabel = nullptr;
    TGUI_GraphicWindow* Window = nullptr;
    TGUI_Object* Catcher = nullptr;
    TGUI_Object* PortraitObject = nullptr;
    TPersInfoPanel InfoPanel;
    TSignsPanel SignsPanel;
    TInventoryCell Cells[PopupCellCount];
    TPersonage* Shown = nullptr; // the personage of the last open
};

struct TServiceIcon {
    TGUI_GraphicWindow* Window = nullptr;
    TGUI_Object* GuiObject = nullptr;
};

enum TServiceIconIndex : int32_t {
    ServiceCure = 0,
    ServiceHiring = 1,
    ServiceTrade = 2,
    ServiceIncome = 3,
    ServiceIconCount = 4
};

struct TBuildingInfoPopup {
    int32_t TopBackground = -1;
    int32_t BottomBackground = -1;
    int32_t Building = 0;
    TArmyPanel Panel;
    TGUI_Label* TitleLabel = nullptr;
    TGUI_StringList* DescriptionList = nullptr;
    TGUI_GraphicWindow* Window = nullptr;
    TGUI_Object* Catcher = nullptr;
    uint8_t NoGarrison = 0;
    TGUI_Label* RelationLabel = nullptr;
    TGUI_Label* GarrisonLabel = nullptr;
    int32_t GoldIcon = -1;
    TGUI_Label* IncomeLabel = nullptr;
    int32_t CastleIcon = -1;
    TGUI_Label* ShareLabel = nullptr;
    TServiceIcon Services[ServiceIconCount];
    std::u16string ServiceHints[ServiceIconCount];
};

struct TArmyInfoPopup {
    int32_t TopBackground = -1;
    int32_t BottomBackground = -1;
    int32_t Army = 0;
    TArmyPanel Panel;
    TGUI_Label* TitleLabel = nullptr;
    TGUI_Label* RelationLabel = nullptr;
    TGUI_Label* CaptionLabel = nullptr;
    TGUI_StringList* DescriptionList = nullptr;
    TGUI_GraphicWindow* Window = nullptr;
    TGUI_Object* Catcher = nullptr;
};

extern TPersonageInfoPopup PersonageInfoPopup;
extern TBuildingInfoPopup BuildingInfoPopup;
extern TArmyInfoPopup ArmyInfoPopup;

// Relation colours (opaque).
inline constexpr uint32_t RelationOwnColour = 0xFF007F00u;
inline constexpr uint32_t RelationHostileColour = 0xFFFF1414u;
inline constexpr uint32_t RelationFriendlyColour = 0xFF3F5FFFu;
inline constexpr uint32_t RelationNeutralColour = 0xFF7F3FF0u;

// The start-up loader's steps.
void PersonageInfoScreen_Create(TPersonageInfoPopup& popup);
void BuildingInfoScreen_Create(TBuildingInfoPopup& popup);
void ArmyInfoScreen_Create(TArmyInfoPopup& popup);

void PersonageInfoScreen_Open(TPersonageInfoPopup& popup, const std::string& sceneName, int32_t x, int32_t y,
                              TPersonage& personage);
// negativeBuilding: minus the building's number.
void BuildingInfoScreen_Open(TBuildingInfoPopup& popup, const std::string& sceneName, int32_t x, int32_t y,
                             int32_t negativeBuilding);
void ArmyInfoScreen_Open(TArmyInfoPopup& popup, const std::string& sceneName, int32_t x, int32_t y, int32_t army);

void PersonageInfoScreen_WindowHandler(int32_t state, TGUI_Window* window);
void BuildingInfoScreen_WindowHandler(int32_t state, TGUI_Window* window);
void ArmyInfoScreen_WindowHandler(int32_t state, TGUI_Window* window);

// The army whose personages the building pop-up shows: the garrison when it
// holds anyone, else the first army inside hostile to the player's, else the
// last active army inside, else the garrison.
int32_t GetBuildingShownArmy(int32_t negativeBuilding);

// A window of width x height centred on (x, y), kept inside guiWidth x
// guiHeight (the top left corner wins when the window is larger).
void PlacePopup(int32_t x, int32_t y, int32_t width, int32_t height, int32_t guiWidth, int32_t guiHeight, int32_t& left,
                int32_t& top);

// The income hint: "[#]" becomes income; with a receiving building's name
// "<>" becomes a blank and that name, without one the text ends at "<>".
std::u16string FormatIncomeHint(const std::u16string& text, int32_t income, const std::u16string& receivingName);

// The building's scenario record allows a garrison.
bool BuildingAllowsGarrison(int32_t building);
// Which of the four service icons the building shows.
bool BuildingServiceShown(int32_t building, int32_t service);
// The relation text key and its colour for the building pop-up.
const char* BuildingRelationKey(int32_t building, uint32_t& colour);

// The records' objects, sprites and windows freed and the records emptied
// (the unit's end; tests). The windows must be closed.
void PersonageInfoScreen_Free(TPersonageInfoPopup& popup);
void BuildingInfoScreen_Free(TBuildingInfoPopup& popup);
void ArmyInfoScreen_Free(TArmyInfoPopup& popup);

// Closing a map pop-up restarts the map clock: the resume time becomes the
// frame's time, or 0 while the player paused the map.
void ResumeMapClockAfterPopup();
