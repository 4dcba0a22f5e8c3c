#include "screens/front/Duskmarch_Options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "battle/Battle_Rules.h"
#include "engine/QX9_Sound.h"
#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Sprites.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_SelectScenario.h"
#include "screens/front/Duskmarch_Startup.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Sound.h"

const TOptionEntry OptionTable[OptionCount] = {
    {"HeroPath", "Game_HeroPath", OptionBoolean},
    {"SecondClickToPath", "Game_SecondClickToPath", OptionBoolean},
    {"DifficultyLevel", "Game_DifficultyLevel", OptionDifficulty},
    {"MusicVolume", "Music_MusicVolume", OptionVolume},
    {"VolumeEffects", "Music_VolumeEffects", OptionVolume},
    {"MusicCache", "Music_MusicCache", OptionBoolean},
    {"InterfaceSound", "Music_InterfaceSound", OptionBoolean},
    {"EventsSound", "Music_EventsSound", OptionBoolean},
    {"InterfaceAnimation", "Render_InterfaceAnimation", OptionBoolean},
    {"VolumetricFog", "Render_VolumetricFog", OptionBoolean},
    {"ReflectionsInWater", "Render_ReflectionsInWater", OptionBoolean},
    {"MSAA", "Render_MSAA", OptionBoolean},
    {"ATOC", "Render_ATOC", OptionBoolean},
    {"AO", "Render_AO", OptionBoolean},
    {"ArmorReflections", "Render_ArmorReflections", OptionBoolean},
    {"RSM", "Render_RSM", OptionBoolean},
    {"HDRRendering", "Render_HDRRendering", OptionBoolean},
    {"ShadowsResolution", "Render_ShadowsResolution", OptionShadows},
    {"TextureQuality", "Render_TextureQuality", OptionTexture},
    {"InterfaceSize", nullptr, OptionNotStored},
    {"AutoSave", "AutoSave", OptionBoolean},
    {"CascadeBattle", "CascadeBattle", OptionBoolean},
    {"UseTutorial", "UseTutorial", OptionBoolean},
    {"IndividualSort", "IndividualSort", OptionBoolean},
    {"TimeLiturgia", "TimeLiturgia", OptionBoolean},
    {"BattleGrid", "BattleGrid", OptionBoolean},
    {"ActionNum", "ActionNum", OptionBoolean},
};

TOptionSettings CurrentSettings;
TOptionSettings AppliedSettings;
int32_t MusicVolume = 0;
int32_t VolumeEffects = 0;
uint8_t AutoSave = 0;
uint8_t UseTutorial = 0;
uint8_t TimeLiturgia = 0;

