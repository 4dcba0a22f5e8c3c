#include "crashreport/core/zorExcept_Box.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "crashreport/core/zorExcept_Presenters.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "tests/crashreport/ZorSettingsSupport.h"

namespace {

// A failure with the game's settings; the action handlers are recorded.
struct TBoxFailure {
    TBoxFailure()
    {
        Exception->SetFailure(ZorFailureException, std::make_exception_ptr(std::runtime_error("x")), 0, 0);
        ZorSlots().NotifyHandlers = [this](THandlerWindow, uint8_t kind, uint8_t action, bool&, TIZXException&) {
            if (kind == ZorHandlerAction)
                Actions.push_back(action);
        };
        ZorSlots().TerminateProgram = [this] { ++Terminated; };
    }
    TSlotsGuard Slots;
    TSettingsModule Module{GameSettingsResource()};
    std::shared_ptr<TIZXException> Exception = TIZXException::Create(ModuleSettings(Module.Handle));
    std::vector<uint8_t> Actions;
    int Terminated = 0;
};

} // namespace

TEST(ZorExceptBox, FocusedButtonFollowsTheDueAutomaticAction)
{
    struct TCase {
        const char* Name;
        int32_t AutoClose, AutoRestart;
        bool AutoContinue, Continuable, CloseVisible, RestartVisible;
        int32_t FocusedBtn, Expected;
    };
    const TCase cases[] = {
        {"close due", 1, 1, true, true, true, true, 0, BoxBtnClose},
        {"close due but hidden", 1, 1, true, true, false, true, 0, BoxBtnRestart},
        {"restart due", 0, 1, true, true, true, true, 0, BoxBtnRestart},
        {"restart due but hidden", 0, 1, true, true, true, false, 0, BoxBtnContinue},
        {"continue", 0, 0, true, true, true, true, 0, BoxBtnContinue},
        {"continue, can't continue", 0, 0, true, false, true, true, 2, 2},
        {"nothing due", 0, 0, false, true, true, true, 3, 3},
    };
    for (const TCase& c : cases) {
        TBoxFailure f;
        TIZXException& e = *f.Exception;
        e.WriteSettingInt("AutoClose", c.AutoClose);
        e.WriteSettingInt("AutoRestart", c.AutoRestart);
        e.WriteSettingBool("AutoContinue", c.AutoContinue);
        e.WriteSettingBool("CloseBtnVis", c.CloseVisible);
        e.WriteSettingBool("RestartBtnVis", c.RestartVisible);
        e.WriteSettingInt("FocusedBtn", c.FocusedBtn);
        e.SetContinuable(c.Continuable);
        TExceptionBox box(e, 0, 0);
        EXPECT_EQ(box.FocusedButton(), c.Expected) << c.Name;
        EXPECT_EQ(e.ReadSettingInt("FocusedBtn"), c.Expected) << c.Name;
    }
}

