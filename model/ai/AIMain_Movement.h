// Army movement services the economy and the formation rules need: the
// recount of an army's totals, its walking speed factor and the notices
// queued for the map screen.
#pragma once

#include <cstdint>

// Recounts PersonageCount, LivingCount, AbleCount, Strength, the hire-kind
// counters and WoundPercent from slots 1..12, then the speed factor.
void UpdateArmyTotals(int32_t army);
// SpeedFactor := WalkSpeed / 10000.
void UpdateSpeedFactor(int32_t army);
// Queues a notice for the map screen, unless c is above 0 and the same
// notice is already queued.
void AddMapNotice(uint8_t kind, int32_t a, int32_t b, int32_t c);
