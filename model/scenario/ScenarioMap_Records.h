// ScenarioMap_Records: every record of the scenario map file, byte for byte.
// A scenario is one GBDF container; each record section holds a run of these
// records, little-endian and packed. A string or list inside a record is a
// 4-byte reference in the stored bytes ("...Ref", a uint32_t placeholder that
// the loader clears); its content lives beside the record in memory (see
// ScenarioMap_Tables.h). Bytes named "Unused..." are kept as read and never
// looked at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "model/RangeArray.h"
#include "model/world/World_Tables.h"

// TBuildingModel: the model library a map building is drawn from.
enum class TBuildingModel : int32_t {
    None = 0,
    Town = 1,
    CastleBig = 2,
    CastleMiddle = 3,
    CastleSmall = 4,
    Fort = 5,
    Monastery = 6,
    Cathedral = 7,
    Church = 8,
    Chapel = 9,
    VillageBig = 10,
    VillageMiddle = 11,
    VillageSmall = 12,
    Tavern = 13,
    House = 14,
    Market = 15,
    Port = 16,
    RuinCastleBig = 17,
    RuinCastleMiddle = 18,
    RuinTower = 19,
    RuinChurch = 20,
    RuinVillageAbandonedBig = 21,
    RuinVillageAbandonedMiddle = 22,
    RuinVillageAbandonedSmall = 23,
    RuinHouseAbandoned = 24,
    RuinVillageRuinedBig = 25,
    RuinVillageRuinedMiddle = 26,
    RuinVillageRuinedSmall = 27,
    Cementry = 28,
    Altar = 29,
    Military = 30,
    Bridge = 31, // its deck is walkable: a bridge counts as no building
    Object = 32,
};
constexpr int BuildingModelCount = 32;
// "Town" .. "Object" for models 1..32 (entry 0 empty): also the prefixes of
// the model files.
extern const char* const BuildingModelNames[BuildingModelCount + 1];

// TTreeKind: the kinds of map trees and plants, drawn from the tree library.
enum class TTreeKind : int32_t {
    None = 0,
    Aspen = 1,
    Maple = 2,
    Birch = 3,
    Oak = 4,
    Spruce = 5,
    Pine = 6,
    Bush = 7,
    Hummock = 8,
    Flowers = 9,
    Dry = 10,
    Stump = 11,
    Grass = 12,
    Apple = 13,
};
constexpr int TreeKindCount = 13;
// "Aspen" .. "Apple" for kinds 1..13 (entry 0 empty), the tree file prefixes.
extern const char* const TreeKindNames[TreeKindCount + 1];

// TStoneKind: the kinds of map objects, drawn from the object library.
enum class TStoneKind : int32_t {
    None = 0,
    Rock = 1,
    Stone = 2,
    Debris = 3,
    Grave = 4,
    Yard = 5,
    Object = 6,
};
constexpr int StoneKindCount = 6;
// "Rock" .. "Object" for kinds 1..6 (entry 0 empty), the object file prefixes.
extern const char* const StoneKindNames[StoneKindCount + 1];

#pragma pack(push, 1)

// A cell of the strategic map as two 16-bit numbers.
struct TMapCellXZ {
    int16_t X;
    int16_t Z;
};
static_assert(sizeof(TMapCellXZ) == 4);

// One personage slot of a start army, a map army or a garrison.
struct TMapArmySlot {
    int16_t UnitType; // 0: empty slot; 250 and above: a random pool
    uint8_t Count;    // personages of the type; for slot 0 (the leader): levels gained + 1
    uint8_t HireKind; // passed when the personage is added; above 0: random experience
    int8_t Feature;   // passed when the personage is rebuilt from its type
    int32_t Extra;    // the four bytes passed with the personage (SlotExtra)
    uint8_t Unused9[4];
};
static_assert(sizeof(TMapArmySlot) == 13);
static_assert(offsetof(TMapArmySlot, Count) == 2);
static_assert(offsetof(TMapArmySlot, HireKind) == 3);
static_assert(offsetof(TMapArmySlot, Feature) == 4);
static_assert(offsetof(TMapArmySlot, Extra) == 5);

