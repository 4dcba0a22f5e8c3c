// ScenarioMap_Load: the full load of a scenario map file and the header
// preview.
#include "model/ScenarioMap.h"

#include <algorithm>

#include "model/ScenarioMap_Tables.h"
#include "model/Support.h"

std::atomic<int32_t> LoadingProgress{0};

int ScenarioCodePage(uint8_t language)
{
    switch (static_cast<TLanguage>(language)) {
    case TLanguage::Rus:
    case TLanguage::Bel:
    case TLanguage::Ukr:
        return CP_1251;
    case TLanguage::Pol:
        return CP_1250;
    default:
        return CP_1252;
    }
}

int32_t EstimateScenarioLoading()
{
    static const int32_t BySizeClass[5] = {388, 584, 820, 1412, 2200};
    const int32_t sizeClass = std::min<int32_t>(MapStoryPreview.SizeClass, 4);
    return BySizeClass[sizeClass] + 3 * PreviewArmyCount;
}
