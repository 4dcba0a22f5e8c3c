// Every test program runs headless, however it is started (ctest, by hand, a
// debugger): no window appears, no sound is played, message boxes go to
// stderr. A variable the caller set explicitly is kept (the Xvfb tests choose
// their own video driver).
#include <cstdlib>

#include <gtest/gtest.h>

namespace {

struct TTestEnvironment {
    TTestEnvironment()
    {
        setenv("DUSKMARCH_HEADLESS", "1", 1);
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        // Mesa's software rasteriser then draws on the calling thread: the
        // sanitizers have no driver threads to trip over (the leak checker's
        // stop-the-world at exit, the race detector inside the driver).
        setenv("LP_NUM_THREADS", "0", 0);
#endif
    }
};

const TTestEnvironment TestEnvironment;

// CTest runs each program in shards, named by GTEST_TOTAL_SHARDS and
// GTEST_SHARD_INDEX. The shard's tests are chosen before any test runs; a test
// that starts this program again for one test of its own must not have that
// test sharded away in the child, so the variables go before the first test.
class TShardVariables : public ::testing::Environment {
public:
    void SetUp() override
    {
        unsetenv("GTEST_TOTAL_SHARDS");
        unsetenv("GTEST_SHARD_INDEX");
    }
};

::testing::Environment* const ShardVariables = ::testing::AddGlobalTestEnvironment(new TShardVariables);

} // namespace

// Leaks inside system libraries the tests load (Mesa's GL drivers, D-Bus
// through SDL's X11 driver, SDL's per-thread storage of threads it did not
// start) are not ours; our own code has no entry here.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libEGL_mesa.so\n"
           "leak:libGLX_mesa.so\n"
           "leak:libgallium\n"
           "leak:swrast_dri.so\n"
           "leak:libLLVM\n"
           "leak:libdbus-1.so\n"
           "leak:libX11.so\n"
           "leak:libSDL2\n"
           "leak:libxcb\n";
}

// Races inside the system's GL driver (not built with the race detector, so
// only its calls into intercepted functions are seen) are not ours.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:swrast_dri.so\n"
           "race:libgallium\n"
           "race:libEGL_mesa.so\n"
           "race:libGLX_mesa.so\n"
           "race:libLLVM\n";
}

#if defined(__SANITIZE_ADDRESS__)
// Under the address sanitizer, libraries stay loaded until the program ends:
// a leak inside a driver that SDL loaded and unloaded would otherwise be
// reported with no library name, and no suppression above could match it.
extern "C" int dlclose(void*)
{
    return 0;
}
#endif

// The leak check reads every thread's dynamic TLS as the sanitizer tracked it
// through __tls_get_addr. With the GL and X11 libraries opened at run time
// that tracking can hold a block the library has since moved, and the check
// then faults while it stops the world (seen as "Tracer caught signal 11"
// after a "DTLS" line, depending on which tests ran in the process). Our own
// code keeps nothing in the dynamic TLS of a library opened at run time, so
// the tracking is left off; static TLS and every stack are still scanned.
extern "C" const char* __asan_default_options()
{
    return "intercept_tls_get_addr=0";
}
