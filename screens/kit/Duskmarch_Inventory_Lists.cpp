// Inventory lists: buckets by category, the sorted and scrolled grid of
// cells, filling from and storing into the world tables, the rating of items
// against a personage.
#include <algorithm>
#include <cmath>

#include "model/personage/Personage.h"
#include "model/personage/Personage_Rules.h"
#include "model/save/BetaLog.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "model/world/Army_Operations.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PartyContext.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_DragItem.h"
#include "screens/kit/Duskmarch_Inventory.h"
#include "screens/kit/Duskmarch_ObjectTags.h"
#include "screens/kit/Duskmarch_PersIcon.h"

TPersonage UsabilityPersonage{};

namespace {

TInventoryList* ListOf(const TGUI_Object* object)
{
    if (object == nullptr)
        return nullptr;
    // Cells and trade buttons carry their cell's tag, the list's own
    // objects and its scroll bar the list's.
    if (auto* cell = static_cast<TInventoryCell*>(ObjectTagTarget(object->Tag, TagKindCell)))
        return cell->List;
    return static_cast<TInventoryList*>(ObjectTagTarget(object->Tag, TagKindList));
}

void SetListSpriteAlpha(int32_t sprite, int32_t alpha)
{
    if (MainRender == nullptr || sprite < 0)
        return;
    if (T3D_Sprite* s = MainRender->Sprite_Get(sprite))
        s->SetAlpha(alpha, -1);
}

bool IsCategoryShown(int32_t category)
{
    return (category >= CategoryWeapons && category <= CategoryHorses) || category == CategoryAll;
}

} // namespace

// ---------------------------------------------------------------------------
// Categories and keys

int32_t GetItemCategory(int32_t item)
{
    const int32_t type = ItemMainType(item);
    if (type < 0)
        return CategoryOther;
    const auto t = static_cast<TItemType>(type);
    if ((type >= 0 && type <= 12) || (type >= 14 && type <= 22) || t == TItemType::Scroll ||
        t == TItemType::SpellBook)
        return CategoryWeapons;
    if (type >= 23 && type <= 26)
        return CategoryArmour;
    if (t == TItemType::Item)
        return CategoryGoods;
    if (t == TItemType::Amulet || t == TItemType::Ring)
        return CategoryTalismans;
    if (t == TItemType::Potion)
        return CategoryPotions;
    if (t == TItemType::Horse || t == TItemType::HorseItem)
        return CategoryHorses;
    return CategoryOther;
}

int32_t FilterCodeCategory(uint8_t code, int32_t current)
{
    static constexpr int32_t categories[8] = {CategoryOther,     CategoryAll,       CategoryWeapons, CategoryArmour,
                                              CategoryGoods,     CategoryTalismans, CategoryPotions, CategoryHorses};
    return code < 8 ? categories[code] : current;
}

int32_t RateItemFor(const TPersonage& personage, int32_t item)
{
    const int32_t index = GetItemIndex(item);
    if (FindItem(index) == nullptr)
        return 0;
    const uint8_t r = GetItemEquipRefusal(personage, index, 0);
    if (r != ieMayEquip && r != ieNotNow)
        return r == ieAlwaysUsed ? 0 : -1;
    return CalcItemGain(personage, index) > 0 ? 1 : 0;
}

int32_t RateItem(int32_t item)
{
    return RateItemFor(UsabilityPersonage, item);
}

int64_t ItemSortKey(int32_t item)
{
    const int32_t k = GetItemIndex(item);
    const TItems* entry = FindItem(k);
    const int64_t cost = entry != nullptr ? entry->Cost : 0;
    const int64_t strength = entry != nullptr ? entry->Strength : 0;
    int64_t c = 0;
    if (SortByUsability != 0)
        c = ((RateItem(k) + 1) * int64_t{1000} + strength) * 10000 + cost;
    else
        c = cost * 1000 + strength;
    return c * 1000 + k;
}

