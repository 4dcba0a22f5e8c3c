#include "crashreport/delivery/zorHttp.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <openssl/evp.h>

#include "crashreport/diagnostics/zorCrypt.h"
#include "crashreport/core/zorExcept_Fields.h"
#include "crashreport/delivery/zorMail.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "tests/crashreport/ZorFakeServer.h"
#include "tests/crashreport/ZorSettingsSupport.h"
#include "tests/support/EnvOverride.h"

namespace {

struct TFormPart {
    std::string Head, Content;
};

// The parts of a multipart body; false when it doesn't end with the
// closing boundary exactly.
bool ParseMultipart(const std::string& body, std::vector<TFormPart>& parts)
{
    const std::string delimiter = std::string("\r\n--") + MailBoundary;
    size_t at = body.find(delimiter);
    if (at != 0)
        return false;
    for (;;) {
        at += delimiter.size();
        if (body.compare(at, 4, "--\r\n") == 0)
            return at + 4 == body.size();
        const size_t headEnd = body.find("\r\n\r\n", at);
        const size_t next = body.find(delimiter, headEnd);
        if (headEnd == std::string::npos || next == std::string::npos)
            return false;
        parts.push_back({body.substr(at + 2, headEnd - at - 2), body.substr(headEnd + 4, next - headEnd - 4)});
        at = next;
    }
}

std::string Md5(const std::string& text)
{
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    EVP_Digest(text.data(), text.size(), d, &n, EVP_md5(), nullptr);
    std::string hex;
    for (unsigned i = 0; i < n; ++i) {
        char b[3];
        snprintf(b, sizeof(b), "%02x", d[i]);
        hex += b;
    }
    return hex;
}

std::string Param(const std::string& header, const std::string& name)
{
    const size_t at = header.find(name + "=");
    if (at == std::string::npos)
        return "";
    size_t start = at + name.size() + 1;
    if (header[start] == '"')
        return header.substr(start + 1, header.find('"', start + 1) - start - 1);
    return header.substr(start, header.find(',', start) - start);
}

class TOpenerRecorder {
public:
    TOpenerRecorder() : Saved(HttpUrlOpener())
    {
        HttpUrlOpener() = [this](const std::string& url) { Opened.push_back(url); };
    }
    ~TOpenerRecorder() { HttpUrlOpener() = Saved; }
    std::vector<std::string> Opened;

private:
    THttpOpener Saved;
};

} // namespace

TEST(ZorHttpTest, ServerTextGivesHostPathAndPort)
{
    struct TCase {
        std::string Server;
        bool Ssl;
        uint16_t Port;
        std::string Host, Path;
        uint16_t WantPort;
    } cases[] = {
        {"https://example.org/bugs/upload", false, 0, "example.org", "/bugs/upload", 80},
        {"bugs.test", true, 0, "bugs.test", "", 443},
        {"http://bugs.test:8080/x/", false, 0, "bugs.test", "/x/", 8080},
        {"bugs.test/a", false, 81, "bugs.test", "/a", 81},
    };
    for (const TCase& c : cases) {
        TWinHttp http(c.Server, nullptr, nullptr, u"", u"", u"", u"", true, c.Port, c.Ssl);
        EXPECT_EQ(http.Host, c.Host) << c.Server;
        EXPECT_EQ(http.Path, c.Path) << c.Server;
        EXPECT_EQ(http.Port, c.WantPort) << c.Server;
        EXPECT_EQ(http.Ssl, c.Ssl) << c.Server;
    }
}

