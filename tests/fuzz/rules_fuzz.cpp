// Any bytes as the rule settings, the personal-names file and the unit and
// item tables: the settings load, every unit type is reloaded in every mode,
// levelled, copied for battle and equipped, without touching memory outside
// the records and with the pools and lists in their bounds. The input is
// split at lines "%%" into Options_AI.ini, the names file, Units.Ini and
// Items.Ini (missing parts are empty files); the two tables come from memory.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "model/ai/AIMain_Settings.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"
#include "model/Support.h"
#include "model/world/World_Tables.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

std::string Units, Items;

// The unit and item tables, without language copies.
const std::string* TableText(const std::string& name, int language)
{
    if (language >= 0)
        return nullptr;
    return name == "Units.Ini" ? &Units : name == "Items.Ini" ? &Items : nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzGame game("rules-fuzz", "eng");
    TableTextSource = &TableText;
    std::string parts[4];
    FuzzSplitInput(data, size, parts, 4);
    FuzzWriteRealFile(game.Real + "Config/Options_AI.ini", parts[0]);
    FuzzWriteRealFile(game.Real + "Config/Eng/Duskmarch_Names.Eng", parts[1]);
    Units = parts[2];
    Items = parts[3];
    TableLoadErrors.clear();
    LoadItems();
    LoadUnitTypes();
    AI_LoadSettings();

    for (int pool = 0; pool < RecruitPoolCount; ++pool) {
        FuzzCheck(RecruitPools[pool].Unique[0] + 1 == static_cast<int32_t>(RecruitPools[pool].Unique.size()));
        FuzzCheck(RecruitPools[pool].Weighted[0] + 1 == static_cast<int32_t>(RecruitPools[pool].Weighted.size()));
    }
    for (int l = 1; l <= 3; ++l)
        for (int32_t f : FeatureLists[l])
            FuzzCheck(f >= 0 && static_cast<size_t>(f) < FeatureTable.size());

    PersonalizationEnabled = 1;
    PersonalizationLevel = 3;
    GameArmies.assign(1, TGameArmy{});
    ArmyUnits.resize(1);
    ArmyItems.assign(1, TIntArray{0});
    TIntArray removed;
    const int32_t types = UnitTypeCount < 12 ? UnitTypeCount : 12;
    for (int32_t t = 1; t <= types; ++t) {
        for (int32_t arg : {-1, 0, 3, 13, 16, 23, 40}) {
            RandomSeed = static_cast<uint32_t>(t * 131 + arg);
            TPersonage& p = ArmyUnits[0][1];
            std::memset(static_cast<void*>(&p), 0, sizeof p);
            p.UnitType = t;
            p.PersonalSeed = t;
            ReloadPersonage(p, 6, arg, removed);
            for (uint8_t mode : {0, 1, 2, 7})
                ReloadPersonage(p, mode, -1, removed);
            p.Experience = 100000;
            LevelUp(0, 1, -1, removed);
            LevelUp(0, 1, 0, removed);
            for (int32_t item = 1; item <= ItemCount && item <= 8; ++item)
                EquipItem(p, item, item % 16 - 1, removed, 1.0f);
            RestoreDefaultItem(p, 1, removed);
            RestoreDefaultItem(p, 13, removed);
            TPersonage copy;
            PrepareBattleCopy(p, copy);
            FuzzCheck(copy.AbilityCount >= 0 && copy.AbilityCount <= 6);
            FuzzCheck(copy.BeltPotionCount >= 0 && copy.BeltPotionCount <= 2);
        }
    }
    return 0;
}
