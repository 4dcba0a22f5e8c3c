// Inventory cells and the item side of the drag record.
#include "screens/kit/Duskmarch_Inventory.h"

#include <algorithm>

#include "model/Support.h"
#include "model/personage/Personage.h"
#include "model/personage/Personage_Rules.h"
#include "model/save/BetaLog.h"
#include "model/tables/Global.h"
#include "model/world/Prices.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_StateKey.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PartyContext.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_Base_Sound.h"
#include "screens/kit/Duskmarch_DragItem.h"
#include "screens/kit/Duskmarch_ObjectTags.h"
#include "screens/kit/Duskmarch_PersIcon.h"
#include "engine/QX9_Sound.h"

const TCellKindInfo CellKinds[CellKindCount] = {
    {0, "icBaggage", 96, 96},      {0, "icShopSell", 96, 144},   {0, "icShopBuy", 96, 144},
    {0, "icTrophy", 96, 96},       {0, "icDefault", 50, 50},     {2, "icHandLeft", 96, 96},
    {1, "icHandRight", 96, 96},    {4, "icBody", 96, 96},        {3, "icHead", 96, 96},
    {13, "icHorse", 96, 96},       {14, "icAlterWeapon", 96, 96}, {5, "icAmulet", 70, 70},
    {6, "icAmulet", 70, 70},       {7, "icAmulet", 70, 70},      {8, "icAmulet", 70, 70},
    {9, "icBelt", 70, 70},         {10, "icBelt", 70, 70},       {11, nullptr, 96, 96},
    {12, "icHorseItem", 96, 96},   {12, "icHorseItem", 96, 96},  {0, "", 57, 57},
    {0, "", 35, 35},
};

TInventorySprites InventorySprites;
TDragItem DragItem;
TGUI_Window* PersonageInfoWindow = nullptr;

namespace {

constexpr uint32_t CellSamplerField = RSK_FILTER(0);
constexpr uint32_t CellOpaqueBlack = 0xFF000000u;
constexpr uint32_t CellOpaqueRed = 0xFFFF0000u;
constexpr int32_t DragThresholdSquared = 9;

T3D_Sprite* CellSpriteOf(int32_t sprite)
{
    return MainRender != nullptr && sprite >= 0 ? MainRender->Sprite_Get(sprite) : nullptr;
}

int32_t ItemIconSprite(int32_t item)
{
    const TItems* entry = FindItem(item);
    if (entry == nullptr || entry->Image < 1 || entry->Image >= static_cast<int32_t>(ItemIconSprites.size()))
        return -1;
    return ItemIconSprites[static_cast<size_t>(entry->Image)];
}

bool OwnsIconSprite(uint8_t kind)
{
    return kind == CellPersonal || (kind >= CellAmulet1 && kind <= CellBelt2) || kind == CellDisplay57 ||
           kind == CellDisplay35;
}

bool IsDisplayKind(uint8_t kind)
{
    return kind == CellPersonal || kind == CellDisplay57 || kind == CellDisplay35;
}

bool IsSmallSlotKind(uint8_t kind)
{
    return kind >= CellAmulet1 && kind <= CellBelt2;
}

TInventoryCell* CellOf(const TGUI_Object* object)
{
    return object != nullptr ? static_cast<TInventoryCell*>(ObjectTagTarget(object->Tag, TagKindCell)) : nullptr;
}

void PlayCellSound(int32_t sound)
{
    if (sound > 0)
        Sound_Play(sound, true, false);
}

void AttachCellHint(TGUI_Object* owner)
{
    THint& hint = MainHint();
    hint.Attach(HintCloseAwayFromOwner, HintOpenOverOwner, owner, true, -1);
    hint.Clear(HintSmallFrame, 0);
    hint.NewLine();
}

std::u16string CellTextOf(const std::string& key)
{
    if (TextsIni == nullptr)
        return {};
    TextsIni->SelectSection("Texts");
    return GetLocalizedText(*TextsIni, key);
}

void CellHintLine(const std::u16string& text)
{
    THint& hint = MainHint();
    if (TGUI_StringList* list = hint.GetLineList())
        list->AddText(text, HintFont, HintFont, 1, HintTextColour, -1000);
}

// Items the model gave back (displaced by an equip) go to the list, each
// logged; the list is shown again.
void TakeDisplacedItems(TInventoryList* list, const TIntArray& removed)
{
    for (int32_t item : removed) {
        if (item == 0)
            continue;
        if (list != nullptr) {
            list->AddItem(item);
        } else {
            // No list to take it: the army's bag keeps it.
            int32_t army = PlayerArmy, slot = 0;
            if (PartyContext.SelectedPersonage != nullptr)
                PartyContext.SelectedPersonage(army, slot);
            if (IsWorldArmy(army))
                AddArmyItem(army, item);
        }
        BetaLogWriteItem(item, 2);
    }
    if (list != nullptr && !removed.empty())
        list->ShowCategory(list->FilterCode);
}

void SetDropRegions(TInventoryCell& cell, uint8_t enabled)
{
    for (TInventoryList* list : {cell.List, cell.LinkedList})
        if (list != nullptr && list->DropRegion != nullptr)
            list->DropRegion->Enabled = enabled;
}

void PrintPrice(TInventoryCell& cell)
{
    if (MainRender == nullptr || cell.PriceSprite < 0)
        return;
    const int32_t font = PartyFont(27);
    if (font < 0 || font >= static_cast<int32_t>(MainRender->Fonts.size()))
        return;
    MainRender->Fonts[static_cast<size_t>(font)]->PrintText(std::to_string(cell.Price), cell.PriceSprite, -1000,
                                                            CellOpaqueBlack);
}

void DrawPriceAt(const TInventoryCell& cell, int32_t x, int32_t y)
{
    const T3D_Sprite* price = CellSpriteOf(cell.PriceSprite);
    if (price == nullptr)
        return;
    DrawSpriteAt(cell.PriceSprite, x + 78 - static_cast<int32_t>(price->Width), y + 88, -1);
}

} // namespace

