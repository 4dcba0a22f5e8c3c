// The strategic path grid over the sample scenario, its terrain worked out
// by the headless terrain model.
#include <gtest/gtest.h>

#include "model/ai/AIMain.h"
#include "model/tables/Global.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/Support.h"
#include "model/world/World_Tables.h"
#include "tests/fakes/RecordingSceneHooks.h"
#include "tests/support/GameStateReset.h"
#include "tests/support/TestSupport.h"
#include "tools/dmtool/MakeScenario.h"

namespace {

class SamplePathGridTest : public ::testing::Test {
protected:
    TTempFolder Folder;
    TRecordingSceneHooks Scene;

    void SetUp() override
    {
        SetGameFolders(Folder.ProgramPath());
        SetGameLanguage("eng");
        AIMain_Initialization();
        ResetGameState();
        ItemCount = 36; // the sample's shop and army items
        Scene.PassTerrain = true;
        SetSceneHooks(&Scene);
    }
    void TearDown() override
    {
        SetSceneHooks(nullptr);
        ResetGameState();
    }
};

} // namespace

TEST_F(SamplePathGridTest, GridCopiesTheTerrainAndBarriersCloseIt)
{
    const std::string file = Folder.ProgramPath() + "Sample.Tdm";
    ASSERT_TRUE(WriteScenarioFile(BuildSampleScenario(SampleScenarioSize, 0, ""), file));
    ASSERT_TRUE(LoadScenarioMap(file));
    ASSERT_TRUE(MapChanged);
    SceneHooks().BuildTerrainModel(true);
    AI_InitPathGrid();

    EXPECT_EQ(PlayableLimit, 384);
    ASSERT_NE(PathGrid, nullptr);
    EXPECT_EQ(PathGrid->Width, 257);
    EXPECT_EQ(PathGrid->Height, 257);
    ASSERT_FALSE(Scene.ChunkUpdates.empty());
    EXPECT_TRUE(Scene.ChunkUpdates.back().empty()); // the whole map

    int32_t passable = 0, mismatches = 0;
    for (int32_t x = 128; x <= 384; ++x)
        for (int32_t z = 128; z <= 384; ++z) {
            const uint8_t cost = TerrainVertex(x, z).Cost;
            mismatches += GetPathCost(PF_PackCell(x, z)) != cost;
            passable += cost != 0;
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(passable, 257 * 257 / 2); // costs were worked out, not left 0

    // The barrier closed at start, with its states as the world set-up gives them.
    int32_t barrier = 0;
    for (int32_t p = 1; p <= MapPoints.Count; ++p)
        if (MapPoints[p].Radius != 0 && MapPoints[p].ClosedAtStart != 0)
            barrier = p;
    ASSERT_NE(barrier, 0);
    PointCount = MapPoints.Count;
    PointStates.assign(static_cast<size_t>(PointCount) + 1, TPointState{0, 0});
    PointStates[static_cast<size_t>(barrier)] = {1, MapPoints[barrier].StateFlag};
    ApplyPointBarrier(barrier);
    ShowPointBarrierObjects(barrier);

    const TMapPoint& point = MapPoints[barrier];
    const int32_t centre = PF_PackCell(point.Cell.X, point.Cell.Z);
    int32_t closed = 0;
    for (int32_t x = point.Cell.X - point.Radius; x <= point.Cell.X + point.Radius; ++x)
        for (int32_t z = point.Cell.Z - point.Radius; z <= point.Cell.Z + point.Radius; ++z) {
            const int32_t cell = PF_PackCell(x, z);
            if (GetCellDistance(cell, centre) > point.Radius)
                continue;
            EXPECT_EQ(GetPathCost(cell), 0) << x << "," << z;
            EXPECT_EQ(TerrainVertex(x, z).Cost, 0) << x << "," << z;
            ++closed;
        }
    EXPECT_GT(closed, 0);
    // Its objects are shown or hidden as its second state says.
    ASSERT_FALSE(Scene.Visible.empty());
    for (const auto& [object, visible] : Scene.Visible) {
        EXPECT_LE(GetCellDistance(CellOfPosition(MapObjects[object].Pos[0], MapObjects[object].Pos[2]), centre),
                  point.Radius);
        EXPECT_EQ(visible, point.StateFlag == 0);
    }

    // Opened again: every cell has a cost of its own or its bare ground's.
    PointStates[static_cast<size_t>(barrier)][0] = 0;
    ApplyPointBarrier(barrier);
    const TTerrainVertex& v = TerrainVertex(point.Cell.X, point.Cell.Z);
    EXPECT_EQ(GetPathCost(centre), v.PlacedCost != 0 ? v.PlacedCost : v.TerrainCost);
}
