#include "model/tables/Global_Texts.h"

#include <algorithm>
#include <cassert>

#include "model/FixedPoint.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/Support.h"
#include "model/world/World_Tables.h"

const char16_t* const DescriptionSeparator = u"<br>----------------<br>";

namespace {

std::u16string Widen(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

// The placeholder's number as the lenient parser reads it: only digits and a
// leading "-" count, so any other character may stand for itself.
int32_t PlaceholderNumber(const std::u16string& x)
{
    std::string narrow;
    narrow.reserve(x.size());
    for (char16_t c : x)
        narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return StrToIntLenient(narrow);
}

// Copies the text with each "[X]" replaced by the number replace(X) gives.
// An unclosed "[" reads as an empty placeholder and the text after it is
// copied on.
template <typename F> std::u16string ExpandPlaceholders(const std::u16string& text, F replace)
{
    std::u16string out;
    size_t pos = 0;
    for (;;) {
        const size_t open = text.find(u'[', pos);
        if (open == std::u16string::npos)
            break;
        out.append(text, pos, open - pos);
        pos = open + 1;
        std::u16string x;
        const size_t close = text.find(u']', pos);
        if (close != std::u16string::npos) {
            x = text.substr(pos, close - pos);
            pos = close + 1;
        }
        out += Widen(Int64ToStr(replace(x), false));
    }
    out.append(text, pos, std::u16string::npos);
    return out;
}

const TBonusTTX* FindBonusTTX(uint8_t b)
{
    if (b == 0 || b > LastBonusType)
        return nullptr;
    const TBonusPlace& place = BonusIndex[b];
    if (place.Group < 1 || place.Group > BonusGroupMax || place.Entry < 1 || place.Entry > BonusGroupEntryMax)
        return nullptr;
    return &BonusTable[place.Group][place.Entry];
}

// "[n]": the value times n; "[#n]": the value divided by n, rounded; n 0 is 1.
int64_t ScaledBonusValue(uint8_t b, const std::u16string& x)
{
    int32_t n = PlaceholderNumber(x);
    if (n == 0)
        n = 1;
    const int64_t value = BonusValues[b];
    if (!x.empty() && x[0] == u'#')
        return RoundDivHalfEven(value, n);
    return value * n;
}

// The bonus's table entry, or nullptr with the error text its description
// shows instead: one for no bonus, one for a bonus without an entry.
const TBonusTTX* BonusEntryOrError(uint8_t b, std::u16string& error)
{
    if (b == 0) {
        error = u"Error! Attempt show empty bonus";
        return nullptr;
    }
    const TBonusTTX* entry = FindBonusTTX(b);
    if (!entry)
        error = u"Error! Incorrect bonus " + Widen(b <= LastBonusType ? BonusNames[b] : Int64ToStr(b, false));
    return entry;
}

// The battle counter a personage's text of bonus b shows.
int64_t PersonageBonusSpecial(uint8_t b, const TPersonage& p)
{
    switch (b) {
    case eEncouragement:
        return int64_t{p.EncouragementCount} * BonusValues[eEncouragement];
    case eRage:
        return int64_t{BonusValues[tRage]} * p.HitsTaken;
    case eCastleDefense:
        return p.WallsBonus;
    case eCohesion:
        return int64_t{p.CohesionCount} * BonusValues[tCohesion];
    default:
        return 0;
    }
}

} // namespace

void GetBonusTTX(uint8_t b, TBonusTTX& entry)
{
    if (const TBonusTTX* found = FindBonusTTX(b))
        entry = *found;
}

int32_t ListBonuses(const TBonusSet& set, TByteArray& list)
{
    list.clear();
    for (int b = 1; b <= LastBonusType; ++b)
        if (set.Has(b))
            list.push_back(static_cast<uint8_t>(b));
    return static_cast<int32_t>(list.size());
}

std::u16string GetBonusDescription(uint8_t b)
{
    std::u16string error;
    const TBonusTTX* entry = BonusEntryOrError(b, error);
    if (!entry)
        return error;
    return entry->Name + DescriptionSeparator +
           ExpandPlaceholders(entry->Descript, [b](const std::u16string& x) { return ScaledBonusValue(b, x); });
}

std::u16string GetPersonageBonusDescription(uint8_t b, const TPersonage& p)
{
    std::u16string error;
    const TBonusTTX* entry = BonusEntryOrError(b, error);
    if (!entry)
        return error;
    const int64_t special = PersonageBonusSpecial(b, p);
    return entry->Name + DescriptionSeparator +
           ExpandPlaceholders(entry->Descript, [b, special](const std::u16string& x) {
               if (BonusValues[b] != 0 && (x.empty() || x[0] != u'%'))
                   return ScaledBonusValue(b, x);
               return special;
           });
}

std::u16string GetSpellDescription(int32_t spell, int32_t power)
{
    if (spell == 0)
        return std::u16string();
    // The caller passes a spell of the table.
    assert(spell > 0 && spell <= SpellMax);
    const TSpell& entry = SpellTable[spell];
    const long double factor = static_cast<long double>(power) / 100.0L + 1.0L;
    return entry.Name + DescriptionSeparator + ExpandPlaceholders(entry.Descript, [factor](const std::u16string& x) {
               return RoundHalfEven(static_cast<long double>(PlaceholderNumber(x)) * factor);
           });
}

std::u16string GetPersonageSpellDescription(int32_t n, const TPersonage& p, bool byNumber)
{
    if (n == 0)
        return std::u16string();
    int32_t spell = n;
    int32_t power = p.Stats[statMagicPower];
    if (!byNumber) {
        spell = p.Spells[n].Spell;
        power = p.Mana;
    }
    const uint8_t weaponBonus = p.PersBonus[3];
    if (weaponBonus >= bWand && weaponBonus <= bWand5)
        power += BonusValues[bWand];
    return GetSpellDescription(spell, power);
}

// The log names trust their numbers: a number outside the tables trips the
// tables' index checks.

std::string GetArmyLogName(int32_t army)
{
    const bool russian = CurrentLanguage == TLanguage::Rus;
    if (army == PlayerArmy)
        return russian ? WideToGameAnsi(u"#0 Отряд героя") : "#0 Hero army";
    if (army < 0)
        return russian ? WideToGameAnsi(u"отсутсвует") : "no army";
    const std::u16string& name = army > ArmyCount ? BuildingTexts[army - ArmyCount].Name : ArmyTexts[army].Name;
    return "#" + Int64ToStr(army, false) + " " + WideToGameAnsi(name);
}

std::string GetBuildingLogName(int32_t building)
{
    return "#" + Int64ToStr(building, false) + " " + WideToGameAnsi(BuildingTexts[building].Name);
}

int32_t CountPlayerBuildingsOfType(TBuildingType type)
{
    const int32_t last =
        std::min({BuildingCount, MapBuildings.Count, MapBuildingMax, static_cast<int32_t>(GameBuildings.size()) - 1});
    int32_t count = 0;
    for (int32_t b = 1; b <= last; ++b)
        if (MapBuildings[b].BuildingType == static_cast<uint8_t>(type) && GameBuildings[b].OwnerArmy == PlayerArmy)
            ++count;
    return count;
}
