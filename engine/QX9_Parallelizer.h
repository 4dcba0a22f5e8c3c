// QX9_System: TParallelizer, a small pool of worker threads that runs one
// procedure over an index range split into contiguous chunks.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "platform/os/OS.h"

using TParallelizerProc = void (*)(int32_t index, void* userData);

// One per worker. StartEvent, DoneEvent and ThreadSlot point at the worker's
// entries in the pool's arrays.
struct TParallelizerTask {
    int32_t First = 0;
    int32_t Last = -1;
    void* UserData = nullptr;
    uint32_t ThreadId = 0; // written by the worker before it first waits
    std::thread* ThreadSlot = nullptr;
    TAutoResetEvent* StartEvent = nullptr;
    TAutoResetEvent* DoneEvent = nullptr;
    TParallelizerProc Callback = nullptr;
    // Set by the pool before a start signal that asks the worker to end; the
    // event orders it before the worker reads it.
    bool Stop = false;
    std::atomic<int32_t>* Pending = nullptr; // the pool's count of workers not done
};

struct TParallelizer {
    int32_t WorkerCount = 0;
    std::vector<std::thread> Threads;
    std::vector<TParallelizerTask> Tasks;
    std::vector<std::unique_ptr<TAutoResetEvent>> DoneEvents;
    std::vector<std::unique_ptr<TAutoResetEvent>> StartEvents;
    std::atomic<int32_t> Pending{0}; // workers of the current run not done yet

    // Workers: the processor count for a negative request, otherwise the
    // larger of the request and the processor count. No thread starts yet.
    void Init(int32_t requested);
    // Calls callback(i, userData) for every i in first .. last and returns
    // when all are done. Each worker takes one contiguous chunk; the last one
    // also takes the remainder. A single index runs on the calling thread.
    // With keepThreads the workers wait for the next run, otherwise they end.
    void Run(TParallelizerProc callback, int32_t first, int32_t last, void* userData, bool keepThreads);
    // Ends the workers and frees everything; the pool may be set up again.
    void Done();

    ~TParallelizer() { Done(); }

private:
    void EndWorker(int32_t i);
};

// The workers' body: waits for its start event, runs its chunk, signals its
// done event, again, until the pool asks it to end.
void ParallelizerThreadProc(TParallelizerTask* task);
