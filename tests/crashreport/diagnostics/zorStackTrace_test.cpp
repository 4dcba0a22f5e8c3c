#include "crashreport/diagnostics/zorStackTrace.h"

#include <gtest/gtest.h>
#include <ucontext.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/core/zorExcept_Threads.h"
#include "crashreport/diagnostics/zorMapFile.h"
#include "crashreport/core/zorReportText.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorTools.h"

namespace {

// Three frames of our own, each kept by a call that is no tail call.
TTraceStackOutput LastTrace;
volatile int Side = 0;

__attribute__((noinline)) void TraceLevelC(bool otherSite)
{
    TTraceStackInput input;
    if (otherSite) {
        Side = Side + 1;
        LastTrace = TraceStack(input);
    } else {
        LastTrace = TraceStack(input);
    }
    Side = Side + 1;
}
__attribute__((noinline)) void TraceLevelB(bool otherSite)
{
    TraceLevelC(otherSite);
    Side = Side + 1;
}
__attribute__((noinline)) void TraceLevelA(bool otherSite)
{
    TraceLevelB(otherSite);
    Side = Side + 1;
}

std::string Narrow(const std::u16string& text)
{
    return WideToUtf8(text);
}

TEST(zorStackTrace, TraceOfTheCallingThreadListsItsFramesNewestFirst)
{
    TTraceStackOutput traces[2];
    for (TTraceStackOutput& trace : traces) {
        TraceLevelA(false);
        trace = LastTrace;
    }
    const TTraceStackOutput& first = traces[0];
    ASSERT_GE(first.Stack.size(), 3u) << first.Text;
    const char* const names[] = {"(anonymous namespace).TraceLevelC(bool)", "(anonymous namespace).TraceLevelB(bool)",
                                 "(anonymous namespace).TraceLevelA(bool)"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Narrow(first.Stack[i].FunctionName), names[i]) << first.Text;
        EXPECT_EQ(Narrow(first.Stack[i].Module), "test_crashreport") << i;
        EXPECT_EQ(Narrow(first.Stack[i].Unit), "zorStackTrace_test") << i;
        EXPECT_GT(first.Stack[i].Line, 0) << i;
    }
    EXPECT_TRUE(first.HasLineInfo);
    // Every printed line is one entry of the call stack.
    EXPECT_EQ(SplitLinesA(first.Text).size(), first.Stack.size()) << first.Text;

    EXPECT_EQ(traces[1].Checksum1, first.Checksum1);
    EXPECT_EQ(traces[1].Checksum2, first.Checksum2) << first.Text << "\n---\n" << traces[1].Text;
    TraceLevelA(true);
    EXPECT_NE(LastTrace.Checksum1, first.Checksum1) << LastTrace.Text;
}

// Return addresses just after real call sites of two functions.
__attribute__((noinline)) uintptr_t ReturnAddressOfCaller()
{
    return reinterpret_cast<uintptr_t>(__builtin_extract_return_addr(__builtin_return_address(0)));
}
__attribute__((noinline)) uintptr_t CallSiteA()
{
    const uintptr_t address = ReturnAddressOfCaller();
    Side = Side + 1;
    return address;
}
__attribute__((noinline)) uintptr_t CallSiteB()
{
    const uintptr_t address = ReturnAddressOfCaller();
    Side = Side + 3; // not the same code as A's, which the compiler would fold into one
    return address;
}

TTraceStackOutput TracePrepared(const std::vector<std::pair<bool, uintptr_t>>& records)
{
    TTraceStackInput input;
    input.PlainThread = true;
    input.PreparedStackText = PreparedStackText(records);
    return TraceStack(input);
}

std::vector<std::string> FunctionNames(const TTraceStackOutput& trace)
{
    std::vector<std::string> names;
    for (const TStackItem& item : trace.Stack)
        names.push_back(Narrow(item.FunctionName));
    return names;
}

