#include "model/tables/Global.h"

#include <cstdio>

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
    for (auto& group : BonusTable)
        for (TBonusTTX& entry : group)
            entry = TBonusTTX{};
    for (TSpell& spell : SpellTable)
        spell = TSpell{};
    for (TItems& item : ItemTable)
        item = TItems{};
    for (TNamesLang& names : ItemNames)
        names = TNamesLang{};
    for (int i = -UnitTypeMax; i <= UnitTypeMax; ++i)
        UnitTypeNames[i] = TNamesLang{};
    ItemIconFiles.clear();
    ItemIconSprites.clear();
    CoatFiles.clear();
    CoatIcons.clear();
    AchievementDefs.clear();
    TableLoadErrors.clear();
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
