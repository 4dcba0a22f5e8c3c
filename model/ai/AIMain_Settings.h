// World-rule settings: the computer profiles, difficulty rules, army
// behaviours, unit prices and upkeep, personal names and features, pocket
// money and the recruit pools. AI_LoadSettings fills them once on the
// start-up loader thread after the game tables; afterwards they are
// read-only. All are zero until then, and stay zero without "Options_AI.ini".
#pragma once

#include <cstdint>
#include <string>

#include "engine/QX9_System.h"
#include "model/RangeArray.h"

// One column of section "MainAI": the goal weights of a computer army.
// "x10" values hold the file value times 10.
struct TAIProfile {
    int32_t AttackArmyNormal = 0;       // x10
    int32_t AttackArmySuicidal = 0;     // x10
    int32_t AttackBuildingNormal = 0;   // x10
    int32_t AttackBuildingSuicidal = 0; // x10
    int32_t RandomTarget = 0;           // 1000 - value x 10
    int32_t BypassPossession = 0;       // x10
    int32_t MaxTalking = 0;             // x10
    int32_t MinHealing = 0;             // x10
    int32_t MaxHealing = 0;             // x10
    int32_t MinRecruit = 0;             // x10
    int32_t MaxRecruit = 0;             // x10
    int32_t MinGarrison = 0;            // x10
    int32_t MaxGarrison = 0;            // x10
    int32_t MinPurchase = 0;            // x10
    int32_t MaxPurchase = 0;            // x10
    int32_t PurchaseRange = 0;          // MaxPurchase - MinPurchase
    int32_t GoldPurchase = 0;
    int32_t MinSelling = 0;   // x10
    int32_t MaxSelling = 0;   // x10
    int32_t SellingRange = 0; // MaxSelling - MinSelling
    int32_t GoldSelling = 0;
    int32_t MinVillage = 0;
    int32_t MaxVillage = 0;
    int32_t GoldVillage = 0;
    int32_t TimeWaitInBuilding = 0;
    int32_t TimeWaitInField = 0;
};

// One column of section "Difficulty" (game difficulty 1..4).
struct TDifficultyRules {
    int32_t HeroIncome = 0;
    int32_t EnemyIncome = 0;
    int32_t HeroSupport = 0;
    int32_t EnemySupport = 0;
    int32_t EnemyExperienceGrowth = 0;
    int32_t EnemyExperienceFromHero = 0;
    int32_t HeroExperiencePercent = 0;
    int32_t HeroExperienceAddition = 0;
    int32_t SellIncorrectItem = 0;
    int32_t GoldCorrection = 0;
    bool TestStrikeMode = false;
    bool BattleKillTarget = false;
    bool BattleCureTarget = false;
    bool BattleAction = false;
};

// TArmyBehavior: what a computer army does on the map.
enum class TArmyBehavior : uint8_t {
    Hero = 0,
    Feudal = 1,
    Guard = 2,
    Watch = 3,
    Chruch = 4,
    Monk = 5,
    Trader = 6,
    Traveler = 7,
    Courier = 8,
    Bandits = 9,
    Heretic = 10,
    Peasant = 11,
    Werwolf = 12,
    Ghosts = 13,
    Undeads = 14,
};
constexpr int ArmyBehaviorCount = 15;
extern const char* const ArmyBehaviorNames[ArmyBehaviorCount];

// The rules of one army behaviour (section "ArmyBehavior").
struct TArmyBehaviorRules {
    int32_t ActiveFrom = 0;    // minute of the day
    int32_t ActiveTo = 0;      // minute of the day
    int32_t RestTime = 0;      // minutes
    int32_t RestBuildings = 0; // bit t: TBuildingType t
    bool Flag1 = false;        // trades where the building's trade is open
    bool Flag2 = false;        // trades where it is closed
};

// A personal feature: a name added to the personal name and stat deltas.
struct TFeature {
    std::string Code; // at most 3 characters
    TRangeArray<std::string, 1, 3> MaleNames;
    TRangeArray<std::string, 1, 3> FemaleNames;
    int32_t Weight = 0;
    int32_t NameCount = 0; // 0..3
    TRangeArray<int16_t, 1, 8> StatDelta{};
};

struct TPoketMoney {
    int64_t Factor = 0; // x 10000
    int32_t Min = 0;
    int32_t Max = 0;
};

struct TPersonalNames {
    TStringArray NobleMen, NobleWomen;
    TStringArray PriestMen, PriestWomen;
    TStringArray MerchantMen, MerchantWomen;
    TStringArray PlebMen, PlebWomen;
};

// A recruit pool: element 0 of each list holds its count, 1..count the types.
struct TRecruitPool {
    TIntArray Unique{0};   // each unit type once
    TIntArray Weighted{0}; // each unit type repeated by its weight
};
constexpr int RecruitPoolCount = 9;

// ---- section "MainAI"
extern TRangeArray<TAIProfile, 1, 5> AIProfiles;
extern int32_t WaitMinArmyDist;
extern TRangeArray<int32_t, 1, 3> BattleTrophies;
extern TRangeArray<int32_t, 1, 3> BattleTrophiesMultiplier;
extern TIntArray SummonGhostIndex; // 8 entries, 0..6 from the file
extern int32_t MisticBattleShield;

// ---- section "Difficulty"
extern TRangeArray<TDifficultyRules, 1, 4> DifficultyRules;

// ---- section "ArmyBehavior", by TArmyBehavior
extern TArmyBehaviorRules ArmyBehaviorRules[ArmyBehaviorCount];

// ---- sections "UnitHeal", "UnitCost", "HeroBehavior", "Economic"
extern int32_t MinHealingCost, HealingCostPercent, HeavyWoundsPercent, UnitLevelPercent;
extern int32_t PeasantHealing, RecruitHealing, NobleHealing;
extern int32_t RecruitHiring, RecruitMaintenance, MercenaryHiring, MercenaryMaintenance;
extern int32_t LeaderHiring, LeaderMaintenance;
extern int32_t DetectionRange, ArmyVisibility;
extern int32_t CastleGoldReservePercent, VillageGoldReservePercent, OtherBuildingGoldReservePercent;

// ---- section "Personalization" and the names file
extern bool UseUnitPersonalization;
extern int32_t SmallRandomCount;
extern TRangeArray<int32_t, 1, 8> SmallRandomMaxDelta; // file value + 1
extern int32_t FeaturesPercent;
extern std::vector<TFeature> FeatureTable;        // "Features00" is entry 0
extern TRangeArray<TIntArray, 1, 3> FeatureLists; // fighters, shooters, casters: feature numbers
extern TRangeArray<int32_t, 1, 3> FeatureCounts;
extern TPersonalNames PersonalNames;

// ---- section "PoketMoney", by TPersNature
constexpr int PoketMoneyRuleCount = 23;
extern TPoketMoney PoketMoneyRules[PoketMoneyRuleCount];

// ---- recruit pools 0..8
extern TRecruitPool RecruitPools[RecruitPoolCount];

// Reads "Options_AI.ini" and the personal-names file, reloads every unit-type
// template and builds the recruit pools.
void AI_LoadSettings();
// Empties every table of the settings: each global back to its start value,
// the state before AI_LoadSettings.
void ClearAISettings();
// Enters a unit type into a pool with its weight (times 4 for fighters,
// times 2 for shooters); marked, when given, is set.
void AddToRecruitPool(int32_t unitType, int32_t pool, int32_t weight, bool* marked);
