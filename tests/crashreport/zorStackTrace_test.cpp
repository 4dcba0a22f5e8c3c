#include "crashreport/zorStackTrace.h"

#include <gtest/gtest.h>
#include <ucontext.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "crashreport/zorMapFile.h"
#include "crashreport/zorStrings.h"

namespace {

// Three frames of our own, each kept by a call that is no tail call.
TTraceStackOutput LastTrace;
volatile int Side = 0;

__attribute__((noinline)) void TraceLevelC(bool otherSite)
{
    TTraceStackInput input;
    if (otherSite) {
        ++Side;
        LastTrace = TraceStack(input);
    } else {
        LastTrace = TraceStack(input);
    }
    ++Side;
}
__attribute__((noinline)) void TraceLevelB(bool otherSite)
{
    TraceLevelC(otherSite);
    ++Side;
}
__attribute__((noinline)) void TraceLevelA(bool otherSite)
{
    TraceLevelB(otherSite);
    ++Side;
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
    EXPECT_EQ(traces[1].Checksum2, first.Checksum2);
    TraceLevelA(true);
    EXPECT_NE(LastTrace.Checksum1, first.Checksum1) << LastTrace.Text;
}

} // namespace
