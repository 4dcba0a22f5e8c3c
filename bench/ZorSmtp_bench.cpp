// A report mail with a 1 MB attachment to a mail sink on this machine:
// Base64 lines of 255 source bytes, plain and through implicit TLS.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/ssl.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/delivery/zorMail.h"
#include "crashreport/diagnostics/zorStrings.h"

namespace {

std::string Folder()
{
    static std::string folder = [] {
        char name[] = "/tmp/zorsmtpbenchXXXXXX";
        return std::string(mkdtemp(name)) + "/";
    }();
    return folder;
}

// A sink that takes every message; with TLS from the first byte.
class TSink {
public:
    explicit TSink(bool tls) : Tls(tls)
    {
        if (Tls) {
            const std::string cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                                    "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
                                    Folder() + "key.pem -out " + Folder() + "cert.pem >/dev/null 2>&1";
            if (std::system(cmd.c_str()) != 0)
                return;
            setenv("SSL_CERT_FILE", (Folder() + "cert.pem").c_str(), 1);
            Context = SSL_CTX_new(TLS_server_method());
            SSL_CTX_use_certificate_file(Context, (Folder() + "cert.pem").c_str(), SSL_FILETYPE_PEM);
            SSL_CTX_use_PrivateKey_file(Context, (Folder() + "key.pem").c_str(), SSL_FILETYPE_PEM);
        }
        Listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(Listener, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        socklen_t n = sizeof(a);
        getsockname(Listener, reinterpret_cast<sockaddr*>(&a), &n);
        Port = ntohs(a.sin_port);
        listen(Listener, 4);
        Thread = std::thread([this] { Run(); });
    }
    ~TSink()
    {
        Stop = true;
        Thread.join();
        close(Listener);
        if (Context)
            SSL_CTX_free(Context);
    }
    uint16_t Port = 0;

private:
    void Run()
    {
        while (!Stop) {
            pollfd p{Listener, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            const int fd = accept(Listener, nullptr, nullptr);
            SSL* ssl = nullptr;
            if (Tls) {
                ssl = SSL_new(Context);
                SSL_set_fd(ssl, fd);
                if (SSL_accept(ssl) != 1) {
                    SSL_free(ssl);
                    close(fd);
                    continue;
                }
            }
            Serve(fd, ssl);
            if (ssl) {
                SSL_shutdown(ssl);
                SSL_free(ssl);
            }
            close(fd);
        }
    }
    void Serve(int fd, SSL* ssl)
    {
        auto write = [&](const std::string& s) {
            return ssl ? SSL_write(ssl, s.data(), static_cast<int>(s.size())) > 0 : send(fd, s.data(), s.size(), 0) > 0;
        };
        std::string buffer;
        bool data = false;
        write("220 sink\r\n");
        char chunk[65536];
        for (;;) {
            const long n = ssl ? SSL_read(ssl, chunk, sizeof(chunk)) : recv(fd, chunk, sizeof(chunk), 0);
            if (n <= 0)
                return;
            buffer.append(chunk, static_cast<size_t>(n));
            for (;;) {
                if (data) {
                    const size_t end = buffer.find("\r\n.\r\n");
                    if (end == std::string::npos) {
                        if (buffer.size() > 8)
                            buffer.erase(0, buffer.size() - 8);
                        break;
                    }
                    buffer.erase(0, end + 5);
                    data = false;
                    write("250 queued\r\n");
                    continue;
                }
                const size_t end = buffer.find("\r\n");
                if (end == std::string::npos)
                    break;
                const std::string line = buffer.substr(0, end);
                buffer.erase(0, end + 2);
                if (line == "DATA") {
                    data = true;
                    buffer = "\r\n" + buffer;
                    write("354 go\r\n");
                } else if (line == "QUIT") {
                    write("221 bye\r\n");
                    return;
                } else {
                    write("250 ok\r\n");
                }
            }
        }
    }

    bool Tls;
    SSL_CTX* Context = nullptr;
    int Listener = -1;
    std::atomic<bool> Stop{false};
    std::thread Thread;
};

void BM_SmtpMegabyteAttachment(benchmark::State& state)
{
    const bool tls = state.range(0) != 0;
    const std::string file = Folder() + "attachment.bin";
    {
        std::ofstream out(file, std::ios::binary);
        std::string bytes(1 << 20, '\0');
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 31 + (i >> 9));
        out << bytes;
    }
    TSink sink(tls);
    auto settings = TIZXSettings::Create(0, true);
    bool sent = true;
    for (auto _ : state)
        sent = sent && SendViaSmtp(u"", u"bugs@x.test", u"bug report", *settings, nullptr, false, tls, sink.Port, u"",
                                   u"", "127.0.0.1", {u"attachment.bin"}, {Utf8ToWide(file)}, u"body");
    if (!sent)
        state.SkipWithError("the message was not accepted");
    state.SetLabel(tls ? "TLS" : "plain");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (1 << 20));
}
BENCHMARK(BM_SmtpMegabyteAttachment)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
