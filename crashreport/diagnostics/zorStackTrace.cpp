#include "crashreport/diagnostics/zorStackTrace.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "crashreport/diagnostics/zorDisAsm.h"
#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/diagnostics/zorMapFile.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorZip.h"

namespace {

// ---------------------------------------------------------------------------
// Process-wide tables: the modules met and the functions analysed. Functions
// are analysed once per process and shared by every later trace.

struct TModuleRow {
    TModuleFacts facts;
    std::u16string name; // file name without folder
    std::shared_ptr<TMapFile> map;
};

struct TFunctionRow {
    uintptr_t entry = 0;
    std::u16string name;
    int module = -1;
    TFunctionInfo info;
    bool trusted = false;
    bool dropped = false;
};

struct TTraceTables {
    std::mutex lock; // one trace at a time uses the tables
    std::vector<TModuleRow> modules;
    std::vector<TFunctionRow> functions;
    std::unordered_map<uintptr_t, int> functionOfEntry;
};

constexpr size_t HiddenFunctionCount = 4;
std::atomic<uintptr_t> HiddenFunctions[HiddenFunctionCount];

bool IsHiddenFunction(uintptr_t entry)
{
    for (const std::atomic<uintptr_t>& hidden : HiddenFunctions)
        if (entry != 0 && hidden.load(std::memory_order_relaxed) == entry)
            return true;
    return false;
}

TTraceTables& Tables()
{
    static auto* tables = new TTraceTables; // lives to the end, also for late reports
    return *tables;
}

std::u16string FileNameOnly(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return Utf8ToWide(slash == std::string::npos ? path : path.substr(slash + 1));
}

// The row of the module whose code holds the address; -1 when none. Ranges
// already known are searched first: a stack holds millions of slots.
int ModuleRowOf(TTraceTables& tables, uintptr_t address)
{
    for (size_t i = 0; i < tables.modules.size(); ++i) {
        const TModuleFacts& f = tables.modules[i].facts;
        if (address >= f.baseOfCode && address < f.topOfCode)
            return static_cast<int>(i);
    }
    return -1;
}

int RegisterModule(TTraceTables& tables, uintptr_t address)
{
    const int known = ModuleRowOf(tables, address);
    if (known >= 0)
        return known;
    TModuleRow row;
    if (!ModuleFactsOfAddress(address, row.facts) || address < row.facts.baseOfCode || address >= row.facts.topOfCode)
        return -1;
    row.name = FileNameOnly(row.facts.fileName);
    row.map = MapFileOfModule(row.facts);
    if (!row.map->valid)
        row.map.reset();
    tables.modules.push_back(std::move(row));
    return static_cast<int>(tables.modules.size() - 1);
}

int EnsureFunctionRow(TTraceTables& tables, TDisAsmEnvironment& env, uintptr_t entry, const std::u16string& name,
                      int module, bool trusted)
{
    auto it = tables.functionOfEntry.find(entry);
    if (it != tables.functionOfEntry.end()) {
        if (trusted)
            tables.functions[static_cast<size_t>(it->second)].trusted = true;
        return it->second;
    }
    TFunctionRow row;
    row.entry = entry;
    row.name = name;
    row.module = module;
    row.trusted = trusted;
    row.info = AnalyseFunctionIn(env, entry, TKnownRoutines{});
    if (!row.info.valid)
        return -1;
    tables.functions.push_back(std::move(row));
    const int index = static_cast<int>(tables.functions.size() - 1);
    tables.functionOfEntry[entry] = index;
    return index;
}

// ---------------------------------------------------------------------------
// The work list

struct TLink {
    int item = -1;
    uintptr_t codeAddress = 0;
    bool targetKnown = false;
    uintptr_t target = 0;
    int function = -1;
    int64_t score = 0;
    bool scored = false;
};

struct TInternalStackItem {
    uintptr_t address = 0;
    bool keep = false, exact = false, creator = false;
    int module = -1;
    std::vector<TLink> callees, callers;
    int chosenCallee = -1, chosenCaller = -1;
    bool dropped = false;
    // output
    uintptr_t outAddress = 0;
    std::u16string moduleName, unitName, functionName;
    int32_t line = 0, secondLine = 0;
    uintptr_t functionStart = 0;
};

// Whether the 8 bytes before an address end with a call: E8 rel32, or FF /2
// (a REX prefix stands before FF) whose ModRM form gives exactly that length.
bool CallEndsAt(const uint8_t (&bytes)[8])
{
    // bytes[8 - k] is the byte k before the address.
    if (bytes[3] == 0xE8)
        return true;
    for (int length : {2, 3, 4, 6, 7}) {
        const uint8_t modRm = bytes[9 - length];
        if (bytes[8 - length] != 0xFF || ((modRm >> 3) & 7) != 2)
            continue;
        const uint8_t mod = modRm >> 6, rm = modRm & 7;
        int want = mod == 1 ? 3 : mod == 2 ? 6 : (mod == 0 && rm == 5) ? 6 : 2;
        if (mod != 3 && rm == 4)
            want += 1 + (mod == 0 && length >= 3 && (bytes[10 - length] & 7) == 5 ? 4 : 0);
        if (want == length)
            return true;
    }
    return false;
}

struct TMatch {
    bool matched = false;
    uintptr_t codeAddress = 0;
    uintptr_t target = 0;
    bool targetKnown = false;
};

class TTracer {
public:
    TTracer(const TTraceStackInput& input, TTraceTables& tables) : In(input), Tables(tables)
    {
        SetProcessDisAsmEnvironment(Env, &Snapshot);
    }
    TTraceStackOutput Run(uintptr_t ownStackPointer, uintptr_t callerAddress);

private:
    const TTraceStackInput& In;
    TTraceTables& Tables;
    // The mappings are read once per trace: the snapshot and the cheap test
    // both come from them.
    std::vector<TMapRegion> Regions = ReadProcessMaps();
    TDATryRead Snapshot = ReadSnapshotOf(Regions);
    TDisAsmEnvironment Env;
    std::vector<TInternalStackItem> Items;
    uintptr_t FailureAddress = 0;
    std::vector<std::pair<uintptr_t, uintptr_t>> CodeRuns; // executable mappings, in address order

