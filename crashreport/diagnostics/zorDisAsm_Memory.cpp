// Reading memory that may not be there: the read snapshot of the address
// space, ReadMemorySafe and the code readers of the disassembler.
//
// Normal context (also the reporter's handler thread): these routines
// allocate and read /proc, so they never run inside a signal handler.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/uio.h>
#include <unistd.h>

#include "crashreport/diagnostics/zorDisAsm_Internal.h"
#include "crashreport/diagnostics/zorTools.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define ZOR_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZOR_ADDRESS_SANITIZER 1
#endif
#endif

// Copies memory known to be readable. Under the address sanitizer the bytes
// read may be a stack frame's or a global's red zone, which is readable
// memory to us: there the copy goes byte by byte through a volatile pointer,
// which the compiler cannot turn into a memcpy call the sanitizer would check.
__attribute__((no_sanitize("address", "undefined"))) void CopyUnchecked(void* dest, uintptr_t source, size_t count)
{
#ifdef ZOR_ADDRESS_SANITIZER
    const volatile uint8_t* from = reinterpret_cast<const volatile uint8_t*>(source);
    uint8_t* to = static_cast<uint8_t*>(dest);
    for (size_t i = 0; i < count; ++i)
        to[i] = from[i];
#else
    memcpy(dest, reinterpret_cast<const void*>(source), count);
#endif
}

bool RangeWraps(uintptr_t address, size_t count)
{
    return count != 0 && address + count - 1 < address;
}

// ---------------------------------------------------------------------------
// The readable segments of the loaded modules. The loader's object look-up
// (_dl_find_object: no lock, no system call) tells which module holds an
// address and that it is loaded now; a module's segments stay as they are
// while it is loaded, so reads inside one of them need no system call. The
// segments of each module are learnt once per thread, so no lock is needed.

struct TModuleSegments {
    const void* linkMap = nullptr;
    uintptr_t mapStart = 0, mapEnd = 0;
    std::vector<zordisasm::TModuleLayout::TSegment> segments;
};

// The library is linked into the program, so its thread variables can use the
// fast model (no call to find them).
__attribute__((tls_model("initial-exec"))) thread_local std::vector<TModuleSegments> SegmentCache;
__attribute__((tls_model("initial-exec"))) thread_local size_t SegmentCacheHit = 0;
__attribute__((tls_model("initial-exec"))) thread_local size_t SegmentHit = 0;

bool InLoadedModule(uintptr_t address, size_t count)
{
    dl_find_object object;
    if (_dl_find_object(reinterpret_cast<void*>(address), &object) != 0)
        return false;
    const uintptr_t mapStart = reinterpret_cast<uintptr_t>(object.dlfo_map_start);
    const uintptr_t mapEnd = reinterpret_cast<uintptr_t>(object.dlfo_map_end);
    std::vector<TModuleSegments>& cache = SegmentCache;
    auto same = [&](const TModuleSegments& m) {
        return m.linkMap == object.dlfo_link_map && m.mapStart == mapStart && m.mapEnd == mapEnd;
    };
    size_t at = SegmentCacheHit;
    if (at >= cache.size() || !same(cache[at])) {
        at = 0;
        while (at < cache.size() && !same(cache[at]))
            ++at;
        if (at == cache.size()) {
            // A module this thread has not read yet (or one loaded where another was).
            TModuleSegments module;
            module.linkMap = object.dlfo_link_map;
            module.mapStart = mapStart;
            module.mapEnd = mapEnd;
            zordisasm::TModuleLayout layout;
            if (zordisasm::ModuleLayoutOf(address, layout))
                module.segments = std::move(layout.readable);
            for (at = 0; at < cache.size() && cache[at].linkMap != module.linkMap; ++at) {
            }
            if (at == cache.size())
                cache.push_back(std::move(module));
            else
                cache[at] = std::move(module);
        }
        SegmentCacheHit = at;
    }
    const auto& segments = cache[at].segments;
    size_t& last = SegmentHit;
    if (last < segments.size() && address >= segments[last].start && address < segments[last].end &&
        count <= segments[last].end - address)
        return true;
    for (size_t i = 0; i < segments.size(); ++i) {
        const auto& s = segments[i];
        if (address >= s.start && address < s.end && count <= s.end - address) {
            last = i;
            return true;
        }
    }
    return false;
}

