// The loading window and the main menu drawn on the real device over a
// hidden window from the sample installation: a few pixels probed, and a
// picture of each left in the build folder's "shots".
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "crashreport/diagnostics/zorBitmap.h"
#include "engine/QX9_System.h"
#include "model/Support.h"
#include "platform/os/OS.h"
#include "platform/window/Window.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_Startup.h"
#include "tests/render/RenderTestSupport.h"

namespace {

constexpr int32_t Width = 800;
constexpr int32_t Height = 600;

// The back buffer, top row first.
TINVBitmap ReadBackBuffer()
{
    IDirect3DDevice9* device = MainRender->Device;
    D3DSURFACE_DESC desc;
    MainRender->BackBuffer->GetDesc(&desc);
    IDirect3DSurface9* copy = nullptr;
    TINVBitmap bitmap(Width, Height);
    if (device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr) !=
            D3D_OK ||
        device->GetRenderTargetData(MainRender->BackBuffer, copy) != D3D_OK) {
        ADD_FAILURE() << "cannot read the back buffer";
        return bitmap;
    }
    D3DLOCKED_RECT locked;
    copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    for (int32_t y = 0; y < Height; y++)
        std::memcpy(bitmap.Row(y), static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch,
                    static_cast<size_t>(Width) * 4);
    copy->UnlockRect();
    copy->Release();
    return bitmap;
}

std::string ShotsFolder()
{
    const std::filesystem::path folder = std::filesystem::path(DUSKMARCH_PROGRAM).parent_path().parent_path() / "shots";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder.string();
}

// The whole program's scripted run writes loading.png and main_menu.png at
// full size; these are the small screen's, drawn at the larger virtual size.
void Shoot(const TINVBitmap& bitmap, const std::string& name)
{
    const std::string file = ShotsFolder() + "/" + name;
    EXPECT_TRUE(bitmap.WritePngFile(std::u16string(file.begin(), file.end()), 0)) << file;
}

int32_t Channel(uint32_t rgb, int32_t shift)
{
    return static_cast<int32_t>((rgb >> shift) & 255);
}

bool Dark(uint32_t rgb)
{
    return Channel(rgb, 16) < 24 && Channel(rgb, 8) < 24 && Channel(rgb, 0) < 24;
}

// Pixels of the rectangle that are not near black.
int32_t Lit(const TINVBitmap& bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    int32_t count = 0;
    for (int32_t y = top; y < bottom; y++)
        for (int32_t x = left; x < right; x++)
            count += Dark(bitmap.PixelAt(x, y)) ? 0 : 1;
    return count;
}

// The screen pixel of a virtual interface point.
int32_t ScreenX(int32_t x)
{
    return x * Width / GUIVirtualSize.Width;
}
int32_t ScreenY(int32_t y)
{
    return y * Height / GUIVirtualSize.Height;
}

class FrontScreensTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearEngineErrorText();
        SetFatalStopHook(&ThrowRenderFatalStop);
        QX9_Render_Initialization();
        QX9_GUI_Initialization();
        SetGameFolders(OS_ToProgramPath(std::filesystem::path(DUSKMARCH_PROGRAM).parent_path().string()));
        SetGameLanguage("eng");
        LanguageName = "eng";
        TWindowCreateParams params;
        params.ClassName = "FrontScreensTest";
        params.Title = "Duskmarch";
        params.Width = Width;
        params.Height = Height;
        Window = Window_Create(params);
        ASSERT_NE(Window, nullptr);
        RenderSettings = {};
        RenderSettings.ScreenWidth = Width;
        RenderSettings.ScreenHeight = Height;
        CreateRender(Window, Width, Height, 0);
        InstallGameRenderHooks();
        const TVirtualSize size = ComputeVirtualSize(Width, Height);
        GUIVirtualSize = {1, "GUI", size.Width, size.Height};
        Processor = std::make_unique<TGUI_Processor>("FrontScreensTest");
        GUIProcessor = Processor.get();
        GUI_ResetInput(Processor.get());
        Processor->Render = MainRender;
        GUI_Input.ScaleX = size.ScaleX;
        GUI_Input.ScaleY = size.ScaleY;
        TextsIni = new TIniFile();
        TextsIni->Load(GameFolder + "Config\\Texts.ini");
        TextsIni->SelectSection("Texts");
        StartupLoaderState = 1; // no loader thread here: the test draws the frames itself
    }
    void TearDown() override
    {
        StartupLoaderState = 0;
        GUIProcessor = nullptr;
        QX9_GUI_Initialization();
        Processor.reset();
        delete MainMenu_Window;
        MainMenu_Window = nullptr;
        LoadingScreen_Free();
        delete TextsIni;
        TextsIni = nullptr;
        RemoveGameRenderHooks();
        if (MainRender != nullptr) {
            FreeRenderRegistries(*MainRender);
            for (IDirect3DVertexDeclaration9* declaration : MainRender->VertexDecls)
                if (declaration != nullptr)
                    declaration->Release();
            MainRender->Device->Release();
            MainRender->Direct3D->Release();
            delete MainRender;
            MainRender = nullptr;
        }
        RenderSettings = {};
        Window_Shutdown();
        SetFatalStopHook(nullptr);
        ClearEngineErrorText();
    }
    void PointAt(int32_t virtualX, int32_t virtualY)
    {
        GUI_Input.VirtualX = virtualX;
        GUI_Input.VirtualY = virtualY;
        GUI_Input.SystemCursorHidden = 1;
    }

    HWND Window = nullptr;
    std::unique_ptr<TGUI_Processor> Processor;
};

