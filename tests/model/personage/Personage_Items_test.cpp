// Item usability and equipping.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "tests/model/RulesTestSupport.h"

namespace {

class EquipRulesTest : public TRulesTest {
protected:
    int32_t Sword = 0, Halberd = 0, Bow = 0, Arrows = 0, Lance = 0, Dagger = 0;
    int32_t RoundShield = 0, KiteShield = 0, Pavise = 0;
    int32_t Helm[5] = {}, Armour[4] = {}, Robe = 0;
    int32_t Ring = 0, Amulet = 0, Healing = 0, Salve = 0, Horse = 0, Barding = 0, Trophy = 0, Spectral = 0;

    void SetUp() override
    {
        TRulesTest::SetUp();
        SetKindBonuses();
        Sword = AddItem(TItemType::Sword);
        Halberd = AddItem(TItemType::Halberd);
        Bow = AddItem(TItemType::Bow);
        Arrows = AddItem(TItemType::Arrow);
        Lance = AddItem(TItemType::Lance);
        Dagger = AddItem(TItemType::Dagger);
        RoundShield = AddItem(TItemType::Shield, 1);
        KiteShield = AddItem(TItemType::Shield, 2);
        Pavise = AddItem(TItemType::Shield, 3);
        for (int s = 1; s <= 4; ++s)
            Helm[s] = AddItem(TItemType::Helm, s);
        for (int s = 1; s <= 3; ++s)
            Armour[s] = AddItem(TItemType::Armor, s);
        Robe = AddItem(TItemType::Clothes, 2);
        Ring = AddItem(TItemType::Ring);
        Amulet = AddItem(TItemType::Amulet);
        Healing = AddItem(TItemType::Potion);
        ItemTable[Healing].dHit = 20;
        ItemTable[Healing].dMana = -3;
        Salve = AddItem(TItemType::Potion, 2);
        ItemTable[Salve].dWound = 1;
        Horse = AddItem(TItemType::Horse);
        Barding = AddItem(TItemType::HorseItem);
        Trophy = AddItem(TItemType::Item);
        Spectral = AddItem(TItemType::Spectral);
    }

    // A swordsman with a shield and a bow: Sword, Bow classes, a round shield
    // by default, light armour.
    TPersonage Swordsman()
    {
        TPersonage& t = AddType("Swordsman");
        t.Weapon[1] = static_cast<uint8_t>(TWeaponClass::Sword);
        t.Weapon[2] = static_cast<uint8_t>(TWeaponClass::Bow);
        t.Shield = static_cast<uint8_t>(TShieldKind::Shield);
        t.Armor = static_cast<uint8_t>(TArmorKind::LightArmor);
        t.DefaultItems[1] = Sword;
        t.DefaultItems[2] = RoundShield;
        t.DefaultItems[3] = Helm[1];
        return Make(UnitTypeCount);
    }
};

} // namespace

TEST_F(EquipRulesTest, ItemIndexIsTheLowBitsOfTheAbsoluteValue)
{
    EXPECT_EQ(GetItemIndex(5), 5);
    EXPECT_EQ(GetItemIndex(-5), 5);
    EXPECT_EQ(GetItemIndex(0x30007), 7);
    EXPECT_EQ(GetItemIndex(-0x30007), 7);
    EXPECT_EQ(GetItemIndex(INT32_MIN), 0);
    EXPECT_EQ(FindItem(0), nullptr);
    EXPECT_EQ(FindItem(ItemCount + 1), nullptr);
    EXPECT_EQ(FindItem(-Sword), &ItemTable[Sword]);
    EXPECT_STREQ(ItemEquipRefusalKey(11), "ItemEquip_BadPlace");
    EXPECT_STREQ(ItemEquipRefusalKey(10), "");
}

