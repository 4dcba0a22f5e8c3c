#include "crashreport/core/zorExcept_Handlers.h"

#include <atomic>
#include <mutex>

#include "crashreport/core/zorExcept_Slots.h"
#include "crashreport/core/zorExcept_Watchdog.h"

namespace {

struct THandlerEntry {
    uint8_t Mode = 0;
    uint8_t Stage = 0;
    const void* Function = nullptr;
    void* Data = nullptr;
    std::function<void(uint8_t action, IZXException& exception, bool& handled)> Call;
};
using THandlerList = std::vector<THandlerEntry>;

// Per kind: the method list and the procedure list.
THandlerList Methods[3];
THandlerList Procs[3];

std::atomic<bool> SyncRunning{false};
std::atomic<THandlerWindow> ChannelWindow{0};
std::atomic<uint32_t> ChannelMessage{0};

std::mutex RunnerLock;
TAssistantRunner AssistantRunner;

void Add(THandlerList& list, THandlerEntry entry)
{
    std::lock_guard guard(ZorHandlerLock());
    for (const THandlerEntry& e : list)
        if (e.Function == entry.Function && e.Data == entry.Data)
            return;
    list.push_back(std::move(entry));
}

constexpr uint8_t AnyStage = 0xFF;

} // namespace

void AddExceptHandler(TExceptHandlerProc proc, uint8_t mode, uint8_t stage)
{
    Add(Procs[ZorHandlerException], {mode, stage, reinterpret_cast<const void*>(proc), nullptr,
                                     [proc](uint8_t, IZXException& e, bool& h) { proc(e, h); }});
}

void AddExceptHandler(TExceptHandlerMethod method, void* data, uint8_t mode, uint8_t stage)
{
    Add(Methods[ZorHandlerException], {mode, stage, reinterpret_cast<const void*>(method), data,
                                       [method, data](uint8_t, IZXException& e, bool& h) { method(data, e, h); }});
}

void AddActionHandler(TActionHandlerProc proc, uint8_t mode)
{
    Add(Procs[ZorHandlerAction], {mode, AnyStage, reinterpret_cast<const void*>(proc), nullptr,
                                  [proc](uint8_t a, IZXException& e, bool& h) { proc(a, e, h); }});
}

void AddActionHandler(TActionHandlerMethod method, void* data, uint8_t mode)
{
    Add(Methods[ZorHandlerAction], {mode, AnyStage, reinterpret_cast<const void*>(method), data,
                                    [method, data](uint8_t a, IZXException& e, bool& h) { method(data, a, e, h); }});
}

void AddHandledExceptHandler(TExceptHandlerProc proc, uint8_t mode)
{
    Add(Procs[ZorHandlerHandled], {mode, AnyStage, reinterpret_cast<const void*>(proc), nullptr,
                                   [proc](uint8_t, IZXException& e, bool& h) { proc(e, h); }});
}

void AddHandledExceptHandler(TExceptHandlerMethod method, void* data, uint8_t mode)
{
    Add(Methods[ZorHandlerHandled], {mode, AnyStage, reinterpret_cast<const void*>(method), data,
                                     [method, data](uint8_t, IZXException& e, bool& h) { method(data, e, h); }});
}

void RemoveHandler(const void* function, const void* data)
{
    std::lock_guard guard(ZorHandlerLock());
    for (THandlerList* lists : {Methods, Procs})
        for (int kind = 0; kind < 3; ++kind)
            std::erase_if(lists[kind],
                          [&](const THandlerEntry& e) { return e.Function == function && e.Data == data; });
}

void ClearHandlers()
{
    std::lock_guard guard(ZorHandlerLock());
    for (int kind = 0; kind < 3; ++kind) {
        Methods[kind].clear();
        Procs[kind].clear();
    }
}

bool HasCompletePhaseHandler()
{
    std::lock_guard guard(ZorHandlerLock());
    for (const THandlerList* list : {&Methods[ZorHandlerException], &Procs[ZorHandlerException]})
        for (const THandlerEntry& e : *list)
            if (e.Stage == 4)
                return true;
    return false;
}

