// Function analysis: 32-bit fixtures at a fake address with injected memory
// and routines, and this program's own 64-bit functions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include "crashreport/diagnostics/zorDisAsm.h"
#include "tests/crashreport/diagnostics/zorDisAsm_TestImage.h"

namespace {

TFunctionInfo Analyse(TFakeImage& image, size_t offset = 0, const TKnownRoutines& known = {})
{
    return AnalyseFunctionIn(image.env, TFakeImage::At(offset), known);
}

const TCodeRange* RangeAt(const TFunctionInfo& info, uintptr_t start)
{
    for (const TCodeRange& r : info.ranges)
        if (r.start == start)
            return &r;
    return nullptr;
}

// cmp eax, 5; ja default; jmp [eax*4+table]; table of six; six cases; default.
void PutCaseFunction(TFakeImage& image, uint8_t conditional)
{
    image.Put(0x00, {0x83, 0xF8, 0x05});
    image.Put(0x03, {conditional, 0x43}); // to 0x48
    image.Put(0x05, {0xFF, 0x24, 0x85});
    image.Put32(0x08, static_cast<uint32_t>(TFakeImage::At(0x0C)));
    for (int i = 0; i < 6; ++i) {
        image.Put32(0x0C + 4 * i, static_cast<uint32_t>(TFakeImage::At(0x24 + 6 * i)));
        image.Put(0x24 + 6 * i, {0xB8, uint8_t(i), 0, 0, 0, 0xC3}); // mov eax, i; ret
    }
    image.Put(0x48, {0xC3});
}

} // namespace

TEST(ZorDisAsmFunction, SingleReturn)
{
    TFakeImage image;
    image.Put(0, {0xC3});
    const TFunctionInfo info = Analyse(image);
    ASSERT_TRUE(info.valid);
    EXPECT_EQ(info.entry, TFakeImage::At(0));
    EXPECT_EQ(info.codeStart, TFakeImage::At(0));
    EXPECT_EQ(info.codeSize, 1u);
    ASSERT_EQ(info.ranges.size(), 1u);
    EXPECT_EQ(info.ranges[0].last, TFakeImage::At(0));
    EXPECT_FALSE(info.patchable);
    EXPECT_TRUE(info.copyPlan.possible);
    EXPECT_EQ(info.copyPlan.size, 5u);
}

TEST(ZorDisAsmFunction, CaseTables)
{
    struct TRow {
        uint8_t conditional;
        size_t entries;
    };
    for (const TRow row : {TRow{0x77, 6}, TRow{0x73, 5}}) {
        SCOPED_TRACE(row.entries);
        TFakeImage image;
        PutCaseFunction(image, row.conditional);
        const TFunctionInfo info = Analyse(image);
        ASSERT_TRUE(info.valid) << info.errorText;
        const TCodeRange* table = RangeAt(info, TFakeImage::At(0x0C));
        ASSERT_NE(table, nullptr);
        EXPECT_TRUE(table->isCaseTable);
        EXPECT_EQ(table->last - table->start + 1, 4 * row.entries);
        for (size_t i = 0; i < 6; ++i) {
            const TCodeRange* c = RangeAt(info, TFakeImage::At(0x24 + 6 * i));
            if (i < row.entries) {
                ASSERT_NE(c, nullptr) << i;
                EXPECT_EQ(c->source, TFakeImage::At(0x05));
            } else {
                EXPECT_EQ(c, nullptr);
            }
        }
        EXPECT_NE(RangeAt(info, TFakeImage::At(0x48)), nullptr);
    }
}

TEST(ZorDisAsmFunction, ACaseTableEndsWhereItsMemoryDoes)
{
    // cmp eax, 5; ja; jmp [eax*4+table]: of six entries only two lie in the image.
    TFakeImage image(TCodeMode::Bits32, 0x16);
    image.Put(0x00, {0x83, 0xF8, 0x05, 0x77, 0x0F, 0xFF, 0x24, 0x85});
    image.Put32(0x08, static_cast<uint32_t>(TFakeImage::At(0x0C)));
    image.Put32(0x0C, static_cast<uint32_t>(TFakeImage::At(0x14)));
    image.Put32(0x10, static_cast<uint32_t>(TFakeImage::At(0x14)));
    image.Put(0x14, {0xC3, 0x90});
    const TFunctionInfo info = Analyse(image);
    ASSERT_TRUE(info.valid) << info.errorText;
    const TCodeRange* table = RangeAt(info, TFakeImage::At(0x0C));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->last, TFakeImage::At(0x13));
    EXPECT_EQ(info.codeSize, 0x15u);
}

