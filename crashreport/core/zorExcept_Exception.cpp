// zorExcept exception object: settings look-up, captured fields, the report's
// change notification and listeners, and the actions.
#include "crashreport/core/zorExcept_Exception.h"

#include <algorithm>
#include <ctime>

#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"

TZorRegisters RegistersFromContext(const mcontext_t& context)
{
    const greg_t* g = context.gregs;
    TZorRegisters r;
    r.Rax = g[REG_RAX];
    r.Rbx = g[REG_RBX];
    r.Rcx = g[REG_RCX];
    r.Rdx = g[REG_RDX];
    r.Rsi = g[REG_RSI];
    r.Rdi = g[REG_RDI];
    r.Rbp = g[REG_RBP];
    r.Rsp = g[REG_RSP];
    r.R8 = g[REG_R8];
    r.R9 = g[REG_R9];
    r.R10 = g[REG_R10];
    r.R11 = g[REG_R11];
    r.R12 = g[REG_R12];
    r.R13 = g[REG_R13];
    r.R14 = g[REG_R14];
    r.R15 = g[REG_R15];
    r.Rip = g[REG_RIP];
    r.EFlags = g[REG_EFL];
    r.Err = g[REG_ERR];
    r.TrapNo = g[REG_TRAPNO];
    r.Cr2 = g[REG_CR2];
    return r;
}

namespace {

TZorLocalTime LocalTimeNow()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    TZorLocalTime t;
    t.Year = static_cast<uint16_t>(local.tm_year + 1900);
    t.Month = static_cast<uint16_t>(local.tm_mon + 1);
    t.DayOfWeek = static_cast<uint16_t>(local.tm_wday);
    t.Day = static_cast<uint16_t>(local.tm_mday);
    t.Hour = static_cast<uint16_t>(local.tm_hour);
    t.Minute = static_cast<uint16_t>(local.tm_min);
    t.Second = static_cast<uint16_t>(local.tm_sec);
    t.Millisecond = static_cast<uint16_t>(now.tv_nsec / 1000000);
    return t;
}

} // namespace

// ---------------------------------------------------------------------------
// Creation and destruction

std::shared_ptr<TIZXException> TIZXException::Create(TModuleHandle module)
{
    return Create(ModuleSettings(module));
}

std::shared_ptr<TIZXException> TIZXException::Create(std::shared_ptr<IZXModuleSettings> moduleSettings)
{
    return std::shared_ptr<TIZXException>(new TIZXException(std::move(moduleSettings)));
}

TIZXException::TIZXException(std::shared_ptr<IZXModuleSettings> moduleSettings)
    : TIZXSettings(0, false), ModuleSettingsIntf(std::move(moduleSettings)),
      OwnTable(ModuleSettingsIntf ? ModuleSettingsIntf->ModuleHandle() : 0)
{
    Valid = true;
    Module = OwnTable.Module;
    Created = LocalTimeNow();
    ThreadId = OS_GetCurrentThreadId();
    UseOwnTable(&OwnTable);
    if (ModuleSettingsIntf)
        SetVersionText(ModuleSettingsIntf->VersionText());
}

TIZXException::~TIZXException()
{
    Abort = true;
    {
        std::lock_guard guard(CompletionLock);
        if (CompletionThread.joinable()) {
            // The completion may hold the last reference itself.
            if (CompletionThread.get_id() == std::this_thread::get_id())
                CompletionThread.detach();
            else
                CompletionThread.join();
        }
        CompletionTid = 0;
    }
    {
        std::lock_guard guard(ListsBuildLock);
        if (Header)
            Header->DetachException();
        if (Sections)
            Sections->DetachException();
    }
    UseOwnTable(nullptr);
    OwnTable.Clear();
    SendThread.Close();
}

std::shared_ptr<TIZXException> TIZXException::SharedException()
{
    return std::static_pointer_cast<TIZXException>(shared_from_this());
}

// ---------------------------------------------------------------------------
// Settings

