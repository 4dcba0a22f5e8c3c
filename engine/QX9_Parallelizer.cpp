// QX9_System: the worker pool.
#include "engine/QX9_Parallelizer.h"

#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>

#include "engine/QX9_System.h"

int32_t UsableProcessors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) != 0) {
        return 1;
    }
    return std::max(1, CPU_COUNT(&set));
}

namespace {

// Both sides watch the shared counters for a while before they sleep on
// them: a sleep and wake-up costs more than a short run (on a virtual
// machine a sleeping processor takes a few hundred microseconds to wake).
// The caller only waits for the workers of its own run. The workers watch
// for half a millisecond: the next pass of the same frame starts within
// that, so it needs no wake-up, while between frames they sleep and leave
// the processors to others. Without the pool's Watch they sleep at once.
constexpr auto CallerSpin = std::chrono::microseconds(50);
constexpr auto WorkerSpin = std::chrono::microseconds(500);

#if defined(__SANITIZE_THREAD__)
#define QX9_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QX9_THREAD_SANITIZER 1
#endif
#endif

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

void FutexWait(std::atomic<uint32_t>& word, uint32_t value)
{
    // Returns at once when the word no longer holds value; wake-ups may be spurious.
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, value, nullptr, nullptr, 0);
}

void FutexWakeAll(std::atomic<uint32_t>& word)
{
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr, nullptr, 0);
}

// Waits until the signal's count differs from seen: a short watch, then
// sleep. Returns the new count.
uint32_t WaitForChange(TParallelizerSignal& signal, uint32_t seen, std::chrono::microseconds spin)
{
    if (spin.count() > 0)
        SpinWhile([&] { return signal.Value.load(std::memory_order_acquire) == seen; }, spin);
    uint32_t now = signal.Value.load(std::memory_order_acquire);
    if (now != seen)
        return now;
    // Registered before the last look: either this look sees the change,
    // or the changer sees the sleeper and wakes it (both sides sequentially
    // consistent). The kernel sleeps only while the word still holds seen.
    signal.Sleepers.fetch_add(1, std::memory_order_seq_cst);
    while ((now = signal.Value.load(std::memory_order_seq_cst)) == seen)
        FutexWait(signal.Value, seen);
    signal.Sleepers.fetch_sub(1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    return now;
}

// Wakes whoever sleeps on the signal after its count was changed.
void WakeSleepers(TParallelizerSignal& signal)
{
    if (signal.Sleepers.load(std::memory_order_seq_cst) != 0)
        FutexWakeAll(signal.Value);
}

} // namespace

void ParallelizerThreadProc(TParallelizerTask* task)
{
    task->ThreadId = OS_GetCurrentThreadId();
    TParallelizer& pool = *task->Pool;
    uint32_t seen = task->StartGeneration;
    for (;;) {
        seen = WaitForChange(pool.Generation, seen, pool.Watch ? WorkerSpin : std::chrono::microseconds(0));
        if (task->Stop)
            return;
        // 64-bit, so a chunk ending at the top of the 32-bit range ends.
        for (int64_t i = task->First; i <= task->Last; ++i)
            task->Callback(static_cast<int32_t>(i), task->UserData);
        // After this the caller may hand out the next run: the task is not
        // touched again before the next start.
        if (pool.Pending.Value.fetch_sub(1, std::memory_order_seq_cst) == 1)
            WakeSleepers(pool.Pending);
    }
}

void TParallelizer::Init(int32_t requested)
{
    int32_t processors = static_cast<int32_t>(std::max<uint32_t>(1, SystemInfo.NumberOfProcessors));
    InitWorkers(requested < 0 ? processors : std::max(requested, processors));
}

void TParallelizer::InitWorkers(int32_t workers)
{
    Done();
    WorkerCount = std::max(1, workers);
#if defined(QX9_THREAD_SANITIZER)
    // Checked threads run many times slower: a watch would only take turns from them.
    Watch = false;
#else
    Watch = WorkerCount <= UsableProcessors();
#endif
    Threads = std::vector<std::thread>(WorkerCount);
    Tasks = std::vector<TParallelizerTask>(WorkerCount);
    for (int32_t i = 0; i < WorkerCount; ++i) {
        Tasks[i].ThreadSlot = &Threads[i];
        Tasks[i].Pool = this;
    }
}

// Cooperative end: every started worker sees its stop flag when the start
// signal wakes it and returns; a worker is never ended from outside.
void TParallelizer::EndWorkers()
{
    bool any = false;
    for (size_t i = 0; i < Threads.size(); ++i) {
        if (Threads[i].joinable()) {
            Tasks[i].Stop = true;
            any = true;
        }
    }
    if (!any)
        return;
    Generation.Value.fetch_add(1, std::memory_order_seq_cst);
    WakeSleepers(Generation);
    for (size_t i = 0; i < Threads.size(); ++i) {
        if (!Threads[i].joinable())
            continue;
        Threads[i].join();
        Threads[i] = std::thread();
        Tasks[i].Stop = false;
        Tasks[i].ThreadId = 0;
    }
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
    // The last share is the caller's; the others get a thread each.
    const int32_t helpers = WorkerCount - 1;
    const uint32_t generation = Generation.Value.load(std::memory_order_relaxed);
    for (int32_t i = 0; i < helpers; ++i) {
        if (!Threads[i].joinable()) {
            Tasks[i].StartGeneration = generation;
            Threads[i] = std::thread(ParallelizerThreadProc, &Tasks[i]);
        }
    }
    if (helpers > 0) {
        Pending.Value.store(static_cast<uint32_t>(helpers), std::memory_order_relaxed);
        Generation.Value.store(generation + 1, std::memory_order_seq_cst);
        WakeSleepers(Generation);
    }
    TParallelizerTask& own = Tasks[helpers];
    own.ThreadId = OS_GetCurrentThreadId();
    for (int64_t i = own.First; i <= own.Last; ++i)
        callback(static_cast<int32_t>(i), userData);
    // No limit on the number of workers: one count covers them all.
    const auto spin = Watch ? CallerSpin : std::chrono::microseconds(0);
    for (uint32_t pending = Pending.Value.load(std::memory_order_acquire); pending != 0;)
        pending = WaitForChange(Pending, pending, spin);
    if (!keepThreads)
        EndWorkers();
}

void TParallelizer::Done()
{
    EndWorkers();
    Threads.clear();
    Tasks.clear();
    WorkerCount = 0;
}
