#include "model/tables/BuildingType.h"

const char* const BuildingTypeNames[BuildingTypeCount] = {
    "Town", "Castle", "Fort", "Monastery", "Church", "Chapel", "Village", "Farm",   "Tavern", "House", "Market",
    "Port", "Mine",   "Ruin", "Cementry",  "Altar",  "Camp",   "Cave",    "Bridge", "Object", "None",
};

int BuildingTypeByName(const std::string& name)
{
    for (int t = BuildingTypeCount - 1; t >= 0; --t)
        if (name == BuildingTypeNames[t])
            return t;
    return -1;
}
