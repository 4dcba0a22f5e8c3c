#include "crashreport/core/zorExcept_Threads.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <cxxabi.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <unwind.h>

#include "crashreport/core/zorExcept_Capture.h"
#include "crashreport/core/zorExcept_Dispatch.h"
#include "crashreport/core/zorExcept_Startup.h"
#include "crashreport/core/zorReportText.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorTools.h"

const char16_t* const HandlerThreadName = u"zorExcept - HandleExceptionThread";
const char16_t* const WatchdogThreadName = u"zorExcept - AntiFreezeThread";
const char16_t* const TraceThreadName = u"zorExcept - TraceProcessThread";

uint32_t CurrentThreadId()
{
    return static_cast<uint32_t>(syscall(SYS_gettid));
}

namespace {

struct TThreadEntry {
    std::u16string Name;
    uintptr_t CreatorAddress = 0;
    uint32_t CreatorThread = 0;
};

std::mutex RegistryLock;

// The registry lock within a wait; false when it stayed taken.
bool LockRegistryWithin(std::unique_lock<std::mutex>& guard, int milliseconds)
{
    for (int waited = 0;; ++waited) {
        if (guard.try_lock())
            return true;
        if (waited >= milliseconds)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
std::map<uint32_t, TThreadEntry>* ThreadTable = nullptr; // under RegistryLock
std::atomic<bool> RegistryPresent{false};
std::atomic<bool> HooksActive{false};

bool ThreadAlive(uint32_t threadId)
{
    return syscall(SYS_tgkill, getpid(), threadId, 0) == 0 || errno != ESRCH;
}

std::u16string HexId(uint32_t id)
{
    return CardToHexTextW(id);
}

} // namespace

bool CreateThreadRegistry()
{
    std::lock_guard guard(RegistryLock);
    if (ThreadTable == nullptr)
        ThreadTable = new (std::nothrow) std::map<uint32_t, TThreadEntry>();
    RegistryPresent = ThreadTable != nullptr;
    return ThreadTable != nullptr;
}

void ReleaseThreadRegistry()
{
    std::lock_guard guard(RegistryLock);
    delete ThreadTable;
    ThreadTable = nullptr;
    RegistryPresent = false;
}

bool ThreadRegistryExists()
{
    return RegistryPresent;
}

void RegisterThread(uint32_t threadId, const std::u16string& name, uintptr_t creatorAddress, uint32_t creatorThread)
{
    std::lock_guard guard(RegistryLock);
    if (ThreadTable == nullptr)
        return;
    const bool carries = !name.empty() || creatorAddress != 0;
    auto found = ThreadTable->find(threadId);
    if (carries) {
        TThreadEntry entry;
        if (found != ThreadTable->end())
            entry = found->second;
        if (!name.empty())
            entry.Name = name;
        if (creatorAddress != 0) {
            entry.CreatorAddress = creatorAddress;
            entry.CreatorThread = creatorThread;
        }
        (*ThreadTable)[threadId] = entry;
    } else if (found != ThreadTable->end()) {
        ThreadTable->erase(found);
    }
    if (StartingUp)
        return;
    for (auto it = ThreadTable->begin(); it != ThreadTable->end(); ++it) {
        if (it->first != threadId && !ThreadAlive(it->first)) {
            ThreadTable->erase(it);
            break;
        }
    }
}

void NameRegisteredThread(uint32_t threadId, const std::u16string& name)
{
    if (threadId == 0)
        threadId = CurrentThreadId();
    RegisterThread(threadId, name, 0, 0);
    if (name.empty() || threadId != CurrentThreadId())
        return;
    std::string system = WideToUtf8(name).substr(0, 15);
    pthread_setname_np(pthread_self(), system.c_str());
}

void NoteThreadName(const char* name)
{
    const uint32_t self = CurrentThreadId();
    const std::u16string wide = Utf8ToWide(name);
    // A longer registered name that the system name cuts to 15 bytes stays.
    std::unique_lock guard(RegistryLock, std::defer_lock);
    if (LockRegistryWithin(guard, 50) && ThreadTable != nullptr) {
        const auto found = ThreadTable->find(self);
        if (found != ThreadTable->end() && found->second.Name.rfind(wide, 0) == 0)
            return;
    }
    if (guard.owns_lock())
        guard.unlock();
    RegisterThread(self, wide, 0, 0);
}

std::u16string ThreadCaption(uint32_t threadId, bool showOwnThreads, uintptr_t* creatorAddress, uint32_t* creatorThread)
{
    if (creatorAddress != nullptr)
        *creatorAddress = 0;
    if (creatorThread != nullptr)
        *creatorThread = 0;
    std::unique_lock guard(RegistryLock, std::defer_lock);
    if (!LockRegistryWithin(guard, 50) || ThreadTable == nullptr)
        return u"thread " + HexId(threadId);
    TThreadEntry entry;
    const auto found = ThreadTable->find(threadId);
    if (found != ThreadTable->end())
        entry = found->second;
    guard.unlock();
    if (creatorAddress != nullptr)
        *creatorAddress = entry.CreatorAddress;
    if (creatorThread != nullptr)
        *creatorThread = entry.CreatorThread;
    if (!showOwnThreads && (entry.Name == u"-" || entry.Name == WatchdogThreadName || entry.Name == HandlerThreadName ||
                            entry.Name == TraceThreadName))
        return {};
    if (!entry.Name.empty() && entry.Name != u"-")
        return entry.Name + u" (" + HexId(threadId) + u")";
    return u"thread " + HexId(threadId);
}

std::vector<uint32_t> ListThreads()
{
    std::vector<uint32_t> ids;
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr)
        return ids;
    while (const dirent* e = readdir(dir)) {
        char* end = nullptr;
        const unsigned long id = std::strtoul(e->d_name, &end, 10);
        if (end != e->d_name && *end == '\0')
            ids.push_back(static_cast<uint32_t>(id));
    }
    closedir(dir);
    const uint32_t main = static_cast<uint32_t>(getpid());
    std::sort(ids.begin(), ids.end(), [main](uint32_t a, uint32_t b) {
        if ((a == main) != (b == main))
            return a == main;
        return a < b;
    });
    return ids;
}

uint32_t OpenThreadById(uint32_t threadId)
{
    return threadId != 0 && syscall(SYS_tgkill, getpid(), threadId, 0) == 0 ? threadId : 0;
}

// ---------------------------------------------------------------------------
// Thread hooks

void SetThreadHooksActive(bool active)
{
    HooksActive = active;
}

bool ThreadHooksActive()
{
    return HooksActive;
}

namespace {

bool InRuntimeLibrary(uintptr_t address)
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(address), &info) == 0 || info.dli_fname == nullptr)
        return false;
    const char* base = std::strrchr(info.dli_fname, '/');
    base = base ? base + 1 : info.dli_fname;
    static const char* const libraries[] = {"libstdc++", "libc.",   "libc-",    "libpthread", "libgcc_s",
                                            "libasan",   "libtsan", "libubsan", "liblsan"};
    for (const char* library : libraries)
        if (std::strncmp(base, library, std::strlen(library)) == 0)
            return true;
    return false;
}

