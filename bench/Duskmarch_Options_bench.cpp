// The front end's options, credits and tutorials on a device that only
// counts: applying the options (every key written and the file saved), one
// credits frame with a full list, and a screen's tutorial request over a
// long tutorial list up to its page set-up (no picture to load).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/scenario/ScenarioMap_Records.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Credits.h"
#include "screens/front/Duskmarch_Options.h"
#include "screens/front/Duskmarch_Tutorials.h"
#include "tests/fakes/CountingDevice.h"
#include "tools/NullRender.h"

namespace {

int32_t Now = 1000;
int32_t BenchTime(bool)
{
    return Now;
}

struct TFrontBench {
    std::unique_ptr<T3D_Render> Render;
    TCountingDevice Device;
    std::unique_ptr<TGUI_Processor> Processor;
    T3D_Scene* Scene = nullptr;
    TGUI_Window* Window = nullptr;

    explicit TFrontBench(const std::string& activeWindow)
    {
        QX9_Render_Initialization();
        QX9_GUI_Initialization();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL));
        Render = MakeNullRender();
        Render->Device = &Device;
        Render->ScreenWidth = 1600;
        Render->ScreenHeight = 1200;
        Render->UploadQueue_End();
        MainRender = Render.get();
        GUIVirtualSize = {1, "GUI", 1600, 1200};
        Scene = Render->Scene_Get(Render->Scene_Add("2D"));
        Scene->Passes[static_cast<size_t>(Scene->AddPass("GUI", 0, 0, 0, 0))]->SetDraw2D(1);
        const std::string fonts = InterfaceFolder + "Common\\Fonts\\";
        FontSlots[28] = Render->Font_Load(fonts + "Candara_19px_white.ini");
        FontSlots[32] = Render->Font_Load(fonts + "Candara_25px_white.ini");
        FontSlots[33] = Render->Font_Load(fonts + "Candara_30px_white.ini");
        Processor = std::make_unique<TGUI_Processor>("bench");
        Processor->Render = Render.get();
        Processor->TimeSource = BenchTime;
        GUI_ResetInput(Processor.get());
        GUIProcessor = Processor.get();
        Window = new TGUI_Window(Render.get(), activeWindow);
        Window->DrawScene = Scene->Index;
        Processor->ActiveWindow = Window;
    }
    ~TFrontBench()
    {
        delete Window;
        GUIProcessor = nullptr;
        MainRender = nullptr;
        QX9_GUI_Initialization();
        FreeConstants(Render->Constants);
        Render->Device = nullptr;
    }
};

void BM_OptionsApply(benchmark::State& state)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "duskmarch_options_bench";
    std::filesystem::create_directories(folder);
    TIniFile options;
    options.LoadFromMemory(OS_ToProgramPath((folder / "Options_Game.ini").string()),
                           "[Main]\r\nGlobal_Language=eng\r\nMusic_MusicVolume=700\r\nGame_DifficultyLevel=3\r\n"
                           "Loading_ProgressBarSize=3790633\r\n\r\n[Arenas]\r\nCastle=0\r\n");
    GameOptions = &options;
    ReadSettings();
    for (auto _ : state)
        OptionsScreen_Apply(nullptr);
    GameOptions = nullptr;
    OptionsScreen_Free();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_OptionsApply)->Unit(benchmark::kMillisecond);

void BM_CreditsFrame(benchmark::State& state)
{
    TFrontBench bench("ScenarioEnd_Window");
    TGUI_StringList list(bench.Render.get(), CreditsCapacity);
    list.Width = 800;
    list.X = 800;
    list.SetHeight(1200);
    list.Blending = 2;
    for (TCreditsStyle style : {CreditsPlain, CreditsSmall, CreditsTitle})
        list.SetLineSpacing(CreditsFont(style), 4.0f / 3.0f);
    for (int32_t i = 0; i < CreditsLeadLines; i++)
        list.AddText(u"", CreditsFont(CreditsPlain), -1, 2, CreditsColour(CreditsPlain), -1000);
    for (int32_t i = CreditsLeadLines; i < CreditsCapacity; i++) {
        const TCreditsStyle style = i % 7 == 0 ? CreditsTitle : i % 3 == 0 ? CreditsSmall : CreditsPlain;
        list.AddText(u"The Duskmarch workshop " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)),
                     CreditsFont(style), -1, 2, CreditsColour(style), -1000);
    }
    int32_t elapsed = 20000; // well into the text
    int64_t drawn = 0;
    for (auto _ : state) {
        elapsed += 16;
        list.SetScroll(CreditsScrollOffset(elapsed));
        list.Draw(bench.Scene->Index);
        drawn += static_cast<int64_t>(bench.Scene->DrawList.size());
        bench.Scene->ClearDrawList();
    }
    state.counters["items_per_frame"] =
        benchmark::Counter(static_cast<double>(drawn), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CreditsFrame)->Unit(benchmark::kMicrosecond);

void BM_ShowEventTutorial(benchmark::State& state)
{
    TFrontBench bench("Window199");
    TutorialsScreen_CreateWindow();
    TutorialsList.assign(200, tTutorialsList{});
    for (int32_t i = 0; i < 200; i++) {
        TutorialsList[static_cast<size_t>(i)].UID = 1000 + i;
        TutorialsList[static_cast<size_t>(i)].Window = "Window" + std::to_string(i);
    }
    MapStory.Tutorial = 1;
    UseTutorial = 1;
    for (auto _ : state) {
        TutorialState = {};
        TutorialsList.back().Shown = 0;
        ShowEventTutorial(-1, 0);
        bench.Processor->Pending.clear();
    }
    state.counters["current"] = TutorialState.Current;
    MapStory.Tutorial = 0;
    UseTutorial = 0;
    TutorialsList.clear();
    TutorialsScreen_Free();
}
BENCHMARK(BM_ShowEventTutorial)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
