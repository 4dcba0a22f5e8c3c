// COLLADA import: the tangent pass over the generated vertices, the merge of
// tangents across vertices of one weld key, and the weld. Both of the last
// two compare every vertex with every other in their plain form; here they
// go through a table keyed by the weld key and keep the plain form's result
// exactly (the same survivors in the same slots, the same sums in the same
// order).
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "render/QX9_Render_Collada.h"

namespace {

constexpr float PiF = 3.14159265358979323846f;

TVec3 Sub(const TVec3& a, const TVec3& b)
{
    TVec3 out;
    Vec3Sub(a, b, out);
    return out;
}

TVec3 Normalised(const TVec3& v)
{
    TVec3 out;
    Vec3Normalize(v, out);
    return out;
}

TVec3 Cross(const TVec3& a, const TVec3& b)
{
    TVec3 out;
    Vec3Cross(a, b, out);
    return out;
}

// Turns v about the axis by the angle, counter-clockwise seen from the
// axis's tip. MatrixRotationAxis turns the other way; the corner tangents
// need this sense to come out along the texture's u direction at every
// corner of a surface.
TVec3 RotatedAbout(const TVec3& v, const TVec3& axis, float angle)
{
    TMatrix4 m;
    MatrixRotationAxis(m, axis, -angle);
    TVec3 out;
    Vec3TransformCoord(v, m, out);
    return out;
}

// The tangent and binormal of corner P of the triangle P, Q1, Q2.
void CornerTangent(T3D_Vertex& p, const T3D_Vertex& q1, const T3D_Vertex& q2)
{
    const TVec3 e1 = Sub(q1.Position, p.Position);
    const TVec3 e2 = Sub(q2.Position, p.Position);
    if (Vec3Length(e1) < 0.0001f || Vec3Length(e2) < 0.0001f) {
        p.Tangent = {0, 0, 0};
        p.Binormal = {0, 0, 0};
        return;
    }
    const TVec3& n = p.Normal;
    TVec3 f = Normalised(Cross(e1, e2));
    if (Vec3Dot(f, n) < 0)
        Vec3Scale(f, -1, f);
    float theta = -ArcTan2F(q1.V - p.V, q1.U - p.U);
    if (std::fabs(q1.U - p.U) < 0.000001f)
        theta = q1.V > p.V ? -PiF / 2 : PiF / 2;
    const float s = (p.U - q1.U) * (p.V - q2.V) - (p.V - q1.V) * (p.U - q2.U);
    if (s > 0)
        theta = -theta;
    const TVec3 tangent = Normalised(RotatedAbout(Normalised(e1), f, theta));
    const TVec3 binormal = Normalised(RotatedAbout(tangent, f, s > 0 ? -PiF / 2 : PiF / 2));
    p.Tangent = tangent;
    p.Binormal = binormal;
    const float facing = Vec3Dot(f, n);
    if (facing < 0.999999f) {
        const float alpha = ArcCosF(facing);
        const TVec3 axis = Normalised(Cross(f, n));
        p.Tangent = Normalised(RotatedAbout(tangent, axis, -alpha));
        p.Binormal = Normalised(RotatedAbout(binormal, axis, -alpha));
        const float check = Vec3Dot(Cross(p.Tangent, p.Binormal), n);
        if (check > -0.999999f && check < 0.999999f) {
            p.Tangent = Normalised(RotatedAbout(tangent, axis, alpha));
            p.Binormal = Normalised(RotatedAbout(binormal, axis, alpha));
        }
    }
}

uint8_t RoundedByte(long double x)
{
    const long double r = std::nearbyintl(x);
    if (!(r >= 0.0L))
        return 0;
    return r > 255.0L ? 255 : static_cast<uint8_t>(r);
}

// The vertices of each weld key, in vertex order.
std::vector<std::vector<int32_t>> KeyGroups(const std::vector<TColladaVertex>& vertices)
{
    std::unordered_map<uint32_t, int32_t> groupOf;
    groupOf.reserve(vertices.size());
    std::vector<std::vector<int32_t>> groups;
    for (size_t i = 0; i < vertices.size(); i++) {
        auto [it, added] = groupOf.try_emplace(vertices[i].WeldKey, static_cast<int32_t>(groups.size()));
        if (added)
            groups.emplace_back();
        groups[static_cast<size_t>(it->second)].push_back(static_cast<int32_t>(i));
    }
    return groups;
}

bool Long(const TVec3& v)
{
    return Vec3Length(v) > 0.5f;
}

bool Short(const TVec3& v)
{
    return Vec3Length(v) < 0.5f;
}

} // namespace

