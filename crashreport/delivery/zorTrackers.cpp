// zorTrackers: FogBugz, Bugzilla and Mantis. Normal context.
#include "crashreport/delivery/zorTrackers.h"

#include <mutex>

#include "crashreport/core/zorExcept_Fields.h"
#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/delivery/zorHttp.h"
#include "crashreport/delivery/zorMail.h"
#include "crashreport/assistants/zorNVPrgrAlert.h"
#include "crashreport/diagnostics/zorStrings.h"

namespace {

std::mutex IssueLock;
std::u16string LastIssue;

void Position(TWinHttp& http, int32_t position)
{
    if (http.Progress())
        http.Progress()->SetProgressPosition(position);
}

void NextArea(TWinHttp& http)
{
    if (http.Progress())
        http.Progress()->NextProgressArea();
}

std::string Utf8(const std::u16string& text)
{
    return WideToUtf8(text);
}

std::u16string Wide(const std::string& utf8)
{
    return Utf8ToWide(utf8);
}

std::string FirstText(const std::string& xml, const std::string& path)
{
    std::string text;
    XmlElementText(xml, path, &text, nullptr);
    return text;
}

// The content of the named member's value element of that type (XML-RPC).
std::string MemberValue(const std::string& xml, const std::string& name, const std::string& type)
{
    std::string member;
    if (!XmlElementText(xml, "<member>", &member, nullptr, name, "name"))
        return {};
    return FirstText(member, "<" + type + ">");
}

// The texts of the names of an XML-RPC list of structs.
TDAUnicodeString StructNames(const std::string& xml)
{
    TDAUnicodeString names;
    XmlElementText(xml, "<member>", nullptr, &names, "", "name", 0, true);
    return names;
}

// The opened delivery files and a guard that closes them.
struct TOpenFiles {
    TDeliveryFiles Files;
    bool Open(TWinHttp& http, const TDAUnicodeString& paths)
    {
        if (!http.Settings())
            return false;
        return OpenDeliveryFiles(http.Progress(), *http.Settings(), paths, false, false, Files);
    }
};

// ---------------------------------------------------------------------------
// FogBugz

std::string FogBugzArgument(const std::u16string& value)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : Utf8(value)) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

bool FogBugzCommand(TWinHttp& http, const std::string& command,
                    const std::vector<std::pair<std::string, std::u16string>>& arguments, std::string& result)
{
    std::string url = http.Path + http.Script + "?cmd=" + command;
    for (const auto& [name, value] : arguments)
        url += "&" + name + "=" + FogBugzArgument(value);
    std::string reply;
    result.clear();
    if (!http.Get(url, reply))
        return false;
    std::string error;
    if (XmlElementText(reply, "<error", &error, nullptr)) {
        http.LastError = Wide(error);
        return false;
    }
    return XmlElementText(reply, "<response>", &result, nullptr) && !result.empty();
}

bool FogBugzConnect(TWinHttp& http)
{
    if (http.ServerUsable)
        return http.LoggedOn;
    std::string reply;
    if (http.Get(http.Path + "/api.xml", reply)) {
        http.ServerUsable = atoi(FirstText(reply, "<minversion>").c_str()) < 9;
        http.ServerVersion = Wide(FirstText(reply, "<version>"));
        const std::string url = FirstText(reply, "<url>");
        http.Script = url.empty() ? "" : url.substr(0, url.size() - 1);
    }
    if (!http.ServerUsable || http.Script.empty())
        return false;
    Position(http, 111);
    http.Script = "/" + http.Script;
    std::string result;
    std::u16string token;
    if (FogBugzCommand(http, "logon", {{"email", http.TrackerAccount}, {"password", http.TrackerPassword}}, result)) {
        Position(http, 222);
        token = Wide(FirstText(result, "<token>"));
        http.LoggedOn = !token.empty();
    }
    if (!http.LoggedOn)
        return false;
    TTrackerLists& lists = http.Lists;
    if (FogBugzCommand(http, "listProjects", {{"fWrite", u"1"}, {"token", token}}, result)) {
        Position(http, 333);
        XmlElementText(result, "<project>", nullptr, &lists.Projects, "", "sProject");
        if (!lists.Projects.empty()) {
            if (FogBugzCommand(http, "listAreas", {{"fWrite", u"1"}, {"token", token}}, result)) {
                Position(http, 444);
                XmlElementText(result, "<area>", nullptr, &lists.Areas, "", "sArea");
                XmlElementText(result, "<area>", nullptr, &lists.AreaProjects, "", "sProject");
            }
            if (FogBugzCommand(http, "listCategories", {{"token", token}}, result))
                XmlElementText(result, "<category>", nullptr, &lists.Categories, "", "sCategory");
            Position(http, 555);
            if (FogBugzCommand(http, "listPriorities", {{"token", token}}, result))
                XmlElementText(result, "<priority>", nullptr, &lists.Priorities, "", "sPriority");
            Position(http, 666);
            if (FogBugzCommand(http, "listPeople", {{"token", token}}, result))
                XmlElementText(result, "<person>", nullptr, &lists.Users, "", "sFullName");
            Position(http, 777);
        }
        FogBugzCommand(http, "logoff", {{"token", token}}, result);
        Position(http, 888);
    }
    return http.ServerUsable && http.LoggedOn;
}

