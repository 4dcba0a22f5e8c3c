#include "scenes/Landscape_Terrain.h"

#include <cmath>
#include <cstring>

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

// A ridge: the highest and lowest neighbours at least three steps apart
// around the vertex, and both arcs between them lower than the vertex.
bool IsRidge(int32_t r, int32_t c, const std::vector<int16_t>& cellHeights)
{
    // The vertices are finished column by column: cells not reached yet
    // still hold their height as read.
    auto height = [&](int32_t nr, int32_t nc) -> int32_t {
        const bool reached = nc < c || (nc == c && nr <= r);
        if (!reached && !cellHeights.empty())
            return cellHeights[static_cast<size_t>(nr) * MapGridSide + static_cast<size_t>(nc)];
        return MapCell(nr, nc).Height;
    };
    int32_t h[8];
    int hi = 0, lo = 0;
    for (int k = 0; k < 8; k++) {
        h[k] = height(r + Around[k][0], c + Around[k][1]);
        if (h[k] > h[hi])
            hi = k;
        if (h[k] < h[lo])
            lo = k;
    }
    const int apart = std::abs(hi - lo);
    if (std::min(apart, 8 - apart) <= 2)
        return false;
    const int32_t self = height(r, c);
    // The two arcs strictly between hi and lo.
    float sums[2] = {0, 0};
    int counts[2] = {0, 0};
    for (int arc = 0; arc < 2; arc++) {
        const int step = arc == 0 ? 1 : 7;
        for (int k = (hi + step) % 8; k != lo; k = (k + step) % 8) {
            sums[arc] += static_cast<float>(h[k] - self);
            counts[arc]++;
        }
    }
    for (int arc = 0; arc < 2; arc++)
        if (counts[arc] == 0 || !(sums[arc] / static_cast<float>(counts[arc]) < -5.0f))
            return false;
    return true;
}

TVec3 UnitNormal(const TVec3& a, const TVec3& b, const TVec3& c)
{
    TVec3 ab, bc, n;
    Vec3Sub(a, b, ab);
    Vec3Sub(b, c, bc);
    Vec3Normalize(ab, ab);
    Vec3Normalize(bc, bc);
    Vec3Cross(ab, bc, n);
    Vec3Normalize(n, n);
    return n;
}

void AddNormal(int32_t r1, int32_t c1, int32_t r2, int32_t c2, int32_t r3, int32_t c3)
{
    TTerrainVertex& a = TerrainVertex(r1, c1);
    TTerrainVertex& b = TerrainVertex(r2, c2);
    TTerrainVertex& c = TerrainVertex(r3, c3);
    const TVec3 n = UnitNormal(a.Position, b.Position, c.Position);
    Vec3Add(a.Normal, n, a.Normal);
    Vec3Add(b.Normal, n, b.Normal);
    Vec3Add(c.Normal, n, c.Normal);
}

} // namespace

void AddTerrainSceneFields(const std::vector<int16_t>& cellHeights)
{
    if (!GridsReady())
        return;
    const int32_t n = MapInit.MapSizeMinus1;
    for (int32_t r = 0; r <= n; r++)
        for (int32_t c = 0; c <= n; c++) {
            TTerrainVertex& vertex = TerrainVertex(r, c);
            int32_t key = 0;
            int32_t power = 1;
            for (int i = 0; i < vertex.LayerCount && i < 3; i++, power *= 17)
                key += vertex.Layers[i].Kind * power;
            vertex.LayerKey = key;
        }
    for (int32_t c = 0; c <= n; c++)
        for (int32_t r = 0; r <= n; r++) {
            TTerrainVertex& vertex = TerrainVertex(r, c);
            const TMapCell& cell = MapCell(r, c);
            const bool dry = cell.KindWeights[KindSwamp] < 30;
            vertex.Facet = 0;
            if (r > 0 && c > 0 && r < n && c < n && dry && IsRidge(r, c, cellHeights))
                vertex.Facet = 1;
            // Scattered rock faces above the rock height.
            const int32_t height = cell.Height;
            if (height / 100.0f > MapInit.WaterLevel && (height + r + c) % 10 == 0 && dry)
                vertex.Facet = 1;
        }
    for (int32_t c = 0; c < n; c++) {
        for (int32_t r = 0; r < n; r++) {
            const int32_t corner = GetCellLowCorner(r, c);
            if (corner == 1 || corner == 4) {
                AddNormal(r, c + 1, r + 1, c, r, c);
                AddNormal(r + 1, c + 1, r + 1, c, r, c + 1);
            } else {
                AddNormal(r, c, r, c + 1, r + 1, c + 1);
                AddNormal(r + 1, c, r, c, r + 1, c + 1);
            }
        }
        if (c % 64 == 0)
            LoadingProgress++;
    }
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
