// zorExcept threads: the process-wide thread registry (who created a thread,
// from where, under which name), the captions reports give threads, the
// process's thread list, the wrapper every thread created through
// pthread_create runs in, and the state of other threads, read by making
// each one store its own context and wait while the reporter looks at its
// stack.
#pragma once

#include <cstdint>
#include <pthread.h>
#include <string>
#include <vector>

#include "crashreport/core/zorExcept_Exception.h"

// Names of the reporter's own threads; their captions are empty.
extern const char16_t* const HandlerThreadName;  // "zorExcept - HandleExceptionThread"
extern const char16_t* const WatchdogThreadName; // "zorExcept - AntiFreezeThread"
extern const char16_t* const TraceThreadName;    // "zorExcept - TraceProcessThread"

// The kernel id of the calling thread.
uint32_t CurrentThreadId();

// The registry exists between these; without it registering does nothing.
bool CreateThreadRegistry();
void ReleaseThreadRegistry();
bool ThreadRegistryExists();

// Adds, replaces or removes the entry of a thread. A call that carries a name
// or a creator address adds or replaces, filling what it leaves empty from
// the old entry; one without either removes. One entry of an ended thread is
// pruned per call (not while the reporter starts up).
void RegisterThread(uint32_t threadId, const std::u16string& name, uintptr_t creatorAddress, uint32_t creatorThread);
// Registers the name and gives it to the system too (15 bytes kept there),
// when the thread is the calling one or a registered one.
void NameRegisteredThread(uint32_t threadId, const std::u16string& name);

// The calling thread gave itself a system name (the pthread_setname_np
// hook): the registry takes it.
void NoteThreadName(const char* name);

// "name ($id)", or "thread $id" for an unnamed thread; empty for the
// reporter's own threads unless shown; "thread $id" too when the registry
// can't be had within 50 ms. The creator's address and thread, 0 when
// unknown.
std::u16string ThreadCaption(uint32_t threadId, bool showOwnThreads, uintptr_t* creatorAddress = nullptr,
                             uint32_t* creatorThread = nullptr);

// The process's threads from /proc/self/task: the main thread first, then
// ascending ids.
std::vector<uint32_t> ListThreads();
// The id when the thread exists in this process, else 0 (the id is all it
// takes to reach a thread here).
uint32_t OpenThreadById(uint32_t threadId);

// ---------------------------------------------------------------------------
// Thread hooks

// While on, threads created through pthread_create run in the wrapper.
void SetThreadHooksActive(bool active);
bool ThreadHooksActive();

// What pthread_create hands its wrapped thread.
struct TThreadStartBlock {
    void* (*Routine)(void*) = nullptr;
    void* Argument = nullptr;
    uintptr_t CreatorAddress = 0;
    uint32_t CreatorThread = 0;
};
// The code that asked for a thread: the first return address on the calling
// stack outside the reporter's hook and the C and C++ run-time libraries.
uintptr_t FindCreatorAddress();
// The thread procedure of a wrapped thread (its argument is a heap block it
// frees): installs the alternate signal stack, registers the thread, runs
// the routine and reports an exception escaping it (the thread then ends
// with (void*)-1); removes the entry at the end.
void* ThreadStartWrapper(void* block);

// The calling thread's alternate signal stack (a fault on an exhausted stack
// needs one), and the area below its stack a fault in which is a stack
// overflow. Both per thread; Install is safe to call twice.
void InstallAlternateStack();
void RemoveAlternateStack();
// The guard area of the calling thread; false when unknown. Signal-safe.
bool StackGuardArea(uintptr_t& low, uintptr_t& high);

// ---------------------------------------------------------------------------
// Other threads' state

// The state of one thread as the reporter read it, for the report's thread
// sections and the call-stack walk: its kernel id, its caption name, and the
// registers it had when it stopped for the reporter (RIP, RSP, RBP among
// them); StackEnd is the end of the stack's mapping.
struct TZorThreadContext {
    uint32_t ThreadId = 0;
    std::u16string Name;
    bool Valid = false; // registers were read
    TZorRegisters Registers;
    uintptr_t StackEnd = 0;
};

// Makes the thread store its context and hold until ReleaseHeldThreads;
// false when it did not answer within about 100 ms (or is the caller).
bool CaptureThreadContext(uint32_t threadId, TZorThreadContext& context);
// The context captured last for a held thread; false when there is none.
bool HeldThreadContext(uint32_t threadId, TZorThreadContext& context);
// Lets every held thread go on.
void ReleaseHeldThreads();
// The signal that makes a thread stop for the reporter; installed by
// start-up, removed at shut-down.
bool InstallThreadStateSignal();
void RemoveThreadStateSignal();
int ThreadStateSignal();

// The end of the stack mapping that holds the address; 0 when none.
uintptr_t StackEndOf(uintptr_t stackPointer);

// The failing thread of the request being handled, whose state is the
// captured one (it is not asked again); 0 between requests.
void SetFailingThread(uint32_t threadId, const TZorRegisters* registers);

// The thread source of the bug report, filled from the registry.
void LinkThreadSource();
