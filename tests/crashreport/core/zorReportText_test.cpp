#include "crashreport/core/zorReportText.h"

#include <gtest/gtest.h>

#include <cstring>

#include "crashreport/core/zorBugReportFile.h"
#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/diagnostics/zorLinkDisAsm.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorZip.h"
#include "tests/crashreport/ZorSettingsSupport.h"
#include "tests/fakes/FakeReportSources.h"
#include "tests/support/TestSupport.h"

namespace {

// A failure of thread 2 in a process of three threads, main thread 1.
struct TReportFixture {
    TSlotsGuard Slots;
    TFakeReportSources Sources;
    TSettingsModule Module{GameSettingsResource()};
    std::shared_ptr<TIZXException> Exception = TIZXException::Create(ModuleSettings(Module.Handle));

    TReportFixture()
    {
        LinkInspection();
        LinkReportText();
        Sources.Threads->Add(1, u"main thread ($1)");
        Sources.Threads->Add(2, u"worker ($2)");
        Sources.Threads->Add(3, u""); // one of the reporter's own
        Sources.Stacks->ByStackStart[0x1000] = {"0000000000402000 duskmarch loop\r\n   \r\n0000000000402100 x",
                                                0x33333333, 0x44444444, true, 0};
        Exception->SetWantReport(true);
        Exception->SetDeferCompletion(true);
        Exception->WriteSettingBool("ListThreads", true);
        Exception->WriteSettingBool("ShowDisAsm", false);
        Exception->SetFailure(ZorFailureException, std::make_exception_ptr(EAccessViolation("read of address 0")),
                              0x401234, 2);
    }
};

std::u16string LineOf(const std::u16string& text, const std::u16string& label)
{
    const size_t at = text.find(u"\r\n" + label);
    if (at == std::u16string::npos)
        return {};
    const size_t end = text.find(u"\r\n", at + 2);
    return text.substr(at + 2, end == std::u16string::npos ? std::u16string::npos : end - at - 2);
}

} // namespace

TEST(ZorReportText, ComposesBeforeAndAfterCompletion)
{
    TReportFixture f;
    const std::u16string early = f.Exception->ReportTextEx(false);
    EXPECT_EQ(ReportHeaderValue(early, u"callstack crc"), u"will be calculated soon");
    EXPECT_NE(early.find(u">> stack will be calculated soon"), std::u16string::npos);

    const std::u16string text = f.Exception->ReportTextEx(true);
    EXPECT_EQ(text.compare(0, 9, u"date/time"), 0);
    // The main thread's stack has line information: it adds to the third.
    const uint32_t second = 0x44444444;
    const uint32_t third = ZipCrc32Update(0x22222222, &second, 4);
    EXPECT_EQ(ReportHeaderValue(text, u"callstack crc"),
              u"$11111111, $22222222, $" + CardToHexTextW(third, 8).substr(1));
    EXPECT_EQ(ReportHeaderValue(text, u"callstack crc").size(), 31u);
    EXPECT_EQ(ReportHeaderValue(text, u"exception class"), u"EAccessViolation");
    EXPECT_EQ(ReportHeaderValue(text, u"exception message"), u"read of address 0.");
    EXPECT_EQ(ReportHeaderValue(text, u"zorExcept version"), u"4.0.9");
    EXPECT_TRUE(f.Exception->ReportComplete());

    // Every header line has its ": " in one column.
    const std::u16string header = text.substr(0, text.find(u"\r\n\r\n"));
    size_t column = std::u16string::npos;
    for (size_t at = 0; at < header.size();) {
        size_t end = header.find(u"\r\n", at);
        if (end == std::u16string::npos)
            end = header.size();
        const size_t colon = header.find(u": ", at);
        if (column == std::u16string::npos)
            column = colon - at;
        EXPECT_EQ(colon - at, column) << WideToUtf8(header.substr(at, end - at));
        at = end + 2;
    }

    // Thread sections: the failing thread first, then main; the reporter's
    // own thread is not listed; a blank line reads ".".
    const size_t worker = text.find(u"\r\n\r\nworker ($2):\r\n");
    const size_t main = text.find(u"\r\n\r\nmain thread ($1):\r\n0000000000402000 duskmarch loop\r\n.\r\n");
    EXPECT_NE(worker, std::u16string::npos);
    EXPECT_NE(main, std::u16string::npos);
    EXPECT_LT(worker, main);
    EXPECT_EQ(text.find(u"::"), std::u16string::npos);
    EXPECT_EQ(f.Sources.Stacks->Calls, 2);
}

TEST(ZorReportText, HeaderLinesThatDependOnTheFailure)
{
    {
        TReportFixture f;
        ReportSystemFacts().CpuName = [] { return u"Fast  CPU"; };
        ReportSystemFacts().CpuCount = [] { return 4; };
        f.Exception->SetFailure(ZorFailureException, std::make_exception_ptr(Exception("Exception")), 1, 2);
        const std::u16string text = f.Exception->ReportTextEx(true);
        ReportSystemFacts() = {};
        EXPECT_EQ(ReportHeaderValue(text, u"processors"), u"4 x Fast CPU");
        EXPECT_EQ(LineOf(text, u"wts client name"), u"");
        EXPECT_EQ(LineOf(text, u"exception message"), u"");
        EXPECT_EQ(ReportHeaderValue(text, u"exception class"), u"Exception");
    }
    {
        TReportFixture f;
        ReportSystemFacts().CpuName = [] { return u"Slow CPU"; };
        ReportSystemFacts().CpuCount = [] { return 1; };
        f.Exception->SetFailure(ZorFailureFrozen, nullptr, 0, 1);
        const std::u16string text = f.Exception->ReportTextEx(true);
        ReportSystemFacts() = {};
        EXPECT_EQ(ReportHeaderValue(text, u"processor "), u"Slow CPU");
        EXPECT_EQ(LineOf(text, u"exception class"), u"");
        EXPECT_EQ(ReportHeaderValue(text, u"exception message"), f.Exception->ReadSettingText("FrozenMsg"));
    }
}

