// Adding personages to an army and taking buildings.
#pragma once

#include <cstdint>

// Slots hiring and adding may fill; 13..15 stay free.
constexpr int32_t ArmyHireSlots = 12;

// Adds a new personage of a unit type to the first empty slot of army a
// and places it in the formation; returns the slot, 0 when slots 1..12 are
// full. The leader of a scenario army becomes an important personage and
// takes the army's name.
int32_t AddPersonage(int32_t army, int32_t unitType, int16_t hireKind, const uint8_t (&extra)[4]);
// The same with four zero extra bytes.
int32_t AddPersonageSimple(int32_t army, int32_t unitType, int16_t hireKind);
// Army a takes building b (0: the building it stands in); the old owner's
// and the new owner's economy are recounted, and the player hears of a
// loss through a map notice (kind 1, or kind 2 naming building notice
// when notice is above 0).
void CaptureBuilding(int32_t army, int32_t building, int32_t notice);
