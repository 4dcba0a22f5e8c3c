// The battle arena loader's scene file load on the sample installation: the
// largest sample arena read, its meshes and textures loaded and queued with
// uploads deferred, its instances made in the "ARENA" scene, as the loader
// thread does behind the loading window. Timed is the load alone; the
// uploads are performed and the objects removed between runs.
// Runs on the real device (SDL's offscreen driver when no display is set).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/QX9_System.h"
#include "model/Support.h"
#include "platform/os/OS.h"
#include "platform/window/Window.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Textures.h"
#include "render/QX9_Render_Upload.h"
#include "scenes/Arena_Scene.h"
#include "scenes/Arena_SceneFile.h"
#include "scenes/Duskmarch_RenderSetup.h"

namespace {

struct TArenaBenchRender {
    HWND Window = nullptr;
    std::unique_ptr<T3D_Render> Render;
    int32_t FirstSceneTexture = 0; // textures from here on belong to the loaded arena

    TArenaBenchRender()
    {
        setenv("DUSKMARCH_HEADLESS", "1", 0);
        if (std::getenv("DISPLAY") == nullptr)
            setenv("SDL_VIDEODRIVER", "offscreen", 0);
        QX9_Render_Initialization();
        TWindowCreateParams params;
        params.ClassName = "ArenaBench";
        params.Title = "Arena bench";
        params.Width = 64;
        params.Height = 48;
        Window = Window_Create(params);
        Render = std::make_unique<T3D_Render>();
        Render->CreateDevice(Window, 64, 48, 0, 1, 0, D3DFMT_D24S8);
        MainRender = Render.get();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
        RenderSettings.ScreenWidth = 1280;
        RenderSettings.ScreenHeight = 1024;
        InitArenaDefaults();
        ArenaSettings.PickingSize = 512;
        CreateArenaScene();
        FirstSceneTexture = Render->TextureCount;
    }
};

TArenaBenchRender& ArenaBenchRender()
{
    static TArenaBenchRender render;
    return render;
}

// The sample arena with the largest scene file.
std::string LargestArena()
{
    std::string best;
    std::uintmax_t bestSize = 0;
    const std::filesystem::path root = std::filesystem::path(DUSKMARCH_INSTALL) / "Arenas";
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error)) {
        if (entry.path().extension() != ".qxs" || entry.file_size() <= bestSize)
            continue;
        bestSize = entry.file_size();
        best = ArenasFolder + entry.path().parent_path().filename().string() + "\\" + entry.path().filename().string();
    }
    return best;
}

// Removes the loaded objects and frees the textures they brought.
void UnloadArena(T3D_Render& render, int32_t firstTexture)
{
    for (int32_t i = 0; i < static_cast<int32_t>(SceneInfo.Objects.size()); i++)
        RemoveArenaObject(i);
    SceneInfo.Objects.clear();
    for (int32_t slot = firstTexture; slot < render.TextureCount; slot++)
        render.Texture_Free(slot, 1);
}

void BM_LoadArenaScene(benchmark::State& state)
{
    TArenaBenchRender& bench = ArenaBenchRender();
    T3D_Render& render = *bench.Render;
    const std::string file = LargestArena();
    if (file.empty()) {
        state.SkipWithError("no arena in the installation");
        return;
    }
    state.SetLabel(ExtractNameStr(file));
    int64_t queuedBytes = 0, objects = 0;
    for (auto _ : state) {
        render.UploadQueue_Begin();
        LoadArenaScene(file);
        render.UploadQueue_End();

        state.PauseTiming();
        objects = ArenaObjectCount;
        queuedBytes = 0;
        for (const TUploadTask& task : render.UploadQueue)
            queuedBytes += task.Cost;
        while (!render.UploadQueue_Empty())
            render.UploadQueue_Process(UPLOAD_FRAME_BUDGET);
        UnloadArena(render, bench.FirstSceneTexture);
        state.ResumeTiming();
    }
    state.counters["objects"] = static_cast<double>(objects);
    state.counters["queued_MB"] = static_cast<double>(queuedBytes) / (1024.0 * 1024.0);
}
BENCHMARK(BM_LoadArenaScene)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
