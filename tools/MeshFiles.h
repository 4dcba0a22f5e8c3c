// The writer of ".D3D" mesh files, for the tool that makes the sample
// meshes and for the tests' fixtures (the program itself only reads them).
// Records are written as the reader expects them: each starts with the
// distance to the next record, the last one with 0.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "render/QX9_Render_MeshFile.h"
#include "render/QX9_Render_Meshes.h"

namespace MeshFiles {

inline void PutInt(std::vector<uint8_t>& out, int32_t v)
{
    const uint32_t u = static_cast<uint32_t>(v);
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(u >> shift));
}

inline void PutString(std::vector<uint8_t>& out, const std::string& text)
{
    PutInt(out, static_cast<int32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

inline void PutBytes(std::vector<uint8_t>& out, const void* data, size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

inline void PutMatrix(std::vector<uint8_t>& out, const TMatrix4& m)
{
    PutBytes(out, m.e, sizeof(m.e));
}

// One record without its leading size.
inline std::vector<uint8_t> RecordBody(const TMeshFileRecord& r)
{
    std::vector<uint8_t> out;
    PutString(out, r.Name);
    PutInt(out, static_cast<int32_t>(r.Textures.size()));
    for (const TMeshFileTexture& texture : r.Textures) {
        PutString(out, texture.Name);
        out.push_back(texture.Clamp);
        PutInt(out, texture.Stage);
    }
    PutInt(out, static_cast<int32_t>(r.Key.Mask));
    PutInt(out, static_cast<int32_t>(r.Key.Value));
    PutInt(out, r.VertexCount);
    PutInt(out, r.IndexCount);
    PutInt(out, r.PrimitiveCount);
    PutInt(out, r.VertexStride);
    PutInt(out, r.VertexFormat);
    for (uint16_t index : r.Indices) {
        out.push_back(static_cast<uint8_t>(index));
        out.push_back(static_cast<uint8_t>(index >> 8));
    }
    PutBytes(out, r.Vertices.data(), r.Vertices.size());
    PutInt(out, static_cast<int32_t>(r.Subsets.size()));
    for (const T3D_Subset& subset : r.Subsets)
        PutBytes(out, &subset, sizeof(subset));
    if (r.VertexFormat == MESH_SKINNED) {
        const T3D_Skin& skin = r.Skin;
        PutInt(out, skin.RootBone);
        PutMatrix(out, skin.BindShape);
        PutInt(out, static_cast<int32_t>(skin.Bones.size()));
        for (const T3D_Bone& bone : skin.Bones) {
            PutString(out, bone.Name);
            PutString(out, bone.NodeName);
            PutInt(out, bone.Parent);
            PutMatrix(out, bone.InverseBind);
            PutInt(out, static_cast<int32_t>(bone.Tracks.size()));
            for (const T3D_Track& track : bone.Tracks) {
                PutInt(out, static_cast<int32_t>(track.Times.size()));
                PutBytes(out, track.Times.data(), track.Times.size() * sizeof(float));
                PutInt(out, static_cast<int32_t>(track.Keys.size()));
                PutBytes(out, track.Keys.data(), track.Keys.size() * sizeof(TMatrix4));
                PutMatrix(out, track.Matrix);
            }
        }
        PutInt(out, static_cast<int32_t>(skin.Clips.size()));
        for (const T3D_Clip& clip : skin.Clips) {
            PutString(out, clip.Name);
            PutInt(out, clip.FrameCount);
        }
    }
    return out;
}

inline std::vector<uint8_t> MakeMeshFile(const std::vector<TMeshFileRecord>& records)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < records.size(); i++) {
        const std::vector<uint8_t> body = RecordBody(records[i]);
        PutInt(out, i + 1 == records.size() ? 0 : static_cast<int32_t>(body.size() + 4));
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

// The record of a mesh as it stands (its data must be kept).
inline TMeshFileRecord RecordOf(const T3D_Mesh& mesh, const std::vector<TMeshFileTexture>& textures)
{
    TMeshFileRecord r;
    r.Name = mesh.Name;
    r.Textures = textures;
    CopyMeshGeometry(mesh, r);
    return r;
}

} // namespace MeshFiles
