#include "screens/kit/Duskmarch_ArmyPanel.h"

#include <cmath>
#include <vector>

#include "model/Support.h"
#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Movement.h"
#include "model/personage/Personage.h"
#include "model/personage/Personage_Rules.h"
#include "model/save/BetaLog.h"
#include "model/tables/Global.h"
#include "model/world/Army_Operations.h"
#include "model/world/World_Economy.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PartyContext.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_DragItem.h"
#include "screens/kit/Duskmarch_InfoWindows.h"
#include "screens/kit/Duskmarch_Inventory.h"
#include "screens/kit/Duskmarch_ObjectTags.h"

TArmyPanelHooks ArmyPanelHooks;

namespace {

TGameArmy* ArmyOf(int32_t army)
{
    return army >= 0 && static_cast<size_t>(army) < GameArmies.size() ? &GameArmies[static_cast<size_t>(army)]
                                                                      : nullptr;
}

TPersonage* RecordOf(int32_t army, int32_t slot)
{
    if (army < 0 || static_cast<size_t>(army) >= ArmyUnits.size() || slot < 1 || slot > ArmySlotCount)
        return nullptr;
    return &ArmyUnits[static_cast<size_t>(army)][slot];
}

// The grid cell of (row, column), nullptr outside the grid or the tables.
int32_t* CellOf(int32_t army, int32_t row, int32_t column)
{
    TGameArmy* a = ArmyOf(army);
    if (a == nullptr || row < 1 || row > 3 || column < 1 || column > 6)
        return nullptr;
    return &a->Formation[row - 1][column - 1];
}

int32_t PlayerBuilding()
{
    const TGameArmy* player = ArmyOf(PlayerArmy);
    return player != nullptr ? player->Building : 0;
}

int32_t IconIndexOf(const TPersIcon* icon)
{
    if (icon == nullptr)
        return -1;
    const TPanelSlotTag* tag = PanelSlotTagOf(icon->GuiObject);
    return tag != nullptr ? tag->Index : -1;
}

TArmyPanel* PanelOfPlace(const TGUI_Object* place)
{
    return place != nullptr ? static_cast<TArmyPanel*>(ObjectTagTarget(place->Tag, TagKindPanel)) : nullptr;
}

// A personage moving between the player's army and another writes kind 47
// for the one leaving the player's army and 48 for the one entering it,
// before any record moves.
void WriteMoveTelemetry(int32_t sourceArmy, int32_t sourceSlot, int32_t targetArmy, int32_t targetSlot)
{
    const int32_t building = PlayerBuilding();
    if (sourceArmy == PlayerArmy) {
        BetaLogWritePersonageEvent(sourceArmy, sourceSlot, building, 47);
        if (targetSlot > 0)
            BetaLogWritePersonageEvent(targetArmy, targetSlot, building, 48);
    } else if (targetArmy == PlayerArmy) {
        if (targetSlot > 0)
            BetaLogWritePersonageEvent(targetArmy, targetSlot, building, 47);
        BetaLogWritePersonageEvent(sourceArmy, sourceSlot, building, 48);
    }
}

void DropPersonage(TArmyPanel& panel)
{
    const int32_t t = panel.HoverSlot;
    TPersIcon& target = panel.Icons[t];
    TPersIcon* source = DragItem.SourceIcon;
    // The cell comes from the icon: an empty icon carries no column.
    const int32_t r = PanelSlotRow(t), c = PanelSlotColumn(t);
    const int32_t sourceArmy = DragItem.SourceArmy, sourceSlot = DragItem.SourceSlot;
    int32_t* cell = CellOf(panel.Army, r, c);
    if (source == nullptr || cell == nullptr || DragItem.PersonageCopy == nullptr) {
        DragItem.Finish(true);
        return;
    }
    const int32_t sr = source->Row, sc = source->Column;
    if (ArmyPanelHooks.SwapArenaPersonageModels != nullptr)
        ArmyPanelHooks.SwapArenaPersonageModels(IconIndexOf(source), t);

    const int32_t s2 = *cell;
    if (sourceArmy == panel.Army) {
        if (s2 != 0) {
            if (int32_t* home = CellOf(sourceArmy, sr, sc))
                *home = s2;
            if (TPersonage* other = RecordOf(sourceArmy, s2)) {
                other->FormationRow = sr;
                other->FormationColumn = sc;
                source->SetPersonage(other, sourceArmy, s2, sr, sc);
            }
        }
        *cell = sourceSlot;
        if (TPersonage* moved = RecordOf(sourceArmy, sourceSlot)) {
            moved->FormationRow = r;
            moved->FormationColumn = c;
            target.SetPersonage(moved, sourceArmy, sourceSlot, r, c);
        }
    } else {
        TPersonage* sourceRecord = RecordOf(sourceArmy, sourceSlot);
        if (s2 != 0) {
            TPersonage* targetRecord = RecordOf(panel.Army, s2);
            if (sourceRecord == nullptr || targetRecord == nullptr) {
                DragItem.Finish(true);
                return;
            }
            WriteMoveTelemetry(sourceArmy, sourceSlot, panel.Army, s2);
            *sourceRecord = *targetRecord;
            sourceRecord->FormationRow = sr;
            sourceRecord->FormationColumn = sc;
            if (int32_t* home = CellOf(sourceArmy, sr, sc))
                *home = sourceSlot;
            source->SetPersonage(sourceRecord, sourceArmy, sourceSlot, sr, sc);
            *targetRecord = *DragItem.PersonageCopy;
            targetRecord->FormationRow = r;
            targetRecord->FormationColumn = c;
            *cell = s2;
            target.SetPersonage(targetRecord, panel.Army, s2, r, c);
        } else {
            int32_t free = 0;
            for (int32_t slot = 1; slot <= ArmySlotCount && free == 0; slot++)
                if (const TPersonage* p = RecordOf(panel.Army, slot); p != nullptr && p->UnitType == 0)
                    free = slot;
            if (free == 0 || sourceRecord == nullptr) {
                // No room: the drag is cancelled, so the personage keeps both
                // its record and its cell.
                DragItem.Finish(true);
                return;
            }
            WriteMoveTelemetry(sourceArmy, sourceSlot, panel.Army, 0);
            TPersonage* placed = RecordOf(panel.Army, free);
            *placed = *DragItem.PersonageCopy;
            placed->FormationRow = r;
            placed->FormationColumn = c;
            *cell = free;
            target.SetPersonage(placed, panel.Army, free, r, c);
            if (int32_t* home =
                    CellOf(sourceArmy, DragItem.PersonageCopy->FormationRow, DragItem.PersonageCopy->FormationColumn))
                *home = 0;
            *sourceRecord = TPersonage{};
            if (const TPanelSlotTag* tag = PanelSlotTagOf(source->GuiObject); tag != nullptr && tag->Panel != nullptr)
                if (tag->Panel->DropTarget != nullptr)
                    tag->Panel->DropTarget->Enabled = 0;
            if (panel.DropTarget != nullptr)
                panel.DropTarget->Enabled = 1;
        }
        UpdateArmyTotals(sourceArmy);
        UpdateArmyTotals(panel.Army);
        CalcArmyEconomy(PlayerArmy, -1);
    }
    panel.SelectedSlot = panel.HoverSlot;
    DragItem.Finish(false);
    UpdateResourcePanel();
}

// Items handed back by the model go to the list, else into the player's
// army's carried items; none is dropped.
void TakeItems(TInventoryList* list, const TIntArray& items)
{
    bool added = false;
    for (int32_t item : items) {
        if (item == 0)
            continue;
        if (list != nullptr)
            list->AddItem(item);
        else
            AddArmyItem(PlayerArmy, item);
        BetaLogWriteItem(item, 2);
        added = true;
    }
    if (list != nullptr && added)
        list->ShowCategory(list->FilterCode);
}

void DropItem(TArmyPanel& panel)
{
    TPersIcon& target = panel.Icons[panel.HoverSlot];
    if (target.Personage == nullptr)
        return;
    const int32_t item = DragItem.ItemNumber;
    if (GetItemEquipRefusal(*target.Personage, GetItemIndex(item), 0) != 0)
        return;
    TIntArray removed;
    EquipItem(*target.Personage, item, 0, removed, GetAlchemyFactor(PlayerArmy));
    // What the item displaced goes where the item came from: the source
    // cell's list, else its linked list (the bag or the army's list).
    TInventoryList* list = nullptr;
    if (const TInventoryCell* cell = DragItem.SourceCell)
        list = cell->List != nullptr ? cell->List : cell->LinkedList;
    TakeItems(list, removed);
    PartyRefreshTentPersonageModel(target.Slot, item, panel.HoverSlot == panel.SelectedSlot);
    DragItem.Finish(false);
}

} // namespace

