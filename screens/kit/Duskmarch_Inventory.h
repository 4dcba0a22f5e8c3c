// Inventory cells and lists. A cell is the square that holds one item: a
// cell of a scrolling list (a bag, the army's goods for sale, a shop), an
// equipment slot of the selected personage or a display-only slot. It draws
// the item, shows its hint and lets the player drag the item to another
// cell or list. A list shows a collection of items as a four-column grid of
// cells filtered by one category at a time and sorted by value.
//
// Threads: main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TGUI_Object;
class TGUI_Button;
class TGUI_Label;
class TGUI_CheckBox;
class TGUI_ScrollBar;
class TGUI_GraphicWindow;
class TGUI_Window;
struct TPersonage;
struct TInventoryList;

// ---------------------------------------------------------------------------
// Cells

enum TCellKind : uint8_t {
    CellBag = 0,
    CellShopSell = 1,
    CellShopBuy = 2,
    CellTrophy = 3,
    CellPersonal = 4,
    CellHandLeft = 5,
    CellHandRight = 6,
    CellBody = 7,
    CellHead = 8,
    CellHorse = 9,
    CellAlterWeapon = 10,
    CellAmulet1 = 11,
    CellAmulet4 = 14,
    CellBelt1 = 15,
    CellBelt2 = 16,
    CellSlot11 = 17,
    CellHorseItem1 = 18,
    CellHorseItem2 = 19,
    CellDisplay57 = 20,
    CellDisplay35 = 21,
    CellKindCount = 22
};

struct TCellKindInfo {
    uint8_t Slot;        // equipment slot, 0 none
    const char* NameKey; // section "Texts"; nullptr no hint, "" an empty name
    int32_t Width;
    int32_t Height;
};
extern const TCellKindInfo CellKinds[CellKindCount];

// Cell flags.
inline constexpr uint8_t CellHovered = 0x01;
inline constexpr uint8_t CellPressed = 0x02;
inline constexpr uint8_t CellRefused = 0x04;

inline constexpr int32_t CellWidth = 96;
inline constexpr int32_t BagRowHeight = 96;
inline constexpr int32_t ShopRowHeight = 144;

// The kit's sprites of the cells and lists, loaded by the start-up loader.
struct TInventorySprites {
    int32_t TradeNormal = -1;
    int32_t TradePressed = -1;
    int32_t TradeHover = -1;
    int32_t TradeDisabled = -1;
    int32_t SlotInventory = -1;
    int32_t SlotInventoryGreen = -1;
    int32_t SlotInventoryRed = -1;
    int32_t SlotShop = -1;
    int32_t SlotShopGreen = -1;
    int32_t SlotShopRed = -1;
    int32_t SlotDefault = -1;
    int32_t SlotCharacter = -1;
    int32_t SlotAmulets = -1;
    int32_t Selection = -1;      // "Invent_Selection", 96 x 96
    int32_t SelectionSmall = -1; // its copy for the amulet and belt cells
    int32_t Locked = -1;         // "Item_Locked"
    int32_t SelectionList = -1;  // "Invent_Selection_List"
};
extern TInventorySprites InventorySprites;
void LoadInventorySprites();

struct TInventoryCell {
    TInventoryCell() = default;
    ~TInventoryCell();
    TInventoryCell(const TInventoryCell&) = delete;
    TInventoryCell& operator=(const TInventoryCell&) = delete;

    TGUI_GraphicWindow* Window = nullptr;
    TInventoryList* List = nullptr;
    TInventoryList* LinkedList = nullptr;
    TGUI_Object* Object = nullptr;
    TGUI_Button* TradeButton = nullptr;
    TGUI_Label* TradeLabel = nullptr;
    uint8_t TradeFlag = 0;
    uint8_t Kind = 0;
    int32_t Item = 0;
    int32_t Price = 0;
    int32_t Icon = -1;
    int32_t Mark = -1;
    uint8_t Shown = 0;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t PressX = 0;
    int32_t PressY = 0;
    uint8_t Flags = 0;
    int32_t CaptionSprite = -1;
    int32_t PriceSprite = -1;
    int32_t Usability = 0;
    bool OwnIcon = false; // the display kinds' own icon sprite

    void Create(TGUI_GraphicWindow* window, uint8_t kind, int32_t x, int32_t y, TInventoryList* list);
    void SetItem(int32_t item);
    void SetPosition(int32_t x, int32_t y);
    void Hide();
    void Enable();
    void Disable();
    void Draw();
    // Takes the cell's objects out of its window and frees them.
    void Destroy();
};

bool IsListCellKind(uint8_t kind);
bool IsShopCellKind(uint8_t kind);
bool IsEquipmentCellKind(uint8_t kind);

