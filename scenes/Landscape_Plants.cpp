#include "scenes/Landscape_Plants.h"

#include <algorithm>
#include <cstring>

#include "model/Support.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/scenario/Terrain.h"
#include "render/QX9_Render.h"
#include "scenes/Landscape_Chunks.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_Terrain.h"

TIntArray FoliageMeshes;
TIntArray TrunkMeshes;
TIntArray GrassMeshes;
TIntArray FoliageMeshChunks;
TIntArray TrunkMeshChunks;
TIntArray GrassMeshChunks;

namespace {

template <class T> T ReadPacked(const uint8_t* vertex, int32_t offset)
{
    T value;
    std::memcpy(&value, vertex + offset, sizeof(T));
    return value;
}

// A packed normal turned about y and normalised.
TVec3 TurnedNormal(const uint8_t* bytes, const TMatrix4& turn)
{
    TVec3 n;
    UnpackNormal(bytes[0], bytes[1], bytes[2], n);
    Vec3TransformCoord(n, turn, n);
    Vec3Normalize(n, n);
    return n;
}

// The trees of each 16-cell chunk, in tree order.
std::vector<TIntArray> TreesByChunk16;

struct TPlantPass {
    TPlantType Type;
    int32_t Format;
    const char* Name;
    TIntArray* Meshes;
    TIntArray* Chunks;
    int32_t NextSpare; // the next entry after Chunk64Count for a further mesh
};

TPlantPass PlantPasses[3] = {
    {ptFoliage, MESH_TREECOMA, "PlantFoliage", &FoliageMeshes, &FoliageMeshChunks, 0},
    {ptTrunk, MESH_NORMALMAPPED, "PlantTrunk", &TrunkMeshes, &TrunkMeshChunks, 0},
    {ptGrass, MESH_GRASS, "PlantGrass", &GrassMeshes, &GrassMeshChunks, 0},
};

// One mesh's worth of a pass: the lists and the (block, index count) runs
// laid down in it.
struct TPlantGeometry {
    T3D_VertexArray Vertices;
    TWordArray Indices;
    std::vector<int32_t> BlockIndices;
};

void StoreMesh(TPlantPass& pass, int32_t chunk, const std::string& name, int32_t piece, TPlantGeometry& g)
{
    if (g.Indices.empty())
        return;
    const std::string meshName = piece == 0 ? name : name + "_" + std::to_string(piece + 1);
    const int32_t slot = MainRender->Mesh_Add(pass.Format, meshName, 0);
    T3D_Mesh* mesh = MeshAt(*MainRender, slot);
    if (mesh == nullptr)
        return;
    mesh->SetTexture(LandscapeFolder + "ForestTexture_d.DDS", 0, 0);
    mesh->SetTexture(LandscapeFolder + "ForestTexture_n.DDS", 2, 0);
    mesh->ImportGeometry(g.Vertices, g.Indices);
    mesh->Subsets.clear();
    int32_t first = 0;
    for (const int32_t count : g.BlockIndices) {
        if (count > 0)
            mesh->CalcBounds(first, count);
        first += count;
    }
    size_t entry = static_cast<size_t>(chunk);
    if (piece > 0) {
        entry = static_cast<size_t>(pass.NextSpare++);
        if (entry >= pass.Meshes->size()) {
            pass.Meshes->resize(entry + 1, 0);
            pass.Chunks->resize(entry + 1, 0);
        }
    }
    (*pass.Meshes)[entry] = slot;
    (*pass.Chunks)[entry] = chunk;
}

} // namespace

bool AppendMeshInstance(const T3D_Mesh& mesh, uint32_t colour, T3D_VertexArray& vertices, float x, float y, float z,
                        float angle, float scale, TWordArray& indices)
{
    const int32_t format = mesh.VertexFormat;
    if (format != MESH_NORMALMAPPED && format != MESH_TREECOMA && format != MESH_GRASS)
        return true;
    const int32_t stride = mesh.VertexStride;
    if (stride < 1 || mesh.Vertices.empty() || stride != VertexFormatStride[static_cast<size_t>(format)])
        return true;
    const size_t count = mesh.Vertices.size() / static_cast<size_t>(stride);
    if (vertices.size() + count > static_cast<size_t>(MESH_MAX_VERTICES))
        return false;
    TMatrix4 turn;
    MatrixRotationY(turn, angle);
    const size_t base = vertices.size();
    for (size_t i = 0; i < count; i++) {
        const uint8_t* in = mesh.Vertices.data() + i * static_cast<size_t>(stride);
        T3D_Vertex v;
        const TVec3 model = ReadPacked<TVec3>(in, 0);
        TVec3 p{model.x * scale, model.y * scale, model.z * scale};
        Vec3TransformCoord(p, turn, p);
        p = TVec3{p.x + x, p.y + y, p.z + z};
        if (format == MESH_GRASS && model.y > 0.3f && model.y < 0.8f) {
            // The blades' middle follows the ground, so grass on a slope
            // bends with it instead of sinking in or floating.
            TVec3 ground;
            GetTerrainPoint(p, true, ground);
            p = TVec3{ground.x, ground.y + model.y, ground.z};
        }
        v.Position = p;
        v.Normal = TurnedNormal(in + 12, turn);
        v.Color = colour;
        if (format == MESH_NORMALMAPPED) {
            v.Tangent = TurnedNormal(in + 16, turn);
            v.Binormal = TurnedNormal(in + 20, turn);
            v.U = ReadPacked<int16_t>(in, 24) / 4096.0f;
            v.V = ReadPacked<int16_t>(in, 26) / 4096.0f;
        } else {
            v.Binormal = TurnedNormal(in + 16, turn);
            v.U = ReadPacked<int16_t>(in, 20) / 4096.0f;
            v.V = ReadPacked<int16_t>(in, 22) / 4096.0f;
            if (format == MESH_TREECOMA) {
                v.E[0] = scale * ReadPacked<uint16_t>(in, 24) / 3276.7f;
                v.E[1] = scale * ReadPacked<uint16_t>(in, 26) / 3276.7f;
                std::memcpy(v.B, in + 28, 4);
            } else {
                v.B[1] = in[19];
            }
        }
        vertices.push_back(v);
    }
    for (const uint16_t index : mesh.Indices)
        indices.push_back(static_cast<uint16_t>(base + index));
    return true;
}

