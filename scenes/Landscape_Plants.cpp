#include "scenes/Landscape_Plants.h"

#include <algorithm>
#include <cstring>
#include <utility>

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

// A chunk's plants before they reach the renderer: per pass, its meshes in
// build order (the first the chunk's own entry, the rest continuations),
// and their renderer slots once made.
struct TChunkPlants {
    int32_t Chunk = 0;
    std::string Number;
    std::vector<TPlantGeometry> Pieces[3];
    std::vector<int32_t> Slots[3];
};

// The 16-cell chunks of a 64-cell chunk's blocks.
void BlockChunksOf(int32_t chunk, int32_t (&blockChunks)[16])
{
    const int32_t r0 = (chunk - 1) / Chunks64PerSide * 64;
    const int32_t c0 = (chunk - 1) % Chunks64PerSide * 64;
    for (int32_t b = 0; b < 16; b++)
        blockChunks[b] =
            Chunk16IndexAt(static_cast<float>(r0 + 16 * (b / 4) + 8), static_cast<float>(c0 + 16 * (b % 4) + 8));
}

// Empties out for the chunk and names it.
void StartChunkPlants(int32_t chunk, TChunkPlants& out)
{
    out.Chunk = chunk;
    for (auto& pieces : out.Pieces)
        pieces.clear();
    for (auto& slots : out.Slots)
        slots.clear();
    int32_t blockChunks[16];
    BlockChunksOf(chunk, blockChunks);
    out.Number = std::to_string(blockChunks[ChunkBlockOrder[15]]);
}

// Lays down the chunk's trees of pass p in block order. Touches nothing but
// pieces: the passes of a batch's chunks are collected side by side.
void CollectPlantPass(int32_t chunk, size_t p, std::vector<TPlantGeometry>& pieces)
{
    int32_t blockChunks[16];
    BlockChunksOf(chunk, blockChunks);
    {
        const TPlantPass& pass = PlantPasses[p];
        if (static_cast<size_t>(chunk) >= pass.Meshes->size())
            return;
        // Only meshes with indices are kept: their order numbers the pieces.
        auto keep = [&pieces](TPlantGeometry& g) {
            if (!g.Indices.empty())
                pieces.push_back(std::move(g));
            g = TPlantGeometry{};
        };
        TPlantGeometry g;
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
                        keep(g);
                        blockStart = 0;
                        AppendMeshInstance(*mesh, colour, g.Vertices, tree.Pos[0], tree.Pos[1], tree.Pos[2], tree.Angle,
                                           scale, g.Indices);
                    }
                }
            g.BlockIndices.push_back(static_cast<int32_t>(g.Indices.size() - blockStart));
        }
        keep(g);
    }
}

// Makes the renderer meshes of a collected chunk and enters them in the
// tables, in build order; their geometry comes after (FillPlantMesh).
// Renderer slots are taken here alone, on the calling thread, so the slot
// numbers do not depend on the worker count.
void CreatePlantMeshes(TChunkPlants& plants)
{
    for (size_t p = 0; p < 3; p++) {
        TPlantPass& pass = PlantPasses[p];
        if (static_cast<size_t>(plants.Chunk) >= pass.Meshes->size())
            continue;
        const std::string name = pass.Name + plants.Number;
        for (size_t piece = 0; piece < plants.Pieces[p].size(); piece++) {
            const std::string meshName = piece == 0 ? name : name + "_" + std::to_string(piece + 1);
            const int32_t slot = MainRender->Mesh_Add(pass.Format, meshName, 0);
            plants.Slots[p].push_back(slot);
            T3D_Mesh* mesh = MeshAt(*MainRender, slot);
            if (mesh == nullptr)
                continue;
            mesh->SetTexture(LandscapeFolder + "ForestTexture_d.DDS", 0, 0);
            mesh->SetTexture(LandscapeFolder + "ForestTexture_n.DDS", 2, 0);
            size_t entry = static_cast<size_t>(plants.Chunk);
            if (piece > 0) {
                entry = static_cast<size_t>(pass.NextSpare++);
                if (entry >= pass.Meshes->size()) {
                    pass.Meshes->resize(entry + 1, 0);
                    pass.Chunks->resize(entry + 1, 0);
                }
            }
            (*pass.Meshes)[entry] = slot;
            (*pass.Chunks)[entry] = plants.Chunk;
        }
        LoadingProgress += 1;
    }
}

// Packs a piece into its mesh: the vertices, one bounds subset a block with
// indices. With uploads deferred this touches the mesh and the queue's
// locked list alone, so pieces may be filled on several threads.
void FillPlantMesh(int32_t slot, TPlantGeometry& g)
{
    T3D_Mesh* mesh = MeshAt(*MainRender, slot);
    if (mesh == nullptr)
        return;
    mesh->ImportGeometry(g.Vertices, g.Indices);
    mesh->Subsets.clear();
    int32_t first = 0;
    for (const int32_t count : g.BlockIndices) {
        if (count > 0)
            mesh->CalcBounds(first, count);
        first += count;
    }
    g = TPlantGeometry{};
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
    TChunkPlants plants;
    StartChunkPlants(chunk, plants);
    for (size_t p = 0; p < 3; p++)
        CollectPlantPass(chunk, p, plants.Pieces[p]);
    CreatePlantMeshes(plants);
    for (size_t p = 0; p < 3; p++)
        for (size_t piece = 0; piece < plants.Slots[p].size(); piece++)
            FillPlantMesh(plants.Slots[p][piece], plants.Pieces[p][piece]);
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
    if (MainRender == nullptr || Chunk64Count < 1 || Chunks64PerSide < 1)
        return;
    // Packing the vertices is most of the work: chunks are laid down side
    // by side, their meshes made in chunk order, then packed side by side,
    // a batch at a time so only a batch's geometry is held.
    const int32_t workers = MapBuildWorkers();
    const int32_t batch = workers * 8;
    std::vector<TChunkPlants> chunks;
    for (int32_t first = 1; first <= Chunk64Count; first += batch) {
        const int32_t count = std::min(Chunk64Count - first + 1, batch);
        chunks.resize(static_cast<size_t>(count));
        for (int32_t i = 0; i < count; i++)
            StartChunkPlants(first + i, chunks[size_t(i)]);
        // A job a chunk's pass: a forest's foliage alone outweighs most
        // whole chunks.
        RunMapBuildJobs(workers, count * 3, [&](int32_t i) {
            CollectPlantPass(first + i / 3, size_t(i % 3), chunks[size_t(i / 3)].Pieces[i % 3]);
        });
        std::vector<std::pair<int32_t, TPlantGeometry*>> fills;
        std::vector<int32_t> slots;
        for (TChunkPlants& plants : chunks) {
            CreatePlantMeshes(plants);
            for (size_t p = 0; p < 3; p++)
                for (size_t piece = 0; piece < plants.Slots[p].size(); piece++) {
                    fills.emplace_back(plants.Slots[p][piece], &plants.Pieces[p][piece]);
                    slots.push_back(plants.Slots[p][piece]);
                }
        }
        RunMapBuildJobs(workers, static_cast<int32_t>(fills.size()),
                        [&](int32_t i) { FillPlantMesh(fills[size_t(i)].first, *fills[size_t(i)].second); });
        if (workers > 1)
            OrderQueuedUploads(slots);
    }
}
