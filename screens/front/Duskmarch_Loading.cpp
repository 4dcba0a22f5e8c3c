#include "screens/front/Duskmarch_Loading.h"

#include "screens/map/Duskmarch_Map.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <thread>

#include "engine/QX9_System.h"
#include "model/Support.h"
#include "model/ai/AIMain_Settings.h"
#include "model/save/BetaLog.h"
#include "model/tables/Global.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PlayServices.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_Pipeline.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_InfoWindows.h"
#include "screens/front/Duskmarch_InputRecorder.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/front/Duskmarch_Credits.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_Options.h"
#include "screens/front/Duskmarch_Tutorials.h"
#include "screens/front/Duskmarch_SelectHero.h"
#include "screens/front/Duskmarch_SelectScenario.h"
#include "screens/front/Duskmarch_Replay.h"
#include "screens/front/Duskmarch_SharedSprites.h"
#include "screens/kit/Duskmarch_Base_Sound.h"
#include "screens/kit/Duskmarch_Inventory.h"
#include "screens/kit/Duskmarch_PersIcon.h"
#include "screens/kit/Duskmarch_PersPanels.h"
#include "screens/map/Duskmarch_MapMenu.h"
#include "screens/map/Duskmarch_MapWiring.h"
#include "screens/map/Duskmarch_SaveLoad.h"
#include "screens/party/Duskmarch_Building.h"

std::atomic<int32_t> StartupLoaderState{0};
int64_t LoadingBaseline = 0;
int64_t LoadingExpected = 0;
int64_t LoadingBytesProgress = 0;
int32_t LoadingBarSprite = -1;
int32_t LoadingBarShown = 0;

TGUI_GraphicWindow* Loading_Window = nullptr;
TGUI_StringList* LoadingTipList = nullptr;
TIniFile* TextsIni = nullptr;
std::u16string MonthNames[12];
std::string CurrentUserName;
int32_t HintFont = -1;
int32_t ScreenshotTexture = -1;
int32_t SavingTextSprite = -1;

