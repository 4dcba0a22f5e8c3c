// The ".D3D" mesh file reader: the record walk and the bounded reading of one
// record.
#include "render/QX9_Render_MeshFile.h"

#include <cstring>
#include <limits>

#include "render/QX9_Render_StateKey.h"

namespace {

// Reads little-endian numbers, strings and blocks from a byte range; the
// first read that does not fit marks the reader failed and every later read
// gives zeros.
class TBoundedReader {
public:
    TBoundedReader(const uint8_t* data, size_t size, size_t position) : Data(data), Size(size), Position(position)
    {
        if (position > size)
            Ok = false;
    }

    bool Fits(size_t bytes) const { return Ok && bytes <= Size - Position; }

    void Bytes(void* out, size_t bytes)
    {
        if (bytes == 0)
            return;
        if (!Fits(bytes)) {
            Ok = false;
            std::memset(out, 0, bytes);
            return;
        }
        std::memcpy(out, Data + Position, bytes);
        Position += bytes;
    }

    int32_t Int()
    {
        uint8_t b[4];
        Bytes(b, 4);
        return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                    static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
    }

    uint8_t Byte()
    {
        uint8_t b = 0;
        Bytes(&b, 1);
        return b;
    }

    // A length of 0 or less is the empty string.
    std::string String()
    {
        const int32_t length = Int();
        if (length <= 0)
            return std::string();
        if (!Fits(static_cast<size_t>(length))) {
            Ok = false;
            return std::string();
        }
        std::string text(reinterpret_cast<const char*>(Data + Position), static_cast<size_t>(length));
        Position += static_cast<size_t>(length);
        return text;
    }

    // A count of elements of at least elementBytes each; a negative count or
    // one the rest of the file cannot hold fails.
    int32_t Count(size_t elementBytes)
    {
        const int32_t count = Int();
        if (count < 0 || (elementBytes > 0 && !Fits(static_cast<size_t>(count) * elementBytes)))
            Ok = false;
        return Ok ? count : 0;
    }

    void Matrix(TMatrix4& m) { Bytes(m.e, sizeof(m.e)); }