TEST(ZorDisAsmFunction, Patchability)
{
    struct TRow {
        const char* what;
        std::vector<uint8_t> code;
        bool patchable;
    };
    const TRow rows[] = {
        {"a single return", {0xC3}, false},
        {"seven nops and a return", {0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0xC3}, true},
        // nop x7; dec ecx; jnz entry; ret
        {"a jump back to the entry", {0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x49, 0x75, 0xF6, 0xC3}, false},
        // loop +5; nop x5; ret
        {"a loop in the first six bytes", {0xE2, 0x05, 0x90, 0x90, 0x90, 0x90, 0x90, 0xC3}, false},
        // jz +5; nop x5; ret
        {"a jz in the first six bytes", {0x74, 0x05, 0x90, 0x90, 0x90, 0x90, 0x90, 0xC3}, true},
        // jz +1: a range with a source three bytes after the entry
        {"a label after three bytes", {0x74, 0x01, 0x90, 0x90, 0x90, 0x90, 0x90, 0xC3}, false},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.what);
        TFakeImage image;
        image.Put(0, row.code);
        const TFunctionInfo info = Analyse(image);
        ASSERT_TRUE(info.valid);
        EXPECT_EQ(info.patchable, row.patchable);
    }
}

namespace {
// Counts how often each address is decoded.
class TCountingMemory final : public TCodeMemory {
public:
    explicit TCountingMemory(const TCodeMemory& inner) : Inner(inner) {}
    bool Read(uintptr_t address, void* dest, size_t count) const override { return Inner.Read(address, dest, count); }
    size_t ReadPrefix(uintptr_t address, void* dest, size_t max) const override
    {
        ++Decodes[address];
        return Inner.ReadPrefix(address, dest, max);
    }
    mutable std::map<uintptr_t, int> Decodes;

private:
    const TCodeMemory& Inner;
};
} // namespace

TEST(ZorDisAsmFunction, AJumpIntoAParsedRangeSplitsItWithoutParsingAgain)
{
    TFakeImage image;
    // inc eax; inc ecx; inc edx; inc ebx; dec ecx; jnz $401001; ret
    image.Put(0, {0x40, 0x41, 0x42, 0x43, 0x49, 0x75, 0xFA, 0xC3});
    TCountingMemory counting(image.memory);
    image.env.memory = &counting;
    const TFunctionInfo info = Analyse(image);
    ASSERT_TRUE(info.valid);
    const TCodeRange* first = RangeAt(info, TFakeImage::At(0));
    const TCodeRange* second = RangeAt(info, TFakeImage::At(1));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->last, TFakeImage::At(0));
    EXPECT_EQ(second->last, TFakeImage::At(7));
    EXPECT_EQ(second->source, TFakeImage::At(5));
    for (size_t offset = 1; offset <= 4; ++offset)
        EXPECT_EQ(counting.Decodes[TFakeImage::At(offset)], 1) << offset;
    EXPECT_EQ(info.codeSize, 8u);
}

TEST(ZorDisAsmFunction, Failures)
{
    TFakeImage image;
    const TFunctionInfo unmapped = AnalyseFunctionIn(image.env, 0x10000000, {});
    EXPECT_FALSE(unmapped.valid);
    EXPECT_EQ(unmapped.errorCode, AnalysisErrorNoMemory);
    EXPECT_EQ(unmapped.errorAddress, 0x10000000u);
    EXPECT_FALSE(unmapped.errorText.empty());

    // nop; ud2 (not in the map): invalid where decoding stopped.
    image.Put(0, {0x90, 0x0F, 0x0B});
    const TFunctionInfo invalid = Analyse(image);
    EXPECT_FALSE(invalid.valid);
    EXPECT_EQ(invalid.errorCode, AnalysisErrorInvalidCode);
    EXPECT_EQ(invalid.errorText, "Invalid code!");
    EXPECT_EQ(invalid.errorAddress, TFakeImage::At(3));

    // An instruction that runs into a range found before it: jz +1 lands
    // inside the mov that follows it.
    TFakeImage overlap;
    overlap.Put(0, {0x74, 0x01, 0xB8, 0xC3, 0x00, 0x00, 0x00, 0xC3});
    const TFunctionInfo runs = Analyse(overlap);
    EXPECT_FALSE(runs.valid);
    EXPECT_EQ(runs.errorCode, AnalysisErrorInvalidCode);
}

