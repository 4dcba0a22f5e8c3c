// zorTools: the message channels that stand in for a hidden message window
// per thread. Every thread that asks gets one channel: a queue of messages
// and a list of handler entries. Other threads post or send to it; the owner
// thread pumps it (the main thread from the program's message loop), so the
// handlers always run on the owner thread.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "crashreport/diagnostics/zorTools.h"
#include "platform/os/OS.h"

namespace {

struct TMsgHandlerEntry {
    uint32_t Message = 0;
    TMsgHandlerProc Proc = nullptr;
    TMsgHandlerMethod Method = nullptr;
    void* Object = nullptr;
};

struct TThreadRecord {
    uint32_t ThreadId = 0;
    THandlerWindow Window = 0;
    std::vector<TMsgHandlerEntry> Handlers;
};

// The answer to a sent message; the sender may have given up waiting.
struct TReply {
    std::mutex Lock;
    std::condition_variable Done;
    bool Finished = false;
    bool Handled = false;
    intptr_t Result = 0;

    void Finish(bool handled, intptr_t result)
    {
        {
            std::lock_guard guard(Lock);
            Finished = true;
            Handled = handled;
            Result = result;
        }
        Done.notify_all();
    }
};

struct TQueuedMessage {
    THandlerWindow Window = 0;
    uint32_t Message = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    std::shared_ptr<TReply> Reply;
};

struct TThreadQueue {
    std::deque<TQueuedMessage> Messages;
    std::shared_ptr<std::condition_variable> Arrived = std::make_shared<std::condition_variable>();
};

struct TRegistry {
    std::mutex Lock;
    std::vector<TThreadRecord> Records;
    // Channels that exist, with their owner thread; a channel whose record is
    // gone stays here until its owner has pumped the close.
    std::map<THandlerWindow, uint32_t> Channels;
    std::map<uint32_t, TThreadQueue> Queues;
    // Per thread: raised whenever its queue gets a message or someone asks it
    // to look, so that its pump needs the lock only then.
    std::map<uint32_t, std::shared_ptr<std::atomic<bool>>> Doorbells;
    THandlerWindow NextWindow = 1;
};

// Made on first use and never destroyed: threads may still pump while the
// program ends.
std::atomic<TRegistry*> RegistryInstance{nullptr};

TRegistry& Registry()
{
    static TRegistry* const registry = [] {
        auto* made = new TRegistry;
        RegistryInstance.store(made);
        return made;
    }();
    return *registry;
}

TThreadRecord* RecordOfThread(TRegistry& r, uint32_t threadId)
{
    for (TThreadRecord& record : r.Records)
        if (record.ThreadId == threadId)
            return &record;
    return nullptr;
}

TThreadRecord* RecordOfWindow(TRegistry& r, THandlerWindow window)
{
    for (TThreadRecord& record : r.Records)
        if (record.Window == window)
            return &record;
    return nullptr;
}

// Removes an element by moving the last one into its place.
template <class T> void RemoveAt(std::vector<T>& items, size_t index)
{
    if (index + 1 != items.size())
        items[index] = std::move(items.back());
    items.pop_back();
}

// Under the lock: the channel goes; whoever waits for an answer from it is
// told that none comes. Returns the replies to fail once the lock is left.
std::vector<std::shared_ptr<TReply>> DestroyChannel(TRegistry& r, THandlerWindow window)
{
    std::vector<std::shared_ptr<TReply>> failed;
    const auto channel = r.Channels.find(window);
    if (channel == r.Channels.end())
        return failed;
    const uint32_t owner = channel->second;
    r.Channels.erase(channel);
    const auto queue = r.Queues.find(owner);
    if (queue != r.Queues.end()) {
        auto& messages = queue->second.Messages;
        for (auto it = messages.begin(); it != messages.end();) {
            if (it->Window != window) {
                ++it;
                continue;
            }
            if (it->Reply)
                failed.push_back(it->Reply);
            it = messages.erase(it);
        }
        const bool ownerHasChannels =
            std::any_of(r.Channels.begin(), r.Channels.end(), [&](const auto& entry) { return entry.second == owner; });
        if (!ownerHasChannels && queue->second.Messages.empty())
            r.Queues.erase(queue);
    }
    return failed;
}

void FailReplies(const std::vector<std::shared_ptr<TReply>>& replies)
{
    for (const auto& reply : replies)
        reply->Finish(false, 0);
}

// Under the lock.
void RingLocked(TRegistry& r, uint32_t threadId)
{
    const auto bell = r.Doorbells.find(threadId);
    if (bell != r.Doorbells.end())
        bell->second->store(true, std::memory_order_release);
}

// Under the lock.
bool Enqueue(TRegistry& r, TQueuedMessage message)
{
    const auto channel = r.Channels.find(message.Window);
    if (channel == r.Channels.end())
        return false;
    TThreadQueue& queue = r.Queues[channel->second];
    queue.Messages.push_back(std::move(message));
    queue.Arrived->notify_all();
    RingLocked(r, channel->second);
    return true;
}

// The calling thread's doorbell once it has one; plain, so that reading it
// costs no more than a load.
thread_local std::atomic<bool>* OwnDoorbell = nullptr;

// A thread's channels go with the thread, as windows go with theirs.
struct TThreadChannelsGuard {
    bool Armed = false;
    std::shared_ptr<std::atomic<bool>> Doorbell;
    ~TThreadChannelsGuard()
    {
        TRegistry* r = RegistryInstance.load();
        if (!Armed || r == nullptr)
            return;
        const uint32_t self = OS_GetCurrentThreadId();
        std::vector<std::shared_ptr<TReply>> failed;
        {
            std::lock_guard guard(r->Lock);
            OwnDoorbell = nullptr;
            r->Doorbells.erase(self);
            for (size_t i = r->Records.size(); i-- > 0;)
                if (r->Records[i].ThreadId == self)
                    RemoveAt(r->Records, i);
            std::vector<THandlerWindow> own;
            for (const auto& [window, owner] : r->Channels)
                if (owner == self)
                    own.push_back(window);
            for (THandlerWindow window : own) {
                auto more = DestroyChannel(*r, window);
                failed.insert(failed.end(), more.begin(), more.end());
            }
            r->Queues.erase(self);
        }
        FailReplies(failed);
    }
};
thread_local TThreadChannelsGuard ThreadChannels;

bool OfferedToHandlers(uint32_t message)
{
    static const uint32_t notifications[] = {0x11, 0x12, 0x15, 0x16, 0x17, 0x1A, 0x1B, 0x1C, 0x1D,
                                             0x1E, 0x2A, 0x41, 0x48, 0x4A, 0x50, 0x51, 0x54, 0x7E};
    return message >= 0x218 ||
           std::find(std::begin(notifications), std::end(notifications), message) != std::end(notifications);
}

} // namespace

