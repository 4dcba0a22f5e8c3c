#include "crashreport/diagnostics/zorTools.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <exception>
#include <fstream>
#include <gnu/libc-version.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"
#include "tests/crashreport/ZorTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool RUNNING_ON_SANITIZER = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool RUNNING_ON_SANITIZER = true;
#else
constexpr bool RUNNING_ON_SANITIZER = false;
#endif
#else
constexpr bool RUNNING_ON_SANITIZER = false;
#endif

TEST(ZorTools, UnmangleNames)
{
    struct Case {
        std::u16string name;
        bool result;
        std::u16string want, unit;
    };
    const Case cases[] = {
        {u"@Unit@TClass@Method$x", true, u"TClass.Method", u"Unit"},
        {u"@Unit@TClass@$x", true, u"TClass.Create", u"Unit"},
        {u"@Unit@TClass@$xd", true, u"TClass.Destroy", u"Unit"},
        {u"@Unit@Proc$qv", true, u"Proc", u"Unit"},
        {u"@Proc$qv", true, u"Proc", u""},
        {u"A::B", false, u"A.B", u""},
        {u"plain", false, u"plain", u""},
    };
    for (const Case& c : cases) {
        std::u16string name = c.name;
        std::u16string unit = u"stale";
        EXPECT_EQ(UnmangleNameW(name, unit), c.result);
        EXPECT_EQ(name, c.want);
        EXPECT_EQ(unit, c.unit);
    }
    std::string name = "@Unit@TClass@Method$x";
    std::string unit;
    EXPECT_TRUE(UnmangleNameA(name, unit));
    EXPECT_EQ(unit + "." + name, "Unit.TClass.Method");
}

void SomeTestFunction() {}

TEST(ZorTools, ModulesOfAddresses)
{
    TModuleHandle module = 0;
    std::string name;
    ASSERT_TRUE(ModuleOfAddress(reinterpret_cast<uintptr_t>(&SomeTestFunction), module, name));
    EXPECT_EQ(module, MainModuleHandle());
    EXPECT_EQ(RealPathOf(name), RealPathOf("/proc/self/exe"));
    EXPECT_EQ(FileVersionTextA(name), ZorProgramVersion);

    // printf is the C library's own, but the sanitizers put theirs in front of it.
    const uintptr_t libcFunction = RUNNING_ON_SANITIZER ? reinterpret_cast<uintptr_t>(&gnu_get_libc_version)
                                                        : reinterpret_cast<uintptr_t>(&printf);
    ASSERT_TRUE(ModuleOfAddress(libcFunction, module, name));
    EXPECT_NE(name.find("libc.so"), std::string::npos) << name;
    EXPECT_NE(module, MainModuleHandle());

    auto heap = std::make_unique<int[]>(16);
    EXPECT_FALSE(ModuleOfAddress(reinterpret_cast<uintptr_t>(heap.get()), module, name));
    EXPECT_EQ(name, "");
    EXPECT_FALSE(ModuleOfAddress(0, module, name));
}

