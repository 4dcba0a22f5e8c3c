// A writer of COLLADA files in the form the importer reads (source ids with
// "positions", "normals", "map1" or "Position", "Normal0"-style inputs, joint
// nodes whose sid holds "joint", animation sources "<node>_matrix-input" and
// "-output"), for the sample installation's models, the tests and the
// benchmarks.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "engine/QX9_Math.h"

namespace ColladaFiles {

struct TGeometry {
    std::string Name;
    std::vector<TVec3> Positions;
    std::vector<TVec3> Normals;
    std::vector<TVec2> TexCoords;
    // Per corner: position, normal and texture-coordinate index; three
    // corners a triangle.
    std::vector<std::array<int32_t, 3>> Corners;
    bool Polygons = false; // one "polygons" primitive, else "triangles"
    bool DoubleSided = false;
    std::string Material; // bound in the scene when not empty
};

struct TJoint {
    std::string Name;     // the sid (the root's holds "joint")
    std::string NodeName; // the node's name
    int32_t Parent = -1;
    TMatrix4 InverseBind = IdentityMatrix;
    TMatrix4 Rest = IdentityMatrix;
};

struct TSkin {
    std::string Geometry;
    TMatrix4 BindShape = IdentityMatrix;
    std::vector<TJoint> Joints;
    // Per position index: (joint, weight) pairs.
    std::vector<std::vector<std::pair<int32_t, float>>> Influences;
};

struct TTrack {
    std::string NodeName;
    std::vector<float> Times; // seconds
    std::vector<TMatrix4> Keys;
};

struct TMaterial {
    std::string Id;    // the material
    std::string Image; // the image's id; the sampler is "<image>-sampler"
    std::string File;  // the image's init_from
};

struct TDocument {
    std::string UpAxis = "Y_UP";
    std::vector<TGeometry> Geometries;
    std::vector<TSkin> Skins;
    std::string AnimationId = "Take"; // the id of the one animation element
    std::vector<TTrack> Animation;
    std::vector<TMaterial> Materials;
};

inline std::string Number(float value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.9g", static_cast<double>(value));
    return text;
}

inline void Numbers(std::string& out, const float* values, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        if (i > 0)
            out += ' ';
        out += Number(values[i]);
    }
}

inline std::string FloatSource(const std::string& id, const std::vector<float>& values, int32_t stride)
{
    std::string out = "<source id=\"" + id + "\"><float_array id=\"" + id + "-array\" count=\"" +
                      std::to_string(values.size()) + "\">";
    Numbers(out, values.data(), values.size());
    out += "</float_array><technique_common><accessor source=\"#" + id + "-array\" count=\"" +
           std::to_string(stride > 0 ? values.size() / static_cast<size_t>(stride) : 0) + "\" stride=\"" +
           std::to_string(stride) + "\"/></technique_common></source>\n";
    return out;
}

inline std::string GeometryXml(const TGeometry& g)
{
    std::vector<float> positions, normals, texCoords;
    for (const TVec3& p : g.Positions)
        positions.insert(positions.end(), {p.x, p.y, p.z});
    for (const TVec3& n : g.Normals)
        normals.insert(normals.end(), {n.x, n.y, n.z});
    for (const TVec2& t : g.TexCoords)
        texCoords.insert(texCoords.end(), {t.x, t.y});
    // The two exporter styles name their sources differently.
    const std::string p = g.Polygons ? "-Position" : "-positions";
    const std::string n = g.Polygons ? "-Normal0" : "-normals";
    const std::string t = g.Polygons ? "-UV0" : "-map1";
    std::string out = "<geometry id=\"" + g.Name + "-lib\" name=\"" + g.Name + "\"><mesh>\n";
    out += FloatSource(g.Name + p, positions, 3);
    out += FloatSource(g.Name + n, normals, 3);
    out += FloatSource(g.Name + t, texCoords, 2);
    const std::string material = g.Material.empty() ? "" : " material=\"" + g.Material + "\"";
    const std::string count = std::to_string(g.Corners.size() / 3);
    if (g.Polygons) {
        out += "<polygons count=\"" + count + "\"" + material + ">";
        out += "<input semantic=\"VERTEX\" source=\"#" + g.Name + "-Vertex\" offset=\"0\"/>";
        out += "<input semantic=\"NORMAL\" source=\"#" + g.Name + "-Normal0\" offset=\"1\"/>";
        out += "<input semantic=\"TEXCOORD\" source=\"#" + g.Name + "-UV0\" offset=\"2\"/>\n";
        for (size_t c = 0; c + 2 < g.Corners.size(); c += 3) {
            out += "<p>";
            for (size_t k = 0; k < 3; k++) {
                const auto& corner = g.Corners[c + k];
                out += (k > 0 ? " " : "") + std::to_string(corner[0]) + " " + std::to_string(corner[1]) + " " +
                       std::to_string(corner[2]);
            }
            out += "</p>\n";
        }
        out += "</polygons>\n";
    } else {
        out += "<triangles count=\"" + count + "\"" + material + ">";
        out += "<input semantic=\"VERTEX\" source=\"#" + g.Name + "-vertices\" offset=\"0\"/>";
        out += "<input semantic=\"NORMAL\" source=\"#" + g.Name + "-normals\" offset=\"1\"/>";
        out += "<input semantic=\"TEXCOORD\" source=\"#" + g.Name + "-map1\" offset=\"2\"/>\n<p>";
        std::string p;
        p.reserve(g.Corners.size() * 18);
        for (size_t c = 0; c < g.Corners.size(); c++) {
            if (c > 0)
                p += ' ';
            p += std::to_string(g.Corners[c][0]) + " " + std::to_string(g.Corners[c][1]) + " " +
                 std::to_string(g.Corners[c][2]);
        }
        out += p + "</p></triangles>\n";
    }
    out += "</mesh>";
    if (g.DoubleSided)
        out += "<extra><technique profile=\"MAX3D\"><double_sided>1</double_sided></technique></extra>";
    out += "</geometry>\n";
    return out;
}

