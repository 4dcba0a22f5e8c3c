// The tangent merge and the weld of the COLLADA import in their plain form,
// every vertex compared with every other, exactly as the steps read. The
// tests hold the table-driven forms of the renderer to these, and the
// benchmark measures both.
#pragma once

#include <vector>

#include "render/QX9_Render_Collada.h"

namespace ColladaLiteral {

inline void MergeTangents(std::vector<TColladaVertex>& vertices)
{
    for (size_t i = 0; i < vertices.size(); i++) {
        T3D_Vertex& v = vertices[i].Vertex;
        TVec3 tangent = v.Tangent, binormal = v.Binormal;
        int found = 0;
        for (size_t j = i + 1; j < vertices.size(); j++)
            if (vertices[j].WeldKey == vertices[i].WeldKey) {
                Vec3Add(tangent, vertices[j].Vertex.Tangent, tangent);
                Vec3Add(binormal, vertices[j].Vertex.Binormal, binormal);
                found++;
            }
        if (found == 0)
            continue;
        Vec3Normalize(tangent, v.Tangent);
        Vec3Normalize(binormal, v.Binormal);
        for (size_t j = i + 1; j < vertices.size(); j++)
            if (vertices[j].WeldKey == vertices[i].WeldKey) {
                vertices[j].Vertex.Tangent = v.Tangent;
                vertices[j].Vertex.Binormal = v.Binormal;
            }
    }
}

inline void Weld(std::vector<TColladaVertex>& vertices, std::vector<int32_t>& indices)
{
    for (int32_t r = static_cast<int32_t>(vertices.size()) - 1; r >= 0; r--) {
        int32_t earlier = -1;
        for (int32_t q = 0; q < r && earlier < 0; q++)
            if (vertices[static_cast<size_t>(q)].WeldKey == vertices[static_cast<size_t>(r)].WeldKey)
                earlier = q;
        if (earlier < 0)
            continue;
        for (int32_t& index : indices)
            if (index == r)
                index = earlier;
        const int32_t last = static_cast<int32_t>(vertices.size()) - 1;
        vertices[static_cast<size_t>(r)] = vertices[static_cast<size_t>(last)];
        for (int32_t& index : indices)
            if (index == last)
                index = r;
        vertices.pop_back();
    }
}

// The corners of a grid of columns x rows quads (two triangles each), three
// a triangle, keyed by their grid point (six corners share an inner point),
// with tangents that differ from corner to corner.
inline void GridCorners(int32_t columns, int32_t rows, std::vector<TColladaVertex>& vertices,
                        std::vector<int32_t>& indices)
{
    vertices.clear();
    indices.clear();
    auto corner = [&](int32_t c, int32_t r) {
        TColladaVertex v;
        const uint32_t point = static_cast<uint32_t>(r * (columns + 1) + c);
        v.WeldKey = point * 2654435761u;
        v.Vertex.Position = {static_cast<float>(c), 0, static_cast<float>(r)};
        v.Vertex.Normal = {0, 1, 0};
        const float wobble = static_cast<float>(vertices.size() % 7) / 10;
        v.Vertex.Tangent = {1, wobble, 0};
        v.Vertex.Binormal = {0, wobble, 1};
        indices.push_back(static_cast<int32_t>(vertices.size()));
        vertices.push_back(v);
    };
    for (int32_t r = 0; r < rows; r++)
        for (int32_t c = 0; c < columns; c++) {
            corner(c, r), corner(c + 1, r), corner(c + 1, r + 1);
            corner(c, r), corner(c + 1, r + 1), corner(c, r + 1);
        }
}

} // namespace ColladaLiteral
