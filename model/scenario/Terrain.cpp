#include "model/scenario/Terrain.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"

int32_t Chunks64PerSide = 0;
int32_t Chunks16PerSide = 0;
int32_t Chunk64Count = 0;
int32_t Chunk16Count = 0;

const float LayerCostFactors[17] = {0,    1.4f, 1.3f, 0,     2.3f, 1.3f, 1.25f, 1.25f, 1.25f,
                                    1.5f, 2.1f, 2.1f, 0.75f, 0.5f, 1.5f, 1.5f,  1.7f};

const TRingOffset RingOffsets[49] = {
    {0, 0},                                                                   // centre
    {1, 0}, {0, 1},  {-1, 0},  {0, -1},                                       // 1-4
    {1, 1}, {1, -1}, {-1, -1}, {-1, 1},                                       // 5-8
    {2, 0}, {0, 2},  {-2, 0},  {0, -2},                                       // 9-12
    {1, 2}, {2, 1},  {2, -1},  {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}, // 13-20
    {2, 2}, {2, -2}, {-2, -2}, {-2, 2},                                       // 21-24
    {3, 0}, {0, 3},  {-3, 0},  {0, -3},                                       // 25-28
    {1, 3}, {3, 1},  {3, -1},  {1, -3}, {-1, -3}, {-3, -1}, {-3, 1}, {-1, 3}, // 29-36
    {2, 3}, {3, 2},  {3, -2},  {2, -3}, {-2, -3}, {-3, -2}, {-3, 2}, {-2, 3}, // 37-44
    {3, 3}, {3, -3}, {-3, -3}, {-3, 3},                                       // 45-48
};