// The start block of one hero kind inside the scenario header.
struct TMapHero {
    uint16_t Gold;
    uint8_t SupportBase; // support limit before the difficulty's addition
    uint8_t DailyIncome; // the hero army's own daily income
    uint8_t Banner;      // coat number
    uint8_t Unused5[2];
    TPackedArray<int16_t, 1, 8> Items;     // starting items, 0 empty
    TRangeArray<TMapArmySlot, 0, 6> Slots; // slot 0 is the hero
};
static_assert(sizeof(TMapHero) == 114);
static_assert(offsetof(TMapHero, SupportBase) == 2);
static_assert(offsetof(TMapHero, DailyIncome) == 3);
static_assert(offsetof(TMapHero, Banner) == 4);
static_assert(offsetof(TMapHero, Items) == 7);
static_assert(offsetof(TMapHero, Slots) == 23);

// "MapStory": the scenario header.
struct TMapStory {
    uint8_t Unused0[2];
    uint8_t SizeClass;                        // 0..4: 512x512, 640x640, 768x768, 1024x1024, 1280x1280
    uint8_t GroupCount;                       // highest diplomacy group G; groups are 0..G
    uint32_t NameRef;                         // wide text
    uint32_t DescriptionRef;                  // wide text
    uint32_t GroupRelationsRef;               // G + 1 rows of G + 1 attitudes ("MapGroup")
    uint32_t GroupNamesRef;                   // G + 1 names
    TRangeArray<uint8_t, 1, 6> HeroAvailable; // per hero kind: may be chosen
    TRangeArray<TMapHero, 1, 6> Heroes;
    uint8_t Unused710;
    uint8_t HasTitle;  // Title is stored
    uint32_t TitleRef; // wide text shown in the lists in place of the name
    uint8_t Unlisted;  // left out of the scenario lists
    uint8_t Unused717[3];
    int32_t VictoryEvent;                         // event number x 10: ends the scenario with a possible next one
    int32_t EndEvent;                             // event number x 10: ends the scenario without one
    TPackedArray<int32_t, 1, 3> NextEvent;        // event number x 10 choosing NextScenario[n]
    TPackedArray<uint32_t, 1, 3> NextScenarioRef; // file names of the next scenarios
    int32_t StartDate;                            // day x 1440 + minute of the day
    uint8_t KeepRecruits;                         // campaign carry-over switches
    uint8_t KeepCompanions;
    uint8_t KeepEquipment;
    uint8_t KeepInventory;
    uint8_t KeepExperience;
    uint8_t KeepGold;
    uint8_t KeepFollowers;
    uint8_t KeepPricelessItems;
    uint8_t Unused764[3];
    uint8_t DaysBetween; // days added when a hero is carried into this scenario
    uint8_t Unused768[8];
    int32_t SaveMark; // copied into every saved game's header
    uint8_t Unused780[27];
    uint8_t ListGroup; // scenario list selector
    uint8_t NotReady;  // listed as not ready
    uint8_t ListFlag;  // copied into the list entry
    uint8_t Tutorial;
    uint8_t Language;                 // TLanguage of the scenario's own texts
    uint16_t PlayerExpPercent;        // 0 read as 100
    uint16_t HourlyExpArmy;           // tenths of a point per hourly step; 0 read as 100
    uint16_t HourlyExpGarrison;       // 0 read as 100
    uint16_t HourlyExpPlayerGarrison; // 0 read as 100
    uint8_t HeroLevelLimit;           // 0 read as 24
    uint8_t Personalization;          // personal-name level 1..3; 0 read as 1
    uint8_t UnitLevelLimit;           // 0 read as 24
    uint8_t SupportCap;               // 0 read as 12
    uint8_t Unused824[4];
    uint16_t PriceDivisor; // 0 read as 10000
    uint8_t TreasuryMode;  // buildings keep their income in their treasury
    uint8_t Unused831;
};
static_assert(sizeof(TMapStory) == 832);
static_assert(offsetof(TMapStory, SizeClass) == 2);
static_assert(offsetof(TMapStory, GroupCount) == 3);
static_assert(offsetof(TMapStory, NameRef) == 4);
static_assert(offsetof(TMapStory, DescriptionRef) == 8);
static_assert(offsetof(TMapStory, GroupRelationsRef) == 12);
static_assert(offsetof(TMapStory, GroupNamesRef) == 16);
static_assert(offsetof(TMapStory, HeroAvailable) == 20);
static_assert(offsetof(TMapStory, Heroes) == 26);
static_assert(offsetof(TMapStory, HasTitle) == 711);
static_assert(offsetof(TMapStory, TitleRef) == 712);
static_assert(offsetof(TMapStory, Unlisted) == 716);
static_assert(offsetof(TMapStory, VictoryEvent) == 720);
static_assert(offsetof(TMapStory, EndEvent) == 724);
static_assert(offsetof(TMapStory, NextEvent) == 728);
static_assert(offsetof(TMapStory, NextScenarioRef) == 740);
static_assert(offsetof(TMapStory, StartDate) == 752);
static_assert(offsetof(TMapStory, KeepRecruits) == 756);
static_assert(offsetof(TMapStory, KeepPricelessItems) == 763);
static_assert(offsetof(TMapStory, DaysBetween) == 767);
static_assert(offsetof(TMapStory, SaveMark) == 776);
static_assert(offsetof(TMapStory, ListGroup) == 807);
static_assert(offsetof(TMapStory, NotReady) == 808);
static_assert(offsetof(TMapStory, ListFlag) == 809);
static_assert(offsetof(TMapStory, Tutorial) == 810);
static_assert(offsetof(TMapStory, Language) == 811);
static_assert(offsetof(TMapStory, PlayerExpPercent) == 812);
static_assert(offsetof(TMapStory, HourlyExpArmy) == 814);
static_assert(offsetof(TMapStory, HourlyExpGarrison) == 816);
static_assert(offsetof(TMapStory, HourlyExpPlayerGarrison) == 818);
static_assert(offsetof(TMapStory, HeroLevelLimit) == 820);
static_assert(offsetof(TMapStory, Personalization) == 821);
static_assert(offsetof(TMapStory, UnitLevelLimit) == 822);
static_assert(offsetof(TMapStory, SupportCap) == 823);
static_assert(offsetof(TMapStory, PriceDivisor) == 828);
static_assert(offsetof(TMapStory, TreasuryMode) == 830);

