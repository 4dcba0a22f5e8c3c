#include "scenes/Landscape_Chunks.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "engine/QX9_Parallelizer.h"
#include "model/Support.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/scenario/Terrain.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Upload.h"

TIntArray WaterChunkMeshes;
TIntArray LandChunkMeshes;
TIntArray HillChunkMeshes;

namespace {

// Running name numbers of the three kinds, restarted by each whole build.
int32_t WaterNames = 0, LandNames = 0, HillNames = 0;

enum TChunkMeshKind { MeshWater = 0, MeshLand = 1, MeshHill = 2 };

bool IsHillClass(uint8_t terrainClass)
{
    return terrainClass == 12 || (terrainClass >= 3 && terrainClass <= 11 && terrainClass % 2 == 1);
}

// One mesh being filled: its generic vertices, indices and, per block in
// block order, the index count it gained.
struct TChunkGeometry {
    T3D_VertexArray Vertices;
    TWordArray Indices;
    int32_t BlockIndices[16] = {};
    // Shared vertices of the current block: (set number, grid point) -> index.
    std::unordered_map<uint64_t, uint16_t> Shared;
};

uint32_t TintColour(const TMapCell& cell)
{
    return 0x00FFFFFFu | (static_cast<uint32_t>(cell.Tint) << 24);
}

void ShadeValues(const TMapCell& cell, T3D_Vertex& vertex)
{
    const float v = cell.Shade;
    vertex.Weight[0] = v * 10 / 255;
    vertex.Weight[1] = std::sqrt(v / 255);
}

T3D_Vertex WaterVertex(int32_t r, int32_t c)
{
    const TTerrainVertex& tv = TerrainVertex(r, c);
    const TMapCell& cell = MapCell(r, c);
    T3D_Vertex v;
    v.Position = TVec3{tv.Position.x, tv.WaterLevel, tv.Position.z};
    v.Normal = TVec3{0, 1, 0};
    v.Color = TintColour(cell);
    v.U = tv.Position.x / 16;
    v.V = tv.Position.z / 16;
    // The depth of the ground below the surface, 255 three units down and
    // below (a byte that wrapped would show deep water as shallow bands).
    const float depth = std::fabs(tv.WaterLevel - tv.Position.y) * 255 / 3;
    v.B[0] = static_cast<uint8_t>(std::min(255.0f, depth));
    v.B[1] = 0;
    v.B[2] = 128;
    ShadeValues(cell, v);
    return v;
}

T3D_Vertex GroundVertex(int32_t r, int32_t c, const TTriangleTextureSet& set, float x0, float z0)
{
    const TTerrainVertex& tv = TerrainVertex(r, c);
    const TMapCell& cell = MapCell(r, c);
    T3D_Vertex v;
    v.Position = tv.Position;
    Vec3Normalize(tv.Normal, v.Normal);
    v.Color = TintColour(cell);
    float* uvs[4][2] = {{&v.U, &v.V}, {&v.E[0], &v.E[1]}, {&v.E[2], &v.E[3]}, {&v.E[4], &v.E[5]}};
    int32_t weights[4] = {};
    int32_t sum = 0;
    for (int m = 0; m < 4; m++) {
        const int32_t kind = set.Kinds[m];
        if (kind < 1 || kind > 16) {
            *uvs[m][0] = *uvs[m][1] = 0;
            continue;
        }
        AtlasUV(kind, tv.Position.x, tv.Position.z, x0, z0, *uvs[m][0], *uvs[m][1]);
        weights[m] = cell.KindWeights[kind];
        sum += weights[m];
    }
    for (int m = 0; m < 4; m++)
        v.B[m] = static_cast<uint8_t>(sum > 0 ? weights[m] * 255 / sum : 0);
    ShadeValues(cell, v);
    return v;
}

// The unit normal of triangle (a, b, c) as the hill facets show it.
TVec3 FacetNormal(const TVec3& a, const TVec3& b, const TVec3& c)
{
    TVec3 ba{b.x - a.x, b.y - a.y, b.z - a.z}, bc{b.x - c.x, b.y - c.y, b.z - c.z};
    Vec3Normalize(ba, ba);
    Vec3Normalize(bc, bc);
    TVec3 n;
    Vec3Cross(ba, bc, n);
    Vec3Normalize(n, n);
    return n;
}

// The two triangles of cell (r, c) in their vertex order.
void CellTriangles(int32_t r, int32_t c, int32_t (&t)[2][3][2])
{
    const int32_t corner = GetCellLowCorner(r, c);
    if (corner == 1 || corner == 4) {
        const int32_t a[2][3][2] = {{{r, c}, {r + 1, c}, {r, c + 1}}, {{r + 1, c + 1}, {r, c + 1}, {r + 1, c}}};
        std::copy(&a[0][0][0], &a[0][0][0] + 12, &t[0][0][0]);
    } else {
        const int32_t a[2][3][2] = {{{r, c}, {r + 1, c}, {r + 1, c + 1}}, {{r + 1, c + 1}, {r, c + 1}, {r, c}}};
        std::copy(&a[0][0][0], &a[0][0][0] + 12, &t[0][0][0]);
    }
}

void FillMesh(int32_t slot, TChunkGeometry& g)
{
    // 0: the chunk has no mesh of the kind (a refill before any build).
    T3D_Mesh* mesh = slot > 0 ? MeshAt(*MainRender, slot) : nullptr;
    if (mesh == nullptr)
        return;
    if (g.Indices.empty()) {
        mesh->ImportGeometry({}, {});
        return;
    }
    mesh->ImportGeometry(g.Vertices, g.Indices);
    mesh->Subsets.clear();
    int32_t first = 0;
    for (const int32_t b : ChunkBlockOrder) {
        const int32_t count = g.BlockIndices[b];
        if (count > 0)
            mesh->CalcBounds(first, count);
        first += count;
    }
}

int32_t AddChunkMesh(int32_t format, const std::string& name)
{
    return MainRender->Mesh_Add(format, name, 0);
}

} // namespace