namespace {

// The window's controls, bound once when it is built.
struct TOptionsControls {
    TGUI_GraphicWindow* Window = nullptr;
    TGUI_CheckBox* Boxes[OptionCount] = {};
    TGUI_ScrollBar* MusicBar = nullptr;
    TGUI_ScrollBar* EffectsBar = nullptr;
    TGUI_Button* Difficulty[4] = {};
    TGUI_Button* Shadows[3] = {};
    TGUI_Button* Texture[3] = {};
    TGUI_Button* InterfaceSize[3] = {};
    TGUI_Button* Pages[3] = {};
    TGUI_Button* Yes = nullptr;
    TGUI_Button* No = nullptr;
    TGUI_StringList* Description = nullptr;
    TGUI_Label* Warning = nullptr;
};
TOptionsControls Controls;
bool OptionsHotkeyHeld = false;

constexpr const char* DifficultyTexts[5] = {"", "Level1", "Level2", "Level3", "Level4"};

struct TCaptionKey {
    const char* Label;
    const char* Key;
};
constexpr TCaptionKey FixedCaptions[] = {
    {"c_GameControl", "GameControl"},
    {"c_MusicControl", "MusicControl"},
    {"c_GraphicsControl", "GraphicsControl"},
    {"c_Page1", "OptionsPage1"},
    {"c_Page2", "OptionsPage2"},
    {"c_Page3", "OptionsPage3"},
    {"c_IS1", "InterfaceSize1"},
    {"c_IS2", "InterfaceSize2"},
    {"c_IS3", "InterfaceSize3"},
    {"c_DL1", "Level1s"},
    {"c_DL2", "Level2s"},
    {"c_DL3", "Level3s"},
    {"c_DL4", "Level4s"},
    {"c_SQ1", "ShadowsResolution1"},
    {"c_SQ2", "ShadowsResolution2"},
    {"c_SQ3", "ShadowsResolution3"},
    {"c_Yes", "shApply"},
    {"c_No", "shNo"},
};

void PlayOptionsSound(int32_t sound)
{
    if (sound != 0)
        Sound_Play(sound, true, false);
}

template <typename T> T* Find(const std::string& name)
{
    return Controls.Window != nullptr ? dynamic_cast<T*>(Controls.Window->FindObject(name)) : nullptr;
}

bool IsVolume(int32_t item)
{
    return item == OptionMusicVolume || item == OptionVolumeEffects;
}

int32_t BarToVolume(const TGUI_ScrollBar* bar, int32_t fallback)
{
    if (bar == nullptr)
        return fallback;
    return std::clamp(static_cast<int32_t>(std::lround(bar->Position * 1000.0f)), 0, 1000);
}

// The globals an option item feeds.
void StoreGlobal(int32_t item, int32_t value)
{
    switch (item) {
    case OptionDifficultyLevel:
        DifficultyLevel = value;
        break;
    case OptionMusicVolume:
        MusicVolume = value;
        break;
    case OptionVolumeEffects:
        VolumeEffects = value;
        break;
    case OptionAutoSave:
        AutoSave = value != 0 ? 1 : 0;
        break;
    case OptionCascadeBattle:
        AnimationWait = value != 0;
        break;
    case OptionUseTutorial:
        UseTutorial = value != 0 ? 1 : 0;
        break;
    case OptionIndividualSort:
        SortByUsability = value != 0 ? 1 : 0;
        break;
    case OptionTimeLiturgia:
        TimeLiturgia = value != 0 ? 1 : 0;
        break;
    default:
        break;
    }
}

// Holds button n (1-based) of a row and releases the others.
template <size_t N> void HoldOne(TGUI_Button* (&row)[N], int32_t n)
{
    for (size_t i = 0; i < N; i++)
        if (row[i] != nullptr)
            ShowButtonHeld(*row[i], static_cast<int32_t>(i) + 1 == n);
}

template <size_t N> int32_t HeldIndex(TGUI_Button* (&row)[N])
{
    for (size_t i = 0; i < N; i++)
        if (row[i] != nullptr && row[i]->Held != 0)
            return static_cast<int32_t>(i) + 1;
    return 0;
}

void ShowValue(int32_t item, int32_t value)
{
    if (TGUI_CheckBox* box = Controls.Boxes[item])
        box->Checked = value != 0 ? 1 : 0;
    if (item == OptionMusicVolume && Controls.MusicBar != nullptr)
        Controls.MusicBar->SetPosition(static_cast<float>(value) / 1000.0f);
    if (item == OptionVolumeEffects && Controls.EffectsBar != nullptr)
        Controls.EffectsBar->SetPosition(static_cast<float>(value) / 1000.0f);
}

void OnDifficulty(TGUI_Object* object)
{
    OptionsScreen_SetDifficulty(object->Tag);
}

void OnShadows(TGUI_Object* object)
{
    HoldOne(Controls.Shadows, object->Tag);
    CurrentSettings.Values[OptionShadowsResolution] = QualityButtonValue(object->Tag);
}

void OnTexture(TGUI_Object* object)
{
    HoldOne(Controls.Texture, object->Tag);
    CurrentSettings.Values[OptionTextureQuality] = QualityButtonValue(object->Tag);
}

void OnInterfaceSize(TGUI_Object*)
{
    // No setting stands behind these: the largest stays chosen.
    HoldOne(Controls.InterfaceSize, 3);
}

void OnPage(TGUI_Object* object)
{
    OptionsScreen_ShowPage(object->Tag);
}

void OnVolumeBar(TGUI_Object* object)
{
    auto* bar = static_cast<TGUI_ScrollBar*>(object);
    const int32_t item = bar == Controls.MusicBar ? OptionMusicVolume : OptionVolumeEffects;
    AppliedSettings.Values[item] = BarToVolume(bar, AppliedSettings.Values[item]);
    ApplyVolumeSettings();
}

void BindControls()
{
    TGUI_GraphicWindow* w = Controls.Window;
    if (w == nullptr)
        return;
    for (int32_t i = 0; i < OptionCount; i++) {
        Controls.Boxes[i] = OptionTable[i].Kind == OptionBoolean
                                ? Find<TGUI_CheckBox>(std::string("cb_") + OptionTable[i].Name)
                                : nullptr;
        if (Controls.Boxes[i] != nullptr)
            Controls.Boxes[i]->Tag = i;
        if (TGUI_Object* caption = w->FindObject(std::string("c_") + OptionTable[i].Name))
            caption->Tag = i;
    }
    Controls.MusicBar = Find<TGUI_ScrollBar>("sb_BarMusic");
    Controls.EffectsBar = Find<TGUI_ScrollBar>("sb_BarEffects");
    for (TGUI_ScrollBar* bar : {Controls.MusicBar, Controls.EffectsBar})
        if (bar != nullptr)
            bar->OnClick = OnVolumeBar;
    auto bindRow = [&](auto& row, const char* prefix, TGUI_Handler handler) {
        for (size_t i = 0; i < std::size(row); i++) {
            row[i] = Find<TGUI_Button>(prefix + std::to_string(i + 1));
            if (row[i] != nullptr) {
                row[i]->Tag = static_cast<int32_t>(i) + 1;
                row[i]->OnMouseDown = handler;
            }
        }
    };
    bindRow(Controls.Difficulty, "b_DL", OnDifficulty);
    bindRow(Controls.Shadows, "b_SQ", OnShadows);
    bindRow(Controls.Texture, "b_TQ", OnTexture);
    bindRow(Controls.InterfaceSize, "b_IS", OnInterfaceSize);
    bindRow(Controls.Pages, "b_Page", OnPage);
    Controls.Yes = Find<TGUI_Button>("b_Yes");
    Controls.No = Find<TGUI_Button>("b_No");
    if (Controls.Yes != nullptr)
        Controls.Yes->OnClick = OptionsScreen_Apply;
    if (Controls.No != nullptr)
        Controls.No->OnClick = OptionsScreen_Cancel;
}

void SetCaptions()
{
    if (TextsIni == nullptr || Controls.Window == nullptr)
        return;
    TextsIni->SelectSection("Texts");
    for (const TOptionEntry& entry : OptionTable)
        SetWindowLabelText(*Controls.Window, std::string("c_") + entry.Name, GetLocalizedText(*TextsIni, entry.Name));
    for (const TCaptionKey& caption : FixedCaptions)
        SetWindowLabelText(*Controls.Window, caption.Label, GetLocalizedText(*TextsIni, caption.Key));
}

} // namespace

