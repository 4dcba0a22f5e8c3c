// zorHttp: the HTTP client, the multipart form upload and the XML reading.
// Normal context.
#include "crashreport/delivery/zorHttp.h"

#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "crashreport/diagnostics/zorCrypt.h"
#include "crashreport/core/zorExcept_Fields.h"
#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/delivery/zorMail.h"
#include "crashreport/assistants/zorNVPrgrAlert.h"
#include "crashreport/diagnostics/zorStrings.h"

namespace {

std::mutex RedirectLock;
std::string RedirectTarget;

constexpr int MaxSendAttempts = 3;

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return text;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == Lower(prefix);
}

std::string Trimmed(std::string text)
{
    TrimA(text);
    return text;
}

std::string Md5Hex(const std::string& text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < length; ++i) {
        out.push_back(hex[digest[i] >> 4]);
        out.push_back(hex[digest[i] & 15]);
    }
    return out;
}

// The parameters of a "Digest" challenge.
std::map<std::string, std::string> DigestChallenge(const std::string& value)
{
    std::map<std::string, std::string> params;
    size_t at = value.find(' ');
    while (at != std::string::npos && at < value.size()) {
        while (at < value.size() && (value[at] == ' ' || value[at] == ','))
            ++at;
        const size_t equals = value.find('=', at);
        if (equals == std::string::npos)
            break;
        const std::string key = Lower(Trimmed(value.substr(at, equals - at)));
        std::string content;
        at = equals + 1;
        if (at < value.size() && value[at] == '"') {
            const size_t close = value.find('"', at + 1);
            content = value.substr(at + 1, close == std::string::npos ? std::string::npos : close - at - 1);
            at = close == std::string::npos ? value.size() : close + 1;
        } else {
            const size_t comma = value.find(',', at);
            content = Trimmed(value.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
            at = comma;
        }
        params[key] = content;
    }
    return params;
}

// Parsed URL of a proxy variable: host and port.
bool ProxyFromEnvironment(bool ssl, const std::string& host, std::string& proxyHost, uint16_t& proxyPort)
{
    if (host == "127.0.0.1" || Lower(host) == "localhost")
        return false; // a proxy can't reach this machine's own servers
    const char* names[] = {ssl ? "https_proxy" : "http_proxy", ssl ? "HTTPS_PROXY" : "HTTP_PROXY"};
    std::string value;
    for (const char* name : names)
        if (const char* v = getenv(name); v && *v) {
            value = v;
            break;
        }
    if (value.empty())
        return false;
    const char* noProxy = getenv("no_proxy") ? getenv("no_proxy") : getenv("NO_PROXY");
    if (noProxy) {
        const std::string list = noProxy;
        size_t start = 0;
        while (start <= list.size()) {
            const size_t end = std::min(list.find(',', start), list.size());
            std::string item = Lower(Trimmed(list.substr(start, end - start)));
            if (!item.empty() && item[0] == '.')
                item.erase(0, 1);
            const std::string h = Lower(host);
            if (item == "*" ||
                (!item.empty() &&
                 (h == item || (h.size() > item.size() && h.compare(h.size() - item.size(), item.size(), item) == 0 &&
                                h[h.size() - item.size() - 1] == '.'))))
                return false;
            start = end + 1;
        }
    }
    const size_t scheme = value.find("://");
    if (scheme != std::string::npos)
        value.erase(0, scheme + 3);
    value = value.substr(0, value.find('/'));
    const size_t at = value.rfind('@');
    if (at != std::string::npos)
        value.erase(0, at + 1);
    const size_t colon = value.rfind(':');
    proxyPort = 80;
    if (colon != std::string::npos) {
        proxyPort = static_cast<uint16_t>(atoi(value.c_str() + colon + 1));
        value.erase(colon);
    }
    proxyHost = value;
    return !proxyHost.empty() && proxyPort != 0;
}

// ---------------------------------------------------------------------------
// A small XML tree: elements with their raw content. Text, comments,
// processing instructions and CDATA are content only.

struct TXmlNode {
    std::string Name; // lower case
    bool HasAttributes = false;
    size_t ContentStart = 0, ContentEnd = 0;
    std::vector<int32_t> Children;
};

constexpr size_t XmlMaxDepth = 256;

std::vector<TXmlNode> ParseXml(const std::string& xml)
{
    std::vector<TXmlNode> nodes(1); // 0: the document
    nodes[0].ContentEnd = xml.size();
    std::vector<int32_t> open{0};
    size_t at = 0;
    while (at < xml.size()) {
        const size_t lt = xml.find('<', at);
        if (lt == std::string::npos)
            break;
        if (xml.compare(lt, 9, "<![CDATA[") == 0) {
            const size_t end = xml.find("]]>", lt + 9);
            at = end == std::string::npos ? xml.size() : end + 3;
            continue;
        }
        if (xml.compare(lt, 4, "<!--") == 0) {
            const size_t end = xml.find("-->", lt + 4);
            at = end == std::string::npos ? xml.size() : end + 3;
            continue;
        }
        const size_t gt = xml.find('>', lt + 1);
        if (gt == std::string::npos)
            break;
        if (xml[lt + 1] == '?' || xml[lt + 1] == '!') {
            at = gt + 1;
            continue;
        }
        if (xml[lt + 1] == '/') {
            const std::string name = Lower(Trimmed(xml.substr(lt + 2, gt - lt - 2)));
            // Close the innermost open element of that name and any left open inside it.
            for (size_t k = open.size(); k-- > 1;) {
                if (nodes[open[k]].Name == name) {
                    for (size_t j = open.size(); j-- > k;)
                        nodes[open[j]].ContentEnd = lt;
                    open.resize(k);
                    break;
                }
            }
            at = gt + 1;
            continue;
        }
        size_t nameEnd = lt + 1;
        while (nameEnd < gt && xml[nameEnd] != ' ' && xml[nameEnd] != '\t' && xml[nameEnd] != '\r' &&
               xml[nameEnd] != '\n' && xml[nameEnd] != '/')
            ++nameEnd;
        TXmlNode node;
        node.Name = Lower(xml.substr(lt + 1, nameEnd - lt - 1));
        const bool selfClosing = xml[gt - 1] == '/';
        node.HasAttributes = Trimmed(xml.substr(nameEnd, gt - nameEnd - (selfClosing ? 1 : 0))).size() > 0;
        node.ContentStart = gt + 1;
        node.ContentEnd = selfClosing ? gt + 1 : xml.size();
        const auto index = static_cast<int32_t>(nodes.size());
        nodes[open.back()].Children.push_back(index);
        nodes.push_back(std::move(node));
        if (!selfClosing && open.size() < XmlMaxDepth)
            open.push_back(index);
        at = gt + 1;
    }
    return nodes;
}

std::string NodeText(const std::string& xml, const TXmlNode& node)
{
    std::string text = xml.substr(node.ContentStart, node.ContentEnd - node.ContentStart);
    TrimA(text);
    if (text.compare(0, 9, "<![CDATA[") == 0 && text.size() >= 12)
        text = text.substr(9, text.size() - 12);
    return text;
}

// The topmost descendants of the node with that name.
void FindElements(const std::vector<TXmlNode>& nodes, int32_t from, const std::string& name, bool complete,
                  std::vector<int32_t>& found)
{
    std::vector<int32_t> stack(nodes[from].Children.rbegin(), nodes[from].Children.rend());
    while (!stack.empty()) {
        const int32_t n = stack.back();
        stack.pop_back();
        if (nodes[n].Name == name && (!complete || !nodes[n].HasAttributes)) {
            found.push_back(n);
            continue;
        }
        stack.insert(stack.end(), nodes[n].Children.rbegin(), nodes[n].Children.rend());
    }
}

struct TPathItem {
    std::string Name;
    bool Complete;
};

} // namespace

