// The cover update read through a cover source: what the drawn footprints
// of buildings, gates, bridges and objects do to the walk costs.
#include <gtest/gtest.h>

#include <array>
#include <map>

#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/scenario/Terrain.h"
#include "tests/support/TestSupport.h"

namespace {

// A source whose texels and decks the test sets: texels by vertex, four
// each, 0 where none were set.
class TTestCover : public TTerrainCoverSource {
public:
    void VertexTexels(int32_t r, int32_t c, uint16_t texels[4]) override
    {
        const auto found = Texels.find({r, c});
        for (int i = 0; i < 4; i++)
            texels[i] = found != Texels.end() ? found->second[i] : 0;
    }
    void BridgeSurfacePoint(const TVec3& p, int32_t b, TVec3& out) override
    {
        (void)b;
        out = p;
        out.y += DeckRise;
    }
    bool BuildingPassable(int32_t b) override { return b == PassableBuilding; }

    std::map<std::pair<int32_t, int32_t>, std::array<uint16_t, 4>> Texels;
    float DeckRise = 0;
    int32_t PassableBuilding = 0;
};

class TerrainCoverTest : public ::testing::Test {
protected:
    // A flat land map of GrassFlat: cost 5 everywhere.
    void SetUp() override
    {
        AllocateMapGrids();
        ResetScenarioTables();
        MapInit.MapSizeMinus1 = 12;
        for (int32_t x = 0; x <= 12; x++)
            for (int32_t z = 0; z <= 12; z++) {
                TMapCell& cell = MapCell(x, z);
                cell = TMapCell{};
                cell.TerrainClass = 2;
                cell.SecondHeight = -1000;
                cell.KindWeights[6] = 100;
            }
        Named = AddBuilding(TBuildingModel::Fort, u"Keep");
        Unnamed = AddBuilding(TBuildingModel::Fort, u"");
        Bridge = AddBuilding(TBuildingModel::Bridge, u"");
        HeadlessBuildTerrainModel();
    }
    void TearDown() override { ResetScenarioTables(); }
    int32_t AddBuilding(TBuildingModel model, const char16_t* name)
    {
        const int32_t b = ++MapBuildings.Count;
        MapBuildings[b] = TMapBuilding{};
        MapBuildings[b].Model = static_cast<int32_t>(model);
        BuildingTexts[b].Name = name;
        return b;
    }
    int32_t Named = 0, Unnamed = 0, Bridge = 0;
};

uint16_t Gate(int32_t b)
{
    return static_cast<uint16_t>(b + CoverEnterBase);
}

TEST_F(TerrainCoverTest, FootprintsGatesBridgesAndObjects)
{
    struct {
        const char* What;
        std::array<uint16_t, 4> Texels;
        float DeckRise;
        bool Passable;
        uint8_t Cost;
        bool Covered;
    } const cases[] = {
        {"nothing drawn", {0, 0, 0, 0}, 0, false, 5, false},
        {"a building's wall", {1, 1, 1, 1}, 0, false, 0, true},
        {"its gate", {Gate(1), Gate(1), Gate(1), Gate(1)}, 0, false, 7, true},
        {"the gate's edge", {Gate(1), 1, Gate(1), Gate(1)}, 0, false, 0, true},
        {"half a gate", {Gate(1), Gate(1), 0, 0}, 0, false, 5, false},
        {"a wall one may pass", {1, 1, 1, 1}, 0, true, 7, true},
        {"an unnamed building", {Gate(2), Gate(2), Gate(2), Gate(2)}, 0, false, 0, true},
        {"a bridge's deck", {Gate(3), Gate(3), Gate(3), Gate(3)}, 1, false, 4, true},
        {"a deck level with the ground", {Gate(3), Gate(3), Gate(3), Gate(3)}, 0, false, 5, false},
        {"a bridge's rail", {3, 3, 3, 3}, 1, false, 0, true},
        {"an object's corner", {0, 0, 3005, 0}, 0, false, 0, false},
        {"a number past the buildings", {900, 900, 900, 900}, 0, false, 5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TTestCover cover;
        cover.Texels[{6, 6}] = c.Texels;
        cover.DeckRise = c.DeckRise;
        cover.PassableBuilding = c.Passable ? 1 : 0;
        UpdateMapChunksFrom({}, cover);
        EXPECT_EQ(int(TerrainVertex(6, 6).Cost), c.Cost);
        EXPECT_EQ(TerrainVertex(6, 6).Cover != 0, c.Covered);
        EXPECT_EQ(int(TerrainVertex(6, 7).Cost), 5); // the neighbour untouched
    }
}

TEST_F(TerrainCoverTest, UnreadableSourceLeavesEveryVertexUncovered)
{
    class TBroken : public TTestCover {
        bool Begin() override { return false; }
    } broken;
    broken.Texels[{6, 6}] = {1, 1, 1, 1};
    TMapObject& object = MapObjects[++MapObjects.Count];
    object = TMapObject{};
    object.Pos[0] = 3;
    object.Pos[2] = 3;
    object.ModelGroup = 1;
    UpdateMapChunksFrom({}, broken);
    EXPECT_EQ(int(TerrainVertex(6, 6).Cost), 5);
    EXPECT_EQ(int(TerrainVertex(6, 6).Cover), 0);
    EXPECT_EQ(int(TerrainVertex(3, 3).Cost), 0); // an object's anchor without cover still blocks
}

TEST_F(TerrainCoverTest, VertexHelpersStayOnTheMap)
{
    struct {
        TVec3 Position;
        int32_t R, C;
        int32_t Index;
    } const cases[] = {
        {{3.4f, 0, 7.6f}, 3, 8, 3 * 13 + 8},
        {{2.5f, 0, 3.5f}, 2, 4, 2 * 13 + 4}, // halves to even
        {{12, 0, 12}, 12, 12, 12 * 13 + 12},
        {{12.6f, 0, 1}, 0, 0, 0},
        {{-0.6f, 0, 1}, 0, 0, 0},
        {{1e30f, 0, 1}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Position.x << " " << c.Position.z);
        EXPECT_EQ(GetMapVertexAt(c.Position), &TerrainVertex(c.R, c.C));
        EXPECT_EQ(MapCellIndexAt(c.Position.x, c.Position.z), c.Index);
        EXPECT_EQ(GetMapVertexByIndex(c.Index), &TerrainVertex(c.R, c.C));
    }
    EXPECT_EQ(MapCellIndex(4, 5), 4 * 13 + 5);
    EXPECT_EQ(GetMapVertexByIndex(13 * 13), &TerrainVertex(0, 0));
    EXPECT_EQ(GetMapVertexByIndex(-1), &TerrainVertex(0, 0));
}

} // namespace
