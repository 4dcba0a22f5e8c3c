// zorExcept exception object: one handled failure (an exception, a frozen
// main thread or a notice of an exception the program handled itself). It
// holds what was captured at the failure, its own copy of the settings (a
// setting written through it stays with it), the bug report under
// construction with its change stamp and listeners, and the actions the
// exception box and the automatic paths take: show, send, save, print,
// continue, restart, close.
//
// The capture code creates it and fills the captured fields before handing
// it to other threads; everything changed afterwards is guarded.
#pragma once

#include <atomic>
#include <csignal>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/ucontext.h>
#include <thread>
#include <vector>

#include "crashreport/core/zorExcept_Fields.h"
#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/core/zorExcept_Slots.h"
#include "crashreport/assistants/zorNVPrgrAlert.h"
#include "crashreport/diagnostics/zorStackTrace.h"

// The general registers of an x86-64 thread, as a signal's context holds them.
struct TZorRegisters {
    uint64_t Rax = 0, Rbx = 0, Rcx = 0, Rdx = 0, Rsi = 0, Rdi = 0, Rbp = 0, Rsp = 0;
    uint64_t R8 = 0, R9 = 0, R10 = 0, R11 = 0, R12 = 0, R13 = 0, R14 = 0, R15 = 0;
    uint64_t Rip = 0, EFlags = 0, Err = 0, TrapNo = 0, Cr2 = 0;
};
TZorRegisters RegistersFromContext(const mcontext_t& context);

// An earlier exception that was still current when the failure happened.
struct TInnerException {
    std::u16string ClassName;
    std::u16string Message;
    bool IsExternal = false;    // descends from "EExternal"
    bool IsTermination = false; // descends from "BcbTermination"
    uintptr_t Address = 0;
    bool HasRegisters = false;
    TZorRegisters Registers;
};
// Newest first: the exception current just before the failure, then older.
using TDAInnerException = std::vector<TInnerException>;

// One listed thread, or one inner-exception level, of the report.
struct TThreadStack {
    uint32_t ThreadId = 0;
    std::u16string SectionTitle;
    uintptr_t ExceptionAddress = 0;
    bool IsFailingThread = false;
    bool ObjectIsExternal = false;
    uintptr_t StackStart = 0; // where the walk starts (the stack pointer)
    uintptr_t StackEnd = 0;   // end of the stack's mapping
    uintptr_t CreatorAddress = 0;
    uintptr_t FramePointer = 0;
    bool ObjectIsTermination = false;
    std::string PreparedStackText;
    TStackTrace CallStack; // empty until the report is complete
    uint32_t CreatorThreadId = 0;
    int32_t InnerLevel = 0; // 0: the failure itself or another thread
    std::string InnerClassName;
    std::string InnerMessage;
};

