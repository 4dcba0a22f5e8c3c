#include "crashreport/core/zorBugReportFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"
#include "tests/crashreport/ZorSettingsSupport.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TestSupport.h"

namespace {

struct TReportFacts {
    std::u16string Crc = u"$11111111, $22222222, $33333333";
    std::u16string Class = u"EAccessViolation";
    std::u16string Version = u"1.0.4";
    std::u16string ExecDate = u"2026-12-01 10:00";
    std::u16string Message = u"boom";
    size_t Padding = 0; // bytes of call stack
};

std::u16string MakeReport(const TReportFacts& f)
{
    std::u16string r = u"date/time          : 2026-12-10, 18:00:00, 1ms\r\n"
                       u"executable         : duskmarch\r\n"
                       u"exec. date/time    : " +
                       f.ExecDate + u"\r\n";
    if (!f.Version.empty())
        r += u"version            : " + f.Version + u"\r\n";
    r += u"callstack crc      : " + f.Crc + u"\r\n";
    if (!f.Class.empty())
        r += u"exception class    : " + f.Class + u"\r\n";
    r += u"exception message  : " + f.Message + u"\r\n\r\nmain thread ($1):\r\n" + std::u16string(f.Padding, u'x');
    return r;
}

size_t CountReports(const std::string& bytes)
{
    size_t n = bytes.compare(0, 9, "date/time") == 0 ? 1 : 0;
    for (size_t at = bytes.find("\r\ndate/time"); at != std::string::npos; at = bytes.find("\r\ndate/time", at + 1))
        ++n;
    return n;
}

TBugReportFileOptions Appending()
{
    TBugReportFileOptions o;
    o.Append = true;
    o.SizeLimit = 0;
    return o;
}

} // namespace

TEST(ZorBugReportFile, HeaderAndSectionHelpers)
{
    const std::u16string report = MakeReport({}) + u"\r\n\r\nerror details:\r\n  line one\r\n\r\nnext:\r\nx";
    EXPECT_EQ(ReportHeaderValue(report, u"executable"), u"duskmarch");
    EXPECT_EQ(ReportHeaderValue(report, u"exception"), u"EAccessViolation"); // a prefix matches
    EXPECT_EQ(ReportHeaderValue(report, u"count"), u"");
    EXPECT_EQ(ReportSectionText(report, u"error details"), u"\r\n  line one");
    EXPECT_EQ(ReportSectionText(report, u"missing"), u"");
    EXPECT_TRUE(SameReportHeaderValue(report, report, u"version"));
    EXPECT_TRUE(SameReportHeaderValue(report, report, u"absent"));

    std::u16string edited = report;
    InsertReportHeaderLine(edited, u"count", u"callstack crc", u"7");
    EXPECT_NE(edited.find(u"$33333333\r\ncount              : 7\r\nexception class"), std::u16string::npos);
    EXPECT_EQ(ReportHeaderValue(edited, u"count"), u"7");
    std::u16string unchanged = report;
    InsertReportHeaderLine(unchanged, u"count", u"no such label", u"7");
    EXPECT_EQ(unchanged, report);
}

TEST(ZorBugReportFile, TheSameFailureThreeTimesLeavesOneCountedReport)
{
    std::string file;
    for (int i = 0; i < 3; ++i) {
        TReportFacts facts;
        facts.Message = u"boom " + IntToDecTextW(i);
        std::u16string report = MakeReport(facts);
        file = MergeBugReport(file, report, Appending());
    }
    EXPECT_EQ(CountReports(file), 1u);
    EXPECT_NE(file.find("boom 2"), std::string::npos);
    EXPECT_NE(file.find("$33333333\r\ncount              : 3\r\n"), std::string::npos);
    EXPECT_EQ(file.substr(file.size() - 4), "\r\n\r\n");

    // Another failure stays beside it.
    TReportFacts other;
    other.Crc = u"$99999999, $22222222, $33333333";
    std::u16string report = MakeReport(other);
    file = MergeBugReport(file, report, Appending());
    EXPECT_EQ(CountReports(file), 2u);
}

TEST(ZorBugReportFile, DuplicateRules)
{
    struct TCase {
        const char* Name;
        TReportFacts Stored, New;
        int32_t ExceptDepth, FreezeDepth;
        bool NoDupFreezes;
        bool Merged;
    };
    TReportFacts otherSums;
    otherSums.Crc = u"$11111111, $44444444, $55555555";
    TReportFacts pending;
    pending.Crc = u"will be calculated soon";
    TReportFacts noVersion;
    noVersion.Version = u"";
    TReportFacts noVersionOtherDate = noVersion;
    noVersionOtherDate.ExecDate = u"2026-12-02 11:00";
    TReportFacts frozen;
    frozen.Class = u"";
    TReportFacts frozenOtherSums = frozen;
    frozenOtherSums.Crc = otherSums.Crc;
    TReportFacts otherClass;
    otherClass.Class = u"EAbort";
    const TCase cases[] = {
        {"depth 0 merges on the first checksum", {}, otherSums, 0, 2, true, true},
        {"depth 2 needs all three", {}, otherSums, 2, 2, true, false},
        {"a pending checksum never merges", pending, pending, 2, 2, true, false},
        {"no version: same dates merge", noVersion, noVersion, 1, 2, true, true},
        {"no version: other dates don't", noVersion, noVersionOtherDate, 1, 2, true, false},
        {"another class doesn't merge", {}, otherClass, 1, 2, true, false},
        {"a freeze follows the freeze depth", frozen, frozenOtherSums, 2, 0, true, true},
        {"a freeze follows the freeze switch", frozen, frozen, 2, 2, false, false},
    };
    for (const TCase& c : cases) {
        TBugReportFileOptions o = Appending();
        o.DupExceptDepth = c.ExceptDepth;
        o.DupFreezeDepth = c.FreezeDepth;
        o.NoDupFreezes = c.NoDupFreezes;
        std::u16string first = MakeReport(c.Stored), second = MakeReport(c.New);
        std::string file = MergeBugReport({}, first, o);
        file = MergeBugReport(file, second, o);
        EXPECT_EQ(CountReports(file), c.Merged ? 1u : 2u) << c.Name;
        EXPECT_EQ(ReportHeaderValue(second, u"count") == u"2", c.Merged) << c.Name;
    }
}