bool TIZXException::LookupProperty(std::string_view key, bool useDefaults, TSettingValue& value) const
{
    if (OwnTable.Find(key, value))
        return true;
    if (ModuleSettingsIntf)
        if (const TIZXSettings* module = ModuleSettingsIntf->SettingsObject())
            if (module->FindOwnProperty(key, value))
                return true;
    return TIZXSettings::LookupProperty(key, useDefaults, value);
}

void TIZXException::ExpandRead(std::u16string& text) const
{
    if (text.find(u'%') == std::u16string::npos)
        return;
    std::shared_ptr<TIZXFields> header;
    {
        std::lock_guard guard(ListsBuildLock);
        header = Header;
    }
    const std::u16string details = header ? header->FieldContent(u"Error Details") : u"%errorDetails%";
    ExpandSettingText(Module, text, FailureClass(), details, FailureText());
}

// ---------------------------------------------------------------------------
// Captured fields

void TIZXException::SetFailure(uint8_t kind, std::exception_ptr object, uintptr_t address, uint32_t threadId)
{
    Kind = kind;
    Object = std::move(object);
    Address = address;
    if (threadId != 0)
        ThreadId = threadId;
}

void TIZXException::SetContinuableAllowed(bool allowed)
{
    ContinuableAllowed = allowed;
    if (!allowed)
        ContinuableValue = false;
}

void TIZXException::SetContinuable(bool value)
{
    if (!value || ContinuableAllowed)
        ContinuableValue = value;
}

void TIZXException::SetStackPointers(uintptr_t stackPointer, uintptr_t framePointer)
{
    CaptureStackPointer = stackPointer;
    CaptureFramePointer = framePointer;
}

void TIZXException::SetRegisters(const TZorRegisters& registers)
{
    RegisterState = registers;
    HasRegisters = true;
}

void TIZXException::SetOrigin(uint8_t code, const void* object, uintptr_t package)
{
    Origin = code;
    OriginObj = object;
    OriginPkg = package;
}

void TIZXException::SetPreparedStackText(std::string text)
{
    std::lock_guard guard(FieldsLock);
    PreparedStack = std::move(text);
}

std::string TIZXException::PreparedStackText() const
{
    std::lock_guard guard(FieldsLock);
    return PreparedStack;
}

void TIZXException::SetInnerExceptions(TDAInnerException inner)
{
    std::lock_guard guard(FieldsLock);
    Inner = std::move(inner);
}

TDAInnerException TIZXException::InnerExceptions() const
{
    std::lock_guard guard(FieldsLock);
    return Inner;
}

void TIZXException::SetProgressWindow(std::shared_ptr<IProgressAlert> window)
{
    std::lock_guard guard(FieldsLock);
    Progress = std::move(window);
}

std::shared_ptr<IProgressAlert> TIZXException::ProgressWindow() const
{
    std::lock_guard guard(FieldsLock);
    return Progress;
}

std::u16string TIZXException::FailureClass() const
{
    {
        std::lock_guard guard(FieldsLock);
        if (!ClassCache.empty())
            return ClassCache;
    }
    const TZorSlots& slots = ZorSlots();
    const std::u16string text = slots.ObjectClassText ? slots.ObjectClassText(Object) : u"Unknown";
    std::lock_guard guard(FieldsLock);
    if (ClassCache.empty())
        ClassCache = text;
    return ClassCache;
}

std::u16string TIZXException::FailureText() const
{
    {
        std::lock_guard guard(FieldsLock);
        if (!MessageCache.empty())
            return MessageCache;
    }
    std::u16string text;
    if (Kind == ZorFailureFrozen)
        text = ReadSettingText("FrozenMsg");
    else if (ZorSlots().ObjectMessageText)
        text = ZorSlots().ObjectMessageText(Object);
    else
        text = u"Unknown";
    std::lock_guard guard(FieldsLock);
    if (MessageCache.empty())
        MessageCache = text;
    return MessageCache;
}

void TIZXException::SetFailureText(const std::u16string& text)
{
    std::lock_guard guard(FieldsLock);
    MessageCache = text;
}

