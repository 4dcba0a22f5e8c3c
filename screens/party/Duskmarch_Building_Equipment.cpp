// The character panel's 18 equipment cells, shared by the camp and the
// building window.
#include "screens/party/Duskmarch_Building.h"

#include "model/personage/Personage.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"

namespace {

// Equipment slot of each of the first fourteen cells (cell 11 is never
// filled).
constexpr uint8_t CellSlots[14] = {5, 6, 7, 8, 2, 1, 3, 4, 9, 10, 0, 12, 13, 14};

int32_t Equipped(const TPersonage& p, int32_t slot)
{
    return slot >= 1 && slot <= 14 ? p.Equipment[slot] : 0;
}

int32_t Default(const TPersonage& p, int32_t slot)
{
    return slot >= 1 && slot <= 14 ? p.DefaultItems[slot] : 0;
}

} // namespace

void FillEquipmentCells(TInventoryCell* cells, const TPersonage& personage)
{
    if (cells == nullptr)
        return;
    for (int32_t i = 0; i < EquipmentCellCount; i++)
        cells[i].SetItem(0);
    // The small cells beside the hands, the helmet and the armour show the
    // unit type's own items; the big ones only what differs from them.
    static constexpr int32_t SmallSlots[4] = {2, 1, 3, 4};
    for (int32_t i = 0; i < 4; i++)
        cells[14 + i].SetItem(Default(personage, SmallSlots[i]));
    for (int32_t i = 4; i < 8; i++) {
        const int32_t slot = CellSlots[i];
        const int32_t item = Equipped(personage, slot);
        if (item != Default(personage, slot))
            cells[i].SetItem(item);
    }
    if (personage.Horse != 0)
        for (int32_t i = 11; i < 14; i++)
            cells[i].SetItem(Equipped(personage, CellSlots[i]));
    for (int32_t i : {8, 9, 0, 1, 2, 3})
        cells[i].SetItem(Equipped(personage, CellSlots[i]));
}

TGUI_GraphicWindow* Tent_Window = nullptr;

namespace {
bool TentLayoutOwned = false;
}

void CreateTentLayoutWindow()
{
    if (Tent_Window != nullptr)
        return;
    Tent_Window = CreateScreenWindow("Tent", [](int32_t, TGUI_Window*) {}, "2D");
    Tent_Window->SetVariableInt("Window.X", (GUIVirtualSize.Width - 1400) / 2, true);
    Tent_Window->SetVariableInt("Window.Y", (GUIVirtualSize.Height - 1050) / 2, true);
    Tent_Window->Arrange();
    TentLayoutOwned = true;
}

void FreeTentLayoutWindow()
{
    if (!TentLayoutOwned)
        return;
    delete Tent_Window;
    Tent_Window = nullptr;
    TentLayoutOwned = false;
}
