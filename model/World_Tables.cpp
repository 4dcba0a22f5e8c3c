#include "model/World_Tables.h"

#include <cstdlib>

int32_t ArmyCount = 0;
int32_t BuildingCount = 0;
int32_t GarrisonCount = 0;

std::vector<TGameArmy> GameArmies;
std::vector<TArmyUnits> ArmyUnits;
std::vector<TIntArray> ArmyItems;

int32_t GameSeed = 0;
uint8_t PersonalizationEnabled = 0;
int32_t PersonalizationLevel = 0;

int32_t GetGarrisonArmyIndex(int32_t building)
{
    return std::abs(building) + ArmyCount;
}

bool IsWorldArmy(int32_t army)
{
    return army >= 0 && static_cast<size_t>(army) < GameArmies.size() && static_cast<size_t>(army) < ArmyUnits.size();
}

void AddArmyItem(int32_t army, int32_t item)
{
    if (army < 0 || static_cast<size_t>(army) >= GameArmies.size())
        return;
    if (ArmyItems.size() <= static_cast<size_t>(army))
        ArmyItems.resize(static_cast<size_t>(army) + 1);
    TGameArmy& record = GameArmies[static_cast<size_t>(army)];
    if (record.ItemCount < 0)
        record.ItemCount = 0;
    record.ItemCount += 1;
    TIntArray& items = ArmyItems[static_cast<size_t>(army)];
    if (items.size() <= static_cast<size_t>(record.ItemCount))
        items.resize(static_cast<size_t>(record.ItemCount) + 1, 0);
    items[static_cast<size_t>(record.ItemCount)] = item;
}
