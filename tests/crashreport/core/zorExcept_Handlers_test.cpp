#include "crashreport/core/zorExcept_Handlers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/OS.h"
#include "tests/crashreport/ZorSettingsSupport.h"

namespace {

std::mutex LogLock;
std::vector<std::string> Log;
void Note(const std::string& text)
{
    std::lock_guard guard(LogLock);
    Log.push_back(text);
}

struct THandlersFixture {
    TSlotsGuard Slots;
    TSettingsModule Module{GameSettingsResource()};
    std::shared_ptr<TIZXException> Exception = TIZXException::Create(ModuleSettings(Module.Handle));
    THandlersFixture()
    {
        ClearHandlers();
        Log.clear();
        Exception->SetRunHandlers(true);
    }
    ~THandlersFixture() { ClearHandlers(); }
};

// Handlers named by their data: "m:<name>" for methods, procedures below.
// A name ending in "!" sets handled.
void Method(void* data, IZXException&, bool& handled)
{
    const std::string name = static_cast<const char*>(data);
    Note("m:" + name);
    if (name.back() == '!')
        handled = true;
}
void ActionMethod(void* data, uint8_t action, IZXException& e, bool& handled)
{
    Method(data, e, handled);
    Note("action " + std::to_string(action));
}
void ProcA(IZXException&, bool&)
{
    Note("p:a");
}
void ProcB(IZXException&, bool& handled)
{
    Note("p:b!");
    handled = true;
}
void ProcC(IZXException&, bool&)
{
    Note("p:c");
}
void ActionProc(uint8_t, IZXException&, bool&)
{
    Note("p:action");
}
void Throwing(IZXException&, bool&)
{
    throw std::runtime_error("handler fault");
}

} // namespace

TEST(ZorHandlers, StopRules)
{
    const struct {
        const char* Name;
        uint8_t Kind, Stage;
        std::vector<std::string> Calls;
        bool Handled;
    } cases[] = {
        {"stage 1 stops after the first handled", ZorHandlerException, 1, {"m:one!", "p:fault"}, true},
        {"stage 3 calls all, handled cleared", ZorHandlerException, 3, {"m:one!", "m:two"}, false},
        {"handled exceptions call all", ZorHandlerHandled, 3, {"m:one!", "m:two", "p:a", "p:b!", "p:c"}, false},
    };
    static char one[] = "one!", two[] = "two";
    for (const auto& c : cases) {
        THandlersFixture f;
        f.Exception->SetStage(c.Stage);
        if (c.Kind == ZorHandlerException) {
            AddExceptHandler(Method, one, ZorModeCallingThread, c.Stage);
            AddExceptHandler(Method, two, ZorModeCallingThread, c.Stage);
            AddExceptHandler(Method, two, ZorModeCallingThread, c.Stage + 1); // another stage
            AddExceptHandler(Throwing, ZorModeCallingThread, c.Stage);
        } else {
            AddHandledExceptHandler(Method, one, ZorModeCallingThread);
            AddHandledExceptHandler(Method, two, ZorModeCallingThread);
            AddHandledExceptHandler(Throwing, ZorModeCallingThread); // ignored
            AddHandledExceptHandler(ProcA, ZorModeCallingThread);
            AddHandledExceptHandler(ProcB, ZorModeCallingThread);
            AddHandledExceptHandler(ProcC, ZorModeCallingThread);
        }
        bool handled = false;
        NotifyHandlers(0, c.Kind, 0, handled, *f.Exception);
        std::vector<std::string> expected = c.Calls;
        if (expected.back() == "p:fault")
            expected.pop_back(); // the stage-1 stop never reaches the throwing procedure
        EXPECT_EQ(Log, expected) << c.Name;
        EXPECT_EQ(handled, c.Handled) << c.Name;
    }
}

TEST(ZorHandlers, ActionHandlersAndRunHandlersOff)
{
    THandlersFixture f;
    static char first[] = "first";
    AddActionHandler(ActionMethod, first, ZorModeCallingThread);
    AddActionHandler(ActionProc, ZorModeCallingThread);
    bool handled = false;
    NotifyHandlers(0, ZorHandlerAction, ZorActionContinue, handled, *f.Exception);
    EXPECT_EQ(Log, (std::vector<std::string>{"m:first", "action 11", "p:action"}));

    static char stop[] = "stop!";
    ClearHandlers();
    Log.clear();
    AddActionHandler(ActionMethod, stop, ZorModeCallingThread);
    AddActionHandler(ActionProc, ZorModeCallingThread);
    NotifyHandlers(0, ZorHandlerAction, ZorActionSave, handled, *f.Exception);
    EXPECT_EQ(Log, (std::vector<std::string>{"m:stop!", "action 1"}));
    EXPECT_TRUE(handled);

    Log.clear();
    handled = false;
    f.Exception->SetRunHandlers(false);
    NotifyHandlers(0, ZorHandlerAction, ZorActionSave, handled, *f.Exception);
    EXPECT_TRUE(Log.empty());
}

