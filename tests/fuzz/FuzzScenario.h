// The sample scenario, made and loaded once in a scratch folder of the
// target, for the targets whose inputs belong to a scenario (saved games,
// localisation files). Such a target links dmtool_scenarios.
#pragma once

#include <string>

#include "model/scenario/ScenarioMap.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tools/dmtool/MakeScenario.h"

// The game folder (program form, trailing "\") whose "Scenarios\Sample.Tdm"
// is the loaded sample scenario, in the given language.
inline std::string FuzzSampleScenarioFolder(const std::string& target, const char* language)
{
    const std::string folder = FuzzProgramFolder(target);
    SetGameFolders(folder);
    SetGameLanguage(language);
    AllocateMapGrids();
    OS_CreateDirectory(folder + "Scenarios");
    std::string error;
    FuzzCheck(MakeScenario(folder + "Scenarios\\Sample.Tdm", 129, false, error) &&
              LoadScenarioMap(folder + "Scenarios\\Sample.Tdm"));
    return folder;
}
