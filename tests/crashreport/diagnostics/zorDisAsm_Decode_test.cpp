// The instruction decoder on byte fixtures at a fake 32-bit address, register
// tracking, the 64-bit mode, and reading memory that may not be there.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "crashreport/diagnostics/zorDisAsm.h"

namespace {

constexpr uintptr_t CodeBase = 0x00401000;

struct TFixture {
    std::vector<uint8_t> bytes;
    // A second block of readable memory (pointer slots), at SlotBase.
    std::vector<uint8_t> slots;
};

constexpr uintptr_t SlotBase = 0x00500000;

// Memory made of the code at CodeBase and a small data block at SlotBase.
class TTwoBlocks final : public TCodeMemory {
public:
    TTwoBlocks(const std::vector<uint8_t>& code, const std::vector<uint8_t>& data)
        : Code(CodeBase, code.data(), code.size()), Data(SlotBase, data.data(), data.size())
    {
    }
    bool Read(uintptr_t address, void* dest, size_t count) const override
    {
        return Code.Read(address, dest, count) || Data.Read(address, dest, count);
    }
    size_t ReadPrefix(uintptr_t address, void* dest, size_t max) const override
    {
        const size_t n = Code.ReadPrefix(address, dest, max);
        return n != 0 ? n : Data.ReadPrefix(address, dest, max);
    }

private:
    TBufferMemory Code;
    TBufferMemory Data;
};

TInstrInfo Decode32(const std::vector<uint8_t>& code, const std::vector<uint8_t>& data = {}, TRegState* regs = nullptr,
                    bool useRegs = false, uintptr_t at = CodeBase)
{
    TTwoBlocks memory(code, data);
    return DecodeInstructionIn(memory, at, regs, useRegs, TCodeMode::Bits32);
}

TInstrInfo Decode64(const std::vector<uint8_t>& code, TRegState* regs = nullptr, bool useRegs = false)
{
    TBufferMemory memory(0x555555554000, code.data(), code.size());
    return DecodeInstructionIn(memory, 0x555555554000, regs, useRegs, TCodeMode::Bits64);
}

std::vector<uint8_t> LE32(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(ZorDisAsmDecode, BranchesAndValidityTable)
{
    struct TRow {
        const char* what;
        std::vector<uint8_t> bytes;
        bool valid;
        int length;
        uint16_t opcode;
        bool isCall, isJump;
        uintptr_t target;
        int32_t targetSize;
        bool redirectable;
    };
    const std::vector<uint8_t> slot = LE32(0x00402345);
    const TRow rows[] = {
        {"call to the next instruction", {0xE8, 0, 0, 0, 0}, true, 5, 0xE8, false, false, 0, 0, false},
        {"call rel32", {0xE8, 0x10, 0, 0, 0}, true, 5, 0xE8, true, false, CodeBase + 5 + 0x10, 4, true},
        {"jnz rel32 backwards", {0x0F, 0x85, 0xFA, 0xFF, 0xFF, 0xFF}, true, 6, 0x0F85, false, true, CodeBase, 4, true},
        {"jmp to itself", {0xEB, 0xFE}, true, 2, 0xEB, false, true, CodeBase, 1, true},
        {"jmp [unreadable]", Cat({0xFF, 0x25}, LE32(0x10000000)), false, 6, 0xFF, false, false, 0, 0, false},
        {"jmp cs:[unreadable]", Cat({0x2E, 0xFF, 0x25}, LE32(0x10000000)), true, 7, 0xFF, false, true, 0, 4, true},
        {"jmp [slot]", Cat({0xFF, 0x25}, LE32(SlotBase)), true, 6, 0xFF, false, true, 0x00402345, 4, true},
        {"call [slot]", Cat({0xFF, 0x15}, LE32(SlotBase)), true, 6, 0xFF, true, false, 0x00402345, 4, true},
        {"lea with a register operand", {0x8D, 0xC0}, false, 2, 0x8D, false, false, 0, 0, false},
        {"FF /7", {0xFF, 0xF8}, false, 2, 0xFF, false, false, 0, 0, false},
        {"punpcklqdq without 66", {0x0F, 0x6C, 0xC1}, false, 3, 0x0F6C, false, false, 0, 0, false},
        {"punpcklqdq with 66", {0x66, 0x0F, 0x6C, 0xC1}, true, 4, 0x0F6C, false, false, 0, 0, false},
        {"loop", {0xE2, 0xFE}, true, 2, 0xE2, false, true, CodeBase, 1, false},
        {"jecxz to the next instruction", {0xE3, 0x00}, true, 2, 0xE3, false, false, 0, 0, false},
        {"undefined 0F 0B", {0x0F, 0x0B}, false, 2, 0x0F0B, false, false, 0, 0, false},
        {"call far", {0x9A, 1, 2, 3, 4, 5, 6}, true, 7, 0x9A, true, false, 0, 0, false},
        {"enter", {0xC8, 0x10, 0x00, 0x01}, true, 4, 0xC8, false, false, 0, 0, false},
        {"mov al, [moffs]", Cat({0xA0}, LE32(0x1000)), true, 5, 0xA0, false, false, 0, 0, false},
        {"mov ax, [moffs16] with 67", {0x67, 0xA1, 0x00, 0x10}, true, 4, 0xA1, false, false, 0, 0, false},
        {"16-bit addressing [bp+si+disp8]", {0x67, 0x8B, 0x42, 0x08}, true, 4, 0x8B, false, false, 0, 0, false},
        {"16-bit [disp16]", {0x67, 0x8B, 0x06, 0x34, 0x12}, true, 5, 0x8B, false, false, 0, 0, false},
        {"SIB with disp32 and no base", {0x8B, 0x04, 0x85, 0, 0, 0, 0}, true, 7, 0x8B, false, false, 0, 0, false},
        {"f6 /0 carries an imm8", {0xF6, 0x00, 0x12}, true, 3, 0xF6, false, false, 0, 0, false},
        {"f7 /0 with 66 carries an imm16", {0x66, 0xF7, 0xC0, 0x34, 0x12}, true, 5, 0xF7, false, false, 0, 0, false},
        {"f7 /1 is undefined", {0xF7, 0xC8, 0, 0, 0, 0}, false, 2, 0xF7, false, false, 0, 0, false},
        {"fld1", {0xD9, 0xE8}, true, 2, 0xD9, false, false, 0, 0, false},
        {"d9 d1 is rejected", {0xD9, 0xD1}, false, 2, 0xD9, false, false, 0, 0, false},
        {"3DNow! pfadd", {0x0F, 0x0F, 0xC1, 0x9E}, true, 4, 0x0F0F, false, false, 0, 0, false},
        {"3DNow! unknown suffix", {0x0F, 0x0F, 0xC1, 0x00}, false, 4, 0x0F0F, false, false, 0, 0, false},
        {"bytes run out inside the immediate", {0xB8, 0x01, 0x02}, false, 3, 0xB8, false, false, 0, 0, false},
        {"sixteen prefixes", std::vector<uint8_t>(16, 0x66), false, 15, 0, false, false, 0, 0, false},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.what);
        const TInstrInfo info = Decode32(row.bytes, slot);
        EXPECT_EQ(info.valid, row.valid);
        EXPECT_EQ(info.address, CodeBase);
        EXPECT_EQ(info.next - info.address, static_cast<uintptr_t>(row.length));
        EXPECT_EQ(info.opcode, row.opcode);
        EXPECT_EQ(info.isCall, row.isCall);
        EXPECT_EQ(info.isJump, row.isJump);
        EXPECT_EQ(info.target, row.target);
        EXPECT_EQ(info.targetSize, row.targetSize);
        EXPECT_EQ(info.redirectable, row.redirectable);
    }
}

TEST(ZorDisAsmDecode, TargetFieldsSayWhereTheDestinationIsCoded)
{
    const TInstrInfo rel = Decode32({0xE8, 0x10, 0, 0, 0});
    EXPECT_TRUE(rel.isRelative);
    EXPECT_EQ(rel.targetField, CodeBase + 1);
    EXPECT_EQ(rel.targetSlotField, 0u);

    const TInstrInfo slot = Decode32(Cat({0xFF, 0x25}, LE32(SlotBase)), LE32(0x00402345));
    EXPECT_FALSE(slot.isRelative);
    EXPECT_EQ(slot.targetField, 0u);
    EXPECT_EQ(slot.targetSlotField, CodeBase + 2);
}

TEST(ZorDisAsmDecode, RegisterTracking)
{
    // mov eax, 12345678h; call eax
    const std::vector<uint8_t> code = Cat(Cat({0xB8}, LE32(0x12345678)), {0xFF, 0xD0});
    TRegState regs;
    TTwoBlocks memory(code, {});
    const TInstrInfo load = DecodeInstructionIn(memory, CodeBase, &regs, true, TCodeMode::Bits32);
    EXPECT_EQ(regs.regs[0].field, CodeBase + 1);
    EXPECT_EQ(regs.regs[0].value, 0x12345678u);
    const TInstrInfo call = DecodeInstructionIn(memory, load.next, &regs, true, TCodeMode::Bits32);
    EXPECT_TRUE(call.isCall);
    EXPECT_EQ(call.target, 0x12345678u);
    EXPECT_EQ(call.targetField, CodeBase + 1);
    EXPECT_EQ(call.targetSize, 4);
    // Without use of the state the target stays unknown.
    TRegState again = regs;
    const TInstrInfo blind = DecodeInstructionIn(memory, load.next, &again, false, TCodeMode::Bits32);
    EXPECT_EQ(blind.target, 0u);
    EXPECT_EQ(blind.targetField, 0u);

    TRegState s;
    s.regs[0] = {CodeBase + 1, 0x12345678};
    s.regs[1] = {0x1111, 1};
    s.regs[2] = {0x2222, 2};
    s.regs[6] = {0x6666, 6};
    s.regs[7] = {0x7777, 7};

    TRegState copy = s; // mov ecx, eax
    Decode32({0x8B, 0xC8}, {}, &copy);
    EXPECT_EQ(copy.regs[1], s.regs[0]);

    TRegState cdq = s;
    Decode32({0x99}, {}, &cdq);
    EXPECT_EQ(cdq.regs[2].field, 0u);
    EXPECT_EQ(cdq.regs[0], s.regs[0]);

    TRegState movs = s; // rep movsb
    Decode32({0xF3, 0xA4}, {}, &movs);
    EXPECT_EQ(movs.regs[1].field, 0u);
    EXPECT_EQ(movs.regs[6].field, 0u);
    EXPECT_EQ(movs.regs[7].field, 0u);
    EXPECT_EQ(movs.regs[0], s.regs[0]);

    // Writing ah changes eax, not esp.
    TRegState high = s;
    high.regs[4] = {0x4444, 4};
    Decode32({0xB4, 0x01}, {}, &high);
    EXPECT_EQ(high.regs[0].field, 0u);
    EXPECT_EQ(high.regs[4].field, 0x4444u);

    // A compare writes nothing; an add to ecx forgets it.
    TRegState cmp = s;
    Decode32({0x83, 0xF9, 0x05}, {}, &cmp);
    EXPECT_EQ(cmp, s);
    Decode32({0x83, 0xC1, 0x05}, {}, &cmp);
    EXPECT_EQ(cmp.regs[1].field, 0u);
}

TEST(ZorDisAsmDecode, Mode64)
{
    struct TRow {
        const char* what;
        std::vector<uint8_t> bytes;
        bool valid;
        int length;
    };
    const TRow rows[] = {
        {"REX.W mov r64, imm64", {0x48, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8}, true, 10},
        {"mov r32, imm32", {0xB8, 1, 2, 3, 4}, true, 5},
        {"push r8", {0x41, 0x50}, true, 2},
        {"movsxd", {0x48, 0x63, 0xC7}, true, 3},
        {"mov eax, [moffs64]", {0xA1, 1, 2, 3, 4, 5, 6, 7, 8}, true, 9},
        {"endbr64", {0xF3, 0x0F, 0x1E, 0xFA}, true, 4},
        {"ud2", {0x0F, 0x0B}, true, 2},
        {"syscall", {0x0F, 0x05}, true, 2},
        {"push es is gone", {0x06}, false, 1},
        {"daa is gone", {0x27}, false, 1},
        {"jmp far is gone", {0xEA, 1, 2, 3, 4, 5, 6}, false, 1},
        {"vzeroupper", {0xC5, 0xF8, 0x77}, true, 3},
        {"vpshufb", {0xC4, 0xE2, 0x79, 0x00, 0xC1}, true, 5},
        {"vpalignr imm8", {0xC4, 0xE3, 0x79, 0x0F, 0xC1, 0x04}, true, 6},
        {"pshufb 0F 38", {0x66, 0x0F, 0x38, 0x00, 0xC1}, true, 5},
        {"palignr 0F 3A", {0x66, 0x0F, 0x3A, 0x0F, 0xC1, 0x04}, true, 6},
        {"rip-relative mov", {0x48, 0x8B, 0x05, 0x10, 0, 0, 0}, true, 7},
        {"nopw with 66 and SIB", {0x66, 0x0F, 0x1F, 0x44, 0x00, 0x00}, true, 6},
        {"REX before a legacy prefix does not count", {0x48, 0x66, 0xB8, 1, 2}, true, 5},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.what);
        const TInstrInfo info = Decode64(row.bytes);
        EXPECT_EQ(info.valid, row.valid);
        EXPECT_EQ(static_cast<int>(info.next - info.address), row.length);
    }
}

