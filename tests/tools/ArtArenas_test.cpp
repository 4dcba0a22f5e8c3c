// The arena art: two runs of the generator write the same bytes; every arena
// the battle, the camp and the story screens open reads as a scene file whose
// meshes and textures the renderer loads; the battle's hex meshes have their
// parts where the battle rules and the pick table put them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "battle/Battle_Field.h"
#include "engine/QX9_Math.h"
#include "engine/QX9_System.h"
#include "engine/QX9_System_Script.h"
#include "platform/d3d9/D3D9.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_Images.h"
#include "tests/render/RenderTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string ArenaInstallation()
{
    return OS_ToProgramPath(std::string(DUSKMARCH_INSTALL) + "/");
}

std::map<std::string, std::string> ArenaFilesBelow(const std::string& root)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).generic_string()] = ReadWholeFile(entry.path().string());
    return files;
}

std::string ArenaLower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::vector<std::string> ArenaWords(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : text + " ") {
        if (c == ' ') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return words;
}

// The arena of a cell's centre: the field view stands a cell's markers at
// (z, 0, x - 1) of the battle rules' position.
TVec3 ArenaCell(int32_t row, int32_t column)
{
    TVec3 p;
    GetHexCellPosition(row, column, p);
    return {p.z, 0, p.x - 1};
}

TVec3 ArenaPositionOf(const T3D_Mesh& mesh, int32_t v)
{
    TVec3 p;
    std::memcpy(&p, &mesh.Vertices[static_cast<size_t>(v * mesh.VertexStride)], sizeof(p));
    return p;
}

TVec3 ArenaNormalOf(const T3D_Mesh& mesh, int32_t v)
{
    const uint8_t* packed = &mesh.Vertices[static_cast<size_t>(v * mesh.VertexStride + 12)];
    TVec3 n;
    UnpackNormal(packed[0], packed[1], packed[2], n);
    return n;
}

// Twice the area of a triangle seen from above, signed by its winding:
// positive for a face the arena draws when seen from above (the arena culls
// clockwise faces, and the map's and arena's meshes wind every face the same
// way: (b - a) x (c - a) against the face's normal).
float ArenaUpArea(const TVec3& a, const TVec3& b, const TVec3& c)
{
    const TVec3 e1 = {b.x - a.x, b.y - a.y, b.z - a.z}, e2 = {c.x - a.x, c.y - a.y, c.z - a.z};
    return -(e1.z * e2.x - e1.x * e2.z);
}

} // namespace

TEST(ArtArenas, TwoRunsWriteTheSameBytesWithinTheirShare)
{
    TTempFolder first, second;
    int statusA = -1, statusB = -1;
    std::string outA, outB;
    std::thread other([&] { outB = RunProgram(DUSKMARCH_ARTGEN, "\"" + second.Path() + "\" arenas", statusB); });
    outA = RunProgram(DUSKMARCH_ARTGEN, "\"" + first.Path() + "\" arenas", statusA);
    other.join();
    ASSERT_EQ(statusA, 0) << outA;
    ASSERT_EQ(statusB, 0) << outB;
    const std::map<std::string, std::string> a = ArenaFilesBelow(first.Path()), b = ArenaFilesBelow(second.Path());
    ASSERT_FALSE(a.empty());
    size_t total = 0;
    for (const auto& [name, bytes] : a) {
        const bool ours =
            name.rfind("Arenas/", 0) == 0 || name.rfind("Interface/Common/", 0) == 0 || name == "Error.tga";
        EXPECT_TRUE(ours) << name << ": the set writes only its own folders";
        const auto found = b.find(name);
        ASSERT_NE(found, b.end()) << name;
        EXPECT_TRUE(found->second == bytes) << name << " differs between the runs";
        total += bytes.size();
    }
    EXPECT_EQ(a.size(), b.size());
    EXPECT_LE(total, size_t{11} << 20);
}

