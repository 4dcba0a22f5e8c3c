// The path resolver and folder searches on an installation-sized folder:
// what a lookup costs without a cache, with the spelling on disk and without.
#include "platform/os/OS.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// A folder of 300 files under two levels, made once per program.
struct TTree {
    std::string Root;
    TTree()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "duskmarch-bench-XXXXXX").string();
        Root = mkdtemp(pattern.data());
        std::filesystem::create_directories(Root + "/Data/Interface");
        for (int i = 0; i < 300; ++i)
            std::ofstream(Root + "/Data/Interface/Texture_" + std::to_string(i) + ".Tga") << "x";
    }
    ~TTree() { std::filesystem::remove_all(Root); }
    std::string Program(const std::string& relative) const { return OS_ToProgramPath(Root) + "\\" + relative; }
};

const TTree& Tree()
{
    static TTree tree;
    return tree;
}

void BM_ResolveExactCase(benchmark::State& state)
{
    const std::string path = Tree().Program("Data\\Interface\\Texture_150.Tga");
    for (auto _ : state)
        benchmark::DoNotOptimize(OS_ResolvePath(path));
}
BENCHMARK(BM_ResolveExactCase);

void BM_ResolveOtherCase(benchmark::State& state)
{
    const std::string path = Tree().Program("data\\interface\\TEXTURE_150.TGA");
    for (auto _ : state)
        benchmark::DoNotOptimize(OS_ResolvePath(path));
}
BENCHMARK(BM_ResolveOtherCase);

void BM_ListFolder(benchmark::State& state)
{
    const std::string mask = Tree().Program("Data\\Interface\\*.tga");
    for (auto _ : state) {
        TOSFindHandle handle;
        TOSFindData data;
        uint32_t error = OS_FindFirstFile(mask, handle, data);
        while (error == ERROR_SUCCESS)
            error = OS_FindNextFile(handle, data);
        OS_FindClose(handle);
    }
}
BENCHMARK(BM_ListFolder);

} // namespace

BENCHMARK_MAIN();
