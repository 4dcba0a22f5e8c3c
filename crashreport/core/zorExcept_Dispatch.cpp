#include "crashreport/core/zorExcept_Dispatch.h"

#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/core/zorExcept_Handlers.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/core/zorExcept_Restart.h"
#include "crashreport/core/zorExcept_Startup.h"
#include "crashreport/core/zorExcept_Threads.h"
#include "crashreport/core/zorExcept_Watchdog.h"
#include "crashreport/assistants/zorNVPrgrAlert.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorTools.h"

namespace {

std::atomic<int> PipeWrite{-1};
int PipeRead = -1;
std::thread HandlerThread;
std::atomic<uint32_t> HandlerTid{0};
std::atomic<bool> HandlerRunning{false};
std::atomic<bool> HandlerEnded{false};

// The handler thread's way back when the handling itself faults.
thread_local sigjmp_buf RecoveryPoint;
thread_local volatile bool RecoveryArmed = false;

std::mutex ReserveLock;
void* Reserve = nullptr;
constexpr size_t ReserveSize = 1u << 20;

std::atomic<int> ConsoleFd{STDOUT_FILENO};

// The handling paused the other threads; only the handler thread (or the
// thread handling in place) touches it.
std::atomic<bool> HandlingPaused{false};

// The last step of every handling: the watchdog starts counting afresh and
// the threads a pause held go on.
void EndOfHandling()
{
    WatchForRecovery(nullptr);
    ResetFreezeMisses();
    if (HandlingPaused.exchange(false))
        PauseOtherThreads(false, 0);
}

void SignalCompletion(const THandleRequest& request)
{
    if (request.Completion <= 0)
        return;
    const char mark = 1;
    while (write(request.Completion - 1, &mark, 1) < 0 && errno == EINTR) {
    }
    close(request.Completion - 1);
}

// Runs the handling so that a fault inside it returns here.
void HandleGuarded(THandleRequest& request)
{
    if (sigsetjmp(RecoveryPoint, 1) == 0) {
        RecoveryArmed = true;
        try {
            HandleRequest(request);
        } catch (...) {
        }
    }
    RecoveryArmed = false;
    // Also when the handling failed half-way.
    EndOfHandling();
    SetFailingThread(0, nullptr);
    ReleaseHeldThreads();
}

void HandleExceptionThread()
{
    HandlerTid = CurrentThreadId();
    HandlerTid.notify_all();
    InstallAlternateStack();
    NameRegisteredThread(0, HandlerThreadName);
    for (;;) {
        THandleRequest request;
        if (!ReadFully(PipeRead, &request, sizeof(request)) || request.Magic != RequestMagic)
            break;
        HandleGuarded(request);
        SignalCompletion(request);
    }
    HandlerEnded = true;
}

std::u16string HexAddress(uint64_t value)
{
    return Utf8ToWide("$" + Int64ToHexTextA(value).substr(1));
}

} // namespace

// ---------------------------------------------------------------------------
// Failure texts

std::u16string SignalFailureText(const siginfo_t& record, const TZorRegisters& registers, bool stackOverflow,
                                 bool& accessViolation)
{
    accessViolation = false;
    const int signal = record.si_signo;
    // Sent by kill, tgkill, raise or abort: nothing the processor found.
    const bool sent = record.si_code <= 0;
    auto external = [&] { return u"External exception " + Utf8ToWide(Int64ToHexTextA(signal).substr(1)); };
    if (sent)
        return external();
    switch (signal) {
    case SIGSEGV:
    case SIGBUS: {
        if (stackOverflow)
            return u"Stack overflow";
        accessViolation = true;
        TModuleHandle module = 0;
        std::string fileName;
        if (!ModuleOfAddress(static_cast<uintptr_t>(registers.Rip), module, fileName) || fileName.empty())
            return u"Access Violation";
        const size_t slash = fileName.rfind('/');
        const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
        const bool write = (registers.Err & 2) != 0;
        return u"Access violation at address " + HexAddress(registers.Rip) + u" in module '" + Utf8ToWide(base) +
               u"'. " + (write ? u"Write" : u"Read") + u" of address " +
               HexAddress(reinterpret_cast<uintptr_t>(record.si_addr));
    }
    case SIGFPE:
        switch (record.si_code) {
        case FPE_INTDIV:
            return u"Division by zero";
        case FPE_INTOVF:
            return u"Integer overflow";
        case FPE_FLTDIV:
            return u"Floating point division by zero";
        case FPE_FLTOVF:
            return u"Floating point overflow";
        case FPE_FLTUND:
            return u"Floating point underflow";
        case FPE_FLTINV:
        case FPE_FLTRES:
        case FPE_FLTSUB:
            return u"Invalid floating point operation";
        default:
            return external();
        }
    case SIGILL:
        if (record.si_code == ILL_PRVOPC || record.si_code == ILL_PRVREG)
            return u"Privileged instruction";
        return external();
    default:
        return external();
    }
}

