// The call-frame rules of the loaded modules (.eh_frame), read here to step a
// saved register set outwards frame by frame. A report traces every thread of
// the process and each of them steps through hundreds of frames: the rules of
// an address are worked out once per process and kept, and the stack is read
// through the tracer's snapshot, so a later report costs no system call per
// frame. Anything these rules cannot express (expressions, frames without
// rules) makes the walk give up, and the caller uses libunwind instead.
#include "crashreport/diagnostics/zorStackTrace_Cfi.h"

#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "crashreport/diagnostics/zorDisAsm.h"

// The run-time's own look-up of the frame description entry that covers an
// address (the loader's table of .eh_frame_hdr search tables).
struct TEhBases {
    void* TextBase;
    void* DataBase;
    void* Function;
};
extern "C" const void* _Unwind_Find_FDE(void* pc, TEhBases* bases);

namespace {

// DWARF register numbers of x86-64: rax, rdx, rcx, rbx, rsi, rdi, rbp, rsp,
// r8 .. r15, and the return address column.
constexpr int Gregs[CfiRegisterCount] = {REG_RAX, REG_RDX, REG_RCX, REG_RBX, REG_RSI, REG_RDI, REG_RBP, REG_RSP, REG_R8,
                                         REG_R9,  REG_R10, REG_R11, REG_R12, REG_R13, REG_R14, REG_R15, REG_RIP};
// Kept by the callee unless its rules say where they went.
constexpr bool CalleeSaved[CfiRegisterCount] = {false, false, false, true, false, false, true, true, false,
                                                false, false, false, true, true,  true,  true, false};

// Bounded reading of the entries: a byte past End makes the reader fail.
struct TReader {
    const uint8_t* At;
    const uint8_t* End;
    bool Ok = true;

    uint8_t Byte()
    {
        if (At >= End) {
            Ok = false;
            return 0;
        }
        return *At++;
    }
    uint64_t Fixed(size_t size)
    {
        if (static_cast<size_t>(End - At) < size) {
            Ok = false;
            At = End;
            return 0;
        }
        uint64_t value = 0;
        std::memcpy(&value, At, size); // little-endian, like the entries
        At += size;
        return value;
    }
    uint64_t Uleb()
    {
        uint64_t value = 0;
        for (unsigned shift = 0;; shift += 7) {
            const uint8_t b = Byte();
            if (!Ok)
                return 0;
            if (shift < 64)
                value |= static_cast<uint64_t>(b & 0x7F) << shift;
            if ((b & 0x80) == 0)
                return value;
        }
    }
    int64_t Sleb()
    {
        uint64_t value = 0;
        unsigned shift = 0;
        uint8_t b = 0;
        do {
            b = Byte();
            if (!Ok)
                return 0;
            if (shift < 64)
                value |= static_cast<uint64_t>(b & 0x7F) << shift;
            shift += 7;
        } while ((b & 0x80) != 0);
        if (shift < 64 && (b & 0x40) != 0)
            value |= ~uint64_t(0) << shift;
        return static_cast<int64_t>(value);
    }
    // A pointer in the given encoding; only its size matters to the caller
    // except for DW_CFA_set_loc, which gives up on anything but absolute and
    // PC-relative forms.
    uint64_t Encoded(uint8_t encoding)
    {
        if (encoding == 0xFF)
            return 0;
        const uint8_t* field = At;
        uint64_t value = 0;
        switch (encoding & 0x0F) {
        case 0x00:
            value = Fixed(8);
            break;
        case 0x01:
            value = Uleb();
            break;
        case 0x02:
            value = Fixed(2);
            break;
        case 0x03:
            value = Fixed(4);
            break;
        case 0x04:
            value = Fixed(8);
            break;
        case 0x09:
            value = static_cast<uint64_t>(Sleb());
            break;
        case 0x0A:
            value = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(Fixed(2))));
            break;
        case 0x0B:
            value = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(Fixed(4))));
            break;
        case 0x0C:
            value = Fixed(8);
            break;
        default:
            Ok = false;
            return 0;
        }
        switch (encoding & 0x70) {
        case 0x00:
            break;
        case 0x10:
            value += reinterpret_cast<uintptr_t>(field);
            break;
        default:
            Ok = false;
            return 0;
        }
        if ((encoding & 0x80) != 0)
            Ok = false; // indirect: not needed for the fields stepped over
        return value;
    }
};

