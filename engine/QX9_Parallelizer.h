// QX9_System: TParallelizer, a small pool of worker threads that runs one
// procedure over an index range split into contiguous chunks.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/os/OS.h"

// The processors this program may run on (a CPU mask can leave fewer than
// the machine has); at least 1.
int32_t UsableProcessors();

using TParallelizerProc = void (*)(int32_t index, void* userData);

struct TParallelizer;

// A count that threads can sleep on until it changes. Sleepers register
// themselves, so a change that nobody waits for costs no system call.
struct TParallelizerSignal {
    std::atomic<uint32_t> Value{0};
    std::atomic<int32_t> Sleepers{0};
};

// One per worker. ThreadSlot points at the worker's entry in the pool's
// thread array. The last share is run by the caller of Run itself: its slot
// never gets a thread, and its ThreadId is the caller's.
struct TParallelizerTask {
    int32_t First = 0;
    int32_t Last = -1;
    void* UserData = nullptr;
    uint32_t ThreadId = 0; // written by the worker before it first waits (the caller: at each run)
    std::thread* ThreadSlot = nullptr;
    TParallelizerProc Callback = nullptr;
    // Set by the pool before the start signal that asks the worker to end;
    // the signal orders it before the worker reads it.
    bool Stop = false;
    // The pool's start count when the worker's thread was made: the worker
    // waits for the count to move on from it.
    uint32_t StartGeneration = 0;
    TParallelizer* Pool = nullptr;
};

struct TParallelizer {
    int32_t WorkerCount = 0;
    std::vector<std::thread> Threads;
    std::vector<TParallelizerTask> Tasks;
    // The start signal: raised once per run (and once to end the workers),
    // all workers wake on the one change. One signal and one wake-up per run
    // instead of two events per worker.
    TParallelizerSignal Generation;
    // The done signal: workers of the current run not done yet; the last one
    // to finish wakes the caller.
    TParallelizerSignal Pending;
    // Whether the waiting sides may watch the signals for a moment before
    // they sleep: only while the workers and the caller fit on the
    // processors this program may use, so that a watching thread never
    // keeps a working one off a processor.
    bool Watch = false;

    // Workers: the processor count for a negative request, otherwise the
    // larger of the request and the processor count. No thread starts yet.
    void Init(int32_t requested);
    // Exactly that many workers (at least 1), the caller counted among them.
    void InitWorkers(int32_t workers);
    // Calls callback(i, userData) for every i in first .. last and returns
    // when all are done. Each worker takes one contiguous chunk; the last one
    // also takes the remainder, and runs on the calling thread while the
    // other workers run theirs, so a run keeps no more threads busy than
    // there are workers. A single index runs on the calling thread.
    // With keepThreads the workers wait for the next run, otherwise they end.
    void Run(TParallelizerProc callback, int32_t first, int32_t last, void* userData, bool keepThreads);
    // Ends the workers and frees everything; the pool may be set up again.
    void Done();

    ~TParallelizer() { Done(); }

private:
    void EndWorkers();
};

// The workers' body: waits for the start signal, runs its chunk, counts
// itself done, again, until the pool asks it to end.
void ParallelizerThreadProc(TParallelizerTask* task);
