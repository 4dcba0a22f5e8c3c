// Any bytes as a saved game, with the sample scenario in the scenario folder
// and loaded: the save list's entry, the scenario presence and the full load.
// Whatever the bytes, a load that answers true leaves the world tables in
// their shapes, and every army's item count within its list.
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "tests/fuzz/FuzzScenario.h"

namespace {

void CheckWorld()
{
    const size_t all = static_cast<size_t>(ArmyCount) + static_cast<size_t>(GarrisonCount) + 1;
    FuzzCheck(ArmyCount >= 0 && ArmyCount <= MapArmyMax && GarrisonCount >= 0 && BuildingCount >= 0);
    FuzzCheck(GameArmies.size() == all && ArmyUnits.size() == all && ArmyItems.size() == all);
    for (size_t a = 0; a < all; ++a)
        FuzzCheck(GameArmies[a].ItemCount >= 0 && static_cast<size_t>(GameArmies[a].ItemCount) < ArmyItems[a].size());
    FuzzCheck(ArmyMoves.size() == static_cast<size_t>(ArmyCount) + 1);
    for (const auto& row : ArmyMoves)
        FuzzCheck(row.size() == ArmyMoves.size());
    FuzzCheck(GameBuildings.size() == static_cast<size_t>(BuildingCount) + 1);
    for (const auto& row : ArmyTargets)
        FuzzCheck(row.size() == GameBuildings.size());
    FuzzCheck(PointStates.size() == static_cast<size_t>(PointCount) + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string file = FuzzSampleScenarioFolder("savegame-fuzz", "eng") + "In.sav";
    if (!FuzzWriteFile(file, data, size))
        return 0;
    TSaveFileSummary entry;
    ReadSaveFileSummary(file, entry);
    IsSavedGameScenarioPresent(file);
    float speed = 0;
    std::u16string hero;
    if (LoadSavedGame(file, speed, hero)) {
        FuzzCheck(hero.size() <= SaveNameUnits);
        CheckWorld();
    }
    return 0;
}