// "MapInit": the map set-up record, copied whole.
struct TMapInit {
    uint8_t Unused0[4];
    int32_t MapSizeMinus1; // cells per side minus 1, 0..1024
    int32_t SaveStamp;     // copied into every saved game's header
    uint8_t Unused12[12];
    int32_t ShallowLimit; // the ford threshold: class-1 cells whose slope is below it can be crossed
    uint8_t Unused28[332];
    float WaterLevel; // a height the map scene compares with cell heights (its rock height)
};
static_assert(sizeof(TMapInit) == 364);
static_assert(offsetof(TMapInit, MapSizeMinus1) == 4);
static_assert(offsetof(TMapInit, SaveStamp) == 8);
static_assert(offsetof(TMapInit, ShallowLimit) == 24);
static_assert(offsetof(TMapInit, WaterLevel) == 360);

// "MapLandscape": one cell of the landscape grid.
struct TMapCell {
    int16_t Height;       // hundredths of a unit
    uint8_t TerrainClass; // 0, 1 water; 2, 4, 6, 8, 10 land; 3, 5, 7, 9, 11, 12 hill
    uint8_t TerrainValue; // slope in degrees
    uint8_t Unused4[9];
    uint8_t HeightBase;                      // whole units added to Height / 100 for the map's height bounds
    uint8_t Tint;                            // alpha of the terrain vertex colour
    TRangeArray<uint8_t, 1, 16> KindWeights; // weights of the ground kinds 1..16
    int16_t SecondHeight;                    // water level in hundredths of a unit
    uint8_t Shade;                           // passed to the terrain shaders
    uint8_t Unused34;
};
static_assert(sizeof(TMapCell) == 35);
static_assert(offsetof(TMapCell, TerrainClass) == 2);
static_assert(offsetof(TMapCell, TerrainValue) == 3);
static_assert(offsetof(TMapCell, HeightBase) == 13);
static_assert(offsetof(TMapCell, Tint) == 14);
static_assert(offsetof(TMapCell, KindWeights) == 15);
static_assert(offsetof(TMapCell, SecondHeight) == 31);
static_assert(offsetof(TMapCell, Shade) == 33);