TEST_F(EquipRulesTest, EquipableKindsFromWeaponClasses)
{
    struct TRow {
        TWeaponClass Class;
        bool Horse;
        uint64_t Kinds;
    };
    const TRow rows[] = {
        {TWeaponClass::None, false, 0},
        {TWeaponClass::Sword, false, 1u << 0},
        {TWeaponClass::Book, false, 1u << 21},
        {TWeaponClass::AllHand, false, 0xFCFu},
        {TWeaponClass::AllOneHand, true, 0xFu | (1u << 12)},
        {TWeaponClass::AllTwoHand, false, (1u << 8) | (1u << 9) | (1u << 10)},
        {TWeaponClass::AllPole, false, (1u << 6) | (1u << 7) | (1u << 9) | (1u << 11)},
        {TWeaponClass::AllShot, false, 0},
        {TWeaponClass::AllAxe, false, (1u << 1) | (1u << 9)},
    };
    for (const TRow& row : rows) {
        TPersonage p;
        std::memset(static_cast<void*>(&p), 0, sizeof p);
        p.Weapon[1] = static_cast<uint8_t>(row.Class);
        p.Horse = row.Horse;
        EXPECT_EQ(GetEquipableItemKinds(p), row.Kinds) << int(row.Class);
    }
}

TEST_F(EquipRulesTest, RefusalTable)
{
    TPersonage p = Swordsman();
    p.BonusSet.Clear();
    struct TRow {
        const char* What;
        uint8_t Armor, Shield, Alignment;
        int32_t Item;
        int32_t ItemAlignment;
        uint8_t Expected;
    };
    const uint8_t light = 3, good = 1, evil = 2, maxGood = 3, neutral = 0, maxEvil = 4;
    const TRow rows[] = {
        {"no item", light, 1, neutral, 0, 0, 1},
        {"trophy", light, 1, neutral, Trophy, 0, 1},
        {"sword", light, 1, neutral, Sword, 0, 0},
        {"halberd without the class", light, 1, neutral, Halberd, 0, 2},
        {"dagger without Dagger", light, 1, neutral, Dagger, 0, 2},
        {"arrows without a bow bonus", light, 1, neutral, Arrows, 0, 2},
        {"helm 2 with light armour", light, 1, neutral, Helm[2], 0, 0},
        {"helm 3 with light armour", light, 1, neutral, Helm[3], 0, 2},
        {"helm with a robe", 1, 1, neutral, Helm[1], 0, 2},
        {"helm 4 beyond heavy", 6, 1, neutral, Helm[4], 0, 0},
        {"armour 1 with light armour", light, 1, neutral, Armour[1], 0, 0},
        {"armour 2 with light armour", light, 1, neutral, Armour[2], 0, 2},
        {"armour 3 with heavy armour", 5, 1, neutral, Armour[3], 0, 0},
        {"robe with Robe", 2, 1, neutral, Robe, 0, 0},
        {"robe with light armour", light, 1, neutral, Robe, 0, 2},
        {"no shield kind", light, 0, neutral, RoundShield, 0, 2},
        {"Shield takes only 1", light, 1, neutral, KiteShield, 0, 2},
        {"BigShield takes 2", light, 2, neutral, KiteShield, 0, 0},
        {"BigShield refuses 3", light, 2, neutral, Pavise, 0, 2},
        {"Pavise refuses 1", light, 3, neutral, RoundShield, 0, 2},
        {"Pavise takes 3", light, 3, neutral, Pavise, 0, 0},
        {"any beyond Pavise", light, 4, neutral, RoundShield, 0, 0},
        {"horse without Horse", light, 1, neutral, Horse, 0, 2},
        {"ring", light, 1, neutral, Ring, 0, 0},
        {"good item, evil wearer", light, 1, evil, Ring, good, 4},
        {"good item, max evil wearer", light, 1, maxEvil, Ring, good, 4},
        {"good item, neutral wearer", light, 1, neutral, Ring, good, 0},
        {"evil item, max good wearer", light, 1, maxGood, Ring, evil, 4},
        {"evil item, evil wearer", light, 1, evil, Ring, evil, 0},
        {"max good item, neutral wearer", light, 1, neutral, Ring, maxGood, 4},
        {"max good item, good wearer", light, 1, good, Ring, maxGood, 0},
        {"max evil item, good wearer", light, 1, good, Ring, maxEvil, 4},
        {"max evil item, evil wearer", light, 1, evil, Ring, maxEvil, 0},
        {"skill refusal before alignment", light, 0, evil, RoundShield, good, 2},
    };
    for (const TRow& row : rows) {
        p.Armor = row.Armor;
        p.Shield = row.Shield;
        p.Alignment = row.Alignment;
        if (row.Item != 0)
            ItemTable[GetItemIndex(row.Item)].Alignment = static_cast<uint8_t>(row.ItemAlignment);
        EXPECT_EQ(GetItemEquipRefusal(p, row.Item, -1), row.Expected) << row.What;
        if (row.Item != 0)
            ItemTable[GetItemIndex(row.Item)].Alignment = 0;
    }
    p.BonusSet.Include(bBow);
    EXPECT_EQ(GetItemEquipRefusal(p, Arrows, -1), 0);
}

