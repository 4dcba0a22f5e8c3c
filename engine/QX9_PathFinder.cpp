#include "engine/QX9_PathFinder.h"

#include <algorithm>
#include <array>
#include <tuple>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

// The wavefront visits cells in cost order, one cost value (a band) at a time,
// exactly as a frontier scanned in bands would. Instead of rescanning the
// whole frontier for each band, entries wait in one bucket per cost value.
// Below the band in which a search stops at its target, every distance is the
// same whatever order the entries of a band are expanded in, so they are
// taken as they come. In the stopping band the frontier's own order decides
// which cells get their distance before the target is reached; that order is
// then rebuilt from the final distances (see FinishInFrontierOrder).
// The step costs and distances are worked on together, one 32-bit word per
// cell, in a copy with a one-cell border of blocked cells, so the inner loop
// needs no bounds tests and reads each row of neighbours at once.
struct TPF_Frontier {
    int32_t Width = -1;
    int32_t Height = -1;
    std::vector<uint32_t> Cells; // padded: step cost factor << 16 | distance
    // Waiting entries (padded cell indices) per cost value; their storage is
    // kept from search to search.
    std::vector<std::vector<uint32_t>> Buckets;

    // The cells that seeds were put on: the lowest cost and the first seed of
    // that cost (the one whose entry counts), and the cost written last.
    struct TSeedCell {
        uint32_t Cell;
        uint32_t Cost;
        uint32_t First;
        uint32_t Last;
    };
    std::vector<TSeedCell> SeedCells;

    // The part of the frontier's history that orders the stopping band: a
    // forest of cells, each under the entry whose expansion first gave the
    // cell its distance, the seeds its roots.
    struct TNode {
        uint32_t Cell;
        uint32_t Cost;      // the cost its entry was expanded with
        int32_t Parent;     // -1 for a seed
        uint32_t Root;      // the seed's number
        uint32_t DepthRank; // depth << 3 | rank among the parent's children (trying order)
        int32_t Seed;       // its entry in SeedCells, -1 for none
        uint8_t Candidates; // neighbours (trying order) that reach it first, at its cost
    };
    std::vector<TNode> Nodes;
    std::vector<uint32_t> Slot; // padded: the cell's node, a seed cell's mark, or Free
    std::vector<uint32_t> Order, Children, FirstChild, Stack, Number;
};

