// World_Tables: the strategic world's global tables. Army 0 is the player's
// army, armies 1..ArmyCount come from the scenario and the garrison of
// building b is army ArmyCount + b; GameArmies, ArmyUnits and ArmyItems hold
// ArmyCount + BuildingCount + 1 entries. Only the world set-up resizes them.
// This file holds the part of the world the personage rules work on: the
// army record, the personage blocks, the carried items and the game seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "engine/QX9_System.h"
#include "model/Personage.h"
#include "model/RangeArray.h"

#pragma pack(push, 1)

// A movement zone of an army.
struct TArmyZone {
    int32_t Cell;   // x low 16 bits, z high 16 bits
    uint8_t Kind;   // 0 a circle; 2 a corridor from the previous zone's circle to this one
    uint8_t Radius; // in cells
};
static_assert(sizeof(TArmyZone) == 6);

struct TCellXZ {
    uint16_t X;
    uint16_t Z;
};
static_assert(sizeof(TCellXZ) == 4);

// An army or a garrison, stored raw in saved games; 320 bytes, bytes not
// named are reserved and 0.
struct TGameArmy {
    int32_t LeaderType;                      // 0: UnitType of slot 1
    float Pos[3];                            // 4
    TCellXZ Cell;                            // 16
    uint8_t Reserved20[4];                   // 20
    int64_t Heading;                         // 24: radians x 10000
    int64_t ShownHeading;                    // 32
    int64_t WalkSpeed;                       // 40
    uint8_t PersonageCount;                  // 48
    uint8_t LivingCount;                     // 49
    uint8_t AbleCount;                       // 50
    uint8_t Reserved51;                      // 51
    int32_t Formation[3][6];                 // 52
    uint8_t Behavior;                        // 124: TArmyBehavior
    uint8_t Group;                           // 125
    uint8_t Profile;                         // 126: row of AIProfiles
    uint8_t ZoneCount;                       // 127
    TRangeArray<TArmyZone, 1, 4> Zones;      // 128
    uint8_t RouteFlags[3];                   // 152
    TRangeArray<TCellXZ, 1, 4> PatrolPoints; // 155
    uint8_t SeeksTalk;                       // 171
    uint8_t ScenarioByte172;                 // 172
    uint8_t Reserved173[3];                  // 173
    int32_t Gold;                            // 176
    int32_t ActiveAfterMinute;               // 180
    uint8_t ReplanCountdown;                 // 184
    uint8_t PlanMark;                        // 185
    uint8_t Active;                          // 186
    uint8_t Defeated;                        // 187
    uint8_t Stationary;                      // 188
    uint8_t Reserved189[3];                  // 189
    int32_t LastFoe;                         // 192
    int32_t Building;                        // 196
    int32_t ItemCount;                       // 200: entries of the army's ArmyItems list
    uint8_t Hidden;                          // 204
    uint8_t OrderKind;                       // 205
    uint8_t Reserved206[2];                  // 206
    int32_t OrderTarget;                     // 208
    uint8_t EnteredBuilding;                 // 212
    uint8_t EncounterMark;                   // 213
    int8_t Boldness;                         // 214
    uint8_t EnteredThisFrame;                // 215
    uint8_t ScenarioByte216;                 // 216
    uint8_t LordKind;                        // 217
    int16_t LordArmy;                        // 218
    uint8_t ScenarioByte220;                 // 220
    uint8_t ScenarioByte221;                 // 221
    int16_t AnchorBuilding;                  // 222
    uint8_t SpeedPercent;                    // 224
    uint8_t SeeksBattles;                    // 225
    uint8_t ScenarioByte226;                 // 226
    uint8_t BypassFlag;                      // 227
    uint8_t TalkAlways;                      // 228
    uint8_t WaitAtRouteEnd;                  // 229
    uint8_t RespawnEnabled;                  // 230
    uint8_t RespawnDays;                     // 231
    uint8_t RespawnFull;                     // 232
    uint8_t RespawnAtOwn;                    // 233
    uint8_t RespawnAtGroup;                  // 234
    uint8_t RespawnAtFriend;                 // 235
    uint8_t CanRespawn;                      // 236
    uint8_t Reserved237[3];                  // 237
    int64_t DefeatClock;                     // 240
    int32_t Strength;                        // 248
    int32_t DailyBalance;                    // 252
    int32_t StrongholdCount;                 // 256
    uint8_t FarmCount;                       // 260
    uint8_t OrderAllowsTargets;              // 261
    uint8_t Reserved262[2];                  // 262
    int32_t SupportLimit;                    // 264
    int32_t RecruitCount;                    // 268
    int32_t MercenaryCount;                  // 272
    int32_t OtherHireCount;                  // 276
    int32_t Banner;                          // 280
    uint8_t WoundPercent;                    // 284
    uint8_t RouteDone;                       // 285
    uint8_t Reserved286[2];                  // 286
    int64_t WaitUntil;                       // 288
    int32_t Disposition;                     // 296
    int32_t IncomeBase;                      // 300
    int32_t Upkeep;                          // 304
    uint8_t Reserved308;                     // 308
    uint8_t WaitKind;                        // 309
    uint8_t Reserved310[2];                  // 310
    int32_t SaveMark;                        // 312
    float SpeedFactor;                       // 316
};