TEST(zorStackTrace, PreparedStacksCollapseRepetitions)
{
    const uintptr_t a = CallSiteA(), b = CallSiteB();
    const std::string nameA = "(anonymous namespace).CallSiteA()", nameB = "(anonymous namespace).CallSiteB()";
    struct Case {
        const char* name;
        std::vector<std::pair<bool, uintptr_t>> records; // oldest first
        std::vector<std::string> expected;               // newest first
    };
    const Case cases[] = {
        {"A B", {{true, a}, {true, b}}, {nameB, nameA}},
        {"A B A B", {{true, a}, {true, b}, {true, a}, {true, b}}, {nameB, nameA}},
        {"A A A", {{true, a}, {true, a}, {true, a}}, {nameA}},
        {"A B B A", {{true, a}, {true, b}, {true, b}, {true, a}}, {nameA, nameB, nameA}},
    };
    for (const Case& c : cases) {
        const TTraceStackOutput trace = TracePrepared(c.records);
        EXPECT_EQ(FunctionNames(trace), c.expected) << c.name << "\n" << trace.Text;
    }
}

TEST(zorStackTrace, UnreadableStackGivesNothing)
{
    TTraceStackInput input;
    input.Stack.StackStart = 0x10000;
    input.Stack.StackEnd = 0x20000;
    const TTraceStackOutput trace = TraceStack(input);
    EXPECT_EQ(trace.Text, "");
    EXPECT_EQ(trace.Checksum1, 0u);
    EXPECT_EQ(trace.Checksum2, 0u);
    EXPECT_TRUE(trace.Stack.empty());
}

TEST(zorStackTrace, FormatStackItem)
{
    // Memory of no module: the address, " +0" with relative addresses, " ???".
    std::vector<char> heap(64);
    const auto address = reinterpret_cast<uintptr_t>(heap.data());
    EXPECT_EQ(FormatStackItem(address, true, false), AddressTextA(address) + " +0 ???");
    EXPECT_EQ(FormatStackItem(address, false, false), AddressTextA(address) + " ???");
    EXPECT_EQ(AddressTextA(address).size(), 16u);

    const uintptr_t b = CallSiteB();
    const std::string line = FormatStackItem(b, true, true);
    EXPECT_EQ(line.rfind(AddressTextA(b) + " +", 0), 0u) << line;
    EXPECT_NE(line.find(" test_crashreport zorStackTrace_test "), std::string::npos) << line;
    EXPECT_NE(line.find(" +"), std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - 33), "(anonymous namespace).CallSiteB()") << line;
}

TEST(zorStackTrace, InternalErrorsNameTheThrowSiteWhileAnExceptionIsHandled)
{
    EXPECT_EQ(ReportInternalError("Phase"), ">> internal error in Phase");
    const uintptr_t site = CallSiteB();
    const uintptr_t saved = ThreadExceptionState().Address;
    std::string inside;
    try {
        throw std::runtime_error("inside");
    } catch (const std::exception&) {
        ThreadExceptionState().Address = site; // as the throw hook records it
        inside = ReportInternalError("Phase", true, false);
    }
    ThreadExceptionState().Address = saved;
    EXPECT_EQ(inside, ">> internal error in Phase:\r\n" + FormatStackItem(site, true, false));
    EXPECT_NE(inside.find("CallSiteB()"), std::string::npos) << inside;
    // Outside a handler the site kept from an earlier throw says nothing.
    ThreadExceptionState().Address = site;
    EXPECT_EQ(ReportInternalError("Phase"), ">> internal error in Phase");
    ThreadExceptionState().Address = saved;
}

TEST(zorStackTrace, CallInstructionsBeforeAnAddress)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes; // ending at the address
        bool call;
    };
    const Case cases[] = {
        {"call rel32", {0xE8, 1, 2, 3, 4}, true},
        {"call rax", {0xFF, 0xD0}, true},
        {"call r11", {0x41, 0xFF, 0xD3}, true},
        {"call [rip+disp32]", {0xFF, 0x15, 1, 2, 3, 4}, true},
        {"call [rbp+8]", {0xFF, 0x55, 0x08}, true},
        {"call [rsp]", {0xFF, 0x14, 0x24}, true},
        {"call [rsp+disp32]", {0xFF, 0x94, 0x24, 1, 2, 3, 4}, true},
        {"call [rax+disp32]", {0xFF, 0x90, 1, 2, 3, 4}, true},
        {"jmp rax", {0xFF, 0xE0}, false},
        {"push [rbp+8]", {0xFF, 0x75, 0x08}, false},
        {"nops", {0x90, 0x90}, false},
        {"call [rbp+8] cut short", {0xFF, 0x55}, false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> buffer(16, 0x90);
        std::copy(c.bytes.begin(), c.bytes.end(), buffer.end() - static_cast<ptrdiff_t>(c.bytes.size()) - 4);
        const auto address = reinterpret_cast<uintptr_t>(buffer.data()) + buffer.size() - 4;
        EXPECT_EQ(FollowsCallInstruction(address), c.call) << c.name;
    }
}