int32_t QualityButtonValue(int32_t button)
{
    return button == 3 ? 4096 : button == 2 ? 2048 : 1024;
}

int32_t ShadowsButtonFor(int32_t value)
{
    const int32_t size = ShadowMapSize(value);
    return size == 4096 ? 3 : size == 1024 ? 1 : 2;
}

int32_t TextureButtonFor(int32_t value)
{
    return value == 4096 ? 3 : value == 2048 ? 2 : 1;
}

int32_t ReadOptionValue(TIniFile& ini, const TOptionEntry& entry)
{
    if (entry.Key == nullptr)
        return 0;
    switch (entry.Kind) {
    case OptionBoolean:
        return ini.ReadBool(entry.Key, -1, false) ? 1 : 0;
    case OptionDifficulty: {
        const int32_t v = ini.ReadInteger(entry.Key, -1, 2);
        return v >= 1 && v <= 4 ? v : 2;
    }
    case OptionVolume:
        // A hand-edited file never drives the mixer past full scale.
        return std::clamp(ini.ReadInteger(entry.Key, -1, 0), 0, 1000);
    case OptionShadows: {
        const int32_t v = ini.ReadInteger(entry.Key, -1, 2048);
        switch (v) {
        case 1:
        case 2:
        case 3:
        case 1024:
        case 2048:
        case 4096:
            return v;
        default:
            return 2048;
        }
    }
    case OptionTexture: {
        const int32_t v = ini.ReadInteger(entry.Key, -1, 1024);
        return v >= 256 && v <= 4096 ? v : 1024;
    }
    default:
        return 0;
    }
}