TEST(ZorDisAsmDecode, Mode64TargetsAndTracking)
{
    const uintptr_t base = 0x555555554000;
    // call rel32
    const TInstrInfo call = Decode64({0xE8, 0x10, 0, 0, 0});
    EXPECT_EQ(call.target, base + 5 + 0x10);

    // jmp [rip+8] over a slot that holds a pointer
    std::vector<uint8_t> code = {0xFF, 0x25, 0x02, 0, 0, 0, 0x90, 0x90};
    const uint64_t pointer = 0x7f0000001234;
    for (int i = 0; i < 8; ++i)
        code.push_back(uint8_t(pointer >> (8 * i)));
    const TInstrInfo jmp = Decode64(code);
    EXPECT_TRUE(jmp.valid);
    EXPECT_TRUE(jmp.isJump);
    EXPECT_EQ(jmp.targetSlotField, base + 2);
    EXPECT_EQ(jmp.targetSize, 8);
    EXPECT_EQ(jmp.target, pointer);

    // lea rax, [rip+0x100]; call rax
    const std::vector<uint8_t> leaCall = {0x48, 0x8D, 0x05, 0x00, 0x01, 0, 0, 0xFF, 0xD0};
    TBufferMemory memory(base, leaCall.data(), leaCall.size());
    TRegState regs;
    const TInstrInfo lea = DecodeInstructionIn(memory, base, &regs, true, TCodeMode::Bits64);
    EXPECT_EQ(regs.regs[0].value, base + 7 + 0x100);
    EXPECT_EQ(regs.regs[0].field, base + 3);
    const TInstrInfo viaRax = DecodeInstructionIn(memory, lea.next, &regs, true, TCodeMode::Bits64);
    EXPECT_TRUE(viaRax.isCall);
    EXPECT_EQ(viaRax.target, base + 7 + 0x100);
    // The call clobbers rax for whatever comes after it.
    EXPECT_EQ(regs.regs[0].field, 0u);

    // mov r12, imm64 is tracked in r12
    TRegState wide;
    Decode64({0x49, 0xBC, 1, 2, 3, 4, 5, 6, 7, 8}, &wide);
    EXPECT_EQ(wide.regs[12].value, 0x0807060504030201u);
}

