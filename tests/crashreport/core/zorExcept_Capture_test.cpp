// The capture layer inside the test program: the thread registry and its
// captions, the thread wrapper, other threads' state, the handler thread's
// dispatch with its class filters and automatic decision, and start-up and
// shut-down. The reporter runs with a stand-in settings module: no box, no
// report file, handlers on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/crashreport/ZorSettingsSupport.h"
#include "crashreport/core/zorExcept_Capture.h"
#include "crashreport/core/zorExcept_Dispatch.h"
#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/core/zorExcept_Handlers.h"
#include "crashreport/core/zorExcept_Startup.h"
#include "crashreport/core/zorExcept_Threads.h"
#include "crashreport/diagnostics/zorStrings.h"

// Allocations of the threads that count them. The sanitizers bring their own
// allocator; the count is taken in the normal build only.
thread_local bool CountingAllocations = false;
thread_local int CountedAllocations = 0;
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define ZOR_COUNTING_MALLOC 1
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);

void* malloc(size_t size)
{
    if (CountingAllocations)
        ++CountedAllocations;
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size)
{
    if (CountingAllocations)
        ++CountedAllocations;
    return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size)
{
    if (CountingAllocations)
        ++CountedAllocations;
    return __libc_realloc(block, size);
}
void free(void* block)
{
    __libc_free(block);
}
}
#else
#define ZOR_COUNTING_MALLOC 0
#endif

namespace {

const char* const QuietSettings = "GnShowCfg int 4\n"
                                  "AutoSave bool off\n"
                                  "AutoSaveIfNotSent bool off\n"
                                  "ListThreads bool off\n"
                                  "ShowDisAsm bool off\n";

std::string CompiledSettings(const std::string& extra)
{
    std::string resource, error;
    EXPECT_TRUE(CompileSettingsSources({GameSettingsSource(), QuietSettings, extra}, resource, error)) << error;
    return resource;
}

// What the exception handlers saw.
struct TSeen {
    std::mutex Lock;
    std::vector<std::string> Classes;
    std::vector<std::string> Messages;
    std::vector<uint32_t> Threads;
};
TSeen Seen;

void RecordFailure(IZXException& exception, bool&)
{
    std::lock_guard guard(Seen.Lock);
    Seen.Classes.push_back(WideToUtf8(exception.FailureClass()));
    Seen.Messages.push_back(WideToUtf8(exception.FailureText()));
    Seen.Threads.push_back(exception.FailingThreadId());
}

size_t SeenCount()
{
    std::lock_guard guard(Seen.Lock);
    return Seen.Classes.size();
}

// The reporter started on a stand-in module for one test, and stopped again.
class TRunningReporter {
public:
    explicit TRunningReporter(const std::string& extra = "") : Module(CompiledSettings(extra))
    {
        {
            std::lock_guard guard(Seen.Lock);
            Seen.Classes.clear();
            Seen.Messages.clear();
            Seen.Threads.clear();
        }
        StartReporter(Module.Handle);
        AddExceptHandler(RecordFailure, ZorModeCallingThread, 1);
    }
    ~TRunningReporter()
    {
        RemoveHandler(reinterpret_cast<const void*>(RecordFailure));
        StopReporter();
    }
    TSlotsGuard Slots;
    TSettingsModule Module;
};

void* ThrowingRoutine(void*)
{
    throw std::runtime_error("worker failure");
}

// A test's own throw that the test catches again.
__attribute__((noinline)) void ThrowAndCatch()
{
    try {
        throw std::invalid_argument("caught here");
    } catch (const std::exception&) {
    }
}

} // namespace

TEST(ZorCaptureThreadTest, AnExceptionEscapingAWorkerIsReportedOnceAndEndsItWithMinusOne)
{
    TRunningReporter reporter;
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, ThrowingRoutine, nullptr), 0);
    void* result = nullptr;
    ASSERT_EQ(pthread_join(thread, &result), 0);
    EXPECT_EQ(result, reinterpret_cast<void*>(-1));
    ASSERT_EQ(SeenCount(), 1u);
    EXPECT_EQ(Seen.Classes[0], "std::runtime_error");
    EXPECT_EQ(Seen.Messages[0], "worker failure");
    // Its entry went with it: the caption falls back to the bare id.
    EXPECT_EQ(ThreadCaption(Seen.Threads[0], false), u"thread " + CardToHexTextW(Seen.Threads[0]));
}