    const uint8_t* Data;
    size_t Size;
    size_t Position;
    bool Ok = true;
};

// Reads the skin of a format-5 record.
bool ReadSkin(TBoundedReader& in, T3D_Skin& skin)
{
    skin.RootBone = in.Int();
    in.Matrix(skin.BindShape);
    // A bone takes at least its two string lengths, parent, matrix and
    // track count.
    const int32_t boneCount = in.Count(4 + 4 + 4 + 64 + 4);
    skin.Bones.resize(static_cast<size_t>(boneCount));
    for (T3D_Bone& bone : skin.Bones) {
        bone.Name = in.String();
        bone.NodeName = in.String();
        bone.Parent = in.Int();
        in.Matrix(bone.InverseBind);
        const int32_t trackCount = in.Count(4 + 4 + 64);
        bone.Tracks.resize(static_cast<size_t>(trackCount));
        for (T3D_Track& track : bone.Tracks) {
            track.Times.resize(static_cast<size_t>(in.Count(4)));
            in.Bytes(track.Times.data(), track.Times.size() * sizeof(float));
            track.Keys.resize(static_cast<size_t>(in.Count(64)));
            in.Bytes(track.Keys.data(), track.Keys.size() * sizeof(TMatrix4));
            in.Matrix(track.Matrix);
        }
        if (!in.Ok || bone.Parent < -1 || bone.Parent >= boneCount)
            return false;
    }
    skin.Clips.resize(static_cast<size_t>(in.Count(4 + 4)));
    for (T3D_Clip& clip : skin.Clips) {
        clip.Name = in.String();
        clip.FrameCount = in.Int();
    }
    const bool rootOk =
        boneCount == 0 ? skin.RootBone == 0 || skin.RootBone == -1 : skin.RootBone >= 0 && skin.RootBone < boneCount;
    return in.Ok && rootOk;
}

// Reads the rest of a record after its name.
bool ReadRecordBody(TBoundedReader& in, TMeshFileRecord& record, bool texturesOnly)
{
    const int32_t textureCount = in.Count(4 + 1 + 4);
    record.Textures.resize(static_cast<size_t>(textureCount));
    for (TMeshFileTexture& texture : record.Textures) {
        texture.Name = in.String();
        texture.Clamp = in.Byte();
        texture.Stage = in.Int();
        // Stages index the sixteen sampler stages.
        if (texture.Stage < 0 || texture.Stage >= TEXTURE_STAGE_COUNT)
            return false;
    }
    if (!in.Ok || texturesOnly)
        return in.Ok;

    record.Key.Mask = static_cast<uint32_t>(in.Int());
    record.Key.Value = static_cast<uint32_t>(in.Int());
    record.VertexCount = in.Int();
    record.IndexCount = in.Int();
    record.PrimitiveCount = in.Int();
    record.VertexStride = in.Int();
    record.VertexFormat = in.Int();
    if (!in.Ok || record.VertexFormat < 1 || record.VertexFormat > VertexFormatCount ||
        record.VertexStride != VertexFormatStride[static_cast<size_t>(record.VertexFormat)])
        return false;
    if (record.VertexCount < 0 || record.VertexCount > MESH_MAX_VERTICES || record.IndexCount < 0 ||
        record.PrimitiveCount < 0 || record.PrimitiveCount > PrimitivesOf(record.VertexFormat, record.IndexCount))
        return false;
    if (!in.Fits(static_cast<size_t>(record.IndexCount) * 2))
        return false;
    record.Indices.resize(static_cast<size_t>(record.IndexCount));
    for (uint16_t& index : record.Indices) {
        uint8_t b[2];
        in.Bytes(b, 2);
        index = static_cast<uint16_t>(b[0] | b[1] << 8);
        if (index >= record.VertexCount)
            return false;
    }
    const size_t vertexBytes = static_cast<size_t>(record.VertexCount) * static_cast<size_t>(record.VertexStride);
    if (!in.Fits(vertexBytes))
        return false;
    record.Vertices.resize(vertexBytes);
    in.Bytes(record.Vertices.data(), vertexBytes);

    record.Subsets.resize(static_cast<size_t>(in.Count(sizeof(T3D_Subset))));
    for (T3D_Subset& subset : record.Subsets) {
        in.Bytes(&subset, sizeof(T3D_Subset));
        // Subsets are drawn as index ranges: they must lie inside the indices.
        if (subset.First < 0 || subset.Count < 0 ||
            static_cast<int64_t>(subset.First) + subset.Count > record.IndexCount)
            return false;
    }
    if (!in.Ok)
        return false;
    if (record.VertexFormat == MESH_SKINNED && !ReadSkin(in, record.Skin))
        return false;
    return in.Ok;
}

// Walks the records from the start: calls visit with a reader placed after
// each record's name until visit returns false or the walk ends.
template <class TVisit> TMeshFileStatus WalkRecords(const uint8_t* data, size_t size, TVisit&& visit)
{
    if (size == 0)
        return TMeshFileStatus::Empty;
    size_t start = 0;
    for (bool first = true;; first = false) {
        TBoundedReader in(data, size, start);
        const int32_t recordSize = in.Int();
        const std::string name = in.String();
        if (!in.Ok)
            return TMeshFileStatus::BadFormat;
        if (first && name.empty())
            return TMeshFileStatus::Empty;
        switch (visit(in, name)) {
        case 0:
            break;
        case 1:
            return TMeshFileStatus::Ok;
        default:
            return TMeshFileStatus::BadFormat;
        }
        if (recordSize == 0)
            return TMeshFileStatus::NotFound;
        // The next record must start further on, inside the file.
        if (recordSize < 0 || static_cast<size_t>(recordSize) >= size - start)
            return TMeshFileStatus::BadFormat;
        start += static_cast<size_t>(recordSize);
    }
}

} // namespace

int32_t PrimitivesOf(int32_t vertexFormat, int32_t indexCount)
{
    return vertexFormat == MESH_GRID ? indexCount / 2 : indexCount / 3;
}

TMeshFileStatus MeshFileNames(const uint8_t* data, size_t size, TStringArray& names)
{
    names.clear();
    const TMeshFileStatus status = WalkRecords(data, size, [&](TBoundedReader&, const std::string& name) {
        names.push_back(name);
        return 0;
    });
    return status == TMeshFileStatus::NotFound ? TMeshFileStatus::Ok : status;
}

TMeshFileStatus MeshFileFind(const uint8_t* data, size_t size, const std::string& name, TMeshFileRecord& record,
                             bool texturesOnly)
{
    return WalkRecords(data, size, [&](TBoundedReader& in, const std::string& recordName) {
        if (recordName != name)
            return 0;
        record = TMeshFileRecord();
        record.Name = recordName;
        return ReadRecordBody(in, record, texturesOnly) ? 1 : 2;
    });
}