void CreateTradeButton(TInventoryCell& cell, uint8_t kind);
// The price of the item for the player's army in the building it stands in.
int32_t GetTradePrice(int32_t item, bool selling);
// The equipment slot of a cell kind; with swap and the camp's take-horse
// box ticked the two weapon cells change places.
uint8_t GetCellEquipSlot(uint8_t kind, bool swap);

// The personage pop-up's window (that screen sets it), nullptr none: empty
// cells hint only beyond its top left corner.
extern TGUI_Window* PersonageInfoWindow;

void ShowCellHint(TGUI_Object* object);
void CellEnter(TGUI_Object* object);
void CellLeave(TGUI_Object* object);
void CellMouseDown(TGUI_Object* object);
void CellDragStart(TGUI_Object* object);
void CellClick(TGUI_Object* object);
void CellDrop(TGUI_Object* object);
void FilterBoxHint(TGUI_Object* box);

// ---------------------------------------------------------------------------
// Lists

enum TListKind : uint8_t {
    ListBag = 0,
    ListArmyGoods = 1,
    ListShop = 2,
};

enum TItemCategory : int32_t {
    CategoryWeapons = 1,
    CategoryArmour = 2,
    CategoryGoods = 3,
    CategoryTalismans = 4,
    CategoryPotions = 5,
    CategoryHorses = 6,
    CategoryOther = 7,
    CategoryAll = 8,
};
inline constexpr int32_t BucketCount = 8;
inline constexpr int32_t FilterBoxCount = 7;
// The categories of a screen's seven filter boxes, in order.
inline constexpr int32_t FilterBoxCategories[FilterBoxCount] = {8, 1, 2, 4, 5, 6, 3};
inline constexpr int32_t ShopItemCapacity = 40;

struct TItemBucket {
    std::vector<int32_t> Items;
    float Scroll = 0;
};

struct TInventoryList {
    TInventoryList() = default;
    ~TInventoryList();
    TInventoryList(const TInventoryList&) = delete;
    TInventoryList& operator=(const TInventoryList&) = delete;

    TGUI_GraphicWindow* Window = nullptr;
    uint8_t Shown = 0;
    uint8_t Kind = ListBag;
    TInventoryList* LinkedList = nullptr;
    TGUI_ScrollBar* ScrollBar = nullptr;
    void (*TradeHandler)(TGUI_Object*) = nullptr;
    TGUI_Object* DropRegion = nullptr;
    TGUI_Object* BackArea = nullptr;
    int32_t AreaSprite = -1;
    int32_t DropHighlight = -1;
    // Cells keep their addresses when the list grows: the objects' tags
    // name them.
    std::vector<std::unique_ptr<TInventoryCell>> Cells;
    std::array<TItemBucket, BucketCount + 1> Buckets; // 1..8
    uint8_t FilterCode = 0;
    int32_t Category = 0;
    int32_t PreviousCategory = 0;
    int32_t ScrollOffset = 0;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    // The screen's filter boxes of this list (categories 8, 1, 2, 4, 5, 6,
    // 3), given when the screen binds them; none by default.
    std::array<TGUI_CheckBox*, FilterBoxCount> FilterBoxes{};

    void Create(TGUI_GraphicWindow* window, uint8_t kind);
    void BindScrollBar(const std::string& scrollBarName, const std::string& areaSpriteName);
    void AddItem(int32_t item);
    void RemoveAt(int32_t index, int32_t bucket);
    void Fill(int32_t owner);
    void Store(int32_t owner) const;
    void ShowCategory(uint8_t code);
    void Rebuild();
    void LayoutCells(bool force);
    void UpdateCellVisibility(int32_t index);
    void Show(int32_t x, int32_t y, int32_t width, int32_t height);
    void Hide();
    void Draw();
    void RateFor(const TPersonage& personage);
    void Rate();
    // Every cell's and the list's own objects out of the window, freed.
    void Destroy();

    int32_t RowHeight() const;
    // The shown bucket, nullptr while none is shown.
    TItemBucket* ShownBucket();
    // The cells that fit into the list's height.
    int32_t VisibleCells() const;
};

int32_t GetItemCategory(int32_t item);
// The category of a filter code; larger codes keep `current`.
int32_t FilterCodeCategory(uint8_t code, int32_t current);
void SetFilterBoxes(TInventoryList& list, int32_t category);
// The sort key of an item: by cost then strength, or with SortByUsability
// usable items first, then strength and cost; equal items by index.
int64_t ItemSortKey(int32_t item);
// Largest key first.
void SortItems(std::vector<int32_t>& items);

void ListWheel(TGUI_Object* object);
void ScrollBarMoved(TGUI_Object* bar);
void ListDrop(TGUI_Object* region);

// -1 unusable, 0 neutral, 1 improves the personage.
int32_t RateItemFor(const TPersonage& personage, int32_t item);
int32_t RateItem(int32_t item);
extern TPersonage UsabilityPersonage;
