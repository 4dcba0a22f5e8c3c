#include "crashreport/core/zorExcept_Watchdog.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "crashreport/core/zorExcept_Dispatch.h"
#include "crashreport/core/zorExcept_Handlers.h"
#include "crashreport/core/zorExcept_Presenters.h"
#include "crashreport/core/zorExcept_Startup.h"
#include "crashreport/core/zorExcept_Threads.h"

namespace {

constexpr intptr_t ProbeAnswer = 777;
constexpr int32_t MissesForReport = 10;
constexpr int StopWaitMs = 500;

// ---------------------------------------------------------------------------
// Watchdog state. The descriptors are made once and kept for the process: a
// thread that holds the watchdog from a signal handler may still write to
// them while the watchdog stops.

std::atomic<bool> Running{false};
std::atomic<int> StopFd{-1};
std::atomic<int> ResumeFd{-1};
std::thread Watchdog;
std::atomic<uint32_t> WatchdogTid{0};
std::atomic<bool> WatchdogEnded{false};
std::atomic<int32_t> Misses{0};
// -1: not held; each holder adds one.
std::atomic<int32_t> PauseCount{-1};
std::atomic<uint32_t> ReportCount{0};

// The probe: a handler on the main thread's channel.
std::atomic<THandlerWindow> ProbeWindow{0};
std::atomic<uint32_t> ProbeMessage{0};
uint32_t ProbeOwner = 0;
// A probe waits in the main thread's queue; one is enough, however long the
// main thread stays away.
std::atomic<bool> ProbeQueued{false};
std::atomic<bool> ProbeAnswered{false};
// The failure whose box closes when the main thread comes back; only its
// address is compared, never followed.
std::atomic<const IZXException*> RecoveryWatch{nullptr};
constexpr uintptr_t RecoveryProbe = 1;

void Signal(int fd)
{
    const uint64_t one = 1;
    while (write(fd, &one, sizeof(one)) < 0 && errno == EINTR) {
    }
}

void Drain(int fd)
{
    uint64_t count = 0;
    while (read(fd, &count, sizeof(count)) > 0) {
    }
}

bool Readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

// Waits up to timeoutMs (-1: for ever) for the stop or the resume
// descriptor; true when the watchdog is to stop.
bool WaitStopOrResume(int timeoutMs, bool withResume)
{
    pollfd p[2] = {{StopFd.load(), POLLIN, 0}, {ResumeFd.load(), POLLIN, 0}};
    int ready;
    while ((ready = poll(p, withResume ? 2 : 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    if (withResume && (p[1].revents & POLLIN) != 0)
        Drain(p[1].fd);
    return (p[0].revents & POLLIN) != 0;
}

// Runs on the main thread when its loop takes the probe.
void ProbeHandler(THandlerWindow, uint32_t, uintptr_t wParam, intptr_t, intptr_t& result)
{
    if (wParam == RecoveryProbe) {
        // The loop is back: the frozen report's box goes. A box that is not
        // open yet is looked for again at the next turn of the loop.
        const IZXException* watched = RecoveryWatch.load();
        const bool again =
            watched != nullptr && (!CloseOpenBox(watched) ||
                                   (!RecoveryWatch.compare_exchange_strong(watched, nullptr) && watched != nullptr));
        if (again)
            PostHandlerMessage(ProbeWindow, ProbeMessage, RecoveryProbe, 0);
    } else {
        ProbeQueued.store(false);
        ProbeAnswered.store(true);
    }
    result = ProbeAnswer;
}

void AntiFreezeThread(int32_t timeoutMs)
{
    NameRegisteredThread(0, WatchdogThreadName);
    WatchdogTid = CurrentThreadId();
    WatchdogTid.notify_all();
    const int32_t base = std::max<int32_t>(1, timeoutMs / 10);
    int32_t interval = base;
    for (;;) {
        // Held while a thread waits for its failure to be handled.
        bool stop = false;
        while (!stop && PauseCount.load() >= 0)
            stop = WaitStopOrResume(-1, true);
        if (stop || Readable(StopFd))
            break;
        if (!ProbeQueued.exchange(true) && !PostHandlerMessage(ProbeWindow, ProbeMessage, 0, 0))
            ProbeQueued.store(false);
        if (WaitStopOrResume(interval, false))
            break;
        if (ProbeAnswered.exchange(false)) {
            Misses = 0;
            interval = base;
            continue;
        }
        // A hold that began meanwhile: the waiting thread's failure is no freeze.
        if (PauseCount.load() >= 0)
            continue;
        if (Misses.fetch_add(1) + 1 < MissesForReport)
            continue;
        HandleCaughtException(ZorFailureFrozen, nullptr, 0, nullptr, ZorSourceWatchdog, true);
        ReportCount.fetch_add(1);
        Misses = 0;
        interval += interval / 2;
    }
    WatchdogEnded = true;
}

// ---------------------------------------------------------------------------
// Pausing state

// A manual-reset event: set lets every waiter go until it is reset.
class TManualEvent {
public:
    void Set()
    {
        {
            std::lock_guard guard(Lock);
            Signalled = true;
        }
        Changed.notify_all();
    }
    void Reset()
    {
        std::lock_guard guard(Lock);
        Signalled = false;
    }
    bool IsSet()
    {
        std::lock_guard guard(Lock);
        return Signalled;
    }
    void Wait()
    {
        std::unique_lock lock(Lock);
        Changed.wait(lock, [this] { return Signalled; });
    }

private:
    std::mutex Lock;
    std::condition_variable Changed;
    bool Signalled = true;
};

std::atomic<bool> PausingSetUp{false};
std::mutex PauseLock;
TManualEvent MainThreadEvent;
TManualEvent OtherThreadsEvent;
std::vector<uint32_t> PausedThreads;

// Made by code of the module that holds the reporter: the threads the
// reporter may hold. One that was not made through the thread hook has no
// creator.
bool CreatedByOurCode(uint32_t threadId)
{
    uintptr_t creator = 0;
    ThreadCaption(threadId, true, &creator);
    if (creator == 0)
        return false;
    TModuleHandle ours = 0, theirs = 0;
    std::string file;
    return ModuleOfAddress(reinterpret_cast<uintptr_t>(&PauseOtherThreads), ours, file) &&
           ModuleOfAddress(creator, theirs, file) && ours == theirs;
}

bool IsPaused(uint32_t threadId)
{
    std::lock_guard guard(PauseLock);
    return std::find(PausedThreads.begin(), PausedThreads.end(), threadId) != PausedThreads.end();
}

} // namespace

// ---------------------------------------------------------------------------
// Watchdog

bool StartFreezeWatchdog(int32_t timeoutMs)
{
    if (Running)
        return true;
    const THandlerWindow window = HandlerWindowOfThread();
    const uint32_t message = window != 0 ? RegisterWindowMsgHandler(ProbeHandler, 0) : 0;
    if (message == 0)
        return false;
    if (StopFd.load() < 0) {
        StopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        ResumeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    if (StopFd.load() < 0 || ResumeFd.load() < 0) {
        UnregisterWindowMsgHandler(ProbeHandler, message);
        return false;
    }
    Drain(StopFd);
    Drain(ResumeFd);
    ProbeWindow = window;
    ProbeMessage = message;
    ProbeOwner = CurrentThreadId();
    ProbeQueued = false;
    ProbeAnswered = false;
    Misses = 0;
    PauseCount = -1;
    WatchdogEnded = false;
    WatchdogTid = 0;
    Running = true;
    try {
        Watchdog = std::thread(AntiFreezeThread, timeoutMs);
    } catch (...) {
        Running = false;
        UnregisterWindowMsgHandler(ProbeHandler, message);
        return false;
    }
    // Its id is known before anyone asks whether they are the watchdog.
    WatchdogTid.wait(0);
    return true;
}

void StopFreezeWatchdog()
{
    if (!Running.exchange(false))
        return;
    Signal(StopFd);
    PauseCount = -1;
    Signal(ResumeFd);
    UnregisterWindowMsgHandler(ProbeHandler, ProbeMessage, ProbeOwner);
    ProbeWindow = 0;
    ProbeMessage = 0;
    // A watchdog stuck in a report's handling is left behind rather than
    // holding up the program's end.
    for (int i = 0; i < StopWaitMs && !WatchdogEnded; ++i)
        usleep(1000);
    if (WatchdogEnded)
        Watchdog.join();
    else
        Watchdog.detach();
    RegisterThread(WatchdogTid, {}, 0, 0);
    WatchdogTid = 0;
}

bool FreezeWatchdogRunning()
{
    return Running;
}

uint32_t WatchdogThreadId()
{
    return WatchdogTid;
}

uint32_t FreezeReportCount()
{
    return ReportCount;
}

void HoldFreezeWatchdog(bool pause)
{
    if (!Running.load() || CurrentThreadId() == WatchdogTid.load())
        return;
    if (pause) {
        Misses = 0;
        PauseCount.fetch_add(1);
        return;
    }
    // An unmatched release leaves the count at "not held".
    int32_t count = PauseCount.load();
    while (count >= 0 && !PauseCount.compare_exchange_weak(count, count - 1)) {
    }
    if (count == 0)
        Signal(ResumeFd);
    Misses = 0;
}

void ResetFreezeMisses()
{
    Misses = 0;
}

void WatchForRecovery(const IZXException* exception)
{
    const IZXException* before = RecoveryWatch.exchange(Running ? exception : nullptr);
    if (Running && exception != nullptr && before == nullptr)
        PostHandlerMessage(ProbeWindow, ProbeMessage, RecoveryProbe, 0);
}

// ---------------------------------------------------------------------------
// Pausing

void PauseOtherThreads(bool pause, uint32_t sparedThread)
{
    if (pause)
        PausingSetUp = true;
    if (PausingSetUp) {
        {
            std::lock_guard guard(PauseLock);
            PausedThreads.clear();
            if (pause) {
                MainThreadEvent.Reset();
                OtherThreadsEvent.Reset();
            }
        }
        if (pause) {
            const uint32_t self = CurrentThreadId();
            for (uint32_t id : ListThreads()) {
                if (id == self || id == ReporterMainThreadId.load() || id == sparedThread || !CreatedByOurCode(id))
                    continue;
                {
                    std::lock_guard guard(PauseLock);
                    PausedThreads.push_back(id);
                }
                RingThreadDoorbell(id);
            }
        } else {
            MainThreadEvent.Set();
            OtherThreadsEvent.Set();
        }
    }
    WakeMainThread();
}

void WaitIfPaused()
{
    if (!PausingSetUp.load())
        return;
    const int savedErrno = errno;
    const uint32_t self = CurrentThreadId();
    if (self == ReporterMainThreadId.load())
        MainThreadEvent.Wait();
    else if (IsPaused(self))
        OtherThreadsEvent.Wait();
    errno = savedErrno;
}

void HoldMainThread()
{
    if (!PausingSetUp)
        return;
    MainThreadEvent.Reset();
    WakeMainThread();
}

bool ReleaseMainThread()
{
    if (!PausingSetUp || MainThreadEvent.IsSet())
        return false;
    MainThreadEvent.Set();
    return true;
}

void EndThreadPausing()
{
    if (!PausingSetUp.exchange(false))
        return;
    {
        std::lock_guard guard(PauseLock);
        PausedThreads.clear();
    }
    MainThreadEvent.Set();
    OtherThreadsEvent.Set();
}
