#include "scenes/Landscape_Terrain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/QX9_Parallelizer.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_Pipeline.h"

namespace {

constexpr int KindSwamp = 3;
constexpr int BridgeModel = static_cast<int>(TBuildingModel::Bridge);

// The eight neighbours of a vertex in circular order.
constexpr int8_t Around[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};

bool GridsReady()
{
    const int32_t n = MapInit.MapSizeMinus1;
    return !MapCells.empty() && !TerrainVertices.empty() && n >= 0 && n <= MapSizeMax;
}

// A ridge: the highest and lowest of the eight neighbours h (in circular
// order) at least three steps apart around the vertex, and both arcs
// between them lower than the vertex.
bool RidgeOf(const int32_t (&h)[8], int32_t self)
{
    // The first of equal heights wins; the values ride along in registers.
    int hi = 0, lo = 0;
    int32_t highest = h[0], lowest = h[0];
    for (int k = 1; k < 8; k++) {
        const bool higher = h[k] > highest, lower = h[k] < lowest;
        hi = higher ? k : hi;
        highest = higher ? h[k] : highest;
        lo = lower ? k : lo;
        lowest = lower ? h[k] : lowest;
    }
    const int apart = std::abs(hi - lo);
    if (std::min(apart, 8 - apart) <= 2)
        return false;
    // Every neighbour within 5 of the vertex or above it: no arc can
    // average more than 5 below.
    if (lowest - self >= -5)
        return false;
    // The two arcs strictly between hi and lo, summed over the ring laid
    // out twice. The heights are whole numbers far below 2^24, so the sums
    // are exact in either type.
    int32_t ring[17];
    ring[0] = 0;
    for (int k = 0; k < 16; k++)
        ring[k + 1] = ring[k] + h[k & 7];
    auto arc = [&](int from, int to, int32_t& sum, int& count) {
        // from, to exclusive, walking up
        const int end = to > from ? to : to + 8;
        count = end - from - 1;
        sum = ring[end] - ring[from + 1] - count * self;
    };
    int32_t sums[2];
    int counts[2];
    arc(hi, lo, sums[0], counts[0]);
    arc(lo, hi, sums[1], counts[1]);
    for (int a = 0; a < 2; a++)
        if (counts[a] == 0 || !(static_cast<float>(sums[a]) / static_cast<float>(counts[a]) < -5.0f))
            return false;
    return true;
}

// The ridge test of vertex (r, c) while the build's clamped cells are not
// all reached: the vertices are finished column by column, and cells not
// reached yet still hold their height as read (cellHeights).
bool IsRidgeAsBuilt(int32_t r, int32_t c, const std::vector<int16_t>& cellHeights)
{
    auto height = [&](int32_t nr, int32_t nc) -> int32_t {
        const bool reached = nc < c || (nc == c && nr <= r);
        if (!reached)
            return cellHeights[static_cast<size_t>(nr) * MapGridSide + static_cast<size_t>(nc)];
        return MapCell(nr, nc).Height;
    };
    int32_t h[8];
    for (int k = 0; k < 8; k++)
        h[k] = height(r + Around[k][0], c + Around[k][1]);
    return RidgeOf(h, height(r, c));
}

// The ridge test over three rows of cell heights (r - 1, r, r + 1).
bool IsRidgeOnRows(const int16_t* const (&rows)[3], int32_t c)
{
    int32_t h[8];
    for (int k = 0; k < 8; k++)
        h[k] = rows[1 + Around[k][0]][c + Around[k][1]];
    return RidgeOf(h, rows[1][c]);
}

// Normalised in double precision: the normals only shade the map, and two
// million triangles normalise three vectors each.
TVec3 Normalized(double x, double y, double z)
{
    const double length = std::sqrt(x * x + y * y + z * z);
    if (length == 0)
        return TVec3{0, 0, 0};
    const double inverse = 1 / length;
    return TVec3{static_cast<float>(x * inverse), static_cast<float>(y * inverse), static_cast<float>(z * inverse)};
}

// The unit normal of the triangle (a, b, c): the cross product of its two
// edges, normalised once (normalising the edges first gives the same
// direction, only three square roots dearer).
TVec3 UnitNormal(const TVec3& a, const TVec3& b, const TVec3& c)
{
    const double abx = double{a.x} - b.x, aby = double{a.y} - b.y, abz = double{a.z} - b.z;
    const double bcx = double{b.x} - c.x, bcy = double{b.y} - c.y, bcz = double{b.z} - c.z;
    return Normalized(aby * bcz - abz * bcy, abz * bcx - abx * bcz, abx * bcy - aby * bcx);
}

// The two triangles of a cell and how it is split.
struct TCellNormals {
    TVec3 First, Second;
    bool AntiDiagonal; // split along (r+1, c)-(r, c+1)
};

// The triangle normals of the cells of row r.
void CellNormalsOfRow(int32_t r, int32_t n, TCellNormals* row)
{
    for (int32_t c = 0; c < n; c++) {
        TCellNormals& cell = row[c];
        const int32_t corner = GetCellLowCorner(r, c);
        const TVec3& p00 = TerrainVertex(r, c).Position;
        const TVec3& p10 = TerrainVertex(r + 1, c).Position;
        const TVec3& p01 = TerrainVertex(r, c + 1).Position;
        const TVec3& p11 = TerrainVertex(r + 1, c + 1).Position;
        cell.AntiDiagonal = corner == 1 || corner == 4;
        // A level cell's triangles face straight up: their cross products
        // have only a y part, which normalises to exactly 1.
        if (p00.y == p10.y && p00.y == p01.y && p00.y == p11.y) {
            cell.First = cell.Second = TVec3{0, 1, 0};
        } else if (cell.AntiDiagonal) {
            cell.First = UnitNormal(p01, p10, p00);
            cell.Second = UnitNormal(p11, p10, p01);
        } else {
            cell.First = UnitNormal(p00, p01, p11);
            cell.Second = UnitNormal(p10, p00, p11);
        }
    }
}

// Adds to a vertex the normals of the triangles of one cell it belongs to;
// (dr, dc) is the vertex's place in the cell.
inline __attribute__((always_inline)) void AddCellNormals(const TCellNormals& cell, int32_t dr, int32_t dc,
                                                          TVec3& normal)
{
    bool first, second;
    if (cell.AntiDiagonal) {
        first = !(dr == 1 && dc == 1);
        second = !(dr == 0 && dc == 0);
    } else {
        first = !(dr == 1 && dc == 0);
        second = !(dr == 0 && dc == 1);
    }
    if (first)
        Vec3Add(normal, cell.First, normal);
    if (second)
        Vec3Add(normal, cell.Second, normal);
}

// The fields of the vertex rows first .. last. Every vertex depends only on
// the finished positions and the cells, so any split of the rows gives the
// same bytes. The normals are summed in the order of a walk column by
// column (cells (r-1, c-1), (r, c-1), (r-1, c), (r, c), first triangle
// before second); the cell rows above and below the vertex row are kept,
// one row each, instead of a table of the whole map.
void SceneFieldsOfRows(int32_t first, int32_t last, int32_t n, const std::vector<int16_t>& cellHeights)
{
    std::vector<TCellNormals> above(static_cast<size_t>(std::max(n, 1)));
    std::vector<TCellNormals> below(above.size());
    if (first > 0 && first - 1 < n)
        CellNormalsOfRow(first - 1, n, above.data());
    // The cells' heights of rows r - 1, r and r + 1, packed for the ridge
    // test (the cell records are 35 bytes apart).
    std::vector<int16_t> heightRows[3];
    auto heightsOf = [n](int32_t r, std::vector<int16_t>& out) {
        out.resize(static_cast<size_t>(n) + 1);
        if (r < 0 || r > n)
            return;
        for (int32_t c = 0; c <= n; c++)
            out[static_cast<size_t>(c)] = MapCell(r, c).Height;
    };
    heightsOf(first - 1, heightRows[0]);
    heightsOf(first, heightRows[1]);
    for (int32_t r = first; r <= last; r++) {
        if (r < n)
            CellNormalsOfRow(r, n, below.data());
        heightsOf(r + 1, heightRows[2]);
        const int16_t* const rows[3] = {heightRows[0].data(), heightRows[1].data(), heightRows[2].data()};
        for (int32_t c = 0; c <= n; c++) {
            TTerrainVertex& vertex = TerrainVertex(r, c);
            int32_t key = 0;
            int32_t power = 1;
            for (int i = 0; i < vertex.LayerCount && i < 3; i++, power *= 17)
                key += vertex.Layers[i].Kind * power;
            vertex.LayerKey = key;

            const TMapCell& cell = MapCell(r, c);
            const bool dry = cell.KindWeights[KindSwamp] < 30;
            vertex.Facet = 0;
            if (r > 0 && c > 0 && r < n && c < n && dry &&
                (cellHeights.empty() ? IsRidgeOnRows(rows, c) : IsRidgeAsBuilt(r, c, cellHeights)))
                vertex.Facet = 1;
            // Scattered rock faces above the rock height.
            const int32_t height = cell.Height;
            if (height / 100.0f > MapInit.WaterLevel && (height + r + c) % 10 == 0 && dry)
                vertex.Facet = 1;

            // From zero: the headless build leaves the normals alone, and a
            // rebuild would otherwise add to the last build's sums.
            vertex.Normal = TVec3{0, 0, 0};
            if (n < 1)
                continue;
            if (r > 0 && c > 0)
                AddCellNormals(above[static_cast<size_t>(c - 1)], 1, 1, vertex.Normal);
            if (r < n && c > 0)
                AddCellNormals(below[static_cast<size_t>(c - 1)], 0, 1, vertex.Normal);
            if (r > 0 && c < n)
                AddCellNormals(above[static_cast<size_t>(c)], 1, 0, vertex.Normal);
            if (r < n && c < n)
                AddCellNormals(below[static_cast<size_t>(c)], 0, 0, vertex.Normal);
        }
        std::swap(above, below);
        std::swap(heightRows[0], heightRows[1]);
        std::swap(heightRows[1], heightRows[2]);
    }
}

int32_t TerrainFieldWorkersWanted = 0; // 0: one per usable processor

// The workers of the field build, made on first use and kept: a map build
// comes once per load, and starting the threads again costs little next to
// it, but keeping them costs nothing while they sleep.
struct TTerrainFieldPool {
    TParallelizer Pool;
    int32_t Workers = 0;
};

struct TSceneFieldsJob {
    int32_t N = 0;
    int32_t Workers = 1;
    const std::vector<int16_t>* CellHeights = nullptr;
};

void SceneFieldsTask(int32_t index, void* userData)
{
    const TSceneFieldsJob& job = *static_cast<const TSceneFieldsJob*>(userData);
    if (index >= job.Workers)
        return;
    const int32_t rows = job.N + 1;
    const int32_t first = static_cast<int32_t>(int64_t{rows} * index / job.Workers);
    const int32_t last = static_cast<int32_t>(int64_t{rows} * (index + 1) / job.Workers) - 1;
    if (first <= last)
        SceneFieldsOfRows(first, last, job.N, *job.CellHeights);
}

} // namespace

