// What the mouse drags: one record for the whole program, DragItem, that
// carries either an item taken from an inventory cell or a personage taken
// from an army panel, from the grab to the drop or the cancel.
//
// Threads: main thread only.
#pragma once

#include <cstdint>

struct TPersonage;
struct TPersIcon;
struct TInventoryCell;

enum TDragKind : uint8_t {
    DragNone = 0,
    DragKindItem = 1,
    DragKindPersonage = 2,
};

struct TDragItem {
    uint8_t Active = 0;
    uint8_t Kind = DragNone;
    TPersonage* PersonageCopy = nullptr; // personage drags: an owned copy
    int32_t GrabX = 0;                   // mouse minus the source's position at the grab
    int32_t GrabY = 0;
    TPersIcon* DragIcon = nullptr; // personage drags
    int32_t ItemSprite = -1;       // item drags: the item's sprite
    uint8_t SourcePanelKind = 0;   // personage drags
    int32_t ItemNumber = 0;        // item drags
    int32_t SourceArmy = 0;        // personage drags
    TInventoryCell* SourceCell = nullptr;
    int32_t SourceSlot = 0;
    TPersIcon* SourceIcon = nullptr;

    void Init();
    // An item drag from the cell (its item and icon); the grab offset is set
    // by the caller.
    void StartItem(TInventoryCell* cell);
    // A personage drag from an army panel's icon: an owned copy of the
    // record and an icon that follows the mouse, which it returns. The grab
    // offset is set by the caller.
    TPersIcon* StartPersonage(uint8_t panelKind, int32_t army, int32_t slot, TPersIcon* icon);
    // Ends the drag. With restore, a dragged item goes back where it came
    // from: into its cell's list, or, from an equipment cell, onto the
    // selected personage again, and when that is refused into the cell's
    // linked list (or the army's bag): a cancelled item is never lost.
    // A dragged personage goes back into its grid cell and onto its icon.
    void Finish(bool restore);
    // The personage side of Finish (the army panel's): the restore, then the
    // copy and the dragged icon freed.
    void FinishPersonage(bool restore);
    // While active, at the mouse minus the grab offset.
    void Draw();
};
extern TDragItem DragItem;
