// Arena models:
// - BM_PoseArenaPersonages: one frame's posing of 24 personages of a 70-bone
//   figure (artgen's benchmark figure), each with six pieces of equipment,
//   half of them cross-fading, through UpdatePersonageAnimation;
//   BM_PoseArenaPersonagesBare: the same poses through the bare
//   Calc_Animation / Calc_BlendedAnimation calls, planned beforehand. The
//   first should stay under 2 ms and within 1.25 times the second.
// - BM_ArenaFrame: the "Plain" arena with 12 personages drawn on the device
//   (llvmpipe) at 1280 x 1024, the picking pass on; counters give each
//   pass's share of the frame, measured pass by pass.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "battle/Battle_Field.h"
#include "model/Support.h"
#include "model/personage/Personage.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "platform/os/OS.h"
#include "platform/window/Window.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Arena_Objects.h"
#include "scenes/Arena_Personages.h"
#include "scenes/Arena_Scene.h"
#include "scenes/Duskmarch_RenderSetup.h"

namespace {

constexpr int32_t FrameWidth = 1280;
constexpr int32_t FrameHeight = 1024;
constexpr int32_t PosedCount = 24;
constexpr int32_t TimeSteps = 12; // frames of 16 ms, all inside the cross-fades
constexpr int32_t BaseTime = 10000;
const char* const SceneName = "ARENA";

struct TArenaFixture {
    bool Ready = false;
    TArenaFixture()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("DUSKMARCH_HEADLESS", "1", 0);
        QX9_Render_Initialization();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL));
        TWindowCreateParams params;
        params.ClassName = "ArenaBench";
        params.Title = "Arena bench";
        params.Width = FrameWidth;
        params.Height = FrameHeight;
        HWND window = Window_Create(params);
        if (window == nullptr)
            return;
        RenderSettings.ScreenWidth = FrameWidth;
        RenderSettings.ScreenHeight = FrameHeight;
        CreateRender(window, FrameWidth, FrameHeight, 0);
        InstallGameRenderHooks();
        SetGameLanguage("eng");
        LoadBonuses();
        LoadSpells();
        LoadItems();
        LoadUnitTypes();
        InitArenaDefaults();
        ArenaSettings.PixelMatrixSize = 1024;
        ArenaSettings.PickingSize = 512;
        CreateArenaScene();
        SetArenaSunPower();
        SetArenaColors();
        SetArenaViewport(FrameWidth, FrameHeight);
        SetArenaProjection(0, 0);
        UpdateArenaCamera(true, true);
        Ready = ArenaScene() != nullptr;
    }
};

bool CheckArena(benchmark::State& state)
{
    static TArenaFixture fixture;
    if (fixture.Ready)
        return true;
    state.SkipWithError("no device");
    return false;
}

TWeaponData& Slot(TPersRenderAnimationData& data, int32_t s)
{
    TWeaponData* slots[6] = {&data.Right, &data.Left, &data.Back, &data.Shield, &data.Horse, &data.Head};
    return *slots[s];
}

// A piece of gear: two bones, a "stand" and an "idle01" clip.
int32_t GearMesh()
{
    const int32_t slot = MainRender->Mesh_Add(MESH_SKINNED, "BenchGear", 1);
    T3D_Skin& skin = MainRender->Mesh_Get(slot)->Skin;
    for (int32_t b = 0; b < 2; b++) {
        T3D_Bone bone;
        bone.Name = "Gear" + std::to_string(b);
        bone.Parent = b - 1;
        for (int32_t clip = 0; clip < 2; clip++) {
            T3D_Track track;
            track.Times = {0, 0.5f, 1};
            for (int32_t k = 0; k < 3; k++) {
                TMatrix4 key;
                MatrixRotationZ(key, 0.1f * static_cast<float>(k + clip + b));
                track.Keys.push_back(key);
            }
            bone.Tracks.push_back(track);
        }
        skin.Bones.push_back(bone);
    }
    skin.Clips.push_back({"stand", 1000});
    skin.Clips.push_back({"idle01", 1000});
    return slot;
}

