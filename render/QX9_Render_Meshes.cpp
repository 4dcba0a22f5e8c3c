// Meshes: packing, device buffers, bounds, the registry of T3D_Render and
// the mesh part of the device-loss recovery.
#include "render/QX9_Render_Meshes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>

#include "render/QX9_Render_Collada.h"
#include "render/QX9_Render_MeshFile.h"
#include "render/QX9_Render_Upload.h"

namespace {

// Nearest integer, halves to even. rintl rounds as nearbyintl does and
// compiles to one instruction (every packed vertex rounds several values);
// only the inexact flag, which nothing reads, may differ.
long double RoundEven(long double x)
{
    return std::rintl(x);
}

// A rounded value stored in a 16-bit field: clamped to the field's range
// rather than wrapped.
int16_t ClampShort(long double x)
{
    const long double r = RoundEven(x);
    if (!(r >= -32768.0L))
        return r != r ? 0 : -32768;
    return r > 32767.0L ? 32767 : static_cast<int16_t>(r);
}

uint8_t ClampByte(long double x)
{
    const long double r = RoundEven(x);
    if (!(r >= 0.0L))
        return 0;
    return r > 255.0L ? 255 : static_cast<uint8_t>(r);
}

uint16_t ClampWord(long double x, long double most)
{
    const long double r = RoundEven(x);
    if (!(r >= 0.0L))
        return 0;
    return static_cast<uint16_t>(std::min(r, most));
}

template <class T> void Put(uint8_t* out, int32_t offset, T value)
{
    std::memcpy(out + offset, &value, sizeof(T));
}

void PutNormal(uint8_t* out, int32_t offset, const TVec3& v)
{
    PackNormal(v, out[offset], out[offset + 1], out[offset + 2]);
}

int16_t S4096(float x)
{
    return ClampShort(static_cast<long double>(x) * 4096);
}

int16_t S32767(float x)
{
    return ClampShort(static_cast<long double>(x) * 32767);
}

// Bytes 0..27 of the normal-mapped and skinned layouts: position, normal,
// tangent, binormal and the texture coordinates.
void PutFrame(uint8_t* out, const T3D_Vertex& v)
{
    Put(out, 0, v.Position);
    PutNormal(out, 12, v.Normal);
    PutNormal(out, 16, v.Tangent);
    PutNormal(out, 20, v.Binormal);
    Put(out, 24, S4096(v.U));
    Put(out, 26, S4096(v.V));
}

// Bytes 0..23 of the tree-crown and grass layouts.
void PutPlant(uint8_t* out, const T3D_Vertex& v, uint8_t byte19)
{
    Put(out, 0, v.Position);
    PutNormal(out, 12, v.Normal);
    out[15] = 0;
    PutNormal(out, 16, v.Binormal);
    out[19] = byte19;
    Put(out, 20, S4096(v.U));
    Put(out, 22, S4096(v.V));
}

uint8_t AlphaOf(uint32_t colour)
{
    return static_cast<uint8_t>(colour >> 24);
}

[[noreturn]] void MeshFatal(const std::string& name, const std::string& operation, const std::string& reason)
{
    AppendEngineError("T3D_Mesh(" + name + ")." + operation + " -> " + reason);
    FatalStop();
}

template <class T> void ReleaseObject(T*& object)
{
    if (object != nullptr)
        object->Release();
    object = nullptr;
}

void ReleaseMeshesForReset(T3D_Render& render)
{
    for (T3D_Mesh* mesh : render._r_Meshes)
        if (mesh != nullptr && mesh->State == RESOURCE_ON_DEVICE)
            mesh->DropDeviceBuffers();
}

void RestoreMeshesAfterReset(T3D_Render& render)
{
    for (T3D_Mesh* mesh : render._r_Meshes) {
        if (mesh == nullptr || mesh->State != RESOURCE_ON_DEVICE)
            continue;
        if (mesh->HasGeometryData()) {
            mesh->Update(1);
            continue;
        }
        // Its data went with the first upload: nothing to make the buffers
        // from again. It stays released and is not drawn.
        mesh->State = RESOURCE_RELEASED;
        std::fprintf(stderr, "T3D_Mesh(%s): no kept data to restore after the device reset; released\n",
                     mesh->Name.c_str());
    }
}

struct TRegisterMeshHandlers {
    TRegisterMeshHandlers() { RegisterMeshDeviceLossHandlers(); }
} RegisterMeshHandlersAtStart;

} // namespace

