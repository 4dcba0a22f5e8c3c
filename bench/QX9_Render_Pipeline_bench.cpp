// The pass pipeline of a MAP-sized scene: 10,000 instances of meshes with
// four index ranges each, culled against the pass's rectangle through their
// "Proj" constants. A rebuild on the worker pool and on the calling thread,
// a frame without rebuild (only the visible entries' constants refreshed),
// and the sort of the 10,000 keys.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_StateKey.h"
#include "tools/NullRender.h"

namespace {

constexpr int32_t Instances = 10000;
constexpr int32_t MeshKinds = 40;

struct TMapScene {
    std::unique_ptr<T3D_Render> Render;
    T3D_Scene* Scene = nullptr;
    T3D_RenderPass* Pass = nullptr;
};

// A mesh of four stacked boxes, one index range each.
int32_t AddMesh(T3D_Render& render, int32_t kind)
{
    const int32_t slot = render.Mesh_Add(MESH_TEXTURED, "Kind" + std::to_string(kind), 1);
    T3D_Mesh* mesh = render.Mesh_Get(slot);
    T3D_VertexArray vertices(8);
    TWordArray indices(4 * 36, 0);
    mesh->ImportGeometry(vertices, indices);
    mesh->Subsets.clear();
    for (int32_t part = 0; part < 4; part++) {
        T3D_Subset subset{};
        const float y0 = static_cast<float>(part), y1 = y0 + 1;
        const float c[8][3] = {{-1, y0, -1}, {-1, y1, -1}, {1, y0, -1}, {1, y1, -1},
                               {1, y0, 1},   {1, y1, 1},   {-1, y0, 1}, {-1, y1, 1}};
        std::memcpy(subset.Corners, c, sizeof(c));
        subset.First = part * 36;
        subset.Count = 36;
        mesh->Subsets.push_back(subset);
    }
    mesh->StageTextures.push_back({kind % 7, 0, 0, 0});
    return slot;
}

TMapScene MakeMapScene(int32_t workers)
{
    TMapScene map;
    map.Render = MakeNullRender();
    map.Render->ScreenWidth = 1920;
    map.Render->ScreenHeight = 1080;
    if (workers > 0)
        map.Render->Parallelizer.Init(workers);
    map.Scene = map.Render->Scene_Get(map.Render->Scene_Add("MAP"));
    map.Pass = map.Scene->Passes[static_cast<size_t>(map.Scene->AddPass("MAIN", 0, 0, 0, 0))];
    map.Pass->InitOwnView();
    map.Pass->ViewRotate(0, 0.9f);
    map.Pass->ViewTranslate(0, 0, 120);
    map.Pass->SetPerspective(0.8f, 1080.0f / 1920.0f, 1, 1000);
    map.Pass->SetViewport(0, 0, 1920, 1080, "Proj");
    map.Pass->SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
    map.Pass->CopyMatricesToScene();
    int32_t meshes[MeshKinds];
    for (int32_t kind = 0; kind < MeshKinds; kind++)
        meshes[kind] = AddMesh(*map.Render, kind);
    for (int32_t i = 0; i < Instances; i++) {
        T3D_SceneMesh* instance = map.Scene->GetMesh(map.Scene->AddMesh(meshes[i % MeshKinds], "Object"));
        // A 100 x 100 grid of objects 4 units apart around the camera's view.
        instance->Translate(static_cast<float>(i % 100) * 4 - 200, 0, static_cast<float>(i / 100) * 4 - 200);
        instance->SortPriority = i % 3;
        instance->StageTextures.push_back({100 + i % 50, 0, 0, 1});
        instance->Constants.AddMatrixProduct(CONSTANT_VERTEX, 0, "Proj", 0xFFFFFFFFu);
        instance->Constants.AddFactorName("Proj", "WORLD");
        instance->Constants.AddFactorPtr("Proj", *map.Scene->WorldMatrix);
        instance->Constants.AddFactorPtr("Proj", *map.Scene->ProjMatrix);
    }
    map.Scene->SortPass("MAIN");
    return map;
}

int32_t VisibleEntries(const T3D_RenderPass& pass)
{
    int32_t visible = 0;
    for (int32_t n = 0; n < pass.EntryCount; n++)
        visible += pass._rp_Cache[static_cast<size_t>(n)].Visible;
    return visible;
}

void RebuildWith(benchmark::State& state, int32_t workers)
{
    TMapScene map = MakeMapScene(workers);
    for (auto _ : state) {
        map.Pass->Invalidate();
        map.Pass->BuildPipeline();
    }
    state.counters["entries"] = map.Pass->EntryCount;
    state.counters["visible"] = VisibleEntries(*map.Pass);
    map.Render->Parallelizer.Done();
}

void BM_CullingRebuild_WorkerPool(benchmark::State& state)
{
    RebuildWith(state, 8);
}
BENCHMARK(BM_CullingRebuild_WorkerPool)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CullingRebuild_CallingThread(benchmark::State& state)
{
    RebuildWith(state, 0);
}
BENCHMARK(BM_CullingRebuild_CallingThread)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FrameWithoutRebuild(benchmark::State& state)
{
    TMapScene map = MakeMapScene(8);
    map.Pass->BuildPipeline();
    for (auto _ : state)
        map.Pass->BuildPipeline();
    state.counters["visible"] = VisibleEntries(*map.Pass);
    map.Render->Parallelizer.Done();
}
BENCHMARK(BM_FrameWithoutRebuild)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SortPass_10000(benchmark::State& state)
{
    TMapScene map = MakeMapScene(0);
    for (auto _ : state)
        map.Scene->SortPass("MAIN");
    state.counters["keys"] = static_cast<double>(map.Scene->SortKeys.size());
}
BENCHMARK(BM_SortPass_10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
