// The full-size sample (1025 map, 250 armies, 1,500 buildings, 300 events)
// loaded on the installation's tables, its terrain built and its path grid
// filled, for the benchmarks of the world. The scenario file is made in a
// temporary folder that goes away with the fixture. The program that uses
// it defines DUSKMARCH_INSTALL and links the sample generator.
#pragma once

#include <filesystem>
#include <string>
#include <unistd.h>

#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Settings.h"
#include "model/tables/Global.h"
#include "model/scenario/ScenarioMap.h"
#include "model/SceneHooks.h"
#include "model/Support.h"
#include "platform/os/OS.h"
#include "bench/SampleTables.h"
#include "tools/dmtool/MakeScenario.h"

struct TFullSampleWorld {
    std::string Folder;
    bool Ready = false;

    explicit TFullSampleWorld(int32_t (*clock)(bool))
    {
        char pattern[] = "/tmp/duskmarch-world-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        Folder = pattern;
        LoadSampleTables();
        if (clock != nullptr)
            GameTimeSource = clock;
        const std::string file = OS_ToProgramPath(Folder) + "\\Full.Tdm";
        Ready = WriteScenarioFile(BuildSampleScenario(ScenarioSizeMax, 0, ""), file) && LoadScenarioMap(file);
        if (Ready) {
            SceneHooks().BuildTerrainModel(true);
            AI_InitPathGrid();
        }
    }
    ~TFullSampleWorld()
    {
        std::error_code ec;
        if (!Folder.empty())
            std::filesystem::remove_all(Folder, ec);
    }
    TFullSampleWorld(const TFullSampleWorld&) = delete;
    TFullSampleWorld& operator=(const TFullSampleWorld&) = delete;
};
