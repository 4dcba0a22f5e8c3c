#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/Support.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Armies.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Chunks.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_Placement.h"
#include "scenes/Landscape_Plants.h"
#include "scenes/PersonageRender.h"
#include "tests/render/RenderTestSupport.h"

namespace {

TVec3 Apply(const TMatrix4& m, const TVec3& p)
{
    TVec3 out;
    Vec3TransformCoord(p, m, out);
    return out;
}

void ExpectNear(const TVec3& a, const TVec3& b)
{
    EXPECT_NEAR(a.x, b.x, 1e-3f);
    EXPECT_NEAR(a.y, b.y, 1e-3f);
    EXPECT_NEAR(a.z, b.z, 1e-3f);
}

// A personage block with personages of the given unit types in slots 1...
TArmyUnits Units(std::initializer_list<int32_t> types)
{
    TArmyUnits units{};
    int32_t s = 1;
    for (int32_t t : types) {
        units[s].UnitType = t;
        units[s].Level = 2;
        units[s].Stats[1] = static_cast<int16_t>(10 * t);
        units[s].Equipment[1] = t;
        s++;
    }
    return units;
}

} // namespace

// The "MAP" scene over a recording device, with small model libraries: kind
// 1 has one two-part model, kind 2 none, kind 3 one skinned model.
class LandscapePlacementTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
        MainRender = Render.get();
        MainRender->Scene_Add("MAP");
        ResetScenarioTables();
        BuildingModelLibrary.Kinds.assign(4, {});
        BuildingModelLibrary.Kinds[1] = {1, 1};
        BuildingModelLibrary.Kinds[2] = {2, 0};
        BuildingModelLibrary.Kinds[3] = {2, 1};
        BuildingModelLibrary.Total = 2;
        BuildingModelMeshes.assign(3, {});
        BuildingModelMeshes[1] = {AddMesh("Keep"), AddMesh("Keep_Roof")};
        BuildingModelMeshes[2] = {AddMesh("Mill", true)};
        ObjectModelLibrary.Kinds.assign(2, {});
        ObjectModelLibrary.Kinds[1] = {1, 1};
        ObjectModelLibrary.Total = 1;
        ObjectModelMeshes.assign(2, {});
        ObjectModelMeshes[1] = {AddMesh("Rock")};
        LibraryMeshCount = MainRender->MeshCount;
        DefBuildingScale = 1.5f;
        DefObjectScale = 2;
        DefArmyScale = 1;
        MapWorkerBusy = 0;
        MapSceneChanged = MapSceneResort = 0;
    }

    void TearDown() override
    {
        ClearArmies(true);
        ClearMapPlacements();
        BuildingInstances.clear();
        ObjectInstances.clear();
        BuildingModelMeshes.clear();
        ObjectModelMeshes.clear();
        PersonageMapMeshes.clear();
        MainRender = nullptr;
        TRecordingRenderTest::TearDown();
    }

    int32_t AddMesh(const std::string& name, bool skinned = false)
    {
        const int32_t slot = MainRender->Mesh_Add(MESH_TEXTURED, name, 1);
        if (skinned) {
            T3D_Mesh* mesh = MainRender->Mesh_Get(slot);
            mesh->Skin.Bones.resize(1);
            mesh->Skin.Clips = {{"turn", 1000}};
            mesh->Skin.Bones[0].Tracks.resize(1);
        }
        return slot;
    }

    T3D_Scene& Scene() { return *MainRender->Scene_Find("MAP"); }
    T3D_SceneMesh& Instance(int32_t slot) { return *Scene().GetMesh(slot); }

    int32_t InstanceCount()
    {
        int32_t count = 0;
        for (const T3D_SceneMesh* mesh : Scene()._s_Meshes)
            count += mesh != nullptr ? 1 : 0;
        return count;
    }

    int32_t AddBuilding(int32_t model, int32_t variant, TVec3 at, float angle, float scale)
    {
        const int32_t b = ++MapBuildings.Count;
        MapBuildings[b].Model = model;
        MapBuildings[b].Variant = variant;
        std::memcpy(MapBuildings[b].Pos, &at, sizeof at);
        MapBuildings[b].Angle = angle;
        MapBuildings[b].Scale = scale;
        return b;
    }

    int32_t LibraryMeshCount = 0;
};

