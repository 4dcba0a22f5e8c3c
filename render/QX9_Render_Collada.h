// COLLADA import: models, skeletons and animations from ".DAE" files as one
// particular exporter writes them (the reader relies on its naming habits:
// source ids containing "Position", "Normal", "UV0" or "positions",
// "normals", "map1", joint nodes whose sid contains "joint", animation
// sources "<node>_matrix-input" and "-output"). Only the elements named here
// are read; everything else in a file is ignored.
#pragma once

#include <cstdint>
#include <string>

#include "render/QX9_Render_Meshes.h"

// Turns one named geometry into generic vertices and 16-bit indices; with a
// skin given and a skin controller in the file, fills the skin's bones from
// it. tangents 0..5 picks the tangent pass (formats 3, 5, 8 and 9 only).
void Load_Geometry_XML(const std::string& fileName, const std::string& geometryName, int32_t vertexFormat,
                       T3D_VertexArray& vertices, TWordArray& indices, T3D_Skin* skin, uint8_t tangents);
// Appends one clip with that name to the skin, and one track to every bone.
void Load_Animation_XML(const std::string& fileName, const std::string& animationName, T3D_Skin& skin);
// The names of the file's geometries that have vertex data.
void Find_Names_XML(const std::string& fileName, TStringArray& names);
// The texture file of a geometry through its material (empty when none).
void Find_Texture_XML(const std::string& fileName, const std::string& geometryName, std::string& textureName);

// The two steps that compare every vertex with every other in their plain
// form. Generated vertices carry their weld key; the fast forms keep the
// result of the plain ones exactly (the same survivors, order and sums).
struct TColladaVertex {
    T3D_Vertex Vertex;
    uint32_t WeldKey = 0;
};
// The tangent pass over the vertices before the weld: tangents 1..5 pick
// the mode (2 becomes 4 for MESH_TREECOMA and 5 for MESH_GRASS).
void ColladaTangentPass(std::vector<TColladaVertex>& vertices, const std::vector<int32_t>& indices,
                        int32_t vertexFormat, uint8_t tangents);
// Adds to each vertex the tangents and binormals of all later vertices of its
// key and gives the later ones the normalised sum.
void ColladaMergeTangents(std::vector<TColladaVertex>& vertices);
// Merges each vertex into the lowest-numbered earlier vertex of its key,
// filling the hole with the last vertex.
void ColladaWeld(std::vector<TColladaVertex>& vertices, std::vector<int32_t>& indices);