// ---------------------------------------------------------------------------

std::string THttpResponse::Header(const std::string& name) const
{
    for (const auto& [key, value] : Headers)
        if (Lower(key) == Lower(name))
            return value;
    return {};
}

std::vector<std::string> THttpResponse::AllHeaders(const std::string& name) const
{
    std::vector<std::string> values;
    for (const auto& [key, value] : Headers)
        if (Lower(key) == Lower(name))
            values.push_back(value);
    return values;
}

int32_t ParseHttpResponse(const std::string& raw, bool closed, THttpResponse& response, size_t& consumed)
{
    const size_t headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return raw.size() > (1u << 20) || (closed && !raw.empty()) ? -1 : 0;
    response = THttpResponse();
    size_t at = raw.find("\r\n");
    const std::string status = raw.substr(0, at);
    if (status.compare(0, 5, "HTTP/") != 0 || status.size() < 12 || status[8] != ' ')
        return -1;
    response.Status = atoi(status.c_str() + 9);
    if (response.Status < 100 || response.Status > 999)
        return -1;
    response.KeepAlive = status.compare(0, 8, "HTTP/1.0") != 0;
    while (at < headEnd) {
        const size_t next = raw.find("\r\n", at + 2);
        const std::string line = raw.substr(at + 2, next - at - 2);
        at = next;
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        response.Headers.emplace_back(Trimmed(line.substr(0, colon)), Trimmed(line.substr(colon + 1)));
    }
    const std::string connection = Lower(response.Header("Connection"));
    if (connection == "close")
        response.KeepAlive = false;
    else if (connection == "keep-alive")
        response.KeepAlive = true;
    size_t body = headEnd + 4;
    if (Lower(response.Header("Transfer-Encoding")).find("chunked") != std::string::npos) {
        for (;;) {
            const size_t lineEnd = raw.find("\r\n", body);
            if (lineEnd == std::string::npos)
                return closed ? -1 : 0;
            char* end = nullptr;
            const std::string sizeText = raw.substr(body, lineEnd - body);
            const unsigned long long size = strtoull(sizeText.c_str(), &end, 16);
            if (end == sizeText.c_str() || size > (1ull << 30))
                return -1;
            if (size == 0) {
                const size_t trailerEnd = raw.find("\r\n\r\n", lineEnd);
                if (trailerEnd == std::string::npos && raw.compare(lineEnd, 4, "\r\n\r\n") != 0)
                    return closed ? -1 : 0;
                consumed = trailerEnd == std::string::npos ? lineEnd + 4 : trailerEnd + 4;
                return 1;
            }
            if (raw.size() < lineEnd + 2 + size + 2)
                return closed ? -1 : 0;
            response.Body.append(raw, lineEnd + 2, size);
            body = lineEnd + 2 + size + 2;
        }
    }
    const std::string lengthText = response.Header("Content-Length");
    if (!lengthText.empty()) {
        char* end = nullptr;
        const unsigned long long length = strtoull(lengthText.c_str(), &end, 10);
        if (end == lengthText.c_str() || length > (1ull << 30))
            return -1;
        if (raw.size() - body < length)
            return closed ? -1 : 0;
        response.Body = raw.substr(body, length);
        consumed = body + length;
        return 1;
    }
    if (response.Status == 204 || response.Status == 304 || response.Status / 100 == 1) {
        consumed = body;
        return 1;
    }
    if (!closed)
        return 0;
    response.Body = raw.substr(body);
    response.KeepAlive = false;
    consumed = raw.size();
    return 1;
}