// The length field of an entry: where its contents start and end.
bool EntryBounds(const uint8_t* entry, const uint8_t*& body, const uint8_t*& end)
{
    uint32_t length32 = 0;
    std::memcpy(&length32, entry, 4);
    uint64_t length = length32;
    body = entry + 4;
    if (length32 == 0xFFFFFFFFu) {
        std::memcpy(&length, entry + 4, 8);
        body = entry + 12;
    }
    if (length == 0 || length > (uint64_t(1) << 30))
        return false;
    end = body + length;
    return true;
}

struct TCie {
    uint64_t CodeAlign = 1;
    int64_t DataAlign = 1;
    uint64_t ReturnColumn = CfiReturnColumn;
    uint8_t FdeEncoding = 0;
    bool HasAugmentationLength = false;
    bool SignalFrame = false;
    const uint8_t* Instructions = nullptr;
    const uint8_t* End = nullptr;
};

bool ParseCie(const uint8_t* entry, TCie& cie)
{
    const uint8_t* body = nullptr;
    if (!EntryBounds(entry, body, cie.End))
        return false;
    TReader r{body, cie.End};
    if (r.Fixed(4) != 0) // a CIE's id in .eh_frame
        return false;
    const uint8_t version = r.Byte();
    std::string augmentation;
    for (uint8_t c = r.Byte(); r.Ok && c != 0; c = r.Byte())
        augmentation.push_back(static_cast<char>(c));
    if (augmentation.find("eh") != std::string::npos)
        r.Fixed(8);
    cie.CodeAlign = r.Uleb();
    cie.DataAlign = r.Sleb();
    cie.ReturnColumn = version == 1 ? r.Byte() : r.Uleb();
    if (!augmentation.empty() && augmentation[0] == 'z') {
        cie.HasAugmentationLength = true;
        const uint64_t length = r.Uleb();
        if (!r.Ok || length > static_cast<uint64_t>(r.End - r.At))
            return false;
        const uint8_t* after = r.At + length;
        for (size_t i = 1; i < augmentation.size() && r.Ok; ++i) {
            switch (augmentation[i]) {
            case 'R':
                cie.FdeEncoding = r.Byte();
                break;
            case 'L':
                r.Byte();
                break;
            case 'P': {
                const uint8_t encoding = r.Byte();
                r.Encoded(encoding & 0x7F); // the routine's address itself is not needed
                break;
            }
            case 'S':
                cie.SignalFrame = true;
                break;
            default:
                i = augmentation.size();
                break; // the length skips the rest
            }
        }
        r.At = after;
    } else if (!augmentation.empty() && augmentation != "eh") {
        return false;
    }
    cie.Instructions = r.At;
    return r.Ok && cie.ReturnColumn == CfiReturnColumn;
}

// Runs the rule instructions from the start of a function up to pc.
class TRuleMachine {
public:
    TRuleMachine(const TCie& cie, TCfiRow& row) : Cie(cie), Row(row) {}

