// Instruction text: one decoded instruction as a line of the listing, with
// the name of a called routine or the text an operand points at as comment.
//
// Normal context (the reporter's handler thread): builds strings.
#include <algorithm>

#include "crashreport/diagnostics/zorDisAsm_Internal.h"
#include "crashreport/diagnostics/zorStrings.h"

using namespace zordisasm;

namespace {

// Columns of the line, counted with the listing's address width: the
// operands start at the first, the comments at the second.
constexpr size_t OperandColumn = static_cast<size_t>(ZorAddressDigits) + 11;
constexpr size_t CommentColumn = static_cast<size_t>(ZorAddressDigits) + 32;
// How far a string comment looks, and how much room the image must have.
constexpr size_t StringWindow = 100;

void PadTo(std::string& line, size_t column)
{
    if (line.size() < column)
        line.append(column - line.size(), ' ');
}

std::string HexText(uint64_t value)
{
    return value <= 0xFFFFFFFFu ? CardToHexTextA(static_cast<uint32_t>(value)) : Int64ToHexTextA(value);
}

// Decimal up to 9, "$" hex above.
std::string UnsignedText(uint64_t value)
{
    return value > 9 ? HexText(value) : std::to_string(value);
}

// -9 to 9 decimal, otherwise "$" hex of the magnitude; a "-" for negative
// values, a "+" for positive ones when asked.
std::string SignedText(int64_t value, bool plus)
{
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string text = magnitude > 9 ? HexText(magnitude) : std::to_string(magnitude);
    if (value < 0)
        return "-" + text;
    return plus && value > 0 ? "+" + text : text;
}

uint64_t MaskTo(uint64_t value, int bytes)
{
    return bytes >= 8 ? value : value & ((1ull << (bytes * 8)) - 1);
}

// ---------------------------------------------------------------------------
// Register names

const char* const Reg64Names[16] = {"rax", "rcx", "rdx", "rbx", "rsp", "rbp", "rsi", "rdi",
                                    "r8",  "r9",  "r10", "r11", "r12", "r13", "r14", "r15"};
const char* const RexByteNames[8] = {"al", "cl", "dl", "bl", "spl", "bpl", "sil", "dil"};

std::string GprName(const TDecoded& d, int reg, int size)
{
    if (reg >= 8) {
        static const char* const Suffix[9] = {"", "b", "w", "", "d", "", "", "", ""};
        return std::string(Reg64Names[reg]) + (size < 8 ? Suffix[size] : "");
    }
    switch (size) {
    case 1:
        return d.rex != 0 ? RexByteNames[reg] : Reg8Names[reg];
    case 2:
        return Reg16Names[reg];
    case 8:
        return Reg64Names[reg];
    default:
        return Reg32Names[reg];
    }
}

std::string AddressRegName(const TDecoded& d, int reg)
{
    if (d.addressBits == 16)
        return Reg16Names[reg & 7];
    return GprName(d, reg, d.addressBits == 64 ? 8 : 4);
}

enum TOperandKind { okNone, okGpr, okMmx, okXmm, okSt };

// The size of a general register operand of "32-bit" kind: 16 with 0x66 where
// the flag word allows it, 64 with REX.W or for the stack operations of
// 64-bit code.
int RegisterSize(const TDecoded& d, bool switchable)
{
    if (d.RexW())
        return 8;
    if (switchable && d.opSize16)
        return 2;
    return d.operandSize == 8 ? 8 : 4;
}

// The memory operand's size in bytes.
int MemorySize(const TDecoded& d)
{
    static const int KindSizes[8] = {0, 0, 1, 2, 4, 8, 10, 16};
    int size = KindSizes[(d.flags & ModRmKindMask) >> 3];
    const uint16_t regKind = d.flags & RegKindMask;
    if ((d.flags & F_O16M) && d.opSize16)
        size = (regKind == R_Pq || regKind == R_ST || regKind == R_Vx || size >= 8) ? 16 : 2;
    else if ((d.flags & F_O16M) && size == 4 && d.operandSize == 8)
        size = 8; // REX.W, or a stack operation of 64-bit code
    return size;
}

struct TOperandKinds {
    TOperandKind reg = okNone;
    int regSize = 0;
    TOperandKind rm = okNone; // for register forms
    int rmSize = 0;
    bool regFirst = false; // overrides the flag word's order
};

// The kinds of the reg-field and the ModRM register operands.
TOperandKinds KindsOf(const TDecoded& d)
{
    TOperandKinds k;
    const uint16_t regKind = d.flags & RegKindMask;
    const bool has66 = d.opSize16;
    switch (regKind) {
    case R_Gb:
        k.reg = okGpr;
        k.regSize = 1;
        break;
    case R_Gw:
        k.reg = okGpr;
        k.regSize = 2;
        break;
    case R_Gd:
        k.reg = okGpr;
        k.regSize = RegisterSize(d, (d.flags & F_O16R) != 0);
        break;
    case R_Pq:
        k.reg = (has66 && (d.flags & F_O16R)) ? okXmm : okMmx;
        break;
    case R_ST:
        k.reg = okSt;
        break;
    case R_Vx:
        k.reg = okXmm;
        break;
    default:
        break;
    }
    const int memSize = MemorySize(d);
    switch (d.flags & ModRmKindMask) {
    case M16:
        k.rm = okXmm;
        break;
    case M10:
        k.rm = okSt;
        break;
    case M8:
        k.rm = (regKind == R_Vx || (has66 && (d.flags & (F_O16M | F_O16R)))) ? okXmm : okMmx;
        break;
    default:
        if (regKind == R_Vx) {
            k.rm = okXmm;
        } else {
            k.rm = okGpr;
            k.rmSize = memSize == 8 ? 8 : memSize;
        }
        break;
    }
    if (d.opcode >= 0xD8 && d.opcode <= 0xDF && d.info.opcodeMap == 0)
        k.rm = okSt;
    // The conversions and moves whose 0xF2/0xF3 forms change the operand kinds.
    const uint8_t rep = d.rep;
    switch (d.opcode) {
    case 0x0F2A: // cvtsi2sd/cvtsi2ss xmm, r/m32; cvtpi2ps xmm, mm/m64
        k.rm = rep != 0 ? okGpr : okMmx;
        k.rmSize = d.RexW() ? 8 : 4;
        break;
    case 0x0F2C: // cvttsd2si r32, xmm/m; cvttps2pi mm, xmm/m64
    case 0x0F2D:
        k.rm = okXmm;
        if (rep != 0) {
            k.reg = okGpr;
            k.regSize = d.RexW() ? 8 : 4;
        }
        break;
    case 0x0F6F: // movdqu xmm, xmm/m128
    case 0x0F7F:
    case 0x0F70: // pshufhw/pshuflw xmm, xmm/m128, imm8
        if (rep != 0)
            k.reg = k.rm = okXmm;
        break;
    case 0x0F7E: // movq xmm, xmm/m64
        if (rep == 0xF3) {
            k.reg = k.rm = okXmm;
            k.regFirst = true;
        } else if (d.RexW()) {
            k.rmSize = 8;
        }
        break;
    case 0x0F6E:
        if (d.RexW())
            k.rmSize = 8;
        break;
    case 0x0FD6: // movdq2q mm, xmm; movq2dq xmm, mm
        if (rep == 0xF2) {
            k.reg = okMmx;
            k.rm = okXmm;
            k.regFirst = true;
        } else if (rep == 0xF3) {
            k.reg = okXmm;
            k.rm = okMmx;
            k.regFirst = true;
        }
        break;
    default:
        break;
    }
    return k;
}

std::string KindRegName(const TDecoded& d, TOperandKind kind, int reg, int size)
{
    switch (kind) {
    case okGpr:
        return GprName(d, reg, size);
    case okMmx:
        return "mm" + std::to_string(reg & 7);
    case okXmm:
        return "xmm" + std::to_string(reg);
    case okSt:
        return (reg & 7) == 0 ? "st" : "st(" + std::to_string(reg & 7) + ")";
    default:
        return "";
    }
}

// ---------------------------------------------------------------------------
// The mnemonic

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> items;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        items.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return items;
        start = at + 1;
    }
}

