// The instruction decoder: prefixes, opcode maps, ModRM and SIB, immediates,
// the validity rules, branch targets and register tracking.
//
// Normal context: decoding is re-entrant and reads memory only through the
// TCodeMemory it is given.
#include <cstring>

#include "crashreport/diagnostics/zorDisAsm_Internal.h"

namespace zordisasm {

namespace {

// The one-byte and 0F maps of 64-bit code: the 32-bit rows with the rows of
// Mode64Ops laid over them.
struct TMapTables {
    TOpcodeRow oneByte[256];
    TOpcodeRow twoByte[256];
};

TMapTables BuildMode64Tables()
{
    TMapTables tables;
    memcpy(tables.oneByte, OneByteOps, sizeof(tables.oneByte));
    memcpy(tables.twoByte, TwoByteOps, sizeof(tables.twoByte));
    for (int i = 0; i < Mode64OpCount; ++i) {
        const TMode64Row& row = Mode64Ops[i];
        if (row.opcode < 0x100)
            tables.oneByte[row.opcode] = row.row;
        else
            tables.twoByte[row.opcode & 0xFF] = row.row;
    }
    return tables;
}

// Made before main from the constant tables.
const TMapTables Mode64TablesValue = BuildMode64Tables();

const TMapTables& Mode64Tables()
{
    return Mode64TablesValue;
}

// Opcodes of the one-byte (0-255) and 0F maps (256-511) whose operand size is
// 64 bits in 64-bit code without REX.W: stack operations and near branches.
struct TDefault64 {
    bool bits[512] = {};
    constexpr TDefault64()
    {
        for (int op = 0x50; op <= 0x5F; ++op)
            bits[op] = true;
        for (int op = 0x70; op <= 0x7F; ++op)
            bits[op] = true;
        for (int op : {0x68, 0x6A, 0x8F, 0x9C, 0x9D, 0xC2, 0xC3, 0xC9, 0xE8, 0xE9, 0xEB})
            bits[op] = true;
        for (int op = 0x80; op <= 0x8F; ++op)
            bits[256 + op] = true;
        for (int op : {0xA0, 0xA1, 0xA8, 0xA9})
            bits[256 + op] = true;
    }
};
constexpr TDefault64 Default64;

bool DefaultsTo64(uint16_t opcode, uint8_t reg)
{
    if (opcode == 0xFF)
        return reg == 2 || reg == 4 || reg == 6;
    if (opcode < 0x100)
        return Default64.bits[opcode];
    return (opcode >> 8) == 0x0F && Default64.bits[256 + (opcode & 0xFF)];
}

// Reads a little-endian value of size bytes at pos, sign-extended.
uint64_t SignedValue(const uint8_t* bytes, int size)
{
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    if (size < 8 && size > 0 && (bytes[size - 1] & 0x80) != 0)
        value |= ~0ull << (size * 8);
    return value;
}

// Map-1 VEX opcodes that carry an 8-bit immediate.
bool VexMap1HasImm(uint8_t op)
{
    return (op >= 0x70 && op <= 0x73) || op == 0xC2 || op == 0xC4 || op == 0xC5 || op == 0xC6;
}

class TDecoder {
public:
    TDecoder(const TCodeMemory& memory, TDecoded& d) : Memory(memory), D(d) {}

    // Steps 1-4; false when the bytes are no instruction (or ran out).
    bool Decode()
    {
        if (!ReadPrefixes())
            return false;
        if (!ReadOpcode())
            return false;
        if (D.hasModRm && !ReadModRm())
            return false;
        if (!ReadImmediate())
            return false;
        return Valid();
    }

    int Pos = 0;

private:
    const TCodeMemory& Memory;
    TDecoded& D;

    bool Is64() const { return D.mode == TCodeMode::Bits64; }

    bool Fetch(uint8_t& b)
    {
        if (Pos >= D.available)
            return false;
        b = D.bytes[Pos++];
        return true;
    }

    bool FetchValue(int size, uint64_t& value)
    {
        if (Pos + size > D.available) {
            Pos = D.available;
            return false;
        }
        value = SignedValue(D.bytes + Pos, size);
        Pos += size;
        return true;
    }

