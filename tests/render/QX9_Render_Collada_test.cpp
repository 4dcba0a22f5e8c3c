// COLLADA import on small hand-written files: corner order of the two
// primitive kinds, up axes, the v flip, the weld, skins and their
// influences, animation clips, names, the texture chain, refusals, and the
// table-driven weld and merge against their plain forms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "render/QX9_Render_Collada.h"
#include "tests/render/ColladaLiteral.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/ColladaFiles.h"

namespace {

// One triangle primitive over three positions (1, 2, 3), (4, 5, 6), (7, 8,
// 9) with normal i pointing along axis i and uv (i / 4, 0.25).
std::string TriangleFile(const std::string& primitive, const std::string& upAxis = "Y_UP", bool doubleSided = false)
{
    std::string text = "<?xml version=\"1.0\"?><COLLADA><asset><up_axis>" + upAxis +
                       "</up_axis></asset><library_geometries><geometry name=\"Tri\"><mesh>"
                       "<source id=\"Tri-positions\"><float_array count=\"9\">1 2 3 4 5 6 7 8 9</float_array></source>"
                       "<source id=\"Tri-normals\"><float_array count=\"9\">1 0 0 0 1 0 0 0 1</float_array></source>"
                       "<source id=\"Tri-map1\"><float_array count=\"6\">0 0.25 0.25 0.25 0.5 0.25</float_array>"
                       "<technique_common><accessor stride=\"2\"/></technique_common></source>";
    if (primitive == "triangles")
        text += "<triangles><input source=\"#Tri-vertices\"/><input source=\"#Tri-normals\"/>"
                "<input source=\"#Tri-map1\"/><p>0 0 0 1 1 1 2 2 2</p></triangles>";
    else
        text += "<polygons><input source=\"#Tri-Vertex\"/><input source=\"#Tri-Normal0\"/>"
                "<input source=\"#Tri-UV0\"/><p>0 0 0 1 1 1 2 2 2</p></polygons>";
    text += "</mesh>";
    if (doubleSided)
        text += "<extra><technique><double_sided>1</double_sided></technique></extra>";
    return text + "</geometry></library_geometries></COLLADA>";
}

class ColladaTest : public TRecordingRenderTest {
protected:
    std::string File(const std::string& text, const std::string& name = "Model.DAE")
    {
        return Write(name, TBytes(text.begin(), text.end()));
    }

    void Load(const std::string& path, const std::string& geometry, int32_t format, uint8_t tangents = 0,
              T3D_Skin* skin = nullptr)
    {
        Load_Geometry_XML(path, geometry, format, Vertices, Indices, skin, tangents);
    }

    std::string Stops(const std::function<void()>& call)
    {
        ClearEngineErrorText();
        EXPECT_THROW(call(), TRenderFatalStop);
        return GetEngineErrorText();
    }