namespace {

// Ground kinds the rules name.
constexpr int KindSwamp = 3;
constexpr int KindHummocks = 4;
constexpr int KindArable = 10;
constexpr int KindField = 11;
constexpr int KindRoad = 12;
constexpr int KindStoneRoad = 13;

constexpr uint16_t EnterTexel = 16384;

int32_t LowCornerOf(float h1, float h2, float h3, float h4);

int32_t MapN()
{
    return MapInit.MapSizeMinus1;
}

bool GridsReady()
{
    return !MapCells.empty() && !TerrainVertices.empty() && MapN() >= 0 && MapN() <= MapSizeMax;
}

bool OnMap(int32_t r, int32_t c)
{
    return r >= 0 && c >= 0 && r <= MapN() && c <= MapN();
}

// A map coordinate rounded to the nearest vertex (halves to even); false for
// a value that names no vertex anywhere near the grid (NaN, infinities).
bool RoundCoordinate(float value, int32_t& rounded)
{
    if (!(value > -1.0e6f && value < 1.0e6f))
        return false;
    rounded = static_cast<int32_t>(std::nearbyint(value));
    return true;
}

// The vertex a position stands on: (0, 0) for a position off the map.
TTerrainVertex& MapVertexAt(float x, float z)
{
    int32_t r = 0;
    int32_t c = 0;
    if (!RoundCoordinate(x, r) || !RoundCoordinate(z, c) || !OnMap(r, c))
        r = c = 0;
    return TerrainVertex(r, c);
}

bool IsHillClass(uint8_t terrainClass)
{
    return terrainClass == 3 || terrainClass == 5 || terrainClass == 7 || terrainClass == 9 || terrainClass == 11 ||
           terrainClass == 12;
}

// Steps 1 to 3 of a vertex's layers: the cell's weights made percentages
// (rounded halves to even; the heaviest kind, the first of equals, takes what
// the rounding lost, so an empty cell becomes 100 % of kind 1), then up to
// three kinds of at least 1 %, heaviest first (the lower kind among equals),
// stored by kind number, highest first.
void NormalizeAndPickLayers(TMapCell& cell, TTerrainVertex& vertex)
{
    uint8_t kinds[16];
    int count = 0;
    int32_t sum = 0;
    for (int k = 1; k <= 16; k++)
        if (cell.KindWeights[k] != 0) {
            kinds[count++] = static_cast<uint8_t>(k);
            sum += cell.KindWeights[k];
        }
    int largest = 1;
    int32_t total = 0;
    for (int i = 0; i < count; i++) {
        uint8_t& weight = cell.KindWeights[kinds[i]];
        const int32_t scaled = weight * 100;
        int32_t rounded = scaled / sum;
        const int32_t twice = 2 * (scaled % sum);
        if (twice > sum || (twice == sum && rounded % 2 == 1))
            rounded++;
        weight = static_cast<uint8_t>(rounded);
        total += rounded;
        if (rounded > cell.KindWeights[largest])
            largest = kinds[i];
    }
    if (total != 100)
        cell.KindWeights[largest] = static_cast<uint8_t>(cell.KindWeights[largest] + 100 - total);

    int picks[3];
    int picked = 0;
    bool taken[16] = {};
    for (; picked < 3; picked++) {
        int best = -1;
        for (int i = 0; i < count; i++) {
            const uint8_t weight = cell.KindWeights[kinds[i]];
            if (!taken[i] && weight >= 1 && (best < 0 || weight > cell.KindWeights[kinds[best]]))
                best = i;
        }
        if (best < 0)
            break;
        taken[best] = true;
        picks[picked] = kinds[best];
    }
    if (count == 0)
        picks[picked++] = largest; // the empty cell's 100 % of kind 1
    std::sort(picks, picks + picked, [](int a, int b) { return a > b; });
    vertex.LayerCount = static_cast<uint8_t>(picked);
    for (int i = 0; i < picked; i++)
        vertex.Layers[i] = TTerrainLayer{static_cast<uint8_t>(picks[i]), cell.KindWeights[picks[i]]};
}

// The grid as the layer reduction of vertex (r, c) sees it: the vertices
// are finished column by column, so those after (r, c) in that order have no
// layers and height 0 yet.
struct TReachedView {
    int32_t R, C;
    bool Reached(int32_t nr, int32_t nc) const { return nc < C || (nc == C && nr <= R); }
    float Height(int32_t nr, int32_t nc) const { return Reached(nr, nc) ? TerrainVertex(nr, nc).Position.y : 0.0f; }
    // Whether the cell holding (R, C) and (R + dr, C + dc) is split along
    // the diagonal that joins them.
    bool SharesDiagonal(int32_t dr, int32_t dc) const
    {
        const int32_t r = std::min(R, R + dr), c = std::min(C, C + dc);
        int32_t corner = 0;
        if (r >= 0 && c >= 0 && r <= MapN() - 1 && c <= MapN() - 1)
            corner = LowCornerOf(Height(r, c), Height(r + 1, c), Height(r, c + 1), Height(r + 1, c + 1));
        const bool antiDiagonal = corner == 1 || corner == 4;
        return (dr == dc) ? !antiDiagonal : antiDiagonal;
    }
};

// Step 4: a vertex with three layers among neighbours of more than three
// kinds drops its weakest layer.
void ReduceLayers(int32_t r, int32_t c, TTerrainVertex& vertex)
{
    if (vertex.LayerCount != 3)
        return;
    const TReachedView view{r, c};
    int32_t kindCount[17] = {};
    auto countAt = [&](int32_t nr, int32_t nc) {
        if (!OnMap(nr, nc) || !view.Reached(nr, nc))
            return;
        const TTerrainVertex& other = TerrainVertex(nr, nc);
        for (int i = 0; i < other.LayerCount && i < 3; i++)
            if (other.Layers[i].Kind >= 1 && other.Layers[i].Kind <= 16)
                kindCount[other.Layers[i].Kind]++;
    };
    for (int k = 0; k <= 4; k++)
        countAt(r + RingOffsets[k].dx, c + RingOffsets[k].dz);
    for (int k = 5; k <= 8; k++)
        if (view.SharesDiagonal(RingOffsets[k].dx, RingOffsets[k].dz))
            countAt(r + RingOffsets[k].dx, c + RingOffsets[k].dz);
    int kinds = 0;
    for (int k = 1; k <= 16; k++)
        kinds += kindCount[k] > 0;
    if (kinds <= 3)
        return;
    int weakest = 0;
    for (int i = 1; i < 3; i++)
        if (vertex.Layers[i].Weight * kindCount[vertex.Layers[i].Kind] <
            vertex.Layers[weakest].Weight * kindCount[vertex.Layers[weakest].Kind])
            weakest = i;
    for (int i = weakest; i < 2; i++)
        vertex.Layers[i] = vertex.Layers[i + 1];
    vertex.Layers[2] = TTerrainLayer{};
    vertex.LayerCount = 2;
}

// sin(slope in degrees) + 1 for each slope byte, in single precision.
float SlopeFactor(uint8_t slope)
{
    static const std::array<float, 256> factors = [] {
        std::array<float, 256> table{};
        for (int degrees = 0; degrees < 256; degrees++)
            table[degrees] = std::sin(static_cast<float>(degrees) * static_cast<float>(M_PI) / 180.0f) + 1.0f;
        return table;
    }();
    return factors[slope];
}

// Step 7: the walk cost of the bare ground.
uint8_t TerrainCostOf(const TMapCell& cell, const TTerrainVertex& vertex)
{
    float value;
    switch (cell.TerrainClass) {
    case 0:
        return 1;
    case 1:
        return int32_t{cell.TerrainValue} < MapInit.ShallowLimit ? 12 : 1;
    case 10:
        value = 5;
        break;
    default:
        if (IsHillClass(cell.TerrainClass))
            return 0;
        value = 4; // land, and the classes the data never uses
        break;
    }
    for (int i = 0; i < vertex.LayerCount; i++) {
        const float factor = LayerCostFactors[vertex.Layers[i].Kind];
        const float weight = vertex.Layers[i].Weight;
        if (factor > 0) {
            value = value * ((factor - 1.0f) * weight / 100.0f + 1.0f);
        } else if (weight >= 75) {
            value = 0;
        } else {
            value = value * (weight / 100.0f + 1.0f);
        }
    }
    value = value * SlopeFactor(cell.TerrainValue);
    return static_cast<uint8_t>(std::min(255.0f, std::nearbyint(value)));
}

// The trees anchored around each vertex, counted over the 7 x 7 vertices
// of ring offsets 0..48 with window sums over the whole map.
class TTreeCounts {
public:
    void Build(int32_t n)
    {
        Side = n + 2;
        Broadleaf.assign(static_cast<size_t>(Side) * Side, 0);
        Conifers.assign(static_cast<size_t>(Side) * Side, 0);
        for (int32_t r = 0; r <= n; r++)
            for (int32_t c = 0; c <= n; c++) {
                const uint16_t tree = TerrainVertex(r, c).Tree;
                const int32_t kind = tree != 0 && tree <= MapTrees.Count ? MapTrees[tree].Kind : 0;
                const size_t at = static_cast<size_t>(r + 1) * Side + static_cast<size_t>(c + 1);
                const size_t up = at - static_cast<size_t>(Side), left = at - 1, corner = up - 1;
                Broadleaf[at] = Broadleaf[up] + Broadleaf[left] - Broadleaf[corner] + IsBroadleaf(kind);
                Conifers[at] = Conifers[up] + Conifers[left] - Conifers[corner] + IsConifer(kind);
            }
    }
    // The counts of the vertices around (r, c) on the map, (r, c) itself left out.
    void Around(int32_t r, int32_t c, int32_t n, int32_t& broadleaf, int32_t& conifers) const
    {
        const int32_t r0 = std::max(r - 3, 0), r1 = std::min(r + 3, n);
        const int32_t c0 = std::max(c - 3, 0), c1 = std::min(c + 3, n);
        broadleaf = Window(Broadleaf, r0, r1, c0, c1) - Window(Broadleaf, r, r, c, c);
        conifers = Window(Conifers, r0, r1, c0, c1) - Window(Conifers, r, r, c, c);
    }
    static bool IsBroadleaf(int32_t kind) { return (kind >= 1 && kind <= 4) || kind == 13; }
    static bool IsConifer(int32_t kind) { return kind == 5 || kind == 6; }

private:
    int32_t Window(const std::vector<int32_t>& sums, int32_t r0, int32_t r1, int32_t c0, int32_t c1) const
    {
        auto at = [&](int32_t r, int32_t c) { return sums[static_cast<size_t>(r) * Side + static_cast<size_t>(c)]; };
        return at(r1 + 1, c1 + 1) - at(r0, c1 + 1) - at(r1 + 1, c0) + at(r0, c0);
    }
    int32_t Side = 0;
    std::vector<int32_t> Broadleaf; // window sums, one row and column of 0 in front
    std::vector<int32_t> Conifers;
};

uint8_t GroundClassOf(int32_t r, int32_t c, const TMapCell& cell, const TTerrainVertex& vertex,
                      const TTreeCounts& trees)
{
    if (cell.TerrainClass == 0)
        return 1;
    if (cell.TerrainClass == 1)
        return 2;
    if (IsHillClass(cell.TerrainClass))
        return 9;
    uint8_t groundClass = 8;
    for (int i = 0; i < vertex.LayerCount; i++) {
        if (vertex.Layers[i].Weight <= 60)
            continue;
        switch (vertex.Layers[i].Kind) {
        case KindSwamp:
            groundClass = 3;
            break;
        case KindHummocks:
            groundClass = 4;
            break;
        case KindArable:
        case KindField:
            groundClass = 7;
            break;
        case KindRoad:
            groundClass = 6;
            break;
        case KindStoneRoad:
            groundClass = 5;
            break;
        default:
            break;
        }
    }
    int32_t broadleaf = 0;
    int32_t conifers = 0;
    trees.Around(r, c, MapN(), broadleaf, conifers);
    if (broadleaf + conifers >= 6)
        groundClass = 13;
    else if (broadleaf + conifers > 2)
        groundClass = 11;
    if (conifers > 5)
        groundClass = 12;
    else if (conifers > 2)
        groundClass = 10;
    return groundClass;
}

// ---------------------------------------------------------------------------
// Costs of the placed models

// One plant's cost change at ring offset k around (r, c).
void RaisePlantCost(int32_t r, int32_t c, int k, bool soft, const int32_t region[4])
{
    const int32_t vr = r + RingOffsets[k].dx;
    const int32_t vc = c + RingOffsets[k].dz;
    if (!OnMap(vr, vc) || vr < region[0] || vr > region[1] || vc < region[2] || vc > region[3])
        return;
    TTerrainVertex& vertex = TerrainVertex(vr, vc);
    uint8_t& p = vertex.PlacedCost;
    if (p == 0)
        return;
    if (soft) {
        if (k == 0 && p < 6)
            p += 2;
        else if (k >= 1 && p < 7)
            p += 1;
    } else if (k <= 8) {
        p = 0;
    } else if (k <= 20) {
        if (p < 8)
            p += 2;
    } else if (p < 8) {
        p += 1;
    }
    vertex.Cost = p;
}

void ApplyPlantCosts(int32_t r, int32_t c, int32_t kind, const int32_t region[4])
{
    int last = 24;
    bool soft = false;
    if (kind == 7) {
        last = 4;
    } else if (kind == 8 || kind == 9 || kind == 12) {
        last = 8;
        soft = true;
    } else if (kind == 11) {
        last = 0;
    }
    for (int k = 0; k <= last; k++)
        RaisePlantCost(r, c, k, soft, region);
}

// The headless footprints: building b + 16384 on the 3 x 3 vertices around
// its anchor, the later building over the earlier; all four texels of a
// vertex alike.
class THeadlessFootprints : public TTerrainCoverSource {
public:
    bool Begin() override
    {
        Image.resize(size_t{MapGridSide} * MapGridSide);
        for (int32_t r = 0; r <= MapN(); r++)
            std::fill_n(Image.begin() + static_cast<ptrdiff_t>(r) * MapGridSide, MapN() + 1, uint16_t{0});
        for (int32_t b = 1; b <= MapBuildings.Count; b++) {
            const TMapBuilding& building = MapBuildings[b];
            int32_t r, c;
            if (building.Model <= 0 || !RoundCoordinate(building.Pos[0], r) || !RoundCoordinate(building.Pos[2], c))
                continue;
            for (int k = 0; k <= 8; k++) {
                const int32_t vr = r + RingOffsets[k].dx;
                const int32_t vc = c + RingOffsets[k].dz;
                if (OnMap(vr, vc))
                    Image[size_t(vr) * MapGridSide + size_t(vc)] = static_cast<uint16_t>(b + EnterTexel);
            }
        }
        return true;
    }
    void VertexTexels(int32_t r, int32_t c, uint16_t texels[4]) override
    {
        std::fill_n(texels, 4, Image[size_t(r) * MapGridSide + size_t(c)]);
    }

private:
    std::vector<uint16_t> Image;
};

void ApplyCoverAt(int32_t r, int32_t c, TTerrainCoverSource& source)
{
    TTerrainVertex& vertex = TerrainVertex(r, c);
    uint16_t texels[4];
    source.VertexTexels(r, c, texels);
    bool object = false;
    bool building = true;
    bool enter = true;
    for (const uint16_t texel : texels) {
        object = object || (texel >= 3001 && texel <= 5999);
        building = building && ((texel >= 1 && texel <= 2999) || texel > EnterTexel);
        enter = enter && texel > EnterTexel;
    }
    const uint16_t last = texels[3];
    const int32_t b = last > EnterTexel ? last - EnterTexel : last;
    bool bridge = false;
    if (building && (b < 1 || b > MapBuildings.Count))
        building = enter = false;
    const bool bridgeModel = building && MapBuildings[b].Model == static_cast<int32_t>(TBuildingModel::Bridge);
    if (bridgeModel) {
        bridge = true;
        TVec3 ground, deck;
        GetTerrainHeightAt(TVec3{static_cast<float>(r), 0, static_cast<float>(c)}, false, ground);
        source.BridgeSurfacePoint(ground, b, deck);
        // A deck level with the ground is no bridge here: the ground's own
        // cost stands.
        if (deck.y == ground.y)
            building = enter = false;
    }
    if (building) {
        vertex.Cover = static_cast<uint16_t>(b);
        if (BuildingTexts[b].Name.empty() && !bridge)
            vertex.PlacedCost = 0;
        else if (source.BuildingPassable(b) || enter)
            vertex.PlacedCost = static_cast<uint8_t>(vertex.PlacedCost + 2);
        else
            vertex.PlacedCost = 0;
        if (bridgeModel && enter)
            vertex.PlacedCost = 4;
    } else if (object) {
        vertex.PlacedCost = 0;
    }
    vertex.Cost = vertex.PlacedCost;
}

// The cost steps over the vertices of one rectangle {r0, r1, c0, c1}.
void UpdateCostsIn(const int32_t region[4], TTerrainCoverSource& source, bool covered, bool progress)
{
    for (int32_t r = region[0]; r <= region[1]; r++)
        for (int32_t c = region[2]; c <= region[3]; c++) {
            TTerrainVertex& vertex = TerrainVertex(r, c);
            vertex.Cover = 0;
            vertex.PlacedCost = vertex.TerrainCost > 1 ? vertex.TerrainCost : 0;
            vertex.Cost = vertex.PlacedCost;
        }
    if (progress)
        LoadingProgress++;

    for (int32_t t = 1; t <= MapTrees.Count; t++) {
        int32_t r, c;
        if (RoundCoordinate(MapTrees[t].Pos[0], r) && RoundCoordinate(MapTrees[t].Pos[2], c))
            ApplyPlantCosts(r, c, MapTrees[t].Kind, region);
    }

    const int32_t c0 = std::max(region[2], 1);
    const int32_t c1 = std::min(region[3], MapN() - 1);
    const int32_t r0 = std::max(region[0], 1);
    const int32_t r1 = std::min(region[1], MapN() - 1);
    // Each vertex's cover depends on its own texels only: walked along the
    // grid's rows, where it lies in memory.
    if (covered)
        for (int32_t r = r0; r <= r1; r++)
            for (int32_t c = c0; c <= c1; c++)
                ApplyCoverAt(r, c, source);
    if (progress && c0 <= c1)
        LoadingProgress += c1 / 64 - (c0 - 1) / 64 + 1; // a step per 64 columns and one at the end
    else if (progress)
        LoadingProgress++;

    for (int32_t o = 1; o <= MapObjects.Count; o++) {
        int32_t r, c;
        if (!RoundCoordinate(MapObjects[o].Pos[0], r) || !RoundCoordinate(MapObjects[o].Pos[2], c) || !OnMap(r, c) ||
            r < region[0] || r > region[1] || c < region[2] || c > region[3])
            continue;
        TTerrainVertex& vertex = TerrainVertex(r, c);
        if (vertex.Cover == 0)
            vertex.PlacedCost = vertex.Cost = 0;
    }
}

} // namespace