// ---------------------------------------------------------------------------
// Bugzilla

const char XmlRpcHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><methodCall><methodName>";
const char XmlRpcTail[] = "</struct></value></param></params></methodCall>";

std::string RpcMember(const std::string& name, const std::string& type, const std::string& value, bool array = false)
{
    if (value.empty())
        return {};
    return "<member><name>" + name + "</name><value>" + (array ? "<array><data><value>" : "") + "<" + type + ">" +
           value + "</" + type + ">" + (array ? "</value></data></array>" : "") + "</value></member>";
}

std::string RpcHead(TWinHttp& http, const std::string& method, bool logon)
{
    std::string body = XmlRpcHead + method + "</methodName><params><param><value><struct>";
    if (logon)
        body += RpcMember("Bugzilla_login", "string", XmlEscaped(http.TrackerAccount)) +
                RpcMember("Bugzilla_password", "string", XmlEscaped(http.TrackerPassword));
    return body;
}

bool RpcReplyCounts(TWinHttp& http, const std::string& reply)
{
    std::string value;
    if (XmlElementText(reply, "<methodResponse>|<params>|<value>", &value, nullptr) && !value.empty())
        return true;
    const std::string fault = MemberValue(reply, "faultString", "string");
    if (!fault.empty())
        http.LastError = Wide(fault);
    return false;
}

// Sends the request in parts: the head, a file as Base64 (when given) and
// the tail, announcing the whole length first; again while the client asks
// for a retry.
bool SendStreamed(TWinHttp& http, const std::string& path, const std::string& head, int handle, uint32_t size,
                  const std::string& tail, std::string& reply)
{
    const uint64_t base64 = handle >= 0 ? 4ull * ((uint64_t{size} + 2) / 3) : 0;
    IProgressAlert* progress = http.Progress();
    const int32_t area = progress ? progress->CurrentArea() : 0;
    const int32_t position = progress ? progress->Position() : 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (progress) {
            progress->SelectProgressArea(area);
            progress->SetProgressPosition(position);
        }
        bool ok = http.OpenRequest(path, "POST") && http.AddHeader("Content-Type: text/xml") &&
                  http.SendRequest(head, base64 + tail.size());
        if (ok && handle >= 0)
            ok = http.SendFileBody(handle, size, true);
        ok = ok && http.WriteBody(tail);
        if (ok && http.ReadResponse(reply))
            return true;
        if (!http.RetrySend)
            break;
    }
    return false;
}

bool BugzillaCall(TWinHttp& http, const std::string& method, bool logon, const std::string& members, std::string& reply)
{
    return SendStreamed(http, http.Path + http.Script, RpcHead(http, method, logon) + members, -1, 0, XmlRpcTail,
                        reply) &&
           RpcReplyCounts(http, reply);
}

// The legal values of a field of "Bug.fields".
TDAUnicodeString BugzillaFieldValues(const std::string& reply, const std::string& field)
{
    TDAUnicodeString fieldStructs;
    XmlElementText(reply, "<member>|<struct>", nullptr, &fieldStructs);
    for (const std::u16string& s : fieldStructs) {
        const std::string text = Utf8(s);
        std::string name;
        XmlElementText(text, "<member>", &name, nullptr, "", "name", 0, true);
        if (!SameTextA(name, field))
            continue;
        std::string values;
        XmlElementText(text, "<member>", &values, nullptr, "values", "name");
        TDAUnicodeString legal;
        XmlElementText(values, "<struct>|<member>", nullptr, &legal, "", "name", 0, true);
        return legal;
    }
    return {};
}