    // False when an instruction is unknown or the bytes end inside one.
    bool Run(const uint8_t* at, const uint8_t* end, uint64_t location, uint64_t pc, bool initial)
    {
        TReader r{at, end};
        while (r.Ok && r.At < r.End) {
            const uint8_t op = r.Byte();
            const uint8_t high = op & 0xC0, low = op & 0x3F;
            uint64_t advance = 0;
            if (high == 0x40) {
                advance = low * Cie.CodeAlign;
            } else if (high == 0x80) {
                Set(low, TCfiRuleKind::Offset, static_cast<int64_t>(r.Uleb()) * Cie.DataAlign);
            } else if (high == 0xC0) {
                Restore(low);
            } else {
                switch (op) {
                case 0x00:
                    break;
                case 0x01: {
                    const uint64_t target = r.Encoded(Cie.FdeEncoding);
                    if (target < location)
                        return false;
                    advance = target - location;
                    break;
                }
                case 0x02:
                    advance = r.Fixed(1) * Cie.CodeAlign;
                    break;
                case 0x03:
                    advance = r.Fixed(2) * Cie.CodeAlign;
                    break;
                case 0x04:
                    advance = r.Fixed(4) * Cie.CodeAlign;
                    break;
                case 0x05: {
                    const uint64_t reg = r.Uleb();
                    Set(reg, TCfiRuleKind::Offset, static_cast<int64_t>(r.Uleb()) * Cie.DataAlign);
                    break;
                }
                case 0x06:
                    Restore(r.Uleb());
                    break;
                case 0x07:
                    Set(r.Uleb(), TCfiRuleKind::Undefined, 0);
                    break;
                case 0x08:
                    Set(r.Uleb(), TCfiRuleKind::Same, 0);
                    break;
                case 0x09: {
                    const uint64_t reg = r.Uleb();
                    Set(reg, TCfiRuleKind::Register, static_cast<int64_t>(r.Uleb()));
                    break;
                }
                case 0x0A:
                    if (Saved.size() >= 64)
                        return false;
                    Saved.push_back(Row);
                    break;
                case 0x0B: // the CFA rule comes back too
                    if (Saved.empty())
                        return false;
                    Row = Saved.back();
                    Saved.pop_back();
                    break;
                case 0x0C:
                    Row.CfaRegister = static_cast<int>(r.Uleb());
                    Row.CfaOffset = static_cast<int64_t>(r.Uleb());
                    break;
                case 0x0D:
                    Row.CfaRegister = static_cast<int>(r.Uleb());
                    break;
                case 0x0E:
                    Row.CfaOffset = static_cast<int64_t>(r.Uleb());
                    break;
                case 0x0F: // CFA by expression
                    r.At += std::min<uint64_t>(r.Uleb(), static_cast<uint64_t>(r.End - r.At));
                    Row.CfaRegister = -1;
                    break;
                case 0x10:
                case 0x16: { // a register by expression
                    const uint64_t reg = r.Uleb();
                    r.At += std::min<uint64_t>(r.Uleb(), static_cast<uint64_t>(r.End - r.At));
                    Set(reg, TCfiRuleKind::Unsupported, 0);
                    break;
                }
                case 0x11: {
                    const uint64_t reg = r.Uleb();
                    Set(reg, TCfiRuleKind::Offset, r.Sleb() * Cie.DataAlign);
                    break;
                }
                case 0x12:
                    Row.CfaRegister = static_cast<int>(r.Uleb());
                    Row.CfaOffset = r.Sleb() * Cie.DataAlign;
                    break;
                case 0x13:
                    Row.CfaOffset = r.Sleb() * Cie.DataAlign;
                    break;
                case 0x14: {
                    const uint64_t reg = r.Uleb();
                    Set(reg, TCfiRuleKind::ValOffset, static_cast<int64_t>(r.Uleb()) * Cie.DataAlign);
                    break;
                }
                case 0x15: {
                    const uint64_t reg = r.Uleb();
                    Set(reg, TCfiRuleKind::ValOffset, r.Sleb() * Cie.DataAlign);
                    break;
                }
                case 0x2E:
                    r.Uleb();
                    break; // argument size: no rule
                case 0x2F: {
                    const uint64_t reg = r.Uleb();
                    Set(reg, TCfiRuleKind::Offset, -static_cast<int64_t>(r.Uleb()) * Cie.DataAlign);
                    break;
                }
                default:
                    return false;
                }
            }
            if (!r.Ok)
                return false;
            if (advance != 0) {
                if (!initial && location + advance > pc)
                    return true;
                location += advance;
            }
        }
        if (initial)
            Initial = Row.Rules;
        return r.Ok;
    }

private:
    const TCie& Cie;
    TCfiRow& Row;
    std::array<TCfiRule, CfiRegisterCount> Initial{};
    std::vector<TCfiRow> Saved;

    void Set(uint64_t reg, TCfiRuleKind kind, int64_t value)
    {
        if (reg < CfiRegisterCount)
            Row.Rules[reg] = {kind, value};
    }
    void Restore(uint64_t reg)
    {
        if (reg < CfiRegisterCount)
            Row.Rules[reg] = Initial[reg];
    }
};

// The rows already worked out, by address: the same return addresses come
// back in every report.
struct TRowCache {
    std::mutex Lock;
    std::unordered_map<uintptr_t, TCfiRow> Rows;
};

TRowCache& RowCache()
{
    static auto* cache = new TRowCache; // lives to the end, also for late reports
    return *cache;
}

TCfiRow CachedRowAt(uintptr_t pc)
{
    TRowCache& cache = RowCache();
    std::lock_guard guard(cache.Lock);
    auto it = cache.Rows.find(pc);
    if (it != cache.Rows.end())
        return it->second;
    if (cache.Rows.size() >= 65536)
        cache.Rows.clear();
    TCfiRow row;
    TEhBases bases{};
    if (const void* fde = _Unwind_Find_FDE(reinterpret_cast<void*>(pc), &bases))
        row = CfiRowFromEntry(static_cast<const uint8_t*>(fde), reinterpret_cast<uintptr_t>(bases.Function), pc);
    cache.Rows.emplace(pc, row);
    return row;
}

} // namespace

