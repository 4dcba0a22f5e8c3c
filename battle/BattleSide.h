// TBattleSide: one side of a battle, a self-contained copy of an army or a
// building's garrison with the personages that fight, their places in the
// formation, the computer-play settings, a garrison's assault values and the
// experience terms of the aftermath. The battle engine works on copies of
// two such records and hands them back with the results filled in. The
// record is written raw into battle snapshots, so its layout is a file
// format: packed, little-endian, 26,024 bytes, every offset fixed and every
// reserved byte 0.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "model/personage/Personage.h"
#include "model/RangeArray.h"
#include "model/world/World_Tables.h"

#pragma pack(push, 1)

// Running totals of one side in a battle.
struct TBattleStats {
    int32_t StartHits;    // 0: health of the listed personages when the battle starts
    int32_t HitsPool;     // 4: StartHits plus all healing received
    int32_t HitsLost;     // 8: all damage received, positive
    int32_t MaxRoundLoss; // 12: the largest damage received in one round
    int32_t ActionCount;  // 16
    int32_t TurnCount;    // 20
};

// Side results (Result).
constexpr uint8_t SideWon = 0;
constexpr uint8_t SideFighting = 1;
constexpr uint8_t SideRetreated = 2;
constexpr uint8_t SideLost = 3;
constexpr uint8_t SideRouted = 4;

// States of a battle personage that has left the field.
constexpr uint8_t StateLeft = 3;
constexpr uint8_t StateFallen = 5;
constexpr uint8_t StateKilled = 6;

// Battle personage numbers run 1..ArmySlotCount and index Personages; they
// are not army slot numbers (ArmySlot maps them back).
using TBattleNumbers = TRangeArray<int32_t, 1, ArmySlotCount>;
using TBattleCopies = TRangeArray<TPersonage, 1, ArmySlotCount>;
struct TBattleSide {
    int32_t Army;                              // 0: a garrison is ArmyCount + building
    int32_t LivingCount;                       // 4: entries of Living in use
    int32_t StartCount;                        // 8: LivingCount when the battle started
    int32_t PersonageCount;                    // 12: records in use; summoning adds, at most ArmySlotCount
    uint8_t Result;                            // 16: 1 fighting, 0 won, 2 retreated, 3 lost, 4 routed
    uint8_t Reserved17[3];                     // 17
    TBattleNumbers Living;                     // 20: battle numbers of the living, in turn-scan order
    TBattleNumbers ArmySlot;                   // 80: army slot each battle personage was copied from
    uint8_t Reserved140[4];                    // 140
    TBattleCopies Personages;                  // 144: the battle copies
    int32_t StartStrength;                     // 25824
    int32_t EndStrength;                       // 25828
    int32_t ExperienceGained;                  // 25832
    uint8_t PlayerControlled;                  // 25836
    uint8_t Reserved25837[3];                  // 25837
    int32_t Formation[3][6];                   // 25840: battle number per cell, row 1 first; 0 empty
    uint8_t BattleKillTarget;                  // 25912
    uint8_t BattleCureTarget;                  // 25913
    uint8_t AIFlag;                            // 25914
    uint8_t BattleAction;                      // 25915
    uint8_t Reserved25916[8];                  // 25916
    int32_t AssaultB;                          // 25924
    int32_t AssaultC;                          // 25928
    int32_t AssaultA;                          // 25932
    uint8_t HeroLevelLimit;                    // 25936
    uint8_t UnitLevelLimit;                    // 25937
    uint8_t Reserved25938[2];                  // 25938
    float HeroExpFactor;                       // 25940
    float ExpFactor;                           // 25944
    int32_t HeroExpBonus;                      // 25948
    int32_t ExpBonus;                          // 25952
    float ExpBase;                             // 25956
    float ExpMultiplier;                       // 25960
    uint8_t Reserved25964[8];                  // 25964
    TBattleStats Estimate;                     // 25972: at the end of the silent test run
    TBattleStats Stats;                        // 25996: of the battle itself
    uint8_t Reserved26020[4];                  // 26020
};

#pragma pack(pop)

