// Any bytes as a scenario map file: the full load and the header preview,
// once alone and once beside a localisation file; a small map that loads is
// also run through the headless terrain model. Whatever the bytes, the
// tables stay within their capacities.
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/SceneHooks.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

const char Localization[] = "[Name]\r\nName<br>two\r\nDescription\r\nTitle\r\n"
                            "[Group]\r\nFirst\r\n-//-\r\n"
                            "[A#0]\r\nArmy / suffix\r\nDescription\r\n"
                            "[B#0]\r\n/\r\n"
                            "[P#0]\r\nPoint %/ two\r\n"
                            "[E#0]\r\nTitle\r\n<p=Hero>Text<m>\r\nOne\r\nTwo\r\nThree\r\n"
                            "[E#1]\r\n\r\n"
                            "[U#0]\r\nName\r\nDescription\r\n";

void CheckTables()
{
    if (MapInit.MapSizeMinus1 < 0 || MapInit.MapSizeMinus1 > MapSizeMax || MapTrees.Count > MapTreeMax ||
        MapBuildings.Count > MapBuildingMax || MapObjects.Count > MapObjectMax || MapArmies.Count > MapArmyMax ||
        MapPoints.Count > MapPointMax || NpcTypeCount > NpcTypeMax || StoryEventCount > StoryEventMax ||
        StoryEvents.size() != static_cast<size_t>(StoryEventCount) + 1 ||
        StoryEventTexts.size() != StoryEvents.size() || StoryEventCalk.size() != StoryEvents.size())
        __builtin_trap();
    for (size_t e = 1; e < StoryEvents.size(); e++) {
        const TStoryEvent& event = StoryEvents[e];
        if (event.RequireCount != static_cast<int32_t>(event.Requires.size()) ||
            event.StageCount != static_cast<int32_t>(event.Stages.size()))
            __builtin_trap();
    }
}

void Run(const std::string& file, bool terrain)
{
    if (LoadScenarioMap(file)) {
        CheckTables();
        if (terrain && MapInit.MapSizeMinus1 <= 64) {
            SceneHooks().BuildTerrainModel(true);
            SceneHooks().UpdateMapChunks({});
            SceneHooks().UpdateMapChunks({0, 1, -7, 1 << 30});
            TVec3 point;
            SceneHooks().GetTerrainPoint(TVec3{3.5f, 0, 1e30f}, false, point);
        }
    }
    ReadScenarioHeader(file);
    EstimateScenarioLoading();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string folder = [] {
        const std::string programFolder = FuzzProgramFolder("scenario-fuzz");
        SetGameFolders(programFolder);
        SetGameLanguage("eng");
        AllocateMapGrids();
        FuzzWriteFile(programFolder + "Local.Eng", Localization, sizeof Localization - 1);
        return programFolder;
    }();
    if (!FuzzWriteFile(folder + "Plain.Tdm", data, size) || !FuzzWriteFile(folder + "Local.Tdm", data, size))
        return 0;
    Run(folder + "Plain.Tdm", true);
    Run(folder + "Local.Tdm", false);
    return 0;
}