std::exception_ptr SignalFailureObject(const THandleRequest& request)
{
    bool accessViolation = false;
    const std::string text =
        WideToUtf8(SignalFailureText(request.Record, request.Registers, request.StackOverflow != 0, accessViolation));
    if (accessViolation)
        return std::make_exception_ptr(EAccessViolation(text));
    return std::make_exception_ptr(EExternal(text));
}

// ---------------------------------------------------------------------------
// The faulting side

uint32_t HandlerThreadId()
{
    return HandlerTid;
}

int HandlerPipe()
{
    return PipeWrite.load();
}

bool SubmitRequest(THandleRequest& request)
{
    const int pipe = PipeWrite.load();
    if (pipe < 0)
        return false;
    int done[2];
    if (pipe2(done, O_CLOEXEC) != 0)
        return false;
    request.Magic = RequestMagic;
    request.Completion = done[1] + 1;
    // Waiting for the handling is no freeze.
    HoldFreezeWatchdog(true);
    ssize_t n;
    while ((n = write(pipe, &request, sizeof(request))) < 0 && errno == EINTR) {
    }
    if (n != static_cast<ssize_t>(sizeof(request))) {
        HoldFreezeWatchdog(false);
        close(done[0]);
        close(done[1]);
        return false;
    }
    char mark = 0;
    while (read(done[0], &mark, 1) < 0 && errno == EINTR) {
    }
    close(done[0]);
    HoldFreezeWatchdog(false);
    return true;
}

bool RecoverHandlerThread()
{
    if (!RecoveryArmed || CurrentThreadId() != HandlerTid)
        return false;
    RecoveryArmed = false;
    siglongjmp(RecoveryPoint, 1);
}

void HandleCaughtException(uint8_t kind, std::exception_ptr object, uintptr_t address, const TZorRegisters* registers,
                           uint8_t source, bool canContinue, const void* related)
{
    try {
        // A failure inside the handling is not handled again.
        if (HandlerTid != 0 && CurrentThreadId() == HandlerTid)
            return;
        FreeReserve();
        TThreadExceptionState& state = ThreadExceptionState();
        if (!object)
            object = state.Object;
        if (address == 0)
            address = state.Address;
        if (ClassInheritsNamed(object, "EAbort")) {
            ClearThreadExceptionState();
            if (!canContinue)
                TerminateProgram();
            AllocateReserve();
            return;
        }
        THandleRequest request;
        request.Kind = kind;
        request.Source = source;
        request.CanContinue = canContinue;
        request.ThreadId = CurrentThreadId();
        request.Address = address;
        if (registers != nullptr) {
            request.HasRegisters = 1;
            request.Registers = *registers;
            request.StackPointer = static_cast<uintptr_t>(registers->Rsp);
            request.FramePointer = static_cast<uintptr_t>(registers->Rbp);
        } else {
            request.StackPointer = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
            request.FramePointer = request.StackPointer;
        }
        request.Object = &object;
        request.Inner = &state.Inner;
        request.Related = related;
        if (!SubmitRequest(request)) {
            request.Magic = RequestMagic;
            request.Completion = 0;
            HoldFreezeWatchdog(true);
            HandleRequest(request);
            HoldFreezeWatchdog(false);
        }
        ClearThreadExceptionState();
        AllocateReserve();
    } catch (...) {
    }
}

