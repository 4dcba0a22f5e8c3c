// Personage reload, attack mode and strength rating.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/model/RulesTestSupport.h"

namespace {

class PersonageReloadTest : public TRulesTest {};

bool SameBytes(const TPersonage& a, const TPersonage& b)
{
    return std::memcmp(&a, &b, sizeof(TPersonage)) == 0;
}

} // namespace

TEST_F(PersonageReloadTest, StatsGrowWithLevelsHalvesToEven)
{
    TPersonage& t = AddType("Footman");
    t.StatGrowth[1] = 1;
    t.StatGrowthTenths[1] = 5;
    t.StatGrowth[6] = 0;
    t.StatGrowthTenths[6] = 5;
    struct TRow {
        int ExpLevel;
        int Hits;
        int Defense;
    };
    // 1.5 x 3 = 4.5 -> 4; 1.5 x 1 -> 2; 0.5 x 1 -> 0; 0.5 x 3 = 1.5 -> 2.
    const TRow rows[] = {{0, 50, 0}, {1, 52, 0}, {3, 54, 2}, {5, 58, 2}};
    for (const TRow& row : rows) {
        TPersonage p = Make(1);
        p.ExpLevel = row.ExpLevel;
        ReloadPersonage(p, 0);
        EXPECT_EQ(p.FullHits, row.Hits) << "level " << row.ExpLevel;
        EXPECT_EQ(p.Stats[6], row.Defense) << "level " << row.ExpLevel;
    }
}

TEST_F(PersonageReloadTest, NextLevelExperienceFollowsTheCurve)
{
    struct TRow {
        int Multiplier, Start, ExpLevel, Expected;
    };
    const TRow rows[] = {
        {150, 100, 0, 100}, {150, 100, 1, 150}, {150, 100, 2, 225}, {150, 100, 3, 340}, // 337.5 -> 67.5 fifths -> 68
        {100, 0, 4, 0},     {0, 100, 0, 100},   {0, 100, 2, 0},     {120, 33, 1, 40},   // 39.6 -> 7.92 -> 8 fifths
    };
    for (const TRow& row : rows) {
        TPersonage& t = AddType("T");
        t.LevelMultipler = row.Multiplier;
        t.StartExpirience = row.Start;
        TPersonage p = Make(UnitTypeCount);
        p.ExpLevel = row.ExpLevel;
        ReloadPersonage(p, 0);
        EXPECT_EQ(p.NextLevelExp, row.Expected) << row.Multiplier << " " << row.Start << " " << row.ExpLevel;
    }
}

TEST_F(PersonageReloadTest, AttackModeNeedsAStrictMaximum)
{
    struct TRow {
        int Blow, Shot, Magic;
        uint8_t Expected;
    };
    const TRow rows[] = {
        {10, 5, 0, AttackModeFight},  {5, 10, 0, AttackModeShoot}, {0, 0, 7, AttackModeSpell},
        {8, 8, 0, AttackModeNone},    {3, 9, 9, AttackModeNone},   {0, 0, 0, AttackModeNone},
        {-2, -5, -1, AttackModeNone},
    };
    for (const TRow& row : rows) {
        TPersonage p;
        std::memset(static_cast<void*>(&p), 0, sizeof p);
        p.Stats[3] = static_cast<int16_t>(row.Blow);
        p.Stats[4] = static_cast<int16_t>(row.Shot);
        p.Stats[5] = static_cast<int16_t>(row.Magic);
        SetAttackMode(p);
        EXPECT_EQ(p.AttackMode, row.Expected) << row.Blow << "," << row.Shot << "," << row.Magic;
    }
}

TEST_F(PersonageReloadTest, StrengthOfSimpleFighters)
{
    // Worked by hand in real arithmetic: a bare-handed fighter of 50 hits,
    // initiative 10 and attack 10 rates round(699.37) = 699; a swordsman
    // (sword bonus 120, multiplier 150) of 60/12/20 with defense 8, protect 4
    // and will 6 rates round(2627.14) = 2627.
    SetKindBonuses();
    AddType("Brawler");
    TPersonage brawler = Make(1);
    EXPECT_EQ(brawler.AttackMode, AttackModeFight);
    EXPECT_EQ(brawler.PersBonus[3], 0);
    EXPECT_EQ(brawler.Strength, 699);
    EXPECT_EQ(brawler.ItemStrength, 699);

    BonusValues[bSword] = 120;
    const int32_t sword = AddItem(TItemType::Sword);
    ItemTable[sword].Strength = 57;
    TPersonage& t = AddType("Swordsman");
    t.Weapon[1] = static_cast<uint8_t>(TWeaponClass::Sword);
    t.DefaultItems[1] = sword;
    t.StrengthMultipler = 150;
    t.BaseStats[1] = 60;
    t.BaseStats[2] = 12;
    t.BaseStats[3] = 20;
    t.BaseStats[6] = 8;
    t.BaseStats[7] = 4;
    t.BaseStats[8] = 6;
    TPersonage swordsman = Make(2);
    EXPECT_EQ(swordsman.PersBonus[3], bSword);
    EXPECT_EQ(swordsman.PersBonus[5], bClothes);
    EXPECT_EQ(swordsman.Strength, 2627);
    EXPECT_EQ(swordsman.ItemStrength, 2627 + 5);

    // Protection from explosions raises the rating by a thousandth:
    // 699.37 x 1.001 = 700.07.
    UnitTypes[1].Bonus[1] = ProtectExplosion;
    EXPECT_EQ(Make(1).Strength, 700);

    // No health, no rating.
    swordsman.Stats[1] = 0;
    CalcPersonageStrength(swordsman);
    EXPECT_EQ(swordsman.Strength, 0);
    EXPECT_EQ(swordsman.ItemStrength, 0);
}

