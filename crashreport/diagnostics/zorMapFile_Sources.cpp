// The sources of a module's debug information on this system, the cache of
// loaded objects, the look-ups by address and the listing's hooks.
//
// Normal context or the reporter's handler and report threads: allocates,
// reads files, walks the loader's module list.
#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "crashreport/diagnostics/zorMapFile.h"
#include "crashreport/diagnostics/zorStrings.h"

// ---------------------------------------------------------------------------
// ELF files

std::string DemangledName(const std::string& name)
{
    if (name.rfind("_Z", 0) != 0)
        return name;
    int status = 0;
    char* plain = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    if (plain == nullptr || status != 0) {
        std::free(plain);
        return name;
    }
    std::string result(plain);
    std::free(plain);
    return result;
}

namespace {

// Sizes in a file are never trusted beyond these.
constexpr uint64_t MaxSymbolTableBytes = 64ull << 20;
constexpr uint64_t MaxStringTableBytes = 64ull << 20;
constexpr size_t MaxNameLength = 4096;

bool ReadElfSectionHeaders(const TElfByteReader& read, uint64_t fileSize, const Elf64_Ehdr& header,
                           std::vector<Elf64_Shdr>& sections)
{
    if (header.e_shoff == 0 || header.e_shnum == 0 || header.e_shentsize != sizeof(Elf64_Shdr))
        return false;
    const uint64_t bytes = static_cast<uint64_t>(header.e_shnum) * sizeof(Elf64_Shdr);
    if (header.e_shoff > fileSize || bytes > fileSize - header.e_shoff)
        return false;
    sections.resize(header.e_shnum);
    return read(header.e_shoff, sections.data(), bytes);
}

bool ReadElfSymbolTable(const TElfByteReader& read, uint64_t fileSize, const std::vector<Elf64_Shdr>& sections,
                        const Elf64_Shdr& table, TElfFacts& facts)
{
    if (table.sh_entsize != sizeof(Elf64_Sym) || table.sh_link >= sections.size())
        return false;
    const Elf64_Shdr& strings = sections[table.sh_link];
    if (table.sh_offset > fileSize || table.sh_size > fileSize - table.sh_offset ||
        table.sh_size > MaxSymbolTableBytes || strings.sh_offset > fileSize ||
        strings.sh_size > fileSize - strings.sh_offset || strings.sh_size > MaxStringTableBytes)
        return false;
    std::string names(strings.sh_size, '\0');
    if (!names.empty() && !read(strings.sh_offset, names.data(), names.size()))
        return false;
    const uint64_t count = table.sh_size / sizeof(Elf64_Sym);
    std::vector<Elf64_Sym> symbols(count);
    if (count > 0 && !read(table.sh_offset, symbols.data(), count * sizeof(Elf64_Sym)))
        return false;
    for (const Elf64_Sym& symbol : symbols) {
        const unsigned type = ELF64_ST_TYPE(symbol.st_info);
        if ((type != STT_FUNC && type != STT_OBJECT) || symbol.st_shndx == SHN_UNDEF || symbol.st_name == 0 ||
            symbol.st_name >= names.size())
            continue;
        const char* start = names.data() + symbol.st_name;
        const size_t length = strnlen(start, std::min(MaxNameLength, names.size() - symbol.st_name));
        if (length == 0)
            continue;
        TElfSymbol entry;
        entry.name.assign(start, length);
        entry.value = symbol.st_value;
        entry.size = symbol.st_size;
        entry.isFunction = type == STT_FUNC;
        facts.symbols.push_back(std::move(entry));
    }
    return true;
}

} // namespace