namespace {

void* ExitingRoutine(void*)
{
    pthread_exit(reinterpret_cast<void*>(7));
}

void* CancelledRoutine(void*)
{
    for (;;)
        pthread_testcancel();
}

} // namespace

// Ending a thread with pthread_exit or by cancelling it unwinds through the
// thread wrapper: it passes on and nothing is reported.
TEST(ZorCaptureThreadTest, ThreadsThatExitOrAreCancelledEndQuietly)
{
    TRunningReporter reporter;
    pthread_t thread;
    void* result = nullptr;
    ASSERT_EQ(pthread_create(&thread, nullptr, ExitingRoutine, nullptr), 0);
    ASSERT_EQ(pthread_join(thread, &result), 0);
    EXPECT_EQ(result, reinterpret_cast<void*>(7));
    ASSERT_EQ(pthread_create(&thread, nullptr, CancelledRoutine, nullptr), 0);
    ASSERT_EQ(pthread_cancel(thread), 0);
    ASSERT_EQ(pthread_join(thread, &result), 0);
    EXPECT_EQ(result, PTHREAD_CANCELED);
    EXPECT_EQ(SeenCount(), 0u);
}

TEST(ZorCaptureThreadTest, ThrownAndCaughtAndAbortsAreNotReported)
{
    TRunningReporter reporter;
    ThrowAndCatch();
    std::thread worker([] { ThrowAndCatch(); });
    worker.join();
    HandleCaughtException(ZorFailureException, std::make_exception_ptr(EAbort("quiet")), 0, nullptr, ZorSourceUnhandled,
                          true);
    EXPECT_EQ(SeenCount(), 0u);
}

TEST(ZorCaptureThreadTest, CaptionsOfNamedUnnamedAndOwnThreads)
{
    TRunningReporter reporter;
    EXPECT_EQ(ThreadCaption(ReporterMainThreadId.load(), false),
              u"main thread (" + CardToHexTextW(ReporterMainThreadId.load()) + u")");
    struct TCase {
        std::u16string Name;
        bool ShowOwn;
        std::u16string Expected; // without the id part
    };
    const uint32_t id = 0x7ffffff0u; // no such thread: only the registry speaks
    const TCase cases[] = {
        {u"loader", false, u"loader (" + CardToHexTextW(id) + u")"},
        {u"", false, u"thread " + CardToHexTextW(id)},
        {HandlerThreadName, false, u""},
        {HandlerThreadName, true, std::u16string(HandlerThreadName) + u" (" + CardToHexTextW(id) + u")"},
        {u"-", false, u""},
        {u"-", true, u"thread " + CardToHexTextW(id)},
    };
    StartingUp = true; // keeps the made-up thread from being pruned
    for (const TCase& c : cases) {
        RegisterThread(id, {}, 0, 0);
        if (!c.Name.empty())
            RegisterThread(id, c.Name, 0, 0);
        EXPECT_EQ(ThreadCaption(id, c.ShowOwn), c.Expected) << WideToUtf8(c.Name);
    }
    RegisterThread(id, {}, 0, 0);
    StartingUp = false;
}

TEST(ZorCaptureThreadTest, TheEntryOfAnEndedThreadIsPrunedByALaterRegistration)
{
    TRunningReporter reporter;
    const uint32_t gone = 0x7ffffff1u; // no such thread
    RegisterThread(gone, u"gone", 0, 0);
    RegisterThread(CurrentThreadId(), u"tester", 0, 0);
    EXPECT_EQ(ThreadCaption(gone, false), u"thread " + CardToHexTextW(gone));
    RegisterThread(CurrentThreadId(), {}, 0, 0);
}

TEST(ZorCaptureThreadTest, NamesGivenToTheSystemOrTheRegistryShowInCaptions)
{
    TRunningReporter reporter;
    std::u16string systemNamed, registryNamed;
    std::thread worker([&] {
        pthread_setname_np(pthread_self(), "loader");
        const uint32_t self = CurrentThreadId();
        systemNamed = ThreadCaption(self, false);
        // The registry keeps the whole name; the system only 15 bytes of it.
        NameRegisteredThread(0, u"map render worker thread");
        registryNamed = ThreadCaption(self, false);
        char system[32] = {};
        pthread_getname_np(pthread_self(), system, sizeof(system));
        EXPECT_STREQ(system, "map render work");
        systemNamed += u"|" + CardToHexTextW(self);
    });
    worker.join();
    const std::u16string id = systemNamed.substr(systemNamed.find(u'|') + 1);
    EXPECT_EQ(systemNamed, u"loader (" + id + u")|" + id);
    EXPECT_EQ(registryNamed, u"map render worker thread (" + id + u")");
}

