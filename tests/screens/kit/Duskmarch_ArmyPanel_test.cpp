// Army panels on the recording renderer: the icon-to-cell table and the
// layout, the refusal rules of a personage or item dragged over an icon, the
// drops (swap within an army, exchange and move between the player's army
// and a garrison, a full army), the drag threshold and the cancel, the
// dismissal on the banish place and an item dropped onto a personage.
#include "screens/kit/Duskmarch_ArmyPanel.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "model/personage/Personage_Rules.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI_StringList.h"
#include "screens/kit/Duskmarch_Base.h"
#include "tests/screens/kit/PartyTestSupport.h"

namespace {

std::string PanelNarrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

class ArmyPanelTest : public TPartyKitTest {
protected:
    static constexpr int32_t Garrison = 2; // the garrison of building 1

    void SetUp() override
    {
        TPartyKitTest::SetUp();
        // Every hint key's text is the key itself.
        std::string hints = "[Hints]\n";
        for (const char* key :
             {"PersMove_Hero", "PersMove_Ally", "PersMove_NotEnoughSupport", "PersExchange_Hero", "PersExchange_Ally",
              "PersExchange_Support", "NotFightInBattle_Dead", "NotFightInBattle_Wounded", "NotFightInBattle_NoMoney"})
            hints += std::string(key) + "_Eng=" + key + "\n";
        for (int code = 1; code < 32; code++)
            if (const char* key = ItemEquipRefusalKey(static_cast<uint8_t>(code)); key != nullptr && *key != 0)
                hints += std::string(key) + "_Eng=" + key + "\n";
        TextsIni->LoadFromMemory("Texts.ini", "[Texts]\nBanishCharacter_Eng=Dismiss\n" + hints);

        SizeWorldTables(1, 1);
        Knight = UnitTypeCount;
        // The player's army: the hero, a recruit, a mercenary, a follower.
        Put(PlayerArmy, 1, 1, 1, hireHero);
        Put(PlayerArmy, 2, 1, 2, hireRecruit);
        Put(PlayerArmy, 3, 2, 2, hireMercenary);
        Put(PlayerArmy, 4, 2, 3, hireFollower);
        GameArmies[PlayerArmy].SupportLimit = 10;
        // The garrison: a recruit and a mercenary.
        Put(Garrison, 1, 1, 1, hireRecruit);
        Put(Garrison, 2, 1, 2, hireMercenary);
        Hero = &ArmyUnits[PlayerArmy][1];

        Army.Create(Window, PanelArmy);
        Army.Layout(0, 500, 40, -100);
        Army.SetArmy(PlayerArmy);
        Guard.Create(Window, PanelGarrison);
        Guard.Layout(800, 500, 40, -100);
        Guard.SetArmy(Garrison);
        Place = new TGUI_Object(Render.get());
        Place->X = 700;
        Place->Y = 100;
        Place->Width = Place->Height = 50;
        Window->AddObject(Place, "banish", 0);
        Army.BindDropTarget(Place);
        ArmyPanelHooks = {};
    }

    void TearDown() override
    {
        if (DragItem.Active != 0)
            DragItem.Finish(true);
        Army.Destroy();
        Guard.Destroy();
        Window->RemoveObject(Place);
        delete Place;
        ArmyPanelHooks = {};
        GUI_Keys = {};
        TPartyKitTest::TearDown();
    }

    void Put(int32_t army, int32_t slot, int32_t row, int32_t column, int16_t hireKind)
    {
        TPersonage& p = ArmyUnits[static_cast<size_t>(army)][slot];
        p = Make(UnitTypeCount);
        p.Hits = 20;
        p.HireKind = hireKind;
        p.FormationRow = row;
        p.FormationColumn = column;
        TGameArmy& a = GameArmies[static_cast<size_t>(army)];
        a.Formation[row - 1][column - 1] = slot;
        a.PersonageCount = static_cast<uint8_t>(std::max<int32_t>(a.PersonageCount, slot));
    }

    int32_t Cell(int32_t army, int32_t row, int32_t column) const
    {
        return GameArmies[static_cast<size_t>(army)].Formation[row - 1][column - 1];
    }

    static TGUI_Object* Obj(TArmyPanel& panel, int32_t icon) { return panel.Icons[icon].GuiObject; }