static_assert(sizeof(TBattleStats) == 24);
static_assert(offsetof(TBattleStats, HitsPool) == 4);
static_assert(offsetof(TBattleStats, HitsLost) == 8);
static_assert(offsetof(TBattleStats, MaxRoundLoss) == 12);
static_assert(offsetof(TBattleStats, ActionCount) == 16);
static_assert(offsetof(TBattleStats, TurnCount) == 20);

static_assert(sizeof(TBattleSide) == 26024);

// The number of battle personages the side started with, held to the record.
inline int32_t StartedCount(const TBattleSide& side)
{
    return std::clamp(side.StartCount, 0, ArmySlotCount);
}

static_assert(std::is_trivially_copyable_v<TBattleSide>);
static_assert(offsetof(TBattleSide, Army) == 0);
static_assert(offsetof(TBattleSide, LivingCount) == 4);
static_assert(offsetof(TBattleSide, StartCount) == 8);
static_assert(offsetof(TBattleSide, PersonageCount) == 12);
static_assert(offsetof(TBattleSide, Result) == 16);
static_assert(offsetof(TBattleSide, Reserved17) == 17);
static_assert(offsetof(TBattleSide, Living) == 20);
static_assert(offsetof(TBattleSide, ArmySlot) == 80);
static_assert(offsetof(TBattleSide, Reserved140) == 140);
static_assert(offsetof(TBattleSide, Personages) == 144);
static_assert(offsetof(TBattleSide, StartStrength) == 25824);
static_assert(offsetof(TBattleSide, EndStrength) == 25828);
static_assert(offsetof(TBattleSide, ExperienceGained) == 25832);
static_assert(offsetof(TBattleSide, PlayerControlled) == 25836);
static_assert(offsetof(TBattleSide, Reserved25837) == 25837);
static_assert(offsetof(TBattleSide, Formation) == 25840);
static_assert(offsetof(TBattleSide, BattleKillTarget) == 25912);
static_assert(offsetof(TBattleSide, BattleCureTarget) == 25913);
static_assert(offsetof(TBattleSide, AIFlag) == 25914);
static_assert(offsetof(TBattleSide, BattleAction) == 25915);
static_assert(offsetof(TBattleSide, Reserved25916) == 25916);
static_assert(offsetof(TBattleSide, AssaultB) == 25924);
static_assert(offsetof(TBattleSide, AssaultC) == 25928);
static_assert(offsetof(TBattleSide, AssaultA) == 25932);
static_assert(offsetof(TBattleSide, HeroLevelLimit) == 25936);
static_assert(offsetof(TBattleSide, UnitLevelLimit) == 25937);
static_assert(offsetof(TBattleSide, Reserved25938) == 25938);
static_assert(offsetof(TBattleSide, HeroExpFactor) == 25940);
static_assert(offsetof(TBattleSide, ExpFactor) == 25944);
static_assert(offsetof(TBattleSide, HeroExpBonus) == 25948);
static_assert(offsetof(TBattleSide, ExpBonus) == 25952);
static_assert(offsetof(TBattleSide, ExpBase) == 25956);
static_assert(offsetof(TBattleSide, ExpMultiplier) == 25960);
static_assert(offsetof(TBattleSide, Reserved25964) == 25964);
static_assert(offsetof(TBattleSide, Estimate) == 25972);
static_assert(offsetof(TBattleSide, Stats) == 25996);
static_assert(offsetof(TBattleSide, Reserved26020) == 26020);

// The sides of the player's battle: built by the map screen, passed by the
// assault dialog to the battle set-up. Aligned so that the numbers of the
// packed record lie at their natural addresses.
alignas(16) extern TBattleSide AttackerSide;
alignas(16) extern TBattleSide DefenderSide;

// Fills `side` from army or garrison `army` (callers run ValidateFormation
// on the army first): flag 0 for the record that becomes battle side 1 (its
// formation rows negated), flag 1 for side 2. A taking-part personage whose
// kept cell is off the field or taken goes to the first free cell of its
// half in the order the formation places it; with none free it is left out
// of Living. An army number the world does not hold gives a zeroed record.
void BuildBattleSide(int32_t army, uint8_t sideFlag, TBattleSide& side);
