#include "crashreport/delivery/zorTrackers.h"

#include <gtest/gtest.h>

#include "crashreport/diagnostics/zorCrypt.h"
#include "crashreport/core/zorExcept_Fields.h"
#include "crashreport/delivery/zorHttp.h"
#include "crashreport/assistants/zorNVPrgrAlert.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "tests/crashreport/ZorFakeServer.h"
#include "tests/crashreport/ZorSettingsSupport.h"

namespace {

// Keeps the positions set, and nothing else.
class TPositionRecorder final : public IProgressAlert {
public:
    std::u16string Title() const override { return u""; }
    void SetProgressTitle(const std::u16string&) override {}
    int32_t Position() const override { return Positions.empty() ? 0 : Positions.back(); }
    void SetProgressPosition(int32_t position) override { Positions.push_back(position); }
    void AddProgressArea(const std::u16string&, uint64_t) override {}
    void ClearProgressAreas() override {}
    void NextProgressArea() override { ++Area; }
    int32_t CurrentArea() const override { return Area; }
    void SelectProgressArea(int32_t index) override { Area = index; }
    void PumpProgressMessages() override {}
    bool ShowAlert(THandlerWindow, bool) override { return false; }
    void CloseAlert() override {}

    std::vector<int32_t> Positions;
    int32_t Area = 0;
};

// The positions of a list that are not file progress (those end at 1000).
std::vector<int32_t> StepPositions(const std::vector<int32_t>& all)
{
    std::vector<int32_t> steps;
    for (int32_t p : all)
        if (p != 0 && p != 1000 && (steps.empty() || steps.back() != p))
            steps.push_back(p);
    return steps;
}

std::string Rpc(const std::string& value)
{
    return "<?xml version=\"1.0\"?><methodResponse><params><param><value>" + value +
           "</value></param></params></methodResponse>";
}

std::string NamesArray(const std::vector<std::string>& names)
{
    std::string out = "<array><data>";
    for (const std::string& n : names)
        out += "<value><struct><member><name>name</name><value><string>" + n +
               "</string></value></member></struct></value>";
    return out + "</data></array>";
}

std::string Field(const std::string& name, const std::vector<std::string>& values)
{
    return "<value><struct><member><name>name</name><value><string>" + name +
           "</string></value></member><member><name>values</name><value>" + NamesArray(values) +
           "</value></member></struct></value>";
}

std::string MethodOf(const TFakeHttpRequest& r)
{
    std::string method;
    XmlElementText(r.Body, "<methodName>", &method, nullptr);
    return method;
}

struct TTrackerFixture {
    TSettingsModule Module{GameSettingsResource()};
    std::shared_ptr<TIZXSettings> Settings = Module.Settings();
    TTempFolder Folder;
    TDAUnicodeString Paths;
    std::string FileBytes;
    TTrackerFixture()
    {
        for (int i = 0; i < 1000; ++i)
            FileBytes.push_back(static_cast<char>(i * 13));
        Folder.WriteFile("report.txt", FileBytes);
        Folder.WriteFile("empty.png", "");
        Paths = {Utf8ToWide(Folder.Path() + "report.txt"), Utf8ToWide(Folder.Path() + "empty.png")};
    }
};

} // namespace

TEST(ZorTrackersTest, MatchingRules)
{
    const TDAUnicodeString list{u"Alpha", u"Beta"}, ids{u"1", u"2"}, projects{u"P", u"Q"};
    struct TCase {
        std::u16string Value;
        bool UseIds;
        bool WantFound;
        std::u16string Want;
    } cases[] = {{u"beta", false, true, u"Beta"},
                 {u"gamma", false, false, u"Alpha"},
                 {u"BETA", true, true, u"2"},
                 {u"x", true, false, u"1"}};
    for (const TCase& c : cases) {
        std::u16string value = c.Value;
        EXPECT_EQ(MatchInList(value, list, c.UseIds ? &ids : nullptr), c.WantFound);
        EXPECT_EQ(value, c.Want);
    }
    std::u16string value = u"zeta";
    EXPECT_FALSE(MatchInProject(value, list, projects, u"Q"));
    EXPECT_EQ(value, u"Beta");
    value = u"zeta";
    EXPECT_FALSE(MatchInProject(value, list, projects, u"R"));
    EXPECT_EQ(value, u"zeta");
}

