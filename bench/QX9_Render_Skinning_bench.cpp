// Skinned instances: 300 instances of a 70-bone skeleton posed from one clip
// (keys interpolated through dual quaternions), then their joint constants
// merged into the renderer's list and uploaded, as a pass does per instance.
// The device only counts the uploads: the figure is the renderer's own cost.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "render/QX9_Render_Constants.h"
#include "render/QX9_Render_Scenes.h"
#include "tests/fakes/RecordingDevice.h"
#include "tools/NullRender.h"

namespace {

constexpr int32_t InstanceCount = 300;
constexpr int32_t BoneCount = 70;

class TCountingDevice : public TRecordingDevice {
public:
    HRESULT SetVertexShaderConstantF(UINT, const float*, UINT count) override
    {
        Registers += count;
        return D3D_OK;
    }
    int64_t Registers = 0;
};

void BM_SkinnedInstances_AnimateMergeUpload(benchmark::State& state)
{
    std::unique_ptr<T3D_Render> render = MakeNullRender();
    TCountingDevice device;
    render->Device = &device;
    T3D_Scene* scene = render->Scene_Get(render->Scene_Add("ARENA"));
    const int32_t mesh = render->Mesh_Add(MESH_SKINNED, "Personage", 1);
    T3D_Skin& skin = render->Mesh_Get(mesh)->Skin;
    for (int32_t b = 0; b < BoneCount; b++) {
        T3D_Bone bone;
        bone.Name = "joint" + std::to_string(b);
        bone.Parent = b == 0 ? -1 : (b - 1) / 3; // a bushy tree, like a body with fingers
        T3D_Track track;
        track.Times = {0, 0.25f, 0.5f, 0.75f, 1};
        for (int32_t k = 0; k < 5; k++) {
            TMatrix4 rotation, translation, key;
            MatrixRotationZ(rotation, 0.1f * static_cast<float>(k + b % 5));
            MatrixTranslation(translation, 0, 0.3f, 0);
            MatrixMultiply(rotation, translation, key);
            track.Keys.push_back(key);
        }
        bone.Tracks.push_back(track);
        skin.Bones.push_back(bone);
    }
    skin.Clips.push_back({"Walk", 1000});

    T3D_ConstantTemplate constantTemplate;
    for (int32_t b = 0; b < BoneCount; b++) {
        T3D_ConstantTemplateEntry* entry = constantTemplate.Entry(CONSTANT_VERTEX, 32 + 3 * b);
        entry->Name = "Joint" + std::to_string(b);
        entry->Count = 3;
    }
    std::vector<T3D_SceneMesh*> instances;
    for (int32_t i = 0; i < InstanceCount; i++) {
        T3D_SceneMesh* instance = scene->GetMesh(scene->AddMesh(mesh, "Personage"));
        for (int32_t b = 0; b < BoneCount; b++)
            instance->Constants.Add(CONSTANT_VERTEX, 32 + 3 * b, "Joint" + std::to_string(b),
                                    instance->SkinMatrices[static_cast<size_t>(b)].e, 1);
        instances.push_back(instance);
    }
    int32_t time = 0;
    for (auto _ : state) {
        time += 16;
        for (T3D_SceneMesh* instance : instances) {
            instance->Calc_Animation(0, time + instance->SlotIndex * 7, 0);
            render->MergeConstants(constantTemplate, instance->Constants, instance->GroupBits);
            render->UploadConstants(constantTemplate);
        }
    }
    state.counters["registers_per_frame"] =
        static_cast<double>(device.Registers) / static_cast<double>(state.iterations());
    FreeConstants(render->Constants);
    render->Device = nullptr;
}
BENCHMARK(BM_SkinnedInstances_AnimateMergeUpload)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