void SortItems(std::vector<int32_t>& items)
{
    // Keys once per item; a stable order among equal keys by position.
    std::vector<std::pair<int64_t, int32_t>> keyed;
    keyed.reserve(items.size());
    for (int32_t item : items)
        keyed.emplace_back(ItemSortKey(item), item);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (size_t i = 0; i < items.size(); i++)
        items[i] = keyed[i].second;
}

void SetFilterBoxes(TInventoryList& list, int32_t category)
{
    for (int32_t i = 0; i < FilterBoxCount; i++)
        if (TGUI_CheckBox* box = list.FilterBoxes[static_cast<size_t>(i)])
            box->Checked = FilterBoxCategories[i] == category ? 1 : 0;
}

// ---------------------------------------------------------------------------
// The list

TInventoryList::~TInventoryList()
{
    ReleaseObjectTag(this);
    Cells.clear();
    delete DropRegion;
    delete BackArea;
}

void TInventoryList::Destroy()
{
    for (auto& cell : Cells)
        cell->Destroy();
    Cells.clear();
    if (Window != nullptr) {
        Window->RemoveObject(DropRegion);
        Window->RemoveObject(BackArea);
    }
    delete DropRegion;
    delete BackArea;
    DropRegion = BackArea = nullptr;
    if (MainRender != nullptr && DropHighlight >= 0)
        MainRender->Sprite_Free(DropHighlight);
    DropHighlight = -1;
    Window = nullptr;
}

int32_t TInventoryList::RowHeight() const
{
    return Kind == ListArmyGoods || Kind == ListShop ? ShopRowHeight : BagRowHeight;
}

TItemBucket* TInventoryList::ShownBucket()
{
    return Category >= 1 && Category <= BucketCount ? &Buckets[static_cast<size_t>(Category)] : nullptr;
}

int32_t TInventoryList::VisibleCells() const
{
    return static_cast<int32_t>(std::nearbyint(static_cast<double>(Height) / RowHeight())) * 4;
}

void TInventoryList::Create(TGUI_GraphicWindow* window, uint8_t kind)
{
    Window = window;
    Shown = 1;
    Kind = kind;
    LinkedList = nullptr;
    ScrollBar = nullptr;
    TradeHandler = nullptr;
    const int32_t tag = ObjectTagFor(this, TagKindList);
    DropRegion = new TGUI_Object(MainRender);
    DropRegion->Visible = 0;
    DropRegion->Enabled = 0;
    DropRegion->DrawnByWindow = 0;
    DropRegion->Tag = tag;
    DropRegion->OnOver = ListDrop;
    BackArea = new TGUI_Object(MainRender);
    BackArea->Visible = 0;
    BackArea->Enabled = 1;
    BackArea->DrawnByWindow = 0;
    BackArea->Tag = tag;
    BackArea->OnOver = ListWheel;
    if (Window != nullptr) {
        Window->AddObject(DropRegion, "il_Region", 0);
        Window->AddObject(BackArea, "il_Back", 0);
        Window->MoveObjectLast(BackArea);
    }
    X = Y = Width = Height = 0;
    AreaSprite = -1;
    DropHighlight = MainRender != nullptr ? CloneSprite(InventorySprites.SelectionList) : -1;
    Cells.clear();
    for (TItemBucket& bucket : Buckets)
        bucket = {};
    FilterCode = 0;
    Category = PreviousCategory = 0;
    ScrollOffset = 0;
}

void TInventoryList::BindScrollBar(const std::string& scrollBarName, const std::string& areaSpriteName)
{
    if (Window == nullptr)
        return;
    ScrollBar = dynamic_cast<TGUI_ScrollBar*>(Window->FindObject(scrollBarName));
    AreaSprite = Window->FindSprite(areaSpriteName);
    if (ScrollBar == nullptr)
        return;
    ScrollBar->Tag = ObjectTagFor(this, TagKindList);
    ScrollBar->Speed = 0.33f;
    ScrollBar->OnOverPressed = ScrollBarMoved;
    ScrollBar->OnOver = ListWheel;
}