// ---------------------------------------------------------------------------
// Kinds

bool IsListCellKind(uint8_t kind)
{
    return kind <= CellShopBuy;
}

bool IsShopCellKind(uint8_t kind)
{
    return kind == CellShopSell || kind == CellShopBuy;
}

bool IsEquipmentCellKind(uint8_t kind)
{
    return kind >= CellHandLeft && kind <= CellHorseItem2;
}

uint8_t GetCellEquipSlot(uint8_t kind, bool swap)
{
    if (!IsEquipmentCellKind(kind))
        return 0;
    if (swap && PartyTakeHorse()) {
        if (kind == CellHandRight)
            return 14;
        if (kind == CellAlterWeapon)
            return 1;
    }
    return CellKinds[kind].Slot;
}

int32_t GetTradePrice(int32_t item, bool selling)
{
    if (PlayerArmy >= static_cast<int32_t>(GameArmies.size()))
        return 0;
    return GetItemTradePrice(selling ? TradeSell : TradeBuy, GetItemIndex(item), PlayerArmy,
                             GameArmies[PlayerArmy].Building);
}

void LoadInventorySprites()
{
    if (MainRender == nullptr)
        return;
    const std::string common = WindowsFolder + "Common\\";
    const std::string inventory = WindowsFolder + "Inventory\\";
    const std::string building = WindowsFolder + "Building\\";
    const std::string kit = InterfaceFolder + "Common\\";
    TInventorySprites& s = InventorySprites;
    s.TradeNormal = LoadSprite(common + "button_trade_inactive", 0);
    s.TradePressed = LoadSprite(common + "button_trade_click", 0);
    s.TradeHover = LoadSprite(common + "button_trade_active", 0);
    s.TradeDisabled = LoadSprite(common + "button_trade_disabled", 0);
    s.SlotInventory = LoadSprite(inventory + "slot_inventory", 0);
    s.SlotInventoryGreen = LoadSprite(inventory + "slot_inventory_green", 0);
    s.SlotInventoryRed = LoadSprite(inventory + "slot_inventory_red", 0);
    s.SlotShop = LoadSprite(building + "slot_shop_inactive", 0);
    s.SlotShopGreen = LoadSprite(building + "slot_shop_inactive_green", 0);
    s.SlotShopRed = LoadSprite(building + "slot_shop_inactive_red", 0);
    s.SlotDefault = LoadSprite(inventory + "slot_default", 0);
    s.SlotCharacter = LoadSprite(inventory + "slot_character", 0);
    s.SlotAmulets = LoadSprite(inventory + "slot_amulets", 0);
    s.Selection = LoadSprite(kit + "Invent_Selection", 0);
    s.SelectionSmall = CloneSprite(s.Selection);
    if (T3D_Sprite* small = CellSpriteOf(s.SelectionSmall))
        small->SetSize(-1, 67, 67);
    s.Locked = LoadSprite(kit + "Item_Locked", 0);
    s.SelectionList = LoadSprite(kit + "Invent_Selection_List", 0);
}

