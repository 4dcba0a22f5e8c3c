// The input recorder's cost per frame: a capture when nothing changed (the
// common frame), a capture with a changed key, and a one-second flush of a
// second's worth of changed frames at 60 frames a second; beside them, the
// main menu's whole frame step on a device that only counts, the frame the
// recorder's per-frame cost is measured against.
#include <benchmark/benchmark.h>

#include <memory>

#include "engine/QX9_System.h"
#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_InputRecorder.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "tests/fakes/CountingDevice.h"
#include "tools/NullRender.h"

namespace {

int32_t BenchNow = 0;

int32_t BenchClock(bool)
{
    return BenchNow;
}

struct TBenchRecorder {
    TBenchRecorder()
    {
        Processor.TimeSource = BenchClock;
        GUI_Keys = {};
        GUI_Input = {};
        GUI_ResetInput(&Processor);
        ExePath = "/tmp/";
        InitInputRecorder({"gamerecord", "duskmarch_bench.replay"});
    }
    ~TBenchRecorder()
    {
        ShutdownInputRecorder();
        GUI_ResetInput(nullptr);
    }
    TGUI_Processor Processor{"InputRecorderBench"};
};

void BM_CaptureUnchanged(benchmark::State& state)
{
    TBenchRecorder recorder;
    CaptureInput();
    for (auto _ : state) {
        CaptureInput();
        benchmark::DoNotOptimize(KeyFrameCount);
    }
}
BENCHMARK(BM_CaptureUnchanged);

void BM_CaptureChangedKey(benchmark::State& state)
{
    TBenchRecorder recorder;
    uint8_t down = 0;
    for (auto _ : state) {
        down ^= 1;
        GUI_Keys['A'].Down = down;
        CaptureInput();
        if (KeyFrameCount >= InputRecordGrowth - 1) {
            state.PauseTiming();
            KeyFrameCount = 0;
            MouseSampleCount = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_CaptureChangedKey);

// A second of play at 60 frames a second with a key and the mouse changing
// every frame, then its flush.
void BM_FlushOneSecond(benchmark::State& state)
{
    TBenchRecorder recorder;
    FlushInputRecord(true); // the head
    for (auto _ : state) {
        state.PauseTiming();
        for (int32_t frame = 0; frame < 60; ++frame) {
            GUI_Keys['A'].Down = static_cast<uint8_t>(frame & 1);
            GUI_SetClientPoint(frame, frame);
            CaptureInput();
        }
        state.ResumeTiming();
        FlushInputRecord(true);
    }
}
BENCHMARK(BM_FlushOneSecond);

// The main menu as the game builds it (the installation's layout, texts and
// background), one frame step with its drawing on the counting device.
struct TMenuBench {
    std::unique_ptr<T3D_Render> Render;
    TCountingDevice Device;
    std::unique_ptr<TGUI_Processor> Processor;
    T3D_Scene* Scene = nullptr;

    TMenuBench()
    {
        QX9_Render_Initialization();
        QX9_GUI_Initialization();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
        Render = MakeNullRender();
        Render->Device = &Device;
        Render->ScreenWidth = 1500;
        Render->ScreenHeight = 1050;
        Render->UploadQueue_End();
        MainRender = Render.get();
        Scene = Render->Scene_Get(Render->Scene_Add("2D"));
        Scene->Passes[static_cast<size_t>(Scene->AddPass("GUI", 0, 0, 0, 0))]->SetDraw2D(1);
        GUIVirtualSize = {1, "GUI", 1500, 1050};
        TextsIni = new TIniFile();
        TextsIni->Load(GameFolder + "Config\\Texts.ini");
        Processor = std::make_unique<TGUI_Processor>("menu bench");
        Processor->Render = Render.get();
        Processor->TimeSource = BenchClock;
        GUIProcessor = Processor.get();
        GUI_ResetInput(Processor.get());
        MainMenuScreen_Create();
        GUI_OpenWindows.clear();
        // Opened as the interface's frame opens a window posted to it.
        MainMenu_Window->Show();
        MainMenuScreen_WindowHandler(GUI_STATE_OPEN, MainMenu_Window);
        MainMenu_Window->State = GUI_STATE_ACTIVE;
        GUI_ProcessFrame();
        Scene->ClearDrawList();
    }
    ~TMenuBench()
    {
        delete MainMenu_Window;
        MainMenu_Window = nullptr;
        delete TextsIni;
        TextsIni = nullptr;
        GUIProcessor = nullptr;
        QX9_GUI_Initialization();
        MainRender = nullptr;
        Render->Device = nullptr;
    }
};

void BM_MainMenuFrameStep(benchmark::State& state)
{
    TMenuBench bench;
    for (auto _ : state) {
        BenchNow += 20;
        GUI_ProcessFrame();
        bench.Scene->ClearDrawList();
    }
    state.counters["window_active"] = MainMenu_Window->State == GUI_STATE_ACTIVE ? 1 : 0;
}
BENCHMARK(BM_MainMenuFrameStep);

} // namespace

BENCHMARK_MAIN();
