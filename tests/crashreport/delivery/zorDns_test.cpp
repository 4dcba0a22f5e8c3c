#include "crashreport/delivery/zorDns.h"

#include <gtest/gtest.h>

#include <atomic>

#include "tests/crashreport/ZorFakeServer.h"
#include "tests/crashreport/ZorTestSupport.h"

namespace {

std::string EncodedName(const std::string& dotted)
{
    std::string out;
    size_t start = 0;
    while (start < dotted.size()) {
        size_t dot = dotted.find('.', start);
        if (dot == std::string::npos)
            dot = dotted.size();
        out.push_back(static_cast<char>(dot - start));
        out += dotted.substr(start, dot - start);
        start = dot + 1;
    }
    return out + '\0';
}

// A reply to the query with MX answers (preference, host) in order.
std::string MxReply(const std::string& query, const std::vector<std::pair<int, std::string>>& answers)
{
    std::string reply = query;
    reply[2] = static_cast<char>(0x81);
    reply[3] = static_cast<char>(0x80);
    reply[7] = static_cast<char>(answers.size());
    for (const auto& [preference, host] : answers) {
        const std::string data = Bytes({0, preference}) + EncodedName(host);
        reply += Bytes({0xC0, 0x0C, 0, 15, 0, 1, 0, 0, 0, 60, 0, static_cast<int>(data.size())}) + data;
    }
    return reply;
}

class TDnsServers {
public:
    explicit TDnsServers(TDAAnsiString servers) : Saved(DnsServerSource())
    {
        DnsServerSource() = [servers] { return servers; };
    }
    ~TDnsServers() { DnsServerSource() = Saved; }

private:
    std::function<TDAAnsiString()> Saved;
};

} // namespace

TEST(ZorDnsTest, QueryBytesAndServerList)
{
    EXPECT_EQ(DnsQueryBytes("example.com", DnsTypeMx), Bytes({0, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 7}) + "example" +
                                                           Bytes({3}) + "com" + Bytes({0, 0, 15, 0, 1}));
    EXPECT_EQ(DnsServersOfResolvConf("# local\nnameserver 10.0.0.1\nsearch x.test\nnameserver ::1\n"
                                     "nameserver   192.168.1.1 # second\nnameserver bogus\n"),
              (TDAAnsiString{"10.0.0.1", "192.168.1.1"}));
}

TEST(ZorDnsTest, NamesReadWithinTheReply)
{
    const std::string header(12, '\0');
    const std::string question = header + EncodedName("mail.example.com");
    struct TCase {
        const char* Name;
        std::string Reply;
        size_t Start, End;
        std::string Want;
        size_t WantOffset;
    } cases[] = {
        {"pointer into the question", question + Bytes({2}) + "mx" + Bytes({0xC0, 17}), question.size(),
         question.size() + 5, "mx.example.com", question.size() + 5},
        {"whole pointer", question + Bytes({0xC0, 12}), question.size(), question.size() + 2, "mail.example.com",
         question.size() + 2},
        {"pointer to itself", question + Bytes({0xC0, static_cast<int>(question.size())}), question.size(),
         question.size() + 2, "", question.size() + 2},
        {"pointer past the end", question + Bytes({0xC1, 0xFF}), question.size(), question.size() + 2, "",
         question.size() + 2},
        {"label past the end", question + Bytes({9}) + "abc", question.size(), question.size() + 4, "",
         question.size() + 4},
        {"end inside the name", question, 12, 17, "mail", 17},
    };
    for (const TCase& c : cases) {
        size_t offset = c.Start;
        EXPECT_EQ(ReadDnsName(c.Reply, offset, c.End), c.Want) << c.Name;
        EXPECT_EQ(offset, c.WantOffset) << c.Name;
    }
    // A record whose announced data runs past the reply reads nothing beyond it.
    std::string reply = MxReply(DnsQueryBytes("x.test", DnsTypeMx), {{10, "mx.x.test"}});
    reply.resize(reply.size() - 4);
    TDAAnsiString names;
    size_t offset = DnsQueryBytes("x.test", DnsTypeMx).size();
    ReadDnsRecordNames(reply, 5, offset, DnsTypeMx, names);
    EXPECT_EQ(names, TDAAnsiString{"mx.x"});
    EXPECT_EQ(offset, reply.size());
}

TEST(ZorDnsTest, ExchangerFromTheFirstAnswer)
{
    TFakeDnsServer dns([](const std::string& query) {
        if (query.find(EncodedName("c.d.test")) != std::string::npos &&
            query.find(EncodedName("b.c.d.test")) == std::string::npos)
            return MxReply(query, {{20, "second.test"}, {5, "first-pref.test"}});
        return MxReply(query, {});
    });
    TShortWaits waits(2000, dns.Port());
    TDnsServers servers({"127.0.0.1"});
    EXPECT_EQ(FindMailExchanger("Ann <ann@c.d.test>"), "second.test");
    // Four labels: the domain first, then its last three labels.
    EXPECT_EQ(FindMailExchanger("ann@b.c.d.test"), "second.test");
    const auto queries = dns.Queries();
    ASSERT_EQ(queries.size(), 3u);
    EXPECT_NE(queries[1].find(EncodedName("b.c.d.test")), std::string::npos);
    EXPECT_EQ(queries[2].find(EncodedName("b.c.d.test")), std::string::npos);
    EXPECT_NE(queries[2].find(EncodedName("c.d.test")), std::string::npos);
}

