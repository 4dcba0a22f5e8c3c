// Operations on a personage in its army: a first free formation cell, what
// an item would bring it, equipping it from the army's carried items, the
// rider's switch between lance and hand weapon, and leaving the army.
#pragma once

#include <cstdint>

#include "engine/QX9_System.h"
#include "model/personage/Personage.h"

// The first empty usable cell of rows 1..3, columns 1..5; nothing changes
// when there is none.
void PlaceInFormation(int32_t army, int32_t slot);

// What equipping the item would add to the personage's Strength (its
// ItemStrength for a lance, a horse or horse gear); 0 for a personage that
// fights with stone, claws or paws, or when the item is already in its slot.
// The personage's record is left exactly as it was.
int32_t CalcSlotItemGain(int32_t army, int32_t slot, int32_t item);
// The same for a copy of a personage.
int32_t CalcItemGain(TPersonage p, int32_t item);

// Equips every personage of the army from its carried items.
void AutoEquipArmy(int32_t army);
// Equips the personage of a slot with each carried item that makes it
// stronger; what it takes off goes back into the carried items.
void AutoEquipPersonage(int32_t army, int32_t slot);
// A rider with a horse takes the lance into the main hand (toLance) or puts
// it aside for the hand weapon; what the reload takes off is carried.
void SwitchWeaponSet(int32_t army, int32_t slot, bool toLance, TIntArray& removed);
// Takes the personage of a slot out of the army: the slots after it move
// down and the formation follows. Its own items go to the army's carried
// items, except for the player's army without giveItems: then they are
// handed back in removed. A slot outside 1..PersonageCount does nothing.
void RemovePersonage(int32_t army, int32_t slot, bool giveItems, TIntArray& removed);