    void MouseAt(int32_t x, int32_t y)
    {
        GUI_Input.VirtualX = x;
        GUI_Input.VirtualY = y;
    }

    // Press on the icon and move the mouse by (dx, dy) with the left button
    // held.
    void Grab(TArmyPanel& panel, int32_t icon, int32_t dx = 3, int32_t dy = 0)
    {
        TGUI_Object* object = Obj(panel, icon);
        MouseAt(object->X + 10, object->Y + 10);
        ArmySlotEnter(object);
        ArmySlotPress(object);
        GUI_Keys[GUI_KEY_LBUTTON].Down = 1;
        MouseAt(object->X + 10 + dx, object->Y + 10 + dy);
        ArmySlotHeld(object);
    }

    // Carries the drag from the source icon over the target icon.
    void Over(TArmyPanel& source, int32_t sourceIcon, TArmyPanel& target, int32_t targetIcon)
    {
        ArmySlotLeave(Obj(source, sourceIcon));
        TGUI_Object* object = Obj(target, targetIcon);
        MouseAt(object->X + 10, object->Y + 10);
        ArmySlotEnter(object);
    }

    // The button goes up over the target: its drop, then the source's click.
    void Release(TArmyPanel& source, int32_t sourceIcon, TArmyPanel* target, int32_t targetIcon)
    {
        GUI_Keys[GUI_KEY_LBUTTON].Down = 0;
        if (target != nullptr)
            ArmySlotDrop(Obj(*target, targetIcon));
        ArmySlotClick(Obj(source, sourceIcon));
    }

    std::string HintText()
    {
        THint& hint = MainHint();
        for (const THintLine& line : hint.Lines)
            if (line.List != nullptr && line.List->Count > 0)
                return PanelNarrow(line.List->Texts[static_cast<size_t>(line.List->Count - 1)]);
        return {};
    }

    int32_t Knight = 0;
    TArmyPanel Army;
    TArmyPanel Guard;
    TGUI_Object* Place = nullptr;
};

// ---------------------------------------------------------------------------
// Geometry

TEST_F(ArmyPanelTest, IconsMapToTheirCellsAndTheHeroSlotAgrees)
{
    struct TCase {
        int32_t Icon, Row, Column;
    };
    const TCase cases[] = {{0, 1, 1}, {1, 1, 2}, {2, 1, 3}, {3, 1, 4}, {4, 1, 5},  {5, 2, 2},
                           {6, 2, 3}, {7, 2, 4}, {8, 2, 5}, {9, 3, 2}, {10, 3, 3}, {11, 3, 4}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Icon);
        EXPECT_EQ(PanelSlotRow(c.Icon), c.Row);
        EXPECT_EQ(PanelSlotColumn(c.Icon), c.Column);
        EXPECT_EQ(PanelIconOfCell(c.Row, c.Column), c.Icon);
        TGameArmy& player = GameArmies[PlayerArmy];
        std::memset(player.Formation, 0, sizeof player.Formation);
        player.Formation[c.Row - 1][c.Column - 1] = 1;
        EXPECT_EQ(FindHeroPanelSlot(), c.Icon);
    }
    // Cells no icon shows, and indices outside the panel.
    EXPECT_EQ(PanelIconOfCell(2, 1), -1);
    EXPECT_EQ(PanelIconOfCell(3, 5), -1);
    EXPECT_EQ(PanelIconOfCell(1, 6), -1);
    EXPECT_EQ(PanelSlotRow(12), 0);
    EXPECT_EQ(PanelSlotRow(-1), 0);
    EXPECT_EQ(PanelIconName(PanelGarrison, 7), "GarrisonPersIcon7");
    EXPECT_EQ(PanelIconName(PanelInfo, 11), "InfoPersIcon11");
}