// ---------------------------------------------------------------------------

TTerrainVertex* GetMapVertexAt(const TVec3& position)
{
    if (!GridsReady())
        return nullptr;
    return &MapVertexAt(position.x, position.z);
}

int32_t MapCellIndexAt(float x, float z)
{
    int32_t r, c;
    if (!GridsReady() || !RoundCoordinate(x, r) || !RoundCoordinate(z, c) || !OnMap(r, c))
        return 0;
    return MapCellIndex(r, c);
}

int32_t MapCellIndex(int32_t r, int32_t c)
{
    return r * (MapN() + 1) + c;
}

TTerrainVertex* GetMapVertexByIndex(int32_t i)
{
    if (!GridsReady())
        return nullptr;
    const int32_t side = MapN() + 1;
    if (i < 0 || i >= side * side)
        i = 0;
    return &TerrainVertex(i / side, i % side);
}

int32_t GetCellLowCorner(int32_t r, int32_t c)
{
    if (r < 0 || c < 0 || r > MapN() - 1 || c > MapN() - 1)
        return 0;
    return LowCornerOf(TerrainVertex(r, c).Position.y, TerrainVertex(r + 1, c).Position.y,
                       TerrainVertex(r, c + 1).Position.y, TerrainVertex(r + 1, c + 1).Position.y);
}