namespace {

// A worker that waits until it is let go (at the latest when the object
// goes); Before runs in it first, After once it is let go.
class TZorWaitingWorker {
public:
    explicit TZorWaitingWorker(std::function<void()> before = {}, std::function<void()> after = {})
        : Thread([this, before, after] {
              if (before)
                  before();
              WorkerId = CurrentThreadId();
              {
                  std::unique_lock guard(Lock);
                  Wake.wait(guard, [this] { return Go; });
              }
              if (after)
                  after();
          })
    {
        while (WorkerId == 0)
            std::this_thread::yield();
    }
    ~TZorWaitingWorker() { Release(); }
    uint32_t Id() const { return WorkerId; }
    void Release()
    {
        {
            std::lock_guard guard(Lock);
            Go = true;
        }
        Wake.notify_all();
        if (Thread.joinable())
            Thread.join();
    }

private:
    std::mutex Lock;
    std::condition_variable Wake;
    bool Go = false;
    std::atomic<uint32_t> WorkerId{0};
    std::thread Thread; // last: it starts when the rest exists
};

} // namespace

TEST(ZorCaptureThreadTest, ListAndCreatorOfAWorker)
{
    TRunningReporter reporter;
    TZorWaitingWorker worker;
    const uint32_t workerId = worker.Id();
    const std::vector<uint32_t> ids = ListThreads();
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids[0], static_cast<uint32_t>(getpid()));
    EXPECT_TRUE(std::is_sorted(ids.begin() + 1, ids.end()));
    EXPECT_NE(std::find(ids.begin(), ids.end(), workerId), ids.end());
    EXPECT_EQ(OpenThreadById(workerId), workerId);

    // The creator is this program's code, not the C++ library's.
    uintptr_t creator = 0;
    uint32_t creatorThread = 0;
    ThreadCaption(workerId, false, &creator, &creatorThread);
    EXPECT_EQ(creatorThread, CurrentThreadId());
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(creator), &info), 0);
    Dl_info self{};
    dladdr(reinterpret_cast<void*>(&ThrowAndCatch), &self);
    EXPECT_STREQ(info.dli_fname, self.dli_fname);

    // Its state: it stops, shows its registers, and goes on when let go.
    TZorThreadContext context;
    ASSERT_TRUE(CaptureThreadContext(workerId, context));
    EXPECT_TRUE(context.Valid);
    EXPECT_NE(context.Registers.Rip, 0u);
    EXPECT_GT(context.StackEnd, context.Registers.Rsp);
    TZorThreadContext again;
    EXPECT_TRUE(HeldThreadContext(workerId, again));
    EXPECT_EQ(again.Registers.Rsp, context.Registers.Rsp);
    ReleaseHeldThreads();
    EXPECT_FALSE(HeldThreadContext(workerId, again));
    worker.Release();
    EXPECT_FALSE(CaptureThreadContext(CurrentThreadId(), context));
}

// A thread that can't answer (it blocks the reporter's signal) is given up
// after a short wait: its stack stays unread and it is not held. It keeps the
// signal pending until it unblocks it, which may be after the reporter has
// stopped: that must not end the program. In a child of its own, which such
// a signal would end.
TEST(ZorCaptureThreadTest, AThreadThatDoesNotAnswerIsGivenUpHarmlessly)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::optional<TRunningReporter> reporter(std::in_place);
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, ThreadStateSignal());
        TZorWaitingWorker worker([&] { pthread_sigmask(SIG_BLOCK, &blocked, nullptr); },
                                 [&] { pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr); });
        TZorThreadContext context;
        int code = 0;
        if (CaptureThreadContext(worker.Id(), context) || context.Valid)
            code = 3;
        else if (HeldThreadContext(worker.Id(), context))
            code = 4;
        reporter.reset();
        worker.Release(); // the pending signal arrives now
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: its state was read; 4: it is held";
}

