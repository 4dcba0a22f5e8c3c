#include "screens/front/Duskmarch_SelectHero.h"

#include <algorithm>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_SelectScenario.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Sound.h"

int32_t HeroIndex = 0;
int32_t CoatIndex = 1;
int32_t& PlayerCoat = ChosenCoat;
const int32_t HeroCoats[4][7] = {
    {0, 0, 0, 0, 0, 0, 0},
    {0, 11, 12, 13, 68, 69, 70},
    {0, 14, 15, 16, 71, 72, 73},
    {0, 17, 18, 19, 74, 75, 76},
};
TGUI_GraphicWindow* SelectHeroWindow = nullptr;
bool HeroReachedFromSelection = false;

namespace {

struct THeroButton {
    const char* Button;
    const char* NameKey;
    const char* DescriptionKey;
};
// By hero index 1..3.
constexpr THeroButton HeroButtons[4] = {{"", "", ""},
                                        {"Btn_Knight", "HeroNameKnight", "Hero1"},
                                        {"Btn_Baroness", "HeroNameBaroness", "Hero6"},
                                        {"Btn_Mystic", "HeroNameMystic", "Hero2"}};

bool HeroHotkeyHeld = false;
TGUI_StringList* DescriptionList = nullptr;
TGUI_Edit* NameEdit = nullptr;

TGUI_Object* FindHeroObject(const char* name)
{
    return SelectHeroWindow != nullptr ? SelectHeroWindow->FindObject(name) : nullptr;
}

void PlayHeroSound(int32_t id)
{
    if (id > 0 && SoundDevice != nullptr)
        Sound_Play(id, true, false);
}

std::u16string HeroText(const char* key)
{
    if (TextsIni == nullptr || !TextsIni->SelectSection("Texts"))
        return {};
    return GetLocalizedText(*TextsIni, key);
}

void FocusNameEdit()
{
    if (NameEdit == nullptr)
        return;
    // As a click on it: the keyboard goes to the edit, the caret restarts.
    NameEdit->MouseUp();
    NameEdit->CaretOn = 1;
}

void UpdateYesButton()
{
    if (TGUI_Object* yes = FindHeroObject("b_Yes"))
        yes->Enabled = HeroIndex != 0 ? 1 : 0;
}

void RefreshCoat()
{
    PlayerCoat = HeroCoatOf(HeroIndex, CoatIndex);
    if (MainRender != nullptr && SelectHeroWindow != nullptr && PlayerCoat >= 1 &&
        static_cast<size_t>(PlayerCoat) <= CoatIcons.size()) {
        const T3D_Sprite* icon = MainRender->Sprite_Get(CoatIcons[static_cast<size_t>(PlayerCoat) - 1].Icon54);
        if (T3D_Sprite* coat = MainRender->Sprite_Get(SelectHeroWindow->FindSprite("s_Coat")))
            if (icon != nullptr)
                coat->SetStageTexture(icon->Texture, 0, 1);
    }
    FocusNameEdit();
}

} // namespace

int32_t HeroKindOf(int32_t heroIndex)
{
    switch (heroIndex) {
    case 1: return 1;
    case 2: return 6;
    case 3: return 2;
    default: return 0;
    }
}

int32_t HeroCoatOf(int32_t heroIndex, int32_t coatIndex)
{
    if (heroIndex < 1 || heroIndex > 3 || coatIndex < 1 || coatIndex > 6)
        return 0;
    return HeroCoats[heroIndex][coatIndex];
}

int32_t PreviousCoatIndex(int32_t coatIndex)
{
    return (coatIndex + 4) % 6 + 1;
}

int32_t NextCoatIndex(int32_t coatIndex)
{
    return coatIndex % 6 + 1;
}

int32_t FirstAvailableHero(bool knight, bool baroness, bool mystic)
{
    return knight ? 1 : baroness ? 2 : mystic ? 3 : 0;
}

std::string ScenarioFolderOf(const std::string& entryFolder, const std::string& gameFolder)
{
    std::string folder = entryFolder;
    if (!gameFolder.empty() && folder.compare(0, gameFolder.size(), gameFolder) == 0)
        folder.erase(0, gameFolder.size());
    constexpr size_t Tail = 10; // "Scenarios\"
    folder = folder.size() > Tail ? folder.substr(0, folder.size() - Tail) : std::string();
    if (folder.empty())
        folder = "\\";
    return folder.substr(0, 64);
}