TEST_F(PersonageReloadTest, StrengthSurvivesOddValues)
{
    // A caster whose power was lowered to nothing, with power recovering, and
    // a personage without a wound limit: no division by zero, nothing kept.
    TPersonage& t = AddType("Hedge wizard");
    t.BaseStats[3] = 0;
    t.BaseStats[5] = 1;
    t.Bonus[1] = PowerRecovering;
    BonusValues[PowerRecovering] = 40;
    const int32_t potion = AddItem(TItemType::Potion);
    ItemTable[potion].dWound = 1;
    ItemTable[potion].dMana = 8;
    ItemTable[potion].Max[5] = -1;
    ItemTable[potion].Abs[5] = -1;
    TPersonage p = Make(1);
    ASSERT_EQ(p.AttackMode, AttackModeSpell);
    p.Equipment[9] = potion;
    p.WoundLimit = 0;
    const TPersonage before = p;
    CalcPersonageStrength(p);
    EXPECT_GT(p.Strength, 0);
    EXPECT_EQ(std::memcmp(&p.Stats, &before.Stats, sizeof p.Stats), 0);
    EXPECT_EQ(std::memcmp(&p.BonusSet, &before.BonusSet, sizeof p.BonusSet), 0);
}

TEST_F(PersonageReloadTest, TwoReloadsGiveTheSameRecordAndTheSameName)
{
    UseUnitPersonalization = true;
    PersonalNames.PlebMen = {"Finn", "Gus", "Hob", "Ivo"};
    FeaturesPercent = 100;
    SmallRandomCount = 4;
    for (int i = 1; i <= 8; ++i)
        SmallRandomMaxDelta[i] = 4;
    TFeature strong;
    strong.Code = "STR";
    strong.Weight = 1;
    strong.NameCount = 2;
    strong.MaleNames[1] = "the Strong";
    strong.MaleNames[2] = "Oakarm";
    strong.StatDelta[1] = 7;
    FeatureTable = {strong};
    FeatureLists[1] = {0};
    FeatureCounts[1] = 1;
    PersonalizationEnabled = 1;
    PersonalizationLevel = 3;
    GameSeed = 4242;

    AddType("Footman");
    TPersonage p = Make(1);
    p.PersonalSeed = 77;
    const uint32_t seed = RandomSeed;
    ReloadPersonage(p, 0);
    EXPECT_EQ(RandomSeed, seed); // the personal draws leave the generator as it was
    const TPersonage once = p;
    ReloadPersonage(p, 0);
    EXPECT_TRUE(SameBytes(p, once));

    const std::string name = p.Name.Str();
    const bool named = name.rfind("Finn ", 0) == 0 || name.rfind("Gus ", 0) == 0 || name.rfind("Hob ", 0) == 0 ||
                       name.rfind("Ivo ", 0) == 0;
    EXPECT_TRUE(named) << name;
    EXPECT_TRUE(name.find("the Strong") != std::string::npos || name.find("Oakarm") != std::string::npos) << name;
    EXPECT_NE(p.FullHits, 50); // the feature's +7 with variations of -3..3 never cancel out to 0
    // Another game seed gives another personage from the same seed.
    GameSeed = 1;
    TPersonage other = once;
    ReloadPersonage(other, 0);
    EXPECT_FALSE(SameBytes(other, once));
}

