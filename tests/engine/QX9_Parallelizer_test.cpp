// The worker pool: worker counts, chunking, every index exactly once, the
// caller's own share, threads kept or ended, and more workers than one system
// wait could take.
#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <climits>
#include <memory>
#include <set>
#include <vector>

#include "engine/QX9_Parallelizer.h"
#include "engine/QX9_System.h"

namespace {

// Sets the processor count the pool sees, and puts the real one back.
class TProcessors {
public:
    explicit TProcessors(uint32_t count) : Saved(SystemInfo.NumberOfProcessors) {
        SystemInfo.NumberOfProcessors = count;
    }
    ~TProcessors() { SystemInfo.NumberOfProcessors = Saved; }

private:
    uint32_t Saved;
};

TEST(ParallelizerTest, WorkerCountFromRequestAndProcessors) {
    struct TRow {
        uint32_t Processors;
        int32_t Requested;
        int32_t Workers;
    };
    const TRow rows[] = {{4, 2, 4}, {4, -1, 4}, {4, 6, 6}, {4, 0, 4}, {1, 3, 3}, {0, -1, 1}};
    for (const TRow& row : rows) {
        TProcessors processors(row.Processors);
        TParallelizer pool;
        pool.Init(row.Requested);
        EXPECT_EQ(pool.WorkerCount, row.Workers) << row.Processors << " processors, " << row.Requested << " asked";
        EXPECT_EQ(pool.Threads.size(), static_cast<size_t>(row.Workers));
        ASSERT_EQ(pool.Tasks.size(), static_cast<size_t>(row.Workers));
        for (int32_t w = 0; w < row.Workers; ++w) {
            EXPECT_EQ(pool.Tasks[w].ThreadSlot, &pool.Threads[w]);
            EXPECT_EQ(pool.Tasks[w].Pool, &pool);
        }
        pool.Done(); // never ran: nothing to end
        pool.Done();
        EXPECT_EQ(pool.WorkerCount, 0);
    }
}

// Each call counts its index and notes the thread that ran it.
struct TCoverage {
    int64_t First = 0;
    std::vector<std::atomic<int>> Calls;
    std::vector<std::atomic<uint32_t>> Thread;
    TCoverage(int64_t first, int64_t last) : First(first), Calls(last - first + 1), Thread(last - first + 1) {}
    static void Callback(int32_t index, void* data) {
        auto* self = static_cast<TCoverage*>(data);
        self->Calls[index - self->First].fetch_add(1);
        self->Thread[index - self->First].store(OS_GetCurrentThreadId());
    }
};

void NeverCalled(int32_t, void*) {
    ADD_FAILURE() << "called for an empty range";
}

TEST(ParallelizerThreadTest, EveryIndexOnceInItsWorkersChunk) {
    struct TRow {
        int32_t First, Last, Workers;
        // Expected chunk of each worker (First, Last); empty when not checked.
        std::vector<std::pair<int32_t, int32_t>> Chunks;
    };
    const TRow rows[] = {
        {0, 9, 4, {{0, 1}, {2, 3}, {4, 5}, {6, 9}}},
        {0, 2, 4, {{0, -1}, {0, -1}, {0, -1}, {0, 2}}},
        {5, 5, 4, {}},
        {0, 99999, 8, {}},
        {-10, 10, 3, {{-10, -5}, {-4, 1}, {2, 10}}},
        {1, 2, 2, {{1, 0}, {1, 2}}}, // (last - first) div workers is 0: the last worker takes all
        // The ends of the 32-bit range: no overflow in the chunks or the loops.
        {INT32_MAX - 5,
         INT32_MAX,
         4,
         {{INT32_MAX - 5, INT32_MAX - 5},
          {INT32_MAX - 4, INT32_MAX - 4},
          {INT32_MAX - 3, INT32_MAX - 3},
          {INT32_MAX - 2, INT32_MAX}}},
        {INT32_MIN,
         INT32_MIN + 6,
         3,
         {{INT32_MIN, INT32_MIN + 1}, {INT32_MIN + 2, INT32_MIN + 3}, {INT32_MIN + 4, INT32_MIN + 6}}},
    };
    TProcessors processors(1);
    for (bool keep : {true, false})
        for (const TRow& row : rows) {
            SCOPED_TRACE(std::to_string(row.First) + ".." + std::to_string(row.Last) + " over " +
                         std::to_string(row.Workers) + (keep ? ", keep" : ", no keep"));
            TParallelizer pool;
            pool.Init(row.Workers);
            ASSERT_EQ(pool.WorkerCount, row.Workers);
            TCoverage coverage(row.First, row.Last);
            pool.Run(TCoverage::Callback, row.First, row.Last, &coverage, keep);
            for (size_t i = 0; i < coverage.Calls.size(); ++i)
                ASSERT_EQ(coverage.Calls[i].load(), 1) << "index " << row.First + static_cast<int64_t>(i);

            if (row.First == row.Last) {
                // One index: the caller's thread, no worker started.
                EXPECT_EQ(coverage.Thread[0].load(), OS_GetCurrentThreadId());
                for (const auto& thread : pool.Threads)
                    EXPECT_FALSE(thread.joinable());
                continue;
            }
            for (size_t w = 0; w < row.Chunks.size(); ++w) {
                EXPECT_EQ(pool.Tasks[w].First, row.Chunks[w].first) << "worker " << w;
                EXPECT_EQ(pool.Tasks[w].Last, row.Chunks[w].second) << "worker " << w;
            }
            // The last share ran on the caller, whose slot never gets a thread.
            const TParallelizerTask& own = pool.Tasks[pool.WorkerCount - 1];
            for (int64_t i = own.First; i <= own.Last; ++i)
                ASSERT_EQ(coverage.Thread[i - row.First].load(), OS_GetCurrentThreadId()) << "index " << i;
            EXPECT_EQ(own.ThreadId, OS_GetCurrentThreadId());
            for (int32_t w = 0; w < pool.WorkerCount; ++w)
                EXPECT_EQ(pool.Threads[w].joinable(), keep && w < pool.WorkerCount - 1) << "worker " << w;
            if (!keep)
                continue;
            // Every index ran on the worker whose chunk holds it.
            for (int32_t w = 0; w < pool.WorkerCount; ++w)
                for (int64_t i = pool.Tasks[w].First; i <= pool.Tasks[w].Last; ++i)
                    ASSERT_EQ(coverage.Thread[i - row.First].load(), pool.Tasks[w].ThreadId) << "index " << i;
        }
}

TEST(ParallelizerThreadTest, EmptyRangeCallsNothing) {
    TProcessors processors(1);
    TParallelizer pool;
    pool.Init(4);
    pool.Run(NeverCalled, 3, 2, nullptr, true);
    pool.Run(NeverCalled, INT32_MAX, INT32_MIN, nullptr, false);
    for (const auto& thread : pool.Threads)
        EXPECT_FALSE(thread.joinable());
}

struct TSums {
    std::vector<int64_t> PerIndex; // each written only by the worker of that index
    static void Callback(int32_t index, void* data) { static_cast<TSums*>(data)->PerIndex[index] += index + 1; }
};

TEST(ParallelizerThreadTest, TenThousandRunsWithKeepUseTheSameWorkers) {
    TProcessors processors(1);
    TParallelizer pool;
    pool.Init(8);
    TSums sums;
    sums.PerIndex.assign(37, 0);
    pool.Run(TSums::Callback, 0, 36, &sums, true);
    std::vector<uint32_t> ids;
    for (const TParallelizerTask& task : pool.Tasks)
        ids.push_back(task.ThreadId);
    EXPECT_EQ(std::set<uint32_t>(ids.begin(), ids.end()).size(), 8u) << "seven workers and the caller";
    constexpr int runs = 10000;
    for (int run = 1; run < runs; ++run)
        pool.Run(TSums::Callback, 0, 36, &sums, true);
    for (int32_t i = 0; i <= 36; ++i)
        ASSERT_EQ(sums.PerIndex[i], static_cast<int64_t>(runs) * (i + 1)) << "index " << i;
    for (size_t w = 0; w < ids.size(); ++w)
        EXPECT_EQ(pool.Tasks[w].ThreadId, ids[w]);
    pool.Done();
    for (const auto& thread : pool.Threads)
        EXPECT_FALSE(thread.joinable());
}

TEST(ParallelizerThreadTest, WithoutKeepEveryRunStartsAndEndsItsWorkers) {
    TProcessors processors(1);
    TParallelizer pool;
    pool.Init(3);
    TSums sums;
    sums.PerIndex.assign(10, 0);
    for (int run = 0; run < 50; ++run) {
        pool.Run(TSums::Callback, 0, 9, &sums, false);
        for (int32_t w = 0; w < pool.WorkerCount; ++w) {
            EXPECT_FALSE(pool.Threads[w].joinable());
            if (w < pool.WorkerCount - 1) {
                EXPECT_EQ(pool.Tasks[w].ThreadId, 0u);
            }
        }
    }
    for (int32_t i = 0; i < 10; ++i)
        EXPECT_EQ(sums.PerIndex[i], 50 * (i + 1));
    // Kept workers after runs without keep, then a plain end.
    pool.Run(TSums::Callback, 0, 9, &sums, true);
    EXPECT_TRUE(pool.Threads[0].joinable());
}

// More workers than one system wait could watch: Run still returns only
// when every worker is done.
TEST(ParallelizerThreadTest, MoreThanSixtyFourWorkers) {
    TProcessors processors(1);
    TParallelizer pool;
    pool.Init(100);
    TCoverage coverage(0, 999);
    pool.Run(TCoverage::Callback, 0, 999, &coverage, true);
    for (size_t i = 0; i < coverage.Calls.size(); ++i)
        ASSERT_EQ(coverage.Calls[i].load(), 1) << "index " << i;
    std::set<uint32_t> threads;
    for (const auto& thread : coverage.Thread)
        threads.insert(thread.load());
    EXPECT_EQ(threads.size(), 100u) << "99 workers and the caller";
}

// Waiting threads watch the counters only while the workers fit on the
// processors the program may use; with more, they sleep at once (a watching
// thread would keep a working one waiting for a processor). Runs stay correct
// either way.
TEST(ParallelizerThreadTest, MoreWorkersThanProcessorsNeverWatch) {
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof(set), &set), 0);
    const int32_t usable = CPU_COUNT(&set);
    TProcessors processors(1);
    TParallelizer pool;
    pool.Init(usable + 3);
    EXPECT_FALSE(pool.Watch);
    TSums sums;
    sums.PerIndex.assign(50, 0);
    for (int run = 0; run < 200; ++run)
        pool.Run(TSums::Callback, 0, 49, &sums, true);
    for (int32_t i = 0; i < 50; ++i)
        ASSERT_EQ(sums.PerIndex[i], 200 * (i + 1));
}