bool HandlersRunSynchronously()
{
    return SyncRunning;
}

bool CallHandlerLists(TFireHandlersParams& p)
{
    if (p.Kind > 2 || p.Exception == nullptr)
        return false;
    const bool onMain = p.MainThreadPass && !p.MainThreadFailed;
    if (onMain)
        SyncRunning = true;
    THandlerList methods, procs;
    {
        std::lock_guard guard(ZorHandlerLock());
        methods = Methods[p.Kind];
        procs = Procs[p.Kind];
    }
    const uint8_t stage = p.Exception->Stage();
    bool called = false;
    auto run = [&](const THandlerList& list, bool stopWhenHandled) {
        for (const THandlerEntry& e : list) {
            if ((e.Mode != ZorModeCallingThread) != p.MainThreadPass)
                continue;
            if (p.MainThreadFailed && e.Mode != ZorModeMainOrCalling)
                continue;
            if (p.Kind == ZorHandlerException && e.Stage != stage)
                continue;
            called = true;
            try {
                e.Call(p.Action, *p.Exception, p.Handled);
            } catch (...) {
                // A handler's own failure stops neither the others nor us.
            }
            if (stopWhenHandled && p.Handled)
                break;
        }
    };
    switch (p.Kind) {
    case ZorHandlerAction:
        run(methods, true);
        if (!p.Handled)
            run(procs, true);
        break;
    case ZorHandlerHandled:
        run(methods, false);
        run(procs, false);
        break;
    default:
        run(methods, stage <= 2);
        if (!p.Handled)
            run(procs, stage <= 2);
        break;
    }
    // Handlers cannot stop the later stages.
    if (p.Kind != ZorHandlerAction && stage > 2)
        p.Handled = false;
    if (onMain)
        SyncRunning = false;
    return called;
}

bool SyncHandlerRegistered(const TFireHandlersParams& p)
{
    if (p.Kind > 2 || p.Exception == nullptr)
        return false;
    const uint8_t stage = p.Exception->Stage();
    std::lock_guard guard(ZorHandlerLock());
    for (const THandlerList* list : {&Methods[p.Kind], &Procs[p.Kind]})
        for (const THandlerEntry& e : *list)
            if (e.Mode != ZorModeCallingThread && (p.Kind != ZorHandlerException || e.Stage == stage))
                return true;
    return false;
}

namespace {

constexpr intptr_t ChannelAnswer = 777;
constexpr uint32_t ProbeTimeoutMs = 1500;
constexpr uint32_t RunTimeoutMs = 0x7FFFFFFE;

// Runs the main-thread handlers there; false when the main thread could not
// be reached.
bool RunOnMainThread(TFireHandlersParams& p, const TIZXException& exception)
{
    const THandlerWindow window = ChannelWindow;
    const uint32_t message = ChannelMessage;
    if (window == 0 || message == 0 || exception.FailureKind() == ZorFailureFrozen)
        return false;
    // A main thread held with the others is let go for the handlers alone.
    const bool released = exception.ReadSettingBool("PauseThreads") && ReleaseMainThread();
    intptr_t answer = 0;
    bool ran = SendHandlerMessage(window, message, 1, 0, ProbeTimeoutMs, &answer) && answer == ChannelAnswer;
    if (ran) {
        answer = 0;
        ran = SendHandlerMessage(window, message, 0, reinterpret_cast<intptr_t>(&p), RunTimeoutMs, &answer) &&
              answer == ChannelAnswer;
    }
    if (released)
        HoldMainThread();
    return ran;
}

bool KindListsEmpty(uint8_t kind)
{
    std::lock_guard guard(ZorHandlerLock());
    return Methods[kind].empty() && Procs[kind].empty();
}

} // namespace

