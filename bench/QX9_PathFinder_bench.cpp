// Route searches on the largest strategic path grid (769 x 769 cells, border
// 128) as the world simulation plans them: cost factors reset, danger zones
// added, a few goals seeded, the wavefront run towards the army and the path
// traced and smoothed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/QX9_PathFinder.h"

namespace {

constexpr int32_t Size = 769;
constexpr int32_t Border = 128;

struct TLcg {
    uint32_t State;
    uint32_t Next(uint32_t n)
    {
        State = State * 1103515245u + 12345u;
        return ((State >> 8) & 0xFFFFFF) % n;
    }
};

int32_t Cell(int32_t x, int32_t y)
{
    return PF_PackCell(x + Border, y + Border);
}

// Terrain: 60 % open ground (2..11), 30 % forest and hills (20..79), 10 %
// rough ground (100..255); blocked clumps up to 20 % of the cells; eight
// meandering roads of cost 1; and a walled island (blocked ring) in one
// corner for the unreachable case.
struct TBenchMap {
    TPF_Grid* Grid = nullptr;
    TPF_Map Map;
    TPF_Tracker Tracker;

    TBenchMap()
    {
        Grid = PF_CreateGrid(Size, Size);
        TLcg rng{20261210};
        for (int32_t y = 0; y < Size; ++y) {
            for (int32_t x = 0; x < Size; ++x) {
                uint32_t r = rng.Next(100);
                uint16_t v = r < 60   ? static_cast<uint16_t>(2 + rng.Next(10))
                             : r < 90 ? static_cast<uint16_t>(20 + rng.Next(60))
                                      : static_cast<uint16_t>(100 + rng.Next(156));
                PF_GridSet(Grid, x, y, v);
            }
        }
        int64_t blocked = static_cast<int64_t>(Size) * Size / 5;
        while (blocked > 0) {
            int32_t cx = rng.Next(Size), cy = rng.Next(Size), r = 1 + rng.Next(4);
            for (int32_t y = std::max(0, cy - r); y <= std::min(Size - 1, cy + r); ++y) {
                for (int32_t x = std::max(0, cx - r); x <= std::min(Size - 1, cx + r); ++x) {
                    if (PF_GridGet(Grid, x, y) != 0) {
                        PF_GridSet(Grid, x, y, 0);
                        --blocked;
                    }
                }
            }
        }
        for (int32_t road = 0; road < 8; ++road) {
            int32_t a = rng.Next(Size);
            for (int32_t b = 0; b < Size; ++b) {
                if (road % 2 == 0) {
                    PF_GridSet(Grid, a, b, 1);
                } else {
                    PF_GridSet(Grid, b, a, 1);
                }
                a = std::clamp<int32_t>(a + static_cast<int32_t>(rng.Next(3)) - 1, 0, Size - 1);
            }
        }
        // The island: cells 700..760 fenced by a blocked ring two cells thick.
        for (int32_t y = 696; y <= 764; ++y) {
            for (int32_t x = 696; x <= 764; ++x) {
                bool ring = x < 698 || x > 762 || y < 698 || y > 762;
                if (ring) {
                    PF_GridSet(Grid, x, y, 0);
                } else if (PF_GridGet(Grid, x, y) == 0) {
                    PF_GridSet(Grid, x, y, 5);
                }
            }
        }
        PF_CreateMap(Grid, Map);
        Tracker.Init(Map, Border, false);
    }
    ~TBenchMap()
    {
        Tracker.Done();
        PF_FreeMap(Map);
        PF_FreeAndNil(Grid);
    }

    // An open cell near (x, y).
    int32_t OpenCell(int32_t x, int32_t y) const
    {
        for (int32_t r = 0; r < Size; ++r) {
            for (int32_t dy = -r; dy <= r; ++dy) {
                for (int32_t dx = -r; dx <= r; ++dx) {
                    if (PF_GridGet(Grid, x + dx, y + dy) != 0) {
                        return Cell(x + dx, y + dy);
                    }
                }
            }
        }
        return Cell(x, y);
    }