TEST(ZorTrackersTest, BugzillaFilesTheBugAndItsAttachment)
{
    TTrackerFixture f;
    TFakeHttpServer server([](const TFakeHttpRequest& r) {
        const std::string m = MethodOf(r);
        std::string value = "<struct></struct>";
        if (m == "Bugzilla.version")
            value = "<struct><member><name>version</name><value><string>4.4</string></value></member></struct>";
        else if (m == "Product.get_enterable_products")
            value = "<struct><member><name>ids</name><value><array><data><value><int>1</int></value></data></array>"
                    "</value></member></struct>";
        else if (m == "Product.get")
            value = "<struct><member><name>products</name><value><array><data><value><struct>"
                    "<member><name>name</name><value><string>Game</string></value></member>"
                    "<member><name>components</name><value>" +
                    NamesArray({"Engine", "UI"}) + "</value></member><member><name>versions</name><value>" +
                    NamesArray({"1.0", "1.1"}) +
                    "</value></member></struct></value></data></array></value></member></struct>";
        else if (m == "Bug.fields")
            value = "<struct><member><name>fields</name><value><array><data>" + Field("priority", {"P1", "P2"}) +
                    Field("bug_severity", {"normal", "critical"}) + Field("op_sys", {"Linux", "other"}) +
                    Field("rep_platform", {"PC"}) + "</data></array></value></member></struct>";
        else if (m == "Bug.create")
            value = "<struct><member><name>id</name><value><int>42</int></value></member></struct>";
        return HttpReply(200, Rpc(value));
    });
    TShortWaits waits(3000);
    auto progress = std::make_shared<TPositionRecorder>();
    {
        TWinHttp http("127.0.0.1/bugzilla", progress, f.Settings.get(), u"pw", u"me@x.test", u"", u"", true,
                      server.Port(), false);
        EXPECT_TRUE(BugzillaDelivery(http, u"crash", u"a < b && c", {u"BugReport", u"ScreenShot"},
                                     {u"bugreport.txt", u"screenshot.png"}, f.Paths, u"callstack crc", u"Plan 9",
                                     u"1.1", u"dev@x.test", u"ui", u"game"));
    }
    const auto requests = server.Requests();
    std::vector<std::string> methods;
    for (const auto& r : requests)
        methods.push_back(MethodOf(r));
    EXPECT_EQ(methods,
              (std::vector<std::string>{"Bugzilla.version", "Bugzilla.version", "Product.get_enterable_products",
                                        "Product.get", "Bug.fields", "Bug.create", "Bug.add_attachment"}));
    const std::string& create = requests[5].Body;
    EXPECT_NE(create.find("<name>op_sys</name><value><string>other</string>"), std::string::npos);
    EXPECT_NE(create.find("<name>component</name><value><string>UI</string>"), std::string::npos);
    EXPECT_NE(create.find("<name>product</name><value><string>Game</string>"), std::string::npos);
    EXPECT_NE(create.find("<name>Bugzilla_login</name><value><string>me@x.test</string>"), std::string::npos);
    std::string description;
    ASSERT_TRUE(XmlElementText(create, "<member>", &description, nullptr, "description", "name"));
    EXPECT_EQ(DecodeXmlEntities(description), "<name>description</name><value><string>a < b && c</string></value>");
    EXPECT_NE(requests[1].Body.find("Bugzilla_password"), std::string::npos);
    EXPECT_EQ(requests[0].Body.find("Bugzilla_password"), std::string::npos);
    const std::string& attach = requests[6].Body;
    EXPECT_NE(attach.find("<name>ids</name><value><array><data><value><int>42</int>"), std::string::npos);
    std::string data;
    ASSERT_TRUE(XmlElementText(attach, "<base64>", &data, nullptr));
    EXPECT_EQ(Base64DecodeStr(data), f.FileBytes);
    EXPECT_EQ(attach.substr(attach.size() - 73),
              "</base64></value></member></struct></value></param></params></methodCall>");
    EXPECT_EQ(StepPositions(progress->Positions), (std::vector<int32_t>{167, 333, 500, 667, 833}));
}