// ---------------------------------------------------------------------------
// Geometry

int32_t PanelSlotRow(int32_t icon)
{
    if (icon >= 0 && icon <= 4)
        return 1;
    if (icon >= 5 && icon <= 8)
        return 2;
    if (icon >= 9 && icon <= 11)
        return 3;
    return 0;
}

int32_t PanelSlotColumn(int32_t icon)
{
    switch (PanelSlotRow(icon)) {
    case 1:
        return icon + 1;
    case 2:
        return icon - 3;
    case 3:
        return icon - 7;
    default:
        return 0;
    }
}

int32_t PanelIconOfCell(int32_t row, int32_t column)
{
    if (row == 1 && column >= 1 && column <= 5)
        return column - 1;
    if (row == 2 && column >= 2 && column <= 5)
        return column + 3;
    if (row == 3 && column >= 2 && column <= 4)
        return column + 7;
    return -1;
}

std::string PanelIconName(uint8_t kind, int32_t icon)
{
    static const char* const Names[4] = {"ArmyPersIcon", "GarrisonPersIcon", "VictoryPersIcon", "InfoPersIcon"};
    return std::string(Names[kind < 4 ? kind : 0]) + std::to_string(icon);
}

TPanelSlotTag* PanelSlotTagOf(const TGUI_Object* object)
{
    return object != nullptr ? static_cast<TPanelSlotTag*>(ObjectTagTarget(object->Tag, TagKindPanelSlot)) : nullptr;
}

