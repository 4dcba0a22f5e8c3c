// zorExcept slots: the slot table, the handler lock, the exception box
// windows and the send-thread slot.
#include "crashreport/core/zorExcept_Slots.h"

#include <algorithm>

TZorSlots& ZorSlots()
{
    static TZorSlots* const slots = new TZorSlots;
    return *slots;
}

std::mutex& ZorHandlerLock()
{
    static std::mutex* const lock = new std::mutex;
    return *lock;
}

namespace {

std::mutex BoxLock;
std::vector<THandlerWindow> BoxWindows;

} // namespace

void RegisterExceptionBoxWindow(THandlerWindow window)
{
    if (window == 0)
        return;
    std::lock_guard guard(BoxLock);
    BoxWindows.push_back(window);
}

void UnregisterExceptionBoxWindow(THandlerWindow window)
{
    std::lock_guard guard(BoxLock);
    const auto found = std::find(BoxWindows.rbegin(), BoxWindows.rend(), window);
    if (found != BoxWindows.rend())
        BoxWindows.erase(std::next(found).base());
}

THandlerWindow ExceptionBoxWindow()
{
    std::lock_guard guard(BoxLock);
    return BoxWindows.empty() ? 0 : BoxWindows.back();
}

void TSendThreadSlot::Store(std::thread thread)
{
    std::lock_guard guard(Lock);
    if (Thread.joinable())
        Thread.detach();
    Thread = std::move(thread);
}

bool TSendThreadSlot::Running() const
{
    std::lock_guard guard(Lock);
    return Thread.joinable();
}

void TSendThreadSlot::WaitAndClose()
{
    std::thread thread;
    {
        std::lock_guard guard(Lock);
        thread = std::move(Thread);
    }
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

void TSendThreadSlot::Close()
{
    std::lock_guard guard(Lock);
    if (Thread.joinable())
        Thread.detach();
}