    // The cheap test: only a value inside executable memory can be a return address.
    bool InCode(uintptr_t address) const
    {
        auto it = std::upper_bound(CodeRuns.begin(), CodeRuns.end(), address,
                                   [](uintptr_t a, const std::pair<uintptr_t, uintptr_t>& r) { return a < r.first; });
        return it != CodeRuns.begin() && address < (it - 1)->second;
    }

    bool Aborted() const { return In.Abort != nullptr && In.Abort->load(); }
    bool Follows(uintptr_t address) const;
    TMatch MatchReturnAddress(int function, uintptr_t address, bool exact) const;
    bool AddCandidate(uintptr_t value, bool force, bool keep, bool creator);
    void RemoveRecursion(bool removeLinks);
    void DropItem(size_t index, bool removeLinks);
    void DeepCheck(size_t index);
    void LinkCallees(size_t index, uintptr_t codeAddress, uintptr_t target, bool trusted);
    int64_t ScoreLinks(size_t from, size_t to);
    void RealiseChain(int lo, size_t hi);
    void FillFinalOutput();
    void Compose(TTraceStackOutput& out);
};

bool TTracer::Follows(uintptr_t address) const
{
    uint8_t bytes[8];
    return address >= 8 && ReadMemorySafe(address - 8, bytes, 8, &Snapshot) && CallEndsAt(bytes);
}

TMatch TTracer::MatchReturnAddress(int function, uintptr_t address, bool exact) const
{
    TMatch match;
    if (function < 0)
        return match;
    const TFunctionRow& row = Tables.functions[static_cast<size_t>(function)];
    if (row.dropped)
        return match;
    if (!exact) {
        for (const TUnresolvedBranch& b : row.info.unresolvedBranches)
            if (b.next == address) {
                match.matched = true;
                match.codeAddress = b.address;
                return match;
            }
        for (const TExternalBranch& b : row.info.externalBranches)
            if (b.next == address) {
                match.matched = true;
                match.codeAddress = b.address;
                match.target = b.target;
                match.targetKnown = b.target != 0;
                return match;
            }
        return match;
    }
    if (row.info.codeSize == 0) {
        match.matched = row.entry == address;
        match.codeAddress = address;
        return match;
    }
    for (const TCodeRange& range : row.info.ranges) {
        if (range.isCaseTable || address < range.start || address > range.last + 1)
            continue;
        for (uintptr_t at = range.start; at <= range.last;) {
            const TInstrInfo instr = DecodeInstructionIn(*Env.memory, at, nullptr, false, Env.mode);
            if (!instr.valid || instr.next <= at)
                break;
            if (instr.next == address) {
                match.matched = true;
                match.codeAddress = at;
                return match;
            }
            at = instr.next;
        }
    }
    return match;
}

bool TTracer::AddCandidate(uintptr_t value, bool force, bool keep, bool creator)
{
    const bool exact = force || creator || (In.Failing && value == FailureAddress);
    const uintptr_t lookup = exact ? value : value - 1;
    if (value <= 7)
        return false;
    const int module = RegisterModule(Tables, lookup);
    const bool valid = exact || (module >= 0 && Follows(value));
    TMatch match;
    int function = -1;
    bool containerFound = false;
    if (valid && module >= 0) {
        const TModuleRow& row = Tables.modules[static_cast<size_t>(module)];
        uintptr_t entry = 0;
        std::u16string name;
        if (row.map) {
            const TMfPublic& symbol = row.map->PublicAt(lookup);
            if (symbol.valid) {
                entry = symbol.address;
                name = symbol.name;
            }
        }
        TFunctionExtent extent;
        if (entry == 0 && Env.functionExtentOf != nullptr && Env.functionExtentOf(Env, lookup, extent))
            entry = extent.start;
        if (entry != 0 && !exact && IsHiddenFunction(entry))
            return false;
        if (entry != 0) {
            containerFound = true;
            function = EnsureFunctionRow(Tables, Env, entry, name, module, true);
            // An exact value is the instruction itself: the match is the
            // instruction that ends where it ends.
            uintptr_t matchAt = value;
            if (exact) {
                const TInstrInfo instr = DecodeInstructionIn(*Env.memory, value, nullptr, false, Env.mode);
                matchAt = instr.valid ? instr.next : 0;
            }
            if (matchAt != 0)
                match = MatchReturnAddress(function, matchAt, exact);
        }
    }
    if (exact && !match.matched) {
        match.codeAddress = value;
        match.matched = true;
    }
    const bool accepted = containerFound ? match.matched : valid;
    if (!(exact || accepted || keep))
        return false;
    TInternalStackItem item;
    item.address = value;
    item.keep = exact || keep;
    item.exact = exact && !creator;
    item.creator = creator;
    item.module = module;
    if (match.codeAddress != 0) {
        TLink link;
        link.codeAddress = match.codeAddress;
        link.target = match.target;
        link.targetKnown = match.targetKnown;
        link.function = match.matched ? function : -1;
        item.callers.push_back(link);
    }
    Items.push_back(std::move(item));
    return accepted || exact;
}

void TTracer::DropItem(size_t index, bool removeLinks)
{
    TInternalStackItem& item = Items[index];
    if (item.keep)
        return;
    item.dropped = true;
    if (!removeLinks)
        return;
    for (auto* list : {&item.callees, &item.callers})
        for (const TLink& link : *list)
            if (link.item >= 0) {
                TInternalStackItem& other = Items[static_cast<size_t>(link.item)];
                for (auto* back : {&other.callees, &other.callers})
                    back->erase(std::remove_if(back->begin(), back->end(),
                                               [&](const TLink& l) { return l.item == static_cast<int>(index); }),
                                back->end());
            }
    item.callees.clear();
    item.callers.erase(
        std::remove_if(item.callers.begin(), item.callers.end(), [](const TLink& l) { return l.item >= 0; }),
        item.callers.end());
}

// Repetitions collapse: for an item, the nearest older live item with the
// same address and the j live items between them; when the j items below
// that one hold the same addresses, the item and its j are dropped. Periods
// longer than MaxPeriod frames are not looked for.
void TTracer::RemoveRecursion(bool removeLinks)
{
    constexpr size_t MaxPeriod = 1024;
    bool changed = true;
    while (changed && !Aborted()) {
        changed = false;
        std::vector<size_t> live;
        for (size_t i = 0; i < Items.size(); ++i)
            if (!Items[i].dropped)
                live.push_back(i);
        std::vector<bool> gone(live.size(), false);
        for (size_t n = live.size(); n-- > 1;) {
            if (gone[n])
                continue;
            const uintptr_t address = Items[live[n]].address;
            size_t k = n;
            for (size_t back = 1; back <= std::min(MaxPeriod, n); ++back)
                if (!gone[n - back] && Items[live[n - back]].address == address) {
                    k = n - back;
                    break;
                }
            if (k == n)
                continue;
            // The live items between them, and as many below k.
            std::vector<size_t> between, below;
            for (size_t m = n - 1; m > k; --m)
                if (!gone[m])
                    between.push_back(m);
            for (size_t m = k; m-- > 0 && below.size() < between.size();)
                if (!gone[m])
                    below.push_back(m);
            if (below.size() < between.size())
                continue;
            bool same = true;
            for (size_t x = 0; x < between.size() && same; ++x)
                same = Items[live[between[x]]].address == Items[live[below[x]]].address;
            if (!same)
                continue;
            for (size_t m : between) {
                Items[live[m]].keep = false;
                DropItem(live[m], removeLinks);
                gone[m] = true;
            }
            Items[live[n]].keep = false;
            DropItem(live[n], removeLinks);
            gone[n] = true;
            changed = true;
        }
    }
}

// Links item i to the newer items that lie in the function its call at
// codeAddress led to (any newer item when the target is unknown), up to the
// first item kept.
void TTracer::LinkCallees(size_t index, uintptr_t codeAddress, uintptr_t target, bool trusted)
{
    int function = -1;
    if (target != 0) {
        const int module = RegisterModule(Tables, target);
        std::u16string name;
        if (module >= 0 && Tables.modules[static_cast<size_t>(module)].map) {
            const TMfPublic& symbol = Tables.modules[static_cast<size_t>(module)].map->PublicAt(target);
            if (symbol.valid && symbol.address == target)
                name = symbol.name;
        }
        function = EnsureFunctionRow(Tables, Env, target, name, module, trusted);
        if (function < 0)
            return;
        // A routine that jumps on through a register or memory may end anywhere.
        for (const TUnresolvedBranch& b : Tables.functions[static_cast<size_t>(function)].info.unresolvedBranches)
            if (!b.isCall) {
                LinkCallees(index, codeAddress, 0, trusted);
                break;
            }
    } else {
        for (const TLink& link : Items[index].callees)
            if (link.function < 0)
                return;
    }
    for (size_t j = index + 1; j < Items.size(); ++j) {
        TInternalStackItem& newer = Items[j];
        if (newer.dropped)
            continue;
        TMatch match;
        if (function >= 0)
            match = MatchReturnAddress(function, newer.address, newer.exact);
        if (function < 0 || match.matched) {
            // An untrusted guess gives way to a call a known function makes.
            bool contradicted = false;
            if (!trusted && match.codeAddress != 0)
                for (const TLink& other : newer.callers)
                    contradicted = contradicted || (other.function >= 0 && other.codeAddress != match.codeAddress &&
                                                    Tables.functions[static_cast<size_t>(other.function)].trusted);
            if (!contradicted) {
                TLink up;
                up.item = static_cast<int>(index);
                up.function = function;
                up.codeAddress = match.codeAddress;
                up.target = match.target;
                up.targetKnown = match.targetKnown;
                newer.callers.push_back(up);
                TLink down;
                down.item = static_cast<int>(j);
                down.function = function;
                down.codeAddress = codeAddress;
                Items[index].callees.push_back(down);
            }
        }
        if (newer.keep)
            break;
    }
}

// The item's caller link names the function it lies in and the call that led
// there; without one, the calls that end at its address are decoded.
void TTracer::DeepCheck(size_t index)
{
    const TInternalStackItem& item = Items[index];
    const TLink* trusted = nullptr;
    for (const TLink& link : item.callers)
        if (link.item < 0 && link.function >= 0 && Tables.functions[static_cast<size_t>(link.function)].trusted) {
            trusted = &link;
            break;
        }
    if (trusted != nullptr) {
        const uintptr_t codeAddress = trusted->codeAddress;
        const uintptr_t target = trusted->targetKnown ? trusted->target : 0;
        LinkCallees(index, codeAddress, target, true);
        return;
    }
    const uintptr_t address = item.address;
    if (address <= 7)
        return;
    for (uintptr_t at = address - 7; at <= address - 2; ++at) {
        const TInstrInfo instr = DecodeInstructionIn(*Env.memory, at, nullptr, false, Env.mode);
        if (instr.valid && instr.isCall && instr.next == address)
            LinkCallees(index, at, instr.target, false);
    }
}

// The best chain from "from" toward "to": a link that reaches "to" scores
// bit 62 (and bit 61 while every link names a function); each link adds
// 2^c, c larger for links into known (trusted) functions and into lines.
int64_t TTracer::ScoreLinks(size_t from, size_t to)
{
    constexpr int64_t Floor = 0x1000000000000000LL;
    TInternalStackItem& item = Items[from];
    const bool newer = to > from;
    std::vector<TLink>& list = newer ? item.callees : item.callers;
    int64_t best = Floor;
    int chosen = -1;
    for (size_t n = 0; n < list.size(); ++n) {
        TLink& link = list[n];
        if (link.item < 0 || (newer ? static_cast<size_t>(link.item) > to : static_cast<size_t>(link.item) < to))
            continue;
        if (!link.scored) {
            int64_t base = 0;
            if (static_cast<size_t>(link.item) == to)
                base = link.function >= 0 ? 0x7000000000000000LL : 0x5000000000000000LL;
            else
                base = ScoreLinks(static_cast<size_t>(link.item), to);
            int c = 0;
            if (link.function < 0) {
                base &= ~(int64_t(1) << 61);
            } else {
                c = (base & (int64_t(1) << 61)) != 0 ? 28 : 14;
                if (Tables.functions[static_cast<size_t>(link.function)].trusted)
                    c += 14;
            }
            const TInternalStackItem& other = Items[static_cast<size_t>(link.item)];
            if (item.module >= 0 && other.module >= 0 && Tables.modules[static_cast<size_t>(item.module)].map) {
                const auto& map = Tables.modules[static_cast<size_t>(item.module)].map;
                const auto& otherMap = Tables.modules[static_cast<size_t>(other.module)].map;
                if (map->LineAt(item.address - 1) <= 0)
                    c += 3;
                else if (otherMap && otherMap->LineAt(other.address - 1) > 0)
                    c += 9;
                else
                    c += 6;
            }
            link.score = static_cast<int64_t>(static_cast<uint64_t>(base) + (uint64_t(1) << c));
            link.scored = true;
        }
        if (link.score > best) {
            best = link.score;
            chosen = static_cast<int>(n);
        }
    }
    (newer ? item.chosenCallee : item.chosenCaller) = chosen;
    return best;
}

void TTracer::RealiseChain(int lo, size_t hi)
{
    if (static_cast<int64_t>(hi) - lo < 2)
        return;
    const int64_t forward = lo < 0 ? 0 : ScoreLinks(static_cast<size_t>(lo), hi);
    const int64_t backward = (forward & (int64_t(1) << 62)) != 0 ? 0 : ScoreLinks(hi, lo < 0 ? 0 : size_t(lo));
    for (size_t i = static_cast<size_t>(lo + 1); i < hi; ++i)
        if (!Items[i].keep)
            Items[i].dropped = true;
    if (backward < forward) {
        size_t at = static_cast<size_t>(lo);
        while (Items[at].chosenCallee >= 0) {
            const int next = Items[at].callees[static_cast<size_t>(Items[at].chosenCallee)].item;
            if (next < 0 || static_cast<size_t>(next) >= hi || static_cast<size_t>(next) <= at)
                break;
            Items[static_cast<size_t>(next)].dropped = false;
            at = static_cast<size_t>(next);
        }
    } else if (lo >= 0 || backward > 0) {
        size_t at = hi;
        while (Items[at].chosenCaller >= 0) {
            const int next = Items[at].callers[static_cast<size_t>(Items[at].chosenCaller)].item;
            if (next < 0 || next <= lo || static_cast<size_t>(next) >= at)
                break;
            Items[static_cast<size_t>(next)].dropped = false;
            at = static_cast<size_t>(next);
        }
    }
}

void TTracer::FillFinalOutput()
{
    for (TInternalStackItem& item : Items) {
        if (item.dropped)
            continue;
        const TLink* chosen = nullptr;
        for (const TLink& link : item.callers)
            if (link.function >= 0 && link.codeAddress != 0 &&
                Tables.functions[static_cast<size_t>(link.function)].trusted) {
                chosen = &link;
                break;
            }
        if (chosen != nullptr) {
            const TFunctionRow& f = Tables.functions[static_cast<size_t>(chosen->function)];
            item.outAddress = chosen->codeAddress;
            item.functionName = f.name;
            item.functionStart = f.entry;
        } else {
            for (const TLink& link : item.callers)
                if (link.codeAddress != 0) {
                    chosen = &link;
                    break;
                }
            item.outAddress = chosen != nullptr ? chosen->codeAddress : item.address;
        }
        if (item.module < 0)
            item.module = RegisterModule(Tables, item.outAddress);
        item.moduleName = item.module >= 0 ? Tables.modules[static_cast<size_t>(item.module)].name : u"???";
        const std::shared_ptr<TMapFile> map =
            item.module >= 0 ? Tables.modules[static_cast<size_t>(item.module)].map : nullptr;
        if (map) {
            if (item.functionName.empty()) {
                const TMfPublic& symbol = map->PublicAt(item.outAddress);
                if (symbol.valid) {
                    item.functionName = symbol.name;
                    item.functionStart = symbol.address;
                }
            }
            if (const TMfSegment* segment = map->FindSegment(true, item.outAddress))
                item.unitName = segment->unitName;
            item.line = std::max(0, map->LineAt(item.outAddress));
            if (In.ShowRelLines && item.line > 0 && item.functionStart != 0) {
                item.secondLine = map->LineAt(item.functionStart);
                if (item.secondLine > 0) {
                    const int32_t absolute = item.line;
                    item.line = absolute - item.secondLine;
                    item.secondLine = absolute;
                }
            }
        } else if (item.functionName.empty() && item.module >= 0) {
            const TAddressDebugInfo info = AddressDebugInfo(item.outAddress);
            item.functionName = info.functionName;
            item.functionStart = info.functionAddress;
        }
    }
}

void PutLE32(std::string& bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint32_t CrcOfName(uint32_t crc, const std::u16string& name)
{
    const std::u16string lower = LowStrW(name);
    std::string bytes;
    bytes.reserve(lower.size() * 2);
    for (char16_t c : lower) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return ZipCrc32Update(crc, bytes.data(), bytes.size());
}

// Left-aligned in a column of the width (as many characters as UTF-16 units).
std::string PadRight(const std::string& text, size_t width)
{
    const size_t units = Utf8ToWide(text).size();
    return units >= width ? text : text + std::string(width - units, ' ');
}

std::string HexDigits(uint64_t value, size_t width)
{
    std::string text = Int64ToHexTextA(value, static_cast<int32_t>(width)).substr(1);
    return text;
}

void TTracer::Compose(TTraceStackOutput& out)
{
    std::vector<const TInternalStackItem*> printed;
    uintptr_t last = 0;
    for (size_t n = Items.size(); n-- > 0;) {
        const TInternalStackItem& item = Items[n];
        if (item.dropped)
            continue;
        // With relative lines the line is an offset that may be 0 or below
        // (a call on the function's first line, code inlined from above it):
        // the absolute line tells whether the item has one.
        const int32_t absoluteLine = item.secondLine > 0 ? item.secondLine : item.line;
        const bool show = item.exact || item.creator ||
                          (!item.functionName.empty() && (absoluteLine > 0 || !In.HideUglyItems) &&
                           (printed.empty() || item.outAddress != last));
        if (!show)
            continue;
        printed.push_back(&item);
        last = item.outAddress;
    }
    size_t relWidth = 0, moduleWidth = 0, unitWidth = 0, secondWidth = 0, lineWidth = 0;
    for (const TInternalStackItem* item : printed) {
        if (In.ShowRelAddrs && item->functionStart != 0 && item->functionStart < item->outAddress)
            relWidth = std::max(relWidth, HexDigits(item->outAddress - item->functionStart, 1).size() + 2);
        moduleWidth = std::max(moduleWidth, item->moduleName.size() + 1);
        if (!item->unitName.empty())
            unitWidth = std::max(unitWidth, item->unitName.size() + 1);
        if (item->secondLine > 0)
            secondWidth = std::max(secondWidth, IntToDecTextA(item->secondLine).size() + 1);
        if (item->line > 0 || item->secondLine > 0)
            lineWidth = std::max(lineWidth, IntToDecTextA(std::abs(item->line)).size() + 1 +
                                                (In.ShowRelLines && item->secondLine > 0 ? 1 : 0));
    }
    std::string text;
    for (const TInternalStackItem* item : printed) {
        std::string line = "\r\n" + HexDigits(item->outAddress, 16) + " ";
        if (relWidth > 0) {
            const uint64_t offset = item->functionStart != 0 && item->functionStart < item->outAddress
                                        ? item->outAddress - item->functionStart
                                        : 0;
            line += "+" + HexDigits(offset, relWidth - 2) + " ";
        }
        line += PadRight(WideToUtf8(item->moduleName), moduleWidth);
        line += PadRight(WideToUtf8(item->unitName), unitWidth);
        if (secondWidth > 0) {
            const std::string second = item->secondLine > 0 ? IntToDecTextA(item->secondLine) + " " : "";
            line += std::string(secondWidth - std::min(secondWidth, second.size()), ' ') + second;
        }
        if (lineWidth > 0) {
            std::string number;
            if (item->line != 0 || item->secondLine > 0) {
                number = IntToDecTextA(item->line);
                if (In.ShowRelLines && item->secondLine > 0 && item->line >= 0)
                    number = "+" + number;
                number += " ";
            }
            line += std::string(lineWidth - std::min(lineWidth, number.size()), ' ') + number;
        }
        line += WideToUtf8(item->functionName);
        text += line;

        TStackItem entry;
        entry.Address = item->outAddress;
        entry.Offset = item->functionStart != 0 && item->functionStart < item->outAddress
                           ? static_cast<uint32_t>(item->outAddress - item->functionStart)
                           : 0;
        entry.Module = item->moduleName;
        entry.Unit = item->unitName;
        entry.Line = item->secondLine > 0 ? item->secondLine : item->line;
        entry.RelativeLine = item->secondLine > 0 ? item->line : 0;
        entry.FunctionName = item->functionName;
        out.Stack.push_back(entry);

        // Checksums: stable under address-space randomisation, so a function's
        // offset, else the module-relative address.
        uint32_t v = 0;
        if (item->functionStart != 0 && item->moduleName != u"???" && !item->functionName.empty()) {
            v = static_cast<uint32_t>(item->outAddress - item->functionStart);
            v = CrcOfName(v, item->moduleName);
            if (!item->unitName.empty())
                v = CrcOfName(v, item->unitName);
            v = CrcOfName(v, item->functionName);
        } else {
            const uintptr_t base =
                item->module >= 0 ? Tables.modules[static_cast<size_t>(item->module)].facts.handle : 0;
            v = static_cast<uint32_t>(item->outAddress - base);
        }
        if (out.Stack.size() == 1) {
            out.Checksum1 = out.Checksum2 = v;
        } else {
            std::string bytes;
            PutLE32(bytes, v);
            out.Checksum2 = ZipCrc32Update(out.Checksum2, bytes.data(), 4);
        }
        if (item->line > 0 || item->secondLine > 0)
            out.HasLineInfo = true;
        if (item->module >= 0) {
            const auto& map = Tables.modules[static_cast<size_t>(item->module)].map;
            if (map && !map->identityText.empty()) {
                const std::string info = WideToUtf8(item->moduleName) + "|" + map->identityText;
                if (std::find(out.ModuleInfo.begin(), out.ModuleInfo.end(), info) == out.ModuleInfo.end())
                    out.ModuleInfo.push_back(info);
            }
        }
    }
    out.Text = text.size() >= 2 ? text.substr(2) : text;
    for (const TInternalStackItem* item : printed)
        if (item->functionStart != 0 && item->secondLine > 0) {
            out.FunctionStart = item->functionStart;
            out.FunctionAddress = item->outAddress;
            break;
        }
    if (out.FunctionStart == 0)
        for (const TInternalStackItem* item : printed)
            if (item->functionStart != 0) {
                out.FunctionStart = item->functionStart;
                out.FunctionAddress = item->outAddress;
                break;
            }
}

TTraceStackOutput TTracer::Run(uintptr_t ownStackPointer, uintptr_t callerAddress)
{
    TTraceStackOutput out;
    const char* phase = "CollectPossibleStackItems";
    try {
        uintptr_t start = In.Stack.StackStart, end = In.Stack.StackEnd;
        const bool ownStack = start == 0 && end == 0;
        for (const TMapRegion& region : Regions) {
            if (region.Executable)
                CodeRuns.emplace_back(region.Start, region.End);
            if (ownStack && ownStackPointer >= region.Start && ownStackPointer < region.End) {
                start = ownStackPointer;
                end = region.End;
            }
        }
        FailureAddress = In.FailureAddress;
        const bool ownPosition = !In.Failing && FailureAddress == 0;
        if (ownPosition)
            FailureAddress = callerAddress;
        start &= ~uintptr_t(7);
        if (end <= start || SnapshotKindOf(Snapshot, start, end - start) != 2)
            return out;
        if (Aborted())
            return out;

        Items.reserve(64);
        if (In.CreatorAddress != 0)
            AddCandidate(In.CreatorAddress, false, true, true);
        if (!In.PreparedStackText.empty()) {
            const std::string& prepared = In.PreparedStackText;
            uint32_t count = 0;
            if (prepared.size() >= 4)
                std::memcpy(&count, prepared.data(), 4);
            for (size_t i = 0; i < count && 4 + (i + 1) * 9 <= prepared.size() && !Aborted(); ++i) {
                uint64_t value = 0;
                std::memcpy(&value, prepared.data() + 4 + i * 9 + 1, 8);
                AddCandidate(static_cast<uintptr_t>(value), false, prepared[4 + i * 9] != 0, false);
                if (!Items.empty() && Items.back().exact)
                    break;
            }
        } else {
            // The exact unwinder's frames are kept where the scan meets their slots.
            std::unordered_map<uintptr_t, uintptr_t> unwound;
            if (In.UseUnwinder) {
                std::vector<TUnwoundFrame> frames;
                bool whole = false;
                if (In.Stack.Context != nullptr)
                    frames = UnwindContext(*In.Stack.Context, &Snapshot, &whole);
                else if (ownStack)
                    frames = UnwindCallingThread();
                // Above the outermost frame lie no callers but the thread's
                // own records (its thread-local data among them), where a
                // copy of the failure's address would end the scan early.
                if (whole && !frames.empty() && frames.back().Slot >= start && frames.back().Slot < end)
                    end = frames.back().Slot + sizeof(uintptr_t);
                for (const TUnwoundFrame& f : frames)
                    if (f.Slot >= start && f.Slot < end)
                        unwound[f.Slot] = f.Address;
            }
            std::vector<uintptr_t> block(8192);
            uintptr_t slot = end;
            bool skipNext = false;
            bool reachedExact = false;
            while (slot > start && !reachedExact && !Aborted()) {
                const uintptr_t blockStart = std::max(start, slot - block.size() * sizeof(uintptr_t));
                const size_t count = (slot - blockStart) / sizeof(uintptr_t);
                if (!ReadMemorySafe(blockStart, block.data(), count * sizeof(uintptr_t), &Snapshot))
                    break;
                for (size_t n = count; n-- > 0;) {
                    const uintptr_t at = blockStart + n * sizeof(uintptr_t);
                    if (skipNext) {
                        skipNext = false;
                        continue;
                    }
                    const uintptr_t value = block[n];
                    auto kept = unwound.find(at);
                    const bool keep = kept != unwound.end() && kept->second == value;
                    if (!keep && (value <= 7 || !InCode(value - 1)))
                        continue;
                    const size_t before = Items.size();
                    const bool accepted = AddCandidate(value, false, keep, false);
                    if (accepted && Items.size() > before && Items.back().keep && !Items.back().exact)
                        skipNext = true;
                    if (Items.size() > before && Items.back().exact) {
                        reachedExact = true;
                        break;
                    }
                }
                slot = blockStart;
            }
        }
        if (!In.PlainThread && (Items.empty() || !Items.back().exact) && FailureAddress != 0) {
            if (ownPosition) {
                // The caller's own position is the call that led here: a
                // return address that stays, not an instruction of its own.
                AddCandidate(FailureAddress, false, true, false);
            } else {
                AddCandidate(FailureAddress, true, true, false);
            }
        }

        phase = "RemoveRecursiveStackAreas";
        if (Aborted())
            return out;
        RemoveRecursion(true);

        phase = "InDeepChecks";
        for (size_t i = In.CreatorAddress != 0 ? 1 : 0; i < Items.size() && !Aborted(); ++i)
            if (!Items[i].dropped)
                DeepCheck(i);

        phase = "RealizeOptimalLinkChains";
        if (Aborted())
            return out;
        if (!Items.empty()) {
            size_t hi = Items.size() - 1;
            for (size_t i = hi; i-- > 0 && !Aborted();)
                if (Items[i].keep) {
                    RealiseChain(static_cast<int>(i), hi);
                    hi = i;
                }
            RealiseChain(-1, hi);
        }

        phase = "RemoveRecursiveAreas";
        if (Aborted())
            return out;
        RemoveRecursion(false);

        phase = "FillFinalOutput";
        if (Aborted())
            return out;
        FillFinalOutput();
        for (size_t n = Items.size(); n-- > 0;)
            if (!Items[n].dropped) {
                out.FailureSlot = Items[n].outAddress;
                break;
            }

        phase = "ComposeResult";
        Compose(out);
    } catch (...) {
        out = TTraceStackOutput{};
        out.Text = ReportInternalError(phase, In.ShowRelAddrs, In.ShowRelLines);
        if (In.Failing)
            out.Text += "\r\n>> original exception location: \r\n" +
                        FormatStackItem(FailureAddress, In.ShowRelAddrs, In.ShowRelLines);
    }
    return out;
}

} // namespace

TTraceStackOutput TraceStack(const TTraceStackInput& input)
{
    // Above this routine's frame: its saved frame pointer and return address.
    const uintptr_t ownStackPointer = reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) + 16;
    const uintptr_t caller = reinterpret_cast<uintptr_t>(__builtin_extract_return_addr(__builtin_return_address(0)));
    TTraceTables& tables = Tables();
    std::lock_guard guard(tables.lock);
    TTracer tracer(input, tables);
    return tracer.Run(ownStackPointer, caller);
}