uint32_t TIZXException::ThreadIdAt(int32_t index) const
{
    std::lock_guard guard(FieldsLock);
    if (index < 0 || index >= static_cast<int32_t>(Stacks.size()))
        return 0;
    return Stacks[index].ThreadId;
}

TStackTrace TIZXException::StackOfThread(int32_t index) const
{
    std::lock_guard guard(FieldsLock);
    if (index < 0 || index >= static_cast<int32_t>(Stacks.size()))
        return {};
    return Stacks[index].CallStack;
}

std::vector<TThreadStack> TIZXException::ThreadStacks() const
{
    std::lock_guard guard(FieldsLock);
    return Stacks;
}

void TIZXException::UpdateThreadStacks(const std::function<void(std::vector<TThreadStack>&)>& update)
{
    std::lock_guard guard(FieldsLock);
    update(Stacks);
}

uint32_t TIZXException::StackChecksum(int32_t index) const
{
    return index >= 0 && index < 3 ? Checksums[index].load() : 0;
}

void TIZXException::SetStackChecksums(uint32_t first, uint32_t second, uint32_t third)
{
    Checksums[0] = first;
    Checksums[1] = second;
    Checksums[2] = third;
}

siginfo_t TIZXException::SystemRecord() const
{
    std::lock_guard guard(FieldsLock);
    return Record;
}

void TIZXException::SetSystemRecord(const siginfo_t& record)
{
    std::lock_guard guard(FieldsLock);
    Record = record;
}

std::u16string TIZXException::AssistantName() const
{
    std::lock_guard guard(FieldsLock);
    return Assistant;
}

void TIZXException::SetAssistantName(const std::u16string& name)
{
    std::lock_guard guard(FieldsLock);
    Assistant = name;
}

void TIZXException::SetStage(uint8_t value)
{
    StageValue = (value == 3 && Complete) ? 4 : value;
}

bool TIZXException::StartCompletionThread(std::function<void()> work)
{
    std::lock_guard guard(CompletionLock);
    if (CompletionThread.joinable())
        return false;
    CompletionThread = std::thread([this, work = std::move(work)] {
        CompletionTid = OS_GetCurrentThreadId();
        work();
    });
    return true;
}

// ---------------------------------------------------------------------------
// The report

std::shared_ptr<IZXFields> TIZXException::BuildList(std::shared_ptr<TIZXFields>& list, bool header)
{
    std::lock_guard guard(ListsBuildLock);
    if (!list) {
        // Closed unless a report is wanted: then fields put in later (a
        // handler's, an assistant's results) are refused, and the report
        // stays empty.
        list = std::make_shared<TIZXFields>();
        if (WantReport())
            list->AllowChanges();
        list->SetExceptionParent(SharedException());
        const TZorSlots& slots = ZorSlots();
        const auto& build = header ? slots.BuildReportHeader : slots.BuildReportSections;
        if (build)
            build(*this, *list);
    }
    return list;
}

std::shared_ptr<IZXFields> TIZXException::HeaderFields()
{
    return BuildList(Header, true);
}

std::shared_ptr<IZXFields> TIZXException::SectionFields()
{
    return BuildList(Sections, false);
}

uint64_t TIZXException::ChangeStamp() const
{
    std::lock_guard guard(ObjectLock);
    return Stamp;
}

std::u16string TIZXException::CachedReportText(uint64_t* stamp) const
{
    std::lock_guard guard(ObjectLock);
    if (stamp != nullptr)
        *stamp = Stamp;
    return TextCache;
}

bool TIZXException::StoreReportText(const std::u16string& text, uint64_t stamp)
{
    std::lock_guard guard(ObjectLock);
    if (stamp != Stamp)
        return false;
    TextCache = text;
    return true;
}

std::u16string TIZXException::ReportTextEx(bool wait)
{
    if (ZorSlots().ReportTextEx)
        return ZorSlots().ReportTextEx(*this, wait);
    return CachedReportText();
}