TEST_F(LandscapePlacementTest, TwoPartBuildingMovesTurnsAndScalesAsOne)
{
    const int32_t b = AddBuilding(1, 0, {100, 5, 200}, static_cast<float>(M_PI / 2), 2);
    PlaceBuildingsAndObjects();
    ASSERT_EQ(BuildingInstances[b].size(), 2u);
    T3D_SceneMesh& first = Instance(BuildingInstances[b][0]);
    T3D_SceneMesh& second = Instance(BuildingInstances[b][1]);
    EXPECT_EQ(first.Name, "Building001");
    EXPECT_EQ(second.Name, "Building001-1");
    // Turned first, then scaled by 2 x 1.5, then moved: (1, 0, 0) turns to
    // the z axis and lands three units from the building's place.
    const TVec3 x = Apply(*first.World, {1, 0, 0});
    EXPECT_NEAR(std::fabs(x.z - 200), 3.0f, 1e-3f);
    EXPECT_NEAR(x.x, 100, 1e-3f);
    EXPECT_NEAR(x.y, 5, 1e-3f);
    // Only the first part is moved: the second follows it.
    Scene().UpdateAttachments();
    TMatrix4 followed;
    MatrixProduct(*second.ParentMatrix, *second.World, followed);
    for (const TVec3& p : {TVec3{1, 0, 0}, TVec3{0, 2, 0}, TVec3{-3, 1, 4}})
        ExpectNear(Apply(followed, p), Apply(*first.World, p));
    // Non-skinned parts are not animated.
    EXPECT_TRUE(AnimatedInstances.empty());
}

TEST_F(LandscapePlacementTest, ObjectTurnsAboutXThenZThenY)
{
    const int32_t o = ++MapObjects.Count;
    MapObjects[o].ModelGroup = 1;
    const TVec3 at{10, 1, 20};
    std::memcpy(MapObjects[o].Pos, &at, sizeof at);
    MapObjects[o].AngleX = 0.4f;
    MapObjects[o].AngleZ = 1.1f;
    MapObjects[o].Angle = 2.3f;
    MapObjects[o].Scale = 0.5f;
    PlaceBuildingsAndObjects();
    ASSERT_EQ(ObjectInstances[o].size(), 1u);
    const T3D_SceneMesh& rock = Instance(ObjectInstances[o][0]);
    EXPECT_EQ(rock.Name, "Object001");

    auto turned = [&](std::initializer_list<std::pair<int32_t, float>> turns) {
        T3D_SceneMesh probe(MainRender, "probe", nullptr);
        probe.ResetMatrix();
        for (const auto& [axis, angle] : turns)
            probe.Rotate(axis, angle);
        probe.Scale(0.5f * DefObjectScale);
        probe.TranslateVec(at);
        return *probe.World;
    };
    const TMatrix4 expected = turned({{0, 0.4f}, {2, 1.1f}, {1, 2.3f}});
    const TMatrix4 otherOrder = turned({{0, 0.4f}, {1, 2.3f}, {2, 1.1f}});
    const TVec3 p{1, 2, 3};
    ExpectNear(Apply(*rock.World, p), Apply(expected, p));
    const TVec3 wrong = Apply(otherOrder, p), got = Apply(*rock.World, p);
    EXPECT_GT(std::fabs(wrong.x - got.x) + std::fabs(wrong.y - got.y) + std::fabs(wrong.z - got.z), 0.1f);
}

TEST_F(LandscapePlacementTest, LibraryEntriesPastTheLibraryAreReportedAndLeftOut)
{
    // Kind 2 has no model: its variant 0 is the next kind's first model.
    const int32_t borrowed = AddBuilding(2, 0, {0, 0, 0}, 0, 1);
    const int32_t missing = AddBuilding(3, 1, {0, 0, 0}, 0, 1);
    const int32_t badKind = AddBuilding(9, 0, {0, 0, 0}, 0, 1);
    const int32_t o = ++MapObjects.Count;
    MapObjects[o].ModelGroup = 1;
    MapObjects[o].Variant = -1;
    testing::internal::CaptureStderr();
    PlaceBuildingsAndObjects();
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_EQ(BuildingInstances[borrowed].size(), 1u);
    EXPECT_EQ(Instance(BuildingInstances[borrowed][0]).MeshIndex, BuildingModelMeshes[2][0]);
    EXPECT_TRUE(BuildingInstances[missing].empty());
    EXPECT_TRUE(BuildingInstances[badKind].empty());
    EXPECT_TRUE(ObjectInstances[o].empty());
    EXPECT_NE(log.find("Building in map not found in game resource!"), std::string::npos);
    EXPECT_NE(log.find("Object in map not found in game resource!"), std::string::npos);
    // The skinned mill is the one animated part.
    ASSERT_EQ(AnimatedInstances.size(), 1u);
    EXPECT_EQ(AnimatedInstances[0], BuildingInstances[borrowed][0]);
}