// The 24 posed personages, made once: the figure's unit type is a spare
// entry of the table.
struct TPosed {
    std::vector<TPersRenderAnimationData> Models;
    bool Ready = false;
    TPosed()
    {
        const std::string file = OS_ToProgramPath(ARENA_FIGURE70);
        if (!FileExistsMask(file))
            return;
        const int32_t figure = MainRender->Mesh_Add(MESH_SKINNED, "Figure70", 0);
        MainRender->Mesh_Load(figure, file, "Figure70", 2);
        const int32_t gear = GearMesh();
        const int32_t type = UnitTypeCount + 1;
        UnitTypes[type].FileName = "Figure70";
        UnitTypes[type].ArenaModelIndex = figure;
        UnitTypes[type].MapModelIndex = -1;
        UnitTypes[type].ModelSettings = DefaultModelSettings();
        Models.resize(PosedCount);
        for (int32_t i = 0; i < PosedCount; i++) {
            TPersRenderAnimationData& data = Models[static_cast<size_t>(i)];
            LoadPersonageModel("Posed" + std::to_string(i), type, data, i);
            data.Prefix = "na_";
            LoadAnimationList(SceneName, data.Instance, data.Anims);
            SetBaseAnimations("stand", "idle01", "death", 1, data);
            const char* const bones[6] = {HP_RIGHT, HP_LEFT, HP_BACK, HP_SHIELD, HP_HORSE, HP_HEAD};
            for (int32_t s = 0; s < 6; s++) {
                TWeaponData& slot = Slot(data, s);
                slot.Item = 1;
                slot.Instance = AddArenaEquipmentMesh(1, gear, i, std::string("Gear") + bones[s]);
                ArenaScene()->GetMesh(data.Instance)->AttachChild(slot.Instance, bones[s]);
                slot.Animated = LoadAnimationList(SceneName, slot.Instance, slot.Anims) ? 1 : 0;
                slot.StandClip = FindAnimationIndex(slot.Anims, "stand");
            }
            PlayPersonageAnimation(data, "stand", 0, true);
            // Every other one turned to its idle clip 100 ms before the
            // frames measured: it cross-fades through all of them.
            if (i % 2 == 1)
                PlayPersonageAnimation(data, "idle01", BaseTime - 100, false);
        }
        Ready = true;
    }
};

TPosed* Posed(benchmark::State& state)
{
    if (!CheckArena(state))
        return nullptr;
    static TPosed posed;
    if (!posed.Ready) {
        state.SkipWithError("no benchmark figure");
        return nullptr;
    }
    return &posed;
}

int32_t StepTime(int64_t iteration)
{
    return BaseTime + static_cast<int32_t>(iteration % TimeSteps) * 16;
}

void BM_PoseArenaPersonages(benchmark::State& state)
{
    TPosed* posed = Posed(state);
    if (posed == nullptr)
        return;
    int64_t iteration = 0;
    for (auto _ : state) {
        const int32_t now = StepTime(iteration++);
        for (TPersRenderAnimationData& data : posed->Models)
            UpdatePersonageAnimation(SceneName, data, now, 0);
    }
    state.counters["personages"] = PosedCount;
    state.counters["bones"] = static_cast<double>(MainRender->Mesh_Get(posed->Models[0].RenderMesh)->Skin.Bones.size());
}
BENCHMARK(BM_PoseArenaPersonages)->Unit(benchmark::kMillisecond);

// The same instances posed by the same plans, made before the loop.
void BM_PoseArenaPersonagesBare(benchmark::State& state)
{
    TPosed* posed = Posed(state);
    if (posed == nullptr)
        return;
    struct TPlanned {
        T3D_SceneMesh* Instance;
        TPosePlan Plan;
    };
    std::vector<std::vector<TPlanned>> steps(TimeSteps);
    T3D_Scene* scene = ArenaScene();
    for (int32_t k = 0; k < TimeSteps; k++) {
        const int32_t now = StepTime(k);
        for (const TPersRenderAnimationData& data : posed->Models) {
            const TPosePlan body = PlanBodyPose(data, now, 0);
            steps[static_cast<size_t>(k)].push_back({scene->GetMesh(data.Instance), body});
            for (int32_t s = 0; s < 6; s++) {
                const TWeaponData& slot = Slot(const_cast<TPersRenderAnimationData&>(data), s);
                const bool mayBlend = s != 2 && s != 3;
                steps[static_cast<size_t>(k)].push_back(
                    {scene->GetMesh(slot.Instance), PlanSlotPose(slot, body, now, 0, mayBlend)});
            }
        }
    }
    int64_t iteration = 0;
    for (auto _ : state) {
        for (const TPlanned& p : steps[static_cast<size_t>(iteration++ % TimeSteps)]) {
            if (p.Plan.Blend)
                p.Instance->Calc_BlendedAnimation(p.Plan.Previous, p.Plan.Current, p.Plan.PreviousTime,
                                                  p.Plan.CurrentTime, p.Plan.PreviousMode, p.Plan.CurrentMode,
                                                  p.Plan.Weight);
            else
                p.Instance->Calc_Animation(p.Plan.Current, p.Plan.CurrentTime, p.Plan.CurrentMode);
        }
    }
}
BENCHMARK(BM_PoseArenaPersonagesBare)->Unit(benchmark::kMillisecond);