namespace {

constexpr int32_t DirX[8] = {-1, 0, 1, 1, 1, 0, -1, -1};
constexpr int32_t DirY[8] = {-1, -1, -1, 0, 1, 1, 1, 0};

#if defined(__SSE2__)
// The neighbour mask is built from three rows of four cells: row above in bits
// 0..2, own row in bits 4 and 6, row below in bits 8..10. This table turns it
// into bit k = the k-th direction tried (7 down to 0).
constexpr auto MakeTryingOrder()
{
    constexpr int32_t source[8] = {4, 8, 9, 10, 6, 2, 1, 0};
    std::array<uint8_t, 2048> table{};
    for (uint32_t mask = 0; mask < 2048; ++mask) {
        uint32_t order = 0;
        for (int32_t k = 0; k < 8; ++k) {
            order |= ((mask >> source[k]) & 1u) << k;
        }
        table[mask] = static_cast<uint8_t>(order);
    }
    return table;
}
constexpr std::array<uint8_t, 2048> TryingOrder = MakeTryingOrder();
// The lane of each direction tried in the three rows' computed values.
constexpr int32_t TryingLane[8] = {4, 8, 9, 10, 6, 2, 1, 0};
#endif

int32_t CellX(int32_t cell)
{
    return static_cast<int32_t>(static_cast<uint32_t>(cell) & 0xFFFFu);
}
int32_t CellY(int32_t cell)
{
    return static_cast<int32_t>(static_cast<uint32_t>(cell) >> 16);
}

uint16_t Saturate16(uint32_t value)
{
    return static_cast<uint16_t>(value > 65535u ? 65535u : value);
}

bool Inside(const TPF_Grid* grid, int32_t x, int32_t y)
{
    return grid != nullptr && x >= 0 && y >= 0 && x < grid->Width && y < grid->Height;
}

bool GridUsable(const TPF_Grid* grid, int32_t width, int32_t height)
{
    return grid != nullptr && grid->Width == width && grid->Height == height &&
           grid->Cells.size() >= static_cast<size_t>(width) * static_cast<size_t>(height);
}

// Whether every cell of the grid line from a to b (a excluded) has cost c.
bool LineHasCost(const TPF_Grid* costs, const TPF_PathPoint& a, const TPF_PathPoint& b, uint16_t c,
                 std::vector<TPF_Waypoint>& scratch)
{
    scratch.clear();
    PF_TraceLine(a.X, a.Y, b.X, b.Y, scratch);
    for (const TPF_Waypoint& p : scratch) {
        if (PF_CostAt(costs, p.X, p.Y) != c) {
            return false;
        }
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// Grids and helpers

TPF_Grid* PF_CreateGrid(int32_t width, int32_t height)
{
    auto* grid = new TPF_Grid;
    grid->Width = static_cast<uint16_t>(std::clamp(width, 0, 65535));
    grid->Height = static_cast<uint16_t>(std::clamp(height, 0, 65535));
    grid->Cells.assign(static_cast<size_t>(grid->Width) * grid->Height, 0);
    return grid;
}

uint16_t PF_GridGet(const TPF_Grid* grid, int32_t x, int32_t y)
{
    return PF_CostAt(grid, x, y);
}

void PF_GridSet(TPF_Grid* grid, int32_t x, int32_t y, uint16_t value)
{
    if (Inside(grid, x, y)) {
        size_t index = static_cast<size_t>(y) * grid->Width + static_cast<size_t>(x);
        if (index < grid->Cells.size()) {
            grid->Cells[index] = value;
        }
    }
}

uint16_t PF_CostAt(const TPF_Grid* grid, int32_t x, int32_t y)
{
    if (!Inside(grid, x, y)) {
        return 0;
    }
    size_t index = static_cast<size_t>(y) * grid->Width + static_cast<size_t>(x);
    return index < grid->Cells.size() ? grid->Cells[index] : 0;
}

void PF_CreateMap(TPF_Grid* grid, TPF_Map& map)
{
    map.Grid = grid;
    map.GridIsCallers = 1;
    int32_t width = grid != nullptr ? grid->Width : 0;
    int32_t height = grid != nullptr ? grid->Height : 0;
    map.CostGrid = PF_CreateGrid(width, height);
    map.DistGrid = PF_CreateGrid(width, height);
    map.Frontier = new TPF_Frontier;
}

void PF_FreeMap(TPF_Map& map)
{
    PF_FreeAndNil(map.CostGrid);
    PF_FreeAndNil(map.DistGrid);
    PF_FreeAndNil(map.Frontier);
    if (map.GridIsCallers == 0) {
        PF_FreeAndNil(map.Grid);
    }
    map.Grid = nullptr;
}

int32_t PF_Heuristic(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    int64_t dx = x1 > x2 ? static_cast<int64_t>(x1) - x2 : static_cast<int64_t>(x2) - x1;
    int64_t dy = y1 > y2 ? static_cast<int64_t>(y1) - y2 : static_cast<int64_t>(y2) - y1;
    return static_cast<int32_t>((2 * std::max(dx, dy) + std::min(dx, dy)) / 2);
}

void PF_FreeAndNil(TPF_Grid*& grid)
{
    delete grid;
    grid = nullptr;
}

void PF_FreeAndNil(TPF_Frontier*& frontier)
{
    delete frontier;
    frontier = nullptr;
}

int32_t PF_Sign(int32_t value)
{
    return value > 0 ? 1 : (value < 0 ? -1 : 0);
}

void PF_TraceLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, std::vector<TPF_Waypoint>& cells)
{
    int32_t dx = x1 - x0, dy = y1 - y0;
    int32_t sx = PF_Sign(dx), sy = PF_Sign(dy);
    int32_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    int32_t x = x0, y = y0;
    if (ay < ax) {
        int32_t e = ax - 2 * ay;
        while (x != x1) {
            x += sx;
            if (e >= 0) {
                e -= 2 * ay;
            } else {
                e += 2 * ax - 2 * ay;
                y += sy;
            }
            cells.push_back({static_cast<uint16_t>(x), static_cast<uint16_t>(y)});
        }
    } else {
        int32_t e = ay - 2 * ax;
        while (y != y1) {
            y += sy;
            if (e >= 0) {
                e -= 2 * ax;
            } else {
                e += 2 * ay - 2 * ax;
                x += sx;
            }
            cells.push_back({static_cast<uint16_t>(x), static_cast<uint16_t>(y)});
        }
    }
}

// ---------------------------------------------------------------------------
// Tracker

void TPF_Tracker::Init(TPF_Map& map, int32_t borderOffset, bool ownsBuffers)
{
    Grid = map.Grid;
    CostGrid = map.CostGrid;
    DistGrid = map.DistGrid;
    Frontier = map.Frontier;
    GridIsCallers = map.GridIsCallers;
    OwnsBuffers = ownsBuffers ? 1 : 0;
    BorderOffset = borderOffset;
    Width = Grid != nullptr ? Grid->Width : 0;
    Height = Grid != nullptr ? Grid->Height : 0;
    // A map whose buffers do not fit its grid cannot be searched.
    if (!GridUsable(Grid, Width, Height) || !GridUsable(CostGrid, Width, Height) ||
        !GridUsable(DistGrid, Width, Height) || Frontier == nullptr) {
        Width = 0;
        Height = 0;
    }
    for (int d = 0; d < 8; ++d) {
        NeighbourOffsets[d] = DirX[d] + DirY[d] * Width;
    }
    SeedCount = 0;
    Path.assign(1, TPF_PathPoint{});
    Waypoints.clear();
    PathCount = 0;
    PathCost = 0;
    PathLength = 0;
    StepCount = 0;
    WaypointCount = 0;
    WaypointIndex = 0;
}

void TPF_Tracker::ResetCosts()
{
    if (CostGrid != nullptr) {
        uint16_t* c = CostGrid->Cells.data();
        const size_t count = CostGrid->Cells.size();
        size_t i = 0;
#if defined(__SSE2__)
        const __m128i ones = _mm_set1_epi16(1);
        for (; i + 8 <= count; i += 8) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(c + i), ones);
        }
#endif
        for (; i < count; ++i) {
            c[i] = 1;
        }
    }
}