void TIZXException::SetReportText(const std::u16string& text)
{
    {
        std::lock_guard guard(ObjectLock);
        TextCache = text;
    }
    Notify();
}

int32_t TIZXException::HoldNotifications()
{
    return ++HoldCount;
}

int32_t TIZXException::ReleaseNotifications()
{
    const int32_t count = --HoldCount;
    if (count == 0 && Stale)
        ReportChanged();
    return count;
}

void TIZXException::ReportChanged()
{
    if (HoldCount != 0) {
        Stale = true;
        return;
    }
    Stale = false;
    {
        std::lock_guard guard(ObjectLock);
        ++Stamp;
        TextCache.clear();
    }
    Notify();
}

// The listeners are called without any lock: they may read the report, add
// listeners or change fields.
void TIZXException::Notify()
{
    std::vector<TProcListener> procs;
    std::vector<TMethodListener> methods;
    {
        std::lock_guard guard(ZorHandlerLock());
        procs = ProcListeners;
        methods = MethodListeners;
    }
    if (procs.empty() && methods.empty())
        return;
    const std::u16string text = ReportTextEx(false);
    const bool complete = Complete;
    const std::shared_ptr<IZXException> self = SharedException();
    for (const TProcListener& p : procs)
        p.Callback(complete, text, self);
    for (const TMethodListener& m : methods)
        m.Method(m.Data, complete, text, self);
}

void TIZXException::AddReportListener(TBugReportCallback callback, bool critical)
{
    if (callback == nullptr)
        return;
    {
        std::lock_guard guard(ZorHandlerLock());
        for (TProcListener& p : ProcListeners)
            if (p.Callback == callback) {
                p.Critical = critical;
                return;
            }
        ProcListeners.push_back({callback, critical});
    }
    CompleteInBackgroundValue = true;
    const std::u16string text = ReportTextEx(false);
    callback(Complete, text, SharedException());
}

void TIZXException::AddReportListener(TBugReportMethod method, void* data, bool critical)
{
    if (method == nullptr)
        return;
    {
        std::lock_guard guard(ZorHandlerLock());
        for (TMethodListener& m : MethodListeners)
            if (m.Method == method && m.Data == data) {
                m.Critical = critical;
                return;
            }
        MethodListeners.push_back({method, data, critical});
    }
    CompleteInBackgroundValue = true;
    const std::u16string text = ReportTextEx(false);
    method(data, Complete, text, SharedException());
}

void TIZXException::RemoveReportListener(TBugReportCallback callback)
{
    std::lock_guard guard(ZorHandlerLock());
    const auto found = std::find_if(ProcListeners.begin(), ProcListeners.end(),
                                    [&](const TProcListener& p) { return p.Callback == callback; });
    if (found != ProcListeners.end())
        ProcListeners.erase(found);
}

void TIZXException::RemoveReportListener(TBugReportMethod method, void* data)
{
    std::lock_guard guard(ZorHandlerLock());
    const auto found = std::find_if(MethodListeners.begin(), MethodListeners.end(),
                                    [&](const TMethodListener& m) { return m.Method == method && m.Data == data; });
    if (found != MethodListeners.end())
        MethodListeners.erase(found);
}

bool TIZXException::CriticalListenerExists() const
{
    std::lock_guard guard(ZorHandlerLock());
    return std::any_of(ProcListeners.begin(), ProcListeners.end(), [](const auto& p) { return p.Critical; }) ||
           std::any_of(MethodListeners.begin(), MethodListeners.end(), [](const auto& m) { return m.Critical; });
}

std::shared_ptr<INVBitmap> TIZXException::ScreenImage()
{
    std::lock_guard guard(ImageLock);
    if (!Image && WantScreenImage() && ZorSlots().CaptureScreenImage) {
        Image = ZorSlots().CaptureScreenImage(ReadSettingBool("ScrShotAppOnly"));
        // A failed capture is not tried again for this failure.
        if (!Image)
            SetWantScreenImage(false);
    }
    return Image;
}

