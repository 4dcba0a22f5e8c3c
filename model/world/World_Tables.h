// World_Tables: the strategic world's global tables. Army 0 is the player's
// army, armies 1..ArmyCount come from the scenario and the garrison of
// building b is army ArmyCount + b; GameArmies, ArmyUnits and ArmyItems hold
// ArmyCount + BuildingCount + 1 entries, the per-army movement tables
// ArmyCount + 1. Only the world set-up resizes them, and every resize keeps
// the existing entries and zero-fills the new ones (std::vector::resize
// value-initialises these plain records), so no record ever holds
// uninitialised bytes: raw-byte digests and save round trips stay stable.
// The stored records are packed little-endian layouts; their reserved bytes
// are 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "engine/QX9_PathFinder.h"
#include "engine/QX9_System.h"
#include "model/personage/Personage.h"
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

// The relation cell of an army towards another army, [army][other army];
// stored raw in saved games, row by row.
struct TGameArmyMove {
    int16_t Attitude;      // 0: at set-up the diplomacy of the army's group towards the other's
    uint8_t Reserved2[6];  // 2
    int64_t LastMeeting;   // 8: clock of the last meeting, 0 never
    int16_t Score;         // 16: last value of the army target choice
    uint8_t IsTarget;      // 18: the score is above 0
    uint8_t Stale;         // 19: the score must be recomputed
    uint8_t Pursuit;       // 20: pursuit after a recent meeting is on
    uint8_t Reserved21[3]; // 21
};

// The cell of an army towards a building, [army][building]; stored raw.
struct TGameArmyTarget {
    uint8_t Reserved0[8];  // 0
    int64_t LastVisit;     // 8: clock of the army's last step into the building
    int16_t Score;         // 16: last value of the building target choice
    uint8_t Stale;         // 18
    uint8_t Reserved19[5]; // 19
};

// A hire slot of a building.
struct THireSlot {
    int16_t UnitType;       // 0: the drawn unit type, 0 none
    int16_t Stock;          // 2: units on offer (a garrison slot: the garrison's personages of the type)
    int16_t LastRestockDay; // 4: day number of the last growth
    int16_t BonusDays;      // 6: days taken off the growth period
    int16_t BonusDaysLeft;  // 8: days the bonus still lasts
    uint8_t Reserved10[2];  // 10
};

// The state of a building 1..BuildingCount, stored raw in saved games.
struct TGameBuilding {
    uint8_t Closed;                         // 0: cannot be entered
    uint8_t Reserved1[3];                   // 1
    int32_t OwnerArmy;                      // 4: -1 none
    int32_t OwnerGroup;                     // 8: -1 none
    TRangeArray<int32_t, 1, 40> ShopItems;  // 12: -n a fixed scenario item n that stays, 0 empty
    TRangeArray<THireSlot, 1, 9> HireSlots; // 172
    uint8_t HireOpen;                       // 280
    uint8_t ShopOpen;                       // 281
    uint8_t Occupied;                       // 282: no income, skipped by the support count
    uint8_t Reserved283[13];                // 283
    int32_t Banner;                         // 296
    int16_t AssaultA;                       // 300
    int16_t AssaultB;                       // 302
    uint8_t AssaultC;                       // 304
    uint8_t Undiscovered;                   // 305: not yet seen by the player
    uint8_t Reserved306[6];                 // 306
    int64_t TaxClock;                       // 312: income counts again from this clock
    int64_t CaptureClock;                   // 320: clock of the last capture
    uint8_t HealingOpen;                    // 328
    uint8_t ServiceSwitch4;                 // 329: stored only
    uint8_t Reserved330[2];                 // 330
    int32_t SaveMark;                       // 332: written by the save writer
    int16_t Treasury;                       // 336
    int16_t StoreA;                         // 338
    int16_t StoreB;                         // 340
    int16_t CapturedFrom;                   // 342: stronghold whose pressure last took the building
};

