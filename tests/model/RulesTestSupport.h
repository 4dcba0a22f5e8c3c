// Small in-memory game tables for the tests of the personage rules: every
// table the rules read is cleared before and after each test, and the tests
// add the few items, unit types and bonuses they need.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "model/ai/AIMain_Settings.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"
#include "model/SceneHooks.h"
#include "model/world/World_Tables.h"
#include "tests/fakes/RecordingSceneHooks.h"
#include "tests/support/WorldBuilder.h"

struct TRuleTables {
    static void ResetTables()
    {
        for (int i = -UnitTypeMax; i <= UnitTypeMax; ++i)
            std::memset(static_cast<void*>(&UnitTypes[i]), 0, sizeof(TPersonage));
        UnitTypeCount = 0;
        for (TItems& item : ItemTable)
            item = TItems{};
        ItemCount = 0;
        for (auto& group : BonusTable)
            for (TBonusTTX& entry : group)
                entry = TBonusTTX{};
        std::memset(BonusGroupCount, 0, sizeof BonusGroupCount);
        for (TBonusPlace& place : BonusIndex)
            place = TBonusPlace{};
        std::memset(BonusValues, 0, sizeof BonusValues);
        std::memset(ItemKindBonus, 0, sizeof ItemKindBonus);
        for (TSpell& spell : SpellTable)
            spell = TSpell{};
        SpellCount = 0;
        for (TSchoolSpells& school : SchoolSpells)
            school = TSchoolSpells{};
        std::memset(SpellPresets, 0, sizeof SpellPresets);
        ClearAISettings();
        GameSeed = 0;
        PersonalizationEnabled = 0;
        PersonalizationLevel = 0;
        GameArmies.clear();
        ArmyUnits.clear();
        ArmyItems.clear();
        ArmyCount = 0;
        BuildingCount = 0;
        SetSceneHooks(nullptr);
        RandomSeed = 12345;
    }

    // The usual kind bonuses of the weapons and bodies the tests use.
    static void SetKindBonuses()
    {
        ItemKindBonus[0] = bSword;
        ItemKindBonus[1] = bAxe;
        ItemKindBonus[3] = bMace;
        ItemKindBonus[9] = bHalberd;
        ItemKindBonus[11] = bPike;
        ItemKindBonus[12] = bLance;
        ItemKindBonus[15] = bBow;
        ItemKindBonus[16] = bArbalet;
        ItemKindBonus[19] = bStaff;
        ItemKindBonus[24] = bSwordDagger;
        ItemKindBonus[35] = bHand;
        ItemKindBonus[36] = bClaws;
        ItemKindBonus[37] = bPaw;
    }

    static int32_t AddItem(TItemType kind, int32_t subType = 1, int32_t equipmentType = 1)
    {
        ++ItemCount;
        TItems& item = ItemTable[ItemCount];
        item = TItems{};
        item.MainType = static_cast<uint8_t>(kind);
        item.SubType = subType;
        item.EquipmentType = equipmentType;
        item.Name = "item" + std::to_string(ItemCount);
        return ItemCount;
    }

    // A Units.Ini-like template: a plain fighter of People.
    static TPersonage& AddType(const std::string& name)
    {
        ++UnitTypeCount;
        return MakeUnitTypeTemplate(UnitTypeCount, name);
    }

    // A new personage of a type, made by a creating reload.
    static TPersonage Make(int32_t type, uint8_t mode = 4, int32_t arg = -1)
    {
        TPersonage p;
        std::memset(static_cast<void*>(&p), 0, sizeof p);
        p.UnitType = type;
        TIntArray removed;
        ReloadPersonage(p, mode, arg, removed);
        return p;
    }

    // An army table with one map army (0) and the given personage in slot 1.
    static TPersonage& PlaceInArmy(const TPersonage& p, int32_t slot = 1)
    {
        if (GameArmies.empty()) {
            GameArmies.resize(1);
            std::memset(static_cast<void*>(GameArmies.data()), 0, sizeof(TGameArmy));
            ArmyUnits.resize(1);
            std::memset(static_cast<void*>(ArmyUnits.data()), 0, sizeof(TArmyUnits));
            ArmyItems.assign(1, TIntArray{0});
        }
        ArmyUnits[0][slot] = p;
        return ArmyUnits[0][slot];
    }
};

class TRulesTest : public ::testing::Test, protected TRuleTables {
protected:
    void SetUp() override { ResetTables(); }
    void TearDown() override { ResetTables(); }
};
