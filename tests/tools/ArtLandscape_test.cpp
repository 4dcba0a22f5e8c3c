// The landscape art: two runs of the generator write the same bytes, and what
// the build laid into the installation loads through the map's own loaders
// with the names, parts and flags the map looks for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/scenario/ScenarioMap_Records.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_Images.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Models.h"
#include "tests/render/RenderTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/tools/ArtMeshChecks.h"
#include "tools/artgen/ArtLandTextures.h"

namespace {

namespace fs = std::filesystem;

// Every file below a folder (relative path → bytes).
std::map<std::string, std::string> FilesBelow(const std::string& root)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).generic_string()] = ReadWholeFile(entry.path().string());
    return files;
}

std::string ArtInstallation()
{
    return std::string(DUSKMARCH_INSTALL) + "/";
}

bool IsRuin(TBuildingModel m)
{
    return m >= TBuildingModel::RuinCastleBig && m <= TBuildingModel::RuinVillageRuinedSmall;
}

} // namespace

TEST(ArtLandscape, TwoRunsWriteTheSameBytes)
{
    TTempFolder first, second;
    int statusA = -1, statusB = -1;
    std::string outA, outB;
    // The two runs go side by side: each takes a few seconds.
    std::thread other([&] { outB = RunProgram(DUSKMARCH_ARTGEN, "\"" + second.Path() + "\" landscape", statusB); });
    outA = RunProgram(DUSKMARCH_ARTGEN, "\"" + first.Path() + "\" landscape", statusA);
    other.join();
    ASSERT_EQ(statusA, 0) << outA;
    ASSERT_EQ(statusB, 0) << outB;

    const std::map<std::string, std::string> a = FilesBelow(first.Path()), b = FilesBelow(second.Path());
    ASSERT_FALSE(a.empty());
    for (const auto& [name, bytes] : a) {
        EXPECT_EQ(name.rfind("Landscape/", 0), 0u) << name << ": the set writes only below Landscape\\";
        const auto found = b.find(name);
        ASSERT_NE(found, b.end()) << name;
        EXPECT_TRUE(found->second == bytes) << name << " differs between the runs";
    }
    EXPECT_EQ(a.size(), b.size());

    // The set keeps within its share of the installation.
    size_t total = 0;
    for (const auto& entry : a)
        total += entry.second.size();
    EXPECT_LE(total, size_t{35} << 20);
}

TEST(ArtLandscape, TexturesAreMippedDxtOfTheirSizes)
{
    struct TCase {
        const char* Name;
        int32_t Size;
        bool Alpha;
    };
    const TCase cases[] = {
        {"WaterRipple1_n", 256, false},
        {"WaterRipple2_n", 256, false},
        {"WaterSky", 256, false},
        {"LandTextures", 2048, false},
        {"LandTextures_n", 2048, false},
        {"HillTextures", 2048, false},
        {"HillTextures_n", 2048, false},
        {"ForestTexture_d", 512, true},
        {"ForestTexture_n", 512, false},
        {"Error", 64, false},
        {"Buildings\\Textures\\Buildings_d", 512, false},
        {"Buildings\\Textures\\Buildings_n", 512, false},
        {"Objects\\Textures\\Objects_d", 512, false},
        {"Objects\\Textures\\Objects_n", 512, false},
    };
    for (const TCase& c : cases) {
        int32_t format = 0, width = 0, height = 0;
        std::vector<TImageBuffer*> levels;
        Load_DDS(OS_ToProgramPath(ArtInstallation()) + "Landscape\\" + c.Name + ".DDS", format, levels, width, height);
        EXPECT_EQ(width, c.Size) << c.Name;
        EXPECT_EQ(height, c.Size) << c.Name;
        EXPECT_EQ(format, c.Alpha ? D3DFMT_DXT5 : D3DFMT_DXT1) << c.Name;
        // Every level down to one texel.
        int32_t expected = 1;
        for (int32_t s = c.Size; s > 1; s /= 2)
            expected++;
        EXPECT_EQ(static_cast<int32_t>(levels.size()), expected) << c.Name;
        FreeImageLevels(levels);
    }
}

