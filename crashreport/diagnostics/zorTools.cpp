// zorTools: the system, modules, symbol names, versions, resources, memory
// tests and the tick count. The message channels are in zorTools_Channels.cpp.
#include "crashreport/diagnostics/zorTools.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <mutex>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"

#ifndef DUSKMARCH_VERSION
#define DUSKMARCH_VERSION "1.0.0.0"
#endif

const char* const ZorProgramVersion = DUSKMARCH_VERSION;

namespace {

// A whole file read with plain system calls: /proc files report no size.
std::string ReadSmallFile(const char* path)
{
    std::string text;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return text;
}

std::string RealPath(const std::string& path)
{
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path;
    std::string result = real;
    free(real);
    return result;
}

// The PRETTY_NAME of an os-release file, its quotes removed; empty when none.
std::string PrettyName(const std::string& osRelease)
{
    for (const std::string& line : SplitLinesA(osRelease)) {
        if (line.rfind("PRETTY_NAME=", 0) != 0)
            continue;
        std::string value = line.substr(12);
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return "";
}

std::string Demangled(const char* name)
{
    if (name == nullptr)
        return "";
    int status = 0;
    char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    if (plain == nullptr || status != 0)
        return name;
    std::string result = plain;
    free(plain);
    return result;
}

// The address a loaded object starts at: its lowest loaded segment, page
// aligned, as dladdr reports it.
uintptr_t ObjectBase(const dl_phdr_info* info)
{
    uintptr_t lowest = UINTPTR_MAX;
    for (int i = 0; i < info->dlpi_phnum; ++i)
        if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_vaddr < lowest)
            lowest = info->dlpi_phdr[i].p_vaddr;
    if (lowest == UINTPTR_MAX)
        return 0;
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    return (info->dlpi_addr + lowest) & ~(page - 1);
}

} // namespace

// ---------------------------------------------------------------------------
// The system

TOS ReadOsInfo()
{
    static std::mutex lock;
    static TOS kept;
    std::lock_guard guard(lock);
    if (kept.Description.empty()) {
        TOS os;
        utsname names{};
        std::string description;
        if (uname(&names) == 0) {
            // "6.1.0-18-amd64": the first three numbers.
            uint32_t* parts[] = {&os.MajorVersion, &os.MinorVersion, &os.BuildNumber};
            const char* p = names.release;
            for (uint32_t* part : parts) {
                char* end = nullptr;
                *part = static_cast<uint32_t>(strtoul(p, &end, 10));
                if (end == p || *end != '.') {
                    p = end;
                    break;
                }
                p = end + 1;
            }
            os.IsX64 = strcmp(names.machine, "x86_64") == 0;
            description = std::string(names.sysname) + " " + names.release;
        }
        std::string pretty = PrettyName(ReadSmallFile("/etc/os-release"));
        if (pretty.empty())
            pretty = PrettyName(ReadSmallFile("/usr/lib/os-release"));
        if (!pretty.empty())
            description = pretty;
        if (os.IsX64)
            description += " x64";
        os.Description = Utf8ToWide(description);
        kept = os;
    }
    return kept;
}

// ---------------------------------------------------------------------------
// Modules

TModuleHandle MainModuleHandle()
{
    static const TModuleHandle handle = [] {
        uintptr_t base = 0;
        // The program itself is the first object listed.
        dl_iterate_phdr(
            [](dl_phdr_info* info, size_t, void* data) {
                *static_cast<uintptr_t*>(data) = ObjectBase(info);
                return 1;
            },
            &base);
        return base;
    }();
    return handle;
}

bool ModuleOfAddress(uintptr_t address, TModuleHandle& module, std::string& fileName)
{
    module = 0;
    fileName.clear();
    Dl_info info{};
    if (address == 0 || dladdr(reinterpret_cast<void*>(address), &info) == 0 || info.dli_fbase == nullptr)
        return false;
    module = reinterpret_cast<TModuleHandle>(info.dli_fbase);
    // dladdr names the program as it was started; the real file is better.
    if (module == MainModuleHandle())
        fileName = OS_GetProgramFileNative();
    else if (info.dli_fname != nullptr)
        fileName = info.dli_fname;
    return !fileName.empty();
}

