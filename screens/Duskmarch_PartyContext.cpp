#include "screens/Duskmarch_PartyContext.h"

#include "model/personage/Personage.h"
#include "model/world/World_Tables.h"

TPartyContext PartyContext;

namespace {

bool SelectedArmySlot(int32_t& army, int32_t& slot)
{
    army = -1;
    slot = 0;
    if (PartyContext.SelectedPersonage == nullptr || !PartyContext.SelectedPersonage(army, slot))
        return false;
    return army >= 0 && static_cast<size_t>(army) < ArmyUnits.size() && slot >= 1 && slot <= ArmySlotCount;
}

} // namespace

TPersonage* PartySelectedPersonage()
{
    int32_t army = 0, slot = 0;
    if (!SelectedArmySlot(army, slot))
        return nullptr;
    return &ArmyUnits[static_cast<size_t>(army)][slot];
}

int32_t PartySelectedSlot()
{
    int32_t army = 0, slot = 0;
    return SelectedArmySlot(army, slot) ? slot : 0;
}

bool PartyInBuilding()
{
    return PartyContext.InBuilding != nullptr && PartyContext.InBuilding();
}

void PartyFillEquipmentCells()
{
    if (PartyContext.FillEquipmentCells != nullptr)
        PartyContext.FillEquipmentCells();
}

void PartyRefreshTradeFlags()
{
    if (PartyContext.RefreshTradeFlags != nullptr)
        PartyContext.RefreshTradeFlags();
}

void PartyRefreshTentPersonageModel(int32_t slot, int32_t item, bool selected)
{
    if (PartyContext.RefreshTentPersonageModel != nullptr)
        PartyContext.RefreshTentPersonageModel(slot, item, selected);
}

bool PartyTakeHorse()
{
    return PartyContext.TakeHorse != nullptr && PartyContext.TakeHorse();
}

void PartyEquipmentChanged(int32_t item)
{
    if (PartyInBuilding())
        PartyFillEquipmentCells();
    else
        PartyRefreshTentPersonageModel(PartySelectedSlot(), item, true);
}

bool CopySelectedPersonage(TPersonage& destination)
{
    const TPersonage* selected = PartySelectedPersonage();
    if (selected == nullptr)
        return false;
    destination = *selected;
    return true;
}