void SetTerrainFieldWorkers(int32_t workers)
{
    TerrainFieldWorkersWanted = std::max(0, workers);
}

void AddTerrainSceneFields(const std::vector<int16_t>& cellHeights)
{
    if (!GridsReady())
        return;
    const int32_t n = MapInit.MapSizeMinus1;
    // Unless asked for a count, fewer than 64 rows a worker is not worth a
    // thread.
    const int32_t workers = TerrainFieldWorkersWanted > 0
                                ? std::min(TerrainFieldWorkersWanted, n + 1)
                                : std::clamp(UsableProcessors(), 1, std::max(1, (n + 1) / 64));
    if (workers == 1) {
        SceneFieldsOfRows(0, n, n, cellHeights);
    } else {
        static TTerrainFieldPool pool;
        if (pool.Workers != workers) {
            pool.Pool.InitWorkers(workers);
            pool.Pool.Watch = false;
            pool.Workers = workers;
        }
        // The pool splits first .. last in (last - first) div workers
        // steps, the caller taking the rest: over 0 .. workers each worker
        // gets one share and the caller its own plus the empty index
        // workers.
        TSceneFieldsJob job{n, workers, &cellHeights};
        pool.Pool.Run(SceneFieldsTask, 0, workers, &job, true);
    }
    if (n >= 1)
        LoadingProgress += (n - 1) / 64 + 1; // a step per 64 columns
}