TEST(ZorExceptBox, MessageBreaksOnlyInsideTheMiddle)
{
    struct TCase {
        std::u16string In, Out;
    };
    const TCase cases[] = {
        // Full stop at 19: too early.
        {u"abcdefghijklmnopqr. second sentence here", u"abcdefghijklmnopqr. second sentence here"},
        // At 20 and 41 characters long: broken.
        {u"abcdefghijklmnopqrs. second sentence here", u"abcdefghijklmnopqrs.\r\nsecond sentence here"},
        // At length - 10: broken; at length - 9: kept.
        {u"abcdefghijklmnopqrstu. 123456789", u"abcdefghijklmnopqrstu.\r\n123456789"},
        {u"abcdefghijklmnopqrstu. 12345678", u"abcdefghijklmnopqrstu. 12345678"},
        {u"Short. Text.", u"Short. Text."},
        {u"", u""},
        {u"abcdefghijklmnopqrs. two. three sentences in all",
         u"abcdefghijklmnopqrs.\r\ntwo.\r\nthree sentences in all"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(BreakMessageLines(c.In), c.Out) << WideToUtf8(c.In);
}

TEST(ZorExceptBox, CountdownFillsTheButtonAndPressesOnce)
{
    EXPECT_EQ(CountdownPosition(0, 10, 100, false), 0);
    EXPECT_EQ(CountdownPosition(5000, 10, 100, false), 50);
    EXPECT_EQ(CountdownPosition(10000, 10, 100, false), 100);
    EXPECT_EQ(CountdownPosition(0, 10, 100, true), 5);
    EXPECT_EQ(CountdownPosition(10000, 10, 100, true), 94);
    EXPECT_EQ(CountdownPosition(5000, 0, 100, false), 0);

    TBoxFailure f;
    f.Exception->WriteSettingInt("AutoClose", 1);
    f.Exception->WriteSettingInt("AutoDelay", 10);
    TExceptionBox box(*f.Exception, 0, 0);
    ASSERT_EQ(box.CountdownButton(), BoxBtnClose);
    EXPECT_EQ(box.CountdownMs(), 10000u);
    EXPECT_EQ(box.CountdownPressMs(100), 10050u);
    f.Exception->WriteSettingInt("AutoDelay", 60); // the game's delay
    const uint64_t pressAt = box.CountdownPressMs(100);
    for (uint64_t t : {pressAt - 1, pressAt}) {
        TExceptionBox probe(*f.Exception, 0, 0);
        bool pressed = false;
        probe.CountdownTick(t, 100, pressed);
        EXPECT_EQ(pressed, t == pressAt) << t;
    }
    f.Exception->WriteSettingInt("AutoDelay", 10);
    bool press = true;
    EXPECT_EQ(box.CountdownTick(5000, 100, press), 50);
    EXPECT_FALSE(press);
    EXPECT_EQ(box.CountdownTick(10000, 100, press), 100);
    EXPECT_FALSE(press);
    box.CountdownTick(10100, 100, press);
    EXPECT_TRUE(press);
    box.CountdownTick(10200, 100, press);
    EXPECT_FALSE(press) << "pressed a second time";
    EXPECT_EQ(box.CountdownButton(), -1);

    // No delay, or nothing due: no countdown.
    f.Exception->WriteSettingInt("AutoDelay", 0);
    TExceptionBox still(*f.Exception, 0, 0);
    EXPECT_EQ(still.CountdownMs(), 0u);
    f.Exception->WriteSettingInt("AutoClose", 0);
    EXPECT_EQ(TExceptionBox(*f.Exception, 0, 0).CountdownButton(), -1);
}

TEST(ZorExceptBox, ButtonsCaptionsAndTheCloseRule)
{
    TBoxFailure f;
    TIZXException& e = *f.Exception;
    {
        TExceptionBox box(e, 0, 0);
        EXPECT_EQ(box.Message(), u"An error occurred in the application.");
        EXPECT_TRUE(box.Button(BoxBtnSend).Visible);
        EXPECT_FALSE(box.Button(BoxBtnSave).Visible);
        EXPECT_EQ(box.Button(BoxBtnClose).Caption, u"close application");
        EXPECT_TRUE(box.Button(BoxBtnContinue).Enabled);
        EXPECT_EQ(box.CloseButton(), BoxBtnContinue);
    }
    e.SetContinuable(false);
    {
        TExceptionBox box(e, 0, 0);
        EXPECT_FALSE(box.Button(BoxBtnContinue).Enabled);
        EXPECT_TRUE(box.Button(BoxBtnContinue).CannotContinueImage);
        EXPECT_EQ(box.CloseButton(), BoxBtnClose);
        box.Key(TBoxKey::Escape, 0);
        EXPECT_TRUE(box.IsClosed());
        EXPECT_EQ(f.Actions, std::vector<uint8_t>{ZorActionClose});
        EXPECT_EQ(f.Terminated, 1);
    }
    // Without close and restart buttons the disabled continue stays usable.
    e.WriteSettingBool("CloseBtnVis", false);
    e.WriteSettingBool("RestartBtnVis", false);
    EXPECT_TRUE(TExceptionBox(e, 0, 0).Button(BoxBtnContinue).Enabled);
    // The message variants: OK in the continue place, Details in variant 2.
    TExceptionBox ok(e, 3, 0);
    EXPECT_EQ(ok.Message(), BreakMessageLines(e.FailureText()));
    EXPECT_NE(ok.Caption(), u"");
    EXPECT_EQ(ok.Button(BoxBtnContinue).Caption, u"&OK");
    EXPECT_FALSE(ok.Button(BoxBtnShow).Visible);
    EXPECT_EQ(TExceptionBox(e, 2, 0).Button(BoxBtnShow).Caption, u"&Details");
}

TEST(ZorExceptBox, KeysAndButtonsTakeTheirActions)
{
    TBoxFailure f;
    TExceptionBox box(*f.Exception, 0, 0);
    box.Key(TBoxKey::F1, 0);
    box.Press(BoxBtnSend, 0);
    EXPECT_FALSE(box.IsClosed()) << "sending keeps the box";
    box.Key(TBoxKey::Escape, 0); // continuable: continue
    EXPECT_TRUE(box.IsClosed());
    EXPECT_FALSE(box.ShowAgain());
    EXPECT_EQ(f.Actions, (std::vector<uint8_t>{ZorActionHelp, ZorActionContinue}))
        << "send without a delivery slot does nothing";
}

TEST(ZorExceptBox, ShowingTheReportRunsTheFullBoxAgainWithoutAutomaticActions)
{
    TBoxFailure f;
    TIZXException& e = *f.Exception;
    e.WriteSettingInt("AutoClose", 1);
    std::vector<std::pair<int32_t, int32_t>> shown; // variant, countdown button
    std::vector<bool> reportShown;
    RunExceptionBox(e, 2, true, [&](TExceptionBox& box) {
        shown.push_back({box.Variant(), box.CountdownButton()});
        reportShown.push_back(box.ReportShown());
        return shown.size() == 1 ? BoxBtnShow : BoxClosedOutside;
    });
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].first, 2);
    EXPECT_EQ(shown[1], (std::pair<int32_t, int32_t>{0, -1}));
    EXPECT_EQ(reportShown, (std::vector<bool>{false, true}));
    EXPECT_TRUE(e.ReadSettingBool("AutoShowBugRep"));
    EXPECT_EQ(e.ReadSettingInt("AutoClose"), 0);
    EXPECT_FALSE(e.ReadSettingBool("ShowBtnVis"));
    // Closed from outside: no action but the show's.
    EXPECT_EQ(f.Actions, std::vector<uint8_t>{ZorActionShowReport});

    // OK only: never shown again; a presenter that failed closes the box.
    int runs = 0;
    RunExceptionBox(e, 3, false, [&](TExceptionBox&) {
        ++runs;
        return BoxPresenterFailed;
    });
    EXPECT_EQ(runs, 1);
}