void RegisterMeshDeviceLossHandlers()
{
    DeviceLossHandlers.ReleaseMeshes = &ReleaseMeshesForReset;
    DeviceLossHandlers.RestoreMeshes = &RestoreMeshesAfterReset;
}

// ---------------------------------------------------------------------------
// Packing

void PackVertex(const T3D_Vertex& v, int32_t format, uint8_t* out)
{
    switch (format) {
    case MESH_GRID:
        Put(out, 0, v.Position);
        Put(out, 12, v.Color);
        break;
    case MESH_TEXTURED:
        Put(out, 0, v.Position);
        PutNormal(out, 12, v.Normal);
        Put(out, 16, S4096(v.U));
        Put(out, 18, S4096(v.V));
        Put(out, 20, v.Color);
        break;
    case MESH_NORMALMAPPED:
        PutFrame(out, v);
        Put(out, 28, v.Color);
        break;
    case MESH_LANDSKAPE: {
        Put(out, 0, v.Position);
        PutNormal(out, 12, v.Normal);
        out[15] = AlphaOf(v.Color);
        const float words[8] = {v.U, v.V, v.E[0], v.E[1], v.E[2], v.E[3], v.E[4], v.E[5]};
        for (int32_t i = 0; i < 8; i++)
            Put(out, 16 + 2 * i, S32767(words[i]));
        std::memcpy(out + 32, v.B, 4);
        out[36] = ClampByte(static_cast<long double>(v.Weight[0]) * 255 / 50);
        out[37] = ClampByte(static_cast<long double>(v.Weight[1]) * 255 / 50);
        out[38] = ClampByte(static_cast<long double>(v.Weight[2]) * 255);
        break;
    }
    case MESH_SKINNED:
        PutFrame(out, v);
        std::memcpy(out + 28, v.BoneIndex, 4);
        for (int32_t i = 0; i < 4; i++)
            out[32 + i] = ClampByte(static_cast<long double>(v.Weight[i]) * 255);
        Put(out, 36, v.Color);
        break;
    case MESH_SPRITE:
        Put(out, 0, v.Position);
        Put(out, 12, 1.0f);
        Put(out, 16, v.U);
        Put(out, 20, v.V);
        Put(out, 24, v.Color);
        break;
    case MESH_WATER:
        Put(out, 0, v.Position);
        Put(out, 12, v.U);
        Put(out, 16, v.V);
        std::memcpy(out + 20, v.B, 3);
        out[23] = AlphaOf(v.Color);
        break;
    case MESH_TREECOMA:
        PutPlant(out, v, 0);
        Put(out, 24, ClampWord(static_cast<long double>(v.E[0]) * 3276.7L, 65534));
        Put(out, 26, ClampWord(static_cast<long double>(v.E[1]) * 3276.7L, 65534));
        std::memcpy(out + 28, v.B, 4);
        break;
    case MESH_GRASS:
        PutPlant(out, v, v.B[1]);
        Put(out, 24, v.Color);
        break;
    case MESH_PARTICLE:
        Put(out, 0, v.Position);
        PutNormal(out, 12, v.Normal);
        Put(out, 24, v.Color);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// T3D_BaseMesh

T3D_BaseMesh::T3D_BaseMesh(T3D_Render* owner, const std::string& name) : T3D_UniversalResource(owner), Name(name)
{
    World = new TMatrix4(IdentityMatrix);
}

T3D_BaseMesh::~T3D_BaseMesh()
{
    delete World;
}

void T3D_BaseMesh::ResetMatrix()
{
    *World = IdentityMatrix;
}

void T3D_BaseMesh::ApplyLeft(const TMatrix4& transform)
{
    // MatrixMultiply (a, b) is the array product b x a.
    MatrixMultiply(*World, transform, *World);
}

void T3D_BaseMesh::Scale(float s)
{
    TMatrix4 m;
    MatrixScaling(m, s, s, s);
    ApplyLeft(m);
}

void T3D_BaseMesh::Translate(float x, float y, float z)
{
    TMatrix4 m;
    MatrixTranslation(m, x, y, z);
    ApplyLeft(m);
}

void T3D_BaseMesh::TranslateVec(const TVec3& vector)
{
    Translate(vector.x, vector.y, vector.z);
}

void T3D_BaseMesh::Rotate(int32_t axis, float angle)
{
    TMatrix4 m;
    switch (axis) {
    case 0:
        MatrixRotationX(m, angle);
        break;
    case 1:
        MatrixRotationY(m, angle);
        break;
    case 2:
        MatrixRotationZ(m, angle);
        break;
    default:
        return;
    }
    ApplyLeft(m);
}

// ---------------------------------------------------------------------------
// T3D_Mesh

T3D_Mesh::T3D_Mesh(T3D_Render* owner, const std::string& name, int32_t vertexFormat, uint8_t keepData)
    : T3D_BaseMesh(owner, name)
{
    VertexFormat = vertexFormat;
    KeepData = keepData;
}

T3D_Mesh::~T3D_Mesh()
{
    // A loader thread may free a mesh while the main thread performs the
    // queue: the mesh's tasks go first, and its buffers only afterwards.
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    WithdrawQueuedUploads();
    ReleaseBuffers();
}

int64_t T3D_Mesh::DeviceBytes() const
{
    return static_cast<int64_t>(DeviceVertexCount) * DeviceStride + 2 * static_cast<int64_t>(DeviceIndexCount);
}

void T3D_Mesh::ReleaseBuffers()
{
    // The bytes are counted while buffers exist, whether or not the mesh
    // kept its data.
    if (Owner != nullptr)
        Owner->MeshBytes -= static_cast<int32_t>(DeviceBytes());
    ReleaseObject(VertexBuffer);
    ReleaseObject(IndexBuffer);
    DeviceVertexCount = 0;
    DeviceIndexCount = 0;
    DeviceStride = 0;
}

void T3D_Mesh::DropDeviceBuffers()
{
    ReleaseBuffers();
}

bool T3D_Mesh::HasGeometryData() const
{
    return VertexCount > 0 && VertexStride > 0 &&
           Vertices.size() == static_cast<size_t>(VertexCount) * static_cast<size_t>(VertexStride) &&
           Indices.size() == static_cast<size_t>(IndexCount);
}

void T3D_Mesh::ImportGeometry(const T3D_VertexArray& vertices, const TWordArray& indices)
{
    if (VertexFormat < 1 || VertexFormat > VertexFormatCount)
        MeshFatal(Name, "ImportGeometry", "UNDEFINED VERTEX FORMAT!");
    // Indices are 16-bit: more vertices could not be addressed.
    if (vertices.size() > static_cast<size_t>(MESH_MAX_VERTICES))
        MeshFatal(Name, "ImportGeometry", "TOO MANY VERTICES!");
    const int32_t vertexCount = static_cast<int32_t>(vertices.size());
    const int32_t indexCount = static_cast<int32_t>(std::min<size_t>(indices.size(), INT32_MAX));
    const bool resized = vertexCount != VertexCount || indexCount != IndexCount;
    VertexCount = vertexCount;
    IndexCount = indexCount;
    PrimitiveCount = PrimitivesOf(VertexFormat, IndexCount);
    if (VertexCount < 1) {
        Vertices.clear();
        Vertices.shrink_to_fit();
        Indices.clear();
        Subsets.clear();
        if (State == RESOURCE_ON_DEVICE)
            Update(1);
        else
            State = RESOURCE_NEW;
        return;
    }
    Indices = indices;
    VertexStride = VertexFormatStride[static_cast<size_t>(VertexFormat)];
    const size_t bytes = static_cast<size_t>(VertexCount) * static_cast<size_t>(VertexStride);
    // New vertex memory starts zeroed; reused memory keeps the bytes the
    // layout does not name.
    if (resized || Vertices.size() != bytes)
        Vertices.assign(bytes, 0);
    for (int32_t i = 0; i < VertexCount; i++)
        PackVertex(vertices[static_cast<size_t>(i)], VertexFormat,
                   Vertices.data() + static_cast<size_t>(i) * VertexStride);
    Subsets.clear();
    CalcBounds(0, IndexCount);
    if (State != RESOURCE_ON_DEVICE)
        State = RESOURCE_FILE_READ;
    Update(resized ? 1 : 0);
}

void T3D_Mesh::Update(uint8_t forced)
{
    const int64_t cost = static_cast<int64_t>(VertexStride) * VertexCount + 2 * static_cast<int64_t>(IndexCount);
    if (UploadQueue_Defer(*Owner, UPLOAD_MESH, cost, this))
        return;
    // The byte counts and buffers change under the queue's lock, as when the
    // main thread performs a queued task.
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    UpdateNow(forced);
}

void T3D_Mesh::PerformQueuedUpload()
{
    UpdateNow(0);
}

void T3D_Mesh::UpdateNow(uint8_t forced)
{
    if (VertexFormat < 1 || VertexFormat > VertexFormatCount)
        MeshFatal(Name, "Update", "UNDEFINED VERTEX FORMAT!");
    if (VertexCount < 1) {
        ReleaseBuffers();
        State = RESOURCE_RELEASED;
        return;
    }
    const bool uploaded = VertexBuffer != nullptr && DeviceVertexCount == VertexCount &&
                          DeviceIndexCount == IndexCount && DeviceStride == VertexStride;
    if (!HasGeometryData()) {
        // A second queued task after the first freed the data: the buffers
        // already hold it.
        if (uploaded)
            return;
        ReleaseBuffers();
        State = RESOURCE_RELEASED;
        return;
    }
    IDirect3DDevice9* device = Owner->Device;
    // Buffers of other sizes are made anew even when not forced: the copy
    // below must fit them.
    if (forced != 0 || State != RESOURCE_ON_DEVICE || !uploaded) {
        ReleaseBuffers();
        const UINT vertexBytes = static_cast<UINT>(VertexStride) * static_cast<UINT>(VertexCount);
        D3DRetry(D3DOP_CreateVertexBuffer, [&] {
            return device->CreateVertexBuffer(vertexBytes, 0, 0, D3DPOOL_DEFAULT, &VertexBuffer, nullptr);
        });
        if (IndexCount > 0) {
            const UINT indexBytes = 2 * static_cast<UINT>(IndexCount);
            D3DRetry(D3DOP_CreateIndexBuffer, [&] {
                return device->CreateIndexBuffer(indexBytes, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &IndexBuffer, nullptr);
            });
        }
    } else {
        Owner->MeshBytes -= static_cast<int32_t>(DeviceBytes());
    }
    State = RESOURCE_ON_DEVICE;
    void* data = nullptr;
    D3DRetry(D3DOP_VertexBufferLock, [&] { return VertexBuffer->Lock(0, 0, &data, 0); });
    std::memcpy(data, Vertices.data(), Vertices.size());
    D3DRetry(D3DOP_VertexBufferUnlock, [&] { return VertexBuffer->Unlock(); });
    if (IndexBuffer != nullptr) {
        D3DRetry(D3DOP_IndexBufferLock, [&] { return IndexBuffer->Lock(0, 0, &data, 0); });
        std::memcpy(data, Indices.data(), Indices.size() * sizeof(uint16_t));
        D3DRetry(D3DOP_IndexBufferUnlock, [&] { return IndexBuffer->Unlock(); });
    }
    if (KeepData == 0) {
        Indices.clear();
        Indices.shrink_to_fit();
        Vertices.clear();
        Vertices.shrink_to_fit();
    }
    DeviceVertexCount = VertexCount;
    DeviceIndexCount = IndexCount;
    DeviceStride = VertexStride;
    Owner->MeshBytes += static_cast<int32_t>(DeviceBytes());
}

void T3D_Mesh::CalcBounds(int32_t first, int32_t count)
{
    const int64_t end = std::min<int64_t>(static_cast<int64_t>(first) + count, IndexCount);
    float low[3] = {10000000, 10000000, 10000000};
    float high[3] = {-10000000, -10000000, -10000000};
    const bool positions =
        VertexFormat >= 1 && VertexFormat <= VertexFormatCount && VertexFormat != MESH_SPRITE && HasGeometryData();
    if (positions) {
        for (int64_t i = std::max(first, 0); i < end; i++) {
            const uint16_t index = Indices[static_cast<size_t>(i)];
            if (index >= VertexCount)
                continue;
            float p[3];
            std::memcpy(p, Vertices.data() + static_cast<size_t>(index) * VertexStride, sizeof(p));
            for (int32_t a = 0; a < 3; a++) {
                low[a] = std::min(low[a], p[a]);
                high[a] = std::max(high[a], p[a]);
            }
        }
    }
    T3D_Subset subset;
    const float corners[8][3] = {{low[0], low[1], low[2]},   {low[0], high[1], low[2]},  {high[0], low[1], low[2]},
                                 {high[0], high[1], low[2]}, {high[0], low[1], high[2]}, {high[0], high[1], high[2]},
                                 {low[0], low[1], high[2]},  {low[0], high[1], high[2]}};
    std::memcpy(subset.Corners, corners, sizeof(corners));
    subset.Contains = 0;
    subset.First = first;
    subset.Count = count;
    const int64_t last = static_cast<int64_t>(first) + count;
    for (T3D_Subset& earlier : Subsets) {
        if (earlier.Count == count)
            continue;
        const int64_t earlierLast = static_cast<int64_t>(earlier.First) + earlier.Count;
        if (first >= earlier.First && earlierLast >= last)
            earlier.Contains = 1;
        if (earlier.First >= first && last >= earlierLast)
            subset.Contains = 1;
    }
    Subsets.push_back(subset);
}

void T3D_Mesh::LoadAnimation(const std::string& fileName, const std::string& animationName)
{
    Load_Animation_XML(fileName, animationName, Skin);
}

void T3D_Mesh::SetTexture(const std::string& fileName, int32_t stage, uint8_t clamp)
{
    const int32_t slot = Owner->Texture_Load(fileName);
    for (T3D_MeshStageTexture& record : StageTextures)
        if (record.Stage == stage) {
            record.TextureSlot = slot;
            return;
        }
    T3D_MeshStageTexture record;
    record.TextureSlot = slot;
    record.Clamp = clamp;
    record.Stage = stage;
    StageTextures.push_back(record);
}

// ---------------------------------------------------------------------------
// Reading

namespace {

// Reads the file and finds the record of that name; a missing or malformed
// file stops the program with the operation's line. True when found.
bool FindRecordOrStop(const std::string& operation, const std::string& fileName, const std::string& meshName,
                      TMeshFileRecord& record, bool texturesOnly)
{
    std::vector<uint8_t> bytes;
    if (!OS_ReadWholeFile(fileName, bytes))
        FatalError(operation, fileName, "FILE NOT FOUND!");
    const TMeshFileStatus status = MeshFileFind(bytes.data(), bytes.size(), meshName, record, texturesOnly);
    if (status == TMeshFileStatus::BadFormat)
        FatalError(operation, fileName, "BAD FORMAT!");
    return status == TMeshFileStatus::Ok;
}

// A COLLADA file the readers will open: a missing one stops the program with
// the operation's line.
void StopIfMissing(const std::string& operation, const std::string& fileName)
{
    if (!FileExistsMask(fileName))
        FatalError(operation, fileName, "FILE NOT FOUND!");
}

bool IsColladaFile(const std::string& fileName)
{
    return ExtractExtUpper(fileName) == "DAE";
}

} // namespace

void Load_Geometry_D3D(T3D_Mesh& mesh, const std::string& fileName, const std::string& meshName, uint8_t tangents)
{
    const uint8_t state = mesh.State;
    if (IsColladaFile(fileName)) {
        StopIfMissing("Load_Geometry_D3D", fileName);
        mesh.SetFile(fileName);
        if (state == RESOURCE_ON_DEVICE)
            mesh.State = state;
        T3D_VertexArray vertices;
        TWordArray indices;
        const bool chooses = mesh.VertexFormat == VERTEX_FORMAT_UNDEFINED;
        T3D_Skin* skin = mesh.VertexFormat == MESH_SKINNED || chooses ? &mesh.Skin : nullptr;
        Load_Geometry_XML(fileName, meshName, mesh.VertexFormat, vertices, indices, skin, tangents);
        if (chooses)
            mesh.VertexFormat = mesh.Skin.Bones.empty() ? MESH_NORMALMAPPED : MESH_SKINNED;
        mesh.ImportGeometry(vertices, indices);
        return;
    }
    TMeshFileRecord record;
    if (!FindRecordOrStop("Load_Geometry_D3D", fileName, meshName, record, false))
        return;
    mesh.SetFile(fileName);
    if (state == RESOURCE_ON_DEVICE)
        mesh.State = state;
    CopyMeshGeometry(record, mesh);
    mesh.Update(1);
}

// ---------------------------------------------------------------------------
// The registry

T3D_Mesh* MeshAt(const T3D_Render& render, int32_t slot)
{
    if (slot < 0 || static_cast<size_t>(slot) >= render._r_Meshes.size())
        return nullptr;
    return render._r_Meshes[static_cast<size_t>(slot)];
}

int32_t T3D_Render::Mesh_Add(int32_t vertexFormat, const std::string& name, uint8_t keepData)
{
    const size_t slot = TakeFreeSlot(_r_Meshes);
    const std::string meshName = name.empty() ? std::to_string(slot) : name;
    auto* mesh = new T3D_Mesh(this, meshName, vertexFormat, keepData);
    mesh->SlotIndex = static_cast<int32_t>(slot);
    _r_Meshes[slot] = mesh;
    MeshCount++;
    return static_cast<int32_t>(slot);
}

T3D_Mesh* T3D_Render::Mesh_Find(const std::string& name) const
{
    for (T3D_Mesh* mesh : _r_Meshes)
        if (mesh != nullptr && mesh->Name == name)
            return mesh;
    return nullptr;
}

T3D_Mesh* T3D_Render::Mesh_Get(int32_t slot) const
{
    return MeshAt(*this, slot);
}

void T3D_Render::Mesh_Free(int32_t slot)
{
    T3D_Mesh* mesh = MeshAt(*this, slot);
    if (mesh == nullptr)
        return;
    delete mesh;
    _r_Meshes[static_cast<size_t>(slot)] = nullptr;
    DropTrailingFreeSlots(_r_Meshes);
    MeshCount--;
}

void T3D_Render::Mesh_Load(int32_t slot, const std::string& fileName, const std::string& meshName, uint8_t tangents)
{
    if (slot < 0 || static_cast<size_t>(slot) >= _r_Meshes.size())
        FatalError("T3D_Render.Mesh_Load", std::to_string(slot) + "," + fileName + "," + meshName, "INVALID INDEX!");
    T3D_Mesh* mesh = _r_Meshes[static_cast<size_t>(slot)];
    if (mesh == nullptr) {
        AppendEngineError("T3D_Render._r_Meshes[" + std::to_string(slot) + "]=NIL -> INVALID POINTER!");
        FatalStop();
    }
    Load_Geometry_D3D(*mesh, fileName, meshName, tangents);
}

void T3D_Render::Mesh_FindNames(const std::string& fileName, TStringArray& names)
{
    if (IsColladaFile(fileName)) {
        StopIfMissing("Mesh_FindNames", fileName);
        Find_Names_XML(fileName, names);
        return;
    }
    std::vector<uint8_t> bytes;
    if (!OS_ReadWholeFile(fileName, bytes))
        FatalError("Mesh_FindNames", fileName, "FILE NOT FOUND!");
    const TMeshFileStatus status = MeshFileNames(bytes.data(), bytes.size(), names);
    if (status == TMeshFileStatus::BadFormat)
        FatalError("Mesh_FindNames", fileName, "BAD FORMAT!");
    if (status == TMeshFileStatus::Empty)
        FatalError("Mesh_FindNames", fileName, "EMPTY FILE!");
}

void T3D_Render::Mesh_FindTexture(const std::string& fileName, const std::string& meshName, TStringArray& names)
{
    names.clear();
    if (IsColladaFile(fileName)) {
        StopIfMissing("Mesh_FindTexture", fileName);
        std::string texture;
        Find_Texture_XML(fileName, meshName, texture);
        names.push_back(texture);
        return;
    }
    TMeshFileRecord record;
    if (!FindRecordOrStop("Mesh_FindTexture", fileName, meshName, record, true))
        return;
    for (const TMeshFileTexture& texture : record.Textures) {
        if (names.size() <= static_cast<size_t>(texture.Stage))
            names.resize(static_cast<size_t>(texture.Stage) + 1);
        names[static_cast<size_t>(texture.Stage)] = texture.Name;
    }
}

std::string T3D_Render::Mesh_FindFirstTexture(const std::string& fileName, const std::string& meshName)
{
    TStringArray names;
    Mesh_FindTexture(fileName, meshName, names);
    return names.empty() ? std::string() : names[0];
}
