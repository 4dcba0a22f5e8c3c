#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "model/Support.h"
#include "model/scenario/ScenarioMap_Records.h"
#include "model/tables/Global.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Models.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/MeshFiles.h"
#include "tools/TextureFiles.h"

namespace {

// A one-triangle sub-object whose first texture is the given reference.
TMeshFileRecord Part(const std::string& name, const std::string& texture = "")
{
    TMeshFileRecord r;
    r.Name = name;
    if (!texture.empty())
        r.Textures = {{texture, 0, 0}};
    r.VertexFormat = MESH_TEXTURED;
    r.VertexStride = 24;
    r.VertexCount = 3;
    r.IndexCount = 3;
    r.PrimitiveCount = 1;
    r.Indices = {0, 1, 2};
    r.Vertices.assign(3 * 24, 0);
    return r;
}

} // namespace

class LandscapeModelsTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        SetGameFolders(Folder.ProgramPath());
        MainRender = Render.get();
        ErrorTextureName = LandscapeFolder + "Error.DDS";
        WriteTexture("Landscape\\Error.DDS");
    }

    void TearDown() override
    {
        FreeTerrainResources();
        MainRender = nullptr;
        TRecordingRenderTest::TearDown();
    }

    void WriteTexture(const std::string& relative)
    {
        Write(relative, TextureFiles::MakeDDS(0x31545844, 4, 4, 1, std::vector<uint8_t>(8, 0)));
    }

    void WriteModel(const std::string& relative, const std::vector<TMeshFileRecord>& parts)
    {
        Write(relative, MeshFiles::MakeMeshFile(parts));
    }

    T3D_Mesh& Mesh(int32_t slot) { return *Render->Mesh_Get(slot); }

    std::vector<std::string> LastNames()
    {
        std::vector<std::string> names;
        for (int32_t slot : LastModelMeshes)
            names.push_back(Mesh(slot).Name);
        return names;
    }

    // The files of a mesh's texture stages, below the program folder and in
    // lower case as the renderer keeps them.
    std::map<int32_t, std::string> Stages(int32_t slot)
    {
        std::map<int32_t, std::string> stages;
        const size_t root = Folder.ProgramPath().size();
        for (const T3D_MeshStageTexture& stage : Mesh(slot).StageTextures) {
            const T3D_Texture* texture = TextureAt(*Render, stage.TextureSlot);
            stages[stage.Stage] = texture == nullptr ? "?" : (texture->Folder + texture->FileName).substr(root);
        }
        return stages;
    }
};

