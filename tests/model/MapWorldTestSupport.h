// A small world on a 513-cell map for the tests of route planning and army
// movement: open ground of walk cost 4 over the playable square, the path
// grid filled from it, one tracker per army and the movement tables sized.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Walking.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "tests/fakes/RecordingSceneHooks.h"
#include "tests/model/WorldTestSupport.h"

class TMapWorldTest : public TWorldTest {
protected:
    static constexpr int32_t MapSize = 512;
    static constexpr int32_t GroundCost = 4;

    TRecordingSceneHooks Scene;

    static void SetUpTestSuite() { AIMain_Initialization(); }

    void SetUp() override
    {
        TWorldTest::SetUp();
        for (int32_t x = 0; x <= MapSize; ++x)
            for (int32_t z = 0; z <= MapSize; ++z) {
                TTerrainVertex& v = TerrainVertex(x, z);
                v = TTerrainVertex{};
                v.TerrainCost = v.PlacedCost = v.Cost = GroundCost;
                v.GroundClass = 7;
                v.Position = TVec3{static_cast<float>(x), 0, static_cast<float>(z)};
            }
        SetSceneHooks(&Scene);
        MapInit.MapSizeMinus1 = MapSize;
        MapChanged = MapSizeChanged = true;
        AI_InitPathGrid();
        MapChanged = MapSizeChanged = false;
    }

    void TearDown() override
    {
        SetSceneHooks(nullptr);
        TWorldTest::TearDown();
    }

    // Armies 0..armies (the player's far off at (1, 1)) and buildings with
    // trackers on the path grid; every army on profile 1.
    void MakeMapWorld(int32_t armies, int32_t buildings)
    {
        MakeWorld(armies, buildings);
        ArmyTargets.assign(static_cast<size_t>(armies + 1),
                           std::vector<TGameArmyTarget>(static_cast<size_t>(buildings + 1)));
        ArmyTrackers.resize(static_cast<size_t>(armies + 1));
        for (TPF_Tracker& t : ArmyTrackers)
            t.Init(PathMap, PathGridBorder, false);
        for (int32_t a = 0; a <= armies; ++a) {
            Army(a).Profile = 1;
            Army(a).SpeedFactor = 7.5f;
        }
        ResetArmyMovement();
        PlaceArmy(PlayerArmy, 1, 1);
    }

    static void PlaceArmy(int32_t a, int32_t x, int32_t z)
    {
        Army(a).Pos[0] = static_cast<float>(x);
        Army(a).Pos[2] = static_cast<float>(z);
        Army(a).Cell = TCellXZ{static_cast<uint16_t>(x), static_cast<uint16_t>(z)};
    }

    static void PlaceBuilding(int32_t b, int32_t x, int32_t z)
    {
        MapBuildings[b].Pos[0] = static_cast<float>(x);
        MapBuildings[b].Pos[2] = static_cast<float>(z);
        MapBuildings[b].Cell = TMapCellXZ{static_cast<int16_t>(x), static_cast<int16_t>(z)};
    }

    // One circle zone of the radius around (x, z).
    static void SetZone(int32_t a, int32_t x, int32_t z, uint8_t radius)
    {
        Army(a).ZoneCount = 1;
        Army(a).Zones[1] = TArmyZone{PF_PackCell(x, z), 0, radius};
    }

    // The army's tracker walks the given cells: waypoint 0 first, then 1...
    static void SetWaypoints(int32_t a, std::initializer_list<TPF_Waypoint> cells)
    {
        TPF_Tracker& t = ArmyTrackers[static_cast<size_t>(a)];
        t.Waypoints.assign(cells.begin(), cells.end());
        t.WaypointCount = static_cast<int32_t>(cells.size()) - 1;
        t.WaypointIndex = 1;
    }

    static int32_t CellOf(int32_t a) { return PF_PackCell(Army(a).Cell.X, Army(a).Cell.Z); }
};
