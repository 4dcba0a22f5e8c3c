#include "crashreport/delivery/zorMail.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <chrono>
#include <map>
#include <optional>
#include <set>

#include "crashreport/diagnostics/zorCrypt.h"
#include "crashreport/delivery/zorDns.h"
#include "crashreport/assistants/zorNVPrgrAlert.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "tests/crashreport/ZorFakeServer.h"
#include "tests/crashreport/ZorFakeSmtp.h"
#include "tests/crashreport/ZorSettingsSupport.h"

TEST(ZorMailTest, AddressesAndEscapes)
{
    struct TCount {
        std::u16string In, Out;
        int32_t Count;
    } counts[] = {{u"a@x.test;b@y.test", u"a@x.test,b@y.test", 2},
                  {u" a@x.test ;; , b@y.test ,", u"a@x.test,b@y.test", 2},
                  {u"", u"", 0}};
    for (const TCount& c : counts) {
        std::u16string text = c.In;
        EXPECT_EQ(CountMailAddresses(text), c.Count);
        EXPECT_EQ(text, c.Out);
    }
    struct THeader {
        std::u16string In;
        bool WithName;
        std::string Out;
    } headers[] = {
        {u"a@x.test", true, "<a@x.test>"},
        {u"Ann Smith  <a@x.test>", true, "Ann Smith <a@x.test>"},
        {u"Ann Smith <a@x.test>", false, "<a@x.test>"},
        {u"<a@x.test>", true, " <a@x.test>"},
        {u"J\u00fcrgen <j@x.test>", true, "J\xfcrgen <j@x.test>"},
        {u"\u0418\u0432\u0430\u043d <i@x.test>", true, "=?UTF-8?B?0JjQstCw0L0=?= <i@x.test>"},
        // Line breaks can't smuggle in commands or headers.
        {u"Ann\r\nBcc: e@x.test <a@x.test>", true, "AnnBcc: e@x.test <a@x.test>"},
        {u"a@x.test>\r\nRCPT TO:<e@x.test", false, "<e@x.test"},
    };
    for (const THeader& h : headers)
        EXPECT_EQ(MailAddressForHeader(h.In, h.WithName), h.Out) << WideToUtf8(h.In);

    EXPECT_EQ(EscapeBytes("bug report", HeaderEscapeSet, '='), "bug=20report");
    EXPECT_EQ(EscapeBytes("a.b@c d/\xe9", MailtoEscapeSet, '%'), "a.b@c%20d%2F%E9");

    struct TMime {
        std::u16string Name;
        std::string Type;
    } types[] = {{u"a.TXT", "text/plain"}, {u"r.zbr", "text/plain"},      {u"x.JPeg", "image/jpeg"},
                 {u"s.png", "image/png"},  {u"l.Zip", "application/zip"}, {u"noext", "application/octet-stream"}};
    for (const TMime& t : types)
        EXPECT_EQ(MimeTypeOfFile(t.Name), t.Type) << WideToUtf8(t.Name);
}

TEST(ZorMailTest, DatesPortsDotsAndMailtoCut)
{
    // 2026-12-08 17:40:01 UTC
    EXPECT_EQ(SmtpDateText(1796751601), "8 Dec 2026 17:40:01 UT");
    EXPECT_EQ(SmtpMessageId(0), "<019db1ded53e8000@zorExcept>");
    EXPECT_EQ(std::string(MailBoundary).size(), 33u);

    struct TPort {
        uint16_t Port;
        bool Ssl, StartTls, Credentials;
        uint16_t Want;
    } ports[] = {{0, true, false, false, 465},
                 {0, false, true, true, 587},
                 {0, false, true, false, 25},
                 {0, false, false, true, 25},
                 {2525, true, false, false, 2525}};
    for (const TPort& p : ports)
        EXPECT_EQ(SmtpPortFor(p.Port, p.Ssl, p.StartTls, p.Credentials), p.Want);

    EXPECT_EQ(DotStuffed(".\r\n.\r\n.x\nend"), "..\r\n..\r\n..x\r\nend");
    EXPECT_EQ(DotStuffed("a.b\r\n"), "a.b\r\n");

    // A long body: the link is cut to 32766 characters, never inside an escape.
    for (size_t pad = 0; pad < 3; ++pad) {
        const std::u16string body = std::u16string(pad, u'a') + std::u16string(20000, u' ');
        const std::string link = MailtoLink(u"a@x.test", u"s", body);
        EXPECT_LE(link.size(), 32766u);
        EXPECT_GE(link.size(), 32764u);
        const size_t percent = link.rfind('%');
        EXPECT_EQ(link.size() - percent, 3u) << pad;
    }
    EXPECT_EQ(MailtoLink(u"a@x.test; b@y.test", u"bug report", u"x&y"),
              "mailto:a@x.test%2Cb@y.test?subject=bug%20report&body=x%26y");
}