void TPF_Tracker::AddPenalty(int32_t cell, int32_t r, int32_t s)
{
    if (!GridUsable(CostGrid, Width, Height) || Width <= 0 || Height <= 0 || r < 0 || s == 0) {
        return;
    }
    int64_t x = static_cast<int64_t>(CellX(cell)) - BorderOffset;
    int64_t y = static_cast<int64_t>(CellY(cell)) - BorderOffset;
    // The window starts one cell before x - r and holds 2r + 1 cells, kept
    // inside the grid on both ends.
    int64_t c0 = std::max<int64_t>(0, x - r - 1), c1 = std::min<int64_t>(Width - 1, c0 + 2 * static_cast<int64_t>(r));
    int64_t r0 = std::max<int64_t>(0, y - r - 1), r1 = std::min<int64_t>(Height - 1, r0 + 2 * static_cast<int64_t>(r));
    if (s > 0) {
        // p > 0 only where d < r + s, and d >= 2 max(dx, dy): the cells
        // further out along either axis get nothing and are not visited.
        const int64_t reach = (static_cast<int64_t>(r) + s - 1) / 2;
        c0 = std::max(c0, x - reach);
        c1 = std::min(c1, x + reach);
        r0 = std::max(r0, y - reach);
        r1 = std::min(r1, y + reach);
    }
    for (int64_t row = r0; row <= r1; ++row) {
        int64_t dy = row > y ? row - y : y - row;
        uint16_t* line = CostGrid->Cells.data() + row * Width;
        for (int64_t column = c0; column <= c1; ++column) {
            int64_t dx = column > x ? column - x : x - column;
            int64_t d = 2 * std::max(dx, dy) + std::min(dx, dy);
            int64_t p = (r - d) / s + 1;
            if (p > 0) {
                line[column] = Saturate16(static_cast<uint32_t>(std::min<int64_t>(line[column] + p, 65535)));
            }
        }
    }
}

void TPF_Tracker::ClearSeeds()
{
    SeedCount = 0;
}

void TPF_Tracker::AddSeed(int32_t cell, int32_t cost)
{
    int32_t x = CellX(cell) - BorderOffset;
    int32_t y = CellY(cell) - BorderOffset;
    if (x < 0 || y < 0 || PF_CostAt(Grid, x, y) == 0 || x >= Width || y >= Height) {
        return;
    }
    if (SeedCount < 0) {
        SeedCount = 0;
    }
    // Costs below 0 would wrap in the 16-bit distances.
    cost = std::clamp(cost, 0, 32766);
    for (int32_t i = 0; i < SeedCount && i < PF_MaxSeeds; ++i) {
        if (Seeds[i].X == x && Seeds[i].Y == y && Seeds[i].Cost < cost) {
            return;
        }
    }
    if (SeedCount >= PF_MaxSeeds) {
        return;
    }
    Seeds[SeedCount++] = {static_cast<uint16_t>(x), static_cast<uint16_t>(y), cost + 1};
}

namespace {

using TNode = TPF_Frontier::TNode;

constexpr uint32_t Free = 0xFFFFFFFFu;
constexpr uint32_t SeedMark = 0x80000000u;

// Straight steps weigh 2, diagonal ones 3; k is the trying order (directions 7 down to 0).
constexpr uint32_t StepWeight(int32_t k)
{
    return (k & 1) != 0 ? 3u : 2u;
}

uint32_t Depth(const TNode& node)
{
    return node.DepthRank >> 3;
}

// Whether node a comes before node b in the frontier's order: the order of
// their seeds, or of their branches below the last common ancestor. Neither
// is an ancestor of the other (nodes of one cost never are).
bool Before(const std::vector<TNode>& e, int32_t a, int32_t b)
{
    if (e[a].Root != e[b].Root) {
        return e[a].Root < e[b].Root;
    }
    while (Depth(e[a]) > Depth(e[b])) {
        a = e[a].Parent;
    }
    while (Depth(e[b]) > Depth(e[a])) {
        b = e[b].Parent;
    }
    while (e[a].Parent != e[b].Parent) {
        a = e[a].Parent;
        b = e[b].Parent;
    }
    return a != b && (e[a].DepthRank & 7u) < (e[b].DepthRank & 7u);
}

// One search over the padded cells.
struct TWavefront {
    TPF_Frontier& F;
    uint32_t* Cells;
    int32_t Offsets[8]; // in trying order
    size_t Pending = 0;
    // The target and its eight neighbours: the band in which one of them is
    // expanded with a cost that improves the target is the stopping band.
    int64_t Target = -1;
    uint32_t TargetFactor = 0;
    uint32_t Watch[8] = {};
    uint32_t WatchRoot[8] = {}; // lowest seed cost on the neighbour, 65535 without one

    uint32_t Dist(uint32_t index) const { return Cells[index] & 0xFFFFu; }
    void SetDist(uint32_t index, uint32_t value)
    {
        // Only the distance half of the cell changes.
        reinterpret_cast<uint16_t*>(Cells + index)[0] = static_cast<uint16_t>(value);
    }

    // The distance a step from the cell, expanded with the band's cost,
    // gives its neighbour k (trying order) when that improves it; 0 otherwise.
    uint32_t Improvement(uint32_t index, int32_t k, uint32_t band, uint32_t& neighbour) const
    {
        neighbour = index + static_cast<uint32_t>(Offsets[k]);
        const uint32_t factor = Cells[neighbour] >> 16;
        const uint32_t value = band + StepWeight(k) * factor;
        return factor != 0 && value < Dist(neighbour) ? value : 0;
    }

    bool IsStoppingBand(uint32_t band) const
    {
        for (int32_t k = 0; k < 8; ++k) {
            uint32_t cost = std::min(Dist(Watch[k]), WatchRoot[k]);
            if (cost == band && band + StepWeight(k) * TargetFactor < PF_Unreached) {
                return true;
            }
        }
        return false;
    }