    using TBytes = std::vector<uint8_t>;
    T3D_VertexArray Vertices;
    TWordArray Indices;
};

// The x of each vertex's position, in vertex order.
std::vector<float> Xs(const T3D_VertexArray& vertices)
{
    std::vector<float> xs;
    for (const T3D_Vertex& v : vertices)
        xs.push_back(v.Position.x);
    return xs;
}

TEST_F(ColladaTest, CornerOrderOfTrianglesAndPolygons)
{
    struct TCase {
        const char* Primitive;
        bool DoubleSided;
        std::vector<float> Xs;
    };
    const TCase cases[] = {
        {"triangles", false, {1, 4, 7}},
        {"polygons", false, {7, 4, 1}},
        {"triangles", true, {7, 4, 1}},
        {"polygons", true, {1, 4, 7}},
    };
    for (const TCase& c : cases) {
        // Y_UP keeps positions as they are.
        Load(File(TriangleFile(c.Primitive, "Y_UP", c.DoubleSided)), "Tri", MESH_TEXTURED);
        EXPECT_EQ(Xs(Vertices), c.Xs) << c.Primitive << (c.DoubleSided ? " double-sided" : "");
        EXPECT_EQ(Indices, (TWordArray{0, 1, 2}));
    }
}

TEST_F(ColladaTest, UpAxesAndTheFlippedV)
{
    struct TCase {
        const char* Axis;
        TVec3 Position; // of the corner read from (1, 2, 3)
        TVec3 Normal;   // of the normal (1, 0, 0)
    };
    const TCase cases[] = {
        {"Y_UP", {1, 2, 3}, {1, 0, 0}},
        {"Z_UP", {1, 3, 2}, {1, 0, 0}},
        {"X_UP", {2, 1, 3}, {0, 1, 0}},
        {"SIDEWAYS", {2, 1, 3}, {0, 1, 0}},
    };
    for (const TCase& c : cases) {
        Load(File(TriangleFile("triangles", c.Axis)), "Tri", MESH_TEXTURED);
        const T3D_Vertex& v = Vertices[0];
        EXPECT_TRUE(Vec3Equal(v.Position, c.Position)) << c.Axis;
        EXPECT_TRUE(Vec3Equal(v.Normal, c.Normal)) << c.Axis;
        EXPECT_EQ(v.V, 0.75f) << "v is flipped";
        EXPECT_EQ(Vertices[1].U, 0.25f);
    }
}

TEST_F(ColladaTest, WeldMergesEqualCornersOfTheSameHandedness)
{
    ColladaFiles::TDocument d;
    ColladaFiles::TGeometry g;
    g.Name = "Quad";
    g.Positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.00004f, 0, 0}};
    g.Normals = {{0, 0, 1}};
    g.TexCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    // Two triangles sharing the edge 0-2: four vertices. The first triangle
    // again with the other winding has the other handedness at every corner
    // and keeps its own corners.
    g.Corners = {{0, 0, 0}, {1, 0, 1}, {2, 0, 2}, {0, 0, 0}, {2, 0, 2}, {3, 0, 3}};
    d.Geometries = {g};
    Load(File(ColladaFiles::Make(d)), "Quad", MESH_TEXTURED);
    EXPECT_EQ(Vertices.size(), 4u);
    EXPECT_EQ(Indices, (TWordArray{0, 1, 2, 0, 2, 3}));

    d.Geometries[0].Corners.insert(d.Geometries[0].Corners.end(), {{0, 0, 0}, {2, 0, 2}, {1, 0, 1}});
    Load(File(ColladaFiles::Make(d)), "Quad", MESH_TEXTURED);
    EXPECT_EQ(Vertices.size(), 7u);
    for (uint16_t index : Indices)
        EXPECT_LT(index, Vertices.size());

    // 0.00004 truncates to the same key as 0 once scaled by 10,000.
    d.Geometries[0].Corners = {{0, 0, 0}, {1, 0, 1}, {2, 0, 2}, {4, 0, 0}, {2, 0, 2}, {3, 0, 3}};
    Load(File(ColladaFiles::Make(d)), "Quad", MESH_TEXTURED);
    EXPECT_EQ(Vertices.size(), 4u);
    EXPECT_EQ(Vertices[0].Position.x, 0) << "the lower-numbered vertex stays";
}

ColladaFiles::TDocument SkinnedBar(const std::vector<std::pair<int32_t, float>>& influences)
{
    ColladaFiles::TDocument d;
    d.UpAxis = "Z_UP";
    ColladaFiles::TGeometry g;
    g.Name = "Bar";
    g.Positions = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}};
    g.Normals = {{0, 1, 0}};
    g.TexCoords = {{0, 0}};
    g.Corners = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    d.Geometries = {g};
    ColladaFiles::TSkin s;
    s.Geometry = "Bar";
    s.BindShape.e[11] = 5; // a move along z, which becomes y
    const char* names[8] = {"joint_root", "joint_b", "joint_c", "joint_d", "joint_e", "joint_f", "joint_g", "joint_h"};
    for (int32_t j = 0; j < 9; j++) {
        ColladaFiles::TJoint joint;
        joint.Name = j < 8 ? names[j] : "joint_i";
        joint.NodeName = "Node" + std::to_string(j);
        joint.Parent = j - 1;
        joint.InverseBind.e[3] = static_cast<float>(j);
        joint.Rest.e[7] = static_cast<float>(10 + j); // a move along y, which becomes z
        s.Joints.push_back(joint);
    }
    s.Influences = {influences, {{1, 1}}, {}};
    d.Skins = {s};
    return d;
}