void SelectHeroScreen_SelectHero(TGUI_Object* button)
{
    if (button == nullptr)
        return;
    const int32_t hero = button->Tag;
    if (hero < 1 || hero > 3)
        return;
    if (hero == HeroIndex) {
        FocusNameEdit();
        return;
    }
    for (int32_t t = 1; t <= 3; t++)
        if (auto* other = dynamic_cast<TGUI_Button*>(FindHeroObject(HeroButtons[t].Button))) {
            ShowButtonHeld(*other, t == hero);
            other->Enabled = t == hero ? 0 : 1;
        }
    HeroIndex = hero;
    HeroName = HeroText(HeroButtons[hero].NameKey);
    if (DescriptionList != nullptr) {
        DescriptionList->Clear();
        AddTextWithinCapacity(*DescriptionList, HeroText(HeroButtons[hero].DescriptionKey), FontSlots[20], 0xFF000000,
                              -1000, 100);
    }
    if (NameEdit != nullptr)
        NameEdit->Text = HeroName;
    UpdateYesButton();
    RefreshCoat();
}

void SelectHeroScreen_KeepSelection(TGUI_Object*)
{
    if (HeroIndex >= 1 && HeroIndex <= 3)
        if (auto* button = dynamic_cast<TGUI_Button*>(FindHeroObject(HeroButtons[HeroIndex].Button)))
            ShowButtonHeld(*button, true);
}

void SelectHeroScreen_PrevCoat(TGUI_Object*)
{
    CoatIndex = PreviousCoatIndex(CoatIndex);
    RefreshCoat();
}

void SelectHeroScreen_NextCoat(TGUI_Object*)
{
    CoatIndex = NextCoatIndex(CoatIndex);
    RefreshCoat();
}

bool SelectHeroScreen_AcceptChoice()
{
    if (HeroIndex == 0)
        return false;
    RequestScreenClose(SelectHero_Window);
    RequestScreenClose(MainMenu_Window);
    RequestScreenOpen(ScenarioLoading_Window, nullptr);
    return true;
}

void SelectHeroScreen_Accept(TGUI_Object*)
{
    SelectHeroScreen_AcceptChoice();
}

void SelectHeroScreen_Back(TGUI_Object*)
{
    RequestScreenClose(SelectHero_Window);
    if (HeroReachedFromSelection)
        RequestScreenOpen(SelectScenario_Window, nullptr);
}

bool SelectHeroScreen_Prepare()
{
    HeroIndex = 0;
    HeroHotkeyHeld = false;
    const TScenarioList& list = ShownScenarioList();
    bool read = false;
    if (SelectedScenario >= 0 && SelectedScenario < list.Count()) {
        const size_t k = static_cast<size_t>(SelectedScenario);
        read = ReadScenarioHeader(list.Folders[k] + list.FileNames[k]);
        ScenarioFolder = ScenarioFolderOf(list.Folders[k], GameFolder);
    }
    const bool available[4] = {false, read && MapStoryPreview.HeroAvailable[1] != 0,
                               read && MapStoryPreview.HeroAvailable[6] != 0,
                               read && MapStoryPreview.HeroAvailable[2] != 0};
    for (int32_t t = 1; t <= 3; t++)
        if (TGUI_Object* button = FindHeroObject(HeroButtons[t].Button)) {
            button->Visible = available[t] ? 1 : 0;
            button->Enabled = 1;
            if (auto* b = dynamic_cast<TGUI_Button*>(button))
                b->ClearHeld();
        }
    const int32_t first = FirstAvailableHero(available[1], available[2], available[3]);
    UpdateYesButton();
    if (first != 0) {
        TGUI_Object* button = FindHeroObject(HeroButtons[first].Button);
        if (button != nullptr)
            SelectHeroScreen_SelectHero(button);
        else {
            // No window (tests): the choice without its buttons.
            HeroIndex = first;
            HeroName = HeroText(HeroButtons[first].NameKey);
            PlayerCoat = HeroCoatOf(HeroIndex, CoatIndex);
        }
    }
    return read;
}

