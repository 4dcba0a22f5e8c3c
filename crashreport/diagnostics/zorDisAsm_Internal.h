// zorDisAsm's own parts: the opcode tables, their flag bits, and the full
// record of a decoded instruction that the text and the analysis read.
#pragma once

#include <cstdint>
#include <vector>

#include "crashreport/diagnostics/zorDisAsm.h"

namespace zordisasm {

// ---------------------------------------------------------------------------
// Opcode flag words (16 bits each)

// Bits 0-2: the operand that is not the ModRM operand. With ModRM:
constexpr uint16_t R_Gb = 1; // 8-bit register of the reg field
constexpr uint16_t R_Gw = 2; // 16-bit register of the reg field
constexpr uint16_t R_Sw = 3; // segment register (one-byte map); control or debug register (0F map)
constexpr uint16_t R_Gd = 4; // 32-bit register of the reg field
constexpr uint16_t R_Pq = 5; // MMX register
constexpr uint16_t R_ST = 6; // "st"
constexpr uint16_t R_Vx = 7; // XMM register
// Without ModRM:
constexpr uint16_t O_AL = 1;      // al
constexpr uint16_t O_EAX = 2;     // eax
constexpr uint16_t O_Zb = 4;      // 8-bit register from the opcode's low 3 bits
constexpr uint16_t O_Zd = 5;      // 32-bit register from the opcode's low 3 bits
constexpr uint16_t O_EAXZd = 6;   // eax and the 32-bit register from the opcode
constexpr uint16_t O_ALEAXDX = 7; // al or eax (by the opcode's lowest bit) with dx
constexpr uint16_t RegKindMask = 7;
// Bits 3-5: the ModRM operand.
constexpr uint16_t M_Group = 0x08; // the real flags come from the group rows
constexpr uint16_t M1 = 0x10;
constexpr uint16_t M2 = 0x18;
constexpr uint16_t M4 = 0x20;
constexpr uint16_t M8 = 0x28;
constexpr uint16_t M10 = 0x30;
constexpr uint16_t M16 = 0x38;
constexpr uint16_t ModRmKindMask = 0x38;
constexpr uint16_t F_O16R = 0x40;     // 0x66: the register operand is 16-bit (XMM instead of MMX)
constexpr uint16_t F_O16M = 0x80;     // 0x66: the memory operand is 2 bytes (16 for MMX/st/XMM or kinds of 8 and more)
constexpr uint16_t F_Size = 0x100;    // write the memory operand's size in front of it
constexpr uint16_t F_RmFirst = 0x200; // the ModRM operand is written first
constexpr uint16_t I_8 = 0x400;
constexpr uint16_t I_16 = 0x800;
constexpr uint16_t I_Op = 0xC00; // the operand size
constexpr uint16_t ImmMask = 0xC00;
constexpr uint16_t F_Rel = 0x1000; // relative destination
// Bits 13-15: the registers the instruction writes (register tracking).
constexpr uint16_t W_Reg = 0x2000;
constexpr uint16_t W_Rm = 0x4000;
constexpr uint16_t W_Op = 0x6000;
constexpr uint16_t W_EAX = 0x8000;
constexpr uint16_t W_RegRm = 0xA000;
constexpr uint16_t W_EAXRm = 0xC000;
constexpr uint16_t W_EAXOp = 0xE000;
constexpr uint16_t WriteMask = 0xE000;
constexpr uint16_t Undef = 0xFFFF;

struct TOpcodeRow {
    uint16_t flags;
    uint16_t mnemonic; // 1-based entry of the mnemonic list, 0 none
};

extern const TOpcodeRow OneByteOps[256];
extern const TOpcodeRow TwoByteOps[256];
// The group rows: 0xF6, 0xF7, 0xD8 ... 0xDF; sixteen words each, the first
// eight for memory operands by reg, the last eight for register operands.
extern const uint16_t GroupOps[10][16];
// The row of an opcode whose flag word says M_Group, -1 for others.
int GroupRowOf(uint16_t opcode);

// Opcodes that change meaning in 64-bit mode: their rows there. flags Undef
// marks the opcodes that do not exist in 64-bit code.
struct TMode64Row {
    uint16_t opcode;
    TOpcodeRow row;
};
extern const TMode64Row Mode64Ops[];
extern const int Mode64OpCount;

// ---------------------------------------------------------------------------
// Mnemonics

// The mnemonic list (241 entries of the 32-bit map, then the names that only
// 64-bit code needs), 1-based like the table entries.
extern const char* const MnemonicList[];
extern const int MnemonicCount;
extern const char* const ConditionNames[16];
extern const char* const Reg8Names[8];
extern const char* const Reg16Names[8];
extern const char* const SegNames[6];
extern const char* const Reg32Names[8];

// The 3DNow! suffix bytes and their names.
struct TSuffixName {
    uint8_t suffix;
    const char* name;
};
extern const TSuffixName Suffix3DNow[];
extern const int Suffix3DNowCount;
const char* Name3DNow(uint8_t suffix); // nullptr when not in the list

// Entries the decoder and the text name directly.
enum TMnemonicIndex : uint16_t {
    mnNone = 0,
    mnCall = 19,
    mnCmp = 26,
    mnJcc = 54,
    mnJmp = 56,
    mnNop = 86,
    mnPop = 124,
    mnPush = 151,
    mnRet = 157,
    mnGrp45 = 223,
    // The 64-bit names after the 241 of the 32-bit map:
    mnMovsxd = 242,
    mnEndbr64,
    mnUd2,
    mnCdqe,
    mnCqo,
    mnMovsq,
    mnStosq,
    mnLodsq,
    mnScasq,
    mnCmpsq,
    mnIretq,
    mnPushfq,
    mnPopfq,
    mnCmpxchg16b,
    mnMovq,
    mnJrcxz,
    mnEndbr32,
    mnSwapgs,
    mnRdtscp,
    mnLast = mnRdtscp
};

// ---------------------------------------------------------------------------
// The full record of a decoded instruction

constexpr int MaxInstructionLength = 15;
constexpr int8_t RegNone = -1;
constexpr int8_t RegRip = 16; // base of a RIP-relative operand

struct TDecoded {
    TInstrInfo info;