const int32_t HexSectorDirection[18] = {5, 5, 5, 6, 6, 6, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
const int32_t HexSectorDirectionFine[18] = {10, 5, 11, 11, 6, 12, 12, 1, 7, 7, 2, 8, 8, 3, 9, 9, 4, 10};

uint32_t ColorConstants[ColorConstantCount] = {};

namespace {

constexpr uint32_t Rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    return a << 24 | r << 16 | g << 8 | b;
}

// The render-state field the icon sprites are filtered by.
constexpr uint32_t IconFilterField = 768;

std::thread LoaderThread;

void LoadMonthNames()
{
    if (TextsIni == nullptr)
        return;
    TextsIni->SelectSection("Texts");
    for (int32_t i = 0; i < 12; i++)
        MonthNames[i] = TextsIni->ReadWideString("Months" + LanguageSuffix, i + 1);
    DayCharText = GetLocalizedText(*TextsIni, "DayChar");
}

void ReadUserName()
{
    CurrentUserName = UserNameEnv;
}

void LoadGameTables()
{
    LoadAchievements();
    LoadCoatIcons();
    LoadBonuses();
    LoadSpells();
    LoadItems();
    LoadUnitTypes();
}

void SizeIconSprites()
{
    if (MainRender == nullptr)
        return;
    auto size89 = [](int32_t index) {
        if (T3D_Sprite* sprite = MainRender->Sprite_Get(index)) {
            sprite->SetSize(-1, 89, 89);
            sprite->SetRenderState(IconFilterField, 2);
        }
    };
    for (const TCoatIcon& coat : CoatIcons) {
        size89(coat.Icon32);
        size89(coat.Icon26);
        size89(coat.Icon16);
        size89(coat.Icon54);
    }
    for (int32_t i = 1; i <= ItemIconLast && i < static_cast<int32_t>(ItemIconSprites.size()); i++)
        size89(ItemIconSprites[static_cast<size_t>(i)]);
}

void CreateHintsAndStatIcons()
{
    CreateHintList();
    LoadStatIcons();
}

// The icons', cells' and panels' shared sprites, before the screens that
// make their icons, lists and panels.
void LoadPartyKitSprites()
{
    LoadIconSprites();
    LoadInventorySprites();
    LoadPanelSprites();
}

void LoadBattleMeshes()
{
    if (MainRender == nullptr)
        return;
    LoadSharedMeshes();
}

void WriteSettingsRecord()
{
    if (GameOptions == nullptr)
        return;
    GameOptions->SelectSection("Main");
    BetaLogWriteSettings(GameOptions->ReadInteger("Game_DifficultyLevel", -1, 2),
                         GameOptions->ReadInteger("Music_MusicVolume", -1, 0),
                         GameOptions->ReadInteger("Music_VolumeEffects", -1, 0));
}

void RunScreenCreators()
{
    for (const TLoaderSlot& slot : ScreenCreators) {
        if (slot.Run == nullptr)
            continue;
        StartupPhase(slot.Name);
        slot.Run();
    }
}

void BeginUploads()
{
    if (MainRender != nullptr)
        MainRender->UploadQueue_Begin();
}

void EndUploads()
{
    if (MainRender != nullptr)
        MainRender->UploadQueue_End();
}

void TextureOptions(int32_t flags, int32_t group)
{
    if (MainRender != nullptr)
        MainRender->Texture_SetLoadOptions(flags, group);
}

void TerrainTextureOptions()
{
    TextureOptions(1, 32);
}

void PlainTextureOptions()
{
    TextureOptions(0, 0);
}

// Draw, then the last look before the back buffer is shown, then show it.
void RenderAndPresent(int32_t sceneIndex)
{
    T3D_Scene* scene = MainRender != nullptr ? MainRender->Scene_Get(sceneIndex) : nullptr;
    if (scene == nullptr)
        return;
    scene->Render(false);
    Replay_BeforePresent();
    IDirect3DDevice9* device = MainRender->Device;
    if (device != nullptr)
        D3DRetry(D3DOP_Present, [&] { return device->Present(nullptr, nullptr, nullptr, nullptr); });
}

int64_t RendererBytes()
{
    if (MainRender == nullptr)
        return 0;
    return int64_t{MainRender->MeshBytes} + int64_t{MainRender->TextureBytes};
}

// The game's side of the loading window's frame.
class TGameLoadingDriver : public TLoadingDriver {
public:
    int64_t DeviceBytes() override { return RendererBytes(); }
    void StartLoader() override { LoaderThread = std::thread(StartupLoaderThread); }
    void JoinLoader() override
    {
        if (LoaderThread.joinable())
            LoaderThread.join();
    }
    bool QueueEmpty() override { return MainRender == nullptr || MainRender->UploadQueue_Empty(); }
    void ProcessQueue(int32_t budget) override
    {
        if (MainRender != nullptr)
            MainRender->UploadQueue_Process(budget);
    }
    void HandOver(int64_t measured) override
    {
        if (GameOptions != nullptr) {
            GameOptions->SelectSection("Main");
            GameOptions->WriteString("Loading_ProgressBarSize", Int64ToStr(measured, false), -1);
            GameOptions->Save();
        }
        CursorKind = 1;
        StartupPhase("upload frames done");
        if (Loading_Window != nullptr)
            Loading_Window->PostState(GUI_STATE_CLOSE);
        OpenMainMenu();
    }
};

TGameLoadingDriver GameLoadingDriver;
int32_t LoadingBackground = -1;

void ShowBar(int32_t width)
{
    T3D_Sprite* sprite = MainRender != nullptr ? MainRender->Sprite_Get(LoadingBarSprite) : nullptr;
    if (sprite == nullptr || sprite->Vertices.size() < 4)
        return;
    const float x = sprite->Vertices[0].X, y = sprite->Vertices[0].Y;
    sprite->SetFrame(width, LoadingBarHeight, 0, 0, 0);
    sprite->SetPosition(x, y);
    LoadingBarShown = width;
}

} // namespace

