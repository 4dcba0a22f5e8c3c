// TPersonage: one fighter of the game, in three roles: a unit-type template
// (UnitTypes), an army member (the 15 slots of an army) and a battle copy.
// The record is stored raw in saved games, the campaign carry-over and battle
// snapshots, so it is packed, little-endian and 1712 bytes, and every field
// keeps its offset. Bytes 0..623 are the type part that a reload copies from
// the template; the rest is the personage's own state, with a battle working
// area at 964..1519 and 1616..1711. Flags are bytes (0 false, else true):
// records come from files and may hold any byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "model/tables/BonusType.h"
#include "model/RangeArray.h"
#include "model/ShortString.h"

#pragma pack(push, 1)

// A set over TBonusType: value v is bit v mod 8 of byte v div 8. Values above
// 207 lie outside the 26 bytes; they are never set and never held.
struct TBonusSet {
    uint8_t Bits[26];

    static constexpr int MaxValue = 207;

    bool Has(int v) const { return v >= 0 && v <= MaxValue && (Bits[v >> 3] & (1u << (v & 7))) != 0; }
    void Include(int v)
    {
        if (v >= 0 && v <= MaxValue)
            Bits[v >> 3] = static_cast<uint8_t>(Bits[v >> 3] | (1u << (v & 7)));
    }
    void Exclude(int v)
    {
        if (v >= 0 && v <= MaxValue)
            Bits[v >> 3] = static_cast<uint8_t>(Bits[v >> 3] & ~(1u << (v & 7)));
    }
    void Clear() { std::memset(Bits, 0, sizeof Bits); }
    bool Empty() const
    {
        for (uint8_t b : Bits)
            if (b != 0)
                return false;
        return true;
    }
    void Union(const TBonusSet& other)
    {
        for (int i = 0; i < 26; ++i)
            Bits[i] = static_cast<uint8_t>(Bits[i] | other.Bits[i]);
    }
};
static_assert(sizeof(TBonusSet) == 26);

// Render settings of a model (items and unit types). Stored inside the
// personage record, so it has the record's layout: 56 bytes.
struct TModelSettings {
    int32_t Gamma;
    int32_t Ambient;
    int32_t Occlusion;
    float ColorizationColor[4]; // red, green, blue, alpha
    int32_t ColorizationStrength;
    int32_t Specular;
    int32_t SpecularSRE;
    uint8_t SpecularType; // 0 plain, 1 "Phong", 2 "Kook-Torrance"
    uint8_t Reserved29[3];
    int32_t Normal;
    uint8_t Shadow;
    uint8_t Reserved37[3];
    int32_t Scale; // percent
};
static_assert(sizeof(TModelSettings) == 56);
static_assert(offsetof(TModelSettings, ColorizationColor) == 12);
static_assert(offsetof(TModelSettings, ColorizationStrength) == 28);
static_assert(offsetof(TModelSettings, SpecularType) == 40);
static_assert(offsetof(TModelSettings, Normal) == 44);
static_assert(offsetof(TModelSettings, Shadow) == 48);
static_assert(offsetof(TModelSettings, Scale) == 52);

// The settings of a model without a section of its own: white, shadow on,
// full scale.
TModelSettings DefaultModelSettings();

// A known spell: its number in SpellTable (0 free) and its power (1 when learnt).
struct TPersonageSpell {
    int32_t Spell;
    int32_t Power;
};
static_assert(sizeof(TPersonageSpell) == 8);

// An active spell effect of a battle copy.
struct TPersonageEffect {
    int32_t Spell;
    int32_t Power;
    int32_t Percent;
    int32_t Rounds;
};
static_assert(sizeof(TPersonageEffect) == 16);

// Stat positions 1..8 of the stat arrays; 0 asks the battle's stat reader
// for the attack stat of the personage's attack mode.
enum TStatIndex : int {
    statByAttackMode = 0,
    statHits = 1,
    statInitiative = 2,
    statAttackBlow = 3,
    statAttackShot = 4,
    statMagicPower = 5,
    statDefense = 6,
    statProtect = 7,
    statWill = 8,
};

using TStatArray = TRangeArray<int16_t, 1, 8>;
using TBonusList = TRangeArray<uint8_t, 1, 8>; // TBonusType values
using TEquipmentArray = TRangeArray<int32_t, 1, 14>;