TEST(ZorMailTest, PlainMessageWithAttachmentAndTwoRecipients)
{
    TSettingsModule module(GameSettingsResource());
    auto settings = module.Settings();
    TTempFolder folder;
    std::string file;
    for (int i = 0; i < 256; ++i)
        file.push_back(static_cast<char>(i));
    folder.WriteFile("data.bin", file);

    TSmtpScript script;
    script.RefusedRecipients.insert("<c@z.test>");
    TSmtpRecord record;
    bool sent = false;
    {
        TFakeTcpServer server(SmtpHandler(script, record));
        TShortWaits waits(3000);
        auto sink = std::make_shared<TRecordingProgressSink>();
        auto progress = std::make_shared<TIProgressAlert>(u"t", 0, u"", sink);
        sent = SendViaSmtp(u"Tester <t@x.test>", u"a@x.test;c@z.test;b@y.test", u"bug report", *settings,
                           progress.get(), false, false, server.Port(), u"", u"", "127.0.0.1", {u"data.bin"},
                           {Utf8ToWide(folder.Path() + "data.bin")}, u"first\r\n.\r\n.\r\n.x\r\nlast");
        // Preparation, connection, envelope, the attachment, final.
        EXPECT_EQ(progress->Areas().size(), 5u);
    }
    ASSERT_TRUE(sent);
    EXPECT_TRUE(HasCommand(record, "MAIL FROM:<t@x.test>"));
    EXPECT_TRUE(HasCommand(record, "RCPT TO:<a@x.test>"));
    EXPECT_TRUE(HasCommand(record, "RCPT TO:<b@y.test>"));
    EXPECT_EQ(record.Commands.back(), "QUIT");
    ASSERT_EQ(record.Messages.size(), 1u);
    const std::string& message = record.Messages[0];
    EXPECT_NE(message.find("\r\nSubject: =?ISO-8859-1?Q?bug=20report?=\r\n"), std::string::npos);
    EXPECT_EQ(message.rfind("To: <a@x.test>\r\n", 0), 0u) << message.substr(0, 100);
    EXPECT_EQ(message.find("b@y.test"), std::string::npos);
    EXPECT_NE(message.find("From: Tester <t@x.test>\r\n"), std::string::npos);
    EXPECT_NE(message.find("charset=\"iso-8859-1\"\r\nContent-Transfer-Encoding: 8bit\r\n"), std::string::npos);
    // The body's dot lines arrive as they were written.
    EXPECT_NE(message.find("\r\n\r\nfirst\r\n.\r\n.\r\n.x\r\nlast\r\n--"), std::string::npos);
    std::vector<size_t> lines;
    EXPECT_EQ(AttachmentOf(message, &lines), file);
    EXPECT_EQ(lines, (std::vector<size_t>{340, 4}));
    EXPECT_NE(message.find(std::string("--") + MailBoundary + "--\r\n"), std::string::npos);
}

