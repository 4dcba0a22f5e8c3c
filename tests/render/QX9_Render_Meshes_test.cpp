// Meshes on the recording device: the registry and its fatal texts, the mesh
// file (round trip, names, textures by stage, malformed files), the packing
// table, buffers made or refilled, bounds, deferral and a lost device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "render/QX9_Render_MeshFile.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Upload.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/MeshFiles.h"

namespace {

using TBytes = std::vector<uint8_t>;

class MeshesTest : public TRecordingRenderTest {
protected:
    // A mesh of the format with a quad of two triangles (or two lines for
    // MESH_GRID) and its data kept.
    int32_t QuadMesh(int32_t format, const std::string& name = "Quad", float size = 1)
    {
        const int32_t slot = Render->Mesh_Add(format, name, 1);
        Render->Mesh_Get(slot)->ImportGeometry(QuadVertices(size), QuadIndices(format));
        return slot;
    }

    static T3D_VertexArray QuadVertices(float size)
    {
        T3D_VertexArray vertices(4);
        const float xy[4][2] = {{0, 0}, {size, 0}, {size, size}, {0, size}};
        for (size_t i = 0; i < 4; i++) {
            vertices[i].Position = {xy[i][0], xy[i][1], 0.5f};
            vertices[i].Normal = {0, 0, 1};
            vertices[i].U = xy[i][0];
            vertices[i].V = xy[i][1];
            vertices[i].Color = 0xFF102030;
        }
        return vertices;
    }

    static TWordArray QuadIndices(int32_t format)
    {
        if (format == MESH_GRID)
            return {0, 1, 1, 2, 2, 3};
        return {0, 1, 2, 0, 2, 3};
    }

    std::string Stops(const std::function<void()>& call)
    {
        ClearEngineErrorText();
        EXPECT_THROW(call(), TRenderFatalStop);
        return GetEngineErrorText();
    }

    // A skinned record with two bones, tracks and a clip.
    static TMeshFileRecord SkinnedRecord()
    {
        TMeshFileRecord r;
        r.Name = "Bar";
        r.VertexFormat = MESH_SKINNED;
        r.VertexStride = 40;
        r.VertexCount = 3;
        r.IndexCount = 3;
        r.PrimitiveCount = 1;
        r.Indices = {0, 1, 2};
        r.Vertices.resize(3 * 40);
        for (size_t i = 0; i < r.Vertices.size(); i++)
            r.Vertices[i] = static_cast<uint8_t>(i * 7);
        r.Key = {0x30, 0x10};
        T3D_Subset subset{};
        subset.Count = 3;
        r.Subsets.push_back(subset);
        r.Skin.RootBone = 0;
        r.Skin.BindShape.e[3] = 2;
        for (int b = 0; b < 2; b++) {
            T3D_Bone bone;
            bone.Name = "joint" + std::to_string(b);
            bone.NodeName = "Bone" + std::to_string(b);
            bone.Parent = b - 1;
            bone.InverseBind.e[7] = static_cast<float>(b);
            T3D_Track track;
            track.Times = {0, 0.5f};
            track.Keys = {IdentityMatrix, IdentityMatrix};
            track.Keys[1].e[11] = 3;
            bone.Tracks.push_back(track);
            r.Skin.Bones.push_back(bone);
        }
        r.Skin.Clips.push_back({"Bend", 500});
        return r;
    }

