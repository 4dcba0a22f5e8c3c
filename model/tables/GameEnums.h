// The enumerations of the game tables, each with the words the table files
// use for its values (value order from 0). Enumerations whose words repeat in
// another one are scoped; the spell effect and target words are unique and
// stay plain, as the battle rules name them often.
#pragma once

#include <cstdint>
#include <string>

// The value whose word equals the text exactly (case-sensitive), the last
// match counting; 0 when no word matches.
int WordToValue(const char* const* words, int count, const std::string& text);

// TItemType: item kind: the word of "MainType" in Items.Ini.
enum class TItemType : uint8_t {
    Sword = 0,
    Axe = 1,
    Crowbill = 2,
    Mace = 3,
    Dagger = 4,
    Pole = 5,
    Pitchfork = 6,
    Spear = 7,
    LongSword = 8,
    Halberd = 9,
    Hammer = 10,
    Pike = 11,
    Lance = 12,
    Spectral = 13,
    Sling = 14,
    Bow = 15,
    Arbalet = 16,
    Gun = 17,
    Canon = 18,
    Staff = 19,
    Wand = 20,
    Book = 21,
    Arrow = 22,
    Shield = 23,
    Helm = 24,
    Armor = 25,
    Clothes = 26,
    Amulet = 27,
    Ring = 28,
    Potion = 29,
    Scroll = 30,
    SpellBook = 31,
    Horse = 32,
    HorseItem = 33,
    Item = 34,
    Head = 35,
    NPC = 36,
};
constexpr int ItemTypeCount = 37;
extern const char* const ItemTypeNames[ItemTypeCount];
inline TItemType ItemTypeByName(const std::string& text)
{
    return static_cast<TItemType>(WordToValue(ItemTypeNames, ItemTypeCount, text));
}

// TAlignment: alignment of an item or a unit type.
enum class TAlignment : uint8_t {
    Neutral = 0,
    Good = 1,
    Evil = 2,
    MaxGood = 3,
    MaxEvil = 4,
};
constexpr int AlignmentCount = 5;
extern const char* const AlignmentNames[AlignmentCount];
inline TAlignment AlignmentByName(const std::string& text)
{
    return static_cast<TAlignment>(WordToValue(AlignmentNames, AlignmentCount, text));
}

// TPersNature: nature and kind of a unit type.
enum class TPersNature : uint8_t {
    None = 0,
    People = 1,
    Other = 2,
    Undead = 3,
    Animal = 4,
    Recruit = 5,
    Military = 6,
    Leader = 7,
    Hero = 8,
    Rogue = 9,
    Chruchman = 10,
    Hiler = 11,
    Witch = 12,
    Heretic = 13,
    Necromant = 14,
    Vampire = 15,
    Ghost = 16,
    Lich = 17,
    Monster = 18,
    Beast = 19,
    Garrison = 20,
    Statue = 21,
    Merchant = 22,
};
constexpr int PersNatureCount = 23;
extern const char* const PersNatureNames[PersNatureCount];
inline TPersNature PersNatureByName(const std::string& text)
{
    return static_cast<TPersNature>(WordToValue(PersNatureNames, PersNatureCount, text));
}

// TAttackKind: how a unit type fights and grows ("LevelUp").
enum class TAttackKind : uint8_t {
    Fight = 0,
    Shoot = 1,
    MagicAlchemy = 2,
    MagicThaumaturgy = 3,
    MagicHealing = 4,
    MagicWitchcraft = 5,
    MagicDemonology = 6,
    MagicNecromancy = 7,
    MagicForest = 8,
    MagicGhost = 9,
};
constexpr int AttackKindCount = 10;
extern const char* const AttackKindNames[AttackKindCount];
inline TAttackKind AttackKindByName(const std::string& text)
{
    return static_cast<TAttackKind>(WordToValue(AttackKindNames, AttackKindCount, text));
}

// TSex: sex of a unit type.
enum class TSex : uint8_t {
    Male = 0,
    Female = 1,
    None = 2,
};
constexpr int SexCount = 3;
extern const char* const SexNames[SexCount];
inline TSex SexByName(const std::string& text)
{
    return static_cast<TSex>(WordToValue(SexNames, SexCount, text));
}

// TGarrisonUpgrade: building service a garrison type upgrades with.
enum class TGarrisonUpgrade : uint8_t {
    guNone = 0,
    guBlacksmith = 1,
    guCastellan = 2,
    guCaptain = 3,
    guHospital = 4,
    guHuntsman = 5,
    guMerchant = 6,
};
constexpr int GarrisonUpgradeCount = 7;
extern const char* const GarrisonUpgradeNames[GarrisonUpgradeCount];
inline TGarrisonUpgrade GarrisonUpgradeByName(const std::string& text)
{
    return static_cast<TGarrisonUpgrade>(WordToValue(GarrisonUpgradeNames, GarrisonUpgradeCount, text));
}

// TArmorKind: heaviest body armour a unit type wears.
enum class TArmorKind : uint8_t {
    None = 0,
    Dress = 1,
    Robe = 2,
    LightArmor = 3,
    MediumArmor = 4,
    HeavyArmor = 5,
};
constexpr int ArmorKindCount = 6;
extern const char* const ArmorKindNames[ArmorKindCount];
inline TArmorKind ArmorKindByName(const std::string& text)
{
    return static_cast<TArmorKind>(WordToValue(ArmorKindNames, ArmorKindCount, text));
}