struct TZorLocalTime {
    uint16_t Year = 0, Month = 0, DayOfWeek = 0, Day = 0;
    uint16_t Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// Failure kinds.
constexpr uint8_t ZorFailureException = 0;
constexpr uint8_t ZorFailureFrozen = 1;  // the main thread answers no more; no object
constexpr uint8_t ZorFailureHandled = 2; // the program handled it; only handlers hear of it

// Handler kinds and the actions of the action handlers.
constexpr uint8_t ZorHandlerException = 0;
constexpr uint8_t ZorHandlerAction = 1;
constexpr uint8_t ZorHandlerHandled = 2;
enum TZorAction : uint8_t {
    ZorActionSend = 0,
    ZorActionSave = 1,
    ZorActionPrint = 2,
    ZorActionSendAssisted = 3,
    ZorActionSaveAssisted = 4,
    ZorActionPrintAssisted = 5,
    ZorActionSent = 6,
    ZorActionSaved = 7,
    ZorActionPrinted = 8,
    ZorActionShowReport = 9,
    ZorActionHelp = 10,
    ZorActionContinue = 11,
    ZorActionRestart = 12,
    ZorActionClose = 13,
};

class IZXException;
// Report listeners: told the report text whenever the report changes.
using TBugReportCallback = void (*)(bool complete, const std::u16string& text,
                                    const std::shared_ptr<IZXException>& exception);
using TBugReportMethod = void (*)(void* data, bool complete, const std::u16string& text,
                                  const std::shared_ptr<IZXException>& exception);

class IZXException : public virtual IZXSettings {
public:
    virtual uint8_t Stage() const = 0;
    virtual bool Continuable() const = 0;
    // Lowering always works; raising only while continuing is allowed.
    virtual void SetContinuable(bool value) = 0;
    virtual uint8_t FailureKind() const = 0;
    virtual std::exception_ptr FailureObject() const = 0;
    virtual std::u16string FailureClass() const = 0;
    virtual std::u16string FailureText() const = 0;
    virtual void SetFailureText(const std::u16string& text) = 0;
    virtual uintptr_t FailureAddress() const = 0;
    virtual uint32_t FailingThreadId() const = 0;
    // Of the index-th thread stack; 0 / empty out of range.
    virtual uint32_t ThreadIdAt(int32_t index) const = 0;
    virtual TStackTrace StackOfThread(int32_t index) const = 0;
    // 0..2; 0 for any other index.
    virtual uint32_t StackChecksum(int32_t index) const = 0;
    // nullptr when no register state was captured.
    virtual const TZorRegisters* Registers() const = 0;
    virtual siginfo_t SystemRecord() const = 0;
    virtual void SetSystemRecord(const siginfo_t& record) = 0;
    virtual uint8_t OriginCode() const = 0;
    virtual const void* OriginObject() const = 0;
    virtual uintptr_t OriginPackage() const = 0;
    // The report's header lines and sections, built on first use.
    virtual std::shared_ptr<IZXFields> HeaderFields() = 0;
    virtual std::shared_ptr<IZXFields> SectionFields() = 0;
    // The report text, waiting for its completion.
    virtual std::u16string ReportText() = 0;
    // Stores a text as the report and tells the listeners.
    virtual void SetReportText(const std::u16string& text) = 0;
    virtual std::u16string ReportTextEx(bool wait) = 0;
    // Taken once when wanted; nullptr when there is none.
    virtual std::shared_ptr<INVBitmap> ScreenImage() = 0;
    virtual void SetScreenImage(std::shared_ptr<INVBitmap> image) = 0;
    // While held, changes only mark the report stale; the last release
    // advances the change stamp and notifies once. Return the new count.
    virtual int32_t HoldNotifications() = 0;
    virtual int32_t ReleaseNotifications() = 0;
    // A new listener is called at once; adding one again changes only its
    // critical flag.
    virtual void AddReportListener(TBugReportCallback callback, bool critical) = 0;
    virtual void AddReportListener(TBugReportMethod method, void* data, bool critical) = 0;
    virtual void RemoveReportListener(TBugReportCallback callback) = 0;
    virtual void RemoveReportListener(TBugReportMethod method, void* data) = 0;
    // The switches the matching exception filter set.
    virtual bool WantReport() const = 0;
    virtual void SetWantReport(bool value) = 0;
    virtual bool WantScreenImage() const = 0;
    virtual void SetWantScreenImage(bool value) = 0;
    virtual bool RunHandlers() const = 0;
    virtual void SetRunHandlers(bool value) = 0;
    virtual bool AttachScreenImage() const = 0;
    virtual void SetAttachScreenImage(bool value) = 0;
    virtual int32_t BoxChoice() const = 0;
    virtual void SetBoxChoice(int32_t value) = 0;
    virtual std::u16string AssistantName() const = 0;
    virtual void SetAssistantName(const std::u16string& name) = 0;
    // The actions. A window of 0 means the exception box that is shown, if
    // any. False when the action could not be done.
    virtual bool ShowBox() = 0;
    virtual bool OpenReportView(THandlerWindow window) = 0;
    virtual bool SendReport(THandlerWindow window) = 0;
    virtual bool SaveReport(THandlerWindow window) = 0;
    virtual bool PrintReport(THandlerWindow window) = 0;
    virtual bool ContinueProgram(THandlerWindow window) = 0;
    virtual bool RestartProgram(THandlerWindow window) = 0;
    virtual bool CloseProgram(THandlerWindow window) = 0;
};

// The bookkeeping of capture, dispatch, storing and sending.
class IZXExceptionEx {
public:
    virtual ~IZXExceptionEx() = default;
    virtual bool CriticalListenerExists() const = 0;
    virtual uint32_t CompletionThreadId() const = 0;
    // 3 on a complete report stores 4.
    virtual void SetStage(uint8_t value) = 0;
    virtual bool WasSent() const = 0;
    virtual void SetWasSent(bool value) = 0;
    virtual bool WasSaved() const = 0;
    virtual void SetWasSaved(bool value) = 0;
    // True for exactly one call per failure, whatever the threads.
    virtual bool ClaimCompletionNotice() = 0;
    virtual bool ClaimAutoSave() = 0;
    virtual TSendThreadSlot* SendThreadSlot() = 0;
    virtual void SetInnerExceptions(TDAInnerException inner) = 0;
};

class TIZXException final : public TIZXSettings, public IZXException, public IZXExceptionEx {
public:
    // The failure of a module: its settings apply (0: the program's).
    static std::shared_ptr<TIZXException> Create(TModuleHandle module = 0);
    static std::shared_ptr<TIZXException> Create(std::shared_ptr<IZXModuleSettings> moduleSettings);
    ~TIZXException() override;

