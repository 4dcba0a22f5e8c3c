// The report's stack source: a thread's record of the report becomes a trace
// of its stack, with names and lines from the modules' debug information.
//
// Runs on the report's completion thread.
#include <algorithm>

#include "crashreport/core/zorExcept_Threads.h"
#include "crashreport/diagnostics/zorMapFile.h"
#include "crashreport/core/zorReportText.h"
#include "crashreport/diagnostics/zorStackTrace.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorTools.h"

namespace {

// A saved context for the exact unwinder, made from the registers the report
// keeps (the general registers are all it reads).
ucontext_t ContextOfRegisters(const TZorRegisters& r)
{
    ucontext_t context{};
    greg_t* g = context.uc_mcontext.gregs;
    g[REG_RAX] = static_cast<greg_t>(r.Rax);
    g[REG_RBX] = static_cast<greg_t>(r.Rbx);
    g[REG_RCX] = static_cast<greg_t>(r.Rcx);
    g[REG_RDX] = static_cast<greg_t>(r.Rdx);
    g[REG_RSI] = static_cast<greg_t>(r.Rsi);
    g[REG_RDI] = static_cast<greg_t>(r.Rdi);
    g[REG_RBP] = static_cast<greg_t>(r.Rbp);
    g[REG_RSP] = static_cast<greg_t>(r.Rsp);
    g[REG_R8] = static_cast<greg_t>(r.R8);
    g[REG_R9] = static_cast<greg_t>(r.R9);
    g[REG_R10] = static_cast<greg_t>(r.R10);
    g[REG_R11] = static_cast<greg_t>(r.R11);
    g[REG_R12] = static_cast<greg_t>(r.R12);
    g[REG_R13] = static_cast<greg_t>(r.R13);
    g[REG_R14] = static_cast<greg_t>(r.R14);
    g[REG_R15] = static_cast<greg_t>(r.R15);
    g[REG_RIP] = static_cast<greg_t>(r.Rip);
    g[REG_EFL] = static_cast<greg_t>(r.EFlags);
    return context;
}

// The stack from a stack pointer to the end of its mapping. A stack pointer
// that overflowed into the guard area below the stack starts at the stack's
// mapping right above it.
void StackRangeAbove(uintptr_t stackPointer, uintptr_t& start, uintptr_t& end)
{
    constexpr uintptr_t GuardReach = 1u << 20;
    start = end = 0;
    for (const TMapRegion& region : ReadProcessMaps()) {
        if (!region.Readable || region.End <= stackPointer)
            continue;
        if (region.Start <= stackPointer) {
            start = stackPointer;
            end = region.End;
        } else if (region.Start - stackPointer <= GuardReach) {
            start = region.Start;
            end = region.End;
        }
        return;
    }
}

class TStackTraceSource final : public IReportStackSource {
public:
    TTraceResult TraceStack(const TTraceRequest& request) override
    {
        TTraceResult result;
        if (request.Record == nullptr) {
            result.Text = ">> stack not accessible";
            return result;
        }
        const TThreadStack& record = *request.Record;
        TTraceStackInput input;
        input.HideUglyItems = request.HideUglyItems;
        input.ShowRelAddrs = request.ShowRelAddrs;
        input.ShowRelLines = request.ShowRelLines;
        input.PlainThread = request.PlainThread;
        input.Failing = record.IsFailingThread;
        input.FailureAddress = record.ExceptionAddress;
        input.CreatorAddress = record.CreatorAddress;
        input.ObjectIsExternal = record.ObjectIsExternal;
        input.PreparedStackText = record.PreparedStackText;
        input.Stack.StackStart = record.StackStart;
        input.Stack.StackEnd = record.StackEnd;
        if (input.Stack.StackEnd == 0 || IsUnreadableMemory(record.StackStart, sizeof(uintptr_t)))
            StackRangeAbove(record.StackStart, input.Stack.StackStart, input.Stack.StackEnd);
        input.Stack.Rbp = record.FramePointer;
        // Another thread's registers are those it stored when it stopped for the report.
        const TZorRegisters* registers = request.Registers;
        TZorThreadContext held;
        if (registers == nullptr && record.ThreadId != 0 && HeldThreadContext(record.ThreadId, held) && held.Valid &&
            held.Registers.Rsp == record.StackStart)
            registers = &held.Registers;
        ucontext_t context;
        if (registers != nullptr) {
            context = ContextOfRegisters(*registers);
            input.Stack.Rip = registers->Rip;
            input.Stack.Rsp = registers->Rsp;
            input.Stack.Context = &context;
        }
        if (input.Stack.StackStart == 0 || input.Stack.StackEnd == 0) {
            result.Text = ">> stack not accessible";
            return result;
        }
        TTraceStackOutput out = ::TraceStack(input);
        result.Text = std::move(out.Text);
        result.Stack = std::move(out.Stack);
        result.Checksum1 = out.Checksum1;
        result.Checksum2 = out.Checksum2;
        result.HasLineInfo = out.HasLineInfo;
        result.FunctionStart = out.FunctionStart;
        result.FunctionAddress = out.FunctionAddress;
        result.ModuleInfo = std::move(out.ModuleInfo);
        return result;
    }
    std::string FormatStackItem(uintptr_t address) override { return ::FormatStackItem(address, false, false); }
};

} // namespace

std::shared_ptr<IReportStackSource> MakeStackTraceSource()
{
    return std::make_shared<TStackTraceSource>();
}

void LinkStackTrace()
{
    LinkMapFile();
}

void UnlinkStackTrace()
{
    if (DebugNameHook == DebugNameOfAddress)
        DebugNameHook = nullptr;
    if (DebugLineHook == DebugLineOfAddress)
        DebugLineHook = nullptr;
    if (FunctionExtentHook == DebugFunctionExtent)
        FunctionExtentHook = nullptr;
    MapFileCacheClear();
}