TEST_F(ArmyPanelTest, LayoutShiftsAndStepsTheRows)
{
    Army.Layout(100, 600, 40, -100);
    const int32_t w = Obj(Army, 0)->Width;
    ASSERT_GT(w, 0);
    EXPECT_EQ(Obj(Army, 0)->X, 100);
    EXPECT_EQ(Obj(Army, 4)->X, 100 + 4 * w);
    EXPECT_EQ(Obj(Army, 4)->Y, 600);
    EXPECT_EQ(Obj(Army, 5)->X, 140);
    EXPECT_EQ(Obj(Army, 5)->Y, 500);
    EXPECT_EQ(Obj(Army, 8)->X, 140 + 3 * w);
    EXPECT_EQ(Obj(Army, 9)->X, 180);
    EXPECT_EQ(Obj(Army, 9)->Y, 400);
    EXPECT_EQ(Obj(Army, 11)->X, 180 + 2 * w);
}

TEST_F(ArmyPanelTest, SetArmyBindsEachPersonageToTheIconOfItsCell)
{
    EXPECT_EQ(Army.Icons[0].Personage, &ArmyUnits[PlayerArmy][1]);
    EXPECT_EQ(Army.Icons[1].Personage, &ArmyUnits[PlayerArmy][2]);
    EXPECT_EQ(Army.Icons[5].Personage, &ArmyUnits[PlayerArmy][3]);
    EXPECT_EQ(Army.Icons[6].Slot, 4);
    EXPECT_EQ(Army.Icons[2].Personage, nullptr);
    EXPECT_EQ(Army.Icons[9].Row, 3);
    // Info panels leave out the fallen.
    ArmyUnits[PlayerArmy][2].Hits = 0;
    TArmyPanel info;
    info.Create(Window, PanelInfo);
    info.SetArmy(PlayerArmy);
    EXPECT_EQ(info.Icons[0].Personage, &ArmyUnits[PlayerArmy][1]);
    EXPECT_EQ(info.Icons[1].Personage, nullptr);
    info.Destroy();
}

TEST_F(ArmyPanelTest, HiredPersonageSlidesFromItsHireCard)
{
    TPersIcon card;
    card.Create(Window, IconHireCard, "card");
    card.SetPosition(900, 50);
    Army.SetSlot(PlayerArmy, 2, &card);
    const TPersIcon& icon = Army.Icons[1];
    EXPECT_NE(icon.Flags & IconSliding, 0);
    EXPECT_EQ(icon.SlideFromX, 900);
    EXPECT_EQ(icon.SlideFromY, 50);
    EXPECT_EQ(icon.SlideToX, Obj(Army, 1)->X);
    card.Destroy();
    // Any other icon kind binds without the slide.
    Army.Icons[1].Flags = 0;
    Army.SetSlot(PlayerArmy, 2, &Army.Icons[0]);
    EXPECT_EQ(Army.Icons[1].Flags & IconSliding, 0);
}

TEST_F(ArmyPanelTest, VictoryPanelShowsTheExperienceUnderItsIcon)
{
    TArmyPanel victory;
    victory.Create(Window, PanelVictory);
    victory.Layout(0, 500, 40, -100);
    victory.SetArmy(PlayerArmy);
    ShowExperienceGain(victory, 2, 15);
    EXPECT_EQ(victory.SlotTags[1].ShowExp, 1);
    EXPECT_EQ(victory.SlotTags[0].ShowExp, 0);
    ASSERT_GE(victory.SlotTags[1].ExpLabel, 0);
    Drawn();
    victory.Draw();
    const std::vector<TDrawn> labels = Of(Drawn(), victory.SlotTags[1].ExpLabel);
    ASSERT_EQ(labels.size(), 1u);
    const TGUI_Object* icon = Obj(victory, 1);
    EXPECT_EQ(labels[0].X, icon->X);
    EXPECT_EQ(labels[0].Y, icon->Y + icon->Height);
    // A slot no cell holds shows nothing.
    ShowExperienceGain(victory, 9, 15);
    EXPECT_EQ(victory.SlotTags[2].ShowExp, 0);
    victory.Destroy();
}

// ---------------------------------------------------------------------------
// Refusals

