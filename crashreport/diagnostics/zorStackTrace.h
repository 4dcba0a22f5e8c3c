// zorStackTrace: the call stacks of the reporter's bug reports. A thread's
// stack is read slot by slot; every value that could be a return address is
// a candidate, checked against the call before it, against the function that
// holds it and against the other candidates. The exact unwinder (the C++
// run-time's for the calling thread, libunwind for a saved context) marks the
// frames it finds as ones to keep. A call stack is a list of output entries,
// newest first.
//
// Everything here runs in normal context or on the reporter's handler and
// report threads, never in a signal handler (it allocates).
#pragma once

#include <ucontext.h>

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// One entry of a call stack.
struct TStackItem {
    uintptr_t Address = 0;
    uint32_t Offset = 0; // from the function's start; 0 when unknown
    std::u16string Module;
    std::u16string Unit;
    int32_t Line = 0;
    int32_t RelativeLine = 0;
    std::u16string FunctionName;
};

using TStackTrace = std::vector<TStackItem>;

// What a trace starts from: a plain context record, as the capture layer keeps
// one per thread (its registers, its stack, and optionally the whole saved
// context for the exact unwinder).
struct TStackContext {
    uintptr_t Rip = 0, Rsp = 0, Rbp = 0;
    // The stack from the thread's stack pointer to its mapping's end; both 0:
    // the calling thread's own stack from this call on.
    uintptr_t StackStart = 0, StackEnd = 0;
    // The thread's saved context, for libunwind; nullptr: none (the calling
    // thread is unwound by the run-time's own unwinder).
    const ucontext_t* Context = nullptr;
};

struct TTraceStackInput {
    TStackContext Stack;
    bool HideUglyItems = false, ShowRelAddrs = false, ShowRelLines = false;
    bool PlainThread = false;      // no failure on this thread
    bool Failing = false;          // the failing thread
    uintptr_t FailureAddress = 0;  // 0: the caller's own position (unless failing)
    uintptr_t CreatorAddress = 0;  // where the thread was created
    bool ObjectIsExternal = false; // a hardware fault rather than a thrown object
    std::string PreparedStackText; // count + {keep byte, 64-bit address}; replaces the scan
    bool UseUnwinder = true;       // feed the exact unwinder's frames as keep items
    const std::atomic<bool>* Abort = nullptr;
};

struct TTraceStackOutput {
    std::string Text;
    uint32_t Checksum1 = 0, Checksum2 = 0;
    bool HasLineInfo = false;
    uintptr_t FunctionStart = 0, FunctionAddress = 0; // for the listing
    uintptr_t FailureSlot = 0;                        // the newest item's address
    std::vector<std::string> ModuleInfo;              // "module|information"
    TStackTrace Stack;
};

TTraceStackOutput TraceStack(const TTraceStackInput& input);

// A prepared stack text of {keep, address} records.
std::string PreparedStackText(const std::vector<std::pair<bool, uintptr_t>>& records);

// Whether a call instruction ends exactly at the address (E8 rel32; FF /2
// with or without REX, including FF 15 disp32).
bool FollowsCallInstruction(uintptr_t address);

// One address as a call-stack line: 16 hex digits, " +offset" (relative
// addresses), module, unit, line, "+relative line" (relative lines) and the
// function; " +0"/" ???" when the debug information does not know it.
std::string FormatStackItem(uintptr_t address, bool showRelAddrs, bool showRelLines);
class TMapFile;
std::string FormatStackItemIn(const TMapFile& map, uintptr_t address, bool showRelAddrs, bool showRelLines);
// ">> internal error in " + routine; while an exception is handled whose
// throw site is known, ":" and that site as a call-stack line follow.
std::string ReportInternalError(const std::string& routine, bool showRelAddrs = false, bool showRelLines = false);

// The return addresses of the calling thread from the run-time's unwinder,
// newest first, with the stack slot each is kept in (0 when unknown).
struct TUnwoundFrame {
    uintptr_t Address = 0;
    uintptr_t Slot = 0;
};
std::vector<TUnwoundFrame> UnwindCallingThread();
// The same from a saved context: by the modules' call-frame rules, else
// through libunwind (loaded privately, so that the C++ run-time keeps its own
// unwinder); empty when neither can. With a snapshot the stack is read
// through it. Whole, when given, tells whether the call-frame rules led to the
// thread's outermost frame.
struct TTryReadRun;
std::vector<TUnwoundFrame> UnwindContext(const ucontext_t& context, const std::vector<TTryReadRun>* snapshot = nullptr,
                                         bool* whole = nullptr);

// Functions (by their entry) that never show as frames of a call stack: the
// reporter's hooks in front of the run-time's throw routines, whose frames
// lie between a throw and the code that threw. At most a few; set at
// start-up, before a trace can run.
void SetHiddenStackFunctions(std::initializer_list<uintptr_t> entries);

// Normal context, at the reporter's start-up: the report's stack source
// becomes this unit's trace, and the debug information's hooks are set.
void LinkStackTrace();
// At shut-down: the hooks are emptied and the cached debug information freed.
void UnlinkStackTrace();