void ReportThreadException(std::exception_ptr object)
{
    HandleCaughtException(ZorFailureException, std::move(object), 0, nullptr, ZorSourceThread, true);
}

// ---------------------------------------------------------------------------
// The handler thread

bool StartHandlerThread()
{
    if (HandlerRunning)
        return true;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    PipeRead = fds[0];
    HandlerEnded = false;
    try {
        HandlerThread = std::thread(HandleExceptionThread);
    } catch (...) {
        close(fds[0]);
        close(fds[1]);
        PipeRead = -1;
        return false;
    }
    PipeWrite = fds[1];
    HandlerRunning = true;
    // The thread's id is known before start-up goes on: a failure on the
    // handler thread itself is told apart by it.
    HandlerTid.wait(0);
    return true;
}

void StopHandlerThread()
{
    if (!HandlerRunning)
        return;
    const int pipe = PipeWrite.exchange(-1);
    THandleRequest stop;
    std::memset(static_cast<void*>(&stop), 0, sizeof(stop));
    (void)!write(pipe, &stop, sizeof(stop));
    close(pipe);
    // A handler thread stuck in a handling is left behind rather than
    // holding up the program's end.
    for (int i = 0; i < 550 && !HandlerEnded; ++i)
        usleep(1000);
    if (HandlerEnded)
        HandlerThread.join();
    else
        HandlerThread.detach();
    close(PipeRead);
    PipeRead = -1;
    RegisterThread(HandlerTid, {}, 0, 0);
    HandlerTid = 0;
    HandlerRunning = false;
}

// ---------------------------------------------------------------------------
// Handling

void ApplyClassFilters(TIZXException& exception)
{
    std::string filter = "Gn";
    const std::exception_ptr object = exception.FailureObject();
    for (const char* candidate : {"F1", "F2"}) {
        std::u16string list = exception.ReadSettingText(std::string(candidate) + "Classes");
        TidyItemsW(list, u',');
        const int32_t count = ItemCountW(list, u',');
        bool named = false;
        for (int32_t i = 1; i <= count && !named; ++i)
            named = ClassInheritsNamed(object, WideToUtf8(ItemW(list, i, u',')));
        if (named) {
            filter = candidate;
            break;
        }
    }
    exception.SetWantReport(!exception.ReadSettingBool(filter + "NoBugRep"));
    exception.SetWantScreenImage(!exception.ReadSettingBool(filter + "NoScrShot") &&
                                 exception.ReadSettingInt("ScrShotDepth") > 0);
    exception.SetAttachScreenImage(exception.WantScreenImage());
    exception.WriteSettingBool("PauseThreads", !exception.ReadSettingBool(filter + "NoSuspend") &&
                                                   exception.ReadSettingBool("PauseThreads"));
    exception.SetRunHandlers(!exception.ReadSettingBool(filter + "NoHandlers"));
    exception.SetBoxChoice(exception.ReadSettingInt(filter + "ShowCfg"));
    exception.SetAssistantName(exception.ReadSettingText(filter + "Assis"));
}

std::shared_ptr<TIZXException> CreateExceptionObject(std::shared_ptr<IZXModuleSettings> settings,
                                                     const THandleRequest& request, const std::exception_ptr& object)
{
    if (!settings)
        settings = CallerSettingsAt(1);
    std::shared_ptr<TIZXException> exception = TIZXException::Create(settings);
    exception->SetFailure(request.Kind, object, request.Address,
                          request.ThreadId != 0 ? request.ThreadId : CurrentThreadId());
    exception->SetContinuableAllowed(request.CanContinue != 0);
    exception->SetContinuable(request.CanContinue != 0);
    exception->SetStackPointers(request.StackPointer, request.FramePointer);
    if (request.HasRegisters)
        exception->SetRegisters(request.Registers);
    if (request.HasRecord)
        exception->SetSystemRecord(request.Record);
    exception->SetOrigin(request.Source, request.Related, 0);
    // The please-wait window; whoever completes the report shows it when
    // PlWaitBox asks for it.
    exception->SetProgressWindow(
        CreateProgressWindow(exception->ReadSettingText("PlWaitTitle"), exception->ModuleHandle(), u"ZXIPLWAIT"));
    ApplyClassFilters(*exception);
    return exception;
}

