// The single-instance name over an abstract datagram socket.
#include "platform/os/OS_SingleInstance.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const char RaiseRequest[] = "raise";

// The abstract address: a leading NUL, then
// "duskmarch-instance:<uid>:<per-user data folder>:<name>". Copies that share
// a data folder (its settings, saves and log) exclude each other; runs with
// folders of their own, as test runs side by side have, do not. A name too
// long for the address keeps its start and gains a hash of the whole, so two
// long names still differ.
socklen_t MakeAddress(const std::string& name, sockaddr_un& address) {
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    std::string id =
        "duskmarch-instance:" + std::to_string(getuid()) + ":" + OS_GetLocalAppDataFolder() + ":" + name;
    constexpr size_t room = sizeof(address.sun_path) - 1;
    if (id.size() > room) {
        uint32_t hash = 2166136261u; // FNV-1a
        for (unsigned char c : id)
            hash = (hash ^ c) * 16777619u;
        char tail[10];
        std::snprintf(tail, sizeof(tail), "#%08x", hash);
        id = id.substr(0, room - 9) + tail;
    }
    std::memcpy(address.sun_path + 1, id.data(), id.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + id.size());
}

} // namespace

TSingleInstanceResult OS_AcquireSingleInstance(const std::string& name, THandle& lock) {
    lock = INVALID_HANDLE_VALUE;
    // Close-on-exec: a child the game starts (the crash reporter) must not
    // keep the name alive after the game ends.
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return TSingleInstanceResult::Unknown;
    sockaddr_un address;
    socklen_t length = MakeAddress(name, address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0) {
        lock = fd;
        return TSingleInstanceResult::First;
    }
    int error = errno;
    close(fd);
    // Only a held name means another copy; any other failure must not keep
    // the game from starting.
    return error == EADDRINUSE ? TSingleInstanceResult::AnotherCopy : TSingleInstanceResult::Unknown;
}

void OS_ReleaseSingleInstance(THandle lock) {
    if (lock >= 0)
        close(static_cast<int>(lock));
}

bool OS_SendRaiseRequest(const std::string& name) {
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address;
    socklen_t length = MakeAddress(name, address);
    ssize_t sent = sendto(fd, RaiseRequest, sizeof(RaiseRequest) - 1, MSG_DONTWAIT | MSG_NOSIGNAL,
                          reinterpret_cast<sockaddr*>(&address), length);
    close(fd);
    return sent == static_cast<ssize_t>(sizeof(RaiseRequest) - 1);
}

bool OS_TakeRaiseRequest(THandle lock) {
    if (lock < 0)
        return false;
    bool raise = false;
    char buffer[64];
    for (;;) {
        ssize_t got = recv(static_cast<int>(lock), buffer, sizeof(buffer), MSG_DONTWAIT);
        if (got < 0)
            break;
        if (got == static_cast<ssize_t>(sizeof(RaiseRequest) - 1) &&
            std::memcmp(buffer, RaiseRequest, sizeof(RaiseRequest) - 1) == 0)
            raise = true;
    }
    return raise;
}