// ---------------------------------------------------------------------------
// The cell

TInventoryCell::~TInventoryCell()
{
    ReleaseObjectTag(this);
    delete Object;
    delete TradeButton;
    delete TradeLabel;
}

void TInventoryCell::Destroy()
{
    if (Window != nullptr)
        for (TGUI_Object* object : {Object, static_cast<TGUI_Object*>(TradeButton),
                                    static_cast<TGUI_Object*>(TradeLabel)})
            if (object != nullptr)
                Window->RemoveObject(object);
    if (MainRender != nullptr)
        for (int32_t* sprite : {&CaptionSprite, &PriceSprite})
            if (*sprite >= 0) {
                MainRender->Sprite_Free(*sprite);
                *sprite = -1;
            }
    if (OwnIcon && Icon >= 0 && MainRender != nullptr)
        MainRender->Sprite_Free(Icon);
    Icon = -1;
    delete Object;
    delete TradeButton;
    delete TradeLabel;
    Object = nullptr;
    TradeButton = nullptr;
    TradeLabel = nullptr;
    Window = nullptr;
}

void TInventoryCell::Create(TGUI_GraphicWindow* window, uint8_t kind, int32_t x, int32_t y, TInventoryList* list)
{
    Window = window;
    List = list;
    Kind = kind < CellKindCount ? kind : static_cast<uint8_t>(CellDisplay35);
    Item = 0;
    Mark = -1;
    Usability = 0;
    Flags = 0;
    Shown = 0;
    X = x;
    Y = y;
    if (MainRender != nullptr) {
        CreateInterfaceSprite(CaptionSprite);
        CreateInterfaceSprite(PriceSprite);
    }
    OwnIcon = OwnsIconSprite(Kind) && MainRender != nullptr;
    Icon = OwnIcon ? NewInterfaceSprite() : -1;

    Object = new TGUI_Object(MainRender);
    Object->X = x;
    Object->Y = y;
    Object->Width = CellKinds[Kind].Width;
    Object->Height = CellKinds[Kind].Height;
    Object->Tag = ObjectTagFor(this, TagKindCell);
    if (IsDisplayKind(Kind)) {
        Object->OnEnter = ShowCellHint;
    } else {
        Object->OnEnter = CellEnter;
        Object->OnLeave = CellLeave;
        Object->OnMouseDown = CellMouseDown;
        Object->OnClick = CellClick;
        Object->OnOverPressed = CellDragStart;
        Object->OnOver = CellDrop;
    }
    if (IsShopCellKind(Kind))
        CreateTradeButton(*this, Kind);
    if (Window != nullptr)
        Window->AddObject(Object, "ic_obj_Region", 0);
}

void CreateTradeButton(TInventoryCell& cell, uint8_t kind)
{
    auto* button = new TGUI_Button(MainRender);
    button->Normal = InventorySprites.TradeNormal;
    button->Pressed = InventorySprites.TradePressed;
    button->Hover = InventorySprites.TradeHover;
    button->Disabled = InventorySprites.TradeDisabled;
    button->Current = button->Normal;
    if (const T3D_Sprite* normal = CellSpriteOf(button->Normal)) {
        button->Width = static_cast<int32_t>(normal->Width);
        button->Height = static_cast<int32_t>(normal->Height);
    }
    button->Visible = 0;
    button->Enabled = 0;
    button->DrawnByWindow = 0;
    button->OnOver = ListWheel;
    button->Tag = cell.Object != nullptr ? cell.Object->Tag : ObjectTagFor(&cell, TagKindCell);

    auto* label = new TGUI_Label(MainRender);
    label->Width = 100;
    label->Height = 30;
    label->SetFont(PartyFont(20));
    label->SetBlending(2);
    label->SetColor(CellOpaqueBlack);
    label->Align = 2;
    label->SetText(CellTextOf(kind == CellShopSell ? "icSell" : "icBuy"));
    label->Visible = 1;
    label->Enabled = 0;
    label->DrawnByWindow = 0;

    cell.TradeButton = button;
    cell.TradeLabel = label;
    if (cell.Window != nullptr) {
        cell.Window->AddObject(button, "ic_Btn_Trade", 0);
        cell.Window->AddObject(label, "ic_Lbl_Trade", 0);
    }
}