void BuildTerrainModel()
{
    if (!GridsReady())
        return;
    // The build clamps low cells as it reaches them; the ridge test of a
    // vertex sees the cells after it as they were read.
    std::vector<int16_t> heights;
    const int32_t n = MapInit.MapSizeMinus1;
    for (int32_t r = 0; r <= n && heights.empty(); r++)
        for (int32_t c = 0; c <= n; c++)
            if (MapCell(r, c).Height < -300) {
                heights.resize(size_t{MapGridSide} * MapGridSide);
                for (int32_t rr = 0; rr <= n; rr++)
                    for (int32_t cc = 0; cc <= n; cc++)
                        heights[size_t(rr) * MapGridSide + size_t(cc)] = MapCell(rr, cc).Height;
                break;
            }
    HeadlessBuildTerrainModel();
    AddTerrainSceneFields(heights);
}

// ---------------------------------------------------------------------------
// Cover from the index render

bool TMapIndexCover::Begin()
{
    if (MainRender == nullptr || MapScene() == nullptr)
        return false;
    if (RenderFirst)
        RenderMapIndex(true);
    T3D_Texture* texture = TextureAt(*MainRender, MapTargets.MapIndexReadBack);
    if (texture == nullptr || texture->OffscreenSurface == nullptr)
        return false;
    D3DLOCKED_RECT locked{};
    if (texture->OffscreenSurface->LockRect(&locked, nullptr, D3DLOCK_READONLY) != D3D_OK || locked.pBits == nullptr)
        return false;
    Bits = static_cast<const uint8_t*>(locked.pBits);
    Pitch = locked.Pitch;
    Width = texture->DeviceWidth;
    Height = texture->DeviceHeight;
    return true;
}