void ReadSettings()
{
    if (GameOptions == nullptr)
        return;
    for (int32_t i = 0; i < OptionCount; i++) {
        if (i == OptionInterfaceSize)
            continue;
        GameOptions->SelectSection("Main");
        const int32_t value = ReadOptionValue(*GameOptions, OptionTable[i]);
        CurrentSettings.Values[i] = value;
        StoreGlobal(i, value);
        ShowValue(i, value);
    }
}

void OptionsScreen_LoadSettings()
{
    ReadSettings();
    if (Controls.Window != nullptr) {
        BindControls();
        for (int32_t i = 0; i < OptionCount; i++)
            ShowValue(i, CurrentSettings.Values[i]);
        OptionsScreen_SetDifficulty(DifficultyLevel);
        const int32_t shadows = ShadowsButtonFor(CurrentSettings.Values[OptionShadowsResolution]);
        const int32_t texture = TextureButtonFor(CurrentSettings.Values[OptionTextureQuality]);
        HoldOne(Controls.Shadows, shadows);
        HoldOne(Controls.Texture, texture);
        // Shown, the quality settings are what their buttons stand for.
        CurrentSettings.Values[OptionShadowsResolution] = QualityButtonValue(shadows);
        CurrentSettings.Values[OptionTextureQuality] = QualityButtonValue(texture);
    }
    AppliedSettings = CurrentSettings;
    ApplyVolumeSettings();
}

void ApplyVolumeSettings()
{
    ApplySoundVolumes(AppliedSettings.Values[OptionMusicVolume], AppliedSettings.Values[OptionVolumeEffects]);
}

void OptionsScreen_SetDifficulty(int32_t level)
{
    HoldOne(Controls.Difficulty, level);
    if (TGUI_StringList* list = Controls.Description) {
        list->Clear();
        if (level >= 1 && level <= 4 && TextsIni != nullptr) {
            TextsIni->SelectSection("Texts");
            list->AddText(GetLocalizedText(*TextsIni, DifficultyTexts[level]), FontSlots[2], -1, 2, 0xFF000000u, -1000);
        }
    }
    SetDifficulty(level);
    CurrentSettings.Values[OptionDifficultyLevel] = DifficultyLevel;
}

void OptionsScreen_ShowPage(int32_t page)
{
    if (Controls.Window == nullptr || page < 1 || page > 3)
        return;
    HoldOne(Controls.Pages, page);
    Controls.Window->SetVariable("Menu.Page", std::to_string(page), true);
    Controls.Window->Arrange();
    // The difficulty's description belongs to the game page.
    if (Controls.Description != nullptr)
        Controls.Description->Visible = page == 1 ? 1 : 0;
    // Hidden buttons keep no held look of another page.
    HoldOne(Controls.InterfaceSize, 3);
}

void OptionsScreen_Apply(TGUI_Object*)
{
    if (GameOptions != nullptr) {
        for (int32_t i = 0; i < OptionCount; i++) {
            const TOptionEntry& entry = OptionTable[i];
            if (entry.Key == nullptr)
                continue;
            int32_t value = CurrentSettings.Values[i];
            if (entry.Kind == OptionBoolean && Controls.Boxes[i] != nullptr)
                value = Controls.Boxes[i]->Checked != 0 ? 1 : 0;
            else if (i == OptionDifficultyLevel)
                value = DifficultyLevel;
            else if (i == OptionMusicVolume)
                value = BarToVolume(Controls.MusicBar, value);
            else if (i == OptionVolumeEffects)
                value = BarToVolume(Controls.EffectsBar, value);
            else if (i == OptionShadowsResolution && HeldIndex(Controls.Shadows) != 0)
                value = QualityButtonValue(HeldIndex(Controls.Shadows));
            else if (i == OptionTextureQuality && HeldIndex(Controls.Texture) != 0)
                value = QualityButtonValue(HeldIndex(Controls.Texture));
            GameOptions->SelectSection("Main");
            if (entry.Kind == OptionBoolean)
                GameOptions->WriteBool(entry.Key, value != 0, -1);
            else if (IsVolume(i))
                GameOptions->WriteFloat(entry.Key, static_cast<float>(value), -1);
            else
                GameOptions->WriteInteger(entry.Key, value, -1);
            CurrentSettings.Values[i] = value;
            if (i >= OptionAutoSave || IsVolume(i))
                StoreGlobal(i, value);
        }
        if (!GameOptions->Save())
            std::fprintf(stderr, "Options: the settings file could not be written\n");
    }
    AppliedSettings = CurrentSettings;
    GameDifficulty = DifficultyLevel;
    ApplyVolumeSettings();
    RequestScreenClose(Options_Window);
    MapFrozen = 0;
}