TEST_F(EquipRulesTest, SlotChecks)
{
    TPersonage p = Swordsman();
    TPersonage& t = UnitTypes[p.UnitType];
    (void)t;
    p.Horse = 1;
    p.Weapon[3] = static_cast<uint8_t>(TWeaponClass::Halberd);
    p.Equipment[3] = Helm[2];
    p.Equipment[6] = Ring;
    struct TRow {
        const char* What;
        int32_t Item, Slot;
        uint8_t Expected;
    };
    const TRow rows[] = {
        {"shield for the main hand", RoundShield, 1, 11},
        {"shield for the off hand", RoundShield, 2, 12}, // the default shield is there
        {"helm already worn", Helm[2], 3, 12},
        {"helm for the body", Helm[1], 4, 11},
        {"helm, slot chosen by kind", Helm[1], 0, 0},
        {"ring already in a ring slot", Ring, 8, 12},
        {"amulet for slot 7", Amulet, 7, 0},
        {"amulet for slot 9", Amulet, 9, 11},
        {"potion for the belt", Healing, 10, 0},
        {"potion for a ring slot", Healing, 5, 11},
        {"horse for slot 13", Horse, 13, 0},
        {"barding for slot 13", Barding, 13, 11},
        {"sword already in hand", Sword, 1, 12},
        {"halberd for slot 14", Halberd, 14, 11},
        {"lance for slot 14", Lance, 14, 0},
        {"lance for the hand without a horse", Lance, 1, 10},
        {"lance for slot 2", Lance, 2, 11},
        {"only 12 counts with -2", RoundShield, -2, 12},
        {"refusals vanish with -2", Helm[4], -2, 0},
        {"bad places vanish with -2", Ring, -2, 12},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(GetItemEquipRefusal(p, row.Item, row.Slot), row.Expected) << row.What;

    p.Equipment[13] = Horse;
    EXPECT_EQ(GetItemEquipRefusal(p, Lance, 1), 0);
    // A shield while the main hand holds a halberd (or a bow) is refused for now.
    p.Equipment[2] = 0;
    p.Equipment[1] = Halberd;
    EXPECT_EQ(GetItemEquipRefusal(p, RoundShield, 2), 5);
    p.Equipment[1] = Bow;
    EXPECT_EQ(GetItemEquipRefusal(p, RoundShield, 0), 5);
    p.Equipment[1] = Sword;
    EXPECT_EQ(GetItemEquipRefusal(p, RoundShield, 2), 0);
}

TEST_F(EquipRulesTest, GhostsRefuseAllButSpectralWeapons)
{
    TPersonage p = Swordsman();
    p.Kind = static_cast<uint8_t>(TPersNature::Ghost);
    p.Weapon[3] = static_cast<uint8_t>(TWeaponClass::Spectral);
    std::set<int> codes;
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        RandomSeed = seed;
        codes.insert(GetItemEquipRefusal(p, Sword, -1));
    }
    EXPECT_EQ(codes, (std::set<int>{2, 3, 4, 6, 7, 8}));
    EXPECT_EQ(GetItemEquipRefusal(p, Spectral, -1), 0);
    EXPECT_EQ(GetItemEquipRefusal(p, 0, -1), 1);
}