std::string DecodeXmlEntities(const std::string& text)
{
    static const std::pair<const char*, char> entities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [entity, c] : entities) {
                const size_t n = strlen(entity);
                if (StartsWithNoCase(text.substr(i, n), entity)) {
                    out.push_back(c);
                    i += n;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out.push_back(text[i++]);
    }
    return out;
}

std::string XmlEscaped(const std::u16string& text)
{
    std::string out;
    for (char c : WideToUtf8(text)) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

bool XmlElementText(const std::string& xml, const std::string& path, std::string* text, TDAUnicodeString* list,
                    const std::string& matchValue, const std::string& childTag, int32_t depth, bool memberMatch)
{
    std::vector<TPathItem> items;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('|', start), path.size());
        std::string item = Trimmed(path.substr(start, end - start));
        const bool complete = !item.empty() && item.back() == '>';
        if (!item.empty() && item[0] == '<')
            item.erase(0, 1);
        if (complete)
            item.pop_back();
        if (!item.empty())
            items.push_back({Lower(item), complete});
        start = end + 1;
    }
    if (items.empty())
        return false;
    const std::vector<TXmlNode> nodes = ParseXml(xml);
    const std::string child = Lower(childTag);
    bool found = false;
    std::vector<int32_t> chain;

    // Depth-first along the path; returns true to stop.
    std::function<bool(int32_t, size_t)> walk = [&](int32_t from, size_t level) -> bool {
        std::vector<int32_t> elements;
        FindElements(nodes, from, items[level].Name, items[level].Complete, elements);
        for (const int32_t e : elements) {
            chain.push_back(e);
            if (level + 1 < items.size()) {
                if (walk(e, level + 1))
                    return true;
                chain.pop_back();
                continue;
            }
            std::string value;
            bool counts = true;
            if (!child.empty()) {
                std::vector<int32_t> children;
                FindElements(nodes, e, child, false, children);
                if (children.empty()) {
                    counts = false;
                } else {
                    value = NodeText(xml, nodes[children[0]]);
                    if (memberMatch) {
                        counts = Lower(value) == child;
                        // The "<string>" after the child.
                        std::vector<int32_t> strings;
                        FindElements(nodes, e, "string", false, strings);
                        value.clear();
                        bool after = false;
                        for (const int32_t s : strings)
                            if (nodes[s].ContentStart > nodes[children[0]].ContentEnd) {
                                value = NodeText(xml, nodes[s]);
                                after = true;
                                break;
                            }
                        counts = counts && after;
                    }
                }
            } else {
                value = NodeText(xml, nodes[e]);
            }
            if (counts && !matchValue.empty())
                counts = Lower(value) == Lower(matchValue);
            if (counts) {
                found = true;
                std::string result = value;
                if (!matchValue.empty() && depth > 0 && static_cast<size_t>(depth) <= chain.size())
                    result = NodeText(xml, nodes[chain[static_cast<size_t>(depth) - 1]]);
                else if (!matchValue.empty() && depth == 0)
                    result = NodeText(xml, nodes[e]);
                if (list) {
                    list->push_back(Utf8ToWide(result));
                } else {
                    if (text)
                        *text = result;
                    return true;
                }
            }
            chain.pop_back();
        }
        return false;
    };
    walk(0, 0);
    return found;
}

