// zorExcept exception box: creation rules, countdown, close rules, keys and
// actions, the show-again loop, and the details model.
#include "crashreport/core/zorExcept_Box.h"

#include <algorithm>

#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/core/zorExcept_Restart.h"
#include "crashreport/diagnostics/zorStrings.h"

namespace {

bool Due(IZXException& exception, const char* key, int64_t now)
{
    return AutoActionDue(exception.ReadSettingInt(key), ExceptionTimeHistory, now);
}

// The raw text of a setting, its placeholders not yet filled.
std::u16string RawSetting(TIZXException& exception, std::string_view key)
{
    TSettingValue value;
    if (!exception.LookupProperty(key, true, value) || value.Kind != TSettingKind::Text)
        return u"";
    return value.Text;
}

std::u16string FilledSetting(TIZXException& exception, std::string_view key, const std::u16string& message)
{
    std::u16string text = RawSetting(exception, key);
    ExpandSettingText(exception.ModuleHandle(), text, exception.FailureClass(), u"%errorDetails%", message);
    return text;
}

} // namespace

int32_t ChooseFocusedButton(IZXException& exception, int64_t now)
{
    if (Due(exception, "AutoClose", now) && exception.ReadSettingBool("CloseBtnVis"))
        return BoxBtnClose;
    if (Due(exception, "AutoRestart", now) && exception.ReadSettingBool("RestartBtnVis"))
        return BoxBtnRestart;
    if (exception.ReadSettingBool("AutoContinue") && exception.ReadSettingBool("ContinueBtnVis") &&
        exception.Continuable())
        return BoxBtnContinue;
    return exception.ReadSettingInt("FocusedBtn");
}

int32_t ChooseCountdownButton(IZXException& exception, int64_t now)
{
    if (Due(exception, "AutoClose", now) && exception.ReadSettingBool("CloseBtnVis"))
        return BoxBtnClose;
    if (Due(exception, "AutoRestart", now) && exception.ReadSettingBool("RestartBtnVis"))
        return BoxBtnRestart;
    if (exception.ReadSettingBool("AutoContinue") && exception.Continuable())
        return BoxBtnContinue;
    return -1;
}

std::u16string BreakMessageLines(const std::u16string& message)
{
    std::u16string text = message;
    const int64_t length = static_cast<int64_t>(message.size());
    // From the end, so the positions still to look at keep their place.
    for (int64_t p = length - 10; p >= 20; --p) {
        const size_t at = static_cast<size_t>(p - 1); // p counts from 1
        if (at + 1 < text.size() && text[at] == u'.' && text[at + 1] == u' ')
            text.replace(at + 1, 1, u"\r\n");
    }
    return text;
}

int32_t CountdownPosition(uint64_t elapsedMs, int32_t delaySeconds, int32_t width, bool ugly)
{
    if (delaySeconds <= 0)
        return 0;
    const int64_t d = delaySeconds;
    const int64_t t = static_cast<int64_t>(elapsedMs);
    if (ugly)
        return static_cast<int32_t>((t * (width - 11) + d * 500) / (d * 1000) + 5);
    return static_cast<int32_t>((t * width + d * 500) / (d * 1000));
}

TExceptionBox::TExceptionBox(TIZXException& exception, int32_t variant, int64_t now)
    : Owner(exception), VariantValue(variant)
{
    if (variant == 0 && exception.ReadSettingBool("AutoShowBugRep"))
        exception.WriteSettingBool("ShowBtnVis", false);
    Focused = ChooseFocusedButton(exception, now);
    exception.WriteSettingInt("FocusedBtn", Focused);

    const std::u16string message = BreakMessageLines(exception.FailureText());
    const bool frozen = exception.FailureKind() == ZorFailureFrozen;
    if (variant == 0) {
        MessageText = FilledSetting(exception, frozen ? "FrozenMsg" : "ExceptMsg", message);
        CaptionText = FilledSetting(exception, "TitleBar", message);
    } else {
        MessageText = frozen ? FilledSetting(exception, "FrozenMsg", message) : message;
        std::u16string name = ModuleFileName(0);
        const size_t slash = name.rfind(u'/');
        if (slash != std::u16string::npos)
            name.erase(0, slash + 1);
        CaptionText = StripExtension(name);
    }

    if (variant == 0) {
        static const char* const visible[BoxBtnCount] = {"SendBtnVis",     "SaveBtnVis",    "PrintBtnVis", "ShowBtnVis",
                                                         "ContinueBtnVis", "RestartBtnVis", "CloseBtnVis"};
        static const char* const captions[BoxBtnCount] = {
            "SendBtnTxt", "SaveBtnTxt", "PrintBtnTxt", "ShowBtnTxt", "ContinueBtnTxt", "RestartBtnTxt", "CloseBtnTxt"};
        for (int32_t i = 0; i < BoxBtnCount; ++i) {
            Buttons[i].Visible = exception.ReadSettingBool(visible[i]);
            Buttons[i].Caption = exception.ReadSettingText(captions[i]);
        }
        TBoxButtonState& continueButton = Buttons[BoxBtnContinue];
        if (continueButton.Visible && !exception.Continuable() &&
            (Buttons[BoxBtnRestart].Visible || Buttons[BoxBtnClose].Visible)) {
            continueButton.Enabled = false;
            continueButton.CannotContinueImage = true;
        }
        Countdown = ChooseCountdownButton(exception, now);
        ReportShownValue = exception.ReadSettingBool("AutoShowBugRep");
    } else {
        Buttons[BoxBtnContinue] = {true, true, false, exception.ReadSettingText("OkBtnTxt")};
        if (variant == 2)
            Buttons[BoxBtnShow] = {true, true, false, exception.ReadSettingText("DetailsBtnTxt")};
    }
}

