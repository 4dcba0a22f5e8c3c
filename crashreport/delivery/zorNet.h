// zorNet: the reporter's TCP streams for mail and HTTP delivery: a connect
// with a bounded wait, reads with a bounded wait, and TLS through OpenSSL
// with the server's certificate checked against the system's authorities
// (SSL_CERT_FILE and SSL_CERT_DIR choose others) and the server's name.
//
// Normal context: delivery threads and the handler thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The waits and ports of delivery. Tests shorten the waits and move the DNS
// port; the delivery reads them once per connection or query.
struct TDeliveryWaits {
    int ConnectMs = 7000; // a TCP connection
    int ReplyMs = 7000;   // each read of a reply or a handshake
    int DnsMs = 5000;     // each DNS reply
    uint16_t DnsPort = 53;
};
TDeliveryWaits& DeliveryWaits();

// The IPv4 address (network order) of a dotted address or a host name;
// all bits set when unknown.
uint32_t ResolveIpv4(const std::string& host);

struct ssl_st;
struct ssl_ctx_st;

class TNetStream {
public:
    TNetStream() = default;
    ~TNetStream();
    TNetStream(const TNetStream&) = delete;
    TNetStream& operator=(const TNetStream&) = delete;

    enum class TConnectResult { Connected, NotFound, NoConnection };
    TConnectResult Connect(const std::string& host, uint16_t port, int timeoutMs);
    // The TLS handshake on the connected socket, the certificate checked for
    // the host name (or IP address).
    bool StartTls(const std::string& host, int timeoutMs);
    bool Secure() const { return Ssl != nullptr; }
    bool Connected() const { return Socket >= 0; }

    // Sends all bytes.
    bool Send(const void* data, size_t size);
    bool Send(const std::string& text) { return Send(text.data(), text.size()); }
    // Waits at most timeoutMs for data: the count read, 0 when the peer
    // closed, -1 on a time-out or error.
    long Receive(char* buffer, size_t size, int timeoutMs);
    // Ends TLS politely and closes the socket.
    void Close();

private:
    bool WaitFor(bool write, int timeoutMs);

    int Socket = -1;
    ssl_st* Ssl = nullptr;
    ssl_ctx_st* Context = nullptr;
};