std::string EncodedFormName(const std::u16string& text)
{
    if (NeedsWideForm(text))
        return "=?UTF-8?B?" + Base64EncodeStr(WideToUtf8(text)) + "?=";
    return WideToAnsiTrunc(text);
}

std::string LastHttpRedirect()
{
    std::lock_guard<std::mutex> lock(RedirectLock);
    return RedirectTarget;
}

THttpOpener& HttpUrlOpener()
{
    static THttpOpener opener = [](const std::string& url) { RunMailCommand({"xdg-open", url}); };
    return opener;
}

// ---------------------------------------------------------------------------
// TWinHttp

TWinHttp::TWinHttp(const std::string& server, std::shared_ptr<IProgressAlert> progress, IZXSettings* settings,
                   const std::u16string& trackerPassword, const std::u16string& trackerAccount,
                   const std::u16string& httpPassword, const std::u16string& httpAccount, bool suppressRedirectBrowsing,
                   uint16_t port, bool ssl)
    : Port(port), Ssl(ssl), TrackerAccount(trackerAccount), TrackerPassword(trackerPassword),
      ProgressWindow(std::move(progress)), SettingsObject(settings), HttpAccount(httpAccount),
      HttpPassword(httpPassword), SuppressRedirect(suppressRedirectBrowsing)
{
    std::string rest = server;
    const size_t scheme = rest.find("://");
    if (scheme != std::string::npos)
        rest.erase(0, scheme + 3);
    const size_t slash = rest.find('/');
    Host = rest.substr(0, slash);
    Path = slash == std::string::npos ? "" : rest.substr(slash);
    // A port written in the server text counts when none is given.
    const size_t colon = Host.rfind(':');
    if (colon != std::string::npos) {
        if (Port == 0)
            Port = static_cast<uint16_t>(atoi(Host.c_str() + colon + 1));
        Host.erase(colon);
    }
    if (Port == 0)
        Port = Ssl ? 443 : 80;
    if (!ProgressWindow) {
        ProgressWindow = std::make_shared<TIProgressAlert>(u"", 0, u"", nullptr);
        ProgressWindow->AddProgressArea(u"", 1000);
    }
    ProxyFromEnvironment(Ssl, Host, ProxyHost, ProxyPort);
}

TWinHttp::~TWinHttp()
{
    Stream.Close();
    if (ProgressWindow)
        ProgressWindow->CloseAlert();
}

