#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/tables/BonusType.h"
#include "model/tables/BuildingType.h"
#include "model/tables/GameEnums.h"

// Every name-to-number pair the rules and formats state.
TEST(BonusTypeTest, StatedNumbers)
{
    const std::pair<const char*, int> stated[] = {
        {"No", 0},
        {"Regeneration", 1},
        {"VampireBat", 2},
        {"ThePhantom", 3},
        {"TheUndead", 4},
        {"Poisoned", 6},
        {"Evasive", 8},
        {"Ambush", 9},
        {"bQuake", 10},
        {"Terrible", 12},
        {"Stability", 13},
        {"CounterBlow", 15},
        {"Penetrate", 16},
        {"NightFight", 17},
        {"StunBlow", 18},
        {"MagicWeapon", 19},
        {"SilverWeapon", 21},
        {"BlessedWeapon", 22},
        {"BackStrike", 23},
        {"pLifesteal", 24},
        {"pStrength", 26},
        {"pCharming", 29},
        {"StrongArmor", 30},
        {"StrongHelm", 31},
        {"PowerRecovering", 32},
        {"Fearless", 33},
        {"eInsanity", 35},
        {"eInvulnerability", 36},
        {"eFear", 37},
        {"eWillLost", 38},
        {"eParalysation", 44},
        {"eVulnerability", 49},
        {"eCounterPos", 51},
        {"eAttackPos", 52},
        {"eShootPos", 53},
        {"eWaitPos", 54},
        {"eCureAndMove", 56},
        {"eStopCure", 57},
        {"eDemoniac", 58},
        {"eEvilProtect", 59},
        {"eBloodyRage", 60},
        {"eRevenge", 61},
        {"eRust", 62},
        {"eCureCircle", 63},
        {"eStrikeCircle", 64},
        {"eImmobility", 65},
        {"eEvilEye", 66},
        {"eFogView", 68},
        {"eCourage", 69},
        {"eWillAttack", 70},
        {"eDarkness", 72},
        {"eCoverPos", 73},
        {"eParryPos", 74},
        {"ePoison", 75},
        {"eManaBurnPos", 76},
        {"eInvalid", 77},
        {"pRedneck", 78},
        {"pNoble", 79},
        {"pAmbush", 81},
        {"pNightFight", 82},
        {"pTerrible", 83},
        {"pRegeneration", 84},
        {"pCounterSpear", 85},
        {"pPowerfulStrike", 86},
        {"pAimedShot", 87},
        {"pPiercingShot", 88},
        {"pRammingAttack", 90},
        {"pCloseShot", 91},
        {"pBloodRage", 92},
        {"pParry", 93},
        {"pCover", 94},
        {"pDefense", 95},
        {"pGuard", 96},
        {"pSuppressionWill", 97},
        {"pMeditation", 98},
        {"pGodWarrior", 99},
        {"pFearless", 100},
        {"pPowerRecovering", 101},
        {"pPreacher", 102},
        {"pUngodly", 103},
        {"pDegenerate", 104},
        {"bHealthy", 105},
        {"bUndead", 106},
        {"bStone", 107},
        {"bRegeneration", 108},
        {"bVampire", 109},
        {"bLevitation", 112},
        {"bSword", 114},
        {"bAxe", 115},
        {"bCrowbill", 116},
        {"bMace", 117},
        {"bDagger", 118},
        {"bPole", 119},
        {"bPitchfork", 120},
        {"bSpear", 121},
        {"bLongSword", 122},
        {"bHalberd", 123},
        {"bHammer", 124},
        {"bPike", 125},
        {"bLance", 126},
        {"bSpectral", 127},
        {"bSwordDagger", 128},
        {"bAxeDagger", 129},
        {"bCrowbillDagger", 130},
        {"bMaceDagger", 131},
        {"bClaws", 132},
        {"bPaw", 133},
        {"bBow", 135},
        {"bArbalet", 136},
        {"bStaff", 145},
        {"bStaff5", 150},
        {"bWand", 151},
        {"bWand5", 156},
        {"bBook", 157},
        {"bBook5", 162},
        {"bClothes", 163},
        {"bLightArmor", 164},
        {"bMediumArmor", 165},
        {"bHeavyArmor", 166},
        {"bShootIgnor", 167},
        {"bInvincible", 168},
        {"bEvasive", 169},
        {"bMeditation", 170},
        {"tCommander", 171},
        {"tEncouragement", 172},
        {"tCohesion", 173},
        {"tSiegesMaster", 175},
        {"tMerchant", 176},
        {"tTraveler", 177},
        {"tFeudal", 178},
        {"tIronHealth", 179},
        {"tMountedCombat", 180},
        {"tTournamentHero", 181},
        {"tRage", 182},
        {"tTwoHandedWeapon", 183},
        {"tPowerfulPunch", 184},
        {"tExposure", 185},
        {"tAdjustFire", 186},
        {"tAimedShot", 187},
        {"tReadyCrossbow", 188},
        {"tStunningShot", 189},
        {"tLongRange", 190},
        {"tStream", 191},
        {"tNecromancy", 192},
        {"tAlchemy", 193},
        {"tEnergyBursts", 195},
        {"tPunishingFire", 196},
        {"eEncouragement", 197},
        {"tBugurtVeteran", 198},
        {"tFencingMaster", 199},
        {"eRage", 200},
        {"eCastleDefense", 201},
        {"eCohesion", 202},
        {"pMagicRecoil", 203},
    };
    for (const auto& [name, value] : stated) {
        SCOPED_TRACE(name);
        EXPECT_STREQ(BonusNames[value], name);
        if (value != 0) {
            EXPECT_EQ(BonusTypeByName(name), value);
        }
    }
    // Names the rules use without a number have a place, and every name is one value.
    for (const char* name :
         {"PoisonStrike",  "pPoisonStrike", "HorseMaster",  "pHorseMaster",    "pMarauder",  "eStunedLight",
          "eStunedMedium", "eStunedHeavy",  "eAnafema",     "eCloseCombat",    "eCommander", "eDamagedArmor",
          "eDefensePos",   "eManaPos",      "eWillDefense", "tFerrumShield",   "bSling",     "bGun",
          "bCanon",        "bHand",         "bHand5",       "ProtectExplosion"})
        EXPECT_NE(BonusTypeByName(name), NoBonus) << name;
    std::set<std::string> names(BonusNames, BonusNames + BonusTypeCount);
    EXPECT_EQ(names.size(), static_cast<size_t>(BonusTypeCount));
}