TEST_F(ColladaTest, SkinKeepsTheFourLargestInfluencesInOrder)
{
    const std::string path =
        File(ColladaFiles::Make(SkinnedBar({{0, 0.05f}, {1, 0.3f}, {2, 0.1f}, {3, 0.25f}, {4, 0.2f}, {5, 0.1f}})));
    T3D_Skin skin;
    Load(path, "Bar", MESH_SKINNED, 0, &skin);
    ASSERT_EQ(skin.Bones.size(), 9u);
    const T3D_Vertex& v = Vertices[0];
    EXPECT_EQ(std::vector<int>(v.BoneIndex, v.BoneIndex + 4), (std::vector<int>{1, 3, 4, 2}));
    EXPECT_EQ(std::vector<float>(v.Weight, v.Weight + 4), (std::vector<float>{0.3f, 0.25f, 0.2f, 0.1f}))
        << "not renormalised";
    EXPECT_EQ(Vertices[1].BoneIndex[0], 1);
    EXPECT_EQ(Vertices[1].Weight[1], 0);

    EXPECT_EQ(skin.RootBone, 0);
    EXPECT_EQ(skin.Bones[0].Parent, -1);
    EXPECT_EQ(skin.Bones[3].Parent, 2);
    EXPECT_EQ(skin.Bones[3].NodeName, "Node3");
    EXPECT_EQ(skin.Bones[8].Name, "joint_i");
    // Z_UP: C^-1 M C moves the translation from z to y.
    EXPECT_EQ(skin.BindShape.e[7], 5);
    EXPECT_EQ(skin.BindShape.e[11], 0);
    EXPECT_EQ(skin.Bones[2].InverseBind.e[3], 2);

    // Past eight influences the smallest give way while reading.
    std::vector<std::pair<int32_t, float>> many;
    for (int32_t j = 0; j < 9; j++)
        many.push_back({j, j == 4 ? 0.9f : 0.01f * static_cast<float>(j + 1)});
    Load(File(ColladaFiles::Make(SkinnedBar(many))), "Bar", MESH_SKINNED, 0, &skin);
    EXPECT_EQ(std::vector<int>(Vertices[0].BoneIndex, Vertices[0].BoneIndex + 4), (std::vector<int>{4, 8, 7, 6}));
}

TEST_F(ColladaTest, AnimationClipLengthTracksAndRestPose)
{
    ColladaFiles::TDocument d = SkinnedBar({{0, 1}});
    ColladaFiles::TTrack track;
    track.NodeName = "Node1";
    track.Times = {0, 0.5f, 1.2f};
    track.Keys = {IdentityMatrix, IdentityMatrix, IdentityMatrix};
    track.Keys[2].e[3] = 4;
    d.Animation = {track};
    const std::string path = File(ColladaFiles::Make(d));
    T3D_Skin skin;
    Load(path, "Bar", MESH_SKINNED, 0, &skin);
    Load_Animation_XML(path, "Bend", skin);
    ASSERT_EQ(skin.Clips.size(), 1u);
    EXPECT_EQ(skin.Clips[0].Name, "Bend");
    EXPECT_EQ(skin.Clips[0].FrameCount, 1200);
    for (const T3D_Bone& bone : skin.Bones)
        ASSERT_EQ(bone.Tracks.size(), 1u);
    EXPECT_TRUE(skin.Bones[0].Tracks[0].Times.empty()) << "no source: an empty track";
    EXPECT_EQ(skin.Bones[1].Tracks[0].Times, (TSingleArray{0, 0.5f, 1.2f}));
    ASSERT_EQ(skin.Bones[1].Tracks[0].Keys.size(), 3u);
    EXPECT_EQ(skin.Bones[1].Tracks[0].Keys[2].e[3], 4);
    // The rest pose of every joint, up-axis converted (y moves to z).
    EXPECT_EQ(skin.Bones[0].Tracks[0].Matrix.e[11], 10);
    EXPECT_EQ(skin.Bones[6].Tracks[0].Matrix.e[11], 16);

    Load_Animation_XML(path, "Again", skin);
    EXPECT_EQ(skin.Bones[1].Tracks.size(), 2u) << "track n belongs to clip n";
}