TEST(ZorTrackersTest, MantisFilesTheIssueWithoutAnUnknownHandler)
{
    TTrackerFixture f;
    TFakeHttpServer server([](const TFakeHttpRequest& r) {
        const std::string m = r.Path.substr(r.Path.rfind('/') + 1);
        std::string ret;
        if (m == "mc_version")
            ret = "1.2.19";
        else if (m == "mc_projects_get_user_accessible")
            ret = "<item><id>7</id><name>Game</name></item><item><id>9</id><name>Tools</name></item>";
        else if (m == "mc_enum_access_levels")
            ret = "<item><id>25</id><name>reporter</name></item><item><id>55</id><name>developer</name></item>";
        else if (m == "mc_project_get_categories")
            ret = "<item>General</item><item>Crash</item>";
        else if (m == "mc_project_get_versions")
            ret = "<item><name>1.0</name></item>";
        else if (m == "mc_project_get_users")
            ret = "<item><id>3</id><name>ann</name></item>";
        else if (m == "mc_enum_priorities")
            ret = "<item><id>30</id><name>normal</name></item>";
        else if (m == "mc_enum_severities")
            ret = "<item><id>70</id><name>crash</name></item>";
        else if (m == "mc_issue_add")
            ret = "123";
        else if (m == "mc_issue_attachment_add")
            ret = "5";
        return HttpReply(200, "<SOAP-ENV:Envelope><SOAP-ENV:Body><ns1:r><return xsi:type=\"x\">" + ret +
                                  "</return></ns1:r></SOAP-ENV:Body></SOAP-ENV:Envelope>");
    });
    TShortWaits waits(3000);
    auto progress = std::make_shared<TPositionRecorder>();
    {
        TWinHttp http("127.0.0.1/mantis/", progress, f.Settings.get(), u"pw", u"me", u"", u"", true, server.Port(),
                      false);
        EXPECT_TRUE(MantisDelivery(http, u"crash", u"x & <y>", {}, {u"bugreport.txt", u"screenshot.png"}, f.Paths,
                                   u"crc", u"Linux", u"1.0", u"bob", u"crash", u"Nope"));
    }
    EXPECT_EQ(LastMantisIssueId(), u"123");
    const auto requests = server.Requests();
    std::string add, attach;
    int attachments = 0;
    for (const auto& r : requests) {
        if (r.Path.ends_with("/mc_issue_add"))
            add = r.Body;
        if (r.Path.ends_with("/mc_issue_attachment_add")) {
            attach = r.Body;
            ++attachments;
        }
    }
    EXPECT_EQ(requests[0].Path, "/mantis//api/soap/mantisconnect.php/mc_version");
    EXPECT_EQ(attachments, 1); // the empty file is skipped
    EXPECT_EQ(add.find("<handler"), std::string::npos);
    EXPECT_NE(add.find("<id xsi:type=\"xsd:long\">7</id></ns2:project>"), std::string::npos);
    EXPECT_NE(add.find("<description xsi:type=\"xsd:string\">x &amp; &lt;y&gt;</description>"), std::string::npos);
    EXPECT_NE(add.find("<priority href=\"#4\"/>"), std::string::npos);
    EXPECT_NE(add.find("<category xsi:type=\"xsd:string\">Crash</category>"), std::string::npos);
    EXPECT_NE(add.find("<version xsi:type=\"xsd:string\">1.0</version>"), std::string::npos);
    std::string content;
    ASSERT_TRUE(XmlElementText(attach, "<content", &content, nullptr));
    EXPECT_EQ(Base64DecodeStr(content), f.FileBytes);
    EXPECT_EQ(StepPositions(progress->Positions),
              (std::vector<int32_t>{50, 100, 150, 266, 382, 498, 614, 730, 846, 900, 950}));
}

