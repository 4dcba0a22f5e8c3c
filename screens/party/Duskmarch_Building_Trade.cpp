// The building window's trade: the army's goods for sale beside the
// building's shop, their trade flags, the sale and the purchase.
#include "screens/party/Duskmarch_Building.h"

#include "model/world/Prices.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "screens/Duskmarch_PartyContext.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Sound.h"
#include "screens/kit/Duskmarch_DragItem.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"

namespace {

int32_t TradeBuilding()
{
    return GameArmies.empty() ? 0 : GameArmies[PlayerArmy].Building;
}

int32_t Price(int32_t item, bool selling)
{
    const int32_t id = item < 0 ? -item : item;
    return GetItemTradePrice(selling ? TradeSell : TradeBuy, id, PlayerArmy, TradeBuilding());
}

int32_t MarketCount()
{
    size_t n = 0;
    for (int32_t b = 1; b <= BucketCount; b++)
        n += BuildingMarketItems.Buckets[static_cast<size_t>(b)].Items.size();
    return static_cast<int32_t>(n);
}

bool Shows(const TInventoryList& list)
{
    return (list.Category >= CategoryWeapons && list.Category <= CategoryHorses) || list.Category == CategoryAll;
}

void AfterTrade()
{
    BuildingArmyItems.ShowCategory(BuildingArmyItems.FilterCode);
    BuildingMarketItems.ShowCategory(BuildingMarketItems.FilterCode);
    RefreshTradeFlags();
    BuildingArmyItems.LayoutCells(true);
    BuildingMarketItems.LayoutCells(true);
    BindTradeClicks();
    UpdateResourcePanel();
    ShowBuildingGold();
}

} // namespace

namespace {

// A shop cell's click: over its enabled trade button it is the trade.
void TradeCellClick(TGUI_Object* object)
{
    for (TInventoryList* list : {&BuildingArmyItems, &BuildingMarketItems})
        for (auto& cell : list->Cells)
            if (cell->Object == object) {
                TGUI_Button* button = cell->TradeButton;
                if (DragItem.Active == 0 && button != nullptr && button->Visible != 0 && GUI_HitTest(button) &&
                    list->TradeHandler != nullptr) {
                    list->TradeHandler(button);
                    return;
                }
                CellClick(object);
                return;
            }
}

} // namespace

void BindTradeClicks()
{
    // The list's layout puts each trade button behind its cell's object in
    // the hit test, so the cell passes a click over the button on to the
    // trade (moving the buttons in front again would rebind the whole
    // window once per cell).
    int32_t n = 0;
    for (TInventoryList* list : {&BuildingArmyItems, &BuildingMarketItems}) {
        for (auto& cell : list->Cells)
            if (cell->Object != nullptr)
                cell->Object->OnClick = TradeCellClick;
        TradeBoundCells[n++] = static_cast<int32_t>(list->Cells.size());
    }
}

int32_t TradeBoundCells[2] = {};

void ShowBuildingGold()
{
    // The least form of the resource labels while the map does not fill
    // them.
    if (PlayServices.UpdateResourcePanel != nullptr || Building_Window == nullptr || GameArmies.empty())
        return;
    const std::string text = std::to_string(GameArmies[PlayerArmy].Gold);
    SetWindowLabelText(*Building_Window, "cGold", std::u16string(text.begin(), text.end()));
}

void EnsurePanelSelection()
{
    TArmyPanel& panel = BuildingArmyPanel;
    if (panel.SelectedSlot >= 0 && panel.SelectedSlot < PanelIconCount)
        return;
    const int32_t hero = FindHeroPanelSlot();
    if (hero < 0)
        return;
    panel.SelectedSlot = hero;
    panel.Icons[hero].Flags |= IconSelected;
}

void ShowPersonageEquipment(TInventoryCell* cells, const TPersonage& personage)
{
    const TPersonage copy = personage;
    FillEquipmentCells(cells, copy);
    for (int32_t i = 0; i < EquipmentCellCount; i++)
        if (cells[i].Item != 0)
            cells[i].SetPosition(cells[i].X, cells[i].Y);
}