inline std::string MatrixText(const TMatrix4& m)
{
    std::string out;
    Numbers(out, m.e, 16);
    return out;
}

inline std::string SkinXml(const TSkin& s)
{
    std::string out = "<controller id=\"" + s.Geometry + "-skin\"><skin source=\"#" + s.Geometry + "\">";
    out += "<bind_shape_matrix>" + MatrixText(s.BindShape) + "</bind_shape_matrix>\n";
    out +=
        "<source id=\"" + s.Geometry + "-skin-joints\"><Name_array count=\"" + std::to_string(s.Joints.size()) + "\">";
    for (size_t j = 0; j < s.Joints.size(); j++)
        out += (j > 0 ? " " : "") + s.Joints[j].Name;
    out += "</Name_array></source>\n";
    std::vector<float> poses, weights;
    for (const TJoint& joint : s.Joints)
        poses.insert(poses.end(), joint.InverseBind.e, joint.InverseBind.e + 16);
    std::string counts, pairs;
    for (const auto& list : s.Influences) {
        counts += (counts.empty() ? "" : " ") + std::to_string(list.size());
        for (const auto& [joint, weight] : list) {
            pairs += (pairs.empty() ? "" : " ") + std::to_string(joint) + " " + std::to_string(weights.size());
            weights.push_back(weight);
        }
    }
    out += FloatSource(s.Geometry + "-skin-bind_poses", poses, 16);
    out += FloatSource(s.Geometry + "-skin-weights", weights, 1);
    out += "<vertex_weights count=\"" + std::to_string(s.Influences.size()) +
           "\"><input semantic=\"JOINT\" source=\"#" + s.Geometry +
           "-skin-joints\" offset=\"0\"/><input semantic=\"WEIGHT\" source=\"#" + s.Geometry +
           "-skin-weights\" offset=\"1\"/>";
    out += "<vcount>" + counts + "</vcount><v>" + pairs + "</v></vertex_weights></skin></controller>\n";
    return out;
}

inline std::string JointNode(const TSkin& s, int32_t joint)
{
    const TJoint& j = s.Joints[static_cast<size_t>(joint)];
    std::string out = "<node id=\"" + j.NodeName + "\" name=\"" + j.NodeName + "\" sid=\"" + j.Name +
                      "\" type=\"JOINT\"><matrix>" + MatrixText(j.Rest) + "</matrix>\n";
    for (size_t c = 0; c < s.Joints.size(); c++)
        if (s.Joints[c].Parent == joint)
            out += JointNode(s, static_cast<int32_t>(c));
    return out + "</node>\n";
}

inline std::string Make(const TDocument& d)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<COLLADA version=\"1.4.1\">\n";
    out += "<asset><up_axis>" + d.UpAxis + "</up_axis></asset>\n";
    if (!d.Materials.empty()) {
        out += "<library_images>";
        for (const TMaterial& m : d.Materials)
            out += "<image id=\"" + m.Image + "\"><init_from>" + m.File + "</init_from></image>";
        out += "</library_images>\n<library_materials>";
        for (const TMaterial& m : d.Materials)
            out += "<material id=\"" + m.Id + "\" name=\"" + m.Id + "\"><instance_effect url=\"#" + m.Id +
                   "-fx\"/></material>";
        out += "</library_materials>\n<library_effects>";
        for (const TMaterial& m : d.Materials)
            out += "<effect id=\"" + m.Id + "-fx\"><profile_COMMON><technique sid=\"common\"><lambert><diffuse>" +
                   "<texture texture=\"" + m.Image + "-sampler\" texcoord=\"CHANNEL1\"/></diffuse></lambert>" +
                   "</technique></profile_COMMON></effect>";
        out += "</library_effects>\n";
    }
    out += "<library_geometries>\n";
    for (const TGeometry& g : d.Geometries)
        out += GeometryXml(g);
    out += "</library_geometries>\n";
    if (!d.Skins.empty()) {
        out += "<library_controllers>\n";
        for (const TSkin& s : d.Skins)
            out += SkinXml(s);
        out += "</library_controllers>\n";
    }
    if (!d.Animation.empty()) {
        out += "<library_animations><animation id=\"" + d.AnimationId + "\">\n";
        for (const TTrack& t : d.Animation) {
            std::vector<float> keys;
            for (const TMatrix4& m : t.Keys)
                keys.insert(keys.end(), m.e, m.e + 16);
            out += FloatSource(t.NodeName + "_matrix-input", t.Times, 1);
            out += FloatSource(t.NodeName + "_matrix-output", keys, 16);
        }
        out += "</animation></library_animations>\n";
    }
    out += "<library_visual_scenes><visual_scene id=\"Scene\" name=\"Scene\">\n";
    for (const TSkin& s : d.Skins)
        for (size_t j = 0; j < s.Joints.size(); j++)
            if (s.Joints[j].Parent < 0)
                out += JointNode(s, static_cast<int32_t>(j));
    for (const TGeometry& g : d.Geometries) {
        out += "<node id=\"" + g.Name + "-node\" name=\"" + g.Name + "\"><instance_geometry url=\"#" + g.Name + "\">";
        if (!g.Material.empty())
            out += "<bind_material><technique_common><instance_material symbol=\"m\" target=\"#" + g.Material +
                   "\"/></technique_common></bind_material>";
        out += "</instance_geometry></node>\n";
    }
    out += "</visual_scene></library_visual_scenes>\n</COLLADA>\n";
    return out;
}

} // namespace ColladaFiles