// "MapTree": a plant.
struct TMapTree {
    uint8_t Unused0;
    float Pos[3];
    uint8_t Unused13[3];
    float Scale;
    float Angle;  // radians
    int32_t Kind; // plant kind 1..13, Aspen .. Apple
    int32_t Variant;
    int32_t Chunk; // 16-cell chunk, written when the plants are sorted into chunks
    int32_t ChunkSlot;
};
static_assert(sizeof(TMapTree) == 40);
static_assert(offsetof(TMapTree, Pos) == 1);
static_assert(offsetof(TMapTree, Scale) == 16);
static_assert(offsetof(TMapTree, Angle) == 20);
static_assert(offsetof(TMapTree, Kind) == 24);
static_assert(offsetof(TMapTree, Variant) == 28);
static_assert(offsetof(TMapTree, Chunk) == 32);
static_assert(offsetof(TMapTree, ChunkSlot) == 36);

// "MapObject": a decorative or blocking object.
struct TMapObject {
    uint8_t Unused0;
    float Pos[3];
    uint8_t Unused13[3];
    float Scale;
    float Angle; // about the vertical axis, radians; non-negative after loading
    uint8_t Unused24[4];
    int32_t ModelGroup; // object kind 1..6, Rock .. Object; 0 none
    int32_t Variant;    // the model is the group's first model plus the variant
    uint8_t Unused36[4];
    float AngleX;
    float AngleZ;
    uint8_t Unused48[4];
};
static_assert(sizeof(TMapObject) == 52);
static_assert(offsetof(TMapObject, Pos) == 1);
static_assert(offsetof(TMapObject, Scale) == 16);
static_assert(offsetof(TMapObject, Angle) == 20);
static_assert(offsetof(TMapObject, ModelGroup) == 28);
static_assert(offsetof(TMapObject, Variant) == 32);
static_assert(offsetof(TMapObject, AngleX) == 40);
static_assert(offsetof(TMapObject, AngleZ) == 44);

// One hire slot of a building.
struct TMapHireSlot {
    int16_t UnitType; // 0 empty; 250 and above a random pool
    uint8_t MaxStock;
    uint8_t StartStock;
    uint8_t Growth;   // restock period in days
    uint8_t HireKind; // 0 recruit, 1 mercenary, 2 leader, ...
    uint8_t Unused6;
    uint8_t PlayerMayHire;
    uint8_t ComputerMayHire;
    uint8_t Closed;
    uint8_t Unused10[4];
};
static_assert(sizeof(TMapHireSlot) == 14);
static_assert(offsetof(TMapHireSlot, MaxStock) == 2);
static_assert(offsetof(TMapHireSlot, HireKind) == 5);
static_assert(offsetof(TMapHireSlot, PlayerMayHire) == 7);
static_assert(offsetof(TMapHireSlot, Closed) == 9);