namespace {

// The arena files the screens open: every battle arena name (in "Plain\" for
// the names holding "Plain"), the camp and the story event, and the night
// variants the set has.
struct TArenaFile {
    const char* Path;
    bool Battle;
};

const TArenaFile ArenaFiles[] = {
    {"Plain\\Plain", true},        {"Plain\\Plain_Night", true}, {"Plain\\PlainTown", true},
    {"Plain\\PlainVillage", true}, {"Plain\\PlainWild", true},   {"Castle\\Castle", true},
    {"Tower\\Tower", true},        {"Ruins\\Ruins", true},       {"PineForest\\PineForest", true},
    {"Forest\\Forest", true},      {"Swamp\\Swamp", true},       {"Lake\\Lake", true},
    {"Tent\\Tent", false},         {"Tent\\Tent_Night", false},  {"Event\\Event", false},
};

// The words an object's tags may hold: the map's arena tag words, the lake's
// "island" and the blockers' "collision" (each with "-" in front or not).
const std::set<std::string> ArenaTagWords = {"road",   "town",   "castle", "village", "mill",     "house",
                                             "tavern", "ruins",  "ruinc",  "ruint",   "church",   "bridge",
                                             "kogg",   "galere", "island", "forest",  "collision"};

class ArtArenasLoadTest : public TRecordingRenderTest {
protected:
    // Loads a named mesh of a file through the renderer; the file's
    // absence or a missing name stops (the fatal hook throws).
    const T3D_Mesh& LoadMesh(const std::string& file, const std::string& name, int32_t format = MESH_NORMALMAPPED)
    {
        const int32_t slot = Render->Mesh_Add(format, name, 1);
        Render->Mesh_Load(slot, file, name, 1);
        return *Render->Mesh_Get(slot);
    }

    void ExpectDds(const std::string& file)
    {
        ASSERT_TRUE(FileExistsMask(file)) << file;
        int32_t format = 0, width = 0, height = 0;
        std::vector<TImageBuffer*> levels;
        Load_DDS(file, format, levels, width, height);
        EXPECT_TRUE(format == D3DFMT_DXT1 || format == D3DFMT_DXT5) << file;
        EXPECT_GT(levels.size(), 1u) << file << " has its mipmaps";
        FreeImageLevels(levels);
    }
};

} // namespace

TEST_F(ArtArenasLoadTest, EveryArenaReadsWithItsMeshesAndTextures)
{
    const std::string arenas = ArenaInstallation() + "Arenas\\", common = ArenaInstallation() + "Interface\\Common\\";
    int32_t emitters = 0;
    for (const TArenaFile& arena : ArenaFiles) {
        SCOPED_TRACE(arena.Path);
        const std::string fileName = arenas + arena.Path + ".qxs";
        ASSERT_TRUE(FileExistsMask(fileName));
        TScript script(fileName, true);
        ASSERT_GE(script.LastSection(), 1);
        EXPECT_EQ(script.SectionName(0), "Scene");
        ASSERT_TRUE(script.SelectSectionIndex(0));
        EXPECT_GT(script.ReadInteger("SunPower", 1, 0), 0);
        EXPECT_TRUE(script.KeyExists("Target_pos"));
        int32_t battlefields = 0, grounds = 0;
        std::set<std::string> uids;
        for (int32_t section = 1; section <= script.LastSection(); section++) {
            ASSERT_TRUE(script.SelectSectionIndex(section));
            const std::string object = script.SectionName(section);
            SCOPED_TRACE(object);
            EXPECT_TRUE(uids.insert(script.ReadString("UID", 0)).second) << "UIDs are unique";
            const std::string type = script.ReadString("Mesh_Type", 0);
            if (type == "Emitter") {
                emitters++;
                EXPECT_FALSE(script.ReadString("MeshName", 0).empty());
                continue;
            }
            const std::set<std::string> types = {"NormalMapped", "TreeComa", "Grass", "Textured"};
            EXPECT_EQ(types.count(type), 1u) << type;
            // Missing, they would read 0 and darken the object to nothing.
            EXPECT_EQ(script.ReadInteger("Ambient", 1, 0), 100);
            EXPECT_EQ(script.ReadInteger("Gamma", 1, 0), 100);
            const std::string meshName = script.ReadString("MeshName", 0);
            const int32_t format = type == "TreeComa" ? MESH_TREECOMA
                                   : type == "Grass"  ? MESH_GRASS
                                                      : MESH_NORMALMAPPED;
            if (ArenaLower(meshName) == "hexbattlefield") {
                battlefields++;
                ExpectDds(common + "HEX_grid.DDS");
                LoadMesh(common + "HexBattlefield6x7.d3d", meshName);
                continue;
            }
            // The loader's names: the folder, the base of "Name" and ".D3D";
            // the texture as written plus ".DDS", and its normal map.
            const std::string folder = fileName.substr(0, fileName.rfind('\\') + 1);
            const T3D_Mesh& mesh = LoadMesh(folder + script.ReadString("Name", 0) + ".D3D", meshName);
            EXPECT_EQ(mesh.VertexFormat, format) << meshName;
            EXPECT_GT(mesh.VertexCount, 0) << meshName;
            grounds += meshName == "Ground";
            const std::string texture = script.ReadString("Texture", 0);
            ASSERT_GT(texture.size(), 2u);
            EXPECT_EQ(texture.substr(texture.size() - 2), "_d");
            ExpectDds(folder + texture + ".DDS");
            ExpectDds(folder + texture.substr(0, texture.size() - 2) + "_n.DDS");
            // Tags: the words the battle's tag text can hold; blockers are
            // never seen.
            const std::vector<std::string> tags = ArenaWords(ArenaLower(script.ReadString("Tags", 0)));
            for (const std::string& tag : tags)
                EXPECT_EQ(ArenaTagWords.count(tag[0] == '-' ? tag.substr(1) : tag), 1u) << tag;
            if (std::find(tags.begin(), tags.end(), "collision") != tags.end())
                EXPECT_FALSE(script.ReadBool("Visible", 0)) << "a blocker is invisible";
            else
                EXPECT_TRUE(script.ReadBool("Visible", 0));
        }
        EXPECT_EQ(battlefields, arena.Battle ? 1 : 0);
        if (arena.Battle)
            EXPECT_EQ(grounds, 1);
    }
    EXPECT_GE(emitters, 1);
    ASSERT_EQ(GetEngineErrorText(), "");
}