TEST_F(ColladaTest, NamesAndTheTextureChain)
{
    const std::string text =
        "<COLLADA><library_images><image id=\"stone\"><init_from>..\\maps/stone.tga</init_from></image>"
        "<image id=\"wood\"><init_from>C:\\art\\wood.tga</init_from></image></library_images>"
        "<library_materials><material id=\"mat-stone\" name=\"Stone\"><instance_effect url=\"#fx-stone\"/></material>"
        "<material id=\"Wood\"><instance_effect url=\"#fx-wood\"/></material></library_materials>"
        "<library_effects><effect id=\"fx-stone\"><profile_COMMON><technique><lambert><diffuse>"
        "<texture texture=\"wood-sampler\"/></diffuse></lambert><blinn><diffuse><texture texture=\"stone-sampler\"/>"
        "</diffuse></blinn></technique></profile_COMMON></effect>"
        "<effect id=\"fx-wood\"><profile_COMMON><technique><lambert><diffuse><texture texture=\"wood-sampler\"/>"
        "</diffuse></lambert></technique></profile_COMMON></effect></library_effects>"
        "<library_geometries>"
        "<geometry name=\"Wall\"><mesh><source><float_array count=\"9\"/></source><polygons material=\"Wood\"/></mesh>"
        "</geometry>"
        "<geometry name=\"Empty\"><mesh><source><float_array count=\"0\"/></source></mesh></geometry>"
        "<geometry name=\"Gate\"><mesh><source><float_array count=\"3\"/></source></mesh></geometry>"
        "</library_geometries><library_visual_scenes><visual_scene>"
        "<node name=\"Gate\"><instance_geometry url=\"#Gate\"><bind_material><technique_common>"
        "<instance_material target=\"#Stone\"/></technique_common></bind_material></instance_geometry></node>"
        "</visual_scene></library_visual_scenes></COLLADA>";
    const std::string path = File(text);
    TStringArray names;
    Find_Names_XML(path, names);
    EXPECT_EQ(names, (TStringArray{"Wall", "Gate"}));
    std::string texture;
    Find_Texture_XML(path, "Gate", texture);
    EXPECT_EQ(texture, "stone.tga") << "blinn wins, the sampler names the image";
    Find_Texture_XML(path, "Wall", texture);
    EXPECT_EQ(texture, "wood.tga") << "through the polygons' material";
    Find_Texture_XML(path, "Nothing", texture);
    EXPECT_EQ(texture, "");
    Render->Mesh_FindNames(path, names);
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(Render->Mesh_FindFirstTexture(path, "Gate"), "stone.tga");
}

