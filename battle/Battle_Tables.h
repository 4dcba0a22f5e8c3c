// Table look-ups shared by the battle rules. Indexes taken from records
// (bonus values, spell numbers) are checked: one outside the table reads as
// nothing.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "model/FixedPoint.h"
#include "model/tables/Global.h"

// A value rounded to the nearest whole number (halves to even) and kept
// within 32 bits.
inline int32_t Round32(double value)
{
    return ClampToInt32(RoundHalfEven(value));
}

// The value of a bonus; 0 for a number outside the table.
inline int32_t BV(int32_t bonus)
{
    return bonus >= 0 && bonus < BonusTypeCount ? BonusValues[bonus] : 0;
}

// The spell of a number, nullptr outside the loaded table.
inline const TSpell* FindSpell(int32_t spell)
{
    return spell >= 1 && spell <= SpellCount && spell <= SpellMax ? &SpellTable[spell] : nullptr;
}

// Whether a spell has an effect of a kind.
inline bool SpellHasEffect(const TSpell* spell, int32_t kind)
{
    if (spell == nullptr)
        return false;
    for (int e = 1; e <= 3; ++e)
        if (spell->Effect[e] == kind)
            return true;
    return false;
}

// Whether a spell carries a bonus among its effect bonuses in [low, high].
inline bool SpellHasEffectBonus(const TSpell* spell, int32_t low, int32_t high)
{
    if (spell == nullptr)
        return false;
    for (int e = 1; e <= 3; ++e)
        if (spell->EffectBonus[e] >= low && spell->EffectBonus[e] <= high)
            return true;
    return false;
}

// Whether a bonus set holds any of the bonuses.
inline bool HoldsAny(const TBonusSet& set, std::initializer_list<int32_t> bonuses)
{
    for (int32_t b : bonuses)
        if (set.Has(b))
            return true;
    return false;
}