TEST(BonusTypeTest, ByNameIsExact)
{
    EXPECT_EQ(BonusTypeByName("No"), NoBonus); // "No" names no bonus
    EXPECT_EQ(BonusTypeByName(""), NoBonus);
    EXPECT_EQ(BonusTypeByName("bsword"), NoBonus);
    EXPECT_EQ(BonusTypeByName("bSword "), NoBonus);
    EXPECT_EQ(BonusTypeByName("NoBonus"), NoBonus);
}

TEST(BuildingTypeTest, StatedOrder)
{
    const std::pair<const char*, TBuildingType> stated[] = {
        {"Town", TBuildingType::Town},   {"Ruin", TBuildingType::Ruin},     {"Cementry", TBuildingType::Cementry},
        {"Altar", TBuildingType::Altar}, {"Cave", TBuildingType::Cave},     {"None", TBuildingType::None},
        {"Camp", TBuildingType::Camp},   {"Chapel", TBuildingType::Chapel},
    };
    for (const auto& [name, value] : stated)
        EXPECT_EQ(BuildingTypeByName(name), static_cast<int>(value)) << name;
    EXPECT_EQ(static_cast<int>(TBuildingType::None), 20);
    // Coats are not drawn on these four: they are 13, 14, 15 and 17.
    EXPECT_EQ(static_cast<int>(TBuildingType::Ruin), 13);
    EXPECT_EQ(static_cast<int>(TBuildingType::Cementry), 14);
    EXPECT_EQ(static_cast<int>(TBuildingType::Altar), 15);
    EXPECT_EQ(static_cast<int>(TBuildingType::Cave), 17);
    // "Town to Chapel" is the church range; "from Camp on" have no home armies.
    EXPECT_LT(static_cast<int>(TBuildingType::Chapel), static_cast<int>(TBuildingType::Village));
    EXPECT_LT(static_cast<int>(TBuildingType::Mine), static_cast<int>(TBuildingType::Camp));
    EXPECT_EQ(BuildingTypeByName("Castel"), -1);
}

TEST(GameEnumsTest, WordsTakeTheLastExactMatch)
{
    EXPECT_EQ(ItemTypeByName("Shield"), TItemType::Shield);
    EXPECT_EQ(static_cast<int>(ItemTypeByName("NPC")), 36);
    EXPECT_EQ(ItemTypeByName("shield"), TItemType::Sword); // unrecognised: 0
    EXPECT_EQ(static_cast<int>(WeaponClassByName("AllAxe")), 30);
    EXPECT_EQ(static_cast<int>(PersNatureByName("Merchant")), 22);
    EXPECT_EQ(static_cast<int>(SortGroupByName("NamedNPC")), 14);
    EXPECT_EQ(static_cast<int>(AttackKindByName("MagicGhost")), 9);
    EXPECT_EQ(SpellEffectByName("eImmediatelyAttack"), eImmediatelyAttack);
    EXPECT_EQ(static_cast<int>(eImmediatelyAttack), 25);
    EXPECT_EQ(static_cast<int>(cNoWill), 22);
    const char* const words[] = {"A", "B", "A"};
    EXPECT_EQ(WordToValue(words, 3, "A"), 2);
}