// ---------------------------------------------------------------------------
// The panel

void TArmyPanel::Create(TGUI_GraphicWindow* window, uint8_t kind)
{
    Army = -1;
    Kind = kind;
    Window = window;
    HoverSlot = SelectedSlot = -1;
    Enabled = 1;
    DropTarget = nullptr;
    const bool editing = kind == PanelArmy || kind == PanelGarrison;
    if (kind == PanelVictory && MainRender != nullptr)
        ExpPlace = LoadSprite(WindowsFolder + "Common\\Exp_Place.DDS", 0);
    for (int32_t i = 0; i < PanelIconCount; i++) {
        SlotTags[i].Index = i;
        SlotTags[i].Panel = this;
        SlotTags[i].ShowExp = 0;
        TPersIcon& icon = Icons[i];
        icon.Create(window, IconArmySlot, PanelIconName(kind, i));
        icon.Row = PanelSlotRow(i);
        TGUI_Object* object = icon.GuiObject;
        object->Tag = ObjectTagFor(&SlotTags[i], TagKindPanelSlot);
        object->OnEnter = ArmySlotEnter;
        object->OnLeave = ArmySlotLeave;
        object->OnOverPressed = ArmySlotHeld;
        if (editing) {
            object->OnMouseDown = ArmySlotPress;
            object->OnClick = ArmySlotClick;
            object->OnOver = ArmySlotDrop;
        }
        if (kind == PanelVictory && MainRender != nullptr)
            CreateInterfaceSprite(SlotTags[i].ExpLabel);
    }
}

void TArmyPanel::Destroy()
{
    for (int32_t i = 0; i < PanelIconCount; i++) {
        Icons[i].Destroy();
        ReleaseObjectTag(&SlotTags[i]);
        if (SlotTags[i].ExpLabel >= 0 && MainRender != nullptr)
            MainRender->Sprite_Free(SlotTags[i].ExpLabel);
        SlotTags[i].ExpLabel = -1;
    }
    if (ExpPlace >= 0 && MainRender != nullptr)
        MainRender->Sprite_Free(ExpPlace);
    ExpPlace = -1;
    ReleaseObjectTag(this);
}

