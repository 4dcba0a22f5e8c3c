// dmtool: the headless harness. It runs the game model without a renderer,
// window or sound, from the installation it lies in (the per-user folder is
// the usual one; saves go to its "Saves\" folder), and prints plain text
// that is the same for the same input.
//
//   dmtool make-scenario --out FILE [--size N] [--campaign] [--heroes knight,mystic,baroness] [--mask N]
//                        [--not-ready] [--personalization] [--name TEXT] [--description TEXT] [--tutorial]
//   dmtool scenario FILE [--lang CODE] [--header]
//   dmtool world --scenario NAME --hero K --seed S --days D [--approach ARMY] [--dump] [--log]
//                [--past-defeat] [--save FILE] [--planning-threads N]
//   dmtool world --load FILE --days D [--approach ARMY] [--dump] [--log] [--past-defeat] [--save FILE]
//                [--planning-threads N]
//   dmtool save FILE
//   dmtool telemetry FILE
//   dmtool battle --file FILE.ini --seeds A-B [--mode silent|player1] [--decisions FILE]
//
// A battle's seed draws the personal variations (names, features, small
// statistic changes) of the personages who aren't heroes when the battle
// file's [Battle] Personalization is 1..3; with it 0 (the default) every seed
// fights the same battle.
//
// Every failure ends with a non-zero exit and one line on stderr.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Planning.h"
#include "model/ai/AIMain_Settings.h"
#include "model/tables/Global.h"
#include "model/Support.h"
#include "platform/os/OS.h"
#include "tools/dmtool/BattleRun.h"
#include "tools/dmtool/MakeScenario.h"
#include "tools/dmtool/SaveDump.h"
#include "tools/dmtool/ScenarioDump.h"
#include "tools/dmtool/WorldRun.h"