uint64_t TExceptionBox::CountdownMs() const
{
    const int32_t delay = Owner.ReadSettingInt("AutoDelay");
    return Countdown < 0 || delay <= 0 ? 0 : static_cast<uint64_t>(delay) * 1000;
}

uint64_t TExceptionBox::CountdownPressMs(int32_t width) const
{
    const uint64_t whole = CountdownMs();
    if (whole == 0)
        return 0;
    const int32_t delay = Owner.ReadSettingInt("AutoDelay");
    const bool ugly = Owner.ReadSettingBool("UglyBtns");
    const int32_t end = ugly ? width - 6 : width;
    // The position grows with the time: the first past the end by halving.
    uint64_t low = 0, high = 2 * whole + 1000;
    while (low < high) {
        const uint64_t middle = (low + high) / 2;
        if (CountdownPosition(middle, delay, width, ugly) > end)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

int32_t TExceptionBox::CountdownTick(uint64_t elapsedMs, int32_t width, bool& press)
{
    press = false;
    const int32_t delay = Owner.ReadSettingInt("AutoDelay");
    if (Countdown < 0 || delay <= 0)
        return LastPosition;
    const bool ugly = Owner.ReadSettingBool("UglyBtns");
    const int32_t position = CountdownPosition(elapsedMs, delay, width, ugly);
    LastPosition = position;
    if (position > (ugly ? width - 6 : width)) {
        press = true;
        Countdown = -1; // pressed once
    }
    return position;
}

int32_t TExceptionBox::CloseButton() const
{
    if (Focused == BoxBtnContinue || Focused == BoxBtnRestart || Focused == BoxBtnClose)
        return Focused;
    if (Buttons[BoxBtnContinue].Visible && Owner.Continuable())
        return BoxBtnContinue;
    if (Buttons[BoxBtnClose].Visible)
        return BoxBtnClose;
    if (Buttons[BoxBtnRestart].Visible)
        return BoxBtnRestart;
    return MessageVariant() ? BoxBtnClose : -1;
}

void TExceptionBox::Press(int32_t button, THandlerWindow window)
{
    StopCountdown();
    bool handled = false;
    switch (button) {
    case BoxBtnShow:
        if (ZorSlots().NotifyHandlers)
            ZorSlots().NotifyHandlers(window, ZorHandlerAction, ZorActionShowReport, handled, Owner);
        ShowAgainValue = true;
        Closed = true;
        break;
    case BoxBtnSend:
        Owner.SendReport(window);
        break;
    case BoxBtnSave:
        Owner.SaveReport(window);
        break;
    case BoxBtnPrint:
        Owner.PrintReport(window);
        break;
    case BoxBtnContinue:
        if (Owner.Continuable()) {
            Owner.ContinueProgram(window);
            Closed = true;
            break;
        }
        [[fallthrough]];
    case BoxBtnClose:
        // Returns only when a handler took the close over, or there is no end.
        Owner.CloseProgram(window);
        Closed = true;
        break;
    case BoxBtnRestart:
        Owner.RestartProgram(window);
        Closed = true;
        break;
    default:
        break;
    }
}

void TExceptionBox::Key(TBoxKey key, THandlerWindow window)
{
    switch (key) {
    case TBoxKey::Escape: {
        const int32_t button = CloseButton();
        if (button >= 0)
            Press(button, window);
        break;
    }
    case TBoxKey::F1: {
        bool handled = false;
        if (ZorSlots().NotifyHandlers)
            ZorSlots().NotifyHandlers(window, ZorHandlerAction, ZorActionHelp, handled, Owner);
        break;
    }
    case TBoxKey::CtrlC:
        CopyTextToClipboard(Owner.ReadSettingBool("AutoShowBugRep") ? Owner.ReportTextEx(true) : MessageText);
        break;
    }
}

void RunExceptionBox(TIZXException& exception, int32_t variant, bool /*beep*/, const TBoxPresenter& presenter)
{
    for (;;) {
        TExceptionBox box(exception, variant, NowInSeconds());
        while (!box.IsClosed()) {
            const int32_t result = presenter(box);
            if (result == BoxClosedOutside)
                box.Close();
            else if (result == BoxClosedByWindow)
                box.Key(TBoxKey::Escape, 0);
            else if (result >= 0 && result < BoxBtnCount && box.Button(result).Visible && box.Button(result).Enabled)
                box.Press(result, 0);
            else
                box.Close(); // a presenter that cannot show the box
        }
        if (variant == 3 || !box.ShowAgain())
            return;
        exception.WriteSettingBool("AutoShowBugRep", true);
        exception.WriteSettingBool("AutoContinue", false);
        exception.WriteSettingInt("AutoRestart", 0);
        exception.WriteSettingInt("AutoClose", 0);
        variant = 0;
    }
}

// ---------------------------------------------------------------------------
// The details model

std::vector<std::u16string> DetailsTabCaptions(const std::vector<std::u16string>& stackTitles,
                                               const std::vector<std::u16string>& sectionTitles, bool leakReport)
{
    std::vector<std::u16string> tabs;
    if (!leakReport)
        tabs.push_back(u"general");
    if (!stackTitles.empty()) {
        const bool plural = stackTitles.size() > 1 && stackTitles[1].find(u'$') != std::u16string::npos;
        tabs.push_back(plural ? u"call stacks" : u"call stack");
    }
    for (const std::u16string& title : sectionTitles) {
        if (title == u"cpu registers")
            tabs.push_back(u"cpu regs");
        else if (title == u"disassembling")
            tabs.push_back(u"disasm");
        else
            tabs.push_back(title);
    }
    return tabs;
}

std::u16string SectionColumns(const std::u16string& section, int32_t columnGaps)
{
    if (section == u"general")
        return u"description|value";
    if (section == u"call stack" || section == u"call stacks")
        return u"^address|^ rel.|module|unit| line| rel.|function";
    if (section == u"cpu registers" || section == u"cpu regs")
        return u"reg.|content";
    if (section == u"memory dump" || section == u"stack dump")
        return u"address|data - hexadecimal|data - chars";
    if (section == u"modules")
        return u"^handle|file name| version|path";
    if (section == u"processes") {
        switch (columnGaps) {
        case 3:
            return u"^id|file name|priority|path";
        case 4:
            return u"^id|file name|session|priority|path";
        case 5:
            return u"^id|file name|gdi objects|user objects|priority|path";
        case 6:
            return u"^id|file name|session|gdi objects|user objects|priority|path";
        default:
            return u"";
        }
    }
    if (section == u"disassembling" || section == u"disasm")
        return columnGaps >= 3 ? u"address|line|asm code|comments" : u"address|asm code|comments";
    return u"";
}

std::vector<TColumn> ParseColumns(const std::u16string& columns)
{
    std::vector<TColumn> result;
    const int32_t count = columns.empty() ? 0 : ItemCountW(columns, u'|');
    for (int32_t i = 1; i <= count; ++i) {
        TColumn column;
        column.Caption = ItemW(columns, i, u'|');
        if (!column.Caption.empty() && column.Caption[0] == u'^') {
            column.RightAligned = true;
            column.Caption.erase(0, 1);
        }
        if (!column.Caption.empty() && column.Caption[0] == u' ') {
            column.Indented = true;
            column.Caption.erase(0, 1);
        }
        result.push_back(std::move(column));
    }
    return result;
}

namespace {

std::u16string TrimBlanks(const std::u16string& text)
{
    const size_t first = text.find_first_not_of(u' ');
    if (first == std::u16string::npos)
        return u"";
    return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

} // namespace

bool AutoColumns(const std::vector<std::u16string>& lines, std::vector<std::u16string>& rows)
{
    rows.clear();
    if (lines.empty())
        return false;
    size_t longest = 0;
    for (size_t i = 1; i < lines.size(); ++i)
        if (lines[i].size() > lines[longest].size())
            longest = i;
    const std::u16string& model = lines[longest];
    std::vector<bool> boundary(model.size(), false);
    for (size_t p = 0; p < model.size(); ++p) {
        const char16_t c = model[p];
        const bool colon = c == u':' && (p + 1 >= model.size() || model[p + 1] != u' ');
        if (!colon && c != u' ' && c != u'=' && c != u'|')
            continue;
        bool same = true;
        int32_t wideGaps = 0;
        for (const std::u16string& line : lines) {
            if (line.size() <= p)
                continue;
            if (line[p] != c) {
                same = false;
                break;
            }
            if (c == u' ' && (p + 1 >= line.size() || line[p + 1] == u' '))
                ++wideGaps;
        }
        boundary[p] = same && (c != u' ' || wideGaps >= 2);
    }
    if (std::find(boundary.begin(), boundary.end(), true) == boundary.end())
        return false;
    for (const std::u16string& line : lines) {
        std::u16string row;
        std::u16string cell;
        bool lastWasBoundary = false;
        for (size_t p = 0; p < line.size(); ++p) {
            if (p < boundary.size() && boundary[p]) {
                // A run of boundaries is one gap.
                if (!lastWasBoundary) {
                    row += TrimBlanks(cell) + u"\t";
                    cell.clear();
                }
                lastWasBoundary = true;
                continue;
            }
            lastWasBoundary = false;
            cell.push_back(line[p]);
        }
        row += TrimBlanks(cell);
        rows.push_back(TrimBlanks(row));
    }
    return true;
}