// A file that ends before its announced size fails the connection: the
// message data is ended without the closing boundary, and the connection
// goes with RSET and QUIT.
TEST(ZorMailTest, AnAttachmentCutShortEndsTheConnectionPolitely)
{
    TTempFolder folder;
    const std::string file(300, 'z');
    folder.WriteFile("short.bin", file);
    TSmtpScript script;
    TSmtpRecord record;
    {
        TFakeTcpServer server(SmtpHandler(script, record));
        TShortWaits waits(3000);
        const int handle = open((folder.Path() + "short.bin").c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(handle, 0);
        {
            TSmtp smtp("127.0.0.1", server.Port(), false, false, u"", u"");
            ASSERT_TRUE(smtp.Ready()) << WideToUtf8(smtp.LastError());
            ASSERT_TRUE(smtp.BeginMessage(u"t@x.test", u"a@x.test", u"body", u"s"));
            EXPECT_FALSE(smtp.SendAttachment(handle, 600, nullptr, u"short.bin"));
        }
        close(handle);
    }
    ASSERT_GE(record.Commands.size(), 2u);
    EXPECT_EQ(record.Commands[record.Commands.size() - 2], "RSET");
    EXPECT_EQ(record.Commands.back(), "QUIT");
    ASSERT_EQ(record.Messages.size(), 1u);
    EXPECT_EQ(record.Messages[0].find(std::string("--") + MailBoundary + "--"), std::string::npos);
    EXPECT_EQ(AttachmentOf(record.Messages[0]), file.substr(0, 255));
}

TEST(ZorMailTest, AuthenticationAfterStartTls)
{
    if (TestCertificate().CertFile.empty())
        GTEST_SKIP() << "the openssl command is missing";
    struct TCase {
        const char* Name;
        std::string EhloAfterTls;
        std::string AuthFinal;
        bool Trusted;
        bool WantReady;
        bool WantAuth;
        std::u16string WantError;
    } cases[] = {
        {"login offered", "250-fake\r\n250-AUTH LOGIN PLAIN\r\n250 OK\r\n", "235 ok", true, true, true, u""},
        {"plain only", "250-fake\r\n250 AUTH PLAIN\r\n", "235 ok", true, true, false, u""},
        {"refused", "250-fake\r\n250 AUTH=LOGIN\r\n", "535 5.7.8 bad credentials", true, false, true,
         u"Authentication failed (535 5.7.8 bad credentials)"},
        {"untrusted certificate", "250 fake\r\n", "235 ok", false, false, false, u"TLS failed"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSmtpScript script;
        script.Ehlo = "250-fake\r\n250-STARTTLS\r\n250 OK\r\n";
        script.EhloAfterTls = c.EhloAfterTls;
        script.AuthFinal = c.AuthFinal;
        TSmtpRecord record;
        {
            TFakeTcpServer server(SmtpHandler(script, record));
            TShortWaits waits(3000);
            std::optional<TTrustTestCertificate> trust;
            if (c.Trusted)
                trust.emplace();
            TSmtp smtp("127.0.0.1", server.Port(), false, false, u"user", u"secret");
            EXPECT_EQ(smtp.Ready(), c.WantReady);
            EXPECT_EQ(smtp.LastError(), c.WantError);
        }
        EXPECT_EQ(HasCommand(record, "AUTH LOGIN"), c.WantAuth);
        if (c.WantAuth) {
            EXPECT_TRUE(HasCommand(record, Base64EncodeStr("user")));
            EXPECT_TRUE(HasCommand(record, Base64EncodeStr("secret")));
        }
    }
}

TEST(ZorMailTest, CredentialsNeverGoInClear)
{
    TSmtpScript script;
    script.Ehlo = "250-fake\r\n250 AUTH LOGIN\r\n";
    TSmtpRecord record;
    {
        TFakeTcpServer server(SmtpHandler(script, record));
        TShortWaits waits(3000);
        TSmtp smtp("127.0.0.1", server.Port(), false, false, u"user", u"secret");
        EXPECT_FALSE(smtp.Ready());
    }
    EXPECT_FALSE(HasCommand(record, "AUTH"));
    EXPECT_FALSE(HasCommand(record, Base64EncodeStr("secret")));
    // Without credentials the same server takes the mail.
    {
        TFakeTcpServer server(SmtpHandler(script, record));
        TShortWaits waits(3000);
        TSmtp smtp("127.0.0.1", server.Port(), false, false, u"", u"");
        EXPECT_TRUE(smtp.Ready());
    }
}

TEST(ZorMailTest, ImplicitTlsAndWideTexts)
{
    if (TestCertificate().CertFile.empty())
        GTEST_SKIP() << "the openssl command is missing";
    TSmtpScript script;
    script.ImplicitTls = true;
    TSmtpRecord record;
    {
        TFakeTcpServer server(SmtpHandler(script, record));
        TShortWaits waits(3000);
        TTrustTestCertificate trust;
        TSmtp smtp("127.0.0.1", server.Port(), true, false, u"", u"");
        ASSERT_TRUE(smtp.Ready()) << WideToUtf8(smtp.LastError());
        ASSERT_TRUE(
            smtp.BeginMessage(u"", u"a@x.test", u"\u041e\u0448\u0438\u0431\u043a\u0430", u"\u0431\u0430\u0433"));
        EXPECT_TRUE(smtp.EndMessage());
    }
    ASSERT_EQ(record.Messages.size(), 1u);
    const std::string& m = record.Messages[0];
    EXPECT_NE(m.find("Subject: =?UTF-8?B?" + Base64EncodeStr("\xd0\xb1\xd0\xb0\xd0\xb3") + "?="), std::string::npos);
    EXPECT_NE(m.find("charset=\"utf-8\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                     Base64EncodeStr(WideToUtf8(u"\u041e\u0448\u0438\u0431\u043a\u0430")) + "\r\n"),
              std::string::npos);
}

TEST(ZorMailTest, SilentServerFailsAfterTheWait)
{
    TSmtpScript script;
    script.Silent = true;
    TSmtpRecord record;
    TFakeTcpServer server(SmtpHandler(script, record));
    TShortWaits waits(200);
    TSmtp smtp("127.0.0.1", server.Port(), false, false, u"", u"");
    EXPECT_FALSE(smtp.Ready());
    EXPECT_EQ(smtp.LastError(), u"HELO failed ()");
    // Nobody listens: no connection.
    const uint16_t port = server.Port();
    TSmtp none("127.0.0.1", static_cast<uint16_t>(port == 1 ? 2 : 1), false, false, u"", u"");
    EXPECT_EQ(none.LastError(), u"No connection to server");
    TSmtp nameless("", 25, false, false, u"", u"");
    EXPECT_EQ(WideToUtf8(nameless.LastError()).rfind("Server not found (", 0), 0u);
}

TEST(ZorMailTest, ExchangerModeSendsEachRecipientToItsOwnServer)
{
    TSettingsModule module(GameSettingsResource());
    auto settings = module.Settings();
    TSmtpScript script;
    TSmtpRecord record;
    TFakeTcpServer smtpServer(SmtpHandler(script, record));
    // x.test has an exchanger (this machine); y.test has none.
    TFakeDnsServer dns([](const std::string& query) -> std::string {
        std::string reply = query;
        reply[2] = static_cast<char>(0x81);
        reply[3] = static_cast<char>(0x80);
        if (query.find("\x01x\x04test") == std::string::npos)
            return reply;
        reply[7] = 1; // one answer
        const std::string host = std::string("\x03" "127\x01" "0\x01" "0\x01" "1") + '\0';
        reply += std::string("\xC0\x0C\x00\x0F\x00\x01\x00\x00\x00\x3C\x00", 11);
        reply.push_back(static_cast<char>(2 + host.size()));
        reply += std::string("\x00\x0A", 2) + host;
        return reply;
    });
    TShortWaits waits(3000, dns.Port());
    auto saved = DnsServerSource();
    DnsServerSource() = [] { return TDAAnsiString{"127.0.0.1"}; };
    const bool sent = SendViaSmtp(u"", u"a@y.test;b@x.test", u"s", *settings, nullptr, false, false, smtpServer.Port(),
                                  u"", u"", "", {}, {}, u"body");
    DnsServerSource() = saved;
    EXPECT_TRUE(sent);
    EXPECT_EQ(smtpServer.Connections(), 1);
    EXPECT_TRUE(HasCommand(record, "RCPT TO:<b@x.test>"));
    EXPECT_FALSE(HasCommand(record, "RCPT TO:<a@y.test>"));
}

TEST(ZorMailTest, MailProgramStandInsRunThroughTheHook)
{
    std::vector<std::vector<std::string>> calls;
    int exitCode = 0;
    auto saved = MailCommandHook();
    MailCommandHook() = [&](const std::vector<std::string>& argv) {
        calls.push_back(argv);
        return exitCode;
    };
    EXPECT_EQ(SendViaMapi(u"Ann <a@x.test>; b@y.test", u"subj", u"body", false, {u"r.txt"}, {u"/tmp/r.txt"}), 1);
    EXPECT_EQ(calls.back(), (std::vector<std::string>{"xdg-email", "--utf8", "--subject", "subj", "--body", "body",
                                                      "--attach", "/tmp/r.txt", "a@x.test", "b@y.test"}));
    EXPECT_TRUE(OpenMailtoLink(u"a@x.test", u"s", u"b"));
    EXPECT_EQ(calls.back(), (std::vector<std::string>{"xdg-open", "mailto:a@x.test?subject=s&body=b"}));
    exitCode = 3;
    EXPECT_EQ(SendViaMapi(u"a@x.test", u"s", u"b", false, {}, {}), 0);
    EXPECT_FALSE(OpenMailtoLink(u"a@x.test", u"s", u"b"));
    MailCommandHook() = saved;
}