namespace {

void Notify(TIZXException& exception, uint8_t kind, uint8_t action, bool& handled)
{
    if (ZorSlots().NotifyHandlers)
        ZorSlots().NotifyHandlers(0, kind, action, handled, exception);
}

void OnReportComplete(bool complete, const std::u16string& text, const std::shared_ptr<IZXException>& intf)
{
    auto exception = std::dynamic_pointer_cast<TIZXException>(intf);
    if (!complete || !exception || !exception->ClaimCompletionNotice())
        return;
    if (exception->ReadSettingBool("AutoSend") && !text.empty()) {
        bool handled = false;
        Notify(*exception, ZorHandlerAction, ZorActionSend, handled);
        if (!handled && ZorSlots().DeliverBugReport) {
            std::shared_ptr<INVBitmap> image = exception->AttachScreenImage() ? exception->ScreenImage() : nullptr;
            exception->SendThreadSlot()->Close();
            std::shared_ptr<IZXSettings> settings(exception, static_cast<IZXSettings*>(exception.get()));
            ZorSlots().DeliverBugReport(text, image, 0, true, true, settings, false, exception->SendThreadSlot());
            Notify(*exception, ZorHandlerAction, ZorActionSent, handled);
        }
    }
    if (!exception->ReadSettingBool("AutoClip"))
        exception->RemoveReportListener(OnReportComplete);
    else
        CopyTextToClipboard(text);
}

bool AnyHandledBy(TIZXException& exception, uint8_t stage, bool& handled)
{
    if (!handled)
        Notify(exception, ZorHandlerException, stage, handled);
    return handled;
}

} // namespace

void AutoSaveReport(TIZXException& exception, bool atEnd)
{
    if (!exception.ReadSettingBool("AutoSave"))
        return;
    if (exception.ReadSettingBool("AutoSaveIfNotSent") && (!atEnd || exception.WasSent()))
        return;
    if (!exception.ClaimAutoSave())
        return;
    const std::u16string text = exception.ReportTextEx(true);
    if (text.empty())
        return;
    bool handled = false;
    Notify(exception, ZorHandlerAction, ZorActionSave, handled);
    if (handled || !ZorSlots().StoreBugReport)
        return;
    ZorSlots().StoreBugReport(u"", text, 0, exception, true);
    Notify(exception, ZorHandlerAction, ZorActionSaved, handled);
}

void FinishAutoActions(TIZXException& exception, bool wait)
{
    if (exception.CriticalListenerExists() || (HasCompletePhaseHandler() && exception.RunHandlers()))
        exception.ReportTextEx(true);
    AutoSaveReport(exception, true);
    if (wait)
        exception.SendThreadSlot()->WaitAndClose();
}

