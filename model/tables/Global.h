// Global: the static game tables read once at start-up from the
// configuration folder (bonuses, spells, items, coats of arms, achievements,
// unit types) and the loaders that fill them. The start-up loader thread
// fills them one after another; afterwards they are read-only, except the
// scenario's own unit types (negative indices of UnitTypes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_System.h"
#include "engine/QX9_System_Ini.h"
#include "model/tables/BonusType.h"
#include "model/tables/GameEnums.h"
#include "model/personage/Personage.h"
#include "model/RangeArray.h"

// ---------------------------------------------------------------------------
// Unit start and end

void Global_Initialization();
void Global_Finalization();
// Puts every game table and its counts, icons, names and load errors back
// to the start values, as before the first loader ran (no arena kinds, no
// unit types). The unit end does the same.
void ResetGameTables();

extern uint16_t ArenaKindSet;            // arena kinds 0..15 battles may use: {1..10, 12}
extern uint8_t ScenarioFallbackLanguage; // TLanguage the scenario texts try after the current one

// The table keys of the statistics 1..8 (Hits .. Will), as unit types and
// items name them.
extern const char* const StatKeys[8];

// Lines about table entries the loaders skipped (a group, count or index
// outside the tables); each is also written to stderr.
extern TStringArray TableLoadErrors;

// Display texts of a table entry in the current language.
struct TNamesLang {
    std::u16string Name;
    std::u16string Descript;
};

// ---------------------------------------------------------------------------
// Bonuses

struct TBonusTTX {
    uint8_t Mode = 0; // TBonusType of the entry
    int32_t Image = 0;
    int32_t Icon = -1; // 32 x 32 panel icon, -1 none
    int32_t IconSimple = 0;
    int32_t IconLighten = 0;
    int32_t IconPutted = 0;
    std::u16string Name;
    std::u16string Descript;
    std::string FileName; // icon base name
    int32_t Value = 0;
    int32_t Previous = 0; // talent prerequisite: entry number in the same group, 0 root
    bool Active = false;  // has the three-state ability icons
};

struct TBonusPlace {
    int32_t Group = 0;
    int32_t Entry = 0;
};

constexpr int BonusGroupMax = 21;
constexpr int BonusGroupEntryMax = 203;
constexpr int ItemKindBonusCount = 38;

extern TBonusTTX BonusTable[BonusGroupMax + 1][BonusGroupEntryMax + 1]; // [group 1..21][entry 1..203]
extern int32_t BonusGroupCount[BonusGroupMax + 1];                      // entries of each group 1..21
extern TBonusPlace BonusIndex[BonusTypeCount];                          // where each bonus's entry is; (0, 0) none
extern int32_t BonusValues[BonusTypeCount];                             // "Value" of each bonus, 0 none
extern uint8_t ItemKindBonus[ItemKindBonusCount]; // kind bonus by item kind, pairing and armour class

void LoadBonuses();

// ---------------------------------------------------------------------------
// Spells

struct TSpell {
    uint8_t Mode = 0;   // TMagicSchool 1..8
    uint8_t Global = 0; // 9 BattleSpell, 10 RitualSpell
    bool Tested = false;
    bool BonusOk = false;
    int32_t Image = 0;
    int32_t Icon = -1;
    int32_t IconSmall = -1;
    int32_t IconBase = 0;
    int32_t IconPutted = 0;
    int32_t IconLighten = 0;
    std::u16string Name;
    std::u16string Descript;
    std::string File;
    bool MassEffect = false;
    int32_t Time = 0;
    int32_t Level = 0;
    int32_t CostGold = 0;
    int32_t CostMana = 0;
    int32_t CostManaDecrease = 0;
    int32_t ResultMultiply = 0;
    TRangeArray<uint8_t, 1, 3> Effect{}; // TSpellEffect
    TRangeArray<int16_t, 1, 3> EffectValue1{};
    TRangeArray<int16_t, 1, 3> EffectValue2{};
    TRangeArray<int16_t, 1, 3> EffectValue3{};
    TRangeArray<uint8_t, 1, 3> EffectBonus{}; // TBonusType
    TRangeArray<uint8_t, 1, 3> Condition{};   // TSpellTarget
    uint8_t TargetFlags = 0;                  // 19 allies, 17 enemies, 31 any
    TRangeArray<int32_t, 1, 4> SpellPower{};
    TRangeArray<int32_t, 1, 4> SpellStrength{};
    int32_t Previous = 0;
    bool CurseSpell = false;
    bool BlessSpell = false;
    bool NearbyCondition = false;
    bool SummonsGhost = false;
    bool DrainsWill = false;
    uint8_t DrainsWillEffect = 0;
    std::string VideoEffect; // lower case
    int32_t VideoEffectIndex = -1;
};