bool BugzillaConnect(TWinHttp& http)
{
    if (http.ServerUsable)
        return http.LoggedOn;
    http.Script = "/xmlrpc.cgi";
    std::string reply;
    if (BugzillaCall(http, "Bugzilla.version", false, "", reply)) {
        http.ServerVersion = Wide(MemberValue(reply, "version", "string"));
        http.ServerUsable = !http.ServerVersion.empty();
    }
    if (!http.ServerUsable)
        return false;
    Position(http, 167);
    if (!http.TrackerAccount.empty() && !http.TrackerPassword.empty())
        http.LoggedOn = BugzillaCall(http, "Bugzilla.version", true, "", reply);
    Position(http, 333);
    if (!http.LoggedOn)
        return false;
    TTrackerLists& lists = http.Lists;
    if (BugzillaCall(http, "Product.get_enterable_products", false, "", reply)) {
        Position(http, 500);
        const std::string ids = FirstText(reply, "<struct>");
        if (BugzillaCall(http, "Product.get", false, ids, reply)) {
            Position(http, 667);
            TDAUnicodeString products;
            XmlElementText(reply, "<member>|<struct>", nullptr, &products);
            for (const std::u16string& product : products) {
                const std::string text = Utf8(product);
                std::string name;
                XmlElementText(text, "<member>", &name, nullptr, "", "name", 0, true);
                if (name.empty())
                    continue;
                lists.Projects.push_back(Wide(name));
                std::string components, versions;
                XmlElementText(text, "<member>", &components, nullptr, "components", "name");
                XmlElementText(text, "<member>", &versions, nullptr, "versions", "name");
                for (const std::u16string& c : StructNames(FirstText(components, "<array>"))) {
                    lists.Areas.push_back(c);
                    lists.AreaProjects.push_back(Wide(name));
                }
                for (const std::u16string& v : StructNames(FirstText(versions, "<array>"))) {
                    lists.Versions.push_back(v);
                    lists.VersionProjects.push_back(Wide(name));
                }
            }
        }
    }
    if (!lists.Projects.empty() && BugzillaCall(http, "Bug.fields", false, "", reply)) {
        lists.Priorities = BugzillaFieldValues(reply, "priority");
        lists.Severities = BugzillaFieldValues(reply, "bug_severity");
        if (lists.Severities.empty())
            lists.Severities = BugzillaFieldValues(reply, "severity");
        lists.OperatingSystems = BugzillaFieldValues(reply, "op_sys");
        lists.Platforms = BugzillaFieldValues(reply, "rep_platform");
        if (lists.Platforms.empty())
            lists.Platforms = BugzillaFieldValues(reply, "platform");
        Position(http, 833);
    }
    return http.ServerUsable && http.LoggedOn;
}

// ---------------------------------------------------------------------------
// Mantis

const char MantisScript[] = "/api/soap/mantisconnect.php";
const char SoapTail[] = "</SOAP-ENV:Body></SOAP-ENV:Envelope>";

std::string SoapHead(TWinHttp& http, const std::string& method, bool logon)
{
    std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
                       "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body><ns1:" +
                       method + " xmlns:ns1=\"ns1\">";
    if (logon)
        body += "<username xsi:type=\"xsd:string\">" + XmlEscaped(http.TrackerAccount) +
                "</username><password xsi:type=\"xsd:string\">" + XmlEscaped(http.TrackerPassword) + "</password>";
    return body;
}

bool MantisReplyCounts(TWinHttp& http, const std::string& reply, std::string& result)
{
    if (XmlElementText(reply, "<return", &result, nullptr) && !result.empty())
        return true;
    const std::string fault = FirstText(reply, "<faultstring");
    if (!fault.empty())
        http.LastError = Wide(fault);
    return false;
}