void TInventoryCell::SetItem(int32_t item)
{
    Item = item;
    const int32_t source = item != 0 ? ItemIconSprite(item) : -1;
    if (OwnIcon) {
        T3D_Sprite* own = CellSpriteOf(Icon);
        const T3D_Sprite* from = CellSpriteOf(source);
        if (own != nullptr && from != nullptr && Object != nullptr) {
            own->SetTexture(from->Texture, 0);
            own->SetSize(-1, static_cast<float>(Object->Width - 2), static_cast<float>(Object->Height - 2));
            own->SetRenderState(CellSamplerField, 2);
        }
    } else {
        Icon = source;
    }
    Mark = -1;
    if (Kind == CellBag) {
        const TItems* entry = FindItem(item);
        Price = entry != nullptr ? entry->Cost : 0;
    } else if (Kind == CellShopSell) {
        Price = GetTradePrice(item, true);
    } else if (Kind == CellShopBuy) {
        Price = GetTradePrice(item, false);
    }
    if (IsShopCellKind(Kind))
        PrintPrice(*this);
}

void TInventoryCell::SetPosition(int32_t x, int32_t y)
{
    Shown = 1;
    if (Kind > CellShopBuy && Object != nullptr)
        Object->Enabled = 1;
    if ((x != 0 || y != 0) && IsShopCellKind(Kind)) {
        if (TradeButton == nullptr)
            CreateTradeButton(*this, Kind);
        if (Window != nullptr)
            Window->MoveObjectLast(TradeButton);
        const bool sellable = Price >= 1 && Item != 0;
        TradeButton->Visible = sellable ? 1 : 0;
        TradeButton->Enabled = sellable ? 1 : 0;
        TradeButton->X = x;
        TradeButton->Y = y + ShopRowHeight - TradeButton->Height;
        if (TradeLabel != nullptr) {
            TradeLabel->X = TradeButton->X + 50;
            TradeLabel->Y = TradeButton->Y + 2;
        }
    }
    X = x;
    Y = y;
    if (Object != nullptr) {
        Object->X = x;
        Object->Y = y;
    }
}

void TInventoryCell::Hide()
{
    Shown = 0;
    Disable();
}

void TInventoryCell::Enable()
{
    if (Object != nullptr)
        Object->Enabled = 1;
    if (IsShopCellKind(Kind) && Item != 0 && TradeButton != nullptr)
        TradeButton->Enabled = Price >= 1 && TradeFlag != 0 ? 1 : 0;
}

void TInventoryCell::Disable()
{
    if (Object != nullptr)
        Object->Enabled = 0;
    if (TradeButton != nullptr)
        TradeButton->Enabled = 0;
}

