// Window description files: Arrange of a generated window of 100 elements
// (buttons, check boxes, scroll bars, sprites) and 200 layout properties over
// the screen, other elements and screen variables.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "platform/os/OS.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Scenes.h"
#include "tools/NullRender.h"

namespace {

std::string MakeWindow()
{
    static const char* const Types[] = {"button", "checkbox", "scrollbar", "sprite"};
    std::string text = "[Bench]\nmain: window\n";
    for (int32_t i = 0; i < 100; i++)
        text += "e" + std::to_string(i) + ": " + Types[i % 4] + "\n";
    for (int32_t i = 0; i < 100; i++) {
        const std::string e = "e" + std::to_string(i), before = "e" + std::to_string(i > 0 ? i - 1 : 99);
        text += e + ".x = " +
                (i % 3 == 0 ? "(screen.width - 200) / 2 + " + std::to_string(i)
                            : before + ".x + " + before + ".width + gap") +
                "\n";
        text += e + ".y = " + (i % 5 == 0 ? "main.y + margin * " + std::to_string(i % 7) : before + ".y + 24") + "\n";
    }
    return text;
}

// Argument 1: texts that cannot hold a name are skipped by their character
// pairs; 0: every text is scanned for every name (the plain walk).
void BM_ArrangeWindowOf100Elements(benchmark::State& state)
{
    GUI_LayoutPairFilter = state.range(0) != 0;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("duskmarch-window-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string text = MakeWindow();
    OS_WriteFileAtomic((folder / "Bench.ini").string(), text.data(), text.size());

    std::unique_ptr<T3D_Render> render = MakeNullRender();
    T3D_Scene* scene = render->Scene_Get(render->Scene_Add("2D"));
    scene->AddPass("GUI", 0, 0, 1500, 1050);
    {
        TGUI_GraphicWindow window(render.get(), "bench");
        window.DrawScene = scene->Index;
        window.LoadFromFile(OS_ToProgramPath((folder / "Bench.ini").string()), "GUI", "");
        window.SetVariableInt("gap", 8, false);
        window.SetVariableInt("margin", 30, false);
        for (auto _ : state)
            window.Arrange();
        state.counters["expressions"] = static_cast<double>(window.Expressions.size());
        state.counters["objects"] = static_cast<double>(window.Objects.size() + window.SpriteElements.size());
    }
    for (size_t slot = render->Sprites.size(); slot-- > 0;)
        render->Sprite_Free(static_cast<int32_t>(slot));
    std::filesystem::remove_all(folder);
    GUI_LayoutPairFilter = true;
}
BENCHMARK(BM_ArrangeWindowOf100Elements)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
