// Loopback servers for the delivery tests: a TCP server on 127.0.0.1 that
// hands each connection to a handler on its own thread (with TLS on
// request, using a certificate made at test time by the openssl command),
// and a UDP server for DNS. Every wait is bounded.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <chrono>
#include <thread>
#include <vector>

#include "crashreport/delivery/zorMail.h"
#include "crashreport/delivery/zorNet.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TestSupport.h"

// A certificate for 127.0.0.1, made once per test program; empty paths when
// the openssl command is missing.
struct TTestCertificate {
    std::string CertFile, KeyFile;
};
inline const TTestCertificate& TestCertificate()
{
    static TTempFolder folder;
    static TTestCertificate cert = [] {
        TTestCertificate c;
        const std::string cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                                "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                                folder.Path() + "key.pem' -out '" + folder.Path() + "cert.pem' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0) {
            c.CertFile = folder.Path() + "cert.pem";
            c.KeyFile = folder.Path() + "key.pem";
        }
        return c;
    }();
    return cert;
}

// Makes the client trust the test certificate for one test.
class TTrustTestCertificate {
public:
    TTrustTestCertificate() { Env.Set("SSL_CERT_FILE", TestCertificate().CertFile); }

private:
    TEnvOverride Env;
};

class TFakeConnection {
public:
    explicit TFakeConnection(int fd) : Fd(fd) {}
    ~TFakeConnection()
    {
        if (Ssl) {
            SSL_shutdown(Ssl);
            SSL_free(Ssl);
        }
        if (Context)
            SSL_CTX_free(Context);
        close(Fd);
    }