void RefreshTradeFlags()
{
    EnsurePanelSelection();
    const int32_t gold = GameArmies.empty() ? 0 : GameArmies[PlayerArmy].Gold;
    // A full shop takes nothing more: the building keeps 40 items and would
    // drop what it was paid for.
    const bool marketFull = MarketCount() >= ShopItemCapacity;
    if (Shows(BuildingArmyItems)) {
        for (auto& cell : BuildingArmyItems.Cells)
            if (cell->Item != 0) {
                cell->TradeFlag = !marketFull && Price(cell->Item, true) > 0 ? 1 : 0;
                cell->SetItem(cell->Item);
            }
    }
    if (Shows(BuildingMarketItems)) {
        for (auto& cell : BuildingMarketItems.Cells)
            if (cell->Item != 0) {
                const int32_t price = Price(cell->Item, false);
                cell->TradeFlag = price > 0 && gold >= price ? 1 : 0;
                cell->SetItem(cell->Item);
            }
    }
    TPersonage copy{};
    if (CopySelectedPersonage(copy))
        ShowPersonageEquipment(BuildingEquipmentCells, copy);
}

bool SellListCell(int32_t index)
{
    TItemBucket* bucket = BuildingArmyItems.ShownBucket();
    if (bucket == nullptr || index < 0 || static_cast<size_t>(index) >= bucket->Items.size())
        return false;
    const int32_t item = bucket->Items[static_cast<size_t>(index)];
    if (item < 1 || MarketCount() >= ShopItemCapacity)
        return false;
    const int32_t price = Price(item, true);
    if (price <= 0)
        return false;
    BuildingArmyItems.RemoveAt(index, BuildingArmyItems.Category);
    BuildingMarketItems.AddItem(item);
    GameArmies[PlayerArmy].Gold += price;
    AfterTrade();
    PlayBuildingSound(SoundInvSell);
    return true;
}

bool BuyListCell(int32_t index)
{
    TItemBucket* bucket = BuildingMarketItems.ShownBucket();
    if (bucket == nullptr || index < 0 || static_cast<size_t>(index) >= bucket->Items.size())
        return false;
    const int32_t item = bucket->Items[static_cast<size_t>(index)];
    if (item == 0)
        return false;
    const int32_t price = Price(item, false);
    if (price <= 0 || GameArmies[PlayerArmy].Gold < price)
        return false;
    BuildingMarketItems.RemoveAt(index, BuildingMarketItems.Category);
    BuildingArmyItems.AddItem(item < 0 ? -item : item);
    GameArmies[PlayerArmy].Gold -= price;
    AfterTrade();
    PlayBuildingSound(SoundInvBuy);
    return true;
}

void SellItemToMarket(TGUI_Object* button)
{
    if (button != nullptr)
        SellListCell(button->Tag);
}

void BuyItemFromMarket(TGUI_Object* button)
{
    if (button != nullptr)
        BuyListCell(button->Tag);
}

namespace {

void FilterClick(TInventoryList& list, TGUI_Object* box)
{
    if (box == nullptr)
        return;
    // The boxes carry their category; the list takes a filter code.
    static constexpr uint8_t Codes[BucketCount + 1] = {0, 2, 3, 4, 5, 6, 7, 0, 1};
    if (box->Tag < 1 || box->Tag > BucketCount)
        return;
    list.ShowCategory(Codes[box->Tag]);
    RefreshTradeFlags();
    BuildingArmyItems.LayoutCells(true);
    BuildingMarketItems.LayoutCells(true);
    BindTradeClicks();
}

} // namespace

void ArmyFilterClick(TGUI_Object* box)
{
    FilterClick(BuildingArmyItems, box);
}

void MarketFilterClick(TGUI_Object* box)
{
    FilterClick(BuildingMarketItems, box);
}