bool ReadElfFacts(const TElfByteReader& read, uint64_t fileSize, bool wantSymbols, TElfFacts& facts)
{
    facts = TElfFacts{};
    Elf64_Ehdr header;
    if (fileSize < sizeof(header) || !read(0, &header, sizeof(header)))
        return false;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
        header.e_ident[EI_DATA] != ELFDATA2LSB || header.e_machine != EM_X86_64)
        return false;
    facts.entry = header.e_entry;
    if (header.e_phoff != 0 && header.e_phentsize == sizeof(Elf64_Phdr)) {
        const uint64_t bytes = static_cast<uint64_t>(header.e_phnum) * sizeof(Elf64_Phdr);
        if (header.e_phoff <= fileSize && bytes <= fileSize - header.e_phoff) {
            std::vector<Elf64_Phdr> segments(header.e_phnum);
            if (bytes > 0 && !read(header.e_phoff, segments.data(), bytes))
                return false;
            for (const Elf64_Phdr& segment : segments) {
                if (segment.p_type != PT_LOAD || segment.p_vaddr + segment.p_memsz < segment.p_vaddr)
                    continue;
                if ((segment.p_flags & PF_X) != 0 && facts.codeEnd == 0) {
                    facts.codeStart = segment.p_vaddr;
                    facts.codeEnd = segment.p_vaddr + segment.p_memsz;
                } else if ((segment.p_flags & PF_W) != 0 && facts.dataEnd == 0) {
                    facts.dataStart = segment.p_vaddr;
                    facts.dataEnd = segment.p_vaddr + segment.p_memsz;
                }
            }
        }
    }
    if (!wantSymbols)
        return true;
    std::vector<Elf64_Shdr> sections;
    if (!ReadElfSectionHeaders(read, fileSize, header, sections))
        return true; // no sections: a file without symbols
    for (uint32_t wanted : {uint32_t(SHT_SYMTAB), uint32_t(SHT_DYNSYM)}) {
        for (const Elf64_Shdr& section : sections) {
            if (section.sh_type != wanted)
                continue;
            if (ReadElfSymbolTable(read, fileSize, sections, section, facts)) {
                facts.fromSymtab = wanted == SHT_SYMTAB;
                return true;
            }
            facts.symbols.clear();
        }
    }
    return true;
}

bool ReadElfFactsOfFile(const std::string& path, bool wantSymbols, TElfFacts& facts)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = false;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        auto read = [fd](uint64_t offset, void* dest, size_t count) {
            auto* out = static_cast<char*>(dest);
            while (count > 0) {
                const ssize_t got = pread(fd, out, count, static_cast<off_t>(offset));
                if (got <= 0)
                    return false;
                out += got;
                offset += static_cast<uint64_t>(got);
                count -= static_cast<size_t>(got);
            }
            return true;
        };
        ok = ReadElfFacts(read, static_cast<uint64_t>(info.st_size), wantSymbols, facts);
    }
    close(fd);
    return ok;
}

bool TMapFile::ReadElfSymbols(const std::string& path)
{
    TElfFacts facts;
    if (!ReadElfFactsOfFile(path, true, facts) || facts.symbols.empty())
        return false;
    // Symbols are link-time addresses: the module's load base makes them real.
    const uintptr_t loadBase = baseOfCode - static_cast<uintptr_t>(facts.codeStart);
    for (const TElfSymbol& symbol : facts.symbols) {
        if (!symbol.isFunction && codeOnly)
            continue;
        const size_t before = publics.size();
        AddPublic(symbol.isFunction, Utf8ToWide(DemangledName(symbol.name)), loadBase + symbol.value, false);
        if (publics.size() > before)
            publics.back().size = static_cast<uint32_t>(std::min<uint64_t>(symbol.size, UINT32_MAX));
    }
    SortPublics();
    return true;
}

// ---------------------------------------------------------------------------
// Modules of this process

namespace {

struct TFactsSearch {
    uintptr_t address = 0;
    bool byHandle = false;
    bool found = false;
    TModuleFacts* facts = nullptr;
};

std::string ProgramFileName()
{
    char path[4096];
    const ssize_t got = readlink("/proc/self/exe", path, sizeof(path) - 1);
    return got > 0 ? std::string(path, static_cast<size_t>(got)) : std::string();
}

int VisitModule(dl_phdr_info* info, size_t, void* data)
{
    auto* search = static_cast<TFactsSearch*>(data);
    bool holds = search->byHandle && info->dlpi_addr == search->address;
    for (int i = 0; !holds && !search->byHandle && i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        holds = segment.p_type == PT_LOAD && search->address >= start && search->address - start < segment.p_memsz;
    }
    if (!holds)
        return 0;
    TModuleFacts& facts = *search->facts;
    facts = TModuleFacts{};
    facts.handle = info->dlpi_addr;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD)
            continue;
        const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        if ((segment.p_flags & PF_X) != 0 && facts.topOfCode == 0) {
            facts.baseOfCode = start;
            facts.topOfCode = start + segment.p_memsz;
        } else if ((segment.p_flags & PF_W) != 0 && facts.topOfData == 0) {
            facts.baseOfData = start;
            facts.topOfData = start + segment.p_memsz;
        }
    }
    facts.fileName = info->dlpi_name != nullptr && info->dlpi_name[0] != 0 ? info->dlpi_name : ProgramFileName();
    search->found = true;
    return 1;
}

