// The freeze watchdog and thread pausing inside the test program: the test's
// own thread is the main thread, and its loop is a loop that calls the
// reporter's hook (or stops calling it). The reporter runs with a stand-in
// settings module: no box, no report file. Every wait is bounded.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <dlfcn.h>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/crashreport/ZorSettingsSupport.h"
#include "crashreport/core/zorExcept_Dispatch.h"
#include "crashreport/core/zorExcept_Handlers.h"
#include "crashreport/core/zorExcept_Presenters.h"
#include "crashreport/core/zorExcept_Startup.h"
#include "crashreport/core/zorExcept_Threads.h"
#include "crashreport/core/zorExcept_Watchdog.h"
#include "crashreport/diagnostics/zorStrings.h"

namespace {

using namespace std::chrono_literals;
using TWatchClock = std::chrono::steady_clock;

// No report text: its stack trace reads the frozen thread's stack, memory
// the thread sanitizer would count as shared (the crash demonstration's test
// looks at the frozen report).
const char* const WatchdogQuietSettings = "GnShowCfg int 4\n"
                                          "GnNoBugRep bool on\n"
                                          "AutoSave bool off\n"
                                          "AutoSaveIfNotSent bool off\n"
                                          "ListThreads bool off\n"
                                          "ShowDisAsm bool off\n"
                                          "CheckFreeze bool on\n";

// The frozen reports the handlers saw: their kind, failing thread and time.
struct TFreezeSeen {
    std::mutex Lock;
    std::vector<uint8_t> Kinds;
    std::vector<TWatchClock::time_point> Times;
};
TFreezeSeen FreezeSeen;

void RecordFreezeReport(IZXException& exception, bool&)
{
    std::lock_guard guard(FreezeSeen.Lock);
    FreezeSeen.Kinds.push_back(exception.FailureKind());
    FreezeSeen.Times.push_back(TWatchClock::now());
}

size_t FreezeReports()
{
    std::lock_guard guard(FreezeSeen.Lock);
    return FreezeSeen.Kinds.size();
}

// The reporter with its watchdog on the calling thread's loop.
class TWatchedReporter {
public:
    explicit TWatchedReporter(int32_t freezeTimeout, const std::string& extra = "")
        : Module(CompiledWatchdogSettings("FreezeTimeout int " + std::to_string(freezeTimeout) + "\n" + extra))
    {
        {
            std::lock_guard guard(FreezeSeen.Lock);
            FreezeSeen.Kinds.clear();
            FreezeSeen.Times.clear();
        }
        StartReporter(Module.Handle);
        AddExceptHandler(RecordFreezeReport, ZorModeCallingThread, 1);
    }
    ~TWatchedReporter()
    {
        RemoveHandler(reinterpret_cast<const void*>(RecordFreezeReport));
        StopReporter();
    }

    static std::string CompiledWatchdogSettings(const std::string& extra)
    {
        std::string resource, error;
        EXPECT_TRUE(CompileSettingsSources({GameSettingsSource(), WatchdogQuietSettings, extra}, resource, error))
            << error;
        return resource;
    }