bool MantisCall(TWinHttp& http, const std::string& method, bool logon, const std::string& parameters,
                const std::string& references, std::string& result)
{
    std::string reply;
    result.clear();
    return SendStreamed(http, http.Path + MantisScript + std::string("/") + method,
                        SoapHead(http, method, logon) + parameters + "</ns1:" + method + ">" + references, -1, 0,
                        SoapTail, reply) &&
           MantisReplyCounts(http, reply, result);
}

std::string ProjectIdParameter(const std::u16string& id)
{
    return "<project_id xsi:type=\"xsd:integer\">" + XmlEscaped(id) + "</project_id>";
}

bool MantisConnect(TWinHttp& http)
{
    if (http.ServerUsable)
        return http.LoggedOn;
    http.Script = MantisScript;
    std::string result;
    if (MantisCall(http, "mc_version", false, "", "", result)) {
        http.ServerVersion = Wide(result);
        http.ServerUsable = !result.empty();
    }
    if (!http.ServerUsable)
        return false;
    Position(http, 50);
    TTrackerLists& lists = http.Lists;
    if (!MantisCall(http, "mc_projects_get_user_accessible", true, "", "", result))
        return false;
    http.LoggedOn = true;
    Position(http, 100);
    XmlElementText("<r>" + result + "</r>", "<item", nullptr, &lists.Projects, "", "name");
    XmlElementText("<r>" + result + "</r>", "<item", nullptr, &lists.ProjectIds, "", "id");
    std::string access;
    if (MantisCall(http, "mc_enum_access_levels", true, "", "", result)) {
        std::string item;
        if (XmlElementText("<r>" + result + "</r>", "<item", &item, nullptr, "developer", "name"))
            access = "<access xsi:type=\"xsd:integer\">" + FirstText(item, "<id") + "</access>";
    }
    Position(http, 150);
    const int32_t n = static_cast<int32_t>(std::min(lists.Projects.size(), lists.ProjectIds.size()));
    auto step = [&](int32_t i, int32_t k) { Position(http, 700 / n / 3 * (3 * i + k) + 150); };
    for (int32_t i = 0; i < n; ++i) {
        const std::u16string& project = lists.Projects[i];
        const std::string parameter = ProjectIdParameter(lists.ProjectIds[i]);
        TDAUnicodeString found;
        if (MantisCall(http, "mc_project_get_categories", true, parameter, "", result))
            XmlElementText("<r>" + result + "</r>", "<item", nullptr, &found);
        for (const std::u16string& c : found) {
            lists.Areas.push_back(c);
            lists.AreaProjects.push_back(project);
        }
        step(i, 1);
        found.clear();
        if (MantisCall(http, "mc_project_get_versions", true, parameter, "", result))
            XmlElementText("<r>" + result + "</r>", "<item", nullptr, &found, "", "name");
        for (const std::u16string& v : found) {
            lists.Versions.push_back(v);
            lists.VersionProjects.push_back(project);
        }
        step(i, 2);
        if (MantisCall(http, "mc_project_get_users", true, parameter + access, "", result)) {
            TDAUnicodeString names, ids;
            XmlElementText("<r>" + result + "</r>", "<item", nullptr, &names, "", "name");
            XmlElementText("<r>" + result + "</r>", "<item", nullptr, &ids, "", "id");
            for (size_t k = 0; k < names.size() && k < ids.size(); ++k) {
                lists.Users.push_back(names[k]);
                lists.UserIds.push_back(ids[k]);
                lists.UserProjects.push_back(project);
            }
        }
        step(i, 3);
    }
    if (MantisCall(http, "mc_enum_priorities", true, "", "", result)) {
        XmlElementText("<r>" + result + "</r>", "<item", nullptr, &lists.Priorities, "", "name");
        XmlElementText("<r>" + result + "</r>", "<item", nullptr, &lists.PriorityIds, "", "id");
    }
    Position(http, 900);
    if (MantisCall(http, "mc_enum_severities", true, "", "", result)) {
        XmlElementText("<r>" + result + "</r>", "<item", nullptr, &lists.Severities, "", "name");
        XmlElementText("<r>" + result + "</r>", "<item", nullptr, &lists.SeverityIds, "", "id");
    }
    Position(http, 950);
    return http.ServerUsable && http.LoggedOn;
}

} // namespace

