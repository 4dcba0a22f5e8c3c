// Landscape plants: the tree models of the map's trees merged into three
// meshes per 64-cell chunk (foliage, trunks, grass), one subset per block.
// Runs on the game loading worker while the renderer defers its uploads.
#pragma once

#include <cstdint>
#include <string>

#include "engine/QX9_System.h"
#include "render/QX9_Render_Meshes.h"

// Renderer mesh slots, sized Chunk16Count + 1. Entry k (1..Chunk64Count) is
// the first mesh of 64-cell chunk k. A chunk whose plants pass the 65,535
// vertices a mesh can address continues in further meshes, which take the
// entries after Chunk64Count in build order; the *MeshChunks tables give
// their chunk. The placement makes an instance of every entry above 0, so the
// instance tables (Landscape_Camera.h) follow the same numbering and the
// lighting reaches every mesh.
extern TIntArray FoliageMeshes;
extern TIntArray TrunkMeshes;
extern TIntArray GrassMeshes;
// By the same entries: the 64-cell chunk of each mesh (0 for no mesh).
extern TIntArray FoliageMeshChunks;
extern TIntArray TrunkMeshChunks;
extern TIntArray GrassMeshChunks;

// Sizes the plant tables and builds every chunk's plant meshes (on the
// build workers of Landscape_Chunks.h).
void BuildPlantMeshes();
// The foliage, trunk and grass meshes of one 64-cell chunk.
void BuildPlantChunkMesh(int32_t chunk);

// Appends one copy of a model mesh, scaled, turned about y by angle and
// moved to (x, y, z), to the vertex and index lists. Formats 3, 8 and 9 are
// appended (grass vertices of model height strictly between 0.3 and 0.8
// stand on the ground); other formats add nothing. False, adding nothing,
// when the copy would take the vertex list past MESH_MAX_VERTICES.
bool AppendMeshInstance(const T3D_Mesh& mesh, uint32_t colour, T3D_VertexArray& vertices, float x, float y, float z,
                        float angle, float scale, TWordArray& indices);