// Reads through /proc/self/mem: the kernel copies, so an unreadable address
// gives an error instead of a fault, and execute-only pages can be read too.
bool ReadThroughProcMem(uintptr_t source, void* dest, size_t count)
{
    const int fd = open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < count) {
        const ssize_t n =
            pread(fd, static_cast<uint8_t*>(dest) + done, count - done, static_cast<off_t>(source + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    return done == count;
}

// process_vm_readv on our own process: one system call that either copies or
// fails, never faults. Some sandboxes forbid it; then the maps decide.
std::atomic<bool> KernelReadUnavailable{false};

bool ReadThroughKernel(uintptr_t source, void* dest, size_t count)
{
    if (!KernelReadUnavailable.load(std::memory_order_relaxed)) {
        iovec local{dest, count};
        iovec remote{reinterpret_cast<void*>(source), count};
        const ssize_t n = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
        if (n == static_cast<ssize_t>(count))
            return true;
        if (n >= 0 || errno == EFAULT || errno == ESRCH)
            return false;
        if (errno != ENOSYS && errno != EPERM)
            return false;
        KernelReadUnavailable.store(true, std::memory_order_relaxed); // every thread stores the same value
    }
    const TDATryRead snapshot = StartReadSnapshot();
    return !snapshot.empty() && ReadMemorySafe(source, dest, count, &snapshot);
}

} // namespace

// ---------------------------------------------------------------------------

namespace {

struct TLoaderCounters {
    unsigned long long adds = 0;
    unsigned long long subs = 0;
};

int ReadCounters(dl_phdr_info* info, size_t size, void* data)
{
    TLoaderCounters* counters = static_cast<TLoaderCounters*>(data);
    if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof(info->dlpi_subs)) {
        counters->adds = info->dlpi_adds;
        counters->subs = info->dlpi_subs;
    }
    return 1; // the first module is enough
}

} // namespace

namespace {

struct TLayoutQuery {
    uintptr_t address = 0;
    zordisasm::TModuleLayout* layout = nullptr;
    bool found = false;
};

int FindLayout(dl_phdr_info* info, size_t, void* data)
{
    TLayoutQuery* query = static_cast<TLayoutQuery*>(data);
    zordisasm::TModuleLayout layout;
    layout.loadBase = info->dlpi_addr;
    layout.low = ~uintptr_t(0);
    bool holds = false;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type == PT_DYNAMIC)
            layout.dynamic = info->dlpi_addr + header.p_vaddr;
        if (header.p_type != PT_LOAD || header.p_memsz == 0)
            continue;
        const uintptr_t start = info->dlpi_addr + header.p_vaddr;
        const uintptr_t end = start + header.p_memsz;
        layout.low = std::min(layout.low, start);
        layout.high = std::max(layout.high, end);
        if (query->address >= start && query->address < end)
            holds = true;
        if ((header.p_flags & PF_R) != 0)
            layout.readable.push_back({start, end});
    }
    if (!holds)
        return 0;
    *query->layout = std::move(layout);
    query->found = true;
    return 1;
}

} // namespace

bool zordisasm::ModuleLayoutOf(uintptr_t address, TModuleLayout& layout)
{
    TLayoutQuery query{address, &layout, false};
    dl_iterate_phdr(FindLayout, &query);
    return query.found;
}

void zordisasm::LoaderCounters(unsigned long long& adds, unsigned long long& subs)
{
    TLoaderCounters counters;
    dl_iterate_phdr(ReadCounters, &counters);
    adds = counters.adds;
    subs = counters.subs;
}

TDATryRead StartReadSnapshot()
{
    return ReadSnapshotOf(ReadProcessMaps());
}

