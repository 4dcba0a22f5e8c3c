#include "model/ai/AIMain_Planning.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>

#include "engine/QX9_Parallelizer.h"
#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Walking.h"
#include "model/world/World_Access.h"

namespace {

int32_t ThreadsFromEnvironment()
{
    const char* text = std::getenv("DUSKMARCH_PLANNING_THREADS");
    if (text == nullptr || *text == 0)
        return 1;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != 0 || value < 1)
        return 1;
    return static_cast<int32_t>(std::min<long>(value, PlanningThreadsMax));
}

// The workers and, per worker, the buffers its searches run on.
struct TPlanningWorkers {
    int32_t Threads = 0;
    TParallelizer Pool;
    // Over PathGrid as it was when they were made; made anew when it changes.
    std::vector<TPF_Map> Buffers;
    const TPF_Grid* Grid = nullptr;
    uint16_t Width = 0, Height = 0;

    // One run's work: searches are handed out one at a time, as workers
    // come free, so a long search does not hold up the ones behind it.
    std::vector<TRoutePlan>* Plans = nullptr;
    std::atomic<size_t> Next{0};

    void FreeBuffers()
    {
        for (TPF_Map& map : Buffers)
            PF_FreeMap(map);
        Buffers.clear();
        Grid = nullptr;
    }
    ~TPlanningWorkers() { FreeBuffers(); }
};

int32_t RequestedThreads = -1; // -1: not read from the environment yet

TPlanningWorkers& Workers()
{
    static TPlanningWorkers workers;
    return workers;
}

// The buffers of every worker fit the path grid as it is now.
bool PrepareWorkers(int32_t threads)
{
    TPlanningWorkers& w = Workers();
    if (PathGrid == nullptr)
        return false;
    if (w.Grid != PathGrid || w.Width != PathGrid->Width || w.Height != PathGrid->Height ||
        static_cast<int32_t>(w.Buffers.size()) != threads) {
        w.FreeBuffers();
        w.Buffers.resize(static_cast<size_t>(threads));
        for (TPF_Map& map : w.Buffers)
            PF_CreateMap(PathGrid, map);
        w.Grid = PathGrid;
        w.Width = PathGrid->Width;
        w.Height = PathGrid->Height;
    }
    if (w.Threads != threads) {
        w.Pool.InitWorkers(threads);
        // One run a frame: nothing follows soon enough to be worth watching
        // for, and a watching worker only keeps the frame's thread off a
        // processor.
        w.Pool.Watch = false;
        w.Threads = threads;
    }
    return true;
}

// A search on the given buffers instead of the tracker's own (those are
// shared by every tracker of the path map).
void SearchOn(TRoutePlan& plan, TPF_Map& buffers)
{
    TPF_Tracker& tracker = ArmyTrackers[static_cast<size_t>(plan.Army)];
    TPF_Grid* costs = tracker.CostGrid;
    TPF_Grid* distances = tracker.DistGrid;
    TPF_Frontier* frontier = tracker.Frontier;
    tracker.CostGrid = buffers.CostGrid;
    tracker.DistGrid = buffers.DistGrid;
    tracker.Frontier = buffers.Frontier;
    SearchRoute(plan);
    tracker.CostGrid = costs;
    tracker.DistGrid = distances;
    tracker.Frontier = frontier;
}

// Worker k of the run (the caller among them) searches on buffers k.
void SearchProc(int32_t index, void* userData)
{
    TPlanningWorkers& w = *static_cast<TPlanningWorkers*>(userData);
    TPF_Map& buffers = w.Buffers[static_cast<size_t>(index)];
    for (;;) {
        const size_t next = w.Next.fetch_add(1, std::memory_order_relaxed);
        if (next >= w.Plans->size())
            return;
        SearchOn((*w.Plans)[next], buffers);
    }
}

} // namespace

int32_t PlanningThreads()
{
    if (RequestedThreads < 0)
        RequestedThreads = ThreadsFromEnvironment();
    return RequestedThreads;
}

void SetPlanningThreads(int32_t threads)
{
    RequestedThreads = std::clamp(threads, 1, PlanningThreadsMax);
}

void ReleasePlanningWorkers()
{
    TPlanningWorkers& w = Workers();
    w.Pool.Done();
    w.Threads = 0;
    w.FreeBuffers();
}

void TRouteBatch::Add(int32_t army)
{
    TRoutePlan plan;
    if (!GatherRouteGoals(army, plan, this))
        return;
    if (plan.OpenedCell < 0) {
        Waiting.push_back(std::move(plan));
        return;
    }
    // An opened cell is seen by this search alone: the batch before it ran
    // while gathering it, and the cell closes again before the next.
    SearchRoute(plan);
    TakeRoute(plan);
}

bool TRouteBatch::Waits(int32_t army) const
{
    return std::any_of(Waiting.begin(), Waiting.end(), [army](const TRoutePlan& p) { return p.Army == army; });
}

void TRouteBatch::Run()
{
    if (Waiting.empty())
        return;
    const int32_t threads = std::min<int32_t>(PlanningThreads(), static_cast<int32_t>(Waiting.size()));
    if (threads <= 1 || !PrepareWorkers(PlanningThreads())) {
        for (TRoutePlan& plan : Waiting)
            SearchRoute(plan);
    } else {
        TPlanningWorkers& w = Workers();
        w.Plans = &Waiting;
        w.Next.store(0, std::memory_order_relaxed);
        // No more workers than searches: the others sleep on.
        w.Pool.RunWorkers(SearchProc, threads, &w, true);
        w.Plans = nullptr;
    }
    // Emptied before the routes are taken up, so that the batch never holds
    // a plan whose route is already walked.
    std::vector<TRoutePlan> plans;
    plans.swap(Waiting);
    for (const TRoutePlan& plan : plans)
        TakeRoute(plan);
}