struct TSchoolSpells {
    int32_t Count = 0;
    TRangeArray<int32_t, 1, 20> Spells{}; // spell numbers
};

constexpr int SpellMax = 100;
constexpr int SchoolSpellMax = 20;
constexpr int SpellPresetCount = 5;
constexpr int SpellPresetSize = 9;

extern TSpell SpellTable[SpellMax + 1]; // spells 1..SpellCount
extern int32_t SpellCount;
extern TSchoolSpells SchoolSpells[MagicSchoolCount]; // battle spells of each school 0..10, in table order
extern int32_t SpellPresets[9][SpellPresetCount + 1][SpellPresetSize + 1]; // [school 0..8][preset 1..5][1..9]

void LoadSpells();

// ---------------------------------------------------------------------------
// Items, model settings, coats of arms, achievements

struct TItems {
    uint8_t MainType = 0; // TItemType
    int32_t SubType = 0;
    int32_t Image = 0; // icon number in ItemIconSprites, 0 none
    int32_t Mesh = -1;
    int32_t MeshTextures[6] = {}; // by texture stage, 0 none
    TModelSettings Model = DefaultModelSettings();
    std::string Name;     // 8-bit, at most 50 bytes
    std::string Descript; // 8-bit, at most 250 bytes
    std::string FileName;
    std::string IconFileName;
    int32_t Cost = 0;
    int32_t Unique = 0;
    int32_t EquipmentType = 0;
    TStatArray Max{};
    TStatArray Abs{};
    TStatArray Prc{};
    TBonusList Bonus{};
    uint8_t Alignment = 0; // TAlignment
    int32_t dHit = 0;
    int32_t dMana = 0;
    int32_t dWound = 0;
    int32_t Strength = 0;
};

constexpr int ItemMax = 600;
constexpr int ItemNameMax = 50;
constexpr int ItemDescriptMax = 250;

extern TItems ItemTable[ItemMax + 1]; // items 1..ItemCount
extern int32_t ItemCount;
extern TNamesLang ItemNames[ItemMax + 1]; // display texts parallel to ItemTable
extern int32_t ItemMaxCost;
extern TStringArray ItemIconFiles; // icon file names 1..ItemIconLast, sorted by bytes; entry 0 unused
extern TIntArray ItemIconSprites;  // sprite of each icon file 1..ItemIconLast; entry 0 unused
extern int32_t ItemIconLast;

struct TCoatIcon {
    int32_t Icon32 = 0;
    int32_t Icon26 = 0;
    int32_t Icon16 = 0;
    int32_t Icon54 = 0;
};
extern TStringArray CoatFiles;           // coat icon file names, installation first, then mods
extern std::vector<TCoatIcon> CoatIcons; // sprites parallel to CoatFiles
extern int32_t CoatLast;                 // last index, 0 without coats

struct TAchievement {
    std::string UID;
    std::string IconFile;
    std::string IconFile2;
    std::u16string Name;
    std::u16string Text;
};
extern std::vector<TAchievement> AchievementDefs; // in file order, numbered from 0

void ReadModelSettings(const std::string& fileName, TIniFile& settingsFile, TModelSettings& settings);
void LoadItems();
void LoadCoatIcons();
void LoadAchievements();

// ---------------------------------------------------------------------------
// Unit types

constexpr int UnitTypeMax = 255;

extern TRangeArray<TPersonage, -UnitTypeMax, UnitTypeMax> UnitTypes;     // templates: 1.. Units.Ini, below 0 scenario
extern int32_t UnitTypeCount;                                            // Units.Ini types
extern TRangeArray<TNamesLang, -UnitTypeMax, UnitTypeMax> UnitTypeNames; // display names, indexed like UnitTypes
extern int32_t PersonageTypePartLength;                                  // bytes a reload copies from the template

void LoadUnitTypes();
int32_t FindUnitTypeByName(const std::string& tagName);
// The portrait's file name (before the base name is taken) of a type whose
// model is fileName: a duke body with a head suffix from replaceHead
// (260..265, 282, 283) becomes the body's name and the suffix.
std::string PortraitBaseName(const std::string& fileName, int32_t replaceHead);
// Loads the portrait file as the type's large portrait (230 x 190) and its
// two smaller copies (174 x 146, 104 x 88) into Icons 3, 2 and 1.
void LoadPortraitSprites(TPersonage& type, const std::string& file);
