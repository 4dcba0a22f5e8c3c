// zorExcept dispatch: a failure caught in any thread becomes a fixed-size
// request that the faulting thread writes into the handler thread's pipe;
// it then blocks until the handler thread has handled it. The handler thread
// builds the exception object, runs the handlers, completes the report,
// presents it, and decides whether the program goes on, restarts or ends.
#pragma once

#include <csignal>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "crashreport/core/zorExcept_Exception.h"

// Where a failure was caught (the exception object's origin code).
enum TZorSource : uint8_t {
    ZorSourceAssistant = 0,
    ZorSourceWatchdog = 1,      // the freeze watchdog: the main thread is frozen
    ZorSourceUnhandled = 13,    // a signal, or an exception nobody caught
    ZorSourceNoConverter = 14,  // a failure that has no object of its own
    ZorSourceHandled = 15,      // an exception the program handled
    ZorSourceThread = 16,       // escaped a thread's routine
    ZorSourceThreadObject = 17, // (no counterpart here)
};

// The request the faulting thread hands over. Plain data of a fixed size,
// written with one write() into the pipe (atomic up to 4096 bytes).
struct THandleRequest {
    uint32_t Magic = 0;     // RequestMagic; 0 in the stop request
    int32_t Completion = 0; // write end of the faulting thread's completion pipe, plus 1; 0: none
    uint8_t Kind = 0;
    uint8_t Source = 0;
    uint8_t CanContinue = 0;
    uint8_t HasRegisters = 0;
    uint8_t HasRecord = 0; // a signal: Record holds its information
    uint8_t FromSignal = 0;
    uint8_t StackOverflow = 0;
    uint8_t Reserved = 0;
    uint32_t ThreadId = 0;
    uintptr_t Address = 0;
    uintptr_t StackPointer = 0;
    uintptr_t FramePointer = 0;
    // A C++ failure: the object, owned by the faulting thread until done.
    const std::exception_ptr* Object = nullptr;
    // Earlier exceptions of the thread, newest first; owned by the thread.
    const TDAInnerException* Inner = nullptr;
    const void* Related = nullptr;
    siginfo_t Record{};
    TZorRegisters Registers;
    // Set by the handler thread: the program goes on (else it ends).
    uint8_t* Decision = nullptr;
};
constexpr uint32_t RequestMagic = 0x7A6F7252u;
static_assert(sizeof(THandleRequest) <= 4096);

// The text and class of a failure that has no object, from its signal: the
// access violation text (Write/Read, the address), "Stack overflow",
// "Division by zero", ..., "External exception %x" for everything else and
// for every signal that was sent rather than raised by the processor.
std::u16string SignalFailureText(const siginfo_t& record, const TZorRegisters& registers, bool stackOverflow,
                                 bool& accessViolation);
std::exception_ptr SignalFailureObject(const THandleRequest& request);

// Reports a failure from ordinary code (not a signal handler): hands it to
// the handler thread and waits, or handles it here when there is no handler
// thread or this is it. Returns when the program goes on.
void HandleCaughtException(uint8_t kind, std::exception_ptr object, uintptr_t address, const TZorRegisters* registers,
                           uint8_t source, bool canContinue, const void* related = nullptr);
// An exception escaped a wrapped thread's routine.
void ReportThreadException(std::exception_ptr object);

// The handler thread. Start creates the pipe and the thread; Stop sends the
// stop request and waits up to 500 ms for it to end.
bool StartHandlerThread();
void StopHandlerThread();
uint32_t HandlerThreadId();
// The pipe's write end for the signal handlers; -1 without a handler thread.
int HandlerPipe();
// Writes the request and waits for its completion; false when it could not
// be handed over. Signal-safe: no allocation, no locks.
bool SubmitRequest(THandleRequest& request);
// Recovers the handler thread from a fault inside the handling: false when
// the fault is not the handler thread's.
bool RecoverHandlerThread();

// Handles one request on the calling thread (the handler thread's work).
void HandleRequest(THandleRequest& request);

// The exception object of a failure, with the class filters applied.
std::shared_ptr<TIZXException> CreateExceptionObject(std::shared_ptr<IZXModuleSettings> settings,
                                                     const THandleRequest& request, const std::exception_ptr& object);
// The filter (F1, F2, else Gn) that names the object's class or an ancestor
// sets what the failure gets: report, screenshot, pausing, handlers, box.
void ApplyClassFilters(TIZXException& exception);

// The console presenter: the message (FrozenMsg or ExceptMsg) on standard
// output, then an empty line and the report when AutoShowBugRep is on or the
// show button is visible.
bool ShowForException(TIZXException& exception);
void AutoSaveReport(TIZXException& exception, bool atEnd);
void FinishAutoActions(TIZXException& exception, bool wait);

// The out-of-memory reserve, freed first when a failure is handled.
void AllocateReserve();
void FreeReserve();

// Where ShowForException writes (standard output unless a test says else).
void SetConsoleOutput(int fd);

// Fills the presenter and automatic-action slots.
void LinkDispatch();
