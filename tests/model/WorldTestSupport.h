// Small worlds built in memory for the tests of the world rules: a few
// armies and buildings with their records, on top of the small game tables
// of RulesTestSupport.h. Every table a world rule reads is cleared before
// and after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "model/ai/AIMain_Buildings.h"
#include "model/tables/BuildingType.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Tables.h"
#include "tests/model/RulesTestSupport.h"

struct TWorldTables : TRuleTables {
    static void ResetWorld()
    {
        ResetTables();
        MapStory.SupportCap = 12;
        MapStory.PriceDivisor = 10000;
    }

    // Armies 0..armies (0 the player's, all active) and buildings
    // 1..buildings with their garrisons, all without owner, named, dealing
    // at 100 percent; every attitude 0.
    static void MakeWorld(int32_t armies, int32_t buildings)
    {
        SizeWorldTables(armies, buildings);
        for (int32_t b = 1; b <= buildings; ++b) {
            GameBuildings[static_cast<size_t>(b)].OwnerArmy = -1;
            GameBuildings[static_cast<size_t>(b)].OwnerGroup = -1;
            TMapBuilding& record = MapBuildings[b];
            record.OwnerArmy = -1;
            record.OwnerGroup = -1;
            for (int k = 1; k <= 4; ++k)
                record.TradePercent[k] = 100;
            record.TradePercent5 = 100;
            BuildingTexts[b].Name = u"Building " + std::u16string(1, static_cast<char16_t>(u'0' + b % 10));
        }
    }

    static TGameArmy& Army(int32_t a) { return GameArmies[static_cast<size_t>(a)]; }
    static TPersonage& Unit(int32_t a, int32_t slot) { return ArmyUnits[static_cast<size_t>(a)][slot]; }
    static TGameBuilding& State(int32_t b) { return GameBuildings[static_cast<size_t>(b)]; }
    static TArmyUnits& Units(int32_t a) { return ArmyUnits[static_cast<size_t>(a)]; }

    static void SetAttitude(int32_t a, int32_t t, int16_t value)
    {
        ArmyMoves[static_cast<size_t>(a)][static_cast<size_t>(t)].Attitude = value;
    }
    // Both armies' attitudes towards each other.
    static void SetMutualAttitude(int32_t a, int32_t t, int16_t value)
    {
        SetAttitude(a, t, value);
        SetAttitude(t, a, value);
    }

    // Adds count personages of a type with a hire kind; returns the last slot.
    static int32_t Recruit(int32_t army, int32_t type, int16_t hireKind, int32_t count = 1)
    {
        int32_t slot = 0;
        for (int32_t i = 0; i < count; ++i)
            slot = AddPersonageSimple(army, type, hireKind);
        return slot;
    }
};

class TWorldTest : public ::testing::Test, protected TWorldTables {
protected:
    void SetUp() override { ResetWorld(); }
    void TearDown() override { ResetWorld(); }
};