void TArmyPanel::BindDropTarget(TGUI_Object* object)
{
    DropTarget = object;
    if (object == nullptr)
        return;
    object->OnClick = BanishPlaceClick;
    object->OnEnter = BanishPlaceEnter;
    object->Tag = ObjectTagFor(this, TagKindPanel);
    BanishPlaceEnter(object);
}

void TArmyPanel::SetArmy(int32_t army)
{
    Army = army;
    HoverSlot = SelectedSlot = -1;
    if (DropTarget != nullptr)
        DropTarget->Enabled = 0;
    for (int32_t i = 0; i < PanelIconCount; i++) {
        Icons[i].SetPersonage(nullptr, army, 0, PanelSlotRow(i), 0);
        Icons[i].Flags = 0;
        SlotTags[i].ShowExp = 0;
    }
    for (int32_t slot = 1; slot <= 12; slot++)
        if (const TPersonage* p = RecordOf(army, slot); p != nullptr && p->UnitType != 0)
            SetSlot(army, slot, nullptr);
}

void TArmyPanel::SetSlot(int32_t army, int32_t slot, const TPersIcon* fromIcon)
{
    TPersonage* p = RecordOf(army, slot);
    if (p == nullptr)
        return;
    const int32_t icon = PanelIconOfCell(p->FormationRow, p->FormationColumn);
    if (icon < 0)
        return;
    if ((Kind == PanelVictory || Kind == PanelInfo) && p->Hits <= 0)
        return;
    TPersIcon& bound = Icons[icon];
    bound.SetPersonage(p, army, slot, p->FormationRow, p->FormationColumn);
    if (fromIcon != nullptr && fromIcon->Kind == IconHireCard && fromIcon->GuiObject != nullptr &&
        bound.GuiObject != nullptr) {
        bound.SlideFromX = fromIcon->GuiObject->X;
        bound.SlideFromY = fromIcon->GuiObject->Y;
        bound.SlideToX = bound.GuiObject->X;
        bound.SlideToY = bound.GuiObject->Y;
        bound.SlideStart = GetFrameTime(false);
        bound.Flags |= IconSliding;
    }
}

void TArmyPanel::Layout(int32_t x, int32_t y, int32_t rowShiftX, int32_t rowStepY)
{
    static constexpr int32_t RowFirst[3] = {0, 5, 9};
    for (int32_t i = 0; i < PanelIconCount; i++) {
        const int32_t r = PanelSlotRow(i) - 1;
        const int32_t p = i - RowFirst[r];
        const int32_t width = Icons[i].GuiObject != nullptr ? Icons[i].GuiObject->Width : 0;
        Icons[i].SetPosition(x + r * rowShiftX + p * width, y + r * rowStepY);
    }
}

void TArmyPanel::SetEnabled(bool on)
{
    Enabled = on ? 1 : 0;
    for (TPersIcon& icon : Icons)
        icon.SetEnabled(on);
}

void TArmyPanel::Draw()
{
    if (Enabled == 0)
        return;
    for (int32_t i = 0; i < PanelIconCount; i++) {
        TPersIcon& icon = Icons[i];
        if (i == SelectedSlot)
            icon.Flags |= IconSelected;
        else
            icon.Flags &= static_cast<uint8_t>(~IconSelected);
        if (Kind == PanelVictory && ExpPlace >= 0 && icon.GuiObject != nullptr)
            DrawSpriteAt(ExpPlace, icon.GuiObject->X, icon.GuiObject->Y + icon.GuiObject->Height - 4, -1);
        icon.Draw(0, 0);
    }
    if (Kind != PanelVictory)
        return;
    for (int32_t i = 0; i < PanelIconCount; i++)
        if (SlotTags[i].ShowExp != 0 && Icons[i].GuiObject != nullptr)
            DrawSpriteAt(SlotTags[i].ExpLabel, Icons[i].GuiObject->X,
                         Icons[i].GuiObject->Y + Icons[i].GuiObject->Height, -1);
}