TEST(ZorTools, ExportedNames)
{
    // A loaded library's symbol, its module and that module's file.
    const auto symbolOf = [](const char* name, TModuleHandle& module, std::string& file) {
        const auto address = reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, name));
        EXPECT_NE(address, 0u) << name;
        EXPECT_TRUE(ModuleOfAddress(address, module, file)) << name;
        return address;
    };
    TModuleHandle libz = 0;
    std::string libzName;
    const uintptr_t zlibVersionAddress = symbolOf("zlibVersion", libz, libzName);
    EXPECT_EQ(ExportNameOfA(libz, zlibVersionAddress, true), "zlibVersion");
    EXPECT_EQ(ExportNameOfW(libz, zlibVersionAddress, false), u"zlibVersion");
    EXPECT_EQ(ExportNameOfA(libz, zlibVersionAddress + 1, false), "");           // inside, not at the start
    EXPECT_EQ(ExportNameOfA(MainModuleHandle(), zlibVersionAddress, false), ""); // another module's
    EXPECT_EQ(FindExportedProc(libz, "zlibVersion"), zlibVersionAddress);
    EXPECT_EQ(FindExportedProc(libz, "printf"), 0u); // a dependency's, not its own
    EXPECT_EQ(FindExportedProc(libz, "no_such_symbol"), 0u);
    EXPECT_EQ(FileVersionTextA(libzName), zlibVersion()); // libz.so.1 is libz.so.<version>

    // C++ names come back demangled.
    TModuleHandle libstdcxx = 0;
    std::string ignored;
    const uintptr_t terminate = symbolOf("_ZSt9terminatev", libstdcxx, ignored);
    EXPECT_EQ(ExportNameOfA(libstdcxx, terminate, true), "std::terminate()");

    EXPECT_EQ(FileVersionToTextA(0x00010002, 0x00030004), "1.2.3.4");
    EXPECT_EQ(FileVersionTextA("/no/such/file"), "");
}

