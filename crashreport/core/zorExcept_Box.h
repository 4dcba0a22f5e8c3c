// zorExcept exception box: what the box shows and what its buttons and keys
// do, apart from how it is drawn. A presenter (the SDL message box here, or a
// test's script) shows the box's state and reports the button pressed; the
// box turns that into the exception object's actions. The three variants are
// the full box, the message with OK and Details, and the message with OK.
//
// Also here: the details model of the report (tab captions, the columns of a
// section's text), which a presenter with tabs would show.
//
// Everything runs in the handler thread while the failing thread waits.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "crashreport/core/zorExcept_Exception.h"

enum TBoxButton : int32_t {
    BoxBtnSend = 0,
    BoxBtnSave = 1,
    BoxBtnPrint = 2,
    BoxBtnShow = 3,     // "show bug report", or Details in the message variants
    BoxBtnContinue = 4, // continue, or OK in the message variants
    BoxBtnRestart = 5,
    BoxBtnClose = 6,
    BoxBtnCount = 7,
};

// What a presenter reports back.
constexpr int32_t BoxClosedByWindow = -1; // the window's close (Escape, the frame's close)
constexpr int32_t BoxClosedOutside = -2;  // closed through the open-box registry: no action

struct TBoxButtonState {
    bool Visible = false;
    bool Enabled = true;
    bool CannotContinueImage = false;
    std::u16string Caption;
};

enum class TBoxKey : uint8_t { Escape, F1, CtrlC };

class TExceptionBox {
public:
    // Creation: the focused button (stored as the exception's FocusedBtn),
    // the message, the caption, the buttons and the countdown button.
    // variant: 0 the full box, 2 message with OK and Details, 3 message with OK.
    TExceptionBox(TIZXException& exception, int32_t variant, int64_t nowSeconds);

    TIZXException& Exception() { return Owner; }
    int32_t Variant() const { return VariantValue; }
    bool MessageVariant() const { return VariantValue != 0; }
    const std::u16string& Caption() const { return CaptionText; }
    const std::u16string& Message() const { return MessageText; }
    const TBoxButtonState& Button(int32_t index) const { return Buttons[index]; }
    int32_t FocusedButton() const { return Focused; }

    // The countdown: the button that counts down (-1: none), the progress
    // position of a tick and the press when it passes the button's end.
    int32_t CountdownButton() const { return Countdown; }
    // Milliseconds of the whole countdown (0: none).
    uint64_t CountdownMs() const;
    // The first tick, in ms, that presses the button of client width w (0:
    // no countdown).
    uint64_t CountdownPressMs(int32_t width) const;
    // A tick t ms after the start on a button of client width w: the new
    // position; press is set once, on the first tick past the end.
    int32_t CountdownTick(uint64_t elapsedMs, int32_t width, bool& press);
    // Moving the focus or pressing a button stops it for good.
    void StopCountdown() { Countdown = -1; }

    // The button whose action the window's close takes (-1: none).
    int32_t CloseButton() const;
    // A button pressed: its action through the exception object. The box
    // closes on continue, restart, close and show (show asks to be shown
    // again with the report).
    void Press(int32_t button, THandlerWindow window);
    // A key: Escape closes by the close rule, F1 asks the handlers for help
    // (action 10), Ctrl+C copies the report or the message.
    void Key(TBoxKey key, THandlerWindow window);
    // The box goes (the close message of the exception object, or the
    // registry's close).
    void Close() { Closed = true; }
    bool IsClosed() const { return Closed; }
    bool ShowAgain() const { return ShowAgainValue; }
    // The full box starts with the report shown; a presenter without tabs
    // opens the report once per box.
    bool ReportShown() const { return ReportShownValue; }
    bool ReportViewOpened = false;

private:
    TIZXException& Owner;
    int32_t VariantValue;
    int32_t Focused = 0;
    std::u16string CaptionText;
    std::u16string MessageText;
    TBoxButtonState Buttons[BoxBtnCount];
    int32_t Countdown = -1;
    int32_t LastPosition = -1;
    bool Closed = false;
    bool ShowAgainValue = false;
    bool ReportShownValue = false;
};

// The focused button of the full box: close, restart or continue when their
// automatic action is due, else FocusedBtn as set.
int32_t ChooseFocusedButton(IZXException& exception, int64_t nowSeconds);
// The countdown button of the full box (-1: none).
int32_t ChooseCountdownButton(IZXException& exception, int64_t nowSeconds);
// Every ". " whose full stop stands (from 1) at 20 .. length - 10 gets the
// blank replaced by CR LF.
std::u16string BreakMessageLines(const std::u16string& message);
// The progress position of the countdown (d seconds, t ms, width w).
int32_t CountdownPosition(uint64_t elapsedMs, int32_t delaySeconds, int32_t width, bool uglyButtons);

// Shows the box until it closes: the presenter shows the state and returns
// the button pressed or how it closed. After a show, the full box is run
// again with the report shown and the automatic actions off.
using TBoxPresenter = std::function<int32_t(TExceptionBox& box)>;
void RunExceptionBox(TIZXException& exception, int32_t variant, bool beep, const TBoxPresenter& presenter);

// ---------------------------------------------------------------------------
// Presenting

// What a presenter reports when it could not show the box at all.
constexpr int32_t BoxPresenterFailed = -3;

// Opens a file in the desktop's program for it (xdg-open): the started
// process, or -1. Tests replace it.
using TShellOpenHook = std::function<int(const std::string& path)>;
TShellOpenHook& ShellOpenHook();
int ShellOpen(const std::string& path);

// The SDL presenter: the box as an SDL message box without a parent window,
// shown from the handler thread. The countdown presses its button by closing
// the box after the delay; the open-box registry closes it too, and so does
// closeWanted when it holds once the box is registered.
int32_t ShowBoxWithSdl(TExceptionBox& box, const std::function<bool()>& closeWanted = nullptr);
// The reporter's presenter (the ShowForException slot): the console text in
// a console program; otherwise by BoxChoice the exception box (0, 2, 3), the
// named assistant (1, else the full box) or nothing (4). Without a box that
// can be shown it falls back to the console text.
bool PresentException(TIZXException& exception);
// Fills the presenter slot.
void LinkExceptionBox();

// ---------------------------------------------------------------------------
// The details model

// The tab captions: "general" (not for a leak report), "call stack" or
// "call stacks", then the sections' titles ("cpu regs", "disasm" short).
std::vector<std::u16string> DetailsTabCaptions(const std::vector<std::u16string>& stackTitles,
                                               const std::vector<std::u16string>& sectionTitles, bool leakReport);
// The columns of a section ("a|^b| c": "^" right-aligned, " " indented);
// empty for a section whose columns are found in its text.
std::u16string SectionColumns(const std::u16string& section, int32_t columnGaps = 0);

struct TColumn {
    std::u16string Caption;
    bool RightAligned = false;
    bool Indented = false;
};
std::vector<TColumn> ParseColumns(const std::u16string& columns);

// Automatic columns: the boundary positions found in the lines, and the rows
// with each boundary turned into a tab and every cell trimmed. False when no
// boundary was found.
bool AutoColumns(const std::vector<std::u16string>& lines, std::vector<std::u16string>& rows);