    std::shared_ptr<TIZXException> SharedException();
    const std::shared_ptr<IZXModuleSettings>& ModuleSettingsOf() const { return ModuleSettingsIntf; }

    // Settings: this failure's own table, then the module's, then the
    // defaults. Writes land in this failure's table only.
    bool LookupProperty(std::string_view key, bool useDefaults, TSettingValue& value) const override;

    // --- IZXException
    uint8_t Stage() const override { return StageValue; }
    bool Continuable() const override { return ContinuableValue; }
    void SetContinuable(bool value) override;
    uint8_t FailureKind() const override { return Kind; }
    std::exception_ptr FailureObject() const override { return Object; }
    std::u16string FailureClass() const override;
    std::u16string FailureText() const override;
    void SetFailureText(const std::u16string& text) override;
    uintptr_t FailureAddress() const override { return Address; }
    uint32_t FailingThreadId() const override { return ThreadId; }
    uint32_t ThreadIdAt(int32_t index) const override;
    TStackTrace StackOfThread(int32_t index) const override;
    uint32_t StackChecksum(int32_t index) const override;
    const TZorRegisters* Registers() const override { return HasRegisters ? &RegisterState : nullptr; }
    siginfo_t SystemRecord() const override;
    void SetSystemRecord(const siginfo_t& record) override;
    uint8_t OriginCode() const override { return Origin; }
    const void* OriginObject() const override { return OriginObj; }
    uintptr_t OriginPackage() const override { return OriginPkg; }
    std::shared_ptr<IZXFields> HeaderFields() override;
    std::shared_ptr<IZXFields> SectionFields() override;
    std::u16string ReportText() override { return ReportTextEx(true); }
    void SetReportText(const std::u16string& text) override;
    std::u16string ReportTextEx(bool wait) override;
    std::shared_ptr<INVBitmap> ScreenImage() override;
    void SetScreenImage(std::shared_ptr<INVBitmap> image) override;
    int32_t HoldNotifications() override;
    int32_t ReleaseNotifications() override;
    void AddReportListener(TBugReportCallback callback, bool critical) override;
    void AddReportListener(TBugReportMethod method, void* data, bool critical) override;
    void RemoveReportListener(TBugReportCallback callback) override;
    void RemoveReportListener(TBugReportMethod method, void* data) override;
    bool WantReport() const override { return WantReportValue; }
    void SetWantReport(bool value) override { WantReportValue = value; }
    bool WantScreenImage() const override { return WantScreenImageValue; }
    void SetWantScreenImage(bool value) override { WantScreenImageValue = value; }
    bool RunHandlers() const override { return RunHandlersValue; }
    void SetRunHandlers(bool value) override { RunHandlersValue = value; }
    bool AttachScreenImage() const override { return AttachScreenImageValue; }
    void SetAttachScreenImage(bool value) override { AttachScreenImageValue = value; }
    int32_t BoxChoice() const override { return BoxChoiceValue; }
    void SetBoxChoice(int32_t value) override { BoxChoiceValue = value; }
    std::u16string AssistantName() const override;
    void SetAssistantName(const std::u16string& name) override;
    bool ShowBox() override;
    bool OpenReportView(THandlerWindow window) override;
    bool SendReport(THandlerWindow window) override;
    bool SaveReport(THandlerWindow window) override;
    bool PrintReport(THandlerWindow window) override;
    bool ContinueProgram(THandlerWindow window) override;
    bool RestartProgram(THandlerWindow window) override;
    bool CloseProgram(THandlerWindow window) override;

