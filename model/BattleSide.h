// TBattleSide: one side of a battle, a self-contained copy of an army or a
// garrison. It is written raw into battle snapshots, so the layout is a file
// format: packed, little-endian, 26,024 bytes, every reserved byte 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "model/Personage.h"
#include "model/RangeArray.h"

#pragma pack(push, 1)

struct TBattleStats {
    int32_t StartHits;
    int32_t HitsPool;
    int32_t HitsLost;
    int32_t MaxRoundLoss;
    int32_t ActionCount;
    int32_t TurnCount;
};

struct TBattleSide {
    int32_t Army;                                            // 0
    int32_t LivingCount;                                     // 4
    int32_t StartCount;                                      // 8
    int32_t PersonageCount;                                  // 12
    uint8_t Result;                                          // 16: 1 fighting, 0 won, 2 retreated, 3 lost, 4 routed
    uint8_t Reserved17[3];                                   // 17
    TRangeArray<int32_t, 1, 15> Living;                      // 20
    TRangeArray<int32_t, 1, 15> ArmySlot;                    // 80
    uint8_t Reserved140[4];                                  // 140
    TRangeArray<TPersonage, 1, 15> Personages;               // 144
    int32_t StartStrength;                                   // 25824
    int32_t EndStrength;                                     // 25828
    int32_t ExperienceGained;                                // 25832
    uint8_t PlayerControlled;                                // 25836
    uint8_t Reserved25837[3];                                // 25837
    TRangeArray<TRangeArray<int32_t, 1, 6>, 1, 3> Formation; // 25840: [row][column]
    uint8_t BattleKillTarget;                                // 25912
    uint8_t BattleCureTarget;                                // 25913
    uint8_t AIFlag;                                          // 25914
    uint8_t BattleAction;                                    // 25915
    uint8_t Reserved25916[8];                                // 25916
    int32_t AssaultB;                                        // 25924
    int32_t AssaultC;                                        // 25928
    int32_t AssaultA;                                        // 25932
    uint8_t HeroLevelLimit;                                  // 25936
    uint8_t UnitLevelLimit;                                  // 25937
    uint8_t Reserved25938[2];                                // 25938
    float HeroExpFactor;                                     // 25940
    float ExpFactor;                                         // 25944
    int32_t HeroExpBonus;                                    // 25948
    int32_t ExpBonus;                                        // 25952
    float ExpBase;                                           // 25956
    float ExpMultiplier;                                     // 25960
    uint8_t Reserved25964[8];                                // 25964
    TBattleStats Estimate;                                   // 25972
    TBattleStats Stats;                                      // 25996
    uint8_t Reserved26020[4];                                // 26020
};

#pragma pack(pop)

static_assert(sizeof(TBattleStats) == 24);
static_assert(sizeof(TBattleSide) == 26024);
static_assert(std::is_trivially_copyable_v<TBattleSide>);
static_assert(offsetof(TBattleSide, Army) == 0);
static_assert(offsetof(TBattleSide, Result) == 16);
static_assert(offsetof(TBattleSide, Living) == 20);
static_assert(offsetof(TBattleSide, ArmySlot) == 80);
static_assert(offsetof(TBattleSide, Personages) == 144);
static_assert(offsetof(TBattleSide, StartStrength) == 25824);
static_assert(offsetof(TBattleSide, PlayerControlled) == 25836);
static_assert(offsetof(TBattleSide, Formation) == 25840);
static_assert(offsetof(TBattleSide, BattleKillTarget) == 25912);
static_assert(offsetof(TBattleSide, BattleCureTarget) == 25913);
static_assert(offsetof(TBattleSide, AIFlag) == 25914);
static_assert(offsetof(TBattleSide, BattleAction) == 25915);
static_assert(offsetof(TBattleSide, AssaultB) == 25924);
static_assert(offsetof(TBattleSide, HeroLevelLimit) == 25936);
static_assert(offsetof(TBattleSide, HeroExpFactor) == 25940);
static_assert(offsetof(TBattleSide, ExpBase) == 25956);
static_assert(offsetof(TBattleSide, Estimate) == 25972);
static_assert(offsetof(TBattleSide, Stats) == 25996);