namespace {

int32_t LowCornerOf(float h1, float h2, float h3, float h4)
{
    const float heights[5] = {0, h1, h2, h3, h4};
    int low = 1;
    int high = 1;
    for (int k = 2; k <= 4; k++) {
        if (heights[k] < heights[low])
            low = k;
        if (heights[k] > heights[high])
            high = k;
    }
    for (int k = 1; k <= 4; k++)
        if (k != low && heights[k] == heights[low])
            return 5 - high;
    return low;
}

} // namespace

bool IsRingOffsetOnMap(int32_t r, int32_t c, int32_t k, int32_t step)
{
    if (k < 0 || k > 48)
        return false;
    return OnMap(r + step * RingOffsets[k].dx, c + step * RingOffsets[k].dz);
}

int32_t Chunk16IndexAt(float x, float z)
{
    int32_t r, c;
    if (!RoundCoordinate(x, r) || !RoundCoordinate(z, c) || !OnMap(r, c))
        return 0;
    if (r == MapN())
        r = MapN() - 1;
    else if (c == MapN())
        c = MapN() - 1;
    const int32_t chunk = (r / 16) * Chunks16PerSide + c / 16 + 1;
    return std::min(chunk, Chunk16Count);
}

void HeadlessBuildTerrainModel()
{
    if (!GridsReady())
        return;
    const int32_t n = MapN();
    Chunks64PerSide = n / 64;
    Chunks16PerSide = n / 16;
    Chunk64Count = Chunks64PerSide * Chunks64PerSide;
    Chunk16Count = Chunks16PerSide * Chunks16PerSide;
    std::memset(static_cast<void*>(TerrainVertices.data()), 0, TerrainVertices.size() * sizeof(TTerrainVertex));

    // The vertices are finished column by column; only the layer reduction
    // depends on that order (it reads the vertices finished before), so the
    // rest runs along the rows, where the grids lie in memory.
    std::vector<std::pair<int32_t, int32_t>> threeLayers; // (c, r)
    for (int32_t r = 0; r <= n; r++)
        for (int32_t c = 0; c <= n; c++) {
            TMapCell& cell = MapCell(r, c);
            TTerrainVertex& vertex = TerrainVertex(r, c);
            if (cell.Height < -300)
                cell.Height = -300;
            vertex.Position = TVec3{static_cast<float>(r), cell.Height / 100.0f, static_cast<float>(c)};
            vertex.WaterLevel = cell.SecondHeight / 100.0f;
            NormalizeAndPickLayers(cell, vertex);
            if (vertex.LayerCount == 3)
                threeLayers.emplace_back(c, r);
        }
    std::sort(threeLayers.begin(), threeLayers.end());
    for (const auto& [c, r] : threeLayers)
        ReduceLayers(r, c, TerrainVertex(r, c));
    for (int32_t r = 0; r <= n; r++)
        for (int32_t c = 0; c <= n; c++)
            TerrainVertex(r, c).TerrainCost = TerrainCostOf(MapCell(r, c), TerrainVertex(r, c));
    LoadingProgress += n / 16 + 1; // a step per 16 columns

    for (int32_t t = 1; t <= MapTrees.Count; t++) {
        TMapTree& tree = MapTrees[t];
        MapVertexAt(tree.Pos[0], tree.Pos[2]).Tree = static_cast<uint16_t>(t);
        tree.Chunk = Chunk16IndexAt(tree.Pos[0], tree.Pos[2]);
    }

    TTreeCounts trees;
    trees.Build(n);
    for (int32_t r = 0; r <= n; r++)
        for (int32_t c = 0; c <= n; c++)
            TerrainVertex(r, c).GroundClass = GroundClassOf(r, c, MapCell(r, c), TerrainVertex(r, c), trees);
    LoadingProgress += n / 32 + 1; // a step per 32 columns

    for (int32_t b = 1; b <= MapBuildings.Count; b++)
        if (MapBuildings[b].Model > 0)
            MapVertexAt(MapBuildings[b].Pos[0], MapBuildings[b].Pos[2]).Building = static_cast<uint16_t>(b);
    for (int32_t o = 1; o <= MapObjects.Count; o++)
        if (MapObjects[o].ModelGroup > 0)
            MapVertexAt(MapObjects[o].Pos[0], MapObjects[o].Pos[2]).MapObject = static_cast<uint16_t>(o);
}