THandlerWindow HandlerWindowOfThread(uint32_t threadId)
{
    const uint32_t self = OS_GetCurrentThreadId();
    const uint32_t thread = threadId == 0 ? self : threadId;
    TRegistry& r = Registry();
    std::lock_guard guard(r.Lock);
    if (const TThreadRecord* record = RecordOfThread(r, thread))
        return record->Window;
    if (thread != self)
        return 0;
    const THandlerWindow window = r.NextWindow++;
    r.Channels[window] = self;
    r.Queues[self];
    r.Records.push_back({self, window, {}});
    ThreadChannels.Armed = true;
    return window;
}

uint32_t RegisterWindowMsgHandler(TMsgHandlerProc proc, uint32_t message, uint32_t threadId)
{
    return RegisterWindowMsgHandlerEx(proc, message, threadId, nullptr, nullptr);
}

uint32_t RegisterWindowMsgHandlerEx(TMsgHandlerProc proc, uint32_t message, uint32_t threadId, TMsgHandlerMethod method,
                                    void* object)
{
    const THandlerWindow window = HandlerWindowOfThread(threadId);
    if (window == 0)
        return 0;
    TRegistry& r = Registry();
    std::lock_guard guard(r.Lock);
    TThreadRecord* record = RecordOfWindow(r, window);
    if (record == nullptr) // it went meanwhile
        return 0;
    auto& handlers = record->Handlers;
    if (message != 0) {
        for (const TMsgHandlerEntry& e : handlers)
            if (e.Message == message && e.Proc == proc && e.Method == method && e.Object == object)
                return 0;
    } else {
        message = WM_USER;
        while (std::any_of(handlers.begin(), handlers.end(), [&](const auto& e) { return e.Message == message; }))
            ++message;
    }
    handlers.push_back({message, proc, method, object});
    return message;
}

