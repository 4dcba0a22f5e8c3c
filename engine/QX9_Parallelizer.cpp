// QX9_System: the worker pool.
#include "engine/QX9_Parallelizer.h"

#include <algorithm>
#include <chrono>

#include "engine/QX9_System.h"

namespace {

// Before sleeping on the done events the caller watches the count of
// workers still busy for a few microseconds: its own sleep and wake-up would
// cost more than a short run. The wait still ends on the events. Workers
// don't spin: between frames they would only take processors from others.
constexpr auto CallerSpin = std::chrono::microseconds(50);

inline void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

template <typename TPredicate> void SpinWhile(TPredicate busy, std::chrono::microseconds limit)
{
    auto end = std::chrono::steady_clock::now() + limit;
    for (int i = 0; busy(); ++i) {
        CpuRelax();
        if ((i & 63) == 63 && std::chrono::steady_clock::now() >= end)
            return;
    }
}

} // namespace

void ParallelizerThreadProc(TParallelizerTask* task)
{
    task->ThreadId = OS_GetCurrentThreadId();
    for (;;) {
        if (!task->StartEvent->Wait(OS_INFINITE) || task->Stop)
            return;
        // 64-bit, so a chunk ending at the top of the 32-bit range ends.
        for (int64_t i = task->First; i <= task->Last; ++i)
            task->Callback(static_cast<int32_t>(i), task->UserData);
        task->Pending->fetch_sub(1, std::memory_order_release);
        task->DoneEvent->Set();
    }
}

void TParallelizer::Init(int32_t requested)
{
    Done();
    int32_t processors = static_cast<int32_t>(std::max<uint32_t>(1, SystemInfo.NumberOfProcessors));
    WorkerCount = requested < 0 ? processors : std::max(requested, processors);
    Threads = std::vector<std::thread>(WorkerCount);
    Tasks = std::vector<TParallelizerTask>(WorkerCount);
    for (int32_t i = 0; i < WorkerCount; ++i) {
        StartEvents.push_back(std::make_unique<TAutoResetEvent>(false));
        DoneEvents.push_back(std::make_unique<TAutoResetEvent>(false));
        Tasks[i].ThreadSlot = &Threads[i];
        Tasks[i].StartEvent = StartEvents[i].get();
        Tasks[i].DoneEvent = DoneEvents[i].get();
        Tasks[i].Pending = &Pending;
    }
}

// Cooperative end: the worker sees the stop flag when the start event wakes
// it and returns; a worker is never ended from outside.
void TParallelizer::EndWorker(int32_t i)
{
    if (!Threads[i].joinable())
        return;
    Tasks[i].Stop = true;
    StartEvents[i]->Set();
    Threads[i].join();
    Threads[i] = std::thread();
    Tasks[i].Stop = false;
    Tasks[i].ThreadId = 0;
}

void TParallelizer::Run(TParallelizerProc callback, int32_t first, int32_t last, void* userData, bool keepThreads)
{
    if (last < first)
        return;
    // One index, or a pool that was never set up: the caller does the work.
    if (first == last || WorkerCount <= 0) {
        for (int64_t i = first; i <= last; ++i)
            callback(static_cast<int32_t>(i), userData);
        return;
    }
    // 64-bit: the span of two far-apart 32-bit ends does not fit 32 bits.
    int64_t chunk = (static_cast<int64_t>(last) - first) / WorkerCount;
    for (int32_t i = 0; i < WorkerCount; ++i) {
        TParallelizerTask& task = Tasks[i];
        task.First = static_cast<int32_t>(first + chunk * i);
        task.Last = i == WorkerCount - 1 ? last : static_cast<int32_t>(first + chunk * (i + 1) - 1);
        task.Callback = callback;
        task.UserData = userData;
    }
    for (int32_t i = 0; i < WorkerCount; ++i)
        if (!Threads[i].joinable())
            Threads[i] = std::thread(ParallelizerThreadProc, &Tasks[i]);
    Pending.store(WorkerCount, std::memory_order_relaxed);
    for (int32_t i = 0; i < WorkerCount; ++i)
        StartEvents[i]->Set();
    SpinWhile([this] { return Pending.load(std::memory_order_acquire) != 0; }, CallerSpin);
    // One wait per worker: no limit on how many there are.
    for (int32_t i = 0; i < WorkerCount; ++i)
        DoneEvents[i]->Wait(OS_INFINITE);
    if (!keepThreads)
        for (int32_t i = 0; i < WorkerCount; ++i)
            EndWorker(i);
}

void TParallelizer::Done()
{
    for (int32_t i = 0; i < static_cast<int32_t>(Threads.size()); ++i)
        EndWorker(i);
    Threads.clear();
    Tasks.clear();
    StartEvents.clear();
    DoneEvents.clear();
    WorkerCount = 0;
}
