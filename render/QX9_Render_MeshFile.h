// The mesh file (".D3D"): a sequence of named mesh records stored ready for
// the device, with no file header. Each record starts with its size (the
// distance to the next record, 0 in the last one), then the name, the
// textures by stage, the render-state key, the counts, the 16-bit indices,
// the packed vertices, the subsets and, for skinned meshes, the skin.
// Numbers are little-endian; a string is a 32-bit length and that many bytes.
//
// Every read is checked against the file: a size that neither ends the walk
// nor moves forward inside the file, a string or count that does not fit, a
// format outside 1..10, a stride other than the format's, an index past the
// vertices, a subset past the indices or a bone reference past the bones
// makes the file malformed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "render/QX9_Render_Meshes.h"

struct TMeshFileTexture {
    std::string Name;
    uint8_t Clamp = 0;
    int32_t Stage = 0;
};

struct TMeshFileRecord {
    std::string Name;
    std::vector<TMeshFileTexture> Textures;
    TRenderStateKey Key;
    int32_t VertexCount = 0;
    int32_t IndexCount = 0;
    int32_t PrimitiveCount = 0;
    int32_t VertexStride = 0;
    int32_t VertexFormat = 0;
    TWordArray Indices;
    std::vector<uint8_t> Vertices;
    std::vector<T3D_Subset> Subsets;
    T3D_Skin Skin; // read only for format 5
};

enum class TMeshFileStatus {
    Ok,
    NotFound,  // no record has the name
    Empty,     // no record at all, or a first record without a name
    BadFormat, // the file is malformed
};

// The names of all records in file order.
TMeshFileStatus MeshFileNames(const uint8_t* data, size_t size, TStringArray& names);
// Finds the record of that name by following the record sizes and reads it
// whole (texturesOnly: the name and the textures only).
TMeshFileStatus MeshFileFind(const uint8_t* data, size_t size, const std::string& name, TMeshFileRecord& record,
                             bool texturesOnly);

// The geometry of a record and of a mesh have the same fields: copies them
// from one to the other (either way).
template <class TFrom, class TTo> void CopyMeshGeometry(const TFrom& from, TTo& to)
{
    to.Key = from.Key;
    to.VertexCount = from.VertexCount;
    to.IndexCount = from.IndexCount;
    to.PrimitiveCount = from.PrimitiveCount;
    to.VertexStride = from.VertexStride;
    to.VertexFormat = from.VertexFormat;
    to.Indices = from.Indices;
    to.Vertices = from.Vertices;
    to.Subsets = from.Subsets;
    if (from.VertexFormat == MESH_SKINNED)
        to.Skin = from.Skin;
}
