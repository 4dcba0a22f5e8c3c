// The party kit's demonstration screen under the screen harness: army icons
// with their bars and marks, a hire card, a bag list, equipment cells and
// the two personage panels, built the way a party screen builds them. The
// script hovers a sword in the bag (its hint shows), drags it onto the
// right-hand cell and wheels the bag; the model, the bars' pixels and two
// pictures are looked at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "model/personage/Personage_Rules.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "screens/Duskmarch_PartyContext.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_DragItem.h"
#include "screens/kit/Duskmarch_Inventory.h"
#include "screens/kit/Duskmarch_PersIcon.h"
#include "screens/kit/Duskmarch_PersPanels.h"
#include "tests/screens/ScreenHarness.h"

namespace {

constexpr int32_t IconCount = 12;
constexpr int32_t EquipCount = 8;

struct TPartyDemo {
    TGUI_GraphicWindow* Window = nullptr;
    TInventoryList Bag;
    TInventoryCell Equipment[EquipCount];
    TPersIcon Icons[IconCount];
    TPersIcon Hire;
    TPersonage HirePersonage{};
    TPersInfoPanel Info;
    TSignsPanel Signs;
};
TPartyDemo* Demo = nullptr;

void PartyDemo_Draw()
{
    Demo->Bag.Draw();
    for (TInventoryCell& cell : Demo->Equipment)
        cell.Draw();
    for (TPersIcon& icon : Demo->Icons)
        icon.Draw(0, 0);
    Demo->Hire.Draw(0, 0);
    Demo->Info.Draw();
    DragItem.Draw();
}

void PartyDemo_WindowHandler(int32_t state, TGUI_Window* window)
{
    if (state == GUI_STATE_ACTIVE)
        RunScreenActiveFrame(*window, PartyDemo_Draw, nullptr);
}

void PartyDemo_Filter(TGUI_Object* box)
{
    // The boxes stand for the codes of all, weapons, armour, talismans,
    // potions, horses and goods.
    static constexpr uint8_t codes[FilterBoxCount] = {1, 2, 3, 5, 6, 7, 4};
    for (int32_t i = 0; i < FilterBoxCount; i++)
        if (Demo->Bag.FilterBoxes[static_cast<size_t>(i)] == box) {
            Demo->Bag.ShowCategory(codes[i]);
            Demo->Bag.LayoutCells(true);
        }
}

// The demo's selection is the hero, in the camp.
bool PartyDemo_Selected(int32_t& army, int32_t& slot)
{
    army = PlayerArmy;
    slot = 1;
    return true;
}

void PartyDemo_FillEquipment()
{
    static constexpr uint8_t kinds[EquipCount] = {CellHandRight, CellHandLeft, CellBody,    CellHead,
                                                  CellHorse,     CellAlterWeapon, CellAmulet1, CellBelt1};
    const TPersonage& hero = ArmyUnits[PlayerArmy][1];
    for (int32_t i = 0; i < EquipCount; i++)
        Demo->Equipment[i].SetItem(hero.Equipment[GetCellEquipSlot(kinds[i], false)]);
}

void PartyDemo_Create()
{
    Demo->Window = CreateScreenWindow("PartyDemo", PartyDemo_WindowHandler);
    TGUI_GraphicWindow& w = *Demo->Window;
    const int32_t bagX = w.GetValue("bag.x"), bagY = w.GetValue("bag.y");

    for (int32_t i = 0; i < IconCount; i++) {
        Demo->Icons[i].Create(&w, IconArmySlot, "ArmyPersIcon" + std::to_string(i));
        Demo->Icons[i].SetPosition(40 + i * 90, 60);
    }
    Demo->Hire.Create(&w, IconHireCard, "HirePersIcon0");
    Demo->Hire.SetPosition(1200, 300);

    Demo->Bag.Create(&w, ListBag);
    Demo->Bag.BindScrollBar("sb_Bar", "s_SBBody");
    for (int32_t i = 0; i < FilterBoxCount; i++) {
        auto* box = dynamic_cast<TGUI_CheckBox*>(w.FindObject("cb_Filter" + std::to_string(i)));
        Demo->Bag.FilterBoxes[static_cast<size_t>(i)] = box;
        if (box != nullptr) {
            box->Tag = FilterBoxCategories[i] == CategoryAll ? 8 : FilterBoxCategories[i];
            box->OnEnter = FilterBoxHint;
            box->OnClick = PartyDemo_Filter;
        }
    }

    static constexpr uint8_t kinds[EquipCount] = {CellHandRight, CellHandLeft, CellBody,    CellHead,
                                                  CellHorse,     CellAlterWeapon, CellAmulet1, CellBelt1};
    const int32_t ex = w.GetValue("equip.x"), ey = w.GetValue("equip.y");
    const int32_t at[EquipCount][2] = {{ex, ey},       {ex + 100, ey},       {ex, ey + 100}, {ex + 100, ey + 100},
                                       {ex, ey + 200}, {ex + 100, ey + 200}, {ex + 210, ey}, {ex + 210, ey + 80}};
    for (int32_t i = 0; i < EquipCount; i++) {
        Demo->Equipment[i].Create(&w, kinds[i], at[i][0], at[i][1], nullptr);
        Demo->Equipment[i].LinkedList = &Demo->Bag;
        Demo->Equipment[i].SetPosition(at[i][0], at[i][1]);
    }
    Demo->Info.Create(&w);
    Demo->Signs.Create(&w);
    Demo->Bag.Show(bagX, bagY, w.GetValue("bag.width"), w.GetValue("bag.height"));
}

// Binds the army and fills the panels, as a party screen does when it opens.
void PartyDemo_Bind()
{
    TGUI_GraphicWindow& w = *Demo->Window;
    for (int32_t i = 0; i < IconCount; i++) {
        TPersonage& p = ArmyUnits[PlayerArmy][i + 1];
        const int32_t row = i < 5 ? 1 : i < 9 ? 2 : 3;
        Demo->Icons[i].SetPersonage(p.UnitType != 0 ? &p : nullptr, PlayerArmy, i + 1, row, 1);
    }
    Demo->Icons[0].Flags |= IconSelected;
    Demo->Hire.SetPersonage(&Demo->HirePersonage, -1, 1, 0, 0);
    Demo->Bag.Fill(PlayerArmy);
    Demo->Bag.ShowCategory(1);
    Demo->Bag.LayoutCells(true);
    PartyDemo_FillEquipment();
    const TPersonage& hero = ArmyUnits[PlayerArmy][1];
    Demo->Info.SetPersonage(hero);
    Demo->Info.Show(w.GetValue("info.x"), w.GetValue("info.y"), false);
    Demo->Signs.SetPosition(w.GetValue("signs.x"), w.GetValue("signs.y"));
    Demo->Signs.SetPersonage(hero, 3, false);
    Demo->Signs.Show();
}

bool Green(uint32_t rgb)
{
    const int r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
    return g > r + 40 && g > b + 40;
}
bool Red(uint32_t rgb)
{
    const int r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
    return r > g + 60 && r > b + 60;
}
bool Grey(uint32_t rgb)
{
    const int r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
    return std::abs(r - g) < 24 && std::abs(g - b) < 24 && r > 80;
}

class PartyDemoTest : public TScreenHarness {
protected:
    void TearDown() override
    {
        if (Demo != nullptr) {
            DragItem.Init();
            if (Demo->Window != nullptr) {
                GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), Demo->Window),
                                      GUI_OpenWindows.end());
                for (TPersIcon& icon : Demo->Icons)
                    icon.Destroy();
                Demo->Hire.Destroy();
                for (TInventoryCell& cell : Demo->Equipment)
                    cell.Destroy();
                Demo->Bag.Destroy();
                Demo->Info.Destroy();
                Demo->Signs.Destroy();
                delete Demo->Window;
            }
            delete Demo;
            Demo = nullptr;
        }
        PartyContext = {};
        TScreenHarness::TearDown();
    }

    // The sample tables, and an army whose hero may wield a sword of them.
    bool BuildArmy()
    {
        LoadBonuses();
        LoadSpells();
        LoadItems();
        LoadUnitTypes();
        for (int32_t type = 1; type <= UnitTypeCount && SwordType == 0; type++)
            for (int32_t item = 1; item <= ItemCount && SwordType == 0; item++) {
                if (ItemTable[item].MainType != static_cast<uint8_t>(TItemType::Sword) || ItemTable[item].Image < 1)
                    continue;
                TPersonage p{};
                std::memset(static_cast<void*>(&p), 0, sizeof p);
                p.UnitType = type;
                TIntArray removed;
                ReloadPersonage(p, 4, -1, removed);
                if (p.Equipment[1] != item && GetItemEquipRefusal(p, item, 1) == ieMayEquip) {
                    SwordType = type;
                    Sword = item;
                }
            }
        if (SwordType == 0)
            return false;
        for (int32_t slot = 1; slot <= ArmySlotCount; slot++)
            std::memset(static_cast<void*>(&ArmyUnits[PlayerArmy][slot]), 0, sizeof(TPersonage));
        for (int32_t slot = 1; slot <= 9; slot++) {
            TPersonage& p = ArmyUnits[PlayerArmy][slot];
            p.UnitType = slot == 1 ? SwordType : 1 + (slot * 3) % UnitTypeCount;
            TIntArray removed;
            ReloadPersonage(p, 4, -1, removed);
            p.Hits = static_cast<int16_t>(p.Stats[statHits]);
            p.FullHits = p.Stats[statHits];
        }
        // Bars with every part; a dead, a wounded and an unpaid personage; a
        // level to spend.
        auto hurt = [](TPersonage& p, int32_t full, int32_t capped, int32_t hits, int32_t wounds) {
            p.FullHits = full;
            p.Stats[statHits] = static_cast<int16_t>(capped);
            p.Hits = static_cast<int16_t>(hits);
            p.Wounds = wounds;
            p.WoundLimit = 4;
        };
        hurt(ArmyUnits[PlayerArmy][2], 60, 45, 30, 0);
        hurt(ArmyUnits[PlayerArmy][3], 60, 45, 30, 2);
        hurt(ArmyUnits[PlayerArmy][4], 60, 60, 0, 0);
        hurt(ArmyUnits[PlayerArmy][5], 60, 60, 1, 1);
        ArmyUnits[PlayerArmy][6].UpkeepDebt = 2;
        ArmyUnits[PlayerArmy][7].UpgradePoints = 1;
        ArmyUnits[PlayerArmy][8].HireKind = 1;
        ArmyUnits[PlayerArmy][9].HireKind = 3;
        Demo->HirePersonage = ArmyUnits[PlayerArmy][2];
        Demo->HirePersonage.HireKind = 1;

        TIntArray& bag = ArmyItems[PlayerArmy];
        bag = {0, Sword};
        for (int32_t item = 1; item <= ItemCount && bag.size() < 16; item++)
            if (item != Sword && ItemTable[item].Image >= 1 && GetItemCategory(item) != CategoryOther)
                bag.push_back(item);
        GameArmies[PlayerArmy].ItemCount = static_cast<int32_t>(bag.size()) - 1;
        return true;
    }

    int32_t BagItems() const
    {
        int32_t n = 0;
        for (const TItemBucket& bucket : Demo->Bag.Buckets)
            n += static_cast<int32_t>(bucket.Items.size());
        return n;
    }

    int32_t SwordType = 0;
    int32_t Sword = 0;
};