    static TMeshFileRecord TexturedRecord()
    {
        TMeshFileRecord r;
        r.Name = "Box";
        r.Textures = {{"Box_diffuse.tga", 0, 0}, {"Box_extra.tga", 1, 2}};
        r.VertexFormat = MESH_TEXTURED;
        r.VertexStride = 24;
        r.VertexCount = 3;
        r.IndexCount = 3;
        r.PrimitiveCount = 1;
        r.Indices = {2, 1, 0};
        r.Vertices.assign(3 * 24, 9);
        return r;
    }
};

TEST_F(MeshesTest, RegistryReusesFreedSlotsAndShortensFromTheEnd)
{
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(Render->Mesh_Add(MESH_TEXTURED, "M" + std::to_string(i), 0), i);
    EXPECT_EQ(Render->MeshCount, 5);
    Render->Mesh_Free(2);
    EXPECT_EQ(Render->Mesh_Get(2), nullptr);
    EXPECT_EQ(Render->Mesh_Add(MESH_TEXTURED, "", 0), 2);
    EXPECT_EQ(Render->Mesh_Get(2)->Name, "2");
    EXPECT_EQ(Render->Mesh_Get(2)->SlotIndex, 2);
    Render->Mesh_Free(3);
    Render->Mesh_Free(4);
    EXPECT_EQ(Render->_r_Meshes.size(), 3u) << "trailing free slots are dropped";
    Render->Mesh_Free(4);
    Render->Mesh_Free(-1);
    EXPECT_EQ(Render->MeshCount, 3);
    EXPECT_EQ(Render->Mesh_Find("M1"), Render->Mesh_Get(1));
    EXPECT_EQ(Render->Mesh_Find("m1"), nullptr) << "names compare case-sensitively";
    EXPECT_EQ(Render->Mesh_Get(3), nullptr);
}

TEST_F(MeshesTest, LoadIntoABadSlotStops)
{
    Render->Mesh_Add(MESH_TEXTURED, "A", 0);
    Render->Mesh_Add(MESH_TEXTURED, "B", 0);
    Render->Mesh_Add(MESH_TEXTURED, "C", 0);
    Render->Mesh_Free(1);
    EXPECT_EQ(Stops([&] { Render->Mesh_Load(3, "X.D3D", "Box", 0); }),
              "\n\rT3D_Render.Mesh_Load(3,X.D3D,Box) -> INVALID INDEX!");
    EXPECT_EQ(Stops([&] { Render->Mesh_Load(1, "X.D3D", "Box", 0); }),
              "\n\rT3D_Render._r_Meshes[1]=NIL -> INVALID POINTER!");
    EXPECT_EQ(Stops([&] { Render->Mesh_Load(0, Folder.ProgramPath() + "None.D3D", "Box", 0); }),
              "\n\rLoad_Geometry_D3D(" + Folder.ProgramPath() + "None.D3D) -> FILE NOT FOUND!");
    EXPECT_EQ(Stops([&] {
                  TStringArray names;
                  Render->Mesh_FindNames("Missing.D3D", names);
              }),
              "\n\rMesh_FindNames(Missing.D3D) -> FILE NOT FOUND!");
    const std::string empty = Write("Empty.D3D", {});
    EXPECT_EQ(Stops([&] {
                  TStringArray names;
                  Render->Mesh_FindNames(empty, names);
              }),
              "\n\rMesh_FindNames(" + empty + ") -> EMPTY FILE!");
}

TEST_F(MeshesTest, TwoRecordFileRoundTrip)
{
    const TMeshFileRecord textured = TexturedRecord();
    const TMeshFileRecord skinned = SkinnedRecord();
    const TBytes file = MeshFiles::MakeMeshFile({textured, skinned});
    const std::string path = Write("Two.D3D", file);

    TStringArray names;
    Render->Mesh_FindNames(path, names);
    EXPECT_EQ(names, (TStringArray{"Box", "Bar"}));

    TStringArray textures;
    Render->Mesh_FindTexture(path, "Box", textures);
    EXPECT_EQ(textures, (TStringArray{"Box_diffuse.tga", "", "Box_extra.tga"}));
    Render->Mesh_FindTexture(path, "Nothing", textures);
    EXPECT_TRUE(textures.empty());
    EXPECT_EQ(Render->Mesh_FindFirstTexture(path, "Box"), "Box_diffuse.tga");
    EXPECT_EQ(Render->Mesh_FindFirstTexture(path, "Bar"), "");

    const int32_t slot = Render->Mesh_Add(MESH_TEXTURED, "Loaded", 1);
    Render->Mesh_Load(slot, path, "Bar", 0);
    T3D_Mesh* mesh = Render->Mesh_Get(slot);
    EXPECT_EQ(mesh->VertexFormat, MESH_SKINNED);
    EXPECT_EQ(mesh->State, RESOURCE_ON_DEVICE);
    EXPECT_EQ(mesh->FileName, "two.d3d");
    // Written back, the mesh gives the same record byte for byte.
    TMeshFileRecord again = MeshFiles::RecordOf(*mesh, {});
    again.Name = "Bar";
    EXPECT_EQ(MeshFiles::RecordBody(again), MeshFiles::RecordBody(skinned));
    auto* buffer = static_cast<TFakeVertexBuffer*>(mesh->VertexBuffer);
    EXPECT_EQ(buffer->Bytes, skinned.Vertices);
    EXPECT_EQ(Render->MeshBytes, 3 * 40 + 2 * 3);

    // A name the file lacks leaves the mesh as it was.
    Render->Mesh_Load(slot, path, "Absent", 0);
    EXPECT_EQ(mesh->VertexFormat, MESH_SKINNED);
    EXPECT_EQ(mesh->Skin.Clips.size(), 1u);
}

TEST_F(MeshesTest, MalformedFilesAreRefusedWithoutACrash)
{
    const TBytes good = MeshFiles::MakeMeshFile({TexturedRecord(), SkinnedRecord()});
    const TBytes body = MeshFiles::RecordBody(TexturedRecord());
    auto withInt = [](TBytes bytes, size_t at, int32_t value) {
        std::memcpy(bytes.data() + at, &value, 4);
        return bytes;
    };
    // Offsets in the first record: size 0, name 4, texture count 11, the
    // counts follow the textures at 55.
    const size_t counts = 4 + 4 + 3 + 4 + (4 + 15 + 1 + 4) + (4 + 13 + 1 + 4) + 8;
    struct TCase {
        const char* What;
        TBytes Bytes;
        const char* Mesh;
    };
    TBytes truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() - 5));
    TBytes badIndex = good;
    badIndex[counts + 20] = 3; // the first index names vertex 3 of 3
    const TCase cases[] = {
        {"negative record size", withInt(good, 0, -4), "Bar"},
        {"record size past the end", withInt(good, 0, static_cast<int32_t>(good.size())), "Bar"},
        {"record size inside its own header", withInt(good, 0, 2), "Bar"},
        {"name longer than the file", withInt(good, 4, 1000000), "Box"},
        {"texture count too large", withInt(good, 11, 0x10000000), "Box"},
        {"texture stage outside the samplers", withInt(good, 11 + 4 + 4 + 15 + 1, 99), "Box"},
        {"format 0", withInt(good, counts + 16, 0), "Box"},
        {"format 11", withInt(good, counts + 16, 11), "Box"},
        {"stride not the format's", withInt(good, counts + 12, 28), "Box"},
        {"negative vertex count", withInt(good, counts, -1), "Box"},
        {"vertex count past the file", withInt(good, counts, 60000), "Box"},
        {"more primitives than indices", withInt(good, counts + 8, 2), "Box"},
        {"index past the vertices", badIndex, "Box"},
        {"truncated skin", truncated, "Bar"},
    };
    for (const TCase& c : cases) {
        const std::string path = Write("Bad.D3D", c.Bytes);
        const int32_t slot = Render->Mesh_Add(MESH_TEXTURED, "", 0);
        EXPECT_EQ(Stops([&] { Render->Mesh_Load(slot, path, c.Mesh, 0); }),
                  "\n\rLoad_Geometry_D3D(" + path + ") -> BAD FORMAT!")
            << c.What;
        EXPECT_EQ(Render->Mesh_Get(slot)->VertexCount, 0) << c.What;
        Render->Mesh_Free(slot);
    }
    EXPECT_EQ(body.size() + 4, static_cast<size_t>(*reinterpret_cast<const int32_t*>(good.data())));
    const std::string path = Write("Bad.D3D", withInt(good, 0, -4));
    EXPECT_EQ(Stops([&] {
                  TStringArray names;
                  Render->Mesh_FindNames(path, names);
              }),
              "\n\rMesh_FindNames(" + path + ") -> BAD FORMAT!");
}