bool MatchInList(std::u16string& value, const TDAUnicodeString& list, const TDAUnicodeString* ids)
{
    for (size_t i = 0; i < list.size(); ++i) {
        if (SameTextW(value, list[i])) {
            value = ids ? (i < ids->size() ? (*ids)[i] : u"") : list[i];
            return true;
        }
    }
    if (!list.empty())
        value = ids ? (ids->empty() ? u"" : (*ids)[0]) : list[0];
    return false;
}

bool MatchInProject(std::u16string& value, const TDAUnicodeString& list, const TDAUnicodeString& projects,
                    const std::u16string& project, const TDAUnicodeString* ids)
{
    int64_t first = -1;
    for (size_t i = 0; i < list.size() && i < projects.size(); ++i) {
        if (!SameTextW(projects[i], project))
            continue;
        if (first < 0)
            first = static_cast<int64_t>(i);
        if (SameTextW(value, list[i])) {
            value = ids ? (i < ids->size() ? (*ids)[i] : u"") : list[i];
            return true;
        }
    }
    if (first >= 0)
        value = ids ? (static_cast<size_t>(first) < ids->size() ? (*ids)[first] : u"") : list[first];
    return false;
}

std::u16string LastMantisIssueId()
{
    std::lock_guard<std::mutex> lock(IssueLock);
    return LastIssue;
}

bool FogBugzDelivery(TWinHttp& http, const std::u16string& title, const std::u16string& description,
                     const TDAUnicodeString& fieldNames, const TDAUnicodeString& sendAsNames,
                     const TDAUnicodeString& paths, IZXFields* fields, const std::u16string& callstackCrc,
                     const std::u16string& sender, const std::u16string& computerName, const std::u16string& version,
                     const std::u16string& assignTo, const std::u16string& area, const std::u16string& project)
{
    TOpenFiles open;
    if (!open.Open(http, paths) || !FogBugzConnect(http))
        return false;
    std::string result;
    if (!FogBugzCommand(http, "logon", {{"email", http.TrackerAccount}, {"password", http.TrackerPassword}}, result))
        return false;
    const std::u16string token = Wide(FirstText(result, "<token>"));
    if (token.empty())
        return false;
    TDAUnicodeString names = fieldNames;
    names.resize(paths.size());
    int32_t number = 0;
    for (size_t i = 0; i < open.Files.Handles.size(); ++i)
        if (open.Files.Handles[i] >= 0)
            names[i] = u"File" + Wide(std::to_string(++number));
    NextArea(http);

    const TTrackerLists& lists = http.Lists;
    std::u16string projectValue = project, areaValue = area;
    if (!MatchInList(projectValue, lists.Projects)) {
        projectValue.clear();
        areaValue.clear();
    } else if (!MatchInProject(areaValue, lists.Areas, lists.AreaProjects, projectValue)) {
        areaValue = u"not spam";
        if (!MatchInProject(areaValue, lists.Areas, lists.AreaProjects, projectValue))
            areaValue.clear();
    }
    std::u16string category = u"bug";
    MatchInList(category, lists.Categories);
    std::u16string person = assignTo;
    if (!MatchInList(person, lists.Users))
        person.clear();

    std::shared_ptr<IZXFields> own;
    if (!fields && http.Settings()) {
        own = http.Settings()->AddFields()->CopyFields();
        fields = own.get();
    }
    if (fields) {
        const std::pair<const char16_t*, std::u16string> entries[] = {
            {u"cmd", u"new"},
            {u"token", token},
            {u"sTitle", title},
            {u"sEvent", description},
            {u"sProject", projectValue},
            {u"sArea", areaValue},
            {u"sCategory", category},
            {u"sPersonAssignedTo", person},
            {u"sVersion", version},
            {u"sComputer", computerName},
            {u"sCustomerEmail", sender},
            {u"ixMailbox", sender},
            {u"sScoutDescription", callstackCrc},
            {u"nFileCount", Wide(std::to_string(open.Files.Opened))},
        };
        for (const auto& [name, value] : entries) {
            fields->RemoveField(name);
            fields->PutField(name, value);
        }
    }
    std::string reply;
    const bool ok = http.PostForm(http.Path + http.Script, u"", reply, fields, names, sendAsNames, open.Files.Sizes,
                                  open.Files.Handles) &&
                    PosTextA("<case ixBug=", reply) > 0;
    FogBugzCommand(http, "logoff", {{"token", token}}, result);
    return ok;
}