// A pool never set up, or of one worker: the caller runs the whole range and
// no thread is started.
TEST(ParallelizerThreadTest, PoolOfOneOrNoneRunsOnTheCaller) {
    TProcessors processors(1);
    for (int32_t workers : {0, 1}) {
        TParallelizer pool;
        if (workers > 0)
            pool.Init(workers);
        TCoverage coverage(0, 4);
        pool.Run(TCoverage::Callback, 0, 4, &coverage, true);
        for (size_t i = 0; i < coverage.Calls.size(); ++i) {
            EXPECT_EQ(coverage.Calls[i].load(), 1) << workers << " workers";
            EXPECT_EQ(coverage.Thread[i].load(), OS_GetCurrentThreadId()) << workers << " workers";
        }
        for (const auto& thread : pool.Threads)
            EXPECT_FALSE(thread.joinable());
    }
}

// Runs of fewer workers than the pool has, between runs of all of them:
// each index once, index k on worker k and the last on the caller; the
// workers left out of a run neither run anything nor hold it up, and take
// part again in the next run that asks for them.
TEST(ParallelizerThreadTest, RunWorkersWakesOnlyTheWorkersAsked) {
    TProcessors processors(1);
    TParallelizer pool;
    pool.Init(8);
    const struct {
        int32_t Asked, Used;
    } rows[] = {{8, 8}, {1, 1}, {3, 3}, {0, 1}, {-4, 1}, {20, 8}, {2, 2}, {7, 7}, {8, 8}, {5, 5}};
    for (int round = 0; round < 100; ++round)
        for (const auto& row : rows) {
            TCoverage coverage(0, row.Used - 1);
            pool.RunWorkers(TCoverage::Callback, row.Asked, &coverage, true);
            std::set<uint32_t> threads;
            for (int32_t k = 0; k < row.Used; ++k) {
                ASSERT_EQ(coverage.Calls[k].load(), 1) << row.Asked << " asked, index " << k;
                threads.insert(coverage.Thread[k].load());
                if (k < row.Used - 1) {
                    ASSERT_EQ(coverage.Thread[k].load(), pool.Tasks[k].ThreadId) << row.Asked << " asked";
                }
            }
            ASSERT_EQ(coverage.Thread[row.Used - 1].load(), OS_GetCurrentThreadId()) << row.Asked << " asked";
            ASSERT_EQ(threads.size(), static_cast<size_t>(row.Used)) << row.Asked << " asked";
        }
    // Plain runs over the whole pool still reach every worker, and the pool
    // ends cleanly after runs that left workers out.
    TSums sums;
    sums.PerIndex.assign(16, 0);
    pool.Run(TSums::Callback, 0, 15, &sums, true);
    for (int32_t i = 0; i < 16; ++i)
        EXPECT_EQ(sums.PerIndex[i], i + 1);
    pool.Done();
    TParallelizer never;
    TCoverage alone(0, 0);
    never.RunWorkers(TCoverage::Callback, 4, &alone, true);
    EXPECT_EQ(alone.Calls[0].load(), 1) << "a pool never set up runs the one index on the caller";
}

} // namespace