TTriangleTextureSet TriangleTextureSet(const int32_t (&vertices)[3][2])
{
    int32_t sums[17] = {};
    for (const auto& p : vertices) {
        const TTerrainVertex& v = TerrainVertex(p[0], p[1]);
        for (int i = 0; i < v.LayerCount && i < 3; i++)
            if (v.Layers[i].Kind >= 1 && v.Layers[i].Kind <= 16)
                sums[v.Layers[i].Kind] += v.Layers[i].Weight;
    }
    TTriangleTextureSet set;
    int32_t power = 1;
    for (int m = 0; m < 4; m++) {
        int best = 0;
        for (int k = 1; k <= 16; k++)
            if (sums[k] > 0 && (best == 0 || sums[k] > sums[best]))
                best = k;
        if (best == 0)
            break;
        set.Kinds[m] = static_cast<uint8_t>(best);
        set.Key += best * power;
        power *= 17;
        sums[best] = 0;
    }
    return set;
}

void AtlasUV(int32_t kind, float x, float z, float x0, float z0, float& u, float& v)
{
    const int32_t column = (kind - 1) % 4, row = (kind - 1) / 4;
    u = ((x - x0) / 16 * 500 / 512 + 6.0f / 512) / 4 + column / 4.0f;
    v = ((1 - (z - z0) / 16) * 500 / 512 + 6.0f / 512) / 4 + row / 4.0f;
}