void ShowExperienceGain(TArmyPanel& panel, int32_t slot, int32_t experience)
{
    const TGameArmy* army = ArmyOf(panel.Army);
    if (army == nullptr || slot == 0)
        return;
    for (int32_t row = 1; row <= 3; row++)
        for (int32_t column = 1; column <= 6; column++) {
            if (army->Formation[row - 1][column - 1] != slot)
                continue;
            const int32_t icon = PanelIconOfCell(row, column);
            if (icon < 0)
                continue;
            TPanelSlotTag& tag = panel.SlotTags[icon];
            tag.ShowExp = 1;
            T3D_Render* render = MainRender;
            const int32_t font = FontSlots[28];
            if (render == nullptr || tag.ExpLabel < 0 || font < 0 || font >= static_cast<int32_t>(render->Fonts.size()))
                return;
            render->Fonts[static_cast<size_t>(font)]->PrintText("+" + std::to_string(experience), tag.ExpLabel, 0,
                                                                0xFF000000u);
            if (T3D_Sprite* label = render->Sprite_Get(tag.ExpLabel)) {
                const int32_t width = panel.Icons[icon].GuiObject != nullptr ? panel.Icons[icon].GuiObject->Width : 0;
                label->SetPosition(static_cast<float>(std::nearbyint((width - label->Width) / 2.0)), -6.0f);
            }
            return;
        }
}

// ---------------------------------------------------------------------------
// The personage side of the drag record

TPersIcon* TDragItem::StartPersonage(uint8_t panelKind, int32_t army, int32_t slot, TPersIcon* icon)
{
    if (icon == nullptr || icon->Personage == nullptr)
        return nullptr;
    Active = 1;
    Kind = DragKindPersonage;
    SourcePanelKind = panelKind;
    SourceArmy = army;
    SourceSlot = slot;
    SourceIcon = icon;
    PersonageCopy = new TPersonage(*icon->Personage);
    DragIcon = new TPersIcon();
    DragIcon->Create(nullptr, IconArmySlot, "");
    DragIcon->SetPersonage(PersonageCopy, army, slot, icon->Row, icon->Column);
    DragIcon->Kind = IconDragged;
    return DragIcon;
}