TEST_F(ArtArenasLoadTest, BattleArenasShowTheirTagsAndHideTheirBlockers)
{
    // Which tag words some battle arena answers, and that each battle arena
    // has invisible blockers beside its scenery.
    std::set<std::string> tagged;
    for (const TArenaFile& arena : ArenaFiles) {
        if (!arena.Battle)
            continue;
        SCOPED_TRACE(arena.Path);
        TScript script(ArenaInstallation() + "Arenas\\" + arena.Path + ".qxs", true);
        int32_t blockers = 0;
        for (int32_t section = 1; section <= script.LastSection(); section++) {
            script.SelectSectionIndex(section);
            for (const std::string& tag : ArenaWords(ArenaLower(script.ReadString("Tags", 0)))) {
                tagged.insert(tag);
                blockers += tag == "collision";
            }
        }
        EXPECT_GE(blockers, 1);
    }
    for (const char* word : {"road", "town", "castle", "village", "mill", "house", "tavern", "ruinc", "ruint", "church",
                             "bridge", "kogg", "galere", "island", "forest", "-town"})
        EXPECT_EQ(tagged.count(word), 1u) << word;
}

TEST_F(ArtArenasLoadTest, NothingStandsOnTheBattlefield)
{
    // Over the cells the ground, the road and the square lie flat under
    // the field's outlines; nothing else reaches in, whatever the tags show.
    for (const TArenaFile& arena : ArenaFiles) {
        if (!arena.Battle)
            continue;
        SCOPED_TRACE(arena.Path);
        const std::string fileName = ArenaInstallation() + "Arenas\\" + arena.Path + ".qxs";
        const std::string folder = fileName.substr(0, fileName.rfind('\\') + 1);
        TScript script(fileName, true);
        for (int32_t section = 1; section <= script.LastSection(); section++) {
            script.SelectSectionIndex(section);
            const std::string meshName = script.ReadString("MeshName", 0);
            if (script.ReadString("Mesh_Type", 0) == "Emitter" || ArenaLower(meshName) == "hexbattlefield")
                continue;
            SCOPED_TRACE(meshName);
            const T3D_Mesh& mesh = LoadMesh(folder + script.ReadString("Name", 0) + ".D3D", meshName,
                                            script.ReadString("Mesh_Type", 0) == "TreeComa" ? MESH_TREECOMA
                                            : script.ReadString("Mesh_Type", 0) == "Grass"  ? MESH_GRASS
                                                                                            : MESH_NORMALMAPPED);
            const float scale = static_cast<float>(script.ReadInteger("Scale", 1, 100)) / 100;
            const float turn = static_cast<float>(script.ReadInteger("RotateV", 1, 0)) * 3.1415927f / 180;
            const TVec3 at = {script.ReadFloat("X", 1, 0), script.ReadFloat("Y", 1, 0), script.ReadFloat("Z", 1, 0)};
            float highest = -1e9f;
            for (int32_t v = 0; v < mesh.VertexCount; v++) {
                const TVec3 p = ArenaPositionOf(mesh, v);
                const float c = std::cos(turn), s = std::sin(turn);
                const TVec3 w = {at.x + scale * (c * p.x + s * p.z), at.y + scale * p.y,
                                 at.z + scale * (-s * p.x + c * p.z)};
                if (std::fabs(w.x) < 6.5f && std::fabs(w.z) < 7.0f)
                    highest = std::max(highest, w.y);
            }
            EXPECT_LT(highest, 0.04f) << "below the field's outlines at 0.05";
        }
    }
}