void OptionsScreen_Cancel(TGUI_Object*)
{
    OptionsScreen_LoadSettings();
    RequestScreenClose(Options_Window);
    MapFrozen = 0;
}

void OptionsScreen_Create()
{
    // Until the file is read: the values a first start has.
    DifficultyLevel = 2;
    CurrentSettings.Values[OptionShadowsResolution] = 2048;
    CurrentSettings.Values[OptionTextureQuality] = 1024;
    AnimationWait = false;
    UseTutorial = 1;
    AutoSave = 0;

    Controls = {};
    Controls.Window = CreateScreenWindow("Options", OptionsScreen_WindowHandler);
    Options_Window = Controls.Window;
    BindControls();
    SetCaptions();
    const T3D_Sprite* area =
        MainRender != nullptr ? MainRender->Sprite_Get(Controls.Window->FindSprite("s_LevelText")) : nullptr;
    if (area != nullptr && !area->Vertices.empty()) {
        auto* list = new TGUI_StringList(MainRender, 100);
        list->X = static_cast<int32_t>(std::lround(area->Vertices[0].X)) + 4;
        list->Y = static_cast<int32_t>(std::lround(area->Vertices[0].Y));
        list->Width = static_cast<int32_t>(std::lround(area->Width)) - 8;
        list->SetHeight(static_cast<int32_t>(std::lround(area->Height)));
        list->MarginX = 8;
        list->MarginY = 10;
        list->Visible = 0;
        Controls.Window->AddObject(list, "l_LevelText", 0);
        Controls.Description = list;
    }
    if (Controls.Yes != nullptr) {
        // Room for a warning under "apply"; nothing writes it.
        auto* label = new TGUI_Label(MainRender);
        label->SetFont(FontSlots[2]);
        label->SetColor(0xFFFF0000u);
        label->Align = 2;
        label->X = GUIVirtualSize.Width / 2;
        label->Y = Controls.Yes->Y + 50;
        Controls.Window->AddObject(label, "c_Warning", 0);
        Controls.Warning = label;
    }
    OptionsScreen_ShowPage(1);
    OptionsScreen_LoadSettings();
}

void OptionsScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    switch (state) {
    case GUI_STATE_OPEN:
        CursorKind = 1;
        OptionsHotkeyHeld = false;
        BetaLogWriteWindowEvent(window->Name, GUI_STATE_OPEN);
        PlayOptionsSound(SoundWindowMAppear);
        break;
    case GUI_STATE_ACTIVE: {
        TScreenHotkeys keys;
        keys.DefaultKey = 32;
        keys.DefaultButton = Controls.Yes;
        keys.CancelButton = Controls.No;
        keys.Held = &OptionsHotkeyHeld;
        RunScreenActiveFrame(*window, nullptr, &keys);
        break;
    }
    case GUI_STATE_INACTIVE:
        window->Draw();
        break;
    case GUI_STATE_CLOSE:
        if (OptionsScreen_RestoreMap != nullptr)
            OptionsScreen_RestoreMap();
        BetaLogWriteWindowEvent(window->Name, GUI_STATE_CLOSE);
        BetaLogWriteSettings(DifficultyLevel, AppliedSettings.Values[OptionMusicVolume],
                             AppliedSettings.Values[OptionVolumeEffects]);
        PlayOptionsSound(SoundWindowMDisappear);
        break;
    case GUI_STATE_DESTROY:
        OptionsScreen_Free();
        break;
    default:
        break;
    }
}

void (*OptionsScreen_RestoreMap)() = nullptr;

void OptionsScreen_Free()
{
    // The objects added in code belong to the screen, not to the window.
    for (TGUI_Object* object :
         {static_cast<TGUI_Object*>(Controls.Description), static_cast<TGUI_Object*>(Controls.Warning)}) {
        if (object == nullptr)
            continue;
        if (Controls.Window != nullptr)
            Controls.Window->RemoveObject(object);
        delete object;
    }
    Controls = {};
    Options_Window = nullptr;
    CurrentSettings = {};
    AppliedSettings = {};
    OptionsHotkeyHeld = false;
}
