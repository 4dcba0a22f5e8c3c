// zorExcept capture: the signal handlers of processor faults and of signals
// that end a program, the handler of uncaught C++ exceptions, and the record
// of every throw (what, where, with which registers; an exception still
// being handled when a new one is thrown becomes an inner exception).
//
// A faulting thread does nothing but hand a fixed-size request to the
// handler thread and wait: no allocation, no locks, no exceptions there.
#pragma once

#include <cstdint>
#include <exception>
#include <typeinfo>

// SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP and SIGABRT; the previous
// dispositions are kept and put back exactly.
bool InstallSignalHandlers();
void RemoveSignalHandlers();
bool InstallTerminateHandler();
void RemoveTerminateHandler();

// While on, every throw is recorded (through the __cxa_throw hook).
void SetThrowHooksActive(bool active);
bool ThrowHooksActive();

// The registers a throw hook keeps of its own frame, taken in its body: the
// frame's call-frame rules lead from them through the throw site to every
// caller, as long as the hook has not returned. An exception that nobody
// catches ends in the terminate handler inside the hook, so its stack is
// still there then.
struct TThrowRegisters {
    uint64_t Rbx = 0, Rbp = 0, Rsp = 0, R12 = 0, R13 = 0, R14 = 0, R15 = 0, Rip = 0;
};
// Inlined into the hook, so that the registers are the hook's own: a few
// stores, no system call.
__attribute__((always_inline)) inline void CaptureThrowRegisters(TThrowRegisters& registers)
{
    asm volatile("movq %%rbx, 0(%0)\n\t"
                 "movq %%rbp, 8(%0)\n\t"
                 "movq %%rsp, 16(%0)\n\t"
                 "movq %%r12, 24(%0)\n\t"
                 "movq %%r13, 32(%0)\n\t"
                 "movq %%r14, 40(%0)\n\t"
                 "movq %%r15, 48(%0)\n\t"
                 "leaq 1f(%%rip), %%rax\n\t"
                 "movq %%rax, 56(%0)\n"
                 "1:"
                 :
                 : "r"(&registers)
                 : "rax", "memory");
}

// The __cxa_throw hook's report: the thrown object, its type, the throw site
// and the hook's registers.
void RecordExceptionState(void* object, const std::type_info* type, uintptr_t address,
                          const TThrowRegisters& registers);
// The thrown object of the exception being handled, and of a pointer.
void* CurrentExceptionObject();
void* ExceptionObjectOf(const std::exception_ptr& pointer);
// The rethrow hooks' report: the exception being handled (or the one the
// pointer holds) leaves again from this site, with this stack.
void RecordRethrowState(void* object, uintptr_t address, const TThrowRegisters& registers);

// The search for a handler of a C++ exception has reached the outermost frame
// of a thread's routine: nothing in the routine catches it. Reported here,
// while its stack is whole; true when it was.
bool ReportEscapingThrow(uint64_t exceptionClass, const void* unwindHeader);
// Whether the exception that escaped this thread's routine was reported
// already (the flag is cleared).
bool TakeEscapeReported(void* object);

// Threads parked after a fault they could not go on from (they wait for
// ever, the program goes on).
uint32_t ParkedThreadCount();