// The progress of a story event; stored raw in saved games.
struct TGameEvent {
    int32_t TimesFired;     // 0
    int32_t Stage;          // 4: -1 before the first firing
    int64_t ScheduledClock; // 8
    int64_t LastClock;      // 16: -10000 before the first firing
    int32_t Reserved24;     // 24
    int32_t EventUid;       // 28: uid of the scenario event
};

// The assault in progress, read by the battle set-up and the battle engine.
struct TAssaultParams {
    int32_t Attacker;      // 0: NoAssault when there is none
    int32_t LastAttacker;  // 4: kept by the battle aftermath
    uint16_t DefenceFire;  // 8: the building's AssaultA plus its defenders' shooting strength
    uint16_t AssaultB;     // 10
    uint8_t AssaultC;      // 12
    uint8_t Reserved13[3]; // 13
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

static_assert(sizeof(TGameArmyMove) == 24);
static_assert(offsetof(TGameArmyMove, LastMeeting) == 8);
static_assert(offsetof(TGameArmyMove, Score) == 16);
static_assert(offsetof(TGameArmyMove, IsTarget) == 18);
static_assert(offsetof(TGameArmyMove, Stale) == 19);
static_assert(offsetof(TGameArmyMove, Pursuit) == 20);

static_assert(sizeof(TGameArmyTarget) == 24);
static_assert(offsetof(TGameArmyTarget, LastVisit) == 8);
static_assert(offsetof(TGameArmyTarget, Score) == 16);
static_assert(offsetof(TGameArmyTarget, Stale) == 18);

static_assert(sizeof(THireSlot) == 12);
static_assert(offsetof(THireSlot, Stock) == 2);
static_assert(offsetof(THireSlot, LastRestockDay) == 4);
static_assert(offsetof(THireSlot, BonusDays) == 6);
static_assert(offsetof(THireSlot, BonusDaysLeft) == 8);

static_assert(sizeof(TGameBuilding) == 344);
static_assert(offsetof(TGameBuilding, OwnerArmy) == 4);
static_assert(offsetof(TGameBuilding, OwnerGroup) == 8);
static_assert(offsetof(TGameBuilding, ShopItems) == 12);
static_assert(offsetof(TGameBuilding, HireSlots) == 172);
static_assert(offsetof(TGameBuilding, HireOpen) == 280);
static_assert(offsetof(TGameBuilding, ShopOpen) == 281);
static_assert(offsetof(TGameBuilding, Occupied) == 282);
static_assert(offsetof(TGameBuilding, Banner) == 296);
static_assert(offsetof(TGameBuilding, AssaultA) == 300);
static_assert(offsetof(TGameBuilding, AssaultB) == 302);
static_assert(offsetof(TGameBuilding, AssaultC) == 304);
static_assert(offsetof(TGameBuilding, Undiscovered) == 305);
static_assert(offsetof(TGameBuilding, TaxClock) == 312);
static_assert(offsetof(TGameBuilding, CaptureClock) == 320);
static_assert(offsetof(TGameBuilding, HealingOpen) == 328);
static_assert(offsetof(TGameBuilding, ServiceSwitch4) == 329);
static_assert(offsetof(TGameBuilding, SaveMark) == 332);
static_assert(offsetof(TGameBuilding, Treasury) == 336);
static_assert(offsetof(TGameBuilding, StoreA) == 338);
static_assert(offsetof(TGameBuilding, StoreB) == 340);
static_assert(offsetof(TGameBuilding, CapturedFrom) == 342);

static_assert(sizeof(TGameEvent) == 32);
static_assert(offsetof(TGameEvent, Stage) == 4);
static_assert(offsetof(TGameEvent, ScheduledClock) == 8);
static_assert(offsetof(TGameEvent, LastClock) == 16);
static_assert(offsetof(TGameEvent, EventUid) == 28);

static_assert(sizeof(TAssaultParams) == 16);
static_assert(offsetof(TAssaultParams, LastAttacker) == 4);
static_assert(offsetof(TAssaultParams, DefenceFire) == 8);
static_assert(offsetof(TAssaultParams, AssaultB) == 10);
static_assert(offsetof(TAssaultParams, AssaultC) == 12);

static_assert(std::is_trivially_copyable_v<TGameArmyMove> && std::is_trivially_copyable_v<TGameArmyTarget> &&
              std::is_trivially_copyable_v<TGameBuilding> && std::is_trivially_copyable_v<TGameEvent> &&
              std::is_trivially_copyable_v<TAssaultParams>);

// How a personage joined its army (its HireKind), and what a hire slot
// offers. The hero joins as a recruit of its own kind, so that a campaign
// can find it again; kinds 3 and 4 are followers, whom the screens mark
// apart.
enum THireKind : int16_t {
    hireRecruit = 0,
    hireMercenary = 1,
    hireLeader = 2,
    hireFollower = 3,
    hireSecondFollower = 4,
    hireHero = 5,
};

// The three groups an army counts apart (RecruitCount, MercenaryCount,
// OtherHireCount): recruits and the hero take up the army's support,
// mercenaries and leaders are paid for every day.
constexpr bool IsRecruitHire(int32_t hireKind)
{
    return hireKind == hireRecruit || hireKind == hireHero;
}
constexpr bool IsMercenaryHire(int32_t hireKind)
{
    return hireKind == hireMercenary || hireKind == hireLeader;
}
constexpr bool IsFollowerHire(int32_t hireKind)
{
    return hireKind == hireFollower || hireKind == hireSecondFollower;
}

// The personage slots of an army or garrison, 1..ArmySlotCount; slot 1 is
// the leader. A battle side numbers its personages the same way.
constexpr int32_t ArmySlotCount = 15;
using TArmyUnits = TRangeArray<TPersonage, 1, ArmySlotCount>;

// In-memory entries of the queues for the map screen (never stored).
struct TMapNotice {
    uint8_t Kind = 0; // 1 and 2 captures, 3 a battle won by a garrison of the player's
    int32_t A = 0;
    int32_t B = 0;
    int32_t C = 0;
};
struct TMapEffect {
    uint8_t Kind = 0;
    uint8_t Sub = 0;
    int32_t Value = 0;
};

// The two state bytes of a map point: [0] barrier closed, [1] barrier objects
// hidden. Stored raw, two bytes a point.
using TPointState = std::array<uint8_t, 2>;
static_assert(sizeof(TPointState) == 2);

constexpr int32_t NoAssault = -12345;                                           // Attacker of "no assault"
constexpr TAssaultParams NoAssaultParams = {NoAssault, NoAssault, 0, 0, 0, {}}; // the state "no assault"
constexpr int HomeBuildingListCount = 15;                                       // one list per TArmyBehavior

// ---------------------------------------------------------------------------
// Numbering and the army tables

constexpr int32_t PlayerArmy = 0; // the player's army, never changed
extern int32_t FirstArmy;         // first army number the army loops visit: 0
extern int32_t ArmyCount;         // highest map army number
extern int32_t BuildingCount;     // buildings (and garrisons)
extern int32_t GarrisonCount;     // garrisons, equal to BuildingCount

extern std::vector<TGameArmy> GameArmies;                 // armies, then garrisons
extern std::vector<TArmyUnits> ArmyUnits;                 // the personages of each army and garrison
extern std::vector<TIntArray> ArmyItems;                  // carried items of each army, 1-based, count in its ItemCount
extern std::vector<TPF_Tracker> ArmyTrackers;             // one path tracker per army 0..ArmyCount
extern std::vector<std::vector<TGameArmyMove>> ArmyMoves; // [army][other army], ArmyCount + 1 square
extern std::vector<std::vector<TGameArmyTarget>> ArmyTargets; // [army][building], ArmyCount + 1 by BuildingCount + 1
extern std::vector<TIntArray> Diplomacy; // [group][group]: attitude of row g towards h, groups 0..GroupCount

// ---------------------------------------------------------------------------
// Buildings, story events, map points, variables

extern std::vector<TGameBuilding> GameBuildings; // building states 1..BuildingCount
extern std::vector<TGameEvent> GameEvents;       // progress of story events 1..StoryEventCount
extern std::vector<TIntArray> FollowUpEvents;    // per event e the events with a kind-11 requirement naming e
extern std::vector<TGameEvent> SavedEvents;      // event records of the save being loaded, matched by uid
extern int32_t SavedEventCount;                  // entries of SavedEvents in use
extern int32_t LoadedSaveVersion;                // header version of the save being loaded
extern int32_t ChosenCoat;                       // coat chosen on the hero screen, 0: the scenario's
extern uint8_t CampaignContinued;                // the hero comes from the previous scenario of a campaign
extern std::vector<TPointState> PointStates;     // per map point 0..PointCount its two state bytes
extern int32_t PointCount;                       // map points with a state (the scenario's point count)
extern TIntArray ScenarioVariables;              // scenario variables 1..ScenarioVariableCount

// ---------------------------------------------------------------------------
// Clock and game

extern int64_t GameClock;                // game minutes x 10000 since midnight of the start day
extern int32_t GameStartDate;            // start date in minutes: day x 1440 + minute of the day
extern int32_t GameSeed;                 // seed of the reproducible random draws
extern int32_t GameMinute;               // whole minutes of the clock
extern int32_t GameHour;                 // hour of the day 0..23
extern uint8_t DayPeriod;                // time-of-day class 0..7
extern int64_t NextDayMark;              // clock of the next daily work (09:00)
extern int64_t NextHourMark;             // clock of the next full hour
extern int64_t LastClockStep;            // last clock step taken
extern int64_t LastPlayerStepClock;      // clock of the player's army's last cell step; not saved
constexpr int64_t MinuteFx = 10000;      // one game minute on the clock
constexpr int64_t GameTimeScale = 30000; // 3.0 x 10000: walking speed factor and real-to-game time divisor
extern int32_t HeroKind;                 // unit type of the hero (1 knight, 2 mystic, 6 baroness)
extern int32_t GameDifficulty;           // 1..4, default 2
extern int32_t MetPlayerArmy;            // the army that met the player's army in this frame
// The event a story result forces: while Flag is set the next search for a
// due event takes Event without testing it.
struct TForcedEvent {
    uint8_t Flag = 0;
    int32_t Event = 0;
};
extern TForcedEvent ForcedEvent;
extern int32_t DayBattleCount;        // battles of the day, 0 at set-up and at each day mark
extern int32_t PlayerTargetArmy;      // the army the player's army is ordered to follow, 0 none
extern TCellXZ PlayerTargetCell;      // the cell the player ordered the hero's army to
extern int32_t PlayableLimit;         // MapSizeMinus1 - 128: the highest usable cell coordinate
extern int32_t HourlyGoldSamples[24]; // player's gold at each full hour, index (hour - 9) mod 24

// ---------------------------------------------------------------------------
// Derived lists and queues

// Per behaviour the buildings armies of it may come back to; [0] the count.
extern std::array<TIntArray, HomeBuildingListCount> HomeBuildingLists;
extern std::vector<TIntArray> BuildingNeighbours; // per building the strongholds whose influence covers it
extern TIntArray ShopUniqueCount;                 // per item the shops that hold it
extern std::vector<TMapNotice> MapNotices;        // notices queued for the map screen
extern std::vector<TMapEffect> MapEffects;        // effects queued by story results for the map screen
extern TAssaultParams AssaultParams;              // the assault in progress, NoAssaultParams when none

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
// Frees every list of the world (the trackers' paths with them) and puts the
// globals above back to their start values.
void ClearWorldTables();
// Puts the whole world back to its start values: the tables above, the
// computer armies' movement state and encounter and visit records, the story
// events' run state, the world frame's memory and the hero a campaign carries
// over. The scenario's and the game's tables are left as they are.
void ResetWorldTables();