TEST_F(FrontScreensTest, LoadingWindowShowsLandscapeTipAndBar)
{
    try {
        LoadingScreen_Create();
        Processor->SetCursorSprite(CursorSprites[2]);
        Processor->ActiveWindow = Loading_Window;
        LoadingScreen_WindowHandler(GUI_STATE_OPEN, Loading_Window);
        EXPECT_EQ(LoadingBarShown, 1) << "the bar opens 1 pixel wide";
        // Something arrives on the device: half the expected amount.
        MainRender->Texture_Create(TEXTURE_DEFAULT, 256, 256, 1, D3DFMT_A8R8G8B8, 0);
        LoadingExpected = 2 * (int64_t{MainRender->MeshBytes} + MainRender->TextureBytes - LoadingBaseline);
        PointAt(GUIVirtualSize.Width / 2, GUIVirtualSize.Height / 3);
        LoadingScreen_WindowHandler(GUI_STATE_ACTIVE, Loading_Window);
    } catch (const TRenderFatalStop&) {
        FAIL() << GetEngineErrorText();
    }
    EXPECT_EQ(LoadingBarShown, 115);
    const TINVBitmap frame = ReadBackBuffer();
    Shoot(frame, "loading_800x600.png");

    // The landscape fills the screen's upper part.
    EXPECT_GT(Lit(frame, 0, 0, Width, Height / 2), Width * Height / 8);
    // The plate with its groove; the bar fills the groove's left half.
    const int32_t plateX = (GUIVirtualSize.Width - 420) / 2, plateY = GUIVirtualSize.Height - 170;
    const uint32_t barLeft = frame.PixelAt(ScreenX(plateX + 95 + 30), ScreenY(plateY + 58 + 7));
    const uint32_t barRight = frame.PixelAt(ScreenX(plateX + 95 + 200), ScreenY(plateY + 58 + 7));
    EXPECT_NE(barLeft, barRight) << "filled and empty parts of the groove differ";
    // The tip's frame holds dark text on its light parchment.
    const int32_t frameX = (GUIVirtualSize.Width - 960) / 2, frameY = GUIVirtualSize.Height - 330;
    int32_t darkInFrame = 0;
    for (int32_t y = ScreenY(frameY + 20); y < ScreenY(frameY + 108); y++)
        for (int32_t x = ScreenX(frameX + 40); x < ScreenX(frameX + 920); x++)
            darkInFrame += Dark(frame.PixelAt(x, y)) ? 1 : 0;
    EXPECT_GT(darkInFrame, 20) << "no tip text";
}

TEST_F(FrontScreensTest, MainMenuShowsItsSevenCaptionsOnTheLandscape)
{
    try {
        LoadingScreen_Create();
        MainMenuScreen_Create();
        Processor->SetCursorSprite(CursorSprites[1]);
        Processor->ActiveWindow = MainMenu_Window;
        MainMenuScreen_WindowHandler(GUI_STATE_OPEN, MainMenu_Window);
        PointAt(GUIVirtualSize.Width / 2 + 250, GUIVirtualSize.Height / 2);
        MainMenuScreen_WindowHandler(GUI_STATE_ACTIVE, MainMenu_Window);
    } catch (const TRenderFatalStop&) {
        FAIL() << GetEngineErrorText();
    }
    const TINVBitmap frame = ReadBackBuffer();
    Shoot(frame, "main_menu_800x600.png");

    EXPECT_GT(MainMenuBackground, 0);
    const char* const buttons[] = {"Btn_ContinueGame", "Btn_NewGame",   "Btn_LoadGame", "Btn_Options",
                                   "Btn_Credits",      "Btn_TopScores", "Btn_Exit"};
    for (const char* name : buttons) {
        const TGUI_Object* button = MainMenu_Window->FindObject(name);
        ASSERT_NE(button, nullptr) << name;
        // The caption's bright letters in the button's middle.
        int32_t bright = 0;
        for (int32_t y = ScreenY(button->Y + 16); y < ScreenY(button->Y + button->Height - 16); y++)
            for (int32_t x = ScreenX(button->X + 100); x < ScreenX(button->X + button->Width - 100); x++)
                bright += Channel(frame.PixelAt(x, y), 16) > 180 ? 1 : 0;
        EXPECT_GT(bright, 10) << name << ": no caption";
    }
    // The landscape beside the panel, and the cursor's light arrow where the
    // mouse is.
    EXPECT_GT(Lit(frame, 0, 0, Width / 4, Height), 0);
    const int32_t cx = ScreenX(GUIVirtualSize.Width / 2 + 250), cy = ScreenY(GUIVirtualSize.Height / 2);
    int32_t cursor = 0;
    for (int32_t y = cy; y < cy + 12; y++)
        for (int32_t x = cx; x < cx + 8; x++)
            cursor += Channel(frame.PixelAt(x, y), 16) > 150 ? 1 : 0;
    EXPECT_GT(cursor, 3) << "no cursor";
}

} // namespace