bool BugzillaDelivery(TWinHttp& http, const std::u16string& title, const std::u16string& description,
                      const TDAUnicodeString& /*fieldNames*/, const TDAUnicodeString& sendAsNames,
                      const TDAUnicodeString& paths, const std::u16string& callstackCrc,
                      const std::u16string& operatingSystem, const std::u16string& version,
                      const std::u16string& assignTo, const std::u16string& area, const std::u16string& project)
{
    TOpenFiles open;
    if (!open.Open(http, paths) || !BugzillaConnect(http))
        return false;
    const TTrackerLists& lists = http.Lists;
    std::u16string priority = u"P2", severity = u"normal", platform = u"PC";
    std::u16string product = project, component = area, versionValue = version, os = operatingSystem;
    MatchInList(product, lists.Projects);
    MatchInProject(component, lists.Areas, lists.AreaProjects, product);
    MatchInProject(versionValue, lists.Versions, lists.VersionProjects, product);
    if (!MatchInList(os, lists.OperatingSystems)) {
        os = u"other";
        MatchInList(os, lists.OperatingSystems);
    }
    MatchInList(priority, lists.Priorities);
    MatchInList(severity, lists.Severities);
    MatchInList(platform, lists.Platforms);
    const std::string members =
        RpcMember("product", "string", XmlEscaped(product)) + RpcMember("component", "string", XmlEscaped(component)) +
        RpcMember("summary", "string", XmlEscaped(title)) + RpcMember("version", "string", XmlEscaped(versionValue)) +
        RpcMember("description", "string", XmlEscaped(description)) + RpcMember("op_sys", "string", XmlEscaped(os)) +
        RpcMember("alias", "string", XmlEscaped(callstackCrc)) + RpcMember("priority", "string", XmlEscaped(priority)) +
        RpcMember("severity", "string", XmlEscaped(severity)) + RpcMember("platform", "string", XmlEscaped(platform)) +
        RpcMember("assigned_to", "string", XmlEscaped(assignTo));
    std::string reply;
    const bool created = BugzillaCall(http, "Bug.create", true, members, reply);
    NextArea(http);
    const std::string id = created ? MemberValue(reply, "id", "int") : "";
    if (id.empty())
        return false;
    for (size_t i = 0; i < open.Files.Handles.size(); ++i) {
        if (open.Files.Handles[i] < 0 || open.Files.Sizes[i] == 0)
            continue;
        const std::u16string sendAs = i < sendAsNames.size() ? sendAsNames[i] : u"";
        const std::string head =
            RpcHead(http, "Bug.add_attachment", true) + RpcMember("exclude_fields", "string", "data", true) +
            RpcMember("ids", "int", id, true) + RpcMember("file_name", "string", XmlEscaped(sendAs)) +
            RpcMember("summary", "string", XmlEscaped(sendAs)) +
            RpcMember("content_type", "string", MimeTypeOfFile(sendAs)) + "<member><name>data</name><value><base64>";
        const bool ok = SendStreamed(http, http.Path + http.Script, head, open.Files.Handles[i], open.Files.Sizes[i],
                                     std::string("</base64></value></member>") + XmlRpcTail, reply) &&
                        RpcReplyCounts(http, reply);
        NextArea(http);
        if (!ok)
            return false;
    }
    return true;
}

