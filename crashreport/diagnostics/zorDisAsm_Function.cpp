// Function analysis: which bytes belong to a function, in which code ranges,
// where its case tables lie, and which branches leave it or cannot be known.
//
// Two ways to the answer. Without a known extent the control flow is
// followed from the entry (the only way for 32-bit code and for code without
// unwind tables). For this program's own 64-bit code the unwind tables (or
// the symbol table) say exactly which bytes the function has; then those
// bytes are read in order and the control flow only places the labels.
//
// Normal context (the reporter's handler thread): allocates.
#include <algorithm>
#include <cerrno>
#include <map>

#include "crashreport/diagnostics/zorDisAsm_Internal.h"
#include "crashreport/diagnostics/zorStrings.h"

using namespace zordisasm;

namespace {

// A case table or handler table longer than this is garbage, not a table.
constexpr uint32_t MostTableEntries = 4096;
// The gap search gives up this far before the known end.
constexpr uintptr_t GapSearchReach = 1024;
// A bound on the main loop's rounds, against pathological inputs.
constexpr int MostRounds = 100000;

bool IsTable(const TCodeRange& range)
{
    return range.isCaseTable || range.isHandlerTable;
}

// Keeps only the entries on which both states agree.
void Intersect(TRegState& into, const TRegState& other)
{
    for (size_t i = 0; i < into.regs.size(); ++i)
        if (!(into.regs[i] == other.regs[i]))
            into.regs[i] = TRegEntry{};
}

bool IsUnconditionalJump(const TDecoded& d)
{
    if (d.info.opcodeMap != 0)
        return false;
    const uint8_t reg = (d.modRm >> 3) & 7;
    return d.opcode == 0xE9 || d.opcode == 0xEA || d.opcode == 0xEB || (d.opcode == 0xFF && (reg == 4 || reg == 5));
}

std::string ExportName(const TDisAsmEnvironment& env, uintptr_t address)
{
    return env.exportNameOf != nullptr ? env.exportNameOf(env, address) : std::string();
}

// Sets the source of a range that a branch leads to: the first one, or one
// that lies between the old source and the range's start.
void OfferSource(TCodeRange& range, uintptr_t source)
{
    if (source == 0)
        return;
    if (range.source == 0) {
        range.source = source;
        return;
    }
    const uintptr_t low = std::min(range.source, range.start), high = std::max(range.source, range.start);
    if (source > low && source < high)
        range.source = source;
}

void ComputeExtent(TFunctionInfo& info, bool codeOnly)
{
    uintptr_t low = ~uintptr_t(0), high = 0;
    for (const TCodeRange& r : info.ranges) {
        if (codeOnly && IsTable(r))
            continue;
        low = std::min(low, r.start);
        high = std::max(high, r.last);
    }
    if (high < low)
        return;
    info.codeStart = low;
    info.codeSize = static_cast<uint32_t>(high - low + 1);
}

// Step 7: may the entry be overwritten by a 5-byte jump?
void ComputePatchability(const TDisAsmEnvironment& env, TFunctionInfo& info)
{
    info.patchable = false;
    if (info.ranges.empty())
        return;
    uint64_t sum = 0;
    const TCodeRange* range = &info.ranges[0];
    for (size_t guard = 0; guard < info.ranges.size(); ++guard) {
        if (IsTable(*range) || range->source != 0)
            break;
        sum += range->last - range->start + 1;
        const TCodeRange* next = nullptr;
        for (size_t i = 1; i < info.ranges.size(); ++i)
            if (info.ranges[i].start == range->last + 1)
                next = &info.ranges[i];
        if (next == nullptr)
            break;
        range = next;
    }
    if (sum < 6)
        return;
    info.patchable = true;
    for (uintptr_t at = info.entry; at < info.entry + 6;) {
        const TInstrInfo in = DecodeInstructionIn(*env.memory, at, nullptr, false, env.mode);
        if (!in.valid)
            break;
        if ((in.isCall || in.isJump) && (in.targetField != 0 || in.targetSlotField != 0) && !in.redirectable &&
            in.targetSize < 4)
            info.patchable = false;
        at = in.next;
    }
}

class TAnalyser {
public:
    TAnalyser(const TDisAsmEnvironment& env, const TKnownRoutines& known, TFunctionInfo& info)
        : Env(env), Mem(*env.memory), Known(known), Info(info)
    {
    }