void HeadlessUpdateMapChunks(const TIntArray& chunks)
{
    THeadlessFootprints footprints;
    UpdateMapChunksFrom(chunks, footprints);
}

void UpdateMapChunksFrom(const TIntArray& chunks, TTerrainCoverSource& source)
{
    if (!GridsReady())
        return;
    const int32_t n = MapN();
    const bool covered = source.Begin();
    if (chunks.empty()) {
        const int32_t whole[4] = {0, n, 0, n};
        UpdateCostsIn(whole, source, covered, true);
    } else {
        const int64_t perSide = std::max(Chunks64PerSide, 1);
        for (const int32_t chunk : chunks) {
            const int64_t first = int64_t{chunk} - 1;
            const int64_t r0 = std::max<int64_t>(1, (first / perSide) * 64 - 1);
            const int64_t c0 = std::max<int64_t>(1, (first % perSide) * 64 - 1);
            const int32_t region[4] = {static_cast<int32_t>(std::min<int64_t>(r0, n)),
                                       static_cast<int32_t>(std::min<int64_t>(r0 + 64, n - 1)),
                                       static_cast<int32_t>(std::min<int64_t>(c0, n)),
                                       static_cast<int32_t>(std::min<int64_t>(c0 + 64, n - 1))};
            if (region[0] <= region[1] && region[2] <= region[3])
                UpdateCostsIn(region, source, covered, false);
        }
    }
    if (covered)
        source.End();
}