namespace {

// Lays down the chunk's three meshes. Reads the map alone: the chunks of a
// batch are collected side by side.
void CollectChunkGeometry(int32_t chunk, TChunkGeometry (&meshes)[3])
{
    const int32_t r0 = (chunk - 1) / Chunks64PerSide * 64;
    const int32_t c0 = (chunk - 1) % Chunks64PerSide * 64;

    // Texture sets of every triangle, numbered by key in ascending order.
    struct TCellSets {
        TTriangleTextureSet Sets[2];
    };
    std::vector<TCellSets> cells(64 * 64);
    std::vector<int32_t> keys;
    for (int32_t dc = 0; dc < 64; dc++)
        for (int32_t dr = 0; dr < 64; dr++) {
            int32_t t[2][3][2];
            CellTriangles(r0 + dr, c0 + dc, t);
            TCellSets& cell = cells[static_cast<size_t>(dr) * 64 + static_cast<size_t>(dc)];
            for (int i = 0; i < 2; i++) {
                cell.Sets[i] = TriangleTextureSet(t[i]);
                keys.push_back(cell.Sets[i].Key);
            }
        }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    auto setNumber = [&](int32_t key) {
        return static_cast<uint64_t>(std::lower_bound(keys.begin(), keys.end(), key) - keys.begin() + 1);
    };

    for (const int32_t b : ChunkBlockOrder) {
        const int32_t br = r0 + 16 * (b / 4), bc = c0 + 16 * (b % 4);
        const float x0 = TerrainVertex(br, bc).Position.x, z0 = TerrainVertex(br, bc).Position.z;
        int32_t before[3];
        for (int m = 0; m < 3; m++) {
            meshes[m].Shared.clear();
            before[m] = static_cast<int32_t>(meshes[m].Indices.size());
        }
        for (int32_t c = bc; c < bc + 16; c++)
            for (int32_t r = br; r < br + 16; r++) {
                int32_t t[2][3][2];
                CellTriangles(r, c, t);
                const TCellSets& sets = cells[static_cast<size_t>(r - r0) * 64 + static_cast<size_t>(c - c0)];
                for (int i = 0; i < 2; i++) {
                    bool water = false, ground = false, hill = false;
                    for (const auto& p : t[i]) {
                        const TTerrainVertex& v = TerrainVertex(p[0], p[1]);
                        water |= v.Position.y <= v.WaterLevel;
                        ground |= v.Position.y >= v.WaterLevel;
                        hill |= IsHillClass(MapCell(p[0], p[1]).TerrainClass);
                    }
                    if (water) {
                        TChunkGeometry& g = meshes[MeshWater];
                        for (const auto& p : t[i]) {
                            const uint64_t id =
                                static_cast<uint64_t>(p[0] - br) * 17 + static_cast<uint64_t>(p[1] - bc);
                            auto [it, added] = g.Shared.try_emplace(id, static_cast<uint16_t>(g.Vertices.size()));
                            if (added)
                                g.Vertices.push_back(WaterVertex(p[0], p[1]));
                            g.Indices.push_back(it->second);
                        }
                    }
                    if (!ground)
                        continue;
                    TChunkGeometry& g = meshes[hill ? MeshHill : MeshLand];
                    const TTriangleTextureSet& set = sets.Sets[i];
                    const uint64_t number = setNumber(set.Key);
                    int32_t emitted[3];
                    for (int j = 0; j < 3; j++) {
                        const auto& p = t[i][j];
                        const bool facet = hill && TerrainVertex(p[0], p[1]).Facet != 0;
                        if (facet) {
                            emitted[j] = static_cast<int32_t>(g.Vertices.size());
                            g.Vertices.push_back(GroundVertex(p[0], p[1], set, x0, z0));
                        } else {
                            const uint64_t id = (number << 16) | static_cast<uint64_t>((p[0] - br) * 17 + (p[1] - bc));
                            auto [it, added] = g.Shared.try_emplace(id, static_cast<uint16_t>(g.Vertices.size()));
                            if (added)
                                g.Vertices.push_back(GroundVertex(p[0], p[1], set, x0, z0));
                            emitted[j] = it->second;
                        }
                        g.Indices.push_back(static_cast<uint16_t>(emitted[j]));
                    }
                    if (hill) {
                        const TVec3 normal = FacetNormal(g.Vertices[static_cast<size_t>(emitted[0])].Position,
                                                         g.Vertices[static_cast<size_t>(emitted[1])].Position,
                                                         g.Vertices[static_cast<size_t>(emitted[2])].Position);
                        for (int j = 0; j < 3; j++)
                            if (TerrainVertex(t[i][j][0], t[i][j][1]).Facet != 0)
                                g.Vertices[static_cast<size_t>(emitted[j])].Normal = normal;
                    }
                }
            }
        for (int m = 0; m < 3; m++)
            meshes[m].BlockIndices[b] = static_cast<int32_t>(meshes[m].Indices.size()) - before[m];
    }
    for (TChunkGeometry& g : meshes)
        g.Shared = {};
}

// Makes the renderer meshes of entry k and names them, on the calling
// thread: slots and names follow the chunk order.
void CreateChunkMeshes(size_t k)
{
    {
        WaterChunkMeshes[k] = AddChunkMesh(MESH_WATER, "WaterCell" + std::to_string(++WaterNames));
        LandChunkMeshes[k] = AddChunkMesh(MESH_LANDSKAPE, "PlainCell" + std::to_string(++LandNames));
        HillChunkMeshes[k] = AddChunkMesh(MESH_LANDSKAPE, "HillCell" + std::to_string(++HillNames));
        if (T3D_Mesh* water = MeshAt(*MainRender, WaterChunkMeshes[k])) {
            water->SetTexture(LandscapeFolder + "WaterRipple1_n.DDS", 0, 0);
            water->SetTexture(LandscapeFolder + "WaterRipple2_n.DDS", 1, 0);
            water->SetTexture(LandscapeFolder + "WaterSky.DDS", 2, 0);
        }
        const std::pair<int32_t, const char*> grounds[2] = {{LandChunkMeshes[k], "LandTextures"},
                                                            {HillChunkMeshes[k], "HillTextures"}};
        for (const auto& [slot, atlas] : grounds)
            if (T3D_Mesh* mesh = MeshAt(*MainRender, slot)) {
                mesh->SetTexture(LandscapeFolder + atlas + ".DDS", 0, 1);
                mesh->SetTexture(LandscapeFolder + atlas + "_n.DDS", 2, 1);
            }
    }
}

void FillChunkMeshes(size_t k, TChunkGeometry (&meshes)[3])
{
    FillMesh(WaterChunkMeshes[k], meshes[MeshWater]);
    FillMesh(LandChunkMeshes[k], meshes[MeshLand]);
    FillMesh(HillChunkMeshes[k], meshes[MeshHill]);
    for (TChunkGeometry& g : meshes)
        g = TChunkGeometry{};
}

} // namespace