    // --- IZXExceptionEx
    bool CriticalListenerExists() const override;
    uint32_t CompletionThreadId() const override { return CompletionTid; }
    void SetStage(uint8_t value) override;
    bool WasSent() const override { return Sent; }
    void SetWasSent(bool value) override { Sent = value; }
    bool WasSaved() const override { return Saved; }
    void SetWasSaved(bool value) override { Saved = value; }
    bool ClaimCompletionNotice() override { return ++CompletionNoticeCounter == 0; }
    bool ClaimAutoSave() override { return ++AutoSaveCounter == 0; }
    TSendThreadSlot* SendThreadSlot() override { return &SendThread; }
    void SetInnerExceptions(TDAInnerException inner) override;

    // --- Capture: filled before the object is shared.
    void SetFailure(uint8_t kind, std::exception_ptr object, uintptr_t address, uint32_t threadId);
    void SetContinuableAllowed(bool allowed);
    void SetStackPointers(uintptr_t stackPointer, uintptr_t framePointer);
    void SetRegisters(const TZorRegisters& registers);
    void SetOrigin(uint8_t code, const void* object, uintptr_t package);
    void SetPreparedStackText(std::string text);
    uintptr_t StackPointer() const { return CaptureStackPointer; }
    uintptr_t FramePointer() const { return CaptureFramePointer; }
    std::string PreparedStackText() const;
    const TZorLocalTime& CreationTime() const { return Created; }
    TDAInnerException InnerExceptions() const;
    void SetProgressWindow(std::shared_ptr<IProgressAlert> window);
    std::shared_ptr<IProgressAlert> ProgressWindow() const;
    bool DeferCompletion() const { return DeferCompletionValue; }
    void SetDeferCompletion(bool value) { DeferCompletionValue = value; }
    bool CompleteInBackground() const { return CompleteInBackgroundValue; }

