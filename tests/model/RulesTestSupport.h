// Small in-memory game tables for the tests of the personage rules: all the
// game's global state is reset before and after each test, and the tests add
// the few items, unit types and bonuses they need.
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
#include "tests/support/GameStateReset.h"
#include "tests/support/WorldBuilder.h"

struct TRuleTables {
    static void ResetTables()
    {
        ResetGameState();
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