TEST_F(LandscapeModelsTest, NameContainsIgnoresCase)
{
    const struct {
        const char *part, *name;
        bool contains;
    } cases[] = {
        {"Collision", "house_COLLISION_01", true},
        {"enter", "Gate Enter", true},
        {"coma", "Oak", false},
        {"grass", "", false},
        {"", "anything", true},
        {"_skinned", "Body_Skinned", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NameContains(c.part, c.name), c.contains) << c.part << " in " << c.name;
}

TEST_F(LandscapeModelsTest, ScanListsModelFilesInByteOrderInAnyCase)
{
    for (const char* name : {"town_a.d3d", "TOWN_C.D3D", "Town_b.d3d", "Tavern_01.d3d", "Town_x.dds"})
        WriteModel(std::string("Landscape\\Buildings\\") + name, {Part("Box")});
    WriteModel("Landscape\\Buildings\\Town_folder.d3d\\Inner.d3d", {Part("Box")});

    TStringArray list{"stale"};
    // The folders spelt otherwise than on disk are found all the same.
    EXPECT_EQ(ScanModelFiles(Folder.ProgramPath() + "LANDSCAPE\\buildings\\Town", list), 3);
    EXPECT_EQ(list, (TStringArray{"TOWN_C.D3D", "Town_b.d3d", "town_a.d3d"}));
    EXPECT_EQ(ScanModelFiles(BuildingsFolder + "Port", list), 0);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(ScanModelFiles(LandscapeFolder + "Nowhere\\Town", list), 0);
}

TEST_F(LandscapeModelsTest, SubObjectsBecomeNamedMeshesAndOnlyVisiblePartsGetTextures)
{
    WriteModel("Landscape\\Buildings\\Keep_01.d3d",
               {Part("Keep", "Keep_d.tga"), Part("Keep_enter"), Part("Keep COLLISION", "Keep_d.tga")});
    WriteTexture("Landscape\\Buildings\\Textures\\Keep_d.DDS");
    ASSERT_TRUE(LoadMapModel(BuildingsFolder, "Keep_01.d3d", MESH_NORMALMAPPED, "", MODEL_BUILDING));
    EXPECT_EQ(LastNames(), (std::vector<std::string>{"Keep_01-0", "Keep_01-1 Enter", "Keep_01-2 Collision"}));
    EXPECT_EQ(Stages(LastModelMeshes[0]).size(), 1u);
    EXPECT_TRUE(Stages(LastModelMeshes[1]).empty());
    EXPECT_TRUE(Stages(LastModelMeshes[2]).empty());
    EXPECT_EQ(Mesh(LastModelMeshes[0]).VertexCount, 3);

    // A single sub-object is named after the file alone, behind the prefix.
    WriteModel("Landscape\\Objects\\Rock_01.d3d", {Part("Rock collision")});
    ASSERT_TRUE(LoadMapModel(ObjectsFolder, "Rock_01.d3d", MESH_NORMALMAPPED, "Map_", MODEL_OBJECT));
    EXPECT_EQ(LastNames(), (std::vector<std::string>{"Map_Rock_01"}));

    const int32_t meshes = Render->MeshCount;
    EXPECT_FALSE(LoadMapModel(ObjectsFolder, "Rock_02.d3d", MESH_NORMALMAPPED, "", MODEL_OBJECT));
    EXPECT_EQ(Render->MeshCount, meshes);
}

TEST_F(LandscapeModelsTest, BuildingIsPassableWithAFootprintAndNoEntrance)
{
    const struct {
        std::vector<const char*> parts;
        int32_t mode;
        bool passable;
    } cases[] = {
        {{"Wall", "Wall_Collision"}, MODEL_BUILDING, true},
        {{"Wall", "Wall_Collision", "Gate_Enter"}, MODEL_BUILDING, false},
        {{"Wall"}, MODEL_BUILDING, false},
        {{"Gate_Enter"}, MODEL_BUILDING, false},
        {{"Wall", "Wall_Collision"}, MODEL_OBJECT, false}, // only buildings are judged
    };
    for (const auto& c : cases) {
        std::vector<TMeshFileRecord> parts;
        for (const char* name : c.parts)
            parts.push_back(Part(name));
        WriteModel("Landscape\\Buildings\\Wall.d3d", parts);
        ASSERT_TRUE(LoadMapModel(BuildingsFolder, "Wall.d3d", MESH_NORMALMAPPED, "", c.mode));
        EXPECT_EQ(LastModelPassable, c.passable) << c.parts.size() << " parts, mode " << c.mode;
    }
}

TEST_F(LandscapeModelsTest, TreePartsAreSortedByTheirNames)
{
    WriteModel("Landscape\\Trees\\Oak_01.d3d",
               {Part("Oak trunk", "Bark_d.tga"), Part("Oak Coma"), Part("oak grass"), Part("Oak FLOWERS grass")});
    WriteTexture("Landscape\\ForestTexture_d.DDS");
    WriteTexture("Landscape\\ForestTexture_n.DDS");
    ASSERT_TRUE(LoadMapModel(TreesFolder, "Oak_01.d3d", MESH_TREECOMA, "", MODEL_TREE));
    EXPECT_EQ(LastNames(),
              (std::vector<std::string>{"Oak_01-0", "Oak_01-1 coma", "Oak_01-2 grass", "Oak_01-3 flowers"}));
    EXPECT_EQ(LastModelPlantTypes, (std::vector<TPlantType>{ptTrunk, ptFoliage, ptGrass, ptGrass}));
    // Every part of a tree is drawn with the forest's shared textures.
    const std::map<int32_t, std::string> forest = {{0, "landscape\\foresttexture_d.dds"},
                                                   {2, "landscape\\foresttexture_n.dds"}};
    for (int32_t slot : LastModelMeshes)
        EXPECT_EQ(Stages(slot), forest) << Mesh(slot).Name;
}

TEST_F(LandscapeModelsTest, TextureStemsComeFromTheReferenceOrTheFileName)
{
    // Stored in other cases than the names the loader builds.
    for (const char* name :
         {"Buildings\\Textures\\WALL_D.DDS", "Buildings\\Textures\\wall_n.dds", "Buildings\\Textures\\Wall_s.DDS",
          "Buildings\\Textures\\Hut_01_d.DDS", "Buildings\\Textures\\Body_d.DDS", "Buildings\\Textures\\Body_s.DDS"})
        WriteTexture(std::string("Landscape\\") + name);
    for (const char* name : {"Textures_Small\\Knight_d.DDS", "Textures_Small\\Knight_n.DDS",
                             "Textures_Small\\Knight_s.DDS", "Textures\\Knight_d.DDS"})
        WriteTexture(std::string("Personages\\") + name);

    using TStages = std::map<int32_t, std::string>;
    const std::string b = "landscape\\buildings\\textures\\";
    const std::string error = "landscape\\error.dds";
    const struct {
        std::string folder, file, part, reference;
        int32_t format, mode;
        TStages stages;
    } cases[] = {
        // Through the reference: its path, extension and "_d" go.
        {BuildingsFolder,
         "Keep_01.d3d",
         "Keep",
         "art\\Wall_d.tga",
         3,
         0,
         {{0, b + "wall_d.dds"}, {2, b + "wall_n.dds"}}},
        {BuildingsFolder, "Keep_01.d3d", "Keep", "art/Wall.TGA", 3, 0, {{0, b + "wall_d.dds"}, {2, b + "wall_n.dds"}}},
        // Through the file's name when the reference has no texture.
        {BuildingsFolder, "Hut_01.d3d", "Hut", "Roof_d.tga", 3, 0, {{0, b + "hut_01_d.dds"}}},
        {BuildingsFolder, "Hut_01.d3d", "Hut", "", 3, 0, {{0, b + "hut_01_d.dds"}}},
        // Neither: the error texture, no normal map.
        {BuildingsFolder, "Shed_01.d3d", "Shed", "Gone_d.tga", 3, 1, {{0, error}}},
        // A skinned part of a building: the specular map too, still in "Textures".
        {BuildingsFolder,
         "Mill_01.d3d",
         "Mill_skinned",
         "Body_d.tga",
         3,
         0,
         {{0, b + "body_d.dds"}, {1, b + "body_s.dds"}}},
        // An army model reads its own smaller textures.
        {PersonagesFolder,
         "Knight.d3d",
         "Knight",
         "Knight_d.tga",
         5,
         10,
         {{0, "personages\\textures_small\\knight_d.dds"},
          {1, "personages\\textures_small\\knight_s.dds"},
          {2, "personages\\textures_small\\knight_n.dds"}}},
        {PersonagesFolder, "Knight.d3d", "Knight", "Knight_d.tga", 3, 10, {{0, "personages\\textures\\knight_d.dds"}}},
    };
    for (const auto& c : cases) {
        WriteModel(c.folder.substr(Folder.ProgramPath().size()) + c.file, {Part(c.part, c.reference)});
        ASSERT_TRUE(LoadMapModel(c.folder, c.file, c.format, "", c.mode));
        EXPECT_EQ(Stages(LastModelMeshes[0]), c.stages) << c.file << " " << c.reference << " mode " << c.mode;
    }
}

class TerrainResourcesTest : public LandscapeModelsTest {
protected:
    void SetUp() override
    {
        LandscapeModelsTest::SetUp();
        for (const char* name : {"WaterRipple1_n", "WaterRipple2_n", "WaterSky", "LandTextures", "LandTextures_n",
                                 "HillTextures", "HillTextures_n", "ForestTexture_d", "ForestTexture_n"})
            WriteTexture(std::string("Landscape\\") + name + ".DDS");
        ErrorTextureName.clear();
    }

    int32_t Steps = 0;
};

TEST_F(TerrainResourcesTest, LibrariesNumberFilesByKindInNameOrder)
{
    WriteModel("Landscape\\Buildings\\town_a.d3d", {Part("A"), Part("A Collision")});
    WriteModel("Landscape\\Buildings\\Town_b.d3d", {Part("B")});
    WriteModel("Landscape\\Buildings\\CastleMiddle_01.d3d", {Part("C"), Part("C Collision"), Part("C Enter")});
    WriteModel("Landscape\\Trees\\Oak_01.d3d", {Part("trunk"), Part("coma")});
    WriteModel("Landscape\\Objects\\Rock_01.d3d", {Part("Rock")});
    WriteModel("Landscape\\Objects\\Object_01.d3d", {Part("Thing")});
    const int32_t savedUnitTypes = UnitTypeCount;
    UnitTypeCount = 4;
    LoadTerrainResources([this] { Steps++; });
    UnitTypeCount = savedUnitTypes;

    // Textures, then one step per kind of each library.
    EXPECT_EQ(Steps, 6 + BuildingModelCount + TreeKindCount + StoneKindCount);
    EXPECT_EQ(ErrorTextureName, LandscapeFolder + "Error.DDS");
    EXPECT_GE(TerrainTextures.Error, 0);

    const TModelLibrary& buildings = BuildingModelLibrary;
    ASSERT_EQ(buildings.Kinds.size(), size_t(BuildingModelCount + 1));
    EXPECT_EQ(buildings.Total, 3);
    const struct {
        int kind, first, count;
    } ranges[] = {{1, 1, 2}, {2, 3, 0}, {3, 3, 1}, {4, 4, 0}, {BuildingModelCount, 4, 0}};
    for (const auto& r : ranges) {
        EXPECT_EQ(buildings.Kinds[r.kind].First, r.first) << BuildingModelNames[r.kind];
        EXPECT_EQ(buildings.Kinds[r.kind].Count, r.count) << BuildingModelNames[r.kind];
    }
    // "Town_b" sorts before "town_a" by its bytes.
    ASSERT_EQ(BuildingModelMeshes.size(), 4u);
    EXPECT_EQ(Mesh(BuildingModelMeshes[1][0]).Name, "Town_b");
    EXPECT_EQ(Mesh(BuildingModelMeshes[2][1]).Name, "town_a-1 Collision");
    EXPECT_EQ(BuildingModelMeshes[3].size(), 3u);
    EXPECT_EQ(BuildingModelPassable, (std::vector<uint8_t>{0, 0, 1, 0}));

    EXPECT_EQ(TreeModelLibrary.Total, 1);
    EXPECT_EQ(TreeModelLibrary.Kinds[4].First, 1);
    EXPECT_EQ(TreeModelLibrary.Kinds[4].Count, 1);
    EXPECT_EQ(TreeModelLibrary.Kinds[5].First, 2);
    ASSERT_EQ(TreePlantTypes.size(), 2u);
    EXPECT_EQ(TreePlantTypes[1], (std::vector<TPlantType>{ptTrunk, ptFoliage}));
    EXPECT_EQ(Mesh(TreeModelMeshes[1][1]).Name, "Oak_01-1 coma");

    EXPECT_EQ(ObjectModelLibrary.Total, 2);
    EXPECT_EQ(ObjectModelLibrary.Kinds[1].First, 1);
    EXPECT_EQ(ObjectModelLibrary.Kinds[6].First, 2);
    EXPECT_EQ(ObjectModelLibrary.Kinds[6].Count, 1);
    EXPECT_EQ(Mesh(ObjectModelMeshes[2][0]).Name, "Object_01");

    EXPECT_EQ(PersonageMapMeshes.size(), 5u);
}

TEST_F(TerrainResourcesTest, MissingErrorTextureStopsTheLoad)
{
    OS_DeleteFile(OS_ResolvePath(Folder.ProgramPath() + "Landscape\\Error.DDS"));
    EXPECT_THROW(LoadTerrainResources(nullptr), TRenderFatalStop);
    const std::string text = GetEngineErrorText();
    EXPECT_NE(text.find("Load_DDS("), std::string::npos) << text;
    EXPECT_NE(text.find("Error.DDS) -> FILE NOT FOUND!"), std::string::npos) << text;
}

TEST_F(TerrainResourcesTest, LoaderThreadLeavesTheDeviceToTheMainThread)
{
    WriteModel("Landscape\\Buildings\\Town_01.d3d", {Part("Town", "Town_d.tga"), Part("Town Collision")});
    WriteTexture("Landscape\\Buildings\\Textures\\Town_d.DDS");
    WriteModel("Landscape\\Trees\\Pine_01.d3d", {Part("trunk"), Part("coma")});
    Device.Clear();
    Render->UploadQueue_Begin();
    Render->Texture_SetLoadOptions(1, 32);
    std::thread loader([] { LoadTerrainResources(nullptr); });
    loader.join();
    Render->UploadQueue_End();
    Render->Texture_SetLoadOptions(0, 0);

    for (const TRecordingDevice::TCall& call : Device.Calls())
        EXPECT_EQ(call.Thread, std::this_thread::get_id()) << call.Text;
    std::vector<int32_t> meshes = BuildingModelMeshes[1];
    meshes.insert(meshes.end(), TreeModelMeshes[1].begin(), TreeModelMeshes[1].end());
    ASSERT_EQ(meshes.size(), 4u);
    EXPECT_FALSE(Render->UploadQueue_Empty());
    Render->UploadQueue_Process(1 << 30);
    EXPECT_TRUE(Render->UploadQueue_Empty());
    for (int32_t slot : meshes)
        EXPECT_EQ(Mesh(slot).State, RESOURCE_ON_DEVICE) << Mesh(slot).Name;
    // The terrain's and the models' textures belong to the landscape's group.
    const std::vector<T3D_MeshStageTexture>& townTextures = Mesh(BuildingModelMeshes[1][0]).StageTextures;
    ASSERT_FALSE(townTextures.empty());
    for (int32_t slot : {TerrainTextures.WaterSky, TerrainTextures.Error, townTextures[0].TextureSlot}) {
        ASSERT_NE(TextureAt(*Render, slot), nullptr);
        EXPECT_EQ(TextureAt(*Render, slot)->Group, 32u);
    }
}