bool MantisDelivery(TWinHttp& http, const std::u16string& title, const std::u16string& description,
                    const TDAUnicodeString& /*fieldNames*/, const TDAUnicodeString& sendAsNames,
                    const TDAUnicodeString& paths, const std::u16string& /*callstackCrc*/,
                    const std::u16string& operatingSystem, const std::u16string& version,
                    const std::u16string& assignTo, const std::u16string& area, const std::u16string& project)
{
    TOpenFiles open;
    if (!open.Open(http, paths) || !MantisConnect(http))
        return false;
    const TTrackerLists& lists = http.Lists;
    std::u16string projectName = project;
    MatchInList(projectName, lists.Projects);
    std::u16string projectId = project;
    MatchInList(projectId, lists.Projects, &lists.ProjectIds);
    std::u16string versionValue = version;
    const bool hasVersion =
        !version.empty() && MatchInProject(versionValue, lists.Versions, lists.VersionProjects, projectName);
    std::u16string userId = assignTo;
    const bool hasHandler =
        !assignTo.empty() && MatchInProject(userId, lists.Users, lists.UserProjects, projectName, &lists.UserIds);
    std::u16string priority = u"normal", severity = u"crash";
    const bool hasPriority = MatchInList(priority, lists.Priorities, &lists.PriorityIds);
    const bool hasSeverity = MatchInList(severity, lists.Severities, &lists.SeverityIds);
    std::u16string category = area;
    MatchInProject(category, lists.Areas, lists.AreaProjects, projectName);

    std::string refs = "<ns2:IssueData id=\"1\" xsi:type=\"ns2:IssueData\" xmlns:ns2=\"ns2\"><project href=\"#2\"/>";
    if (hasVersion)
        refs += "<version xsi:type=\"xsd:string\">" + XmlEscaped(versionValue) + "</version>";
    if (hasHandler)
        refs += "<handler href=\"#3\"/>";
    if (hasPriority)
        refs += "<priority href=\"#4\"/>";
    if (hasSeverity)
        refs += "<severity href=\"#5\"/>";
    refs += "<summary xsi:type=\"xsd:string\">" + XmlEscaped(title) + "</summary>";
    refs += "<category xsi:type=\"xsd:string\">" + XmlEscaped(category) + "</category>";
    refs += "<os xsi:type=\"xsd:string\">" + XmlEscaped(operatingSystem) + "</os>";
    refs += "<description xsi:type=\"xsd:string\">" + XmlEscaped(description) + "</description>";
    refs += "</ns2:IssueData>";
    refs += "<ns2:project id=\"2\" xsi:type=\"ns2:ObjectRef\"><id xsi:type=\"xsd:long\">" + XmlEscaped(projectId) +
            "</id></ns2:project>";
    if (hasHandler)
        refs += "<ns2:handler id=\"3\" xsi:type=\"ns2:AccountData\"><id xsi:type=\"xsd:long\">" + XmlEscaped(userId) +
                "</id></ns2:handler>";
    if (hasPriority)
        refs += "<ns2:priority id=\"4\" xsi:type=\"ns2:ObjectRef\"><id xsi:type=\"xsd:long\">" + XmlEscaped(priority) +
                "</id></ns2:priority>";
    if (hasSeverity)
        refs += "<ns2:severity id=\"5\" xsi:type=\"ns2:ObjectRef\"><id xsi:type=\"xsd:long\">" + XmlEscaped(severity) +
                "</id></ns2:severity>";
    std::string issue;
    const bool created = MantisCall(http, "mc_issue_add", true, "<issue href=\"#1\"/>", refs, issue);
    NextArea(http);
    if (!created || issue.empty())
        return false;
    {
        std::lock_guard<std::mutex> lock(IssueLock);
        LastIssue = Wide(issue);
    }
    for (size_t i = 0; i < open.Files.Handles.size(); ++i) {
        if (open.Files.Handles[i] < 0 || open.Files.Sizes[i] == 0)
            continue;
        const std::u16string sendAs = i < sendAsNames.size() ? sendAsNames[i] : u"";
        const std::string head = SoapHead(http, "mc_issue_attachment_add", true) + "<issue_id xsi:type=\"xsd:long\">" +
                                 XmlEscaped(Wide(issue)) + "</issue_id>" + "<name xsi:type=\"xsd:string\">" +
                                 XmlEscaped(sendAs) + "</name>" + "<file_type xsi:type=\"xsd:string\">" +
                                 MimeTypeOfFile(sendAs) + "</file_type>" + "<content xsi:type=\"xsd:base64Binary\">";
        std::string reply, result;
        const bool ok = SendStreamed(http, http.Path + MantisScript + std::string("/mc_issue_attachment_add"), head,
                                     open.Files.Handles[i], open.Files.Sizes[i],
                                     std::string("</content></ns1:mc_issue_attachment_add>") + SoapTail, reply) &&
                        MantisReplyCounts(http, reply, result);
        NextArea(http);
        if (!ok)
            return false;
    }
    return true;
}