void ColladaTangentPass(std::vector<TColladaVertex>& vertices, const std::vector<int32_t>& indices,
                        int32_t vertexFormat, uint8_t tangents)
{
    int32_t mode = tangents;
    if (mode == 2 && vertexFormat == MESH_TREECOMA)
        mode = 4;
    else if (mode == 2 && vertexFormat == MESH_GRASS)
        mode = 5;
    if (vertices.empty())
        return;

    TVec3 low = vertices[0].Vertex.Position, high = low;
    for (TColladaVertex& v : vertices) {
        const TVec3& p = v.Vertex.Position;
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
        v.Vertex.Color = 0;
    }
    TVec3 centre = {(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
    float radius = 0;
    for (const TColladaVertex& v : vertices) {
        const float dx = v.Vertex.Position.x - centre.x, dz = v.Vertex.Position.z - centre.z;
        radius = std::max(radius, std::sqrt(dx * dx + dz * dz));
    }

    if (mode == 4 || mode == 5) {
        if (mode == 5)
            centre.y = 0;
        const float top = high.y - centre.y;
        for (TColladaVertex& cv : vertices) {
            T3D_Vertex& v = cv.Vertex;
            const TVec3 d = Sub(v.Position, centre);
            if (d.x != 0 || d.y != 0 || d.z != 0) {
                // A crown without height has level normals (no division by 0).
                const float y = top != 0 ? radius * d.y / top : 0;
                v.Normal = Normalised({d.x, y, d.z});
            } else {
                v.Normal = {0, 1, 0};
            }
            if (std::fabs(v.Normal.y) < 0.9999f) {
                v.Tangent = Normalised({-v.Normal.z, 0, v.Normal.x});
                v.Binormal = Normalised(Cross(v.Normal, v.Tangent));
                if (v.Binormal.y > 0)
                    Vec3Scale(v.Binormal, -1, v.Binormal);
            } else {
                v.Tangent = {0, 0, v.Normal.y > 0 ? 1.0f : -1.0f};
                v.Binormal = {1, 0, 0};
            }
        }
    } else {
        for (size_t t = 0; t + 2 < indices.size(); t += 3) {
            T3D_Vertex& a = vertices[static_cast<size_t>(indices[t])].Vertex;
            T3D_Vertex& b = vertices[static_cast<size_t>(indices[t + 1])].Vertex;
            T3D_Vertex& c = vertices[static_cast<size_t>(indices[t + 2])].Vertex;
            CornerTangent(c, b, a);
            CornerTangent(b, a, c);
            CornerTangent(a, c, b);
        }
    }

    if (vertexFormat == MESH_TREECOMA) {
        const float height = high.y - low.y;
        for (TColladaVertex& cv : vertices) {
            T3D_Vertex& v = cv.Vertex;
            v.E[0] = radius;
            v.E[1] = height;
            // A flat or pointlike crown sits in the middle of its range.
            v.B[0] =
                radius != 0 ? RoundedByte((static_cast<long double>(v.Position.x - centre.x) / radius + 1) * 127) : 127;
            v.B[1] =
                radius != 0 ? RoundedByte((static_cast<long double>(v.Position.z - centre.z) / radius + 1) * 127) : 127;
            v.B[2] = height != 0 ? RoundedByte(static_cast<long double>(v.Position.y - low.y) * 255 / height) : 0;
            v.B[3] = 51;
        }
    } else if (vertexFormat == MESH_GRASS) {
        for (TColladaVertex& cv : vertices)
            cv.Vertex.B[1] = 51;
    }

    if (mode == 3) {
        // A corner without a usable tangent takes the one of the last vertex
        // of its key that has one.
        std::unordered_map<uint32_t, int32_t> lastGood;
        for (size_t i = 0; i < vertices.size(); i++)
            if (Long(vertices[i].Vertex.Tangent) && Long(vertices[i].Vertex.Binormal))
                lastGood[vertices[i].WeldKey] = static_cast<int32_t>(i);
        for (TColladaVertex& cv : vertices) {
            if (!Short(cv.Vertex.Tangent) || !Short(cv.Vertex.Binormal))
                continue;
            auto it = lastGood.find(cv.WeldKey);
            if (it == lastGood.end())
                continue;
            const T3D_Vertex& from = vertices[static_cast<size_t>(it->second)].Vertex;
            cv.Vertex.Tangent = from.Tangent;
            cv.Vertex.Binormal = from.Binormal;
        }
    }
    ColladaMergeTangents(vertices);
}

void ColladaMergeTangents(std::vector<TColladaVertex>& vertices)
{
    for (const std::vector<int32_t>& group : KeyGroups(vertices)) {
        for (size_t p = 0; p + 1 < group.size(); p++) {
            T3D_Vertex& first = vertices[static_cast<size_t>(group[p])].Vertex;
            TVec3 tangent = first.Tangent, binormal = first.Binormal;
            for (size_t q = p + 1; q < group.size(); q++) {
                const T3D_Vertex& later = vertices[static_cast<size_t>(group[q])].Vertex;
                Vec3Add(tangent, later.Tangent, tangent);
                Vec3Add(binormal, later.Binormal, binormal);
            }
            first.Tangent = Normalised(tangent);
            first.Binormal = Normalised(binormal);
            for (size_t q = p + 1; q < group.size(); q++) {
                T3D_Vertex& later = vertices[static_cast<size_t>(group[q])].Vertex;
                later.Tangent = first.Tangent;
                later.Binormal = first.Binormal;
            }
        }
    }
}

void ColladaWeld(std::vector<TColladaVertex>& vertices, std::vector<int32_t>& indices)
{
    const int32_t count = static_cast<int32_t>(vertices.size());
    // Walking down from the last vertex, the slots below the current one
    // still hold their own vertices: the lowest earlier vertex of a key is
    // its first vertex overall.
    std::unordered_map<uint32_t, int32_t> firstOf;
    firstOf.reserve(vertices.size());
    for (int32_t i = 0; i < count; i++)
        firstOf.try_emplace(vertices[static_cast<size_t>(i)].WeldKey, i);
    std::vector<int32_t> mergedInto(static_cast<size_t>(count), -1);
    std::vector<int32_t> slotOf(static_cast<size_t>(count)), vertexAt(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; i++)
        slotOf[static_cast<size_t>(i)] = vertexAt[static_cast<size_t>(i)] = i;
    int32_t last = count - 1;
    for (int32_t r = count - 1; r >= 0; r--) {
        const int32_t first = firstOf[vertices[static_cast<size_t>(r)].WeldKey];
        if (first >= r)
            continue;
        mergedInto[static_cast<size_t>(r)] = first;
        const int32_t moved = vertexAt[static_cast<size_t>(last)];
        vertexAt[static_cast<size_t>(r)] = moved;
        slotOf[static_cast<size_t>(moved)] = r;
        last--;
    }
    for (int32_t& index : indices) {
        int32_t vertex = index;
        if (mergedInto[static_cast<size_t>(vertex)] >= 0)
            vertex = mergedInto[static_cast<size_t>(vertex)];
        index = slotOf[static_cast<size_t>(vertex)];
    }
    std::vector<TColladaVertex> kept(static_cast<size_t>(last + 1));
    for (int32_t s = 0; s <= last; s++)
        kept[static_cast<size_t>(s)] = vertices[static_cast<size_t>(vertexAt[static_cast<size_t>(s)])];
    vertices = std::move(kept);
}