TEST_F(ArtArenasLoadTest, TheFieldsHexesStandWhereTheCellsAre)
{
    const T3D_Mesh& field =
        LoadMesh(ArenaInstallation() + "Interface\\Common\\HexBattlefield6x7.d3d", "hexbattlefield");
    // Every triangle faces up and belongs to one cell: its first corner at
    // a cell's centre, the other two within the cell.
    std::map<std::pair<int32_t, int32_t>, int32_t> triangles;
    const float radius = 2.05f / std::sqrt(3.0f);
    for (int32_t t = 0; t + 2 < field.IndexCount; t += 3) {
        const TVec3 a = ArenaPositionOf(field, field.Indices[t]), b = ArenaPositionOf(field, field.Indices[t + 1]),
                    c = ArenaPositionOf(field, field.Indices[t + 2]);
        EXPECT_GT(ArenaUpArea(a, b, c), 0) << "triangle " << t / 3 << " faces up";
        EXPECT_GT(ArenaNormalOf(field, field.Indices[t]).y, 0.99f);
        bool found = false;
        for (int32_t row = HexRowMin; row <= HexRowMax && !found; row++)
            for (int32_t column = HexColumnMin; column <= HexColumnMax && !found; column++) {
                const TVec3 centre = ArenaCell(row, column);
                if (std::hypot(a.x - centre.x, a.z - centre.z) > 1e-3f)
                    continue;
                found = true;
                EXPECT_TRUE(IsUsableHexCell(row, column)) << row << ", " << column;
                for (const TVec3& corner : {b, c})
                    EXPECT_LE(std::hypot(corner.x - centre.x, corner.z - centre.z), radius + 1e-3f);
                triangles[{row, column}]++;
            }
        EXPECT_TRUE(found) << "triangle " << t / 3 << " at " << a.x << ", " << a.z;
    }
    EXPECT_EQ(triangles.size(), 30u);
    for (const auto& [cell, count] : triangles)
        EXPECT_EQ(count, 6) << cell.first << ", " << cell.second;
}

