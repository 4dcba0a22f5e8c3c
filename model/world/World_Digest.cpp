#include "model/world/World_Digest.h"

#include <algorithm>
#include <vector>

#include "engine/QX9_System.h"
#include "model/world/World_Tables.h"

namespace {

uint32_t Crc(uint32_t crc, const void* data, size_t size)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i)
        crc = Crc32Update(bytes[i], crc);
    return crc;
}

template <typename T> uint32_t CrcOf(uint32_t crc, const std::vector<T>& list)
{
    return Crc(crc, list.data(), list.size() * sizeof(T));
}

template <typename T> uint32_t CrcOfValue(uint32_t crc, const T& value)
{
    return Crc(crc, &value, sizeof value);
}

} // namespace

uint32_t WorldDigest()
{
    uint32_t crc = 0xFFFFFFFFu;
    crc = CrcOf(crc, GameArmies);
    crc = CrcOf(crc, ArmyUnits);
    for (size_t a = 0; a < GameArmies.size() && a < ArmyItems.size(); ++a) {
        // A damaged count never reads past the list.
        const int32_t count = GameArmies[a].ItemCount;
        const size_t n = std::min<size_t>(static_cast<size_t>(std::max(count, 0)) + 1, ArmyItems[a].size());
        crc = Crc(crc, ArmyItems[a].data(), n * sizeof(int32_t));
    }
    crc = CrcOf(crc, GameBuildings);
    for (const std::vector<TGameArmyMove>& row : ArmyMoves)
        crc = CrcOf(crc, row);
    for (const std::vector<TGameArmyTarget>& row : ArmyTargets)
        crc = CrcOf(crc, row);
    crc = CrcOf(crc, GameEvents);
    for (const TIntArray& row : Diplomacy)
        crc = CrcOf(crc, row);
    crc = CrcOf(crc, PointStates);
    crc = CrcOf(crc, ScenarioVariables);
    crc = CrcOfValue(crc, GameClock);
    crc = CrcOfValue(crc, GameSeed);
    crc = CrcOfValue(crc, RandomSeed);
    crc = CrcOfValue(crc, NextDayMark);
    crc = CrcOfValue(crc, NextHourMark);
    crc = CrcOfValue(crc, HourlyGoldSamples);
    return crc ^ 0xFFFFFFFFu;
}