void TDragItem::FinishPersonage(bool restore)
{
    if (restore && SourceIcon != nullptr) {
        TPersIcon& icon = *SourceIcon;
        if (int32_t* cell = CellOf(SourceArmy, icon.Row, icon.Column)) {
            *cell = SourceSlot;
            icon.SetPersonage(RecordOf(SourceArmy, SourceSlot), SourceArmy, SourceSlot, icon.Row, icon.Column);
        }
    }
    delete PersonageCopy;
    PersonageCopy = nullptr;
    if (DragIcon != nullptr) {
        DragIcon->Destroy();
        delete DragIcon;
        DragIcon = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Handlers

void ShowPanelHint(TGUI_Object* owner, const std::string& section, const std::string& key)
{
    THint& hint = MainHint();
    hint.Attach(HintCloseAwayFromOwner, HintOpenOverOwner, owner, true, -1);
    hint.Clear(HintSmallFrame, 0);
    hint.NewLine();
    std::u16string text;
    if (TextsIni != nullptr) {
        TextsIni->SelectSection(section);
        text = GetLocalizedText(*TextsIni, key);
    }
    if (TGUI_StringList* list = hint.GetLineList())
        list->AddText(text, HintFont, HintFont, 1, HintTextColour, -1000);
    hint.Layout();
}

const char* PanelDropRefusal(const TArmyPanel& panel, int32_t icon)
{
    if (icon < 0 || icon >= PanelIconCount || DragItem.Active == 0)
        return nullptr;
    const TPersonage* held = panel.Icons[icon].Personage;
    if (DragItem.Kind == DragKindPersonage) {
        const TPersonage* dragged = DragItem.PersonageCopy;
        if (dragged == nullptr || DragItem.SourceArmy == panel.Army)
            return nullptr;
        if (DragItem.SourceArmy == PlayerArmy) {
            if (DragItem.SourceSlot == 1)
                return "PersMove_Hero";
            if (dragged->ImportantNPC != 0 || dragged->HireKind > 2)
                return "PersMove_Ally";
            if (held != nullptr && held->HireKind == 0 && dragged->HireKind > 0 && !HasFreeSupport(PlayerArmy))
                return "PersExchange_Support";
        }
        if (panel.Army == PlayerArmy) {
            if (held != nullptr) {
                if (panel.Icons[icon].Slot == 1)
                    return "PersExchange_Hero";
                if (held->UnitType < 0 || held->ImportantNPC != 0 || held->HireKind > 2)
                    return "PersExchange_Ally";
                if (dragged->HireKind == 0 && held->HireKind > 0 && !HasFreeSupport(PlayerArmy))
                    return "PersExchange_Support";
            } else if (dragged->HireKind == 0 && !HasFreeSupport(PlayerArmy)) {
                return "PersMove_NotEnoughSupport";
            }
        }
        return nullptr;
    }
    if (DragItem.Kind == DragKindItem && held != nullptr) {
        const uint8_t code = GetItemEquipRefusal(*held, GetItemIndex(DragItem.ItemNumber), 0);
        if (code != 0)
            return ItemEquipRefusalKey(code);
    }
    return nullptr;
}

void ArmySlotEnter(TGUI_Object* object)
{
    TPanelSlotTag* tag = PanelSlotTagOf(object);
    if (tag == nullptr || tag->Panel == nullptr)
        return;
    TArmyPanel& panel = *tag->Panel;
    TPersIcon& icon = panel.Icons[tag->Index];
    if (const TPersonage* p = icon.Personage) {
        if (p->Hits == 0)
            ShowPanelHint(object, "Hints", "NotFightInBattle_Dead");
        else if (p->Hits == 1)
            ShowPanelHint(object, "Hints", "NotFightInBattle_Wounded");
        else if (p->UpkeepDebt > 0)
            ShowPanelHint(object, "Hints", "NotFightInBattle_NoMoney");
    }
    if (const char* refusal = PanelDropRefusal(panel, tag->Index)) {
        ShowPanelHint(object, "Hints", refusal);
        panel.HoverSlot = -1;
        icon.Flags |= IconLocked;
    } else {
        panel.HoverSlot = tag->Index;
        icon.Flags &= static_cast<uint8_t>(~IconLocked);
    }
}

void ArmySlotLeave(TGUI_Object* object)
{
    TPanelSlotTag* tag = PanelSlotTagOf(object);
    if (tag == nullptr || tag->Panel == nullptr)
        return;
    tag->Panel->HoverSlot = -1;
    tag->Panel->Icons[tag->Index].Flags &= static_cast<uint8_t>(~IconLocked);
}

void ArmySlotPress(TGUI_Object* object)
{
    TPanelSlotTag* tag = PanelSlotTagOf(object);
    if (tag == nullptr || tag->Panel == nullptr)
        return;
    TArmyPanel& panel = *tag->Panel;
    panel.PressX = GUI_Input.VirtualX;
    panel.PressY = GUI_Input.VirtualY;
    const TPersIcon& icon = panel.Icons[tag->Index];
    if (icon.Personage == nullptr)
        return;
    panel.SelectedSlot = tag->Index;
    if (panel.DropTarget != nullptr) {
        const bool hero = panel.Army == PlayerArmy && icon.Slot == 1;
        panel.DropTarget->Enabled = hero || icon.Personage->ImportantNPC != 0 ? 0 : 1;
    }
    if (ArmyPanelHooks.SelectionChanged != nullptr)
        ArmyPanelHooks.SelectionChanged(panel);
}

void ArmySlotHeld(TGUI_Object* object)
{
    TPanelSlotTag* tag = PanelSlotTagOf(object);
    if (tag == nullptr || tag->Panel == nullptr)
        return;
    TArmyPanel& panel = *tag->Panel;
    if (panel.HoverSlot < 0)
        return;
    TPersIcon& icon = panel.Icons[panel.HoverSlot];
    if (icon.Personage == nullptr)
        return;
    if (GUI_Keys[GUI_KEY_RBUTTON].Down != 0) {
        std::string scene = "2D";
        if (panel.Window != nullptr && MainRender != nullptr)
            if (const T3D_Scene* s = MainRender->Scene_Get(panel.Window->DrawScene))
                scene = s->Name;
        PersonageInfoScreen_Open(PersonageInfoPopup, scene, GUI_Input.VirtualX, GUI_Input.VirtualY, *icon.Personage);
        return;
    }
    if (GUI_Keys[GUI_KEY_LBUTTON].Down == 0 || (panel.Kind != PanelArmy && panel.Kind != PanelGarrison) ||
        DragItem.Active != 0)
        return;
    const int32_t dx = GUI_Input.VirtualX - panel.PressX, dy = GUI_Input.VirtualY - panel.PressY;
    if (dx * dx + dy * dy < 9)
        return;
    int32_t* cell = CellOf(panel.Army, icon.Row, icon.Column);
    if (cell == nullptr || *cell == 0)
        return;
    DragItem.StartPersonage(panel.Kind, panel.Army, *cell, &icon);
    DragItem.GrabX = GUI_Input.VirtualX - icon.GuiObject->X;
    DragItem.GrabY = GUI_Input.VirtualY - icon.GuiObject->Y;
    *cell = 0;
    icon.SetPersonage(nullptr, panel.Army, 0, icon.Row, icon.Column);
    panel.SelectedSlot = -1;
}

void ArmySlotDrop(TGUI_Object* object)
{
    TPanelSlotTag* tag = PanelSlotTagOf(object);
    if (tag == nullptr || tag->Panel == nullptr)
        return;
    TArmyPanel& panel = *tag->Panel;
    if (panel.HoverSlot < 0) {
        panel.Icons[tag->Index].Flags &= static_cast<uint8_t>(~IconLocked);
        MainHint().Close();
        return;
    }
    if (DragItem.Active == 0)
        return;
    if (DragItem.Kind == DragKindPersonage)
        DropPersonage(panel);
    else if (DragItem.Kind == DragKindItem)
        DropItem(panel);
}

void ArmySlotClick(TGUI_Object* object)
{
    TPanelSlotTag* tag = PanelSlotTagOf(object);
    if (tag == nullptr || tag->Panel == nullptr)
        return;
    TArmyPanel& panel = *tag->Panel;
    if (panel.HoverSlot != -1 || DragItem.Active == 0 || DragItem.Kind != DragKindPersonage)
        return;
    const int32_t source = IconIndexOf(DragItem.SourceIcon);
    DragItem.Finish(true);
    if (source >= 0)
        panel.SelectedSlot = source;
}

void BanishPlaceEnter(TGUI_Object* object)
{
    TArmyPanel* panel = PanelOfPlace(object);
    if (panel == nullptr)
        return;
    ShowPanelHint(object, "Texts", "BanishCharacter");
    uint8_t enabled = 0;
    if (panel->SelectedSlot >= 0 && panel->SelectedSlot < PanelIconCount) {
        const TPersIcon& icon = panel->Icons[panel->SelectedSlot];
        const bool hero = panel->Army == PlayerArmy && icon.Slot == 1;
        enabled = icon.Personage != nullptr && !hero && icon.Personage->UnitType >= 0 ? 1 : 0;
    }
    object->Enabled = enabled;
}

void BanishPlaceClick(TGUI_Object* object)
{
    TArmyPanel* panel = PanelOfPlace(object);
    if (panel == nullptr || panel->SelectedSlot < 0 || panel->SelectedSlot >= PanelIconCount)
        return;
    TPersIcon& icon = panel->Icons[panel->SelectedSlot];
    if (icon.Personage == nullptr || (panel->Army == PlayerArmy && icon.Slot == 1) || icon.Personage->UnitType < 0)
        return;
    const int32_t army = panel->Army, slot = icon.Slot;
    // The record names the personage dismissed, so it is written before the
    // slots after it move down.
    BetaLogWritePersonageEvent(army, slot, PlayerBuilding(), 46);
    TIntArray removed;
    RemovePersonage(army, slot, false, removed);
    icon.SetPersonage(nullptr, army, 0, icon.Row, icon.Column);
    panel->SelectedSlot = -1;
    object->Enabled = 0;
    TakeItems(ArmyPanelHooks.DismissList != nullptr ? ArmyPanelHooks.DismissList() : nullptr, removed);
    panel->SetArmy(army);
    CalcArmyEconomy(PlayerArmy, -1);
    UpdateResourcePanel();
    if (ArmyPanelHooks.Dismissed != nullptr)
        ArmyPanelHooks.Dismissed(*panel);
    BanishPlaceEnter(object);
}
