// The layer's test hook: injected failures, device loss and counters.
#include "platform/d3d9/D3D9_TestHook.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

#include "platform/d3d9/D3D9_Internal.h"

namespace {

struct TInjection {
    HRESULT Result = D3D_OK;
    int32_t Count = 0; // -1: for ever
};

std::mutex HookLock;
std::atomic<bool> AnyInjection{false};
std::map<std::string, TInjection> Injections;
bool Lost = false;
int32_t LostAnswers = 0;
int32_t ResetFailures = 0;
HRESULT ResetFailure = D3D_OK;
std::atomic<bool> Refuse{false};
// The counters are kept only once a test has looked at them or cleared
// them: a draw of a program without tests pays one relaxed load. Each is
// counted on its own, without the hook's lock (several threads draw).
std::atomic<bool> Counting{false};
std::atomic<uint64_t> Counts[4];

} // namespace

void D3D9Test_FailCalls(const std::string& operation, HRESULT result, int32_t count)
{
    std::lock_guard<std::mutex> guard(HookLock);
    Injections[operation] = {result, count};
    AnyInjection = true;
}

void D3D9Test_LoseDevice(int32_t lostAnswers)
{
    std::lock_guard<std::mutex> guard(HookLock);
    Lost = true;
    LostAnswers = lostAnswers;
    AnyInjection = true;
}

void D3D9Test_FailResets(int32_t count, HRESULT result)
{
    std::lock_guard<std::mutex> guard(HookLock);
    ResetFailures = count;
    ResetFailure = result;
}

void D3D9Test_RefuseDirect3D(bool refuse)
{
    Refuse = refuse;
}

TD3D9TestCounters D3D9Test_Counters()
{
    Counting.store(true, std::memory_order_relaxed);
    TD3D9TestCounters counters;
    counters.Draws = Counts[0].load(std::memory_order_relaxed);
    counters.FullStateApplies = Counts[1].load(std::memory_order_relaxed);
    counters.ProgramLinks = Counts[2].load(std::memory_order_relaxed);
    counters.Resets = Counts[3].load(std::memory_order_relaxed);
    return counters;
}

void D3D9Test_Clear()
{
    std::lock_guard<std::mutex> guard(HookLock);
    Injections.clear();
    AnyInjection = false;
    Lost = false;
    LostAnswers = 0;
    ResetFailures = 0;
    ResetFailure = D3D_OK;
    Refuse = false;
    for (std::atomic<uint64_t>& count : Counts)
        count.store(0, std::memory_order_relaxed);
    Counting.store(true, std::memory_order_relaxed);
}

HRESULT D3D9Test_Injected(const char* operation)
{
    if (!AnyInjection.load(std::memory_order_relaxed))
        return D3D_OK;
    std::lock_guard<std::mutex> guard(HookLock);
    auto found = Injections.find(operation);
    if (found == Injections.end() || found->second.Count == 0)
        return D3D_OK;
    if (found->second.Count > 0)
        found->second.Count--;
    return found->second.Result;
}

HRESULT D3D9Test_CooperativeLevel(bool consume)
{
    if (!AnyInjection.load(std::memory_order_relaxed))
        return D3D_OK;
    std::lock_guard<std::mutex> guard(HookLock);
    if (!Lost)
        return D3D_OK;
    if (LostAnswers > 0) {
        if (consume)
            LostAnswers--;
        return D3DERR_DEVICELOST;
    }
    return D3DERR_DEVICENOTRESET;
}

bool D3D9Test_RefuseCreate()
{
    return Refuse.load();
}

HRESULT D3D9Test_ResetResult()
{
    std::lock_guard<std::mutex> guard(HookLock);
    if (ResetFailures > 0) {
        ResetFailures--;
        return ResetFailure;
    }
    return D3D_OK;
}

void D3D9Test_ResetDone()
{
    std::lock_guard<std::mutex> guard(HookLock);
    Lost = false;
    LostAnswers = 0;
}

void D3D9Test_Count(int which)
{
    if (!Counting.load(std::memory_order_relaxed))
        return;
    Counts[std::clamp(which, 0, 3)].fetch_add(1, std::memory_order_relaxed);
}