// "MapBuilding": a building with its garrison, hire slots, shop and services.
struct TMapBuilding {
    uint8_t Unused0;
    float Pos[3];
    uint8_t Unused13[3];
    float Scale;
    float Angle;   // radians; a whole number of degrees 0..359 after loading
    int32_t Model; // TBuildingModel
    int32_t Variant;
    uint8_t Unused32[4];
    uint8_t BuildingType;       // TBuildingType
    uint16_t Gold;              // starting gold of the garrison and the treasury
    uint8_t Income;             // income class 0..7
    uint8_t IncomeBonus;        // added to Gold for the garrison and the treasury
    uint8_t Banner;             // taken from BannerStored at load
    uint8_t ActionsKind;        // garrison size limit for restocking closed hire slots
    uint8_t GarrisonExpPercent; // 0 read as 100
    TPackedArray<int16_t, 1, 8> GarrisonItems;
    TRangeArray<TMapArmySlot, 0, 6> Garrison;
    TRangeArray<TMapHireSlot, 1, 9> HireSlots;
    uint8_t Unused277;
    int16_t AssaultA;
    int16_t AssaultB;
    uint8_t AssaultC;
    uint8_t Unused283;
    TPackedArray<uint16_t, 1, 8> ShopItems;     // fixed items of the shop
    TRangeArray<uint8_t, 1, 3> ShopAlignment;   // good, neutral, evil items admitted
    TRangeArray<uint8_t, 1, 15> TradeKinds;     // per item kind: the shop deals in it
    TRangeArray<uint8_t, 1, 4> ShopGroupLimits; // groups W, A, O, P
    TPackedArray<uint16_t, 1, 4> ShopMinCost;
    TPackedArray<uint16_t, 1, 4> ShopMaxCost;
    TRangeArray<uint8_t, 1, 4> TradePercent; // 0 read as 100
    uint8_t HasTreasury;
    uint8_t HasActions; // a paid garrison
    uint8_t HasHire;
    uint8_t HasShop;
    uint8_t HasGarrison; // taxes are collected here
    uint8_t ServiceE;
    uint8_t ServiceF;
    uint8_t HasGarrisonFolder;
    uint8_t GarrisonInactive;
    uint8_t Unused351[5];
    uint8_t Closed;
    uint8_t Unused357;
    int16_t OwnerArmy;                    // -1 none
    TRangeArray<uint8_t, 1, 6> HeroStart; // the player's when the hero is of kind k
    uint8_t Unused366[2];
    int32_t OwnerGroup; // -1 none
    uint8_t ServiceC;
    uint8_t ServiceD;
    uint8_t Unused374[2];
    int32_t InfluenceRadius; // capture-pressure radius in cells
    uint8_t BannerStored;
    uint8_t Unused381[3];
    TMapCellXZ Cell; // computed at load
    uint8_t Undiscovered;
    uint8_t Unused389[3];
    int32_t Uid; // localisation key
    TRangeArray<uint8_t, 1, 2> TradeKinds2;
    uint8_t ShopLimitS;
    uint8_t Unused399;
    uint16_t ShopMinCostS;
    uint16_t ShopMaxCostS;
    uint8_t TradePercent5; // 0 read as 100
    uint8_t TradeClosed;
    uint8_t Unused406[2];
};
static_assert(sizeof(TMapBuilding) == 408);
static_assert(offsetof(TMapBuilding, Pos) == 1);
static_assert(offsetof(TMapBuilding, Scale) == 16);
static_assert(offsetof(TMapBuilding, Angle) == 20);
static_assert(offsetof(TMapBuilding, Model) == 24);
static_assert(offsetof(TMapBuilding, Variant) == 28);
static_assert(offsetof(TMapBuilding, BuildingType) == 36);
static_assert(offsetof(TMapBuilding, Gold) == 37);
static_assert(offsetof(TMapBuilding, Income) == 39);
static_assert(offsetof(TMapBuilding, IncomeBonus) == 40);
static_assert(offsetof(TMapBuilding, Banner) == 41);
static_assert(offsetof(TMapBuilding, ActionsKind) == 42);
static_assert(offsetof(TMapBuilding, GarrisonExpPercent) == 43);
static_assert(offsetof(TMapBuilding, GarrisonItems) == 44);
static_assert(offsetof(TMapBuilding, Garrison) == 60);
static_assert(offsetof(TMapBuilding, HireSlots) == 151);
static_assert(offsetof(TMapBuilding, AssaultA) == 278);
static_assert(offsetof(TMapBuilding, AssaultB) == 280);
static_assert(offsetof(TMapBuilding, AssaultC) == 282);
static_assert(offsetof(TMapBuilding, ShopItems) == 284);
static_assert(offsetof(TMapBuilding, ShopAlignment) == 300);
static_assert(offsetof(TMapBuilding, TradeKinds) == 303);
static_assert(offsetof(TMapBuilding, ShopGroupLimits) == 318);
static_assert(offsetof(TMapBuilding, ShopMinCost) == 322);
static_assert(offsetof(TMapBuilding, ShopMaxCost) == 330);
static_assert(offsetof(TMapBuilding, TradePercent) == 338);
static_assert(offsetof(TMapBuilding, HasTreasury) == 342);
static_assert(offsetof(TMapBuilding, HasActions) == 343);
static_assert(offsetof(TMapBuilding, HasHire) == 344);
static_assert(offsetof(TMapBuilding, HasShop) == 345);
static_assert(offsetof(TMapBuilding, HasGarrison) == 346);
static_assert(offsetof(TMapBuilding, ServiceE) == 347);
static_assert(offsetof(TMapBuilding, ServiceF) == 348);
static_assert(offsetof(TMapBuilding, HasGarrisonFolder) == 349);
static_assert(offsetof(TMapBuilding, GarrisonInactive) == 350);
static_assert(offsetof(TMapBuilding, Closed) == 356);
static_assert(offsetof(TMapBuilding, OwnerArmy) == 358);
static_assert(offsetof(TMapBuilding, HeroStart) == 360);
static_assert(offsetof(TMapBuilding, OwnerGroup) == 368);
static_assert(offsetof(TMapBuilding, ServiceC) == 372);
static_assert(offsetof(TMapBuilding, ServiceD) == 373);
static_assert(offsetof(TMapBuilding, InfluenceRadius) == 376);
static_assert(offsetof(TMapBuilding, BannerStored) == 380);
static_assert(offsetof(TMapBuilding, Cell) == 384);
static_assert(offsetof(TMapBuilding, Undiscovered) == 388);
static_assert(offsetof(TMapBuilding, Uid) == 392);
static_assert(offsetof(TMapBuilding, TradeKinds2) == 396);
static_assert(offsetof(TMapBuilding, ShopLimitS) == 398);
static_assert(offsetof(TMapBuilding, ShopMinCostS) == 400);
static_assert(offsetof(TMapBuilding, ShopMaxCostS) == 402);
static_assert(offsetof(TMapBuilding, TradePercent5) == 404);
static_assert(offsetof(TMapBuilding, TradeClosed) == 405);