    // --- The report, for the code that builds and completes it.
    // The report changed: advances the stamp, clears the cached text and
    // tells the listeners, or only marks the report stale while held.
    void ReportChanged();
    bool ReportStale() const { return Stale; }
    uint64_t ChangeStamp() const;
    // The cached text and the stamp it belongs to, read together.
    std::u16string CachedReportText(uint64_t* stamp = nullptr) const;
    // Keeps a composed text, unless the report changed since the stamp.
    bool StoreReportText(const std::u16string& text, uint64_t stamp);
    bool ReportComplete() const { return Complete; }
    void SetReportComplete(bool complete) { Complete = complete; }
    void SetStackChecksums(uint32_t first, uint32_t second, uint32_t third);
    std::vector<TThreadStack> ThreadStacks() const;
    void UpdateThreadStacks(const std::function<void(std::vector<TThreadStack>&)>& update);
    // Set when the object goes: the completion stops at its next look.
    bool Aborted() const { return Abort; }
    // Runs the completion on a thread of its own (the object waits for it
    // when it goes); false when one was started before.
    bool StartCompletionThread(std::function<void()> work);

protected:
    void ExpandRead(std::u16string& text) const override;
    bool AssistantMayShowScreenImage() const override { return WantScreenImage(); }

private:
    explicit TIZXException(std::shared_ptr<IZXModuleSettings> moduleSettings);
    void Notify();
    // Runs the action handlers (a slot; nothing when it is empty).
    void RunActionHandlers(THandlerWindow window, uint8_t action, bool& handled);
    THandlerWindow BoxWindow(THandlerWindow window) const;
    void CloseBox(THandlerWindow window);
    // Restart and close: the handlers, the box closed, the automatic
    // actions finished, then the end; false when there is no end.
    bool EndProgram(THandlerWindow window, uint8_t action, const std::function<void()>& end);
    std::shared_ptr<IZXFields> BuildList(std::shared_ptr<TIZXFields>& list, bool header);

    std::shared_ptr<IZXModuleSettings> ModuleSettingsIntf;
    TSettingsTable OwnTable;

    // Captured.
    uint8_t Kind = ZorFailureException;
    std::exception_ptr Object;
    uintptr_t Address = 0;
    uint32_t ThreadId = 0;
    uintptr_t CaptureStackPointer = 0;
    uintptr_t CaptureFramePointer = 0;
    bool HasRegisters = false;
    TZorRegisters RegisterState;
    uint8_t Origin = 0;
    const void* OriginObj = nullptr;
    uintptr_t OriginPkg = 0;
    TZorLocalTime Created;

    std::atomic<uint8_t> StageValue{0};
    std::atomic<bool> ContinuableValue{true};
    std::atomic<bool> ContinuableAllowed{true};
    std::atomic<bool> WantReportValue{false};
    std::atomic<bool> WantScreenImageValue{false};
    std::atomic<bool> RunHandlersValue{false};
    std::atomic<bool> AttachScreenImageValue{false};
    std::atomic<int32_t> BoxChoiceValue{0};
    std::atomic<uint32_t> Checksums[3];
    std::atomic<int32_t> HoldCount{0};
    std::atomic<bool> Stale{false};
    std::atomic<bool> Complete{false};
    std::atomic<bool> Abort{false};
    std::atomic<bool> Sent{false};
    std::atomic<bool> Saved{false};
    std::atomic<bool> DeferCompletionValue{false};
    std::atomic<bool> CompleteInBackgroundValue{false};
    std::atomic<int32_t> CompletionNoticeCounter{-1};
    std::atomic<int32_t> AutoSaveCounter{-1};
    std::atomic<uint32_t> CompletionTid{0};

    // Texts and records changed after capture.
    mutable std::mutex FieldsLock;
    mutable std::u16string ClassCache;
    mutable std::u16string MessageCache;
    std::u16string Assistant;
    std::string PreparedStack;
    siginfo_t Record{};
    TDAInnerException Inner;
    std::vector<TThreadStack> Stacks;
    std::shared_ptr<IProgressAlert> Progress;

    // The report text cache and the change stamp.
    mutable std::mutex ObjectLock;
    std::u16string TextCache;
    uint64_t Stamp = 0;

    mutable std::recursive_mutex ListsBuildLock;
    std::shared_ptr<TIZXFields> Header;
    std::shared_ptr<TIZXFields> Sections;

    std::mutex ImageLock;
    std::shared_ptr<INVBitmap> Image;

    struct TProcListener {
        TBugReportCallback Callback;
        bool Critical;
    };
    struct TMethodListener {
        TBugReportMethod Method;
        void* Data;
        bool Critical;
    };
    std::vector<TProcListener> ProcListeners;     // under the handler lock
    std::vector<TMethodListener> MethodListeners; // under the handler lock

    std::mutex CompletionLock;
    std::thread CompletionThread;
    TSendThreadSlot SendThread;
};