void BuildChunkMesh(int32_t chunk, bool create)
{
    if (MainRender == nullptr || chunk < 1 || chunk > Chunk64Count || Chunks64PerSide < 1)
        return;
    const size_t k = static_cast<size_t>(chunk);
    if (k >= WaterChunkMeshes.size() || k >= LandChunkMeshes.size() || k >= HillChunkMeshes.size())
        return;
    TChunkGeometry meshes[3];
    CollectChunkGeometry(chunk, meshes);
    if (create) {
        LoadingProgress += 1;
        CreateChunkMeshes(k);
    }
    FillChunkMeshes(k, meshes);
    if (create)
        LoadingProgress += 1;
}

void BuildTerrainChunkMeshes()
{
    const size_t size = static_cast<size_t>(std::max(Chunk64Count, 0)) + 1;
    WaterChunkMeshes.assign(size, 0);
    LandChunkMeshes.assign(size, 0);
    HillChunkMeshes.assign(size, 0);
    WaterNames = LandNames = HillNames = 0;
    if (MainRender == nullptr || Chunk64Count < 1 || Chunks64PerSide < 1)
        return;
    const int32_t workers = MapBuildWorkers();
    if (workers == 1) {
        for (int32_t chunk = 1; chunk <= Chunk64Count; chunk++)
            BuildChunkMesh(chunk, true);
        return;
    }
    // In batches, so only a batch's geometry is held at a time: laid down
    // side by side, the meshes made in chunk order, then packed side by side.
    struct TBatchChunk {
        TChunkGeometry Meshes[3];
    };
    const int32_t batch = workers * 4;
    std::vector<TBatchChunk> chunks(static_cast<size_t>(batch));
    for (int32_t first = 1; first <= Chunk64Count; first += batch) {
        const int32_t count = std::min(Chunk64Count - first + 1, batch);
        RunMapBuildJobs(workers, count, [&](int32_t i) { CollectChunkGeometry(first + i, chunks[size_t(i)].Meshes); });
        std::vector<int32_t> slots;
        for (int32_t i = 0; i < count; i++) {
            const size_t k = static_cast<size_t>(first + i);
            LoadingProgress += 1;
            CreateChunkMeshes(k);
            slots.insert(slots.end(), {WaterChunkMeshes[k], LandChunkMeshes[k], HillChunkMeshes[k]});
        }
        RunMapBuildJobs(workers, count, [&](int32_t i) {
            FillChunkMeshes(static_cast<size_t>(first + i), chunks[size_t(i)].Meshes);
            LoadingProgress += 1;
        });
        OrderQueuedUploads(slots);
    }
}