    void ExpandBand(uint32_t band, const std::vector<uint32_t>& bucket);
    // The bands from the given one on, until the target is reached or nothing waits.
    void Run(uint32_t band);
    void FinishInFrontierOrder(uint32_t band);
    // The cost a cell's live entry is (or was) expanded with: its distance,
    // or the lower cost of a seed on it.
    uint32_t EntryCost(uint32_t index) const
    {
        const uint32_t slot = F.Slot[index];
        if (slot == Free) {
            return Dist(index);
        }
        if ((slot & SeedMark) != 0) {
            return std::min(Dist(index), F.SeedCells[slot & ~SeedMark].Cost);
        }
        return F.Nodes[slot].Cost;
    }
    uint32_t Join(uint32_t index);
};

void TWavefront::ExpandBand(uint32_t band, const std::vector<uint32_t>& bucket)
{
    const size_t count = bucket.size();
    const uint32_t* items = bucket.data();
#if defined(__SSE2__)
    const int32_t pw = Offsets[2];
    const __m128i low16 = _mm_set1_epi32(0xFFFF);
    const __m128i outerLanes = _mm_setr_epi32(-1, -1, -1, 0); // left, middle, right
    const __m128i ownLanes = _mm_setr_epi32(-1, 0, -1, 0);    // left, right
    const __m128i diagonalLanes = _mm_setr_epi32(-1, 0, -1, 0);
    const __m128i zero = _mm_setzero_si128();
    const __m128i vband = _mm_set1_epi32(static_cast<int32_t>(band));
#endif
    for (size_t i = 0; i < count; ++i) {
        const uint32_t index = items[i];
#if defined(__SSE2__)
        // The entries of a band lie all along the wavefront: fetch the
        // neighbourhoods of the coming ones early.
        if (i + 4 < count) {
            const uint32_t ahead = items[i + 4];
            _mm_prefetch(reinterpret_cast<const char*>(Cells + ahead - pw - 1), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(Cells + ahead - 1), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(Cells + ahead + pw - 1), _MM_HINT_T0);
        }
#endif
        // An entry whose cell was reached more cheaply since can improve nothing.
        if (Dist(index) < band) {
            continue;
        }
#if defined(__SSE2__)
        // Which neighbours improve, tested four cells of a row at a time.
        alignas(16) uint32_t values[12];
        auto improving = [&](const uint32_t* row, __m128i lanes, __m128i diagonal, uint32_t* out) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
            __m128i factor = _mm_srli_epi32(v, 16);
            __m128i d = _mm_and_si128(v, low16);
            __m128i cost = _mm_add_epi32(_mm_add_epi32(factor, factor), _mm_and_si128(factor, diagonal));
            __m128i value = _mm_add_epi32(vband, cost);
            _mm_store_si128(reinterpret_cast<__m128i*>(out), value);
            __m128i ok = _mm_and_si128(_mm_cmplt_epi32(value, d), _mm_cmpgt_epi32(factor, zero));
            return static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_and_si128(ok, lanes))));
        };
        const uint32_t mask = improving(Cells + index - pw - 1, outerLanes, diagonalLanes, values) |
                              (improving(Cells + index - 1, ownLanes, zero, values + 4) << 4) |
                              (improving(Cells + index + pw - 1, outerLanes, diagonalLanes, values + 8) << 8);
        // Only the improving neighbours, in trying order.
        for (uint32_t order = TryingOrder[mask]; order != 0; order &= order - 1) {
            const int32_t k = __builtin_ctz(order);
            const uint32_t n = index + static_cast<uint32_t>(Offsets[k]);
            const uint32_t value = values[TryingLane[k]];
#else
        for (int32_t k = 0; k < 8; ++k) {
            uint32_t n = 0;
            const uint32_t value = Improvement(index, k, band, n);
            if (value == 0) {
                continue;
            }
#endif
            SetDist(n, value);
            F.Buckets[value].push_back(n);
            ++Pending;
        }
    }
}

void TWavefront::Run(uint32_t band)
{
    for (; Pending > 0 && band < PF_Unreached; ++band) {
        std::vector<uint32_t>& bucket = F.Buckets[band];
        if (bucket.empty()) {
            continue;
        }
        if (Target >= 0 && IsStoppingBand(band)) {
            FinishInFrontierOrder(band);
            // Nothing else is expanded: empty the waiting buckets.
            for (; Pending > 0 && band < F.Buckets.size(); ++band) {
                Pending -= std::min(Pending, F.Buckets[band].size());
                F.Buckets[band].clear();
            }
            return;
        }
        ExpandBand(band, bucket);
        Pending -= bucket.size();
        bucket.clear();
    }
}

// The cell's node, made on first use.
uint32_t TWavefront::Join(uint32_t index)
{
    const uint32_t slot = F.Slot[index];
    if (slot != Free && (slot & SeedMark) == 0) {
        return slot;
    }
    const uint32_t node = static_cast<uint32_t>(F.Nodes.size());
    F.Nodes.push_back(
        {index, EntryCost(index), -1, 0, 0, slot == Free ? -1 : static_cast<int32_t>(slot & ~SeedMark), 0});
    F.Slot[index] = node;
    return node;
}