namespace {

// A command line: the subcommand, its plain arguments and its options.
struct TCommandLine {
    std::string Command;
    std::vector<std::string> Arguments;
    std::map<std::string, std::string> Values; // options with a value
    std::set<std::string> Flags;               // options without one
};

struct TCommandForm {
    const char* Name;
    size_t Arguments; // plain arguments the command takes
    std::set<std::string> ValueOptions;
    std::set<std::string> FlagOptions;
};

const TCommandForm Commands[] = {
    {"make-scenario",
     0,
     {"--out", "--size", "--heroes", "--mask", "--name", "--description"},
     {"--campaign", "--not-ready", "--personalization", "--tutorial"}},
    {"scenario", 1, {"--lang"}, {"--header"}},
    {"world",
     0,
     {"--scenario", "--hero", "--seed", "--days", "--save", "--load", "--approach", "--planning-threads"},
     {"--dump", "--log", "--past-defeat"}},
    {"save", 1, {}, {}},
    {"telemetry", 1, {}, {}},
    {"battle", 0, {"--file", "--seeds", "--mode", "--decisions"}, {}},
};

int Fail(const std::string& line)
{
    std::fprintf(stderr, "dmtool: %s\n", line.c_str());
    return 1;
}

int Usage(const std::string& why)
{
    std::fprintf(stderr,
                 "dmtool: %s (usage: dmtool make-scenario --out FILE [--size N] [--campaign] [--heroes LIST] "
                 "[--mask N] [--not-ready] [--personalization] [--name TEXT] [--description TEXT] [--tutorial] | "
                 "dmtool scenario FILE [--lang CODE] [--header] | "
                 "dmtool world --scenario NAME --hero K --seed S --days D [--approach ARMY] [--dump] [--log] "
                 "[--past-defeat] [--save FILE] [--planning-threads N] | "
                 "dmtool world --load FILE --days D [--approach ARMY] [--dump] [--log] [--past-defeat] [--save FILE] "
                 "[--planning-threads N] | "
                 "dmtool save FILE | dmtool telemetry FILE | "
                 "dmtool battle --file FILE.ini --seeds A-B [--mode silent|player1] [--decisions FILE]; a seed varies the "
                 "personages' personal variations when the battle file sets Personalization=1..3)\n",
                 why.c_str());
    return 2;
}

// Options are parsed here, for every command alike; false with the reason.
bool ParseCommandLine(int argc, char** argv, TCommandLine& line, const TCommandForm*& form, std::string& why)
{
    if (argc < 2) {
        why = "no command";
        return false;
    }
    line.Command = argv[1];
    form = nullptr;
    for (const TCommandForm& command : Commands)
        if (line.Command == command.Name)
            form = &command;
    if (form == nullptr) {
        why = "unknown command " + line.Command;
        return false;
    }
    for (int i = 2; i < argc; i++) {
        const std::string word = argv[i];
        if (form->ValueOptions.count(word) != 0) {
            if (i + 1 >= argc) {
                why = word + " needs a value";
                return false;
            }
            line.Values[word] = argv[++i];
        } else if (form->FlagOptions.count(word) != 0) {
            line.Flags.insert(word);
        } else if (word.size() > 1 && word[0] == '-') {
            why = "unknown option " + word;
            return false;
        } else {
            line.Arguments.push_back(word);
        }
    }
    if (line.Arguments.size() != form->Arguments) {
        why = line.Command + " takes " + std::to_string(form->Arguments) + " file argument(s)";
        return false;
    }
    return true;
}

// The program's folders, the user's options and the game tables.
void LoadInstallation(const std::string& language)
{
    Support_Initialization();
    Global_Initialization();
    LoadGameOptions("");
    SavesFolder = UserFolder + "Saves\\";
    std::string chosen = language;
    if (chosen.empty() && GameOptions != nullptr && GameOptions->SelectSection("Main"))
        chosen = GameOptions->ReadString("Global_Language", -1);
    SetGameLanguage(chosen.empty() ? "eng" : chosen);
    LoadBonuses();
    LoadSpells();
    LoadItems();
    LoadUnitTypes();
    AIMain_Initialization();
}

// A whole number of an option within lo..hi; false when it is not one.
bool ReadNumber(const TCommandLine& line, const std::string& option, long lo, long hi, int32_t& value)
{
    const auto given = line.Values.find(option);
    if (given == line.Values.end())
        return false;
    char* end = nullptr;
    const long number = std::strtol(given->second.c_str(), &end, 10);
    if (end == given->second.c_str() || *end != 0 || number < lo || number > hi)
        return false;
    value = static_cast<int32_t>(number);
    return true;
}

int MakeScenarioCommand(const TCommandLine& line)
{
    const auto out = line.Values.find("--out");
    if (out == line.Values.end())
        return Fail("make-scenario needs --out FILE");
    int32_t size = SampleScenarioSize;
    if (line.Values.count("--size") != 0 && !ReadNumber(line, "--size", ScenarioSizeMin, ScenarioSizeMax, size))
        return Fail("--size takes " + std::to_string(ScenarioSizeMin) + ".." + std::to_string(ScenarioSizeMax));
    TScenarioHeaderOptions header;
    if (const auto heroes = line.Values.find("--heroes");
        heroes != line.Values.end() && !ParseHeroList(heroes->second, header.Heroes))
        return Fail("--heroes takes knight, mystic, baroness separated by commas");
    if (line.Values.count("--mask") != 0 && !ReadNumber(line, "--mask", 0, 255, header.Mask))
        return Fail("--mask takes 0..255");
    if (const auto name = line.Values.find("--name"); name != line.Values.end())
        header.Name = OS_MultiByteToWide(CP_UTF8, name->second);
    if (const auto text = line.Values.find("--description"); text != line.Values.end())
        header.Description = OS_MultiByteToWide(CP_UTF8, text->second);
    header.NotReady = line.Flags.count("--not-ready") != 0;
    header.Personalization = line.Flags.count("--personalization") != 0;
    header.Tutorial = line.Flags.count("--tutorial") != 0;
    std::string error;
    if (!MakeScenario(out->second, size, line.Flags.count("--campaign") != 0, error, header))
        return Fail(error);
    return 0;
}

int ScenarioCommand(const TCommandLine& line)
{
    const auto lang = line.Values.find("--lang");
    LoadInstallation(lang == line.Values.end() ? std::string() : lang->second);
    std::string error;
    const bool ok = line.Flags.count("--header") != 0 ? DumpScenarioHeader(line.Arguments[0], error)
                                                      : DumpScenario(line.Arguments[0], error);
    return ok ? 0 : Fail(error);
}

int WorldCommand(const TCommandLine& line)
{
    TWorldRunOptions options;
    const auto load = line.Values.find("--load");
    if (load != line.Values.end()) {
        // A run from a save takes its scenario, hero and seed from the save.
        if (line.Values.count("--scenario") != 0 || line.Values.count("--hero") != 0 ||
            line.Values.count("--seed") != 0)
            return Fail("world --load takes no --scenario, --hero or --seed");
        options.LoadFile = load->second;
    } else {
        const auto scenario = line.Values.find("--scenario");
        if (scenario == line.Values.end())
            return Fail("world needs --scenario NAME or --load FILE");
        options.Scenario = scenario->second;
        if (!ReadNumber(line, "--hero", 0, 255, options.Hero))
            return Fail("world needs --hero 0..255");
        if (!ReadNumber(line, "--seed", 0, INT32_MAX, options.Seed))
            return Fail("world needs --seed 0.." + std::to_string(INT32_MAX));
    }
    if (!ReadNumber(line, "--days", 0, 36500, options.Days))
        return Fail("world needs --days 0..36500");
    if (const auto save = line.Values.find("--save"); save != line.Values.end())
        options.SaveFile = save->second;
    if (line.Values.count("--approach") != 0 && !ReadNumber(line, "--approach", 1, INT32_MAX, options.Approach))
        return Fail("--approach takes an army number from 1");
    if (line.Values.count("--planning-threads") != 0) {
        int32_t threads = 1;
        if (!ReadNumber(line, "--planning-threads", 1, PlanningThreadsMax, threads))
            return Fail("--planning-threads takes 1.." + std::to_string(PlanningThreadsMax));
        SetPlanningThreads(threads);
    }
    options.Dump = line.Flags.count("--dump") != 0;
    options.Log = line.Flags.count("--log") != 0;
    options.PastDefeat = line.Flags.count("--past-defeat") != 0;
    LoadInstallation("");
    AI_LoadSettings();
    std::string error;
    return RunWorld(options, error) ? 0 : Fail(error);
}

int BattleCommand(const TCommandLine& line)
{
    TBattleRunOptions options;
    const auto file = line.Values.find("--file");
    if (file == line.Values.end())
        return Fail("battle needs --file FILE.ini");
    options.BattleFile = file->second;
    const auto seeds = line.Values.find("--seeds");
    if (seeds == line.Values.end())
        return Fail("battle needs --seeds A-B");
    const std::string& range = seeds->second;
    const size_t dash = range.find('-', 1);
    char* end = nullptr;
    const long first = std::strtol(range.c_str(), &end, 10);
    long last = first;
    bool good = end != range.c_str() && (dash == std::string::npos ? *end == 0 : end == range.c_str() + dash);
    if (good && dash != std::string::npos) {
        const char* from = range.c_str() + dash + 1;
        last = std::strtol(from, &end, 10);
        good = end != from && *end == 0;
    }
    if (!good || first < 0 || last < first || last > INT32_MAX || last - first > 100000)
        return Fail("--seeds takes A-B, 0 <= A <= B, at most 100000 seeds");
    options.FirstSeed = static_cast<int32_t>(first);
    options.LastSeed = static_cast<int32_t>(last);
    const auto mode = line.Values.find("--mode");
    if (mode != line.Values.end()) {
        if (mode->second != "silent" && mode->second != "player1")
            return Fail("--mode takes silent or player1");
        options.Player1 = mode->second == "player1";
    }
    const auto decisions = line.Values.find("--decisions");
    if (decisions != line.Values.end()) {
        if (!options.Player1)
            return Fail("--decisions needs --mode player1");
        options.DecisionsFile = decisions->second;
    }
    LoadInstallation("");
    AI_LoadSettings();
    std::string error;
    return RunBattles(options, error) ? 0 : Fail(error);
}

} // namespace

int main(int argc, char** argv)
{
    TCommandLine line;
    const TCommandForm* form = nullptr;
    std::string why;
    if (!ParseCommandLine(argc, argv, line, form, why))
        return Usage(why);
    if (line.Command == "make-scenario")
        return MakeScenarioCommand(line);
    if (line.Command == "world")
        return WorldCommand(line);
    if (line.Command == "save" || line.Command == "telemetry") {
        std::string error;
        const bool ok =
            line.Command == "save" ? DumpSave(line.Arguments[0], error) : DumpTelemetry(line.Arguments[0], error);
        return ok ? 0 : Fail(error);
    }
    if (line.Command == "battle")
        return BattleCommand(line);
    return ScenarioCommand(line);
}
