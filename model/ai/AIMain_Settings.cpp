#include "model/ai/AIMain_Settings.h"

#include <cstdio>

#include "engine/QX9_System_Ini.h"
#include "engine/QX9_System_Script.h"
#include "model/tables/BuildingType.h"
#include "model/FixedPoint.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"
#include "model/Support.h"

const char* const ArmyBehaviorNames[ArmyBehaviorCount] = {
    "Hero",    "Feudal",  "Guard",   "Watch",   "Chruch",  "Monk",   "Trader",  "Traveler",
    "Courier", "Bandits", "Heretic", "Peasant", "Werwolf", "Ghosts", "Undeads",
};

TRangeArray<TAIProfile, 1, 5> AIProfiles;
int32_t WaitMinArmyDist = 0;
TRangeArray<int32_t, 1, 3> BattleTrophies{};
TRangeArray<int32_t, 1, 3> BattleTrophiesMultiplier{};
TIntArray SummonGhostIndex(8, 0);
int32_t MisticBattleShield = 0;

TRangeArray<TDifficultyRules, 1, 4> DifficultyRules;
TArmyBehaviorRules ArmyBehaviorRules[ArmyBehaviorCount];

int32_t MinHealingCost = 0, HealingCostPercent = 0, HeavyWoundsPercent = 0, UnitLevelPercent = 0;
int32_t PeasantHealing = 0, RecruitHealing = 0, NobleHealing = 0;
int32_t RecruitHiring = 0, RecruitMaintenance = 0, MercenaryHiring = 0, MercenaryMaintenance = 0;
int32_t LeaderHiring = 0, LeaderMaintenance = 0;
int32_t DetectionRange = 0, ArmyVisibility = 0;
int32_t CastleGoldReservePercent = 0, VillageGoldReservePercent = 0, OtherBuildingGoldReservePercent = 0;

bool UseUnitPersonalization = false;
int32_t SmallRandomCount = 0;
TRangeArray<int32_t, 1, 8> SmallRandomMaxDelta{};
int32_t FeaturesPercent = 0;
std::vector<TFeature> FeatureTable;
TRangeArray<TIntArray, 1, 3> FeatureLists;
TRangeArray<int32_t, 1, 3> FeatureCounts{};
TPersonalNames PersonalNames;

TPoketMoney PoketMoneyRules[PoketMoneyRuleCount];
TRecruitPool RecruitPools[RecruitPoolCount];