void TIZXException::SetScreenImage(std::shared_ptr<INVBitmap> image)
{
    std::lock_guard guard(ImageLock);
    Image = std::move(image);
}

// ---------------------------------------------------------------------------
// Actions

THandlerWindow TIZXException::BoxWindow(THandlerWindow window) const
{
    return window != 0 ? window : ExceptionBoxWindow();
}

void TIZXException::RunActionHandlers(THandlerWindow window, uint8_t action, bool& handled)
{
    if (ZorSlots().NotifyHandlers)
        ZorSlots().NotifyHandlers(window, ZorHandlerAction, action, handled, *this);
}

// The box closes before the program goes on, restarts or ends.
void TIZXException::CloseBox(THandlerWindow window)
{
    if (window != 0)
        SendHandlerMessage(window, ZorMsgCloseBox, 0, 0, 0x7FFFFFFE);
}

bool TIZXException::ShowBox()
{
    return ZorSlots().ShowForException && ZorSlots().ShowForException(*this);
}

bool TIZXException::OpenReportView(THandlerWindow window)
{
    window = BoxWindow(window);
    return window != 0 && PostHandlerMessage(window, ZorMsgShowBugReport, 0, 0);
}

bool TIZXException::SendReport(THandlerWindow window)
{
    const TZorSlots& slots = ZorSlots();
    if (!slots.DeliverBugReport)
        return false;
    window = BoxWindow(window);
    bool handled = false;
    RunActionHandlers(window, ZorActionSend, handled);
    if (handled)
        return true;
    std::shared_ptr<INVBitmap> image;
    if (AttachScreenImage())
        image = ScreenImage();
    SendThread.Close();
    const std::u16string text = ReportTextEx(true);
    const bool sent = slots.DeliverBugReport(text, image, window, false, ReadSettingBool("SendInBackgr"),
                                             SharedException(), false, &SendThread);
    RunActionHandlers(window, ZorActionSent, handled);
    return sent;
}

bool TIZXException::SaveReport(THandlerWindow window)
{
    const TZorSlots& slots = ZorSlots();
    if (!slots.StoreBugReport)
        return false;
    window = BoxWindow(window);
    bool handled = false;
    RunActionHandlers(window, ZorActionSave, handled);
    if (handled)
        return true;
    const bool saved = slots.StoreBugReport(u"", ReportTextEx(true), window, *this, false);
    RunActionHandlers(window, ZorActionSaved, handled);
    return saved;
}

bool TIZXException::PrintReport(THandlerWindow window)
{
    const TZorSlots& slots = ZorSlots();
    if (!slots.PrintReportText)
        return false;
    window = BoxWindow(window);
    bool handled = false;
    RunActionHandlers(window, ZorActionPrint, handled);
    if (handled)
        return true;
    const bool printed = slots.PrintReportText(ReportTextEx(true), window, nullptr);
    RunActionHandlers(window, ZorActionPrinted, handled);
    return printed;
}

bool TIZXException::ContinueProgram(THandlerWindow window)
{
    window = BoxWindow(window);
    bool handled = false;
    RunActionHandlers(window, ZorActionContinue, handled);
    CloseBox(window);
    return true;
}

bool TIZXException::EndProgram(THandlerWindow window, uint8_t action, const std::function<void()>& end)
{
    if (!end)
        return false;
    window = BoxWindow(window);
    bool handled = false;
    RunActionHandlers(window, action, handled);
    if (handled)
        return true;
    CloseBox(window);
    if (ZorSlots().FinishAutoActions)
        ZorSlots().FinishAutoActions(*this, true);
    end();
    return true;
}

bool TIZXException::RestartProgram(THandlerWindow window)
{
    const auto& relaunch = ZorSlots().RelaunchProgram;
    return EndProgram(window, ZorActionRestart, relaunch ? std::function<void()>([&] { relaunch(u""); }) : nullptr);
}

bool TIZXException::CloseProgram(THandlerWindow window)
{
    return EndProgram(window, ZorActionClose, ZorSlots().TerminateProgram);
}