// The three libraries as the map loads them from the installation.
class ArtLandscapeLibraryTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        SetGameFolders(OS_ToProgramPath(ArtInstallation()));
        MainRender = Render.get();
        LoadTerrainResources(nullptr);
    }

    void TearDown() override
    {
        FreeTerrainResources();
        MainRender = nullptr;
        TRecordingRenderTest::TearDown();
    }

    T3D_Mesh& Mesh(int32_t slot) { return *Render->Mesh_Get(slot); }

    // Whether a visible part found its own textures: a diffuse map that is
    // not the error texture and a normal map.
    void ExpectTextured(int32_t slot)
    {
        std::map<int32_t, std::string> stages;
        for (const T3D_MeshStageTexture& stage : Mesh(slot).StageTextures) {
            const T3D_Texture* texture = TextureAt(*Render, stage.TextureSlot);
            ASSERT_NE(texture, nullptr);
            stages[stage.Stage] = texture->FileName;
        }
        EXPECT_NE(stages[0], "") << Mesh(slot).Name;
        EXPECT_NE(stages[0], "error.dds") << Mesh(slot).Name;
        EXPECT_NE(stages[2], "") << Mesh(slot).Name << " has no normal map";
    }
};

TEST_F(ArtLandscapeLibraryTest, EveryBuildingKindHasModelsWithItsParts)
{
    ASSERT_EQ(GetEngineErrorText(), "");
    int32_t skinned = 0;
    for (int32_t m = 1; m <= BuildingModelCount; m++) {
        const TBuildingModel model = static_cast<TBuildingModel>(m);
        const TModelKindRange& range = BuildingModelLibrary.Kinds[static_cast<size_t>(m)];
        SCOPED_TRACE(BuildingModelNames[m]);
        EXPECT_GE(range.Count, model == TBuildingModel::Town ? 2 : 1);
        for (int32_t e = range.First; e < range.First + range.Count; e++) {
            bool collision = false, enter = false;
            for (int32_t slot : BuildingModelMeshes[static_cast<size_t>(e)]) {
                const T3D_Mesh& mesh = Mesh(slot);
                const bool part = mesh.Name.find(" Collision") != std::string::npos;
                const bool gate = mesh.Name.find(" Enter") != std::string::npos;
                collision |= part;
                enter |= gate;
                EXPECT_GT(mesh.VertexCount, 0) << mesh.Name;
                EXPECT_EQ(FacesWoundInward(mesh), 0) << mesh.Name;
                if (part || gate)
                    continue;
                ExpectTextured(slot);
                if (mesh.VertexFormat == MESH_SKINNED) {
                    skinned++;
                    EXPECT_EQ(mesh.Skin.Bones.size(), 2u);
                    ASSERT_EQ(mesh.Skin.Clips.size(), 1u);
                    EXPECT_GT(mesh.Skin.Clips[0].FrameCount, 0);
                    // A whole turn: the last key stands where the first does.
                    const T3D_Track& track = mesh.Skin.Bones[1].Tracks.at(0);
                    ASSERT_GE(track.Keys.size(), 2u);
                    for (int32_t i = 0; i < 16; i++)
                        EXPECT_NEAR(track.Keys.front().e[i], track.Keys.back().e[i], 1e-4f) << mesh.Name;
                    // The sails turn about their hub: every key keeps it in place.
                    const TVec3 hub = {track.Matrix.e[3], track.Matrix.e[7], track.Matrix.e[11]};
                    for (const TMatrix4& key : track.Keys) {
                        TMatrix4 skinning;
                        MatrixMultiply(mesh.Skin.Bones[1].InverseBind, key, skinning); // key x inverse bind
                        TVec3 moved;
                        Vec3TransformCoord(hub, skinning, moved);
                        EXPECT_NEAR(moved.x, hub.x, 1e-4f);
                        EXPECT_NEAR(moved.y, hub.y, 1e-4f);
                        EXPECT_NEAR(moved.z, hub.z, 1e-4f);
                    }
                }
            }
            EXPECT_TRUE(collision);
            // Ruins and the cemetery are passable: no gate, and the library
            // says so.
            const bool open = IsRuin(model) || model == TBuildingModel::Cementry || model == TBuildingModel::Object;
            EXPECT_EQ(enter, !open);
            EXPECT_EQ(BuildingModelPassable[static_cast<size_t>(e)] != 0, open);
        }
    }
    EXPECT_EQ(skinned, 1) << "one kind turns its sails";
}

