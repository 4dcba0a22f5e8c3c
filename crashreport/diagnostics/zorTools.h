// zorTools: the crash reporter's view of the system and of loaded modules:
// the system's name and version, module look-up by address, symbol names,
// version texts, compiled-in resources, safe memory tests, a millisecond tick
// count, the unmangling of "@Unit@Name" names, and a message channel per
// thread through which other parts of the reporter receive private messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crashreport/diagnostics/zorTypes.h"
#include "platform/window/Window.h"

// ---------------------------------------------------------------------------
// The system

struct TOS {
    uint32_t MajorVersion = 0; // of the kernel release ("6.1.0-18-amd64" gives 6, 1, 0)
    uint32_t MinorVersion = 0;
    uint32_t BuildNumber = 0;
    std::u16string ServicePackText; // always empty here
    bool IsWin9x = false;
    uint8_t Win9xKind = 0;
    bool IsWinNT = false;
    uint8_t WinNTKind = 0;
    uint8_t OsKind = 0;
    bool IsX64 = false;
    uint32_t ServicePackNumber = 0;
    // The distribution's name, for example "Debian GNU/Linux 12 (bookworm) x64".
    std::u16string Description;
};

// Read once and kept; every call returns a copy.
TOS ReadOsInfo();

// ---------------------------------------------------------------------------
// Modules. A module handle is the address the module is mapped at; 0 stands
// for the program itself where a routine says so.

using TModuleHandle = uintptr_t;

// The module that holds the address: its handle and file name (the program's
// real file for the executable). False for memory of no module (heap, stacks).
bool ModuleOfAddress(uintptr_t address, TModuleHandle& module, std::string& fileName);
// The handle of the program file itself.
TModuleHandle MainModuleHandle();

// The name of the dynamic symbol that starts exactly at the address inside
// the module, demangled; empty when there is none. With unmangle set, an
// "@Unit@Name" name comes back as "Unit.Name".
std::string ExportNameOfA(TModuleHandle module, uintptr_t address, bool unmangle);
std::u16string ExportNameOfW(TModuleHandle module, uintptr_t address, bool unmangle);
// The address of a dynamic symbol of the module (0: the program), 0 when
// there is none. useFile has no meaning here: nothing redirects the tables.
uintptr_t FindExportedProc(TModuleHandle module, const std::string& name, bool useFile = false);

// "a.b.c.d" of two version words.
std::string FileVersionToTextA(uint32_t mostSignificant, uint32_t leastSignificant);
std::u16string FileVersionToTextW(uint32_t mostSignificant, uint32_t leastSignificant);
// The program's version for the program file, the text after ".so." of the
// real file name for a shared library ("libz.so.1" is "libz.so.1.2.13": "1.2.13"),
// else empty.
std::string FileVersionTextA(const std::string& moduleFileName);
std::u16string FileVersionTextW(const std::u16string& moduleFileName);
// The version the program reports of itself.
extern const char* const ZorProgramVersion;

// "@Unit@TClass@Method$x" becomes "TClass.Method" with unit "Unit"; "::"
// becomes "." in every name; false (and only that change) for a name without
// a leading "@".
bool UnmangleNameA(std::string& name, std::string& unit);
bool UnmangleNameW(std::u16string& name, std::u16string& unit);

// ---------------------------------------------------------------------------
// Memory

// One mapping of the process, as /proc/self/maps lists it.
struct TMapRegion {
    uintptr_t Start = 0;
    uintptr_t End = 0; // first address behind it
    bool Readable = false;
    bool Writable = false;
    bool Executable = false;
    uint64_t Offset = 0; // in the mapped file
    std::string Path;    // file, "[stack]", "[heap]", ... or empty
};
// A snapshot of the process's mappings in address order; empty when it can't
// be read.
std::vector<TMapRegion> ReadProcessMaps();
// True unless the whole range lies in one readable mapping. Never touches the
// memory itself, so it never faults.
bool IsUnreadableMemory(uintptr_t address, size_t count);

// ---------------------------------------------------------------------------
// Time

// Milliseconds of the monotonic clock; 64 bits, so it never wraps.
uint64_t TickCount64();
uint64_t TickSpan(uint64_t earlier);