    bool ReadPrefixes()
    {
        for (;;) {
            uint8_t b;
            if (!Fetch(b))
                return false;
            switch (b) {
            case 0x66:
                D.opSize16 = D.has66 = true;
                break;
            case 0x67:
                D.addrSize = true;
                break;
            case 0xF0:
                D.lock = true;
                break;
            case 0xF2:
            case 0xF3:
                D.rep = b;
                if (Pos < D.available && D.bytes[Pos] != 0x0F)
                    D.repForgetsEcx = true;
                break;
            case 0x26:
            case 0x2E:
            case 0x36:
            case 0x3E:
            case 0x64:
            case 0x65:
                D.segment = b;
                break;
            default:
                if (Is64() && (b & 0xF0) == 0x40) {
                    D.rex = b;
                    continue; // a REX prefix counts only directly before the opcode
                }
                --Pos;
                return true;
            }
            D.rex = 0;
        }
    }

    bool ReadOpcode()
    {
        uint8_t b = 0;
        if (!Fetch(b))
            return false;
        TOpcodeRow row;
        if (b == 0x0F) {
            uint8_t b2;
            if (!Fetch(b2))
                return false;
            if (Is64() && (b2 == 0x38 || b2 == 0x3A)) {
                uint8_t b3;
                if (!Fetch(b3))
                    return false;
                D.info.opcodeMap = b2 == 0x38 ? 2 : 3;
                D.opcode = static_cast<uint16_t>((b2 == 0x38 ? 0x3800 : 0x3A00) | b3);
                row = {static_cast<uint16_t>(R_Vx | M16 | (b2 == 0x3A ? I_8 : 0)), 0};
            } else {
                D.info.opcodeMap = 1;
                D.opcode = static_cast<uint16_t>(0x0F00 | b2);
                row = Is64() ? Mode64Tables().twoByte[b2] : TwoByteOps[b2];
            }
        } else if (Is64() && (b == 0xC4 || b == 0xC5)) {
            if (!ReadVex(b, row))
                return false;
        } else {
            D.opcode = b;
            row = Is64() ? Mode64Tables().oneByte[b] : OneByteOps[b];
        }
        D.flags = row.flags;
        D.mnemonic = row.mnemonic;
        if (D.flags == Undef)
            return false;
        D.hasModRm = (D.flags & ModRmKindMask) != 0;
        SetSizes(0);
        return true;
    }

    // VEX C5 (two bytes) and C4 (three bytes): only how long the instruction is
    // and which map it belongs to.
    bool ReadVex(uint8_t first, TOpcodeRow& row)
    {
        if (D.has66 || D.rep != 0 || D.rex != 0 || D.lock)
            return false;
        uint8_t p1, p2 = 0, op;
        if (!Fetch(p1))
            return false;
        uint8_t map = 1;
        if (first == 0xC4) {
            if (!Fetch(p2))
                return false;
            map = p1 & 0x1F;
            if (map < 1 || map > 3)
                return false;
            D.rex = static_cast<uint8_t>(0x40 | ((~p1 >> 5) & 7) | ((p2 & 0x80) ? 8 : 0));
        } else {
            D.rex = static_cast<uint8_t>(0x40 | ((p1 & 0x80) ? 0 : 4));
        }
        if (!Fetch(op))
            return false;
        D.info.isVex = true;
        D.info.opcodeMap = map;
        D.opcode = static_cast<uint16_t>((map == 1 ? 0x0F00 : map == 2 ? 0x3800 : 0x3A00) | op);
        const bool hasModRm = !(map == 1 && op == 0x77);
        const bool hasImm = map == 3 || (map == 1 && VexMap1HasImm(op));
        row = {static_cast<uint16_t>((hasModRm ? R_Vx | M16 : 0) | (hasImm ? I_8 : 0)), 0};
        return true;
    }