    TSlotsGuard Slots;
    TSettingsModule Module;
};

// The main loop: turns every few milliseconds for the time given, or until
// the condition holds, pumping or (frozen) not.
template <class TDone> bool LoopUntil(TDone done, std::chrono::milliseconds limit, bool pump)
{
    const auto end = TWatchClock::now() + limit;
    while (!done()) {
        if (TWatchClock::now() >= end)
            return false;
        if (pump)
            ReporterPump();
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

template <class TDone> bool PumpUntil(TDone done, std::chrono::milliseconds limit)
{
    return LoopUntil(done, limit, true);
}

template <class TDone> bool StayAwayUntil(TDone done, std::chrono::milliseconds limit)
{
    return LoopUntil(done, limit, false);
}

} // namespace

TEST(ZorWatchdogThreadTest, APumpingLoopIsNeverReportedAndAStoppedOneIsReportedAgainAndAgain)
{
    TWatchedReporter reporter(1000);
    ASSERT_TRUE(FreezeWatchdogRunning());
    const uint32_t watchdog = WatchdogThreadId();
    EXPECT_NE(watchdog, 0u);
    EXPECT_EQ(ThreadCaption(watchdog, true),
              u"zorExcept - AntiFreezeThread ($" + CardToHexTextW(watchdog).substr(1) + u")");

    // Longer than the time-out: every probe is answered.
    PumpUntil([] { return false; }, 1100ms);
    EXPECT_EQ(FreezeReports(), 0u);

    // The loop stops: a frozen report, then another one while it stays away.
    const auto stopped = TWatchClock::now();
    ASSERT_TRUE(StayAwayUntil([] { return FreezeReports() >= 2; }, 10000ms));
    std::vector<TWatchClock::time_point> times;
    {
        std::lock_guard guard(FreezeSeen.Lock);
        EXPECT_EQ(FreezeSeen.Kinds, (std::vector<uint8_t>{ZorFailureFrozen, ZorFailureFrozen}));
        times = FreezeSeen.Times;
    }
    // For the record: the first after about 1 s, the next about 1.5 s later.
    const auto ms = [](auto d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); };
    RecordProperty("first_report_ms", static_cast<int>(ms(times[0] - stopped)));
    RecordProperty("second_report_ms", static_cast<int>(ms(times[1] - times[0])));

    // Back in the loop: nothing more.
    PumpUntil([] { return false; }, 100ms);
    const size_t after = FreezeReports();
    PumpUntil([] { return false; }, 1100ms);
    EXPECT_EQ(FreezeReports(), after);
}

TEST(ZorWatchdogThreadTest, NoMissIsCountedWhileAThreadWaitsForItsFailure)
{
    TWatchedReporter reporter(500);
    PumpUntil([] { return false; }, 200ms);
    // A thread waits for its failure to be handled (twice over: holds nest).
    std::atomic<bool> holding{false}, letGo{false};
    std::thread waiter([&] {
        HoldFreezeWatchdog(true);
        HoldFreezeWatchdog(true);
        holding = true;
        while (!letGo)
            std::this_thread::sleep_for(5ms);
        HoldFreezeWatchdog(false);
        HoldFreezeWatchdog(false);
        // One release too many changes nothing.
        HoldFreezeWatchdog(false);
    });
    StayAwayUntil([&] { return holding.load(); }, 5000ms);
    // Well past the time-out without pumping.
    StayAwayUntil([] { return false; }, 1500ms);
    EXPECT_EQ(FreezeReports(), 0u);
    letGo = true;
    waiter.join();
    // The count starts afresh: the loop answers within the time-out.
    PumpUntil([] { return false; }, 300ms);
    EXPECT_EQ(FreezeReports(), 0u);
    // And the watchdog is not left held: a stop is reported again.
    EXPECT_TRUE(StayAwayUntil([] { return FreezeReports() >= 1; }, 5000ms));
}

namespace {

// A box that stays open until it is closed from elsewhere (or gives up).
struct TFakeFrozenBox {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Closed = false;
    std::atomic<bool> ClosedByRecovery{false};
    std::atomic<int> Shown{0};
};
TFakeFrozenBox FakeFrozenBox;

bool ShowFakeFrozenBox(TIZXException& exception)
{
    if (exception.FailureKind() != ZorFailureFrozen)
        return false;
    FakeFrozenBox.Shown.fetch_add(1);
    RegisterOpenBox(&exception, [] {
        {
            std::lock_guard guard(FakeFrozenBox.Lock);
            FakeFrozenBox.Closed = true;
        }
        FakeFrozenBox.ClosedByRecovery = true;
        FakeFrozenBox.Changed.notify_all();
    });
    {
        std::unique_lock lock(FakeFrozenBox.Lock);
        FakeFrozenBox.Changed.wait_for(lock, 10s, [] { return FakeFrozenBox.Closed; });
    }
    UnregisterOpenBox(&exception);
    return true;
}

} // namespace

TEST(ZorWatchdogThreadTest, TheBoxOfAFrozenReportClosesWhenTheLoopComesBack)
{
    TWatchedReporter reporter(500, "GnShowCfg int 0\n");
    ZorSlots().ShowForException = ShowFakeFrozenBox;
    PumpUntil([] { return false; }, 100ms);
    // Away until the frozen report's box is on screen.
    ASSERT_TRUE(StayAwayUntil([] { return IsBoxOpen(); }, 10000ms));
    EXPECT_FALSE(FakeFrozenBox.ClosedByRecovery);
    // Back: the box goes.
    EXPECT_TRUE(PumpUntil([] { return FakeFrozenBox.ClosedByRecovery.load(); }, 5000ms));
    EXPECT_TRUE(PumpUntil([] { return !IsBoxOpen(); }, 5000ms));
    EXPECT_EQ(FakeFrozenBox.Shown, 1);
}

namespace {

// A worker that keeps calling the loop hook and counts its turns.
struct THookCaller {
    std::atomic<bool> Quit{false};
    std::atomic<uint64_t> Turns{0};
    std::atomic<uint32_t> ThreadId{0};
};

void* CallTheHook(void* data)
{
    auto* caller = static_cast<THookCaller*>(data);
    caller->ThreadId = CurrentThreadId();
    while (!caller->Quit) {
        ReporterPump();
        caller->Turns.fetch_add(1);
        std::this_thread::sleep_for(1ms);
    }
    return nullptr;
}

// pthread_create as the system has it, past the reporter's thread hook: the
// thread has no creator in the registry.
int CreateUnwrappedThread(pthread_t* thread, void* (*routine)(void*), void* argument)
{
    using TCreate = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    auto create = reinterpret_cast<TCreate>(dlsym(RTLD_NEXT, "pthread_create"));
    return create != nullptr ? create(thread, nullptr, routine, argument) : -1;
}

} // namespace

TEST(ZorPausingThreadTest, AWrappedWorkerThatCallsTheHookIsHeldAndAnUnwrappedOneNever)
{
    TWatchedReporter reporter(60000);
    THookCaller wrapped, unwrapped;
    pthread_t wrappedThread{}, unwrappedThread{};
    ASSERT_EQ(pthread_create(&wrappedThread, nullptr, CallTheHook, &wrapped), 0);
    ASSERT_EQ(CreateUnwrappedThread(&unwrappedThread, CallTheHook, &unwrapped), 0);
    ASSERT_TRUE(StayAwayUntil([&] { return wrapped.Turns > 5 && unwrapped.Turns > 5; }, 5000ms));

    PauseOtherThreads(true, 0);
    // The held worker finishes at most the turn it was in.
    const uint64_t heldAt = wrapped.Turns;
    const uint64_t from = unwrapped.Turns;
    ASSERT_TRUE(StayAwayUntil([&] { return unwrapped.Turns > from + 100; }, 10000ms));
    EXPECT_LE(wrapped.Turns, heldAt + 1);

    PauseOtherThreads(false, 0);
    const uint64_t resumedAt = wrapped.Turns;
    EXPECT_TRUE(StayAwayUntil([&] { return wrapped.Turns > resumedAt + 5; }, 5000ms));

    // A pause that spares the worker holds it not.
    PauseOtherThreads(true, wrapped.ThreadId);
    const uint64_t sparedAt = wrapped.Turns;
    EXPECT_TRUE(StayAwayUntil([&] { return wrapped.Turns > sparedAt + 5; }, 5000ms));
    PauseOtherThreads(false, 0);

    wrapped.Quit = unwrapped.Quit = true;
    pthread_join(wrappedThread, nullptr);
    pthread_join(unwrappedThread, nullptr);
}

TEST(ZorPausingThreadTest, TheMainThreadIsHeldAtItsHookAndReleasedForItsHandlers)
{
    TWatchedReporter reporter(60000);
    std::atomic<uint64_t> turns{0};
    std::atomic<bool> done{false};
    // The handler thread's side: the main thread's loop stands while held.
    std::thread handler([&] {
        auto standsStill = [&] {
            std::this_thread::sleep_for(50ms);
            const uint64_t at = turns;
            std::this_thread::sleep_for(50ms);
            return turns <= at + 1;
        };
        auto moves = [&] {
            const uint64_t at = turns;
            return StayAwayUntil([&] { return turns > at + 5; }, 5000ms);
        };
        PauseOtherThreads(true, 0);
        EXPECT_TRUE(standsStill());
        // Let go for its handlers, then held again.
        EXPECT_TRUE(ReleaseMainThread());
        EXPECT_FALSE(ReleaseMainThread());
        EXPECT_TRUE(moves());
        HoldMainThread();
        EXPECT_TRUE(standsStill());
        PauseOtherThreads(false, 0);
        EXPECT_TRUE(moves());
        done = true;
    });
    PumpUntil(
        [&] {
            turns.fetch_add(1);
            return done.load();
        },
        20000ms);
    handler.join();
    EXPECT_TRUE(done);
}