TEST_F(ArtLandscapeLibraryTest, FootprintsCoverTheirBuildingsAndTheBridgeDeckRises)
{
    // The extent in x and z of a part's vertices.
    auto extent = [&](int32_t slot, float& width, float& depth, float& low, float& high) {
        const T3D_Mesh& mesh = Mesh(slot);
        float x0 = 1e9f, x1 = -1e9f, z0 = 1e9f, z1 = -1e9f;
        low = 1e9f;
        high = -1e9f;
        for (int32_t v = 0; v < mesh.VertexCount; v++) {
            const TVec3 p = PositionOf(mesh, v);
            x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
            z0 = std::min(z0, p.z), z1 = std::max(z1, p.z);
            low = std::min(low, p.y), high = std::max(high, p.y);
        }
        width = x1 - x0;
        depth = z1 - z0;
    };
    auto footprint = [&](TBuildingModel model, const char* part, float& width, float& depth) {
        const TModelKindRange& range = BuildingModelLibrary.Kinds[static_cast<size_t>(model)];
        float low = 0, high = 0;
        for (int32_t slot : BuildingModelMeshes[static_cast<size_t>(range.First)])
            if (Mesh(slot).Name.find(part) != std::string::npos)
                extent(slot, width, depth, low, high);
    };
    float castleW = 0, castleD = 0, tavernW = 0, tavernD = 0, houseW = 0, houseD = 0;
    footprint(TBuildingModel::CastleBig, " Collision", castleW, castleD);
    footprint(TBuildingModel::Tavern, " Collision", tavernW, tavernD);
    footprint(TBuildingModel::House, " Collision", houseW, houseD);
    // A castle covers many cells, a tavern a few, a house fewer.
    EXPECT_GE(castleW, 12);
    EXPECT_GE(castleD, 12);
    EXPECT_GE(tavernW * tavernD, 6);
    EXPECT_LT(tavernW * tavernD, castleW * castleD / 10);
    EXPECT_LT(houseW * houseD, tavernW * tavernD);

    // The gate reaches past the walls and into the middle.
    float gateW = 0, gateD = 0;
    footprint(TBuildingModel::CastleBig, " Enter", gateW, gateD);
    EXPECT_GE(gateW, 2);
    EXPECT_GT(gateD, castleD / 2);

    // The bridge's deck runs along z and rises over the middle.
    const TModelKindRange& bridge = BuildingModelLibrary.Kinds[static_cast<size_t>(TBuildingModel::Bridge)];
    int32_t decks = 0;
    for (int32_t slot : BuildingModelMeshes[static_cast<size_t>(bridge.First)]) {
        if (Mesh(slot).Name.find(" Enter") == std::string::npos)
            continue;
        decks++;
        float width = 0, length = 0, low = 0, high = 0;
        extent(slot, width, length, low, high);
        EXPECT_GT(length, 3 * width);
        EXPECT_GT(high - low, 0.3f);
    }
    EXPECT_EQ(decks, 1);
}

TEST_F(ArtLandscapeLibraryTest, TreesAreSmallPlantsOfTheirParts)
{
    const std::set<TTreeKind> tall = {TTreeKind::Aspen,  TTreeKind::Maple, TTreeKind::Birch, TTreeKind::Oak,
                                      TTreeKind::Spruce, TTreeKind::Pine,  TTreeKind::Dry,   TTreeKind::Apple};
    for (int32_t k = 1; k <= TreeKindCount; k++) {
        const TModelKindRange& range = TreeModelLibrary.Kinds[static_cast<size_t>(k)];
        SCOPED_TRACE(TreeKindNames[k]);
        EXPECT_EQ(range.Count, tall.count(static_cast<TTreeKind>(k)) != 0 ? 3 : 2);
        for (int32_t e = range.First; e < range.First + range.Count; e++) {
            const TIntArray& meshes = TreeModelMeshes[static_cast<size_t>(e)];
            const std::vector<TPlantType>& types = TreePlantTypes[static_cast<size_t>(e)];
            int32_t vertices = 0, trunks = 0, crowns = 0;
            for (size_t i = 0; i < meshes.size(); i++) {
                const T3D_Mesh& mesh = Mesh(meshes[i]);
                vertices += mesh.VertexCount;
                trunks += types[i] == ptTrunk;
                crowns += types[i] == ptFoliage;
                ExpectTextured(meshes[i]);
                if (types[i] != ptFoliage)
                    continue;
                ASSERT_EQ(mesh.VertexFormat, MESH_TREECOMA);
                // The crown's extents ride in every vertex.
                for (int32_t v = 0; v < mesh.VertexCount; v++) {
                    uint16_t radius = 0, height = 0;
                    std::memcpy(&radius, &mesh.Vertices[static_cast<size_t>(v * mesh.VertexStride + 24)], 2);
                    std::memcpy(&height, &mesh.Vertices[static_cast<size_t>(v * mesh.VertexStride + 26)], 2);
                    EXPECT_GT(radius, 0);
                    EXPECT_GT(height, 0);
                }
            }
            EXPECT_LE(vertices, 60);
            if (tall.count(static_cast<TTreeKind>(k)) != 0) {
                EXPECT_EQ(trunks, 1);
                EXPECT_EQ(crowns, 1);
                EXPECT_EQ(meshes.size(), 4u) << "trunk, crown, grass and flowers";
            }
        }
    }
}

