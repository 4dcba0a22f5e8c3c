#include "model/tables/Global.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "model/Support.h"
#include "model/tables/TableLoading.h"

uint16_t ArenaKindSet = 0;
uint8_t ScenarioFallbackLanguage = static_cast<uint8_t>(TLanguage::Eng);
TStringArray TableLoadErrors;

void Global_Initialization()
{
    static bool registered = false;
    if (!registered) {
        registered = true;
        AddUnitShutdown(Global_Finalization);
    }
    ArenaKindSet = 0;
    for (int kind : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12})
        ArenaKindSet = static_cast<uint16_t>(ArenaKindSet | (1u << kind));
    ScenarioFallbackLanguage = static_cast<uint8_t>(TLanguage::Eng);
}

void Global_Finalization()
{
    ResetGameTables();
}

void ResetGameTables()
{
    ArenaKindSet = 0;
    ScenarioFallbackLanguage = static_cast<uint8_t>(TLanguage::Eng);
    TStringArray().swap(TableLoadErrors);

    for (auto& group : BonusTable)
        for (TBonusTTX& entry : group)
            entry = TBonusTTX{};
    std::fill(std::begin(BonusGroupCount), std::end(BonusGroupCount), 0);
    std::fill(std::begin(BonusIndex), std::end(BonusIndex), TBonusPlace{});
    std::fill(std::begin(BonusValues), std::end(BonusValues), 0);
    std::fill(std::begin(ItemKindBonus), std::end(ItemKindBonus), 0);

    for (TSpell& spell : SpellTable)
        spell = TSpell{};
    SpellCount = 0;
    std::fill(std::begin(SchoolSpells), std::end(SchoolSpells), TSchoolSpells{});
    std::memset(SpellPresets, 0, sizeof SpellPresets);

    for (TItems& item : ItemTable)
        item = TItems{};
    ItemCount = 0;
    for (TNamesLang& names : ItemNames)
        names = TNamesLang{};
    ItemMaxCost = 0;
    TStringArray().swap(ItemIconFiles);
    TIntArray().swap(ItemIconSprites);
    ItemIconLast = 0;
    TStringArray().swap(CoatFiles);
    std::vector<TCoatIcon>().swap(CoatIcons);
    CoatLast = 0;
    std::vector<TAchievement>().swap(AchievementDefs);

    // A template is a plain record: all bytes 0 is its start value.
    for (TPersonage& type : UnitTypes.Items)
        std::memset(static_cast<void*>(&type), 0, sizeof type);
    UnitTypeCount = 0;
    for (TNamesLang& names : UnitTypeNames.Items)
        names = TNamesLang{};
    PersonageTypePartLength = PersonageTypePartSize;
}

void LogTableError(const std::string& line)
{
    TableLoadErrors.push_back(line);
    std::fprintf(stderr, "%s\n", line.c_str());
}

std::string ReadKey(TIniFile& ini, const std::string& key)
{
    return ini.ReadString(key, -1);
}

int32_t ReadInt(TIniFile& ini, const std::string& key, int32_t item)
{
    return ini.ReadInteger(key, item, 0);
}

bool ReadFlag(TIniFile& ini, const std::string& key)
{
    return ini.ReadBool(key, -1, false);
}

bool SameBaseName(const std::string& a, const std::string& b)
{
    return LowerCaseStr(ExtractBaseName(a)) == LowerCaseStr(ExtractBaseName(b));
}

void DropEarlierDuplicates(TStringArray& names)
{
    TStringArray kept;
    for (size_t i = 0; i < names.size(); ++i) {
        bool later = false;
        for (size_t j = i + 1; j < names.size() && !later; ++j)
            later = SameBaseName(names[i], names[j]);
        if (!later)
            kept.push_back(names[i]);
    }
    names.swap(kept);
}