TEST(ZorHandlers, AssistantsOfSendSaveAndPrint)
{
    THandlersFixture f;
    AddActionHandler(ActionMethod, const_cast<char*>("h"), ZorModeCallingThread);
    f.Exception->WriteSettingText("SendAssis", u"SendAssistant");
    std::vector<std::u16string> shown;
    int32_t outcome = 1;
    SetAssistantRunner([&](THandlerWindow, TIZXException&, const std::u16string& name, TAssistantResults&) {
        shown.push_back(name);
        return outcome;
    });
    bool handled = false;
    NotifyHandlers(7, ZorHandlerAction, ZorActionSend, handled, *f.Exception);
    EXPECT_EQ(shown, std::vector<std::u16string>{u"SendAssistant"});
    EXPECT_EQ(Log, (std::vector<std::string>{"m:h", "action 0", "m:h", "action 3"}));

    // Cancelled: handled, and action 3 is not raised.
    Log.clear();
    outcome = 2;
    NotifyHandlers(7, ZorHandlerAction, ZorActionSend, handled, *f.Exception);
    EXPECT_TRUE(handled);
    EXPECT_EQ(Log, (std::vector<std::string>{"m:h", "action 0"}));

    // No assistant named: only action 0.
    Log.clear();
    handled = false;
    f.Exception->WriteSettingText("SendAssis", u"");
    NotifyHandlers(7, ZorHandlerAction, ZorActionSend, handled, *f.Exception);
    EXPECT_EQ(Log, (std::vector<std::string>{"m:h", "action 0"}));
    SetAssistantRunner(nullptr);
}

namespace {

std::atomic<uint32_t> RanOn{0};
void MainOnly(IZXException&, bool&)
{
    Note("main only");
    RanOn = OS_GetCurrentThreadId();
}
void MainOrCalling(IZXException&, bool&)
{
    Note("main or calling");
    RanOn = OS_GetCurrentThreadId();
}

} // namespace

TEST(ZorHandlersThreadTest, MainThreadCallsThroughTheChannel)
{
    THandlersFixture f;
    f.Exception->SetStage(2);
    AddExceptHandler(MainOnly, ZorModeMainThread, 2);
    std::atomic<bool> pumping{true}, quit{false}, open{false};
    std::atomic<uint32_t> mainId{0};
    std::thread mainThread([&] {
        mainId = OS_GetCurrentThreadId();
        OpenHandlerChannel();
        open = true;
        while (!quit) {
            if (pumping)
                ReporterPump();
            OS_SleepMs(5);
        }
        CloseHandlerChannel();
    });
    while (!open)
        OS_SleepMs(1);

    bool handled = false;
    NotifyHandlers(0, ZorHandlerException, 0, handled, *f.Exception);
    EXPECT_EQ(Log, std::vector<std::string>{"main only"});
    EXPECT_EQ(RanOn, mainId);

    // The main loop stops pumping: after the probe's time-out only the
    // handlers that may run elsewhere run, on the calling thread.
    pumping = false;
    Log.clear();
    AddExceptHandler(MainOrCalling, ZorModeMainOrCalling, 2);
    NotifyHandlers(0, ZorHandlerException, 0, handled, *f.Exception);
    EXPECT_EQ(Log, std::vector<std::string>{"main or calling"});
    EXPECT_EQ(RanOn, OS_GetCurrentThreadId());

    pumping = true;
    quit = true;
    mainThread.join();
}

TEST(ZorHandlers, StoreAssistantResults)
{
    THandlersFixture f;
    f.Exception->SetWantReport(true);
    f.Exception->SetDeferCompletion(true);
    using TItem = TAssistantItemResult;
    TAssistantResults results(2);
    results[0].Result = 1;
    results[0].Items = {
        {TItem::CheckBox, u"may contact", false, 1, u"", true},
        {TItem::CheckBox, u"is reproducible", false, 1, u"", false},
        {TItem::Edit, u"what happened", true, 9, u"line 1\r\nline 2", false},
        {TItem::Edit, u"email", true, 1, u"a@b.c", false},
        {TItem::Edit, u"empty", false, 1, u"", false},
        {TItem::Other, u"label", false, 1, u"text", false},
    };
    results[1].Result = 2; // cancelled form
    results[1].Items = {{TItem::Edit, u"ignored", false, 1, u"x", false}};
    StoreAssistantResults(results, *f.Exception);
    const auto header = f.Exception->HeaderFields();
    const auto sections = f.Exception->SectionFields();
    EXPECT_EQ(header->FieldContent(u"may contact"), u"yes");
    EXPECT_EQ(header->FieldContent(u"is reproducible"), u"no");
    EXPECT_EQ(sections->FieldContent(u"what happened"), u"line 1\r\nline 2");
    EXPECT_EQ(header->FieldContent(u"email"), u"a@b.c");
    EXPECT_EQ(header->IndexOfField(u"empty"), -1);
    EXPECT_EQ(header->IndexOfField(u"label"), -1);
    EXPECT_EQ(header->IndexOfField(u"ignored"), -1);
}