TEST_F(ArmyPanelTest, RefusalsShowTheirKeyAndTheLock)
{
    struct TCase {
        const char* Name;
        void (*Prepare)();
        bool FromPlayer;
        int32_t SourceIcon;
        int32_t TargetIcon;
        const char* Key; // nullptr: accepted
    };
    const TCase cases[] = {
        {"hero out", nullptr, true, 0, 2, "PersMove_Hero"},
        {"follower out", nullptr, true, 6, 2, "PersMove_Ally"},
        {"important NPC out", [] { ArmyUnits[PlayerArmy][2].ImportantNPC = 1; }, true, 1, 2, "PersMove_Ally"},
        {"recruit out", nullptr, true, 1, 2, nullptr},
        {"recruit in, support full", [] { GameArmies[PlayerArmy].SupportLimit = 2; }, false, 0, 2,
         "PersMove_NotEnoughSupport"},
        {"recruit in, support free", nullptr, false, 0, 2, nullptr},
        {"mercenary in, support full", [] { GameArmies[PlayerArmy].SupportLimit = 2; }, false, 1, 2, nullptr},
        {"exchange with the hero", nullptr, false, 1, 0, "PersExchange_Hero"},
        {"exchange with a follower", nullptr, false, 1, 6, "PersExchange_Ally"},
        {"exchange with a scenario personage", [] { ArmyUnits[PlayerArmy][3].UnitType = -1; }, false, 1, 5,
         "PersExchange_Ally"},
        {"recruit for a mercenary, support full", [] { GameArmies[PlayerArmy].SupportLimit = 2; }, false, 0, 5,
         "PersExchange_Support"},
        {"mercenary out for a recruit, support full", [] { GameArmies[PlayerArmy].SupportLimit = 2; }, true, 5, 0,
         "PersExchange_Support"},
        {"mercenary for a recruit, support free", nullptr, true, 5, 0, nullptr},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        if (c.Prepare != nullptr)
            c.Prepare();
        TArmyPanel& source = c.FromPlayer ? Army : Guard;
        TArmyPanel& target = c.FromPlayer ? Guard : Army;
        Grab(source, c.SourceIcon);
        ASSERT_EQ(DragItem.Active, 1);
        Over(source, c.SourceIcon, target, c.TargetIcon);
        if (c.Key != nullptr) {
            EXPECT_EQ(HintText(), c.Key);
            EXPECT_EQ(target.HoverSlot, -1);
            EXPECT_NE(target.Icons[c.TargetIcon].Flags & IconLocked, 0);
        } else {
            EXPECT_EQ(target.HoverSlot, c.TargetIcon);
            EXPECT_EQ(target.Icons[c.TargetIcon].Flags & IconLocked, 0);
        }
        // Leaving the icon lifts the lock.
        ArmySlotLeave(Obj(target, c.TargetIcon));
        EXPECT_EQ(target.Icons[c.TargetIcon].Flags & IconLocked, 0);
    }
}

TEST_F(ArmyPanelTest, WithinOneArmyNothingIsRefused)
{
    GameArmies[PlayerArmy].SupportLimit = 0;
    Grab(Army, 0);
    Over(Army, 0, Army, 6);
    EXPECT_EQ(Army.HoverSlot, 6);
}

TEST_F(ArmyPanelTest, StatusHintsOfTheHeldPersonage)
{
    struct TCase {
        int16_t Hits;
        int16_t Debt;
        const char* Key;
    };
    const TCase cases[] = {{0, 0, "NotFightInBattle_Dead"},
                           {1, 5, "NotFightInBattle_Wounded"},
                           {9, 5, "NotFightInBattle_NoMoney"},
                           {9, 0, ""}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Key);
        MainHint().Clear(HintSmallFrame, 0);
        ArmyUnits[PlayerArmy][2].Hits = c.Hits;
        ArmyUnits[PlayerArmy][2].UpkeepDebt = c.Debt;
        ArmySlotEnter(Obj(Army, 1));
        EXPECT_EQ(HintText(), c.Key);
        EXPECT_EQ(Army.HoverSlot, 1);
    }
}

TEST_F(ArmyPanelTest, ItemRefusalShowsTheCodesHintKey)
{
    // A potion nobody may drink by this rule set would be accepted; a sword
    // for a personage whose type wields none is refused.
    TPersonage& recruit = ArmyUnits[PlayerArmy][2];
    recruit.Weapon[1] = 0;
    const uint8_t code = GetItemEquipRefusal(recruit, GetItemIndex(Sword), 0);
    ASSERT_NE(code, 0) << "the fixture's recruit should refuse the sword";
    DragItem.Active = 1;
    DragItem.Kind = DragKindItem;
    DragItem.ItemNumber = Sword;
    ArmySlotEnter(Obj(Army, 1));
    EXPECT_EQ(HintText(), ItemEquipRefusalKey(code));
    EXPECT_EQ(Army.HoverSlot, -1);
    EXPECT_NE(Army.Icons[1].Flags & IconLocked, 0);
    DragItem.Init();
}

