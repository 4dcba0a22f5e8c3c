// The map scene's terrain and camera on the full-size sample (1025 x 1025):
// - BM_BuildTerrainModel_1025 against BM_HeadlessBuildTerrainModel_1025, the
//   same build without layer keys, facets and normals; _OneWorker with those
//   fields on one thread; BM_AddTerrainSceneFields_1025 those fields alone
//   by worker count;
// - BM_HeadlessUpdateMapChunks_1025, the cover steps the drawn cover shares;
// - BM_MapIndexRender_1025, BM_MapIndexCopy_1025, BM_DrawnCoverPass_1025: the
//   drawn cover on the device (llvmpipe under tests): the 2560 x 2560 index
//   render with its copy, the copy alone, and the cover steps reading the
//   locked copy;
// - BM_MapCamera: the shadow fit and the scene constants of a frame, without
//   and with a light change over full-size instance tables;
// - BM_MapBuild_1025: a new game's map build, one run, each phase's seconds
//   as a counter, with the bytes it queues for upload and the loading-window
//   frames they take at 10,000,000 bytes a frame;
// - BM_MapFrame: a 1280 x 1024 frame over the town of the built map with
//   the camera still, moving (the "PIPE" pass rebuilt) and on a light change;
//   BM_MapFramePass: each pass alone, and the "PIPE" rebuild alone.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "model/Support.h"
#include "model/ai/AIMain.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/tables/BuildingType.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "platform/window/Window.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_MapBuild.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_Pipeline.h"
#include "scenes/Landscape_SceneHooks.h"
#include "scenes/Landscape_Terrain.h"
#include "tools/dmtool/MakeScenario.h"

namespace {

struct TMapFixture {
    std::string Folder;
    bool Ready = false;

    TMapFixture()
    {
        char pattern[] = "/tmp/duskmarch-landscape-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        Folder = pattern;
        SetGameFolders(OS_ToProgramPath(Folder));
        SetGameLanguage("eng");
        AllocateMapGrids();
        const std::string file = OS_ToProgramPath(Folder) + "\\Full.Tdm";
        Ready = WriteScenarioFile(BuildSampleScenario(ScenarioSizeMax, 0, ""), file) && LoadScenarioMap(file);
        if (Ready)
            BuildTerrainModel();
    }
    ~TMapFixture()
    {
        std::error_code ec;
        if (!Folder.empty())
            std::filesystem::remove_all(Folder, ec);
    }
};

TMapFixture& Map()
{
    static TMapFixture fixture;
    return fixture;
}

bool Check(benchmark::State& state)
{
    if (Map().Ready)
        return true;
    state.SkipWithError("the full-size scenario could not be made");
    return false;
}

void BM_BuildTerrainModel_1025(benchmark::State& state)
{
    if (!Check(state))
        return;
    for (auto _ : state)
        BuildTerrainModel();
}
BENCHMARK(BM_BuildTerrainModel_1025)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same with the scene's fields on the calling thread alone.
void BM_BuildTerrainModel_1025_OneWorker(benchmark::State& state)
{
    if (!Check(state))
        return;
    SetTerrainFieldWorkers(1);
    for (auto _ : state)
        BuildTerrainModel();
    SetTerrainFieldWorkers(0);
}
BENCHMARK(BM_BuildTerrainModel_1025_OneWorker)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The scene's fields alone, on 1 worker, 2 workers and one per usable
// processor (0).
void BM_AddTerrainSceneFields_1025(benchmark::State& state)
{
    if (!Check(state))
        return;
    SetTerrainFieldWorkers(static_cast<int32_t>(state.range(0)));
    const std::vector<int16_t> none;
    for (auto _ : state)
        AddTerrainSceneFields(none);
    SetTerrainFieldWorkers(0);
}
BENCHMARK(BM_AddTerrainSceneFields_1025)
    ->Arg(1)
    ->Arg(2)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseRealTime();

void BM_HeadlessBuildTerrainModel_1025(benchmark::State& state)
{
    if (!Check(state))
        return;
    for (auto _ : state)
        HeadlessBuildTerrainModel();
}
BENCHMARK(BM_HeadlessBuildTerrainModel_1025)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_HeadlessUpdateMapChunks_1025(benchmark::State& state)
{
    if (!Check(state))
        return;
    for (auto _ : state)
        HeadlessUpdateMapChunks({});
}
BENCHMARK(BM_HeadlessUpdateMapChunks_1025)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The map pipeline on a device over a hidden window of a player's screen size.
constexpr int32_t FrameWidth = 1280;
constexpr int32_t FrameHeight = 1024;

struct TDeviceFixture {
    bool Ready = false;
    TDeviceFixture()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("DUSKMARCH_HEADLESS", "1", 0);
        QX9_Render_Initialization();
        TWindowCreateParams params;
        params.ClassName = "LandscapeBench";
        params.Title = "Landscape bench";
        params.Width = FrameWidth;
        params.Height = FrameHeight;
        HWND window = Window_Create(params);
        if (window == nullptr)
            return;
        CreateRender(window, FrameWidth, FrameHeight, 0);
        RenderSettings.ScreenWidth = FrameWidth;
        RenderSettings.ScreenHeight = FrameHeight;
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL));
        CreateMapPipeline(FrameWidth, FrameHeight);
        Ready = MapScene() != nullptr;
    }
};

