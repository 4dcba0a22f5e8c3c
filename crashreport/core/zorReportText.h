// zorExcept bug report text: the header lines and sections of a failure,
// built at once with placeholders for the slow parts, completed on a thread
// of their own (or in place), and composed into the report text.
//
// Threads, call stacks and the disassembly come through three sources that
// later parts of the reporter fill; until then the real thread source knows
// only the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crashreport/core/zorExcept_Exception.h"

// ---------------------------------------------------------------------------
// Sources

struct TThreadState {
    bool HasRegisters = false;
    TZorRegisters Registers;
    uintptr_t StackStart = 0, StackEnd = 0, FramePointer = 0;
    int32_t Priority = 0;
    bool Suspended = false;
};

class IReportThreadSource {
public:
    virtual ~IReportThreadSource() = default;
    // The process's threads, the main thread first.
    virtual std::vector<uint32_t> ThreadIds() = 0;
    virtual uint32_t MainThreadId() = 0;
    // Empty for a thread that is not listed (the reporter's own).
    virtual std::u16string Caption(uint32_t threadId) = 0;
    // Where the thread was created and by whom; 0 when unknown.
    virtual uintptr_t CreatorAddress(uint32_t threadId) = 0;
    virtual uint32_t CreatorThread(uint32_t threadId) = 0;
    // False when the thread's state can't be read.
    virtual bool ReadState(uint32_t threadId, TThreadState& state) = 0;
};

struct TTraceRequest {
    const TThreadStack* Record = nullptr;
    const TZorRegisters* Registers = nullptr;
    bool PlainThread = false;
    bool HideUglyItems = false, ShowRelAddrs = false, ShowRelLines = false;
};
struct TTraceResult {
    std::string Text;
    TStackTrace Stack;
    uint32_t Checksum1 = 0, Checksum2 = 0;
    bool HasLineInfo = false;
    uintptr_t FunctionStart = 0, FunctionAddress = 0;
    std::vector<std::string> ModuleInfo; // "module|information"
};

class IReportStackSource {
public:
    virtual ~IReportStackSource() = default;
    virtual TTraceResult TraceStack(const TTraceRequest& request) = 0;
    // A failure address as its first call-stack line.
    virtual std::string FormatStackItem(uintptr_t address) = 0;
};

class IReportListingSource {
public:
    virtual ~IReportListingSource() = default;
    virtual std::string GetCleartextDisAsm(uintptr_t functionStart, uintptr_t markedAddress, int32_t lineLimit,
                                           bool format) = 0;
};

// The real stack source: traces of the threads' stacks (zorStackTrace).
std::shared_ptr<IReportStackSource> MakeStackTraceSource();

// nullptr puts the real source back.
void SetReportSources(std::shared_ptr<IReportThreadSource> threads, std::shared_ptr<IReportStackSource> stacks,
                      std::shared_ptr<IReportListingSource> listing);

// Facts of the machine a test may replace (empty: the real ones).
struct TReportSystemFacts {
    std::function<std::u16string()> CpuName;
    std::function<int32_t()> CpuCount;
    std::function<std::u16string()> TerminalClientName;
};
TReportSystemFacts& ReportSystemFacts();

// ---------------------------------------------------------------------------
// System texts

std::u16string TimeSpanText(int64_t seconds);
std::u16string SystemUpTimeText();
std::u16string ProgramUpTimeText();
std::u16string DiskFreeText(const std::u16string& path);
std::u16string MemoryStatusText();
std::u16string CpuNameText();
int32_t CpuCount();
std::u16string OsVersionText();
std::u16string OsLanguageText();
std::u16string DisplayModeText();
std::u16string AllocatedMemoryText();

// ---------------------------------------------------------------------------
// Sections

std::u16string GetCpuRegisters(const TZorRegisters& registers);
// Up to 20 rows of 16 bytes from start; bytes at or past end are blank.
std::u16string GetStackDump(uintptr_t start, uintptr_t end);

void BuildReportHeader(TIZXException& exception, IZXFields& header);
void BuildReportSections(TIZXException& exception, IZXFields& sections);
void CompleteReport(TIZXException& exception);
std::u16string ComposeReportText(TIZXException& exception, bool wait);

// Fills the report slots of the exception object.
void LinkReportText();