// ---------------------------------------------------------------------------
// Build workers

namespace {

int32_t MapBuildWorkersWanted = 0; // 0: one per usable processor

// Handed out one at a time: the chunks' loads differ widely (water, forest,
// bare hills), so fixed shares would leave workers idle.
struct TMapBuildJob {
    int32_t Count = 0;
    std::atomic<int32_t> Next{0};
    const std::function<void(int32_t)>* Run = nullptr;
};

void MapBuildTask(int32_t, void* userData)
{
    TMapBuildJob& job = *static_cast<TMapBuildJob*>(userData);
    for (int32_t i = job.Next.fetch_add(1); i < job.Count; i = job.Next.fetch_add(1))
        (*job.Run)(i);
}

} // namespace

void SetMapBuildWorkers(int32_t workers)
{
    MapBuildWorkersWanted = std::max(0, workers);
}

int32_t MapBuildWorkers()
{
    if (MainRender == nullptr)
        return 1;
    {
        std::lock_guard<TCriticalSection> guard(UploadQueueLock);
        if (MainRender->DeferUploads == 0)
            return 1;
    }
    return MapBuildWorkersWanted > 0 ? std::min(MapBuildWorkersWanted, ParallelizerMaxWorkers)
                                     : std::clamp(UsableProcessors(), 1, 8);
}

void RunMapBuildJobs(int32_t workers, int32_t count, const std::function<void(int32_t)>& job)
{
    workers = std::min(workers, count);
    if (workers <= 1) {
        for (int32_t i = 0; i < count; i++)
            job(i);
        return;
    }
    // Made on first use and kept: the threads sleep between map builds.
    static TParallelizer pool;
    static int32_t poolWorkers = 0;
    if (poolWorkers < workers) {
        pool.InitWorkers(workers);
        pool.Watch = false;
        poolWorkers = workers;
    }
    TMapBuildJob state;
    state.Count = count;
    state.Run = &job;
    pool.RunWorkers(MapBuildTask, workers, &state, true);
}

void OrderQueuedUploads(const std::vector<int32_t>& slots)
{
    if (MainRender == nullptr)
        return;
    std::unordered_map<const void*, size_t> rank;
    for (const int32_t slot : slots)
        if (T3D_Mesh* mesh = MeshAt(*MainRender, slot))
            rank.emplace(static_cast<const void*>(static_cast<T3D_UniversalResource*>(mesh)), rank.size());
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    std::vector<size_t> places;
    std::vector<std::pair<size_t, TUploadTask>> tasks;
    for (size_t k = 0; k < MainRender->UploadQueue.size(); k++) {
        const TUploadTask& task = MainRender->UploadQueue[k];
        const auto at = rank.find(task.Object);
        if (task.Kind != UPLOAD_MESH || at == rank.end())
            continue;
        places.push_back(k);
        tasks.emplace_back(at->second, task);
    }
    std::stable_sort(tasks.begin(), tasks.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t k = 0; k < places.size(); k++)
        MainRender->UploadQueue[places[k]] = tasks[k].second;
}