struct TCreatorSearch {
    int Skip = 2; // this search and the pthread_create hook
    uintptr_t Found = 0;
};

_Unwind_Reason_Code CreatorFrame(_Unwind_Context* context, void* data)
{
    auto* search = static_cast<TCreatorSearch*>(data);
    const uintptr_t ip = _Unwind_GetIP(context);
    if (ip == 0)
        return _URC_END_OF_STACK;
    if (search->Skip > 0) {
        --search->Skip;
        return _URC_NO_REASON;
    }
    if (InRuntimeLibrary(ip))
        return _URC_NO_REASON;
    search->Found = ip;
    return _URC_END_OF_STACK;
}

thread_local void* AltStack = nullptr;
thread_local size_t AltStackSize = 0;
thread_local uintptr_t GuardLow = 0;
thread_local uintptr_t GuardHigh = 0;

} // namespace

__attribute__((noinline)) uintptr_t FindCreatorAddress()
{
    TCreatorSearch search;
    _Unwind_Backtrace(CreatorFrame, &search);
    return search.Found;
}

void InstallAlternateStack()
{
    if (AltStack == nullptr) {
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
            return; // somebody gave this thread one already
        const size_t size = 64 * 1024 + static_cast<size_t>(SIGSTKSZ);
        void* stack = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (stack == MAP_FAILED)
            return;
        stack_t alt{};
        alt.ss_sp = stack;
        alt.ss_size = size;
        if (sigaltstack(&alt, nullptr) != 0) {
            munmap(stack, size);
            return;
        }
        AltStack = stack;
        AltStackSize = size;
    }
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void* address = nullptr;
        size_t size = 0, guard = 0;
        pthread_attr_getstack(&attr, &address, &size);
        pthread_attr_getguardsize(&attr, &guard);
        pthread_attr_destroy(&attr);
        const uintptr_t low = reinterpret_cast<uintptr_t>(address);
        if (CurrentThreadId() == static_cast<uint32_t>(getpid())) {
            // The main stack grows on demand up to its limit; below the limit
            // the kernel keeps a gap, so an overflow faults just under it.
            GuardLow = low > (2u << 20) ? low - (2u << 20) : 0;
            GuardHigh = low + 64 * 1024;
        } else {
            const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
            GuardLow = low - std::max(guard, page);
            GuardHigh = low;
        }
    }
}