void UnregisterWindowMsgHandler(TMsgHandlerProc proc, uint32_t message, uint32_t threadId)
{
    UnregisterWindowMsgHandlerEx(proc, message, threadId, nullptr, nullptr);
}

void UnregisterWindowMsgHandlerEx(TMsgHandlerProc proc, uint32_t message, uint32_t threadId, TMsgHandlerMethod method,
                                  void* object)
{
    TRegistry* r = RegistryInstance.load();
    if (r == nullptr)
        return;
    const uint32_t self = OS_GetCurrentThreadId();
    const uint32_t thread = threadId == 0 ? self : threadId;
    std::vector<std::shared_ptr<TReply>> failed;
    {
        std::lock_guard guard(r->Lock);
        TThreadRecord* record = RecordOfThread(*r, thread);
        if (record == nullptr)
            return;
        auto& handlers = record->Handlers;
        for (size_t i = handlers.size(); i-- > 0;) {
            const TMsgHandlerEntry& e = handlers[i];
            if (e.Proc == proc && e.Method == method && e.Object == object && (message == 0 || e.Message == message))
                RemoveAt(handlers, i);
        }
        if (!handlers.empty())
            return;
        const THandlerWindow window = record->Window;
        RemoveAt(r->Records, static_cast<size_t>(record - r->Records.data()));
        if (thread == self)
            failed = DestroyChannel(*r, window);
        else
            Enqueue(*r, {window, WM_CLOSE, 0, 0, nullptr});
    }
    FailReplies(failed);
}

intptr_t HandlerWindowProc(THandlerWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    // What the system's default procedure answers: yes to "may the session end".
    intptr_t result = message == WM_QUERYENDSESSION ? 1 : 0;
    if (!OfferedToHandlers(message))
        return result;
    std::vector<TMsgHandlerEntry> handlers;
    {
        TRegistry& r = Registry();
        std::lock_guard guard(r.Lock);
        if (const TThreadRecord* record = RecordOfWindow(r, window))
            handlers = record->Handlers;
    }
    // Called on a copy, outside the lock: a handler may add or remove handlers.
    for (const TMsgHandlerEntry& e : handlers) {
        if (e.Message != message)
            continue;
        if (e.Proc != nullptr)
            e.Proc(window, message, wParam, lParam, result);
        else if (e.Method != nullptr)
            e.Method(e.Object, window, message, wParam, lParam, result);
    }
    return result;
}

bool PostHandlerMessage(THandlerWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    TRegistry& r = Registry();
    std::lock_guard guard(r.Lock);
    return Enqueue(r, {window, message, wParam, lParam, nullptr});
}