bool SearchModules(uintptr_t address, bool byHandle, TModuleFacts& facts)
{
    TFactsSearch search;
    search.address = address;
    search.byHandle = byHandle;
    search.facts = &facts;
    dl_iterate_phdr(VisitModule, &search);
    return search.found;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

bool ModuleFactsOfAddress(uintptr_t address, TModuleFacts& facts)
{
    return SearchModules(address, false, facts);
}

std::string PackedDebugFileOf(const std::string& moduleFileName)
{
    const size_t slash = moduleFileName.find_last_of('/');
    const size_t dot = moduleFileName.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        return moduleFileName.substr(0, dot) + ".zor";
    return moduleFileName + ".zor";
}

namespace {

std::unique_ptr<TMapFile> CreateForModule(bool load, bool packedOnly, bool codeOnly, const TModuleFacts& facts,
                                          const std::string* packedData)
{
    auto map = std::make_unique<TMapFile>();
    map->codeOnly = codeOnly;
    map->module = facts.handle;
    map->moduleFileName = Utf8ToWide(facts.fileName);
    map->debugFileBase = map->moduleFileName;
    map->baseOfCode = facts.baseOfCode;
    map->topOfCode = facts.topOfCode;
    map->baseOfData = facts.baseOfData;
    map->topOfData = facts.topOfData;
    if (!load)
        return map;
    try {
        if (packedData != nullptr) {
            map->valid = map->ReadPackedData(*packedData);
        } else {
            const std::string packed = ReadWholeFile(PackedDebugFileOf(facts.fileName));
            map->valid = !packed.empty() && map->ReadPackedData(packed);
            if (!map->valid && !packedOnly) {
                auto fresh = CreateForModule(false, false, codeOnly, facts, nullptr);
                map = std::move(fresh);
                map->valid = map->ReadElfSymbols(facts.fileName);
            }
        }
    } catch (...) {
        map->valid = false;
    }
    map->SortLines();
    if (map->publics.size() > 0)
        map->IndexPublics();
    return map;
}

} // namespace

std::unique_ptr<TMapFile> TMapFile::Create(bool load, bool packedOnly, bool codeOnly, TModuleHandle module,
                                           const std::u16string& moduleFileName, const std::string* packedData)
{
    TModuleFacts facts;
    if (!SearchModules(module, true, facts)) {
        facts = TModuleFacts{};
        facts.handle = module;
    }
    if (!moduleFileName.empty())
        facts.fileName = WideToUtf8(moduleFileName);
    return CreateForModule(load, packedOnly, codeOnly, facts, packedData);
}

// ---------------------------------------------------------------------------
// The cache

namespace {

struct TCacheEntry {
    int64_t writeTime = 0;
    TModuleHandle handle = 0;
    std::string fileName;
    std::shared_ptr<TMapFile> map;
};

struct TMapFileCache {
    std::mutex lock;
    std::vector<TCacheEntry> entries;
};

TMapFileCache& Cache()
{
    static auto* cache = new TMapFileCache; // lives to the end, also for late reports
    return *cache;
}

int64_t WriteTimeOf(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return -1;
    return static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

} // namespace

std::shared_ptr<TMapFile> MapFileOfModule(const TModuleFacts& facts)
{
    const int64_t writeTime = WriteTimeOf(facts.fileName);
    TMapFileCache& cache = Cache();
    std::lock_guard guard(cache.lock);
    for (size_t i = 0; i < cache.entries.size(); ++i) {
        TCacheEntry& entry = cache.entries[i];
        if (entry.handle != facts.handle || entry.fileName != facts.fileName)
            continue;
        if (entry.writeTime == writeTime)
            return entry.map;
        // The module file changed: the entry goes, the last one takes its place.
        entry = std::move(cache.entries.back());
        cache.entries.pop_back();
        break;
    }
    std::shared_ptr<TMapFile> map = CreateForModule(true, false, true, facts, nullptr);
    if (map->valid)
        cache.entries.push_back({writeTime, facts.handle, facts.fileName, map});
    return map;
}

std::shared_ptr<TMapFile> MapFileOfAddress(uintptr_t address)
{
    if (address == 0)
        address = MainModuleHandle();
    TModuleFacts facts;
    if (!ModuleFactsOfAddress(address, facts))
        return std::make_shared<TMapFile>();
    try {
        return MapFileOfModule(facts);
    } catch (...) {
        return std::make_shared<TMapFile>();
    }
}

void MapFileCacheClear()
{
    TMapFileCache& cache = Cache();
    std::lock_guard guard(cache.lock);
    cache.entries.clear();
}

// ---------------------------------------------------------------------------
// Look-ups by address

namespace {

std::u16string FileNameOnly(const std::u16string& path)
{
    const size_t slash = path.find_last_of(u'/');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

} // namespace

TAddressDebugInfo AddressDebugInfo(uintptr_t address, uintptr_t fallbackAddress)
{
    TAddressDebugInfo info;
    if (address == 0)
        address = fallbackAddress;
    const std::shared_ptr<TMapFile> map = MapFileOfAddress(address);
    info.found = map->valid;
    info.moduleFileName = map->moduleFileName;
    if (const TMfSegment* segment = map->FindSegment(true, address))
        info.unitName = segment->unitName;
    const TMfPublic& symbol = map->PublicAt(address);
    if (symbol.valid) {
        info.functionName = symbol.name;
        info.functionAddress = symbol.address;
    } else {
        // A library without symbol table still names its exported routines.
        Dl_info dl{};
        if (dladdr(reinterpret_cast<void*>(address), &dl) != 0 && dl.dli_sname != nullptr) {
            std::u16string unit;
            info.functionName = Utf8ToWide(DemangledName(dl.dli_sname));
            UnmangleNameW(info.functionName, unit);
            info.functionAddress = reinterpret_cast<uintptr_t>(dl.dli_saddr);
            if (info.moduleFileName.empty() && dl.dli_fname != nullptr)
                info.moduleFileName = Utf8ToWide(dl.dli_fname);
        }
    }
    info.line = std::max(0, map->LineAt(address));
    return info;
}

TAddressDebugInfo CallerDebugInfo(uintptr_t address)
{
    const uintptr_t caller = reinterpret_cast<uintptr_t>(__builtin_extract_return_addr(__builtin_return_address(0)));
    return AddressDebugInfo(address, caller - 1);
}

std::u16string DebugNameIn(const TMapFile& map, uintptr_t address)
{
    const TMfPublic& symbol = map.PublicAt(address);
    if (!symbol.valid || symbol.address != address)
        return {};
    std::u16string name = symbol.name;
    if (const TMfSegment* segment = map.FindSegment(true, address))
        if (!segment->unitName.empty())
            name = segment->unitName + u"." + name;
    if (name.find(u'%') != std::u16string::npos)
        name += u" (" + FileNameOnly(map.moduleFileName) + u")";
    return name;
}

std::u16string DebugNameOfAddress(uintptr_t address)
{
    try {
        return DebugNameIn(*MapFileOfAddress(address), address);
    } catch (...) {
        return {};
    }
}

void DebugLineOfAddress(uintptr_t address, uint32_t& line, uintptr_t& rangeStart, uintptr_t& rangeEnd)
{
    if (address == 0 || (line != 0 && address >= rangeStart && address < rangeEnd))
        return;
    try {
        uintptr_t next = address + 1;
        line = static_cast<uint32_t>(std::max(0, MapFileOfAddress(address)->LineAt(address, &next)));
        rangeStart = address;
        rangeEnd = next;
    } catch (...) {
        line = 0;
    }
}

bool DebugFunctionExtent(uintptr_t address, TFunctionExtent& extent)
{
    try {
        const std::shared_ptr<TMapFile> map = MapFileOfAddress(address);
        const TMfPublic& symbol = map->PublicAt(address);
        if (!symbol.valid || symbol.size == 0 || address - symbol.address >= symbol.size)
            return false;
        extent = TFunctionExtent{};
        extent.start = symbol.address;
        extent.end = symbol.address + symbol.size;
        return true;
    } catch (...) {
        return false;
    }
}

void LinkMapFile()
{
    DebugNameHook = DebugNameOfAddress;
    DebugLineHook = DebugLineOfAddress;
    FunctionExtentHook = DebugFunctionExtent;
}