TEST(ZorDisAsmFunction, TheRoutinesTheAnalysisKnows)
{
    const uintptr_t halt = 0x00402000;
    // call halt; then bytes that are no code
    TFakeImage image(TCodeMode::Bits32, 0x3000);
    image.Put(0, {0xE8});
    image.Put(1, Rel32(TFakeImage::At(5), halt));
    image.Put(5, {0x0F, 0x0B});
    image.Put(0x2000, {0xC3});
    EXPECT_FALSE(Analyse(image).valid);
    TKnownRoutines known;
    known.haltRoutine = halt;
    const TFunctionInfo info = Analyse(image, 0, known);
    ASSERT_TRUE(info.valid);
    EXPECT_EQ(info.codeSize, 5u);
    ASSERT_EQ(info.externalBranches.size(), 1u);
    EXPECT_TRUE(info.externalBranches[0].isCall);
    EXPECT_EQ(info.externalBranches[0].target, halt);
}

TEST(ZorDisAsmFunction, ExceptionFrameHandler)
{
    TFakeImage image;
    image.Put(0x00, {0x68});
    image.Put32(0x01, static_cast<uint32_t>(TFakeImage::At(0x20))); // push handler
    image.Put(0x05, {0x64, 0xFF, 0x35, 0, 0, 0, 0});                // push fs:[0]
    image.Put(0x0C, {0x64, 0x89, 0x25, 0, 0, 0, 0});                // mov fs:[0], esp
    image.Put(0x13, {0xC3});
    image.Put(0x20, {0x31, 0xC0, 0xC3}); // the handler: xor eax, eax; ret
    const TFunctionInfo info = Analyse(image);
    ASSERT_TRUE(info.valid);
    EXPECT_NE(RangeAt(info, TFakeImage::At(0x20)), nullptr);
}

TEST(ZorDisAsmFunction, HandlerTable)
{
    const uintptr_t typed = 0x00402100;
    TFakeImage image(TCodeMode::Bits32, 0x3000);
    PutHandlerTableFunction(image, typed);
    TKnownRoutines known;
    known.typedHandlerTableHandler = typed;
    const TFunctionInfo info = Analyse(image, 0, known);
    ASSERT_TRUE(info.valid);
    const TCodeRange* table = RangeAt(info, TFakeImage::At(5));
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(table->isHandlerTable);
    EXPECT_EQ(table->last, TFakeImage::At(0x18));
    EXPECT_NE(RangeAt(info, TFakeImage::At(0x20)), nullptr);
    EXPECT_NE(RangeAt(info, TFakeImage::At(0x30)), nullptr);
    ASSERT_EQ(info.externalBranches.size(), 1u);
}

TEST(ZorDisAsmFunction, UnresolvedBranchesAreRetriedWithTheRangeState)
{
    const uintptr_t routine = 0x00500000;
    TFakeImage image;
    image.Put(0x00, {0xB8});
    image.Put32(0x01, static_cast<uint32_t>(routine)); // mov eax, $500000
    image.Put(0x05, {0xFF, 0xD0, 0xC3});               // call eax; ret
    const TFunctionInfo info = Analyse(image);
    ASSERT_TRUE(info.valid);
    EXPECT_TRUE(info.unresolvedBranches.empty());
    ASSERT_EQ(info.externalBranches.size(), 1u);
    EXPECT_EQ(info.externalBranches[0].target, routine);
    EXPECT_EQ(info.externalBranches[0].targetField, TFakeImage::At(1));
    // The load changes the state, so a range starts after it and holds it.
    const TCodeRange* after = RangeAt(info, TFakeImage::At(5));
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->regState.regs[0].value, routine);

    // A jump that ends its range is not tried again; an unknown register stays open.
    TFakeImage jump;
    jump.Put(0x00, {0xB8});
    jump.Put32(0x01, static_cast<uint32_t>(TFakeImage::At(0x10)));
    jump.Put(0x05, {0xFF, 0xE0}); // jmp eax
    jump.Put(0x10, {0xC3});
    const TFunctionInfo open = Analyse(jump);
    ASSERT_TRUE(open.valid);
    ASSERT_EQ(open.unresolvedBranches.size(), 1u);
    EXPECT_FALSE(open.unresolvedBranches[0].isCall);
    EXPECT_EQ(open.unresolvedBranches[0].next, TFakeImage::At(7));
}