    void Run(uintptr_t entry)
    {
        Info = TFunctionInfo{};
        uint8_t probe;
        if (!Mem.Read(entry, &probe, 1)) {
            Info.errorAddress = entry;
            Info.errorCode = AnalysisErrorNoMemory;
            // 87 is the code callers know; the text is this system's for an address without memory.
            Info.errorText = ErrorCodeTextA(EFAULT);
            return;
        }
        Info.entry = entry;
        Info.copyPlan.possible = true;
        TFunctionExtent extent;
        if (Env.mode == TCodeMode::Bits64 && Env.functionExtentOf != nullptr &&
            Env.functionExtentOf(Env, entry, extent) && entry >= extent.start && entry < extent.end) {
            if (!ReadExtent(entry, extent))
                return Fail();
        } else if (!FollowControlFlow(entry)) {
            return Fail();
        }
        Info.ranges.shrink_to_fit();
        Info.valid = true;
        ComputeExtent(Info, Env.mode == TCodeMode::Bits64);
        Info.copyPlan.size += Info.codeSize + 4;
        ComputePatchability(Env, Info);
    }

private:
    const TDisAsmEnvironment& Env;
    const TCodeMemory& Mem;
    const TKnownRoutines& Known;
    TFunctionInfo& Info;
    std::vector<TCodeRange>& Ranges = Info.ranges;
    TRegState Work;
    int Parsing = -1;
    uintptr_t ImageLow = 0, ImageLast = ~uintptr_t(0);
    uintptr_t FailAddress = 0;

    void Fail()
    {
        Info.valid = false;
        Info.errorAddress = FailAddress;
        Info.errorCode = AnalysisErrorInvalidCode;
        Info.errorText = "Invalid code!";
    }

    bool Read32(uintptr_t address, uint32_t& value) const { return Mem.Read(address, &value, 4); }

    // -----------------------------------------------------------------------
    // Ranges

    bool AnyWaiting() const
    {
        for (const TCodeRange& r : Ranges)
            if (r.last == 0 && !IsTable(r))
                return true;
        return false;
    }

    void AddRange(uintptr_t address, uintptr_t source)
    {
        for (TCodeRange& r : Ranges) {
            if (!IsTable(r) && r.start == address) {
                OfferSource(r, source);
                Intersect(r.regState, Work);
                return;
            }
        }
        for (size_t i = 0; i < Ranges.size(); ++i) {
            TCodeRange& r = Ranges[i];
            if (IsTable(r) || r.last == 0 || address <= r.start || address > r.last)
                continue;
            TCodeRange split;
            split.start = address;
            split.last = r.last;
            split.source = source;
            r.last = address - 1;
            Intersect(Work, r.regState);
            split.regState = Work;
            Ranges.push_back(split);
            if (Parsing == static_cast<int>(i))
                Parsing = static_cast<int>(Ranges.size()) - 1;
            return;
        }
        TCodeRange range;
        range.start = address;
        range.source = source;
        range.regState = Work;
        Ranges.push_back(range);
    }

    void AddTable(uintptr_t first, uintptr_t last, bool caseTable)
    {
        TCodeRange table;
        table.start = first;
        table.last = last;
        table.isCaseTable = caseTable;
        table.isHandlerTable = !caseTable;
        Ranges.push_back(table);
    }

    void AddUnresolved(const TInstrInfo& in)
    {
        for (const TUnresolvedBranch& u : Info.unresolvedBranches)
            if (u.address == in.address)
                return;
        Info.unresolvedBranches.push_back({in.isCall, in.address, in.next});
    }