std::string ExportNameOfA(TModuleHandle module, uintptr_t address, bool unmangle)
{
    Dl_info info{};
    if (address == 0 || dladdr(reinterpret_cast<void*>(address), &info) == 0 || info.dli_sname == nullptr ||
        reinterpret_cast<uintptr_t>(info.dli_saddr) != address)
        return "";
    const TModuleHandle owner = reinterpret_cast<TModuleHandle>(info.dli_fbase);
    if (owner != (module == 0 ? MainModuleHandle() : module))
        return "";
    std::string name = Demangled(info.dli_sname);
    if (unmangle) {
        std::string plain = name;
        std::string unit;
        if (UnmangleNameA(plain, unit))
            return unit.empty() ? plain : unit + "." + plain;
    }
    return name;
}

std::u16string ExportNameOfW(TModuleHandle module, uintptr_t address, bool unmangle)
{
    return Utf8ToWide(ExportNameOfA(module, address, unmangle));
}

uintptr_t FindExportedProc(TModuleHandle module, const std::string& name, bool)
{
    const TModuleHandle target = module == 0 ? MainModuleHandle() : module;
    void* handle = nullptr;
    if (target == MainModuleHandle()) {
        handle = dlopen(nullptr, RTLD_LAZY);
    } else {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(target), &info) == 0 || info.dli_fname == nullptr ||
            reinterpret_cast<TModuleHandle>(info.dli_fbase) != target)
            return 0;
        handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    }
    if (handle == nullptr)
        return 0;
    void* found = dlsym(handle, name.c_str());
    dlclose(handle);
    // dlsym also searches the module's dependencies: keep only its own.
    Dl_info owner{};
    if (found == nullptr || dladdr(found, &owner) == 0 || reinterpret_cast<TModuleHandle>(owner.dli_fbase) != target)
        return 0;
    return reinterpret_cast<uintptr_t>(found);
}

std::string FileVersionToTextA(uint32_t mostSignificant, uint32_t leastSignificant)
{
    return CardToDecTextA(mostSignificant >> 16) + "." + CardToDecTextA(mostSignificant & 0xFFFF) + "." +
           CardToDecTextA(leastSignificant >> 16) + "." + CardToDecTextA(leastSignificant & 0xFFFF);
}

std::u16string FileVersionToTextW(uint32_t mostSignificant, uint32_t leastSignificant)
{
    return Utf8ToWide(FileVersionToTextA(mostSignificant, leastSignificant));
}

std::string FileVersionTextA(const std::string& moduleFileName)
{
    if (moduleFileName.empty())
        return "";
    const std::string real = RealPath(moduleFileName);
    if (real == RealPath(OS_GetProgramFileNative()))
        return ZorProgramVersion;
    const std::string name = real.substr(real.rfind('/') + 1);
    const size_t at = name.find(".so.");
    return at == std::string::npos ? "" : name.substr(at + 4);
}

std::u16string FileVersionTextW(const std::u16string& moduleFileName)
{
    return Utf8ToWide(FileVersionTextA(WideToUtf8(moduleFileName)));
}

// ---------------------------------------------------------------------------
// Unmangling of "@Unit@Class@Method$suffix" names (1-based positions below,
// as the rules count them).