void TInventoryList::AddItem(int32_t item)
{
    const int32_t bucket = Category == CategoryAll ? CategoryAll : GetItemCategory(item);
    Buckets[static_cast<size_t>(bucket)].Items.push_back(item);
}

void TInventoryList::RemoveAt(int32_t index, int32_t bucket)
{
    if (bucket < 1 || bucket > BucketCount)
        return;
    std::vector<int32_t>& items = Buckets[static_cast<size_t>(bucket)].Items;
    if (index < 0 || static_cast<size_t>(index) >= items.size())
        return;
    items.erase(items.begin() + index);
}

void TInventoryList::Fill(int32_t owner)
{
    for (TItemBucket& bucket : Buckets)
        bucket.Items.clear();
    if (Kind == ListBag || Kind == ListArmyGoods) {
        if (owner < 0 || static_cast<size_t>(owner) >= ArmyItems.size() ||
            static_cast<size_t>(owner) >= GameArmies.size())
            return;
        const TIntArray& items = ArmyItems[static_cast<size_t>(owner)];
        const int32_t count = std::min<int32_t>(GameArmies[static_cast<size_t>(owner)].ItemCount,
                                                static_cast<int32_t>(items.size()) - 1);
        for (int32_t i = 1; i <= count; i++)
            if (items[static_cast<size_t>(i)] != 0)
                AddItem(items[static_cast<size_t>(i)]);
        return;
    }
    if (owner < 1 || static_cast<size_t>(owner) >= GameBuildings.size())
        return;
    for (int32_t i = 1; i <= ShopItemCapacity; i++)
        if (GameBuildings[static_cast<size_t>(owner)].ShopItems[i] != 0)
            AddItem(GameBuildings[static_cast<size_t>(owner)].ShopItems[i]);
}

void TInventoryList::Store(int32_t owner) const
{
    std::vector<int32_t> entries;
    for (int32_t b = 1; b <= BucketCount; b++)
        for (int32_t item : Buckets[static_cast<size_t>(b)].Items)
            if (item != 0)
                entries.push_back(item < 0 ? -item : item);
    if (Kind == ListBag || Kind == ListArmyGoods) {
        if (owner < 0 || static_cast<size_t>(owner) >= ArmyItems.size() ||
            static_cast<size_t>(owner) >= GameArmies.size())
            return;
        TIntArray& items = ArmyItems[static_cast<size_t>(owner)];
        const int32_t first = items.empty() ? 0 : items[0];
        items.assign(1, first);
        items.insert(items.end(), entries.begin(), entries.end());
        GameArmies[static_cast<size_t>(owner)].ItemCount = static_cast<int32_t>(entries.size());
        return;
    }
    if (owner < 1 || static_cast<size_t>(owner) >= GameBuildings.size())
        return;
    TGameBuilding& building = GameBuildings[static_cast<size_t>(owner)];
    for (int32_t i = 1; i <= ShopItemCapacity; i++)
        building.ShopItems[i] = i <= static_cast<int32_t>(entries.size()) ? entries[static_cast<size_t>(i - 1)] : 0;
}

void TInventoryList::ShowCategory(uint8_t code)
{
    PreviousCategory = Category;
    Category = FilterCodeCategory(code, Category);
    SetFilterBoxes(*this, Category);
    if (Category == PreviousCategory && (Category == 0 || Category == CategoryOther))
        return;
    Rebuild();
    FilterCode = code;
}