void NotifyHandlers(THandlerWindow window, uint8_t kind, uint8_t action, bool& handled, TIZXException& exception)
{
    if (kind > 2)
        return;
    // The program ends only after a report someone depends on is complete.
    if (kind == ZorHandlerAction && (action == ZorActionRestart || action == ZorActionClose)) {
        if (exception.CriticalListenerExists() || (HasCompletePhaseHandler() && exception.RunHandlers()))
            exception.ReportTextEx(true);
    }
    if (exception.RunHandlers() && !KindListsEmpty(kind)) {
        TFireHandlersParams p;
        p.Kind = kind;
        p.Action = action;
        p.Exception = &exception;
        p.Handled = handled;
        const bool called = CallHandlerLists(p);
        if ((!p.Handled || !called) && ChannelWindow != 0) {
            p.MainThreadPass = true;
            if (SyncHandlerRegistered(p) && !RunOnMainThread(p, exception)) {
                p.MainThreadFailed = true;
                CallHandlerLists(p);
            }
        }
        handled = p.Handled;
    }
    if (handled || kind != ZorHandlerAction || window == 0 || action > ZorActionPrint)
        return;
    static const char* const keys[] = {"SendAssis", "SaveAssis", "PrintAssis"};
    const std::u16string name = exception.ReadSettingText(keys[action]);
    if (name.empty())
        return;
    TAssistantRunner runner;
    {
        std::lock_guard guard(RunnerLock);
        runner = AssistantRunner;
    }
    if (runner) {
        TAssistantResults results;
        const int32_t outcome = runner(window, exception, name, results);
        if (outcome == 1)
            StoreAssistantResults(results, exception);
        else if (outcome != -1)
            handled = true; // cancelled: nothing is sent, saved or printed
    }
    if (!handled)
        NotifyHandlers(window, kind, static_cast<uint8_t>(action + 3), handled, exception);
}

void ReceiveHandlerCall(THandlerWindow, uint32_t, uintptr_t wParam, intptr_t lParam, intptr_t& result)
{
    // A held main thread answers nothing, so the probe times out.
    WaitIfPaused();
    if (wParam == 0 && lParam != 0)
        CallHandlerLists(*reinterpret_cast<TFireHandlersParams*>(lParam));
    result = ChannelAnswer;
}

void OpenHandlerChannel()
{
    ChannelMessage = RegisterWindowMsgHandler(ReceiveHandlerCall, 0);
    ChannelWindow = ChannelMessage != 0 ? HandlerWindowOfThread() : 0;
}

void CloseHandlerChannel()
{
    const THandlerWindow window = ChannelWindow.exchange(0);
    ChannelMessage = 0;
    if (window != 0)
        UnregisterWindowMsgHandler(ReceiveHandlerCall, 0);
}

void ReporterPump()
{
    if (!TakeThreadDoorbell())
        return;
    WaitIfPaused();
    PumpHandlerMessages(0);
}

void WakeMainThread()
{
    const THandlerWindow window = ChannelWindow;
    if (window != 0)
        PostHandlerMessage(window, ChannelMessage, 1, 0);
}

void StoreAssistantResults(const TAssistantResults& results, IZXException& exception)
{
    for (const TAssistantFormResult& form : results) {
        if (form.Result != 1)
            continue;
        for (const TAssistantItemResult& item : form.Items) {
            if (item.OutputName.empty())
                continue;
            if (item.Kind == TAssistantItemResult::Edit && !item.Text.empty()) {
                if (item.OwnSection && item.Lines > 1)
                    exception.SectionFields()->PutField(item.OutputName, item.Text);
                else
                    exception.HeaderFields()->PutField(item.OutputName, item.Text);
            } else if (item.Kind == TAssistantItemResult::CheckBox) {
                exception.HeaderFields()->PutField(item.OutputName, item.Checked ? u"yes" : u"no");
            }
        }
    }
}

void SetAssistantRunner(TAssistantRunner runner)
{
    std::lock_guard guard(RunnerLock);
    AssistantRunner = std::move(runner);
}

void LinkHandlers()
{
    ZorSlots().NotifyHandlers = NotifyHandlers;
}