namespace {

// A real fault, not a finding of the undefined-behaviour checks.
__attribute__((no_sanitize("undefined"))) void CrashingHandler(IZXException&, bool&)
{
    int* volatile nowhere = nullptr;
    *nowhere = 1;
}

} // namespace

// In a child of its own: the handling that faulted is abandoned half-way,
// and what it held is never freed, which the leak check at the end of a
// process would count.
TEST(ZorCaptureThreadTest, AHandlerThatCrashesIsSwallowedAndTheFaultingThreadGoesOn)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int code = 0;
        {
            TRunningReporter reporter;
            AddExceptHandler(CrashingHandler, ZorModeCallingThread, 1);
            std::atomic<bool> done{false};
            std::thread worker([&] {
                HandleCaughtException(ZorFailureException, std::make_exception_ptr(std::runtime_error("x")), 0, nullptr,
                                      ZorSourceUnhandled, true);
                done = true;
            });
            for (int i = 0; i < 30000 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (!done)
                _exit(3);
            worker.join();
            RemoveHandler(reinterpret_cast<const void*>(CrashingHandler));
            // The handler thread still serves the next failure.
            std::thread next([] {
                HandleCaughtException(ZorFailureException, std::make_exception_ptr(std::runtime_error("y")), 0, nullptr,
                                      ZorSourceUnhandled, true);
            });
            next.join();
            code = SeenCount() >= 1 ? 0 : 4;
        }
        _exit(code);
    }
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 600 && ended == 0; ++i) {
        ended = waitpid(child, &status, WNOHANG);
        if (ended == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the child hung";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: the faulting thread was not released; 4: the next failure was lost";
}

TEST(ZorCaptureThreadTest, ASentFaultSignalIsReportedAndTheWorkerGoesOnWithoutAllocating)
{
    TRunningReporter reporter;
    std::atomic<bool> done{false};
    std::atomic<int> allocations{-1};
    std::atomic<int> hookSeen{0};
    std::thread worker([&] {
        // The count sees an allocation of this thread...
        CountingAllocations = true;
        free(malloc(16));
        CountingAllocations = false;
        hookSeen = CountedAllocations;
        // ... and none while the fault is handed over.
        CountedAllocations = 0;
        CountingAllocations = true;
        syscall(SYS_tgkill, getpid(), syscall(SYS_gettid), SIGSEGV);
        CountingAllocations = false;
        allocations = CountedAllocations;
        done = true;
    });
    worker.join();
    EXPECT_TRUE(done);
#if ZOR_COUNTING_MALLOC
    // Everything but the hand-over happens on the handler thread.
    EXPECT_EQ(hookSeen, 1);
    EXPECT_EQ(allocations, 0);
#endif
    ASSERT_EQ(SeenCount(), 1u);
    EXPECT_EQ(Seen.Classes[0], "EExternal");
    EXPECT_EQ(Seen.Messages[0], "External exception b");
}

// ---------------------------------------------------------------------------
// Dispatch

// A throw from inside the C++ library passes the hook as well: thrown again
// in its handler, it is the new exception's inner one.
TEST(ZorDispatch, ThrowsOfTheCppLibraryAreRecordedAsInnerExceptions)
{
    TRunningReporter reporter;
    TDAInnerException inner;
    try {
        try {
            std::vector<int> empty;
            (void)empty.at(1);
        } catch (const std::out_of_range&) {
            throw std::runtime_error("while handling");
        }
    } catch (const std::runtime_error&) {
        inner = ThreadExceptionState().Inner;
    }
    ASSERT_EQ(inner.size(), 1u);
    EXPECT_EQ(WideToUtf8(inner[0].ClassName), "std::out_of_range");
    EXPECT_NE(inner[0].Address, 0u);
    EXPECT_TRUE(inner[0].HasRegisters);
    // A throw outside any handler starts a new chain.
    ThrowAndCatch();
    EXPECT_TRUE(ThreadExceptionState().Inner.empty());
    ClearThreadExceptionState();
}

TEST(ZorDispatch, ClassFiltersChooseTheFirstListNamingTheClassOrAnAncestor)
{
    TSlotsGuard slots;
    TSettingsModule module(CompiledSettings("F1Classes text \"EAccessViolation\"\n"
                                            "F1ShowCfg int 3\nF1NoBugRep bool on\nF1NoHandlers bool on\n"
                                            "F2Classes text \"std::logic_error, EAbort\"\n"
                                            "F2ShowCfg int 2\nF2NoBugRep bool off\n"
                                            "GnShowCfg int 1\nGnNoBugRep bool off\nGnAssis text \"SendAssistant\"\n"));
    struct TCase {
        std::exception_ptr Object;
        int32_t Box;
        bool Report;
        bool Handlers;
    };
    const TCase cases[] = {
        {std::make_exception_ptr(EAccessViolation("av")), 3, false, false},
        {std::make_exception_ptr(std::invalid_argument("descends from logic_error")), 2, true, true},
        {std::make_exception_ptr(EAbort("listed second")), 2, true, true},
        {std::make_exception_ptr(std::runtime_error("none")), 1, true, true},
        {std::make_exception_ptr(EExternal("the ancestor is not listed")), 1, true, true},
    };
    for (const TCase& c : cases) {
        THandleRequest request;
        request.CanContinue = 1;
        auto exception = CreateExceptionObject(module.Settings(), request, c.Object);
        EXPECT_EQ(exception->BoxChoice(), c.Box) << WideToUtf8(exception->FailureText());
        EXPECT_EQ(exception->WantReport(), c.Report) << WideToUtf8(exception->FailureText());
        EXPECT_EQ(exception->RunHandlers(), c.Handlers) << WideToUtf8(exception->FailureText());
    }
}

TEST(ZorDispatch, FailureTextsOfSignals)
{
    struct TCase {
        int Signal;
        int Code;
        bool Overflow;
        const char* Text;
        bool AccessViolation;
    };
    const TCase cases[] = {
        {SIGSEGV, SI_TKILL, false, "External exception b", false},
        {SIGSEGV, SEGV_MAPERR, true, "Stack overflow", false},
        {SIGFPE, FPE_INTDIV, false, "Division by zero", false},
        {SIGFPE, FPE_INTOVF, false, "Integer overflow", false},
        {SIGFPE, FPE_FLTDIV, false, "Floating point division by zero", false},
        {SIGFPE, FPE_FLTOVF, false, "Floating point overflow", false},
        {SIGFPE, FPE_FLTUND, false, "Floating point underflow", false},
        {SIGFPE, FPE_FLTINV, false, "Invalid floating point operation", false},
        {SIGILL, ILL_PRVOPC, false, "Privileged instruction", false},
        {SIGILL, ILL_ILLOPC, false, "External exception 4", false},
        {SIGABRT, SI_TKILL, false, "External exception 6", false},
        {SIGTRAP, SI_USER, false, "External exception 5", false},
        {SIGSEGV, SEGV_MAPERR, false, "Access Violation", true}, // no module at address 0
    };
    for (const TCase& c : cases) {
        siginfo_t record{};
        record.si_signo = c.Signal;
        record.si_code = c.Code;
        TZorRegisters registers;
        bool accessViolation = false;
        EXPECT_EQ(WideToUtf8(SignalFailureText(record, registers, c.Overflow, accessViolation)), c.Text);
        EXPECT_EQ(accessViolation, c.AccessViolation) << c.Text;
    }
    // A fault in this program's code names it, Write or Read from the error
    // code, and the address touched.
    siginfo_t record{};
    record.si_signo = SIGSEGV;
    record.si_code = SEGV_MAPERR;
    record.si_addr = reinterpret_cast<void*>(0x10);
    TZorRegisters registers;
    registers.Rip = reinterpret_cast<uintptr_t>(&ThrowAndCatch);
    bool accessViolation = false;
    for (uint64_t err : {6ull, 4ull}) {
        registers.Err = err;
        const std::string text = WideToUtf8(SignalFailureText(record, registers, false, accessViolation));
        EXPECT_EQ(text.rfind("Access violation at address $", 0), 0u) << text;
        EXPECT_NE(text.find("in module 'test_crashreport'. "), std::string::npos) << text;
        EXPECT_NE(text.find(err & 2 ? "Write of address $10" : "Read of address $10"), std::string::npos) << text;
    }
}

// The automatic decision, each row in a child of its own: the ending slots
// are replaced by exits that tell which one was taken.
TEST(ZorDispatch, AutomaticDecisionEndsRestartsOrGoesOn)
{
    struct TCase {
        const char* Settings;
        bool CanContinue;
        int Exit; // 0: the program went on
    };
    const TCase cases[] = {
        {"AutoClose int 0\nAutoRestart int 0\n", false, 1},
        {"AutoClose int 0\nAutoRestart int 1\n", false, 2},
        {"AutoClose int 0\nAutoRestart int 0\n", true, 0},
        {"AutoClose int 1\nAutoRestart int 1\n", true, 1},
        {"AutoClose int 0\nAutoRestart int 1\n", true, 2},
        {"AutoClose int 0\nAutoRestart int 60\n", false, 1}, // not ten failures within 60 s
    };
    for (const TCase& c : cases) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TRunningReporter reporter(c.Settings);
            ZorSlots().TerminateProgram = [] { _exit(1); };
            ZorSlots().RelaunchProgram = [](const std::u16string&) { _exit(2); };
            HandleCaughtException(ZorFailureException, std::make_exception_ptr(std::runtime_error("x")), 0, nullptr,
                                  ZorSourceUnhandled, c.CanContinue);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << c.Settings;
        EXPECT_EQ(WEXITSTATUS(status), c.Exit) << c.Settings << " continue " << c.CanContinue;
    }
}