TEST(ZorDisAsmFunction, GapSearch)
{
    // test eax, eax; jz +4; jmp eax; [gap]; ret
    for (const bool codeInGap : {true, false}) {
        SCOPED_TRACE(codeInGap);
        TFakeImage image;
        image.Put(0, {0x85, 0xC0, 0x74, 0x04, 0xFF, 0xE0});
        image.Put(6, codeInGap ? std::vector<uint8_t>{0x90, 0x90} : std::vector<uint8_t>{0x0F, 0x0B});
        image.Put(8, {0xC3});
        const TFunctionInfo info = Analyse(image);
        ASSERT_TRUE(info.valid);
        EXPECT_EQ(info.codeSize, 9u);
        EXPECT_EQ(RangeAt(info, TFakeImage::At(6)) != nullptr, codeInGap);
        EXPECT_EQ(info.unresolvedBranches.size(), 1u);
    }
}

TEST(ZorDisAsmFunction, ExternalBranchesFollowImportThunks)
{
    TFakeImage image(TCodeMode::Bits32, 0x3000);
    const uintptr_t thunk = TFakeImage::At(0x100);
    const uintptr_t slot = TFakeImage::At(0x200);
    const uintptr_t routine = 0x7F001000;
    image.Put(0x00, {0xE8});
    image.Put(0x01, Rel32(TFakeImage::At(5), thunk)); // call thunk
    image.Put(0x05, {0xFF, 0x15});
    image.Put32(0x07, static_cast<uint32_t>(slot)); // call [slot]
    image.Put(0x0B, {0xC3});
    image.Put(0x100, {0xFF, 0x25});
    image.Put32(0x102, static_cast<uint32_t>(slot)); // thunk: jmp [slot]
    image.Put32(0x200, static_cast<uint32_t>(routine));
    image.names[routine] = "ImportedRoutine";
    const TFunctionInfo info = Analyse(image);
    ASSERT_TRUE(info.valid);
    ASSERT_EQ(info.externalBranches.size(), 2u);
    EXPECT_EQ(info.externalBranches[0].target, routine); // through the thunk
    EXPECT_TRUE(info.externalBranches[0].isRelative);
    EXPECT_EQ(info.externalBranches[1].target, routine);
    EXPECT_EQ(info.externalBranches[1].targetSlotField, TFakeImage::At(7));
    // codeSize + 4, and 4 for the branch through a pointer.
    EXPECT_EQ(info.copyPlan.size, info.codeSize + 4 + 4);
}

TEST(ZorDisAsmFunction, NextRangeInOrder)
{
    TFunctionInfo info;
    EXPECT_EQ(NextRangeInOrder(-1, info), -1);
    for (uintptr_t start : {0x30, 0x10, 0x20}) {
        TCodeRange r;
        r.start = start;
        r.last = start + 0xF;
        info.ranges.push_back(r);
    }
    EXPECT_EQ(NextRangeInOrder(-1, info), 1);
    EXPECT_EQ(NextRangeInOrder(1, info), 2);
    EXPECT_EQ(NextRangeInOrder(2, info), 0);
    EXPECT_EQ(NextRangeInOrder(0, info), -1);
}

// ---------------------------------------------------------------------------
// This program's own functions

volatile int ZorTestSink;

extern "C" __attribute__((noinline, optimize("O2"))) int ZorTestSwitch8(int k, int x)
{
    switch (k) {
    case 0:
        ZorTestSink = x * 3;
        break;
    case 1:
        ZorTestSink = x + 7;
        break;
    case 2:
        ZorTestSink = x ^ 0x55;
        break;
    case 3:
        ZorTestSink = x - 11;
        break;
    case 4:
        ZorTestSink = x << 2;
        break;
    case 5:
        ZorTestSink = x / 5;
        break;
    case 6:
        ZorTestSink = x | 0x100;
        break;
    case 7:
        ZorTestSink = ~x;
        break;
    default:
        return -1;
    }
    return ZorTestSink;
}

extern "C" __attribute__((noinline)) int ZorTestLoop(const int* values, int count)
{
    int sum = 0;
    for (int i = 0; i < count; ++i)
        sum += values[i] % 7 == 0 ? values[i] : -values[i];
    return sum;
}

extern "C" __attribute__((noinline)) int ZorTestAbortIfNegative(int x)
{
    if (x < 0)
        abort();
    ZorTestSink = x;
    return ZorTestSink + 1;
}