TLoaderSlot ScreenCreators[ScreenCreatorCount] = {
    {"MainMenuScreen_Create", MainMenuScreen_Create},
    {"OptionsScreen_Create", OptionsScreen_Create},
    {"TopScoresScreen_Create", nullptr},
    {"AchievementsScreen_Create", nullptr},
    {"SelectScenarioScreen_Create", SelectScenarioScreen_Create},
    {"PersonageInfoScreen_Create", [] { PersonageInfoScreen_Create(PersonageInfoPopup); }},
    {"BuildingInfoScreen_Create", [] { BuildingInfoScreen_Create(BuildingInfoPopup); }},
    {"ArmyInfoScreen_Create", [] { ArmyInfoScreen_Create(ArmyInfoPopup); }},
    {"SelectHeroScreen_Create", SelectHeroScreen_Create},
    {"SaveLoadScreen_Create", SaveLoadScreen_Create},
    {"ScenarioLoadingScreen_Create", ScenarioLoadingScreen_Create},
    {"TransferScreen_Create", TransferScreen_Create},
    {"ScenarioEndScreen_Create", ScenarioEndScreen_Create},
    {"MapScreen_Create", [] {
         MapScreen_Create();
         InstallMapScreenHooks();
     }},
    {"MapMenuScreen_Create", MapMenuScreen_Create},
    {"JournalScreen_Create", nullptr},
    {"TentScreen_Create", nullptr},
    {"BuildingScreen_Create", BuildingScreen_Create},
    {"EventScreen_Create", nullptr},
    {"BattleLoadingScreen_Create", nullptr},
    {"BattleScreen_Create", nullptr},
    {"VictoryScreen_Create", nullptr},
    {"AssaultScreen_Create", nullptr},
    {"TutorialsScreen_Create", TutorialsScreen_Create},
    {"BattleMenuScreen_Create", nullptr},
    {"JournalScreen_CreateMiniMap", nullptr},
    {"TAdditionalPersonage.Create", nullptr},
    {"EventResultsPanel_Create", nullptr},
};

// The loader's steps in their order; the empty ones belong to units that
// fill them when they land.
TLoaderSlot LoaderSteps[] = {
    {"UploadQueue_Begin", BeginUploads},
    {"MonthNames", LoadMonthNames},
    {"CreateConsole", nullptr},
    {"CurrentUserName", ReadUserName},
    {"ReadSettings", ReadSettings},
    {"GameTables", LoadGameTables},
    {"LoadBattleEffects", nullptr},
    {"AI_LoadSettings", AI_LoadSettings},
    {"HintList", CreateHintsAndStatIcons},
    {"IconSizes", SizeIconSprites},
    {"LoadMapEditOptions", LoadMapEditOptions},
    {"TerrainTextureOptions", TerrainTextureOptions},
    {"LoadTerrainResources", [] { LoadTerrainResources(nullptr); }},
    {"PlainTextureOptions", PlainTextureOptions},
    {"BattleMeshes", LoadBattleMeshes},
    {"TVisualArmyPath.Init", VisualArmyPath_Init},
    {"SharedSprites", LoadSharedSprites},
    {"PartyKitSprites", LoadPartyKitSprites},
    {"ScreenCreators", RunScreenCreators},
    {"PlainTextureOptions", PlainTextureOptions},
    {"LoadSoundLibrary", LoadSoundLibrary},
    {"OptionsScreen_LoadSettings", OptionsScreen_LoadSettings},
    {"BetaLogWriteSettings", WriteSettingsRecord},
    {"UploadQueue_End", EndUploads},
};
const int32_t LoaderStepCount = static_cast<int32_t>(sizeof(LoaderSteps) / sizeof(LoaderSteps[0]));

TLoaderSlot LoadingScreenSlots[LoadingScreenSlotCount] = {
    {"MapPipelineAndArenaScene", [] { CreateMapPipeline(RenderSettings.ScreenWidth, RenderSettings.ScreenHeight); }},
    {"TDragItem.Init", nullptr},
};

bool SetLoaderSlot(const std::string& name, void (*run)())
{
    for (TLoaderSlot& slot : ScreenCreators)
        if (name == slot.Name) {
            slot.Run = run;
            return true;
        }
    for (int32_t i = 0; i < LoaderStepCount; i++)
        if (name == LoaderSteps[i].Name) {
            LoaderSteps[i].Run = run;
            return true;
        }
    for (TLoaderSlot& slot : LoadingScreenSlots)
        if (name == slot.Name) {
            slot.Run = run;
            return true;
        }
    return false;
}