struct TPersonage {
    // ---- type part (0..623) --------------------------------------------
    int32_t BaseType;                    // 0
    int32_t UnitType;                    // 4: 0 = empty slot
    uint8_t Reserved8;                   // 8
    uint8_t Used;                        // 9
    uint8_t Reserved10[2];               // 10
    int32_t Level;                       // 12
    ShortString<40> Name;                // 16
    ShortString<20> TypeName;            // 57
    ShortString<156> Description;        // 78
    ShortString<32> VoiceTag;            // 235
    ShortString<50> FileName;            // 268
    uint8_t Nature;                      // 319: TPersNature
    uint8_t Kind;                        // 320: TPersNature
    uint8_t LevelUp;                     // 321: TAttackKind
    uint8_t UseAllWeapon;                // 322
    uint8_t UseAllDefence;               // 323
    uint8_t MagicSchool;                 // 324: 1..8, 0 for non-casters
    uint8_t SpellSet;                    // 325
    uint8_t Reserved326[2];              // 326
    int32_t EquipmentType;               // 328
    TRangeArray<uint8_t, 1, 3> Weapon;   // 332: TWeaponClass
    uint8_t Dagger;                      // 335
    uint8_t Armor;                       // 336: TArmorKind
    uint8_t Sex;                         // 337: TSex
    uint8_t Shield;                      // 338: TShieldKind
    uint8_t Alignment;                   // 339: TAlignment
    uint8_t Horse;                       // 340
    uint8_t Reserved341[7];              // 341
    int32_t Cost;                        // 348
    int32_t StrengthMultipler;           // 352: percent, 0 in the file is 100
    int32_t StartExpirience;             // 356
    int32_t NextLevelExp;                // 360
    uint8_t Reserved364[4];              // 364
    int32_t LevelMultipler;              // 368
    TStatArray BaseStats;                // 372
    TBonusList Bonus;                    // 388
    TBonusList BonusAdd;                 // 396
    TStatArray StatGrowth;               // 404
    TStatArray StatGrowthTenths;         // 420
    TEquipmentArray DefaultItems;        // 436
    uint8_t Surrender;                   // 492
    uint8_t LevelUpName;                 // 493: TPersNature
    uint8_t UseQuiver;                   // 494
    uint8_t Reserved495;                 // 495
    TRangeArray<int32_t, 1, 3> NextUnit; // 496
    uint8_t ImportantNPC;                // 508
    uint8_t Reserved509;                 // 509
    int16_t ReplaceHead;                 // 510
    int32_t Uid;                         // 512
    uint8_t SortGroup;                   // 516: TSortGroup
    uint8_t Reserved517[7];              // 517
    ShortString<32> TagName;             // 524
    uint8_t Reserved557[3];              // 557
    int32_t WoundLimit;                  // 560
    uint8_t GarrisonUnit;                // 564: TGarrisonUpgrade
    uint8_t Reserved565[59];             // 565

    // ---- state part (624..1711) ----------------------------------------
    int16_t Strength;                          // 624
    uint16_t ItemStrength;                     // 626
    int32_t Experience;                        // 628
    uint8_t AttackMode;                        // 632: TActionMode (4, 13, 16, 0)
    uint8_t Reserved633;                       // 633
    int16_t Hits;                              // 634
    int16_t Mana;                              // 636
    uint8_t Reserved638[2];                    // 638
    TRangeArray<TPersonageSpell, 1, 7> Spells; // 640
    TStatArray RefStats;                       // 696: battle copy only
    TBonusList RefPersBonus;                   // 712
    TBonusList RefPersBonusAdd;                // 720
    TStatArray Stats;                          // 728
    TBonusList PersBonus;                      // 744: slot 3 weapon bonus, slot 5 armour bonus
    TBonusList PersBonusAdd;                   // 752
    TEquipmentArray Equipment;                 // 760
    int32_t ExpLevel;                          // 816
    int16_t UpkeepDebt;                        // 820
    int16_t HitsDebt;                          // 822
    int32_t PersonalSeed;                      // 824
    TRangeArray<uint8_t, 1, 24> Talents;       // 828
    TBonusSet BonusSet;                        // 852
    TBonusSet BattleBonusSet;                  // 878
    uint8_t CohesionCount;                     // 904
    uint8_t NameNature;                        // 905
    uint8_t Reserved906[10];                   // 906
    int16_t HireKind;                          // 916
    uint8_t WallsBonus;                        // 918
    uint8_t EncouragementCount;                // 919
    uint8_t SlotExtra[4];                      // 920
    uint8_t Reserved924[4];                    // 924
    int64_t WoundClock;                        // 928
    int32_t MapModelIndex;                     // 936
    int32_t ArenaModelIndex;                   // 940
    TRangeArray<int32_t, 1, 3> Icons;          // 944: portraits 104x88, 174x146, 230x190
    int32_t FormationRow;                      // 956
    int32_t FormationColumn;                   // 960