TEST_F(EquipRulesTest, UsableItemsByEquipmentType)
{
    TPersonage p = Swordsman();
    const int32_t fine = AddItem(TItemType::Sword, 1, 2);
    const int32_t unique = AddItem(TItemType::Sword, 1, 1);
    ItemTable[unique].Unique = 2;
    EXPECT_TRUE(IsItemUsableByType(p, Sword, false));
    EXPECT_FALSE(IsItemUsableByType(p, fine, false));
    EXPECT_TRUE(IsItemUsableByType(p, fine, true));
    EXPECT_FALSE(IsItemUsableByType(p, unique, false));
    EXPECT_FALSE(IsItemUsableByType(p, Horse, false)); // riding needed
    p.EquipmentType = 3;
    EXPECT_TRUE(IsItemUsableByType(p, fine, false));
    EXPECT_FALSE(IsItemUsableByType(p, Sword, false));
    p.EquipmentType = 1;

    // The last qualifying item in table order.
    const int32_t second = AddItem(TItemType::Sword, 1, 1);
    EXPECT_EQ(FindUsableItemOfKind(p, 0), second);
    EXPECT_EQ(FindUsableItemOfKind(p, 23), RoundShield); // Shield takes SubType 1
    p.Shield = 2;
    EXPECT_EQ(FindUsableItemOfKind(p, 23), RoundShield); // BigShield: below 2
    p.Shield = 3;
    EXPECT_EQ(FindUsableItemOfKind(p, 23), Pavise);
    EXPECT_EQ(FindUsableItemOfKind(p, 24), Helm[2]);   // SubType + 1 = Armor 3
    EXPECT_EQ(FindUsableItemOfKind(p, 25), Armour[3]); // SubType = Armor
    EXPECT_EQ(FindUsableItemOfKind(p, 26), 0);
    EXPECT_EQ(FindUsableItemOfKind(p, 12), 0);
}