TEST(ZorDisAsmDecode, ReadsNothingPastTheBytes)
{
    // Every prefix of a long instruction decodes as "ran out", never reads on.
    const std::vector<uint8_t> full = {0x66, 0x2E, 0x0F, 0x1F, 0x84, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (size_t n = 0; n < full.size(); ++n) {
        std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<long>(n));
        const TInstrInfo info = Decode32(part);
        EXPECT_FALSE(info.valid) << n;
        EXPECT_LE(info.next - info.address, n);
    }
    EXPECT_TRUE(Decode32(full).valid);
}

TEST(ZorDisAsmMemory, SnapshotMergesAndRefuses)
{
    const long page = sysconf(_SC_PAGESIZE);
    // Three pages: readable, readable, unreadable; the first two merge.
    uint8_t* block = static_cast<uint8_t*>(
        mmap(nullptr, static_cast<size_t>(page) * 4, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(block, MAP_FAILED);
    // Keep the neighbour below and above unreadable so the runs are ours.
    ASSERT_EQ(mprotect(block + 3 * page, static_cast<size_t>(page), PROT_NONE), 0);
    ASSERT_EQ(mprotect(block + 1 * page, static_cast<size_t>(page), PROT_READ), 0);
    ASSERT_EQ(mprotect(block + 2 * page, static_cast<size_t>(page), PROT_NONE), 0);
    memset(block, 0x5A, static_cast<size_t>(page));
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);

    TDATryRead snapshot = StartReadSnapshot();
    ASSERT_FALSE(snapshot.empty());
    // A read-write and a read-only page are both kind 2 and form one run.
    EXPECT_EQ(SnapshotKindOf(snapshot, start, static_cast<size_t>(2 * page)), 2);
    EXPECT_EQ(SnapshotKindOf(snapshot, start + static_cast<uintptr_t>(2 * page), 1), 0);

    uint8_t buffer[16];
    for (const TDATryRead* snap :
         {static_cast<const TDATryRead*>(nullptr), static_cast<const TDATryRead*>(&snapshot)}) {
        SCOPED_TRACE(snap ? "with a snapshot" : "without a snapshot");
        EXPECT_TRUE(ReadMemorySafe(start, buffer, sizeof(buffer), snap));
        EXPECT_EQ(buffer[0], 0x5A);
        // Across the end of the readable pages into the unreadable one.
        EXPECT_FALSE(ReadMemorySafe(start + static_cast<uintptr_t>(2 * page) - 8, buffer, 16, snap));
        EXPECT_FALSE(ReadMemorySafe(start + static_cast<uintptr_t>(2 * page), buffer, 1, snap));
        EXPECT_FALSE(ReadMemorySafe(0, buffer, 1, snap));
        EXPECT_FALSE(ReadMemorySafe(~uintptr_t(0) - 3, buffer, 8, snap));
    }
    EndReadSnapshot(snapshot);
    EXPECT_TRUE(snapshot.empty());
    munmap(block, static_cast<size_t>(page) * 4);
}

TEST(ZorDisAsmMemory, DecodesAtTheEndOfReadableMemory)
{
    const long page = sysconf(_SC_PAGESIZE);
    uint8_t* block = static_cast<uint8_t*>(
        mmap(nullptr, static_cast<size_t>(page) * 2, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(block, MAP_FAILED);
    ASSERT_EQ(mprotect(block + page, static_cast<size_t>(page), PROT_NONE), 0);
    uint8_t* last = block + page - 3;
    last[0] = 0x90; // nop
    last[1] = 0xC3; // ret
    last[2] = 0xB8; // mov eax, imm32 cut by the page end
    const uintptr_t at = reinterpret_cast<uintptr_t>(last);
    EXPECT_TRUE(DecodeInstruction(at).valid);
    EXPECT_TRUE(DecodeInstruction(at + 1).valid);
    const TInstrInfo cut = DecodeInstruction(at + 2);
    EXPECT_FALSE(cut.valid);
    EXPECT_EQ(cut.next, at + 3);
    const TInstrInfo none = DecodeInstruction(at + 3);
    EXPECT_FALSE(none.valid);
    EXPECT_EQ(none.next, at + 3);
    munmap(block, static_cast<size_t>(page) * 2);
}
