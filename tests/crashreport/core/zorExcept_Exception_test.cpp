#include "crashreport/core/zorExcept_Exception.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <ucontext.h>

#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"
#include "tests/crashreport/ZorSettingsSupport.h"

namespace {

// A failure of a module with the game's settings.
// A failure whose report is wanted: its field lists take changes.
struct TGameFailure {
    TGameFailure() { Exception->SetWantReport(true); }
    TSlotsGuard Slots;
    TSettingsModule Module{GameSettingsResource()};
    std::shared_ptr<IZXModuleSettings> ModuleSettingsIntf = ModuleSettings(Module.Handle);
    std::shared_ptr<TIZXException> Exception = TIZXException::Create(ModuleSettingsIntf);
};

// Report listeners that count their calls.
std::atomic<int> ProcCalls{0};
std::u16string ProcText;
void CountingListener(bool, const std::u16string& text, const std::shared_ptr<IZXException>& exception)
{
    ++ProcCalls;
    ProcText = text;
    EXPECT_NE(exception, nullptr);
}
std::atomic<int> Notifications{0};
void NotificationCounter(bool, const std::u16string&, const std::shared_ptr<IZXException>&)
{
    ++Notifications;
}
void CountingMethod(void* data, bool, const std::u16string&, const std::shared_ptr<IZXException>&)
{
    ++*static_cast<std::atomic<int>*>(data);
}

TEST(ZorException, CreationAndCapturedFields)
{
    TGameFailure f;
    TIZXException& e = *f.Exception;
    EXPECT_EQ(e.Stage(), 0);
    EXPECT_TRUE(e.Continuable());
    EXPECT_EQ(e.FailingThreadId(), OS_GetCurrentThreadId());
    EXPECT_EQ(e.Registers(), nullptr);
    EXPECT_EQ(e.CompletionThreadId(), 0u);
    EXPECT_EQ(e.ModuleHandle(), f.Module.Handle);
    EXPECT_EQ(e.VersionText(), f.ModuleSettingsIntf->VersionText());
    EXPECT_GE(e.CreationTime().Year, 2024);

    e.SetFailure(ZorFailureFrozen, nullptr, 0x401000, 77);
    e.SetOrigin(13, &f, 0x5000);
    e.SetStackPointers(0x7000, 0x7100);
    EXPECT_EQ(e.FailureKind(), ZorFailureFrozen);
    EXPECT_EQ(e.FailureAddress(), 0x401000u);
    EXPECT_EQ(e.FailingThreadId(), 77u);
    EXPECT_EQ(e.OriginCode(), 13);
    EXPECT_EQ(e.OriginObject(), &f);
    EXPECT_EQ(e.OriginPackage(), 0x5000u);
    EXPECT_EQ(e.StackPointer(), 0x7000u);

    ucontext_t context{};
    ASSERT_EQ(getcontext(&context), 0);
    e.SetRegisters(RegistersFromContext(context.uc_mcontext));
    ASSERT_NE(e.Registers(), nullptr);
    EXPECT_EQ(e.Registers()->Rsp, static_cast<uint64_t>(context.uc_mcontext.gregs[REG_RSP]));
    EXPECT_NE(e.Registers()->Rip, 0u);

    siginfo_t record{};
    record.si_signo = SIGSEGV;
    record.si_code = SEGV_MAPERR;
    e.SetSystemRecord(record);
    EXPECT_EQ(e.SystemRecord().si_signo, SIGSEGV);
    EXPECT_EQ(e.SystemRecord().si_code, SEGV_MAPERR);

    TInnerException inner;
    inner.ClassName = u"EInner";
    TInnerException older;
    older.ClassName = u"EOlder";
    older.IsExternal = true;
    e.SetInnerExceptions({inner, older});
    ASSERT_EQ(e.InnerExceptions().size(), 2u);
    EXPECT_EQ(e.InnerExceptions()[1].ClassName, u"EOlder");

    // Thread stacks: out of range gives 0 and nothing.
    EXPECT_EQ(e.ThreadIdAt(0), 0u);
    EXPECT_TRUE(e.StackOfThread(-1).empty());
    e.UpdateThreadStacks([](std::vector<TThreadStack>& stacks) {
        stacks.resize(2);
        stacks[1].ThreadId = 42;
        stacks[1].CallStack.push_back({0x401000, 4, u"test", u"unit", 10, 2, u"Main"});
    });
    EXPECT_EQ(e.ThreadIdAt(1), 42u);
    EXPECT_EQ(e.StackOfThread(1).at(0).FunctionName, u"Main");
    EXPECT_EQ(e.ThreadIdAt(2), 0u);
}

TEST(ZorException, SettingsOfAFailureStayWithIt)
{
    TGameFailure f;
    TIZXException& e = *f.Exception;
    IZXModuleSettings& module = *f.ModuleSettingsIntf;
    EXPECT_EQ(e.LimitDisAsm(), 50); // the module's value
    EXPECT_TRUE(e.SetLimitDisAsm(9));
    EXPECT_EQ(e.LimitDisAsm(), 9);
    EXPECT_EQ(module.LimitDisAsm(), 50);
    // The module's later writes show where the failure wrote nothing.
    EXPECT_TRUE(module.SetSmtpPort(30));
    EXPECT_EQ(e.SmtpPort(), 30);
    EXPECT_EQ(e.AutoDelay(), 60); // the defaults
    EXPECT_FALSE(e.WriteSettingText("LimitDisAsm", u"x"));
    EXPECT_TRUE(e.SetMailAddr(u"me@x"));
    EXPECT_EQ(module.MailAddr(), u"bugs@duskmarch.invalid");
    // A second failure of the module doesn't see the first one's settings.
    EXPECT_EQ(TIZXException::Create(f.ModuleSettingsIntf)->LimitDisAsm(), 50);
}

TEST(ZorException, ContinuableStageAndChecksums)
{
    TGameFailure f;
    TIZXException& e = *f.Exception;
    e.SetContinuable(false);
    EXPECT_FALSE(e.Continuable());
    e.SetContinuable(true);
    EXPECT_TRUE(e.Continuable());
    e.SetContinuableAllowed(false);
    EXPECT_FALSE(e.Continuable());
    e.SetContinuable(true);
    EXPECT_FALSE(e.Continuable());

    e.SetStage(3);
    EXPECT_EQ(e.Stage(), 3);
    e.SetReportComplete(true);
    e.SetStage(3);
    EXPECT_EQ(e.Stage(), 4);
    e.SetStage(2);
    EXPECT_EQ(e.Stage(), 2);

    e.SetStackChecksums(1, 2, 3);
    EXPECT_EQ(e.StackChecksum(0), 1u);
    EXPECT_EQ(e.StackChecksum(2), 3u);
    EXPECT_EQ(e.StackChecksum(3), 0u);
    EXPECT_EQ(e.StackChecksum(-1), 0u);

    EXPECT_FALSE(e.WasSent());
    e.SetWasSent(true);
    e.SetWasSaved(true);
    EXPECT_TRUE(e.WasSent());
    EXPECT_TRUE(e.WasSaved());
    EXPECT_TRUE(e.ClaimAutoSave());
    EXPECT_FALSE(e.ClaimAutoSave());
    EXPECT_TRUE(e.ClaimCompletionNotice());
    EXPECT_FALSE(e.ClaimCompletionNotice());
}

TEST(ZorException, ListenersAreKeptOnceAndCalledWhenAdded)
{
    TGameFailure f;
    TIZXException& e = *f.Exception;
    e.SetReportText(u"so far");
    ProcCalls = 0;
    e.AddReportListener(CountingListener, false);
    EXPECT_EQ(ProcCalls, 1);
    EXPECT_EQ(ProcText, u"so far");
    EXPECT_TRUE(e.CompleteInBackground());
    EXPECT_FALSE(e.CriticalListenerExists());
    e.AddReportListener(CountingListener, true);
    EXPECT_EQ(ProcCalls, 1);
    EXPECT_TRUE(e.CriticalListenerExists());

    std::atomic<int> calls{0};
    std::atomic<int> otherCalls{0};
    e.AddReportListener(CountingMethod, &calls, false);
    e.AddReportListener(CountingMethod, &calls, false);
    e.AddReportListener(CountingMethod, &otherCalls, false);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(otherCalls, 1);

    // One change: each listener once.
    e.HeaderFields()->PutField(u"Field", u"1");
    EXPECT_EQ(ProcCalls, 2);
    EXPECT_EQ(calls, 2);

    e.RemoveReportListener(CountingListener);
    EXPECT_FALSE(e.CriticalListenerExists());
    e.RemoveReportListener(CountingMethod, &calls);
    e.HeaderFields()->PutField(u"Field", u"2");
    EXPECT_EQ(ProcCalls, 2);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(otherCalls, 3);
    e.RemoveReportListener(CountingMethod, &otherCalls);
}

TEST(ZorException, HeldChangesAdvanceTheStampOnce)
{
    TGameFailure f;
    TIZXException& e = *f.Exception;
    ProcCalls = 0;
    e.AddReportListener(CountingListener, false);
    const uint64_t before = e.ChangeStamp();
    EXPECT_EQ(e.HoldNotifications(), 1);
    const auto header = e.HeaderFields();
    header->PutField(u"a", u"1");
    header->PutField(u"b", u"2");
    header->PutField(u"c", u"3");
    EXPECT_EQ(e.ChangeStamp(), before);
    EXPECT_TRUE(e.ReportStale());
    EXPECT_EQ(e.ReleaseNotifications(), 0);
    EXPECT_EQ(e.ChangeStamp(), before + 1);
    EXPECT_EQ(ProcCalls, 2);
    // Nothing held, nothing stale: releasing calls nobody.
    e.HoldNotifications();
    e.ReleaseNotifications();
    EXPECT_EQ(ProcCalls, 2);
    e.RemoveReportListener(CountingListener);
}

TEST(ZorException, TheReportTextCache)
{
    TGameFailure f;
    TIZXException& e = *f.Exception;
    uint64_t stamp = 0;
    EXPECT_EQ(e.CachedReportText(&stamp), u"");
    EXPECT_TRUE(e.StoreReportText(u"composed", stamp));
    EXPECT_EQ(e.ReportTextEx(false), u"composed");
    e.ReportChanged();
    EXPECT_EQ(e.ReportTextEx(false), u"");
    EXPECT_FALSE(e.StoreReportText(u"late", stamp));
    // A stored report leaves the stamp as it is.
    const uint64_t now = e.ChangeStamp();
    e.SetReportText(u"given");
    EXPECT_EQ(e.ChangeStamp(), now);
    EXPECT_EQ(e.ReportText(), u"given");

    std::vector<bool> waits;
    ZorSlots().ReportTextEx = [&](TIZXException& x, bool wait) {
        EXPECT_EQ(&x, &e);
        waits.push_back(wait);
        return std::u16string(u"from the report");
    };
    EXPECT_EQ(e.ReportText(), u"from the report");
    EXPECT_EQ(e.ReportTextEx(false), u"from the report");
    EXPECT_EQ(waits, (std::vector<bool>{true, false}));

    int built = 0;
    const auto other = TIZXException::Create(f.ModuleSettingsIntf);
    other->SetWantReport(true);
    ZorSlots().BuildReportHeader = [&](TIZXException& x, IZXFields& header) {
        EXPECT_EQ(&x, other.get());
        ++built;
        header.PutField(u"date/time", u"will be calculated soon");
    };
    ZorSlots().BuildReportSections = [&](TIZXException&, IZXFields& sections) {
        ++built;
        sections.PutField(u"main thread", u"stack");
    };
    EXPECT_EQ(other->HeaderFields()->FieldContent(u"date/time"), u"will be calculated soon");
    EXPECT_EQ(other->HeaderFields(), other->HeaderFields());
    EXPECT_EQ(other->SectionFields()->FieldCount(), 1);
    other->SectionFields();
    EXPECT_EQ(built, 2);
}

// A failure without a report: its lists never open, whatever is put in.
TEST(ZorException, WithoutAReportTheFieldListsStayClosed)
{
    TGameFailure f;
    ZorSlots().BuildReportHeader = [](TIZXException&, IZXFields& header) { header.PutField(u"date/time", u"now"); };
    for (const bool wantReport : {false, true}) {
        const auto failure = TIZXException::Create(f.ModuleSettingsIntf);
        failure->SetWantReport(wantReport);
        for (const std::shared_ptr<IZXFields>& list : {failure->HeaderFields(), failure->SectionFields()}) {
            list->PutField(u"contact name", u"Ann");
            list->StoreField(u"contact email", u"ann@b.c");
            list->InsertFieldAt(0, u"error details", u"text");
            EXPECT_EQ(list->FieldContent(u"contact name"), wantReport ? u"Ann" : u"") << wantReport;
            EXPECT_EQ(list->FieldContent(u"contact email"), wantReport ? u"ann@b.c" : u"") << wantReport;
            EXPECT_EQ(list->FieldContent(u"error details"), wantReport ? u"text" : u"") << wantReport;
        }
        EXPECT_EQ(failure->HeaderFields()->FieldContent(u"date/time"), wantReport ? u"now" : u"") << wantReport;
    }
}

TEST(ZorException, TextReadsGetTheFailuresTexts)
{
    TGameFailure f;
    TIZXException& e = *f.Exception;
    e.SetFailure(ZorFailureException, std::make_exception_ptr(std::runtime_error("boom")), 0x401000, 0);
    // Without the inspection slots the texts are unknown.
    EXPECT_EQ(e.FailureClass(), u"Unknown");

    const auto second = TIZXException::Create(f.ModuleSettingsIntf);
    second->SetWantReport(true);
    second->SetFailure(ZorFailureException, std::make_exception_ptr(std::runtime_error("boom")), 0x401000, 0);
    int classCalls = 0;
    ZorSlots().ObjectClassText = [&](const std::exception_ptr& object) {
        ++classCalls;
        EXPECT_TRUE(object);
        return std::u16string(u"std::runtime_error");
    };
    ZorSlots().ObjectMessageText = [](const std::exception_ptr&) { return std::u16string(u"boom."); };
    std::u16string seenClass, seenDetails, seenMessage;
    ZorSlots().ExpandPlaceholders = [&](TModuleHandle, std::u16string& text, const std::u16string& c,
                                        const std::u16string& d, const std::u16string&, const std::u16string& m) {
        seenClass = c;
        seenDetails = d;
        seenMessage = m;
        text = u"[" + text + u"]";
    };
    EXPECT_EQ(second->BugTrTitle(), u"[%appname%, %exceptMsg%]");
    EXPECT_EQ(seenClass, u"std::runtime_error");
    EXPECT_EQ(seenMessage, u"boom.");
    EXPECT_EQ(seenDetails, u"%errorDetails%");
    EXPECT_EQ(second->MailSubj(), u"bug report"); // no placeholder: not expanded
    second->HeaderFields()->PutField(u"Error Details", u"at 0x401000");
    second->BugTrDescr();
    EXPECT_EQ(seenDetails, u"at 0x401000");
    EXPECT_EQ(second->FailureClass(), u"std::runtime_error");
    EXPECT_EQ(classCalls, 1);
    second->SetFailureText(u"replaced");
    EXPECT_EQ(second->FailureText(), u"replaced");

    // A frozen main thread's message is the frozen message, as it stands.
    const auto frozen = TIZXException::Create(f.ModuleSettingsIntf);
    frozen->SetFailure(ZorFailureFrozen, nullptr, 0, 0);
    frozen->SetFrozenMsg(u"%appname% hangs");
    EXPECT_EQ(frozen->FailureText(), u"%appname% hangs");
}

TEST(ZorException, TheScreenImageIsTriedOnce)
{
    TGameFailure f;
    TIZXException& e = *f.Exception;
    EXPECT_EQ(e.ScreenImage(), nullptr); // not wanted
    e.SetWantScreenImage(true);
    EXPECT_EQ(e.ScreenImage(), nullptr); // no capture yet: still wanted
    EXPECT_TRUE(e.WantScreenImage());
    std::vector<bool> captures;
    ZorSlots().CaptureScreenImage = [&](bool appOnly) {
        captures.push_back(appOnly);
        return std::shared_ptr<INVBitmap>();
    };
    e.SetScrShotAppOnly(true);
    EXPECT_EQ(e.ScreenImage(), nullptr);
    EXPECT_FALSE(e.WantScreenImage());
    EXPECT_EQ(e.ScreenImage(), nullptr);
    EXPECT_EQ(captures, (std::vector<bool>{true}));
}

// ---------------------------------------------------------------------------
// Actions

struct TActionLog {
    std::vector<int> Actions;
    std::vector<std::string> Calls;
    int HandleAction = -1;
};

void Record(TActionLog& log, TIZXException& failure)
{
    ZorSlots().NotifyHandlers = [&log, &failure](THandlerWindow, uint8_t kind, uint8_t action, bool& handled,
                                                 TIZXException& e) {
        EXPECT_EQ(kind, ZorHandlerAction);
        EXPECT_EQ(&e, &failure);
        log.Actions.push_back(action);
        if (action == log.HandleAction)
            handled = true;
    };
    ZorSlots().ReportTextEx = [](TIZXException&, bool wait) { return std::u16string(wait ? u"report" : u"part"); };
}

TEST(ZorException, ActionsWithoutTheirPartsAreNotDone)
{
    TGameFailure f;
    TIZXException& e = *f.Exception;
    TActionLog log;
    Record(log, e);
    EXPECT_FALSE(e.ShowBox());
    EXPECT_FALSE(e.SendReport(0));
    EXPECT_FALSE(e.SaveReport(0));
    EXPECT_FALSE(e.PrintReport(0));
    EXPECT_FALSE(e.RestartProgram(0));
    EXPECT_FALSE(e.CloseProgram(0));
    EXPECT_FALSE(e.OpenReportView(0));
    EXPECT_TRUE(log.Actions.empty());
    EXPECT_FALSE(e.WasSent());
}

TEST(ZorException, SendSavePrint)
{
    TGameFailure f;
    TIZXException& e = *f.Exception;
    TActionLog log;
    Record(log, e);
    ZorSlots().DeliverBugReport =
        [&](const std::u16string& text, const std::shared_ptr<INVBitmap>& image, THandlerWindow window, bool silent,
            bool background, const std::shared_ptr<IZXSettings>& settings, bool inThread, TSendThreadSlot* slot) {
            EXPECT_EQ(text, u"report");
            EXPECT_EQ(image, nullptr);
            EXPECT_EQ(window, 0u);
            EXPECT_FALSE(silent);
            EXPECT_TRUE(background); // SendInBackgr
            EXPECT_EQ(settings.get(), static_cast<IZXSettings*>(&e));
            EXPECT_FALSE(inThread);
            EXPECT_EQ(slot, e.SendThreadSlot());
            log.Calls.push_back("deliver");
            return true;
        };
    ZorSlots().StoreBugReport = [&](const std::u16string& file, const std::u16string& text, THandlerWindow,
                                    IZXSettings& settings, bool silent) {
        EXPECT_EQ(file, u"");
        EXPECT_EQ(text, u"report");
        EXPECT_EQ(&settings, static_cast<IZXSettings*>(&e));
        EXPECT_FALSE(silent);
        log.Calls.push_back("store");
        return true;
    };
    ZorSlots().PrintReportText = [&](const std::u16string& text, THandlerWindow, IZXSettings* settings) {
        EXPECT_EQ(text, u"report");
        EXPECT_EQ(settings, nullptr);
        log.Calls.push_back("print");
        return false;
    };
    EXPECT_TRUE(e.SendReport(0));
    EXPECT_TRUE(e.SaveReport(0));
    EXPECT_FALSE(e.PrintReport(0));
    EXPECT_EQ(log.Actions, (std::vector<int>{ZorActionSend, ZorActionSent, ZorActionSave, ZorActionSaved,
                                             ZorActionPrint, ZorActionPrinted}));
    EXPECT_EQ(log.Calls, (std::vector<std::string>{"deliver", "store", "print"}));

    // A handler that takes the action stops it.
    log = {};
    log.HandleAction = ZorActionSend;
    EXPECT_TRUE(e.SendReport(0));
    EXPECT_EQ(log.Actions, (std::vector<int>{ZorActionSend}));
    EXPECT_TRUE(log.Calls.empty());
}

// The exception box stand-in: a message channel of the test's thread.
std::vector<uint32_t> BoxMessages;
void BoxHandler(THandlerWindow, uint32_t message, uintptr_t, intptr_t, intptr_t& result)
{
    BoxMessages.push_back(message);
    result = 1;
}

TEST(ZorException, ContinueRestartCloseAndTheBox)
{
    TGameFailure f;
    TIZXException& e = *f.Exception;
    TActionLog log;
    Record(log, e);
    BoxMessages.clear();
    ASSERT_EQ(RegisterWindowMsgHandler(BoxHandler, ZorMsgShowBugReport), ZorMsgShowBugReport);
    ASSERT_EQ(RegisterWindowMsgHandler(BoxHandler, ZorMsgCloseBox), ZorMsgCloseBox);
    const THandlerWindow box = HandlerWindowOfThread();
    RegisterExceptionBoxWindow(box);
    EXPECT_EQ(ExceptionBoxWindow(), box);

    EXPECT_TRUE(e.OpenReportView(0));
    EXPECT_TRUE(BoxMessages.empty()); // posted
    PumpHandlerMessages(0);
    EXPECT_EQ(BoxMessages, (std::vector<uint32_t>{ZorMsgShowBugReport}));

    // Continuing closes the box even when a handler takes the action.
    log.HandleAction = ZorActionContinue;
    EXPECT_TRUE(e.ContinueProgram(0));
    EXPECT_EQ(BoxMessages.back(), ZorMsgCloseBox);

    ZorSlots().FinishAutoActions = [&](TIZXException&, bool wait) {
        EXPECT_TRUE(wait);
        log.Calls.push_back("finish");
    };
    ZorSlots().RelaunchProgram = [&](const std::u16string& commandLine) {
        EXPECT_EQ(commandLine, u"");
        log.Calls.push_back("relaunch");
    };
    ZorSlots().TerminateProgram = [&] { log.Calls.push_back("terminate"); };
    BoxMessages.clear();
    EXPECT_TRUE(e.RestartProgram(0));
    EXPECT_TRUE(e.CloseProgram(box));
    EXPECT_EQ(BoxMessages, (std::vector<uint32_t>{ZorMsgCloseBox, ZorMsgCloseBox}));
    EXPECT_EQ(log.Calls, (std::vector<std::string>{"finish", "relaunch", "finish", "terminate"}));
    EXPECT_EQ(log.Actions, (std::vector<int>{ZorActionContinue, ZorActionRestart, ZorActionClose}));

    log.Calls.clear();
    log.HandleAction = ZorActionClose;
    EXPECT_TRUE(e.CloseProgram(0));
    EXPECT_TRUE(log.Calls.empty());

    UnregisterExceptionBoxWindow(box);
    EXPECT_EQ(ExceptionBoxWindow(), 0u);
    UnregisterWindowMsgHandler(BoxHandler, 0);
}

// ---------------------------------------------------------------------------
// The completion thread and the object's end

TEST(ZorException, TheObjectWaitsForItsCompletion)
{
    TGameFailure f;
    std::atomic<bool> sawAbort{false};
    std::atomic<uint32_t> tid{0};
    {
        auto e = TIZXException::Create(f.ModuleSettingsIntf);
        TIZXException* raw = e.get();
        ASSERT_TRUE(e->StartCompletionThread([raw, &sawAbort, &tid] {
            tid = OS_GetCurrentThreadId();
            while (!raw->Aborted())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            sawAbort = true;
        }));
        EXPECT_FALSE(e->StartCompletionThread([] {}));
        while (tid == 0)
            std::this_thread::yield();
        EXPECT_EQ(e->CompletionThreadId(), tid.load());
    }
    EXPECT_TRUE(sawAbort);

    // The completion may hold the last reference and end the object itself.
    std::atomic<bool> done{false};
    {
        auto e = TIZXException::Create(f.ModuleSettingsIntf);
        auto holder = std::make_shared<std::shared_ptr<TIZXException>>(e);
        e->StartCompletionThread([holder, &done] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            holder->reset();
            done = true;
        });
    }
    while (!done)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// ---------------------------------------------------------------------------
// Threads

TEST(ExceptionThreadTest, ClaimsAreWonOnce)
{
    TGameFailure f;
    std::atomic<int> autoSaves{0};
    std::atomic<int> notices{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            while (!go) {
            }
            if (f.Exception->ClaimAutoSave())
                ++autoSaves;
            if (f.Exception->ClaimCompletionNotice())
                ++notices;
        });
    go = true;
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(autoSaves, 1);
    EXPECT_EQ(notices, 1);
}

TEST(ExceptionThreadTest, ChangesFromManyThreads)
{
    TGameFailure f;
    TIZXException& e = *f.Exception;
    Notifications = 0;
    e.AddReportListener(NotificationCounter, false);
    const uint64_t before = e.ChangeStamp();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const auto header = e.HeaderFields();
            for (int i = 0; i < 50; ++i) {
                header->PutField(Utf8ToWide("f" + std::to_string(t) + "_" + std::to_string(i)), u"1");
                e.SetLimitDisAsm(i);
                e.WriteSettingInt("T" + std::to_string(t) + "_" + std::to_string(i), i);
                EXPECT_EQ(e.SmtpPort(), 25);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(e.ChangeStamp(), before + 200);
    EXPECT_EQ(Notifications, 201);
    EXPECT_EQ(e.HeaderFields()->FieldCount(), 200);
    e.RemoveReportListener(NotificationCounter);
}

} // namespace