TEST_F(EquipRulesTest, WeaponBonusByModeKindAndHands)
{
    struct TRow {
        uint8_t Mode;
        TPersNature Kind;
        int32_t Main, Off;
        uint8_t Expected;
    };
    const TRow rows[] = {
        {4, TPersNature::Military, Sword, 0, bSword},
        {4, TPersNature::Military, Sword, Dagger, bSwordDagger},
        {4, TPersNature::Military, Halberd, Dagger, bHalberd},
        {4, TPersNature::Military, Bow, 0, 0},
        {13, TPersNature::Military, Bow, 0, bBow},
        {13, TPersNature::Military, Sword, 0, 0},
        {4, TPersNature::Military, 0, 0, 0},
        {4, TPersNature::Animal, 0, 0, bClaws},
        {4, TPersNature::Beast, 0, 0, bPaw},
        {16, TPersNature::Military, 0, 0, bHand},
        {16, TPersNature::Animal, 0, 0, 0},
        {13, TPersNature::Animal, 0, 0, 0},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(GetWeaponBonus(row.Mode, static_cast<uint8_t>(row.Kind), row.Main, row.Off), row.Expected)
            << int(row.Mode) << " " << row.Main << " " << row.Off;
}

TEST_F(EquipRulesTest, BowOverSwordAndShieldReturnsTheShield)
{
    TPersonage p = Swordsman();
    ASSERT_EQ(p.Equipment[1], Sword);
    ASSERT_EQ(p.Equipment[2], RoundShield);
    const int32_t bigShield = AddItem(TItemType::Shield, 1);
    p.Equipment[2] = bigShield; // not the default
    TIntArray removed;
    EquipItem(p, Bow, -1, removed, 1.0f);
    EXPECT_EQ(p.Equipment[1], Bow);
    EXPECT_EQ(p.Equipment[2], RoundShield); // default 2 goes in; a shield with a bow is refused for now but stays free
    EXPECT_EQ(removed, (TIntArray{bigShield})); // the default sword is free: not returned
}

TEST_F(EquipRulesTest, DefaultItemsAreFree)
{
    TPersonage p = Swordsman();
    ASSERT_EQ(p.Equipment[3], Helm[1]);
    TIntArray removed;
    EquipItem(p, Helm[2], 0, removed, 1.0f);
    EXPECT_EQ(p.Equipment[3], Helm[2]);
    EXPECT_TRUE(removed.empty()); // the default helm was free
    EquipItem(p, Helm[1], 3, removed, 1.0f);
    EXPECT_EQ(p.Equipment[3], Helm[1]);
    EXPECT_EQ(removed, (TIntArray{Helm[2], Helm[1]})); // the army keeps its copy of the default
    RestoreDefaultItem(p, 3, removed);
    EXPECT_EQ(p.Equipment[3], Helm[1]);
    EXPECT_TRUE(removed.empty());
}

TEST_F(EquipRulesTest, LancesGoAsideOrReplaceALance)
{
    TPersonage p = Swordsman();
    p.Horse = 1;
    UnitTypes[p.UnitType].Horse = 1;
    UnitTypes[p.UnitType].EquipmentType = 1;
    TIntArray removed;
    EquipItem(p, Lance, 0, removed, 1.0f);
    EXPECT_EQ(p.Equipment[1], Sword);
    EXPECT_EQ(p.Equipment[14], Lance);
    EXPECT_TRUE(removed.empty());

    // With a lance in hand a new lance replaces it and the sword waits in 14.
    EquipItem(p, Horse, 0, removed, 1.0f);
    p.Equipment[1] = Lance;
    p.Equipment[14] = Sword;
    ReloadPersonage(p, 0);
    ASSERT_EQ(p.PersBonus[3], bLance);
    const int32_t lance2 = AddItem(TItemType::Lance);
    EquipItem(p, lance2, 0, removed, 1.0f);
    EXPECT_EQ(p.Equipment[1], lance2);
    EXPECT_EQ(removed, (TIntArray{Lance}));
    // A sword given while riding goes aside; the default one is handed back.
    EquipItem(p, Sword, -1, removed, 1.0f);
    EXPECT_EQ(p.Equipment[14], 0);
    EXPECT_EQ(removed, (TIntArray{Sword}));

    // Taking the horse off puts the lance aside and the weapon back in hand.
    p.Equipment[14] = Sword;
    RestoreDefaultItem(p, 13, removed);
    EXPECT_EQ(p.Equipment[13], 0);
    EXPECT_EQ(p.Equipment[1], Sword);
    EXPECT_EQ(p.Equipment[14], lance2);
}

TEST_F(EquipRulesTest, RingsFillTheFreeSlotsThenDisplace)
{
    TPersonage p = Swordsman();
    TIntArray removed;
    const int32_t rings[5] = {Ring, AddItem(TItemType::Ring), AddItem(TItemType::Ring), AddItem(TItemType::Ring),
                              AddItem(TItemType::Ring)};
    for (int i = 0; i < 4; ++i) {
        EquipItem(p, rings[i], 0, removed, 1.0f);
        EXPECT_EQ(p.Equipment[5 + i], rings[i]);
        EXPECT_TRUE(removed.empty());
    }
    EquipItem(p, rings[4], 0, removed, 1.0f);
    EXPECT_EQ(p.Equipment[8], rings[4]);
    EXPECT_EQ(removed, (TIntArray{rings[3]}));
    // An explicit ring slot.
    EquipItem(p, rings[3], 6, removed, 1.0f);
    EXPECT_EQ(p.Equipment[6], rings[3]);
    EXPECT_EQ(removed, (TIntArray{rings[1]}));
    // A ring for the head changes nothing.
    EquipItem(p, rings[1], 3, removed, 1.0f);
    EXPECT_EQ(p.Equipment[3], Helm[1]);
    EXPECT_TRUE(removed.empty());
}

TEST_F(EquipRulesTest, PotionsAreBeltedOrDrunk)
{
    TPersonage p = Swordsman();
    TIntArray removed;
    EquipItem(p, Healing, -1, removed, 1.0f);
    EquipItem(p, Salve, -1, removed, 1.0f);
    EXPECT_EQ(p.Equipment[9], Healing);
    EXPECT_EQ(p.Equipment[10], Salve);
    EquipItem(p, Healing, -1, removed, 1.0f);
    EXPECT_EQ(removed, (TIntArray{Salve}));

    // A healthy personage gains nothing: the potion comes back untouched.
    EquipItem(p, Healing, 0, removed, 1.0f);
    EXPECT_EQ(removed, (TIntArray{Healing}));
    // A wounded one drinks: health up to the maximum, mana never below 1.
    p.Hits = 20;
    p.Mana = 0;
    EquipItem(p, Healing, 0, removed, 1.5f);
    EXPECT_TRUE(removed.empty());
    EXPECT_EQ(p.Hits, 50);
    EXPECT_EQ(p.Mana, 1); // 0 - 3 is negative
    // A wound salve cures a wound and the maximum comes back.
    p.Wounds = 2;
    ReloadPersonage(p, 0);
    EXPECT_EQ(p.Stats[1], 25);
    EquipItem(p, Salve, 0, removed, 1.0f);
    EXPECT_EQ(p.Wounds, 1);
    EXPECT_EQ(p.Stats[1], 38);
    // With no health nothing is drunk.
    p.Hits = 0;
    EquipItem(p, Salve, 0, removed, 1.0f);
    EXPECT_EQ(removed, (TIntArray{Salve}));
    EXPECT_EQ(p.Wounds, 1);
}

TEST_F(EquipRulesTest, ArmourAndTwoHandedWeapons)
{
    TPersonage p = Swordsman();
    p.Weapon[3] = static_cast<uint8_t>(TWeaponClass::Halberd);
    UnitTypes[p.UnitType].Weapon[3] = static_cast<uint8_t>(TWeaponClass::Halberd);
    TIntArray removed;
    EquipItem(p, Armour[1], 0, removed, 1.0f);
    EXPECT_EQ(p.Equipment[4], Armour[1]);
    EXPECT_EQ(p.PersBonus[5], bLightArmor);
    // A halberd takes both hands: the default shield goes back to nobody.
    EquipItem(p, Halberd, 0, removed, 1.0f);
    EXPECT_EQ(p.Equipment[1], Halberd);
    EXPECT_EQ(p.Equipment[2], 0);
    EXPECT_TRUE(removed.empty());
    // A shield into the off hand puts the default sword back in the main hand.
    EquipItem(p, RoundShield, 2, removed, 1.0f);
    EXPECT_EQ(p.Equipment[1], Sword);
    EXPECT_EQ(p.Equipment[2], RoundShield);
    EXPECT_EQ(removed, (TIntArray{RoundShield, Halberd}));
    // Armour that the type may not wear is taken off by the reload.
    p.Equipment[4] = Armour[3];
    ReloadPersonage(p, 0, -1, removed);
    EXPECT_EQ(p.Equipment[4], 0);
    EXPECT_EQ(removed, (TIntArray{Armour[3]}));
}