void TMapIndexCover::End()
{
    if (Bits == nullptr)
        return;
    if (T3D_Texture* texture = TextureAt(*MainRender, MapTargets.MapIndexReadBack))
        if (texture->OffscreenSurface != nullptr)
            texture->OffscreenSurface->UnlockRect();
    Bits = nullptr;
}

void TMapIndexCover::VertexTexels(int32_t r, int32_t c, uint16_t texels[4])
{
    const int32_t n = MapInit.MapSizeMinus1;
    int i = 0;
    for (int32_t s = 0; s <= 1; s++)
        for (int32_t t = 0; t <= 1; t++, i++) {
            const int32_t x = 2 * r + s;
            const int32_t y = 2 * (n - c) + t;
            texels[i] = 0;
            if (Bits != nullptr && x >= 0 && y >= 0 && x < Width && y < Height)
                std::memcpy(&texels[i], Bits + static_cast<ptrdiff_t>(y) * Pitch + 2 * x, 2);
        }
}

void TMapIndexCover::BridgeSurfacePoint(const TVec3& p, int32_t b, TVec3& out)
{
    GetBridgeSurfacePoint(p, b, out);
}

bool TMapIndexCover::BuildingPassable(int32_t b)
{
    if (b < 1 || b > MapBuildings.Count)
        return false;
    const int32_t model = MapBuildings[b].Model;
    const int32_t variant = MapBuildings[b].Variant;
    if (model < 1 || model >= static_cast<int32_t>(BuildingModelLibrary.Kinds.size()))
        return false;
    const TModelKindRange& kind = BuildingModelLibrary.Kinds[static_cast<size_t>(model)];
    if (variant < 0 || variant >= kind.Count)
        return false;
    const size_t entry = static_cast<size_t>(kind.First + variant);
    return entry < BuildingModelPassable.size() && BuildingModelPassable[entry] != 0;
}