    // Displacement and immediates
    int64_t disp = 0;
    uintptr_t dispAddress = 0;
    uint64_t imm = 0; // sign-extended from its size
    uintptr_t immAddress = 0;
    uint64_t imm2 = 0; // enter's second value, a far pointer's selector

    // Opcode
    uint16_t opcode = 0;
    uint16_t flags = 0; // the real flag word (after the group rows)
    uint16_t mnemonic = 0;

    TCodeMode mode = TCodeMode::Bits32;
    uint8_t available = 0; // bytes that could be read

    // Prefixes
    bool opSize16 = false; // 0x66
    bool has66 = false;
    bool addrSize = false; // 0x67
    bool lock = false;     // 0xF0
    uint8_t rep = 0;       // 0xF2 or 0xF3 (the last one given)
    uint8_t segment = 0;   // the last segment prefix byte, 0 none
    uint8_t rex = 0;       // 0x40-0x4F directly before the opcode (or from VEX), 0 none
    bool repForgetsEcx = false;

    // ModRM and SIB
    bool hasModRm = false;
    bool memory = false;                         // ModRM names memory (mod != 3)
    uint8_t modRm = 0, mod = 0, reg = 0, rm = 0; // reg and rm with REX.R/REX.B
    int8_t base = RegNone, index = RegNone;
    uint8_t scale = 1;
    uint8_t dispSize = 0;
    uint8_t immSize = 0;
    uint8_t imm2Size = 0;

    uint8_t operandSize = 4;   // 2, 4 or 8
    uint8_t addressBits = 32;  // 16, 32 or 64
    bool stateChanged = false; // the register state given to the decoder changed

    // The instruction's bytes as read (not cleared: only the first
    // "available" count).
    uint8_t bytes[MaxInstructionLength + 1];

    bool RexW() const { return (rex & 8) != 0; }
};

// Decodes into the full record, which must be freshly made (the decoder
// fills in only what the instruction has); the TInstrInfo inside it is what
// the public decoders give.
void DecodeFull(const TCodeMemory& memory, uintptr_t address, TRegState* regState, bool useRegState, TCodeMode mode,
                TDecoded& d);
// The loaded module that holds an address, as its program headers lay it out.
struct TModuleLayout {
    uintptr_t loadBase = 0;
    uintptr_t low = 0;     // the lowest byte of any of its segments
    uintptr_t high = 0;    // behind the highest one
    uintptr_t dynamic = 0; // its dynamic section, 0 when none
    struct TSegment {
        uintptr_t start, end;
    };
    std::vector<TSegment> readable; // the segments mapped readable
};
// False for an address in no loaded module. Walks the loader's list (its lock).
bool ModuleLayoutOf(uintptr_t address, TModuleLayout& layout);

// How many modules the loader has loaded and unloaded so far: what was
// learnt about the loaded modules holds while both stand still.
void LoaderCounters(unsigned long long& adds, unsigned long long& subs);

// An address wrapped to the mode's width.
inline uintptr_t WrapAddress(TCodeMode mode, uint64_t address)
{
    return mode == TCodeMode::Bits32 ? static_cast<uintptr_t>(address & 0xFFFFFFFFu) : static_cast<uintptr_t>(address);
}

} // namespace zordisasm
