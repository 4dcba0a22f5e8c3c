#include "crashreport/delivery/zorDelivery.h"

#include <gtest/gtest.h>

#include <fstream>

#include "crashreport/diagnostics/zorBitmap.h"
#include "crashreport/core/zorBugReportFile.h"
#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/core/zorExcept_Fields.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/delivery/zorHttp.h"
#include "crashreport/delivery/zorMail.h"
#include "crashreport/assistants/zorNVPrgrAlert.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "tests/crashreport/ZorFakeServer.h"
#include "tests/crashreport/ZorFakeSmtp.h"
#include "tests/crashreport/ZorSettingsSupport.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TestSupport.h"

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const char* const ChainKeys[] = {"FogBugz",          "BugZilla",         "Mantis",      "UploadViaHttp",
                                 "MailAsSmtpServer", "MailAsSmtpClient", "MailViaMapi", "MailViaMailto"};

struct TDeliveryFixture {
    TSlotsGuard Slots;
    TSettingsModule Module{GameSettingsResource()};
    std::shared_ptr<TIZXException> Exception = TIZXException::Create(ModuleSettings(Module.Handle));
    TTempFolder Temp;
    TEnvOverride Env;
    TDeliveryTransports Saved = DeliveryTransports();
    std::vector<std::string> Calls;
    std::vector<TDeliveryJob> Jobs;
    bool HttpResult = false, SmtpResult = false, MailtoResult = true;
    int32_t MapiResult = 0;
    std::function<void(TDeliveryJob&)> Inspect;

    TDeliveryFixture()
    {
        Env.Set("XDG_RUNTIME_DIR", Temp.Path());
        Env.Set("XDG_DATA_HOME", Temp.Path() + "data");
        Exception->WriteSettingText("BugRepFile", Utf8ToWide(Temp.Path() + "bugreport.txt"));
        Exception->WriteSettingText("HttpServer", u"bugs.test/");
        Exception->WriteSettingText("SmtpServer", u"mail.test");
        Exception->WriteSettingBool("AppendBugReps", true);
        for (const char* key : ChainKeys)
            Exception->WriteSettingBool(key, false);
        const char* const kinds[] = {"FogBugz", "Bugzilla", "Mantis", "Upload"};
        auto& t = DeliveryTransports();
        t.Http = [this, kinds](THttpDeliveryKind kind, TWinHttp& http, TDeliveryJob& job) {
            Calls.push_back(std::string("http:") + kinds[static_cast<int>(kind)] + ":" + http.Host + http.Path);
            return Record(job), HttpResult;
        };
        t.Smtp = [this](TDeliveryJob& job, bool exchanger) {
            Calls.push_back(exchanger ? "smtp:exchanger" : "smtp:server");
            return Record(job), SmtpResult;
        };
        t.Mapi = [this](TDeliveryJob& job) {
            Calls.push_back("mapi");
            return Record(job), MapiResult;
        };
        t.Mailto = [this](TDeliveryJob& job) {
            Calls.push_back("mailto");
            return Record(job), MailtoResult;
        };
        t.FailureMessage = [this](THandlerWindow, const std::u16string& text) {
            Calls.push_back("message:" + WideToUtf8(text));
        };
    }
    ~TDeliveryFixture() { DeliveryTransports() = Saved; }
    void Record(TDeliveryJob& job)
    {
        if (Inspect)
            Inspect(job);
        Jobs.push_back(job);
    }
    uint8_t Deliver(bool silent, std::shared_ptr<INVBitmap> image = nullptr)
    {
        return DeliverBugReport(u"the report\r\n", image, 0, silent, false, Exception, false, nullptr);
    }
};

} // namespace