#pragma pack(pop)

static_assert(sizeof(TGameArmy) == 320);
static_assert(std::is_trivially_copyable_v<TGameArmy>);
static_assert(offsetof(TGameArmy, Cell) == 16);
static_assert(offsetof(TGameArmy, Heading) == 24);
static_assert(offsetof(TGameArmy, WalkSpeed) == 40);
static_assert(offsetof(TGameArmy, PersonageCount) == 48);
static_assert(offsetof(TGameArmy, Formation) == 52);
static_assert(offsetof(TGameArmy, Behavior) == 124);
static_assert(offsetof(TGameArmy, Zones) == 128);
static_assert(offsetof(TGameArmy, RouteFlags) == 152);
static_assert(offsetof(TGameArmy, PatrolPoints) == 155);
static_assert(offsetof(TGameArmy, SeeksTalk) == 171);
static_assert(offsetof(TGameArmy, Gold) == 176);
static_assert(offsetof(TGameArmy, ReplanCountdown) == 184);
static_assert(offsetof(TGameArmy, Stationary) == 188);
static_assert(offsetof(TGameArmy, LastFoe) == 192);
static_assert(offsetof(TGameArmy, ItemCount) == 200);
static_assert(offsetof(TGameArmy, Hidden) == 204);
static_assert(offsetof(TGameArmy, OrderTarget) == 208);
static_assert(offsetof(TGameArmy, Boldness) == 214);
static_assert(offsetof(TGameArmy, LordArmy) == 218);
static_assert(offsetof(TGameArmy, AnchorBuilding) == 222);
static_assert(offsetof(TGameArmy, SpeedPercent) == 224);
static_assert(offsetof(TGameArmy, CanRespawn) == 236);
static_assert(offsetof(TGameArmy, DefeatClock) == 240);
static_assert(offsetof(TGameArmy, Strength) == 248);
static_assert(offsetof(TGameArmy, FarmCount) == 260);
static_assert(offsetof(TGameArmy, SupportLimit) == 264);
static_assert(offsetof(TGameArmy, Banner) == 280);
static_assert(offsetof(TGameArmy, WoundPercent) == 284);
static_assert(offsetof(TGameArmy, WaitUntil) == 288);
static_assert(offsetof(TGameArmy, Disposition) == 296);
static_assert(offsetof(TGameArmy, Upkeep) == 304);
static_assert(offsetof(TGameArmy, WaitKind) == 309);
static_assert(offsetof(TGameArmy, SaveMark) == 312);
static_assert(offsetof(TGameArmy, SpeedFactor) == 316);

// The 15 personage slots of an army or garrison; slot 1 is the leader.
using TArmyUnits = TRangeArray<TPersonage, 1, 15>;

constexpr int32_t PlayerArmy = 0; // the player's army, never changed
extern int32_t ArmyCount;         // highest map army number
extern int32_t BuildingCount;     // buildings (and garrisons)
extern int32_t GarrisonCount;

extern std::vector<TGameArmy> GameArmies; // armies, then garrisons
extern std::vector<TArmyUnits> ArmyUnits; // the personages of each army and garrison
extern std::vector<TIntArray> ArmyItems;  // carried items of each army, 1-based, count in its ItemCount

extern int32_t GameSeed; // seed of the reproducible random draws
// The scenario's personal variations: switched on for the game (kept in the
// saved game) and the level of the scenario header (2: small stat variations,
// 3: feature deltas as well).
extern uint8_t PersonalizationEnabled;
extern int32_t PersonalizationLevel;

// The army number of building b's garrison (b may be given negated).
int32_t GetGarrisonArmyIndex(int32_t building);
// Whether a is an army or garrison the tables hold.
bool IsWorldArmy(int32_t army);
// Appends an item to an army's carried items (its ItemCount grows by one).
void AddArmyItem(int32_t army, int32_t item);
