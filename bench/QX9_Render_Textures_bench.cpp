// Loading textures the way a loading window does: a loader defers uploads,
// 200 textures (100 TGA of 256x256x32, 100 DXT1 DDS of 256x256 with their
// mipmap chain) are read and queued, and the queue is processed with the
// frame budget until empty. Compared with a plain read of the same files.
// Runs on the real device (SDL's offscreen driver when no display is set).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/os/OS.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Textures.h"
#include "render/QX9_Render_Upload.h"
#include "tools/TextureFiles.h"

namespace {

struct TTextureFolder {
    std::string Root;
    std::vector<std::string> Files; // program paths
    int64_t Bytes = 0;

    TTextureFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "duskmarch-textures-XXXXXX").string();
        Root = mkdtemp(pattern.data());
        for (int i = 0; i < 100; i++) {
            std::vector<uint8_t> bgra =
                TextureFiles::DrawPattern("checker", 256, 256, {"FF" + std::to_string(100000 + i), "FF102030", "8"});
            Add("T" + std::to_string(i) + ".tga", TextureFiles::MakeTGA32(256, 256, bgra));
            std::vector<uint8_t> chain;
            uint32_t size = 256;
            for (;;) {
                const std::vector<uint8_t> level = TextureFiles::EncodeDXT(bgra, size, size, false);
                chain.insert(chain.end(), level.begin(), level.end());
                if (size == 1)
                    break;
                bgra = TextureFiles::HalveBGRA(bgra, size, size);
                size /= 2;
            }
            Add("D" + std::to_string(i) + ".dds", TextureFiles::MakeDDS(D3DFMT_DXT1, 256, 256, 9, chain));
        }
    }
    ~TTextureFolder() { std::filesystem::remove_all(Root); }

    void Add(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = OS_ToProgramPath(Root) + "\\" + name;
        OS_WriteFileAtomic(path, bytes.data(), bytes.size());
        Files.push_back(path);
        Bytes += static_cast<int64_t>(bytes.size());
    }
};

const TTextureFolder& Folder()
{
    static TTextureFolder folder;
    return folder;
}

struct TBenchRender {
    HWND Window = nullptr;
    std::unique_ptr<T3D_Render> Render;

    TBenchRender()
    {
        setenv("DUSKMARCH_HEADLESS", "1", 0);
        if (std::getenv("DISPLAY") == nullptr)
            setenv("SDL_VIDEODRIVER", "offscreen", 0);
        TWindowCreateParams params;
        params.ClassName = "TextureBench";
        params.Title = "Texture bench";
        params.Width = 64;
        params.Height = 48;
        Window = Window_Create(params);
        Render = std::make_unique<T3D_Render>();
        Render->CreateDevice(Window, 64, 48, 0, 1, 0, D3DFMT_D24S8);
    }
};

TBenchRender& BenchRender()
{
    static TBenchRender render;
    return render;
}

void BM_LoadThroughUploadQueue(benchmark::State& state)
{
    const TTextureFolder& folder = Folder();
    T3D_Render& render = *BenchRender().Render;
    for (auto _ : state) {
        render.UploadQueue_Begin();
        for (const std::string& file : folder.Files)
            benchmark::DoNotOptimize(render.Texture_Load(file));
        render.UploadQueue_End();
        while (!render.UploadQueue_Empty())
            render.UploadQueue_Process(UPLOAD_FRAME_BUDGET);
        state.PauseTiming();
        for (int32_t slot = 0; slot < render.TextureCount; slot++)
            render.Texture_Free(slot, 1);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * folder.Bytes);
    state.counters["textures"] = static_cast<double>(folder.Files.size());
}
BENCHMARK(BM_LoadThroughUploadQueue)->Unit(benchmark::kMillisecond);

void BM_PlainFileRead(benchmark::State& state)
{
    const TTextureFolder& folder = Folder();
    std::vector<uint8_t> bytes;
    for (auto _ : state)
        for (const std::string& file : folder.Files) {
            OS_ReadWholeFile(file, bytes);
            benchmark::DoNotOptimize(bytes.data());
        }
    state.SetBytesProcessed(state.iterations() * folder.Bytes);
}
BENCHMARK(BM_PlainFileRead)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