// The "Plain" arena as the battle loads it, twelve personages of the
// sample on the field.
bool LoadPlain()
{
    static bool loaded = false;
    if (loaded)
        return true;
    MainRender->Texture_SetLoadOptions(1, ARENA_TEXTURE_GROUP);
    ClearArenaScene();
    LoadArenaScene(GameFolder + "Arenas\\Plain\\Plain.qxs");
    SetArenaObjectTags("-collision");
    const char* const units[6] = {"Man-at-arms", "Levy archer", "Pikeman", "Household knight", "Mystic", "Grey wolf"};
    ArenaPersonageModels.resize(6);
    ArenaPersonageModels2.resize(6);
    for (int32_t side = 1; side <= 2; side++)
        for (int32_t slot = 1; slot <= 6; slot++) {
            int32_t type = 0;
            for (int32_t t = 1; t <= UnitTypeCount; t++)
                if (UnitTypes[t].Name.Str() == units[slot - 1])
                    type = t;
            if (type == 0)
                return false;
            TPersonage personage = UnitTypes[type];
            personage.UnitType = type;
            personage.Equipment[1] = personage.DefaultItems[1];
            personage.Equipment[2] = personage.DefaultItems[2];
            TPersRenderAnimationData& data = (side == 1 ? ArenaPersonageModels : ArenaPersonageModels2)[slot - 1];
            const int32_t pick = side * 32 + slot;
            LoadPersonageModel("Pers" + std::to_string(pick), type, data, pick);
            InitPersonageAnimations(SceneName, personage, data);
            AttachPersonageEquipment(SceneName, personage, data, pick, AddArenaEquipmentMesh);
            PlayPersonageAnimation(data, "stand", 0, true);
            // Rows -2..3 on columns 2 and 5.
            TVec3 at;
            GetHexCellPosition(slot - 3, side == 1 ? 2 : 5, at);
            PlacePersonage(SceneName, data, at.x, at.y, at.z, side == 1 ? -1.0f : 1.0f, 1);
            UpdatePersonageAnimation(SceneName, data, 1500, 0);
        }
    MainRender->Texture_SetLoadOptions(0, 0);
    ArenaScene()->EnablePass("CP_INDEX", 1);
    loaded = true;
    return true;
}

// The frame finished: reading one picking texel waits for the device.
void Finish()
{
    MainRender->Texture_CopyRenderTarget(ArenaTargets.PickIndex, ArenaTargets.PickIndexReadBack);
    uint16_t texel = 0;
    MainRender->Texture_ReadPixel(ArenaTargets.PickIndexReadBack, 0, 0, &texel);
    benchmark::DoNotOptimize(texel);
}

void RenderArena()
{
    T3D_Scene* scene = ArenaScene();
    scene->UpdateAttachments();
    for (int32_t i = 0; i < scene->PassCount; i++)
        scene->Passes[static_cast<size_t>(i)]->Invalidate();
    ArenaPass("PIPE")->BuildPipeline();
    scene->SortPass("MAIN");
    scene->Render(false);
    Finish();
}

// Milliseconds of a frame drawn with only the named passes on.
double PassTime(const std::vector<std::string>& names)
{
    T3D_Scene* scene = ArenaScene();
    std::vector<uint8_t> saved(scene->PassEnabled.begin(), scene->PassEnabled.begin() + scene->PassCount);
    for (int32_t i = 0; i < scene->PassCount; i++) {
        bool on = false;
        for (const std::string& n : names)
            on = on || scene->Passes[static_cast<size_t>(i)]->Name == n;
        scene->EnablePassAt(i, on ? 1 : 0);
    }
    RenderArena();
    const auto start = std::chrono::steady_clock::now();
    constexpr int Reps = 3;
    for (int r = 0; r < Reps; r++)
        RenderArena();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / Reps;
    for (int32_t i = 0; i < scene->PassCount; i++)
        scene->EnablePassAt(i, saved[static_cast<size_t>(i)]);
    return ms;
}

void BM_ArenaFrame(benchmark::State& state)
{
    if (!CheckArena(state))
        return;
    if (!LoadPlain()) {
        state.SkipWithError("the sample lacks a unit type");
        return;
    }
    for (auto _ : state)
        RenderArena();
    // Each pass's share, measured alone; "finish" is the wait and read-back
    // every measurement includes.
    const struct {
        const char* Counter;
        std::vector<std::string> Passes;
    } groups[] = {
        {"cascade1", {"1DEPTH", "DEPTHCLEAR1"}},
        {"cascade2", {"2DEPTH", "DEPTHCLEAR2"}},
        {"cascade3", {"3DEPTH", "DEPTHCLEAR3"}},
        {"picking", {"CP_INDEX"}},
        {"main", {"MAIN"}},
        {"pipe", {"PIPE"}},
        {"finish", {}},
    };
    double total = 0;
    std::vector<double> times;
    for (const auto& g : groups) {
        times.push_back(PassTime(g.Passes));
        total += times.back();
    }
    for (size_t i = 0; i < times.size(); i++) {
        state.counters[std::string(groups[i].Counter) + "_ms"] = times[i];
        state.counters[std::string(groups[i].Counter) + "_share"] = total > 0 ? times[i] / total : 0;
    }
    state.counters["personages"] = 12;
}
BENCHMARK(BM_ArenaFrame)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