// ---------------------------------------------------------------------------
// Drops

TEST_F(ArmyPanelTest, SameArmyDropSwapsCellsAndKeepsRecords)
{
    const TPersonage heroBefore = ArmyUnits[PlayerArmy][1];
    Grab(Army, 0);
    EXPECT_EQ(Cell(PlayerArmy, 1, 1), 0) << "the grab empties the source cell";
    Over(Army, 0, Army, 6);
    Release(Army, 0, &Army, 6);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(Cell(PlayerArmy, 2, 3), 1);
    EXPECT_EQ(Cell(PlayerArmy, 1, 1), 4);
    EXPECT_EQ(ArmyUnits[PlayerArmy][1].UnitType, heroBefore.UnitType);
    EXPECT_EQ(ArmyUnits[PlayerArmy][1].FormationRow, 2);
    EXPECT_EQ(ArmyUnits[PlayerArmy][1].FormationColumn, 3);
    EXPECT_EQ(ArmyUnits[PlayerArmy][4].FormationRow, 1);
    EXPECT_EQ(ArmyUnits[PlayerArmy][4].FormationColumn, 1);
    EXPECT_EQ(Army.Icons[6].Personage, &ArmyUnits[PlayerArmy][1]);
    EXPECT_EQ(Army.Icons[0].Personage, &ArmyUnits[PlayerArmy][4]);
    EXPECT_EQ(Army.SelectedSlot, 6);
    // Onto an empty cell: the personage alone moves.
    Grab(Army, 6);
    ASSERT_EQ(DragItem.Active, 1);
    Over(Army, 6, Army, 11);
    Release(Army, 6, &Army, 11);
    EXPECT_EQ(Cell(PlayerArmy, 3, 4), 1);
    EXPECT_EQ(Cell(PlayerArmy, 2, 3), 0);
    EXPECT_EQ(Army.Icons[6].Personage, nullptr);
}

TEST_F(ArmyPanelTest, ExchangeBetweenArmiesSwapsRecordsAndCells)
{
    ArmyUnits[PlayerArmy][2].Experience = 111;
    ArmyUnits[Garrison][2].Experience = 222;
    Grab(Army, 1);
    Over(Army, 1, Guard, 1);
    Release(Army, 1, &Guard, 1);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(ArmyUnits[PlayerArmy][2].Experience, 222);
    EXPECT_EQ(ArmyUnits[Garrison][2].Experience, 111);
    EXPECT_EQ(ArmyUnits[PlayerArmy][2].HireKind, hireMercenary);
    EXPECT_EQ(Cell(PlayerArmy, 1, 2), 2);
    EXPECT_EQ(Cell(Garrison, 1, 2), 2);
    EXPECT_EQ(ArmyUnits[PlayerArmy][2].FormationColumn, 2);
    EXPECT_EQ(Army.Icons[1].Personage, &ArmyUnits[PlayerArmy][2]);
    EXPECT_EQ(Guard.Icons[1].Personage, &ArmyUnits[Garrison][2]);
    EXPECT_EQ(Guard.SelectedSlot, 1);
}

TEST_F(ArmyPanelTest, MoveIntoAnEmptyCellZeroesTheSourceAndRecounts)
{
    ArmyUnits[PlayerArmy][2].Experience = 111;
    Grab(Army, 1);
    Over(Army, 1, Guard, 9);
    Release(Army, 1, &Guard, 9);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(ArmyUnits[PlayerArmy][2].UnitType, 0);
    EXPECT_EQ(Cell(PlayerArmy, 1, 2), 0);
    EXPECT_EQ(ArmyUnits[Garrison][3].Experience, 111);
    EXPECT_EQ(ArmyUnits[Garrison][3].FormationRow, 3);
    EXPECT_EQ(ArmyUnits[Garrison][3].FormationColumn, 2);
    EXPECT_EQ(Cell(Garrison, 3, 2), 3);
    EXPECT_EQ(Guard.Icons[9].Personage, &ArmyUnits[Garrison][3]);
    // Both armies were recounted.
    EXPECT_EQ(GameArmies[Garrison].PersonageCount, 3);
    EXPECT_EQ(GameArmies[PlayerArmy].LivingCount, 3);
}

