// The exact unwinders behind the stack scan: the C++ run-time's own for the
// calling thread; for a context saved by another thread the call-frame rules
// (zorStackTrace_Cfi), and libunwind where they give up.
//
// libunwind is opened privately (RTLD_LOCAL) instead of being linked: linked,
// its _Unwind_* functions would stand in for the run-time's, and exceptions
// would be thrown through a different unwinder than the one the run-time was
// built with. Only its local (UNW_LOCAL_ONLY) entry points are used.
#define UNW_LOCAL_ONLY
#include <dlfcn.h>
#include <libunwind.h>
#include <unwind.h>

#include <cstring>
#include <mutex>

#include "crashreport/diagnostics/zorDisAsm.h"
#include "crashreport/diagnostics/zorStackTrace_Cfi.h"

namespace {

struct TBacktraceState {
    std::vector<TUnwoundFrame>* frames = nullptr;
};

_Unwind_Reason_Code CollectFrame(_Unwind_Context* context, void* data)
{
    auto* state = static_cast<TBacktraceState*>(data);
    int beforeInstruction = 0;
    const uintptr_t ip = _Unwind_GetIPInfo(context, &beforeInstruction);
    const uintptr_t cfa = _Unwind_GetCFA(context);
    if (ip == 0 || state->frames->size() >= 4096)
        return _URC_END_OF_STACK;
    // The unwinder's frame address here is the stack pointer at the frame's
    // position: its return address lies just below it.
    state->frames->push_back({ip, cfa != 0 ? cfa - sizeof(uintptr_t) : 0});
    return _URC_NO_REASON;
}

struct TLibUnwind {
    bool loaded = false;
    int (*initLocal2)(unw_cursor_t*, unw_context_t*, int) = nullptr;
    int (*step)(unw_cursor_t*) = nullptr;
    int (*getReg)(unw_cursor_t*, unw_regnum_t, unw_word_t*) = nullptr;
};

const TLibUnwind& LibUnwind()
{
    static TLibUnwind library;
    static std::once_flag once;
    std::call_once(once, [] {
        void* handle = dlopen("libunwind.so.8", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return;
        library.initLocal2 =
            reinterpret_cast<int (*)(unw_cursor_t*, unw_context_t*, int)>(dlsym(handle, "_ULx86_64_init_local2"));
        library.step = reinterpret_cast<int (*)(unw_cursor_t*)>(dlsym(handle, "_ULx86_64_step"));
        library.getReg =
            reinterpret_cast<int (*)(unw_cursor_t*, unw_regnum_t, unw_word_t*)>(dlsym(handle, "_ULx86_64_get_reg"));
        library.loaded = library.initLocal2 != nullptr && library.step != nullptr && library.getReg != nullptr;
        // Its global cache blocks and unblocks every signal around each
        // look-up; a cache per thread needs no lock.
        auto* setCaching = reinterpret_cast<int (*)(unw_addr_space_t, unw_caching_policy_t)>(
            dlsym(handle, "_ULx86_64_set_caching_policy"));
        auto* space = static_cast<unw_addr_space_t*>(dlsym(handle, "_ULx86_64_local_addr_space"));
        if (library.loaded && setCaching != nullptr && space != nullptr)
            setCaching(*space, UNW_CACHE_PER_THREAD);
    });
    return library;
}

} // namespace

std::vector<TUnwoundFrame> UnwindCallingThread()
{
    std::vector<TUnwoundFrame> frames;
    TBacktraceState state;
    state.frames = &frames;
    _Unwind_Backtrace(CollectFrame, &state);
    return frames;
}

std::vector<TUnwoundFrame> UnwindContext(const ucontext_t& context, const TDATryRead* snapshot, bool* whole)
{
    std::vector<TUnwoundFrame> frames;
    const bool byRules = UnwindContextByRules(context, snapshot, frames);
    if (whole != nullptr)
        *whole = byRules && frames.size() < 4096;
    if (byRules)
        return frames;
    return UnwindContextByLibUnwind(context);
}

std::vector<TUnwoundFrame> UnwindContextByLibUnwind(const ucontext_t& context)
{
    std::vector<TUnwoundFrame> frames;
    const TLibUnwind& library = LibUnwind();
    if (!library.loaded)
        return frames;
    // On x86-64 libunwind's context is the system's ucontext_t.
    unw_context_t copy = context;
    unw_cursor_t cursor;
    if (library.initLocal2(&cursor, &copy, UNW_INIT_SIGNAL_FRAME) != 0)
        return frames;
    for (int n = 0; n < 4096; ++n) {
        unw_word_t ip = 0, sp = 0;
        if (library.getReg(&cursor, UNW_REG_IP, &ip) != 0 || ip == 0)
            break;
        library.getReg(&cursor, UNW_REG_SP, &sp);
        // Below a caller's stack pointer lies the return address it is at.
        frames.push_back({static_cast<uintptr_t>(ip), n > 0 && sp != 0 ? static_cast<uintptr_t>(sp) - 8 : 0});
        if (library.step(&cursor) <= 0)
            break;
    }
    return frames;
}
