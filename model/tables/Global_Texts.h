// Texts over the static tables and the world tables: the bonus entry of a
// bonus type, the bonus types of a bonus set, the tooltip texts of bonuses
// and spells (generic and for one personage), the short names of armies and
// buildings in error reports and logs, and the player's buildings of a type.
#pragma once

#include <cstdint>
#include <string>

#include "engine/QX9_System.h"
#include "model/tables/BuildingType.h"
#include "model/tables/Global.h"
#include "model/personage/Personage.h"

// Between a name and its description; the screens break lines at "<br>".
extern const char16_t* const DescriptionSeparator;

// entry := the table entry of bonus b; left as it was when b is 0 or has no entry.
void GetBonusTTX(uint8_t b, TBonusTTX& entry);
// The bonus types 1..203 the set holds, in ascending order; returns their count.
int32_t ListBonuses(const TBonusSet& set, TByteArray& list);
// Name, separator and description with each "[n]" replaced by the bonus
// value times n and each "[#n]" by the value divided by n (n 0 counts as 1).
std::u16string GetBonusDescription(uint8_t b);
// The same for one personage: its battle counter of the bonus (encouragement,
// rage, castle defence, cohesion) fills the "[%...]" placeholders, and every
// placeholder of a bonus whose value is 0.
std::u16string GetPersonageBonusDescription(uint8_t b, const TPersonage& p);
// Name, separator and description with each "[n]" scaled by the power:
// round(n x (power / 100 + 1)). Empty for spell 0.
std::u16string GetSpellDescription(int32_t spell, int32_t power);
// The spell text at the personage's power: by spell number at its
// MagicPower, by spell slot at its Mana; a wand adds the wand bonus value.
std::u16string GetPersonageSpellDescription(int32_t n, const TPersonage& p, bool byNumber);

// The name under which an army appears in error reports and logs, in the
// game's 8-bit code page: "#0 Hero army", "no army" below 0, else "#" + the
// number + " " + the army's name (a garrison's: its building's name).
std::string GetArmyLogName(int32_t army);
// "#" + the number + " " + the building's name, 8-bit.
std::string GetBuildingLogName(int32_t building);
// Buildings of the type that the player's army owns.
int32_t CountPlayerBuildingsOfType(TBuildingType type);