std::string Item(const std::vector<std::string>& items, size_t number)
{
    return number >= 1 && number <= items.size() ? items[number - 1] : std::string();
}

void ReplaceAll(std::string& text, const std::string& what, const std::string& with)
{
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

// The names 64-bit code gives some opcodes, or 0 for the table's name.
uint16_t Mode64Mnemonic(const TDecoded& d)
{
    const uint16_t op = d.opcode;
    const bool w = d.RexW();
    if (d.info.opcodeMap == 0) {
        switch (op) {
        case 0x98:
            return w ? mnCdqe : 0;
        case 0x99:
            return w ? mnCqo : 0;
        case 0xA5:
            return w ? mnMovsq : 0;
        case 0xA7:
            return w ? mnCmpsq : 0;
        case 0xAB:
            return w ? mnStosq : 0;
        case 0xAD:
            return w ? mnLodsq : 0;
        case 0xAF:
            return w ? mnScasq : 0;
        case 0xCF:
            return w ? mnIretq : 0;
        case 0x9C:
            return d.opSize16 ? 0 : mnPushfq;
        case 0x9D:
            return d.opSize16 ? 0 : mnPopfq;
        case 0xE3:
            return d.addrSize ? 0 : mnJrcxz;
        default:
            return 0;
        }
    }
    switch (op) {
    case 0x0FC7:
        return w ? mnCmpxchg16b : 0;
    case 0x0F6E:
    case 0x0F7E:
        return w && d.rep == 0 ? mnMovq : 0;
    case 0x0F01:
        return d.modRm == 0xF8 ? mnSwapgs : d.modRm == 0xF9 ? mnRdtscp : 0;
    case 0x0F1E:
        return d.rep == 0xF3 && d.modRm == 0xFA ? mnEndbr64 : d.rep == 0xF3 && d.modRm == 0xFB ? mnEndbr32 : mnNop;
    default:
        return 0;
    }
}

std::string MnemonicOf(const TDecoded& d)
{
    if (d.opcode == 0x0F0F && d.info.opcodeMap == 1) {
        const char* name = Name3DNow(static_cast<uint8_t>(d.imm));
        return name != nullptr ? name : "";
    }
    if (d.info.isVex || d.info.opcodeMap >= 2) {
        // Beyond the maps of the tables: the opcode bytes instead of a name.
        static const char* const MapNames[4] = {"", "0f", "0f38", "0f3a"};
        std::string hex = CardToHexTextA(d.opcode & 0xFF, 2).substr(1);
        return std::string(d.info.isVex ? "vex." : "") + MapNames[d.info.opcodeMap] + "_" + hex;
    }
    uint16_t index = d.mnemonic;
    if (d.mode == TCodeMode::Bits64) {
        const uint16_t other = Mode64Mnemonic(d);
        if (other != 0)
            index = other;
    }
    if (index == 0 || index > MnemonicCount)
        return "";
    std::string text = MnemonicList[index];
    const uint16_t op = d.opcode;
    ReplaceAll(text, "%cc", ConditionNames[op & 15]);
    ReplaceAll(text, "%seg", SegNames[std::min((op >> 3) & 7, 5)]);
    // "/": variants by prefix (0x66, 0xF2, 0xF3); the repeat prefixes only
    // choose among the variants of the 0F map.
    const std::vector<std::string> byPrefix = Split(text, '/');
    size_t variant = 1;
    if (d.info.opcodeMap == 1 && d.rep == 0xF3)
        variant = 4;
    else if (d.info.opcodeMap == 1 && d.rep == 0xF2)
        variant = 3;
    else if (d.has66)
        variant = 2;
    text = Item(byPrefix, variant);
    if (text.empty())
        text = byPrefix[0];
    // "|": variants by the reg field; the x87 register forms use the second
    // eight, split by "-" by the rm field.
    const std::vector<std::string> byReg = Split(text, '|');
    const int reg = (d.modRm >> 3) & 7;
    const int rm = d.modRm & 7;
    if (byReg.size() > 1) {
        // D8 shares its names with DC, whose register forms swap sub/subr and
        // div/divr; D8's register forms keep the memory forms' order.
        if (byReg.size() < 9 || d.memory || (op == 0xD8 && d.info.opcodeMap == 0)) {
            text = Item(byReg, static_cast<size_t>(reg) + 1);
        } else {
            text = Item(byReg, static_cast<size_t>(reg) + 9);
            const std::vector<std::string> byRm = Split(text, '-');
            if (byRm.size() > 1)
                text = Item(byRm, static_cast<size_t>(rm) + 1);
        }
    }
    // ":": register form, then memory form.
    const std::vector<std::string> byForm = Split(text, ':');
    text = byForm.size() > 1 && d.memory ? byForm[1] : byForm[0];
    for (char& c : text) {
        if (c == 'S')
            c = (d.has66 || d.rep == 0xF2) ? 'd' : 's';
        else if (c == 'P')
            c = d.rep != 0 ? 's' : 'p';
    }
    if (d.info.opcodeMap == 0 && op >= 0xD8 && op <= 0xDF)
        text = "f" + text;
    return text;
}

// ---------------------------------------------------------------------------
// Operands

std::string SegmentPrefixText(const TDecoded& d)
{
    static const char* const Segments[] = {"es", "cs", "ss", "ds"};
    if (d.segment == 0)
        return "";
    const char* name = d.segment == 0x64 ? "fs" : d.segment == 0x65 ? "gs" : Segments[(d.segment >> 3) & 3];
    return std::string(name) + ":";
}

std::string MemoryOperand(const TDecoded& d)
{
    std::string text = "[";
    if (d.base == RegRip) {
        // RIP-relative: the address it names.
        text += UnsignedText(WrapAddress(d.mode, d.info.next + static_cast<uint64_t>(d.disp)));
    } else {
        if (d.base != RegNone)
            text += AddressRegName(d, d.base);
        if (d.index != RegNone) {
            text += "+" + AddressRegName(d, d.index);
            if (d.scale > 1)
                text += "*" + std::to_string(d.scale);
        }
        if (d.base == RegNone && d.index == RegNone) {
            uint64_t whole = static_cast<uint64_t>(d.disp);
            whole = d.addressBits == 16 ? whole & 0xFFFF : WrapAddress(d.mode, whole);
            text += UnsignedText(whole);
        } else if (d.disp != 0) {
            text += SignedText(d.disp, true);
        }
    }
    text += "]";
    if (text.size() > 1 && text[1] == '+')
        text.erase(1, 1);
    text = SegmentPrefixText(d) + text;
    if (d.flags & F_Size) {
        switch (MemorySize(d)) {
        case 1:
            return "byte ptr " + text;
        case 2:
            return "word ptr " + text;
        case 4:
            return "dword ptr " + text;
        case 8:
            return "qword ptr " + text;
        case 10:
            return "tbyte ptr " + text;
        case 16:
            return "oword ptr " + text;
        default:
            break;
        }
    }
    return text;
}

std::string RegisterOperand(const TDecoded& d, const TOperandKinds& kinds)
{
    const uint16_t regKind = d.flags & RegKindMask;
    if (d.hasModRm) {
        if (regKind == R_Sw) {
            if (d.info.opcodeMap == 1)
                return std::string((d.opcode & 1) ? "dr" : "cr") + std::to_string(d.reg);
            return (d.reg & 7) < 6 ? SegNames[d.reg & 7] : "";
        }
        if (regKind == R_ST)
            return "st";
        return KindRegName(d, kinds.reg, d.reg, kinds.regSize);
    }
    const int opReg = (d.opcode & 7) | ((d.rex & 1) ? 8 : 0);
    const int size = RegisterSize(d, (d.flags & F_O16R) != 0);
    switch (regKind) {
    case O_AL:
        return "al";
    case O_EAX:
        return GprName(d, 0, size);
    case O_Zb:
        return GprName(d, opReg, 1);
    case O_Zd:
        return GprName(d, opReg, size);
    case O_EAXZd:
        return GprName(d, 0, size) + ", " + GprName(d, opReg, size);
    case O_ALEAXDX: {
        const std::string acc = (d.opcode & 1) ? GprName(d, 0, d.opSize16 ? 2 : 4) : "al";
        return (d.flags & F_RmFirst) ? "dx, " + acc : acc + ", dx";
    }
    default:
        return "";
    }
}

std::string ImmediateOperand(const TDecoded& d)
{
    const uint16_t op = d.opcode;
    if (d.immSize == 0)
        return "";
    if (d.info.opcodeMap == 1 && op == 0x0F0F)
        return "";
    if (d.info.opcodeMap == 0 && (op == 0xD4 || op == 0xD5) && (d.imm & 0xFF) == 10)
        return "";
    if (d.flags & F_Rel)
        return SignedText(static_cast<int64_t>(d.imm), true) + " (" + HexText(d.info.target) + ")";
    if (d.info.opcodeMap == 0) {
        if (op == 0x69 || op == 0x6B || (op >= 0x80 && op <= 0x83))
            return SignedText(static_cast<int64_t>(d.imm), false);
        if (op == 0xC8)
            return HexText(MaskTo(d.imm, 2)) + ", " + HexText(MaskTo(d.imm2, 1));
        if (op == 0x9A || op == 0xEA)
            return HexText(MaskTo(d.imm2, 2)) + ":" + HexText(MaskTo(d.imm, d.immSize));
        if (op >= 0xA0 && op <= 0xA3) {
            return SegmentPrefixText(d) + "[" + UnsignedText(MaskTo(d.imm, d.immSize)) + "]";
        }
    }
    // push imm8 pushes it sign-extended; REX.W widens a 32-bit immediate the same way.
    int bytes = d.immSize;
    if ((d.info.opcodeMap == 0 && op == 0x6A) || (d.RexW() && d.immSize == 4))
        bytes = d.operandSize;
    return UnsignedText(MaskTo(d.imm, bytes));
}

// The operands in the order the line writes them.
std::string OperandsText(const TDecoded& d)
{
    const TOperandKinds kinds = KindsOf(d);
    const uint8_t reg3 = (d.modRm >> 3) & 7;
    // ModRM bytes that only select an instruction: lfence/mfence/sfence,
    // swapgs/rdtscp, endbr64.
    const bool selectorOnly =
        d.info.opcodeMap == 1 && !d.memory &&
        (d.opcode == 0x0FAE || (d.opcode == 0x0F01 && reg3 == 7) ||
         (d.opcode == 0x0F1E && d.mode == TCodeMode::Bits64 && d.rep == 0xF3 && (d.modRm == 0xFA || d.modRm == 0xFB)));
    std::vector<std::string> operands;
    const std::string reg = RegisterOperand(d, kinds);
    if (!reg.empty())
        operands.push_back(reg);
    if (d.hasModRm && (d.flags & ModRmKindMask) != 0 && !selectorOnly)
        operands.push_back(d.memory ? MemoryOperand(d) : KindRegName(d, kinds.rm, d.rm, kinds.rmSize));
    const std::string imm = ImmediateOperand(d);
    if (!imm.empty())
        operands.push_back(imm);
    if ((d.flags & F_RmFirst) && !kinds.regFirst && !reg.empty() && operands.size() >= 2)
        std::swap(operands[0], operands[1]);
    const uint16_t op = d.opcode;
    if (d.info.opcodeMap == 0 && (op == 0xD0 || op == 0xD1))
        operands.push_back("1");
    if ((d.info.opcodeMap == 0 && (op == 0xD2 || op == 0xD3)) ||
        (d.info.opcodeMap == 1 && (op == 0x0FA5 || op == 0x0FAD)))
        operands.push_back("cl");
    std::string text;
    for (size_t i = 0; i < operands.size(); ++i)
        text += (i ? ", " : "") + operands[i];
    return text;
}

// ---------------------------------------------------------------------------
// Comments

bool ImageOf(const TDisAsmEnvironment& env, uintptr_t address, uintptr_t& base, uintptr_t& size)
{
    return env.imageOf != nullptr && env.imageOf(env, address, base, size);
}

// The name of the routine at address without following a thunk, with its
// module suffix.
std::string DirectName(const TDisAsmEnvironment& env, uintptr_t address)
{
    std::string name = env.exportNameOf != nullptr ? env.exportNameOf(env, address) : std::string();
    if (name.empty() && env.debugNameOf != nullptr)
        name = env.debugNameOf(env, address);
    if (!name.empty() && name.find('(') == std::string::npos && env.moduleSuffixOf != nullptr)
        name += env.moduleSuffixOf(env, address);
    return name;
}

} // namespace

