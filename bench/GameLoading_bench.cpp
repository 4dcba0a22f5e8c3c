// The scenario lists and the game loading worker.
//
// BM_ScenarioLists_40: forty generated headers listed and sorted as the
// start-up builds the standard list (on a renderer without a device, with
// the installation's fonts).
// BM_GameLoading_Sample: the game on its own X server in test mode plays a
// new game of the installation's plain sample from the main menu; the
// worker's phases are read from its "game-loading" line and its uploads from
// its "game-loading-uploads" line, and reported as counters (milliseconds;
// the uploads' bytes and the frames they take at the loading window's
// budget), the whole run's time as the iteration's.
// BM_GameLoading_1025: the same for the full-size sample (1025 x 1025),
// made as "dmtool make-scenario --size 1025" makes it.
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

// A copy of the installation beside a copy of the program (the game finds
// its installation beside its real file), its folders linked, with the
// given scenario as the only one.
struct TInstallationWithScenario {
    std::string Folder;
    std::string Program;
    bool Ready = false;

    explicit TInstallationWithScenario(int32_t size)
    {
        namespace fs = std::filesystem;
        char pattern[] = "/tmp/duskmarch-bench-install-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        Folder = pattern;
        std::error_code ec;
        const fs::path program(DUSKMARCH_PROGRAM);
        for (const fs::directory_entry& entry : fs::directory_iterator(program.parent_path(), ec)) {
            const std::string name = entry.path().filename().string();
            const fs::path target = fs::path(Folder) / name;
            if (name == "Scenarios")
                fs::create_directory(target, ec);
            else if (name == program.filename().string())
                fs::copy_file(entry.path(), target, ec);
            else
                fs::create_symlink(entry.path(), target, ec);
        }
        Program = (fs::path(Folder) / program.filename()).string();
        std::string error;
        Ready = fs::exists(Program) &&
                MakeScenario(Folder + "/Scenarios/Full.Tdm", size, false, error, TScenarioHeaderOptions{});
    }
    ~TInstallationWithScenario()
    {
        std::error_code ec;
        if (!Folder.empty())
            std::filesystem::remove_all(Folder, ec);
    }
};

// The program's new-game run in test mode: the phases of its "game-loading"
// line and its uploads' line, in milliseconds (the uploads also in bytes and
// frames at the loading window's budget).
bool RunNewGame(benchmark::State& state, const std::string& program, std::map<std::string, double>& phases)
{
    TXvfb x{false, "1600x1200x24"};
    if (x.Name.empty()) {
        state.SkipWithError("no Xvfb");
        return false;
    }
    for (auto _ : state) {
        char home[] = "/tmp/duskmarch-bench-XXXXXX";
        if (mkdtemp(home) == nullptr) {
            state.SkipWithError("no temporary folder");
            return false;
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
            execl(program.c_str(), program.c_str(), "--script", script.c_str(), "--seed", "7",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        std::ifstream err(errFile);
        std::string line;
        bool found = false;
        while (std::getline(err, line)) {
            std::string prefix;
            if (line.rfind("game-loading ", 0) == 0)
                prefix = "";
            else if (line.rfind("game-loading-uploads ", 0) == 0)
                prefix = "uploads-";
            else
                continue;
            std::istringstream words(line.substr(line.find(' ') + 1));
            std::string name;
            double value = 0;
            while (words >> name >> value)
                phases[prefix + name] = value;
            found = found || prefix.empty();
        }
        std::filesystem::remove_all(home);
        if (!found) {
            state.SkipWithError("the run printed no game-loading line");
            return false;
        }
    }
    return true;
}

void ReportPhases(benchmark::State& state, std::map<std::string, double>& phases)
{
    // The map build's phases and the world set-up are the placement and
    // rules' own; what is left of the worker is its own steps.
    static constexpr const char* Built[] = {"clear",     "scenario",  "terrain-model", "chunk-meshes", "plant-meshes",
                                            "placement", "path-grid", "world",         "armies"};
    double worker = 0, built = 0;
    for (const auto& [name, value] : phases) {
        if (name.rfind("uploads-", 0) == 0) {
            state.counters[name] = value;
            continue;
        }
        state.counters[name + "_ms"] = value;
        worker += value;
    }
    for (const char* name : Built)
        built += phases[name];
    const double whole = worker + phases["uploads-ms"];
    state.counters["worker_ms"] = worker;
    state.counters["whole_ms"] = whole;
    state.counters["own_steps_ms"] = worker - built;
    state.counters["own_steps_pct"] = whole > 0 ? 100 * (worker - built) / whole : 0;
}

void BM_GameLoading_Sample(benchmark::State& state)
{
    std::map<std::string, double> phases;
    if (RunNewGame(state, DUSKMARCH_PROGRAM, phases))
        ReportPhases(state, phases);
}
BENCHMARK(BM_GameLoading_Sample)->Unit(benchmark::kMillisecond)->Iterations(2);

// The same on the full-size sample (1025 x 1025), the only scenario of an
// installation copy.
void BM_GameLoading_1025(benchmark::State& state)
{
    static TInstallationWithScenario installation(ScenarioSizeMax);
    if (!installation.Ready) {
        state.SkipWithError("the full-size scenario could not be made");
        return;
    }
    std::map<std::string, double> phases;
    if (RunNewGame(state, installation.Program, phases))
        ReportPhases(state, phases);
}
BENCHMARK(BM_GameLoading_1025)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