bool TWinHttp::EnsureConnected()
{
    ConnectionReused = Stream.Connected();
    if (ConnectionReused)
        return true;
    Pending.clear();
    const TDeliveryWaits waits = DeliveryWaits();
    const std::string target = ProxyHost.empty() ? Host : ProxyHost;
    const uint16_t port = ProxyHost.empty() ? Port : ProxyPort;
    if (Stream.Connect(target, port, waits.ConnectMs) != TNetStream::TConnectResult::Connected) {
        LastError = u"No connection to server";
        return false;
    }
    if (!ProxyHost.empty() && Ssl) {
        const std::string where = Host + ":" + std::to_string(Port);
        std::string raw;
        THttpResponse response;
        size_t consumed = 0;
        bool ok = Stream.Send("CONNECT " + where + " HTTP/1.1\r\nHost: " + where + "\r\n\r\n");
        char buffer[4096];
        while (ok && raw.find("\r\n\r\n") == std::string::npos) {
            const long n = Stream.Receive(buffer, sizeof(buffer), waits.ReplyMs);
            ok = n > 0;
            if (ok)
                raw.append(buffer, static_cast<size_t>(n));
        }
        if (!ok || ParseHttpResponse(raw.substr(0, raw.find("\r\n\r\n") + 4) + "", true, response, consumed) != 1 ||
            response.Status / 100 != 2) {
            LastError = u"No connection to server";
            Stream.Close();
            return false;
        }
    }
    if (Ssl && !Stream.StartTls(Host, waits.ReplyMs)) {
        LastError = u"TLS failed";
        Stream.Close();
        return false;
    }
    return true;
}

bool TWinHttp::OpenRequest(const std::string& path, const std::string& verb)
{
    Verb = verb;
    RequestPath = path.empty() ? "/" : path;
    ExtraHeaders.clear();
    RequestOpen = true;
    RequestLog.push_back(verb + " " + RequestPath);
    return true;
}

bool TWinHttp::AddHeader(const std::string& line)
{
    if (!RequestOpen || line.find('\n') != std::string::npos || line.find('\r') != std::string::npos)
        return false;
    ExtraHeaders.push_back(line);
    return true;
}

std::string TWinHttp::AuthorizationLine()
{
    if (AuthScheme == "Basic")
        return "Authorization: Basic " + Base64EncodeStr(WideToUtf8(HttpAccount) + ":" + WideToUtf8(HttpPassword)) +
               "\r\n";
    if (AuthScheme != "Digest")
        return {};
    const std::string user = WideToUtf8(HttpAccount);
    const std::string realm = DigestParams["realm"], nonce = DigestParams["nonce"];
    const std::string ha1 = Md5Hex(user + ":" + realm + ":" + WideToUtf8(HttpPassword));
    const std::string ha2 = Md5Hex(Verb + ":" + RequestPath);
    std::string line = "Authorization: Digest username=\"" + user + "\", realm=\"" + realm + "\", nonce=\"" + nonce +
                       "\", uri=\"" + RequestPath + "\", algorithm=MD5";
    if (Lower(DigestParams["qop"]).find("auth") != std::string::npos) {
        unsigned char random[8];
        RAND_bytes(random, sizeof(random));
        std::string cnonce;
        for (unsigned char b : random)
            cnonce += IntToHexTextA(b, 2);
        char nc[16];
        snprintf(nc, sizeof(nc), "%08x", ++DigestCount);
        line += ", qop=auth, nc=" + std::string(nc) + ", cnonce=\"" + cnonce + "\", response=\"" +
                Md5Hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":auth:" + ha2) + "\"";
    } else {
        line += ", response=\"" + Md5Hex(ha1 + ":" + nonce + ":" + ha2) + "\"";
    }
    if (DigestParams.count("opaque"))
        line += ", opaque=\"" + DigestParams["opaque"] + "\"";
    return line + "\r\n";
}