// "MapArmy": an army of the map; the fields named like a TGameArmy field are
// copied into it at set-up.
struct TMapArmy {
    float Pos[3];
    uint8_t Byte12; // 0 becomes 8 at load
    uint8_t Unused13[2];
    uint8_t Behavior; // TArmyBehavior
    uint8_t Group;    // diplomacy group
    uint16_t Gold;
    uint8_t SupportBase; // support limit before the difficulty's addition
    uint8_t DailyIncome; // IncomeBase
    uint8_t Banner;      // taken from BannerStored at load
    uint8_t Unused22;
    uint8_t ExpPercent; // 0 read as 100
    TPackedArray<int16_t, 1, 8> Items;
    TRangeArray<TMapArmySlot, 0, 6> Slots; // slot 0 is the leader
    uint8_t Profile;                       // AI profile
    uint8_t ZoneCount;                     // 0..4
    TRangeArray<TArmyZone, 1, 4> Zones;
    TRangeArray<uint8_t, 1, 3> RouteFlags;
    uint8_t SeeksTalk;
    uint8_t ScenarioByte172;
    uint8_t Unused162[2];
    uint8_t Active; // on the map from the start
    uint8_t Unused165[2];
    int8_t Boldness;
    uint8_t ScenarioByte216;
    uint8_t LordKind;
    int16_t LordArmy;
    uint8_t ScenarioByte220;
    uint8_t ScenarioByte221;
    uint16_t AnchorBuilding; // building number, 0 none
    uint8_t SpeedPercent;    // 0 read as 100
    uint8_t SeeksBattles;
    uint8_t ScenarioByte226;
    uint8_t BypassFlag;
    uint8_t TalkAlways;
    uint8_t WaitAtRouteEnd;
    uint8_t RespawnEnabled;
    uint8_t RespawnDays;
    uint8_t RespawnFull;
    uint8_t RespawnAtOwn;
    uint8_t RespawnAtGroup;
    uint8_t RespawnAtFriend;
    uint8_t BannerStored;
    uint8_t Unused189[3];
    int32_t Uid;
    float Heading; // radians
    uint8_t WaitsInBuildings;
};
static_assert(sizeof(TMapArmy) == 201);
static_assert(offsetof(TMapArmy, Byte12) == 12);
static_assert(offsetof(TMapArmy, Behavior) == 15);
static_assert(offsetof(TMapArmy, Group) == 16);
static_assert(offsetof(TMapArmy, Gold) == 17);
static_assert(offsetof(TMapArmy, SupportBase) == 19);
static_assert(offsetof(TMapArmy, DailyIncome) == 20);
static_assert(offsetof(TMapArmy, Banner) == 21);
static_assert(offsetof(TMapArmy, ExpPercent) == 23);
static_assert(offsetof(TMapArmy, Items) == 24);
static_assert(offsetof(TMapArmy, Slots) == 40);
static_assert(offsetof(TMapArmy, Profile) == 131);
static_assert(offsetof(TMapArmy, ZoneCount) == 132);
static_assert(offsetof(TMapArmy, Zones) == 133);
static_assert(offsetof(TMapArmy, RouteFlags) == 157);
static_assert(offsetof(TMapArmy, SeeksTalk) == 160);
static_assert(offsetof(TMapArmy, ScenarioByte172) == 161);
static_assert(offsetof(TMapArmy, Active) == 164);
static_assert(offsetof(TMapArmy, Boldness) == 167);
static_assert(offsetof(TMapArmy, ScenarioByte216) == 168);
static_assert(offsetof(TMapArmy, LordKind) == 169);
static_assert(offsetof(TMapArmy, LordArmy) == 170);
static_assert(offsetof(TMapArmy, ScenarioByte220) == 172);
static_assert(offsetof(TMapArmy, ScenarioByte221) == 173);
static_assert(offsetof(TMapArmy, AnchorBuilding) == 174);
static_assert(offsetof(TMapArmy, SpeedPercent) == 176);
static_assert(offsetof(TMapArmy, SeeksBattles) == 177);
static_assert(offsetof(TMapArmy, ScenarioByte226) == 178);
static_assert(offsetof(TMapArmy, BypassFlag) == 179);
static_assert(offsetof(TMapArmy, TalkAlways) == 180);
static_assert(offsetof(TMapArmy, WaitAtRouteEnd) == 181);
static_assert(offsetof(TMapArmy, RespawnEnabled) == 182);
static_assert(offsetof(TMapArmy, RespawnAtFriend) == 187);
static_assert(offsetof(TMapArmy, BannerStored) == 188);
static_assert(offsetof(TMapArmy, Uid) == 192);
static_assert(offsetof(TMapArmy, Heading) == 196);
static_assert(offsetof(TMapArmy, WaitsInBuildings) == 200);

