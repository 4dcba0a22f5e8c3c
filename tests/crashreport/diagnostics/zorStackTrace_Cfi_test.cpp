#include "crashreport/diagnostics/zorStackTrace_Cfi.h"

#include <gtest/gtest.h>
#include <ucontext.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "crashreport/diagnostics/zorDisAsm.h"

namespace {

// ---------------------------------------------------------------------------
// A hand-made CIE and FDE: the rules a typical function with a frame pointer
// has, and what an entry may hold beyond them.

struct TEntryImage {
    std::vector<uint8_t> Bytes;
    size_t Fde = 0;
};

void PutU32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// CIE "zR", code alignment 1, data alignment -8, return column 16, pointers
// PC-relative 4-byte; CFA = rsp + 8, return address at CFA - 8. Then the FDE
// with the given instructions.
TEntryImage MakeEntries(const std::vector<uint8_t>& instructions)
{
    TEntryImage image;
    std::vector<uint8_t> cie = {0, 0, 0, 0, 1, 'z', 'R', 0, 1, 0x78, 16, 1, 0x1B, 0x0C, 7, 8, 0x90, 1};
    while ((cie.size() + 4) % 8 != 0)
        cie.push_back(0); // DW_CFA_nop
    PutU32(image.Bytes, static_cast<uint32_t>(cie.size()));
    image.Bytes.insert(image.Bytes.end(), cie.begin(), cie.end());
    image.Fde = image.Bytes.size();
    std::vector<uint8_t> fde;
    PutU32(fde, static_cast<uint32_t>(image.Fde + 4)); // back to the CIE
    PutU32(fde, 0);                                    // start (the caller gives it)
    PutU32(fde, 0x100);                                // length
    fde.push_back(0);                                  // no augmentation data
    fde.insert(fde.end(), instructions.begin(), instructions.end());
    PutU32(image.Bytes, static_cast<uint32_t>(fde.size()));
    image.Bytes.insert(image.Bytes.end(), fde.begin(), fde.end());
    PutU32(image.Bytes, 0); // the table's end
    return image;
}

TEST(zorStackTraceCfi, RowsAlongAFunction)
{
    // push rbp; mov rbp, rsp; ... the epilogue keeps its rules for the code
    // after the ret (remember/restore state).
    const std::vector<uint8_t> program = {
        0x41,        // advance 1
        0x0E, 16,    // CFA = rsp + 16
        0x86, 2,     // rbp at CFA - 16
        0x43,        // advance 3
        0x0D, 6,     // CFA = rbp + 16
        0x4A,        // advance 10
        0x0A,        // remember
        0x0C, 7,  8, // CFA = rsp + 8
        0xC6,        // rbp: as at the start
        0x41,        // advance 1
        0x0B,        // restore: CFA = rbp + 16, rbp at CFA - 16
    };
    const TEntryImage image = MakeEntries(program);
    const uintptr_t start = 0x1000;
    struct Case {
        uintptr_t offset;
        int cfaRegister;
        int64_t cfaOffset;
        TCfiRuleKind rbp;
    };
    const Case cases[] = {
        {0, 7, 8, TCfiRuleKind::Default},  {1, 7, 16, TCfiRuleKind::Offset},    {3, 7, 16, TCfiRuleKind::Offset},
        {4, 6, 16, TCfiRuleKind::Offset},  {13, 6, 16, TCfiRuleKind::Offset},   {14, 7, 8, TCfiRuleKind::Default},
        {15, 6, 16, TCfiRuleKind::Offset}, {0xFF, 6, 16, TCfiRuleKind::Offset},
    };
    for (const Case& c : cases) {
        const TCfiRow row = CfiRowFromEntry(image.Bytes.data() + image.Fde, start, start + c.offset);
        ASSERT_TRUE(row.Valid) << c.offset;
        EXPECT_EQ(row.CfaRegister, c.cfaRegister) << c.offset;
        EXPECT_EQ(row.CfaOffset, c.cfaOffset) << c.offset;
        EXPECT_EQ(row.Rules[6].Kind, c.rbp) << c.offset;
        if (c.rbp == TCfiRuleKind::Offset) {
            EXPECT_EQ(row.Rules[6].Value, -16) << c.offset;
        }
        EXPECT_EQ(row.Rules[16].Kind, TCfiRuleKind::Offset) << c.offset;
        EXPECT_EQ(row.Rules[16].Value, -8) << c.offset;
    }
}

TEST(zorStackTraceCfi, EntriesTheRulesCannotFollow)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> program;
        bool valid;
        int cfaRegister;
        TCfiRuleKind rbx;
    };
    const Case cases[] = {
        {"CFA by expression", {0x0F, 2, 0x77, 8}, true, -1, TCfiRuleKind::Default},
        {"register by expression", {0x10, 3, 1, 0x96}, true, 7, TCfiRuleKind::Unsupported},
        {"rbx undefined, then the same", {0x07, 3, 0x08, 3}, true, 7, TCfiRuleKind::Same},
        {"unknown instruction", {0x3F}, false, 7, TCfiRuleKind::Default},
        {"cut off inside an operand", {0x0C, 7}, false, 7, TCfiRuleKind::Default},
        {"restore without remember", {0x0B}, false, 7, TCfiRuleKind::Default},
        {"a long operand cut off", {0x0E, 0x80, 0x80}, false, 7, TCfiRuleKind::Default},
    };
    for (const Case& c : cases) {
        const TEntryImage image = MakeEntries(c.program);
        const TCfiRow row = CfiRowFromEntry(image.Bytes.data() + image.Fde, 0x1000, 0x1000);
        ASSERT_EQ(row.Valid, c.valid) << c.name;
        if (!c.valid)
            continue;
        EXPECT_EQ(row.CfaRegister, c.cfaRegister) << c.name;
        EXPECT_EQ(row.Rules[3].Kind, c.rbx) << c.name;
    }
}

