#include "app/MainProgram.h"

#include <cstdio>
#include <cstdlib>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "engine/QX9_System_Ini.h"
#include "engine/QX9_System_Window.h"
#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Particles.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_SceneHooks.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/front/Duskmarch_InputRecorder.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_Replay.h"
#include "screens/front/Duskmarch_Startup.h"

namespace {

int32_t UnknownSprite = -1;

void FlushRecorderAtEnd()
{
    if (InputRecorderMode == InputRecorderRecording)
        FlushInputRecord(true);
}

// The windows and texts first (their objects hold sprites of the renderer),
// then the renderer with everything on it.
void FreeMainRender()
{
    delete MainMenu_Window;
    MainMenu_Window = nullptr;
    LoadingScreen_Free();
    FreeBackgroundEffect();
    Duskmarch_Base_Finalization();
    delete TextsIni;
    TextsIni = nullptr;
    RemoveGameRenderHooks();
    SetSceneHooks(nullptr);
    DestroyMainRender();
    delete GUIProcessor;
    GUIProcessor = nullptr;
    GUI_Input.Processor = nullptr;
}

// Windows would fail on its own without a desktop; here a start without a
// display says so at once.
void RequireDisplay()
{
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool any = (driver != nullptr && *driver != 0) || (display != nullptr && *display != 0) ||
                     (wayland != nullptr && *wayland != 0);
    if (!any)
        FatalError("TGUI_Processor.Init", "DISPLAY", "NO DISPLAY FOUND!");
}

// The texts belong to the installation or a mod; with neither, the start
// stops before anything is written.
void RequireTexts()
{
    if (FileExistsMask(GameFolder + "Config\\Texts.ini") || PathDirExists(GameFolder + "Mods\\"))
        return;
    FatalError("TIniFile.Load", GameFolder + "Config\\Texts.ini", "FILE NOT FOUND!");
}

void ReadScreenSize(int32_t& width, int32_t& height)
{
    GameOptions->SelectSection("Main");
    width = GameOptions->ReadInteger("ScreenResolution", 1, 0);
    height = GameOptions->ReadInteger("ScreenResolution", 2, 0);
    if (width == 0 || height == 0) {
        width = static_cast<int32_t>(MainRender->DisplayMode.Width);
        height = static_cast<int32_t>(MainRender->DisplayMode.Height);
    }
}

void StartMusic()
{
    Sound_Init(2, 44100, 16, false, -1);
    Sound_OpenStream(MusicFolder + "01 The Gloamwood.ogg", MenuMusic, MusicGroup);
    Sound_OpenStream(MusicFolder + "28 The Raven.ogg", CreditsMusic, MusicGroup);
    GameOptions->SelectSection("Main");
    ApplySoundVolumes(GameOptions->ReadInteger("Music_MusicVolume", -1, 0),
                      GameOptions->ReadInteger("Music_VolumeEffects", -1, 0));
    CurrentMusic = 0;
    CrossFadeMusicTo(MenuMusic);
    // The menu's track plays on until a screen picks other music.
    NextMusicChange = GetFrameTime(false) + 10000000;
}

} // namespace

TShutdownSteps GameShutdownSteps()
{
    return {FlushRecorderAtEnd, BetaLogSave, FreeMainRender};
}

int32_t MainProgram(const std::vector<std::string>& parameters)
{
    std::string error;
    if (!ParseRunOptions(parameters, RunOptions, error)) {
        std::fprintf(stderr, "Duskmarch: %s\n", error.c_str());
        return 2;
    }
    StartupPhase("entry");
    Support_Initialization();
    QX9_Render_Initialization();
    QX9_GUI_Initialization();

    // 1. One copy at a time.
    GUIProcessor = new TGUI_Processor("Duskmarch");
    if (GUIProcessor->IsAlreadyRunning())
        return 0;
    RequireDisplay();
    RequireTexts();

    // 2-5. The user's settings, reset to the installation's measured amounts.
    StartupPhase("settings");
    const std::string local = GetShellFolder(CSIDL_LOCAL_APPDATA);
    UserFolder = (local.empty() || local.back() == '\\' ? local : local + "\\") + "Duskmarch\\";
    GameOptions = new TIniFile();
    PrepareUserSettings(*GameOptions, UserFolder, GameFolder);
    LoadGameOptions(UserFolder);
    CopyInstallDefaults(*GameOptions, GameFolder);
    GameOptions->SelectSection("Main");

    // 6. The texts.
    TextsIni = new TIniFile();
    std::string texts = GetConfigFilePath("Texts.ini");
    LoadInstallFile(*TextsIni, texts.empty() ? GameFolder + "Config\\Texts.ini" : texts);
    TextsIni->SelectSection("Texts");

    // 7. Render presets and music.
    GameOptions->SelectSection("Main");
    ShadowPresetSize = ShadowMapSize(GameOptions->ReadInteger("Render_ShadowsResolution", -1, 0));
    RenderSettings.AntiAliasing = GameOptions->ReadBool("Render_AntiAliasing", -1, false) ? 1 : 0;
    RenderATOC = GameOptions->ReadBool("Render_ATOC", -1, false) ? 1 : 0;
    // A reproducible run plays no music.
    MusicEnabled = GameOptions->ReadBool("Music_Enable", -1, false) && !TestMode() ? 1 : 0;

    // 8. The language.
    const std::string language = GameOptions->ReadString("Global_Language", -1);
    LanguageName = LowerCaseStr(language);
    SetGameLanguage(language);

    // 9-11. The recorder, the renderer, the screen size.
    InitInputRecorder(RunOptions.RecorderParameters);
    StartupPhase("renderer");
    MainRender = new T3D_Render();
    RenderSettings.Created = 1;
    int32_t width = 0, height = 0;
    ReadScreenSize(width, height);
    ApplyReplayScreenSize(width, height);
    RenderSettings.ScreenWidth = width;
    RenderSettings.ScreenHeight = height;

    // 12. The main window and the device.
    StartupPhase("main window");
    GUIProcessor->Init(width, height, 1, MainRender);
    // The test mode's clock and seeds are in force before anything draws a
    // random tip or background.
    Replay_Begin();
    CreateRender(GetMainWindow(), width, height, 0);
    InstallGameRenderHooks();
    // The world rules' terrain and camera go through the map scene from here
    // on: its path grid takes the drawn footprints and bridge decks.
    static TMapSceneHooks mapSceneHooks;
    SetSceneHooks(&mapSceneHooks);

    // 13. The interface's virtual size.
    const TVirtualSize virtualSize = ComputeVirtualSize(width, height);
    GUIVirtualSize = {1, "GUI", virtualSize.Width, virtualSize.Height};
    GUI_Input.ScaleX = virtualSize.ScaleX;
    GUI_Input.ScaleY = virtualSize.ScaleY;

    // 14-15. Cell sizes; the cursor is always a sprite.
    ItemCellSize = 96;
    SmallItemCellSize = 70;
    LongItemCellHeight = 375;

    // 16. Music.
    if (MusicEnabled != 0) {
        StartupPhase("music");
        StartMusic();
    }

    // 17-19.
    SetParticleRender(MainRender);
    UnknownSprite = LoadSprite(InterfaceFolder + "Unknown.tga", 1);
    StartupPhase("loading window");
    LoadingScreen_Create();
    GUIProcessor->SetCursorSprite(CursorSprites[1]);
    CursorKind = 2;

    // 20. The loop, until the last window is gone.
    StartupPhase("message loop");
    GUIProcessor->Run(Loading_Window);

    ShutDownInOrder(GameShutdownSteps());
    return Replay_ExitCode();
}
