#include "screens/map/Duskmarch_SaveLoad.h"

#include <algorithm>
#include <cmath>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "model/save/SavedGame.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_SharedSprites.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "screens/kit/Duskmarch_Base_Sound.h"

TGUI_GraphicWindow* SaveLoadWindow = nullptr;
uint8_t SaveLoadMode = SaveLoadNone;
int32_t SelectedSave = -1;
bool SaveLoadHotkeyHeld = false;
std::string PlaceholderSaveFile;
TSaveListRegion SaveListRegion;
float SaveListPosition = 0;

namespace {

constexpr uint32_t SaveTextBlack = 0xFF000000u;
constexpr int32_t SaveCrossSize = 36;
constexpr int32_t KeyEnter = 13;
constexpr int32_t KeyUp = 0x26;
constexpr int32_t KeyDown = 0x28;

int32_t SaveRowNormal = -1, SaveRowGlow = -1, SaveRowSelected = -1;
TGUI_Edit* SaveNameEdit = nullptr;
TGUI_Button* SaveCross = nullptr;
TGUI_Object* SaveWheelCatcher = nullptr;
// The key (Enter or Esc) whose release clicks its button.
int32_t SaveLoadHeldKey = 0;

int32_t SaveListFont()
{
    return FontSlots[21]; // 21 pixels
}
int32_t SaveInfoFont()
{
    return FontSlots[18]; // 15 pixels
}

TGUI_Object* SaveLoadObject(const char* name)
{
    return SaveLoadWindow != nullptr ? SaveLoadWindow->FindObject(name) : nullptr;
}
TGUI_Button* SaveLoadButton(const char* name)
{
    return dynamic_cast<TGUI_Button*>(SaveLoadObject(name));
}

void SaveLoadSound(int32_t id)
{
    if (id > 0 && SoundDevice != nullptr)
        Sound_Play(id, true, false);
}

int32_t LoadSaveLoadSprite(const std::string& name, const char* extension = ".tga")
{
    if (MainRender == nullptr)
        return -1;
    const std::string file = WindowsFolder + "SaveLoad\\" + name + extension;
    if (!FileExistsMask(file))
        return -1;
    const int32_t sprite = MainRender->Sprite_Add(1, 1);
    if (T3D_Sprite* s = MainRender->Sprite_Get(sprite))
        s->LoadTexture(file, 0);
    return sprite;
}

void SetEnabled(const char* name, bool enabled)
{
    if (TGUI_Object* object = SaveLoadObject(name))
        object->Enabled = enabled ? 1 : 0;
}

void ReleaseRow(TSavedGameEntry& entry)
{
    if (entry.Row == nullptr)
        return;
    entry.Row->Held = 0;
    entry.Row->Normal = SaveRowNormal;
    entry.Row->Current = SaveRowNormal;
    entry.Row->FadeTime = 0;
}

TGUI_ScrollBar* SaveScrollBar()
{
    return dynamic_cast<TGUI_ScrollBar*>(SaveLoadObject("sb_Bar"));
}

void SetSaveListPosition(float position)
{
    SaveListPosition = std::clamp(position, 0.0f, 1.0f);
    if (TGUI_ScrollBar* bar = SaveScrollBar())
        bar->SetPosition(SaveListPosition);
}

void ScrollSaveList(int32_t direction)
{
    if (SaveNameEdit != nullptr && SaveNameEdit->HasFocus())
        return;
    const float step = SaveListScrollStep(static_cast<int32_t>(ShownSaveList().size()), SaveListRegion.Height);
    if (step <= 0)
        return;
    SetSaveListPosition(SaveListPosition + static_cast<float>(direction) * step);
    LayoutSaveRows();
}

bool IsPlaceholderRow(const TSavedGameEntry& entry)
{
    return !PlaceholderSaveFile.empty() && entry.FileName == PlaceholderSaveFile;
}

bool LastOwnRowIsPlaceholder()
{
    return !PrivateSaves.empty() && IsPlaceholderRow(PrivateSaves.back());
}

void HideSaveNameEdit()
{
    if (SaveNameEdit == nullptr)
        return;
    if (GUI_Input.FocusedEdit == SaveNameEdit)
        GUI_Input.FocusedEdit = nullptr;
    SaveNameEdit->Visible = 0;
    SaveNameEdit->Enabled = 0;
}

void SaveCrossDown(TGUI_Object*)
{
    if (SaveCross == nullptr)
        return;
    const int32_t row = SaveCross->Tag;
    SaveCross->X = SaveCross->Y = -SaveCrossSize;
    TSavedGameArr& list = ShownSaveList();
    if (row < 0 || row >= static_cast<int32_t>(list.size()))
        return;
    if (IsPlaceholderRow(list[static_cast<size_t>(row)]))
        PlaceholderSaveFile.clear();
    DeleteSaveEntry(list, row);
    SelectedSave = -1;
    SetEnabled("b_Yes", false);
    SetEnabled("b_D", false);
    SetSaveListPosition(SnapSaveListPosition(static_cast<int32_t>(list.size()), SaveListPosition));
    LayoutSaveRows();
}

void SaveCrossEnter(TGUI_Object* object)
{
    if (TextsIni != nullptr && TextsIni->SelectSection("Hints"))
        ShowHintTextAt(GetLocalizedText(*TextsIni, "SaveLoad_Delete_CurrentSave"), object);
}

void SaveRowEnter(TGUI_Object* row)
{
    if (SaveCross == nullptr || row == nullptr)
        return;
    SaveCross->X = row->X + 758;
    SaveCross->Y = row->Y + 40;
    SaveCross->Tag = row->Tag;
    SaveCross->Visible = row->Visible;
}

void SaveTabDown(TGUI_Object* object)
{
    const bool automatic = object == SaveLoadObject("b_Auto");
    if (auto* other = SaveLoadButton(automatic ? "b_Private" : "b_Auto"))
        other->ClearHeld();
    if (auto* self = dynamic_cast<TGUI_Button*>(object))
        self->SetHeld();
    SaveLoadScreen_SetMode(automatic ? SaveLoadAuto : SaveLoadOwn);
    SelectedSave = -1;
}

void DrawSaveRows()
{
    if (MainRender == nullptr || SaveLoadWindow == nullptr)
        return;
    const int32_t scene = SaveLoadWindow->DrawScene;
    const TSaveListRegion& r = SaveListRegion;
    MainRender->ClipRect_Push(scene, r.X, r.Y + SaveListMargin, r.X + r.Width, r.Y + r.Height - SaveListMargin,
                              false);
    for (TSavedGameEntry& entry : ShownSaveList()) {
        if (entry.Row == nullptr || entry.Row->Visible == 0)
            continue;
        entry.Row->Draw(scene);
        if (entry.NameSprite != nullptr && entry.NameSprite->Visible != 0)
            entry.NameSprite->Draw(scene);
        if (entry.ScenarioSprite != nullptr)
            entry.ScenarioSprite->Draw(scene);
        if (entry.InfoSprite != nullptr)
            entry.InfoSprite->Draw(scene);
    }
    MainRender->ClipRect_Pop(scene);
    if (SaveNameEdit != nullptr && SaveNameEdit->Visible != 0)
        SaveNameEdit->Draw(scene);
    if (SaveCross != nullptr && SaveCross->Visible != 0)
        SaveCross->Draw(scene);
    if (TGUI_ScrollBar* bar = SaveScrollBar())
        if (bar->Position != SaveListPosition) {
            SaveListPosition = bar->Position;
            LayoutSaveRows();
        }
    const int32_t mx = GUI_Input.VirtualX, my = GUI_Input.VirtualY;
    if (GUI_Input.Wheel != 0 && mx >= r.X && mx < r.X + r.Width && my >= r.Y && my < r.Y + r.Height)
        ScrollSaveList(GUI_Input.Wheel > 0 ? -1 : 1);
}

void SaveLoadKeys()
{
    TGUI_Object* yes = SaveLoadObject("b_Yes");
    TGUI_Object* no = SaveLoadObject("b_No");
    if (SaveLoadHeldKey == 0) {
        for (const int32_t key : {KeyEnter, HotkeyEscape}) {
            TGUI_Object* button = key == KeyEnter ? yes : no;
            if (button != nullptr && GUI_Keys[key].Down != 0 && button->Enabled != 0) {
                SaveLoadHeldKey = key;
                button->MouseDown();
                break;
            }
        }
    } else if (GUI_Keys[SaveLoadHeldKey].Released != 0) {
        TGUI_Object* button = SaveLoadHeldKey == KeyEnter ? yes : no;
        SaveLoadHeldKey = 0;
        if (button != nullptr)
            button->MouseUp();
    }
    if (GUI_Keys[KeyDown].Released != 0)
        ScrollSaveList(1);
    if (GUI_Keys[KeyUp].Released != 0)
        ScrollSaveList(-1);
}

void ReadSaveListRegion()
{
    if (SaveLoadWindow == nullptr)
        return;
    // "rgn_Saves" is a sprite of the description: its place is read from
    // the window's values.
    const TGUI_GraphicWindow& w = *SaveLoadWindow;
    SaveListRegion = {w.GetValue("rgn_Saves.x"), w.GetValue("rgn_Saves.y"), std::max(w.GetValue("rgn_Saves.width"), 1),
                      std::max(w.GetValue("rgn_Saves.height"), 1)};
    if (SaveWheelCatcher != nullptr) {
        SaveWheelCatcher->X = SaveListRegion.X;
        SaveWheelCatcher->Y = SaveListRegion.Y;
        SaveWheelCatcher->Width = SaveListRegion.Width;
        SaveWheelCatcher->Height = SaveListRegion.Height;
    }
}

void CloseSaveLoadWindow()
{
    if (SaveLoad_Window != nullptr)
        RequestScreenClose(SaveLoad_Window);
    MapFrozen = 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Pure rules

TSaveRowPlace SaveRowPlace(const TSaveListRegion& region, int32_t i, int32_t n, float position)
{
    TSaveRowPlace place;
    place.X = region.X + (region.Width - SaveRowWidth) / 2;
    place.Y = region.Y + SaveListMargin + (n - i - 1) * SaveRowPitch;
    if (n * SaveRowPitch > region.Height - 2 * SaveListMargin)
        place.Y -= static_cast<int32_t>(std::nearbyint(
            static_cast<double>(n * SaveRowPitch + 2 * SaveListMargin - region.Height - 8) * position));
    const int32_t top = region.Y + SaveListMargin, bottom = region.Y + region.Height - SaveListMargin;
    place.Visible = top < place.Y + SaveRowHeight && place.Y < bottom;
    place.Enabled = place.Y >= top && place.Y + SaveRowHeight <= bottom;
    return place;
}

float SnapSaveListPosition(int32_t n, float position)
{
    if (n < 10)
        return position;
    const float steps = static_cast<float>(n - 8);
    return static_cast<float>(std::nearbyint(steps * position)) / steps;
}

float SaveListScrollStep(int32_t n, int32_t regionHeight)
{
    const int32_t hidden = n - (regionHeight + 8) / SaveRowPitch;
    return hidden > 0 ? 1.0f / static_cast<float>(hidden) : 0.0f;
}

std::u16string SaveDateLine(const TSavedGameEntry& entry)
{
    if (entry.GameMinutes <= 0 || entry.Month <= 0)
        return std::u16string();
    const int32_t minuteOfDay = entry.GameMinutes % 1440;
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d", minuteOfDay / 60, minuteOfDay % 60);
    std::u16string month = OS_MultiByteToWide(0, std::to_string(entry.Month));
    if (entry.Month <= 12 && !MonthNames[entry.Month - 1].empty())
        month = MonthNames[entry.Month - 1];
    return OS_MultiByteToWide(0, time) + u" " + OS_MultiByteToWide(0, std::to_string(entry.Day)) + u" " + month +
           u" " + OS_MultiByteToWide(0, std::to_string(entry.Year));
}

TSavedGameArr& ShownSaveList()
{
    return SaveLoadMode == SaveLoadAuto ? AutoSaves : PrivateSaves;
}

// ---------------------------------------------------------------------------
// Rows

void BuildSaveRow(TSavedGameEntry& entry, int32_t index)
{
    if (SaveLoadWindow == nullptr || MainRender == nullptr)
        return;
    FreeSaveRow(entry);
    auto* row = new TGUI_Button(MainRender);
    row->Normal = row->Current = SaveRowNormal;
    row->Hover = row->Pressed = SaveRowGlow;
    row->Width = SaveRowWidth;
    row->Height = SaveRowHeight;
    row->FadeEnter = 70;
    row->FadeLeave = 70;
    row->FadeUp = 50;
    row->FadeDown = 50;
    row->Tag = index;
    row->DrawnByWindow = 0;
    row->OnClick = SelectSaveRow;
    row->OnEnter = SaveRowEnter;
    SaveLoadWindow->AddObject(row, "", 0);
    entry.Row = row;

    auto makeLabel = [](int32_t font, uint32_t colour, uint8_t align, const std::u16string& text) {
        auto* label = new TGUI_Label(MainRender);
        label->SetBlending(2);
        label->SetFont(font);
        label->SetColor(colour);
        label->Align = align;
        label->SetText(text);
        label->DrawnByWindow = 0;
        return label;
    };
    entry.NameSprite = makeLabel(SaveListFont(), 0xFF3A2410u, 2, entry.DisplayName);
    entry.ScenarioSprite = makeLabel(SaveInfoFont(), SaveTextBlack, 1, entry.ScenarioName);
    entry.InfoSprite = makeLabel(SaveInfoFont(), SaveTextBlack, 3, SaveDateLine(entry));
}

void FreeSaveRow(TSavedGameEntry& entry)
{
    if (entry.Row != nullptr) {
        if (SaveCross != nullptr && SaveCross->Tag == entry.Row->Tag)
            SaveCross->X = SaveCross->Y = -SaveCrossSize;
        if (SaveLoadWindow != nullptr)
            SaveLoadWindow->RemoveObject(entry.Row);
        delete entry.Row;
    }
    delete entry.NameSprite;
    delete entry.ScenarioSprite;
    delete entry.InfoSprite;
    entry.Row = nullptr;
    entry.NameSprite = entry.ScenarioSprite = entry.InfoSprite = nullptr;
}

void RenumberSaveRows(TSavedGameArr& list)
{
    for (size_t i = 0; i < list.size(); i++)
        if (list[i].Row != nullptr)
            list[i].Row->Tag = static_cast<int32_t>(i);
}

void LayoutSaveRows()
{
    for (TSavedGameArr* list : {&PrivateSaves, &AutoSaves}) {
        const bool shown = list == &ShownSaveList();
        const int32_t n = static_cast<int32_t>(list->size());
        for (int32_t i = 0; i < n; i++) {
            TSavedGameEntry& entry = (*list)[static_cast<size_t>(i)];
            if (entry.Row == nullptr)
                continue;
            const TSaveRowPlace place = SaveRowPlace(SaveListRegion, i, n, SaveListPosition);
            entry.Row->X = place.X;
            entry.Row->Y = place.Y;
            entry.Row->Visible = shown && place.Visible ? 1 : 0;
            entry.Row->Enabled = shown && place.Enabled ? 1 : 0;
            if (entry.NameSprite != nullptr) {
                entry.NameSprite->X = place.X + SaveRowWidth / 2;
                entry.NameSprite->Y = place.Y + 14;
            }
            if (entry.ScenarioSprite != nullptr) {
                entry.ScenarioSprite->X = place.X + 40;
                entry.ScenarioSprite->Y = place.Y + 45;
            }
            if (entry.InfoSprite != nullptr) {
                entry.InfoSprite->X = place.X + SaveRowWidth - 80;
                entry.InfoSprite->Y = place.Y + 45;
            }
        }
    }
    HideSaveNameEdit();
    if (SaveLoadMode == SaveLoadSave && !PrivateSaves.empty() && PrivateSaves.back().NameSprite != nullptr)
        PrivateSaves.back().NameSprite->Visible = 1;
}

void ResetSaveListButtons()
{
    for (TSavedGameEntry& entry : PrivateSaves) {
        ReleaseRow(entry);
        if (entry.Row != nullptr) {
            entry.Row->Enabled = 1;
            if (SaveLoadWindow != nullptr)
                SaveLoadWindow->MoveObjectFirst(entry.Row);
        }
    }
    if (SaveCross != nullptr && SaveLoadWindow != nullptr)
        SaveLoadWindow->MoveObjectFirst(SaveCross);
}

void SetSaveNameEditText(const std::u16string& text)
{
    if (SaveNameEdit != nullptr)
        SaveNameEdit->Text = text;
}

void RemovePlaceholderSave()
{
    if (PlaceholderSaveFile.empty())
        return;
    // Its file may still be being written.
    WaitForSaveWriter();
    DropFailedSaveEntry();
    for (size_t i = 0; i < PrivateSaves.size(); i++)
        if (PrivateSaves[i].FileName == PlaceholderSaveFile) {
            DeleteSaveEntry(PrivateSaves, static_cast<int32_t>(i));
            break;
        }
    PlaceholderSaveFile.clear();
}

// ---------------------------------------------------------------------------
// The window

void SaveLoadScreen_Create()
{
    SaveLoadWindow = CreateScreenWindow("SaveLoad", SaveLoadScreen_WindowHandler);
    SaveLoad_Window = SaveLoadWindow;
    SaveLoadMode = SaveLoadNone;
    // The rows' three looks are among the sprites the start-up loader
    // shares (0 before it ran); a window built without them loads its own.
    SaveRowNormal = FindSharedSprite("SaveLoad\\slot_save2", 0);
    SaveRowGlow = FindSharedSprite("SaveLoad\\slot_save_glow2", 1); // moved 2 pixels right
    SaveRowSelected = FindSharedSprite("SaveLoad\\slot_save_glow2", 2);
    if (SaveRowNormal <= 0)
        SaveRowNormal = LoadSaveLoadSprite("slot_save2", ".DDS");
    if (SaveRowGlow <= 0)
        SaveRowGlow = LoadSaveLoadSprite("slot_save_glow2", ".DDS");
    if (SaveRowSelected <= 0)
        SaveRowSelected = LoadSaveLoadSprite("slot_save_glow2", ".DDS");
    if (TGUI_Object* o = SaveLoadObject("cCurrentUser"))
        o->Visible = 0;
    if (TGUI_Object* o = SaveLoadObject("cbCurrentUser"))
        o->Visible = 0;
    SaveLoadWindow->SetVariable("cCurrentUser.Visible", "0", true);
    SaveLoadWindow->SetVariable("cbCurrentUser.Visible", "0", true);
    if (TGUI_Object* o = SaveLoadObject("b_Yes"))
        o->OnClick = SaveLoadScreen_Accept;
    if (TGUI_Object* o = SaveLoadObject("b_No"))
        o->OnClick = SaveLoadScreen_Cancel;
    if (TGUI_Object* o = SaveLoadObject("b_D"))
        o->OnClick = SaveLoadScreen_Delete;
    if (TGUI_Object* o = SaveLoadObject("b_Private"))
        o->OnMouseDown = SaveTabDown;
    if (TGUI_Object* o = SaveLoadObject("b_Auto"))
        o->OnMouseDown = SaveTabDown;
    if (TextsIni != nullptr && TextsIni->SelectSection("Texts")) {
        SetWindowLabelText(*SaveLoadWindow, "c_Private", GetLocalizedText(*TextsIni, "SaveLoad_Private"));
        SetWindowLabelText(*SaveLoadWindow, "c_Auto", GetLocalizedText(*TextsIni, "SaveLoad_Auto"));
        SetWindowLabelText(*SaveLoadWindow, "c_D", GetLocalizedText(*TextsIni, "SaveLoad_Delete"));
    }
    ReadSaveListRegion();

    SavesFolder = UserFolder;
    OS_CreateDirectoryTree(SavesFolder);
    ScanSavedGames();

    SaveNameEdit = new TGUI_Edit(MainRender);
    SaveNameEdit->SetFont(SaveListFont());
    SaveNameEdit->SetColor(SaveTextBlack);
    SaveNameEdit->Align = 2;
    SaveNameEdit->Width = 743;
    SaveNameEdit->Height = 18;
    SaveNameEdit->RestoreOnFocusLoss = 0;
    SaveNameEdit->DrawnByWindow = 0;
    SaveLoadWindow->AddObject(SaveNameEdit, "", 0);
    HideSaveNameEdit();

    SaveCross = new TGUI_Button(MainRender);
    SaveCross->Normal = SaveCross->Current = LoadSaveLoadSprite("delete_cross");
    SaveCross->Hover = SaveCross->Pressed = LoadSaveLoadSprite("delete_cross_hover");
    SaveCross->Width = SaveCross->Height = SaveCrossSize;
    SaveCross->X = SaveCross->Y = -SaveCrossSize;
    SaveCross->DrawnByWindow = 0;
    SaveCross->OnMouseDown = SaveCrossDown;
    SaveCross->OnEnter = SaveCrossEnter;
    SaveLoadWindow->AddObject(SaveCross, "", 0);
    SaveLoadWindow->MoveObjectFirst(SaveCross);

    SaveWheelCatcher = new TGUI_Object(MainRender);
    SaveWheelCatcher->DrawnByWindow = 0;
    SaveLoadWindow->AddObject(SaveWheelCatcher, "", 0);
    SaveLoadWindow->MoveObjectLast(SaveWheelCatcher);
    ReadSaveListRegion();
    ScenarioFolder.clear();
}

void SaveLoadScreen_Free()
{
    ClearSavedGames();
    // The window does not free what the screen added to it.
    auto release = [](TGUI_Object* object) {
        if (object == nullptr)
            return;
        if (SaveLoadWindow != nullptr)
            SaveLoadWindow->RemoveObject(object);
        delete object;
    };
    if (GUI_Input.FocusedEdit == SaveNameEdit)
        GUI_Input.FocusedEdit = nullptr;
    release(SaveNameEdit);
    release(SaveCross);
    release(SaveWheelCatcher);
    SaveNameEdit = nullptr;
    SaveCross = nullptr;
    SaveWheelCatcher = nullptr;
}

void SaveLoadScreen_SetMode(int32_t mode)
{
    if (SaveLoadWindow == nullptr) {
        SaveLoadMode = static_cast<uint8_t>(mode);
        return;
    }
    const int32_t old = SaveLoadMode;
    if (mode != old && (mode == SaveLoadSave || old == SaveLoadSave || old == SaveLoadNone)) {
        const bool save = mode == SaveLoadSave;
        if (TextsIni != nullptr && TextsIni->SelectSection("Texts"))
            SetWindowLabelText(*SaveLoadWindow, "c_Title", GetLocalizedText(*TextsIni, save ? "TitleSave" : "TitleLoad"));
        SaveLoadWindow->SetVariableInt("Save.mode", save ? 1 : 0, true);
        SaveLoadWindow->Arrange();
        ReadSaveListRegion();
    }
    SaveLoadMode = static_cast<uint8_t>(mode);
    // The tabs choose what to load; saving always shows the own saves.
    for (const char* name : {"b_Private", "b_Auto", "c_Private", "c_Auto"})
        if (TGUI_Object* o = SaveLoadObject(name))
            o->Visible = mode == SaveLoadSave ? 0 : 1;
    for (const auto& [m, name] : {std::pair{SaveLoadOwn, "b_Private"}, std::pair{SaveLoadAuto, "b_Auto"}})
        if (mode == m)
            if (TGUI_Button* tab = SaveLoadButton(name)) {
                if (auto* other = SaveLoadButton(m == SaveLoadOwn ? "b_Auto" : "b_Private"))
                    other->ClearHeld();
                tab->SetHeld();
            }
    SelectedSave = -1;
    SetEnabled("b_Yes", false);
    SetEnabled("b_D", false);
    for (TSavedGameArr* list : {&PrivateSaves, &AutoSaves})
        for (TSavedGameEntry& entry : *list) {
            ReleaseRow(entry);
            if (entry.Row != nullptr) {
                if (list == &ShownSaveList())
                    SaveLoadWindow->MoveObjectFirst(entry.Row);
                else
                    SaveLoadWindow->MoveObjectLast(entry.Row);
            }
        }
    if (TextsIni != nullptr && TextsIni->SelectSection("Texts")) {
        SetWindowLabelText(*SaveLoadWindow, "c_Yes", GetLocalizedText(*TextsIni, mode == SaveLoadSave ? "ButtonSave" : "ButtonLoad"));
        SetWindowLabelText(*SaveLoadWindow, "c_No", GetLocalizedText(*TextsIni, "shNo"));
    }
    for (const char* name : {"b_D", "b_Private", "b_Auto"})
        if (TGUI_Object* o = SaveLoadObject(name))
            SaveLoadWindow->MoveObjectFirst(o);
    if (SaveCross != nullptr)
        SaveLoadWindow->MoveObjectFirst(SaveCross);
    SetSaveListPosition(SnapSaveListPosition(static_cast<int32_t>(ShownSaveList().size()), SaveListPosition));
    LayoutSaveRows();
}

void SelectSaveRow(TGUI_Object* object)
{
    if (object == nullptr)
        return;
    TSavedGameArr& list = ShownSaveList();
    const int32_t t = object->Tag;
    if (t < 0 || t >= static_cast<int32_t>(list.size()))
        return;
    for (size_t i = 0; i < list.size(); i++) {
        TSavedGameEntry& entry = list[i];
        if (entry.Row == nullptr)
            continue;
        if (static_cast<int32_t>(i) == t) {
            entry.Row->Held = 1;
            entry.Row->Normal = entry.Row->Current = SaveRowSelected;
        } else {
            ReleaseRow(entry);
        }
    }
    const bool lastOwn = SaveLoadMode == SaveLoadSave && t == static_cast<int32_t>(list.size()) - 1;
    if (SaveNameEdit != nullptr) {
        if (lastOwn && IsPlaceholderRow(list.back())) {
            TSavedGameEntry& entry = list.back();
            SaveNameEdit->X = entry.Row->X + 30;
            SaveNameEdit->Y = entry.Row->Y + 14;
            SaveNameEdit->Text = entry.DisplayName == PlaceholderSaveName ? SaveDisplayName() : entry.DisplayName;
            SaveNameEdit->Enabled = SaveNameEdit->Visible = 1;
            SaveNameEdit->MouseUp(); // takes the focus
            if (SaveLoadWindow != nullptr)
                SaveLoadWindow->MoveObjectFirst(SaveNameEdit);
            if (entry.NameSprite != nullptr)
                entry.NameSprite->Visible = 0;
        } else if (SaveNameEdit->Visible != 0) {
            const std::u16string& typed = SaveNameEdit->Text;
            if (typed.empty() || typed == PlaceholderSaveName)
                SaveNameEdit->Text = PlaceholderSaveName;
            HideSaveNameEdit();
            if (!list.empty() && list.back().NameSprite != nullptr)
                list.back().NameSprite->Visible = 1;
        }
    }
    SelectedSave = t;
    SetEnabled("b_Yes", true);
    SetEnabled("b_D", true);
}

void SaveLoadScreen_Accept(TGUI_Object*)
{
    TSavedGameArr& list = ShownSaveList();
    if (SelectedSave < 0 || SelectedSave >= static_cast<int32_t>(list.size()))
        return;
    if (SaveLoadMode == SaveLoadOwn || SaveLoadMode == SaveLoadAuto) {
        const TSavedGameEntry& entry = list[static_cast<size_t>(SelectedSave)];
        if (entry.Personages < 0)
            return;
        const std::string file = entry.FileName;
        SaveCounter = 1;
        CloseSaveLoadWindow();
        LoadGame(file);
        return;
    }
    if (SaveLoadMode != SaveLoadSave)
        return;
    bool saved = false;
    if (IsPlaceholderRow(list[static_cast<size_t>(SelectedSave)])) {
        std::u16string name = SaveNameEdit != nullptr ? SaveNameEdit->Text : std::u16string();
        RemovePlaceholderSave();
        if (name.empty() || name == PlaceholderSaveName)
            name = SaveDisplayName();
        HideSaveNameEdit();
        saved = SaveGame(name, true, -1);
        LayoutSaveRows();
    } else {
        const std::string file = list[static_cast<size_t>(SelectedSave)].FileName;
        RemovePlaceholderSave();
        // Over the save's own file; the writer must take it, or nothing
        // changed.
        WaitForSaveWriter();
        saved = WriteSavedGame(std::u16string(), SavesFolder + file, HeroName, nullptr, nullptr, GameSpeed);
        if (saved && SaveWriterSynchronous)
            saved = !SaveLastFailed.load();
    }
    if (!saved) {
        std::fprintf(stderr, "Save/load window: the save was not written\n");
        return;
    }
    SaveCounter++;
    CloseSaveLoadWindow();
}

void SaveLoadScreen_Cancel(TGUI_Object*)
{
    if (LastOwnRowIsPlaceholder()) {
        RemovePlaceholderSave();
        LayoutSaveRows();
    }
    PlaceholderSaveFile.clear();
    for (const char* name : {"b_Private", "b_Auto"})
        if (TGUI_Button* tab = SaveLoadButton(name))
            tab->ClearHeld();
    CloseSaveLoadWindow();
}

void SaveLoadScreen_Delete(TGUI_Object*)
{
    TSavedGameArr& list = ShownSaveList();
    if (SelectedSave < 0 || SelectedSave >= static_cast<int32_t>(list.size()))
        return;
    TSavedGameEntry& entry = list[static_cast<size_t>(SelectedSave)];
    if (!FileExistsMask(SavesFolder + entry.FileName))
        return;
    if (IsPlaceholderRow(entry)) {
        WaitForSaveWriter();
        PlaceholderSaveFile.clear();
    }
    DeleteSaveEntry(list, SelectedSave);
    SelectedSave = -1;
    SetEnabled("b_D", false);
    SetEnabled("b_Yes", false);
    SetSaveListPosition(SnapSaveListPosition(static_cast<int32_t>(list.size()), SaveListPosition));
    LayoutSaveRows();
}

void SaveLoadScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    switch (state) {
    case GUI_STATE_OPEN:
        CursorKind = 1;
        SaveLoadHotkeyHeld = false;
        SaveLoadHeldKey = 0;
        SortSaveList(PrivateSaves);
        SortSaveList(AutoSaves);
        LayoutSaveRows();
        BetaLogWriteWindowEvent(window->Name, GUI_STATE_OPEN);
        SaveLoadSound(SoundWindowMAppear);
        break;
    case GUI_STATE_ACTIVE:
        DropFailedSaveEntry();
        RunScreenActiveFrame(*window, DrawSaveRows, nullptr);
        if (!IsConsoleOpen())
            SaveLoadKeys();
        break;
    case GUI_STATE_INACTIVE:
        window->Draw();
        DrawSaveRows();
        break;
    case GUI_STATE_CLOSE:
        if (Map_Window != nullptr &&
            std::find(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), Map_Window) != GUI_OpenWindows.end()) {
            RefreshMapScene();
        } else {
            SaveLoadMode = SaveLoadNone;
        }
        BetaLogWriteWindowEvent(window->Name, GUI_STATE_CLOSE);
        SaveLoadSound(SoundWindowMDisappear);
        break;
    case GUI_STATE_DESTROY:
        // The window frees itself after this call.
        SaveLoadScreen_Free();
        SaveLoadWindow = nullptr;
        SaveLoad_Window = nullptr;
        break;
    default:
        break;
    }
}
