#include "crashreport/core/zorExcept_Capture.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

#include "crashreport/core/zorExcept_Dispatch.h"
#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/core/zorExcept_Restart.h"
#include "crashreport/core/zorExcept_Startup.h"
#include "crashreport/core/zorExcept_Threads.h"
#include "crashreport/diagnostics/zorStackTrace.h"

// A counted reference to a thrown object, as the run-time's own
// exception_ptr(void*) makes it (exported, though not declared in a header).
void ConstructExceptionPointer(std::exception_ptr* self,
                               void* object) __asm__("_ZNSt15__exception_ptr13exception_ptrC1EPv");

namespace {

const int CaughtSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT};
constexpr int CaughtCount = sizeof(CaughtSignals) / sizeof(CaughtSignals[0]);
struct sigaction PreviousActions[CaughtCount];
bool SignalsInstalled = false;

std::terminate_handler PreviousTerminate = nullptr;
bool TerminateInstalled = false;
std::atomic<bool> ThrowHooks{false};
std::atomic<uint32_t> Parked{0};

// The last throw of the thread: the object's address identifies it when the
// exception is caught again later.
struct TThrowRecord {
    void* Object = nullptr;
    const std::type_info* Type = nullptr;
    uintptr_t Address = 0;
    TZorRegisters Registers;
};
thread_local TThrowRecord LastThrow;
thread_local TThrowRecord PreviousThrow;
thread_local bool Recording = false;
// The object whose escape from the thread's routine was reported already.
thread_local void* EscapeReported = nullptr;

TZorRegisters RegistersOfThrow(const TThrowRegisters& from)
{
    TZorRegisters registers;
    registers.Rbx = from.Rbx;
    registers.Rbp = from.Rbp;
    registers.Rsp = from.Rsp;
    registers.R12 = from.R12;
    registers.R13 = from.R13;
    registers.R14 = from.R14;
    registers.R15 = from.R15;
    registers.Rip = from.Rip;
    return registers;
}

// The recorded stack is the hook's, still below us: terminate was called
// from inside the throw. An exception that was unwound first (to a function
// that may not throw) left it behind, and other calls have used it since.
bool StackStillThere(const TThrowRecord& record)
{
    const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    return record.Registers.Rsp != 0 && here < record.Registers.Rsp;
}

// The thrown object an exception pointer holds (the first word of
// libstdc++'s exception_ptr).
void* ThrownObject(const std::exception_ptr& pointer)
{
    void* object = nullptr;
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    std::memcpy(&object, &pointer, sizeof(object));
    return object;
}

// A pointer that holds its own reference to the object.
std::exception_ptr ExceptionPointerOf(void* object)
{
    alignas(std::exception_ptr) unsigned char storage[sizeof(std::exception_ptr)];
    auto* made = reinterpret_cast<std::exception_ptr*>(storage);
    ConstructExceptionPointer(made, object);
    std::exception_ptr result = std::move(*made);
    made->~exception_ptr();
    return result;
}

const TThrowRecord* RecordOf(void* object)
{
    if (object == nullptr)
        return nullptr;
    if (LastThrow.Object == object)
        return &LastThrow;
    if (PreviousThrow.Object == object)
        return &PreviousThrow;
    return nullptr;
}

void RestoreDefault(int signal)
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

bool NearStackPointer(uintptr_t address, uintptr_t sp)
{
    return address + 256 * 1024 >= sp && address < sp + 4096;
}

void FaultHandler(int signal, siginfo_t* info, void* raw)
{
    const int savedErrno = errno;
    // A fault inside the handling goes back to the handler thread's loop.
    RecoverHandlerThread();
    auto* context = static_cast<ucontext_t*>(raw);
    THandleRequest request;
    request.Kind = 0;
    request.Source = ZorSourceUnhandled;
    request.ThreadId = CurrentThreadId();
    // Returning would run the faulting instruction again: only a thread
    // other than the main thread can go on, parked.
    request.CanContinue = request.ThreadId != ReporterMainThreadId.load();
    request.HasRegisters = 1;
    request.Registers = RegistersFromContext(context->uc_mcontext);
    request.Address = static_cast<uintptr_t>(request.Registers.Rip);
    request.StackPointer = static_cast<uintptr_t>(request.Registers.Rsp);
    request.FramePointer = static_cast<uintptr_t>(request.Registers.Rbp);
    request.HasRecord = 1;
    request.FromSignal = 1;
    std::memcpy(&request.Record, info, sizeof(siginfo_t));
    if ((signal == SIGSEGV || signal == SIGBUS) && info->si_code > 0) {
        const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
        uintptr_t low = 0, high = 0;
        request.StackOverflow = (StackGuardArea(low, high) && address >= low && address < high) ||
                                NearStackPointer(address, request.StackPointer);
    }
    const bool sent = info->si_code <= 0;
    if (!SubmitRequest(request)) {
        // No handler thread: the system's own handling, as if we were not
        // here. A sent signal must be sent again to have its effect.
        RestoreDefault(signal);
        if (sent)
            raise(signal);
        errno = savedErrno;
        return;
    }
    if (!request.CanContinue)
        _exit(1);
    // A signal that was sent re-runs nothing: the thread simply goes on. A
    // fault would fault again, so that thread waits for ever instead.
    if (sent) {
        errno = savedErrno;
        return;
    }
    Parked.fetch_add(1);
    for (;;)
        pause();
}