// ---------------------------------------------------------------------------
// Start-up and shut-down

namespace {

struct TDispositions {
    struct sigaction Actions[6];
    std::terminate_handler Terminate;
};
const int Signals[6] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT};

TDispositions CurrentDispositions()
{
    TDispositions d{};
    for (int i = 0; i < 6; ++i)
        sigaction(Signals[i], nullptr, &d.Actions[i]);
    d.Terminate = std::get_terminate();
    return d;
}

void ExpectSame(const TDispositions& a, const TDispositions& b)
{
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(reinterpret_cast<void*>(a.Actions[i].sa_sigaction),
                  reinterpret_cast<void*>(b.Actions[i].sa_sigaction))
            << Signals[i];
        // The C library adds its return trampoline to every action it sets.
        constexpr int restorer = 0x04000000;
        EXPECT_EQ(a.Actions[i].sa_flags & ~restorer, b.Actions[i].sa_flags & ~restorer) << Signals[i];
    }
    EXPECT_EQ(a.Terminate, b.Terminate);
}

void OwnTerminate()
{
    std::abort();
}

} // namespace

TEST(ZorStartup, StartThenStopPutsBackEveryHandlerExactly)
{
    TSlotsGuard slots;
    const std::terminate_handler saved = std::set_terminate(OwnTerminate);
    const TDispositions before = CurrentDispositions();
    {
        TSettingsModule module(CompiledSettings(""));
        StartReporter(module.Handle);
        EXPECT_TRUE(ReporterHooked());
        EXPECT_EQ(ReporterMainThreadId.load(), static_cast<uint32_t>(getpid()));
        EXPECT_NE(HandlerThreadId(), 0u);
        EXPECT_NE(std::get_terminate(), OwnTerminate);
        StopReporter();
    }
    ExpectSame(before, CurrentDispositions());
    EXPECT_EQ(HandlerThreadId(), 0u);
    EXPECT_FALSE(ThreadHooksActive());
    std::set_terminate(saved);
}

TEST(ZorStartup, WithoutSettingsTheReporterStaysInactive)
{
    TSlotsGuard slots;
    const TDispositions before = CurrentDispositions();
    StartReporter(0x5eed0000u); // a module without a settings resource
    EXPECT_FALSE(ReporterActive());
    EXPECT_FALSE(ThreadRegistryExists());
    EXPECT_EQ(HandlerThreadId(), 0u);
    ExpectSame(before, CurrentDispositions());
    StopReporter();
}

TEST(ZorStartup, WithEnabledOffOnlyTheRegistryExists)
{
    TSlotsGuard slots;
    const TDispositions before = CurrentDispositions();
    TSettingsModule module(CompiledSettings("Enabled bool off\n"));
    StartReporter(module.Handle);
    EXPECT_TRUE(ReporterActive());
    EXPECT_FALSE(ReporterHooked());
    EXPECT_EQ(ThreadCaption(static_cast<uint32_t>(getpid()), false),
              u"main thread (" + CardToHexTextW(static_cast<uint32_t>(getpid())) + u")");
    EXPECT_EQ(HandlerThreadId(), 0u);
    ExpectSame(before, CurrentDispositions());
    StopReporter();
}