    bool StartTls()
    {
        const TTestCertificate& cert = TestCertificate();
        Context = SSL_CTX_new(TLS_server_method());
        if (!Context || SSL_CTX_use_certificate_file(Context, cert.CertFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(Context, cert.KeyFile.c_str(), SSL_FILETYPE_PEM) != 1)
            return false;
        Ssl = SSL_new(Context);
        SSL_set_fd(Ssl, Fd);
        const bool ok = SSL_accept(Ssl) == 1;
        ERR_clear_error();
        return ok;
    }

    bool Write(const std::string& text)
    {
        if (Ssl)
            return SSL_write(Ssl, text.data(), static_cast<int>(text.size())) == static_cast<int>(text.size());
        return send(Fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }

    // A line without its CR LF; false on a time-out or a closed peer.
    bool ReadLine(std::string& line, int timeoutMs = 5000)
    {
        for (;;) {
            const size_t end = Buffer.find("\r\n");
            if (end != std::string::npos) {
                line = Buffer.substr(0, end);
                Buffer.erase(0, end + 2);
                return true;
            }
            if (!Fill(timeoutMs))
                return false;
        }
    }
    // Exactly count bytes.
    bool ReadBytes(size_t count, std::string& bytes, int timeoutMs = 5000)
    {
        while (Buffer.size() < count)
            if (!Fill(timeoutMs))
                return false;
        bytes = Buffer.substr(0, count);
        Buffer.erase(0, count);
        return true;
    }
    // Everything up to the text (which is consumed too).
    bool ReadUntil(const std::string& marker, std::string& bytes, int timeoutMs = 5000)
    {
        for (;;) {
            const size_t end = Buffer.find(marker);
            if (end != std::string::npos) {
                bytes = Buffer.substr(0, end);
                Buffer.erase(0, end + marker.size());
                return true;
            }
            if (!Fill(timeoutMs))
                return false;
        }
    }

private:
    bool Fill(int timeoutMs)
    {
        char chunk[16384];
        if (!Ssl || SSL_pending(Ssl) == 0) {
            pollfd p{Fd, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0)
                return false;
        }
        const long n = Ssl ? SSL_read(Ssl, chunk, sizeof(chunk)) : recv(Fd, chunk, sizeof(chunk), 0);
        if (n <= 0)
            return false;
        Buffer.append(chunk, static_cast<size_t>(n));
        return true;
    }

    int Fd;
    SSL_CTX* Context = nullptr;
    SSL* Ssl = nullptr;
    std::string Buffer;
};

// Accepts connections on 127.0.0.1 until destroyed; each runs the handler
// on the server thread, one after another.
class TFakeTcpServer {
public:
    using THandler = std::function<void(TFakeConnection&)>;
    // Port 0: one the system picks. A fixed port that is taken leaves Port() 0.
    explicit TFakeTcpServer(THandler handler, uint16_t port = 0) : Handler(std::move(handler))
    {
        Listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(Listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (bind(Listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
            address.sin_port = 0;
        socklen_t length = sizeof(address);
        getsockname(Listener, reinterpret_cast<sockaddr*>(&address), &length);
        PortNumber = ntohs(address.sin_port);
        listen(Listener, 8);
        Thread = std::thread([this] { Run(); });
    }
    ~TFakeTcpServer()
    {
        Stop = true;
        Thread.join();
        close(Listener);
    }
    uint16_t Port() const { return PortNumber; }
    int Connections() const { return Accepted; }

private:
    void Run()
    {
        while (!Stop) {
            pollfd p{Listener, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            const int fd = accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++Accepted;
            TFakeConnection connection(fd);
            Handler(connection);
        }
    }

    THandler Handler;
    int Listener = -1;
    uint16_t PortNumber = 0;
    std::atomic<bool> Stop{false};
    std::atomic<int> Accepted{0};
    std::thread Thread;
};

// Answers DNS queries on 127.0.0.1 with the handler's reply (empty: none).
class TFakeDnsServer {
public:
    using THandler = std::function<std::string(const std::string& query)>;
    explicit TFakeDnsServer(THandler handler) : Handler(std::move(handler))
    {
        Socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(Socket, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        socklen_t length = sizeof(address);
        getsockname(Socket, reinterpret_cast<sockaddr*>(&address), &length);
        PortNumber = ntohs(address.sin_port);
        Thread = std::thread([this] { Run(); });
    }
    ~TFakeDnsServer()
    {
        Stop = true;
        Thread.join();
        close(Socket);
    }
    uint16_t Port() const { return PortNumber; }
    std::vector<std::string> Queries() const
    {
        std::lock_guard<std::mutex> lock(Lock);
        return Seen;
    }
    // The queries once at least count have arrived, or after a few seconds:
    // a client that gave up waiting has still sent its query, which a busy
    // machine may hand to the server's thread only later.
    std::vector<std::string> QueriesAfter(size_t count) const
    {
        for (int i = 0; i < 500; ++i) {
            {
                std::lock_guard<std::mutex> lock(Lock);
                if (Seen.size() >= count)
                    return Seen;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return Queries();
    }

private:
    void Run()
    {
        while (!Stop) {
            pollfd p{Socket, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            char buffer[1024];
            sockaddr_in from{};
            socklen_t length = sizeof(from);
            const ssize_t n = recvfrom(Socket, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (n <= 0)
                continue;
            const std::string query(buffer, static_cast<size_t>(n));
            {
                std::lock_guard<std::mutex> lock(Lock);
                Seen.push_back(query);
            }
            const std::string reply = Handler(query);
            if (!reply.empty())
                sendto(Socket, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
    }

    THandler Handler;
    int Socket = -1;
    uint16_t PortNumber = 0;
    std::atomic<bool> Stop{false};
    std::thread Thread;
    mutable std::mutex Lock;
    std::vector<std::string> Seen;
};

// Shortened waits for one test.
class TShortWaits {
public:
    explicit TShortWaits(int ms = 300, uint16_t dnsPort = 53) : Saved(DeliveryWaits())
    {
        DeliveryWaits().ConnectMs = ms;
        DeliveryWaits().ReplyMs = ms;
        DeliveryWaits().DnsMs = ms;
        DeliveryWaits().DnsPort = dnsPort;
    }
    ~TShortWaits() { DeliveryWaits() = Saved; }

private:
    TDeliveryWaits Saved;
};

// A request as a fake HTTP server received it.
struct TFakeHttpRequest {
    std::string Method, Path, Head, Body;
    size_t AnnouncedLength = 0;
    std::string Header(const std::string& name) const
    {
        std::string lowerHead = Head, lowerName = name + ":";
        for (char& c : lowerHead)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        for (char& c : lowerName)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        const size_t at = lowerHead.find("\r\n" + lowerName);
        if (at == std::string::npos)
            return "";
        const size_t start = at + 2 + lowerName.size();
        std::string value = Head.substr(start, Head.find("\r\n", start) - start);
        while (!value.empty() && value[0] == ' ')
            value.erase(0, 1);
        return value;
    }
};

inline std::string HttpReply(int status, const std::string& body, const std::string& headers = "")
{
    return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
           headers + "\r\n" + body;
}

// The bytes of a form's file part (empty when there is no such part).
inline std::string FormFilePart(const std::string& body, const std::string& field, const std::string& fileName)
{
    const std::string head =
        "name=\"" + field + "\"; filename=\"" + fileName + "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    const size_t at = body.find(head);
    if (at == std::string::npos)
        return {};
    const size_t start = at + head.size();
    const size_t end = body.find(std::string("\r\n--") + MailBoundary, start);
    return end == std::string::npos ? std::string() : body.substr(start, end - start);
}

// Serves keep-alive HTTP/1.1 requests with the answer function's replies
// and records them.
class TFakeHttpServer {
public:
    using TAnswer = std::function<std::string(const TFakeHttpRequest&)>;
    explicit TFakeHttpServer(TAnswer answer, bool tls = false, uint16_t port = 0)
        : Answer(std::move(answer)), Tls(tls), Server([this](TFakeConnection& c) { Serve(c); }, port)
    {
    }
    uint16_t Port() const { return Server.Port(); }
    std::vector<TFakeHttpRequest> Requests() const
    {
        std::lock_guard<std::mutex> lock(Lock);
        return Seen;
    }

private:
    void Serve(TFakeConnection& c)
    {
        if (Tls && !c.StartTls())
            return;
        std::string head;
        while (c.ReadUntil("\r\n\r\n", head, 2000)) {
            TFakeHttpRequest request;
            request.Head = "\r\n" + head + "\r\n";
            const size_t space = head.find(' ');
            request.Method = head.substr(0, space);
            request.Path = head.substr(space + 1, head.find(' ', space + 1) - space - 1);
            request.AnnouncedLength = static_cast<size_t>(atoll(request.Header("Content-Length").c_str()));
            if (request.AnnouncedLength > 0 && !c.ReadBytes(request.AnnouncedLength, request.Body, 3000))
                return;
            {
                std::lock_guard<std::mutex> lock(Lock);
                Seen.push_back(request);
            }
            if (!c.Write(Answer(request)))
                return;
        }
    }

    TAnswer Answer;
    bool Tls;
    mutable std::mutex Lock;
    std::vector<TFakeHttpRequest> Seen;
    TFakeTcpServer Server; // last: it stops before the rest goes
};