bool CheckDevice(benchmark::State& state)
{
    static TDeviceFixture fixture;
    if (!Check(state))
        return false;
    if (fixture.Ready)
        return true;
    state.SkipWithError("no device");
    return false;
}

void BM_MapIndexRender_1025(benchmark::State& state)
{
    if (!CheckDevice(state))
        return;
    for (auto _ : state)
        RenderMapIndex(true);
}
BENCHMARK(BM_MapIndexRender_1025)->Unit(benchmark::kMillisecond);

void BM_MapIndexCopy_1025(benchmark::State& state)
{
    if (!CheckDevice(state))
        return;
    for (auto _ : state)
        MainRender->Texture_CopyRenderTarget(MapTargets.MapIndex, MapTargets.MapIndexReadBack);
}
BENCHMARK(BM_MapIndexCopy_1025)->Unit(benchmark::kMillisecond);

void BM_DrawnCoverPass_1025(benchmark::State& state)
{
    if (!CheckDevice(state))
        return;
    RenderMapIndex(true);
    for (auto _ : state) {
        TMapIndexCover cover;
        cover.RenderFirst = false;
        UpdateMapChunksFrom({}, cover);
    }
}
BENCHMARK(BM_DrawnCoverPass_1025)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A renderer without a device holding the "MAP" scene with the full-size
// instance tables: 768 chunk and 768 plant instances, 4,500 building parts
// and 3,000 object parts.
struct TCameraFixture {
    TCameraFixture()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (MainRender == nullptr)
            MainRender = new T3D_Render();
        Render = MainRender;
        T3D_Scene& scene = MapScene() != nullptr ? *MapScene() : *Render->Scene_Get(Render->Scene_Add("MAP"));
        auto add = [&] { return scene.AddMesh(-1, "Part"); };
        for (TIntArray* table : {&LandChunkInstances, &HillChunkInstances, &WaterChunkInstances, &FoliageInstances,
                                 &TrunkInstances, &GrassInstances}) {
            table->assign(257, -1);
            for (size_t k = 1; k <= 256; k++)
                (*table)[k] = add();
        }
        BuildingInstances.assign(1501, {});
        for (size_t b = 1; b <= 1500; b++)
            BuildingInstances[b] = {add(), add(), add()};
        ObjectInstances.assign(3001, {});
        for (size_t o = 1; o <= 3000; o++)
            ObjectInstances[o] = {add()};
        MapLightSets[SunMD].SunPosition = SunPositionOf(45, 30);
        MapLightSets[SunDD].SunPosition = SunPositionOf(60, 120);
        MapCamera.ScreenWidth = MapCamera.ViewWidth = 1600;
        MapCamera.ScreenHeight = MapCamera.ViewHeight = 1200;
        MapCamera.ViewOffset = {-512, 0, -512};
        MapCamera.Distance = 60;
        MapCamera.Yaw = 0.4f;
        MapCamera.Pitch = 0.9f;
        MapCamera.FieldOfView = 0.6f;
        InterpolateDaylight(SunMD, SunDD, false, false, 0.3f);
    }
    T3D_Render* Render = nullptr;
};

void BM_MapCamera(benchmark::State& state)
{
    if (!Check(state))
        return;
    static TCameraFixture fixture;
    const bool lightChanged = state.range(0) != 0;
    for (auto _ : state) {
        if (lightChanged)
            LightSet.Changed = 1;
        UpdateMapShadowCascades(false);
        UpdateMapLighting();
    }
}
BENCHMARK(BM_MapCamera)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A new game of the full-size sample on the device, built as the loading
// worker builds it, its uploads queued and then performed.
struct TMapBuildFixture {
    bool Ready = false;
    double Seconds[static_cast<int>(TMapBuildPhase::Armies) + 1] = {};
    int64_t UploadBytes = 0;
    int32_t UploadFrames = 0;

    void Build()
    {
        const std::string scenario = OS_ToProgramPath(Map().Folder) + "\\Full.Tdm";
        const std::string install = OS_ToProgramPath(DUSKMARCH_INSTALL);
        Support_Initialization();
        SetGameFolders(install);
        Global_Initialization();
        SetGameLanguage("eng");
        LoadBonuses();
        LoadSpells();
        LoadItems();
        LoadUnitTypes();
        AIMain_Initialization();
        LoadMapEditOptions();
        LoadTerrainResources(nullptr);
        UploadBytes = 0;
        UploadFrames = 0;
        static TMapSceneHooks hooks;
        SetSceneHooks(&hooks);
        MainRender->UploadQueue_Begin();
        auto last = std::chrono::steady_clock::now();
        Ready = BuildNewGameMap(scenario, 1, 12345, [&](TMapBuildPhase phase) {
            const auto now = std::chrono::steady_clock::now();
            Seconds[static_cast<int>(phase)] = std::chrono::duration<double>(now - last).count();
            last = now;
        });
        MainRender->UploadQueue_End();
        for (const TUploadTask& task : MainRender->UploadQueue)
            UploadBytes += task.Cost;
        while (!MainRender->UploadQueue_Empty()) {
            MainRender->UploadQueue_Process(10000000);
            UploadFrames++;
        }
    }
};

