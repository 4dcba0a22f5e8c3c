// The party screen the inventory cells and lists act for: the camp or the
// building window. Those screens install these hooks when they are built
// (and the screen harness's demo screen its own), so that the kit's cells
// and lists reach the selected personage, refill the equipment cells,
// refresh the trade flags, re-dress the camp's model and read the camp's
// take-horse box without knowing the screens. An empty entry has the least
// behaviour: no selection, nothing refreshed, the box not ticked.
//
// Threads: main thread only.
#pragma once

#include <cstdint>

struct TPersonage;

struct TPartyContext {
    // The selected personage of the current party screen's army panel: its
    // army and slot; false when nothing is selected.
    bool (*SelectedPersonage)(int32_t& army, int32_t& slot) = nullptr;
    // True while the building window is the GUI processor's current window
    // (else the camp is).
    bool (*InBuilding)() = nullptr;
    // The building screen's equipment cells, filled again from the selection.
    void (*FillEquipmentCells)() = nullptr;
    // The building screen's trade flags of its list cells.
    void (*RefreshTradeFlags)() = nullptr;
    // The camp re-dresses the model of army slot `slot` after item changed
    // (selected: the slot is the selected one).
    void (*RefreshTentPersonageModel)(int32_t slot, int32_t item, bool selected) = nullptr;
    // The camp's "cb_TakeHorse" box is ticked.
    bool (*TakeHorse)() = nullptr;
};
extern TPartyContext PartyContext;

// The selected personage's record in ArmyUnits, nullptr without a selection
// or when the army or slot is not in the tables.
TPersonage* PartySelectedPersonage();
int32_t PartySelectedSlot();
bool PartyInBuilding();
void PartyFillEquipmentCells();
void PartyRefreshTradeFlags();
void PartyRefreshTentPersonageModel(int32_t slot, int32_t item, bool selected);
bool PartyTakeHorse();
// The equipment changed on the selected personage: the building refills its
// equipment cells, the camp re-dresses its model.
void PartyEquipmentChanged(int32_t item);
// Copies the selected personage into destination (the party screens only);
// false, destination untouched, without a selection.
bool CopySelectedPersonage(TPersonage& destination);