    void RemoveUnresolved(uintptr_t address)
    {
        auto& list = Info.unresolvedBranches;
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i].address == address) {
                list[i] = list.back();
                list.pop_back();
                return;
            }
        }
    }

    // A call or jump that leaves the function, with an import thunk followed
    // to the routine it stands for.
    void AddExternal(const TInstrInfo& in)
    {
        TExternalBranch branch{in.isCall,     in.address,     in.next,           in.target,
                               in.isRelative, in.targetField, in.targetSlotField};
        uint8_t first = 0;
        if (in.target != 0 && Mem.Read(in.target, &first, 1) && (first == 0xE9 || first == 0xEB || first == 0xFF)) {
            const TInstrInfo thunk = DecodeInstructionIn(Mem, in.target, nullptr, false, Env.mode);
            if (thunk.valid && thunk.target != 0 && ExportName(Env, in.target).empty() &&
                !ExportName(Env, thunk.target).empty())
                branch.target = thunk.target;
        }
        for (const TExternalBranch& e : Info.externalBranches)
            if (e.next == branch.next)
                return;
        Info.externalBranches.push_back(branch);
        if (in.targetSlotField != 0)
            Info.copyPlan.size += 4;
    }

    // -----------------------------------------------------------------------
    // Following the control flow (32-bit code, and code without an extent)

    // Step 5. Returns true when the branch ends the range.
    bool HandleBranch(const TDecoded& d)
    {
        const TInstrInfo& in = d.info;
        if (!in.isCall && !in.isJump)
            return false;
        bool ends = IsUnconditionalJump(d);
        if (in.targetField == 0 && in.targetSlotField == 0) {
            AddUnresolved(in);
            return ends;
        }
        const uintptr_t target = in.target;
        bool special = false;
        if (target != 0) {
            if (in.isJump && target == Known.anyExceptionHandler) {
                AddRange(in.next, in.address);
                special = true;
            } else if (in.isJump && target == Known.finallyHandler) {
                AddRange(in.next, in.address);
                FinallyReturnPoint(in);
                special = true;
            } else if (target == Known.typedHandlerTableHandler) {
                HandlerTable(in.next, in.address);
                special = true;
            } else if (target == Known.autoExceptionHandler) {
                special = true;
            }
            if (target == Known.haltRoutine || target == Known.cxxThrowException)
                ends = true;
            if (in.isCall && Env.mode == TCodeMode::Bits64 && Env.isNonReturning != nullptr &&
                Env.isNonReturning(Env, target))
                ends = true;
        }
        const bool leavesImage = target < ImageLow || target > ImageLast;
        if (in.targetSize >= 4 && (in.isCall || leavesImage || special))
            AddExternal(in);
        else if (target != 0)
            AddRange(target, in.address);
        RemoveUnresolved(in.address);
        return ends;
    }

    // A jump to the finally handler followed by a jump back into the function:
    // the code after the finally block starts where the value pushed before
    // that jump's destination points.
    void FinallyReturnPoint(const TInstrInfo& in)
    {
        const TInstrInfo back = DecodeInstructionIn(Mem, in.next, nullptr, false, Env.mode);
        if (!back.valid || !back.isJump || back.target <= Info.entry || back.target >= in.address)
            return;
        uint8_t push = 0;
        uint32_t value = 0;
        if (Mem.Read(back.target - 5, &push, 1) && push == 0x68 && Read32(back.target - 4, value) && value > Info.entry)
            AddRange(value, 0);
    }

    // A typed handler table: a count, then pairs of class and handler address.
    void HandlerTable(uintptr_t at, uintptr_t source)
    {
        uint32_t count = 0;
        if (!Read32(at, count) || count == 0 || count > MostTableEntries)
            return;
        std::vector<uint32_t> handlers;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t handler = 0;
            if (!Read32(at + 4 + 8 * static_cast<uintptr_t>(i) + 4, handler))
                return;
            handlers.push_back(handler);
        }
        AddTable(at, at + 8 * static_cast<uintptr_t>(count) + 4 - 1, false);
        for (uint32_t handler : handlers)
            AddRange(handler, source);
    }

    uintptr_t LimitOf(int index) const
    {
        const uintptr_t start = Ranges[static_cast<size_t>(index)].start;
        uintptr_t limit = ImageLast;
        for (size_t i = 0; i < Ranges.size(); ++i)
            if (static_cast<int>(i) != index && Ranges[i].start > start && Ranges[i].start < limit)
                limit = Ranges[i].start;
        return limit;
    }

    // Step 4: parses one waiting range.
    bool ParseRange(int index)
    {
        Parsing = index;
        Work = Ranges[static_cast<size_t>(index)].regState;
        uintptr_t limit = LimitOf(index);
        uintptr_t address = Ranges[static_cast<size_t>(index)].start;
        // Exception frames: push handler; push fs:[...].
        bool framePending = false;
        uint32_t frameHandler = 0;
        // Case tables: cmp reg, n; ja/jae; jmp [reg*4+table].
        int caseStage = 0, caseReg = 0;
        uint32_t caseCount = 0;
        uint8_t caseN = 0;
        uintptr_t stopAt = 0;
        for (;;) {
            TDecoded d;
            DecodeFull(Mem, address, &Work, false, Env.mode, d);
            const TInstrInfo& in = d.info;
            if (!in.valid) {
                FailAddress = in.next;
                return false;
            }
            Ranges[static_cast<size_t>(Parsing)].last = in.next - 1;
            if (in.isReturn) {
                stopAt = address;
                break;
            }
            // The frame's handler.
            const bool wasPending = framePending;
            framePending = false;
            if (wasPending && d.segment == 0x64 && d.info.opcodeMap == 0 && d.opcode == 0xFF) {
                // A push changes no register: the state after it is the state before.
                const bool viaRegister = in.length == 3 && d.modRm >= 0x30 && d.modRm <= 0x37 && d.modRm != 0x34 &&
                                         d.modRm != 0x35 && Work.regs[d.rm].field == 0;
                const bool viaZero = in.length == 7 && d.modRm == 0x35 && d.disp == 0;
                if (viaRegister || viaZero)
                    AddRange(frameHandler, 0);
            }
            if (d.info.opcodeMap == 0 && d.opcode == 0x68 && in.length == 5) {
                uint8_t nextByte = 0;
                if (Mem.Read(in.next, &nextByte, 1) && nextByte == 0x64) {
                    framePending = true;
                    frameHandler = static_cast<uint32_t>(d.imm);
                }
            }
            // Case tables.
            bool caseJump = false;
            const int stage = caseStage;
            caseStage = 0;
            if (stage == 2 && d.info.opcodeMap == 0 && d.opcode == 0xFF && d.modRm == 0x24 && d.base == RegNone &&
                d.index == caseReg && d.scale == 4 &&
                static_cast<uintptr_t>(WrapAddress(Env.mode, d.disp)) == in.next) {
                caseJump = true;
                // The table ends where its memory does.
                const uintptr_t table = in.next;
                std::vector<uint32_t> entries;
                uint32_t value = 0;
                while (entries.size() < caseCount && Read32(table + 4 * entries.size(), value))
                    entries.push_back(value);
                if (!entries.empty())
                    AddTable(table, table + 4 * entries.size() - 1, true);
                for (uint32_t entry : entries)
                    AddRange(entry, address);
            } else if (stage == 1) {
                const uint16_t op = d.opcode;
                if (op == 0x77 || op == 0x7F || op == 0x0F87 || op == 0x0F8F) {
                    caseCount = static_cast<uint8_t>(caseN + 1);
                    caseStage = caseCount != 0 ? 2 : 0;
                } else if (op == 0x73 || op == 0x7D || op == 0x0F83 || op == 0x0F8D) {
                    caseCount = caseN;
                    caseStage = 2;
                }
            }
            if (d.info.opcodeMap == 0 && d.opcode == 0x83 && d.modRm >= 0xF8 && static_cast<uint8_t>(d.imm) != 0) {
                caseReg = d.rm;
                caseN = static_cast<uint8_t>(d.imm);
                caseStage = 1;
            }
            if (caseJump) {
                stopAt = address;
                break;
            }
            // Step 5, then the limit may come closer.
            const bool ends = HandleBranch(d);
            if (in.isCall || in.isJump) {
                const TCodeRange& added = Ranges.back();
                if (added.start > Ranges[static_cast<size_t>(Parsing)].start && added.start < limit)
                    limit = added.start;
            }
            if (ends) {
                stopAt = address;
                break;
            }
            if (d.stateChanged || in.next >= limit) {
                AddRange(in.next, 0);
                stopAt = in.next;
                break;
            }
            address = in.next;
        }
        Parsing = -1;
        if (stopAt > limit) {
            FailAddress = stopAt;
            return false;
        }
        return true;
    }

    // Step 2.2: branches whose destination may now be known from the state
    // of the range that holds them.
    bool RetryUnresolved()
    {
        for (size_t j = Info.unresolvedBranches.size(); j-- > 0;) {
            if (j >= Info.unresolvedBranches.size())
                continue;
            const TUnresolvedBranch branch = Info.unresolvedBranches[j];
            const TCodeRange* holder = nullptr;
            for (const TCodeRange& r : Ranges) {
                if (!IsTable(r) && r.last != 0 && r.start <= branch.address && r.last >= branch.next) {
                    holder = &r;
                    break;
                }
            }
            if (holder == nullptr)
                continue;
            TRegState state = holder->regState;
            Work = holder->regState;
            TDecoded d;
            DecodeFull(Mem, branch.address, &state, true, Env.mode, d);
            if (!d.info.valid || (d.info.targetField == 0 && d.info.targetSlotField == 0))
                continue;
            HandleBranch(d);
            if (AnyWaiting())
                return true;
        }
        return false;
    }

    struct TSaved {
        std::vector<TCodeRange> ranges;
        std::vector<TExternalBranch> external;
        std::vector<TUnresolvedBranch> unresolved;
        uint32_t copySize = 0;
    };

    // Step 2.3: a range at the first gap of the function, not too far before its end.
    bool OpenGap(TSaved& saved)
    {
        uintptr_t low = ~uintptr_t(0), high = 0;
        for (const TCodeRange& r : Ranges) {
            low = std::min(low, r.start);
            high = std::max(high, r.last);
        }
        uintptr_t walk = low;
        for (size_t guard = 0; guard <= Ranges.size(); ++guard) {
            const TCodeRange* here = nullptr;
            for (const TCodeRange& r : Ranges)
                if (r.start == walk && r.last >= walk)
                    here = &r;
            if (here == nullptr)
                break;
            walk = here->last + 1;
        }
        if (walk == high + 1 || walk > high || high + 1 - walk >= GapSearchReach)
            return false;
        saved = {Ranges, Info.externalBranches, Info.unresolvedBranches, Info.copyPlan.size};
        Work.Clear();
        AddRange(walk, 0);
        return true;
    }

    bool FollowControlFlow(uintptr_t entry)
    {
        uintptr_t base = 0, size = 0;
        if ((Env.imageOf != nullptr && Env.imageOf(Env, entry, base, size)) ||
            (Env.regionOf != nullptr && Env.regionOf(Env, entry, base, size))) {
            ImageLow = base;
            ImageLast = base + size - 1;
        }
        Ranges.reserve(8);
        Work.Clear();
        AddRange(entry, 0);
        TSaved saved;
        bool gapOpen = false;
        for (int round = 0; round < MostRounds; ++round) {
            int waiting = -1;
            for (size_t i = 0; i < Ranges.size(); ++i) {
                if (Ranges[i].last == 0 && !IsTable(Ranges[i])) {
                    waiting = static_cast<int>(i);
                    break;
                }
            }
            if (waiting >= 0) {
                if (ParseRange(waiting))
                    continue;
                if (!gapOpen)
                    return false;
                // The guess at the gap was no code: back to before it.
                Ranges = saved.ranges;
                Info.externalBranches = saved.external;
                Info.unresolvedBranches = saved.unresolved;
                Info.copyPlan.size = saved.copySize;
                return true;
            }
            if (RetryUnresolved())
                continue;
            bool jumpLeft = false;
            for (const TUnresolvedBranch& u : Info.unresolvedBranches)
                jumpLeft = jumpLeft || !u.isCall;
            if (!jumpLeft || !OpenGap(saved))
                return true;
            gapOpen = true;
        }
        return true;
    }

    // -----------------------------------------------------------------------
    // Reading a known extent (this program's 64-bit code)

    struct TInstructionMark {
        uintptr_t address;
        uintptr_t next;
        bool endsRange;
    };

    bool Inside(const TFunctionExtent& e, uintptr_t a) const
    {
        return (a >= e.start && a < e.end) || (a >= e.coldStart && a < e.coldEnd);
    }

    bool ReadExtent(uintptr_t entry, const TFunctionExtent& given)
    {
        TFunctionExtent extent = given;
        extent.start = entry;
        std::vector<std::pair<uintptr_t, uintptr_t>> pieces = {{extent.start, extent.end}};
        if (extent.coldEnd > extent.coldStart)
            pieces.push_back({extent.coldStart, extent.coldEnd});
        // Labels: where branches inside the function go, with the branch that leads there.
        std::map<uintptr_t, uintptr_t> labels;
        auto offerLabel = [&](uintptr_t target, uintptr_t source) {
            auto it = labels.find(target);
            if (it == labels.end()) {
                labels[target] = source;
                return;
            }
            TCodeRange probe;
            probe.start = target;
            probe.source = it->second;
            OfferSource(probe, source);
            it->second = probe.source;
        };
        for (const auto& piece : pieces) {
            for (uintptr_t at = piece.first; at < piece.second;) {
                const TInstrInfo in = DecodeInstructionIn(Mem, at, nullptr, false, Env.mode);
                if (!in.valid || in.next > piece.second) {
                    FailAddress = in.next;
                    return false;
                }
                if (in.isJump && in.isRelative && Inside(extent, in.target))
                    offerLabel(in.target, at);
                at = in.next;
            }
        }
        // The walk with register tracking: indirect targets, case tables, what leaves.
        std::vector<TInstructionMark> marks;
        std::vector<std::pair<uintptr_t, uintptr_t>> tables;
        for (const auto& piece : pieces) {
            Work.Clear();
            struct {
                int stage = 0;
                int reg = -1;
                int64_t n = 0;
            } compare;
            struct {
                bool valid = false;
                int reg = -1;
                uint64_t count = 0;
            } bound;
            struct {
                bool valid = false;
                int dest = -1, index = -1;
                uintptr_t table = 0;
            } load;
            for (uintptr_t at = piece.first; at < piece.second;) {
                if (labels.count(at) != 0) {
                    Work.Clear();
                    bound.valid = load.valid = false;
                }
                TDecoded d;
                DecodeFull(Mem, at, &Work, true, Env.mode, d);
                const TInstrInfo& in = d.info;
                bool ends = in.isReturn || IsUnconditionalJump(d) || (in.opcodeMap == 1 && d.opcode == 0x0F0B) ||
                            (in.opcodeMap == 0 && d.opcode == 0xF4);
                const bool registerForm = d.hasModRm && !d.memory;
                const uint8_t reg3 = (d.modRm >> 3) & 7;
                // cmp reg, n directly followed by ja/jae bounds a case index.
                const int stage = compare.stage;
                compare.stage = 0;
                if (stage == 1 && in.opcodeMap <= 1 &&
                    (d.opcode == 0x77 || d.opcode == 0x0F87 || d.opcode == 0x73 || d.opcode == 0x0F83)) {
                    const bool above = d.opcode == 0x77 || d.opcode == 0x0F87;
                    bound.valid = compare.n >= 0;
                    bound.reg = compare.reg;
                    bound.count = static_cast<uint64_t>(compare.n) + (above ? 1 : 0);
                }
                if (in.opcodeMap == 0 && (d.opcode == 0x83 || d.opcode == 0x81) && registerForm && reg3 == 7) {
                    compare = {1, d.rm, static_cast<int64_t>(d.imm)};
                } else if (in.opcodeMap == 0 && d.opcode == 0x3D) {
                    compare = {1, 0, static_cast<int64_t>(d.imm)};
                }
                // movsxd rX, [rB+rI*4] with rB holding the table's address (the load
                // changes only rX, so rB's entry is still the one from before it).
                if (in.opcodeMap == 0 && d.opcode == 0x63 && d.RexW() && d.memory && d.scale == 4 &&
                    d.index != RegNone && d.base >= 0 && d.base < 16 && d.base != d.reg && d.dispSize == 0 &&
                    Work.regs[static_cast<size_t>(d.base)].field != 0) {
                    load = {true, d.reg, d.index, static_cast<uintptr_t>(Work.regs[static_cast<size_t>(d.base)].value)};
                }
                bool caseJump = false;
                if (in.opcodeMap == 0 && d.opcode == 0xFF && reg3 == 4 && registerForm && load.valid &&
                    load.dest == d.rm && bound.valid && bound.reg == load.index && bound.count > 0 &&
                    bound.count <= MostTableEntries) {
                    caseJump = true;
                    const uintptr_t table = load.table;
                    uint64_t count = 0;
                    for (int32_t offset = 0; count < bound.count && Mem.Read(table + 4 * count, &offset, 4); ++count) {
                        const uintptr_t target = table + static_cast<uintptr_t>(static_cast<int64_t>(offset));
                        if (Inside(extent, target))
                            offerLabel(target, at);
                    }
                    if (count > 0)
                        tables.push_back({table, table + 4 * count - 1});
                    bound.valid = load.valid = false;
                }
                if ((in.isCall || in.isJump) && !caseJump) {
                    if (in.targetField == 0 && in.targetSlotField == 0) {
                        AddUnresolved(in);
                    } else if (in.isJump && in.target != 0 && Inside(extent, in.target)) {
                        offerLabel(in.target, at);
                    } else {
                        AddExternal(in);
                        const uintptr_t target = in.target;
                        if (target != 0 &&
                            (target == Known.haltRoutine || target == Known.cxxThrowException ||
                             (in.isCall && Env.isNonReturning != nullptr && Env.isNonReturning(Env, target))))
                            ends = true;
                    }
                }
                marks.push_back({at, in.next, ends});
                at = in.next;
            }
        }
        // Ranges: split at labels and after instructions that end one.
        size_t mark = 0;
        for (const auto& piece : pieces) {
            TCodeRange current;
            bool open = false;
            for (; mark < marks.size() && marks[mark].address < piece.second; ++mark) {
                const TInstructionMark& m = marks[mark];
                auto label = labels.find(m.address);
                if (open && label != labels.end()) {
                    Ranges.push_back(current);
                    open = false;
                }
                if (!open) {
                    current = TCodeRange{};
                    current.start = m.address;
                    current.source = label != labels.end() ? label->second : 0;
                    open = true;
                }
                current.last = m.next - 1;
                if (m.endsRange) {
                    Ranges.push_back(current);
                    open = false;
                }
            }
            if (open)
                Ranges.push_back(current);
        }
        for (const auto& table : tables) {
            bool known = false;
            for (const TCodeRange& r : Ranges)
                known = known || (IsTable(r) && r.start == table.first);
            if (!known)
                AddTable(table.first, table.second, true);
        }
        return !Ranges.empty();
    }
};

} // namespace