    // ---- battle working area (964..1519) -------------------------------
    TRangeArray<uint8_t, 1, 7> SpellHasTargets;  // 964
    uint8_t ShieldInHand;                        // 971
    uint8_t PolearmInHand;                       // 972
    uint8_t Waited;                              // 973
    uint8_t WillSuppression;                     // 974
    uint8_t NoRegeneration;                      // 975
    uint8_t NearCommander;                       // 976
    uint8_t Mounted;                             // 977
    uint8_t Stance;                              // 978
    uint8_t Battle979[5];                        // 979
    uint8_t Assessment[108];                     // 984: TThreatAssessment of the battle engine
    uint8_t Battle1092[4];                       // 1092
    int32_t WorkHits;                            // 1096
    uint8_t Battle1100;                          // 1100
    uint8_t WorkStatsBytes[16];                  // 1101: WorkStats 1..8, unaligned (GetWorkStat)
    uint8_t Battle1117[16];                      // 1117
    TBonusSet WorkBonusSet;                      // 1133
    uint8_t Battle1159;                          // 1159
    uint8_t ActorAssessment[108];                // 1160
    uint8_t Battle1268[4];                       // 1268
    int32_t HorseHits;                           // 1272
    int32_t RoundActionPoints;                   // 1276
    int32_t ActionPointsLeft;                    // 1280
    int32_t RoundSteps;                          // 1284
    int32_t NextTurnRound;                       // 1288
    int32_t ActionsDone;                         // 1292
    int32_t HitsDone;                            // 1296
    int32_t StunLevel;                           // 1300
    int32_t Fear;                                // 1304
    uint8_t Battle1308[8];                       // 1308
    int32_t BattleStartHits;                     // 1316
    uint8_t Battle1320[24];                      // 1320
    int32_t BattleExperience;                    // 1344
    uint8_t BattleState;                         // 1348
    uint8_t Battle1349[11];                      // 1349
    int64_t ArmourWear;                          // 1360
    TRangeArray<TPersonageEffect, 1, 5> Effects; // 1368
    uint8_t InContact;                           // 1448
    uint8_t PikeBraced;                          // 1449
    uint8_t Battle1450;                          // 1450
    uint8_t ShownPositionBytes[12];              // 1451: 3 x f32, unaligned (GetShownPosition)
    uint8_t MoveVectorBytes[12];                 // 1463: 3 x f32, unaligned
    uint8_t Battle1475[5];                       // 1475
    int64_t Heading;                             // 1480
    int64_t TurnStartHeading;                    // 1488
    int64_t TurnDelta;                           // 1496
    uint8_t ExtraMove;                           // 1504
    uint8_t Battle1505[7];                       // 1505
    int64_t Merit;                               // 1512

    // ---- state part, continued -----------------------------------------
    int32_t Wounds;          // 1520
    int32_t WoundsTaken;     // 1524
    int32_t FullHits;        // 1528
    int32_t UpgradePoints;   // 1532
    uint8_t LevelUpFlag;     // 1536
    uint8_t Reserved1537[7]; // 1537
    int32_t FullInitiative;  // 1544
    uint8_t Reserved1548[8]; // 1548
    union {                  // 1556: battle copy only
        uint8_t Cursed;
        uint8_t Paralysed;
    };
    uint8_t Reserved1557[3];      // 1557
    TModelSettings ModelSettings; // 1560

