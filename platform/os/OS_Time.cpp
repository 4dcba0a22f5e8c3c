// The millisecond timer, sleeping, the time-stamp counter and local time.
#include "platform/os/OS.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace {

constexpr uint32_t TimerStart = 60000;

int64_t MonotonicMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The real timer counts from its first reading plus 60,000 ms: engine times
// start positive and stay far from wrapping however long the machine has run.
uint32_t RealTime()
{
    static const int64_t origin = MonotonicMs();
    return static_cast<uint32_t>(static_cast<uint64_t>(MonotonicMs() - origin) + TimerStart);
}

std::atomic<uint32_t (*)()> TimeSource{nullptr};
std::atomic<TOSLocalTime (*)()> LocalTimeSource{nullptr};

TOSLocalTime FromTm(const std::tm& t, int millisecond)
{
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millisecond};
}

} // namespace

uint32_t OS_TimeGetTime()
{
    uint32_t (*source)() = TimeSource.load(std::memory_order_acquire);
    return source ? source() : RealTime();
}

void OS_SetTimeSource(uint32_t (*source)())
{
    TimeSource.store(source, std::memory_order_release);
}

void OS_SleepMs(uint32_t ms)
{
    if (ms == 0) {
        sched_yield(); // as Sleep(0): give the rest of the time slice away
        return;
    }
    timespec rest{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

uint64_t OS_ReadTimeStampCounter()
{
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
#endif
}

TOSLocalTime OS_UnixToLocalTime(int64_t seconds)
{
    const time_t t = static_cast<time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&t, &local))
        return {1970, 1, 1, 0, 0, 0, 0};
    return FromTm(local, 0);
}

void OS_SetLocalTimeSource(TOSLocalTime (*source)())
{
    LocalTimeSource.store(source, std::memory_order_release);
}

TOSLocalTime OS_GetLocalTime()
{
    if (TOSLocalTime (*source)() = LocalTimeSource.load(std::memory_order_acquire))
        return source();
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    if (!localtime_r(&ts.tv_sec, &local))
        return {1970, 1, 1, 0, 0, 0, 0};
    return FromTm(local, static_cast<int>(ts.tv_nsec / 1000000));
}