TFunctionInfo AnalyseFunctionIn(const TDisAsmEnvironment& env, uintptr_t entry, const TKnownRoutines& known)
{
    TFunctionInfo info;
    TAnalyser(env, known, info).Run(WrapAddress(env.mode, entry));
    return info;
}

TFunctionInfo AnalyseFunction(uintptr_t entry, const TDATryRead* snapshot, uintptr_t anyExceptionHandler,
                              uintptr_t haltRoutine, uintptr_t finallyHandler, uintptr_t autoExceptionHandler,
                              uintptr_t typedHandlerTableHandler)
{
    TDisAsmEnvironment env;
    SetProcessDisAsmEnvironment(env, snapshot);
    TKnownRoutines known;
    known.anyExceptionHandler = anyExceptionHandler;
    known.haltRoutine = haltRoutine;
    known.finallyHandler = finallyHandler;
    known.autoExceptionHandler = autoExceptionHandler;
    known.typedHandlerTableHandler = typedHandlerTableHandler;
    return AnalyseFunctionIn(env, entry, known);
}

TFunctionInfo ScanFunctionAt(uintptr_t entry)
{
    return AnalyseFunction(entry, nullptr);
}

int NextRangeInOrder(int current, const TFunctionInfo& info)
{
    uintptr_t from = 0;
    if (current >= 0) {
        if (static_cast<size_t>(current) >= info.ranges.size())
            return -1;
        const uintptr_t last = info.ranges[static_cast<size_t>(current)].last;
        if (last == ~uintptr_t(0))
            return -1;
        from = last + 1;
    }
    int best = -1;
    for (size_t i = 0; i < info.ranges.size(); ++i) {
        const uintptr_t start = info.ranges[i].start;
        if (start >= from && (best < 0 || start < info.ranges[static_cast<size_t>(best)].start))
            best = static_cast<int>(i);
    }
    return best;
}
