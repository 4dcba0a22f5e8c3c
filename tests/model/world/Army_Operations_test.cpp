// Army personage operations: rating items, equipping from the army's
// items, the rider's weapon switch and leaving the army.
#include <gtest/gtest.h>

#include <cstring>

#include "model/ai/AIMain_Buildings.h"
#include "model/world/Army_Formation.h"
#include "model/world/Army_Operations.h"
#include "tests/model/WorldTestSupport.h"

namespace {

class ArmyOperationsTest : public TWorldTest {
protected:
    int32_t Sword = 0, Lance = 0, Horse = 0, WeakHelm = 0, GoodHelm = 0, WeakArmour = 0, GoodArmour = 0;
    int32_t RingA = 0, RingB = 0, Curse = 0;
    int32_t Swordsman = 0, Knight = 0, Bear = 0;

    void SetUp() override
    {
        TWorldTest::SetUp();
        SetKindBonuses();
        Sword = AddItem(TItemType::Sword);
        Lance = AddItem(TItemType::Lance);
        Horse = AddItem(TItemType::Horse);
        WeakHelm = AddItem(TItemType::Helm, 1);
        GoodHelm = AddItem(TItemType::Helm, 1);
        ItemTable[GoodHelm].Abs[statDefense] = 6;
        WeakArmour = AddItem(TItemType::Armor, 1);
        GoodArmour = AddItem(TItemType::Armor, 1);
        ItemTable[GoodArmour].Abs[statDefense] = 8;
        RingA = AddItem(TItemType::Ring);
        ItemTable[RingA].Abs[statAttackBlow] = 5;
        RingB = AddItem(TItemType::Ring);
        ItemTable[RingB].Abs[statAttackBlow] = 4;
        Curse = AddItem(TItemType::Ring);
        ItemTable[Curse].Abs[statAttackBlow] = -5;

        TPersonage& s = AddType("Swordsman");
        s.Weapon[1] = static_cast<uint8_t>(TWeaponClass::Sword);
        s.Armor = static_cast<uint8_t>(TArmorKind::LightArmor);
        s.DefaultItems[1] = Sword;
        s.BaseStats[statDefense] = 5;
        Swordsman = UnitTypeCount;

        TPersonage& k = AddType("Knight");
        k.Weapon[1] = static_cast<uint8_t>(TWeaponClass::Sword);
        k.Horse = 1;
        k.DefaultItems[1] = Lance;
        Knight = UnitTypeCount;

        TPersonage& b = AddType("Bear");
        b.Kind = static_cast<uint8_t>(TPersNature::Beast);
        Bear = UnitTypeCount;

        MakeWorld(1, 0);
    }

    void GiveItems(int32_t army, std::initializer_list<int32_t> items)
    {
        for (int32_t item : items)
            AddArmyItem(army, item);
    }
    TIntArray CarriedItems(int32_t army)
    {
        const TIntArray& list = ArmyItems[static_cast<size_t>(army)];
        return TIntArray(list.begin() + 1, list.begin() + 1 + Army(army).ItemCount);
    }
};

} // namespace

TEST_F(ArmyOperationsTest, TrialGainLeavesTheRecordUntouched)
{
    const int32_t knight = Recruit(1, Knight, 0);
    const int32_t swordsman = Recruit(1, Swordsman, 0);
    for (int32_t slot : {knight, swordsman})
        for (int32_t item : {Sword, Lance, Horse, GoodHelm, RingA, Curse}) {
            TPersonage before;
            std::memcpy(static_cast<void*>(&before), &Unit(1, slot), sizeof before);
            const int32_t gain = CalcSlotItemGain(1, slot, item);
            EXPECT_EQ(std::memcmp(&before, &Unit(1, slot), sizeof before), 0) << slot << " " << item;
            EXPECT_EQ(gain, CalcItemGain(before, item)) << slot << " " << item;
        }
    EXPECT_GT(CalcSlotItemGain(1, swordsman, RingA), 0);
    EXPECT_LE(CalcSlotItemGain(1, swordsman, Curse), 0);
    // An item already worn in its slot gains nothing.
    EXPECT_EQ(CalcSlotItemGain(1, swordsman, Sword), 0);
}

TEST_F(ArmyOperationsTest, AutoEquipShrinksTheListByWhatItKeeps)
{
    const int32_t slot = Recruit(1, Swordsman, 0);
    GiveItems(1, {RingA, RingB, Curse});
    AutoEquipPersonage(1, slot);
    EXPECT_EQ(CarriedItems(1), (TIntArray{Curse}));
    EXPECT_EQ(Unit(1, slot).Equipment[5], RingA);
    EXPECT_EQ(Unit(1, slot).Equipment[6], RingB);
}