bool AddNameCommentIn(const TDisAsmEnvironment& env, uintptr_t address, std::string& line)
{
    std::string name = DirectName(env, address);
    uintptr_t base = 0, size = 0;
    if (name.empty() && ImageOf(env, address, base, size)) {
        // An import thunk: the name of where it jumps.
        TDecoded d;
        DecodeFull(*env.memory, address, nullptr, false, env.mode, d);
        if (d.info.valid && d.info.target != 0)
            name = DirectName(env, d.info.target);
    }
    if (name.empty())
        return false;
    PadTo(line, CommentColumn);
    line += "  ; " + name;
    return true;
}

void AddStringCommentIn(const TDisAsmEnvironment& env, uintptr_t instrAddress, uintptr_t address, bool readThrough,
                        std::string& line)
{
    uintptr_t base = 0, size = 0;
    if (!ImageOf(env, instrAddress, base, size) || size < StringWindow)
        return;
    const uintptr_t highest = base + size - StringWindow;
    if (address < base || address > highest)
        return;
    if (readThrough) {
        const size_t pointerSize = env.mode == TCodeMode::Bits64 ? 8 : 4;
        uint64_t value = 0;
        if (env.memory->Read(address, &value, pointerSize) && value > base && value <= highest)
            address = static_cast<uintptr_t>(value);
    }
    if (AddNameCommentIn(env, address, line))
        return;
    uint8_t bytes[StringWindow];
    const size_t available = env.memory->ReadPrefix(address, bytes, StringWindow);
    int plain = 0, punctuation = 0, symbols = 0, others = 0;
    size_t length = 0;
    for (; length < available; ++length) {
        const uint8_t c = bytes[length];
        if (c == 0 || c == 10 || c == 12)
            break;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ')
            ++plain;
        else if (c == ',' || c == '.' || c == ':' || c == '\\')
            ++punctuation;
        else if (c >= '!' && c <= ']')
            ++symbols;
        else if (c >= '^')
            ++others;
        else
            return; // a control character: no text
    }
    const double weight = plain + punctuation / 2.0;
    if (length < 4 || punctuation * 5 >= plain * 2 || symbols * 8 >= weight || others * 10 >= weight + symbols / 4.0)
        return;
    PadTo(line, CommentColumn);
    line += "  ; '" + std::string(reinterpret_cast<const char*>(bytes), length) + "'";
}

