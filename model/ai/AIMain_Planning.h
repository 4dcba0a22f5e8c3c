// Route planning in three steps, so that the searches of one frame can run
// side by side: the goals of an army (seeds, danger zones) are gathered on
// the frame's thread in the queue's order; the searches then run, each on
// its own tracker and its own cost, distance and frontier buffers over the
// shared path grid; and their routes are taken up afterwards, again in the
// queue's order. A gathering that reads what an earlier route of the same
// batch would change first runs the batch, so the world goes on exactly as
// when every army is planned to the end before the next one starts.
#pragma once

#include <cstdint>
#include <vector>

// A danger zone of a search, kept until the search runs (the cost factors
// it raises are the search's own).
struct TRoutePenalty {
    int32_t Cell = 0;
    int32_t Radius = 0;
    int32_t Step = 1;
};

// One army's search: its goals are the seeds of its tracker.
struct TRoutePlan {
    int32_t Army = 0;
    int32_t Cell = 0;        // where the army stands: the search's target
    int32_t OpenedCell = -1; // a closed cell opened in the path grid for this search, restored after it
    int32_t OwnCell = -1;    // the army's own cell when closed: open in this search alone (the grid is not written)
    std::vector<TRoutePenalty> Penalties;
    bool Found = false;
};

class TRouteBatch;

// Gathers the army's goals into its tracker and the plan; false when there
// is nothing to search. With a batch, routes of the batch that the
// gathering reads are finished first. In AIMain_Targets.
bool GatherRouteGoals(int32_t army, TRoutePlan& plan, TRouteBatch* batch);
// The search of a gathered plan on the tracker's own buffers.
void SearchRoute(TRoutePlan& plan);
// Takes up a searched route: the walk starts, or the army stands. Restores
// an opened cell. True when the army has a path.
bool TakeRoute(const TRoutePlan& plan);

// Plans waiting for their searches, in the order they were gathered.
class TRouteBatch {
public:
    // Gathers the army's plan; a plan that changes the path grid is searched
    // and taken up at once, after the plans before it.
    void Add(int32_t army);
    // Whether the army's plan waits for its search.
    bool Waits(int32_t army) const;
    // Runs the waiting searches on the planning workers and takes up their
    // routes in order.
    void Run();

private:
    std::vector<TRoutePlan> Waiting;
};

// The number of threads that search routes side by side: 1 plans every
// army to the end before the next one (no worker threads); from the
// environment variable DUSKMARCH_PLANNING_THREADS when set, else 1.
int32_t PlanningThreads();
// Sets the count (at least 1, at most PlanningThreadsMax); the workers are
// made anew on the next batch.
void SetPlanningThreads(int32_t threads);
constexpr int32_t PlanningThreadsMax = 64;
// Ends the planning workers and frees their buffers.
void ReleasePlanningWorkers();