void TInventoryCell::Draw()
{
    if (Object == nullptr)
        return;
    const int32_t x = Object->X, y = Object->Y;
    const int32_t now = GetFrameTime(false);
    const TInventorySprites& s = InventorySprites;
    if (Kind > CellShopBuy) {
        if (Item != 0 && Shown != 0) {
            int32_t background = -1, offset = 2;
            if (Kind == CellPersonal) {
                background = s.SlotDefault;
                offset = 1;
            } else if ((Kind >= CellHandLeft && Kind <= CellAlterWeapon) || Kind == CellHorseItem2) {
                background = s.SlotCharacter;
            } else if (IsSmallSlotKind(Kind)) {
                background = s.SlotAmulets;
            }
            if (background >= 0)
                DrawSpriteAt(background, x, y, -1);
            if (Icon >= 0)
                DrawSpriteAt(Icon, x + offset, y + offset, -1);
        }
        if (Shown != 0 && Kind != CellPersonal && (Flags & CellHovered) != 0) {
            const int32_t alpha = HoverFadeAlpha(*Object, now, 255);
            if ((Flags & CellRefused) != 0) {
                if (T3D_Sprite* locked = CellSpriteOf(s.Locked)) {
                    const float side = IsSmallSlotKind(Kind) ? 67.0f : 91.0f;
                    locked->SetSize(-1, side, side);
                }
                DrawSpriteAt(s.Locked, x, y, alpha);
            } else {
                DrawSpriteAt(IsSmallSlotKind(Kind) ? s.SelectionSmall : s.Selection, x, y, alpha);
            }
        }
        return;
    }
    if (Item == 0)
        return;
    const bool bag = Kind == CellBag;
    int32_t background = bag ? s.SlotInventory : s.SlotShop;
    if (Usability == -1)
        background = bag ? s.SlotInventoryRed : s.SlotShopRed;
    else if (Usability == 1)
        background = bag ? s.SlotInventoryGreen : s.SlotShopGreen;
    if (background >= 0)
        DrawSpriteAt(background, x, y, -1);
    if (Icon >= 0)
        DrawSpriteAt(Icon, x + 2, y + 2, -1);
    DrawSpriteAt(CaptionSprite, x, y, -1);
    if (!bag && Price > 0) {
        DrawPriceAt(*this, x, y);
        if (TradeButton != nullptr && TradeButton->Visible != 0)
            TradeButton->Draw(Window != nullptr ? Window->DrawScene : 0);
        if (TradeLabel != nullptr && TradeButton != nullptr && TradeButton->Visible != 0) {
            TradeLabel->SetColor(TradeFlag != 0 ? CellOpaqueBlack : CellOpaqueRed);
            TradeLabel->Draw(Window != nullptr ? Window->DrawScene : 0);
        }
    }
    if (Mark >= 0)
        DrawSpriteAt(Mark, x + 98, y + 2, 180);
    if ((Flags & CellHovered) != 0)
        DrawSpriteAt(s.Selection, x, y, HoverFadeAlpha(*Object, now, 255));
}

// ---------------------------------------------------------------------------
// Hints and mouse handlers

void ShowCellHint(TGUI_Object* object)
{
    TInventoryCell* cell = CellOf(object);
    if (cell == nullptr || cell->Shown == 0)
        return;
    if (cell->Item != 0) {
        AttachCellHint(object);
        if (cell->Kind == CellPersonal) {
            CellHintLine(CellTextOf("icPersonalItem"));
            AddHintDivider();
        }
        ShowItemHint(GetItemIndex(cell->Item));
        const uint8_t k = cell->Kind;
        if (k == CellBag || (k >= CellPersonal && k <= CellBelt2) || k >= CellHorseItem2) {
            const TItems* entry = FindItem(cell->Item);
            MainHint().NewLine();
            const std::string digits = std::to_string(entry != nullptr ? entry->Cost : 0);
            CellHintLine(ReplaceAll(CellTextOf("BA_Cost"), u"%%", std::u16string(digits.begin(), digits.end())));
        }
        MainHint().Layout();
        return;
    }
    const char* key = CellKinds[cell->Kind].NameKey;
    if (key == nullptr)
        return;
    // An empty cell hints only beyond the corner of the personage pop-up's
    // window (the origin while there is none).
    const int32_t left = PersonageInfoWindow != nullptr ? PersonageInfoWindow->X : 0;
    const int32_t top = PersonageInfoWindow != nullptr ? PersonageInfoWindow->Y : 0;
    if (object->X <= left + 1 || object->Y <= top + 1)
        return;
    std::u16string name = *key != 0 ? CellTextOf(key) : std::u16string();
    if (cell->Kind == CellHandRight && PartyTakeHorse())
        name = CellTextOf("icAlterWeapon");
    else if (cell->Kind == CellAlterWeapon && PartyTakeHorse())
        name = CellTextOf("icHandRight");
    AttachCellHint(object);
    CellHintLine(name + u" " + CellTextOf("sNoItem"));
    MainHint().Layout();
}