TEST(ZorHttpTest, UploadSendsTheFormWithExactLength)
{
    TSettingsModule module(GameSettingsResource());
    auto settings = module.Settings();
    TTempFolder folder;
    std::string file;
    for (int i = 0; i < 5000; ++i)
        file.push_back(static_cast<char>(i * 7));
    folder.WriteFile("report.txt", file);
    folder.WriteFile("empty.txt", "");
    TFakeHttpServer server([](const TFakeHttpRequest&) { return HttpReply(200, "thanks"); });
    TShortWaits waits(3000);
    auto fields = settings->AddFields()->CopyFields();
    fields->PutField(u"MailFrom", u"J\u00fcrgen <j@x.test>");
    fields->PutField(u"Note", u"\u041e\u0448\u0438\u0431\u043a\u0430");
    {
        TWinHttp http("http://127.0.0.1/upload.php", nullptr, settings.get(), u"", u"", u"", u"", false, server.Port(),
                      false);
        EXPECT_TRUE(http.Upload(u"Ann <a@x.test>", fields.get(), {u"BugReport", u"Empty", u"Missing"},
                                {u"bugreport.txt", u"empty.txt", u"gone.txt"},
                                {Utf8ToWide(folder.Path() + "report.txt"), Utf8ToWide(folder.Path() + "empty.txt"),
                                 Utf8ToWide(folder.Path() + "gone.txt")}));
    }
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u); // nothing sent past the announced length
    const TFakeHttpRequest& r = requests[0];
    EXPECT_EQ(r.Method, "POST");
    EXPECT_EQ(r.Path, "/upload.php");
    EXPECT_EQ(r.Header("Content-Type"), std::string("multipart/form-data; boundary=") + MailBoundary);
    EXPECT_EQ(r.Header("From"), "Ann <a@x.test>");
    std::vector<TFormPart> parts;
    ASSERT_TRUE(ParseMultipart(r.Body, parts));
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[0].Head, "Content-Disposition: form-data; name=\"MailFrom\"\r\nContent-Type: text/plain; "
                             "charset=\"iso-8859-1\"\r\nContent-Transfer-Encoding: 8bit");
    EXPECT_EQ(parts[0].Content, "J\xfcrgen <j@x.test>");
    EXPECT_NE(parts[1].Head.find("charset=\"utf-8\"\r\nContent-Transfer-Encoding: base64"), std::string::npos);
    EXPECT_EQ(Base64DecodeStr(parts[1].Content), WideToUtf8(u"\u041e\u0448\u0438\u0431\u043a\u0430"));
    EXPECT_EQ(parts[2].Head, "Content-Disposition: form-data; name=\"BugReport\"; filename=\"bugreport.txt\"\r\n"
                             "Content-Type: application/octet-stream");
    EXPECT_EQ(parts[2].Content, file);
    EXPECT_EQ(parts[3].Content, "");
}