bool TWinHttp::SendRequest(const std::string& firstBytes, uint64_t restLength)
{
    RetrySend = false;
    if (!RequestOpen)
        return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!EnsureConnected())
            return false;
        const bool defaultPort = Port == (Ssl ? 443 : 80);
        const std::string hostField = Host + (defaultPort ? "" : ":" + std::to_string(Port));
        const std::string target = (!ProxyHost.empty() && !Ssl) ? "http://" + hostField + RequestPath : RequestPath;
        std::string head =
            Verb + " " + target + " HTTP/1.1\r\nHost: " + hostField + "\r\nUser-Agent: zorExcept/4.0\r\n";
        const uint64_t total = firstBytes.size() + restLength;
        if (total > 0 || Verb != "GET")
            head += "Content-Length: " + std::to_string(total) + "\r\n";
        for (const std::string& line : ExtraHeaders)
            head += line + "\r\n";
        head += AuthorizationLine();
        head += "\r\n";
        if (Stream.Send(head + firstBytes))
            return true;
        // A kept connection the server has closed meanwhile: once more on a new one.
        const bool reused = ConnectionReused;
        Stream.Close();
        if (!reused)
            break;
    }
    LastError = u"Sending failed";
    return false;
}

bool TWinHttp::WriteBody(const std::string& bytes)
{
    if (Stream.Send(bytes))
        return true;
    LastError = u"Sending failed";
    return false;
}

bool TWinHttp::ReadResponse(std::string& reply)
{
    reply.clear();
    THttpResponse response;
    size_t consumed = 0;
    int32_t state = 0;
    std::string raw = Pending;
    Pending.clear();
    char buffer[16384];
    const int wait = DeliveryWaits().ReplyMs;
    bool closed = false;
    while ((state = ParseHttpResponse(raw, closed, response, consumed)) == 0) {
        if (closed)
            break;
        const long n = Stream.Receive(buffer, sizeof(buffer), wait);
        if (n < 0) {
            state = -1;
            break;
        }
        if (n == 0)
            closed = true;
        else
            raw.append(buffer, static_cast<size_t>(n));
    }
    if (state != 1) {
        Stream.Close();
        // A kept connection closed by the server before it answered: send again.
        if (AuthScheme.empty() && ConnectionReused && raw.empty())
            RetrySend = true;
        LastError = u"No reply from server";
        return false;
    }
    if (response.KeepAlive && !closed)
        Pending = raw.substr(consumed);
    else
        Stream.Close();
    LastStatus = response.Status;
    switch (response.Status) {
    case 200:
        if (AuthRequested)
            AuthAccepted = true;
        reply = DecodeXmlEntities(response.Body);
        return true;
    case 301:
    case 302:
    case 303: {
        const std::string location = response.Header("Location");
        if (location.empty())
            return false;
        {
            std::lock_guard<std::mutex> lock(RedirectLock);
            RedirectTarget = location;
        }
        const bool web = StartsWithNoCase(location, "http://") || StartsWithNoCase(location, "https://");
        if (!SuppressRedirect && web) {
            const THttpOpener opener = HttpUrlOpener();
            if (opener)
                opener(location);
        }
        reply = DecodeXmlEntities(response.Body);
        return true;
    }
    case 401: {
        if (AuthRequested)
            AuthAccepted = false;
        AuthRequested = true;
        if (!ServerAuthTried && !HttpAccount.empty()) {
            ServerAuthTried = true;
            std::string basic, digest;
            for (const std::string& challenge : response.AllHeaders("WWW-Authenticate")) {
                if (StartsWithNoCase(challenge, "Digest "))
                    digest = challenge;
                else if (StartsWithNoCase(challenge, "Basic"))
                    basic = challenge;
            }
            if (!digest.empty()) {
                AuthScheme = "Digest";
                DigestParams = DigestChallenge(digest);
            } else if (!basic.empty()) {
                AuthScheme = "Basic";
            }
            RetrySend = !AuthScheme.empty();
        }
        LastError = u"Authorization required (401)";
        return false;
    }
    default:
        LastError = u"HTTP status " + Utf8ToWide(std::to_string(response.Status));
        return false;
    }
}

bool TWinHttp::Get(const std::string& path, std::string& reply)
{
    if (!OpenRequest(path, "GET"))
        return false;
    for (int attempt = 0; attempt < MaxSendAttempts; ++attempt) {
        if (SendRequest("", 0) && ReadResponse(reply))
            return true;
        if (!RetrySend)
            break;
    }
    return false;
}