TEST(ZorDeliveryTest, ChainOfTransports)
{
    struct TCase {
        const char* Name;
        std::vector<const char*> On;
        bool Http, Smtp;
        int32_t Mapi;
        bool Silent;
        std::vector<std::string> WantCalls;
        uint8_t WantOutcome;
    } cases[] = {
        {"mailto only",
         {"MailViaMailto"},
         false,
         false,
         0,
         false,
         {"mailto", "message:Sorry, sending the bug report didn't work."},
         0},
        {"tracker precedence",
         {"FogBugz", "BugZilla", "MailViaMapi"},
         true,
         false,
         0,
         false,
         {"http:FogBugz:bugs.test"},
         1},
        {"upload keeps the slash", {"UploadViaHttp"}, true, false, 0, false, {"http:Upload:bugs.test/"}, 1},
        {"failing tracker, then mail",
         {"BugZilla", "MailAsSmtpClient"},
         false,
         true,
         0,
         false,
         {"http:Bugzilla:bugs.test", "smtp:server"},
         1},
        {"everything fails",
         {"Mantis", "MailAsSmtpServer", "MailViaMapi", "MailViaMailto"},
         false,
         false,
         0,
         false,
         {"http:Mantis:bugs.test", "smtp:exchanger", "mapi", "mailto",
          "message:Sorry, sending the bug report didn't work."},
         0},
        {"silent failure",
         {"Mantis", "MailAsSmtpServer", "MailViaMapi", "MailViaMailto"},
         false,
         false,
         0,
         true,
         {"http:Mantis:bugs.test", "smtp:exchanger", "mapi"},
         0},
        {"mail program takes it", {"MailViaMapi", "MailViaMailto"}, false, false, 1, false, {"mapi"}, 1},
        {"mail program cancelled", {"MailViaMapi", "MailViaMailto"}, false, false, 2, false, {"mapi"}, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TDeliveryFixture f;
        f.Temp.WriteFile("bugreport.txt", "earlier report\r\n\r\n");
        f.Exception->WriteSettingBool("DelBugRepFile", true);
        for (const char* key : c.On)
            f.Exception->WriteSettingBool(key, true);
        f.HttpResult = c.Http;
        f.SmtpResult = c.Smtp;
        f.MapiResult = c.Mapi;
        EXPECT_EQ(f.Deliver(c.Silent), c.WantOutcome);
        EXPECT_EQ(f.Calls, c.WantCalls);
        EXPECT_EQ(f.Exception->WasSent(), c.WantOutcome == 1);
        // The bug report file goes after a successful delivery of its copy.
        EXPECT_EQ(access((f.Temp.Path() + "bugreport.txt").c_str(), F_OK) == 0, c.WantOutcome != 1);
        if (std::string(c.Name) == "mailto only") {
            ASSERT_EQ(f.Jobs.size(), 1u);
            EXPECT_TRUE(f.Jobs[0].Paths.empty());
            EXPECT_EQ(f.Jobs[0].Progress, nullptr);
            EXPECT_EQ(f.Jobs[0].Report, u"the report\r\n");
        }
    }
}

TEST(ZorDeliveryTest, MailTextsAndFields)
{
    TDeliveryFixture f;
    f.Exception->WriteSettingBool("MailViaMapi", true);
    f.Exception->WriteSettingText("MailAddr", u"Bugs <bugs@x.test>; other@y.test");
    f.Exception->WriteSettingText("MailFrom", u"");
    f.MapiResult = 1;
    EXPECT_EQ(f.Deliver(true), 1);
    ASSERT_EQ(f.Jobs.size(), 1u);
    const TDeliveryJob& job = f.Jobs[0];
    EXPECT_EQ(job.Sender, u"zorExcept <bugs@x.test>");
    EXPECT_EQ(job.Subject, u"bug report");
    EXPECT_EQ(job.Fields->FieldContent(u"MailFrom"), u"zorExcept <bugs@x.test>");
    EXPECT_EQ(job.Fields->FieldContent(u"MailAddr"), u"Bugs <bugs@x.test>; other@y.test");
    ASSERT_EQ(job.SendAsNames.size(), 1u);
    EXPECT_EQ(job.SendAsNames[0], u"bugreport.txt");
    EXPECT_EQ(job.FieldNames[0], u"BugReport");
}

TEST(ZorDeliveryTest, CopyOfTheBugReportFileHoldsTheCurrentReport)
{
    struct TCase {
        const char* Name;
        bool AttachFile, Saved;
        bool WantOld, WantNew;
    } cases[] = {{"not saved", true, false, true, true},
                 {"saved", true, true, true, false},
                 {"report only", false, true, false, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TDeliveryFixture f;
        f.Temp.WriteFile("bugreport.txt", "earlier report\r\n\r\n");
        f.Exception->WriteSettingBool("MailViaMapi", true);
        f.Exception->WriteSettingBool("AttachBugRepFile", c.AttachFile);
        f.Exception->SetWasSaved(c.Saved);
        std::string attached;
        f.Inspect = [&](TDeliveryJob& job) {
            ASSERT_EQ(job.Paths.size(), 1u);
            attached = ReadAll(WideToUtf8(job.Paths[0]));
        };
        f.MapiResult = 1;
        f.Deliver(true);
        EXPECT_EQ(attached.find("earlier report") != std::string::npos, c.WantOld) << attached;
        EXPECT_EQ(attached.find("the report") != std::string::npos, c.WantNew) << attached;
    }
}

TEST(ZorDeliveryTest, ZipGroupsIgnoreLetterCase)
{
    TDeliveryFixture f;
    f.Temp.WriteFile("a.log", "first log");
    f.Temp.WriteFile("b.log", "second log");
    f.Temp.WriteFile("c.txt", "loose");
    TIZXAttachments attachments;
    attachments.AddAttachment(Utf8ToWide(f.Temp.Path() + "a.log"), u"a.log", u"Logs.zip", u"A");
    attachments.AddAttachment(Utf8ToWide(f.Temp.Path() + "missing.log"), u"m.log", u"Logs.zip", u"M");
    attachments.AddAttachment(Utf8ToWide(f.Temp.Path() + "c.txt"), u"c.txt", u"", u"C");
    attachments.AddAttachment(Utf8ToWide(f.Temp.Path() + "b.log"), u"b.log", u"logs.ZIP", u"B");
    TDAUnicodeString paths, sendAs, fields;
    std::shared_ptr<IProgressAlert> progress;
    PrepareDeliveryFiles(*f.Exception, attachments, paths, sendAs, fields, 0, true, false, progress);
    ASSERT_TRUE(progress);
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(sendAs, (TDAUnicodeString{u"Logs.zip", u"c.txt"}));
    EXPECT_EQ(fields, (TDAUnicodeString{u"Logs.zip", u"C"}));
    // One archive with both members (the writer itself is checked against Python's reader elsewhere).
    const std::string zip = ReadAll(WideToUtf8(paths[0]));
    ASSERT_GE(zip.size(), 22u);
    EXPECT_EQ(zip.compare(zip.size() - 22, 4, "PK\x05\x06"), 0);
    EXPECT_EQ(static_cast<uint8_t>(zip[zip.size() - 22 + 10]), 2);
    EXPECT_NE(zip.find("a.log"), std::string::npos);
    EXPECT_NE(zip.find("b.log"), std::string::npos);
}

TEST(ZorDeliveryTest, ScreenshotDepthChoosesTheMode)
{
    struct TDepth {
        int32_t Depth, Mode;
    } depths[] = {{4, 1}, {51200, 2}, {102400, 3}, {204800, 4}, {307200, 5}, {8, 0}, {0, 0}};
    for (const TDepth& d : depths)
        EXPECT_EQ(PngModeOfDepth(d.Depth), d.Mode) << d.Depth;

    for (int32_t depth : {0, 4}) {
        TDeliveryFixture f;
        f.Exception->WriteSettingBool("MailViaMapi", true);
        f.Exception->WriteSettingBool("AttachBugRep", false);
        f.Exception->WriteSettingInt("ScrShotDepth", depth);
        auto image = std::make_shared<TINVBitmap>(8, 6);
        std::string png;
        f.Inspect = [&](TDeliveryJob& job) {
            if (!job.Paths.empty())
                png = ReadAll(WideToUtf8(job.Paths[0]));
        };
        f.MapiResult = 1;
        f.Deliver(true, image);
        ASSERT_EQ(f.Jobs.size(), 1u);
        if (depth == 0) {
            EXPECT_TRUE(f.Jobs[0].Paths.empty());
            continue;
        }
        ASSERT_EQ(f.Jobs[0].SendAsNames, TDAUnicodeString{u"screenshot.png"});
        EXPECT_EQ(png.substr(1, 3), "PNG");
        EXPECT_EQ(png[24], 4); // grey, 4 bits
        // The mail program may still read it: it stays until the temporary folder is cleared.
        EXPECT_EQ(access(WideToUtf8(f.Jobs[0].Paths[0]).c_str(), F_OK), 0);
    }
}

TEST(ZorDeliveryThreadTest, BackgroundDeliveryRunsOnItsThread)
{
    TDeliveryFixture f;
    f.Exception->WriteSettingBool("MailViaMapi", true);
    f.MapiResult = 1;
    TSendThreadSlot slot;
    EXPECT_EQ(DeliverBugReport(u"report", nullptr, 0, true, true, f.Exception, false, &slot), 1);
    slot.WaitAndClose();
    EXPECT_EQ(f.Calls, std::vector<std::string>{"mapi"});
    EXPECT_TRUE(f.Exception->WasSent());
    EXPECT_EQ(DeliverBugReport(u"", nullptr, 0, true, true, f.Exception, false, &slot), 0);
}

TEST(ZorDeliveryTest, PrintingGoesToTheSpooler)
{
    TDeliveryFixture f;
    std::vector<std::string> argv;
    std::string printed;
    auto saved = MailCommandHook();
    int exitCode = 0;
    MailCommandHook() = [&](const std::vector<std::string>& a) {
        argv = a;
        printed = ReadAll(a.back());
        return exitCode;
    };
    EXPECT_TRUE(PrintReportText(u"line one\r\nline two", 0, f.Exception.get()));
    ASSERT_EQ(argv.size(), 5u);
    EXPECT_EQ(argv[0], "lp");
    EXPECT_EQ(argv[3], "print bug report");
    EXPECT_EQ(printed, "line one\r\nline two");
    EXPECT_NE(access(argv.back().c_str(), F_OK), 0); // the spool copy is the spooler's
    exitCode = -1;                                   // no spooler
    EXPECT_FALSE(PrintReportText(u"x", 0, f.Exception.get()));
    MailCommandHook() = saved;
}

// ---------------------------------------------------------------------------
// The whole road with the real transports, against servers on this machine.

namespace {

// Something like a desktop: flat panels, a gradient and some text-like specks.
std::shared_ptr<TINVBitmap> DesktopPicture(int32_t w, int32_t h)
{
    auto bitmap = std::make_shared<TINVBitmap>(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint32_t rgb = y < 24 ? 0x203040u : (x < w / 4 ? 0xE0E0E0u : 0x3060A0u + (static_cast<uint32_t>(y) & 0x3F));
            if (x > w / 3 && x < w * 2 / 3 && y > h / 3 && y < h * 2 / 3)
                rgb = ((x / 3 + y / 5) % 7 == 0) ? 0x000000u : 0xFFFFFFu;
            bitmap->SetPixel(x, y, rgb);
        }
    return bitmap;
}

} // namespace

TEST(ZorDeliveryTest, RealMailCarriesTheZippedReport)
{
    TDeliveryFixture f;
    f.Saved = DeliveryTransports();
    DeliveryTransports() = StandardDeliveryTransports();
    TSmtpScript script;
    TSmtpRecord record;
    TFakeTcpServer server(SmtpHandler(script, record));
    TShortWaits waits(3000);
    f.Exception->WriteSettingBool("MailAsSmtpClient", true);
    f.Exception->WriteSettingText("SmtpServer", u"127.0.0.1");
    f.Exception->WriteSettingInt("SmtpPort", server.Port());
    f.Exception->WriteSettingText("MailAddr", u"bugs@x.test");
    f.Exception->WriteSettingText("BugRepZip", u"report.zip");
    EXPECT_EQ(f.Deliver(true), 1);
    ASSERT_EQ(record.Messages.size(), 1u);
    const std::string zip = AttachmentOf(record.Messages[0], nullptr, "report.zip");
    ASSERT_FALSE(zip.empty());
    TTempFolder folder;
    folder.WriteFile("report.zip", zip);
    int status = 0;
    const std::string out = RunProgram("python3", "-m zipfile -t '" + folder.Path() + "report.zip'", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(f.Exception->WasSent());
}

TEST(ZorDeliveryTest, RealUploadCarriesTheScreenshot)
{
    TDeliveryFixture f;
    f.Saved = DeliveryTransports();
    DeliveryTransports() = StandardDeliveryTransports();
    TFakeHttpServer server([](const TFakeHttpRequest&) { return HttpReply(200, "ok"); });
    TShortWaits waits(3000);
    f.Exception->WriteSettingBool("UploadViaHttp", true);
    f.Exception->WriteSettingText("HttpServer", u"http://127.0.0.1/upload.php");
    f.Exception->WriteSettingInt("HttpPort", server.Port());
    f.Exception->WriteSettingInt("ScrShotDepth", 51200);
    EXPECT_EQ(f.Deliver(true, DesktopPicture(640, 480)), 1);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& body = requests[0].Body;
    const std::string png = FormFilePart(body, "ScreenShot", "screenshot.png");
    EXPECT_EQ(png.compare(0, 4, "\x89PNG"), 0);
    EXPECT_LE(png.size(), 51200u);
    EXPECT_NE(body.find("name=\"BugReport\"; filename=\"bugreport.txt\""), std::string::npos);
}