TEST_F(MeshesTest, PackingTable)
{
    struct TCase {
        int32_t Format;
        int32_t Offset;
        int32_t Bytes;
        uint32_t Expected;
        void (*Fill)(T3D_Vertex&);
    };
    const TCase cases[] = {
        {MESH_TEXTURED, 16, 2, 4096, [](T3D_Vertex& v) { v.U = 1; }},
        {MESH_NORMALMAPPED, 24, 2, 4096, [](T3D_Vertex& v) { v.U = 1; }},
        {MESH_SKINNED, 24, 2, 4096, [](T3D_Vertex& v) { v.U = 1; }},
        {MESH_TREECOMA, 20, 2, 4096, [](T3D_Vertex& v) { v.U = 1; }},
        {MESH_GRASS, 20, 2, 4096, [](T3D_Vertex& v) { v.U = 1; }},
        {MESH_LANDSKAPE, 16, 2, 32767, [](T3D_Vertex& v) { v.U = 1; }},
        {MESH_LANDSKAPE, 30, 2, 0x10000 - 32767, [](T3D_Vertex& v) { v.E[5] = -1; }},
        // Past the 16-bit range the value is clamped, not wrapped.
        {MESH_TEXTURED, 18, 2, 32767, [](T3D_Vertex& v) { v.V = 9; }},
        {MESH_TEXTURED, 18, 2, 0x8000, [](T3D_Vertex& v) { v.V = -9; }},
        {MESH_TEXTURED, 16, 2, 2, [](T3D_Vertex& v) { v.U = 2.5f / 4096; }}, // halves to even
        {MESH_TEXTURED, 12, 3, 0xFE7F7F,
         [](T3D_Vertex& v) {
             v.Normal = {0, 0, 1};
         }},
        {MESH_TEXTURED, 12, 3, 0x7F007F, [](T3D_Vertex&) {}},
        {MESH_LANDSKAPE, 36, 1, 255, [](T3D_Vertex& v) { v.Weight[0] = 50; }},
        {MESH_LANDSKAPE, 37, 1, 128, [](T3D_Vertex& v) { v.Weight[1] = 25; }},
        {MESH_LANDSKAPE, 38, 1, 255, [](T3D_Vertex& v) { v.Weight[2] = 3; }},
        {MESH_LANDSKAPE, 15, 1, 0xAB, [](T3D_Vertex& v) { v.Color = 0xAB000000; }},
        {MESH_LANDSKAPE, 32, 4, 0x04030201, [](T3D_Vertex& v) { std::memcpy(v.B, "\1\2\3\4", 4); }},
        {MESH_SKINNED, 28, 4, 0x07050301, [](T3D_Vertex& v) { std::memcpy(v.BoneIndex, "\1\3\5\7", 4); }},
        {MESH_SKINNED, 32, 4, 0x00FF8000, [](T3D_Vertex& v) { v.Weight[1] = 0.5f, v.Weight[2] = 1; }},
        {MESH_SKINNED, 36, 4, 0x11223344, [](T3D_Vertex& v) { v.Color = 0x11223344; }},
        {MESH_TREECOMA, 24, 2, 32767, [](T3D_Vertex& v) { v.E[0] = 10; }},
        {MESH_TREECOMA, 26, 2, 65534, [](T3D_Vertex& v) { v.E[1] = 20; }},
        {MESH_TREECOMA, 28, 4, 0x33040506, [](T3D_Vertex& v) { std::memcpy(v.B, "\6\5\4\x33", 4); }},
        {MESH_GRASS, 19, 1, 9, [](T3D_Vertex& v) { v.B[1] = 9; }},
        {MESH_SPRITE, 12, 4, 0x3F800000, [](T3D_Vertex&) {}},
        {MESH_WATER, 20, 4, 0xCC030201, [](T3D_Vertex& v) { std::memcpy(v.B, "\1\2\3\4", 4), v.Color = 0xCC000000; }},
        {MESH_PARTICLE, 24, 4, 0x80FFFFFF, [](T3D_Vertex& v) { v.Color = 0x80FFFFFF; }},
        {MESH_PARTICLE, 16, 4, 0xEEEEEEEE, [](T3D_Vertex& v) { v.U = 1; }}, // not written
        {MESH_GRID, 12, 4, 0x01020304, [](T3D_Vertex& v) { v.Color = 0x01020304; }},
    };
    for (const TCase& c : cases) {
        T3D_Vertex vertex;
        c.Fill(vertex);
        uint8_t out[40];
        std::memset(out, 0xEE, sizeof(out));
        PackVertex(vertex, c.Format, out);
        uint32_t got = 0;
        std::memcpy(&got, out + c.Offset, static_cast<size_t>(c.Bytes));
        EXPECT_EQ(got, c.Expected) << "format " << c.Format << " offset " << c.Offset;
    }
}

