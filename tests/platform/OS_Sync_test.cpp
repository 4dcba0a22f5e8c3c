#include "platform/os/OS.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(OSEventThreadTest, SetBeforeWaitTimeoutsAndReset)
{
    TAutoResetEvent event;
    EXPECT_FALSE(event.Wait(0));
    EXPECT_FALSE(event.Wait(5));
    event.Set();
    event.Set(); // no count: still one release
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0)); // cleared by the release
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(0));

    TAutoResetEvent initially(true);
    EXPECT_TRUE(initially.Wait(OS_INFINITE));
    EXPECT_FALSE(initially.Wait(0));
}

TEST(OSEventThreadTest, OneSetReleasesOneWaiter)
{
    TAutoResetEvent event;
    TAutoResetEvent released;
    std::atomic<int> count{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i) {
        waiters.emplace_back([&] {
            ASSERT_TRUE(event.Wait(OS_INFINITE));
            ++count;
            released.Set();
        });
    }
    event.Set();
    ASSERT_TRUE(released.Wait(OS_INFINITE));
    // The other waiter stays blocked until the next Set.
    EXPECT_FALSE(released.Wait(50));
    EXPECT_EQ(count.load(), 1);
    event.Set();
    ASSERT_TRUE(released.Wait(OS_INFINITE));
    for (auto& waiter : waiters)
        waiter.join();
    EXPECT_EQ(count.load(), 2);
    EXPECT_FALSE(event.Wait(0));
}

TEST(OSEventThreadTest, ThreadIdsDifferAndLocksAreRecursive)
{
    const uint32_t mine = OS_GetCurrentThreadId();
    EXPECT_EQ(OS_GetCurrentThreadId(), mine);
    uint32_t other = mine;
    std::thread([&] { other = OS_GetCurrentThreadId(); }).join();
    EXPECT_NE(other, mine);

    TCriticalSection lock;
    lock.Enter();
    EXPECT_TRUE(lock.TryEnter());
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = lock.TryEnter(); }).join();
    EXPECT_FALSE(otherGotIt);
    lock.Leave();
    lock.Leave();
}

} // namespace