    // Operand and address sizes (reg only matters for the FF group).
    void SetSizes(uint8_t reg)
    {
        if (Is64()) {
            if (D.RexW())
                D.operandSize = 8;
            else if (DefaultsTo64(D.opcode, reg))
                D.operandSize = D.opSize16 ? 2 : 8;
            else
                D.operandSize = D.opSize16 ? 2 : 4;
            D.addressBits = D.addrSize ? 32 : 64;
        } else {
            D.operandSize = D.opSize16 ? 2 : 4;
            D.addressBits = D.addrSize ? 16 : 32;
        }
    }

    bool ReadModRm()
    {
        uint8_t modRm;
        if (!Fetch(modRm))
            return false;
        D.modRm = modRm;
        D.info.modRm = modRm;
        D.mod = modRm >> 6;
        const uint8_t regLow = (modRm >> 3) & 7;
        const uint8_t rmLow = modRm & 7;
        D.reg = static_cast<uint8_t>(regLow | ((D.rex & 4) ? 8 : 0));
        D.rm = static_cast<uint8_t>(rmLow | ((D.rex & 1) ? 8 : 0));
        D.memory = D.mod != 3;
        if ((D.flags & ModRmKindMask) == M_Group) {
            const int row = GroupRowOf(D.opcode);
            D.flags = row < 0 ? Undef : GroupOps[row][(D.memory ? 0 : 8) + regLow];
            if (D.flags == Undef)
                return false;
        }
        if (D.opcode == 0xFF)
            SetSizes(regLow);
        if (!D.memory)
            return true;
        if (D.addressBits == 16)
            return ReadAddress16(rmLow);
        return ReadAddress32(rmLow);
    }

    bool ReadDisplacement(int size)
    {
        D.dispSize = static_cast<uint8_t>(size);
        D.dispAddress = WrapAddress(D.mode, D.info.address + static_cast<uint64_t>(Pos));
        uint64_t value;
        if (!FetchValue(size, value))
            return false;
        D.disp = static_cast<int64_t>(value);
        return true;
    }

    bool ReadAddress16(uint8_t rm)
    {
        // bx+si, bx+di, bp+si, bp+di, si, di, bp, bx (16-bit register numbers)
        static const int8_t Bases[8] = {3, 3, 5, 5, 6, 7, 5, 3};
        if (rm < 4)
            D.index = (rm & 1) ? 7 : 6;
        if (D.mod == 0 && rm == 6)
            return ReadDisplacement(2);
        D.base = Bases[rm];
        if (D.mod == 1)
            return ReadDisplacement(1);
        if (D.mod == 2)
            return ReadDisplacement(2);
        return true;
    }

    bool ReadAddress32(uint8_t rm)
    {
        if (rm == 4) {
            uint8_t sib;
            if (!Fetch(sib))
                return false;
            const uint8_t baseLow = sib & 7;
            const uint8_t index = static_cast<uint8_t>(((sib >> 3) & 7) | ((D.rex & 2) ? 8 : 0));
            if (index != 4) {
                D.index = static_cast<int8_t>(index);
                D.scale = static_cast<uint8_t>(1 << (sib >> 6));
            }
            if (baseLow == 5 && D.mod == 0)
                return ReadDisplacement(4);
            D.base = static_cast<int8_t>(baseLow | ((D.rex & 1) ? 8 : 0));
        } else if (rm == 5 && D.mod == 0) {
            if (Is64())
                D.base = RegRip;
            return ReadDisplacement(4);
        } else {
            D.base = static_cast<int8_t>(rm | ((D.rex & 1) ? 8 : 0));
        }
        if (D.mod == 1)
            return ReadDisplacement(1);
        if (D.mod == 2)
            return ReadDisplacement(4);
        return true;
    }

    bool ReadImmediate()
    {
        int size = 0;
        switch (D.flags & ImmMask) {
        case I_8:
            size = 1;
            break;
        case I_16:
            size = 2;
            break;
        case I_Op:
            size = D.operandSize == 2 ? 2 : 4;
            if (D.RexW() && D.opcode >= 0xB8 && D.opcode <= 0xBF)
                size = 8; // mov r64, imm64
            break;
        default:
            if (D.opcode == 0x9A || D.opcode == 0xEA) {
                size = D.operandSize;
                D.imm2Size = 2;
            } else if (D.opcode >= 0xA0 && D.opcode <= 0xA3 && D.info.opcodeMap == 0) {
                size = D.addressBits / 8;
            } else if (D.opcode == 0xC8) {
                size = 2;
                D.imm2Size = 1;
            }
            break;
        }
        if (size == 0)
            return true;
        D.immSize = static_cast<uint8_t>(size);
        D.immAddress = WrapAddress(D.mode, D.info.address + static_cast<uint64_t>(Pos));
        if (!FetchValue(size, D.imm))
            return false;
        if (D.imm2Size != 0 && !FetchValue(D.imm2Size, D.imm2))
            return false;
        return true;
    }