// TShieldKind: largest shield a unit type carries.
enum class TShieldKind : uint8_t {
    None = 0,
    Shield = 1,
    BigShield = 2,
    Pavise = 3,
};
constexpr int ShieldKindCount = 4;
extern const char* const ShieldKindNames[ShieldKindCount];
inline TShieldKind ShieldKindByName(const std::string& text)
{
    return static_cast<TShieldKind>(WordToValue(ShieldKindNames, ShieldKindCount, text));
}

// TWeaponClass: weapon class a unit type may use.
enum class TWeaponClass : uint8_t {
    None = 0,
    Sword = 1,
    Axe = 2,
    Crowbill = 3,
    Mace = 4,
    Dagger = 5,
    Pole = 6,
    Pitchfork = 7,
    Spear = 8,
    LongSword = 9,
    Halberd = 10,
    Hammer = 11,
    Pike = 12,
    Lance = 13,
    Spectral = 14,
    Sling = 15,
    Bow = 16,
    Arbalet = 17,
    Gun = 18,
    Canon = 19,
    Staff = 20,
    Wand = 21,
    Book = 22,
    AllHand = 23,
    AllOneHand = 24,
    AllTwoHand = 25,
    AllPole = 26,
    AllShot = 27,
    AllSword = 28,
    AllMace = 29,
    AllAxe = 30,
};
constexpr int WeaponClassCount = 31;
extern const char* const WeaponClassNames[WeaponClassCount];
inline TWeaponClass WeaponClassByName(const std::string& text)
{
    return static_cast<TWeaponClass>(WordToValue(WeaponClassNames, WeaponClassCount, text));
}

// TSortGroup: group a unit type is listed under.
enum class TSortGroup : uint8_t {
    None = 0,
    Militias = 1,
    Warriors = 2,
    Bowmens = 3,
    Nobles = 4,
    Lords = 5,
    Heroes = 6,
    Wizards = 7,
    Warlocks = 8,
    Bandits = 9,
    Civil = 10,
    Undead = 11,
    Monsters = 12,
    Bosses = 13,
    NamedNPC = 14,
};
constexpr int SortGroupCount = 15;
extern const char* const SortGroupNames[SortGroupCount];
inline TSortGroup SortGroupByName(const std::string& text)
{
    return static_cast<TSortGroup>(WordToValue(SortGroupNames, SortGroupCount, text));
}

// TMagicSchool: magic school of a spell; 9 and 10 mark battle and ritual spells.
enum class TMagicSchool : uint8_t {
    NoMagic = 0,
    Alchemy = 1,
    Thaumaturgy = 2,
    Healing = 3,
    Witchcraft = 4,
    Demonology = 5,
    Necromancy = 6,
    BloodMagic = 7,
    GhostForce = 8,
    BattleSpell = 9,
    RitualSpell = 10,
};
constexpr int MagicSchoolCount = 11;
extern const char* const MagicSchoolNames[MagicSchoolCount];
inline TMagicSchool MagicSchoolByName(const std::string& text)
{
    return static_cast<TMagicSchool>(WordToValue(MagicSchoolNames, MagicSchoolCount, text));
}

// TSpellEffect: what one effect of a spell does.
enum TSpellEffect : uint8_t {
    eNone = 0,
    eHit = 1,
    eCure = 2,
    eDamage = 3,
    eWillLifeSteal = 4,
    eWillManaSteal = 5,
    eSelfCure = 6,
    eSelfManaRestore = 7,
    eInitiative = 8,
    eAttack = 9,
    eAttackBlow = 10,
    eAttackShot = 11,
    eDefenseAll = 12,
    eDefense = 13,
    eProtect = 14,
    eMagicPower = 15,
    eWill = 16,
    eTotal = 17,
    eRemoveCurse = 18,
    eRemoveBless = 19,
    eRemoveSpell = 20,
    eGoodDay = 21,
    eSummonGhost = 22,
    eKnockOut = 23,
    eExorcism = 24,
    eImmediatelyAttack = 25,
};
constexpr int SpellEffectCount = 26;
extern const char* const SpellEffectNames[SpellEffectCount];
inline TSpellEffect SpellEffectByName(const std::string& text)
{
    return static_cast<TSpellEffect>(WordToValue(SpellEffectNames, SpellEffectCount, text));
}

// TSpellTarget: a target condition of a spell.
enum TSpellTarget : uint8_t {
    cNone = 0,
    cMag = 1,
    cAll = 2,
    cAlly = 3,
    cAllyFight = 4,
    cAllyShoot = 5,
    cAllySpell = 6,
    cEnemy = 7,
    cEnemyFight = 8,
    cEnemyShoot = 9,
    cEnemySpell = 10,
    cEmpty = 11,
    cLive = 12,
    cUndead = 13,
    cUneadPossesed = 14,
    cBlessed = 15,
    cCursed = 16,
    cHealthy = 17,
    cWounded = 18,
    cDead = 19,
    cHorse = 20,
    cNearby = 21,
    cNoWill = 22,
};
constexpr int SpellTargetCount = 23;
extern const char* const SpellTargetNames[SpellTargetCount];
inline TSpellTarget SpellTargetByName(const std::string& text)
{
    return static_cast<TSpellTarget>(WordToValue(SpellTargetNames, SpellTargetCount, text));
}