void TInventoryList::Rebuild()
{
    if (!IsCategoryShown(Category))
        return;
    if (PreviousCategory == CategoryAll) {
        std::vector<int32_t> all = std::move(Buckets[CategoryAll].Items);
        Buckets[CategoryAll].Items.clear();
        for (int32_t item : all)
            Buckets[static_cast<size_t>(GetItemCategory(item))].Items.push_back(item);
    }
    if (Category == CategoryAll) {
        std::vector<int32_t>& all = Buckets[CategoryAll].Items;
        for (int32_t b = CategoryWeapons; b <= CategoryHorses; b++) {
            std::vector<int32_t>& items = Buckets[static_cast<size_t>(b)].Items;
            for (auto it = items.rbegin(); it != items.rend(); ++it)
                all.push_back(*it);
            items.clear();
        }
    }
    CopySelectedPersonage(UsabilityPersonage);
    TItemBucket& bucket = Buckets[static_cast<size_t>(Category)];
    SortItems(bucket.Items);
    if (ScrollBar != nullptr)
        ScrollBar->SetPosition(bucket.Scroll);
    if (Cells.size() < bucket.Items.size()) {
        const uint8_t cellKind = Kind == ListArmyGoods ? CellShopSell : Kind == ListShop ? CellShopBuy : CellBag;
        Cells.reserve(bucket.Items.size());
        while (Cells.size() < bucket.Items.size()) {
            auto cell = std::make_unique<TInventoryCell>();
            cell->Create(Window, cellKind, 0, 0, this);
            if (Kind == ListBag)
                cell->LinkedList = LinkedList;
            Cells.push_back(std::move(cell));
        }
        for (auto& cell : Cells)
            if (cell->Object != nullptr)
                cell->Object->Tag = ObjectTagFor(cell.get(), TagKindCell);
    }
    for (auto& cell : Cells)
        cell->Item = 0;
    for (size_t i = 0; i < bucket.Items.size(); i++)
        Cells[i]->SetItem(bucket.Items[i]);
    Rate();
}

void TInventoryList::LayoutCells(bool force)
{
    if (!IsCategoryShown(Category))
        return;
    TItemBucket& bucket = Buckets[static_cast<size_t>(Category)];
    const int32_t n = static_cast<int32_t>(bucket.Items.size());
    const int32_t h = RowHeight();
    int32_t d = 0;
    if (int64_t{4} * Height < int64_t{n} * h) {
        if (ScrollBar != nullptr) {
            ScrollBar->Enabled = 1;
            SetListSpriteAlpha(ScrollBar->ArrowA, 255);
            SetListSpriteAlpha(ScrollBar->ArrowB, 255);
            bucket.Scroll = ScrollBar->Position;
        }
        SetListSpriteAlpha(AreaSprite, 255);
        const int32_t rows = (n - VisibleCells() + 3) / 4;
        d = static_cast<int32_t>(std::trunc(static_cast<float>(rows) * bucket.Scroll)) * h;
    } else {
        if (ScrollBar != nullptr) {
            ScrollBar->Enabled = 0;
            SetListSpriteAlpha(ScrollBar->ArrowA, 130);
            SetListSpriteAlpha(ScrollBar->ArrowB, 130);
        }
        SetListSpriteAlpha(AreaSprite, 130);
    }
    if (force || d != ScrollOffset) {
        for (size_t i = 0; i < Cells.size(); i++) {
            TInventoryCell& cell = *Cells[i];
            const int32_t rowHeight = CellKinds[cell.Kind].Height;
            const int32_t index = static_cast<int32_t>(i);
            cell.SetPosition(X + (index % 4) * CellWidth, Y + (index / 4) * rowHeight - d);
            UpdateCellVisibility(index);
            if (TradeHandler != nullptr && cell.TradeButton != nullptr) {
                cell.TradeButton->Tag = index;
                cell.TradeButton->OnClick = TradeHandler;
            }
        }
        if (Window != nullptr && BackArea != nullptr)
            Window->MoveObjectLast(BackArea);
    }
    ScrollOffset = d;
}

void TInventoryList::UpdateCellVisibility(int32_t index)
{
    if (index < 0 || static_cast<size_t>(index) >= Cells.size())
        return;
    TInventoryCell& cell = *Cells[static_cast<size_t>(index)];
    const int32_t top = cell.Y, bottom = cell.Y + BagRowHeight;
    if (top >= Y && bottom <= Y + Height)
        cell.Enable();
    else if (bottom > Y && top < Y + Height)
        cell.Disable();
    else
        cell.Hide();
}