TEST(ZorExceptBox, OpenBoxRegistry)
{
    TBoxFailure f;
    TBoxFailure g;
    EXPECT_FALSE(IsBoxOpen());
    EXPECT_FALSE(CloseOpenBox());
    int closedF = 0, closedG = 0;
    RegisterOpenBox(f.Exception.get(), [&] { ++closedF; });
    RegisterOpenBox(g.Exception.get(), [&] { ++closedG; });
    EXPECT_TRUE(IsBoxOpen());
    EXPECT_TRUE(IsBoxOpen(f.Exception.get()));
    EXPECT_TRUE(CloseOpenBox(f.Exception.get()));
    EXPECT_EQ(closedF, 1);
    EXPECT_TRUE(CloseOpenBox()); // the newest
    EXPECT_EQ(closedG, 1);
    UnregisterOpenBox(g.Exception.get());
    UnregisterOpenBox(f.Exception.get());
    EXPECT_FALSE(IsBoxOpen(f.Exception.get()));
    EXPECT_FALSE(CloseOpenBox());
}

TEST(ZorExceptBox, DetailsTabsAndColumns)
{
    EXPECT_EQ(DetailsTabCaptions({u"main thread ($1)", u"thread $2"}, {u"cpu registers", u"modules", u"disassembling"},
                                 false),
              (std::vector<std::u16string>{u"general", u"call stacks", u"cpu regs", u"modules", u"disasm"}));
    EXPECT_EQ(DetailsTabCaptions({u"main thread", u"worker"}, {}, false),
              (std::vector<std::u16string>{u"general", u"call stack"}));
    EXPECT_EQ(DetailsTabCaptions({u"a"}, {u"memory dump"}, true),
              (std::vector<std::u16string>{u"call stack", u"memory dump"}));

    const std::vector<TColumn> columns = ParseColumns(SectionColumns(u"modules"));
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_TRUE(columns[0].RightAligned);
    EXPECT_EQ(columns[0].Caption, u"handle");
    EXPECT_TRUE(columns[2].Indented);
    EXPECT_EQ(columns[2].Caption, u"version");
    EXPECT_EQ(SectionColumns(u"processes", 5), u"^id|file name|gdi objects|user objects|priority|path");
    EXPECT_EQ(SectionColumns(u"anything else"), u"");

    // A column of ":" and a column of double blanks.
    std::vector<std::u16string> rows;
    ASSERT_TRUE(AutoColumns({u"eax:00000001  flag one", u"ebx:00000002  other", u"ecx:00000003  x"}, rows));
    EXPECT_EQ(rows,
              (std::vector<std::u16string>{u"eax\t00000001\tflag one", u"ebx\t00000002\tother", u"ecx\t00000003\tx"}));
    // Single blanks between words are no columns.
    EXPECT_FALSE(AutoColumns({u"one two", u"three four"}, rows));
}