void CellEnter(TGUI_Object* object)
{
    TInventoryCell* cell = CellOf(object);
    if (cell == nullptr)
        return;
    if (DragItem.Active != 0 && DragItem.Kind == DragKindItem) {
        cell->Flags |= CellHovered;
        if (!IsEquipmentCellKind(cell->Kind))
            return;
        const TPersonage* personage = PartySelectedPersonage();
        const uint8_t slot = GetCellEquipSlot(cell->Kind, !PartyInBuilding());
        const uint8_t refusal =
            personage != nullptr ? GetItemEquipRefusal(*personage, GetItemIndex(DragItem.ItemNumber), slot) : static_cast<uint8_t>(ieNotUsed);
        if (refusal != ieMayEquip) {
            cell->Flags |= CellRefused;
            ShowHintTextAt(GetEquipRefusalText(refusal), object);
        } else {
            ShowCellHint(object);
        }
        return;
    }
    if (cell->Item != 0)
        cell->Flags |= CellHovered;
    ShowCellHint(object);
}

void CellLeave(TGUI_Object* object)
{
    if (TInventoryCell* cell = CellOf(object))
        cell->Flags = 0;
}

void CellMouseDown(TGUI_Object* object)
{
    TInventoryCell* cell = CellOf(object);
    if (cell == nullptr || cell->Kind == CellShopBuy || cell->Item == 0)
        return;
    cell->PressX = GUI_Input.VirtualX;
    cell->PressY = GUI_Input.VirtualY;
    cell->Flags |= CellPressed;
}

void CellDragStart(TGUI_Object* object)
{
    TInventoryCell* cell = CellOf(object);
    if (cell == nullptr || cell->Kind == CellShopBuy || cell->Item == 0 || DragItem.Active != 0 ||
        (cell->Flags & CellPressed) == 0 || (cell->Flags & CellRefused) != 0)
        return;
    const int64_t dx = GUI_Input.VirtualX - cell->PressX, dy = GUI_Input.VirtualY - cell->PressY;
    if (dx * dx + dy * dy < DragThresholdSquared)
        return;

    DragItem.StartItem(cell);
    if (IsListCellKind(cell->Kind)) {
        DragItem.GrabX = 48;
        DragItem.GrabY = 48;
    } else {
        DragItem.GrabX = GUI_Input.VirtualX - cell->Object->X;
        DragItem.GrabY = GUI_Input.VirtualY - cell->Object->Y;
    }

    if (IsListCellKind(cell->Kind) && cell->List != nullptr) {
        TInventoryList& list = *cell->List;
        for (size_t i = 0; i < list.Cells.size(); i++)
            if (list.Cells[i].get() == cell) {
                list.RemoveAt(static_cast<int32_t>(i), list.Category);
                break;
            }
        list.ShowCategory(list.FilterCode);
    } else if (IsEquipmentCellKind(cell->Kind)) {
        if (TPersonage* personage = PartySelectedPersonage()) {
            TIntArray removed;
            RestoreDefaultItem(*personage, GetCellEquipSlot(cell->Kind, false), removed);
            PlayCellSound(SoundInvItemRemove);
            TakeDisplacedItems(cell->LinkedList, removed);
            if (!PartyInBuilding())
                PartyRefreshTentPersonageModel(PartySelectedSlot(), 0, true);
        }
        cell->Item = 0;
    }
    SetDropRegions(*cell, 1);
}

void CellClick(TGUI_Object* object)
{
    TInventoryCell* cell = CellOf(object);
    if (cell == nullptr || cell->Kind == CellShopBuy)
        return;
    SetDropRegions(*cell, 0);
    if (DragItem.Active == 0 || DragItem.Kind != DragKindItem)
        return;
    // Nothing else took the item: it goes back where it came from (the
    // drag's cancel re-equips an equipment cell's item).
    TInventoryCell* source = DragItem.SourceCell;
    DragItem.Finish(true);
    if (source != nullptr && IsListCellKind(source->Kind) && source->List != nullptr)
        source->List->ShowCategory(source->List->FilterCode);
    else if (source != nullptr && IsEquipmentCellKind(source->Kind))
        PartyEquipmentChanged(source->Item);
}