std::string InstructionTextIn(const TDisAsmEnvironment& env, uintptr_t address, TRegState* regState, bool useRegState,
                              TInstrInfo* info)
{
    TDecoded d;
    DecodeFull(*env.memory, address, regState, useRegState, env.mode, d);
    if (info != nullptr)
        *info = d.info;
    const uintptr_t start = d.info.address;
    if (!d.info.valid) {
        std::string text;
        const size_t count = d.info.next - start;
        for (size_t i = 0; i < count && i < d.available; ++i) {
            if (i != 0)
                text += "\r\n";
            text += AddressTextA(start + i) + "   db " + CardToHexTextA(d.bytes[i], 2, '0');
        }
        return text;
    }
    std::string line = AddressTextA(start) + "   ";
    if (d.lock)
        line += "lock ";
    if (d.info.opcodeMap == 0 && d.rep == 0xF2)
        line += "repne ";
    else if (d.info.opcodeMap == 0 && d.rep == 0xF3)
        line += "rep ";
    line += MnemonicOf(d);
    const std::string operands = OperandsText(d);
    if (!operands.empty()) {
        PadTo(line, OperandColumn);
        if (line.back() != ' ')
            line += ' ';
        line += operands;
    }
    if (d.info.target != 0) {
        AddNameCommentIn(env, d.info.target, line);
    } else {
        if (d.dispSize == 4) {
            const uint64_t examined =
                d.base == RegRip ? d.info.next + static_cast<uint64_t>(d.disp) : static_cast<uint64_t>(d.disp);
            AddStringCommentIn(env, start, WrapAddress(d.mode, examined), true, line);
        }
        const int pointerSize = d.mode == TCodeMode::Bits64 ? 8 : 4;
        if ((d.immSize == 4 || d.immSize == pointerSize) && !(d.flags & F_Rel))
            AddStringCommentIn(env, start, WrapAddress(d.mode, MaskTo(d.imm, d.immSize)), (d.flags & F_Size) != 0,
                               line);
    }
    return line;
}

std::string InstructionText(uintptr_t address, TRegState* regState, bool useRegState, TInstrInfo* info)
{
    TDisAsmEnvironment env;
    SetProcessDisAsmEnvironment(env);
    return InstructionTextIn(env, address, regState, useRegState, info);
}

bool AddNameComment(uintptr_t address, std::string& line)
{
    TDisAsmEnvironment env;
    SetProcessDisAsmEnvironment(env);
    return AddNameCommentIn(env, address, line);
}

void AddStringComment(uintptr_t instrAddress, uintptr_t address, bool readThrough, std::string& line)
{
    TDisAsmEnvironment env;
    SetProcessDisAsmEnvironment(env);
    AddStringCommentIn(env, instrAddress, address, readThrough, line);
}