void RemoveAlternateStack()
{
    if (AltStack == nullptr)
        return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(AltStack, AltStackSize);
    AltStack = nullptr;
    AltStackSize = 0;
}

bool StackGuardArea(uintptr_t& low, uintptr_t& high)
{
    low = GuardLow;
    high = GuardHigh;
    return high != 0;
}

// The thread's routine is called through a frame of its own whose unwind
// information names the personality below. The search for a handler of an
// exception asks that personality only when nothing in the routine catches
// the exception, and before anything is unwound: the report is made then, so
// that its stack goes from the throw through every caller. The wrapper's own
// handler then only ends the thread.
extern "C" {
__attribute__((visibility("hidden"))) void* ZorRunThreadRoutine(void* (*routine)(void*), void* argument);

__attribute__((visibility("hidden"))) _Unwind_Reason_Code
ZorThreadRoutinePersonality(int version, _Unwind_Action actions, _Unwind_Exception_Class exceptionClass,
                            _Unwind_Exception* header, _Unwind_Context*)
{
    if (version == 1 && (actions & _UA_SEARCH_PHASE) != 0)
        ReportEscapingThrow(exceptionClass, header);
    return _URC_CONTINUE_UNWIND;
}
}

// The sections are pushed and popped: the compiler does not see what a
// top-level asm switches to, and code it emits next must land where it
// expects.
asm(R"(
    .pushsection .text
    .p2align 4
    .globl ZorRunThreadRoutine
    .hidden ZorRunThreadRoutine
    .type ZorRunThreadRoutine, @function
ZorRunThreadRoutine:
    .cfi_startproc
    .cfi_personality 0x9b, ZorThreadPersonalityReference
    subq $8, %rsp
    .cfi_def_cfa_offset 16
    movq %rdi, %rax
    movq %rsi, %rdi
    call *%rax
    addq $8, %rsp
    .cfi_def_cfa_offset 8
    ret
    .cfi_endproc
    .size ZorRunThreadRoutine, .-ZorRunThreadRoutine

    .popsection

    .pushsection .data.rel.local.ZorThreadPersonalityReference, "aw", @progbits
    .p2align 3
    .hidden ZorThreadPersonalityReference
ZorThreadPersonalityReference:
    .quad ZorThreadRoutinePersonality
    .popsection
)");

// Cancellation and pthread_exit unwind with an exception that carries no
// object: its catch binds a reference to none, which the null check of the
// undefined-behaviour sanitizer would call a fault.
__attribute__((no_sanitize("null"))) void* ThreadStartWrapper(void* raw)
{
    const TThreadStartBlock block = *static_cast<TThreadStartBlock*>(raw);
    delete static_cast<TThreadStartBlock*>(raw);
    InstallAlternateStack();
    const uint32_t self = CurrentThreadId();
    RegisterThread(self, {}, block.CreatorAddress, block.CreatorThread);
    // Also when the thread is cancelled or calls pthread_exit: both unwind.
    struct TLeave {
        uint32_t Id;
        ~TLeave()
        {
            RegisterThread(Id, {}, 0, 0);
            RemoveAlternateStack();
        }
    } leave{self};
    try {
        return ZorRunThreadRoutine(block.Routine, block.Argument);
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        if (!TakeEscapeReported(CurrentExceptionObject()))
            ReportThreadException(std::current_exception());
        return reinterpret_cast<void*>(-1);
    }
}

