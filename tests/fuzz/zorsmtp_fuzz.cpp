// Any bytes as the replies of a mail server: a server of the target's own on
// 127.0.0.1 sends the input's parts (split at lines "%%"), the greeting
// first and then one part for each command it receives (the whole message
// after "DATA" counting as one), and closes when it has none left. The
// client greets, reads the offers, sends a short message and quits, as the
// reporter does, whatever it is told; it never waits long for a reply.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "crashreport/delivery/zorMail.h"
#include "crashreport/delivery/zorNet.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr int Parts = 12;

// A listening socket on 127.0.0.1 and a free port, made once.
int Listener(uint16_t& port)
{
    static uint16_t bound = 0;
    static const int socket = [] {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 4) != 0 ||
            getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            __builtin_trap();
        bound = ntohs(address.sin_port);
        return s;
    }();
    port = bound;
    return socket;
}

void SendAll(int s, const std::string& bytes)
{
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = send(s, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<size_t>(n);
    }
}

// One connection: the greeting, then a part per command.
void Serve(int listener, const std::string* parts)
{
    pollfd waiting{listener, POLLIN, 0};
    if (poll(&waiting, 1, 2000) <= 0)
        return;
    const int s = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (s < 0)
        return;
    int next = 0;
    SendAll(s, parts[next++]);
    std::string received;
    bool inData = false;
    char buffer[4096];
    while (next < Parts) {
        pollfd readable{s, POLLIN, 0};
        if (poll(&readable, 1, 1000) <= 0)
            break;
        const ssize_t n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        received.append(buffer, static_cast<size_t>(n));
        for (;;) {
            const size_t end = inData ? received.find("\r\n.\r\n") : received.find('\n');
            if (end == std::string::npos)
                break;
            const std::string line = received.substr(0, end);
            received.erase(0, end + (inData ? 5 : 1));
            inData = !inData && (line == "DATA\r" || line == "DATA");
            SendAll(s, parts[next++]);
            if (next >= Parts)
                break;
        }
    }
    close(s);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A reply that never ends must not hold the run up.
    DeliveryWaits().ConnectMs = 2000;
    DeliveryWaits().ReplyMs = 20;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint16_t port = 0;
    const int listener = Listener(port);
    std::string parts[Parts];
    FuzzSplitInput(data, size, parts, Parts);
    std::thread server(Serve, listener, parts);
    {
        TSmtp smtp("127.0.0.1", port, false, size % 2 == 1, size % 3 == 1 ? u"account" : u"",
                   size % 3 == 1 ? u"secret" : u"");
        if (smtp.Ready() && smtp.BeginMessage(u"Ann <ann@example.org>", u"bugs@example.org, dev@example.org",
                                              u"The program failed.\r\n.\r\nTwice.", u"Failure report"))
            smtp.EndMessage();
        smtp.LastError();
    }
    server.join();
    return 0;
}