// A context saved in the thread itself stands for one the capture layer keeps.
__attribute__((noinline)) TTraceStackOutput TraceFromSavedContext()
{
    ucontext_t context;
    getcontext(&context);
    TTraceStackInput input;
    input.Failing = true;
    input.Stack.Context = &context;
    input.Stack.Rip = static_cast<uintptr_t>(context.uc_mcontext.gregs[REG_RIP]);
    input.FailureAddress = input.Stack.Rip;
    input.Stack.StackStart = static_cast<uintptr_t>(context.uc_mcontext.gregs[REG_RSP]);
    input.Stack.StackEnd = StackEndOf(input.Stack.StackStart);
    TTraceStackOutput trace = TraceStack(input);
    Side = Side + 1;
    return trace;
}

TEST(zorStackTrace, TraceFromASavedContext)
{
    ucontext_t context;
    getcontext(&context);
    const std::vector<TUnwoundFrame> frames = UnwindContext(context);
    ASSERT_GE(frames.size(), 2u) << "libunwind is not there";
    const TTraceStackOutput trace = TraceFromSavedContext();
    ASSERT_GE(trace.Stack.size(), 2u) << trace.Text;
    EXPECT_EQ(Narrow(trace.Stack[0].FunctionName), "(anonymous namespace).TraceFromSavedContext()") << trace.Text;
    EXPECT_EQ(Narrow(trace.Stack[1].FunctionName),
              "(anonymous namespace).zorStackTrace_TraceFromASavedContext_Test.TestBody()")
        << trace.Text;
}

// The unwinder is loaded beside the run-time's own: exceptions still travel
// through several frames, in several threads at once.
__attribute__((noinline)) void ThrowFrom(int depth)
{
    if (depth == 0)
        throw std::runtime_error("deep");
    ThrowFrom(depth - 1);
    Side = Side + 1;
}

TEST(zorStackTrace, ExceptionsStillUnwindWithTheUnwinderLoaded)
{
    ucontext_t context;
    getcontext(&context);
    UnwindContext(context);
    std::atomic<int> caught{0};
    auto body = [&caught] {
        for (int i = 0; i < 50; ++i) {
            try {
                ThrowFrom(8);
            } catch (const std::runtime_error& e) {
                if (std::string(e.what()) == "deep")
                    ++caught;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(body);
    body();
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(caught.load(), 250);
}

// The report's stack source traces a thread record of the report: here the
// failing thread is this one, with registers saved on the spot.
__attribute__((noinline)) TTraceResult ReportTraceOfThisThread()
{
    ucontext_t context;
    getcontext(&context);
    const TZorRegisters registers = RegistersFromContext(context.uc_mcontext);
    TThreadStack record;
    record.IsFailingThread = true;
    record.ExceptionAddress = registers.Rip;
    record.StackStart = registers.Rsp;
    TTraceRequest request;
    request.Record = &record;
    request.Registers = &registers;
    TTraceResult result = MakeStackTraceSource()->TraceStack(request);
    Side = Side + 1;
    return result;
}

TEST(zorStackTrace, ReportSourceTracesTheRecordsStack)
{
    const TTraceResult result = ReportTraceOfThisThread();
    ASSERT_FALSE(result.Stack.empty()) << result.Text;
    EXPECT_EQ(Narrow(result.Stack[0].FunctionName), "(anonymous namespace).ReportTraceOfThisThread()") << result.Text;
    EXPECT_NE(result.Text.find(" zorStackTrace_test "), std::string::npos) << result.Text;
    EXPECT_NE(result.Checksum1, 0u);
    EXPECT_TRUE(result.HasLineInfo);
    EXPECT_NE(result.FunctionStart, 0u);

    // A record without a readable stack gives the placeholder text.
    TThreadStack none;
    TTraceRequest request;
    request.Record = &none;
    EXPECT_EQ(MakeStackTraceSource()->TraceStack(request).Text, ">> stack not accessible");
}

} // namespace