    // ---- battle working area (1616..1711) ------------------------------
    int32_t AbilityCount;                       // 1616
    TRangeArray<uint8_t, 1, 6> Abilities;       // 1620
    int16_t BeltPotionCount;                    // 1626
    int16_t PotionCount;                        // 1628
    TRangeArray<int16_t, 1, 4> BeltPotionSlots; // 1630
    TRangeArray<int16_t, 1, 4> PotionItems;     // 1638: item of drink k
    uint8_t WoundedInBattle;                    // 1646
    uint8_t Battle1647;                         // 1647
    int32_t HitsTaken;                          // 1648
    uint8_t Battle1652[4];                      // 1652
    int32_t AimTarget;                          // 1656
    int32_t AimCount;                           // 1660
    int32_t StreamCount;                        // 1664
    uint8_t Battle1668[8];                      // 1668
    int32_t StreamSlot;                         // 1676
    uint8_t InvalidCount;                       // 1680
    uint8_t LanceCharges;                       // 1681
    uint8_t BonusActionTaken;                   // 1682
    uint8_t Battle1683[13];                     // 1683
    union {                                     // 1696
        int64_t RetreatMerit;
        int64_t StartMerit;
    };
    uint8_t Poison;        // 1704
    uint8_t Battle1705[7]; // 1705

    // Unaligned battle fields.
    int16_t GetWorkStat(int n) const;
    void SetWorkStat(int n, int16_t value);
    float GetShownPosition(int axis) const; // axis 0..2: x, y, z
    void SetShownPosition(int axis, float value);
    float GetMoveVector(int axis) const;
    void SetMoveVector(int axis, float value);

    // A field of the record by offset, for the battle engine's bytes that
    // have no name here. False and nothing done outside the record.
    template <typename T> bool ReadAt(int offset, T& value) const
    {
        static_assert(std::is_trivially_copyable_v<T>);
        if (offset < 0 || static_cast<size_t>(offset) + sizeof(T) > 1712)
            return false;
        std::memcpy(&value, reinterpret_cast<const uint8_t*>(this) + offset, sizeof(T));
        return true;
    }
    template <typename T> bool WriteAt(int offset, const T& value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        if (offset < 0 || static_cast<size_t>(offset) + sizeof(T) > 1712)
            return false;
        std::memcpy(reinterpret_cast<uint8_t*>(this) + offset, &value, sizeof(T));
        return true;
    }
};

#pragma pack(pop)

constexpr int PersonageSize = 1712;
// The bytes a reload copies from the template.
constexpr int PersonageTypePartSize = 624;

static_assert(std::is_trivially_copyable_v<TPersonage>);
static_assert(std::is_standard_layout_v<TPersonage>);
static_assert(sizeof(TPersonage) == PersonageSize);

// Type part.
static_assert(offsetof(TPersonage, BaseType) == 0);
static_assert(offsetof(TPersonage, UnitType) == 4);
static_assert(offsetof(TPersonage, Used) == 9);
static_assert(offsetof(TPersonage, Level) == 12);
static_assert(offsetof(TPersonage, Name) == 16 && sizeof(TPersonage::Name) == 41);
static_assert(offsetof(TPersonage, TypeName) == 57 && sizeof(TPersonage::TypeName) == 21);
static_assert(offsetof(TPersonage, Description) == 78 && sizeof(TPersonage::Description) == 157);
static_assert(offsetof(TPersonage, VoiceTag) == 235 && sizeof(TPersonage::VoiceTag) == 33);
static_assert(offsetof(TPersonage, FileName) == 268 && sizeof(TPersonage::FileName) == 51);
static_assert(offsetof(TPersonage, Nature) == 319);
static_assert(offsetof(TPersonage, Kind) == 320);
static_assert(offsetof(TPersonage, LevelUp) == 321);
static_assert(offsetof(TPersonage, UseAllWeapon) == 322);
static_assert(offsetof(TPersonage, UseAllDefence) == 323);
static_assert(offsetof(TPersonage, MagicSchool) == 324);
static_assert(offsetof(TPersonage, SpellSet) == 325);
static_assert(offsetof(TPersonage, EquipmentType) == 328);
static_assert(offsetof(TPersonage, Weapon) == 332 && sizeof(TPersonage::Weapon) == 3);
static_assert(offsetof(TPersonage, Dagger) == 335);
static_assert(offsetof(TPersonage, Armor) == 336);
static_assert(offsetof(TPersonage, Sex) == 337);
static_assert(offsetof(TPersonage, Shield) == 338);
static_assert(offsetof(TPersonage, Alignment) == 339);
static_assert(offsetof(TPersonage, Horse) == 340);
static_assert(offsetof(TPersonage, Cost) == 348);
static_assert(offsetof(TPersonage, StrengthMultipler) == 352);
static_assert(offsetof(TPersonage, StartExpirience) == 356);
static_assert(offsetof(TPersonage, NextLevelExp) == 360);
static_assert(offsetof(TPersonage, LevelMultipler) == 368);
static_assert(offsetof(TPersonage, BaseStats) == 372 && sizeof(TPersonage::BaseStats) == 16);
static_assert(offsetof(TPersonage, Bonus) == 388 && sizeof(TPersonage::Bonus) == 8);
static_assert(offsetof(TPersonage, BonusAdd) == 396);
static_assert(offsetof(TPersonage, StatGrowth) == 404);
static_assert(offsetof(TPersonage, StatGrowthTenths) == 420);
static_assert(offsetof(TPersonage, DefaultItems) == 436 && sizeof(TPersonage::DefaultItems) == 56);
static_assert(offsetof(TPersonage, Surrender) == 492);
static_assert(offsetof(TPersonage, LevelUpName) == 493);
static_assert(offsetof(TPersonage, UseQuiver) == 494);
static_assert(offsetof(TPersonage, NextUnit) == 496 && sizeof(TPersonage::NextUnit) == 12);
static_assert(offsetof(TPersonage, ImportantNPC) == 508);
static_assert(offsetof(TPersonage, ReplaceHead) == 510);
static_assert(offsetof(TPersonage, Uid) == 512);
static_assert(offsetof(TPersonage, SortGroup) == 516);
static_assert(offsetof(TPersonage, TagName) == 524 && sizeof(TPersonage::TagName) == 33);
static_assert(offsetof(TPersonage, WoundLimit) == 560);
static_assert(offsetof(TPersonage, GarrisonUnit) == 564);
static_assert(offsetof(TPersonage, Strength) == PersonageTypePartSize);