TEST(ZorTools, UnreadableMemory)
{
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    auto* pages = static_cast<uint8_t*>(mmap(nullptr, 3 * page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(mprotect(pages + 2 * page, page, PROT_NONE), 0);
    const auto at = [&](size_t offset) { return reinterpret_cast<uintptr_t>(pages + offset); };

    EXPECT_TRUE(IsUnreadableMemory(0, 1));
    EXPECT_FALSE(IsUnreadableMemory(at(0), 2 * page));
    EXPECT_TRUE(IsUnreadableMemory(at(page), page + 1)); // runs into the PROT_NONE page
    EXPECT_TRUE(IsUnreadableMemory(at(2 * page), 1));
    EXPECT_TRUE(IsUnreadableMemory(at(0), SIZE_MAX)); // wraps around the address space
    int local = 0;
    EXPECT_FALSE(IsUnreadableMemory(reinterpret_cast<uintptr_t>(&local), sizeof(local)));
    munmap(pages, 3 * page);

    const std::vector<TMapRegion> maps = ReadProcessMaps();
    ASSERT_FALSE(maps.empty());
    bool sawStack = false;
    for (const TMapRegion& r : maps) {
        EXPECT_LT(r.Start, r.End);
        sawStack = sawStack || r.Path == "[stack]";
    }
    EXPECT_TRUE(sawStack);
}

TEST(ZorTools, SystemAndTicks)
{
    const TOS os = ReadOsInfo();
    ASSERT_FALSE(os.Description.empty());
    EXPECT_EQ(os.OsKind, 0);
    EXPECT_TRUE(os.IsX64);
    EXPECT_TRUE(os.Description.ends_with(u" x64"));
    std::ifstream release("/etc/os-release");
    std::string line;
    while (std::getline(release, line))
        if (line.rfind("PRETTY_NAME=\"", 0) == 0) {
            EXPECT_EQ(os.Description, Utf8ToWide(line.substr(13, line.size() - 14) + " x64"));
        }
    EXPECT_EQ(ReadOsInfo().Description, os.Description);

    const uint64_t start = TickCount64();
    EXPECT_GE(TickCount64(), start);
    EXPECT_EQ(TickSpan(start + 1000000), 0u); // an "earlier" count from the future
}

TEST(ZorTools, CompiledInResources)
{
    std::ifstream file(FixturePath("crashreport/resource.txt"), std::ios::binary);
    const std::string fixture((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(fixture.empty());
    EXPECT_EQ(ReadResourceText(RT_RCDATA, u"ZORTEST"), fixture);
    EXPECT_EQ(ReadResourceText(u"#10", u"zortest"), fixture);
    EXPECT_EQ(ReadResourceText(u"tzorempty", u"EMPTY"), "");
    EXPECT_EQ(ReadResourceText(RT_BITMAP, u"ZORTEST"), "");
    EXPECT_EQ(ReadResourceText(RT_RCDATA, u"missing"), "");
}

// ---------------------------------------------------------------------------
// Message channels

class ZorChannelsThreadTest : public testing::Test {
protected:
    void SetUp() override { CloseHandlerMutex(); }
    void TearDown() override { CloseHandlerMutex(); }
};

std::atomic<int> Calls{0};

void CountingHandler(THandlerWindow, uint32_t, uintptr_t wParam, intptr_t, intptr_t& result)
{
    ++Calls;
    result += static_cast<intptr_t>(wParam);
}

void OtherHandler(THandlerWindow, uint32_t, uintptr_t, intptr_t, intptr_t& result)
{
    result += 1000;
}

TEST_F(ZorChannelsThreadTest, FreeNumbersFrom1024)
{
    EXPECT_EQ(RegisterWindowMsgHandler(CountingHandler, 0), 1024u);
    EXPECT_EQ(RegisterWindowMsgHandler(CountingHandler, 0), 1025u);
    UnregisterWindowMsgHandler(CountingHandler, 1024);
    EXPECT_EQ(RegisterWindowMsgHandler(CountingHandler, 0), 1024u);
    // A given number: the same entry twice is refused, another handler is not.
    EXPECT_EQ(RegisterWindowMsgHandler(CountingHandler, 1500), 1500u);
    EXPECT_EQ(RegisterWindowMsgHandler(CountingHandler, 1500), 0u);
    EXPECT_EQ(RegisterWindowMsgHandler(OtherHandler, 1500), 1500u);

    Calls = 0;
    const THandlerWindow window = HandlerWindowOfThread();
    ASSERT_NE(window, 0u);
    EXPECT_EQ(HandlerWindowProc(window, 1500, 7, 0), 1007);
    EXPECT_EQ(Calls, 1);
    EXPECT_EQ(HandlerWindowProc(window, 0x100, 7, 0), 0); // not offered to handlers
    EXPECT_EQ(HandlerWindowProc(window, WM_QUERYENDSESSION, 0, 0), 1);

    // Another thread without a channel gets none, and nobody can register for it.
    std::atomic<uint32_t> otherId{0};
    std::atomic<bool> done{false};
    std::thread other([&] {
        otherId = OS_GetCurrentThreadId();
        while (!done)
            std::this_thread::yield();
    });
    while (otherId == 0)
        std::this_thread::yield();
    EXPECT_EQ(HandlerWindowOfThread(otherId), 0u);
    EXPECT_EQ(RegisterWindowMsgHandler(CountingHandler, 0, otherId), 0u);
    done = true;
    other.join();
}

struct TReentrant {
    uint32_t Added = 0;
};

void RegisteringMethod(void* object, THandlerWindow, uint32_t, uintptr_t, intptr_t, intptr_t& result)
{
    // Registers while being called: must not wait for the registry's lock.
    static_cast<TReentrant*>(object)->Added = RegisterWindowMsgHandler(OtherHandler, 0);
    result = 1;
}

TEST_F(ZorChannelsThreadTest, HandlerMayRegisterWhileItRuns)
{
    TReentrant state;
    const uint32_t message = RegisterWindowMsgHandlerEx(nullptr, 0, 0, RegisteringMethod, &state);
    ASSERT_EQ(message, 1024u);
    EXPECT_EQ(HandlerWindowProc(HandlerWindowOfThread(), message, 0, 0), 1);
    EXPECT_EQ(state.Added, 1025u);
    // Methods are told apart by their object.
    TReentrant other;
    EXPECT_EQ(RegisterWindowMsgHandlerEx(nullptr, message, 0, RegisteringMethod, &other), message);
    EXPECT_EQ(RegisterWindowMsgHandlerEx(nullptr, message, 0, RegisteringMethod, &state), 0u);
}

TEST_F(ZorChannelsThreadTest, PostSendAndPump)
{
    std::atomic<uint32_t> ownerId{0};
    std::atomic<THandlerWindow> window{0};
    std::atomic<bool> stop{false};
    std::atomic<int> pumped{0};
    std::thread owner([&] {
        ownerId = OS_GetCurrentThreadId();
        RegisterWindowMsgHandler(CountingHandler, 2000);
        window = HandlerWindowOfThread();
        while (!stop)
            pumped += PumpHandlerMessages(20);
    });
    while (window == 0)
        std::this_thread::yield();

    intptr_t result = 0;
    Calls = 0;
    ASSERT_TRUE(SendHandlerMessage(window, 2000, 42, 0, OS_INFINITE, &result));
    EXPECT_EQ(result, 42);
    EXPECT_TRUE(PostHandlerMessage(window, 2000, 1, 0));
    ASSERT_TRUE(SendHandlerMessage(window, 2000, 2, 0, OS_INFINITE, &result)); // after the post
    EXPECT_EQ(Calls, 3);
    EXPECT_EQ(HandlerWindowOfThread(ownerId), window);

    stop = true;
    owner.join();
    // The channel went with its thread.
    EXPECT_EQ(HandlerWindowOfThread(ownerId), 0u);
    EXPECT_FALSE(PostHandlerMessage(window, 2000, 1, 0));
    EXPECT_FALSE(SendHandlerMessage(window, 2000, 1, 0, 1000, &result));
}

TEST_F(ZorChannelsThreadTest, SendTimesOutWhenNobodyPumps)
{
    std::atomic<THandlerWindow> window{0};
    std::atomic<bool> sent{false};
    std::thread owner([&] {
        RegisterWindowMsgHandler(CountingHandler, 2000);
        window = HandlerWindowOfThread();
        while (!sent)
            std::this_thread::yield();
        PumpHandlerMessages(0); // answers a sender that gave up: harmless
    });
    while (window == 0)
        std::this_thread::yield();
    EXPECT_FALSE(SendHandlerMessage(window, 2000, 1, 0, 30));
    sent = true;
    owner.join();
}

TEST_F(ZorChannelsThreadTest, LastHandlerRemovedFromAnotherThreadPostsClose)
{
    std::atomic<uint32_t> ownerId{0};
    std::atomic<THandlerWindow> window{0};
    std::atomic<int> step{0};
    std::atomic<int> handled{-1};
    std::thread owner([&] {
        ownerId = OS_GetCurrentThreadId();
        RegisterWindowMsgHandler(CountingHandler, 2000);
        window = HandlerWindowOfThread();
        step = 1;
        while (step != 2)
            std::this_thread::yield();
        handled = PumpHandlerMessages(0);
        step = 3;
        while (step != 4)
            std::this_thread::yield();
    });
    while (step != 1)
        std::this_thread::yield();

    UnregisterWindowMsgHandler(CountingHandler, 2000, ownerId);
    // The record is gone at once, the channel stays until its owner handles the close.
    EXPECT_EQ(HandlerWindowOfThread(ownerId), 0u);
    EXPECT_TRUE(PostHandlerMessage(window, 2000, 1, 0));
    step = 2;
    while (step != 3)
        std::this_thread::yield();
    EXPECT_EQ(handled, 2); // the close, then the post
    EXPECT_FALSE(PostHandlerMessage(window, 2000, 1, 0));
    step = 4;
    owner.join();
}

TEST_F(ZorChannelsThreadTest, LastHandlerRemovedOnItsOwnThreadGoesAtOnce)
{
    RegisterWindowMsgHandler(CountingHandler, 2000);
    const THandlerWindow window = HandlerWindowOfThread();
    UnregisterWindowMsgHandler(CountingHandler, 0);
    EXPECT_FALSE(PostHandlerMessage(window, 2000, 1, 0));
    EXPECT_NE(HandlerWindowOfThread(), window); // a new one
}

} // namespace
