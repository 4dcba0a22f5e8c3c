#include "screens/front/Duskmarch_GameLoading.h"

#include "screens/map/Duskmarch_Map.h"

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/QX9_System.h"
#include "engine/QX9_System_DatFile.h"
#include "model/Hooks.h"
#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/story/Campaign.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_MapBuild.h"
#include "scenes/Landscape_Pipeline.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_Replay.h"
#include "screens/front/Duskmarch_SelectHero.h"
#include "screens/front/Duskmarch_SelectScenario.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_Base_Sound.h"

std::atomic<int32_t> GameLoadingState{0};
int32_t ScenarioLoadExpected = 0;
int32_t LoadedScenarioExpected = 0;
std::string PendingSave;
uint8_t CampaignTransfer = 0;
std::string NextScenarioName;
std::string LoadedScenarioName;
bool GameLoaded = false;
float LoadedGameSpeed = 0;
TGameLoadingTimes GameLoadingTimes;

TGUI_GraphicWindow* ScenarioLoadingWindow = nullptr;
TGUI_GraphicWindow* TransferWindow = nullptr;
TGUI_Window* ScenarioLoading_Window = nullptr;
TGUI_Window* Transfer_Window = nullptr;
TGUI_Window* Map_Window = nullptr;

TGameLoadingSlot PostLoadSlots[PostLoadSlotCount] = {
    {"CompanionsRefresh", nullptr}, {"ResetQuestEntries", nullptr}, {"BuildMiniMapIcons", nullptr},
    {"CameraHeightOffset", SetCameraHeightOffset}, {"BuildBuildingLabels", BuildBuildingLabels}, {"MapScreen_Reset", MapScreen_Reset},
    {"BuildTalentTree", nullptr},    {"SetGameSpeed", [] { SetGameSpeed(LoadedGameSpeed); }},
};

static_assert(MapBuildPhaseCount == static_cast<size_t>(TMapBuildPhase::Armies) + 1);