void SetHiddenStackFunctions(std::initializer_list<uintptr_t> entries)
{
    size_t n = 0;
    for (uintptr_t entry : entries)
        if (n < HiddenFunctionCount)
            HiddenFunctions[n++].store(entry, std::memory_order_relaxed);
    while (n < HiddenFunctionCount)
        HiddenFunctions[n++].store(0, std::memory_order_relaxed);
}

std::string PreparedStackText(const std::vector<std::pair<bool, uintptr_t>>& records)
{
    std::string text;
    PutLE32(text, static_cast<uint32_t>(records.size()));
    for (const auto& [keep, address] : records) {
        text.push_back(keep ? 1 : 0);
        const uint64_t value = address;
        text.append(reinterpret_cast<const char*>(&value), 8);
    }
    return text;
}

bool FollowsCallInstruction(uintptr_t address)
{
    uint8_t bytes[8];
    return address >= 8 && ReadMemorySafe(address - 8, bytes, 8, nullptr) && CallEndsAt(bytes);
}

std::string FormatStackItem(uintptr_t address, bool showRelAddrs, bool showRelLines)
{
    return FormatStackItemIn(*MapFileOfAddress(address), address, showRelAddrs, showRelLines);
}

std::string FormatStackItemIn(const TMapFile& mapFile, uintptr_t address, bool showRelAddrs, bool showRelLines)
{
    const TMapFile* map = &mapFile;
    std::string text = HexDigits(address, 16);
    const TMfPublic& symbol = map->PublicAt(address);
    if (!map->valid || !symbol.valid)
        return text + (showRelAddrs ? " +0" : "") + " ???";
    if (showRelAddrs)
        text += " +" + HexDigits(address - symbol.address, 1);
    text += " " + WideToUtf8(FileNameOnly(WideToUtf8(map->moduleFileName))) + " ";
    if (const TMfSegment* segment = map->FindSegment(true, address))
        text += WideToUtf8(segment->unitName);
    text += " ";
    const int32_t line = map->LineAt(address);
    if (line > 0)
        text += IntToDecTextA(line) + " ";
    if (showRelLines) {
        const int32_t startLine = map->LineAt(symbol.address);
        text += startLine < 0 ? "+0 " : "+" + IntToDecTextA(std::max(0, line) - startLine) + " ";
    }
    return text + WideToUtf8(symbol.name);
}

std::string ReportInternalError(const std::string& routine, bool showRelAddrs, bool showRelLines)
{
    std::string text = ">> internal error in " + routine;
    // The throw hook keeps the site of this thread's latest throw.
    const uintptr_t site = std::current_exception() ? ThreadExceptionState().Address : 0;
    if (site != 0)
        text += ":\r\n" + FormatStackItem(site, showRelAddrs, showRelLines);
    return text;
}