namespace {

// Hands a message to the channel's handlers on its owner thread. A close
// takes the channel down afterwards, as the default procedure destroys a
// window on WM_CLOSE.
intptr_t Dispatch(THandlerWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    const intptr_t result = HandlerWindowProc(window, message, wParam, lParam);
    if (message == WM_CLOSE) {
        TRegistry& r = Registry();
        std::vector<std::shared_ptr<TReply>> failed;
        {
            std::lock_guard guard(r.Lock);
            if (TThreadRecord* record = RecordOfWindow(r, window))
                RemoveAt(r.Records, static_cast<size_t>(record - r.Records.data()));
            failed = DestroyChannel(r, window);
        }
        FailReplies(failed);
    }
    return result;
}

template <class TLock, class TPredicate>
bool WaitFor(std::condition_variable& condition, TLock& lock, uint32_t timeoutMs, TPredicate done)
{
    if (timeoutMs == OS_INFINITE) {
        condition.wait(lock, done);
        return true;
    }
    return condition.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

} // namespace

bool SendHandlerMessage(THandlerWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam, uint32_t timeoutMs,
                        intptr_t* result)
{
    TRegistry& r = Registry();
    auto reply = std::make_shared<TReply>();
    bool own = false;
    {
        std::lock_guard guard(r.Lock);
        const auto channel = r.Channels.find(window);
        if (channel == r.Channels.end())
            return false;
        own = channel->second == OS_GetCurrentThreadId();
        if (!own)
            Enqueue(r, {window, message, wParam, lParam, reply});
    }
    if (own) {
        const intptr_t answer = Dispatch(window, message, wParam, lParam);
        if (result != nullptr)
            *result = answer;
        return true;
    }
    std::unique_lock lock(reply->Lock);
    if (!WaitFor(reply->Done, lock, timeoutMs, [&] { return reply->Finished; }) || !reply->Handled)
        return false;
    if (result != nullptr)
        *result = reply->Result;
    return true;
}

int PumpHandlerMessages(uint32_t timeoutMs)
{
    TRegistry& r = Registry();
    const uint32_t self = OS_GetCurrentThreadId();
    std::deque<TQueuedMessage> batch;
    {
        std::unique_lock lock(r.Lock);
        auto queue = r.Queues.find(self);
        if (queue == r.Queues.end())
            return 0;
        if (queue->second.Messages.empty() && timeoutMs != 0) {
            // The queue may go while we wait (the thread's last channel did).
            const auto arrived = queue->second.Arrived;
            WaitFor(*arrived, lock, timeoutMs, [&] {
                const auto q = r.Queues.find(self);
                return q == r.Queues.end() || !q->second.Messages.empty();
            });
            queue = r.Queues.find(self);
            if (queue == r.Queues.end())
                return 0;
        }
        batch.swap(queue->second.Messages);
    }
    for (const TQueuedMessage& m : batch) {
        const intptr_t answer = Dispatch(m.Window, m.Message, m.WParam, m.LParam);
        if (m.Reply)
            m.Reply->Finish(true, answer);
    }
    return static_cast<int>(batch.size());
}

bool TakeThreadDoorbell()
{
    if (std::atomic<bool>* bell = OwnDoorbell)
        return bell->exchange(false, std::memory_order_acquire);
    TRegistry& r = Registry();
    const uint32_t self = OS_GetCurrentThreadId();
    std::lock_guard guard(r.Lock);
    std::shared_ptr<std::atomic<bool>>& bell = r.Doorbells[self];
    if (!bell)
        bell = std::make_shared<std::atomic<bool>>(false);
    ThreadChannels.Doorbell = bell;
    ThreadChannels.Armed = true;
    OwnDoorbell = bell.get();
    // The first look: whatever came before the thread had a doorbell.
    return true;
}

void RingThreadDoorbell(uint32_t threadId)
{
    TRegistry& r = Registry();
    std::lock_guard guard(r.Lock);
    RingLocked(r, threadId);
}

void CloseHandlerMutex()
{
    TRegistry* r = RegistryInstance.load();
    if (r == nullptr)
        return;
    std::vector<std::shared_ptr<TReply>> failed;
    {
        std::lock_guard guard(r->Lock);
        for (auto& [thread, queue] : r->Queues) {
            for (const TQueuedMessage& m : queue.Messages)
                if (m.Reply)
                    failed.push_back(m.Reply);
            queue.Arrived->notify_all();
        }
        r->Records.clear();
        r->Channels.clear();
        r->Queues.clear();
    }
    FailReplies(failed);
}