TEST_F(MeshesTest, SameCountsRefillBuffersOtherCountsMakeThemAgain)
{
    const int32_t slot = QuadMesh(MESH_TEXTURED);
    T3D_Mesh* mesh = Render->Mesh_Get(slot);
    EXPECT_EQ(Device.CallsStartingWith("CreateVertexBuffer").size(), 1u);
    EXPECT_EQ(Device.CallsStartingWith("CreateIndexBuffer").size(), 1u);
    EXPECT_EQ(Render->MeshBytes, 4 * 24 + 12);
    IDirect3DVertexBuffer9* first = mesh->VertexBuffer;

    Device.Clear();
    mesh->ImportGeometry(QuadVertices(2), QuadIndices(MESH_TEXTURED));
    EXPECT_EQ(mesh->VertexBuffer, first);
    EXPECT_TRUE(Device.CallsStartingWith("Create").empty());
    EXPECT_EQ(Device.CallsStartingWith("VertexBuffer.Lock").size(), 1u);
    EXPECT_EQ(Device.CallsStartingWith("IndexBuffer.Lock").size(), 1u);
    float x = 0;
    std::memcpy(&x, static_cast<TFakeVertexBuffer*>(first)->Bytes.data() + 24, 4);
    EXPECT_EQ(x, 2) << "vertex 1 refilled";
    EXPECT_EQ(Render->MeshBytes, 4 * 24 + 12);

    Device.Clear();
    T3D_VertexArray three = QuadVertices(1);
    three.pop_back();
    mesh->ImportGeometry(three, {0, 1, 2});
    EXPECT_EQ(Device.CallsStartingWith("CreateVertexBuffer"), (std::vector<std::string>{"CreateVertexBuffer 72 #3"}));
    EXPECT_EQ(Device.CallsStartingWith("CreateIndexBuffer").size(), 1u);
    EXPECT_EQ(Render->MeshBytes, 3 * 24 + 6);
    EXPECT_EQ(mesh->PrimitiveCount, 1);

    mesh->ImportGeometry({}, {});
    EXPECT_EQ(mesh->State, RESOURCE_RELEASED);
    EXPECT_EQ(mesh->VertexBuffer, nullptr);
    EXPECT_EQ(Render->MeshBytes, 0);
    EXPECT_EQ(Device.LiveObjects(), 0);
}