namespace {

template <class C> bool UnmangleCore(std::basic_string<C>& name, std::basic_string<C>& unit)
{
    using S = std::basic_string<C>;
    unit.clear();
    for (size_t at = name.find(S{C(':'), C(':')}); at != S::npos; at = name.find(S{C(':'), C(':')}, at + 1))
        name.replace(at, 2, 1, C('.'));
    if (name.empty() || name[0] != C('@'))
        return false;
    auto at = [&](size_t position) { return position >= 1 && position <= name.size() ? name[position - 1] : C(0); };

    S suffix;
    if (at(2) == C('%')) {
        for (size_t p = name.size() - 1; p >= 3; --p)
            if (at(p) == C('%') && at(p + 1) == C('@')) {
                suffix = C('.') + name.substr(p + 1);
                break;
            }
    }
    size_t start = 3;
    if (name.size() > 6 && at(2) == C('_') && at(3) == C('$')) {
        const size_t dollar = name.find(C('$'), 4);
        if (dollar != S::npos && at(dollar + 2) == C('@'))
            start = dollar + 2;
    }
    bool unitFound = false;
    bool cut = false;
    bool destructor = false;
    for (size_t p = start; p <= name.size(); ++p) {
        if (at(p) == C('@')) {
            name[p - 1] = C('.');
            if (!unitFound) {
                unitFound = true;
                unit = name.substr(1, p - 2);
            }
        } else if (at(p) == C('$')) {
            destructor = at(p + 2) == C('d');
            name.resize(p - 1);
            name += suffix;
            cut = true;
            break;
        }
    }
    bool prefixRemoved = false;
    if (unitFound) {
        if (unit.size() + 2 < name.size()) {
            name.erase(0, unit.size() + 2);
            prefixRemoved = true;
        } else {
            unit.clear();
        }
    }
    if (cut && !prefixRemoved && !name.empty())
        name.erase(0, 1);
    if (!name.empty() && name[0] == C('%'))
        name.erase(0, 1);
    if (!name.empty() && name[0] == C('.'))
        name[0] = C('@');
    if (!name.empty() && name.back() == C('.')) {
        const char* word = destructor ? "Destroy" : "Create";
        for (; *word; ++word)
            name.push_back(C(*word));
    }
    size_t end = name.size();
    while (end > 0 && static_cast<uint32_t>(name[end - 1]) <= 32)
        --end;
    size_t first = 0;
    while (first < end && static_cast<uint32_t>(name[first]) <= 32)
        ++first;
    name = name.substr(first, end - first);
    if (!name.empty() && name.back() == C('.'))
        name.push_back(C('?'));
    return true;
}

} // namespace

bool UnmangleNameA(std::string& name, std::string& unit)
{
    return UnmangleCore(name, unit);
}
bool UnmangleNameW(std::u16string& name, std::u16string& unit)
{
    return UnmangleCore(name, unit);
}

// ---------------------------------------------------------------------------
// Memory

std::vector<TMapRegion> ReadProcessMaps()
{
    std::vector<TMapRegion> regions;
    for (const std::string& line : SplitLinesA(ReadSmallFile("/proc/self/maps"))) {
        // start-end perms offset dev inode [path]
        TMapRegion region;
        char* p = nullptr;
        region.Start = strtoull(line.c_str(), &p, 16);
        if (*p != '-')
            continue;
        region.End = strtoull(p + 1, &p, 16);
        if (*p != ' ' || strlen(p) < 5)
            continue;
        region.Readable = p[1] == 'r';
        region.Writable = p[2] == 'w';
        region.Executable = p[3] == 'x';
        region.Offset = strtoull(p + 5, &p, 16);
        // Skip the device and the inode; the rest, after blanks, is the path.
        for (int field = 0; field < 2 && *p; ++field) {
            while (*p == ' ')
                ++p;
            while (*p && *p != ' ')
                ++p;
        }
        while (*p == ' ')
            ++p;
        region.Path = p;
        // The kernel's time pages can fault when read although listed readable.
        if (region.Path.rfind("[vvar", 0) == 0)
            region.Readable = false;
        regions.push_back(std::move(region));
    }
    return regions;
}

bool IsUnreadableMemory(uintptr_t address, size_t count)
{
    if (address == 0 || count > UINTPTR_MAX - address)
        return true;
    for (const TMapRegion& region : ReadProcessMaps())
        if (address >= region.Start && address < region.End)
            return !region.Readable || address + count > region.End;
    return true;
}

// ---------------------------------------------------------------------------
// Time

uint64_t TickCount64()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

uint64_t TickSpan(uint64_t earlier)
{
    const uint64_t now = TickCount64();
    return now >= earlier ? now - earlier : 0;
}

// ---------------------------------------------------------------------------
// Resources

namespace {
// Filled before main by the generated resource files, read afterwards: a
// plain list, constant-initialised, needs no lock and no start-up order.
const TZorResource* ResourceList = nullptr;
} // namespace

void RegisterZorResource(TZorResource& resource)
{
    resource.Next = ResourceList;
    ResourceList = &resource;
}

std::string ReadResourceText(const std::u16string& type, const std::u16string& name)
{
    for (const TZorResource* r = ResourceList; r != nullptr; r = r->Next)
        if (SameTextW(r->Type, type) && SameTextW(r->Name, name))
            return std::string(reinterpret_cast<const char*>(r->Data), r->Size);
    return "";
}

std::string ReadResourceText(uint32_t typeId, const std::u16string& name)
{
    return ReadResourceText(u"#" + CardToDecTextW(typeId), name);
}