TEST_F(ArmyPanelTest, DropIntoAFullArmyCancelsTheDrag)
{
    for (int32_t slot = 3; slot <= ArmySlotCount; slot++)
        ArmyUnits[Garrison][slot].UnitType = Knight; // every slot taken, no cell
    const TPersonage before = ArmyUnits[PlayerArmy][2];
    Grab(Army, 1);
    Over(Army, 1, Guard, 9);
    Release(Army, 1, &Guard, 9);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(Cell(PlayerArmy, 1, 2), 2) << "the grid names the personage again";
    EXPECT_EQ(ArmyUnits[PlayerArmy][2].UnitType, before.UnitType);
    EXPECT_EQ(Army.Icons[1].Personage, &ArmyUnits[PlayerArmy][2]);
    EXPECT_EQ(Cell(Garrison, 3, 2), 0);
}

TEST_F(ArmyPanelTest, DragStartsAtThreePixels)
{
    Grab(Army, 1, 2, 0);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(Cell(PlayerArmy, 1, 2), 2);
    MouseAt(GUI_Input.VirtualX - 2, GUI_Input.VirtualY + 3); // 0, 3 from the press
    ArmySlotHeld(Obj(Army, 1));
    ASSERT_EQ(DragItem.Active, 1);
    EXPECT_EQ(DragItem.Kind, DragKindPersonage);
    EXPECT_EQ(DragItem.SourceSlot, 2);
    EXPECT_EQ(DragItem.SourceIcon, &Army.Icons[1]);
    ASSERT_NE(DragItem.DragIcon, nullptr);
    EXPECT_EQ(DragItem.DragIcon->Kind, IconDragged);
    EXPECT_EQ(DragItem.GrabX, 10);
    EXPECT_EQ(DragItem.GrabY, 13);
    EXPECT_EQ(Army.Icons[1].Personage, nullptr);
    EXPECT_EQ(Army.SelectedSlot, -1);
    // The panel's icon is unbound but keeps its cell for the restore.
    EXPECT_EQ(Army.Icons[1].Row, 1);
    EXPECT_EQ(Army.Icons[1].Column, 2);
}

TEST_F(ArmyPanelTest, ReleaseOutsideAnyIconRestoresAndSelects)
{
    Grab(Army, 1);
    ArmySlotLeave(Obj(Army, 1));
    MouseAt(1500, 50);
    Release(Army, 1, nullptr, 0);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(DragItem.PersonageCopy, nullptr);
    EXPECT_EQ(DragItem.DragIcon, nullptr);
    EXPECT_EQ(Cell(PlayerArmy, 1, 2), 2);
    EXPECT_EQ(Army.Icons[1].Personage, &ArmyUnits[PlayerArmy][2]);
    EXPECT_EQ(Army.SelectedSlot, 1);
}

TEST_F(ArmyPanelTest, ReleaseOnARefusingIconRestores)
{
    Grab(Army, 0);
    Over(Army, 0, Guard, 2);
    ASSERT_EQ(HintText(), "PersMove_Hero");
    Release(Army, 0, &Guard, 2);
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(Cell(PlayerArmy, 1, 1), 1);
    EXPECT_EQ(Cell(Garrison, 1, 3), 0);
    EXPECT_EQ(Guard.Icons[2].Flags & IconLocked, 0);
}

// ---------------------------------------------------------------------------
// Banish