namespace {

// The sizes of this program's symbols, from nm; empty without binutils.
std::map<std::string, std::pair<uintptr_t, uintptr_t>> SymbolSizes()
{
    std::map<std::string, std::pair<uintptr_t, uintptr_t>> sizes;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n <= 0)
        return sizes;
    self[n] = 0;
    FILE* pipe = popen(("nm --defined-only --print-size '" + std::string(self) + "' 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return sizes;
    char line[1024];
    while (fgets(line, sizeof(line), pipe) != nullptr) {
        std::istringstream in(line);
        std::string value, size, type, name;
        if (in >> value >> size >> type >> name)
            sizes[name] = {std::stoull(value, nullptr, 16), std::stoull(size, nullptr, 16)};
    }
    pclose(pipe);
    return sizes;
}

} // namespace

TEST(ZorDisAsmFunction64, ExtentIsTheSymbolSize)
{
    const auto sizes = SymbolSizes();
    if (sizes.empty())
        GTEST_SKIP() << "binutils (nm) not installed";
    const std::pair<const char*, uintptr_t> functions[] = {
        {"ZorTestSwitch8", reinterpret_cast<uintptr_t>(&ZorTestSwitch8)},
        {"ZorTestLoop", reinterpret_cast<uintptr_t>(&ZorTestLoop)},
        {"ZorTestAbortIfNegative", reinterpret_cast<uintptr_t>(&ZorTestAbortIfNegative)},
    };
    for (const auto& [name, address] : functions) {
        SCOPED_TRACE(name);
        auto it = sizes.find(name);
        ASSERT_NE(it, sizes.end());
        const TFunctionInfo info = ScanFunctionAt(address);
        ASSERT_TRUE(info.valid) << info.errorText;
        EXPECT_EQ(info.codeStart, address);
        EXPECT_EQ(info.codeSize, it->second.second);
        EXPECT_EQ(info.ranges[0].start, address);
    }
}

TEST(ZorDisAsmFunction64, SwitchOfEightCases)
{
    const uintptr_t entry = reinterpret_cast<uintptr_t>(&ZorTestSwitch8);
    const TFunctionInfo info = ScanFunctionAt(entry);
    ASSERT_TRUE(info.valid) << info.errorText;
    const TCodeRange* table = nullptr;
    for (const TCodeRange& r : info.ranges)
        if (r.isCaseTable)
            table = &r;
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->last - table->start + 1, 32u);
    std::set<uintptr_t> targets;
    for (int i = 0; i < 8; ++i) {
        int32_t offset;
        memcpy(&offset, reinterpret_cast<const void*>(table->start + 4 * i), 4);
        targets.insert(table->start + static_cast<intptr_t>(offset));
    }
    EXPECT_EQ(targets.size(), 8u);
    for (uintptr_t target : targets) {
        const TCodeRange* c = RangeAt(info, target);
        ASSERT_NE(c, nullptr);
        EXPECT_NE(c->source, 0u);
        EXPECT_GE(target, info.codeStart);
        EXPECT_LT(target, info.codeStart + info.codeSize);
    }
    // The dispatch through the table is resolved, not left open.
    for (const TUnresolvedBranch& u : info.unresolvedBranches)
        EXPECT_TRUE(u.isCall);
    for (int k = 0; k < 9; ++k)
        ZorTestSwitch8(k, 100);
}

TEST(ZorDisAsmFunction64, ACallThatNeverReturnsEndsItsRange)
{
    // A function of known extent: call a routine that never returns; nop; ret.
    TFakeImage image(TCodeMode::Bits64);
    const uintptr_t stop = TFakeImage::At(0x100);
    image.Put(0x00, {0xE8});
    image.Put(0x01, Rel32(TFakeImage::At(5), stop));
    image.Put(0x05, {0x90, 0xC3});
    image.Put(0x100, {0xC3});
    image.env.functionExtentOf = [](const TDisAsmEnvironment&, uintptr_t address, TFunctionExtent& extent) {
        extent.start = TFakeImage::At(0);
        extent.end = TFakeImage::At(7);
        return address >= extent.start && address < extent.end;
    };
    image.env.isNonReturning = [](const TDisAsmEnvironment&, uintptr_t address) {
        return address == TFakeImage::At(0x100);
    };
    const TFunctionInfo info = Analyse(image);
    ASSERT_TRUE(info.valid) << info.errorText;
    ASSERT_EQ(info.ranges.size(), 2u);
    EXPECT_EQ(info.ranges[0].last, TFakeImage::At(4));
    EXPECT_EQ(info.ranges[1].start, TFakeImage::At(5));
    EXPECT_EQ(info.ranges[1].source, 0u);
    EXPECT_EQ(info.codeSize, 7u);
    image.env.isNonReturning = nullptr;
    EXPECT_EQ(Analyse(image).ranges.size(), 1u);
}