TEST_F(LandscapePlacementTest, ClearingReturnsTheMeshCountToTheLibraries)
{
    const int32_t b = AddBuilding(1, 0, {1, 0, 1}, 0, 1);
    BuildingTexts[b].Name = u"Dunmere";
    const int32_t o = ++MapObjects.Count;
    MapObjects[o].ModelGroup = 1;
    // Two chunks' meshes and one chunk's plants, as the chunk build leaves them.
    for (TIntArray* table : {&WaterChunkMeshes, &LandChunkMeshes, &HillChunkMeshes})
        *table = {0, AddMesh("Cell"), AddMesh("Cell")};
    for (TIntArray* table : {&FoliageMeshes, &TrunkMeshes, &GrassMeshes})
        *table = {0, AddMesh("Plant"), 0};
    PlaceBuildingsAndObjects();
    EXPECT_EQ(InstanceCount(), 2 + 1 + 6 + 3);
    EXPECT_EQ(Instance(LandChunkInstances[2]).Name, "Land0002");
    EXPECT_EQ(Instance(FoliageInstances[1]).Name, "PlantFoliage0001");
    EXPECT_EQ(GrassInstances[2], -1);

    ClearMapPlacements();
    EXPECT_EQ(MainRender->MeshCount, LibraryMeshCount);
    EXPECT_EQ(InstanceCount(), 0);
    EXPECT_EQ(MapBuildings.Count, 0);
    EXPECT_EQ(MapObjects.Count, 0);
    EXPECT_TRUE(BuildingTexts[b].Name.empty());
    EXPECT_TRUE(BuildingInstances.empty());
    EXPECT_TRUE(ObjectInstances.empty());
    for (const TIntArray* table :
         {&WaterChunkInstances, &LandChunkInstances, &FoliageInstances, &LandChunkMeshes, &GrassMeshes})
        for (int32_t entry : *table)
            EXPECT_EQ(entry, -1);
}

TEST_F(LandscapePlacementTest, ObjectVisibilitySetsBothMarks)
{
    const int32_t o = ++MapObjects.Count;
    MapObjects[o].ModelGroup = 1;
    PlaceBuildingsAndObjects();
    MapSceneChanged = MapSceneResort = 0;
    SetMapObjectVisible(o, false);
    EXPECT_EQ(Instance(ObjectInstances[o][0]).Visible, 0);
    EXPECT_EQ(MapSceneChanged, 1);
    EXPECT_EQ(MapSceneResort, 1);
    // While the render worker draws, the wish waits for the next flush.
    MapSceneChanged = MapSceneResort = 0;
    MapWorkerBusy = 1;
    SetMapObjectVisible(o, true);
    EXPECT_EQ(Instance(ObjectInstances[o][0]).Visible, 0);
    EXPECT_EQ(MapSceneChanged, 0);
    MapWorkerBusy = 0;
    FlushMapObjectVisibility();
    EXPECT_EQ(Instance(ObjectInstances[o][0]).Visible, 1);
    EXPECT_EQ(MapSceneChanged, 1);
    // Out of range does nothing.
    SetMapObjectVisible(-1, false);
    SetMapObjectVisible(999, false);
}

TEST(LandscapeArmyUnits, CopyTagsEveryFilledSlotAndLeavesTheBlock)
{
    const TArmyUnits units = Units({3, 0, 7});
    TArmyUnits copy{};
    CopyArmyUnits(units, copy);
    EXPECT_EQ(copy[1].Uid, 8192);
    EXPECT_EQ(copy[2].Uid, 0);
    EXPECT_EQ(copy[3].Uid, 3 * 8192);
    EXPECT_EQ(units[1].Uid, 0);
    EXPECT_EQ(units[3].Uid, 0);
}