TEST_F(ArmyOperationsTest, AutoEquipPutsReplacedItemsInPlace)
{
    const int32_t slot = Recruit(1, Swordsman, 0);
    TIntArray removed;
    EquipItem(Unit(1, slot), WeakHelm, -1, removed, 1.0f);
    EquipItem(Unit(1, slot), WeakArmour, -1, removed, 1.0f);
    GiveItems(1, {GoodHelm, GoodArmour, Curse});
    AutoEquipPersonage(1, slot);
    EXPECT_EQ(CarriedItems(1), (TIntArray{WeakHelm, WeakArmour, Curse}));
    EXPECT_EQ(Unit(1, slot).Equipment[3], GoodHelm);
    EXPECT_EQ(Unit(1, slot).Equipment[4], GoodArmour);
}

TEST_F(ArmyOperationsTest, PawFighterIsNeverEquipped)
{
    const int32_t slot = Recruit(1, Bear, 0);
    ASSERT_TRUE(Unit(1, slot).BonusSet.Has(bPaw));
    GiveItems(1, {RingA, GoodHelm});
    EXPECT_EQ(CalcSlotItemGain(1, slot, RingA), 0);
    AutoEquipArmy(1);
    EXPECT_EQ(CarriedItems(1), (TIntArray{RingA, GoodHelm}));
}

TEST_F(ArmyOperationsTest, AutoEquipArmyEquipsEveryPersonage)
{
    Recruit(1, Swordsman, 0, 2);
    GiveItems(1, {RingA, RingB});
    AutoEquipArmy(1);
    EXPECT_EQ(Army(1).ItemCount, 0);
    EXPECT_EQ(Unit(1, 1).Equipment[5], RingA);
    EXPECT_EQ(Unit(1, 1).Equipment[6], RingB);
}

TEST_F(ArmyOperationsTest, RiderSwitchesBetweenLanceAndHandWeapon)
{
    const int32_t slot = Recruit(1, Knight, 0);
    TPersonage& p = Unit(1, slot);
    ASSERT_EQ(p.Equipment[1], Lance);
    ASSERT_EQ(p.Equipment[13], Horse);
    ASSERT_EQ(p.DefaultItems[1], Sword);
    TIntArray removed;
    SwitchWeaponSet(1, slot, false, removed);
    EXPECT_EQ(p.Equipment[1], Sword);
    EXPECT_EQ(p.Equipment[14], Lance);
    EXPECT_EQ(p.PersBonus[3], bSword);
    SwitchWeaponSet(1, slot, true, removed);
    EXPECT_EQ(p.Equipment[1], Lance);
    EXPECT_EQ(p.Equipment[14], 0); // the free default is not kept aside
    EXPECT_EQ(p.PersBonus[3], bLance);

    // Without a horse nothing changes.
    SwitchWeaponSet(1, slot, false, removed);
    p.Equipment[13] = 0;
    SwitchWeaponSet(1, slot, true, removed);
    EXPECT_EQ(p.Equipment[1], Sword);
}

TEST_F(ArmyOperationsTest, RemovePersonageShiftsSlotsAndRebuildsTheGrid)
{
    Recruit(1, Swordsman, 0, 3);
    Unit(1, 1).Strength = 1;
    Unit(1, 2).Strength = 2;
    Unit(1, 3).Strength = 3;
    TIntArray removed;
    EquipItem(Unit(1, 1), RingA, -1, removed, 1.0f);
    const int32_t row3 = Unit(1, 3).FormationRow, column3 = Unit(1, 3).FormationColumn;
    RemovePersonage(1, 1, false, removed);
    EXPECT_TRUE(removed.empty());
    EXPECT_EQ(CarriedItems(1), (TIntArray{RingA})); // a computer army keeps the items
    EXPECT_EQ(Army(1).PersonageCount, 2);
    EXPECT_EQ(Unit(1, 2).UnitType, Swordsman);
    EXPECT_EQ(Unit(1, 3).UnitType, 0);
    EXPECT_EQ(FormationCell(Army(1), row3, column3), 2);
    int32_t cells = 0;
    for (auto& row : Army(1).Formation)
        for (int32_t cell : row)
            cells += cell != 0;
    EXPECT_EQ(cells, 2);

    RemovePersonage(1, 3, false, removed); // outside 1..PersonageCount
    RemovePersonage(1, 0, false, removed);
    EXPECT_EQ(Army(1).PersonageCount, 2);
}

TEST_F(ArmyOperationsTest, PlayerKeepsRemovedItemsUnlessGiven)
{
    Recruit(PlayerArmy, Swordsman, 0, 2);
    TIntArray removed;
    EquipItem(Unit(PlayerArmy, 1), RingA, -1, removed, 1.0f);
    EquipItem(Unit(PlayerArmy, 2), GoodHelm, -1, removed, 1.0f);
    RemovePersonage(PlayerArmy, 1, false, removed);
    EXPECT_EQ(removed, (TIntArray{RingA}));
    EXPECT_EQ(Army(PlayerArmy).ItemCount, 0);
    RemovePersonage(PlayerArmy, 1, true, removed);
    EXPECT_TRUE(removed.empty());
    EXPECT_EQ(CarriedItems(PlayerArmy), (TIntArray{GoodHelm}));
}
