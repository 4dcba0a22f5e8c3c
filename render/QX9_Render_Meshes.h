// Meshes: the geometry of one object in one vertex format. 16-bit indices,
// vertices packed in the format's layout, index-range subsets with their
// bounding boxes, the textures of its sampler stages, a render-state key and,
// for skinned meshes, a skeleton with animation tracks. Meshes live in the
// renderer's registry (_r_Meshes) and come from the ".D3D" mesh files, from
// COLLADA files (QX9_Render_Collada) or from code that fills generic vertices
// and hands them to T3D_Mesh::ImportGeometry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_Math.h"
#include "engine/QX9_System.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Textures.h"

// The vertex format of a mesh whose format a COLLADA load chooses.
inline constexpr int32_t VERTEX_FORMAT_UNDEFINED = 0x0FFFFFFF;

// Buffers hold 16-bit indices: no mesh has more vertices than this.
inline constexpr int32_t MESH_MAX_VERTICES = 65535;

// The generic vertex code fills before packing. E1..E6 and B1..B4 mean what
// the code that fills them says (tree-crown extents, terrain layers, ...).
struct T3D_Vertex {
    TVec3 Position;
    TVec3 Normal;
    TVec3 Tangent;
    TVec3 Binormal;
    uint32_t Color = 0; // ARGB
    float U = 0;
    float V = 0;
    float E[6] = {};
    uint8_t BoneIndex[4] = {};
    float Weight[4] = {};
    uint8_t B[4] = {};
    uint32_t Spare = 0;
};
using T3D_VertexArray = std::vector<T3D_Vertex>;

#pragma pack(push, 1)
// One index range of a mesh with the eight corners of its bounding box in
// the order (minX, minY, minZ), (minX, maxY, minZ), (maxX, minY, minZ),
// (maxX, maxY, minZ), (maxX, minY, maxZ), (maxX, maxY, maxZ), (minX, minY,
// maxZ), (minX, maxY, maxZ). Stored as is in the mesh files.
struct T3D_Subset {
    float Corners[8][3];
    uint8_t Contains; // 1: holds the range of a subset of another length
    int32_t First;
    int32_t Count;
};
#pragma pack(pop)
static_assert(sizeof(T3D_Subset) == 105);
static_assert(offsetof(T3D_Subset, Contains) == 96 && offsetof(T3D_Subset, First) == 97 &&
              offsetof(T3D_Subset, Count) == 101);

struct T3D_MeshStageTexture {
    int32_t TextureSlot = -1;
    uint8_t Clamp = 0;
    int32_t Stage = 0;
    int32_t Reserved = 0;
};

struct T3D_Track {
    TSingleArray Times; // seconds
    std::vector<TMatrix4> Keys;
    TMatrix4 Matrix = IdentityMatrix; // the rest pose
};

struct T3D_Bone {
    std::string Name;     // the joint's name
    std::string NodeName; // the scene node's name
    int32_t Parent = -1;
    TMatrix4 InverseBind = IdentityMatrix;
    std::vector<T3D_Track> Tracks; // track n belongs to clip n
};

struct T3D_Clip {
    std::string Name;
    int32_t FrameCount = 0; // the clip's length in milliseconds
};

struct T3D_Skin {
    int32_t RootBone = 0;
    TMatrix4 BindShape = IdentityMatrix;
    std::vector<T3D_Bone> Bones;
    std::vector<T3D_Clip> Clips;
};

// Packs one generic vertex into the layout of a vertex format (1..10) at out,
// which holds the format's stride. Bytes the layout does not name are left as
// they were. Other formats write nothing.
void PackVertex(const T3D_Vertex& vertex, int32_t format, uint8_t* out);

// The part meshes and scene mesh instances share: a name and an own world
// matrix, identity at creation.
class T3D_BaseMesh : public T3D_UniversalResource {
public:
    T3D_BaseMesh(T3D_Render* owner, const std::string& name);
    ~T3D_BaseMesh() override;
    T3D_BaseMesh(const T3D_BaseMesh&) = delete;
    T3D_BaseMesh& operator=(const T3D_BaseMesh&) = delete;

    void ResetMatrix();
    // Each replaces the world matrix W by T x W.
    void Scale(float s);
    void Translate(float x, float y, float z);
    void TranslateVec(const TVec3& vector);
    // axis 0 = X, 1 = Y, 2 = Z; other axes do nothing.
    void Rotate(int32_t axis, float angle);

    std::string Name;
    TMatrix4* World = nullptr;

private:
    void ApplyLeft(const TMatrix4& transform);
};

class T3D_Mesh : public T3D_BaseMesh {
public:
    T3D_Mesh(T3D_Render* owner, const std::string& name, int32_t vertexFormat, uint8_t keepData);
    ~T3D_Mesh() override;

    // Converts generic geometry into the mesh: packs the vertices, one subset
    // for the whole index range, and updates the device buffers.
    void ImportGeometry(const T3D_VertexArray& vertices, const TWordArray& indices);
    // Creates or refills the device buffers (queued while the renderer defers
    // uploads).
    void Update(uint8_t forced);
    // Appends a subset for the index range with its bounding box.
    void CalcBounds(int32_t first, int32_t count);
    void LoadAnimation(const std::string& fileName, const std::string& animationName);
    void SetTexture(const std::string& fileName, int32_t stage, uint8_t clamp);
    void PerformQueuedUpload() override;

    // Releases the device buffers and forgets their sizes (device loss); the
    // byte count goes with them.
    void DropDeviceBuffers();
    // Whether the vertex and index memory is there to upload from.
    bool HasGeometryData() const;

    TRenderStateKey Key;
    int32_t VertexCount = 0;
    int32_t IndexCount = 0;
    int32_t PrimitiveCount = 0;
    int32_t VertexStride = 0;
    int32_t VertexFormat = VERTEX_FORMAT_UNDEFINED;
    TWordArray Indices;
    std::vector<uint8_t> Vertices; // VertexCount * VertexStride bytes
    int32_t DeviceVertexCount = 0;
    int32_t DeviceIndexCount = 0;
    int32_t DeviceStride = 0;
    std::vector<T3D_Subset> Subsets;
    IDirect3DVertexBuffer9* VertexBuffer = nullptr;
    IDirect3DIndexBuffer9* IndexBuffer = nullptr;
    std::vector<T3D_MeshStageTexture> StageTextures;
    T3D_Skin Skin;

private:
    void UpdateNow(uint8_t forced);
    void ReleaseBuffers();
    int64_t DeviceBytes() const;
};

// The primitives an index count draws: lines for MESH_GRID, triangles for
// every other format.
int32_t PrimitivesOf(int32_t vertexFormat, int32_t indexCount);
// The mesh of a slot; nullptr for a free or out-of-range slot.
T3D_Mesh* MeshAt(const T3D_Render& render, int32_t slot);
// Lets the lost-device recovery release and restore the meshes (done at
// start-up; tests that replace the handlers call it again).
void RegisterMeshDeviceLossHandlers();

// Reads a mesh from a ".D3D" file (the record of that name) or a ".DAE"
// file (the geometry of that name) into the mesh. A mesh name the file does
// not have leaves the mesh as it was.
void Load_Geometry_D3D(T3D_Mesh& mesh, const std::string& fileName, const std::string& meshName, uint8_t tangents);
