// Inventory cells and lists on the recording renderer with small rule
// tables: equipment slots by kind, the drag threshold, an equipment cell's
// drag to its own cell, to a refusing cell and its cancel, hints of empty
// cells, the trade button of a free item, sort keys, bucket moves, the
// wheel, visibility at the list's edges and the round trip to the tables.
#include "screens/kit/Duskmarch_Inventory.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_StringList.h"
#include "screens/kit/Duskmarch_Base.h"
#include "tests/screens/kit/PartyTestSupport.h"

namespace {

class InventoryTest : public TPartyKitTest {
protected:
    void SetUp() override
    {
        TPartyKitTest::SetUp();
        Bag.Create(Window, ListBag);
        Bar = new TGUI_ScrollBar(Render.get());
        Window->AddObject(Bar, "sb_Bar", 0);
        Bag.BindScrollBar("sb_Bar", "s_SBBody");
        GUI_Input.Wheel = 0;
    }
    void TearDown() override
    {
        for (TInventoryCell* cell : Equipment) {
            cell->Destroy();
            delete cell;
        }
        Bag.Destroy();
        Window->RemoveObject(Bar);
        delete Bar;
        SortByUsability = 0;
        GUI_Input.Wheel = 0;
        TPartyKitTest::TearDown();
    }

    TInventoryCell& EquipmentCell(uint8_t kind, int32_t x, int32_t y)
    {
        auto* cell = new TInventoryCell();
        cell->Create(Window, kind, x, y, nullptr);
        cell->LinkedList = &Bag;
        cell->SetPosition(x, y);
        Equipment.push_back(cell);
        return *cell;
    }

    void MouseAt(int32_t x, int32_t y)
    {
        GUI_Input.VirtualX = x;
        GUI_Input.VirtualY = y;
    }

    int32_t BagCount(int32_t item)
    {
        int32_t n = 0;
        for (const TItemBucket& bucket : Bag.Buckets)
            n += static_cast<int32_t>(std::count(bucket.Items.begin(), bucket.Items.end(), item));
        return n;
    }

    std::string HintText()
    {
        std::string text;
        for (const THintLine& line : MainHint().Lines)
            if (line.List != nullptr)
                for (int32_t i = 0; i < line.List->Count; i++) {
                    const std::u16string& t = line.List->Texts[static_cast<size_t>(i)];
                    text += std::string(t.begin(), t.end()) + "|";
                }
        return text;
    }

    // A swordsman with his sword in the right hand and its cell.
    TInventoryCell& ArmedRightHand()
    {
        TIntArray removed;
        EquipItem(*Hero, Sword, 1, removed, 1.0f);
        EXPECT_EQ(Hero->Equipment[1], Sword);
        TInventoryCell& cell = EquipmentCell(CellHandRight, 500, 100);
        cell.SetItem(Hero->Equipment[1]);
        return cell;
    }

    void Grab(TInventoryCell& cell, int32_t moveBy)
    {
        MouseAt(cell.X + 40, cell.Y + 40);
        CellMouseDown(cell.Object);
        MouseAt(cell.X + 40 + moveBy, cell.Y + 40);
        CellDragStart(cell.Object);
    }