TEST_F(PersonageReloadTest, PersonalDrawsComeInTheirOrder)
{
    // The draws replayed by hand: name, feature chance, feature, feature
    // name, then per small variation a stat group and two deltas, the first
    // minus the second.
    UseUnitPersonalization = true;
    PersonalNames.PlebMen = {"Finn", "Gus", "Hob"};
    FeaturesPercent = 100;
    SmallRandomCount = 6;
    for (int i = 1; i <= 8; ++i)
        SmallRandomMaxDelta[i] = 9;
    TFeature keen;
    keen.Code = "KEN";
    keen.Weight = 1;
    keen.NameCount = 2;
    keen.MaleNames[1] = "the Keen";
    keen.MaleNames[2] = "Sharpeye";
    FeatureTable = {keen};
    FeatureLists[1] = {0};
    FeatureCounts[1] = 1;
    PersonalizationEnabled = 1;
    PersonalizationLevel = 2;
    GameSeed = 31;
    TPersonage& t = AddType("Footman");
    for (int i = 6; i <= 8; ++i)
        t.BaseStats[i] = 20;
    TPersonage p = Make(1);
    p.PersonalSeed = 123;
    ReloadPersonage(p, 0);

    RandomSeed = 123u * 10000u + 31u;
    std::string name = PersonalNames.PlebMen[static_cast<size_t>(RandomInt(3))];
    RandomInt(100);
    RandomInt(1);
    name += std::string(" ") + keen.MaleNames[RandomInt(2) + 1];
    int variation[9] = {};
    const int statOfGroup[7] = {0, 1, 2, 3, 6, 7, 8};
    for (int n = 0; n < SmallRandomCount; ++n) {
        const int stat = statOfGroup[RandomInt(6) + 1];
        if (variation[stat] == 0) {
            const int first = RandomInt(9);
            variation[stat] = first - RandomInt(9);
        }
    }
    EXPECT_EQ(p.Name.Str(), name);
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(i == 1   ? p.FullHits
                  : i == 2 ? p.FullInitiative
                           : p.Stats[i],
                  t.BaseStats[i] + variation[i])
            << "stat " << i;
}

TEST_F(PersonageReloadTest, PersonalNamesSurviveAndTypeNamesFollowTheTemplate)
{
    AddType("Footman");
    TPersonage p = Make(1);
    EXPECT_EQ(p.Name.Str(), "Footman");
    p.Name.Assign("Rowan of the Ford");
    ReloadPersonage(p, 0);
    EXPECT_EQ(p.Name.Str(), "Rowan of the Ford");

    // A name equal to the type name follows the template.
    TPersonage q = Make(1);
    UnitTypes[1].Name.Assign("Veteran footman");
    ReloadPersonage(q, 0);
    EXPECT_EQ(q.Name.Str(), "Veteran footman");

    // A type name longer than the 20 characters of TypeName is the type's
    // name all the same: an upgrade takes the new type's name.
    AddType("Levy of the northern marches");
    AddType("Spearman");
    TPersonage levy = Make(2);
    EXPECT_EQ(levy.TypeName.Str(), "Levy of the northern");
    levy.UnitType = 3;
    ReloadPersonage(levy, 1);
    EXPECT_EQ(levy.Name.Str(), "Spearman");

    // An empty name list with personalization on leaves the name.
    UseUnitPersonalization = true;
    q.PersonalSeed = 5;
    ReloadPersonage(q, 0);
    EXPECT_EQ(q.Name.Str(), "Veteran footman");
}

TEST_F(PersonageReloadTest, ImportantAndSexlessPersonagesGetNoVariations)
{
    UseUnitPersonalization = true;
    PersonalNames.PlebMen = {"Finn"};
    TPersonage& t = AddType("Lord");
    t.ImportantNPC = 1;
    TPersonage& beast = AddType("Wolf");
    beast.Sex = 2;
    for (int type : {1, 2}) {
        TPersonage p = Make(type);
        p.PersonalSeed = 9;
        ReloadPersonage(p, 0);
        EXPECT_EQ(p.Name.Str(), UnitTypes[type].Name.Str());
    }
}

TEST_F(PersonageReloadTest, LancerGetsHorseLanceAndOneHandedDefault)
{
    SetKindBonuses();
    const int32_t sword = AddItem(TItemType::Sword, 1, 2);
    const int32_t lance = AddItem(TItemType::Lance, 1, 2);
    const int32_t horse = AddItem(TItemType::Horse, 1, 2);
    const int32_t shield = AddItem(TItemType::Shield, 1, 2);
    TPersonage& t = AddType("Rider");
    t.EquipmentType = 2;
    t.Weapon[1] = static_cast<uint8_t>(TWeaponClass::Sword);
    t.Weapon[2] = static_cast<uint8_t>(TWeaponClass::Lance);
    t.Horse = 1;
    t.Shield = 2;

    TPersonage p = Make(1, 6, 13); // arg 13: kind 12, the lance
    EXPECT_EQ(p.Equipment[1], lance);
    EXPECT_EQ(p.Equipment[13], horse);
    EXPECT_EQ(p.DefaultItems[1], sword);
    EXPECT_EQ(p.Equipment[2], shield);
    EXPECT_EQ(p.PersBonus[3], bLance);
    EXPECT_EQ(p.Mounted, 1);
    EXPECT_EQ(p.LanceCharges, 3);
    EXPECT_EQ(p.HorseHits, 3);

    p.Talents[1] = tTournamentHero;
    ReloadPersonage(p, 0);
    EXPECT_EQ(p.LanceCharges, 4);

    // A sword arg gives the sword and no horse.
    TPersonage q = Make(1, 6, 1);
    EXPECT_EQ(q.Equipment[1], sword);
    EXPECT_EQ(q.Equipment[13], 0);
    EXPECT_EQ(q.Mounted, 0);
    // An arg that does not fit a fighter keeps the type's defaults.
    TPersonage r = Make(1, 6, 22);
    EXPECT_EQ(r.Equipment[1], 0);
}