TEST_F(ArtArenasLoadTest, TheCellsPickPartsLieTowardsTheirDirections)
{
    // The start-up scales each part by 0.8 and turns it a quarter about x;
    // part i (R, C, L of sector 01, then 02, ...) answers the direction the
    // battle screen's table gives for i.
    const int32_t sectorDirection[18] = {5, 5, 5, 6, 6, 6, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
    TMatrix4 scale, turn, m;
    MatrixScaling(scale, 0.8f, 0.8f, 0.8f);
    MatrixRotationX(turn, 1.5707963f);
    MatrixMultiply(scale, turn, m);
    const TVec3 here = ArenaCell(0, 3);
    auto angleOf = [](float x, float z) { return std::atan2(z, x); };
    auto gap = [](float a, float b) { return std::fabs(std::remainder(a - b, 6.2831853f)); };
    auto directionAngle = [&](int32_t d) {
        THexCell next;
        StepHexCell(0, 3, d, next);
        const TVec3 there = ArenaCell(next.Row, next.Column);
        return angleOf(there.x - here.x, there.z - here.z);
    };
    float area = 0;
    for (int32_t i = 0; i < 18; i++) {
        const char* thirds = "RCL";
        const std::string name = std::string("HexPart_") + thirds[i % 3] + "0" + std::to_string(i / 3 + 1);
        SCOPED_TRACE(name);
        const T3D_Mesh& part = LoadMesh(ArenaInstallation() + "Interface\\Common\\Hex_Parts.D3D", name);
        ASSERT_GE(part.IndexCount, 3);
        TVec3 centroid = {0, 0, 0};
        for (int32_t t = 0; t + 2 < part.IndexCount; t += 3) {
            TVec3 p[3];
            for (int32_t k = 0; k < 3; k++) {
                Vec3TransformCoord(ArenaPositionOf(part, part.Indices[t + k]), m, p[k]);
                EXPECT_NEAR(p[k].y, 0, 1e-4f) << "the part lies on the ground once turned";
                centroid = {centroid.x + p[k].x, 0, centroid.z + p[k].z};
            }
            const float up = ArenaUpArea(p[0], p[1], p[2]);
            EXPECT_GT(up, 0) << "and faces up";
            area += up / 2;
        }
        const float a = angleOf(centroid.x, centroid.z);
        const int32_t d = sectorDirection[i];
        // Within the sector's wedge of 60 degrees; the centre third on its
        // direction, the right one towards the direction before, the left
        // towards the one after.
        EXPECT_LT(gap(a, directionAngle(d)), 0.5236f);
        const float before = directionAngle(PreviousHexDirection(d)), after = directionAngle(NextHexDirection(d));
        if (i % 3 == 1)
            EXPECT_LT(gap(a, directionAngle(d)), 0.01f);
        else if (i % 3 == 0)
            EXPECT_LT(gap(a, before), gap(a, after));
        else
            EXPECT_LT(gap(a, after), gap(a, before));
    }
    // Together the parts cover the cell.
    const float radius = 2.05f / std::sqrt(3.0f);
    EXPECT_NEAR(area, 1.5f * std::sqrt(3.0f) * radius * radius, 0.01f);
}

TEST_F(ArtArenasLoadTest, TheMarkerAndArrowMeshesLoadByTheirNames)
{
    const std::string common = ArenaInstallation() + "Interface\\Common\\";
    struct TCase {
        const char* File;
        const char* Mesh;
        TVec3 Points; // the unit direction its far end points along (zero: none)
    };
    const TCase cases[] = {
        {"Hex_Circle.D3D", "Hex_Circle", {0, 0, 0}},
        {"Hex_FlatArrow.D3D", "Direction_Arrow", {1, 0, 0}},
        {"Way_Arrow.D3D", "Pass_arrow", {0, 0, 1}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Mesh);
        TStringArray names;
        Render->Mesh_FindNames(common + c.File, names);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0], c.Mesh);
        const T3D_Mesh& mesh = LoadMesh(common + c.File, c.Mesh);
        // Flat on the ground, seen from above.
        float far = -1e9f, near = 1e9f;
        for (int32_t v = 0; v < mesh.VertexCount; v++) {
            const TVec3 p = ArenaPositionOf(mesh, v);
            EXPECT_NEAR(p.y, 0, 1e-4f);
            const float along = p.x * c.Points.x + p.z * c.Points.z;
            far = std::max(far, along);
            near = std::min(near, along);
        }
        for (int32_t t = 0; t + 2 < mesh.IndexCount; t += 3) {
            EXPECT_GT(ArenaUpArea(ArenaPositionOf(mesh, mesh.Indices[t]), ArenaPositionOf(mesh, mesh.Indices[t + 1]),
                                  ArenaPositionOf(mesh, mesh.Indices[t + 2])),
                      0);
            EXPECT_GT(ArenaNormalOf(mesh, mesh.Indices[t]).y, 0.99f);
        }
        if (c.Points.x != 0 || c.Points.z != 0)
            EXPECT_GT(far, -near) << "the tip is the far end";
    }
    // The start-up reads the pick parts by these 18 names.
    TStringArray parts;
    Render->Mesh_FindNames(common + "Hex_Parts.D3D", parts);
    std::set<std::string> expected;
    for (const char* third : {"R", "C", "L"})
        for (int32_t k = 1; k <= 6; k++)
            expected.insert(std::string("HexPart_") + third + "0" + std::to_string(k));
    EXPECT_EQ(std::set<std::string>(parts.begin(), parts.end()), expected);
}

TEST_F(ArtArenasLoadTest, TheMissingTexturePictureAndTheGridLoad)
{
    int32_t format = 0;
    TImageBuffer* image = nullptr;
    ASSERT_TRUE(Load_TGA(ArenaInstallation() + "Error.tga", format, image));
    EXPECT_EQ(image->Width, 64);
    EXPECT_EQ(image->Height, 64);
    FreeImageBuffer(image);
    int32_t width = 0, height = 0;
    std::vector<TImageBuffer*> levels;
    Load_DDS(ArenaInstallation() + "Interface\\Common\\HEX_grid.DDS", format, levels, width, height);
    EXPECT_EQ(format, D3DFMT_DXT5) << "the outline is drawn by its alpha";
    EXPECT_EQ(width, height);
    FreeImageLevels(levels);
}