TEST(ZorDnsTest, StrangersAndSilenceGiveNothing)
{
    struct TCase {
        const char* Name;
        std::function<std::string(const std::string&)> Answer;
    } cases[] = {
        {"silent", [](const std::string&) { return std::string(); }},
        {"wrong id",
         [](const std::string& q) {
             std::string r = MxReply(q, {{1, "mx.x.test"}});
             r[1] = 2;
             return r;
         }},
        {"not a response",
         [](const std::string& q) {
             std::string r = MxReply(q, {{1, "mx.x.test"}});
             r[2] = 1;
             return r;
         }},
        {"error code",
         [](const std::string& q) {
             std::string r = MxReply(q, {{1, "mx.x.test"}});
             r[3] = static_cast<char>(0x83);
             return r;
         }},
    };
    for (const TCase& c : cases) {
        TFakeDnsServer dns(c.Answer);
        TShortWaits waits(100, dns.Port());
        TDnsServers servers({"127.0.0.1"});
        EXPECT_EQ(FindMailExchanger("a@x.test"), "") << c.Name;
        EXPECT_EQ(dns.QueriesAfter(1).size(), 1u) << c.Name;
    }
}

namespace {

// A reply to the query with the names of answer records of its own type and
// of NS authority records.
std::string ReplyWithNames(const std::string& query, const std::vector<std::string>& answers,
                           const std::vector<std::string>& authorities)
{
    const int type = static_cast<unsigned char>(query[query.size() - 3]);
    std::string reply = query;
    reply[2] = static_cast<char>(0x81);
    reply[3] = static_cast<char>(0x80);
    reply[7] = static_cast<char>(answers.size());
    reply[9] = static_cast<char>(authorities.size());
    auto add = [&reply](int recordType, const std::string& host) {
        const std::string data = (recordType == DnsTypeMx ? Bytes({0, 10}) : std::string()) + EncodedName(host);
        reply += Bytes({0xC0, 0x0C, 0, recordType, 0, 1, 0, 0, 0, 60, 0, static_cast<int>(data.size())}) + data;
    };
    for (const std::string& host : answers)
        add(type, host);
    for (const std::string& host : authorities)
        add(DnsTypeNs, host);
    return reply;
}

class TRootServers {
public:
    explicit TRootServers(TDAAnsiString servers) : Saved(DnsRootServers()) { DnsRootServers() = std::move(servers); }
    ~TRootServers() { DnsRootServers() = Saved; }

private:
    TDAAnsiString Saved;
};

} // namespace

// Without a server of the system's the look-up walks down from the root
// servers with NS queries (here every server is the fake on this machine).
TEST(ZorDnsTest, WithoutServersTheWalkStartsAtTheRoot)
{
    std::atomic<int> nsQueries{0};
    TFakeDnsServer dns([&nsQueries](const std::string& query) {
        if (static_cast<unsigned char>(query[query.size() - 3]) == DnsTypeMx)
            return ReplyWithNames(query, {"mx.c.d.test"}, {});
        // The root and the next server name authorities; the third answers.
        const int n = ++nsQueries;
        return n < 3 ? ReplyWithNames(query, {}, {"127.0.0.1"}) : ReplyWithNames(query, {"127.0.0.1"}, {});
    });
    TShortWaits waits(2000, dns.Port());
    TDnsServers servers({});
    TRootServers roots({"127.0.0.1"});
    EXPECT_EQ(FindMailExchanger("ann@b.c.d.test"), "mx.c.d.test");
    const auto queries = dns.Queries();
    ASSERT_EQ(queries.size(), 4u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(queries[i][queries[i].size() - 3]), DnsTypeNs) << i;
        EXPECT_NE(queries[i].find(EncodedName("c.d.test")), std::string::npos) << i;
        EXPECT_EQ(queries[i].find(EncodedName("b.c.d.test")), std::string::npos) << i;
    }
    EXPECT_NE(queries[3].find(EncodedName("b.c.d.test")), std::string::npos);

    // A root that names no authority ends the look-up.
    TFakeDnsServer silentRoot([](const std::string& query) { return ReplyWithNames(query, {}, {}); });
    TShortWaits rootWaits(2000, silentRoot.Port());
    EXPECT_EQ(FindMailExchanger("ann@c.d.test"), "");
    EXPECT_EQ(silentRoot.Queries().size(), 1u);
}