TEST(ZorHttpTest, AuthenticationIsRetriedOnce)
{
    struct TCase {
        const char* Name;
        std::string Challenge;
        std::string Password; // the server's
        bool WantOk;
    } cases[] = {
        {"basic", "Basic realm=\"bugs\"", "pw", true},
        {"basic refused", "Basic realm=\"bugs\"", "other", false},
        {"digest", "Digest realm=\"bugs\", qop=\"auth\", nonce=\"abc123\", opaque=\"xyz\"", "pw", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeHttpServer server([&c](const TFakeHttpRequest& r) {
            const std::string auth = r.Header("Authorization");
            bool ok = false;
            if (auth == "Basic " + Base64EncodeStr("user:" + c.Password)) {
                ok = true;
            } else if (auth.rfind("Digest ", 0) == 0) {
                const std::string ha1 = Md5("user:bugs:" + c.Password), ha2 = Md5("GET:" + Param(auth, "uri"));
                ok = Param(auth, "response") ==
                         Md5(ha1 + ":abc123:" + Param(auth, "nc") + ":" + Param(auth, "cnonce") + ":auth:" + ha2) &&
                     Param(auth, "opaque") == "xyz";
            }
            return ok ? HttpReply(200, "in") : HttpReply(401, "no", "WWW-Authenticate: " + c.Challenge + "\r\n");
        });
        TShortWaits waits(3000);
        TWinHttp http("127.0.0.1/x", nullptr, nullptr, u"", u"", u"pw", u"user", true, server.Port(), false);
        std::string reply;
        EXPECT_EQ(http.Get("/x/api", reply), c.WantOk);
        EXPECT_EQ(server.Requests().size(), 2u);
        if (c.WantOk) {
            EXPECT_EQ(reply, "in");
        }
    }
    // Without an account a 401 is final.
    TFakeHttpServer server([](const TFakeHttpRequest&) { return HttpReply(401, "", "WWW-Authenticate: Basic\r\n"); });
    TShortWaits waits(3000);
    TWinHttp http("127.0.0.1", nullptr, nullptr, u"", u"", u"", u"", true, server.Port(), false);
    std::string reply;
    EXPECT_FALSE(http.Get("/", reply));
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(ZorHttpTest, RedirectsCountAndOnlyWebTargetsOpen)
{
    struct TCase {
        std::string Location;
        bool Suppress;
        size_t WantOpened;
    } cases[] = {{"https://bugs.test/case/12", false, 1},
                 {"file:///etc/passwd", false, 0},
                 {"http://bugs.test/", true, 0},
                 {"JavaScript:alert(1)", false, 0}};
    for (const TCase& c : cases) {
        TOpenerRecorder opener;
        TFakeHttpServer server(
            [&c](const TFakeHttpRequest&) { return HttpReply(302, "moved", "Location: " + c.Location + "\r\n"); });
        TShortWaits waits(3000);
        TWinHttp http("127.0.0.1", nullptr, nullptr, u"", u"", u"", u"", c.Suppress, server.Port(), false);
        std::string reply;
        EXPECT_TRUE(http.Get("/", reply)) << c.Location;
        EXPECT_EQ(LastHttpRedirect(), c.Location);
        EXPECT_EQ(opener.Opened.size(), c.WantOpened) << c.Location;
    }
}

// The proxy of the environment gets every request for a host elsewhere: the
// host's name is never looked up here, so the proxy on this machine is the
// only server spoken to.
TEST(ZorHttpTest, ProxiesFromTheEnvironmentCarryTheRequests)
{
    TFakeHttpServer proxy([](const TFakeHttpRequest& r) {
        return r.Method == "CONNECT" ? HttpReply(407, "no tunnel") : HttpReply(200, "via proxy");
    });
    TShortWaits waits(3000);
    TEnvOverride environment;
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port()) + "/";
    environment.Set("http_proxy", proxyUrl);
    environment.Set("https_proxy", proxyUrl);
    environment.Unset("no_proxy");
    environment.Unset("NO_PROXY");
    std::string reply;
    {
        TWinHttp http("bugs.proxied.test/x", nullptr, nullptr, u"", u"", u"", u"", true, 8080, false);
        // (Else the name would be looked up.)
        ASSERT_EQ(http.ProxyServer(), "127.0.0.1:" + std::to_string(proxy.Port()));
        EXPECT_TRUE(http.Get("/x/api", reply));
        EXPECT_EQ(reply, "via proxy");
    }
    {
        // A secure request asks for a tunnel; a refused tunnel is no connection.
        TWinHttp http("bugs.proxied.test", nullptr, nullptr, u"", u"", u"", u"", true, 0, true);
        ASSERT_EQ(http.ProxyServer(), "127.0.0.1:" + std::to_string(proxy.Port()));
        EXPECT_FALSE(http.Get("/", reply));
    }
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Method, "GET");
    EXPECT_EQ(requests[0].Path, "http://bugs.proxied.test:8080/x/api");
    EXPECT_EQ(requests[0].Header("Host"), "bugs.proxied.test:8080");
    EXPECT_EQ(requests[1].Method, "CONNECT");
    EXPECT_EQ(requests[1].Path, "bugs.proxied.test:443");

    // This machine's own servers are reached without the proxy.
    TFakeHttpServer direct([](const TFakeHttpRequest&) { return HttpReply(200, "direct"); });
    TWinHttp http("127.0.0.1", nullptr, nullptr, u"", u"", u"", u"", true, direct.Port(), false);
    EXPECT_EQ(http.ProxyServer(), "");
    EXPECT_TRUE(http.Get("/", reply));
    EXPECT_EQ(reply, "direct");
    EXPECT_EQ(proxy.Requests().size(), 2u);
}

TEST(ZorHttpTest, TlsChecksTheCertificate)
{
    if (TestCertificate().CertFile.empty())
        GTEST_SKIP() << "the openssl command is missing";
    TFakeHttpServer server([](const TFakeHttpRequest&) { return HttpReply(200, "secure"); }, true);
    TShortWaits waits(3000);
    std::string reply;
    {
        TWinHttp http("127.0.0.1", nullptr, nullptr, u"", u"", u"", u"", true, server.Port(), true);
        EXPECT_FALSE(http.Get("/", reply));
    }
    TTrustTestCertificate trust;
    TWinHttp http("127.0.0.1", nullptr, nullptr, u"", u"", u"", u"", true, server.Port(), true);
    EXPECT_TRUE(http.Get("/", reply));
    EXPECT_EQ(reply, "secure");
    // The kept connection serves the next request.
    EXPECT_TRUE(http.Get("/again", reply));
}

TEST(ZorHttpTest, ReplyParsing)
{
    struct TCase {
        const char* Name;
        std::string Raw;
        bool Closed;
        int32_t Want;
        std::string Body;
    } cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcEXTRA", false, 1, "abc"},
        {"short", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", false, 0, ""},
        {"short and closed", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", true, -1, ""},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;x\r\nde\r\n0\r\n\r\n", false, 1,
         "abcde"},
        {"to the close", "HTTP/1.0 200 OK\r\n\r\nall of it", true, 1, "all of it"},
        {"not http", "SMTP 220\r\n\r\n", false, -1, ""},
        {"huge length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\n", false, -1, ""},
    };
    for (const TCase& c : cases) {
        THttpResponse response;
        size_t consumed = 0;
        EXPECT_EQ(ParseHttpResponse(c.Raw, c.Closed, response, consumed), c.Want) << c.Name;
        if (c.Want == 1) {
            EXPECT_EQ(response.Body, c.Body) << c.Name;
        }
    }
}