    // Ten danger zones (radius 4..36, step 4, and traffic avoidance radius 4,
    // step 1) and four goals, as a route planning sets them up.
    void Prepare(int32_t goalX, int32_t goalY)
    {
        Tracker.ResetCosts();
        TLcg rng{77};
        for (int32_t i = 0; i < 10; ++i) {
            bool traffic = i >= 8;
            Tracker.AddPenalty(Cell(rng.Next(Size), rng.Next(Size)), traffic ? 4 : 4 + rng.Next(33), traffic ? 1 : 4);
        }
        Tracker.ClearSeeds();
        Tracker.AddSeed(OpenCell(goalX, goalY), 0);
        Tracker.AddSeed(OpenCell(goalX + 40, goalY + 10), 3000);
        Tracker.AddSeed(OpenCell(goalX + 10, goalY + 60), 1500);
        Tracker.AddSeed(OpenCell(goalX + 70, goalY + 70), 8000);
    }

    int64_t ReachedCells() const
    {
        return std::count_if(Map.DistGrid->Cells.begin(), Map.DistGrid->Cells.end(),
                             [](uint16_t d) { return d != PF_Unreached; });
    }
};

TBenchMap& BenchMap()
{
    static TBenchMap map;
    return map;
}

void Report(benchmark::State& state, TBenchMap& map, bool reached)
{
    state.counters["searches/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["cells_expanded/s"] = benchmark::Counter(
        static_cast<double>(map.ReachedCells()) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["cells_reached"] = static_cast<double>(map.ReachedCells());
    state.counters["reached"] = reached ? 1 : 0;
    state.counters["path_points"] = map.Tracker.PathCount + 1;
}

// Goals in one corner, the army in the opposite one: the wavefront crosses the map.
void BM_FarTarget(benchmark::State& state)
{
    TBenchMap& map = BenchMap();
    int32_t army = map.OpenCell(Size - 90, Size - 120);
    bool reached = false;
    for (auto _ : state) {
        map.Prepare(10, 10);
        reached = map.Tracker.Calc(army, true);
        map.Tracker.GetPath(army, true);
        benchmark::DoNotOptimize(map.Tracker.PathCount);
    }
    Report(state, map, reached);
}
BENCHMARK(BM_FarTarget)->Unit(benchmark::kMillisecond);

// The army a few cells from its main goal: the search stops early.
void BM_NearTarget(benchmark::State& state)
{
    TBenchMap& map = BenchMap();
    int32_t army = map.OpenCell(380, 390);
    bool reached = false;
    for (auto _ : state) {
        map.Prepare(372, 384);
        reached = map.Tracker.Calc(army, true);
        map.Tracker.GetPath(army, true);
        benchmark::DoNotOptimize(map.Tracker.PathCount);
    }
    Report(state, map, reached);
}
BENCHMARK(BM_NearTarget)->Unit(benchmark::kMillisecond);

// The army on the walled island: nothing stops the wavefront before it has
// covered everything reachable.
void BM_UnreachableTarget(benchmark::State& state)
{
    TBenchMap& map = BenchMap();
    int32_t army = map.OpenCell(730, 730);
    bool reached = true;
    for (auto _ : state) {
        map.Prepare(10, 10);
        reached = map.Tracker.Calc(army, true);
        benchmark::DoNotOptimize(reached);
    }
    Report(state, map, reached);
}
BENCHMARK(BM_UnreachableTarget)->Unit(benchmark::kMillisecond);

// A plain bucket-queue (Dial) search from one cell over the same grid, with
// the same step costs, steps and 16-bit distances: the yardstick for the
// tracker's whole-grid wavefront. It does the same work per search: per-search
// factors set to 1, step costs multiplied out, the search, the distances
// written to a grid.
struct TDialReference {
    int32_t Width = 0, Height = 0, Pw = 0;
    std::vector<uint16_t> Factors;    // per-search cost factors
    std::vector<uint16_t> Cost, Dist; // padded with a blocked border
    std::vector<std::vector<uint32_t>> Buckets = std::vector<std::vector<uint32_t>>(65536);
    std::vector<uint16_t> Out; // distances, row by row

    explicit TDialReference(const TPF_Grid& grid)
        : Width(grid.Width), Height(grid.Height), Pw(grid.Width + 2), Factors(grid.Cells.size()),
          Cost(static_cast<size_t>(Pw) * (Height + 2), 0), Dist(Cost.size()), Out(grid.Cells.size())
    {
    }

    void Search(const TPF_Grid& grid, int32_t x, int32_t y)
    {
        std::fill(Factors.begin(), Factors.end(), 1);
        std::fill(Dist.begin(), Dist.end(), 65535);
        for (int32_t row = 0; row < Height; ++row) {
            const size_t from = static_cast<size_t>(row) * Width, to = static_cast<size_t>(row + 1) * Pw + 1;
            for (int32_t column = 0; column < Width; ++column) {
                uint32_t v = static_cast<uint32_t>(grid.Cells[from + column]) * Factors[from + column];
                Cost[to + column] = static_cast<uint16_t>(std::min<uint32_t>(v, 65535));
            }
        }
        const int32_t offsets[8] = {-1, Pw - 1, Pw, Pw + 1, 1, 1 - Pw, -Pw, -1 - Pw};
        const uint32_t weights[8] = {2, 3, 2, 3, 2, 3, 2, 3};
        const uint32_t start = static_cast<uint32_t>((y + 1) * Pw + x + 1);
        Dist[start] = 0;
        Buckets[0].push_back(start);
        size_t pending = 1;
        for (uint32_t band = 0; band < 65535 && pending > 0; ++band) {
            std::vector<uint32_t>& bucket = Buckets[band];
            for (size_t i = 0; i < bucket.size(); ++i) {
                const uint32_t c = bucket[i];
                if (Dist[c] != band) {
                    continue;
                }
                for (int32_t k = 0; k < 8; ++k) {
                    const uint32_t n = c + offsets[k];
                    const uint32_t factor = Cost[n];
                    const uint32_t value = band + weights[k] * factor;
                    if (factor != 0 && value < Dist[n]) {
                        Dist[n] = static_cast<uint16_t>(value);
                        Buckets[value].push_back(n);
                        ++pending;
                    }
                }
            }
            pending -= bucket.size();
            bucket.clear();
        }
        for (int32_t row = 0; row < Height; ++row) {
            std::copy_n(Dist.begin() + (row + 1) * Pw + 1, Width, Out.begin() + static_cast<size_t>(row) * Width);
        }
    }
};

TDialReference& Reference()
{
    static TDialReference reference(*BenchMap().Grid);
    return reference;
}

// A single-cell search over the whole grid (no target); its distances must be
// the reference's, bit for bit.
void BM_FullWavefrontFromCell(benchmark::State& state)
{
    TBenchMap& map = BenchMap();
    int32_t start = map.OpenCell(384, 384);
    Reference().Search(*map.Grid, (start & 0xFFFF) - Border, (start >> 16) - Border);
    map.Tracker.ResetCosts();
    map.Tracker.Calc(start, false);
    if (map.Map.DistGrid->Cells != Reference().Out) {
        state.SkipWithError("distances differ from the reference search");
        return;
    }
    for (auto _ : state) {
        map.Tracker.ResetCosts();
        benchmark::DoNotOptimize(map.Tracker.Calc(start, false));
    }
    Report(state, map, true);
}
BENCHMARK(BM_FullWavefrontFromCell)->Unit(benchmark::kMillisecond);

void BM_FullWavefrontDialReference(benchmark::State& state)
{
    TBenchMap& map = BenchMap();
    int32_t start = map.OpenCell(384, 384);
    TDialReference& reference = Reference();
    for (auto _ : state) {
        reference.Search(*map.Grid, (start & 0xFFFF) - Border, (start >> 16) - Border);
        benchmark::DoNotOptimize(reference.Out.data());
    }
    state.counters["searches/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FullWavefrontDialReference)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