TEST(ZorDisAsmFunction64, TheColdPartBelongsToTheFunction)
{
    // test eax, eax; jz cold; ret ... cold: xor eax, eax; ret; and a jump elsewhere.
    TFakeImage image(TCodeMode::Bits64);
    image.Put(0x00, {0x85, 0xC0, 0x0F, 0x84});
    image.Put(0x04, Rel32(TFakeImage::At(8), TFakeImage::At(0x100)));
    image.Put(0x08, {0xC3});
    image.Put(0x100, {0x31, 0xC0, 0xE9});
    image.Put(0x103, Rel32(TFakeImage::At(0x107), TFakeImage::At(0x200))); // jmp to another function
    image.Put(0x200, {0xC3});
    image.env.functionExtentOf = [](const TDisAsmEnvironment&, uintptr_t address, TFunctionExtent& extent) {
        extent = {TFakeImage::At(0), TFakeImage::At(9), TFakeImage::At(0x100), TFakeImage::At(0x107)};
        return address >= extent.start && address < extent.end;
    };
    const TFunctionInfo info = Analyse(image);
    ASSERT_TRUE(info.valid) << info.errorText;
    const TCodeRange* cold = RangeAt(info, TFakeImage::At(0x100));
    ASSERT_NE(cold, nullptr);
    EXPECT_EQ(cold->source, TFakeImage::At(2));
    EXPECT_EQ(cold->last, TFakeImage::At(0x106));
    ASSERT_EQ(info.externalBranches.size(), 1u);
    EXPECT_EQ(info.externalBranches[0].target, TFakeImage::At(0x200));
    EXPECT_FALSE(info.externalBranches[0].isCall);
}

TEST(ZorDisAsmFunction64, TheRoutinesThatNeverReturn)
{
    TDisAsmEnvironment env;
    SetProcessDisAsmEnvironment(env);
    ASSERT_NE(env.isNonReturning, nullptr);
    EXPECT_TRUE(env.isNonReturning(env, reinterpret_cast<uintptr_t>(&abort)));
    EXPECT_TRUE(env.isNonReturning(env, reinterpret_cast<uintptr_t>(&exit)));
    EXPECT_TRUE(env.isNonReturning(env, reinterpret_cast<uintptr_t>(&std::__throw_logic_error)));
    EXPECT_FALSE(env.isNonReturning(env, reinterpret_cast<uintptr_t>(&strlen)));
    EXPECT_FALSE(env.isNonReturning(env, reinterpret_cast<uintptr_t>(&ZorTestLoop)));
    // Calls through this program's linkage stubs: one of the calls the
    // function makes (wherever the compiler put them) is the one to abort.
    const uintptr_t entry = reinterpret_cast<uintptr_t>(&ZorTestAbortIfNegative);
    std::vector<uintptr_t> starts = {entry};
    std::set<uintptr_t> targets;
    for (size_t i = 0; i < starts.size() && i < 8; ++i) {
        uintptr_t at = starts[i];
        for (int n = 0; n < 200; ++n) {
            const TInstrInfo in = DecodeInstruction(at);
            if (!in.valid)
                break;
            if (in.isCall && in.isRelative)
                targets.insert(in.target);
            else if (in.isJump && in.isRelative && in.target != 0)
                starts.push_back(in.target);
            if (in.isReturn)
                break;
            at = in.next;
        }
    }
    size_t stops = 0;
    for (uintptr_t target : targets)
        stops += env.isNonReturning(env, target) ? 1 : 0;
    EXPECT_GE(stops, 1u);
}

TEST(ZorDisAsmFunction64, CodeWithoutUnwindTablesIsFollowed)
{
    // Bytes on the heap have no unwind table: the control flow is followed.
    std::vector<uint8_t> code = {0x85, 0xC0, 0x74, 0x02, 0x90, 0x90, 0xC3};
    const TFunctionInfo info = ScanFunctionAt(reinterpret_cast<uintptr_t>(code.data()));
    ASSERT_TRUE(info.valid) << info.errorText;
    EXPECT_EQ(info.codeSize, code.size());
    EXPECT_NE(RangeAt(info, reinterpret_cast<uintptr_t>(code.data()) + 6), nullptr);
}