// The stopping band, entry by entry in the frontier's order, until the first
// improvement of the target.
//
// The scanned frontier keeps its entries in the depth-first order of a forest:
// the seeds in their order, and in place of each expanded entry the entries
// it made, in trying order. A cell's entry is made by the first entry, in that
// order, of the lowest band that offers the cell its final cost. Every cost
// below the stopping band is final, so the forest above the band's entries can
// be rebuilt from the distances alone: from the band's cells back along the
// steps that are exactly their cost, and then, cheapest first, each cell hung
// under the first of the neighbours that made it.
void TWavefront::FinishInFrontierOrder(uint32_t band)
{
    std::vector<TNode>& nodes = F.Nodes;
    nodes.clear();
    for (size_t s = 0; s < F.SeedCells.size(); ++s) {
        F.Slot[F.SeedCells[s].Cell] = SeedMark | static_cast<uint32_t>(s);
    }
    // The band's live entries, one node per cell (a seed and an entry made
    // for its cell may both wait here; the first of them counts).
    std::vector<uint32_t>& order = F.Order;
    for (uint32_t index : F.Buckets[band]) {
        if (EntryCost(index) == band) {
            Join(index);
        }
    }
    const size_t bandNodes = nodes.size();
    // Back along the exact steps. A seed's cell has an entry made by a
    // neighbour only where a neighbour lowered the distance the seeds left.
    for (size_t q = 0; q < nodes.size(); ++q) {
        const uint32_t index = nodes[q].Cell, cost = nodes[q].Cost;
        if (nodes[q].Seed >= 0 && Dist(index) >= F.SeedCells[nodes[q].Seed].Last) {
            continue;
        }
        const uint32_t factor = Cells[index] >> 16;
        uint32_t lowest = PF_Unreached;
        uint8_t candidates = 0;
        for (int32_t j = 0; j < 8; ++j) {
            const uint32_t from = index + static_cast<uint32_t>(Offsets[j]);
            if ((Cells[from] >> 16) == 0) {
                continue;
            }
            const uint32_t c = EntryCost(from);
            if (c > lowest || c + StepWeight(j) * factor != cost) {
                continue;
            }
            if (c < lowest) {
                lowest = c;
                candidates = 0;
            }
            candidates |= static_cast<uint8_t>(1u << j);
        }
        nodes[q].Candidates = candidates;
        for (uint32_t m = candidates; m != 0; m &= m - 1) {
            Join(index + static_cast<uint32_t>(Offsets[__builtin_ctz(m)]));
        }
    }
    // Cheapest first, so that a node's candidates are placed before it.
    order.resize(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        order[i] = static_cast<uint32_t>(i);
    }
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return nodes[a].Cost < nodes[b].Cost; });
    for (uint32_t at : order) {
        TNode& node = nodes[at];
        int32_t best = -1, bestRank = 0;
        for (uint32_t m = node.Candidates; m != 0; m &= m - 1) {
            const int32_t j = __builtin_ctz(m);
            const int32_t from = static_cast<int32_t>(F.Slot[node.Cell + static_cast<uint32_t>(Offsets[j])]);
            if (best < 0 || Before(nodes, from, best)) {
                best = from;
                bestRank = j ^ 4; // the step from the neighbour to the cell
            }
        }
        // A seed's own entry comes before any entry made in a later band, and
        // before one of the same cost unless that one descends from an earlier seed.
        if (node.Seed >= 0) {
            const TPF_Frontier::TSeedCell& seed = F.SeedCells[node.Seed];
            if (best < 0 || (seed.Cost == node.Cost && seed.First < nodes[best].Root)) {
                best = -1;
                node.Root = seed.First;
            }
        }
        if (best >= 0) {
            node.Parent = best;
            node.Root = nodes[best].Root;
            node.DepthRank = (Depth(nodes[best]) + 1) << 3 | static_cast<uint32_t>(bestRank);
        }
    }
    // The band's order is the depth-first order of the forest: number the
    // nodes so, children by rank, seeds by their number.
    std::vector<uint32_t>& children = F.Children;
    std::vector<uint32_t>& first = F.FirstChild;
    first.assign(nodes.size() + 3, 0);
    for (const TNode& node : nodes) {
        ++first[(node.Parent >= 0 ? static_cast<size_t>(node.Parent) : nodes.size()) + 2];
    }
    for (size_t i = 2; i < first.size(); ++i) {
        first[i] += first[i - 1];
    }
    children.resize(nodes.size());
    for (uint32_t rank = 0; rank < 8; ++rank) {
        for (size_t i = 0; i < nodes.size(); ++i) {
            const TNode& node = nodes[i];
            if (node.Parent >= 0 ? (node.DepthRank & 7u) == rank : rank == 0) {
                children[first[(node.Parent >= 0 ? static_cast<size_t>(node.Parent) : nodes.size()) + 1]++] =
                    static_cast<uint32_t>(i);
            }
        }
    }
    // Now children of node i are children[first[i] .. first[i + 1]), the seeds last.
    std::sort(children.begin() + first[nodes.size()], children.begin() + first[nodes.size() + 1],
              [&](uint32_t a, uint32_t b) { return nodes[a].Root < nodes[b].Root; });
    std::vector<uint32_t>& stack = F.Stack;
    std::vector<uint32_t>& number = F.Number;
    number.resize(nodes.size());
    stack.clear();
    for (uint32_t c = first[nodes.size() + 1]; c > first[nodes.size()]; --c) {
        stack.push_back(children[c - 1]);
    }
    uint32_t next = 0;
    while (!stack.empty()) {
        const uint32_t at = stack.back();
        stack.pop_back();
        number[at] = next++;
        for (uint32_t c = first[at + 1]; c > first[at]; --c) {
            stack.push_back(children[c - 1]);
        }
    }
    order.resize(bandNodes);
    for (size_t i = 0; i < bandNodes; ++i) {
        order[i] = static_cast<uint32_t>(i);
    }
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return number[a] < number[b]; });
    for (TNode& node : nodes) {
        F.Slot[node.Cell] = Free;
    }
    for (const TPF_Frontier::TSeedCell& seed : F.SeedCells) {
        F.Slot[seed.Cell] = Free;
    }
    for (uint32_t at : order) {
        const uint32_t index = nodes[at].Cell;
        for (int32_t k = 0; k < 8; ++k) {
            uint32_t n = 0;
            const uint32_t value = Improvement(index, k, band, n);
            if (value == 0) {
                continue;
            }
            SetDist(n, value);
            if (static_cast<int64_t>(n) == Target) {
                return;
            }
        }
    }
}

} // namespace