TEST_F(MeshesTest, PrimitivesOfGridAndOtherFormats)
{
    EXPECT_EQ(Render->Mesh_Get(QuadMesh(MESH_GRID, "Grid"))->PrimitiveCount, 3);
    EXPECT_EQ(Render->Mesh_Get(QuadMesh(MESH_TEXTURED, "Textured"))->PrimitiveCount, 2);
}

TEST_F(MeshesTest, ImportRefusesAnUnchosenFormatAndTooManyVertices)
{
    const int32_t undefined = Render->Mesh_Add(VERTEX_FORMAT_UNDEFINED, "U", 0);
    EXPECT_EQ(Stops([&] {
                  Render->Mesh_Get(undefined)->ImportGeometry(QuadVertices(1), {0, 1, 2});
              }),
              "\n\rT3D_Mesh(U).ImportGeometry -> UNDEFINED VERTEX FORMAT!");
    const int32_t big = Render->Mesh_Add(MESH_GRID, "Big", 0);
    EXPECT_EQ(Stops([&] {
                  Render->Mesh_Get(big)->ImportGeometry(T3D_VertexArray(65536), {0, 1});
              }),
              "\n\rT3D_Mesh(Big).ImportGeometry -> TOO MANY VERTICES!");
}

// Fields of the packed record, by value (they may lie unaligned).
float Corner(const T3D_Subset& subset, int corner, int axis)
{
    return subset.Corners[corner][axis];
}

int Contains(const T3D_Subset& subset)
{
    return subset.Contains;
}