namespace {

constexpr int32_t MaxFeatureWeight = 10000;

// Reads the keys of one section. A section the file lacks reads as zeros
// (the script reader would otherwise answer from the section before it).
class TSectionReader {
public:
    TSectionReader(TScript& script, const std::string& section) : Script(script)
    {
        Present = Script.SelectSection(section);
    }
    int32_t Int(const std::string& key, int32_t item) const { return Present ? Script.ReadInteger(key, item, 0) : 0; }
    float Real(const std::string& key, int32_t item) const
    {
        return Present ? Script.ReadFloat(key, item, 0.0f) : 0.0f;
    }
    bool Bool(const std::string& key, int32_t item) const { return Present && Script.ReadBool(key, item); }
    std::string Text(const std::string& key, int32_t item) const
    {
        return Present ? Script.ReadString(key, item) : std::string();
    }
    bool Exists(const std::string& key) const { return Present && Script.KeyExists(key); }
    // A real value times a scale, rounded to the nearest (halves to even);
    // numbers beyond the 32-bit range stop at its ends.
    int64_t Scaled(const std::string& key, int32_t item, double scale) const
    {
        return ClampToInt32(RoundHalfEven(static_cast<long double>(Real(key, item)) * scale));
    }

private:
    TScript& Script;
    bool Present = false;
};

void ReadProfiles(TScript& script)
{
    const TSectionReader s(script, "MainAI");
    for (int c = 1; c <= 5; ++c) {
        TAIProfile& a = AIProfiles[c];
        auto x10 = [&](const char* key) { return static_cast<int32_t>(s.Scaled(key, c, 10.0)); };
        auto range = [](int32_t high, int32_t low) { return ClampToInt32(static_cast<int64_t>(high) - low); };
        a.AttackArmyNormal = x10("AtackArmyPriorityNormal");
        a.AttackArmySuicidal = x10("AtackArmyPrioritySuicidal");
        a.AttackBuildingNormal = x10("AtackBuildingPriorityNormal");
        a.AttackBuildingSuicidal = x10("AtackBuildingPrioritySuicidal");
        a.RandomTarget = ClampToInt32(1000 - static_cast<int64_t>(x10("RandomTargetPriority")));
        a.BypassPossession = x10("BypassPossession");
        a.MaxTalking = x10("MaxTalkingTarget");
        a.MinHealing = x10("MinHealingTarget");
        a.MaxHealing = x10("MaxHealingTarget");
        a.MinRecruit = x10("MinRecruitTarget");
        a.MaxRecruit = x10("MaxRecruitTarget");
        a.MinGarrison = x10("MinGarrisonTarget");
        a.MaxGarrison = x10("MaxGarrisonTarget");
        a.MinPurchase = x10("MinPurchaseTarget");
        a.MaxPurchase = x10("MaxPurchaseTarget");
        a.PurchaseRange = range(a.MaxPurchase, a.MinPurchase);
        a.GoldPurchase = s.Int("GoldPurchaseTarget", c);
        a.MinSelling = x10("MinSellingTarget");
        a.MaxSelling = x10("MaxSellingTarget");
        a.SellingRange = range(a.MaxSelling, a.MinSelling);
        a.GoldSelling = s.Int("GoldSellingTarget", c);
        a.MinVillage = s.Int("MinVillageTarget", c);
        a.MaxVillage = s.Int("MaxVillageTarget", c);
        a.GoldVillage = s.Int("GoldVillageTarget", c);
        a.TimeWaitInBuilding = s.Int("TimeWaitInBuilding", c);
        a.TimeWaitInField = s.Int("TimeWaitInField", c);
    }
    WaitMinArmyDist = s.Int("WaitMinArmyDist", 1);
    for (int i = 1; i <= 3; ++i) {
        BattleTrophies[i] = s.Int("BattleTrophies", i);
        BattleTrophiesMultiplier[i] = s.Int("BattleTrophiesMultiplier", i);
    }
    SummonGhostIndex.assign(8, 0);
    for (int i = 0; i <= 6; ++i)
        SummonGhostIndex[static_cast<size_t>(i)] = s.Int("SummonGhostIndex", i + 1);
    MisticBattleShield = s.Int("MisticBattleShield", 1);
}

void ReadDifficulty(TScript& script)
{
    const TSectionReader s(script, "Difficulty");
    for (int c = 1; c <= 4; ++c) {
        TDifficultyRules& d = DifficultyRules[c];
        d.HeroIncome = s.Int("HeroIncome", c);
        d.EnemyIncome = s.Int("EnemyIncome", c);
        d.HeroSupport = s.Int("HeroSupport", c);
        d.EnemySupport = s.Int("EnemySupport", c);
        d.EnemyExperienceGrowth = s.Int("EnemyExperienceGrowth", c);
        d.EnemyExperienceFromHero = s.Int("EnemyExperienceFromHero", c);
        d.HeroExperiencePercent = s.Int("HeroExperiencePercent", c);
        d.HeroExperienceAddition = s.Int("HeroExperienceAddition", c);
        d.SellIncorrectItem = s.Int("SellIncorrectItem", c);
        d.GoldCorrection = s.Int("GoldCorrection", c);
        d.TestStrikeMode = s.Bool("TestStrikeMode", c);
        d.BattleKillTarget = s.Bool("BattleKillTarget", c);
        d.BattleCureTarget = s.Bool("BattleCureTarget", c);
        d.BattleAction = s.Bool("BattleAction", c);
    }
}

void ReadBehaviors(TScript& script)
{
    const TSectionReader s(script, "ArmyBehavior");
    for (int b = 0; b < ArmyBehaviorCount; ++b) {
        const std::string key = ArmyBehaviorNames[b];
        TArmyBehaviorRules& r = ArmyBehaviorRules[b];
        r.Flag1 = s.Bool(key, 1);
        r.Flag2 = s.Bool(key, 2);
        r.ActiveFrom = static_cast<int32_t>(s.Scaled(key, 3, 60.0));
        r.ActiveTo = static_cast<int32_t>(s.Scaled(key, 4, 60.0));
        r.RestTime = static_cast<int32_t>(s.Scaled(key, 5, 60.0));
        r.RestBuildings = 0;
        for (int item = 6; item <= 12; ++item) {
            const int t = BuildingTypeByName(s.Text(key, item));
            if (t >= 0 && t < 31)
                r.RestBuildings |= static_cast<int32_t>(1u << t);
        }
    }
}

void ReadUnitRules(TScript& script)
{
    {
        const TSectionReader s(script, "UnitHeal");
        MinHealingCost = s.Int("MinHealingCost", 1);
        HealingCostPercent = s.Int("HealingCostPercent", 1);
        HeavyWoundsPercent = s.Int("HeavyWoundsPercent", 1);
        UnitLevelPercent = s.Int("UnitLevelPercent", 1);
        PeasantHealing = s.Int("PeasantHealing", 1);
        RecruitHealing = s.Int("RecruitHealing", 1);
        NobleHealing = s.Int("NobleHealing", 1);
    }
    {
        const TSectionReader s(script, "UnitCost");
        RecruitHiring = s.Int("RecruitHiring", 1);
        RecruitMaintenance = s.Int("RecruitMaintenance", 1);
        MercenaryHiring = s.Int("MercenaryHiring", 1);
        MercenaryMaintenance = s.Int("MercenaryMaintenance", 1);
        LeaderHiring = s.Int("LeaderHiring", 1);
        LeaderMaintenance = s.Int("LeaderMaintenance", 1);
    }
    {
        const TSectionReader s(script, "HeroBehavior");
        DetectionRange = s.Int("DetectionRange", 1);
        ArmyVisibility = s.Int("ArmyVisibility", 1);
    }
}

void ReadEconomic(TScript& script)
{
    const TSectionReader s(script, "Economic");
    CastleGoldReservePercent = s.Int("CastleGoldReservePercent", 1);
    VillageGoldReservePercent = s.Int("VillageGoldReservePercent", 1);
    OtherBuildingGoldReservePercent = s.Int("OtherBuildingGoldReservePercent", 1);
}

// The stat position of a feature's two-letter code, 0 for an unknown code.
int FeatureStatOfCode(const std::string& code)
{
    static const char* const codes[8] = {"HP", "IN", "AT", "SH", "MP", "DF", "DS", "WP"};
    for (int i = 0; i < 8; ++i)
        if (code == codes[i])
            return i + 1;
    return 0;
}

void ReadPersonalization(TScript& script)
{
    const TSectionReader s(script, "Personalization");
    UseUnitPersonalization = s.Bool("UseUnitPersonalization", 1);
    SmallRandomCount = s.Int("SmallRandomCount", 1);
    for (int i = 1; i <= 8; ++i)
        SmallRandomMaxDelta[i] = ClampToInt32(static_cast<int64_t>(s.Int("SmallRandomMaxDelta", i)) + 1);
    FeaturesPercent = s.Int("FeaturesPercent", 1);

    for (int n = 0; n <= 99; ++n) {
        char key[16];
        std::snprintf(key, sizeof key, "Features%02d", n);
        if (!s.Exists(key))
            break;
        TFeature f;
        f.Code = s.Text(key, 1).substr(0, 3);
        f.Weight = s.Int(key, 2);
        int list = 0; // the last of AT, SH, MP decides
        for (int item = 3;; item += 2) {
            const std::string code = s.Text(key, item);
            if (code.empty())
                break;
            const int stat = FeatureStatOfCode(code);
            if (stat == 0)
                continue;
            f.StatDelta[stat] = static_cast<int16_t>(s.Int(key, item + 1));
            if (stat == statAttackBlow)
                list = 1;
            else if (stat == statAttackShot)
                list = 2;
            else if (stat == statMagicPower)
                list = 3;
        }
        const int32_t number = static_cast<int32_t>(FeatureTable.size());
        // A weight is a count of list entries; an absurd one from a broken
        // file must not exhaust the memory.
        if (f.Weight > MaxFeatureWeight)
            f.Weight = MaxFeatureWeight;
        FeatureTable.push_back(f);
        for (int l = 1; l <= 3; ++l) {
            if (list != 0 && list != l)
                continue;
            for (int w = 0; w < f.Weight; ++w)
                FeatureLists[l].push_back(number);
            FeatureCounts[l] = static_cast<int32_t>(FeatureLists[l].size());
        }
    }
}

void ReadPoketMoney(TScript& script)
{
    const TSectionReader s(script, "PoketMoney");
    for (int n = 0; n < PoketMoneyRuleCount; ++n) {
        const std::string key = PersNatureNames[n];
        PoketMoneyRules[n].Factor = s.Scaled(key, 1, 10000.0);
        PoketMoneyRules[n].Min = s.Int(key, 2);
        PoketMoneyRules[n].Max = s.Int(key, 3);
    }
}

// Every item of a names key, decoded from UTF-8 to the game's 8-bit text.
// Empty items (a trailing comma) are no names.
void ReadNameList(TIniFile& ini, const std::string& section, const std::string& key, TStringArray& names)
{
    names.clear();
    if (!ini.SelectSection(section))
        return;
    const int32_t count = ini.ValueCount(key);
    for (int32_t i = 1; i <= count; ++i) {
        const std::string name = WideToGameAnsi(ini.ReadWideString(key, i));
        if (!name.empty())
            names.push_back(name);
    }
}

void ReadNamesFile()
{
    const std::string path = GetLanguageConfigPath("Duskmarch_Names.Ini", CurrentLanguage, true);
    if (path.empty()) {
        UseUnitPersonalization = false;
        return;
    }
    if (!UseUnitPersonalization)
        return;
    TIniFile ini;
    ini.Load(path);
    ReadNameList(ini, "NobleNames", "Man", PersonalNames.NobleMen);
    ReadNameList(ini, "NobleNames", "Woman", PersonalNames.NobleWomen);
    ReadNameList(ini, "PriestNames", "Man", PersonalNames.PriestMen);
    ReadNameList(ini, "PriestNames", "Woman", PersonalNames.PriestWomen);
    ReadNameList(ini, "MerchantNames", "Man", PersonalNames.MerchantMen);
    ReadNameList(ini, "MerchantNames", "Woman", PersonalNames.MerchantWomen);
    ReadNameList(ini, "PlebNames", "Man", PersonalNames.PlebMen);
    ReadNameList(ini, "PlebNames", "Woman", PersonalNames.PlebWomen);

    if (!ini.SelectSection("Features"))
        return;
    for (TFeature& f : FeatureTable) {
        f.NameCount = 0;
        if (f.Code.empty())
            continue;
        for (int k = 0; k < 3; ++k) {
            const std::string male = WideToGameAnsi(ini.ReadWideString(f.Code, 2 * k + 1));
            if (male.empty())
                break;
            f.MaleNames[k + 1] = male.substr(0, 50);
            f.FemaleNames[k + 1] = WideToGameAnsi(ini.ReadWideString(f.Code, 2 * k + 2)).substr(0, 50);
            f.NameCount = k + 1;
        }
    }
}

void BuildRecruitPools()
{
    for (TRecruitPool& pool : RecruitPools)
        pool = TRecruitPool{};
    for (int32_t t = 1; t <= UnitTypeCount && t <= UnitTypeMax; ++t) {
        const TPersonage& type = UnitTypes[t];
        if (type.Used == 0 || type.Nature != static_cast<uint8_t>(TPersNature::People))
            continue;
        const int32_t level = type.Level;
        const uint8_t kind = type.Kind;
        bool marked = false;
        if (kind == static_cast<uint8_t>(TPersNature::Recruit) && level >= 1 && level <= 2)
            AddToRecruitPool(t, 0, (2 - level) * 3 + 1, nullptr);
        if (kind == static_cast<uint8_t>(TPersNature::Recruit) && level >= 2 && level <= 3)
            AddToRecruitPool(t, 1, (3 - level) * 3 + 1, nullptr);
        if (kind == static_cast<uint8_t>(TPersNature::Rogue) && level >= 1 && level <= 3)
            AddToRecruitPool(t, 2, (3 - level) * 3 + 1, nullptr);
        if (kind != static_cast<uint8_t>(TPersNature::People) && level >= 4 && level <= 5) {
            const int pool = type.AttackMode == AttackModeFight   ? 3
                             : type.AttackMode == AttackModeShoot ? 4
                             : type.AttackMode == AttackModeSpell ? 5
                                                                  : -1;
            if (pool >= 0)
                AddToRecruitPool(t, pool, (5 - level) * 3 + 1, &marked);
        }
        if (kind == static_cast<uint8_t>(TPersNature::Leader) && level >= 4 && level <= 5)
            AddToRecruitPool(t, 6, (5 - level) * 3 + 1, &marked);
        if (marked)
            AddToRecruitPool(t, 7, (5 - level) * 3 + 1, nullptr);
        if (kind == static_cast<uint8_t>(TPersNature::Garrison))
            AddToRecruitPool(t, 8, 1, nullptr);
    }
}

} // namespace