bool TWinHttp::SendFileBody(int handle, uint32_t size, bool base64)
{
    if (handle < 0 || lseek(handle, 0, SEEK_SET) != 0)
        return false;
    const size_t pieceSize = base64 ? 1536 : 2048;
    std::string piece(pieceSize, '\0');
    uint32_t done = 0;
    while (done < size) {
        const size_t want = std::min<size_t>(pieceSize, size - done);
        size_t got = 0;
        while (got < want) {
            const ssize_t n = read(handle, piece.data() + got, want - got);
            if (n <= 0)
                return false;
            got += static_cast<size_t>(n);
        }
        if (!WriteBody(base64 ? Base64EncodeBuf(piece.data(), want) : piece.substr(0, want)))
            return false;
        done += static_cast<uint32_t>(want);
        if (ProgressWindow)
            ProgressWindow->SetProgressPosition(static_cast<int32_t>(uint64_t{done} * 1000 / size));
    }
    return true;
}

bool TWinHttp::PostForm(const std::string& path, const std::u16string& sender, std::string& reply, IZXFields* fields,
                        const TDAUnicodeString& fieldNames, const TDAUnicodeString& sendAsNames,
                        const std::vector<uint32_t>& sizes, const std::vector<int>& handles)
{
    const std::string boundary = MailBoundary;
    std::string fieldParts;
    if (fields) {
        for (int32_t i = 0; i < fields->FieldCount(); ++i) {
            const std::u16string name = fields->FieldNameAt(i);
            const std::u16string content = fields->FieldContent(name);
            const bool wide = NeedsWideForm(content);
            fieldParts += "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + EncodedFormName(name) +
                          "\"\r\nContent-Type: text/plain; charset=\"" + (wide ? "utf-8" : "iso-8859-1") +
                          "\"\r\nContent-Transfer-Encoding: " + (wide ? "base64" : "8bit") + "\r\n\r\n" +
                          (wide ? Base64EncodeStr(WideToUtf8(content)) : WideToAnsiTrunc(content));
        }
    }
    std::vector<std::string> fileHeads(handles.size());
    uint64_t rest = 0;
    for (size_t i = 0; i < handles.size(); ++i) {
        if (handles[i] < 0)
            continue;
        const std::u16string field = i < fieldNames.size() ? fieldNames[i] : u"";
        const std::u16string sendAs = i < sendAsNames.size() ? sendAsNames[i] : u"";
        fileHeads[i] = "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + EncodedFormName(field) +
                       "\"; filename=\"" + EncodedFormName(sendAs) +
                       "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
        rest += fileHeads[i].size() + (i < sizes.size() ? sizes[i] : 0);
    }
    const std::string end = "\r\n--" + boundary + "--\r\n";
    rest += end.size();

    if (!OpenRequest(path, "POST") || !AddHeader("Content-Type: multipart/form-data; boundary=" + boundary))
        return false;
    if (!sender.empty())
        AddHeader("From: " + MailAddressForHeader(sender, true));
    const int32_t area = ProgressWindow ? ProgressWindow->CurrentArea() : 0;
    const int32_t position = ProgressWindow ? ProgressWindow->Position() : 0;
    for (int attempt = 0; attempt < MaxSendAttempts; ++attempt) {
        if (ProgressWindow) {
            ProgressWindow->SelectProgressArea(area);
            ProgressWindow->SetProgressPosition(position);
        }
        bool ok = SendRequest(fieldParts, rest);
        for (size_t i = 0; ok && i < handles.size(); ++i) {
            if (handles[i] < 0)
                continue;
            ok = WriteBody(fileHeads[i]) && SendFileBody(handles[i], i < sizes.size() ? sizes[i] : 0, false);
            if (ProgressWindow)
                ProgressWindow->NextProgressArea();
        }
        ok = ok && WriteBody(end);
        if (ok && ReadResponse(reply))
            return true;
        if (!RetrySend)
            break;
    }
    return false;
}

bool TWinHttp::Upload(const std::u16string& sender, IZXFields* fields, const TDAUnicodeString& fieldNames,
                      const TDAUnicodeString& sendAsNames, const TDAUnicodeString& paths)
{
    if (!SettingsObject)
        return false;
    TDeliveryFiles files;
    if (!OpenDeliveryFiles(ProgressWindow.get(), *SettingsObject, paths, false, false, files))
        return false;
    if (ProgressWindow)
        ProgressWindow->NextProgressArea();
    std::string reply;
    const bool ok = PostForm(Path, sender, reply, fields, fieldNames, sendAsNames, files.Sizes, files.Handles);
    CloseDeliveryFiles(files);
    return ok;
}