void BuildPlantChunkMesh(int32_t chunk)
{
    if (MainRender == nullptr || chunk < 1 || chunk > Chunk64Count || Chunks64PerSide < 1)
        return;
    const int32_t r0 = (chunk - 1) / Chunks64PerSide * 64;
    const int32_t c0 = (chunk - 1) % Chunks64PerSide * 64;
    int32_t blockChunks[16];
    for (int32_t b = 0; b < 16; b++)
        blockChunks[b] =
            Chunk16IndexAt(static_cast<float>(r0 + 16 * (b / 4) + 8), static_cast<float>(c0 + 16 * (b % 4) + 8));
    const std::string number = std::to_string(blockChunks[ChunkBlockOrder[15]]);
    for (TPlantPass& pass : PlantPasses) {
        if (static_cast<size_t>(chunk) >= pass.Meshes->size())
            continue;
        TPlantGeometry g;
        int32_t piece = 0;
        for (const int32_t b : ChunkBlockOrder) {
            size_t blockStart = g.Indices.size();
            const int32_t chunk16 = blockChunks[b];
            if (chunk16 >= 1 && static_cast<size_t>(chunk16) < TreesByChunk16.size())
                for (const int32_t t : TreesByChunk16[static_cast<size_t>(chunk16)]) {
                    const TMapTree& tree = MapTrees[t];
                    if (tree.Kind < 1 || static_cast<size_t>(tree.Kind) >= TreeModelLibrary.Kinds.size())
                        continue;
                    const TModelKindRange& kind = TreeModelLibrary.Kinds[static_cast<size_t>(tree.Kind)];
                    if (tree.Variant < 0 || tree.Variant >= kind.Count)
                        continue;
                    const size_t entry = static_cast<size_t>(kind.First + tree.Variant);
                    if (entry >= TreeModelMeshes.size())
                        continue;
                    const TIntArray& parts = TreeModelMeshes[entry];
                    for (size_t i = 0; i < parts.size(); i++) {
                        if (entry >= TreePlantTypes.size() || i >= TreePlantTypes[entry].size() ||
                            TreePlantTypes[entry][i] != pass.Type)
                            continue;
                        const T3D_Mesh* mesh = MeshAt(*MainRender, parts[i]);
                        if (mesh == nullptr)
                            continue;
                        // The tree record carries no colour of its own: the
                        // merged plants are drawn in white.
                        const uint32_t colour = 0xFFFFFFFFu;
                        const float scale = tree.Scale * DefTreeScale;
                        if (AppendMeshInstance(*mesh, colour, g.Vertices, tree.Pos[0], tree.Pos[1], tree.Pos[2],
                                               tree.Angle, scale, g.Indices))
                            continue;
                        // Full: what is there becomes a mesh of its own and
                        // the chunk goes on in a fresh one.
                        g.BlockIndices.push_back(static_cast<int32_t>(g.Indices.size() - blockStart));
                        StoreMesh(pass, chunk, pass.Name + number, piece, g);
                        if (!g.Indices.empty())
                            piece++;
                        g = TPlantGeometry{};
                        blockStart = 0;
                        AppendMeshInstance(*mesh, colour, g.Vertices, tree.Pos[0], tree.Pos[1], tree.Pos[2], tree.Angle,
                                           scale, g.Indices);
                    }
                }
            g.BlockIndices.push_back(static_cast<int32_t>(g.Indices.size() - blockStart));
        }
        StoreMesh(pass, chunk, pass.Name + number, piece, g);
        LoadingProgress += 1;
    }
}

void BuildPlantMeshes()
{
    const size_t size = static_cast<size_t>(std::max(Chunk16Count, 0)) + 1;
    for (TPlantPass& pass : PlantPasses) {
        pass.Meshes->assign(size, 0);
        pass.Chunks->assign(size, 0);
        pass.NextSpare = std::max(Chunk64Count, 0) + 1;
    }
    TreesByChunk16.assign(size, {});
    for (int32_t t = 1; t <= MapTrees.Count; t++) {
        const int32_t chunk16 = MapTrees[t].Chunk;
        if (chunk16 >= 1 && static_cast<size_t>(chunk16) < size)
            TreesByChunk16[static_cast<size_t>(chunk16)].push_back(t);
    }
    for (int32_t chunk = 1; chunk <= Chunk64Count; chunk++)
        BuildPlantChunkMesh(chunk);
}