    bool Valid() const
    {
        const uint16_t op = D.opcode;
        const uint8_t reg = (D.modRm >> 3) & 7;
        const bool mem = D.memory;
        if (D.info.isVex || D.info.opcodeMap >= 2)
            return true;
        if (D.info.opcodeMap == 0) {
            switch (op) {
            case 0x62:
            case 0x8D:
            case 0xC4:
            case 0xC5:
                return mem;
            case 0x8C:
            case 0x8E:
                return reg < 6;
            case 0xFE:
                return reg <= 1;
            case 0xFF:
                return reg < 7 && ((reg != 3 && reg != 5) || mem);
            case 0xD9:
                return mem || !((D.modRm >= 0xD1 && D.modRm <= 0xD7) || D.modRm == 0xE2 || D.modRm == 0xE3 ||
                                D.modRm == 0xE6 || D.modRm == 0xE7 || D.modRm == 0xEF);
            case 0xDA:
                return mem || !(D.modRm == 0xE8 || (D.modRm >= 0xEA && D.modRm <= 0xEF));
            case 0xDB:
                return mem || !(D.modRm >= 0xE5 && D.modRm <= 0xE7);
            case 0xDF:
                return mem || !(D.modRm >= 0xE1 && D.modRm <= 0xE7);
            default:
                return true;
            }
        }
        const bool p66 = D.has66, pF2 = D.rep == 0xF2, pF3 = D.rep == 0xF3;
        switch (op) {
        case 0x0F00:
            return reg < 6;
        case 0x0F01:
            return reg != 5 && (mem || reg > 3);
        case 0x0F0D:
            return mem && reg <= 1;
        case 0x0F18:
            return mem && reg < 4;
        case 0x0F0F:
            return Name3DNow(static_cast<uint8_t>(D.imm)) != nullptr;
        case 0x0F20:
        case 0x0F21:
        case 0x0F22:
        case 0x0F23:
            return !mem;
        case 0x0F6C:
        case 0x0F6D:
            return p66;
        case 0x0F71:
        case 0x0F72:
            return !mem && (reg == 2 || reg == 4 || reg == 6);
        case 0x0F73:
            return !mem && (reg == 2 || reg == 3 || reg == 6 || reg == 7);
        case 0x0F7C:
        case 0x0F7D:
        case 0x0FD0:
            return p66 || pF2;
        case 0x0FD6:
        case 0x0FE6:
            return p66 || pF2 || pF3;
        case 0x0FF0:
            return pF2;
        case 0x0FAE:
            return reg == 7 || (reg <= 3 && mem) || ((reg == 5 || reg == 6) && !mem);
        case 0x0FB2:
        case 0x0FB4:
        case 0x0FB5:
        case 0x0FC3:
        case 0x0FC7:
            return mem;
        case 0x0FBA:
            return reg >= 4;
        default:
            return true;
        }
    }
};

// The register a write of an 8-bit register reaches: without REX, numbers
// 4-7 are ah, ch, dh, bh, parts of eax ... ebx.
int FullRegister(const TDecoded& d, int reg, bool byteSized)
{
    if (byteSized && d.rex == 0 && reg >= 4 && reg <= 7)
        return reg - 4;
    return reg;
}

// A register state being changed, and whether anything in it did.
struct TTrack {
    TRegState& s;
    bool changed = false;
};

void Set(TTrack& t, int reg, const TRegEntry& entry)
{
    if (reg < 0 || reg >= 16)
        return;
    TRegEntry& slot = t.s.regs[static_cast<size_t>(reg)];
    if (!(slot == entry)) {
        slot = entry;
        t.changed = true;
    }
}

void Forget(TTrack& t, int reg)
{
    Set(t, reg, TRegEntry{});
}

void ForgetAll(TTrack& t)
{
    for (int reg = 0; reg < 16; ++reg)
        Forget(t, reg);
}

bool ByteRegOperand(const TDecoded& d)
{
    return (d.flags & RegKindMask) == R_Gb && (d.flags & ModRmKindMask) != 0;
}

bool ByteRmOperand(const TDecoded& d)
{
    return (d.flags & ModRmKindMask) == M1;
}

// Step 6: the registers the instruction changes.
bool TrackRegisters(const TDecoded& d, TRegState& state)
{
    TTrack s{state};
    const bool is64 = d.mode == TCodeMode::Bits64;
    const uint16_t op = d.opcode;
    const uint8_t reg3 = (d.modRm >> 3) & 7;
    const int opReg = (op & 7) | ((d.rex & 1) ? 8 : 0);
    const bool regForm = d.hasModRm && !d.memory;
    const bool byteOpReg = (d.flags & RegKindMask) == O_Zb && !d.hasModRm;

    if (d.repForgetsEcx)
        Forget(s, 1);
    switch (d.flags & WriteMask) {
    case W_Reg:
        Forget(s, FullRegister(d, d.reg, ByteRegOperand(d)));
        break;
    case W_Rm:
        if (regForm)
            Forget(s, FullRegister(d, d.rm, ByteRmOperand(d)));
        break;
    case W_Op:
        Forget(s, FullRegister(d, opReg, byteOpReg));
        break;
    case W_EAX:
        Forget(s, 0);
        break;
    case W_RegRm:
        Forget(s, FullRegister(d, d.reg, ByteRegOperand(d)));
        if (regForm)
            Forget(s, FullRegister(d, d.rm, ByteRmOperand(d)));
        break;
    case W_EAXRm:
        Forget(s, 0);
        if (regForm)
            Forget(s, FullRegister(d, d.rm, ByteRmOperand(d)));
        break;
    case W_EAXOp:
        Forget(s, 0);
        Forget(s, opReg);
        break;
    default:
        break;
    }

    if (d.info.opcodeMap == 0) {
        if (op >= 0xB8 && op <= 0xBF && !d.opSize16) {
            uint64_t value = d.imm;
            if (d.immSize == 4)
                value &= 0xFFFFFFFFu; // a 32-bit load clears the upper half
            Set(s, opReg, {d.immAddress, value});
        } else if (op == 0xC7 && regForm && !d.opSize16) {
            const uint64_t value = d.RexW() ? d.imm : (d.imm & 0xFFFFFFFFu);
            Set(s, d.rm, {d.immAddress, value});
        } else if ((op == 0x8B || (is64 && op == 0x89)) && regForm) {
            const int to = op == 0x8B ? d.reg : d.rm;
            const int from = op == 0x8B ? d.rm : d.reg;
            TRegEntry entry = state.regs[static_cast<size_t>(from)];
            if (is64 && d.operandSize != 8) {
                // A 32-bit move clears the upper half; a 16-bit one keeps it.
                if (d.operandSize == 2 || entry.value > 0xFFFFFFFFu)
                    entry = TRegEntry{};
            }
            Set(s, to, entry);
        } else if (is64 && op == 0x8D && d.base == RegRip && d.index == RegNone && d.operandSize == 8) {
            Set(s, d.reg, {d.dispAddress, static_cast<uint64_t>(d.info.next + static_cast<uint64_t>(d.disp))});
        }
        switch (op) {
        case 0x61:
            ForgetAll(s);
            break;
        case 0x6C:
        case 0x6D:
        case 0xAA:
        case 0xAB:
        case 0xAE:
        case 0xAF:
            Forget(s, 7);
            break;
        case 0x6E:
        case 0x6F:
        case 0xAC:
        case 0xAD:
            Forget(s, 6);
            break;
        case 0xA4:
        case 0xA5:
        case 0xA6:
        case 0xA7:
            Forget(s, 6);
            Forget(s, 7);
            break;
        case 0x99:
            Forget(s, 2);
            break;
        case 0xC8:
        case 0xC9:
            Forget(s, 5);
            break;
        case 0xE0:
        case 0xE1:
        case 0xE2:
            Forget(s, 1);
            break;
        case 0xF7:
            if (reg3 >= 4)
                Forget(s, 2);
            break;
        case 0xDF:
            if (d.modRm == 0xE0)
                Forget(s, 0);
            break;
        case 0x80:
        case 0x81:
        case 0x82:
        case 0x83:
            if (reg3 != 7 && regForm)
                Forget(s, FullRegister(d, d.rm, op == 0x80 || op == 0x82));
            break;
        case 0xFF:
            if (reg3 <= 1 && regForm)
                Forget(s, d.rm);
            break;
        default:
            break;
        }
    } else if (d.info.opcodeMap == 1 && !d.info.isVex) {
        switch (op) {
        case 0x0FA2:
            Forget(s, 0);
            Forget(s, 1);
            Forget(s, 2);
            Forget(s, 3);
            break;
        case 0x0FBA:
            if (reg3 >= 5 && regForm)
                Forget(s, d.rm);
            break;
        case 0x0F00:
            if (reg3 <= 1 && regForm)
                Forget(s, d.rm);
            break;
        case 0x0F01:
            if (reg3 == 4 && regForm)
                Forget(s, d.rm);
            break;
        case 0x0FC7:
        case 0x0F31:
        case 0x0F32:
        case 0x0F33:
            Forget(s, 2);
            break;
        case 0x0F2C:
        case 0x0F2D:
            if (d.rep != 0)
                Forget(s, d.reg);
            break;
        case 0x0F7E:
        case 0x0F7F:
            if (d.rep != 0xF3 && regForm)
                Forget(s, d.rm);
            break;
        case 0x0F05: // syscall: the result, and the return address and flags the CPU keeps
            Forget(s, 0);
            Forget(s, 1);
            Forget(s, 11);
            break;
        default:
            break;
        }
    } else if (d.hasModRm && !d.memory) {
        // Other maps: a general register in the reg field may be written.
        Forget(s, d.reg);
    }
    // In 64-bit code a call clobbers the registers the calling convention
    // lets the callee change, so values tracked before it are gone after it.
    if (is64 && d.info.isCall) {
        static const int Volatile[] = {0, 1, 2, 6, 7, 8, 9, 10, 11};
        for (int r : Volatile)
            Forget(s, r);
    }
    return s.changed;
}

// Step 5: where a call or jump goes.
void FindTarget(const TCodeMemory& memory, TDecoded& d, const TRegState* regState, bool useRegState)
{
    TInstrInfo& info = d.info;
    const bool is64 = d.mode == TCodeMode::Bits64;
    const uint16_t op = d.opcode;
    const int pointerSize = is64 ? 8 : 4;
    if (d.flags & F_Rel) {
        info.isRelative = true;
        info.target = WrapAddress(d.mode, info.next + d.imm);
        info.targetField = d.immAddress;
        info.targetSize = d.immSize;
        info.isCall = op == 0xE8;
        info.isJump = !info.isCall;
        info.redirectable = !(op >= 0xE0 && op <= 0xE3);
    } else if (op == 0x9A && info.opcodeMap == 0) {
        info.isCall = true;
    } else if (op == 0xEA && info.opcodeMap == 0) {
        info.isJump = true;
    } else if (op == 0xFF && info.opcodeMap == 0) {
        const uint8_t reg3 = (d.modRm >> 3) & 7;
        if (reg3 < 2 || reg3 > 5)
            return;
        info.isCall = reg3 <= 3;
        info.isJump = !info.isCall;
        // A segment prefix changes where the pointer is; in 64-bit code only fs and gs do.
        const bool segmented = is64 ? (d.segment == 0x64 || d.segment == 0x65) : d.segment != 0;
        auto readPointer = [&](uintptr_t slot) {
            uint64_t value = 0;
            if (!memory.Read(slot, &value, static_cast<size_t>(pointerSize))) {
                info.valid = false;
                return;
            }
            info.target = WrapAddress(d.mode, value);
        };
        const bool bareAddress = d.memory && d.index == RegNone && d.addressBits != 16 &&
                                 (d.base == RegNone || d.base == RegRip) && d.dispSize == 4;
        if (bareAddress) {
            info.targetSlotField = d.dispAddress;
            info.targetSize = pointerSize;
            info.redirectable = true;
            if (!segmented) {
                const uint64_t slot =
                    d.base == RegRip ? info.next + static_cast<uint64_t>(d.disp) : static_cast<uint64_t>(d.disp);
                readPointer(WrapAddress(d.mode, slot));
            }
        } else if (useRegState && regState != nullptr) {
            const int baseReg = d.memory ? d.base : d.rm;
            if (baseReg < 0 || baseReg >= 16 || (d.memory && (d.index != RegNone || d.dispSize != 0)))
                return;
            const TRegEntry& entry = regState->regs[static_cast<size_t>(baseReg)];
            if (entry.field == 0)
                return;
            info.targetSize = pointerSize;
            if (d.memory) {
                info.targetSlotField = entry.field;
                if (!segmented)
                    readPointer(WrapAddress(d.mode, entry.value));
            } else {
                info.targetField = entry.field;
                info.target = WrapAddress(d.mode, entry.value);
            }
        }
    }
    if ((info.isCall || info.isJump) && info.valid && info.target == info.next &&
        (info.targetField != 0 || info.targetSlotField != 0)) {
        // A call to the next instruction only pushes its address.
        info.isCall = info.isJump = false;
        info.isRelative = false;
        info.target = info.targetField = info.targetSlotField = 0;
        info.targetSize = 0;
        info.redirectable = false;
    }
}

} // namespace

void DecodeFull(const TCodeMemory& memory, uintptr_t address, TRegState* regState, bool useRegState, TCodeMode mode,
                TDecoded& d)
{
    d.mode = mode;
    address = WrapAddress(mode, address);
    d.info.address = address;
    d.available = static_cast<uint8_t>(memory.ReadPrefix(address, d.bytes, MaxInstructionLength));
    TDecoder decoder(memory, d);
    const bool valid = decoder.Decode();
    d.info.opcode = d.opcode;
    d.info.next = WrapAddress(mode, address + static_cast<uint64_t>(decoder.Pos));
    if (!valid)
        return;
    d.info.valid = true;
    d.info.length = static_cast<uint8_t>(decoder.Pos);
    const uint16_t op = d.opcode;
    d.info.isReturn = d.info.opcodeMap == 0 && (op == 0xC2 || op == 0xC3 || op == 0xCA || op == 0xCB || op == 0xCF);
    FindTarget(memory, d, regState, useRegState);
    if (!d.info.valid) {
        // The pointer could not be read: an invalid instruction says nothing more.
        TInstrInfo invalid;
        invalid.address = d.info.address;
        invalid.next = d.info.next;
        invalid.opcode = d.info.opcode;
        invalid.modRm = d.info.modRm;
        invalid.opcodeMap = d.info.opcodeMap;
        d.info = invalid;
        return;
    }
    if (regState != nullptr)
        d.stateChanged = TrackRegisters(d, *regState);
}

} // namespace zordisasm

using namespace zordisasm;

TInstrInfo DecodeInstructionIn(const TCodeMemory& memory, uintptr_t address, TRegState* regState, bool useRegState,
                               TCodeMode mode)
{
    TDecoded d;
    DecodeFull(memory, address, regState, useRegState, mode, d);
    return d.info;
}

TInstrInfo DecodeInstruction(uintptr_t address, TCodeMode mode)
{
    return DecodeInstructionIn(TProcessMemory(), address, nullptr, false, mode);
}

TInstrInfo DecodeInstructionSnap(uintptr_t address, const TDATryRead* snapshot, TCodeMode mode)
{
    return DecodeInstructionIn(TProcessMemory(snapshot), address, nullptr, false, mode);
}

TInstrInfo DecodeInstructionFull(uintptr_t address, TRegState* regState, bool useRegState, const TDATryRead* snapshot,
                                 TCodeMode mode)
{
    return DecodeInstructionIn(TProcessMemory(snapshot), address, regState, useRegState, mode);
}