void UpdateMapChunks(const TIntArray& chunks)
{
    // Without a map scene (tools, tests) the headless footprints serve.
    if (MapScene() == nullptr) {
        HeadlessUpdateMapChunks(chunks);
        return;
    }
    TMapIndexCover cover;
    UpdateMapChunksFrom(chunks, cover);
}

// ---------------------------------------------------------------------------
// Heights

bool DeckHeightAt(const float* positions, size_t count, size_t stride, float z, float& height)
{
    int low = -1, high = -1;
    for (size_t i = 0; i < count; i++) {
        const float vz = positions[i * stride + 2];
        if (!(vz == vz))
            continue;
        if (vz <= z && (low < 0 || vz > positions[size_t(low) * stride + 2]))
            low = static_cast<int>(i);
        if (vz >= z && (high < 0 || vz < positions[size_t(high) * stride + 2]))
            high = static_cast<int>(i);
    }
    if (low < 0 && high < 0)
        return false;
    // One side only, or both at one z: that vertex is the deck.
    if (low < 0 || high < 0 || positions[size_t(low) * stride + 2] == positions[size_t(high) * stride + 2]) {
        height = positions[size_t(low >= 0 ? low : high) * stride + 1];
        return true;
    }
    const float lz = positions[size_t(low) * stride + 2], ly = positions[size_t(low) * stride + 1];
    const float hz = positions[size_t(high) * stride + 2], hy = positions[size_t(high) * stride + 1];
    height = ly + (z - lz) / (hz - lz) * (hy - ly);
    return true;
}

void GetBridgeSurfacePoint(const TVec3& position, int32_t building, TVec3& point)
{
    point = position;
    if (building < 1 || building > MapBuildings.Count || MapBuildings[building].Model != BridgeModel)
        return;
    const TMapBuilding& b = MapBuildings[building];
    const float scale = b.Scale * DefBuildingScale;
    if (!(scale != 0) || MainRender == nullptr || static_cast<size_t>(building) >= BuildingInstances.size())
        return;
    T3D_Scene* scene = MapScene();
    if (scene == nullptr)
        return;
    const T3D_Mesh* deck = nullptr;
    for (const int32_t instance : BuildingInstances[static_cast<size_t>(building)]) {
        const T3D_SceneMesh* part = scene->GetMesh(instance);
        const T3D_Mesh* mesh = part != nullptr ? MainRender->Mesh_Get(part->MeshIndex) : nullptr;
        if (mesh != nullptr && NameContains("Enter", mesh->Name))
            deck = mesh;
    }
    if (deck == nullptr || deck->VertexStride < 12 || deck->VertexStride % 4 != 0 || deck->Vertices.empty())
        return;
    const size_t count = deck->Vertices.size() / static_cast<size_t>(deck->VertexStride);
    TVec3 local{(position.x - b.Pos[0]) / scale, (position.y - b.Pos[1]) / scale, (position.z - b.Pos[2]) / scale};
    TMatrix4 turn;
    MatrixRotationY(turn, -b.Angle);
    Vec3TransformCoord(local, turn, local);
    float height = 0;
    if (!DeckHeightAt(reinterpret_cast<const float*>(deck->Vertices.data()), count,
                      static_cast<size_t>(deck->VertexStride) / 4, local.z, height))
        return;
    const float deckY = height * scale + b.Pos[1];
    if (deckY > position.y)
        point.y = deckY;
}

void GetTerrainPoint(const TVec3& position, bool ignoreWater, TVec3& point)
{
    GetTerrainHeightAt(position, ignoreWater, point);
    const TTerrainVertex* vertex = GetMapVertexAt(point);
    if (vertex == nullptr || vertex->Cover == 0 || vertex->Cover > MapBuildings.Count)
        return;
    if (MapBuildings[vertex->Cover].Model == BridgeModel)
        GetBridgeSurfacePoint(point, vertex->Cover, point);
}