void SelectHeroScreen_Create()
{
    SelectHeroWindow = CreateScreenWindow("SelectHero", SelectHeroScreen_WindowHandler);
    SelectHero_Window = SelectHeroWindow;
    struct TCaption {
        const char* Label;
        const char* Key;
    };
    static constexpr TCaption Captions[] = {{"c_Title", "TitleSelectHero"},   {"c_KnightName", "HeroKnight"},
                                            {"c_BaronessName", "HeroBaroness"}, {"c_MysticName", "HeroMystic"},
                                            {"c_Hero", "HeroName"},           {"c_CoatName", "CoatName"},
                                            {"c_Yes", "shYes"},               {"c_No", "shNo"}};
    for (const TCaption& caption : Captions)
        SetWindowLabelText(*SelectHeroWindow, caption.Label, HeroText(caption.Key));
    for (int32_t t = 1; t <= 3; t++)
        if (auto* button = dynamic_cast<TGUI_Button*>(FindHeroObject(HeroButtons[t].Button))) {
            button->Tag = t;
            button->FadeEnter = 200;
            button->FadeLeave = 150;
            button->OnClick = SelectHeroScreen_SelectHero;
            button->OnMouseDown = SelectHeroScreen_KeepSelection;
        }
    if (const TGUI_Object* knight = FindHeroObject("Btn_Knight")) {
        DescriptionList = new TGUI_StringList(MainRender, 100);
        DescriptionList->X = knight->X + 200;
        DescriptionList->Y = knight->Y + 380;
        DescriptionList->Width = 570;
        DescriptionList->SetHeight(200);
        SelectHeroWindow->AddObject(DescriptionList, "l_HeroDescription", 0);
    }
    if (TGUI_Object* left = FindHeroObject("b_ArrowLeft"))
        left->OnClick = SelectHeroScreen_PrevCoat;
    if (TGUI_Object* right = FindHeroObject("b_ArrowRight"))
        right->OnClick = SelectHeroScreen_NextCoat;
    if (TGUI_Object* yes = FindHeroObject("b_Yes"))
        yes->OnClick = SelectHeroScreen_Accept;
    if (TGUI_Object* no = FindHeroObject("b_No"))
        no->OnClick = SelectHeroScreen_Back;
    if (auto* label = dynamic_cast<TGUI_Label*>(FindHeroObject("c_HeroName"))) {
        NameEdit = new TGUI_Edit(MainRender);
        NameEdit->SetFont(label->GetFont());
        NameEdit->SetColor(label->Color);
        NameEdit->Width = 400;
        NameEdit->Height = label->Height > 0 ? label->Height : 30;
        NameEdit->X = label->X - 200;
        NameEdit->Y = label->Y;
        NameEdit->Align = 2;
        NameEdit->Text = label->GetText();
        // A click on a hero or an arrow takes the focus: the typed name stays.
        NameEdit->RestoreOnFocusLoss = 0;
        label->Visible = 0;
        SelectHeroWindow->AddObject(NameEdit, "e_HeroName", 0);
    }
}

void SelectHeroScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    switch (state) {
    case GUI_STATE_OPEN:
        SelectHeroScreen_Prepare();
        PlayHeroSound(SoundWindowMAppear);
        break;
    case GUI_STATE_ACTIVE: {
        TScreenHotkeys keys;
        const bool typing = NameEdit != nullptr && NameEdit->HasFocus();
        keys.DefaultKey = 32;
        keys.DefaultButton = typing ? nullptr : FindHeroObject("b_Yes");
        keys.CancelButton = typing ? nullptr : FindHeroObject("b_No");
        keys.Held = &HeroHotkeyHeld;
        RunScreenActiveFrame(*window, nullptr, typing ? nullptr : &keys);
        break;
    }
    case GUI_STATE_CLOSE:
        if (NameEdit != nullptr) {
            HeroName = NameEdit->Text;
            if (GUI_Input.FocusedEdit == NameEdit) {
                GUI_ResetFocusHooks();
                GUI_Input.FocusedEdit = nullptr;
            }
        }
        PlayHeroSound(SoundWindowMDisappear);
        break;
    case GUI_STATE_DESTROY:
        SelectHeroWindow = nullptr;
        SelectHero_Window = nullptr;
        DescriptionList = nullptr;
        NameEdit = nullptr;
        break;
    default:
        break;
    }
}
