// Auto-reset events and thread ids.
#include "platform/os/OS.h"

#include <chrono>
#include <sys/syscall.h>
#include <unistd.h>

void TAutoResetEvent::Set()
{
    {
        std::lock_guard guard(Mutex);
        Signalled = true;
    }
    Cond.notify_one();
}

void TAutoResetEvent::Reset()
{
    std::lock_guard guard(Mutex);
    Signalled = false;
}

bool TAutoResetEvent::Wait(uint32_t timeoutMs)
{
    std::unique_lock lock(Mutex);
    if (timeoutMs == OS_INFINITE)
        Cond.wait(lock, [this] { return Signalled; });
    else if (!Cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return Signalled; }))
        return false;
    Signalled = false; // the one waiter released takes the signal
    return true;
}

uint32_t OS_GetCurrentThreadId()
{
    static thread_local const uint32_t id = static_cast<uint32_t>(syscall(SYS_gettid));
    return id;
}
