#include "tests/screens/ScreenHarness.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "engine/QX9_System_Window.h"
#include "model/Support.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "platform/window/Window.h"
#include "platform/window/WindowSDL.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Png.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_Startup.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "tests/render/RenderTestSupport.h"
#include "tests/support/WorldBuilder.h"

namespace {

const char* const Variables[4] = {"DISPLAY", "SDL_VIDEODRIVER", "DUSKMARCH_FORCE_ACTIVE", "SDL_AUDIODRIVER"};

uint32_t Clock = 100000;
uint32_t HarnessClock()
{
    return Clock;
}

TGUI_Window* PendingOpen = nullptr;
bool* PendingHeld = nullptr;

// The driver: under the screen, it posts the open request from inside a
// frame step (a request made between steps is dropped by the next one).
void DriverHandler(int32_t state, TGUI_Window* window)
{
    if (state != GUI_STATE_ACTIVE)
        return;
    // An empty frame with the cursor until a screen covers it.
    RenderAndPresentScene(window->DrawScene);
    if (PendingOpen == nullptr)
        return;
    RequestScreenOpen(PendingOpen, PendingHeld);
    PendingOpen = nullptr;
    PendingHeld = nullptr;
}

std::string BuildFolder()
{
    return std::filesystem::path(DUSKMARCH_PROGRAM).parent_path().parent_path().string();
}

SDL_Keycode KeycodeOf(int32_t virtualKey)
{
    switch (virtualKey) {
    case 13:
        return SDLK_RETURN;
    case 27:
        return SDLK_ESCAPE;
    case 32:
        return SDLK_SPACE;
    case 122:
        return SDLK_F11;
    case 35:
        return SDLK_END;
    case 36:
        return SDLK_HOME;
    case 38:
        return SDLK_UP;
    case 40:
        return SDLK_DOWN;
    default:
        if (virtualKey >= 'A' && virtualKey <= 'Z')
            return static_cast<SDL_Keycode>(virtualKey - 'A' + 'a');
        return static_cast<SDL_Keycode>(virtualKey);
    }
}

SDL_Window* MainSDLWindow()
{
    return GetMainWindow() != nullptr ? Window_GetSDLWindow(GetMainWindow()) : nullptr;
}

} // namespace

void TScreenHarness::ReadFrame()
{
    if (MainRender != nullptr)
        ReadBackBufferPixels(*MainRender, Frame, FrameWidth, FrameHeight);
}

