// The start-up loader's terrain load on the sample installation: the
// landscape textures and the three model libraries read and queued with
// uploads deferred, as the loader thread does behind the loading window.
// Timed is the load alone; the counters give the bytes it queued and the
// loading-window frames that take to upload at the frame budget.
// Runs on the real device (SDL's offscreen driver when no display is set).
//
// The map build's chunk and plant phases on the full-size sample
// (1025 x 1025, the generator's map over the loaded libraries): timed is the
// build alone, with uploads deferred as on the loading worker; the counters
// give the meshes made (and the plant meshes that continue a full chunk),
// the bytes they queued and the loading-window frames those take. Argument:
// the build workers (0 one per usable processor, 1 the calling thread).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "model/Support.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/scenario/Terrain.h"
#include "platform/os/OS.h"
#include "platform/window/Window.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Upload.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Chunks.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_Plants.h"
#include "scenes/Landscape_Terrain.h"
#include "tools/dmtool/MakeScenario.h"

namespace {

struct TLandscapeBenchRender {
    HWND Window = nullptr;
    std::unique_ptr<T3D_Render> Render;

    TLandscapeBenchRender()
    {
        setenv("DUSKMARCH_HEADLESS", "1", 0);
        if (std::getenv("DISPLAY") == nullptr)
            setenv("SDL_VIDEODRIVER", "offscreen", 0);
        QX9_Render_Initialization();
        TWindowCreateParams params;
        params.ClassName = "LandscapeBench";
        params.Title = "Landscape bench";
        params.Width = 64;
        params.Height = 48;
        Window = Window_Create(params);
        Render = std::make_unique<T3D_Render>();
        Render->CreateDevice(Window, 64, 48, 0, 1, 0, D3DFMT_D24S8);
        MainRender = Render.get();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
    }
};

TLandscapeBenchRender& LandscapeBenchRender()
{
    static TLandscapeBenchRender render;
    return render;
}

// Forgets the libraries and every mesh and texture of the renderer.
void FreeLoadedTerrain(T3D_Render& render)
{
    FreeTerrainResources();
    for (size_t slot = render._r_Meshes.size(); slot-- > 0;)
        render.Mesh_Free(static_cast<int32_t>(slot));
    for (int32_t slot = 0; slot < render.TextureCount; slot++)
        render.Texture_Free(slot, 1);
}

void BM_LoadTerrainResources(benchmark::State& state)
{
    T3D_Render& render = *LandscapeBenchRender().Render;
    int64_t queuedBytes = 0, frames = 0, meshes = 0;
    for (auto _ : state) {
        render.UploadQueue_Begin();
        render.Texture_SetLoadOptions(1, 32);
        LoadTerrainResources(nullptr);
        render.UploadQueue_End();
        render.Texture_SetLoadOptions(0, 0);

        state.PauseTiming();
        queuedBytes = 0;
        for (const TUploadTask& task : render.UploadQueue)
            queuedBytes += task.Cost;
        meshes = BuildingModelLibrary.Total + TreeModelLibrary.Total + ObjectModelLibrary.Total;
        frames = 0;
        while (!render.UploadQueue_Empty()) {
            render.UploadQueue_Process(UPLOAD_FRAME_BUDGET);
            frames++;
        }
        FreeLoadedTerrain(render);
        state.ResumeTiming();
    }
    state.counters["queued_bytes"] = static_cast<double>(queuedBytes);
    state.counters["upload_frames"] = static_cast<double>(frames);
    state.counters["library_entries"] = static_cast<double>(meshes);
}
BENCHMARK(BM_LoadTerrainResources)->Unit(benchmark::kMillisecond);

// The libraries loaded and uploaded, and the full-size sample's terrain
// model built, once for the map build's phases.
struct TFullMap {
    std::string Folder;
    bool Ready = false;
    TFullMap()
    {
        T3D_Render& render = *LandscapeBenchRender().Render;
        render.UploadQueue_Begin();
        LoadTerrainResources(nullptr);
        render.UploadQueue_End();
        while (!render.UploadQueue_Empty())
            render.UploadQueue_Process(UPLOAD_FRAME_BUDGET);
        char pattern[] = "/tmp/duskmarch-landscape-chunks-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        Folder = pattern;
        SetGameLanguage("eng");
        AllocateMapGrids();
        const std::string file = OS_ToProgramPath(Folder) + "\\Full.Tdm";
        Ready = WriteScenarioFile(BuildSampleScenario(ScenarioSizeMax, 0, ""), file) && LoadScenarioMap(file);
        if (Ready)
            BuildTerrainModel();
    }
    ~TFullMap()
    {
        std::error_code ec;
        if (!Folder.empty())
            std::filesystem::remove_all(Folder, ec);
    }
};

TFullMap& FullMap()
{
    static TFullMap map;
    return map;
}

void FreeTable(T3D_Render& render, TIntArray& table)
{
    for (int32_t& slot : table)
        if (slot > 0) {
            render.Mesh_Free(slot);
            slot = 0;
        }
}

// One map build phase: build with uploads deferred (timed), then the queue
// measured and performed and the phase's meshes freed (not timed).
template <class Build, class Free> void MapBuildPhase(benchmark::State& state, Build build, Free freeMeshes)
{
    if (!FullMap().Ready) {
        state.SkipWithError("the full-size scenario could not be made");
        return;
    }
    T3D_Render& render = *LandscapeBenchRender().Render;
    int64_t queuedBytes = 0, frames = 0, meshes = 0, further = 0;
    SetMapBuildWorkers(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        render.UploadQueue_Begin();
        const int32_t before = render.MeshCount;
        build();
        render.UploadQueue_End();

        state.PauseTiming();
        meshes = render.MeshCount - before;
        further = 0;
        for (const TIntArray* table : {&FoliageMeshes, &TrunkMeshes, &GrassMeshes})
            for (size_t k = static_cast<size_t>(Chunk64Count) + 1; k < table->size(); k++)
                further += (*table)[k] > 0;
        queuedBytes = 0;
        for (const TUploadTask& task : render.UploadQueue)
            queuedBytes += task.Cost;
        frames = 0;
        while (!render.UploadQueue_Empty()) {
            render.UploadQueue_Process(UPLOAD_FRAME_BUDGET);
            frames++;
        }
        freeMeshes(render);
        state.ResumeTiming();
    }
    SetMapBuildWorkers(0);
    state.counters["meshes"] = static_cast<double>(meshes);
    state.counters["further_meshes"] = static_cast<double>(further);
    state.counters["queued_bytes"] = static_cast<double>(queuedBytes);
    state.counters["upload_frames"] = static_cast<double>(frames);
}

void BM_BuildTerrainChunkMeshes_1025(benchmark::State& state)
{
    MapBuildPhase(
        state, [] { BuildTerrainChunkMeshes(); },
        [](T3D_Render& render) {
            for (TIntArray* table : {&WaterChunkMeshes, &LandChunkMeshes, &HillChunkMeshes})
                FreeTable(render, *table);
        });
}
BENCHMARK(BM_BuildTerrainChunkMeshes_1025)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_BuildPlantMeshes_1025(benchmark::State& state)
{
    MapBuildPhase(
        state, [] { BuildPlantMeshes(); },
        [](T3D_Render& render) {
            for (TIntArray* table : {&FoliageMeshes, &TrunkMeshes, &GrassMeshes})
                FreeTable(render, *table);
        });
}
BENCHMARK(BM_BuildPlantMeshes_1025)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
