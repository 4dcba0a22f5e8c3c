// The scenario lists and the game loading worker.
//
// BM_ScenarioLists_40: forty generated headers listed and sorted as the
// start-up builds the standard list (on a renderer without a device, with
// the installation's fonts).
// BM_GameLoading_Sample: the game on its own X server in test mode plays a
// new game of the installation's plain sample from the main menu; the
// worker's phases are read from its "game-loading" line and reported as
// counters (milliseconds), the whole run's time as the iteration's.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "model/Support.h"
#include "platform/os/OS.h"
#include "render/QX9_Render.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_SelectScenario.h"
#include "tests/fakes/CountingDevice.h"
#include "tests/support/Xvfb.h"
#include "tools/NullRender.h"
#include "tools/dmtool/MakeScenario.h"

namespace {

void BM_ScenarioLists_40(benchmark::State& state)
{
    QX9_Render_Initialization();
    SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL));
    TCountingDevice device;
    std::unique_ptr<T3D_Render> render = MakeNullRender();
    render->Device = &device;
    render->UploadQueue_End();
    MainRender = render.get();
    const std::string fonts = InterfaceFolder + "Common\\Fonts\\";
    FontSlots[19] = render->Font_Load(fonts + "Candara_17px_white.ini");
    FontSlots[20] = render->Font_Load(fonts + "Candara_19px_white.ini");
    FontSlots[22] = render->Font_Load(fonts + "Candara_23px_white.ini");

    char folder[] = "/tmp/duskmarch-lists-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    std::vector<std::string> files;
    for (int i = 0; i < 40; i++) {
        TScenarioSource source = BuildSampleScenario(ScenarioSizeMin, i % 3 == 0 ? 1 : 0, "Next.Tdm");
        source.Header.NotReady = i % 7 == 0 ? 1 : 0;
        const std::string name = "S" + std::to_string(100 + i) + ".Tdm";
        WriteScenarioFile(source, std::string(folder) + "/" + name);
        files.push_back(name);
    }
    ScenarioListArea = TScenarioListArea{0, 0, 500, 660, 642};
    const std::string programFolder = OS_ToProgramPath(std::string(folder) + "/");
    for (auto _ : state) {
        StandardScenarios.Clear();
        AppendScenarioEntries(StandardScenarios, programFolder, files, 0);
        benchmark::DoNotOptimize(StandardScenarios.Count());
    }
    StandardScenarios.Clear();
    std::filesystem::remove_all(folder);
    MainRender = nullptr;
    render->Device = nullptr;
}
BENCHMARK(BM_ScenarioLists_40)->Unit(benchmark::kMillisecond);

constexpr const char* Script = "DMRP 1\n"
                               "wait-window MainMenu_Window 900\n"
                               "click Btn_NewGame\n"
                               "wait-window SelectScenario_Window 300\n"
                               "frames 2\n"
                               "move 500 500\n"
                               "down left\n"
                               "frames 1\n"
                               "up left\n"
                               "frames 2\n"
                               "click b_Yes\n"
                               "wait-window SelectHero_Window 300\n"
                               "click b_Yes\n"
                               "wait-window ScenarioLoading_Window 300\n"
                               "wait-window MainMenu_Window 900\n"
                               "quit\n";

void BM_GameLoading_Sample(benchmark::State& state)
{
    TXvfb x{false, "1600x1200x24"};
    if (x.Name.empty()) {
        state.SkipWithError("no Xvfb");
        return;
    }
    std::map<std::string, double> phases;
    for (auto _ : state) {
        char home[] = "/tmp/duskmarch-bench-XXXXXX";
        if (mkdtemp(home) == nullptr) {
            state.SkipWithError("no temporary folder");
            return;
        }
        const std::string script = std::string(home) + "/newgame.dmrp";
        std::ofstream(script) << Script;
        const std::string errFile = std::string(home) + "/stderr.txt";
        const pid_t pid = fork();
        if (pid == 0) {
            const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int out = open("/dev/null", O_WRONLY);
            if (err >= 0)
                dup2(err, 2);
            if (out >= 0)
                dup2(out, 1);
            setenv("DISPLAY", x.Name.c_str(), 1);
            setenv("XDG_DATA_HOME", home, 1);
            setenv("SDL_VIDEODRIVER", "x11", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            setenv("DUSKMARCH_HEADLESS", "1", 1);
            setenv("DUSKMARCH_FORCE_ACTIVE", "1", 1);
            execl(DUSKMARCH_PROGRAM, DUSKMARCH_PROGRAM, "--script", script.c_str(), "--seed", "7",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        std::ifstream err(errFile);
        std::string line;
        bool found = false;
        while (std::getline(err, line)) {
            if (line.rfind("game-loading ", 0) != 0)
                continue;
            std::istringstream words(line.substr(13));
            std::string name;
            double ms = 0;
            while (words >> name >> ms)
                phases[name] = ms;
            found = true;
        }
        std::filesystem::remove_all(home);
        if (!found) {
            state.SkipWithError("the run printed no game-loading line");
            return;
        }
    }
    double worker = 0;
    for (const auto& [name, ms] : phases) {
        state.counters[name + "_ms"] = ms;
        worker += ms;
    }
    state.counters["worker_ms"] = worker;
    state.counters["own_steps_ms"] = worker - phases["map-build"] - phases["world"];
}
BENCHMARK(BM_GameLoading_Sample)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
