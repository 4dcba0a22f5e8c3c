// The arena kind and scenery tags of a battle cell, and the battle's light.
#include <gtest/gtest.h>

#include <functional>

#include "battle/BattleArena.h"
#include "model/tables/Global.h"
#include "tests/model/MapWorldTestSupport.h"

namespace {

constexpr int32_t ArenaX = 200, ArenaZ = 200;

class ArenaTest : public TMapWorldTest {
protected:
    void SetUp() override
    {
        TMapWorldTest::SetUp();
        // Nothing counts until a case lays its ground.
        for (int32_t x = 0; x <= MapSize; ++x)
            for (int32_t z = 0; z <= MapSize; ++z)
                TerrainVertex(x, z).GroundClass = 0;
        ArenaKindSet = 0;
        for (int kind : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12})
            ArenaKindSet = static_cast<uint16_t>(ArenaKindSet | (1u << kind));
        MakeMapWorld(0, 3);
        for (int32_t b = 1; b <= 3; ++b) {
            PlaceBuilding(b, 20, 20);
            MapBuildings[b].BuildingType = static_cast<uint8_t>(TBuildingType::None);
        }
    }

    // count cells of a class on the row z = ArenaZ + d, from x = ArenaX - 2 on.
    static void Row(uint8_t cls, int32_t d, int32_t count)
    {
        for (int32_t k = 0; k < count; ++k)
            TerrainVertex(ArenaX - 2 + k, ArenaZ + d).GroundClass = cls;
    }

    static void Building(int32_t b, TBuildingType type, int32_t x, int32_t z, TBuildingModel model = TBuildingModel::None)
    {
        PlaceBuilding(b, x, z);
        MapBuildings[b].BuildingType = static_cast<uint8_t>(type);
        MapBuildings[b].Model = static_cast<int32_t>(model);
        TerrainVertex(x, z).Cover = static_cast<uint16_t>(b);
    }
};

} // namespace

TEST_F(ArenaTest, KindsAndTags)
{
    struct TCase {
        const char* Name;
        std::function<void()> Arrange;
        int32_t X, Z;
        uint8_t Kind;
        uint16_t Tags;
    };
    const uint16_t road = 1u << atRoad;
    const TCase cases[] = {
        {"near the west edge", [] { Row(7, 0, 5); }, 10, ArenaZ, 0, 0},
        {"near the south edge", [] { Row(7, 0, 5); }, ArenaX, MapSize - 10, 0, 0},
        {"nothing counted: plain", [] {}, ArenaX, ArenaZ, 1, 0},
        // One water cell near: 1.5 + 10 = 11.5, even-rounded to 12.
        {"near water beats 11 wild", [] { Row(1, 3, 1), Row(8, -12, 11); }, ArenaX, ArenaZ, 12, 0},
        {"near water ties 12 wild: the lower kind", [] { Row(1, 3, 1), Row(8, -12, 12); }, ArenaX, ArenaZ, 4, 0},
        // Three far water cells: 4.5, even-rounded to 4.
        {"far water beats 3 wild", [] { Row(1, 13, 3), Row(8, -12, 3); }, ArenaX, ArenaZ, 12, 0},
        {"far water ties 4 wild", [] { Row(1, 13, 3), Row(8, -12, 4); }, ArenaX, ArenaZ, 4, 0},
        {"swamp ties wild: the lower kind", [] { Row(3, 12, 4), Row(8, -12, 6); }, ArenaX, ArenaZ, 4, 0},
        {"an object ranks first but is never chosen",
         [] {
             Building(1, TBuildingType::Object, ArenaX, ArenaZ, TBuildingModel::Object);
             Row(5, 1, 3); // counted only into all cells: object scores 12
             Row(8, -12, 2);
         },
         ArenaX, ArenaZ, 4, 0},
        {"a castle under the battle",
         [] {
             Building(1, TBuildingType::Castle, ArenaX, ArenaZ, TBuildingModel::CastleMiddle);
             Row(7, 9, 1);
         },
         ArenaX, ArenaZ, 5, 0},
        {"a town within 64", [] { Building(1, TBuildingType::Town, ArenaX + 60, ArenaZ); }, ArenaX, ArenaZ, 2, 0},
        {"a village on the ring wins over the town",
         [] {
             Building(1, TBuildingType::Town, ArenaX + 40, ArenaZ);
             Building(2, TBuildingType::Village, ArenaX + 6, ArenaZ - 2);
         },
         ArenaX, ArenaZ, 3, 0},
        {"a road on the ring", [] { Row(5, 3, 1); }, ArenaX, ArenaZ, 1, road},
        {"a road is no tag of a forest", [] { Row(5, 3, 1), Row(10, 8, 5); }, ArenaX, ArenaZ, 8, 0},
        {"a port at odd z: kogg", [] { Building(1, TBuildingType::Port, ArenaX, 481); }, ArenaX, 470, 10,
         1u << atKogg},
        {"a port at even z: galere", [] { Building(1, TBuildingType::Port, ArenaX, 480); }, ArenaX, 470,
         10, 1u << atGalere},
        {"buildings within 32 tag a plain",
         [] {
             Building(1, TBuildingType::Castle, ArenaX + 31, ArenaZ);
             Building(2, TBuildingType::Tavern, ArenaX - 20, ArenaZ);
             Building(3, TBuildingType::Church, ArenaX + 32, ArenaZ); // too far
         },
         ArenaX, ArenaZ, 1, (1u << atCastle) | (1u << atTavern)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        c.Arrange();
        // The port cases fight in a swamp further north.
        if (c.Z == 470)
            for (int32_t k = 0; k < 6; ++k)
                TerrainVertex(ArenaX - 2 + k, 474).GroundClass = 3;
        const TArenaChoice choice = ChooseBattleArena(c.X, c.Z);
        const uint16_t tags = choice.ArenaTags; // packed: read by value
        EXPECT_EQ(choice.ArenaKind, c.Kind);
        EXPECT_EQ(tags, c.Tags);
    }
}

TEST(BattleLight, TimeOfDayClasses)
{
    struct TCase {
        int32_t Hour, Minute;
        uint8_t Class;
    };
    const TCase cases[] = {{5, 59, 7}, {6, 0, 10}, {8, 59, 10}, {9, 0, 1}, {17, 59, 1}, {18, 0, 4}, {21, 0, 7}, {0, 0, 7}};
    for (uint8_t base : {0, 3})
        for (const TCase& c : cases) {
            // The second day: the hour of the day counts, not of the game.
            const int64_t clock = (1440 + c.Hour * 60 + c.Minute) * int64_t{10000};
            EXPECT_EQ(GetBattleLightVariant(base, clock), base + c.Class) << c.Hour << ":" << c.Minute;
        }
    EXPECT_STREQ(ArenaSceneNames[1], "Plain");
    EXPECT_STREQ(ArenaSceneNames[13], "Lake");
}