void HandleRequest(THandleRequest& request)
{
    struct TEndOfHandling {
        ~TEndOfHandling() { EndOfHandling(); }
    } endOfHandling;
    FreeReserve();
    ClearReporterTempFolder();
    SetFailingThread(request.ThreadId, request.HasRegisters ? &request.Registers : nullptr);
    std::exception_ptr object;
    if (request.Object != nullptr)
        object = *request.Object;
    else if (request.HasRecord)
        object = SignalFailureObject(request);
    TDAInnerException inner;
    if (request.Inner != nullptr)
        inner = *request.Inner;
    // The settings the reporter started with are the program's; a test's
    // stand-in module replaces them.
    std::shared_ptr<IZXModuleSettings> settings = MainSettings();
    if (!settings)
        settings = SettingsOfAddress(request.Address);
    std::shared_ptr<TIZXException> exception = CreateExceptionObject(settings, request, object);
    exception->SetStage(1);
    exception->SetInnerExceptions(std::move(inner));

    bool handled = false;
    if (request.Kind == ZorFailureHandled) {
        handled = true;
        Notify(*exception, ZorHandlerHandled, 0, handled);
    } else {
        NoteExceptionTime(NowInSeconds());
        AnyHandledBy(*exception, 1, handled);
    }
    exception->SetStage(2);
    bool handledLater = false;
    if (!handled) {
        // A frozen main thread is reported while the others go on.
        if (request.Kind != ZorFailureFrozen && exception->ReadSettingBool("PauseThreads")) {
            HandlingPaused = true;
            PauseOtherThreads(true, exception->CompletionThreadId());
        }
        if (exception->WantScreenImage())
            exception->ScreenImage();
        if (exception->WantReport())
            exception->ReportTextEx(true);
        handledLater = AnyHandledBy(*exception, 2, handled);
    }
    exception->SetStage(3);
    if (!handled)
        handledLater = AnyHandledBy(*exception, 3, handled);
    if (handled) {
        if (!handledLater || exception->Continuable())
            return;
    }
    if (!handled) {
        if (exception->ReadSettingBool("AutoSave") || exception->ReadSettingBool("AutoSend") ||
            exception->ReadSettingBool("AutoClip"))
            exception->AddReportListener(OnReportComplete, true);
        // The threads stopped for their stacks go on while the box is shown:
        // a frozen main thread must be free to come back and close it.
        ReleaseHeldThreads();
        if (request.Kind == ZorFailureFrozen)
            WatchForRecovery(exception.get());
        if (!(ConsoleProgram() && exception->BoxChoice() == 4))
            exception->ShowBox();
    }
    if (!exception->Continuable() || exception->BoxChoice() == 4 || ConsoleProgram()) {
        const int64_t now = NowInSeconds();
        const bool closeDue = AutoActionDue(exception->ReadSettingInt("AutoClose"), ExceptionTimeHistory, now);
        const bool restartDue = AutoActionDue(exception->ReadSettingInt("AutoRestart"), ExceptionTimeHistory, now);
        if (closeDue || (!exception->Continuable() && !restartDue))
            exception->CloseProgram(0);
        else if (restartDue)
            exception->RestartProgram(0);
        else
            exception->ContinueProgram(0);
    }
    FinishAutoActions(*exception, false);
}

// ---------------------------------------------------------------------------
// The console presenter

void SetConsoleOutput(int fd)
{
    ConsoleFd = fd;
}

bool ShowForException(TIZXException& exception)
{
    std::u16string text = exception.FailureKind() == ZorFailureFrozen ? exception.ReadSettingText("FrozenMsg")
                                                                      : exception.ReadSettingText("ExceptMsg");
    std::string out = WideToUtf8(text) + "\n";
    if (exception.ReadSettingBool("AutoShowBugRep") || exception.ReadSettingBool("ShowBtnVis")) {
        exception.WriteSettingBool("PlWaitBox", false);
        std::string report = WideToUtf8(exception.ReportTextEx(true));
        out += "\n" + report;
        if (!report.empty() && report.back() != '\n')
            out += "\n";
    }
    WriteFully(ConsoleFd, out.data(), out.size());
    return true;
}

// ---------------------------------------------------------------------------
// The reserve

void AllocateReserve()
{
    std::lock_guard guard(ReserveLock);
    if (Reserve != nullptr)
        return;
    void* block = mmap(nullptr, ReserveSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return;
    // Touched, so that the memory is really taken and really given back.
    std::memset(block, 0, ReserveSize);
    Reserve = block;
}

void FreeReserve()
{
    std::lock_guard guard(ReserveLock);
    if (Reserve == nullptr)
        return;
    munmap(Reserve, ReserveSize);
    Reserve = nullptr;
}

void LinkDispatch()
{
    ZorSlots().ShowForException = ShowForException;
    ZorSlots().FinishAutoActions = FinishAutoActions;
}
