// Army panels: the twelve personage icons of one army laid out like its
// battle formation (five in the front row, four in the middle, three at the
// rear), with the editing of the camp and the building screen: selecting a
// personage, dragging personages within the formation or between the
// player's army and a garrison, dropping items onto them, the info pop-up on
// the right button and dismissing the selected personage on a banish place.
// Victory windows and the info pop-ups show the same panel without editing.
//
// The panel writes the formation grid of GameArmies and the records of
// ArmyUnits directly and asks the model to recount the armies afterwards.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "screens/kit/Duskmarch_PersIcon.h"

class TGUI_Object;
class TGUI_GraphicWindow;
struct TInventoryList;
struct TArmyPanel;

enum TArmyPanelKind : uint8_t {
    PanelArmy = 0,
    PanelGarrison = 1,
    PanelVictory = 2,
    PanelInfo = 3,
};

inline constexpr int32_t PanelIconCount = 12;

// What each icon's GUI object names through its Tag.
struct TPanelSlotTag {
    int32_t Index = 0;
    TArmyPanel* Panel = nullptr;
    int32_t ExpLabel = -1; // victory panels: the "+experience" text
    uint8_t ShowExp = 0;
};

struct TArmyPanel {
    int32_t Army = -1;
    uint8_t Kind = PanelArmy;
    TGUI_GraphicWindow* Window = nullptr;
    TPersIcon Icons[PanelIconCount];
    int32_t HoverSlot = -1; // icon under the mouse that accepts what is dragged
    int32_t SelectedSlot = -1;
    int32_t PressX = 0;
    int32_t PressY = 0;
    uint8_t Enabled = 1;
    TGUI_Object* DropTarget = nullptr; // the banish place
    int32_t ExpPlace = -1;
    TPanelSlotTag SlotTags[PanelIconCount];

    void Create(TGUI_GraphicWindow* window, uint8_t kind);
    void BindDropTarget(TGUI_Object* object);
    void SetArmy(int32_t army);
    // Binds the personage of the slot to the icon of its cell; a hire card's
    // icon (kind 3) as fromIcon makes it slide from there.
    void SetSlot(int32_t army, int32_t slot, const TPersIcon* fromIcon);
    void Layout(int32_t x, int32_t y, int32_t rowShiftX, int32_t rowStepY);
    void SetEnabled(bool on);
    void Draw();
    void Destroy();
};

// The formation row (1..3) of an icon, 0 outside 0..11.
int32_t PanelSlotRow(int32_t icon);
// The formation column of an icon, 0 outside 0..11.
int32_t PanelSlotColumn(int32_t icon);
// The icon of a formation cell, -1 for a cell no icon shows.
int32_t PanelIconOfCell(int32_t row, int32_t column);
// "ArmyPersIcon", "GarrisonPersIcon", "VictoryPersIcon", "InfoPersIcon".
std::string PanelIconName(uint8_t kind, int32_t icon);
// The panel and icon a GUI object stands for; nullptr for any other object.
TPanelSlotTag* PanelSlotTagOf(const TGUI_Object* object);

// Victory panels: "+experience" under the icon of the army's slot.
void ShowExperienceGain(TArmyPanel& panel, int32_t slot, int32_t experience);

// The hint key (section "Hints") that refuses what is dragged onto the
// panel's icon, nullptr when the icon takes it.
const char* PanelDropRefusal(const TArmyPanel& panel, int32_t icon);

// The icons' handlers.
void ArmySlotEnter(TGUI_Object* object);
void ArmySlotLeave(TGUI_Object* object);
void ArmySlotPress(TGUI_Object* object);
void ArmySlotHeld(TGUI_Object* object);
void ArmySlotDrop(TGUI_Object* object);
void ArmySlotClick(TGUI_Object* object);
void BanishPlaceEnter(TGUI_Object* object);
void BanishPlaceClick(TGUI_Object* object);

// A one-line hint of a key of the text file's section in the main hint,
// owned by the object.
void ShowPanelHint(TGUI_Object* owner, const std::string& section, const std::string& key);

// What the panels ask of the screens that own them; each screen installs its
// entries when it is built. An empty entry does the least: no refresh, the
// dismissed personage's items into the player's army's carried items.
struct TArmyPanelHooks {
    // The building screen refreshes its lists and open tab for a new
    // selection on one of its panels.
    void (*SelectionChanged)(TArmyPanel& panel) = nullptr;
    // The list that takes a dismissed personage's items (the camp's list, the
    // trade tab's army list), nullptr for the carried items.
    TInventoryList* (*DismissList)() = nullptr;
    // After a dismissal: the camp's count label, the hire cards, a selection.
    void (*Dismissed)(TArmyPanel& panel) = nullptr;
    // The arena's personage models of two icons swap with the personages.
    void (*SwapArenaPersonageModels)(int32_t sourceIcon, int32_t targetIcon) = nullptr;
};
extern TArmyPanelHooks ArmyPanelHooks;