bool TPF_Tracker::Calc(int32_t cell, bool fromSeeds)
{
    // Grids changed behind the tracker's back since Init are not searched.
    if (Width <= 0 || Height <= 0 || Frontier == nullptr || !GridUsable(Grid, Width, Height) ||
        !GridUsable(CostGrid, Width, Height) || !GridUsable(DistGrid, Width, Height)) {
        SeedCount = 0;
        return false;
    }
    TPF_Frontier& f = *Frontier;
    const int32_t width = Width, height = Height;
    const int32_t pw = width + 2;
    const size_t padded = static_cast<size_t>(pw) * static_cast<size_t>(height + 2);
    if (f.Width != width || f.Height != height) {
        f.Width = width;
        f.Height = height;
        // Border cells: factor 0, so they are never entered. The extra cells
        // at the end let the last row's neighbours be read four at a time.
        f.Cells.assign(padded + 4, PF_Unreached);
        f.Slot.assign(padded, Free);
    }
    if (f.Buckets.size() != PF_Unreached + 1u) {
        f.Buckets.assign(PF_Unreached + 1u, {});
    }

    // Step cost factor := caller's factor x per-search factor (saturated;
    // a wrap to 0 would block a cell, a wrap to a small value make it cheap);
    // every distance := 65535.
    uint32_t* cells = f.Cells.data();
    const uint16_t* grid = Grid->Cells.data();
    uint16_t* costs = CostGrid->Cells.data();
    const int64_t open = OpenIndex();
    const uint16_t openCostFactor = open >= 0 ? costs[open] : 0;
    for (int32_t y = 0; y < height; ++y) {
        const uint16_t* g = grid + static_cast<size_t>(y) * width;
        uint16_t* c = costs + static_cast<size_t>(y) * width;
        uint32_t* p = cells + static_cast<size_t>(y + 1) * pw + 1;
        int32_t x = 0;
#if defined(__SSE2__)
        const __m128i zero16 = _mm_setzero_si128();
        const __m128i unreached = _mm_set1_epi16(-1);
        for (; x + 8 <= width; x += 8) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + x));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + x));
            __m128i low = _mm_mullo_epi16(a, b);
            __m128i high = _mm_mulhi_epu16(a, b);
            // Any high bits: the product is past 65535 and saturates.
            __m128i product = _mm_or_si128(low, _mm_andnot_si128(_mm_cmpeq_epi16(high, zero16), unreached));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(c + x), product);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + x), _mm_unpacklo_epi16(unreached, product));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + x + 4), _mm_unpackhi_epi16(unreached, product));
        }