TDATryRead ReadSnapshotOf(const std::vector<TMapRegion>& regions)
{
    TDATryRead runs;
    runs.reserve(64);
    for (const TMapRegion& region : regions) {
        uint8_t kind = region.Readable ? 2 : (region.Executable ? 1 : 0);
        // The clock pages of the vDSO are mapped readable but may fault.
        if (region.Path.rfind("[vvar", 0) == 0)
            kind = 0;
        if (!runs.empty() && runs.back().end == region.Start && runs.back().kind == kind)
            runs.back().end = region.End;
        else if (region.End > region.Start)
            runs.push_back({region.Start, region.End, kind});
    }
    runs.shrink_to_fit();
    return runs;
}

void EndReadSnapshot(TDATryRead& snapshot)
{
    TDATryRead().swap(snapshot);
}

uint8_t SnapshotKindOf(const TDATryRead& snapshot, uintptr_t address, size_t count)
{
    if (RangeWraps(address, count))
        return 0;
    auto it = std::upper_bound(snapshot.begin(), snapshot.end(), address,
                               [](uintptr_t a, const TTryReadRun& run) { return a < run.start; });
    if (it == snapshot.begin())
        return 0;
    const TTryReadRun& run = *(it - 1);
    if (address >= run.end || count > run.end - address)
        return 0;
    return run.kind;
}

bool ReadMemorySafe(uintptr_t source, void* dest, size_t count, const TDATryRead* snapshot)
{
    if (count == 0)
        return true;
    if (RangeWraps(source, count))
        return false;
    if (snapshot != nullptr) {
        switch (SnapshotKindOf(*snapshot, source, count)) {
        case 2:
            CopyUnchecked(dest, source, count);
            return true;
        case 1:
            return ReadThroughProcMem(source, dest, count);
        default:
            return false;
        }
    }
    if (InLoadedModule(source, count)) {
        CopyUnchecked(dest, source, count);
        return true;
    }
    return ReadThroughKernel(source, dest, count);
}

// ---------------------------------------------------------------------------

size_t TCodeMemory::ReadPrefix(uintptr_t address, void* dest, size_t max) const
{
    if (max == 0)
        return 0;
    if (Read(address, dest, max))
        return max;
    // The bytes up to the end of the first page, which may be all there is.
    constexpr uintptr_t PageSize = 4096;
    const uintptr_t toPageEnd = PageSize - (address & (PageSize - 1));
    if (toPageEnd < max && Read(address, dest, toPageEnd))
        return toPageEnd;
    // Byte by byte for readers that do not think in pages.
    size_t n = 0;
    while (n < max && n < toPageEnd && Read(address + n, static_cast<uint8_t*>(dest) + n, 1))
        ++n;
    return n;
}

bool TProcessMemory::Read(uintptr_t address, void* dest, size_t count) const
{
    return ReadMemorySafe(address, dest, count, Snapshot);
}

size_t TProcessMemory::ReadPrefix(uintptr_t address, void* dest, size_t max) const
{
    if (max == 0)
        return 0;
    // The common case first: code of a loaded module.
    if (Snapshot == nullptr && !RangeWraps(address, max) && InLoadedModule(address, max)) {
        CopyUnchecked(dest, address, max);
        return max;
    }
    if (ReadMemorySafe(address, dest, max, Snapshot))
        return max;
    constexpr uintptr_t PageSize = 4096;
    const uintptr_t toPageEnd = PageSize - (address & (PageSize - 1));
    if (toPageEnd < max && ReadMemorySafe(address, dest, toPageEnd, Snapshot))
        return toPageEnd;
    return 0;
}

bool TBufferMemory::Read(uintptr_t address, void* dest, size_t count) const
{
    if (address < Base || address - Base > Size || count > Size - (address - Base))
        return false;
    if (count != 0)
        memcpy(dest, Bytes + (address - Base), count);
    return true;
}

size_t TBufferMemory::ReadPrefix(uintptr_t address, void* dest, size_t max) const
{
    if (address < Base || address - Base >= Size)
        return 0;
    const size_t n = std::min(max, Size - static_cast<size_t>(address - Base));
    memcpy(dest, Bytes + (address - Base), n);
    return n;
}