TEST_F(ColladaTest, UnsupportedAndMalformedGeometryStops)
{
    const std::string good = TriangleFile("triangles");
    const std::string polygons = TriangleFile("polygons");
    auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    struct TCase {
        const char* What;
        std::string Text;
        const char* Reason;
    };
    const TCase cases[] = {
        {"no such geometry", replaced(good, "name=\"Tri\"", "name=\"Other\""), "UNSUPPORTED GEOMETRY!"},
        {"no p", replaced(good, "<p>0 0 0 1 1 1 2 2 2</p>", ""), "UNSUPPORTED GEOMETRY!"},
        {"no normals", replaced(good, "Tri-normals\"><float", "Tri-other\"><float"), "UNSUPPORTED GEOMETRY!"},
        {"no texture input", replaced(good, "#Tri-map1", "#Tri-uv"), "UNSUPPORTED GEOMETRY!"},
        {"a four-corner polygon", replaced(polygons, "2 2 2</p>", "2 2 2 0 0 0</p>"), "UNSUPPORTED GEOMETRY!"},
        {"an input after p", replaced(good, "</p>", "</p><input source=\"#x\"/>"), "UNSUPPORTED GEOMETRY!"},
        {"position index past the array", replaced(good, "2 2 2</p>", "3 2 2</p>"), "BAD FORMAT!"},
        {"negative normal index", replaced(good, "2 2 2</p>", "2 -1 2</p>"), "BAD FORMAT!"},
        {"texture index past the array", replaced(good, "2 2 2</p>", "2 2 3</p>"), "BAD FORMAT!"},
    };
    for (const TCase& c : cases) {
        const std::string path = File(c.Text);
        EXPECT_EQ(Stops([&] { Load(path, "Tri", MESH_TEXTURED); }),
                  "\n\rLoad_Geometry_XML(" + path + ") -> " + c.Reason)
            << c.What;
    }
    ColladaFiles::TDocument d = SkinnedBar({{9, 1}});
    const std::string path = File(ColladaFiles::Make(d));
    T3D_Skin skin;
    EXPECT_EQ(Stops([&] { Load(path, "Bar", MESH_SKINNED, 0, &skin); }),
              "\n\rLoad_Geometry_XML(" + path + ") -> BAD FORMAT!")
        << "a joint past the joints";
    EXPECT_EQ(Stops([&] { Load(Folder.ProgramPath() + "None.DAE", "Tri", MESH_TEXTURED); }),
              "\n\rLoad_Geometry_XML(" + Folder.ProgramPath() + "None.DAE) -> FILE NOT FOUND!");
}

TEST_F(ColladaTest, MeshLoadChoosesTheFormatFromTheSkin)
{
    ColladaFiles::TDocument d = SkinnedBar({{0, 1}});
    ColladaFiles::TGeometry still = d.Geometries[0];
    still.Name = "Still";
    d.Geometries.push_back(still);
    const std::string path = File(ColladaFiles::Make(d));
    const int32_t bar = Render->Mesh_Add(VERTEX_FORMAT_UNDEFINED, "Bar", 1);
    Render->Mesh_Load(bar, path, "Bar", 1);
    EXPECT_EQ(Render->Mesh_Get(bar)->VertexFormat, MESH_SKINNED);
    EXPECT_EQ(Render->Mesh_Get(bar)->Skin.Bones.size(), 9u);
    EXPECT_EQ(Render->Mesh_Get(bar)->State, RESOURCE_ON_DEVICE);
    const int32_t stillSlot = Render->Mesh_Add(VERTEX_FORMAT_UNDEFINED, "Still", 1);
    Render->Mesh_Load(stillSlot, path, "Still", 1);
    EXPECT_EQ(Render->Mesh_Get(stillSlot)->VertexFormat, MESH_NORMALMAPPED);
    EXPECT_EQ(Render->Mesh_Get(stillSlot)->VertexCount, 3);
}