// State part.
static_assert(offsetof(TPersonage, ItemStrength) == 626);
static_assert(offsetof(TPersonage, Experience) == 628);
static_assert(offsetof(TPersonage, AttackMode) == 632);
static_assert(offsetof(TPersonage, Hits) == 634);
static_assert(offsetof(TPersonage, Mana) == 636);
static_assert(offsetof(TPersonage, Spells) == 640 && sizeof(TPersonage::Spells) == 56);
static_assert(offsetof(TPersonage, RefStats) == 696);
static_assert(offsetof(TPersonage, Stats) == 728);
static_assert(offsetof(TPersonage, PersBonus) == 744);
static_assert(offsetof(TPersonage, PersBonusAdd) == 752);
static_assert(offsetof(TPersonage, Equipment) == 760 && sizeof(TPersonage::Equipment) == 56);
static_assert(offsetof(TPersonage, ExpLevel) == 816);
static_assert(offsetof(TPersonage, UpkeepDebt) == 820);
static_assert(offsetof(TPersonage, HitsDebt) == 822);
static_assert(offsetof(TPersonage, PersonalSeed) == 824);
static_assert(offsetof(TPersonage, Talents) == 828 && sizeof(TPersonage::Talents) == 24);
static_assert(offsetof(TPersonage, BonusSet) == 852);
static_assert(offsetof(TPersonage, BattleBonusSet) == 878);
static_assert(offsetof(TPersonage, CohesionCount) == 904);
static_assert(offsetof(TPersonage, NameNature) == 905);
static_assert(offsetof(TPersonage, HireKind) == 916);
static_assert(offsetof(TPersonage, WallsBonus) == 918);
static_assert(offsetof(TPersonage, EncouragementCount) == 919);
static_assert(offsetof(TPersonage, SlotExtra) == 920);
static_assert(offsetof(TPersonage, WoundClock) == 928);
static_assert(offsetof(TPersonage, MapModelIndex) == 936);
static_assert(offsetof(TPersonage, ArenaModelIndex) == 940);
static_assert(offsetof(TPersonage, Icons) == 944);
static_assert(offsetof(TPersonage, FormationRow) == 956);
static_assert(offsetof(TPersonage, FormationColumn) == 960);
static_assert(offsetof(TPersonage, Wounds) == 1520);
static_assert(offsetof(TPersonage, WoundsTaken) == 1524);
static_assert(offsetof(TPersonage, FullHits) == 1528);
static_assert(offsetof(TPersonage, UpgradePoints) == 1532);
static_assert(offsetof(TPersonage, LevelUpFlag) == 1536);
static_assert(offsetof(TPersonage, FullInitiative) == 1544);
static_assert(offsetof(TPersonage, Cursed) == 1556 && offsetof(TPersonage, Paralysed) == 1556);
static_assert(offsetof(TPersonage, ModelSettings) == 1560);

