// What the story event units share between the requirement tests and the
// results; not for other callers.
#pragma once

#include <cstdint>

#include "model/scenario/ScenarioMap_Tables.h"

// value against x: op 0 below, 1 above, 2 equal, 3 not equal; any other op
// never holds.
bool CompareValue(int64_t value, int64_t x, uint8_t op);
// Whether a unit type or a scenario NPC type (negative) is defined.
bool UnitTypeExists(int32_t type);
// Event e's scenario record when both it and its state exist, else nullptr.
const TStoryEvent* FindStoryEvent(int32_t e);