TEST(ZorTrackersTest, FogBugzCasesAndItsRefusals)
{
    struct TCase {
        const char* Name;
        std::string MinVersion;
        bool CaseCreated;
        bool Want;
        bool WantLogoffLast;
    } cases[] = {{"filed", "1", true, true, true},
                 {"too new", "9", true, false, false},
                 {"new refused", "1", false, false, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTrackerFixture f;
        TFakeHttpServer server([&c](const TFakeHttpRequest& r) {
            const std::string& p = r.Path;
            std::string body = "<response></response>";
            if (p == "/fb/api.xml")
                body = "<response><version>8</version><minversion>" + c.MinVersion +
                       "</minversion><url>api.asp?</url></response>";
            else if (p.find("cmd=logon") != std::string::npos)
                body = "<response><token>tok1</token></response>";
            else if (p.find("cmd=listProjects") != std::string::npos)
                body = "<response><projects><project><sProject>Game</sProject></project></projects></response>";
            else if (p.find("cmd=listAreas") != std::string::npos)
                body = "<response><areas><area><sArea>Misc</sArea><sProject>Game</sProject></area></areas></response>";
            else if (p.find("cmd=list") != std::string::npos || p.find("cmd=logoff") != std::string::npos)
                body = "<response><ok/></response>";
            else if (r.Method == "POST")
                body = c.CaseCreated ? "<response><case ixBug=\"12\"></case></response>"
                                     : "<response><error code=\"3\">no</error></response>";
            return HttpReply(200, body);
        });
        TShortWaits waits(3000);
        auto fields = f.Settings->AddFields()->CopyFields();
        {
            TWinHttp http("127.0.0.1/fb/", nullptr, f.Settings.get(), u"p w", u"me@x.test", u"", u"", true,
                          server.Port(), false);
            http.Path = "/fb";
            EXPECT_EQ(FogBugzDelivery(http, u"crash", u"d", {u"BugReport", u"ScreenShot"},
                                      {u"bugreport.txt", u"screenshot.png"}, f.Paths, fields.get(), u"crc",
                                      u"ann@x.test", u"box", u"1.0", u"nobody", u"Misc", u"Other"),
                      c.Want);
        }
        const auto requests = server.Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().Path.find("cmd=logoff") != std::string::npos, c.WantLogoffLast);
        if (std::string(c.Name) == "too new") {
            EXPECT_EQ(requests.size(), 1u);
            continue;
        }
        EXPECT_NE(requests[1].Path.find("/fb/api.asp?cmd=logon&email=me%40x%2Etest&password=p%20w"), std::string::npos)
            << requests[1].Path;
        const TFakeHttpRequest* post = nullptr;
        for (const auto& r : requests)
            if (r.Method == "POST")
                post = &r;
        ASSERT_NE(post, nullptr);
        EXPECT_EQ(fields->FieldContent(u"nFileCount"), u"2"); // the empty file counts
        EXPECT_EQ(fields->IndexOfField(u"sProject"), -1);     // an unknown project goes empty
        EXPECT_EQ(fields->FieldContent(u"sCategory"), u"bug");
        EXPECT_NE(post->Body.find("name=\"File1\"; filename=\"bugreport.txt\""), std::string::npos);
        EXPECT_NE(post->Body.find("name=\"File2\"; filename=\"screenshot.png\""), std::string::npos);
    }
}
