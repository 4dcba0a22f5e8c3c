// TBuildingType: the kind of a map building, as the scenario's building
// records store it (one byte) and as the world rules and screens group
// buildings. The order is fixed by the stored records and by the rules that
// test ranges ("Town to Chapel", "from Camp on") and numbers (None is 20;
// Ruin, Cementry, Altar and Cave are 13, 14, 15 and 17).
#pragma once

#include <cstdint>
#include <string>

enum class TBuildingType : uint8_t {
    Town = 0,
    Castle = 1,
    Fort = 2,
    Monastery = 3,
    Church = 4,
    Chapel = 5,
    Village = 6,
    Farm = 7,
    Tavern = 8,
    House = 9,
    Market = 10,
    Port = 11,
    Mine = 12,
    Ruin = 13,
    Cementry = 14,
    Altar = 15,
    Camp = 16,
    Cave = 17,
    Bridge = 18,
    Object = 19,
    None = 20,
};

constexpr int BuildingTypeCount = 21;

// The value names as the data files spell them.
extern const char* const BuildingTypeNames[BuildingTypeCount];

// The value whose name equals the text exactly; -1 when none.
int BuildingTypeByName(const std::string& name);