    TInventoryList Bag;
    TGUI_ScrollBar* Bar = nullptr;
    std::vector<TInventoryCell*> Equipment;
};

TEST_F(InventoryTest, EquipmentSlotsOfTheCellKinds)
{
    const uint8_t slots[CellKindCount] = {0, 0, 0, 0, 0, 2, 1, 4, 3, 13, 14, 5, 6, 7, 8, 9, 10, 11, 12, 12, 0, 0};
    for (uint8_t kind = 0; kind < CellKindCount; kind++) {
        EXPECT_EQ(GetCellEquipSlot(kind, false), slots[kind]) << int(kind);
        EXPECT_EQ(GetCellEquipSlot(kind, true), slots[kind]) << int(kind) << " box not ticked";
    }
    TakeHorseFlag = true;
    EXPECT_EQ(GetCellEquipSlot(CellHandRight, true), 14);
    EXPECT_EQ(GetCellEquipSlot(CellAlterWeapon, true), 1);
    EXPECT_EQ(GetCellEquipSlot(CellHandRight, false), 1);
    EXPECT_EQ(GetCellEquipSlot(CellAlterWeapon, false), 14);
    EXPECT_EQ(GetCellEquipSlot(CellHandLeft, true), 2);
    EXPECT_EQ(GetCellEquipSlot(CellKindCount, true), 0);
}

TEST_F(InventoryTest, ADragStartsAtThreePixels)
{
    TInventoryCell& cell = ArmedRightHand();
    Grab(cell, 2);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(Hero->Equipment[1], Sword);
    MouseAt(cell.X + 43, cell.Y + 40);
    CellDragStart(cell.Object);
    EXPECT_EQ(DragItem.Active, 1);
    EXPECT_EQ(DragItem.ItemNumber, Sword);
    EXPECT_EQ(DragItem.SourceCell, &cell);
    EXPECT_EQ(DragItem.GrabX, 43);
    EXPECT_EQ(DragItem.GrabY, 40);
    EXPECT_NE(Hero->Equipment[1], Sword);
    EXPECT_EQ(cell.Item, 0);
}

TEST_F(InventoryTest, ReleasingOnTheSameCellReequips)
{
    TInventoryCell& cell = ArmedRightHand();
    Grab(cell, 5);
    ASSERT_EQ(DragItem.Active, 1);
    CellClick(cell.Object);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(Hero->Equipment[1], Sword);
    EXPECT_EQ(BagCount(Sword), 0);
    EXPECT_GE(Redressed, 1);
}

TEST_F(InventoryTest, ARefusingSlotShowsWhyAndEquipsNothing)
{
    TInventoryCell& hand = ArmedRightHand();
    TInventoryCell& head = EquipmentCell(CellHead, 600, 100);
    Grab(hand, 5);
    ASSERT_EQ(DragItem.Active, 1);
    CellEnter(head.Object);
    EXPECT_EQ(head.Flags & CellRefused, CellRefused);
    EXPECT_EQ(MainHint().Owner, head.Object);
    EXPECT_FALSE(HintText().empty());
    // The release over it equips nothing; the hint is shown again (and
    // still refuses).
    CellDrop(head.Object);
    EXPECT_EQ(head.Flags & CellRefused, CellRefused);
    EXPECT_NE(Hero->Equipment[3], Sword);
    EXPECT_EQ(DragItem.Active, 1) << "the drag goes on";
    // Released elsewhere: the source cell's click puts it back.
    CellClick(hand.Object);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(Hero->Equipment[1], Sword);
    EXPECT_EQ(BagCount(Sword), 0);
}

TEST_F(InventoryTest, ACancelThatCannotReequipPutsTheItemInTheBagOnce)
{
    TInventoryCell& hand = ArmedRightHand();
    Grab(hand, 5);
    ASSERT_EQ(DragItem.Active, 1);
    // The personage can no longer wield it (his class changed meanwhile).
    Hero->Weapon[1] = static_cast<uint8_t>(TWeaponClass::Axe);
    ASSERT_NE(GetItemEquipRefusal(*Hero, Sword, 1), ieMayEquip);
    CellClick(hand.Object);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_NE(Hero->Equipment[1], Sword);
    EXPECT_EQ(BagCount(Sword), 1);
    EXPECT_EQ(hand.Item, 0) << "never into the display cell alone";

    // A screen closing mid-drag ends it the same way.
    TInventoryCell& head = EquipmentCell(CellHead, 600, 100);
    TIntArray removed;
    Hero->Weapon[1] = static_cast<uint8_t>(TWeaponClass::Sword);
    EquipItem(*Hero, Sword, 1, removed, 1.0f);
    hand.SetItem(Sword);
    Bag.Buckets[CategoryWeapons].Items.clear();
    Grab(hand, 5);
    ASSERT_EQ(DragItem.Active, 1);
    DragItem.Finish(true);
    EXPECT_EQ((Hero->Equipment[1] == Sword ? 1 : 0) + BagCount(Sword), 1);
    (void)head;
}

TEST_F(InventoryTest, EmptyCellHints)
{
    TInventoryCell& left = EquipmentCell(CellHandLeft, 300, 300);
    CellEnter(left.Object);
    EXPECT_EQ(MainHint().Owner, left.Object);
    EXPECT_EQ(HintText(), "Left hand (empty)|");
    EXPECT_EQ(left.Flags, 0) << "nothing to highlight";

    MainHint().Close();
    MainHint().Reset();
    TInventoryCell& slot11 = EquipmentCell(CellSlot11, 400, 300);
    CellEnter(slot11.Object);
    EXPECT_NE(MainHint().Owner, slot11.Object);
}

TEST_F(InventoryTest, CellHoverFadeAndAFreeItemsTradeButton)
{
    TInventoryCell& hand = ArmedRightHand();
    hand.Flags = CellHovered;
    hand.Object->EnterTime = Now - 60;
    hand.Draw();
    EXPECT_EQ(Of(Drawn(), InventorySprites.Selection),
              (std::vector<TDrawn>{{InventorySprites.Selection, hand.X, hand.Y, 127}}));
    hand.Object->EnterTime = -1;
    hand.Object->LeaveTime = Now - 60;
    hand.Draw();
    EXPECT_EQ(Of(Drawn(), InventorySprites.Selection).at(0).Alpha, 128);

    TInventoryCell& shop = EquipmentCell(CellShopSell, 100, 100);
    shop.SetItem(Sword);
    EXPECT_EQ(shop.Price, 0) << "no building, no price";
    shop.SetPosition(100, 100);
    ASSERT_NE(shop.TradeButton, nullptr);
    EXPECT_EQ(shop.TradeButton->Visible, 0);
    EXPECT_EQ(shop.TradeButton->Enabled, 0);
}

TEST_F(InventoryTest, SortKeysAre64Bit)
{
    while (ItemCount < 5)
        AddItem(TItemType::Item);
    ItemTable[5] = TItems{};
    ItemTable[5].MainType = static_cast<uint8_t>(TItemType::Sword);
    ItemTable[5].EquipmentType = 1;
    ItemTable[5].Cost = 100;
    ItemTable[5].Strength = 20;
    ItemTable[5].Abs[statAttackBlow] = 30;
    EXPECT_EQ(ItemSortKey(5), 100'020'005);

    SortByUsability = 1;
    TIntArray removed;
    RestoreDefaultItem(*Hero, 1, removed);
    UsabilityPersonage = *Hero;
    ASSERT_EQ(RateItem(5), 1);
    EXPECT_EQ(ItemSortKey(5), int64_t{20'200'100'005});

    // An item he cannot use goes after everything usable or neutral.
    ItemTable[Axe].Cost = 100000;
    ASSERT_EQ(RateItem(Axe), -1);
    std::vector<int32_t> items = {Axe, Potion, 5};
    SortItems(items);
    EXPECT_EQ(items.back(), Axe);
    SortByUsability = 0;
    items = {Potion, Axe, 5, Axe};
    SortItems(items);
    EXPECT_EQ(items, (std::vector<int32_t>{Axe, Axe, 5, Potion})) << "dearer first, copies together";
}

TEST_F(InventoryTest, AllBackToWeaponsKeepsTheOrder)
{
    const int32_t Bow = AddItem(TItemType::Bow);
    const int32_t Helm = AddItem(TItemType::Helm);
    ItemTable[Bow].Cost = 50;
    ItemTable[Helm].Cost = 60;
    for (int32_t item : {Sword, Helm, Bow, Potion, Axe})
        Bag.AddItem(item);
    Bag.Show(0, 0, 384, 384);
    Bag.ShowCategory(1);
    EXPECT_EQ(Bag.Category, CategoryAll);
    EXPECT_EQ(Bag.Buckets[CategoryAll].Items, (std::vector<int32_t>{Sword, Axe, Helm, Bow, Potion}));
    Bag.ShowCategory(2);
    EXPECT_EQ(Bag.Category, CategoryWeapons);
    EXPECT_TRUE(Bag.Buckets[CategoryAll].Items.empty());
    EXPECT_EQ(Bag.Buckets[CategoryWeapons].Items, (std::vector<int32_t>{Sword, Axe, Bow}));
    EXPECT_EQ(Bag.Buckets[CategoryArmour].Items, (std::vector<int32_t>{Helm}));
    EXPECT_EQ(Bag.Buckets[CategoryPotions].Items, (std::vector<int32_t>{Potion}));
    ASSERT_GE(Bag.Cells.size(), 3u);
    EXPECT_EQ(Bag.Cells[0]->Item, Sword);
    EXPECT_EQ(Bag.Cells[2]->Item, Bow);
    EXPECT_EQ(Bag.Cells.size() > 3 ? Bag.Cells[3]->Item : 0, 0);

    // Code 0 (the category never shown) shows no cell.
    Bag.ShowCategory(0);
    EXPECT_EQ(Bag.Category, CategoryOther);
    Bag.LayoutCells(true);
    Bag.Draw();
    EXPECT_TRUE(Of(Drawn(), InventorySprites.SlotInventory).empty());
}

TEST_F(InventoryTest, NineItemsInTwoRowsScrollOneRow)
{
    for (int32_t i = 0; i < 9; i++)
        Bag.AddItem(Sword);
    Bag.Show(100, 100, 384, 192);
    Bag.ShowCategory(2);
    Bag.LayoutCells(true);
    EXPECT_EQ(Bar->Enabled, 1);
    EXPECT_EQ(Bag.ScrollOffset, 0);
    EXPECT_EQ(Bag.Cells[8]->Shown, 0) << "the third row is outside";

    GUI_Input.Wheel = -120;
    ListWheel(Bag.BackArea);
    EXPECT_FLOAT_EQ(Bar->Position, 1.0f);
    EXPECT_EQ(Bag.ScrollOffset, 96);
    EXPECT_EQ(Bag.Cells[0]->Shown, 0);
    EXPECT_EQ(Bag.Cells[4]->Y, 100);
    EXPECT_EQ(Bag.Cells[4]->Object->Enabled, 1);
    EXPECT_EQ(Bag.Cells[8]->Object->Enabled, 1);
    GUI_Input.Wheel = -120;
    ListWheel(Bag.Cells[4]->Object);
    EXPECT_FLOAT_EQ(Bar->Position, 1.0f) << "not beyond the end";
    GUI_Input.Wheel = 120;
    ListWheel(Bag.BackArea);
    EXPECT_EQ(Bag.ScrollOffset, 0);

    // A list 150 high: the second row overlaps its edge and takes no click.
    Bag.Show(100, 100, 384, 150);
    Bag.LayoutCells(true);
    EXPECT_EQ(Bag.Cells[0]->Object->Enabled, 1);
    EXPECT_EQ(Bag.Cells[4]->Object->Enabled, 0);
    EXPECT_EQ(Bag.Cells[4]->Shown, 1);
}

TEST_F(InventoryTest, FillAndStoreAnArmy)
{
    ArmyItems[PlayerArmy] = {7, Sword, 0, -Axe, Potion, Sword};
    GameArmies[PlayerArmy].ItemCount = 4;
    Bag.Fill(PlayerArmy);
    EXPECT_EQ(Bag.Buckets[CategoryWeapons].Items, (std::vector<int32_t>{Sword, -Axe}));
    EXPECT_EQ(Bag.Buckets[CategoryPotions].Items, (std::vector<int32_t>{Potion}));
    Bag.Store(PlayerArmy);
    EXPECT_EQ(ArmyItems[PlayerArmy], (TIntArray{7, Sword, Axe, Potion}));
    EXPECT_EQ(GameArmies[PlayerArmy].ItemCount, 3);

    // A count beyond the list reads what is there.
    ArmyItems[PlayerArmy] = {0, Sword};
    GameArmies[PlayerArmy].ItemCount = 50;
    Bag.Fill(PlayerArmy);
    EXPECT_EQ(Bag.Buckets[CategoryWeapons].Items, (std::vector<int32_t>{Sword}));
}

TEST_F(InventoryTest, AShopStoresAtMostForty)
{
    TInventoryList shop;
    shop.Create(Window, ListShop);
    for (int32_t i = 0; i < 41; i++)
        shop.AddItem(i == 40 ? Axe : Sword);
    shop.Store(1);
    EXPECT_EQ(GameBuildings[1].ShopItems[40], Sword);
    shop.Fill(1);
    EXPECT_EQ(shop.Buckets[CategoryWeapons].Items.size(), 40u);
    shop.Destroy();
}

TEST_F(InventoryTest, ABagItemDroppedOnAnotherListMoves)
{
    TInventoryList other;
    other.Create(Window, ListBag);
    Bag.AddItem(Sword);
    Bag.Show(0, 0, 384, 192);
    Bag.ShowCategory(2);
    other.Show(500, 0, 384, 192);
    Bag.LayoutCells(true);
    TInventoryCell& cell = *Bag.Cells[0];
    Grab(cell, 4);
    ASSERT_EQ(DragItem.Active, 1);
    EXPECT_EQ(DragItem.GrabX, 48);
    EXPECT_TRUE(Bag.Buckets[CategoryWeapons].Items.empty()) << "out of the list at once";
    ListDrop(other.DropRegion);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(other.Buckets[CategoryWeapons].Items, (std::vector<int32_t>{Sword}));
    EXPECT_TRUE(Bag.Buckets[CategoryWeapons].Items.empty());
    other.Destroy();
}

TEST_F(InventoryTest, AListItemReleasedWhereNothingTakesItGoesBack)
{
    Bag.AddItem(Sword);
    Bag.Show(0, 0, 384, 192);
    Bag.ShowCategory(2);
    Bag.LayoutCells(true);
    TInventoryCell& cell = *Bag.Cells[0];
    Grab(cell, 4);
    ASSERT_EQ(DragItem.Active, 1);
    CellClick(cell.Object);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(Bag.Buckets[CategoryWeapons].Items, (std::vector<int32_t>{Sword}));
    EXPECT_EQ(Bag.Cells[0]->Item, Sword);
}

TEST_F(InventoryTest, CategoriesAndFilterBoxes)
{
    const struct {
        TItemType Type;
        int32_t Category;
    } cases[] = {{TItemType::Sword, 1},  {TItemType::Lance, 1},    {TItemType::Spectral, 7}, {TItemType::Arrow, 1},
                 {TItemType::Shield, 2}, {TItemType::Clothes, 2},  {TItemType::Amulet, 4},   {TItemType::Ring, 4},
                 {TItemType::Potion, 5}, {TItemType::Scroll, 1},   {TItemType::SpellBook, 1}, {TItemType::Horse, 6},
                 {TItemType::HorseItem, 6}, {TItemType::Item, 3}, {TItemType::Head, 7},    {TItemType::NPC, 7}};
    for (const auto& c : cases)
        EXPECT_EQ(GetItemCategory(AddItem(c.Type)), c.Category) << int(c.Type);
    EXPECT_EQ(GetItemCategory(ItemCount + 1), CategoryOther);

    std::vector<std::unique_ptr<TGUI_CheckBox>> boxes;
    for (int32_t i = 0; i < FilterBoxCount; i++) {
        boxes.push_back(std::make_unique<TGUI_CheckBox>(Render.get()));
        Bag.FilterBoxes[static_cast<size_t>(i)] = boxes.back().get();
    }
    Bag.ShowCategory(5); // talismans
    for (int32_t i = 0; i < FilterBoxCount; i++)
        EXPECT_EQ(boxes[static_cast<size_t>(i)]->Checked, FilterBoxCategories[i] == CategoryTalismans ? 1 : 0) << i;
    Bag.FilterBoxes = {};
}

TEST_F(InventoryTest, FilterBoxHints)
{
    TGUI_CheckBox box(Render.get());
    box.Tag = 1;
    FilterBoxHint(&box);
    EXPECT_EQ(MainHint().Owner, &box);
    EXPECT_EQ(HintText(), "Weapons|");
    MainHint().Reset();
    // A text of one letter, and tags outside the boxes', show nothing.
    for (int32_t tag : {2, 7, 0, 9}) {
        box.Tag = tag;
        FilterBoxHint(&box);
        EXPECT_NE(MainHint().Owner, &box) << tag;
    }
}

} // namespace