namespace {

std::thread WorkerThread;
constexpr int32_t ScenarioBarLength = 230;
constexpr int32_t ScenarioBarHeight = 15;
constexpr int32_t TransferBarLength = 254;
constexpr int32_t TransferBarHeight = 14;
int32_t LoadingBackgroundTexture = 0;
int32_t BarShown = 0;
TGUI_StringList* ScenarioTipList = nullptr;

using TClock = std::chrono::steady_clock;
double MsSince(TClock::time_point& start)
{
    const TClock::time_point now = TClock::now();
    const double ms = std::chrono::duration<double, std::milli>(now - start).count();
    start = now;
    return ms;
}

void RunPostLoadSlot(const char* name)
{
    for (const TGameLoadingSlot& slot : PostLoadSlots)
        if (std::string(slot.Name) == name && slot.Run != nullptr)
            slot.Run();
}

bool ReadExpectation(const std::string& file)
{
    if (!ReadScenarioHeader(file)) {
        ScenarioLoadExpected = 0;
        return false;
    }
    ScenarioLoadExpected = EstimateScenarioLoading();
    return true;
}

bool LoadPendingSave()
{
    TClock::time_point t = TClock::now();
    const std::string file = SavesFolder + PendingSave;
    TSaveHead head{};
    std::string folder;
    {
        TDatFile save;
        if (save.Open(file) && ReadSaveHead(save, head)) {
            save.ReadLine("GameScenarioFolder", folder);
            if (folder.size() > 64)
                folder.resize(64);
        }
    }
    const std::string scenarioFile = SavedScenarioFile(head, folder);
    if (!scenarioFile.empty() && scenarioFile != LoadedScenarioName) {
        ReadExpectation(scenarioFile);
        LoadedScenarioExpected = ScenarioLoadExpected;
    } else {
        ScenarioLoadExpected = LoadedScenarioExpected;
    }
    GameLoadingTimes.Header = MsSince(t);
    std::u16string heroName;
    float speed = 0;
    const bool loaded = !scenarioFile.empty() && LoadSavedGame(file, speed, heroName);
    GameLoadingTimes.SavedGame = MsSince(t);
    if (loaded) {
        ScenarioFolder = folder;
        HeroName = heroName;
        LoadedGameSpeed = speed;
        LoadedScenarioName = scenarioFile;
    } else {
        // The next load reads its map again.
        LoadedScenarioName.clear();
    }
    return loaded;
}

bool StartNewScenario()
{
    TClock::time_point t = TClock::now();
    std::string file;
    const bool transfer = CampaignTransfer != 0 && !NextScenarioName.empty();
    if (transfer) {
        file = ScenarioFolderPath(ScenarioFolder) + NextScenarioName;
        SaveCampaignHero();
    } else {
        const TScenarioList& list = ShownScenarioList();
        if (SelectedScenario < 0 || SelectedScenario >= list.Count())
            return false;
        const size_t k = static_cast<size_t>(SelectedScenario);
        file = list.Folders[k] + list.FileNames[k];
    }
    ReadExpectation(file);
    LoadedScenarioExpected = ScenarioLoadExpected;
    GameLoadingTimes.Header = MsSince(t);
    LoadedScenarioName.clear();
    const int32_t seed = RunOptions.Seeded ? static_cast<int32_t>(RunOptions.Seed)
                                                : static_cast<int32_t>(GetFrameTime(true));
    TGameLoadingTimes& times = GameLoadingTimes;
    const bool built = BuildNewGameMap(file, HeroKindOf(HeroIndex), seed, [&](TMapBuildPhase phase) {
        double& ms = times.MapPhases[static_cast<size_t>(phase)];
        ms = MsSince(t);
        if (phase == TMapBuildPhase::World && transfer) {
            RestoreCampaignHero();
            ms += MsSince(t);
        }
    });
    for (size_t p = 0; p < MapBuildPhaseCount; p++)
        (p == static_cast<size_t>(TMapBuildPhase::World) ? times.World : times.MapBuild) += times.MapPhases[p];
    if (!built)
        return false;
    LoadedScenarioName = file;
    // The map camera over the player's army; its own march target is cleared.
    if (!GameArmies.empty()) {
        TGameArmy& army = GameArmies[static_cast<size_t>(PlayerArmy)];
        MapCamera.ViewOffset = TVec3{-army.Pos[0], -army.Pos[1], -army.Pos[2]};
        MapCamera.Target = TVec3{army.Pos[0], army.Pos[1], army.Pos[2]};
        army.OrderTarget = 0;
    }
    MapCamera.Distance = 100;
    MapCamera.Yaw = 0;
    MapCamera.Pitch = 3.14159265f / 6;
    // A new game's camera needs a lens; a saved game brings its own.
    if (MapCamera.FieldOfView < 0.01f)
        MapCamera.FieldOfView = 0.8f;
    WriteStartSave(StartSaveBaseName(CurrentUserName).substr(0, 64));
    GameLoadingTimes.StartSave = MsSince(t);
    // The worker owns the world until it ends: the start save's container is
    // built before the writer runs, and the writer is waited for here so that
    // the map window starts with no writer behind it.
    WaitForSaveWriter();
    SaveCounter = 0;
    GameLoadingTimes.SaveWriter = MsSince(t);
    return true;
}

void AfterLoad()
{
    TClock::time_point t = TClock::now();
    RunPostLoadSlot("CompanionsRefresh");
    RunPostLoadSlot("ResetQuestEntries");
    // The mini-map is drawn at the hand-over, on the device's own thread,
    // once the map's meshes are uploaded (RenderMiniMapAtHandOver).
    RunPostLoadSlot("BuildMiniMapIcons");
    RunPostLoadSlot("CameraHeightOffset");
    if (MainRender != nullptr)
        CreateMapGUIQuad(0x4000);
    RunPostLoadSlot("BuildBuildingLabels");
    RunPostLoadSlot("MapScreen_Reset");
    RunPostLoadSlot("BuildTalentTree");
    if (LoadedGameSpeed > 0)
        RunPostLoadSlot("SetGameSpeed");
    GameLoadingTimes.PostLoad = MsSince(t);
    LoadScenarioPortraits();
    GameLoadingTimes.Portraits = MsSince(t);
}

void ShowBarOf(TGUI_GraphicWindow& window, int32_t width, int32_t height)
{
    if (width == BarShown || MainRender == nullptr)
        return;
    BarShown = width;
    if (T3D_Sprite* bar = MainRender->Sprite_Get(window.FindSprite("s_Bar")))
        bar->SetSize(0, static_cast<float>(std::max(width, 1)), static_cast<float>(height));
}

void OpenLoadingWindow(TGUI_GraphicWindow& window)
{
    CursorKind = 2;
    GameLoadingState = 0;
    LoadingProgress = 0;
    ScenarioLoadExpected = 0;
    BarShown = -1;
    ShowBarOf(window, 1, ScenarioBarHeight);
}

} // namespace

