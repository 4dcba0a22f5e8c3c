// Any bytes as a scenario's localisation file, applied to the sample
// scenario (made and loaded once): the header alone, as the scenario list
// reads it, and every text of the full load. Whatever the bytes, the text
// tables keep the shapes of the scenario's tables.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "tests/fuzz/FuzzScenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string file = FuzzSampleScenarioFolder("localization-fuzz", "rus") + "Scenarios\\Sample.Rus";
    static const size_t events = StoryEvents.size();
    // A list holds what the scenario gave it, or one entry a stage at most.
    static const std::vector<size_t> longest = [] {
        std::vector<size_t> sizes;
        for (size_t e = 0; e < events; e++) {
            const TStoryEventText& text = StoryEventTexts[e];
            const size_t stages = StoryEvents[e].Stages.size() + 1;
            sizes.push_back(std::max({stages, text.StageTexts.size(), text.Captions.size(), text.JournalTexts.size()}));
        }
        return sizes;
    }();
    if (!FuzzWriteFile(file, data, size))
        return 0;
    std::string report;
    ApplyScenarioLocalization(file, true, report);
    ApplyScenarioLocalization(file, false, report);
    FuzzCheck(StoryEvents.size() == events && StoryEventTexts.size() == events);
    for (size_t e = 0; e < events; e++) {
        const TStoryEventText& text = StoryEventTexts[e];
        FuzzCheck(text.StageTexts.size() <= longest[e] && text.Captions.size() <= longest[e] &&
                  text.JournalTexts.size() <= longest[e]);
    }
    return 0;
}
