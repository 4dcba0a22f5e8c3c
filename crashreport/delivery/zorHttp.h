// zorHttp: the reporter's HTTP/1.1 client for the report upload and the bug
// tracker conversations, over our own sockets and TLS (zorNet): one
// keep-alive connection per client, the proxy of http_proxy/https_proxy,
// Basic and Digest authentication with one retry, redirects remembered and
// shown to the user, and the small XML reading the trackers' replies need.
//
// TLS connections check the server's certificate. A redirect target is
// opened only when it is an http:// or https:// address.
//
// Normal context: the delivery thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "crashreport/delivery/zorNet.h"
#include "crashreport/diagnostics/zorTypes.h"

class IProgressAlert;
class IZXSettings;
class IZXFields;

// A parsed reply.
struct THttpResponse {
    int32_t Status = 0;
    std::vector<std::pair<std::string, std::string>> Headers; // names as sent
    std::string Body;
    bool KeepAlive = true;
    std::string Header(const std::string& name) const; // first of that name, any case
    std::vector<std::string> AllHeaders(const std::string& name) const;
};
// Reads a reply from the raw bytes received so far: 1 complete (consumed is
// its length), 0 more bytes needed, -1 not a reply. With closed set, the
// bytes end the reply (a body without a length runs to the end).
int32_t ParseHttpResponse(const std::string& raw, bool closed, THttpResponse& response, size_t& consumed);

// The five predefined entities, any letter case, in one pass: "&amp;lt;"
// becomes "&lt;".
std::string DecodeXmlEntities(const std::string& text);
// Every text put between tags: UTF-8 with the five reserved characters as
// entities.
std::string XmlEscaped(const std::u16string& text);

// Finds elements along a path such as "<struct>|<member>" (an item without
// ">" also matches elements with attributes; names in any case). At each
// level the elements of that name inside the current one are walked; the
// value of a last-level element is its content, or its child element's
// content when a child tag is given. With memberMatch only an element whose
// child holds the child's own name counts, its value being the "<string>"
// after that child. With a match value only elements whose value equals it
// (any case) count, and the result is the content of the element at the
// requested depth (1 = first level, 0 = last). With a list every counting
// value is appended (UTF-8 decoded); otherwise the first one is the text.
// Contents are trimmed and lose CDATA markers. True when one counted.
bool XmlElementText(const std::string& xml, const std::string& path, std::string* text, TDAUnicodeString* list,
                    const std::string& matchValue = "", const std::string& childTag = "", int32_t depth = 0,
                    bool memberMatch = false);

// The text as Latin-1, or "=?UTF-8?B?...?=" when Latin-1 can't hold it.
std::string EncodedFormName(const std::u16string& text);

// The last redirect target (process-wide) and the opener of such targets
// (xdg-open in the program; tests replace it).
std::string LastHttpRedirect();
using THttpOpener = std::function<void(const std::string& url)>;
THttpOpener& HttpUrlOpener();

// A tracker's lists, read by the tracker conversations.
struct TTrackerLists {
    TDAUnicodeString Projects, ProjectIds;
    TDAUnicodeString Areas, AreaProjects;
    TDAUnicodeString Versions, VersionProjects;
    TDAUnicodeString Categories;
    TDAUnicodeString Priorities, PriorityIds;
    TDAUnicodeString Severities, SeverityIds;
    TDAUnicodeString OperatingSystems, Platforms;
    TDAUnicodeString Users, UserIds, UserProjects;
};

class TWinHttp {
public:
    // The scheme of the server text is dropped; ssl decides TLS. Without a
    // progress window the client makes a private one with one area.
    TWinHttp(const std::string& server, std::shared_ptr<IProgressAlert> progress, IZXSettings* settings,
             const std::u16string& trackerPassword, const std::u16string& trackerAccount,
             const std::u16string& httpPassword, const std::u16string& httpAccount, bool suppressRedirectBrowsing,
             uint16_t port, bool ssl);
    ~TWinHttp();
    TWinHttp(const TWinHttp&) = delete;
    TWinHttp& operator=(const TWinHttp&) = delete;

    bool OpenRequest(const std::string& path, const std::string& verb);
    bool AddHeader(const std::string& line);
    // Sends the head and the first body bytes, announcing their length plus
    // the rest's.
    bool SendRequest(const std::string& firstBytes, uint64_t restLength);
    bool WriteBody(const std::string& bytes);
    bool ReadResponse(std::string& reply);
    bool Get(const std::string& path, std::string& reply);
    bool SendFileBody(int handle, uint32_t size, bool base64);
    bool PostForm(const std::string& path, const std::u16string& sender, std::string& reply, IZXFields* fields,
                  const TDAUnicodeString& fieldNames, const TDAUnicodeString& sendAsNames,
                  const std::vector<uint32_t>& sizes, const std::vector<int>& handles);
    bool Upload(const std::u16string& sender, IZXFields* fields, const TDAUnicodeString& fieldNames,
                const TDAUnicodeString& sendAsNames, const TDAUnicodeString& paths);

    IProgressAlert* Progress() const { return ProgressWindow.get(); }
    IZXSettings* Settings() const { return SettingsObject; }
    // The proxy the requests go through ("host:port"), or empty.
    std::string ProxyServer() const { return ProxyHost.empty() ? "" : ProxyHost + ":" + std::to_string(ProxyPort); }

    std::string Host;
    std::string Path;
    std::string Script;
    uint16_t Port = 0;
    bool Ssl = false;
    std::u16string TrackerAccount, TrackerPassword;
    bool RetrySend = false;
    int32_t LastStatus = 0;
    std::u16string LastError;
    // Tracker state.
    bool ServerUsable = false;
    bool LoggedOn = false;
    std::u16string ServerVersion;
    TTrackerLists Lists;
    // Requests made, for tests: "VERB path".
    std::vector<std::string> RequestLog;

private:
    bool EnsureConnected();
    std::string AuthorizationLine();

    std::shared_ptr<IProgressAlert> ProgressWindow;
    IZXSettings* SettingsObject = nullptr;
    std::u16string HttpAccount, HttpPassword;
    bool SuppressRedirect = false;
    TNetStream Stream;
    std::string Pending; // bytes received after the last reply
    std::string Verb, RequestPath;
    std::vector<std::string> ExtraHeaders;
    bool RequestOpen = false;
    bool ConnectionReused = false;
    // Proxy (from the environment).
    std::string ProxyHost;
    uint16_t ProxyPort = 0;
    // Authentication.
    bool ServerAuthTried = false;
    bool AuthRequested = false;
    bool AuthAccepted = false;
    std::string AuthScheme; // "Basic" or "Digest"
    std::map<std::string, std::string> DigestParams;
    uint32_t DigestCount = 0;
};