TEST(ZorBugReportFile, SizeLimit)
{
    TBugReportFileOptions o = Appending();
    o.SizeLimit = 300000;
    std::string file;
    for (int i = 0; file.size() < 310000; ++i) {
        TReportFacts f;
        f.Crc = u"$" + CardToHexTextW(0x10000000u + i, 8).substr(1) + u", $22222222, $33333333";
        f.Padding = 10000;
        std::u16string r = MakeReport(f);
        file += WideToUtf8(r + u"\r\n\r\n");
    }
    TReportFacts last;
    last.Crc = u"$aaaaaaaa, $22222222, $33333333";
    std::u16string report = MakeReport(last);
    const std::string reportBytes = WideToUtf8(report + u"\r\n\r\n");
    const std::string cut = MergeBugReport(file, report, o);
    EXPECT_LT(cut.size() - reportBytes.size(), 225000u);
    EXPECT_GT(cut.size() - reportBytes.size(), 200000u);
    EXPECT_EQ(cut.compare(0, 9, "date/time"), 0);

    TReportFacts huge;
    huge.Padding = 400000;
    std::u16string big = MakeReport(huge);
    const std::string single = WideToUtf8(big + u"\r\n\r\n");
    EXPECT_EQ(MergeBugReport(single, report, o).size(), single.size() + reportBytes.size());

    o.SizeLimit = 0;
    EXPECT_EQ(MergeBugReport(file, report, o).size(), file.size() + reportBytes.size());
    o.Append = false;
    EXPECT_EQ(MergeBugReport(file, report, o), reportBytes);
}

namespace {

struct TStoreFixture {
    TSlotsGuard Slots;
    TSettingsModule Module{GameSettingsResource()};
    std::shared_ptr<TIZXException> Exception = TIZXException::Create(ModuleSettings(Module.Handle));
    TTempFolder Temp;
    TEnvOverride Env;
    TStoreFixture()
    {
        Env.Set("XDG_DATA_HOME", Temp.Path() + "data");
        Exception->WriteSettingBool("AppendBugReps", true);
        Exception->WriteSettingText("BugRepFile", u"bugreport.txt");
    }
    std::string FallbackFile() const { return Temp.Path() + "data/test_crashreport/bugreport.txt"; }
};

std::string ReadBytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (!OS_ReadWholeFile(path, bytes))
        return {};
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(ZorBugReportFile, StoreAppendsAndFallsBack)
{
    TStoreFixture f;
    const std::string path = f.Temp.Path() + "deep/folder/bugreport.txt";
    const std::u16string report = MakeReport({});
    ASSERT_TRUE(StoreBugReport(Utf8ToWide(path), report, 0, *f.Exception, true));
    TReportFacts second;
    second.Crc = u"$77777777, $22222222, $33333333";
    ASSERT_TRUE(StoreBugReport(Utf8ToWide(path), MakeReport(second), 0, *f.Exception, true));
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(CountReports(bytes), 2u);
    EXPECT_EQ(bytes.compare(0, 9, "date/time"), 0); // no byte-order mark
    EXPECT_EQ(f.Exception->WasSaved(), false);      // a file was named: no automatic save

    // A folder that can't be made takes the user's folder.
    f.Temp.WriteFile("blocked", "a file, not a folder");
    EXPECT_TRUE(StoreBugReport(Utf8ToWide(f.Temp.Path() + "blocked/bugreport.txt"), report, 0, *f.Exception, true));
    EXPECT_EQ(CountReports(ReadBytes(f.FallbackFile())), 1u);

    // So does a file another writer holds.
    const int held = open(path.c_str(), O_RDWR);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(StoreBugReport(Utf8ToWide(path), MakeReport(second), 0, *f.Exception, true));
    close(held);
    EXPECT_EQ(CountReports(ReadBytes(path)), 2u);
    EXPECT_EQ(CountReports(ReadBytes(f.FallbackFile())), 2u);
}

TEST(ZorBugReportFile, AutomaticSaveMarksSavedOnlyWhenWritten)
{
    TStoreFixture f;
    EXPECT_FALSE(StoreBugReport(u"", u"", 0, *f.Exception, true));

    f.Exception->WriteSettingText("BugRepFile", u"/proc/no/such/folder/bugreport.txt");
    EXPECT_FALSE(StoreBugReport(u"", MakeReport({}), 0, *f.Exception, true));
    EXPECT_FALSE(f.Exception->WasSaved());

    f.Exception->WriteSettingText("BugRepFile", Utf8ToWide(f.Temp.Path() + "bugreport.txt"));
    EXPECT_TRUE(StoreBugReport(u"", MakeReport({}), 0, *f.Exception, true));
    EXPECT_TRUE(f.Exception->WasSaved());
    EXPECT_EQ(CountReports(ReadBytes(f.Temp.Path() + "bugreport.txt")), 1u);
}