// "MapPoint": a named map point; one with a radius is a barrier.
struct TMapPoint {
    float Pos[3];
    uint8_t Unused12[12];
    int32_t Kind; // 1: start point of the player's hero
    uint8_t Unused28[8];
    uint8_t Radius; // in cells
    uint8_t ClosedAtStart;
    TMapCellXZ Cell; // computed at load
    uint8_t Unused42[2];
    int32_t Uid;
    int8_t HeroKind;   // start point only for this hero kind; 0 any
    uint8_t StateFlag; // the point state's second byte starts set
    uint8_t Unused50[6];
};
static_assert(sizeof(TMapPoint) == 56);
static_assert(offsetof(TMapPoint, Kind) == 24);
static_assert(offsetof(TMapPoint, Radius) == 36);
static_assert(offsetof(TMapPoint, ClosedAtStart) == 37);
static_assert(offsetof(TMapPoint, Cell) == 38);
static_assert(offsetof(TMapPoint, Uid) == 44);
static_assert(offsetof(TMapPoint, HeroKind) == 48);
static_assert(offsetof(TMapPoint, StateFlag) == 49);

// "MapSounds": kept as stored; the game model reads none of its bytes.
struct TMapSound {
    uint8_t Bytes[9];
};
static_assert(sizeof(TMapSound) == 9);