void CellDrop(TGUI_Object* object)
{
    TInventoryCell* cell = CellOf(object);
    if (cell == nullptr)
        return;
    if (IsListCellKind(cell->Kind)) {
        if (GUI_Input.Wheel != 0)
            ListWheel(object);
        return;
    }
    if (DragItem.Active == 0 || DragItem.Kind != DragKindItem)
        return;
    if ((cell->Flags & CellRefused) != 0) {
        cell->Flags &= static_cast<uint8_t>(~CellRefused);
        if (object->OnEnter != nullptr)
            object->OnEnter(object);
        return;
    }
    TPersonage* personage = PartySelectedPersonage();
    const uint8_t slot = GetCellEquipSlot(cell->Kind, false);
    if (personage == nullptr || slot == 0)
        return;
    const int32_t item = DragItem.ItemNumber;
    TIntArray removed;
    EquipItem(*personage, item, slot, removed, 1.0f);
    PlayCellSound(SoundInvItemEquip);
    BetaLogWriteItem(item, 0);
    TakeDisplacedItems(cell->LinkedList, removed);
    PartyEquipmentChanged(item);
    TInventoryCell* source = DragItem.SourceCell;
    DragItem.Finish(false);
    if (source != nullptr && source->List != nullptr && source->List->DropRegion != nullptr)
        source->List->DropRegion->Enabled = 0;
    if (cell->LinkedList != nullptr && cell->LinkedList->DropRegion != nullptr)
        cell->LinkedList->DropRegion->Visible = 0;
    if (object->OnEnter != nullptr)
        object->OnEnter(object);
}

void FilterBoxHint(TGUI_Object* box)
{
    if (box == nullptr || TextsIni == nullptr)
        return;
    const int32_t tag = box->Tag;
    if ((tag < 1 || tag > 6) && tag != 8)
        return;
    TextsIni->SelectSection("Hints");
    const std::u16string text = GetLocalizedText(*TextsIni, "InventoryButtonHint" + std::to_string(tag));
    if (text.size() <= 1)
        return;
    ShowHintTextAt(text, box);
}

// ---------------------------------------------------------------------------
// The drag record, item side

void TDragItem::Init()
{
    *this = TDragItem();
}

void TDragItem::StartItem(TInventoryCell* cell)
{
    if (cell == nullptr)
        return;
    Active = 1;
    Kind = DragKindItem;
    ItemNumber = cell->Item;
    ItemSprite = ItemIconSprite(cell->Item);
    if (ItemSprite < 0)
        ItemSprite = cell->Icon;
    SourceCell = cell;
    PersonageCopy = nullptr;
}

void TDragItem::Finish(bool restore)
{
    if (Kind == DragKindPersonage)
        FinishPersonage(restore);
    if (restore && Kind == DragKindItem && SourceCell != nullptr && ItemNumber != 0) {
        TInventoryCell& cell = *SourceCell;
        if (cell.List != nullptr) {
            cell.List->AddItem(ItemNumber);
        } else if (IsEquipmentCellKind(cell.Kind)) {
            // RestoreDefaultItem took it off the personage already: put it
            // back on, or into the bag when that is refused.
            TPersonage* personage = PartySelectedPersonage();
            const uint8_t slot = GetCellEquipSlot(cell.Kind, false);
            const int32_t index = GetItemIndex(ItemNumber);
            if (personage != nullptr && GetItemEquipRefusal(*personage, index, slot) == ieMayEquip) {
                TIntArray removed;
                EquipItem(*personage, ItemNumber, slot, removed, 1.0f);
                TakeDisplacedItems(cell.LinkedList, removed);
                cell.Item = ItemNumber;
            } else {
                TakeDisplacedItems(cell.LinkedList, TIntArray{ItemNumber});
            }
        } else {
            cell.SetItem(ItemNumber);
        }
    }
    Active = 0;
    Kind = DragNone;
    ItemNumber = 0;
    ItemSprite = -1;
    SourceCell = nullptr;
    SourcePanelKind = 0;
    SourceArmy = 0;
    SourceSlot = 0;
    SourceIcon = nullptr;
    DragIcon = nullptr;
    PersonageCopy = nullptr;
}

void TDragItem::Draw()
{
    if (Active == 0)
        return;
    if (Kind == DragKindItem && ItemSprite >= 0)
        DrawSpriteAt(ItemSprite, GUI_Input.VirtualX - GrabX, GUI_Input.VirtualY - GrabY, 255);
    else if (Kind == DragKindPersonage && DragIcon != nullptr)
        DragIcon->Draw(GUI_Input.VirtualX - GrabX, GUI_Input.VirtualY - GrabY);
}

bool IsDragActive()
{
    return DragItem.Active != 0;
}