// ---------------------------------------------------------------------------
// The real stacks: the rules give what libunwind gives, frame for frame.

std::mutex ParkLock;
std::condition_variable ParkChanged;
volatile int Sink = 0;

struct TParked {
    ucontext_t Context{};
    bool Ready = false;
    bool Release = false;
};

__attribute__((noinline)) void ParkHere(TParked& parked)
{
    getcontext(&parked.Context);
    std::unique_lock guard(ParkLock);
    parked.Ready = true;
    ParkChanged.notify_all();
    ParkChanged.wait(guard, [&] { return parked.Release; });
}

__attribute__((noinline)) void Recurse(TParked& parked, int depth)
{
    volatile char frame[100];
    frame[0] = static_cast<char>(depth);
    if (depth == 0)
        ParkHere(parked);
    else
        Recurse(parked, depth - 1);
    Sink = Sink + frame[0];
}

void ExpectSameAsLibUnwind(const ucontext_t& context, size_t atLeast)
{
    const std::vector<TUnwoundFrame> reference = UnwindContextByLibUnwind(context);
    ASSERT_GE(reference.size(), atLeast) << "libunwind is not there";
    for (const bool withSnapshot : {false, true}) {
        const TDATryRead snapshot = StartReadSnapshot();
        std::vector<TUnwoundFrame> frames;
        ASSERT_TRUE(UnwindContextByRules(context, withSnapshot ? &snapshot : nullptr, frames));
        ASSERT_EQ(frames.size(), reference.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].Address, reference[i].Address) << i;
            EXPECT_EQ(frames[i].Slot, reference[i].Slot) << i;
        }
    }
}

TEST(zorStackTraceCfi, AParkedThreadsFramesAsLibUnwindGivesThem)
{
    TParked parked;
    std::thread thread([&] { Recurse(parked, 200); });
    {
        std::unique_lock guard(ParkLock);
        ParkChanged.wait(guard, [&] { return parked.Ready; });
    }
    ExpectSameAsLibUnwind(parked.Context, 200);
    // Twice: the second walk takes its rules from the kept ones.
    ExpectSameAsLibUnwind(parked.Context, 200);
    {
        std::lock_guard guard(ParkLock);
        parked.Release = true;
    }
    ParkChanged.notify_all();
    thread.join();
}

TEST(zorStackTraceCfi, ThisThreadsFramesAsLibUnwindGivesThem)
{
    ucontext_t context;
    getcontext(&context);
    ExpectSameAsLibUnwind(context, 3);
}

// Reports of several threads at once share the kept rules.
TEST(zorStackTraceCfiThreadTest, WalksAtOnceShareTheKeptRules)
{
    std::vector<std::thread> threads;
    std::atomic<int> walked{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&walked] {
            for (int i = 0; i < 20; ++i) {
                ucontext_t context;
                getcontext(&context);
                std::vector<TUnwoundFrame> frames;
                if (UnwindContextByRules(context, nullptr, frames) && frames.size() >= 2)
                    ++walked;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(walked.load(), 80);
}

} // namespace