void TInventoryList::Show(int32_t x, int32_t y, int32_t width, int32_t height)
{
    X = x;
    Y = y;
    Width = width;
    Height = height;
    Shown = 1;
    for (TGUI_Object* object : {DropRegion, BackArea}) {
        if (object == nullptr)
            continue;
        object->X = x;
        object->Y = y;
        object->Width = width;
        object->Height = height;
        object->Visible = 0;
    }
    if (DropRegion != nullptr)
        DropRegion->Enabled = 0;
    if (BackArea != nullptr)
        BackArea->Enabled = 1;
    if (MainRender != nullptr)
        if (T3D_Sprite* highlight = MainRender->Sprite_Get(DropHighlight))
            highlight->SetSize(-1, static_cast<float>(width), static_cast<float>(height));
    if (ScrollBar != nullptr)
        ScrollBar->Visible = 1;
    if (FilterCode != 0)
        ShowCategory(FilterCode);
}

void TInventoryList::Hide()
{
    Shown = 0;
    for (TGUI_Object* object : {DropRegion, BackArea, static_cast<TGUI_Object*>(ScrollBar)})
        if (object != nullptr) {
            object->Visible = 0;
            object->Enabled = 0;
        }
    for (auto& cell : Cells)
        cell->Hide();
}

void TInventoryList::Draw()
{
    if (MainRender == nullptr || Window == nullptr)
        return;
    const int32_t scene = Window->DrawScene;
    MainRender->ClipRect_Push(scene, X, Y, X + Width, Y + Height, false);
    for (auto& cell : Cells)
        cell->Draw();
    if (DropRegion != nullptr && DropRegion->Enabled != 0)
        DrawSpriteAt(DropHighlight, DropRegion->X, DropRegion->Y,
                     HoverFadeAlpha(*DropRegion, GetFrameTime(false), 255));
    MainRender->ClipRect_Pop(scene);
}

void TInventoryList::RateFor(const TPersonage& personage)
{
    for (auto& cell : Cells)
        cell->Usability = cell->Item != 0 ? RateItemFor(personage, cell->Item) : 0;
}

void TInventoryList::Rate()
{
    const TItemBucket* bucket = ShownBucket();
    if (bucket == nullptr)
        return;
    for (size_t i = 0; i < bucket->Items.size() && i < Cells.size(); i++)
        Cells[i]->Usability = RateItem(Cells[i]->Item);
}

// ---------------------------------------------------------------------------
// Handlers

void ListWheel(TGUI_Object* object)
{
    TInventoryList* list = ListOf(object);
    if (list == nullptr)
        return;
    int32_t n = 0;
    for (auto& cell : list->Cells)
        n += cell->Item != 0 ? 1 : 0;
    const int32_t v = list->VisibleCells();
    if (list->ScrollBar != nullptr && v < n && GUI_Input.Wheel != 0) {
        const int32_t rows = (n - v + 3) / 4;
        const float step = 1.0f / static_cast<float>(rows);
        float position = list->ScrollBar->Position;
        position = GUI_Input.Wheel > 0 ? std::max(0.0f, position - step) : std::min(1.0f, position + step);
        list->ScrollBar->SetPosition(position);
    }
    list->LayoutCells(false);
}

void ScrollBarMoved(TGUI_Object* bar)
{
    if (TInventoryList* list = ListOf(bar))
        list->LayoutCells(false);
}

void ListDrop(TGUI_Object* region)
{
    TInventoryList* list = ListOf(region);
    if (list == nullptr || DragItem.Active == 0 || DragItem.Kind != DragKindItem)
        return;
    const int32_t item = DragItem.ItemNumber;
    list->AddItem(item);
    BetaLogWriteItem(item, 1);
    list->ShowCategory(list->FilterCode);
    region->Enabled = 0;
    DragItem.Finish(false);
    if (PartyInBuilding()) {
        PartyRefreshTradeFlags();
        list->LayoutCells(true);
    }
}