std::string StartSaveBaseName(const std::string& userName, int64_t milliseconds)
{
    const std::string name = userName.size() >= 54 ? userName.substr(0, 53) : userName;
    return name + std::to_string(milliseconds);
}

std::string StartSaveBaseName(const std::string& userName)
{
    return StartSaveBaseName(userName, static_cast<int64_t>(static_cast<uint32_t>(GetFrameTime(true))));
}

int32_t GameLoadingBarWidth(int32_t progress, int32_t expected, int32_t length)
{
    if (expected <= 0 || progress <= 0)
        return 0;
    return static_cast<int32_t>(std::min<int64_t>(int64_t{progress} * length / expected, length));
}

std::string PersonagePortraitName(const std::string& modelName, int32_t equipment)
{
    if (modelName.empty())
        return "NotModel";
    if (modelName.find('\\') != std::string::npos || modelName.find('/') != std::string::npos ||
        modelName.find("..") != std::string::npos)
        return "Empty";
    return ExtractBaseName(PortraitBaseName(modelName, equipment));
}

namespace {

// The portraits the last load made for the scenario's own personages; the
// types' own icon fields come from the scenario file and are never freed.
std::vector<int32_t> ScenarioPortraitSprites;

} // namespace

void FreeScenarioPortraits()
{
    for (int32_t& sprite : ScenarioPortraitSprites)
        FreeSprite(sprite);
    ScenarioPortraitSprites.clear();
}

void LoadScenarioPortraits()
{
    // Sprites are made and freed while the loading window draws.
    std::lock_guard<TCriticalSection> lock(RenderLock);
    FreeScenarioPortraits();
    TRenderHooks& render = RenderHooks();
    render.Texture_SetLoadOptions(2, 2);
    const std::string folder = InterfaceFolder + "Common\\Icons\\Personages\\";
    const int32_t count = std::min(NpcTypeCount, UnitTypeMax);
    for (int32_t i = 1; i <= count; i++) {
        TPersonage& type = UnitTypes[-i];
        for (int32_t k = 1; k <= 3; k++)
            type.Icons[k] = 0;
        // A scenario type takes the figure of the installation's type it is
        // based on.
        const int32_t base = type.UnitType;
        const std::string model = base >= 1 && base <= UnitTypeCount ? UnitTypes[base].FileName.Str() : std::string();
        std::string file = ResolveModFile(folder + PersonagePortraitName(model, type.ReplaceHead) + ".DDS");
        if (!FileExistsMask(file))
            file = ResolveModFile(folder + "Empty.DDS");
        LoadPortraitSprites(type, file);
        for (int32_t k = 1; k <= 3; k++)
            if (type.Icons[k] > 0)
                ScenarioPortraitSprites.push_back(type.Icons[k]);
    }
    render.Texture_SetLoadOptions(0, 0);
}

std::string ScenarioFolderPath(const std::string& scenarioFolder)
{
    if (scenarioFolder.empty() || scenarioFolder == "\\")
        return ScenariosFolder;
    std::string path = ExePath + scenarioFolder;
    if (path.back() != '\\' && path.back() != '/')
        path += '\\';
    return path + "Scenarios\\";
}

int32_t UploadFramesAtBudget(const std::vector<int32_t>& costs, int32_t budget)
{
    int32_t frames = 0;
    size_t next = 0;
    while (next < costs.size()) {
        int64_t total = 0;
        while (next < costs.size()) {
            total += costs[next++];
            if (total >= budget)
                break;
        }
        frames++;
    }
    return frames;
}

bool SetPostLoadSlot(const std::string& name, void (*run)())
{
    for (TGameLoadingSlot& slot : PostLoadSlots)
        if (name == slot.Name) {
            slot.Run = run;
            return true;
        }
    return false;
}

