// zorNet: TCP streams with bounded waits, and TLS. Normal context.
#include "crashreport/delivery/zorNet.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <chrono>
#include <cstring>

TDeliveryWaits& DeliveryWaits()
{
    static TDeliveryWaits waits;
    return waits;
}

uint32_t ResolveIpv4(const std::string& host)
{
    if (host.empty())
        return 0xFFFFFFFFu;
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1)
        return address.s_addr;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return 0xFFFFFFFFu;
    const uint32_t result = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return result;
}

TNetStream::~TNetStream()
{
    Close();
}

bool TNetStream::WaitFor(bool write, int timeoutMs)
{
    pollfd p{Socket, static_cast<short>(write ? POLLOUT : POLLIN), 0};
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        const int r = poll(&p, 1, static_cast<int>(std::max<int64_t>(0, left.count())));
        if (r > 0)
            return true;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

TNetStream::TConnectResult TNetStream::Connect(const std::string& host, uint16_t port, int timeoutMs)
{
    Close();
    const uint32_t address = ResolveIpv4(host);
    if (address == 0xFFFFFFFFu)
        return TConnectResult::NotFound;
    Socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Socket < 0)
        return TConnectResult::NoConnection;
    const int flags = fcntl(Socket, F_GETFL, 0);
    fcntl(Socket, F_SETFL, flags | O_NONBLOCK);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    bool ok = connect(Socket, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0;
    if (!ok && errno == EINPROGRESS && WaitFor(true, timeoutMs)) {
        int error = 0;
        socklen_t length = sizeof(error);
        ok = getsockopt(Socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    if (!ok) {
        Close();
        return TConnectResult::NoConnection;
    }
    fcntl(Socket, F_SETFL, flags & ~O_NONBLOCK);
    const int one = 1;
    setsockopt(Socket, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof(one));
    // Requests go out in parts (head, file, tail): no waiting for acknowledgements between them.
    setsockopt(Socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    return TConnectResult::Connected;
}

bool TNetStream::StartTls(const std::string& host, int timeoutMs)
{
    if (Socket < 0 || Ssl)
        return false;
    Context = SSL_CTX_new(TLS_client_method());
    if (!Context)
        return false;
    SSL_CTX_set_default_verify_paths(Context);
    SSL_CTX_set_verify(Context, SSL_VERIFY_PEER, nullptr);
    Ssl = SSL_new(Context);
    if (!Ssl)
        return false;
    in_addr ip{};
    X509_VERIFY_PARAM* param = SSL_get0_param(Ssl);
    if (inet_pton(AF_INET, host.c_str(), &ip) == 1) {
        X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    } else {
        SSL_set_tlsext_host_name(Ssl, host.c_str());
        X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
    }
    SSL_set_fd(Ssl, Socket);
    // The handshake runs on the non-blocking socket so that every step
    // waits at most the reply time.
    const int flags = fcntl(Socket, F_GETFL, 0);
    fcntl(Socket, F_SETFL, flags | O_NONBLOCK);
    bool ok = false;
    for (;;) {
        const int r = SSL_connect(Ssl);
        if (r == 1) {
            ok = SSL_get_verify_result(Ssl) == X509_V_OK;
            break;
        }
        const int e = SSL_get_error(Ssl, r);
        if ((e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) || !WaitFor(e == SSL_ERROR_WANT_WRITE, timeoutMs))
            break;
    }
    fcntl(Socket, F_SETFL, flags & ~O_NONBLOCK);
    ERR_clear_error();
    if (!ok) {
        SSL_free(Ssl);
        Ssl = nullptr;
    }
    return ok;
}

bool TNetStream::Send(const void* data, size_t size)
{
    if (Socket < 0)
        return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        long n;
        if (Ssl) {
            const int chunk = static_cast<int>(std::min<size_t>(size, 1 << 20));
            n = SSL_write(Ssl, p, chunk);
            if (n <= 0) {
                ERR_clear_error();
                return false;
            }
        } else {
            n = ::send(Socket, p, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

long TNetStream::Receive(char* buffer, size_t size, int timeoutMs)
{
    if (Socket < 0 || size == 0)
        return -1;
    if (Ssl) {
        const int flags = fcntl(Socket, F_GETFL, 0);
        fcntl(Socket, F_SETFL, flags | O_NONBLOCK);
        long result = -1;
        for (;;) {
            const int r = SSL_read(Ssl, buffer, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
            if (r > 0) {
                result = r;
                break;
            }
            const int e = SSL_get_error(Ssl, r);
            if (e == SSL_ERROR_ZERO_RETURN) {
                result = 0;
                break;
            }
            if ((e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) ||
                !WaitFor(e == SSL_ERROR_WANT_WRITE, timeoutMs))
                break;
        }
        fcntl(Socket, F_SETFL, flags);
        ERR_clear_error();
        return result;
    }
    if (!WaitFor(false, timeoutMs))
        return -1;
    for (;;) {
        const long n = ::recv(Socket, buffer, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

void TNetStream::Close()
{
    if (Ssl) {
        SSL_shutdown(Ssl);
        SSL_free(Ssl);
        Ssl = nullptr;
        ERR_clear_error();
    }
    if (Context) {
        SSL_CTX_free(Context);
        Context = nullptr;
    }
    if (Socket >= 0) {
        close(Socket);
        Socket = -1;
    }
}
