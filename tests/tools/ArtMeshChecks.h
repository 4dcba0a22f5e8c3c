// Checks the art tests make on generated meshes as the renderer holds them.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/QX9_Math.h"
#include "render/QX9_Render_Meshes.h"

// The position of vertex v of a mesh.
inline TVec3 PositionOf(const T3D_Mesh& mesh, int32_t v)
{
    TVec3 p;
    std::memcpy(&p, &mesh.Vertices[static_cast<size_t>(v * mesh.VertexStride)], sizeof(p));
    return p;
}

// How many triangles of a normal-mapped or skinned mesh turn their back to
// their own normals: the map and the arena cull clockwise faces, so a face
// seen from outside must run counter-clockwise on the screen, as the
// terrain's do.
inline int32_t FacesWoundInward(const T3D_Mesh& mesh)
{
    int32_t wrong = 0;
    for (int32_t t = 0; t + 2 < mesh.IndexCount; t += 3) {
        const TVec3 a = PositionOf(mesh, mesh.Indices[t]), b = PositionOf(mesh, mesh.Indices[t + 1]),
                    c = PositionOf(mesh, mesh.Indices[t + 2]);
        const uint8_t* packed = &mesh.Vertices[static_cast<size_t>(mesh.Indices[t] * mesh.VertexStride + 12)];
        TVec3 n;
        UnpackNormal(packed[0], packed[1], packed[2], n);
        const TVec3 e1 = {b.x - a.x, b.y - a.y, b.z - a.z}, e2 = {c.x - a.x, c.y - a.y, c.z - a.z};
        const TVec3 g = {e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
        if (g.x * n.x + g.y * n.y + g.z * n.z >= 0)
            wrong++;
    }
    return wrong;
}