void GameLoadingThread()
{
    GameLoadingState = 1;
    TClock::time_point t = TClock::now();
    GameLoadingTimes = TGameLoadingTimes{};
    WaitForSaveWriter();
    GameLoadingTimes.WriterWait = MsSince(t);
    if (MainRender != nullptr)
        MainRender->UploadQueue_Begin();
    LoadedGameSpeed = 0;
    const bool loaded = !PendingSave.empty() ? LoadPendingSave() : StartNewScenario();
    if (loaded)
        AfterLoad();
    if (MainRender != nullptr)
        MainRender->UploadQueue_End();
    CampaignTransfer = 0;
    NextScenarioName.clear();
    GameLoaded = loaded;
    PendingSave.clear();
    // A reproducible run reports where the worker's time went (stderr: the
    // digest and the script's output stay alone on stdout).
    if (TestMode()) {
        const TGameLoadingTimes& t = GameLoadingTimes;
        std::string line = "game-loading";
        auto add = [&line](const char* name, double ms) {
            char figure[32];
            std::snprintf(figure, sizeof figure, " %.1f", ms);
            line += std::string(" ") + name + figure;
        };
        add("writer-wait", t.WriterWait);
        add("header", t.Header);
        static constexpr const char* PhaseNames[MapBuildPhaseCount] = {
            "clear", "scenario", "terrain-model", "chunk-meshes", "plant-meshes",
            "placement", "path-grid", "world", "armies"};
        for (size_t p = 0; p < MapBuildPhaseCount; p++)
            add(PhaseNames[p], t.MapPhases[p]);
        add("saved-game", t.SavedGame);
        add("start-save", t.StartSave);
        add("save-writer", t.SaveWriter);
        add("mini-map", t.MiniMap);
        add("post-load", t.PostLoad);
        add("portraits", t.Portraits);
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    GameLoadingState = 3;
}

void StartGameLoading(bool testMode)
{
    GameLoadingState = 1;
    WorkerThread = std::thread(GameLoadingThread);
    if (testMode)
        WorkerThread.join();
}

bool GameLoadingFrameStep(bool testMode)
{
    if (GameLoadingState == 0)
        StartGameLoading(testMode);
    if (GameLoadingState == 3) {
        if (WorkerThread.joinable())
            WorkerThread.join();
        GameLoadingState = 4;
    }
    const bool queued = MainRender != nullptr && !MainRender->UploadQueue_Empty();
    if (queued && testMode && GameLoadingState == 4) {
        // Every queued upload at once, and what they would have taken at
        // the frame budget.
        std::vector<int32_t> costs;
        {
            std::lock_guard<TCriticalSection> guard(UploadQueueLock);
            for (const TUploadTask& task : MainRender->UploadQueue)
                costs.push_back(task.Cost);
        }
        TClock::time_point t = TClock::now();
        MainRender->UploadQueue_Process(INT32_MAX);
        int64_t bytes = 0;
        for (const int32_t cost : costs)
            bytes += cost;
        std::fprintf(stderr, "game-loading-uploads bytes %lld frames %d ms %.1f\n", static_cast<long long>(bytes),
                     UploadFramesAtBudget(costs, LoadingUploadBudget), MsSince(t));
    } else if (queued) {
        MainRender->UploadQueue_Process(LoadingUploadBudget);
    }
    return GameLoadingState == 4 && (MainRender == nullptr || MainRender->UploadQueue_Empty());
}

namespace {

// The mini-map's texture is a render of the loaded map in a noon light:
// drawn on the main thread (the worker may not use the device, and waiting
// there for the uploads the main thread makes would never end).
void RenderMiniMapAtHandOver()
{
    if (MainRender == nullptr || MapScene() == nullptr)
        return;
    TClock::time_point t = TClock::now();
    // The render moves the camera over the whole map; the map opens where
    // the loading set it.
    const TLightSet light = LightSet;
    const auto camera = MapCamera;
    InterpolateDaylight(18, 18, false, false, 0);
    RenderMiniMapTexture(0);
    LightSet = light;
    MapCamera = camera;
    UpdateMapShadowCascades(true);
    GameLoadingTimes.MiniMap = MsSince(t);
}

} // namespace

void GameLoadingHandOver(TGUI_Window* loadingWindow)
{
    CursorKind = 1;
    if (GameLoaded)
        RenderMiniMapAtHandOver();
    if (GameLoaded)
        PlayRandomMusic(mkMap, MusicFadeMs);
    RequestScreenClose(loadingWindow);
    if (GameLoaded && Map_Window != nullptr) {
        RequestScreenOpen(Map_Window, nullptr);
        MapFrozen = 0;
        return;
    }
    // Without the map window (or after a failed load) the main menu takes
    // over; the world, when loaded, stays in memory.
    OpenMainMenu();
    if (!GameLoaded && TextsIni != nullptr && TextsIni->SelectSection("Texts"))
        AddNotice(GetLocalizedText(*TextsIni, "FileCorrupt"), nullptr, 0);
}

namespace {

void LoadingFrame(TGUI_Window* window, int32_t length, int32_t height, bool background)
{
    auto* graphic = static_cast<TGUI_GraphicWindow*>(window);
    ShowBarOf(*graphic, std::max(1, GameLoadingBarWidth(LoadingProgress.load(), ScenarioLoadExpected, length)),
              height);
    if (background)
        DrawBackground();
    window->Draw();
    UpdateConsole();
    RenderAndPresentScene(window->DrawScene);
    if (GameLoadingFrameStep(TestMode()))
        GameLoadingHandOver(window);
}

} // namespace

void ScenarioLoadingScreen_Create()
{
    // Every save lives in the per-user folder; the save window moves the
    // folder there when it is built, and the start save of a new game must
    // not land in the program folder before that window exists.
    if (!UserFolder.empty() && SavesFolder == GameFolder + "Saves\\")
        SavesFolder = UserFolder;
    ScenarioLoadingWindow = CreateScreenWindow("ScenarioLoading", ScenarioLoadingScreen_WindowHandler);
    ScenarioLoading_Window = ScenarioLoadingWindow;
    if (TextsIni != nullptr && TextsIni->SelectSection("Texts"))
        SetWindowLabelText(*ScenarioLoadingWindow, "c_Label", GetLocalizedText(*TextsIni, "Loading_Label"));
    // The tip list, placed inside "frame" by ShowTip as in the start-up's window.
    ScenarioTipList = new TGUI_StringList(MainRender, 20);
    ScenarioLoadingWindow->AddObject(ScenarioTipList, "", 0);
}

void ScenarioLoadingScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    auto* graphic = static_cast<TGUI_GraphicWindow*>(window);
    switch (state) {
    case GUI_STATE_OPEN:
        OpenLoadingWindow(*graphic);
        LoadingBackgroundTexture = LoadRandomBackground(*graphic, LoadingBackgroundTexture);
        if (ScenarioTipList != nullptr && TextsIni != nullptr)
            ShowTip(*graphic, *ScenarioTipList, ChooseTip(*TextsIni), FontSlots[20]);
        break;
    case GUI_STATE_ACTIVE:
        LoadingFrame(window, ScenarioBarLength, ScenarioBarHeight, true);
        break;
    case GUI_STATE_CLOSE:
        if (LoadingBackgroundTexture > 0 && MainRender != nullptr) {
            MainRender->Texture_Free(LoadingBackgroundTexture, 1);
            LoadingBackgroundTexture = 0;
        }
        break;
    case GUI_STATE_DESTROY:
        ScenarioLoadingWindow = nullptr;
        ScenarioLoading_Window = nullptr;
        ScenarioTipList = nullptr;
        break;
    default:
        break;
    }
}

void TransferScreen_Create()
{
    TransferWindow = CreateScreenWindow("Transfer", TransferScreen_WindowHandler);
    Transfer_Window = TransferWindow;
    if (TextsIni != nullptr && TextsIni->SelectSection("Texts"))
        SetWindowLabelText(*TransferWindow, "c_Title",
                           OS_MultiByteToWide(CP_UTF8, TextsIni->ReadString("Transfer" + LanguageSuffix, -1)));
}

void TransferScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    switch (state) {
    case GUI_STATE_OPEN:
        OpenLoadingWindow(*static_cast<TGUI_GraphicWindow*>(window));
        break;
    case GUI_STATE_ACTIVE:
        LoadingFrame(window, TransferBarLength, TransferBarHeight, false);
        break;
    case GUI_STATE_CLOSE:
        break;
    case GUI_STATE_DESTROY:
        TransferWindow = nullptr;
        Transfer_Window = nullptr;
        break;
    default:
        break;
    }
}