void OnTerminate()
{
    static thread_local bool inside = false;
    if (!inside) {
        inside = true;
        std::exception_ptr object = std::current_exception();
        if (!object)
            object = std::make_exception_ptr(BcbTermination("The program ended abnormally"));
        const TThrowRecord* record = RecordOf(ThrownObject(object));
        const bool whole = record != nullptr && StackStillThere(*record);
        HandleCaughtException(0, object, record ? record->Address : 0, whole ? &record->Registers : nullptr,
                              ZorSourceUnhandled, false);
    }
    // A failure that can't go on never returns to the code that caused it.
    TerminateProgram();
}

} // namespace

bool InstallSignalHandlers()
{
    if (SignalsInstalled)
        return true;
    struct sigaction action {};
    action.sa_sigaction = FaultHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < CaughtCount; ++i)
        sigaction(CaughtSignals[i], &action, &PreviousActions[i]);
    SignalsInstalled = true;
    return true;
}

void RemoveSignalHandlers()
{
    if (!SignalsInstalled)
        return;
    for (int i = 0; i < CaughtCount; ++i)
        sigaction(CaughtSignals[i], &PreviousActions[i], nullptr);
    SignalsInstalled = false;
}

bool InstallTerminateHandler()
{
    if (!TerminateInstalled) {
        PreviousTerminate = std::set_terminate(OnTerminate);
        TerminateInstalled = true;
    }
    return true;
}

void RemoveTerminateHandler()
{
    if (!TerminateInstalled)
        return;
    std::set_terminate(PreviousTerminate);
    TerminateInstalled = false;
}

void SetThrowHooksActive(bool active)
{
    // The program's own definitions of these are the hooks.
    if (active)
        SetHiddenStackFunctions(
            {reinterpret_cast<uintptr_t>(&__cxxabiv1::__cxa_throw),
             reinterpret_cast<uintptr_t>(&__cxxabiv1::__cxa_rethrow),
             reinterpret_cast<uintptr_t>(static_cast<void (*)(std::exception_ptr)>(&std::rethrow_exception))});
    ThrowHooks = active;
}

bool ThrowHooksActive()
{
    return ThrowHooks;
}

void RecordExceptionState(void* object, const std::type_info* type, uintptr_t address, const TThrowRegisters& registers)
{
    if (Recording)
        return;
    Recording = true;
    try {
        TThrowRecord record;
        record.Object = object;
        record.Type = type;
        record.Address = address;
        record.Registers = RegistersOfThrow(registers);
        TThreadExceptionState& state = ThreadExceptionState();
        const std::exception_ptr current = std::current_exception();
        void* currentObject = ThrownObject(current);
        if (!current) {
            // A throw outside any handler starts a new chain.
            FreeInnerChain(state.Inner);
        } else if (currentObject != object) {
            TInnerException inner;
            inner.ClassName = ObjectClassText(current);
            inner.Message = ObjectMessageText(current);
            inner.IsExternal = ClassInheritsNamed(current, "EExternal");
            inner.IsTermination = ClassInheritsNamed(current, "BcbTermination");
            if (const TThrowRecord* earlier = RecordOf(currentObject)) {
                inner.Address = earlier->Address;
                inner.HasRegisters = true;
                inner.Registers = earlier->Registers;
            }
            state.Inner.insert(state.Inner.begin(), std::move(inner));
        }
        state.Address = address;
        PreviousThrow = LastThrow;
        LastThrow = record;
    } catch (...) {
    }
    Recording = false;
}

void* CurrentExceptionObject()
{
    return ThrownObject(std::current_exception());
}

void* ExceptionObjectOf(const std::exception_ptr& pointer)
{
    return ThrownObject(pointer);
}

void RecordRethrowState(void* object, uintptr_t address, const TThrowRegisters& registers)
{
    if (Recording || object == nullptr)
        return;
    TThrowRecord record;
    if (const TThrowRecord* earlier = RecordOf(object))
        record = *earlier;
    record.Object = object;
    record.Address = address;
    record.Registers = RegistersOfThrow(registers);
    if (LastThrow.Object != object)
        PreviousThrow = LastThrow;
    LastThrow = record;
    ThreadExceptionState().Address = address;
}

bool ReportEscapingThrow(uint64_t exceptionClass, const void* unwindHeader)
{
    // "GNUCC++" and 0 for a thrown object, 1 for one rethrown from a pointer.
    constexpr uint64_t CppClass = 0x474E5543432B2B00ull;
    if (!ThrowHooksActive() || Recording || (exceptionClass & ~uint64_t(0xFF)) != CppClass ||
        (exceptionClass & 0xFF) > 1 || LastThrow.Object == nullptr || unwindHeader == nullptr)
        return false;
    // A thrown object follows its unwind header; one rethrown from a pointer
    // is the one its hook recorded.
    if ((exceptionClass & 0xFF) == 0 &&
        static_cast<const char*>(unwindHeader) + sizeof(_Unwind_Exception) != LastThrow.Object)
        return false;
    std::exception_ptr object = ExceptionPointerOf(LastThrow.Object);
    const TThrowRecord record = LastThrow;
    EscapeReported = record.Object;
    HandleCaughtException(ZorFailureException, std::move(object), record.Address, &record.Registers, ZorSourceThread,
                          true);
    return true;
}

bool TakeEscapeReported(void* object)
{
    const bool reported = object != nullptr && EscapeReported == object;
    EscapeReported = nullptr;
    return reported;
}

uint32_t ParkedThreadCount()
{
    return Parked;
}