TEST_F(ArmyPanelTest, DismissalGivesTheItemsToTheListAndShrinksTheArmy)
{
    TPersonage& recruit = ArmyUnits[PlayerArmy][2];
    recruit.Equipment[1] = Axe;
    const int32_t itemsBefore = GameArmies[PlayerArmy].ItemCount;
    MouseAt(Obj(Army, 1)->X + 5, Obj(Army, 1)->Y + 5);
    ArmySlotPress(Obj(Army, 1));
    EXPECT_EQ(Army.SelectedSlot, 1);
    EXPECT_EQ(Place->Enabled, 1);
    BanishPlaceClick(Place);
    EXPECT_EQ(GameArmies[PlayerArmy].PersonageCount, 3);
    EXPECT_EQ(Army.SelectedSlot, -1);
    EXPECT_EQ(Place->Enabled, 0);
    // The slots after it moved down; the panel shows the army again.
    EXPECT_EQ(ArmyUnits[PlayerArmy][2].HireKind, hireMercenary);
    EXPECT_EQ(Army.Icons[1].Personage, nullptr);
    // Without a screen list the axe is carried by the army.
    const TIntArray& carried = ArmyItems[PlayerArmy];
    EXPECT_GE(GameArmies[PlayerArmy].ItemCount, itemsBefore + 1);
    EXPECT_NE(std::find(carried.begin(), carried.end(), Axe), carried.end());
}

TEST_F(ArmyPanelTest, DismissalItemsGoToTheScreensList)
{
    TInventoryList list;
    list.Create(Window, ListBag);
    static TInventoryList* target = nullptr;
    target = &list;
    ArmyPanelHooks.DismissList = [] { return target; };
    static int32_t dismissed = 0;
    dismissed = 0;
    ArmyPanelHooks.Dismissed = [](TArmyPanel&) { dismissed++; };
    ArmyUnits[PlayerArmy][3].Equipment[1] = Axe;
    ArmySlotPress(Obj(Army, 5));
    BanishPlaceClick(Place);
    EXPECT_EQ(dismissed, 1);
    bool found = false;
    for (const TItemBucket& bucket : list.Buckets)
        found = found || std::find(bucket.Items.begin(), bucket.Items.end(), Axe) != bucket.Items.end();
    EXPECT_TRUE(found);
    list.Destroy();
}

TEST_F(ArmyPanelTest, TheHeroAndScenarioPersonagesStay)
{
    ArmySlotPress(Obj(Army, 0));
    EXPECT_EQ(Place->Enabled, 0);
    BanishPlaceEnter(Place);
    EXPECT_EQ(Place->Enabled, 0);
    BanishPlaceClick(Place);
    EXPECT_EQ(GameArmies[PlayerArmy].PersonageCount, 4);
    ArmyUnits[PlayerArmy][2].UnitType = -3;
    Army.SetArmy(PlayerArmy); // the panel binds the scenario personage: no cell lost
    ArmySlotPress(Obj(Army, 1));
    BanishPlaceEnter(Place);
    EXPECT_EQ(Place->Enabled, 0);
    BanishPlaceClick(Place);
    EXPECT_EQ(GameArmies[PlayerArmy].PersonageCount, 4);
    EXPECT_EQ(HintText(), "Dismiss");
}

// ---------------------------------------------------------------------------
// Items

TEST_F(ArmyPanelTest, ItemDroppedOnAnIconIsEquippedAndDisplacedItemsReachTheSource)
{
    TInventoryList list;
    list.Create(Window, ListBag);
    TInventoryCell cell;
    cell.Create(Window, CellBag, 0, 0, &list);
    TPersonage& hero = ArmyUnits[PlayerArmy][1];
    hero.Equipment[1] = Axe;
    const uint8_t code = GetItemEquipRefusal(hero, GetItemIndex(Sword), 0);
    ASSERT_EQ(code, 0);
    DragItem.Active = 1;
    DragItem.Kind = DragKindItem;
    DragItem.ItemNumber = Sword;
    DragItem.SourceCell = &cell;
    ArmySlotEnter(Obj(Army, 0));
    ASSERT_EQ(Army.HoverSlot, 0);
    ArmySlotDrop(Obj(Army, 0));
    EXPECT_EQ(DragItem.Active, 0);
    EXPECT_EQ(hero.Equipment[1], Sword);
    bool found = false;
    for (const TItemBucket& bucket : list.Buckets)
        found = found || std::find(bucket.Items.begin(), bucket.Items.end(), Axe) != bucket.Items.end();
    EXPECT_TRUE(found) << "the axe the sword displaced";
    EXPECT_EQ(Redressed, 1);
    cell.Destroy();
    list.Destroy();
}

} // namespace