TCfiRow CfiRowFromEntry(const uint8_t* fde, uintptr_t functionStart, uintptr_t pc)
{
    TCfiRow row;
    const uint8_t* body = nullptr;
    const uint8_t* end = nullptr;
    if (!EntryBounds(fde, body, end))
        return row;
    uint32_t cieOffset = 0;
    std::memcpy(&cieOffset, body, 4);
    TCie cie;
    if (cieOffset == 0 || !ParseCie(body - cieOffset, cie))
        return row;
    TReader r{body + 4, end};
    r.Encoded(cie.FdeEncoding);        // the start: the caller knows it
    r.Encoded(cie.FdeEncoding & 0x0F); // the length
    if (cie.HasAugmentationLength) {
        const uint64_t length = r.Uleb();
        if (!r.Ok || length > static_cast<uint64_t>(r.End - r.At))
            return row;
        r.At += length;
    }
    if (!r.Ok)
        return row;
    TRuleMachine machine(cie, row);
    if (!machine.Run(cie.Instructions, cie.End, functionStart, pc, true) ||
        !machine.Run(r.At, end, functionStart, pc, false))
        return TCfiRow{};
    row.SignalFrame = cie.SignalFrame;
    row.Valid = true;
    return row;
}

bool UnwindContextByRules(const ucontext_t& context, const TDATryRead* snapshot, std::vector<TUnwoundFrame>& frames)
{
    frames.clear();
    std::array<uint64_t, CfiRegisterCount> value{};
    std::array<bool, CfiRegisterCount> known{};
    for (int i = 0; i < CfiRegisterCount; ++i) {
        value[i] = static_cast<uint64_t>(context.uc_mcontext.gregs[Gregs[i]]);
        known[i] = true;
    }
    bool exact = true; // the first address is the instruction itself
    for (int n = 0; n < 4096; ++n) {
        const uint64_t ip = value[CfiReturnColumn];
        if (ip == 0)
            return true;
        frames.push_back({static_cast<uintptr_t>(ip), n > 0 ? static_cast<uintptr_t>(value[CfiStackPointer]) - 8 : 0});
        const TCfiRow row = CachedRowAt(static_cast<uintptr_t>(exact ? ip : ip - 1));
        if (!row.Valid || row.CfaRegister < 0 || row.CfaRegister >= CfiRegisterCount || !known[row.CfaRegister])
            return false;
        const uint64_t cfa = value[row.CfaRegister] + static_cast<uint64_t>(row.CfaOffset);
        std::array<uint64_t, CfiRegisterCount> next = value;
        std::array<bool, CfiRegisterCount> nextKnown{};
        for (int i = 0; i < CfiRegisterCount; ++i) {
            const TCfiRule& rule = row.Rules[i];
            switch (rule.Kind) {
            case TCfiRuleKind::Default:
                if (i == CfiReturnColumn)
                    return false; // a return address without a rule
                nextKnown[i] = known[i] && CalleeSaved[i];
                break;
            case TCfiRuleKind::Same:
                nextKnown[i] = known[i];
                break;
            case TCfiRuleKind::Undefined:
                if (i == CfiReturnColumn)
                    return true; // the outermost frame
                break;
            case TCfiRuleKind::Offset:
                if (!ReadMemorySafe(static_cast<uintptr_t>(cfa + static_cast<uint64_t>(rule.Value)), &next[i], 8,
                                    snapshot))
                    return false;
                nextKnown[i] = true;
                break;
            case TCfiRuleKind::ValOffset:
                next[i] = cfa + static_cast<uint64_t>(rule.Value);
                nextKnown[i] = true;
                break;
            case TCfiRuleKind::Register:
                if (rule.Value < 0 || rule.Value >= CfiRegisterCount || !known[rule.Value])
                    return false;
                next[i] = value[rule.Value];
                nextKnown[i] = true;
                break;
            case TCfiRuleKind::Unsupported:
                return false;
            }
        }
        // The caller's stack pointer is the frame's CFA; it only grows outwards.
        if (cfa <= value[CfiStackPointer])
            return false;
        next[CfiStackPointer] = cfa;
        nextKnown[CfiStackPointer] = true;
        exact = row.SignalFrame;
        value = next;
        known = nextKnown;
    }
    return true;
}
