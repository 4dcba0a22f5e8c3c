// zorDns: the mail exchanger look-up. Normal context.
#include "crashreport/delivery/zorDns.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "crashreport/delivery/zorNet.h"

namespace {

constexpr int DnsMaxHops = 32;

uint16_t Be16(const std::string& s, size_t at)
{
    return static_cast<uint16_t>((static_cast<uint8_t>(s[at]) << 8) | static_cast<uint8_t>(s[at + 1]));
}

void PutBe16(std::string& out, uint16_t value)
{
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value));
}

} // namespace

TDAAnsiString DnsServersOfResolvConf(const std::string& text)
{
    TDAAnsiString servers;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key, value;
        if (!(words >> key >> value) || key != "nameserver")
            continue;
        in_addr address{};
        if (inet_pton(AF_INET, value.c_str(), &address) == 1)
            servers.push_back(value);
    }
    return servers;
}

std::function<TDAAnsiString()>& DnsServerSource()
{
    static std::function<TDAAnsiString()> source = [] {
        std::ifstream in("/etc/resolv.conf");
        std::ostringstream text;
        text << in.rdbuf();
        return DnsServersOfResolvConf(text.str());
    };
    return source;
}

void ListDnsServers(TDAAnsiString& servers)
{
    const auto source = DnsServerSource();
    servers = source ? source() : TDAAnsiString{};
}

TDAAnsiString& DnsRootServers()
{
    static TDAAnsiString roots{"198.41.0.4", "170.247.170.2"};
    return roots;
}

std::string DnsQueryBytes(const std::string& name, uint16_t type)
{
    std::string q;
    PutBe16(q, 1);      // id
    PutBe16(q, 0x0100); // recursion desired
    PutBe16(q, 1);
    PutBe16(q, 0);
    PutBe16(q, 0);
    PutBe16(q, 0);
    size_t start = 0;
    while (start < name.size()) {
        size_t dot = name.find('.', start);
        if (dot == std::string::npos)
            dot = name.size();
        const size_t length = std::min<size_t>(dot - start, 63);
        if (length > 0) {
            q.push_back(static_cast<char>(length));
            q.append(name, start, length);
        }
        start = dot + 1;
    }
    q.push_back('\0');
    PutBe16(q, type);
    PutBe16(q, 1);
    return q;
}

std::string ReadDnsName(const std::string& reply, size_t& offset, size_t end)
{
    std::string name;
    end = std::min(end, reply.size());
    size_t at = offset;
    bool jumped = false;
    int hops = 0;
    while (at < end) {
        const auto length = static_cast<uint8_t>(reply[at]);
        if (length == 0) {
            ++at;
            break;
        }
        if (length >= 192) {
            if (at + 1 >= end || ++hops > DnsMaxHops) {
                at = end;
                break;
            }
            const size_t target = ((length & 0x3F) << 8) | static_cast<uint8_t>(reply[at + 1]);
            if (!jumped)
                offset = at + 2;
            jumped = true;
            at = target;
            end = reply.size(); // the rest of the name may lie anywhere in the reply
            continue;
        }
        if (length > 63 || at + 1 + length > end) {
            at = end;
            break;
        }
        if (!name.empty())
            name.push_back('.');
        name.append(reply, at + 1, length);
        at += 1 + length;
    }
    if (!jumped)
        offset = at;
    return name;
}

void ReadDnsRecordNames(const std::string& reply, int32_t count, size_t& offset, uint16_t type, TDAAnsiString& names)
{
    for (int32_t i = 0; i < count && offset < reply.size(); ++i) {
        ReadDnsName(reply, offset, reply.size());
        if (offset + 10 > reply.size()) {
            offset = reply.size();
            return;
        }
        const uint16_t recordType = Be16(reply, offset);
        const size_t length = Be16(reply, offset + 8);
        const size_t data = offset + 10;
        const size_t dataEnd = std::min(reply.size(), data + length);
        offset = dataEnd;
        if (recordType != type)
            continue;
        size_t at = data + (type == DnsTypeMx ? 2 : 0);
        if (at >= dataEnd)
            continue;
        std::string name = ReadDnsName(reply, at, dataEnd);
        if (!name.empty())
            names.push_back(name);
    }
}

void QueryDns(const std::string& name, const TDAAnsiString& servers, uint16_t type, TDAAnsiString& answers,
              TDAAnsiString* authorities)
{
    answers.clear();
    if (authorities)
        authorities->clear();
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
        close(s);
        return;
    }
    const TDeliveryWaits waits = DeliveryWaits();
    const std::string query = DnsQueryBytes(name, type);
    int expected = 0;
    for (const std::string& server : servers) {
        if (server.empty())
            continue;
        const uint32_t address = ResolveIpv4(server);
        if (address == 0xFFFFFFFFu)
            continue;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(waits.DnsPort);
        to.sin_addr.s_addr = address;
        if (sendto(s, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to)) ==
            static_cast<ssize_t>(query.size()))
            ++expected;
    }
    while (expected > 0) {
        pollfd p{s, POLLIN, 0};
        if (poll(&p, 1, waits.DnsMs) <= 0)
            break;
        std::string reply(512, '\0');
        const ssize_t n = recv(s, reply.data(), reply.size(), 0);
        if (n < 0)
            break;
        reply.resize(static_cast<size_t>(n));
        // Someone else's datagram is not a reply to this query.
        if (reply.size() < 12 || Be16(reply, 0) != 1 || (static_cast<uint8_t>(reply[2]) & 0x80) == 0)
            continue;
        --expected;
        if ((reply[3] & 0x0F) != 0)
            continue;
        size_t offset = query.size();
        ReadDnsRecordNames(reply, Be16(reply, 6), offset, type, answers);
        if (type == DnsTypeNs && authorities)
            ReadDnsRecordNames(reply, Be16(reply, 8), offset, type, *authorities);
        if (!answers.empty() || (authorities && !authorities->empty()))
            break;
    }
    close(s);
}

std::string FindMailExchanger(const std::string& address)
{
    const size_t at = address.find('@');
    std::string domain = at == std::string::npos ? address : address.substr(at + 1);
    if (!domain.empty() && domain.back() == '>')
        domain.pop_back();
    std::string base = domain;
    int dots = 0;
    for (size_t i = domain.size(); i-- > 0;) {
        if (domain[i] == '.' && ++dots == 3) {
            base = domain.substr(i + 1);
            break;
        }
    }
    TDAAnsiString servers;
    ListDnsServers(servers);
    TDAAnsiString answers, authority;
    auto exchangerFrom = [&](const TDAAnsiString& list) -> std::string {
        QueryDns(domain, list, DnsTypeMx, answers, nullptr);
        if (answers.empty() && base != domain)
            QueryDns(base, list, DnsTypeMx, answers, nullptr);
        return answers.empty() ? std::string() : answers.front();
    };
    if (!servers.empty())
        return exchangerFrom(servers);

    // No server known: walk down from the root servers.
    QueryDns(base, DnsRootServers(), DnsTypeNs, answers, &authority);
    if (authority.empty())
        return {};
    const TDAAnsiString rootAuthority = authority;
    TDAAnsiString held = authority;
    QueryDns(base, held, DnsTypeNs, answers, &authority);
    bool walked = false;
    for (int step = 0; step < 10 && answers.empty() && !authority.empty(); ++step) {
        walked = true;
        held = authority;
        QueryDns(base, held, DnsTypeNs, answers, &authority);
    }
    const TDAAnsiString askThese = !answers.empty() ? answers
                                   : walked         ? (authority.empty() ? held : authority)
                                                    : rootAuthority;
    return exchangerFrom(askThese);
}
