// Mesh files for people and for the build.
//   meshtool info FILE.D3D
//       every record: name, format, counts, key, textures by stage, subsets
//       with their boxes, bones and clips
//   meshtool dae-info FILE.DAE [--geometry NAME]
//       the geometries (or the one named): texture, counts after welding,
//       bones, and the clips of the file's animation with their lengths
//   meshtool make-samples FOLDER
//       writes the sample installation's meshes (Samples.D3D, Samples.DAE)
//       through the engine's own packing and bounds
// Output is plain text and the same for the same file. A failure prints one
// line on stderr and exits non-zero.
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/QX9_System_XML.h"
#include "render/QX9_Render_Collada.h"
#include "render/QX9_Render_MeshFile.h"
#include "render/QX9_Render_Meshes.h"
#include "tools/ColladaFiles.h"
#include "tools/MeshFiles.h"
#include "tools/NullRender.h"

namespace {

std::string Num(float value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.4f", static_cast<double>(value));
    std::string s = text;
    if (s == "-0.0000")
        s = "0.0000";
    return s;
}

void PrintSkin(const T3D_Skin& skin)
{
    std::printf("  bones %zu, root %d\n", skin.Bones.size(), skin.RootBone);
    for (size_t b = 0; b < skin.Bones.size(); b++) {
        const T3D_Bone& bone = skin.Bones[b];
        std::printf("    bone %zu %s node %s parent %d tracks %zu\n", b, bone.Name.c_str(), bone.NodeName.c_str(),
                    bone.Parent, bone.Tracks.size());
    }
    std::printf("  clips %zu\n", skin.Clips.size());
    for (const T3D_Clip& clip : skin.Clips)
        std::printf("    clip %s %d ms\n", clip.Name.c_str(), clip.FrameCount);
}

int Info(const std::string& file)
{
    std::vector<uint8_t> bytes;
    if (!OS_ReadWholeFile(file, bytes)) {
        std::fprintf(stderr, "meshtool: cannot read %s\n", file.c_str());
        return 1;
    }
    TStringArray names;
    if (MeshFileNames(bytes.data(), bytes.size(), names) != TMeshFileStatus::Ok) {
        std::fprintf(stderr, "meshtool: %s is not a mesh file\n", file.c_str());
        return 1;
    }
    std::printf("records %zu\n", names.size());
    for (const std::string& name : names) {
        TMeshFileRecord r;
        if (MeshFileFind(bytes.data(), bytes.size(), name, r, false) != TMeshFileStatus::Ok) {
            std::fprintf(stderr, "meshtool: record %s is malformed\n", name.c_str());
            return 1;
        }
        std::printf("mesh %s\n", r.Name.c_str());
        std::printf("  format %d %s, stride %d\n", r.VertexFormat,
                    VertexFormatNames[static_cast<size_t>(r.VertexFormat)].c_str(), r.VertexStride);
        std::printf("  vertices %d, indices %d, primitives %d\n", r.VertexCount, r.IndexCount, r.PrimitiveCount);
        std::printf("  key mask 0x%08X value 0x%08X\n", r.Key.Mask, r.Key.Value);
        for (const TMeshFileTexture& texture : r.Textures)
            std::printf("  texture stage %d %s clamp %d\n", texture.Stage, texture.Name.c_str(), texture.Clamp);
        for (const T3D_Subset& subset : r.Subsets)
            std::printf("  subset first %d count %d contains %d box (%s, %s, %s) - (%s, %s, %s)\n", subset.First,
                        subset.Count, subset.Contains, Num(subset.Corners[0][0]).c_str(),
                        Num(subset.Corners[0][1]).c_str(), Num(subset.Corners[0][2]).c_str(),
                        Num(subset.Corners[5][0]).c_str(), Num(subset.Corners[5][1]).c_str(),
                        Num(subset.Corners[5][2]).c_str());
        if (r.VertexFormat == MESH_SKINNED)
            PrintSkin(r.Skin);
    }
    return 0;
}

// The id of the file's first animation, the name its clip is read under.
std::string AnimationName(const std::string& file)
{
    std::vector<uint8_t> bytes;
    if (!OS_ReadWholeFile(file, bytes))
        return std::string();
    const std::unique_ptr<TXML> root = TXML::CreateFromText(std::string(bytes.begin(), bytes.end()), 1);
    const TXML* library = root->Child("library_animations");
    const TXML* animation = library != nullptr ? library->Child("animation") : nullptr;
    if (animation == nullptr)
        return std::string();
    return animation->Params != nullptr ? animation->Params->Find("id").Value : "animation";
}

int DaeInfo(const std::string& file, const std::string& only)
{
    if (!FileExistsMask(file)) {
        std::fprintf(stderr, "meshtool: cannot read %s\n", file.c_str());
        return 1;
    }
    TStringArray names;
    Find_Names_XML(file, names);
    std::printf("geometries %zu\n", names.size());
    const std::string animation = AnimationName(file);
    for (const std::string& name : names) {
        if (!only.empty() && name != only)
            continue;
        std::string texture;
        Find_Texture_XML(file, name, texture);
        T3D_VertexArray vertices;
        TWordArray indices;
        T3D_Skin skin;
        Load_Geometry_XML(file, name, VERTEX_FORMAT_UNDEFINED, vertices, indices, &skin, 0);
        std::printf("geometry %s\n", name.c_str());
        std::printf("  texture %s\n", texture.empty() ? "-" : texture.c_str());
        std::printf("  vertices %zu, indices %zu, triangles %zu\n", vertices.size(), indices.size(),
                    indices.size() / 3);
        if (!skin.Bones.empty() && !animation.empty())
            Load_Animation_XML(file, animation, skin);
        if (!skin.Bones.empty())
            PrintSkin(skin);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// The samples

T3D_Vertex Vertex(TVec3 position, TVec3 normal, float u, float v, uint32_t colour = 0xFFFFFFFF)
{
    T3D_Vertex out;
    out.Position = position;
    out.Normal = normal;
    out.U = u;
    out.V = v;
    out.Color = colour;
    return out;
}

// The six faces of a box of half-size h, four vertices each, with tangents
// along u and binormals along v.
void Box(float h, T3D_VertexArray& vertices, TWordArray& indices)
{
    const TVec3 normals[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const TVec3& n : normals) {
        // Two axes across the face.
        TVec3 a = std::fabs(n.y) > 0 ? TVec3{1, 0, 0} : TVec3{0, 1, 0};
        TVec3 b;
        Vec3Cross(n, a, b);
        const uint16_t base = static_cast<uint16_t>(vertices.size());
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (const auto& c : corners) {
            TVec3 p = {h * (n.x + c[0] * a.x + c[1] * b.x), h * (n.y + c[0] * a.y + c[1] * b.y),
                       h * (n.z + c[0] * a.z + c[1] * b.z)};
            T3D_Vertex v = Vertex(p, n, (c[0] + 1) / 2, (1 - c[1]) / 2);
            v.Tangent = a;
            Vec3Scale(b, -1, v.Binormal);
            vertices.push_back(v);
        }
        for (uint16_t i : {0, 1, 2, 0, 2, 3})
            indices.push_back(static_cast<uint16_t>(base + i));
    }
}

TMatrix4 Translation(float x, float y, float z)
{
    TMatrix4 m;
    MatrixTranslation(m, x, y, z);
    return m;
}

// A bar two units high along y, four rings of four corners, bent at its
// middle joint; and a rock (an octahedron).
ColladaFiles::TDocument SampleCollada()
{
    ColladaFiles::TDocument d;
    ColladaFiles::TGeometry rock;
    rock.Name = "Rock";
    rock.Material = "RockMaterial";
    rock.Positions = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    rock.Normals = rock.Positions;
    rock.TexCoords = {{0, 0}, {1, 0}, {0.5f, 1}};
    const int faces[8][3] = {{0, 2, 4}, {4, 2, 1}, {1, 2, 5}, {5, 2, 0}, {4, 3, 0}, {1, 3, 4}, {5, 3, 1}, {0, 3, 5}};
    for (const auto& f : faces)
        for (int k = 0; k < 3; k++)
            rock.Corners.push_back({f[k], f[k], k});
    d.Materials = {{"RockMaterial", "rock", "..\\Textures/Rock.tga"}};

    ColladaFiles::TGeometry bar;
    bar.Name = "Bar";
    const float ring[4][2] = {{0.2f, 0.2f}, {-0.2f, 0.2f}, {-0.2f, -0.2f}, {0.2f, -0.2f}};
    ColladaFiles::TSkin skin;
    skin.Geometry = "Bar";
    for (int level = 0; level < 4; level++) {
        const float y = static_cast<float>(level) * 2 / 3;
        for (const auto& r : ring) {
            bar.Positions.push_back({r[0], y, r[1]});
            const float upper = y / 2;
            skin.Influences.push_back({{0, 1 - upper}, {1, upper}});
        }
        bar.TexCoords.push_back({0, y / 2});
        bar.TexCoords.push_back({1, y / 2});
    }
    bar.Normals = {{1, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {0, 0, -1}};
    for (int level = 0; level < 3; level++)
        for (int side = 0; side < 4; side++) {
            const int a = level * 4 + side, b = level * 4 + (side + 1) % 4;
            const int normal = side;
            const int ta = level * 2, tb = level * 2 + 1;
            const std::array<int32_t, 3> c0 = {a, normal, ta}, c1 = {b, normal, tb}, c2 = {b + 4, normal, tb + 2},
                                         c3 = {a + 4, normal, ta + 2};
            bar.Corners.insert(bar.Corners.end(), {c0, c2, c1, c0, c3, c2});
        }
    d.Geometries = {rock, bar};

    ColladaFiles::TJoint root;
    root.Name = "joint_base";
    root.NodeName = "BarBase";
    ColladaFiles::TJoint tip;
    tip.Name = "joint_tip";
    tip.NodeName = "BarTip";
    tip.Parent = 0;
    tip.Rest = Translation(0, 1, 0);
    tip.InverseBind = Translation(0, -1, 0);
    skin.Joints = {root, tip};
    d.Skins = {skin};

    ColladaFiles::TTrack track;
    track.NodeName = "BarTip";
    track.Times = {0, 0.5f, 1};
    for (float angle : {0.0f, 0.4f, 0.8f}) {
        TMatrix4 turn;
        MatrixRotationZ(turn, angle);
        TMatrix4 key;
        MatrixMultiply(turn, Translation(0, 1, 0), key);
        track.Keys.push_back(key);
    }
    d.AnimationId = "Bend";
    d.Animation = {track};
    return d;
}

int MakeSamples(const std::string& folder)
{
    if (!OS_CreateDirectoryTree(folder)) {
        std::fprintf(stderr, "meshtool: cannot make %s\n", folder.c_str());
        return 1;
    }
    const std::string dae = folder + "\\Samples.DAE";
    const std::string daeText = ColladaFiles::Make(SampleCollada());
    if (!OS_WriteFileAtomic(dae, daeText.data(), daeText.size())) {
        std::fprintf(stderr, "meshtool: cannot write %s\n", dae.c_str());
        return 1;
    }

    const std::unique_ptr<T3D_Render> render = MakeNullRender();
    std::vector<TMeshFileRecord> records;
    auto add = [&](int32_t format, const std::string& name, const T3D_VertexArray& vertices, const TWordArray& indices,
                   const std::vector<TMeshFileTexture>& textures) {
        T3D_Mesh mesh(render.get(), name, format, 1);
        mesh.ImportGeometry(vertices, indices);
        records.push_back(MeshFiles::RecordOf(mesh, textures));
    };

    T3D_VertexArray vertices;
    TWordArray indices;
    Box(0.5f, vertices, indices);
    add(MESH_TEXTURED, "Cube", vertices, indices, {{"Cube.tga", 0, 0}});
    add(MESH_NORMALMAPPED, "Box", vertices, indices, {{"Box.tga", 0, 0}, {"Box_normal.tga", 1, 2}});

    vertices = {Vertex({-1, 0, -1}, {0, 1, 0}, 0, 0), Vertex({1, 0, -1}, {0, 1, 0}, 1, 0),
                Vertex({1, 0, 1}, {0, 1, 0}, 1, 1), Vertex({-1, 0, 1}, {0, 1, 0}, 0, 1)};
    add(MESH_TEXTURED, "Plane", vertices, {0, 2, 1, 0, 3, 2}, {{"Plane.tga", 0, 0}});

    vertices.clear();
    indices.clear();
    for (int i = 0; i <= 4; i++) {
        const float t = static_cast<float>(i) - 2;
        const uint16_t base = static_cast<uint16_t>(vertices.size());
        vertices.push_back(Vertex({t, 0, -2}, {}, 0, 0, 0xFF808080));
        vertices.push_back(Vertex({t, 0, 2}, {}, 0, 0, 0xFF808080));
        vertices.push_back(Vertex({-2, 0, t}, {}, 0, 0, 0xFF808080));
        vertices.push_back(Vertex({2, 0, t}, {}, 0, 0, 0xFF808080));
        for (uint16_t k = 0; k < 4; k++)
            indices.push_back(static_cast<uint16_t>(base + k));
    }
    add(MESH_GRID, "Grid", vertices, indices, {});

    vertices = {Vertex({0, 0, 0}, {}, 0, 0), Vertex({1, 0, 0}, {}, 1, 0), Vertex({1, 1, 0}, {}, 1, 1),
                Vertex({0, 1, 0}, {}, 0, 1)};
    add(MESH_SPRITE, "Quad", vertices, {0, 2, 1, 0, 3, 2}, {});

    T3D_Mesh bar(render.get(), "Bar", MESH_SKINNED, 1);
    Load_Geometry_D3D(bar, dae, "Bar", 1);
    bar.LoadAnimation(dae, "Bend");
    records.push_back(MeshFiles::RecordOf(bar, {{"Bar.tga", 0, 0}}));

    const std::string d3d = folder + "\\Samples.D3D";
    const std::vector<uint8_t> file = MeshFiles::MakeMeshFile(records);
    if (!OS_WriteFileAtomic(d3d, file.data(), file.size())) {
        std::fprintf(stderr, "meshtool: cannot write %s\n", d3d.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Paths from the command line are the system's; the engine works with
    // its own form.
    auto path = [](const std::string& real) { return OS_ToProgramPath(real); };
    if (args.size() == 2 && args[0] == "info")
        return Info(path(args[1]));
    if ((args.size() == 2 || (args.size() == 4 && args[2] == "--geometry")) && args[0] == "dae-info")
        return DaeInfo(path(args[1]), args.size() == 4 ? args[3] : std::string());
    if (args.size() == 2 && args[0] == "make-samples")
        return MakeSamples(path(args[1]));
    std::fprintf(stderr, "usage: meshtool info FILE.D3D | dae-info FILE.DAE [--geometry NAME] | make-samples FOLDER\n");
    return 2;
}
