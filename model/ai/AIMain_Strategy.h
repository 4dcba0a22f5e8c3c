// The strategic AI's relations: how an army stands towards another army or
// a building, from the army-to-army attitudes and the group diplomacy.
#pragma once

#include <cstdint>

// The relation -5..5 of army a towards t (an army, or -b for building b);
// below 0 hostile. A building is seen through its owner army, else through
// its owner group, else as hostile to everyone. otherView takes the other
// side's attitude as the starting point. Numbers the tables do not hold
// give 0.
int32_t GetRelation(int32_t a, int32_t t, bool otherView);
