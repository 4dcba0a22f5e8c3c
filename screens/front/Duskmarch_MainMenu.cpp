#include "screens/front/Duskmarch_MainMenu.h"

#include <cstdio>

#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "screens/map/Duskmarch_SaveLoad.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_Replay.h"
#include "screens/front/Duskmarch_SelectHero.h"

TGUI_GraphicWindow* MainMenu_Window = nullptr;
uint8_t MenuScreenOpen = 0;
int32_t MainMenuBackground = 0;

TGUI_Window* SelectScenario_Window = nullptr;
TGUI_Window* SelectHero_Window = nullptr;
TGUI_Window* SaveLoad_Window = nullptr;
TGUI_Window* Options_Window = nullptr;
TGUI_Window* ScenarioEnd_Window = nullptr;
TGUI_Window* Tutorials_Window = nullptr;

void (*ClearTutorialsShown)() = nullptr;
int32_t SaveCounter = 0;
int32_t SelectedScenario = 0;
uint8_t UseUserScenarioList = 0;
std::vector<std::string> StandardScenarioFiles;

namespace {

struct TMenuCaption {
    const char* Label;
    const char* Key;
};
constexpr TMenuCaption MenuCaptions[] = {{"c_ContinueGame", "ButtonContinue"},
                                         {"c_NewGame", "ButtonNew"},
                                         {"c_LoadGame", "ButtonLoad"},
                                         {"c_Credits", "ButtonCredits"},
                                         {"c_Options", "ButtonOptions"},
                                         {"c_TopScores", "ButtonTutorials"},
                                         {"c_Exit", "ButtonQuit"}};

struct TMenuButton {
    const char* Name;
    TGUI_Handler OnClick;
};
constexpr TMenuButton MenuButtons[] = {{"Btn_ContinueGame", MainMenuScreen_Continue},
                                       {"Btn_NewGame", MainMenuScreen_NewGame},
                                       {"Btn_LoadGame", MainMenuScreen_LoadGame},
                                       {"Btn_Options", MainMenuScreen_Options},
                                       {"Btn_Credits", MainMenuScreen_Credits},
                                       {"Btn_TopScores", TutorialsScreen_Open},
                                       {"Btn_Exit", MainMenuScreen_Exit}};

constexpr int32_t KeyEscape = 27;

void PostWindowState(TGUI_Window* window, int32_t state)
{
    window->PostState(state);
    BetaLogWriteWindowEvent(window->Name, state);
}

bool FirstFrameShown = false;
const TGUI_Window* ExitRequestedFor = nullptr; // the menu window already asked to end

} // namespace

TNewGameRoute ChooseNewGameRoute(bool useTutorial, bool tutorialCompleted,
                                 const std::vector<std::string>& standardScenarios)
{
    TNewGameRoute route;
    if (tutorialCompleted || !useTutorial)
        return route;
    route.HeroSelection = true;
    route.Scenario = 0;
    for (size_t i = 0; i < standardScenarios.size(); i++)
        if (standardScenarios[i].find("Scenario01_Prologue") != std::string::npos) {
            route.Scenario = static_cast<int32_t>(i);
            break;
        }
    return route;
}

bool OpenScreenWindow(TGUI_Window* window, const char* name)
{
    if (window == nullptr) {
        std::fprintf(stderr, "Main menu: the window %s is not built yet\n", name);
        return false;
    }
    PostWindowState(window, GUI_STATE_OPEN);
    return true;
}

void OpenMainMenu()
{
    OpenScreenWindow(MainMenu_Window, "MainMenu_Window");
}

void MainMenuScreen_Create()
{
    MainMenu_Window = new TGUI_GraphicWindow(MainRender, "MainMenu_Window");
    MainMenu_Window->Handler = MainMenuScreen_WindowHandler;
    if (const T3D_Scene* scene = MainRender->Scene_Find("2D"))
        MainMenu_Window->DrawScene = scene->Index;
    MainMenu_Window->AddMacro("%%", LanguageSuffix);
    MainMenu_Window->LoadFromFile(ResolveModFile(InterfaceFolder + "MainMenu.ini"), GUIVirtualSize.TargetName,
                                  InterfaceFolder + "Unknown.tga");
    MainMenu_Window->Arrange();
    for (const TMenuButton& button : MenuButtons)
        if (TGUI_Object* object = MainMenu_Window->FindObject(button.Name))
            object->OnClick = button.OnClick;
    if (TGUI_Object* object = MainMenu_Window->FindObject("Btn_ContinueGame"))
        object->OnEnter = MainMenuScreen_ContinueHint;
    if (TextsIni == nullptr)
        return;
    TextsIni->SelectSection("Texts");
    for (const TMenuCaption& caption : MenuCaptions)
        if (auto* label = dynamic_cast<TGUI_Label*>(MainMenu_Window->FindObject(caption.Label)))
            label->SetText(GetLocalizedText(*TextsIni, caption.Key));
}

void MainMenuScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    auto* graphic = static_cast<TGUI_GraphicWindow*>(window);
    switch (state) {
    case GUI_STATE_OPEN:
        CursorKind = 1;
        MenuScreenOpen = 1;
        MainMenuBackground = LoadRandomBackground(*graphic, MainMenuBackground);
        BetaLogWriteWindowEvent(window->Name, GUI_STATE_OPEN);
        break;
    case GUI_STATE_ACTIVE: {
        DrawBackground();
        window->Draw();
        UpdateAllHints();
        if (MainRender != nullptr)
            if (T3D_Scene* scene = MainRender->Scene_Get(window->DrawScene)) {
                scene->Render(false);
                Replay_BeforePresent();
                if (IDirect3DDevice9* device = MainRender->Device)
                    D3DRetry(D3DOP_Present, [&] { return device->Present(nullptr, nullptr, nullptr, nullptr); });
            }
        if (!FirstFrameShown) {
            FirstFrameShown = true;
            StartupPhase("main menu first frame");
        }
        if (GUI_Keys[KeyEscape].Down != 0)
            MainMenuScreen_Exit(nullptr);
        break;
    }
    case GUI_STATE_INACTIVE:
        DrawBackground();
        window->Draw();
        break;
    case GUI_STATE_CLOSE:
        MenuScreenOpen = 0;
        if (MainMenuBackground > 0 && MainRender != nullptr) {
            MainRender->Texture_Free(MainMenuBackground, 1);
            MainMenuBackground = 0;
        }
        BetaLogWriteWindowEvent(window->Name, GUI_STATE_CLOSE);
        break;
    case GUI_STATE_DESTROY:
        // The window frees itself after this call.
        MainMenu_Window = nullptr;
        break;
    default:
        break;
    }
}

void MainMenuScreen_Continue(TGUI_Object*)
{
    const std::string file = FindLatestSave();
    if (file.empty())
        return;
    LoadGame(file);
    SaveCounter = 1;
}

void MainMenuScreen_ContinueHint(TGUI_Object* object)
{
    if (!FindLatestSave().empty() || TextsIni == nullptr || !TextsIni->SelectSection("Hints"))
        return;
    ShowHintTextAt(GetLocalizedText(*TextsIni, "NotActiveGame"), object);
}

void MainMenuScreen_NewGame(TGUI_Object*)
{
    bool useTutorial = false, completed = false;
    if (GameOptions != nullptr && GameOptions->SelectSection("Main")) {
        completed = GameOptions->ReadBool("TutorialCompleted", -1, false);
        useTutorial = GameOptions->ReadBool("UseTutorial", -1, false);
    }
    const TNewGameRoute route = ChooseNewGameRoute(useTutorial, completed, StandardScenarioFiles);
    if (route.HeroSelection) {
        UseUserScenarioList = 0;
        SelectedScenario = route.Scenario;
        HeroReachedFromSelection = false;
        OpenScreenWindow(SelectHero_Window, "SelectHero_Window");
    } else {
        OpenScreenWindow(SelectScenario_Window, "SelectScenario_Window");
    }
    if (ClearTutorialsShown != nullptr)
        ClearTutorialsShown();
}

void MainMenuScreen_LoadGame(TGUI_Object*)
{
    if (auto* window = dynamic_cast<TGUI_GraphicWindow*>(SaveLoad_Window))
        window->SetVariable("MainMenu.mode", "1", false);
    if (SaveLoad_Window != nullptr)
        SaveLoadScreen_SetMode(1);
    OpenScreenWindow(SaveLoad_Window, "SaveLoad_Window");
}

void MainMenuScreen_Options(TGUI_Object*)
{
    OpenScreenWindow(Options_Window, "Options_Window");
}

void MainMenuScreen_Credits(TGUI_Object*)
{
    if (ScenarioEnd_Window == nullptr) {
        OpenScreenWindow(nullptr, "ScenarioEnd_Window");
        return;
    }
    PostWindowState(MainMenu_Window, GUI_STATE_CLOSE);
    OpenScreenWindow(ScenarioEnd_Window, "ScenarioEnd_Window");
}

void MainMenuScreen_Exit(TGUI_Object*)
{
    // Esc held over several frames asks once.
    if (MainMenu_Window == nullptr || ExitRequestedFor == MainMenu_Window)
        return;
    ExitRequestedFor = MainMenu_Window;
    PostWindowState(MainMenu_Window, GUI_STATE_CLOSE);
    PostWindowState(MainMenu_Window, GUI_STATE_DESTROY);
}