// Battle working area.
static_assert(offsetof(TPersonage, SpellHasTargets) == 964);
static_assert(offsetof(TPersonage, ShieldInHand) == 971);
static_assert(offsetof(TPersonage, PolearmInHand) == 972);
static_assert(offsetof(TPersonage, Waited) == 973);
static_assert(offsetof(TPersonage, WillSuppression) == 974);
static_assert(offsetof(TPersonage, NoRegeneration) == 975);
static_assert(offsetof(TPersonage, NearCommander) == 976);
static_assert(offsetof(TPersonage, Mounted) == 977);
static_assert(offsetof(TPersonage, Stance) == 978);
static_assert(offsetof(TPersonage, Assessment) == 984);
static_assert(offsetof(TPersonage, WorkHits) == 1096);
static_assert(offsetof(TPersonage, WorkStatsBytes) == 1099 + 2);
static_assert(offsetof(TPersonage, WorkBonusSet) == 1133);
static_assert(offsetof(TPersonage, ActorAssessment) == 1160);
static_assert(offsetof(TPersonage, HorseHits) == 1272);
static_assert(offsetof(TPersonage, RoundActionPoints) == 1276);
static_assert(offsetof(TPersonage, ActionPointsLeft) == 1280);
static_assert(offsetof(TPersonage, RoundSteps) == 1284);
static_assert(offsetof(TPersonage, NextTurnRound) == 1288);
static_assert(offsetof(TPersonage, ActionsDone) == 1292);
static_assert(offsetof(TPersonage, HitsDone) == 1296);
static_assert(offsetof(TPersonage, StunLevel) == 1300);
static_assert(offsetof(TPersonage, Fear) == 1304);
static_assert(offsetof(TPersonage, BattleStartHits) == 1316);
static_assert(offsetof(TPersonage, BattleExperience) == 1344);
static_assert(offsetof(TPersonage, BattleState) == 1348);
static_assert(offsetof(TPersonage, ArmourWear) == 1360);
static_assert(offsetof(TPersonage, Effects) == 1352 + 16 && sizeof(TPersonage::Effects) == 80);
static_assert(offsetof(TPersonage, InContact) == 1448);
static_assert(offsetof(TPersonage, PikeBraced) == 1449);
static_assert(offsetof(TPersonage, ShownPositionBytes) == 1451);
static_assert(offsetof(TPersonage, MoveVectorBytes) == 1463);
static_assert(offsetof(TPersonage, Heading) == 1480);
static_assert(offsetof(TPersonage, TurnStartHeading) == 1488);
static_assert(offsetof(TPersonage, TurnDelta) == 1496);
static_assert(offsetof(TPersonage, ExtraMove) == 1504);
static_assert(offsetof(TPersonage, Merit) == 1512);
static_assert(offsetof(TPersonage, AbilityCount) == 1616);
static_assert(offsetof(TPersonage, Abilities) == 1620);
static_assert(offsetof(TPersonage, BeltPotionCount) == 1626);
static_assert(offsetof(TPersonage, PotionCount) == 1628);
static_assert(offsetof(TPersonage, BeltPotionSlots) == 1630);
static_assert(offsetof(TPersonage, PotionItems) == 1636 + 2);
static_assert(offsetof(TPersonage, WoundedInBattle) == 1646);
static_assert(offsetof(TPersonage, HitsTaken) == 1648);
static_assert(offsetof(TPersonage, AimTarget) == 1656);
static_assert(offsetof(TPersonage, AimCount) == 1660);
static_assert(offsetof(TPersonage, StreamCount) == 1664);
static_assert(offsetof(TPersonage, StreamSlot) == 1676);
static_assert(offsetof(TPersonage, InvalidCount) == 1680);
static_assert(offsetof(TPersonage, LanceCharges) == 1681);
static_assert(offsetof(TPersonage, BonusActionTaken) == 1682);
static_assert(offsetof(TPersonage, RetreatMerit) == 1696 && offsetof(TPersonage, StartMerit) == 1696);
static_assert(offsetof(TPersonage, Poison) == 1704);

// The record to and from its stored bytes (exactly PersonageSize of them).
void PersonageToBytes(const TPersonage& p, uint8_t* bytes);
// False, with the record untouched, when fewer than PersonageSize bytes are given.
bool PersonageFromBytes(const uint8_t* bytes, size_t size, TPersonage& p);
