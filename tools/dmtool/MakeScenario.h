// MakeScenario: the generator of the sample scenarios. Everything in them is
// made here from fixed numbers and integer formulas, so the same options give
// the same bytes on every machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/personage/Personage.h"
#include "model/scenario/ScenarioMap_Records.h"

// The content of one scenario file, section by section.
struct TScenarioSource {
    TMapStory Header{};
    std::vector<int32_t> GroupRows; // (G + 1) x (G + 1) attitudes, row by row
    TMapInit Init{};
    std::vector<TMapCell> Cells; // (n + 1)^2, x outer, z inner
    std::vector<TMapTree> Trees;
    std::vector<TMapBuilding> Buildings;
    std::vector<TMapObject> Objects;
    std::vector<TMapArmy> Armies;
    std::vector<TMapPoint> Points;
    std::vector<TStoryEventStart> Events;
    std::vector<TStoryRequire> Requires; // event 1's, then event 2's ...
    std::vector<TSelect> Stages;         // likewise
    std::vector<TStoryResult> Results;   // event 1 stage 1, stage 2 ..., then event 2 ...
    std::vector<TMapSound> Sounds;
    std::vector<std::string> VariableNames; // 8-bit
    std::vector<TPersonage> NpcTypes;
    std::vector<std::string> NpcBonusLines;

    // Texts in the order the sections store them.
    std::vector<std::u16string> Names;         // name, description, groups, title, next scenarios
    std::vector<std::u16string> BuildingTexts; // 3 per building
    std::vector<std::u16string> PointTexts;    // 1 per point
    std::vector<std::u16string> ArmyTexts;     // 3 per army
    std::vector<std::u16string> EventTexts;    // per event as its form asks
    std::vector<std::u16string> NpcTexts;      // 2 per NPC type
    bool WideTexts = true;                     // write the wide twins besides the 8-bit sections
};

constexpr int32_t ScenarioSizeMin = 16;
constexpr int32_t ScenarioSizeMax = 1025;
constexpr int32_t SampleScenarioSize = 513;

// The sample scenario of a map of size x size cells. part 0: the plain
// sample; 1: the first scenario of the campaign pair, naming `next` as its
// next scenario; 2: the second scenario of the pair.
TScenarioSource BuildSampleScenario(int32_t size, int part, const std::string& next);
// Writes the source as a scenario file (one section write each, bzip2).
bool WriteScenarioFile(const TScenarioSource& source, const std::string& file);
// What the scenario lists and the hero selection read of a header, set
// apart from the sample's own values (an empty or negative field keeps them).
struct TScenarioHeaderOptions {
    std::vector<int32_t> Heroes; // hero kinds offered (1 knight, 2 mystic, 6 baroness)
    int32_t Mask = -1;           // the list mask byte
    bool NotReady = false;
    bool Personalization = false; // the personalization box is offered
    bool Tutorial = false;
    std::u16string Name;
    std::u16string Description;
};
void ApplyScenarioHeaderOptions(TScenarioSource& source, const TScenarioHeaderOptions& options);
// The hero kinds of a list of names ("knight,mystic,baroness"); false for an
// unknown name or an empty list.
bool ParseHeroList(const std::string& text, std::vector<int32_t>& kinds);

// The sample (or the campaign pair: the file and its base name + "2" beside
// it; the options apply to the first). False with the reason when a file
// could not be written.
bool MakeScenario(const std::string& file, int32_t size, bool campaign, std::string& error,
                  const TScenarioHeaderOptions& header = {});