TEST(ZorReportText, ListThreadsOffListsOnlyTheFailingThread)
{
    TReportFixture f;
    f.Exception->WriteSettingBool("ListThreads", false);
    const std::u16string text = f.Exception->ReportTextEx(true);
    EXPECT_NE(text.find(u"worker ($2):"), std::u16string::npos);
    EXPECT_EQ(text.find(u"main thread"), std::u16string::npos);
    EXPECT_EQ(text.find(u"will be calculated soon"), std::u16string::npos);
}

TEST(ZorReportText, TimeSpanText)
{
    const struct {
        int64_t Seconds;
        std::u16string Text;
    } cases[] = {{183600, u"2 days 3 hours"}, {90061, u"1 day 1 hour"}, {3900, u"1 hour 5 minutes"},
                 {59, u"59 seconds"},         {7, u"7 seconds"},        {-5, u""}};
    for (const auto& c : cases)
        EXPECT_EQ(TrimCopyW(TimeSpanText(c.Seconds)), c.Text) << c.Seconds;
}

TEST(ZorReportText, RegistersAndStackDump)
{
    TZorRegisters r;
    r.Rax = 1;
    r.Rsp = 0x7ffc12345678;
    r.Rip = 0x401234;
    r.EFlags = 0x246;
    const std::u16string regs = GetCpuRegisters(r);
    EXPECT_EQ(regs.substr(0, 48), u"rax = 0000000000000001\r\nrbx = 0000000000000000\r\n");
    EXPECT_NE(regs.find(u"\r\nrsp = 00007ffc12345678\r\n"), std::u16string::npos);
    EXPECT_NE(regs.find(u"\r\nr15 = 0000000000000000\r\nrip = 0000000000401234\r\neflags = 0000000000000246"),
              std::u16string::npos);
    EXPECT_EQ(regs.back(), u'6');

    alignas(16) uint8_t buffer[64];
    for (int i = 0; i < 64; ++i)
        buffer[i] = static_cast<uint8_t>('A' + i % 26);
    buffer[1] = 0;
    const uintptr_t start = reinterpret_cast<uintptr_t>(buffer);
    const std::u16string dump = GetStackDump(start, start + 20);
    const size_t lf = dump.find(u"\r\n");
    ASSERT_NE(lf, std::u16string::npos);
    const std::u16string first = dump.substr(0, lf), second = dump.substr(lf + 2);
    EXPECT_EQ(first, AddressTextW(start) + u"  41 00 43 44 45 46 47 48 - 49 4a 4b 4c 4d 4e 4f 50  A.CDEFGHIJKLMNOP");
    EXPECT_EQ(second, AddressTextW(start + 16) + u"  51 52 53 54 " + std::u16string(4 * 3, u' ') + u"  " +
                          std::u16string(8 * 3, u' ') + u" QRST");
    EXPECT_EQ(GetStackDump(start, start), u"");
}

TEST(ZorReportText, AFailureEndsInTheBugReportFile)
{
    TReportFixture f;
    TTempFolder temp;
    const std::u16string path = Utf8ToWide(temp.Path() + "bugreport.txt");
    f.Exception->WriteSettingBool("AppendBugReps", true);
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(StoreBugReport(path, f.Exception->ReportTextEx(true), 0, *f.Exception, true));
    const std::u16string stored = Utf8ToWide(temp.ReadFile("bugreport.txt"));
    EXPECT_EQ(ReportHeaderValue(stored, u"count"), u"2");
    EXPECT_EQ(ReportHeaderValue(stored, u"exception class"), u"EAccessViolation");
    EXPECT_NE(ReportSectionText(stored, u"worker ($2)"), u"");
}

namespace {
__attribute__((noinline)) int ListedFunction(int x)
{
    return x * 5 + 1;
}
} // namespace

// Without a listing source of its own, the report lists the failing
// function through the disassembly hook the start-up links; without the hook
// there is no disassembling section.
TEST(ZorReportText, DisassemblyComesFromTheLinkedHook)
{
    TReportFixture f;
    SetReportSources(f.Sources.Threads, f.Sources.Stacks, nullptr);
    const TDisAsmHook before = DisAsmHook;
    const uintptr_t entry = reinterpret_cast<uintptr_t>(&ListedFunction);
    f.Sources.Stacks->Default.FunctionStart = entry;
    f.Exception->WriteSettingBool("ShowDisAsm", true);

    DisAsmHook = nullptr;
    EXPECT_EQ(ReportSectionText(f.Exception->ReportTextEx(true), u"disassembling"), u"");

    TReportFixture g;
    SetReportSources(g.Sources.Threads, g.Sources.Stacks, nullptr);
    g.Sources.Stacks->Default.FunctionStart = entry;
    g.Exception->WriteSettingBool("ShowDisAsm", true);
    LinkDisAsm();
    const std::u16string listing = ReportSectionText(g.Exception->ReportTextEx(true), u"disassembling");
    EXPECT_NE(listing.find(AddressTextW(entry)), std::u16string::npos) << WideToUtf8(listing);
    EXPECT_EQ(ListedFunction(1), 6);
    DisAsmHook = before;
}