void TScreenHarness::SetUp()
{
    Server = std::make_unique<TXvfb>(false, std::to_string(Width) + "x" + std::to_string(Height) + "x24");
    if (Server->Name.empty())
        GTEST_SKIP() << "no Xvfb";
    for (int i = 0; i < 4; i++) {
        const char* value = getenv(Variables[i]);
        HadEnvironment[i] = value != nullptr;
        SavedEnvironment[i] = value != nullptr ? value : "";
    }
    setenv("DISPLAY", Server->Name.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("DUSKMARCH_FORCE_ACTIVE", "1", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    Installation =
        std::make_unique<TGameInstallation>(DUSKMARCH_PROGRAM, std::vector<std::string>{"Interface/.harness"});
    Frame.clear();
    FrameWidth = FrameHeight = 0;
}

void TScreenHarness::InstallFixture(const std::string& fixture, const std::string& relative)
{
    const std::filesystem::path target = std::filesystem::path(Installation->Folder.Path()) / relative;
    std::error_code ec;
    std::filesystem::create_directories(target.parent_path(), ec);
    std::filesystem::copy_file(std::string(DUSKMARCH_FIXTURES) + "/" + fixture, target,
                               std::filesystem::copy_options::overwrite_existing, ec);
    ASSERT_FALSE(ec) << fixture << ": " << ec.message();
}

bool TScreenHarness::Start()
{
    try {
        return StartSteps();
    } catch (const TRenderFatalStop&) {
        ADD_FAILURE() << GetEngineErrorText();
        return false;
    }
}

bool TScreenHarness::StartSteps()
{
    OS_SetTimeSource(HarnessClock);
    ClearEngineErrorText();
    SetFatalStopHook(&ThrowRenderFatalStop);
    Support_Initialization();
    QX9_Render_Initialization();
    QX9_GUI_Initialization();
    SetGameFolders(OS_ToProgramPath(Installation->Folder.Path()));
    SetGameLanguage("eng");
    LanguageName = "eng";
    GameOptions = new TIniFile();
    GameOptions->LoadFromMemory("Options.ini", "[Main]\nMusic_Enable=1\n");
    TextsIni = new TIniFile();
    TextsIni->Load(GameFolder + "Config\\Texts.ini");
    TextsIni->SelectSection("Texts");

    MainRender = new T3D_Render();
    RenderSettings = {};
    RenderSettings.Created = 1;
    RenderSettings.ScreenWidth = Width;
    RenderSettings.ScreenHeight = Height;
    GUIProcessor = new TGUI_Processor("DuskmarchHarness");
    GUIProcessor->Init(Width, Height, 1, MainRender);
    if (GetMainWindow() == nullptr) {
        ADD_FAILURE() << "no main window on " << Server->Name;
        return false;
    }
    CreateRender(GetMainWindow(), Width, Height, 0);
    InstallGameRenderHooks();
    const TVirtualSize size = ComputeVirtualSize(Width, Height);
    GUIVirtualSize = {1, "GUI", size.Width, size.Height};
    GUI_Input.ScaleX = size.ScaleX;
    GUI_Input.ScaleY = size.ScaleY;

    // Dummy audio with music on: the post-frame hook feeds the streams.
    Sound_Init(2, 44100, 16, false, -1);
    MusicEnabled = 1;

    // The loading window's set-up (scene "2D", cursors, fonts, the post-frame
    // hook), then the loader's steps the screens need.
    StartupLoaderState = 1;
    LoadingScreen_Create();
    GUIProcessor->SetCursorSprite(CursorSprites[1]);
    CreateHintList();
    LoadStatIcons();
    DayCharText = GetLocalizedText(*TextsIni, "DayChar");
    BuildScreenWorld();
    ScreenBeforePresent = ReadFrame;

    Driver = new TGUI_Window(MainRender, "Driver_Window");
    Driver->Handler = DriverHandler;
    Driver->DrawScene = MainRender->Scene_Find("2D")->Index;
    GUI_OpenWindows.clear();
    Driver->Show();
    Driver->Handler(GUI_STATE_OPEN, Driver);
    Driver->State = GUI_STATE_ACTIVE;
    Started = true;
    Move(Width / 2, Height / 2);
    WaitFrames(1);
    return true;
}

void TScreenHarness::TearDown()
{
    if (Started) {
        ScreenBeforePresent = nullptr;
        PendingOpen = nullptr;
        FreeHintList();
        delete Driver;
        Driver = nullptr;
        GUI_OpenWindows.clear();
        LoadingScreen_Free();
        FreeBackgroundEffect();
        QX9_Sound_Finalization();
        MusicEnabled = 0;
        StartupLoaderState = 0;
        delete TextsIni;
        TextsIni = nullptr;
        FreeGameOptions();
        RemoveGameRenderHooks();
        DestroyMainRender();
        delete GUIProcessor;
        GUIProcessor = nullptr;
        GUI_Input.Processor = nullptr;
        QX9_GUI_Initialization();
        RenderSettings = {};
        GUIVirtualSize = {};
        SizeWorldTables(0, 0);
        ResetPlayServices();
        CursorKind = 0;
    }
    Window_Shutdown();
    // The engine's handle of the main window goes with it.
    MainWindowHandle = nullptr;
    OS_SetTimeSource(nullptr);
    SetFatalStopHook(nullptr);
    for (int i = 0; i < 4; i++) {
        if (HadEnvironment[i])
            setenv(Variables[i], SavedEnvironment[i].c_str(), 1);
        else
            unsetenv(Variables[i]);
    }
    Installation.reset();
    Server.reset();
}

void TScreenHarness::OpenScreen(TGUI_Window* window, bool* hotkeyHeld)
{
    PendingOpen = window;
    PendingHeld = hotkeyHeld;
    WaitFrames(2);
}

void TScreenHarness::Pump()
{
    TMsg msg;
    while (PeekMessage(msg, true))
        if (msg.Window != nullptr)
            DispatchMessage(msg);
}

void TScreenHarness::Step()
{
    Pump();
    Clock += 1;
    try {
        GUI_ProcessFrame();
    } catch (const TRenderFatalStop&) {
        ADD_FAILURE() << GetEngineErrorText();
    }
}

void TScreenHarness::WaitFrames(int32_t frames)
{
    for (int32_t i = 0; i < frames; i++)
        Step();
}

void TScreenHarness::Advance(int32_t milliseconds)
{
    Clock += static_cast<uint32_t>(std::max(milliseconds, 0));
}

void TScreenHarness::Move(int32_t x, int32_t y)
{
    SDL_Window* window = MainSDLWindow();
    if (window == nullptr)
        return;
    // The X server moves its pointer and reports the motion as it does for a
    // real mouse; wait (bounded) until the window layer sees it.
    SDL_WarpMouseInWindow(window, x, y);
    for (int32_t i = 0; i < 200; i++) {
        Pump();
        TPoint point;
        if (GetCursorPos(point) && ScreenToClient(GetMainWindow(), point) && point.X == x && point.Y == y)
            return;
        OS_SleepMs(2);
    }
    ADD_FAILURE() << "the pointer did not reach " << x << "," << y;
}

void TScreenHarness::Press(bool right)
{
    SDL_Event event{};
    event.type = SDL_MOUSEBUTTONDOWN;
    event.button.windowID = SDL_GetWindowID(MainSDLWindow());
    event.button.button = right ? SDL_BUTTON_RIGHT : SDL_BUTTON_LEFT;
    event.button.state = SDL_PRESSED;
    event.button.clicks = 1;
    SDL_GetMouseState(&event.button.x, &event.button.y);
    SDL_PushEvent(&event);
    Pump();
}

void TScreenHarness::Release(bool right)
{
    SDL_Event event{};
    event.type = SDL_MOUSEBUTTONUP;
    event.button.windowID = SDL_GetWindowID(MainSDLWindow());
    event.button.button = right ? SDL_BUTTON_RIGHT : SDL_BUTTON_LEFT;
    event.button.state = SDL_RELEASED;
    event.button.clicks = 1;
    SDL_GetMouseState(&event.button.x, &event.button.y);
    SDL_PushEvent(&event);
    Pump();
}

void TScreenHarness::Wheel(int32_t notches)
{
    SDL_Event event{};
    event.type = SDL_MOUSEWHEEL;
    event.wheel.windowID = SDL_GetWindowID(MainSDLWindow());
    event.wheel.y = notches;
    event.wheel.preciseY = static_cast<float>(notches);
    event.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    SDL_PushEvent(&event);
    Pump();
}

void TScreenHarness::KeyDown(int32_t virtualKey)
{
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.windowID = SDL_GetWindowID(MainSDLWindow());
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = KeycodeOf(virtualKey);
    event.key.keysym.scancode = SDL_GetScancodeFromKey(event.key.keysym.sym);
    SDL_PushEvent(&event);
    Pump();
}

void TScreenHarness::KeyUp(int32_t virtualKey)
{
    SDL_Event event{};
    event.type = SDL_KEYUP;
    event.key.windowID = SDL_GetWindowID(MainSDLWindow());
    event.key.state = SDL_RELEASED;
    event.key.keysym.sym = KeycodeOf(virtualKey);
    event.key.keysym.scancode = SDL_GetScancodeFromKey(event.key.keysym.sym);
    SDL_PushEvent(&event);
    Pump();
}

TGUI_Object* TScreenHarness::Control(TGUI_GraphicWindow& window, const std::string& name)
{
    return window.FindObject(name);
}

bool TScreenHarness::IsOpen(const TGUI_Window* window) const
{
    return std::find(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), window) != GUI_OpenWindows.end();
}

uint32_t TScreenHarness::Pixel(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= FrameWidth || y >= FrameHeight)
        return 0;
    return Frame[static_cast<size_t>(y) * static_cast<size_t>(FrameWidth) + static_cast<size_t>(x)] & 0xFFFFFF;
}

int32_t TScreenHarness::Count(int32_t left, int32_t top, int32_t right, int32_t bottom, bool (*test)(uint32_t)) const
{
    int32_t count = 0;
    for (int32_t y = std::max(top, 0); y < std::min(bottom, FrameHeight); y++)
        for (int32_t x = std::max(left, 0); x < std::min(right, FrameWidth); x++)
            count += test(Pixel(x, y)) ? 1 : 0;
    return count;
}

void TScreenHarness::Shot(const std::string& name)
{
    const std::filesystem::path folder = std::filesystem::path(BuildFolder()) / "shots";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    ASSERT_EQ(FrameWidth, Width) << "no frame read for " << name;
    const std::string png = PngTruecolourImage(FrameWidth, FrameHeight, reinterpret_cast<const uint8_t*>(Frame.data()),
                                               static_cast<int64_t>(FrameWidth) * 4);
    ASSERT_FALSE(png.empty());
    const std::string file = (folder / (name + ".png")).string();
    FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr) << file;
    std::fwrite(png.data(), 1, png.size(), out);
    std::fclose(out);
}