int32_t LoadingBarWidth(int64_t progress, int64_t expected)
{
    // Without a measured amount nothing tells how far the loading is.
    if (progress < 1 || expected <= 0)
        return 0;
    const double width =
        std::nearbyint(static_cast<double>(progress) / static_cast<double>(expected) * LoadingBarLength);
    return width >= LoadingBarLength ? LoadingBarLength : static_cast<int32_t>(width);
}

void InitColorConstants()
{
    const uint32_t colors[ColorConstantCount] = {
        Rgba(255, 0, 0, 255),     Rgba(0, 255, 0, 255),     Rgba(0, 127, 0, 255),   Rgba(0, 63, 0, 255),
        Rgba(0, 0, 255, 255),     Rgba(0, 48, 96, 255),     Rgba(0, 0, 0, 255),     Rgba(255, 255, 255, 255),
        Rgba(255, 255, 0, 255),   Rgba(0, 0, 0, 255),       Rgba(255, 20, 20, 255), Rgba(255, 233, 151, 200),
        Rgba(127, 127, 127, 255), Rgba(63, 95, 255, 255),   Rgba(0, 192, 0, 255),   Rgba(127, 63, 240, 255),
        Rgba(127, 63, 240, 255),  Rgba(255, 255, 120, 200), Rgba(165, 42, 42, 255), Rgba(65, 43, 21, 255),
        Rgba(64, 0, 0, 200)};
    for (int32_t i = 0; i < ColorConstantCount; i++)
        ColorConstants[i] = colors[i];
}

std::u16string ChooseTip(TIniFile& texts)
{
    std::u16string tip;
    if (texts.SelectSection("Tips")) {
        const int32_t count = texts.ReadInteger("TipsCount", -1, 0);
        if (count > 0) {
            const int32_t n = 1 + RandomInt(count);
            tip = texts.ReadWideString("Tips" + Int64ToStr(n, false) + LanguageSuffix, -1);
        }
    }
    texts.SelectSection("Texts");
    return tip;
}

void ShowTip(TGUI_GraphicWindow& window, TGUI_StringList& list, const std::u16string& tip, int32_t font)
{
    list.Clear();
    if (tip.empty()) {
        window.SetVariable("frame.Visible", "0", true);
        window.Arrange();
        return;
    }
    window.SetVariable("frame.Visible", "1", true);
    window.Arrange();
    const int32_t x = window.GetValue("frame.x"), y = window.GetValue("frame.y");
    const int32_t width = window.GetValue("frame.width"), height = window.GetValue("frame.height");
    list.X = x + 20;
    list.Y = y + 10;
    list.Width = width - 40;
    list.SetHeight(height - 20);
    list.AddText(tip, font, font, 2, ColorConstants[TipTextColor], -1000);
    // The list scrolls only downwards: a short text is centred by placing
    // the list lower instead.
    const int32_t textHeight = list.GetTextHeight();
    if (textHeight < height - 20) {
        const int32_t offset = (height - 20 - textHeight) / 2;
        list.Y += offset;
        list.SetHeight(height - 20 - offset);
    }
}

void StartupLoaderThread()
{
    StartupLoaderState = 1;
    for (int32_t i = 0; i < LoaderStepCount; i++) {
        const TLoaderSlot& step = LoaderSteps[i];
        if (step.Run == nullptr)
            continue;
        StartupPhase(step.Name);
        step.Run();
    }
    StartupLoaderState = 3;
}