TEST_F(PartyDemoTest, HoverDragAndWheel)
{
    InstallFixture("screens/PartyDemo.ini", "Interface/PartyDemo.ini");
    ASSERT_TRUE(Start());
    Demo = new TPartyDemo();
    ASSERT_TRUE(BuildArmy()) << "no sample unit type wields a sample sword";
    LoadIconSprites();
    LoadInventorySprites();
    LoadPanelSprites();
    PartyContext = {};
    PartyContext.SelectedPersonage = PartyDemo_Selected;
    PartyContext.RefreshTentPersonageModel = [](int32_t, int32_t, bool) { PartyDemo_FillEquipment(); };
    PartyDemo_Create();
    ASSERT_NE(Demo->Bag.ScrollBar, nullptr);
    PartyDemo_Bind();
    OpenScreen(Demo->Window);
    ASSERT_TRUE(IsOpen(Demo->Window));
    WaitFrames(2);

    // The icons: the bar of icon 1 (hits 30 of 60, capped at 45) in its
    // three colours.
    const TPersIcon& barred = Demo->Icons[1];
    const int32_t bx = barred.GuiObject->X + 3, by = barred.GuiObject->Y + 89 + 3;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(SpriteImageSize(barred.BarFull, w, h));
    const int32_t healthy = w / 2, lost = w - w * 45 / 60;
    EXPECT_TRUE(Green(Pixel(bx + healthy / 2, by))) << std::hex << Pixel(bx + healthy / 2, by);
    EXPECT_TRUE(Red(Pixel(bx + (healthy + w - lost) / 2, by))) << std::hex << Pixel(bx + (healthy + w - lost) / 2, by);
    EXPECT_TRUE(Grey(Pixel(bx + w - lost / 2, by))) << std::hex << Pixel(bx + w - lost / 2, by);
    Shot("party_icons");

    // Hovering the sword in the bag shows its hint.
    TInventoryCell* swordCell = nullptr;
    for (auto& cell : Demo->Bag.Cells)
        if (cell->Item == Sword)
            swordCell = cell.get();
    ASSERT_NE(swordCell, nullptr);
    const int32_t sx = swordCell->X + 48, sy = swordCell->Y + 48;
    Move(sx, sy);
    WaitFrames(3);
    ASSERT_EQ(MainHint().State, HintShown);
    EXPECT_EQ(MainHint().Owner, swordCell->Object);

    // The drag onto the right-hand cell.
    const int32_t before = BagItems();
    TInventoryCell& hand = Demo->Equipment[0];
    Press();
    WaitFrames(1);
    Move(sx + 4, sy + 2);
    WaitFrames(2);
    ASSERT_EQ(DragItem.Active, 1);
    EXPECT_EQ(DragItem.ItemNumber, Sword);
    Move(hand.X + 40, hand.Y + 40);
    WaitFrames(2);
    Advance(200);
    WaitFrames(2);
    EXPECT_EQ(hand.Flags & CellHovered, CellHovered);
    EXPECT_EQ(hand.Flags & CellRefused, 0);
    Shot("party_drag");
    Release();
    WaitFrames(3);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(ArmyUnits[PlayerArmy][1].Equipment[1], Sword);
    EXPECT_EQ(hand.Item, Sword);
    const int32_t after = BagItems();
    // The sword left the bag; what the hand held before came back into it
    // unless it was the unit's own default.
    EXPECT_LE(after, before);
    EXPECT_GE(after, before - 1);
    Demo->Bag.Store(PlayerArmy);
    EXPECT_EQ(std::count(ArmyItems[PlayerArmy].begin() + 1, ArmyItems[PlayerArmy].end(), Sword), 0);

    // The wheel over the bag scrolls one row.
    Move(Demo->Bag.X + 100, Demo->Bag.Y + 100);
    WaitFrames(2);
    const int32_t offset = Demo->Bag.ScrollOffset;
    Wheel(-1);
    WaitFrames(2);
    EXPECT_EQ(Demo->Bag.ScrollOffset, offset + BagRowHeight);
}

} // namespace