void ClearAISettings()
{
    for (int c = 1; c <= 5; ++c)
        AIProfiles[c] = TAIProfile{};
    WaitMinArmyDist = 0;
    for (int i = 1; i <= 3; ++i)
        BattleTrophies[i] = BattleTrophiesMultiplier[i] = 0;
    SummonGhostIndex.assign(8, 0);
    MisticBattleShield = 0;
    for (int c = 1; c <= 4; ++c)
        DifficultyRules[c] = TDifficultyRules{};
    for (TArmyBehaviorRules& r : ArmyBehaviorRules)
        r = TArmyBehaviorRules{};
    MinHealingCost = HealingCostPercent = HeavyWoundsPercent = UnitLevelPercent = 0;
    PeasantHealing = RecruitHealing = NobleHealing = 0;
    RecruitHiring = RecruitMaintenance = MercenaryHiring = MercenaryMaintenance = 0;
    LeaderHiring = LeaderMaintenance = 0;
    DetectionRange = ArmyVisibility = 0;
    CastleGoldReservePercent = VillageGoldReservePercent = OtherBuildingGoldReservePercent = 0;
    UseUnitPersonalization = false;
    SmallRandomCount = 0;
    for (int i = 1; i <= 8; ++i)
        SmallRandomMaxDelta[i] = 0;
    FeaturesPercent = 0;
    FeatureTable.clear();
    for (int l = 1; l <= 3; ++l) {
        FeatureLists[l].clear();
        FeatureCounts[l] = 0;
    }
    PersonalNames = TPersonalNames{};
    for (TPoketMoney& m : PoketMoneyRules)
        m = TPoketMoney{};
    for (TRecruitPool& pool : RecruitPools)
        pool = TRecruitPool{};
}

