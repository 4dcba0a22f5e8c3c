// The map scene's terrain and camera on the full-size sample (1025 x 1025):
// - BM_BuildTerrainModel_1025 against BM_HeadlessBuildTerrainModel_1025, the
//   same build without layer keys, facets and normals; _OneWorker with those
//   fields on one thread;
// - BM_HeadlessUpdateMapChunks_1025, the cover steps the drawn cover shares;
// - BM_MapIndexRender_1025, BM_MapIndexCopy_1025, BM_DrawnCoverPass_1025: the
//   drawn cover on the device (llvmpipe under tests): the 2560 x 2560 index
//   render with its copy, the copy alone, and the cover steps reading the
//   locked copy;
// - BM_MapCamera: the shadow fit and the scene constants of a frame, without
//   and with a light change over full-size instance tables.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "model/Support.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "platform/os/OS.h"
#include "platform/window/Window.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_Pipeline.h"
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

// The map pipeline on a device over a small hidden window.
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
        params.Width = 64;
        params.Height = 48;
        HWND window = Window_Create(params);
        if (window == nullptr)
            return;
        CreateRender(window, 64, 48, 0);
        RenderSettings.ScreenWidth = 64;
        RenderSettings.ScreenHeight = 48;
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL));
        CreateMapPipeline(64, 48);
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

} // namespace

BENCHMARK_MAIN();