// ---------------------------------------------------------------------------
// Other threads' state

namespace {

// One thread asked to stop. States: 0 free, 1 asked, 2 answered (held),
// 3 given up (it did not answer in time), 4 let go and returned.
struct TStateSlot {
    std::atomic<uint32_t> ThreadId{0};
    std::atomic<int> State{0};
    int AnswerFd = -1;  // the thread writes one byte here
    int ReleaseFd = -1; // and reads here until it closes
    int AnswerReadFd = -1;
    int ReleaseWriteFd = -1;
    ucontext_t Context;
    TZorThreadContext Captured; // reporter side only
};
constexpr int StateSlotCount = 64;
TStateSlot StateSlots[StateSlotCount];
std::mutex StateLock; // the reporter's side of the slots
int StateSignal = 0;
struct sigaction PreviousStateAction {};
bool StateSignalInstalled = false;

std::atomic<uint32_t> FailingThread{0};
TZorRegisters FailingRegisters;
bool FailingHasRegisters = false;

void StateSignalHandler(int, siginfo_t*, void* raw)
{
    const int savedErrno = errno;
    const uint32_t self = static_cast<uint32_t>(syscall(SYS_gettid));
    for (TStateSlot& slot : StateSlots) {
        if (slot.ThreadId.load(std::memory_order_acquire) != self || slot.State.load() != 1)
            continue;
        std::memcpy(&slot.Context, raw, sizeof(ucontext_t));
        const int answer = slot.AnswerFd, release = slot.ReleaseFd;
        int expected = 1;
        if (!slot.State.compare_exchange_strong(expected, 2))
            break;
        char mark = 1;
        while (write(answer, &mark, 1) < 0 && errno == EINTR) {
        }
        while (read(release, &mark, 1) < 0 && errno == EINTR) {
        }
        slot.State.store(4);
        break;
    }
    errno = savedErrno;
}

void CloseSlot(TStateSlot& slot)
{
    for (int* fd : {&slot.AnswerFd, &slot.ReleaseFd, &slot.AnswerReadFd, &slot.ReleaseWriteFd}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    slot.Captured = {};
    slot.ThreadId = 0;
    slot.State = 0;
}

} // namespace

int ThreadStateSignal()
{
    return StateSignal;
}

bool InstallThreadStateSignal()
{
    if (StateSignalInstalled)
        return true;
    StateSignal = SIGRTMIN + 4;
    struct sigaction action {};
    action.sa_sigaction = StateSignalHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    StateSignalInstalled = sigaction(StateSignal, &action, &PreviousStateAction) == 0;
    return StateSignalInstalled;
}

void RemoveThreadStateSignal()
{
    if (!StateSignalInstalled)
        return;
    ReleaseHeldThreads();
    // A thread that never answered (it blocks the signal) still has it
    // pending: ignoring the signal for a moment discards it in every thread,
    // or it would end the program under the previous action once unblocked.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(StateSignal, &ignore, nullptr);
    sigaction(StateSignal, &PreviousStateAction, nullptr);
    StateSignalInstalled = false;
}

uintptr_t StackEndOf(uintptr_t stackPointer)
{
    for (const TMapRegion& region : ReadProcessMaps())
        if (stackPointer >= region.Start && stackPointer < region.End)
            return region.End;
    return 0;
}

bool HeldThreadContext(uint32_t threadId, TZorThreadContext& context)
{
    std::lock_guard guard(StateLock);
    for (TStateSlot& slot : StateSlots)
        if (slot.ThreadId == threadId && slot.Captured.Valid) {
            context = slot.Captured;
            return true;
        }
    return false;
}

bool CaptureThreadContext(uint32_t threadId, TZorThreadContext& context)
{
    context = {};
    context.ThreadId = threadId;
    if (!StateSignalInstalled || threadId == 0 || threadId == CurrentThreadId())
        return false;
    if (HeldThreadContext(threadId, context))
        return true;
    std::lock_guard guard(StateLock);
    TStateSlot* slot = nullptr;
    for (TStateSlot& s : StateSlots)
        if (s.State == 0 && s.ThreadId == 0) {
            slot = &s;
            break;
        }
    if (slot == nullptr)
        return false;
    int answer[2], release[2];
    if (pipe2(answer, O_CLOEXEC) != 0)
        return false;
    if (pipe2(release, O_CLOEXEC) != 0) {
        close(answer[0]);
        close(answer[1]);
        return false;
    }
    slot->AnswerReadFd = answer[0];
    slot->AnswerFd = answer[1];
    slot->ReleaseFd = release[0];
    slot->ReleaseWriteFd = release[1];
    slot->State = 1;
    slot->ThreadId.store(threadId, std::memory_order_release);
    if (syscall(SYS_tgkill, getpid(), threadId, StateSignal) != 0) {
        CloseSlot(*slot);
        return false;
    }
    pollfd p{slot->AnswerReadFd, POLLIN, 0};
    int ready;
    while ((ready = poll(&p, 1, 100)) < 0 && errno == EINTR) {
    }
    if (ready <= 0) {
        int expected = 1;
        if (slot->State.compare_exchange_strong(expected, 3)) {
            // Never answered: it is let go at once should it answer late;
            // the slot is freed when the held threads are released.
            close(slot->ReleaseWriteFd);
            slot->ReleaseWriteFd = -1;
            return false;
        }
    }
    context.Registers = RegistersFromContext(slot->Context.uc_mcontext);
    context.Valid = true;
    context.StackEnd = StackEndOf(static_cast<uintptr_t>(context.Registers.Rsp));
    context.Name = ThreadCaption(threadId, true);
    slot->Captured = context;
    return true;
}

void ReleaseHeldThreads()
{
    std::lock_guard guard(StateLock);
    for (TStateSlot& slot : StateSlots) {
        const int state = slot.State;
        if (state == 0)
            continue;
        if (state == 3) {
            // Given up: a late answer finds its slot no longer asking and
            // touches nothing of it, so the slot serves the next report.
            CloseSlot(slot);
            continue;
        }
        if (slot.ReleaseWriteFd >= 0) {
            close(slot.ReleaseWriteFd);
            slot.ReleaseWriteFd = -1;
        }
        // Wait (briefly) until the thread has left its handler before the
        // descriptors it uses are closed.
        for (int i = 0; i < 200 && slot.State == 2; ++i)
            usleep(500);
        if (slot.State == 4)
            CloseSlot(slot);
    }
}

void SetFailingThread(uint32_t threadId, const TZorRegisters* registers)
{
    std::lock_guard guard(StateLock);
    FailingHasRegisters = registers != nullptr;
    if (registers != nullptr)
        FailingRegisters = *registers;
    FailingThread = threadId;
}

// ---------------------------------------------------------------------------
// The report's thread source

namespace {

class TRegistryThreadSource final : public IReportThreadSource {
public:
    std::vector<uint32_t> ThreadIds() override { return ListThreads(); }
    uint32_t MainThreadId() override
    {
        const uint32_t main = ReporterMainThreadId.load();
        return main != 0 ? main : static_cast<uint32_t>(getpid());
    }
    std::u16string Caption(uint32_t threadId) override { return ThreadCaption(threadId, false); }
    uintptr_t CreatorAddress(uint32_t threadId) override
    {
        uintptr_t address = 0;
        ThreadCaption(threadId, true, &address);
        return address;
    }
    uint32_t CreatorThread(uint32_t threadId) override
    {
        uint32_t creator = 0;
        ThreadCaption(threadId, true, nullptr, &creator);
        return creator;
    }
    bool ReadState(uint32_t threadId, TThreadState& state) override
    {
        TZorThreadContext context;
        {
            std::lock_guard guard(StateLock);
            if (threadId == FailingThread && FailingThread != 0) {
                if (!FailingHasRegisters)
                    return false;
                context.Registers = FailingRegisters;
                context.Valid = true;
            }
        }
        if (context.Valid)
            context.StackEnd = StackEndOf(static_cast<uintptr_t>(context.Registers.Rsp));
        else if (!CaptureThreadContext(threadId, context))
            return false;
        state.HasRegisters = true;
        state.Registers = context.Registers;
        state.StackStart = static_cast<uintptr_t>(context.Registers.Rsp);
        state.StackEnd = context.StackEnd;
        state.FramePointer = static_cast<uintptr_t>(context.Registers.Rbp);
        return true;
    }
};

} // namespace

void LinkThreadSource()
{
    SetReportSources(std::make_shared<TRegistryThreadSource>(), nullptr, nullptr);
}
