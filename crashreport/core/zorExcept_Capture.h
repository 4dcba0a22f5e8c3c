// zorExcept capture: the signal handlers of processor faults and of signals
// that end a program, the handler of uncaught C++ exceptions, and the record
// of every throw (what, where, with which registers; an exception still
// being handled when a new one is thrown becomes an inner exception).
//
// A faulting thread does nothing but hand a fixed-size request to the
// handler thread and wait: no allocation, no locks, no exceptions there.
#pragma once

#include <cstdint>
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
// The __cxa_throw hook's report: the thrown object, its type and the throw
// site.
void RecordExceptionState(void* object, const std::type_info* type, uintptr_t address);

// Threads parked after a fault they could not go on from (they wait for
// ever, the program goes on).
uint32_t ParkedThreadCount();
