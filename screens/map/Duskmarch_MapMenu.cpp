#include "screens/map/Duskmarch_MapMenu.h"

#include <algorithm>
#include <cstdio>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "model/save/SavedGame.h"
#include "render/QX9_GUI.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Sound.h"
#include "screens/map/Duskmarch_SaveLoad.h"

TGUI_GraphicWindow* MapMenu_Window = nullptr;
bool MapMenuHotkeyHeld = false;

namespace {

TScreenHotkeys MapMenuKeys;
// The next music change after leaving for the menu: far enough away that the
// menu's track plays on.
constexpr int32_t MenuMusicHold = 10000000;

void MapMenuSound(int32_t id)
{
    if (id > 0 && SoundDevice != nullptr)
        Sound_Play(id, true, false);
}

bool MapMenuWindowOpen(const TGUI_Window* window)
{
    return window != nullptr &&
           std::find(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), window) != GUI_OpenWindows.end();
}

void CloseMapMenu()
{
    if (MapMenu_Window != nullptr)
        RequestScreenClose(MapMenu_Window);
}

void CloseMapWindow()
{
    if (Map_Window == nullptr) {
        std::fprintf(stderr, "Map menu: the map window is not built yet\n");
        return;
    }
    RequestScreenClose(Map_Window);
}

void OpenSaveLoadFromMap(int32_t mode)
{
    CloseMapMenu();
    if (SaveLoadWindow != nullptr)
        SaveLoadWindow->SetVariable("MainMenu.mode", "0", true);
    SaveLoadScreen_SetMode(mode);
}

} // namespace

bool StartSaveExists()
{
    return !StartSaveName.empty() && FileExistsMask(SavesFolder + StartSaveName + StartSaveExtension);
}

void MapMenuScreen_Create()
{
    MapMenu_Window = CreateScreenWindow("MapMenu", MapMenuScreen_WindowHandler);
    const struct {
        const char* Button;
        TGUI_Handler Handler;
        const char* Label;
        const char* Key;
    } buttons[] = {{"b_LoadGame", MapMenuScreen_LoadGame, "c_LoadGame", "ButtonLoad"},
                   {"b_SaveGame", MapMenuScreen_SaveGame, "c_SaveGame", "ButtonSave"},
                   {"b_RestartScenario", MapMenuScreen_RestartScenario, "c_RestartScenario", "ButtonRestartScenario"},
                   {"b_Options", MapMenuScreen_Options, "c_Options", "ButtonOptions"},
                   {"b_ExitToMenu", MapMenuScreen_ExitToMenu, "c_ExitToMenu", "ButtonExit"},
                   {"b_ExitToDesktop", MapMenuScreen_ExitToDesktop, "c_ExitToDesktop", "ButtonQuit"},
                   {"b_Close", MapMenuScreen_Close, "c_Close", "Continue"}};
    const bool texts = TextsIni != nullptr && TextsIni->SelectSection("Texts");
    for (const auto& b : buttons) {
        if (TGUI_Object* o = MapMenu_Window->FindObject(b.Button))
            o->OnClick = b.Handler;
        if (texts)
            SetWindowLabelText(*MapMenu_Window, b.Label, GetLocalizedText(*TextsIni, b.Key));
    }
    if (texts)
        SetWindowLabelText(*MapMenu_Window, "c_Title", GetLocalizedText(*TextsIni, "MapMenuTitle"));
    TGUI_Object* close = MapMenu_Window->FindObject("b_Close");
    // Space and Esc both continue the game.
    MapMenuKeys = {32, close, close, &MapMenuHotkeyHeld};
}

void MapMenuScreen_Open(TGUI_Object*)
{
    if (MapMenu_Window == nullptr)
        return;
    RequestScreenOpen(MapMenu_Window, &MapMenuHotkeyHeld);
    MapFrozen = 1;
    MapClockResumeTime = 0;
    BetaLogWriteWindowEvent(MapMenu_Window->Name, GUI_STATE_OPEN);
}

void MapMenuScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    switch (state) {
    case GUI_STATE_OPEN:
        CursorKind = 1;
        if (MapMenu_Window != nullptr)
            if (TGUI_Object* restart = MapMenu_Window->FindObject("b_RestartScenario"))
                restart->Enabled = StartSaveExists() ? 1 : 0;
        MapMenuSound(SoundWindowMAppear);
        break;
    case GUI_STATE_ACTIVE:
        RunScreenActiveFrame(*window, nullptr, &MapMenuKeys);
        break;
    case GUI_STATE_INACTIVE:
        window->Draw();
        break;
    case GUI_STATE_CLOSE:
        if (MapMenuWindowOpen(Map_Window))
            RefreshMapScene();
        MapMenuSound(SoundWindowMDisappear);
        break;
    case GUI_STATE_DESTROY:
        MapMenu_Window = nullptr;
        break;
    default:
        break;
    }
}

void MapMenuScreen_LoadGame(TGUI_Object*)
{
    OpenSaveLoadFromMap(SaveLoadOwn);
    OpenScreenWindow(SaveLoad_Window, "SaveLoad_Window");
}

void MapMenuScreen_SaveGame(TGUI_Object*)
{
    OpenSaveLoadFromMap(SaveLoadSave);
    SetSaveNameEditText(PlaceholderSaveName);
    // The placeholder row is a real save, written now; the window removes
    // exactly this one again unless the player saves over it.
    if (SaveGame(PlaceholderSaveName, true, -1))
        PlaceholderSaveFile = PrivateSaves.back().FileName;
    SelectedSave = -1;
    ResetSaveListButtons();
    OpenScreenWindow(SaveLoad_Window, "SaveLoad_Window");
}

void MapMenuScreen_RestartScenario(TGUI_Object*)
{
    if (!StartSaveExists())
        return;
    if (SaveCounter == 0)
        SaveCounter = 1;
    CloseMapMenu();
    LoadGame(StartSaveName + StartSaveExtension);
}

void MapMenuScreen_Options(TGUI_Object*)
{
    CloseMapMenu();
    OpenScreenWindow(Options_Window, "Options_Window");
}

void MapMenuScreen_ExitToMenu(TGUI_Object*)
{
    CloseMapMenu();
    CloseMapWindow();
    MapFrozen = 1;
    OpenMainMenu();
    if (MusicEnabled != 0) {
        CrossFadeMusicTo(MenuMusic);
        NextMusicChange = GUI_Now() + MenuMusicHold;
    }
}

void MapMenuScreen_ExitToDesktop(TGUI_Object*)
{
    CloseMapMenu();
    CloseMapWindow();
    // Destroying the map window, which has no owner, ends the program
    // through the normal shut-down.
    if (Map_Window != nullptr)
        Map_Window->PostState(GUI_STATE_DESTROY);
}

void MapMenuScreen_Close(TGUI_Object*)
{
    CloseMapMenu();
    MapFrozen = 0;
}
