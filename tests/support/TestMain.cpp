// The test programs' entry. Under the leak checker the leak check runs here,
// when the tests are done and before the program's exit tears anything down:
// at exit, static destructors stop the engine's and the libraries' threads
// (the worker pool, the crash reporter's handler thread, the GL driver's
// threads) while the checker stops the world to read their stacks, and a
// thread that is ending under it takes the checker down with it. The check
// done here is the whole check: the one at exit then no longer runs.
#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
#if defined(__SANITIZE_ADDRESS__)
    // Ends the process with the checker's exit code when anything leaked.
    __lsan_do_leak_check();
#endif
    return result;
}