TMapBuildFixture& BuiltMap()
{
    static TMapBuildFixture fixture;
    return fixture;
}

bool CheckBuilt(benchmark::State& state)
{
    if (!CheckDevice(state))
        return false;
    if (!BuiltMap().Ready)
        BuiltMap().Build();
    if (BuiltMap().Ready)
        return true;
    state.SkipWithError("the full-size map could not be built");
    return false;
}

void BM_MapBuild_1025(benchmark::State& state)
{
    if (!CheckDevice(state))
        return;
    for (auto _ : state)
        BuiltMap().Build();
    if (!BuiltMap().Ready) {
        state.SkipWithError("the full-size map could not be built");
        return;
    }
    for (int p = 0; p <= static_cast<int>(TMapBuildPhase::Armies); p++)
        state.counters[std::string(MapBuildPhaseName(static_cast<TMapBuildPhase>(p))) + " s"] = BuiltMap().Seconds[p];
    state.counters["upload MB"] = static_cast<double>(BuiltMap().UploadBytes) / 1e6;
    state.counters["upload frames"] = BuiltMap().UploadFrames;
}
BENCHMARK(BM_MapBuild_1025)->Unit(benchmark::kSecond)->Iterations(1);

// The camera over the town as a player looks at it, the light of ten in the
// morning.
void SetTownCamera()
{
    TVec3 town{};
    for (int32_t b = 1; b <= MapBuildings.Count; b++)
        if (MapBuildings[b].BuildingType == static_cast<uint8_t>(TBuildingType::Town)) {
            std::memcpy(&town, MapBuildings[b].Pos, sizeof town);
            break;
        }
    MapCamera.ViewWidth = MapCamera.ScreenWidth = FrameWidth;
    MapCamera.ViewHeight = MapCamera.ScreenHeight = FrameHeight;
    MapCamera.ViewOffset = {-town.x, -town.y, -town.z};
    MapCamera.Distance = 100;
    MapCamera.Yaw = -0.25f;
    MapCamera.Pitch = 1.1f;
    MapCamera.FieldOfView = 0.8f;
    UpdateDaylight(600 * MinuteFx);
}

// One frame as the map screen's refresh and render worker draw it; the
// rasteriser is waited for.
void MapFrame(bool moved, bool lightChanged, int64_t now)
{
    T3D_Scene& scene = *MapScene();
    if (moved)
        MapCamera.Yaw += 0.002f;
    if (lightChanged)
        LightSet.Changed = 1;
    UpdateMapShadowCascades(false);
    SetMapTime(now);
    UpdateMapLighting();
    scene.UpdateAttachments();
    if (moved) {
        InvalidateMapPasses();
        MapPass("PIPE")->BuildPipeline();
    }
    scene.Render(false);
    glFinish();
}

// 0 still, 1 moving, 2 a light change.
void BM_MapFrame(benchmark::State& state)
{
    if (!CheckBuilt(state))
        return;
    SetTownCamera();
    MapFrame(true, true, 0);
    int64_t now = 0;
    for (auto _ : state)
        MapFrame(state.range(0) == 1, state.range(0) == 2, now += 40);
    state.counters["draw calls"] = MapScene()->Stats.DrawCalls;
    state.counters["vertices"] = static_cast<double>(MapScene()->Stats.Vertices);
}
BENCHMARK(BM_MapFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Each pass of a still frame alone (0 "1DEPTH", 1 "MAIN", 2 "CP_INDEX"), and
// (3) the "PIPE" rebuild alone.
void BM_MapFramePass(benchmark::State& state)
{
    if (!CheckBuilt(state))
        return;
    static const char* const passes[] = {"1DEPTH", "MAIN", "CP_INDEX"};
    T3D_Scene& scene = *MapScene();
    SetTownCamera();
    MapFrame(true, true, 0);
    const int index = static_cast<int>(state.range(0));
    state.SetLabel(index < 3 ? passes[index] : "PIPE rebuild");
    uint8_t enabled[3] = {};
    for (int p = 0; p < 3; p++) {
        const T3D_RenderPass* pass = scene.FindPass(passes[p]);
        for (int32_t i = 0; i < scene.PassCount; i++)
            if (scene.Passes[static_cast<size_t>(i)] == pass)
                enabled[p] = scene.PassEnabled[static_cast<size_t>(i)];
        scene.EnablePass(passes[p], index == p ? 1 : 0);
    }
    for (auto _ : state) {
        if (index < 3) {
            scene.Render(false);
            glFinish();
        } else {
            InvalidateMapPasses();
            MapPass("PIPE")->BuildPipeline();
        }
    }
    state.counters["draw calls"] = scene.Stats.DrawCalls;
    state.counters["vertices"] = static_cast<double>(scene.Stats.Vertices);
    for (int p = 0; p < 3; p++)
        scene.EnablePass(passes[p], enabled[p]);
}
BENCHMARK(BM_MapFramePass)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