TEST(LandscapeArmyUnits, ChangeTable)
{
    struct {
        const char* Name;
        void (*Change)(TArmyUnits& units);
        bool Changed;
    } const cases[] = {
        {"untouched", [](TArmyUnits&) {}, false},
        {"slots swapped", [](TArmyUnits& u) { std::swap(u[1], u[2]); }, false},
        {"moved to an empty slot", [](TArmyUnits& u) { std::swap(u[2], u[9]); }, false},
        {"a scenario uid", [](TArmyUnits& u) { u[1].Uid = 77; }, false},
        {"level up", [](TArmyUnits& u) { u[2].Level++; }, true},
        {"wounded", [](TArmyUnits& u) { u[1].Wounds = 1; }, true},
        {"mounted", [](TArmyUnits& u) { u[1].Mounted = 1; }, true},
        {"weapon bonus", [](TArmyUnits& u) { u[3].PersBonus[3] = 4; }, true},
        {"armour bonus", [](TArmyUnits& u) { u[3].PersBonus[5] = 4; }, true},
        {"a statistic", [](TArmyUnits& u) { u[2].Stats[8]++; }, true},
        {"an item", [](TArmyUnits& u) { u[1].Equipment[14] = 99; }, true},
        {"a bonus", [](TArmyUnits& u) { reinterpret_cast<uint8_t*>(&u[1].BonusSet)[25] ^= 1; }, true},
        {"another type", [](TArmyUnits& u) { u[2].UnitType = 5; }, true},
        {"one dismissed", [](TArmyUnits& u) { u[3] = TPersonage{}; }, true},
        {"one hired", [](TArmyUnits& u) { u[4] = u[3]; }, true},
        {"experience only", [](TArmyUnits& u) { u[1].Experience += 10; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TArmyUnits units = Units({1, 2, 3});
        TArmyUnits copy{};
        CopyArmyUnits(units, copy);
        c.Change(units);
        const TArmyUnits before = units;
        EXPECT_EQ(HasArmyUnitsChanged(units, copy), c.Changed);
        EXPECT_EQ(std::memcmp(&before, &units, sizeof units), 0);
    }
    // Two equal personages pair one to one: a third equal one is a change.
    TArmyUnits twins = Units({4, 4});
    twins[2] = twins[1];
    TArmyUnits copy{};
    CopyArmyUnits(twins, copy);
    EXPECT_FALSE(HasArmyUnitsChanged(twins, copy));
    twins[3] = twins[1];
    EXPECT_TRUE(HasArmyUnitsChanged(twins, copy));
}

// Army models: unit type 1 wears mesh "Knight"; armies 0 and 1.
class LandscapeArmyModelTest : public LandscapePlacementTest {
protected:
    void SetUp() override
    {
        LandscapePlacementTest::SetUp();
        KnightMesh = AddMesh("Knight", true);
        PersonageMapMeshes.assign(3, {});
        PersonageMapMeshes[1] = {KnightMesh};
        SavedKnight = UnitTypes[1];
        UnitTypes[1] = TPersonage{};
        UnitTypes[1].UnitType = 1;
        UnitTypes[1].MapModelIndex = KnightMesh;
        ArmyCount = 1;
        GameArmies.assign(2, TGameArmy{});
        ArmyUnits.assign(2, TArmyUnits{});
        ResizeMapArmyRenders(2);
        ArmyInstances.assign(2, {});
        for (int32_t a = 0; a < 2; a++) {
            GameArmies[a].Active = 1;
            const float at[3] = {10.0f + 10 * a, 0, 10};
            std::memcpy(GameArmies[a].Pos, at, sizeof at);
            ArmyUnits[a][1].UnitType = 1;
        }
    }

    void TearDown() override
    {
        UnitTypes[1] = SavedKnight;
        ArmyCount = 0;
        LandscapePlacementTest::TearDown();
    }

    TMapArmyGameRender& Record(int32_t a) { return ArmyRenders[static_cast<size_t>(a)]; }

    int32_t KnightMesh = -1;
    TPersonage SavedKnight;
};

TEST_F(LandscapeArmyModelTest, WhileTheWorkerDrawsOnlyTheMarkIsSet)
{
    MapWorkerBusy = 1;
    UpdateArmyModel(0);
    EXPECT_EQ(Record(0).UpdatePending, 1);
    EXPECT_EQ(Record(0).Render.Instance, -1);
    EXPECT_EQ(Record(0).Render.UnitType, 0);
    EXPECT_EQ(Record(0).Visible, 0);
    EXPECT_EQ(InstanceCount(), 0);
    EXPECT_EQ(MapSceneChanged, 0);
    EXPECT_EQ(MapSceneResort, 0);
    MapWorkerBusy = 0;
    UpdateArmyModel(0);
    EXPECT_EQ(Record(0).UpdatePending, 0);
    ASSERT_GE(Record(0).Render.Instance, 0);
    EXPECT_EQ(Instance(Record(0).Render.Instance).Name, "Army000");
    EXPECT_EQ(ArmyInstances[0], TIntArray{Record(0).Render.Instance});
}

TEST_F(LandscapeArmyModelTest, VisibilityAndChangeMarks)
{
    UpdateArmyModel(0);
    EXPECT_EQ(Record(0).Visible, 1);
    EXPECT_EQ(MapSceneChanged, 1);
    EXPECT_EQ(MapSceneResort, 1);
    EXPECT_EQ(Record(0).AnimationName, "relax");
    // Nothing changed: neither mark.
    MapSceneChanged = MapSceneResort = 0;
    UpdateArmyModel(0);
    EXPECT_EQ(MapSceneChanged, 0);
    EXPECT_EQ(MapSceneResort, 0);

    struct {
        const char* Name;
        void (*Set)(TGameArmy& army);
    } const hiders[] = {
        {"inactive", [](TGameArmy& a) { a.Active = 0; }},
        {"in a building", [](TGameArmy& a) { a.Building = 3; }},
        {"hidden", [](TGameArmy& a) { a.Hidden = 1; }},
    };
    for (const auto& h : hiders) {
        SCOPED_TRACE(h.Name);
        const TGameArmy saved = GameArmies[0];
        h.Set(GameArmies[0]);
        MapSceneChanged = MapSceneResort = 0;
        UpdateArmyModel(0);
        EXPECT_EQ(Record(0).Visible, 0);
        EXPECT_EQ(Instance(Record(0).Render.Instance).Visible, 0);
        EXPECT_EQ(MapSceneChanged, 1);
        EXPECT_EQ(MapSceneResort, 0);
        GameArmies[0] = saved;
        UpdateArmyModel(0);
        EXPECT_EQ(Record(0).Visible, 1);
    }
    // Another leader type replaces the model: a re-sort.
    PersonageMapMeshes[2] = {AddMesh("Archer", true)};
    UnitTypes[2].UnitType = 2;
    UnitTypes[2].MapModelIndex = PersonageMapMeshes[2][0];
    ArmyUnits[0][1].UnitType = 2;
    MapSceneChanged = MapSceneResort = 0;
    UpdateArmyModel(0);
    EXPECT_EQ(MapSceneResort, 1);
    EXPECT_EQ(Instance(Record(0).Render.Instance).MeshIndex, PersonageMapMeshes[2][0]);
    EXPECT_EQ(InstanceCount(), 1);
    UnitTypes[2] = TPersonage{};
}

TEST_F(LandscapeArmyModelTest, AnArmyWithoutLeaderOrModelShowsNothing)
{
    ArmyUnits[0][1] = TPersonage{};
    PersonageMapMeshes[1].clear();
    UnitTypes[1].MapModelIndex = 0;
    ArmyUnits[1][1].UnitType = 1;
    UpdateArmyModel(0);
    UpdateArmyModel(1);
    for (int32_t a : {0, 1}) {
        SCOPED_TRACE(a);
        EXPECT_EQ(Record(a).Render.RenderMesh, -1);
        EXPECT_EQ(Record(a).Render.Instance, -1);
        EXPECT_EQ(Record(a).Visible, 0);
        EXPECT_EQ(Record(a).UpdatePending, 0);
        EXPECT_TRUE(ArmyInstances[a].empty());
    }
    EXPECT_EQ(InstanceCount(), 0);
}

TEST_F(LandscapeArmyModelTest, HeadingZeroFacesOppositeHeadingPi)
{
    GameArmies[0].Heading = 0;
    GameArmies[1].Heading = 31416;
    PlaceArmies();
    const TMatrix4& a = *Instance(Record(0).Render.Instance).World;
    const TMatrix4& b = *Instance(Record(1).Render.Instance).World;
    // The model's forward axis in the world.
    const TVec3 ahead{0, 0, 1};
    TVec3 fa = Apply(a, ahead), fb = Apply(b, ahead);
    const TVec3 oa = Apply(a, {0, 0, 0}), ob = Apply(b, {0, 0, 0});
    ExpectNear({fa.x - oa.x, fa.y - oa.y, fa.z - oa.z}, {-(fb.x - ob.x), -(fb.y - ob.y), -(fb.z - ob.z)});
    EXPECT_NEAR(std::fabs(fa.z - oa.z), 1.0f, 1e-3f);
    EXPECT_FLOAT_EQ(ArmyModelAngle(0), static_cast<float>(M_PI));
}

TEST_F(LandscapeArmyModelTest, ClearArmiesTakesTheModelsOffAndEmptiesTheTables)
{
    PlaceArmies();
    EXPECT_EQ(InstanceCount(), 2);
    EXPECT_EQ(Instance(Record(1).Render.Instance).Name, "Army001");
    ClearArmies(true);
    EXPECT_EQ(InstanceCount(), 0);
    EXPECT_TRUE(ArmyRenders.empty());
    EXPECT_TRUE(GameArmies.empty());
    EXPECT_TRUE(ArmyUnits.empty());
    EXPECT_TRUE(ArmyInstances.empty());
}