void GetTerrainHeightAt(const TVec3& position, bool ignoreWater, TVec3& point)
{
    point = position;
    if (!GridsReady())
        return;
    const int32_t n = MapN();
    float x = position.x >= 0 ? position.x : 0;
    float z = position.z >= 0 ? position.z : 0;
    x = x <= n ? x : static_cast<float>(n);
    z = z <= n ? z : static_cast<float>(n);
    point.x = x;
    point.z = z;
    if (n < 1) {
        point.y = TerrainVertex(0, 0).Position.y;
        return;
    }
    const int32_t r = std::min(static_cast<int32_t>(x), n - 1);
    const int32_t c = std::min(static_cast<int32_t>(z), n - 1);
    // The offset inside the cell: the fraction, or 1 on the far edge of the map.
    const float fx = x - static_cast<float>(r);
    const float fz = z - static_cast<float>(c);
    const int32_t corner = GetCellLowCorner(r, c);
    const TVec3* a;
    const TVec3* b;
    const TVec3* d;
    if (corner == 1 || corner == 4) {
        if (fx * fx + fz * fz < (1 - fx) * (1 - fx) + (1 - fz) * (1 - fz)) {
            a = &TerrainVertex(r, c).Position, b = &TerrainVertex(r + 1, c).Position,
            d = &TerrainVertex(r, c + 1).Position;
        } else {
            a = &TerrainVertex(r + 1, c + 1).Position, b = &TerrainVertex(r, c + 1).Position,
            d = &TerrainVertex(r + 1, c).Position;
        }
    } else if ((1 - fx) * (1 - fx) + fz * fz < fx * fx + (1 - fz) * (1 - fz)) {
        a = &TerrainVertex(r, c).Position, b = &TerrainVertex(r + 1, c).Position,
        d = &TerrainVertex(r + 1, c + 1).Position;
    } else {
        a = &TerrainVertex(r, c).Position, b = &TerrainVertex(r, c + 1).Position,
        d = &TerrainVertex(r + 1, c + 1).Position;
    }
    // The plane through the three vertices: normal (b - a) x (d - a).
    const float ux = b->x - a->x, uy = b->y - a->y, uz = b->z - a->z;
    const float vx = d->x - a->x, vy = d->y - a->y, vz = d->z - a->z;
    const float nx = uy * vz - uz * vy;
    const float ny = uz * vx - ux * vz;
    const float nz = ux * vy - uy * vx;
    point.y = a->y - (nx * (x - a->x) + nz * (z - a->z)) / ny;

    int32_t vr, vc;
    if (!ignoreWater && RoundCoordinate(x, vr) && RoundCoordinate(z, vc) && OnMap(vr, vc) &&
        point.y < TerrainVertex(vr, vc).WaterLevel)
        point.y = TerrainVertex(vr, vc).WaterLevel;
}