TEST_F(ColladaTest, TangentsFollowTheTextureDirections)
{
    ColladaFiles::TDocument d;
    ColladaFiles::TGeometry g;
    g.Name = "Floor";
    g.Positions = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
    g.Normals = {{0, 0, 1}};
    g.TexCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    g.Corners = {{0, 0, 0}, {1, 0, 1}, {2, 0, 2}, {0, 0, 0}, {2, 0, 2}, {3, 0, 3}};
    d.Geometries = {g};
    Load(File(ColladaFiles::Make(d)), "Floor", MESH_NORMALMAPPED, 2);
    ASSERT_EQ(Vertices.size(), 4u);
    // u grows along +x; the stored v (flipped) grows along -y. Every corner
    // agrees, so the merge keeps unit vectors.
    for (const T3D_Vertex& v : Vertices) {
        EXPECT_NEAR(v.Tangent.x, 1, 1e-5) << "along u";
        EXPECT_NEAR(v.Binormal.y, -1, 1e-5) << "along v";
        EXPECT_NEAR(Vec3Dot(v.Tangent, v.Binormal), 0, 1e-5);
    }
    // Tree crowns: normals point out of the crown's centre, with the extents
    // in E1, E2 and B1..B4.
    Load(File(ColladaFiles::Make(d)), "Floor", MESH_TREECOMA, 2);
    const T3D_Vertex& corner = Vertices[2]; // at (2, 2, 0); the centre is (1, 1, 0)
    EXPECT_NEAR(corner.Normal.x, corner.Normal.y, 1e-6);
    EXPECT_GT(corner.Normal.x, 0);
    EXPECT_EQ(corner.E[0], 1) << "the radius in x and z";
    EXPECT_EQ(corner.E[1], 2) << "the height";
    EXPECT_EQ(corner.B[0], 254);
    EXPECT_EQ(corner.B[2], 255);
    EXPECT_EQ(corner.B[3], 51);
}

// Vertices with keys from a small set, so that groups of several form.
std::vector<TColladaVertex> RandomCorners(int32_t count, int32_t keys)
{
    RandomSeed = 12345;
    std::vector<TColladaVertex> vertices(static_cast<size_t>(count));
    for (TColladaVertex& v : vertices) {
        v.WeldKey = static_cast<uint32_t>(RandomInt(keys)) * 2654435761u;
        v.Vertex.Position = {RandomFloat(), RandomFloat(), RandomFloat()};
        v.Vertex.Tangent = {RandomFloat() - 0.5f, RandomFloat() - 0.5f, RandomFloat()};
        v.Vertex.Binormal = {RandomFloat(), RandomFloat() - 0.5f, RandomFloat() - 0.5f};
    }
    return vertices;
}

TEST_F(ColladaTest, TableWeldAndMergeEqualThePlainSteps)
{
    for (int32_t keys : {1, 7, 400, 3000}) {
        std::vector<TColladaVertex> fast = RandomCorners(3000, keys), plain = fast;
        std::vector<int32_t> fastIndices(9000), plainIndices;
        for (size_t i = 0; i < fastIndices.size(); i++)
            fastIndices[i] = RandomInt(3000);
        plainIndices = fastIndices;
        ColladaMergeTangents(fast);
        ColladaLiteral::MergeTangents(plain);
        ColladaWeld(fast, fastIndices);
        ColladaLiteral::Weld(plain, plainIndices);
        ASSERT_EQ(fast.size(), plain.size()) << keys;
        EXPECT_EQ(std::memcmp(fast.data(), plain.data(), fast.size() * sizeof(TColladaVertex)), 0) << keys;
        EXPECT_EQ(fastIndices, plainIndices) << keys;
    }
    // A 3,000-triangle model: 9,000 corners welded to its 1,581 grid points.
    std::vector<TColladaVertex> fast, plain;
    std::vector<int32_t> fastIndices, plainIndices;
    ColladaLiteral::GridCorners(50, 30, fast, fastIndices);
    plain = fast;
    plainIndices = fastIndices;
    ColladaMergeTangents(fast);
    ColladaWeld(fast, fastIndices);
    ColladaLiteral::MergeTangents(plain);
    ColladaLiteral::Weld(plain, plainIndices);
    ASSERT_EQ(fast.size(), 51u * 31u);
    EXPECT_EQ(std::memcmp(fast.data(), plain.data(), fast.size() * sizeof(TColladaVertex)), 0);
    EXPECT_EQ(fastIndices, plainIndices);
}

} // namespace