void AddToRecruitPool(int32_t unitType, int32_t pool, int32_t weight, bool* marked)
{
    if (pool < 0 || pool >= RecruitPoolCount || !UnitTypes.InRange(unitType))
        return;
    TRecruitPool& p = RecruitPools[pool];
    p.Unique[0] += 1;
    p.Unique.push_back(unitType);
    const uint8_t mode = UnitTypes[unitType].AttackMode;
    if (mode == AttackModeFight)
        weight *= 4;
    else if (mode == AttackModeShoot)
        weight *= 2;
    for (int32_t i = 0; i < weight; ++i) {
        p.Weighted[0] += 1;
        p.Weighted.push_back(unitType);
    }
    if (marked != nullptr)
        *marked = true;
}

void AI_LoadSettings()
{
    ClearAISettings();
    const std::string path = GetConfigFilePath("Options_AI.ini");
    if (!path.empty()) {
        TScript script(path, true);
        ReadProfiles(script);
        ReadDifficulty(script);
        ReadBehaviors(script);
        ReadUnitRules(script);
        ReadPersonalization(script);
        ReadPoketMoney(script);
        ReadEconomic(script);
    }
    ReadNamesFile();

    TIntArray removed;
    for (int32_t t = 1; t <= UnitTypeCount && t <= UnitTypeMax; ++t)
        ReloadPersonage(UnitTypes[t], 0, -1, removed);
    BuildRecruitPools();
}