#endif
        for (; x < width; ++x) {
            uint32_t v = static_cast<uint32_t>(g[x]) * c[x];
            v = v > 65535u ? 65535u : v;
            c[x] = static_cast<uint16_t>(v);
            p[x] = (v << 16) | PF_Unreached;
        }
    }
    if (open >= 0) {
        const uint32_t v = std::min<uint32_t>(static_cast<uint32_t>(OpenFactor) * openCostFactor, 65535u);
        const int64_t ox = open % width, oy = open / width;
        costs[open] = static_cast<uint16_t>(v);
        cells[static_cast<size_t>(oy + 1) * pw + static_cast<size_t>(ox) + 1] = (v << 16) | PF_Unreached;
    }

    const int32_t cx = CellX(cell) - BorderOffset, cy = CellY(cell) - BorderOffset;
    const bool inside = cx >= 0 && cy >= 0 && cx < width && cy < height;
    auto padIndex = [pw](int32_t x, int32_t y) { return static_cast<uint32_t>((y + 1) * pw + x + 1); };
    // A target outside the grid is never reached: the search covers everything.
    const int64_t target = fromSeeds && inside ? static_cast<int64_t>(padIndex(cx, cy)) : -1;

    TWavefront w{f, cells, {-1, pw - 1, pw, pw + 1, 1, 1 - pw, -pw, -1 - pw}};
    uint32_t lowest = PF_Unreached;
    auto start = [&](uint32_t index, uint32_t cost) {
        f.Buckets[cost].push_back(index);
        lowest = std::min(lowest, cost);
        ++w.Pending;
    };
    f.SeedCells.clear();
    if (fromSeeds) {
        int32_t count = 0;
        for (int32_t i = 0; i < SeedCount && i < PF_MaxSeeds; ++i) {
            TPF_Seed seed = Seeds[i];
            if (seed.X >= width || seed.Y >= height) {
                continue;
            }
            uint32_t index = padIndex(seed.X, seed.Y);
            if (static_cast<int64_t>(index) == target) {
                continue;
            }
            seed.Cost = std::clamp(seed.Cost, 0, 65534);
            w.SetDist(index, static_cast<uint32_t>(seed.Cost));
            Seeds[count++] = seed;
        }
        SeedCount = count;
        // Of the seeds on one cell only the first of the lowest cost can
        // expand to any effect (the later ones find nothing to improve), even
        // where a later, dearer seed left its cost as the cell's distance.
        std::array<uint16_t, PF_MaxSeeds> order;
        for (int32_t i = 0; i < count; ++i) {
            order[i] = static_cast<uint16_t>(i);
        }
        auto key = [&](int32_t i) { return std::make_tuple(padIndex(Seeds[i].X, Seeds[i].Y), Seeds[i].Cost, i); };
        std::sort(order.begin(), order.begin() + count, [&](int32_t a, int32_t b) { return key(a) < key(b); });
        for (int32_t j = 0; j < count; ++j) {
            const TPF_Seed& seed = Seeds[order[j]];
            const uint32_t index = padIndex(seed.X, seed.Y);
            if (f.SeedCells.empty() || f.SeedCells.back().Cell != index) {
                f.SeedCells.push_back({index, static_cast<uint32_t>(seed.Cost), order[j], w.Dist(index)});
            }
        }
        std::sort(f.SeedCells.begin(), f.SeedCells.end(),
                  [](const TPF_Frontier::TSeedCell& a, const TPF_Frontier::TSeedCell& b) { return a.First < b.First; });
        for (const TPF_Frontier::TSeedCell& seed : f.SeedCells) {
            start(seed.Cell, seed.Cost);
        }
    } else if (inside) {
        w.SetDist(padIndex(cx, cy), 0);
        start(padIndex(cx, cy), 0);
        Seeds[0] = {static_cast<uint16_t>(cx), static_cast<uint16_t>(cy), 0};
        SeedCount = 1;
    } else {
        SeedCount = 0;
    }

    // Only a target that is not blocked can stop the search.
    if (target >= 0 && (cells[target] >> 16) != 0) {
        w.Target = target;
        w.TargetFactor = cells[target] >> 16;
        for (int32_t k = 0; k < 8; ++k) {
            w.Watch[k] = static_cast<uint32_t>(target + w.Offsets[k]);
            w.WatchRoot[k] = PF_Unreached;
            for (const TPF_Frontier::TSeedCell& seed : f.SeedCells) {
                if (seed.Cell == w.Watch[k]) {
                    w.WatchRoot[k] = seed.Cost;
                }
            }
        }
    }
    w.Run(lowest);

    uint16_t* out = DistGrid->Cells.data();
    for (int32_t y = 0; y < height; ++y) {
        const uint32_t* p = cells + static_cast<size_t>(y + 1) * pw + 1;
        uint16_t* o = out + static_cast<size_t>(y) * width;
        int32_t x = 0;
#if defined(__SSE2__)
        for (; x + 8 <= width; x += 8) {
            // The low halves, sign-extended so that the signed pack keeps their bits.
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x + 4));
            a = _mm_srai_epi32(_mm_slli_epi32(a, 16), 16);
            b = _mm_srai_epi32(_mm_slli_epi32(b, 16), 16);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + x), _mm_packs_epi32(a, b));
        }
#endif
        for (; x < width; ++x) {
            o[x] = static_cast<uint16_t>(p[x]);
        }
    }
    if (fromSeeds) {
        return target >= 0 && (cells[target] & 0xFFFFu) < PF_Unreached;
    }
    return inside;
}

void TPF_Tracker::GetPath(int32_t cell, bool smooth)
{
    PathCount = 0;
    PathCost = 0;
    PathLength = 0;
    int32_t x = CellX(cell) - BorderOffset, y = CellY(cell) - BorderOffset;
    if (Width <= 0 || Height <= 0 || x < 0 || y < 0 || x >= Width || y >= Height ||
        !GridUsable(DistGrid, Width, Height)) {
        return;
    }
    Path.assign(1, {static_cast<uint16_t>(x), static_cast<uint16_t>(y), 0});
    uint32_t current = PF_CostAt(DistGrid, x, y);
    int64_t cost = 0;
    const int64_t open = OpenIndex();
    for (;;) {
        uint32_t best = current;
        int32_t bestDir = -1;
        for (int32_t d = 0; d < 8; ++d) {
            int32_t nx = x + DirX[d], ny = y + DirY[d];
            if (nx < 0 || ny < 0 || nx >= Width || ny >= Height) {
                continue;
            }
            uint32_t v = DistGrid->Cells[static_cast<size_t>(ny) * Width + nx];
            if (v > 0 && v < best) {
                best = v;
                bestDir = d;
            }
        }
        if (bestDir < 0) {
            break;
        }
        Path.back().Dir = bestDir;
        int64_t g = static_cast<int64_t>(y) * Width + x == open ? OpenFactor : PF_CostAt(Grid, x, y);
        if (bestDir & 1) {
            cost += g;
            PathLength = static_cast<float>(static_cast<long double>(PathLength) + 1);
        } else {
            cost += (g * 14 + 5) / 10; // g x 1.4 to the nearest (never a tie)
            PathLength = static_cast<float>(static_cast<long double>(PathLength) + 1.41L);
        }
        x += DirX[bestDir];
        y += DirY[bestDir];
        current = best;
        Path.push_back({static_cast<uint16_t>(x), static_cast<uint16_t>(y), 0});
        ++PathCount;
    }
    PathCost = static_cast<int32_t>(std::min<int64_t>(cost, INT32_MAX));

    WaypointCount = 0;
    WaypointIndex = 0;
    StepCount = 0;
    Waypoints.assign(1, {Path[0].X, Path[0].Y});

    if (smooth && PathCount > 0) {
        std::vector<TPF_Waypoint> line;
        int32_t i = 0;
        while (i < PathCount) {
            uint16_t c = PF_CostAt(CostGrid, Path[i].X, Path[i].Y);
            int32_t j = i + 1;
            while (j < PathCount && PF_CostAt(CostGrid, Path[j].X, Path[j].Y) == c &&
                   LineHasCost(CostGrid, Path[i], Path[j], c, line)) {
                ++j;
            }
            line.clear();
            PF_TraceLine(Path[i].X, Path[i].Y, Path[j].X, Path[j].Y, line);
            // A line never has more cells than the path has steps between its ends.
            size_t count = std::min(line.size(), static_cast<size_t>(j - i));
            for (size_t k = 0; k < count; ++k) {
                Path[i + 1 + k].X = line[k].X;
                Path[i + 1 + k].Y = line[k].Y;
            }
            Waypoints.push_back({Path[j].X, Path[j].Y});
            ++WaypointCount;
            i = j;
        }
    }

    if (BorderOffset >= 1) {
        for (int32_t k = 0; k <= PathCount; ++k) {
            Path[k].X = static_cast<uint16_t>(Path[k].X + BorderOffset);
            Path[k].Y = static_cast<uint16_t>(Path[k].Y + BorderOffset);
        }
        for (TPF_Waypoint& w : Waypoints) {
            w.X = static_cast<uint16_t>(w.X + BorderOffset);
            w.Y = static_cast<uint16_t>(w.Y + BorderOffset);
        }
    }
}

