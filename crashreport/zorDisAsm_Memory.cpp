// Reading memory that may not be there: the read snapshot of the address
// space, ReadMemorySafe and the code readers of the disassembler.
//
// Normal context (also the reporter's handler thread): these routines
// allocate and read /proc, so they never run inside a signal handler.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <link.h>
#include <sys/uio.h>
#include <unistd.h>

#include "crashreport/zorDisAsm.h"
#include "crashreport/zorTools.h"

namespace {

// Copies without the address sanitizer's checks: the bytes read may be a
// stack frame's or a global's red zone, which is readable memory to us. The
// volatile source keeps the compiler from turning the loop into a memcpy call
// that the sanitizer would check.
__attribute__((no_sanitize("address", "undefined"))) void CopyUnchecked(void* dest, uintptr_t source, size_t count)
{
    const volatile uint8_t* from = reinterpret_cast<const volatile uint8_t*>(source);
    uint8_t* to = static_cast<uint8_t*>(dest);
    for (size_t i = 0; i < count; ++i)
        to[i] = from[i];
}

bool RangeWraps(uintptr_t address, size_t count)
{
    return count != 0 && address + count - 1 < address;
}

// ---------------------------------------------------------------------------
// The readable segments of the loaded modules. A module's segments stay
// mapped while it is loaded, and the loader counts every unload, so a list
// taken while the count stands still is valid: reads inside it need no
// system call. Per thread, so that no lock is needed.

struct TModuleSegment {
    uintptr_t start;
    uintptr_t end;
};

struct TModuleSegmentCache {
    unsigned long long adds = ~0ull;
    unsigned long long subs = ~0ull;
    std::vector<TModuleSegment> segments; // sorted by start
    size_t lastHit = 0;
};

thread_local TModuleSegmentCache SegmentCache;

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

int CollectSegments(dl_phdr_info* info, size_t, void* data)
{
    std::vector<TModuleSegment>* segments = static_cast<std::vector<TModuleSegment>*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type != PT_LOAD || (header.p_flags & PF_R) == 0 || header.p_memsz == 0)
            continue;
        const uintptr_t start = info->dlpi_addr + header.p_vaddr;
        segments->push_back({start, start + header.p_memsz});
    }
    return 0;
}

bool InLoadedModule(uintptr_t address, size_t count)
{
    TLoaderCounters counters;
    dl_iterate_phdr(ReadCounters, &counters);
    TModuleSegmentCache& cache = SegmentCache;
    auto holds = [&](const TModuleSegment& s) {
        return address >= s.start && address < s.end && count <= s.end - address;
    };
    if (counters.subs == cache.subs) {
        if (cache.lastHit < cache.segments.size() && holds(cache.segments[cache.lastHit]))
            return true;
        auto it = std::upper_bound(cache.segments.begin(), cache.segments.end(), address,
                                   [](uintptr_t a, const TModuleSegment& s) { return a < s.start; });
        if (it != cache.segments.begin() && holds(*(it - 1))) {
            cache.lastHit = static_cast<size_t>(it - 1 - cache.segments.begin());
            return true;
        }
        if (counters.adds == cache.adds)
            return false;
    }
    cache.segments.clear();
    dl_iterate_phdr(CollectSegments, &cache.segments);
    std::sort(cache.segments.begin(), cache.segments.end(),
              [](const TModuleSegment& a, const TModuleSegment& b) { return a.start < b.start; });
    cache.adds = counters.adds;
    cache.subs = counters.subs;
    cache.lastHit = 0;
    auto it = std::upper_bound(cache.segments.begin(), cache.segments.end(), address,
                               [](uintptr_t a, const TModuleSegment& s) { return a < s.start; });
    if (it != cache.segments.begin() && holds(*(it - 1))) {
        cache.lastHit = static_cast<size_t>(it - 1 - cache.segments.begin());
        return true;
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
bool KernelReadUnavailable = false;

bool ReadThroughKernel(uintptr_t source, void* dest, size_t count)
{
    if (!KernelReadUnavailable) {
        iovec local{dest, count};
        iovec remote{reinterpret_cast<void*>(source), count};
        const ssize_t n = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
        if (n == static_cast<ssize_t>(count))
            return true;
        if (n >= 0 || errno == EFAULT || errno == ESRCH)
            return false;
        if (errno != ENOSYS && errno != EPERM)
            return false;
        KernelReadUnavailable = true; // every thread stores the same value
    }
    const TDATryRead snapshot = StartReadSnapshot();
    return !snapshot.empty() && ReadMemorySafe(source, dest, count, &snapshot);
}

} // namespace

// ---------------------------------------------------------------------------

TDATryRead StartReadSnapshot()
{
    TDATryRead runs;
    runs.reserve(64);
    for (const TMapRegion& region : ReadProcessMaps()) {
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