TEST_F(PersonageReloadTest, ItemEffectsCapsSumsAndFactors)
{
    const int32_t ring = AddItem(TItemType::Ring);
    ItemTable[ring].Abs[1] = 5;
    ItemTable[ring].Prc[1] = 10;
    ItemTable[ring].Max[2] = 20;
    ItemTable[ring].Bonus[1] = Fearless;
    const int32_t amulet = AddItem(TItemType::Amulet);
    ItemTable[amulet].Prc[1] = 10;
    ItemTable[amulet].Max[2] = -14;
    ItemTable[amulet].Max[3] = 30;
    const int32_t barding = AddItem(TItemType::HorseItem);
    ItemTable[barding].Abs[1] = 100;
    TPersonage& t = AddType("Wearer");
    t.Horse = 1;
    TPersonage p = Make(1);
    p.Equipment[5] = ring;
    p.Equipment[6] = amulet;
    p.Equipment[12] = barding; // counts only for a lancer
    ReloadPersonage(p, 0);
    EXPECT_EQ(p.FullHits, 67);       // (50 + 5) x 1.1 x 1.1 = 66.55 -> 67
    EXPECT_EQ(p.FullInitiative, 14); // a negative cap beats a positive one
    EXPECT_EQ(p.Stats[3], 30);
    EXPECT_TRUE(p.BonusSet.Has(Fearless));
}

TEST_F(PersonageReloadTest, UpgradeKeepsAllowedOwnDefaultsAndScalesHealth)
{
    SetKindBonuses();
    const int32_t sword = AddItem(TItemType::Sword);
    const int32_t axe = AddItem(TItemType::Axe);
    const int32_t coat = AddItem(TItemType::Armor, 1);
    const int32_t mail = AddItem(TItemType::Armor, 2);
    const int32_t bought = AddItem(TItemType::Sword);
    TPersonage& militia = AddType("Militia");
    militia.Weapon[1] = static_cast<uint8_t>(TWeaponClass::Sword);
    militia.Armor = static_cast<uint8_t>(TArmorKind::LightArmor);
    militia.DefaultItems[1] = sword;
    militia.DefaultItems[4] = coat;
    TPersonage& veteran = AddType("Veteran");
    veteran.Weapon[1] = static_cast<uint8_t>(TWeaponClass::AllOneHand);
    veteran.Armor = static_cast<uint8_t>(TArmorKind::MediumArmor);
    veteran.DefaultItems[1] = axe;
    veteran.DefaultItems[4] = mail;
    veteran.BaseStats[1] = 80;

    TPersonage p = Make(1);
    ASSERT_EQ(p.Equipment[4], coat);
    p.Hits = 25; // half of 50
    p.UnitType = 2;
    TIntArray removed;
    ReloadPersonage(p, 1, -1, removed);
    EXPECT_EQ(p.DefaultItems[1], sword); // the veteran may use it: kept
    EXPECT_EQ(p.Equipment[1], sword);
    EXPECT_EQ(p.DefaultItems[4], mail);
    EXPECT_EQ(p.Equipment[4], mail); // the old default coat makes way for the new one
    EXPECT_TRUE(removed.empty());    // defaults are never handed out
    EXPECT_EQ(p.Hits, 40);           // 25 x 80 / 50

    // A bought weapon the new type may not use comes off in mode 1.
    TPersonage& archer = AddType("Archer");
    archer.Weapon[1] = static_cast<uint8_t>(TWeaponClass::Bow);
    p.Equipment[1] = bought;
    p.UnitType = 3;
    ReloadPersonage(p, 1, -1, removed);
    EXPECT_EQ(removed, (TIntArray{bought}));
    EXPECT_EQ(p.Equipment[1], 0);

    // Mode 2 only lowers health.
    TPersonage q = Make(2);
    q.Hits = 70;
    ReloadPersonage(q, 2);
    EXPECT_EQ(q.Hits, 70);
    q.Wounds = 2;
    ReloadPersonage(q, 2);
    EXPECT_EQ(q.Hits, 40);
}