bool TPF_Tracker::SeedsCutOff(int32_t cell, int32_t limit) const
{
    if (Width <= 0 || Height <= 0 || !GridUsable(Grid, Width, Height) || !GridUsable(CostGrid, Width, Height)) {
        return false;
    }
    const int32_t x = CellX(cell) - BorderOffset, y = CellY(cell) - BorderOffset;
    if (x < 0 || y < 0 || x >= Width || y >= Height) {
        return true;
    }
    const int64_t open = OpenIndex();
    const uint16_t* grid = Grid->Cells.data();
    const uint16_t* costs = CostGrid->Cells.data();
    // A search enters a cell whose step cost (grid value times cost factor,
    // saturated) is not 0.
    auto enterable = [&](int64_t i) { return (i == open ? OpenFactor : grid[i]) != 0 && costs[i] != 0; };
    const int64_t target = static_cast<int64_t>(y) * Width + x;
    if (!enterable(target)) {
        return true;
    }
    // The pocket first: most cells lie in open country, given up on after a
    // few cells without looking at the seeds at all.
    std::vector<int64_t> pocket{target};
    pocket.reserve(static_cast<size_t>(std::max(limit, 1)));
    for (size_t next = 0; next < pocket.size(); ++next) {
        const int64_t at = pocket[next];
        const int32_t ax = static_cast<int32_t>(at % Width), ay = static_cast<int32_t>(at / Width);
        for (int32_t d = 0; d < 8; ++d) {
            const int32_t nx = ax + DirX[d], ny = ay + DirY[d];
            if (nx < 0 || ny < 0 || nx >= Width || ny >= Height) {
                continue;
            }
            const int64_t n = static_cast<int64_t>(ny) * Width + nx;
            if (!enterable(n) || std::find(pocket.begin(), pocket.end(), n) != pocket.end()) {
                continue;
            }
            if (static_cast<int64_t>(pocket.size()) >= limit) {
                return false;
            }
            pocket.push_back(n);
        }
    }
    // A seed a search starts from (inside the grid, not on the target) in
    // the pocket or next to one of its cells reaches it.
    for (int32_t i = 0; i < SeedCount && i < PF_MaxSeeds; ++i) {
        const int32_t sx = Seeds[i].X, sy = Seeds[i].Y;
        if (sx >= Width || sy >= Height || (sx == x && sy == y)) {
            continue;
        }
        for (int64_t at : pocket) {
            const int32_t dx = static_cast<int32_t>(at % Width) - sx, dy = static_cast<int32_t>(at / Width) - sy;
            if (dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1) {
                return false;
            }
        }
    }
    return true;
}

int64_t TPF_Tracker::OpenIndex() const
{
    if (OpenCell < 0) {
        return -1;
    }
    const int32_t x = CellX(OpenCell) - BorderOffset, y = CellY(OpenCell) - BorderOffset;
    if (x < 0 || y < 0 || x >= Width || y >= Height) {
        return -1;
    }
    return static_cast<int64_t>(y) * Width + x;
}

void TPF_Tracker::ResetPath(int32_t cell)
{
    PathCount = 0;
    PathCost = 0;
    PathLength = 0;
    StepCount = 0;
    WaypointCount = 0;
    WaypointIndex = 0;
    TPF_PathPoint point{static_cast<uint16_t>(CellX(cell)), static_cast<uint16_t>(CellY(cell)), 0};
    Path.assign(1, point);
    Waypoints.assign(1, {point.X, point.Y});
}

void TPF_Tracker::Done()
{
    Path.clear();
    Path.shrink_to_fit();
    Waypoints.clear();
    Waypoints.shrink_to_fit();
    if (OwnsBuffers != 0) {
        PF_FreeAndNil(CostGrid);
        PF_FreeAndNil(DistGrid);
        PF_FreeAndNil(Frontier);
        if (GridIsCallers == 0) {
            PF_FreeAndNil(Grid);
        }
    }
    Grid = nullptr;
    CostGrid = nullptr;
    DistGrid = nullptr;
    Frontier = nullptr;
    PathCount = 0;
    WaypointCount = 0;
    Width = 0;
    Height = 0;
}