TEST_F(ArtLandscapeLibraryTest, ObjectKindsHaveTwoTexturedVariants)
{
    for (int32_t k = 1; k <= StoneKindCount; k++) {
        const TModelKindRange& range = ObjectModelLibrary.Kinds[static_cast<size_t>(k)];
        SCOPED_TRACE(StoneKindNames[k]);
        EXPECT_EQ(range.Count, 2);
        for (int32_t e = range.First; e < range.First + range.Count; e++) {
            ASSERT_EQ(ObjectModelMeshes[static_cast<size_t>(e)].size(), 1u);
            ExpectTextured(ObjectModelMeshes[static_cast<size_t>(e)][0]);
            EXPECT_EQ(FacesWoundInward(Mesh(ObjectModelMeshes[static_cast<size_t>(e)][0])), 0);
        }
    }
}

TEST(ArtLandscape, MapEditOptionsGiveScalesAndSevenLightSets)
{
    TIniFile ini;
    ini.Load(OS_ToProgramPath(ArtInstallation()) + "Options_MapEdit.ini");
    ASSERT_TRUE(ini.SelectSection("Option"));
    for (const char* key : {"DefBuildingScale", "DefObjectScale", "DefTreeScale", "DefArmyScale"})
        EXPECT_EQ(ini.ReadFloat(key, 1, 0), 1.0f) << key;
    ASSERT_TRUE(ini.SelectSection("MapLight"));
    // The brightness of a colour: the sum of its three bytes.
    auto brightness = [](int32_t colour) { return (colour & 255) + (colour >> 8 & 255) + (colour >> 16 & 255); };
    for (const char* key : {"SunMD", "SunDD", "SunED", "SunEN", "SunNN", "SunMN", "MiniMap"}) {
        SCOPED_TRACE(key);
        ASSERT_EQ(ini.ValueCount(key), 17);
        for (int32_t item = 1; item <= 17; item++) {
            const std::string text = ini.ReadString(key, item);
            EXPECT_TRUE(!text.empty() && std::all_of(text.begin(), text.end(), ::isdigit)) << item << ": " << text;
        }
        EXPECT_LE(ini.ReadInteger(key, 3, -1), 90); // the sun's elevation
        EXPECT_LT(ini.ReadInteger(key, 4, -1), 360);
    }
    EXPECT_LT(brightness(ini.ReadInteger("SunNN", 1, 0)) * ini.ReadInteger("SunNN", 2, 0),
              brightness(ini.ReadInteger("SunDD", 1, 0)) * ini.ReadInteger("SunDD", 2, 0) / 2)
        << "the night is darker than noon";
}

// A block of 16 x 16 cells shows texels 6..506 of its ground tile, the next
// block starts again at 6: every ground and hill pattern repeats after 500
// texels, or the blocks show seams.
TEST(ArtLandscape, GroundTilesRepeatEvery500Texels)
{
    using namespace ArtLand;
    for (int32_t kind = 1; kind <= GroundKindCount; kind++)
        for (float y = 0.5f; y < 500; y += 37)
            for (float x = 0.25f; x < 500; x += 41) {
                const TTexel here = Ground(kind, x, y);
                for (const auto& [dx, dy] : {std::pair{500.0f, 0.0f}, std::pair{0.0f, 500.0f}}) {
                    const TTexel there = Ground(kind, x + dx, y + dy);
                    EXPECT_NEAR(here.Colour.R, there.Colour.R, 0.5f) << kind << " at " << x << ", " << y;
                    EXPECT_NEAR(here.Colour.G, there.Colour.G, 0.5f) << kind << " at " << x << ", " << y;
                    EXPECT_NEAR(here.Colour.B, there.Colour.B, 0.5f) << kind << " at " << x << ", " << y;
                    const TTexel hill = HillGround(kind, x + dx, y + dy, there);
                    EXPECT_NEAR(HillGround(kind, x, y, here).Colour.G, hill.Colour.G, 0.5f) << kind;
                }
            }
}
