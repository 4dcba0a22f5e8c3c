#include "model/tables/GameEnums.h"

int WordToValue(const char* const* words, int count, const std::string& text)
{
    for (int v = count - 1; v >= 0; --v)
        if (text == words[v])
            return v;
    return 0;
}

const char* const ItemTypeNames[ItemTypeCount] = {
    "Sword",  "Axe",       "Crowbill", "Mace",      "Dagger", "Pole",  "Pitchfork", "Spear",  "LongSword", "Halberd",
    "Hammer", "Pike",      "Lance",    "Spectral",  "Sling",  "Bow",   "Arbalet",   "Gun",    "Canon",     "Staff",
    "Wand",   "Book",      "Arrow",    "Shield",    "Helm",   "Armor", "Clothes",   "Amulet", "Ring",      "Potion",
    "Scroll", "SpellBook", "Horse",    "HorseItem", "Item",   "Head",  "NPC",
};

const char* const AlignmentNames[AlignmentCount] = {
    "Neutral", "Good", "Evil", "MaxGood", "MaxEvil",
};

const char* const PersNatureNames[PersNatureCount] = {
    "None",  "People", "Other",     "Undead", "Animal",   "Recruit", "Military",  "Leader",
    "Hero",  "Rogue",  "Chruchman", "Hiler",  "Witch",    "Heretic", "Necromant", "Vampire",
    "Ghost", "Lich",   "Monster",   "Beast",  "Garrison", "Statue",  "Merchant",
};

const char* const AttackKindNames[AttackKindCount] = {
    "Fight",           "Shoot",           "MagicAlchemy",    "MagicThaumaturgy", "MagicHealing",
    "MagicWitchcraft", "MagicDemonology", "MagicNecromancy", "MagicForest",      "MagicGhost",
};

const char* const SexNames[SexCount] = {
    "Male",
    "Female",
    "None",
};

const char* const GarrisonUpgradeNames[GarrisonUpgradeCount] = {
    "guNone", "guBlacksmith", "guCastellan", "guCaptain", "guHospital", "guHuntsman", "guMerchant",
};

const char* const ArmorKindNames[ArmorKindCount] = {
    "None", "Dress", "Robe", "LightArmor", "MediumArmor", "HeavyArmor",
};

const char* const ShieldKindNames[ShieldKindCount] = {
    "None",
    "Shield",
    "BigShield",
    "Pavise",
};

const char* const WeaponClassNames[WeaponClassCount] = {
    "None",       "Sword",      "Axe",     "Crowbill", "Mace",     "Dagger",  "Pole",     "Pitchfork",
    "Spear",      "LongSword",  "Halberd", "Hammer",   "Pike",     "Lance",   "Spectral", "Sling",
    "Bow",        "Arbalet",    "Gun",     "Canon",    "Staff",    "Wand",    "Book",     "AllHand",
    "AllOneHand", "AllTwoHand", "AllPole", "AllShot",  "AllSword", "AllMace", "AllAxe",
};

const char* const SortGroupNames[SortGroupCount] = {
    "None",     "Militias", "Warriors", "Bowmens", "Nobles",   "Lords",  "Heroes",   "Wizards",
    "Warlocks", "Bandits",  "Civil",    "Undead",  "Monsters", "Bosses", "NamedNPC",
};

const char* const MagicSchoolNames[MagicSchoolCount] = {
    "NoMagic",    "Alchemy",    "Thaumaturgy", "Healing",     "Witchcraft",  "Demonology",
    "Necromancy", "BloodMagic", "GhostForce",  "BattleSpell", "RitualSpell",
};

const char* const SpellEffectNames[SpellEffectCount] = {
    "eNone",          "eHit",
    "eCure",          "eDamage",
    "eWillLifeSteal", "eWillManaSteal",
    "eSelfCure",      "eSelfManaRestore",
    "eInitiative",    "eAttack",
    "eAttackBlow",    "eAttackShot",
    "eDefenseAll",    "eDefense",
    "eProtect",       "eMagicPower",
    "eWill",          "eTotal",
    "eRemoveCurse",   "eRemoveBless",
    "eRemoveSpell",   "eGoodDay",
    "eSummonGhost",   "eKnockOut",
    "eExorcism",      "eImmediatelyAttack",
};

const char* const SpellTargetNames[SpellTargetCount] = {
    "cNone",       "cMag",        "cAll",        "cAlly",  "cAllyFight", "cAllyShoot", "cAllySpell",     "cEnemy",
    "cEnemyFight", "cEnemyShoot", "cEnemySpell", "cEmpty", "cLive",      "cUndead",    "cUneadPossesed", "cBlessed",
    "cCursed",     "cHealthy",    "cWounded",    "cDead",  "cHorse",     "cNearby",    "cNoWill",
};
