#include "crashreport/core/zorExcept_ErrorPage.h"

#include "crashreport/core/zorBugReportFile.h"
#include "crashreport/core/zorExcept_Examine.h"

std::u16string HtmlEscape(const std::u16string& text)
{
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        switch (c) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'"':
            out += u"&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {

void ReplaceAll(std::u16string& text, const std::u16string& what, const std::u16string& with)
{
    for (size_t at = text.find(what); at != std::u16string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

} // namespace

std::u16string BuildErrorPage(const std::u16string& bugReport, IZXSettings& settings)
{
    const std::u16string crlf = u"\r\n";
    // A line break the message asks for survives the escaping as a mark the
    // escaping can't produce.
    const std::u16string breakMark = u"\x01";
    std::u16string message = settings.ReadSettingText("ExceptMsg");
    ReplaceAll(message, u"%LF%", breakMark);
    ExpandPlaceholders(settings.ModuleHandle(), message, ReportHeaderValue(bugReport, u"exception class"),
                       ReportSectionText(bugReport, u"error details"), bugReport,
                       ReportHeaderValue(bugReport, u"exception message"));
    message = HtmlEscape(message);
    // The settings may have turned "%LF%" into a line break already.
    ReplaceAll(message, crlf, breakMark);
    ReplaceAll(message, u"\n", breakMark);
    ReplaceAll(message, breakMark, u"<br>" + crlf);

    const bool autoShow = settings.ReadSettingBool("AutoShowBugRep");
    const bool showVisible = settings.ReadSettingBool("ShowBtnVis");
    std::u16string page;
    page += u"<html><head><title>" + HtmlEscape(settings.ReadSettingText("TitleBar")) + u"</title></head><body>" + crlf;
    page += u"<table border=\"0\" width=\"100%\" height=\"100%\">" + crlf;
    page += u"<tr><td colspan=4 style=\"height:2pt;\"></td></tr>" + crlf;
    page += u"<tr><td colspan=4 valign=\"top\">" + crlf;
    page += u"<p style=\"font-family:Tahoma,'MS Sans Serif';font-size:13pt;margin-left:4px;\">" + message +
            u"</p></td></tr>" + crlf;
    page += u"<tr><td colspan=4 style=\"height:8pt;\"></td></tr>" + crlf;
    page += u"<tr><td><button onClick=\"history.back();\" style=\"height:19.5pt;\">&nbsp;" +
            (settings.ReadSettingBool("ContinueBtnVis") ? HtmlEscape(settings.ReadSettingText("ContinueBtnTxt"))
                                                        : std::u16string(u"continue application")) +
            u"&nbsp;</button></td>" + crlf;
    page += u"<td><p>&nbsp;&nbsp;</p></td>" + crlf + u"<td>";
    if (autoShow || !showVisible)
        page += u"&nbsp;";
    else
        page += u"<button onClick=\"document.getElementById('bugReport').style.visibility='visible';this.style."
                u"visibility='hidden';\" style=\"height:19.5pt;\">&nbsp;" +
                HtmlEscape(settings.ReadSettingText("ShowBtnTxt")) + u"&nbsp;</button>";
    page += u"</td>" + crlf + u"<td width=\"100%\"></td></tr>" + crlf;
    page += u"<tr><td colspan=4 style=\"height:8pt;\"></td></tr>" + crlf;
    page += u"<tr><td colspan=4 height=\"100%\">" + crlf;
    page += u"<textarea id=\"bugReport\" readonly cols=\"80\" rows=\"20\" style=\"width:100%;height:100%;";
    if (!autoShow)
        page += u"visibility:hidden;";
    page += u"\">" + crlf + HtmlEscape(bugReport) + u"</textarea></td></tr></table></body></html>";
    return page;
}
