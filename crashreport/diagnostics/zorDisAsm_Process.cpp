// What the disassembler asks of this process: the image and memory region
// around an address, routine names, a function's extent from the unwind
// tables, and which routines never return.
//
// Normal context: uses the loader's module list (dl_iterate_phdr) and
// allocates.
#include <cerrno>
#include <cstring>
#include <link.h>
#include <mutex>
#include <unordered_map>

#include "crashreport/diagnostics/zorDisAsm_Internal.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorTools.h"

TDebugLineHook DebugLineHook = nullptr;
TDebugNameHook DebugNameHook = nullptr;
TFunctionExtentHook FunctionExtentHook = nullptr;

namespace {

// ---------------------------------------------------------------------------
// Modules

bool ProcessImageOf(const TDisAsmEnvironment&, uintptr_t address, uintptr_t& base, uintptr_t& size)
{
    zordisasm::TModuleLayout layout;
    if (!zordisasm::ModuleLayoutOf(address, layout))
        return false;
    base = layout.low;
    size = layout.high - layout.low;
    return true;
}

bool ProcessRegionOf(const TDisAsmEnvironment&, uintptr_t address, uintptr_t& base, uintptr_t& size)
{
    for (const TMapRegion& region : ReadProcessMaps()) {
        if (address >= region.Start && address < region.End) {
            base = region.Start;
            size = region.End - region.Start;
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// What was found out about addresses of loaded modules, kept while no module
// comes or goes: a listing asks the same names again and again.

struct TAddressFacts {
    std::mutex lock;
    unsigned long long adds = ~0ull, subs = ~0ull;
    std::unordered_map<uintptr_t, std::string> exportNames;
    std::unordered_map<uintptr_t, std::string> moduleSuffixes;
    std::unordered_map<uintptr_t, bool> neverReturns;
};

TAddressFacts& Facts()
{
    static TAddressFacts* facts = new TAddressFacts; // lives to the end, also for late reports
    return *facts;
}

// The fact about an address from the table, else computed and kept. When
// another thread holds the table, the fact is computed without it.
template <typename Value, typename Compute>
Value Remembered(std::unordered_map<uintptr_t, Value> TAddressFacts::*table, uintptr_t address, Compute compute)
{
    TAddressFacts& facts = Facts();
    unsigned long long adds = 0, subs = 0;
    zordisasm::LoaderCounters(adds, subs);
    {
        std::unique_lock<std::mutex> guard(facts.lock, std::try_to_lock);
        if (guard.owns_lock()) {
            if (facts.adds != adds || facts.subs != subs) {
                facts.exportNames.clear();
                facts.moduleSuffixes.clear();
                facts.neverReturns.clear();
                facts.adds = adds;
                facts.subs = subs;
            }
            auto it = (facts.*table).find(address);
            if (it != (facts.*table).end())
                return it->second;
        }
    }
    const Value value = compute();
    std::unique_lock<std::mutex> guard(facts.lock, std::try_to_lock);
    if (guard.owns_lock() && facts.adds == adds && facts.subs == subs)
        (facts.*table)[address] = value;
    return value;
}

std::string ProcessExportNameOf(const TDisAsmEnvironment&, uintptr_t address)
{
    return Remembered(&TAddressFacts::exportNames, address, [address] {
        TModuleHandle module = 0;
        std::string fileName;
        if (!ModuleOfAddress(address, module, fileName))
            return std::string();
        return ExportNameOfA(module, address, true);
    });
}

std::string ProcessDebugNameOf(const TDisAsmEnvironment&, uintptr_t address)
{
    return DebugNameHook != nullptr ? WideToUtf8(DebugNameHook(address)) : std::string();
}

std::string ProcessModuleSuffixOf(const TDisAsmEnvironment&, uintptr_t address)
{
    return Remembered(&TAddressFacts::moduleSuffixes, address, [address] {
        TModuleHandle module = 0;
        std::string fileName;
        if (!ModuleOfAddress(address, module, fileName) || module == MainModuleHandle())
            return std::string();
        const size_t slash = fileName.find_last_of('/');
        return " (" + (slash == std::string::npos ? fileName : fileName.substr(slash + 1)) + ")";
    });
}

// ---------------------------------------------------------------------------
// The unwind table entry (FDE) of a function gives its extent.

struct TEhBases {
    void* tbase;
    void* dbase;
    void* func;
};
extern "C" const void* _Unwind_Find_FDE(void* pc, TEhBases* bases);

class TEhReader {
public:
    TEhReader(const TDisAsmEnvironment& env, uintptr_t at) : At(at), Env(env) {}
    uintptr_t At;
    bool Good = true;

    template <typename T> T Fixed()
    {
        T value{};
        if (Good && !Env.memory->Read(At, &value, sizeof(T)))
            Good = false;
        At += sizeof(T);
        return value;
    }
    uint64_t Uleb()
    {
        uint64_t value = 0;
        for (int shift = 0; Good && shift < 64; shift += 7) {
            const uint8_t b = Fixed<uint8_t>();
            value |= static_cast<uint64_t>(b & 0x7F) << shift;
            if ((b & 0x80) == 0)
                return value;
        }
        Good = false;
        return 0;
    }
    // A value of the pointer encoding's format (the low four bits), not applied.
    uint64_t Encoded(uint8_t encoding)
    {
        switch (encoding & 0x0F) {
        case 0x00:
        case 0x04:
        case 0x0C:
            return Fixed<uint64_t>();
        case 0x01:
        case 0x09:
            return Uleb();
        case 0x02:
        case 0x0A:
            return Fixed<uint16_t>();
        case 0x03:
        case 0x0B:
            return Fixed<uint32_t>();
        default:
            Good = false;
            return 0;
        }
    }

private:
    const TDisAsmEnvironment& Env;
};

bool FdeExtentOf(const TDisAsmEnvironment& env, uintptr_t address, uintptr_t& start, uintptr_t& end)
{
    TEhBases bases{};
    const void* fde = _Unwind_Find_FDE(reinterpret_cast<void*>(address), &bases);
    if (fde == nullptr || bases.func == nullptr)
        return false;
    TEhReader reader(env, reinterpret_cast<uintptr_t>(fde));
    if (reader.Fixed<uint32_t>() == 0xFFFFFFFFu)
        return false; // 64-bit lengths are not made by this tool chain
    const uintptr_t ciePointerField = reader.At;
    const uint32_t cieOffset = reader.Fixed<uint32_t>();
    if (!reader.Good || cieOffset == 0)
        return false;
    // The CIE says how the FDE's addresses are coded.
    TEhReader cie(env, ciePointerField - cieOffset);
    cie.Fixed<uint32_t>(); // length
    cie.Fixed<uint32_t>(); // id
    const uint8_t version = cie.Fixed<uint8_t>();
    char augmentation[16] = {};
    for (size_t i = 0; cie.Good; ++i) {
        if (i + 1 >= sizeof(augmentation))
            return false;
        augmentation[i] = static_cast<char>(cie.Fixed<uint8_t>());
        if (augmentation[i] == 0)
            break;
    }
    if (augmentation[0] != 'z')
        return false;
    cie.Uleb(); // code alignment
    cie.Uleb(); // data alignment (signed, only skipped)
    if (version == 1)
        cie.Fixed<uint8_t>(); // return register
    else
        cie.Uleb();
    cie.Uleb(); // augmentation length
    uint8_t fdeEncoding = 0;
    for (const char* a = augmentation + 1; *a != 0 && cie.Good; ++a) {
        if (*a == 'R') {
            fdeEncoding = cie.Fixed<uint8_t>();
        } else if (*a == 'P') {
            const uint8_t encoding = cie.Fixed<uint8_t>();
            cie.Encoded(encoding);
        } else if (*a == 'L') {
            cie.Fixed<uint8_t>();
        } else if (*a != 'S' && *a != 'B') {
            return false;
        }
    }
    if (!cie.Good)
        return false;
    reader.Encoded(fdeEncoding); // pc_begin: libgcc already worked it out
    const uint64_t range = reader.Encoded(fdeEncoding);
    if (!reader.Good || range == 0)
        return false;
    start = reinterpret_cast<uintptr_t>(bases.func);
    end = start + range;
    return address >= start && address < end;
}

bool ProcessFunctionExtentOf(const TDisAsmEnvironment& env, uintptr_t address, TFunctionExtent& extent)
{
    extent = TFunctionExtent{};
    if (FunctionExtentHook != nullptr && FunctionExtentHook(address, extent))
        return true;
    return FdeExtentOf(env, address, extent.start, extent.end);
}

// ---------------------------------------------------------------------------
// Routines that never return.

bool NameNeverReturns(const std::string& name)
{
    static const char* const Names[] = {"__cxa_throw", "__cxa_rethrow", "abort", "exit", "__stack_chk_fail"};
    for (const char* n : Names)
        if (name == n)
            return true;
    // std::__throw_*, demangled or not ("_ZSt19__throw_logic_errorPKc").
    if (name.rfind("std::__throw_", 0) == 0)
        return true;
    if (name.rfind("_ZSt", 0) == 0) {
        size_t i = 4;
        while (i < name.size() && name[i] >= '0' && name[i] <= '9')
            ++i;
        return i > 4 && name.compare(i, 8, "__throw_") == 0;
    }
    return false;
}

// The symbol a procedure-linkage slot is bound to, from the module's PLT
// relocations: lazily bound slots still point back into the stub, so their
// value does not tell.
std::string SlotSymbolName(uintptr_t slot)
{
    zordisasm::TModuleLayout layout;
    if (!zordisasm::ModuleLayoutOf(slot, layout) || layout.dynamic == 0)
        return "";
    const ElfW(Dyn)* dynamic = reinterpret_cast<const ElfW(Dyn)*>(layout.dynamic);
    uintptr_t relocations = 0, symbols = 0, strings = 0;
    uint64_t relocationBytes = 0, stringBytes = 0;
    const uintptr_t loadBase = layout.loadBase;
    auto absolute = [&](uintptr_t value) { return value < loadBase ? value + loadBase : value; };
    for (size_t i = 0; i < 4096; ++i) {
        ElfW(Dyn) entry;
        if (!ReadMemorySafe(reinterpret_cast<uintptr_t>(dynamic + i), &entry, sizeof(entry), nullptr) ||
            entry.d_tag == DT_NULL)
            break;
        switch (entry.d_tag) {
        case DT_JMPREL:
            relocations = absolute(entry.d_un.d_ptr);
            break;
        case DT_PLTRELSZ:
            relocationBytes = entry.d_un.d_val;
            break;
        case DT_SYMTAB:
            symbols = absolute(entry.d_un.d_ptr);
            break;
        case DT_STRTAB:
            strings = absolute(entry.d_un.d_ptr);
            break;
        case DT_STRSZ:
            stringBytes = entry.d_un.d_val;
            break;
        default:
            break;
        }
    }
    if (relocations == 0 || symbols == 0 || strings == 0)
        return "";
    for (uint64_t offset = 0; offset + sizeof(ElfW(Rela)) <= relocationBytes; offset += sizeof(ElfW(Rela))) {
        ElfW(Rela) relocation;
        if (!ReadMemorySafe(relocations + offset, &relocation, sizeof(relocation), nullptr))
            return "";
        if (loadBase + relocation.r_offset != slot)
            continue;
        ElfW(Sym) symbol;
        if (!ReadMemorySafe(symbols + ELF64_R_SYM(relocation.r_info) * sizeof(ElfW(Sym)), &symbol, sizeof(symbol),
                            nullptr) ||
            symbol.st_name >= stringBytes)
            return "";
        char name[128];
        const size_t most = std::min<uint64_t>(sizeof(name) - 1, stringBytes - symbol.st_name);
        TProcessMemory memory;
        const size_t got = memory.ReadPrefix(strings + symbol.st_name, name, most);
        name[got] = 0;
        return name;
    }
    return "";
}

bool NeverReturns(const TDisAsmEnvironment& env, uintptr_t address)
{
    std::string name = ProcessExportNameOf(env, address);
    if (name.empty() && env.debugNameOf != nullptr)
        name = env.debugNameOf(env, address);
    if (name.empty()) {
        // A procedure-linkage stub: jmp [rip+slot].
        const TInstrInfo stub = DecodeInstructionIn(*env.memory, address, nullptr, false, env.mode);
        if (stub.valid && stub.isJump && stub.targetSlotField != 0 && stub.opcode == 0xFF) {
            int32_t displacement = 0;
            if (env.memory->Read(stub.targetSlotField, &displacement, sizeof(displacement)))
                name = SlotSymbolName(stub.next + static_cast<int64_t>(displacement));
            if (name.empty() && stub.target != 0)
                name = ProcessExportNameOf(env, stub.target);
        }
    }
    return !name.empty() && NameNeverReturns(name);
}

bool ProcessIsNonReturning(const TDisAsmEnvironment& env, uintptr_t address)
{
    // Only the names of this process's modules decide, so the answer can be kept.
    return Remembered(&TAddressFacts::neverReturns, address, [&env, address] { return NeverReturns(env, address); });
}

} // namespace

void SetProcessDisAsmEnvironment(TDisAsmEnvironment& env, const TDATryRead* snapshot)
{
    env.processMemory = TProcessMemory(snapshot);
    env.memory = &env.processMemory;
    env.mode = NativeCodeMode;
    env.imageOf = ProcessImageOf;
    env.regionOf = ProcessRegionOf;
    env.exportNameOf = ProcessExportNameOf;
    env.debugNameOf = ProcessDebugNameOf;
    env.moduleSuffixOf = ProcessModuleSuffixOf;
    env.functionExtentOf = ProcessFunctionExtentOf;
    env.isNonReturning = ProcessIsNonReturning;
    env.context = nullptr;
}
