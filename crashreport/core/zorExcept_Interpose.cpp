// The reporter's hooks into thread creation and throwing. They must be
// defined in the program itself, so that they come before the C and C++
// run-time libraries (std::thread's call from inside libstdc++ included);
// the build compiles this file into every program that links the reporter,
// not into its library, where nothing would pull it in.
#include <cstdint>
#include <cxxabi.h>
#include <dlfcn.h>
#include <exception>
#include <new>
#include <pthread.h>
#include <typeinfo>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "crashreport/core/zorExcept_Capture.h"
#include "crashreport/core/zorExcept_Threads.h"

namespace {

// The definition these hooks stand in front of. A sanitizer whose run-time is
// linked into the program wraps the same functions there, under the name
// "__interceptor_<name>": the program's own definition hides that wrapper, so
// it is called in place of the C library, or the sanitizer would never hear of
// the program's threads and throws.
template <class TFunction> TFunction NextDefinition(const char* name, const char* interceptor)
{
    if (void* wrapper = dlsym(RTLD_DEFAULT, interceptor))
        return reinterpret_cast<TFunction>(wrapper);
    return reinterpret_cast<TFunction>(dlsym(RTLD_NEXT, name));
}

// The frames this routine leaves without returning: the address sanitizer
// (which has no wrapper of its own for the rethrow routines) forgets the
// marks it keeps on them, or the calls that later use that stack would look
// like uses of dead locals.
inline void LeavingFrames()
{
#if defined(__SANITIZE_ADDRESS__)
    __asan_handle_no_return();
#endif
}

} // namespace

extern "C" {

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*routine)(void*), void* argument)
{
    using TCreate = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const TCreate real = NextDefinition<TCreate>("pthread_create", "__interceptor_pthread_create");
    if (!ThreadHooksActive())
        return real(thread, attributes, routine, argument);
    auto* block = new (std::nothrow) TThreadStartBlock;
    if (block == nullptr)
        return real(thread, attributes, routine, argument);
    block->Routine = routine;
    block->Argument = argument;
    block->CreatorAddress = FindCreatorAddress();
    block->CreatorThread = CurrentThreadId();
    const int result = real(thread, attributes, ThreadStartWrapper, block);
    if (result != 0)
        delete block;
    return result;
}

// A thread that names itself is named so in the reports too.
int pthread_setname_np(pthread_t thread, const char* name)
{
    using TSetName = int (*)(pthread_t, const char*);
    static const TSetName real = NextDefinition<TSetName>("pthread_setname_np", "__interceptor_pthread_setname_np");
    const int result = real(thread, name);
    if (result == 0 && ThreadHooksActive() && pthread_equal(thread, pthread_self()))
        NoteThreadName(name);
    return result;
}

} // extern "C"

// Declared by the C++ run-time's own header; defined here so that it comes
// first. Each hook keeps its own registers before it hands over: an exception
// nobody catches is reported from inside the real routine, with this frame
// and every caller still on the stack, and the report walks from here.
namespace __cxxabiv1 {
extern "C" void __cxa_throw(void* object, std::type_info* type, void (*destroy)(void*))
{
    using TThrow = void (*)(void*, std::type_info*, void (*)(void*));
    static const TThrow real = NextDefinition<TThrow>("__cxa_throw", "__interceptor___cxa_throw");
    if (ThrowHooksActive()) {
        TThrowRegisters registers;
        CaptureThrowRegisters(registers);
        RecordExceptionState(object, type, reinterpret_cast<uintptr_t>(__builtin_return_address(0)), registers);
    }
    real(object, type, destroy);
    __builtin_unreachable();
}

// "throw;" inside a handler: the stack of the exception is now this one.
extern "C" void __cxa_rethrow()
{
    using TRethrow = void (*)();
    static const TRethrow real = NextDefinition<TRethrow>("__cxa_rethrow", "__interceptor___cxa_rethrow");
    if (ThrowHooksActive()) {
        TThrowRegisters registers;
        CaptureThrowRegisters(registers);
        RecordRethrowState(CurrentExceptionObject(), reinterpret_cast<uintptr_t>(__builtin_return_address(0)),
                           registers);
    }
    LeavingFrames();
    real();
    __builtin_unreachable();
}
} // namespace __cxxabiv1

namespace std {
// The same for an exception thrown again from a pointer.
void rethrow_exception(exception_ptr pointer)
{
    using TRethrow = void (*)(exception_ptr);
    static const TRethrow real =
        NextDefinition<TRethrow>("_ZSt17rethrow_exceptionNSt15__exception_ptr13exception_ptrE",
                                 "__interceptor__ZSt17rethrow_exceptionNSt15__exception_ptr13exception_ptrE");
    if (ThrowHooksActive()) {
        TThrowRegisters registers;
        CaptureThrowRegisters(registers);
        RecordRethrowState(ExceptionObjectOf(pointer), reinterpret_cast<uintptr_t>(__builtin_return_address(0)),
                           registers);
    }
    LeavingFrames();
    real(std::move(pointer));
    __builtin_unreachable();
}
} // namespace std
