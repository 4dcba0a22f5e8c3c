// Geometry helpers of the landscape art: panels, boxes, roofs, prisms and
// cones gathered into one shape, and the mesh record a shape becomes.
// Faces are wound as the map draws its terrain: counter-clockwise on the
// screen seen from outside (the map's materials cull clockwise faces), so
// every face is given a point or direction that says where outside is.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "render/QX9_Render_Collada.h"
#include "render/QX9_Render_Meshes.h"
#include "tools/MeshFiles.h"

namespace ArtLand {

inline TVec3 Add(const TVec3& a, const TVec3& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

inline TVec3 Sub(const TVec3& a, const TVec3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

inline TVec3 Times(const TVec3& a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}

inline TVec3 Lerp(const TVec3& a, const TVec3& b, float t)
{
    return Add(a, Times(Sub(b, a), t));
}

inline TVec3 CrossOf(const TVec3& a, const TVec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline float DotOf(const TVec3& a, const TVec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline TVec3 Unit(const TVec3& v)
{
    const float length = std::sqrt(DotOf(v, v));
    return length > 0 ? Times(v, 1 / length) : TVec3{0, 1, 0};
}

// A rectangle of a texture atlas and the size in world units that one copy
// of it covers on a panel.
struct TRegion {
    float U0 = 0, V0 = 0, U1 = 1, V1 = 1;
    float Tile = 1;
};

// Cell (column, row) of an atlas of n x n cells, drawn in slightly so that
// the mipmaps of the neighbours do not bleed in.
inline TRegion AtlasCell(int32_t column, int32_t row, int32_t n, float tile, float inset = 0.004f)
{
    const float size = 1.0f / static_cast<float>(n);
    return {static_cast<float>(column) * size + inset, static_cast<float>(row) * size + inset,
            static_cast<float>(column + 1) * size - inset, static_cast<float>(row + 1) * size - inset, tile};
}

// The region shown once over a whole panel, however large.
inline TRegion Once(TRegion r)
{
    r.Tile = 1e6f;
    return r;
}

// A sub-rectangle of a region, fractions of its width and height.
inline TRegion Part(const TRegion& r, float u0, float v0, float u1, float v1)
{
    const float w = r.U1 - r.U0, h = r.V1 - r.V0;
    return {r.U0 + w * u0, r.V0 + h * v0, r.U0 + w * u1, r.V0 + h * v1, r.Tile};
}

struct TShape {
    T3D_VertexArray Vertices;
    TWordArray Indices;

    uint16_t Put(const TVec3& p, const TVec3& n, float u, float v)
    {
        T3D_Vertex vertex;
        vertex.Position = p;
        vertex.Normal = n;
        vertex.U = u;
        vertex.V = v;
        vertex.Color = 0xFFFFFFFFu;
        Vertices.push_back(vertex);
        return static_cast<uint16_t>(Vertices.size() - 1);
    }

    // A triangle facing away from the point inside.
    void Tri(const TVec3& a, const TVec3& b, const TVec3& c, float ua, float va, float ub, float vb, float uc, float vc,
             const TVec3& inside)
    {
        TVec3 g = CrossOf(Sub(b, a), Sub(c, a));
        const TVec3 centre = Times(Add(Add(a, b), c), 1.0f / 3);
        const bool flip = DotOf(g, Sub(centre, inside)) > 0;
        if (flip)
            g = Times(g, -1);
        const TVec3 n = Unit(Times(g, -1));
        const uint16_t ia = Put(a, n, ua, va), ib = Put(b, n, ub, vb), ic = Put(c, n, uc, vc);
        Indices.insert(Indices.end(), {ia, flip ? ic : ib, flip ? ib : ic});
    }

    // A quad p0..p3 (bottom left, bottom right, top right, top left seen
    // from outside) showing the whole region once.
    void Quad(const TVec3& p0, const TVec3& p1, const TVec3& p2, const TVec3& p3, const TRegion& r, const TVec3& inside)
    {
        TVec3 g = CrossOf(Sub(p1, p0), Sub(p2, p0));
        const TVec3 centre = Times(Add(Add(p0, p1), Add(p2, p3)), 0.25f);
        const bool flip = DotOf(g, Sub(centre, inside)) > 0;
        if (flip)
            g = Times(g, -1);
        const TVec3 n = Unit(Times(g, -1));
        const uint16_t a = Put(p0, n, r.U0, r.V1), b = Put(p1, n, r.U1, r.V1);
        const uint16_t c = Put(p2, n, r.U1, r.V0), d = Put(p3, n, r.U0, r.V0);
        if (flip)
            Indices.insert(Indices.end(), {a, c, b, a, d, c});
        else
            Indices.insert(Indices.end(), {a, b, c, a, c, d});
    }

    // The same quad covered by copies of the region, one per Tile units.
    void Panel(const TVec3& p0, const TVec3& p1, const TVec3& p2, const TVec3& p3, const TRegion& r,
               const TVec3& inside)
    {
        const float across = std::sqrt(DotOf(Sub(p1, p0), Sub(p1, p0)));
        const float up = std::sqrt(DotOf(Sub(p3, p0), Sub(p3, p0)));
        const int32_t nu = std::max(1, static_cast<int32_t>(std::lround(across / r.Tile)));
        const int32_t nv = std::max(1, static_cast<int32_t>(std::lround(up / r.Tile)));
        for (int32_t j = 0; j < nv; j++)
            for (int32_t i = 0; i < nu; i++) {
                const float s0 = static_cast<float>(i) / nu, s1 = static_cast<float>(i + 1) / nu;
                const float t0 = static_cast<float>(j) / nv, t1 = static_cast<float>(j + 1) / nv;
                auto at = [&](float s, float t) { return Lerp(Lerp(p0, p1, s), Lerp(p3, p2, s), t); };
                Quad(at(s0, t0), at(s1, t0), at(s1, t1), at(s0, t1), r, inside);
            }
    }

    // A box over x0..x1, z0..z1, y0..y1 with walls of one region and,
    // when given, a top of another.
    void Box(float x0, float z0, float x1, float z1, float y0, float y1, const TRegion& wall,
             const TRegion* top = nullptr)
    {
        const TVec3 inside = {(x0 + x1) / 2, (y0 + y1) / 2, (z0 + z1) / 2};
        const TVec3 c[4] = {{x0, 0, z0}, {x1, 0, z0}, {x1, 0, z1}, {x0, 0, z1}};
        for (int32_t i = 0; i < 4; i++) {
            const TVec3& a = c[i];
            const TVec3& b = c[(i + 1) % 4];
            Panel({a.x, y0, a.z}, {b.x, y0, b.z}, {b.x, y1, b.z}, {a.x, y1, a.z}, wall, inside);
        }
        if (top != nullptr)
            Panel({x0, y1, z0}, {x1, y1, z0}, {x1, y1, z1}, {x0, y1, z1}, *top, inside);
    }

    // A roof with its ridge along x (alongX) or z over the rectangle, eaves
    // at yEave, ridge at yRidge, gable ends in the wall region.
    void GableRoof(float x0, float z0, float x1, float z1, float yEave, float yRidge, bool alongX, const TRegion& roof,
                   const TRegion& gable)
    {
        const TVec3 inside = {(x0 + x1) / 2, yEave, (z0 + z1) / 2};
        if (alongX) {
            const float zm = (z0 + z1) / 2;
            Panel({x0, yEave, z0}, {x1, yEave, z0}, {x1, yRidge, zm}, {x0, yRidge, zm}, roof, inside);
            Panel({x1, yEave, z1}, {x0, yEave, z1}, {x0, yRidge, zm}, {x1, yRidge, zm}, roof, inside);
            GableEnd({x0, yEave, z0}, {x0, yEave, z1}, {x0, yRidge, zm}, gable, inside);
            GableEnd({x1, yEave, z0}, {x1, yEave, z1}, {x1, yRidge, zm}, gable, inside);
        } else {
            const float xm = (x0 + x1) / 2;
            Panel({x1, yEave, z0}, {x1, yEave, z1}, {xm, yRidge, z1}, {xm, yRidge, z0}, roof, inside);
            Panel({x0, yEave, z1}, {x0, yEave, z0}, {xm, yRidge, z0}, {xm, yRidge, z1}, roof, inside);
            GableEnd({x0, yEave, z0}, {x1, yEave, z0}, {xm, yRidge, z0}, gable, inside);
            GableEnd({x0, yEave, z1}, {x1, yEave, z1}, {xm, yRidge, z1}, gable, inside);
        }
    }

    void GableEnd(const TVec3& a, const TVec3& b, const TVec3& apex, const TRegion& r, const TVec3& inside)
    {
        Tri(a, b, apex, r.U0, r.V1, r.U1, r.V1, (r.U0 + r.U1) / 2, r.V0, inside);
    }

    // A four-sided pyramid over the rectangle.
    void Pyramid(float x0, float z0, float x1, float z1, float yBase, float yTop, const TRegion& r)
    {
        const TVec3 apex = {(x0 + x1) / 2, yTop, (z0 + z1) / 2};
        const TVec3 inside = {apex.x, yBase, apex.z};
        const TVec3 c[4] = {{x0, yBase, z0}, {x1, yBase, z0}, {x1, yBase, z1}, {x0, yBase, z1}};
        for (int32_t i = 0; i < 4; i++)
            Tri(c[i], c[(i + 1) % 4], apex, r.U0, r.V1, r.U1, r.V1, (r.U0 + r.U1) / 2, r.V0, inside);
    }

    // An upright prism of n sides around (x, z), radius r (to the corners),
    // from y0 to y1; a top cap in the cap region when given.
    void Prism(float x, float z, float radius, float y0, float y1, int32_t n, const TRegion& wall,
               const TRegion* cap = nullptr, float turn = 0)
    {
        const TVec3 inside = {x, (y0 + y1) / 2, z};
        for (int32_t i = 0; i < n; i++) {
            const float a0 = turn + 6.2831853f * static_cast<float>(i) / static_cast<float>(n);
            const float a1 = turn + 6.2831853f * static_cast<float>(i + 1) / static_cast<float>(n);
            const TVec3 p = {x + radius * std::cos(a0), 0, z + radius * std::sin(a0)};
            const TVec3 q = {x + radius * std::cos(a1), 0, z + radius * std::sin(a1)};
            Panel({p.x, y0, p.z}, {q.x, y0, q.z}, {q.x, y1, q.z}, {p.x, y1, p.z}, wall, inside);
            if (cap != nullptr) {
                const TRegion& c = *cap;
                const float cu = (c.U0 + c.U1) / 2, cv = (c.V0 + c.V1) / 2, hu = (c.U1 - c.U0) / 2,
                            hv = (c.V1 - c.V0) / 2;
                Tri({x, y1, z}, {p.x, y1, p.z}, {q.x, y1, q.z}, cu, cv, cu + hu * std::cos(a0), cv + hv * std::sin(a0),
                    cu + hu * std::cos(a1), cv + hv * std::sin(a1), {x, y1 - 1, z});
            }
        }
    }

    // A cone of n sides from the ring at yBase to the apex at yTop.
    void Cone(float x, float z, float radius, float yBase, float yTop, int32_t n, const TRegion& r, float turn = 0)
    {
        const TVec3 apex = {x, yTop, z};
        for (int32_t i = 0; i < n; i++) {
            const float a0 = turn + 6.2831853f * static_cast<float>(i) / static_cast<float>(n);
            const float a1 = turn + 6.2831853f * static_cast<float>(i + 1) / static_cast<float>(n);
            Tri({x + radius * std::cos(a0), yBase, z + radius * std::sin(a0)},
                {x + radius * std::cos(a1), yBase, z + radius * std::sin(a1)}, apex, r.U0, r.V1, r.U1, r.V1,
                (r.U0 + r.U1) / 2, r.V0, {x, yBase, z});
        }
    }

    // A flat rectangle at height y facing up (footprints, entrances,
    // ground patches).
    void Flat(float x0, float z0, float x1, float z1, float y, const TRegion& r)
    {
        Quad({x0, y, z0}, {x1, y, z0}, {x1, y, z1}, {x0, y, z1}, r, {(x0 + x1) / 2, y - 1, (z0 + z1) / 2});
    }

    // Appends another shape turned about y by angle and moved by (dx, dy, dz).
    void Append(const TShape& part, float dx, float dz, float angle = 0, float dy = 0)
    {
        const float c = std::cos(angle), s = std::sin(angle);
        auto turn = [&](const TVec3& v) { return TVec3{v.x * c - v.z * s, v.y, v.x * s + v.z * c}; };
        const uint16_t base = static_cast<uint16_t>(Vertices.size());
        for (T3D_Vertex v : part.Vertices) {
            v.Position = Add(turn(v.Position), {dx, dy, dz});
            v.Normal = turn(v.Normal);
            Vertices.push_back(v);
        }
        for (uint16_t i : part.Indices)
            Indices.push_back(static_cast<uint16_t>(base + i));
    }
};

// The mesh record of a shape in a vertex format, through the renderer's own
// packing: tangents as the COLLADA reader makes them (crown fields for tree
// formats), every vertex white.
inline TMeshFileRecord MakeRecord(T3D_Render& render, const std::string& name, int32_t format, const TShape& shape,
                                  const std::vector<TMeshFileTexture>& textures, const T3D_Skin* skin = nullptr)
{
    std::vector<TColladaVertex> vertices(shape.Vertices.size());
    for (size_t i = 0; i < vertices.size(); i++) {
        vertices[i].Vertex = shape.Vertices[i];
        vertices[i].WeldKey = static_cast<uint32_t>(i);
    }
    const std::vector<int32_t> indices(shape.Indices.begin(), shape.Indices.end());
    const bool plant = format == MESH_TREECOMA || format == MESH_GRASS;
    ColladaTangentPass(vertices, indices, format, plant ? 2 : 1);
    T3D_VertexArray packed(vertices.size());
    for (size_t i = 0; i < vertices.size(); i++) {
        packed[i] = vertices[i].Vertex;
        packed[i].Color = 0xFFFFFFFFu;
    }
    T3D_Mesh mesh(&render, name, format, 1);
    mesh.ImportGeometry(packed, shape.Indices);
    if (skin != nullptr)
        mesh.Skin = *skin;
    return MeshFiles::RecordOf(mesh, textures);
}

} // namespace ArtLand
