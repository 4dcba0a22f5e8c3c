// The error page: what it shows for the switches, and that mark-up in the
// report or the message stays text.
#include <gtest/gtest.h>

#include "tests/crashreport/ZorSettingsSupport.h"
#include "crashreport/core/zorExcept_ErrorPage.h"
#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/diagnostics/zorStrings.h"

namespace {

std::shared_ptr<TIZXSettings> PageSettings(TSettingsModule& module)
{
    return module.Settings();
}

std::string Page(const std::string& extra, const std::u16string& report)
{
    TSlotsGuard slots;
    LinkInspection();
    std::string resource, error;
    EXPECT_TRUE(CompileSettingsSources({GameSettingsSource(), extra}, resource, error)) << error;
    TSettingsModule module(resource);
    return WideToUtf8(BuildErrorPage(report, *PageSettings(module)));
}

const std::u16string Report = u"\r\nexception class  : EDemo\r\nexception message: a <b> & \"c\"\r\n\r\n"
                              u"main thread:\r\n</textarea><script>x()</script>\r\n";

} // namespace

TEST(ZorErrorPage, MarkupInTheReportAndTheMessageStaysText)
{
    const std::string page = Page("ExceptMsg text \"Failed: %exceptMsg%%LF%sorry\"\n", Report);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_NE(page.find("&lt;/textarea&gt;&lt;script&gt;x()&lt;/script&gt;"), std::string::npos) << page;
    EXPECT_NE(page.find("Failed: a &lt;b&gt; &amp; &quot;c&quot;<br>\r\nsorry</p>"), std::string::npos) << page;
    EXPECT_EQ(page.find("</textarea>"), page.rfind("</textarea>"));
}

TEST(ZorErrorPage, SwitchesOfTheButtonsAndTheReport)
{
    struct TCase {
        const char* Settings;
        bool Hidden;     // the report starts hidden
        bool ShowButton; // a button shows it
        const char* Continue;
    };
    const TCase cases[] = {
        {"AutoShowBugRep bool off\nShowBtnVis bool on\nContinueBtnTxt text \"go on\"\n", true, true, "go on"},
        {"AutoShowBugRep bool on\nShowBtnVis bool on\n", false, false, "continue application"},
        {"AutoShowBugRep bool off\nShowBtnVis bool off\nContinueBtnVis bool off\nContinueBtnTxt text \"x\"\n", true,
         false, "continue application"},
    };
    for (const TCase& c : cases) {
        const std::string page = Page(c.Settings, Report);
        EXPECT_EQ(page.find("visibility:hidden;\">") != std::string::npos, c.Hidden) << c.Settings;
        EXPECT_EQ(page.find("getElementById('bugReport')") != std::string::npos, c.ShowButton) << c.Settings;
        EXPECT_NE(page.find(std::string("&nbsp;") + c.Continue + "&nbsp;</button>"), std::string::npos) << c.Settings;
        EXPECT_EQ(page.rfind("<html><head><title>", 0), 0u);
        EXPECT_EQ(page.substr(page.size() - 14), "</body></html>");
    }
}