// ---------------------------------------------------------------------------
// Resources compiled into the program: (type, name) -> bytes. A build step
// (duskmarch_resource in cmake/Duskmarch.cmake) turns a file into a byte array
// that registers itself here before main. Types are names ("TZOREXCEPT") or
// numbers (RT_RCDATA, written "#10"); names compare without regard to case.

constexpr uint32_t RT_RCDATA = 10;
constexpr uint32_t RT_BITMAP = 2;

struct TZorResource {
    const char16_t* Type;
    const char16_t* Name;
    const uint8_t* Data;
    size_t Size;
    const TZorResource* Next = nullptr;
};
// Links the resource into the table; its storage must live for the program.
void RegisterZorResource(TZorResource& resource);
// The resource's bytes, empty when it is missing.
std::string ReadResourceText(const std::u16string& type, const std::u16string& name);
std::string ReadResourceText(uint32_t typeId, const std::u16string& name);

// ---------------------------------------------------------------------------
// Message channels: one per thread, in place of a hidden message window. A
// channel is a queue of {message, wParam, lParam} and its handler entries;
// its owner thread pumps it. Handlers run on the owner thread.

using THandlerWindow = uintptr_t; // 0: none
using TMsgHandlerProc = void (*)(THandlerWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                                 intptr_t& result);
using TMsgHandlerMethod = void (*)(void* object, THandlerWindow window, uint32_t message, uintptr_t wParam,
                                   intptr_t lParam, intptr_t& result);

// WM_CLOSE and WM_USER are the window layer's.
constexpr uint32_t WM_QUERYENDSESSION = 0x11;

// The thread's channel (0: the calling thread); made on first use for the
// calling thread only, 0 for another thread without one.
THandlerWindow HandlerWindowOfThread(uint32_t threadId = 0);
// Adds a handler; message 0 picks the lowest number from 1024 up that the
// channel doesn't use. Returns the number, 0 for a duplicate or when the
// thread has no channel and can't get one (it is not the caller).
uint32_t RegisterWindowMsgHandler(TMsgHandlerProc proc, uint32_t message, uint32_t threadId = 0);
uint32_t RegisterWindowMsgHandlerEx(TMsgHandlerProc proc, uint32_t message, uint32_t threadId, TMsgHandlerMethod method,
                                    void* object);
// Removes the matching handlers (message 0: of every number). A channel left
// without handlers goes: at once on its own thread, otherwise it is posted a
// WM_CLOSE and goes when its owner pumps that.
void UnregisterWindowMsgHandler(TMsgHandlerProc proc, uint32_t message, uint32_t threadId = 0);
void UnregisterWindowMsgHandlerEx(TMsgHandlerProc proc, uint32_t message, uint32_t threadId, TMsgHandlerMethod method,
                                  void* object);
// Offers a message to the channel's handlers (system notifications and every
// number from 0x218 up) in the order they were added; returns the result.
intptr_t HandlerWindowProc(THandlerWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Queues a message for the channel's owner; false when the channel is gone.
bool PostHandlerMessage(THandlerWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Has the owner handle the message and waits up to timeoutMs for its result
// (on the owner thread itself it is handled at once). False on time-out or
// when the channel goes meanwhile.
bool SendHandlerMessage(THandlerWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam, uint32_t timeoutMs,
                        intptr_t* result = nullptr);
// Handles every queued message of the calling thread's channels; waits up to
// timeoutMs for the first one when none is queued. Returns the count handled.
int PumpHandlerMessages(uint32_t timeoutMs = 0);
// The calling thread's doorbell: rung whenever a message is posted or sent to
// one of its channels, or by RingThreadDoorbell. True once after it rang (and
// on a thread's first call), else false; costs one atomic exchange, so a loop
// may ask on every iteration and pump only when it is true.
bool TakeThreadDoorbell();
// Makes the thread's next TakeThreadDoorbell true (a thread that never asked
// has none: nothing happens).
void RingThreadDoorbell(uint32_t threadId);
// At the reporter's shut-down: forgets every channel and handler.
void CloseHandlerMutex();