TEST(ZorHttpTest, XmlElementTextFindsWhatTheTrackersRead)
{
    EXPECT_EQ(DecodeXmlEntities("a &amp;lt; b &LT; c &quot;&apos;&gt;"), "a &lt; b < c \"'>");
    EXPECT_EQ(XmlEscaped(u"<a & \"b\">'"), "&lt;a &amp; &quot;b&quot;&gt;&apos;");
    EXPECT_EQ(EncodedFormName(u"screenshot.png"), "screenshot.png");
    EXPECT_EQ(EncodedFormName(u"\u0431"), "=?UTF-8?B?0LE=?=");

    const std::string fog = "<response><token><![CDATA[abc]]></token><projects>"
                            "<project><sProject>Alpha</sProject><ixProject>1</ixProject></project>"
                            "<project><sProject><![CDATA[Beta]]></sProject></project></projects></response>";
    const std::string rpc = "<methodResponse><params><param><value><struct>"
                            "<member><name>version</name><value><string>4.4</string></value></member>"
                            "<member><name>id</name><value><int>77</int></value></member>"
                            "</struct></value></param></params></methodResponse>";
    const std::string products =
        "<struct><member><name>products</name><value><array><data>"
        "<value><struct><member><name>name</name><value><string>Game</string></value></member>"
        "<member><name>id</name><value><int>3</int></value></member></struct></value>"
        "<value><struct><member><name>name</name><value><string>Tools</string></value></member>"
        "</struct></value></data></array></value></member></struct>";
    const std::string soap = "<SOAP-ENV:Body><ns1:r><return xsi:type=\"xsd:string\"> 1.2.3 </return></ns1:r>"
                             "<return>plain</return></SOAP-ENV:Body>";
    struct TCase {
        const char* Name;
        std::string Xml, Path, Match, Child;
        int32_t Depth;
        bool Member, WantFound;
        std::string WantText;
    } cases[] = {
        {"cdata", fog, "<response>|<token>", "", "", 0, false, true, "abc"},
        {"child", fog, "<project>", "", "sProject", 0, false, true, "Alpha"},
        {"match", fog, "<project>", "beta", "sProject", 0, false, true, "<sProject><![CDATA[Beta]]></sProject>"},
        {"missing", fog, "<response>|<error", "", "", 0, false, false, ""},
        {"value", rpc, "<methodResponse>|<params>|<value>", "", "", 0, false, true, ""},
        {"member by name", rpc, "<member>", "id", "name", 0, false, true,
         "<name>id</name><value><int>77</int></value>"},
        {"member match", products, "<member>|<member>", "", "name", 0, true, true, "Game"},
        {"attributes need an open item", soap, "<return>", "", "", 0, false, true, "plain"},
        {"open item", soap, "<return", "", "", 0, false, true, "1.2.3"},
        {"depth", rpc, "<params>|<member>", "version", "name", 1, false, true, ""},
    };
    for (const TCase& c : cases) {
        std::string text;
        EXPECT_EQ(XmlElementText(c.Xml, c.Path, &text, nullptr, c.Match, c.Child, c.Depth, c.Member), c.WantFound)
            << c.Name;
        if (std::string(c.Name) == "value" || std::string(c.Name) == "depth") {
            EXPECT_NE(text.find("<struct>"), std::string::npos) << c.Name;
        } else {
            EXPECT_EQ(text, c.WantText) << c.Name;
        }
    }
    TDAUnicodeString list;
    EXPECT_TRUE(XmlElementText(fog, "<project>", nullptr, &list, "", "sProject"));
    EXPECT_EQ(list, (TDAUnicodeString{u"Alpha", u"Beta"}));
    list.clear();
    EXPECT_TRUE(XmlElementText(products, "<member>|<member>", nullptr, &list, "", "name", 0, true));
    EXPECT_EQ(list, (TDAUnicodeString{u"Game", u"Tools"}));
    // Damaged texts end the search, never the program.
    for (const char* bad : {"<a><b></a></b>", "<", "<a", "</x>", "<![CDATA[", "<a/><a></a>"}) {
        std::string text;
        XmlElementText(bad, "<a>|<b>", &text, nullptr);
    }
}