TEST_F(MeshesTest, BoundsAndContainsFlags)
{
    const int32_t slot = Render->Mesh_Add(MESH_GRID, "Lines", 1);
    T3D_Mesh* mesh = Render->Mesh_Get(slot);
    T3D_VertexArray vertices(300);
    TWordArray indices(300);
    for (int i = 0; i < 300; i++) {
        vertices[static_cast<size_t>(i)].Position = {static_cast<float>(i), static_cast<float>(-i), 1};
        indices[static_cast<size_t>(i)] = static_cast<uint16_t>(i);
    }
    mesh->ImportGeometry(vertices, indices);
    ASSERT_EQ(mesh->Subsets.size(), 1u);
    const T3D_Subset& whole = mesh->Subsets[0];
    EXPECT_EQ(Corner(whole, 0, 0), 0);
    EXPECT_EQ(Corner(whole, 0, 1), -299);
    EXPECT_EQ(Corner(whole, 5, 0), 299);
    EXPECT_EQ(Corner(whole, 5, 1), 0);
    EXPECT_EQ(Corner(whole, 6, 2), 1);
    mesh->CalcBounds(0, 120);
    EXPECT_EQ(Contains(mesh->Subsets[0]), 1);
    EXPECT_EQ(Contains(mesh->Subsets[1]), 0);
    EXPECT_EQ(Corner(mesh->Subsets[1], 3, 0), 119);
    mesh->CalcBounds(100, 120);
    EXPECT_EQ(Contains(mesh->Subsets[1]), 0) << "equal counts never mark each other";
    EXPECT_EQ(Contains(mesh->Subsets[2]), 0);
    mesh->CalcBounds(250, 100);
    EXPECT_EQ(int32_t{mesh->Subsets[3].Count}, 100) << "the count passed, not clipped";
    EXPECT_EQ(Corner(mesh->Subsets[3], 2, 0), 299);
}

TEST_F(MeshesTest, DeferredUpdateIsQueuedAndPerformedLater)
{
    Render->UploadQueue_Begin();
    const int32_t slot = QuadMesh(MESH_NORMALMAPPED);
    ASSERT_EQ(Render->UploadQueue.size(), 1u);
    EXPECT_EQ(Render->UploadQueue[0].Kind, UPLOAD_MESH);
    EXPECT_EQ(Render->UploadQueue[0].Cost, 4 * 32 + 12);
    EXPECT_TRUE(Device.CallsStartingWith("Create").empty());
    Render->UploadQueue_Process(UPLOAD_FRAME_BUDGET);
    Render->UploadQueue_End();
    EXPECT_EQ(Render->Mesh_Get(slot)->State, RESOURCE_ON_DEVICE);
    EXPECT_EQ(Device.CallsStartingWith("CreateVertexBuffer").size(), 1u);
}

TEST_F(MeshesTest, LostDeviceRestoresKeptMeshesAndReleasesTheOthers)
{
    const int32_t kept = QuadMesh(MESH_TEXTURED, "Kept");
    const int32_t dropped = Render->Mesh_Add(MESH_TEXTURED, "Dropped", 0);
    Render->Mesh_Get(dropped)->ImportGeometry(QuadVertices(1), QuadIndices(MESH_TEXTURED));
    EXPECT_TRUE(Render->Mesh_Get(dropped)->Vertices.empty()) << "data freed after the upload";
    EXPECT_EQ(Render->MeshBytes, 2 * (4 * 24 + 12));

    Device.CooperativeAnswers = {D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET};
    bool restored = false;
    for (int frame = 0; frame < 5 && !restored; frame++)
        restored = Render->CheckDevice();
    EXPECT_TRUE(restored);
    EXPECT_EQ(Render->Mesh_Get(kept)->State, RESOURCE_ON_DEVICE);
    EXPECT_NE(Render->Mesh_Get(kept)->VertexBuffer, nullptr);
    EXPECT_EQ(Render->Mesh_Get(dropped)->State, RESOURCE_RELEASED);
    EXPECT_EQ(Render->Mesh_Get(dropped)->VertexBuffer, nullptr);
    EXPECT_EQ(Render->MeshBytes, 4 * 24 + 12);
}

TEST_F(MeshesTest, WorldMatrixTransformsComposeOnTheLeft)
{
    const int32_t slot = Render->Mesh_Add(MESH_TEXTURED, "M", 0);
    T3D_Mesh* mesh = Render->Mesh_Get(slot);
    mesh->Translate(1, 2, 3);
    mesh->Scale(2);
    mesh->Rotate(7, 1); // no such axis
    TVec3 p;
    Vec3TransformCoord({1, 1, 1}, *mesh->World, p);
    EXPECT_FLOAT_EQ(p.x, 4);
    EXPECT_FLOAT_EQ(p.y, 6);
    EXPECT_FLOAT_EQ(p.z, 8);
    mesh->ResetMatrix();
    mesh->Rotate(1, 3.14159265f / 2);
    Vec3TransformCoord({1, 0, 0}, *mesh->World, p);
    EXPECT_NEAR(p.x, 0, 1e-6);
    EXPECT_NEAR(std::fabs(p.z), 1, 1e-6);
}

} // namespace