bool LoadingFrameStep(TLoadingDriver& driver, bool testMode)
{
    if (StartupLoaderState == 0) {
        StartupLoaderState = 1;
        driver.StartLoader();
        // A reproducible run: the loader ends in the frame it starts.
        if (testMode)
            driver.JoinLoader();
    }
    if (StartupLoaderState == 3) {
        driver.JoinLoader();
        StartupLoaderState = 4;
    }
    if (!driver.QueueEmpty()) {
        if (testMode && StartupLoaderState == 4) {
            driver.ProcessQueue(INT32_MAX);
        } else {
            driver.ProcessQueue(LoadingUploadBudget);
        }
    }
    if (StartupLoaderState == 4 && driver.QueueEmpty()) {
        driver.HandOver(driver.DeviceBytes() - LoadingBaseline);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// The window

namespace {

T3D_RenderPass* AddPass(T3D_Scene* scene, const std::string& name, int32_t format, int32_t depth, int32_t width,
                        int32_t height)
{
    return scene->Passes[static_cast<size_t>(scene->AddPass(name, format, depth, width, height))];
}

// The scene "2D": the blurred backdrop (off until a screen over the map
// wants it), the interface drawn at its virtual size, and the main pass that
// scales the interface onto the back buffer.
void CreateInterfaceScene()
{
    const int32_t width = RenderSettings.ScreenWidth, height = RenderSettings.ScreenHeight;
    T3D_Scene* scene = MainRender->Scene_Get(MainRender->Scene_Add("2D"));
    const std::string shaders = InterfaceShadersFolder;

    T3D_RenderPass* blur = AddPass(scene, "BLUR", D3DFMT_X8R8G8B8, D3DFMT_D24S8, width, height);
    blur->SetScreenProjection(0);
    blur->SetShader(shaders + "Screen_VS.bin", 1, 0xFFFFFFFFu);
    blur->SetShader(shaders + "Blur_PS.bin", 0, 0xFFFFFFFFu);
    // The blur program reads the source width in pixel register 0 and the
    // radius in pixel register 1.
    blur->SetConstantName(CONSTANT_PIXEL, 0, "Source_Size", 1);
    blur->SetConstantName(CONSTANT_PIXEL, 1, "Blur_Radius", 1);
    blur->SetRenderState(RSK_CULL, 0);
    blur->SetRenderState(RSK_DEPTHTEST, 0);
    scene->EnablePass("BLUR", 0);

    T3D_RenderPass* gui =
        AddPass(scene, "GUI", D3DFMT_A8R8G8B8, D3DFMT_D24S8, GUIVirtualSize.Width, GUIVirtualSize.Height);
    gui->SetDraw2D(1);
    gui->SetRenderState(RSK_DEPTHTEST, 0);
    gui->SetClear(3, 0xFF000000u, 1);

    T3D_RenderPass* main = AddPass(scene, "MAIN", 0, 0, 0, 0);
    main->SetScreenProjection(1);
    main->SetShader(shaders + "Screen_VS.bin", 1, 0xFFFFFFFFu);
    main->SetShader(shaders + "Screen_PS.bin", 0, 0xFFFFFFFFu);
    main->SetTexture("GUI", 0, 1, 0xFFFFFFFFu);
    main->SetRenderState(RSK_CULL, 0);
    main->SetRenderState(RSK_DEPTHTEST, 0);

    scene->Constants.SetFloat(CONSTANT_PIXEL, 0, "Source_Size", static_cast<float>(width), 0xFFFFFFFFu);
    scene->Constants.SetFloat(CONSTANT_PIXEL, 1, "Blur_Radius", 1.2f, 0xFFFFFFFFu);
}

void LoadCursors()
{
    MainRender->Texture_SetLoadOptions(3, 1);
    for (int32_t kind = 1; kind <= CursorKindCount; kind++) {
        const TCursorFile& file = CursorFiles[kind];
        CursorSprites[kind] = LoadSprite(InterfaceFolder + "Common\\" + file.Name, 1);
        if (T3D_Sprite* sprite = MainRender->Sprite_Get(CursorSprites[kind]))
            sprite->SetPosition(file.X, file.Y);
    }
}

void LoadInterfaceFonts()
{
    MainRender->Texture_SetLoadOptions(3, 8);
    LoadFonts(InterfaceFolder + "Common\\Fonts\\");
    // The hints' entry 25 of the font table is slot 26, the 15-pixel font.
    HintFont = MainRender->Font_Clone(FontSlots[26]);
    MainRender->Texture_SetLoadOptions(0, 0);
}

void SetLoadingLabel()
{
    if (TextsIni == nullptr)
        return;
    TextsIni->SelectSection("Texts");
    if (auto* label = dynamic_cast<TGUI_Label*>(Loading_Window->FindObject("c_Label")))
        label->SetText(GetLocalizedText(*TextsIni, "Loading_Label"));
}

} // namespace

static void RunLoadingScreenSlot(int32_t index)
{
    const TLoaderSlot& slot = LoadingScreenSlots[index];
    if (slot.Run == nullptr)
        return;
    StartupPhase(slot.Name);
    slot.Run();
}

void LoadingScreen_Create()
{
    RunLoadingScreenSlot(0);
    BetaLogOpen();
    CreateInterfaceScene();
    CreateGUIQuadMesh(RenderSettings.ScreenWidth, RenderSettings.ScreenHeight);

    T3D_Scene* scene = MainRender->Scene_Find("2D");
    Loading_Window = new TGUI_GraphicWindow(MainRender, "Loading_Window");
    Loading_Window->Handler = LoadingScreen_WindowHandler;
    Loading_Window->DrawScene = scene->Index;
    MainRender->Texture_SetLoadOptions(3, 1);
    Loading_Window->AddMacro("%%", LanguageSuffix);
    Loading_Window->LoadFromFile(ResolveModFile(InterfaceFolder + "Loading.ini"), GUIVirtualSize.TargetName,
                                 InterfaceFolder + "Unknown.tga");
    SetLoadingLabel();

    InitColorConstants();
    Loading_Window->Arrange();
    LoadingTipList = new TGUI_StringList(MainRender, 20);
    Loading_Window->AddObject(LoadingTipList, "", 0);

    GUIProcessor->PreFrameHook = InputRecorderTick;
    GUIProcessor->PostFrameHook = GlobalFrameTick;
    GUIProcessor->TimeSource = GameTimeSource;

    LoadCursors();
    RunLoadingScreenSlot(1);
    LoadInterfaceFonts();
    ScreenshotTexture = MainRender->Texture_Create(TEXTURE_OFFSCREEN, RenderSettings.ScreenWidth,
                                                   RenderSettings.ScreenHeight, 1, D3DFMT_A8R8G8B8, 0);

    RandomizeSeed();
    const std::u16string tip = TextsIni != nullptr ? ChooseTip(*TextsIni) : std::u16string();
    ShowTip(*Loading_Window, *LoadingTipList, tip, FontSlots[2]);

    // Later drawing keeps the largest alpha of what lands on a pixel.
    IDirect3DDevice9* device = MainRender->Device;
    device->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLENDALPHA, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLENDALPHA, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_BLENDOPALPHA, D3DBLENDOP_MAX);
}

void LoadingScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    auto* graphic = static_cast<TGUI_GraphicWindow*>(window);
    switch (state) {
    case GUI_STATE_OPEN: {
        LoadingBackground = LoadRandomBackground(*graphic, LoadingBackground);
        LoadingExpected = GameOptions != nullptr && GameOptions->SelectSection("Main")
                              ? GameOptions->ReadInteger("Loading_ProgressBarSize", -1, 0)
                              : 0;
        LoadingBaseline = RendererBytes();
        LoadingBytesProgress = 0;
        LoadingBarSprite = graphic->FindSprite("s_Bar");
        ShowBar(1);
        break;
    }
    case GUI_STATE_ACTIVE: {
        LoadingBytesProgress = RendererBytes() - LoadingBaseline;
        const int32_t width = LoadingBarWidth(LoadingBytesProgress, LoadingExpected);
        if (width > 0 && width != LoadingBarShown)
            ShowBar(width);
        DrawBackground();
        window->Draw();
        RenderAndPresent(window->DrawScene);
        LoadingFrameStep(GameLoadingDriver, TestMode());
        break;
    }
    default:
        break;
    }
}

void LoadingScreen_Free()
{
    delete Loading_Window;
    Loading_Window = nullptr;
    // Objects added by code belong to their maker, not to the window.
    delete LoadingTipList;
    LoadingTipList = nullptr;
}