// "MapStoryEvent": a story event.
struct TStoryEventStart {
    uint8_t Unused0[5];
    uint8_t TalkFlag; // meetings count only when sought; building requirements wait as actions
    uint8_t OncePerDay;
    uint8_t Form;          // 2 text per stage; 1..6 stage captions; 3 random, 4 variable, 5 personages, 6 gold
    uint8_t SingleCaption; // one caption serves all stages
    uint8_t Unused9[3];
    int32_t RequireCount;
    uint32_t RequiresRef;
    int32_t StageCount;
    uint32_t StagesRef;
    int32_t RepeatLimit; // further firings after the first; -1 unlimited
    uint8_t Unused32;
    uint8_t HasText; // set at load
    uint8_t Unused34[2];
    int32_t Uid;
    int32_t OutcomeVariable; // the variable whose value chooses the stage (form 4)
};
static_assert(sizeof(TStoryEventStart) == 44);
static_assert(offsetof(TStoryEventStart, TalkFlag) == 5);
static_assert(offsetof(TStoryEventStart, OncePerDay) == 6);
static_assert(offsetof(TStoryEventStart, Form) == 7);
static_assert(offsetof(TStoryEventStart, SingleCaption) == 8);
static_assert(offsetof(TStoryEventStart, RequireCount) == 12);
static_assert(offsetof(TStoryEventStart, RequiresRef) == 16);
static_assert(offsetof(TStoryEventStart, StageCount) == 20);
static_assert(offsetof(TStoryEventStart, StagesRef) == 24);
static_assert(offsetof(TStoryEventStart, RepeatLimit) == 28);
static_assert(offsetof(TStoryEventStart, HasText) == 33);
static_assert(offsetof(TStoryEventStart, Uid) == 36);
static_assert(offsetof(TStoryEventStart, OutcomeVariable) == 40);

// "MapStoryRequire": a requirement of an event; "MapStoryResult" stores the
// results of the stages in the same layout.
struct TStoryRequire {
    uint8_t Kind;
    uint8_t Sub; // logic group or sub-kind
    uint8_t Op;
    uint8_t Op2;
    uint8_t Mode;
    uint8_t Unused5[3];
    int32_t ValueA;
    int32_t ValueB;
    int32_t ValueC;
};
static_assert(sizeof(TStoryRequire) == 20);
static_assert(offsetof(TStoryRequire, Mode) == 4);
static_assert(offsetof(TStoryRequire, ValueA) == 8);
static_assert(offsetof(TStoryRequire, ValueB) == 12);
static_assert(offsetof(TStoryRequire, ValueC) == 16);
using TStoryResult = TStoryRequire;

// A requirement or result from its fields.
inline TStoryRequire MakeStoryRule(uint8_t kind, uint8_t sub, uint8_t op, uint8_t op2, uint8_t mode, int32_t a,
                                   int32_t b = 0, int32_t c = 0)
{
    TStoryRequire rule{};
    rule.Kind = kind;
    rule.Sub = sub;
    rule.Op = op;
    rule.Op2 = op2;
    rule.Mode = mode;
    rule.ValueA = a;
    rule.ValueB = b;
    rule.ValueC = c;
    return rule;
}

// "MapStorySelect": a stage (outcome) of an event.
struct TSelect {
    uint8_t JournalQuest; // a journal entry of the first kind
    uint8_t JournalNote;  // a journal entry of the second kind
    uint8_t Unused2[2];
    int32_t ResultCount;
    int32_t Value; // by the event's form: chance, variable value, personage count, gold threshold
    uint32_t ResultsRef;
};
static_assert(sizeof(TSelect) == 16);
static_assert(offsetof(TSelect, ResultCount) == 4);
static_assert(offsetof(TSelect, Value) == 8);
static_assert(offsetof(TSelect, ResultsRef) == 12);

#pragma pack(pop)

static_assert(std::is_trivially_copyable_v<TMapStory> && std::is_trivially_copyable_v<TMapBuilding> &&
              std::is_trivially_copyable_v<TMapArmy> && std::is_trivially_copyable_v<TMapCell>);

// The event an event reference (event number x 10) names; the remainder is
// not used.
constexpr int32_t EventOfReference(int32_t reference)
{
    return reference / 10;
}
